// Network inference against the reference on random networks along random games: every kernel
// path, the difference update against rebuilds, the reuse conditions, saturation, symmetry.
#include "eval/nn_kernels.h"
#include "nn_test_util.h"

namespace {

std::vector<NnPath> usable_paths() {
    std::vector<NnPath> paths;
    for (int p = 0; p < NN_PATH_COUNT; p++)
        if (nn_path_usable(NnPath(p))) paths.push_back(NnPath(p));
    return paths;
}

struct KernelSet {
    decltype(&nn_scalar::apply_rows) apply;
    decltype(&nn_scalar::activate_dot) dot;
};
KernelSet kernels(NnPath p) {
    if (p == NN_PATH_AVX2) return {nn_avx2::apply_rows, nn_avx2::activate_dot};
    if (p == NN_PATH_SSE2) return {nn_sse2::apply_rows, nn_sse2::activate_dot};
    return {nn_scalar::apply_rows, nn_scalar::activate_dot};
}

}  // namespace

using NnInferTest = NnFixture;

TEST_F(NnInferTest, KernelsAgreeOnEveryLengthAndSaturate) {
    std::mt19937 rng(5);
    std::vector<i16> src(300), rows(4 * 300), w(300);
    for (auto& x : src) x = i16(rng());
    for (auto& x : rows) x = i16(rng());
    for (auto& x : w) x = i16(rng());
    RowOp ops[4];
    for (int k = 0; k < 4; k++) ops[k] = {rows.data() + k * 300, k & 1};
    for (int n : {1, 7, 8, 9, 15, 16, 17, 31, 33, 127, 128, 129, 300}) {
        std::vector<i16> want(n), want_act(n);
        nn_scalar::apply_rows(want.data(), src.data(), ops, 4, n);
        const u32 want_dot = nn_scalar::activate_dot(src.data(), want_act.data(), w.data(), n);
        for (NnPath p : usable_paths()) {
            std::vector<i16> got(n), act(n);
            kernels(p).apply(got.data(), src.data(), ops, 4, n);
            EXPECT_EQ(got, want) << nn_path_name(p) << " n=" << n;
            EXPECT_EQ(kernels(p).dot(src.data(), act.data(), w.data(), n), want_dot) << nn_path_name(p) << " n=" << n;
            EXPECT_EQ(act, want_act) << nn_path_name(p) << " n=" << n;
        }
    }
    // Saturation at both ends instead of wrap-around; the activation rounds toward zero.
    std::vector<i16> pre = {32000, -32000, -1, -63, -64, -65, -128, -32768, 5, 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<i16> row = {1000, -1000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    RowOp add = {row.data(), 0};
    for (NnPath p : usable_paths()) {
        std::vector<i16> out(17), act(17), ones(17, 1);
        kernels(p).apply(out.data(), pre.data(), &add, 1, 17);
        EXPECT_EQ(out[0], 32767) << nn_path_name(p);
        EXPECT_EQ(out[1], -32768) << nn_path_name(p);
        kernels(p).dot(pre.data(), act.data(), ones.data(), 17);
        EXPECT_EQ(std::vector<i16>(act.begin(), act.begin() + 9), (std::vector<i16>{32000, -500, 0, 0, -1, -1, -2, -512, 5}))
            << nn_path_name(p);
    }
}

TEST_F(NnInferTest, MatchesTheReferenceAlongRandomGames) {
    struct Case { int hidden, buckets, kind, l1; };
    // Small first-layer weights never saturate; 9000 saturates often.
    for (Case c : {Case{40, 2, 752, 64}, Case{24, 2, 757, 64}, Case{100, 1, 752, 64}, Case{1536, 2, 752, 48}, Case{33, 2, 752, 9000}}) {
        TestNet net = random_net(u32(c.hidden * 7 + c.kind), c.hidden, c.buckets, c.kind, c.l1);
        ASSERT_EQ(install(net), 0);
        const auto paths = usable_paths();
        // Per path a state that follows the game by differences; one state that always rebuilds.
        std::vector<std::unique_ptr<EvalState>> states;
        for (size_t i = 0; i <= paths.size(); i++) {
            states.push_back(std::make_unique<EvalState>());
            ASSERT_EQ(nn_reserve(*states.back(), c.hidden), 0);
        }
        RefEval ref_diff(net), ref_rebuild(net);
        std::mt19937 rng(u32(c.hidden));
        int compared = 0, unsaturated = 0;
        u64 updates = 0;
        for (int game = 0; game < (c.hidden > 1000 ? 4 : 12); game++) {
            setup(START_FEN);
            for (int ply = 0; ply < 120; ply++) {
                const int want = ref_diff.evaluate(pos, 3);
                const int rebuilt = ref_rebuild.evaluate(pos, 1);
                for (size_t i = 0; i < paths.size(); i++) {
                    states[i]->ply = 3;
                    ASSERT_EQ(nn_evaluate_on_path(paths[i], pos, *states[i]), want) << nn_path_name(paths[i]) << " ply " << ply;
                }
                states.back()->ply = 1;
                ASSERT_EQ(nn_evaluate(pos, *states.back()), rebuilt);
                if (!ref_diff.saturated) {
                    unsaturated++;
                    EXPECT_EQ(want, rebuilt) << "ply " << ply;
                }
                compared++;
                if (!random_move(pos, rng)) break;
            }
        }
        updates = states[0]->nn.updates;
        EXPECT_GT(updates, u64(compared) / 2) << "the difference update is hardly used";
        if (c.l1 < 1000) {
            EXPECT_EQ(unsaturated, compared);
        } else {
            EXPECT_LT(unsaturated, compared);
        }
        for (auto& s : states) nn_release(*s);
    }
}

TEST_F(NnInferTest, KingPlacementAndPlyDecideBetweenUpdateAndRebuild) {
    auto rebuilds_after = [&](const char* before, const char* after, int ply = 3) {
        setup(before);
        nn(3);
        const u64 r = es->nn.rebuilds;
        setup(after);
        nn(ply);
        return es->nn.rebuilds - r;
    };
    ASSERT_EQ(install(random_net(1, 16, 2, 752)), 0);
    ASSERT_EQ(nn_reserve(*es, 16), 0);
    const char* e1 = "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1";
    EXPECT_EQ(rebuilds_after(e1, "4k3/8/8/8/8/8/4P3/5K2 b - - 0 1"), 0u);  // e1-f1 keeps the mapping
    EXPECT_EQ(rebuilds_after(e1, "4k3/8/8/8/8/8/4P3/3K4 b - - 0 1"), 1u);  // e1-d1 crosses the mirror line
    EXPECT_EQ(rebuilds_after(e1, "4k3/8/8/8/8/8/4P3/5K2 b - - 0 1", 2), 1u);  // no reuse at ply 2
    EXPECT_EQ(rebuilds_after("4k3/8/8/8/8/4K3/4P3/8 w - - 0 1", "4k3/8/8/8/4K3/8/4P3/8 b - - 0 1"), 1u);  // rank 3 to 4
    EXPECT_EQ(rebuilds_after("4k3/8/8/8/4K3/8/4P3/8 w - - 0 1", "4k3/8/8/4K3/8/8/4P3/8 b - - 0 1"), 0u);  // rank 4 to 5
    EXPECT_EQ(rebuilds_after("4k3/pppppppp/8/8/8/8/8/4K3 w - - 0 1", "4k3/p7/8/8/8/8/8/4K3 w - - 0 1"), 1u);  // 7 squares
    EXPECT_EQ(rebuilds_after("4k3/pppppppp/8/8/8/8/8/4K3 w - - 0 1", "4k3/pp6/8/8/8/8/8/4K3 w - - 0 1"), 0u);  // 6 squares
    ASSERT_EQ(install(random_net(2, 16, 2, 757)), 0);
    // Opposite-wings rule: the black king crossing to the other wing changes both buckets.
    EXPECT_EQ(rebuilds_after("4k3/8/8/8/8/8/4P3/4K3 b - - 0 1", "3k4/8/8/8/8/8/4P3/4K3 w - - 0 1"), 1u);
    EXPECT_EQ(rebuilds_after("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", "4k3/8/8/8/8/8/4P3/5K2 b - - 0 1"), 0u);
}

TEST_F(NnInferTest, ColourAndFileMirrorsScoreAlike) {
    // With one shared bias for both perspectives the network sees a position and its colour
    // flip alike; the file mirror holds for every network.
    TestNet net = random_net(9, 64, 2, 752);
    std::copy(net.w.begin() + net.bias(), net.w.begin() + net.bias() + 64, net.w.begin() + net.bias() + 64);
    ASSERT_EQ(install(net), 0);
    ASSERT_EQ(nn_reserve(*es, 64), 0);
    auto fens = read_fens(std::string(VELLUM_SHARED_DIR) + "/testdata/epd/wac.epd");
    std::mt19937 rng(3);
    for (int g = 0; g < 20; g++) {  // also positions of random games
        setup(START_FEN);
        for (int i = 0; i < 30 + g && random_move(pos, rng); i++) {
        }
        char fen[128];
        get_fen(pos, fen, 0);
        fens.push_back(fen);
    }
    int checked = 0;
    for (const auto& fen : fens) {
        setup(fen.c_str());
        const int s = nn(1);
        setup(mirror_colours(fen).c_str());
        EXPECT_EQ(nn(1), s) << fen;
        if (split_fields(fen)[2] != "-") continue;
        setup(mirror_files(fen).c_str());
        EXPECT_EQ(nn(1), s) << fen;
        checked++;
    }
    EXPECT_GT(checked, 10);
}
