#include "tools/tool_io.h"

#include <cstdarg>
#include <cstring>

#include "core/output.h"
#include "core/settings.h"
#include "platform/platform.h"
#include "search/thread.h"
#include "tools/tools.h"

void tool_message(const char* fmt, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    if (settings.uci_mode) print_line("info string %s", text);
    else print_line("%s", text);
}

void line_reader_open(LineReader& r, FILE* f) {
    r.file = f;
    r.pos = r.end = 0;
    r.at_start = true;
    r.eof = false;
}

namespace {

// Next byte of the file, or -1 at its end.
int next_byte(LineReader& r) {
    if (r.pos == r.end) {
        if (r.eof || !r.file) return -1;
        r.end = int(fread(r.buffer, 1, sizeof r.buffer, r.file));
        r.pos = 0;
        if (r.end <= 0) {
            r.end = 0;
            r.eof = true;
            return -1;
        }
    }
    return r.buffer[r.pos++];
}

int peek_byte(LineReader& r) {
    const int c = next_byte(r);
    if (c >= 0) r.pos--;
    return c;
}

}  // namespace

int read_line(LineReader& r, char* out, int size) {
    if (r.at_start) {
        r.at_start = false;
        // Skip a UTF-8 byte-order mark; it can only stand at the very start of the file.
        if (peek_byte(r) == 0xEF && r.end - r.pos >= 3 && r.buffer[r.pos + 1] == 0xBB && r.buffer[r.pos + 2] == 0xBF)
            r.pos += 3;
    }
    int n = 0;
    bool too_long = false;
    int c = next_byte(r);
    if (c < 0) return -1;
    for (; c >= 0; c = next_byte(r)) {
        if (c == '\n') break;
        if (c == '\r') {
            if (peek_byte(r) == '\n') next_byte(r);
            break;
        }
        if (n < size - 1) out[n++] = c ? char(c) : ' ';
        else too_long = true;
    }
    out[n] = 0;
    return too_long ? -2 : n;
}

FILE* open_tool_input(const char* path, const char* mode) {
    FILE* f = path && path[0] ? fopen(path, mode) : nullptr;
    if (!f) tool_message("can't open %s for reading", path && path[0] ? path : "(no file given)");
    return f;
}

FILE* open_tool_output(const char* path, const char* mode, const char* input_path) {
    if (!path || !path[0]) {
        tool_message("no output file given");
        return nullptr;
    }
    if (input_path && platform::same_file(path, input_path)) {
        tool_message("%s is the input file; refusing to write over it", path);
        return nullptr;
    }
    FILE* f = fopen(path, mode);
    if (!f) tool_message("can't open %s for writing", path);
    return f;
}

bool has_extension(const char* name, const char* ext) { return name && strstr(name, ext) != nullptr; }

Position& tool_position() { return main_thread->pos; }
