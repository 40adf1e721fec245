#include "codec/transport/LTDecoder.hpp"

#include "codec/transport/LTInactivationSolver.hpp"
#include "codec/transport/LTWords.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <utility>

namespace vexaqr::LT {

namespace {

// A random salt per decoder for the keys of the source indices (keyOf), so that nobody can prepare colliding
// sets in advance.
std::uint64_t randomSalt() {
    std::random_device device;
    return static_cast<std::uint64_t>(device()) << 32 ^ device();
}

// What held combinations may take besides kHeldBytesPerPacket per source packet, so that small transfers are
// never short of room.
constexpr std::size_t kHeldBytesFloor = std::size_t{1} << 20;
// Bookkeeping per index entry (the index, its combination in its source's list, and a share of that list's
// node, beyond the one partly empty node per source) and per slot in the hash index (between a half and three
// quarters of its slots are free).
constexpr std::size_t kIndexEntryBytes = 3 * sizeof(std::uint32_t);
constexpr std::size_t kHashSlotBytes = 4 * (sizeof(std::uint64_t) + sizeof(std::uint64_t)); // hash and padded id
// Per combination, its entry in the list of those reduced during one packet's cascade.
constexpr std::size_t kReducedEntryBytes = 2 * sizeof(std::uint64_t);
// Queued sources whose lists are fetched while another one is peeled.
constexpr std::size_t kPeelsAhead = 7;
// Combinations reduced in a cascade whose index slots are fetched while an earlier one is indexed again.
constexpr std::size_t kReindexedAhead = 4;

// Grows `vector` to hold `extra` more elements: at once to `honest` elements (what an honest transfer's decode
// needs, so that it never copies its arrays), then by a quarter at a time, never past `limit` elements of
// capacity unless the elements themselves need it, so that the bound on held combinations bounds the capacity
// as well.
template <class Vector> void reserveWithin(Vector& vector, std::size_t extra, std::size_t honest, std::size_t limit) {
    const std::size_t needed = vector.size() + extra;
    if (needed > vector.capacity()) {
        const std::size_t grown = std::max(honest, vector.capacity() + vector.capacity() / 4 + 64);
        vector.reserve(std::max(needed, std::min(limit, grown)));
    }
}

} // namespace

Decoder::Decoder(std::uint32_t maximumTotalLength) : maximumTotalLength(maximumTotalLength) {}
Decoder::~Decoder() = default;
Decoder::Decoder(Decoder&&) noexcept = default;
Decoder& Decoder::operator=(Decoder&&) noexcept = default;

bool Decoder::accepts(std::size_t length) const {
    if (totalLength == 0 || totalLength > maximumTotalLength || length == 0) {
        return false;
    }
    if (packetLength != 0 && length != packetLength) {
        return false;
    }
    const std::uint64_t impliedCount = packetCountFor(totalLength, length);
    if (impliedCount > kMaximumPacketCount) {
        return false; // tiny packets of a large transfer: more slots than any real transfer needs
    }
    return packetCount == 0 || impliedCount == packetCount;
}

void Decoder::fixLayout(std::uint32_t length) {
    packetLength = length;
    words = (length + 7) / 8;
    packetCount = static_cast<std::uint32_t>(packetCountFor(totalLength, length));
    sourcePayloads.assign(std::size_t{packetCount} * words, 0);
    known.assign(packetCount, 0);
    peeled.assign(packetCount, 0);
    // Written before it is read (ownerCount says how much is in use), so it is not cleared.
    firstOwners.reset(static_cast<FirstOwners*>(allocateLargeArray(std::size_t{packetCount} * sizeof(FirstOwners))));
    ownerCount.assign(packetCount, 0);
    listHead.assign(packetCount, kNone);
    listTail.assign(packetCount, kNone);
    keySalt = randomSalt();
    incoming.resize(words);
    // One generator serves every packet: it holds nothing but its table and the seed set below.
    indexSetGenerator = IndexSetGenerator(packetCount);
}

void Decoder::processPacket(const std::uint8_t* bytes, std::size_t length) {
    if (!accepts(length)) {
        return;
    }
    if (packetCount == 0) {
        fixLayout(static_cast<std::uint32_t>(length));
    }
    const std::uint32_t packetSeed = seed;
    indexSetGenerator.setSeed(seed);
    // Drawn in no particular order: only a set reduced by the peel is compared with others, and it is sorted then.
    drawn.clear();
    indexSetGenerator.appendIndices(drawn);
    seed = indexSetGenerator.getSeed();
    ++acceptedPackets;
    resolve(bytes, drawn, packetSeed);
}

void Decoder::resolve(const std::uint8_t* bytes, IndexSet& indices, std::uint32_t packetSeed) {
    incoming.back() = 0; // the padding of a packet length that is not a multiple of 8
    std::memcpy(incoming.data(), bytes, packetLength);
    if (solver) {
        informSolver(incoming.data(), indices);
    }
    if (indices.size() > 1) {
        std::erase_if(indices, [&](std::uint32_t index) {
            if (known[index]) {
                xorWords(incoming.data(), sourcePayload(index), words);
            }
            return known[index] != 0;
        });
    }
    if (indices.size() <= kLargestReducedSet) {
        std::sort(indices.begin(), indices.end());
    }
    if (indices.empty()) {
        return;
    }
    if (indices.size() == 1) {
        if (!known[indices.front()]) {
            markKnown(indices.front(), incoming.data());
        }
    } else {
        holdUnlessHeld(indices, packetSeed);
    }
    while (!peelQueue.empty()) {
        std::pop_heap(peelQueue.begin(), peelQueue.end(), std::greater<>());
        const std::uint32_t index = peelQueue.back();
        peelQueue.pop_back();
        prefetchNextPeels();
        peel(index);
    }
    reindexReduced();
}

// Holds the packet's combination unless a held one has its set already: a reduced one with the same set, or a
// watched one drawn from the same seed (its set is that of the packet, less the same peeled sources).
void Decoder::holdUnlessHeld(const IndexSet& indices, std::uint32_t packetSeed) {
    const std::uint64_t seedKey = keyOf(packetSeed);
    if (watchedPackets.contains(seedKey)) {
        return;
    }
    const bool watched = indices.size() > kLargestReducedSet;
    const std::uint64_t hash = watched ? seedKey : hashOf(indices);
    if (!watched && isHeldSet(hash, indices)) {
        return;
    }
    if (roomFor(indices.size())) {
        hold(indices, incoming.data(), hash);
    } else {
        ++notHeld;
    }
}

std::size_t Decoder::heldBytes(std::size_t combinations, std::size_t indexEntries) const {
    return combinations * (sizeof(Held) + words * 8 + kHashSlotBytes + kReducedEntryBytes) +
           indexEntries * kIndexEntryBytes;
}

std::size_t Decoder::heldByteBudget() const {
    return kHeldBytesPerPacket * packetCount + kHeldBytesFloor;
}

// Whether a combination of `indexCount` indices fits the memory bound, after letting go of released
// combinations when they take half of it.
bool Decoder::roomFor(std::size_t indexCount) {
    auto fits = [&] { return heldBytes(helds.size() + 1, heldIndices.size() + indexCount) <= heldByteBudget(); };
    if (!fits() && heldBytes(releasedCount, releasedIndices) >= heldByteBudget() / 2) {
        compact();
    }
    return fits();
}

void Decoder::hold(const IndexSet& indices, const std::uint64_t* payload, std::uint64_t hash) {
    const std::size_t budget = heldByteBudget();
    const std::size_t mostEntries = budget / kIndexEntryBytes;
    const std::size_t mostCombinations = budget / heldBytes(1, 2);
    // An honest transfer holds fewer than K combinations over its course, with about ln K + 4 indices each.
    const std::size_t honestCombinations = packetCount;
    const std::size_t honestEntries = std::size_t{packetCount} * (std::bit_width(packetCount) + 2);
    reserveWithin(heldIndices, indices.size(), honestEntries, mostEntries);
    // A source's list fills one node before it takes the next: at most one node per source is partly empty.
    reserveWithin(listNodes, indices.size(), honestEntries / kOwnersPerNode + packetCount,
                  mostEntries / kOwnersPerNode + packetCount);
    reserveWithin(helds, 1, honestCombinations, mostCombinations);
    reserveWithin(heldPayloads, words, honestCombinations * words, mostCombinations * words);
    const auto id = static_cast<std::uint32_t>(helds.size());
    Held packet;
    packet.first = static_cast<std::uint32_t>(heldIndices.size());
    packet.size = static_cast<std::uint32_t>(indices.size());
    packet.remaining = packet.size;
    heldIndices.insert(heldIndices.end(), indices.begin(), indices.end());
    packet.hash = hash;
    if (indices.size() > kLargestReducedSet) {
        packet.cursor = 2;
        link(indices[0], id);
        link(indices[1], id);
        watchedPackets.insert(hash, id);
    } else {
        // The sources' list ends are fetched together rather than one miss after another.
        for (std::uint32_t index : indices) {
            prefetchListStart(index);
        }
        for (std::uint32_t index : indices) {
            packet.indexXor ^= index;
            link(index, id);
        }
        dirtyPacketsIndices.insert(hash, id);
    }
    helds.push_back(packet);
    heldPayloads.insert(heldPayloads.end(), payload, payload + words);
    markHeld(id);
    ++heldCount;
}

void Decoder::markHeld(std::uint32_t id) {
    if (id / 64 == heldBits.size()) {
        heldBits.push_back(0);
        reducedBits.push_back(0);
    }
    heldBits[id / 64] |= std::uint64_t{1} << (id % 64);
}

// Notes, at a combination's first reduction in a cascade, what it is indexed under until the cascade ends.
void Decoder::markReduced(std::uint32_t id, const Held& packet) {
    const std::uint64_t bit = std::uint64_t{1} << (id % 64);
    if ((reducedBits[id / 64] & bit) == 0) {
        reducedBits[id / 64] |= bit;
        reduced.push_back(Reduced{id, packet.remaining, packet.hash});
    }
}

void Decoder::link(std::uint32_t source, std::uint32_t id) {
    // The count is kept apart from the owners, so that appending only writes to them: a store to a line not
    // cached does not hold up the next index as a load would.
    const std::uint32_t count = ownerCount[source]++;
    if (count < kFirstOwners) {
        firstOwners[source].ids[count] = id;
        return;
    }
    const std::size_t inNode = (count - kFirstOwners) % kOwnersPerNode;
    const std::uint32_t tail = listTail[source];
    if (inNode != 0) {
        listNodes[tail].owners[inNode] = id;
        return;
    }
    const auto added = static_cast<std::uint32_t>(listNodes.size());
    ListNode node;
    std::fill(std::begin(node.owners), std::end(node.owners), kNone);
    node.owners[0] = id;
    listNodes.push_back(node);
    if (tail == kNone) {
        listHead[source] = added;
    } else {
        listNodes[tail].next = added;
    }
    listTail[source] = added;
}

void Decoder::clearLists() {
    std::fill(ownerCount.begin(), ownerCount.end(), 0);
    std::fill(listHead.begin(), listHead.end(), kNone);
    std::fill(listTail.begin(), listTail.end(), kNone);
}

void Decoder::markKnown(std::uint32_t index, const std::uint64_t* payload) {
    std::memcpy(sourcePayload(index), payload, words * 8);
    known[index] = 1;
    ++cleanPacketsCount;
    peelQueue.push_back(index);
    std::push_heap(peelQueue.begin(), peelQueue.end(), std::greater<>());
}

// The next source peeled is most likely one of the first few in the queue's heap: their lists are fetched while
// this one is peeled.
void Decoder::prefetchNextPeels() const {
    for (std::size_t at = 0; at < std::min<std::size_t>(peelQueue.size(), kPeelsAhead); ++at) {
        prefetchListStart(peelQueue[at]);
    }
}

// A source's owner count and first owners, which linking and peeling both read and write.
void Decoder::prefetchListStart(std::uint32_t source) const {
    __builtin_prefetch(&ownerCount[source], 1);
    __builtin_prefetch(&firstOwners[source], 1);
}

void Decoder::peel(std::uint32_t index) {
    peeled[index] = 1;
    const std::uint32_t count = std::exchange(ownerCount[index], 0);
    std::uint32_t at = std::exchange(listHead[index], kNone);
    listTail[index] = kNone;
    const std::uint64_t* clean = sourcePayload(index);
    reduceAll(firstOwners[index].ids, std::min<std::size_t>(count, kFirstOwners), index, clean);
    for (; at != kNone; at = listNodes[at].next) {
        const ListNode node = listNodes[at];
        if (node.next != kNone) {
            __builtin_prefetch(&listNodes[node.next]);
        }
        reduceAll(node.owners, kOwnersPerNode, index, clean);
    }
}

// Takes `index` out of the listed combinations still held; they are fetched together rather than one miss
// after another.
void Decoder::reduceAll(const std::uint32_t* owners, std::size_t count, std::uint32_t index,
                        const std::uint64_t* clean) {
    for (std::size_t at = 0; at < count; ++at) {
        if (owners[at] != kNone && stillHeld(owners[at])) {
            __builtin_prefetch(&helds[owners[at]]);
            __builtin_prefetch(heldPayload(owners[at]));
        }
    }
    for (std::size_t at = 0; at < count; ++at) {
        if (owners[at] == kNone || !stillHeld(owners[at])) {
            continue;
        }
        if (helds[owners[at]].isWatched()) {
            moveWatch(owners[at], index);
        } else {
            reduce(owners[at], index, clean);
        }
    }
}

// Takes the newly known source `index` (with payload `clean`) out of held combination `id`.
// Its index entry is brought up to date when the cascade ends (reindexReduced).
void Decoder::reduce(std::uint32_t id, std::uint32_t index, const std::uint64_t* clean) {
    Held& packet = helds[id];
    markReduced(id, packet);
    --packet.remaining;
    packet.indexXor ^= index;
    packet.hash ^= keyOf(index);
    xorWords(heldPayload(id), clean, words);
    if (packet.remaining == 1) {
        release(id);
        const std::uint32_t last = packet.indexXor;
        if (!known[last]) {
            markKnown(last, heldPayload(id));
        }
    }
}

// The peeled source `index` was one of the two that watched combination `id` watches: it watches the next of its
// sources not yet peeled instead, or, with none left, has one unknown source, the other watched one.
void Decoder::moveWatch(std::uint32_t id, std::uint32_t index) {
    Held& packet = helds[id];
    std::uint32_t* const set = heldIndices.data() + packet.first;
    const std::uint32_t slot = set[0] == index ? 0 : 1;
    while (packet.cursor < packet.size && peeled[set[packet.cursor]]) {
        ++packet.cursor;
    }
    if (packet.cursor == packet.size) {
        revealLastWatched(id, set[1 - slot]);
        return;
    }
    std::swap(set[slot], set[packet.cursor++]);
    link(set[slot], id);
}

// Every source of watched combination `id` but `last` is peeled: its payload less theirs is that of `last`.
void Decoder::revealLastWatched(std::uint32_t id, std::uint32_t last) {
    const Held& packet = helds[id];
    release(id);
    watchedPackets.erase(packet.hash, id);
    if (known[last]) {
        return;
    }
    foldPeeledSources(packet, heldPayload(id));
    markKnown(last, heldPayload(id));
}

// XORs into `payload` the payloads of a watched combination's peeled sources, which it still holds.
void Decoder::foldPeeledSources(const Held& packet, std::uint64_t* payload) const {
    for (std::uint32_t at = packet.first; at < packet.first + packet.size; ++at) {
        if (peeled[heldIndices[at]]) {
            xorWords(payload, sourcePayload(heldIndices[at]), words);
        }
    }
}

// Indexes each combination reduced in the cascade under its set as the cascade left it, and lets go of those
// whose set another combination holds. Two combinations reduced to one set keep one of them, as they would if
// each reduction were indexed at once, and what is known does not change: equal sets reveal alike.
// The index slots of a few entries ahead, where they are and where they go, are fetched together.
void Decoder::reindexReduced() {
    for (std::size_t at = 0; at < reduced.size(); ++at) {
        if (at + kReindexedAhead < reduced.size()) {
            const Reduced& ahead = reduced[at + kReindexedAhead];
            dirtyPacketsIndices.prefetch(ahead.indexedHash);
            dirtyPacketsIndices.prefetch(helds[ahead.id].hash);
        }
        const Reduced& entry = reduced[at];
        reducedBits[entry.id / 64] &= ~(std::uint64_t{1} << (entry.id % 64));
        dirtyPacketsIndices.erase(entry.indexedHash, entry.id);
        if (!stillHeld(entry.id)) {
            continue;
        }
        if (isHeldSet(entry.id)) {
            release(entry.id); // another combination already holds this set
        } else {
            dirtyPacketsIndices.insert(helds[entry.id].hash, entry.id);
        }
    }
    reduced.clear();
}

void Decoder::release(std::uint32_t id) {
    Held& packet = helds[id];
    heldBits[id / 64] &= ~(std::uint64_t{1} << (id % 64));
    --heldCount;
    ++releasedCount;
    releasedIndices += packet.size;
}

// Rewrites the held combinations without the released ones, keeping their order and each source's list
// order, so that nothing observable changes.
void Decoder::compact() {
    LargeVector<Held> keptHelds;
    LargeVector<std::uint64_t> keptPayloads;
    LargeVector<std::uint32_t> keptIndices;
    keptHelds.reserve(heldCount);
    keptPayloads.reserve(heldCount * words);
    clearLists();
    listNodes.clear();
    dirtyPacketsIndices.clear();
    watchedPackets.clear();
    const std::vector<std::uint64_t> wasHeld = std::exchange(heldBits, {});
    reducedBits.clear();
    for (std::uint32_t id = 0; id < helds.size(); ++id) {
        if ((wasHeld[id / 64] >> (id % 64) & 1u) == 0) {
            continue;
        }
        Held packet = helds[id];
        const auto keptId = static_cast<std::uint32_t>(keptHelds.size());
        packet.first = static_cast<std::uint32_t>(keptIndices.size());
        packet.size = 0;
        keptPayloads.insert(keptPayloads.end(), heldPayload(id), heldPayload(id) + words);
        // The peeled sources a watched combination drops leave their payloads in its own, where a reduced
        // combination's are already; its two watched sources are not peeled, and stay its first two.
        if (packet.isWatched()) {
            foldPeeledSources(helds[id], keptPayloads.data() + keptPayloads.size() - words);
        }
        for (std::uint32_t at = helds[id].first; at < helds[id].first + helds[id].size; ++at) {
            const std::uint32_t index = heldIndices[at];
            if (peeled[index]) {
                continue;
            }
            keptIndices.push_back(index);
            if (!packet.isWatched() || packet.size < 2) {
                link(index, keptId);
            }
            ++packet.size;
        }
        if (packet.isWatched()) {
            packet.cursor = 2;
            watchedPackets.insert(packet.hash, keptId);
        } else {
            dirtyPacketsIndices.insert(packet.hash, keptId);
        }
        keptHelds.push_back(packet);
        markHeld(keptId);
    }
    helds = std::move(keptHelds);
    heldPayloads = std::move(keptPayloads);
    heldIndices = std::move(keptIndices);
    releasedCount = 0;
    releasedIndices = 0;
}

bool Decoder::isHeldSet(std::uint64_t hash, const IndexSet& indices) const {
    return dirtyPacketsIndices.any(hash, [&](std::uint32_t id) { return holdsExactly(id, indices); });
}

bool Decoder::isHeldSet(std::uint32_t id) const {
    // The set is only spelled out when another held set has the same hash, which keeps a peel step O(1).
    const Held& packet = helds[id];
    if (!dirtyPacketsIndices.contains(packet.hash)) {
        return false;
    }
    return isHeldSet(packet.hash, currentIndices(packet));
}

bool Decoder::holdsExactly(std::uint32_t id, const IndexSet& indices) const {
    const Held& packet = helds[id];
    if (packet.remaining != indices.size()) {
        return false;
    }
    auto wanted = indices.begin();
    for (std::uint32_t at = packet.first; at < packet.first + packet.size; ++at) {
        const std::uint32_t index = heldIndices[at];
        if (!peeled[index] && *wanted++ != index) {
            return false;
        }
    }
    return true;
}

IndexSet Decoder::currentIndices(const Held& packet) const {
    IndexSet indices;
    indices.reserve(packet.remaining);
    for (std::uint32_t at = packet.first; at < packet.first + packet.size; ++at) {
        if (!peeled[heldIndices[at]]) {
            indices.push_back(heldIndices[at]);
        }
    }
    return indices;
}

std::uint64_t Decoder::hashOf(const IndexSet& indices) const {
    std::uint64_t hash = 0;
    for (std::uint32_t index : indices) {
        hash ^= keyOf(index);
    }
    return hash;
}

std::size_t Decoder::memoryFootprint() const {
    auto bytes = [](const auto& vector) { return vector.capacity() * sizeof(vector[0]); };
    return bytes(sourcePayloads) + bytes(known) + bytes(peeled) + bytes(listHead) + bytes(listTail) +
           bytes(ownerCount) + (firstOwners ? std::size_t{packetCount} * sizeof(FirstOwners) : 0) + bytes(helds) +
           bytes(heldPayloads) + bytes(heldIndices) + bytes(listNodes) + bytes(heldBits) + bytes(reduced) +
           bytes(reducedBits) + (dirtyPacketsIndices.size() + watchedPackets.size()) * kHashSlotBytes +
           bytes(unknownOf) + bytes(missingAtSolve) + (solver ? solver->memoryFootprint() : 0);
}

std::uint32_t Decoder::knownShortfall() const {
    const std::uint64_t since = acceptedPackets - acceptedAtLastSolve;
    return since >= shortfallAtLastSolve ? 0 : shortfallAtLastSolve - static_cast<std::uint32_t>(since);
}

bool Decoder::completeBySolving() {
    if (packetCount == 0 || isFinished()) {
        return isFinished();
    }
    // Each packet raises the rank by one at most: until the last shortfall is made up, no solve can succeed.
    if (knownShortfall() > 0) {
        return false;
    }
    acceptedAtLastSolve = acceptedPackets;
    const std::uint32_t missingCount = packetCount - cleanPacketsCount;
    if (heldCount < missingCount) {
        shortfallAtLastSolve = static_cast<std::uint32_t>(missingCount - heldCount);
        return false;
    }
    if (!solver) {
        startSolving();
    }
    // The kept elimination has taken every packet since: its shortfall is the held combinations' shortfall.
    shortfallAtLastSolve = static_cast<std::uint32_t>(missingAtSolve.size()) - solver->rank();
    if (!solver->isSolved()) {
        return false;
    }
    adoptSolution();
    return true;
}

// The first solve: the held combinations over the source packets missing now. Later packets are reduced
// into it as they arrive (informSolver), over the same unknowns.
void Decoder::startSolving() {
    unknownOf.assign(packetCount, kNone);
    missingAtSolve.clear();
    for (std::uint32_t index = 0; index < packetCount; ++index) {
        if (!known[index]) {
            unknownOf[index] = static_cast<std::uint32_t>(missingAtSolve.size());
            missingAtSolve.push_back(index);
        }
    }
    solver = std::make_unique<InactivationSolver>(static_cast<std::uint32_t>(missingAtSolve.size()), packetLength);
    std::size_t heldSymbols = 0; // at most: a watched combination counts its size at holding
    for (std::uint32_t id = 0; id < helds.size(); ++id) {
        heldSymbols += stillHeld(id) ? helds[id].remaining : 0;
    }
    solver->reserve(heldCount, heldSymbols);
    for (std::uint32_t id = 0; id < helds.size(); ++id) {
        if (!stillHeld(id)) {
            continue;
        }
        solverUnknowns.clear();
        const Held& packet = helds[id];
        for (std::uint32_t at = packet.first; at < packet.first + packet.size; ++at) {
            if (!peeled[heldIndices[at]]) {
                solverUnknowns.push_back(unknownOf[heldIndices[at]]);
            }
        }
        solver->addEquation(solverUnknowns, reinterpret_cast<const std::uint8_t*>(reducedPayload(id)));
    }
    solver->solve();
}

// The payload of held combination `id` less its peeled sources': a watched combination's is worked out here.
const std::uint64_t* Decoder::reducedPayload(std::uint32_t id) {
    const Held& packet = helds[id];
    if (!packet.isWatched()) {
        return heldPayload(id);
    }
    solverPayload.assign(heldPayload(id), heldPayload(id) + words);
    foldPeeledSources(packet, solverPayload.data());
    return solverPayload.data();
}

// A packet accepted after the first solve, as an equation over that solve's unknowns: the source packets
// known then are XORed out of a copy of its payload.
void Decoder::informSolver(const std::uint64_t* payload, const IndexSet& indices) {
    solverPayload.assign(payload, payload + words);
    solverUnknowns.clear();
    for (std::uint32_t index : indices) {
        if (unknownOf[index] == kNone) {
            xorWords(solverPayload.data(), sourcePayload(index), words);
        } else {
            solverUnknowns.push_back(unknownOf[index]);
        }
    }
    if (!solverUnknowns.empty()) {
        solver->addLaterEquation(solverUnknowns, reinterpret_cast<const std::uint8_t*>(solverPayload.data()));
    }
}

// Every missing source packet becomes known at once; no combination is held any more.
void Decoder::adoptSolution() {
    std::vector<std::uint64_t> value(words);
    for (std::uint32_t unknown = 0; unknown < missingAtSolve.size(); ++unknown) {
        const std::uint32_t index = missingAtSolve[unknown];
        if (!known[index]) {
            solver->copyValue(unknown, reinterpret_cast<std::uint8_t*>(value.data()));
            std::memcpy(sourcePayload(index), value.data(), words * 8);
            known[index] = 1;
        }
    }
    std::fill(peeled.begin(), peeled.end(), 1);
    helds = {};
    heldPayloads = {};
    heldIndices = {};
    listNodes = {};
    heldBits = {};
    reducedBits = {};
    clearLists();
    dirtyPacketsIndices.clear();
    watchedPackets.clear();
    heldCount = 0;
    releasedCount = 0;
    releasedIndices = 0;
    cleanPacketsCount = packetCount;
    shortfallAtLastSolve = 0;
    solver.reset();
}

double Decoder::progress() const {
    return packetCount == 0 ? 0.0 : static_cast<double>(cleanPacketsCount) / static_cast<double>(packetCount);
}

std::vector<std::uint8_t> Decoder::data() const {
    std::vector<std::uint8_t> out;
    if (!isFinished()) {
        return out;
    }
    out.resize(totalLength);
    for (std::uint32_t index = 0; index + 1 < packetCount; ++index) {
        std::memcpy(out.data() + std::size_t{index} * packetLength, sourcePayload(index), packetLength);
    }
    // The zero bytes that filled the last source packet are dropped.
    const std::size_t lastOffset = std::size_t{packetCount - 1} * packetLength;
    std::memcpy(out.data() + lastOffset, sourcePayload(packetCount - 1), totalLength - lastOffset);
    return out;
}

bool Decoder::invariantsHold() const {
    std::uint32_t knownCount = 0;
    for (std::uint32_t index = 0; index < packetCount; ++index) {
        knownCount += known[index];
        if (peeled[index] && !known[index]) {
            return false;
        }
    }
    // With the peel queue empty, every known source has been peeled.
    if (knownCount != cleanPacketsCount || !peelQueue.empty() ||
        !std::equal(known.begin(), known.end(), peeled.begin())) {
        return false;
    }
    std::set<std::pair<std::uint32_t, std::uint32_t>> listed; // (source, combination) of every list entry
    for (std::uint32_t index = 0; index < packetCount; ++index) {
        const std::uint32_t count = ownerCount[index];
        for (std::uint32_t at = 0; at < std::min<std::size_t>(count, kFirstOwners); ++at) {
            listed.emplace(index, firstOwners[index].ids[at]);
        }
        for (std::uint32_t at = listHead[index]; at != kNone; at = listNodes[at].next) {
            for (std::uint32_t id : listNodes[at].owners) {
                if (id != kNone) {
                    listed.emplace(index, id);
                }
            }
        }
    }
    std::size_t held = 0;
    std::size_t watched = 0;
    std::set<IndexSet> distinctSets;
    for (std::uint32_t id = 0; id < helds.size(); ++id) {
        const Held& packet = helds[id];
        if (!stillHeld(id)) {
            continue;
        }
        ++held;
        if (packet.isWatched()) {
            if (!watchHolds(id, listed)) {
                return false;
            }
            ++watched;
            continue;
        }
        const IndexSet indices = currentIndices(packet);
        std::uint32_t indexXor = 0;
        for (std::uint32_t index : indices) {
            indexXor ^= index;
            if (listed.count({index, id}) == 0) {
                return false;
            }
        }
        const bool hashed = dirtyPacketsIndices.any(packet.hash, [&](std::uint32_t other) { return other == id; });
        if (indices.size() < 2 || indices.size() != packet.remaining || indexXor != packet.indexXor ||
            hashOf(indices) != packet.hash || !hashed || !distinctSets.insert(indices).second) {
            return false;
        }
    }
    if (held != heldCount || dirtyPacketsIndices.size() != heldCount - watched || watchedPackets.size() != watched) {
        return false;
    }
    return !(isFinished() && heldCount != 0);
}

// A watched combination's first two indices are not peeled and list it, those from the third up to its cursor
// are peeled, and it is indexed by its seed.
bool Decoder::watchHolds(std::uint32_t id, const std::set<std::pair<std::uint32_t, std::uint32_t>>& listed) const {
    const Held& packet = helds[id];
    const std::uint32_t* const set = heldIndices.data() + packet.first;
    if (packet.cursor < 2 || packet.cursor > packet.size) {
        return false;
    }
    for (std::uint32_t slot = 0; slot < 2; ++slot) {
        if (peeled[set[slot]] || listed.count({set[slot], id}) == 0) {
            return false;
        }
    }
    const bool indexed = watchedPackets.any(packet.hash, [&](std::uint32_t other) { return other == id; });
    return indexed &&
           std::all_of(set + 2, set + packet.cursor, [&](std::uint32_t index) { return peeled[index] != 0; });
}

} // namespace vexaqr::LT
