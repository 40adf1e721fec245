#include "ServiceTestSupport.hpp"

#include "account/service/Activation.hpp"
#include "account/service/DeleteAllVexaQrMessage.hpp"
#include "account/service/DeleteVexaQrMessage.hpp"
#include "account/service/GetNotificationId.hpp"
#include "account/service/GetPublicKeyOfPartner.hpp"
#include "account/service/RegisterPushNotification.hpp"
#include "account/service/Registration.hpp"
#include "account/service/UpdateKeys.hpp"
#include "account/service/VexaQrMessage.hpp"
#include "account/service/VexaQrMessageIdList.hpp"

namespace vexaqr::test {
namespace {

constexpr const char* kAppId = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

template <class Completion> struct CompletionModel;
template <class Model> struct CompletionModel<ServiceCompletion<Model>> { using type = Model; };

class OperationsTest : public ServiceTest {
protected:
    // Calls `method` on a new service of type Service and returns what its completion received.
    template <class Service, class Request, class Method> auto call(Method method, const Request& request) {
        auto service = makeService<Service>();
        Received<typename CompletionModel<typename Service::Completion>::type> received;
        ((*service).*method)(request, recordInto(received));
        EXPECT_TRUE(runUntilCalled(received));
        return received;
    }

    // The last request the server saw must be a JSON POST to `path` with exactly `body` (compact, keys sorted).
    void expectLastRequest(const std::string& path, const std::string& body) {
        const auto requests = server.requests();
        ASSERT_FALSE(requests.empty());
        const auto& request = requests.back();
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.path, "/api/v1/client" + path);
        EXPECT_EQ(request.headers.find("Content-Type")->second, "application/json; charset=utf-8");
        EXPECT_EQ(request.headers.count("Content-Type"), 1u);
        EXPECT_EQ(request.body, body);
    }
};

TEST_F(OperationsTest, RegistrationSendsFourMembersOrFiveWithAnActivationCode) {
    call<RegistrationService>(&RegistrationService::registerAccount,
                              Registration::RequestModel{"a@b.example", "P1", true, std::nullopt, kAppId});
    expectLastRequest("/registerclient", std::string(R"({"appUniqueId":")") + kAppId +
                                             R"(","deleteMyOtherRegistrations":true,"emailAddress":"a@b.example",)"
                                             R"("partnerId":"P1"})");
    call<RegistrationService>(&RegistrationService::registerAccount,
                              Registration::RequestModel{"a@b.example", "P1", false, "CODE", kAppId});
    expectLastRequest("/registerclient", std::string(R"({"activationCode":"CODE","appUniqueId":")") + kAppId +
                                             R"(","deleteMyOtherRegistrations":false,"emailAddress":"a@b.example",)"
                                             R"("partnerId":"P1"})");
}

TEST_F(OperationsTest, EveryOtherOperationSendsItsMembersToItsEndpoint) {
    call<ActivationService>(&ActivationService::activateAccount, Activation::RequestModel{"CODE", "APP"});
    expectLastRequest("/activateclient", R"({"activationCode":"CODE","appUniqueId":"APP"})");

    call<UpdateKeysService>(&UpdateKeysService::updateKeys, UpdateKeys::RequestModel{"APP", "-----BEGIN\nK"});
    expectLastRequest("/updatekeys", R"({"appUniqueId":"APP","pemPublicKeyString":"-----BEGIN\nK"})");

    call<GetPublicKeyOfPartnerService>(&GetPublicKeyOfPartnerService::getPublicKeyOfPartner,
                                       GetPublicKeyOfPartner::RequestModel{"APP"});
    expectLastRequest("/partnerkey", R"({"appUniqueId":"APP"})");

    call<GetNotificationIdService>(&GetNotificationIdService::getNotificationId,
                                   GetNotificationId::RequestModel{"P1", "0a0b"});
    expectLastRequest("/push/getid", R"({"handle":"0a0b","partnerId":"P1"})");

    call<RegisterPushNotificationService>(&RegisterPushNotificationService::registerPushNotification,
                                          RegisterPushNotification::RequestModel{"P1", "APP", "N7", "0a0b"});
    expectLastRequest("/push/register",
                      R"({"appUniqueId":"APP","handle":"0a0b","notificationId":"N7","partnerId":"P1","platform":"1"})");

    call<VexaQrMessageIdListService>(&VexaQrMessageIdListService::getVexaQrMessageIdList,
                                     VexaQrMessageIdList::RequestModel{"APP"});
    expectLastRequest("/getvxalist", R"({"appUniqueId":"APP"})");

    call<DeleteAllVexaQrMessageService>(&DeleteAllVexaQrMessageService::deleteAllVexaQrMessage,
                                        DeleteAllVexaQrMessage::RequestModel{"APP"});
    expectLastRequest("/deleteallvxa", R"({"appUniqueId":"APP"})");
}

TEST_F(OperationsTest, MessageIdEndsTheAddressAndTravelsInTheBodyOnlyWhenFetching) {
    call<VexaQrMessageService>(&VexaQrMessageService::getVexaQrMessage, VexaQrMessage::RequestModel{"APP", "m-42"});
    expectLastRequest("/getvxa/m-42", R"({"activationCode":"m-42","appUniqueId":"APP"})");

    call<DeleteVexaQrMessageService>(&DeleteVexaQrMessageService::deleteVexaQrMessage,
                                     DeleteVexaQrMessage::RequestModel{"APP", "m-42"});
    expectLastRequest("/deletevxa/m-42", R"({"appUniqueId":"APP"})");
}

TEST_F(OperationsTest, RepliesAreDecodedIntoEachOperationsRecord) {
    server.setHandler(LoopbackServer::reply(200, R"({"result": 0, "vxaUserId": 17, "publicKey": "PEM\n",
        "notificationId": "N7", "vxaMessageIdList": ["a", "b"], "vxaData": "AAEC", "vxaInfo": "i",
        "vxaTemplate": "t"})"));

    const auto registration = call<RegistrationService>(&RegistrationService::registerAccount,
                                                        Registration::RequestModel{"e", "p", false, {}, "APP"});
    ASSERT_TRUE(registration.record);
    EXPECT_EQ(registration.record->vxaUserId, 17);
    const auto activation =
        call<ActivationService>(&ActivationService::activateAccount, Activation::RequestModel{"C", "APP"});
    ASSERT_TRUE(activation.record);
    EXPECT_EQ(activation.record->vxaUserId, 17);
    const auto partnerKey = call<GetPublicKeyOfPartnerService>(&GetPublicKeyOfPartnerService::getPublicKeyOfPartner,
                                                               GetPublicKeyOfPartner::RequestModel{"APP"});
    ASSERT_TRUE(partnerKey.record);
    EXPECT_EQ(partnerKey.record->publicKey, "PEM\n");
    const auto notification = call<GetNotificationIdService>(&GetNotificationIdService::getNotificationId,
                                                             GetNotificationId::RequestModel{"p", "h"});
    ASSERT_TRUE(notification.record);
    EXPECT_EQ(notification.record->notificationId, "N7");
    const auto list = call<VexaQrMessageIdListService>(&VexaQrMessageIdListService::getVexaQrMessageIdList,
                                                       VexaQrMessageIdList::RequestModel{"APP"});
    ASSERT_TRUE(list.record);
    EXPECT_EQ(list.record->vxaMessageIdList, (std::vector<std::string>{"a", "b"}));
    const auto message =
        call<VexaQrMessageService>(&VexaQrMessageService::getVexaQrMessage, VexaQrMessage::RequestModel{"APP", "m"});
    ASSERT_TRUE(message.record);
    EXPECT_EQ(message.record->vxaData, (Bytes{0x00, 0x01, 0x02}));
    EXPECT_EQ(message.record->vxaInfo, "i");
    EXPECT_EQ(message.record->vxaTemplate, "t");

    const auto push = call<RegisterPushNotificationService>(&RegisterPushNotificationService::registerPushNotification,
                                                            RegisterPushNotification::RequestModel{});
    const auto keys = call<UpdateKeysService>(&UpdateKeysService::updateKeys, UpdateKeys::RequestModel{});
    const auto deleteOne = call<DeleteVexaQrMessageService>(&DeleteVexaQrMessageService::deleteVexaQrMessage,
                                                            DeleteVexaQrMessage::RequestModel{"APP", "m"});
    const auto deleteAll = call<DeleteAllVexaQrMessageService>(&DeleteAllVexaQrMessageService::deleteAllVexaQrMessage,
                                                               DeleteAllVexaQrMessage::RequestModel{});
    const auto expectResultCodeZero = [](const auto& received) {
        ASSERT_TRUE(received.record);
        EXPECT_EQ(received.record->resultCode, 0);
    };
    expectResultCodeZero(push);
    expectResultCodeZero(keys);
    expectResultCodeZero(deleteOne);
    expectResultCodeZero(deleteAll);
}

TEST_F(OperationsTest, ServicesAreUsableThroughTheirProtocols) {
    std::shared_ptr<DeleteVexaQrMessageServiceProtocol> service = makeService<DeleteVexaQrMessageService>();
    Received<DeleteVexaQrMessage::ResponseModel> received;
    service->deleteVexaQrMessage({"APP", "x"}, recordInto(received));
    ASSERT_TRUE(runUntilCalled(received));
    EXPECT_TRUE(received.record);
    EXPECT_EQ(server.requests().back().path, "/api/v1/client/deletevxa/x");
}

} // namespace
} // namespace vexaqr::test
