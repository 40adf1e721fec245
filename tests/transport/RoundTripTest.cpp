// Both transport modes end to end through base-45 text, with frames lost, repeated and reordered.
#include "TransportTestSupport.hpp"

#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/VexaQRDecoderImpl.hpp"
#include "codec/transport/VexaQRGenerator.hpp"

#include <gtest/gtest.h>

#include <deque>

using namespace vexaqr;
using namespace vexaqr::test;

namespace {

struct Channel {
    std::mt19937 engine;
    std::deque<std::string> inFlight; // a few frames overtake each other here

    // Loses 20% of the frames, repeats 10% and lets a frame overtake up to three others.
    std::vector<std::string> pass(std::string text) {
        std::vector<std::string> delivered;
        std::uniform_real_distribution<double> chance(0.0, 1.0);
        if (chance(engine) < 0.2) {
            return delivered;
        }
        inFlight.push_back(std::move(text));
        if (inFlight.size() < 4) {
            return delivered;
        }
        const auto pick = inFlight.begin() + static_cast<std::ptrdiff_t>(engine() % inFlight.size());
        delivered.push_back(*pick);
        if (chance(engine) < 0.1) {
            delivered.push_back(*pick);
        }
        inFlight.erase(pick);
        return delivered;
    }
};

void roundTrip(VxaAlgorithm algorithm, std::size_t length, VexaQRFrameSize frameSize = {}) {
    const Bytes data = randomBytes(length, static_cast<std::uint32_t>(length) * 3 + 1);
    auto made = VexaQRGenerator::make(data, algorithm, static_cast<std::uint32_t>(length) + 1000, frameSize);
    ASSERT_TRUE(made);
    RecordingDelegate delegate;
    VexaQRDecoderImpl reader(delegate);
    Channel channel{std::mt19937(static_cast<std::uint32_t>(length)), {}};

    const std::size_t perFrame =
        algorithm == VxaAlgorithm::luby ? frameSize.ltPacketsPerFrame * std::size_t{8} : frameSize.cyclicBlockLength;
    const std::size_t frameLimit =
        algorithm == VxaAlgorithm::luby ? length / perFrame * 3 + 40 : (length / perFrame + 1) * 12;
    std::size_t sent = 0;
    while (delegate.completed.empty() && sent < frameLimit) {
        const std::string text = Base45Converter::base45EncodedString(made.value()->nextQRContent());
        ++sent;
        for (const auto& received : channel.pass(text)) {
            reader.scannedQR(Base45Converter::dataFromBase45String(received));
        }
    }
    ASSERT_EQ(delegate.completed.size(), 1u)
        << nameOf(algorithm) << " " << length << " bytes, " << sent << " frames of " << perFrame;
    EXPECT_EQ(delegate.completed[0], data) << nameOf(algorithm) << " " << length;
    EXPECT_EQ(delegate.progress.back().percent, 1.0);
    for (const auto& report : delegate.progress) {
        EXPECT_EQ(report.algorithm, algorithm);
    }
}

class RoundTripTest : public ::testing::TestWithParam<std::size_t> {};

} // namespace

TEST_P(RoundTripTest, LubyFramesSurviveLossRepeatsAndReordering) {
    roundTrip(VxaAlgorithm::luby, GetParam());
}

TEST_P(RoundTripTest, CyclicFramesSurviveLossRepeatsAndReordering) {
    roundTrip(VxaAlgorithm::cyclic, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Lengths, RoundTripTest, ::testing::Values(1, 7, 8, 9, 584, 585, 4096, 148920));

namespace {

struct SizedTransfer {
    std::size_t length;
    VexaQRFrameSize frameSize;
};

// Names the case in test listings instead of its bytes.
void PrintTo(const SizedTransfer& transfer, std::ostream* out) {
    *out << transfer.length << " bytes, " << transfer.frameSize.ltPacketsPerFrame << " packets or "
         << transfer.frameSize.cyclicBlockLength << " block bytes a frame";
}

class FrameSizeRoundTripTest : public ::testing::TestWithParam<SizedTransfer> {};

} // namespace

TEST_P(FrameSizeRoundTripTest, LubyFramesOfAnySizeReachTheReader) {
    roundTrip(VxaAlgorithm::luby, GetParam().length, GetParam().frameSize);
}

TEST_P(FrameSizeRoundTripTest, CyclicFramesOfAnySizeReachTheReader) {
    roundTrip(VxaAlgorithm::cyclic, GetParam().length, GetParam().frameSize);
}

// Packet counts from one to a version-40 frame; blocks from one byte to one of version 40, each with
// its largest transfer of 255 blocks.
INSTANTIATE_TEST_SUITE_P(Sizes, FrameSizeRoundTripTest,
                         ::testing::Values(SizedTransfer{255, {1, 1}}, SizedTransfer{2000, {2, 8}},
                                           SizedTransfer{4096, {146, 100}}, SizedTransfer{100000, {299, 1307}},
                                           SizedTransfer{150000, {365, 2000}}, SizedTransfer{1, {366, 2945}},
                                           SizedTransfer{255 * 2945, {366, 2945}}));
