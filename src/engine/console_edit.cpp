// The board editor: a mode of the console. While it is active the input reader hands it every
// line, so that lines already read from a pipe keep their order.
#include <cctype>
#include <cstring>

#include "board/notation.h"
#include "core/output.h"
#include "core/settings.h"
#include "engine/console_internal.h"

namespace {

constexpr int EDIT_LINE = 78;  // longer editor lines are cut

struct Editor {
    bool active;
    u8 board[64];
    int side;
};
Editor editor;

// Castling rights of a placement: where king and rook stand on their starting squares.
void placement_castling(const u8* b, char* out) {
    int n = 0;
    const int wk = make_piece(WHITE, KING), wr = make_piece(WHITE, ROOK);
    const int bk = make_piece(BLACK, KING), br = make_piece(BLACK, ROOK);
    if (b[4] == wk && b[7] == wr) out[n++] = 'K';
    if (b[4] == wk && b[0] == wr) out[n++] = 'Q';
    if (b[60] == bk && b[63] == br) out[n++] = 'k';
    if (b[60] == bk && b[56] == br) out[n++] = 'q';
    out[n] = 0;
}

int piece_type_of_letter(char c) {
    const char* p = strchr("PNBRQK", toupper(static_cast<unsigned char>(c)));
    return p && *p ? int(p - "PNBRQK") + PAWN : 0;
}

// "w Pa2 Kc2": the colour moves next and its listed pieces are placed.
void place_pieces(const char* line) {
    const int colour = line[0] == 'w' ? WHITE : BLACK;
    editor.side = colour;
    const char* p = line + 1;
    for (;;) {
        while (*p == ' ') p++;
        if (!*p) return;
        const char* word = p;
        while (*p && *p != ' ') p++;
        const int type = piece_type_of_letter(word[0]);
        const int file = word[1] - 'a', rank = p - word >= 3 ? word[2] - '1' : -1;
        if (file < 0 || file > 7 || rank < 0 || rank > 7) return;
        if (type) editor.board[rank * 8 + file] = u8(make_piece(colour, type));
    }
}

void finish_editing() {
    editor.active = false;
    char castling[8], fen[128];
    placement_castling(editor.board, castling);
    placement_to_fen(editor.board, editor.side, castling, fen);
    // A board the engine cannot work with is refused; the previous position stays.
    console_set_position(fen);
    print_board(console_position());
}

}  // namespace

bool edit_active() { return editor.active; }

void edit_begin() {
    const Position& pos = console_position();
    memcpy(editor.board, pos.board, sizeof editor.board);
    editor.side = pos.side;
    editor.active = true;
    print_line("\n");
    print_line(".                    end edit");
    print_line("#                    clear board");
    print_line("w  Pa2 Pb2 Kc2       white, pieces");
    print_line("b  Pa7 Pb7 Kc7       black, pieces");
}

void edit_line(const char* raw) {
    char line[EDIT_LINE + 1];
    set_field(line, raw);
    if (!line[0]) return;
    if (line[0] == '.') {
        finish_editing();
    } else if (line[0] == '#') {
        memset(editor.board, 0, sizeof editor.board);
    } else if (line[0] == 'w' || line[0] == 'b') {
        place_pieces(line);
    }
}
