// LT::IndexSetGenerator: draws the degree and the index set of each LT packet from a running seed. Sender
// and receiver never transmit which source packets a coded packet combines: both derive the index set
// from the same seed, so the draws are bit-exact on every machine. Not thread-safe; each object is used by
// one thread at a time.
#pragma once

#include "codec/transport/LTPRNG.hpp"

#include <cstdint>
#include <memory>
#include <vector>

namespace vexaqr::LT {

struct DegreeTable;

/// An index set: distinct source-packet indices in ascending order.
using IndexSet = std::vector<std::uint32_t>;

/// Draws degrees and index sets for K source packets from a running seed.
class IndexSetGenerator {
public:
    /// A placeholder with K = 0; it must be replaced before use.
    IndexSetGenerator() = default;
    /// A generator for `packetCount` (>= 1) source packets, seed 0.
    explicit IndexSetGenerator(std::uint32_t packetCount);

    void setSeed(std::uint32_t seed) { prng.setSeed(seed); }
    std::uint32_t getSeed() const { return prng.getSeed(); }
    std::uint32_t getPacketCount() const { return packetCount; }
    /// The K + 1 degree probabilities (empty for the placeholder).
    const std::vector<double>& distribution() const;

    /// One draw of the random source mapped to a degree in 1 ... K.
    std::uint32_t generateDegree();
    /// The degree for a draw `a` in [0, 1]: the first degree whose running sum reaches `a`. A draw of
    /// exactly 0.0 (random-source state 0) would give degree 0; it gives degree 1 instead, here and
    /// therefore on both ends.
    std::uint32_t degreeFor(double a) const;
    /// One degree draw followed by index draws until the set holds that many distinct indices.
    IndexSet generateIndices();
    /// The same into `indices` (replacing what it held), so that a caller can reuse its storage.
    void generateIndices(IndexSet& indices);
    /// The same draws appended to `indices`, the set's own indices in no particular order (for callers that
    /// only count and combine them).
    void appendIndices(std::vector<std::uint32_t>& indices);

private:
    /// K - 1, what a draw of the random source is scaled by. While a set is drawn, this and the random source
    /// are kept in locals: as members, each write to the set or the bitmap would make the compiler store and
    /// load the state again around every draw, a store-to-load wait on the draws' one serial chain.
    std::uint32_t indexScale() const { return packetCount - 1; }
    /// The degree for the first running sum not below a draw: 1 ... K.
    std::uint32_t degreeAt(std::size_t firstSumNotBelow) const;
    void appendFew(std::uint32_t degree, std::vector<std::uint32_t>& indices);
    void appendSmall(std::uint32_t degree, std::vector<std::uint32_t>& indices);
    void appendInDrawingOrder(std::uint32_t degree, std::vector<std::uint32_t>& indices);
    void appendAscending(std::uint32_t degree, std::vector<std::uint32_t>& indices);
    void clearMarks(const std::uint32_t* set, std::uint32_t degree);

    PRNG prng;
    std::shared_ptr<const DegreeTable> table;
    std::uint32_t packetCount = 0;
    std::vector<std::uint64_t> marks; // a bit per source index, for repeats within a set; all clear between sets
};

} // namespace vexaqr::LT
