// Endgames that the evaluation entry scores itself: rook or queen against a bare king, bishop
// and knight against a bare king, and king and pawn against king with the win/draw table.
#include <algorithm>
#include <array>
#include <cstdlib>

#include "board/bitboard.h"
#include "eval/eval.h"
#include "eval/kpk.h"

namespace {

constexpr int king_distance(int a, int b) {
    int df = std::abs((a & 7) - (b & 7)), dr = std::abs((a >> 3) - (b >> 3));
    return df > dr ? df : dr;
}

// Steps along ranks plus files to the nearest centre square: 0 on d4-e5, 6 in the corners.
constexpr std::array<int, 64> make_centre_distance() {
    std::array<int, 64> t{};
    for (int sq = 0; sq < 64; sq++) {
        int f = sq & 7, r = sq >> 3;
        int df = f < 3 ? 3 - f : f > 4 ? f - 4 : 0;
        int dr = r < 3 ? 3 - r : r > 4 ? r - 4 : 0;
        t[sq] = df + dr;
    }
    return t;
}

// 0 on the edge, 1 on the next ring, 2 on c3-f6.
constexpr std::array<int, 64> make_centre_ring() {
    std::array<int, 64> t{};
    for (int sq = 0; sq < 64; sq++) {
        int f = sq & 7, r = sq >> 3;
        int edge = std::min(std::min(f, 7 - f), std::min(r, 7 - r));
        t[sq] = edge < 2 ? edge : 2;
    }
    return t;
}

constexpr std::array<int, 64> CentreDistance = make_centre_distance();
constexpr std::array<int, 64> CentreRing = make_centre_ring();

// Highest in the dark corners a1 and h8, where bishop and knight can mate with a dark bishop.
constexpr int DarkCornerTable[64] = {
    9, 8, 7, 6, 5, 4, 3, 2,
    8, 7, 6, 5, 4, 3, 2, 3,
    7, 6, 4, 3, 2, 1, 3, 4,
    6, 5, 3, 1, 0, 2, 4, 5,
    5, 4, 2, 0, 1, 3, 5, 6,
    4, 3, 1, 2, 3, 4, 6, 7,
    3, 2, 3, 4, 5, 6, 7, 8,
    2, 3, 4, 5, 6, 7, 8, 9,
};

}  // namespace

int mop_up_score(const Position& pos) {
    int v[2];
    for (int c = 0; c < 2; c++) {
        int rooks = material_count(pos.material[c], ROOK), queens = material_count(pos.material[c], QUEEN);
        v[c] = std::min(256 * (rooks + 2 * queens), 1500) - 16 * CentreDistance[pos.king_sq[c]];
    }
    int closeness = 1000 - 16 * king_distance(pos.king_sq[0], pos.king_sq[1]);
    if (v[WHITE] > v[BLACK]) v[WHITE] += closeness;
    else v[BLACK] += closeness;
    int score = v[WHITE] - v[BLACK];
    return pos.side == WHITE ? score : -score;
}

int bishop_knight_score(const Position& pos, int strong) {
    int weak_king = pos.king_sq[strong ^ 1];
    if (pieces_of(pos, strong, BISHOP) & LIGHT_SQUARES) weak_king ^= 7;
    int score = 900 + 16 * DarkCornerTable[weak_king] + 8 * CentreRing[pos.king_sq[strong]] -
                8 * king_distance(pos.king_sq[0], pos.king_sq[1]);
    return pos.side == strong ? score : -score;
}

int king_pawn_score(const Position& pos, int strong) {
    u64 pawns = pieces_of(pos, strong, PAWN);
    if (!pawns) return 0;
    int pawn = lsb(pawns);
    int rank = strong == WHITE ? pawn >> 3 : 7 - (pawn >> 3);
    int queening = strong == WHITE ? 56 + (pawn & 7) : (pawn & 7);
    int strong_king = pos.king_sq[strong], weak_king = pos.king_sq[strong ^ 1];
    int score = 4 * rank + king_distance(weak_king, queening) - king_distance(strong_king, queening);
    if (kpk_wins(strong, strong_king, pawn, weak_king, pos.side == strong)) score += 800;
    return pos.side == strong ? score : -score;
}
