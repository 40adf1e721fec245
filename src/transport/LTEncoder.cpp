#include <vexaqr/transport/LTEncoder.hpp>

#include <vexaqr/transport/LTInactivationSolver.hpp>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <utility>

namespace vexaqr::LT {

namespace {

constexpr std::uint32_t kMultiplier = 1664525u;
constexpr std::uint32_t kIncrement = 1013904223u;
constexpr double kStateRange = 4294967295.0; // 2^32 - 1: both 0.0 and 1.0 are reachable
constexpr double kFailureParameter = 0.5;
constexpr std::size_t kCachedTables = 4;    // a reader, an encoder and a spare K at a time
constexpr std::uint32_t kSmallDegree = 256; // above this an index set is collected through a bitmap

std::uint32_t clockSeed() {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(seconds.count());
}

// One random 64-bit key per source index; sets hash to the XOR of their keys. Seeded afresh per
// decoder so that nobody can prepare colliding sets in advance.
std::vector<std::uint64_t> makeIndexKeys(std::uint32_t count) {
    std::random_device device;
    std::mt19937_64 engine((static_cast<std::uint64_t>(device()) << 32) ^ device());
    std::vector<std::uint64_t> keys(count);
    std::generate(keys.begin(), keys.end(), std::ref(engine));
    return keys;
}

// std::round for 0 <= x < 2^32 (halves away from zero) without the library call: x - trunc(x) is exact.
std::uint32_t roundHalfAway(double x) {
    const auto whole = static_cast<std::uint32_t>(x);
    return x - static_cast<double>(whole) >= 0.5 ? whole + 1 : whole;
}

} // namespace

// ---- PRNG ----

double PRNG::rand() {
    _seed = _seed * kMultiplier + kIncrement;
    return static_cast<double>(_seed) / kStateRange;
}

// ---- DegreeTable ----

DegreeTable DegreeTable::build(std::uint32_t packetCount) {
    const std::uint32_t k = packetCount;
    const std::uint32_t spike = k / 8 + 1;
    const double ratio = static_cast<double>(k) / static_cast<double>(spike);

    DegreeTable table;
    auto& entries = table.distribution;
    entries.assign(static_cast<std::size_t>(k) + 1, 0.0);
    entries[1] = 1.0 / static_cast<double>(k);
    for (std::uint64_t d = 2; d <= k; ++d) {
        entries[d] = 1.0 / static_cast<double>(d * (d - 1));
    }
    for (std::uint64_t i = 1; i < spike; ++i) {
        entries[i] = entries[i] + 1.0 / static_cast<double>(i * spike);
    }
    entries[spike] = entries[spike] + std::log(ratio / kFailureParameter) / static_cast<double>(spike);

    double sum = 0.0;
    for (double entry : entries) {
        sum = sum + entry;
    }
    const double inverse = 1.0 / sum;
    double running = 0.0;
    table.runningSums.reserve(entries.size());
    for (double& entry : entries) {
        entry = entry * inverse;
        running = running + entry;
        table.runningSums.push_back(running);
    }
    return table;
}

std::shared_ptr<const DegreeTable> DegreeTable::shared(std::uint32_t packetCount) {
    static std::mutex mutex;
    static std::vector<std::pair<std::uint32_t, std::shared_ptr<const DegreeTable>>> recent; // newest last
    std::lock_guard lock(mutex);
    auto found =
        std::find_if(recent.begin(), recent.end(), [&](const auto& entry) { return entry.first == packetCount; });
    if (found == recent.end()) {
        if (recent.size() == kCachedTables) {
            recent.erase(recent.begin());
        }
        recent.emplace_back(packetCount, std::make_shared<const DegreeTable>(build(packetCount)));
        return recent.back().second;
    }
    std::rotate(found, found + 1, recent.end());
    return recent.back().second;
}

// ---- IndexSetGenerator ----

IndexSetGenerator::IndexSetGenerator(std::uint32_t packetCount)
    : table(DegreeTable::shared(packetCount)), packetCount(packetCount) {}

const std::vector<double>& IndexSetGenerator::distribution() const {
    static const std::vector<double> none;
    return table ? table->distribution : none;
}

std::uint32_t IndexSetGenerator::degreeFor(double a) const {
    if (!table) {
        return 0;
    }
    // The walk "while a > s + entry i: s += entry i, i += 1" stops at the first running sum that is
    // not below a; the running sums never decrease, so a binary search finds the same index.
    const auto& sums = table->runningSums;
    const auto stop = std::lower_bound(sums.begin(), sums.end(), a);
    const auto degree = static_cast<std::uint32_t>(std::min<std::ptrdiff_t>(stop - sums.begin(), packetCount));
    return std::max<std::uint32_t>(degree, 1);
}

std::uint32_t IndexSetGenerator::generateDegree() {
    return degreeFor(prng.rand());
}

IndexSet IndexSetGenerator::generateIndices() {
    IndexSet indices;
    generateIndices(indices);
    return indices;
}

void IndexSetGenerator::generateIndices(IndexSet& indices) {
    indices.clear();
    appendIndices(indices);
    if (indices.size() <= kSmallDegree) {
        std::sort(indices.begin(), indices.end()); // large sets come out ascending already
    }
}

void IndexSetGenerator::appendIndices(std::vector<std::uint32_t>& indices) {
    const std::uint32_t degree = generateDegree();
    const double scale = static_cast<double>(packetCount - 1);
    auto drawIndex = [&] { return roundHalfAway(prng.rand() * scale); };

    const auto first = static_cast<std::ptrdiff_t>(indices.size());
    if (degree <= kSmallDegree) {
        // Small sets are short: a scan for repeats costs less than keeping them sorted.
        while (indices.size() - static_cast<std::size_t>(first) < degree) {
            const std::uint32_t index = drawIndex();
            if (std::find(indices.begin() + first, indices.end(), index) == indices.end()) {
                indices.push_back(index);
            }
        }
        return;
    }
    // Large sets: mark draws in a bitmap, then read the marks back in ascending order.
    std::vector<std::uint64_t> drawn((packetCount + 63) / 64, 0);
    std::uint32_t distinct = 0;
    while (distinct < degree) {
        const std::uint32_t index = drawIndex();
        const std::uint64_t bit = std::uint64_t{1} << (index % 64);
        if ((drawn[index / 64] & bit) == 0) {
            drawn[index / 64] |= bit;
            ++distinct;
        }
    }
    for (std::size_t word = 0; word < drawn.size(); ++word) {
        for (std::uint64_t bits = drawn[word]; bits != 0; bits &= bits - 1) {
            indices.push_back(static_cast<std::uint32_t>(word * 64 + static_cast<std::size_t>(std::countr_zero(bits))));
        }
    }
}

// ---- PacketPayload ----

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

// ---- HashedSetIndex ----

void HashedSetIndex::insert(std::uint64_t hash, std::uint32_t id) {
    if ((_count + 1) * 2 > _ids.size()) {
        grow();
    }
    std::size_t slot = slotOf(hash);
    while (_ids[slot] != kEmpty) {
        slot = (slot + 1) & _mask;
    }
    _hashes[slot] = hash;
    _ids[slot] = id;
    ++_count;
}

void HashedSetIndex::erase(std::uint64_t hash, std::uint32_t id) {
    if (_count == 0) {
        return;
    }
    std::size_t slot = slotOf(hash);
    while (_ids[slot] != kEmpty && (_hashes[slot] != hash || _ids[slot] != id)) {
        slot = (slot + 1) & _mask;
    }
    if (_ids[slot] == kEmpty) {
        return;
    }
    // Shift back every later entry of the run that may move into the hole without passing its home slot.
    std::size_t hole = slot;
    for (std::size_t next = (hole + 1) & _mask; _ids[next] != kEmpty; next = (next + 1) & _mask) {
        const std::size_t home = slotOf(_hashes[next]);
        if (((next - home) & _mask) >= ((next - hole) & _mask)) {
            _hashes[hole] = _hashes[next];
            _ids[hole] = _ids[next];
            hole = next;
        }
    }
    _ids[hole] = kEmpty;
    --_count;
}

void HashedSetIndex::clear() {
    _hashes = {};
    _ids = {};
    _mask = 0;
    _count = 0;
}

void HashedSetIndex::grow() {
    std::vector<std::uint64_t> hashes = std::move(_hashes);
    std::vector<std::uint32_t> ids = std::move(_ids);
    const std::size_t capacity = std::max<std::size_t>(64, ids.size() * 2);
    _hashes.assign(capacity, 0);
    _ids.assign(capacity, kEmpty);
    _mask = capacity - 1;
    _count = 0;
    for (std::size_t slot = 0; slot < ids.size(); ++slot) {
        if (ids[slot] != kEmpty) {
            insert(hashes[slot], ids[slot]);
        }
    }
}

// ---- Decoder ----

namespace {

// What held combinations may take besides kHeldBytesPerPacket per source packet, so that small transfers are
// never short of room.
constexpr std::size_t kHeldBytesFloor = std::size_t{1} << 20;
// Bookkeeping per index entry (the index, its combination, the next entry of its source's list) and per slot
// in the hash index (between a half and three quarters of its slots are free).
constexpr std::size_t kIndexEntryBytes = 3 * sizeof(std::uint32_t);
constexpr std::size_t kHashSlotBytes = 4 * (sizeof(std::uint64_t) + sizeof(std::uint32_t));

// Grows `vector` to hold `extra` more elements by a quarter at a time, never past `limit` elements of capacity
// unless the elements themselves need it, so that the bound on held combinations bounds the capacity as well.
template <class Vector> void reserveWithin(Vector& vector, std::size_t extra, std::size_t limit) {
    const std::size_t needed = vector.size() + extra;
    if (needed > vector.capacity()) {
        vector.reserve(std::max(needed, std::min(limit, vector.capacity() + vector.capacity() / 4 + 64)));
    }
}

void xorWords(std::uint64_t* target, const std::uint64_t* source, std::size_t words) {
    for (std::size_t i = 0; i < words; ++i) {
        target[i] ^= source[i];
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
    listHead.assign(packetCount, kNone);
    listTail.assign(packetCount, kNone);
    indexKeys = makeIndexKeys(packetCount);
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
    indexSetGenerator.setSeed(seed);
    indexSetGenerator.generateIndices(drawn);
    seed = indexSetGenerator.getSeed();
    ++acceptedPackets;
    resolve(bytes, drawn);
}

void Decoder::resolve(const std::uint8_t* bytes, IndexSet& indices) {
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
    if (indices.empty()) {
        return;
    }
    if (indices.size() == 1) {
        if (!known[indices.front()]) {
            markKnown(indices.front(), incoming.data());
        }
    } else {
        const std::uint64_t hash = hashOf(indices);
        if (!isHeldSet(hash, indices)) {
            if (roomFor(indices.size())) {
                hold(indices, incoming.data(), hash);
            } else {
                ++notHeld;
            }
        }
    }
    while (!peelQueue.empty()) {
        std::pop_heap(peelQueue.begin(), peelQueue.end(), std::greater<>());
        const std::uint32_t index = peelQueue.back();
        peelQueue.pop_back();
        peel(index);
    }
}

std::size_t Decoder::heldBytes(std::size_t combinations, std::size_t indexEntries) const {
    return combinations * (sizeof(Held) + words * 8 + kHashSlotBytes) + indexEntries * kIndexEntryBytes;
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
    reserveWithin(heldIndices, indices.size(), mostEntries);
    reserveWithin(heldOwner, indices.size(), mostEntries);
    reserveWithin(nextInList, indices.size(), mostEntries);
    reserveWithin(helds, 1, mostCombinations);
    reserveWithin(heldPayloads, words, mostCombinations * words);
    const auto id = static_cast<std::uint32_t>(helds.size());
    Held packet;
    packet.first = static_cast<std::uint32_t>(heldIndices.size());
    packet.size = static_cast<std::uint32_t>(indices.size());
    packet.remaining = packet.size;
    packet.hash = hash;
    for (std::uint32_t index : indices) {
        packet.indexXor ^= index;
        const auto position = static_cast<std::uint32_t>(heldIndices.size());
        heldIndices.push_back(index);
        heldOwner.push_back(id);
        nextInList.push_back(kNone);
        link(index, position);
    }
    helds.push_back(packet);
    heldPayloads.insert(heldPayloads.end(), payload, payload + words);
    dirtyPacketsIndices.insert(hash, id);
    ++heldCount;
}

void Decoder::link(std::uint32_t source, std::uint32_t position) {
    if (listTail[source] == kNone) {
        listHead[source] = position;
    } else {
        nextInList[listTail[source]] = position;
    }
    listTail[source] = position;
}

void Decoder::markKnown(std::uint32_t index, const std::uint64_t* payload) {
    std::memcpy(sourcePayload(index), payload, words * 8);
    known[index] = 1;
    ++cleanPacketsCount;
    peelQueue.push_back(index);
    std::push_heap(peelQueue.begin(), peelQueue.end(), std::greater<>());
}

void Decoder::peel(std::uint32_t index) {
    peeled[index] = 1;
    std::uint32_t position = std::exchange(listHead[index], kNone);
    listTail[index] = kNone;
    const std::uint64_t* clean = sourcePayload(index);
    for (; position != kNone; position = nextInList[position]) {
        const std::uint32_t id = heldOwner[position];
        Held& packet = helds[id];
        if (!packet.held) {
            continue; // resolved or discarded since it was listed here
        }
        dirtyPacketsIndices.erase(packet.hash, id);
        --packet.remaining;
        packet.indexXor ^= index;
        packet.hash ^= indexKeys[index];
        xorWords(heldPayload(id), clean, words);
        if (packet.remaining == 1) {
            release(packet);
            const std::uint32_t last = packet.indexXor;
            if (!known[last]) {
                markKnown(last, heldPayload(id));
            }
        } else if (isHeldSet(id)) {
            release(packet); // another combination already holds this set
        } else {
            dirtyPacketsIndices.insert(packet.hash, id);
        }
    }
}

void Decoder::release(Held& packet) {
    packet.held = false;
    --heldCount;
    ++releasedCount;
    releasedIndices += packet.size;
}

// Rewrites the held combinations without the released ones, keeping their order and each source's list
// order, so that nothing observable changes.
void Decoder::compact() {
    std::vector<Held> keptHelds;
    std::vector<std::uint64_t> keptPayloads;
    std::vector<std::uint32_t> keptIndices;
    keptHelds.reserve(heldCount);
    keptPayloads.reserve(heldCount * words);
    std::fill(listHead.begin(), listHead.end(), kNone);
    std::fill(listTail.begin(), listTail.end(), kNone);
    heldOwner.clear();
    nextInList.clear();
    dirtyPacketsIndices.clear();
    for (std::uint32_t id = 0; id < helds.size(); ++id) {
        if (!helds[id].held) {
            continue;
        }
        Held packet = helds[id];
        const auto keptId = static_cast<std::uint32_t>(keptHelds.size());
        packet.first = static_cast<std::uint32_t>(keptIndices.size());
        packet.size = 0;
        for (std::uint32_t at = helds[id].first; at < helds[id].first + helds[id].size; ++at) {
            const std::uint32_t index = heldIndices[at];
            if (peeled[index]) {
                continue;
            }
            const auto position = static_cast<std::uint32_t>(keptIndices.size());
            keptIndices.push_back(index);
            heldOwner.push_back(keptId);
            nextInList.push_back(kNone);
            link(index, position);
            ++packet.size;
        }
        keptPayloads.insert(keptPayloads.end(), heldPayload(id), heldPayload(id) + words);
        dirtyPacketsIndices.insert(packet.hash, keptId);
        keptHelds.push_back(packet);
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
        hash ^= indexKeys[index];
    }
    return hash;
}

std::size_t Decoder::memoryFootprint() const {
    auto bytes = [](const auto& vector) { return vector.capacity() * sizeof(vector[0]); };
    return bytes(sourcePayloads) + bytes(known) + bytes(peeled) + bytes(listHead) + bytes(listTail) + bytes(indexKeys) +
           bytes(helds) + bytes(heldPayloads) + bytes(heldIndices) + bytes(heldOwner) + bytes(nextInList) +
           dirtyPacketsIndices.size() * kHashSlotBytes + bytes(unknownOf) + bytes(missingAtSolve) +
           (solver ? solver->memoryFootprint() : 0);
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
    for (std::uint32_t id = 0; id < helds.size(); ++id) {
        if (!helds[id].held) {
            continue;
        }
        solverUnknowns.clear();
        for (std::uint32_t index : currentIndices(helds[id])) {
            solverUnknowns.push_back(unknownOf[index]);
        }
        solver->addEquation(solverUnknowns, reinterpret_cast<const std::uint8_t*>(heldPayload(id)));
    }
    solver->solve();
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
    heldOwner = {};
    nextInList = {};
    std::fill(listHead.begin(), listHead.end(), kNone);
    std::fill(listTail.begin(), listTail.end(), kNone);
    dirtyPacketsIndices.clear();
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
        for (std::uint32_t at = listHead[index]; at != kNone; at = nextInList[at]) {
            if (heldIndices[at] != index) {
                return false;
            }
            listed.emplace(index, heldOwner[at]);
        }
    }
    std::size_t held = 0;
    std::set<IndexSet> distinctSets;
    for (std::uint32_t id = 0; id < helds.size(); ++id) {
        const Held& packet = helds[id];
        if (!packet.held) {
            continue;
        }
        ++held;
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
    if (held != heldCount || dirtyPacketsIndices.size() != heldCount) {
        return false;
    }
    return !(isFinished() && heldCount != 0);
}

// ---- packetsUntilPeeled ----

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

// ---- Encoder ----

Encoder::Encoder(const std::vector<std::uint8_t>& data, std::uint32_t packetLength, std::optional<std::uint32_t> seed)
    : packetLength(0), totalLength(0) {
    if (isReceivable(data.size(), packetLength)) {
        cutIntoPackets(data, packetLength);
    }
    indexSetGenerator.setSeed(seed.value_or(clockSeed()));
}

void Encoder::cutIntoPackets(const std::vector<std::uint8_t>& data, std::uint32_t length) {
    packetLength = length;
    totalLength = static_cast<std::uint32_t>(data.size());
    std::size_t offset = 0;
    while (offset + length < data.size()) {
        packets.emplace_back(std::vector<std::uint8_t>(data.begin() + offset, data.begin() + offset + length));
        offset += length;
    }
    // The last packet always comes from here, zero-filled when the data is not a multiple of L.
    std::vector<std::uint8_t> last(data.begin() + offset, data.end());
    last.resize(length, 0);
    packets.emplace_back(std::move(last));
    indexSetGenerator = IndexSetGenerator(static_cast<std::uint32_t>(packets.size()));
}

PacketPayload Encoder::generatePacket() {
    if (!isValid()) {
        return PacketPayload(std::size_t{0});
    }
    PacketPayload packet(packetLength);
    for (std::uint32_t index : indexSetGenerator.generateIndices()) {
        packet ^= packets[index];
    }
    return packet;
}

} // namespace vexaqr::LT
