#include <vexaqr/Uuid.hpp>

#include "codec/platform/HexDigit.hpp"

#include <openssl/rand.h>

namespace vexaqr {

namespace {

constexpr std::array<std::size_t, 4> kHyphenPositions{8, 13, 18, 23};

bool isHyphenPosition(std::size_t index) {
    for (auto position : kHyphenPositions)
        if (index == position)
            return true;
    return false;
}

} // namespace

std::optional<Uuid> Uuid::random() {
    Uuid uuid;
    if (RAND_bytes(uuid.bytes.data(), static_cast<int>(uuid.bytes.size())) != 1) {
        return std::nullopt;
    }
    uuid.bytes[6] = static_cast<std::uint8_t>((uuid.bytes[6] & 0x0F) | 0x40);
    uuid.bytes[8] = static_cast<std::uint8_t>((uuid.bytes[8] & 0x3F) | 0x80);
    return uuid;
}

std::optional<Uuid> Uuid::fromString(std::string_view text) {
    if (text.size() != 36)
        return std::nullopt;
    Uuid uuid;
    std::size_t byteIndex = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (isHyphenPosition(i)) {
            if (text[i] != '-')
                return std::nullopt;
            ++i;
            continue;
        }
        const int high = hexDigitValue(text[i]);
        const int low = hexDigitValue(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        uuid.bytes[byteIndex++] = static_cast<std::uint8_t>(high << 4 | low);
        i += 2;
    }
    return uuid;
}

std::string Uuid::uuidString() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text.push_back('-');
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return text;
}

} // namespace vexaqr
