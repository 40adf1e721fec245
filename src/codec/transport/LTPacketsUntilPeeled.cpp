#include "codec/transport/LTPacketsUntilPeeled.hpp"

#include "codec/transport/LTIndexSetGenerator.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vexaqr::LT {

namespace {

// A thread keeps the arrays of its last call up to this size: refilling them costs no page faults.
constexpr std::size_t kKeptBytes = std::size_t{64} << 20;
// Revealed sources whose watchers are taken together, with the buckets of as many more fetched ahead.
constexpr std::size_t kPeeledTogether = 8;
// Watches fetched ahead before they are placed.
constexpr std::size_t kPendingWatches = 16;

// The packets watching one source, in a bucket of its own and, past that, in further buckets.
struct alignas(32) WatchBucket {
    std::uint32_t count = 0;
    std::uint32_t entries[6];
    std::uint32_t next = 0; // the bucket after this one; 0 for none (bucket 0 belongs to source 0)
};

// A packet arrived with three or more unknown sources, kept in Workspace::records as this header and its set:
// it watches two unknown sources of its set, and the others before the cursor are known. Known sources
// only grow, so the cursor only moves forward and the packet reads its set at most once. Each packet is drawn
// straight after a header, so a kept set is never copied.
struct RecordHeader {
    static constexpr std::uint32_t kWatches = 0;
    static constexpr std::uint32_t kCursor = 2;
    static constexpr std::uint32_t kEnd = 3;
    static constexpr std::uint32_t kSize = 4;
};

// A watch entry and the source it watches.
struct Watch {
    std::uint32_t source;
    std::uint32_t entry;
};

// What one call works in.
struct Workspace {
    std::vector<std::uint64_t> known; // a bit per source
    std::vector<std::uint32_t> records;
    std::vector<WatchBucket> buckets;    // bucket s for source s, then the overflow
    std::vector<std::uint32_t> revealed; // in order, the first ones already peeled
    std::vector<Watch> due;              // watchers of a batch of revealed sources

    std::size_t bytes() const {
        return known.capacity() * sizeof(std::uint64_t) +
               (records.capacity() + revealed.capacity()) * sizeof(std::uint32_t) + due.capacity() * sizeof(Watch) +
               buckets.capacity() * sizeof(WatchBucket);
    }
};

// Peeling without payloads, packet after packet as they arrive: a packet can only ever reveal its last
// unknown source, so it needs to hear about just two of them instead of being reduced by each (two cache
// misses per index). When a watched source becomes known, the packet moves that watch on to its next
// unknown source, or, when there is none, reveals its other watch. A packet with two unknown sources is just
// each of them watching the other. Packets are taken in as they arrive and never before, so the known
// sources after each arrival are exactly those of peeling the packets so far, and no packet after the
// finishing one is drawn.
class WatchedPeeling {
public:
    WatchedPeeling(Workspace& space, std::uint32_t packetCount)
        : _space(space), _packetCount(packetCount), _missing(packetCount) {
        space.known.assign((std::size_t{packetCount} + 63) / 64, 0);
        space.buckets.assign(packetCount, WatchBucket{});
        space.records.clear();
        space.revealed.clear();
    }

    bool allKnown() const { return _missing == 0; }

    /// Draws the next packet of the stream and peels until nothing more is revealed.
    void arrive(IndexSetGenerator& generator) {
        auto& records = _space.records;
        const auto record = static_cast<std::uint32_t>(records.size());
        records.resize(record + RecordHeader::kSize);
        generator.appendIndices(records);
        takeArrived(record);
        peelRevealed();
    }

private:
    // A watch entry names the other unknown source of a packet with two, or a record (after the sources).
    bool namesSource(std::uint32_t entry) const { return entry < _packetCount; }

    bool isKnown(std::uint32_t source) const { return _space.known[source / 64] >> (source % 64) & 1; }

    // The first position from `at` on whose source is not known, else `end`.
    std::uint32_t firstUnknown(const std::uint32_t* indices, std::uint32_t at, std::uint32_t end) const {
        const std::uint64_t* known = _space.known.data();
        while (at < end && (known[indices[at] / 64] >> (indices[at] % 64) & 1) != 0) {
            ++at;
        }
        return at;
    }

    // The packet drawn after the header at `record` reveals its one unknown source, its two unknown sources watch
    // each other, or, with more, it is kept as a record; only a record keeps its place. Its set is read only up
    // to its third unknown source.
    void takeArrived(std::uint32_t record) {
        auto& records = _space.records;
        const std::uint32_t start = record + RecordHeader::kSize;
        const auto end = static_cast<std::uint32_t>(records.size());
        const std::uint32_t* indices = records.data();
        const std::uint32_t first = firstUnknown(indices, start, end);
        const std::uint32_t second = first == end ? end : firstUnknown(indices, first + 1, end);
        const std::uint32_t third = second == end ? end : firstUnknown(indices, second + 1, end);
        if (third < end) {
            keepRecord(record, first, second, third);
            return;
        }
        const std::uint32_t firstSource = first < end ? indices[first] : 0;
        const std::uint32_t secondSource = second < end ? indices[second] : 0;
        records.resize(record);
        if (second < end) {
            watch(firstSource, secondSource);
            watch(secondSource, firstSource);
        } else if (first < end) {
            reveal(firstSource);
        }
    }

    // A record watches the sources at `first` and `second`; its cursor starts at `third`.
    void keepRecord(std::uint32_t record, std::uint32_t first, std::uint32_t second, std::uint32_t third) {
        std::uint32_t* header = &_space.records[record];
        const std::uint32_t watched0 = _space.records[first];
        const std::uint32_t watched1 = _space.records[second];
        header[RecordHeader::kWatches] = watched0;
        header[RecordHeader::kWatches + 1] = watched1;
        header[RecordHeader::kCursor] = third;
        header[RecordHeader::kEnd] = static_cast<std::uint32_t>(_space.records.size());
        watch(watched0, _packetCount + record);
        watch(watched1, _packetCount + record);
    }

    // A watch goes into its source's bucket a little later, when the bucket has been fetched: only a peel
    // reads buckets, and the packet that starts one has no watches itself.
    void watch(std::uint32_t source, std::uint32_t entry) {
        __builtin_prefetch(&_space.buckets[source], 1);
        _pending[_pendingCount++] = {source, entry};
        if (_pendingCount == kPendingWatches) {
            placePending();
        }
    }

    void placePending() {
        for (std::size_t at = 0; at < _pendingCount; ++at) {
            place(_pending[at].source, _pending[at].entry);
        }
        _pendingCount = 0;
    }

    void place(std::uint32_t source, std::uint32_t entry) {
        auto& buckets = _space.buckets;
        std::uint32_t bucket = source;
        while (buckets[bucket].count == std::size(buckets[bucket].entries)) {
            if (buckets[bucket].next == 0) {
                buckets[bucket].next = static_cast<std::uint32_t>(buckets.size());
                buckets.emplace_back();
            }
            bucket = buckets[bucket].next;
        }
        buckets[bucket].entries[buckets[bucket].count++] = entry;
    }

    void reveal(std::uint32_t source) {
        if (!isKnown(source)) {
            _space.known[source / 64] |= std::uint64_t{1} << (source % 64);
            --_missing;
            _space.revealed.push_back(source);
        }
    }

    // Each source is revealed once and nothing starts watching a known source, so a source's watchers are
    // read once, and each still watches it. The watchers of a few sources and then their records are
    // fetched together: waiting for each one's cache miss in turn would cost more than the rest.
    void peelRevealed() {
        const auto& revealed = _space.revealed;
        while (_peeled < revealed.size() && _missing > 0) {
            const std::size_t batch = _peeled;
            const std::size_t batchEnd = std::min(revealed.size(), batch + kPeeledTogether);
            _peeled = batchEnd;
            for (std::size_t ahead = batch; ahead < std::min(revealed.size(), batchEnd + kPeeledTogether); ++ahead) {
                __builtin_prefetch(&_space.buckets[revealed[ahead]]);
            }
            placePending();
            _space.due.clear();
            for (std::size_t taken = batch; taken < batchEnd; ++taken) {
                takeWatchers(revealed[taken]);
            }
            for (const Watch& due : _space.due) {
                moveWatch(due.entry - _packetCount, due.source);
            }
        }
    }

    void takeWatchers(std::uint32_t source) {
        std::uint32_t bucket = source;
        do {
            const WatchBucket& watchers = _space.buckets[bucket];
            for (std::uint32_t at = 0; at < watchers.count; ++at) {
                const std::uint32_t entry = watchers.entries[at];
                if (namesSource(entry)) {
                    reveal(entry);
                } else {
                    __builtin_prefetch(&_space.records[entry - _packetCount], 1);
                    _space.due.push_back({source, entry});
                }
            }
            bucket = watchers.next;
        } while (bucket != 0);
    }

    void moveWatch(std::uint32_t record, std::uint32_t known) {
        std::uint32_t* header = &_space.records[record];
        const std::uint32_t slot = header[RecordHeader::kWatches] == known ? 0 : 1;
        const std::uint32_t end = header[RecordHeader::kEnd];
        const std::uint32_t cursor = firstUnknown(_space.records.data(), header[RecordHeader::kCursor], end);
        if (cursor == end) {
            header[RecordHeader::kCursor] = cursor;
            reveal(header[RecordHeader::kWatches + 1 - slot]);
            return;
        }
        header[RecordHeader::kWatches + slot] = _space.records[cursor];
        header[RecordHeader::kCursor] = cursor + 1;
        watch(_space.records[cursor], _packetCount + record);
    }

    Workspace& _space;
    std::uint32_t _packetCount;
    std::uint32_t _missing;
    std::size_t _peeled = 0;         // revealed sources whose watchers have been taken
    Watch _pending[kPendingWatches]; // watches not yet in their buckets
    std::size_t _pendingCount = 0;
};

std::uint64_t packetsUntilPeeled(Workspace& space, std::uint32_t packetCount, std::uint32_t seed, std::uint64_t limit) {
    IndexSetGenerator generator(packetCount);
    generator.setSeed(seed);
    WatchedPeeling peeling(space, packetCount);
    for (std::uint64_t packets = 1; packets <= limit; ++packets) {
        peeling.arrive(generator);
        if (peeling.allKnown()) {
            return packets;
        }
    }
    return limit;
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
