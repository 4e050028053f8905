// -prune_nn as the engine binary runs it: the network named in a configuration file, a training
// file from the command line, the neurons that contribute nothing dropped and the rest copied
// whole, so that the pruned network scores every position as the original did.
#include <gtest/gtest.h>

#include <random>

#include "engine/process_util.h"
#include "eval/nn_test_util.h"
#include "tools/prune_nn.h"
#include "tools/training_record.h"
#include "tools_test_util.h"

using namespace tools_test;

namespace {

// Positive biases and small first-layer weights keep every accumulator entry positive, so a
// neuron contributes exactly when its output weights are not zero.
std::vector<i16> network_weights(const NetHeader& h, const std::vector<int>& silent) {
    std::mt19937 rng(17);
    const size_t hidden = h.hidden, out = nn_l1_count(h), bias = out + nn_output_count(h);
    std::vector<i16> w(nn_weight_count(h));
    for (size_t i = 0; i < w.size(); i++) w[i] = i16(i < out ? int(rng() % 9) - 4 : i < bias ? int(rng() % 129) - 64 : 150 + int(rng() % 101));
    for (int n : silent)
        for (size_t g = 0; g < 16; g++) w[out + g * hidden + size_t(n)] = 0;
    return w;
}

std::vector<std::string> random_positions(int count) {
    auto b = make_board();
    std::mt19937 rng(23);
    std::vector<std::string> fens;
    while (int(fens.size()) < count) {
        set_fen(b->pos, START_FEN);
        for (int ply = 0; ply < 60 && random_move(b->pos, rng); ply++) {
            char fen[128];
            get_fen(b->pos, fen, 0);
            if (ply % 5 == 4) fens.push_back(fen);
        }
    }
    return fens;
}

std::vector<int> scores(const char* net_path, const std::vector<std::string>& fens) {
    auto b = make_board();
    auto es = std::make_unique<EvalState>();
    std::vector<int> out;
    if (load_network(net_path, nullptr) != 0 || nn_reserve(*es, int(network.image.header.hidden)) != 0) return out;
    for (const auto& fen : fens) {
        set_fen(b->pos, fen.c_str());
        es->ply = 1;
        out.push_back(nn_evaluate(b->pos, *es));
    }
    nn_release(*es);
    unload_network();
    return out;
}

}  // namespace

TEST(PruneNn, RanksByTheMeanOfBothPerspectives) {
    const double stats[] = {1, 5, 3, 3, 0, /* second perspective */ 1, 1, 3, 3, 9};
    int kept[4];
    prune_rank(stats, 5, 4, kept);
    EXPECT_EQ(std::vector<int>(kept, kept + 4), (std::vector<int>{4, 1, 2, 3}));  // means 1 3 3 3 4.5; ties by index
}

TEST(PruneNn, DropsSilentNeuronsAndKeepsTheScores) {
    TempDir dir;
    const std::vector<int> silent = {3, 100, 777, 1539};
    NetHeader h = {752, 2048, 2048, 400, 2, 5, 1540, 0, 0, 5, 0};
    ASSERT_EQ(nn_write_file((dir / "big.nnue").c_str(), h, network_weights(h, silent).data()), 0);
    h.hidden = PRUNED_HIDDEN;
    ASSERT_EQ(nn_write_file((dir / "small.nnue").c_str(), h, network_weights(h, {}).data()), 0);

    const auto fens = random_positions(60);
    std::string records;
    auto b = make_board();
    for (const auto& fen : fens) {
        u8 r[TRAINING_RECORD_BYTES];
        set_fen(b->pos, fen.c_str());
        encode_training_record(b->pos, {0, 0, 0}, r);
        records.append(reinterpret_cast<char*>(r), sizeof r);
    }
    write_file(dir / "data.bin", records);
    // The trailing spaces before the comment must not become part of the file name.
    write_file(dir / "big.cfg", "NN_File = " + (dir / "big.nnue") + "   # 1540 neurons\n");
    write_file(dir / "small.cfg", "NN_File = " + (dir / "small.nnue") + "\n");

    ProcessResult r = run_engine({"-cfg", "big.cfg", "-prune_nn", "data.bin", "out.nnue"}, "", 120.0, dir.path);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("Collecting stats ...\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Writing pruned net to out.nnue ...\n"), std::string::npos) << r.out;
    NetImage pruned;
    ASSERT_EQ(nn_read_file((dir / "out.nnue").c_str(), pruned, nullptr), NET_READ_OK);
    EXPECT_EQ(pruned.header.hidden, u32(PRUNED_HIDDEN));
    EXPECT_EQ(pruned.header.kind, 752);
    nn_free(pruned);
    const auto original = scores((dir / "big.nnue").c_str(), fens);
    ASSERT_EQ(original.size(), fens.size());
    EXPECT_EQ(scores((dir / "out.nnue").c_str(), fens), original);

    // A network that is not larger than the pruned size: said plainly, nothing written.
    r = run_engine({"-cfg", "small.cfg", "-prune_nn", "data.bin", "none.nnue"}, "", 60.0, dir.path);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("nothing pruned, nothing written"), std::string::npos) << r.out;
    EXPECT_FALSE(exists(dir / "none.nnue"));
}
