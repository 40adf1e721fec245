// The reader's estimated progress and its counters, for both LT decoders and for cyclic transfers.
#include "TransportTestSupport.hpp"

#include "codec/transport/CyclicVexaQRGenerator.hpp"
#include "codec/transport/LTQRGenerator.hpp"
#include "codec/transport/VexaQRDecoderImpl.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace vexaqr;
using namespace vexaqr::test;

namespace {

struct Fed {
    std::vector<double> estimates; // after each frame that was fed
    std::uint64_t frames = 0;
};

// Feeds the frames of one luby transfer, losing about a fifth and repeating some, until it completes;
// checks after every frame that the estimate never falls and stays below 1 until completion.
Fed feedUntilComplete(VexaQRDecoderImpl& reader, RecordingDelegate& delegate, LTQRGenerator& generator,
                      std::uint32_t seed) {
    std::mt19937 engine(seed);
    Fed fed;
    Bytes frame;
    const std::size_t before = delegate.completed.size();
    while (delegate.completed.size() == before) {
        const bool repeat = !frame.empty() && engine() % 6 == 0;
        if (!repeat) {
            Bytes next = generator.nextQRContent();
            if (engine() % 5 == 0) {
                continue; // lost
            }
            frame = std::move(next);
            ++fed.frames;
        }
        reader.scannedQR(frame);
        const double estimate = reader.estimatedProgress();
        EXPECT_GE(estimate, fed.estimates.empty() ? 0.0 : fed.estimates.back());
        if (delegate.completed.size() == before) {
            EXPECT_LT(estimate, 1.0);
        }
        fed.estimates.push_back(estimate);
        EXPECT_LT(fed.frames, 2000u);
        if (fed.frames >= 2000) {
            break;
        }
    }
    return fed;
}

// Mean |estimate − frames fed so far ÷ frames the transfer needed| after each frame.
double meanError(const Fed& fed) {
    double sum = 0;
    for (std::size_t i = 0; i < fed.estimates.size(); ++i) {
        sum += std::abs(fed.estimates[i] - static_cast<double>(i + 1) / static_cast<double>(fed.estimates.size()));
    }
    return sum / static_cast<double>(fed.estimates.size());
}

} // namespace

TEST(EstimatedProgressTest, RisesWithTheFramesAndReachesOneOnlyAtCompletion) {
    for (const LTDecoderKind kind : {LTDecoderKind::peeling, LTDecoderKind::maximumLikelihood}) {
        for (std::uint32_t length : {100u, 2000u, 16000u}) {
            const Bytes data = randomBytes(length, length);
            LTQRGenerator generator(data, 0x30000000u + length + static_cast<std::uint32_t>(kind) * 0x1000000);
            RecordingDelegate delegate;
            VexaQRDecoderImpl reader(delegate, kind);
            EXPECT_EQ(reader.estimatedProgress(), 0.0);
            const Fed fed = feedUntilComplete(reader, delegate, generator, length);
            ASSERT_EQ(delegate.completed.size(), 1u);
            EXPECT_EQ(delegate.completed[0], data);
            EXPECT_EQ(reader.estimatedProgress(), 1.0);
            EXPECT_EQ(reader.framesFed(), fed.frames);
            EXPECT_EQ(reader.symbolCount(), (length + 7) / 8);
            EXPECT_GT(reader.packetsFed(), (fed.frames - 1) * 73);
            EXPECT_LE(reader.packetsFed(), fed.frames * 73);
            if (fed.frames > 4) {
                EXPECT_LT(meanError(fed), 0.1) << ltDecoderKindName(kind) << ", length " << length;
            }

            // The completed transfer's figures stay until a frame of the next one is taken (a frame completes
            // the smallest transfer at once).
            reader.scannedQR(generator.nextQRContent());
            EXPECT_EQ(reader.framesFed(), 1u);
            if (length > 100) {
                EXPECT_EQ(reader.packetsFed(), 73u);
                EXPECT_LT(reader.estimatedProgress(), 1.0);
            }
        }
    }
}

TEST(EstimatedProgressTest, FollowsTheFramesFarCloserThanTheKnownSymbols) {
    // A 40 KB transfer: the known symbols sit near zero for most frames and jump at the end.
    const Bytes data = randomBytes(40000, 99);
    LTQRGenerator generator(data, 0x31000000u);
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    const Fed fed = feedUntilComplete(reader, delegate, generator, 5);
    ASSERT_EQ(delegate.completed.size(), 1u);
    EXPECT_LT(meanError(fed), 0.05);
    // The documented progress is unchanged: multiples of 1 ÷ K, ending at 1.0 before the data.
    EXPECT_EQ(delegate.progress.back().percent, 1.0);
    EXPECT_EQ(delegate.events.back(), "data");
    const double midway = delegate.progress[delegate.progress.size() / 2].percent;
    EXPECT_LT(midway, 0.3); // what the estimate is there to improve on
}

TEST(EstimatedProgressTest, MaximumLikelihoodCompletionReportsFullProgressBeforeTheData) {
    const Bytes data = randomBytes(6000, 3);
    LTQRGenerator generator(data, 0x32000000u);
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate, LTDecoderKind::maximumLikelihood);
    while (delegate.completed.empty()) {
        reader.scannedQR(generator.nextQRContent());
        ASSERT_LT(reader.framesFed(), 100u);
    }
    EXPECT_EQ(delegate.completed[0], data);
    ASSERT_GE(delegate.events.size(), 2u);
    EXPECT_EQ(delegate.events[delegate.events.size() - 2], "progress");
    EXPECT_EQ(delegate.progress.back().percent, 1.0);
    double previous = 0;
    for (const auto& step : delegate.progress) {
        EXPECT_GE(step.percent, previous);
        previous = step.percent;
    }
}

TEST(EstimatedProgressTest, CyclicEstimateIsTheShareOfBlocks) {
    const Bytes data = randomBytes(584 * 4, 8);
    CyclicVexaQRGenerator generator(data);
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    std::vector<double> estimates;
    while (delegate.completed.empty()) {
        reader.scannedQR(generator.nextQRContent());
        estimates.push_back(reader.estimatedProgress());
    }
    EXPECT_EQ(estimates, (std::vector<double>{0.25, 0.5, 0.75, 1.0}));
    EXPECT_EQ(reader.framesFed(), 4u);
    EXPECT_EQ(reader.packetsFed(), 0u);
    EXPECT_EQ(reader.symbolCount(), 4u);
}
