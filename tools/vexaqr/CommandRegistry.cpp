#include "CommandRegistry.hpp"

namespace vexaqr::cli {

namespace {
std::vector<CommandInstaller>& installers() {
    static std::vector<CommandInstaller> all; // function-local: safe from any unit's static initializer
    return all;
}
} // namespace

bool registerCommand(CommandInstaller installer) {
    installers().push_back(std::move(installer));
    return true;
}

const std::vector<CommandInstaller>& registeredCommands() {
    return installers();
}

} // namespace vexaqr::cli
