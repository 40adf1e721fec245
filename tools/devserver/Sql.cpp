#include "Sql.hpp"

namespace vexaqr::devserver::sql {

namespace {

std::unique_ptr<SqliteDatabase::Statement> prepareBound(SqliteDatabase& database, std::string_view statement,
                                                        const std::vector<SqliteValue>& parameters) {
    auto prepared = database.prepare(statement);
    if (!prepared)
        return nullptr;
    for (std::size_t i = 0; i < parameters.size(); ++i)
        if (!prepared->bind(static_cast<int>(i + 1), parameters[i]))
            return nullptr;
    return prepared;
}

} // namespace

bool run(SqliteDatabase& database, std::string_view statement, const std::vector<SqliteValue>& parameters) {
    auto prepared = prepareBound(database, statement, parameters);
    return prepared && prepared->step() == SqliteDatabase::Statement::Step::done;
}

std::optional<std::vector<Row>> select(SqliteDatabase& database, std::string_view query, int columns,
                                       const std::vector<SqliteValue>& parameters) {
    auto prepared = prepareBound(database, query, parameters);
    if (!prepared)
        return std::nullopt;
    std::vector<Row> rows;
    for (auto step = prepared->step(); step != SqliteDatabase::Statement::Step::done; step = prepared->step()) {
        if (step == SqliteDatabase::Statement::Step::error)
            return std::nullopt;
        Row row;
        for (int column = 0; column < columns; ++column)
            row.push_back(prepared->column(column));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<std::string> text(const Row& row, std::size_t index) {
    if (index >= row.size())
        return std::nullopt;
    if (const auto* value = std::get_if<std::string>(&row[index]))
        return *value;
    return std::nullopt;
}

std::optional<std::int64_t> integer(const Row& row, std::size_t index) {
    if (index >= row.size())
        return std::nullopt;
    if (const auto* value = std::get_if<std::int64_t>(&row[index]))
        return *value;
    return std::nullopt;
}

} // namespace vexaqr::devserver::sql
