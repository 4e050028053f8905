#include "tools/epd_analysis.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/tables.h"
#include "board/validate.h"
#include "core/output.h"
#include "core/settings.h"
#include "search/report.h"
#include "search/thread.h"
#include "search/threads.h"
#include "search/tt.h"
#include "tools/epd_operations.h"
#include "tools/position_set.h"
#include "tools/tool_io.h"

namespace {

constexpr int EPD_LINE_SIZE = 4096;
constexpr int OPERAND_SIZE = 1024;
constexpr int SHORTEST_EPD_LINE = 10;  // shorter lines cannot hold a position
constexpr int HASH_DEPTH_MIN = 4;      // below this depth limit the searches run without the table
constexpr int EXPANSION_MARGIN = 30;   // MultiPV lines this close to the best are expanded
constexpr int BF_SPAN = 4;             // the branching factor compares iterations this far apart

// Sets the game position from the line's position fields; returns false when they do not form a
// position the engine can search.
bool set_position_from_line(const char* line) {
    char fen[EPD_LINE_SIZE];
    if (epd_position_fields(line, fen, sizeof fen) < 4) return false;
    Position candidate;
    char why[128];
    if (read_fen_candidate(candidate, fen, WHITE, why) != 0) return false;
    SearchThread* ts = main_thread;
    install_position(ts->pos, candidate, ts->history);
    return true;
}

int legal_move_count(Position& pos) {
    MoveEntry list[MAX_MOVES];
    const int n = gen_all_moves(pos, list);
    int legal = 0;
    for (int i = 0; i < n; i++) legal += is_legal(pos, pos.side, list[i].move);
    return legal;
}

void search_position() {
    SearchControl& c = search_control;
    if (c.hash_in_use && tt.block) {
        tt_clear(settings.threads);
        c.hashfull = 0;
    }
    c.game_plies = 0;
    for (Move& m : c.multipv_move) m = 0;
    run_search(SEARCH_BENCH, true);
    c.search_state = 0;
    sum_counters();
}

double branching_factor() {
    const SearchControl& c = search_control;
    const int last = c.last_depth;
    if (last > BF_SPAN + 1 && last < 82 && c.nodes_by_depth[last] && c.nodes_by_depth[last - BF_SPAN])
        return pow(double(c.nodes_by_depth[last]) / double(c.nodes_by_depth[last - BF_SPAN]), 1.0 / BF_SPAN);
    return 2.0;
}

// A hit: the best move is one of the "bm" moves, or, without "bm", none of the "am" moves.
bool is_correct(Position& pos, const char* line, Move best) {
    char operand[OPERAND_SIZE];
    bool listed = false;
    if (epd_operation(line, "bm", operand, sizeof operand)) {
        epd_move_list(pos, operand, best, &listed);
        return best && listed;
    }
    if (epd_operation(line, "am", operand, sizeof operand)) {
        const int moves = epd_move_list(pos, operand, best, &listed);
        return best && moves > 0 && !listed;
    }
    return false;
}

// Writes the positions after the good MultiPV moves to the expansion file.
void expand_position(FILE* out, PositionSet* seen) {
    const SearchControl& c = search_control;
    Position& pos = main_thread->pos;
    Move moves[32];
    int scores[32];
    int lines = 0;
    if (settings.multipv <= 1) {
        if (c.pv[1]) moves[lines] = c.pv[1], scores[lines++] = c.score;
    } else {
        const int legal = legal_move_count(pos);
        const int wanted = settings.multipv < 32 ? settings.multipv : 32;
        for (int i = 0; i < wanted && i < legal; i++) moves[lines] = c.multipv_move[i], scores[lines++] = c.multipv_score[i];
    }
    for (int i = 0; i < lines; i++) {
        if (scores[i] < scores[0] - EXPANSION_MARGIN || !is_generated_legal_move(pos, moves[i])) continue;
        if (settings.noise < NOISE_SILENT)
            print_line("%s%s  %d", SquareNames[move_from(moves[i])], SquareNames[move_to(moves[i])], scores[i]);
        make_move(pos, moves[i]);
        const int added = seen ? position_set_insert(*seen, pos.key) : 1;
        if (added != 0) {
            char fen[128];
            get_fen(pos, fen, 0);
            fprintf(out, "%s\n", fen);
        }
        unmake_move(pos);
    }
}

void print_summary(const EpdSummary& s) {
    const int n = s.positions;
    if (s.skipped) print_line("lines skipped (no valid position): %d", s.skipped);
    print_line("%d / %d correct best moves", s.correct, n);
    print_line("total nodes= %0.0f", double(s.nodes));
    print_line("total time= %0.2f seconds", s.time);
    print_line("avg depth= %0.1f", n ? double(s.depth_sum) / n : 0.0);
    print_line("avg nodes= %0.1f", n ? double(s.nodes / u64(n)) : 0.0);
    print_line("node_rate= %0.0f", double(s.nodes) / (0.001 + s.time));
    print_line("avg bf= %0.2f", n ? s.bf_sum / n : 0.0);
    print_line("score= %d / %d", int(s.points), int(s.possible));
    print_line("%s", "");
}

}  // namespace

int analyze_epd(const char* input_path, bool expand, PositionSet* seen, EpdSummary* summary) {
    Settings& s = settings;
    SearchControl& c = search_control;
    const char* out_path = s.out_file[0] ? s.out_file : "analysis.epd";
    FILE* in = open_tool_input(input_path, "rb");
    if (!in) return 1;
    FILE* out = open_tool_output(out_path, "w", input_path);
    FILE* expansion = out && expand ? open_tool_output(EXPANSION_FILE, "w", input_path) : nullptr;
    if (!out || (expand && !expansion)) {
        fclose(in);
        if (out) fclose(out);
        return 1;
    }
    print_line("Analyzing %s...", input_path);
    if (s.depth_limit < HASH_DEPTH_MIN) c.hash_in_use = 0;
    const bool silent = s.noise == NOISE_SILENT;

    EpdSummary sum = {};
    static char line[EPD_LINE_SIZE];
    static LineReader lines;
    line_reader_open(lines, in);
    int length;
    while (!s.quit && (length = read_line(lines, line, EPD_LINE_SIZE)) != -1) {
        const bool too_long = length == -2;
        if (!too_long && (line[0] == ' ' || line[0] == '#' || line[0] == ';' || length < SHORTEST_EPD_LINE)) continue;
        if (too_long || !set_position_from_line(line)) {
            sum.skipped++;
            continue;
        }
        Position& pos = main_thread->pos;
        sum.positions++;
        if (seen) position_set_insert(*seen, pos.key);
        if (!silent) {
            print_line("pos= %d", sum.positions);
            print_line("%s", line);
            print_board(pos);
        }
        search_position();
        const Move best = c.pv[1];
        const double nodes = double(c.totals[CNT_NODES]);
        const double elapsed = c.elapsed;
        sum.time += elapsed;
        sum.nodes += c.totals[CNT_NODES];
        sum.depth_sum += c.result_depth;
        sum.bf_sum += branching_factor();
        sum.correct += is_correct(pos, line, best);

        char operand[OPERAND_SIZE];
        if (epd_operation(line, "c0", operand, sizeof operand) && strchr(operand, '=')) {
            int possible = 0;
            sum.points += epd_points(pos, operand, best, &possible);
            sum.possible += possible;
        }

        char coord[MOVE_TEXT], san[MOVE_TEXT], san_file[MOVE_TEXT], san_rank[MOVE_TEXT];
        move_texts(pos, best, coord, san, san_file, san_rank);
        if (!silent)
            print_line("move= %s, time= %0.3f, score= %d, nodes= %0.0f, %0.0fK nps", best ? san : "null", elapsed,
                       int(c.score), nodes, nodes / (elapsed + 0.002) / 1000);
        if (best) {
            if (epd_operation(line, "gr", operand, sizeof operand)) {
                fprintf(out, "%s sc %d;\n", line, int(c.score));
            } else {
                char fen[128], move_text[MOVE_TEXT];
                get_fen(pos, fen, 0);
                move_to_uci(pos, pos.side, best, move_text);
                fprintf(out, "%s bm %s; ce %d;\n", fen, move_text, int(c.score));
            }
        }
        if (expansion) expand_position(expansion, seen);
    }
    print_summary(sum);
    fclose(in);
    fclose(out);
    if (expansion) fclose(expansion);
    if (summary) *summary = sum;
    return 0;
}
