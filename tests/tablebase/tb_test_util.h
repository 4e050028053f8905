// Shared helpers of the tablebase tests: locating the shipped tables, positions from FEN,
// reading the oracle CSV files, random legal positions and capturing printed lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/position.h"
#include "board/tables.h"
#include "core/output.h"
#include "platform/platform.h"
#include "tablebase/tablebase.h"
#include "tablebase/tbchess.h"
#include "tablebase/tbinternal.h"

namespace tbtest {

// Sanitizer builds decode from heap copies of the files, so no mapping stays visible.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool FILES_STAY_MAPPED = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool FILES_STAY_MAPPED = false;
#else
constexpr bool FILES_STAY_MAPPED = true;
#endif
#else
constexpr bool FILES_STAY_MAPPED = true;
#endif

inline std::string syzygy_dir() { return std::string(VELLUM_SHARED_DIR) + "/testdata/syzygy"; }
inline bool have_tables() { return platform::is_directory(syzygy_dir().c_str()); }

#define SKIP_WITHOUT_TABLES()                                              \
    do {                                                                   \
        if (!tbtest::have_tables()) GTEST_SKIP() << "no Syzygy test data"; \
    } while (0)

inline void init_board() {
    init_tables();
    init_keys();
}

inline Position board_from_fen(const std::string& fen) {
    static MoveHistory history;
    Position pos{};
    pos.owner = &history;
    set_fen(pos, fen.c_str());
    return pos;
}

inline TbPosition tb_from_fen(const std::string& fen) {
    Position board = board_from_fen(fen);
    TbPosition tp{};
    EXPECT_EQ(tb_position_from_board(board, board.rule50, tp), 0) << fen;
    return tp;
}

inline std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, sep)) parts.push_back(item);
    return parts;
}

// Rows of a CSV file without its header line, each split at commas.
inline std::vector<std::vector<std::string>> read_csv(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (header) {
            header = false;
            continue;
        }
        if (!line.empty()) rows.push_back(split(line, ','));
    }
    return rows;
}

inline std::string square_name(int sq) {
    std::string s;
    s += char('a' + (sq & 7));
    s += char('1' + (sq >> 3));
    return s;
}

inline std::string uci_of(TbMove m) {
    static const char promo[] = " qrbn";
    std::string s = square_name(tb_move_from(m)) + square_name(tb_move_to(m));
    if (tb_move_promotes(m)) s += promo[tb_move_promotes(m)];
    return s;
}

// FEN of a prober position (no castling, counters 0 1).
inline std::string fen_of(const TbPosition& p) {
    std::string fen;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            const int sq = make_square(file, rank);
            const int kind = tb_kind_on(p, sq);
            if (!kind) {
                empty++;
                continue;
            }
            if (empty) fen += char('0' + empty);
            empty = 0;
            fen += TB_PIECE_LETTERS[kind + ((p.black & square_bit(sq)) ? 8 : 0)];
        }
        if (empty) fen += char('0' + empty);
        if (rank) fen += '/';
    }
    fen += p.turn ? " w - " : " b - ";
    fen += p.ep ? square_name(p.ep) : std::string("-");
    return fen + " 0 1";
}

// Legal moves of a prober position, in generation order.
inline std::vector<TbMove> legal_moves(const TbPosition& pos) {
    TbMove moves[TB_MAX_MOVES];
    int n = tb_gen_moves(pos, moves);
    std::vector<TbMove> legal;
    TbPosition next;
    for (int i = 0; i < n; i++)
        if (tb_do_move(next, pos, moves[i])) legal.push_back(moves[i]);
    return legal;
}

// A random legal position with the given material ("KRvKP": before the v is White) and side
// to move: kings apart, no pawns on the edge ranks, the side not to move not in check.
inline TbPosition random_position(const std::string& material, bool white_to_move, std::mt19937_64& rng) {
    for (;;) {
        TbPosition p{};
        p.turn = white_to_move ? 1 : 0;
        u64 occupied = 0;
        int colour = 0;
        bool ok = true;
        for (char c : material) {
            if (c == 'v') {
                colour = 1;
                continue;
            }
            int kind = int(std::strchr(TB_PIECE_LETTERS, c) - TB_PIECE_LETTERS);
            int sq;
            do sq = int(rng() % 64);
            while (occupied & square_bit(sq));
            if (kind == TB_PAWN && (sq < 8 || sq >= 56)) {
                ok = false;
                break;
            }
            occupied |= square_bit(sq);
            (colour ? p.black : p.white) |= square_bit(sq);
            switch (kind) {
                case TB_PAWN: p.pawns |= square_bit(sq); break;
                case TB_KNIGHT: p.knights |= square_bit(sq); break;
                case TB_BISHOP: p.bishops |= square_bit(sq); break;
                case TB_ROOK: p.rooks |= square_bit(sq); break;
                case TB_QUEEN: p.queens |= square_bit(sq); break;
                default: p.kings |= square_bit(sq); break;
            }
        }
        if (!ok) continue;
        TbPosition other = p;
        other.turn ^= 1;
        if (tb_is_check(other)) continue;
        if (KingAttacks[lsb(p.kings & p.white)] & p.kings & p.black) continue;
        return p;
    }
}

// Redirects printed lines into a temporary file for the lifetime of the object.
struct CapturedOutput {
    FILE* file;
    CapturedOutput() {
        file = std::tmpfile();
        set_output_stream(file);
    }
    ~CapturedOutput() {
        set_output_stream(nullptr);
        if (file) std::fclose(file);
    }
    std::string text() {
        std::fflush(file);
        std::rewind(file);
        std::string s;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) s.append(buf, n);
        std::fseek(file, 0, SEEK_END);
        return s;
    }
};

inline int count_occurrences(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t p = text.find(needle); p != std::string::npos; p = text.find(needle, p + 1)) n++;
    return n;
}

// A fresh temporary folder, removed with its contents when the object goes away.
struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/vellum_tb_XXXXXX";
        char* made = mkdtemp(tmpl);
        if (made) path = made;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
    // Creates a sub-folder (any name, spaces included) and returns its path.
    std::string subdir(const std::string& name) const {
        std::string p = path + "/" + name;
        std::error_code ec;
        std::filesystem::create_directories(p, ec);
        return p;
    }
};

inline std::vector<unsigned char> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void copy_table(const std::string& name, const std::string& to_dir) {
    ASSERT_EQ(platform::copy_file((syzygy_dir() + "/" + name).c_str(), (to_dir + "/" + name).c_str()), 0) << name;
}

}  // namespace tbtest
