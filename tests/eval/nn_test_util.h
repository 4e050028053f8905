// Random networks for the network tests, their file bytes written out field by field, and a
// reference evaluation in plain integer loops that follows the documented algorithm step by
// step (whole-row updates, features recomputed from the king squares) for comparison with the
// engine's kernels and accumulator cache.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "board/movegen.h"
#include "board/legality.h"
#include "board/makemove.h"
#include "eval/nn.h"
#include "eval_test_util.h"

struct TestNet {
    NetHeader h{};
    std::vector<i16> w;  // L1 rows, 8 output groups, biases
    size_t l1() const { return 0; }
    size_t out() const { return size_t(768) * h.buckets * h.hidden; }
    size_t bias() const { return out() + 16 * size_t(h.hidden); }
};

// Weights uniform in [-l1, l1] (first layer), [-out, out] (output groups), [-bias, bias].
inline TestNet random_net(u32 seed, int hidden, int buckets = 2, int kind = 752, int l1 = 64, int out = 64, int bias = 64) {
    TestNet n;
    n.h = {u16(kind), 2048, 2048, 400, u32(buckets), 5, u32(hidden), 0, 0, 5, 0};
    n.h.count = u32((768 * buckets + 18) * hidden);
    n.w.resize(n.h.count);
    std::mt19937 rng(seed);
    for (size_t i = 0; i < n.w.size(); i++) {
        const int r = i < n.out() ? l1 : i < n.bias() ? out : bias;
        n.w[i] = i16(int(rng() % u32(2 * r + 1)) - r);
    }
    return n;
}

// The file image: ten 16-bit header words, the count at byte 20, then the weights.
inline std::vector<u8> net_bytes(const TestNet& n) {
    std::vector<u8> b;
    auto put16 = [&](u32 v) { b.push_back(u8(v)), b.push_back(u8(v >> 8)); };
    for (u32 v : {u32(n.h.kind), u32(u16(n.h.out_scale)), u32(u16(n.h.aux_scale)), u32(u16(n.h.cp_scale)), n.h.buckets,
                  n.h.field5, n.h.hidden, n.h.field7, n.h.field8, n.h.field9})
        put16(v);
    put16(n.h.count), put16(n.h.count >> 16);
    for (i16 x : n.w) put16(u16(x));
    return b;
}

inline int install(const TestNet& n, NetworkPrepare prepare = nullptr) {
    std::vector<u8> b = net_bytes(n);
    return load_network_image(b.data(), b.size(), "test", prepare);
}

inline void write_bytes(const std::string& path, const std::vector<u8>& b) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

// The reference: per perspective a vector of accumulator sums, saturated after each row.
struct RefEval {
    const TestNet& n;
    std::vector<int> acc[2];
    u64 pieces[16] = {};
    int mirror[2] = {-1, -1}, bucket[2] = {-1, -1};
    bool saturated = false;  // some row update saturated since the last rebuild

    explicit RefEval(const TestNet& net) : n(net) {}

    int feature(int p, int colour, int type, int sq, const int* mir, const int* buck) const {
        const int slot = type == KING ? 0 : type;
        return buck[p] + (colour == p ? 0 : 384) + 64 * slot + (sq ^ mir[p]);
    }
    void apply(int p, int f, int sign) {
        const int H = int(n.h.hidden);
        for (int i = 0; i < H; i++) {
            int v = acc[p][i] + sign * n.w[size_t(f) * H + i];
            if (v > 32767 || v < -32768) saturated = true;
            acc[p][i] = v > 32767 ? 32767 : v < -32768 ? -32768 : v;
        }
    }
    int evaluate(const Position& pos, int ply) {
        const int H = int(n.h.hidden), wk = pos.king_sq[0], bk = pos.king_sq[1];
        int mir[2] = {(wk & 7) < 4 ? 7 : 0, (bk & 7) < 4 ? 63 : 56}, buck[2] = {0, 0};
        if (n.h.buckets == 2) {
            if (n.h.kind == 757) buck[0] = buck[1] = ((wk & 7) < 4) != ((bk & 7) < 4) ? 768 : 0;
            else buck[0] = wk < 24 ? 0 : 768, buck[1] = bk >= 40 ? 0 : 768;
        }
        bool reuse = ply > 2 && mir[0] == mirror[0] && mir[1] == mirror[1] && buck[0] == bucket[0] &&
                     buck[1] == bucket[1] && popcount(pieces[0] ^ pos.pieces[0]) <= 6 &&
                     popcount(pieces[8] ^ pos.pieces[8]) <= 6;
        if (!reuse) {
            saturated = false;
            for (int p = 0; p < 2; p++) acc[p].assign(n.w.begin() + n.bias() + p * H, n.w.begin() + n.bias() + (p + 1) * H);
        }
        for (int type = PAWN; type <= KING; type++)
            for (int c = 0; c < 2; c++) {
                const int pc = c * 8 + type;
                u64 gone = reuse ? pieces[pc] & ~pos.pieces[pc] : 0;
                u64 came = reuse ? pos.pieces[pc] & ~pieces[pc] : pos.pieces[pc];
                for (int s = 0; s < 64; s++)
                    if (gone >> s & 1) apply(0, feature(0, c, type, s, mir, buck), -1), apply(1, feature(1, c, type, s, mir, buck), -1);
                for (int s = 0; s < 64; s++)
                    if (came >> s & 1) apply(0, feature(0, c, type, s, mir, buck), 1), apply(1, feature(1, c, type, s, mir, buck), 1);
            }
        for (int i = 0; i < 16; i++) pieces[i] = pos.pieces[i];
        for (int p = 0; p < 2; p++) mirror[p] = mir[p], bucket[p] = buck[p];
        // Output bucket by the larger side's 3 x minors + 5 x rooks + 10 x queens.
        int m = 0;
        for (int c = 0; c < 2; c++)
            m = std::max(m, 3 * popcount(pos.pieces[c * 8 + 2] | pos.pieces[c * 8 + 3]) + 5 * popcount(pos.pieces[c * 8 + 4]) +
                                10 * popcount(pos.pieces[c * 8 + 5]));
        const int ob = m >= 21 ? 0 : m >= 16 ? 1 : m >= 11 ? 2 : m >= 6 ? 3 : 4;
        i64 sum = 0;
        for (int half = 0; half < 2; half++) {
            const int p = half == 0 ? pos.side : pos.side ^ 1;
            for (int i = 0; i < H; i++) {
                const int v = acc[p][i] < 0 ? acc[p][i] / 64 : acc[p][i];
                sum += i64(v) * n.w[n.out() + size_t(ob) * 2 * H + half * H + i];
            }
        }
        const i32 wrapped = i32(u32(u64(sum)));  // 32-bit sums
        const double q = n.h.out_scale;
        const float raw = float(double(wrapped) / (q * q));
        const long s = std::lround(double(raw) * n.h.cp_scale);
        return int(std::clamp(s, -2500L, 2500L));
    }
};

// Plays a random legal move; false when there is none.
inline bool random_move(Position& pos, std::mt19937& rng) {
    MoveEntry list[MAX_MOVES];
    const int n = gen_all_moves(pos, list);
    std::vector<Move> legal;
    for (int i = 0; i < n; i++)
        if (legal_move(pos, pos.side, list[i].move)) legal.push_back(list[i].move);
    if (legal.empty()) return false;
    make_move(pos, legal[rng() % legal.size()]);
    return true;
}

// The evaluation tests' fixture with network storage; the network is dropped afterwards.
class NnFixture : public EvalFixture {
protected:
    void TearDown() override {
        nn_release(*es);
        unload_network();
    }
    int nn(int ply, NnPath path = nn_engine_path()) {
        es->ply = ply;
        return nn_evaluate_on_path(path, pos, *es);
    }
};
