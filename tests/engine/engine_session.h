// An engine child process driven line by line over pipes, for protocol tests that depend on
// timing (answers during a search, pondering, end of input while searching).
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

struct EngineSession {
    pid_t pid = -1;
    int to_child = -1;
    int from_child = -1;
    std::string buffer;  // received, not yet taken as lines
    std::string all;     // everything received

    bool start(const std::vector<std::string>& args = {}) {
        int in_pipe[2], out_pipe[2];
        if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) return false;
        std::vector<std::string> store = {VELLUM_BINARY};
        for (auto& a : args) store.push_back(a);
        std::vector<char*> argv;
        for (auto& a : store) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in_pipe[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out_pipe[1], 1);
        posix_spawn_file_actions_addclose(&fa, in_pipe[1]);
        posix_spawn_file_actions_addclose(&fa, out_pipe[0]);
        int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        close(in_pipe[0]);
        close(out_pipe[1]);
        to_child = in_pipe[1];
        from_child = out_pipe[0];
        signal(SIGPIPE, SIG_IGN);
        return rc == 0;
    }

    void send(const std::string& line) {
        std::string text = line + "\n";
        if (write(to_child, text.data(), text.size()) < 0) return;
    }

    void close_input() {
        if (to_child >= 0) close(to_child);
        to_child = -1;
    }

    // Waits for a line starting with `prefix`; returns it, or "" after the timeout.
    std::string wait_for(const std::string& prefix, double timeout_seconds) {
        auto start = std::chrono::steady_clock::now();
        for (;;) {
            size_t nl;
            while ((nl = buffer.find('\n')) != std::string::npos) {
                std::string line = buffer.substr(0, nl);
                buffer.erase(0, nl + 1);
                if (line.rfind(prefix, 0) == 0) return line;
            }
            double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (elapsed > timeout_seconds) return "";
            pollfd p{from_child, POLLIN, 0};
            if (poll(&p, 1, 10) > 0) {
                char buf[8192];
                ssize_t got = read(from_child, buf, sizeof buf);
                if (got <= 0) {
                    if (buffer.empty()) return "";
                    continue;
                }
                buffer.append(buf, size_t(got));
                all.append(buf, size_t(got));
            }
        }
    }

    // Waits for the process to end; returns its exit code, or -1 after the timeout (then kills it).
    int wait_exit(double timeout_seconds) {
        auto start = std::chrono::steady_clock::now();
        for (;;) {
            int status = 0;
            pid_t r = waitpid(pid, &status, WNOHANG);
            if (r == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            }
            double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (elapsed > timeout_seconds) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                pid = -1;
                return -1;
            }
            wait_for("\x01", 0.01);  // keep draining output
        }
    }

    ~EngineSession() {
        close_input();
        if (pid > 0) {
            kill(pid, SIGKILL);
            int status;
            waitpid(pid, &status, 0);
        }
        if (from_child >= 0) close(from_child);
    }
};

inline double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}
