#include "tools/pgn.h"

#include <cstdlib>
#include <cstring>

#include "board/fen.h"
#include "board/attacks.h"
#include "board/makemove.h"
#include "board/validate.h"
#include "core/output.h"
#include "core/settings.h"
#include "tools/san.h"
#include "tools/tool_io.h"

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool is_delimiter(char c) { return c && strchr("{}()[];\"", c) != nullptr; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// End of a quoted string that starts at s (on the opening quote); backslash escapes a quote.
const char* skip_quoted(const char* s) {
    s++;
    while (*s && *s != '"') s += (s[0] == '\\' && s[1]) ? 2 : 1;
    return *s ? s + 1 : s;
}

const char* skip_to_line_end(const char* s) {
    while (*s && *s != '\n') s++;
    return s;
}

// End of a variation starting at s (on '('), skipping nested variations and the comments
// inside, which may hold parentheses themselves.
const char* skip_variation(const char* s) {
    int depth = 0;
    while (*s) {
        const char c = *s;
        if (c == '{') {
            const char* close = strchr(s, '}');
            s = close ? close + 1 : s + strlen(s);
            continue;
        }
        if (c == ';') {
            s = skip_to_line_end(s);
            continue;
        }
        s++;
        if (c == '(') depth++;
        if (c == ')' && --depth == 0) break;
    }
    return s;
}

const char* skip_tag(const char* s) {
    s++;
    while (*s && *s != ']') s = (*s == '"') ? skip_quoted(s) : s + 1;
    return *s ? s + 1 : s;
}

// Reads "[Name value]" into name and value (quotes removed, \" and \\ unescaped).
void split_tag(const char* tag, char* name, int name_size, char* value, int value_size) {
    const char* s = tag + 1;
    while (is_space(*s)) s++;
    int n = 0;
    while (*s && !is_space(*s) && *s != '"' && *s != ']') {
        if (n < name_size - 1) name[n++] = *s;
        s++;
    }
    name[n] = 0;
    while (is_space(*s)) s++;
    int v = 0;
    if (*s == '"') {
        s++;
        while (*s && *s != '"') {
            if (s[0] == '\\' && s[1]) s++;
            if (v < value_size - 1) value[v++] = *s;
            s++;
        }
    } else {
        while (*s && *s != ']') {
            if (v < value_size - 1) value[v++] = *s;
            s++;
        }
        while (v > 0 && is_space(value[v - 1])) v--;
    }
    value[v] = 0;
}

// Decimal text to centipawns, truncated toward zero; returns 0 when no digits are found.
int parse_centipawns(const char* s, const char* end) {
    while (s < end && is_space(*s)) s++;
    bool negative = false;
    if (s < end && (*s == '+' || *s == '-')) negative = *s++ == '-';
    long pawns = 0, hundredths = 0;
    int fraction_digits = 0;
    while (s < end && is_digit(*s)) {
        if (pawns < 1000000) pawns = pawns * 10 + (*s - '0');
        s++;
    }
    if (s < end && *s == '.') {
        s++;
        while (s < end && is_digit(*s)) {
            if (fraction_digits < 2) hundredths = hundredths * 10 + (*s - '0');
            fraction_digits++;
            s++;
        }
    }
    if (fraction_digits == 1) hundredths *= 10;
    const long cp = pawns * 100 + hundredths;
    return int(negative ? -cp : cp);
}

void store_move(PgnGame& game, const char* text) {
    char* dst = game.moves[game.move_count];
    int n = 0;
    for (const char* p = text; *p && n < PGN_MOVE_TEXT - 1; p++) {
        if (strchr("+#=!?", *p)) continue;
        dst[n++] = *p;
    }
    dst[n] = 0;
    game.scores[game.move_count] = 0;
    game.move_count++;
}

int result_of(const char* text) {
    if (strstr(text, "1-0")) return 1;
    if (strstr(text, "0-1")) return -1;
    return 0;
}

bool is_result_token(const char* t) {
    return !strcmp(t, "1-0") || !strcmp(t, "0-1") || !strcmp(t, "1/2-1/2") || !strcmp(t, "*");
}

}  // namespace

int pgn_next_token(const char** cursor, char* token, int size) {
    const char* s = *cursor;
    while (is_space(*s)) s++;
    if (!*s) {
        *cursor = s;
        token[0] = 0;
        return -1;
    }
    const char* start = s;
    const char* end;       // one past the token
    const char* copy_end;  // one past what is copied
    switch (*s) {
        case '{': {
            const char* close = strchr(s, '}');
            copy_end = close ? close : s + strlen(s);
            end = close ? close + 1 : copy_end;
            break;
        }
        case '(': end = copy_end = skip_variation(s); break;
        case '[': end = copy_end = skip_tag(s); break;
        case '"': end = copy_end = skip_quoted(s); break;
        case ';': end = copy_end = skip_to_line_end(s); break;
        default:
            end = s + 1;
            while (*end && !is_space(*end) && !is_delimiter(*end)) end++;
            copy_end = end;
    }
    const int length = int(copy_end - start);
    const int n = length < size - 1 ? length : size - 1;
    memcpy(token, start, size_t(n));
    token[n] = 0;
    *cursor = end;
    return length;
}

int comment_score(const char* comment) {
    const char* text = comment[0] == '{' ? comment + 1 : comment;
    if (strstr(text, "book")) return 0;
    const char* slash = strchr(text, '/');
    if (!slash) return 0;
    if (slash - text < 3) return 0;
    for (const char* p = text; p + 1 < slash; p++) {
        if (p[0] == '-' && p[1] == 'M') return -PGN_MATE_SCORE;
        if (p[0] == '+' && p[1] == 'M') return PGN_MATE_SCORE;
    }
    int cp = parse_centipawns(text, slash);
    if (cp > PGN_SCORE_LIMIT) cp = PGN_SCORE_LIMIT;
    if (cp < -PGN_SCORE_LIMIT) cp = -PGN_SCORE_LIMIT;
    return cp;
}

void parse_pgn_game(PgnGame& game, const char* text) {
    game.games_read++;
    game.move_count = 0;
    game.result = 0;
    game.annotator_score = 0;
    game.fen[0] = 0;
    game.dropped = 0;
    memset(game.scores, 0, sizeof game.scores);

    bool result_tag = false;
    int text_result = 0;
    char token[PGN_TOKEN];
    const char* cursor = text;
    while (pgn_next_token(&cursor, token, sizeof token) >= 0) {
        const char c = token[0];
        if (c == '[') {
            char name[64], value[PGN_TOKEN];
            split_tag(token, name, sizeof name, value, sizeof value);
            if (!strcmp(name, "Result")) {
                game.result = i16(result_of(value));
                result_tag = true;
            } else if (!strcmp(name, "FEN")) {
                set_field(game.fen, value);
            } else if (!strcmp(name, "Termination")) {
                if (strstr(value, "unterminated") || strstr(value, "time forfeit") || strstr(value, "abandoned"))
                    game.dropped = 1;
            } else if (!strcmp(name, "Annotator")) {
                const char* e = strstr(value, "eval=");
                if (e) game.annotator_score = i16(atoi(e + 5));
            }
        } else if (c == '{') {
            if (game.move_count > 0) game.scores[game.move_count - 1] = i16(comment_score(token));
        } else if (is_letter(c) || is_digit(c)) {
            const char* move = token;
            if (!strncmp(token, "0-0", 3)) {
                move = token;  // castling written with zeros; no result starts this way
            } else if (is_digit(c)) {
                if (is_result_token(token)) {
                    text_result = result_of(token);
                    continue;
                }
                // A move number, possibly with the move glued to it ("1.e4", "12...Nf6").
                const char* p = token;
                while (is_digit(*p)) p++;
                if (*p != '.') continue;
                while (*p == '.') p++;
                if (!is_letter(*p) && strncmp(p, "0-0", 3) != 0) continue;
                move = p;
            }
            if (game.move_count >= PGN_MAX_MOVES) break;
            store_move(game, move);
        }
        // Results, variations, quoted strings, ;comments and glyphs are skipped.
    }
    if (!result_tag) game.result = i16(text_result);
    if (game.dropped) game.move_count = 0;
    // The final position is labelled from its side to move: the last mover's score, negated.
    if (game.move_count > 0) game.scores[game.move_count] = i16(-game.scores[game.move_count - 1]);
}

namespace {

bool in_check(const Position& pos) { return is_attacked(pos, pos.king_sq[pos.side], pos.side ^ 1); }

bool tactical_move(const Position& pos, Move m) {
    const int to = move_to(m);
    const int type = piece_type(pos.board[move_from(m)]);
    if (type == PAWN && (to == pos.ep_square || to < 8 || to >= 56)) return true;
    return pos.board[to] != 0 && !(type == KING && piece_colour(pos.board[to]) == pos.side);
}

}  // namespace

int write_game_positions(const PgnGame& game, Position& pos, FILE* out, bool quiet_only) {
    const bool from_fen = strlen(game.fen) > 10;
    set_fen(pos, from_fen ? game.fen : START_FEN);
    if (from_fen) {
        sanitize_ep_square(pos);
        char why[80];
        if (validate_position(pos, why) != 0) {
            tool_message("game #%u skipped: its FEN cannot be played (%s)", game.games_read, why);
            return 0;
        }
    }
    const double white_result = game.result == 1 ? 1.0 : game.result == -1 ? 0.0 : 0.5;
    if (game.move_count == 0) return 0;
    int written = 0;
    char fen[128];
    for (int ply = 0;; ply++) {
        get_fen(pos, fen, 0);
        Move m = MOVE_NONE;
        const bool last = ply == game.move_count;
        const bool readable = !last && read_san(pos, game.moves[ply], &m);
        bool write = from_fen || ply >= PGN_SKIPPED_OPENING_PLIES;
        if (write && quiet_only) write = !in_check(pos) && !(readable && tactical_move(pos, m));
        if (write) {
            const double r = pos.side == WHITE ? white_result : 1.0 - white_result;
            if (game.annotator_score) fprintf(out, "%s\n", fen);
            else fprintf(out, "%s ce %d; gr %0.1f;\n", fen, int(game.scores[ply]), r);
            written++;
        }
        if (last) break;
        if (!readable) {
            print_line("can't parse move %d. %s in game #%u  %s", ply / 2 + 1, game.moves[ply], game.games_read, fen);
            break;
        }
        make_move(pos, m);
        if (ply + 1 >= PGN_MAX_WRITTEN_MOVES) break;
    }
    return written;
}
