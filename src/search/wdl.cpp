// Fitted by scripts/fit_wdl.mjs to the 4,085 self-play games of
// selfplay-hce-5000n-2026-12-09.pgn.gz (477,034 scored positions; the mover's own search score
// against the game's result): maximum likelihood of
//   win = 1 / (1 + exp((a(m) - v) / b(m))),  loss = 1 / (1 + exp((a(m) + v) / b(m))),
//   draw = 1 - win - loss,
// for a score v in centipawns and m = (material - 47.5) / 30.5, the material clamped to
// [17, 78], with a and b cubic in m. a is the score at which a win is as likely as not (about
// 94 cp with a full board, 300 cp with little material left); b is the spread.
#include "search/wdl.h"

#include <cmath>

namespace {

constexpr double WDL_A[4] = {-92.643, 91.868, -26.303, 94.175};
constexpr double WDL_B[4] = {-24.771, 16.576, 35.363, 115.889};
constexpr int MATERIAL_MIN = 17;
constexpr int MATERIAL_MAX = 78;
constexpr double MATERIAL_MID = 47.5;
constexpr double MATERIAL_HALF_RANGE = 30.5;
constexpr int PIECE_WORTH[8] = {0, 1, 3, 3, 5, 9, 0, 0};

double cubic(const double (&c)[4], double x) { return ((c[0] * x + c[1]) * x + c[2]) * x + c[3]; }

}  // namespace

int wdl_material(const Position& pos) {
    int m = 0;
    for (int side = 0; side < 2; side++)
        for (int type = PAWN; type <= QUEEN; type++) m += PIECE_WORTH[type] * material_count(pos.material[side], type);
    return m;
}

WdlRates wdl_from_score(int score, int material) {
    const double m = (clamp_int(material, MATERIAL_MIN, MATERIAL_MAX) - MATERIAL_MID) / MATERIAL_HALF_RANGE;
    const double a = cubic(WDL_A, m), b = cubic(WDL_B, m);
    const double v = score;
    const double win = 1.0 / (1.0 + std::exp((a - v) / b));
    const double loss = 1.0 / (1.0 + std::exp((a + v) / b));
    WdlRates r;
    r.win = int(std::lround(1000.0 * win));
    r.loss = int(std::lround(1000.0 * loss));
    if (r.win + r.loss > 1000) r.loss = 1000 - r.win;
    r.draw = 1000 - r.win - r.loss;
    return r;
}
