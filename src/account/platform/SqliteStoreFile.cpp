#include "account/platform/SqliteStoreFile.hpp"

#include "codec/platform/LogManager.hpp"

#include <vector>

namespace vexaqr {

namespace {

std::vector<std::string> textColumn(SqliteDatabase& database, const std::string& sql) {
    std::vector<std::string> values;
    auto statement = database.prepare(sql);
    while (statement && statement->step() == SqliteDatabase::Statement::Step::row) {
        auto value = statement->column(0);
        if (auto* text = std::get_if<std::string>(&value))
            values.push_back(*text);
    }
    return values;
}

std::vector<std::string> tableNames(SqliteDatabase& database) {
    return textColumn(database, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
                                "ORDER BY name");
}

std::vector<std::string> columnNames(SqliteDatabase& database, const std::string& table) {
    return textColumn(database, "SELECT name FROM pragma_table_info('" + table + "') ORDER BY cid");
}

// An empty file takes the schema; a file that already has tables must have every table of the schema with
// exactly its columns, so that a file of another program or another store is never written into.
bool hasSchemaShape(SqliteDatabase& database, const std::string& schema, std::string& error) {
    if (tableNames(database).empty())
        return true;
    auto model = SqliteDatabase::openInMemory();
    if (!model || !model->execute(schema)) {
        error = "schema does not compile";
        return false;
    }
    for (const auto& table : tableNames(*model)) {
        const auto expected = columnNames(*model, table);
        const auto found = columnNames(database, table);
        if (found.empty()) {
            error = "holds another kind of data (no table " + table + ")";
            return false;
        }
        if (found != expected) {
            error = "holds another kind of data (table " + table + " has other columns)";
            return false;
        }
    }
    return true;
}

std::unique_ptr<SqliteDatabase> openWithSchema(const std::filesystem::path& file, const std::string& schema,
                                               std::string& error) {
    if (!ensurePrivateDirectory(file.parent_path(), error))
        return nullptr;
    auto database = SqliteDatabase::open(file, error);
    if (!database || !hasSchemaShape(*database, schema, error))
        return nullptr;
    // A store file is owner-only, also one copied in from elsewhere; but only once it proved to be a store.
    std::error_code ignored;
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 ignored);
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
        _problem = file.string() + ": " + error;
        return nullptr;
    }
    _problem.clear();
    _openedFile = file;
    return _database.get();
}

} // namespace vexaqr
