// LT::Encoder: the sending end of the LT (Luby transform) fountain code, and the limits of what a transfer
// carries, which both ends apply. The encoder combines source packets by index sets drawn from a running
// seed (LTIndexSetGenerator), which the receiver draws again from the seed in the frame. Not thread-safe;
// each encoder is used by one thread at a time, and encoders share nothing but immutable degree tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace vexaqr::LT {

class IndexSetGenerator;
class PacketPayload;

/// The largest byte string a luby transfer carries. Decoders refuse larger totals and encoders refuse
/// larger data, so that nothing is ever sent that no reader accepts.
inline constexpr std::uint32_t kMaximumTotalLength = 1u << 20;
/// The most source packets a transfer may have: the largest transfer in the generators' 8-byte packets.
/// It bounds what one crafted packet can make a decoder allocate (a slot per source packet).
inline constexpr std::uint32_t kMaximumPacketCount = kMaximumTotalLength / 8;

/// ceil(totalLength / packetLength) for a packet length of at least 1.
constexpr std::uint64_t packetCountFor(std::uint64_t totalLength, std::uint64_t packetLength) {
    return (totalLength + packetLength - 1) / packetLength;
}

/// Whether an encoder sends `totalLength` bytes in packets of `packetLength` bytes: 1 to
/// kMaximumTotalLength bytes, at most kMaximumPacketCount source packets (so every decoder accepts
/// them), and packets no longer than the largest transfer (so one packet cannot exhaust memory).
constexpr bool isReceivable(std::uint64_t totalLength, std::uint64_t packetLength) {
    return totalLength >= 1 && totalLength <= kMaximumTotalLength && packetLength >= 1 &&
           packetLength <= kMaximumTotalLength && packetCountFor(totalLength, packetLength) <= kMaximumPacketCount;
}

/// Cuts a byte string into K = ceil(n / L) source packets (the last zero-filled) and produces a fresh
/// LT packet per call from one index-set generator that is never reseeded.
class Encoder {
public:
    /// An encoder for `data` in packets of `packetLength` bytes. When the pair is not receivable (see
    /// isReceivable: empty data, packet length 0, too much data) the encoder is invalid: it holds no
    /// packets and produces empty ones. Without a `seed` the generator starts from the current Unix
    /// time in seconds (truncated to 32 bits); a fixed seed makes the output reproducible.
    Encoder(const std::vector<std::uint8_t>& data, std::uint32_t packetLength,
            std::optional<std::uint32_t> seed = std::nullopt);
    ~Encoder();
    Encoder(Encoder&&) noexcept;
    Encoder& operator=(Encoder&&) noexcept;

    /// Whether the encoder was given data it can send.
    bool isValid() const;
    /// The XOR of the next index set's source packets (L bytes); advances the generator. Empty and
    /// without effect for an invalid encoder.
    PacketPayload generatePacket();
    /// The generator's state: the seed of the next packet.
    std::uint32_t getSeed() const;
    std::uint32_t getTotalLength() const { return totalLength; }
    std::uint32_t getPacketLength() const { return packetLength; }
    std::size_t getPacketCount() const;

private:
    // The source packets and the generator of their index sets, whose types stay inside the library.
    struct Source;

    void cutIntoPackets(const std::vector<std::uint8_t>& data, std::uint32_t length);

    std::uint32_t packetLength = 0;
    std::uint32_t totalLength = 0;
    std::unique_ptr<Source> source;
};

} // namespace vexaqr::LT
