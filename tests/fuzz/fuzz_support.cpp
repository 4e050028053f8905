#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "core/output.h"
#include "core/settings.h"
#include "engine/driver.h"
#include "engine/options.h"
#include "engine/subsystems.h"
#include "engine/thread_state.h"

namespace {

// Small enough that clearing it per "ucinewgame" costs little, large enough to be a real table.
constexpr unsigned FUZZ_HASH_MB = 16;

bool engine_started = false;

}  // namespace

void fuzz_start_engine() {
    if (engine_started) return;
    engine_started = true;
    if (!getenv("VELLUM_FUZZ_VERBOSE")) {
        FILE* sink = fopen("/dev/null", "w");
        if (sink) set_output_stream(sink);
    }
    memset(thread_table, 0, sizeof thread_table);
    main_thread = create_thread_state(MAIN_THREAD_INDEX);
    if (!main_thread) abort();
    init_tables();
    init_tables_of_subsystems();
    set_search_control_defaults();
    set_settings_defaults();
    settings.hash_mb = FUZZ_HASH_MB;
    take_settings_snapshot();
    register_search_hooks();
    allocate_hash_at_startup();
    init_subsystems();
    set_fen(main_thread->pos, START_FEN);
}

std::string fuzz_text(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

bool fuzz_write_file(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

const std::string& fuzz_scratch_dir() {
    static std::string dir;
    if (dir.empty()) {
        const char* tmp = getenv("TMPDIR");
        dir = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/vellum-fuzz-" + std::to_string(getpid()) + "/";
        mkdir(dir.c_str(), 0700);
    }
    return dir;
}

int fuzz_legal_moves(Position& pos, Move* out, int capacity) {
    MoveEntry list[MAX_MOVES];
    const int n = gen_all_moves(pos, list);
    int legal = 0;
    for (int i = 0; i < n && legal < capacity; i++)
        if (is_legal(pos, pos.side, list[i].move)) out[legal++] = list[i].move;
    return legal;
}

bool fuzz_read_file(const std::string& path, std::vector<uint8_t>& out) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    out.clear();
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    fclose(f);
    return true;
}
