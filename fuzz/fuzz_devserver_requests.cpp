// The devserver's request handlers on raw HTTP requests from outside, served in process (no socket). Every
// input starts from the same state: a partner, an activated installation with a message, and the hub's keys.
//
// The input holds up to four requests separated by a line "=====". In a request, a header line
// "Authorization: SIGN" is replaced by a valid Shared Access Signature for the request's target, so that the
// hub's handlers behind the signature check are reached; a request line ending in " LOOPBACK" (before the
// version) comes from the loopback interface, any other from a remote peer. Partner creation is left out: its
// key generation takes far longer than everything else and is covered by the devserver's tests.
#include "DevServerContext.hpp"
#include "DevServerRegistry.hpp"
#include "HubCredentials.hpp"

#include "account/hub/HubTokenProvider.hpp"
#include "account/hub/NotificationHubHelper.hpp"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

using namespace vexaqr;
using namespace vexaqr::devserver;

namespace {

constexpr std::string_view kBaseUrl = "http://127.0.0.1:8642";
constexpr std::string_view kAppId = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
constexpr std::string_view kSeparator = "\n=====\n";
constexpr std::string_view kSignHeader = "Authorization: SIGN\r\n";
constexpr std::string_view kLoopbackMark = " LOOPBACK";
constexpr std::size_t kMaxRequests = 4;

// A server whose requests come from a buffer instead of a socket.
class InProcessServer final : public httplib::Server {
public:
    explicit InProcessServer(DevServerContext& context) {
        // An exception that leaves a handler is a fault: the real server would answer 500 and go on.
        set_exception_handler(
            [](const httplib::Request&, httplib::Response&, std::exception_ptr) { __builtin_trap(); });
        for (const auto& install : registeredEndpoints())
            install(*this, context);
    }

    // The raw reply to one raw request.
    std::string serve(const std::string& raw, bool fromLoopback) {
        httplib::detail::BufferStream stream;
        stream.write(raw.data(), raw.size());
        bool closed = false;
        process_request(stream, true, closed, [fromLoopback](httplib::Request& request) {
            request.remote_addr = fromLoopback ? "127.0.0.1" : "192.0.2.7";
        });
        return stream.get_buffer().substr(raw.size());
    }
};

std::string post(std::string_view path, const std::string& body) {
    return "POST " + std::string(path) +
           " HTTP/1.1\r\nHost: fuzz\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string replyBody(const std::string& reply) {
    const auto end = reply.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

struct Fixture {
    std::filesystem::path templateFile;
    std::filesystem::path workFile;
    std::shared_ptr<HubTokenProvider> signer;
};

// Builds the starting state through the handlers themselves; stops the program if that fails.
Fixture makeFixture() {
    const auto folder =
        std::filesystem::temp_directory_path() / ("vexaqr-fuzz-devserver-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    Fixture fixture{folder / "template.sqlite", folder / "work.sqlite", nullptr};
    std::string error;
    auto database = SqliteDatabase::open(fixture.templateFile, error);
    if (!database) {
        std::cerr << "cannot open " << fixture.templateFile << ": " << error << '\n';
        std::abort();
    }
    DevServerContext context(*database, std::string(kBaseUrl));
    InProcessServer server(context);
    const std::string app(kAppId);
    server.serve(post("/admin/partner", R"({"partnerId":"P1","bits":1024})"), true);
    const auto code = nlohmann::json::parse(
        replyBody(server.serve(post("/admin/activation-code", R"({"partnerId":"P1","email":"a@example.org"})"), true)),
        nullptr, false);
    const std::string activationCode = code.value("activationCode", "");
    server.serve(post("/api/v1/client/registerclient",
                      R"({"emailAddress":"a@example.org","partnerId":"P1","appUniqueId":")" + app + R"("})"),
                 false);
    server.serve(post("/api/v1/client/activateclient",
                      R"({"activationCode":")" + activationCode + R"(","appUniqueId":")" + app + R"("})"),
                 false);
    const auto sealed = nlohmann::json::parse(
        replyBody(server.serve(
            post("/admin/message", R"({"appUniqueId":")" + app + R"(","type":"signed","content":"eyJhIjoxfQ=="})"),
            true)),
        nullptr, false);
    const auto connection = nlohmann::json::parse(
        replyBody(server.serve(post("/admin/hub/connection-string", R"({"kind":"sas"})"), true)), nullptr, false);
    fixture.signer = HubTokenProvider::initWithConnectionDictinary(
        NotificationHubHelper::parseConnectionString(connection.value("connectionString", "")));
    if (activationCode.empty() || !sealed.contains("messageId") || !fixture.signer) {
        std::cerr << "the devserver's starting state could not be made\n";
        std::abort();
    }
    return fixture;
}

// The request with its markers applied; `fromLoopback` tells whether the loopback mark was there.
std::string applyMarkers(const Fixture& fixture, std::string request, bool& fromLoopback) {
    const auto lineEnd = request.find("\r\n");
    const auto mark = request.rfind(kLoopbackMark, lineEnd);
    fromLoopback = mark != std::string::npos && lineEnd != std::string::npos;
    if (fromLoopback)
        request.erase(mark, kLoopbackMark.size());
    const auto sign = request.find(kSignHeader);
    if (sign != std::string::npos) {
        const auto targetStart = request.find(' ');
        const auto targetEnd = targetStart == std::string::npos ? targetStart : request.find(' ', targetStart + 1);
        const std::string target = targetEnd == std::string::npos
                                       ? std::string()
                                       : request.substr(targetStart + 1, targetEnd - targetStart - 1);
        const std::string token = fixture.signer->PrepareSharedAccessTokenWithUrl(std::string(kBaseUrl) + target);
        request.replace(sign, kSignHeader.size(), "Authorization: " + token + "\r\n");
    }
    return request;
}

std::vector<std::string> splitRequests(std::string_view input) {
    std::vector<std::string> requests;
    while (requests.size() < kMaxRequests) {
        const auto end = input.find(kSeparator);
        requests.emplace_back(input.substr(0, end));
        if (end == std::string_view::npos)
            break;
        input.remove_prefix(end + kSeparator.size());
    }
    return requests;
}

bool asksForPartner(const std::string& request) {
    return request.find("/admin/partner") != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Fixture fixture = makeFixture();
    const auto requests = splitRequests(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const auto& request : requests)
        if (asksForPartner(request))
            return -1; // kept out of the corpus
    std::filesystem::copy_file(fixture.templateFile, fixture.workFile,
                               std::filesystem::copy_options::overwrite_existing);
    std::string error;
    auto database = SqliteDatabase::open(fixture.workFile, error);
    if (!database)
        std::abort();
    DevServerContext context(*database, std::string(kBaseUrl));
    InProcessServer server(context);
    for (const auto& request : requests) {
        bool fromLoopback = false;
        const std::string raw = applyMarkers(fixture, request, fromLoopback);
        const std::string reply = server.serve(raw, fromLoopback);
        if (!reply.empty() && !reply.starts_with("HTTP/1.1 "))
            __builtin_trap();
    }
    return 0;
}
