// vexaqr-devserver: a local stand-in for the SDK's backend, backed by SQLite, for development, demos
// and integration tests. A test peer, not part of the library.
#include "AdminClient.hpp"
#include "DevServerRegistry.hpp"
#include "ServeCommand.hpp"

namespace {

constexpr const char* kFooter = R"(Client endpoints (POST, JSON), below http://127.0.0.1:PORT/api/v1/client:
  /registerclient /activateclient /updatekeys /partnerkey /push/getid /push/register
  /getvxalist /getvxa/<id> /deletevxa/<id> /deleteallvxa
Every reply carries "result": 0 on success, otherwise 14003 partner not found, 14008 client application
not found, 14009 message not found, 14101 a required member is missing, 14103 partner does not match,
14105 app already registered, 14106 activation code is invalid, 14107 registration not found to
activate, 14001 app already activated, 14900 server technical error.

The admin interface (/admin/...) answers only loopback peers. Typical session:
  vexaqr-devserver serve --port 0 --data state.db
  vexaqr-devserver admin --base-url URL partner --partner-id P --private-key-out partner.key.pem
  vexaqr-devserver admin --base-url URL activation-code --partner-id P --email user@example.com
  vexaqr-devserver admin --base-url URL message --app-id UUID --type secured --content hello.json
  vexaqr-devserver admin --base-url URL fault --endpoint /getvxa --status 500 --times 1
  vexaqr-devserver admin --base-url URL fault --clear)";

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"vexaqr-devserver - local backend for the VexaQr SDK"};
    app.footer(kFooter);
    app.set_version_flag("--version", std::string("vexaqr-devserver ") + VEXAQR_VERSION);
    app.require_subcommand(1);
    int exitCode = 0;
    vexaqr::devserver::addServeCommand(app, exitCode);

    vexaqr::devserver::AdminClient client;
    auto* admin = app.add_subcommand("admin", "Administer a running devserver (partners, codes, messages, faults)");
    // --base-url as vexaqr takes it: the client base address on the server works here too.
    admin->add_option("--base-url,--server", client.serverUrl, "The server's address (or its client base address)")
        ->capture_default_str()
        ->transform([](std::string url) {
            constexpr std::string_view kClientPath = "/api/v1/client";
            if (url.ends_with(kClientPath))
                url.resize(url.size() - kClientPath.size());
            return url;
        });
    admin->require_subcommand(1);
    for (const auto& install : vexaqr::devserver::registeredAdminCommands())
        install(*admin, client, exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // --help ends here with 0; every usage mistake is one status for scripts.
        return app.exit(error) == 0 ? 0 : 2;
    }
    return exitCode;
}
