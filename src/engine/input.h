// The input reader: polls standard input without blocking and executes at most one complete
// line per call (UCI command, or console command in console mode).
#pragma once

// Called about once a millisecond by the driver and by the loop that waits for a search.
void read_input();

// Splits buffered bytes into lines. Exposed for tests: append() adds raw bytes, next_line()
// takes the next complete line (returns false when none is complete yet).
struct LineSplitter {
    static constexpr int CAPACITY = 65536;
    char pending[CAPACITY];
    int length;
    bool discarding;  // inside a line that overflowed the buffer; dropped up to its end
};
void splitter_reset(LineSplitter& s);
// Returns the number of bytes dropped because a line did not fit (0 normally).
int splitter_append(LineSplitter& s, const char* bytes, int n);
bool splitter_next_line(LineSplitter& s, char* line, int line_size);
