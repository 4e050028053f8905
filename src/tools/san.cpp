#include "tools/san.h"

#include <cstring>

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"

namespace {

const char PIECE_LETTERS[] = " PNBRQK";

struct LegalMoves {
    MoveEntry list[MAX_MOVES];
    int count = 0;
};

void collect_legal(Position& pos, LegalMoves& out) {
    MoveEntry all[MAX_MOVES];
    const int n = gen_all_moves(pos, all);
    out.count = 0;
    for (int i = 0; i < n; i++)
        if (is_legal(pos, pos.side, all[i].move)) out.list[out.count++] = all[i];
}

bool is_castling_move(const Position& pos, Move m) {
    return move_has_flag(m) && piece_type(pos.board[move_from(m)]) == KING;
}

bool is_promotion(const Position& pos, Move m) {
    return piece_type(pos.board[move_from(m)]) == PAWN && is_last_rank(move_to(m));
}

int type_of_letter(char c) {
    const char* p = strchr("NBRQK", c);
    return p && c ? int(p - "NBRQK") + KNIGHT : 0;
}

// Whether the side to move has a legal move at all.
bool has_legal_move(Position& pos) { return first_legal_move(pos) != MOVE_NONE; }

}  // namespace

int read_san(Position& pos, const char* text, Move* out) {
    *out = MOVE_NONE;
    if (!text) return 0;
    // Copy without check, mate and annotation marks.
    char s[SAN_TEXT * 2];
    int n = 0;
    for (const char* p = text; *p && n < int(sizeof s) - 1; p++) {
        if (strchr("+#!?", *p)) continue;
        s[n++] = *p;
    }
    s[n] = 0;
    if (n == 0) return 0;

    LegalMoves legal;
    collect_legal(pos, legal);

    // Castling, with letters or zeros.
    const bool long_castle = !strcmp(s, "O-O-O") || !strcmp(s, "0-0-0") || !strcmp(s, "o-o-o");
    const bool short_castle = !strcmp(s, "O-O") || !strcmp(s, "0-0") || !strcmp(s, "o-o");
    if (long_castle || short_castle) {
        const Move side_flag = short_castle ? FLAG_KING_SIDE : FLAG_QUEEN_SIDE;
        for (int i = 0; i < legal.count; i++) {
            const Move m = legal.list[i].move;
            if (is_castling_move(pos, m) && (m & side_flag)) {
                *out = m;
                return 1;
            }
        }
        return 0;
    }

    // [piece][from file][from rank][x][to square][=promotion]
    int i = 0;
    int type = PAWN;
    if (type_of_letter(s[0])) type = type_of_letter(s[i++]);
    int promo = 0;
    // Promotion suffix: "=Q" or a trailing piece letter after the destination.
    if (n - i >= 3) {
        const char last = s[n - 1];
        if (type_of_letter(last) && type_of_letter(last) != KING && s[n - 2] != 'x') {
            promo = type_of_letter(last);
            n -= (s[n - 2] == '=') ? 2 : 1;
            s[n] = 0;
        }
    }
    if (n - i < 2) return 0;
    const char to_file = s[n - 2], to_rank = s[n - 1];
    if (to_file < 'a' || to_file > 'h' || to_rank < '1' || to_rank > '8') return 0;
    const int to = make_square(to_file - 'a', to_rank - '1');
    int from_file = -1, from_rank = -1;
    for (int k = i; k < n - 2; k++) {
        const char c = s[k];
        if (c >= 'a' && c <= 'h' && from_file < 0) from_file = c - 'a';
        else if (c >= '1' && c <= '8' && from_rank < 0) from_rank = c - '1';
        else if (c != 'x' && c != ':' && c != '-') return 0;
    }

    int matches = 0;
    Move found = MOVE_NONE;
    for (int k = 0; k < legal.count; k++) {
        const Move m = legal.list[k].move;
        const int from = move_from(m);
        if (piece_type(pos.board[from]) != type || is_castling_move(pos, m)) continue;
        if (move_to(m) != to) continue;
        if (from_file >= 0 && square_file(from) != from_file) continue;
        if (from_rank >= 0 && square_rank(from) != from_rank) continue;
        if (is_promotion(pos, m)) {
            if (promotion_type(m) != (promo ? promo : QUEEN)) continue;
        } else if (promo) {
            continue;
        }
        matches++;
        found = m;
    }
    if (matches != 1) return 0;
    *out = found;
    return 1;
}

void write_san(Position& pos, Move move, char* out) {
    out[0] = 0;
    if (move == MOVE_NONE) return;
    const int from = move_from(move), to = move_to(move);
    const int type = piece_type(pos.board[from]);
    char* o = out;
    if (is_castling_move(pos, move)) {
        strcpy(o, (move & FLAG_KING_SIDE) ? "O-O" : "O-O-O");
        o += strlen(o);
    } else {
        const bool capture = pos.board[to] != 0 || (type == PAWN && to == pos.ep_square);
        if (type == PAWN) {
            if (capture) {
                *o++ = char('a' + square_file(from));
                *o++ = 'x';
            }
        } else {
            *o++ = PIECE_LETTERS[type];
            // Disambiguate among the other legal moves of the same piece type to the same square.
            LegalMoves legal;
            collect_legal(pos, legal);
            bool others = false, same_file = false, same_rank = false;
            for (int k = 0; k < legal.count; k++) {
                const int f = move_from(legal.list[k].move);
                if (f == from || move_to(legal.list[k].move) != to) continue;
                if (piece_type(pos.board[f]) != type || is_castling_move(pos, legal.list[k].move)) continue;
                others = true;
                same_file |= square_file(f) == square_file(from);
                same_rank |= square_rank(f) == square_rank(from);
            }
            if (others && (!same_file || same_rank)) *o++ = char('a' + square_file(from));
            if (others && same_file) *o++ = char('1' + square_rank(from));
            if (capture) *o++ = 'x';
        }
        *o++ = SquareNames[to][0];
        *o++ = SquareNames[to][1];
        if (is_promotion(pos, move)) {
            *o++ = '=';
            *o++ = PIECE_LETTERS[promotion_type(move)];
        }
    }
    make_move(pos, move);
    const bool check = is_attacked(pos, pos.king_sq[pos.side], pos.side ^ 1);
    const bool mate = check && !has_legal_move(pos);
    unmake_move(pos);
    if (check) *o++ = mate ? '#' : '+';
    *o = 0;
}
