// The console: one table of typed commands, the move entry for every other word, and the
// board editor as a mode that takes the next lines from the input reader.
#include "engine/console.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "board/see.h"
#include "board/tables.h"
#include "book/book.h"
#include "core/output.h"
#include "core/settings.h"
#include "engine/console_internal.h"
#include "engine/driver.h"
#include "engine/input.h"
#include "engine/options.h"
#include "engine/thread_state.h"
#include "eval/eval_trace.h"
#include "eval/nn.h"
#include "platform/platform.h"
#include "search/params.h"
#include "search/perft_picker.h"
#include "search/threads.h"
#include "search/tt.h"
#include "tools/san.h"

namespace {

constexpr float ANALYSIS_SECONDS = 99999.0f;
constexpr int MAX_CONSOLE_PERFT = 20;
// A deep count reads input every this many interior nodes, so that "." can end it.
constexpr unsigned PERFT_POLL_INTERVAL = 4096;

void console_quit(CommandWords&) {
    settings.quit = 1;
    search_control.stop = 1;
}

// An analysis without a depth, which only "." ends.
bool open_analysis = false;

void console_stop(CommandWords&) {
    search_control.stop = 1;
    console_self_play = 0;
}

// The position the console last searched: the search keeps no table entry for its root, so
// "pv" starts from that search's best move there.
u64 searched_key = 0;

void start_console_search() {
    searched_key = console_position().key;
    search_control.search_state = SEARCH_GO;
}

void console_move_now(CommandWords&) {
    settings.own_book = 1;
    console_auto_move = 1;
    open_analysis = false;
    start_console_search();
}

void console_analyse(CommandWords& cmd) {
    Settings& s = settings;
    SearchControl& c = search_control;
    s.tc_time = ANALYSIS_SECONDS;
    s.tc_moves = 1;
    s.own_book = 0;
    s.depth_limit = CONSOLE_MAX_DEPTH;
    open_analysis = !cmd.words[1][0];
    if (cmd.words[1][0]) {
        const int depth = atoi(cmd.words[1]);
        s.depth_limit = i8(depth <= 0 ? 0 : depth > CONSOLE_MAX_DEPTH ? CONSOLE_MAX_DEPTH : depth);
    }
    if (c.hash_in_use <= 1) c.hashfull = 0;
    if (c.hash_in_use == 1 && option_hooks.clear_hash) option_hooks.clear_hash();
    console_auto_move = console_self_play = 0;
    c.infinite = 0;
    c.mate_moves = 0;
    c.root_filter_count = 0;
    start_console_search();
}

void console_board(CommandWords&) {
    if (settings.debug_display) show_last_move();
    print_board(console_position());
}

void console_self(CommandWords&) {
    settings.ponder = 0;
    console_self_play = 1;
    open_analysis = false;
    start_console_search();
}

void console_pv(CommandWords&) {
    Position& pos = console_position();
    static Move pv[PV_LENGTH + 1];
    memset(pv, 0, sizeof pv);
    if (pos.key == searched_key && is_generated_legal_move(pos, search_control.pv[1])) pv[1] = search_control.pv[1];
    if (tt.block && search_control.hash_in_use) tt_fill_pv(pos, 1, pv);
    char text[PV_LENGTH * (SAN_TEXT + 1) + 1];
    int n = 0, made = 0;
    text[0] = 0;
    for (int ply = 1; ply < PV_LENGTH && pv[ply]; ply++) {
        char san[SAN_TEXT];
        write_san(pos, pv[ply], san);
        n += snprintf(text + n, sizeof text - size_t(n), "%s ", san);
        make_move(pos, pv[ply]);
        made++;
    }
    while (made--) unmake_move(pos);
    print_line("PV: %s\n", text);
    print_board(pos);
}

void console_trace(CommandWords& cmd) { settings.trace = u8(atoi(cmd.words[1])); }

void console_eval(CommandWords&) { show_last_move(); }

void console_network_trace(CommandWords&) {
    if (!nn_ready(main_thread->eval)) {
        print_line("no network loaded");
        return;
    }
    nn_trace(console_position(), main_thread->eval);
}

void console_parameters(CommandWords&) {
    show_eval_trace(console_position(), main_thread->eval, TRACE_WITH_PARAMETERS, search_control.root_eval[1]);
}

void console_lmr(CommandWords&) {
    build_search_params();
    print_search_params();
}

void console_edit(CommandWords&) { edit_begin(); }

void console_book(CommandWords&) {
    Position& pos = console_position();
    const char* files[2] = {settings.book_file, settings.book2_file};
    if (!files[0][0] && !files[1][0]) print_line("no book file set");
    for (const char* f : files) {
        if (!f[0]) continue;
        probe_book(pos, f);
        print_line("%s", "");
    }
}

void console_tag(CommandWords&) { settings.tag_key = console_position().key; }

unsigned perft_polls = 0;
bool perft_poll() {
    if (++perft_polls % PERFT_POLL_INTERVAL == 0) read_input();
    return search_control.stop || settings.quit;
}

void console_perft(CommandWords& cmd) {
    SearchControl& c = search_control;
    const int n = atoi(cmd.words[1]);
    const int depth = n <= 0 ? 1 : n > MAX_CONSOLE_PERFT ? MAX_CONSOLE_PERFT : n;
    ThreadState& t = *main_thread;
    t.nodes = 0;
    c.stop = 0;
    // While counting, the console takes only "." and "quit".
    c.search_state = SEARCH_BENCH;
    perft_interrupt = perft_poll;
    const double start = platform::now_seconds();
    perft_picker(t, 1, depth);
    const double elapsed = platform::now_seconds() - start + 0.0001;
    perft_interrupt = nullptr;
    c.search_state = 0;
    if (c.stop || settings.quit) print_line("perft interrupted at depth %d", depth);
    c.stop = 0;
    const double nodes = double(t.nodes);
    print_line("visited %0.0f nodes in %0.3f seconds, nps= %0.0f", nodes, elapsed, nodes / (elapsed + 0.001));
}

void console_swap(CommandWords&) {
    const Position& pos = console_position();
    const u64 occupied = occupancy(pos);
    for (int sq = 0; sq < 64; sq++) {
        const int piece = pos.board[sq];
        if (!piece) continue;
        const int owner = piece >> 3, attacker = owner ^ 1;
        if (!is_attacked(pos, sq, attacker)) continue;
        print_line("sq= %s, swap1= %4d", SquareNames[sq], see_gain(pos, attacker, sq, piece & 7, occupied));
    }
}

void console_move_word(CommandWords& cmd) { console_enter_move(cmd.words[1]); }

void console_help(CommandWords&);

// Tested in order; "quit" and "." act during a search, every other command waits for an idle
// engine (and is ignored while one runs). A word that names no command is entered as a move.
const CommandRow CONSOLE_COMMANDS[] = {
    {"quit", console_quit, RUNS_ANY_TIME, "ends the program"},
    {".", console_stop, RUNS_ANY_TIME, "ends the running search, self-play or perft"},
    {"help", console_help, NEEDS_IDLE, "this list"},
    {"new", console_new, NEEDS_IDLE, "start position; both clocks to the level's time"},
    {"fen", console_fen, NEEDS_IDLE, "FEN: sets up the position"},
    {"mv", console_move_now, NEEDS_IDLE, "the engine chooses a move (book or search) and plays it"},
    {"go", console_analyse, NEEDS_IDLE, "[depth]: analyses (to depth, else until '.'), plays nothing"},
    {"an", console_analyse, NEEDS_IDLE, "[depth]: the same as go"},
    {"bd", console_board, NEEDS_IDLE, "displays the board"},
    {"self", console_self, NEEDS_IDLE, "the engine plays both sides until a draw or mate ('.' ends)"},
    {"get", console_get, NEEDS_IDLE, "id: the position with that id from test.epd"},
    {"pv", console_pv, NEEDS_IDLE, "the line the hash table holds for the position"},
    {"trace", console_trace, NEEDS_IDLE, "n: sets the trace level"},
    {"ev", console_eval, NEEDS_IDLE, "last move, quiescence score and the evaluation breakdown"},
    {"ev2", console_network_trace, NEEDS_IDLE, "the network's hidden nodes that move the score most"},
    {"sp", console_parameters, NEEDS_IDLE, "the evaluation breakdown and every parameter"},
    {"lmr", console_lmr, NEEDS_IDLE, "the search's pruning margins and reduction tables"},
    {"undo", console_undo, NEEDS_IDLE, "takes the last move back"},
    {"[", console_undo, NEEDS_IDLE, "takes the last move back"},
    {"]", console_forward, NEEDS_IDLE, "replays the move taken back"},
    {"load", console_load, NEEDS_IDLE, "file.pgn tag: the first game whose headers contain tag"},
    {"save", console_save, NEEDS_IDLE, "appends the game to tmp.pgn"},
    {"jump", console_jump, NEEDS_IDLE, "n: goes to the position before White's n-th move"},
    {"edit", console_edit, NEEDS_IDLE, "board editor (its lines: . end, # clear, w/b pieces)"},
    {"book", console_book, NEEDS_IDLE, "the book moves of the position"},
    {"tag", console_tag, NEEDS_IDLE, "marks the position's key"},
    {"perft", console_perft, NEEDS_IDLE, "depth: counts the leaf nodes (1..20; '.' ends it)"},
    {"swap", console_swap, NEEDS_IDLE, "exchange value of every attacked piece"},
    {"reverse", console_reverse, NEEDS_IDLE, "mirrors the position, colours swapped"},
    {"set", console_set, NEEDS_IDLE, "name value: hash noise multipv debug frc level depth nodes target_nps ss ..."},
    {"move", console_move_word, NEEDS_IDLE, "m: enters the move m"},
};
constexpr int CONSOLE_COMMAND_COUNT = int(sizeof CONSOLE_COMMANDS / sizeof CONSOLE_COMMANDS[0]);

// Lines that arrived while the engine was busy, oldest first.
constexpr int PENDING_LINES = 64;
constexpr int PENDING_LINE_TEXT = 512;
struct PendingLines {
    char text[PENDING_LINES][PENDING_LINE_TEXT];
    int first, count;
    bool edit_open;  // an "edit" waits whose closing "." has not arrived yet
};
PendingLines pending;

void keep_for_later(const char* line) {
    if (pending.count == PENDING_LINES) {
        print_line("too many commands during the search, ignoring %s", line);
        return;
    }
    copy_field(pending.text[(pending.first + pending.count) % PENDING_LINES], PENDING_LINE_TEXT, line);
    pending.count++;
}

void console_help(CommandWords&) {
    print_command_help(CONSOLE_COMMANDS, CONSOLE_COMMAND_COUNT);
    print_line("%-10s %s", "<move>", "any other word is entered as a move: SAN (Nf3) or coordinates (g1f3)");
    print_line("%-10s %s", "uci", "switches to the UCI protocol");
}

}  // namespace

bool console_has_pending() { return pending.count > 0; }

bool console_take_pending(char* line, int size) {
    if (!pending.count) return false;
    copy_field(line, size, pending.text[pending.first]);
    pending.first = (pending.first + 1) % PENDING_LINES;
    pending.count--;
    if (!pending.count) pending.edit_open = false;
    return true;
}

Position& console_position() { return main_thread->pos; }

void console_display() {
    if (settings.debug_display) show_last_move();
    print_board(console_position());
}

void show_last_move() {
    Settings& s = settings;
    SearchControl& c = search_control;
    Position& pos = console_position();
    const MoveHistory& h = main_thread->history;
    if (h.count > 0) {
        const Move m = h.entries[h.count - 1].move;
        print_line("last move was %d%s %s%s", (h.count + 1) / 2, pos.side == BLACK ? "." : "...",
                   SquareNames[move_from(m)], SquareNames[move_to(m)]);
    }
    // A depth-0 search leaves the root quiescence score in root_eval[1].
    const i8 depth_limit = s.depth_limit;
    s.depth_limit = 0;
    run_search_inline();
    c.search_state = 0;
    s.depth_limit = depth_limit;
    show_eval_trace(pos, main_thread->eval, TRACE_BREAKDOWN, c.root_eval[1]);
}

void console_enter_move(const char* text) {
    Position& pos = console_position();
    char typed[MOVE_TEXT * 2 + 1];
    set_field(typed, text);
    Move m = 0;
    if (!parse_move(pos, typed, &m)) {
        print_line("invalid: %s", text);
        return;
    }
    MoveHistory& h = main_thread->history;
    print_line("%d. move %s", h.count / 2 + 1, text);
    make_game_move(pos, m);
    // A new move ends the line that "]" could replay.
    h.entries[h.count].move = 0;
    search_control.game_plies = h.count;
    console_display();
}

void handle_console_command(char* line) {
    char* lf = strchr(line, '\n');
    if (lf) *lf = 0;
    const bool busy = search_control.search_state != 0;
    if (edit_active() && !busy) {
        edit_line(line);
        return;
    }
    static CommandWords cmd;
    split_command_words(line, cmd);
    if (!cmd.words[0][0]) return;
    log_line("CMD: %s", line);
    const CommandRow* row = find_command(CONSOLE_COMMANDS, CONSOLE_COMMAND_COUNT, cmd.words[0]);
    // "quit" behind waiting lines waits too, so that a script's lines all run; so does the "."
    // that ends an "edit" still waiting.
    const bool ends_waiting_edit = row && row->run == console_stop && pending.edit_open;
    const bool waits =
        !row || row->timing == NEEDS_IDLE || ends_waiting_edit || (row->run == console_quit && console_has_pending());
    if (busy && waits) {
        if (row && row->run == console_edit) pending.edit_open = true;
        if (ends_waiting_edit) pending.edit_open = false;
        keep_for_later(line);
        return;
    }
    if (row) row->run(cmd);
    else
        console_enter_move(cmd.words[0]);
}

void console_input_ended() {
    // No "." can come any more: an analysis that only "." ends stops here and reports.
    if (open_analysis && search_control.search_state != 0) search_control.stop = 1;
    open_analysis = false;
}
