// The single evaluation entry of the search: special endgames, the per-thread evaluation cache,
// the choice between network and hand-crafted evaluation, and contempt.
#include <algorithm>
#include <cstring>

#include "board/bitboard.h"
#include "core/output.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "eval/nn.h"

namespace {

struct MaterialCounts {
    int pawns[2], minors[2], rooks[2], queens[2], knights[2], bishops[2];
};

MaterialCounts unpack(const Position& pos) {
    MaterialCounts m;
    for (int c = 0; c < 2; c++) {
        u32 w = pos.material[c];
        m.pawns[c] = material_count(w, PAWN);
        m.knights[c] = material_count(w, KNIGHT);
        m.bishops[c] = material_count(w, BISHOP);
        m.minors[c] = m.knights[c] + m.bishops[c];
        m.rooks[c] = material_count(w, ROOK);
        m.queens[c] = material_count(w, QUEEN);
    }
    return m;
}

bool bare(const MaterialCounts& m, int c) {
    return m.pawns[c] + m.minors[c] + m.rooks[c] + m.queens[c] == 0;
}

// Endgames scored here instead of by the evaluation proper; SCORE_NONE for every other position.
int special_endgame(const Position& pos, const MaterialCounts& m) {
    bool heavy_or_pawns = m.pawns[0] + m.pawns[1] + m.rooks[0] + m.rooks[1] + m.queens[0] + m.queens[1] > 0;
    if (!heavy_or_pawns) {
        if (m.minors[0] <= 1 && m.minors[1] <= 1) return 0;
        for (int c = 0; c < 2; c++)
            if (m.knights[c] == 2 && m.bishops[c] == 0 && bare(m, c ^ 1)) return 0;
        if (!bare(m, 0) && !bare(m, 1)) return SCORE_NONE;
    } else {
        if (!bare(m, 0) && !bare(m, 1)) return SCORE_NONE;
        if (m.rooks[0] + m.rooks[1] + m.queens[0] + m.queens[1] > 0) return mop_up_score(pos);
    }
    // A bare king against minors and pawns.
    int strong = bare(m, BLACK) ? WHITE : BLACK;
    if (m.bishops[strong] == 1 && m.knights[strong] == 1 && m.pawns[strong] == 0)
        return bishop_knight_score(pos, strong);
    if (m.pawns[strong] == 1 && m.minors[strong] == 0) return king_pawn_score(pos, strong);
    return SCORE_NONE;
}

// Cached scores belong to one network and one choice of evaluation: when either changed since
// this thread last evaluated, forget the evaluation cache and the accumulator cache.
void follow_evaluation_changes(EvalState& es) {
    const u64 current = network.generation * 2 + (settings.use_nn ? 1 : 0);
    if (es.cache_generation == current) return;
    memset(es.cache, 0, sizeof es.cache);
    es.nn.cache_valid = 0;
    es.cache_generation = current;
}

}  // namespace

int damp_opposite_bishops(const Position& pos, int score) {
    for (int c = 0; c < 2; c++) {
        u32 w = pos.material[c];
        if (material_count(w, ROOK) + material_count(w, QUEEN) != 0 || material_count(w, BISHOP) != 1)
            return score;
    }
    u64 wb = pieces_of(pos, WHITE, BISHOP), bb = pieces_of(pos, BLACK, BISHOP);
    bool opposite = ((wb & LIGHT_SQUARES) && (bb & DARK_SQUARES)) || ((wb & DARK_SQUARES) && (bb & LIGHT_SQUARES));
    return opposite ? score - score / 4 : score;
}

int contempt_adjustment(const Position& pos) {
    MaterialCounts m = unpack(pos);
    int queens = m.queens[0] + m.queens[1], rooks = m.rooks[0] + m.rooks[1];
    int minors = m.minors[0] + m.minors[1], pawns = m.pawns[0] + m.pawns[1];
    int total = std::max(1000, 1060 * queens + 550 * rooks + 350 * minors);
    int pawn_part = std::min(100 * pawns, 1200);
    int x = total + 2 * pawn_part - 1000;
    double adj = double(settings.contempt) * x / 8500.0 + double(settings.contempt_bias) * (x - 4250) / 4250.0;
    return int(adj);
}

int evaluate(Position& pos, EvalState& es, int side, int ply, bool in_check) {
    es.ply = ply;
    es.scratch.level = i16(ply);
    es.evals++;
    if (in_check) return ply - SCORE_MATE;
    if (pos.king_sq[0] >= 64 || pos.king_sq[1] >= 64) return 0;

    int s = special_endgame(pos, unpack(pos));
    if (s != SCORE_NONE) return s;

    follow_evaluation_changes(es);
    EvalCacheEntry& e = es.cache[pos.key & (EVAL_CACHE_SIZE - 1)];
    if (e.key == pos.key && ply > 2) {
        es.cache_hits++;
        return e.score;
    }

    if (settings.use_nn && nn_ready(es)) s = damp_opposite_bishops(pos, nn_evaluate(pos, es));
    else s = evaluate_hce(pos, es);

    if (search_control.game_plies > 4 && !(search_control.search_state & SEARCH_BENCH)) {
        int adj = contempt_adjustment(pos);
        s += side == search_control.root_side ? adj : -adj;
    }
    // However lopsided the material, a static score must never read as a mate.
    s = clamp_int(s, -EVAL_LIMIT, EVAL_LIMIT);
    e.key = pos.key;
    e.score = i16(s);
    return s;
}

void eval_startup_note() {
    static bool printed = false;
    if (printed || !settings.use_nn) return;
    printed = true;
    print_line("info string no network available, using the hand-crafted evaluation");
}

int eval_state_init(EvalState& es) { return network.loaded ? nn_reserve(es, int(network.image.header.hidden)) : 0; }

void eval_state_release(EvalState& es) { nn_release(es); }
