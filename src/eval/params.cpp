// Registration of the hand-crafted evaluation parameters and the loader of their CSV text.
#include "eval/params.h"

#include <cstdlib>
#include <cstring>

#include "core/output.h"

ParamTable param_table;
HceParam* hce_scalar[HCE_SCALAR_COUNT];
HceParam* hce_pst[HCE_PST_COUNT][64];
HceParam* hce_ttune[TTUNE_COUNT];

const char* const HceScalarNames[HCE_SCALAR_COUNT] = {
    "mtl_pawn", "mtl_knight", "mtl_bishop", "mtl_rook", "mtl_queen", "bishop_pair",
    "knight_mobility", "bishop_mobility", "rook_mobility", "queen_mobility",
    "ppawn_base", "ppawn_mobile", "ppawn_free", "ppawn_connected", "ppawn_fkprox", "ppawn_ekprox",
    "ppawn_candidate", "pawn_isolated", "pawn_weak", "pawn_blocked", "pawn_doubled",
    "knight_outpost", "bishop_infiltration", "bishop_outpost", "bishop_rampawns",
    "rook_infiltration", "rook_openfile", "rook_7th", "pawn_shield", "enemy_checks",
    "king_danger1", "king_danger2", "king_trapped", "king_pawn_dist", "hung_pawn",
    "attacked_pawn", "hung_minor", "attacked_minor", "hung_major", "ppush_threat",
    "pinned_piece", "mtl_imbalance", "stm_bonus",
};

const char* const HcePstNames[HCE_PST_COUNT] = {
    "PST_P1", "PST_P2", "PST_CP", "PST_DP", "PST_N", "PST_B", "PST_R", "PST_Q", "PST_K",
};

static void set_values(HceParam& p, int mg, int eg) {
    p.score = make_score(mg, eg);
    p.mg = float(mg);
    p.eg = float(eg);
}

int register_param(HceParam** slot, const char* name, int mg, int eg) {
    ParamTable& t = param_table;
    if (t.count >= PARAM_CAPACITY) return -1;
    int index = t.count;
    HceParam& p = t.entries[index];
    set_values(p, mg, eg);
    std::memset(p.name, 0, sizeof(p.name));
    std::strncpy(p.name, name, sizeof(p.name) - 1);
    *slot = &p;
    if (t.first_pst == 0 && std::strstr(p.name, "PST_") != nullptr) t.first_pst = index;
    t.count++;
    return index;
}

int register_param(HceParam** slot, const char* name) { return register_param(slot, name, 0, 0); }

void register_hce_params() {
    param_table.count = 0;
    param_table.first_pst = 0;
    param_table.cursor = 0;
    // Material starts at rough textbook values; the loader replaces everything right away.
    const int provisional[5] = {100, 335, 335, 535, 1000};
    for (int i = 0; i < HCE_SCALAR_COUNT; i++) {
        int v = i <= P_MTL_QUEEN ? provisional[i] : 0;
        register_param(&hce_scalar[i], HceScalarNames[i], v, v);
    }
    for (int t = 0; t < HCE_PST_COUNT; t++)
        for (int sq = 0; sq < 64; sq++) register_param(&hce_pst[t][sq], HcePstNames[t]);
    for (int i = 0; i < TTUNE_COUNT; i++) register_param(&hce_ttune[i], "ttune");
}

// Copies the next line of `text` starting at `pos` into `line` (at most cap - 1 characters,
// carriage returns dropped). A line ends at NUL, line feed or space. Returns the position just
// after the terminator, or the position of the NUL when the text ends.
static int read_line(const char* text, int pos, char* line, int cap) {
    int n = 0;
    while (text[pos] != 0 && text[pos] != '\n' && text[pos] != ' ' && n < cap - 1) {
        if (text[pos] != '\r') line[n++] = text[pos];
        pos++;
    }
    line[n] = 0;
    if (text[pos] == '\n' || text[pos] == ' ') pos++;
    return pos;
}

// Reads the next comma-separated integer of a line; a field that does not parse reads as 0 and
// a line that has run out of fields gives 0 for the rest.
static int next_field(const char*& p) {
    if (*p == 0) return 0;
    int v = std::atoi(p);
    while (*p != 0 && *p != ',') p++;
    if (*p == ',') p++;
    return v;
}

void load_params_text(const char* text) {
    ParamTable& t = param_table;
    char line[1024];
    int pos = 0;
    while (text[pos] != 0) {
        pos = read_line(text, pos, line, sizeof(line));
        if (line[0] == 0 || std::strstr(line, "start") || std::strchr(line, '(') || std::strchr(line, ')'))
            continue;
        char* comma = std::strchr(line, ',');
        const char* values = "";
        if (comma != nullptr) {
            *comma = 0;
            values = comma + 1;
        }
        const char* name = line;
        int pairs = std::strstr(name, "PST") ? 64 : std::strstr(name, "ttune") ? 32 : 1;
        if (std::strcmp(name, "mtl_pawn") == 0) t.cursor = 0;
        for (int i = 0; i < pairs; i++) {
            int mg = next_field(values);
            int eg = next_field(values);
            if (t.cursor < 0 || t.cursor >= t.count) break;  // more values than entries: drop them
            HceParam& p = t.entries[t.cursor];
            if (std::strcmp(name, p.name) != 0) print_line("error %s  %s", name, p.name);
            set_values(p, mg, eg);
            t.cursor++;
        }
    }
}

void load_default_params() {
    if (param_table.count == 0) register_hce_params();
    load_params_text(DefaultParamText);
}
