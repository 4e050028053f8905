// The evaluation entry's network branch, stale caches after a network or Use_NN_eval change,
// and the network trace.
#include "nn_test_util.h"

using NnEntryTest = NnFixture;

TEST_F(NnEntryTest, NetworkBranchDampsOppositeBishopsAndForgetsStaleScores) {
    ASSERT_EQ(install(random_net(11, 32)), 0);
    ASSERT_EQ(nn_reserve(*es, 32), 0);
    settings.use_nn = 1;
    const char* opposite = "4k3/5p2/8/3b4/8/2B2P2/5P2/4K3 w - -";
    setup(opposite);
    const int raw = nn(1);
    EXPECT_EQ(evaluate(pos, *es, WHITE, 1, false), raw - raw / 4);
    const char* fen = "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";
    setup(fen);
    const int first = evaluate(pos, *es, WHITE, 3, false);
    EXPECT_EQ(first, nn(1));
    EXPECT_EQ(evaluate(pos, *es, WHITE, 3, false), first);
    EXPECT_EQ(es->cache_hits, 1u);

    // Another network with the same H: neither the evaluation cache nor the accumulator cache
    // may answer for it.
    TestNet other = random_net(12, 32);
    ASSERT_EQ(install(other), 0);
    RefEval ref(other);
    const u64 updates = es->nn.updates;
    const int fresh = evaluate(pos, *es, WHITE, 3, false);
    EXPECT_EQ(fresh, ref.evaluate(pos, 1));
    EXPECT_EQ(es->cache_hits, 1u);
    EXPECT_EQ(es->nn.updates, updates);  // rebuilt, although the position is the cached one
    // Switching the network off and on again answers with each evaluation's own score.
    settings.use_nn = 0;
    EXPECT_EQ(evaluate(pos, *es, WHITE, 3, false), hce(fen));
    setup(fen);
    settings.use_nn = 1;
    EXPECT_EQ(evaluate(pos, *es, WHITE, 3, false), fresh);
    EXPECT_EQ(es->cache_hits, 1u);
    // Storage too small for the network (a state never prepared): the hand-crafted evaluation.
    auto bare = std::make_unique<EvalState>();
    EXPECT_EQ(evaluate(pos, *bare, WHITE, 3, false), hce(fen));
}

TEST_F(NnEntryTest, TraceListsContributionsThatSumToTheOutput) {
    TestNet net = random_net(13, 64, 2, 752, 64, 3000);
    ASSERT_EQ(install(net), 0);
    ASSERT_EQ(nn_reserve(*es, 64), 0);
    setup("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 4 4");
    OutputCapture out;
    es->ply = 1;
    nn_trace(pos, *es);
    const std::string text = out.text();
    ASSERT_EQ(text.rfind("HL1wp nodes contributing more than 15 cp\n", 0), 0u) << text;
    const size_t bp = text.find("HL1bp nodes contributing more than 15 cp\n");
    const size_t tail = text.find("\neval= ");
    ASSERT_NE(bp, std::string::npos);
    ASSERT_NE(tail, std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
    double total = 0, wp = 0, bpart = 0;
    int bucket = -1, lines = 0;
    ASSERT_EQ(sscanf(text.c_str() + tail, "\neval= %lf, ev_wp= %lf, ev_bp= %lf, output node= %d", &total, &wp, &bpart, &bucket), 4);
    EXPECT_NEAR(total, double(es->nn.raw_output) * 400, 1.0);
    EXPECT_NEAR(total, wp + bpart, 1.0);
    EXPECT_EQ(bucket, 0);
    // Every listed node exceeds the threshold and its product matches the line.
    const char* p = text.c_str();
    while ((p = strstr(p, ".  ")) != nullptr) {
        int i, act, w;
        double c;
        ASSERT_EQ(sscanf(p - 4, "%d.  %d * %d ->  %lf", &i, &act, &w, &c), 4);
        EXPECT_GT(std::abs(c), 15.0);
        EXPECT_NEAR(c, act * w * 400.0 / (2048.0 * 2048.0), 0.5);
        lines++;
        p += 3;
    }
    EXPECT_GT(lines, 0);
}
