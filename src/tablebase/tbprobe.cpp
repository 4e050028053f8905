// WDL and DTZ probes on top of the table lookup. The tables store positions as if no capture
// were better, so captures (en passant included) are resolved by a small alpha-beta search;
// DTZ files that hold only the other side to move are answered by a one-ply search.
#include <climits>

#include "tablebase/tbinternal.h"

namespace {

int probe_ab(const TbPosition& pos, int alpha, int beta, int* success) {
    TbMove moves[TB_MAX_MOVES];
    const int n = tb_gen_captures(pos, moves);
    TbPosition next;
    for (int i = 0; i < n; i++) {
        if (!tb_do_move(next, pos, moves[i])) continue;
        const int v = -probe_ab(next, -beta, -alpha, success);
        if (*success == 0) return 0;
        if (v > alpha) {
            if (v >= beta) return v;
            alpha = v;
        }
    }
    const int v = probe_table(pos, TB_WDL, 0, success);
    if (*success == 0) return 0;
    return alpha >= v ? alpha : v;
}

// Whether the side to move has a legal move other than an en-passant capture.
bool has_legal_non_ep_move(const TbPosition& pos) {
    TbMove moves[TB_MAX_MOVES];
    const int n = tb_gen_moves(pos, moves);
    TbPosition next;
    for (int i = 0; i < n; i++)
        if (!tb_is_en_passant(pos, moves[i]) && tb_do_move(next, pos, moves[i])) return true;
    return false;
}

}  // namespace

// `success` ends as 1 for a table answer, 2 when a capture decides the result, 0 on failure.
int probe_wdl(const TbPosition& pos, int* success) {
    *success = 1;
    TbMove moves[TB_MAX_MOVES];
    const int n = tb_gen_captures(pos, moves);
    int best_capture = -3, best_ep = -3;
    TbPosition next;
    for (int i = 0; i < n; i++) {
        if (!tb_do_move(next, pos, moves[i])) continue;
        const int v = -probe_ab(next, -2, -best_capture, success);
        if (*success == 0) return 0;
        if (v > best_capture) {
            if (v == 2) {
                *success = 2;
                return 2;
            }
            if (!tb_is_en_passant(pos, moves[i])) best_capture = v;
            else if (v > best_ep) best_ep = v;
        }
    }

    const int v = probe_table(pos, TB_WDL, 0, success);
    if (*success == 0) return 0;

    // An en-passant capture the table does not know about may be better than the stored value.
    if (best_ep > best_capture) {
        if (best_ep > v) {
            *success = 2;
            return best_ep;
        }
        best_capture = best_ep;
    }
    if (best_capture >= v) {
        *success = 1 + (best_capture > 0);
        return best_capture;
    }
    // The table sees a stalemate where en passant is in fact the only legal move.
    if (best_ep > -3 && v == 0 && !has_legal_non_ep_move(pos) && !tb_is_check(pos)) {
        *success = 2;
        return best_ep;
    }
    return v;
}

int probe_dtz(const TbPosition& pos, int* success) {
    const int wdl = probe_wdl(pos, success);
    if (*success == 0 || wdl == 0) return 0;
    if (*success == 2) return WDL_TO_DTZ[wdl + 2];

    TbMove moves[TB_MAX_MOVES];
    const int n = tb_gen_moves(pos, moves);
    TbPosition next;

    // A winning pawn push zeroes the counter at once.
    if (wdl > 0) {
        for (int i = 0; i < n; i++) {
            if (!tb_is_pawn_move(pos, moves[i]) || tb_is_capture(pos, moves[i])) continue;
            if (!tb_do_move(next, pos, moves[i])) continue;
            const int v = -probe_wdl(next, success);
            if (*success == 0) return 0;
            if (v == wdl) return WDL_TO_DTZ[wdl + 2];
        }
    }

    *success = 1;
    const int dtz = probe_table(pos, TB_DTZ, wdl, success);
    if (*success > 0) return WDL_TO_DTZ[wdl + 2] + (wdl > 0 ? dtz : -dtz);
    if (*success == 0) return 0;

    // The file holds the other side to move: one ply over the moves that do not zero.
    int best = wdl > 0 ? INT_MAX : WDL_TO_DTZ[wdl + 2];
    for (int i = 0; i < n; i++) {
        if (tb_is_pawn_move(pos, moves[i]) || tb_is_capture(pos, moves[i])) continue;
        if (!tb_do_move(next, pos, moves[i])) continue;
        const int v = -probe_dtz(next, success);
        if (*success == 0) return 0;
        if (v == 1 && tb_is_mate(next)) {
            best = 1;
        } else if (wdl > 0) {
            if (v > 0 && v + 1 < best) best = v + 1;
        } else if (v - 1 < best) {
            best = v - 1;
        }
    }
    if (best == INT_MAX) {
        *success = 0;
        return 0;
    }
    *success = 1;
    return best;
}
