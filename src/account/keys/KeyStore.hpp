// KeyStore: the persistent store of RSA keys, each addressed by a tag compared as bytes.
//
// A tag holds at most one key. Statuses use the values the SDK's callers compare with (0 success,
// -25299 duplicate item, -25300 item not found). Implementations are safe to call from any thread.
// The library's store is an SQLite file in a data directory (mode 0600 in a 0700 directory); private
// keys leave the process only into that file. Tests may use the in-memory store instead.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/Outcome.hpp>
#include <vexaqr/payload/KeyHandle.hpp>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

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

/// One change of KeyStore::write: `key` stored under `tag` (replacing any key there), or, with a null
/// `key`, the tag emptied.
struct KeyStoreWrite {
    Bytes tag;
    KeyHandle key;
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

    /// Applies `writes` in order; success or the first failing status (emptying an empty tag is no
    /// failure). The library's stores apply them as one change, even across a crash: all or, on failure,
    /// none. This default, for other stores, goes one write at a time and stops at the first failure.
    virtual KeyStoreStatus write(const std::vector<KeyStoreWrite>& writes);

    /// Opens the store if needed: success when it is usable, else why not (the message names the file).
    virtual Outcome<void, Error> opened() { return {}; }

    /// A store in the file "keystore.sqlite3" of a fixed directory.
    static std::shared_ptr<KeyStore> makeSqlite(const std::filesystem::path& directory);

    /// A store that forgets everything with the object.
    static std::shared_ptr<KeyStore> makeInMemory();
};

} // namespace vexaqr
