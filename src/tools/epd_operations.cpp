#include "tools/epd_operations.h"

#include <cstdlib>
#include <cstring>

#include "board/notation.h"
#include "tools/san.h"

namespace {

constexpr int FEN_FIELDS = 4;
constexpr int TOKEN_SIZE = 64;

// Skips the position fields and the move counters that may follow them.
const char* after_position(const char* line) {
    const char* s = line;
    for (int field = 0; field < FEN_FIELDS && *s; field++) {
        while (*s == ' ') s++;
        while (*s && *s != ' ') s++;
    }
    while ((*s >= '0' && *s <= '9') || *s == ' ') s++;
    return s;
}

bool is_separator(char c, const char* separators) { return c == 0 || strchr(separators, c) != nullptr; }

// Copies the next token of s that is not made of separators into token; returns the position after
// it, or nullptr at the end.
const char* next_token(const char* s, const char* separators, char* token) {
    while (*s && is_separator(*s, separators)) s++;
    if (!*s) return nullptr;
    int n = 0;
    while (!is_separator(*s, separators)) {
        if (n < TOKEN_SIZE - 1) token[n++] = *s;
        s++;
    }
    token[n] = 0;
    return s;
}

// A move in SAN as suites write it, or in coordinates as this tool's result lines write it.
Move read_move(Position& pos, const char* text) {
    Move m = MOVE_NONE;
    return read_san(pos, text, &m) ? m : parse_uci_move(pos, text);
}

// An integer with an optional sign and nothing else.
bool read_points(const char* text, int* value) {
    const char* p = text;
    if (*p == '+' || *p == '-') p++;
    if (*p < '0' || *p > '9') return false;
    while (*p >= '0' && *p <= '9') p++;
    if (*p) return false;
    *value = atoi(text);
    return true;
}

}  // namespace

int epd_position_fields(const char* line, char* out, int size) {
    const char* s = line;
    int fields = 0, n = 0;
    while (fields < FEN_FIELDS) {
        while (*s == ' ') s++;
        if (!*s) break;
        if (fields > 0 && n < size - 1) out[n++] = ' ';
        while (*s && *s != ' ') {
            if (n < size - 1) out[n++] = *s;
            s++;
        }
        fields++;
    }
    out[n] = 0;
    return fields;
}

int epd_operation(const char* line, const char* opcode, char* out, int size) {
    out[0] = 0;
    const char* s = after_position(line);
    while (*s) {
        while (*s == ' ') s++;
        const char* name = s;
        while (*s && *s != ' ' && *s != ';') s++;
        const size_t name_len = size_t(s - name);
        while (*s == ' ') s++;
        const char* operand = s;
        bool quoted = false;
        while (*s && (*s != ';' || quoted)) {
            if (*s == '"') quoted = !quoted;
            s++;
        }
        if (*s != ';') return 0;
        if (name_len == strlen(opcode) && !strncmp(name, opcode, name_len)) {
            int n = int(s - operand);
            while (n > 0 && operand[n - 1] == ' ') n--;
            if (n > size - 1) n = size - 1;
            memcpy(out, operand, size_t(n));
            out[n] = 0;
            return 1;
        }
        s++;
    }
    return 0;
}

int epd_move_list(Position& pos, const char* operand, Move move, bool* contains) {
    *contains = false;
    int legal = 0;
    char token[TOKEN_SIZE];
    for (const char* s = operand; (s = next_token(s, " ,;\"\n\r\t", token));) {
        const Move m = read_move(pos, token);
        if (!m) continue;
        legal++;
        if (m == move) *contains = true;
    }
    return legal;
}

int epd_points(Position& pos, const char* operand, Move move, int* possible) {
    *possible = 0;
    int earned = 0;
    bool found = false;
    char token[TOKEN_SIZE];
    for (const char* s = operand; (s = next_token(s, " ,\"\n\r\t", token));) {
        // The last '=' separates the points: a promotion such as "e8=Q=10" keeps its own.
        char* eq = strrchr(token, '=');
        int points = 0;
        if (!eq || !read_points(eq + 1, &points)) continue;
        *eq = 0;
        const Move m = read_move(pos, token);
        if (!m) continue;
        if (points > *possible) *possible = points;
        if (m == move && !found) {
            earned = points;
            found = true;
        }
    }
    return earned;
}
