// FEN reading and writing, castling set-up and EPD splitting.
#include "board/fen.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/bitboard.h"
#include "board/tables.h"

namespace {

const char PIECE_LETTERS[] = " PNBRQK  pnbrqk";

void place_piece(Position& pos, int sq, int code) {
    pos.board[sq] = u8(code);
    pos.pieces[code] |= square_bit(sq);
    pos.pieces[piece_colour(code) * 8] |= square_bit(sq);
    pos.material[piece_colour(code)] += MATERIAL_INCREMENT[piece_type(code)];
    if (piece_type(code) == KING) pos.king_sq[piece_colour(code)] = u8(sq);
}

int piece_code_of(char c) {
    const char* p = strchr("PNBRQK", c);
    if (p && c) return int(p - "PNBRQK") + 1;
    p = strchr("pnbrqk", c);
    if (p && c) return int(p - "pnbrqk") + 9;
    return 0;
}

const char* skip_spaces(const char* s) {
    while (*s == ' ') s++;
    return s;
}

// Records castling c (0 WK, 1 WQ, 2 BK, 3 BQ) with the given rook.
void add_castling(Position& pos, int c, int king, int rook) {
    bool king_side = (c & 1) == 0;
    int king_dest = castle_king_dest(king, king_side);
    int rook_dest = castle_rook_dest(king, king_side);
    pos.castle_rook[c] = u8(rook);
    pos.castle_span[c] = square_bit(king) | square_bit(rook);
    pos.castling |= u8(1 << c);
    u64 path = Between[king][king_dest] | Between[rook][rook_dest] | square_bit(king_dest) | square_bit(rook_dest);
    pos.castle_path[c] = path & ~(square_bit(king) | square_bit(rook));
}

// K/Q/k/q when the castling rook is the outermost rook on its side of the king (how they are
// read back), otherwise the rook's file letter.
char castling_letter(const Position& pos, int c) {
    const int colour = c >> 1;
    const int king = pos.king_sq[colour];
    const int rook = pos.castle_rook[c];
    if (king < 64 && rook < 64) {
        const u64 rooks = pos.pieces[make_piece(colour, ROOK)] & (RANK_1 << (king & 56));
        const u64 side_rooks = rooks & Ray[(c & 1) ? DIR_W : DIR_E][king];
        const int outermost = side_rooks ? ((c & 1) ? lsb(side_rooks) : msb(side_rooks)) : NO_SQUARE;
        if (outermost != rook) return char((colour == WHITE ? 'A' : 'a') + square_file(rook));
    }
    return "KQkq"[c];
}

}  // namespace

void set_castling(Position& pos, const char* field) {
    for (int c = 0; c < 4; c++) {
        pos.castle_span[c] = 0;
        pos.castle_path[c] = 0;
        pos.castle_rook[c] = NO_SQUARE;
    }
    pos.castling = 0;
    for (const char* p = field; *p && *p != ' '; p++) {
        char ch = *p;
        int colour;
        if (ch == 'K' || ch == 'Q' || (ch >= 'A' && ch <= 'H'))
            colour = WHITE;
        else if (ch == 'k' || ch == 'q' || (ch >= 'a' && ch <= 'h'))
            colour = BLACK;
        else
            continue;
        int king = pos.king_sq[colour];
        int home_rank = colour == WHITE ? 0 : 7;
        if (king >= 64 || square_rank(king) != home_rank) continue;
        u64 rooks = pos.pieces[make_piece(colour, ROOK)] & (RANK_1 << (8 * home_rank));
        u64 east = rooks & Ray[DIR_E][king];
        u64 west = rooks & Ray[DIR_W][king];
        bool king_side;
        int rook = NO_SQUARE;
        if (ch == 'K' || ch == 'k') {
            // The outermost rook on that side.
            king_side = true;
            if (east) rook = msb(east);
        } else if (ch == 'Q' || ch == 'q') {
            king_side = false;
            if (west) rook = lsb(west);
        } else {
            // A file letter names the rook on that file; without one there, the side's only rook.
            int file = (colour == WHITE ? ch - 'A' : ch - 'a');
            king_side = file > square_file(king);
            int named = make_square(file, home_rank);
            u64 side_rooks = king_side ? east : west;
            if (rooks & square_bit(named))
                rook = named;
            else if (popcount(side_rooks) == 1)
                rook = lsb(side_rooks);
        }
        if (rook == NO_SQUARE) continue;
        add_castling(pos, colour * 2 + (king_side ? 0 : 1), king, rook);
    }
}

int set_fen(Position& pos, const char* text) {
    memset(pos.board, 0, sizeof pos.board);
    memset(pos.pieces, 0, sizeof pos.pieces);
    pos.touched = 0;
    pos.material[0] = pos.material[1] = 0;
    pos.rule50 = 0;
    pos.king_sq[0] = pos.king_sq[1] = NO_SQUARE;
    pos.ep_square = NO_SQUARE;
    pos.castling = 0;
    if (!text) text = "";

    const char* s = skip_spaces(text);
    int file = 0, rank = 7;
    for (; *s && *s != ' '; s++) {
        char c = *s;
        int code = piece_code_of(c);
        if (code) {
            if (file < 8 && rank >= 0) place_piece(pos, make_square(file, rank), code);
            file++;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
        } else if (c == '/') {
            rank--;
            file = 0;
        }
    }

    s = skip_spaces(s);
    if (*s == 'w') pos.side = WHITE;
    else if (*s == 'b') pos.side = BLACK;
    if (pos.side > 1) pos.side = WHITE;
    while (*s && *s != ' ') s++;

    s = skip_spaces(s);
    char castling[9];
    int n = 0;
    while (*s && *s != ' ' && n < 8) castling[n++] = *s++;
    castling[n] = 0;
    while (*s && *s != ' ') s++;
    set_castling(pos, castling);

    s = skip_spaces(s);
    int ep_file = -1;
    for (; *s && *s != ' '; s++) {
        if (*s >= 'a' && *s <= 'h')
            ep_file = *s - 'a';
        else if (*s >= '1' && *s <= '8' && ep_file >= 0)
            pos.ep_square = u8(make_square(ep_file, *s - '1'));
    }

    s = skip_spaces(s);
    if (*s >= '0' && *s <= '9') {
        long v = strtol(s, nullptr, 10);
        pos.rule50 = u8(v > 255 ? 255 : v);
    }

    compute_keys(pos);
    if (pos.owner) clear_history(*pos.owner);
    return 0;
}

void get_fen(const Position& pos, char* out, int with_counters) {
    char* o = out;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            int code = pos.board[make_square(file, rank)];
            if (!code) {
                empty++;
                continue;
            }
            if (empty) *o++ = char('0' + empty);
            empty = 0;
            *o++ = PIECE_LETTERS[code];
        }
        if (empty) *o++ = char('0' + empty);
        if (rank) *o++ = '/';
    }
    *o++ = ' ';
    *o++ = pos.side == BLACK ? 'b' : 'w';
    *o++ = ' ';
    if (!(pos.castling & 15)) *o++ = '-';
    for (int c = 0; c < 4; c++)
        if (pos.castling & (1 << c)) *o++ = castling_letter(pos, c);
    *o++ = ' ';
    const char* ep = pos.ep_square < 64 ? SquareNames[pos.ep_square] : "-";
    while (*ep) *o++ = *ep++;
    *o = 0;
    if (with_counters) snprintf(o, 24, " %d %d", pos.rule50, pos.owner ? pos.owner->count : 0);
}

void split_epd(const char* line, EpdFields& out) {
    char* fields[] = {out.fen, out.bm, out.am, out.ce, out.sc, out.gr, out.id, out.c0};
    for (char* f : fields) f[0] = 0;
    if (!line) return;
    auto at_end = [](char c) { return c == 0 || c == '\n' || c == '\r'; };

    // The FEN part: everything before the fourth space.
    const char* s = line;
    int spaces = 0, n = 0;
    for (; !at_end(*s); s++) {
        if (*s == ' ' && ++spaces == 4) break;
        if (n < EPD_FIELD - 1) out.fen[n++] = *s;
    }
    out.fen[n] = 0;
    if (at_end(*s)) return;

    // Counters of a six-field FEN.
    while ((*s >= '0' && *s <= '9') || *s == ' ') s++;

    static const char* const OPCODES[] = {"bm", "am", "ce", "sc", "gr", "id", "c0"};
    while (!at_end(*s)) {
        while (*s == ' ') s++;
        if (at_end(*s)) return;
        char opcode[16];
        int k = 0;
        while (!at_end(*s) && *s != ' ' && *s != ';') {
            if (k < 15) opcode[k++] = *s;
            s++;
        }
        opcode[k] = 0;
        char operand[EPD_FIELD];
        int m = 0;
        while (!at_end(*s) && *s != ';') {
            if (*s != ' ' && m < EPD_FIELD - 1) operand[m++] = *s;
            s++;
        }
        if (*s != ';') return;  // an operation without its terminator ends the line
        s++;
        operand[m] = 0;
        for (int i = 0; i < 7; i++)
            if (!strcmp(opcode, OPCODES[i])) strcpy(fields[i + 1], operand);
    }
}
