// Measures (does not assert) the network's evaluations per second on a random network of the
// compiled-in shape, along random games: following the game by difference updates, and with a
// full rebuild every time, for each kernel path. The scores of both ways must agree.
#include <chrono>

#include "nn_test_util.h"

using NnSpeed = NnFixture;

TEST_F(NnSpeed, EvaluationsPerSecond) {
    ASSERT_EQ(install(random_net(1, 1536, 2, 752, 32)), 0);
    ASSERT_EQ(nn_reserve(*es, 1536), 0);
    std::vector<Position> line;
    std::mt19937 rng(77);
    while (line.size() < 20000) {
        setup(START_FEN);
        for (int ply = 0; ply < 100 && random_move(pos, rng); ply++) line.push_back(pos);
    }
    for (int p = 0; p < NN_PATH_COUNT; p++) {
        const NnPath path = NnPath(p);
        if (!nn_path_usable(path)) continue;
        double rate[2];
        std::vector<int> scores[2];
        for (int rebuild = 0; rebuild < 2; rebuild++) {
            const auto start = std::chrono::steady_clock::now();
            for (const Position& q : line) {
                es->ply = rebuild ? 1 : 3;
                scores[rebuild].push_back(nn_evaluate_on_path(path, q, *es));
            }
            rate[rebuild] = double(line.size()) / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        EXPECT_EQ(scores[0], scores[1]) << nn_path_name(path);
        std::printf("[ nn speed ] %-6s %9.0f evals/s with difference updates, %9.0f with full rebuilds (%zu positions%s)\n",
                    nn_path_name(path), rate[0], rate[1], line.size(), path == nn_engine_path() ? ", the engine's path" : "");
    }
}
