// LT::Decoder: rebuilds the byte string of one LT transfer from its packets. Not thread-safe; each
// decoder is used by one thread at a time, and decoders share nothing but the immutable degree tables.
#pragma once

#include "codec/platform/LargeArrays.hpp"
#include "codec/transport/LTHashedSetIndex.hpp"
#include "codec/transport/LTIndexSetGenerator.hpp"

#include "codec/transport/LTEncoder.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace vexaqr::LT {

class InactivationSolver;

/// Rebuilds a byte string of known length from LT packets arriving in any order, with repeats and
/// losses, by peeling: a packet covering one missing source packet reveals it, and each revealed
/// source packet is XORed out of the held combinations, possibly revealing more.
///
/// A combination of up to kLargestReducedSet indices is reduced as each of its sources is peeled and carries a
/// hash of its index set (the XOR of one salted 64-bit key per index), so removing an index and looking the
/// reduced set up cost O(1); index sets are compared in full only when their hashes meet, and a second copy of
/// a held set is let go. A combination reduced while a packet is resolved is indexed again once, when the
/// packet's cascade has ended, however many indices the cascade took out of it.
///
/// A larger combination is only watched: it is listed under two of its sources not yet peeled and, when one of
/// them is, looks along its own set for another; when none is left, it reveals the other watched source, its
/// payload then XORed with its peeled sources' at once. It can reveal nothing before that, so what becomes known
/// and when is the same as if it were reduced, at two list entries instead of one per index, and a cache miss
/// per index saved when listed and again when peeled (such sets hold most of a large transfer's indices).
/// Watched sets are not compared with other held sets; a packet drawn from the seed of a watched combination,
/// a repeat, is let go.
///
/// Payloads, index sets and the lists of combinations per source packet live in flat arrays, so a packet costs
/// no allocation once the arrays have grown.
///
/// Memory is bounded by the transfer's size: held combinations take at most kHeldBytesPerPacket per source
/// packet together (48 MB for the largest transfer, where an honest sender's need far less); a combination
/// that would exceed that is not held (its packet still counts and, once solving began, still informs).
class Decoder {
public:
    /// Total lengths above this are refused unless the caller sets another limit: a hostile frame
    /// must not make the decoder allocate a slot per packet of a gigabyte transfer. Whatever the
    /// limit, no transfer gets more than kMaximumPacketCount slots.
    static constexpr std::uint32_t kDefaultMaximumTotalLength = kMaximumTotalLength;
    /// Bytes all held combinations may take together, per source packet (plus a floor of 1 MB).
    static constexpr std::size_t kHeldBytesPerPacket = 384;

    explicit Decoder(std::uint32_t maximumTotalLength = kDefaultMaximumTotalLength);
    ~Decoder();
    Decoder(Decoder&&) noexcept;
    Decoder& operator=(Decoder&&) noexcept;

    /// Consumes one packet whose index set follows from the current seed. A packet is refused, with
    /// no change at all (not even to the seed), while the total length is 0 or above the limit, when
    /// it is empty, when it implies more than kMaximumPacketCount source packets, when its length
    /// differs from the first accepted packet's, or when it implies another packet count than the
    /// first accepted packet did.
    void processPacket(const std::uint8_t* bytes, std::size_t length);
    void processPacket(const std::vector<std::uint8_t>& bytes) { processPacket(bytes.data(), bytes.size()); }

    /// True when every source packet is known (never before the first accepted packet).
    bool isFinished() const { return packetCount != 0 && cleanPacketsCount == packetCount; }
    /// Known source packets / K; 0.0 before the first accepted packet.
    double progress() const;
    /// The rebuilt byte string, exactly the total length long. Only valid when finished.
    std::vector<std::uint8_t> data() const;

    void setSeed(std::uint32_t value) { seed = value; }
    std::uint32_t getSeed() const { return seed; }
    void setTotalLength(std::uint32_t value) { totalLength = value; }
    std::uint32_t getPacketCount() const { return packetCount; }
    /// Number of combinations currently held (two or more missing indices each).
    std::size_t heldCombinationCount() const { return heldCount; }
    /// Bytes the decoder's working arrays take (capacities), for measurements of its bounded memory.
    std::size_t memoryFootprint() const;
    /// Combinations not held because the memory bound was reached (never, for an honest sender's packets).
    std::uint64_t combinationsNotHeld() const { return notHeld; }

    /// Packets accepted since the decoder was made (refused packets are not counted).
    std::uint64_t acceptedPacketCount() const { return acceptedPackets; }

    /// Solves the held combinations over GF(2) when peeling has stalled, completing the decode exactly when
    /// the accepted packets determine every source packet; true when finished. The first solve keeps its
    /// elimination, and every packet accepted after it is reduced into that elimination as it arrives, so
    /// no solve is ever repeated: a later call only looks whether the rank has reached K.
    bool completeBySolving();
    /// How many more independent packets are still needed at least, as far as the last failed solve
    /// showed (less the packets accepted since); 0 when no solve was attempted or it may now succeed.
    std::uint32_t knownShortfall() const;

    /// Checks every bookkeeping invariant (held sets hashed, listed and distinct, no known index in a
    /// held set, none held once finished). O(total size); meant for tests and diagnostics.
    bool invariantsHold() const;

private:
    static constexpr std::uint32_t kNone = 0xffffffffu;
    // Larger combinations are watched rather than reduced.
    static constexpr std::size_t kLargestReducedSet = 16;

    // A held combination. Its indices as first held are heldIndices[first, first + size); the peeled
    // ones are skipped when read. Its payload is heldPayloads[id * packetLength, ...).
    struct Held {
        std::uint32_t first = 0;
        std::uint32_t size = 0;
        // A reduced combination: its indices not yet peeled, their XOR (the last one when one remains) and the XOR of
        // their keys. A watched one keeps its size at holding here, and the key of the seed it was drawn from.
        std::uint32_t remaining = 0;
        std::uint32_t indexXor = 0;
        std::uint64_t hash = 0;
        // 0 for a reduced combination. A watched one watches its first two indices, and those from the third up to
        // its cursor have been peeled; the next index to watch is looked for from the cursor on.
        std::uint32_t cursor = 0;
        bool isWatched() const { return cursor != 0; }
    };

    bool accepts(std::size_t length) const;
    void fixLayout(std::uint32_t length);
    void resolve(const std::uint8_t* bytes, IndexSet& indices, std::uint32_t packetSeed);
    void holdUnlessHeld(const IndexSet& indices, std::uint32_t packetSeed);
    std::size_t heldBytes(std::size_t combinations, std::size_t indexEntries) const;
    std::size_t heldByteBudget() const;
    bool roomFor(std::size_t indexCount);
    void hold(const IndexSet& indices, const std::uint64_t* payload, std::uint64_t hash);
    void markHeld(std::uint32_t id);
    void markReduced(std::uint32_t id, const Held& packet);
    bool stillHeld(std::uint32_t id) const { return (heldBits[id / 64] >> (id % 64) & 1u) != 0; }
    void link(std::uint32_t source, std::uint32_t id);
    void prefetchNextPeels() const;
    void prefetchListStart(std::uint32_t source) const;
    void peel(std::uint32_t index);
    void reduceAll(const std::uint32_t* owners, std::size_t count, std::uint32_t index, const std::uint64_t* clean);
    void clearLists();
    void reduce(std::uint32_t id, std::uint32_t index, const std::uint64_t* clean);
    void moveWatch(std::uint32_t id, std::uint32_t index);
    void revealLastWatched(std::uint32_t id, std::uint32_t last);
    const std::uint64_t* reducedPayload(std::uint32_t id);
    void foldPeeledSources(const Held& packet, std::uint64_t* payload) const;
    void markKnown(std::uint32_t index, const std::uint64_t* payload);
    void release(std::uint32_t id);
    void reindexReduced();
    void compact();
    bool isHeldSet(std::uint64_t hash, const IndexSet& indices) const;
    bool isHeldSet(std::uint32_t id) const;
    bool watchHolds(std::uint32_t id, const std::set<std::pair<std::uint32_t, std::uint32_t>>& listed) const;
    bool holdsExactly(std::uint32_t id, const IndexSet& indices) const;
    IndexSet currentIndices(const Held& packet) const;
    std::uint64_t hashOf(const IndexSet& indices) const;
    // A source index's 64-bit key: a salted mix rather than a table, since a table of K keys is read at random
    // and misses the caches for large transfers. Distinct indices have distinct keys (the mix is a bijection).
    std::uint64_t keyOf(std::uint32_t index) const {
        std::uint64_t key = (index * 0x9e3779b97f4a7c15u) ^ keySalt;
        key = (key ^ key >> 30) * 0xbf58476d1ce4e5b9u;
        key = (key ^ key >> 27) * 0x94d049bb133111ebu;
        return key ^ key >> 31;
    }
    std::uint64_t* sourcePayload(std::uint32_t index) { return sourcePayloads.data() + std::size_t{index} * words; }
    const std::uint64_t* sourcePayload(std::uint32_t index) const {
        return sourcePayloads.data() + std::size_t{index} * words;
    }
    std::uint64_t* heldPayload(std::uint32_t id) { return heldPayloads.data() + std::size_t{id} * words; }
    const std::uint64_t* heldPayload(std::uint32_t id) const { return heldPayloads.data() + std::size_t{id} * words; }
    void startSolving();
    void informSolver(const std::uint64_t* payload, const IndexSet& indices);
    void adoptSolution();

    std::uint32_t maximumTotalLength;
    std::uint32_t totalLength = 0;
    std::uint32_t packetCount = 0;
    std::uint32_t packetLength = 0;
    std::size_t words = 0; // payload words of 8 bytes (the last one zero-padded)
    std::uint32_t seed = 0;
    IndexSetGenerator indexSetGenerator;
    IndexSet drawn;                       // the current packet's index set, reused
    std::vector<std::uint64_t> incoming;  // the current packet's payload, reused
    std::vector<std::uint32_t> peelQueue; // a min-heap: the smallest newly known index is peeled first

    static constexpr std::size_t kFirstOwners = 16;
    // Aligned to a cache line: unaligned, a source's first owners would straddle two lines.
    struct alignas(64) FirstOwners {
        std::uint32_t ids[kFirstOwners];
    };

    // Per source packet.
    LargeVector<std::uint64_t> sourcePayloads;
    std::vector<std::uint8_t> known;  // its payload is known
    std::vector<std::uint8_t> peeled; // known and already XORed out of every combination that held it
    // Its list of the combinations that held it, in holding order: the first kFirstOwners in one cache line of
    // firstOwners, the rest in nodes from listHead to listTail. A peel step then mostly reads one line, not a chain.
    std::unique_ptr<FirstOwners[], LargeArrayDeleter> firstOwners;
    std::vector<std::uint32_t> ownerCount;
    std::vector<std::uint32_t> listHead;
    std::vector<std::uint32_t> listTail;
    std::uint64_t keySalt = 0;
    std::uint32_t cleanPacketsCount = 0;

    // A piece of a source's list beyond its first owners: several per node, so that a long list is read a few
    // entries per miss rather than one. Unused owners are kNone.
    static constexpr std::size_t kOwnersPerNode = 7;
    struct ListNode {
        std::uint32_t owners[kOwnersPerNode];
        std::uint32_t next = kNone;
    };

    // Held combinations; heldBits marks those still held (list entries of the others are stale and skipped).
    LargeVector<Held> helds;
    LargeVector<std::uint64_t> heldPayloads;
    LargeVector<std::uint32_t> heldIndices;
    LargeVector<ListNode> listNodes;
    std::vector<std::uint64_t> heldBits;
    // Reduced combinations by the hash of their sets.
    HashedSetIndex dirtyPacketsIndices;
    // Watched combinations by the key of the seed they were drawn from.
    HashedSetIndex watchedPackets;
    // The combinations reduced since the indexes were last brought up to date, each with the set size and hash it
    // is indexed under; reducedBits marks them.
    struct Reduced {
        std::uint32_t id = 0;
        std::uint32_t indexedSize = 0;
        std::uint64_t indexedHash = 0;
    };
    std::vector<Reduced> reduced;
    std::vector<std::uint64_t> reducedBits;
    std::size_t heldCount = 0;
    std::uint64_t notHeld = 0;
    std::size_t releasedCount = 0;   // combinations no longer held, still in the arrays
    std::size_t releasedIndices = 0; // and their index entries

    // The maximum-likelihood elimination, kept from the first solve on.
    std::unique_ptr<InactivationSolver> solver;
    std::vector<std::uint32_t> unknownOf; // source index -> solver unknown (kNone: known at the first solve)
    std::vector<std::uint32_t> missingAtSolve;
    std::vector<std::uint32_t> solverUnknowns; // reused
    std::vector<std::uint64_t> solverPayload;  // reused
    std::uint64_t acceptedPackets = 0;
    std::uint64_t acceptedAtLastSolve = 0;
    std::uint32_t shortfallAtLastSolve = 0;
};

} // namespace vexaqr::LT
