#include "tools/selfplay.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/validate.h"
#include "core/output.h"
#include "core/settings.h"
#include "platform/platform.h"
#include "search/threads.h"
#include "search/tt.h"
#include "tablebase/tablebase.h"
#include "tools/game_record.h"
#include "tools/tool_io.h"
#include "tools/tools.h"

namespace {

constexpr u64 DEFAULT_NODES = 5000;
constexpr int DEFAULT_RANDOM_PLIES = 8;  // from the standard start; one more in half the games
constexpr int OPENING_ATTEMPTS = 1000;
constexpr int TB_PROBE_DEPTH = 80;       // deep enough for every probe-depth setting
constexpr int TB_WIN = 4, TB_LOSS = 0;

// splitmix64: small, fast and fully determined by the seed.
struct Random {
    u64 state;
    u64 next() {
        u64 z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % u64(n)); }
};

int legal_moves(Position& pos, Move* out) {
    MoveEntry list[MAX_MOVES];
    const int n = gen_all_moves(pos, list);
    int k = 0;
    for (int i = 0; i < n; i++)
        if (is_legal(pos, pos.side, list[i].move)) out[k++] = list[i].move;
    return k;
}

// Neither side can mate: no pawns, rooks or queens and at most one minor piece each.
bool insufficient_material(const Position& pos) {
    for (int c = 0; c < 2; c++) {
        const u32 m = pos.material[c];
        if (material_count(m, PAWN) || material_count(m, ROOK) || material_count(m, QUEEN)) return false;
        if (material_count(m, KNIGHT) + material_count(m, BISHOP) > 1) return false;
    }
    return true;
}

void play_game_move(Position& pos, Move m) {
    make_game_move(pos, m);
    pos.owner->entries[pos.owner->count].move = 0;
}

struct Openings {
    std::vector<std::string> lines;
};

int load_openings(const char* path, Openings& out) {
    FILE* f = open_tool_input(path, "rb");
    if (!f) return -1;
    LineReader* reader = new LineReader;
    line_reader_open(*reader, f);
    char line[512];
    int n;
    while ((n = read_line(*reader, line, sizeof line)) != -1)
        if (n > 10 && line[0] != '#') out.lines.emplace_back(line);
    delete reader;
    fclose(f);
    if (out.lines.empty()) {
        tool_message("%s holds no opening positions", path);
        return -1;
    }
    return 0;
}

// Sets up the start of a game: an opening line (or the standard start) and random plies after
// it. Returns false when that attempt ended in a finished game or an unusable line.
bool set_up_opening(Position& pos, const SelfPlayConfig& cfg, const Openings& openings, Random& rng) {
    if (!openings.lines.empty()) {
        const std::string& line = openings.lines[size_t(rng.below(int(openings.lines.size())))];
        EpdFields f;
        split_epd(line.c_str(), f);
        set_fen(pos, f.fen);
        sanitize_ep_square(pos);
        char why[80];
        if (validate_position(pos, why) != 0) return false;
    } else {
        set_fen(pos, START_FEN);
    }
    int plies = cfg.random_plies;
    if (plies < 0) plies = openings.lines.empty() ? DEFAULT_RANDOM_PLIES + rng.below(2) : 0;
    Move moves[MAX_MOVES];
    for (int i = 0; i < plies; i++) {
        const int n = legal_moves(pos, moves);
        if (n == 0) return false;
        play_game_move(pos, moves[rng.below(n)]);
    }
    if (legal_moves(pos, moves) == 0 || is_draw(pos, 0) || insufficient_material(pos)) return false;
    // The game record starts here: forget the history of the opening plies.
    char fen[128];
    get_fen(pos, fen, 1);
    set_fen(pos, fen);
    return true;
}

// Searches the game position with the configured budget; returns the move, score and depth.
Move search_move(const SelfPlayConfig& cfg, Position& pos, int* score, int* depth) {
    SearchControl& c = search_control;
    c.game_plies = pos.owner->count;
    settings.node_limit = cfg.nodes;
    run_search(SEARCH_BENCH, false);
    c.search_state = 0;
    *score = c.score;
    *depth = c.result_depth;
    Move m = c.pv[1];
    return m ? m : first_legal_move(pos);
}

// The game's result when it is over before the next move is searched; RESULT_NONE otherwise.
int rules_result(Position& pos, const SelfPlayConfig& cfg, const char** termination) {
    *termination = "normal";
    if (!first_legal_move(pos)) {
        if (is_attacked(pos, pos.king_sq[pos.side], pos.side ^ 1)) return pos.side == WHITE ? RESULT_BLACK : RESULT_WHITE;
        return RESULT_DRAW;
    }
    if (is_draw(pos, 0) || insufficient_material(pos)) return RESULT_DRAW;
    if (cfg.use_tablebases && TB_LARGEST > 0 && pos.castling == 0 && popcount(occupancy(pos)) <= TB_LARGEST) {
        const int wdl = tb_probe_wdl(pos, TB_PROBE_DEPTH);
        if (wdl >= 0) {
            *termination = "adjudication";
            if (wdl == TB_WIN) return pos.side == WHITE ? RESULT_WHITE : RESULT_BLACK;
            if (wdl == TB_LOSS) return pos.side == WHITE ? RESULT_BLACK : RESULT_WHITE;
            return RESULT_DRAW;
        }
    }
    return RESULT_NONE;
}

// Adjudication by the scores of the last plies (from White's side).
int score_result(const GameRecord& g, const SelfPlayConfig& cfg) {
    const int n = g.plies;
    if (n >= cfg.win_plies) {
        bool white = true, black = true;
        for (int i = n - cfg.win_plies; i < n; i++) {
            const int s = g.white_scores[i];
            white &= s >= cfg.win_score;
            black &= s <= -cfg.win_score;
        }
        if (white) return RESULT_WHITE;
        if (black) return RESULT_BLACK;
    }
    if (n >= cfg.draw_from_ply && n >= cfg.draw_plies) {
        bool quiet = true;
        for (int i = n - cfg.draw_plies; i < n; i++) quiet &= abs(g.white_scores[i]) <= cfg.draw_score;
        if (quiet) return RESULT_DRAW;
    }
    if (n >= cfg.max_plies) return RESULT_DRAW;
    return RESULT_NONE;
}

void play_one_game(const SelfPlayConfig& cfg, Position& pos, GameRecord& g) {
    g.plies = 0;
    g.result = RESULT_NONE;
    get_fen(pos, g.start_fen, 0);
    g.start_fen_rule50 = pos.rule50;
    g.start_side = pos.side;
    tt_clear(1);
    search_control.hashfull = 0;
    for (;;) {
        const char* termination;
        int r = rules_result(pos, cfg, &termination);
        if (r == RESULT_NONE) {
            r = score_result(g, cfg);
            termination = "adjudication";
        }
        if (r != RESULT_NONE) {
            g.result = r;
            g.termination = termination;
            return;
        }
        int score, depth;
        const Move m = search_move(cfg, pos, &score, &depth);
        record_move(g, pos, m, score, depth);
        play_game_move(pos, m);
    }
}

}  // namespace

SelfPlayConfig selfplay_config_from_settings() {
    const Settings& s = settings;
    SelfPlayConfig c;
    c.games = s.selfplay_games;
    c.out_file = s.pgn_file;
    c.openings_file = s.openings_file;
    c.random_plies = s.random_plies;
    c.nodes = s.node_limit ? s.node_limit : DEFAULT_NODES;
    c.seed = s.seed_given ? s.random_seed : platform::realtime_nanoseconds();
    c.win_score = 1000;
    c.win_plies = 8;
    c.draw_score = 10;
    c.draw_plies = 16;
    c.draw_from_ply = 80;
    c.max_plies = 400;
    c.use_tablebases = strlen(s.syzygy_path) > 1;
    c.progress_seconds = 10.0f;
    return c;
}

int play_selfplay_games(const SelfPlayConfig& cfg, SelfPlayTotals* totals) {
    SelfPlayTotals t = {0, 0, 0, 0, 0};
    Openings openings;
    if (cfg.openings_file && cfg.openings_file[0] && load_openings(cfg.openings_file, openings) != 0) return 1;
    if (!has_extension(cfg.out_file, ".pgn")) {
        tool_message("-selfplay needs an output file name containing .pgn");
        return 1;
    }
    FILE* out = open_tool_output(cfg.out_file, "a", cfg.openings_file);
    if (!out) return 1;

    // One search thread, no output, no contempt (the searches run as analysis): a game then
    // depends only on the seed.
    Settings& s = settings;
    s.threads = 1;
    s.multipv = 1;
    s.noise = 99999.0f;
    s.tc_moves = 1;
    s.tc_time = 1000.0f;
    s.depth_limit = 80;
    s.limit_strength = 0;
    srand(unsigned(cfg.seed));
    Random rng{cfg.seed};

    Position& pos = tool_position();
    auto* g = static_cast<GameRecord*>(calloc(1, sizeof(GameRecord)));
    if (!g) {
        fclose(out);
        return 1;
    }
    std::unordered_set<u64> starts;
    const double started = platform::now_seconds();
    double last_report = started;
    print_line("selfplay: %u games, %llu nodes per move, seed %llu, output %s", cfg.games, (unsigned long long)cfg.nodes,
               (unsigned long long)cfg.seed, cfg.out_file);
    for (u32 game = 0; game < cfg.games && !s.quit; game++) {
        bool ready = false;
        for (int attempt = 0; attempt < OPENING_ATTEMPTS && !ready; attempt++)
            ready = set_up_opening(pos, cfg, openings, rng) && starts.insert(pos.key).second;
        if (!ready) {
            tool_message("no new opening position found after %d attempts", OPENING_ATTEMPTS);
            break;
        }
        play_one_game(cfg, pos, *g);
        g->round = int(game + 1);
        g->nodes = cfg.nodes;
        g->seed = cfg.seed;
        if (write_game_pgn(*g, out) != 0) {
            tool_message("error writing %s", cfg.out_file);
            break;
        }
        t.games++;
        t.positions += u64(g->plies);
        if (g->result == RESULT_WHITE) t.white_wins++;
        else if (g->result == RESULT_BLACK) t.black_wins++;
        else t.draws++;
        const double now = platform::now_seconds();
        if (now - last_report >= cfg.progress_seconds || game + 1 == cfg.games) {
            last_report = now;
            print_line("selfplay games %u, positions %llu, %.0f positions/s, +%u =%u -%u", t.games,
                       (unsigned long long)t.positions, double(t.positions) / (now - started + 1e-9), t.white_wins,
                       t.draws, t.black_wins);
        }
    }
    free(g);
    const bool failed = fclose(out) != 0;
    if (totals) *totals = t;
    return failed ? 1 : 0;
}

int run_selfplay() {
    if (settings.selfplay_games == 0) {
        tool_message("-selfplay needs a number of games and a .pgn file");
        return 1;
    }
    return play_selfplay_games(selfplay_config_from_settings(), nullptr);
}
