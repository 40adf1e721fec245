#include "codec/transport/LTPRNG.hpp"

namespace vexaqr::LT {

namespace {

constexpr std::uint32_t kMultiplier = 1664525u;
constexpr std::uint32_t kIncrement = 1013904223u;
constexpr double kStateRange = 4294967295.0; // 2^32 - 1: both 0.0 and 1.0 are reachable

} // namespace

double PRNG::rand() {
    _seed = _seed * kMultiplier + kIncrement;
    return static_cast<double>(_seed) / kStateRange;
}

} // namespace vexaqr::LT
