// WDL and DTZ answers against an independent prober's results, the index and stored values of
// the format reference's worked examples, and the constant tables against their printed form.
#include "tb_test_util.h"

#include "tablebase/tbconst.h"

using namespace tbtest;

namespace {

class TbOracle : public ::testing::Test {
protected:
    void SetUp() override {
        init_board();
        if (!have_tables()) GTEST_SKIP() << "no Syzygy test data";
        CapturedOutput quiet;
        ASSERT_GT(tb_init(syzygy_dir().c_str()), 0);
    }
};

TEST_F(TbOracle, EveryOracleRowMatches) {
    auto rows = read_csv(syzygy_dir() + "/probes.csv");
    ASSERT_EQ(rows.size(), 617u);
    int wdl_wrong = 0, dtz_wrong = 0;
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        TbPosition pos = tb_from_fen(row[0]);
        int success = 0;
        const int wdl = probe_wdl(pos, &success);
        ASSERT_NE(success, 0) << row[0];
        if (wdl != std::stoi(row[1])) {
            wdl_wrong++;
            ADD_FAILURE() << row[0] << " wdl " << wdl << " expected " << row[1];
        }
        const int dtz = probe_dtz(pos, &success);
        ASSERT_NE(success, 0) << row[0];
        if (dtz != std::stoi(row[2])) {
            dtz_wrong++;
            ADD_FAILURE() << row[0] << " dtz " << dtz << " expected " << row[2];
        }
    }
    EXPECT_EQ(wdl_wrong, 0);
    EXPECT_EQ(dtz_wrong, 0);
}

// The same rows through the engine-side entries, which take an engine position.
TEST_F(TbOracle, EngineEntriesAgreeWithOracle) {
    auto rows = read_csv(syzygy_dir() + "/probes.csv");
    for (const auto& row : rows) {
        Position board = board_from_fen(row[0]);
        EXPECT_EQ(tb_probe_wdl(board, 100), std::stoi(row[1]) + 2) << row[0];
        int wdl = 9, dtz = 9;
        ASSERT_EQ(tb_probe_position(board, &wdl, &dtz), 0) << row[0];
        EXPECT_EQ(wdl, std::stoi(row[1])) << row[0];
        EXPECT_EQ(dtz, std::stoi(row[2])) << row[0];
    }
}

struct Vector {
    const char* fen;
    int kind;
    u64 index;   // 0: not compared
    int wdl;     // passed to a DTZ lookup
    int result;  // what the lookup returns
};

// Worked examples of the format reference: position, file, index, returned value. The shipped
// KRvK and KPvK files are another build than the one the examples were worked on (their piece
// lists are ordered differently), so only their results are compared where the order matters.
const Vector VECTORS[] = {
    {"8/R7/6k1/8/4K3/8/8/8 b - - 0 1", TB_WDL, 0, 0, -2},
    {"8/R7/6k1/8/4K3/8/8/8 w - - 0 1", TB_WDL, 13447, 0, 2},
    {"8/R7/6k1/8/4K3/8/8/8 w - - 0 1", TB_DTZ, 0, 2, 14},
    {"8/8/8/8/8/2k5/1R6/R3K3 w - - 0 1", TB_WDL, 38939, 0, 2},
    {"8/8/8/8/8/2k5/1R6/R3K3 w - - 0 1", TB_DTZ, 13330, 2, 4},
    {"6k1/8/3r4/8/8/2K5/5Q2/8 b - - 0 1", TB_WDL, 927852, 0, -2},
    {"4r3/8/8/2k3K1/8/8/8/3Q4 w - - 0 1", TB_WDL, 1042347, 0, 2},
    {"4r3/8/8/2k3K1/8/8/8/3Q4 w - - 0 1", TB_DTZ, 1306668, 2, 40},
    {"8/8/8/6P1/8/2k5/8/4K3 w - - 0 1", TB_WDL, 0, 0, 2},
    {"8/8/8/6P1/8/2k5/8/4K3 w - - 0 1", TB_DTZ, 12981, 2, 2},
    {"8/8/1P6/8/8/2k5/6P1/4K3 b - - 0 1", TB_WDL, 99513, 0, -2},
    {"8/5p2/8/8/2P5/8/k7/6K1 w - - 0 1", TB_WDL, 113468, 0, 2},
    {"8/5p2/8/8/2P5/8/k7/6K1 w - - 0 1", TB_DTZ, 378640, 2, 2},
    {"8/8/8/2b5/8/5K2/1P6/6k1 w - - 0 1", TB_WDL, 631762, 0, 0},
    {"8/8/8/1K6/8/2k5/p6B/8 b - - 0 1", TB_WDL, 55787, 0, 2},
    {"8/8/8/1K6/8/2k5/p6B/8 b - - 0 1", TB_DTZ, 55787, 2, 4},
    {"8/8/8/3r4/8/2K5/6R1/6k1 b - - 0 1", TB_WDL, 1536684, 0, 0},
    {"2K5/k6b/2R5/8/8/8/8/8 b - - 0 1", TB_WDL, 1644758, 0, -2},
    {"2K5/k6b/2R5/8/8/8/8/8 b - - 0 1", TB_DTZ, 212723, -2, 16},
};

TEST_F(TbOracle, WorkedExamplesGiveIndexAndStoredValue) {
    for (const Vector& v : VECTORS) {
        TbPosition pos = tb_from_fen(v.fen);
        u64 index = 0;
        ASSERT_EQ(tb_table_index(pos, v.kind, &index), 0) << v.fen;
        if (v.index) {
            EXPECT_EQ(index, v.index) << v.fen << " kind " << v.kind;
        }
        int success = 1;
        EXPECT_EQ(probe_table(pos, v.kind, v.wdl, &success), v.result) << v.fen << " kind " << v.kind;
        EXPECT_EQ(success, 1) << v.fen;
    }
}

// KQvKR.rtbz stores only the side with the queen to move.
TEST_F(TbOracle, DtzFileOfOtherSideIsReported) {
    TbPosition pos = tb_from_fen("6k1/8/3r4/8/8/2K5/5Q2/8 b - - 0 1");
    int success = 1;
    probe_table(pos, TB_DTZ, -2, &success);
    EXPECT_EQ(success, -1);
    u64 index;
    EXPECT_NE(tb_table_index(pos, TB_DTZ, &index), 0);
    // The full probe answers it anyway by looking one ply ahead.
    success = 0;
    EXPECT_LT(probe_dtz(pos, &success), 0);
    EXPECT_EQ(success, 1);
}

// The stored value of this position says "loss", but taking the rook draws.
TEST_F(TbOracle, CaptureOverridesStoredValue) {
    TbPosition pos = tb_from_fen("8/8/8/8/8/8/1k6/R3K3 b - - 0 1");
    int success = 1;
    EXPECT_EQ(probe_table(pos, TB_WDL, 0, &success), -2);
    EXPECT_EQ(probe_wdl(pos, &success), 0);
    EXPECT_NE(success, 0);
}

TEST(TbConstants, MatchPrintedTables) {
    tb_init_constants();
    EXPECT_EQ(TbBinomial[6][63], 67945521u);
    EXPECT_EQ(TbBinomial[3][40], 9880u);
    EXPECT_EQ(TbBinomial[5][4], 0u);

    const u64 lead_size[6][4] = {{6, 6, 6, 6},
                                 {252, 180, 108, 36},
                                 {5201, 2645, 953, 125},
                                 {70315, 25375, 5491, 295},
                                 {700336, 178696, 23176, 496},
                                 {5479348, 984494, 76104, 610}};
    for (int n = 1; n <= 6; n++)
        for (int f = 0; f < 4; f++) EXPECT_EQ(TbLeadSize[n][f], lead_size[n - 1][f]) << n << " " << f;
    const u64 lead3_file_a[6] = {0, 1081, 2071, 2974, 3794, 4535};
    const u64 lead5_file_d[6] = {0, 330, 456, 491, 496, 496};
    for (int j = 0; j < 6; j++) {
        EXPECT_EQ(TbLeadIndex[3][j], lead3_file_a[j]);
        EXPECT_EQ(TbLeadIndex[5][18 + j], lead5_file_d[j]);
    }

    const int triangle_rank3[8] = {1, 3, 8, 5, 5, 8, 3, 1};
    const int lower_rank5[8] = {3, 9, 14, 18, 32, 22, 23, 24};
    const int twist_rank4[8] = {43, 31, 19, 7, 6, 18, 30, 42};
    const int flap_rank7[8] = {5, 11, 17, 23, 23, 17, 11, 5};
    for (int f = 0; f < 8; f++) {
        EXPECT_EQ(TbTriangle[16 + f], triangle_rank3[f]);
        EXPECT_EQ(TbLower[32 + f], lower_rank5[f]);
        EXPECT_EQ(TbPawnTwist[24 + f], twist_rank4[f]);
        EXPECT_EQ(TbFlap[48 + f], flap_rank7[f]);
    }
    EXPECT_EQ(TbDiag[7], 8);
    EXPECT_EQ(TbDiag[63], 7);

    // King pairs: first king on b1, on a1 and on d4.
    EXPECT_EQ(TbKingPairIndex[0][3], 0);
    EXPECT_EQ(TbKingPairIndex[0][63], 57);
    EXPECT_EQ(TbKingPairIndex[0][9], -1);
    EXPECT_EQ(TbKingPairIndex[6][18], 441);
    EXPECT_EQ(TbKingPairIndex[6][2], 339);
    EXPECT_EQ(TbKingPairIndex[6][8], -1);
    EXPECT_EQ(TbKingPairIndex[9][0], 457);
    EXPECT_EQ(TbKingPairIndex[9][63], 461);
    EXPECT_EQ(TbKingPairIndex[9][55], 440);
    EXPECT_EQ(TbKingPairIndex[9][62], -1);
    EXPECT_EQ(TbKingPairIndex[8][39], 412);
}

}  // namespace
