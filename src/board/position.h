// The position record, the history stack that make/unmake and repetition detection use,
// and the from-scratch key computation.
#pragma once

#include "core/types.h"

// Undo and repetition record, one per move made (entry n: the position before the n-th move).
struct HistoryEntry {
    u64 key;       // position key before the move
    u64 pawn_key;  // pawn key before the move
    u64 touched;   // touched squares before the move
    Move move;     // the move made; 0 for a null move; castling with the king's destination
    u8 captured;   // type (1-6) captured on the destination; 0 for none, en passant, castling
    u8 ep_square;  // en-passant square before the move
    u8 rule50;     // rule50 before the move
    u8 castling;   // castling rights before the move
};

// The history must hold the game since the last FEN plus the deepest search line. Game moves
// are played with make_game_move, which keeps the game part below GAME_HISTORY_LIMIT by dropping
// entries that can no longer take part in a repetition.
constexpr int MAX_SEARCH_PLY = 128;
constexpr int HISTORY_CAPACITY = 1024;
constexpr int GAME_HISTORY_LIMIT = HISTORY_CAPACITY - MAX_SEARCH_PLY - 16;

// The part of a thread's record that the board layer owns: history stack and counters.
// It is embedded in the engine's ThreadState; Position::owner points at it.
struct MoveHistory {
    HistoryEntry entries[HISTORY_CAPACITY];
    i16 count;       // entries in use
    i16 ply;         // search ply, incremented and decremented with count
    Move last_move;  // the move that led to the current position; 0 after a null move or set-up
};

struct Position {
    MoveHistory* owner;
    u8 board[65];           // piece code per square; board[64] is always 0
    u64 pieces[16];         // 0 = all white, 1..6 white types, 8 = all black, 9..14 black types
    u64 touched;            // origins and destinations of moves made since set-up
    u64 castle_span[4];     // king bit | rook bit of each castling (WK, WQ, BK, BQ)
    u64 castle_path[4];     // squares that must be empty for each castling
    u64 key;                // position key; bit 0 = side to move
    u64 pawn_key;           // XOR of the key entries of all pawns
    u32 material[2];        // packed piece counts per colour
    u8 castle_rook[4];      // rook origin of each castling, 64 = none
    u8 king_sq[2];
    u8 side;
    u8 ep_square;           // 64 = none
    u8 castling;            // rights: 1 WK, 2 WQ, 4 BK, 8 BQ
    u8 rule50;
};

// Packed material increments by piece type: pawns bits 0-3, knights 4-7, bishops 8-11,
// rooks 12-15, queens 16-19; kings count nothing.
constexpr u32 MATERIAL_INCREMENT[8] = {0, 1, 16, 256, 4096, 65536, 0, 0};
inline int material_count(u32 material, int type) { return int((material >> (4 * (type - 1))) & 15); }

inline u64 occupancy(const Position& p) { return p.pieces[0] | p.pieces[8]; }
inline u64 pieces_of(const Position& p, int colour, int type) { return p.pieces[make_piece(colour, type)]; }

// Recomputes key and pawn_key from the placement, side, en-passant square and rights.
void compute_keys(Position& pos);

// Empties a history for a position just set up: no moves made, search ply 1.
void clear_history(MoveHistory& history);
// Makes `candidate` the position `pos`, recording into `history`, which starts empty.
void install_position(Position& pos, const Position& candidate, MoveHistory& history);
