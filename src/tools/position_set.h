// A set of position keys, for tools that must not write the same position twice.
#pragma once

#include "core/types.h"

struct PositionSet {
    u64* keys = nullptr;  // open addressing; 0 marks an empty slot (key 0 is kept aside)
    u32 capacity = 0;     // a power of two, or 0
    u32 count = 0;
    bool has_zero = false;
};

// Adds the key; returns 1 when it was new, 0 when it was already there, -1 when memory runs out.
int position_set_insert(PositionSet& set, u64 key);
bool position_set_contains(const PositionSet& set, u64 key);
void position_set_free(PositionSet& set);
