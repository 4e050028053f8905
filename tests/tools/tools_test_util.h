// Shared helpers for the tools tests: a position with its own history, the shared test data,
// temporary folders and a small CSV reader for the oracle files.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/position.h"
#include "board/tables.h"

namespace tools_test {

struct Board {
    MoveHistory hist;
    Position pos;
};

inline std::unique_ptr<Board> make_board(const char* fen = START_FEN) {
    init_tables();
    init_keys();
    auto b = std::make_unique<Board>();
    memset(static_cast<void*>(b.get()), 0, sizeof(Board));
    b->pos.owner = &b->hist;
    set_fen(b->pos, fen);
    return b;
}

inline std::string shared_path(const std::string& rel) { return std::string(VELLUM_SHARED_DIR) + "/" + rel; }
inline bool exists(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f) fclose(f);
    return f != nullptr;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A fresh folder under /tmp, removed with its files at the end of the test.
struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/vellum_tools_XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() {
        if (DIR* d = opendir(path.c_str())) {
            while (dirent* e = readdir(d))
                if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) remove((path + "/" + e->d_name).c_str());
            closedir(d);
        }
        rmdir(path.c_str());
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// Rows of a CSV file with a header line; quoted fields may hold commas and doubled quotes.
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
        std::vector<std::string> row;
        std::string field;
        bool quoted = false;
        for (size_t i = 0; i < line.size(); i++) {
            const char c = line[i];
            if (quoted) {
                if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') field += '"', i++;
                else if (c == '"') quoted = false;
                else field += c;
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                row.push_back(field);
                field.clear();
            } else {
                field += c;
            }
        }
        row.push_back(field);
        rows.push_back(row);
    }
    return rows;
}

// The first `fields` space-separated fields of a FEN.
inline std::string fen_fields(const std::string& fen, int fields) {
    std::string out;
    int n = 0;
    for (char c : fen) {
        if (c == ' ' && ++n == fields) break;
        out += c;
    }
    return out;
}

}  // namespace tools_test
