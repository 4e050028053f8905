// Small services shared by the batch tools: their one-line messages, a line reader for text
// files written on any system, and the checks that keep a tool from writing over its input.
#pragma once

#include <cstdio>

#include "core/types.h"

// Prints one line through the output routine, prefixed with "info string " in UCI mode.
void tool_message(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Reads lines of a text file: LF, CR LF and a lone CR end a line, a UTF-8 byte-order mark at
// the start is skipped, and NUL bytes are read as spaces. A line longer than the caller's
// buffer is consumed whole and reported as too long, so it is never split into pieces.
struct LineReader {
    FILE* file = nullptr;
    unsigned char buffer[1 << 16];
    int pos = 0, end = 0;
    bool at_start = true;
    bool eof = false;
};
void line_reader_open(LineReader& r, FILE* f);
// Returns the line length (line end removed, text NUL-terminated), -1 at the end of the file,
// or -2 for a line longer than size - 1 characters (out then holds nothing useful).
int read_line(LineReader& r, char* out, int size);

// Opens a tool's input; on failure prints "can't open <name> for reading" and returns null.
FILE* open_tool_input(const char* path, const char* mode);
// Opens a tool's output, refusing a file that is also the tool's input (by identity, not by
// name); on failure prints the reason and returns null.
FILE* open_tool_output(const char* path, const char* mode, const char* input_path);

// Whether `name` contains `ext` (".pgn", ".epd", ".bin"), as the tools require of their files.
bool has_extension(const char* name, const char* ext);
