// The maximum-likelihood completion of the LT decoder, against peeling and against the rank of the
// received equations computed independently, directly and through the frame reader.
#include "TransportTestSupport.hpp"

#include "codec/transport/LTDecoder.hpp"

#include "codec/transport/LTQRGenerator.hpp"
#include "codec/transport/VexaQRDecoderImpl.hpp"

#include <gtest/gtest.h>

#include <random>

using namespace vexaqr;
using namespace vexaqr::test;

namespace {

// One random stream of packets fed to a peeling decoder, to a maximum-likelihood one solving after every
// packet, and to the reference rank.
struct ThreeWayStream {
    ThreeWayStream(std::uint32_t length, std::uint32_t seed)
        : data(randomBytes(length, seed)), packetCount((length + 7) / 8), generator(packetCount),
          reference(packetCount), engine(seed) {
        peeling.setTotalLength(length);
        solving.setTotalLength(length);
    }

    // Feeds one packet of a random seed (repeating the previous one now and then); returns its index set.
    LT::IndexSet feed(bool repeat) {
        if (!repeat) {
            seed = engine();
        }
        generator.setSeed(seed);
        const LT::IndexSet indices = generator.generateIndices();
        const Bytes packet = packetOf(data, indices);
        for (LT::Decoder* decoder : {&peeling, &solving}) {
            decoder->setSeed(seed);
            decoder->processPacket(packet);
        }
        solving.completeBySolving();
        reference.add(indices);
        return indices;
    }

    Bytes data;
    std::uint32_t packetCount;
    LT::IndexSetGenerator generator;
    ReferenceRank reference;
    std::mt19937 engine;
    std::uint32_t seed = 0;
    LT::Decoder peeling;
    LT::Decoder solving;
};

class CompletionDelegate final : public VexaQRDecoderDelegate {
public:
    void vexaQRDecoder(VexaQRDecoder&, const Bytes& decodedData) override { data = decodedData; }
    void vexaQRDecoder(VexaQRDecoder&, double, VxaAlgorithm) override {}
    std::optional<Bytes> data;
};

} // namespace

TEST(LTMaximumLikelihoodTest, CompletesAtTheRankKPacketWithThePeelingBytes) {
    int peelingBehind = 0;
    for (std::uint32_t length : {8u, 20u, 64u, 584u, 2400u, 8000u}) {
        for (std::uint32_t seed = 1; seed <= (length < 1000 ? 12u : 1u); ++seed) {
            ThreeWayStream stream(length, seed * 7919 + length);
            std::size_t packets = 0;
            while (!stream.peeling.isFinished()) {
                stream.feed(false);
                ++packets;
                ASSERT_EQ(stream.solving.isFinished(), stream.reference.rank() == stream.packetCount)
                    << "length " << length << ", seed " << seed << ", packet " << packets;
                ASSERT_TRUE(stream.solving.invariantsHold());
                ASSERT_LT(packets, 30u * stream.packetCount + 100);
                if (stream.solving.isFinished() && !stream.peeling.isFinished()) {
                    ++peelingBehind;
                    ASSERT_EQ(stream.solving.data(), stream.data);
                }
            }
            ASSERT_TRUE(stream.solving.isFinished());
            EXPECT_EQ(stream.solving.data(), stream.peeling.data());
            EXPECT_EQ(stream.solving.data(), stream.data);
        }
    }
    // Peeling needs more packets on most streams; the comparison above covered those stretches.
    EXPECT_GT(peelingBehind, 100);
}

TEST(LTMaximumLikelihoodTest, SolvesWhatPeelingCannotFinish) {
    // K = 3 and the sets {0, 1}, {1, 2}, {0, 1, 2}: no single source ever appears, yet the rank is 3.
    const Bytes data = randomBytes(24, 11);
    LT::Decoder peeling;
    LT::Decoder solving;
    for (const LT::IndexSet& indices : {LT::IndexSet{0, 1}, LT::IndexSet{1, 2}, LT::IndexSet{0, 1, 2}}) {
        const std::uint32_t seed = seedFor(3, indices);
        for (LT::Decoder* decoder : {&peeling, &solving}) {
            decoder->setTotalLength(24);
            decoder->setSeed(seed);
            decoder->processPacket(packetOf(data, indices));
        }
        EXPECT_FALSE(solving.isFinished() && indices.size() != 3); // not before the third equation
        solving.completeBySolving();
    }
    EXPECT_FALSE(peeling.isFinished());
    ASSERT_TRUE(solving.isFinished());
    EXPECT_EQ(solving.data(), data);
    EXPECT_EQ(solving.progress(), 1.0);
    EXPECT_TRUE(solving.invariantsHold());
    EXPECT_EQ(solving.heldCombinationCount(), 0u);
}

TEST(LTMaximumLikelihoodTest, RepeatedAndRefusedPacketsChangeNothing) {
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        ThreeWayStream stream(1200, seed);
        std::mt19937 coin(seed);
        std::size_t packets = 0;
        while (!stream.solving.isFinished()) {
            const bool repeat = packets > 0 && coin() % 4 == 0;
            const std::uint32_t before = stream.solving.getSeed();
            const std::uint64_t accepted = stream.solving.acceptedPacketCount();
            // After the first packet fixed the length, one of another length is refused: no change at all,
            // not even to the seed.
            if (packets > 0) {
                stream.solving.processPacket(Bytes(9, 0xee));
                stream.solving.completeBySolving();
            }
            ASSERT_EQ(stream.solving.getSeed(), before);
            ASSERT_EQ(stream.solving.acceptedPacketCount(), accepted);
            stream.feed(repeat);
            ++packets;
            ASSERT_EQ(stream.solving.isFinished(), stream.reference.rank() == stream.packetCount);
            ASSERT_TRUE(stream.solving.invariantsHold());
        }
        EXPECT_EQ(stream.solving.data(), stream.data);
    }
}

TEST(LTMaximumLikelihoodTest, ShortfallIsALowerBoundOnThePacketsStillNeeded) {
    ThreeWayStream stream(4000, 3);
    while (!stream.solving.isFinished()) {
        stream.feed(false);
        const std::uint32_t missingRank = stream.packetCount - stream.reference.rank();
        ASSERT_LE(stream.solving.knownShortfall(), missingRank);
    }
    EXPECT_EQ(stream.solving.knownShortfall(), 0u);
}

TEST(LTMaximumLikelihoodTest, ReaderCompletesAtTheEndOfTheFirstFrameOfRankK) {
    for (std::uint32_t length : {300u, 584u, 5000u, 20000u}) {
        for (std::uint32_t seed = 1; seed <= 4; ++seed) {
            const Bytes data = randomBytes(length, seed + length);
            const std::uint32_t packetCount = (length + 7) / 8;
            const std::uint32_t firstSeed = 0x20000000u + length * 16 + seed;

            // The frame at which the frames' equations reach rank K, from the reference elimination.
            LT::IndexSetGenerator generator(packetCount);
            generator.setSeed(firstSeed);
            ReferenceRank reference(packetCount);
            std::size_t rankFrame = 0;
            while (reference.rank() < packetCount) {
                for (int packet = 0; packet < 73; ++packet) {
                    reference.add(generator.generateIndices());
                }
                ++rankFrame;
            }

            std::size_t finishing[2] = {0, 0};
            for (const LTDecoderKind kind : {LTDecoderKind::peeling, LTDecoderKind::maximumLikelihood}) {
                LTQRGenerator frames(data, firstSeed);
                CompletionDelegate delegate;
                VexaQRDecoderImpl reader(delegate, kind);
                std::size_t fed = 0;
                while (!delegate.data && fed < 1000) {
                    reader.scannedQR(frames.nextQRContent());
                    ++fed;
                }
                ASSERT_TRUE(delegate.data);
                EXPECT_EQ(*delegate.data, data);
                EXPECT_EQ(reader.framesFed(), fed);
                finishing[kind == LTDecoderKind::maximumLikelihood] = fed;
            }
            EXPECT_EQ(finishing[1], rankFrame) << "length " << length << ", seed " << seed;
            EXPECT_LE(finishing[1], finishing[0]);
        }
    }
}
