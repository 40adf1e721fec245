// NotificationHub: keeps this device registered with a push notification hub over the hub's REST interface
// (API version "2013-04"), authorised by HubTokenProvider, and remembers its registrations in UserDefaults so
// that later calls update the same registration instead of creating another.
//
// Threads: asynchronous operations complete on the HTTP client's callback thread (at once on the caller's
// thread when they fail before any request); a pending operation keeps the hub alive until it completes.
// unregisterAllWithDeviceToken runs on a thread of its own and completes on the main queue when it was called
// from the main queue. Synchronous operations block; never call them on the HTTP client's callback thread. The
// local store is not locked: one operation at a time per hub path.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/Outcome.hpp>
#include <vexaqr/hub/HubRegistration.hpp>
#include <vexaqr/platform/HttpClient.hpp>
#include <vexaqr/platform/MainQueue.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vexaqr {

struct HubOperation;
class HubLocalStorage;
class HubTokenProvider;
class UserDefaults;

/// The XML namespace of the registration descriptions this client sends and reads.
inline constexpr std::string_view kHubRegistrationNamespace = "https://schemas.vexaqr.com/notificationhub/2013-04";

class NotificationHub final : public std::enable_shared_from_this<NotificationHub> {
public:
    using Completion = std::function<void(std::optional<Error> error)>;
    using Registrations = std::vector<std::shared_ptr<HubRegistration>>;

    static constexpr std::string_view version = "v0.1.6";
    static constexpr std::string_view kApiVersion = "2013-04";

    /// What the hub works with; an empty member gets the process-wide default.
    struct Collaborators {
        std::shared_ptr<HttpClient> httpClient;                       // HttpClient::shared()
        std::shared_ptr<MainQueue> mainQueue;                         // MainQueue::shared()
        std::shared_ptr<UserDefaults> userDefaults;                   // UserDefaults::standard()
        std::function<std::chrono::system_clock::time_point()> clock; // the system clock
    };

    /// A hub client for `notificationHubPath` at the connection string's endpoint, or nullptr (and a log line)
    /// when the connection string has no usable endpoint or credentials, or the path is empty.
    static std::shared_ptr<NotificationHub> initWithConnectionString(const std::string& connectionString,
                                                                     const std::string& notificationHubPath,
                                                                     Collaborators collaborators = {});
    ~NotificationHub();
    NotificationHub(const NotificationHub&) = delete;
    NotificationHub& operator=(const NotificationHub&) = delete;

    /// Creates or updates the "$Default" registration binding `deviceToken` (raw push token bytes) and `tags`.
    /// The completion receives nothing on success, else the error ("Device Token can't be nil." for no token).
    void registerNativeWithDeviceToken(const Bytes& deviceToken, const std::set<std::string>& tags,
                                       Completion completion);
    /// The same for the template registration `name` with a JSON body template; an empty `expiryTemplate` or
    /// `priorityTemplate` is left out.
    void registerTemplateWithDeviceToken(const Bytes& deviceToken, const std::string& name,
                                         const std::string& jsonBodyTemplate, const std::string& expiryTemplate,
                                         const std::set<std::string>& tags, Completion completion);
    void registerTemplateWithDeviceToken(const Bytes& deviceToken, const std::string& name,
                                         const std::string& jsonBodyTemplate, const std::string& expiryTemplate,
                                         const std::string& priorityTemplate, const std::set<std::string>& tags,
                                         Completion completion);
    /// Deletes the "$Default" registration; success without a request when none is stored.
    void unregisterNativeWithCompletion(Completion completion);
    /// Deletes the template registration `name` after checking the name.
    void unregisterTemplateWithName(const std::string& name, Completion completion);
    /// Deletes every registration of `deviceToken` on the hub, on a thread of its own; the local entries are
    /// forgotten only when every deletion succeeded.
    void unregisterAllWithDeviceToken(const Bytes& deviceToken, Completion completion);

    /// Synchronous forms: success, or the error the completion would have received.
    Outcome<void, Error> registerNativeWithDeviceToken(const Bytes& deviceToken, const std::set<std::string>& tags);
    Outcome<void, Error> registerTemplateWithDeviceToken(const Bytes& deviceToken, const std::string& name,
                                                         const std::string& jsonBodyTemplate,
                                                         const std::string& expiryTemplate,
                                                         const std::set<std::string>& tags);
    Outcome<void, Error> registerTemplateWithDeviceToken(const Bytes& deviceToken, const std::string& name,
                                                         const std::string& jsonBodyTemplate,
                                                         const std::string& expiryTemplate,
                                                         const std::string& priorityTemplate,
                                                         const std::set<std::string>& tags);
    Outcome<void, Error> unregisterNative();
    Outcome<void, Error> unregisterTemplateWithName(const std::string& name);
    Outcome<void, Error> unregisterAllWithDeviceToken(const Bytes& deviceToken);

    /// Every registration of the device token text (upper-case hex) on the hub, recorded in the local store;
    /// an empty list when the hub knows none.
    Outcome<Registrations, Error> retrieveAllRegistrationsWithDeviceToken(const std::string& deviceToken);

    /// The push token bytes as upper-case hexadecimal, two digits per byte.
    static std::string convertDeviceToken(const Bytes& deviceToken);
    /// Refuses names containing ":" and the reserved "$Default".
    static Outcome<void, Error> verifyTemplateName(const std::string& name);

    const std::string& path() const { return _path; }
    const HubTokenProvider& tokenProvider() const;
    /// The local registration store (for inspection by tools and tests).
    HubLocalStorage& storageManager();

private:
    friend struct HubOperation;
    NotificationHub() = default;

    std::string _path;
    std::string _serviceEndPoint;
    std::shared_ptr<HubTokenProvider> _tokenProvider;
    std::unique_ptr<HubLocalStorage> _storageManager;
    std::shared_ptr<HttpClient> _httpClient;
    std::shared_ptr<MainQueue> _mainQueue;
};

/// Makes the hub client for a connection string and hub path; null when it cannot be made.
using NotificationHubFactory = std::function<std::shared_ptr<NotificationHub>(const std::string& connectionString,
                                                                              const std::string& notificationHubPath)>;

} // namespace vexaqr
