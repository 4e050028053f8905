// Whole command lines fed to a live engine instance: the input is split into lines the way
// the engine's reader splits its input, made safe to run in a loop (searches bounded by
// nodes, no file names from the fuzzer, small hash and thread counts, no "quit"), written to
// a pipe that stands in for standard input, and executed by the engine's own game loop.
//
// The first byte picks the protocol: odd for UCI, even for the console's command language
// (console lines go through the same reader and dispatcher; "uci" switches to UCI as it does
// for a person at the keyboard).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/fen.h"
#include "core/settings.h"
#include "engine/driver.h"
#include "engine/input.h"
#include "engine/thread_state.h"
#include "fuzz_support.h"

namespace {

constexpr int MAX_LINES = 48;
constexpr const char* SEARCH_BOUND = " nodes 1500";  // found first by the "go" parser
constexpr int MAX_FUZZ_HASH_MB = 16;
constexpr int MAX_FUZZ_THREADS = 3;

int input_pipe[2] = {-1, -1};

// Names of options whose values name files, with the values the harness may put there
// instead (one picked by the fuzzer's value): real files from the test data, missing files,
// and the special values.
struct FileOption {
    const char* name;
    std::vector<std::string> values;
};

const std::vector<FileOption>& file_options() {
    static const std::string shared = VELLUM_SHARED_DIR "/testdata/";
    static const std::vector<FileOption> options = {
        {"NN_File", {"embedded", "new", VELLUM_TEST_DATA "/tiny.nnue", "missing.nnue", ""}},
        {"OwnBook_File", {shared + "polyglot/sample.bin", "missing.bin", ""}},
        {"OwnBook2_File", {shared + "polyglot/sample.bin", shared + "polyglot/keys.csv", ""}},
        {"SyzygyPath", {shared + "syzygy", "", "<empty>", "missing-dir", shared + "syzygy:missing"}},
        {"ConfigFilePath", {"missing.cfg", ""}},
        {"Log", {"false"}},
    };
    return options;
}

bool starts_with_word(const std::string& line, const char* word) {
    size_t p = line.find_first_not_of(' ');
    if (p == std::string::npos) return false;
    const size_t n = strlen(word);
    return line.compare(p, n, word) == 0 && (p + n == line.size() || line[p + n] == ' ');
}

// "setoption" as the engine parses it: the name runs from "name " to " value".
std::string safe_setoption(const std::string& line) {
    const size_t name_at = line.find("name ");
    if (name_at == std::string::npos) return line;
    const size_t name_start = name_at + 5;
    const size_t value_at = line.find(" value", name_start);
    const std::string name =
        line.substr(name_start, value_at == std::string::npos ? std::string::npos : value_at - name_start);
    const std::string value = value_at == std::string::npos ? "" : line.substr(value_at + 6);
    const std::string head = line.substr(0, name_start) + name + " value ";
    for (const FileOption& o : file_options()) {
        if (name != o.name) continue;
        size_t pick = 0;
        for (char c : value) pick = pick * 31 + u8(c);
        return head + o.values[pick % o.values.size()];
    }
    if (name == "Hash") return head + std::to_string(atoi(value.c_str() + (value[0] == ' ')) % (MAX_FUZZ_HASH_MB + 1));
    if (name == "Threads")
        return head + std::to_string(1 + abs(atoi(value.c_str() + (value[0] == ' ')) % MAX_FUZZ_THREADS));
    return line;
}

// Makes one line safe to run over and over in one process; an empty result drops it.
std::string safe_line(std::string line) {
    if (starts_with_word(line, "quit") || starts_with_word(line, "q")) return "";
    // The benchmark and deep perft run for minutes; a shallow perft stays.
    if (starts_with_word(line, "bench") || starts_with_word(line, "perft")) return "";
    for (size_t p = line.find("perft"); p != std::string::npos; p = line.find("perft", p + 5))
        line.insert(p + 5, " 2 ");
    if (starts_with_word(line, "go")) {
        const size_t go = line.find("go");
        line.insert(go + 2, SEARCH_BOUND);
        // "infinite" and "ponder" wait for a word from the GUI.
        if (line.find("infinite") != std::string::npos || line.find("ponder") != std::string::npos ||
            line.find("nodes", go + strlen(SEARCH_BOUND) + 2) != std::string::npos)
            line += "\nstop";
    }
    if (line.find("setoption") != std::string::npos) line = safe_setoption(line);
    return line;
}

void reset_engine_state() {
    search_control.search_state = 0;
    search_control.stop = 0;
    search_control.infinite = 0;
    settings.quit = 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_start_engine();
    // The engine reads its standard input; a pipe the harness writes stands in for the GUI.
    if (pipe(input_pipe) != 0 || dup2(input_pipe[0], 0) < 0) abort();
    fcntl(input_pipe[1], F_SETPIPE_SZ, 1 << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    if (input_pipe[1] < 0) LLVMFuzzerInitialize(nullptr, nullptr);
    settings.uci_mode = (data[0] & 1) ? 1 : 0;

    static LineSplitter splitter;
    splitter_reset(splitter);
    splitter_append(splitter, reinterpret_cast<const char*>(data + 1), int(size - 1 < 60000 ? size - 1 : 60000));
    splitter_append(splitter, "\n", 1);
    static char line[LineSplitter::CAPACITY];
    std::string script;
    for (int n = 0; n < MAX_LINES && splitter_next_line(splitter, line, sizeof line); n++) {
        std::string safe = safe_line(line);
        if (!safe.empty()) script += safe + "\n";
    }
    // After the fuzzer's lines: wait for any search, then leave the game loop.
    script += "isready\nstop\nquit\n";
    if (write(input_pipe[1], script.data(), script.size()) != ssize_t(script.size())) abort();

    reset_engine_state();
    game_loop();
    reset_engine_state();
    return 0;
}
