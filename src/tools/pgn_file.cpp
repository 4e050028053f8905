#include "tools/pgn_file.h"

#include <cstdlib>
#include <cstring>

#include "tools/tool_io.h"

namespace {

// Games longer than this (comments included) are cut; the move limit usually comes first.
constexpr int GAME_TEXT_LIMIT = 1 << 20;
constexpr int LINE_LIMIT = 1 << 16;
// The last game of a file is read only when it has more text than a stray line.
constexpr int MIN_LAST_GAME = 50;

void append_line(PgnFileReader& r, const char* line) {
    int n = int(strlen(line));
    if (r.length + n + 2 > GAME_TEXT_LIMIT) n = GAME_TEXT_LIMIT - 2 - r.length;
    if (n < 0) return;
    memcpy(r.text + r.length, line, size_t(n));
    r.length += n;
    r.text[r.length++] = '\n';
    r.text[r.length] = 0;
}

bool has_content(const PgnFileReader& r) {
    for (int i = 0; i < r.length; i++)
        if (r.text[i] != ' ' && r.text[i] != '\n' && r.text[i] != '\t') return true;
    return false;
}

}  // namespace

int pgn_reader_open(PgnFileReader& r, const char* path) {
    r = PgnFileReader{};
    r.file = open_tool_input(path, "rb");
    if (!r.file) return -1;
    r.lines = new LineReader;
    line_reader_open(*r.lines, r.file);
    r.text = static_cast<char*>(malloc(GAME_TEXT_LIMIT));
    r.line = static_cast<char*>(malloc(LINE_LIMIT));
    if (!r.text || !r.line) {
        tool_message("out of memory reading %s", path);
        pgn_reader_close(r);
        return -1;
    }
    r.text[0] = 0;
    return 0;
}

const char* pgn_reader_next(PgnFileReader& r) {
    if (!r.file) return nullptr;
    r.length = 0;
    r.text[0] = 0;
    if (r.pending) {
        append_line(r, r.line);
        r.pending = false;
        r.previous_was_tag = true;
    }
    while (!r.at_end) {
        const int n = read_line(*r.lines, r.line, LINE_LIMIT);
        if (n == -1) {
            r.at_end = true;
            break;
        }
        if (n == -2) {
            r.long_lines++;
            r.previous_was_tag = false;
            continue;
        }
        if (r.line[0] == '%') continue;
        const bool tag = r.line[0] == '[';
        if (tag && !r.previous_was_tag && has_content(r)) {
            r.pending = true;
            return r.text;
        }
        r.previous_was_tag = tag;
        append_line(r, r.line);
    }
    return r.length > MIN_LAST_GAME ? r.text : nullptr;
}

void pgn_reader_close(PgnFileReader& r) {
    if (r.file) fclose(r.file);
    delete r.lines;
    free(r.text);
    free(r.line);
    r = PgnFileReader{};
}
