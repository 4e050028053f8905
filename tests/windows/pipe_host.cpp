// pipe_host PROGRAM [ARGS...]: starts PROGRAM with its standard input on an anonymous Win32
// pipe, as a chess GUI on Windows does, and relays this process's standard input into that
// pipe; PROGRAM writes straight to this process's standard output and error. When this
// process's input ends, the pipe is closed, so PROGRAM sees its writer go away. Returns
// PROGRAM's exit code once it has ended (127 when it cannot be started).
//
// The smoke session under wine needs it: wine hands a Unix pipe to a Windows program as a
// pipe that cannot be peeked, while a pipe made by CreatePipe behaves as on Windows.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

HANDLE pipe_writer = nullptr;

// Quotes one argument for CreateProcess's command-line parser.
std::string quoted(const char* arg) {
    std::string out = "\"";
    int backslashes = 0;
    for (const char* p = arg; *p; p++) {
        if (*p == '\\') {
            backslashes++;
            continue;
        }
        if (*p == '"') out.append(size_t(2 * backslashes + 1), '\\');
        else out.append(size_t(backslashes), '\\');
        backslashes = 0;
        out += *p;
    }
    out.append(size_t(2 * backslashes), '\\');
    return out + "\"";
}

DWORD WINAPI relay_input(void*) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(in, buf, sizeof buf, &got, nullptr) && got > 0) {
        DWORD written = 0;
        if (!WriteFile(pipe_writer, buf, got, &written, nullptr)) break;
    }
    CloseHandle(pipe_writer);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: pipe_host PROGRAM [ARGS...]\n");
        return 2;
    }
    std::string command_line;
    for (int i = 1; i < argc; i++) {
        if (i > 1) command_line += ' ';
        command_line += quoted(argv[i]);
    }

    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE pipe_reader = nullptr;
    if (!CreatePipe(&pipe_reader, &pipe_writer, &inheritable, 0)) return 127;
    SetHandleInformation(pipe_writer, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = pipe_reader;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        fprintf(stderr, "pipe_host: cannot start %s (error %lu)\n", argv[1], GetLastError());
        return 127;
    }
    CloseHandle(pipe_reader);
    CloseHandle(process.hThread);

    HANDLE relay = CreateThread(nullptr, 0, relay_input, nullptr, 0, nullptr);
    if (relay) CloseHandle(relay);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 127;
    GetExitCodeProcess(process.hProcess, &code);
    return int(code);
}
