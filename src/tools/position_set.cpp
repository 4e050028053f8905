#include "tools/position_set.h"

#include <cstdlib>

namespace {

constexpr u32 INITIAL_CAPACITY = 1024;

u32 slot_of(u64 key, u32 capacity) {
    key ^= key >> 31;
    key *= 0x9E3779B97F4A7C15ull;
    return u32(key >> 32) & (capacity - 1);
}

void place(u64* keys, u32 capacity, u64 key) {
    u32 s = slot_of(key, capacity);
    while (keys[s]) s = (s + 1) & (capacity - 1);
    keys[s] = key;
}

}  // namespace

bool position_set_contains(const PositionSet& set, u64 key) {
    if (key == 0) return set.has_zero;
    if (!set.capacity) return false;
    for (u32 s = slot_of(key, set.capacity); set.keys[s]; s = (s + 1) & (set.capacity - 1))
        if (set.keys[s] == key) return true;
    return false;
}

int position_set_insert(PositionSet& set, u64 key) {
    if (position_set_contains(set, key)) return 0;
    if (key == 0) {
        set.has_zero = true;
        return 1;
    }
    // Kept at most half full.
    if (2 * (set.count + 1) > set.capacity) {
        const u32 grown = set.capacity ? set.capacity * 2 : INITIAL_CAPACITY;
        if (grown < set.capacity) return -1;
        auto* keys = static_cast<u64*>(calloc(grown, sizeof(u64)));
        if (!keys) return -1;
        for (u32 i = 0; i < set.capacity; i++)
            if (set.keys[i]) place(keys, grown, set.keys[i]);
        free(set.keys);
        set.keys = keys;
        set.capacity = grown;
    }
    place(set.keys, set.capacity, key);
    set.count++;
    return 1;
}

void position_set_free(PositionSet& set) {
    free(set.keys);
    set = PositionSet{};
}
