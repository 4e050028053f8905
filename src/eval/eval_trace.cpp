#include "eval/eval_trace.h"

#include <cstdio>
#include <cstring>

#include "board/tables.h"
#include "core/output.h"
#include "eval/eval.h"
#include "eval/nn.h"

namespace {

constexpr HceScalar MATERIAL_PARAM[5] = {P_MTL_PAWN, P_MTL_KNIGHT, P_MTL_BISHOP, P_MTL_ROOK, P_MTL_QUEEN};
constexpr const char* MATERIAL_ROW[5] = {"pawns:", "knights:", "bishops:", "rooks:", "queens:"};
constexpr TraceGroup OTHER_GROUPS[4] = {TG_KING, TG_PASSED, TG_THREATS, TG_SPECIAL};
constexpr const char* OTHER_ROW[4] = {"king:", "ppawns:", "threats:", "special:"};
constexpr const char* PST_TITLES[HCE_PST_COUNT] = {"Pawn1",  "Pawn2", "Connected Pawn", "Defended Pawn", "Knight",
                                                   "Bishop", "Rook",  "Queen",          "King "};
// The breakdown shows no scale factor: the field is printed as a constant.
constexpr double SHOWN_SCALE_FACTOR = 1.0;


// Material of one piece kind (pawn = 0 .. queen = 4) for a colour.
int material_of(const Position& pos, int colour, int kind, float phase) {
    const int n = material_count(pos.material[colour], kind + PAWN);
    return taper_score(ScorePair(u32(hce_scalar[MATERIAL_PARAM[kind]]->score) * u32(n)), phase);
}

void print_squares(const char* title, u64 squares) {
    if (!squares) return;
    char text[400];
    int n = snprintf(text, sizeof text, "%s", title);
    for (int sq = 0; sq < 64 && n < int(sizeof text) - 4; sq++)
        if (squares & square_bit(sq)) n += snprintf(text + n, sizeof text - size_t(n), " %s", SquareNames[sq]);
    print_line("%s", text);
}

void print_parameters() {
    for (int i = 0; i < param_table.count; i++) {
        const HceParam& p = param_table.entries[i];
        if (strstr(p.name, "PST_") || strstr(p.name, "ttune")) continue;
        print_line("%-22s  %4d , %4d", p.name, score_mg(p.score), score_eg(p.score));
    }
    for (int t = 0; t < HCE_PST_COUNT; t++) print_pst(PST_TITLES[t], hce_pst[t]);
}

}  // namespace

void print_pst(const char* title, HceParam* const squares[64]) {
    print_line("%s", title);
    for (int rank = 7; rank >= 0; rank--) {
        char text[160];
        int n = 0;
        for (int file = 0; file < 8; file++)
            n += snprintf(text + n, sizeof text - size_t(n), " %3d", score_mg(squares[rank * 8 + file]->score));
        n += snprintf(text + n, sizeof text - size_t(n), "     ");
        for (int file = 0; file < 8; file++)
            n += snprintf(text + n, sizeof text - size_t(n), " %3d", score_eg(squares[rank * 8 + file]->score));
        print_line("%s", text);
    }
    print_line("%s", "");
}

void show_eval_trace(Position& pos, EvalState& es, int level, int qscore) {
    EvalScratch& sc = es.scratch;
    const int nne = nn_ready(es) ? nn_evaluate(pos, es) : 0;
    sc.recording = 1;
    const int hce = evaluate_hce(pos, es);
    sc.recording = 0;
    const float phase = sc.phase;

    print_line("           white  black      md");
    int material[2][5];
    for (int c = 0; c < 2; c++)
        for (int k = 0; k < 5; k++) material[c][k] = material_of(pos, c, k, phase);
    for (int k = 0; k < 5; k++) {
        const int w = taper_score(sc.deltas[WHITE][k], phase) - material[WHITE][k];
        const int b = taper_score(sc.deltas[BLACK][k], phase) - material[BLACK][k];
        print_line("%-10s  %4d   %4d    %4d", MATERIAL_ROW[k], w, b, material[WHITE][k] - material[BLACK][k]);
    }
    for (int g = 0; g < 4; g++) {
        const int w = taper_score(sc.deltas[WHITE][OTHER_GROUPS[g]], phase);
        const int b = taper_score(sc.deltas[BLACK][OTHER_GROUPS[g]], phase);
        print_line("%-10s  %4d   %4d    %4d", OTHER_ROW[g], w, b, 0);
    }
    print_squares("hung pieces on: ", sc.hung);
    print_squares("free pawns on: ", sc.free_passers);

    int mtl = 0;
    for (int k = 0; k < 5; k++) mtl += material[pos.side][k] - material[pos.side ^ 1][k];
    print_line("nne= %d, hce= %d, qscore= %d, mtl= %d, phase= %0.2f, sf= %0.2f, rule50= %d\n", nne, hce, qscore, mtl,
               double(phase), SHOWN_SCALE_FACTOR, int(pos.rule50));
    if (level >= TRACE_WITH_PARAMETERS) print_parameters();
}
