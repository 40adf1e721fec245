// The post-activation chain against the devserver's backend and hub: which step failures stop it,
// which do not, and what each push step sends.
#include "sdk/SdkTestSupport.hpp"

namespace vexaqr {
namespace {

using Constant::Application::ResultCode;
using test::kEmail;
using test::kPartnerId;
using test::Reported;
using State = VexaQrSDKRegistrationState;

class PostActivationWorkflowTest : public test::SdkTest {
protected:
    Reported activateRegistered() {
        Reported registered;
        _sdk->registerAccount({kEmail, kPartnerId, false, std::nullopt}, registered.completion());
        EXPECT_TRUE(runUntil([&] { return registered.calls > 0; }));
        Reported reported;
        _sdk->activateAccount(activationData(activationCode()), reported.completion());
        EXPECT_TRUE(runUntil([&] { return reported.calls > 0; }));
        _loop->runUntilIdle();
        EXPECT_EQ(reported.calls, 1);
        return reported;
    }

    std::unique_ptr<VexaQrSDK> _sdk = makeSdk();
};

TEST(NotificationWorkflowHandleTest, TheHandleIsTheTokenInLowerCaseHex) {
    EXPECT_EQ(NotificationWorkflow::deviceTokenHandle(Bytes{0x0A, 0xFF}), "0aff");
    EXPECT_EQ(NotificationWorkflow::deviceTokenHandle(Bytes{}), "");
    std::string expected;
    for (int i = 0; i < 32; ++i)
        expected += "c3";
    EXPECT_EQ(NotificationWorkflow::deviceTokenHandle(Bytes(32, 0xC3)), expected); // 64 characters
}

TEST_F(PostActivationWorkflowTest, AWholeChainSendsTheHandleAndRegistersAtTheHub) {
    const auto reported = activateRegistered();
    EXPECT_EQ(reported.code, 0);
    EXPECT_FALSE(reported.error);
    EXPECT_EQ(_sdk->getRegistrationState(), State::active);
    const auto idRequests = _http->bodies("/push/getid");
    ASSERT_EQ(idRequests.size(), 1u);
    EXPECT_EQ(idRequests[0].value("handle", ""), "0aff1020");
    EXPECT_EQ(idRequests[0].value("partnerId", ""), kPartnerId);
    const auto registrations = _http->bodies("/push/register");
    ASSERT_EQ(registrations.size(), 1u);
    EXPECT_EQ(registrations[0].value("handle", ""), "0aff1020");
    EXPECT_EQ(registrations[0].value("platform", ""), "1");
    EXPECT_EQ(registrations[0].value("appUniqueId", ""), _sdk->appDataService()->getAppUniqueId()->uuidString());
    EXPECT_GE(_http->count("/Registrations/"), 1u); // the native registration's PUT at the hub
}

TEST_F(PostActivationWorkflowTest, KeysTheBackendAlreadyHasDoNotStopTheChain) {
    fault("--endpoint", "/updatekeys", "--result-code", "14001");
    const auto reported = activateRegistered();
    EXPECT_EQ(reported.code, 0);
    EXPECT_EQ(_sdk->getRegistrationState(), State::active);
    EXPECT_EQ(_http->count("/partnerkey"), 1u);
}

TEST_F(PostActivationWorkflowTest, AnyOtherKeyFailureStopsTheChainBeforeThePartnerStep) {
    fault("--endpoint", "/updatekeys", "--result-code", "14900");
    const auto reported = activateRegistered();
    EXPECT_EQ(reported.code, 14900);
    EXPECT_EQ(_sdk->getRegistrationState(), State::pending);
    EXPECT_EQ(_http->count("/partnerkey"), 0u);
}

TEST_F(PostActivationWorkflowTest, ASuccessWithoutNotificationIdSkipsThePushRegistrationButNotTheHub) {
    fault("--endpoint", "/push/getid", "--body", R"({"result":0})");
    const auto reported = activateRegistered();
    EXPECT_EQ(reported.code, 0);
    EXPECT_EQ(_sdk->getRegistrationState(), State::active);
    EXPECT_EQ(_http->count("/push/register"), 0u);
    EXPECT_GE(_http->count("/Registrations/"), 1u);
}

TEST_F(PostActivationWorkflowTest, APushRegistrationFailureEndsTheChainWithItsCode) {
    fault("--endpoint", "/push/register", "--status", "500");
    const auto reported = activateRegistered();
    EXPECT_EQ(reported.code, rawValue(ResultCode::unknownResultCode));
    EXPECT_TRUE(reported.error);
    EXPECT_EQ(_sdk->getRegistrationState(), State::pending);
    EXPECT_EQ(_http->count("/Registrations/"), 0u);
}

TEST_F(PostActivationWorkflowTest, AHubErrorGivesHubSetupErrorAndNoActiveState) {
    fault("--endpoint", "/hub", "--status", "500");
    const auto reported = activateRegistered();
    EXPECT_EQ(reported.code, rawValue(ResultCode::hubSetupError));
    ASSERT_TRUE(reported.error);
    EXPECT_EQ(reported.error->domain, "NotificationHubClient");
    EXPECT_EQ(_sdk->getRegistrationState(), State::pending);
}

TEST_F(PostActivationWorkflowTest, AnUnusableConnectionStringGivesHubSetupError) {
    auto workflow = std::make_shared<NotificationWorkflow>(makeAppDataService(), serviceEnvironment());
    auto viewModel = activationData("unused");
    viewModel.notificationHubConnectionString = "no endpoint here";
    int calls = 0;
    ResultCode code = ResultCode::successfulOperation;
    std::optional<Error> error;
    workflow->updateHubData(viewModel, [&](ResultCode c, std::optional<Error> e) {
        ++calls;
        code = c;
        error = std::move(e);
    });
    _loop->runUntilIdle();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(code, ResultCode::hubSetupError);
    EXPECT_EQ(error, Constant::Application::makeSdkError(ResultCode::hubSetupError));
}

TEST_F(PostActivationWorkflowTest, APushRegistrationWithoutInstallationIdFailsOnceAndSendsNothing) {
    auto workflow = std::make_shared<NotificationWorkflow>(makeAppDataService(), serviceEnvironment());
    int calls = 0;
    ResultCode code = ResultCode::successfulOperation;
    workflow->notificationHandlingProcess(activationData("unused"), [&](ResultCode c, std::optional<Error>) {
        ++calls;
        code = c;
    });
    ASSERT_TRUE(runUntil([&] { return calls > 0; }));
    _loop->runUntilIdle();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(code, ResultCode::unknownResultCode);
    EXPECT_EQ(_http->count("/push/getid"), 1u);
    EXPECT_EQ(_http->count("/push/register"), 0u);
}

} // namespace
} // namespace vexaqr
