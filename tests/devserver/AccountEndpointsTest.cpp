// Registration, activation, keys and push registration on the devserver, driven by the SDK's own services.
#include "BackendTestSupport.hpp"

#include "account/service/GetNotificationId.hpp"
#include "account/service/GetPublicKeyOfPartner.hpp"
#include "account/service/RegisterPushNotification.hpp"
#include "account/service/VexaQrMessageIdList.hpp"

namespace vexaqr::test {
namespace {

using Constant::Application::rawValue;
using Constant::Application::ResultCode;

class AccountEndpointsTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        partner = makePartner("P1");
    }

    Installation newInstallation(const std::string& email = "user@example.com") {
        return Installation{Uuid::random().value().uuidString(), "P1", email, {}};
    }

    std::string codeFor(const std::string& email) {
        return admin("activation-code", "--partner-id", "P1", "--email", email);
    }

    Reply<VexaQrMessageIdList::ResponseModel> listMessages(const std::string& appUniqueId) {
        return call(&VexaQrMessageIdListService::getVexaQrMessageIdList,
                    VexaQrMessageIdList::RequestModel{.appUniqueId = appUniqueId});
    }

    PartnerKeys partner;
};

TEST_F(AccountEndpointsTest, RegisterThenActivateGivesOneUserIdAndTheCodeOnlyOnce) {
    const auto installation = newInstallation();
    const auto code = codeFor(installation.email);
    const auto registered = registerClient(installation);
    ASSERT_TRUE(registered.record) << registered.error->domain;
    EXPECT_EQ(registered.code(), 0);
    ASSERT_TRUE(registered.record->vxaUserId);

    const auto activated = activate(installation, code);
    EXPECT_EQ(activated.code(), 0);
    EXPECT_EQ(activated.record->vxaUserId, registered.record->vxaUserId);
    EXPECT_EQ(activate(installation, code).code(), rawValue(ResultCode::appAlreadyActivated));

    // The used code opens no second installation, even of the same user.
    const auto second = newInstallation();
    EXPECT_EQ(registerClient(second, true).code(), 0);
    EXPECT_EQ(activate(second, code).code(), rawValue(ResultCode::activationCodeIsInvalid));
}

TEST_F(AccountEndpointsTest, RegistrationWithACodeActivatesAtOnce) {
    const auto installation = newInstallation();
    EXPECT_EQ(registerClient(installation, false, codeFor(installation.email)).code(), 0);
    EXPECT_EQ(activate(installation, codeFor(installation.email)).code(), rawValue(ResultCode::appAlreadyActivated));
}

TEST_F(AccountEndpointsTest, RegistrationRefusals) {
    auto installation = newInstallation();
    installation.partnerId = "nobody";
    EXPECT_EQ(registerClient(installation).code(), rawValue(ResultCode::partnerNotFound));

    auto noEmail = newInstallation("");
    EXPECT_EQ(registerClient(noEmail).code(), rawValue(ResultCode::emailAddressOrVXaIdIsRequired));

    auto notUuid = newInstallation();
    notUuid.appUniqueId = "not-a-uuid";
    EXPECT_EQ(registerClient(notUuid).code(), rawValue(ResultCode::emailAddressOrVXaIdIsRequired));

    const auto twice = newInstallation();
    EXPECT_EQ(registerClient(twice).code(), 0);
    EXPECT_EQ(registerClient(twice, true).code(), rawValue(ResultCode::appAlreadyRegistered));
}

TEST_F(AccountEndpointsTest, AnInvalidCodeAtRegistrationStoresNothing) {
    const auto installation = newInstallation();
    EXPECT_EQ(registerClient(installation, false, std::string("WRONGCODE1")).code(),
              rawValue(ResultCode::activationCodeIsInvalid));
    EXPECT_EQ(activate(installation, codeFor(installation.email)).code(),
              rawValue(ResultCode::registrationNotFoundToActivate));
}

TEST_F(AccountEndpointsTest, ActivationRefusals) {
    const auto unknown = newInstallation();
    EXPECT_EQ(activate(unknown, codeFor(unknown.email)).code(), rawValue(ResultCode::registrationNotFoundToActivate));

    const auto installation = newInstallation();
    ASSERT_EQ(registerClient(installation).code(), 0);
    EXPECT_EQ(activate(installation, "NOSUCHCODE").code(), rawValue(ResultCode::activationCodeIsInvalid));
    // A code issued for someone else does not fit this user.
    EXPECT_EQ(activate(installation, codeFor("other@example.com")).code(),
              rawValue(ResultCode::activationCodeIsInvalid));
    makePartner("P2");
    EXPECT_EQ(
        activate(installation, admin("activation-code", "--partner-id", "P2", "--email", installation.email)).code(),
        rawValue(ResultCode::activationCodeIsInvalid));
}

TEST_F(AccountEndpointsTest, AnActiveUserElsewhereNeedsDeleteMyOtherRegistrations) {
    const auto first = activeInstallation("P1", "user@example.com");
    admin("message", "--app-id", first.appUniqueId, "--type", "signed", "--content", writeFile("c.json", "{}"));

    const auto second = newInstallation();
    EXPECT_EQ(registerClient(second, false).code(), rawValue(ResultCode::appAlreadyRegistered));
    EXPECT_EQ(listMessages(first.appUniqueId).code(), 0) << "a refused registration removed nothing";

    EXPECT_EQ(registerClient(second, true).code(), 0);
    EXPECT_EQ(listMessages(first.appUniqueId).code(), rawValue(ResultCode::clientApplicationNotFound));
    EXPECT_EQ(listMessages(second.appUniqueId).code(), 0);
    EXPECT_TRUE(listMessages(second.appUniqueId).record->vxaMessageIdList->empty());
}

TEST_F(AccountEndpointsTest, PendingRegistrationsOfTheSameUserDoNotBlockANewOne) {
    EXPECT_EQ(registerClient(newInstallation()).code(), 0);
    EXPECT_EQ(registerClient(newInstallation()).code(), 0);
}

TEST_F(AccountEndpointsTest, PartnerKeyIsThePartnersPublicKey) {
    const auto installation = activeInstallation("P1", "user@example.com");
    const auto reply = call(&GetPublicKeyOfPartnerService::getPublicKeyOfPartner,
                            GetPublicKeyOfPartner::RequestModel{.appUniqueId = installation.appUniqueId});
    EXPECT_EQ(reply.code(), 0);
    ASSERT_TRUE(reply.record->publicKey);
    const auto key = RsaKey::fromPem(*reply.record->publicKey);
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->samePublicKey(*partner.privateKey));
}

TEST_F(AccountEndpointsTest, UnknownInstallationsAreClientApplicationNotFound) {
    const std::string unknown = Uuid::random().value().uuidString();
    const auto code = rawValue(ResultCode::clientApplicationNotFound);
    EXPECT_EQ(call(&UpdateKeysService::updateKeys,
                   UpdateKeys::RequestModel{.appUniqueId = unknown, .pemPublicKeyString = partner.publicKeyPem})
                  .code(),
              code);
    EXPECT_EQ(call(&GetPublicKeyOfPartnerService::getPublicKeyOfPartner,
                   GetPublicKeyOfPartner::RequestModel{.appUniqueId = unknown})
                  .code(),
              code);
    EXPECT_EQ(listMessages(unknown).code(), code);
    EXPECT_EQ(listMessages("not-a-uuid").code(), code);
}

TEST_F(AccountEndpointsTest, UpdateKeysRefusesTextThatIsNoKey) {
    auto installation = activeInstallation("P1", "user@example.com");
    EXPECT_EQ(call(&UpdateKeysService::updateKeys,
                   UpdateKeys::RequestModel{.appUniqueId = installation.appUniqueId, .pemPublicKeyString = "garbage"})
                  .code(),
              rawValue(ResultCode::serverTechnicalError));
}

TEST_F(AccountEndpointsTest, NotificationIdIsStablePerHandleAndPushRegistrationChecksIt) {
    const auto installation = activeInstallation("P1", "user@example.com");
    auto getId = [&](const std::string& partnerId, const std::string& handle) {
        return call(&GetNotificationIdService::getNotificationId,
                    GetNotificationId::RequestModel{.partnerId = partnerId, .handle = handle});
    };
    const auto first = getId("P1", "0aff");
    ASSERT_EQ(first.code(), 0);
    ASSERT_TRUE(first.record->notificationId);
    EXPECT_EQ(getId("P1", "0aff").record->notificationId, first.record->notificationId);
    EXPECT_NE(getId("P1", "0b00").record->notificationId, first.record->notificationId);
    EXPECT_EQ(getId("nobody", "0aff").code(), rawValue(ResultCode::partnerNotFound));
    EXPECT_EQ(getId("P1", "").code(), rawValue(ResultCode::emailAddressOrVXaIdIsRequired));

    auto registerPush = [&](const std::string& notificationId, const std::string& handle) {
        return call(&RegisterPushNotificationService::registerPushNotification,
                    RegisterPushNotification::RequestModel{.partnerId = "P1",
                                                           .appUniqueId = installation.appUniqueId,
                                                           .notificationId = notificationId,
                                                           .handle = handle});
    };
    EXPECT_EQ(registerPush(*first.record->notificationId, "0aff").code(), 0);
    EXPECT_EQ(registerPush(*first.record->notificationId, "0b00").code(),
              rawValue(ResultCode::partnerOrIssuerNotFound));
    EXPECT_EQ(registerPush("made-up", "0aff").code(), rawValue(ResultCode::partnerOrIssuerNotFound));
}

} // namespace
} // namespace vexaqr::test
