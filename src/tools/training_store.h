// The record store: one block of training records in memory, sized from the input, and the
// reading of a training file into it.
#pragma once

#include "core/types.h"
#include "tools/training_record.h"

struct TrainingStore {
    u8* records;     // count records of TRAINING_RECORD_BYTES
    u64 count;
    u64 capacity;
    u64 bytes;       // size of the block
};
extern TrainingStore training_store;

// Allocates room for `records` records (at most the record limit), freeing the previous block,
// and prints "allocated <n> Mbytes for training data." Returns 0, or -1 when memory runs out.
int store_allocate(u64 records);
void store_free();
// Appends one record; returns 0, or -1 when the store is full.
int store_append(const u8* record);
inline const u8* store_record(u64 index) { return training_store.records + index * TRAINING_RECORD_BYTES; }

// Reads a training file (its name must contain ".bin") into the store and seeds the random
// generators. Prints "read <n> positions from <file>." Returns 0 or -1.
int load_training_file(const char* path);

// Decodes record `index` of the store into pos and gives its training target. Returns 1 when
// the record holds a usable position, 0 otherwise.
int decode_training_record(const TrainingStore& store, u64 index, Position& pos, float* target);
