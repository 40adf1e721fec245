// DevServerContext: what every endpoint unit of the devserver shares while it serves.
//
// One per running server, alive until the server has stopped. Handlers run on the server's worker
// threads: `database` is one SQLite connection and may be used only while `mutex` is held; `faults`
// and `baseUrl` are safe to use from any thread.
#pragma once

#include "DevServerPaths.hpp"
#include "FaultSwitches.hpp"

#include "account/platform/SqliteDatabase.hpp"

#include <mutex>
#include <string>

namespace vexaqr::devserver {

class DevServerContext {
public:
    DevServerContext(SqliteDatabase& database, std::string baseUrl) : database(database), baseUrl(std::move(baseUrl)) {}

    DevServerContext(const DevServerContext&) = delete;
    DevServerContext& operator=(const DevServerContext&) = delete;

    std::mutex mutex;
    SqliteDatabase& database;
    /// "http://HOST:PORT", the origin the server answers on.
    const std::string baseUrl;
    FaultSwitches faults;
};

} // namespace vexaqr::devserver
