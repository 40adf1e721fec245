// `vexaqr hub` against the devserver's hub: register, list and unregister by hand, the Authorization value
// for a worked vector, and the exit statuses of usage mistakes and failures.
#include "hub/HubTestSupport.hpp"
#include "support/DevServer.hpp"
#include "support/TempDirectory.hpp"

#include "cli/CliSupport.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <initializer_list>

namespace vexaqr::test {
namespace {

constexpr const char* kTokenText = "C0FFEE01";

class HubCommandTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(_server.isRunning()); }

    // `vexaqr hub args...`: standard output only, so that it can be compared whole.
    static CliRun hub(const std::vector<std::string>& args) {
        std::string command = std::string("'") + VEXAQR_CLI_PATH + "' hub";
        for (const auto& arg : args)
            command += " '" + arg + "'";
        return runShell(command + " 2>/dev/null");
    }

    std::vector<std::string> hubArgs(const std::string& command, const std::string& connection,
                                     std::initializer_list<std::string> more = {}) {
        std::vector<std::string> args = {command,
                                         "--connection-string",
                                         connection,
                                         "--hub-name",
                                         "devhub",
                                         "--data-dir",
                                         (_directory.path() / "cli").string()};
        args.insert(args.end(), more);
        return args;
    }

    DevServer _server;
    TempDirectory _directory;
};

TEST_F(HubCommandTest, RegistersListsAndUnregisters) {
    const std::string connection = _server.hubConnectionString("--issuer");
    const auto registered = hub(hubArgs("register", connection, {"--device-token", kTokenText, "--tags", "a,b"}));
    ASSERT_EQ(registered.exitCode, 0);
    EXPECT_TRUE(registered.out.starts_with("$Default ")) << registered.out;
    const auto again = nlohmann::json::parse(
        hub(hubArgs("register", connection, {"--device-token", kTokenText, "--tags", "a,b", "--json"})).out, nullptr,
        false);
    ASSERT_TRUE(again.is_object()) << again;
    EXPECT_EQ(again["name"], "$Default");
    EXPECT_TRUE(registered.out.starts_with("$Default " + again["registrationId"].get<std::string>() + " "))
        << "an update keeps the registration: " << registered.out << again;
    EXPECT_FALSE(again["etag"].get<std::string>().empty());

    const auto listArgs = hubArgs("list", connection, {"--device-token", kTokenText});
    const auto listing = hub(listArgs);
    EXPECT_EQ(listing.exitCode, 0);
    EXPECT_NE(listing.out.find(" C0FFEE01 a,b\n"), std::string::npos) << listing.out;
    auto jsonArgs = listArgs;
    jsonArgs.push_back("--json");
    const auto listed = nlohmann::json::parse(hub(jsonArgs).out, nullptr, false);
    ASSERT_TRUE(listed.is_array() && listed.size() == 1) << listed;
    EXPECT_EQ(listed[0]["deviceToken"], "C0FFEE01");
    EXPECT_EQ(listed[0]["tags"], nlohmann::json::array({"a", "b"}));

    EXPECT_EQ(hub(hubArgs("unregister", connection)).exitCode, 0);
    EXPECT_EQ(hub(listArgs).out, "");
}

TEST_F(HubCommandTest, UsageMistakesExitTwoAndFailuresOne) {
    const std::string connection = _server.hubConnectionString();
    for (const char* command : {"register", "unregister-all", "list"})
        EXPECT_EQ(hub(hubArgs(command, connection, {"--device-token", "xyz"})).exitCode, 2) << command;
    EXPECT_EQ(hub({"register", "--hub-name", "devhub"}).exitCode, 2);
    const auto unreachable =
        hubArgs("unregister-all", "Endpoint=http://127.0.0.1:1/hub/;SharedAccessKeyName=a;SharedAccessKey=b",
                {"--device-token", kTokenText});
    EXPECT_EQ(hub(unreachable).exitCode, 1);
    EXPECT_EQ(hub({"token", "--connection-string", "nonsense", "--url", "http://x/"}).exitCode, 1);
}

TEST_F(HubCommandTest, AStoreThatCannotBeWrittenFailsEveryChange) {
    const std::string connection = _server.hubConnectionString();
    std::ofstream(_directory.path() / "file") << "not a directory";
    for (const char* command : {"register", "unregister", "unregister-all"}) {
        std::vector<std::string> args = {command,
                                         "--connection-string",
                                         connection,
                                         "--hub-name",
                                         "devhub",
                                         "--data-dir",
                                         (_directory.path() / "file" / "store").string()};
        if (std::string(command) != "unregister")
            args.insert(args.end(), {"--device-token", kTokenText});
        EXPECT_EQ(hub(args).exitCode, 1) << command;
    }
    EXPECT_EQ(hub(hubArgs("list", connection, {"--device-token", kTokenText})).out, "")
        << "nothing was registered that the device could not remember";
}

TEST_F(HubCommandTest, TheConnectionStringComesFromAFileOrTheEnvironment) {
    const std::string connection = _server.hubConnectionString("--issuer");
    const auto file = _directory.path() / "connection";
    std::ofstream(file) << connection << "\n";
    const std::string cli = std::string("'") + VEXAQR_CLI_PATH + "' hub register --hub-name devhub --data-dir '" +
                            (_directory.path() / "cli").string() + "' --device-token " + kTokenText;
    EXPECT_EQ(runShell(cli + " --connection-string-file '" + file.string() + "'").exitCode, 0);
    EXPECT_EQ(runShell("VEXAQR_HUB_CONNECTION_STRING='" + connection + "' " + cli).exitCode, 0);
    EXPECT_EQ(runShell("env -u VEXAQR_HUB_CONNECTION_STRING " + cli).exitCode, 2);
    const auto help = runShell(std::string("'") + VEXAQR_CLI_PATH + "' hub register --help");
    EXPECT_NE(help.out.find("VEXAQR_HUB_CONNECTION_STRING"), std::string::npos) << help.out;

    std::ofstream(file) << "Endpoint=" << _server.origin() << "/hub/;SharedAccessKeyName=a\rX-Injected: 1;"
                        << "SharedAccessKey=b\n";
    const auto refused = runShell(cli + " --connection-string-file '" + file.string() + "' 2>&1");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.out.find("The value of sharedaccesskeyname holds a control character"), std::string::npos)
        << refused.out;
}

TEST_F(HubCommandTest, TokenPrintsTheAuthorizationValue) {
    const auto vector = hubVectors()["sharedAccessSignatures"][2];
    const auto token = hub({"token", "--connection-string",
                            "Endpoint=sb://demo-ns.example.net/;SharedAccessKeyName=rule;SharedAccessKey=secret",
                            "--url", vector["url"].get<std::string>(), "--now", "2200000000"});
    EXPECT_EQ(token.exitCode, 0);
    EXPECT_EQ(token.out, vector["authorization"].get<std::string>() + "\n");
    const auto asJson = hub({"token", "--connection-string",
                             "Endpoint=sb://demo-ns.example.net/;SharedAccessKeyName=rule;SharedAccessKey=secret",
                             "--url", vector["url"].get<std::string>(), "--now", "2200000000", "--json"});
    EXPECT_EQ(nlohmann::json::parse(asJson.out, nullptr, false),
              nlohmann::json({{"authorization", vector["authorization"]}}));

    const auto wrap = hub({"token", "--connection-string", _server.hubConnectionString("--issuer"), "--url",
                           _server.origin() + "/hub/devhub/Registrations/?api-version=2013-04"});
    EXPECT_EQ(wrap.exitCode, 0);
    EXPECT_TRUE(wrap.out.starts_with("WRAP access_token=\"")) << wrap.out;
}

} // namespace
} // namespace vexaqr::test
