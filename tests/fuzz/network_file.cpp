// The network file loader: the input becomes a network file that the engine loads through
// its NN_File option (read, check, install with every thread record resized). A network that
// loads must evaluate a few positions with the same score on every kernel set.
//
// The first byte picks the form: odd takes the rest as the whole file; even takes the next 24
// bytes as the header and repeats the remaining bytes as weights to the length the header
// asks for, so that headers of many shapes reach the weight checks and the kernels.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "board/fen.h"
#include "core/settings.h"
#include "engine/options.h"
#include "eval/nn.h"
#include "fuzz_support.h"

namespace {

// Keeps one input of the second form below a few megabytes.
constexpr u32 MAX_SYNTH_HIDDEN = 256;
constexpr const char* GOOD_NETWORK = VELLUM_TEST_DATA "/tiny.nnue";
constexpr const char* POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2k5/8/8/3K4/8/8/6q1 b - - 0 1",
    "4k3/1P6/8/8/8/8/6p1/4K2R w K - 0 1",
};

void check(bool ok) {
    if (!ok) abort();
}

bool synthesize(const uint8_t* data, size_t size, std::vector<uint8_t>& file) {
    if (size < NET_HEADER_BYTES + 1) return false;
    const NetHeader h = nn_decode_header(data);
    if (nn_header_fault(h) || h.hidden > MAX_SYNTH_HIDDEN) return false;
    file.assign(data, data + NET_HEADER_BYTES);
    const size_t weights = size - NET_HEADER_BYTES;
    const u64 bytes = 2 * nn_weight_count(h);
    for (u64 i = 0; i < bytes; i++) file.push_back(data[NET_HEADER_BYTES + i % weights]);
    return true;
}

void evaluate_everywhere() {
    static std::unique_ptr<EvalState> states[NN_PATH_COUNT];
    static MoveHistory history;
    const int hidden = int(network.image.header.hidden);
    for (auto& s : states) {
        if (!s) s = std::make_unique<EvalState>();
        check(nn_reserve(*s, hidden) == 0);
    }
    for (const char* fen : POSITIONS) {
        Position pos;
        pos.owner = &history;
        set_fen(pos, fen);
        int first = 0;
        bool have_first = false;
        for (int p = 0; p < NN_PATH_COUNT; p++) {
            if (!nn_path_usable(NnPath(p))) continue;
            states[p]->ply = 1;
            const int score = nn_evaluate_on_path(NnPath(p), pos, *states[p]);
            check(score >= -2500 && score <= 2500);
            if (have_first) check(score == first);
            first = score, have_first = true;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_start_engine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    fuzz_start_engine();
    std::vector<uint8_t> file;
    if (data[0] & 1) file.assign(data + 1, data + size);
    else if (!synthesize(data + 1, size - 1, file))
        return 0;
    const std::string path = fuzz_scratch_dir() + "fuzz.nnue";
    if (!fuzz_write_file(path, file.data(), file.size())) return 0;

    // Every input starts from a good network, which a failed load must leave in place.
    if (!network.loaded || strcmp(settings.nn_file, GOOD_NETWORK) != 0) set_option("NN_File", GOOD_NETWORK);
    check(network.loaded);
    const u64 generation = network.generation;
    set_option("NN_File", path.c_str());
    if (network.generation != generation) {
        // Loaded: the option names it and it evaluates consistently.
        check(network.loaded && !strcmp(settings.nn_file, path.c_str()));
        evaluate_everywhere();
    } else {
        check(network.loaded && !strcmp(settings.nn_file, GOOD_NETWORK));
    }
    return 0;
}
