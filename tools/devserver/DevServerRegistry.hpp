// How the devserver's endpoints and admin subcommands find their way into the program.
//
// Extension points (a new unit in this folder is picked up by the build; no other file changes):
//   - Endpoints: a unit defines `void install(httplib::Server&, DevServerContext&)` and registers it
//     from a namespace-scope initializer:
//         const bool registered = vexaqr::devserver::registerEndpoints(&installHubEndpoints);
//     Installers run once, in the serving thread, after the port is bound and before the first request;
//     the context's base URL is already known. Each unit creates its own tables there
//     ("CREATE TABLE IF NOT EXISTS ..."). Handlers run on the server's worker threads and must hold
//     `context.mutex` while they use `context.database`. Paths under "/admin/" are loopback-only and
//     exempt from fault switches; every other path can be made to misbehave with `admin fault`.
//   - Admin subcommands: a unit registers an `AdminCommandInstaller`, which adds one subcommand to the
//     `admin` command and talks to the running server through the given AdminClient (see AdminClient.hpp)
//     once the command line has been parsed.
// Registration happens during static initialisation; the lists are read-only afterwards.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <vector>

namespace httplib {
class Server;
}

namespace vexaqr::devserver {

class DevServerContext;
class AdminClient;

/// Adds handlers (and their tables) to the server.
using EndpointInstaller = std::function<void(httplib::Server& server, DevServerContext& context)>;

/// Adds one subcommand to `admin`. Its callback stores the process exit status in `exitCode`
/// (0 success, 1 failure, 2 usage error) and reaches the server through `client`, which is ready only
/// when the callback runs.
using AdminCommandInstaller = std::function<void(CLI::App& admin, AdminClient& client, int& exitCode)>;

/// Records an installer; call from a namespace-scope initializer. Always returns true.
bool registerEndpoints(EndpointInstaller installer);
bool registerAdminCommand(AdminCommandInstaller installer);

const std::vector<EndpointInstaller>& registeredEndpoints();
const std::vector<AdminCommandInstaller>& registeredAdminCommands();

} // namespace vexaqr::devserver
