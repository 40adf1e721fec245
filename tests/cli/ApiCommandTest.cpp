#include "service/LoopbackServer.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace vexaqr::test {
namespace {

struct Run {
    int exitCode = -1;
    std::string output;
};

// Runs the CLI with `arguments` (already shell-quoted) and collects standard output and error together.
Run runCli(const std::string& arguments) {
    const std::string command = std::string(VEXAQR_CLI_PATH) + " " + arguments + " 2>&1";
    Run run;
    FILE* pipe = ::popen(command.c_str(), "r");
    std::array<char, 4096> buffer{};
    while (std::size_t count = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        run.output.append(buffer.data(), count);
    }
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(ApiCommandTest, CallsTheOperationAndPrintsTheRecord) {
    LoopbackServer server(LoopbackServer::reply(200, R"({"result": 0, "vxaMessageIdList": ["m1"]})"));
    const auto run = runCli("api getvxalist --base-url " + server.origin() + "/api --app-id APP --verbose");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("[DEBUG] POST REQUEST - " + server.origin() + "/api/getvxalist"), std::string::npos);
    EXPECT_NE(run.output.find("resultCode: 0 \nvxaMessageIdList:[\"m1\"]\n)"), std::string::npos) << run.output;
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].body, R"({"appUniqueId":"APP"})");
}

TEST(ApiCommandTest, RegistrationMakesAnApplicationIdWhenNoneIsGiven) {
    LoopbackServer server(LoopbackServer::reply(200, R"({"result": 14105})"));
    const auto run = runCli("api registerclient --base-url " + server.origin() + " --email a@b --partner-id P");
    EXPECT_EQ(run.exitCode, 1) << "a failing result code fails the command";
    EXPECT_NE(run.output.find("result: App already registered"), std::string::npos) << run.output;
    const auto body = nlohmann::json::parse(server.requests().at(0).body);
    const auto id = body["appUniqueId"].get<std::string>();
    EXPECT_EQ(id.size(), 36u);
    EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF-"), std::string::npos) << id;
}

TEST(ApiCommandTest, TransportErrorsAndBadArgumentsAreReported) {
    const auto refused =
        runCli("api deleteallvxa --app-id A --base-url http://127.0.0.1:" + std::to_string(closedLoopbackPort()));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find("error: HttpClient (4)"), std::string::npos) << refused.output;
    const auto unknown = runCli("api nosuchoperation");
    EXPECT_NE(unknown.exitCode, 0);
    EXPECT_NE(unknown.output.find("nosuchoperation"), std::string::npos) << unknown.output;
    EXPECT_EQ(runCli("api getvxa --base-url 'not a url'").exitCode, 2);
}

} // namespace
} // namespace vexaqr::test
