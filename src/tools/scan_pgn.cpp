// The -scan_pgn tool: every game of a PGN file becomes EPD lines of its positions, labelled
// with the engine score of the move played and the game's result.
#include <cstdlib>

#include "core/output.h"
#include "core/settings.h"
#include "tools/pgn.h"
#include "tools/pgn_file.h"
#include "tools/tool_io.h"
#include "tools/tools.h"

int scan_pgn_file(const char* pgn_path, const char* epd_path, Position& pos, u32* games_out, u64* lines_out) {
    PgnFileReader reader;
    if (pgn_reader_open(reader, pgn_path) != 0) return 1;
    FILE* out = open_tool_output(epd_path, "w", pgn_path);
    auto* game = static_cast<PgnGame*>(calloc(1, sizeof(PgnGame)));
    if (!out || !game) {
        if (out) fclose(out);
        free(game);
        pgn_reader_close(reader);
        return 1;
    }
    u64 lines = 0;
    while (const char* text = pgn_reader_next(reader)) {
        parse_pgn_game(*game, text);
        lines += u64(write_game_positions(*game, pos, out, settings.scan_quiet_only != 0));
    }
    fputc('\n', out);
    const bool failed = ferror(out) != 0;
    const u64 long_lines = reader.long_lines;
    pgn_reader_close(reader);
    const u32 games = game->games_read;
    free(game);
    if (fclose(out) != 0 || failed) {
        tool_message("error writing %s", epd_path);
        return 1;
    }
    if (long_lines) tool_message("%llu over-long lines were skipped", (unsigned long long)long_lines);
    print_line("read %d games\n", int(games));
    if (games_out) *games_out = games;
    if (lines_out) *lines_out = lines;
    return 0;
}

int scan_pgn() {
    const Settings& s = settings;
    if (!has_extension(s.pgn_file, ".pgn")) {
        tool_message("-scan_pgn needs a file name containing .pgn");
        return 1;
    }
    if (!has_extension(s.out_file, ".epd")) {
        tool_message("-scan_pgn needs an output file name containing .epd (-o)");
        return 1;
    }
    return scan_pgn_file(s.pgn_file, s.out_file, tool_position(), nullptr, nullptr);
}
