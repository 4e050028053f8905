// The tablebase prober's own compact position record and its move routines. The prober only
// ever sees positions without castling rights and with few pieces, so a handful of bitboards
// and a plain copy-make are enough; it shares the engine's attack tables.
#pragma once

#include "board/position.h"
#include "core/types.h"

struct TbPosition {
    u64 white;
    u64 black;
    u64 kings;
    u64 queens;
    u64 rooks;
    u64 bishops;
    u64 knights;
    u64 pawns;
    u8 rule50;
    u8 ep;    // en-passant target square, 0 when there is none
    u8 turn;  // 1 when White is to move, 0 when Black is
};

// Prober move code: bits 0-5 destination, bits 6-11 origin, bits 12-14 promotion piece.
using TbMove = u16;
constexpr int TB_PROMOTE_QUEEN = 1;
constexpr int TB_PROMOTE_ROOK = 2;
constexpr int TB_PROMOTE_BISHOP = 3;
constexpr int TB_PROMOTE_KNIGHT = 4;

constexpr int tb_move_to(TbMove m) { return m & 63; }
constexpr int tb_move_from(TbMove m) { return (m >> 6) & 63; }
constexpr int tb_move_promotes(TbMove m) { return (m >> 12) & 7; }
constexpr TbMove tb_make_move(int from, int to, int promote = 0) { return TbMove(to | (from << 6) | (promote << 12)); }

// Piece kinds inside the prober (the same numbers as the engine's piece types).
constexpr int TB_PAWN = 1;
constexpr int TB_KNIGHT = 2;
constexpr int TB_BISHOP = 3;
constexpr int TB_ROOK = 4;
constexpr int TB_QUEEN = 5;
constexpr int TB_KING = 6;

// Letters of the piece codes used in table names: index = kind for White, kind + 8 for Black.
constexpr const char* TB_PIECE_LETTERS = " PNBRQK  pnbrqk";

// Room for every pseudo-legal move of a position the prober accepts (at most seven pieces).
constexpr int TB_MAX_MOVES = 256;

// Bitboard of one kind (both colours) and of one colour.
u64 tb_kind_bb(const TbPosition& pos, int kind);
inline u64 tb_colour_bb(const TbPosition& pos, int colour) { return colour == WHITE ? pos.white : pos.black; }
// The kind (1-6) on a square, 0 when empty.
int tb_kind_on(const TbPosition& pos, int sq);

// Pseudo-legal moves (all of them, or captures only including en passant and capturing
// promotions). Kings are never captured. Each returns the number of moves written.
int tb_gen_moves(const TbPosition& pos, TbMove* list);
int tb_gen_captures(const TbPosition& pos, TbMove* list);

bool tb_is_capture(const TbPosition& pos, TbMove move);
bool tb_is_en_passant(const TbPosition& pos, TbMove move);
bool tb_is_pawn_move(const TbPosition& pos, TbMove move);

// Plays a move into `next`. Returns 0 when the move leaves the mover's king attacked
// (next is then meaningless), 1 otherwise.
int tb_do_move(TbPosition& next, const TbPosition& pos, TbMove move);

bool tb_is_check(const TbPosition& pos);
// In check and without a legal move.
bool tb_is_mate(const TbPosition& pos);
// Whether the side to move has a legal move.
bool tb_has_legal_move(const TbPosition& pos);

// Builds the prober's record from an engine position. Returns 0 on success and -1 when the
// position is one the prober must not look at: castling rights, not exactly one king per side,
// pawns on the first or eighth rank, inconsistent bitboards, or the side not to move in check.
int tb_position_from_board(const Position& board, int rule50, TbPosition& out);
