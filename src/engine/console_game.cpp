// The console's game and position commands: setting positions up, walking the game back and
// forth, loading and saving games, the mirror image.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/validate.h"
#include "core/output.h"
#include "core/settings.h"
#include "engine/console_internal.h"
#include "engine/options.h"
#include "engine/thread_state.h"
#include "tools/pgn.h"
#include "tools/san.h"

namespace {

constexpr int EPD_LINE = 1024;
constexpr int PGN_LINE = 511;      // lines of a game file are read up to 510 characters
constexpr int GAME_TEXT = 15800;   // the collected text of one game stays below this
constexpr int MIN_GAME_TEXT = 20;  // shorter collections hold no game
constexpr int MIN_LOAD_TAG = 3;
constexpr int MIN_FEN_TAG = 11;  // a FEN tag shorter than this is taken as the start position
constexpr int SAVED_MOVES_PER_LINE = 11;
constexpr int SHORTEST_EPD_POSITION = 8;  // "get" sets the position only from longer lines

MoveHistory& game_history() { return main_thread->history; }

void reset_clocks() { search_control.clock[0] = search_control.clock[1] = settings.tc_time; }

// Takes every move of the game back; returns how many were taken back.
int rewind_game() {
    Position& pos = console_position();
    const int n = game_history().count;
    for (int i = 0; i < n; i++) unmake_move(pos);
    return n;
}

// Replays the stored moves from the current history slot while each is legal, up to `count`
// entries in use; returns the history count reached.
int replay_stored_moves(int count) {
    Position& pos = console_position();
    MoveHistory& h = game_history();
    while (h.count < count && h.count < GAME_HISTORY_LIMIT) {
        const Move m = h.entries[h.count].move;
        if (!m || !is_generated_legal_move(pos, m)) break;
        make_move(pos, m);
    }
    search_control.game_plies = h.count;
    return h.count;
}

// The first game in `file` whose header lines contain `tag`, collected into `text` as one
// line. Returns the collected length, or -1 when the file cannot be opened.
int collect_tagged_game(const char* file, const char* tag, char* text) {
    FILE* f = fopen(file, "r");
    if (!f) return -1;
    char line[PGN_LINE + 1];
    int length = 0;
    bool collecting = false, past_headers = false;
    text[0] = 0;
    while (fgets(line, sizeof line, f)) {
        char* end = strpbrk(line, "\r\n");
        if (end) *end = 0;
        const bool header = line[0] == '[';
        if (!collecting) {
            if (!header || !strstr(line, tag)) continue;
            collecting = true;
        } else if (header && past_headers) {
            break;
        }
        if (!header) past_headers = true;
        const int n = int(strlen(line));
        if (length + n + 1 >= GAME_TEXT) continue;
        memcpy(text + length, line, size_t(n));
        length += n;
        text[length++] = ' ';
        text[length] = 0;
    }
    fclose(f);
    return length;
}

// Sets up the game of a PGN record and replays its moves with the console's move parser.
void replay_pgn_game(PgnGame& game) {
    const char* fen = strlen(game.fen) >= size_t(MIN_FEN_TAG) ? game.fen : START_FEN;
    if (console_set_position(fen) != 0) return;
    Position& pos = console_position();
    for (int i = 0; i < game.move_count; i++) {
        Move m = 0;
        if (!parse_move(pos, game.moves[i], &m)) {
            char text[128];
            get_fen(pos, text, 0);
            print_line("can't parse move %d. %s in game #%d  %s", game_history().count / 2 + 1, game.moves[i],
                       int(game.games_read), text);
            break;
        }
        make_game_move(pos, m);
    }
    search_control.game_plies = game_history().count;
}

}  // namespace

void placement_to_fen(const u8 board[64], int side, const char* castling, char* out) {
    static const char LETTERS[] = " PNBRQK  pnbrqk ";
    int n = 0;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            const int piece = board[rank * 8 + file];
            if (!piece) {
                empty++;
                continue;
            }
            if (empty) out[n++] = char('0' + empty);
            empty = 0;
            out[n++] = LETTERS[piece & 15];
        }
        if (empty) out[n++] = char('0' + empty);
        if (rank) out[n++] = '/';
    }
    snprintf(out + n, 100 - size_t(n), " %c %s - 0 1", side == WHITE ? 'w' : 'b', castling[0] ? castling : "-");
}

int console_set_position(const char* fen) {
    ThreadState* ts = main_thread;
    Position candidate;
    char why[128];
    if (read_fen_candidate(candidate, fen, ts->pos.side, why) != 0) {
        print_line("invalid position (%s), keeping the previous one", why);
        return 1;
    }
    install_position(ts->pos, candidate, ts->history);
    search_control.game_plies = 0;
    return 0;
}

void console_clear_history() {
    clear_history(game_history());
    search_control.game_plies = 0;
}

void console_new(CommandWords&) {
    console_set_position(START_FEN);
    print_board(console_position());
    reset_clocks();
}

void console_fen(CommandWords& cmd) {
    console_set_position(cmd.rest);
    print_board(console_position());
}

void console_get(CommandWords& cmd) {
    FILE* f = fopen(CONSOLE_EPD_FILE, "r");
    if (!f) {
        print_line("can't open %s", CONSOLE_EPD_FILE);
        return;
    }
    char wanted[COMMAND_WORD_TEXT + 8];
    snprintf(wanted, sizeof wanted, "id \"%s\"", cmd.words[1]);
    char line[EPD_LINE];
    bool found = false;
    while (!found && fgets(line, sizeof line, f)) {
        if (line[0] == ';' || line[0] == ' ') continue;
        found = strstr(line, wanted) != nullptr;
    }
    fclose(f);
    if (!found) {
        print_line("no position with %s in %s", wanted, CONSOLE_EPD_FILE);
        return;
    }
    char* end = strpbrk(line, "\r\n");
    if (end) *end = 0;
    print_line("%s", line);
    if (strlen(line) > size_t(SHORTEST_EPD_POSITION)) {
        static EpdFields fields;
        split_epd(line, fields);
        console_set_position(fields.fen);
    }
    print_board(console_position());
    search_control.hashfull = 0;
    if (search_control.hash_in_use && option_hooks.clear_hash) option_hooks.clear_hash();
}

void console_undo(CommandWords&) {
    if (game_history().count <= 0) return;
    unmake_move(console_position());
    search_control.game_plies = game_history().count;
    console_display();
}

void console_forward(CommandWords&) {
    Position& pos = console_position();
    MoveHistory& h = game_history();
    const Move m = h.entries[h.count].move;
    if (!is_generated_legal_move(pos, m)) return;
    char san[SAN_TEXT];
    write_san(pos, m, san);
    print_line("%d%s move %s", h.count / 2 + 1, pos.side == WHITE ? "." : "...", san);
    make_move(pos, m);
    search_control.game_plies = h.count;
    console_display();
}

void console_jump(CommandWords& cmd) {
    rewind_game();
    replay_stored_moves(2 * atoi(cmd.words[1]) - 2);
    print_board(console_position());
}

void console_load(CommandWords& cmd) {
    const char* file = cmd.words[1];
    const char* tag = cmd.words[2];
    print_line("loading %s, tag %s\n", file, tag);
    if (!strstr(file, ".pgn") || strlen(tag) < size_t(MIN_LOAD_TAG)) {
        print_line("load needs a .pgn file and a tag of at least %d characters", MIN_LOAD_TAG);
    } else {
        static char text[GAME_TEXT];
        const int length = collect_tagged_game(file, tag, text);
        if (length < 0) {
            print_line("can't open %s", file);
        } else if (length <= MIN_GAME_TEXT) {
            print_line("no game with %s in %s", tag, file);
        } else {
            static PgnGame game;
            parse_pgn_game(game, text);
            replay_pgn_game(game);
            print_line("read %d games\n", int(game.games_read));
        }
    }
    game_history().entries[game_history().count].move = 0;
    print_board(console_position());
    reset_clocks();
}

void console_save(CommandWords&) {
    FILE* f = fopen(CONSOLE_PGN_FILE, "a");
    if (!f) {
        print_line("can't open %s", CONSOLE_PGN_FILE);
        return;
    }
    Position& pos = console_position();
    const int played = rewind_game();
    char fen[128];
    get_fen(pos, fen, 0);
    fputs("[Event \"Unknown\"]\n", f);
    // A game from another position replays only with that position in its tags.
    if (strcmp(fen, START_FEN) != 0) fprintf(f, "[SetUp \"1\"]\n[FEN \"%s %d 1\"]\n", fen, int(pos.rule50));
    MoveHistory& h = game_history();
    for (int i = 0; i < played; i++) {
        const Move m = h.entries[i].move;
        char san[SAN_TEXT];
        write_san(pos, m, san);
        fprintf(f, "%s ", san);
        if ((i + 1) % SAVED_MOVES_PER_LINE == 0) fputc('\n', f);
        make_move(pos, m);
    }
    fputs("\n\n", f);
    fclose(f);
    search_control.game_plies = h.count;
}

void console_reverse(CommandWords&) {
    const Position& pos = console_position();
    u8 mirrored[64];
    for (int sq = 0; sq < 64; sq++) {
        const int piece = pos.board[sq];
        mirrored[sq ^ 56] = u8(piece ? piece ^ 8 : 0);
    }
    char fen[128];
    placement_to_fen(mirrored, pos.side ^ 1, "-", fen);
    console_set_position(fen);
    print_board(console_position());
}
