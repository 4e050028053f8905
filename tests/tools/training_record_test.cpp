// The 40-byte training record: field layout, result scores, round trips over the perft suites
// and the records every reader must refuse.
#include "tools/training_record.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tools_test_util.h"

using namespace tools_test;

namespace {

std::vector<u8> encode(const char* fen, TrainingLabels labels = {0, 0, 0}) {
    auto b = make_board(fen);
    std::vector<u8> r(TRAINING_RECORD_BYTES);
    encode_training_record(b->pos, labels, r.data());
    return r;
}

int decode(const std::vector<u8>& r) {
    auto b = make_board();
    return decode_record_position(r.data(), b->pos);
}

}  // namespace

TEST(TrainingRecord, FieldLayout) {
    auto r = encode(START_FEN, {2302, -45, 5000});
    EXPECT_EQ(r[32], 0x0F);
    EXPECT_EQ(r[0], 0x24);   // a1 white rook, b1 white knight
    EXPECT_EQ(r[31], 0xCA);  // g8 black knight (10) low, h8 black rook (12) high
    EXPECT_EQ(r[33], NO_SQUARE);
    EXPECT_EQ(r[34] | (r[35] << 8), 2302);
    EXPECT_EQ(i16(r[36] | (r[37] << 8)), -45);
    EXPECT_EQ(r[38] | (r[39] << 8), 3000);  // sc is clamped
    EXPECT_EQ(encode("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1")[32], 0x1F);
    EXPECT_EQ(encode("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1")[33], 20);
    const TrainingLabels l = record_labels(r.data());
    EXPECT_EQ(l.result_score, 2302);
    EXPECT_EQ(l.ce, -45);
    EXPECT_EQ(l.sc, 3000);
}

TEST(TrainingRecord, ResultScoresAndTargets) {
    EXPECT_EQ(result_to_score(1.0 - TRAINING_RESULT_EPSILON), 2302);
    EXPECT_EQ(result_to_score(TRAINING_RESULT_EPSILON), -2302);
    EXPECT_EQ(result_to_score(0.5), 0);
    EXPECT_EQ(result_to_score(0.75), 183);  // trunc(166.66667 * ln 3)
    EXPECT_FLOAT_EQ(win_probability(0), 0.5f);
    EXPECT_NEAR(win_probability(2302), 0.999999f, 1e-6);
    EXPECT_NEAR(training_target({0, 0, 0}), 0.5f, 1e-7);
    EXPECT_NEAR(training_target({2302, 0, 100}), 0.65f * 0.6456563f + 0.35f * 0.999999f, 1e-6);
}

TEST(TrainingRecord, PerftSuitePositionsRoundTrip) {
    const std::string path = shared_path("testdata/perft/standard.epd");
    if (!exists(path)) GTEST_SKIP() << "shared perft data not found";
    auto src = make_board();
    auto dst = make_board();
    int checked = 0;
    for (const char* file : {"testdata/perft/standard.epd", "testdata/perft/chess960.epd"}) {
        std::ifstream in(shared_path(file));
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            set_fen(src->pos, line.substr(0, line.find(';')).c_str());
            u8 r[TRAINING_RECORD_BYTES];
            encode_training_record(src->pos, {1, 2, 3}, r);
            ASSERT_EQ(decode_record_position(r, dst->pos), RECORD_OK) << line;
            EXPECT_EQ(0, memcmp(src->pos.board, dst->pos.board, 64)) << line;
            EXPECT_EQ(src->pos.side, dst->pos.side);
            EXPECT_EQ(src->pos.castling, dst->pos.castling) << line;
            EXPECT_EQ(src->pos.ep_square, dst->pos.ep_square) << line;
            checked++;
        }
    }
    EXPECT_GT(checked, 150);
}

TEST(TrainingRecord, UnusableRecordsAreRefused) {
    auto good = encode("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    ASSERT_EQ(decode(good), RECORD_OK);
    auto r = good;
    r[0] = 0x07;  // a1: type 7 is no piece
    EXPECT_EQ(decode(r), RECORD_BAD_PIECE);
    r = good;
    r[0] = 0x08;  // a1: black with no type
    EXPECT_EQ(decode(r), RECORD_BAD_PIECE);
    r = good;
    r[0] = 0x06;  // a second white king
    EXPECT_EQ(decode(r), RECORD_BAD_POSITION);
    r = good;
    r[1] = 0x01;  // a white pawn on c1
    EXPECT_EQ(decode(r), RECORD_BAD_POSITION);
    r = good;
    r[33] = 19;  // an en-passant square on the wrong rank
    EXPECT_EQ(decode(r), RECORD_BAD_EP);
    r = good;
    r[33] = 200;
    EXPECT_EQ(decode(r), RECORD_BAD_EP);
    r = good;
    r[32] = 0x20;  // side 2
    EXPECT_EQ(decode(r), RECORD_BAD_FLAGS);
    r = good;
    r[32] = 0x01;  // a castling right without its rook
    EXPECT_EQ(decode(r), RECORD_BAD_POSITION);
}
