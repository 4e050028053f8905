// Network inference: features and their square mappings, the king buckets, the per-thread
// accumulator cache with its difference update, the output bucket and the scaling.
#include <cmath>
#include <cstring>

#include "eval/nn.h"
#include "eval/nn_kernels.h"
#include "platform/platform.h"

namespace {

constexpr int SCORE_CLAMP = 2500;
// The cache is reused while each colour's occupancy differs in at most this many squares.
constexpr int MAX_CHANGED_SQUARES = 6;
// Row updates per perspective: a rebuild adds at most one row per occupied square; an update
// removes at most the cached pieces and adds at most the current ones.
constexpr int MAX_ROW_OPS = 128;
constexpr int OWN_BLOCK = 0;
constexpr int OTHER_BLOCK = 384;
// Feature slot by piece type (index = type 1..6): king 0, pawn 1 .. queen 5.
constexpr int SLOT[7] = {0, 1, 2, 3, 4, 5, 0};

// The feature mapping of a position: per perspective a square XOR mask and a bucket offset.
struct Mapping {
    u8 mirror[2];
    u16 bucket[2];
};

bool on_queen_side(int sq) { return square_file(sq) < 4; }

Mapping mapping_of(const Position& pos, const NetHeader& h) {
    const int wk = pos.king_sq[WHITE], bk = pos.king_sq[BLACK];
    Mapping m;
    m.mirror[WHITE] = on_queen_side(wk) ? 7 : 0;
    m.mirror[BLACK] = on_queen_side(bk) ? 63 : 56;
    m.bucket[WHITE] = m.bucket[BLACK] = 0;
    if (h.buckets == 2) {
        if (h.kind == NET_KIND_OPPOSITE_WINGS) {
            const u16 b = on_queen_side(wk) != on_queen_side(bk) ? NET_FEATURES : 0;
            m.bucket[WHITE] = m.bucket[BLACK] = b;
        } else {
            m.bucket[WHITE] = wk < 24 ? 0 : NET_FEATURES;  // ranks 1-3
            m.bucket[BLACK] = bk >= 40 ? 0 : NET_FEATURES; // ranks 6-8
        }
    }
    return m;
}

// The weight row of a piece of `colour` and `type` on `sq` seen from `perspective`.
const i16* feature_row(const Mapping& m, int perspective, int colour, int type, int sq, int hidden) {
    const int f = m.bucket[perspective] + (colour == perspective ? OWN_BLOCK : OTHER_BLOCK) + 64 * SLOT[type] +
                  (sq ^ m.mirror[perspective]);
    return network.l1 + size_t(f) * size_t(hidden);
}

struct RowLists {
    RowOp ops[2][MAX_ROW_OPS];
    int count = 0;
    void push(const Mapping& m, int colour, int type, int sq, int subtract, int hidden) {
        for (int p = 0; p < 2; p++) ops[p][count] = {feature_row(m, p, colour, type, sq, hidden), subtract};
        count++;
    }
};

// Per piece type from pawn to king, White's pieces then Black's: what left, then what came.
void collect_differences(const u64* cached, const Position& pos, const Mapping& m, int hidden, RowLists& out) {
    for (int type = PAWN; type <= KING; type++)
        for (int colour = WHITE; colour <= BLACK; colour++) {
            const int pc = make_piece(colour, type);
            u64 gone = cached[pc] & ~pos.pieces[pc];
            u64 came = pos.pieces[pc] & ~cached[pc];
            while (gone) out.push(m, colour, type, pop_lsb(gone), 1, hidden);
            while (came) out.push(m, colour, type, pop_lsb(came), 0, hidden);
        }
}

void collect_all(const Position& pos, const Mapping& m, int hidden, RowLists& out) {
    for (int type = PAWN; type <= KING; type++)
        for (int colour = WHITE; colour <= BLACK; colour++) {
            u64 b = pos.pieces[make_piece(colour, type)];
            while (b) out.push(m, colour, type, pop_lsb(b), 0, hidden);
        }
}

bool cache_reusable(const NnState& st, const Position& pos, const Mapping& m, int ply) {
    if (!st.cache_valid || ply <= 2) return false;
    for (int p = 0; p < 2; p++)
        if (st.cached_mirror[p] != m.mirror[p] || st.cached_bucket[p] != m.bucket[p]) return false;
    return popcount(st.cached_pieces[0] ^ pos.pieces[0]) <= MAX_CHANGED_SQUARES &&
           popcount(st.cached_pieces[8] ^ pos.pieces[8]) <= MAX_CHANGED_SQUARES;
}

// Halves away from zero.
int round_to_int(double x) { return int(std::lround(x)); }

struct Avx2 {
    static void apply_rows(i16* d, const i16* s, const RowOp* o, int c, int n) { nn_avx2::apply_rows(d, s, o, c, n); }
    static u32 activate_dot(const i16* p, i16* a, const i16* w, int n) { return nn_avx2::activate_dot(p, a, w, n); }
};
struct Sse2 {
    static void apply_rows(i16* d, const i16* s, const RowOp* o, int c, int n) { nn_sse2::apply_rows(d, s, o, c, n); }
    static u32 activate_dot(const i16* p, i16* a, const i16* w, int n) { return nn_sse2::activate_dot(p, a, w, n); }
};
struct Scalar {
    static void apply_rows(i16* d, const i16* s, const RowOp* o, int c, int n) { nn_scalar::apply_rows(d, s, o, c, n); }
    static u32 activate_dot(const i16* p, i16* a, const i16* w, int n) { return nn_scalar::activate_dot(p, a, w, n); }
};

// The build's choice: scalar when forced, else the widest set the whole build targets.
#if defined(VELLUM_NN_SCALAR)
using EngineKernels = Scalar;
constexpr NnPath ENGINE_PATH = NN_PATH_SCALAR;
#elif defined(__AVX2__)
using EngineKernels = Avx2;
constexpr NnPath ENGINE_PATH = NN_PATH_AVX2;
#elif defined(__SSE2__)
using EngineKernels = Sse2;
constexpr NnPath ENGINE_PATH = NN_PATH_SSE2;
#else
using EngineKernels = Scalar;
constexpr NnPath ENGINE_PATH = NN_PATH_SCALAR;
#endif

template <class K>
int evaluate_with(const Position& pos, EvalState& es) {
    if (!nn_ready(es)) return 0;
    NnState& st = es.nn;
    const NetHeader& h = network.image.header;
    const int hidden = int(h.hidden);
    if (st.net_generation != network.generation) {
        st.cache_valid = 0;
        st.net_generation = network.generation;
    }

    // Bring the cached accumulators up to date, by differences or from the biases.
    const Mapping m = mapping_of(pos, h);
    RowLists rows;
    if (cache_reusable(st, pos, m, es.ply)) {
        collect_differences(st.cached_pieces, pos, m, hidden, rows);
        for (int p = 0; p < 2; p++) K::apply_rows(st.cached[p], st.cached[p], rows.ops[p], rows.count, hidden);
        st.updates++;
    } else {
        collect_all(pos, m, hidden, rows);
        for (int p = 0; p < 2; p++) K::apply_rows(st.cached[p], network.bias + p * hidden, rows.ops[p], rows.count, hidden);
        st.rebuilds++;
    }
    memcpy(st.cached_pieces, pos.pieces, sizeof st.cached_pieces);
    for (int p = 0; p < 2; p++) {
        st.cached_mirror[p] = m.mirror[p];
        st.cached_bucket[p] = m.bucket[p];
    }
    st.cached_ply = es.ply;
    st.cache_valid = 1;

    // Activate into the working accumulators and sum against the bucket's output weights: the
    // side to move's accumulator meets the first H weights.
    st.out_bucket = nn_output_bucket(pos);
    const i16* w = network.output + size_t(st.out_bucket) * 2 * size_t(hidden);
    const int own = pos.side, other = own ^ 1;
    const u32 sum = K::activate_dot(st.cached[own], st.acc[own], w, hidden) +
                    K::activate_dot(st.cached[other], st.acc[other], w + hidden, hidden);
    const int q = h.out_scale;
    st.raw_output = float(double(i32(sum)) / double(q * q));
    const int score = round_to_int(double(st.raw_output) * h.cp_scale);
    return score > SCORE_CLAMP ? SCORE_CLAMP : score < -SCORE_CLAMP ? -SCORE_CLAMP : score;
}

}  // namespace

int nn_output_bucket(const Position& pos) {
    int m = 0;
    for (int c = 0; c < 2; c++) {
        const u32 w = pos.material[c];
        const int v = 3 * (material_count(w, KNIGHT) + material_count(w, BISHOP)) + 5 * material_count(w, ROOK) +
                      10 * material_count(w, QUEEN);
        if (v > m) m = v;
    }
    return m >= 21 ? 0 : m >= 16 ? 1 : m >= 11 ? 2 : m >= 6 ? 3 : 4;
}

int nn_reserve(EvalState& es, int hidden) {
    NnState& st = es.nn;
    if (hidden <= 0 || hidden == st.capacity) return 0;
    const size_t bytes = size_t(4) * size_t(hidden) * sizeof(i16);
    auto* block = static_cast<i16*>(platform::alloc_large(bytes));
    if (!block) return st.capacity >= hidden ? 0 : -1;  // a larger block still serves
    nn_release(es);
    st.block = block;
    st.block_bytes = bytes;
    st.capacity = hidden;
    for (int p = 0; p < 2; p++) {
        st.acc[p] = block + p * hidden;
        st.cached[p] = block + (2 + p) * hidden;
    }
    return 0;
}

void nn_release(EvalState& es) {
    NnState& st = es.nn;
    if (st.block) platform::free_large(st.block, st.block_bytes);
    st.block = nullptr;
    st.block_bytes = 0;
    st.capacity = 0;
    st.acc[0] = st.acc[1] = st.cached[0] = st.cached[1] = nullptr;
    st.cache_valid = 0;
}

int nn_evaluate(const Position& pos, EvalState& es) { return evaluate_with<EngineKernels>(pos, es); }

NnPath nn_engine_path() { return ENGINE_PATH; }

const char* nn_path_name(NnPath path) {
    switch (path) {
        case NN_PATH_AVX2: return "avx2";
        case NN_PATH_SSE2: return "sse2";
        default: return "scalar";
    }
}

bool nn_path_usable(NnPath path) {
    switch (path) {
        case NN_PATH_AVX2: return nn_avx2::usable();
        case NN_PATH_SSE2: return nn_sse2::usable();
        default: return nn_scalar::usable();
    }
}

int nn_evaluate_on_path(NnPath path, const Position& pos, EvalState& es) {
    switch (path) {
        case NN_PATH_AVX2: return evaluate_with<Avx2>(pos, es);
        case NN_PATH_SSE2: return evaluate_with<Sse2>(pos, es);
        default: return evaluate_with<Scalar>(pos, es);
    }
}
