// vexaqr: the command-line face of the SDK, built on its public API only.
#include "CommandRegistry.hpp"

#include <algorithm>
#include <iostream>
#include <optional>
#include <string>

namespace {

constexpr const char* kExitStatus =
    "Exit status: 0 done, 1 failed (a file, key, transfer or server that did not work), 2 usage mistake.";

// Every command's --help ends with the exit statuses, which are the same for all of them.
void addExitStatus(CLI::App& command) {
    command.footer(command.get_footer().empty() ? kExitStatus : command.get_footer() + "\n\n" + kExitStatus);
    for (auto* subcommand : command.get_subcommands({}))
        addExitStatus(*subcommand);
}

// A mistyped command name, which CLI11 reports only as "a subcommand is required": the word, and the
// commands that were possible there.
std::optional<std::string> unknownCommand(CLI::App& app, int argc, char** argv) {
    CLI::App* command = &app;
    for (int i = 1; i < argc && argv[i][0] != '-'; ++i) {
        auto subcommands = command->get_subcommands({});
        if (subcommands.empty())
            return std::nullopt;
        const auto next = std::find_if(subcommands.begin(), subcommands.end(),
                                       [&](CLI::App* subcommand) { return subcommand->check_name(argv[i]); });
        if (next == subcommands.end()) {
            std::string names;
            for (const auto* subcommand : subcommands)
                names += (names.empty() ? "" : ", ") + subcommand->get_name();
            const std::string parent = command == &app ? "vexaqr" : "vexaqr " + command->get_name();
            return "'" + std::string(argv[i]) + "' is not a command of " + parent + " (" + names + ")";
        }
        command = *next;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"vexaqr - animated-QR transport, payload records and backend client"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("vexaqr ") + VEXAQR_VERSION);
    int exitCode = 0;
    for (const auto& install : vexaqr::cli::registeredCommands()) {
        install(app, exitCode);
    }
    addExitStatus(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::RequiredError& error) {
        if (const auto unknown = unknownCommand(app, argc, argv)) {
            std::cerr << "vexaqr: " << *unknown << "\nRun with --help for more information.\n";
            return 2;
        }
        return app.exit(error) == 0 ? 0 : 2;
    } catch (const CLI::ParseError& error) {
        // --help and --version end here with 0; every usage mistake is one status for scripts.
        return app.exit(error) == 0 ? 0 : 2;
    }
    return exitCode;
}
