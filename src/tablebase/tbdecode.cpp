// The table lookup: from a position to the index of its sub-table, and from the index to the
// stored value through the compressed blocks. Reads are bounded by the mapping; a fault in a
// loaded file takes that file out of use.
#include "tablebase/tbconst.h"
#include "tablebase/tbinternal.h"

namespace {

constexpr u8 FLAG_SINGLE_VALUE = 0x80;
constexpr u8 FLAG_MAP = 0x02;
constexpr u8 FLAG_WIDE_MAP = 0x10;
constexpr int WDL_TO_MAP[5] = {1, 3, 0, 2, 0};
constexpr u8 PLIES_FLAG[5] = {8, 0, 0, 0, 4};

inline u16 read_u16(const u8* p) { return u16(p[0] | p[1] << 8); }
inline u32 read_u32(const u8* p) { return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24; }
inline u32 read_be32(const u8* p) { return u32(p[0]) << 24 | u32(p[1]) << 16 | u32(p[2]) << 8 | u32(p[3]); }
inline u64 read_be64(const u8* p) { return u64(read_be32(p)) << 32 | read_be32(p + 4); }

inline int flip_diagonal(int sq) { return ((sq & 7) << 3) | (sq >> 3); }
inline bool off_diagonal(int sq) { return square_file(sq) != square_rank(sq); }
inline bool above_diagonal(int sq) { return square_rank(sq) > square_file(sq); }

// Where a lookup goes: the sub-table and the index inside it.
struct Locator {
    const TbSubTable* sub;
    int file;
    u64 index;
};

enum LocateResult { LOCATE_OK = 0, LOCATE_FAIL = -1, LOCATE_OTHER_SIDE = 1 };

// Insertion sorts: the groups hold at most six squares.
void sort_squares(u8* sq, int count) {
    for (int i = 1; i < count; i++) {
        const u8 v = sq[i];
        int j = i;
        for (; j > 0 && sq[j - 1] > v; j--) sq[j] = sq[j - 1];
        sq[j] = v;
    }
}

void sort_by_falling_twist(u8* sq, int count) {
    for (int i = 1; i < count; i++) {
        const u8 v = sq[i];
        int j = i;
        for (; j > 0 && TbPawnTwist[sq[j - 1]] < TbPawnTwist[v]; j--) sq[j] = sq[j - 1];
        sq[j] = v;
    }
}

// Rank of a k-subset among the squares not taken by positions 0..start-1 (sorted in place).
u64 subset_rank(u8* sq, int start, int k) {
    sort_squares(sq + start, k);
    u64 rank = 0;
    for (int j = 0; j < k; j++) {
        const int q = sq[start + j];
        int below = 0;
        for (int i = 0; i < start; i++) below += sq[i] < q;
        rank += TbBinomial[j + 1][q - below];
    }
    return rank;
}

u64 first_group_rank(const TbEntry& e, const u8* sq, bool* valid) {
    if (e.kk) {
        const int r = TbKingPairIndex[TbTriangle[sq[0]]][sq[1]];
        *valid = r >= 0;
        return u64(r < 0 ? 0 : r);
    }
    const int a = sq[0], b = sq[1], c = sq[2];
    const int adj1 = b > a;
    const int adj2 = (c > a) + (c > b);
    if (off_diagonal(a)) return u64(TbTriangle[a]) * 63 * 62 + u64(b - adj1) * 62 + u64(c - adj2);
    if (off_diagonal(b)) return 23436 + u64(TbDiag[a]) * 28 * 62 + u64(TbLower[b]) * 62 + u64(c - adj2);
    if (off_diagonal(c)) return 30380 + u64(TbDiag[a]) * 7 * 28 + u64(TbDiag[b] - adj1) * 28 + TbLower[c];
    return 31164 + u64(TbDiag[a]) * 7 * 6 + u64(TbDiag[b] - adj1) * 6 + u64(TbDiag[c] - adj2);
}

int locate(const TbPosition& pos, const TbEntry& e, const TbTable& t, int kind, u64 key, Locator& out) {
    const bool flip = e.symmetric ? !pos.turn : key != e.key;
    const int bside = (pos.turn ? 0 : 1) ^ (flip ? 1 : 0);
    const int colour_flip = flip ? 8 : 0;
    const int square_flip = flip ? 56 : 0;
    const int n = e.num;
    u8 sq[TB_PIECES] = {};
    int filled = 0;
    int file = 0;

    if (e.has_pawns) {
        const int lead = t.lead_code ^ colour_flip;
        u64 leaders = tb_colour_bb(pos, lead >> 3) & pos.pawns;
        if (popcount(leaders) != e.pawns[0]) return LOCATE_FAIL;
        while (leaders) sq[filled++] = u8(pop_lsb(leaders) ^ square_flip);
        for (int i = 1; i < filled; i++)
            if (TbFlap[sq[i]] < TbFlap[sq[0]]) {
                const u8 t = sq[0];
                sq[0] = sq[i];
                sq[i] = t;
            }
        file = TB_FILE_TO_FILE[square_file(sq[0])];
    }
    const TbSubTable& sub = t.sub[file][kind == TB_DTZ ? 0 : bside];
    if (kind == TB_DTZ && !e.symmetric && (t.dtz_flags[file] & 1) != bside) return LOCATE_OTHER_SIDE;

    while (filled < n) {
        const int code = sub.pieces[filled] ^ colour_flip;
        u64 b = tb_colour_bb(pos, code >> 3) & tb_kind_bb(pos, code & 7);
        if (!b) return LOCATE_FAIL;
        while (b) {
            if (filled >= n) return LOCATE_FAIL;
            sq[filled++] = u8(pop_lsb(b) ^ square_flip);
        }
    }

    u64 index;
    int next;
    if (e.has_pawns) {
        if (square_file(sq[0]) >= 4)
            for (int i = 0; i < n; i++) sq[i] ^= 7;
        const int leaders = e.pawns[0];
        // The other leading pawns are ranked by falling twist value.
        sort_by_falling_twist(sq + 1, leaders - 1);
        u64 rank = TbLeadIndex[leaders][TbFlap[sq[0]]];
        for (int i = 1; i < leaders; i++) rank += TbBinomial[leaders - i][TbPawnTwist[sq[i]]];
        index = rank * sub.factor[0];
        next = leaders;
        if (e.pawns[1]) {
            const int others = e.pawns[1];
            sort_squares(sq + leaders, others);
            u64 rank2 = 0;
            for (int j = 0; j < others; j++) {
                const int q = sq[leaders + j];
                int below = 0;
                for (int i = 0; i < leaders; i++) below += sq[i] < q;
                rank2 += TbBinomial[j + 1][q - 8 - below];
            }
            index += rank2 * sub.factor[leaders];
            next += others;
        }
    } else {
        if (square_file(sq[0]) >= 4)
            for (int i = 0; i < n; i++) sq[i] ^= 7;
        if (square_rank(sq[0]) >= 4)
            for (int i = 0; i < n; i++) sq[i] ^= 56;
        next = e.kk ? 2 : 3;
        for (int i = 0; i < next; i++) {
            if (!off_diagonal(sq[i])) continue;
            if (above_diagonal(sq[i]))
                for (int j = 0; j < n; j++) sq[j] = u8(flip_diagonal(sq[j]));
            break;
        }
        bool valid = true;
        index = first_group_rank(e, sq, &valid) * sub.factor[0];
        if (!valid) return LOCATE_FAIL;
    }
    while (next < n) {
        const int k = sub.norm[next];
        if (k == 0) return LOCATE_FAIL;
        index += subset_rank(sq, next, k) * sub.factor[next];
        next += k;
    }
    if (index >= sub.size) return LOCATE_FAIL;
    out.sub = &sub;
    out.file = file;
    out.index = index;
    return LOCATE_OK;
}

int fault(const char** why, const char* reason) {
    *why = reason;
    return -1;
}

// The stored value of an index, or -1 when the file turns out to be damaged.
int decompress(const TbPairs& p, const u8* file_end, u64 index, const char** why) {
    if (p.flags & FLAG_SINGLE_VALUE) return p.single_value;

    const u64 entry = index >> p.index_bits;
    if (entry >= p.index_entries) return fault(why, "index outside the main index");
    const u8* main = p.main_index + 6 * entry;
    u32 block = read_u32(main);
    i64 pos = i64(read_u16(main + 4)) + i64(index & ((u64(1) << p.index_bits) - 1)) -
              (i64(1) << (p.index_bits - 1));
    if (block >= p.size_entries) return fault(why, "block outside the size table");
    while (pos < 0) {
        if (block == 0) return fault(why, "walk before the first block");
        block--;
        pos += i64(read_u16(p.size_table + 2 * u64(block))) + 1;
    }
    while (pos > i64(read_u16(p.size_table + 2 * u64(block)))) {
        pos -= i64(read_u16(p.size_table + 2 * u64(block))) + 1;
        if (++block >= p.size_entries) return fault(why, "walk past the last block");
    }
    if (block >= p.blocks) return fault(why, "block without data");

    const u8* ptr = p.data + (u64(block) << p.block_bits);
    if (file_end - ptr < 8) return fault(why, "block past the end");
    u64 code = read_be64(ptr);
    ptr += 8;
    int bits = 64;
    int sym;
    // Each code covers at least one value and a block holds at most 65536, so this ends.
    for (;;) {
        int l = p.min_len;
        while (code < p.base[l]) l++;
        sym = read_u16(p.first + 2 * (l - p.min_len)) + int((code - p.base[l]) >> (64 - l));
        if (sym >= p.num_syms) return fault(why, "code outside the symbol table");
        if (pos <= i64(p.sym_len[sym])) break;
        pos -= i64(p.sym_len[sym]) + 1;
        code <<= l;
        bits -= l;
        if (bits <= 32) {
            if (file_end - ptr < 4) return fault(why, "codes run past the end");
            code |= u64(read_be32(ptr)) << (32 - bits);
            ptr += 4;
            bits += 32;
        }
    }
    // Descend the pair tree to the leaf that holds the value.
    for (;;) {
        const u8* s = p.symbols + 3 * sym;
        const int left = s[0] | (s[1] & 15) << 8;
        if (p.sym_len[sym] == 0) return left;
        const int right = (s[1] >> 4) | s[2] << 4;
        if (pos <= i64(p.sym_len[left])) {
            sym = left;
        } else {
            pos -= i64(p.sym_len[left]) + 1;
            sym = right;
        }
    }
}

}  // namespace

int tb_table_index(const TbPosition& pos, int kind, u64* index) {
    const u64 key = tb_material_key(pos, false);
    TbEntry* e = tb_find_entry(key);
    if (!e || (kind == TB_DTZ && !e->has_dtz) || popcount(pos.white | pos.black) != e->num) return -1;
    const TbTable* t = tb_load(e, kind);
    if (!t) return -1;
    Locator where;
    if (locate(pos, *e, *t, kind, key, where) != LOCATE_OK) return -1;
    *index = where.index;
    return 0;
}

int probe_table(const TbPosition& pos, int kind, int wdl, int* success) {
    const u64 key = tb_material_key(pos, false);
    if (key == 0 && kind == TB_WDL) return 0;  // bare kings
    TbEntry* e = tb_find_entry(key);
    if (!e || (kind == TB_DTZ && !e->has_dtz) || popcount(pos.white | pos.black) != e->num) {
        *success = 0;
        return 0;
    }
    const TbTable* t = tb_load(e, kind);
    if (!t) {
        *success = 0;
        return 0;
    }
    Locator where;
    const int located = locate(pos, *e, *t, kind, key, where);
    if (located != LOCATE_OK) {
        *success = located == LOCATE_OTHER_SIDE ? -1 : 0;
        return 0;
    }
    const char* why = nullptr;
    int value = decompress(where.sub->pairs, t->file_end, where.index, &why);
    if (value < 0) {
        tb_report_fault(e, kind, why);
        *success = 0;
        return 0;
    }
    if (kind == TB_WDL) {
        value &= 0xFF;
        if (value > 4) {
            tb_report_fault(e, kind, "stored value out of range");
            *success = 0;
            return 0;
        }
        return value - 2;
    }

    const u8 flags = t->dtz_flags[where.file];
    if (wdl < -2 || wdl > 2) {
        *success = 0;
        return 0;
    }
    if ((flags & FLAG_MAP) && !(flags & FLAG_SINGLE_VALUE)) {
        const u64 entry = u64(t->map_offset[where.file][WDL_TO_MAP[wdl + 2]]) + u64(value);
        if (flags & FLAG_WIDE_MAP) {
            if (u64(t->file_end - t->map) < 2 * entry + 2) {
                tb_report_fault(e, kind, "value map past the end");
                *success = 0;
                return 0;
            }
            value = read_u16(t->map + 2 * entry);
        } else {
            if (u64(t->file_end - t->map) < entry + 1) {
                tb_report_fault(e, kind, "value map past the end");
                *success = 0;
                return 0;
            }
            value = t->map[entry];
        }
    }
    if (!((wdl & 1) == 0 && (flags & PLIES_FLAG[wdl + 2]))) value *= 2;
    return value;
}
