// Sql: one-call statements over SqliteDatabase for the devserver's stores.
//
// Callers hold the context's mutex; nothing here locks. Failures are logged by nobody: a failed call
// answers nothing or false, and the stores turn that into "server technical error".
#pragma once

#include "account/platform/SqliteDatabase.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexaqr::devserver::sql {

using Row = std::vector<SqliteValue>;

/// Runs a statement with `parameters` bound in order; false on any failure.
bool run(SqliteDatabase& database, std::string_view statement, const std::vector<SqliteValue>& parameters = {});

/// Every row of a query that names `columns` result columns; nothing on failure.
std::optional<std::vector<Row>> select(SqliteDatabase& database, std::string_view query, int columns,
                                       const std::vector<SqliteValue>& parameters = {});

/// Column `index` of `row` as text / integer; nothing when it is NULL or of another type.
std::optional<std::string> text(const Row& row, std::size_t index);
std::optional<std::int64_t> integer(const Row& row, std::size_t index);

} // namespace vexaqr::devserver::sql
