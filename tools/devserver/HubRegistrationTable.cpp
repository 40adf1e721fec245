#include "HubRegistrationTable.hpp"

#include <vexaqr/hub/NotificationHub.hpp>

#include <openssl/rand.h>

#include <array>
#include <cstdio>

namespace vexaqr::devserver {

namespace {

constexpr const char* kColumns = "hub, id, is_template, device_token, tags, template_name, body_template, expiry, "
                                 "priority, etag, active, forgotten";

std::string textColumn(const SqliteDatabase::Statement& statement, int index) {
    const auto value = statement.column(index);
    return std::holds_alternative<std::string>(value) ? std::get<std::string>(value) : std::string();
}

std::int64_t integerColumn(const SqliteDatabase::Statement& statement, int index) {
    const auto value = statement.column(index);
    return std::holds_alternative<std::int64_t>(value) ? std::get<std::int64_t>(value) : 0;
}

HubRecord recordFrom(const SqliteDatabase::Statement& row) {
    return HubRecord{textColumn(row, 0),    textColumn(row, 1),          integerColumn(row, 2) != 0,
                     textColumn(row, 3),    textColumn(row, 4),          textColumn(row, 5),
                     textColumn(row, 6),    textColumn(row, 7),          textColumn(row, 8),
                     integerColumn(row, 9), integerColumn(row, 10) != 0, integerColumn(row, 11) != 0};
}

std::string unescape(std::string_view text) {
    static constexpr std::array<std::pair<std::string_view, char>, 5> kEntities = {
        {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}}};
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool replaced = false;
        for (const auto& [entity, character] : kEntities) {
            if (text.substr(i).starts_with(entity)) {
                result += character;
                i += entity.size() - 1;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            result += text[i];
    }
    return result;
}

// The text of <name>...</name> inside `body`: CDATA sections joined, character references resolved.
std::optional<std::string> elementText(std::string_view body, std::string_view name) {
    const std::string open = "<" + std::string(name) + ">";
    const std::string close = "</" + std::string(name) + ">";
    const auto start = body.find(open);
    if (start == std::string_view::npos)
        return std::nullopt;
    const auto end = body.find(close, start + open.size());
    if (end == std::string_view::npos)
        return std::nullopt;
    std::string_view inner = body.substr(start + open.size(), end - start - open.size());
    std::string text;
    while (!inner.empty()) {
        const auto cdata = inner.find("<![CDATA[");
        text += unescape(inner.substr(0, cdata));
        if (cdata == std::string_view::npos)
            break;
        const auto cdataEnd = inner.find("]]>", cdata);
        if (cdataEnd == std::string_view::npos)
            return std::nullopt;
        text += inner.substr(cdata + 9, cdataEnd - cdata - 9);
        inner = inner.substr(cdataEnd + 3);
    }
    return text;
}

std::string escape(const std::string& text) {
    std::string result;
    for (char c : text) {
        switch (c) {
        case '&':
            result += "&amp;";
            break;
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        default:
            result += c;
        }
    }
    return result;
}

std::string element(std::string_view name, const std::string& text) {
    return "<" + std::string(name) + ">" + escape(text) + "</" + std::string(name) + ">";
}

// A "]]>" inside would end the section early: split it across two sections.
std::string cdataSafe(const std::string& text) {
    std::string result;
    std::size_t start = 0;
    for (auto at = text.find("]]>"); at != std::string::npos; at = text.find("]]>", start)) {
        result += text.substr(start, at + 2 - start) + "]]><![CDATA[";
        start = at + 2;
    }
    return result + text.substr(start);
}

std::string randomIdentifier() {
    std::array<unsigned char, 8> random{};
    RAND_bytes(random.data(), static_cast<int>(random.size()));
    char text[40];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x", random[0], random[1], random[2], random[3],
                  random[4], random[5], random[6], random[7]);
    return text;
}

} // namespace

HubRegistrationTable::HubRegistrationTable(SqliteDatabase& database) : _database(database) {
    _database.execute("CREATE TABLE IF NOT EXISTS hub_registrations (hub TEXT NOT NULL, id TEXT NOT NULL, "
                      "is_template INTEGER NOT NULL, device_token TEXT NOT NULL, tags TEXT NOT NULL, "
                      "template_name TEXT NOT NULL, body_template TEXT NOT NULL, expiry TEXT NOT NULL, "
                      "priority TEXT NOT NULL, etag INTEGER NOT NULL, active INTEGER NOT NULL, "
                      "forgotten INTEGER NOT NULL, PRIMARY KEY (hub, id))");
}

std::string HubRegistrationTable::reserveIdentifier(const std::string& hub) {
    HubRecord record;
    record.hub = hub;
    record.registrationId = randomIdentifier();
    save(record);
    return record.registrationId;
}

std::optional<HubRecord> HubRegistrationTable::find(const std::string& hub, const std::string& registrationId) const {
    auto select =
        _database.prepare(std::string("SELECT ") + kColumns + " FROM hub_registrations WHERE hub = ?1 AND id = ?2");
    if (!select || !select->bind(1, hub) || !select->bind(2, registrationId) ||
        select->step() != SqliteDatabase::Statement::Step::row)
        return std::nullopt;
    return recordFrom(*select);
}

std::optional<HubRecord> HubRegistrationTable::findAnywhere(const std::string& registrationId) const {
    auto select = _database.prepare(std::string("SELECT ") + kColumns + " FROM hub_registrations WHERE id = ?1");
    if (!select || !select->bind(1, registrationId) || select->step() != SqliteDatabase::Statement::Step::row)
        return std::nullopt;
    return recordFrom(*select);
}

std::vector<HubRecord> HubRegistrationTable::findByDeviceToken(const std::string& hub,
                                                               const std::string& deviceToken) const {
    std::vector<HubRecord> records;
    auto select = _database.prepare(std::string("SELECT ") + kColumns +
                                    " FROM hub_registrations WHERE hub = ?1 AND device_token = ?2 AND active = 1 "
                                    "ORDER BY rowid");
    if (!select || !select->bind(1, hub) || !select->bind(2, deviceToken))
        return records;
    while (select->step() == SqliteDatabase::Statement::Step::row)
        records.push_back(recordFrom(*select));
    return records;
}

bool HubRegistrationTable::save(const HubRecord& record) {
    auto upsert = _database.prepare(std::string("INSERT OR REPLACE INTO hub_registrations (") + kColumns +
                                    ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
    if (!upsert)
        return false;
    const SqliteValue values[] = {record.hub,
                                  record.registrationId,
                                  std::int64_t{record.isTemplate},
                                  record.deviceToken,
                                  record.tags,
                                  record.templateName,
                                  record.bodyTemplate,
                                  record.expiry,
                                  record.priority,
                                  record.eTag,
                                  std::int64_t{record.active},
                                  std::int64_t{record.forgotten}};
    for (int i = 0; i < 12; ++i)
        if (!upsert->bind(i + 1, values[i]))
            return false;
    return upsert->step() == SqliteDatabase::Statement::Step::done;
}

bool HubRegistrationTable::remove(const std::string& hub, const std::string& registrationId) {
    auto remove = _database.prepare("DELETE FROM hub_registrations WHERE hub = ?1 AND id = ?2");
    return remove && remove->bind(1, hub) && remove->bind(2, registrationId) &&
           remove->step() == SqliteDatabase::Statement::Step::done;
}

std::optional<HubRecord> HubRegistrationTable::fromDescription(std::string_view body) {
    const std::string ns = "xmlns=\"" + std::string(kHubRegistrationNamespace) + "\"";
    HubRecord record;
    if (body.find("<AppleTemplateRegistrationDescription ") != std::string_view::npos)
        record.isTemplate = true;
    else if (body.find("<AppleRegistrationDescription ") == std::string_view::npos)
        return std::nullopt;
    if (body.find(ns) == std::string_view::npos)
        return std::nullopt;
    const auto token = elementText(body, "DeviceToken");
    if (!token || token->empty())
        return std::nullopt;
    record.deviceToken = *token;
    record.tags = elementText(body, "Tags").value_or("");
    if (record.isTemplate) {
        const auto name = elementText(body, "TemplateName");
        const auto bodyTemplate = elementText(body, "BodyTemplate");
        if (!name || name->empty() || !bodyTemplate)
            return std::nullopt;
        record.templateName = *name;
        record.bodyTemplate = *bodyTemplate;
        record.expiry = elementText(body, "Expiry").value_or("");
        record.priority = elementText(body, "Priority").value_or("");
    }
    return record;
}

std::string HubRegistrationTable::entryXml(const HubRecord& record, const std::string& origin) {
    const std::string description =
        record.isTemplate ? "AppleTemplateRegistrationDescription" : "AppleRegistrationDescription";
    std::string xml = "<entry xmlns=\"http://www.w3.org/2005/Atom\"><id>" + origin + "/hub/" + record.hub +
                      "/registrations/" + record.registrationId + "</id><content type=\"application/xml\"><" +
                      description + " xmlns=\"" + std::string(kHubRegistrationNamespace) +
                      "\" xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\">";
    xml += element("ETag", std::to_string(record.eTag));
    xml += element("ExpirationTime", "9999-12-31T23:59:59.999Z");
    xml += element("RegistrationId", record.registrationId);
    if (!record.tags.empty())
        xml += element("Tags", record.tags);
    xml += element("DeviceToken", record.deviceToken);
    if (record.isTemplate) {
        xml += "<BodyTemplate><![CDATA[" + cdataSafe(record.bodyTemplate) + "]]></BodyTemplate>";
        if (!record.expiry.empty())
            xml += element("Expiry", record.expiry);
        xml += element("TemplateName", record.templateName);
    }
    return xml + "</" + description + "></content></entry>";
}

std::string HubRegistrationTable::feedXml(const std::vector<HubRecord>& records, const std::string& origin) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?><feed xmlns=\"http://www.w3.org/2005/Atom\">"
                      "<title type=\"text\">Registrations</title>";
    for (const auto& record : records)
        xml += entryXml(record, origin);
    return xml + "</feed>";
}

} // namespace vexaqr::devserver
