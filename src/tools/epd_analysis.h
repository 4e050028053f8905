// EPD test-suite analysis (-anepd): the engine's normal search on every position of an EPD file
// under the current depth, time or node limits, one result line per position, and the suite's
// statistics (best-move and avoid-move hits, c0 points, nodes, time, depth, branching factor).
#pragma once

#include "core/types.h"

struct PositionSet;

struct EpdSummary {
    int positions;   // analysed
    int correct;     // best-move or avoid-move hits, at most one per position
    int skipped;     // lines that hold no usable position
    u64 nodes;
    double time;
    i64 depth_sum;
    double bf_sum;
    i64 points;      // c0 points earned
    i64 possible;    // c0 points possible
};

// Analyses every position of input_path and writes the result lines to settings.out_file
// ("analysis.epd" when that is empty). With `expand`, the positions after each MultiPV move within
// 30 centipawns of the best are written to "tmp_0.epd", except those already in `seen` (which
// then receives them; may be null). Prints the summary; fills *summary when given. Returns 0, or
// 1 after a one-line reason when a file cannot be opened.
int analyze_epd(const char* input_path, bool expand, PositionSet* seen, EpdSummary* summary);

// The file that receives the positions of an expansion.
constexpr const char* EXPANSION_FILE = "tmp_0.epd";
