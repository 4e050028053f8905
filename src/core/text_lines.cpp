#include "core/text_lines.h"

int read_text_line(FILE* file, char* buf, int size, bool* truncated) {
    int n = 0;
    bool cut = false;
    int c = fgetc(file);
    if (c == EOF) return -1;
    for (; c != EOF && c != '\n'; c = fgetc(file)) {
        if (n < size - 1) buf[n++] = char(c);
        else cut = true;
    }
    while (n > 0 && buf[n - 1] == '\r' && !cut) n--;
    buf[n] = 0;
    if (truncated) *truncated = cut;
    return n;
}
