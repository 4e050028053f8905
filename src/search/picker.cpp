#include "search/picker.h"

#include "board/bitboard.h"
#include "board/movegen.h"
#include "board/see.h"
#include "board/tables.h"

namespace {

constexpr int WINNING_CAPTURE[6] = {210, 220, 230, 230, 240, 250};
constexpr int LOSING_CAPTURE[6] = {2, 4, 12, 12, 16, 20};

enum Stage : int {
    STAGE_HASH = 0,
    STAGE_GENERATE = 1,
    STAGE_Q_CAPTURES = 2,
    STAGE_Q_CHECKS = 3,
    STAGE_GOOD_CAPTURES = 4,
    STAGE_GEN_QUIETS = 5,
    STAGE_QUIETS = 6,
    STAGE_REST = 7,
};

inline void set_stage(SearchStackEntry& s, int stage) { s.picker_state = u16((s.picker_state & ~15) | stage); }

// Index of the highest-scored entry in [from, end); ties keep the earlier one.
inline int best_index(const MoveEntry* list, int from, int end) {
    int best = from;
    for (int i = from + 1; i < end; i++)
        if (list[i].score > list[best].score) best = i;
    return best;
}

inline void swap_entries(MoveEntry* list, int a, int b) {
    MoveEntry tmp = list[a];
    list[a] = list[b];
    list[b] = tmp;
}

void terminate(MoveEntry* at) {
    at->move = MOVE_END;
    at->score = 0;
    at->piece = 0;
    at->captured = 0;
}

// Quiet moves of `type` onto `targets` (empty squares from which the piece attacks the king).
MoveEntry* gen_piece_checks(const Position& pos, int side, int type, u64 targets, MoveEntry* out) {
    u64 pieces = pieces_of(pos, side, type);
    const u64 occ = occupancy(pos);
    while (pieces) {
        const int from = pop_lsb(pieces);
        u64 to = (type == KNIGHT ? KnightAttacks[from] : type == BISHOP ? bishop_attacks(from, occ) : rook_attacks(from, occ)) &
                 targets;
        while (to) {
            out->move = make_move_code(from, pop_lsb(to));
            out->score = 100;
            out->piece = u8(make_piece(side, type));
            out->captured = 0;
            out++;
        }
    }
    return out;
}

// Quiet moves that give check directly. Pawn pushes onto the seventh and last rank are left
// out: the capture stage has produced them already.
MoveEntry* gen_quiet_checks(const Position& pos, int side, MoveEntry* out) {
    const int king = pos.king_sq[side ^ 1];
    const u64 occ = occupancy(pos);
    const u64 empty = ~occ;
    const u64 pawn_targets = PawnAttacks[side ^ 1][king] & empty & ~PROMOTING_RANK[side] & RANKS_2_TO_7;
    MoveEntry* start = out;
    out = gen_pawn_pushes(pos, side, pawn_targets, occ, out);
    const u64 bishop_lines = bishop_attacks(king, occ) & empty;
    const u64 rook_lines = rook_attacks(king, occ) & empty;
    out = gen_piece_checks(pos, side, KNIGHT, KnightAttacks[king] & empty, out);
    out = gen_piece_checks(pos, side, BISHOP, bishop_lines, out);
    out = gen_piece_checks(pos, side, ROOK, rook_lines, out);
    out = gen_queen_moves(pos, side, bishop_lines | rook_lines, occ, out);
    for (MoveEntry* e = start; e < out; e++) e->score = 100;
    return out;
}

}  // namespace

int capture_score(const Position& pos, const MoveEntry& e, bool use_see) {
    const int victim = piece_type(e.captured) > KING - 1 ? 0 : piece_type(e.captured);
    const int mover = piece_type(e.piece);
    if (!use_see) return WINNING_CAPTURE[victim] - mover;
    const int gain = see_move(pos, piece_colour(e.piece), move_from(e.move), move_to(e.move));
    return gain >= -49 ? WINNING_CAPTURE[victim] - mover : LOSING_CAPTURE[victim];
}

int quiet_score(const SearchThread& t, int ply, const MoveEntry& e) {
    const SearchStackEntry& s = t.stack[ply];
    const Move m = e.move;
    int score = int(i64(t.history_table[table_index(e.piece, m)]) * 80 / HISTORY_MAX);
    const SearchStackEntry& prev = t.stack[ply - 1];
    const SearchStackEntry& prev2 = t.stack[ply - 2 >= 0 ? ply - 2 : 0];
    Move c1 = 0, c2 = 0, follow = 0;
    if (prev.current_move) {
        const int idx = table_index(prev.current_piece, prev.current_move);
        c1 = t.counter1[idx];
        c2 = t.counter2[idx];
    }
    if (ply >= 2 && prev2.current_move) follow = t.followup[table_index(prev2.current_piece, prev2.current_move)];
    if (!s.in_check) {
        if (m == s.killer1) score += 80;
        else if (m == s.killer2) score += 75;
        else if (m == c1) score += 65;
        else if (m == c2) score += 60;
        else if (m == follow) score += 50;
    } else {
        if (m == s.check_killer) score += 70;
        else if (m == c1) score += 65;
        else if (m == c2) score += 60;
    }
    return score;
}

void picker_start(SearchThread& t, int ply, int mode, Move hash_move) {
    SearchStackEntry& s = t.stack[ply];
    s.picker_state = u16(mode & ~15);
    s.hash_move = hash_move;
    s.list_start = t.move_buffer[ply];
    s.cursor = -1;
    s.list_end = 0;
}

MoveEntry* next_move(SearchThread& t, int ply) {
    SearchStackEntry& s = t.stack[ply];
    Position& pos = t.pos;
    MoveEntry* list = s.list_start;
    const int side = pos.side;
    s.cursor++;
    for (;;) {
        switch (s.picker_state & 15) {
            case STAGE_HASH:
                if ((s.picker_state & PICK_HASH) && s.hash_move) {
                    MoveEntry& e = list[0];
                    e.move = s.hash_move;
                    e.score = 255;
                    e.piece = pos.board[move_from(s.hash_move)];
                    e.captured = pos.board[move_to(s.hash_move)];
                    s.list_end = 1;
                    set_stage(s, STAGE_GENERATE);
                    return &list[0];
                }
                [[fallthrough]];
            case STAGE_GENERATE: {
                const bool main_mode = (s.picker_state & PICK_MAIN) != 0;
                MoveEntry* start = list + s.cursor;
                MoveEntry* end = gen_captures(pos, side, start, s.in_check ? s.checker : NO_SQUARE);
                end = gen_promotions(pos, side, main_mode ? 1 : 0, end);
                end = gen_seventh_pushes(pos, side, end);
                terminate(end);
                for (MoveEntry* e = start; e < end; e++) e->score = i16(capture_score(pos, *e, main_mode));
                s.list_end = int(end - list);
                set_stage(s, main_mode ? STAGE_GOOD_CAPTURES : STAGE_Q_CAPTURES);
                continue;
            }
            case STAGE_Q_CAPTURES:
                if (s.cursor < s.list_end) {
                    swap_entries(list, s.cursor, best_index(list, s.cursor, s.list_end));
                    return &list[s.cursor];
                }
                if (!(s.picker_state & PICK_QCHECKS)) return nullptr;
                set_stage(s, STAGE_Q_CHECKS);
                [[fallthrough]];
            case STAGE_Q_CHECKS: {
                MoveEntry* end = gen_quiet_checks(pos, side, list + s.list_end);
                terminate(end);
                s.list_end = int(end - list);
                set_stage(s, STAGE_REST);
                continue;
            }
            case STAGE_GOOD_CAPTURES:
                if (s.cursor < s.list_end) {
                    const int best = best_index(list, s.cursor, s.list_end);
                    if (list[best].score > 150) {
                        swap_entries(list, s.cursor, best);
                        return &list[s.cursor];
                    }
                }
                set_stage(s, STAGE_GEN_QUIETS);
                [[fallthrough]];
            case STAGE_GEN_QUIETS: {
                MoveEntry* start = list + s.list_end;
                MoveEntry* end = gen_quiets(pos, side, start, s.in_check ? s.checker : NO_SQUARE);
                terminate(end);
                for (MoveEntry* e = start; e < end; e++) e->score = i16(ply > 1 ? quiet_score(t, ply, *e) : 0);
                s.list_end = int(end - list);
                set_stage(s, STAGE_QUIETS);
                [[fallthrough]];
            }
            case STAGE_QUIETS:
                if (s.cursor >= s.list_end) return nullptr;
                swap_entries(list, s.cursor, best_index(list, s.cursor, s.list_end));
                if (list[s.cursor].score <= 2) set_stage(s, STAGE_REST);
                return &list[s.cursor];
            case STAGE_REST:
            default:
                if (s.cursor >= s.list_end) return nullptr;
                return &list[s.cursor];
        }
    }
}

void reset_ordering(SearchThread& t) {
    for (int i = 0; i < 1024; i++) {
        t.history_table[i] = HISTORY_START;
        t.counter1[i] = t.counter2[i] = t.followup[i] = 0;
    }
    for (int p = 0; p < STACK_SIZE; p++) {
        SearchStackEntry& s = t.stack[p];
        s.hash_move = s.killer1 = s.killer2 = s.check_killer = 0;
    }
}

void update_quiet_history(SearchThread& t, int ply, int depth, const MoveEntry& e, bool raised_alpha) {
    if (depth <= 0) return;
    const int b = depth < 16 ? depth : 16;
    i32& h = t.history_table[table_index(e.piece, e.move)];
    if (!raised_alpha) {
        h -= b * h / 512;
        return;
    }
    h += b * (HISTORY_MAX - h) / 256;
    SearchStackEntry& s = t.stack[ply];
    if (!s.in_check) {
        if (e.move != s.killer1) {
            s.killer2 = s.killer1;
            s.killer1 = e.move;
        }
    } else {
        s.check_killer = e.move;
    }
    const SearchStackEntry& prev = t.stack[ply - 1];
    if (prev.current_move) {
        const int idx = table_index(prev.current_piece, prev.current_move);
        if (t.counter1[idx] != e.move) {
            t.counter2[idx] = t.counter1[idx];
            t.counter1[idx] = e.move;
        }
        if (ply >= 2) {
            const SearchStackEntry& prev2 = t.stack[ply - 2];
            if (prev2.current_move) t.followup[table_index(prev2.current_piece, prev2.current_move)] = e.move;
        }
    }
}
