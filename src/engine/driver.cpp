#include "engine/driver.h"

#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "core/output.h"
#include "core/settings.h"
#include "engine/input.h"
#include "engine/options.h"
#include "engine/thread_state.h"
#include "engine/uci.h"
#include "platform/platform.h"
#include "search/hooks.h"
#include "search/threads.h"
#include "search/tt.h"

int console_auto_move = 0;
int console_self_play = 0;
Move (*book_probe_hook)(Position& pos, const char* file) = nullptr;

namespace {

char deferred_line[LineSplitter::CAPACITY];
bool has_deferred = false;

int resize_hash(unsigned mb) {
    unsigned previous = search_control.hash_in_use && tt.block ? unsigned((u64(tt.entries) * 16) >> 20) : 0;
    unsigned got = 0;
    // The option keeps the requested value; the table is the largest that could be had.
    if (tt_allocate(mb, &got)) {
        if (got != mb) print_line("info string could not allocate %u Mbytes for hash table, using %u", mb, got);
        return 0;
    }
    print_line("info string could not allocate %u Mbytes for hash table, keeping %u", mb, previous);
    unsigned kept = 0;
    if (previous) tt_allocate(previous, &kept);
    return 1;
}

void clear_hash() {
    tt_clear(settings.threads);
    search_control.hashfull = 0;
}

// Probes the books in order; returns the move or 0.
Move probe_books(Position& pos) {
    const Settings& s = settings;
    if (!book_probe_hook || !s.own_book || pos.rule50 > 100) return 0;
    const int played = pos.owner->count;
    Move m = 0;
    if (played < s.book_depth && s.book_file[0]) m = book_probe_hook(pos, s.book_file);
    if (!m && played < s.book2_depth && s.book2_file[0]) m = book_probe_hook(pos, s.book2_file);
    return m;
}

// Tries the books; on a book move publishes it as the finished search's answer.
bool play_book_move() {
    SearchControl& c = search_control;
    Position& pos = main_thread->pos;
    const Move m = probe_books(pos);
    if (!m) return false;
    make_move(pos, m);
    const bool drawn = is_draw(pos, 0);
    unmake_move(pos);
    if (drawn) return false;
    char coord[MOVE_TEXT], san[MOVE_TEXT], san_file[MOVE_TEXT], san_rank[MOVE_TEXT];
    move_texts(pos, m, coord, san, san_file, san_rank);
    print_line("%s book move is %s", settings.uci_mode ? "info string" : "", san);
    c.score = 0;
    c.stop = 1;
    c.pv[1] = m;
    c.pv[2] = 0;
    c.book_move = m;
    c.elapsed = 0;
    c.search_state |= SEARCH_FINISHED;
    return true;
}

void print_console_statistics(const char* best) {
    const SearchControl& c = search_control;
    const double nodes = double(c.totals[CNT_NODES]);
    double ebf = 2.0;
    const int d = c.result_depth;
    if (d > 5 && d < PV_LENGTH && c.nodes_by_depth[d] && c.nodes_by_depth[d - 4])
        ebf = __builtin_pow(double(c.nodes_by_depth[d]) / double(c.nodes_by_depth[d - 4]), 0.25);
    print_line("move= %s, time= %0.3f, score= %d, nodes= %0.0f, nps= %0.0fK ebf= %0.2f", best, double(c.elapsed),
               int(c.score), nodes, nodes / (double(c.elapsed) + 0.002) * 0.001, ebf);
    const SearchThread* t = thread_table[0];
    double probes = double(c.totals[CNT_HASH_PROBES]), hits = double(c.totals[CNT_HASH_HITS]);
    double pawn = 0, eval = 0;
    if (t) {
        pawn = 100.0 * double(t->eval.pawn_hits) / double(t->eval.pawn_probes + 1);
        eval = 100.0 * double(t->eval.cache_hits) / double(t->eval.evals + 1);
    }
    print_line("Hash fill= %.1f%%, Hash hits: main= %0.1f%%, pawn= %0.1f%%, eval= %0.1f%%, TB=%0.0fK",
               double(tt_hashfull_fraction()) * 100.0, 100.0 * hits / (probes + 1), pawn, eval,
               double(c.totals[CNT_TB_HITS]) * 0.001);
    print_line("%s", "");
}

// Prints the answer of a finished search and keeps the clocks.
void report_result() {
    SearchControl& c = search_control;
    Position& pos = main_thread->pos;
    const int side = pos.side;
    Move best = c.pv[1];
    const Move ponder = best ? c.pv[2] : 0;
    // A search stopped before it finished its first iteration has no result of its own; a
    // legal move is still owed to the GUI whenever one exists.
    if (!best) best = c.root_filter_count > 0 ? c.root_filter[0] : first_legal_move(pos);
    // With no legal move the answer is the protocol's null move.
    char best_text[MOVE_TEXT] = "0000", ponder_text[MOVE_TEXT] = "0000";
    if (!settings.uci_mode) memcpy(best_text, "null", 5);
    if (best) move_to_uci(pos, side, best, best_text);
    if (ponder) move_to_uci(pos, side ^ 1, ponder, ponder_text);
    if (settings.uci_mode) {
        if (c.elapsed < 0.006f && c.clock[side] > 1.0f) platform::sleep_ms(1);
        if (ponder) print_line("bestmove %s ponder %s", best_text, ponder_text);
        else
            print_line("bestmove %s", best_text);
    } else {
        print_console_statistics(best_text);
    }
    if (console_auto_move || console_self_play) {
        if (best) {
            make_game_move(pos, best);
            pos.owner->entries[pos.owner->count].move = 0;
            search_control.game_plies = pos.owner->count;
            print_board(pos);
            if (console_self_play) c.search_state = SEARCH_GO;
        } else {
            console_auto_move = console_self_play = 0;
        }
    }
    const int charged = side;
    c.clock[charged] = c.clock[charged] - c.elapsed + settings.increment;
    if (settings.tc_moves > 1 && pos.owner->count % (2 * settings.tc_moves) <= 1) c.clock[charged] = settings.tc_time;
}

void run_deferred_command() {
    if (!has_deferred) return;
    has_deferred = false;
    static char line[LineSplitter::CAPACITY];
    memcpy(line, deferred_line, sizeof line);
    handle_uci_command(line);
}

}  // namespace

bool command_deferred() { return has_deferred; }

void defer_command(const char* line) {
    set_field(deferred_line, line);
    has_deferred = true;
}

void register_search_hooks() {
    option_hooks.resize_hash = resize_hash;
    option_hooks.clear_hash = clear_hash;
}

void allocate_hash_at_startup() {
    unsigned got = 0;
    if (!tt_allocate(settings.hash_mb, &got)) {
        print_line("info string could not allocate a hash table, searching without one");
        search_control.hash_in_use = 0;
        return;
    }
    if (got != settings.hash_mb) {
        print_line("info string could not allocate %u Mbytes for hash table, using %u", unsigned(settings.hash_mb),
                   got);
    }
}

void game_loop() {
    SearchControl& c = search_control;
    search_hooks.poll_input = read_input;
    settings.quit = 0;
    c.stop = 0;
    c.search_state = 0;
    while (!settings.quit) {
        int state = c.search_state.load();
        if (!(state & (SEARCH_GO | SEARCH_GO_PONDER | SEARCH_FINISHED | SEARCH_STOP_REQUESTED))) {
            platform::sleep_ms(1);
            read_input();
            continue;
        }
        if (state & (SEARCH_GO | SEARCH_GO_PONDER)) {
            Position& pos = main_thread->pos;
            if (console_self_play && is_draw(pos, 0)) {
                c.search_state = 0;
                console_self_play = 0;
                print_line("info string Draw!");
                continue;
            }
            for (Move& m : c.pv) m = 0;
            c.book_move = 0;
            if (state == SEARCH_GO && play_book_move()) {
                // The book answered; report below.
            } else {
                run_search(state == SEARCH_GO ? SEARCH_THINKING : SEARCH_PONDERING, true);
            }
        }
        state = c.search_state.load();
        if (state & SEARCH_FINISHED) {
            c.search_state = 0;
            c.infinite = 0;
            report_result();
            run_deferred_command();
        } else if (!(state & (SEARCH_GO | SEARCH_GO_PONDER)) && (state & SEARCH_STOP_REQUESTED)) {
            c.search_state = 0;
        }
    }
}
