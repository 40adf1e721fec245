// The facade end to end against the devserver: every state transition and every "unchanged", and
// what is (and is not) sent on the way.
#include "sdk/SdkTestSupport.hpp"

namespace vexaqr {
namespace {

using test::kEmail;
using test::kPartnerId;
using test::Reported;
using State = VexaQrSDKRegistrationState;

class VexaQrSDKTest : public test::SdkTest {
protected:
    std::optional<std::int64_t> registerOnly(const std::string& email = kEmail) {
        Reported reported;
        _sdk->registerAccount({email, kPartnerId, false, std::nullopt}, reported.completion());
        EXPECT_TRUE(runUntil([&] { return reported.calls > 0; }));
        EXPECT_EQ(reported.calls, 1);
        return reported.code;
    }

    Reported activate(const std::string& code) {
        Reported reported;
        _sdk->activateAccount(activationData(code), reported.completion());
        EXPECT_TRUE(runUntil([&] { return reported.calls > 0; }));
        return reported;
    }

    std::string sentAppUniqueId(std::size_t registration) {
        auto bodies = _http->bodies("/registerclient");
        return registration < bodies.size() ? bodies[registration].value("appUniqueId", "") : "";
    }

    std::unique_ptr<VexaQrSDK> _sdk = makeSdk();
};

TEST_F(VexaQrSDKTest, RegistrationWithoutActivationDataIsPending) {
    EXPECT_EQ(_sdk->getRegistrationState(), State::initial);
    EXPECT_EQ(registerOnly(), 0);
    EXPECT_EQ(_sdk->getRegistrationState(), State::pending);
    EXPECT_EQ(_sdk->getUserEmail(), kEmail);
    EXPECT_TRUE(_sdk->getVexaQrUserId());
    const auto stored = _sdk->appDataService()->getAppUniqueId();
    ASSERT_TRUE(stored);
    EXPECT_EQ(sentAppUniqueId(0), stored->uuidString()); // upper-case canonical text
    EXPECT_EQ(_http->count("/updatekeys"), 0u);
}

TEST_F(VexaQrSDKTest, EveryRegistrationSendsANewIdThatIsStoredEvenWhenItFails) {
    ASSERT_EQ(registerOnly(), 0);
    fault("--endpoint", "/registerclient", "--status", "500", "--times", "1");
    Reported reported;
    _sdk->registerAccount({kEmail, kPartnerId, true, std::nullopt}, reported.completion());
    ASSERT_TRUE(runUntil([&] { return reported.calls > 0; }));

    EXPECT_FALSE(reported.code); // no response at all
    EXPECT_TRUE(reported.error);
    EXPECT_NE(sentAppUniqueId(0), sentAppUniqueId(1));
    EXPECT_EQ(_sdk->appDataService()->getAppUniqueId()->uuidString(), sentAppUniqueId(1));
    EXPECT_EQ(_sdk->getRegistrationState(), State::initial);
}

TEST_F(VexaQrSDKTest, ARefusedRegistrationReportsTheBackendCodeAndFallsBackToInitial) {
    ASSERT_EQ(registerOnly(), 0);
    fault("--endpoint", "/registerclient", "--result-code", "14105");
    EXPECT_EQ(registerOnly(), 14105);
    EXPECT_EQ(_sdk->getRegistrationState(), State::initial);
}

TEST_F(VexaQrSDKTest, ARegistrationWithoutUserIdKeepsTheEarlierOne) {
    ASSERT_EQ(registerOnly("first@example.org"), 0);
    const auto firstUserId = _sdk->getVexaQrUserId();
    ASSERT_TRUE(firstUserId);
    fault("--endpoint", "/registerclient", "--body", R"({"result":0})");
    EXPECT_EQ(registerOnly("second@example.org"), 0);
    EXPECT_EQ(_sdk->getUserEmail(), "second@example.org");
    EXPECT_EQ(_sdk->getVexaQrUserId(), firstUserId);
    EXPECT_EQ(_sdk->getRegistrationState(), State::pending);
}

TEST_F(VexaQrSDKTest, RegistrationWithActivationDataRunsTheChainAndBecomesActive) {
    const auto code = activationCode();
    Reported reported;
    _sdk->registerAccount({kEmail, kPartnerId, false, activationData(code)}, reported.completion());
    ASSERT_TRUE(runUntil([&] { return reported.calls > 0; }));
    EXPECT_EQ(reported.code, 0);
    EXPECT_FALSE(reported.error);
    EXPECT_EQ(_sdk->getRegistrationState(), State::active);
    EXPECT_EQ(_http->bodies("/registerclient").at(0).value("activationCode", ""), code);
    auto appData = _sdk->appDataService();
    EXPECT_TRUE(appData->getClientPrivateKey());
    EXPECT_TRUE(appData->getPartnerPublicKey());
    for (const char* step : {"/updatekeys", "/partnerkey", "/push/getid", "/push/register"})
        EXPECT_EQ(_http->count(step), 1u) << step;
    // The keys and the hub's registration are kept in the installation the facade was given.
    EXPECT_TRUE(_installation->keychain().getRsaKey(
        KeychainWrapper::keyTag(Activation::KeyOwner::clientKey, Activation::KeyType::privateKey)));
    EXPECT_EQ(_installation->userDefaults()
                  ->stringArrayForKey("hub-1-registrations")
                  .value_or(std::vector<std::string>{})
                  .size(),
              1u);
}

TEST_F(VexaQrSDKTest, ActivationAfterRegistrationBecomesActive) {
    ASSERT_EQ(registerOnly(), 0);
    auto reported = activate(activationCode());
    EXPECT_EQ(reported.code, 0);
    EXPECT_FALSE(reported.error);
    EXPECT_EQ(_sdk->getRegistrationState(), State::active);
}

TEST_F(VexaQrSDKTest, ARefusedActivationLeavesPendingAndRunsNoChain) {
    ASSERT_EQ(registerOnly(), 0);
    auto reported = activate("NOT-A-CODE");
    ASSERT_TRUE(reported.code);
    EXPECT_NE(*reported.code, 0);
    EXPECT_EQ(_sdk->getRegistrationState(), State::pending);
    EXPECT_EQ(_http->count("/updatekeys"), 0u);
}

TEST_F(VexaQrSDKTest, AFailedChainLeavesTheStateAsItWas) {
    ASSERT_EQ(registerOnly(), 0);
    fault("--endpoint", "/push/getid", "--result-code", "14900");
    auto reported = activate(activationCode());
    EXPECT_EQ(reported.code, 14900);
    EXPECT_EQ(_sdk->getRegistrationState(), State::pending);

    // A registration with activation data whose chain fails keeps the state too.
    EXPECT_EQ(registerAndActivate(*_sdk, "second@example.org"), 14900);
    EXPECT_EQ(_sdk->getRegistrationState(), State::pending);
}

TEST_F(VexaQrSDKTest, ASuccessWithoutThePartnerKeyFailsTheActivationAndKeepsTheState) {
    ASSERT_EQ(registerOnly(), 0);
    fault("--endpoint", "/partnerkey", "--result-code", "0", "--times", "1");
    auto reported = activate(activationCode());
    EXPECT_EQ(reported.code, 110); // partnerKeyPersistError
    ASSERT_TRUE(reported.error);
    EXPECT_EQ(reported.error->domain, "VXASDK");
    EXPECT_EQ(_sdk->getRegistrationState(), State::pending);
    EXPECT_FALSE(_sdk->appDataService()->getPartnerPublicKey());
    EXPECT_EQ(_http->count("/push/getid"), 0u); // the chain stopped there
}

TEST_F(VexaQrSDKTest, OperationsThatNeedAnInstallationReportAtOnceAndSendNothing) {
    Reported activation;
    _sdk->activateAccount(activationData("CODE"), activation.completion());
    EXPECT_EQ(activation.calls, 1); // before the call returned
    EXPECT_FALSE(activation.code);
    EXPECT_FALSE(activation.error);

    int deletions = 0;
    _sdk->deleteVexaQrMessage({"m1"}, [&](auto response, auto error) { deletions += !response && !error ? 1 : 100; });
    _sdk->deleteAllVexaQrMessage({}, [&](auto response, auto error) { deletions += !response && !error ? 1 : 100; });
    EXPECT_EQ(deletions, 2);

    _loop->runUntilIdle();
    EXPECT_EQ(activation.calls, 1);
    EXPECT_TRUE(_http->urls().empty());
    EXPECT_FALSE(_sdk->appDataService()->getAppUniqueId()); // activation never makes an id
}

TEST_F(VexaQrSDKTest, SetupStoresThePartnerPairOnlyWhenBothHalvesAreGiven) {
    const auto publicPem = test::readTextFile(test::keyPath("partner1024.pub.pem"));
    const auto privatePem = test::readTextFile(test::keyPath("partner1024.key.pem"));
    auto appData = _sdk->appDataService();

    _sdk->setup(std::nullopt, publicPem, std::nullopt);
    EXPECT_FALSE(appData->getPartnerPublicKey());
    _sdk->setup(std::nullopt, std::nullopt, privatePem);
    EXPECT_FALSE(appData->getPartnerPrivateKey());

    _sdk->setup(Url::fromString("http://127.0.0.1:9/other"), publicPem, privatePem);
    ASSERT_TRUE(appData->getPartnerPublicKey());
    EXPECT_TRUE(appData->getPartnerPublicKey()->samePublicKey(*test::publicKey("partner", 1024)));
    ASSERT_TRUE(appData->getPartnerPrivateKey());
    EXPECT_TRUE(appData->getPartnerPrivateKey()->isPrivate());
    EXPECT_EQ(_urlProvider->apiBaseUrl(), "http://127.0.0.1:9/other");
}

TEST_F(VexaQrSDKTest, LogoutForgetsEverythingAndSendsNothing) {
    ASSERT_EQ(registerAndActivate(*_sdk), 0);
    _database->replaceVxaMessageCache({{Bytes{1}, std::nullopt, std::nullopt, std::string("m")}});
    const auto sent = _http->urls().size();

    _sdk->logout();

    EXPECT_EQ(_http->urls().size(), sent);
    EXPECT_EQ(_sdk->getRegistrationState(), State::initial);
    EXPECT_FALSE(_sdk->getUserEmail());
    EXPECT_FALSE(_sdk->getVexaQrUserId());
    auto appData = _sdk->appDataService();
    EXPECT_FALSE(appData->getAppUniqueId());
    EXPECT_FALSE(appData->getClientPrivateKey());
    EXPECT_FALSE(appData->getClientPublicKey());
    EXPECT_FALSE(appData->getPartnerPublicKey());
    EXPECT_TRUE(_database->getCachedVxaMessages()->empty());
}

TEST_F(VexaQrSDKTest, AStoredStateOutsideTheEnumerationReadsInitial) {
    _database->setRegistrationState(7);
    EXPECT_EQ(_sdk->getRegistrationState(), State::initial);
    _database->setRegistrationState(2);
    EXPECT_EQ(_sdk->getRegistrationState(), State::active);
}

TEST_F(VexaQrSDKTest, DeletionsGoToTheBackendAndLeaveTheCache) {
    ASSERT_EQ(registerAndActivate(*_sdk), 0);
    const auto appUniqueId = *_sdk->appDataService()->getAppUniqueId();
    const auto first = postMessage(appUniqueId, "one");
    postMessage(appUniqueId, "two");
    test::ReportedMessages before;
    _sdk->getVexaQrMessages({}, before.completion());
    ASSERT_TRUE(runUntil([&] { return before.calls > 0; }));
    ASSERT_EQ(before.ids().size(), 2u);

    std::optional<std::int64_t> deleted;
    _sdk->deleteVexaQrMessage({first}, [&](auto response, auto) { deleted = response ? response->resultCode : -7; });
    ASSERT_TRUE(runUntil([&] { return deleted.has_value(); }));
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(_http->bodies("/deletevxa").at(0).value("appUniqueId", ""), appUniqueId.uuidString());
    EXPECT_EQ(_database->getCachedVxaMessages()->size(), 2u);

    test::ReportedMessages after;
    _sdk->getVexaQrMessages({}, after.completion());
    ASSERT_TRUE(runUntil([&] { return after.calls > 0; }));
    EXPECT_EQ(after.ids().size(), 1u);

    std::optional<std::int64_t> deletedAll;
    _sdk->deleteAllVexaQrMessage({}, [&](auto response, auto) { deletedAll = response ? response->resultCode : -7; });
    ASSERT_TRUE(runUntil([&] { return deletedAll.has_value(); }));
    EXPECT_EQ(deletedAll, 0);
    EXPECT_EQ(_database->getCachedVxaMessages()->size(), 1u);
}

} // namespace
} // namespace vexaqr

namespace vexaqr {
namespace {

// Keeps the completion it is given, so that the test decides when (and after what) the answer comes.
class HeldRegistrationService final : public RegistrationServiceProtocol {
public:
    void registerAccount(const Registration::RequestModel&, Completion completion) override {
        held = std::move(completion);
    }
    Completion held;
};

TEST(VexaQrSDKLifetimeTest, AnAnswerAfterTheFacadeIsGoneGivesAnEmptyReportAndStoresNothing) {
    test::TempDirectory directory;
    auto installation = Installation::inDirectory(directory.path());
    DatabaseWrapper& database = installation->database();
    auto service = std::make_shared<HeldRegistrationService>();
    test::Reported reported;
    {
        VexaQrSDK sdk({nullptr, nullptr, std::make_shared<RunLoop>(), installation, nullptr});
        sdk.setRegistrationService(service);
        sdk.registerAccount({"gone@example.org", "P", false, std::nullopt}, reported.completion());
    }
    ASSERT_TRUE(service->held);
    Registration::ResponseModel accepted;
    accepted.resultCode = 0;
    accepted.vxaUserId = 99;
    service->held(accepted, std::nullopt);

    EXPECT_EQ(reported.calls, 1);
    EXPECT_FALSE(reported.code);
    EXPECT_FALSE(reported.error);
    EXPECT_FALSE(database.settings().userEmailAddress);
    EXPECT_FALSE(database.settings().registrationState);
}

} // namespace
} // namespace vexaqr
