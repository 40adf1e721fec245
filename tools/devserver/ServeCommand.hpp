// The `serve` command: runs the backend on the loopback interface until SIGINT or SIGTERM.
#pragma once

#include <CLI/CLI.hpp>

namespace vexaqr::devserver {

/// The port of the SDK's default base address.
inline constexpr int kDefaultPort = 8642;

/// Adds `serve` to `root`; its exit status goes to `exitCode`.
void addServeCommand(CLI::App& root, int& exitCode);

} // namespace vexaqr::devserver
