// The LT (Luby transform) fountain-code core: random source, degree distribution and index-set
// generator, packet payload, peeling decoder and encoder.
//
// Sender and receiver never transmit which source packets a coded packet combines: both derive the
// index set from a shared 32-bit seed, so every draw below is bit-exact (IEEE double, one operation
// at a time). None of these types is thread-safe; each object is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace vexaqr::LT {

class InactivationSolver;

/// An index set: distinct source-packet indices in ascending order.
using IndexSet = std::vector<std::uint32_t>;

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

/// Linear congruential random source (multiplier 1664525, increment 1013904223, modulo 2^32).
class PRNG {
public:
    void setSeed(std::uint32_t seed) { _seed = seed; }
    /// The state after the last draw.
    std::uint32_t getSeed() const { return _seed; }
    /// Advances the state and returns it scaled to [0.0, 1.0] (divided by 2^32 - 1, so both ends occur).
    double rand();

private:
    std::uint32_t _seed = 0;
};

/// The degree distribution for K source packets (a robust soliton with spike at K / 8 + 1) and the
/// running sums that a degree draw walks. Immutable once built; shared between generators of one K.
struct DegreeTable {
    /// K + 1 probabilities; entry d is the probability of degree d, entry 0 is 0.
    std::vector<double> distribution;
    /// runningSums[i] = distribution[0] + ... + distribution[i], summed left to right.
    std::vector<double> runningSums;

    /// Builds the table afresh (O(K)); `packetCount` must be at least 1.
    static DegreeTable build(std::uint32_t packetCount);
    /// The table for `packetCount`, from a small process-wide cache (bit-identical to build()).
    static std::shared_ptr<const DegreeTable> shared(std::uint32_t packetCount);
};

/// Draws degrees and index sets for K source packets from a running seed.
class IndexSetGenerator {
public:
    /// A placeholder with K = 0; it must be replaced before use.
    IndexSetGenerator() = default;
    /// A generator for `packetCount` (>= 1) source packets, seed 0.
    explicit IndexSetGenerator(std::uint32_t packetCount);

    void setSeed(std::uint32_t seed) { prng.setSeed(seed); }
    std::uint32_t getSeed() const { return prng.getSeed(); }
    std::uint32_t getPacketCount() const { return packetCount; }
    /// The K + 1 degree probabilities (empty for the placeholder).
    const std::vector<double>& distribution() const;

    /// One draw of the random source mapped to a degree in 1 ... K.
    std::uint32_t generateDegree();
    /// The degree for a draw `a` in [0, 1]: the first degree whose running sum reaches `a`. A draw of
    /// exactly 0.0 (random-source state 0) would give degree 0; it gives degree 1 instead, here and
    /// therefore on both ends.
    std::uint32_t degreeFor(double a) const;
    /// One degree draw followed by index draws until the set holds that many distinct indices.
    IndexSet generateIndices();
    /// The same into `indices` (replacing what it held), so that a caller can reuse its storage.
    void generateIndices(IndexSet& indices);
    /// The same draws appended to `indices`, the set's own indices in no particular order (for callers that
    /// only count and combine them).
    void appendIndices(std::vector<std::uint32_t>& indices);

private:
    PRNG prng;
    std::shared_ptr<const DegreeTable> table;
    std::uint32_t packetCount = 0;
};

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

/// Held combinations by the hash of their index sets: open addressing with linear probing, several
/// entries per hash allowed, erasure by shifting back (no tombstones), so every operation stays O(1)
/// on average however many combinations come and go.
class HashedSetIndex {
public:
    void insert(std::uint64_t hash, std::uint32_t id);
    void erase(std::uint64_t hash, std::uint32_t id);
    /// Whether `matches(id)` holds for an entry of `hash`.
    template <class Matches> bool any(std::uint64_t hash, Matches matches) const {
        if (_count == 0) {
            return false;
        }
        for (std::size_t slot = slotOf(hash); _ids[slot] != kEmpty; slot = (slot + 1) & _mask) {
            if (_hashes[slot] == hash && matches(_ids[slot])) {
                return true;
            }
        }
        return false;
    }
    bool contains(std::uint64_t hash) const {
        return any(hash, [](std::uint32_t) { return true; });
    }
    std::size_t size() const { return _count; }
    void clear();

private:
    static constexpr std::uint32_t kEmpty = 0xffffffffu;
    std::size_t slotOf(std::uint64_t hash) const { return static_cast<std::size_t>(hash >> 20) & _mask; }
    void grow();

    std::vector<std::uint64_t> _hashes;
    std::vector<std::uint32_t> _ids;
    std::size_t _mask = 0;
    std::size_t _count = 0;
};

/// Rebuilds a byte string of known length from LT packets arriving in any order, with repeats and
/// losses, by peeling: a packet covering one missing source packet reveals it, and each revealed
/// source packet is XORed out of the held combinations, possibly revealing more.
///
/// Each held combination carries a hash of its index set (the XOR of one random 64-bit key per
/// index), so removing an index and looking the reduced set up cost O(1); index sets are compared in
/// full only when their hashes meet. Payloads, index sets and the lists of combinations per source
/// packet live in flat arrays, so a packet costs no allocation once the arrays have grown.
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

    // A held combination. Its indices as first held are heldIndices[first, first + size); the peeled
    // ones are skipped when read. Its payload is heldPayloads[id * packetLength, ...).
    struct Held {
        std::uint32_t first = 0;
        std::uint32_t size = 0;
        std::uint32_t remaining = 0;
        std::uint32_t indexXor = 0; // XOR of the remaining indices: the last one when one remains
        std::uint64_t hash = 0;     // XOR of the remaining indices' keys
        bool held = true;           // false once resolved or discarded; stale list entries are skipped
    };

    bool accepts(std::size_t length) const;
    void fixLayout(std::uint32_t length);
    void resolve(const std::uint8_t* bytes, IndexSet& indices);
    std::size_t heldBytes(std::size_t combinations, std::size_t indexEntries) const;
    std::size_t heldByteBudget() const;
    bool roomFor(std::size_t indexCount);
    void hold(const IndexSet& indices, const std::uint64_t* payload, std::uint64_t hash);
    void link(std::uint32_t source, std::uint32_t position);
    void peel(std::uint32_t index);
    void markKnown(std::uint32_t index, const std::uint64_t* payload);
    void release(Held& packet);
    void compact();
    bool isHeldSet(std::uint64_t hash, const IndexSet& indices) const;
    bool isHeldSet(std::uint32_t id) const;
    bool holdsExactly(std::uint32_t id, const IndexSet& indices) const;
    IndexSet currentIndices(const Held& packet) const;
    std::uint64_t hashOf(const IndexSet& indices) const;
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

    // Per source packet.
    std::vector<std::uint64_t> sourcePayloads;
    std::vector<std::uint8_t> known;  // its payload is known
    std::vector<std::uint8_t> peeled; // known and already XORed out of every combination that held it
    std::vector<std::uint32_t> listHead;
    std::vector<std::uint32_t> listTail;
    std::vector<std::uint64_t> indexKeys;
    std::uint32_t cleanPacketsCount = 0;

    // Held combinations; heldIndices, heldOwner and nextInList run in parallel.
    std::vector<Held> helds;
    std::vector<std::uint64_t> heldPayloads;
    std::vector<std::uint32_t> heldIndices;
    std::vector<std::uint32_t> heldOwner;
    std::vector<std::uint32_t> nextInList; // the next combination of the same source, in holding order
    HashedSetIndex dirtyPacketsIndices;
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

/// How many packets of the stream an Encoder with `seed` sends a lossless peeling Decoder of `packetCount`
/// source packets needs before it knows every one; `limit` when it does not finish within `limit` packets.
/// Only the index sets are followed (what peeling reveals does not depend on the bytes), so this costs a
/// fraction of decoding the stream.
std::uint64_t packetsUntilPeeled(std::uint32_t packetCount, std::uint32_t seed, std::uint64_t limit);

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

    /// Whether the encoder was given data it can send.
    bool isValid() const { return !packets.empty(); }
    /// The XOR of the next index set's source packets (L bytes); advances the generator. Empty and
    /// without effect for an invalid encoder.
    PacketPayload generatePacket();
    /// The generator's state: the seed of the next packet.
    std::uint32_t getSeed() const { return indexSetGenerator.getSeed(); }
    std::uint32_t getTotalLength() const { return totalLength; }
    std::uint32_t getPacketLength() const { return packetLength; }
    std::size_t getPacketCount() const { return packets.size(); }

private:
    void cutIntoPackets(const std::vector<std::uint8_t>& data, std::uint32_t length);

    std::vector<PacketPayload> packets;
    std::uint32_t packetLength;
    std::uint32_t totalLength;
    IndexSetGenerator indexSetGenerator;
};

} // namespace vexaqr::LT
