// Several symbols per picture: the grid they are laid out in, and a presenter's grid read back whole, as
// drawn and through the simulated camera.
#include "codec/pictures/SymbolGrid.hpp"
#include "codec/pictures/MemoryCanvas.hpp"
#include "codec/pictures/QrDetector.hpp"
#include "codec/pictures/QrRenderer.hpp"
#include "codec/platform/VirtualTimeQueue.hpp"
#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/VexaQRGenerator.hpp"
#include <vexaqr/views/VXAPresenterView.hpp>

#include "support/CameraSimulation.hpp"
#include "views/ScannerTestSupport.hpp"
#include "views/ViewsTestSupport.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace vexaqr {
namespace {

using namespace vexaqr::test;

TEST(SymbolGridTest, TheLargestCellsThatFitAreChosenAndStayInsideWithoutOverlap) {
    struct Case {
        int count, width, height, columns, rows, side;
    };
    const Case cases[] = {{1, 300, 200, 1, 1, 200},   {2, 1000, 600, 2, 1, 500}, {2, 600, 1000, 1, 2, 500},
                          {4, 1000, 1000, 2, 2, 500}, {4, 2000, 400, 4, 1, 400}, {6, 1920, 1080, 3, 2, 540},
                          {6, 1080, 1920, 2, 3, 540}, {6, 3000, 400, 6, 1, 400}};
    for (const auto& c : cases) {
        const auto grid = SymbolGrid::fitting(c.count, c.width, c.height);
        ASSERT_TRUE(grid) << c.count;
        EXPECT_EQ(grid->columns(), c.columns) << c.count << " in " << c.width << "x" << c.height;
        EXPECT_EQ(grid->rows(), c.rows) << c.count << " in " << c.width << "x" << c.height;
        EXPECT_EQ(grid->cellSide(), c.side) << c.count << " in " << c.width << "x" << c.height;
        for (int i = 0; i < c.count; ++i) {
            const auto cell = grid->cell(i);
            EXPECT_TRUE(cell.left >= 0 && cell.top >= 0 && cell.left + cell.side <= c.width &&
                        cell.top + cell.side <= c.height);
            for (int j = 0; j < i; ++j) {
                const auto other = grid->cell(j);
                const bool apart = cell.left >= other.left + other.side || other.left >= cell.left + cell.side ||
                                   cell.top >= other.top + other.side || other.top >= cell.top + cell.side;
                EXPECT_TRUE(apart) << "cells " << j << " and " << i << " of " << c.count;
            }
        }
    }
    for (int count : {0, 3, 5, 7}) {
        EXPECT_FALSE(SymbolGrid::fitting(count, 1000, 1000)) << count;
    }
    EXPECT_FALSE(SymbolGrid::fitting(6, 2, 2));
}

// Frames of 30 packets: version-11 symbols, large enough in a grid for the camera below to read all of them.
const VexaQRFrameSize kSmallFrames{30, 584};

// The first picture a presenter showing `count` symbols per picture draws on a `side` square canvas.
Picture firstPresentedPicture(const Bytes& data, int count, int side, std::uint32_t seed) {
    auto queue = std::make_shared<VirtualTimeQueue>();
    auto canvas = std::make_shared<MemoryCanvas>(side, side);
    auto view = std::make_shared<VXAPresenterView>(canvas, queue);
    view->setGeneratorSeed(seed);
    view->setFrameSize(kSmallFrames);
    EXPECT_TRUE(view->setSymbolsPerPicture(count));
    EXPECT_TRUE(view->presentVexaQr(data, true, 0.0));
    queue->runUntil([&] { return !canvas->frames().empty(); });
    return canvas->frames().empty() ? Picture() : canvas->frames().front().picture;
}

// The texts of the generator's first `count` frames, sorted.
std::vector<std::string> firstFrameTexts(const Bytes& data, std::size_t count, std::uint32_t seed) {
    auto generator = VexaQRGenerator::make(data, VxaAlgorithm::luby, seed, kSmallFrames).value();
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < count; ++i) {
        texts.push_back(Base45Converter::base45EncodedString(generator->nextQRContent()));
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

std::vector<std::string> sorted(std::vector<std::string> texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
}

TEST(SymbolGridTest, APresentersGridOfFourIsReadBackWholeAsDrawnAndThroughTheCamera) {
    const Bytes data = sealedRecord(jsonContent(8000));
    constexpr std::uint32_t kSeed = 321;
    const auto expected = firstFrameTexts(data, 4, kSeed); // the generator's next four frames, none twice
    const Picture drawn = firstPresentedPicture(data, 4, 800, kSeed);
    EXPECT_EQ(sorted(QrDetector::detect(drawn)), expected);

    auto conditions = OpticalConditions::mild();
    conditions.width = 1920;
    conditions.height = 1080;
    conditions.symbolShare = 0.9;
    CameraSimulation camera(conditions, CameraTiming{}, 3);
    for (int picture = 0; picture < 4; ++picture) {
        EXPECT_EQ(sorted(QrDetector::detect(camera.photograph({{&drawn, 1.0}}, camera.randomPose()))), expected)
            << "camera picture " << picture;
    }
}

TEST(SymbolGridTest, SixLargeSymbolsAreReadEachOnItsOwn) {
    // Six version-25 symbols at 3.9 pixels a module in a 1080p picture: 18 finder patterns, whose pairings
    // across neighbours lose symbols unless each is read on its own (13 of 36 searching only the whole picture,
    // 20 when the regions of neighbours run together).
    const auto grid = *SymbolGrid::fitting(6, 1500, 1000);
    Picture drawn(1500, 1000);
    std::vector<std::string> texts;
    for (int i = 0; i < 6; ++i) {
        texts.push_back(alphanumericText(1800, static_cast<unsigned>(i + 1)));
        QrRenderer::draw(*QrRenderer::render(texts.back(), 25), drawn, grid.cell(i));
    }
    auto conditions = OpticalConditions::mild();
    conditions.width = 1920;
    conditions.height = 1080;
    conditions.symbolShare = 0.9;
    CameraSimulation camera(conditions, CameraTiming{}, 5);
    std::size_t read = 0;
    for (int picture = 0; picture < 6; ++picture) {
        for (const auto& text : QrDetector::detect(camera.photograph({{&drawn, 1.0}}, camera.randomPose()))) {
            read += std::count(texts.begin(), texts.end(), text);
        }
    }
    EXPECT_GE(read, 24u);
}

TEST(SymbolGridTest, APresenterRefusesCountsWithoutAGrid) {
    auto view = std::make_shared<VXAPresenterView>(std::make_shared<MemoryCanvas>(400, 400),
                                                   std::make_shared<VirtualTimeQueue>());
    EXPECT_FALSE(view->setSymbolsPerPicture(3));
    EXPECT_FALSE(view->setSymbolsPerPicture(0));
    EXPECT_EQ(view->symbolsPerPicture(), 1);
    EXPECT_TRUE(view->setSymbolsPerPicture(6));
    EXPECT_EQ(view->symbolsPerPicture(), 6);
}

} // namespace
} // namespace vexaqr
