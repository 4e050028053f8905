// The body of the network kernels, written once against the vocabulary of nn_simd.h. Each
// kernel source includes the vocabulary for its instruction set and then this file inside its
// own namespace. Only vocabulary names and plain loops may appear here: an inline function
// shared with other sources would be compiled with this file's instruction set and could be
// picked by the linker for code that runs on processors without it.

// Accumulator entries are processed in tiles of TILE vectors kept in registers while every row
// of the list is applied, then stored once; the same per-entry order of operations as applying
// the rows one after another over the whole accumulator.
constexpr int TILE = 8;

void apply_rows(i16* dst, const i16* src, const RowOp* ops, int count, int n) {
    int i = 0;
    for (; i + TILE * VEC_LANES <= n; i += TILE * VEC_LANES) {
        vec16 r[TILE];
        for (int k = 0; k < TILE; k++) r[k] = vec_load(src + i + k * VEC_LANES);
        for (int o = 0; o < count; o++) {
            const i16* row = ops[o].row + i;
            if (ops[o].subtract) {
                for (int k = 0; k < TILE; k++) r[k] = vec_sub_16(r[k], vec_load(row + k * VEC_LANES));
            } else {
                for (int k = 0; k < TILE; k++) r[k] = vec_add_16(r[k], vec_load(row + k * VEC_LANES));
            }
        }
        for (int k = 0; k < TILE; k++) vec_store(dst + i + k * VEC_LANES, r[k]);
    }
    for (; i + VEC_LANES <= n; i += VEC_LANES) {
        vec16 r = vec_load(src + i);
        for (int o = 0; o < count; o++)
            r = ops[o].subtract ? vec_sub_16(r, vec_load(ops[o].row + i)) : vec_add_16(r, vec_load(ops[o].row + i));
        vec_store(dst + i, r);
    }
    // The entries after the last whole vector, one by one.
    for (; i < n; i++) {
        i16 v = src[i];
        for (int o = 0; o < count; o++) v = ops[o].subtract ? sat_sub_16(v, ops[o].row[i]) : sat_add_16(v, ops[o].row[i]);
        dst[i] = v;
    }
}

u32 activate_dot(const i16* pre, i16* act, const i16* weights, int n) {
    vec32 sum0 = vec_zero_32(), sum1 = vec_zero_32();
    int i = 0;
    for (; i + 2 * VEC_LANES <= n; i += 2 * VEC_LANES) {
        const vec16 a0 = vec_leaky_16(vec_load(pre + i));
        const vec16 a1 = vec_leaky_16(vec_load(pre + i + VEC_LANES));
        vec_store(act + i, a0);
        vec_store(act + i + VEC_LANES, a1);
        sum0 = vec_add_32(sum0, vec_madd_16(a0, vec_load(weights + i)));
        sum1 = vec_add_32(sum1, vec_madd_16(a1, vec_load(weights + i + VEC_LANES)));
    }
    for (; i + VEC_LANES <= n; i += VEC_LANES) {
        const vec16 a = vec_leaky_16(vec_load(pre + i));
        vec_store(act + i, a);
        sum0 = vec_add_32(sum0, vec_madd_16(a, vec_load(weights + i)));
    }
    u32 total = vec_sum_32(vec_add_32(sum0, sum1));
    for (; i < n; i++) {
        act[i] = leaky_16(pre[i]);
        total += product_32(act[i], weights[i]);
    }
    return total;
}
