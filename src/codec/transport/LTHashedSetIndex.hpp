// LT::HashedSetIndex: the decoder's index of held combinations by the hash of their index sets. Not
// thread-safe.
#pragma once

#include "codec/platform/LargeArrays.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexaqr::LT {

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
        for (std::size_t slot = slotOf(hash); _slots[slot].id != kEmpty; slot = (slot + 1) & _mask) {
            if (_slots[slot].hash == hash && matches(_slots[slot].id)) {
                return true;
            }
        }
        return false;
    }
    bool contains(std::uint64_t hash) const {
        return any(hash, [](std::uint32_t) { return true; });
    }
    /// Fetches the first slot `hash` would be looked for in, ahead of a lookup.
    void prefetch(std::uint64_t hash) const {
        if (_count != 0) {
            __builtin_prefetch(&_slots[slotOf(hash)]);
        }
    }
    std::size_t size() const { return _count; }
    void clear();

private:
    static constexpr std::uint32_t kEmpty = 0xffffffffu;
    // A hash beside its id, so that a probe reads one cache line.
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t id = kEmpty;
    };
    std::size_t slotOf(std::uint64_t hash) const { return static_cast<std::size_t>(hash >> 20) & _mask; }
    void grow();

    LargeVector<Slot> _slots;
    std::size_t _mask = 0;
    std::size_t _count = 0;
};

} // namespace vexaqr::LT
