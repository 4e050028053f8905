// Basic integer types, square/piece/colour codes and the 16-bit move encoding
// shared by every layer of the engine.
#pragma once

#include <bit>
#include <cstdint>

using u8 = uint8_t;
using u16 = uint16_t;
using u32 = uint32_t;
using u64 = uint64_t;
using i8 = int8_t;
using i16 = int16_t;
using i32 = int32_t;
using i64 = int64_t;

// Colours.
constexpr int WHITE = 0;
constexpr int BLACK = 1;

// Piece types; a piece code is the type for White and 8 + type for Black.
enum PieceType : int { NO_TYPE = 0, PAWN = 1, KNIGHT = 2, BISHOP = 3, ROOK = 4, QUEEN = 5, KING = 6 };
constexpr int make_piece(int colour, int type) { return colour * 8 + type; }
constexpr int piece_colour(int code) { return code >> 3; }
constexpr int piece_type(int code) { return code & 7; }

// Squares: a1 = 0 .. h8 = 63; 64 means no square.
constexpr int NO_SQUARE = 64;
constexpr int square_file(int sq) { return sq & 7; }
constexpr int square_rank(int sq) { return sq >> 3; }
constexpr int make_square(int file, int rank) { return rank * 8 + file; }
constexpr u64 square_bit(int sq) { return u64(1) << sq; }

// Move: destination in bits 0-5, origin in bits 8-13, flags read together with the moving piece.
using Move = u16;
constexpr Move MOVE_NONE = 0;             // no move, and the null move
constexpr Move MOVE_END = 0xFFFF;         // ends a move list
constexpr Move FLAG_KING_SIDE = 0x0040;   // king: king-side castling
constexpr Move FLAG_QUEEN_SIDE = 0x0080;  // king: queen-side castling
constexpr Move FLAG_PROMO_QUEEN = 0x0040;
constexpr Move FLAG_PROMO_KNIGHT = 0x0080;
constexpr Move FLAG_PROMO_BISHOP = 0x4000;
constexpr Move FLAG_PROMO_ROOK = 0x8000;
constexpr Move FLAG_MASK = 0xC0C0;

constexpr int move_from(Move m) { return (m >> 8) & 63; }
constexpr int move_to(Move m) { return m & 63; }
constexpr bool move_has_flag(Move m) { return (m & FLAG_MASK) != 0; }
constexpr Move make_move_code(int from, int to, Move flags = 0) { return Move((from << 8) | to | flags); }

// One entry of a move list.
struct MoveEntry {
    Move move;
    i16 score;    // ordering score, written by the move picker
    u8 piece;     // piece code on the origin square
    u8 captured;  // piece code on the destination square (0 for quiet moves, en passant, castling)
};

// A move list holds every pseudo-legal move of a position plus its terminator. A side has at most
// 16 pieces (enforced when a position is accepted): 15 queens and a king give at most
// 15 * 27 + 8 + 2 = 415 moves, so 512 entries can never overflow.
constexpr int MAX_MOVES = 512;

// Search depth: nodes at MAX_PLY never recurse; a principal variation indexed by ply holds
// PV_SIZE moves (plies 0..MAX_PLY) and ends with a 0 entry, so its arrays have PV_LENGTH entries.
constexpr int MAX_PLY = 80;
constexpr int PV_SIZE = MAX_PLY + 1;
constexpr int PV_LENGTH = PV_SIZE + 1;

// Bit helpers over the processor's instructions.
inline int lsb(u64 b) { return std::countr_zero(b); }
inline int msb(u64 b) { return 63 - std::countl_zero(b); }
inline int popcount(u64 b) { return std::popcount(b); }
inline int pop_lsb(u64& b) {
    int s = lsb(b);
    b &= b - 1;
    return s;
}

// Scores, in centipawns from the side to move's point of view. A side mated at ply p scores
// p - SCORE_MATE.
constexpr int SCORE_NONE = -10001;
constexpr int SCORE_INFINITE = 10001;
constexpr int SCORE_MATE = 10000;
// Mate scores as the transposition table sees them (it converts them by the ply): wins from
// SCORE_WIN_MIN up, losses from SCORE_LOSS_MAX down.
constexpr int SCORE_WIN_MIN = 9499;
constexpr int SCORE_LOSS_MAX = -9500;
// Scores that the info lines print as "mate N" (from SCORE_SHOWN_AS_MATE up) and "mate -N"
// (from SCORE_SHOWN_AS_MATED down); the tablebase root score lies between the two ranges.
constexpr int SCORE_SHOWN_AS_MATE = 9900;
constexpr int SCORE_SHOWN_AS_MATED = -9901;
constexpr int SCORE_TB_ROOT_WIN = 9800;
// Tablebase results move the static evaluation by TB_EVAL_SHIFT; beyond SCORE_DECISIVE a
// score counts as decided (a tablebase win or loss, or a mate).
constexpr int TB_EVAL_SHIFT = 4000;
constexpr int SCORE_DECISIVE = 3000;
// Every static evaluation lies within +-EVAL_LIMIT, so that even with the tablebase shift it
// stays strictly inside the non-mate range.
constexpr int EVAL_LIMIT = SCORE_WIN_MIN - 1 - TB_EVAL_SHIFT;
inline bool is_win_score(int score) { return score >= SCORE_WIN_MIN; }
inline bool is_loss_score(int score) { return score <= SCORE_LOSS_MAX; }

// v limited to [lo, hi] (options and switches clamp their values, never refuse them).
constexpr int clamp_int(long long v, long long lo, long long hi) { return int(v < lo ? lo : v > hi ? hi : v); }
