// Shared helpers for the board-layer tests: a position with its own history, the perft data
// files, and a node budget that keeps the fast suite short in slow (debug, sanitizer) builds.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/tables.h"
#include "core/settings.h"

namespace board_test {

inline void init_board() {
    init_tables();
    init_keys();
}

// A position together with the history it owns; heap-allocated because the history is large.
struct Board {
    MoveHistory hist;
    Position pos;
};

inline std::unique_ptr<Board> make_board(const char* fen) {
    init_board();
    auto b = std::make_unique<Board>();
    memset(static_cast<void*>(b.get()), 0, sizeof(Board));
    b->pos.owner = &b->hist;
    set_fen(b->pos, fen);
    return b;
}

// Keeps settings.uci_mode and settings.chess960 for the duration of a test.
struct NotationModes {
    u8 uci_mode = settings.uci_mode;
    u8 chess960 = settings.chess960;
    NotationModes(int uci, int c960) {
        settings.uci_mode = u8(uci);
        settings.chess960 = u8(c960);
    }
    ~NotationModes() {
        settings.uci_mode = uci_mode;
        settings.chess960 = chess960;
    }
};

inline std::vector<Move> all_moves(const Position& pos) {
    MoveEntry list[MAX_MOVES];
    int n = gen_all_moves(pos, list);
    std::vector<Move> out;
    for (int i = 0; i < n; i++) out.push_back(list[i].move);
    return out;
}

// One line of a perft data file: "FEN ;D1 n1 ;D2 n2 ...".
struct PerftLine {
    int line = 0;
    std::string fen;
    std::vector<std::pair<int, unsigned long long>> counts;  // (depth, nodes)
};

inline std::string shared_perft_path(const char* name) {
    return std::string(VELLUM_SHARED_DIR) + "/testdata/perft/" + name;
}

// Reads a perft file; returns false when the file is absent.
inline bool read_perft_file(const char* name, std::vector<PerftLine>& out) {
    FILE* f = fopen(shared_perft_path(name).c_str(), "r");
    if (!f) return false;
    char buf[1024];
    int number = 0;
    while (fgets(buf, sizeof buf, f)) {
        number++;
        char* semi = strchr(buf, ';');
        if (!semi) continue;
        PerftLine pl;
        pl.line = number;
        pl.fen.assign(buf, size_t(semi - buf));
        while (!pl.fen.empty() && pl.fen.back() == ' ') pl.fen.pop_back();
        for (char* p = semi; (p = strstr(p, ";D")) != nullptr;) {
            char* end = nullptr;
            int depth = int(strtol(p + 2, &end, 10));
            unsigned long long nodes = strtoull(end, &end, 10);
            pl.counts.push_back({depth, nodes});
            p = end;
        }
        out.push_back(pl);
    }
    fclose(f);
    return true;
}

#define BOARD_LOAD_PERFT_OR_SKIP(name, lines)                                                      \
    std::vector<board_test::PerftLine> lines;                                                      \
    if (!board_test::read_perft_file(name, lines))                                                 \
        GTEST_SKIP() << "perft data " << board_test::shared_perft_path(name) << " not found";

// Largest node count per perft line in the fast tests. VELLUM_PERFT_BUDGET overrides it; debug
// builds (sanitizers) use a tenth of the release budget.
inline unsigned long long perft_budget() {
    if (const char* env = getenv("VELLUM_PERFT_BUDGET")) return strtoull(env, nullptr, 10);
#ifdef NDEBUG
    return 200000;
#else
    return 20000;
#endif
}

}  // namespace board_test

namespace board_test {

// Describes the first broken invariant of a position (empty when consistent): board bytes
// against bitboards, colour unions, king squares, packed material, keys against a recomputation.
inline std::string invariant_error(const Position& pos) {
    u64 white = 0, black = 0;
    u32 material[2] = {0, 0};
    for (int sq = 0; sq < 64; sq++) {
        int code = pos.board[sq];
        for (int c = 1; c < 15; c++) {
            if (c == 7 || c == 8) continue;
            bool in_set = (pos.pieces[c] >> sq) & 1;
            if (in_set != (code == c)) return "board/bitboard mismatch on square " + std::string(SquareNames[sq]);
        }
        if (code) {
            (piece_colour(code) ? black : white) |= square_bit(sq);
            material[piece_colour(code)] += MATERIAL_INCREMENT[piece_type(code)];
        }
    }
    if (pos.board[64] != 0) return "board[64] set";
    if (white != pos.pieces[0] || black != pos.pieces[8]) return "colour union wrong";
    if (pos.pieces[7] || pos.pieces[15]) return "unused bitboard set";
    for (int colour = 0; colour < 2; colour++) {
        u64 k = pos.pieces[make_piece(colour, KING)];
        if (k && pos.king_sq[colour] != std::countr_zero(k)) return "king square wrong";
        if (material[colour] != pos.material[colour]) return "material wrong";
    }
    Position copy;
    memcpy(static_cast<void*>(&copy), &pos, sizeof copy);
    compute_keys(copy);
    if (copy.key != pos.key) return "key differs from recomputation";
    if (copy.pawn_key != pos.pawn_key) return "pawn key differs from recomputation";
    return "";
}

}  // namespace board_test
