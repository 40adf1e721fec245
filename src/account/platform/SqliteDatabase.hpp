// SqliteDatabase: RAII over one sqlite3 connection, its prepared statements and transactions.
//
// One connection is used by one thread at a time; callers that share it hold their own lock.
// Values cross the boundary as SqliteValue; nothing here throws.
#pragma once

#include <vexaqr/Bytes.hpp>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

struct sqlite3;
struct sqlite3_stmt;

namespace vexaqr {

/// NULL, INTEGER, REAL, TEXT or BLOB.
using SqliteValue = std::variant<std::monostate, std::int64_t, double, std::string, Bytes>;

class SqliteDatabase {
public:
    class Statement;
    class Transaction;

    /// Opens (creating if needed) the database file; a new file gets mode 0600. An existing file must read
    /// as a sound database (not foreign, cut short or damaged) and is left unchanged when it does not. On
    /// failure `error` receives the reason (SQLite's own where it has one).
    static std::unique_ptr<SqliteDatabase> open(const std::filesystem::path& file, std::string& error);

    /// A private database that lives as long as the object; for tests and in-memory stores.
    static std::unique_ptr<SqliteDatabase> openInMemory();

    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    /// Runs one or more statements without results; false on failure (see lastError()).
    bool execute(std::string_view sql);

    /// Compiles one statement; nothing on failure (see lastError()).
    std::unique_ptr<Statement> prepare(std::string_view sql);

    std::string lastError() const;
    std::int64_t lastInsertRowId() const;
    /// Rows changed by the most recent INSERT, UPDATE or DELETE.
    int changes() const;

private:
    explicit SqliteDatabase(sqlite3* db) : _db(db) {}
    sqlite3* _db;
};

class SqliteDatabase::Statement {
public:
    enum class Step { row, done, error };

    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    /// Binds parameter `index` (1-based). Text and blobs are copied by SQLite.
    bool bind(int index, const SqliteValue& value);

    Step step();

    /// Column `index` (0-based) of the current row.
    SqliteValue column(int index) const;

    /// Makes the statement runnable again with the same bindings.
    void reset();

private:
    friend class SqliteDatabase;
    explicit Statement(sqlite3_stmt* statement) : _statement(statement) {}
    sqlite3_stmt* _statement;
};

/// Begins on construction; rolls back on destruction unless commit() succeeded.
class SqliteDatabase::Transaction {
public:
    explicit Transaction(SqliteDatabase& database);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    /// Whether BEGIN succeeded.
    bool isActive() const { return _active; }
    bool commit();

private:
    SqliteDatabase& _database;
    bool _active;
};

/// Creates the directory (and missing parents) and makes the last one mode 0700 if it was created.
/// Answers whether it exists afterwards; `error` says why not.
bool ensurePrivateDirectory(const std::filesystem::path& directory, std::string& error);

} // namespace vexaqr
