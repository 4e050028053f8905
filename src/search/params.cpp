#include "search/params.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/output.h"
#include "core/settings.h"

SearchParams search_params;

namespace {

// Nearest integer, halves away from zero.
int round_half_away(float v) { return int(v < 0 ? v - 0.5f : v + 0.5f); }

}  // namespace

void build_search_params() {
    SearchParams& p = search_params;
    const Settings& s = settings;
    p.SEP_depth = clamp_int(s.SEP_depth, -1, MARGIN_SIZE - 1);
    p.FP_depth = clamp_int(s.FP_depth, -1, MARGIN_SIZE - 1);
    p.NMP_depth = s.NMP_depth;
    p.LMP_depth = s.LMP_depth;
    p.LMR_depth = s.LMR_depth;

    const int sel = clamp_int(s.selectivity, 20, 200);
    const float f = float(1.5 / (sel * 0.01 + 0.5));
    p.fp_unit = int(f * 90);
    p.sep_unit = int(f * 60);
    for (int i = 0; i < MARGIN_SIZE; i++) {
        p.FP_margin[i] = i16(i <= p.FP_depth ? 50 + p.fp_unit * i : 1500);
        p.SEP_margin[i] = i16(i <= p.SEP_depth ? p.sep_unit * i : 1500);
    }
    for (int d = 0; d < LMR_SIZE; d++) {
        for (int n = 0; n < LMR_SIZE; n++) {
            if (d <= 2 || n == 0) {
                p.LMR_PV[d][n] = p.LMR_NONPV[d][n] = 0;
                continue;
            }
            const double root = 0.23 * std::sqrt(double(d * n));
            const float a = float(root - 0.5);
            const float b = float(root + 0.6);
            int pv = a * sel > 300 ? 3 : round_half_away(a * float(sel) * 0.01f);
            p.LMR_PV[d][n] = i8(pv < 0 ? 0 : pv);
            int nonpv = b * sel > 500 ? 5 : round_half_away(b * float(sel) * 0.01f);
            p.LMR_NONPV[d][n] = i8(nonpv < 0 ? 0 : nonpv);
        }
    }
}

void print_search_params() {
    const SearchParams& p = search_params;
    char line[512];
    int n = snprintf(line, sizeof line, "FP_margins= ");
    for (int i = 1; i <= 7; i++) n += snprintf(line + n, sizeof line - size_t(n), " %d", p.FP_margin[i]);
    print_line("%s", line);
    n = snprintf(line, sizeof line, "SEP_margins= ");
    for (int i = 1; i <= 7; i++) n += snprintf(line + n, sizeof line - size_t(n), " %d", p.SEP_margin[i]);
    print_line("%s", line);
    print_line("NMP_depth= %d", p.NMP_depth);
    print_line("LMR_depth= %d", p.LMR_depth);
    print_line("LMR table:");
    for (int table = 0; table < 2; table++) {
        for (int d = 3; d < LMR_SIZE; d++) {
            n = snprintf(line, sizeof line, "%2d  ", d);
            for (int k = 0; k < LMR_SIZE; k++)
                n += snprintf(line + n, sizeof line - size_t(n), "%d ", table ? p.LMR_NONPV[d][k] : p.LMR_PV[d][k]);
            print_line("%s", line);
        }
        if (table == 0) print_line("\n");
    }
}
