// Random damage over many seeds and several kinds of table (pawns on one or both sides, value
// maps, five pieces): no crash and no read outside a mapping (under AddressSanitizer), at most
// one report per damaged file, results in range, and the other tables unaffected.
#include "tb_damage_util.h"

#include <filesystem>

using namespace tbtest;

namespace {

class TbDamageSweep : public ::testing::Test {
protected:
    static inline std::vector<TbPosition> bystander_positions;
    static inline ProbeResults bystander_intact;

    void SetUp() override {
        init_board();
        if (!have_tables()) GTEST_SKIP() << "no Syzygy test data";
        if (bystander_positions.empty()) {
            bystander_positions = random_positions("KRvKN", 100, 3);
            CapturedOutput quiet;
            tb_init(syzygy_dir().c_str());
            bystander_intact = probe_all(bystander_positions);
        }
    }
    void TearDown() override {
        CapturedOutput quiet;
        tb_init("<empty>");
    }
};

TEST_F(TbDamageSweep, RandomDamageAcrossTables) {
    const char* materials[] = {"KQvKR", "KBvKP", "KPvKP", "KPPvK", "KNNvKQ", "KRvKB", "KNNvKR", "KBNvK"};
    std::vector<std::string> all_files;
    for (const auto& entry : std::filesystem::directory_iterator(syzygy_dir())) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".rtbw") || name.ends_with(".rtbz")) all_files.push_back(name);
    }
    for (u64 seed = 0; seed < 400; seed++) {
        SCOPED_TRACE(seed);
        std::mt19937_64 rng(seed * 7919 + 1);
        const std::string material = materials[seed % std::size(materials)];
        const std::string name = material + ((seed / std::size(materials)) % 2 ? ".rtbz" : ".rtbw");
        auto bytes = read_file(syzygy_dir() + "/" + name);
        switch (rng() % 4) {
            case 0: {  // cut at a length that still looks complete
                const size_t blocks = bytes.size() / 64;
                bytes.resize(64 * (rng() % blocks) + 16);
                break;
            }
            case 1: {  // a few bytes anywhere
                const int flips = 1 + int(rng() % 16);
                for (int i = 0; i < flips; i++) bytes[rng() % bytes.size()] ^= u8(1 + rng() % 255);
                break;
            }
            default: {  // the headers, maps and indices at the front
                const size_t span = std::min<size_t>(bytes.size(), 64 + rng() % 1024);
                const int flips = 1 + int(rng() % 6);
                for (int i = 0; i < flips; i++) bytes[rng() % span] ^= u8(1 << (rng() % 8));
                break;
            }
        }
        TempDir tmp;
        for (const std::string& f : all_files) {
            std::error_code ec;
            if (f != name) std::filesystem::create_symlink(syzygy_dir() + "/" + f, tmp.file(f), ec);
        }
        write_file(tmp.file(name), bytes);

        CapturedOutput out;
        tb_init(tmp.path.c_str());
        const auto positions = random_positions(material, 100, seed);
        probe_all(positions);
        probe_all(positions);
        const ProbeResults bystander = probe_all(bystander_positions);
        EXPECT_LE(count_occurrences(out.text(), name), 1) << out.text();
        EXPECT_EQ(bystander.wdl, bystander_intact.wdl);
        EXPECT_EQ(bystander.dtz, bystander_intact.dtz);
    }
}

}  // namespace
