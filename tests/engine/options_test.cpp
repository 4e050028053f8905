// Option storage, clamping, messages and the command line.
#include "engine/options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "core/output.h"
#include "core/settings.h"
#include "engine/cmdline.h"
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
    EXPECT_EQ(output(),
              "info string unknown option 'hash', ignored\ninfo string unknown option 'Hash ', ignored\n"
              "info string unknown option '', ignored\n");
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

// Every number option clamps "setoption" to the range that "uci" lists for it, and a switch
// that sets the same field clamps the same way.
TEST_F(OptionsTest, ListedRangesAreTheRangesApplied) {
    print_uci_options();
    const std::string list = output();
    for (int i = 0; i < OPTION_COUNT; i++) {
        const OptionSpec& o = OPTIONS[i];
        if (o.kind != OPTION_SPIN || o.list_high) continue;
        char listed[160];
        snprintf(listed, sizeof listed, "option name %s type spin default ", o.name);
        const size_t at = list.find(listed);
        ASSERT_NE(at, std::string::npos) << o.name;
        const std::string line = list.substr(at, list.find('\n', at) - at);
        char range[64];
        snprintf(range, sizeof range, " min %d max %d", o.low, o.high);
        EXPECT_NE(line.find(range), std::string::npos) << line;
        // Hash would reallocate: its clamping is checked through the switch alone.
        if (strcmp(o.name, "Hash") != 0) {
            set_option(o.name, "-1000000");
            EXPECT_EQ(o.get(settings), o.low) << o.name;
            set_option(o.name, "1000000");
            EXPECT_EQ(o.get(settings), o.high) << o.name;
        }
        if (o.switch_name) {
            EXPECT_EQ(set_option_from_switch(o.switch_name, "1000000"), 0);
            EXPECT_EQ(o.get(settings), o.high) << o.switch_name;
            set_option_from_switch(o.switch_name, "-1000000");
            EXPECT_EQ(o.get(settings), o.low) << o.switch_name;
        }
    }
    EXPECT_EQ(set_option_from_switch("-nonsense", "1"), -1);
}

// Configuration files that name others (or themselves) many times: a file already being read
// is skipped, and one load reads a bounded number of files, so the reads cannot multiply at
// every level (found by fuzzing: a file naming itself four times took 4^8 reads).
TEST_F(OptionsTest, NestedConfigurationFilesAreReadABoundedNumberOfTimes) {
    char dir_template[] = "/tmp/vellum_cfg_XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    const std::string dir = dir_template;
    auto write = [&](const std::string& name, const std::string& text) {
        FILE* f = fopen((dir + "/" + name).c_str(), "w");
        ASSERT_NE(f, nullptr);
        fputs(text.c_str(), f);
        fclose(f);
    };
    auto count = [](const std::string& text, const std::string& what) {
        int n = 0;
        for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) n++;
        return n;
    };
    auto restart_capture = [&] {
        fclose(capture);
        capture = tmpfile();
        set_output_stream(capture);
    };
    std::string self, fan_out, fan_in;
    for (int i = 0; i < 3; i++) self += "ConfigFilePath = " + dir + "/self.cfg\n";
    write("self.cfg", "MultiPV = 7\n" + self);
    for (int i = 0; i < 10; i++) fan_out += "ConfigFilePath = " + dir + "/b.cfg\n";
    for (int i = 0; i < 10; i++) fan_in += "ConfigFilePath = " + dir + "/c.cfg\n";
    write("a.cfg", fan_out);
    write("b.cfg", fan_in);
    write("c.cfg", "Contempt = 12\n");

    set_field(settings.config_file, (dir + "/self.cfg").c_str());
    load_config();
    std::string out = output();
    EXPECT_EQ(count(out, "loading parameters from"), 1);
    EXPECT_EQ(count(out, "is already being read, ignoring it"), 3);
    EXPECT_EQ(settings.multipv, 7);

    // a names b ten times, b names c ten times: 111 reads without the bound.
    restart_capture();
    set_field(settings.config_file, (dir + "/a.cfg").c_str());
    load_config();
    out = output();
    EXPECT_EQ(count(out, "loading parameters from"), 64);
    EXPECT_GT(count(out, "too many configuration files, ignoring"), 0);
    EXPECT_EQ(settings.contempt, 12);

    // The bound is per load: the next load reads its file again.
    restart_capture();
    set_field(settings.config_file, (dir + "/c.cfg").c_str());
    load_config();
    EXPECT_EQ(count(output(), "loading parameters from"), 1);
    for (const char* name : {"self.cfg", "a.cfg", "b.cfg", "c.cfg"}) remove((dir + "/" + name).c_str());
    rmdir(dir.c_str());
}
