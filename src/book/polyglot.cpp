#include "book/polyglot.h"

#include <cstring>

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/movegen.h"
#include "board/tables.h"

namespace {

// Polyglot piece kinds alternate black, white for pawn .. king: 0 black pawn, 1 white pawn, ...
int polyglot_kind(int code) { return 2 * (piece_type(code) - 1) + (piece_colour(code) == WHITE ? 1 : 0); }

}  // namespace

u64 polyglot_key(const Position& pos) {
    u64 key = 0;
    for (int sq = 0; sq < 64; sq++) {
        const int code = pos.board[sq];
        const int type = piece_type(code);
        if (type < PAWN || type > KING) continue;
        key ^= POLYGLOT_RANDOM64[64 * polyglot_kind(code) + 8 * square_rank(sq) + square_file(sq)];
    }
    for (int right = 0; right < 4; right++)
        if (pos.castling & (1 << right)) key ^= POLYGLOT_RANDOM64[POLYGLOT_CASTLING_BASE + right];
    const int ep = pos.ep_square;
    if (ep < 64) {
        // The squares from which a pawn of the side to move captures onto ep.
        const u64 capturers = PawnAttacks[pos.side ^ 1][ep] & pieces_of(pos, pos.side, PAWN);
        if (capturers) key ^= POLYGLOT_RANDOM64[POLYGLOT_EP_BASE + square_file(ep)];
    }
    if (pos.side == WHITE) key ^= POLYGLOT_RANDOM64[POLYGLOT_WHITE_TO_MOVE];
    return key;
}

u16 polyglot_move(const Position& pos, Move move) {
    const int from = move_from(move);
    int to = move_to(move);
    int promotion = 0;
    const int type = piece_type(pos.board[from]);
    if (type == KING && move_has_flag(move)) {
        const int rook = pos.castle_rook[castling_index(pos.side, move)];
        if (rook < 64) to = rook;
    } else if (type == PAWN && (move_has_flag(move) || is_last_rank(to))) {
        promotion = promotion_type(move) - KNIGHT + 1;
    }
    return u16((promotion << POLYGLOT_PROMOTION_SHIFT) | (from << 6) | to);
}

Move decode_book_move(Position& pos, u16 book_move) {
    book_move &= POLYGLOT_MOVE_MASK;
    MoveEntry list[MAX_MOVES];
    const int n = gen_all_moves(pos, list);
    for (int i = 0; i < n; i++) {
        const Move m = list[i].move;
        if (polyglot_move(pos, m) == book_move && is_legal(pos, pos.side, m)) return m;
    }
    return MOVE_NONE;
}

void book_move_squares(u16 book_move, char* out) {
    strcpy(out, SquareNames[(book_move >> 6) & 63]);
    strcat(out, SquareNames[book_move & 63]);
}
