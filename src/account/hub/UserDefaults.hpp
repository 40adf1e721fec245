// UserDefaults: a small persistent key-value store whose values are texts or arrays of texts, kept in a SQLite
// file ("userdefaults.sqlite") in a directory; the hub client keeps its registrations there.
//
// Thread-safe: every call takes the store's lock. Writes reach the file before the call returns. Failures to
// open or write are logged and read back as absent values.
#pragma once

#include <vexaqr/Error.hpp>
#include <vexaqr/Outcome.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vexaqr {

class UserDefaults final {
public:
    using DirectoryProvider = std::function<std::filesystem::path()>;

    /// A store in the directory that `directory` names at each use (created 0700 when first needed).
    explicit UserDefaults(DirectoryProvider directory);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    /// The process-wide store in DataDirectory::defaultPath(): the default installation's, and that of hub
    /// clients given none. Never destroyed.
    static std::shared_ptr<UserDefaults> standard();

    /// The text under `key`; nothing when absent or when the value is an array.
    std::optional<std::string> stringForKey(const std::string& key);
    /// The array under `key`; nothing when absent or when the value is a text.
    std::optional<std::vector<std::string>> stringArrayForKey(const std::string& key);

    /// Stores a value, replacing any earlier one; false when it could not be written.
    bool setString(const std::string& key, const std::string& value);
    bool setStringArray(const std::string& key, const std::vector<std::string>& values);
    /// Removes the value; true also when there was none.
    bool removeObjectForKey(const std::string& key);

    /// One change of write(): a text, an array, or (monostate) a removal, under `key`.
    struct Change {
        std::string key;
        std::variant<std::monostate, std::string, std::vector<std::string>> value;
    };
    /// Applies `changes` in order as one step: all of them reach the file, or (false) none does, even
    /// when the process dies part-way.
    bool write(const std::vector<Change>& changes);

    /// Opens the store if needed: success when it is usable, else why not, naming the file. A file that
    /// is not a database, is damaged or holds other tables is refused and left as it is.
    Outcome<void, Error> opened();

private:
    class Store;
    std::unique_ptr<Store> _store;
};

} // namespace vexaqr
