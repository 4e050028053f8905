// Sanity checks for positions that enter from outside. A position that passes them keeps every
// routine of the board layer inside its arrays: kings present, move lists bounded, castling
// rights backed by their rooks, an en-passant square that a double push can have produced.
#include "board/validate.h"

#include <cstdio>

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/fen.h"

namespace {

// Whether an en-passant square is one a double push of the side not to move can have left.
bool ep_square_possible(const Position& pos) {
    const int ep = pos.ep_square;
    if (ep == NO_SQUARE) return true;
    if (ep > 64) return false;
    const int mover = pos.side ^ 1;  // the side that made the double push
    const int rank = square_rank(ep);
    if (rank != (mover == WHITE ? 2 : 5)) return false;
    const int push = mover == WHITE ? 8 : -8;
    return pos.board[ep] == 0 && pos.board[ep - push] == 0 && pos.board[ep + push] == make_piece(mover, PAWN);
}

}  // namespace

int validate_position(const Position& pos, char* why) {
    why[0] = 0;
    if (pos.side > 1) {
        snprintf(why, 80, "bad side to move");
        return 1;
    }
    for (int code = 0; code < 16; code++) {
        if ((code & 7) == 0 || (code & 7) == 7) continue;
        for (u64 b = pos.pieces[code]; b;) {
            if (pos.board[pop_lsb(b)] != code) {
                snprintf(why, 80, "board and piece sets disagree");
                return 1;
            }
        }
    }
    for (int sq = 0; sq < 64; sq++) {
        const int code = pos.board[sq];
        if (code && (piece_type(code) == 0 || piece_type(code) == 7 || !(pos.pieces[code] & square_bit(sq)))) {
            snprintf(why, 80, "board and piece sets disagree");
            return 1;
        }
    }
    if (pos.board[64] != 0 || pos.pieces[7] || pos.pieces[15]) {
        snprintf(why, 80, "board and piece sets disagree");
        return 1;
    }
    for (int colour = 0; colour < 2; colour++) {
        const char* name = colour == WHITE ? "white" : "black";
        u64 all = 0;
        for (int t = PAWN; t <= KING; t++) all |= pos.pieces[make_piece(colour, t)];
        if (all != pos.pieces[colour * 8]) {
            snprintf(why, 80, "board and piece sets disagree");
            return 1;
        }
        const u64 kings = pos.pieces[make_piece(colour, KING)];
        if (popcount(kings) != 1) {
            snprintf(why, 80, "%s has %d kings", name, popcount(kings));
            return 1;
        }
        if (pos.king_sq[colour] != lsb(kings)) {
            snprintf(why, 80, "%s king square is wrong", name);
            return 1;
        }
        if (popcount(all) > 16) {
            snprintf(why, 80, "%s has more than 16 pieces", name);
            return 1;
        }
        if (popcount(pos.pieces[make_piece(colour, PAWN)]) > 8) {
            snprintf(why, 80, "%s has more than 8 pawns", name);
            return 1;
        }
    }
    if ((pos.pieces[make_piece(WHITE, PAWN)] | pos.pieces[make_piece(BLACK, PAWN)]) & (RANK_1 | RANK_8)) {
        snprintf(why, 80, "pawn on the first or eighth rank");
        return 1;
    }
    for (int c = 0; c < 4; c++) {
        if (!(pos.castling & (1 << c))) continue;
        const int colour = c >> 1;
        const int rook = pos.castle_rook[c];
        if (rook >= 64 || pos.board[rook] != make_piece(colour, ROOK) ||
            !(pos.castle_span[c] & square_bit(pos.king_sq[colour])) ||
            square_rank(pos.king_sq[colour]) != square_rank(rook)) {
            snprintf(why, 80, "castling right without its king and rook");
            return 1;
        }
    }
    if (pos.castling > 15) {
        snprintf(why, 80, "bad castling rights");
        return 1;
    }
    if (!ep_square_possible(pos)) {
        snprintf(why, 80, "impossible en-passant square");
        return 1;
    }
    if (is_attacked(pos, pos.king_sq[pos.side ^ 1], pos.side)) {
        snprintf(why, 80, "the side not to move is in check");
        return 1;
    }
    return 0;
}

int sanitize_ep_square(Position& pos) {
    if (pos.ep_square == NO_SQUARE || (pos.side <= 1 && ep_square_possible(pos))) return 0;
    pos.ep_square = NO_SQUARE;
    compute_keys(pos);
    return 1;
}

int read_valid_fen(Position& candidate, const char* fen, char* why) {
    set_fen(candidate, fen);
    sanitize_ep_square(candidate);
    return validate_position(candidate, why);
}

int read_fen_candidate(Position& candidate, const char* fen, int side, char* why) {
    static MoveHistory scratch_history;
    candidate.owner = &scratch_history;
    candidate.side = side;
    return read_valid_fen(candidate, fen, why);
}
