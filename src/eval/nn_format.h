// The network file: a 24-byte header of sizes and scales, then one array of signed 16-bit
// weights (first-layer rows, output groups, biases), everything little-endian. This file owns
// the header record, the derived counts, the checks a header must pass, and the one reader and
// writer of the format (the engine's loading, the trainer and -prune_nn all use them).
#pragma once

#include <cstddef>

#include "core/types.h"

struct NetHeader {
    u16 kind;        // 752 = king-rank bucket rule, 757 = opposite-wings rule
    i16 out_scale;   // Q: the output sum is divided by Q * Q
    i16 aux_scale;   // carried and written back
    i16 cp_scale;    // S: centipawns per unit of network output
    u32 buckets;     // B (a file value above 767 is an input count: divided by 768)
    u32 field5, hidden, field7, field8, field9;   // hidden = H
    u32 count;       // total weights, recomputed on loading
};

constexpr int NET_HEADER_BYTES = 24;   // ten u16 words, then count as u32 at byte 20, little-endian
constexpr int NET_FEATURES = 768;      // inputs per king bucket
constexpr int NET_OUTPUT_GROUPS = 8;   // groups of 2H output weights in the file
constexpr int NET_USED_OUTPUT_GROUPS = 5;
constexpr u16 NET_KIND_KING_RANK = 752;
constexpr u16 NET_KIND_OPPOSITE_WINGS = 757;
// Bounds a header must respect before anything is allocated for it.
constexpr u32 NET_MIN_HIDDEN = 8;
constexpr u32 NET_MAX_HIDDEN = 4096;

u64 nn_l1_count(const NetHeader& h);      // 768 * B * H
u64 nn_output_count(const NetHeader& h);  // 16 * H (8 groups of 2H; groups 0-4 used)
u64 nn_bias_count(const NetHeader& h);    // 2 * H
u64 nn_weight_count(const NetHeader& h);  // their sum

// Reads the 24 header bytes, applies the input-count rule to `buckets` and recomputes `count`.
NetHeader nn_decode_header(const u8* bytes);
// Writes the header (with the recomputed count) into 24 bytes.
void nn_encode_header(const NetHeader& h, u8* bytes);

// Why a header cannot describe a usable network, or nullptr when it can: B must be 1 or 2,
// H within NET_MIN_HIDDEN..NET_MAX_HIDDEN, Q and S non-zero.
const char* nn_header_fault(const NetHeader& h);

// A network read into memory: the header and its weights (header.count values, zero-filled
// when created with nn_allocate). Release with nn_free.
struct NetImage {
    NetHeader header;
    i16* weights;
    size_t weight_bytes;
};
// Allocates zero-filled weights for a header that passed nn_header_fault. Returns 0 or -1.
int nn_allocate(NetImage& image, const NetHeader& h);
void nn_free(NetImage& image);

enum NetReadResult : int {
    NET_READ_OK = 0,
    NET_READ_CANT_OPEN = 1,
    NET_READ_BAD_HEADER = 2,   // *fault tells why
    NET_READ_BAD_LENGTH = 3,   // the length is not 24 + 2 * count bytes
    NET_READ_NO_MEMORY = 4,
    NET_READ_SHORT = 5,        // the file could not be read to its end
};
// Decodes a whole network image (header and weights) from memory into `out`, which is
// allocated here. On any result but NET_READ_OK nothing is allocated; *fault names the
// header's fault for NET_READ_BAD_HEADER.
int nn_decode(const u8* bytes, u64 size, NetImage& out, const char** fault);
// The same from a file.
int nn_read_file(const char* path, NetImage& out, const char** fault);

// The one writer of the format (trainer and -prune_nn use it): header then weights in the
// order L1 rows, output groups, biases. Returns 0, or -1 when the file cannot be written or
// the header would not load back.
int nn_write_file(const char* path, const NetHeader& h, const i16* weights);
