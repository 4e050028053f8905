// Damaged copies of table files: where the structures of a file lie, and a harness that
// probes a folder holding one damaged material beside intact ones.
#pragma once

#include "tb_test_util.h"

namespace tbtest {

// Layout of a WDL file of a table without pawns, worked out from its headers; `entries` is
// the index size of every side (all sides of such a table have the same one).
struct PieceWdlLayout {
    size_t header[2];       // compressed-data header of each side
    size_t symbol_count[2]; // offset of the u16 symbol count, 0 for a single-value side
    size_t main_index[2];   // 0 for a single-value side
    size_t size_table[2];
};

inline PieceWdlLayout piece_wdl_layout(const std::vector<unsigned char>& f, int pieces, int sides, u64 entries) {
    PieceWdlLayout l{};
    size_t p = 5 + 1 + size_t(pieces);
    p += p & 1;
    size_t index_bytes[2] = {0, 0}, size_bytes[2] = {0, 0};
    for (int s = 0; s < sides; s++) {
        l.header[s] = p;
        if (f[p] & 0x80) {
            p += 2;
            continue;
        }
        const int step_bits = f[p + 2], extra = f[p + 3];
        const size_t blocks = f[p + 4] | f[p + 5] << 8 | f[p + 6] << 16 | size_t(f[p + 7]) << 24;
        const int max_len = f[p + 8], min_len = f[p + 9];
        const size_t h = size_t(max_len - min_len + 1);
        l.symbol_count[s] = p + 10 + 2 * h;
        const size_t syms = f[l.symbol_count[s]] | f[l.symbol_count[s] + 1] << 8;
        p += 12 + 2 * h + 3 * syms + (syms & 1);
        index_bytes[s] = 6 * size_t((entries + (u64(1) << step_bits) - 1) >> step_bits);
        size_bytes[s] = 2 * (blocks + size_t(extra));
    }
    for (int s = 0; s < sides; s++) {
        if (index_bytes[s]) l.main_index[s] = p;
        p += index_bytes[s];
    }
    for (int s = 0; s < sides; s++) {
        if (size_bytes[s]) l.size_table[s] = p;
        p += size_bytes[s];
    }
    return l;
}

// Results of a set of positions: WDL and DTZ, or a failure mark, per position.
struct ProbeResults {
    std::vector<int> wdl;
    std::vector<int> dtz;
};

constexpr int FAILED_PROBE = -1000;

inline ProbeResults probe_all(const std::vector<TbPosition>& positions) {
    ProbeResults r;
    for (const TbPosition& p : positions) {
        int success = 0;
        int w = probe_wdl(p, &success);
        EXPECT_TRUE(success >= 0 && success <= 2);
        if (success) {
            EXPECT_TRUE(w >= -2 && w <= 2);
        }
        r.wdl.push_back(success ? w : FAILED_PROBE);
        int d = probe_dtz(p, &success);
        r.dtz.push_back(success ? d : FAILED_PROBE);
    }
    return r;
}

inline std::vector<TbPosition> random_positions(const std::string& material, int count, u64 seed) {
    std::mt19937_64 rng(seed);
    std::vector<TbPosition> v;
    for (int i = 0; i < count; i++) v.push_back(random_position(material, i & 1, rng));
    return v;
}

}  // namespace tbtest

namespace tbtest {

// One damaged material (KQvKR) beside an intact one (KRvKB) and the tables their captures
// reach. Results of the intact folder are computed once for comparison.
class DamageFixture : public ::testing::Test {
protected:
    static constexpr const char* TARGET = "KQvKR";
    static constexpr const char* BYSTANDER = "KRvKB";
    static inline std::vector<TbPosition> target_positions, bystander_positions;
    static inline ProbeResults target_intact, bystander_intact;

    void SetUp() override {
        init_board();
        if (!have_tables()) GTEST_SKIP() << "no Syzygy test data";
        if (target_positions.empty()) {
            target_positions = random_positions(TARGET, 120, 1);
            bystander_positions = random_positions(BYSTANDER, 120, 2);
            CapturedOutput quiet;
            tb_init(syzygy_dir().c_str());
            target_intact = probe_all(target_positions);
            bystander_intact = probe_all(bystander_positions);
        }
    }
    void TearDown() override {
        CapturedOutput quiet;
        tb_init("<empty>");
    }

    static std::vector<unsigned char> intact(const std::string& name) { return read_file(syzygy_dir() + "/" + name); }

    // Copies the tables both materials need into `dir`, with `name` replaced by `bytes`.
    static void build_folder(const std::string& dir, const std::string& name, const std::vector<unsigned char>& bytes) {
        for (const char* base : {"KQvKR", "KRvKB", "KQvK", "KRvK", "KBvK"})
            for (const char* ext : {".rtbw", ".rtbz"}) {
                const std::string file = std::string(base) + ext;
                if (file != name) copy_table(file, dir);
            }
        write_file(dir + "/" + name, bytes);
    }

    struct Run {
        std::string output;
        ProbeResults first, second, bystander;
    };
    // Initialises on the folder and probes the damaged material twice and the intact one once.
    static Run run(const std::string& dir) {
        Run r;
        CapturedOutput out;
        tb_init(dir.c_str());
        r.first = probe_all(target_positions);
        r.second = probe_all(target_positions);
        r.bystander = probe_all(bystander_positions);
        r.output = out.text();
        return r;
    }

    // A material without its table still answers where a capture decides the result without
    // it; every other probe must fail. Returns whether that holds, with the failures counted.
    static bool absent(const std::vector<int>& got, const std::vector<int>& intact_results, int* failures) {
        *failures = 0;
        for (size_t i = 0; i < got.size(); i++) {
            if (got[i] == FAILED_PROBE) ++*failures;
            else if (got[i] != intact_results[i]) return false;
        }
        return true;
    }
};

}  // namespace tbtest
