// HubRegistrationTable: the devserver hub's registrations in the devserver's SQLite file, and their XML
// forms: reading a registration description out of a request body and writing the hub's replies.
//
// Uses the context's database; callers hold `context.mutex`.
#pragma once

#include "account/platform/SqliteDatabase.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexaqr::devserver {

struct HubRecord {
    std::string hub;
    std::string registrationId;
    bool isTemplate = false;
    std::string deviceToken;
    std::string tags;
    std::string templateName;
    std::string bodyTemplate;
    std::string expiry;
    std::string priority;
    std::int64_t eTag = 0;
    /// False while the identifier is only reserved (no PUT yet).
    bool active = false;
    /// Set by `admin hub-forget`: the next PUT answers 410.
    bool forgotten = false;
};

class HubRegistrationTable {
public:
    /// Creates the table when it is missing.
    explicit HubRegistrationTable(SqliteDatabase& database);

    /// Reserves a new identifier in `hub`.
    std::string reserveIdentifier(const std::string& hub);
    std::optional<HubRecord> find(const std::string& hub, const std::string& registrationId) const;
    /// Any hub's registration with this identifier.
    std::optional<HubRecord> findAnywhere(const std::string& registrationId) const;
    /// Active registrations of `deviceToken` in `hub`, oldest first.
    std::vector<HubRecord> findByDeviceToken(const std::string& hub, const std::string& deviceToken) const;
    bool save(const HubRecord& record);
    bool remove(const std::string& hub, const std::string& registrationId);

    /// The registration described by a PUT body, with `hub` and `registrationId` filled in; nothing when the
    /// body holds no registration description of the client's namespace or no device token.
    static std::optional<HubRecord> fromDescription(std::string_view body);
    /// The entry element describing `record`, as the hub answers a PUT.
    static std::string entryXml(const HubRecord& record, const std::string& origin);
    /// The feed of entries answering a listing.
    static std::string feedXml(const std::vector<HubRecord>& records, const std::string& origin);

private:
    SqliteDatabase& _database;
};

} // namespace vexaqr::devserver
