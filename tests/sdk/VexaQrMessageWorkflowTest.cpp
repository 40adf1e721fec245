// The message workflow against the devserver: sequential download, the validity filter, the cache
// replaced only after a complete download, and the cache as the answer whenever the backend fails.
#include "sdk/SdkTestSupport.hpp"

#include <vexaqr/payload/VXADataWriter.hpp>

#include "codec/payload/Base64.hpp"

namespace vexaqr {
namespace {

using test::ReportedMessages;

// Forwards to the real service and runs a hook before each request, so that a test can change the
// backend's behaviour between two requests of one download.
class InterceptedMessageService final : public VexaQrMessageServiceProtocol {
public:
    InterceptedMessageService(std::shared_ptr<VexaQrMessageServiceProtocol> inner, std::function<void(int)> beforeEach)
        : _inner(std::move(inner)), _beforeEach(std::move(beforeEach)) {}

    void getVexaQrMessage(const VexaQrMessage::RequestModel& request, Completion completion) override {
        _beforeEach(++_requests);
        _inner->getVexaQrMessage(request, std::move(completion));
    }

private:
    std::shared_ptr<VexaQrMessageServiceProtocol> _inner;
    std::function<void(int)> _beforeEach;
    int _requests = 0;
};

class VexaQrMessageWorkflowTest : public test::SdkTest {
protected:
    void SetUp() override {
        SdkTest::SetUp();
        _sdk = makeSdk();
        ASSERT_EQ(registerAndActivate(*_sdk), 0);
        _appData = _sdk->appDataService();
        _appUniqueId = *_appData->getAppUniqueId();
        _workflow = std::make_shared<VexaQrMessageWorkflow>(_appData, *_database, serviceEnvironment());
    }

    ReportedMessages fetch() {
        ReportedMessages reported;
        _workflow->getVexaQrMessageList({}, reported.completion());
        EXPECT_TRUE(runUntil([&] { return reported.calls > 0; }));
        _loop->runUntilIdle();
        EXPECT_EQ(reported.calls, 1);
        return reported;
    }

    std::vector<std::string> cachedIds() {
        std::vector<std::string> ids;
        for (const auto& row : _database->getCachedVxaMessages().value_or(std::vector<CachedVxaMessage>{}))
            ids.push_back(row.messageId.value_or("(none)"));
        return ids;
    }

    // A SECURED record for this installation signed with a key that is not the partner's.
    Bytes forgedRecord() {
        VXADataWriter::Input input;
        input.content = Bytes{'f', 'o', 'r', 'g', 'e', 'd'};
        input.vxaType = VxaType::SECURED;
        input.cipherMethod = CipherMethod::RSA1024_AES128_SHA256;
        input.issuerId = Uuid::random().value();
        input.timestamp = 1'700'000'000;
        input.partnerPrivateKey = test::privateKey("partner", 1024);
        input.keyBlockPublicKey = _appData->getClientPublicKey();
        return VXADataWriter::write(input).value();
    }

    // Makes the backend's next answer to a message request carry `vxaData`.
    void answerNextMessageWith(const Bytes& vxaData) {
        fault("--endpoint", "/getvxa", "--times", "1", "--body",
              nlohmann::json{{"result", 0}, {"vxaData", base64::encode(vxaData)}, {"vxaInfo", "forged"}}.dump());
    }

    void interceptMessages(std::function<void(int)> beforeEach) {
        _workflow->setVexaQrMessageService(std::make_shared<InterceptedMessageService>(
            std::make_shared<VexaQrMessageService>(serviceEnvironment()), std::move(beforeEach)));
    }

    std::unique_ptr<VexaQrSDK> _sdk;
    std::shared_ptr<AppDataServiceProtocol> _appData;
    Uuid _appUniqueId;
    std::shared_ptr<VexaQrMessageWorkflow> _workflow;
};

TEST_F(VexaQrMessageWorkflowTest, ValidMessagesArriveDecodedInListOrderAndReplaceTheCache) {
    _database->replaceVxaMessageCache({{Bytes{1}, std::nullopt, std::nullopt, std::string("stale")}});
    const auto first = postMessage(_appUniqueId, "first content");
    const auto second = postMessage(_appUniqueId, "second content");

    const auto reported = fetch();
    EXPECT_EQ(reported.code, 0);
    EXPECT_FALSE(reported.error);
    ASSERT_EQ(reported.ids(), (std::vector<std::string>{first, second}));
    const auto& record = *reported.messages->at(1).processedVxaData;
    EXPECT_TRUE(record.isValid());
    EXPECT_EQ(std::string(record.actualVxaData->begin(), record.actualVxaData->end()), "second content");
    EXPECT_EQ(cachedIds(), (std::vector<std::string>{first, second}));
    EXPECT_EQ(_http->count("/getvxa/"), 2u);
}

TEST_F(VexaQrMessageWorkflowTest, AnInvalidMessageIsDroppedAndTheOthersAreCached) {
    const auto first = postMessage(_appUniqueId, "one");
    postMessage(_appUniqueId, "two");
    const auto third = postMessage(_appUniqueId, "three");
    const Bytes forged = forgedRecord();
    interceptMessages([&](int request) {
        if (request == 2)
            answerNextMessageWith(forged);
    });

    const auto reported = fetch();
    EXPECT_EQ(reported.code, 0);
    EXPECT_EQ(reported.ids(), (std::vector<std::string>{first, third}));
    EXPECT_EQ(cachedIds(), (std::vector<std::string>{first, third}));
    EXPECT_EQ(_http->count("/getvxa/"), 3u); // every message is asked for
}

TEST_F(VexaQrMessageWorkflowTest, AMessageWithoutPayloadAbandonsTheDownloadAndAnswersFromTheCache) {
    const auto cachedId = postMessage(_appUniqueId, "cached");
    ASSERT_EQ(fetch().ids(), std::vector<std::string>{cachedId});
    postMessage(_appUniqueId, "new");
    interceptMessages([&](int request) {
        if (request == 2)
            fault("--endpoint", "/getvxa", "--times", "1", "--body", R"({"result":0,"vxaInfo":"no payload"})");
    });

    const auto reported = fetch();
    EXPECT_EQ(reported.code, -1); // a success without its payload is no success
    ASSERT_TRUE(reported.error);
    EXPECT_NE(reported.error->message.find("carried no payload"), std::string::npos) << reported.error->message;
    EXPECT_EQ(reported.ids(), std::vector<std::string>{cachedId});
    EXPECT_EQ(cachedIds(), std::vector<std::string>{cachedId});
}

TEST_F(VexaQrMessageWorkflowTest, ASuccessWithoutTheListIsAFailureThatKeepsTheCache) {
    const auto id = postMessage(_appUniqueId, "kept");
    ASSERT_EQ(fetch().ids(), std::vector<std::string>{id});
    postMessage(_appUniqueId, "not listed");
    fault("--endpoint", "/getvxalist", "--drop-field", "vxaMessageIdList", "--times", "1");

    const auto reported = fetch();
    EXPECT_EQ(reported.code, -1);
    ASSERT_TRUE(reported.error);
    EXPECT_NE(reported.error->message.find("no message list"), std::string::npos) << reported.error->message;
    EXPECT_EQ(reported.ids(), std::vector<std::string>{id});
    EXPECT_EQ(cachedIds(), std::vector<std::string>{id});
}

TEST_F(VexaQrMessageWorkflowTest, AnEmptyListKeepsTheCacheButReportsNoMessages) {
    const auto id = postMessage(_appUniqueId, "kept");
    ASSERT_EQ(fetch().ids(), std::vector<std::string>{id});
    fault("--endpoint", "/getvxalist", "--body", R"({"result":0,"vxaMessageIdList":[]})");

    const auto reported = fetch();
    EXPECT_EQ(reported.code, 0);
    ASSERT_TRUE(reported.messages);
    EXPECT_TRUE(reported.messages->empty());
    EXPECT_EQ(cachedIds(), std::vector<std::string>{id});
}

TEST_F(VexaQrMessageWorkflowTest, AFailedListAnswersFromTheCacheWithoutAValidityFilter) {
    const auto id = postMessage(_appUniqueId, "good");
    ASSERT_EQ(fetch().ids(), std::vector<std::string>{id});
    auto rows = *_database->getCachedVxaMessages();
    rows.push_back({forgedRecord(), std::string("info"), std::string("tpl"), std::string("forged")});
    ASSERT_TRUE(_database->replaceVxaMessageCache(rows));

    fault("--endpoint", "/getvxalist", "--result-code", "14008", "--times", "1");
    const auto refused = fetch();
    EXPECT_EQ(refused.code, 14008);
    ASSERT_EQ(refused.ids(), (std::vector<std::string>{id, "forged"}));
    EXPECT_TRUE(refused.messages->at(0).processedVxaData->isValid());
    EXPECT_FALSE(refused.messages->at(1).processedVxaData->isValid());
    EXPECT_EQ(refused.messages->at(1).vxaTemplate, "tpl");

    fault("--endpoint", "/getvxalist", "--status", "500", "--times", "1");
    const auto failed = fetch();
    EXPECT_EQ(failed.code, -1);
    EXPECT_TRUE(failed.error);
    EXPECT_EQ(failed.ids().size(), 2u);
}

TEST_F(VexaQrMessageWorkflowTest, AMissingKeyFailsTheDownloadNamingTheKey) {
    const auto id = postMessage(_appUniqueId, "unreadable later");
    ASSERT_EQ(fetch().ids(), std::vector<std::string>{id});
    const struct {
        Activation::KeyOwner owner;
        Activation::KeyType type;
        std::int64_t code;
        const char* named;
    } cases[] = {
        {Activation::KeyOwner::partnerKey, Activation::KeyType::publicKey, 110, "partner's public key"},
        {Activation::KeyOwner::clientKey, Activation::KeyType::privateKey, -101, "installation's private key"},
    };
    for (const auto& c : cases) {
        _installation->keychain().deleteRsaKey(KeychainWrapper::keyTag(c.owner, c.type));

        fault("--endpoint", "/getvxalist", "--status", "500", "--times", "1");
        const auto failedList = fetch();
        EXPECT_EQ(failedList.code, -1);
        EXPECT_FALSE(failedList.messages);

        const auto download = fetch(); // the message cannot be decoded: the cache is the answer, and absent
        EXPECT_EQ(download.code, c.code);
        ASSERT_TRUE(download.error);
        EXPECT_NE(download.error->message.find(c.named), std::string::npos) << download.error->message;
        EXPECT_FALSE(download.messages);
        EXPECT_EQ(cachedIds(), std::vector<std::string>{id});
    }
}

TEST_F(VexaQrMessageWorkflowTest, WithoutAnInstallationIdNothingIsSent) {
    _database->setAppUniqueId(std::nullopt);
    const auto sent = _http->urls().size();
    const auto reported = fetch();
    EXPECT_EQ(reported.code, -1);
    ASSERT_TRUE(reported.error);
    EXPECT_NE(reported.error->message.find("no installation is registered"), std::string::npos);
    ASSERT_TRUE(reported.messages);
    EXPECT_TRUE(reported.messages->empty());
    EXPECT_EQ(_http->urls().size(), sent);
}

} // namespace
} // namespace vexaqr
