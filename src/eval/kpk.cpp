// Retrograde classification of king and pawn against king, White holding the pawn on files a-d.
// Entries during the build: 0 invalid, 1 draw, 2 win, 4 unknown; afterwards only 1 and 2 remain.
// A pawn on the eighth rank stands for the queen it has just become.
#include "eval/kpk.h"

#include "board/tables.h"

namespace {

constexpr u8 INVALID = 0, DRAW = 1, WIN = 2, UNKNOWN = 4;
constexpr int BLACK_TO_MOVE = 131072;

u8 table[KPK_SIZE];
bool built = false;

bool adjacent(int a, int b) { return (KingAttacks[a] & square_bit(b)) != 0; }

// Invalid placements: two pieces on one square, touching kings, or (White to move) Black in
// check from the pawn, which would mean Black had left its king in check.
void seed() {
    for (int t = 0; t < 2; t++)
        for (int rank = 0; rank < 8; rank++)
            for (int file = 0; file < 4; file++) {
                int p = make_square(file, rank);
                for (int wk = 0; wk < 64; wk++)
                    for (int bk = 0; bk < 64; bk++) {
                        u8 v = UNKNOWN;
                        if (wk == bk || wk == p || bk == p || adjacent(wk, bk)) v = INVALID;
                        else if (t == 0 && (PawnAttacks[WHITE][p] & square_bit(bk))) v = INVALID;
                        table[kpk_index(t, wk, p, bk)] = v;
                    }
            }
}

// With the pawn promoted, White wins unless Black to move can take the undefended queen.
void seed_promotions() {
    for (int file = 0; file < 4; file++) {
        int q = make_square(file, 7);
        for (int wk = 0; wk < 64; wk++)
            for (int bk = 0; bk < 64; bk++) {
                int w = kpk_index(0, wk, q, bk), b = kpk_index(1, wk, q, bk);
                if (table[w] != INVALID) table[w] = WIN;
                if (table[b] != INVALID && !(adjacent(bk, q) && !adjacent(wk, q))) table[b] = WIN;
            }
    }
}

u8 classify_white(int wk, int p, int bk) {
    bool all_lost = true;  // every move reaches a determined entry that is not a win
    auto consider = [&](u8 v) {
        if (v == INVALID) return false;
        if (v == WIN) return true;
        if (v == UNKNOWN) all_lost = false;
        return false;
    };
    for (u64 steps = KingAttacks[wk]; steps;) {
        if (consider(table[BLACK_TO_MOVE + kpk_index(0, pop_lsb(steps), p, bk)])) return WIN;
    }
    int push = p + 8;
    if (consider(table[BLACK_TO_MOVE + kpk_index(0, wk, push, bk)])) return WIN;
    if ((p >> 3) == 1 && push != wk && push != bk &&
        consider(table[BLACK_TO_MOVE + kpk_index(0, wk, p + 16, bk)]))
        return WIN;
    return all_lost ? DRAW : UNKNOWN;
}

u8 classify_black(int wk, int p, int bk) {
    bool any_legal = false, all_won = true;
    for (u64 steps = KingAttacks[bk]; steps;) {
        int to = pop_lsb(steps);
        if (to == p) {
            if (adjacent(wk, p)) continue;  // the pawn is defended: illegal
            return DRAW;
        }
        u8 v = table[kpk_index(0, wk, p, to)];
        if (v == INVALID) continue;
        any_legal = true;
        if (v == DRAW) return DRAW;
        if (v != WIN) all_won = false;
    }
    if (!any_legal) return DRAW;
    return all_won ? WIN : UNKNOWN;
}

}  // namespace

void init_kpk() {
    if (built) return;
    init_tables();
    seed();
    seed_promotions();
    bool changed = true;
    while (changed) {
        changed = false;
        for (int rank = 1; rank <= 6; rank++)
            for (int file = 0; file < 4; file++) {
                int p = make_square(file, rank);
                for (int wk = 0; wk < 64; wk++)
                    for (int bk = 0; bk < 64; bk++) {
                        u8& w = table[kpk_index(0, wk, p, bk)];
                        if (w == UNKNOWN) {
                            u8 v = classify_white(wk, p, bk);
                            if (v != UNKNOWN) w = v, changed = true;
                        }
                        u8& b = table[kpk_index(1, wk, p, bk)];
                        if (b == UNKNOWN) {
                            u8 v = classify_black(wk, p, bk);
                            if (v != UNKNOWN) b = v, changed = true;
                        }
                    }
            }
    }
    for (int i = 0; i < KPK_SIZE; i++)
        if (table[i] != WIN) table[i] = DRAW;
    built = true;
}

u8 kpk_entry(int index) {
    if (index < 0 || index >= KPK_SIZE) return DRAW;
    return table[index];
}

bool kpk_wins(int strong, int strong_king, int pawn, int weak_king, bool strong_to_move) {
    if (strong == BLACK) {
        strong_king = 63 - strong_king;
        pawn = 63 - pawn;
        weak_king = 63 - weak_king;
    }
    if ((pawn & 7) >= 4) {
        strong_king ^= 7;
        pawn ^= 7;
        weak_king ^= 7;
    }
    return table[kpk_index(strong_to_move ? 0 : 1, strong_king, pawn, weak_king)] == WIN;
}
