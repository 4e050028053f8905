#include "search/search.h"

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/see.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "platform/platform.h"
#include "search/hooks.h"
#include "search/params.h"
#include "search/picker.h"
#include "search/time.h"
#include "search/tt.h"

namespace {

// Non-quiet moves the picker scores this high (winning captures) are never reduced.
constexpr int LMR_WINNING_CAPTURE_SCORE = 151;
// Null-move pruning needs the static evaluation this far above beta.
constexpr int NMP_EVAL_MARGIN = 14;
// Quiescence delta pruning: the margin below alpha at the horizon and above it (quiet checks
// only at depth 0 and above), and the gain granted to checks and to pawn moves near promotion.
constexpr int QS_DELTA_MARGIN = 150;
constexpr int QS_DELTA_MARGIN_ABOVE_HORIZON = 450;
constexpr int QS_GAIN_CHECK = 20000;
constexpr int QS_GAIN_PAWN_ADVANCE = 2000;

// Whether `side` has a piece other than king and pawns.
inline bool has_pieces(const Position& pos, int side) { return (pos.material[side] >> 4) != 0; }
// Whether a captured piece type (1-6) is a knight, bishop, rook or queen.
inline bool is_piece_type_capture(int captured) { return (captured & 6) != 0; }

inline void copy_pv(Move* pv, const Move* child, int from_ply) {
    for (int p = from_ply; p <= MAX_PLY; p++) {
        pv[p] = child[p];
        if (!child[p]) break;
    }
}

// Holds the main search thread below the target speed of the strength limit, then applies the
// node limit.
void main_thread_checks(SearchThread& t) {
    SearchControl& c = search_control;
    if (c.nps_limited && c.depth > 1) {
        while (c.nps_limited && !search_stopped() &&
               double(t.counters[CNT_NODES]) / (double(search_elapsed()) + 0.0001) > c.target_nps) {
            platform::sleep_ms(1);
            clock_check();
        }
    }
    if (t.counters[CNT_NODES] > t.node_limit && t.completed_depth > 1 && t.fail_state != ROOT_FAIL_LOW) c.stop = 1;
}

// A reason not to trust a high static evaluation: a piece of the side to move that the
// opponent wins enough of, or an opponent pawn that advances safely to its seventh or last rank.
bool has_threat(const Position& pos, int side, int eval, int beta) {
    const int opp = side ^ 1;
    const u64 occ = occupancy(pos);
    u64 own = pos.pieces[side * 8];
    while (own) {
        const int sq = pop_lsb(own);
        const int type = piece_type(pos.board[sq]);
        if (beta <= eval - SeeValue[type]) continue;
        const int gain = see_gain(pos, opp, sq, type, occ);
        if (beta > eval - gain) return true;
    }
    const u64 advanced = opp == WHITE ? (RANK_6 | RANK_7) : (RANK_3 | RANK_2);
    u64 pawns = pieces_of(pos, opp, PAWN) & advanced;
    while (pawns) {
        const int from = pop_lsb(pawns);
        const int to = from + PAWN_PUSH[opp];
        if (pos.board[to]) continue;
        if (see_move(pos, opp, from, to) >= 0) return true;
    }
    return false;
}

int search_moves(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int node_kind, Move* pv) {
    SearchStackEntry& s = t.stack[ply];
    Position& pos = t.pos;
    const SearchParams& sp = search_params;
    int best = SCORE_NONE;
    Move best_move = 0;
    s.alpha = i16(alpha);
    s.beta = i16(beta);
    s.move_count = 0;
    const Move hash_move = s.hash_move;
    picker_start(t, ply, PICK_MAIN_MODE, hash_move);
    bool hash_done = false;
    Move child_pv[PV_SIZE + 1];
    while (MoveEntry* e = next_move(t, ply)) {
        const Move move = e->move;
        if (move == hash_move && hash_move) {
            if (hash_done) continue;
            hash_done = true;
        }
        if (!is_legal(pos, side, move)) continue;
        const int flags = move_flags(pos, side, *e);
        s.current_flags = u16(flags);
        const bool quiet = is_quiet_move(flags);
        int r = 0;
        bool full_window = s.move_count == 0 || depth < 2;
        // No pruning or reduction until a move has scored better than mated.
        if (!is_loss_score(best)) {
            // Late-move pruning; evasions are never pruned.
            if (depth <= sp.LMP_depth && node_kind != NODE_PV) {
                if (quiet) {
                    const int limit = e->score / 8 + 1 + 2 * depth + (s.improving ? 3 : 0);
                    if (!s.in_check && (s.move_count >= limit || !capture_ok(pos, move))) continue;
                } else {
                    const bool safe = capture_ok(pos, move);
                    if (depth <= 1 && !safe && !s.in_check) continue;
                    if (safe && depth < sp.LMR_depth) full_window = true;
                }
            }
            if (depth >= sp.LMR_depth && !full_window) {
                const int d = depth < 30 ? depth : 30;
                const int n = s.move_count < 30 ? s.move_count : 30;
                if (node_kind == NODE_PV) {
                    r = quiet ? sp.LMR_PV[d][n] : 0;
                } else {
                    r = sp.LMR_NONPV[d][n];
                    if (!quiet) r = e->score >= LMR_WINNING_CAPTURE_SCORE ? 0 : (r > 0 ? 1 : 0);
                }
                if (!capture_ok(pos, move)) r++;
                if (r > d - 1) r = d - 1;
            }
        }
        s.current_move = move;
        s.current_piece = e->piece;
        make_move(pos, move);
        int v;
        if (full_window) {
            v = -search(t, side ^ 1, ply + 1, depth - 1, -beta, -alpha, -node_kind, child_pv);
        } else {
            v = -search(t, side ^ 1, ply + 1, depth - 1 - r, -alpha - 1, -alpha, NODE_CUT, child_pv);
            if (v > alpha && !search_stopped())
                v = -search(t, side ^ 1, ply + 1, depth - 1, -beta, -alpha, node_kind == NODE_PV ? NODE_PV : NODE_ALL,
                            child_pv);
        }
        unmake_move(pos);
        if (search_stopped()) return 0;
        s.move_count++;
        if (e->captured == 0 && depth > 0) update_quiet_history(t, ply, depth, *e, v > alpha);
        if (v > best) {
            best = v;
            best_move = move;
            pv[ply] = move;
            pv[ply + 1] = 0;
            if (v > alpha) {
                if (v >= beta) break;
                if (ply < MAX_PLY) copy_pv(pv, child_pv, ply + 1);
                alpha = v;
            }
        }
    }
    if (s.move_count == 0) best = s.in_check ? ply - SCORE_MATE : 0;
    if (depth >= -5) tt_store(pos, ply, depth, best_move, s.eval, best, s.alpha, s.beta);
    return best;
}

}  // namespace

int search(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int node_kind, Move* pv) {
    count_up(t.counters[CNT_NODES]);
    if (t.index == 0) main_thread_checks(t);
    if (search_stopped()) return 0;
    Position& pos = t.pos;
    if (ply > t.seldepth) shared_write(t.seldepth, ply);
    if (depth >= -5 && tt.block) __builtin_prefetch(tt.half[pos.side] + (u32(pos.key) & tt.mask));

    SearchStackEntry& s = t.stack[ply];
    const SearchStackEntry& parent = t.stack[ply - 1];
    s.node_kind = i16(node_kind);
    s.alpha = i16(alpha);
    s.beta = i16(beta);
    s.in_check = 0;
    s.current_flags = 0;
    s.move_count = 0;
    s.improving = 0;
    s.tb_result = -1;
    s.hash_move = 0;
    s.checker = NO_SQUARE;
    s.current_move = 0;
    s.null_move = 0;
    t.stack[ply + 1].killer1 = t.stack[ply + 1].killer2 = t.stack[ply + 1].check_killer = 0;
    pv[ply] = pv[ply + 1] = 0;

    if (alpha < ply - SCORE_MATE) alpha = ply - SCORE_MATE;
    if (beta > SCORE_MATE - 1 - ply) beta = SCORE_MATE - 1 - ply;
    if (alpha >= beta) return alpha;

    s.checker = u8(checker_square(pos));
    const bool in_check = s.checker != NO_SQUARE;
    s.in_check = in_check;
    if (is_draw(pos, ply)) return 0;
    if (ply >= MAX_PLY) return in_check ? 0 : evaluate(pos, t.eval, side, ply, false);
    if (node_kind != NODE_PV && pos.rule50 + depth > 100) beta = 0;

    if (in_check) {
        depth = depth + 1 < 0 ? 0 : depth + 1;
    } else if (!has_pieces(pos, side) && pos.owner->count > 0 &&
               is_piece_type_capture(pos.owner->entries[pos.owner->count - 1].captured)) {
        depth++;
    } else if ((parent.current_flags & MF_SEVENTH_RANK) && depth <= 2) {
        depth++;
    }
    s.depth = i16(depth);

    int eval = SCORE_NONE;
    int tt_depth = 0;
    bool tt_upper = false, tt_lower = false;
    if (in_check || depth >= -5) {
        int score = 0, entry_eval = 0, bound = 0;
        Move move = 0;
        if (tt_probe(pos, &score, &entry_eval, &tt_depth, &move, &bound, t.counters)) {
            score = score_from_tt(score, ply);
            if (pos.rule50 + tt_depth >= 101) score = 0;
            tt_upper = score <= alpha && bound != BOUND_LOWER;
            tt_lower = score >= beta && bound != BOUND_UPPER;
            if (tt_depth >= depth && node_kind != NODE_PV) {
                if (bound == BOUND_EXACT) return score;
                if (tt_upper) return alpha;
                if (tt_lower) return beta;
            }
            s.hash_move = move;
            eval = entry_eval;
        } else if (!tt.block || !search_control.hash_in_use) {
            tt_depth = 0;
        }
    }

    if (search_hooks.probe_wdl) {
        int result = -1;
        if (parent.tb_result != -1) {
            result = search_hooks.probe_wdl(pos, 256);
            if (result != -1 && 4 - parent.tb_result < result) return beta;
        } else if (pos.rule50 == 0) {
            result = search_hooks.probe_wdl(pos, depth);
        }
        if (result != -1) {
            s.tb_result = result;
            count_up(t.counters[CNT_TB_HITS]);
            if (result == 4 && beta < SCORE_DECISIVE) return beta;
            if (result == 0 && alpha > -SCORE_DECISIVE) return alpha;
        }
    }

    if (eval == SCORE_NONE) {
        eval = evaluate(pos, t.eval, side, ply, in_check);
        if (s.tb_result == 0) eval -= TB_EVAL_SHIFT;
        else if (s.tb_result == 2)
            eval /= 4;
        else if (s.tb_result == 4)
            eval += TB_EVAL_SHIFT;
    }
    s.eval = i16(eval);
    s.improving = eval > t.stack[ply - 2 >= 0 ? ply - 2 : 0].eval;

    if (in_check) return search_moves(t, side, ply, depth, alpha, beta, node_kind, pv);
    if (depth <= 0) return qsearch(t, side, ply, depth, alpha, beta, node_kind, pv);

    const SearchParams& sp = search_params;
    if (depth <= sp.FP_depth && alpha - sp.FP_margin[depth] >= eval && !tt_lower && node_kind != NODE_PV) {
        const Move hash_move = s.hash_move;  // the quiescence picker shares this stack entry
        int v = qsearch(t, side, ply, depth, alpha, beta, node_kind, pv);
        if (search_stopped()) return 0;
        if (v <= alpha) return alpha;
        if (v >= beta) return beta;
        s.hash_move = hash_move;
        s.alpha = i16(alpha);
        s.beta = i16(beta);
    }
    if (depth <= sp.SEP_depth && eval >= beta + sp.SEP_margin[depth] && !tt_upper && node_kind == NODE_CUT &&
        has_pieces(pos, side) && !has_threat(pos, side, eval, beta))
        return beta;

    if (depth >= sp.NMP_depth && eval > beta + NMP_EVAL_MARGIN && !tt_upper && node_kind == NODE_CUT &&
        has_pieces(pos, side) && !parent.null_move && !(ply >= 2 && t.stack[ply - 2].null_move)) {
        int R = depth > 23 ? depth / 8 + 3 : 5;
        if (depth <= R) R = depth - 1;
        s.current_move = 0;
        s.null_move = 1;
        make_null(pos);
        int v = -search(t, side ^ 1, ply + 1, depth - R - 1, -beta, -alpha, NODE_ALL, pv);
        unmake_null(pos);
        s.null_move = 0;
        pv[ply] = pv[ply + 1] = 0;
        if (search_stopped()) return 0;
        if (v >= beta) {
            if (depth <= 5) return beta;
            depth -= 5;
        }
    }

    const int iid_depth = node_kind == NODE_PV ? depth - 3 : depth / 2 - 1;
    if (iid_depth >= 1 && tt_depth < iid_depth) {
        search_moves(t, side, ply, iid_depth, alpha, beta, node_kind, pv);
        if (search_stopped()) return 0;
        s.hash_move = pv[ply];
    }
    return search_moves(t, side, ply, depth, alpha, beta, node_kind, pv);
}

int qsearch(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int node_kind, Move* pv) {
    SearchStackEntry& s = t.stack[ply];
    Position& pos = t.pos;
    const int stand = s.eval;
    if (stand >= beta) return beta;
    const int floor = alpha > stand ? alpha : stand;
    const int delta = depth >= 1 ? QS_DELTA_MARGIN_ABOVE_HORIZON : QS_DELTA_MARGIN;
    s.alpha = i16(floor);
    s.beta = i16(beta);
    s.move_count = 0;
    int best = stand;
    Move best_move = 0;
    picker_start(t, ply, depth >= 0 ? PICK_QUIESCENCE_CHECKS : PICK_QUIESCENCE, 0);
    Move child_pv[PV_SIZE + 1];
    bool cutoff = false;
    while (MoveEntry* e = next_move(t, ply)) {
        const Move move = e->move;
        const int flags = move_flags(pos, side, *e);
        int gain;
        if (flags & MF_CHECK) gain = QS_GAIN_CHECK;
        else if (flags & (MF_PROMOTION_RANK | MF_SEVENTH_RANK))
            gain = QS_GAIN_PAWN_ADVANCE;
        else if (piece_type(e->piece) == PAWN &&
                 (side == WHITE ? square_rank(move_to(move)) == 5 : square_rank(move_to(move)) == 2))
            gain = QS_GAIN_PAWN_ADVANCE;
        else
            gain = SeeValue[piece_type(e->captured)];
        if (gain + stand <= floor - delta) continue;
        if (!capture_ok(pos, move)) continue;
        if (!is_legal(pos, side, move)) continue;
        s.current_flags = u16(flags);
        s.current_move = move;
        s.current_piece = e->piece;
        make_move(pos, move);
        int v = -search(t, side ^ 1, ply + 1, depth - 1, -beta, -floor, -node_kind, child_pv);
        unmake_move(pos);
        if (search_stopped()) return 0;
        s.move_count++;
        if (v <= floor || v <= best) continue;
        best = v;
        best_move = move;
        pv[ply] = move;
        pv[ply + 1] = 0;
        if (best >= beta) {
            cutoff = true;
            break;
        }
        if (ply + 1 <= MAX_PLY) copy_pv(pv, child_pv, ply + 1);
    }
    if (cutoff && depth >= -5) tt_store(pos, ply, depth < 0 ? depth : 0, best_move, s.eval, best, floor, beta);
    return best;
}
