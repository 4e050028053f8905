// Syzygy file header and table decoding: the input becomes one table file in a folder of its
// own, registered through the engine's tablebase initialisation and probed for positions of
// its material (WDL, DTZ and the root ranking).
//
// The first byte picks the material, the second bit 0 the kind: 0 fuzzes the WDL file, 1 the
// DTZ file (next to the genuine WDL file from the test data when it is there).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "board/fen.h"
#include "board/validate.h"
#include "fuzz_support.h"
#include "tablebase/tablebase.h"

namespace {

constexpr const char* MATERIALS[] = {"KPvK", "KRvK", "KQvK", "KBNvK", "KRvKR", "KPvKP", "KBvK", "KNvKP", "KRPvK"};
constexpr int MATERIAL_COUNT = sizeof MATERIALS / sizeof MATERIALS[0];
constexpr int PROBES = 24;

void check(bool ok) {
    if (!ok) abort();
}

struct Rng {
    u64 s;
    u32 next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return u32(s >> 33);
    }
};

// A FEN with the material's pieces on distinct random squares (pawns on ranks 2 to 7).
std::string random_fen(const char* material, Rng& rng) {
    char board[64];
    memset(board, 0, sizeof board);
    int colour = 0;
    for (const char* p = material; *p; p++) {
        if (*p == 'v') {
            colour = 1;
            continue;
        }
        const char piece = colour ? char(*p - 'A' + 'a') : *p;
        for (;;) {
            const int sq = int(rng.next() % 64);
            if (board[sq]) continue;
            if ((*p == 'P') && (sq < 8 || sq >= 56)) continue;
            board[sq] = piece;
            break;
        }
    }
    std::string fen;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            const char c = board[rank * 8 + file];
            if (!c) {
                empty++;
                continue;
            }
            if (empty) fen += char('0' + empty), empty = 0;
            fen += c;
        }
        if (empty) fen += char('0' + empty);
        if (rank) fen += '/';
    }
    fen += (rng.next() & 1) ? " b - - " : " w - - ";
    fen += std::to_string(rng.next() % 4 == 0 ? rng.next() % 100 : 0) + " 1";
    return fen;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_start_engine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    fuzz_start_engine();
    const char* material = MATERIALS[data[0] % MATERIAL_COUNT];
    const bool dtz = data[1] & 1;
    const std::string dir = fuzz_scratch_dir() + "syzygy";
    mkdir(dir.c_str(), 0700);
    const std::string wdl_path = dir + "/" + material + ".rtbw", dtz_path = dir + "/" + material + ".rtbz";
    remove(wdl_path.c_str());
    remove(dtz_path.c_str());
    if (dtz) {
        static std::vector<uint8_t> genuine[MATERIAL_COUNT];
        static bool tried[MATERIAL_COUNT];
        const int m = data[0] % MATERIAL_COUNT;
        if (!tried[m]) fuzz_read_file(std::string(VELLUM_SHARED_DIR "/testdata/syzygy/") + material + ".rtbw", genuine[m]);
        tried[m] = true;
        if (!genuine[m].empty()) fuzz_write_file(wdl_path, genuine[m].data(), genuine[m].size());
    }
    if (!fuzz_write_file(dtz ? dtz_path : wdl_path, data + 2, size - 2)) return 0;
    tb_init(dir.c_str());

    u64 seed = 1469598103934665603ull;
    for (size_t i = 0; i < size && i < 64; i++) seed = (seed ^ data[i]) * 1099511628211ull;
    Rng rng = {seed};
    static MoveHistory history;
    for (int i = 0; i < PROBES; i++) {
        Position pos;
        pos.owner = &history;
        history.count = 0;
        set_fen(pos, random_fen(material, rng).c_str());
        char why[128];
        if (validate_position(pos, why) != 0) continue;
        int wdl = 0, distance = 0;
        const int r = tb_probe_position(pos, &wdl, &distance);
        check(r < 0 || (wdl >= -2 && wdl <= 2));
        const int w = tb_probe_wdl(pos, 100);
        check(w >= -1 && w <= 4);
        TbRootResult root;
        if (tb_probe_root(pos, &root) == 0) check(root.wdl_class >= 0 && root.wdl_class <= 4);
    }
    tb_init("");
    return 0;
}
