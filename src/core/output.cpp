#include "core/output.h"

#include <cstdarg>
#include <cstdio>

#include "core/settings.h"

platform::SpinLock OutputLock;

namespace {
FILE* log_file = nullptr;
FILE* out_stream = nullptr;
constexpr int LINE_BUFFER = 8192;

FILE* out() { return out_stream ? out_stream : stdout; }

void write_log(const char* text, bool newline) {
    if (!settings.log || !log_file) return;
    OutputLock.lock();
    fputs(text, log_file);
    if (newline) fputc('\n', log_file);
    fflush(log_file);
    OutputLock.unlock();
}
}  // namespace

void set_output_stream(void* file) { out_stream = static_cast<FILE*>(file); }

void print_line(const char* fmt, ...) {
    char buf[LINE_BUFFER];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    OutputLock.lock();
    fputs(buf, out());
    fputc('\n', out());
    fflush(out());
    OutputLock.unlock();
    write_log(buf, true);
}

void print_text(const char* text) {
    OutputLock.lock();
    fputs(text, out());
    fflush(out());
    OutputLock.unlock();
    write_log(text, false);
}

void print_block(const char* text) {
    OutputLock.lock();
    fputs(text, out());
    fputc('\n', out());
    fflush(out());
    OutputLock.unlock();
    write_log(text, true);
}

void log_line(const char* fmt, ...) {
    if (!settings.log || !log_file) return;
    char buf[LINE_BUFFER];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    write_log(buf, true);
}

void open_log() {
    if (log_file) return;
    if (platform::remove_file("vellum.log") != 0) {
        print_line("log file in use.");
        settings.log = 0;
        return;
    }
    log_file = fopen("vellum.log", "w");
    if (!log_file) settings.log = 0;
}

void close_log() {
    if (log_file) fclose(log_file);
    log_file = nullptr;
}

bool log_is_open() { return log_file != nullptr; }
