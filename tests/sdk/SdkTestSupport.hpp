// What the facade and workflow tests share: a private data folder and key store per test, a main queue
// driven by the test thread, a curl client that also records what it sends, and the devserver as the
// backend and the hub.
#pragma once

#include "account/hub/UserDefaults.hpp"
#include "account/keys/KeyStore.hpp"
#include "account/keys/KeychainWrapper.hpp"
#include "account/platform/CurlHttpClient.hpp"
#include "account/sdk/AppDataService.hpp"
#include "account/sdk/DatabaseWrapper.hpp"
#include "account/sdk/KeyHandlingWorkflow.hpp"
#include "account/sdk/NotificationWorkflow.hpp"
#include "account/sdk/PostActivationWorkflow.hpp"
#include "account/sdk/VexaQrMessageWorkflow.hpp"
#include "account/service/Activation.hpp"
#include "account/service/DeleteAllVexaQrMessage.hpp"
#include "account/service/DeleteVexaQrMessage.hpp"
#include "account/service/Registration.hpp"
#include "account/service/UrlProvider.hpp"
#include "account/service/VexaQrMessageIdList.hpp"
#include <vexaqr/platform/RunLoop.hpp>
#include <vexaqr/sdk/Installation.hpp>
#include <vexaqr/sdk/VexaQrSDK.hpp>

#include "support/DevServer.hpp"
#include "support/TempDirectory.hpp"
#include "support/TestKeys.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <mutex>

namespace vexaqr::test {

/// A real HTTP client that also keeps the path of every request it was given.
class RecordingHttpClient final : public HttpClient {
public:
    explicit RecordingHttpClient(std::shared_ptr<HttpClient> inner) : _inner(std::move(inner)) {}

    void send(HttpRequest request, Completion completion) override {
        {
            std::lock_guard lock(_mutex);
            _urls.push_back(request.url);
            _bodies.push_back(request.body ? std::string(request.body->begin(), request.body->end()) : "");
        }
        _inner->send(std::move(request), std::move(completion));
    }

    /// Every address sent so far, in order.
    std::vector<std::string> urls() const {
        std::lock_guard lock(_mutex);
        return _urls;
    }

    /// The number of requests whose address contains `fragment`.
    std::size_t count(const std::string& fragment) const {
        std::size_t n = 0;
        for (const auto& url : urls())
            n += url.find(fragment) != std::string::npos ? 1 : 0;
        return n;
    }

    /// The JSON bodies of the requests whose address contains `fragment`.
    std::vector<nlohmann::json> bodies(const std::string& fragment) const {
        std::lock_guard lock(_mutex);
        std::vector<nlohmann::json> found;
        for (std::size_t i = 0; i < _urls.size(); ++i)
            if (_urls[i].find(fragment) != std::string::npos)
                found.push_back(nlohmann::json::parse(_bodies[i], nullptr, false));
        return found;
    }

private:
    std::shared_ptr<HttpClient> _inner;
    mutable std::mutex _mutex;
    std::vector<std::string> _urls;
    std::vector<std::string> _bodies;
};

/// The outcome of a facade call that reports a result code.
struct Reported {
    int calls = 0;
    std::optional<std::int64_t> code;
    std::optional<Error> error;

    VexaQrSDK::ResultCompletion completion() {
        return [this](std::optional<std::int64_t> c, std::optional<Error> e) {
            ++calls;
            code = c;
            error = std::move(e);
        };
    }
};

/// The outcome of a message list request.
struct ReportedMessages {
    int calls = 0;
    std::int64_t code = 12345;
    std::optional<std::vector<VxaMessage>> messages;
    std::optional<Error> error;

    VexaQrMessagesCompletion completion() {
        return [this](std::int64_t c, std::optional<std::vector<VxaMessage>> m, std::optional<Error> e) {
            ++calls;
            code = c;
            messages = std::move(m);
            error = std::move(e);
        };
    }

    std::vector<std::string> ids() const {
        std::vector<std::string> found;
        for (const auto& message : messages.value_or(std::vector<VxaMessage>{}))
            found.push_back(message.vxaMessageId.value_or("(none)"));
        return found;
    }
};

constexpr const char* kPartnerId = "PARTNER-1";
constexpr const char* kEmail = "user@example.org";

/// One installation against one devserver: its own data folder, key store, main queue and facade.
class SdkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(_server.isRunning());
        _urlProvider->setApiBaseUrl(*Url::fromString(_server.apiBaseUrl()));
        // 1024 bits like the installation keys below: the server seals only with keys of one size.
        const auto partner = _server.admin("partner", "--partner-id", kPartnerId, "--bits", "1024");
        ASSERT_EQ(partner.exitCode, 0) << partner.err;
        _partnerPublicKey = RsaKey::fromPem(partner.out);
    }

    WebServiceEnvironment serviceEnvironment() {
        WebServiceEnvironment environment;
        environment.httpClient = _http;
        environment.mainQueue = _loop;
        environment.urlProvider = _urlProvider;
        return environment;
    }

    /// A fresh facade over this test's queue, client, address and installation.
    std::unique_ptr<VexaQrSDK> makeSdk() {
        return std::make_unique<VexaQrSDK>(VexaQrSDK::Environment{_urlProvider, _http, _loop, _installation, nullptr});
    }

    std::shared_ptr<AppDataService> makeAppDataService() { return _installation->appData(); }

    /// Runs the main queue until `done()`; false after a generous timeout.
    bool runUntil(const std::function<bool()>& done) { return _loop->runUntil(done, std::chrono::seconds(60)); }

    std::string activationCode(const std::string& email = kEmail) {
        return _server.admin("activation-code", "--partner-id", kPartnerId, "--email", email).line();
    }

    /// An activation record for this test's partner and hub.
    Activation::ViewModel activationData(const std::string& code,
                                         Activation::RsaKeySize size = Activation::RsaKeySize::rsa1024) {
        return {code,
                size,
                Bytes{0x0A, 0xFF, 0x10, 0x20},
                "hub-1",
                _server.hubConnectionString(),
                kPartnerId,
                std::nullopt,
                std::nullopt};
    }

    /// Registers with activation data on `sdk` and waits; the reported code.
    std::optional<std::int64_t> registerAndActivate(VexaQrSDK& sdk, const std::string& email = kEmail) {
        Reported reported;
        sdk.registerAccount({email, kPartnerId, false, activationData(activationCode(email))}, reported.completion());
        EXPECT_TRUE(runUntil([&] { return reported.calls > 0; }));
        return reported.code;
    }

    /// A SECURED message with `content`, sealed by the server for `appUniqueId`; its id.
    std::string postMessage(const Uuid& appUniqueId, const std::string& content) {
        const auto file = _directory.path() / ("content-" + std::to_string(++_contentFiles));
        std::ofstream(file, std::ios::binary) << content;
        return _server
            .admin("message", "--app-id", appUniqueId.uuidString(), "--type", "secured", "--content", file.string())
            .line();
    }

    template <class... Args> void fault(const Args&... args) { ASSERT_EQ(_server.admin("fault", args...).exitCode, 0); }

    TempDirectory _directory;
    DevServer _server;
    std::shared_ptr<RunLoop> _loop = std::make_shared<RunLoop>();
    std::shared_ptr<RecordingHttpClient> _http =
        std::make_shared<RecordingHttpClient>(std::make_shared<CurlHttpClient>());
    std::shared_ptr<UrlProvider> _urlProvider = std::make_shared<UrlProvider>();
    // The keys in a directory of their own: tests see that nothing else reaches for them.
    std::shared_ptr<Installation> _installation =
        Installation::inDirectory(_directory.path() / "data", KeyStore::makeSqlite(_directory.path() / "keys"));
    std::shared_ptr<DatabaseWrapper> _database{_installation, &_installation->database()};
    KeyHandle _partnerPublicKey; // the server's partner
    int _contentFiles = 0;
};

} // namespace vexaqr::test
