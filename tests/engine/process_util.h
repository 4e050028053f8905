// Runs the engine binary as a child process with given arguments and standard input, and
// collects its standard output and exit code. No shell is involved.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

struct ProcessResult {
    std::string out;
    int exit_code = -1;
    bool timed_out = false;
};

// Input is written to a temporary file that becomes the child's standard input, so the child
// sees end of input after the last byte. working_dir may be empty.
inline ProcessResult run_engine(const std::vector<std::string>& args, const std::string& input,
                                double timeout_seconds = 60.0, const std::string& working_dir = "") {
    ProcessResult r;
    char in_path[] = "/tmp/vellum_stdin_XXXXXX";
    int in_fd = mkstemp(in_path);
    if (in_fd < 0) return r;
    if (write(in_fd, input.data(), input.size()) != ssize_t(input.size())) {
        close(in_fd);
        return r;
    }
    lseek(in_fd, 0, SEEK_SET);
    unlink(in_path);

    int out_pipe[2];
    if (pipe(out_pipe) != 0) return r;

    std::vector<std::string> argv_store;
    argv_store.push_back(VELLUM_BINARY);
    for (auto& a : args) argv_store.push_back(a);
    std::vector<char*> argv;
    for (auto& a : argv_store) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in_fd, 0);
    posix_spawn_file_actions_adddup2(&fa, out_pipe[1], 1);
    posix_spawn_file_actions_addclose(&fa, out_pipe[0]);
    if (!working_dir.empty()) posix_spawn_file_actions_addchdir_np(&fa, working_dir.c_str());
    pid_t pid;
    int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(in_fd);
    close(out_pipe[1]);
    if (rc != 0) {
        close(out_pipe[0]);
        return r;
    }

    auto start = std::chrono::steady_clock::now();
    char buf[65536];
    for (;;) {
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed > timeout_seconds) {
            r.timed_out = true;
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{out_pipe[0], POLLIN, 0};
        int n = poll(&p, 1, 100);
        if (n > 0) {
            ssize_t got = read(out_pipe[0], buf, sizeof buf);
            if (got <= 0) break;
            r.out.append(buf, size_t(got));
        }
    }
    close(out_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
    return r;
}

inline std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            if (start < text.size()) lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

inline bool has_line(const std::string& text, const std::string& line) {
    for (auto& l : split_lines(text))
        if (l == line) return true;
    return false;
}
