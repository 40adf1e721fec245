// `vexaqr account messages` over large messages: the program's peak memory does not grow with the number of
// messages, because a download keeps only the ids and the message at hand (the rest waits in the store).
#include "support/DevServer.hpp"
#include "support/TempDirectory.hpp"

#include "cli/CliSupport.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace vexaqr::test {
namespace {

constexpr const char* kPartner = "MEMORY-PARTNER";
constexpr std::size_t kMessageBytes = 2'900'000; // the reply, in base 64, stays within the HTTP client's 4 MiB

class MessageMemoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(_server.isRunning());
        ASSERT_EQ(_server.admin("partner", "--partner-id", kPartner, "--bits", "1024").exitCode, 0);
        std::mt19937 random(7);
        std::ofstream content(_content, std::ios::binary);
        for (std::size_t i = 0; i < kMessageBytes; ++i)
            content.put(static_cast<char>(random())); // incompressible, as sealed content is
    }

    std::string account(const std::string& dataDirectory, const std::string& arguments) const {
        return " account " + arguments + " --base-url " + _server.apiBaseUrl() + " --data-dir " + dataDirectory;
    }

    // An activated installation with `count` large messages waiting; its data folder.
    std::string installationWith(int count) {
        const std::string email = "memory" + std::to_string(count) + "@example.org";
        const std::string data = (_directory.path() / email).string();
        const auto code = _server.admin("activation-code", "--partner-id", kPartner, "--email", email).line();
        const auto registered =
            runCli(account(data, "register --email " + email + " --partner-id " + kPartner + " --activation-code " +
                                     code + " --device-token 0aff --hub-name memhub --key-size 1024 " +
                                     "--hub-connection-string '" + _server.hubConnectionString() + "'"));
        EXPECT_EQ(registered.exitCode, 0) << registered.out;
        const auto appUniqueId = lastJson(runCli(account(data, "status --json")).out)["appUniqueId"];
        for (int i = 0; i < count && appUniqueId.is_string(); ++i)
            EXPECT_EQ(_server
                          .admin("message", "--app-id", appUniqueId.get<std::string>(), "--type", "secured",
                                 "--content", _content.string())
                          .exitCode,
                      0);
        return data;
    }

    // The peak resident memory in kilobytes of `vexaqr account messages` on `data`, which must list `count`.
    long peakKilobytesOfMessages(const std::string& data, int count) const {
        const auto peakFile = _directory.path() / "peak";
        // Under AddressSanitizer freed blocks wait in a quarantine that would count as held: none is kept here.
        const auto run =
            runShell("ASAN_OPTIONS=quarantine_size_mb=0:detect_leaks=0 /usr/bin/time -o " + peakFile.string() +
                     " -f %M " + std::string(VEXAQR_CLI_PATH) + account(data, "messages") + " 2>&1 | tail -n 2");
        EXPECT_EQ(run.exitCode, 0) << run.out;
        EXPECT_NE(run.out.find("messages: " + std::to_string(count) + "\n"), std::string::npos) << run.out;
        std::ifstream peak(peakFile);
        long kilobytes = -1;
        peak >> kilobytes;
        return kilobytes;
    }

    TempDirectory _directory;
    DevServer _server;
    std::filesystem::path _content = _directory.path() / "content.bin";
};

TEST_F(MessageMemoryTest, PeakMemoryDoesNotGrowWithTheNumberOfMessages) {
    const long few = peakKilobytesOfMessages(installationWith(2), 2);
    const long many = peakKilobytesOfMessages(installationWith(8), 8);
    ASSERT_GT(few, 0);
    // Six more messages of 2.9 MB each: holding them (payload, record and content) would add well over 100 MB.
    EXPECT_LT(many - few, 30'000) << "peak with 2 messages: " << few << " kB, with 8: " << many << " kB";
}

} // namespace
} // namespace vexaqr::test
