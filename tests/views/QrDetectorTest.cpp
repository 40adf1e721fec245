#include "codec/pictures/QrDetector.hpp"
#include "codec/pictures/PngFile.hpp"
#include "codec/pictures/QrRenderer.hpp"

#include "views/SyntheticCameraPicture.hpp"
#include "views/ViewsTestSupport.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace vexaqr {
namespace {

using namespace vexaqr::test;

QrSymbol symbolFor(const std::string& text) {
    auto symbol = QrRenderer::render(text);
    EXPECT_TRUE(symbol);
    return symbol.value_or(QrSymbol{});
}

// From modules of a few pixels to modules far larger than anything the detector looks at first.
TEST(QrDetectorTest, ReadsSymbolsDrawnByQrencodeAtAnyModuleSize) {
    const struct {
        std::size_t length;
        int modulePixels;
    } cases[] = {{870, 3}, {870, 4}, {870, 5}, {60, 16}, {200, 19}, {30, 40}};
    test::TempDirectory folder;
    unsigned seed = 0;
    for (const auto& size : cases) {
        const auto text = alphanumericText(size.length, ++seed);
        const auto path = pathIn(folder, "qrencode" + std::to_string(seed) + ".png");
        ASSERT_EQ(
            runCommand("qrencode -l L -s " + std::to_string(size.modulePixels) + " -o '" + path + "' -- '" + text + "'")
                .status,
            0);
        const auto picture = PngFile::read(path);
        ASSERT_TRUE(picture);
        EXPECT_EQ(QrDetector::detect(*picture), std::vector<std::string>{text}) << size.modulePixels << " px";
    }
}

TEST(QrDetectorTest, ReadsAFrameSymbolThroughBlurAndNoise) {
    const auto text = alphanumericText(870, 5);
    EXPECT_EQ(QrDetector::detect(cameraPicture({symbolFor(text)})), std::vector<std::string>{text});
}

TEST(QrDetectorTest, ReturnsEverySymbolOfAPicture) {
    const std::vector<std::string> texts = {alphanumericText(200, 1), alphanumericText(300, 2)};
    auto found = QrDetector::detect(cameraPicture({symbolFor(texts[0]), symbolFor(texts[1])}, 4));
    std::sort(found.begin(), found.end());
    auto expected = texts;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
}

TEST(QrDetectorTest, FindsNothingInPicturesWithoutSymbols) {
    EXPECT_TRUE(QrDetector::detect(cameraPicture({})).empty());
    EXPECT_TRUE(QrDetector::detect(Picture()).empty());
    EXPECT_TRUE(QrDetector::detect(Picture(1, 1)).empty());
}

// A picture the first reading misses gets a second, sharpened look; it must cope with every shape.
TEST(QrDetectorTest, SurvivesPicturesTooSmallOrTooNarrowForTheSecondLook) {
    for (const auto& [width, height] : {std::pair{6, 6}, {7, 7}, {8, 1000}, {1000, 3}, {1, 640}}) {
        Picture picture(width, height);
        for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
            picture.pixels[i] = static_cast<std::uint8_t>(i * 37);
        }
        EXPECT_TRUE(QrDetector::detect(picture).empty()) << width << "x" << height;
    }
}

} // namespace
} // namespace vexaqr
