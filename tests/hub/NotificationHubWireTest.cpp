// The hub client's requests, step by step, against a scripted loopback peer: which requests go out in which
// order, with which headers and bodies, and what the local store keeps afterwards.
#include "account/hub/HubURLConnection.hpp"
#include "hub/HubTestSupport.hpp"
#include "support/FullDiskVfs.hpp"
#include "support/TempDirectory.hpp"

#include "account/hub/HubLocalStorage.hpp"
#include "account/hub/HubTokenProvider.hpp"
#include "account/hub/UserDefaults.hpp"
#include "account/platform/CurlHttpClient.hpp"
#include <vexaqr/hub/NotificationHub.hpp>
#include <vexaqr/platform/RunLoop.hpp>

#include <gtest/gtest.h>

#include <future>

namespace vexaqr::test {
namespace {

using namespace std::chrono_literals;

const Bytes kToken = {0x0A, 0xFF, 0x10};
constexpr const char* kTokenText = "0AFF10";
constexpr const char* kKey = "hub-key-never-logged";

std::string entryFor(const std::string& id, const std::string& eTag, const std::string& token = kTokenText,
                     const std::string& templateName = "") {
    const std::string description =
        templateName.empty() ? "AppleRegistrationDescription" : "AppleTemplateRegistrationDescription";
    return "<entry xmlns=\"http://www.w3.org/2005/Atom\"><content type=\"application/xml\"><" + description +
           "><ETag>" + eTag + "</ETag><RegistrationId>" + id + "</RegistrationId><DeviceToken>" + token +
           "</DeviceToken>" + (templateName.empty() ? "" : "<TemplateName>" + templateName + "</TemplateName>") + "</" +
           description + "></content></entry>";
}

// A peer that behaves like a small hub: listing answers `listing` (404 when empty), new identifiers count up,
// PUT answers the entry with the next entity tag, DELETE answers 200. Single statuses can be forced per method.
struct FakeHub {
    std::string listing;
    std::map<std::string, int> forcedStatus; // method -> status, used once
    int tokenStatus = 200;                   // the token service's answer at /WRAPv0.9/
    bool omitLocation = false;
    int nextId = 1;
    int nextETag = 1;

    void handle(const httplib::Request& request, httplib::Response& response) {
        if (request.path == "/WRAPv0.9/" && !forcedStatus.contains("POST")) {
            response.status = tokenStatus;
            response.set_content(tokenStatus == 200 ? "wrap_access_token=t0k&wrap_access_token_expires_in=1200"
                                                    : "no token",
                                 "application/x-www-form-urlencoded");
            return;
        }
        if (const auto forced = forcedStatus.find(request.method); forced != forcedStatus.end()) {
            response.status = forced->second;
            response.set_content("refused", "text/plain");
            forcedStatus.erase(forced);
            return;
        }
        if (request.method == "GET") {
            response.status = listing.empty() ? 404 : 200;
            response.set_content(listing.empty() ? "none" : listing, "application/xml");
        } else if (request.method == "POST") {
            response.status = 201;
            if (!omitLocation)
                response.set_header("Location", "http://127.0.0.1/hub/h/registrations/id" + std::to_string(nextId++) +
                                                    "?api-version=2013-04");
        } else if (request.method == "PUT") {
            const std::string id = request.path.substr(request.path.rfind('/') + 1);
            const std::string& body = request.body;
            const auto nameStart = body.find("<TemplateName>");
            const std::string templateName =
                nameStart == std::string::npos
                    ? ""
                    : body.substr(nameStart + 14, body.find("</TemplateName>", nameStart) - nameStart - 14);
            response.set_content(entryFor(id, std::to_string(nextETag++), kTokenText, templateName), "application/xml");
        } else {
            response.status = 200;
        }
    }
};

class NotificationHubWireTest : public testing::Test {
protected:
    NotificationHubWireTest() {
        _server.setHandler([this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(_hubMutex);
            _hub.handle(request, response);
        });
    }

    std::shared_ptr<UserDefaults> defaults() {
        return std::make_shared<UserDefaults>([this] { return _directory.path(); });
    }

    std::shared_ptr<NotificationHub> makeHub(std::string connectionString = {}) {
        if (connectionString.empty())
            connectionString = "Endpoint=" + _server.origin() +
                               "/hub/;SharedAccessKeyName=DefaultFullSharedAccessSignature;SharedAccessKey=" + kKey;
        return NotificationHub::initWithConnectionString(connectionString, "h",
                                                         {_http, _mainQueue, defaults(), HubTokenProvider::Clock{}});
    }

    FakeHub& fake() { return _hub; }

    // "METHOD target" of every request so far.
    std::vector<std::string> sent() const {
        std::vector<std::string> lines;
        for (const auto& request : _server.requests())
            lines.push_back(request.method + " " + request.target);
        return lines;
    }

    std::optional<Error> await(const std::function<void(NotificationHub::Completion)>& start) {
        auto promise = std::make_shared<std::promise<std::optional<Error>>>();
        auto future = promise->get_future();
        start([promise](std::optional<Error> error) { promise->set_value(std::move(error)); });
        EXPECT_EQ(future.wait_for(20s), std::future_status::ready);
        return future.get();
    }

    std::optional<Error> registerNative(NotificationHub& hub, const std::set<std::string>& tags = {}) {
        return await([&](auto done) { hub.registerNativeWithDeviceToken(kToken, tags, done); });
    }

    TempDirectory _directory;
    std::mutex _hubMutex;
    FakeHub _hub;
    ScriptedServer _server{[](const httplib::Request&, httplib::Response&) {}};
    // After the server: the client goes first and closes its kept-alive connections, so the server stops at once.
    std::shared_ptr<HttpClient> _http = std::make_shared<CurlHttpClient>();
    std::shared_ptr<RunLoop> _mainQueue = std::make_shared<RunLoop>();
};

TEST_F(NotificationHubWireTest, FirstRegistrationListsThenCreatesAnIdentifierThenPuts) {
    auto hub = makeHub();
    ASSERT_TRUE(hub);
    EXPECT_FALSE(registerNative(*hub));
    EXPECT_EQ(sent(), (std::vector<std::string>{
                          "GET /hub/h/Registrations/?$filter=deviceToken+eq+'0AFF10'&api-version=2013-04",
                          "POST /hub/h/registrationids/?api-version=2013-04",
                          "PUT /hub/h/Registrations/id1?api-version=2013-04",
                      }));
    const auto put = _server.requests().at(2);
    EXPECT_EQ(put.headers.count("If-Match"), 0u);
    EXPECT_EQ(put.headers.find("Content-Type")->second, "application/xml");
    EXPECT_EQ(put.body.find("<Tags>"), std::string::npos) << "no Tags element for an empty set";
    EXPECT_NE(put.body.find("<DeviceToken>0AFF10</DeviceToken>"), std::string::npos);
    // std::regex trips a false uninitialised-use warning under the sanitizers: plain checks instead.
    const std::string agent = put.headers.find("User-Agent")->second;
    EXPECT_TRUE(agent.starts_with("NOTIFICATIONHUBS/2013-04(api-origin=IosSdk; os=")) << agent;
    EXPECT_NE(agent.find("; os_version="), std::string::npos) << agent;
    EXPECT_TRUE(agent.ends_with(";)")) << agent;
    // The peer's HTTP library hands header values over percent-decoded; the encoding itself is checked by vectors.
    EXPECT_EQ(put.headers.find("Authorization")->second.rfind("SharedAccessSignature sr=http://127.0.0.1:", 0), 0u);

    HubLocalStorage stored(defaults(), "h");
    EXPECT_FALSE(stored.isRefreshNeeded());
    EXPECT_EQ(stored.deviceToken(), kTokenText);
    EXPECT_EQ(stored.getStoredRegistrationEntryWithRegistrationName("$Default"),
              (StoredRegistrationEntry{"$Default", "id1", "1"}));
}

TEST_F(NotificationHubWireTest, IdentifierIsStoredWithAnyEntityTagBeforeThePut) {
    fake().forcedStatus["PUT"] = 500;
    auto hub = makeHub();
    const auto error = registerNative(*hub);
    ASSERT_TRUE(error);
    EXPECT_EQ(HubLocalStorage(defaults(), "h").getStoredRegistrationEntryWithRegistrationName("$Default"),
              (StoredRegistrationEntry{"$Default", "id1", "*"}));
}

TEST_F(NotificationHubWireTest, SecondRegistrationIsOnePut) {
    auto hub = makeHub();
    ASSERT_FALSE(registerNative(*hub));
    _server.clearRequests();
    EXPECT_FALSE(registerNative(*makeHub(), {"news", "sport"}));
    EXPECT_EQ(sent(), (std::vector<std::string>{"PUT /hub/h/Registrations/id1?api-version=2013-04"}));
    EXPECT_NE(_server.requests().at(0).body.find("<Tags>news,sport</Tags><DeviceToken>"), std::string::npos);
    EXPECT_EQ(HubLocalStorage(defaults(), "h").getStoredRegistrationEntryWithRegistrationName("$Default")->ETag, "2");
}

TEST_F(NotificationHubWireTest, GoneRegistrationGetsANewIdentifier) {
    auto hub = makeHub();
    ASSERT_FALSE(registerNative(*hub));
    _server.clearRequests();
    fake().forcedStatus["PUT"] = 410;
    EXPECT_FALSE(registerNative(*hub));
    EXPECT_EQ(sent(), (std::vector<std::string>{"PUT /hub/h/Registrations/id1?api-version=2013-04",
                                                "POST /hub/h/registrationids/?api-version=2013-04",
                                                "PUT /hub/h/Registrations/id2?api-version=2013-04"}));
    EXPECT_EQ(hub->storageManager().getStoredRegistrationEntryWithRegistrationName("$Default")->RegistrationId, "id2");
}

TEST_F(NotificationHubWireTest, RefreshAdoptsTheHubsExistingDefaultRegistration) {
    auto store = defaults();
    store->setString("h-deviceToken", "01D");
    store->setString("h-version", "v0.9");
    fake().listing =
        "<feed>" + entryFor("existing", "7", "01D") + entryFor("tmpl-id", "3", "01D", "alerts") + "</feed>";
    auto hub = makeHub();
    EXPECT_FALSE(registerNative(*hub));
    EXPECT_EQ(sent(), (std::vector<std::string>{
                          "GET /hub/h/Registrations/?$filter=deviceToken+eq+'01D'&api-version=2013-04",
                          "PUT /hub/h/Registrations/existing?api-version=2013-04",
                      }));
    EXPECT_EQ(hub->storageManager().getStoredRegistrationEntryWithRegistrationName("alerts"),
              (StoredRegistrationEntry{"alerts", "tmpl-id", "3"}));
    EXPECT_EQ(hub->storageManager().deviceToken(), kTokenText);
}

TEST_F(NotificationHubWireTest, FailedRefreshStaysInRefreshMode) {
    fake().forcedStatus["GET"] = 503;
    auto hub = makeHub();
    const auto error = registerNative(*hub);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 503);
    EXPECT_EQ(sent().size(), 1u);
    EXPECT_TRUE(hub->storageManager().isRefreshNeeded());
    EXPECT_FALSE(registerNative(*hub)) << "the next registration tries again";
    EXPECT_EQ(sent().size(), 4u);
}

TEST_F(NotificationHubWireTest, HubErrorsCarryTheStatusInBothForms) {
    auto hub = makeHub();
    fake().forcedStatus["POST"] = 500;
    auto error = registerNative(*hub);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "NotificationHubClient");
    EXPECT_EQ(error->code, 500);
    EXPECT_EQ(error->message,
              "URLRequest failed for POST " + _server.origin() +
                  "/hub/h/registrationids/?api-version=2013-04 with status code: Internal Server Error");

    fake().forcedStatus["POST"] = 403;
    const auto synchronous = hub->registerNativeWithDeviceToken(kToken, {});
    ASSERT_FALSE(synchronous);
    EXPECT_EQ(synchronous.failure().code, 403);
    EXPECT_EQ(synchronous.failure().message, "Fail to perform registration operation. Response:refused");
}

TEST_F(NotificationHubWireTest, MissingLocationIsAnErrorNotASilentSuccess) {
    fake().omitLocation = true;
    auto hub = makeHub();
    const auto error = registerNative(*hub);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, -1);
    EXPECT_EQ(sent().size(), 2u) << "nothing is PUT without an identifier";
}

TEST_F(NotificationHubWireTest, UsageMistakesAreRefusedBeforeAnyRequest) {
    auto hub = makeHub();
    const auto nullToken = await([&](auto done) { hub->registerNativeWithDeviceToken({}, {}, done); });
    ASSERT_TRUE(nullToken);
    EXPECT_EQ(nullToken->message, "Device Token can't be nil.");
    EXPECT_EQ(nullToken->code, -1);
    EXPECT_EQ(await([&](auto done) { hub->unregisterAllWithDeviceToken({}, done); })->message,
              "Device Token can't be nil.");
    EXPECT_EQ(
        await([&](auto done) { hub->registerTemplateWithDeviceToken(kToken, "a:b", "{}", "", {}, done); })->message,
        "TemplateName can't contains ':'.");
    EXPECT_EQ(await([&](auto done) { hub->unregisterTemplateWithName("$Default", done); })->message,
              "TemplateName is conflict with reservered ones.");
    const auto badName = hub->unregisterTemplateWithName("x:y");
    ASSERT_FALSE(badName);
    EXPECT_EQ(badName.failure().message, "TemplateName can't contains ':'.");
    const auto noToken = hub->registerNativeWithDeviceToken({}, {});
    ASSERT_FALSE(noToken);
    EXPECT_EQ(noToken.failure().message, "Device Token can't be nil.");
    EXPECT_TRUE(sent().empty());
}

TEST_F(NotificationHubWireTest, TemplateRegistrationIsStoredUnderItsName) {
    const std::string bodyTemplate = "{\"aps\":{\"alert\":\"$(msg)\"}}";
    auto hub = makeHub();
    EXPECT_FALSE(await([&](auto done) {
        hub->registerTemplateWithDeviceToken(kToken, "alerts", bodyTemplate, "$(exp)", "10", {"t"}, done);
    }));
    const auto put = _server.requests().back();
    EXPECT_NE(put.body.find("<BodyTemplate><![CDATA[" + bodyTemplate +
                            "]]></BodyTemplate><Expiry>$(exp)</Expiry><Priority>10</Priority>"
                            "<TemplateName>alerts</TemplateName>"),
              std::string::npos)
        << put.body;
    EXPECT_EQ(hub->storageManager().getStoredRegistrationEntryWithRegistrationName("alerts")->RegistrationId, "id1");
    EXPECT_FALSE(hub->storageManager().getStoredRegistrationEntryWithRegistrationName("$Default"));
}

TEST_F(NotificationHubWireTest, UnregisterDeletesWithAnyEntityTagAndForgetsTheEntry) {
    auto hub = makeHub();
    EXPECT_FALSE(await([&](auto done) { hub->unregisterNativeWithCompletion(done); }));
    EXPECT_TRUE(sent().empty()) << "nothing stored, nothing to delete";

    ASSERT_FALSE(registerNative(*hub));
    _server.clearRequests();
    EXPECT_FALSE(await([&](auto done) { hub->unregisterNativeWithCompletion(done); }));
    EXPECT_EQ(sent(), (std::vector<std::string>{"DELETE /hub/h/Registrations/id1?api-version=2013-04"}));
    EXPECT_EQ(_server.requests().at(0).headers.find("If-Match")->second, "*");
    EXPECT_FALSE(hub->storageManager().getStoredRegistrationEntryWithRegistrationName("$Default"));
}

TEST_F(NotificationHubWireTest, DeletingAMissingRegistrationForgetsItButReportsNotFound) {
    auto hub = makeHub();
    ASSERT_FALSE(registerNative(*hub));
    fake().forcedStatus["DELETE"] = 404;
    const auto notFound = hub->unregisterNative();
    ASSERT_FALSE(notFound);
    EXPECT_EQ(notFound.failure().code, 404);
    EXPECT_FALSE(hub->storageManager().getStoredRegistrationEntryWithRegistrationName("$Default"));

    ASSERT_FALSE(registerNative(*hub));
    fake().forcedStatus["DELETE"] = 500;
    const auto refused = hub->unregisterNative();
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.failure().code, 500);
    EXPECT_TRUE(hub->storageManager().getStoredRegistrationEntryWithRegistrationName("$Default"))
        << "a refused deletion keeps the entry";
}

TEST_F(NotificationHubWireTest, UnregisterAllDeletesEveryListedRegistrationAndCompletesOnTheMainQueue) {
    auto hub = makeHub();
    ASSERT_FALSE(registerNative(*hub));
    // Two registrations under one name must both go: deleting by name alone would leave one on the hub.
    fake().listing = "<feed>" + entryFor("id1", "1") + entryFor("dup", "1") + "</feed>";
    _server.clearRequests();
    std::optional<std::optional<Error>> outcome;
    bool onMainQueue = false;
    _mainQueue->post([&] {
        hub->unregisterAllWithDeviceToken(kToken, [&](std::optional<Error> error) {
            outcome = error;
            onMainQueue = _mainQueue->isCurrent();
        });
    });
    EXPECT_TRUE(_mainQueue->runUntil([&] { return outcome.has_value(); }, 20s));
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(*outcome);
    EXPECT_TRUE(onMainQueue);
    EXPECT_EQ(sent(), (std::vector<std::string>{
                          "GET /hub/h/Registrations/?$filter=deviceToken+eq+'0AFF10'&api-version=2013-04",
                          "DELETE /hub/h/Registrations/id1?api-version=2013-04",
                          "DELETE /hub/h/Registrations/dup?api-version=2013-04",
                      }));
    EXPECT_TRUE(hub->storageManager().registrations().empty());
}

TEST_F(NotificationHubWireTest, UnregisterAllStopsAtTheFirstFailureAndKeepsTheEntries) {
    auto hub = makeHub();
    ASSERT_FALSE(registerNative(*hub));
    fake().listing = "<feed>" + entryFor("id1", "1") + entryFor("other", "1") + "</feed>";
    fake().forcedStatus["DELETE"] = 500;
    _server.clearRequests();
    std::thread::id completionThread;
    const auto error = await([&](auto done) {
        hub->unregisterAllWithDeviceToken(kToken, [&, done](std::optional<Error> failure) {
            completionThread = std::this_thread::get_id();
            done(failure);
        });
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 500);
    EXPECT_EQ(sent().size(), 2u);
    EXPECT_NE(completionThread, std::this_thread::get_id()) << "not called from the main queue: its own thread";
    EXPECT_FALSE(hub->storageManager().registrations().empty());
}

TEST_F(NotificationHubWireTest, PendingOperationKeepsItsHubAlive) {
    auto promise = std::make_shared<std::promise<std::optional<Error>>>();
    makeHub()->registerNativeWithDeviceToken(
        kToken, {}, [promise](std::optional<Error> error) { promise->set_value(std::move(error)); });
    auto future = promise->get_future();
    ASSERT_EQ(future.wait_for(20s), std::future_status::ready);
    EXPECT_FALSE(future.get());
}

TEST_F(NotificationHubWireTest, TokenFailureEndsTheOperationBeforeAnyHubRequest) {
    auto hub =
        makeHub("Endpoint=" + _server.origin() + "/hub/;SharedSecretValue=c2VjcmV0;StsEndpoint=" + _server.origin());
    fake().forcedStatus["POST"] = 401; // the token service refuses
    const auto error = registerNative(*hub);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 401);
    EXPECT_EQ(error->message, "Fail to retrieve token. Response:refused");
    EXPECT_EQ(sent(), (std::vector<std::string>{"POST /WRAPv0.9/"}));
}

// A token service's 404 or 410 is a failed token request, not the hub saying that a registration is gone: the
// operation ends before any hub request, the store stays as it was and the completion gets the token error.
class TokenServiceFailureTest : public NotificationHubWireTest {
protected:
    std::shared_ptr<NotificationHub> makeWrapHub() {
        return makeHub("Endpoint=" + _server.origin() +
                       "/hub/;SharedSecretValue=c2VjcmV0;StsEndpoint=" + _server.origin());
    }

    // A hub whose store holds "$Default" -> id1, then a token service that answers `status`.
    std::shared_ptr<NotificationHub> registeredThenRefused(int status) {
        fake().tokenStatus = 200;
        auto hub = makeWrapHub();
        EXPECT_FALSE(registerNative(*hub));
        _registered = *stored();
        fake().tokenStatus = status;
        _server.clearRequests();
        return hub;
    }

    // What the store's file holds under "$Default".
    std::optional<StoredRegistrationEntry> stored() {
        return HubLocalStorage(defaults(), "h").getStoredRegistrationEntryWithRegistrationName("$Default");
    }

    // `unregister-all` runs the synchronous steps, whose token error reads "request" instead of "retrieve".
    void expectTokenFailureOnly(const std::optional<Error>& error, int status, std::size_t tokenRequests = 1,
                                const char* verb = "retrieve") {
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code, status);
        EXPECT_EQ(error->message, std::string("Fail to ") + verb + " token. Response:no token");
        EXPECT_EQ(sent(), std::vector<std::string>(tokenRequests, "POST /WRAPv0.9/"));
    }

    StoredRegistrationEntry _registered;
};

TEST_F(TokenServiceFailureTest, UnregisterAllKeepsTheStoreAndFails) {
    for (int status : {404, 410}) {
        auto hub = registeredThenRefused(status);
        expectTokenFailureOnly(await([&](auto done) { hub->unregisterAllWithDeviceToken(kToken, done); }), status, 1,
                               "request");
        EXPECT_EQ(stored(), _registered);
    }
}

TEST_F(TokenServiceFailureTest, UnregisterSendsNoDeleteAndKeepsTheEntry) {
    for (int status : {404, 410}) {
        auto hub = registeredThenRefused(status);
        expectTokenFailureOnly(await([&](auto done) { hub->unregisterNativeWithCompletion(done); }), status);
        EXPECT_EQ(stored(), _registered);
    }
}

TEST_F(TokenServiceFailureTest, GoneTokenDuringAnUpdateCreatesNoSecondRegistration) {
    auto hub = registeredThenRefused(410);
    expectTokenFailureOnly(registerNative(*hub), 410);
    EXPECT_EQ(stored(), _registered);
}

TEST_F(TokenServiceFailureTest, NotFoundTokensOnAFreshStoreKeepItInRefreshMode) {
    auto hub = makeWrapHub();
    fake().tokenStatus = 404;
    expectTokenFailureOnly(registerNative(*hub), 404);
    expectTokenFailureOnly(registerNative(*hub), 404, 2);
    EXPECT_TRUE(hub->storageManager().isRefreshNeeded());
    EXPECT_TRUE(HubLocalStorage(defaults(), "h").isRefreshNeeded()) << "nothing was written";
}

TEST_F(NotificationHubWireTest, AStoreThatCannotBeWrittenFailsTheOperation) {
    FullDiskVfs disk;
    ASSERT_FALSE(registerNative(*makeHub()));
    fake().listing = "<feed>" + entryFor("id1", "1") + "</feed>";
    const std::vector<std::pair<std::string, std::function<std::optional<Error>(NotificationHub&)>>> operations = {
        {"register", [&](NotificationHub& hub) { return registerNative(hub); }},
        {"unregister",
         [&](NotificationHub& hub) { return await([&](auto done) { hub.unregisterNativeWithCompletion(done); }); }},
        {"unregister-all",
         [&](NotificationHub& hub) {
             return await([&](auto done) { hub.unregisterAllWithDeviceToken(kToken, done); });
         }},
    };
    for (const auto& [name, operation] : operations) {
        auto hub = makeHub();
        disk.allowWrites(0);
        const auto error = operation(*hub);
        EXPECT_GT(disk.refused(), 0) << name;
        disk.allowWrites(std::nullopt);
        ASSERT_TRUE(error) << name;
        EXPECT_EQ(error->message, "Fail to save the local registration store.") << name;
    }
}

TEST_F(NotificationHubWireTest, KeysAndSignaturesStayOutOfTheLog) {
    auto hub = makeHub();
    CapturedLog log;
    fake().forcedStatus["GET"] = 500;
    (void)registerNative(*hub);
    fake().forcedStatus["PUT"] = 500;
    EXPECT_FALSE(hub->registerNativeWithDeviceToken(kToken, {}));
    auto unreachable = NotificationHub::initWithConnectionString(
        "Endpoint=http://127.0.0.1:1/hub/;SharedAccessKeyName=DefaultFullSharedAccessSignature;SharedAccessKey=" +
            std::string(kKey),
        "h", {_http, _mainQueue, defaults(), {}});
    EXPECT_FALSE(unreachable->registerNativeWithDeviceToken(kToken, {}));
    const std::string text = log.text();
    EXPECT_NE(text.find("URLRequest failed:"), std::string::npos);
    EXPECT_NE(text.find("Fail to perform registration operation."), std::string::npos);
    EXPECT_NE(text.find("Authorization: <redacted>"), std::string::npos) << text;
    for (const char* secret : {kKey, "SharedAccessSignature", "sig="})
        EXPECT_EQ(text.find(secret), std::string::npos) << secret << " leaked into:\n" << text;
}

TEST_F(NotificationHubWireTest, StagedRepliesAnswerInsteadOfTheNetwork) {
    auto staged = std::make_shared<HubStagedReplies>(
        [](const HttpRequest& request) -> std::optional<HubStaticHandlerResponse> {
            if (request.method != "GET")
                return std::nullopt;
            return HubStaticHandlerResponse{toBytes("<feed>" + entryFor("staged", "5") + "</feed>"),
                                            {{"X-Staged", "1"}}};
        },
        _http);
    auto hub = NotificationHub::initWithConnectionString(
        "Endpoint=" + _server.origin() +
            "/hub/;SharedAccessKeyName=DefaultFullSharedAccessSignature;SharedAccessKey=" + kKey,
        "h", {staged, _mainQueue, defaults(), HubTokenProvider::Clock{}});
    ASSERT_TRUE(hub);
    const auto registrations = hub->retrieveAllRegistrationsWithDeviceToken(kTokenText);
    ASSERT_TRUE(registrations);
    ASSERT_EQ(registrations->size(), 1u);
    EXPECT_EQ(registrations->front()->registrationId, "staged");
    EXPECT_TRUE(sent().empty());
}

TEST_F(NotificationHubWireTest, UnusableConnectionStringsGiveNoHub) {
    CapturedLog log;
    EXPECT_FALSE(makeHub("SharedAccessKeyName=a;SharedAccessKey=b"));
    EXPECT_NE(log.text().find("Endpoint is missing or not in URL format in connectionString."), std::string::npos);
    EXPECT_FALSE(NotificationHub::initWithConnectionString(
        "Endpoint=" + _server.origin() + "/hub/;SharedAccessKeyName=a;SharedAccessKey=b", "", {}));
}

TEST(NotificationHubTest, DeviceTokensAreUpperCaseHex) {
    EXPECT_EQ(NotificationHub::convertDeviceToken({0x0A, 0xFF, 0x00, 0x7C}), "0AFF007C");
    EXPECT_EQ(NotificationHub::convertDeviceToken({}), "");
}

} // namespace
} // namespace vexaqr::test
