// Making and unmaking moves. Every change is incremental: a few board bytes, bitboards and
// key-table entries; the history entry holds what cannot be recomputed on the way back.
#include "board/makemove.h"

#include <cstring>

#include "board/bitboard.h"
#include "board/tables.h"

namespace {

inline void toggle(Position& pos, int code, u64 bits) {
    pos.pieces[code] ^= bits;
    pos.pieces[piece_colour(code) * 8] ^= bits;
}

}  // namespace

void make_move(Position& pos, Move move) {
    MoveHistory& hist = *pos.owner;
    HistoryEntry& e = hist.entries[hist.count];
    hist.count++;
    hist.ply++;

    const int us = pos.side, them = us ^ 1;
    const int from = move_from(move);
    int to = move_to(move);
    const int piece = pos.board[from];
    const int type = piece_type(piece);
    const int old_ep = pos.ep_square;

    e.key = pos.key;
    e.pawn_key = pos.pawn_key;
    e.touched = pos.touched;
    e.ep_square = u8(old_ep);
    e.rule50 = pos.rule50;
    e.castling = pos.castling;

    u64 key = pos.key;
    if (old_ep != NO_SQUARE) key ^= Keys[0][old_ep];
    pos.ep_square = NO_SQUARE;
    pos.rule50 = pos.rule50 < 255 ? u8(pos.rule50 + 1) : u8(255);

    if (move_has_flag(move) && type == KING) {
        // Castling. The rook comes off first, so every overlap of the king's and the rook's
        // squares (Chess960) resolves correctly.
        bool king_side = (move & FLAG_KING_SIDE) != 0;
        to = castle_king_dest(from, king_side);
        move = make_move_code(from, to, king_side ? FLAG_KING_SIDE : FLAG_QUEEN_SIDE);
        const int rook = make_piece(us, ROOK);
        const int rook_from = pos.castle_rook[castling_index(us, move)];
        const int rook_to = castle_rook_dest(from, king_side);
        pos.board[rook_from] = 0;
        toggle(pos, rook, square_bit(rook_from));
        if (from != to) {
            pos.board[from] = 0;
            toggle(pos, piece, square_bit(from) | square_bit(to));
        }
        pos.board[to] = u8(piece);
        pos.board[rook_to] = u8(rook);
        toggle(pos, rook, square_bit(rook_to));
        key ^= Keys[piece][from] ^ Keys[piece][to] ^ Keys[rook][rook_from] ^ Keys[rook][rook_to];
        pos.king_sq[us] = u8(to);
        pos.rule50 = 0;
        e.captured = 0;
    } else {
        const int victim = pos.board[to];
        const u64 from_to = square_bit(from) | square_bit(to);
        e.captured = u8(piece_type(victim));
        if (victim) {
            toggle(pos, victim, square_bit(to));
            pos.material[them] -= MATERIAL_INCREMENT[piece_type(victim)];
            key ^= Keys[victim][to];
            if (piece_type(victim) == PAWN) pos.pawn_key ^= Keys[victim][to];
            pos.rule50 = 0;
        }
        pos.board[from] = 0;
        pos.board[to] = u8(piece);
        toggle(pos, piece, from_to);
        key ^= Keys[piece][from] ^ Keys[piece][to];
        if (type == PAWN) {
            pos.rule50 = 0;
            pos.pawn_key ^= Keys[piece][from] ^ Keys[piece][to];
            const int push = PAWN_PUSH[us];
            if (to == from + 2 * push) {
                pos.ep_square = u8(from + push);
                key ^= Keys[0][from + push];
            } else if (to == old_ep) {
                const int cap = to - push;
                const int enemy_pawn = make_piece(them, PAWN);
                pos.board[cap] = 0;
                toggle(pos, enemy_pawn, square_bit(cap));
                pos.material[them] -= MATERIAL_INCREMENT[PAWN];
                key ^= Keys[enemy_pawn][cap];
                pos.pawn_key ^= Keys[enemy_pawn][cap];
            } else if (is_last_rank(to)) {
                // A pawn reaching the last rank without a flag becomes a queen; the history
                // records the flag so that unmake sees a promotion.
                const int promo_type = promotion_type(move);
                const int promo = make_piece(us, promo_type);
                move = make_move_code(from, to, promotion_flag(promo_type));
                pos.board[to] = u8(promo);
                pos.pieces[piece] ^= square_bit(to);
                pos.pieces[promo] ^= square_bit(to);
                pos.material[us] += MATERIAL_INCREMENT[promo_type] - MATERIAL_INCREMENT[PAWN];
                key ^= Keys[piece][to] ^ Keys[promo][to];
                pos.pawn_key ^= Keys[piece][to];
            }
        } else if (type == KING) {
            pos.king_sq[us] = u8(to);
        }
    }

    e.move = move;
    hist.last_move = move;
    pos.touched |= square_bit(from) | square_bit(to);
    if (pos.castling) {
        u8 rights = pos.castling;
        for (int c = 0; c < 4; c++)
            if (pos.castle_span[c] & pos.touched) rights &= u8(~(1 << c));
        if (rights != pos.castling) {
            key ^= Keys[0][pos.castling] ^ Keys[0][rights];
            pos.castling = rights;
        }
    }
    pos.side = u8(them);
    pos.key = (key & ~u64(1)) | u64(them);
}

void unmake_move(Position& pos) {
    MoveHistory& hist = *pos.owner;
    hist.count--;
    hist.ply--;
    const HistoryEntry& e = hist.entries[hist.count];
    hist.last_move = hist.count > 0 ? hist.entries[hist.count - 1].move : MOVE_NONE;

    pos.touched = e.touched;
    pos.ep_square = e.ep_square;
    pos.castling = e.castling;
    pos.rule50 = e.rule50;
    pos.side ^= 1;
    pos.key = e.key;
    pos.pawn_key = e.pawn_key;

    const int us = pos.side, them = us ^ 1;
    const Move move = e.move;
    const int from = move_from(move), to = move_to(move);
    const int piece = pos.board[to];

    if (move_has_flag(move) && piece_type(piece) == KING) {
        bool king_side = (move & FLAG_KING_SIDE) != 0;
        const int rook = make_piece(us, ROOK);
        const int rook_to = castle_rook_dest(from, king_side);
        const int rook_from = pos.castle_rook[castling_index(us, move)];
        pos.board[rook_to] = 0;
        toggle(pos, rook, square_bit(rook_to));
        if (from != to) {
            pos.board[to] = 0;
            toggle(pos, piece, square_bit(from) | square_bit(to));
        }
        pos.board[from] = u8(piece);
        pos.board[rook_from] = u8(rook);
        toggle(pos, rook, square_bit(rook_from));
        pos.king_sq[us] = u8(from);
        return;
    }

    const u64 from_to = square_bit(from) | square_bit(to);
    if (move_has_flag(move)) {
        // Promotion: the promoted piece leaves, a pawn returns to the origin.
        const int pawn = make_piece(us, PAWN);
        pos.pieces[piece] ^= square_bit(to);
        pos.pieces[pawn] ^= square_bit(from);
        pos.pieces[us * 8] ^= from_to;
        pos.material[us] -= MATERIAL_INCREMENT[piece_type(piece)] - MATERIAL_INCREMENT[PAWN];
        pos.board[from] = u8(pawn);
    } else {
        toggle(pos, piece, from_to);
        pos.board[from] = u8(piece);
        if (piece_type(piece) == KING) pos.king_sq[us] = u8(from);
    }
    pos.board[to] = 0;
    if (e.captured) {
        const int victim = make_piece(them, e.captured);
        pos.board[to] = u8(victim);
        toggle(pos, victim, square_bit(to));
        pos.material[them] += MATERIAL_INCREMENT[e.captured];
    } else if (to == e.ep_square && piece_type(piece) == PAWN) {
        const int cap = to - PAWN_PUSH[us];
        const int enemy_pawn = make_piece(them, PAWN);
        pos.board[cap] = u8(enemy_pawn);
        toggle(pos, enemy_pawn, square_bit(cap));
        pos.material[them] += MATERIAL_INCREMENT[PAWN];
    }
}

void make_null(Position& pos) {
    MoveHistory& hist = *pos.owner;
    HistoryEntry& e = hist.entries[hist.count];
    hist.count++;
    hist.ply++;
    e.key = pos.key;
    e.pawn_key = pos.pawn_key;
    e.touched = pos.touched;
    e.move = MOVE_NONE;
    e.captured = 0;
    e.ep_square = pos.ep_square;
    e.rule50 = pos.rule50;
    e.castling = pos.castling;
    u64 key = pos.key;
    if (pos.ep_square != NO_SQUARE) key ^= Keys[0][pos.ep_square];
    pos.ep_square = NO_SQUARE;
    pos.side ^= 1;
    hist.last_move = MOVE_NONE;
    pos.key = (key & ~u64(1)) | pos.side;
}

void unmake_null(Position& pos) {
    MoveHistory& hist = *pos.owner;
    hist.count--;
    hist.ply--;
    const HistoryEntry& e = hist.entries[hist.count];
    pos.rule50 = e.rule50;
    pos.ep_square = e.ep_square;
    pos.key = e.key;
    pos.side ^= 1;
    hist.last_move = hist.count > 0 ? hist.entries[hist.count - 1].move : MOVE_NONE;
}

void make_game_move(Position& pos, Move move) {
    MoveHistory& hist = *pos.owner;
    if (hist.count >= GAME_HISTORY_LIMIT) {
        // Only positions since the last irreversible move can repeat; keep those (plus the
        // entry of that move) and move them to the front.
        int keep = pos.rule50 + 2;
        if (keep > hist.count) keep = hist.count;
        int drop = hist.count - keep;
        memmove(&hist.entries[0], &hist.entries[drop], size_t(keep) * sizeof(HistoryEntry));
        hist.count = i16(keep);
        hist.ply = i16(hist.ply - drop);
    }
    make_move(pos, move);
}
