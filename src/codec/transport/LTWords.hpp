// LT::xorWords: payloads are combined 8 bytes at a time; the decoder and the solver share this loop.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexaqr::LT {

/// target[i] ^= source[i] for `words` words.
inline void xorWords(std::uint64_t* target, const std::uint64_t* source, std::size_t words) {
    for (std::size_t i = 0; i < words; ++i) {
        target[i] ^= source[i];
    }
}

} // namespace vexaqr::LT
