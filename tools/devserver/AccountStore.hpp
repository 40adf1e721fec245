// AccountStore: the backend's accounts in SQLite: partners with their key pairs, users, registrations
// (one per installation, keyed by its app unique id), activation codes, uploaded client public keys,
// notification ids per push handle and push registrations.
//
// Every operation answers the result code the backend reports; a database failure is
// `serverTechnicalError` and changes nothing. Callers hold the context's mutex around every call.
#pragma once

#include "account/service/ResultCode.hpp"
#include <vexaqr/Uuid.hpp>

#include "account/platform/SqliteDatabase.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace vexaqr::devserver {

using Constant::Application::ResultCode;

struct Partner {
    std::string partnerId;
    Uuid issuerId;
    std::string privateKeyPem;
    std::string publicKeyPem;
};

struct Registration {
    std::string appUniqueId;
    std::int64_t vxaUserId = 0;
    std::string partnerId;
    std::string email;
    bool activated = false;
    std::optional<std::string> publicKeyPem;
};

/// A result code and, on success, the value the operation produced. `{}` stands for a database failure.
template <class T> struct Outcome {
    ResultCode code = ResultCode::serverTechnicalError;
    std::optional<T> value;
};

class AccountStore {
public:
    /// Creates the tables when they are missing.
    explicit AccountStore(SqliteDatabase& database);

    bool isReady() const { return _ready; }

    /// The partner, created with a new RSA pair of `bits` when it does not exist yet (an existing one is
    /// returned unchanged); nothing when key generation or storage fails.
    std::optional<Partner> ensurePartner(const std::string& partnerId, int bits);
    std::optional<Partner> partner(const std::string& partnerId);

    /// A new single-use code for the user `email` of `partnerId`; `partnerNotFound` for an unknown partner.
    Outcome<std::string> createActivationCode(const std::string& partnerId, const std::string& email);

    /// Registers the installation; with `activationCode` it is activated at once. Answers the user id.
    Outcome<std::int64_t> registerClient(const std::string& email, const std::string& partnerId,
                                         bool deleteMyOtherRegistrations,
                                         const std::optional<std::string>& activationCode,
                                         const std::string& appUniqueId);
    Outcome<std::int64_t> activateClient(const std::string& activationCode, const std::string& appUniqueId);

    /// `clientApplicationNotFound` for an unknown id.
    Outcome<Registration> registration(const std::string& appUniqueId);

    ResultCode updateKeys(const std::string& appUniqueId, const std::string& pemPublicKey);

    /// The same id for the same partner and handle, every time.
    Outcome<std::string> notificationId(const std::string& partnerId, const std::string& handle);
    ResultCode registerPush(const std::string& partnerId, const std::string& appUniqueId,
                            const std::string& notificationId, const std::string& handle, const std::string& platform);

private:
    std::optional<std::int64_t> findOrCreateUser(const std::string& partnerId, const std::string& email);
    ResultCode checkActivationCode(const std::string& code, const std::string& partnerId, const std::string& email);
    bool deleteRegistration(const std::string& appUniqueId);

    SqliteDatabase& _database;
    bool _ready = false;
};

/// The canonical (upper-case) form of an app unique id, or nothing when the text is not a UUID.
std::optional<std::string> canonicalAppId(const std::string& text);

} // namespace vexaqr::devserver
