// HubLocalStorage: what this device remembers of its registrations at one hub path, kept in UserDefaults
// under "<path>-version", "<path>-deviceToken" and "<path>-registrations".
//
// Not locked: its hub calls it from one operation at a time.
#pragma once

#include "account/hub/UserDefaults.hpp"
#include <vexaqr/Error.hpp>
#include <vexaqr/hub/HubRegistration.hpp>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexaqr {

/// One remembered registration; stored as "name:id:etag".
struct StoredRegistrationEntry {
    std::string RegistrationName;
    std::string RegistrationId;
    std::string ETag;

    /// The stored form.
    std::string toString() const;
    /// The entry of a stored form; empty fields unless it has exactly three ":"-separated parts.
    static StoredRegistrationEntry fromString(const std::string& stored);

    friend bool operator==(const StoredRegistrationEntry&, const StoredRegistrationEntry&) = default;
};

class HubLocalStorage final {
public:
    static constexpr std::string_view kStorageVersion = "v1.0.0";

    /// Reads what is stored for `path`. A missing or other version starts empty and in refresh mode.
    HubLocalStorage(std::shared_ptr<UserDefaults> userDefaults, std::string path);

    /// The entry stored under a registration name, if any.
    std::optional<StoredRegistrationEntry>
    getStoredRegistrationEntryWithRegistrationName(const std::string& name) const;
    /// Stores (or replaces) the entry under `name` and flushes. An empty id stores nothing. Each change below
    /// is kept in memory even when it cannot be written; false says that the file did not take it.
    bool updateWithRegistrationName(const std::string& name, const std::string& registrationId, const std::string& eTag,
                                    const std::string& deviceToken);
    /// Records every listed registration in order, as updateWithRegistrationName would one by one (an entry
    /// with the same identifier keeps its name), and flushes once; a listing without identifiers writes nothing.
    bool updateWithListedRegistrations(const std::vector<std::shared_ptr<HubRegistration>>& registrations);
    /// Forgets the entry under `name` and flushes.
    bool deleteWithRegistrationName(const std::string& name);
    /// Forgets every entry and flushes.
    bool deleteAllRegistrations();
    /// Leaves refresh mode; stores `deviceToken` (and flushes) when it differs from the stored one.
    bool refreshFinishedWithDeviceToken(const std::string& deviceToken);
    /// Writes the token, the version and the entries in one step.
    bool flush();
    /// Success when the store's file can be used, else why not.
    Outcome<void, Error> opened() { return _userDefaults->opened(); }

    bool isRefreshNeeded() const { return _isRefreshNeeded; }
    /// The device token text last registered; empty when none.
    const std::string& deviceToken() const { return _deviceToken; }
    const std::map<std::string, StoredRegistrationEntry>& registrations() const { return _registrations; }

private:
    void readRegistrations();
    void remember(const std::string& name, const std::string& registrationId, const std::string& eTag,
                  const std::string& deviceToken);

    std::shared_ptr<UserDefaults> _userDefaults;
    std::string _path;
    std::map<std::string, StoredRegistrationEntry> _registrations;
    std::string _versionKey;
    std::string _deviceTokenKey;
    std::string _registrationsKey;
    bool _isRefreshNeeded = true;
    std::string _deviceToken;
};

} // namespace vexaqr
