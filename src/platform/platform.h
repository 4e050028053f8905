// The platform layer: everything the engine needs from the operating system, behind a few
// plain functions so that the rest of the code is portable C++. The build picks one
// implementation: platform_win.cpp on Windows, platform_posix.cpp elsewhere.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace platform {

// Monotonic clock in seconds (arbitrary origin) and the real-time clock's nanosecond part.
double now_seconds();
uint64_t realtime_nanoseconds();
void sleep_ms(int ms);
// Gives the rest of the time slice to another ready thread.
void yield_thread();

// Timer resolution: the range of timer periods in milliseconds that the system offers
// (0 on success), and the start and end of a period request (0 on success). Where the
// scheduler already has millisecond sleeps the range is 1..1000000 and requests do nothing.
int timer_capabilities(int* min_ms, int* max_ms);
int timer_begin_period(int ms);
int timer_end_period(int ms);

// A spin lock: lock() busy-waits; held only around a few instructions or one output line.
struct SpinLock {
    std::atomic_flag flag = ATOMIC_FLAG_INIT;
    void lock() {
        while (flag.test_and_set(std::memory_order_acquire)) {
            while (flag.test(std::memory_order_relaxed)) {
            }
        }
    }
    void unlock() { flag.clear(std::memory_order_release); }
};

// Standard input without blocking.
// stdin_open() is called once; it reports whether the input is an interactive terminal.
bool stdin_open();
// Returns the number of bytes read into buf (at most max), 0 when nothing is waiting,
// and -1 at end of input (the other side closed the pipe) or on a read error.
int stdin_read_available(char* buf, int max);

// Threads: a thread runs fn(arg). Joinable threads must be joined; detached ones clean up.
using ThreadFn = void (*)(void*);
struct Thread {
    void* handle = nullptr;
};
int thread_start(Thread& t, ThreadFn fn, void* arg);   // 0 on success
int thread_start_detached(ThreadFn fn, void* arg);     // 0 on success
void thread_join(Thread& t);

// A plain mutex (used where a spin lock would spin for too long, e.g. loading a file).
struct Mutex {
    void* handle = nullptr;
};
void mutex_init(Mutex& m);
void mutex_lock(Mutex& m);
void mutex_unlock(Mutex& m);
void mutex_destroy(Mutex& m);

// Read-only file mapping. map_file returns nullptr on failure and sets *size.
const void* map_file(const char* path, uint64_t* size);
void unmap_file(const void* data, uint64_t size);

// Path conventions: the character that joins a directory and a file name, and whether a
// character separates the directories of a search path such as SyzygyPath (';' everywhere,
// and ':' too where it cannot be part of a drive name).
char directory_separator();
bool is_path_list_separator(char c);

// File helpers (no shell involved). Each returns 0 on success.
int copy_file(const char* from, const char* to);
int remove_file(const char* path);      // 0 also when the file did not exist
bool file_exists(const char* path);
bool is_directory(const char* path);
// Size of a regular file in bytes, -1 when it cannot be read.
int64_t file_size(const char* path);
// Whether two names refer to the same existing file (the same file under any name or link).
bool same_file(const char* a, const char* b);
// Size and modification time (nanoseconds) of a regular file, to notice that it changed.
// Returns 0 on success; -1 when the path names no readable regular file.
int file_stamp(const char* path, uint64_t* size, int64_t* modified_ns);

// Memory for large tables, zero-filled; nullptr on failure or when the request exceeds half
// of the physical memory. free_large must be given the size that was allocated.
void* alloc_large(size_t bytes);
void free_large(void* p, size_t bytes);
uint64_t physical_memory_bytes();

}  // namespace platform
