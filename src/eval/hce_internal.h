// Shared pieces of the hand-crafted evaluation: the per-call context, bitboard helpers, the
// fractional curves and the term accumulation. Only the hce*.cpp files include this.
#pragma once

#include <array>

#include "board/bitboard.h"
#include "board/position.h"
#include "board/tables.h"
#include "eval/eval_state.h"
#include "eval/params.h"

namespace hce {

constexpr u64 NOT_FILE_A = ~FILE_A;
constexpr u64 NOT_FILE_H = ~FILE_H;
constexpr u64 CENTRE = 0x00003C3C3C3C0000ull;        // c3-f6
constexpr u64 FILES_A_TO_D = 0x0F0F0F0F0F0F0F0Full;

// Fractional curves.
inline constexpr float KnightMobility[9] = {-0.53f, -0.16f, 0.0f, 0.12f, 0.22f, 0.31f, 0.39f, 0.47f, 0.47f};
inline constexpr float SliderMobility[15] = {-0.47f, -0.14f, 0.0f, 0.11f, 0.20f, 0.27f, 0.35f, 0.41f,
                                             0.47f, 0.53f, 0.53f, 0.53f, 0.53f, 0.53f, 0.53f};
inline constexpr float QueenMobility[30] = {-0.47f, -0.24f, -0.14f, -0.06f, 0.0f, 0.06f, 0.11f, 0.15f,
                                            0.20f, 0.24f, 0.27f, 0.31f, 0.35f, 0.38f, 0.41f, 0.41f,
                                            0.41f, 0.41f, 0.41f, 0.41f, 0.41f, 0.41f, 0.41f, 0.41f,
                                            0.41f, 0.41f, 0.41f, 0.41f, 0.41f, 0.41f};
inline constexpr float PassedSize[8] = {0.0f, 0.09f, 0.09f, 0.24f, 0.40f, 0.64f, 1.0f, 0.0f};
inline constexpr float PassedProximity[8] = {0.0f, 0.2f, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f, 0.0f};
inline constexpr float PassedSupport[8] = {0.0f, 0.0f, 0.0f, 0.4f, 0.8f, 1.0f, 0.0f, 0.0f};
inline constexpr float CandidateRank[8] = {0.0f, 0.0f, 0.0f, 0.4f, 0.7f, 1.0f, 0.0f, 0.0f};
inline constexpr float CandidateKing[6] = {0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f};
inline constexpr float KingPawnRing[8] = {0.0f, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f, 1.0f, 1.0f};

inline int king_distance(int a, int b) {
    int df = (a & 7) - (b & 7), dr = (a >> 3) - (b >> 3);
    df = df < 0 ? -df : df;
    dr = dr < 0 ? -dr : dr;
    return df > dr ? df : dr;
}

// Squares within Chebyshev distance d (0-7) of a square.
constexpr std::array<std::array<u64, 8>, 64> make_distance_masks() {
    std::array<std::array<u64, 8>, 64> t{};
    for (int sq = 0; sq < 64; sq++)
        for (int to = 0; to < 64; to++) {
            int df = (sq & 7) - (to & 7), dr = (sq >> 3) - (to >> 3);
            df = df < 0 ? -df : df;
            dr = dr < 0 ? -dr : dr;
            int d = df > dr ? df : dr;
            for (int k = d; k < 8; k++) t[sq][k] |= u64(1) << to;
        }
    return t;
}
inline constexpr std::array<std::array<u64, 8>, 64> WithinDistance = make_distance_masks();

inline u64 fill_north(u64 b) {
    b |= b << 8;
    b |= b << 16;
    return b | (b << 32);
}
inline u64 fill_south(u64 b) {
    b |= b >> 8;
    b |= b >> 16;
    return b | (b >> 32);
}
inline u64 forward(int colour, u64 b) { return colour == WHITE ? b << 8 : b >> 8; }
inline u64 pawn_attacks_left(int colour, u64 p) { return colour == WHITE ? (p & NOT_FILE_A) << 7 : (p & NOT_FILE_A) >> 9; }
inline u64 pawn_attacks_right(int colour, u64 p) { return colour == WHITE ? (p & NOT_FILE_H) << 9 : (p & NOT_FILE_H) >> 7; }
inline u64 pawn_attacks_all(int colour, u64 p) { return pawn_attacks_left(colour, p) | pawn_attacks_right(colour, p); }
inline u64 sideways(u64 b) { return ((b & NOT_FILE_A) >> 1) | ((b & NOT_FILE_H) << 1); }
// The squares ahead of a square on its file, towards the colour's promotion rank.
inline u64 ahead(int colour, int sq) { return Ray[colour == WHITE ? DIR_N : DIR_S][sq]; }
inline int relative_rank(int colour, int sq) { return colour == WHITE ? sq >> 3 : 7 - (sq >> 3); }

// Everything one call of the evaluation derives before and while scoring.
struct Context {
    const Position& pos;
    EvalScratch& sc;
    u32 acc[2];          // ScorePair accumulators, summed modulo 2^32
    u32 mark[2];         // accumulator values at the start of the current trace group
    u64 occupied;
    u64 own[2];          // all pieces of each colour
    u64 pawns[2];
    u64 front_span[2];   // squares ahead of the colour's pawns on their files
    u64 attack_span[2];  // front span moved one file to each side
    u64 open_pawns[2];   // no enemy pawn ahead on the file, but not passed

    Context(const Position& p, EvalScratch& s) : pos(p), sc(s) {}

    u64 bb(int colour, int type) const { return pos.pieces[make_piece(colour, type)]; }
    void add_pair(int colour, ScorePair v) { acc[colour] += u32(v); }
    void add(int colour, HceScalar p, int times = 1) { acc[colour] += u32(param(p).score) * u32(times); }
    // A parameter scaled by a fraction: each half truncated toward zero on its own.
    void add_scaled(int colour, const HceParam& p, float f) {
        acc[colour] += u32(make_score(int(p.mg * f), int(p.eg * f)));
    }
    void add_scaled(int colour, HceScalar p, float f) { add_scaled(colour, param(p), f); }
    void end_group(TraceGroup g) {
        if (!sc.recording) return;
        for (int c = 0; c < 2; c++) {
            sc.deltas[c][g] = ScorePair(acc[c] - mark[c]);
            mark[c] = acc[c];
        }
    }
};

// The steps of the evaluation, in the order evaluate_hce runs them.
void score_pawn_structure(Context& cx, EvalState& es);  // pawn hash and blocked pawns
void score_knights(Context& cx);
void score_bishops(Context& cx);
void score_rooks(Context& cx);
void score_queens(Context& cx);
void score_kings(Context& cx);
void score_passed_pawns(Context& cx);
void score_threats(Context& cx);

}  // namespace hce
