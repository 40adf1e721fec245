// Installation: everything one installation keeps in its data directory, in one object: the key store,
// the settings and the message cache (the object store), the hub client's user defaults, and the
// application data service over them.
//
// Whatever reads or writes the installation's data is given this object (or the parts it needs): two
// installations in two directories live side by side in one process. Each store opens its file when first
// used and makes the directory (0700) then. The stores are safe to call from any thread; the settings and
// the cache follow their own thread rules (see DatabaseWrapper).
#pragma once

#include <vexaqr/Error.hpp>
#include <vexaqr/Outcome.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace vexaqr {

class AppDataService;
class DatabaseWrapper;
class KeyStore;
class KeychainWrapper;
class UserDefaults;

class Installation final : public std::enable_shared_from_this<Installation> {
public:
    /// The installation whose files live in `directory`.
    static std::shared_ptr<Installation> inDirectory(const std::filesystem::path& directory);

    /// The same with the keys kept in `keyStore` instead of the directory's key file.
    static std::shared_ptr<Installation> inDirectory(const std::filesystem::path& directory,
                                                     std::shared_ptr<KeyStore> keyStore);

    /// The process-wide installation in DataDirectory::defaultPath(), which is read at every store
    /// operation; made on first use, never destroyed. Its user defaults are UserDefaults::standard().
    static std::shared_ptr<Installation> standard();

    ~Installation();
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    /// The data directory the stores use now.
    std::filesystem::path directory() const;

    const std::shared_ptr<KeyStore>& keyStore() const;
    const KeychainWrapper& keychain() const;
    /// The settings record and the message cache.
    DatabaseWrapper& database();
    const std::shared_ptr<UserDefaults>& userDefaults() const;
    /// The application data service over the settings and the keys; it keeps this installation alive.
    std::shared_ptr<AppDataService> appData();

    /// Opens the three stores if needed: success when all are usable, else why the first one is not (the
    /// message names its file).
    Outcome<void, Error> opened();

private:
    using DirectoryProvider = std::function<std::filesystem::path()>;
    Installation(DirectoryProvider directory, std::shared_ptr<KeyStore> keyStore,
                 std::shared_ptr<UserDefaults> userDefaults);

    struct Stores;
    std::unique_ptr<Stores> _stores;
};

} // namespace vexaqr
