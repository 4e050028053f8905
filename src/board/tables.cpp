// Attack tables, sliding attacks by sentinel-terminated rays, and the position-key table.
#include "board/tables.h"

#include "core/output.h"

u64 PawnAttacks[2][64];
u64 KnightAttacks[64];
u64 KingAttacks[64];
u64 Ray[8][64];
u64 BishopMask[64];
u64 RookMask[64];
u64 Between[64][64];
u64 Keys[16][64];

const char* const SquareNames[65] = {
    "a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1", "a2", "b2", "c2", "d2", "e2", "f2", "g2", "h2",
    "a3", "b3", "c3", "d3", "e3", "f3", "g3", "h3", "a4", "b4", "c4", "d4", "e4", "f4", "g4", "h4",
    "a5", "b5", "c5", "d5", "e5", "f5", "g5", "h5", "a6", "b6", "c6", "d6", "e6", "f6", "g6", "h6",
    "a7", "b7", "c7", "d7", "e7", "f7", "g7", "h7", "a8", "b8", "c8", "d8", "e8", "f8", "g8", "h8",
    "-"};

namespace {

// File and rank steps of the eight ray directions, in the order of Direction.
constexpr int RAY_DF[8] = {-1, 1, -1, 1, 0, 0, 1, -1};
constexpr int RAY_DR[8] = {1, 1, -1, -1, 1, -1, 0, 0};

u64 bit_if_on_board(int file, int rank) {
    return (file >= 0 && file < 8 && rank >= 0 && rank < 8) ? square_bit(make_square(file, rank)) : 0;
}

// Both multiply-with-carry states persist between calls so that the generator is never reseeded.
u32 mwc_z = 1;
u32 mwc_w = 1;
bool keys_ready = false;

u32 step_z() { return mwc_z = 36969u * (mwc_z & 0xFFFF) + (mwc_z >> 16); }
u32 step_w() { return mwc_w = 18000u * (mwc_w & 0xFFFF) + (mwc_w >> 16); }

u64 draw_candidate() {
    u32 z1 = step_z(), w1 = step_w();
    u32 high = (z1 << 16) + w1;
    u32 z2 = step_z(), w2 = step_w();
    u32 low = (z2 << 16) + w2;
    return (u64(high) << 32) | low;
}

}  // namespace

void init_tables() {
    for (int sq = 0; sq < 64; sq++) {
        int f = square_file(sq), r = square_rank(sq);
        PawnAttacks[WHITE][sq] = bit_if_on_board(f - 1, r + 1) | bit_if_on_board(f + 1, r + 1);
        PawnAttacks[BLACK][sq] = bit_if_on_board(f - 1, r - 1) | bit_if_on_board(f + 1, r - 1);
        static const int kn[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
        KnightAttacks[sq] = 0;
        KingAttacks[sq] = 0;
        for (int i = 0; i < 8; i++) {
            KnightAttacks[sq] |= bit_if_on_board(f + kn[i][0], r + kn[i][1]);
            KingAttacks[sq] |= bit_if_on_board(f + RAY_DF[i], r + RAY_DR[i]);
        }
        for (int d = 0; d < 8; d++) {
            u64 ray = 0;
            for (int ff = f + RAY_DF[d], rr = r + RAY_DR[d]; ff >= 0 && ff < 8 && rr >= 0 && rr < 8;
                 ff += RAY_DF[d], rr += RAY_DR[d])
                ray |= square_bit(make_square(ff, rr));
            Ray[d][sq] = ray;
        }
        BishopMask[sq] = Ray[DIR_NW][sq] | Ray[DIR_NE][sq] | Ray[DIR_SW][sq] | Ray[DIR_SE][sq];
        RookMask[sq] = Ray[DIR_N][sq] | Ray[DIR_S][sq] | Ray[DIR_E][sq] | Ray[DIR_W][sq];
    }
    for (int a = 0; a < 64; a++) {
        for (int b = 0; b < 64; b++) {
            Between[a][b] = 0;
            for (int d = 0; d < 8; d++)
                if (Ray[d][a] & square_bit(b)) Between[a][b] = Ray[d][a] & ~Ray[d][b] & ~square_bit(b);
        }
    }
}

void init_keys() {
    if (keys_ready) return;
    u64* table = &Keys[0][0];
    for (int i = 0; i < 1024; i++) {
        u64 key;
        do key = draw_candidate();
        while (popcount(key) < 24);
        table[i] = key;
        for (int j = 0; j < i; j++) {
            if (popcount(table[j] ^ key) <= 5) {
                print_line("bad hashcode");
                break;
            }
        }
    }
    keys_ready = true;
}
