#include "account/platform/SqliteDatabase.hpp"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexaqr {

namespace {

constexpr int kBusyTimeoutMs = 2000;

// Creates a missing file with owner-only permissions before SQLite does, so it is never readable by others;
// SQLite gives its journal files the database file's mode. An existing file is left as it is.
bool createPrivateFile(const std::filesystem::path& file, std::string& error) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0) {
        ::fchmod(fd, S_IRUSR | S_IWUSR);
        ::close(fd);
        return true;
    }
    if (errno == EEXIST)
        return true;
    error = std::string("cannot create the file: ") + std::strerror(errno);
    return false;
}

// The first line PRAGMA quick_check reports: "ok" for a sound file.
std::string quickCheck(SqliteDatabase& database) {
    auto check = database.prepare("PRAGMA quick_check(1)");
    if (!check || check->step() != SqliteDatabase::Statement::Step::row)
        return database.lastError();
    auto verdict = check->column(0);
    auto* text = std::get_if<std::string>(&verdict);
    return text ? *text : "no verdict";
}

} // namespace

std::unique_ptr<SqliteDatabase> SqliteDatabase::open(const std::filesystem::path& file, std::string& error) {
    if (!createPrivateFile(file, error))
        return nullptr;
    sqlite3* db = nullptr;
    const int status = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
    std::unique_ptr<SqliteDatabase> database(db ? new SqliteDatabase(db) : nullptr);
    if (status != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : sqlite3_errstr(status);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Reading the schema is what tells a foreign file apart from a database; the check finds a database
    // that was cut short or damaged. Neither writes to the file.
    if (!database->execute("PRAGMA secure_delete = ON; SELECT count(*) FROM sqlite_master;")) {
        error = (sqlite3_errcode(db) == SQLITE_CORRUPT ? "damaged database: " : "") + database->lastError();
        return nullptr;
    }
    if (const std::string verdict = quickCheck(*database); verdict != "ok") {
        error = "damaged database: " + verdict;
        return nullptr;
    }
    return database;
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::openInMemory() {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return std::unique_ptr<SqliteDatabase>(new SqliteDatabase(db));
}

SqliteDatabase::~SqliteDatabase() {
    sqlite3_close_v2(_db);
}

bool SqliteDatabase::execute(std::string_view sql) {
    const std::string text(sql);
    return sqlite3_exec(_db, text.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::unique_ptr<SqliteDatabase::Statement> SqliteDatabase::prepare(std::string_view sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(_db, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return std::unique_ptr<Statement>(new Statement(statement));
}

std::string SqliteDatabase::lastError() const {
    return sqlite3_errmsg(_db);
}

std::int64_t SqliteDatabase::lastInsertRowId() const {
    return sqlite3_last_insert_rowid(_db);
}

int SqliteDatabase::changes() const {
    return sqlite3_changes(_db);
}

SqliteDatabase::Statement::~Statement() {
    sqlite3_finalize(_statement);
}

bool SqliteDatabase::Statement::bind(int index, const SqliteValue& value) {
    int status = SQLITE_OK;
    if (std::holds_alternative<std::monostate>(value)) {
        status = sqlite3_bind_null(_statement, index);
    } else if (auto integer = std::get_if<std::int64_t>(&value)) {
        status = sqlite3_bind_int64(_statement, index, *integer);
    } else if (auto real = std::get_if<double>(&value)) {
        status = sqlite3_bind_double(_statement, index, *real);
    } else if (auto text = std::get_if<std::string>(&value)) {
        status = sqlite3_bind_text64(_statement, index, text->data(), text->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    } else {
        const Bytes& blob = std::get<Bytes>(value);
        // A zero-length blob must still bind as a blob, not as NULL.
        status = sqlite3_bind_blob64(_statement, index, blob.empty() ? "" : static_cast<const void*>(blob.data()),
                                     blob.size(), SQLITE_TRANSIENT);
    }
    return status == SQLITE_OK;
}

SqliteDatabase::Statement::Step SqliteDatabase::Statement::step() {
    switch (sqlite3_step(_statement)) {
    case SQLITE_ROW:
        return Step::row;
    case SQLITE_DONE:
        return Step::done;
    default:
        return Step::error;
    }
}

SqliteValue SqliteDatabase::Statement::column(int index) const {
    switch (sqlite3_column_type(_statement, index)) {
    case SQLITE_INTEGER:
        return static_cast<std::int64_t>(sqlite3_column_int64(_statement, index));
    case SQLITE_FLOAT:
        return sqlite3_column_double(_statement, index);
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(_statement, index));
        return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(_statement, index)));
    }
    case SQLITE_BLOB: {
        const auto* blob = static_cast<const std::uint8_t*>(sqlite3_column_blob(_statement, index));
        return blob ? Bytes(blob, blob + sqlite3_column_bytes(_statement, index)) : Bytes{};
    }
    default:
        return std::monostate{};
    }
}

void SqliteDatabase::Statement::reset() {
    sqlite3_reset(_statement);
}

SqliteDatabase::Transaction::Transaction(SqliteDatabase& database)
    : _database(database), _active(database.execute("BEGIN IMMEDIATE")) {}

SqliteDatabase::Transaction::~Transaction() {
    if (_active)
        _database.execute("ROLLBACK");
}

bool SqliteDatabase::Transaction::commit() {
    if (!_active || !_database.execute("COMMIT"))
        return false;
    _active = false;
    return true;
}

bool ensurePrivateDirectory(const std::filesystem::path& directory, std::string& error) {
    std::error_code code;
    if (std::filesystem::is_directory(directory, code))
        return true;
    if (!std::filesystem::create_directories(directory, code)) {
        std::error_code ignored;
        if (std::filesystem::is_symlink(std::filesystem::symlink_status(directory, ignored)))
            // Otherwise this reads "File exists", which sends people looking for a directory that is not there.
            error = "cannot use directory " + directory.string() + ": it is a symbolic link to " +
                    std::filesystem::read_symlink(directory, ignored).string() + ", which does not exist";
        else
            error = "cannot create directory " + directory.string() + ": " + code.message();
        return false;
    }
    std::filesystem::permissions(directory, std::filesystem::perms::owner_all, code);
    return true;
}

} // namespace vexaqr
