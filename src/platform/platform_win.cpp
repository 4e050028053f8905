// Windows implementation of the platform layer.
#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>
#include <process.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// 100-nanosecond units of the system time per second.
constexpr uint64_t FILETIME_TICKS_PER_SECOND = 10000000;

double counter_period() {
    static const double period = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return 1.0 / double(frequency.QuadPart);
    }();
    return period;
}

}  // namespace

double now_seconds() {
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return double(count.QuadPart) * counter_period();
}

uint64_t realtime_nanoseconds() {
    FILETIME ft;
    GetSystemTimePreciseAsFileTime(&ft);
    const uint64_t ticks = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (ticks % FILETIME_TICKS_PER_SECOND) * 100;
}

void sleep_ms(int ms) { Sleep(DWORD(ms < 0 ? 0 : ms)); }

void yield_thread() { SwitchToThread(); }

int timer_capabilities(int* min_ms, int* max_ms) {
    TIMECAPS caps;
    if (timeGetDevCaps(&caps, sizeof caps) != MMSYSERR_NOERROR) return -1;
    *min_ms = int(caps.wPeriodMin);
    *max_ms = int(caps.wPeriodMax);
    return 0;
}

int timer_begin_period(int ms) { return timeBeginPeriod(UINT(ms)) == TIMERR_NOERROR ? 0 : -1; }
int timer_end_period(int ms) { return timeEndPeriod(UINT(ms)) == TIMERR_NOERROR ? 0 : -1; }

// Standard input comes in three kinds: a console (read by lines once a key press waits), a
// pipe (peeked so that a poll never blocks) and anything else, such as a redirected file,
// whose reads return at once.
namespace {

enum InputKind { INPUT_NONE, INPUT_CONSOLE, INPUT_PIPE, INPUT_FILE };

HANDLE input_handle = INVALID_HANDLE_VALUE;
InputKind input_kind = INPUT_NONE;
// A console line longer than the caller's buffer is still being read.
bool console_line_open = false;

// Drops the console events that are not key presses (focus and menu events, key releases,
// modifier keys); true when a key press that gives a character is waiting.
bool console_key_waiting() {
    for (;;) {
        INPUT_RECORD record;
        DWORD count = 0;
        if (!PeekConsoleInputA(input_handle, &record, 1, &count) || count == 0) return false;
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
            record.Event.KeyEvent.uChar.AsciiChar != 0)
            return true;
        if (!ReadConsoleInputA(input_handle, &record, 1, &count) || count == 0) return false;
    }
}

int read_console(char* buf, int max) {
    if (!console_line_open && !console_key_waiting()) return 0;
    // fgets echoes the typed characters and returns once the line is complete.
    if (!fgets(buf, max, stdin)) return -1;
    const int n = int(strlen(buf));
    console_line_open = n == 0 || buf[n - 1] != '\n';
    return n;
}

int read_pipe(char* buf, int max) {
    DWORD waiting = 0;
    if (!PeekNamedPipe(input_handle, nullptr, 0, nullptr, &waiting, nullptr)) {
        // A broken pipe means that the writer has closed its end and everything was read. Any
        // other failure means that this pipe cannot be polled at all (wine cannot peek a Unix
        // pipe, for one); without input the engine can only end, so say why.
        const DWORD error = GetLastError();
        if (error != ERROR_BROKEN_PIPE && error != ERROR_PIPE_NOT_CONNECTED && error != ERROR_NO_DATA)
            fprintf(stderr, "standard input cannot be polled (error %lu)\n", static_cast<unsigned long>(error));
        return -1;
    }
    if (waiting == 0) return 0;
    DWORD got = 0;
    const DWORD want = waiting < DWORD(max) ? waiting : DWORD(max);
    if (!ReadFile(input_handle, buf, want, &got, nullptr) || got == 0) return -1;
    return int(got);
}

int read_file(char* buf, int max) {
    DWORD got = 0;
    if (!ReadFile(input_handle, buf, DWORD(max), &got, nullptr) || got == 0) return -1;
    return int(got);
}

}  // namespace

bool stdin_open() {
    input_handle = GetStdHandle(STD_INPUT_HANDLE);
    console_line_open = false;
    if (input_handle == nullptr || input_handle == INVALID_HANDLE_VALUE) {
        input_kind = INPUT_NONE;
        return false;
    }
    DWORD mode = 0;
    if (GetConsoleMode(input_handle, &mode)) {
        // Window-size and mouse events would only have to be skipped again.
        SetConsoleMode(input_handle, mode & ~DWORD(ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT));
        FlushConsoleInputBuffer(input_handle);
        input_kind = INPUT_CONSOLE;
        return true;
    }
    input_kind = GetFileType(input_handle) == FILE_TYPE_PIPE ? INPUT_PIPE : INPUT_FILE;
    return false;
}

int stdin_read_available(char* buf, int max) {
    if (max <= 0) return 0;
    switch (input_kind) {
        case INPUT_CONSOLE: return read_console(buf, max);
        case INPUT_PIPE: return read_pipe(buf, max);
        case INPUT_FILE: return read_file(buf, max);
        default: return -1;
    }
}

namespace {

struct ThreadStart {
    ThreadFn fn;
    void* arg;
};

unsigned __stdcall thread_trampoline(void* p) {
    ThreadStart s = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    // The C runtime keeps the rand() state per thread, starting every new thread from the same
    // seed; seed it from the clock as start-up seeds the main thread.
    srand(unsigned(realtime_nanoseconds()) ^ unsigned(GetCurrentThreadId()));
    s.fn(s.arg);
    return 0;
}

// Search threads recurse deeply; give them a generous stack (reserved, committed as used).
constexpr unsigned THREAD_STACK = 16u << 20;

HANDLE start_thread(ThreadFn fn, void* arg) {
    auto* start = new ThreadStart{fn, arg};
    const uintptr_t h = _beginthreadex(nullptr, THREAD_STACK, thread_trampoline, start,
                                       STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (h == 0) {
        delete start;
        return nullptr;
    }
    return reinterpret_cast<HANDLE>(h);
}

}  // namespace

int thread_start(Thread& t, ThreadFn fn, void* arg) {
    t.handle = start_thread(fn, arg);
    return t.handle ? 0 : -1;
}

int thread_start_detached(ThreadFn fn, void* arg) {
    HANDLE h = start_thread(fn, arg);
    if (!h) return -1;
    CloseHandle(h);  // the thread runs on; its resources go when it returns
    return 0;
}

void thread_join(Thread& t) {
    if (!t.handle) return;
    HANDLE h = static_cast<HANDLE>(t.handle);
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
    t.handle = nullptr;
}

void mutex_init(Mutex& m) {
    auto* section = new CRITICAL_SECTION;
    InitializeCriticalSection(section);
    m.handle = section;
}
void mutex_lock(Mutex& m) { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(m.handle)); }
void mutex_unlock(Mutex& m) { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(m.handle)); }
void mutex_destroy(Mutex& m) {
    if (!m.handle) return;
    auto* section = static_cast<CRITICAL_SECTION*>(m.handle);
    DeleteCriticalSection(section);
    delete section;
    m.handle = nullptr;
}

// The view keeps the mapping alive, so both handles are closed once it exists.
const void* map_file(const char* path, uint64_t* size) {
    *size = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file, &length) || length.QuadPart <= 0 ||
        uint64_t(length.QuadPart) > uint64_t(SIZE_MAX)) {
        CloseHandle(file);
        return nullptr;
    }
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    CloseHandle(file);
    if (!mapping) return nullptr;
    const void* data = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(mapping);
    if (!data) return nullptr;
    *size = uint64_t(length.QuadPart);
    return data;
}

void unmap_file(const void* data, uint64_t) {
    if (data) UnmapViewOfFile(data);
}

char directory_separator() { return '\\'; }
// "C:\Chess\Syzygy" holds a ':', so only ';' separates directories.
bool is_path_list_separator(char c) { return c == ';'; }

int copy_file(const char* from, const char* to) { return CopyFileA(from, to, FALSE) ? 0 : -1; }

int remove_file(const char* path) {
    if (DeleteFileA(path)) return 0;
    const DWORD error = GetLastError();
    return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? 0 : -1;
}

bool file_exists(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_directory(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t file_size(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    return int64_t((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

int file_stamp(const char* path, uint64_t* size, int64_t* modified_ns) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    *size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    // FILETIME counts 100-nanosecond steps.
    const uint64_t ticks = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    *modified_ns = int64_t(ticks) * 100;
    return 0;
}

bool same_file(const char* a, const char* b) {
    // A file is identified by its volume and its index on that volume, whatever name it has.
    BY_HANDLE_FILE_INFORMATION ia, ib;
    auto identify = [](const char* path, BY_HANDLE_FILE_INFORMATION* info) {
        HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        const bool ok = GetFileInformationByHandle(h, info) != 0;
        CloseHandle(h);
        return ok;
    };
    if (!identify(a, &ia) || !identify(b, &ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

uint64_t physical_memory_bytes() {
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return 0;
    return uint64_t(status.ullTotalPhys);
}

// Committed pages come zero-filled and take physical memory only when touched. Requests above
// half the machine's memory are refused, as on other systems, so callers fall back to less.
void* alloc_large(size_t bytes) {
    if (bytes == 0) return nullptr;
    const uint64_t physical = physical_memory_bytes();
    if (physical && uint64_t(bytes) > physical / 2) return nullptr;
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void free_large(void* p, size_t) {
    if (p) VirtualFree(p, 0, MEM_RELEASE);
}

}  // namespace platform
