#include "codec/pictures/QrRenderer.hpp"
#include "codec/pictures/PngFile.hpp"
#include "codec/pictures/QrDetector.hpp"

#include "views/ViewsTestSupport.hpp"

#include <gtest/gtest.h>

namespace vexaqr {
namespace {

using test::alphanumericText;
using test::pathIn;
using test::runCommand;

Picture scaled(const QrSymbol& symbol, int modulePixels) {
    const int side = (symbol.size + 2 * QrRenderer::kQuietZone) * modulePixels;
    Picture picture(side, side);
    QrRenderer::draw(symbol, picture);
    return picture;
}

TEST(QrRendererTest, LtFrameTextFitsVersion17InAlphanumericMode) {
    // Byte mode would need version 21 for 870 characters; only alphanumeric mode at level L gives 17.
    for (unsigned seed = 1; seed <= 5; ++seed) {
        const auto symbol = QrRenderer::render(alphanumericText(870, seed));
        ASSERT_TRUE(symbol);
        EXPECT_EQ(symbol->version, 17);
        EXPECT_EQ(symbol->size, 85);
    }
    const auto cyclicFrame = QrRenderer::render(alphanumericText(856, 9));
    ASSERT_TRUE(cyclicFrame);
    EXPECT_EQ(cyclicFrame->version, 17);
}

TEST(QrRendererTest, RefusesTextOutsideTheAlphanumericSetAndEmptyText) {
    EXPECT_FALSE(QrRenderer::render("ABCabc"));
    EXPECT_FALSE(QrRenderer::render("A\xC3\xA9"));
    EXPECT_FALSE(QrRenderer::render(""));
    EXPECT_FALSE(QrRenderer::render(alphanumericText(4297, 3))); // beyond version 40 at level L
}

TEST(QrRendererTest, DrawsWholeModulesWithAQuietZoneAtAnyScale) {
    const auto symbol = QrRenderer::render("HELLO 45");
    ASSERT_TRUE(symbol);
    const Picture onePixel = QrRenderer::picture(*symbol);
    ASSERT_EQ(onePixel.width, symbol->size + 8);
    const Picture threePixels = scaled(*symbol, 3);
    for (int y = 0; y < threePixels.height; ++y) {
        for (int x = 0; x < threePixels.width; ++x) {
            ASSERT_EQ(threePixels.at(x, y), onePixel.at(x / 3, y / 3)) << x << "," << y;
        }
    }
    for (int i = 0; i < onePixel.width; ++i) {
        EXPECT_EQ(onePixel.at(i, 0), 255);
        EXPECT_EQ(onePixel.at(0, i), 255);
        EXPECT_EQ(onePixel.at(i, onePixel.height - 1), 255);
    }
    EXPECT_EQ(onePixel.at(4, 4), 0); // the outer ring of the top-left finder pattern
}

TEST(QrRendererTest, ZbarimgReadsEverySymbolToTheSameText) {
    test::TempDirectory folder;
    const std::vector<std::string> texts = {alphanumericText(870, 11), alphanumericText(856, 12),
                                            "02 $%*+-./:", alphanumericText(44, 13), alphanumericText(1500, 14)};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto symbol = QrRenderer::render(texts[i]);
        ASSERT_TRUE(symbol);
        const auto path = pathIn(folder, "symbol" + std::to_string(i) + ".png");
        ASSERT_TRUE(PngFile::write(path, scaled(*symbol, 3)));
        const auto read = runCommand("zbarimg --quiet --raw -Sdisable -Sqrcode.enable '" + path + "' 2>/dev/null");
        ASSERT_EQ(read.status, 0) << texts[i];
        EXPECT_EQ(read.output, texts[i] + "\n");
    }
}

TEST(QrRendererTest, NonIntegerStretchStaysReadable) {
    const auto text = alphanumericText(870, 21);
    const auto symbol = QrRenderer::render(text);
    ASSERT_TRUE(symbol);
    Picture picture(301, 301); // 93 cells over 301 pixels: modules of 3 and 4 pixels
    QrRenderer::draw(*symbol, picture);
    EXPECT_EQ(QrDetector::detect(picture), std::vector<std::string>{text});
}

} // namespace
} // namespace vexaqr
