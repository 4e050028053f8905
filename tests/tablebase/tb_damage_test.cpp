// Damaged table files: each is reported once and then treated as absent, probes fail cleanly,
// and the other tables keep answering as before. Run under AddressSanitizer these tests also
// show that no probe reads outside a mapping.
#include "tb_damage_util.h"

#include <functional>

using namespace tbtest;

namespace {

using Mutation = std::function<void(std::vector<unsigned char>&)>;

struct Damage {
    const char* what;
    const char* file;
    Mutation mutate;
    const char* message;  // expected in the single report line
};

// KQvKR: four unique pieces, so the index size is 31332 * 61 for both sides.
constexpr u64 KQVKR_ENTRIES = 31332ull * 61;

PieceWdlLayout kqvkr_layout(const std::vector<unsigned char>& f) { return piece_wdl_layout(f, 4, 2, KQVKR_ENTRIES); }

void put_u16(std::vector<unsigned char>& f, size_t at, unsigned v) {
    f[at] = u8(v);
    f[at + 1] = u8(v >> 8);
}

const Damage LOAD_TIME_DAMAGE[] = {
    {"cut by one block", "KQvKR.rtbw", [](auto& f) { f.resize(f.size() - 64); }, "Corrupted table."},
    {"wrong magic", "KQvKR.rtbw", [](auto& f) { f[0] ^= 0x40; }, "wrong magic"},
    {"pawn flag flipped", "KQvKR.rtbw", [](auto& f) { f[4] ^= 0x02; }, "Corrupted table."},
    {"piece code garbage", "KQvKR.rtbw", [](auto& f) { f[7] = 0x77; }, "Corrupted table."},
    {"group order out of range", "KQvKR.rtbw", [](auto& f) { f[5] = 0xFF; }, "bad group order"},
    {"4096 symbols", "KQvKR.rtbw", [](auto& f) { put_u16(f, kqvkr_layout(f).symbol_count[0], 4096); },
     "bad symbol count"},
    {"huge block count", "KQvKR.rtbw", [](auto& f) { put_u16(f, kqvkr_layout(f).header[1] + 6, 0xFFFF); },
     "past the end"},
    {"huge block size", "KQvKR.rtbw", [](auto& f) { f[kqvkr_layout(f).header[0] + 1] = 40; }, "bad block size"},
    {"symbol refers to itself", "KQvKR.rtbw",
     [](auto& f) {
         const size_t count = kqvkr_layout(f).symbol_count[0];
         const unsigned last = f[count] | f[count + 1] << 8;
         const size_t sym = count + 2 + 3 * (last - 1);
         f[sym] = u8(last - 1);
         f[sym + 1] = u8(((last - 1) >> 8) | ((last - 1) & 15) << 4);
         f[sym + 2] = u8((last - 1) >> 4);
     },
     "symbol cycle"},
    {"symbol refers past the table", "KQvKR.rtbw",
     [](auto& f) {
         const size_t count = kqvkr_layout(f).symbol_count[0];
         f[count + 2] = 0xFE;
         f[count + 3] = 0x0F;
         f[count + 4] = 0x10;
     },
     "bad symbol"},
    {"dtz cut by one block", "KQvKR.rtbz", [](auto& f) { f.resize(f.size() - 64); }, "Corrupted table."},
    {"dtz wrong magic", "KQvKR.rtbz", [](auto& f) { f[3] = 0x5d; }, "wrong magic"},
    {"dtz map count garbage", "KQvKR.rtbz",
     [](auto& f) {
         // The single sub-table header of this file starts at 10; the maps follow it.
         const size_t h = size_t(f[18] - f[19] + 1);
         const size_t syms = f[20 + 2 * h] | f[21 + 2 * h] << 8;
         const size_t maps = 10 + 12 + 2 * h + 3 * syms + (syms & 1);
         for (size_t i = 0; i < 64; i++) f[maps + i] = 0xFF;
     },
     "Corrupted table."},
};

class TbDamage : public DamageFixture {};

TEST_F(TbDamage, DamagedFileIsReportedOnceAndTreatedAsAbsent) {
    for (const Damage& d : LOAD_TIME_DAMAGE) {
        SCOPED_TRACE(d.what);
        TempDir tmp;
        auto bytes = intact(d.file);
        d.mutate(bytes);
        build_folder(tmp.path, d.file, bytes);
        Run r = run(tmp.path);

        EXPECT_EQ(count_occurrences(r.output, d.file), 1) << r.output;
        EXPECT_EQ(count_occurrences(r.output, d.message), 1) << r.output;
        int failures = 0;
        const bool wdl_file = std::string(d.file).ends_with(".rtbw");
        if (wdl_file) {
            EXPECT_TRUE(absent(r.first.wdl, target_intact.wdl, &failures));
            EXPECT_GT(failures, 60);
            EXPECT_EQ(r.second.wdl, r.first.wdl);
        } else {
            EXPECT_EQ(r.first.wdl, target_intact.wdl);
        }
        EXPECT_TRUE(absent(r.first.dtz, target_intact.dtz, &failures));
        EXPECT_GT(failures, 60);
        EXPECT_EQ(r.second.dtz, r.first.dtz);
        EXPECT_EQ(r.bystander.wdl, bystander_intact.wdl);
        EXPECT_EQ(r.bystander.dtz, bystander_intact.dtz);
    }
}

TEST_F(TbDamage, ShortFileIsIncompleteAtStart) {
    TempDir tmp;
    auto bytes = intact("KQvKR.rtbw");
    bytes.resize(bytes.size() - 5);
    build_folder(tmp.path, "KQvKR.rtbw", bytes);
    Run r = run(tmp.path);
    EXPECT_EQ(count_occurrences(r.output, "info string Incomplete tablebase file KQvKR.rtbw\n"), 1) << r.output;
    EXPECT_EQ(count_occurrences(r.output, "Found 4 WDL"), 1) << r.output;
    int failures = 0;
    EXPECT_TRUE(absent(r.first.wdl, target_intact.wdl, &failures));
    EXPECT_GT(failures, 60);
    EXPECT_EQ(r.bystander.wdl, bystander_intact.wdl);
}

// Offsets inside the index structures are only met while decoding.
TEST_F(TbDamage, GarbageOffsetsFoundWhileProbing) {
    const Mutation mutations[] = {
        [](auto& f) {
            // Both main indices point far past the size tables.
            const PieceWdlLayout l = kqvkr_layout(f);
            for (size_t i = l.main_index[0]; i < l.size_table[0]; i++) f[i] = 0xFF;
        },
        [](auto& f) {
            // Every block claims a single value, so the walks run off the size table.
            const PieceWdlLayout l = kqvkr_layout(f);
            for (size_t i = l.size_table[0]; i < l.size_table[0] + 4096 && i < f.size(); i++) f[i] = 0;
        },
    };
    for (const Mutation& mutate : mutations) {
        TempDir tmp;
        auto bytes = intact("KQvKR.rtbw");
        mutate(bytes);
        build_folder(tmp.path, "KQvKR.rtbw", bytes);
        Run r = run(tmp.path);
        EXPECT_EQ(count_occurrences(r.output, "Corrupted table. KQvKR.rtbw"), 1) << r.output;
        int failures = 0;
        EXPECT_TRUE(absent(r.second.wdl, target_intact.wdl, &failures));
        EXPECT_GT(failures, 60);
        EXPECT_EQ(r.bystander.wdl, bystander_intact.wdl);
        EXPECT_EQ(r.bystander.dtz, bystander_intact.dtz);
    }
}

// KRvK with the rook's side not to move is one block; damage to it that would make the decoder
// read past the end of the file must be caught while decoding.
TEST_F(TbDamage, DecoderStopsAtTheEndOfTheFile) {
    const Mutation mutations[] = {
        [](auto& f) {
            // All codes zero: the block (and what follows it) stands for far fewer values than
            // the size table promises.
            const PieceWdlLayout l = piece_wdl_layout(f, 3, 2, 31332);
            for (size_t i = (l.size_table[1] + 2 + 63) & ~size_t(63); i < f.size(); i++) f[i] = 0;
        },
        [](auto& f) {
            // The only block claims one value: the walk would run through the rest of the file.
            const PieceWdlLayout l = piece_wdl_layout(f, 3, 2, 31332);
            put_u16(f, l.size_table[1], 0);
        },
    };
    const auto positions = random_positions("KRvK", 400, 5);
    for (const Mutation& mutate : mutations) {
        TempDir tmp;
        auto bytes = intact("KRvK.rtbw");
        mutate(bytes);
        write_file(tmp.file("KRvK.rtbw"), bytes);
        CapturedOutput out;
        tb_init(tmp.path.c_str());
        probe_all(positions);
        EXPECT_EQ(count_occurrences(out.text(), "Corrupted table. KRvK.rtbw"), 1) << out.text();
    }
}

// Random damage: whatever is hit, nothing crashes, results stay in range, at most one report,
// and the intact material is unaffected.
TEST_F(TbDamage, RandomByteFlips) {
    for (u64 seed = 0; seed < 12; seed++) {
        SCOPED_TRACE(seed);
        std::mt19937_64 rng(seed);
        const char* name = (seed & 1) ? "KQvKR.rtbz" : "KQvKR.rtbw";
        auto bytes = intact(name);
        const int flips = 1 + int(rng() % 8);
        const size_t span = (seed & 2) ? bytes.size() : std::min<size_t>(bytes.size(), 512);
        for (int i = 0; i < flips; i++) bytes[rng() % span] ^= u8(1 + rng() % 255);
        TempDir tmp;
        build_folder(tmp.path, name, bytes);
        Run r = run(tmp.path);
        EXPECT_LE(count_occurrences(r.output, name), 1) << r.output;
        EXPECT_EQ(r.bystander.wdl, bystander_intact.wdl);
        EXPECT_EQ(r.bystander.dtz, bystander_intact.dtz);
    }
}

}  // namespace
