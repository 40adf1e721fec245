// Every account and hub operation of the command line, run against the devserver once per endpoint it reaches
// and fault kind the devserver has: each run either does its work or fails saying why (support/FaultGuard.hpp).
#include "support/FaultGuard.hpp"
#include "support/DevServer.hpp"
#include "support/TempDirectory.hpp"

#include "cli/CliSupport.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <map>

namespace vexaqr::test {
namespace {

constexpr const char* kPartner = "GUARD-PARTNER";
constexpr const char* kHub = "guardhub";

class FaultGuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(_server.isRunning());
        ASSERT_EQ(_server.admin("partner", "--partner-id", kPartner, "--bits", "1024").exitCode, 0);
        _connection = _server.hubConnectionString();
        ASSERT_FALSE(_connection.empty());
    }

    std::string dataDirectory(int n) const { return (_directory.path() / ("case-" + std::to_string(n))).string(); }
    static std::string email(int n) { return "guard" + std::to_string(n) + "@example.org"; }
    static std::string deviceToken(int n) {
        char token[16];
        std::snprintf(token, sizeof token, "C0DE%04X", n);
        return token;
    }

    GuardedRun account(int n, const std::string& arguments) const {
        auto run =
            runCli("account " + arguments + " --base-url " + _server.apiBaseUrl() + " --data-dir " + dataDirectory(n));
        return {run.exitCode, std::move(run.out)};
    }

    GuardedRun hub(int n, const std::string& command, bool withToken = true) const {
        return hubWith(_connection, n, command, withToken);
    }

    GuardedRun hubWith(const std::string& connection, int n, const std::string& command, bool withToken = true) const {
        auto run = runCli("hub " + command + " --connection-string '" + connection + "' --hub-name " + kHub +
                          " --data-dir " + dataDirectory(n) + (withToken ? " --device-token " + deviceToken(n) : ""));
        return {run.exitCode, std::move(run.out)};
    }

    std::string activationArguments(int n) const {
        const auto code = _server.admin("activation-code", "--partner-id", kPartner, "--email", email(n)).line();
        return "--activation-code " + code + " --device-token " + deviceToken(n) + " --hub-name " + kHub +
               " --hub-connection-string '" + _connection + "' --key-size 1024";
    }

    std::string registration(int n) const { return "register --email " + email(n) + " --partner-id " + kPartner; }

    bool active(int n) const { return account(n, registration(n) + " " + activationArguments(n)).exitCode == 0; }

    nlohmann::json status(int n) const { return lastJson(account(n, "status --json").out); }

    // A SECURED message for case `n`'s installation; its id, remembered in the order posted.
    std::string post(int n) {
        const auto appUniqueId = status(n)["appUniqueId"];
        const auto file = _directory.path() / ("content-" + std::to_string(n));
        const std::string content = "guarded content " + std::to_string(_posted[n].size());
        std::ofstream(file) << content;
        const auto id = _server
                            .admin("message", "--app-id", appUniqueId.is_string() ? appUniqueId.get<std::string>() : "",
                                   "--type", "secured", "--content", file.string())
                            .line();
        _posted[n].push_back(id);
        _contents[id] = content;
        return id;
    }

    // Empty when `listing` (the JSON of `account messages`) holds exactly `ids`, each opened with its content.
    std::string listedExactly(const nlohmann::json& listing, const std::vector<std::string>& ids) {
        const auto& messages = listing["messages"];
        if (!messages.is_array() || messages.size() != ids.size())
            return "the messages listed are not the " + std::to_string(ids.size()) + " expected: " + listing.dump();
        for (std::size_t i = 0; i < ids.size(); ++i) {
            const auto& message = messages[i];
            if (message["vxaMessageId"] != ids[i] || message["processedVxaData"]["isValid"] != true ||
                !message["contentNotOpened"].is_null())
                return "message " + ids[i] + " is missing or not opened: " + listing.dump();
        }
        return "";
    }

    std::string messagesAre(int n, const std::vector<std::string>& ids) {
        const auto listed = account(n, "messages --json");
        if (listed.exitCode != 0)
            return "messages fail afterwards: " + listed.out;
        return listedExactly(lastJson(listed.out), ids);
    }

    std::string hubLists(int n, bool registered) const {
        const auto listed = hub(n, "list");
        if (listed.exitCode != 0)
            return "the hub's list fails afterwards: " + listed.out;
        const bool found = listed.out.find(" " + deviceToken(n) + " ") != std::string::npos;
        return found == registered ? "" : std::string(registered ? "no" : "a") + " registration at the hub";
    }

    TempDirectory _directory;
    DevServer _server;
    std::string _connection;
    std::map<int, std::vector<std::string>> _posted;
    std::map<std::string, std::string> _contents;
};

const GuardedEndpoint kHubEndpoint{std::string("/hub/") + kHub, {}, false, false};
// The hub answers a listing for a token without registrations with 404, and a deletion is complete with its
// status (its body is not read): those answers cannot be told from an ordinary one.
const GuardedEndpoint kHubListing{kHubEndpoint.path, {}, false, false, {"status 404"}};
const GuardedEndpoint kHubDeletion{kHubEndpoint.path, {}, false, false, {"empty body", "HTML body"}};

TEST_F(FaultGuardTest, Register) {
    const GuardedOperation operation{
        "account register",
        {{"/registerclient", {"vxaUserId"}}},
        [](int) { return true; },
        [&](int n) { return account(n, registration(n)); },
        [&](int n, const GuardedRun&) -> std::string {
            const auto stored = status(n);
            if (stored["registrationState"] != "pending" || stored["email"] != email(n))
                return "not stored as pending: " + stored.dump();
            return "";
        },
    };
    EXPECT_EQ(runGuarded(_server, operation), 8);
}

TEST_F(FaultGuardTest, Activate) {
    const GuardedOperation operation{
        "account activate",
        {{"/activateclient", {"vxaUserId"}},
         {"/updatekeys", {}},
         {"/partnerkey", {"publicKey"}, true},
         {"/push/getid", {"notificationId"}, true},
         {"/push/register", {}},
         kHubEndpoint},
        [&](int n) { return account(n, registration(n)).exitCode == 0; },
        [&](int n) {
            return account(n, "activate --partner-id " + std::string(kPartner) + " " + activationArguments(n));
        },
        [&](int n, const GuardedRun&) -> std::string {
            if (status(n)["registrationState"] != "active")
                return "not active: " + status(n).dump();
            // An active installation holds what opening its messages takes.
            const auto id = post(n);
            return messagesAre(n, {id});
        },
    };
    EXPECT_EQ(runGuarded(_server, operation), 44);
}

TEST_F(FaultGuardTest, Messages) {
    const GuardedOperation operation{
        "account messages",
        {{"/getvxalist", {"vxaMessageIdList"}, true}, {"/getvxa", {"vxaData", "vxaInfo", "vxaTemplate"}, true}},
        [&](int n) {
            // One message already cached, one new on the backend.
            if (!active(n))
                return false;
            const auto first = post(n);
            const bool cached = listedExactly(lastJson(account(n, "messages --json").out), {first}).empty();
            post(n);
            return cached;
        },
        [&](int n) { return account(n, "messages --json"); },
        [&](int n, const GuardedRun& run) { return listedExactly(lastJson(run.out), _posted[n]); },
    };
    EXPECT_EQ(runGuarded(_server, operation), 20);
}

TEST_F(FaultGuardTest, DeleteAndDeleteAll) {
    const auto twoMessages = [&](int n) {
        if (!active(n))
            return false;
        post(n);
        post(n);
        return true;
    };
    const GuardedOperation deleteOne{
        "account delete",
        {{"/deletevxa", {}}},
        twoMessages,
        [&](int n) { return account(n, "delete --message-id " + _posted[n].front()); },
        [&](int n, const GuardedRun&) { return messagesAre(n, {_posted[n].back()}); },
    };
    const GuardedOperation deleteAll{
        "account delete-all",
        {{"/deleteallvxa", {}}},
        twoMessages,
        [&](int n) { return account(n, "delete-all"); },
        [&](int n, const GuardedRun&) { return messagesAre(n, {}); },
    };
    EXPECT_EQ(runGuarded(_server, deleteOne), 7);
    EXPECT_EQ(runGuarded(_server, deleteAll, 8), 7);
}

TEST_F(FaultGuardTest, HubOperations) {
    const auto registered = [&](int n) { return hub(n, "register").exitCode == 0; };
    const GuardedOperation operations[] = {
        {"hub register",
         {kHubEndpoint},
         [](int) { return true; },
         [&](int n) { return hub(n, "register"); },
         [&](int n, const GuardedRun&) { return hubLists(n, true); }},
        {"hub unregister",
         {kHubDeletion},
         registered,
         [&](int n) { return hub(n, "unregister", false); },
         [&](int n, const GuardedRun&) { return hubLists(n, false); }},
        {"hub unregister-all",
         {kHubListing},
         registered,
         [&](int n) { return hub(n, "unregister-all"); },
         [&](int n, const GuardedRun&) { return hubLists(n, false); }},
        {"hub list",
         {kHubListing},
         registered,
         [&](int n) { return hub(n, "list"); },
         [&](int n, const GuardedRun& run) -> std::string {
             return run.out.find(" " + deviceToken(n) + " ") != std::string::npos ? ""
                                                                                  : "the registration is not listed";
         }},
    };
    int cases = 0;
    for (const auto& operation : operations)
        cases += runGuarded(_server, operation, cases + 1);
    // With issuer credentials every request first asks the token service for a token.
    const std::string issuer = _server.hubConnectionString("--issuer");
    cases += runGuarded(_server,
                        {"hub register (issuer token)",
                         {{"/WRAPv0.9", {}, false, false}},
                         [](int) { return true; },
                         [&](int n) { return hubWith(issuer, n, "register"); },
                         [&](int n, const GuardedRun&) { return hubLists(n, true); }},
                        cases + 1);
    EXPECT_EQ(cases, 16);
}

} // namespace
} // namespace vexaqr::test
