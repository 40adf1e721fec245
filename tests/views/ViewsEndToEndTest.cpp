// From bytes to pictures and back: the presenter draws, the pictures go through a lossy "camera", and
// the scanner rebuilds the record with the real QR detector.
#include "codec/pictures/GifCanvas.hpp"
#include "codec/pictures/GifFile.hpp"
#include "codec/pictures/PictureSequenceSource.hpp"
#include "codec/pictures/PngSequenceCanvas.hpp"
#include "codec/pictures/QrDetector.hpp"
#include "codec/pictures/QrRenderer.hpp"
#include "codec/platform/VirtualTimeQueue.hpp"
#include <vexaqr/platform/RunLoop.hpp>
#include <vexaqr/views/VXAPresenterView.hpp>
#include <vexaqr/views/VXAScannerView.hpp>

#include "views/ScannerTestSupport.hpp"
#include "views/ViewsTestSupport.hpp"

#include <gtest/gtest.h>

#include <random>

namespace vexaqr {
namespace {

using namespace std::chrono_literals;
using namespace vexaqr::test;

constexpr int kSide = 372; // four pixels per module of a version-17 symbol with its quiet zone

void present(const Bytes& data, bool doLuby, std::shared_ptr<Canvas> canvas, std::uint64_t frames) {
    auto queue = std::make_shared<VirtualTimeQueue>();
    auto view = std::make_shared<VXAPresenterView>(std::move(canvas), queue);
    EXPECT_TRUE(view->presentVexaQr(data, doLuby, 0.0));
    queue->runUntil([&] { return view->framesDrawn() >= frames; });
    ASSERT_EQ(view->framesDrawn(), frames);
}

// What a camera makes of the animation: a fifth of the frames missed, some seen twice, and now and then
// a picture with no symbol in it.
std::vector<Picture> lossyCamera(const std::vector<GifFrame>& frames, unsigned seed) {
    std::mt19937 random(seed);
    std::bernoulli_distribution missed(0.2), repeated(0.15), blank(0.1);
    std::vector<Picture> seen;
    for (const auto& frame : frames) {
        if (blank(random)) {
            seen.emplace_back(kSide, kSide);
        }
        if (missed(random)) {
            continue;
        }
        seen.push_back(frame.picture);
        if (repeated(random)) {
            seen.push_back(frame.picture);
        }
    }
    return seen;
}

// Scans until the first record; nothing when the pictures run out first.
std::optional<VXAData> scanFirstRecord(std::shared_ptr<PictureSequenceSource> source,
                                       const std::shared_ptr<RunLoop>& loop) {
    auto view = std::make_shared<VXAScannerView>([source] { return source; }, testKeys());
    std::optional<VXAData> result;
    bool done = false;
    view->startScanning(
        [&](std::optional<VXAData> record) {
            result = std::move(record);
            done = true;
            view->stopScanning();
        },
        nullptr);
    loop->runUntil([&] { return done || (source->isExhausted() && loop->pendingCount() == 0); }, 60s);
    return result;
}

void expectSameRecord(const std::optional<VXAData>& result, const Bytes& record, const Bytes& content) {
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->isValid());
    EXPECT_EQ(result->rawData(), record);
    EXPECT_EQ(result->actualVxaData, content);
}

class EndToEndTest : public ::testing::TestWithParam<bool> {};

TEST_P(EndToEndTest, AnimatedGifThroughALossyCameraGivesBackTheSealedRecord) {
    const bool doLuby = GetParam();
    const Bytes content = jsonContent(4000);
    const Bytes record = sealedRecord(content);
    test::TempDirectory folder;
    const auto path = pathIn(folder, "animation.gif");
    std::shared_ptr<GifCanvas> canvas = GifCanvas::create(path, kSide);
    ASSERT_TRUE(canvas);
    present(record, doLuby, canvas, 40);
    ASSERT_TRUE(canvas->finish());

    const auto frames = GifFile::readFrames(path);
    ASSERT_TRUE(frames);
    ASSERT_EQ(frames->size(), 40u);
    EXPECT_EQ(frames->front().delay, 50ms);
    auto loop = std::make_shared<RunLoop>();
    auto source = PictureSequenceSource::fromPictures(lossyCamera(*frames, doLuby ? 1 : 2), loop);
    expectSameRecord(scanFirstRecord(source, loop), record, content);
}

TEST_P(EndToEndTest, PngSequenceFolderGivesBackTheSealedRecord) {
    const bool doLuby = GetParam();
    const Bytes content = jsonContent(2000);
    const Bytes record = sealedRecord(content);
    test::TempDirectory folder;
    present(record, doLuby, std::make_shared<PngSequenceCanvas>(folder.path().string(), kSide), 20);
    auto loop = std::make_shared<RunLoop>();
    auto opened = PictureSequenceSource::open({folder.path().string()}, loop);
    ASSERT_TRUE(opened);
    auto source = std::static_pointer_cast<PictureSequenceSource>(opened.value());
    expectSameRecord(scanFirstRecord(source, loop), record, content);
}

TEST_P(EndToEndTest, SymbolsDrawnByQrencodeFromOurFrameTextsAreScannedToTheSameBytes) {
    const bool doLuby = GetParam();
    const Bytes content = jsonContent(1200);
    const Bytes record = sealedRecord(content);
    test::TempDirectory folder;
    const auto texts = frameTexts(record, doLuby ? VxaAlgorithm::luby : VxaAlgorithm::cyclic, 8, doLuby ? 99 : 0);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto file = pathIn(folder, "frame" + std::to_string(i) + ".png");
        ASSERT_EQ(runCommand("qrencode -l L -s 4 -o '" + file + "' -- '" + texts[i] + "'").status, 0);
    }
    auto loop = std::make_shared<RunLoop>();
    auto opened = PictureSequenceSource::open({folder.path().string()}, loop);
    ASSERT_TRUE(opened);
    auto source = std::static_pointer_cast<PictureSequenceSource>(opened.value());
    expectSameRecord(scanFirstRecord(source, loop), record, content);
}

INSTANTIATE_TEST_SUITE_P(BothModes, EndToEndTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "luby" : "cyclic"; });

TEST(EndToEndPictureTest, TwoBlocksSideBySideAreBothRead) {
    const Bytes record = sealedRecord(jsonContent(600));
    const auto texts = frameTexts(record, VxaAlgorithm::cyclic, 2);
    Picture both(2 * kSide, kSide);
    for (int i = 0; i < 2; ++i) {
        Picture one(kSide, kSide);
        QrRenderer::draw(*QrRenderer::render(texts[i]), one);
        for (int y = 0; y < kSide; ++y) {
            std::copy_n(&one.at(0, y), kSide, &both.at(i * kSide, y));
        }
    }
    auto loop = std::make_shared<RunLoop>();
    auto source = PictureSequenceSource::fromPictures({both}, loop);
    const auto received = scanFirstRecord(source, loop);
    ASSERT_TRUE(received && received->isValid());
    EXPECT_EQ(received->rawData(), record);
}

} // namespace
} // namespace vexaqr
