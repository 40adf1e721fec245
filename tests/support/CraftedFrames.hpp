// Luby frames a hostile peer can send: they pass every check of the frame reader, yet every packet combines
// two or more source packets and none ever touches the last one, so the transfer never completes. Shared by
// the tests, the benchmarks and the fuzz seeds.
#pragma once

#include "codec/transport/LTEncoder.hpp"
#include <vexaqr/Bytes.hpp>

#include "codec/transport/LTIndexSetGenerator.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexaqr::test {

/// `count` frames of `packetsPerFrame` 8-byte packets announcing `totalLength` bytes (at least a few thousand,
/// so that such seeds are common), their first seeds the smallest suitable ones from `firstSeed` on.
inline std::vector<Bytes> neverCompletingFrames(std::uint32_t totalLength, std::size_t count,
                                                std::uint32_t firstSeed = 1, std::size_t packetsPerFrame = 73) {
    const auto packetCount = static_cast<std::uint32_t>(LT::packetCountFor(totalLength, 8));
    LT::IndexSetGenerator generator(packetCount);
    LT::IndexSet indices;
    auto suitable = [&](std::uint32_t seed) {
        generator.setSeed(seed);
        for (std::size_t packet = 0; packet < packetsPerFrame; ++packet) {
            generator.generateIndices(indices);
            if (indices.size() < 2 || indices.back() == packetCount - 1) {
                return false;
            }
        }
        return true;
    };
    auto bigEndian = [](Bytes& frame, std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            frame.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    };
    std::vector<Bytes> frames;
    for (std::uint32_t seed = firstSeed; frames.size() < count; ++seed) {
        if (!suitable(seed)) {
            continue;
        }
        Bytes frame{0x01};
        bigEndian(frame, seed);
        bigEndian(frame, totalLength);
        bigEndian(frame, 8);
        for (std::size_t at = 0; at < packetsPerFrame * 8; ++at) {
            frame.push_back(static_cast<std::uint8_t>(seed + at)); // any payload: the sets are what matter
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

} // namespace vexaqr::test
