#include "account/hub/HubLocalStorage.hpp"

#include "account/hub/HubHttpSupport.hpp"

#include <algorithm>
#include <vector>

namespace vexaqr {

std::string StoredRegistrationEntry::toString() const {
    return RegistrationName + ":" + RegistrationId + ":" + ETag;
}

StoredRegistrationEntry StoredRegistrationEntry::fromString(const std::string& stored) {
    const auto parts = hub::split(stored, ':');
    if (parts.size() != 3)
        return {};
    return {std::string(parts[0]), std::string(parts[1]), std::string(parts[2])};
}

HubLocalStorage::HubLocalStorage(std::shared_ptr<UserDefaults> userDefaults, std::string path)
    : _userDefaults(std::move(userDefaults)), _path(std::move(path)), _versionKey(_path + "-version"),
      _deviceTokenKey(_path + "-deviceToken"), _registrationsKey(_path + "-registrations") {
    _deviceToken = _userDefaults->stringForKey(_deviceTokenKey).value_or("");
    _isRefreshNeeded = _userDefaults->stringForKey(_versionKey) != std::string(kStorageVersion);
    if (!_isRefreshNeeded)
        readRegistrations();
}

void HubLocalStorage::readRegistrations() {
    for (const auto& stored :
         _userDefaults->stringArrayForKey(_registrationsKey).value_or(std::vector<std::string>{})) {
        // An entry that does not read back whole is dropped: an empty identifier would address no registration.
        auto entry = StoredRegistrationEntry::fromString(stored);
        if (!entry.RegistrationName.empty() && !entry.RegistrationId.empty())
            _registrations[entry.RegistrationName] = std::move(entry);
    }
}

std::optional<StoredRegistrationEntry>
HubLocalStorage::getStoredRegistrationEntryWithRegistrationName(const std::string& name) const {
    const auto found = _registrations.find(name);
    if (found == _registrations.end())
        return std::nullopt;
    return found->second;
}

void HubLocalStorage::remember(const std::string& name, const std::string& registrationId, const std::string& eTag,
                               const std::string& deviceToken) {
    _registrations[name] = {name, registrationId, eTag};
    _deviceToken = deviceToken;
}

bool HubLocalStorage::updateWithRegistrationName(const std::string& name, const std::string& registrationId,
                                                 const std::string& eTag, const std::string& deviceToken) {
    if (registrationId.empty())
        return true;
    remember(name, registrationId, eTag, deviceToken);
    return flush();
}

bool HubLocalStorage::updateWithListedRegistrations(
    const std::vector<std::shared_ptr<HubRegistration>>& registrations) {
    const auto identified = [](const auto& registration) { return !registration->registrationId.empty(); };
    if (std::none_of(registrations.begin(), registrations.end(), identified))
        return true; // nothing to remember, so nothing is written
    std::map<std::string, std::string> nameOfId;
    for (const auto& [name, entry] : _registrations)
        nameOfId[entry.RegistrationId] = name;
    for (const auto& registration : registrations) {
        if (!identified(registration))
            continue;
        const std::string& id = registration->registrationId;
        const auto known = nameOfId.find(id);
        std::string name = known != nameOfId.end() ? known->second : registration->Name();
        if (name.empty())
            name = id; // a template without a name
        if (const auto replaced = _registrations.find(name); replaced != _registrations.end()) {
            if (const auto old = nameOfId.find(replaced->second.RegistrationId);
                old != nameOfId.end() && old->second == name)
                nameOfId.erase(old);
        }
        remember(name, id, registration->ETag, registration->deviceToken);
        nameOfId[id] = name;
    }
    return flush();
}

bool HubLocalStorage::deleteWithRegistrationName(const std::string& name) {
    _registrations.erase(name);
    return flush();
}

bool HubLocalStorage::deleteAllRegistrations() {
    _registrations.clear();
    return flush();
}

bool HubLocalStorage::refreshFinishedWithDeviceToken(const std::string& deviceToken) {
    _isRefreshNeeded = false;
    if (deviceToken == _deviceToken)
        return true;
    _deviceToken = deviceToken;
    return flush();
}

bool HubLocalStorage::flush() {
    // One write, so that a crash or a full disk never leaves a token beside the registrations of another.
    std::vector<UserDefaults::Change> changes{{_deviceTokenKey, _deviceToken},
                                              {_versionKey, std::string(kStorageVersion)}};
    if (_registrations.empty()) {
        changes.push_back({_registrationsKey, std::monostate{}});
    } else {
        std::vector<std::string> stored;
        for (const auto& [name, entry] : _registrations)
            stored.push_back(entry.toString());
        changes.push_back({_registrationsKey, std::move(stored)});
    }
    return _userDefaults->write(changes);
}

} // namespace vexaqr
