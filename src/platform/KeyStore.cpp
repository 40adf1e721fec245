#include <vexaqr/platform/KeyStore.hpp>

#include <vexaqr/platform/DataDirectory.hpp>

#include "platform/SqliteStoreFile.hpp"

#include <map>
#include <mutex>

namespace vexaqr {

namespace {

constexpr const char* kFileName = "keystore.sqlite3";
constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS rsaKeys ("
                                " tag BLOB PRIMARY KEY NOT NULL,"
                                " keyClass INTEGER NOT NULL," // 0 public, 1 private
                                " keyData BLOB NOT NULL)";

int keyClass(RsaKey::Kind kind) {
    return kind == RsaKey::Kind::privateKey ? 1 : 0;
}

class SqliteKeyStore final : public KeyStore {
public:
    explicit SqliteKeyStore(SqliteStoreFile::DirectoryProvider directory)
        : _file(kFileName, kSchema, std::move(directory), "Key store unavailable: ") {}

    KeyStoreStatus add(const Bytes& tag, const KeyHandle& key) override {
        if (!key)
            return KeyStoreStatus::invalidParameter;
        std::lock_guard lock(_mutex);
        SqliteDatabase* db = _file.database();
        if (!db)
            return KeyStoreStatus::notAvailable;
        auto insert = db->prepare("INSERT OR IGNORE INTO rsaKeys (tag, keyClass, keyData) VALUES (?, ?, ?)");
        if (!insert)
            return KeyStoreStatus::ioError;
        Bytes keyData = key->externalRepresentation();
        insert->bind(1, tag);
        insert->bind(2, std::int64_t{keyClass(key->kind())});
        insert->bind(3, keyData);
        cleanse(keyData);
        const bool stored = insert->step() == SqliteDatabase::Statement::Step::done;
        insert.reset();
        if (!stored)
            return KeyStoreStatus::ioError;
        return changedRow(*db) ? KeyStoreStatus::success : KeyStoreStatus::duplicateItem;
    }

    KeyStoreLookup copyMatching(const Bytes& tag) override {
        std::lock_guard lock(_mutex);
        SqliteDatabase* db = _file.database();
        if (!db)
            return {KeyStoreStatus::notAvailable, nullptr};
        auto select = db->prepare("SELECT keyClass, keyData FROM rsaKeys WHERE tag = ?");
        if (!select)
            return {KeyStoreStatus::ioError, nullptr};
        select->bind(1, tag);
        switch (select->step()) {
        case SqliteDatabase::Statement::Step::done:
            return {KeyStoreStatus::itemNotFound, nullptr};
        case SqliteDatabase::Statement::Step::error:
            return {KeyStoreStatus::ioError, nullptr};
        case SqliteDatabase::Statement::Step::row:
            break;
        }
        return readKey(select->column(0), select->column(1));
    }

    KeyStoreStatus remove(const Bytes& tag) override {
        std::lock_guard lock(_mutex);
        SqliteDatabase* db = _file.database();
        if (!db)
            return KeyStoreStatus::notAvailable;
        auto del = db->prepare("DELETE FROM rsaKeys WHERE tag = ?");
        if (!del)
            return KeyStoreStatus::ioError;
        del->bind(1, tag);
        if (del->step() != SqliteDatabase::Statement::Step::done)
            return KeyStoreStatus::ioError;
        del.reset();
        return changedRow(*db) ? KeyStoreStatus::success : KeyStoreStatus::itemNotFound;
    }

private:
    static bool changedRow(const SqliteDatabase& db) { return db.changes() > 0; }

    static KeyStoreLookup readKey(SqliteValue keyClassValue, SqliteValue keyDataValue) {
        auto* data = std::get_if<Bytes>(&keyDataValue);
        auto* storedClass = std::get_if<std::int64_t>(&keyClassValue);
        if (!data || !storedClass)
            return {KeyStoreStatus::decodeError, nullptr};
        KeyHandle key =
            RsaKey::fromPkcs1(*data, *storedClass == 1 ? RsaKey::Kind::privateKey : RsaKey::Kind::publicKey);
        cleanse(*data);
        if (!key)
            return {KeyStoreStatus::decodeError, nullptr};
        return {KeyStoreStatus::success, std::move(key)};
    }

    std::mutex _mutex;
    SqliteStoreFile _file;
};

class InMemoryKeyStore final : public KeyStore {
public:
    KeyStoreStatus add(const Bytes& tag, const KeyHandle& key) override {
        if (!key)
            return KeyStoreStatus::invalidParameter;
        std::lock_guard lock(_mutex);
        return _keys.emplace(tag, key).second ? KeyStoreStatus::success : KeyStoreStatus::duplicateItem;
    }

    KeyStoreLookup copyMatching(const Bytes& tag) override {
        std::lock_guard lock(_mutex);
        auto found = _keys.find(tag);
        if (found == _keys.end())
            return {KeyStoreStatus::itemNotFound, nullptr};
        return {KeyStoreStatus::success, found->second};
    }

    KeyStoreStatus remove(const Bytes& tag) override {
        std::lock_guard lock(_mutex);
        return _keys.erase(tag) == 1 ? KeyStoreStatus::success : KeyStoreStatus::itemNotFound;
    }

private:
    std::mutex _mutex;
    std::map<Bytes, KeyHandle> _keys;
};

struct StandardStore {
    std::mutex mutex;
    std::shared_ptr<KeyStore> store;
};

StandardStore& standardStore() {
    static auto* instance = new StandardStore; // never destroyed
    return *instance;
}

} // namespace

std::shared_ptr<KeyStore> KeyStore::standard() {
    auto& s = standardStore();
    std::lock_guard lock(s.mutex);
    if (!s.store)
        s.store = makeSqliteInDataDirectory();
    return s.store;
}

void KeyStore::setStandard(std::shared_ptr<KeyStore> store) {
    auto& s = standardStore();
    std::lock_guard lock(s.mutex);
    s.store = std::move(store);
}

std::shared_ptr<KeyStore> KeyStore::makeSqliteInDataDirectory() {
    return std::make_shared<SqliteKeyStore>(&DataDirectory::current);
}

std::shared_ptr<KeyStore> KeyStore::makeSqlite(const std::filesystem::path& directory) {
    return std::make_shared<SqliteKeyStore>([directory] { return directory; });
}

std::shared_ptr<KeyStore> KeyStore::makeInMemory() {
    return std::make_shared<InMemoryKeyStore>();
}

} // namespace vexaqr
