// The one printing routine: every protocol and status line is formatted into a fixed buffer,
// written and flushed under OutputLock, and copied to the log file while logging is on.
#pragma once

#include "platform/platform.h"

extern platform::SpinLock OutputLock;

// Formats one line (printf-style, no trailing newline) and prints it with a newline.
void print_line(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Prints text as given, without adding a newline (progress marks such as "." on one line).
void print_text(const char* text);
// Prints a block of text exactly as given (it carries its own newlines), then one more newline.
void print_block(const char* text);
// Writes one formatted line to the log file only (when logging is on and the file is open).
void log_line(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The log file "vellum.log" in the current directory. open_log replaces an existing file;
// on failure it prints "log file in use." (deletion failed) or nothing, and turns logging off.
void open_log();
void close_log();
bool log_is_open();

// Where standard output goes; tests may redirect it. Defaults to stdout.
void set_output_stream(void* file);
