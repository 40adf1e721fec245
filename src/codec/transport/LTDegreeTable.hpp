// LT::DegreeTable: the degree distribution an LT index set's size is drawn from. Immutable once built;
// the process-wide cache behind shared() is guarded, so tables may be taken from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace vexaqr::LT {

/// The degree distribution for K source packets (a robust soliton with spike at K / 8 + 1) and the
/// running sums that a degree draw walks. Shared between generators of one K.
struct DegreeTable {
    /// K + 1 probabilities; entry d is the probability of degree d, entry 0 is 0.
    std::vector<double> distribution;
    /// runningSums[i] = distribution[0] + ... + distribution[i], summed left to right.
    std::vector<double> runningSums;
    /// Where a search for a draw in [b / kDrawBuckets, (b + 1) / kDrawBuckets) starts and ends: the first
    /// running sum not below b / kDrawBuckets, for b = 0 ... kDrawBuckets, then runningSums.size().
    std::vector<std::uint32_t> bucketStarts;
    static constexpr std::uint32_t kDrawBuckets = 4096;

    /// The first index whose running sum is not below `a` (0 <= a <= 1), as std::lower_bound finds it.
    std::size_t firstSumNotBelow(double a) const;
    /// The same for the draw of a random-source state, PRNG::drawOf(state); most states need no division.
    std::size_t firstSumNotBelowDrawOf(std::uint32_t state) const;

    /// Builds the table afresh (O(K)); `packetCount` must be at least 1.
    static DegreeTable build(std::uint32_t packetCount);
    /// The table for `packetCount`, from a small process-wide cache (bit-identical to build()).
    static std::shared_ptr<const DegreeTable> shared(std::uint32_t packetCount);
};

} // namespace vexaqr::LT
