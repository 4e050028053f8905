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
#include "tools/book_positions.h"
#include "tools/epd_analysis.h"
#include "tools/make_book.h"
#include "tools/tools.h"

namespace {

// The finest timer period asked for: finer ones raise the interrupt rate of the whole system.
constexpr int TIMER_PERIOD_MS = 5;

// Requests the device's finest timer period, but not below 5 ms; returns the period that is
// in force, 0 when none could be set.
int begin_timer_period() {
    int min_ms = 0, max_ms = 0;
    if (platform::timer_capabilities(&min_ms, &max_ms) != 0) {
        print_line("error setting timer resolution");
        return 0;
    }
    int period = min_ms < TIMER_PERIOD_MS ? TIMER_PERIOD_MS : min_ms;
    if (period > max_ms) period = max_ms;
    if (platform::timer_begin_period(period) != 0) {
        print_line("Error setting timer resolution");
        return 0;
    }
    return period;
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
        case RUN_SCAN_PGN:
            return scan_pgn();
        case RUN_EPD_TO_BIN:
            return epd_to_bin();
        case RUN_BIN_TO_EPD:
            return bin_to_epd();
        case RUN_GEN_TRAIN_DATA:
            return gen_train_data();
        case RUN_MAKE_TRAIN_DATA:
            return make_train_data();
        case RUN_SELFPLAY:
            return run_selfplay();
        case RUN_TRAIN:
            return run_trainer();
        case RUN_ANALYSE_EPD:
            return analyze_epd(settings.epd_file, false, nullptr, nullptr);
        case RUN_MAKE_BOOK:
            return make_book(settings.pgn_file, "tmp_book.bin");
        case RUN_GROW_BOOK:
            return grow_book_positions(settings.epd_file);
        case RUN_PRUNE_NN:
            return prune_nn();
        default:
            print_line("info string this mode is not available in this build");
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

    print_line("info string Hello from %s", ENGINE_NAME);
    apply_hash_cap();
    // The keys are generated when the hash table is first sized.
    register_search_hooks();
    allocate_hash_at_startup();
    const int timer_period = begin_timer_period();
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
    if (timer_period) platform::timer_end_period(timer_period);
    return exit_code;
}
