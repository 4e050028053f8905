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

// One declaration per option drives the "uci" list, "setoption", the configuration file and
// the command-line switches that set the same field.
enum OptionKind : unsigned char { OPTION_SPIN, OPTION_CHECK, OPTION_STRING, OPTION_BUTTON };
// The value "uci" lists as the default: the settings as the start-up left them (snapshot), as
// they are now, or a fixed number.
enum ListedDefault : unsigned char { LIST_SNAPSHOT, LIST_CURRENT, LIST_FIXED };

struct Settings;
struct OptionSpec {
    const char* name;
    OptionKind kind;
    int low = 0, high = 0;  // range of a number (check options: 0 and 1)
    ListedDefault listed = LIST_SNAPSHOT;
    int initial = 0;                          // the default of a number option
    const char* initial_text = nullptr;       // the default of a text option (empty when null)
    int (*get)(const Settings& s) = nullptr;  // number options
    void (*set)(Settings& s, int v) = nullptr;
    char* (*text)(Settings& s) = nullptr;  // text options
    int text_size = 0;
    // What a change does beyond storing the value, given the previous number; nonzero when the
    // change could not take effect (the option then keeps its previous value).
    int (*after)(int previous) = nullptr;
    const char* (*number_in)(const char* value) = nullptr;  // where the number starts in the value text
    const char* confirm_name = nullptr;                     // the name the confirmation line uses, if not `name`
    int (*list_high)() = nullptr;                           // the listed maximum, if not `high`
    const char* switch_name = nullptr;                      // the command-line switch that sets the field
};
extern const OptionSpec OPTIONS[];
extern const int OPTION_COUNT;
const OptionSpec* find_option(const char* name);
const OptionSpec* find_option_switch(const char* switch_name);

// Stores a switch's value into the option's field, clamped like the option, without a
// confirmation and without what a change does (start-up does that once). -1 for no such switch.
int set_option_from_switch(const char* switch_name, const char* value);
// The range of a number option; -1 when there is no such option.
int option_range(const char* name, int* low, int* high);

// Hooks for subsystems that join later (hash table, tablebases, network). Each is a no-op
// until its subsystem registers it.
struct OptionHooks {
    int (*resize_hash)(unsigned mb);   // 0 on success
    void (*clear_hash)();
    void (*set_syzygy_path)(const char* path);
    int (*load_network)(const char* file);  // 0 when the network was loaded
};
extern OptionHooks option_hooks;
