#include "account/service/ReplyJson.hpp"

#include <gtest/gtest.h>

#include <string>

namespace vexaqr {
namespace {

bool parses(const std::string& text, JsonShapeLimits limits = {}) {
    return parseReplyJson(toBytes(text), limits).has_value();
}

std::string nestedArrays(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

// `count` copies of `element` in one array.
std::string arrayOf(std::size_t count, const std::string& element) {
    std::string text = "[";
    for (std::size_t i = 0; i < count; ++i) {
        text += (i ? "," : "") + element;
    }
    return text + "]";
}

TEST(ReplyJsonTest, BoundsAdmitTheirLimitAndRefuseOneMore) {
    const JsonShapeLimits limits{.maxDepth = 3, .maxValues = 5};
    EXPECT_TRUE(parses(nestedArrays(3), limits));
    EXPECT_FALSE(parses(nestedArrays(4), limits));
    EXPECT_TRUE(parses("[1,2,3,4]", limits));
    EXPECT_FALSE(parses("[1,2,3,4,5]", limits));
    EXPECT_TRUE(parses(R"({"a":1,"b":2})", limits)) << "member names count as values";
    EXPECT_FALSE(parses(R"({"a":1,"b":2,"c":3})", limits));
    EXPECT_TRUE(parses("[[1],[2]]", limits)) << "depth is how deep, not how many";
}

TEST(ReplyJsonTest, ParsedValueIsTheReply) {
    const auto json = parseReplyJson(toBytes(R"({"result": 0, "vxaMessageIdList": ["a", "b"]})"));
    ASSERT_TRUE(json);
    EXPECT_EQ((*json)["result"], 0);
    EXPECT_EQ((*json)["vxaMessageIdList"], (nlohmann::json{"a", "b"}));
}

TEST(ReplyJsonTest, TextThatIsNotJsonOrHoldsAZeroByteIsRefused) {
    EXPECT_FALSE(parses(""));
    EXPECT_FALSE(parses("{\"result\": 0"));
    EXPECT_FALSE(parses(std::string("{}\0garbage", 10)));
    EXPECT_FALSE(parses(std::string("{\"a\": \"\0\"}", 10)));
}

TEST(ReplyJsonTest, DefaultBoundsAdmitTheLargestLegitimateReplies) {
    const std::size_t largestRecordBase64 = (1024 * 1024 + 2) / 3 * 4;
    EXPECT_TRUE(parses(R"({"result": 0, "vxaData": ")" + std::string(largestRecordBase64, 'A') +
                       R"(", "vxaInfo": "i", "vxaTemplate": "t"})"));
    EXPECT_TRUE(parses(R"({"result": 0, "vxaMessageIdList": )" + arrayOf(99'990, "\"m\"") + "}"));
    EXPECT_TRUE(parses(nestedArrays(500)));
}

TEST(ReplyJsonTest, DefaultBoundsRefuseRepliesBuiltToExhaustMemory) {
    EXPECT_FALSE(parses(arrayOf(1'000'000, "{}")));
    EXPECT_FALSE(parses(nestedArrays(1'000'000)));
    EXPECT_FALSE(parses(R"({"result": 0, "vxaMessageIdList": )" + arrayOf(100'000, "\"m\"") + "}"));
}

} // namespace
} // namespace vexaqr
