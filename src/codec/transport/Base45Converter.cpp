#include "codec/transport/Base45Converter.hpp"

#include "codec/platform/BignumHandle.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

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

constexpr std::array<std::uint64_t, kDigitsPerWord + 1> makePowersOf45() {
    std::array<std::uint64_t, kDigitsPerWord + 1> powers{};
    for (std::size_t exponent = 0; exponent < powers.size(); ++exponent) {
        powers[exponent] = powerOf45(exponent);
    }
    return powers;
}
constexpr std::array<std::uint64_t, kDigitsPerWord + 1> kPowersOf45 = makePowersOf45();

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

// A number in 64-bit words, least significant first: decoding only multiplies by a word and adds one, which the
// machine does natively, with none of a general big number's bookkeeping.
using Words = std::vector<std::uint64_t>;

void multiplyAdd(Words& number, std::uint64_t factor, std::uint64_t addend) {
    unsigned __int128 carry = addend;
    for (auto& word : number) {
        carry += static_cast<unsigned __int128>(word) * factor;
        word = static_cast<std::uint64_t>(carry);
        carry >>= 64;
    }
    if (carry != 0) {
        number.push_back(static_cast<std::uint64_t>(carry));
    }
}

// Decodes one piece of characters into `out`; false (out untouched) when a character is not a digit.
bool decodeChunk(const char* characters, std::size_t count, Words& number, Bytes& out) {
    static_assert(sizeof(BN_ULONG) == sizeof(std::uint64_t), "a group of digits fills one word");
    number.clear();
    for (std::size_t start = 0; start < count; start += kDigitsPerWord) {
        const std::size_t groupSize = std::min(kDigitsPerWord, count - start);
        // Each digit times its own power rather than a running product: the multiplications do not wait on
        // one another.
        std::uint64_t group = 0;
        for (std::size_t i = 0; i < groupSize; ++i) {
            const std::uint8_t digit = kDigitValues[static_cast<unsigned char>(characters[start + i])];
            if (digit == kNotADigit) {
                return false;
            }
            group += digit * kPowersOf45[groupSize - 1 - i];
        }
        multiplyAdd(number, kPowersOf45[groupSize], group);
    }
    // Little-endian bytes, as many as the character count carries; an over-wide number keeps its low-order ones.
    const std::size_t byteCount = byteCountFor(count);
    const std::size_t offset = out.size();
    out.resize(offset + byteCount, 0);
    for (std::size_t at = 0; at < byteCount && at / 8 < number.size(); ++at) {
        out[offset + at] = static_cast<std::uint8_t>(number[at / 8] >> (at % 8 * 8));
    }
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
    Words number;
    data.reserve((text.size() / kFullChunkCharacters + 1) * kFullChunkBytes);
    for (std::size_t offset = 0; offset < text.size(); offset += kFullChunkCharacters) {
        decodeChunk(text.data() + offset, std::min(kFullChunkCharacters, text.size() - offset), number, data);
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
    Words number;
    if (!decodeChunk(reinterpret_cast<const char*>(characters.data()), characters.size(), number, data)) {
        return std::nullopt;
    }
    return data;
}

} // namespace vexaqr::Base45Converter
