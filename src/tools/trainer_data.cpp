// Training samples: the features of a position for both perspectives, as the engine's network
// numbers them, and the conversion of a whole record store into samples.
#include <cstring>

#include "board/attacks.h"
#include "tools/trainer.h"
#include "tools/trainer_internal.h"
#include "tools/training_store.h"

namespace {

// Slot of a piece type within a 64-square block: king 0, pawn 1 ... queen 5.
constexpr int SLOT[8] = {0, 1, 2, 3, 4, 5, 0, 0};
constexpr int OTHER_COLOUR_BLOCK = 384;
constexpr int BUCKET_ROWS = 768;

int output_bucket(const Position& pos) {
    int most = 0;
    for (int c = 0; c < 2; c++) {
        const u32 m = pos.material[c];
        const int v = 3 * (material_count(m, KNIGHT) + material_count(m, BISHOP)) + 5 * material_count(m, ROOK) +
                      10 * material_count(m, QUEEN);
        if (v > most) most = v;
    }
    return most >= 21 ? 0 : most >= 16 ? 1 : most >= 11 ? 2 : most >= 6 ? 3 : 4;
}

}  // namespace

void position_features(const Position& pos, TrainSample& out) {
    const int wk = pos.king_sq[WHITE], bk = pos.king_sq[BLACK];
    // White's view: files mirrored so that the king stands on e-h; Black's view: ranks
    // mirrored, and files too so that its king stands on e-h.
    const int mirror_w = (wk & 7) < 4 ? 7 : 0;
    const int mirror_b = (bk & 7) >= 4 ? 56 : 63;
    const int bucket_w = wk < 24 ? 0 : BUCKET_ROWS;
    const int bucket_b = bk >= 40 ? 0 : BUCKET_ROWS;
    const int own = pos.side == WHITE ? 0 : 1;
    int n = 0;
    u64 occ = occupancy(pos);
    while (occ && n < TRAIN_MAX_PIECES) {
        const int sq = pop_lsb(occ);
        const int code = pos.board[sq];
        const int colour = piece_colour(code), slot = SLOT[piece_type(code)];
        const int fw = bucket_w + (colour == WHITE ? 0 : OTHER_COLOUR_BLOCK) + 64 * slot + (sq ^ mirror_w);
        const int fb = bucket_b + (colour == BLACK ? 0 : OTHER_COLOUR_BLOCK) + 64 * slot + (sq ^ mirror_b);
        out.features[own][n] = u16(fw);
        out.features[own ^ 1][n] = u16(fb);
        n++;
    }
    out.count = u8(n);
    out.bucket = u8(output_bucket(pos));
}

u64 samples_from_store(const TrainingStore& store, u64 limit, Position& pos, TrainSample* out, u64* refused) {
    u64 n = 0, bad = 0;
    for (u64 i = 0; i < store.count && n < limit; i++) {
        const u8* r = store_record(i);
        if (decode_record_position(r, pos) != RECORD_OK) {
            bad++;
            continue;
        }
        // The search never asks for a static score in check.
        if (is_attacked(pos, pos.king_sq[pos.side], pos.side ^ 1)) continue;
        TrainSample& s = out[n++];
        position_features(pos, s);
        s.target = training_target(record_labels(r));
    }
    if (refused) *refused = bad;
    return n;
}
