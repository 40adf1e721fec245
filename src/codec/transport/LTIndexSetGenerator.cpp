#include "codec/transport/LTIndexSetGenerator.hpp"

#include "codec/transport/LTDegreeTable.hpp"

#include <algorithm>
#include <bit>
#include <utility>

namespace vexaqr::LT {

namespace {

constexpr std::uint32_t kSmallDegree = 256; // above this an index set is read back from the bitmap, ascending

constexpr std::size_t kInsertionSorted = 24; // most sets: sorted in place with no call

void sortByInsertion(std::vector<std::uint32_t>& values) {
    for (std::size_t at = 1; at < values.size(); ++at) {
        const std::uint32_t value = values[at];
        std::size_t to = at;
        for (; to > 0 && values[to - 1] > value; --to) {
            values[to] = values[to - 1];
        }
        values[to] = value;
    }
}

// std::round for 0 <= x < 2^32 (halves away from zero) without the library call: x - trunc(x) is exact.
std::uint32_t roundHalfAway(double x) {
    const auto whole = static_cast<std::uint32_t>(x);
    return x - static_cast<double>(whole) >= 0.5 ? whole + 1 : whole;
}

} // namespace

IndexSetGenerator::IndexSetGenerator(std::uint32_t packetCount)
    : table(DegreeTable::shared(packetCount)), packetCount(packetCount) {}

const std::vector<double>& IndexSetGenerator::distribution() const {
    static const std::vector<double> none;
    return table ? table->distribution : none;
}

std::uint32_t IndexSetGenerator::degreeFor(double a) const {
    if (!table) {
        return 0;
    }
    // The walk "while a > s + entry i: s += entry i, i += 1" stops at the first running sum that is
    // not below a; the running sums never decrease, so a binary search finds the same index.
    const auto& sums = table->runningSums;
    const auto stop = std::lower_bound(sums.begin(), sums.end(), a);
    const auto degree = static_cast<std::uint32_t>(std::min<std::ptrdiff_t>(stop - sums.begin(), packetCount));
    return std::max<std::uint32_t>(degree, 1);
}

std::uint32_t IndexSetGenerator::generateDegree() {
    return degreeFor(prng.rand());
}

IndexSet IndexSetGenerator::generateIndices() {
    IndexSet indices;
    generateIndices(indices);
    return indices;
}

void IndexSetGenerator::generateIndices(IndexSet& indices) {
    indices.clear();
    appendIndices(indices);
    if (indices.size() <= kInsertionSorted) {
        sortByInsertion(indices);
    } else if (indices.size() <= kSmallDegree) {
        std::sort(indices.begin(), indices.end()); // large sets come out ascending already
    }
}

void IndexSetGenerator::appendIndices(std::vector<std::uint32_t>& indices) {
    const std::uint32_t degree = generateDegree();
    const double scale = static_cast<double>(packetCount - 1);
    auto drawIndex = [&] { return roundHalfAway(prng.rand() * scale); };

    // Repeats are found in a bitmap of the drawn indices, all clear between sets.
    marks.resize((packetCount + 63) / 64, 0);
    if (degree <= kSmallDegree) {
        // Small sets keep their drawing order; clearing their own marks costs less than reading the bitmap.
        const std::size_t first = indices.size();
        while (indices.size() - first < degree) {
            const std::uint32_t index = drawIndex();
            const std::uint64_t bit = std::uint64_t{1} << (index % 64);
            if ((marks[index / 64] & bit) == 0) {
                marks[index / 64] |= bit;
                indices.push_back(index);
            }
        }
        for (std::size_t at = first; at < indices.size(); ++at) {
            marks[indices[at] / 64] = 0;
        }
        return;
    }
    // Large sets: read the marks back in ascending order, clearing them.
    std::uint32_t distinct = 0;
    while (distinct < degree) {
        const std::uint32_t index = drawIndex();
        const std::uint64_t bit = std::uint64_t{1} << (index % 64);
        const std::uint64_t word = marks[index / 64];
        marks[index / 64] = word | bit;
        distinct += (word & bit) == 0 ? 1 : 0;
    }
    indices.reserve(indices.size() + degree);
    for (std::size_t word = 0; word < marks.size(); ++word) {
        for (std::uint64_t bits = std::exchange(marks[word], 0); bits != 0; bits &= bits - 1) {
            indices.push_back(static_cast<std::uint32_t>(word * 64 + static_cast<std::size_t>(std::countr_zero(bits))));
        }
    }
}

} // namespace vexaqr::LT
