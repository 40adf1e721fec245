#include "codec/transport/Base45Converter.hpp"

#include "codec/platform/BignumHandle.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace vexaqr::Base45Converter {

namespace {

constexpr std::string_view kAlphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ*+-./: $%";
constexpr BN_ULONG kBase = 45;
constexpr std::size_t kFullChunkBytes = 81;
constexpr std::size_t kFullChunkCharacters = 118;
constexpr std::uint8_t kNotADigit = 0xFF;

// A BIGNUM is divided (or multiplied) by the largest power of 45 that fits one of its words, and
// that word is split into (or built from) single digits: one big-number step per group of digits.
constexpr std::size_t digitsPerWord() {
    std::size_t digits = 0;
    for (BN_ULONG power = 1; power <= std::numeric_limits<BN_ULONG>::max() / kBase; power *= kBase) {
        ++digits;
    }
    return digits;
}
constexpr std::size_t kDigitsPerWord = digitsPerWord();

constexpr BN_ULONG powerOf45(std::size_t exponent) {
    BN_ULONG power = 1;
    for (std::size_t i = 0; i < exponent; ++i) {
        power *= kBase;
    }
    return power;
}

constexpr std::array<std::uint8_t, 256> makeDigitValues() {
    std::array<std::uint8_t, 256> values{};
    values.fill(kNotADigit);
    for (std::size_t digit = 0; digit < kAlphabet.size(); ++digit) {
        values[static_cast<unsigned char>(kAlphabet[digit])] = static_cast<std::uint8_t>(digit);
    }
    return values;
}
constexpr std::array<std::uint8_t, 256> kDigitValues = makeDigitValues();

double log2Of45() {
    static const double value = std::log10(45.0) / std::log10(2.0);
    return value;
}

std::size_t byteCountFor(std::size_t characterCount) {
    if (characterCount == kFullChunkCharacters) {
        return kFullChunkBytes;
    }
    return static_cast<std::size_t>(std::floor(log2Of45() * static_cast<double>(characterCount) / 8.0));
}

// Appends the characters of chunk [data, data + size) to `out`; `number` is scratch space. False
// (out untouched) when the number cannot be built.
bool encodeChunk(const std::uint8_t* data, std::size_t size, BIGNUM* number, std::string& out) {
    const std::size_t target = getByteNumberFromLenfgth(size);
    if (BN_lebin2bn(data, static_cast<int>(size), number) == nullptr) {
        return false;
    }
    // Digits are written from the end (least significant last); the number is below 45^target, so
    // the last group's surplus digits are zeros that fall before the start.
    const std::size_t start = out.size();
    out.resize(start + target, kAlphabet[0]);
    std::size_t position = out.size();
    while (!BN_is_zero(number)) {
        BN_ULONG group = BN_div_word(number, powerOf45(kDigitsPerWord));
        for (std::size_t i = 0; i < kDigitsPerWord && position > start; ++i) {
            out[--position] = kAlphabet[group % kBase];
            group /= kBase;
        }
    }
    return true;
}

// Decodes one piece of characters into `out`; false (out untouched) when a character is not a digit.
bool decodeChunk(const char* characters, std::size_t count, BIGNUM* number, Bytes& out) {
    BN_zero(number);
    for (std::size_t start = 0; start < count; start += kDigitsPerWord) {
        const std::size_t groupSize = std::min(kDigitsPerWord, count - start);
        BN_ULONG group = 0;
        for (std::size_t i = 0; i < groupSize; ++i) {
            const std::uint8_t digit = kDigitValues[static_cast<unsigned char>(characters[start + i])];
            if (digit == kNotADigit) {
                return false;
            }
            group = group * kBase + digit;
        }
        if (!BN_mul_word(number, powerOf45(groupSize)) || !BN_add_word(number, group)) {
            return false;
        }
    }
    const std::size_t byteCount = byteCountFor(count);
    const std::size_t significant = static_cast<std::size_t>(BN_num_bytes(number));
    const std::size_t offset = out.size();
    out.resize(offset + std::max(byteCount, significant));
    if (BN_bn2lebinpad(number, out.data() + offset, static_cast<int>(out.size() - offset)) < 0) {
        out.resize(offset);
        return false;
    }
    out.resize(offset + byteCount); // keeps the low-order bytes of an over-wide number
    return true;
}

BignumPtr newBignum() {
    return BignumPtr(BN_new());
}

} // namespace

std::size_t getByteNumberFromLenfgth(std::size_t byteCount) {
    if (byteCount == kFullChunkBytes) {
        return kFullChunkCharacters;
    }
    return static_cast<std::size_t>(std::ceil(static_cast<double>(byteCount * 8) / log2Of45()));
}

std::size_t b45EncodedByteNumberFromDecodedData(const Bytes& data) {
    return getByteNumberFromLenfgth(data.size());
}

std::size_t decodedByteNumberFromB45EncodedData(const Bytes& characters) {
    return byteCountFor(characters.size());
}

std::string base45EncodedString(const Bytes& data) {
    std::string text;
    const auto number = newBignum();
    if (!number) {
        return text;
    }
    text.reserve((data.size() / kFullChunkBytes + 1) * kFullChunkCharacters);
    for (std::size_t offset = 0; offset < data.size(); offset += kFullChunkBytes) {
        if (!encodeChunk(data.data() + offset, std::min(kFullChunkBytes, data.size() - offset), number.get(), text)) {
            return {}; // a text with a chunk missing would decode to other bytes
        }
    }
    return text;
}

Bytes dataFromBase45String(std::string_view text) {
    Bytes data;
    const auto number = newBignum();
    if (!number) {
        return data;
    }
    data.reserve((text.size() / kFullChunkCharacters + 1) * kFullChunkBytes);
    for (std::size_t offset = 0; offset < text.size(); offset += kFullChunkCharacters) {
        decodeChunk(text.data() + offset, std::min(kFullChunkCharacters, text.size() - offset), number.get(), data);
    }
    return data;
}

Bytes base45EncodedData(const Bytes& chunk) {
    std::string text;
    const auto number = newBignum();
    if (!number || !encodeChunk(chunk.data(), chunk.size(), number.get(), text)) {
        return {};
    }
    return toBytes(text);
}

std::optional<Bytes> base45DecodedData(const Bytes& characters) {
    Bytes data;
    const auto number = newBignum();
    if (!number ||
        !decodeChunk(reinterpret_cast<const char*>(characters.data()), characters.size(), number.get(), data)) {
        return std::nullopt;
    }
    return data;
}

} // namespace vexaqr::Base45Converter
