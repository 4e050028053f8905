#include "engine/startup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/fen.h"
#include "board/tables.h"
#include "core/output.h"
#include "core/settings.h"
#include "engine/bench.h"
#include "engine/cmdline.h"
#include "engine/driver.h"
#include "engine/options.h"
#include "engine/strength.h"
#include "engine/subsystems.h"
#include "engine/thread_state.h"
#include "platform/platform.h"
#include "search/tt.h"

namespace {

constexpr int TIMER_PERIOD_MS = 5;

const char* mode_name(int mode) {
    switch (mode) {
        case RUN_ANALYSE_EPD: return "EPD analysis (-anepd)";
        case RUN_SCAN_PGN: return "PGN scan (-scan_pgn)";
        case RUN_BENCH: return "the benchmark (-bench, -pbench)";
        case RUN_MAKE_BOOK: return "book building (-mkbook)";
        case RUN_GROW_BOOK: return "book growing (-mkbook2)";
        case RUN_MAKE_TRAIN_DATA:
        case RUN_GEN_TRAIN_DATA:
        case RUN_EPD_TO_BIN:
        case RUN_BIN_TO_EPD:
        case RUN_PRUNE_NN: return "the training-data tools";
        default: return "this mode";
    }
}

// Runs the selected mode; returns the process exit code.
int run_mode(const CommandLine& cl) {
    switch (cl.run_mode) {
        case RUN_PLAY:
            calibrate();
            game_loop();
            return 0;
        case RUN_BENCH:
            run_bench(cl.bench_inline);
            return 0;
        case RUN_OPENBENCH:
            run_openbench(cl.bench_depth);
            return 0;
        case RUN_MAKE_CONFIG:
            return 0;
        default:
            print_line("info string %s is not available in this build", mode_name(cl.run_mode));
            return 1;
    }
}

}  // namespace

int engine_main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stdin, nullptr, _IONBF, 0);
    srand(unsigned(platform::realtime_nanoseconds()));

    memset(thread_table, 0, sizeof thread_table);
    main_thread = create_thread_state(MAIN_THREAD_INDEX);
    if (!main_thread) return 1;

    init_tables();
    init_tables_of_subsystems();
    set_search_control_defaults();
    set_settings_defaults();
    take_settings_snapshot();

    CommandLine cl;
    int exit_code = parse_command_line(argc, argv, cl);
    if (exit_code >= 0) {
        free_thread_state(main_thread);
        return exit_code;
    }
    if (cl.training_switch) {
        fputs("Need to compile with 'make train_'\n", stdout);
        free_thread_state(main_thread);
        return 1;
    }

    print_line("info string Hello from %s", ENGINE_NAME);
    apply_hash_cap();
    // The keys are generated when the hash table is first sized.
    register_search_hooks();
    allocate_hash_at_startup();
    platform::timer_begin_period(TIMER_PERIOD_MS);
    if (settings.config_file[0]) load_config();
    if (settings.log && !log_is_open()) open_log();

    init_subsystems();
    set_fen(main_thread->pos, START_FEN);

    exit_code = run_mode(cl);

    release_subsystems();
    tt_free();
    close_log();
    free_thread_state(main_thread);
    main_thread = nullptr;
    for (int i = 0; i < MAX_THREADS; i++) {
        free_thread_state(thread_table[i]);
        thread_table[i] = nullptr;
    }
    platform::timer_end_period(TIMER_PERIOD_MS);
    return exit_code;
}
