// The 40-byte training record: a position (board nibbles, castling rights and side, en-passant
// square) with three labels (the game result as a score, the "ce" score, the search score).
// Encoding and decoding are pure functions over the bytes, little-endian, field by field.
#pragma once

#include "board/position.h"
#include "core/types.h"

constexpr int TRAINING_RECORD_BYTES = 40;
constexpr int TRAINING_SCORE_LIMIT = 3000;
// Records a training file may hold at most.
constexpr u64 TRAINING_RECORD_LIMIT = 449999999;
// Results at the ends of the scale are pulled inside it before they become scores.
constexpr double TRAINING_RESULT_EPSILON = 1e-6;

// Byte offsets of the fields.
constexpr int REC_BOARD = 0;
constexpr int REC_FLAGS = 32;   // castling rights (low nibble), side to move (high nibble)
constexpr int REC_EP = 33;
constexpr int REC_RESULT = 34;
constexpr int REC_CE = 36;
constexpr int REC_SC = 38;

struct TrainingLabels {
    int result_score;  // the game result as a score, +-3000
    int ce;            // the score given with the position
    int sc;            // the search score, +-3000
};

// W(s) = 1 / (1 + e^(-0.006 s)), in single precision.
float win_probability(float score);
// The score of a result r in (0, 1): trunc(-166.66667 ln(1/r - 1)), clamped to +-3000.
int result_to_score(double r);
// The training target: 0.65 W(sc) + 0.35 W(result score).
float training_target(const TrainingLabels& labels);

// Writes the record of a position and its labels (sc clamped to +-3000) into out[40].
void encode_training_record(const Position& pos, const TrainingLabels& labels, u8* out);
// Reads the labels of a record.
TrainingLabels record_labels(const u8* record);

// Why a record does not hold a usable position.
enum RecordFault : int {
    RECORD_OK = 0,
    RECORD_BAD_PIECE = 1,    // a nibble that is no piece code
    RECORD_BAD_FLAGS = 2,    // side to move other than 0 or 1
    RECORD_BAD_EP = 3,       // en-passant byte that no double push leaves
    RECORD_BAD_POSITION = 4, // kings, pawns on the back ranks, the side not to move in check...
};
// Sets `pos` from the record; returns RECORD_OK or the fault (pos is then unspecified).
int decode_record_position(const u8* record, Position& pos);
