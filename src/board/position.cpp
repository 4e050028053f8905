// From-scratch key computation; make/unmake keep the same keys incrementally.
#include "board/position.h"

#include "board/tables.h"

void compute_keys(Position& pos) {
    u64 key = 0, pawn_key = 0;
    for (int sq = 0; sq < 64; sq++) {
        int code = pos.board[sq];
        if (!code) continue;
        key ^= Keys[code][sq];
        if (piece_type(code) == PAWN) pawn_key ^= Keys[code][sq];
    }
    if (pos.ep_square != NO_SQUARE) key ^= Keys[0][pos.ep_square];
    key ^= Keys[0][pos.castling & 15];
    pos.key = (key & ~u64(1)) | pos.side;
    pos.pawn_key = pawn_key;
}
