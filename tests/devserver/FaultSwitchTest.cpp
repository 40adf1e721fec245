// The fault switches: a backend that misbehaves on purpose, seen through the SDK's own services.
#include "BackendTestSupport.hpp"

#include "account/service/GetNotificationId.hpp"
#include "account/service/VexaQrMessage.hpp"
#include "account/service/VexaQrMessageIdList.hpp"

namespace vexaqr::test {
namespace {

using Constant::Application::rawValue;
using Constant::Application::ResultCode;

class FaultSwitchTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        makePartner("P1");
        installation = activeInstallation("P1", "user@example.com");
        messageId = admin("message", "--app-id", installation.appUniqueId, "--type", "signed", "--content",
                          writeFile("c.json", "{}"));
    }

    Reply<VexaQrMessage::ResponseModel> fetch() {
        return call(&VexaQrMessageService::getVexaQrMessage,
                    VexaQrMessage::RequestModel{.appUniqueId = installation.appUniqueId, .vxaMessageId = messageId});
    }

    Reply<VexaQrMessageIdList::ResponseModel> list() {
        return call(&VexaQrMessageIdListService::getVexaQrMessageIdList,
                    VexaQrMessageIdList::RequestModel{.appUniqueId = installation.appUniqueId});
    }

    Installation installation;
    std::string messageId;
};

TEST_F(FaultSwitchTest, AStatusFaultFailsTheDownloadForTheGivenNumberOfTimes) {
    admin("fault", "--endpoint", "/getvxa", "--status", "500", "--times", "2");
    for (int i = 0; i < 2; ++i) {
        const auto failed = fetch();
        EXPECT_FALSE(failed.record);
        ASSERT_TRUE(failed.error);
        EXPECT_EQ(failed.error->domain, "Status code: Optional(500)");
        EXPECT_EQ(failed.error->code, 500);
    }
    EXPECT_EQ(fetch().code(), 0) << "the fault was used up";
    EXPECT_EQ(list().code(), 0) << "other endpoints were never affected";
}

TEST_F(FaultSwitchTest, ADroppedFieldLeavesTheRestOfTheReply) {
    admin("fault", "--endpoint", "/getvxa", "--drop-field", "vxaData");
    const auto reply = fetch();
    EXPECT_EQ(reply.code(), 0);
    EXPECT_FALSE(reply.record->vxaData);
    EXPECT_FALSE(fetch().record->vxaData) << "without --times the fault stays";

    admin("fault", "--clear");
    EXPECT_TRUE(fetch().record->vxaData);
}

TEST_F(FaultSwitchTest, ANotificationIdCanBeWithheld) {
    admin("fault", "--endpoint", "/push/getid", "--drop-field", "notificationId", "--times", "1");
    auto getId = [&] {
        return call(&GetNotificationIdService::getNotificationId,
                    GetNotificationId::RequestModel{.partnerId = "P1", .handle = "0aff"});
    };
    const auto withheld = getId();
    EXPECT_EQ(withheld.code(), 0);
    EXPECT_FALSE(withheld.record->notificationId);
    EXPECT_TRUE(getId().record->notificationId);
}

TEST_F(FaultSwitchTest, AResultCodeFaultRefusesWithoutChangingState) {
    admin("fault", "--endpoint", "/api/v1/client/registerclient", "--result-code", "14900", "--times", "1");
    const Installation refused{Uuid::random().value().uuidString(), "P1", "new@example.com", {}};
    EXPECT_EQ(registerClient(refused).code(), rawValue(ResultCode::serverTechnicalError));
    EXPECT_EQ(activate(refused, admin("activation-code", "--partner-id", "P1", "--email", refused.email)).code(),
              rawValue(ResultCode::registrationNotFoundToActivate))
        << "the refused registration was not stored";
    EXPECT_EQ(registerClient(refused).code(), 0);
}

TEST_F(FaultSwitchTest, RawBodiesReachTheClientAsTheyStand) {
    admin("fault", "--endpoint", "/getvxalist", "--body", "", "--times", "1");
    admin("fault", "--endpoint", "/getvxalist", "--body", "[1, 2]", "--times", "1");
    const auto empty = list();
    ASSERT_TRUE(empty.error);
    EXPECT_EQ(empty.error->domain, "JSON parsing error");
    const auto array = list();
    EXPECT_EQ(array.code(), rawValue(ResultCode::unknownResultCode)) << "any JSON value is a record";
    EXPECT_FALSE(array.record->vxaMessageIdList);
    EXPECT_EQ(list().code(), 0);
}

TEST_F(FaultSwitchTest, TheOldestMatchingFaultAppliesFirst) {
    admin("fault", "--endpoint", "/getvxa", "--status", "503", "--times", "1");
    admin("fault", "--endpoint", "/getvxa", "--result-code", "14009", "--times", "1");
    EXPECT_EQ(fetch().error->code, 503);
    EXPECT_EQ(fetch().code(), rawValue(ResultCode::vexaQrMessageNotFound));
    EXPECT_EQ(fetch().code(), 0);
}

TEST_F(FaultSwitchTest, AnEndpointMatchesWholeSegmentsOnly) {
    admin("fault", "--endpoint", "/getvxa", "--status", "500");
    EXPECT_EQ(list().code(), 0) << "/getvxa must not match /getvxalist";
    EXPECT_TRUE(fetch().error);
}

TEST_F(FaultSwitchTest, TheAdminInterfaceIsNeverFaulted) {
    EXPECT_EQ(server.admin("fault", "--endpoint", "/admin", "--status", "500").exitCode, 0);
    EXPECT_EQ(server.admin("fault", "--clear").exitCode, 0);
    EXPECT_EQ(server.admin("fault", "--endpoint", "/", "--status", "500").exitCode, 0);
    EXPECT_EQ(server.admin("activation-code", "--partner-id", "P1", "--email", "a@example.com").exitCode, 0);
    EXPECT_TRUE(fetch().error) << "a fault on / covers every client endpoint";
}

TEST_F(FaultSwitchTest, MalformedFaultsAreRefused) {
    EXPECT_EQ(server.admin("fault", "--endpoint", "getvxa", "--status", "500").exitCode, 1);
    EXPECT_EQ(server.admin("fault", "--endpoint", "/getvxa", "--status", "500", "--times", "0").exitCode, 2);
    EXPECT_EQ(server.admin("fault", "--endpoint", "/getvxa", "--status", "500", "--drop-field", "x").exitCode, 2);
    EXPECT_EQ(fetch().code(), 0) << "no refused fault was kept";
}

} // namespace
} // namespace vexaqr::test
