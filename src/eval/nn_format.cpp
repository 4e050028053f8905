#include "eval/nn_format.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

u16 read_u16(const u8* p) { return u16(p[0] | (p[1] << 8)); }
void write_u16(u8* p, u16 v) {
    p[0] = u8(v);
    p[1] = u8(v >> 8);
}
void write_u32(u8* p, u32 v) {
    for (int i = 0; i < 4; i++) p[i] = u8(v >> (8 * i));
}

// Weights travel as little-endian bytes; converting in place works because every value is
// rebuilt from its own two bytes.
void weights_from_bytes(i16* weights, u64 count) {
    const u8* b = reinterpret_cast<const u8*>(weights);
    for (u64 i = 0; i < count; i++) weights[i] = i16(read_u16(b + 2 * i));
}

u64 expected_bytes(const NetHeader& h) { return NET_HEADER_BYTES + 2 * nn_weight_count(h); }

}  // namespace

u64 nn_l1_count(const NetHeader& h) { return u64(NET_FEATURES) * h.buckets * h.hidden; }
u64 nn_output_count(const NetHeader& h) { return u64(2 * NET_OUTPUT_GROUPS) * h.hidden; }
u64 nn_bias_count(const NetHeader& h) { return u64(2) * h.hidden; }
u64 nn_weight_count(const NetHeader& h) { return nn_l1_count(h) + nn_output_count(h) + nn_bias_count(h); }

NetHeader nn_decode_header(const u8* bytes) {
    NetHeader h;
    h.kind = read_u16(bytes + 0);
    h.out_scale = i16(read_u16(bytes + 2));
    h.aux_scale = i16(read_u16(bytes + 4));
    h.cp_scale = i16(read_u16(bytes + 6));
    h.buckets = read_u16(bytes + 8);
    h.field5 = read_u16(bytes + 10);
    h.hidden = read_u16(bytes + 12);
    h.field7 = read_u16(bytes + 14);
    h.field8 = read_u16(bytes + 16);
    h.field9 = read_u16(bytes + 18);
    // The stored count (bytes 20-23) is not trusted: the count follows from B and H.
    // Some writers store the number of inputs instead of the number of king buckets.
    if (h.buckets > 767) h.buckets /= NET_FEATURES;
    // Exact for every header that passes nn_header_fault; sizes are taken from the 64-bit counts.
    h.count = u32(nn_weight_count(h));
    return h;
}

void nn_encode_header(const NetHeader& h, u8* bytes) {
    write_u16(bytes + 0, h.kind);
    write_u16(bytes + 2, u16(h.out_scale));
    write_u16(bytes + 4, u16(h.aux_scale));
    write_u16(bytes + 6, u16(h.cp_scale));
    write_u16(bytes + 8, u16(h.buckets));
    write_u16(bytes + 10, u16(h.field5));
    write_u16(bytes + 12, u16(h.hidden));
    write_u16(bytes + 14, u16(h.field7));
    write_u16(bytes + 16, u16(h.field8));
    write_u16(bytes + 18, u16(h.field9));
    write_u32(bytes + 20, u32(nn_weight_count(h)));
}

const char* nn_header_fault(const NetHeader& h) {
    if (h.buckets != 1 && h.buckets != 2) return "the number of king buckets is not 1 or 2";
    if (h.hidden < NET_MIN_HIDDEN || h.hidden > NET_MAX_HIDDEN) return "the hidden layer size is out of range";
    if (h.out_scale == 0) return "the output scale is 0";
    if (h.cp_scale == 0) return "the centipawn scale is 0";
    return nullptr;
}

int nn_allocate(NetImage& image, const NetHeader& h) {
    image.header = h;
    image.header.count = u32(nn_weight_count(h));
    image.weight_bytes = size_t(nn_weight_count(h) * sizeof(i16));
    image.weights = static_cast<i16*>(platform::alloc_large(image.weight_bytes));
    if (!image.weights) {
        image.weight_bytes = 0;
        return -1;
    }
    return 0;
}

void nn_free(NetImage& image) {
    if (image.weights) platform::free_large(image.weights, image.weight_bytes);
    image.weights = nullptr;
    image.weight_bytes = 0;
}

int nn_decode(const u8* bytes, u64 size, NetImage& out, const char** fault) {
    out.weights = nullptr;
    out.weight_bytes = 0;
    if (size < u64(NET_HEADER_BYTES)) return NET_READ_BAD_LENGTH;
    const NetHeader h = nn_decode_header(bytes);
    if (const char* why = nn_header_fault(h)) {
        if (fault) *fault = why;
        return NET_READ_BAD_HEADER;
    }
    if (size != expected_bytes(h)) return NET_READ_BAD_LENGTH;
    if (nn_allocate(out, h) != 0) return NET_READ_NO_MEMORY;
    memcpy(out.weights, bytes + NET_HEADER_BYTES, out.weight_bytes);
    weights_from_bytes(out.weights, h.count);
    return NET_READ_OK;
}

int nn_read_file(const char* path, NetImage& out, const char** fault) {
    out.weights = nullptr;
    out.weight_bytes = 0;
    const int64_t size = platform::file_size(path);
    FILE* f = size >= 0 ? fopen(path, "rb") : nullptr;
    if (!f) return NET_READ_CANT_OPEN;
    u8 head[NET_HEADER_BYTES];
    if (u64(size) < u64(NET_HEADER_BYTES) || fread(head, 1, sizeof head, f) != sizeof head) {
        fclose(f);
        return NET_READ_BAD_LENGTH;
    }
    const NetHeader h = nn_decode_header(head);
    if (const char* why = nn_header_fault(h)) {
        fclose(f);
        if (fault) *fault = why;
        return NET_READ_BAD_HEADER;
    }
    if (u64(size) != expected_bytes(h)) {
        fclose(f);
        return NET_READ_BAD_LENGTH;
    }
    if (nn_allocate(out, h) != 0) {
        fclose(f);
        return NET_READ_NO_MEMORY;
    }
    const size_t got = fread(out.weights, 1, out.weight_bytes, f);
    fclose(f);
    if (got != out.weight_bytes) {
        nn_free(out);
        return NET_READ_SHORT;
    }
    weights_from_bytes(out.weights, h.count);
    return NET_READ_OK;
}

int nn_write_file(const char* path, const NetHeader& h, const i16* weights) {
    if (nn_header_fault(h) || !weights) return -1;
    FILE* f = fopen(path, "wb");
    if (!f) return -1;
    u8 head[NET_HEADER_BYTES];
    nn_encode_header(h, head);
    bool ok = fwrite(head, 1, sizeof head, f) == sizeof head;
    constexpr u64 CHUNK = 4096;
    u8 buffer[2 * CHUNK];
    const u64 count = nn_weight_count(h);
    for (u64 done = 0; ok && done < count; done += CHUNK) {
        const u64 n = count - done < CHUNK ? count - done : CHUNK;
        for (u64 i = 0; i < n; i++) write_u16(buffer + 2 * i, u16(weights[done + i]));
        ok = fwrite(buffer, 2, size_t(n), f) == size_t(n);
    }
    if (fclose(f) != 0) ok = false;
    if (!ok) platform::remove_file(path);  // never leave a truncated network behind
    return ok ? 0 : -1;
}
