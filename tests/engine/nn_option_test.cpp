// The network as the engine's options drive it: loading through NN_File, a bad file keeping
// the network and the option's value, Use_NN_eval, and the network score in "eval".
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "eval/nn_format.h"
#include "process_util.h"

TEST(NnOption, BadFilesKeepTheNetworkAndEvalShowsIt) {
    const std::string net = "/tmp/vellum_nn_option_" + std::to_string(getpid()) + ".nnue";
    NetHeader h = {752, 2048, 2048, 400, 2, 5, 64, 0, 0, 5, 0};
    std::vector<i16> w(nn_weight_count(h));
    std::mt19937 rng(1);
    for (auto& x : w) x = i16(int(rng() % 257) - 128);
    ASSERT_EQ(nn_write_file(net.c_str(), h, w.data()), 0);
    const std::string input = "setoption name NN_File value " + net + "  \n"
                              "position startpos moves e2e4\neval\n"
                              "setoption name NN_File value /nonexistent.nnue\nuci\neval\n"
                              "setoption name Use_NN_eval value false\neval\nquit\n";
    ProcessResult r = run_engine({}, input, 60.0);
    unlink(net.c_str());
    EXPECT_TRUE(has_line(r.out, "info string loaded " + net)) << r.out;
    EXPECT_TRUE(has_line(r.out, "info string can't open /nonexistent.nnue")) << r.out;
    EXPECT_TRUE(has_line(r.out, "info string keeping the network from " + net)) << r.out;
    EXPECT_TRUE(has_line(r.out, "option name NN_File type string default " + net)) << r.out;
    std::vector<std::string> evals;
    for (auto& l : split_lines(r.out))
        if (l.rfind("info string static eval ", 0) == 0) evals.push_back(l);
    ASSERT_EQ(evals.size(), 3u) << r.out;
    int e = 0, hce = 0, nn = 0;
    ASSERT_EQ(sscanf(evals[0].c_str(), "info string static eval %d hce %d nn %d", &e, &hce, &nn), 3) << evals[0];
    EXPECT_EQ(e, nn);
    EXPECT_EQ(evals[1], evals[0]);
    EXPECT_EQ(evals[2], "info string static eval " + std::to_string(hce) + " hce " + std::to_string(hce) + " nn " +
                            std::to_string(nn));
}
