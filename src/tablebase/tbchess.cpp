#include "tablebase/tbchess.h"

#include "board/tables.h"

namespace {

constexpr u64 RANK_1 = 0xFFull;
constexpr u64 RANK_8 = 0xFFull << 56;

inline u64 us_bb(const TbPosition& pos) { return pos.turn ? pos.white : pos.black; }
inline u64 them_bb(const TbPosition& pos) { return pos.turn ? pos.black : pos.white; }
inline int side_to_move(const TbPosition& pos) { return pos.turn ? WHITE : BLACK; }

// Whether `sq` is attacked by the pieces of `by` in `pos`, with `occupied` as the blockers.
bool attacked_by(const TbPosition& pos, int sq, int by, u64 occupied) {
    u64 them = tb_colour_bb(pos, by);
    if (PawnAttacks[by ^ 1][sq] & pos.pawns & them) return true;
    if (KnightAttacks[sq] & pos.knights & them) return true;
    if (KingAttacks[sq] & pos.kings & them) return true;
    if (bishop_attacks(sq, occupied) & (pos.bishops | pos.queens) & them) return true;
    if (rook_attacks(sq, occupied) & (pos.rooks | pos.queens) & them) return true;
    return false;
}

// The en-passant capture is offered only when the square is a real one: empty, on the sixth
// rank from the mover's side, with an enemy pawn in front of it.
bool ep_square_usable(const TbPosition& pos) {
    int ep = pos.ep;
    if (ep == 0) return false;
    u64 occupied = pos.white | pos.black;
    if (occupied & square_bit(ep)) return false;
    if (pos.turn) {
        if (square_rank(ep) != 5) return false;
        return (pos.pawns & pos.black & square_bit(ep - 8)) != 0;
    }
    if (square_rank(ep) != 2) return false;
    return (pos.pawns & pos.white & square_bit(ep + 8)) != 0;
}

struct MoveSink {
    TbMove* list;
    int count;
    void add(int from, int to, int promote = 0) {
        if (count < TB_MAX_MOVES) list[count++] = tb_make_move(from, to, promote);
    }
    void add_pawn(int from, int to) {
        if (square_rank(to) == 0 || square_rank(to) == 7) {
            add(from, to, TB_PROMOTE_QUEEN);
            add(from, to, TB_PROMOTE_ROOK);
            add(from, to, TB_PROMOTE_BISHOP);
            add(from, to, TB_PROMOTE_KNIGHT);
        } else {
            add(from, to);
        }
    }
};

// Pawn moves first, then knights, bishops, rooks, queens and the king; origins and
// destinations in increasing square order. The order is part of the root move choice.
int generate(const TbPosition& pos, TbMove* list, bool captures_only) {
    MoveSink sink{list, 0};
    const int side = side_to_move(pos);
    const u64 us = us_bb(pos);
    const u64 them = them_bb(pos);
    const u64 occupied = us | them;
    const u64 victims = them & ~pos.kings;
    const u64 targets = captures_only ? victims : (~us & ~(them & pos.kings));

    const int push = side == WHITE ? 8 : -8;
    const int start_rank = side == WHITE ? 1 : 6;
    const bool ep_ok = ep_square_usable(pos);
    for (u64 b = pos.pawns & us; b;) {
        int from = pop_lsb(b);
        for (u64 c = PawnAttacks[side][from] & victims; c;) sink.add_pawn(from, pop_lsb(c));
        if (ep_ok && (PawnAttacks[side][from] & square_bit(pos.ep))) sink.add(from, pos.ep);
        if (captures_only) continue;
        int to = from + push;
        if (to < 0 || to > 63 || (occupied & square_bit(to))) continue;
        sink.add_pawn(from, to);
        int to2 = to + push;
        if (square_rank(from) == start_rank && !(occupied & square_bit(to2))) sink.add(from, to2);
    }
    for (u64 b = pos.knights & us; b;) {
        int from = pop_lsb(b);
        for (u64 t = KnightAttacks[from] & targets; t;) sink.add(from, pop_lsb(t));
    }
    for (u64 b = pos.bishops & us; b;) {
        int from = pop_lsb(b);
        for (u64 t = bishop_attacks(from, occupied) & targets; t;) sink.add(from, pop_lsb(t));
    }
    for (u64 b = pos.rooks & us; b;) {
        int from = pop_lsb(b);
        for (u64 t = rook_attacks(from, occupied) & targets; t;) sink.add(from, pop_lsb(t));
    }
    for (u64 b = pos.queens & us; b;) {
        int from = pop_lsb(b);
        for (u64 t = queen_attacks(from, occupied) & targets; t;) sink.add(from, pop_lsb(t));
    }
    for (u64 b = pos.kings & us; b;) {
        int from = pop_lsb(b);
        for (u64 t = KingAttacks[from] & targets; t;) sink.add(from, pop_lsb(t));
    }
    return sink.count;
}

u64* kind_slot(TbPosition& pos, int kind) {
    switch (kind) {
        case TB_PAWN: return &pos.pawns;
        case TB_KNIGHT: return &pos.knights;
        case TB_BISHOP: return &pos.bishops;
        case TB_ROOK: return &pos.rooks;
        case TB_QUEEN: return &pos.queens;
        default: return &pos.kings;
    }
}

}  // namespace

u64 tb_kind_bb(const TbPosition& pos, int kind) {
    switch (kind) {
        case TB_PAWN: return pos.pawns;
        case TB_KNIGHT: return pos.knights;
        case TB_BISHOP: return pos.bishops;
        case TB_ROOK: return pos.rooks;
        case TB_QUEEN: return pos.queens;
        case TB_KING: return pos.kings;
        default: return 0;
    }
}

int tb_kind_on(const TbPosition& pos, int sq) {
    u64 bit = square_bit(sq);
    if (!((pos.white | pos.black) & bit)) return 0;
    for (int kind = TB_PAWN; kind <= TB_KING; kind++)
        if (tb_kind_bb(pos, kind) & bit) return kind;
    return 0;
}

int tb_gen_moves(const TbPosition& pos, TbMove* list) { return generate(pos, list, false); }
int tb_gen_captures(const TbPosition& pos, TbMove* list) { return generate(pos, list, true); }

bool tb_is_en_passant(const TbPosition& pos, TbMove move) {
    return pos.ep != 0 && tb_move_to(move) == pos.ep && (pos.pawns & square_bit(tb_move_from(move))) &&
           !((pos.white | pos.black) & square_bit(pos.ep));
}

bool tb_is_capture(const TbPosition& pos, TbMove move) {
    return (them_bb(pos) & square_bit(tb_move_to(move))) != 0 || tb_is_en_passant(pos, move);
}

bool tb_is_pawn_move(const TbPosition& pos, TbMove move) { return (pos.pawns & square_bit(tb_move_from(move))) != 0; }

int tb_do_move(TbPosition& next, const TbPosition& pos, TbMove move) {
    const int from = tb_move_from(move);
    const int to = tb_move_to(move);
    const int side = side_to_move(pos);
    const u64 from_bit = square_bit(from);
    const u64 to_bit = square_bit(to);
    const int kind = tb_kind_on(pos, from);

    next = pos;
    u64& mine = side == WHITE ? next.white : next.black;
    u64& theirs = side == WHITE ? next.black : next.white;
    bool zeroing = kind == TB_PAWN;

    if (theirs & to_bit) {
        zeroing = true;
        theirs &= ~to_bit;
        *kind_slot(next, tb_kind_on(pos, to)) &= ~to_bit;
    } else if (kind == TB_PAWN && to == pos.ep && pos.ep != 0) {
        const u64 victim = square_bit(side == WHITE ? to - 8 : to + 8);
        theirs &= ~victim;
        next.pawns &= ~victim;
    }
    mine = (mine & ~from_bit) | to_bit;
    u64* slot = kind_slot(next, kind);
    *slot &= ~from_bit;
    switch (tb_move_promotes(move)) {
        case TB_PROMOTE_QUEEN: next.queens |= to_bit; break;
        case TB_PROMOTE_ROOK: next.rooks |= to_bit; break;
        case TB_PROMOTE_BISHOP: next.bishops |= to_bit; break;
        case TB_PROMOTE_KNIGHT: next.knights |= to_bit; break;
        default: *slot |= to_bit; break;
    }

    // The en-passant square is kept only when an enemy pawn could actually take there.
    next.ep = 0;
    if (kind == TB_PAWN && (from ^ to) == 16) {
        const int ep = (from + to) / 2;
        if (PawnAttacks[side][ep] & next.pawns & theirs) next.ep = u8(ep);
    }
    next.rule50 = zeroing ? 0 : u8(pos.rule50 < 255 ? pos.rule50 + 1 : 255);
    next.turn = pos.turn ^ 1;

    const u64 king = next.kings & mine;
    if (!king) return 0;
    return attacked_by(next, lsb(king), side ^ 1, next.white | next.black) ? 0 : 1;
}

bool tb_is_check(const TbPosition& pos) {
    const u64 king = pos.kings & us_bb(pos);
    if (!king) return false;
    return attacked_by(pos, lsb(king), side_to_move(pos) ^ 1, pos.white | pos.black);
}

bool tb_has_legal_move(const TbPosition& pos) {
    TbMove moves[TB_MAX_MOVES];
    const int n = tb_gen_moves(pos, moves);
    TbPosition next;
    for (int i = 0; i < n; i++)
        if (tb_do_move(next, pos, moves[i])) return true;
    return false;
}

bool tb_is_mate(const TbPosition& pos) { return tb_is_check(pos) && !tb_has_legal_move(pos); }

int tb_position_from_board(const Position& board, int rule50, TbPosition& out) {
    if (board.castling != 0) return -1;
    out.white = board.pieces[make_piece(WHITE, 0)];
    out.black = board.pieces[make_piece(BLACK, 0)];
    out.pawns = board.pieces[PAWN] | board.pieces[8 + PAWN];
    out.knights = board.pieces[KNIGHT] | board.pieces[8 + KNIGHT];
    out.bishops = board.pieces[BISHOP] | board.pieces[8 + BISHOP];
    out.rooks = board.pieces[ROOK] | board.pieces[8 + ROOK];
    out.queens = board.pieces[QUEEN] | board.pieces[8 + QUEEN];
    out.kings = board.pieces[KING] | board.pieces[8 + KING];
    out.rule50 = u8(rule50 < 0 ? 0 : rule50 > 255 ? 255 : rule50);
    out.turn = board.side == WHITE ? 1 : 0;
    out.ep = (board.ep_square > 0 && board.ep_square < 64) ? board.ep_square : 0;

    const u64 all = out.white | out.black;
    const u64 kinds[6] = {out.pawns, out.knights, out.bishops, out.rooks, out.queens, out.kings};
    u64 seen = 0;
    int total = 0;
    for (u64 k : kinds) {
        seen |= k;
        total += popcount(k);
    }
    if ((out.white & out.black) || seen != all || total != popcount(all)) return -1;
    if (popcount(out.kings & out.white) != 1 || popcount(out.kings & out.black) != 1) return -1;
    if (out.pawns & (RANK_1 | RANK_8)) return -1;
    if (!ep_square_usable(out)) out.ep = 0;
    // The side not to move must not be in check: its king could be captured otherwise.
    const int opponent = board.side ^ 1;
    const u64 their_king = out.kings & tb_colour_bb(out, opponent);
    if (attacked_by(out, lsb(their_king), opponent ^ 1, all)) return -1;
    return 0;
}
