#include "codec/payload/Base64.hpp"

#include <array>

namespace vexaqr::base64 {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kInvalid = 0xFF;

constexpr std::array<std::uint8_t, 256> makeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    for (auto& entry : table)
        entry = kInvalid;
    for (std::size_t i = 0; i < kAlphabet.size(); ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
    return table;
}

constexpr auto kDecodeTable = makeDecodeTable();

std::size_t paddingLength(std::string_view text) {
    if (text.ends_with("=="))
        return 2;
    if (text.ends_with("="))
        return 1;
    return 0;
}

} // namespace

std::string encode(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned group = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6)
            text.push_back(kAlphabet[(group >> shift) & 0x3F]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        const unsigned group = bytes[i] << 16 | (rest == 2 ? bytes[i + 1] << 8 : 0);
        text.push_back(kAlphabet[(group >> 18) & 0x3F]);
        text.push_back(kAlphabet[(group >> 12) & 0x3F]);
        text.push_back(rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=');
        text.push_back('=');
    }
    return text;
}

std::optional<Bytes> decode(std::string_view text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    const std::size_t padding = paddingLength(text);
    const std::string_view body = text.substr(0, text.size() - padding);
    Bytes bytes;
    bytes.reserve(text.size() / 4 * 3);
    unsigned accumulator = 0;
    int bits = 0;
    for (char c : body) {
        const std::uint8_t value = kDecodeTable[static_cast<unsigned char>(c)];
        if (value == kInvalid)
            return std::nullopt;
        accumulator = (accumulator << 6 | value) & 0xFFFFFF;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<std::uint8_t>(accumulator >> bits));
        }
    }
    return bytes;
}

} // namespace vexaqr::base64
