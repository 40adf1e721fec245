#include "codec/payload/DerStripping.hpp"

#include <algorithm>

namespace vexaqr::der {

namespace {

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kBitString = 0x03;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kExtendedLength = 0x80;
constexpr std::size_t kOctetStringOffset = 22;
constexpr std::size_t kMaxLengthBytes = sizeof(std::size_t);

// Index after a DER length whose first byte is at `index`, skipped the way the import reads it.
std::size_t skipLength(const Bytes& key, std::size_t index) {
    const std::uint8_t first = key[index];
    return first > kExtendedLength ? index + 1 + (first - kExtendedLength) : index + 1;
}

} // namespace

std::optional<Bytes> stripPublicKeyHeader(const Bytes& key) {
    if (key.size() < 2 || key[0] != kSequence)
        return std::nullopt;
    std::size_t index = skipLength(key, 1);
    if (index >= key.size())
        return std::nullopt;
    if (key[index] == kInteger)
        return key;
    if (key.size() - index < kRsaPemManagerRSAOIDHeader.size() ||
        !std::equal(kRsaPemManagerRSAOIDHeader.begin(), kRsaPemManagerRSAOIDHeader.end(), key.begin() + index))
        return std::nullopt;
    index += kRsaPemManagerRSAOIDHeader.size();
    if (index >= key.size() || key[index] != kBitString)
        return std::nullopt;
    ++index;
    if (index >= key.size())
        return std::nullopt;
    index = skipLength(key, index);
    if (index >= key.size() || key[index] != 0x00)
        return std::nullopt; // unused-bits count
    ++index;
    return Bytes(key.begin() + static_cast<std::ptrdiff_t>(index), key.end());
}

std::optional<Bytes> stripPrivateKeyHeader(const Bytes& key) {
    if (key.size() <= kOctetStringOffset)
        return std::nullopt;
    if (key[kOctetStringOffset] != kOctetString)
        return key;
    if (key.size() <= kOctetStringOffset + 1)
        return std::nullopt;
    const std::uint8_t lengthByte = key[kOctetStringOffset + 1];
    std::size_t start = kOctetStringOffset + 2;
    std::size_t length = lengthByte;
    if (lengthByte & kExtendedLength) {
        const std::size_t lengthBytes = lengthByte & 0x7F;
        if (lengthBytes > kMaxLengthBytes || key.size() < start + lengthBytes)
            return std::nullopt;
        length = 0;
        for (std::size_t i = 0; i < lengthBytes; ++i)
            length = length << 8 | key[start + i];
        start += lengthBytes;
    }
    if (length > key.size() - start)
        return std::nullopt;
    return Bytes(key.begin() + static_cast<std::ptrdiff_t>(start),
                 key.begin() + static_cast<std::ptrdiff_t>(start + length));
}

} // namespace vexaqr::der
