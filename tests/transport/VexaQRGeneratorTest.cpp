#include "TransportTestSupport.hpp"
#include "codec/transport/LTDecoder.hpp"

#include "codec/transport/CyclicVexaQRGenerator.hpp"
#include "codec/transport/LTCodedVexaQRGenerator.hpp"
#include "codec/transport/LTEncoderProxy.hpp"
#include "codec/transport/LTQRGenerator.hpp"
#include "codec/transport/VexaQRGenerator.hpp"
#include <vexaqr/transport/Transport.hpp>

#include <gtest/gtest.h>

#include <ctime>

using namespace vexaqr;
using namespace vexaqr::test;

namespace {

std::uint32_t seedOf(const Bytes& frame) {
    return static_cast<std::uint32_t>(frame[1]) << 24 | static_cast<std::uint32_t>(frame[2]) << 16 |
           static_cast<std::uint32_t>(frame[3]) << 8 | frame[4];
}

} // namespace

TEST(VexaQRGeneratorTest, ConstantsKeepTheirValues) {
    EXPECT_EQ(Constant::VexaQrGenerator::ltPacketsPerQr, 73);
    EXPECT_EQ(Constant::VexaQrGenerator::ltPacketLength, 8u);
    EXPECT_EQ(Constant::VexaQrGenerator::ltCodingFirstByte, 1);
    EXPECT_EQ(Constant::VexaQrGenerator::cyclicCodingFirstByte, 2);
}

TEST(VexaQRGeneratorTest, RefusesDataNoFrameCanCarry) {
    for (auto algorithm : {VxaAlgorithm::luby, VxaAlgorithm::cyclic}) {
        const auto empty = VexaQRGenerator::make({}, algorithm);
        EXPECT_FALSE(empty);
        EXPECT_EQ(empty.failure().domain, "VexaQRGenerator");
        EXPECT_EQ(empty.failure().code, VexaQRGenerator::emptyData);
        EXPECT_FALSE(empty.failure().message.empty());
    }
    const auto tooLarge = VexaQRGenerator::make(Bytes(148921), VxaAlgorithm::cyclic);
    EXPECT_FALSE(tooLarge);
    EXPECT_EQ(tooLarge.failure().code, VexaQRGenerator::dataTooLarge);

    const auto unknown = VexaQRGenerator::make(Bytes(5), static_cast<VxaAlgorithm>(3));
    EXPECT_EQ(unknown.failure().code, VexaQRGenerator::unknownAlgorithm);

    EXPECT_TRUE(VexaQRGenerator::make(Bytes(148920), VxaAlgorithm::cyclic));
    EXPECT_TRUE(VexaQRGenerator::make(Bytes(148921), VxaAlgorithm::luby));
}

TEST(VexaQRGeneratorTest, LubyDataIsLimitedToWhatEveryReaderAccepts) {
    const auto tooLarge = VexaQRGenerator::make(Bytes(LT::kMaximumTotalLength + 1, 1), VxaAlgorithm::luby);
    EXPECT_FALSE(tooLarge);
    EXPECT_EQ(tooLarge.failure().code, VexaQRGenerator::dataTooLarge);
    EXPECT_NE(tooLarge.failure().message.find("1048576"), std::string::npos) << tooLarge.failure().message;

    // The largest accepted transfer: a reader takes its packets and sizes its table for it.
    auto largest = VexaQRGenerator::make(Bytes(LT::kMaximumTotalLength, 1), VxaAlgorithm::luby, 77);
    ASSERT_TRUE(largest);
    const Bytes frame = largest.value()->nextQRContent();
    LT::Decoder decoder;
    decoder.setTotalLength(LT::kMaximumTotalLength);
    decoder.setSeed(77);
    decoder.processPacket(Bytes(frame.begin() + 13, frame.begin() + 21));
    EXPECT_EQ(decoder.getPacketCount(), LT::kMaximumTotalLength / 8);
}

TEST(VexaQRGeneratorTest, PublicConstructorsMakeInvalidGeneratorsForDataTheyCannotSend) {
    for (const Bytes& data : {Bytes{}, Bytes(VexaQRGenerator::maximumCyclicLength + 1, 1)}) {
        CyclicVexaQRGenerator cyclic(data); // used to divide by a block count of 0, or write count 0
        EXPECT_FALSE(cyclic.isValid()) << data.size();
        EXPECT_TRUE(cyclic.nextQRContent().empty());
        EXPECT_TRUE(cyclic.nextQRContent().empty());
    }
    for (const Bytes& data : {Bytes{}, Bytes(LT::kMaximumTotalLength + 1, 1)}) {
        LTQRGenerator frames(data, 1);
        EXPECT_FALSE(frames.isValid()) << data.size();
        EXPECT_TRUE(frames.nextQRContent().empty());
        LTCodedVexaQRGenerator coded(data, 1);
        EXPECT_FALSE(coded.isValid());
        EXPECT_TRUE(coded.nextQRContent().empty());
    }
    EXPECT_TRUE(CyclicVexaQRGenerator(Bytes(1, 1)).isValid());
    EXPECT_TRUE(LTCodedVexaQRGenerator(Bytes(1, 1), 1).isValid());
}

TEST(VexaQRGeneratorTest, EncoderProxyNeverNarrowsThePacketLength) {
    const Bytes data = randomBytes(64, 13);
    LTEncoderProxy zero(data, 0);
    EXPECT_FALSE(zero.isValid());
    EXPECT_TRUE(zero.nextPacket().empty());
    LTEncoderProxy wide(data, (std::uint64_t{1} << 32) + 8); // 8 once narrowed to 32 bits
    EXPECT_FALSE(wide.isValid());
    EXPECT_TRUE(wide.nextPacket().empty());
    LTEncoderProxy eight(data, 8, 3);
    EXPECT_TRUE(eight.isValid());
    EXPECT_EQ(eight.nextPacket().size(), 8u);
}

TEST(VexaQRGeneratorTest, LubyFramesHaveTheHeaderAndChainTheirSeeds) {
    const Bytes data = randomBytes(1000, 9);
    auto made = VexaQRGenerator::make(data, VxaAlgorithm::luby, 4242);
    ASSERT_TRUE(made);
    const Bytes first = made.value()->nextQRContent();
    const Bytes second = made.value()->nextQRContent();
    for (const Bytes& frame : {first, second}) {
        ASSERT_EQ(frame.size(), 597u);
        EXPECT_EQ(frame[0], 0x01);
        EXPECT_EQ(Bytes(frame.begin() + 5, frame.begin() + 9), (Bytes{0x00, 0x00, 0x03, 0xE8}));
        EXPECT_EQ(Bytes(frame.begin() + 9, frame.begin() + 13), (Bytes{0x00, 0x00, 0x00, 0x08}));
    }
    EXPECT_EQ(seedOf(first), 4242u);
    LT::IndexSetGenerator replay(125);
    replay.setSeed(4242);
    for (std::size_t packet = 0; packet < 73; ++packet) {
        const Bytes expected = packetOf(data, replay.generateIndices());
        EXPECT_EQ(Bytes(first.begin() + 13 + packet * 8, first.begin() + 21 + packet * 8), expected);
    }
    EXPECT_EQ(seedOf(second), replay.getSeed());
}

TEST(VexaQRGeneratorTest, LubyFramesWithoutASeedStartFromTheClock) {
    const auto before = static_cast<std::uint32_t>(std::time(nullptr));
    const Bytes frame = LTQRGenerator(Bytes(10, 1)).nextQRContent();
    const auto after = static_cast<std::uint32_t>(std::time(nullptr));
    EXPECT_GE(seedOf(frame), before);
    EXPECT_LE(seedOf(frame), after);
}

TEST(VexaQRGeneratorTest, LubyFramesMatchTheIndependentVectors) {
    const auto vectors = transportVectors();
    ASSERT_TRUE(vectors.is_object());
    ASSERT_GE(vectors["luby"].size(), 5u);
    for (const auto& vector : vectors["luby"]) {
        LTQRGenerator generator(fromHex(vector["dataHex"].get<std::string>()), vector["seed"].get<std::uint32_t>());
        for (const auto& frame : vector["frames"]) {
            EXPECT_EQ(generator.nextQRContent(), fromHex(frame.get<std::string>())) << "seed " << vector["seed"];
        }
    }
}

TEST(VexaQRGeneratorTest, DefaultFrameSizeIsTheLongstandingOne) {
    const VexaQRFrameSize size;
    EXPECT_EQ(size.ltPacketsPerFrame, 73u);
    EXPECT_EQ(size.cyclicBlockLength, 584u);
    EXPECT_EQ(size.lubyFrameLength(), 597u);
    EXPECT_EQ(size.cyclicFrameLength(), 587u);
    EXPECT_EQ(size.maximumCyclicLength(), VexaQRGenerator::maximumCyclicLength);
    EXPECT_EQ(CyclicVexaQRGenerator::defaultBlockLength, 584u);
}

TEST(VexaQRGeneratorTest, FramesOfOtherSizesMatchTheIndependentVectors) {
    const auto vectors = transportVectors();
    ASSERT_TRUE(vectors.is_object());
    ASSERT_GE(vectors["lubySized"].size(), 4u);
    for (const auto& vector : vectors["lubySized"]) {
        VexaQRFrameSize size;
        size.ltPacketsPerFrame = vector["packets"].get<std::uint32_t>();
        auto made = VexaQRGenerator::make(fromHex(vector["dataHex"].get<std::string>()), VxaAlgorithm::luby,
                                          vector["seed"].get<std::uint32_t>(), size);
        ASSERT_TRUE(made);
        for (const auto& frame : vector["frames"]) {
            EXPECT_EQ(made.value()->nextQRContent(), fromHex(frame.get<std::string>()))
                << size.ltPacketsPerFrame << " packets";
        }
    }
    ASSERT_GE(vectors["cyclic"].size(), 4u);
    for (const auto& vector : vectors["cyclic"]) {
        VexaQRFrameSize size;
        size.cyclicBlockLength = vector["blockLength"].get<std::size_t>();
        auto made = VexaQRGenerator::make(fromHex(vector["dataHex"].get<std::string>()), VxaAlgorithm::cyclic,
                                          std::nullopt, size);
        ASSERT_TRUE(made);
        for (const auto& frame : vector["frames"]) {
            EXPECT_EQ(made.value()->nextQRContent(), fromHex(frame.get<std::string>()))
                << size.cyclicBlockLength << "-byte blocks";
        }
    }
}

TEST(VexaQRGeneratorTest, ADoubleFrameIsTwoConsecutiveDefaultFramesJoined) {
    const Bytes data = randomBytes(5000, 21);
    LTQRGenerator single(data, 808);
    LTQRGenerator twice(data, 808, 146);
    const Bytes first = single.nextQRContent();
    const Bytes second = single.nextQRContent();
    Bytes joined = first;
    joined.insert(joined.end(), second.begin() + 13, second.end());
    EXPECT_EQ(twice.nextQRContent(), joined);
    // The next double frame starts where the third single frame does.
    EXPECT_EQ(seedOf(twice.nextQRContent()), seedOf(single.nextQRContent()));
}

TEST(VexaQRGeneratorTest, RefusesFrameSizesOutsideTheBounds) {
    const Bytes data = randomBytes(100, 22);
    for (std::uint32_t packets : {0u, VexaQRFrameSize::kMaximumLtPacketsPerFrame + 1}) {
        VexaQRFrameSize size;
        size.ltPacketsPerFrame = packets;
        const auto made = VexaQRGenerator::make(data, VxaAlgorithm::luby, 1, size);
        EXPECT_FALSE(made) << packets;
        EXPECT_EQ(made.failure().code, VexaQRGenerator::invalidFrameSize);
        LTQRGenerator frames(data, 1, packets);
        EXPECT_FALSE(frames.isValid());
        EXPECT_TRUE(frames.nextQRContent().empty());
    }
    for (std::size_t block : {std::size_t{0}, VexaQRFrameSize::kMaximumCyclicBlockLength + 1}) {
        VexaQRFrameSize size;
        size.cyclicBlockLength = block;
        const auto made = VexaQRGenerator::make(data, VxaAlgorithm::cyclic, std::nullopt, size);
        EXPECT_FALSE(made) << block;
        EXPECT_EQ(made.failure().code, VexaQRGenerator::invalidFrameSize);
        CyclicVexaQRGenerator cyclic(data, block); // a block of 0 would divide by zero
        EXPECT_FALSE(cyclic.isValid());
        EXPECT_TRUE(cyclic.nextQRContent().empty());
    }
    VexaQRFrameSize largest{VexaQRFrameSize::kMaximumLtPacketsPerFrame, VexaQRFrameSize::kMaximumCyclicBlockLength};
    EXPECT_TRUE(largest.isValid());
    EXPECT_TRUE(VexaQRGenerator::make(data, VxaAlgorithm::luby, 1, largest));
    EXPECT_TRUE(VexaQRGenerator::make(data, VxaAlgorithm::cyclic, 1, largest));
}

TEST(VexaQRGeneratorTest, LargestCyclicTransferGrowsWithTheBlock) {
    VexaQRFrameSize size;
    size.cyclicBlockLength = 1000;
    EXPECT_EQ(size.maximumCyclicLength(), 255000u);
    const auto tooLarge = VexaQRGenerator::make(Bytes(255001, 1), VxaAlgorithm::cyclic, std::nullopt, size);
    EXPECT_FALSE(tooLarge);
    EXPECT_EQ(tooLarge.failure().code, VexaQRGenerator::dataTooLarge);
    EXPECT_NE(tooLarge.failure().message.find("255000"), std::string::npos) << tooLarge.failure().message;
    EXPECT_FALSE(CyclicVexaQRGenerator(Bytes(255001, 1), 1000).isValid());

    auto largest = VexaQRGenerator::make(Bytes(255000, 4), VxaAlgorithm::cyclic, std::nullopt, size);
    ASSERT_TRUE(largest);
    Bytes frame;
    for (int call = 0; call < 254; ++call) {
        frame = largest.value()->nextQRContent();
    }
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 3), (Bytes{0x02, 0xFE, 0xFF}));
    EXPECT_EQ(frame.size(), 1003u);
}

TEST(VexaQRGeneratorTest, CyclicSingleBlockRepeatsBlockZero) {
    const Bytes data = randomBytes(584, 10);
    CyclicVexaQRGenerator generator(data);
    for (int call = 0; call < 3; ++call) {
        const Bytes frame = generator.nextQRContent();
        ASSERT_EQ(frame.size(), 587u);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 3), (Bytes{0x02, 0x00, 0x01}));
        EXPECT_EQ(Bytes(frame.begin() + 3, frame.end()), data);
    }
}

TEST(VexaQRGeneratorTest, CyclicBlocksRunFromOneAndWrap) {
    const Bytes data = randomBytes(585, 11);
    CyclicVexaQRGenerator generator(data);
    EXPECT_EQ(generator.nextQRContent(), (Bytes{0x02, 0x01, 0x02, data[584]}));
    const Bytes blockZero = generator.nextQRContent();
    ASSERT_EQ(blockZero.size(), 587u);
    EXPECT_EQ(Bytes(blockZero.begin(), blockZero.begin() + 3), (Bytes{0x02, 0x00, 0x02}));
    EXPECT_EQ(Bytes(blockZero.begin() + 3, blockZero.end()), Bytes(data.begin(), data.begin() + 584));
    EXPECT_EQ(generator.nextQRContent(), (Bytes{0x02, 0x01, 0x02, data[584]}));
}

TEST(VexaQRGeneratorTest, LargestCyclicTransferUsesAll255Blocks) {
    CyclicVexaQRGenerator generator(Bytes(148920, 3));
    Bytes frame;
    for (int call = 0; call < 254; ++call) {
        frame = generator.nextQRContent();
    }
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 3), (Bytes{0x02, 0xFE, 0xFF}));
    EXPECT_EQ(frame.size(), 587u);
    frame = generator.nextQRContent();
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 3), (Bytes{0x02, 0x00, 0xFF}));
}
