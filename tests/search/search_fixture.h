// Shared set-up for the search tests: tables, evaluation parameters, a small table and the
// game record, with settings for fixed-depth searches in the calling thread.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "board/fen.h"
#include "board/tables.h"
#include "core/settings.h"
#include "eval/kpk.h"
#include "eval/params.h"
#include "search/thread.h"
#include "search/threads.h"
#include "search/tt.h"

inline void prepare_search_environment(unsigned hash_mb = 4) {
    static bool once = false;
    if (!once) {
        init_tables();
        init_kpk();
        load_default_params();
        once = true;
    }
    Settings& s = settings;
    memset(&s, 0, sizeof s);
    s.noise = 99999.0f;  // no info lines
    s.uci_mode = 1;
    s.depth_limit = 80;
    s.tc_moves = 1;
    s.tc_time = 1000.0f;
    s.hash_mb = hash_mb;
    s.threads = 1;
    s.multipv = 1;
    s.selectivity = 100;
    s.contempt_bias = 15;
    s.SEP_depth = 3;
    s.NMP_depth = 3;
    s.FP_depth = 4;
    s.LMP_depth = 6;
    s.LMR_depth = 3;
    search_control.search_state = 0;
    search_control.stop = 0;
    search_control.hash_in_use = 1;
    if (!tt.block || (u64(tt.entries) * 16 >> 20) != hash_mb) {
        unsigned got = 0;
        tt_allocate(hash_mb, &got);
    }
    tt_clear(1);
    if (!main_thread) main_thread = create_thread_record(MAIN_THREAD_INDEX);
}

inline void set_game_position(const char* fen) {
    set_fen(main_thread->pos, fen);
    search_control.game_plies = 0;
}

// Searches the game position to `depth` in the calling thread; returns the best move.
inline Move search_to_depth(int depth) {
    settings.depth_limit = i8(depth);
    run_search_inline();
    search_control.search_state = 0;
    return search_control.pv[1];
}
