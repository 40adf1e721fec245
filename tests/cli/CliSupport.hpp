// Running the vexaqr program, and other commands, from the command-line tests.
#pragma once

#include "views/ViewsTestSupport.hpp"

#include <nlohmann/json.hpp>

#include <sstream>
#include <string>

#include <sys/wait.h>

namespace vexaqr::test {

struct CliRun {
    int exitCode = -1;
    std::string out; // standard output and standard error together, unless the command redirects them
};

/// `command` through the shell, with its exit status.
inline CliRun runShell(const std::string& command) {
    auto result = runCommand(command);
    const int exitCode = WIFEXITED(result.status) ? WEXITSTATUS(result.status) : -1;
    return {exitCode, std::move(result.output)};
}

/// vexaqr with `arguments` (already shell-quoted), standard error joined to standard output.
inline CliRun runCli(const std::string& arguments) {
    return runShell(std::string(VEXAQR_CLI_PATH) + " " + arguments + " 2>&1");
}

/// The last line of `output` that parses as a JSON object (a log may come before it).
inline nlohmann::json lastJson(const std::string& output) {
    std::istringstream lines(output);
    nlohmann::json found;
    for (std::string line; std::getline(lines, line);) {
        auto parsed = nlohmann::json::parse(line, nullptr, false);
        if (parsed.is_object())
            found = parsed;
    }
    return found;
}

} // namespace vexaqr::test
