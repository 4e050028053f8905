// Pruning depths, margins and reduction tables of the main search, rebuilt from the settings
// at every search start and read-only while threads search.
#pragma once

#include "core/types.h"

constexpr int MARGIN_SIZE = 12;
constexpr int LMR_SIZE = 32;

struct SearchParams {
    int SEP_depth;
    int NMP_depth;
    int FP_depth;
    int LMP_depth;
    int LMR_depth;
    i16 FP_margin[MARGIN_SIZE];
    i16 SEP_margin[MARGIN_SIZE];
    i8 LMR_PV[LMR_SIZE][LMR_SIZE];
    i8 LMR_NONPV[LMR_SIZE][LMR_SIZE];
    int fp_unit, sep_unit;
};
extern SearchParams search_params;

// Copies the depths from the settings (FP and SEP depths limited to the margin tables) and
// builds the margin and reduction tables for the given selectivity.
void build_search_params();
// Prints the margins, two depths and both reduction tables.
void print_search_params();
