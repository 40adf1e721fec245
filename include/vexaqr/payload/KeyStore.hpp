// KeyStore: the persistent store of RSA keys, each addressed by a tag compared as bytes.
//
// A tag holds at most one key. Statuses use the values the SDK's callers compare with (0 success,
// -25299 duplicate item, -25300 item not found). Implementations are safe to call from any thread.
// The default store is an SQLite file in the data directory (mode 0600 in a 0700 directory); private
// keys leave the process only into that file. Tests install the in-memory store instead.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/payload/KeyHandle.hpp>

#include <cstdint>
#include <filesystem>
#include <memory>

namespace vexaqr {

enum class KeyStoreStatus : std::int32_t {
    success = 0,
    duplicateItem = -25299,
    itemNotFound = -25300,
    notAvailable = -25291, // the store cannot be opened
    ioError = -36,         // reading or writing the store failed
    decodeError = -26275,  // a stored key does not read back
    invalidParameter = -50,
};

struct KeyStoreLookup {
    KeyStoreStatus status = KeyStoreStatus::itemNotFound;
    KeyHandle key; // set exactly when status is success
};

class KeyStore {
public:
    virtual ~KeyStore() = default;

    /// Stores `key` under `tag`; duplicateItem (nothing replaced) when the tag already holds a key,
    /// invalidParameter for a null key.
    virtual KeyStoreStatus add(const Bytes& tag, const KeyHandle& key) = 0;

    /// The key under `tag`, or itemNotFound.
    virtual KeyStoreLookup copyMatching(const Bytes& tag) = 0;

    /// Removes the key under `tag`; itemNotFound when there was none.
    virtual KeyStoreStatus remove(const Bytes& tag) = 0;

    /// The process-wide store every key operation of the SDK uses; by default the SQLite store in
    /// the current data directory.
    static std::shared_ptr<KeyStore> standard();

    /// Replaces the process-wide store; null restores the default.
    static void setStandard(std::shared_ptr<KeyStore> store);

    /// A store in the file "keystore.sqlite3" of the data directory, following DataDirectory::set.
    static std::shared_ptr<KeyStore> makeSqliteInDataDirectory();

    /// A store in the file "keystore.sqlite3" of a fixed directory.
    static std::shared_ptr<KeyStore> makeSqlite(const std::filesystem::path& directory);

    /// A store that forgets everything with the object.
    static std::shared_ptr<KeyStore> makeInMemory();
};

} // namespace vexaqr
