// PGN reading: the input is a PGN file. It is split into games by the file reader, each game
// parsed into its record and replayed as labelled positions; the tokenizer is also run over
// the whole text with a small token buffer.
#include "tools/pgn.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "tools/pgn_file.h"

namespace {

constexpr int MAX_GAMES = 16;
constexpr int SMALL_TOKEN = 8;

void check(bool ok) {
    if (!ok) abort();
}

void tokenize(const char* text) {
    const char* cursor = text;
    char token[SMALL_TOKEN];
    for (;;) {
        const char* before = cursor;
        const int n = pgn_next_token(&cursor, token, sizeof token);
        if (n < 0) break;
        // Every token moves the cursor forward and fits its buffer.
        check(cursor > before && strlen(token) < sizeof token);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_start_engine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_start_engine();
    static FILE* sink = fopen("/dev/null", "w");
    const std::string text = fuzz_text(data, size);
    tokenize(text.c_str());

    const std::string path = fuzz_scratch_dir() + "fuzz.pgn";
    if (!fuzz_write_file(path, data, size)) return 0;
    PgnFileReader reader;
    if (pgn_reader_open(reader, path.c_str()) != 0) return 0;
    static PgnGame game;
    static MoveHistory history;
    Position pos;
    pos.owner = &history;
    for (int g = 0; g < MAX_GAMES; g++) {
        const char* game_text = pgn_reader_next(reader);
        if (!game_text) break;
        parse_pgn_game(game, game_text);
        check(game.move_count <= PGN_MAX_MOVES);
        history.count = 0;
        write_game_positions(game, pos, sink, g & 1);
    }
    pgn_reader_close(reader);
    return 0;
}
