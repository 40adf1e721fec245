// The synchronous sending calls: frame counts, the frames themselves, and the files they write.
#include "codec/pictures/GifFile.hpp"
#include "codec/pictures/PngFile.hpp"
#include "codec/transport/LTEncoder.hpp"
#include <vexaqr/sync/Encoding.hpp>
#include <vexaqr/sync/Receiver.hpp>

#include "views/ScannerTestSupport.hpp"
#include "views/ViewsTestSupport.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace vexaqr {
namespace {

using namespace vexaqr::test;

Bytes someBytes(std::size_t length) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 131 + 7);
    return bytes;
}

TEST(EncodingTest, FramesNeededCountsBlocksOrSimulatedLtFrames) {
    EXPECT_EQ(framesNeeded(584, VxaAlgorithm::cyclic, 0.0), 1u);
    EXPECT_EQ(framesNeeded(585, VxaAlgorithm::cyclic, 0.0), 2u);
    EXPECT_EQ(framesNeeded(3000, VxaAlgorithm::cyclic, 1.0), 12u); // two loops of 6 blocks
    EXPECT_EQ(framesNeeded(148920, VxaAlgorithm::cyclic, 0.0), 255u);
    for (std::size_t size : {std::size_t{100}, std::size_t{3000}, std::size_t{40000}}) {
        const auto lossless = framesNeeded(size, VxaAlgorithm::luby, 0.0);
        const std::uint64_t informationBound = (LT::packetCountFor(size, 8) + 72) / 73;
        EXPECT_GE(lossless, informationBound) << size;
        EXPECT_LE(lossless, 3 * informationBound + 2) << size; // the peeling overhead stays modest
        EXPECT_EQ(framesNeeded(size, VxaAlgorithm::luby, 0.5), (lossless * 3 + 1) / 2) << size;
    }
    EXPECT_EQ(framesNeeded(0, VxaAlgorithm::luby, 1.0), 0u);
    EXPECT_EQ(framesNeeded(148921, VxaAlgorithm::cyclic, 1.0), 0u);
    EXPECT_EQ(framesNeeded(100, VxaAlgorithm::luby, -0.5), 0u);
}

// Lossless luby frame counts as decoding whole streams of zeros with a peeling decoder gave them, for
// several frame sizes: following the index sets alone must give exactly these.
TEST(EncodingTest, LubyFramesNeededAreThoseOfDecodingWholeStreams) {
    struct Case {
        std::size_t size;
        std::uint32_t packetsPerFrame;
        std::uint64_t frames;
    };
    const Case cases[] = {
        {1, 73, 1},         {100, 73, 1},        {511, 73, 2},        {2049, 73, 5},      {3000, 73, 7},
        {8192, 73, 18},     {16385, 73, 31},     {39417, 73, 81},     {40000, 73, 73},    {73348, 73, 148},
        {98802, 73, 184},   {100000, 73, 202},   {131072, 73, 243},   {252453, 73, 488},  {339663, 73, 680},
        {383552, 73, 680},  {454810, 73, 798},   {524288, 73, 966},   {682654, 73, 1196}, {777777, 73, 1521},
        {953993, 73, 1711}, {1048575, 73, 1935}, {1048576, 73, 1935}, {5, 1, 1},          {100, 1, 41},
        {1000, 1, 181},     {20000, 1, 2788},    {17, 8, 1},          {3000, 8, 57},      {65536, 8, 1120},
        {5000, 366, 2},     {100000, 366, 41},   {1048576, 366, 386},
    };
    for (const Case& c : cases) {
        VexaQRFrameSize frameSize;
        frameSize.ltPacketsPerFrame = c.packetsPerFrame;
        EXPECT_EQ(framesNeeded(c.size, VxaAlgorithm::luby, 0.0, frameSize), c.frames)
            << c.size << " bytes, " << c.packetsPerFrame << " packets per frame";
    }
}

TEST(EncodingTest, DefaultFrameCountLetsALosslessReceiverFinishWhateverTheSeed) {
    const Bytes data = someBytes(5000);
    const Keys noKeys;
    for (std::uint32_t seed : {1u, 77u, 4242u, 99999u, 123456789u}) {
        EncodeOptions options;
        options.seed = seed;
        options.margin = 0.25;
        const auto frames = encodeFrames(data, options);
        ASSERT_TRUE(frames) << frames.failure().message;
        EXPECT_EQ(frames->size(), framesNeeded(data.size(), VxaAlgorithm::luby, 0.25));
        Receiver receiver(noKeys);
        bool completed = false;
        for (const auto& text : *frames)
            completed = completed || receiver.feedFrameText(text).has_value();
        EXPECT_TRUE(completed) << "seed " << seed;
    }
}

TEST(EncodingTest, FramesAreThoseOfTheGeneratorForTheSameSeed) {
    const Bytes data = someBytes(2000);
    for (VxaAlgorithm mode : {VxaAlgorithm::luby, VxaAlgorithm::cyclic}) {
        EncodeOptions options;
        options.mode = mode;
        options.seed = 12345;
        options.frames = 7;
        const auto frames = encodeFrames(data, options);
        ASSERT_TRUE(frames);
        EXPECT_EQ(*frames, frameTexts(data, mode, 7, 12345));
    }
}

TEST(EncodingTest, PngSequenceReadsBackWithAnIndependentDecoder) {
    TempDirectory folder;
    const Bytes data = someBytes(1500);
    EncodeOptions options;
    options.seed = 777;
    options.frames = 3;
    options.size = 300;
    const auto written = writePngSequence(data, pathIn(folder, "frames"), options);
    ASSERT_TRUE(written) << written.failure().message;
    EXPECT_EQ(written->frames, 3u);
    EXPECT_EQ(written->side, 300);
    EXPECT_EQ(written->delay, std::chrono::milliseconds(50));
    const auto texts = encodeFrames(data, options);
    ASSERT_TRUE(texts);
    for (int i = 0; i < 3; ++i) {
        const auto path = pathIn(folder, "frames/frame-00000" + std::to_string(i) + ".png");
        const auto picture = PngFile::read(path);
        ASSERT_TRUE(picture) << path;
        EXPECT_EQ(picture->width, 300);
        const auto read = runCommand("zbarimg --quiet --raw -Sdisable -Sqrcode.enable '" + path + "' 2>/dev/null");
        EXPECT_EQ(read.output, (*texts)[static_cast<std::size_t>(i)] + "\n") << path;
    }
}

TEST(EncodingTest, AnimatedGifHoldsTheRequestedFramesWithThePresenterDelay) {
    TempDirectory folder;
    const Bytes data = someBytes(3000);
    EncodeOptions options;
    options.mode = VxaAlgorithm::cyclic;
    options.seconds = 2.0;
    options.slowDownRate = 1.0; // 200 ms apart
    options.size = 200;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reported; // for a progress bar: done, total
    options.progress = [&reported](std::uint64_t done, std::uint64_t total) { reported.emplace_back(done, total); };
    const auto path = pathIn(folder, "a.gif");
    const auto written = writeAnimatedGif(data, path, options);
    ASSERT_TRUE(written) << written.failure().message;
    EXPECT_EQ(written->frames, 10u);
    ASSERT_EQ(reported.size(), 10u);
    EXPECT_EQ(reported.front(), std::make_pair(std::uint64_t{1}, std::uint64_t{10}));
    EXPECT_EQ(reported.back(), std::make_pair(std::uint64_t{10}, std::uint64_t{10}));
    EXPECT_EQ(written->delay, std::chrono::milliseconds(200));
    const auto frames = GifFile::readFrames(path);
    ASSERT_TRUE(frames);
    ASSERT_EQ(frames->size(), 10u);
    EXPECT_EQ(frames->front().delay, std::chrono::milliseconds(200));
    EXPECT_EQ(frames->front().picture.width, 200);
}

TEST(EncodingTest, RefusalsSayWhatIsWrong) {
    TempDirectory folder;
    const auto reasonOf = [](const auto& outcome) {
        return outcome ? std::string("ok") : std::string(name(outcome.failure().reason));
    };
    EXPECT_EQ(reasonOf(encodeFrames({})), "unsendableData");
    EncodeOptions cyclic;
    cyclic.mode = VxaAlgorithm::cyclic;
    EXPECT_EQ(reasonOf(encodeFrames(someBytes(148921), cyclic)), "unsendableData");
    EncodeOptions both;
    both.frames = 3;
    both.seconds = 1.0;
    EXPECT_EQ(reasonOf(encodeFrames(someBytes(10), both)), "invalidOptions");
    EncodeOptions none;
    none.frames = 0;
    EXPECT_EQ(reasonOf(encodeFrames(someBytes(10), none)), "invalidOptions");
    EncodeOptions tiny;
    tiny.size = 10;
    EXPECT_EQ(reasonOf(encodePictures(someBytes(10), tiny)), "invalidOptions");

    const auto missingFolder = pathIn(folder, "missing/a.gif");
    const auto gif = writeAnimatedGif(someBytes(10), missingFolder);
    EXPECT_EQ(reasonOf(gif), "cannotWrite");
    EXPECT_NE(gif.failure().message.find(missingFolder), std::string::npos);
    // A refused transfer leaves no valid-looking empty animation behind.
    const auto emptyGif = pathIn(folder, "empty.gif");
    EXPECT_EQ(reasonOf(writeAnimatedGif({}, emptyGif)), "unsendableData");
    EXPECT_FALSE(std::filesystem::exists(emptyGif));

    const auto aFile = pathIn(folder, "file");
    std::ofstream(aFile) << "x";
    EXPECT_EQ(reasonOf(writePngSequence(someBytes(10), aFile)), "cannotWrite");
}

} // namespace
} // namespace vexaqr
