#include "codec/transport/LTIndexSetGenerator.hpp"

#include "codec/transport/LTDegreeTable.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vexaqr::LT {

namespace {

// A set of up to this many indices is drawn one by one, its repeats found among the set so far: waiting for a
// block of draws would cost it more than the block saves.
constexpr std::uint32_t kFewDraws = 16;
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

// An index draw is round(state / (2^32 - 1) * (K - 1)) in IEEE doubles, one rounding per operation, halves away
// from zero: what both ends of a transfer compute.
struct IndexByDoubles {
    double scale; // K - 1
    std::uint32_t operator()(std::uint32_t state) const { return roundHalfAway(PRNG::drawOf(state) * scale); }
};

// For K - 1 below kIntegerScales integers give the same index without a division. The doubles are within
// 2^-52 of the exact quotient state * (K - 1) / (2^32 - 1) relatively (two roundings), so within 2^-34 as the
// quotient is below 2^18; and the quotient is never within 1 / (2^33 - 2) of a half, since 2 * state * (K - 1)
// is even and an odd multiple of the odd 2^32 - 1 is odd. Both therefore round to the same integer.
constexpr std::uint32_t kIntegerScales = 1u << 18;

struct IndexByIntegers {
    std::uint32_t scale; // K - 1
    // floor((state * scale + 2^31 - 1) / (2^32 - 1)): a numerator high * 2^32 + low holds 2^32 - 1 high
    // times with high + low left over, which is less than twice 2^32 - 1.
    std::uint32_t operator()(std::uint32_t state) const {
        const std::uint64_t numerator = std::uint64_t{state} * scale + 0x7FFFFFFFu;
        const std::uint64_t high = numerator >> 32;
        return static_cast<std::uint32_t>(high + (((numerator & 0xFFFFFFFFu) + high + 1) >> 32));
    }
};

// Calls `draw` with the index rule for K - 1 = `scale`: integers where they are exact, else doubles.
template <class Draw> void withIndexRule(std::uint32_t scale, Draw draw) {
    if (scale < kIntegerScales) {
        draw(IndexByIntegers{scale});
    } else {
        draw(IndexByDoubles{static_cast<double>(scale)});
    }
}

// Draws from `prng` until `take` has counted `degree` distinct indices, and leaves `prng` after the last draw
// taken. take(index, distinct) returns 1 for an index not taken before in this set, else 0.
template <class IndexRule, class Take>
void drawDistinctOneByOne(PRNG& prng, IndexRule indexOf, std::uint32_t degree, Take& take) {
    std::uint32_t state = prng.getSeed();
    for (std::uint32_t distinct = 0; distinct < degree;) {
        state = PRNG::next(state);
        distinct += take(indexOf(state), distinct);
    }
    prng.setSeed(state);
}

#if defined(__x86_64__)
// Index draws are computed a block ahead, each from its own state (the state before the block jumped ahead),
// so that they need not wait for one another; the set then takes them one by one. A set's draws run until
// it holds `degree` distinct indices: a block asks for no more than that, in whole vectors.
constexpr std::uint32_t kBlockDraws = 64;
constexpr std::uint32_t kVectorDraws = 8;

struct BlockJumps {
    alignas(32) std::array<std::uint32_t, kBlockDraws> multipliers; // draw j of a block is j + 1 steps ahead
    alignas(32) std::array<std::uint32_t, kBlockDraws> increments;
};

constexpr BlockJumps blockJumps() {
    BlockJumps jumps{};
    for (std::uint32_t draw = 0; draw < kBlockDraws; ++draw) {
        jumps.multipliers[draw] = PRNG::jump(draw + 1).multiplier;
        jumps.increments[draw] = PRNG::jump(draw + 1).increment;
    }
    return jumps;
}

constexpr BlockJumps kBlockJumps = blockJumps();

// The state after the first `draws` (1 ... kBlockDraws) draws of a block from `state`.
std::uint32_t stateAfter(std::uint32_t state, std::uint32_t draws) {
    return state * kBlockJumps.multipliers[draws - 1] + kBlockJumps.increments[draws - 1];
}

// IndexByIntegers in the four 64-bit lanes of `states`, from the low half of each.
__attribute__((target("avx2"))) __m256i indicesOfLowHalves(__m256i states, __m256i scales) {
    const __m256i numerators = _mm256_add_epi64(_mm256_mul_epu32(states, scales), _mm256_set1_epi64x(0x7FFFFFFF));
    const __m256i highs = _mm256_srli_epi64(numerators, 32);
    const __m256i lows = _mm256_and_si256(numerators, _mm256_set1_epi64x(0xFFFFFFFF));
    const __m256i carries =
        _mm256_srli_epi64(_mm256_add_epi64(_mm256_add_epi64(lows, highs), _mm256_set1_epi64x(1)), 32);
    return _mm256_add_epi64(highs, carries);
}

// Writes the `count` (a multiple of kVectorDraws, at most kBlockDraws) index draws that follow `state`, eight at
// a time, by IndexByIntegers.
__attribute__((target("avx2"))) void drawBlock(std::uint32_t state, std::uint32_t scale, std::uint32_t count,
                                               std::uint32_t* indices) {
    const __m256i start = _mm256_set1_epi32(static_cast<int>(state));
    const __m256i scales = _mm256_set1_epi64x(scale);
    for (std::uint32_t draw = 0; draw < count; draw += kVectorDraws) {
        const auto* multipliers = reinterpret_cast<const __m256i*>(kBlockJumps.multipliers.data() + draw);
        const auto* increments = reinterpret_cast<const __m256i*>(kBlockJumps.increments.data() + draw);
        const __m256i states =
            _mm256_add_epi32(_mm256_mullo_epi32(start, _mm256_load_si256(multipliers)), _mm256_load_si256(increments));
        const __m256i even = indicesOfLowHalves(states, scales);
        const __m256i odd = indicesOfLowHalves(_mm256_srli_epi64(states, 32), scales);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(indices + draw),
                            _mm256_or_si256(even, _mm256_slli_epi64(odd, 32)));
    }
}

// The same draws as drawDistinctOneByOne with IndexByIntegers, a block at a time; the whole loop is compiled for
// vectors, with the block and `take` inlined into it.
template <class Take>
__attribute__((target("avx2"), flatten)) void drawDistinctByVectors(PRNG& prng, std::uint32_t scale,
                                                                    std::uint32_t degree, Take& take) {
    std::uint32_t state = prng.getSeed();
    std::array<std::uint32_t, kBlockDraws> block;
    for (std::uint32_t distinct = 0; distinct < degree;) {
        const std::uint32_t wanted = (degree - distinct + kVectorDraws - 1) / kVectorDraws * kVectorDraws;
        const std::uint32_t count = std::min(wanted, kBlockDraws);
        drawBlock(state, scale, count, block.data());
        std::uint32_t taken = 0;
        if (degree - distinct >= count) { // the set takes the whole block
            for (; taken < count; ++taken) {
                distinct += take(block[taken], distinct);
            }
        } else {
            for (; taken < count && distinct < degree; ++taken) {
                distinct += take(block[taken], distinct);
            }
        }
        state = stateAfter(state, taken);
    }
    prng.setSeed(state);
}

bool hasVectors() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

// The one place that picks how a set of more than kFewDraws is drawn: in blocks of vectors where the processor
// has them and integers give the indices (as for every accepted packet count), else one by one.
template <class Take> void drawDistinct(PRNG& prng, std::uint32_t scale, std::uint32_t degree, Take take) {
#if defined(__x86_64__)
    if (scale < kIntegerScales && hasVectors()) {
        drawDistinctByVectors(prng, scale, degree, take);
        return;
    }
#endif
    withIndexRule(scale, [&](auto indexOf) { drawDistinctOneByOne(prng, indexOf, degree, take); });
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
    return degreeAt(table->firstSumNotBelow(a));
}

std::uint32_t IndexSetGenerator::degreeAt(std::size_t firstSumNotBelow) const {
    const auto degree = static_cast<std::uint32_t>(std::min<std::size_t>(firstSumNotBelow, packetCount));
    return std::max<std::uint32_t>(degree, 1);
}

std::uint32_t IndexSetGenerator::generateDegree() {
    const std::uint32_t state = prng.advance();
    return table ? degreeAt(table->firstSumNotBelowDrawOf(state)) : 0;
}

IndexSet IndexSetGenerator::generateIndices() {
    IndexSet indices;
    generateIndices(indices);
    return indices;
}

void IndexSetGenerator::generateIndices(IndexSet& indices) {
    indices.clear();
    const std::uint32_t degree = generateDegree();
    if (degree <= kFewDraws) {
        appendFew(degree, indices);
        sortByInsertion(indices);
    } else if (degree <= kInsertionSorted) {
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
    if (degree <= kFewDraws) {
        appendFew(degree, indices);
    } else if (degree <= kSmallDegree) {
        appendSmall(degree, indices);
    } else {
        appendInDrawingOrder(degree, indices);
    }
}

// Most sets: their few draws look for repeats among the set so far, which is at hand, rather than in the
// bitmap, whose words a caller's work between two sets may have pushed out of the cache.
void IndexSetGenerator::appendFew(std::uint32_t degree, std::vector<std::uint32_t>& indices) {
    const std::size_t first = indices.size();
    indices.resize(first + degree);
    std::uint32_t* const set = indices.data() + first;
    auto take = [set](std::uint32_t index, std::uint32_t distinct) -> std::uint32_t {
        set[distinct] = index;
        return std::find(set, set + distinct, index) == set + distinct ? 1 : 0;
    };
    withIndexRule(indexScale(), [&](auto indexOf) { drawDistinctOneByOne(prng, indexOf, degree, take); });
}

// Repeats are found in a bitmap of the drawn indices, all clear between sets. A small set keeps its drawing
// order; clearing its own marks costs less than reading the bitmap.
void IndexSetGenerator::appendSmall(std::uint32_t degree, std::vector<std::uint32_t>& indices) {
    const std::size_t first = indices.size();
    std::uint64_t* const bitmap = marks.data();
    drawDistinct(prng, indexScale(), degree, [&](std::uint32_t index, std::uint32_t) -> std::uint32_t {
        const std::uint64_t bit = std::uint64_t{1} << (index % 64);
        if ((bitmap[index / 64] & bit) != 0) {
            return 0;
        }
        bitmap[index / 64] |= bit;
        indices.push_back(index);
        return 1;
    });
    for (std::size_t at = first; at < indices.size(); ++at) {
        marks[indices[at] / 64] = 0;
    }
}

// A large set in drawing order, as for a small one: the draws of a large set repeat often, so each index is
// written where the next distinct one goes and kept only if it was not marked, without a branch to
// mispredict.
void IndexSetGenerator::appendInDrawingOrder(std::uint32_t degree, std::vector<std::uint32_t>& indices) {
    const std::size_t first = indices.size();
    indices.resize(first + degree);
    std::uint32_t* const set = indices.data() + first;
    std::uint64_t* const bitmap = marks.data();
    drawDistinct(prng, indexScale(), degree, [&](std::uint32_t index, std::uint32_t distinct) -> std::uint32_t {
        const std::uint64_t bit = std::uint64_t{1} << (index % 64);
        const std::uint64_t word = bitmap[index / 64];
        bitmap[index / 64] = word | bit;
        set[distinct] = index;
        return (word & bit) == 0 ? 1 : 0;
    });
    clearMarks(set, degree);
}

// A word cleared in passing costs less than a store to a scattered one: a set with few words of the bitmap
// per index clears it all.
void IndexSetGenerator::clearMarks(const std::uint32_t* set, std::uint32_t degree) {
    if (marks.size() <= kBitmapWordsPerIndex * std::size_t{degree}) {
        std::fill(marks.begin(), marks.end(), 0);
        return;
    }
    for (std::uint32_t at = 0; at < degree; ++at) {
        marks[set[at] / 64] = 0;
    }
}

// The same draws, the set read back from the bitmap in ascending order: for a large set that costs less
// than sorting it.
void IndexSetGenerator::appendAscending(std::uint32_t degree, std::vector<std::uint32_t>& indices) {
    std::uint64_t* const bitmap = marks.data();
    drawDistinct(prng, indexScale(), degree, [&](std::uint32_t index, std::uint32_t) -> std::uint32_t {
        const std::uint64_t bit = std::uint64_t{1} << (index % 64);
        const std::uint64_t word = bitmap[index / 64];
        bitmap[index / 64] = word | bit;
        return (word & bit) == 0 ? 1 : 0;
    });
    indices.reserve(indices.size() + degree);
    for (std::size_t word = 0; word < marks.size(); ++word) {
        for (std::uint64_t bits = std::exchange(marks[word], 0); bits != 0; bits &= bits - 1) {
            indices.push_back(static_cast<std::uint32_t>(word * 64 + static_cast<std::size_t>(std::countr_zero(bits))));
        }
    }
}

} // namespace vexaqr::LT
