#include "tools/game_record.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int MATE_BOUND = 9899;  // scores beyond this are mates
constexpr int LINE_WIDTH = 79;

const char* result_text(int result) {
    return result == RESULT_WHITE ? "1-0" : result == RESULT_BLACK ? "0-1" : "1/2-1/2";
}

// Writes words separated by spaces, breaking lines before they pass the width.
struct Wrapper {
    FILE* out;
    int column = 0;
    void word(const char* w) {
        const int n = int(strlen(w));
        if (column > 0 && column + 1 + n > LINE_WIDTH) {
            fputc('\n', out);
            column = 0;
        } else if (column > 0) {
            fputc(' ', out);
            column++;
        }
        fputs(w, out);
        column += n;
    }
};

}  // namespace

void record_move(GameRecord& g, Position& pos, Move move, int score, int depth) {
    if (g.plies >= GAME_RECORD_PLIES) return;
    const int i = g.plies++;
    write_san(pos, move, g.san[i]);
    g.scores[i] = i16(score);
    g.white_scores[i] = i16(pos.side == WHITE ? score : -score);
    g.depths[i] = u8(depth < 0 ? 0 : depth > 255 ? 255 : depth);
}

void format_pgn_score(int score, char* out, int size) {
    if (score > MATE_BOUND) {
        snprintf(out, size_t(size), "+M%d", (SCORE_MATE - score + 1) / 2);
    } else if (score < -MATE_BOUND) {
        snprintf(out, size_t(size), "-M%d", (SCORE_MATE + score) / 2);
    } else {
        const int a = abs(score);
        snprintf(out, size_t(size), "%s%d.%02d", score > 0 ? "+" : score < 0 ? "-" : "", a / 100, a % 100);
    }
}

int write_game_pgn(const GameRecord& g, FILE* out) {
    fprintf(out, "[Event \"Vellum self-play, %llu nodes, seed %llu\"]\n", (unsigned long long)g.nodes,
            (unsigned long long)g.seed);
    fprintf(out, "[Site \"?\"]\n[Date \"????.??.??\"]\n[Round \"%d\"]\n", g.round);
    fprintf(out, "[White \"Vellum\"]\n[Black \"Vellum\"]\n[Result \"%s\"]\n", result_text(g.result));
    fprintf(out, "[SetUp \"1\"]\n[FEN \"%s %d 1\"]\n", g.start_fen, g.start_fen_rule50);
    fprintf(out, "[Termination \"%s\"]\n[PlyCount \"%d\"]\n\n", g.termination ? g.termination : "normal", g.plies);
    Wrapper w{out};
    char word[64], score[16];
    for (int i = 0; i < g.plies; i++) {
        const int side = (g.start_side + i) & 1;
        const int number = (g.start_side + i) / 2 + 1;
        if (side == 0) {
            snprintf(word, sizeof word, "%d.", number);
            w.word(word);
        } else if (i == 0) {
            snprintf(word, sizeof word, "%d...", number);
            w.word(word);
        }
        w.word(g.san[i]);
        format_pgn_score(g.scores[i], score, sizeof score);
        snprintf(word, sizeof word, "{%s/%d}", score, int(g.depths[i]));
        w.word(word);
    }
    w.word(result_text(g.result));
    fputs("\n\n", out);
    return fflush(out) == 0 && !ferror(out) ? 0 : -1;
}
