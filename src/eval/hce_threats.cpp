// Threat terms: hanging and attacked pieces, pawn pushes that would attack a piece, and pins.
#include "eval/eval.h"
#include "eval/hce_internal.h"

namespace hce {

namespace {

// Pieces of `c` that hang or are attacked; returns the hanging ones.
u64 score_attacked_pieces(Context& cx, int c) {
    const EvalScratch& sc = cx.sc;
    int them = c ^ 1;
    u64 weak = (sc.double_attacks[them] & ~sc.pawn_attacks[c] & ~sc.double_attacks[c]) |
               (sc.attacks[them] & ~sc.attacks[c]);
    u64 hung = 0;

    u64 pawns = cx.pawns[c] & sc.attacks[them] & ~sc.pawn_attacks[c] & ~sc.pawn_attacks[them];
    cx.add(c, P_HUNG_PAWN, popcount(pawns & weak));
    cx.add(c, P_ATTACKED_PAWN, popcount(pawns & ~weak));
    hung |= pawns & weak;

    u64 minors = (cx.bb(c, KNIGHT) | cx.bb(c, BISHOP)) & sc.attacks[them];
    u64 hung_minors = minors & (weak | sc.pawn_attacks[them]);
    cx.add(c, P_HUNG_MINOR, popcount(hung_minors));
    cx.add(c, P_ATTACKED_MINOR, popcount(minors & ~weak & ~sc.pawn_attacks[c]));
    hung |= hung_minors;

    u64 majors = (cx.bb(c, ROOK) | cx.bb(c, QUEEN)) & sc.by_pawns_minors[them];
    cx.add(c, P_HUNG_MAJOR, popcount(majors));
    return hung | majors;
}

// Pieces of the enemy that a safe pawn push of `c` would attack, not counting hanging ones.
void score_push_threats(Context& cx, int c) {
    const EvalScratch& sc = cx.sc;
    int them = c ^ 1;
    u64 empty = ~cx.occupied;
    u64 fourth_rank = c == WHITE ? 0x00000000FF000000ull : 0x000000FF00000000ull;
    u64 single = forward(c, cx.pawns[c]) & empty;
    u64 pushes = single | (forward(c, single) & empty & fourth_rank);
    pushes &= ~sc.pawn_attacks[them] & ~(sc.attacks[them] & ~sc.pawn_attacks[c]);
    u64 targets = cx.own[them] & ~cx.pawns[them] & pawn_attacks_all(c, pushes) & ~sc.hung;
    cx.add(them, P_PPUSH_THREAT, popcount(targets));
}

}  // namespace

void score_threats(Context& cx) {
    u64 hung[2];
    for (int c = 0; c < 2; c++) hung[c] = score_attacked_pieces(cx, c);
    cx.sc.hung = hung[WHITE] | hung[BLACK];
    for (int c = 0; c < 2; c++) score_push_threats(cx, c);
    for (int c = 0; c < 2; c++) {
        u64 pinned = find_pinned(cx.pos, c) & ~cx.pawns[c];
        cx.add(c, P_PINNED_PIECE, popcount(pinned));
    }
}

}  // namespace hce

namespace {

// Own pieces that stand alone between `target` and an enemy slider on the same line.
u64 pinned_to(const Position& pos, int colour, int target, u64 diagonal_sliders, u64 straight_sliders) {
    u64 occupied = occupancy(pos);
    u64 own = pos.pieces[make_piece(colour, 0)];
    u64 pinners = (BishopMask[target] & diagonal_sliders) | (RookMask[target] & straight_sliders);
    u64 pinned = 0;
    while (pinners) {
        int sq = pop_lsb(pinners);
        u64 between = Between[target][sq] & occupied;
        if (between && !(between & (between - 1)) && (between & own)) pinned |= between;
    }
    return pinned;
}

}  // namespace

u64 find_pinned(const Position& pos, int colour) {
    int them = colour ^ 1;
    u64 bishops = pieces_of(pos, them, BISHOP), rooks = pieces_of(pos, them, ROOK);
    u64 queens = pieces_of(pos, them, QUEEN);
    u64 pinned = 0;
    if (pos.king_sq[colour] < 64) pinned = pinned_to(pos, colour, pos.king_sq[colour], bishops | queens, rooks | queens);
    if (u64 own_queens = pieces_of(pos, colour, QUEEN)) pinned |= pinned_to(pos, colour, lsb(own_queens), bishops, rooks);
    return pinned;
}
