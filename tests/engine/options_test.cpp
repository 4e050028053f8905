// Option storage, clamping, messages and the command line.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/output.h"
#include "core/settings.h"
#include "engine/cmdline.h"
#include "engine/options.h"
#include "engine/strength.h"

namespace {

class OptionsTest : public ::testing::Test {
protected:
    FILE* capture = nullptr;
    void SetUp() override {
        set_settings_defaults();
        set_search_control_defaults();
        capture = tmpfile();
        set_output_stream(capture);
    }
    void TearDown() override {
        set_output_stream(nullptr);
        fclose(capture);
    }
    std::string output() {
        fflush(capture);
        rewind(capture);
        std::string text;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, capture)) > 0) text.append(buf, n);
        return text;
    }
    int parse(std::vector<const char*> args, CommandLine& cl) {
        args.insert(args.begin(), "vellum");
        return parse_command_line(int(args.size()), const_cast<char**>(args.data()), cl);
    }
};

}  // namespace

TEST_F(OptionsTest, NumbersAreClampedAndConfirmed) {
    set_option("Threads", "0");
    EXPECT_EQ(settings.threads, 1);
    set_option("Threads", "300");
    EXPECT_EQ(settings.threads, 160);
    set_option("Contempt", "-500");
    EXPECT_EQ(settings.contempt, -150);
    set_option("Selectivity", "abc");  // not a number: reads as 0
    EXPECT_EQ(settings.selectivity, 0);
    set_option("SyzygyProbeDepth6", "3");
    EXPECT_EQ(settings.probe_depth6, 3);
    EXPECT_EQ(settings.probe_depth7, 7);
    set_option("SyzygyProbeDepth6", "10");
    EXPECT_EQ(settings.probe_depth7, 10);
    set_option("UCI_Opponent", "IM none computer Foo");
    EXPECT_EQ(settings.opponent_elo, 0);
    set_option("Ponder", "maybe true-ish");
    EXPECT_EQ(settings.ponder, 1);
    set_option("Ponder", "false");
    EXPECT_EQ(settings.ponder, 0);
    set_option("OwnBook_File", std::string(300, 'b').c_str());
    EXPECT_EQ(std::string(settings.book_file), std::string(143, 'b'));
    std::string out = output();
    EXPECT_NE(out.find("info string Threads set to 160\n"), std::string::npos);
    EXPECT_NE(out.find("info string Selectivity set to 0\n"), std::string::npos);
    EXPECT_NE(out.find("info string opponent_elo set to 0\n"), std::string::npos);
}

TEST_F(OptionsTest, UnknownNamesAndPartialNamesChangeNothing) {
    Settings before = settings;
    set_option("hash", "1");
    set_option("Hash ", "1");
    set_option("", "1");
    EXPECT_EQ(memcmp(&before, &settings, sizeof settings), 0);
    EXPECT_EQ(output(), "");
}

TEST_F(OptionsTest, SwitchesAreClamped) {
    CommandLine cl;
    EXPECT_EQ(parse({"-hash", "100000", "-threads", "0", "-d", "95"}, cl), -1);
    EXPECT_EQ(settings.hash_mb, 32768u);
    EXPECT_EQ(settings.threads, 1);
    EXPECT_EQ(settings.depth_limit, 80);
    EXPECT_EQ(settings.tc_moves, 1);
    EXPECT_EQ(parse({"-hash", "-5", "-threads", "500", "-ss", "3"}, cl), -1);
    EXPECT_EQ(settings.hash_mb, 0u);
    EXPECT_EQ(settings.threads, 160);
    EXPECT_EQ(settings.selectivity, 10);
    EXPECT_EQ(parse({"-log", "-quiet"}, cl), -1);
    EXPECT_EQ(settings.log, 0);
    EXPECT_EQ(parse({"-quiet", "-log"}, cl), -1);
    EXPECT_EQ(settings.log, 1);
    EXPECT_EQ(parse({"-bench", "-anepd", "x.epd"}, cl), -1);
    EXPECT_EQ(cl.run_mode, RUN_ANALYSE_EPD);  // the last mode switch wins
    EXPECT_EQ(parse({"--scan_pgn", "g.pgn"}, cl), -1);
    EXPECT_EQ(cl.run_mode, RUN_SCAN_PGN);
    EXPECT_STREQ(settings.pgn_file, "g.pgn");
    EXPECT_EQ(parse({"-gentraindata", "f"}, cl), 1);
    EXPECT_EQ(parse({"-train", "f", "5", "1"}, cl), -1);
    EXPECT_EQ(cl.run_mode, RUN_TRAIN);
    EXPECT_EQ(settings.train_resume, 1);
    EXPECT_EQ(settings.hash_mb, 0u);
}

TEST_F(OptionsTest, HashCapForShortFixedSearches) {
    struct Case {
        u64 nodes;
        int depth;
        u32 hash;
        u32 expected;
    } cases[] = {
        {100000, 80, 64, 4}, {32000, 80, 64, 1}, {2000000, 80, 64, 64}, {0, 5, 64, 1},
        {0, 9, 64, 4},       {0, 12, 64, 32},    {0, 13, 64, 64},       {0, 5, 0, 0},
    };
    for (auto& c : cases) {
        settings.node_limit = c.nodes;
        settings.depth_limit = i8(c.depth);
        settings.hash_mb = c.hash;
        apply_hash_cap();
        EXPECT_EQ(settings.hash_mb, c.expected) << c.nodes << " " << c.depth;
    }
}

TEST_F(OptionsTest, StrengthFormula) {
    EXPECT_NEAR(elo_from_nps(1000000), 2373.1, 0.1);
    EXPECT_NEAR(elo_from_nps(10000), 1732.8, 0.1);
    EXPECT_NEAR(elo_from_nps(610.8), 1500, 0.5);
    CommandLine cl;
    // -nps prints its rating straight to standard output (not captured here); truncated, not rounded.
    EXPECT_EQ(parse({"-nps", "250000"}, cl), -1);
    EXPECT_EQ(settings.elo, 2146);
    EXPECT_EQ(settings.limit_strength, 1);
}
