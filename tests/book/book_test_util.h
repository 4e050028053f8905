// Shared helpers for the book tests: book files written and read entry by entry and captured
// output; temporary folders, shared data and CSV rows come from the tools tests' helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "book/book_file.h"
#include "core/output.h"
#include "tools/tools_test_util.h"

namespace book_test {

using tools_test::read_csv;
using tools_test::TempDir;
using tools_test::write_file;

inline std::string shared_path(const std::string& name) { return tools_test::shared_path("testdata/" + name); }

#define BOOK_SHARED_OR_SKIP(path) \
    if (!tools_test::exists(path)) GTEST_SKIP() << "test data " << path << " not found";

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
