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
    double rand();

private:
    std::uint32_t _seed = 0;
};

} // namespace vexaqr::LT
