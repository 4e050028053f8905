// King terms: piece-square value, pawn shield, safe enemy checks and the attack-unit danger
// score, a trapped king, and in pawn endings the king's distance to the pawns' paths.
#include "eval/hce_internal.h"

namespace hce {

namespace {

void score_king_safety(Context& cx, int c) {
    const Position& pos = cx.pos;
    EvalScratch& sc = cx.sc;
    int them = c ^ 1;
    int king = pos.king_sq[c];
    u64 zone = sc.king_zone[c];

    // Shield: squares of the zone moved one rank forward that hold an own pawn or lie one or two
    // squares in front of one.
    u64 own_pawns = cx.pawns[c];
    u64 cover = own_pawns | forward(c, own_pawns) | forward(c, forward(c, own_pawns));
    int shield = popcount(forward(c, zone) & cover);
    if (shield > 9) shield = 9;
    cx.add_scaled(c, P_PAWN_SHIELD, float((shield - 9) * 0.111));

    // Squares from which the enemy can check without losing the checking piece at once.
    u64 safe = ~cx.own[them] & ~(sc.attacks[c] & ~sc.double_attacks[them]);
    u64 knight_checks = KnightAttacks[king] & safe;
    u64 bishop_checks = bishop_attacks(king, cx.occupied) & safe;
    u64 rook_checks = rook_attacks(king, cx.occupied) & safe;
    u64 queen_reach = sc.queen_attacks[them] & ~sc.by_non_king[c];
    int queen_checks = ((queen_reach & bishop_checks) ? 1 : 0) + ((queen_reach & rook_checks) ? 1 : 0);

    u64 bishop_free = sc.bishop_attacks[them] & ~sc.by_pawns_minors[c];
    u64 knight_free = sc.knight_attacks[them] & ~sc.by_pawns_minors[c];
    u64 rook_free = sc.rook_attacks[them] & ~sc.by_pawns_minors_rooks[c];
    int checks = popcount((bishop_checks & bishop_free) | (rook_checks & rook_free) | (knight_checks & knight_free)) +
                 queen_checks;
    cx.add(c, P_ENEMY_CHECKS, checks);

    int units = sc.king_attack[c] - shield + popcount(zone & sc.pawn_attacks[them] & ~sc.pawn_attacks[c]) - 2 +
                3 * popcount((bishop_checks | zone) & bishop_free) + 4 * popcount((knight_checks | zone) & knight_free) +
                4 * popcount((rook_checks | zone) & rook_free) + 5 * (queen_checks + popcount(zone & queen_reach));
    if (units > 0) {
        float danger = float(double(units) * units * 0.0015);
        cx.add_scaled(c, cx.bb(them, QUEEN) ? P_KING_DANGER1 : P_KING_DANGER2, danger);
    }
}

}  // namespace

void score_kings(Context& cx) {
    const Position& pos = cx.pos;
    EvalScratch& sc = cx.sc;
    // Every square ahead of a pawn of either colour on its file.
    u64 paths = cx.front_span[WHITE] | cx.front_span[BLACK];
    for (int c = 0; c < 2; c++) {
        int them = c ^ 1;
        int king = pos.king_sq[c];
        cx.add_pair(c, pst(PST_K, king ^ sc.frame[c]).score);
        if (cx.bb(them, ROOK) | cx.bb(them, QUEEN)) score_king_safety(cx, c);

        if (!(KingAttacks[king] & ~cx.own[c] & ~sc.attacks[them])) cx.add(c, P_KING_TRAPPED);

        // Far from every pawn path: the king is out of play in a pawn ending.
        if (sc.all_pawns && !(WithinDistance[king][1] & paths)) {
            for (int n = 1; n + 1 < 8; n++)
                if (WithinDistance[king][n + 1] & paths) {
                    cx.add_scaled(c, P_KING_PAWN_DIST, KingPawnRing[n]);
                    break;
                }
        }
    }
}

}  // namespace hce
