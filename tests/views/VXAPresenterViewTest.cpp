#include "codec/pictures/QrDetector.hpp"
#include "codec/platform/VirtualTimeQueue.hpp"
#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/VexaQRGenerator.hpp"
#include <vexaqr/views/VXAPresenterView.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vexaqr {
namespace {

using namespace std::chrono_literals;

// Records what was drawn, when (on the virtual clock) and with which delay.
class TimedCanvas final : public Canvas {
public:
    struct Drawing {
        Bytes frame;
        std::chrono::milliseconds at;
        std::chrono::milliseconds shownFor;
    };

    explicit TimedCanvas(const VirtualTimeQueue& clock) : _clock(clock) {}

    int width() const override { return 372; }
    int height() const override { return 372; }
    bool draw(const Picture& picture, std::chrono::milliseconds shownFor) override {
        const auto texts = QrDetector::detect(picture);
        EXPECT_EQ(texts.size(), 1u);
        drawings.push_back(
            Drawing{texts.empty() ? Bytes() : Base45Converter::dataFromBase45String(texts[0]), _clock.now(), shownFor});
        return accept;
    }

    std::vector<Drawing> drawings;
    bool accept = true;

private:
    const VirtualTimeQueue& _clock;
};

struct PresenterFixture : ::testing::Test {
    std::shared_ptr<VirtualTimeQueue> queue = std::make_shared<VirtualTimeQueue>();
    std::shared_ptr<TimedCanvas> canvas = std::make_shared<TimedCanvas>(*queue);
    std::shared_ptr<VXAPresenterView> view = std::make_shared<VXAPresenterView>(canvas, queue);

    void runUntilDrawn(std::size_t count) {
        queue->runUntil([&] { return canvas->drawings.size() >= count; });
    }
};

Bytes sampleData(std::size_t length) {
    Bytes data(length);
    for (std::size_t i = 0; i < length; ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return data;
}

TEST_F(PresenterFixture, CyclicPresentationOf585BytesAlternatesTwoBlocks) {
    const Bytes data = sampleData(585);
    EXPECT_TRUE(view->presentVexaQr(data, false, 0.0));
    runUntilDrawn(4);
    ASSERT_EQ(canvas->drawings.size(), 4u);
    const Bytes blockOne = {2, 1, 2, data[584]};
    Bytes blockZero = {2, 0, 2};
    blockZero.insert(blockZero.end(), data.begin(), data.begin() + 584);
    EXPECT_EQ(canvas->drawings[0].frame, blockOne);
    EXPECT_EQ(canvas->drawings[1].frame, blockZero);
    EXPECT_EQ(canvas->drawings[2].frame, blockOne);
    EXPECT_EQ(canvas->drawings[3].frame, blockZero);
}

TEST_F(PresenterFixture, LubyFramesAre597BytesWithAdvancingSeeds) {
    EXPECT_TRUE(view->presentVexaQr(sampleData(3000), true, 0.0));
    runUntilDrawn(3);
    ASSERT_EQ(canvas->drawings.size(), 3u);
    for (const auto& drawing : canvas->drawings) {
        ASSERT_EQ(drawing.frame.size(), 597u);
        EXPECT_EQ(drawing.frame[0], 1);
        EXPECT_EQ(Bytes(drawing.frame.begin() + 5, drawing.frame.begin() + 13), (Bytes{0, 0, 0x0b, 0xb8, 0, 0, 0, 8}));
    }
    EXPECT_NE(Bytes(canvas->drawings[0].frame.begin() + 1, canvas->drawings[0].frame.begin() + 5),
              Bytes(canvas->drawings[1].frame.begin() + 1, canvas->drawings[1].frame.begin() + 5));
}

TEST_F(PresenterFixture, PassesFollowTheSlowDownRateFromTheNextScheduledFrame) {
    EXPECT_TRUE(view->presentVexaQr(sampleData(100), false, 0.0));
    runUntilDrawn(2);
    view->setSlowDownRate(2.0);
    runUntilDrawn(4);
    ASSERT_EQ(canvas->drawings.size(), 4u);
    const auto& d = canvas->drawings;
    EXPECT_EQ(d[0].at, 0ms);
    EXPECT_EQ(d[1].at, 50ms);
    EXPECT_EQ(d[1].shownFor, 50ms); // scheduled before the rate changed
    EXPECT_EQ(d[2].at, 100ms);
    EXPECT_EQ(d[2].shownFor, 350ms);
    EXPECT_EQ(d[3].at, 450ms);
}

TEST(PresenterDelayTest, DelayIsTruncatedAndNegativeDelaysMeanAtOnce) {
    EXPECT_EQ(VXAPresenterView::frameDelay(0.0), 50ms);
    EXPECT_EQ(VXAPresenterView::frameDelay(1.0), 200ms);
    EXPECT_EQ(VXAPresenterView::frameDelay(0.1), 65ms);
    EXPECT_EQ(VXAPresenterView::frameDelay(0.005), 50ms); // 50.75 truncated
    EXPECT_EQ(VXAPresenterView::frameDelay(-0.1), 35ms);
    EXPECT_EQ(VXAPresenterView::frameDelay(-1.0), 0ms);
    EXPECT_EQ(VXAPresenterView::frameDelay(-1e15), 0ms);
}

// The rate whose delay is the largest double below 2^63 milliseconds, and the next rate up, whose
// delay is 2^63 and fits no signed 64-bit count.
const double kLargestKeptRate = (std::nextafter(0x1p63, 0.0) - 50.0) / 150.0;
const double kSmallestRefusedRate = std::nextafter(kLargestKeptRate, std::numeric_limits<double>::infinity());

TEST(PresenterDelayTest, EveryDelayThatFitsASigned64BitCountIsKept) {
    EXPECT_EQ(VXAPresenterView::frameDelay(24.0), 3650ms);
    EXPECT_EQ(VXAPresenterView::frameDelay(24000.0), 3600050ms); // beyond an hour
    EXPECT_EQ(VXAPresenterView::frameDelay(1e12), std::chrono::milliseconds(150000000000050));
    EXPECT_EQ(VXAPresenterView::frameDelay(kLargestKeptRate), std::chrono::milliseconds(9223372036854774784));
}

TEST(PresenterDelayTest, RatesWithoutASchedulableDelayGetTheFallback) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    for (const double rate : {kSmallestRefusedRate, 1e300, kInfinity, -kInfinity, -1e300, std::nan("")}) {
        EXPECT_EQ(VXAPresenterView::frameDelay(rate), VXAPresenterView::kFallbackFrameDelay) << rate;
    }
}

TEST_F(PresenterFixture, LongestDelayKeepsTheLoopScheduledWithoutOverflow) {
    EXPECT_TRUE(view->presentVexaQr(sampleData(100), true, kLargestKeptRate));
    runUntilDrawn(3); // the third pass is due beyond the clock's range: it waits at the end of time
    ASSERT_EQ(canvas->drawings.size(), 3u);
    EXPECT_EQ(canvas->drawings[1].at, std::chrono::milliseconds(9223372036854774784));
    EXPECT_EQ(canvas->drawings[2].at, std::chrono::milliseconds::max());
    EXPECT_EQ(canvas->drawings[2].shownFor, std::chrono::milliseconds(9223372036854774784));
}

TEST_F(PresenterFixture, InfiniteRateFallsBackToTheDefaultPace) {
    EXPECT_TRUE(view->presentVexaQr(sampleData(100), true, std::numeric_limits<double>::infinity()));
    runUntilDrawn(2);
    ASSERT_EQ(canvas->drawings.size(), 2u);
    EXPECT_EQ(canvas->drawings[1].at, VXAPresenterView::kFallbackFrameDelay);
}

TEST_F(PresenterFixture, ChangeGeneratorWithoutDataChangesNothing) {
    EXPECT_TRUE(view->changeGenerator(false));
    EXPECT_TRUE(view->doLuby());
    EXPECT_FALSE(view->hasGenerator());
    queue->runUntil([] { return false; });
    EXPECT_TRUE(canvas->drawings.empty());
}

TEST_F(PresenterFixture, ChangeGeneratorSwapsModesUnderTheRunningLoop) {
    EXPECT_TRUE(view->presentVexaQr(sampleData(1000), true, 0.0));
    runUntilDrawn(2);
    EXPECT_TRUE(view->changeGenerator(false));
    EXPECT_FALSE(view->doLuby());
    runUntilDrawn(4);
    ASSERT_EQ(canvas->drawings.size(), 4u);
    EXPECT_EQ(canvas->drawings[1].frame[0], 1);
    EXPECT_EQ(canvas->drawings[2].frame[0], 2);
    EXPECT_EQ(canvas->drawings[3].at - canvas->drawings[2].at, 50ms); // still one chain of passes
}

TEST_F(PresenterFixture, DataNoFrameCanCarryDrawsNothingAndSaysWhy) {
    const auto empty = view->presentVexaQr(Bytes(), true, 0.0);
    queue->runUntil([] { return false; });
    EXPECT_TRUE(canvas->drawings.empty());
    ASSERT_FALSE(empty);
    EXPECT_EQ(empty.failure().code, VexaQRGenerator::emptyData);
    const auto tooLarge = view->presentVexaQr(sampleData(148921), false, 0.0);
    queue->runUntil([] { return false; });
    EXPECT_TRUE(canvas->drawings.empty());
    EXPECT_FALSE(view->hasGenerator());
    ASSERT_FALSE(tooLarge);
    EXPECT_EQ(tooLarge.failure().code, VexaQRGenerator::dataTooLarge);
    // The same data fits luby mode, and the largest cyclic transfer still works.
    EXPECT_TRUE(view->changeGenerator(true));
    EXPECT_TRUE(view->hasGenerator());
    auto cyclicCanvas = std::make_shared<TimedCanvas>(*queue);
    auto largest = std::make_shared<VXAPresenterView>(cyclicCanvas, queue);
    EXPECT_TRUE(largest->presentVexaQr(sampleData(148920), false, 0.0));
    queue->runUntil([&] { return !cyclicCanvas->drawings.empty(); });
    ASSERT_EQ(cyclicCanvas->drawings.size(), 1u);
    EXPECT_EQ(cyclicCanvas->drawings[0].frame[2], 255);
}

TEST_F(PresenterFixture, LoopEndsWhenTheCanvasRefusesOrTheViewIsReleased) {
    EXPECT_TRUE(view->presentVexaQr(sampleData(100), true, 0.0));
    runUntilDrawn(1);
    canvas->accept = false;
    queue->runUntil([] { return false; });
    EXPECT_EQ(canvas->drawings.size(), 2u);
    EXPECT_EQ(view->framesDrawn(), 1u);

    auto otherCanvas = std::make_shared<TimedCanvas>(*queue);
    auto released = std::make_shared<VXAPresenterView>(otherCanvas, queue);
    EXPECT_TRUE(released->presentVexaQr(sampleData(100), true, 0.0));
    queue->runUntil([&] { return otherCanvas->drawings.size() == 1; });
    released.reset();
    queue->runUntil([] { return false; }); // returns only because no pass is scheduled any more
    EXPECT_EQ(otherCanvas->drawings.size(), 1u);
}

TEST_F(PresenterFixture, PresentingAgainWhileRunningAddsAChainOfPasses) {
    EXPECT_TRUE(view->presentVexaQr(sampleData(100), false, 0.0));
    runUntilDrawn(1);
    queue->runUntil([&] { return queue->now() >= 20ms || canvas->drawings.size() > 1; });
    EXPECT_TRUE(view->presentVexaQr(sampleData(100), false, 0.0));
    queue->runUntil([&] { return queue->now() >= 1000ms; });
    // Two interleaved chains, each at 20 frames per second.
    EXPECT_GE(canvas->drawings.size(), 39u);
}

} // namespace
} // namespace vexaqr
