#include "account/service/ResultCode.hpp"

#include <gtest/gtest.h>

using namespace vexaqr::Constant::Application;

TEST(ResultCodeTest, ConvertsEveryIntegerOfTheTableAndNothingElse) {
    EXPECT_EQ(resultCodeFromRawValue(102), ResultCode::clientKeyFormatError);
    EXPECT_EQ(resultCodeFromRawValue(-102), std::nullopt);
    EXPECT_EQ(resultCodeFromRawValue(-1), ResultCode::unknownResultCode);
    EXPECT_EQ(resultCodeFromRawValue(0), ResultCode::successfulOperation);
    EXPECT_EQ(resultCodeFromRawValue(210), ResultCode::hubSetupError);
    EXPECT_EQ(resultCodeFromRawValue(-999), ResultCode::sdkTechnicalError);
    EXPECT_EQ(resultCodeFromRawValue(14002), std::nullopt);
    EXPECT_EQ(resultFromRawValue(14002), ResultCode::unknownResultCode);
    EXPECT_EQ(resultFromRawValue(14107), ResultCode::registrationNotFoundToActivate);
}

TEST(ResultCodeTest, RawValuesKeepTheirMixedSigns) {
    EXPECT_EQ(rawValue(ResultCode::clientKeyGenerationError), -100);
    EXPECT_EQ(rawValue(ResultCode::clientKeyPersistError), -101);
    EXPECT_EQ(rawValue(ResultCode::clientKeyFormatError), 102);
    EXPECT_EQ(rawValue(ResultCode::partnerKeyPersistError), 110);
    EXPECT_EQ(rawValue(ResultCode::serverTechnicalError), 14900);
}

TEST(ResultCodeTest, DescriptionsAreTheSystemsMessages) {
    EXPECT_EQ(description(ResultCode::unknownResultCode), "Unknown result code");
    EXPECT_EQ(description(ResultCode::vexaQrMessageNotFound), "VXA Message not found");
    EXPECT_EQ(description(ResultCode::emailAddressOrVXaIdIsRequired),
              "Email address or vxaid specification is required");
    EXPECT_EQ(description(ResultCode::clientApplicationNotFound), description(ResultCode::clientApplicationNotFound2));
}

TEST(ResultCodeTest, SdkErrorsCarryTheDomainAndTheRawValue) {
    const auto error = makeSdkError(ResultCode::clientKeyFormatError);
    EXPECT_EQ(error.domain, "VXASDK");
    EXPECT_EQ(error.code, 102);
}
