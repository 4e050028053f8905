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
    // The options' own defaults, from their declarations.
    for (int i = 0; i < OPTION_COUNT; i++) {
        const OptionSpec& o = OPTIONS[i];
        if (o.text && o.initial_text) copy_field(o.text(s), o.text_size, o.initial_text);
        if (o.set) o.set(s, o.initial);
    }
    s.probe_depth7 = 7;
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

namespace {

// An option's field: readers and writers of an integer field, or a text field and its size.
#define NUMBER_FIELD(f) \
    .get = [](const Settings& s) { return int(s.f); }, .set = [](Settings& s, int v) { s.f = decltype(s.f)(v); }
#define TEXT_FIELD(f) .text = [](Settings& s) { return s.f; }, .text_size = int(sizeof(Settings::f))

int after_hash(int previous) {
    if (option_hooks.resize_hash && option_hooks.resize_hash(settings.hash_mb) != 0) {
        settings.hash_mb = u32(previous);
        return 1;
    }
    return 0;
}

int after_config_file(int) {
    load_config();
    return 0;
}

int after_network(int) { return option_hooks.load_network && option_hooks.load_network(settings.nn_file) != 0; }

int after_clear_hash(int) {
    search_control.hashfull = 0;
    if (search_control.hash_in_use && option_hooks.clear_hash) option_hooks.clear_hash();
    print_line("info string Hash table cleared");
    return 0;
}

int after_log(int) {
    if (settings.log && !log_is_open()) open_log();
    return 0;
}

int after_syzygy_path(int) {
    if (option_hooks.set_syzygy_path) option_hooks.set_syzygy_path(settings.syzygy_path);
    return 0;
}

int after_probe_depth(int) {
    settings.probe_depth7 = i8(settings.probe_depth6 > 7 ? settings.probe_depth6 : 7);
    return 0;
}

// "title elo kind name": the rating after the title word.
const char* opponent_rating(const char* value) {
    while (*value && *value != ' ') value++;
    return value;
}

// The rating range ends at the machine's own calibrated strength; before the calibration has
// run the option's own upper bound stands in for it.
int elo_list_high() {
    const int top = int(settings.calibration_elo);
    return top < 1500 ? 3300 : top;
}

}  // namespace

// In the order of the "uci" option list.
// clang-format off
const OptionSpec OPTIONS[] = {
    {.name = "ConfigFilePath", .kind = OPTION_STRING, TEXT_FIELD(config_file), .after = after_config_file,
     .switch_name = "-cfg"},
    {.name = "Hash", .kind = OPTION_SPIN, .high = 32768, .listed = LIST_CURRENT, .initial = 64,
     NUMBER_FIELD(hash_mb), .after = after_hash, .switch_name = "-hash"},
    {.name = "Threads", .kind = OPTION_SPIN, .low = 1, .high = 160, .listed = LIST_FIXED, .initial = 1,
     NUMBER_FIELD(threads), .switch_name = "-threads"},
    {.name = "Clear Hash", .kind = OPTION_BUTTON, .after = after_clear_hash},
    {.name = "NN_File", .kind = OPTION_STRING, .listed = LIST_CURRENT, .initial_text = "embedded",
     TEXT_FIELD(nn_file), .after = after_network, .switch_name = "-net"},
    {.name = "Use_NN_eval", .kind = OPTION_CHECK, .high = 1, .listed = LIST_CURRENT, .initial = 1,
     NUMBER_FIELD(use_nn)},
    {.name = "OwnBook", .kind = OPTION_CHECK, .high = 1, NUMBER_FIELD(own_book)},
    {.name = "OwnBook_File", .kind = OPTION_STRING, TEXT_FIELD(book_file), .switch_name = "-book"},
    {.name = "OwnBook_Depth", .kind = OPTION_SPIN, .high = 60, .initial = 24, NUMBER_FIELD(book_depth)},
    {.name = "OwnBook2_File", .kind = OPTION_STRING, TEXT_FIELD(book2_file)},
    {.name = "OwnBook2_Depth", .kind = OPTION_SPIN, .high = 60, NUMBER_FIELD(book2_depth)},
    {.name = "OwnBook_Variety", .kind = OPTION_SPIN, .high = 100, .initial = 25, NUMBER_FIELD(book_variety)},
    {.name = "SyzygyPath", .kind = OPTION_STRING, TEXT_FIELD(syzygy_path), .after = after_syzygy_path,
     .switch_name = "-tbpath"},
    {.name = "SyzygyProbeDepth6", .kind = OPTION_SPIN, .low = -5, .high = 100, .initial = 1,
     NUMBER_FIELD(probe_depth6), .after = after_probe_depth},
    {.name = "Log", .kind = OPTION_CHECK, .high = 1, NUMBER_FIELD(log), .after = after_log},
    {.name = "Ponder", .kind = OPTION_CHECK, .high = 1, .initial = 1, NUMBER_FIELD(ponder)},
    {.name = "MultiPV", .kind = OPTION_SPIN, .low = 1, .high = MAX_MULTIPV, .initial = 1, NUMBER_FIELD(multipv),
     .switch_name = "-mpv"},
    {.name = "UCI_Chess960", .kind = OPTION_CHECK, .high = 1, .listed = LIST_CURRENT, NUMBER_FIELD(chess960)},
    {.name = "UCI_ShowWDL", .kind = OPTION_CHECK, .high = 1, NUMBER_FIELD(show_wdl)},
    {.name = "MoveOverhead", .kind = OPTION_SPIN, .high = 1000, .initial = 50, NUMBER_FIELD(move_overhead)},
    {.name = "UCI_LimitStrength", .kind = OPTION_CHECK, .high = 1, NUMBER_FIELD(limit_strength)},
    // 0 until the first "uci" lists the machine's calibrated strength as the default.
    {.name = "UCI_Elo", .kind = OPTION_SPIN, .low = 1500, .high = 3300, NUMBER_FIELD(elo), .list_high = elo_list_high},
    // Listed as text; the rating inside it is stored.
    {.name = "UCI_Opponent", .kind = OPTION_STRING, .high = 4000, .listed = LIST_FIXED, NUMBER_FIELD(opponent_elo),
     .number_in = opponent_rating, .confirm_name = "opponent_elo"},
    {.name = "Contempt", .kind = OPTION_SPIN, .low = -150, .high = 150, NUMBER_FIELD(contempt)},
    {.name = "Selectivity", .kind = OPTION_SPIN, .high = 200, .initial = 100, NUMBER_FIELD(selectivity)},
};
// clang-format on
const int OPTION_COUNT = int(sizeof OPTIONS / sizeof OPTIONS[0]);

#undef NUMBER_FIELD
#undef TEXT_FIELD

const OptionSpec* find_option(const char* name) {
    for (const OptionSpec& o : OPTIONS)
        if (!strcmp(o.name, name)) return &o;
    return nullptr;
}

const OptionSpec* find_option_switch(const char* switch_name) {
    for (const OptionSpec& o : OPTIONS)
        if (o.switch_name && !strcmp(o.switch_name, switch_name)) return &o;
    return nullptr;
}

int option_value_from_text(const OptionSpec& o, const char* value) {
    if (o.kind == OPTION_CHECK) return check_value(value);
    if (o.number_in) value = o.number_in(value);
    return clamp_int(atoll(value), o.low, o.high);
}

void store_option(const OptionSpec& o, const char* value) {
    Settings& s = settings;
    if (o.text) copy_field(o.text(s), o.text_size, value);
    else if (o.set)
        o.set(s, option_value_from_text(o, value));
}

void set_option(const char* name, const char* raw_value) {
    const OptionSpec* o = find_option(name);
    if (!o) {
        print_line("info string unknown option '%s', ignored", name);
        return;
    }
    Settings& s = settings;
    // A configuration line "NN_File = nets/x.nnue   # comment" leaves spaces before the comment.
    char value[256];
    set_field(value, raw_value);
    for (size_t n = strlen(value); n > 0 && (value[n - 1] == ' ' || value[n - 1] == '\t'); n--) value[n - 1] = 0;
    char previous_text[256] = "";
    int previous = 0;
    if (o->text) {
        copy_field(previous_text, int(sizeof previous_text), o->text(s));
        copy_field(o->text(s), o->text_size, value);
        print_line("info string %s set to '%s'", o->name, o->text(s));
    } else if (o->set) {
        const int v = option_value_from_text(*o, value);
        print_line("info string %s set to %d", o->confirm_name ? o->confirm_name : o->name, v);
        previous = o->get(s);
        o->set(s, v);
    }
    // A change that cannot take effect leaves the option as it was.
    if (o->after && o->after(previous) != 0 && o->text) copy_field(o->text(s), o->text_size, previous_text);
}

void print_uci_options() {
    print_line("id name %s", ENGINE_NAME);
    print_line("id author Mardale");
    for (const OptionSpec& o : OPTIONS) {
        const Settings& shown = o.listed == LIST_CURRENT ? settings : settings_snapshot;
        const int high = o.list_high ? o.list_high() : o.high;
        if (o.list_high && settings_snapshot.elo == 0) settings_snapshot.elo = i16(high);
        switch (o.kind) {
            case OPTION_BUTTON:
                print_line("option name %s type button", o.name);
                break;
            case OPTION_STRING:
                print_line("option name %s type string default %s", o.name,
                           o.text ? o.text(const_cast<Settings&>(shown)) : "");
                break;
            case OPTION_CHECK:
                print_line("option name %s type check default %s", o.name, o.get(shown) ? "true" : "false");
                break;
            case OPTION_SPIN:
                print_line("option name %s type spin default %d min %d max %d", o.name,
                           o.listed == LIST_FIXED ? o.initial : o.get(shown), o.low, high);
                break;
        }
    }
    print_line("uciok");
}

int set_option_from_switch(const char* switch_name, const char* value) {
    const OptionSpec* o = find_option_switch(switch_name);
    if (!o) return -1;
    store_option(*o, value);
    return 0;
}

int option_range(const char* name, int* low, int* high) {
    const OptionSpec* o = find_option(name);
    if (!o || o->kind != OPTION_SPIN) return -1;
    *low = o->low;
    *high = o->high;
    return 0;
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
    if (!f) {
        print_line("info string can't open configuration file %s, ignored", file_name);
        return;
    }
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
