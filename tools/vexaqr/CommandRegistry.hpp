// How the vexaqr program's commands find their way into main(): each command's unit registers an
// installer at start-up, so adding a command touches no other file.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <vector>

namespace vexaqr::cli {

/// Adds one top-level command to `root`. The command's callback stores its process exit status in
/// `exitCode` (0 success, 1 failure the user can fix, 2 usage error).
using CommandInstaller = std::function<void(CLI::App& root, int& exitCode)>;

/// Records an installer; call from a namespace-scope initializer. Always returns true.
bool registerCommand(CommandInstaller installer);

/// Every installer registered so far.
const std::vector<CommandInstaller>& registeredCommands();

} // namespace vexaqr::cli
