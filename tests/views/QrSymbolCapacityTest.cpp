// The version table against the published level-L capacities, our renderer, the qrencode program,
// zbarimg and our detector: the largest frame of each version renders at that version and reads back,
// and one packet or byte more needs the next version.
#include "codec/pictures/QrSymbolCapacity.hpp"
#include "codec/pictures/PngFile.hpp"
#include "codec/pictures/QrDetector.hpp"
#include "codec/pictures/QrRenderer.hpp"
#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/VexaQRGenerator.hpp"

#include "views/ViewsTestSupport.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace vexaqr {
namespace {

using test::pathIn;
using test::runCommand;

Bytes sampleData(std::size_t length, unsigned seed) {
    std::mt19937 random(seed);
    Bytes data(length);
    for (auto& byte : data) {
        byte = static_cast<std::uint8_t>(random());
    }
    return data;
}

// The text of a real frame: the first luby frame of `packets` packets, or the cyclic block 0 of `block` bytes.
std::string lubyFrameText(std::uint32_t packets, unsigned seed) {
    VexaQRFrameSize size;
    size.ltPacketsPerFrame = packets;
    auto made = VexaQRGenerator::make(sampleData(20000, seed), VxaAlgorithm::luby, seed, size);
    return Base45Converter::base45EncodedString(made.value()->nextQRContent());
}

std::string cyclicFrameText(std::size_t block, unsigned seed) {
    VexaQRFrameSize size;
    size.cyclicBlockLength = block;
    auto made = VexaQRGenerator::make(sampleData(block, seed), VxaAlgorithm::cyclic, std::nullopt, size);
    return Base45Converter::base45EncodedString(made.value()->nextQRContent());
}

// The version qrencode chooses for `text` at level L, read from the width of its text output.
int qrencodeVersion(const test::TempDirectory& folder, const std::string& text) {
    const auto input = pathIn(folder, "text");
    std::ofstream(input, std::ios::binary) << text;
    const auto result = runCommand("qrencode -l L -m 0 -t ASCII -o - < '" + input + "' 2>/dev/null");
    if (result.status != 0) {
        return 0; // too long for any version
    }
    const auto width = static_cast<int>(result.output.find('\n')) / 2; // two characters per module
    return (width - 17) / 4;
}

TEST(QrSymbolCapacityTest, CharactersMatchThePublishedLevelLCapacities) {
    EXPECT_EQ(QrSymbolCapacity::alphanumericCharacters(1), 25u);
    EXPECT_EQ(QrSymbolCapacity::alphanumericCharacters(2), 47u);
    EXPECT_EQ(QrSymbolCapacity::alphanumericCharacters(10), 395u);
    EXPECT_EQ(QrSymbolCapacity::alphanumericCharacters(17), 938u);
    EXPECT_EQ(QrSymbolCapacity::alphanumericCharacters(27), 2132u);
    EXPECT_EQ(QrSymbolCapacity::alphanumericCharacters(40), 4296u);
    EXPECT_EQ(QrSymbolCapacity::alphanumericCharacters(0), 0u);
    EXPECT_EQ(QrSymbolCapacity::alphanumericCharacters(41), 0u);
    EXPECT_EQ(QrSymbolCapacity::smallestVersionHolding(938), 17);
    EXPECT_EQ(QrSymbolCapacity::smallestVersionHolding(939), 18);
    EXPECT_EQ(QrSymbolCapacity::smallestVersionHolding(4297), std::nullopt);
    EXPECT_FALSE(QrSymbolCapacity::largestFrames(0));
    EXPECT_FALSE(QrSymbolCapacity::largestFrames(41));
}

TEST(QrSymbolCapacityTest, Base45LengthIsTheLengthOfTheText) {
    for (std::size_t length = 0; length <= 400; ++length) {
        ASSERT_EQ(QrSymbolCapacity::base45Length(length),
                  Base45Converter::base45EncodedString(sampleData(length, 5)).size())
            << length;
    }
}

TEST(QrSymbolCapacityTest, DefaultFramesNeedVersion17) {
    EXPECT_EQ(QrSymbolCapacity::smallestVersionHolding(QrSymbolCapacity::base45Length(597)), 17);
    EXPECT_EQ(QrSymbolCapacity::smallestVersionHolding(QrSymbolCapacity::base45Length(587)), 17);
    const auto seventeen = QrSymbolCapacity::largestFrames(17);
    ASSERT_TRUE(seventeen);
    EXPECT_GE(seventeen->ltPacketsPerFrame, 73u);
    EXPECT_GE(seventeen->cyclicBlockLength, 584u);
}

TEST(QrSymbolCapacityTest, TableIsConsistentAndGrowsWithTheVersion) {
    EXPECT_EQ(QrSymbolCapacity::largestFrames(1)->ltPacketsPerFrame, 0u);
    EXPECT_GE(QrSymbolCapacity::largestFrames(QrSymbolCapacity::kSmallestFrameVersion)->ltPacketsPerFrame, 1u);
    std::size_t previous = 0;
    for (int version = 1; version <= 40; ++version) {
        const auto row = QrSymbolCapacity::largestFrames(version);
        ASSERT_TRUE(row);
        EXPECT_EQ(row->version, version);
        EXPECT_GT(row->frameLength, previous);
        previous = row->frameLength;
        EXPECT_LE(QrSymbolCapacity::base45Length(row->frameLength), row->characters);
        EXPECT_GT(QrSymbolCapacity::base45Length(row->frameLength + 1), row->characters);
        EXPECT_EQ(row->cyclicBlockLength + 3, row->frameLength);
        if (version >= QrSymbolCapacity::kSmallestFrameVersion) {
            EXPECT_EQ(row->frameSize().lubyFrameLength(), row->frameLength - (row->frameLength - 13) % 8);
            EXPECT_TRUE(row->frameSize().isValid());
        }
    }
}

// Every version's largest frames against our renderer and the qrencode program.
TEST(QrSymbolCapacityTest, LargestFramesFillTheirVersionAndOneMoreNeedsTheNext) {
    test::TempDirectory folder;
    for (int version = QrSymbolCapacity::kSmallestFrameVersion; version <= 40; ++version) {
        const auto row = *QrSymbolCapacity::largestFrames(version);
        const int next = version == 40 ? 0 : version + 1; // 0: no symbol at all
        const std::string luby = lubyFrameText(row.ltPacketsPerFrame, static_cast<unsigned>(version));
        const std::string lubyMore = lubyFrameText(row.ltPacketsPerFrame + 1, static_cast<unsigned>(version));
        const std::string cyclic = cyclicFrameText(row.cyclicBlockLength, static_cast<unsigned>(version));
        const std::string cyclicMore = cyclicFrameText(row.cyclicBlockLength + 1, static_cast<unsigned>(version));
        for (const auto& [text, expected] : {std::pair{luby, version}, std::pair{lubyMore, next},
                                             std::pair{cyclic, version}, std::pair{cyclicMore, next}}) {
            const auto symbol = QrRenderer::render(text);
            EXPECT_EQ(symbol ? symbol->version : 0, expected) << "version " << version << ", " << text.size();
            EXPECT_EQ(qrencodeVersion(folder, text), expected) << "version " << version << ", " << text.size();
            const auto fixed = QrRenderer::render(text, version);
            EXPECT_EQ(fixed.has_value(), expected == version) << "version " << version << ", " << text.size();
        }
    }
}

TEST(QrSymbolCapacityTest, FixedVersionRendersSmallerTextsAtThatSizeAndRefusesBadVersions) {
    const auto symbol = QrRenderer::render("HELLO", 25);
    ASSERT_TRUE(symbol);
    EXPECT_EQ(symbol->version, 25);
    EXPECT_EQ(symbol->size, 117);
    EXPECT_EQ(QrDetector::detect(QrRenderer::picture(*symbol)), std::vector<std::string>{"HELLO"});
    EXPECT_FALSE(QrRenderer::render("HELLO", 0));
    EXPECT_FALSE(QrRenderer::render("HELLO", 41));
    EXPECT_FALSE(QrRenderer::render("hello", 25));
}

Picture scaled(const QrSymbol& symbol, int modulePixels) {
    const int side = (symbol.size + 2 * QrRenderer::kQuietZone) * modulePixels;
    Picture picture(side, side);
    QrRenderer::draw(symbol, picture);
    return picture;
}

TEST(QrSymbolCapacityTest, LargestLubyFrameOfEveryVersionReadsBack) {
    test::TempDirectory folder;
    for (int version = QrSymbolCapacity::kSmallestFrameVersion; version <= 40; ++version) {
        const auto row = *QrSymbolCapacity::largestFrames(version);
        const std::string text = lubyFrameText(row.ltPacketsPerFrame, static_cast<unsigned>(version) + 100);
        const auto symbol = QrRenderer::render(text, version);
        ASSERT_TRUE(symbol) << version;
        const Picture picture = scaled(*symbol, 3); // at 2 pixels per module the detector misses version 40
        EXPECT_EQ(QrDetector::detect(picture), std::vector<std::string>{text}) << version;
        const auto path = pathIn(folder, "v" + std::to_string(version) + ".png");
        ASSERT_TRUE(PngFile::write(path, picture));
        const auto read = runCommand("zbarimg --quiet --raw -Sdisable -Sqrcode.enable '" + path + "' 2>/dev/null");
        EXPECT_EQ(read.status, 0) << version;
        EXPECT_EQ(read.output, text + "\n") << version;
    }
}

} // namespace
} // namespace vexaqr
