// POSIX implementation of the platform layer.
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

double now_seconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

uint64_t realtime_nanoseconds() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return uint64_t(ts.tv_nsec);
}

void sleep_ms(int ms) {
    timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = long(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
    }
}

void yield_thread() { sched_yield(); }

int timer_capabilities(int* min_ms, int* max_ms) {
    *min_ms = 1;
    *max_ms = 1000000;
    return 0;
}

int timer_begin_period(int) { return 0; }
int timer_end_period(int) { return 0; }

bool stdin_open() { return isatty(STDIN_FILENO) != 0; }

int stdin_read_available(char* buf, int max) {
    pollfd pfd;
    pfd.fd = STDIN_FILENO;
    pfd.events = POLLIN;
    pfd.revents = 0;
    int r = poll(&pfd, 1, 0);
    if (r < 0) return errno == EINTR ? 0 : -1;
    if (r == 0) return 0;
    if (pfd.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
        if (pfd.revents & POLLNVAL) return -1;
        ssize_t n = read(STDIN_FILENO, buf, size_t(max));
        if (n < 0) return (errno == EINTR || errno == EAGAIN) ? 0 : -1;
        if (n == 0) return -1;  // the writer closed its end
        return int(n);
    }
    return 0;
}

namespace {
struct ThreadStart {
    ThreadFn fn;
    void* arg;
};
void* thread_trampoline(void* p) {
    ThreadStart s = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    s.fn(s.arg);
    return nullptr;
}
// Search threads recurse deeply; give them a generous stack.
constexpr size_t THREAD_STACK = size_t(16) << 20;
}  // namespace

int thread_start(Thread& t, ThreadFn fn, void* arg) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, THREAD_STACK);
    auto* id = new pthread_t;
    auto* start = new ThreadStart{fn, arg};
    int rc = pthread_create(id, &attr, thread_trampoline, start);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete id;
        delete start;
        t.handle = nullptr;
        return rc;
    }
    t.handle = id;
    return 0;
}

int thread_start_detached(ThreadFn fn, void* arg) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, THREAD_STACK);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t id;
    auto* start = new ThreadStart{fn, arg};
    int rc = pthread_create(&id, &attr, thread_trampoline, start);
    pthread_attr_destroy(&attr);
    if (rc != 0) delete start;
    return rc;
}

void thread_join(Thread& t) {
    if (!t.handle) return;
    auto* id = static_cast<pthread_t*>(t.handle);
    pthread_join(*id, nullptr);
    delete id;
    t.handle = nullptr;
}

void mutex_init(Mutex& m) {
    auto* mx = new pthread_mutex_t;
    pthread_mutex_init(mx, nullptr);
    m.handle = mx;
}
void mutex_lock(Mutex& m) { pthread_mutex_lock(static_cast<pthread_mutex_t*>(m.handle)); }
void mutex_unlock(Mutex& m) { pthread_mutex_unlock(static_cast<pthread_mutex_t*>(m.handle)); }
void mutex_destroy(Mutex& m) {
    if (!m.handle) return;
    auto* mx = static_cast<pthread_mutex_t*>(m.handle);
    pthread_mutex_destroy(mx);
    delete mx;
    m.handle = nullptr;
}

const void* map_file(const char* path, uint64_t* size) {
    *size = 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        close(fd);
        return nullptr;
    }
    void* data = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (data == MAP_FAILED) return nullptr;
    *size = uint64_t(st.st_size);
    return data;
}

void unmap_file(const void* data, uint64_t size) {
    if (data) munmap(const_cast<void*>(data), size_t(size));
}

char directory_separator() { return '/'; }
bool is_path_list_separator(char c) { return c == ';' || c == ':'; }

int copy_file(const char* from, const char* to) {
    FILE* in = fopen(from, "rb");
    if (!in) return -1;
    FILE* out = fopen(to, "wb");
    if (!out) {
        fclose(in);
        return -1;
    }
    char buf[65536];
    size_t n;
    int rc = 0;
    while ((n = fread(buf, 1, sizeof buf, in)) > 0) {
        if (fwrite(buf, 1, n, out) != n) {
            rc = -1;
            break;
        }
    }
    if (ferror(in)) rc = -1;
    fclose(in);
    if (fclose(out) != 0) rc = -1;
    return rc;
}

int remove_file(const char* path) {
    if (unlink(path) == 0 || errno == ENOENT) return 0;
    return -1;
}

bool file_exists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

int file_stamp(const char* path, uint64_t* size, int64_t* modified_ns) {
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    *size = uint64_t(st.st_size);
    *modified_ns = int64_t(st.st_mtim.tv_sec) * 1000000000 + int64_t(st.st_mtim.tv_nsec);
    return 0;
}

bool is_directory(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t file_size(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return int64_t(st.st_size);
}

bool same_file(const char* a, const char* b) {
    struct stat sa, sb;
    if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

uint64_t physical_memory_bytes() {
    long pages = sysconf(_SC_PHYS_PAGES);
    long page_size = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page_size <= 0) return 0;
    return uint64_t(pages) * uint64_t(page_size);
}

// Anonymous mappings come zero-filled and take physical pages only when touched, so even a
// large table is ready at once. Requests above half the machine's memory are refused: the
// table would push everything else out, and callers fall back to a smaller size.
void* alloc_large(size_t bytes) {
    if (bytes == 0) return nullptr;
    uint64_t physical = physical_memory_bytes();
    if (physical && uint64_t(bytes) > physical / 2) return nullptr;
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void free_large(void* p, size_t bytes) {
    if (p) munmap(p, bytes);
}

}  // namespace platform
