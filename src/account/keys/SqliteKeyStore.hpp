// SqliteKeyStore: the key store in an SQLite file "keystore.sqlite3" (mode 0600, directory 0700).
//
// Keys are kept as PKCS#1 DER with their class; deleted rows are overwritten in the file. A lock
// serialises the operations, so the store may be shared between threads.
#pragma once

#include "account/keys/KeyStore.hpp"

#include "account/platform/SqliteStoreFile.hpp"

#include <mutex>

namespace vexaqr {

class SqliteKeyStore final : public KeyStore {
public:
    /// Keeps the file in the directory `directory` names at each operation.
    explicit SqliteKeyStore(SqliteStoreFile::DirectoryProvider directory);

    KeyStoreStatus add(const Bytes& tag, const KeyHandle& key) override;
    KeyStoreLookup copyMatching(const Bytes& tag) override;
    KeyStoreStatus remove(const Bytes& tag) override;
    /// All writes in one transaction: a failure or a crash part-way leaves the store as it was.
    KeyStoreStatus write(const std::vector<KeyStoreWrite>& writes) override;
    Outcome<void, Error> opened() override;

private:
    std::mutex _mutex;
    SqliteStoreFile _file;
};

} // namespace vexaqr
