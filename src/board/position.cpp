// From-scratch key computation; make/unmake keep the same keys incrementally.
#include "board/position.h"

#include <cstring>

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

void clear_history(MoveHistory& history) {
    history.count = 0;
    history.ply = 1;
    history.last_move = 0;
    // The entry below the first move is read by the repetition and null-move tests.
    memset(&history.entries[0], 0, 2 * sizeof(HistoryEntry));
}

void install_position(Position& pos, const Position& candidate, MoveHistory& history) {
    pos = candidate;
    pos.owner = &history;
    clear_history(history);
}
