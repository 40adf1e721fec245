// AppDataService: what the facade, the workflows and the scanner read and write about this
// installation: its id, the user's data, the registration state, and the four RSA keys.
//
// Holds no data of its own: settings go to the DatabaseWrapper it is given, keys come from the
// KeychainWrapper it is given, under the tags of KeychainWrapper. The plain save(...) calls log a store
// failure below and go on; a step whose outcome depends on a write calls trySave(...) and checks it. Call on
// the main thread.
#pragma once

#include <vexaqr/Uuid.hpp>
#include <vexaqr/payload/KeyHandle.hpp>
#include <vexaqr/sdk/VexaQrSDKRegistrationState.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vexaqr {

class DatabaseWrapper;
class KeychainWrapper;

class AppDataServiceProtocol {
public:
    virtual ~AppDataServiceProtocol() = default;

    /// Makes, stores and returns a new random application id; nothing when the store did not keep it.
    virtual std::optional<Uuid> createNewAppUniqueId() = 0;
    /// The stored id; nil when unset or not valid UUID text.
    virtual std::optional<Uuid> getAppUniqueId() = 0;
    /// The stored backend user id; nil unless a number is stored that a 64-bit integer holds.
    virtual std::optional<std::int64_t> getVexaQrUserId() = 0;
    virtual void save(std::int64_t vexaQrUserId) = 0;
    /// The stored e-mail address; nil unless a text is stored.
    virtual std::optional<std::string> getUserEmail() = 0;
    virtual void save(const std::string& userEmail) = 0;
    /// The stored state; `initial` unless the store holds 0, 1 or 2.
    virtual VexaQrSDKRegistrationState getRegistrationState() = 0;
    virtual void save(VexaQrSDKRegistrationState registrationState) = 0;
    /// The stored keys; null when missing.
    virtual KeyHandle getPartnerPublicKey() = 0;
    virtual KeyHandle getPartnerPrivateKey() = 0;
    virtual KeyHandle getClientPublicKey() = 0;
    virtual KeyHandle getClientPrivateKey() = 0;
    /// Removes the four keys, the settings and the message cache, then stores the state `initial`.
    virtual void resetRegistration() = 0;
    /// As the save(...) calls above, answering whether the store kept the value.
    [[nodiscard]] virtual bool trySave(std::int64_t vexaQrUserId) = 0;
    [[nodiscard]] virtual bool trySave(const std::string& userEmail) = 0;
    [[nodiscard]] virtual bool trySave(VexaQrSDKRegistrationState registrationState) = 0;
};

class AppDataService final : public AppDataServiceProtocol {
public:
    /// Settings in `database`, keys in `keychain`; both must outlive the service.
    AppDataService(DatabaseWrapper& database, const KeychainWrapper& keychain);

    std::optional<Uuid> createNewAppUniqueId() override;
    std::optional<Uuid> getAppUniqueId() override;
    std::optional<std::int64_t> getVexaQrUserId() override;
    void save(std::int64_t vexaQrUserId) override;
    std::optional<std::string> getUserEmail() override;
    void save(const std::string& userEmail) override;
    VexaQrSDKRegistrationState getRegistrationState() override;
    void save(VexaQrSDKRegistrationState registrationState) override;
    KeyHandle getPartnerPublicKey() override;
    KeyHandle getPartnerPrivateKey() override;
    KeyHandle getClientPublicKey() override;
    KeyHandle getClientPrivateKey() override;
    void resetRegistration() override;
    bool trySave(std::int64_t vexaQrUserId) override;
    bool trySave(const std::string& userEmail) override;
    bool trySave(VexaQrSDKRegistrationState registrationState) override;

private:
    DatabaseWrapper& _database;
    const KeychainWrapper& _keychain;
};

} // namespace vexaqr
