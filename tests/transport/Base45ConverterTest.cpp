#include "TransportTestSupport.hpp"

#include "codec/transport/Base45Converter.hpp"

#include <gtest/gtest.h>
#include <openssl/crypto.h>

#include <cstdlib>

using namespace vexaqr;
using namespace vexaqr::Base45Converter;
using namespace vexaqr::test;

TEST(Base45ConverterTest, EncodesTheWorkedValues) {
    EXPECT_EQ(base45EncodedString(toBytes("abc")), "1QLI.");
    EXPECT_EQ(base45EncodedString(Bytes{0x01, 0x00}), "001");
    EXPECT_EQ(dataFromBase45String("001"), (Bytes{0x01, 0x00}));
    EXPECT_EQ(base45EncodedString(Bytes{0x00}), "00");
    EXPECT_EQ(dataFromBase45String("1QLI."), toBytes("abc"));
}

TEST(Base45ConverterTest, LengthRulesInvertEachOtherForEveryChunkSize) {
    EXPECT_EQ(getByteNumberFromLenfgth(81), 118u);
    EXPECT_EQ(getByteNumberFromLenfgth(3), 5u);
    EXPECT_EQ(getByteNumberFromLenfgth(1), 2u);
    EXPECT_EQ(decodedByteNumberFromB45EncodedData(Bytes(118)), 81u);
    EXPECT_EQ(b45EncodedByteNumberFromDecodedData(Bytes(30)), 44u);
    for (std::size_t n = 1; n <= 81; ++n) {
        EXPECT_EQ(decodedByteNumberFromB45EncodedData(Bytes(getByteNumberFromLenfgth(n))), n) << n;
    }
}

TEST(Base45ConverterTest, TextLengthFollowsTheChunks) {
    EXPECT_EQ(base45EncodedString(Bytes(81, 7)).size(), 118u);
    EXPECT_EQ(base45EncodedString(Bytes(162, 7)).size(), 236u);
    EXPECT_EQ(base45EncodedString(Bytes(82, 7)).size(), 120u);
    const Bytes frame = test::randomBytes(597, 597);
    const std::string text = base45EncodedString(frame);
    EXPECT_EQ(text.size(), 870u);
    EXPECT_EQ(dataFromBase45String(text), frame);
    EXPECT_TRUE(base45EncodedString({}).empty());
    EXPECT_TRUE(dataFromBase45String("").empty());
}

TEST(Base45ConverterTest, LeadingAndTrailingZeroBytesSurvive) {
    for (const Bytes& chunk :
         {Bytes{0, 0, 0, 5, 9}, Bytes{5, 9, 0, 0, 0}, Bytes(81, 0), Bytes{0, 0xFF, 0}, Bytes(80, 0xFF)}) {
        const Bytes encoded = base45EncodedData(chunk);
        EXPECT_EQ(encoded.size(), getByteNumberFromLenfgth(chunk.size()));
        EXPECT_EQ(base45DecodedData(encoded), chunk);
    }
}

TEST(Base45ConverterTest, OneHundredNineteenCharactersAreAFullPieceAndAnEmptyOne) {
    const Bytes data = test::randomBytes(81, 81);
    const std::string text = base45EncodedString(data) + "7";
    EXPECT_EQ(dataFromBase45String(text), data);
}

TEST(Base45ConverterTest, PieceWithAForeignCharacterIsLeftOutAlone) {
    const Bytes first = test::randomBytes(81, 1);
    const Bytes second = test::randomBytes(81, 2);
    const Bytes third = test::randomBytes(10, 3);
    std::string text = base45EncodedString(first) + base45EncodedString(second) + base45EncodedString(third);
    text[118 + 40] = 'a';
    Bytes expected = first;
    expected.insert(expected.end(), third.begin(), third.end());
    EXPECT_EQ(dataFromBase45String(text), expected);
    EXPECT_FALSE(base45DecodedData(toBytes("00a")).has_value());
    EXPECT_FALSE(base45DecodedData(Bytes{'0', 0xC3, 0xA9}).has_value());
    EXPECT_TRUE(dataFromBase45String("https://example.com/").empty());
}

TEST(Base45ConverterTest, OverWideNumbersKeepTheirLowOrderBytes) {
    // 118 times "%" is 45^118 - 1, wider than 81 bytes: the low-order 81 bytes remain.
    const auto decoded = base45DecodedData(Bytes(118, '%'));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->size(), 81u);
    // "%%" is 2024 = 0x07E8, one byte wider than the single byte two characters carry.
    EXPECT_EQ(base45DecodedData(toBytes("%%")), (Bytes{0xE8}));
}

TEST(Base45ConverterTest, MatchesTheIndependentVectors) {
    const auto vectors = transportVectors();
    ASSERT_TRUE(vectors.is_object());
    ASSERT_GE(vectors["base45"].size(), 30u);
    for (const auto& vector : vectors["base45"]) {
        const Bytes data = fromHex(vector["hex"].get<std::string>());
        const auto text = vector["text"].get<std::string>();
        EXPECT_EQ(base45EncodedString(data), text) << vector["hex"];
        EXPECT_EQ(dataFromBase45String(text), data) << text;
    }
}

namespace {

// OpenSSL allocators that refuse every block of 64 bytes or more once `refuseLargeBlocks` is set: a
// BIGNUM (24 bytes) can still be made, but not the digits of an 81-byte chunk.
bool refuseLargeBlocks = false;
void* mallocRefusingLargeBlocks(std::size_t size, const char*, int) {
    return refuseLargeBlocks && size >= 64 ? nullptr : std::malloc(size);
}
void* reallocRefusingLargeBlocks(void* block, std::size_t size, const char*, int) {
    return refuseLargeBlocks && size >= 64 ? nullptr : std::realloc(block, size);
}
void plainFree(void* block, const char*, int) {
    std::free(block);
}

} // namespace

TEST(Base45ConverterTest, NoMemoryForTheNumberGivesNoTextRatherThanZeros) {
    // A fresh process (the death-test child runs this test alone): allocators can only be replaced
    // before OpenSSL's first allocation.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (CRYPTO_set_mem_functions(mallocRefusingLargeBlocks, reallocRefusingLargeBlocks, plainFree) != 1) {
                std::exit(2);
            }
            refuseLargeBlocks = true;
            const bool noText = base45EncodedString(Bytes(81, 0xFF)).empty();
            const bool noChunk = base45EncodedData(Bytes(81, 0xFF)).empty();
            std::exit(noText && noChunk ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
