// Move notation: coordinate text, the program's algebraic notation, move parsing and the
// board diagram.
#include "board/notation.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/fen.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "core/output.h"
#include "core/settings.h"

namespace {

const char NOTATION_LETTERS[] = " PNBRQK";
const char* const PROMO_SUFFIX_UPPER[8] = {"", "", "=N", "=B", "=R", "=Q", "", ""};
const char* const PROMO_SUFFIX_UCI[8] = {"", "", "n", "b", "r", "q", "", ""};

bool is_castling(const Position& pos, Move move) {
    return move_has_flag(move) && piece_type(pos.board[move_from(move)]) == KING;
}

void append(char* dst, const char* src) { strcat(dst, src); }

void cut_at_plus(char* s) {
    char* p = strchr(s, '+');
    if (p) *p = 0;
}

}  // namespace

void move_to_uci(const Position& pos, int side, Move move, char* out) {
    const int from = move_from(move), to = move_to(move);
    strcpy(out, SquareNames[from]);
    if (move_has_flag(move) && (square_rank(from) == 0 || square_rank(from) == 7)) {
        int dest = to;
        if (settings.chess960) dest = pos.castle_rook[castling_index(side, move)];
        append(out, SquareNames[dest]);
        return;
    }
    append(out, SquareNames[to]);
    if (move_has_flag(move)) {
        const int type = promotion_type(move);
        append(out, settings.uci_mode == 1 ? PROMO_SUFFIX_UCI[type] : PROMO_SUFFIX_UPPER[type]);
    }
}

void move_to_text(const Position& pos, int side, Move move, char* out) {
    if (move == MOVE_NONE) strcpy(out, "null");
    else
        move_to_uci(pos, side, move, out);
}

void move_texts(Position& pos, Move move, char* coord, char* san, char* san_file, char* san_rank) {
    const int side = pos.side;
    move_to_text(pos, side, move, coord);
    san[0] = san_file[0] = san_rank[0] = 0;
    if (move == MOVE_NONE) return;
    const int from = move_from(move), to = move_to(move);
    const int piece = pos.board[from];
    const int type = piece_type(piece);

    if (type == PAWN) {
        const char* suffix = "";
        if (move_has_flag(move)) {
            coord[4] = 0;
            suffix = PROMO_SUFFIX_UPPER[promotion_type(move)];
        }
        if (pos.board[to] || to == pos.ep_square) {
            strcpy(san, coord);
            san[4] = 0;
            san[1] = 'x';
            san_file[0] = char('a' + square_file(from));
            san_file[1] = char('a' + square_file(to));
            san_file[2] = 0;
        } else {
            strcpy(san, SquareNames[to]);
        }
        append(coord, suffix);
        append(san, suffix);
        if (san_file[0]) append(san_file, suffix);
    } else if (is_castling(pos, move)) {
        const bool king_side = (move & FLAG_KING_SIDE) != 0;
        const int king_dest = castle_king_dest(from, king_side);
        const int rook = pos.castle_rook[castling_index(side, move)];
        strcpy(san_rank, SquareNames[from]);
        append(san_rank, SquareNames[settings.chess960 ? king_dest : rook]);
        strcpy(san, king_side ? "o-o" : "o-o-o");
        strcpy(san_file, king_side ? "O-O" : "O-O-O");
    } else {
        const char letter[2] = {NOTATION_LETTERS[type], 0};
        const u64 occ = occupancy(pos) | square_bit(to);
        u64 reach = 0;
        if (type == KNIGHT) reach = KnightAttacks[to];
        if (type == BISHOP || type == QUEEN) reach |= bishop_attacks(to, occ);
        if (type == ROOK || type == QUEEN) reach |= rook_attacks(to, occ);
        const u64 others = reach & pos.pieces[piece] & ~square_bit(from);
        const char file_text[2] = {char('a' + square_file(from)), 0};
        const char rank_text[2] = {char('1' + square_rank(from)), 0};
        strcpy(san_file, letter);
        append(san_file, file_text);
        strcpy(san_rank, letter);
        append(san_rank, rank_text);
        if (others & (FILE_A << square_file(from))) strcpy(san, san_rank);
        else if (others & (RANK_1 << (8 * square_rank(from))))
            strcpy(san, san_file);
        else
            strcpy(san, letter);
        const char* capture = pos.board[to] ? "x" : "";
        for (char* t : {san, san_file, san_rank}) {
            append(t, capture);
            append(t, SquareNames[to]);
        }
    }
    if (gives_check(pos, pos.side, move)) {
        for (char* t : {coord, san, san_file, san_rank}) append(t, "+");
    }
}

int parse_move(Position& pos, char* text, Move* out_move) {
    *out_move = MOVE_NONE;
    if (!text) return 0;
    char input[MOVE_TEXT * 2 + 2];
    int len = 0;
    while (text[len] && text[len] != '+' && len < MOVE_TEXT * 2) {
        input[len] = text[len];
        len++;
    }
    input[len] = 0;
    if (len == 0) return 0;

    // A trailing piece letter is a promotion suffix ("e7e8q" becomes "e7e8=Q"), except in a
    // two-letter pawn capture onto the b-file ("ab", "cb").
    const char last = char(toupper(static_cast<unsigned char>(input[len - 1])));
    const bool file_capture = len == 2 && input[1] == 'b' && input[0] >= 'a' && input[0] <= 'h';
    if (!file_capture && (last == 'B' || last == 'N' || last == 'Q' || last == 'R') && len >= 2) {
        if (input[len - 2] != '=') {
            input[len - 1] = '=';
            input[len++] = last;
            input[len] = 0;
        } else {
            input[len - 1] = last;
        }
    }
    for (char* p = input; *p; p++)
        if (*p == 'O' || *p == '0') *p = 'o';

    MoveEntry list[MAX_MOVES];
    const int n = gen_all_moves(pos, list);
    int matches = 0;
    Move found = MOVE_NONE;
    for (int i = 0; i < n; i++) {
        const Move m = list[i].move;
        char coord[MOVE_TEXT], san[MOVE_TEXT], san_file[MOVE_TEXT], san_rank[MOVE_TEXT];
        move_texts(pos, m, coord, san, san_file, san_rank);
        bool same = false;
        for (char* t : {coord, san, san_file, san_rank}) {
            cut_at_plus(t);
            if (t[0] && !strcmp(t, input)) same = true;
        }
        if (same && is_legal(pos, pos.side, m)) {
            matches++;
            found = m;
        }
    }
    if (matches == 1) {
        *out_move = found;
        return 1;
    }
    if (matches >= 2) print_line("ambiguous move");
    return 0;
}

Move parse_uci_move(Position& pos, const char* text) {
    if (!text) return MOVE_NONE;
    auto square_at = [](const char* s) {
        if (s[0] < 'a' || s[0] > 'h' || s[1] < '1' || s[1] > '8') return -1;
        return make_square(s[0] - 'a', s[1] - '1');
    };
    if (strlen(text) < 4) return MOVE_NONE;
    const int from = square_at(text), to = square_at(text + 2);
    if (from < 0 || to < 0) return MOVE_NONE;
    const char* rest = text + 4;
    if (*rest == '=') rest++;
    int promo = 0;
    if (*rest && *rest != ' ' && *rest != '\n' && *rest != '\r') {
        const char* p = strchr("nbrq", tolower(static_cast<unsigned char>(*rest)));
        if (!p || !*p) return MOVE_NONE;
        promo = int(p - "nbrq") + KNIGHT;
        rest++;
        if (*rest && *rest != ' ' && *rest != '\n' && *rest != '\r') return MOVE_NONE;
    }

    MoveEntry list[MAX_MOVES];
    const int n = gen_all_moves(pos, list);
    const int side = pos.side;
    // Castling may be written king-to-destination or king-takes-rook; when one text could mean
    // two castlings (Chess960), the form of the current mode decides.
    Move by_rook = MOVE_NONE, by_dest = MOVE_NONE;
    for (int i = 0; i < n; i++) {
        const Move m = list[i].move;
        if (move_from(m) != from || !is_legal(pos, side, m)) continue;
        if (is_castling(pos, m)) {
            if (promo) continue;
            if (to == pos.castle_rook[castling_index(side, m)]) by_rook = m;
            if (to == move_to(m)) by_dest = m;
            continue;
        }
        if (move_to(m) != to) continue;
        if (piece_type(pos.board[from]) == PAWN && move_has_flag(m)) {
            if (promotion_type(m) == (promo ? promo : QUEEN)) return m;
        } else if (!promo) {
            return m;
        }
    }
    if (by_rook && by_dest) return settings.chess960 ? by_rook : by_dest;
    return by_rook ? by_rook : by_dest;
}

void format_board(const Position& pos, char* out) {
    static const char BOARD_LETTERS[] = " PNBRQK  onbrqk";
    get_fen(pos, out, 1);
    char* o = out + strlen(out);
    *o++ = '\n';
    for (int rank = 7; rank >= 0; rank--) {
        *o++ = ' ';
        for (int file = 0; file < 8; file++) {
            const int code = pos.board[make_square(file, rank)];
            *o++ = ' ';
            *o++ = code ? BOARD_LETTERS[code] : ((rank & 1) == (file & 1) ? '+' : '-');
        }
        *o++ = '\n';
    }
    strcpy(o, pos.side == BLACK ? "black\n" : "white\n");
}

void print_board(const Position& pos) {
    char text[512];
    format_board(pos, text);
    print_block(text);
}
