// The table of named hand-crafted evaluation parameters. Every weight carries a middle-game and an
// end-game value, both as a packed ScorePair (eg * 65536 + mg, summed with plain integer addition)
// and as floats for terms scaled by a fractional factor. The evaluation reaches the entries only
// through the pointer arrays below, which registration fills.
#pragma once

#include "core/types.h"

using ScorePair = i32;

constexpr ScorePair make_score(int mg, int eg) { return ScorePair(u32(eg) * 65536u + u32(mg)); }
// The middle-game half; the end-game half by a plain arithmetic shift, so a negative
// middle-game half lowers it by one (the packing's own rounding).
constexpr int score_mg(ScorePair s) { return int(i16(u32(s) & 0xFFFFu)); }
constexpr int score_eg(ScorePair s) { return int(s >> 16); }
// The two halves blended by the game phase (1 = middle game), truncated toward zero.
inline int taper_score(ScorePair s, float phase) {
    return int((1.0 - double(phase)) * score_eg(s) + double(float(float(score_mg(s)) * phase)));
}

struct HceParam {
    ScorePair score;
    float mg;
    float eg;
    char name[24];
};

// Room for the 651 entries the evaluation registers, with a little to spare.
constexpr int PARAM_CAPACITY = 700;

struct ParamTable {
    HceParam entries[PARAM_CAPACITY];
    int count;
    int first_pst;  // index of the first entry whose name contains "PST_"; 0 while there is none
    int cursor;     // load position of load_params_text
};

// Scalar parameters, in table order.
enum HceScalar : int {
    P_MTL_PAWN, P_MTL_KNIGHT, P_MTL_BISHOP, P_MTL_ROOK, P_MTL_QUEEN, P_BISHOP_PAIR,
    P_KNIGHT_MOBILITY, P_BISHOP_MOBILITY, P_ROOK_MOBILITY, P_QUEEN_MOBILITY,
    P_PPAWN_BASE, P_PPAWN_MOBILE, P_PPAWN_FREE, P_PPAWN_CONNECTED, P_PPAWN_FKPROX, P_PPAWN_EKPROX,
    P_PPAWN_CANDIDATE, P_PAWN_ISOLATED, P_PAWN_WEAK, P_PAWN_BLOCKED, P_PAWN_DOUBLED,
    P_KNIGHT_OUTPOST, P_BISHOP_INFILTRATION, P_BISHOP_OUTPOST, P_BISHOP_RAMPAWNS,
    P_ROOK_INFILTRATION, P_ROOK_OPENFILE, P_ROOK_7TH, P_PAWN_SHIELD, P_ENEMY_CHECKS,
    P_KING_DANGER1, P_KING_DANGER2, P_KING_TRAPPED, P_KING_PAWN_DIST, P_HUNG_PAWN,
    P_ATTACKED_PAWN, P_HUNG_MINOR, P_ATTACKED_MINOR, P_HUNG_MAJOR, P_PPUSH_THREAT,
    P_PINNED_PIECE, P_MTL_IMBALANCE, P_STM_BONUS,
    HCE_SCALAR_COUNT
};

// Piece-square tables, in table order. All are seen from White's side with the owner's king on
// files e-h; the evaluation maps each square into that frame.
enum HcePst : int {
    PST_P1,  // pawns, both kings on the same wing
    PST_P2,  // pawns, kings on opposite wings
    PST_CP,  // extra for a pawn with a neighbour beside it
    PST_DP,  // extra for a pawn defended by a pawn
    PST_N, PST_B, PST_R, PST_Q, PST_K,
    HCE_PST_COUNT
};

constexpr int TTUNE_COUNT = 32;
constexpr int HCE_PARAM_COUNT = HCE_SCALAR_COUNT + HCE_PST_COUNT * 64 + TTUNE_COUNT;  // 651

extern ParamTable param_table;
extern HceParam* hce_scalar[HCE_SCALAR_COUNT];
extern HceParam* hce_pst[HCE_PST_COUNT][64];
extern HceParam* hce_ttune[TTUNE_COUNT];

extern const char* const HceScalarNames[HCE_SCALAR_COUNT];
extern const char* const HcePstNames[HCE_PST_COUNT];

// The compiled-in values, as CSV text (see params_text.cpp).
extern const char DefaultParamText[];
extern const int DefaultParamTextLength;

// Appends an entry and stores its address in *slot. Returns the entry's index, or -1 when the
// table is full (the slot is then left untouched).
int register_param(HceParam** slot, const char* name, int mg, int eg);
int register_param(HceParam** slot, const char* name);

// Empties the table and registers every parameter in table order with provisional values.
void register_hce_params();

// Overwrites the values of the table from CSV text, matching lines to entries by position;
// a name that differs from the entry's prints "error <line name>  <entry name>".
void load_params_text(const char* text);
// Loads DefaultParamText (registering the table first if it is still empty).
void load_default_params();

inline const HceParam& param(HceScalar p) { return *hce_scalar[p]; }
inline const HceParam& pst(HcePst t, int sq) { return *hce_pst[t][sq]; }
