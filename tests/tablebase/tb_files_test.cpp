// Finding and registering table files: directory lists, messages, incomplete files, DTM
// companions and the release of mappings on re-initialisation.
#include "tb_test_util.h"

#include <algorithm>
#include <cctype>

using namespace tbtest;

namespace {

class TbFiles : public ::testing::Test {
protected:
    void SetUp() override {
        init_board();
        if (!have_tables()) GTEST_SKIP() << "no Syzygy test data";
    }
    void TearDown() override {
        CapturedOutput quiet;
        tb_init("<empty>");
    }
    // Result of a position, -9 when the probe fails.
    static int wdl_of(const char* fen) {
        int success = 0;
        const int v = probe_wdl(tb_from_fen(fen), &success);
        return success ? v : -9;
    }
    static int dtz_of(const char* fen) {
        int success = 0;
        const int v = probe_dtz(tb_from_fen(fen), &success);
        return success ? v : -999;
    }
};

constexpr const char* KRVK_WIN = "8/8/8/8/8/2k5/8/R3K3 w - - 0 1";
constexpr const char* KQVK_WIN = "8/8/8/8/8/3k4/8/Q3K3 w - - 0 1";

TEST_F(TbFiles, EmptyPathLeavesNoTablesAndPrintsNothing) {
    for (const char* path : {"", "<empty>"}) {
        CapturedOutput out;
        tb_init(syzygy_dir().c_str());
        EXPECT_EQ(TB_LARGEST, 5);
        const size_t before = out.text().size();
        EXPECT_EQ(tb_init(path), 0);
        EXPECT_EQ(out.text().size(), before) << "path '" << path << "'";
        EXPECT_EQ(TB_LARGEST, 0);
        EXPECT_EQ(tb_wdl_count() + tb_dtz_count() + tb_dtm_count(), 0);
        EXPECT_EQ(wdl_of(KRVK_WIN), -9);
    }
}

TEST_F(TbFiles, ReportsWhatItFound) {
    CapturedOutput out;
    EXPECT_EQ(tb_init(syzygy_dir().c_str()), 41);
    EXPECT_EQ(out.text(), "info string Found 41 WDL, 0 DTM and 41 DTZ tablebase files. Largest 5-men\n");
    EXPECT_EQ(tb_dtz_count(), 41);
}

TEST_F(TbFiles, DirectoryListSeparatorsAndSpaces) {
    TempDir tmp;
    const std::string a = tmp.subdir("with space");
    const std::string b = tmp.subdir("plain");
    copy_table("KRvK.rtbw", a);
    copy_table("KRvK.rtbz", a);
    copy_table("KQvK.rtbw", b);
    const std::string lists[] = {a + ":" + b, a + ";" + b, ";" + a + "::;" + b + ";", b + ";" + a};
    for (const std::string& list : lists) {
        CapturedOutput out;
        EXPECT_EQ(tb_init(list.c_str()), 2) << list;
        EXPECT_EQ(out.text(), "info string Found 2 WDL, 0 DTM and 1 DTZ tablebase files. Largest 3-men\n") << list;
        EXPECT_EQ(wdl_of(KRVK_WIN), 2);
        EXPECT_EQ(wdl_of(KQVK_WIN), 2);
        EXPECT_GT(dtz_of(KRVK_WIN), 0);
        EXPECT_EQ(dtz_of(KQVK_WIN), -999);  // no DTZ file for this one
    }
}

TEST_F(TbFiles, MissingDirectoryIsReportedAndSkipped) {
    TempDir tmp;
    copy_table("KRvK.rtbw", tmp.path);
    const std::string missing = tmp.path + "/not here";
    CapturedOutput out;
    EXPECT_EQ(tb_init((missing + ":" + tmp.path).c_str()), 1);
    const std::string text = out.text();
    EXPECT_EQ(count_occurrences(text, "info string Tablebase directory not found: " + missing + "\n"), 1) << text;
    EXPECT_EQ(count_occurrences(text, "Found 1 WDL"), 1) << text;
    EXPECT_EQ(wdl_of(KRVK_WIN), 2);

    CapturedOutput again;
    EXPECT_EQ(tb_init(missing.c_str()), 0);
    EXPECT_EQ(TB_LARGEST, 0);
}

TEST_F(TbFiles, IncompleteFilesAreNotUsed) {
    TempDir tmp;
    copy_table("KRvK.rtbw", tmp.path);
    auto dtz = read_file(syzygy_dir() + "/KRvK.rtbz");
    dtz.resize(dtz.size() - 1);
    write_file(tmp.file("KRvK.rtbz"), dtz);
    auto wdl = read_file(syzygy_dir() + "/KQvK.rtbw");
    wdl.push_back(0);
    write_file(tmp.file("KQvK.rtbw"), wdl);
    copy_table("KQvK.rtbz", tmp.path);

    CapturedOutput out;
    EXPECT_EQ(tb_init(tmp.path.c_str()), 1);
    const std::string text = out.text();
    EXPECT_EQ(count_occurrences(text, "info string Incomplete tablebase file KRvK.rtbz\n"), 1) << text;
    EXPECT_EQ(count_occurrences(text, "info string Incomplete tablebase file KQvK.rtbw\n"), 1) << text;
    EXPECT_EQ(count_occurrences(text, "Found 1 WDL, 0 DTM and 0 DTZ tablebase files. Largest 3-men"), 1) << text;
    EXPECT_EQ(wdl_of(KRVK_WIN), 2);
    EXPECT_EQ(dtz_of(KRVK_WIN), -999);
    EXPECT_EQ(wdl_of(KQVK_WIN), -9);
}

// Names are tried for every material up to seven pieces, each in its one usual orientation
// (the stronger side first). Only registration is checked here: the contents are not probed.
TEST_F(TbFiles, EveryMaterialUpToSevenPiecesIsTried) {
    TempDir tmp;
    const auto bytes = read_file(syzygy_dir() + "/KBvK.rtbw");
    for (const char* name : {"KQRvKRB", "KQQRvKBN", "KPPPPPvK", "KRRvKRR", "KRBvKQR", "KNvKQ", "KPvKQ"})
        write_file(tmp.file(std::string(name) + ".rtbw"), bytes);
    CapturedOutput out;
    EXPECT_EQ(tb_init(tmp.path.c_str()), 4);
    EXPECT_EQ(out.text(), "info string Found 4 WDL, 0 DTM and 0 DTZ tablebase files. Largest 7-men\n");
    EXPECT_EQ(TB_LARGEST, 7);
}

// DTM files are only found and counted; they raise the largest size like the others.
TEST_F(TbFiles, DtmCompanionsAreCounted) {
    TempDir tmp;
    copy_table("KRvK.rtbw", tmp.path);
    ASSERT_EQ(platform::copy_file((syzygy_dir() + "/KRvK.rtbz").c_str(), tmp.file("KRvK.rtbm").c_str()), 0);
    CapturedOutput out;
    tb_init(tmp.path.c_str());
    EXPECT_EQ(out.text(), "info string Found 1 WDL, 1 DTM and 0 DTZ tablebase files. Largest 3-men\n");
    EXPECT_EQ(tb_dtm_count(), 1);
}

// Pieces of a FEN's board field, sorted (e.g. "KRkr").
std::string material_of(const std::string& fen) {
    std::string m;
    for (char c : fen.substr(0, fen.find(' ')))
        if (std::isalpha(static_cast<unsigned char>(c))) m += c;
    std::sort(m.begin(), m.end());
    return m;
}

TEST_F(TbFiles, SymmetricMaterialRegisteredOnce) {
    TempDir tmp;
    // With the tables that captures lead to.
    for (const char* name : {"KRvKR.rtbw", "KRvKR.rtbz", "KRvK.rtbw", "KRvK.rtbz"}) copy_table(name, tmp.path);
    CapturedOutput out;
    EXPECT_EQ(tb_init(tmp.path.c_str()), 2);
    EXPECT_EQ(TB_LARGEST, 4);
    int checked = 0;
    for (const auto& row : read_csv(syzygy_dir() + "/probes.csv")) {
        if (material_of(row[0]) != "KRkr") continue;
        EXPECT_EQ(wdl_of(row[0].c_str()), std::stoi(row[1])) << row[0];
        EXPECT_EQ(dtz_of(row[0].c_str()), std::stoi(row[2])) << row[0];
        checked++;
    }
    EXPECT_GT(checked, 4);
}

#ifdef __linux__
bool mapped_in_process(const std::string& needle) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find(needle) != std::string::npos) return true;
    return false;
}

TEST_F(TbFiles, ReinitialisationReleasesMappings) {
    if (!FILES_STAY_MAPPED) GTEST_SKIP() << "files are copied, not mapped, in this build";
    TempDir first, second;
    copy_table("KRvK.rtbw", first.path);
    copy_table("KRvK.rtbz", first.path);
    copy_table("KRvK.rtbw", second.path);
    CapturedOutput out;
    tb_init(first.path.c_str());
    EXPECT_FALSE(mapped_in_process(first.path));  // nothing is mapped before the first probe
    EXPECT_GT(dtz_of(KRVK_WIN), 0);
    EXPECT_TRUE(mapped_in_process(first.path + "/KRvK.rtbw"));
    EXPECT_TRUE(mapped_in_process(first.path + "/KRvK.rtbz"));

    tb_init(second.path.c_str());
    EXPECT_FALSE(mapped_in_process(first.path));
    EXPECT_EQ(wdl_of(KRVK_WIN), 2);
    EXPECT_TRUE(mapped_in_process(second.path));

    tb_init("<empty>");
    EXPECT_FALSE(mapped_in_process(second.path));
    tb_init(first.path.c_str());
    EXPECT_GT(dtz_of(KRVK_WIN), 0);
    tb_free();
    EXPECT_FALSE(mapped_in_process(first.path));
    EXPECT_EQ(TB_LARGEST, 0);
}
#endif

}  // namespace
