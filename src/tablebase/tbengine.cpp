// The engine-side entries: the search's WDL probe with its depth limits, the DTZ ranking of
// the root moves, and the inspection probe.
#include "core/settings.h"
#include "tablebase/tablebase.h"
#include "tablebase/tbinternal.h"

namespace {

constexpr int ILLEGAL_MOVE = 32767;

// 6-piece positions are probed from the configured depth on, 7-piece positions from at least
// depth 7 (and never earlier than 6-piece ones).
void probe_depths(int* depth6, int* depth7) {
    int d6 = settings.probe_depth6;
    d6 = d6 < -5 ? -5 : d6 > 100 ? 100 : d6;
    int d7 = settings.probe_depth7;
    if (d7 < d6) d7 = d6;
    if (d7 < 7) d7 = 7;
    *depth6 = d6;
    *depth7 = d7;
}

Move engine_move(TbMove m) {
    constexpr Move PROMOTION_FLAG[5] = {0, FLAG_PROMO_QUEEN, FLAG_PROMO_ROOK, FLAG_PROMO_BISHOP, FLAG_PROMO_KNIGHT};
    return make_move_code(tb_move_from(m), tb_move_to(m), PROMOTION_FLAG[tb_move_promotes(m)]);
}

}  // namespace

bool tb_probe_allowed(int pieces, int depth, bool castling) {
    if (castling || pieces > TB_LARGEST) return false;
    int depth6, depth7;
    probe_depths(&depth6, &depth7);
    if (pieces >= 6 && depth < depth6) return false;
    if (pieces >= 7 && depth < depth7) return false;
    return true;
}

int tb_probe_wdl(const Position& pos, int depth) {
    if (!tb_probe_allowed(popcount(occupancy(pos)), depth, pos.castling != 0)) return -1;
    TbPosition tp;
    if (tb_position_from_board(pos, 0, tp) != 0) return -1;
    int success;
    const int wdl = probe_wdl(tp, &success);
    return success ? wdl + 2 : -1;
}

int tb_probe_root(const Position& pos, TbRootResult* out) {
    if (!out || pos.castling) return -1;
    if (popcount(occupancy(pos)) > TB_LARGEST) return -1;
    TbPosition root;
    if (tb_position_from_board(pos, pos.rule50, root) != 0) return -1;
    int success;
    const int dtz = probe_dtz(root, &success);
    if (!success) return -1;

    TbMove moves[TB_MAX_MOVES];
    int values[TB_MAX_MOVES];
    const int n = tb_gen_moves(root, moves);
    int drawing = 0;
    TbPosition next;
    for (int i = 0; i < n; i++) {
        if (!tb_do_move(next, root, moves[i])) {
            values[i] = ILLEGAL_MOVE;
            continue;
        }
        int v;
        if (dtz > 0 && tb_is_mate(next)) {
            v = 1;
        } else if (next.rule50 != 0) {
            v = -probe_dtz(next, &success);
            if (v > 0) v++;
            else if (v < 0) v--;
        } else {
            v = WDL_TO_DTZ[2 - probe_wdl(next, &success)];
        }
        if (!success) return -1;
        values[i] = v;
        if (v == 0) drawing++;
    }

    int chosen = -1;
    if (dtz > 0) {
        for (int i = 0; i < n; i++)
            if (values[i] > 0 && values[i] != ILLEGAL_MOVE && (chosen < 0 || values[i] < values[chosen])) chosen = i;
    } else if (dtz < 0) {
        for (int i = 0; i < n; i++)
            if (values[i] < 0 && (chosen < 0 || values[i] < values[chosen])) chosen = i;
    } else if (drawing > 0) {
        // Among equal draws the material key picks one, so a position always gets the same move.
        u64 k = tb_material_key(root, !root.turn) % u64(drawing);
        for (int i = 0; i < n && chosen < 0; i++)
            if (values[i] == 0 && k-- == 0) chosen = i;
    }
    if (chosen < 0) return -1;

    const int rule50 = root.rule50;
    out->move = engine_move(moves[chosen]);
    out->dtz = dtz;
    out->ep = tb_is_en_passant(root, moves[chosen]);
    if (dtz > 0) out->wdl_class = rule50 + dtz <= 100 ? 4 : 3;
    else if (dtz < 0) out->wdl_class = rule50 - dtz <= 100 ? 0 : 1;
    else out->wdl_class = 2;
    return 0;
}

int tb_probe_position(const Position& pos, int* wdl, int* dtz) {
    if (!wdl || !dtz || pos.castling) return -1;
    const int pieces = popcount(occupancy(pos));
    if (pieces > TB_LARGEST && pieces > 2) return -1;
    TbPosition tp;
    if (tb_position_from_board(pos, pos.rule50, tp) != 0) return -1;
    int success;
    const int w = probe_wdl(tp, &success);
    if (!success) return -1;
    *wdl = w;
    *dtz = 0;
    const int d = probe_dtz(tp, &success);
    if (!success) return 1;
    *dtz = d;
    return 0;
}
