// DevServerContext: what every endpoint unit of the devserver shares while it serves.
//
// One per running server, alive until the server has stopped. Handlers run on the server's worker
// threads: `database` is one SQLite connection and may be used only while `mutex` is held; `faults`
// and `baseUrl` are safe to use from any thread.
#pragma once

#include "FaultSwitches.hpp"

#include "platform/SqliteDatabase.hpp"

#include <mutex>
#include <string>
#include <string_view>

namespace vexaqr::devserver {

/// The client endpoints' prefix below the server's origin; the SDK's default base address ends in it.
inline constexpr std::string_view kClientApiPath = "/api/v1/client";

/// Prefix of the loopback-only administration endpoints.
inline constexpr std::string_view kAdminPath = "/admin";

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
