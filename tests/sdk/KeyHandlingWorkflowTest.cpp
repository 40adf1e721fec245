// The key workflow against the devserver: the client pair generated, uploaded and kept; the partner
// key given, refused, downloaded, or not storable.
#include "sdk/SdkTestSupport.hpp"

#include <vexaqr/payload/VXAData.hpp>

#include <atomic>

namespace vexaqr {
namespace {

using Constant::Application::ResultCode;
using test::kEmail;
using test::kPartnerId;

// A key store that refuses every add after the first `allowedAdds`, like a locked or full store.
class RefusingKeyStore final : public KeyStore {
public:
    explicit RefusingKeyStore(int allowedAdds) : _allowedAdds(allowedAdds) {}
    KeyStoreStatus add(const Bytes& tag, const KeyHandle& key) override {
        return _allowedAdds-- > 0 ? _inner->add(tag, key) : KeyStoreStatus::ioError;
    }
    KeyStoreLookup copyMatching(const Bytes& tag) override { return _inner->copyMatching(tag); }
    KeyStoreStatus remove(const Bytes& tag) override { return _inner->remove(tag); }

private:
    std::atomic<int> _allowedAdds;
    std::shared_ptr<KeyStore> _inner = KeyStore::makeInMemory();
};

struct Outcome {
    int calls = 0;
    ResultCode code = ResultCode::sdkTechnicalError;
    std::optional<Error> error;
    WorkflowCompletion completion() {
        return [this](ResultCode c, std::optional<Error> e) {
            ++calls;
            code = c;
            error = std::move(e);
        };
    }
};

class KeyHandlingWorkflowTest : public test::SdkTest {
protected:
    void SetUp() override {
        SdkTest::SetUp();
        auto sdk = makeSdk();
        test::Reported registered;
        sdk->registerAccount({kEmail, kPartnerId, false, std::nullopt}, registered.completion());
        ASSERT_TRUE(runUntil([&] { return registered.calls > 0; }));
        ASSERT_EQ(registered.code, 0);
    }

    Outcome runClient(Activation::RsaKeySize size = Activation::RsaKeySize::rsa1024) {
        Outcome outcome;
        _workflow->clientRsaKeyHandlingProcess(size, outcome.completion());
        EXPECT_TRUE(runUntil([&] { return outcome.calls > 0; }));
        _loop->runUntilIdle();
        EXPECT_EQ(outcome.calls, 1);
        return outcome;
    }

    Outcome runPartner(std::optional<std::string> publicPem, std::optional<std::string> privatePem = std::nullopt) {
        auto viewModel = activationData("unused");
        viewModel.partnerPublicKey = std::move(publicPem);
        viewModel.partnerPrivateKey = std::move(privatePem);
        Outcome outcome;
        _workflow->partnerKeyHandlingProcess(viewModel, outcome.completion());
        EXPECT_TRUE(runUntil([&] { return outcome.calls > 0; }));
        _loop->runUntilIdle();
        EXPECT_EQ(outcome.calls, 1);
        return outcome;
    }

    /// A workflow over this test's installation whose keys go to `keyStore`.
    std::shared_ptr<KeyHandlingWorkflow> workflowWith(std::shared_ptr<KeyStore> keyStore) {
        return std::make_shared<KeyHandlingWorkflow>(_appData, std::move(keyStore), serviceEnvironment());
    }

    std::shared_ptr<AppDataService> _appData = makeAppDataService();
    std::shared_ptr<KeyHandlingWorkflow> _workflow = workflowWith(_installation->keyStore());
};

TEST_F(KeyHandlingWorkflowTest, TheClientPairIsGeneratedUploadedAndStored) {
    const auto outcome = runClient(Activation::RsaKeySize::rsa2048);
    EXPECT_EQ(outcome.code, ResultCode::successfulOperation);
    EXPECT_FALSE(outcome.error);
    auto privateKey = _appData->getClientPrivateKey();
    auto publicKey = _appData->getClientPublicKey();
    ASSERT_TRUE(privateKey && publicKey);
    EXPECT_EQ(privateKey->sizeInBits(), 2048);
    EXPECT_TRUE(privateKey->samePublicKey(*publicKey));

    const auto uploads = _http->bodies("/updatekeys");
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].value("appUniqueId", ""), _appData->getAppUniqueId()->uuidString());
    auto uploaded = RsaKey::fromPem(uploads[0].value("pemPublicKeyString", ""));
    ASSERT_TRUE(uploaded);
    EXPECT_TRUE(uploaded->samePublicKey(*publicKey));
}

TEST_F(KeyHandlingWorkflowTest, ASecondClientRunLeavesOnlyTheSecondPairOnTheDeviceAndTheServer) {
    ASSERT_EQ(runClient().code, ResultCode::successfulOperation);
    const auto first = _appData->getClientPrivateKey();
    ASSERT_EQ(runClient().code, ResultCode::successfulOperation);
    const auto second = _appData->getClientPrivateKey();
    ASSERT_TRUE(first && second);
    EXPECT_FALSE(first->samePublicKey(*second));
    EXPECT_TRUE(_appData->getClientPublicKey()->samePublicKey(*second));

    // The server now seals for the second pair: its message opens with the stored key only.
    ASSERT_EQ(runPartner(std::nullopt).code, ResultCode::successfulOperation);
    const auto messageId = postMessage(*_appData->getAppUniqueId(), "sealed for the second pair");
    auto workflow = std::make_shared<VexaQrMessageWorkflow>(_appData, *_database, serviceEnvironment());
    test::ReportedMessages reported;
    workflow->getVexaQrMessageList({}, reported.completion());
    ASSERT_TRUE(runUntil([&] { return reported.calls > 0; }));
    ASSERT_EQ(reported.ids(), std::vector<std::string>{messageId});
    const auto& record = *reported.messages->front().processedVxaData;
    EXPECT_TRUE(record.isValid());
    ASSERT_TRUE(record.actualVxaData);
    EXPECT_EQ(std::string(record.actualVxaData->begin(), record.actualVxaData->end()), "sealed for the second pair");
    EXPECT_FALSE(
        VXAData(*reported.messages->front().vxaData, first, _appData->getPartnerPublicKey(), nullptr).actualVxaData);
}

TEST_F(KeyHandlingWorkflowTest, AnUploadRefusedWithAnotherCodeIsReportedWithTheServiceError) {
    fault("--endpoint", "/updatekeys", "--result-code", "14008", "--times", "1");
    const auto refused = runClient();
    EXPECT_EQ(refused.code, ResultCode::clientApplicationNotFound);
    EXPECT_FALSE(refused.error); // the service answered; it had no error

    fault("--endpoint", "/updatekeys", "--status", "503", "--times", "1");
    const auto failed = runClient();
    EXPECT_EQ(failed.code, ResultCode::unknownResultCode);
    ASSERT_TRUE(failed.error);
    EXPECT_NE(failed.error->domain, Constant::Application::errorDomain);
}

TEST_F(KeyHandlingWorkflowTest, AKeyStoreThatFailsAfterTheUploadGivesClientKeyPersistError) {
    // Generation keeps both halves (two adds); the two adds after the upload fail.
    _workflow = workflowWith(std::make_shared<RefusingKeyStore>(2));
    const auto outcome = runClient();
    EXPECT_EQ(outcome.code, ResultCode::clientKeyPersistError);
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(_http->count("/updatekeys"), 1u);
}

TEST_F(KeyHandlingWorkflowTest, AKeyStoreThatCannotKeepTheNewPairGivesClientKeyGenerationError) {
    _workflow = workflowWith(std::make_shared<RefusingKeyStore>(0));
    const auto outcome = runClient();
    EXPECT_EQ(outcome.code, ResultCode::clientKeyGenerationError);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(*outcome.error, Constant::Application::makeSdkError(ResultCode::clientKeyGenerationError));
    EXPECT_EQ(_http->count("/updatekeys"), 0u);
}

TEST_F(KeyHandlingWorkflowTest, WithoutAnInstallationIdNothingIsUploadedOrDownloaded) {
    _database->setAppUniqueId(std::nullopt);
    const auto client = runClient();
    EXPECT_EQ(client.code, ResultCode::clientKeyFormatError);
    EXPECT_EQ(*client.error, Constant::Application::makeSdkError(ResultCode::clientKeyFormatError));

    const auto partner = runPartner(std::nullopt);
    EXPECT_EQ(partner.code, ResultCode::unknownResultCode);
    EXPECT_EQ(*partner.error, Constant::Application::makeSdkError(ResultCode::unknownResultCode));
    EXPECT_EQ(_http->count("/updatekeys") + _http->count("/partnerkey"), 0u);
}

TEST_F(KeyHandlingWorkflowTest, AGivenPartnerKeyIsStoredWithoutADownload) {
    const auto outcome = runPartner(test::readTextFile(test::keyPath("partner2048.pub.pem")),
                                    test::readTextFile(test::keyPath("partner2048.key.pem")));
    EXPECT_EQ(outcome.code, ResultCode::successfulOperation);
    EXPECT_FALSE(outcome.error);
    EXPECT_TRUE(_appData->getPartnerPublicKey()->samePublicKey(*test::publicKey("partner", 2048)));
    EXPECT_TRUE(_appData->getPartnerPrivateKey()->isPrivate());
    EXPECT_EQ(_http->count("/partnerkey"), 0u);
}

TEST_F(KeyHandlingWorkflowTest, AnUnparsablePartnerKeyLeadsToTheDownload) {
    const auto outcome = runPartner(std::string("-----BEGIN PUBLIC KEY-----\nnot a key\n-----END PUBLIC KEY-----"));
    EXPECT_EQ(outcome.code, ResultCode::successfulOperation);
    EXPECT_EQ(_http->count("/partnerkey"), 1u);
    ASSERT_TRUE(_appData->getPartnerPublicKey() && _partnerPublicKey);
    EXPECT_TRUE(_appData->getPartnerPublicKey()->samePublicKey(*_partnerPublicKey));
}

TEST_F(KeyHandlingWorkflowTest, ADownloadedKeyWithCarriageReturnsIsStored) {
    std::string pem = test::readTextFile(test::keyPath("partner1024.pub.pem"));
    std::string crlf;
    for (char c : pem)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    fault("--endpoint", "/partnerkey", "--body", nlohmann::json{{"result", 0}, {"publicKey", crlf}}.dump());
    const auto outcome = runPartner(std::nullopt);
    EXPECT_EQ(outcome.code, ResultCode::successfulOperation);
    EXPECT_FALSE(outcome.error);
    ASSERT_TRUE(_appData->getPartnerPublicKey());
    EXPECT_TRUE(_appData->getPartnerPublicKey()->samePublicKey(*test::publicKey("partner", 1024)));
}

TEST_F(KeyHandlingWorkflowTest, ARefusedOrUnstorableDownloadIsReported) {
    fault("--endpoint", "/partnerkey", "--result-code", "14003", "--times", "1");
    const auto refused = runPartner(std::nullopt);
    EXPECT_EQ(refused.code, ResultCode::partnerNotFound);
    EXPECT_EQ(*refused.error, Constant::Application::makeSdkError(ResultCode::partnerNotFound));

    fault("--endpoint", "/partnerkey", "--body", R"({"result":0,"publicKey":"not a key"})", "--times", "1");
    const auto unstorable = runPartner(std::nullopt);
    EXPECT_EQ(unstorable.code, ResultCode::partnerKeyPersistError);
    EXPECT_FALSE(unstorable.error);
    EXPECT_FALSE(_appData->getPartnerPublicKey());

    fault("--endpoint", "/partnerkey", "--drop-field", "publicKey", "--times", "1");
    const auto withoutKey = runPartner(std::nullopt); // a success without the key stores nothing
    EXPECT_EQ(withoutKey.code, ResultCode::partnerKeyPersistError);
    ASSERT_TRUE(withoutKey.error);
    EXPECT_EQ(withoutKey.error->code, 110);
    EXPECT_FALSE(_appData->getPartnerPublicKey());

    fault("--endpoint", "/partnerkey", "--status", "500", "--times", "1");
    const auto failed = runPartner(std::nullopt);
    EXPECT_EQ(failed.code, ResultCode::unknownResultCode);
    EXPECT_EQ(*failed.error, Constant::Application::makeSdkError(ResultCode::unknownResultCode));
}

} // namespace
} // namespace vexaqr
