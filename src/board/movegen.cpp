// Pseudo-legal move generation. Whether the own king is left in check is decided later by
// is_legal, so every generator here is a handful of bitboard operations per piece kind.
#include "board/movegen.h"

#include "board/bitboard.h"
#include "board/tables.h"

namespace {

inline MoveEntry* emit(MoveEntry* out, const Position& pos, int from, int to, Move flags = 0) {
    out->move = make_move_code(from, to, flags);
    out->score = 0;
    out->piece = pos.board[from];
    out->captured = pos.board[to];
    return out + 1;
}

// Emits one move per destination in `targets`, origin = destination - offset.
inline MoveEntry* emit_shifted(MoveEntry* out, const Position& pos, u64 targets, int offset) {
    while (targets) {
        int to = pop_lsb(targets);
        out = emit(out, pos, to - offset, to);
    }
    return out;
}

inline MoveEntry* emit_all_promotions(MoveEntry* out, const Position& pos, int from, int to, int all) {
    out = emit(out, pos, from, to, FLAG_PROMO_QUEEN);
    if (all) {
        out = emit(out, pos, from, to, FLAG_PROMO_KNIGHT);
        out = emit(out, pos, from, to, FLAG_PROMO_BISHOP);
        out = emit(out, pos, from, to, FLAG_PROMO_ROOK);
    }
    return out;
}

template <int Type>
inline MoveEntry* gen_piece_moves(const Position& pos, int side, u64 targets, u64 occ, MoveEntry* out) {
    u64 pieces = pos.pieces[make_piece(side, Type)];
    while (pieces) {
        int from = pop_lsb(pieces);
        u64 att;
        if constexpr (Type == KNIGHT) att = KnightAttacks[from];
        else if constexpr (Type == BISHOP) att = bishop_attacks(from, occ);
        else if constexpr (Type == ROOK) att = rook_attacks(from, occ);
        else att = queen_attacks(from, occ);
        att &= targets;
        while (att) out = emit(out, pos, from, pop_lsb(att));
    }
    return out;
}

inline MoveEntry* gen_king_moves(const Position& pos, int side, u64 targets, MoveEntry* out) {
    int king = pos.king_sq[side];
    u64 att = KingAttacks[king] & targets;
    while (att) out = emit(out, pos, king, pop_lsb(att));
    return out;
}

}  // namespace

MoveEntry* gen_captures(const Position& pos, int side, MoveEntry* out, int target) {
    u64 enemies = pos.pieces[(side ^ 1) * 8];
    u64 victims = target == NO_SQUARE ? enemies : square_bit(target);
    u64 ep_bit = pos.ep_square < 64 ? square_bit(pos.ep_square) : 0;
    u64 pawn_victims = (victims | ep_bit) & RANKS_2_TO_7;
    u64 pawns = pos.pieces[make_piece(side, PAWN)];
    if (side == WHITE) {
        out = emit_shifted(out, pos, (pawns << 7) & ~FILE_H & pawn_victims, 7);
        out = emit_shifted(out, pos, (pawns << 9) & ~FILE_A & pawn_victims, 9);
    } else {
        out = emit_shifted(out, pos, (pawns >> 9) & ~FILE_H & pawn_victims, -9);
        out = emit_shifted(out, pos, (pawns >> 7) & ~FILE_A & pawn_victims, -7);
    }
    u64 occ = occupancy(pos);
    victims &= enemies;
    out = gen_piece_moves<KNIGHT>(pos, side, victims, occ, out);
    out = gen_piece_moves<BISHOP>(pos, side, victims, occ, out);
    out = gen_piece_moves<ROOK>(pos, side, victims, occ, out);
    out = gen_piece_moves<QUEEN>(pos, side, victims, occ, out);
    return gen_king_moves(pos, side, enemies, out);
}

MoveEntry* gen_promotions(const Position& pos, int side, int all, MoveEntry* out) {
    u64 pawns = pos.pieces[make_piece(side, PAWN)] & PROMOTING_RANK[side];
    u64 enemies = pos.pieces[(side ^ 1) * 8];
    int push = PAWN_PUSH[side];
    while (pawns) {
        int from = pop_lsb(pawns);
        int ahead = from + push;
        if (!pos.board[ahead]) out = emit_all_promotions(out, pos, from, ahead, all);
        if (square_file(from) > 0 && (enemies & square_bit(ahead - 1)))
            out = emit_all_promotions(out, pos, from, ahead - 1, all);
        if (square_file(from) < 7 && (enemies & square_bit(ahead + 1)))
            out = emit_all_promotions(out, pos, from, ahead + 1, all);
    }
    return out;
}

MoveEntry* gen_seventh_pushes(const Position& pos, int side, MoveEntry* out) {
    u64 pawns = pos.pieces[make_piece(side, PAWN)] & PRE_SEVENTH_RANK[side];
    u64 dest = push_forward(pawns, side) & ~occupancy(pos);
    return emit_shifted(out, pos, dest, PAWN_PUSH[side]);
}

MoveEntry* gen_pawn_pushes(const Position& pos, int side, u64 targets, u64 occupied, MoveEntry* out) {
    u64 pawns = pos.pieces[make_piece(side, PAWN)];
    u64 single = push_forward(pawns, side) & ~occupied;
    u64 dbl = push_forward(single, side) & ~occupied & targets & DOUBLE_PUSH_RANK[side];
    out = emit_shifted(out, pos, single & targets, PAWN_PUSH[side]);
    return emit_shifted(out, pos, dbl, 2 * PAWN_PUSH[side]);
}

MoveEntry* gen_queen_moves(const Position& pos, int side, u64 targets, u64 occupied, MoveEntry* out) {
    return gen_piece_moves<QUEEN>(pos, side, targets, occupied, out);
}

MoveEntry* gen_quiets(const Position& pos, int side, MoveEntry* out, int checker) {
    u64 occ = occupancy(pos);
    u64 empty = ~occ;
    int king = pos.king_sq[side];
    u64 dest = checker == NO_SQUARE ? empty : Between[king][checker] & empty;
    out = gen_pawn_pushes(pos, side, dest & RANKS_3_TO_6, occ, out);
    out = gen_piece_moves<KNIGHT>(pos, side, dest, occ, out);
    out = gen_piece_moves<BISHOP>(pos, side, dest, occ, out);
    out = gen_piece_moves<ROOK>(pos, side, dest, occ, out);
    out = gen_piece_moves<QUEEN>(pos, side, dest, occ, out);
    out = gen_king_moves(pos, side, empty, out);
    int rights = pos.castling >> (2 * side);
    if ((rights & 1) && !(pos.castle_path[2 * side] & occ)) {
        out->move = make_move_code(king, castle_king_dest(king, true), FLAG_KING_SIDE);
        out->score = 0;
        out->piece = pos.board[king];
        out->captured = 0;
        out++;
    }
    if ((rights & 2) && !(pos.castle_path[2 * side + 1] & occ)) {
        out->move = make_move_code(king, castle_king_dest(king, false), FLAG_QUEEN_SIDE);
        out->score = 0;
        out->piece = pos.board[king];
        out->captured = 0;
        out++;
    }
    return out;
}

int gen_all_moves(const Position& pos, MoveEntry* out) {
    int side = pos.side;
    MoveEntry* end = gen_captures(pos, side, out, NO_SQUARE);
    end = gen_promotions(pos, side, 1, end);
    end = gen_seventh_pushes(pos, side, end);
    end = gen_quiets(pos, side, end, NO_SQUARE);
    end->move = MOVE_END;
    end->score = 0;
    end->piece = 0;
    end->captured = 0;
    return int(end - out);
}
