// The presenter with frame sizes and symbol versions other than the defaults.
#include "codec/pictures/QrDetector.hpp"
#include "codec/pictures/QrRenderer.hpp"
#include "codec/pictures/QrSymbolCapacity.hpp"
#include "codec/platform/VirtualTimeQueue.hpp"
#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/VexaQRDecoderImpl.hpp"
#include "codec/transport/VexaQRGenerator.hpp"
#include <vexaqr/views/VXAPresenterView.hpp>

#include <gtest/gtest.h>

namespace vexaqr {
namespace {

// Keeps every picture drawn.
class KeepingCanvas final : public Canvas {
public:
    int width() const override { return 600; }
    int height() const override { return 600; }
    bool draw(const Picture& picture, std::chrono::milliseconds) override {
        pictures.push_back(picture);
        return true;
    }
    std::vector<Picture> pictures;
};

// Hands every completed transfer over.
class CollectingDelegate final : public VexaQRDecoderDelegate {
public:
    void vexaQRDecoder(VexaQRDecoder&, const Bytes& data) override { completed.push_back(data); }
    void vexaQRDecoder(VexaQRDecoder&, double, VxaAlgorithm) override {}
    std::vector<Bytes> completed;
};

struct FrameSizeFixture : ::testing::Test {
    std::shared_ptr<VirtualTimeQueue> queue = std::make_shared<VirtualTimeQueue>();
    std::shared_ptr<KeepingCanvas> canvas = std::make_shared<KeepingCanvas>();
    std::shared_ptr<VXAPresenterView> view = std::make_shared<VXAPresenterView>(canvas, queue);

    void runUntilDrawn(std::size_t count) {
        queue->runUntil([&] { return canvas->pictures.size() >= count; });
    }
    Bytes frameOf(const Picture& picture) {
        const auto texts = QrDetector::detect(picture);
        return texts.size() == 1 ? Base45Converter::dataFromBase45String(texts[0]) : Bytes();
    }
};

Bytes sampleData(std::size_t length) {
    Bytes data(length);
    for (std::size_t i = 0; i < length; ++i) {
        data[i] = static_cast<std::uint8_t>(i * 13 + 5);
    }
    return data;
}

TEST_F(FrameSizeFixture, FramesOfTheSizeAskedForReachAReader) {
    const Bytes data = sampleData(20000);
    view->setFrameSize({146, 1000});
    // The same frames every run. The eighth of this seed's frames fills the picture beside a small busy patch
    // that the reader once took for the only symbol in view.
    view->setGeneratorSeed(3656);
    EXPECT_TRUE(view->presentVexaQr(data, true, 0.0));
    CollectingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    for (std::size_t drawn = 1; delegate.completed.empty() && drawn <= 40; ++drawn) {
        runUntilDrawn(drawn);
        const Bytes frame = frameOf(canvas->pictures.back());
        ASSERT_EQ(frame.size(), 13u + 146 * 8);
        reader.scannedQR(frame);
    }
    ASSERT_EQ(delegate.completed.size(), 1u);
    EXPECT_EQ(delegate.completed[0], data);

    EXPECT_TRUE(view->changeGenerator(false));
    canvas->pictures.clear();
    runUntilDrawn(1);
    const Bytes block = frameOf(canvas->pictures[0]);
    ASSERT_EQ(block.size(), 1003u);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 3), (Bytes{2, 1, 20}));
}

TEST_F(FrameSizeFixture, EveryFrameIsDrawnAtTheVersionAskedFor) {
    const Bytes data = sampleData(700); // the last cyclic block is short and still drawn at version 25
    view->setSymbolVersion(25);
    EXPECT_TRUE(view->presentVexaQr(data, false, 0.0));
    runUntilDrawn(2);
    ASSERT_EQ(canvas->pictures.size(), 2u);
    for (const auto& picture : canvas->pictures) {
        const Bytes frame = frameOf(picture);
        ASSERT_FALSE(frame.empty());
        const auto symbol = QrRenderer::render(Base45Converter::base45EncodedString(frame), 25);
        ASSERT_TRUE(symbol);
        Picture expected(picture.width, picture.height);
        QrRenderer::draw(*symbol, expected);
        EXPECT_EQ(picture.pixels, expected.pixels);
    }
    EXPECT_FALSE(view->stopReason());
}

TEST_F(FrameSizeFixture, FrameTooLongForTheVersionDrawsNothingAndSaysWhatFits) {
    view->setSymbolVersion(16); // holds 854 characters; a default luby frame has 870
    EXPECT_TRUE(view->presentVexaQr(sampleData(5000), true, 0.0));
    queue->runUntil([] { return false; }); // returns because the loop ended
    EXPECT_TRUE(canvas->pictures.empty());
    ASSERT_TRUE(view->stopReason());
    EXPECT_EQ(view->stopReason()->domain, "VXAPresenterView");
    EXPECT_EQ(view->stopReason()->code, VXAPresenterView::frameDoesNotFitSymbol);
    const auto& message = view->stopReason()->message;
    EXPECT_NE(message.find("597 bytes"), std::string::npos) << message;
    EXPECT_NE(message.find("version-16"), std::string::npos) << message;
    const auto row = *QrSymbolCapacity::largestFrames(16);
    EXPECT_NE(message.find(std::to_string(row.ltPacketsPerFrame) + " packets"), std::string::npos) << message;

    // The table's frame size for that version fits it.
    view->setFrameSize(row.frameSize());
    EXPECT_TRUE(view->presentVexaQr(sampleData(5000), true, 0.0));
    runUntilDrawn(1);
    EXPECT_EQ(frameOf(canvas->pictures[0]).size(), 13u + row.ltPacketsPerFrame * 8);
    EXPECT_FALSE(view->stopReason());
}

TEST_F(FrameSizeFixture, RefusedFrameSizeGivesNoGenerator) {
    view->setFrameSize({0, 584});
    const auto refused = view->presentVexaQr(sampleData(100), true, 0.0);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.failure().code, VexaQRGenerator::invalidFrameSize);
    EXPECT_FALSE(view->hasGenerator());
    EXPECT_TRUE(view->changeGenerator(false)); // the block length is fine
    EXPECT_TRUE(view->hasGenerator());
}

} // namespace
} // namespace vexaqr
