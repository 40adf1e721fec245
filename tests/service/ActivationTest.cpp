// Activation::RsaKeySize and its raw values (bits).
#include "account/service/Activation.hpp"

#include <gtest/gtest.h>

using namespace vexaqr;

TEST(ActivationTest, RsaKeySizeConvertsBackFromItsBitsOnly) {
    EXPECT_EQ(Activation::rsaKeySizeFromRawValue(1024), Activation::RsaKeySize::rsa1024);
    EXPECT_EQ(Activation::rsaKeySizeFromRawValue(2048), Activation::RsaKeySize::rsa2048);
    for (int bits : {0, -1024, 512, 1023, 3072, 4096}) {
        EXPECT_FALSE(Activation::rsaKeySizeFromRawValue(bits)) << bits;
    }
    for (auto size : {Activation::RsaKeySize::rsa1024, Activation::RsaKeySize::rsa2048}) {
        EXPECT_EQ(Activation::rsaKeySizeFromRawValue(Activation::rawValue(size)), size);
    }
    EXPECT_EQ(Activation::rawValue(Activation::RsaKeySize::rsa2048), 2048);
}
