// Account: the installation's backend account in calls that block until the answer is in, for hosts
// without an event loop of their own (a command-line tool, a service, a test).
//
// Each call runs the SDK facade on the account's own main queue and returns its outcome: the value, or
// a Failure whose reason a program can test and whose message a person can act on. No call waits longer
// than the timeout. The installation's keys, settings and message cache live in its data directory;
// accounts over different directories share nothing of it. Drive an account from one thread, one call
// at a time.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/Uuid.hpp>
#include <vexaqr/sdk/VexaQrSDKRegistrationState.hpp>
#include <vexaqr/sdk/VxaMessage.hpp>
#include <vexaqr/sync/Failure.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexaqr {

/// The push notification hub the device is registered at during activation.
struct HubConnection {
    std::string name{};             // the hub's path
    std::string connectionString{}; // "Endpoint=sb://...;SharedAccessKeyName=...;SharedAccessKey=..."
};

struct AccountOptions {
    /// Where the installation's data lives; empty: the default data directory.
    std::filesystem::path dataDirectory{};
    /// The backend's base address; empty: the local devserver's default address.
    std::string baseUrl{};
    /// Needed by activation only.
    std::optional<HubConnection> hub{};
    /// The longest one call waits (activation makes an RSA key pair and several round trips).
    std::chrono::milliseconds timeout = std::chrono::seconds(120);
    /// Writes the backend exchange to standard output.
    bool logging = false;
};

/// What activation needs besides the hub.
struct ActivationDetails {
    std::string activationCode{};
    std::string partnerId{};
    Bytes deviceToken{}; // the device's push token
    int keyBits = 2048;  // of the installation's RSA key pair: 1024 or 2048
    /// The partner's keys as PEM texts; when both are empty the partner's public key is downloaded.
    std::string partnerPublicKeyPem{};
    std::string partnerPrivateKeyPem{};
};

struct AccountRegistration {
    std::string email{};
    std::string partnerId{};
    /// Replaces the user's other registrations.
    bool force = false;
    /// Activates at once (its empty partner id is the registration's).
    std::optional<ActivationDetails> activation{};
};

/// The registration kept on the device.
struct AccountState {
    VexaQrSDKRegistrationState state = VexaQrSDKRegistrationState::initial;
    std::optional<std::string> email;
    std::optional<std::int64_t> userId;
    std::optional<Uuid> appUniqueId;
};

struct AccountMessages {
    /// Verified and decrypted with the stored keys, in the backend's order; each has its id, its record
    /// (processedVxaData) and the record's content (actualVxaData).
    std::vector<VxaMessage> messages;
    /// Set when the backend could not be used and `messages` are the ones cached by an earlier call.
    std::optional<Failure> backendFailure;
};

/// A call that succeeded and has nothing to return.
struct Done {};

/// An error of the backend exchange as a person would say it: "HTTP 404 from URL", "URL cannot be
/// reached: ...", or the result code with its meaning; reason backendUnreachable or backendRefused.
Failure backendFailure(const Error& error, const std::string& baseUrl);

/// The state's name: "initial", "pending" or "active".
std::string_view name(VexaQrSDKRegistrationState state);

class Account {
public:
    explicit Account(AccountOptions options = {});
    ~Account();
    Account(const Account&) = delete;
    Account& operator=(const Account&) = delete;

    /// Registers a new installation (and activates it with `registration.activation`); the state after.
    Outcome<AccountState> registerAccount(const AccountRegistration& registration);

    /// Activates the registered installation: its key pair made and uploaded, the partner's key stored,
    /// the push registrations made. Fails with invalidOptions without AccountOptions::hub.
    Outcome<AccountState> activate(const ActivationDetails& details);

    /// Fetches, verifies, decrypts and caches the messages; the cached ones when the backend fails.
    Outcome<AccountMessages> messages();

    Outcome<Done> deleteMessage(const std::string& messageId);
    Outcome<Done> deleteMessages();

    /// Forgets the keys, the settings and the cached messages; nothing is sent to the backend.
    Outcome<AccountState> logout();

    Outcome<AccountState> state();

    /// The installation's id; notRegistered before a registration.
    Outcome<Uuid> appUniqueId();

private:
    class Session;
    std::unique_ptr<Session> _session;
};

} // namespace vexaqr
