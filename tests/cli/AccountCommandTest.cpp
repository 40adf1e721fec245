// `vexaqr account` against the devserver: the whole account flow as a script would drive it, its exit
// statuses, and its JSON output.
#include "support/DevServer.hpp"
#include "support/TempDirectory.hpp"

#include "cli/CliSupport.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

namespace vexaqr {
namespace {

using namespace vexaqr::test;

class AccountCommandTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(_server.isRunning()); }

    CliRun account(const std::string& arguments) {
        return runCli("account " + arguments + " --base-url " + _server.apiBaseUrl() + " --data-dir " +
                      (_directory.path() / "data").string());
    }

    std::string registerArguments(const std::string& code) {
        return "register --email cli@example.org --partner-id CLI-PARTNER --activation-code " + code +
               " --device-token 0aff --hub-name cli-hub --hub-connection-string '" + _server.hubConnectionString() +
               "'";
    }

    std::string cli() const { return VEXAQR_CLI_PATH; }
    std::filesystem::path dataDirectory() const { return _directory.path() / "data"; }

    std::string commonArguments() const {
        return " --base-url " + _server.apiBaseUrl() + " --data-dir " + dataDirectory().string();
    }

    // A shell fragment that starts `sqlite3` holding the object store's write lock for `seconds` and
    // returns once the lock is held.
    std::string sqliteHoldingTheStore(double seconds) const {
        const auto marker = _directory.path() / "locked";
        const auto store = dataDirectory() / "VexaQrSDKModel.sqlite";
        return "rm -f " + marker.string() + "; (echo 'BEGIN IMMEDIATE;'; echo '.system touch " + marker.string() +
               "'; sleep " + std::to_string(seconds) + "; echo 'ROLLBACK;') | sqlite3 " + store.string() +
               " >/dev/null 2>&1 & until [ -e " + marker.string() + " ]; do sleep 0.05; done; ";
    }

    test::TempDirectory _directory;
    test::DevServer _server;
};

TEST_F(AccountCommandTest, UsageMistakesExitWithTwo) {
    EXPECT_EQ(account("register --email a@b").exitCode, 2);                                    // no partner
    EXPECT_EQ(account("register --email a@b --partner-id P --device-token zz").exitCode, 2);   // not hex
    EXPECT_EQ(account("register --email a@b --partner-id P --activation-code C").exitCode, 2); // half data
    EXPECT_EQ(account("activate --activation-code C --partner-id P").exitCode, 2);
    EXPECT_EQ(account("messages --key-size 1024").exitCode, 2);
    EXPECT_EQ(runCli("account status --base-url not-a-url").exitCode, 2);
    EXPECT_EQ(runCli("account").exitCode, 2);
}

TEST_F(AccountCommandTest, TheWholeFlowFromRegistrationToLogout) {
    ASSERT_EQ(_server.admin("partner", "--partner-id", "CLI-PARTNER").exitCode, 0);
    const auto code = _server.admin("activation-code", "--partner-id", "CLI-PARTNER", "--email", "cli@example.org");
    const auto registered = account(registerArguments(code.line()));
    ASSERT_EQ(registered.exitCode, 0) << registered.out;

    const auto status = lastJson(account("status --json").out);
    EXPECT_EQ(status["registrationState"], "active");
    EXPECT_EQ(status["email"], "cli@example.org");
    ASSERT_TRUE(status["appUniqueId"].is_string());

    const auto content = _directory.path() / "message.txt";
    std::ofstream(content) << "for the command line";
    const auto posted = _server.admin("message", "--app-id", status["appUniqueId"].get<std::string>(), "--type",
                                      "secured", "--content", content.string());
    ASSERT_EQ(posted.exitCode, 0) << posted.err;

    const auto contents = _directory.path() / "contents";
    const auto fetched = account("messages --json --content-dir " + contents.string());
    ASSERT_EQ(fetched.exitCode, 0) << fetched.out;
    const auto list = lastJson(fetched.out);
    EXPECT_EQ(list["resultCode"], 0);
    ASSERT_EQ(list["messages"].size(), 1u);
    EXPECT_EQ(list["messages"][0]["vxaMessageId"], posted.line());
    EXPECT_EQ(list["messages"][0]["processedVxaData"]["isValid"], true);
    std::ifstream written(contents / (posted.line() + ".content"));
    std::stringstream text;
    text << written.rdbuf();
    EXPECT_EQ(text.str(), "for the command line");

    EXPECT_EQ(account("delete --message-id " + posted.line()).exitCode, 0);
    EXPECT_EQ(account("delete-all").exitCode, 0);
    EXPECT_EQ(account("logout").exitCode, 0);
    EXPECT_EQ(lastJson(account("status --json").out)["registrationState"], "initial");
    EXPECT_NE(account("messages").exitCode, 0); // no installation any more
}

TEST_F(AccountCommandTest, ARefusedActivationExitsWithOneAndSaysWhy) {
    ASSERT_EQ(_server.admin("partner", "--partner-id", "CLI-PARTNER").exitCode, 0);
    ASSERT_EQ(account("register --email cli@example.org --partner-id CLI-PARTNER").exitCode, 0);
    EXPECT_NE(account("status").out.find("state: pending"), std::string::npos);
    const auto refused = account("activate --activation-code WRONG --partner-id CLI-PARTNER --device-token 0aff "
                                 "--hub-name h --hub-connection-string x");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.out.find("error: result"), std::string::npos) << refused.out;
    EXPECT_NE(account("status").out.find("state: pending"), std::string::npos);
}

TEST_F(AccountCommandTest, WhileSqliteHoldsTheStoreARegistrationWaitsOrFailsLoudly) {
    ASSERT_EQ(_server.admin("partner", "--partner-id", "CLI-PARTNER").exitCode, 0);
    ASSERT_EQ(account("status").exitCode, 0); // the store exists
    const std::string registration = cli() + " account register --email cli@example.org --partner-id CLI-PARTNER";

    // Held past the two-second busy timeout: a failure that says why, and nothing registered here.
    const auto blocked =
        runShell(sqliteHoldingTheStore(4) + registration + commonArguments() + " 2>&1; status=$?; wait; exit $status");
    EXPECT_NE(blocked.exitCode, 0) << blocked.out;
    EXPECT_NE(blocked.out.find("could not be stored"), std::string::npos) << blocked.out;
    EXPECT_EQ(lastJson(account("status --json").out)["registrationState"], "initial");

    // Held briefly: the registration waits for it and is stored.
    const auto waited = runShell(sqliteHoldingTheStore(0.5) + registration + commonArguments() +
                                 " 2>&1; status=$?; wait; exit $status");
    EXPECT_EQ(waited.exitCode, 0) << waited.out;
    const auto status = lastJson(account("status --json").out);
    EXPECT_EQ(status["registrationState"], "pending");
    EXPECT_EQ(status["email"], "cli@example.org");

    // A logout the store cannot keep is no logout either.
    const auto logout = runShell(sqliteHoldingTheStore(4) + cli() + " account logout" + commonArguments() +
                                 " 2>&1; status=$?; wait; exit $status");
    EXPECT_EQ(logout.exitCode, 1) << logout.out;
    EXPECT_NE(logout.out.find("logout could not be stored"), std::string::npos) << logout.out;
}

TEST_F(AccountCommandTest, ProgramsRegisteringAtOnceInOneDataDirectoryAllStoreTheirWork) {
    ASSERT_EQ(_server.admin("partner", "--partner-id", "CLI-PARTNER").exitCode, 0);
    ASSERT_EQ(account("status").exitCode, 0);
    std::string script;
    for (int i = 0; i < 3; ++i)
        script += "(" + cli() + " account register --email user" + std::to_string(i) +
                  "@example.org --partner-id CLI-PARTNER" + commonArguments() + " >/dev/null 2>&1; echo exit $?) & ";
    const auto runs = runShell(script + "wait");
    EXPECT_EQ(runs.out, "exit 0\nexit 0\nexit 0\n");
    const auto status = lastJson(account("status --json").out);
    EXPECT_EQ(status["registrationState"], "pending");
    EXPECT_TRUE(status["email"].is_string() && status["appUniqueId"].is_string()) << status.dump();
}

TEST_F(AccountCommandTest, EncryptedContentThatCannotBeOpenedIsMarkedAndFailsTheCommand) {
    const auto partnerKey = _directory.path() / "partner.key.pem";
    const auto partnerPub = _directory.path() / "partner.pub.pem";
    const auto partner = _server.admin("partner", "--partner-id", "CLI-PARTNER", "--private-key-out", partnerKey);
    ASSERT_EQ(partner.exitCode, 0) << partner.err;
    std::ofstream(partnerPub) << partner.out;
    EXPECT_NE(runCli("account --help").out.find("activate --partner-pub PEM --partner-key PEM"), std::string::npos);

    // Keys given to setup are emptied by the activation: the content cannot be opened, and the command says so.
    ASSERT_EQ(account("setup --partner-pub " + partnerPub.string() + " --partner-key " + partnerKey.string()).exitCode,
              0);
    const auto code = _server.admin("activation-code", "--partner-id", "CLI-PARTNER", "--email", "cli@example.org");
    ASSERT_EQ(account(registerArguments(code.line())).exitCode, 0);
    const auto content = _directory.path() / "secret.txt";
    std::ofstream(content) << "for the partner's eyes";
    const auto appUniqueId = lastJson(account("status --json").out)["appUniqueId"].get<std::string>();
    const auto posted = _server.admin("message", "--app-id", appUniqueId, "--type", "encrypted", "--content", content);
    ASSERT_EQ(posted.exitCode, 0) << posted.err;

    const auto unopened = account("messages --json");
    EXPECT_EQ(unopened.exitCode, 1) << unopened.out;
    EXPECT_NE(unopened.out.find("could not be opened"), std::string::npos) << unopened.out;
    const auto listed = lastJson(unopened.out)["messages"];
    ASSERT_EQ(listed.size(), 1u) << unopened.out;
    EXPECT_NE(listed[0]["contentNotOpened"].get<std::string>().find("--partner-key"), std::string::npos);

    // Given to the activation, the pair stays and the content opens.
    ASSERT_EQ(account("register --email other@example.org --partner-id CLI-PARTNER").exitCode, 0);
    const auto again = _server.admin("activation-code", "--partner-id", "CLI-PARTNER", "--email", "other@example.org");
    const auto activated =
        account("activate --activation-code " + again.line() +
                " --partner-id CLI-PARTNER --device-token 0aff --hub-name cli-hub --hub-connection-string '" +
                _server.hubConnectionString() + "' --partner-pub " + partnerPub.string() + " --partner-key " +
                partnerKey.string());
    ASSERT_EQ(activated.exitCode, 0) << activated.out;
    const auto newId = lastJson(account("status --json").out)["appUniqueId"].get<std::string>();
    ASSERT_EQ(_server.admin("message", "--app-id", newId, "--type", "encrypted", "--content", content).exitCode, 0);
    const auto opened = account("messages --json");
    EXPECT_EQ(opened.exitCode, 0) << opened.out;
    EXPECT_TRUE(lastJson(opened.out)["messages"][0]["contentNotOpened"].is_null()) << opened.out;
}

TEST_F(AccountCommandTest, MessagesWithoutARegistrationSaySo) {
    const auto run = account("messages");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("no installation is registered"), std::string::npos) << run.out;
}

} // namespace
} // namespace vexaqr
