#include <vexaqr/hub/UserDefaults.hpp>

#include <vexaqr/platform/DataDirectory.hpp>
#include <vexaqr/platform/LogManager.hpp>

#include "platform/SqliteStoreFile.hpp"

#include <nlohmann/json.hpp>

#include <mutex>

namespace vexaqr {

namespace {

// An array is kept as its JSON text, marked by its kind so that a text that looks like JSON stays a text.
constexpr std::int64_t kTextKind = 0;
constexpr std::int64_t kArrayKind = 1;

constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS defaults ("
                                "key TEXT PRIMARY KEY NOT NULL, kind INTEGER NOT NULL, value TEXT NOT NULL)";

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
        return run("INSERT OR REPLACE INTO defaults (key, kind, value) VALUES (?1, ?2, ?3)", {key, kind, value});
    }

    bool remove(const std::string& key) { return run("DELETE FROM defaults WHERE key = ?1", {key}); }

private:
    bool run(std::string_view sql, std::initializer_list<SqliteValue> values) {
        std::lock_guard lock(_mutex);
        auto* database = _file.database();
        if (!database)
            return false;
        auto statement = database->prepare(sql);
        int index = 1;
        bool bound = statement != nullptr;
        for (const auto& value : values)
            bound = bound && statement->bind(index++, value);
        if (!bound || statement->step() != SqliteDatabase::Statement::Step::done) {
            LogManager::standard().log("[DEBUG] User defaults write failed: " + database->lastError());
            return false;
        }
        return true;
    }

    std::mutex _mutex;
    SqliteStoreFile _file;
};

UserDefaults::UserDefaults(DirectoryProvider directory) : _store(std::make_unique<Store>(std::move(directory))) {}

UserDefaults::~UserDefaults() = default;

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    static auto* defaults = new std::shared_ptr<UserDefaults>(std::make_shared<UserDefaults>(&DataDirectory::current));
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
    return _store->write(key, kArrayKind,
                         nlohmann::json(values).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

bool UserDefaults::removeObjectForKey(const std::string& key) {
    return _store->remove(key);
}

} // namespace vexaqr
