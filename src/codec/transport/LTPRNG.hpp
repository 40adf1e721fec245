// LT::PRNG: the random source both ends of an LT transfer draw index sets from. Every draw is bit-exact
// (IEEE double, one operation at a time), so the units that draw are compiled without fused multiply-add.
// Not thread-safe; each object is used by one thread at a time.
#pragma once

#include <cstdint>

namespace vexaqr::LT {

/// Linear congruential random source (multiplier 1664525, increment 1013904223, modulo 2^32).
class PRNG {
public:
    /// `steps` draws folded into one: the state after them is state * multiplier + increment (modulo 2^32).
    struct Jump {
        std::uint32_t multiplier = 1;
        std::uint32_t increment = 0;
    };
    static constexpr Jump jump(std::uint32_t steps) {
        Jump folded;
        for (std::uint32_t step = 0; step < steps; ++step) {
            folded = {folded.multiplier * kMultiplier, folded.increment * kMultiplier + kIncrement};
        }
        return folded;
    }
    /// The state after `state` (what one draw moves to).
    static constexpr std::uint32_t next(std::uint32_t state) { return state * kMultiplier + kIncrement; }
    /// The state as a draw: scaled to [0.0, 1.0] (divided by 2^32 - 1, so both ends occur).
    static double drawOf(std::uint32_t state) { return static_cast<double>(state) / kStateRange; }

    void setSeed(std::uint32_t seed) { _seed = seed; }
    /// The state after the last draw.
    std::uint32_t getSeed() const { return _seed; }
    /// Advances the state and returns its draw: the draw as both ends define it. The index-set generator
    /// computes the same through advance() and drawOf(), or without the division where that is exact.
    double rand() { return drawOf(advance()); }
    /// Advances the state and returns it, for a caller that needs the draw only sometimes.
    std::uint32_t advance() {
        _seed = next(_seed);
        return _seed;
    }

private:
    static constexpr std::uint32_t kMultiplier = 1664525u;
    static constexpr std::uint32_t kIncrement = 1013904223u;
    static constexpr double kStateRange = 4294967295.0; // 2^32 - 1: both 0.0 and 1.0 are reachable

    std::uint32_t _seed = 0;
};

} // namespace vexaqr::LT
