// Attack questions, the legality test, move classification and draw detection.
#include "board/attacks.h"

#include "board/bitboard.h"
#include "board/legality.h"
#include "board/movegen.h"
#include "board/tables.h"

namespace {

inline int lowest_slider(u64 candidates, int sq, u64 occ) {
    while (candidates) {
        int s = pop_lsb(candidates);
        if (!(Between[sq][s] & occ)) return s;
    }
    return NO_SQUARE;
}

}  // namespace

bool is_attacked(const Position& pos, int square, int by_side) {
    u64 occ = occupancy(pos);
    return attacked_within(pos, square, by_side, occ, occ);
}

int least_attacker(const Position& pos, int square, int side, u64 occupied) {
    const int base = side * 8;
    u64 b = PawnAttacks[side ^ 1][square] & pos.pieces[base + PAWN] & occupied;
    if (b) return lsb(b);
    b = KnightAttacks[square] & pos.pieces[base + KNIGHT] & occupied;
    if (b) return lsb(b);
    int s = lowest_slider(BishopMask[square] & pos.pieces[base + BISHOP] & occupied, square, occupied);
    if (s != NO_SQUARE) return s;
    s = lowest_slider(RookMask[square] & pos.pieces[base + ROOK] & occupied, square, occupied);
    if (s != NO_SQUARE) return s;
    s = lowest_slider((BishopMask[square] | RookMask[square]) & pos.pieces[base + QUEEN] & occupied, square, occupied);
    if (s != NO_SQUARE) return s;
    b = KingAttacks[square] & pos.pieces[base + KING] & occupied;
    return b ? lsb(b) : NO_SQUARE;
}

// A castling is legal when no square the king stands on, crosses or reaches is attacked, and
// the king is not attacked once both pieces stand on their new squares (a rook that leaves can
// uncover an attack along the first rank).
bool castling_is_legal(const Position& pos, int side, Move move) {
    const int from = move_from(move);
    const bool king_side = (move & FLAG_KING_SIDE) != 0;
    const int to = castle_king_dest(from, king_side);
    const int them = side ^ 1;
    const u64 occ = occupancy(pos);
    const int step = to > from ? 1 : -1;
    for (int sq = from;; sq += step) {
        if (attacked_within(pos, sq, them, occ, occ)) return false;
        if (sq == to) break;
    }
    const int rook_from = pos.castle_rook[castling_index(side, move)];
    if (rook_from >= 64) return false;
    const u64 after = (occ & ~square_bit(from) & ~square_bit(rook_from)) | square_bit(to) |
                      square_bit(castle_rook_dest(from, king_side));
    return !attacked_within(pos, to, them, after, after);
}

bool is_legal(Position& pos, int side, Move move) { return legal_move(pos, side, move); }

bool gives_check(const Position& pos, int side, Move move) {
    const int from = move_from(move);
    int to = move_to(move);
    if (move == MOVE_NONE) return false;
    const int king = pos.king_sq[side ^ 1];
    int placed = piece_type(pos.board[from]);
    u64 occ = occupancy(pos) & ~square_bit(from);
    u64 staying = pos.pieces[side * 8] & ~square_bit(from);
    if (placed == KING && move_has_flag(move)) {
        // Castling: only the rook can check directly, from its new square.
        const bool king_side = (move & FLAG_KING_SIDE) != 0;
        const int rook_from = pos.castle_rook[castling_index(side, move)];
        if (rook_from < 64) {
            occ &= ~square_bit(rook_from);
            staying &= ~square_bit(rook_from);
        }
        occ |= square_bit(castle_king_dest(from, king_side));
        to = castle_rook_dest(from, king_side);
        placed = ROOK;
    } else if (placed == PAWN) {
        if (move_has_flag(move) || is_last_rank(to)) placed = promotion_type(move);
        if (to == pos.ep_square) occ &= ~square_bit(to - PAWN_PUSH[side]);
    }
    occ |= square_bit(to);
    const u64 target = square_bit(king);
    switch (placed) {
        case PAWN:
            if (PawnAttacks[side][to] & target) return true;
            break;
        case KNIGHT:
            if (KnightAttacks[to] & target) return true;
            break;
        case BISHOP:
            if (bishop_attacks(to, occ) & target) return true;
            break;
        case ROOK:
            if (rook_attacks(to, occ) & target) return true;
            break;
        case QUEEN:
            if (queen_attacks(to, occ) & target) return true;
            break;
        default:
            break;
    }
    return attacked_within(pos, king, side, occ, staying);
}

int move_flags(Position& pos, int side, const MoveEntry& entry) {
    const Move move = entry.move;
    const int from = move_from(move), to = move_to(move);
    const int piece = pos.board[from];
    const bool pawn = piece_type(piece) == PAWN;
    int flags = gives_check(pos, side, move) ? MF_CHECK : 0;
    if (entry.captured || (pawn && to == pos.ep_square)) flags |= MF_CAPTURE;
    if (pawn) {
        const int r = side == WHITE ? square_rank(to) : 7 - square_rank(to);
        if (r == 7) flags |= MF_PROMOTION_RANK;
        else if (r == 6)
            flags |= MF_SEVENTH_RANK;
        else if (r == 5 && !pos.board[to] && to != pos.ep_square)
            flags |= MF_SIXTH_RANK_PUSH;
    }
    return flags;
}

Move first_legal_move(Position& pos) {
    MoveEntry list[MAX_MOVES];
    const int n = gen_all_moves(pos, list);
    for (int i = 0; i < n; i++)
        if (is_legal(pos, pos.side, list[i].move)) return list[i].move;
    return 0;
}

bool is_generated_legal_move(Position& pos, Move move) {
    if (!move) return false;
    MoveEntry list[MAX_MOVES];
    const int n = gen_all_moves(pos, list);
    for (int i = 0; i < n; i++)
        if (list[i].move == move) return is_legal(pos, pos.side, move);
    return false;
}

bool is_draw(Position& pos, int plies_from_root) {
    if (pos.rule50 < 4) return false;
    if (pos.rule50 >= 100) {
        // The fifty-move rule does not override a mate given on the hundredth half-move.
        return first_legal_move(pos) != 0;
    }
    const MoveHistory& hist = *pos.owner;
    const int h = hist.count;
    // Positions before the last irreversible move cannot repeat the current one.
    const int oldest = h - pos.rule50 > 0 ? h - pos.rule50 : 0;
    int matches = 0;
    for (int i = h - 2; i >= oldest; i -= 2) {
        const HistoryEntry& e = hist.entries[i];
        if (e.move == MOVE_NONE) return false;
        if (e.key != pos.key) continue;
        if (i > h - plies_from_root) return true;
        if (++matches == 2) return true;
    }
    return false;
}
