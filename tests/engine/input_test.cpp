// Line splitting of the input reader.
#include <gtest/gtest.h>

#include <string>

#include "engine/input.h"

namespace {

struct Splitter {
    LineSplitter s;
    Splitter() { splitter_reset(s); }
    int append(const std::string& bytes) { return splitter_append(s, bytes.data(), int(bytes.size())); }
    bool next(std::string& line) {
        static char buf[LineSplitter::CAPACITY];
        if (!splitter_next_line(s, buf, sizeof buf)) return false;
        line = buf;
        return true;
    }
};

}  // namespace

TEST(LineSplitter, OneLinePerCallOnEverySeparator) {
    Splitter sp;
    std::string bytes = "uci\nisready\r\nposition startpos\r";
    bytes.push_back('\0');
    bytes += "go@stop\n\n\r\nquit";
    sp.append(bytes);
    std::string line;
    const char* expected[] = {"uci", "isready", "position startpos", "go", "stop"};
    for (auto* e : expected) {
        ASSERT_TRUE(sp.next(line));
        EXPECT_EQ(line, e);
    }
    // "quit" has no line end yet: it waits for one.
    EXPECT_FALSE(sp.next(line));
    sp.append("\n");
    ASSERT_TRUE(sp.next(line));
    EXPECT_EQ(line, "quit");
    EXPECT_FALSE(sp.next(line));
}

TEST(LineSplitter, LinesArrivingInPieces) {
    Splitter sp;
    std::string line;
    sp.append("posi");
    EXPECT_FALSE(sp.next(line));
    sp.append("tion startpos mo");
    EXPECT_FALSE(sp.next(line));
    sp.append("ves e2e4\r");
    ASSERT_TRUE(sp.next(line));
    EXPECT_EQ(line, "position startpos moves e2e4");
    sp.append("\nisready\n");  // the LF of the CR LF pair arrives late: no empty line
    ASSERT_TRUE(sp.next(line));
    EXPECT_EQ(line, "isready");
}

TEST(LineSplitter, LongLinesFitAndOverlongLinesAreDroppedWhole) {
    Splitter sp;
    std::string line;
    std::string long_line = "position startpos moves";
    while (long_line.size() < 30000) long_line += " g1f3 g8f6 f3g1 f6g8";
    EXPECT_EQ(sp.append(long_line + "\n"), 0);
    ASSERT_TRUE(sp.next(line));
    EXPECT_EQ(line, long_line);

    std::string too_long(LineSplitter::CAPACITY + 100, 'x');
    sp.append("isready\n");
    EXPECT_GT(sp.append(too_long), 0);
    sp.append(too_long.substr(0, 10) + "\nquit\n");
    ASSERT_TRUE(sp.next(line));
    EXPECT_EQ(line, "isready");
    ASSERT_TRUE(sp.next(line));
    EXPECT_EQ(line, "quit");
    EXPECT_FALSE(sp.next(line));
}
