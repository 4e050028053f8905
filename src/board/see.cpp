// Static exchange evaluation over occupancy bitboards: nothing is made on the board; each
// capture removes the capturer from the occupancy, which also uncovers x-ray attackers.
#include "board/see.h"

#include "board/attacks.h"
#include "board/bitboard.h"

const int SeeValue[8] = {0, 100, 350, 350, 550, 1060, 10000, 0};
const int OrdinalValue[8] = {0, 1, 3, 3, 5, 10, 99, 0};

int see_gain(const Position& pos, int side, int square, int victim_type, u64 occupied) {
    const int attacker = least_attacker(pos, square, side, occupied);
    if (attacker == NO_SQUARE) return 0;
    // Whoever can capture a king wins the exchange outright, so a king never captures into a
    // defended square.
    if (victim_type == KING) return 9999;
    const int gain = SeeValue[victim_type] -
                     see_gain(pos, side ^ 1, square, piece_type(pos.board[attacker]), occupied & ~square_bit(attacker));
    return gain > 0 ? gain : 0;
}

int see_move(const Position& pos, int side, int from, int to) {
    if (from == NO_SQUARE) return see_gain(pos, side, to, piece_type(pos.board[to]), occupancy(pos));
    const u64 occ = occupancy(pos) & ~square_bit(from);
    return SeeValue[piece_type(pos.board[to])] - see_gain(pos, side ^ 1, to, piece_type(pos.board[from]), occ);
}

bool capture_ok(const Position& pos, Move move) {
    const int from = move_from(move), to = move_to(move);
    const int mover = piece_type(pos.board[from]);
    if (OrdinalValue[mover] <= OrdinalValue[piece_type(pos.board[to])]) return true;
    if (mover == PAWN && to == pos.ep_square) return true;
    return see_move(pos, pos.side, from, to) >= -70;
}
