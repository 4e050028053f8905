// Parsing a mapped tablebase file into its encoding and decoding records. Every offset taken
// from the file is checked against the mapping before it is used, so that a damaged file is
// rejected here instead of being read out of bounds later.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tablebase/tbconst.h"
#include "tablebase/tbinternal.h"

namespace {

constexpr u8 FLAG_SINGLE_VALUE = 0x80;
constexpr u8 FLAG_MAP = 0x02;
constexpr u8 FLAG_WIDE_MAP = 0x10;
constexpr u8 LAYOUT_ASYMMETRIC = 0x01;
constexpr u8 LAYOUT_PAWNS = 0x02;

inline u16 read_u16(const u8* p) { return u16(p[0] | p[1] << 8); }
inline u32 read_u32(const u8* p) { return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24; }

struct Cursor {
    const u8* data;
    u64 size;
    u64 pos;
    char* why;
    bool fail(const char* reason) {
        std::snprintf(why, 80, "%s", reason);
        return false;
    }
    int error(const char* reason) {
        fail(reason);
        return -1;
    }
    bool has(u64 bytes) const { return pos <= size && bytes <= size - pos; }
};

// Cuts the stored piece list into groups and hands out the factors in the stored order.
bool build_encoding(const TbEntry& entry, TbSubTable& sub, int file, int order, int order2, Cursor& c) {
    const int n = entry.num;
    u8 seen[16] = {};
    for (int i = 0; i < n; i++) {
        const int code = sub.pieces[i];
        if ((code & 7) == 0 || (code & 7) == 7) return c.fail("bad piece code");
        seen[code]++;
    }
    if (std::memcmp(seen, entry.count, sizeof seen) != 0) return c.fail("piece list does not match the name");

    int first_size, second_size = 0;
    if (entry.has_pawns) {
        first_size = entry.pawns[0];
        second_size = entry.pawns[1];
        const int lead = sub.pieces[0];
        if ((lead & 7) != TB_PAWN) return c.fail("leading pawns missing");
        for (int i = 0; i < first_size; i++)
            if (sub.pieces[i] != lead) return c.fail("bad leading pawn group");
        for (int i = first_size; i < first_size + second_size; i++)
            if (sub.pieces[i] != (lead ^ 8)) return c.fail("bad second pawn group");
        if (entry.count[lead] != first_size) return c.fail("bad leading pawn count");
    } else {
        first_size = entry.kk ? 2 : 3;
        for (int i = 0; i < first_size; i++)
            if (entry.count[sub.pieces[i]] != 1) return c.fail("first group not unique");
        if (entry.kk && ((sub.pieces[0] & 7) != TB_KING || (sub.pieces[1] & 7) != TB_KING))
            return c.fail("king pair expected");
    }

    std::memset(sub.norm, 0, sizeof sub.norm);
    std::memset(sub.factor, 0, sizeof sub.factor);
    sub.norm[0] = u8(first_size);
    if (second_size) sub.norm[first_size] = u8(second_size);
    int groups = second_size ? 2 : 1;
    for (int i = first_size + second_size; i < n;) {
        int run = 1;
        while (i + run < n && sub.pieces[i + run] == sub.pieces[i]) run++;
        // Equal pieces are listed together, so every run holds all pieces of its code.
        if (run != entry.count[sub.pieces[i]]) return c.fail("split piece group");
        sub.norm[i] = u8(run);
        i += run;
        groups++;
    }
    if (order >= groups) return c.fail("bad group order");
    if (second_size) {
        if (order2 >= groups || order2 == order) return c.fail("bad pawn group order");
    } else {
        order2 = 15;
    }

    const u64 first_places = entry.has_pawns ? TbLeadSize[first_size][file] : (entry.kk ? 462 : 31332);
    int next = first_size + second_size;
    int free_squares = 64 - first_size - second_size;
    u64 f = 1;
    for (int k = 0; k < groups; k++) {
        if (k == order) {
            sub.factor[0] = f;
            f *= first_places;
        } else if (k == order2) {
            sub.factor[first_size] = f;
            f *= TbBinomial[second_size][48 - first_size];
        } else {
            if (next >= n) return c.fail("bad group order");
            sub.factor[next] = f;
            f *= TbBinomial[sub.norm[next]][free_squares];
            free_squares -= sub.norm[next];
            next += sub.norm[next];
        }
    }
    sub.size = f;
    return true;
}

// One compressed-data header. Lengths of the symbols are computed later, once all headers
// are known and their storage can be allocated in one piece.
bool setup_pairs(TbPairs& pairs, int kind, u64 table_size, Cursor& c) {
    if (!c.has(2)) return c.fail("header past the end");
    const u8* d = c.data + c.pos;
    pairs.flags = d[0];
    if (d[0] & FLAG_SINGLE_VALUE) {
        pairs.single_value = kind == TB_WDL ? d[1] : 0;
        if (pairs.single_value > 4) return c.fail("bad single value");
        c.pos += 2;
        return true;
    }
    if (!c.has(12)) return c.fail("header past the end");
    pairs.block_bits = d[1];
    pairs.index_bits = d[2];
    const u32 extra = d[3];
    pairs.blocks = read_u32(d + 4);
    pairs.max_len = d[8];
    pairs.min_len = d[9];
    if (pairs.min_len < 1 || pairs.max_len > 32 || pairs.min_len > pairs.max_len) return c.fail("bad code lengths");
    if (pairs.block_bits > 31) return c.fail("bad block size");
    if (pairs.index_bits < 1 || pairs.index_bits > 62) return c.fail("bad index step");
    if (pairs.blocks == 0) return c.fail("no data blocks");
    const int lengths = pairs.max_len - pairs.min_len + 1;
    if (!c.has(12 + 2 * u64(lengths))) return c.fail("header past the end");
    pairs.num_syms = read_u16(d + 10 + 2 * lengths);
    if (pairs.num_syms == 0 || pairs.num_syms >= TB_MAX_SYMS) return c.fail("bad symbol count");
    const u64 header_length = 12 + 2 * u64(lengths) + 3 * u64(pairs.num_syms) + (pairs.num_syms & 1);
    if (!c.has(header_length)) return c.fail("symbols past the end");
    pairs.first = d + 10;
    pairs.symbols = d + 12 + 2 * lengths;

    for (int s = 0; s < pairs.num_syms; s++) {
        const u8* sym = pairs.symbols + 3 * s;
        const int left = sym[0] | (sym[1] & 15) << 8;
        const int right = (sym[1] >> 4) | sym[2] << 4;
        if (right != 0xFFF && (left >= pairs.num_syms || right >= pairs.num_syms)) return c.fail("bad symbol");
    }

    // Canonical code: longer codes have smaller values. base[l] is the smallest code of
    // length l, left-aligned in 64 bits.
    std::memset(pairs.base, 0, sizeof pairs.base);
    pairs.base[pairs.max_len] = 0;
    for (int l = pairs.max_len - 1; l >= pairs.min_len; l--) {
        const u64 first_l = read_u16(pairs.first + 2 * (l - pairs.min_len));
        const u64 first_next = read_u16(pairs.first + 2 * (l + 1 - pairs.min_len));
        pairs.base[l] = (pairs.base[l + 1] + first_l - first_next) / 2;
    }
    for (int l = pairs.min_len; l <= pairs.max_len; l++) pairs.base[l] <<= (64 - l);

    const u64 step_mask = (u64(1) << pairs.index_bits) - 1;
    pairs.index_entries = (table_size >> pairs.index_bits) + ((table_size & step_mask) != 0);
    const u64 size_entries = u64(pairs.blocks) + extra;
    if (size_entries > 0xFFFFFFFFull) return c.fail("bad block count");
    pairs.size_entries = u32(size_entries);
    c.pos += header_length;
    return true;
}

// Number of values each symbol stands for, minus one, by a depth-first walk that rejects
// cycles and lengths no block could hold.
bool compute_symbol_lengths(TbPairs& pairs, Cursor& c) {
    u8 state[TB_MAX_SYMS];
    u16 stack[TB_MAX_SYMS];
    std::memset(state, 0, pairs.num_syms);
    for (int root = 0; root < pairs.num_syms; root++) {
        if (state[root] == 2) continue;
        int depth = 0;
        stack[depth++] = u16(root);
        state[root] = 1;
        while (depth > 0) {
            const int s = stack[depth - 1];
            const u8* sym = pairs.symbols + 3 * s;
            const int left = sym[0] | (sym[1] & 15) << 8;
            const int right = (sym[1] >> 4) | sym[2] << 4;
            if (right == 0xFFF) {
                pairs.sym_len[s] = 0;
                state[s] = 2;
                depth--;
                continue;
            }
            int pending = state[left] != 2 ? left : (state[right] != 2 ? right : -1);
            if (pending < 0) {
                const u32 length = u32(pairs.sym_len[left]) + pairs.sym_len[right] + 1;
                if (length > 0xFFFF) return c.fail("symbol too long");
                pairs.sym_len[s] = u16(length);
                state[s] = 2;
                depth--;
                continue;
            }
            if (state[pending] == 1) return c.fail("symbol cycle");
            state[pending] = 1;
            stack[depth++] = u16(pending);
        }
    }
    return true;
}

bool read_dtz_maps(TbTable& t, Cursor& c) {
    const u64 map_start = c.pos;
    t.map = c.data + map_start;
    for (int f = 0; f < t.files; f++) {
        const u8 flags = t.sub[f][0].pairs.flags;
        t.dtz_flags[f] = flags;
        if ((flags & FLAG_SINGLE_VALUE) || !(flags & FLAG_MAP)) continue;
        if (flags & FLAG_WIDE_MAP) {
            c.pos += c.pos & 1;
            for (int i = 0; i < 4; i++) {
                if (!c.has(2)) return c.fail("map past the end");
                const u64 entries = read_u16(c.data + c.pos);
                t.map_offset[f][i] = u32((c.pos + 2 - map_start) / 2);
                c.pos += 2 + 2 * entries;
            }
        } else {
            for (int i = 0; i < 4; i++) {
                if (!c.has(1)) return c.fail("map past the end");
                const u64 entries = c.data[c.pos];
                t.map_offset[f][i] = u32(c.pos + 1 - map_start);
                c.pos += 1 + entries;
            }
        }
        if (c.pos > c.size) return c.fail("map past the end");
    }
    c.pos += c.pos & 1;
    return true;
}

}  // namespace

int tb_parse_table(const TbEntry& entry, int kind, const u8* data, u64 size, TbTable& t, char* why) {
    Cursor c{data, size, 0, why};
    if (size < 16) return c.error("file too short");
    const u8 layout = data[4];
    if (((layout & LAYOUT_PAWNS) != 0) != (entry.has_pawns != 0)) return c.error("pawn flag does not match");
    if (kind == TB_WDL && ((layout & LAYOUT_ASYMMETRIC) != 0) == (entry.symmetric != 0))
        return c.error("symmetry flag does not match");

    t.files = entry.has_pawns ? 4 : 1;
    t.sides = (kind == TB_WDL && !entry.symmetric) ? 2 : 1;
    t.file_end = data + size;
    const int n = entry.num;
    const bool two_pawn_groups = entry.has_pawns && entry.pawns[1] > 0;
    c.pos = 5;

    // Piece-order records: one per pawn file. DTZ files keep only the low nibbles.
    for (int f = 0; f < t.files; f++) {
        const int record = 1 + (two_pawn_groups ? 1 : 0) + n;
        if (!c.has(record)) return c.error("piece list past the end");
        const u8* d = data + c.pos;
        const u8 order_byte = d[0];
        const u8 order2_byte = two_pawn_groups ? d[1] : 0xFF;
        const u8* list = d + (two_pawn_groups ? 2 : 1);
        for (int s = 0; s < t.sides; s++) {
            const int shift = 4 * s;
            TbSubTable& sub = t.sub[f][s];
            for (int i = 0; i < n; i++) sub.pieces[i] = u8((list[i] >> shift) & 15);
            if (!build_encoding(entry, sub, f, (order_byte >> shift) & 15, (order2_byte >> shift) & 15, c)) return -1;
        }
        c.pos += record;
    }
    if (entry.has_pawns) {
        t.lead_code = t.sub[0][0].pieces[0];
        for (int f = 0; f < t.files; f++)
            for (int s = 0; s < t.sides; s++)
                if (t.sub[f][s].pieces[0] != t.lead_code) return c.error("leading colour changes");
    }
    c.pos += c.pos & 1;

    u32 total_syms = 0;
    for (int f = 0; f < t.files; f++)
        for (int s = 0; s < t.sides; s++) {
            TbSubTable& sub = t.sub[f][s];
            if (!setup_pairs(sub.pairs, kind, sub.size, c)) return -1;
            if (!(sub.pairs.flags & FLAG_SINGLE_VALUE)) total_syms += sub.pairs.num_syms;
        }

    if (kind == TB_DTZ && !read_dtz_maps(t, c)) return -1;

    // Main indices, then size tables, then the 64-byte aligned data blocks.
    for (int f = 0; f < t.files; f++)
        for (int s = 0; s < t.sides; s++) {
            TbPairs& p = t.sub[f][s].pairs;
            if (p.flags & FLAG_SINGLE_VALUE) continue;
            if (p.index_entries > size / 6 || !c.has(6 * p.index_entries)) return c.error("main index past the end");
            p.main_index = data + c.pos;
            c.pos += 6 * p.index_entries;
        }
    for (int f = 0; f < t.files; f++)
        for (int s = 0; s < t.sides; s++) {
            TbPairs& p = t.sub[f][s].pairs;
            if (p.flags & FLAG_SINGLE_VALUE) continue;
            if (!c.has(2 * u64(p.size_entries))) return c.error("size table past the end");
            p.size_table = data + c.pos;
            c.pos += 2 * u64(p.size_entries);
        }
    for (int f = 0; f < t.files; f++)
        for (int s = 0; s < t.sides; s++) {
            TbPairs& p = t.sub[f][s].pairs;
            c.pos = (c.pos + 63) & ~u64(63);
            if (p.flags & FLAG_SINGLE_VALUE) continue;
            const u64 bytes = u64(p.blocks) << p.block_bits;
            if (!c.has(bytes)) return c.error("data past the end");
            p.data = data + c.pos;
            c.pos += bytes;
        }

    t.sym_len_storage = static_cast<u16*>(std::malloc(sizeof(u16) * (total_syms ? total_syms : 1)));
    if (!t.sym_len_storage) return c.error("out of memory");
    u32 used = 0;
    for (int f = 0; f < t.files; f++)
        for (int s = 0; s < t.sides; s++) {
            TbPairs& p = t.sub[f][s].pairs;
            if (p.flags & FLAG_SINGLE_VALUE) continue;
            p.sym_len = t.sym_len_storage + used;
            used += p.num_syms;
            if (!compute_symbol_lengths(p, c)) {
                tb_free_table(t);
                return -1;
            }
        }
    return 0;
}

void tb_free_table(TbTable& t) {
    std::free(t.sym_len_storage);
    t.sym_len_storage = nullptr;
}
