#include "engine/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/output.h"
#include "core/settings.h"

OptionHooks option_hooks = {nullptr, nullptr, nullptr, nullptr};

namespace {

bool check_value(const char* value) { return strstr(value, "true") != nullptr; }

// A configuration file may name another one; stop following them past this depth so that a
// file that names itself cannot recurse without end.
constexpr int MAX_CONFIG_NESTING = 8;
// Files read for one configuration load, nested ones included: a file that names others
// several times would otherwise multiply the reads at every level (k names, k^8 reads).
constexpr int MAX_CONFIG_FILES = 64;
int config_nesting = 0;
int config_files_read = 0;
// The files being read, outermost first: a file that names one of them is not read again.
char config_chain[MAX_CONFIG_NESTING][sizeof(Settings::config_file)];

// Numeric and check options: confirm, then store.
void confirm(const char* name, int v) { print_line("info string %s set to %d", name, v); }

}  // namespace

void set_settings_defaults() {
    Settings& s = settings;
    memset(&s, 0, sizeof s);
    s.quit = 0;
    s.noise = 0.0f;
    s.learning_rate = 0.001f;
    s.train_positions = 500000000u;
    s.minibatch = 3000;
    set_field(s.out_file, "tmp0.epd");
    s.random_plies = -1;
    s.train_epochs = 10;
    s.train_hidden = 1536;
    s.uci_mode = 1;
    s.node_limit = 0;
    s.depth_limit = 80;
    s.tc_moves = 1;
    s.tc_time = 5.0f;
    s.increment = 0.0f;
    s.hash_mb = 64;
    s.threads = 1;
    s.use_nn = 1;
    s.move_overhead = 50;
    s.ponder = 1;
    s.chess960 = 0;
    s.multipv = 1;
    s.limit_strength = 0;
    s.elo = 0;
    s.log = 0;
    s.own_book = 0;
    s.book_variety = 25;
    s.book_depth = 24;
    s.book2_depth = 0;
    set_field(s.nn_file, "embedded");
    s.probe_depth6 = 1;
    s.probe_depth7 = 7;
    s.opponent_elo = 0;
    s.contempt = 0;
    s.selectivity = 100;
    s.contempt_bias = 15;
    s.SEP_depth = 3;
    s.NMP_depth = 3;
    s.FP_depth = 4;
    s.LMP_depth = 6;
    s.LMR_depth = 3;
}

void set_search_control_defaults() {
    SearchControl& c = search_control;
    c.search_state = 0;
    c.hash_age = 0;
    c.clock[0] = 5.0f;
    c.clock[1] = 5.0f;
    c.hash_in_use = 1;
    c.stop = 0;
    c.target_nps = 0;
    c.nps_limited = 0;
}

void take_settings_snapshot() { settings_snapshot = settings; }
void restore_settings_snapshot() { settings = settings_snapshot; }

void set_option(const char* name, const char* raw_value) {
    Settings& s = settings;
    // A configuration line "NN_File = nets/x.nnue   # comment" leaves spaces before the comment.
    char value[256];
    set_field(value, raw_value);
    for (size_t n = strlen(value); n > 0 && (value[n - 1] == ' ' || value[n - 1] == '\t'); n--) value[n - 1] = 0;
    if (!strcmp(name, "ConfigFilePath")) {
        set_field(s.config_file, value);
        print_line("info string ConfigFilePath set to '%s'", s.config_file);
        load_config();
    } else if (!strcmp(name, "Hash")) {
        int v = clamp_int(atoi(value), 0, 32768);
        confirm(name, v);
        unsigned previous = s.hash_mb;
        s.hash_mb = u32(v);
        if (option_hooks.resize_hash && option_hooks.resize_hash(s.hash_mb) != 0) {
            s.hash_mb = previous;
        }
    } else if (!strcmp(name, "Threads")) {
        int v = clamp_int(atoi(value), 1, 160);
        confirm(name, v);
        s.threads = i16(v);
    } else if (!strcmp(name, "MoveOverhead")) {
        int v = clamp_int(atoi(value), 0, 1000);
        confirm(name, v);
        s.move_overhead = u16(v);
    } else if (!strcmp(name, "Ponder")) {
        int v = check_value(value);
        confirm(name, v);
        s.ponder = u8(v);
    } else if (!strcmp(name, "Contempt")) {
        int v = clamp_int(atoi(value), -150, 150);
        confirm(name, v);
        s.contempt = i16(v);
    } else if (!strcmp(name, "Selectivity")) {
        int v = clamp_int(atoi(value), 0, 200);
        confirm(name, v);
        s.selectivity = i16(v);
    } else if (!strcmp(name, "MultiPV")) {
        int v = clamp_int(atoi(value), 1, 255);
        confirm(name, v);
        s.multipv = u8(v);
    } else if (!strcmp(name, "NN_File")) {
        char previous[sizeof s.nn_file];
        set_field(previous, s.nn_file);
        set_field(s.nn_file, value);
        print_line("info string NN_File set to '%s'", s.nn_file);
        // A source that cannot be loaded leaves the network and the option as they were.
        if (option_hooks.load_network && option_hooks.load_network(s.nn_file) != 0) set_field(s.nn_file, previous);
    } else if (!strcmp(name, "Use_NN_eval")) {
        int v = check_value(value);
        confirm(name, v);
        s.use_nn = u8(v);
    } else if (!strcmp(name, "OwnBook")) {
        int v = check_value(value);
        confirm(name, v);
        s.own_book = u8(v);
    } else if (!strcmp(name, "OwnBook_File")) {
        set_field(s.book_file, value);
        print_line("info string OwnBook_File set to '%s'", s.book_file);
    } else if (!strcmp(name, "OwnBook2_File")) {
        set_field(s.book2_file, value);
        print_line("info string OwnBook2_File set to '%s'", s.book2_file);
    } else if (!strcmp(name, "OwnBook_Variety")) {
        int v = clamp_int(atoi(value), 0, 100);
        confirm(name, v);
        s.book_variety = u8(v);
    } else if (!strcmp(name, "OwnBook_Depth")) {
        int v = clamp_int(atoi(value), 0, 60);
        confirm(name, v);
        s.book_depth = u8(v);
    } else if (!strcmp(name, "OwnBook2_Depth")) {
        int v = clamp_int(atoi(value), 0, 60);
        confirm(name, v);
        s.book2_depth = u8(v);
    } else if (!strcmp(name, "Log")) {
        int v = check_value(value);
        confirm(name, v);
        s.log = u8(v);
        if (s.log && !log_is_open()) open_log();
    } else if (!strcmp(name, "Clear Hash")) {
        search_control.hashfull = 0;
        if (search_control.hash_in_use && option_hooks.clear_hash) option_hooks.clear_hash();
        print_line("info string Hash table cleared");
    } else if (!strcmp(name, "SyzygyPath")) {
        set_field(s.syzygy_path, value);
        print_line("info string SyzygyPath set to '%s'", s.syzygy_path);
        if (option_hooks.set_syzygy_path) option_hooks.set_syzygy_path(s.syzygy_path);
    } else if (!strcmp(name, "SyzygyProbeDepth6")) {
        int v = clamp_int(atoi(value), -5, 100);
        confirm(name, v);
        s.probe_depth6 = i8(v);
        s.probe_depth7 = i8(v > 7 ? v : 7);
    } else if (!strcmp(name, "UCI_LimitStrength")) {
        int v = check_value(value);
        confirm(name, v);
        s.limit_strength = u8(v);
    } else if (!strcmp(name, "UCI_Elo")) {
        int v = clamp_int(atoi(value), 1500, 3300);
        confirm(name, v);
        s.elo = i16(v);
    } else if (!strcmp(name, "UCI_Opponent")) {
        // "title elo kind name": skip the title word, read the rating.
        const char* p = value;
        while (*p && *p != ' ') p++;
        int v = clamp_int(atoi(p), 0, 4000);
        confirm("opponent_elo", v);
        s.opponent_elo = i16(v);
    } else if (!strcmp(name, "UCI_ShowWDL")) {
        int v = check_value(value);
        confirm(name, v);
        s.show_wdl = u8(v);
    } else if (!strcmp(name, "UCI_Chess960")) {
        int v = check_value(value);
        confirm(name, v);
        s.chess960 = u8(v);
    }
}

void load_config() {
    if (!settings.config_file[0]) return;
    if (config_nesting >= MAX_CONFIG_NESTING) {
        print_line("info string configuration files nested too deeply, ignoring %s", settings.config_file);
        return;
    }
    char file_name[sizeof settings.config_file];
    set_field(file_name, settings.config_file);
    if (config_nesting == 0) config_files_read = 0;
    for (int i = 0; i < config_nesting; i++) {
        if (!strcmp(config_chain[i], file_name)) {
            print_line("info string configuration file %s is already being read, ignoring it", file_name);
            return;
        }
    }
    if (config_files_read >= MAX_CONFIG_FILES) {
        print_line("info string too many configuration files, ignoring %s", file_name);
        return;
    }
    FILE* f = fopen(file_name, "r");
    if (!f) return;
    print_line("info string loading parameters from %s", file_name);
    config_files_read++;
    set_field(config_chain[config_nesting], file_name);
    config_nesting++;
    char line[256];
    while (fgets(line, sizeof line, f)) {
        // A line longer than the buffer continues in the next read: drop the rest of it.
        if (!strchr(line, '\n') && !feof(f)) {
            int c;
            while ((c = fgetc(f)) != EOF && c != '\n') {}
        }
        if (strlen(line) < 4) continue;
        char* cut = strchr(line, '\n');
        if (cut) *cut = 0;
        cut = strchr(line, '\r');
        if (cut) *cut = 0;
        cut = strchr(line, '#');
        if (cut) *cut = 0;
        char* eq = strchr(line, '=');
        if (!eq) continue;
        char name[101];
        int n = int(eq - line);
        while (n > 0 && line[n - 1] == ' ') n--;
        if (n > 100) n = 100;
        memcpy(name, line, size_t(n));
        name[n] = 0;
        const char* v = eq + 1;
        while (*v == ' ') v++;
        char value[201];
        set_field(value, v);
        if (search_control.search_state == 0) set_option(name, value);
    }
    fclose(f);
    config_nesting--;
    take_settings_snapshot();
}

void print_uci_options() {
    const Settings& ss = settings_snapshot;
    const Settings& s = settings;
    print_line("id name %s", ENGINE_NAME);
    print_line("id author Mardale");
    print_line("option name ConfigFilePath type string default %s", ss.config_file);
    print_line("option name %s type spin default %d min %d max %d", "Hash", int(s.hash_mb), 0, 32768);
    print_line("option name %s type spin default %d min %d max %d", "Threads", 1, 1, 160);
    print_line("option name Clear Hash type button");
    print_line("option name NN_File type string default %s", s.nn_file);
    print_line("option name %s type check default %s", "Use_NN_eval", s.use_nn ? "true" : "false");
    print_line("option name %s type check default %s", "OwnBook", ss.own_book ? "true" : "false");
    print_line("option name OwnBook_File type string default %s", ss.book_file);
    print_line("option name %s type spin default %d min %d max %d", "OwnBook_Depth", int(ss.book_depth), 0, 60);
    print_line("option name OwnBook2_File type string default %s", ss.book2_file);
    print_line("option name %s type spin default %d min %d max %d", "OwnBook2_Depth", int(ss.book2_depth), 0, 60);
    print_line("option name %s type spin default %d min %d max %d", "OwnBook_Variety", int(ss.book_variety), 0, 100);
    print_line("option name SyzygyPath type string default %s", ss.syzygy_path);
    print_line("option name %s type spin default %d min %d max %d", "SyzygyProbeDepth6", int(ss.probe_depth6), -5, 100);
    print_line("option name %s type check default %s", "Log", ss.log ? "true" : "false");
    print_line("option name %s type check default %s", "Ponder", ss.ponder ? "true" : "false");
    print_line("option name %s type spin default %d min %d max %d", "MultiPV", int(ss.multipv), 1, 255);
    print_line("option name %s type check default %s", "UCI_Chess960", s.chess960 ? "true" : "false");
    print_line("option name %s type check default %s", "UCI_ShowWDL", ss.show_wdl ? "true" : "false");
    print_line("option name %s type spin default %d min %d max %d", "MoveOverhead", int(ss.move_overhead), 0, 1000);
    print_line("option name %s type check default %s", "UCI_LimitStrength", ss.limit_strength ? "true" : "false");
    // The rating range ends at the machine's own calibrated strength; before the calibration
    // has run (no search in this build yet) the option's own upper bound stands in for it.
    int top = int(s.calibration_elo);
    if (top < 1500) top = 3300;
    if (settings_snapshot.elo == 0) settings_snapshot.elo = i16(top);
    print_line("option name %s type spin default %d min %d max %d", "UCI_Elo", int(settings_snapshot.elo), 1500, top);
    print_line("option name UCI_Opponent type string default ");
    print_line("option name %s type spin default %d min %d max %d", "Contempt", int(ss.contempt), -150, 150);
    print_line("option name %s type spin default %d min %d max %d", "Selectivity", int(ss.selectivity), 0, 200);
    print_line("uciok");
}
