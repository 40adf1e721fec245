// `admin hub-connection-string` and `admin hub-forget`: the devserver hub's connection string, and a
// registration that the hub forgets so that the next update of it answers 410.
#include "AdminClient.hpp"
#include "DevServerRegistry.hpp"

#include <iostream>
#include <memory>

namespace vexaqr::devserver {

namespace {

void installConnectionString(CLI::App& admin, AdminClient& client, int& exitCode) {
    auto issuer = std::make_shared<bool>(false);
    auto sasGiven = std::make_shared<bool>(false);
    auto* command = admin.add_subcommand(
        "hub-connection-string", "Print a connection string for the hub (Shared Access key, or issuer and secret)");
    auto* sas = command->add_flag("--sas", *sasGiven, "Shared Access Signatures (the default)");
    auto* secret = command->add_flag("--issuer", *issuer, "WRAP tokens from the server's token service");
    sas->excludes(secret);
    // The callback holds both flags' storage: CLI11 writes into it while parsing, after this function returns.
    command->callback([issuer, sasGiven, &client, &exitCode] {
        const auto reply =
            postOrReport(client, "/admin/hub/connection-string", {{"kind", *issuer ? "issuer" : "sas"}}, exitCode);
        if (reply && reply->contains("connectionString") && (*reply)["connectionString"].is_string())
            std::cout << (*reply)["connectionString"].get<std::string>() << '\n';
    });
}

void installForget(CLI::App& admin, AdminClient& client, int& exitCode) {
    auto registrationId = std::make_shared<std::string>();
    auto* command = admin.add_subcommand("hub-forget", "Make the next PUT to a hub registration answer 410 Gone");
    command->add_option("--registration-id", *registrationId, "The registration's identifier")->required();
    command->callback([registrationId, &client, &exitCode] {
        postOrReport(client, "/admin/hub/forget", {{"registrationId", *registrationId}}, exitCode);
    });
}

const bool registered = registerAdminCommand(&installConnectionString) && registerAdminCommand(&installForget);

} // namespace

} // namespace vexaqr::devserver
