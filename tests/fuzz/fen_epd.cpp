// FEN and EPD reading: every line of the input is split as an EPD line and its position read
// with the lenient FEN reader. Positions that pass validation must survive a FEN round trip
// with the same key, make and unmake of every legal move, and the SAN reader on the bm/am
// operands.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "board/fen.h"
#include "board/makemove.h"
#include "board/perft.h"
#include "board/validate.h"
#include "core/settings.h"
#include "fuzz_support.h"
#include "tools/san.h"

namespace {

constexpr int MAX_LINES = 32;
constexpr int FEN_TEXT = 128;

void check(bool ok) {
    if (!ok) abort();
}

// Reads each word of a SAN operand list; a move it accepts must be legal here.
void read_operand_moves(Position& pos, const char* operand) {
    char copy[EPD_FIELD];
    copy_field(copy, sizeof copy, operand);
    char* save = nullptr;
    for (char* word = strtok_r(copy, " ", &save); word; word = strtok_r(nullptr, " ", &save)) {
        Move m = 0;
        if (read_san(pos, word, &m) == 1) {
            Move legal[MAX_MOVES];
            const int n = fuzz_legal_moves(pos, legal, MAX_MOVES);
            bool found = false;
            for (int i = 0; i < n; i++) found |= legal[i] == m;
            check(found);
        }
    }
}

void exercise_position(const char* fen_text, const EpdFields& fields) {
    static MoveHistory history;
    Position pos;
    pos.owner = &history;
    set_fen(pos, fen_text);
    sanitize_ep_square(pos);
    char why[128];
    if (validate_position(pos, why) != 0) return;

    // The FEN written for a valid position reads back as the same position.
    char written[FEN_TEXT];
    get_fen(pos, written, 0);
    static MoveHistory history2;
    Position again;
    again.owner = &history2;
    set_fen(again, written);
    check(again.key == pos.key && again.pawn_key == pos.pawn_key);
    check(memcmp(again.board, pos.board, sizeof pos.board) == 0);

    Move legal[MAX_MOVES];
    const int n = fuzz_legal_moves(pos, legal, MAX_MOVES);
    for (int i = 0; i < n; i++) {
        const u64 key = pos.key;
        make_move(pos, legal[i]);
        unmake_move(pos);
        check(pos.key == key);
        char san[SAN_TEXT];
        write_san(pos, legal[i], san);
        Move back = 0;
        check(read_san(pos, san, &back) == 1 && back == legal[i]);
    }
    perft(pos, 2);
    read_operand_moves(pos, fields.bm);
    read_operand_moves(pos, fields.am);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_start_engine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_start_engine();
    std::string text = fuzz_text(data, size);
    char* save = nullptr;
    int lines = 0;
    for (char* line = strtok_r(text.data(), "\n", &save); line && lines < MAX_LINES;
         line = strtok_r(nullptr, "\n", &save), lines++) {
        EpdFields fields;
        split_epd(line, fields);
        exercise_position(fields.fen, fields);
        // The whole line as a FEN: the reader is lenient and must cope with anything.
        exercise_position(line, fields);
    }
    return 0;
}
