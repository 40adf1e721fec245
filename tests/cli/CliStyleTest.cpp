// One style across the commands of both programs: versions, exit statuses, option names, refused
// values, JSON output and backend errors in words.
#include "support/DevServer.hpp"
#include "views/ScannerTestSupport.hpp"
#include "views/ViewsTestSupport.hpp"

#include "cli/CliSupport.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace vexaqr {
namespace {

using namespace vexaqr::test;

struct CliStyleTest : ::testing::Test {
    TempDirectory folder;
    std::string file = pathIn(folder, "data.bin");

    CliStyleTest() { std::ofstream(file) << std::string(3000, 'x'); }
};

TEST_F(CliStyleTest, ExitStatusIsTwoForUsageOneForFailureAndNamesWhatWasNotUnderstood) {
    const struct {
        std::string arguments;
        int exitCode;
        std::string inOutput;
    } cases[] = {
        {"--version", 0, "vexaqr 0.1.0"},
        {"--help", 0, "Exit status: 0 done, 1 failed"},
        {"scan --help", 0, "Exit status:"},
        {"frames encod " + file, 2, "encod"},
        {"present " + file + " --gif x.gif --colour", 2, "--colour"},
        {"present " + file + " --gif x.gif --frames 0", 2, "--frames"},
        {"present " + file + " --gif x.gif --size 30", 2, "smaller than the symbol"},
        {"present " + pathIn(folder, "missing") + " --gif x.gif", 1, "missing"},
        {"scan " + pathIn(folder, "missing.png") + " --out x", 1, "missing.png does not exist"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const auto run = runCli(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out;
        EXPECT_NE(run.out.find(c.inOutput), std::string::npos) << run.out;
    }
    const auto devserver = runShell(std::string(VEXAQR_DEVSERVER_PATH) + " --version");
    EXPECT_EQ(devserver.exitCode, 0);
    EXPECT_EQ(devserver.out, "vexaqr-devserver 0.1.0\n");
}

TEST_F(CliStyleTest, OneNamePerConceptWithTheOldSpellingsKept) {
    DevServer server;
    ASSERT_TRUE(server.isRunning());
    const std::string connection = "'" + server.hubConnectionString() + "'";
    const auto token = " --url http://127.0.0.1/hub/x --now 1700000000";
    const auto canonical = runCli("hub token --hub-connection-string " + connection + token);
    const auto old = runCli("hub token --connection-string " + connection + token);
    EXPECT_EQ(canonical.exitCode, 0) << canonical.out;
    EXPECT_EQ(canonical.out, old.out);

    // The devserver's admin takes the address vexaqr takes, and its own origin as before.
    for (const auto& address : {server.apiBaseUrl(), server.origin()}) {
        const auto partner =
            DevServer::run({"admin", "--base-url", address, "partner", "--partner-id", "P-" + address.substr(7, 20)});
        EXPECT_EQ(partner.exitCode, 0) << partner.err;
    }

    // A backend error reads as a person would say it.
    const auto wrongPath =
        runCli("api registerclient --email a@b.c --partner-id P --base-url " + server.origin() + "/nothing-here");
    EXPECT_EQ(wrongPath.exitCode, 1);
    EXPECT_NE(wrongPath.out.find("HTTP 404 from " + server.origin() + "/nothing-here"), std::string::npos)
        << wrongPath.out;
    const auto refused = runShell(std::string(VEXAQR_CLI_PATH) + " api registerclient --json --email a@b.c " +
                                  "--partner-id NOBODY --base-url " + server.apiBaseUrl() + " 2>/dev/null");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(lastJson(refused.out)["resultCode"], 14003) << refused.out;
}

TEST_F(CliStyleTest, JsonOutputAndOneLineReports) {
    const auto keys = runCli("keygen --bits 1024 --json --out " + pathIn(folder, "k") + " 2>/dev/null");
    ASSERT_EQ(keys.exitCode, 0) << keys.out;
    const auto paths = lastJson(keys.out);
    EXPECT_EQ(paths["publicKey"], pathIn(folder, "k") + ".pub.pem");
    EXPECT_EQ(paths["privateKey"], pathIn(folder, "k") + ".key.pem");

    const auto record = pathIn(folder, "r.vxa");
    const auto sealed =
        runCli("record seal --type secured --content " + file + " --partner-key " + keyPath("partner1024.key.pem") +
               " --app-pub " + keyPath("app1024.pub.pem") + " --out " + record);
    ASSERT_EQ(sealed.exitCode, 0) << sealed.out;
    EXPECT_NE(sealed.out.find("a SECURED record of 3000 content bytes, written to " + record), std::string::npos)
        << sealed.out;
    EXPECT_EQ(std::count(sealed.out.begin(), sealed.out.end(), '\n'), 1);

    const auto inspect = "record inspect " + record + " --json --partner-pub " + keyPath("partner1024.pub.pem") +
                         " --app-key " + keyPath("app1024.key.pem");
    const auto hidden = lastJson(runCli(inspect).out);
    ASSERT_TRUE(hidden.is_object());
    EXPECT_TRUE(hidden["aesKey"].is_null()); // a hidden secret is no sentence in JSON
    EXPECT_TRUE(lastJson(runCli(inspect + " --show-secrets").out)["aesKey"].is_string());
}

} // namespace
} // namespace vexaqr
