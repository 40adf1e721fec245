#include "platform/SqliteStoreFile.hpp"

#include <vexaqr/platform/LogManager.hpp>

namespace vexaqr {

namespace {

std::unique_ptr<SqliteDatabase> openWithSchema(const std::filesystem::path& file, const std::string& schema,
                                               std::string& error) {
    if (!ensurePrivateDirectory(file.parent_path(), error))
        return nullptr;
    auto database = SqliteDatabase::open(file, error);
    if (!database)
        return nullptr;
    if (!database->execute(schema)) {
        error = database->lastError();
        return nullptr;
    }
    return database;
}

} // namespace

SqliteStoreFile::SqliteStoreFile(std::string fileName, std::string schema, DirectoryProvider directory,
                                 std::string failureLogPrefix)
    : _fileName(std::move(fileName)), _schema(std::move(schema)), _directory(std::move(directory)),
      _failureLogPrefix(std::move(failureLogPrefix)) {}

SqliteDatabase* SqliteStoreFile::database() {
    const std::filesystem::path file = _directory() / _fileName;
    if (_database && file == _openedFile)
        return _database.get();
    std::string error;
    _database = openWithSchema(file, _schema, error);
    if (!_database) {
        LogManager::standard().log(_failureLogPrefix + error + ", {path: " + file.string() + "}");
        return nullptr;
    }
    _openedFile = file;
    return _database.get();
}

} // namespace vexaqr
