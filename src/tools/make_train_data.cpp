// -mktraindata: labels the positions of an EPD file with a search score (or the tablebase
// result) after following a short search's principal variation to a quiet position, keeping
// the game result of the input when it has one.
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/validate.h"
#include "core/output.h"
#include "core/settings.h"
#include "search/threads.h"
#include "tools/tool_io.h"
#include "tools/tools.h"
#include "tools/training_record.h"

namespace {

constexpr int LINE_LIMIT = 512;
constexpr int REOPEN_EVERY = 4096;
constexpr int QUIET_SEARCH_DEPTH = 2;
constexpr int TB_LABEL = 9000;
constexpr int TB_WIN = 4, TB_DRAW = 2, TB_LOSS = 0;
constexpr int TACTICAL_GAIN = 75;  // quiescence above the static score by this much: not quiet
constexpr int QUIET_DRAW_BAND = 20;
constexpr float CLEAR_WIN_P = 0.9f, CLEAR_LOSS_P = 0.1f;

bool in_check(const Position& pos) { return is_attacked(pos, pos.king_sq[pos.side], pos.side ^ 1); }

void search_position() {
    run_search_inline();
    search_control.search_state = 0;
}

struct Label {
    int ce, sc;
    double r;
    bool has_gr;
};

// Runs the two searches for one position; returns false when the line is to be skipped.
bool label_position(Position& pos, Label& label, bool has_ce) {
    SearchControl& c = search_control;
    Settings& s = settings;
    const i8 depth = s.depth_limit;
    s.depth_limit = QUIET_SEARCH_DEPTH;
    c.game_plies = pos.owner->count;
    search_position();
    s.depth_limit = depth;
    // Follow the short search's line to its end; scores and results flip with the side.
    Move line[PV_SIZE + 1];
    for (int i = 0; i <= PV_SIZE; i++) line[i] = c.pv[i];
    for (int p = 1; p <= MAX_PLY && line[p]; p++) {
        if (!is_legal(pos, pos.side, line[p])) break;
        make_move(pos, line[p]);
        label.ce = -label.ce;
        label.r = 1.0 - label.r;
    }
    if (in_check(pos) || !first_legal_move(pos)) return false;
    c.game_plies = pos.owner->count;
    search_position();

    int sc = c.score;
    if (c.root_tb == TB_WIN) sc = TB_LABEL;
    else if (c.root_tb == TB_LOSS) sc = -TB_LABEL;
    else if (c.root_tb == TB_DRAW) sc = 0;
    label.sc = sc;
    const float p = win_probability(float(sc));
    if (!has_ce) label.ce = sc;
    if (!label.has_gr) label.r = p;

    const int e = c.root_eval[0], q = c.root_eval[1];
    const Move best = c.pv[1];
    if (q > e + TACTICAL_GAIN && best && pos.board[move_to(best)]) return false;
    if (p >= CLEAR_LOSS_P) {
        if (label.r <= 0.5 && p > CLEAR_WIN_P) return false;
        if (label.r == 0.5 && abs(e) <= QUIET_DRAW_BAND && abs(sc) <= QUIET_DRAW_BAND) return false;
    } else if (label.r >= 0.5) {
        return false;
    }
    return true;
}

u64 next_random(u64& state) {
    u64 z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Plays `plies` random legal moves; false when the game ends on the way.
bool play_random_plies(Position& pos, int plies, u64& rng) {
    MoveEntry list[MAX_MOVES];
    for (int i = 0; i < plies; i++) {
        const int n = gen_all_moves(pos, list);
        Move legal[MAX_MOVES];
        int k = 0;
        for (int j = 0; j < n; j++)
            if (is_legal(pos, pos.side, list[j].move)) legal[k++] = list[j].move;
        if (k == 0) return false;
        make_move(pos, legal[next_random(rng) % u64(k)]);
    }
    return first_legal_move(pos) != MOVE_NONE;
}

}  // namespace

int make_train_data() {
    Settings& s = settings;
    SearchControl& c = search_control;
    if (!has_extension(s.epd_file, ".epd") || !has_extension(s.out_file, ".epd")) {
        tool_message("-mktraindata needs input and output names containing .epd (-o for the output)");
        return 1;
    }
    print_line("infile= %s, outfile= %s", s.epd_file, s.out_file);
    FILE* in = open_tool_input(s.epd_file, "rb");
    if (!in) return 1;
    FILE* out = open_tool_output(s.out_file, "w", s.epd_file);
    if (!out) {
        fclose(in);
        return 1;
    }
    s.noise = 99999.0f;
    s.threads = 1;
    s.multipv = 1;
    if (s.depth_limit < 3) c.hash_in_use = 0;

    // -random_plies and -variations turn each input position into several nearby ones.
    const int random_plies = s.random_plies > 0 ? s.random_plies : 0;
    const int variations = s.variations > 1 ? s.variations : 1;
    u64 rng = s.seed_given ? s.random_seed : 1;
    Position& pos = tool_position();
    LineReader* reader = new LineReader;
    line_reader_open(*reader, in);
    char line[LINE_LIMIT], fen[128];
    int n, written = 0;
    u64 number = 0;
    bool failed = false;
    while ((n = read_line(*reader, line, sizeof line)) != -1 && !failed) {
        number++;
        if (n < 0 || n < 10 || line[0] == '#' || line[0] == ';' || line[0] == ' ') continue;
        EpdFields f;
        split_epd(line, f);
        if (!f.fen[0]) continue;
        set_fen(pos, f.fen);
        sanitize_ep_square(pos);
        char why[80];
        if (validate_position(pos, why) != 0) {
            tool_message("line %llu skipped: %s", (unsigned long long)number, why);
            continue;
        }
        // Each variation starts from the line's position and plays its random plies first;
        // their labels come from the searches alone (a game result no longer applies).
        for (int v = 0; v < variations && !failed; v++) {
            if (v > 0 || random_plies > 0) {
                set_fen(pos, f.fen);
                sanitize_ep_square(pos);
                if (!play_random_plies(pos, random_plies, rng)) continue;
            }
            if (in_check(pos)) continue;
            const bool keep_labels = random_plies == 0;
            Label label = {keep_labels && f.ce[0] ? atoi(f.ce) : 0, 0, keep_labels && f.gr[0] ? atof(f.gr) : 0.5,
                           keep_labels && f.gr[0] != 0};
            if (!label_position(pos, label, keep_labels && f.ce[0] != 0)) continue;
            get_fen(pos, fen, 0);
            if (label.has_gr) fprintf(out, "%s ce %d; sc %d; gr %0.1f;\n", fen, label.ce, label.sc, label.r);
            else fprintf(out, "%s sc %d;\n", fen, label.sc);
            if (++written % REOPEN_EVERY == 0) {
                // Close and reopen so that what was written survives a crash or a kill.
                failed = fclose(out) != 0;
                out = failed ? nullptr : fopen(s.out_file, "a");
                failed = failed || !out;
            }
        }
    }
    delete reader;
    fclose(in);
    print_line("%s", "");
    if (out && fclose(out) != 0) failed = true;
    if (failed) {
        tool_message("error writing %s", s.out_file);
        return 1;
    }
    return 0;
}
