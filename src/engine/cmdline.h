// Command-line switches and the RunMode they select.
#pragma once

enum RunMode {
    RUN_PLAY = 1,
    RUN_ANALYSE_EPD = 2,
    RUN_SCAN_PGN = 3,
    RUN_BENCH = 5,
    RUN_MAKE_BOOK = 6,
    RUN_MAKE_CONFIG = 7,
    RUN_MAKE_TRAIN_DATA = 10,
    RUN_GEN_TRAIN_DATA = 11,
    RUN_EPD_TO_BIN = 12,
    RUN_BIN_TO_EPD = 13,
    RUN_PRUNE_NN = 14,
    RUN_GROW_BOOK = 15,
    RUN_SELFPLAY = 16,
    RUN_TRAIN = 17,
    RUN_OPENBENCH = 18,  // "vellum bench [depth]": the short bench
};

struct CommandLine {
    int run_mode;
    bool bench_inline;     // -pbench: bench searches in the calling thread
    int bench_depth;       // "vellum bench N"; 0 for the default depth
};

// Parses the switches into settings. Returns -1 to go on, or an exit code to end with.
int parse_command_line(int argc, char** argv, CommandLine& out);

// Lowers settings.hash_mb for short fixed searches (node or depth limits from the command line).
void apply_hash_cap();
