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
    const std::uint32_t degree = generateDegree();
    const double scale = static_cast<double>(packetCount - 1);
    auto drawIndex = [&] { return static_cast<std::uint32_t>(std::round(prng.rand() * scale)); };

    IndexSet indices;
    indices.reserve(degree);
    if (degree <= kSmallDegree) {
        while (indices.size() < degree) {
            const std::uint32_t index = drawIndex();
            const auto position = std::lower_bound(indices.begin(), indices.end(), index);
            if (position == indices.end() || *position != index) {
                indices.insert(position, index);
            }
        }
        return indices;
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
    return indices;
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

// ---- Decoder ----

Decoder::Decoder(std::uint32_t maximumTotalLength) : maximumTotalLength(maximumTotalLength) {}

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
    packetCount = static_cast<std::uint32_t>(packetCountFor(totalLength, length));
    cleanPackets.resize(packetCount);
    indexKeys = makeIndexKeys(packetCount);
    // One generator serves every packet: it holds nothing but its table and the seed set below.
    indexSetGenerator = IndexSetGenerator(packetCount);
}

void Decoder::processPacket(const std::vector<std::uint8_t>& bytes) {
    if (!accepts(bytes.size())) {
        return;
    }
    if (packetCount == 0) {
        fixLayout(static_cast<std::uint32_t>(bytes.size()));
    }
    indexSetGenerator.setSeed(seed);
    IndexSet indices = indexSetGenerator.generateIndices();
    seed = indexSetGenerator.getSeed();
    ++acceptedPackets;
    resolve(PacketPayload(bytes), std::move(indices));
}

void Decoder::resolve(PacketPayload payload, IndexSet indices) {
    if (indices.size() > 1) {
        std::erase_if(indices, [&](std::uint32_t index) {
            const auto& known = cleanPackets[index].payload;
            if (known) {
                payload ^= *known;
            }
            return known != nullptr;
        });
    }
    if (indices.empty()) {
        return;
    }
    auto shared = std::make_shared<PacketPayload>(std::move(payload));
    std::vector<std::uint32_t> queue; // a min-heap: the smallest newly known index is peeled first
    if (indices.size() == 1) {
        if (cleanPackets[indices.front()].payload) {
            return;
        }
        markKnown(indices.front(), std::move(shared), queue);
    } else {
        if (isHeldSet(hashOf(indices), indices)) {
            return;
        }
        hold(std::move(indices), std::move(shared));
    }
    while (!queue.empty()) {
        std::pop_heap(queue.begin(), queue.end(), std::greater<>());
        const std::uint32_t index = queue.back();
        queue.pop_back();
        peel(index, queue);
    }
}

void Decoder::hold(IndexSet indices, std::shared_ptr<PacketPayload> payload) {
    auto packet = std::make_shared<DirtyPacket>();
    packet->remaining = static_cast<std::uint32_t>(indices.size());
    for (std::uint32_t index : indices) {
        packet->indexXor ^= index;
        packet->hash ^= indexKeys[index];
        cleanPackets[index].referencingPackets.push_back(packet);
    }
    packet->originalIndices = std::move(indices);
    packet->payload = std::move(payload);
    dirtyPacketsIndices.emplace(packet->hash, packet.get());
    ++heldCount;
}

void Decoder::markKnown(std::uint32_t index, std::shared_ptr<PacketPayload> payload,
                        std::vector<std::uint32_t>& queue) {
    cleanPackets[index].payload = std::move(payload);
    ++cleanPacketsCount;
    queue.push_back(index);
    std::push_heap(queue.begin(), queue.end(), std::greater<>());
}

void Decoder::peel(std::uint32_t index, std::vector<std::uint32_t>& queue) {
    CleanPacket& clean = cleanPackets[index];
    clean.peeled = true;
    const auto referencing = std::exchange(clean.referencingPackets, {});
    for (const auto& packet : referencing) {
        if (!packet->held) {
            continue; // resolved or discarded since it was listed here
        }
        unlistHash(*packet);
        --packet->remaining;
        packet->indexXor ^= index;
        packet->hash ^= indexKeys[index];
        *packet->payload ^= *clean.payload;
        if (packet->remaining == 1) {
            packet->held = false;
            --heldCount;
            const std::uint32_t last = packet->indexXor;
            if (!cleanPackets[last].payload) {
                markKnown(last, packet->payload, queue);
            }
        } else if (isHeldSet(*packet)) {
            packet->held = false; // another combination already holds this set
            --heldCount;
        } else {
            dirtyPacketsIndices.emplace(packet->hash, packet.get());
        }
    }
}

void Decoder::unlistHash(const DirtyPacket& packet) {
    auto [first, last] = dirtyPacketsIndices.equal_range(packet.hash);
    for (auto entry = first; entry != last; ++entry) {
        if (entry->second == &packet) {
            dirtyPacketsIndices.erase(entry);
            return;
        }
    }
}

bool Decoder::isHeldSet(std::uint64_t hash, const IndexSet& indices) const {
    auto [first, last] = dirtyPacketsIndices.equal_range(hash);
    return std::any_of(first, last, [&](const auto& entry) { return holdsExactly(*entry.second, indices); });
}

bool Decoder::isHeldSet(const DirtyPacket& packet) const {
    // The set is only spelled out when another held set has the same hash, which keeps a peel step O(1).
    if (dirtyPacketsIndices.count(packet.hash) == 0) {
        return false;
    }
    return isHeldSet(packet.hash, currentIndices(packet));
}

bool Decoder::holdsExactly(const DirtyPacket& packet, const IndexSet& indices) const {
    if (packet.remaining != indices.size()) {
        return false;
    }
    auto wanted = indices.begin();
    for (std::uint32_t index : packet.originalIndices) {
        if (!cleanPackets[index].peeled && *wanted++ != index) {
            return false;
        }
    }
    return true;
}

IndexSet Decoder::currentIndices(const DirtyPacket& packet) const {
    IndexSet indices;
    indices.reserve(packet.remaining);
    for (std::uint32_t index : packet.originalIndices) {
        if (!cleanPackets[index].peeled) {
            indices.push_back(index);
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
    return attemptSolve();
}

bool Decoder::attemptSolve() {
    std::vector<std::uint32_t> missing;
    std::vector<std::uint32_t> unknownOf(packetCount, 0);
    for (std::uint32_t index = 0; index < packetCount; ++index) {
        if (!cleanPackets[index].payload) {
            unknownOf[index] = static_cast<std::uint32_t>(missing.size());
            missing.push_back(index);
        }
    }
    InactivationSolver solver(static_cast<std::uint32_t>(missing.size()), packetLength);
    std::vector<std::uint32_t> unknowns;
    for (const auto& entry : dirtyPacketsIndices) {
        unknowns.clear();
        for (std::uint32_t index : currentIndices(*entry.second)) {
            unknowns.push_back(unknownOf[index]);
        }
        solver.addEquation(unknowns, entry.second->payload->bytes().data());
    }
    if (!solver.solve()) {
        shortfallAtLastSolve = static_cast<std::uint32_t>(missing.size()) - solver.rank();
        return false;
    }
    adoptSolution(missing, solver);
    return true;
}

// Every missing source packet becomes known at once; no combination is held any more.
void Decoder::adoptSolution(const std::vector<std::uint32_t>& missing, const InactivationSolver& solver) {
    for (std::uint32_t unknown = 0; unknown < missing.size(); ++unknown) {
        std::vector<std::uint8_t> bytes(packetLength);
        solver.copyValue(unknown, bytes.data());
        CleanPacket& clean = cleanPackets[missing[unknown]];
        clean.payload = std::make_shared<PacketPayload>(std::move(bytes));
        clean.peeled = true;
    }
    for (auto& clean : cleanPackets) {
        for (const auto& packet : clean.referencingPackets) {
            packet->held = false;
        }
        clean.referencingPackets.clear();
    }
    dirtyPacketsIndices.clear();
    heldCount = 0;
    cleanPacketsCount = packetCount;
    shortfallAtLastSolve = 0;
}

double Decoder::progress() const {
    return packetCount == 0 ? 0.0 : static_cast<double>(cleanPacketsCount) / static_cast<double>(packetCount);
}

std::vector<std::uint8_t> Decoder::data() const {
    std::vector<std::uint8_t> out;
    if (!isFinished()) {
        return out;
    }
    out.reserve(totalLength);
    for (std::uint32_t index = 0; index + 1 < packetCount; ++index) {
        const auto& bytes = cleanPackets[index].payload->bytes();
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    const auto& last = cleanPackets.back().payload->bytes();
    const std::uint32_t tail = totalLength % packetLength;
    out.insert(out.end(), last.begin(), tail == 0 ? last.end() : last.begin() + tail);
    return out;
}

bool Decoder::invariantsHold() const {
    std::set<const DirtyPacket*> held;
    std::uint32_t known = 0;
    for (const auto& clean : cleanPackets) {
        known += clean.payload ? 1 : 0;
        if (clean.peeled != (clean.payload != nullptr)) {
            return false;
        }
        for (const auto& packet : clean.referencingPackets) {
            if (packet->held) {
                held.insert(packet.get());
            }
        }
    }
    if (known != cleanPacketsCount || held.size() != heldCount || dirtyPacketsIndices.size() != heldCount) {
        return false;
    }
    if (isFinished() && heldCount != 0) {
        return false;
    }
    std::set<IndexSet> distinctSets;
    for (const DirtyPacket* packet : held) {
        const IndexSet indices = currentIndices(*packet);
        std::uint32_t indexXor = 0;
        for (std::uint32_t index : indices) {
            indexXor ^= index;
            const auto& listed = cleanPackets[index].referencingPackets;
            const bool referenced =
                std::any_of(listed.begin(), listed.end(), [&](const auto& other) { return other.get() == packet; });
            if (!referenced) {
                return false;
            }
        }
        if (indices.size() < 2 || indices.size() != packet->remaining || indexXor != packet->indexXor ||
            hashOf(indices) != packet->hash || !distinctSets.insert(indices).second) {
            return false;
        }
    }
    return std::all_of(dirtyPacketsIndices.begin(), dirtyPacketsIndices.end(), [&](const auto& entry) {
        return held.count(entry.second) == 1 && entry.first == entry.second->hash;
    });
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
