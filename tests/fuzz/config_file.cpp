// The configuration file: the input is written to a file and read by the engine's loader,
// which applies each "Name = value" line as an option. Lines naming files (networks, books,
// tablebases, nested configuration files, the log) are pointed at the test data or at the
// fuzzed file itself, so that nesting is exercised without reaching outside the tree.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/settings.h"
#include "engine/options.h"
#include "fuzz_support.h"

namespace {

constexpr int MAX_CONFIG_BYTES = 16384;
constexpr int MAX_FUZZ_HASH_MB = 16;
Settings base_settings;

bool names_a_file(const std::string& line) {
    static const char* const NAMES[] = {"NN_File", "OwnBook_File", "OwnBook2_File", "SyzygyPath", "Log"};
    for (const char* n : NAMES)
        if (line.find(n) != std::string::npos) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_start_engine();
    base_settings = settings;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > MAX_CONFIG_BYTES) return 0;
    fuzz_start_engine();
    const std::string path = fuzz_scratch_dir() + "fuzz.cfg";
    // Lines that name files are dropped (the option hooks would read whatever they name);
    // ConfigFilePath lines are kept and point back at this file, so nesting is followed.
    std::string text = fuzz_text(data, size), kept;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (line.find("ConfigFilePath") != std::string::npos) line = "ConfigFilePath = " + path;
        // A large table per input would exhaust the fuzzer's memory; small sizes still resize.
        const size_t eq = line.find('=');
        if (line.find("Hash") != std::string::npos && line.find("Clear") == std::string::npos &&
            eq != std::string::npos)
            line = line.substr(0, eq + 1) + std::to_string(atoi(line.c_str() + eq + 1) % (MAX_FUZZ_HASH_MB + 1));
        if (!names_a_file(line)) kept += line + (end < text.size() ? "\n" : "");
        start = end + 1;
    }
    if (!fuzz_write_file(path, reinterpret_cast<const uint8_t*>(kept.data()), kept.size())) return 0;
    settings = settings_snapshot = base_settings;
    set_field(settings.config_file, path.c_str());
    load_config();
    settings.config_file[0] = 0;
    // The loader's options stay within their ranges.
    if (settings.threads < 1 || settings.multipv < 1 || settings.hash_mb > 32768) __builtin_trap();
    settings = settings_snapshot = base_settings;
    return 0;
}
