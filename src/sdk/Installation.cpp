#include <vexaqr/sdk/Installation.hpp>

#include <vexaqr/platform/DataDirectory.hpp>

#include "payload/SqliteKeyStore.hpp"

namespace vexaqr {

std::shared_ptr<Installation> Installation::inDirectory(const std::filesystem::path& directory) {
    return inDirectory(directory, KeyStore::makeSqlite(directory));
}

std::shared_ptr<Installation> Installation::inDirectory(const std::filesystem::path& directory,
                                                        std::shared_ptr<KeyStore> keyStore) {
    auto fixed = [directory] { return directory; };
    return std::shared_ptr<Installation>(
        new Installation(fixed, std::move(keyStore), std::make_shared<UserDefaults>(fixed)));
}

std::shared_ptr<Installation> Installation::standard() {
    static auto* instance = new std::shared_ptr<Installation>(new Installation( // never destroyed
        &DataDirectory::defaultPath, std::make_shared<SqliteKeyStore>(&DataDirectory::defaultPath),
        UserDefaults::standard()));
    return *instance;
}

Installation::Installation(DirectoryProvider directory, std::shared_ptr<KeyStore> keyStore,
                           std::shared_ptr<UserDefaults> userDefaults)
    : _directory(std::move(directory)), _keyStore(std::move(keyStore)), _keychain(_keyStore), _manager(_directory),
      _database(_manager), _userDefaults(std::move(userDefaults)), _appData(_database, _keychain) {}

Installation::~Installation() = default;

std::filesystem::path Installation::directory() const {
    return _directory();
}

std::shared_ptr<AppDataService> Installation::appData() {
    return std::shared_ptr<AppDataService>(shared_from_this(), &_appData);
}

std::optional<Error> Installation::openError() {
    for (auto error : {_keyStore->openError(), _manager.openError(), _userDefaults->openError()})
        if (error)
            return error;
    return std::nullopt;
}

} // namespace vexaqr
