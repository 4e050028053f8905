// Constant tables of the Syzygy index encoding, built once from their construction rules.
#pragma once

#include "core/types.h"

// Binomial coefficients C(n, k) for k = 0..6, n = 0..63, indexed [k][n].
extern u64 TbBinomial[7][64];
// Number of the a1-d1-d4 triangle square each square is carried to by the board symmetries.
extern u8 TbTriangle[64];
// Squares below the a1-h8 diagonal numbered 0..27 (squares above carry their mirror's number).
extern u8 TbLower[64];
// Rank of squares on the a1-h8 diagonal (8 + rank on the h1-a8 diagonal, unused).
extern u8 TbDiag[64];
// Rank of a king pair: first king on the triangle square numbered t, second king on s; -1 invalid.
extern i16 TbKingPairIndex[10][64];
// File-wise pawn order: edge files first, rank 2 upwards inside a file (ranks 2-7 only).
extern u8 TbFlap[64];
// Pawn twist: 47 down to 0 in flap order, each square of files a-d followed by its mirror.
extern u8 TbPawnTwist[64];
// Leading-pawn index for n = 1..6 leading pawns, by the flap value of the first leading pawn.
extern u64 TbLeadIndex[7][24];
// Number of placements of n leading pawns whose first pawn stands on file f (a-d).
extern u64 TbLeadSize[7][4];
// Folds files e-h onto d-a.
constexpr int TB_FILE_TO_FILE[8] = {0, 1, 2, 3, 3, 2, 1, 0};

// Builds every table above; idempotent and cheap.
void tb_init_constants();
