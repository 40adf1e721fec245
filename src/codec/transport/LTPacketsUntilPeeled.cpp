#include "codec/transport/LTPacketsUntilPeeled.hpp"

#include "codec/transport/LTIndexSetGenerator.hpp"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace vexaqr::LT {

namespace {

// A thread keeps the arrays of its last call up to this size: refilling them costs no page faults.
constexpr std::size_t kKeptBytes = std::size_t{64} << 20;

// The index sets of a stream's first packets, one after another.
struct IndexSetStream {
    std::vector<std::uint32_t> starts; // packet p holds indices[starts[p], starts[p + 1])
    std::vector<std::uint32_t> indices;

    void clear() {
        starts.assign(1, 0);
        indices.clear();
    }
    std::size_t packets() const { return starts.size() - 1; }
    void extendTo(IndexSetGenerator& generator, std::uint64_t packetCount) {
        while (packets() < packetCount) {
            generator.appendIndices(indices);
            starts.push_back(static_cast<std::uint32_t>(indices.size()));
        }
    }
};

// Packets of higher degree stay out of the per-source lists: such a packet reveals nothing before as many
// sources as its degree less one are known, which in a peel over a stream happens mostly in the final
// cascade, if at all; the listed packets alone usually finish it.
constexpr std::uint32_t kListedDegree = 512;
// Listing every packet: nothing is looked at again, for streams where that would cost more.
constexpr std::uint32_t kEveryDegree = UINT32_MAX;
// Looking again at a watched packet reads its unknown sources in order, a fraction of what listing and
// peeling them costs: a stream may read this many per index of its stream before listing every packet
// instead.
constexpr std::size_t kLookingPerIndex = 4;
// Revealed sources whose packets are fetched ahead together.
constexpr std::size_t kPeeledTogether = 8;

struct Unknowns {
    std::uint32_t count = 0;
    std::uint32_t indexXor = 0;
};

// An unlisted packet taken into the peel: its sources not known when it was last looked at.
struct Watched {
    std::uint32_t start; // at Workspace::watchedIndices[start]
    std::uint32_t count;
};

// Which watched packet to look at again once this many sources are known.
struct Recheck {
    std::uint32_t knownSources;
    std::uint32_t watched;
    bool operator>(const Recheck& other) const { return knownSources > other.knownSources; }
};

// What one call works in.
struct Workspace {
    IndexSetStream stream;
    std::vector<std::uint8_t> known;
    std::vector<std::uint32_t> listStarts; // source s lists the packets lists[listStarts[s], listStarts[s + 1])
    std::vector<std::uint32_t> filled;
    std::vector<std::uint32_t> lists;
    std::vector<Unknowns> unknowns; // per listed packet, side by side so that a peel step touches one cache line
    std::vector<std::uint32_t> revealed;
    std::vector<std::uint32_t> unlisted; // by ascending degree
    std::vector<std::uint32_t> watchedIndices;
    std::vector<Watched> watched;
    std::vector<Recheck> rechecks; // a min-heap on knownSources

    std::size_t bytes() const {
        return (stream.starts.capacity() + stream.indices.capacity() + listStarts.capacity() + filled.capacity() +
                lists.capacity() + revealed.capacity() + unlisted.capacity() + watchedIndices.capacity()) *
                   sizeof(std::uint32_t) +
               known.capacity() + unknowns.capacity() * sizeof(Unknowns) + watched.capacity() * sizeof(Watched) +
               rechecks.capacity() * sizeof(Recheck);
    }
};

// Peeling without payloads over a known stream: a packet is just how many of its indices are still unknown
// and the XOR of those, which names the last one. Knowing the whole stream, each source lists the packets
// of low degree that hold it in one contiguous run, so a peel step reads memory in order instead of chasing
// list links. Revealed sources also reduce packets not yet arrived; a packet only reveals once it has
// arrived, so the known sources after each arrival are exactly those of peeling the packets so far in order.
// A packet of higher degree joins once enough sources are known for it to possibly reveal one; it is then
// looked at again whenever as many more sources are known as it had unknown ones less one, the least it
// needs to reveal.
class StreamPeeling {
public:
    StreamPeeling(Workspace& space, std::uint32_t packetCount, std::uint32_t listedDegree)
        : _space(space), _packetCount(packetCount), _listedDegree(listedDegree), _missing(packetCount),
          _lookingBudget(kLookingPerIndex * space.stream.indices.size()) {
        space.known.assign(packetCount, 0);
        space.revealed.clear();
        space.watchedIndices.clear();
        space.watched.clear();
        space.rechecks.clear();
        sortPackets(packetCount);
        listPacketsPerSource(packetCount);
    }

    /// Packets that arrive until every source is known, if those of the stream are enough (and it did not
    /// give up).
    std::optional<std::uint64_t> packetsUntilKnown() {
        for (std::uint32_t packet = 0; packet < _space.stream.packets() && !_gaveUp; ++packet) {
            arrive(packet);
            settle(packet);
            if (_missing == 0) {
                return std::uint64_t{packet} + 1;
            }
        }
        return std::nullopt;
    }
    /// Whether looking again at packets of higher degree would cost more than listing them.
    bool gaveUp() const { return _gaveUp; }

private:
    std::uint32_t degree(std::uint32_t packet) const {
        return _space.stream.starts[packet + 1] - _space.stream.starts[packet];
    }
    std::uint32_t knownSources() const { return _packetCount - _missing; }

    // Listed packets get their unknowns and each source counts the listed packets that hold it (one pass);
    // the others are ordered by degree, the order they can join in.
    void sortPackets(std::uint32_t packetCount) {
        const IndexSetStream& stream = _space.stream;
        auto& starts = _space.listStarts;
        starts.assign(std::size_t{packetCount} + 1, 0);
        _space.unknowns.resize(stream.packets());
        _space.unlisted.clear();
        for (std::uint32_t packet = 0; packet < stream.packets(); ++packet) {
            if (degree(packet) > _listedDegree) {
                _space.unlisted.push_back(packet);
                continue;
            }
            Unknowns unknowns{degree(packet), 0};
            for (std::uint32_t at = stream.starts[packet]; at < stream.starts[packet + 1]; ++at) {
                unknowns.indexXor ^= stream.indices[at];
                ++starts[stream.indices[at] + 1];
            }
            _space.unknowns[packet] = unknowns;
        }
        std::stable_sort(_space.unlisted.begin(), _space.unlisted.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return degree(a) < degree(b); });
    }

    void listPacketsPerSource(std::uint32_t packetCount) {
        const IndexSetStream& stream = _space.stream;
        auto& starts = _space.listStarts;
        for (std::size_t source = 0; source < packetCount; ++source) {
            starts[source + 1] += starts[source];
        }
        _space.filled.assign(starts.begin(), starts.end() - 1);
        _space.lists.resize(starts.back());
        for (std::uint32_t packet = 0; packet < stream.packets(); ++packet) {
            if (degree(packet) <= _listedDegree) {
                for (std::uint32_t at = stream.starts[packet]; at < stream.starts[packet + 1]; ++at) {
                    _space.lists[_space.filled[stream.indices[at]]++] = packet;
                }
            }
        }
    }

    void arrive(std::uint32_t packet) {
        if (degree(packet) <= _listedDegree) {
            if (_space.unknowns[packet].count == 1) {
                reveal(_space.unknowns[packet].indexXor);
            }
        } else if (degree(packet) - 1 <= knownSources()) {
            watch(packet);
        }
    }

    // Peels until nothing more is revealed with the packets arrived so far.
    void settle(std::uint32_t lastArrived) {
        do {
            peelRevealed(lastArrived);
            if (_missing == 0) {
                return;
            }
            watchJoinable(lastArrived);
            recheckDue();
        } while (!_space.revealed.empty() && !_gaveUp);
    }

    void reveal(std::uint32_t source) {
        if (!_space.known[source]) {
            _space.known[source] = 1;
            --_missing;
            _space.revealed.push_back(source);
        }
    }

    // Takes every revealed source out of the listed packets that hold it; arrived packets left with one
    // unknown source reveal it in turn. The packets of a few sources are fetched together before they are
    // peeled: waiting for each one's cache miss in turn cost more than the peel steps.
    void peelRevealed(std::uint32_t lastArrived) {
        auto& revealed = _space.revealed;
        std::uint32_t batch[kPeeledTogether];
        while (!revealed.empty()) {
            const std::size_t count = std::min(revealed.size(), kPeeledTogether);
            std::copy(revealed.end() - static_cast<std::ptrdiff_t>(count), revealed.end(), batch);
            revealed.resize(revealed.size() - count);
            for (std::size_t taken = 0; taken < count; ++taken) {
                for (std::uint32_t at = _space.listStarts[batch[taken]]; at < _space.listStarts[batch[taken] + 1];
                     ++at) {
                    __builtin_prefetch(&_space.unknowns[_space.lists[at]], 1);
                }
            }
            for (std::size_t taken = 0; taken < count; ++taken) {
                peelSource(batch[taken], lastArrived);
            }
        }
    }

    void peelSource(std::uint32_t source, std::uint32_t lastArrived) {
        for (std::uint32_t at = _space.listStarts[source]; at < _space.listStarts[source + 1]; ++at) {
            const std::uint32_t packet = _space.lists[at];
            Unknowns& unknowns = _space.unknowns[packet];
            unknowns.indexXor ^= source;
            if (--unknowns.count == 1 && packet <= lastArrived) {
                reveal(unknowns.indexXor);
            }
        }
    }

    // Unlisted packets whose degree the known sources now reach join when they have arrived (the others
    // join on arrival).
    void watchJoinable(std::uint32_t lastArrived) {
        const auto& unlisted = _space.unlisted;
        while (_nextUnlisted < unlisted.size() && degree(unlisted[_nextUnlisted]) - 1 <= knownSources()) {
            const std::uint32_t packet = unlisted[_nextUnlisted++];
            if (packet <= lastArrived) {
                watch(packet);
            }
        }
    }

    void watch(std::uint32_t packet) {
        const IndexSetStream& stream = _space.stream;
        const auto start = static_cast<std::uint32_t>(_space.watchedIndices.size());
        for (std::uint32_t at = stream.starts[packet]; at < stream.starts[packet + 1]; ++at) {
            if (!_space.known[stream.indices[at]]) {
                _space.watchedIndices.push_back(stream.indices[at]);
            }
        }
        _space.watched.push_back({start, static_cast<std::uint32_t>(_space.watchedIndices.size()) - start});
        lookAgain(static_cast<std::uint32_t>(_space.watched.size()) - 1);
    }

    void recheckDue() {
        auto& rechecks = _space.rechecks;
        while (!rechecks.empty() && rechecks.front().knownSources <= knownSources()) {
            const std::uint32_t watched = rechecks.front().watched;
            if (_space.watched[watched].count > _lookingBudget) {
                _gaveUp = true;
                return;
            }
            _lookingBudget -= _space.watched[watched].count;
            std::pop_heap(rechecks.begin(), rechecks.end(), std::greater<>{});
            rechecks.pop_back();
            dropKnown(_space.watched[watched]);
            lookAgain(watched);
        }
    }

    void dropKnown(Watched& watched) {
        auto* indices = _space.watchedIndices.data() + watched.start;
        std::uint32_t kept = 0;
        for (std::uint32_t at = 0; at < watched.count; ++at) {
            indices[kept] = indices[at];
            kept += _space.known[indices[at]] ? 0 : 1;
        }
        watched.count = kept;
    }

    // A watched packet with its unknown sources up to date reveals the last one, or waits for enough more.
    void lookAgain(std::uint32_t watched) {
        const Watched& packet = _space.watched[watched];
        if (packet.count == 1) {
            reveal(_space.watchedIndices[packet.start]);
        } else if (packet.count > 1) {
            _space.rechecks.push_back({knownSources() + packet.count - 1, watched});
            std::push_heap(_space.rechecks.begin(), _space.rechecks.end(), std::greater<>{});
        }
    }

    Workspace& _space;
    std::uint32_t _packetCount;
    std::uint32_t _listedDegree;
    std::uint32_t _missing;
    std::size_t _lookingBudget; // indices that looking again may still read
    bool _gaveUp = false;
    std::size_t _nextUnlisted = 0;
};

std::uint64_t packetsUntilPeeled(Workspace& space, std::uint32_t packetCount, std::uint32_t seed, std::uint64_t limit) {
    IndexSetGenerator generator(packetCount);
    generator.setSeed(seed);
    space.stream.clear();
    // Honest streams finish a little above K packets; when they do not, the stream doubles and is peeled again.
    std::uint64_t horizon = std::min<std::uint64_t>(limit, std::uint64_t{packetCount} + packetCount / 4 + 64);
    while (true) {
        space.stream.extendTo(generator, horizon);
        StreamPeeling peeling(space, packetCount, kListedDegree);
        auto packets = peeling.packetsUntilKnown();
        if (peeling.gaveUp()) {
            packets = StreamPeeling(space, packetCount, kEveryDegree).packetsUntilKnown();
        }
        if (packets) {
            return *packets;
        }
        if (horizon == limit) {
            return limit;
        }
        horizon = std::min(limit, horizon * 2);
    }
}

} // namespace

std::uint64_t packetsUntilPeeled(std::uint32_t packetCount, std::uint32_t seed, std::uint64_t limit) {
    if (packetCount == 0) {
        return 0;
    }
    thread_local Workspace kept;
    const std::uint64_t packets = packetsUntilPeeled(kept, packetCount, seed, limit);
    if (kept.bytes() > kKeptBytes) {
        kept = Workspace{};
    }
    return packets;
}

} // namespace vexaqr::LT
