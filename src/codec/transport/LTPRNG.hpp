// LT::PRNG: the random source both ends of an LT transfer draw index sets from. Every draw is bit-exact
// (IEEE double, one operation at a time), so the units that draw are compiled without fused multiply-add.
// Not thread-safe; each object is used by one thread at a time.
#pragma once

#include <cstdint>

namespace vexaqr::LT {

/// Linear congruential random source (multiplier 1664525, increment 1013904223, modulo 2^32).
class PRNG {
public:
    void setSeed(std::uint32_t seed) { _seed = seed; }
    /// The state after the last draw.
    std::uint32_t getSeed() const { return _seed; }
    /// Advances the state and returns it scaled to [0.0, 1.0] (divided by 2^32 - 1, so both ends occur).
    /// Inline: the index-set draws call it millions of times per transfer. One division, nothing to fuse.
    double rand() {
        _seed = _seed * kMultiplier + kIncrement;
        return static_cast<double>(_seed) / kStateRange;
    }

private:
    static constexpr std::uint32_t kMultiplier = 1664525u;
    static constexpr std::uint32_t kIncrement = 1013904223u;
    static constexpr double kStateRange = 4294967295.0; // 2^32 - 1: both 0.0 and 1.0 are reachable

    std::uint32_t _seed = 0;
};

} // namespace vexaqr::LT
