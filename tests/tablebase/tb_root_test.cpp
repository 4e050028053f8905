// Root move ranking against the per-move results of an independent prober, and the prober's
// move generation against the legal move lists that come with them.
#include "tb_test_util.h"

#include <algorithm>
#include <map>

using namespace tbtest;

namespace {

struct CsvMove {
    int wdl_after;
    int dtz_after;
};

struct RootRow {
    std::string fen;
    int wdl;
    int dtz;
    std::map<std::string, CsvMove> moves;
};

std::vector<RootRow> load_roots() {
    std::vector<RootRow> roots;
    for (const auto& row : read_csv(syzygy_dir() + "/root.csv")) {
        RootRow r;
        r.fen = row[0];
        r.wdl = std::stoi(row[1]);
        r.dtz = std::stoi(row[2]);
        for (const std::string& item : split(row[3], ' ')) {
            auto parts = split(item, ':');
            if (parts.size() == 3) r.moves[parts[0]] = CsvMove{std::stoi(parts[1]), std::stoi(parts[2])};
        }
        roots.push_back(r);
    }
    return roots;
}

std::string uci_of_engine_move(Move m, const TbPosition& pos) {
    std::string s = square_name(move_from(m)) + square_name(move_to(m));
    if (pos.pawns & square_bit(move_from(m))) {
        switch (m & FLAG_MASK) {
            case FLAG_PROMO_QUEEN: s += 'q'; break;
            case FLAG_PROMO_ROOK: s += 'r'; break;
            case FLAG_PROMO_BISHOP: s += 'b'; break;
            case FLAG_PROMO_KNIGHT: s += 'n'; break;
            default: break;
        }
    }
    return s;
}

// The ranking value of a root move, rebuilt from the independent per-move results: a mate
// counts 1, a zeroing move takes the plain result, any other move the child's DTZ one ply on.
int ranking_value(const TbPosition& root, TbMove m, const CsvMove& after, int root_dtz) {
    TbPosition next;
    tb_do_move(next, root, m);
    if (root_dtz > 0 && tb_is_mate(next)) return 1;
    if (tb_is_pawn_move(root, m) || tb_is_capture(root, m)) return WDL_TO_DTZ[2 - after.wdl_after];
    int v = -after.dtz_after;
    return v > 0 ? v + 1 : v < 0 ? v - 1 : 0;
}

class TbRoot : public ::testing::Test {
protected:
    void SetUp() override {
        init_board();
        if (!have_tables()) GTEST_SKIP() << "no Syzygy test data";
        CapturedOutput quiet;
        ASSERT_GT(tb_init(syzygy_dir().c_str()), 0);
    }
};

TEST_F(TbRoot, LegalMovesMatchTheListedMoves) {
    auto roots = load_roots();
    ASSERT_EQ(roots.size(), 100u);
    for (const RootRow& r : roots) {
        TbPosition pos = tb_from_fen(r.fen);
        std::vector<std::string> mine;
        for (TbMove m : legal_moves(pos)) mine.push_back(uci_of(m));
        std::sort(mine.begin(), mine.end());
        std::vector<std::string> listed;
        for (const auto& [uci, data] : r.moves) listed.push_back(uci);
        EXPECT_EQ(mine, listed) << r.fen;
    }
}

TEST_F(TbRoot, ChosenMoveKeepsResultAndRanksBest) {
    int wins = 0, losses = 0, draws = 0;
    for (const RootRow& r : load_roots()) {
        TbPosition pos = tb_from_fen(r.fen);
        Position board = board_from_fen(r.fen);
        TbRootResult result{};
        ASSERT_EQ(tb_probe_root(board, &result), 0) << r.fen;
        EXPECT_EQ(result.dtz, r.dtz) << r.fen;
        EXPECT_EQ(result.wdl_class, r.wdl + 2) << r.fen;

        const std::string chosen = uci_of_engine_move(result.move, pos);
        ASSERT_TRUE(r.moves.count(chosen)) << r.fen << " chose " << chosen;
        const CsvMove after = r.moves.at(chosen);
        // The chosen move keeps the root's result class.
        EXPECT_EQ(-after.wdl_after, r.wdl) << r.fen << " " << chosen;

        int best = 0, chosen_value = 0;
        bool found = false;
        for (TbMove m : legal_moves(pos)) {
            const int v = ranking_value(pos, m, r.moves.at(uci_of(m)), r.dtz);
            if (uci_of(m) == chosen) chosen_value = v;
            if (r.dtz > 0 && v > 0 && (!found || v < best)) best = v, found = true;
            if (r.dtz < 0 && v < 0 && (!found || v < best)) best = v, found = true;
        }
        if (r.dtz > 0) {
            wins++;
            EXPECT_EQ(chosen_value, best) << r.fen << " chose " << chosen;
        } else if (r.dtz < 0) {
            losses++;
            EXPECT_EQ(chosen_value, best) << r.fen << " chose " << chosen;
        } else {
            draws++;
            EXPECT_EQ(after.wdl_after, 0) << r.fen << " chose " << chosen;
        }
        const bool diagonal_to_empty = (pos.pawns & square_bit(move_from(result.move))) &&
                                       ((move_from(result.move) ^ move_to(result.move)) & 7) != 0 &&
                                       !((pos.white | pos.black) & square_bit(move_to(result.move)));
        EXPECT_EQ(result.ep, diagonal_to_empty) << r.fen;
    }
    EXPECT_EQ(wins, 50);
    EXPECT_EQ(losses, 28);
    EXPECT_EQ(draws, 22);
}

// Among several drawing moves the choice is a function of the position alone.
TEST_F(TbRoot, DrawChoiceIsStable) {
    int checked = 0;
    for (const RootRow& r : load_roots()) {
        if (r.dtz != 0) continue;
        int drawing = 0;
        for (const auto& [uci, after] : r.moves) drawing += after.wdl_after == 0;
        if (drawing < 3) continue;
        Position board = board_from_fen(r.fen);
        TbRootResult first{}, again{};
        ASSERT_EQ(tb_probe_root(board, &first), 0);
        {
            CapturedOutput quiet;
            tb_init(syzygy_dir().c_str());
        }
        ASSERT_EQ(tb_probe_root(board, &again), 0);
        EXPECT_EQ(first.move, again.move) << r.fen;
        checked++;
    }
    EXPECT_GT(checked, 5);
}

// The fifty-move counter decides between a win and a cursed win at the root.
TEST_F(TbRoot, FiftyMoveCounterSetsTheClass) {
    // Two bishops against the bare king: lost in 29 plies, which 72 more plies of the counter
    // turn into a loss the fifty-move rule saves.
    Position lost = board_from_fen("8/1k6/8/8/8/8/7B/1K3B2 b - - 0 1");
    TbRootResult result{};
    ASSERT_EQ(tb_probe_root(lost, &result), 0);
    EXPECT_EQ(result.dtz, -29);
    EXPECT_EQ(result.wdl_class, 0);
    lost.rule50 = 72;
    ASSERT_EQ(tb_probe_root(lost, &result), 0);
    EXPECT_EQ(result.wdl_class, 1);
    lost.rule50 = 71;
    ASSERT_EQ(tb_probe_root(lost, &result), 0);
    EXPECT_EQ(result.wdl_class, 0);

    // Bishop and knight against the bare king, the side with them to move.
    Position won = board_from_fen("8/8/K7/6k1/8/b7/8/6n1 b - - 0 1");
    ASSERT_EQ(tb_probe_root(won, &result), 0);
    ASSERT_GT(result.dtz, 0);
    const int dtz = result.dtz;
    won.rule50 = u8(100 - dtz);
    ASSERT_EQ(tb_probe_root(won, &result), 0);
    EXPECT_EQ(result.wdl_class, 4);
    won.rule50 = u8(101 - dtz);
    ASSERT_EQ(tb_probe_root(won, &result), 0);
    EXPECT_EQ(result.wdl_class, 3);
}

}  // namespace
