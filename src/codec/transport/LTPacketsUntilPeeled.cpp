#include "codec/transport/LTPacketsUntilPeeled.hpp"

#include "codec/transport/LTIndexSetGenerator.hpp"

#include <algorithm>
#include <optional>
#include <vector>

namespace vexaqr::LT {

namespace {

// The index sets of a stream's first packets, one after another.
struct IndexSetStream {
    std::vector<std::uint32_t> starts{0}; // packet p holds indices[starts[p], starts[p + 1])
    std::vector<std::uint32_t> indices;

    std::size_t packets() const { return starts.size() - 1; }
    void extendTo(IndexSetGenerator& generator, std::uint64_t packetCount) {
        while (packets() < packetCount) {
            generator.appendIndices(indices);
            starts.push_back(static_cast<std::uint32_t>(indices.size()));
        }
    }
};

// Peeling without payloads over a known stream: a packet is just how many of its indices are still unknown
// and the XOR of those, which names the last one. Knowing the whole stream, each source lists the packets
// that hold it in one contiguous run, so a peel step reads memory in order instead of chasing list links.
// Revealed sources also reduce packets not yet arrived; a packet only reveals once it has arrived, so the
// known sources after each arrival are exactly those of peeling the packets so far in order.
class StreamPeeling {
public:
    StreamPeeling(const IndexSetStream& stream, std::uint32_t packetCount)
        : _known(packetCount, 0), _missing(packetCount) {
        listPacketsPerSource(stream, packetCount);
        _unknowns.resize(stream.packets());
        for (std::size_t packet = 0; packet < _unknowns.size(); ++packet) {
            _unknowns[packet].count = stream.starts[packet + 1] - stream.starts[packet];
            for (std::uint32_t at = stream.starts[packet]; at < stream.starts[packet + 1]; ++at) {
                _unknowns[packet].indexXor ^= stream.indices[at];
            }
        }
    }

    /// Packets that arrive until every source is known, if those of the stream are enough.
    std::optional<std::uint64_t> packetsUntilKnown() {
        for (std::uint32_t packet = 0; packet < _unknowns.size(); ++packet) {
            if (_unknowns[packet].count == 1) {
                reveal(_unknowns[packet].indexXor);
            }
            peelRevealed(packet);
            if (_missing == 0) {
                return std::uint64_t{packet} + 1;
            }
        }
        return std::nullopt;
    }

private:
    struct Unknowns {
        std::uint32_t count = 0;
        std::uint32_t indexXor = 0;
    };

    void listPacketsPerSource(const IndexSetStream& stream, std::uint32_t packetCount) {
        _listStarts.assign(std::size_t{packetCount} + 1, 0);
        for (std::uint32_t index : stream.indices) {
            ++_listStarts[index + 1];
        }
        for (std::size_t source = 0; source < packetCount; ++source) {
            _listStarts[source + 1] += _listStarts[source];
        }
        std::vector<std::uint32_t> filled(_listStarts.begin(), _listStarts.end() - 1);
        _lists.resize(stream.indices.size());
        for (std::uint32_t packet = 0; packet < stream.packets(); ++packet) {
            for (std::uint32_t at = stream.starts[packet]; at < stream.starts[packet + 1]; ++at) {
                _lists[filled[stream.indices[at]]++] = packet;
            }
        }
    }

    void reveal(std::uint32_t source) {
        if (!_known[source]) {
            _known[source] = 1;
            --_missing;
            _revealed.push_back(source);
        }
    }

    // Takes every revealed source out of the packets that hold it; arrived packets left with one unknown
    // source reveal it in turn.
    void peelRevealed(std::uint32_t lastArrived) {
        while (!_revealed.empty()) {
            const std::uint32_t source = _revealed.back();
            _revealed.pop_back();
            for (std::uint32_t at = _listStarts[source]; at < _listStarts[source + 1]; ++at) {
                const std::uint32_t packet = _lists[at];
                Unknowns& unknowns = _unknowns[packet];
                unknowns.indexXor ^= source;
                if (--unknowns.count == 1 && packet <= lastArrived) {
                    reveal(unknowns.indexXor);
                }
            }
        }
    }

    std::vector<std::uint8_t> _known;
    std::uint32_t _missing;
    std::vector<std::uint32_t> _listStarts; // source s lists the packets _lists[_listStarts[s], _listStarts[s + 1])
    std::vector<std::uint32_t> _lists;
    std::vector<Unknowns> _unknowns; // per packet, side by side so that a peel step touches one cache line
    std::vector<std::uint32_t> _revealed;
};

} // namespace

std::uint64_t packetsUntilPeeled(std::uint32_t packetCount, std::uint32_t seed, std::uint64_t limit) {
    if (packetCount == 0) {
        return 0;
    }
    IndexSetGenerator generator(packetCount);
    generator.setSeed(seed);
    IndexSetStream stream;
    // Honest streams finish a little above K packets; when they do not, the stream doubles and is peeled again.
    std::uint64_t horizon = std::min<std::uint64_t>(limit, std::uint64_t{packetCount} + packetCount / 4 + 64);
    while (true) {
        stream.extendTo(generator, horizon);
        if (const auto packets = StreamPeeling(stream, packetCount).packetsUntilKnown()) {
            return *packets;
        }
        if (horizon == limit) {
            return limit;
        }
        horizon = std::min(limit, horizon * 2);
    }
}

} // namespace vexaqr::LT
