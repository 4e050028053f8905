// Pawn terms: the pawn structure (cached per thread in the pawn hash), blocked pawns, passed
// pawns and candidate passed pawns.
#include <algorithm>

#include "board/see.h"
#include "eval/hce_internal.h"

namespace hce {

namespace {

// The pawn terms depend on the wings of the kings (piece-square frame and table choice), so
// those go into the key.
constexpr u64 WHITE_KING_QUEEN_SIDE_KEY = 0x6C43EB52Aull;
constexpr u64 BLACK_KING_QUEEN_SIDE_KEY = 0x3E2571CB4ull;

ScorePair pawn_structure(const Context& cx, int c) {
    u64 own = cx.pawns[c];
    int frame = cx.sc.frame[c];
    bool same_wing = ((cx.pos.king_sq[WHITE] & 7) < 4) == ((cx.pos.king_sq[BLACK] & 7) < 4);
    HcePst table = same_wing ? PST_P1 : PST_P2;
    u64 defended = cx.sc.pawn_attacks[c];
    u32 sum = 0;
    int isolated = 0, weak = 0;
    for (u64 b = own; b;) {
        int sq = pop_lsb(b);
        int index = sq ^ frame;
        sum += u32(param(P_MTL_PAWN).score) + u32(pst(table, index).score);
        if (defended & square_bit(sq)) sum += u32(pst(PST_DP, index).score);
        if (defended & forward(c, square_bit(sq))) sum += u32(pst(PST_CP, index).score);
        u64 neighbour_files = sideways(FILE_A << (sq & 7));
        if (!(own & neighbour_files)) {
            isolated++;
        } else {
            // No neighbour level with it or behind it: it cannot be protected by a pawn.
            u64 level_or_behind = sideways(c == WHITE ? fill_south(square_bit(sq)) : fill_north(square_bit(sq)));
            if (!(own & level_or_behind)) weak++;
        }
    }
    int doubled = popcount(own & cx.front_span[c]);
    sum += u32(param(P_PAWN_ISOLATED).score) * u32(isolated);
    sum += u32(param(P_PAWN_WEAK).score) * u32(weak);
    sum += u32(param(P_PAWN_DOUBLED).score) * u32(doubled);
    return ScorePair(sum);
}

}  // namespace

void score_pawn_structure(Context& cx, EvalState& es) {
    const Position& pos = cx.pos;
    u64 key = pos.pawn_key;
    if ((pos.king_sq[WHITE] & 7) < 4) key ^= WHITE_KING_QUEEN_SIDE_KEY;
    if ((pos.king_sq[BLACK] & 7) < 4) key ^= BLACK_KING_QUEEN_SIDE_KEY;
    PawnHashEntry& e = es.pawn_hash[key & (PAWN_HASH_SIZE - 1)];
    es.pawn_probes++;
    ScorePair white, black;
    if (e.key == key && cx.sc.level >= 2) {
        es.pawn_hits++;
        white = ScorePair(u32(e.scores));
        black = ScorePair(u32(e.scores >> 32));
    } else {
        white = pawn_structure(cx, WHITE);
        black = pawn_structure(cx, BLACK);
        e.key = key;
        e.scores = u64(u32(white)) | (u64(u32(black)) << 32);
    }
    cx.add_pair(WHITE, white);
    cx.add_pair(BLACK, black);

    for (int c = 0; c < 2; c++) {
        int blocked = popcount(forward(c, cx.pawns[c]) & cx.occupied);
        cx.add(c, P_PAWN_BLOCKED, blocked);
    }
}

namespace {

void score_passer(Context& cx, int c, int sq) {
    const Position& pos = cx.pos;
    const EvalScratch& sc = cx.sc;
    int them = c ^ 1, dir = c == WHITE ? 8 : -8;
    int rr = relative_rank(c, sq);
    u64 front = ahead(c, sq);
    if (front & sc.all_pawns) return;  // the rear pawn of a doubled pair

    int push = sq + dir;
    if (rr == 1 && pos.board[push] == 0) push += dir;
    bool push_empty = pos.board[push] == 0;
    bool push_safe = push_empty && see_move(pos, c, sq, push) >= 0;
    bool free_path = push_safe && !(front & sc.by_pawns_minors[them]) &&
                     !(front & (cx.own[them] | sc.attacks[them]) & (~sc.attacks[c] | sc.double_attacks[them]));
    HceScalar kind = free_path ? P_PPAWN_FREE : push_safe ? P_PPAWN_MOBILE : P_PPAWN_BASE;
    cx.add_scaled(c, kind, PassedSize[rr]);
    if (free_path) cx.sc.free_passers |= square_bit(sq);

    int target = rr < 6 ? push + dir : push;
    int own_king = pos.king_sq[c];
    int fk = own_king == target ? -1 : std::min(6, king_distance(own_king, target)) - 2;
    int ek = std::min(6, king_distance(pos.king_sq[them], target)) - 2;
    float k = PassedProximity[rr] * 0.25f;
    cx.add_scaled(c, P_PPAWN_FKPROX, float(fk) * k);
    cx.add_scaled(c, P_PPAWN_EKPROX, float(ek) * k);
    if (sc.pawn_attacks[c] & square_bit(push)) cx.add_scaled(c, P_PPAWN_CONNECTED, PassedSupport[rr]);
}

void score_candidate(Context& cx, int c, int sq) {
    const EvalScratch& sc = cx.sc;
    int them = c ^ 1;
    int rr = relative_rank(c, sq);
    u64 front = ahead(c, sq);
    if (rr < 3 || (front & cx.occupied)) return;
    int helpers = popcount(sideways(square_bit(sq)) & cx.pawns[c]);
    u64 attacked = front & sc.attacks[them];
    int stoppers = popcount(attacked) + ((attacked & sc.double_attacks[them]) ? 1 : 0);
    if (stoppers > helpers) return;
    int last_step = c == WHITE ? 48 + (sq & 7) : 8 + (sq & 7);
    int distance = std::min(5, king_distance(cx.pos.king_sq[them], last_step));
    cx.add_scaled(c, P_PPAWN_CANDIDATE, CandidateKing[distance] * CandidateRank[rr]);
}

}  // namespace

void score_passed_pawns(Context& cx) {
    for (u64 b = cx.sc.passed; b;) {
        int sq = pop_lsb(b);
        int c = piece_colour(cx.pos.board[sq]);
        int rr = relative_rank(c, sq);
        if (rr == 0 || rr == 7) continue;  // only in malformed positions
        score_passer(cx, c, sq);
    }
    for (u64 b = cx.open_pawns[WHITE] | cx.open_pawns[BLACK]; b;) {
        int sq = pop_lsb(b);
        int c = piece_colour(cx.pos.board[sq]);
        if (relative_rank(c, sq) == 7) continue;
        score_candidate(cx, c, sq);
    }
}

}  // namespace hce
