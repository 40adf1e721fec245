#include "account/service/StrictBase64.hpp"

#include <array>
#include <cstdint>

namespace vexaqr {

namespace {

constexpr std::int8_t kNotInAlphabet = -1;

constexpr std::array<std::int8_t, 256> makeDecodingTable() {
    std::array<std::int8_t, 256> table{};
    table.fill(kNotInAlphabet);
    constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < alphabet.size(); ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
    }
    return table;
}

constexpr auto kDecodingTable = makeDecodingTable();

std::size_t paddingLength(std::string_view text) {
    if (text.ends_with("==")) {
        return 2;
    }
    return text.ends_with("=") ? 1 : 0;
}

} // namespace

std::optional<Bytes> decodeStrictBase64(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    const std::size_t padding = paddingLength(text);
    const std::string_view data = text.substr(0, text.size() - padding);
    Bytes bytes;
    bytes.reserve(text.size() / 4 * 3);
    std::uint32_t accumulator = 0;
    int bits = 0;
    for (const char c : data) {
        const std::int8_t value = kDecodingTable[static_cast<unsigned char>(c)];
        if (value == kNotInAlphabet) {
            return std::nullopt; // also "=" before the end
        }
        accumulator = (accumulator << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<std::uint8_t>(accumulator >> bits));
            accumulator &= (1u << bits) - 1;
        }
    }
    return bytes;
}

} // namespace vexaqr
