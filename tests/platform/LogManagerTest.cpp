#include "codec/platform/LogManager.hpp"

#include <gtest/gtest.h>

using vexaqr::LogManager;

TEST(LogManagerTest, WritesOneLineOnlyWhenEnabled) {
    auto& logger = LogManager::standard();
    const bool before = logger.enabled;

    logger.enabled = false;
    testing::internal::CaptureStdout();
    logger.log("hidden");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    logger.enabled = true;
    testing::internal::CaptureStdout();
    logger.log("[DEBUG] shown");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[DEBUG] shown\n");

    logger.enabled = before;
}
