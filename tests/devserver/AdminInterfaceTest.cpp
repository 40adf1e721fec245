// The admin interface: what it creates, who may reach it, and that the state outlives a restart.
#include "BackendTestSupport.hpp"

#include "account/service/VexaQrMessageIdList.hpp"

#include <httplib.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/stat.h>

namespace vexaqr::test {
namespace {

class AdminInterfaceTest : public BackendTest {};

TEST_F(AdminInterfaceTest, APartnerIsCreatedOnceAndItsKeysFormAPair) {
    const auto first = makePartner("P1", 1024);
    ASSERT_TRUE(first.publicKey);
    ASSERT_TRUE(first.privateKey);
    EXPECT_TRUE(first.privateKey->isPrivate());
    EXPECT_TRUE(first.privateKey->samePublicKey(*first.publicKey));
    EXPECT_EQ(first.publicKey->sizeInBits(), 1024);

    const auto again = admin("partner", "--partner-id", "P1", "--bits", "2048");
    EXPECT_EQ(again, first.publicKeyPem) << "an existing partner keeps its keys";

    struct stat info {};
    ASSERT_EQ(::stat((directory.path() / "P1.key.pem").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the private key file is the owner's only";
}

TEST_F(AdminInterfaceTest, Refusals) {
    EXPECT_EQ(server.admin("partner", "--partner-id", "P1", "--bits", "512").exitCode, 2);
    const auto noPartner = server.admin("activation-code", "--partner-id", "nobody", "--email", "a@example.com");
    EXPECT_EQ(noPartner.exitCode, 1);
    EXPECT_NE(noPartner.err.find("no partner"), std::string::npos) << noPartner.err;
}

TEST_F(AdminInterfaceTest, ActivationCodesAreFreshEachTime) {
    makePartner("P1");
    const auto first = admin("activation-code", "--partner-id", "P1", "--email", "a@example.com");
    const auto second = admin("activation-code", "--partner-id", "P1", "--email", "a@example.com");
    EXPECT_EQ(first.size(), 10u);
    EXPECT_NE(first, second);
}

TEST_F(AdminInterfaceTest, ABodyThatIsNoJsonObjectIsABadRequest) {
    httplib::Client client(server.origin());
    for (const char* path : {"/admin/partner", "/api/v1/client/registerclient"}) {
        const auto reply = client.Post(path, "[1, 2]", "application/json");
        ASSERT_TRUE(reply) << path;
        EXPECT_EQ(reply->status, 400) << path;
    }
}

// A web page in a browser on this machine reaches the loopback too: through a name it rebinds to 127.0.0.1 (its
// Host is the page's), or with a cross-site request (its Origin is the page's, and without CORS its content type
// can only be a "simple" one). None of them may reach the admin interface; a local program does.
TEST_F(AdminInterfaceTest, OnlyLocalProgramsReachTheAdminInterface) {
    const std::string port = server.origin().substr(server.origin().rfind(':') + 1);
    const struct {
        const char* what;
        std::string host;
        std::string origin;
        std::string contentType;
        int status;
    } cases[] = {
        {"a local program", "127.0.0.1:" + port, "", "application/json", 200},
        {"a local page", "localhost:" + port, "http://localhost:" + port, "application/json; charset=utf-8", 200},
        {"a rebound name", "attacker.example:" + port, "", "application/json", 403},
        {"a cross-site request", "127.0.0.1:" + port, "http://attacker.example", "application/json", 403},
        {"a simple cross-site form", "127.0.0.1:" + port, "", "text/plain", 403},
        {"an origin hiding a loopback name", "127.0.0.1:" + port, "http://127.0.0.1.attacker.example",
         "application/json", 403},
    };
    httplib::Client client(server.origin());
    for (const auto& c : cases) {
        httplib::Headers headers{{"Host", c.host}};
        if (!c.origin.empty())
            headers.emplace("Origin", c.origin);
        const auto reply =
            client.Post("/admin/hub/connection-string", headers, R"({"kind":"sas"})", c.contentType.c_str());
        ASSERT_TRUE(reply) << c.what;
        EXPECT_EQ(reply->status, c.status) << c.what << ": " << reply->body;
        EXPECT_EQ(reply->body.find("SharedAccessKey="),
                  c.status == 200 ? reply->body.find("SharedAccessKey=") : std::string::npos)
            << c.what;
    }
}

// The first IPv4 address of this machine that is not on the loopback interface.
std::optional<std::string> nonLoopbackAddress() {
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0)
        return std::nullopt;
    std::optional<std::string> found;
    for (auto* entry = all; entry && !found; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || (entry->ifa_flags & IFF_LOOPBACK) ||
            !(entry->ifa_flags & IFF_UP))
            continue;
        char text[INET_ADDRSTRLEN];
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text))
            found = text;
    }
    ::freeifaddrs(all);
    return found;
}

TEST(AdminLoopbackTest, TheAdminInterfaceRefusesPeersBeyondTheLoopback) {
    const auto address = nonLoopbackAddress();
    if (!address)
        GTEST_SKIP() << "this machine has no non-loopback IPv4 address to connect from";
    DevServer server({"--host", "0.0.0.0"});
    ASSERT_TRUE(server.isRunning());
    const auto port = server.origin().substr(server.origin().rfind(':') + 1);

    httplib::Client remote("http://" + *address + ":" + port);
    const auto refused = remote.Post("/admin/partner", R"({"partnerId":"P1","bits":1024})", "application/json");
    ASSERT_TRUE(refused) << "cannot connect through " << *address;
    EXPECT_EQ(refused->status, 403);
    const auto client = remote.Post("/api/v1/client/getvxalist", R"({"appUniqueId":"x"})", "application/json");
    ASSERT_TRUE(client);
    EXPECT_EQ(client->status, 200) << "the client endpoints do answer that peer";

    EXPECT_EQ(server.admin("activation-code", "--partner-id", "P1", "--email", "a@example.com").exitCode, 1)
        << "the refused request created no partner";
    EXPECT_EQ(server.admin("partner", "--partner-id", "P1", "--bits", "1024").exitCode, 0) << "the loopback may";
}

TEST_F(AdminInterfaceTest, TheStateOutlivesARestartOnTheSameDataFile) {
    const auto partner = makePartner("P1");
    const auto installation = activeInstallation("P1", "user@example.com");
    const auto messageId = admin("message", "--app-id", installation.appUniqueId, "--type", "secured", "--content",
                                 writeFile("c.json", "{}"));
    ASSERT_EQ(server.stop(), 0);

    DevServer restarted({}, server.dataFile());
    ASSERT_TRUE(restarted.isRunning());
    urlProvider->setApiBaseUrl(*Url::fromString(restarted.apiBaseUrl()));
    const auto reply = call(&VexaQrMessageIdListService::getVexaQrMessageIdList,
                            VexaQrMessageIdList::RequestModel{.appUniqueId = installation.appUniqueId});
    EXPECT_EQ(reply.record->vxaMessageIdList, std::vector{messageId});
    EXPECT_EQ(restarted.admin("partner", "--partner-id", "P1").line(), partner.publicKeyPem);
}

} // namespace
} // namespace vexaqr::test
