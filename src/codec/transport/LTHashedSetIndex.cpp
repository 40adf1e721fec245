#include "codec/transport/LTHashedSetIndex.hpp"

#include <algorithm>

namespace vexaqr::LT {

void HashedSetIndex::insert(std::uint64_t hash, std::uint32_t id) {
    if ((_count + 1) * 2 > _slots.size()) {
        grow();
    }
    std::size_t slot = slotOf(hash);
    while (_slots[slot].id != kEmpty) {
        slot = (slot + 1) & _mask;
    }
    _slots[slot] = Slot{hash, id};
    ++_count;
}

void HashedSetIndex::erase(std::uint64_t hash, std::uint32_t id) {
    if (_count == 0) {
        return;
    }
    std::size_t slot = slotOf(hash);
    while (_slots[slot].id != kEmpty && (_slots[slot].hash != hash || _slots[slot].id != id)) {
        slot = (slot + 1) & _mask;
    }
    if (_slots[slot].id == kEmpty) {
        return;
    }
    // Shift back every later entry of the run that may move into the hole without passing its home slot.
    std::size_t hole = slot;
    for (std::size_t next = (hole + 1) & _mask; _slots[next].id != kEmpty; next = (next + 1) & _mask) {
        const std::size_t home = slotOf(_slots[next].hash);
        if (((next - home) & _mask) >= ((next - hole) & _mask)) {
            _slots[hole] = _slots[next];
            hole = next;
        }
    }
    _slots[hole].id = kEmpty;
    --_count;
}

void HashedSetIndex::clear() {
    _slots = {};
    _mask = 0;
    _count = 0;
}

void HashedSetIndex::grow() {
    LargeVector<Slot> slots = std::move(_slots);
    const std::size_t capacity = std::max<std::size_t>(64, slots.size() * 2);
    _slots.assign(capacity, Slot{});
    _mask = capacity - 1;
    _count = 0;
    for (const Slot& slot : slots) {
        if (slot.id != kEmpty) {
            insert(slot.hash, slot.id);
        }
    }
}

} // namespace vexaqr::LT
