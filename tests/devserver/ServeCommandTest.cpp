// The devserver as a program: how it starts, announces itself, documents itself and ends.
#include "support/DevServer.hpp"

#include <gtest/gtest.h>
#include <httplib.h>

#include <string>

namespace vexaqr::test {
namespace {

TEST(ServeCommandTest, AnnouncesALoopbackAddressAndEndsCleanlyOnSigterm) {
    DevServer server;
    ASSERT_TRUE(server.isRunning());
    EXPECT_TRUE(server.origin().starts_with("http://127.0.0.1:")) << server.origin();
    EXPECT_NE(server.origin(), "http://127.0.0.1:0");
    EXPECT_EQ(server.stop(), 0);
}

TEST(ServeCommandTest, HelpDocumentsEveryCommand) {
    const auto top = DevServer::run({"--help"});
    EXPECT_EQ(top.exitCode, 0);
    for (const char* word : {"serve", "admin", "/registerclient", "/getvxa", "14106", "fault"})
        EXPECT_NE(top.out.find(word), std::string::npos) << word;
    const auto admin = DevServer::run({"admin", "--help"});
    EXPECT_EQ(admin.exitCode, 0);
    for (const char* command : {"partner", "activation-code", "message", "fault"}) {
        const auto help = DevServer::run({"admin", command, "--help"});
        EXPECT_EQ(help.exitCode, 0) << command << " is an admin subcommand";
        EXPECT_NE(admin.out.find(std::string("\n  ") + command + " "), std::string::npos) << command << " is listed";
    }
}

TEST(ServeCommandTest, UsageMistakesExitWithTwo) {
    EXPECT_EQ(DevServer::run({"serve", "--port", "70000"}).exitCode, 2);
    EXPECT_EQ(DevServer::run({"admin", "fault", "--status", "500"}).exitCode, 2);
    EXPECT_EQ(DevServer::run({"admin", "fault", "--endpoint", "/getvxa"}).exitCode, 2);
}

TEST(ServeCommandTest, AnUnreachableServerIsReportedNotHidden) {
    const auto result = DevServer::run({"admin", "--server", "http://127.0.0.1:1", "fault", "--clear"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("cannot reach"), std::string::npos) << result.err;
}

TEST(ServeCommandTest, ABusyPortIsAFailure) {
    DevServer first;
    ASSERT_TRUE(first.isRunning());
    const auto port = first.origin().substr(first.origin().rfind(':') + 1);
    const auto second = DevServer::run({"serve", "--port", port});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("cannot listen"), std::string::npos) << second.err;
}

TEST(ServeCommandTest, AnOversizedBodyIsRefusedAndTheServerGoesOn) {
    DevServer server;
    ASSERT_TRUE(server.isRunning());
    httplib::Client client(server.origin());
    client.set_read_timeout(30);
    client.set_write_timeout(30);
    const std::string huge(17u << 20, ' ');
    const auto refused = client.Post("/api/v1/client/getvxalist", huge, "application/json");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 413);
    const auto next = client.Post("/api/v1/client/getvxalist", "{}", "application/json");
    ASSERT_TRUE(next);
    EXPECT_EQ(next->status, 200) << next->body;
}

} // namespace
} // namespace vexaqr::test
