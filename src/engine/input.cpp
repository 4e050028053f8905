#include "engine/input.h"

#include <cstring>

#include "core/output.h"
#include "core/settings.h"
#include "engine/console.h"
#include "engine/driver.h"
#include "engine/uci.h"
#include "platform/platform.h"

namespace {

// NUL, LF, CR and '@' all end a line; runs of them count as one separator.
bool is_separator(char c) { return c == 0 || c == '\n' || c == '\r' || c == '@'; }

LineSplitter input_splitter;
bool input_opened = false;
bool input_closed = false;

}  // namespace

void splitter_reset(LineSplitter& s) {
    s.length = 0;
    s.discarding = false;
}

int splitter_append(LineSplitter& s, const char* bytes, int n) {
    int dropped = 0;
    for (int i = 0; i < n; i++) {
        char c = bytes[i];
        if (s.discarding) {
            // The overflowing line ends at its separator; the separator itself is kept so
            // that the line boundary stays visible.
            if (!is_separator(c)) {
                dropped++;
                continue;
            }
            s.discarding = false;
        }
        if (s.length >= LineSplitter::CAPACITY - 1) {
            // A line longer than the buffer cannot be executed faithfully (a truncated move
            // list would set up the wrong position): drop it whole.
            int start = s.length;
            while (start > 0 && !is_separator(s.pending[start - 1])) start--;
            dropped += s.length - start + 1;
            s.length = start;
            s.discarding = true;
            continue;
        }
        s.pending[s.length++] = c;
    }
    return dropped;
}

bool splitter_next_line(LineSplitter& s, char* line, int line_size) {
    int start = 0;
    while (start < s.length && is_separator(s.pending[start])) start++;
    int end = start;
    while (end < s.length && !is_separator(s.pending[end])) end++;
    if (end >= s.length) {
        // No complete line: keep the partial one at the start of the buffer.
        memmove(s.pending, s.pending + start, size_t(s.length - start));
        s.length -= start;
        return false;
    }
    int n = end - start;
    if (n > line_size - 1) n = line_size - 1;
    memcpy(line, s.pending + start, size_t(n));
    line[n] = 0;
    int rest = end + 1;
    while (rest < s.length && is_separator(s.pending[rest])) rest++;
    memmove(s.pending, s.pending + rest, size_t(s.length - rest));
    s.length -= rest;
    return true;
}

void read_input() {
    if (command_deferred()) return;
    static char line[LineSplitter::CAPACITY];
    // Console lines that waited for the end of a search run before anything newer.
    if (!settings.uci_mode && search_control.search_state == 0 && console_take_pending(line, sizeof line)) {
        handle_console_command(line);
        return;
    }
    if (!input_opened) {
        platform::stdin_open();
        splitter_reset(input_splitter);
        input_opened = true;
    }
    // Read only while the buffer has room, unless it holds no complete line (then the
    // overflowing line must be read to be dropped).
    int room = LineSplitter::CAPACITY - 1 - input_splitter.length;
    bool has_line = false;
    if (room <= 0)
        for (int i = 0; i < input_splitter.length && !has_line; i++) has_line = is_separator(input_splitter.pending[i]);
    if (!input_closed && (room > 0 || !has_line)) {
        char buf[8192];
        int want = room < int(sizeof buf) ? (room > 0 ? room : int(sizeof buf)) : int(sizeof buf);
        int n = platform::stdin_read_available(buf, want);
        if (n < 0) {
            // The other side closed its end: nothing more will come, so act as if it said
            // "quit" once the lines already received have been executed.
            input_closed = true;
            if (!settings.uci_mode) console_input_ended();
        } else if (n > 0) {
            int dropped = splitter_append(input_splitter, buf, n);
            if (dropped) print_line("info string input line too long, ignored");
        }
    }
    if (!splitter_next_line(input_splitter, line, sizeof line)) {
        if (input_closed) {
            // A last line without its line end still counts.
            if (input_splitter.length > 0) {
                splitter_append(input_splitter, "\n", 1);
                return;
            }
            // A console session ends once the engine is idle: the lines still waiting, a search
            // that ends by itself and self-play run to their end first.
            const bool console_busy =
                !settings.uci_mode && (console_has_pending() || console_self_play || search_control.search_state != 0);
            if (!console_busy) settings.quit = 1;
        }
        return;
    }
    if (settings.uci_mode == 1 || !strcmp(line, "uci")) {
        handle_uci_command(line);
    } else {
        handle_console_command(line);
    }
}
