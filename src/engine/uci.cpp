#include "engine/uci.h"

#include <cstdlib>
#include <cstring>

#include "board/fen.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "board/perft.h"
#include "board/validate.h"
#include "core/output.h"
#include "core/settings.h"
#include "engine/bench.h"
#include "engine/command_table.h"
#include "engine/driver.h"
#include "engine/options.h"
#include "engine/thread_state.h"
#include "search/params.h"

UciHooks uci_hooks = {nullptr, nullptr};

namespace {

bool command_log = true;

// The fixed budget of searches limited by depth, nodes or nothing at all: long enough never to end one.
constexpr float FIXED_BUDGET_SECONDS = 10000000.0f;
constexpr int MAX_PERFT_DEPTH = 20;

// The word that follows `key` in `text` (spaces skipped), or an empty string.
bool keyword_value(const char* text, const char* key, char* out, int out_size) {
    const char* p = strstr(text, key);
    out[0] = 0;
    if (!p) return false;
    p += strlen(key);
    while (*p == ' ') p++;
    int n = 0;
    while (p[n] && p[n] != ' ' && n < out_size - 1) n++;
    memcpy(out, p, size_t(n));
    out[n] = 0;
    return true;
}

void uci_setoption(const char* args) {
    const char* name = strstr(args, "name ");
    if (!name) {
        print_line("info string setoption without a name, ignored");
        return;
    }
    name += 5;
    const char* value = strstr(name, " value");
    char name_buf[129];
    char value_buf[201];
    int n = value ? int(value - name) : int(strlen(name));
    if (n > 128) n = 128;
    memcpy(name_buf, name, size_t(n));
    name_buf[n] = 0;
    value_buf[0] = 0;
    if (value) {
        value += 6;
        if (*value == ' ') value++;
        set_field(value_buf, value);
    }
    set_option(name_buf, value_buf);
    take_settings_snapshot();
}

void uci_newgame() {
    settings.tc_moves = 0;
    settings.tc_time = 60.0f;
    settings.increment = 0.0f;
    search_control.hashfull = 0;
    search_control.clock[0] = search_control.clock[1] = 60.0f;
    main_thread->history.count = 0;
    search_control.game_plies = 0;
    if (search_control.hash_in_use && option_hooks.clear_hash) option_hooks.clear_hash();
    search_control.hash_age = 0;
}

// Sets up the game position from "startpos" or "fen ..." and plays the move list. A FEN the
// engine cannot work with is refused and the previous position kept; moves are played only
// while each one is legal.
void uci_position(char* args) {
    ThreadState* ts = main_thread;
    char* moves = strstr(args, "moves");
    if (moves) {
        if (moves > args) moves[-1] = 0;
        moves += 5;
    }
    const char* fen = nullptr;
    if (strstr(args, "startpos")) {
        fen = START_FEN;
    } else if (strstr(args, "fen")) {
        fen = strlen(args) >= 4 ? args + 4 : "";
    }
    if (fen) {
        Position candidate;
        // An en-passant square no double push can have produced is dropped, not refused.
        char why[128];
        if (read_fen_candidate(candidate, fen, ts->pos.side, why) != 0) {
            print_line("info string invalid position (%s), keeping the previous one", why);
            return;
        }
        install_position(ts->pos, candidate, ts->history);
    }
    if (moves) {
        char* save = nullptr;
        for (char* word = strtok_r(moves, " ", &save); word; word = strtok_r(nullptr, " ", &save)) {
            Move m = parse_uci_move(ts->pos, word);
            if (!m) {
                print_line("info string illegal move %s, ignoring it and the moves after it", word);
                break;
            }
            make_game_move(ts->pos, m);
        }
    }
    ts->history.ply = 1;
    // Nothing to replay forward from here.
    ts->history.entries[ts->history.count].move = 0;
    search_control.game_plies = ts->history.count;
}

void report_perft_move(void* ctx, Move move, u64 count) {
    const Position& pos = *static_cast<const Position*>(ctx);
    char text[MOVE_TEXT];
    move_to_uci(pos, pos.side, move, text);
    print_line("%s: %llu", text, static_cast<unsigned long long>(count));
}

// "go perft N" counts with the board layer's fast walker (the console's "perft" walks the
// search's move picker instead).
void go_perft(const char* args) {
    const int depth = clamp_int(atoi(args), 1, MAX_PERFT_DEPTH);
    Position& pos = main_thread->pos;
    const u64 total = perft_divide(pos, depth, report_perft_move, &pos);
    print_line("%s", "");
    print_line("Nodes searched: %llu", static_cast<unsigned long long>(total));
    print_line("%s", "");
}

// The words of "go" that end a "searchmoves" list.
bool is_go_keyword(const char* word) {
    static const char* const KEYWORDS[] = {"wtime", "btime", "winc",     "binc",     "movestogo", "depth",
                                           "nodes", "mate",  "movetime", "infinite", "ponder",    "searchmoves"};
    for (const char* k : KEYWORDS)
        if (!strcmp(word, k)) return true;
    return false;
}

// "searchmoves m1 m2 ...": the legal moves among the words after it, up to the next keyword.
void read_searchmoves(const char* args) {
    SearchControl& c = search_control;
    c.root_filter_count = 0;
    const char* p = strstr(args, "searchmoves");
    if (!p) return;
    p += strlen("searchmoves");
    char word[MOVE_TEXT * 2];
    for (;;) {
        while (*p == ' ') p++;
        int n = 0;
        while (p[n] && p[n] != ' ') n++;
        if (n == 0) break;
        copy_field(word, int(sizeof word) < n + 1 ? int(sizeof word) : n + 1, p);
        p += n;
        if (is_go_keyword(word)) break;
        const Move m = parse_uci_move(main_thread->pos, word);
        if (!m) {
            print_line("info string searchmoves: %s is not a legal move here, ignoring it", word);
            continue;
        }
        bool listed = false;
        for (int i = 0; i < c.root_filter_count; i++) listed |= c.root_filter[i] == m;
        if (!listed && c.root_filter_count < MAX_MOVES) c.root_filter[c.root_filter_count++] = m;
    }
    if (c.root_filter_count == 0) print_line("info string searchmoves names no legal move, searching all moves");
}

void uci_go(const char* args) {
    Settings& s = settings;
    SearchControl& c = search_control;
    const char* perft = strstr(args, "perft");
    if (perft) {
        go_perft(perft + 5);
        return;
    }
    // Every "go" stands alone: limits of an earlier "go" do not carry over.
    s.tc_moves = 0;
    s.depth_limit = MAX_PLY;
    s.node_limit = 0;
    s.increment = 0.0f;
    c.movestogo = 0;
    c.mate_moves = 0;
    // Without a clock, a fixed budget, a mate to find or "infinite", UCI asks for analysis
    // until "stop".
    bool limited = false;
    bool clock_given = false;
    int side = main_thread->pos.side;
    char v[128];
    if (keyword_value(args, "wtime", v, sizeof v)) {
        double ms = atof(v);
        c.clock[0] = float(ms < 0 ? 0 : ms * 0.001);
        clock_given = true;
    }
    if (keyword_value(args, "btime", v, sizeof v)) {
        double ms = atof(v);
        c.clock[1] = float(ms < 0 ? 0 : ms * 0.001);
        clock_given = true;
    }
    if (keyword_value(args, "winc", v, sizeof v) && side == WHITE) s.increment = float(atof(v) * 0.001);
    if (keyword_value(args, "binc", v, sizeof v) && side == BLACK) s.increment = float(atof(v) * 0.001);
    if (s.increment < 0) s.increment = 0;
    if (keyword_value(args, "movestogo", v, sizeof v)) {
        s.node_limit = 0;
        s.depth_limit = MAX_PLY;
        s.tc_moves = 40;
        // A count below 1 would hand the whole clock to this move.
        const int n = atoi(v);
        c.movestogo = n < 1 ? 1 : n;
        clock_given = true;
    }
    limited = clock_given;
    if (keyword_value(args, "depth", v, sizeof v)) {
        s.tc_moves = 1;
        s.tc_time = FIXED_BUDGET_SECONDS;
        // Depth 0 answers with the quiescence search alone.
        s.depth_limit = i8(clamp_int(atoi(v), 0, MAX_PLY));
        limited = true;
    }
    if (keyword_value(args, "nodes", v, sizeof v)) {
        long long n = atoll(v);
        s.tc_moves = 1;
        s.tc_time = FIXED_BUDGET_SECONDS;
        s.node_limit = n < 0 ? 0 : u64(n);
        limited = true;
    }
    if (keyword_value(args, "mate", v, sizeof v)) {
        // A mate in N moves is a line of 2N - 1 plies; the search ends once one is proven.
        c.mate_moves = i16(clamp_int(atoi(v), 1, MAX_PLY / 2));
        limited = true;
    }
    if (keyword_value(args, "movetime", v, sizeof v)) {
        double ms = atof(v);
        s.tc_moves = 1;
        s.increment = 0.0f;
        s.tc_time = float(ms < 0 ? 0 : ms * 0.001);
        limited = true;
    }
    const bool infinite = strstr(args, "infinite") != nullptr || !limited;
    // "go mate N" without a clock or a fixed budget searches until its mate is proven.
    const bool mate_only = c.mate_moves && s.tc_moves == 0 && !clock_given;
    if (infinite || mate_only) {
        s.tc_time = FIXED_BUDGET_SECONDS;
        s.increment = 0.0f;
        s.tc_moves = 1;
        if (infinite) {
            s.depth_limit = MAX_PLY;
            s.node_limit = 0;
        }
    }
    read_searchmoves(args);
    c.infinite = infinite;
    c.search_state = strstr(args, "ponder") ? SEARCH_GO_PONDER : SEARCH_GO;
}

void uci_uci(CommandWords&) {
    settings.uci_mode = 1;
    print_uci_options();
}
void uci_isready(CommandWords&) { print_line("readyok"); }
void uci_debug(CommandWords&) { command_log = true; }
void uci_show(CommandWords&) { print_search_params(); }
void uci_ponderhit(CommandWords&) {
    SearchControl& c = search_control;
    if (c.search_state == SEARCH_PONDERING) c.search_state = SEARCH_THINKING;
}
void uci_stop(CommandWords&) {
    SearchControl& c = search_control;
    if (c.search_state == 0) return;
    c.search_state |= SEARCH_STOP_REQUESTED;
    c.stop = 1;
}
void uci_quit(CommandWords&) { settings.quit = 1; }
void uci_setoption_row(CommandWords& cmd) { uci_setoption(cmd.rest); }
void uci_newgame_row(CommandWords&) { uci_newgame(); }
void uci_position_row(CommandWords& cmd) { uci_position(cmd.rest); }
void uci_go_row(CommandWords& cmd) { uci_go(cmd.rest); }
void uci_bench(CommandWords& cmd) { run_openbench(atoi(cmd.rest)); }
void uci_display(CommandWords&) { print_board(main_thread->pos); }
void uci_eval(CommandWords&) {
    if (uci_hooks.eval) uci_hooks.eval();
}
void uci_tbprobe(CommandWords&) {
    if (uci_hooks.tbprobe) uci_hooks.tbprobe();
}

// A command that needs an idle engine, arriving during a search, stops the search and runs
// after its "bestmove" (losing the process would lose the game).
const CommandRow UCI_COMMANDS[] = {
    {"uci", uci_uci, RUNS_ANY_TIME, "identification, option list and uciok"},
    {"isready", uci_isready, RUNS_ANY_TIME, "answers readyok"},
    {"debug", uci_debug, RUNS_ANY_TIME, "logs the commands received"},
    {"_show", uci_show, RUNS_ANY_TIME, "prints the search parameter tables"},
    {"ponderhit", uci_ponderhit, RUNS_ANY_TIME, "the pondered move was played: think on the clock"},
    {"stop", uci_stop, RUNS_ANY_TIME, "ends the search; it answers with bestmove"},
    {"quit", uci_quit, RUNS_ANY_TIME, "ends the program"},
    {"setoption", uci_setoption_row, NEEDS_IDLE, "name N value V: sets an option"},
    {"ucinewgame", uci_newgame_row, NEEDS_IDLE, "a new game follows"},
    {"position", uci_position_row, NEEDS_IDLE, "startpos | fen F [moves ...]: sets the game position"},
    {"go", uci_go_row, NEEDS_IDLE, "starts a search (wtime btime winc binc movestogo depth nodes mate ...)"},
    {"bench", uci_bench, NEEDS_IDLE, "[depth]: the short benchmark"},
    {"d", uci_display, RUNS_ANY_TIME, "displays the board"},
    {"eval", uci_eval, RUNS_ANY_TIME, "static evaluation of the game position"},
    {"tbprobe", uci_tbprobe, RUNS_ANY_TIME, "tablebase result of the game position"},
};
constexpr int UCI_COMMAND_COUNT = int(sizeof UCI_COMMANDS / sizeof UCI_COMMANDS[0]);

}  // namespace

void handle_uci_command(char* line) {
    char* lf = strchr(line, '\n');
    if (lf) *lf = 0;
    if (!line[0]) return;
    if (command_log) log_line("CMD: %s", line);

    static CommandWords cmd;
    split_command_words(line, cmd);
    const CommandRow* row = find_command(UCI_COMMANDS, UCI_COMMAND_COUNT, cmd.words[0]);
    if (!row) return;
    SearchControl& c = search_control;
    if (row->timing == NEEDS_IDLE && c.search_state != 0) {
        print_line("info string unexpected command %s, stopping the search", cmd.words[0]);
        defer_command(line);
        c.search_state |= SEARCH_STOP_REQUESTED;
        c.stop = 1;
        return;
    }
    row->run(cmd);
}
