#include "codec/transport/LTDegreeTable.hpp"

#include "codec/transport/LTPRNG.hpp"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

namespace vexaqr::LT {

namespace {

constexpr double kFailureParameter = 0.5;
constexpr std::size_t kCachedTables = 4; // a reader, an encoder and a spare K at a time

} // namespace

DegreeTable DegreeTable::build(std::uint32_t packetCount) {
    const std::uint32_t k = packetCount;
    const std::uint32_t spike = k / 8 + 1;
    const double ratio = static_cast<double>(k) / static_cast<double>(spike);

    DegreeTable table;
    auto& entries = table.distribution;
    entries.assign(static_cast<std::size_t>(k) + 1, 0.0);
    entries[1] = 1.0 / static_cast<double>(k);
    for (std::uint64_t d = 2; d <= k; ++d) {
        entries[d] = 1.0 / static_cast<double>(d * (d - 1));
    }
    for (std::uint64_t i = 1; i < spike; ++i) {
        entries[i] = entries[i] + 1.0 / static_cast<double>(i * spike);
    }
    entries[spike] = entries[spike] + std::log(ratio / kFailureParameter) / static_cast<double>(spike);

    double sum = 0.0;
    for (double entry : entries) {
        sum = sum + entry;
    }
    const double inverse = 1.0 / sum;
    double running = 0.0;
    table.runningSums.reserve(entries.size());
    for (double& entry : entries) {
        entry = entry * inverse;
        running = running + entry;
        table.runningSums.push_back(running);
    }
    const auto& sums = table.runningSums;
    for (std::uint32_t bucket = 0; bucket <= kDrawBuckets; ++bucket) {
        const double bound = static_cast<double>(bucket) / kDrawBuckets;
        table.bucketStarts.push_back(
            static_cast<std::uint32_t>(std::lower_bound(sums.begin(), sums.end(), bound) - sums.begin()));
    }
    table.bucketStarts.push_back(static_cast<std::uint32_t>(sums.size()));
    return table;
}

// A draw's bucket holds it between two exact bounds (scaling by a power of two is exact), and the first
// running sum not below it lies between theirs: only that stretch is searched. Draws outside [0, 1] take the
// end buckets, whose stretches reach the ends of the table.
std::size_t DegreeTable::firstSumNotBelow(double a) const {
    const double scaled = a * kDrawBuckets;
    const std::size_t bucket = !(scaled > 0.0)          ? 0
                               : scaled >= kDrawBuckets ? kDrawBuckets
                                                        : static_cast<std::size_t>(scaled);
    const auto from = runningSums.begin() + bucketStarts[bucket];
    const auto to = runningSums.begin() + bucketStarts[bucket + 1];
    return static_cast<std::size_t>(std::lower_bound(from, to, a) - runningSums.begin());
}

// A state's draw, state / (2^32 - 1), lies in the bucket of the state's top 12 bits: it is at least
// state / 2^32, and below the next multiple of 2^-12 by far more than a rounding. (Only the last state's draw,
// 1.0, lies in the bucket after; its answer is where the last bucket ends.) Where that bucket starts and ends at
// the same running sum, the sum is the answer: no division, no search.
std::size_t DegreeTable::firstSumNotBelowDrawOf(std::uint32_t state) const {
    static_assert(kDrawBuckets == 1u << 12);
    const std::uint32_t bucket = state >> 20;
    if (bucketStarts[bucket] == bucketStarts[bucket + 1]) {
        return bucketStarts[bucket];
    }
    return firstSumNotBelow(PRNG::drawOf(state));
}

std::shared_ptr<const DegreeTable> DegreeTable::shared(std::uint32_t packetCount) {
    static std::mutex mutex;
    static std::vector<std::pair<std::uint32_t, std::shared_ptr<const DegreeTable>>> recent; // newest last
    std::lock_guard lock(mutex);
    auto found =
        std::find_if(recent.begin(), recent.end(), [&](const auto& entry) { return entry.first == packetCount; });
    if (found == recent.end()) {
        if (recent.size() == kCachedTables) {
            recent.erase(recent.begin());
        }
        recent.emplace_back(packetCount, std::make_shared<const DegreeTable>(build(packetCount)));
        return recent.back().second;
    }
    std::rotate(found, found + 1, recent.end());
    return recent.back().second;
}

} // namespace vexaqr::LT
