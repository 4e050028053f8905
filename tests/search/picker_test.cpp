// Move picker: stage order and scores, ordering-table updates, and perft walked through the
// picker against published node counts.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "search/perft_picker.h"
#include "search/picker.h"
#include "search_fixture.h"

namespace {

struct PickerTest : ::testing::Test {
    SearchThread* t = nullptr;
    void SetUp() override {
        prepare_search_environment(1);
        if (!thread_table[0]) thread_table[0] = create_thread_record(0);
        t = thread_table[0];
    }
    void load(const char* fen) {
        set_fen(t->pos, fen);
        reset_ordering(*t);
        for (int p = 0; p < 4; p++) {
            t->stack[p].current_move = 0;
            t->stack[p].null_move = 0;
        }
    }
    void start(int ply, int mode, Move hash) {
        SearchStackEntry& s = t->stack[ply];
        s.checker = u8(checker_square(t->pos));
        s.in_check = s.checker != NO_SQUARE;
        picker_start(*t, ply, mode, hash);
    }
    std::vector<MoveEntry> drain(int ply) {
        std::vector<MoveEntry> out;
        while (MoveEntry* e = next_move(*t, ply)) out.push_back(*e);
        return out;
    }
    Move uci(const char* text) { return parse_uci_move(t->pos, text); }
};

int find(const std::vector<MoveEntry>& list, Move m) {
    for (size_t i = 0; i < list.size(); i++)
        if (list[i].move == m) return int(i);
    return -1;
}

TEST_F(PickerTest, HashMoveThenWinningCapturesThenKillersThenLosingCaptures) {
    // White: queen can take a defended pawn (losing), pawn can take a queen (winning).
    load("4k3/8/2p5/1p1q4/4P3/8/8/3QK3 w - - 0 1");
    t->stack[2].killer1 = uci("d1d2");
    const Move hash = uci("e1f2");
    start(2, PICK_MAIN_MODE, hash);
    auto list = drain(2);
    ASSERT_GE(list.size(), 4u);
    EXPECT_EQ(list[0].move, hash);
    EXPECT_EQ(list[0].score, 255);
    EXPECT_EQ(list[1].move, uci("e4d5"));
    EXPECT_EQ(list[1].score, 249);  // pawn takes queen
    const int killer = find(list, uci("d1d2"));
    ASSERT_GE(killer, 0);
    EXPECT_EQ(list[killer].score, 5 + 80);
    EXPECT_EQ(list[2].move, uci("d1d5"));  // queen takes queen, an even exchange
    EXPECT_GT(killer, 2);
    // Every legal move appears once besides the hash move's duplicate.
    int hash_seen = 0;
    for (auto& e : list) hash_seen += e.move == hash;
    EXPECT_EQ(hash_seen, 2);
}

TEST_F(PickerTest, LosingCaptureComesAfterKillers) {
    load("4k3/8/2p5/1p6/8/8/8/1Q2K3 w - - 0 1");
    t->stack[2].killer1 = uci("e1d2");
    start(2, PICK_MAIN_MODE, 0);
    auto list = drain(2);
    const int capture = find(list, uci("b1b5"));
    const int killer = find(list, uci("e1d2"));
    ASSERT_GE(capture, 0);
    ASSERT_GE(killer, 0);
    EXPECT_EQ(list[capture].score, 4);
    EXPECT_LT(killer, capture);
}

TEST_F(PickerTest, QuiescenceGivesCapturesThenQuietChecksOnly) {
    load("4k3/8/8/8/8/3p4/8/R1N1K3 w - - 0 1");
    start(2, PICK_QUIESCENCE_CHECKS, 0);
    auto list = drain(2);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].move, uci("c1d3"));  // the only capture
    for (size_t i = 1; i < list.size(); i++) {
        EXPECT_EQ(list[i].captured, 0);
        EXPECT_EQ(list[i].score, 100);
    }
    EXPECT_GE(find(list, uci("a1a8")), 1);
    EXPECT_EQ(find(list, uci("a1a2")), -1);
    // Below depth 0 no quiet moves at all.
    start(2, PICK_QUIESCENCE, 0);
    list = drain(2);
    ASSERT_EQ(list.size(), 1u);
}

TEST_F(PickerTest, HistoryUpdatesStayInRange) {
    load(START_FEN);
    MoveEntry e = {uci("g1f3"), 0, u8(make_piece(WHITE, KNIGHT)), 0};
    t->stack[2].in_check = 0;
    i32& h = t->history_table[table_index(e.piece, e.move)];
    h = HISTORY_MAX;
    update_quiet_history(*t, 2, 16, e, false);
    EXPECT_EQ(h, HISTORY_MAX - 8192);
    for (int i = 0; i < 50; i++) update_quiet_history(*t, 2, 20, e, true);
    EXPECT_LE(h, HISTORY_MAX);
    EXPECT_EQ(t->stack[2].killer1, e.move);
    for (int i = 0; i < 200; i++) update_quiet_history(*t, 2, 16, e, false);
    EXPECT_GE(h, 0);
}

TEST_F(PickerTest, CounterAndFollowUpMovesAreRemembered) {
    load(START_FEN);
    t->stack[1].current_move = uci("e2e4");
    t->stack[1].current_piece = u8(make_piece(WHITE, PAWN));
    make_move(t->pos, t->stack[1].current_move);
    MoveEntry reply = {parse_uci_move(t->pos, "c7c5"), 0, u8(make_piece(BLACK, PAWN)), 0};
    t->stack[2].in_check = 0;
    update_quiet_history(*t, 2, 4, reply, true);
    EXPECT_EQ(t->counter1[table_index(make_piece(WHITE, PAWN), t->stack[1].current_move)], reply.move);
    EXPECT_EQ(quiet_score(*t, 2, reply) >= 80, true);  // killer bonus
    unmake_move(t->pos);
}

// Perft through the picker over the shared test positions, to depths that keep the run short.
struct PerftCase {
    std::string fen;
    std::vector<u64> counts;
};

std::vector<PerftCase> read_perft_file(const std::string& path) {
    std::vector<PerftCase> cases;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        size_t semi = line.find(';');
        if (semi == std::string::npos) continue;
        PerftCase c;
        c.fen = line.substr(0, semi);
        size_t p = semi;
        while ((p = line.find(";D", p)) != std::string::npos) {
            size_t space = line.find(' ', p);
            c.counts.push_back(std::stoull(line.substr(space + 1)));
            p = space;
        }
        cases.push_back(c);
    }
    return cases;
}

void run_perft_file(PickerTest& fx, const char* name, u64 node_budget) {
    std::string path = std::string(VELLUM_SHARED_DIR) + "/testdata/perft/" + name;
    auto cases = read_perft_file(path);
    if (cases.empty()) GTEST_SKIP() << "missing " << path;
    settings.chess960 = strstr(name, "960") != nullptr;
    for (auto& c : cases) {
        fx.load(c.fen.c_str());
        for (size_t d = 0; d < c.counts.size() && c.counts[d] <= node_budget; d++) {
            fx.t->nodes = 0;
            perft_picker(*fx.t, 1, int(d + 1));
            EXPECT_EQ(fx.t->nodes, c.counts[d]) << c.fen << " depth " << d + 1;
        }
    }
    settings.chess960 = 0;
}

TEST_F(PickerTest, PerftStandard) { run_perft_file(*this, "standard.epd", 200000); }
TEST_F(PickerTest, PerftChess960) { run_perft_file(*this, "chess960.epd", 60000); }
TEST_F(PickerTest, PerftChess960TwoRooks) { run_perft_file(*this, "chess960_two_rooks.epd", 300000); }
TEST_F(PickerTest, PerftUnreachable) { run_perft_file(*this, "unreachable.epd", 100000); }

TEST_F(PickerTest, PerftOfAMatedSideIsZero) {
    load("6k1/5ppp/8/8/8/8/5PPP/1r4K1 w - - 0 1");
    t->nodes = 0;
    perft_picker(*t, 1, 3);
    EXPECT_EQ(t->nodes, 0u);
}

}  // namespace
