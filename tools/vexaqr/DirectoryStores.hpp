// The key store and the object store of one data directory, and the application data service over
// them, for commands that work on a directory named on the command line rather than the default one.
#pragma once

#include <vexaqr/payload/KeyStore.hpp>
#include <vexaqr/payload/KeychainWrapper.hpp>
#include <vexaqr/sdk/AppDataService.hpp>
#include <vexaqr/sdk/DatabaseWrapper.hpp>
#include <vexaqr/sdk/PersistencyManager.hpp>

#include <filesystem>
#include <memory>

namespace vexaqr::cli {

class DirectoryStores final {
public:
    /// The stores' files live in `directory`, which is made when first needed.
    explicit DirectoryStores(const std::filesystem::path& directory)
        : _keyStore(KeyStore::makeSqlite(directory)), _keychain(_keyStore), _manager([directory] { return directory; }),
          _database(_manager), _appData(std::make_shared<AppDataService>(_database, _keychain)) {}
    DirectoryStores(const DirectoryStores&) = delete;
    DirectoryStores& operator=(const DirectoryStores&) = delete;

    const KeychainWrapper& keychain() const { return _keychain; }
    /// Why the key store cannot be used (naming its file), or nothing.
    std::optional<Error> keyStoreError() const { return _keyStore->openError(); }
    /// Valid while this object lives.
    const std::shared_ptr<AppDataService>& appData() const { return _appData; }

private:
    std::shared_ptr<KeyStore> _keyStore;
    KeychainWrapper _keychain;
    PersistencyManager _manager;
    DatabaseWrapper _database;
    std::shared_ptr<AppDataService> _appData;
};

} // namespace vexaqr::cli
