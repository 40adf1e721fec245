#include "account/keys/SqliteKeyStore.hpp"

namespace vexaqr {

namespace {

using Step = SqliteDatabase::Statement::Step;

constexpr const char* kFileName = "keystore.sqlite3";
constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS rsaKeys ("
                                " tag BLOB PRIMARY KEY NOT NULL,"
                                " keyClass INTEGER NOT NULL," // 0 public, 1 private
                                " keyData BLOB NOT NULL)";
constexpr std::int64_t kPublicClass = 0;
constexpr std::int64_t kPrivateClass = 1;

KeyStoreLookup readKey(SqliteValue keyClassValue, SqliteValue keyDataValue) {
    auto* data = std::get_if<Bytes>(&keyDataValue);
    auto* storedClass = std::get_if<std::int64_t>(&keyClassValue);
    if (!data || !storedClass)
        return {KeyStoreStatus::decodeError, nullptr};
    KeyHandle key =
        RsaKey::fromPkcs1(*data, *storedClass == kPrivateClass ? RsaKey::Kind::privateKey : RsaKey::Kind::publicKey);
    cleanse(*data);
    if (!key)
        return {KeyStoreStatus::decodeError, nullptr};
    return {KeyStoreStatus::success, std::move(key)};
}

// Inserts `key` under `tag` unless the tag holds a key already (then duplicateItem).
KeyStoreStatus insertKey(SqliteDatabase& db, const Bytes& tag, const KeyHandle& key) {
    auto insert = db.prepare("INSERT OR IGNORE INTO rsaKeys (tag, keyClass, keyData) VALUES (?, ?, ?)");
    if (!insert)
        return KeyStoreStatus::ioError;
    Bytes keyData = key->externalRepresentation();
    const bool bound = insert->bind(1, tag) && insert->bind(2, key->isPrivate() ? kPrivateClass : kPublicClass) &&
                       insert->bind(3, keyData);
    cleanse(keyData);
    if (!bound || insert->step() != Step::done)
        return KeyStoreStatus::ioError;
    return db.changes() > 0 ? KeyStoreStatus::success : KeyStoreStatus::duplicateItem;
}

bool deleteKey(SqliteDatabase& db, const Bytes& tag) {
    auto del = db.prepare("DELETE FROM rsaKeys WHERE tag = ?");
    return del && del->bind(1, tag) && del->step() == Step::done;
}

} // namespace

SqliteKeyStore::SqliteKeyStore(SqliteStoreFile::DirectoryProvider directory)
    : _file(kFileName, kSchema, std::move(directory), "Key store unavailable: ") {}

KeyStoreStatus SqliteKeyStore::add(const Bytes& tag, const KeyHandle& key) {
    if (!key)
        return KeyStoreStatus::invalidParameter;
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _file.database();
    if (!db)
        return KeyStoreStatus::notAvailable;
    return insertKey(*db, tag, key);
}

KeyStoreStatus SqliteKeyStore::write(const std::vector<KeyStoreWrite>& writes) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _file.database();
    if (!db)
        return KeyStoreStatus::notAvailable;
    SqliteDatabase::Transaction transaction(*db);
    if (!transaction.isActive())
        return KeyStoreStatus::ioError;
    for (const auto& change : writes) {
        if (!deleteKey(*db, change.tag))
            return KeyStoreStatus::ioError; // rolled back
        if (change.key) {
            const KeyStoreStatus added = insertKey(*db, change.tag, change.key);
            if (added != KeyStoreStatus::success)
                return added;
        }
    }
    return transaction.commit() ? KeyStoreStatus::success : KeyStoreStatus::ioError;
}

Outcome<void, Error> SqliteKeyStore::opened() {
    std::lock_guard lock(_mutex);
    if (_file.database())
        return {};
    return Error{"KeyStore", static_cast<std::int64_t>(KeyStoreStatus::notAvailable), _file.problem()};
}

KeyStoreLookup SqliteKeyStore::copyMatching(const Bytes& tag) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _file.database();
    if (!db)
        return {KeyStoreStatus::notAvailable, nullptr};
    auto select = db->prepare("SELECT keyClass, keyData FROM rsaKeys WHERE tag = ?");
    if (!select || !select->bind(1, tag))
        return {KeyStoreStatus::ioError, nullptr};
    switch (select->step()) {
    case Step::done:
        return {KeyStoreStatus::itemNotFound, nullptr};
    case Step::error:
        return {KeyStoreStatus::ioError, nullptr};
    case Step::row:
        break;
    }
    return readKey(select->column(0), select->column(1));
}

KeyStoreStatus SqliteKeyStore::remove(const Bytes& tag) {
    std::lock_guard lock(_mutex);
    SqliteDatabase* db = _file.database();
    if (!db)
        return KeyStoreStatus::notAvailable;
    if (!deleteKey(*db, tag))
        return KeyStoreStatus::ioError;
    return db->changes() > 0 ? KeyStoreStatus::success : KeyStoreStatus::itemNotFound;
}

} // namespace vexaqr
