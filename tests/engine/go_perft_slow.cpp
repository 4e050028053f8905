// Every perft suite at every listed depth through the engine's own "go perft" command, one
// engine process per suite, so that the protocol path (position set-up, move walking, output)
// is checked end to end.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "process_util.h"

namespace {

struct PerftLine {
    std::string fen;
    std::vector<unsigned long long> counts;  // index 0 = depth 1
};

std::vector<PerftLine> read_suite(const std::string& path) {
    std::vector<PerftLine> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        size_t semi = line.find(';');
        if (semi == std::string::npos) continue;
        PerftLine p;
        p.fen = line.substr(0, semi);
        while (!p.fen.empty() && p.fen.back() == ' ') p.fen.pop_back();
        std::stringstream rest(line.substr(semi));
        std::string field;
        while (std::getline(rest, field, ';')) {
            std::stringstream f(field);
            std::string depth;
            unsigned long long count;
            if (f >> depth >> count) p.counts.push_back(count);
        }
        out.push_back(p);
    }
    return out;
}

void run_suite(const char* file, bool chess960) {
    std::string path = std::string(VELLUM_SHARED_DIR) + "/testdata/perft/" + file;
    auto suite = read_suite(path);
    if (suite.empty()) GTEST_SKIP() << "perft data not found: " << path;
    std::string input = chess960 ? "setoption name UCI_Chess960 value true\n" : "";
    std::vector<unsigned long long> expected;
    for (auto& p : suite) {
        for (size_t d = 0; d < p.counts.size(); d++) {
            input += "position fen " + p.fen + "\ngo perft " + std::to_string(d + 1) + "\n";
            expected.push_back(p.counts[d]);
        }
    }
    input += "quit\n";
    auto r = run_engine({}, input, 1200.0);
    ASSERT_FALSE(r.timed_out);
    std::vector<unsigned long long> got;
    for (auto& l : split_lines(r.out))
        if (l.rfind("Nodes searched: ", 0) == 0) got.push_back(std::stoull(l.substr(16)));
    ASSERT_EQ(got.size(), expected.size());
    size_t i = 0;
    for (auto& p : suite)
        for (size_t d = 0; d < p.counts.size(); d++, i++)
            EXPECT_EQ(got[i], expected[i]) << p.fen << " depth " << d + 1;
}

}  // namespace

TEST(GoPerftSuites, Standard) { run_suite("standard.epd", false); }
TEST(GoPerftSuites, Chess960) { run_suite("chess960.epd", true); }
TEST(GoPerftSuites, TwoRooksOnTheCastlingSide) { run_suite("chess960_two_rooks.epd", true); }
TEST(GoPerftSuites, Unreachable) { run_suite("unreachable.epd", false); }
