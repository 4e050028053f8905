#include "search/tt.h"

#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/tables.h"
#include "core/output.h"
#include "core/settings.h"
#include "search/thread.h"

TranspositionTable tt = {nullptr, 0, {nullptr, nullptr}, 0};

namespace {

constexpr u32 PARALLEL_CLEAR_MIN = 0x100000;

// Entries are read and written as two 64-bit words with relaxed atomics: other threads may
// write the same entry at any time, and the check word rejects mixtures.
struct EntryWords {
    u64 w0;  // lock | check << 32
    u64 w1;  // move | eval << 16 | score << 32 | depth << 48 | flags << 56
};

inline EntryWords load_entry(const TTEntry* e) {
    const u64* p = reinterpret_cast<const u64*>(e);
    return {__atomic_load_n(p, __ATOMIC_RELAXED), __atomic_load_n(p + 1, __ATOMIC_RELAXED)};
}
inline void store_w0(TTEntry* e, u64 w) { __atomic_store_n(reinterpret_cast<u64*>(e), w, __ATOMIC_RELAXED); }
inline void store_w1(TTEntry* e, u64 w) { __atomic_store_n(reinterpret_cast<u64*>(e) + 1, w, __ATOMIC_RELAXED); }

inline u32 w_lock(const EntryWords& w) { return u32(w.w0); }
inline u32 w_check(const EntryWords& w) { return u32(w.w0 >> 32); }
inline Move w_move(const EntryWords& w) { return Move(w.w1); }
inline int w_eval(const EntryWords& w) { return i16(u16(w.w1 >> 16)); }
inline int w_score(const EntryWords& w) { return i16(u16(w.w1 >> 32)); }
inline int w_depth(const EntryWords& w) { return i8(u8(w.w1 >> 48)); }
inline int w_flags(const EntryWords& w) { return u8(w.w1 >> 56); }
inline u64 make_w1(Move move, int eval, int score, int depth, int flags) {
    return u64(move) | u64(u16(i16(eval))) << 16 | u64(u16(i16(score))) << 32 | u64(u8(i8(depth))) << 48 |
           u64(u8(flags)) << 56;
}

inline u32 check_word(u64 key, int score, Move move) {
    return (u32(score + 10000) + (u32(move) << 16)) ^ u32(key);
}

inline TTEntry* bucket_of(const Position& pos) { return tt.half[pos.side] + (u32(pos.key) & tt.mask); }

struct ClearSlice {
    TTEntry* from;
    size_t count;
};
void clear_slice(void* arg) {
    auto* s = static_cast<ClearSlice*>(arg);
    memset(static_cast<void*>(s->from), 0, s->count * sizeof(TTEntry));
}

void report_illegal_move(Position& pos, Move move, int code) {
    char fen[128];
    get_fen(pos, fen, 0);
    AuxLock.lock();
    print_line("info fen %s", fen);
    print_line("info string illegal hash move: %s%s, flags= %x, code= %d\n", SquareNames[move_from(move)],
               SquareNames[move_to(move)], unsigned(move & FLAG_MASK), code);
    AuxLock.unlock();
}

}  // namespace

void tt_free() {
    if (tt.block) platform::free_large(tt.block, (size_t(tt.entries) + 16) * sizeof(TTEntry));
    tt = {nullptr, 0, {nullptr, nullptr}, 0};
}

int tt_allocate(unsigned mb, unsigned* got_mb) {
    tt_free();
    init_keys();
    if (got_mb) *got_mb = mb;
    if (mb == 0) {
        search_control.hash_in_use = 0;
        return 1;
    }
    for (unsigned size = mb; size >= 1; size /= 2) {
        u32 n = u32((u64(size) << 20) / sizeof(TTEntry));
        auto* block = static_cast<TTEntry*>(platform::alloc_large((size_t(n) + 16) * sizeof(TTEntry)));
        if (!block) continue;
        tt.block = block;
        tt.entries = n;
        tt.half[0] = block;
        tt.half[1] = block + n / 2;
        u32 p = 1;
        while (p * 2 <= n / 2) p *= 2;
        tt.mask = p - 1;
        if (got_mb) *got_mb = size;
        search_control.hash_in_use = 1;
        print_line("info string allocated %d Mbytes for hash table", int(size));
        // The block comes zero-filled; clearing again would only cost time.
        print_line("info string Cleared hash table");
        return 1;
    }
    return 0;
}

void tt_clear(int threads) {
    if (!tt.block) return;
    size_t total = size_t(tt.entries) + 16;
    if (threads <= 1 || tt.entries <= PARALLEL_CLEAR_MIN) {
        memset(static_cast<void*>(tt.block), 0, total * sizeof(TTEntry));
        return;
    }
    if (threads > MAX_THREADS) threads = MAX_THREADS;
    static platform::Thread handles[MAX_THREADS];
    static ClearSlice slices[MAX_THREADS];
    size_t per = tt.entries / u32(threads);
    for (int i = 0; i < threads; i++) {
        slices[i].from = tt.block + per * size_t(i);
        slices[i].count = i == threads - 1 ? total - per * size_t(i) : per;
        if (platform::thread_start(handles[i], clear_slice, &slices[i]) != 0) {
            // No thread: clear the slice here instead.
            clear_slice(&slices[i]);
            handles[i].handle = nullptr;
        }
    }
    for (int i = 0; i < threads; i++)
        if (handles[i].handle) platform::thread_join(handles[i]);
}

void tt_store(const Position& pos, int ply, int depth, Move move, int eval, int score, int alpha, int beta) {
    if (!search_control.hash_in_use || !tt.block || move == 0) return;
    score = score_to_tt(score, ply);
    int bound = score <= alpha ? BOUND_UPPER : score >= beta ? BOUND_LOWER : BOUND_EXACT;
    const u32 lock = u32(pos.key >> 32);
    const int age = search_control.hash_age;
    TTEntry* bucket = bucket_of(pos);
    TTEntry* target = nullptr;
    TTEntry* shallowest = nullptr;
    int shallowest_depth = 0;
    for (int i = 0; i < 4; i++) {
        EntryWords w = load_entry(bucket + i);
        if (w_lock(w) == lock) {
            // Keep a clearly deeper result of the same position.
            if (w_depth(w) - 2 > depth) return;
            target = bucket + i;
            break;
        }
        if ((w_flags(w) & 31) != age) {
            target = bucket + i;
            break;
        }
        if (!shallowest || w_depth(w) < shallowest_depth) {
            shallowest = bucket + i;
            shallowest_depth = w_depth(w);
        }
    }
    if (!target) target = shallowest;
    if (depth < -128) depth = -128;
    if (depth > 127) depth = 127;
    store_w0(target, u64(lock) | u64(check_word(pos.key, score, move)) << 32);
    store_w1(target, make_w1(move, eval, score, depth, bound * 32 + age));
}

int tt_probe(Position& pos, int* score, int* eval, int* depth, Move* move, int* bound, u64* counters) {
    if (!search_control.hash_in_use || !tt.block) return 0;
    if (counters) count_up(counters[CNT_HASH_PROBES]);
    const u32 lock = u32(pos.key >> 32);
    TTEntry* bucket = bucket_of(pos);
    for (int i = 0; i < 4; i++) {
        TTEntry* e = bucket + i;
        EntryWords w = load_entry(e);
        if (w_lock(w) != lock) continue;
        *move = w_move(w);
        *eval = w_eval(w);
        *score = w_score(w);
        *depth = w_depth(w);
        *bound = w_flags(w) >> 5;
        // Entries of older searches lose depth each time they are read, down to the i8 floor.
        int age_gap = abs(int(search_control.hash_age) - (w_flags(w) & 31));
        if (age_gap) {
            int lowered = w_depth(w) - age_gap;
            if (lowered < -128) lowered = -128;
            store_w1(e, (w.w1 & ~(u64(0xFF) << 48)) | u64(u8(i8(lowered))) << 48);
        }
        if (check_word(pos.key, *score, *move) != w_check(w)) return 0;
        int code = tt_move_code(pos, *move);
        if (code == 0) {
            if (counters) count_up(counters[CNT_HASH_HITS]);
            return 1;
        }
        report_illegal_move(pos, *move, code);
        return 0;
    }
    return 0;
}

int tt_move_code(Position& pos, Move move) {
    const int from = move_from(move), to = move_to(move);
    // Chess960 castling may leave the king where it stands or put it on its own rook's square,
    // so castling is judged before the tests that would reject those.
    if (move && piece_type(pos.board[from]) == KING && (move & FLAG_MASK) &&
        piece_colour(pos.board[from]) == pos.side) {
        const int side = pos.side;
        const int flags = move & FLAG_MASK;
        if (square_rank(from) != (side == WHITE ? 0 : 7) || (flags != FLAG_KING_SIDE && flags != FLAG_QUEEN_SIDE))
            return 6;
        const bool king_side = flags == FLAG_KING_SIDE;
        const int idx = castling_index(side, move);
        if (!(pos.castling & (1 << idx)) || to != castle_king_dest(from, king_side) ||
            (pos.castle_path[idx] & occupancy(pos)))
            return 12;
        return is_legal(pos, side, move) ? 0 : 14;
    }
    if (from == to) return 1;
    const int piece = pos.board[from], victim = pos.board[to];
    if (!piece || piece_type(victim) == KING) return 2;
    const int side = pos.side;
    if (piece_colour(piece) != side) return 3;
    if (victim && piece_colour(victim) == side) return 4;
    const int flags = move & FLAG_MASK;
    const int type = piece_type(piece);
    const u64 occ = occupancy(pos);
    const u64 to_bit = square_bit(to);
    const int first_rank = side == WHITE ? 0 : 7;
    if (type == PAWN) {
        const bool promoting = (PROMOTING_RANK[side] & square_bit(from)) != 0;
        if (flags && (!promoting || (flags != FLAG_PROMO_QUEEN && flags != FLAG_PROMO_KNIGHT &&
                                     flags != FLAG_PROMO_BISHOP && flags != FLAG_PROMO_ROOK)))
            return 6;
        if (!flags && promoting) return 6;  // a move to the last rank must name its piece
    } else if (type == KING) {
        if (flags && (square_rank(from) != first_rank || (flags != FLAG_KING_SIDE && flags != FLAG_QUEEN_SIDE)))
            return 6;
    } else if (flags) {
        return 6;
    }
    switch (type) {
        case PAWN: {
            const int push = PAWN_PUSH[side];
            const int file_gap = abs(square_file(from) - square_file(to));
            bool ok = false;
            if (file_gap == 1 && (to == from + push - 1 || to == from + push + 1))
                ok = victim != 0 || to == pos.ep_square;
            else if (to == from + push)
                ok = victim == 0;
            else if (to == from + 2 * push)
                ok = square_rank(from) == (side == WHITE ? 1 : 6) && !pos.board[from + push] && victim == 0;
            if (!ok) return 7;
            break;
        }
        case KNIGHT:
            if (!(KnightAttacks[from] & to_bit)) return 8;
            break;
        case BISHOP:
            if (!(bishop_attacks(from, occ) & to_bit)) return 9;
            break;
        case ROOK:
            if (!(rook_attacks(from, occ) & to_bit)) return 10;
            break;
        case QUEEN:
            if (!(queen_attacks(from, occ) & to_bit)) return 11;
            break;
        case KING:
            if (flags) {
                const bool king_side = (flags & FLAG_KING_SIDE) != 0;
                const int idx = castling_index(side, move);
                if (square_rank(to) != first_rank || !(pos.castling & (1 << idx)) ||
                    to != castle_king_dest(from, king_side) || (pos.castle_path[idx] & occ))
                    return 12;
            } else if (!(KingAttacks[from] & to_bit)) {
                return 13;
            }
            break;
        default:
            return 2;
    }
    if (!is_legal(pos, side, move)) return 14;
    return 0;
}

float tt_hashfull_fraction() {
    if (!tt.block || tt.entries <= 2999) return 0.0f;
    const int age = search_control.hash_age;
    int used = 0;
    for (int i = 0; i < 1000; i++) used += (w_flags(load_entry(tt.block + i)) & 31) == age;
    return float(used) * 0.001f;
}

void tt_hashfull(int depth) { search_control.hashfull = depth > 6 ? tt_hashfull_fraction() : 0.0f; }

void tt_fill_pv(Position& pos, int ply, Move* pv) {
    if (pv[ply] == 0) {
        pv[ply + 1] = 0;
        int score, eval, depth, bound;
        Move move = 0;
        if (!tt_probe(pos, &score, &eval, &depth, &move, &bound, nullptr) || move == 0) return;
        if (is_draw(pos, 0)) return;
        pv[ply] = move;
    }
    if (!is_legal(pos, pos.side, pv[ply])) {
        pv[ply] = 0;
        return;
    }
    make_move(pos, pv[ply]);
    if (ply + 1 < 77) tt_fill_pv(pos, ply + 1, pv);
    unmake_move(pos);
}
