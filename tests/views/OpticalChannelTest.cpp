// The optical channel at small sizes: a presenter's frames filmed by the simulated camera, read by the real
// detector, scanner and frame reader.
#include "codec/pictures/QrDetector.hpp"
#include "codec/pictures/QrRenderer.hpp"

#include "support/CameraSimulation.hpp"
#include "support/OpticalTransfer.hpp"
#include "views/ScannerTestSupport.hpp"
#include "views/ViewsTestSupport.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace vexaqr {
namespace {

using namespace vexaqr::test;

constexpr int kCanvasSide = 600;

// A frame-sized text and its picture as the presenter draws it.
struct ShownSymbol {
    std::string text;
    Picture canvas;
};

ShownSymbol shownSymbol(unsigned seed, std::size_t length = 870, int version = 0) {
    ShownSymbol shown{alphanumericText(length, seed), Picture(kCanvasSide, kCanvasSide)};
    const auto symbol = version > 0 ? QrRenderer::render(shown.text, version) : QrRenderer::render(shown.text);
    EXPECT_TRUE(symbol);
    if (symbol) {
        QrRenderer::draw(*symbol, shown.canvas);
    }
    return shown;
}

// How many of `count` pictures, each of a new symbol in a new pose, the detector reads correctly.
int picturesRead(const OpticalConditions& conditions, int count, std::uint32_t seed, int version = 0) {
    CameraSimulation camera(conditions, CameraTiming{}, seed);
    int read = 0;
    for (int i = 0; i < count; ++i) {
        const auto shown = shownSymbol(seed * 100 + static_cast<unsigned>(i), version > 0 ? 1800 : 870, version);
        const auto found = QrDetector::detect(camera.photograph({{&shown.canvas, 1.0}}, camera.randomPose()));
        read += found == std::vector<std::string>{shown.text} ? 1 : 0;
    }
    return read;
}

TEST(OpticalChannelTest, BlurOfTwoPixelsIsRead) {
    auto blurred = OpticalConditions::clean();
    blurred.blurSigma = 2.0;
    blurred.maxRoll = 10.0;
    EXPECT_EQ(picturesRead(blurred, 12, 3), 12);
}

TEST(OpticalChannelTest, TiltedAndRolledSymbolsAreRead) {
    auto tilted = OpticalConditions::mild();
    tilted.maxTilt = 20.0;
    tilted.maxRoll = 180.0;
    EXPECT_EQ(picturesRead(tilted, 8, 5), 8);
}

// Square-on symbols put every module edge on the same pixel rows and columns.
TEST(OpticalChannelTest, AxisAlignedSymbolsAreRead) {
    auto square = OpticalConditions::mild();
    square.maxTilt = 0.0;
    square.maxRoll = 0.0;
    EXPECT_EQ(picturesRead(square, 8, 7), 8);
    square.maxRoll = 3.0;
    EXPECT_EQ(picturesRead(square, 8, 8), 8);
}

// Sharp symbols turned some 45° or 180° with a corner near the picture's edge: poses in which the local
// threshold loses a finder pattern.
TEST(OpticalChannelTest, SharpSymbolsAtASlantNearTheEdgeAreRead) {
    CameraSimulation camera(OpticalConditions::clean(), CameraTiming{}, 1);
    const ScreenPose poses[] = {{8.14, 171.12, -134.52, 0.172, 0.163},
                                {5.07, 171.28, -177.87, -0.410, 0.196},
                                {4.70, 221.64, -136.10, 0.465, -0.302}};
    unsigned seed = 40;
    for (const auto& pose : poses) {
        const auto shown = shownSymbol(seed++);
        EXPECT_EQ(QrDetector::detect(camera.photograph({{&shown.canvas, 1.0}}, pose)),
                  std::vector<std::string>{shown.text})
            << "roll " << pose.roll;
    }
}

// The detector starts with the form that read the previous picture. Soft pictures read only once sharpened;
// taken in turns with small, sharp ones, every one must still be read.
TEST(OpticalChannelTest, SoftAndSharpPicturesInTurnAreAllRead) {
    auto soft = OpticalConditions::clean();
    soft.blurSigma = 2.5;
    auto small = OpticalConditions::clean();
    small.symbolShare = 0.3;
    CameraSimulation softCamera(soft, CameraTiming{}, 17), sharpCamera(small, CameraTiming{}, 18);
    for (unsigned i = 0; i < 6; ++i) {
        auto& camera = i % 2 == 0 ? softCamera : sharpCamera;
        const auto shown = shownSymbol(60 + i);
        EXPECT_EQ(QrDetector::detect(camera.photograph({{&shown.canvas, 1.0}}, camera.randomPose())),
                  std::vector<std::string>{shown.text})
            << camera.conditions().name << " picture " << i;
    }
}

// Some of these are read only by the detector's stronger sharpening (24 of 30 without it).
TEST(OpticalChannelTest, HarshPicturesAreMostlyRead) {
    EXPECT_GE(picturesRead(OpticalConditions::harsh(), 30, 12), 26);
}

// Some soft pictures are read only from the sharpened form enlarged (26 of 30 without).
TEST(OpticalChannelTest, SoftPicturesAreReadSharpenedAndEnlarged) {
    EXPECT_GE(picturesRead(OpticalConditions::harsh(), 30, 16), 28);
}

TEST(OpticalChannelTest, ModulesOfUnderFourPixelsAreRead) {
    // Version 25 at 1280x720: 3.5 pixels a module, where one transform for the whole symbol drifts off the
    // modules of a symbol rolled by a few degrees; the detector reads such symbols enlarged (20 of 30 without).
    EXPECT_GE(picturesRead(OpticalConditions::mild(), 30, 7, 25), 26);
}

TEST(OpticalChannelTest, ModulesOfUnderFivePixelsAreRead) {
    // Version 30 at 1920x1080: 4.7 pixels a module; the detector reads such symbols enlarged by less than twice
    // (27 of 30 without).
    auto fullHd = OpticalConditions::mild();
    fullHd.width = 1920;
    fullHd.height = 1080;
    EXPECT_GE(picturesRead(fullHd, 30, 8, 30), 29);
}

TEST(OpticalChannelTest, ABlendOfTwoFramesGivesTheStrongerOneOrNothing) {
    CameraSimulation camera(OpticalConditions::mild(), CameraTiming{}, 13);
    const auto first = shownSymbol(21), second = shownSymbol(22);
    const auto pose = camera.randomPose();
    EXPECT_EQ(QrDetector::detect(camera.photograph({{&first.canvas, 0.9}, {&second.canvas, 0.1}}, pose)),
              std::vector<std::string>{first.text});
    const auto even = QrDetector::detect(camera.photograph({{&first.canvas, 0.5}, {&second.canvas, 0.5}}, pose));
    EXPECT_TRUE(even.empty() || even == std::vector<std::string>{first.text} ||
                even == std::vector<std::string>{second.text});
}

TEST(OpticalChannelTest, TheScreenShowsThePresentersFramesAtTheirScheduledTimes) {
    PresenterScreen screen(100, [](VXAPresenterView& view) {
        view.setGeneratorSeed(5);
        EXPECT_TRUE(view.presentVexaQr(jsonContent(3000), true, 0.0)); // a frame every 50 ms
    });
    const auto within = screen.exposure(10.0, 26.0);
    ASSERT_EQ(within.size(), 1u);
    EXPECT_DOUBLE_EQ(within[0].weight, 1.0);

    const auto straddling = screen.exposure(40.0, 60.0); // the second frame comes at 50 ms
    ASSERT_EQ(straddling.size(), 2u);
    EXPECT_DOUBLE_EQ(straddling[0].weight, 0.5);
    EXPECT_DOUBLE_EQ(straddling[1].weight, 0.5);
    EXPECT_NE(*straddling[0].picture, *straddling[1].picture);
    EXPECT_EQ(screen.framesShown(), 3u); // the frame after the exposure tells when the last one ended

    const auto later = screen.exposure(105.0, 115.0);
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(screen.framesShown(), 4u);
}

TEST(OpticalChannelTest, CameraPicturesAreReproducibleFromTheSeed) {
    const auto shown = shownSymbol(31);
    auto take = [&](std::uint32_t seed) {
        CameraSimulation camera(OpticalConditions::mild(), CameraTiming{}, seed);
        return camera.photograph({{&shown.canvas, 1.0}}, camera.randomPose());
    };
    EXPECT_EQ(take(4), take(4));
    EXPECT_NE(take(4), take(5));
}

TEST(OpticalChannelTest, GaussianBlurKeepsTheLightAndSpreadsAPoint) {
    constexpr int kSide = 21;
    std::vector<float> light(kSide * kSide, 0.0f);
    light[10 * kSide + 10] = 1000.0f;
    gaussianBlur(light, kSide, kSide, 1.5);
    EXPECT_NEAR(std::accumulate(light.begin(), light.end(), 0.0), 1000.0, 0.01);
    // The centre of a unit normal in two dimensions holds 1 / (2πσ²) of the light (within the sampling).
    EXPECT_NEAR(light[10 * kSide + 10], 1000.0 / (2 * 3.14159265 * 1.5 * 1.5), 2.0);
    EXPECT_FLOAT_EQ(light[10 * kSide + 9], light[10 * kSide + 11]);
    EXPECT_FLOAT_EQ(light[9 * kSide + 10], light[10 * kSide + 9]);
}

TEST(OpticalChannelTest, JpegRoundTripIsCloseButLossy) {
    const auto shown = shownSymbol(41, 200);
    const Picture compressed = jpegRoundTrip(shown.canvas, 80);
    ASSERT_EQ(compressed.width, shown.canvas.width);
    ASSERT_EQ(compressed.height, shown.canvas.height);
    double difference = 0.0;
    for (std::size_t i = 0; i < compressed.pixels.size(); ++i) {
        difference += std::abs(compressed.pixels[i] - shown.canvas.pixels[i]);
    }
    const double mean = difference / static_cast<double>(compressed.pixels.size());
    EXPECT_GT(mean, 0.0);
    EXPECT_LT(mean, 8.0);
    EXPECT_EQ(jpegRoundTrip(shown.canvas, 0), shown.canvas);
}

class OpticalTransferTest : public ::testing::TestWithParam<bool> {};

TEST_P(OpticalTransferTest, MildConditionsDeliverTheSealedRecord) {
    const Bytes content = jsonContent(1200);
    for (auto decoder : {LTDecoderKind::peeling, LTDecoderKind::maximumLikelihood}) {
        OpticalTransferSetup setup;
        setup.record = sealedRecord(content);
        setup.luby = GetParam();
        setup.decoder = decoder;
        setup.keys = testKeys();
        setup.screenSecondsLimit = 3.0;
        const auto result = runOpticalTransfer(setup);
        ASSERT_TRUE(result.completed) << ltDecoderKindName(decoder);
        ASSERT_TRUE(result.record);
        EXPECT_TRUE(result.record->isValid());
        EXPECT_EQ(result.record->actualVxaData, content);
        EXPECT_GT(result.picturesRead, 0u);
        EXPECT_LE(result.picturesRead, result.pictures);
        EXPECT_LT(result.screenSeconds, 3.0);
    }
}

TEST_P(OpticalTransferTest, HarshConditionsStillDeliverASmallRecord) {
    const Bytes content = jsonContent(600);
    OpticalTransferSetup setup;
    setup.record = sealedRecord(content);
    setup.luby = GetParam();
    setup.conditions = OpticalConditions::harsh();
    setup.keys = testKeys();
    setup.screenSecondsLimit = 4.0;
    const auto result = runOpticalTransfer(setup);
    ASSERT_TRUE(result.completed);
    EXPECT_EQ(result.record->actualVxaData, content);
}

TEST(OpticalTransferLimitTest, AnUnreadableScreenEndsAtTheLimitIncomplete) {
    OpticalTransferSetup setup;
    setup.record = sealedRecord(jsonContent(600));
    setup.conditions = OpticalConditions::clean();
    setup.conditions.blurSigma = 8.0; // nothing survives this
    setup.keys = testKeys();
    setup.screenSecondsLimit = 0.2;
    const auto result = runOpticalTransfer(setup);
    EXPECT_FALSE(result.completed);
    EXPECT_EQ(result.picturesRead, 0u);
    EXPECT_EQ(result.pictures, 6u); // 30 pictures per second, each ending within the limit
    EXPECT_DOUBLE_EQ(result.screenSeconds, 0.2);
}

INSTANTIATE_TEST_SUITE_P(BothModes, OpticalTransferTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "luby" : "cyclic"; });

} // namespace
} // namespace vexaqr
