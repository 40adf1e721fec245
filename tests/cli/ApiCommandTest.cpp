#include "service/LoopbackServer.hpp"

#include "cli/CliSupport.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace vexaqr::test {
namespace {

TEST(ApiCommandTest, CallsTheOperationAndPrintsTheRecord) {
    LoopbackServer server(LoopbackServer::reply(200, R"({"result": 0, "vxaMessageIdList": ["m1"]})"));
    const auto run = runCli("api getvxalist --base-url " + server.origin() + "/api --app-id APP --verbose");
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("[DEBUG] POST REQUEST - " + server.origin() + "/api/getvxalist"), std::string::npos);
    EXPECT_NE(run.out.find("resultCode: 0 \nvxaMessageIdList:[\"m1\"]\n)"), std::string::npos) << run.out;
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].body, R"({"appUniqueId":"APP"})");
}

TEST(ApiCommandTest, RegistrationMakesAnApplicationIdWhenNoneIsGiven) {
    LoopbackServer server(LoopbackServer::reply(200, R"({"result": 14105})"));
    const auto run = runCli("api registerclient --base-url " + server.origin() + " --email a@b --partner-id P");
    EXPECT_EQ(run.exitCode, 1) << "a failing result code fails the command";
    EXPECT_NE(run.out.find("result: App already registered"), std::string::npos) << run.out;
    const auto body = nlohmann::json::parse(server.requests().at(0).body);
    const auto id = body["appUniqueId"].get<std::string>();
    EXPECT_EQ(id.size(), 36u);
    EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF-"), std::string::npos) << id;
}

TEST(ApiCommandTest, TransportErrorsAndBadArgumentsAreReported) {
    const auto closed = "http://127.0.0.1:" + std::to_string(closedLoopbackPort());
    const auto refused = runCli("api deleteallvxa --app-id A --base-url " + closed);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.out.find("error: " + closed + " cannot be reached: "), std::string::npos) << refused.out;
    const auto unknown = runCli("api nosuchoperation");
    EXPECT_NE(unknown.exitCode, 0);
    EXPECT_NE(unknown.out.find("nosuchoperation"), std::string::npos) << unknown.out;
    EXPECT_EQ(runCli("api getvxa --base-url 'not a url'").exitCode, 2);
}

} // namespace
} // namespace vexaqr::test
