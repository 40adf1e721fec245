#include "account/sdk/PersistencyManager.hpp"

#include "account/sdk/CoreDataConstants.hpp"
#include "codec/platform/LogManager.hpp"

#include "account/platform/SqliteStoreFile.hpp"

#include <array>

namespace vexaqr {

namespace {

using Step = SqliteDatabase::Statement::Step;

// The data model. Columns carry no declared type, so a value reads back exactly as it was written.
constexpr const char* kSchema =
    "PRAGMA journal_mode = WAL;"
    "CREATE TABLE IF NOT EXISTS SDKData (objectId INTEGER PRIMARY KEY AUTOINCREMENT,"
    " appUniqueId, vexaQrUserId, userEmailAddress, registrationState);"
    "CREATE TABLE IF NOT EXISTS CachedVxaMessage (objectId INTEGER PRIMARY KEY AUTOINCREMENT,"
    " vxaData, vxaInfo, vxaTemplate, messageId);";

constexpr const char* kSettingsColumns = "appUniqueId, vexaQrUserId, userEmailAddress, registrationState";
constexpr std::array<const char*, 4> kSettingsColumn{"appUniqueId", "vexaQrUserId", "userEmailAddress",
                                                     "registrationState"};
enum SettingsColumn : std::size_t { appUniqueIdColumn, vexaQrUserIdColumn, userEmailColumn, registrationStateColumn };

constexpr const char* kMessageColumns = "vxaData, vxaInfo, vxaTemplate, messageId";
constexpr const char* kMessagePlaceholders = "?, ?, ?, ?";
const std::string kMessageEntity(Constant::CoreData::EntityName::vxaMessage);
const std::string kStagingTable = "temp.Staged" + kMessageEntity;

void logFailure(std::string_view message, std::string_view error, std::string_view details) {
    LogManager::standard().log(std::string(message) + std::string(error) + ", {" + std::string(details) + "}");
}

// The whole part of a stored real; nothing for NaN, the infinities and values no 64-bit integer holds.
std::optional<std::int64_t> integralPart(double real) {
    constexpr double kLimit = 9223372036854775808.0; // 2^63
    if (!(real >= -kLimit && real < kLimit))         // also false for NaN
        return std::nullopt;
    return static_cast<std::int64_t>(real);
}

std::optional<std::int64_t> integerOf(const SqliteValue& value) {
    if (auto* integer = std::get_if<std::int64_t>(&value))
        return *integer;
    if (auto* real = std::get_if<double>(&value))
        return integralPart(*real);
    return std::nullopt;
}

std::optional<std::string> textOf(const SqliteValue& value) {
    auto* text = std::get_if<std::string>(&value);
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

std::optional<Bytes> bytesOf(const SqliteValue& value) {
    auto* bytes = std::get_if<Bytes>(&value);
    return bytes ? std::optional<Bytes>(*bytes) : std::nullopt;
}

SqliteValue orNull(const std::optional<std::string>& text) {
    return text ? SqliteValue(*text) : SqliteValue();
}

// The columns from `first` on hold the message's fields in kMessageColumns order.
CachedVxaMessage readMessage(const SqliteDatabase::Statement& row, int first) {
    return {bytesOf(row.column(first)), textOf(row.column(first + 1)), textOf(row.column(first + 2)),
            textOf(row.column(first + 3))};
}

// Binds the message's fields from parameter `first` on; the payload bytes are always written (empty when
// absent), absent texts stay empty.
bool bindMessage(SqliteDatabase::Statement& statement, int first, const CachedVxaMessage& message) {
    return statement.bind(first, message.vxaData.value_or(Bytes{})) &&
           statement.bind(first + 1, orNull(message.vxaInfo)) &&
           statement.bind(first + 2, orNull(message.vxaTemplate)) &&
           statement.bind(first + 3, orNull(message.messageId));
}

// "INSERT INTO CachedVxaMessage ..."; nothing (logged) when it does not compile.
std::unique_ptr<SqliteDatabase::Statement> prepareInsert(SqliteDatabase& db) {
    auto insert = db.prepare("INSERT INTO " + kMessageEntity + " (" + kMessageColumns + ") VALUES (" +
                             kMessagePlaceholders + ")");
    if (!insert)
        logFailure("Unresolved error ", db.lastError(), "entity: " + kMessageEntity);
    return insert;
}

// Inserts one message with a statement from prepareInsert (reusable afterwards); false (logged) on failure.
bool insertMessage(SqliteDatabase& db, SqliteDatabase::Statement& insert, const CachedVxaMessage& message) {
    const bool inserted = bindMessage(insert, 1, message) && insert.step() == Step::done;
    insert.reset();
    if (!inserted)
        logFailure("Unresolved error ", db.lastError(), "entity: " + kMessageEntity);
    return inserted;
}

// Binds `value` as the integer parameter `index` and steps the statement to its end.
bool runWithInteger(SqliteDatabase& db, const std::string& sql, std::int64_t value) {
    auto statement = db.prepare(sql);
    return statement && statement->bind(1, value) && statement->step() == Step::done;
}

std::optional<std::int64_t> countStaged(SqliteDatabase& db, std::int64_t stagingId) {
    auto count = db.prepare("SELECT count(*) FROM " + kStagingTable + " WHERE stagingId = ?");
    if (!count || !count->bind(1, stagingId) || count->step() != Step::row)
        return std::nullopt;
    return std::get<std::int64_t>(count->column(0));
}

// Inserts the empty settings record; false (logged) on failure.
bool createSettings(SqliteDatabase& db) {
    if (db.execute("INSERT INTO SDKData DEFAULT VALUES"))
        return true;
    logFailure("Could not create entity error ", db.lastError(), "entity: SDKData");
    return false;
}

} // namespace

struct PersistencyManager::Store {
    explicit Store(std::function<std::filesystem::path()> directory)
        : file(std::string(Constant::CoreData::modelName) + ".sqlite", kSchema, std::move(directory),
               "Unresolved error ") {}
    SqliteStoreFile file;
};

struct PersistencyManager::SettingValue {
    SqliteValue value;
};

PersistencyManager::PersistencyManager(std::function<std::filesystem::path()> directory)
    : _store(std::make_unique<Store>(std::move(directory))) {}

PersistencyManager::~PersistencyManager() = default;

bool PersistencyManager::persistentContainer() {
    std::lock_guard lock(_mutex);
    return _store->file.database() != nullptr;
}

Outcome<void, Error> PersistencyManager::opened() {
    std::lock_guard lock(_mutex);
    if (_store->file.database())
        return {};
    return Error{"PersistencyManager", 0, _store->file.problem()};
}

StoredSettings PersistencyManager::settings() {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (!db)
        return {};
    auto select = db->prepare(std::string("SELECT ") + kSettingsColumns + " FROM SDKData ORDER BY objectId LIMIT 1");
    const Step step = select ? select->step() : Step::error;
    if (step == Step::error) {
        logFailure("Could not fetch value. ", db->lastError(), "entity: SDKData");
        return {};
    }
    if (step == Step::row)
        return {textOf(select->column(appUniqueIdColumn)), integerOf(select->column(vexaQrUserIdColumn)),
                textOf(select->column(userEmailColumn)), integerOf(select->column(registrationStateColumn))};
    // The read ends before the record is made: a write begun inside a read is refused at once when another
    // connection writes, instead of waiting for it.
    select.reset();
    createSettings(*db);
    return {};
}

bool PersistencyManager::setAppUniqueId(const std::optional<std::string>& appUniqueId) {
    return setSetting(appUniqueIdColumn, {orNull(appUniqueId)});
}

bool PersistencyManager::setVexaQrUserId(const std::optional<std::int64_t>& vexaQrUserId) {
    return setSetting(vexaQrUserIdColumn, {vexaQrUserId ? SqliteValue(*vexaQrUserId) : SqliteValue()});
}

bool PersistencyManager::setUserEmailAddress(const std::optional<std::string>& userEmailAddress) {
    return setSetting(userEmailColumn, {orNull(userEmailAddress)});
}

bool PersistencyManager::setRegistrationState(const std::optional<std::int64_t>& registrationState) {
    return setSetting(registrationStateColumn, {registrationState ? SqliteValue(*registrationState) : SqliteValue()});
}

bool PersistencyManager::setSetting(std::size_t column, const SettingValue& value) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (!db)
        return false;
    const std::string key = kSettingsColumn[column];
    // The write lock first, so that another program's write is waited for (up to the busy timeout) rather
    // than failing the upgrade from the read below.
    SqliteDatabase::Transaction transaction(*db);
    const std::optional<std::int64_t> objectId = transaction.isActive() ? settingsObjectId(*db) : std::nullopt;
    auto update = objectId ? db->prepare("UPDATE SDKData SET " + key + " = ? WHERE objectId = ?") : nullptr;
    if (!update || !update->bind(1, value.value) || !update->bind(2, *objectId) || update->step() != Step::done ||
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
    if (step == Step::error || !createSettings(db))
        return std::nullopt;
    return db.lastInsertRowId();
}

void PersistencyManager::deleteSettings() {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (db && !db->execute("DELETE FROM SDKData"))
        logFailure("Could not delete items. ", db->lastError(), "entity: SDKData");
}

std::optional<CachedVxaMessage> PersistencyManager::saveNewMessage(const CachedVxaMessage& message) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    auto insert = db ? prepareInsert(*db) : nullptr;
    if (!insert || !insertMessage(*db, *insert, message))
        return std::nullopt;
    CachedVxaMessage stored = message;
    stored.vxaData = message.vxaData.value_or(Bytes{});
    return stored;
}

std::optional<std::vector<CachedVxaMessage>> PersistencyManager::getAllMessages() {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (!db)
        return std::nullopt;
    auto select =
        db->prepare(std::string("SELECT ") + kMessageColumns + " FROM " + kMessageEntity + " ORDER BY objectId");
    std::vector<CachedVxaMessage> messages;
    for (Step step = select ? select->step() : Step::error; step != Step::done; step = select->step()) {
        if (step == Step::error) {
            logFailure("Could not fetch value. ", db->lastError(), "entity: " + kMessageEntity);
            return std::nullopt;
        }
        messages.push_back(readMessage(*select, 0));
    }
    return messages;
}

void PersistencyManager::deleteAllMessages() {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (db && !db->execute("DELETE FROM " + kMessageEntity))
        logFailure("Could not delete items. ", db->lastError(), "entity: " + kMessageEntity);
}

bool PersistencyManager::replaceAllMessages(const std::vector<CachedVxaMessage>& messages) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (!db)
        return false;
    SqliteDatabase::Transaction transaction(*db);
    if (!transaction.isActive() || !db->execute("DELETE FROM " + kMessageEntity)) {
        logFailure("Could not delete items. ", db->lastError(), "entity: " + kMessageEntity);
        return false;
    }
    auto insert = prepareInsert(*db);
    if (!insert)
        return false;
    for (const auto& message : messages)
        if (!insertMessage(*db, *insert, message))
            return false; // the transaction rolls back: the old messages stay
    if (!transaction.commit()) {
        logFailure("Unresolved error ", db->lastError(), "entity: " + kMessageEntity);
        return false;
    }
    return true;
}

std::optional<std::int64_t> PersistencyManager::beginStaging() {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (!db)
        return std::nullopt;
    // A temporary table lives in its own file beside this connection: filling it takes no lock on the store.
    if (!db->execute("CREATE TEMP TABLE IF NOT EXISTS Staged" + kMessageEntity +
                     " (objectId INTEGER PRIMARY KEY AUTOINCREMENT, stagingId INTEGER NOT NULL, " + kMessageColumns +
                     ")")) {
        logFailure("Unresolved error ", db->lastError(), "entity: " + kMessageEntity);
        return std::nullopt;
    }
    return ++_lastStagingId;
}

bool PersistencyManager::stageMessage(std::int64_t stagingId, const CachedVxaMessage& message) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (!db)
        return false;
    auto insert = db->prepare("INSERT INTO " + kStagingTable + " (stagingId, " + kMessageColumns + ") VALUES (?, " +
                              kMessagePlaceholders + ")");
    if (!insert || !insert->bind(1, stagingId) || !bindMessage(*insert, 2, message) || insert->step() != Step::done) {
        logFailure("Unresolved error ", db->lastError(), "entity: " + kMessageEntity);
        return false;
    }
    return true;
}

bool PersistencyManager::replaceAllMessagesWithStaged(std::int64_t stagingId, std::size_t stagedMessages) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (!db)
        return false;
    SqliteDatabase::Transaction transaction(*db);
    const auto staged = transaction.isActive() ? countStaged(*db, stagingId) : std::nullopt;
    if (!staged || static_cast<std::size_t>(*staged) != stagedMessages) {
        logFailure("Unresolved error ", staged ? "the gathered objects are incomplete" : db->lastError(),
                   "entity: " + kMessageEntity);
        return false;
    }
    const bool replaced =
        db->execute("DELETE FROM " + kMessageEntity) &&
        runWithInteger(*db,
                       "INSERT INTO " + kMessageEntity + " (" + kMessageColumns + ") SELECT " + kMessageColumns +
                           " FROM " + kStagingTable + " WHERE stagingId = ? ORDER BY objectId",
                       stagingId) &&
        runWithInteger(*db, "DELETE FROM " + kStagingTable + " WHERE stagingId = ?", stagingId);
    if (!replaced || !transaction.commit()) {
        logFailure("Unresolved error ", db->lastError(), "entity: " + kMessageEntity);
        return false; // rolled back: the old messages stay
    }
    return true;
}

void PersistencyManager::discardStaged(std::int64_t stagingId) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (db && !runWithInteger(*db, "DELETE FROM " + kStagingTable + " WHERE stagingId = ?", stagingId))
        logFailure("Could not delete items. ", db->lastError(), "entity: " + kMessageEntity);
}

std::optional<std::vector<std::int64_t>> PersistencyManager::messageIds() {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (!db)
        return std::nullopt;
    auto select = db->prepare("SELECT objectId FROM " + kMessageEntity + " ORDER BY objectId");
    std::vector<std::int64_t> ids;
    for (Step step = select ? select->step() : Step::error; step != Step::done; step = select->step()) {
        if (step == Step::error) {
            logFailure("Could not fetch value. ", db->lastError(), "entity: " + kMessageEntity);
            return std::nullopt;
        }
        ids.push_back(std::get<std::int64_t>(select->column(0)));
    }
    return ids;
}

std::optional<CachedVxaMessage> PersistencyManager::message(std::int64_t rowId) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _store->file.database();
    if (!db)
        return std::nullopt;
    auto select =
        db->prepare(std::string("SELECT ") + kMessageColumns + " FROM " + kMessageEntity + " WHERE objectId = ?");
    const Step step = select && select->bind(1, rowId) ? select->step() : Step::error;
    if (step == Step::error)
        logFailure("Could not fetch value. ", db->lastError(), "entity: " + kMessageEntity);
    if (step != Step::row)
        return std::nullopt;
    return readMessage(*select, 0);
}

} // namespace vexaqr
