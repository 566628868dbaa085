// Runs a program (the player, the script tool) as the tests' child and
// collects its standard output; the same on Linux and Windows, without a
// shell between (arguments reach the program as given, UTF-8 included).
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>   // before windows.h, for the tests with servers
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

struct program_run {
    std::string directory;           // where it runs; empty: the test's own folder
    std::vector<std::string> env;    // "NAME=value" set, "NAME" removed, over the test's environment
    bool keep_stderr = false;        // standard error into the output (else thrown away)
    int timeout_seconds = 60;        // then it is killed, and status is -1
};

struct program_result {
    int status = -1;   // exit status; -1 when it could not run or was killed
    std::string out;
};

namespace run_program_detail {

inline bool same_name(const std::string &entry, const std::string &change) {
    std::string name = change.substr(0, change.find('='));
    if (entry.size() <= name.size() || entry[name.size()] != '=') return false;
#ifdef _WIN32
    return _strnicmp(entry.c_str(), name.c_str(), name.size()) == 0;
#else
    return entry.compare(0, name.size(), name) == 0;
#endif
}

// The environment with the changes made.
inline std::vector<std::string> environment(const std::vector<std::string> &base, const std::vector<std::string> &changes) {
    std::vector<std::string> out;
    for (const std::string &entry : base) {
        bool changed = false;
        for (const std::string &change : changes) changed = changed || same_name(entry, change);
        if (!changed) out.push_back(entry);
    }
    for (const std::string &change : changes)
        if (change.find('=') != std::string::npos) out.push_back(change);
    return out;
}

#ifdef _WIN32
inline std::wstring wide(const std::string &text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), n);
    out.resize(out.size() - 1);
    return out;
}

inline std::string utf8(const wchar_t *text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

// One argument as CommandLineToArgvW reads it back.
inline std::wstring quoted(const std::wstring &arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            backslashes++;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}
#endif

}  // namespace run_program_detail

inline program_result run_program(const std::vector<std::string> &args, const program_run &how = {}) {
    namespace d = run_program_detail;
    program_result result;
    if (args.empty()) return result;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(how.timeout_seconds);
#ifdef _WIN32
    std::wstring command;
    for (const std::string &arg : args) command += (command.empty() ? L"" : L" ") + d::quoted(d::wide(arg));
    std::vector<std::string> base;
    wchar_t *block = GetEnvironmentStringsW();
    for (const wchar_t *p = block; *p; p += wcslen(p) + 1) base.push_back(d::utf8(p));
    FreeEnvironmentStringsW(block);
    std::wstring env;
    for (const std::string &entry : d::environment(base, how.env)) env += d::wide(entry) + L'\0';
    env += L'\0';

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end, write_end;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return result;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    HANDLE null_device = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = null_device;
    start.hStdOutput = write_end;
    start.hStdError = how.keep_stderr ? write_end : null_device;
    PROCESS_INFORMATION process{};
    std::wstring directory = d::wide(how.directory);
    BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                                  env.data(), directory.empty() ? nullptr : directory.c_str(), &start, &process);
    CloseHandle(write_end);
    CloseHandle(null_device);
    if (!started) {
        CloseHandle(read_end);
        return result;
    }
    bool killed = false;
    for (;;) {
        DWORD waiting = 0;
        if (!PeekNamedPipe(read_end, nullptr, 0, nullptr, &waiting, nullptr)) break;   // closed: done
        if (waiting > 0) {
            char buffer[4096];
            DWORD n = 0;
            if (!ReadFile(read_end, buffer, sizeof buffer, &n, nullptr) || n == 0) break;
            result.out.append(buffer, n);
            continue;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            TerminateProcess(process.hProcess, 255);
            killed = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    CloseHandle(read_end);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    result.status = killed ? -1 : int(code);
#else
    std::vector<std::string> base;
    for (char **p = environ; *p; p++) base.push_back(*p);
    std::vector<std::string> env = d::environment(base, how.env);
    std::vector<char *> envp, argv;
    for (std::string &entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> arg_copies(args);
    for (std::string &arg : arg_copies) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (how.keep_stderr)
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (!how.directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, how.directory.c_str());
    pid_t pid = -1;
    int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (error != 0) {
        close(out[0]);
        return result;
    }
    bool killed = false;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, int(left.count() < 100 ? left.count() : 100)) <= 0) continue;
        char buffer[4096];
        ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        result.out.append(buffer, size_t(n));
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return result;
}
