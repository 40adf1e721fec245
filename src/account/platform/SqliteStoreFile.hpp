// SqliteStoreFile: a database file in the data directory, opened on first use, reopened when the data
// directory changes, with its schema created on opening.
//
// Not thread-safe by itself: the store that owns it serialises access.
#pragma once

#include "account/platform/SqliteDatabase.hpp"

#include <functional>
#include <string>

namespace vexaqr {

class SqliteStoreFile {
public:
    using DirectoryProvider = std::function<std::filesystem::path()>;

    /// `fileName` inside the directory that `directory` names at each use; `schema` runs on opening
    /// (use IF NOT EXISTS); `failureLogPrefix` starts the log line that says why opening failed.
    SqliteStoreFile(std::string fileName, std::string schema, DirectoryProvider directory,
                    std::string failureLogPrefix);

    /// The open database, or nullptr when it cannot be opened (directory not writable, file not a
    /// database, damaged, or holding tables of another shape); the reason is logged and opening is tried
    /// again on the next call. A file that is refused is left exactly as it was.
    SqliteDatabase* database();

    /// Why the last database() call failed, naming the file ("<path>: <reason>"); empty after a success.
    const std::string& problem() const { return _problem; }

private:
    std::string _fileName;
    std::string _schema;
    DirectoryProvider _directory;
    std::string _failureLogPrefix;
    std::filesystem::path _openedFile;
    std::unique_ptr<SqliteDatabase> _database;
    std::string _problem;
};

} // namespace vexaqr
