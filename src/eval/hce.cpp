// The hand-crafted evaluation: set-up of the attack maps and pawn spans, the scoring steps in
// order, tapering between middle game and end game, and the drawish-material scale factor.
#include <algorithm>
#include <cstdlib>

#include "eval/eval.h"
#include "eval/hce_internal.h"

using namespace hce;

namespace {

constexpr u64 WHITE_OUTPOST_AREA = 0x00007E7E7E000000ull;  // b4-g6
constexpr u64 BLACK_OUTPOST_AREA = 0x0000007E7E7E0000ull;  // b3-g5

int count(const Position& pos, int colour, int type) { return material_count(pos.material[colour], type); }

float game_phase(const Position& pos) {
    int units = 0;
    for (int c = 0; c < 2; c++)
        units += count(pos, c, PAWN) + 3 * (count(pos, c, KNIGHT) + count(pos, c, BISHOP)) +
                 5 * count(pos, c, ROOK) + 10 * count(pos, c, QUEEN);
    return float(std::min(1.0, 0.017 * units));
}

// The 3x3 block around the king, its centre kept off the edge so that it always has nine squares.
u64 king_zone(int king) {
    int file = std::clamp(king & 7, 1, 6), rank = std::clamp(king >> 3, 1, 6);
    int centre = make_square(file, rank);
    return KingAttacks[centre] | square_bit(centre);
}

void set_up(Context& cx) {
    const Position& pos = cx.pos;
    EvalScratch& sc = cx.sc;
    cx.occupied = occupancy(pos);
    for (int c = 0; c < 2; c++) {
        cx.own[c] = pos.pieces[make_piece(c, 0)];
        cx.pawns[c] = cx.bb(c, PAWN);
        cx.acc[c] = cx.mark[c] = 0;
        int king = pos.king_sq[c];
        sc.king_zone[c] = king_zone(king);
        u64 left = pawn_attacks_left(c, cx.pawns[c]), right = pawn_attacks_right(c, cx.pawns[c]);
        sc.pawn_attacks[c] = left | right;
        sc.king_attacks[c] = KingAttacks[king];
        sc.attacks[c] = sc.pawn_attacks[c] | sc.king_attacks[c];
        sc.double_attacks[c] = (sc.pawn_attacks[c] & sc.king_attacks[c]) | (left & right);
        sc.knight_attacks[c] = sc.bishop_attacks[c] = sc.rook_attacks[c] = sc.queen_attacks[c] = 0;
        sc.by_pawns_minors[c] = sc.by_pawns_minors_rooks[c] = sc.by_non_king[c] = 0;
        bool queen_side = (king & 7) < 4;
        sc.frame[c] = u8(c == WHITE ? (queen_side ? 7 : 0) : (queen_side ? 63 : 56));
        for (int g = 0; g < TG_COUNT; g++) sc.deltas[c][g] = 0;
    }
    cx.front_span[WHITE] = fill_north(cx.pawns[WHITE] << 8);
    cx.front_span[BLACK] = fill_south(cx.pawns[BLACK] >> 8);
    for (int c = 0; c < 2; c++) cx.attack_span[c] = sideways(cx.front_span[c]);
    sc.outposts[WHITE] = WHITE_OUTPOST_AREA & ~cx.attack_span[BLACK];
    sc.outposts[BLACK] = BLACK_OUTPOST_AREA & ~cx.attack_span[WHITE];
    sc.all_pawns = cx.pawns[WHITE] | cx.pawns[BLACK];
    sc.passed = 0;
    for (int c = 0; c < 2; c++) {
        int them = c ^ 1;
        u64 unopposed = cx.pawns[c] & ~cx.front_span[them];
        sc.passed |= unopposed & ~cx.attack_span[them];
        cx.open_pawns[c] = unopposed & cx.attack_span[them];
        // Enemy pawns about to step into the king zone.
        sc.king_attack[c] = 2 * popcount(forward(them, cx.pawns[them]) & sc.king_zone[c]);
    }
    sc.hung = sc.free_passers = 0;
}

// Drawish material: the winning side's score is cut down (see the comments per case).
float scale_factor(const Position& pos, int score) {
    int m[2], pawns[2];
    for (int c = 0; c < 2; c++) {
        m[c] = 3 * (count(pos, c, KNIGHT) + count(pos, c, BISHOP)) + 5 * count(pos, c, ROOK) + 9 * count(pos, c, QUEEN);
        pawns[c] = count(pos, c, PAWN);
    }
    if (m[0] > 8 || m[1] > 8 || std::abs(m[0] - m[1]) > 3) return 1.0f;
    int s = score > 0 ? WHITE : BLACK, w = s ^ 1;

    // Opposite-coloured bishops with material nearly level halve the winning chances.
    u64 wb = pieces_of(pos, WHITE, BISHOP), bb = pieces_of(pos, BLACK, BISHOP);
    bool opposite = count(pos, WHITE, BISHOP) == 1 && count(pos, BLACK, BISHOP) == 1 &&
                    std::abs((pawns[0] - pawns[1]) + (m[0] - m[1])) <= 2 &&
                    ((wb & LIGHT_SQUARES) != 0) != ((bb & LIGHT_SQUARES) != 0);
    float without_pawns = opposite ? 0.325f : 0.65f, with_pawns = opposite ? 0.5f : 1.0f;

    bool any_rook = count(pos, WHITE, ROOK) + count(pos, BLACK, ROOK) > 0;
    float sf;
    if (count(pos, s, KNIGHT) + count(pos, s, ROOK) > 0) {
        if (any_rook) sf = pawns[s] ? 1.0f : 0.65f;
        else sf = pawns[s] ? with_pawns : without_pawns;
    } else if (pawns[s] == 0) {
        bool one_bishop_each = count(pos, WHITE, BISHOP) == 1 && count(pos, BLACK, BISHOP) == 1;
        sf = (count(pos, w, ROOK) > 0 || !one_bishop_each) ? 0.65f : without_pawns;
    } else {
        // A rook pawn whose promotion square the bishop cannot cover, with the defending king there.
        sf = count(pos, w, ROOK) > 0 ? 1.0f : with_pawns;
        u64 own_pawns = pieces_of(pos, s, PAWN), own_bishops = pieces_of(pos, s, BISHOP);
        for (int file : {0, 7}) {
            if (own_pawns & ~(FILE_A << file)) continue;
            int queening = s == WHITE ? 56 + file : file;
            u64 colour = (LIGHT_SQUARES & square_bit(queening)) ? LIGHT_SQUARES : DARK_SQUARES;
            if (!(own_bishops & colour) && king_distance(pos.king_sq[w], queening) <= 1) sf = 0.05f;
        }
    }
    // A single pawn is hard to convert when the defender can give up a minor for it.
    if (pawns[s] == 1 && m[s] <= m[w] && count(pos, w, KNIGHT) + count(pos, w, BISHOP) > 0) sf *= 0.75f;
    return sf;
}

}  // namespace

int evaluate_hce(Position& pos, EvalState& es) {
    if (pos.king_sq[WHITE] >= 64 || pos.king_sq[BLACK] >= 64) return 0;
    EvalScratch& sc = es.scratch;
    Context cx(pos, sc);
    sc.phase = game_phase(pos);
    set_up(cx);

    score_pawn_structure(cx, es);
    cx.end_group(TG_PAWNS);
    score_knights(cx);
    cx.end_group(TG_KNIGHTS);
    score_bishops(cx);
    cx.end_group(TG_BISHOPS);
    for (int c = 0; c < 2; c++)
        sc.by_pawns_minors[c] = sc.pawn_attacks[c] | sc.knight_attacks[c] | sc.bishop_attacks[c];
    score_rooks(cx);
    cx.end_group(TG_ROOKS);
    for (int c = 0; c < 2; c++) sc.by_pawns_minors_rooks[c] = sc.by_pawns_minors[c] | sc.rook_attacks[c];
    score_queens(cx);
    cx.end_group(TG_QUEENS);
    for (int c = 0; c < 2; c++) sc.by_non_king[c] = sc.by_pawns_minors_rooks[c] | sc.queen_attacks[c];
    score_kings(cx);
    cx.end_group(TG_KING);
    score_passed_pawns(cx);
    cx.end_group(TG_PASSED);
    score_threats(cx);
    cx.end_group(TG_THREATS);
    cx.add(pos.side, P_STM_BONUS);
    cx.end_group(TG_SPECIAL);

    sc.acc[WHITE] = ScorePair(cx.acc[WHITE]);
    sc.acc[BLACK] = ScorePair(cx.acc[BLACK]);

    int s = taper_score(ScorePair(cx.acc[WHITE] - cx.acc[BLACK]), sc.phase);
    if (s == 0) return 0;
    int result = int(float(s) * scale_factor(pos, s));
    return pos.side == WHITE ? result : -result;
}
