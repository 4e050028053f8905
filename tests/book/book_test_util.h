// Shared helpers for the book tests: shared data paths, CSV rows of the probe oracles, temporary
// directories, small book files written entry by entry, and captured output.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "book/book_file.h"
#include "core/output.h"

namespace book_test {

inline std::string shared_path(const std::string& name) { return std::string(VELLUM_SHARED_DIR) + "/testdata/" + name; }

inline bool file_readable(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f) fclose(f);
    return f != nullptr;
}

#define BOOK_SHARED_OR_SKIP(path)                                             \
    if (!book_test::file_readable(path)) GTEST_SKIP() << "test data " << path << " not found";

// Splits a CSV line whose fields hold no quotes or commas.
inline std::vector<std::string> csv_fields(const std::string& line) {
    std::vector<std::string> out(1);
    for (char c : line) {
        if (c == ',') out.emplace_back();
        else if (c != '\r') out.back() += c;
    }
    return out;
}

inline std::vector<std::vector<std::string>> csv_rows(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line))
        if (!line.empty()) rows.push_back(csv_fields(line));
    return rows;
}

// A directory under /tmp, removed with its files at the end of the test.
struct TempDir {
    std::string path;
    std::vector<std::string> files;
    TempDir() {
        char templ[] = "/tmp/vellum_book_XXXXXX";
        path = mkdtemp(templ) ? templ : "/tmp";
    }
    std::string file(const std::string& name) {
        files.push_back(path + "/" + name);
        return files.back();
    }
    ~TempDir() {
        for (auto& f : files) remove(f.c_str());
        rmdir(path.c_str());
    }
};

inline void write_bytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline void write_book(const std::string& path, const std::vector<BookEntry>& entries) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (const BookEntry& e : entries) ASSERT_EQ(write_book_entry(f, e), 0);
    fclose(f);
}

inline std::vector<BookEntry> read_all_entries(const std::string& path) {
    std::vector<BookEntry> out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return out;
    BookEntry e;
    while (read_book_entry(f, e) == 0) out.push_back(e);
    fclose(f);
    return out;
}

// Runs fn with the program's output sent to a temporary file; returns what was printed.
template <typename Fn>
std::string captured_output(Fn fn) {
    FILE* f = tmpfile();
    set_output_stream(f);
    fn();
    set_output_stream(nullptr);
    fflush(f);
    rewind(f);
    std::string out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

}  // namespace book_test
