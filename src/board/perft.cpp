// Perft: counts the leaves of the legal move tree. The last ply is counted by legality tests
// alone, without making the moves.
#include "board/perft.h"

#include "board/legality.h"
#include "board/makemove.h"
#include "board/movegen.h"

namespace {

// Own pieces that stand alone between the king and an enemy slider: moving one of them can
// expose the king, so only their moves (and king moves, en passant, everything while in
// check) need the full legality test.
u64 pinned_pieces(const Position& pos, int side) {
    const int king = pos.king_sq[side];
    const int them = (side ^ 1) * 8;
    const u64 occ = occupancy(pos);
    const u64 queens = pos.pieces[them + QUEEN];
    u64 snipers = (BishopMask[king] & (pos.pieces[them + BISHOP] | queens)) |
                  (RookMask[king] & (pos.pieces[them + ROOK] | queens));
    u64 pinned = 0;
    while (snipers) {
        const u64 between = Between[king][pop_lsb(snipers)] & occ;
        if (between && !(between & (between - 1))) pinned |= between;
    }
    return pinned & pos.pieces[side * 8];
}

u64 count_legal(const Position& pos, const MoveEntry* list, int n) {
    const int side = pos.side;
    const u64 occ = occupancy(pos);
    if (attacked_within(pos, pos.king_sq[side], side ^ 1, occ, occ)) {
        u64 total = 0;
        for (int i = 0; i < n; i++) total += legal_move(pos, side, list[i].move);
        return total;
    }
    const u64 pinned = pinned_pieces(pos, side);
    const int ep = pos.ep_square;
    u64 total = 0;
    for (int i = 0; i < n; i++) {
        const Move m = list[i].move;
        const int from = move_from(m);
        const int type = piece_type(list[i].piece);
        if (type == KING || (pinned & square_bit(from)) || (type == PAWN && move_to(m) == ep))
            total += legal_move(pos, side, m);
        else
            total++;
    }
    return total;
}

u64 perft_rec(Position& pos, int depth) {
    MoveEntry list[MAX_MOVES];
    const int n = gen_all_moves(pos, list);
    if (depth <= 1) return count_legal(pos, list, n);
    const int side = pos.side;
    u64 total = 0;
    for (int i = 0; i < n; i++) {
        const Move m = list[i].move;
        if (!legal_move(pos, side, m)) continue;
        make_move(pos, m);
        total += perft_rec(pos, depth - 1);
        unmake_move(pos);
    }
    return total;
}

}  // namespace

u64 perft(Position& pos, int depth) { return perft_rec(pos, depth < 1 ? 1 : depth); }

u64 perft_divide(Position& pos, int depth, PerftReport report, void* ctx) {
    if (depth < 1) depth = 1;
    MoveEntry list[MAX_MOVES];
    const int n = gen_all_moves(pos, list);
    const int side = pos.side;
    u64 total = 0;
    for (int i = 0; i < n; i++) {
        const Move m = list[i].move;
        if (!legal_move(pos, side, m)) continue;
        u64 count = 1;
        if (depth > 1) {
            make_move(pos, m);
            count = perft_rec(pos, depth - 1);
            unmake_move(pos);
        }
        if (report) report(ctx, m, count);
        total += count;
    }
    return total;
}
