#include "DevServerRegistry.hpp"

namespace vexaqr::devserver {

namespace {
// Function-local: safe from any unit's static initializer.
std::vector<EndpointInstaller>& endpointInstallers() {
    static std::vector<EndpointInstaller> all;
    return all;
}
std::vector<AdminCommandInstaller>& adminCommandInstallers() {
    static std::vector<AdminCommandInstaller> all;
    return all;
}
} // namespace

bool registerEndpoints(EndpointInstaller installer) {
    endpointInstallers().push_back(std::move(installer));
    return true;
}

bool registerAdminCommand(AdminCommandInstaller installer) {
    adminCommandInstallers().push_back(std::move(installer));
    return true;
}

const std::vector<EndpointInstaller>& registeredEndpoints() {
    return endpointInstallers();
}

const std::vector<AdminCommandInstaller>& registeredAdminCommands() {
    return adminCommandInstallers();
}

} // namespace vexaqr::devserver
