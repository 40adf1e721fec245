// LT::PacketPayload: the bytes of one LT packet, as the encoder combines them. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vexaqr::LT {

/// One packet's bytes; XOR-combinable with a payload of the same length.
class PacketPayload {
public:
    explicit PacketPayload(std::vector<std::uint8_t> bytes) : _bytes(std::move(bytes)) {}
    /// `length` zero bytes.
    explicit PacketPayload(std::size_t length) : _bytes(length, 0) {}

    const std::vector<std::uint8_t>& bytes() const { return _bytes; }
    /// XORs `other` in, byte by byte. Both payloads must have the same length.
    PacketPayload& operator^=(const PacketPayload& other);

private:
    std::vector<std::uint8_t> _bytes;
};

} // namespace vexaqr::LT
