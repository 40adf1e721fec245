// The README's example programs: a record to an animated GIF and back, and the messages of an installation.
#include <vexaqr/sync/Account.hpp>

#include "support/DevServer.hpp"
#include "views/ScannerTestSupport.hpp"
#include "views/ViewsTestSupport.hpp"

#include "cli/CliSupport.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace vexaqr {
namespace {

using namespace vexaqr::test;

TEST(ExamplesTest, FileToGifAndPicturesToRecordRoundTripARecord) {
    TempDirectory folder;
    const Bytes content = jsonContent(4000);
    const Bytes record = sealedRecord(content);
    const auto recordFile = pathIn(folder, "record.vxa");
    std::ofstream(recordFile, std::ios::binary)
        .write(reinterpret_cast<const char*>(record.data()), static_cast<std::streamsize>(record.size()));
    const auto gif = pathIn(folder, "record.gif");

    const auto made = runShell(std::string(VEXAQR_FILE_TO_GIF_PATH) + " " + recordFile + " " + gif + " 2>&1");
    ASSERT_EQ(made.exitCode, 0) << made.out;
    EXPECT_NE(made.out.find("frames written to"), std::string::npos) << made.out;

    const std::string read = std::string(VEXAQR_PICTURES_TO_RECORD_PATH) + " " + keyPath("partner1024.pub.pem") + " ";
    const auto received = runShell(read + keyPath("app1024.key.pem") + " " + gif + " 2>/dev/null");
    ASSERT_EQ(received.exitCode, 0);
    EXPECT_EQ(toBytes(received.out), content);

    // The wrong application key: the reason, not the content, and a failing status.
    const auto refused = runShell(read + keyPath("partner1024.key.pem") + " " + gif + " 2>&1");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.out.find("key block"), std::string::npos) << refused.out;

    EXPECT_EQ(runShell(std::string(VEXAQR_FILE_TO_GIF_PATH) + " 2>/dev/null").exitCode, 2);
    const auto nothing = runShell(std::string(VEXAQR_FILE_TO_GIF_PATH) + " " + pathIn(folder, "missing") + " " +
                                  pathIn(folder, "x.gif") + " 2>&1");
    EXPECT_EQ(nothing.exitCode, 1) << nothing.out;
}

TEST(ExamplesTest, AccountMessagesPrintsEachMessageOfAnActiveInstallation) {
    TempDirectory folder;
    DevServer server;
    ASSERT_TRUE(server.isRunning());
    ASSERT_EQ(server.admin("partner", "--partner-id", "EX", "--bits", "1024").exitCode, 0);
    const auto code = server.admin("activation-code", "--partner-id", "EX", "--email", "ex@example.org").line();
    const auto data = pathIn(folder, "installation");
    Account account({.dataDirectory = data,
                     .baseUrl = server.apiBaseUrl(),
                     .hub = HubConnection{"example-hub", server.hubConnectionString()}});
    const auto registered = account.registerAccount(
        {.email = "ex@example.org",
         .partnerId = "EX",
         .activation = ActivationDetails{.activationCode = code, .deviceToken = {0x01}, .keyBits = 1024}});
    ASSERT_TRUE(registered) << registered.failure().message;
    const auto content = pathIn(folder, "message.txt");
    std::ofstream(content) << "hello from the partner";
    const auto id = server
                        .admin("message", "--app-id", registered->appUniqueId->uuidString(), "--type", "secured",
                               "--content", content)
                        .line();

    const std::string program = VEXAQR_ACCOUNT_MESSAGES_PATH;
    const auto printed = runShell(program + " " + data + " " + server.apiBaseUrl() + " 2>&1");
    EXPECT_EQ(printed.exitCode, 0) << printed.out;
    EXPECT_EQ(printed.out, id + ": hello from the partner\n");

    const auto stopped = server.stop();
    EXPECT_EQ(stopped, 0);
    const auto unregistered =
        runShell(program + " " + pathIn(folder, "elsewhere") + " " + server.apiBaseUrl() + " 2>&1");
    EXPECT_EQ(unregistered.exitCode, 1);
    EXPECT_NE(unregistered.out.find("register first"), std::string::npos) << unregistered.out;
    EXPECT_EQ(runShell(program + " 2>/dev/null").exitCode, 2);
}

} // namespace
} // namespace vexaqr
