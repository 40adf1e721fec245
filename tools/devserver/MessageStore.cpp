#include "MessageStore.hpp"

#include "Sql.hpp"

#include <vexaqr/Uuid.hpp>

namespace vexaqr::devserver {

namespace {

constexpr std::string_view kSchema = R"(
CREATE TABLE IF NOT EXISTS messages(
    sequence INTEGER PRIMARY KEY AUTOINCREMENT, message_id TEXT NOT NULL UNIQUE,
    app_unique_id TEXT NOT NULL REFERENCES registrations(app_unique_id) ON DELETE CASCADE,
    vxa_data BLOB NOT NULL, vxa_info TEXT, vxa_template TEXT);
)";

SqliteValue optionalText(const std::optional<std::string>& text) {
    return text ? SqliteValue(*text) : SqliteValue();
}

} // namespace

MessageStore::MessageStore(SqliteDatabase& database) : _database(database), _ready(database.execute(kSchema)) {}

std::optional<std::string> MessageStore::add(const std::string& appUniqueId, const Bytes& vxaData,
                                             const std::optional<std::string>& vxaInfo,
                                             const std::optional<std::string>& vxaTemplate) {
    const std::string messageId = Uuid::random().uuidString();
    if (!sql::run(_database,
                  "INSERT INTO messages(message_id, app_unique_id, vxa_data, vxa_info, vxa_template) "
                  "VALUES(?, ?, ?, ?, ?)",
                  {messageId, appUniqueId, vxaData, optionalText(vxaInfo), optionalText(vxaTemplate)}))
        return std::nullopt;
    return messageId;
}

std::optional<std::vector<std::string>> MessageStore::ids(const std::string& appUniqueId) {
    const auto rows = sql::select(
        _database, "SELECT message_id FROM messages WHERE app_unique_id = ? ORDER BY sequence", 1, {appUniqueId});
    if (!rows)
        return std::nullopt;
    std::vector<std::string> ids;
    for (const auto& row : *rows)
        ids.push_back(sql::text(row, 0).value_or(""));
    return ids;
}

std::optional<std::optional<StoredMessage>> MessageStore::find(const std::string& appUniqueId,
                                                               const std::string& messageId) {
    const auto rows = sql::select(
        _database,
        "SELECT message_id, vxa_data, vxa_info, vxa_template FROM messages WHERE app_unique_id = ? AND message_id = ?",
        4, {appUniqueId, messageId});
    if (!rows)
        return std::nullopt;
    if (rows->empty())
        return std::optional<StoredMessage>();
    const auto& row = rows->front();
    const auto* data = std::get_if<Bytes>(&row[1]);
    return std::optional<StoredMessage>(
        StoredMessage{sql::text(row, 0).value_or(""), data ? *data : Bytes{}, sql::text(row, 2), sql::text(row, 3)});
}

std::optional<int> MessageStore::remove(const std::string& appUniqueId, const std::string& messageId) {
    if (!sql::run(_database, "DELETE FROM messages WHERE app_unique_id = ? AND message_id = ?",
                  {appUniqueId, messageId}))
        return std::nullopt;
    return _database.changes();
}

std::optional<int> MessageStore::removeAll(const std::string& appUniqueId) {
    if (!sql::run(_database, "DELETE FROM messages WHERE app_unique_id = ?", {appUniqueId}))
        return std::nullopt;
    return _database.changes();
}

} // namespace vexaqr::devserver
