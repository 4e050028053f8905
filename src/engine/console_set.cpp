// The console's "set": engine settings by name. Values are clamped into the ranges that the
// matching UCI options use.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/output.h"
#include "core/settings.h"
#include "engine/console_internal.h"
#include "engine/options.h"
#include "search/time.h"

namespace {

constexpr int MAX_PRUNING_DEPTH = 99;  // a pruning depth this large never applies
constexpr int MAX_HASH_USE = 2;        // 0 no table, 1 cleared before each analysis, 2 kept
constexpr int MAX_LEVEL_MOVES = 127;

int clamp_to_option(const char* option, int v) {
    int low = 0, high = 0;
    return option_range(option, &low, &high) == 0 ? clamp_int(v, low, high) : v;
}

// "5:00" is five minutes, "90" ninety seconds.
float read_time(const char* text) {
    const char* colon = strchr(text, ':');
    if (!colon) return float(atof(text));
    return float(atoi(text) * 60 + atof(colon + 1));
}

void set_level(const CommandWords& cmd) {
    Settings& s = settings;
    s.tc_moves = i8(clamp_int(atoi(cmd.words[2]), 0, MAX_LEVEL_MOVES));
    float t = read_time(cmd.words[3]);
    s.tc_time = t < 0 ? 0 : t;
    float inc = float(atof(cmd.words[4]));
    s.increment = inc < 0 ? 0 : inc;
    search_control.clock[0] = search_control.clock[1] = s.tc_time;
    print_line("set level to %d moves in %0.2f seconds, inc %0.2f", int(s.tc_moves), double(s.tc_time),
               double(s.increment));
}

void set_target_nps(const char* value) {
    Settings& s = settings;
    double nps = atof(value);
    if (nps < 0) nps = 0;
    search_control.target_nps = nps;
    s.limit_strength = nps > 0;
    s.elo = nps > 0 ? i16(clamp_int(long(elo_from_nps(nps)), -32768, 32767)) : 0;
    print_line("target_nps set to %.0f, Elo= %d", nps, int(s.elo));
}

void set_selectivity_switch(int value) {
    Settings& s = settings;
    if (value == 1) {
        // Only the pruning depths go back to their saved values: the rest of the settings
        // (protocol mode, hash size, threads, files) stay as they are.
        const Settings& saved = settings_snapshot;
        s.SEP_depth = saved.SEP_depth;
        s.NMP_depth = saved.NMP_depth;
        s.FP_depth = saved.FP_depth;
        s.LMP_depth = saved.LMP_depth;
        s.LMR_depth = saved.LMR_depth;
        print_line("set default Settings");
        return;
    }
    s.SEP_depth = 0;
    s.NMP_depth = MAX_PRUNING_DEPTH;
    s.LMP_depth = 0;
    s.LMR_depth = MAX_PRUNING_DEPTH;
    print_line("selectivity set to OFF");
}

// First group: at most one acts. Returns whether the name was one of them.
bool set_first_group(const CommandWords& cmd) {
    Settings& s = settings;
    const char* name = cmd.words[1];
    const char* value = cmd.words[2];
    const int v = atoi(value);
    if (!strcmp(name, "hash")) {
        search_control.hash_in_use = u8(clamp_int(v, 0, MAX_HASH_USE));
    } else if (!strcmp(name, "noise")) {
        const float noise = float(atof(value));
        s.noise = noise < 0 ? 0 : noise;
    } else if (strstr(name, "multipv")) {
        s.multipv = u8(clamp_to_option("MultiPV", v));
    } else if (!strcmp(name, "debug")) {
        s.debug_display = v != 0;
    } else if (!strcmp(name, "frc")) {
        s.chess960 = v != 0;
    } else if (!strcmp(name, "level")) {
        set_level(cmd);
    } else if (!strcmp(name, "depth")) {
        s.depth_limit = i8(clamp_int(v, 0, CONSOLE_MAX_DEPTH));
    } else if (!strcmp(name, "nodes")) {
        const long long n = atoll(value);
        s.node_limit = n < 0 ? 0 : u64(n);
        s.depth_limit = CONSOLE_MAX_DEPTH;
    } else if (!strcmp(name, "target_nps")) {
        set_target_nps(value);
    } else if (!strcmp(name, "ss")) {
        set_selectivity_switch(v);
    } else {
        return false;
    }
    return true;
}

// The second group's fields; those with a UCI option take its range.
struct NamedField {
    const char* name;
    i16 Settings::*field;
    const char* option;
};
const NamedField SECOND_GROUP[] = {
    {"NMP_depth", &Settings::NMP_depth, nullptr},  {"SEP_depth", &Settings::SEP_depth, nullptr},
    {"FP_depth", &Settings::FP_depth, nullptr},    {"LMP_depth", &Settings::LMP_depth, nullptr},
    {"LMR_depth", &Settings::LMR_depth, nullptr},  {"Selectivity", &Settings::selectivity, "Selectivity"},
    {"contempt", &Settings::contempt, "Contempt"},
};

// Second group: tested for every "set". Returns whether the name was one of them.
bool set_second_group(const CommandWords& cmd) {
    const char* name = cmd.words[1];
    const int v = atoi(cmd.words[2]);
    for (const NamedField& f : SECOND_GROUP) {
        if (strcmp(name, f.name) != 0) continue;
        const int clamped = f.option ? clamp_to_option(f.option, v) : clamp_int(v, 0, MAX_PRUNING_DEPTH);
        settings.*f.field = i16(clamped);
        print_line("%s set to %d", name, clamped);
        return true;
    }
    if (!strcmp(name, "ponder")) {
        settings.ponder = v != 0;
        print_line("%s set to %d", name, int(settings.ponder));
        return true;
    }
    return false;
}

}  // namespace

void console_set(CommandWords& cmd) {
    const bool first = set_first_group(cmd);
    const bool second = set_second_group(cmd);
    if (!first && !second) print_line("set: unknown name '%s'", cmd.words[1]);
}
