#include "codec/transport/LTIndexSetGenerator.hpp"

#include "codec/transport/LTDegreeTable.hpp"

#include <algorithm>
#include <bit>
#include <utility>

namespace vexaqr::LT {

namespace {

constexpr std::uint32_t kSmallDegree = 256;    // above this an index set is read back from the bitmap, ascending
constexpr std::uint32_t kInsertionSorted = 24; // most sets: sorted in place with no call
// A set is read back from the bitmap, rather than sorted, when the bitmap has at most this many words per index
// in the set: scanning a word costs less than a sort's share for an index.
constexpr std::uint32_t kBitmapWordsPerIndex = 8;

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

// One index draw: the random source times `scale` (K - 1), halves rounded away from zero.
inline std::uint32_t drawIndex(PRNG& prng, double scale) {
    return roundHalfAway(prng.rand() * scale);
}

} // namespace

IndexSetGenerator::IndexSetGenerator(std::uint32_t packetCount)
    : table(DegreeTable::shared(packetCount)), packetCount(packetCount), marks((packetCount + 63) / 64, 0) {}

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
    const auto degree = static_cast<std::uint32_t>(std::min<std::size_t>(table->firstSumNotBelow(a), packetCount));
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
    const std::uint32_t degree = generateDegree();
    if (degree <= kInsertionSorted) {
        appendSmall(degree, indices);
        sortByInsertion(indices);
    } else if (degree > kSmallDegree || packetCount / 64 <= kBitmapWordsPerIndex * degree) {
        appendAscending(degree, indices);
    } else {
        appendSmall(degree, indices);
        std::sort(indices.begin(), indices.end());
    }
}

void IndexSetGenerator::appendIndices(std::vector<std::uint32_t>& indices) {
    const std::uint32_t degree = generateDegree();
    if (degree <= kSmallDegree) {
        appendSmall(degree, indices);
    } else {
        appendInDrawingOrder(degree, indices);
    }
}

// Repeats are found in a bitmap of the drawn indices, all clear between sets. A small set keeps its drawing
// order; clearing its own marks costs less than reading the bitmap.
void IndexSetGenerator::appendSmall(std::uint32_t degree, std::vector<std::uint32_t>& indices) {
    const double scale = indexScale();
    PRNG draws = prng;
    const std::size_t first = indices.size();
    while (indices.size() - first < degree) {
        const std::uint32_t index = drawIndex(draws, scale);
        const std::uint64_t bit = std::uint64_t{1} << (index % 64);
        if ((marks[index / 64] & bit) == 0) {
            marks[index / 64] |= bit;
            indices.push_back(index);
        }
    }
    prng = draws;
    for (std::size_t at = first; at < indices.size(); ++at) {
        marks[indices[at] / 64] = 0;
    }
}

// A large set in drawing order, as for a small one: the draws of a large set repeat often, so each index is
// written where the next distinct one goes and kept only if it was not marked, without a branch to
// mispredict.
void IndexSetGenerator::appendInDrawingOrder(std::uint32_t degree, std::vector<std::uint32_t>& indices) {
    const double scale = indexScale();
    PRNG draws = prng;
    const std::size_t first = indices.size();
    indices.resize(first + degree);
    std::uint32_t* const set = indices.data() + first;
    for (std::uint32_t distinct = 0; distinct < degree;) {
        const std::uint32_t index = drawIndex(draws, scale);
        const std::uint64_t bit = std::uint64_t{1} << (index % 64);
        const std::uint64_t word = marks[index / 64];
        marks[index / 64] = word | bit;
        set[distinct] = index;
        distinct += (word & bit) == 0 ? 1 : 0;
    }
    prng = draws;
    for (std::uint32_t at = 0; at < degree; ++at) {
        marks[set[at] / 64] = 0;
    }
}

// The same draws, the set read back from the bitmap in ascending order: for a large set that costs less
// than sorting it.
void IndexSetGenerator::appendAscending(std::uint32_t degree, std::vector<std::uint32_t>& indices) {
    const double scale = indexScale();
    PRNG draws = prng;
    std::uint32_t distinct = 0;
    while (distinct < degree) {
        const std::uint32_t index = drawIndex(draws, scale);
        const std::uint64_t bit = std::uint64_t{1} << (index % 64);
        const std::uint64_t word = marks[index / 64];
        marks[index / 64] = word | bit;
        distinct += (word & bit) == 0 ? 1 : 0;
    }
    prng = draws;
    indices.reserve(indices.size() + degree);
    for (std::size_t word = 0; word < marks.size(); ++word) {
        for (std::uint64_t bits = std::exchange(marks[word], 0); bits != 0; bits &= bits - 1) {
            indices.push_back(static_cast<std::uint32_t>(word * 64 + static_cast<std::size_t>(std::countr_zero(bits))));
        }
    }
}

} // namespace vexaqr::LT
