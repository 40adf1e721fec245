#include "codec/transport/LTHashedSetIndex.hpp"

#include <algorithm>

namespace vexaqr::LT {

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

} // namespace vexaqr::LT
