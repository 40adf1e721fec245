// PersistencyManager: the SDK's small object store, an SQLite file in the data directory.
//
// Two entities, each a table whose natural order is insertion order: "SDKData" (the settings record;
// only the first one is read or written) and "CachedVxaMessage". Every operation saves at once.
// Failures are logged (when logging is on) and reported only as nil or false; a store that cannot be
// opened makes every operation fail and is tried again on the next one. Calls are serialised by a
// lock, but the SDK makes them on the main thread.
#pragma once

#include <vexaqr/Bytes.hpp>

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

    /// The attribute `key` of the first settings record; creates an empty record (and answers nil)
    /// when there is none. Nil also for an empty attribute, an unknown key or a failure (logged).
    std::optional<StoredValue> value(const std::string& key);

    /// Writes `value` (nil clears) under `key` into the first settings record, creating it if needed.
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

private:
    struct Store;
    std::optional<StoredObject> createEntity(const std::string& name);

    std::mutex _mutex;
    std::unique_ptr<Store> _store;
};

} // namespace vexaqr
