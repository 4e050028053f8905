#include "tools/training_store.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/output.h"
#include "platform/platform.h"
#include "search/thread.h"
#include "tools/tool_io.h"

TrainingStore training_store = {nullptr, 0, 0, 0};

int store_allocate(u64 records) {
    store_free();
    if (records > TRAINING_RECORD_LIMIT) records = TRAINING_RECORD_LIMIT;
    if (records == 0) records = 1;
    const u64 bytes = records * TRAINING_RECORD_BYTES;
    void* block = platform::alloc_large(size_t(bytes));
    if (!block) {
        tool_message("could not allocate %.0f Mbytes for training data", double(bytes) / 1e6);
        return -1;
    }
    training_store = {static_cast<u8*>(block), 0, records, bytes};
    print_line("allocated %.0f Mbytes for training data.", double(bytes) / 1e6);
    return 0;
}

void store_free() {
    if (training_store.records) platform::free_large(training_store.records, size_t(training_store.bytes));
    training_store = {nullptr, 0, 0, 0};
}

int store_append(const u8* record) {
    TrainingStore& s = training_store;
    if (s.count >= s.capacity) return -1;
    memcpy(s.records + s.count * TRAINING_RECORD_BYTES, record, TRAINING_RECORD_BYTES);
    s.count++;
    return 0;
}

int load_training_file(const char* path) {
    if (!has_extension(path, ".bin")) {
        tool_message("a training file name must contain .bin: %s", path);
        return -1;
    }
    const int64_t size = platform::file_size(path);
    FILE* f = size >= 0 ? fopen(path, "rb") : nullptr;
    if (!f) {
        tool_message("can't open %s for reading", path);
        return -1;
    }
    u64 records = u64(size) / TRAINING_RECORD_BYTES;
    const u64 trailing = u64(size) % TRAINING_RECORD_BYTES;
    if (records > TRAINING_RECORD_LIMIT) records = TRAINING_RECORD_LIMIT;
    if (store_allocate(records) != 0) {
        fclose(f);
        return -1;
    }
    srand(unsigned(time(nullptr)));
    if (main_thread) main_thread->random = u32(rand()) * 12345u + 76543u;
    const size_t got = fread(training_store.records, TRAINING_RECORD_BYTES, size_t(records), f);
    fclose(f);
    training_store.count = got;
    if (trailing) tool_message("%s ends in %llu bytes that are not a whole record; they are ignored", path, (unsigned long long)trailing);
    if (got < records) tool_message("%s could be read only in part", path);
    print_line("read %d positions from %s.\n", int(got), path);
    return 0;
}

int decode_training_record(const TrainingStore& store, u64 index, Position& pos, float* target) {
    if (index >= store.count) return 0;
    const u8* r = store.records + index * TRAINING_RECORD_BYTES;
    if (decode_record_position(r, pos) != RECORD_OK) return 0;
    if (target) *target = training_target(record_labels(r));
    return 1;
}
