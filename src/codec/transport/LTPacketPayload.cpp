#include "codec/transport/LTPacketPayload.hpp"

#include <algorithm>
#include <cstring>

namespace vexaqr::LT {

PacketPayload& PacketPayload::operator^=(const PacketPayload& other) {
    // Equal lengths are the callers' contract; the shorter length bounds the loop all the same.
    const std::size_t length = std::min(_bytes.size(), other._bytes.size());
    std::uint8_t* target = _bytes.data();
    const std::uint8_t* source = other._bytes.data();
    std::size_t offset = 0;
    for (; offset + 8 <= length; offset += 8) {
        std::uint64_t a;
        std::uint64_t b;
        std::memcpy(&a, target + offset, 8);
        std::memcpy(&b, source + offset, 8);
        a ^= b;
        std::memcpy(target + offset, &a, 8);
    }
    for (; offset < length; ++offset) {
        target[offset] ^= source[offset];
    }
    return *this;
}

} // namespace vexaqr::LT
