#include "tools/training_record.h"

#include <cmath>
#include <cstring>

#include "board/fen.h"
#include "board/validate.h"

namespace {

constexpr float WIN_SLOPE = 0.006f;
constexpr double RESULT_SCALE = 166.66667;
constexpr float SEARCH_WEIGHT = 0.65f;
constexpr float RESULT_WEIGHT = 0.35f;

void put16(u8* p, int v) {
    const u16 u = u16(i16(v));
    p[0] = u8(u & 0xFF);
    p[1] = u8(u >> 8);
}
int get16(const u8* p) { return int(i16(u16(p[0] | (p[1] << 8)))); }

int clamp_score(int v) { return v > TRAINING_SCORE_LIMIT ? TRAINING_SCORE_LIMIT : v < -TRAINING_SCORE_LIMIT ? -TRAINING_SCORE_LIMIT : v; }

bool valid_piece_code(int code) { return code == 0 || ((code & 7) >= PAWN && (code & 7) <= KING); }

}  // namespace

float win_probability(float score) { return 1.0f / (1.0f + std::exp(-WIN_SLOPE * score)); }

int result_to_score(double r) {
    if (r <= 0.0) return -TRAINING_SCORE_LIMIT;
    if (r >= 1.0) return TRAINING_SCORE_LIMIT;
    const double s = -RESULT_SCALE * std::log(1.0 / r - 1.0);
    if (s >= TRAINING_SCORE_LIMIT) return TRAINING_SCORE_LIMIT;
    if (s <= -TRAINING_SCORE_LIMIT) return -TRAINING_SCORE_LIMIT;
    return int(s);  // truncation toward zero
}

float training_target(const TrainingLabels& l) {
    return SEARCH_WEIGHT * win_probability(float(l.sc)) + RESULT_WEIGHT * win_probability(float(l.result_score));
}

void encode_training_record(const Position& pos, const TrainingLabels& labels, u8* out) {
    for (int k = 0; k < 32; k++) out[REC_BOARD + k] = u8((pos.board[2 * k] & 15) | ((pos.board[2 * k + 1] & 15) << 4));
    out[REC_FLAGS] = u8((pos.castling & 15) | ((pos.side & 15) << 4));
    out[REC_EP] = pos.ep_square;
    put16(out + REC_RESULT, clamp_score(labels.result_score));
    put16(out + REC_CE, labels.ce);
    put16(out + REC_SC, clamp_score(labels.sc));
}

TrainingLabels record_labels(const u8* r) { return {get16(r + REC_RESULT), get16(r + REC_CE), get16(r + REC_SC)}; }

int decode_record_position(const u8* record, Position& pos) {
    static const char LETTERS[] = " PNBRQK  pnbrqk";
    char fen[128];
    char* o = fen;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            const int sq = rank * 8 + file;
            const int code = (record[REC_BOARD + sq / 2] >> (4 * (sq & 1))) & 15;
            if (!valid_piece_code(code)) return RECORD_BAD_PIECE;
            if (!code) {
                empty++;
                continue;
            }
            if (empty) *o++ = char('0' + empty);
            empty = 0;
            *o++ = LETTERS[code];
        }
        if (empty) *o++ = char('0' + empty);
        if (rank) *o++ = '/';
    }
    const int flags = record[REC_FLAGS];
    const int side = flags >> 4, rights = flags & 15;
    if (side > 1) return RECORD_BAD_FLAGS;
    *o++ = ' ';
    *o++ = side ? 'b' : 'w';
    *o++ = ' ';
    if (!rights) *o++ = '-';
    for (int c = 0; c < 4; c++)
        if (rights & (1 << c)) *o++ = "KQkq"[c];
    *o++ = ' ';
    const int ep = record[REC_EP];
    if (ep == NO_SQUARE) {
        *o++ = '-';
    } else {
        // A double push of the side that just moved leaves its square behind the pawn.
        const int ep_rank = side == WHITE ? 5 : 2;
        if (ep > 63 || ep / 8 != ep_rank) return RECORD_BAD_EP;
        *o++ = char('a' + ep % 8);
        *o++ = char('1' + ep / 8);
    }
    *o = 0;
    set_fen(pos, fen);
    char why[80];
    if (ep != NO_SQUARE && sanitize_ep_square(pos)) return RECORD_BAD_EP;
    if (validate_position(pos, why) != 0) return RECORD_BAD_POSITION;
    // Rights whose king or rook has moved are not kept by the castling set-up.
    if (pos.castling != rights) return RECORD_BAD_POSITION;
    return RECORD_OK;
}
