#include "account/service/Utf8.hpp"

#include <cstddef>
#include <cstdint>

namespace vexaqr {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// Length of the well-formed sequence starting at `at` (after RFC 3629: no overlongs, no surrogates, at most
// U+10FFFF), or 0 when the byte there does not start one.
std::size_t sequenceLength(const Bytes& bytes, std::size_t at) {
    const std::uint8_t lead = bytes[at];
    const std::size_t left = bytes.size() - at;
    auto next = [&](std::size_t i, std::uint8_t low = 0x80, std::uint8_t high = 0xBF) {
        return i < left && bytes[at + i] >= low && bytes[at + i] <= high;
    };
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return next(1) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const std::uint8_t low = lead == 0xE0 ? 0xA0 : 0x80;
        const std::uint8_t high = lead == 0xED ? 0x9F : 0xBF;
        return next(1, low, high) && next(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const std::uint8_t low = lead == 0xF0 ? 0x90 : 0x80;
        const std::uint8_t high = lead == 0xF4 ? 0x8F : 0xBF;
        return next(1, low, high) && next(2) && next(3) ? 4 : 0;
    }
    return 0;
}

} // namespace

std::string utf8WithReplacements(const Bytes& bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t length = sequenceLength(bytes, at);
        if (length == 0) {
            text += kReplacementCharacter;
            ++at;
            continue;
        }
        text.append(reinterpret_cast<const char*>(bytes.data() + at), length);
        at += length;
    }
    return text;
}

} // namespace vexaqr
