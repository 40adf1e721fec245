#include "TransportTestSupport.hpp"

#include "codec/platform/SystemLog.hpp"
#include "codec/transport/LTQRGenerator.hpp"
#include "codec/transport/VexaQRDecoderImpl.hpp"

#include <gtest/gtest.h>

#include <barrier>
#include <thread>

using namespace vexaqr;
using namespace vexaqr::test;

namespace {

void appendBigEndian32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

Bytes lubyFrame(std::uint32_t seed, std::uint32_t totalLength, std::uint32_t packetLength, const Bytes& packets) {
    Bytes frame{0x01};
    appendBigEndian32(frame, seed);
    appendBigEndian32(frame, totalLength);
    appendBigEndian32(frame, packetLength);
    frame.insert(frame.end(), packets.begin(), packets.end());
    return frame;
}

Bytes cyclicFrame(std::uint8_t index, std::uint8_t count, const Bytes& block) {
    Bytes frame{0x02, index, count};
    frame.insert(frame.end(), block.begin(), block.end());
    return frame;
}

// Gives every frame its own first seed: a reader drops a luby frame whose seed is the previous frame's.
std::uint32_t freshSeed() {
    static std::uint32_t next = 0x10000000;
    return next += 0x1000;
}

class SystemLogCapture {
public:
    SystemLogCapture() {
        SystemLog::standard().setSink([this](std::string_view line) { lines.emplace_back(line); });
    }
    ~SystemLogCapture() { SystemLog::standard().setSink(nullptr); }
    std::vector<std::string> lines;
};

} // namespace

TEST(VexaQRDecoderImplTest, SameLubyFrameTwiceInARowIsIgnoredTheSecondTime) {
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    const Bytes frame = LTQRGenerator(randomBytes(4000, 1), freshSeed()).nextQRContent();
    reader.scannedQR(frame);
    EXPECT_EQ(delegate.progress.size(), 73u);
    reader.scannedQR(frame);
    EXPECT_EQ(delegate.progress.size(), 73u);
}

TEST(VexaQRDecoderImplTest, LubySeedZeroIsIgnoredRightAfterConstruction) {
    // Whatever other readers saw before: each reader starts from a last seed of 0.
    RecordingDelegate otherDelegate;
    VexaQRDecoderImpl other(otherDelegate);
    other.scannedQR(lubyFrame(7, 8, 8, Bytes(8, 1)));
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    reader.scannedQR(lubyFrame(0, 8, 8, Bytes(8, 1)));
    EXPECT_TRUE(delegate.events.empty());
    reader.scannedQR(lubyFrame(1, 8, 8, Bytes(8, 1)));
    EXPECT_EQ(delegate.completed.size(), 1u);
}

TEST(VexaQRDecoderImplTest, CyclicIndex99IsIgnoredRightAfterConstruction) {
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    reader.scannedQR(cyclicFrame(99, 100, {1}));
    EXPECT_TRUE(delegate.events.empty());
    reader.scannedQR(cyclicFrame(5, 100, {1}));
    ASSERT_EQ(delegate.progress.size(), 1u);
    EXPECT_DOUBLE_EQ(delegate.progress[0].percent, 0.01);
    EXPECT_EQ(delegate.progress[0].algorithm, VxaAlgorithm::cyclic);
}

TEST(VexaQRDecoderImplTest, SingleBlockTransferCompletesWithItsFirstFrame) {
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    reader.scannedQR(cyclicFrame(0, 1, {7, 8, 9}));
    EXPECT_EQ(delegate.events, (std::vector<std::string>{"progress", "data"}));
    EXPECT_EQ(delegate.progress[0].percent, 1.0);
    EXPECT_EQ(delegate.progress[0].algorithm, VxaAlgorithm::cyclic);
    EXPECT_EQ(delegate.completed, (std::vector<Bytes>{{7, 8, 9}}));
}

TEST(VexaQRDecoderImplTest, CyclicDataIsTheBlocksInIndexOrderEmptyOnesIncluded) {
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    reader.scannedQR(cyclicFrame(2, 3, {5, 6}));
    reader.scannedQR(cyclicFrame(1, 3, {}));
    reader.scannedQR(cyclicFrame(0, 3, {1, 2, 3}));
    ASSERT_EQ(delegate.completed.size(), 1u);
    EXPECT_EQ(delegate.completed[0], (Bytes{1, 2, 3, 5, 6}));
    ASSERT_EQ(delegate.progress.size(), 3u);
    EXPECT_DOUBLE_EQ(delegate.progress[1].percent, 2.0 / 3);
}

TEST(VexaQRDecoderImplTest, FilledSlotSeenAgainMovesThePreviousIndexWithoutProgress) {
    SystemLogCapture log;
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    reader.scannedQR(cyclicFrame(0, 3, {1}));
    reader.scannedQR(cyclicFrame(1, 3, {2}));
    reader.scannedQR(cyclicFrame(0, 3, {9})); // filled slot, new index: logged, not stored
    EXPECT_EQ(delegate.progress.size(), 2u);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"cyclic", "cyclic", "cyclic"}));
    reader.scannedQR(cyclicFrame(0, 3, {9})); // same index as the previous frame: not even logged
    EXPECT_EQ(log.lines.size(), 3u);
    reader.scannedQR(cyclicFrame(2, 3, {3}));
    ASSERT_EQ(delegate.completed.size(), 1u);
    EXPECT_EQ(delegate.completed[0], (Bytes{1, 2, 3}));
}

TEST(VexaQRDecoderImplTest, MalformedFramesAreIgnoredWithoutAnyChange) {
    SystemLogCapture log;
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    const std::uint32_t seed = freshSeed();
    Bytes shortLuby = lubyFrame(seed, 8, 8, {});
    shortLuby.pop_back();
    for (const Bytes& frame : {Bytes{}, Bytes{0x03, 0, 1, 2}, Bytes{0x00}, shortLuby, Bytes{0x02, 0x00},
                               cyclicFrame(0, 0, {1}), cyclicFrame(4, 4, {1}), cyclicFrame(200, 3, {1})}) {
        reader.scannedQR(frame);
    }
    EXPECT_TRUE(delegate.events.empty());
    EXPECT_TRUE(log.lines.empty());

    reader.scannedQR(cyclicFrame(1, 3, {1})); // fixes a table of 3 slots
    reader.scannedQR(cyclicFrame(3, 3, {1})); // outside the table: ignored, the previous index stays 1
    reader.scannedQR(cyclicFrame(1, 3, {1}));
    EXPECT_EQ(delegate.progress.size(), 1u);

    reader.scannedQR(lubyFrame(seed, 8, 8, Bytes(8, 4))); // the short frame did not store its seed
    EXPECT_EQ(delegate.completed, (std::vector<Bytes>{Bytes(8, 4)}));
}

TEST(VexaQRDecoderImplTest, CyclicFrameOfAnotherCountStartsAFreshTable) {
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    reader.scannedQR(cyclicFrame(0, 3, {1})); // part of one code ...
    reader.scannedQR(cyclicFrame(1, 3, {2}));
    reader.scannedQR(cyclicFrame(0, 2, {7})); // ... then the presenter shows other data
    ASSERT_EQ(delegate.progress.size(), 3u);
    EXPECT_DOUBLE_EQ(delegate.progress[2].percent, 0.5);
    reader.scannedQR(cyclicFrame(1, 2, {8}));
    EXPECT_EQ(delegate.completed, (std::vector<Bytes>{{7, 8}}));

    // The old blocks are gone: the first code needs all three blocks again.
    reader.scannedQR(cyclicFrame(0, 3, {1}));
    reader.scannedQR(cyclicFrame(2, 3, {3}));
    reader.scannedQR(cyclicFrame(1, 2, {9})); // a stray frame of the other code restarts once more
    reader.scannedQR(cyclicFrame(0, 3, {1}));
    reader.scannedQR(cyclicFrame(1, 3, {2}));
    reader.scannedQR(cyclicFrame(2, 3, {3}));
    EXPECT_EQ(delegate.completed, (std::vector<Bytes>{{7, 8}, {1, 2, 3}}));
    EXPECT_EQ(delegate.progress.back().percent, 1.0);
}

TEST(VexaQRDecoderImplTest, CraftedFrameOfTinyPacketsNeitherBloatsNorBlocksTheReader) {
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    reader.scannedQR(lubyFrame(freshSeed(), LT::kMaximumTotalLength, 1, {0xAB})); // 14 bytes
    ASSERT_EQ(delegate.progress.size(), 1u);
    EXPECT_EQ(delegate.progress[0].percent, 0.0);

    const Bytes data = randomBytes(2000, 14);
    LTQRGenerator generator(data, freshSeed());
    for (int frame = 0; frame < 100 && delegate.completed.empty(); ++frame) {
        reader.scannedQR(generator.nextQRContent());
    }
    EXPECT_EQ(delegate.completed, (std::vector<Bytes>{data}));
}

TEST(VexaQRDecoderImplTest, LubyFrameWithoutRoomForAPacketOnlyStoresItsSeed) {
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    const std::uint32_t seed = freshSeed();
    reader.scannedQR(lubyFrame(seed, 8, 8, Bytes(7, 1))); // 20 bytes: n = 0
    EXPECT_TRUE(delegate.events.empty());
    reader.scannedQR(lubyFrame(seed, 8, 8, Bytes(8, 1))); // same seed: ignored
    EXPECT_TRUE(delegate.events.empty());
    reader.scannedQR(lubyFrame(seed + 1, 8, 0, Bytes(64, 1))); // packet length 0: no packet
    EXPECT_TRUE(delegate.events.empty());
    reader.scannedQR(lubyFrame(seed + 2, 8, 8, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9, 9, 9, 9, 9})); // 28 bytes
    EXPECT_EQ(delegate.events, (std::vector<std::string>{"progress", "data"}));
    EXPECT_EQ(delegate.completed[0], (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(VexaQRDecoderImplTest, RefusedPacketsStillReportProgress) {
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    reader.scannedQR(lubyFrame(freshSeed(), 0, 8, Bytes(24, 1))); // total length 0
    ASSERT_EQ(delegate.progress.size(), 3u);
    reader.scannedQR(lubyFrame(freshSeed(), 0x7FFFFFFF, 8, Bytes(16, 1))); // far above the decoder's limit
    ASSERT_EQ(delegate.progress.size(), 5u);
    for (const auto& report : delegate.progress) {
        EXPECT_EQ(report.percent, 0.0);
        EXPECT_EQ(report.algorithm, VxaAlgorithm::luby);
    }
    EXPECT_TRUE(delegate.completed.empty());
}

TEST(VexaQRDecoderImplTest, CompletionStopsTheFrameAndResetsBeforeHandingOver) {
    SystemLogCapture log;
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    const Bytes small = randomBytes(8, 2);   // K = 1: the first packet completes the transfer
    const Bytes next = randomBytes(4000, 3); // K = 500: one frame cannot complete it
    std::size_t progressAtHandOver = 0;
    delegate.onData = [&](VexaQRDecoder& decoder, const Bytes&) {
        progressAtHandOver = delegate.progress.size();
        decoder.scannedQR(LTQRGenerator(next, freshSeed()).nextQRContent()); // starts a new transfer
    };
    reader.scannedQR(LTQRGenerator(small, freshSeed()).nextQRContent());
    EXPECT_EQ(progressAtHandOver, 1u);
    EXPECT_EQ(delegate.completed, (std::vector<Bytes>{small}));
    ASSERT_EQ(delegate.progress.size(), 74u);
    EXPECT_EQ(delegate.progress[0].percent, 1.0);
    EXPECT_LE(delegate.progress[1].percent, 1.0 / 50); // the fresh decoder knew nothing
    EXPECT_EQ(log.lines, (std::vector<std::string>{"luby", "luby"}));
}

TEST(VexaQRDecoderImplTest, LubyAndCyclicTransfersRunSideBySideAndEitherCompletionResetsBoth) {
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    const Bytes data = randomBytes(2000, 4);
    LTQRGenerator generator(data, freshSeed());
    reader.scannedQR(generator.nextQRContent());
    reader.scannedQR(cyclicFrame(0, 2, {1}));
    reader.scannedQR(cyclicFrame(1, 2, {2}));
    EXPECT_EQ(delegate.completed, (std::vector<Bytes>{{1, 2}}));
    const double before = delegate.progress.back().percent;
    reader.scannedQR(generator.nextQRContent()); // the luby decoder was reset by the cyclic completion
    EXPECT_EQ(before, 1.0);
    EXPECT_LT(delegate.progress.back().percent, 0.5);
    while (delegate.completed.size() < 2) {
        reader.scannedQR(generator.nextQRContent());
    }
    EXPECT_EQ(delegate.completed[1], data);
}

// Two threads each encode one luby stream and read it back with their own reader, each frame twice as a camera
// sees it, in lockstep so that both readers take the same frame at the same time: each reports exactly what it
// reports alone.
TEST(VexaQRDecoderImplTest, ReadersOnTwoThreadsReportWhatEachReportsAlone) {
    struct Report {
        std::vector<double> percents;
        std::vector<Bytes> completed;
    };
    const Bytes data = randomBytes(6000, 5);
    auto readBack = [&](LTDecoderKind kind, std::barrier<>* lockstep) {
        LTQRGenerator generator(data, 0x5EED0001);
        RecordingDelegate delegate;
        VexaQRDecoderImpl reader(delegate, kind);
        for (int frame = 0; frame < 20; ++frame) {
            const Bytes content = generator.nextQRContent();
            if (lockstep) {
                lockstep->arrive_and_wait();
            }
            reader.scannedQR(content);
            reader.scannedQR(content);
        }
        Report report{{}, delegate.completed};
        for (const auto& progress : delegate.progress) {
            report.percents.push_back(progress.percent);
        }
        return report;
    };
    const Report peelingAlone = readBack(LTDecoderKind::peeling, nullptr);
    const Report solvingAlone = readBack(LTDecoderKind::maximumLikelihood, nullptr);
    ASSERT_FALSE(peelingAlone.completed.empty());
    ASSERT_EQ(peelingAlone.completed[0], data);

    std::barrier lockstep(2);
    Report peeling;
    Report solving;
    std::thread first([&] { peeling = readBack(LTDecoderKind::peeling, &lockstep); });
    std::thread second([&] { solving = readBack(LTDecoderKind::maximumLikelihood, &lockstep); });
    first.join();
    second.join();
    EXPECT_EQ(peeling.percents, peelingAlone.percents);
    EXPECT_EQ(solving.percents, solvingAlone.percents);
    EXPECT_EQ(peeling.completed, peelingAlone.completed);
    EXPECT_EQ(solving.completed, solvingAlone.completed);
}
