// The engine-side entries: which positions the search may probe, bare kings, the depth limits
// for six and seven pieces, and probes from several threads at once.
#include "tb_test_util.h"

#include <thread>

#include "core/settings.h"

using namespace tbtest;

namespace {

class TbEngine : public ::testing::Test {
protected:
    void SetUp() override {
        init_board();
        saved_settings = settings;
        if (!have_tables()) GTEST_SKIP() << "no Syzygy test data";
        CapturedOutput quiet;
        ASSERT_GT(tb_init(syzygy_dir().c_str()), 0);
    }
    void TearDown() override {
        settings = saved_settings;
        CapturedOutput quiet;
        tb_init("<empty>");
    }
    Settings saved_settings;
};

TEST_F(TbEngine, CastlingRightsAreNeverProbed) {
    Position with_rights = board_from_fen("4k3/8/8/8/8/8/8/R3K3 w Q - 0 1");
    ASSERT_NE(with_rights.castling, 0);
    EXPECT_EQ(tb_probe_wdl(with_rights, 100), -1);
    TbRootResult root{};
    EXPECT_NE(tb_probe_root(with_rights, &root), 0);
    int wdl, dtz;
    EXPECT_EQ(tb_probe_position(with_rights, &wdl, &dtz), -1);

    Position without = board_from_fen("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(tb_probe_wdl(without, 100), 4);
    EXPECT_EQ(tb_probe_root(without, &root), 0);
}

TEST_F(TbEngine, BareKingsAreDrawnWithoutAnyFile) {
    Position kings = board_from_fen("8/8/8/4k3/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(tb_probe_wdl(kings, 0), 2);
    {
        CapturedOutput quiet;
        tb_init("<empty>");
    }
    int wdl = 9, dtz = 9;
    EXPECT_EQ(tb_probe_position(kings, &wdl, &dtz), 0);
    EXPECT_EQ(wdl, 0);
    EXPECT_EQ(dtz, 0);
    int success = 0;
    EXPECT_EQ(probe_dtz(tb_from_fen("8/8/8/4k3/8/8/8/4K3 b - - 0 1"), &success), 0);
    EXPECT_EQ(success, 1);
    // Without tables the search does not probe at all.
    EXPECT_EQ(tb_probe_wdl(kings, 100), -1);
}

TEST_F(TbEngine, DepthLimitsForSixAndSevenPieces) {
    TB_LARGEST = 7;
    settings.probe_depth6 = 4;
    settings.probe_depth7 = 0;
    EXPECT_TRUE(tb_probe_allowed(5, 0, false));
    EXPECT_TRUE(tb_probe_allowed(6, 4, false));
    EXPECT_FALSE(tb_probe_allowed(6, 3, false));
    EXPECT_FALSE(tb_probe_allowed(7, 6, false));  // never below 7 for seven pieces
    EXPECT_TRUE(tb_probe_allowed(7, 7, false));
    EXPECT_FALSE(tb_probe_allowed(5, 100, true));

    settings.probe_depth6 = 10;
    EXPECT_FALSE(tb_probe_allowed(6, 9, false));
    EXPECT_FALSE(tb_probe_allowed(7, 9, false));
    EXPECT_TRUE(tb_probe_allowed(7, 10, false));

    settings.probe_depth6 = -20;  // clamped to -5
    EXPECT_FALSE(tb_probe_allowed(6, -6, false));
    EXPECT_TRUE(tb_probe_allowed(6, -5, false));

    TB_LARGEST = 5;
    EXPECT_FALSE(tb_probe_allowed(6, 100, false));
}

// A six-piece position whose result a capture into a five-piece table decides is answered
// from the six-piece probe depth on, and not one ply below it.
TEST_F(TbEngine, SixPiecePositionProbedAtItsDepth) {
    std::mt19937_64 rng(7);
    TbPosition found{};
    bool have = false;
    for (int tries = 0; tries < 20000 && !have; tries++) {
        TbPosition p = random_position("KRBvKRN", true, rng);
        int success = 0;
        const int v = probe_wdl(p, &success);
        if (success == 2 && v == 2) {
            found = p;
            have = true;
        }
    }
    ASSERT_TRUE(have);
    Position board = board_from_fen(fen_of(found));
    settings.probe_depth6 = 6;
    EXPECT_EQ(tb_probe_wdl(board, 100), -1);  // more pieces than any table
    TB_LARGEST = 6;
    EXPECT_EQ(tb_probe_wdl(board, 6), 4);
    EXPECT_EQ(tb_probe_wdl(board, 5), -1);
}

// First probes from several threads at once load each file exactly once and agree with a
// single thread.
TEST_F(TbEngine, ConcurrentProbesAgree) {
    std::vector<TbPosition> positions;
    std::mt19937_64 rng(11);
    for (const char* material : {"KQvKR", "KRvKB", "KBvKP", "KPvKP", "KRBvKR", "KNNvKP", "KPPvK"})
        for (int i = 0; i < 60; i++) positions.push_back(random_position(material, i & 1, rng));

    constexpr int THREADS = 4;
    std::vector<std::vector<int>> results(THREADS);
    {
        CapturedOutput out;
        tb_init(syzygy_dir().c_str());
        std::vector<std::thread> threads;
        for (int t = 0; t < THREADS; t++)
            threads.emplace_back([&, t] {
                for (size_t i = 0; i < positions.size(); i++) {
                    const TbPosition& p = positions[(i + 37 * t) % positions.size()];
                    int success = 0;
                    const int dtz = probe_dtz(p, &success);
                    results[t].push_back(success ? dtz : -1000);
                }
            });
        for (auto& th : threads) th.join();
        EXPECT_EQ(count_occurrences(out.text(), "Corrupted"), 0);
    }
#ifdef __linux__
    std::ifstream maps("/proc/self/maps");
    std::string line;
    int mapped = 0;
    while (std::getline(maps, line)) mapped += line.find("/KQvKR.rtbw") != std::string::npos;
    EXPECT_EQ(mapped, FILES_STAY_MAPPED ? 1 : 0);
#endif
    for (int t = 0; t < THREADS; t++)
        for (size_t i = 0; i < positions.size(); i++) {
            const TbPosition& p = positions[(i + 37 * t) % positions.size()];
            int success = 0;
            const int dtz = probe_dtz(p, &success);
            ASSERT_NE(success, 0);
            EXPECT_EQ(results[t][i], dtz) << fen_of(p);
        }
}

}  // namespace
