// Checks of the Windows platform layer, run under wine by scripts/windows_smoke.sh (the unit
// tests are not built for Windows). Takes a scratch directory; prints one line per failed
// check and a summary, and returns 1 when any check failed.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

int passed = 0, failed = 0;

void check(bool ok, const char* what) {
    if (ok) {
        passed++;
    } else {
        failed++;
        printf("FAILED: %s\n", what);
    }
}

bool write_file(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

std::string read_file(const std::string& path) {
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

// Bytes that differ from position to position, so that a shifted or partial view shows.
std::string pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; i++) s[i] = char((i * 131 + i / 4096) & 0xFF);
    return s;
}

void check_clock() {
    const double t0 = platform::now_seconds();
    platform::sleep_ms(50);
    const double t1 = platform::now_seconds();
    check(t1 - t0 >= 0.045 && t1 - t0 < 5.0, "sleep_ms(50) advances the clock by about 50 ms");
    check(platform::realtime_nanoseconds() < 1000000000ull, "realtime nanoseconds stay below one second");
    int min_ms = -1, max_ms = -1;
    check(platform::timer_capabilities(&min_ms, &max_ms) == 0 && min_ms >= 1 && max_ms >= min_ms,
          "timer capabilities give a range of periods");
    const int period = min_ms < 5 ? 5 : min_ms;
    check(platform::timer_begin_period(period) == 0 && platform::timer_end_period(period) == 0,
          "a timer period can be begun and ended");
}

// Uses about 8 MB of stack: more than a default Windows thread has.
int deep(int n) {
    volatile char frame[1024];
    frame[0] = char(n);
    return n == 0 ? 0 : deep(n - 1) + frame[0] - char(n) + 1;
}

struct Shared {
    std::atomic<int> done{0};
    int deep_result = -1;
    unsigned first_rand[3] = {0, 0, 0};
    long counter = 0;
    platform::Mutex mutex;
    platform::SpinLock spin;
};

void deep_thread(void* p) {
    auto* s = static_cast<Shared*>(p);
    s->deep_result = deep(8000);
    for (unsigned& r : s->first_rand) r = unsigned(rand());
}

void detached_thread(void* p) { static_cast<Shared*>(p)->done.store(1); }

constexpr int COUNT_THREADS = 4;
constexpr int COUNT_STEPS = 100000;

void count_with_mutex(void* p) {
    auto* s = static_cast<Shared*>(p);
    for (int i = 0; i < COUNT_STEPS; i++) {
        platform::mutex_lock(s->mutex);
        s->counter++;
        platform::mutex_unlock(s->mutex);
    }
}

void count_with_spin_lock(void* p) {
    auto* s = static_cast<Shared*>(p);
    for (int i = 0; i < COUNT_STEPS; i++) {
        s->spin.lock();
        s->counter++;
        s->spin.unlock();
        if (i % 1000 == 0) platform::yield_thread();
    }
}

void run_counters(Shared& s, platform::ThreadFn fn, const char* what) {
    s.counter = 0;
    platform::Thread threads[COUNT_THREADS];
    bool started = true;
    for (platform::Thread& t : threads) started = platform::thread_start(t, fn, &s) == 0 && started;
    for (platform::Thread& t : threads) platform::thread_join(t);
    check(started && s.counter == long(COUNT_THREADS) * COUNT_STEPS, what);
}

void check_threads() {
    Shared s;
    platform::Thread t;
    check(platform::thread_start(t, deep_thread, &s) == 0, "a joinable thread starts");
    platform::thread_join(t);
    check(s.deep_result == 8000, "a thread recurses 8 MB deep and is joined after it finished");
    check(t.handle == nullptr, "join releases the thread handle");
    srand(1);
    const unsigned seed_one[3] = {unsigned(rand()), unsigned(rand()), unsigned(rand())};
    check(memcmp(s.first_rand, seed_one, sizeof seed_one) != 0, "a new thread's rand() is seeded");

    check(platform::thread_start_detached(detached_thread, &s) == 0, "a detached thread starts");
    for (int waited = 0; waited < 5000 && !s.done.load(); waited++) platform::sleep_ms(1);
    check(s.done.load() == 1, "a detached thread runs");

    platform::mutex_init(s.mutex);
    run_counters(s, count_with_mutex, "the mutex serialises four threads");
    platform::mutex_destroy(s.mutex);
    check(s.mutex.handle == nullptr, "destroy releases the mutex");
    run_counters(s, count_with_spin_lock, "the spin lock serialises four threads");
}

void check_files(const std::string& dir) {
    const std::string data = dir + "\\mapped.bin", copy = dir + "\\copy.bin", empty = dir + "\\empty.bin";
    const std::string missing = dir + "\\missing.bin";
    const std::string bytes = pattern(200000);
    check(write_file(data, bytes) && write_file(empty, ""), "scratch files are written");
    check(platform::is_directory(dir.c_str()) && !platform::file_exists(dir.c_str()), "a directory is a directory");
    check(platform::file_exists(data.c_str()) && !platform::is_directory(data.c_str()), "a file is a file");
    check(!platform::file_exists(missing.c_str()) && !platform::is_directory(missing.c_str()),
          "a missing file is neither");
    check(platform::is_path_list_separator(';') && !platform::is_path_list_separator(':') &&
              platform::directory_separator() == '\\',
          "paths list directories with ';' and join names with '\\', so a drive name stays whole");

    uint64_t size = 1;
    const void* view = platform::map_file(data.c_str(), &size);
    check(view && size == bytes.size() && memcmp(view, bytes.data(), bytes.size()) == 0,
          "a mapped file shows its bytes and size");
    // The view outlives the handles it was made from: the file can be read and copied while mapped.
    check(platform::copy_file(data.c_str(), copy.c_str()) == 0 && read_file(copy) == bytes,
          "a mapped file can be copied");
    platform::unmap_file(view, size);
    size = 1;
    check(!platform::map_file(missing.c_str(), &size) && size == 0, "mapping a missing file fails");
    size = 1;
    check(!platform::map_file(empty.c_str(), &size) && size == 0, "mapping an empty file fails");
    size = 1;
    check(!platform::map_file(dir.c_str(), &size) && size == 0, "mapping a directory fails");

    check(write_file(copy, "old") && platform::copy_file(data.c_str(), copy.c_str()) == 0 && read_file(copy) == bytes,
          "copy replaces an existing file");
    check(platform::copy_file(missing.c_str(), copy.c_str()) != 0 && read_file(copy) == bytes,
          "copying a missing file fails and leaves the target");
    check(platform::copy_file(data.c_str(), (dir + "\\no\\such\\dir.bin").c_str()) != 0,
          "copying into a missing directory fails");

    check(platform::remove_file(copy.c_str()) == 0 && !platform::file_exists(copy.c_str()), "remove deletes a file");
    check(platform::remove_file(copy.c_str()) == 0, "removing a missing file succeeds");
    check(platform::remove_file(dir.c_str()) != 0, "a directory is not removed as a file");
    platform::remove_file(data.c_str());
    platform::remove_file(empty.c_str());
}

void check_memory() {
    const uint64_t physical = platform::physical_memory_bytes();
    check(physical > (uint64_t(64) << 20), "physical memory is reported");
    const size_t bytes = size_t(64) << 20;
    auto* p = static_cast<unsigned char*>(platform::alloc_large(bytes));
    bool zero = p != nullptr;
    for (size_t i = 0; zero && i < bytes; i += 4093) zero = p[i] == 0;
    check(zero && p[bytes - 1] == 0, "a large allocation comes zero-filled");
    if (p) {
        memset(p, 0xA5, bytes);
        check(p[0] == 0xA5 && p[bytes - 1] == 0xA5, "a large allocation is writable");
        platform::free_large(p, bytes);
    }
    check(platform::alloc_large(0) == nullptr, "an empty allocation gives nothing");
    if (physical) check(platform::alloc_large(size_t(physical / 2 + 4096)) == nullptr, "more than half the memory is refused");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !platform::is_directory(argv[1])) {
        printf("usage: platform_check SCRATCH_DIRECTORY\n");
        return 2;
    }
    check_clock();
    check_threads();
    check_files(argv[1]);
    check_memory();
    printf("platform checks: %d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
