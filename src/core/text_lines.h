// Reading text files line by line into fixed buffers.
#pragma once

#include <cstdio>

// Reads the next line of `file` into buf (size bytes) without its line end: a trailing LF, CR LF
// or lone CR is removed, and nothing else. A line longer than size - 1 characters is cut there and
// the rest of it is skipped; *truncated (when given) tells whether that happened. Returns the
// length of the text in buf, or -1 at the end of the file.
int read_text_line(FILE* file, char* buf, int size, bool* truncated);
