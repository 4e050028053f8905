// Piece terms: material, piece-square values, mobility, outposts and the other knight, bishop,
// rook and queen terms. Each piece's attacks also feed the attack maps that later steps read.
#include "eval/hce_internal.h"

namespace hce {

namespace {

constexpr u64 UPPER_HALF = 0xFFFFFFFF00000000ull;

// Records the attacks of one piece: squares already attacked become double attacks.
void note_attacks(EvalScratch& sc, int c, u64 attacks, u64& piece_map) {
    sc.double_attacks[c] |= attacks & sc.attacks[c];
    sc.attacks[c] |= attacks;
    piece_map |= attacks;
}

// A minor piece on an outpost (full value when a pawn defends it), or eyeing one.
void score_outpost(Context& cx, int c, int sq, u64 attacks, HceScalar p) {
    u64 outposts = cx.sc.outposts[c];
    if (outposts & square_bit(sq)) cx.add_scaled(c, p, (cx.sc.pawn_attacks[c] & square_bit(sq)) ? 1.0f : 0.67f);
    else if (attacks & outposts) cx.add_scaled(c, p, 0.33f);
}

}  // namespace

void score_knights(Context& cx) {
    EvalScratch& sc = cx.sc;
    for (int c = 0; c < 2; c++) {
        int them = c ^ 1;
        for (u64 b = cx.bb(c, KNIGHT); b;) {
            int sq = pop_lsb(b);
            u64 attacks = KnightAttacks[sq];
            note_attacks(sc, c, attacks, sc.knight_attacks[c]);
            if (attacks & sc.king_zone[them]) sc.king_attack[them] += 4;
            int mobility = popcount(attacks & ~cx.own[c] & ~sc.pawn_attacks[them]);
            cx.add(c, P_MTL_KNIGHT);
            cx.add_pair(c, pst(PST_N, sq ^ sc.frame[c]).score);
            cx.add_scaled(c, P_KNIGHT_MOBILITY, KnightMobility[mobility]);
            score_outpost(cx, c, sq, attacks, P_KNIGHT_OUTPOST);
        }
    }
}

void score_bishops(Context& cx) {
    EvalScratch& sc = cx.sc;
    // Bishops see through queens of both colours.
    u64 occupied = cx.occupied & ~(cx.bb(WHITE, QUEEN) | cx.bb(BLACK, QUEEN));
    for (int c = 0; c < 2; c++) {
        int them = c ^ 1;
        u64 bishops = cx.bb(c, BISHOP);
        for (u64 b = bishops; b;) {
            int sq = pop_lsb(b);
            u64 attacks = bishop_attacks(sq, occupied);
            note_attacks(sc, c, attacks, sc.bishop_attacks[c]);
            if (attacks & sc.king_zone[them]) sc.king_attack[them] += 3;
            int mobility = popcount(attacks & ~cx.own[c] & ~sc.pawn_attacks[them]);
            cx.add(c, P_MTL_BISHOP);
            cx.add_pair(c, pst(PST_B, sq ^ sc.frame[c]).score);
            cx.add_scaled(c, P_BISHOP_MOBILITY, SliderMobility[mobility]);
            cx.add(c, P_BISHOP_INFILTRATION, popcount(attacks & CENTRE));
            score_outpost(cx, c, sq, attacks, P_BISHOP_OUTPOST);
        }
        if ((bishops & LIGHT_SQUARES) && (bishops & DARK_SQUARES)) cx.add(c, P_BISHOP_PAIR);
        // Own pawns fixed by an enemy pawn on the colour of an own bishop.
        u64 colours = ((bishops & LIGHT_SQUARES) ? LIGHT_SQUARES : 0) | ((bishops & DARK_SQUARES) ? DARK_SQUARES : 0);
        u64 rammed = cx.pawns[c] & forward(them, cx.pawns[them]);
        cx.add(c, P_BISHOP_RAMPAWNS, popcount(rammed & colours));
    }
}

void score_rooks(Context& cx) {
    EvalScratch& sc = cx.sc;
    u64 without_queens = cx.occupied & ~(cx.bb(WHITE, QUEEN) | cx.bb(BLACK, QUEEN));
    for (int c = 0; c < 2; c++) {
        int them = c ^ 1;
        u64 rooks = cx.bb(c, ROOK);
        u64 occupied = without_queens & ~rooks;  // rooks see through queens and their own rooks
        u64 enemy_half = c == WHITE ? UPPER_HALF : ~UPPER_HALF;
        int enemy_king_rank = relative_rank(c, cx.pos.king_sq[them]);
        for (u64 b = rooks; b;) {
            int sq = pop_lsb(b);
            u64 attacks = rook_attacks(sq, occupied);
            note_attacks(sc, c, attacks, sc.rook_attacks[c]);
            if (attacks & sc.king_zone[them]) sc.king_attack[them] += 4;
            int mobility = popcount(attacks & ~cx.own[c] & ~sc.by_pawns_minors[them]);
            cx.add(c, P_MTL_ROOK);
            cx.add_pair(c, pst(PST_R, sq ^ sc.frame[c]).score);
            cx.add_scaled(c, P_ROOK_MOBILITY, SliderMobility[mobility]);
            u64 file = FILE_A << (sq & 7);
            cx.add(c, P_ROOK_INFILTRATION, popcount(attacks & file & enemy_half));
            if (!(sc.all_pawns & file)) cx.add(c, P_ROOK_OPENFILE);
            if (relative_rank(c, sq) == 6 && enemy_king_rank >= 6) cx.add(c, P_ROOK_7TH);
        }
    }
}

void score_queens(Context& cx) {
    EvalScratch& sc = cx.sc;
    for (int c = 0; c < 2; c++) {
        int them = c ^ 1;
        for (u64 b = cx.bb(c, QUEEN); b;) {
            int sq = pop_lsb(b);
            u64 diagonal = bishop_attacks(sq, cx.occupied), straight = rook_attacks(sq, cx.occupied);
            u64 attacks = diagonal | straight;
            // Batteries: the queen also pushes through own bishops and rooks in front of it.
            u64 extended = attacks;
            if (u64 front = diagonal & cx.bb(c, BISHOP)) extended |= bishop_attacks(sq, cx.occupied ^ front);
            if (u64 front = straight & cx.bb(c, ROOK)) extended |= rook_attacks(sq, cx.occupied ^ front);
            sc.double_attacks[c] |= sc.attacks[c] & extended;
            sc.attacks[c] |= attacks;
            sc.queen_attacks[c] |= attacks;
            if (extended & sc.king_zone[them]) sc.king_attack[them] += 5;
            int mobility = popcount(attacks & ~cx.own[c] & ~sc.by_pawns_minors_rooks[them]);
            cx.add(c, P_MTL_QUEEN);
            cx.add_pair(c, pst(PST_Q, sq ^ sc.frame[c]).score);
            cx.add_scaled(c, P_QUEEN_MOBILITY, QueenMobility[mobility]);
        }
    }
}

}  // namespace hce
