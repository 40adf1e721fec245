// The devserver as a program: how it starts, announces itself, documents itself and ends.
#include "support/DevServer.hpp"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

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

TEST(ServeCommandTest, ABodyThatOnlyNestsIsRefusedBeforeItIsBuilt) {
    DevServer server;
    ASSERT_TRUE(server.isRunning());
    httplib::Client client(server.origin());
    client.set_read_timeout(30);
    client.set_write_timeout(30);
    for (const char* path : {"/api/v1/client/getvxalist", "/admin/activation-code"}) {
        const auto refused = client.Post(path, std::string(15u << 20, '['), "application/json");
        ASSERT_TRUE(refused) << path;
        EXPECT_EQ(refused->status, 400) << path;
    }
}

// A connected socket that has sent the start of a request and then nothing.
class StalledClient {
public:
    explicit StalledClient(int port) : _socket(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        _connected = ::connect(_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     ::send(_socket, "POST /api/v1/cl", 15, MSG_NOSIGNAL) == 15;
    }
    ~StalledClient() { ::close(_socket); }
    StalledClient(const StalledClient&) = delete;
    StalledClient& operator=(const StalledClient&) = delete;

    /// Connected, and the server has not closed the connection.
    bool isOpen() const {
        char byte = 0;
        return _connected && ::recv(_socket, &byte, 1, MSG_DONTWAIT | MSG_PEEK) < 0 && errno == EAGAIN;
    }

private:
    int _socket;
    bool _connected = false;
};

// Slow clients each hold a worker; a request from anyone else is still answered while they hang on, not only once
// the server has given up on some of them.
TEST(ServeCommandTest, ManySlowClientsDoNotHoldUpARequest) {
    DevServer server;
    ASSERT_TRUE(server.isRunning());
    const int port = std::stoi(server.origin().substr(server.origin().rfind(':') + 1));
    std::vector<std::unique_ptr<StalledClient>> stalled;
    for (int i = 0; i < 64; ++i)
        stalled.push_back(std::make_unique<StalledClient>(port));
    httplib::Client client(server.origin());
    client.set_connection_timeout(30);
    client.set_read_timeout(30);
    const auto answered = client.Post("/api/v1/client/getvxalist", "{}", "application/json");
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->status, 200);
    int stillWaiting = 0;
    for (const auto& slow : stalled)
        stillWaiting += slow->isOpen() ? 1 : 0;
    EXPECT_EQ(stillWaiting, 64) << "the answer came only after the server dropped slow clients";
}

} // namespace
} // namespace vexaqr::test
