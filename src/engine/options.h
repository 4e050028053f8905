// Option handling: defaults, the snapshot, set_option and the configuration file.
#pragma once

constexpr const char* ENGINE_NAME = "Vellum 7.00";

void set_settings_defaults();
void set_search_control_defaults();
void take_settings_snapshot();
void restore_settings_snapshot();

// Applies one named option (UCI "setoption" and the configuration file). Unknown names are
// ignored; numbers are clamped; trailing spaces of a value are dropped; every applied option
// is confirmed with an "info string" line.
void set_option(const char* name, const char* value);

// Reads settings.config_file: lines "Name = value", '#' starts a comment. A missing file is
// ignored silently. Nested "ConfigFilePath" lines are followed up to a fixed depth.
void load_config();

// Prints the identification, the option list and "uciok".
void print_uci_options();

// Hooks for subsystems that join later (hash table, tablebases, network). Each is a no-op
// until its subsystem registers it.
struct OptionHooks {
    int (*resize_hash)(unsigned mb);   // 0 on success
    void (*clear_hash)();
    void (*set_syzygy_path)(const char* path);
    int (*load_network)(const char* file);  // 0 when the network was loaded
};
extern OptionHooks option_hooks;
