#include "search/root.h"

#include <cstdlib>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/tables.h"
#include "core/output.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "search/hooks.h"
#include "search/picker.h"
#include "search/report.h"
#include "search/search.h"
#include "search/time.h"
#include "search/tt.h"

// The search line below the root can reach MAX_PLY plies whatever the iteration depth; the game
// part of the history stays within GAME_HISTORY_LIMIT (make_game_move), so both always fit.
static_assert(GAME_HISTORY_LIMIT + MAX_PLY < HISTORY_CAPACITY, "the history holds the game and a search line");

namespace {

// Root windows reaching past this bound are opened fully: beyond it lie tablebase and mate scores.
constexpr int ASPIRATION_BOUND = 4000;
constexpr int ASPIRATION_TRIES = 20;

struct RootList {
    MoveEntry* moves;
    int count;
    bool in_check;
    bool main;
};

// Stable re-sort of entries [from, count) by descending score.
void sort_root(RootList& list, int from) {
    for (int i = from + 1; i < list.count; i++) {
        MoveEntry e = list.moves[i];
        int j = i - 1;
        while (j >= from && list.moves[j].score < e.score) {
            list.moves[j + 1] = list.moves[j];
            j--;
        }
        list.moves[j + 1] = e;
    }
}

void print_progress() {
    SearchControl& c = search_control;
    sum_counters();
    const double elapsed = search_elapsed();
    const double nodes = double(c.totals[CNT_NODES]);
    print_line("info depth %d time %.0f nodes %.0f nps %.0f hashfull %.0f", int(c.depth), elapsed * 1000.0, nodes,
               nodes / (elapsed + 0.002), double(c.hashfull) * 1000.0);
}

// One search of the root moves from entry `line` on, inside (alpha0, beta).
int search_root_moves(SearchThread& t, RootList& list, int line, int d, int alpha0, int beta) {
    SearchControl& c = search_control;
    Position& pos = t.pos;
    const int side = pos.side;
    SearchStackEntry& s = t.stack[1];
    Move child_pv[PV_SIZE + 1];
    bool visited[MAX_MOVES] = {};
    int best = SCORE_NONE;
    s.move_count = 0;
    const bool progress = list.main && line == 0 && settings.uci_mode;
    bool printed_progress = false;
    const bool full_material = (pos.material[side] & 15) != 0 && (pos.material[side] >> 4) != 0;
    for (;;) {
        int pick = -1;
        for (int i = line; i < list.count; i++) {
            if (visited[i] || list.moves[i].move == 0) continue;
            if (pick < 0 || list.moves[i].score > list.moves[pick].score) pick = i;
        }
        if (pick < 0) break;
        visited[pick] = true;
        MoveEntry& e = list.moves[pick];
        const Move move = e.move;
        if (progress) {
            const float elapsed = search_elapsed();
            if (elapsed > 3.5f && elapsed > settings.noise) {
                if (!printed_progress) print_progress();
                printed_progress = true;
                if (settings.multipv == 1) {
                    char text[MOVE_TEXT];
                    move_to_uci(pos, side, move, text);
                    print_line("info currmove %s currmovenumber %d", text, s.move_count + 1);
                }
            }
        }
        const int flags = move_flags(pos, side, e);
        s.current_flags = u16(flags);
        int r = 0;
        if (list.main && d >= 4 && is_quiet_move(flags) && s.move_count > 2 && !list.in_check && !is_loss_score(best) &&
            full_material)
            r = 1;
        s.current_move = move;
        s.current_piece = e.piece;
        make_move(pos, move);
        int v;
        const bool slow_first_ply = d == 1 && c.nps_limited && c.target_nps > 2000;
        if (s.move_count == 0 || slow_first_ply) {
            v = -search(t, side ^ 1, 2, d - 1, -beta, -alpha0, NODE_PV, child_pv);
            e.score = i16(v > alpha0 ? v : alpha0);
        } else {
            e.score = i16(alpha0 - 1);
            const int a = best > alpha0 ? best : alpha0;
            v = -search(t, side ^ 1, 2, d - r - 1, -a - 1, -a, NODE_CUT, child_pv);
            if (v > a && !search_stopped()) {
                v = -search(t, side ^ 1, 2, d - 1, -beta, -alpha0, NODE_PV, child_pv);
                e.score = i16(v > alpha0 ? v : alpha0);
            }
        }
        unmake_move(pos);
        if (search_stopped()) break;
        s.move_count++;
        if (v > best) {
            best = v;
            shared_write(t.score, v);
            shared_write(t.root_pv[1], move);
            int p = 2;
            for (; p <= MAX_PLY && child_pv[p]; p++) t.root_pv[p] = child_pv[p];
            t.root_pv[p] = 0;
            shared_write(t.completed_depth, d);
            // A score outside the try's window is only a bound (its PV can end early).
            if (list.main && line == 0) record_pv(t, v >= beta ? BOUND_LOWER : v <= alpha0 ? BOUND_UPPER : BOUND_EXACT);
        }
        if (best <= alpha0) {
            shared_write(t.fail_state, ROOT_FAIL_LOW);
        } else if (best >= beta) {
            shared_write(t.fail_state, ROOT_FAIL_HIGH);
            for (int i = line; i < list.count; i++)
                if (!visited[i]) list.moves[i].score = SCORE_NONE;
            break;
        } else {
            shared_write(t.fail_state, ROOT_INSIDE);
        }
    }
    sort_root(list, line);
    return best;
}

// Scores a root move like the picker does.
int root_order_score(SearchThread& t, const Position& pos, const MoveEntry& e) {
    const bool promotion = piece_type(e.piece) == PAWN && (move_to(e.move) < 8 || move_to(e.move) >= 56);
    const bool en_passant = piece_type(e.piece) == PAWN && move_to(e.move) == pos.ep_square;
    if (e.captured || promotion || en_passant) return capture_score(pos, e, true);
    return quiet_score(t, 1, e);
}

// The worker's depth for iteration d and the noise it adds to its root order.
int worker_depth(SearchThread& t, RootList& list, int d) {
    const SearchControl& c = search_control;
    if (abs(shared_read(t.score)) >= SCORE_DECISIVE) return d;
    const int limit = settings.depth_limit;
    const int threads = search_thread_count();
    if (d >= 6 && d < limit && settings.multipv == 1) {
        int ahead = 0;
        for (int i = 0; i < threads; i++) {
            SearchThread* o = thread_record(i);
            if (o && shared_read(o->iteration_depth) >= d) ahead++;
        }
        if (ahead > 35) d += 2;
        else if (ahead > 11)
            d += 1;
    }
    const int m = shared_read(c.depth);
    if (d < m) d = m;
    else if (d > m + 3)
        d = m + 3;
    if (d > limit) d = limit;
    for (int i = 1; i < list.count; i++) {
        t.random = t.random * 12345u + 76543u;
        list.moves[i].score = i16(list.moves[i].score - int(t.random % 15));
    }
    return d;
}

// The main search thread ends the search: by itself, unless a stop came first.
void end_search() {
    SearchControl& c = search_control;
    if (!search_stopped()) c.ended_by_itself = 1;
    c.stop = 1;
}

// Tablebase handling at the root: keeps the moves that hold the root's result (and those whose
// result is unknown because their table is missing) and, when the distance-to-zero ranking may
// decide, answers with its move. Returns true when answered.
bool root_tablebases(SearchThread& t, RootList& list) {
    SearchControl& c = search_control;
    Position& pos = t.pos;
    if (!search_hooks.probe_wdl) return false;
    shared_write(c.root_tb, search_hooks.probe_wdl(pos, 80));
    if (c.root_tb == -1) return false;
    char text[1024];
    int n = snprintf(text, sizeof text, "info string TB result is %s with moves: ",
                     c.root_tb == 4   ? "WIN"
                     : c.root_tb == 0 ? "LOSS"
                                      : "DRAW");
    for (int i = 0; i < list.count; i++) {
        MoveEntry& e = list.moves[i];
        make_move(pos, e.move);
        const int r = search_hooks.probe_wdl(pos, 80);
        unmake_move(pos);
        // A failed probe (r = -1) keeps the move: 4 - r then exceeds every result.
        if (c.root_tb <= 4 - r) {
            if (n < int(sizeof text) - 8)
                n += snprintf(text + n, sizeof text - size_t(n), "%s%s ", SquareNames[move_from(e.move)],
                              SquareNames[move_to(e.move)]);
        } else {
            e.move = 0;
            e.score = SCORE_NONE;
        }
    }
    print_line("%s", text);
    const int pieces = popcount(occupancy(pos));
    const int largest = search_hooks.max_pieces ? search_hooks.max_pieces() : 0;
    if (pos.rule50 >= 10 && pos.castling == 0 && pieces <= largest && search_hooks.probe_root) {
        const Move m = search_hooks.probe_root(pos);
        bool legal = false;
        for (int i = 0; i < list.count; i++)
            if (list.moves[i].move == m && m) legal = true;
        if (legal) {
            t.root_pv[1] = m;
            t.root_pv[2] = 0;
            t.score = i16(c.root_tb == 4 ? SCORE_TB_ROOT_WIN : c.root_tb == 0 ? -SCORE_TB_ROOT_WIN : 0);
            t.completed_depth = 99;
            t.seldepth = 99;
            record_pv(t);
            end_search();
            return true;
        }
    }
    return false;
}

// Whether "go searchmoves" allows the move (every move when it named none).
bool allowed_at_root(Move m) {
    const SearchControl& c = search_control;
    if (c.root_filter_count == 0) return true;
    for (int i = 0; i < c.root_filter_count; i++)
        if (c.root_filter[i] == m) return true;
    return false;
}

// The first move of the root PV when it is allowed, else the first allowed legal move (the
// quiescence answer of a depth-0 search may capture outside "searchmoves", or find no move in check).
void keep_allowed_answer(SearchThread& t, const MoveEntry* legal, int count) {
    if (t.root_pv[1] && allowed_at_root(t.root_pv[1])) return;
    for (int i = 0; i < count; i++) {
        if (!allowed_at_root(legal[i].move)) continue;
        t.root_pv[1] = legal[i].move;
        t.root_pv[2] = 0;
        return;
    }
}

// The result of an iteration is its first line's: with MultiPV the later lines overwrite the
// thread's score and PV, so the first line's are kept aside and put back.
struct FirstLine {
    i16 score;
    u8 completed_depth;
    Move pv[PV_LENGTH];
    void save(const SearchThread& t) {
        score = t.score;
        completed_depth = t.completed_depth;
        for (int i = 0; i < PV_LENGTH; i++) pv[i] = t.root_pv[i];
    }
    void restore(SearchThread& t) const {
        for (int i = 0; i < PV_LENGTH; i++) shared_write(t.root_pv[i], pv[i]);
        shared_write(t.completed_depth, completed_depth);
        shared_write(t.score, score);
    }
};

}  // namespace

void root_search(int index) {
    SearchThread& t = *thread_table[index];
    SearchControl& c = search_control;
    Position& pos = t.pos;
    const int side = pos.side;
    const bool main = index == 0;

    reset_ordering(t);
    SearchStackEntry& s = t.stack[1];
    SearchStackEntry& sentinel = t.stack[0];
    sentinel.current_move = 0;
    sentinel.null_move = 0;
    sentinel.current_flags = 0;
    sentinel.tb_result = -1;
    s.alpha = i16(SCORE_NONE);
    s.beta = i16(SCORE_INFINITE);
    s.tb_result = -1;
    s.node_kind = NODE_PV;
    s.current_move = 0;
    s.null_move = 0;
    s.current_flags = 0;
    s.checker = u8(checker_square(pos));
    const bool in_check = s.checker != NO_SQUARE;
    s.in_check = in_check;
    const int eval = evaluate(pos, t.eval, side, 1, in_check);
    s.eval = i16(eval);
    sentinel.eval = i16(-eval);
    shared_write(t.score, eval);

    // Legal root moves, in the generator's order.
    RootList list;
    list.moves = t.move_buffer[1];
    list.in_check = in_check;
    list.main = main;
    // Collected aside: the root quiescence search below uses ply 1's move buffer.
    MoveEntry legal[MAX_MOVES];
    const int generated = gen_all_moves(pos, legal);
    list.count = 0;
    for (int i = 0; i < generated; i++)
        if (is_legal(pos, side, legal[i].move)) legal[list.count++] = legal[i];
    // "go searchmoves": only the moves it names, unless none of them is legal here.
    int allowed = 0;
    for (int i = 0; i < list.count; i++) allowed += allowed_at_root(legal[i].move);
    if (allowed > 0 && allowed < list.count) {
        int n = 0;
        for (int i = 0; i < list.count; i++)
            if (allowed_at_root(legal[i].move)) legal[n++] = legal[i];
        list.count = n;
    }

    if (main) {
        shared_write(c.root_tb, -1);
        shared_write(c.score, eval);
        c.root_eval[0] = c.root_eval[1] = i16(eval);
        if (list.count == 0) {
            t.completed_depth = 1;
            t.score = i16(in_check ? 1 - SCORE_MATE : 0);
            t.root_pv[1] = 0;
            record_pv(t);
            end_search();
        } else {
            if (!in_check) {
                c.root_eval[1] = i16(qsearch(t, side, 1, 0, SCORE_NONE, SCORE_INFINITE, NODE_PV, t.root_pv));
            }
            if (settings.depth_limit < 1) {
                keep_allowed_answer(t, legal, list.count);
                for (int i = 0; i < PV_LENGTH; i++) shared_write(c.pv[i], t.root_pv[i]);
                shared_write(c.score, c.root_eval[1]);
                end_search();
            }
        }
    }
    if (search_stopped()) return;

    for (int i = 0; i < list.count; i++) {
        list.moves[i] = legal[i];
        list.moves[i].score = i16(root_order_score(t, pos, list.moves[i]));
    }
    sort_root(list, 0);
    if (main) {
        shared_write(c.single_reply, list.count == 1);
        if (root_tablebases(t, list)) return;
        sort_root(list, 0);
    }
    s.tb_result = main ? c.root_tb : -1;
    shared_write(t.completed_depth, 0);

    int live = 0;
    for (int i = 0; i < list.count; i++) live += list.moves[i].move != 0;
    const int lines = clamp_int(settings.multipv, 1, live > 0 ? live : 1);
    // Each line's window centres on that line's score of the previous iteration.
    i16 line_scores[MAX_MULTIPV];
    for (int i = 0; i < lines; i++) line_scores[i] = i16(eval);
    FirstLine first = {};

    for (int d = 1;;) {
        if (main) {
            shared_write(t.iteration_depth, d);
            shared_write(c.depth, d);
        } else {
            d = worker_depth(t, list, d);
            shared_write(t.iteration_depth, d);
        }
        bool first_saved = false;
        for (int line = 0; line < lines && !search_stopped(); line++) {
            const int p = line_scores[line];
            int delta = abs(p) / 16 + 25;
            if (d < 7) delta += 70 - 10 * d;
            int alpha = d < 2 ? SCORE_NONE : p - delta;
            int beta = d < 2 ? SCORE_INFINITE : p + delta;
            shared_write(t.fail_state, ROOT_INSIDE);
            for (int attempt = 0; attempt < ASPIRATION_TRIES; attempt++) {
                if (alpha < -ASPIRATION_BOUND) alpha = SCORE_NONE;
                if (beta > ASPIRATION_BOUND) beta = SCORE_INFINITE;
                s.alpha = i16(alpha);
                s.beta = i16(beta);
                const int best = search_root_moves(t, list, line, d, alpha, beta);
                if (search_stopped()) break;
                if (alpha < best && best < beta) break;
                if (best <= alpha) alpha = alpha - delta < best ? alpha - delta : best;
                else
                    beta = beta + delta > best ? beta + delta : best;
                delta *= 2;
            }
            if (!search_stopped()) line_scores[line] = t.score;
            if (line == 0) {
                first.save(t);
                first_saved = true;
            }
            if (main && settings.multipv > 1 && !search_stopped()) {
                c.multipv_move[line] = list.moves[line].move;
                c.multipv_score[line] = list.moves[line].score;
                report_iteration(0, line + 1, d, t.score, t.root_pv);
            }
        }
        if (first_saved && lines > 1) first.restore(t);
        AuxLock.lock();
        c.nodes_by_depth[d] += shared_read(t.counters[CNT_NODES]);
        AuxLock.unlock();
        if (main && !search_stopped()) c.last_depth = u8(d);
        const int score = shared_read(t.score);
        const bool mate_within_horizon = score >= SCORE_MATE - 1 - d || score <= d - SCORE_MATE;
        const bool mate_asked_for = c.mate_moves > 0 && score >= SCORE_MATE - 2 * c.mate_moves;
        if (search_stopped() || mate_within_horizon || mate_asked_for || d >= settings.depth_limit || d + 1 > MAX_PLY) {
            if (main) end_search();
            return;
        }
        d++;
    }
}
