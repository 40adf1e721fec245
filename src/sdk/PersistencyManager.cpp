#include <vexaqr/sdk/PersistencyManager.hpp>

#include <vexaqr/platform/DataDirectory.hpp>
#include <vexaqr/platform/LogManager.hpp>
#include <vexaqr/sdk/CoreDataConstants.hpp>

#include "platform/SqliteStoreFile.hpp"

#include <algorithm>
#include <array>

namespace vexaqr {

namespace {

using Step = SqliteDatabase::Statement::Step;

struct Entity {
    std::string_view name;
    std::array<std::string_view, 4> attributes;
};

// The data model. Columns carry no declared type, so a value reads back exactly as it was written.
constexpr std::array<Entity, 2> kModel{{
    {Constant::CoreData::EntityName::sdkData, {"appUniqueId", "vexaQrUserId", "userEmailAddress", "registrationState"}},
    {Constant::CoreData::EntityName::vxaMessage, {"vxaData", "vxaInfo", "vxaTemplate", "messageId"}},
}};

constexpr const char* kSchema =
    "PRAGMA journal_mode = WAL;"
    "CREATE TABLE IF NOT EXISTS SDKData (objectId INTEGER PRIMARY KEY AUTOINCREMENT,"
    " appUniqueId, vexaQrUserId, userEmailAddress, registrationState);"
    "CREATE TABLE IF NOT EXISTS CachedVxaMessage (objectId INTEGER PRIMARY KEY AUTOINCREMENT,"
    " vxaData, vxaInfo, vxaTemplate, messageId);";

const Entity* findEntity(std::string_view name) {
    auto found = std::find_if(kModel.begin(), kModel.end(), [name](const Entity& e) { return e.name == name; });
    return found == kModel.end() ? nullptr : &*found;
}

bool hasAttribute(const Entity& entity, std::string_view key) {
    return std::find(entity.attributes.begin(), entity.attributes.end(), key) != entity.attributes.end();
}

void logFailure(std::string_view message, std::string_view error, std::string_view details) {
    LogManager::standard().log(std::string(message) + std::string(error) + ", {" + std::string(details) + "}");
}

// The entity named `name`, or nothing after logging `failure` with the reason: names come from callers.
const Entity* knownEntity(const std::string& name, std::string_view failure) {
    const Entity* entity = findEntity(name);
    if (!entity)
        logFailure(failure, "unknown entity", "entity: " + name);
    return entity;
}

SqliteValue toSqlite(const std::optional<StoredValue>& value) {
    if (!value)
        return std::monostate{};
    if (auto* integer = std::get_if<std::int64_t>(&*value))
        return *integer;
    if (auto* real = std::get_if<double>(&*value))
        return *real;
    if (auto* text = std::get_if<std::string>(&*value))
        return *text;
    return std::get<Bytes>(*value);
}

// Built in place: g++ 12 with the sanitizers misreads a moved temporary variant as uninitialised.
std::optional<StoredValue> fromSqlite(const SqliteValue& value) {
    std::optional<StoredValue> stored;
    if (auto* integer = std::get_if<std::int64_t>(&value))
        stored.emplace(std::in_place_type<std::int64_t>, *integer);
    else if (auto* real = std::get_if<double>(&value))
        stored.emplace(std::in_place_type<double>, *real);
    else if (auto* text = std::get_if<std::string>(&value))
        stored.emplace(std::in_place_type<std::string>, *text);
    else if (auto* blob = std::get_if<Bytes>(&value))
        stored.emplace(std::in_place_type<Bytes>, *blob);
    return stored;
}

std::string columnList(const Entity& entity) {
    std::string list;
    for (auto attribute : entity.attributes) {
        if (!list.empty())
            list += ", ";
        list += attribute;
    }
    return list;
}

StoredObject readObject(const Entity& entity, const SqliteDatabase::Statement& row) {
    StoredObject object{std::string(entity.name), std::get<std::int64_t>(row.column(0)), {}};
    for (std::size_t i = 0; i < entity.attributes.size(); ++i)
        object.values[std::string(entity.attributes[i])] = fromSqlite(row.column(static_cast<int>(i + 1)));
    return object;
}

// "INSERT INTO <entity> (<every attribute>) VALUES (?, ...)"; nothing (logged) when it does not compile.
std::unique_ptr<SqliteDatabase::Statement> prepareInsert(SqliteDatabase& db, const Entity& entity) {
    std::string placeholders;
    for (std::size_t i = 0; i < entity.attributes.size(); ++i)
        placeholders += i == 0 ? "?" : ", ?";
    const std::string name(entity.name);
    auto insert = db.prepare("INSERT INTO " + name + " (" + columnList(entity) + ") VALUES (" + placeholders + ")");
    if (!insert)
        logFailure("Unresolved error ", db.lastError(), "entity: " + name);
    return insert;
}

// Inserts one object with a statement from prepareInsert (reusable afterwards); nothing (logged) on an
// attribute the entity lacks or a failed insert.
std::optional<StoredObject> insertObject(SqliteDatabase& db, SqliteDatabase::Statement& insert, const Entity& entity,
                                         const StoredValues& values) {
    const std::string name(entity.name);
    for (const auto& entry : values) {
        if (!hasAttribute(entity, entry.first)) {
            logFailure("Unresolved error ", "unknown attribute", "entity: " + name + ", key: " + entry.first);
            return std::nullopt;
        }
    }
    StoredObject object{name, 0, {}};
    for (auto attribute : entity.attributes) {
        auto given = values.find(std::string(attribute));
        object.values[std::string(attribute)] = given == values.end() ? std::nullopt : given->second;
    }
    bool bound = true;
    for (std::size_t i = 0; bound && i < entity.attributes.size(); ++i)
        bound = insert.bind(static_cast<int>(i + 1), toSqlite(object.values[std::string(entity.attributes[i])]));
    const bool inserted = bound && insert.step() == Step::done;
    insert.reset();
    if (!inserted) {
        logFailure("Unresolved error ", db.lastError(), "entity: " + name);
        return std::nullopt;
    }
    object.objectId = db.lastInsertRowId();
    return object;
}

std::string stagingTable(const Entity& entity) {
    return "temp.Staged" + std::string(entity.name);
}

// Binds `value` as the integer parameter `index` and steps the statement to its end.
bool runWithInteger(SqliteDatabase& db, const std::string& sql, std::int64_t value) {
    auto statement = db.prepare(sql);
    return statement && statement->bind(1, value) && statement->step() == Step::done;
}

std::optional<std::int64_t> countStaged(SqliteDatabase& db, const Entity& entity, std::int64_t stagingId) {
    auto count = db.prepare("SELECT count(*) FROM " + stagingTable(entity) + " WHERE stagingId = ?");
    if (!count || !count->bind(1, stagingId) || count->step() != Step::row)
        return std::nullopt;
    return std::get<std::int64_t>(count->column(0));
}

} // namespace

struct PersistencyManager::Store {
    explicit Store(std::function<std::filesystem::path()> directory)
        : file(std::string(Constant::CoreData::modelName) + ".sqlite", kSchema, std::move(directory),
               "Unresolved error ") {}
    SqliteStoreFile file;
};

PersistencyManager& PersistencyManager::shared() {
    static auto* instance = new PersistencyManager(&DataDirectory::current); // never destroyed
    return *instance;
}

PersistencyManager::PersistencyManager(std::function<std::filesystem::path()> directory)
    : _store(std::make_unique<Store>(std::move(directory))) {}

PersistencyManager::~PersistencyManager() = default;

bool PersistencyManager::persistentContainer() {
    std::lock_guard lock(_mutex);
    return _store->file.database() != nullptr;
}

std::optional<Error> PersistencyManager::openError() {
    std::lock_guard lock(_mutex);
    if (_store->file.database())
        return std::nullopt;
    return Error{"PersistencyManager", 0, _store->file.problem()};
}

std::optional<StoredObject> PersistencyManager::createEntity(const std::string& name) {
    const Entity* entity = knownEntity(name, "Could not create entity error ");
    SqliteDatabase* db = _store->file.database();
    if (!entity || !db)
        return std::nullopt;
    if (!db->execute("INSERT INTO " + name + " DEFAULT VALUES")) {
        logFailure("Could not create entity error ", db->lastError(), "entity: " + name);
        return std::nullopt;
    }
    StoredObject object{name, db->lastInsertRowId(), {}};
    for (auto attribute : entity->attributes)
        object.values[std::string(attribute)] = std::nullopt;
    return object;
}

std::optional<StoredValue> PersistencyManager::value(const std::string& key) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (!db)
        return std::nullopt;
    const Entity& settings = *findEntity(Constant::CoreData::EntityName::sdkData);
    if (!hasAttribute(settings, key)) {
        logFailure("Could not fetch value. ", "unknown attribute", "key: " + key);
        return std::nullopt;
    }
    auto select = db->prepare("SELECT " + key + " FROM SDKData ORDER BY objectId LIMIT 1");
    const Step step = select ? select->step() : Step::error;
    if (step == Step::error) {
        logFailure("Could not fetch value. ", db->lastError(), "key: " + key);
        return std::nullopt;
    }
    if (step == Step::row)
        return fromSqlite(select->column(0));
    // The read ends before the record is made: a write begun inside a read is refused at once when another
    // connection writes, instead of waiting for it.
    select.reset();
    createEntity(std::string(settings.name));
    return std::nullopt;
}

bool PersistencyManager::set(const std::optional<StoredValue>& value, const std::string& key) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (!db)
        return false;
    const Entity& settings = *findEntity(Constant::CoreData::EntityName::sdkData);
    if (!hasAttribute(settings, key)) {
        logFailure("Could not set value. ", "unknown attribute", "key: " + key);
        return false;
    }
    // The write lock first, so that another program's write is waited for (up to the busy timeout) rather
    // than failing the upgrade from the read below.
    SqliteDatabase::Transaction transaction(*db);
    const std::optional<std::int64_t> objectId = transaction.isActive() ? settingsObjectId(*db) : std::nullopt;
    auto update = objectId ? db->prepare("UPDATE SDKData SET " + key + " = ? WHERE objectId = ?") : nullptr;
    if (!update || !update->bind(1, toSqlite(value)) || !update->bind(2, *objectId) || update->step() != Step::done ||
        !transaction.commit()) {
        logFailure("Could not set value. ", db->lastError(), "key: " + key);
        return false;
    }
    return true;
}

std::optional<std::int64_t> PersistencyManager::settingsObjectId(SqliteDatabase& db) {
    auto select = db.prepare("SELECT objectId FROM SDKData ORDER BY objectId LIMIT 1");
    const Step step = select ? select->step() : Step::error;
    if (step == Step::row)
        return std::get<std::int64_t>(select->column(0));
    if (step == Step::error)
        return std::nullopt;
    auto created = createEntity(std::string(Constant::CoreData::EntityName::sdkData));
    return created ? std::optional(created->objectId) : std::nullopt;
}

std::optional<StoredObject> PersistencyManager::saveNewEntity(const std::string& name, const StoredValues& values) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (!db)
        return std::nullopt;
    const Entity* entity = knownEntity(name, "Could not create entity error ");
    auto insert = entity ? prepareInsert(*db, *entity) : nullptr;
    if (!insert)
        return std::nullopt;
    return insertObject(*db, *insert, *entity, values);
}

bool PersistencyManager::replaceAllEntities(const std::string& name, const std::vector<StoredValues>& objects) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    const Entity* entity = db ? knownEntity(name, "Unresolved error ") : nullptr;
    if (!entity)
        return false;
    SqliteDatabase::Transaction transaction(*db);
    if (!transaction.isActive() || !db->execute("DELETE FROM " + name)) {
        logFailure("Could not delete items. ", db->lastError(), "entity: " + name);
        return false;
    }
    auto insert = prepareInsert(*db, *entity);
    if (!insert)
        return false;
    for (const auto& values : objects)
        if (!insertObject(*db, *insert, *entity, values))
            return false; // the transaction rolls back: the old objects stay
    if (!transaction.commit()) {
        logFailure("Unresolved error ", db->lastError(), "entity: " + name);
        return false;
    }
    return true;
}

std::optional<std::vector<StoredObject>> PersistencyManager::getAllEntities(const std::string& name) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (!db)
        return std::nullopt;
    const Entity* entity = knownEntity(name, "Could not fetch value. ");
    if (!entity)
        return std::nullopt;
    auto select = db->prepare("SELECT objectId, " + columnList(*entity) + " FROM " + name + " ORDER BY objectId");
    if (!select) {
        logFailure("Could not fetch value. ", db->lastError(), "entity: " + name);
        return std::nullopt;
    }
    std::vector<StoredObject> objects;
    for (Step step = select->step(); step != Step::done; step = select->step()) {
        if (step == Step::error) {
            logFailure("Could not fetch value. ", db->lastError(), "entity: " + name);
            return std::nullopt;
        }
        objects.push_back(readObject(*entity, *select));
    }
    return objects;
}

void PersistencyManager::deleteAllEntities(const std::string& name) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (!db)
        return;
    if (!knownEntity(name, "Could not delete items. "))
        return;
    if (!db->execute("DELETE FROM " + name))
        logFailure("Could not delete items. ", db->lastError(), "entity: " + name);
}

std::optional<std::int64_t> PersistencyManager::beginStaging(const std::string& name) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    const Entity* entity = db ? knownEntity(name, "Unresolved error ") : nullptr;
    if (!entity)
        return std::nullopt;
    // A temporary table lives in its own file beside this connection: filling it takes no lock on the store.
    if (!db->execute("CREATE TEMP TABLE IF NOT EXISTS Staged" + name +
                     " (objectId INTEGER PRIMARY KEY AUTOINCREMENT, stagingId INTEGER NOT NULL, " +
                     columnList(*entity) + ")")) {
        logFailure("Unresolved error ", db->lastError(), "entity: " + name);
        return std::nullopt;
    }
    return ++_lastStagingId;
}

bool PersistencyManager::stageEntity(std::int64_t stagingId, const std::string& name, const StoredValues& values) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    const Entity* entity = db ? knownEntity(name, "Unresolved error ") : nullptr;
    if (!entity)
        return false;
    for (const auto& entry : values) {
        if (!hasAttribute(*entity, entry.first)) {
            logFailure("Unresolved error ", "unknown attribute", "entity: " + name + ", key: " + entry.first);
            return false;
        }
    }
    std::string placeholders = "?";
    for (std::size_t i = 0; i < entity->attributes.size(); ++i)
        placeholders += ", ?";
    auto insert = db->prepare("INSERT INTO " + stagingTable(*entity) + " (stagingId, " + columnList(*entity) +
                              ") VALUES (" + placeholders + ")");
    bool inserted = insert && insert->bind(1, stagingId);
    for (std::size_t i = 0; inserted && i < entity->attributes.size(); ++i) {
        const auto given = values.find(std::string(entity->attributes[i]));
        inserted =
            insert->bind(static_cast<int>(i + 2), toSqlite(given == values.end() ? std::nullopt : given->second));
    }
    if (!inserted || insert->step() != Step::done) {
        logFailure("Unresolved error ", db->lastError(), "entity: " + name);
        return false;
    }
    return true;
}

bool PersistencyManager::replaceAllEntitiesWithStaged(std::int64_t stagingId, const std::string& name,
                                                      std::size_t stagedObjects) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    const Entity* entity = db ? knownEntity(name, "Unresolved error ") : nullptr;
    if (!entity)
        return false;
    SqliteDatabase::Transaction transaction(*db);
    const auto staged = transaction.isActive() ? countStaged(*db, *entity, stagingId) : std::nullopt;
    if (!staged || static_cast<std::size_t>(*staged) != stagedObjects) {
        logFailure("Unresolved error ", staged ? "the gathered objects are incomplete" : db->lastError(),
                   "entity: " + name);
        return false;
    }
    const std::string columns = columnList(*entity);
    const bool replaced =
        db->execute("DELETE FROM " + name) &&
        runWithInteger(*db,
                       "INSERT INTO " + name + " (" + columns + ") SELECT " + columns + " FROM " +
                           stagingTable(*entity) + " WHERE stagingId = ? ORDER BY objectId",
                       stagingId) &&
        runWithInteger(*db, "DELETE FROM " + stagingTable(*entity) + " WHERE stagingId = ?", stagingId);
    if (!replaced || !transaction.commit()) {
        logFailure("Unresolved error ", db->lastError(), "entity: " + name);
        return false; // rolled back: the old objects stay
    }
    return true;
}

void PersistencyManager::discardStaged(std::int64_t stagingId, const std::string& name) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    const Entity* entity = db ? knownEntity(name, "Could not delete items. ") : nullptr;
    if (entity && !runWithInteger(*db, "DELETE FROM " + stagingTable(*entity) + " WHERE stagingId = ?", stagingId))
        logFailure("Could not delete items. ", db->lastError(), "entity: " + name);
}

std::optional<std::vector<std::int64_t>> PersistencyManager::entityIds(const std::string& name) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    const Entity* entity = db ? knownEntity(name, "Could not fetch value. ") : nullptr;
    if (!entity)
        return std::nullopt;
    auto select = db->prepare("SELECT objectId FROM " + name + " ORDER BY objectId");
    std::vector<std::int64_t> ids;
    for (Step step = select ? select->step() : Step::error; step != Step::done; step = select->step()) {
        if (step == Step::error) {
            logFailure("Could not fetch value. ", db->lastError(), "entity: " + name);
            return std::nullopt;
        }
        ids.push_back(std::get<std::int64_t>(select->column(0)));
    }
    return ids;
}

std::optional<StoredObject> PersistencyManager::entity(const std::string& name, std::int64_t objectId) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    const Entity* entity = db ? knownEntity(name, "Could not fetch value. ") : nullptr;
    if (!entity)
        return std::nullopt;
    auto select = db->prepare("SELECT objectId, " + columnList(*entity) + " FROM " + name + " WHERE objectId = ?");
    const Step step = select && select->bind(1, objectId) ? select->step() : Step::error;
    if (step == Step::error)
        logFailure("Could not fetch value. ", db->lastError(), "entity: " + name);
    if (step != Step::row)
        return std::nullopt;
    return readObject(*entity, *select);
}

} // namespace vexaqr
