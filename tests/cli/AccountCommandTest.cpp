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

} // namespace
} // namespace vexaqr
