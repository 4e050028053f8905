#include "tablebase/tbconst.h"

#include <cstring>

u64 TbBinomial[7][64];
u8 TbTriangle[64];
u8 TbLower[64];
u8 TbDiag[64];
i16 TbKingPairIndex[10][64];
u8 TbFlap[64];
u8 TbPawnTwist[64];
u64 TbLeadIndex[7][24];
u64 TbLeadSize[7][4];

namespace {

// Triangle squares in numbering order: b1 c1 d1 c2 d2 d3 (below the diagonal), a1 b2 c3 d4.
constexpr int INV_TRIANGLE[10] = {1, 2, 3, 10, 11, 19, 0, 9, 18, 27};

int flip_diagonal(int sq) { return ((sq & 7) << 3) | (sq >> 3); }
bool on_diagonal(int sq) { return square_file(sq) == square_rank(sq); }
bool above_diagonal(int sq) { return square_rank(sq) > square_file(sq); }
bool below_diagonal(int sq) { return square_rank(sq) < square_file(sq); }
bool adjacent(int a, int b) {
    int df = square_file(a) - square_file(b), dr = square_rank(a) - square_rank(b);
    return df >= -1 && df <= 1 && dr >= -1 && dr <= 1;
}
int fold_file(int file) { return file < 4 ? file : 7 - file; }
int inverse_flap(int j) { return make_square(j / 6, 1 + j % 6); }

void build_triangle() {
    for (int sq = 0; sq < 64; sq++) {
        int s = sq;
        if (square_file(s) >= 4) s ^= 7;
        if (square_rank(s) >= 4) s ^= 56;
        if (above_diagonal(s)) s = flip_diagonal(s);
        for (int t = 0; t < 10; t++)
            if (INV_TRIANGLE[t] == s) TbTriangle[sq] = u8(t);
    }
}

void build_lower_and_diag() {
    int next = 0;
    for (int sq = 0; sq < 64; sq++)
        if (below_diagonal(sq)) TbLower[sq] = u8(next++);
    for (int sq = 0; sq < 64; sq++) {
        if (above_diagonal(sq)) TbLower[sq] = TbLower[flip_diagonal(sq)];
        if (on_diagonal(sq)) TbLower[sq] = u8(28 + square_rank(sq));
        TbDiag[sq] = 0;
        if (on_diagonal(sq)) TbDiag[sq] = u8(square_rank(sq));
        else if (square_file(sq) + square_rank(sq) == 7) TbDiag[sq] = u8(8 + square_rank(sq));
    }
}

// Pairs with both kings on the diagonal are numbered last, in the order they are met.
void build_king_pairs() {
    int next = 0;
    int deferred[64][2];
    int deferred_count = 0;
    for (int t = 0; t < 10; t++) {
        const int first = INV_TRIANGLE[t];
        for (int s = 0; s < 64; s++) {
            TbKingPairIndex[t][s] = -1;
            if (s == first || adjacent(s, first)) continue;
            if (on_diagonal(first) && above_diagonal(s)) continue;
            if (on_diagonal(first) && on_diagonal(s)) {
                deferred[deferred_count][0] = t;
                deferred[deferred_count][1] = s;
                deferred_count++;
                continue;
            }
            TbKingPairIndex[t][s] = i16(next++);
        }
    }
    for (int i = 0; i < deferred_count; i++) TbKingPairIndex[deferred[i][0]][deferred[i][1]] = i16(next++);
}

void build_pawn_tables() {
    for (int sq = 0; sq < 64; sq++) {
        TbFlap[sq] = 0;
        TbPawnTwist[sq] = 0;
        int rank = square_rank(sq);
        if (rank < 1 || rank > 6) continue;
        int flap = 6 * fold_file(square_file(sq)) + rank - 1;
        TbFlap[sq] = u8(flap);
        TbPawnTwist[sq] = u8((square_file(sq) < 4 ? 47 : 46) - 2 * flap);
    }
    std::memset(TbLeadIndex, 0, sizeof TbLeadIndex);
    std::memset(TbLeadSize, 0, sizeof TbLeadSize);
    for (int n = 1; n <= 6; n++) {
        for (int file = 0; file < 4; file++) {
            u64 sum = 0;
            for (int j = 6 * file; j < 6 * file + 6; j++) {
                TbLeadIndex[n][j] = sum;
                sum += TbBinomial[n - 1][TbPawnTwist[inverse_flap(j)]];
            }
            TbLeadSize[n][file] = sum;
        }
    }
}

}  // namespace

void tb_init_constants() {
    for (int k = 0; k < 7; k++)
        for (int n = 0; n < 64; n++) {
            if (k == 0) TbBinomial[k][n] = 1;
            else if (n == 0) TbBinomial[k][n] = 0;
            else TbBinomial[k][n] = TbBinomial[k - 1][n - 1] + TbBinomial[k][n - 1];
        }
    build_triangle();
    build_lower_and_diag();
    build_king_pairs();
    build_pawn_tables();
}
