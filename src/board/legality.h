// The attack test behind is_legal, inline so that the hot loops (perft, move picking) can
// fold it into their own code.
#pragma once

#include "board/bitboard.h"
#include "board/position.h"
#include "board/tables.h"

// Whether a piece of `by` within `mask` attacks `sq`, with `occ` as the occupancy for lines.
// Slider candidates on the square's lines are checked by their between sets (usually few).
inline bool attacked_within(const Position& pos, int sq, int by, u64 occ, u64 mask) {
    const int base = by * 8;
    if (PawnAttacks[by ^ 1][sq] & pos.pieces[base + PAWN] & mask) return true;
    if (KnightAttacks[sq] & pos.pieces[base + KNIGHT] & mask) return true;
    if (KingAttacks[sq] & pos.pieces[base + KING] & mask) return true;
    const u64 queens = pos.pieces[base + QUEEN];
    u64 sliders = BishopMask[sq] & (pos.pieces[base + BISHOP] | queens) & mask;
    sliders |= RookMask[sq] & (pos.pieces[base + ROOK] | queens) & mask;
    while (sliders) {
        const int s = pop_lsb(sliders);
        if (!(Between[sq][s] & occ)) return true;
    }
    return false;
}

bool castling_is_legal(const Position& pos, int side, Move move);

// is_legal for a move of `side` (see attacks.h).
inline bool legal_move(const Position& pos, int side, Move move) {
    if (move == MOVE_NONE) return false;
    const int from = move_from(move), to = move_to(move);
    const int piece = pos.board[from];
    const u64 occ_after = (occupancy(pos) ^ square_bit(from)) | square_bit(to);
    if (piece_type(piece) == KING) {
        if (move_has_flag(move)) return castling_is_legal(pos, side, move);
        // The king may not step onto an attacked square; a captured piece no longer counts.
        return !attacked_within(pos, to, side ^ 1, occ_after, occ_after & ~square_bit(to));
    }
    u64 occ = occ_after;
    u64 live = occ_after & ~square_bit(to);
    if (piece_type(piece) == PAWN && to == pos.ep_square) {
        const u64 cap = square_bit(to - PAWN_PUSH[side]);
        occ &= ~cap;
        live &= ~cap;
    }
    return !attacked_within(pos, pos.king_sq[side], side ^ 1, occ, live);
}
