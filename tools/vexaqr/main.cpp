// vexaqr: the command-line face of the SDK, built on its public API only.
#include "CommandRegistry.hpp"

int main(int argc, char** argv) {
    CLI::App app{"vexaqr - animated-QR transport, payload records and backend client"};
    app.require_subcommand(1);
    int exitCode = 0;
    for (const auto& install : vexaqr::cli::registeredCommands()) {
        install(app, exitCode);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // --help and --version end here with 0; every usage mistake is one status for scripts.
        return app.exit(error) == 0 ? 0 : 2;
    }
    return exitCode;
}
