// PersistencyManager: the SDK's small object store, an SQLite file in the data directory.
//
// Two entities, each a table whose natural order is insertion order: "SDKData" (the settings record;
// only the first one is read or written) and "CachedVxaMessage". Every operation saves at once.
// Failures are logged (when logging is on) and reported only as nil or false; a store that cannot be
// opened makes every operation fail and is tried again on the next one. Calls are serialised by a
// lock, but the SDK makes them on the main thread.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vexaqr {

class SqliteDatabase;

/// A stored attribute value: a number (integer or real), a text or bytes.
using StoredValue = std::variant<std::int64_t, double, std::string, Bytes>;

/// Attribute name -> value; an empty optional is an empty attribute.
using StoredValues = std::map<std::string, std::optional<StoredValue>>;

struct StoredObject {
    std::string entityName;
    std::int64_t objectId = 0; // grows with insertion order
    StoredValues values;       // every attribute of the entity
};

class PersistencyManager final {
public:
    /// The process-wide manager, storing in the current DataDirectory.
    static PersistencyManager& shared();

    /// A manager whose file "VexaQrSDKModel.sqlite" lives in the directory `directory` names at
    /// each operation (a change of directory reopens the store).
    explicit PersistencyManager(std::function<std::filesystem::path()> directory);
    ~PersistencyManager();

    /// Opens the store if needed; whether it is usable. A failure is logged as "Unresolved error ...".
    bool persistentContainer();

    /// Opens the store if needed: nothing when it is usable, else why not, naming the file. A file that
    /// is not a database, is damaged or holds other tables is refused and left as it is.
    std::optional<Error> openError();

    /// The attribute `key` of the first settings record; creates an empty record (and answers nil)
    /// when there is none. Nil also for an empty attribute, an unknown key or a failure (logged).
    std::optional<StoredValue> value(const std::string& key);

    /// Writes `value` (nil clears) under `key` into the first settings record, creating it if needed; waits
    /// for another program's write up to the busy timeout. False when nothing was stored (logged).
    bool set(const std::optional<StoredValue>& value, const std::string& key);

    /// Inserts a new object of entity `name` with `values` (other attributes empty); nil on an
    /// unknown entity or attribute or a failed save (logged "Unresolved error ...").
    std::optional<StoredObject> saveNewEntity(const std::string& name, const StoredValues& values);

    /// Every object of the entity in insertion order; nil when the fetch fails (logged).
    std::optional<std::vector<StoredObject>> getAllEntities(const std::string& name);

    /// Deletes every object of the entity; a failure is logged.
    void deleteAllEntities(const std::string& name);

    /// Replaces every object of the entity with new ones made from `objects`, in order, in one
    /// transaction: on any failure (logged) nothing changes and the answer is false.
    bool replaceAllEntities(const std::string& name, const std::vector<StoredValues>& objects);

    /// Objects of one entity gathered outside the store's file (in a temporary table of this connection) so
    /// that a long download holds neither them in memory nor the write lock; `stagingId` keeps gatherings
    /// apart. beginStaging answers a new id; nil (logged) when the table cannot be made.
    std::optional<std::int64_t> beginStaging(const std::string& name);
    /// Adds one object to a gathering; false (logged) on an unknown attribute or a failed write.
    bool stageEntity(std::int64_t stagingId, const std::string& name, const StoredValues& values);
    /// Replaces every object of the entity with the gathered ones, in the order gathered, in one transaction,
    /// and ends the gathering. On a failure (logged), or when the gathering does not hold `stagedObjects`
    /// (the store was reopened meanwhile), nothing changes and the gathering stays for discardStaged.
    bool replaceAllEntitiesWithStaged(std::int64_t stagingId, const std::string& name, std::size_t stagedObjects);
    /// Ends a gathering without using it.
    void discardStaged(std::int64_t stagingId, const std::string& name);

    /// The ids of the entity's objects in insertion order, and one object by id: for reading large objects
    /// one at a time. Nil when the fetch fails (logged) or, for entity(), when the object is gone.
    std::optional<std::vector<std::int64_t>> entityIds(const std::string& name);
    std::optional<StoredObject> entity(const std::string& name, std::int64_t objectId);

private:
    struct Store;
    std::optional<StoredObject> createEntity(const std::string& name);
    /// The first settings record's id, made when there is none; inside the caller's transaction.
    std::optional<std::int64_t> settingsObjectId(SqliteDatabase& db);

    std::mutex _mutex;
    std::unique_ptr<Store> _store;
    std::int64_t _lastStagingId = 0;
};

} // namespace vexaqr
