#include "account/hub/UserDefaults.hpp"

#include "account/platform/DataDirectory.hpp"
#include "codec/platform/LogManager.hpp"

#include "account/platform/SqliteStoreFile.hpp"

#include <nlohmann/json.hpp>

#include <mutex>

namespace vexaqr {

namespace {

// An array is kept as its JSON text, marked by its kind so that a text that looks like JSON stays a text.
constexpr std::int64_t kTextKind = 0;
constexpr std::int64_t kArrayKind = 1;

constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS defaults ("
                                "key TEXT PRIMARY KEY NOT NULL, kind INTEGER NOT NULL, value TEXT NOT NULL)";

std::string arrayText(const std::vector<std::string>& values) {
    return nlohmann::json(values).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

class UserDefaults::Store {
public:
    explicit Store(DirectoryProvider directory)
        : _file("userdefaults.sqlite", kSchema, std::move(directory), "[DEBUG] User defaults unavailable: ") {}

    std::optional<std::string> read(const std::string& key, std::int64_t kind) {
        std::lock_guard lock(_mutex);
        auto* database = _file.database();
        if (!database)
            return std::nullopt;
        auto statement = database->prepare("SELECT value FROM defaults WHERE key = ?1 AND kind = ?2");
        if (!statement || !statement->bind(1, key) || !statement->bind(2, kind) ||
            statement->step() != SqliteDatabase::Statement::Step::row)
            return std::nullopt;
        const auto value = statement->column(0);
        if (const auto* text = std::get_if<std::string>(&value))
            return *text;
        return std::nullopt;
    }

    bool write(const std::string& key, std::int64_t kind, const std::string& value) {
        return write({{key, kind, value}});
    }

    bool remove(const std::string& key) { return write({{key, std::nullopt, ""}}); }

    // A row to store; without a kind, the key's row is removed.
    struct Row {
        std::string key;
        std::optional<std::int64_t> kind;
        std::string value;
    };

    // Every row in one transaction.
    bool write(const std::vector<Row>& rows) {
        std::lock_guard lock(_mutex);
        auto* database = _file.database();
        if (!database)
            return false;
        SqliteDatabase::Transaction transaction(*database);
        bool written = transaction.isActive();
        for (const auto& row : rows) {
            written =
                written &&
                (row.kind ? run(*database, "INSERT OR REPLACE INTO defaults (key, kind, value) VALUES (?1, ?2, ?3)",
                                {row.key, *row.kind, row.value})
                          : run(*database, "DELETE FROM defaults WHERE key = ?1", {row.key}));
        }
        if (!written || !transaction.commit()) {
            LogManager::standard().log("[DEBUG] User defaults write failed: " + database->lastError());
            return false;
        }
        return true;
    }

    Outcome<void, Error> opened() {
        std::lock_guard lock(_mutex);
        if (_file.database())
            return {};
        return Error{"UserDefaults", 0, _file.problem()};
    }

private:
    static bool run(SqliteDatabase& database, std::string_view sql, std::initializer_list<SqliteValue> values) {
        auto statement = database.prepare(sql);
        int index = 1;
        bool bound = statement != nullptr;
        for (const auto& value : values)
            bound = bound && statement->bind(index++, value);
        return bound && statement->step() == SqliteDatabase::Statement::Step::done;
    }

    std::mutex _mutex;
    SqliteStoreFile _file;
};

UserDefaults::UserDefaults(DirectoryProvider directory) : _store(std::make_unique<Store>(std::move(directory))) {}

UserDefaults::~UserDefaults() = default;

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    static auto* defaults =
        new std::shared_ptr<UserDefaults>(std::make_shared<UserDefaults>(&DataDirectory::defaultPath));
    return *defaults;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) {
    return _store->read(key, kTextKind);
}

std::optional<std::vector<std::string>> UserDefaults::stringArrayForKey(const std::string& key) {
    const auto text = _store->read(key, kArrayKind);
    if (!text)
        return std::nullopt;
    const auto json = nlohmann::json::parse(*text, nullptr, false);
    if (!json.is_array())
        return std::nullopt;
    std::vector<std::string> values;
    for (const auto& element : json) {
        if (element.is_string())
            values.push_back(element.get<std::string>());
    }
    return values;
}

bool UserDefaults::setString(const std::string& key, const std::string& value) {
    return _store->write(key, kTextKind, value);
}

bool UserDefaults::setStringArray(const std::string& key, const std::vector<std::string>& values) {
    return _store->write(key, kArrayKind, arrayText(values));
}

bool UserDefaults::removeObjectForKey(const std::string& key) {
    return _store->remove(key);
}

bool UserDefaults::write(const std::vector<Change>& changes) {
    std::vector<Store::Row> rows;
    for (const auto& change : changes) {
        if (const auto* text = std::get_if<std::string>(&change.value))
            rows.push_back({change.key, kTextKind, *text});
        else if (const auto* array = std::get_if<std::vector<std::string>>(&change.value))
            rows.push_back({change.key, kArrayKind, arrayText(*array)});
        else
            rows.push_back({change.key, std::nullopt, ""});
    }
    return _store->write(rows);
}

Outcome<void, Error> UserDefaults::opened() {
    return _store->opened();
}

} // namespace vexaqr
