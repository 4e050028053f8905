#include "engine/cmdline.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/settings.h"
#include "engine/options.h"
#include "engine/strength.h"

namespace {

// Reads the training switches' "file count" arguments; returns 0 when they are usable.
int read_training_arguments(int argc, char** argv, int& i) {
    if (i + 1 >= argc) return 1;
    set_field(settings.train_file, argv[++i]);
    if (i + 1 >= argc) return 1;
    double count = atof(argv[++i]) * 1000000.0;
    if (count <= 999999.0) return 1;
    settings.train_positions = count > 4294967295.0 ? 4294967295u : u32(count);
    return 0;
}

}  // namespace

int parse_command_line(int argc, char** argv, CommandLine& out) {
    Settings& s = settings;
    out.run_mode = RUN_PLAY;
    out.bench_inline = false;
    out.bench_depth = 0;
    // Testing frameworks run "ENGINE bench" and read the node count and speed it prints.
    if (argc >= 2 && !strcmp(argv[1], "bench")) {
        out.run_mode = RUN_OPENBENCH;
        if (argc >= 3) out.bench_depth = atoi(argv[2]);
        return -1;
    }
    if (argc == 2 && (!strcmp(argv[1], "-mkbook2") || !strcmp(argv[1], "-gentraindata"))) return 1;

    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        bool has_value = i + 1 < argc;
        const char* v = has_value ? argv[i + 1] : "";
        // Switches that set an option's field: -hash, -threads, -mpv, -book, -tbpath, -cfg and
        // -net (the network to load at start-up, and the one -train ... 1 continues from).
        if (find_option_switch(a)) {
            if (has_value) set_option_from_switch(a, v), i++;
        } else if (!strcmp(a, "-uci")) {
            s.uci_mode = 1;
        } else if (!strcmp(a, "-c")) {
            s.uci_mode = 0;
        } else if (!strcmp(a, "-log")) {
            s.log = 1;
        } else if (!strcmp(a, "-numa")) {
        } else if (!strcmp(a, "-noise")) {
            if (has_value) s.noise = float(atof(v)), i++;
        } else if (!strcmp(a, "-quiet")) {
            s.noise = NOISE_SILENT;
            s.log = 0;
        } else if (!strcmp(a, "-d")) {
            if (has_value) {
                int d = atoi(v);
                s.depth_limit = i8(d > 80 ? 80 : d < -128 ? -128 : d);
                s.tc_moves = 1;
                s.tc_time = 10000.0f;
                i++;
            }
        } else if (!strcmp(a, "-t")) {
            if (has_value) s.tc_time = float(atof(v)), s.tc_moves = 1, i++;
        } else if (!strcmp(a, "-n")) {
            if (has_value) {
                long long n = atoll(v);
                s.node_limit = n < 0 ? 0 : u64(n);
                s.tc_moves = 1;
                s.tc_time = 1000.0f;
                i++;
            }
        } else if (!strcmp(a, "-nps")) {
            if (has_value) {
                double nps = atof(v);
                search_control.target_nps = nps;
                s.limit_strength = 1;
                double elo = nps > 0 ? elo_from_nps(nps) : 0.0;
                s.elo = i16(clamp_int(long(elo), -32768, 32767));
                fprintf(stdout, "Elo= %d\n", int(s.elo));
                fflush(stdout);
                i++;
            }
        } else if (!strcmp(a, "-tbx")) {
            set_field(s.syzygy_path, "C:\\Chess\\Syzygy\\6-Piece;C:\\Chess\\Syzygy\\7-Piece");
        } else if (!strcmp(a, "-use_hce")) {
            s.use_nn = 0;
        } else if (!strcmp(a, "-use_nn")) {
            s.use_nn = 1;
        } else if (!strcmp(a, "-o")) {
            if (has_value) copy_field(s.out_file, 140, v), i++;
        } else if (!strcmp(a, "-ss")) {
            if (has_value) s.selectivity = i16(clamp_int(atol(v), 10, 200)), i++;
        } else if (!strcmp(a, "-anepd")) {
            if (has_value) copy_field(s.epd_file, 140, v), i++;
            s.noise = NOISE_SILENT;
            out.run_mode = RUN_ANALYSE_EPD;
        } else if (strstr(a, "-scan_pgn")) {
            if (has_value) copy_field(s.pgn_file, 140, v), i++;
            out.run_mode = RUN_SCAN_PGN;
        } else if (!strcmp(a, "-bench")) {
            out.run_mode = RUN_BENCH;
        } else if (!strcmp(a, "-pbench")) {
            out.run_mode = RUN_BENCH;
            out.bench_inline = true;
        } else if (!strcmp(a, "-mkconfig")) {
            out.run_mode = RUN_MAKE_CONFIG;
        } else if (!strcmp(a, "-mkbook")) {
            if (has_value) copy_field(s.pgn_file, 141, v), i++;
            out.run_mode = RUN_MAKE_BOOK;
        } else if (!strcmp(a, "-mkbook2")) {
            if (has_value) copy_field(s.epd_file, 141, v), i++;
            out.run_mode = RUN_GROW_BOOK;
        } else if (!strcmp(a, "-epd2bin")) {
            if (has_value) set_field(s.epd_file, v), i++;
            out.run_mode = RUN_EPD_TO_BIN;
        } else if (!strcmp(a, "-bin2epd")) {
            if (has_value) copy_field(s.train_file, 141, v), i++;
            out.run_mode = RUN_BIN_TO_EPD;
        } else if (!strcmp(a, "-prune_nn")) {
            // -prune_nn file.bin [out.nnue]
            if (has_value) set_field(s.train_file, v), i++;
            if (i + 1 < argc && argv[i + 1][0] != '-') set_field(s.prune_out_file, argv[++i]);
            out.run_mode = RUN_PRUNE_NN;
        } else if (!strcmp(a, "-gentraindata")) {
            if (read_training_arguments(argc, argv, i) != 0) return 1;
            out.run_mode = RUN_GEN_TRAIN_DATA;
        } else if (!strcmp(a, "-mktraindata")) {
            // The tablebases are those of SyzygyPath or -tbpath; there is no built-in path.
            if (has_value) set_field(s.epd_file, v), i++;
            out.run_mode = RUN_MAKE_TRAIN_DATA;
        } else if (!strcmp(a, "-selfplay")) {
            if (i + 2 >= argc) return 1;
            s.selfplay_games = u32(clamp_int(atol(argv[++i]), 0, 100000000));
            set_field(s.pgn_file, argv[++i]);
            out.run_mode = RUN_SELFPLAY;
        } else if (!strcmp(a, "-variations")) {
            if (has_value) s.variations = u16(clamp_int(atol(v), 1, 1000)), i++;
        } else if (!strcmp(a, "-scan_quiet")) {
            s.scan_quiet_only = 1;
        } else if (!strcmp(a, "-seed")) {
            if (has_value) s.random_seed = strtoull(v, nullptr, 10), s.seed_given = 1, i++;
        } else if (!strcmp(a, "-openings")) {
            if (has_value) set_field(s.openings_file, v), i++;
        } else if (!strcmp(a, "-random_plies")) {
            if (has_value) s.random_plies = i16(clamp_int(atol(v), 0, 200)), i++;
        } else if (!strcmp(a, "-train") || !strcmp(a, "-train2")) {
            if (read_training_arguments(argc, argv, i) != 0) return 1;
            // A trailing 1 continues from the network that NN_File names; 0 starts afresh.
            if (i + 1 < argc && (argv[i + 1][0] == '0' || argv[i + 1][0] == '1')) s.train_resume = argv[++i][0] == '1';
            s.hash_mb = 0;
            out.run_mode = RUN_TRAIN;
        } else if (!strcmp(a, "-epochs")) {
            if (has_value) s.train_epochs = u16(clamp_int(atol(v), 1, 10000)), i++;
        } else if (!strcmp(a, "-hidden")) {
            if (has_value) s.train_hidden = u16(clamp_int(atol(v), 1, 4096)), i++;
        } else if (!strcmp(a, "-lr")) {
            if (has_value) s.learning_rate = float(atof(v)), i++;
        } else if (!strcmp(a, "-mbatch")) {
            if (has_value) s.minibatch = u32(atol(v)), i++;
        }
    }
    return -1;
}

void apply_hash_cap() {
    Settings& s = settings;
    u32 cap = 0;
    if (s.node_limit != 0) {
        cap = 64;
        for (int k = 0; k <= 6; k++) {
            if (32000.0 * double(1u << k) >= double(s.node_limit)) {
                cap = 1u << k;
                break;
            }
        }
    } else if (s.depth_limit <= 7) {
        cap = 1;
    } else if (s.depth_limit <= 12) {
        cap = 1u << (s.depth_limit - 7);
    }
    if (cap && s.hash_mb > cap) s.hash_mb = cap;
}
