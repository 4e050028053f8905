// Every term of the evaluation must treat the colours and the wings alike: a position and its
// mirror images score the same for their side to move, up to the rounding of the taper.
#include <algorithm>
#include <cstdlib>

#include "eval_test_util.h"

namespace {

std::vector<std::string> real_positions() {
    const char* files[] = {"/testdata/epd/wac.epd", "/testdata/epd/bratko_kopec.epd", "/testdata/epd/eet.epd",
                           "/testdata/epd/sts_1-8.epd", "/testdata/openings/standard-8ply.epd",
                           "/testdata/openings/chess960-2ply.epd"};
    std::vector<std::string> all;
    for (const char* f : files) {
        auto fens = read_fens(std::string(VELLUM_SHARED_DIR) + f);
        all.insert(all.end(), fens.begin(), fens.end());
    }
    return all;
}

}  // namespace

using SymmetryTest = EvalFixture;

TEST_F(SymmetryTest, MirroredPositionsScoreAlike) {
    auto fens = real_positions();
    if (fens.empty()) GTEST_SKIP() << "no EPD files under " << VELLUM_SHARED_DIR << "/testdata";
    int checked_colour = 0, checked_file = 0, worst_colour = 0, worst_file = 0, reported = 0;
    for (const auto& fen : fens) {
        int s = hce(fen.c_str());
        std::string colour = mirror_colours(fen);
        int d = std::abs(hce(colour.c_str()) - s);
        worst_colour = std::max(worst_colour, d);
        checked_colour++;
        if (d > 2 && reported++ < 10) ADD_FAILURE() << fen << " scores " << s << ", colour mirror " << colour << " differs by " << d;
        if (split_fields(fen)[2] != "-") continue;
        for (const std::string& m : {mirror_files(fen), mirror_files(colour)}) {
            int e = std::abs(hce(m.c_str()) - s);
            worst_file = std::max(worst_file, e);
            checked_file++;
            if (e > 2 && reported++ < 10) ADD_FAILURE() << fen << " scores " << s << ", file mirror " << m << " differs by " << e;
        }
    }
    std::printf("[ symmetry ] %d positions: %d colour mirrors (largest difference %d), %d file mirrors (largest %d)\n",
                int(fens.size()), checked_colour, worst_colour, checked_file, worst_file);
}

TEST_F(SymmetryTest, PawnHashHitsGiveTheComputedScore) {
    auto fens = real_positions();
    if (fens.empty()) GTEST_SKIP() << "no EPD files under " << VELLUM_SHARED_DIR << "/testdata";
    std::vector<int> computed;
    es->scratch.level = 0;
    for (const auto& fen : fens) computed.push_back(hce(fen.c_str()));
    es->scratch.level = 3;
    for (const auto& fen : fens) hce(fen.c_str());  // fill the hash
    u64 hits_before = es->pawn_hits;
    for (size_t i = 0; i < fens.size(); i++) EXPECT_EQ(hce(fens[i].c_str()), computed[i]) << fens[i];
    EXPECT_GT(es->pawn_hits - hits_before, fens.size() / 2);
}
