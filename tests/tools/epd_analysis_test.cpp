// EPD analysis through the engine binary: hits of several-move and repeated bm lists, am, c0
// points, result lines that can be read back, bad lines, missing files, and the expansion files.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "engine/process_util.h"
#include "tools/tools_test_util.h"

using tools_test::exists;
using tools_test::read_file;
using tools_test::TempDir;

namespace {

const char* const BACK_RANK = "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - -";

}  // namespace

TEST(EpdAnalysis, SuiteStatisticsAndResultLines) {
    TempDir dir;
    const std::string back = BACK_RANK;
    {
        std::ofstream epd(dir / "suite.epd", std::ios::binary);
        epd << back << " bm Ra8 Kf1; id \"two moves\";\n"
            << back << " am Kf1;\n"
            << back << " bm Ra8 Ra8;\n"
            << back << " bm Kf1; gr 1; c0 \"Ra8=10, Kf1=3\";\n"
            << "8/P7/8/8/8/8/8/k6K w - - bm a8=Q; c0 \"http://example.org/?a=1\";\n"
            << back << " bm Ra8+;\r\n"
            << "# a comment line\n"
            << "short\n"
            << "hello world, this is not an EPD line at all\n"
            << "8/8/8/8/8/8/8/8 w - - bm e4;\n"
            << back << " bm Ra8; c1 \"" << std::string(5000, 'x') << "\";\n"
            << "8/8/8/8/8/8/8/K6k w - - bm ; am ; c0 \"==;=\"; gr\n";
        std::string noise;
        for (unsigned state = 7; noise.size() < 300;)
            if (char c = char((state = state * 1103515245u + 12345u) >> 24); c != '\n' && c != '\r') noise += c;
        epd << noise << "\n";
    }
    auto r = run_engine({"-d", "4", "-o", dir / "out.epd", "-anepd", dir / "suite.epd"}, "", 60.0, dir.path);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0);
    // Only the opening line and the summary.
    const std::string expected_tail = "lines skipped (no valid position): 4\n5 / 7 correct best moves\n";
    EXPECT_NE(r.out.find("Analyzing " + dir / "suite.epd" + "...\n" + expected_tail), std::string::npos) << r.out;
    EXPECT_TRUE(has_line(r.out, "score= 10 / 10")) << r.out;
    EXPECT_EQ(r.out.find("pos= "), std::string::npos);
    for (const char* label : {"total nodes= ", "total time= ", "avg depth= ", "avg nodes= ", "node_rate= ", "avg bf= 2.00"})
        EXPECT_NE(r.out.find(std::string("\n") + label), std::string::npos) << label;
    EXPECT_EQ(r.out.substr(r.out.size() - 2), "\n\n");

    const auto lines = split_lines(read_file(dir / "out.epd"));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].rfind(back + " bm a1a8; ce ", 0), 0u) << lines[0];
    // A line with a game result is written back whole, with the score appended.
    const std::string with_result = back + " bm Kf1; gr 1; c0 \"Ra8=10, Kf1=3\"; sc ";
    EXPECT_EQ(lines[3].rfind(with_result, 0), 0u) << lines[3];
    EXPECT_EQ(lines[3].back(), ';');
    // The promotion keeps its letter; the CR LF line loses both characters.
    EXPECT_EQ(lines[4].rfind("8/P7/8/8/8/8/8/k6K w - - bm a7a8q; ce ", 0), 0u) << lines[4];
    EXPECT_EQ(lines[5].rfind(back + " bm a1a8; ce ", 0), 0u) << lines[5];
    // The analysis alone writes no expansion file.
    EXPECT_FALSE(exists(dir / "tmp_0.epd"));
    // The result lines read back: the same searches find their own moves.
    r = run_engine({"-d", "4", "-o", dir / "again.epd", "-anepd", dir / "out.epd"}, "", 60.0, dir.path);
    EXPECT_TRUE(has_line(r.out, "6 / 7 correct best moves")) << r.out;
}

TEST(EpdAnalysis, UnopenableFilesEndWithAReason) {
    TempDir dir;
    auto r = run_engine({"-d", "2", "-anepd", dir / "missing.epd"}, "", 30.0, dir.path);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(has_line(r.out, "info string can't open " + dir / "missing.epd" + " for reading")) << r.out;
    EXPECT_EQ(r.out.find("correct best moves"), std::string::npos);
    { std::ofstream(dir / "suite.epd") << BACK_RANK << " bm Ra8;\n"; }
    r = run_engine({"-d", "2", "-o", dir / "no/such/dir.epd", "-anepd", dir / "suite.epd"}, "", 30.0, dir.path);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(has_line(r.out, "info string can't open " + dir / "no/such/dir.epd" + " for writing")) << r.out;
    // The result file is never the suite itself.
    r = run_engine({"-d", "2", "-o", dir / "suite.epd", "-anepd", dir / "suite.epd"}, "", 30.0, dir.path);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(read_file(dir / "suite.epd").find(" bm Ra8;"), std::string::npos);
    r = run_engine({"-mkbook2", dir / "missing.epd"}, "", 30.0, dir.path);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(has_line(r.out, "info string can't copy " + dir / "missing.epd" + " to tmp_1.epd")) << r.out;
    r = run_engine({"-mkbook", dir / "missing.pgn"}, "", 30.0, dir.path);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(has_line(r.out, "info string can't open " + dir / "missing.pgn" + " for reading")) << r.out;
}

TEST(EpdAnalysis, GrowingPositionsKeepsEachPositionOnce) {
    TempDir dir;
    { std::ofstream(dir / "start.epd") << "7k/8/6KP/8/8/8/8/8 w - -\n"; }
    auto r = run_engine({"-d", "1", "-quiet", "-mkbook2", dir / "start.epd"}, "", 120.0, dir.path);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0);
    // Twelve passes; the first analyses the one input position, the second its good replies
    // (at most the eight lines of the first pass).
    std::vector<int> analysed;
    for (auto& line : split_lines(r.out)) {
        int hits = 0, n = 0;
        if (sscanf(line.c_str(), "%d / %d correct best moves", &hits, &n) == 2) analysed.push_back(n);
    }
    ASSERT_EQ(analysed.size(), 12u) << r.out;
    EXPECT_EQ(analysed[0], 1);
    EXPECT_GE(analysed[1], 1);
    EXPECT_LE(analysed[1], 8);
    // The last pass's positions: the copy of the expansion file, each position once, none of them
    // met in an earlier pass (the start position included).
    const std::string grown = read_file(dir / "tmp_1.epd");
    EXPECT_EQ(grown, read_file(dir / "tmp_0.epd"));
    auto positions = split_lines(grown);
    ASSERT_FALSE(positions.empty());
    std::set<std::string> distinct(positions.begin(), positions.end());
    EXPECT_EQ(distinct.size(), positions.size());
    EXPECT_EQ(distinct.count("7k/8/6KP/8/8/8/8/8 w - -"), 0u);
}
