// Helpers shared by the transport tests: seed searches, packet building and a recording delegate.
#pragma once

#include "codec/transport/LTEncoder.hpp"
#include "codec/transport/VexaQRDecoderDelegate.hpp"
#include <vexaqr/Bytes.hpp>

#include "codec/transport/LTIndexSetGenerator.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vexaqr::test {

/// The random-source state whose next state is `state` (inverts the LCG step).
inline std::uint32_t stateBefore(std::uint32_t state) {
    std::uint32_t inverse = 1664525u; // Newton iteration for the inverse of the multiplier mod 2^32
    for (int i = 0; i < 5; ++i) {
        inverse *= 2u - 1664525u * inverse;
    }
    return (state - 1013904223u) * inverse;
}

/// The first seed from `start` whose next index set for K = `packetCount` is `wanted`.
inline std::uint32_t seedFor(std::uint32_t packetCount, const LT::IndexSet& wanted, std::uint32_t start = 1) {
    LT::IndexSetGenerator generator(packetCount);
    for (std::uint32_t seed = start;; ++seed) {
        generator.setSeed(seed);
        if (generator.generateIndices() == wanted) {
            return seed;
        }
    }
}

/// The seed that follows one packet drawn from `seed`.
inline std::uint32_t seedAfter(std::uint32_t packetCount, std::uint32_t seed) {
    LT::IndexSetGenerator generator(packetCount);
    generator.setSeed(seed);
    generator.generateIndices();
    return generator.getSeed();
}

inline Bytes randomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 engine(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes bytes(count);
    for (auto& value : bytes) {
        value = static_cast<std::uint8_t>(byte(engine));
    }
    return bytes;
}

/// The XOR of the 8-byte source packets of `data` (zero-filled at the end) named in `indices`.
inline Bytes packetOf(const Bytes& data, const LT::IndexSet& indices, std::size_t packetLength = 8) {
    Bytes packet(packetLength, 0);
    for (std::uint32_t index : indices) {
        for (std::size_t i = 0; i < packetLength; ++i) {
            const std::size_t at = index * packetLength + i;
            packet[i] ^= at < data.size() ? data[at] : 0;
        }
    }
    return packet;
}

inline Bytes fromHex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

/// tests/data/transport/transport_vectors.json, written by the separate Python implementation beside it;
/// null when the file cannot be read.
inline nlohmann::json transportVectors() {
    std::ifstream file(VEXAQR_TEST_DATA_DIR "/transport/transport_vectors.json");
    return file ? nlohmann::json::parse(file, nullptr, false) : nlohmann::json();
}

/// The rank over GF(2) of index sets added one at a time, by plain dense elimination: the yardstick that the
/// maximum-likelihood decoder must meet (it completes exactly when this reaches K).
class ReferenceRank {
public:
    explicit ReferenceRank(std::uint32_t unknowns) : _words((unknowns + 63) / 64), _basis(unknowns) {}

    /// Adds one equation; true when it raised the rank.
    bool add(const LT::IndexSet& indices) {
        std::vector<std::uint64_t> row(_words, 0);
        for (std::uint32_t index : indices) {
            row[index / 64] ^= std::uint64_t{1} << (index % 64);
        }
        for (std::size_t word = 0; word < _words; ++word) {
            while (row[word] != 0) {
                const std::size_t lead = word * 64 + static_cast<std::size_t>(__builtin_ctzll(row[word]));
                if (_basis[lead].empty()) {
                    _basis[lead] = std::move(row);
                    ++_rank;
                    return true;
                }
                for (std::size_t i = 0; i < _words; ++i) {
                    row[i] ^= _basis[lead][i];
                }
            }
        }
        return false;
    }
    std::uint32_t rank() const { return _rank; }

private:
    std::size_t _words;
    std::vector<std::vector<std::uint64_t>> _basis; // by lowest set bit
    std::uint32_t _rank = 0;
};

/// Records every delegate callback in order; `onData` may feed further frames.
class RecordingDelegate : public VexaQRDecoderDelegate {
public:
    struct Progress {
        double percent;
        VxaAlgorithm algorithm;
    };

    void vexaQRDecoder(VexaQRDecoder& decoder, const Bytes& decodedData) override {
        completed.push_back(decodedData);
        events.push_back("data");
        if (onData) {
            onData(decoder, decodedData);
        }
    }
    void vexaQRDecoder(VexaQRDecoder&, double percent, VxaAlgorithm algorithm) override {
        progress.push_back({percent, algorithm});
        events.push_back("progress");
    }

    std::vector<Bytes> completed;
    std::vector<Progress> progress;
    std::vector<std::string> events;
    std::function<void(VexaQRDecoder&, const Bytes&)> onData;
};

} // namespace vexaqr::test
