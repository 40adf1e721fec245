#include "codec/transport/LTEncoder.hpp"

#include "codec/transport/LTIndexSetGenerator.hpp"
#include "codec/transport/LTPacketPayload.hpp"

#include <chrono>
#include <utility>

namespace vexaqr::LT {

namespace {

std::uint32_t clockSeed() {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(seconds.count());
}

} // namespace

struct Encoder::Source {
    std::vector<PacketPayload> packets;
    IndexSetGenerator indexSetGenerator;
};

Encoder::Encoder(const std::vector<std::uint8_t>& data, std::uint32_t packetLength, std::optional<std::uint32_t> seed)
    : source(std::make_unique<Source>()) {
    if (isReceivable(data.size(), packetLength)) {
        cutIntoPackets(data, packetLength);
    }
    source->indexSetGenerator.setSeed(seed.value_or(clockSeed()));
}

Encoder::~Encoder() = default;
Encoder::Encoder(Encoder&&) noexcept = default;
Encoder& Encoder::operator=(Encoder&&) noexcept = default;

bool Encoder::isValid() const {
    return !source->packets.empty();
}

std::uint32_t Encoder::getSeed() const {
    return source->indexSetGenerator.getSeed();
}

std::size_t Encoder::getPacketCount() const {
    return source->packets.size();
}

void Encoder::cutIntoPackets(const std::vector<std::uint8_t>& data, std::uint32_t length) {
    packetLength = length;
    totalLength = static_cast<std::uint32_t>(data.size());
    auto& packets = source->packets;
    std::size_t offset = 0;
    while (offset + length < data.size()) {
        packets.emplace_back(std::vector<std::uint8_t>(data.begin() + offset, data.begin() + offset + length));
        offset += length;
    }
    // The last packet always comes from here, zero-filled when the data is not a multiple of L.
    std::vector<std::uint8_t> last(data.begin() + offset, data.end());
    last.resize(length, 0);
    packets.emplace_back(std::move(last));
    source->indexSetGenerator = IndexSetGenerator(static_cast<std::uint32_t>(packets.size()));
}

PacketPayload Encoder::generatePacket() {
    if (!isValid()) {
        return PacketPayload(std::size_t{0});
    }
    PacketPayload packet(packetLength);
    for (std::uint32_t index : source->indexSetGenerator.generateIndices()) {
        packet ^= source->packets[index];
    }
    return packet;
}

} // namespace vexaqr::LT
