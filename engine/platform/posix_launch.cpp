// Downloads with the external wget and opening pages with xdg-open.
//
// Both programs are started directly with an argument vector, never through
// a shell, so nothing in a URL or path can run as shell syntax. The command
// texts are still built (and bounded, and logged) as the shell would read
// them; the arguments passed are exactly the words that shell would give.
#include "tamu.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

extern char **environ;

namespace {

// Appends to a fixed buffer, always NUL-terminated; remembers an overflow.
struct text_out {
    char *out;
    int capacity;
    int n = 0;
    bool overflow = false;

    text_out(char *buffer, int cap) : out(buffer), capacity(cap) {
        if (capacity > 0) out[0] = 0;
        else overflow = true;
    }
    void put(char c) {
        if (overflow || n + 1 >= capacity) {
            overflow = true;
            return;
        }
        out[n++] = c;
        out[n] = 0;
    }
    void put(const char *text) {
        while (*text) put(*text++);
    }
    // The text as one double-quoted shell word: the four characters the
    // shell still reads inside double quotes get a backslash.
    void put_quoted(const char *text) {
        put('"');
        for (; *text; text++) {
            if (std::strchr("\"\\$`", *text)) put('\\');
            put(*text);
        }
        put('"');
    }
    int result() const { return overflow ? -1 : n; }
};

// Characters of a URL that must not reach the shell's double quotes as they
// are: space, control bytes, bytes of 0x80 and above, and " \ $ `. Everything
// else, '%' and the reserved characters included, passes unchanged, so an
// escaped URL stays the same URL.
bool needs_percent(unsigned char c) {
    return c <= 0x20 || c >= 0x7f || c == '"' || c == '\\' || c == '$' || c == '`';
}

bool begins_with_http(const char *target) { return std::strncmp(target, "http:", 5) == 0; }

double now_seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

void sleep_ms(int ms) {
    timespec t{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) < 0 && errno == EINTR) {
    }
}

// Starts the program (found on PATH) with standard input from /dev/null and,
// when given, its standard output and error on the two descriptors.
// Returns its process id, or -1.
pid_t spawn(const char *const argv[], int out_fd = -1, int err_fd = -1) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (out_fd >= 0) posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
    if (err_fd >= 0) posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
    pid_t pid = -1;
    int error = posix_spawnp(&pid, argv[0], &actions, nullptr, const_cast<char *const *>(argv),
                             environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

// Waits for the child until the deadline (seconds of now_seconds; negative:
// only look once). Returns true with its wait status once it ended.
bool wait_until(pid_t pid, double deadline, int *status) {
    for (;;) {
        pid_t got = waitpid(pid, status, WNOHANG);
        if (got == pid) return true;
        if (got < 0 && errno != EINTR) {
            *status = -1;
            return true;   // not our child any more: nothing to wait for
        }
        if (deadline < 0 || now_seconds() >= deadline) return false;
        sleep_ms(5);
    }
}

void reap(pid_t pid, int *status) {
    while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
    }
}

// The exit status as a shell reports it (128 + signal for a killed child).
int shell_status(int status) {
    if (status == -1) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// How long a download may take, from cconfig.timeout (1..240 seconds).
int download_timeout() {
    int seconds = cconfig.timeout;
    if (seconds <= 0) seconds = 30;
    if (seconds > 240) seconds = 240;
    return seconds;
}

}  // namespace

int tamu_create_osx_launch_html_string(const char *url, char *out, int capacity) {
    text_out text(out, capacity);
    text.put("xdg-open \"");
    if (text.overflow || capacity < text.n + 2) return -1;
    const char *p = url ? url : "";
    while (*p && text.n < capacity - 4) {
        unsigned char c = static_cast<unsigned char>(*p++);
        if (needs_percent(c)) {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02x", c);
            text.put(escape);
        } else {
            text.put(static_cast<char>(c));
        }
    }
    if (*p) text.overflow = true;   // the URL did not fit; out holds its start
    int n = text.n;
    out[n] = '"';
    out[n + 1] = 0;
    return text.overflow ? -1 : n + 1;
}

int tamu_create_launch_string(const char *target, char *out, int capacity) {
    if (!target) target = "";
    if (begins_with_http(target)) return tamu_create_osx_launch_html_string(target, out, capacity);
    text_out text(out, capacity);
    text.put("xdg-open ");
    text.put_quoted(target);
    return text.result();
}

int tamu_create_wget_string(const char *url, const char *path, char *out, int capacity) {
    text_out text(out, capacity);
    text.put("wget ");
    text.put_quoted(url ? url : "");
    text.put(" -q -O ");
    text.put_quoted(path ? path : "");
    return text.result();
}

namespace {

// Writes all n bytes; false when the file cannot take them.
bool write_all(int fd, const char *bytes, size_t n) {
    while (n > 0) {
        ssize_t done = write(fd, bytes, n);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        bytes += done;
        n -= size_t(done);
    }
    return true;
}

// The status of the first answer in wget's server-response lines
// ("  HTTP/1.1 302 Found"), or 0.
int first_status(const std::string &messages) {
    size_t at = messages.find("  HTTP/");
    if (at == std::string::npos) return 0;
    size_t space = messages.find(' ', at + 7);
    if (space == std::string::npos) return 0;
    return std::atoi(messages.c_str() + space + 1);
}

// One running wget: its body arrives on a pipe and goes to the file, its
// messages (the server's answer lines) on another.
struct wget_run {
    pid_t pid = -1;
    int body = -1, messages = -1, file = -1;
    std::string message_text;   // the first few kilobytes
    int64_t written = 0;

    ~wget_run() {
        for (int fd : {body, messages, file})
            if (fd >= 0) close(fd);
    }
    // Reads what one pipe holds. False at its end (or a failed read).
    bool take(int &fd, char *buffer, size_t size, int *result, int64_t max_bytes) {
        ssize_t n = read(fd, buffer, size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
        if (n <= 0) {
            close(fd);
            fd = -1;
            return false;
        }
        if (&fd == &messages) {
            if (message_text.size() < 4096) message_text.append(buffer, size_t(n));
            return true;
        }
        if (max_bytes >= 0 && written + n > max_bytes) {
            *result = TAMU_WGET_TOO_LARGE;
            return false;
        }
        if (!write_all(file, buffer, size_t(n))) {
            *result = TAMU_WGET_FAILED;
            return false;
        }
        written += n;
        return true;
    }
};

}  // namespace

int tamu_wget_limited(const char *url, const char *path, int64_t max_bytes, const std::atomic<int> *stop) {
    if (!url || !path || !path[0]) return TAMU_WGET_NO_FILE;
    // Callers judge the download by the file: whatever was at path before
    // must not pass for it when no download runs at all.
    char command[TAMU_MAX_COMMAND + 1];
    int length = tamu_create_wget_string(url, path, command, sizeof command);
    if (length < 0 || length > TAMU_MAX_COMMAND) {
        std::remove(path);
        return TAMU_WGET_FAILED;
    }
    wget_run run;
    run.file = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (run.file < 0) {
        std::remove(path);
        return TAMU_WGET_NO_FILE;
    }
    int body[2], messages[2];
    if (pipe2(body, O_CLOEXEC) != 0) {
        std::remove(path);
        return TAMU_WGET_FAILED;
    }
    if (pipe2(messages, O_CLOEXEC) != 0) {
        close(body[0]);
        close(body[1]);
        std::remove(path);
        return TAMU_WGET_FAILED;
    }
    run.body = body[0];
    run.messages = messages[0];

    int seconds = download_timeout();
    std::string timeout_option = "--timeout=" + std::to_string(seconds);
    // The body to standard output, the server's answer lines (-S) to
    // standard error; no redirect is followed; "--" ends the options, so a
    // URL cannot pass as one.
    const char *argv[] = {"wget", "-nv", "-S", "--max-redirect=0", "-O", "-", timeout_option.c_str(),
                          "--tries=1", "--", url, nullptr};
    run.pid = spawn(argv, body[1], messages[1]);
    close(body[1]);
    close(messages[1]);
    if (run.pid < 0) {
        std::remove(path);
        return TAMU_WGET_FAILED;
    }

    // wget's own time-out covers a server that stops answering; a download
    // that still runs at the deadline (a trickling server) is ended here.
    double deadline = now_seconds() + seconds;
    int result = -1;
    static thread_local char buffer[65536];
    while (result < 0 && (run.body >= 0 || run.messages >= 0)) {
        if (stop && stop->load()) {
            result = TAMU_WGET_STOPPED;
            break;
        }
        if (now_seconds() >= deadline) {
            result = TAMU_WGET_TIMED_OUT;
            break;
        }
        pollfd fds[2];
        int n = 0;
        if (run.body >= 0) fds[n++] = {run.body, POLLIN, 0};
        if (run.messages >= 0) fds[n++] = {run.messages, POLLIN, 0};
        int ready = poll(fds, nfds_t(n), 10);
        if (ready < 0 && errno != EINTR) {
            result = TAMU_WGET_FAILED;
            break;
        }
        for (int i = 0; i < n && result < 0; i++) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            int &fd = fds[i].fd == run.body ? run.body : run.messages;
            run.take(fd, buffer, sizeof buffer, &result, max_bytes);
        }
    }
    int status = 0;
    if (result >= 0) kill(run.pid, SIGKILL);   // ended early: wget goes too
    reap(run.pid, &status);
    if (result < 0) {
        bool exited_ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        int answer = first_status(run.message_text);
        result = exited_ok ? TAMU_WGET_DONE : answer >= 300 && answer < 400 ? TAMU_WGET_REDIRECTED : TAMU_WGET_FAILED;
    }
    if (close(run.file) != 0 && result == TAMU_WGET_DONE) result = TAMU_WGET_FAILED;
    run.file = -1;
    // Only a complete download leaves a file.
    if (result != TAMU_WGET_DONE) std::remove(path);
    return result;
}

int tamu_wget(const char *url, const char *path) {
    tamu_wget_limited(url, path, -1, nullptr);
    return 0;
}

const char *tamu_wget_failure() { return ""; }

void tamu_launch_html(const char *target) {
    if (!target) return;
    char command[1024];
    int length = tamu_create_launch_string(target, command, sizeof command);
    if (length < 0 || length > TAMU_MAX_COMMAND) {
        tamu_debugf("launch: target too long (%d bytes)\n", static_cast<int>(std::strlen(target)));
        return;
    }
    tamu_debugf("launch: [%s] ", command);

    // The word the shell would pass: the escaped URL between the quotes, or
    // the target itself.
    std::string argument;
    if (begins_with_http(target))
        argument.assign(command + 10, static_cast<size_t>(length - 11));
    else
        argument = target;
    const char *argv[] = {"xdg-open", argument.c_str(), nullptr};
    pid_t pid = spawn(argv);
    if (pid < 0) {
        tamu_debug("result: 127\n");   // as a shell reports a missing command
        return;
    }
    // xdg-open usually hands over to the browser and ends at once; when it
    // keeps running (the browser in the foreground) the player does not wait:
    // a detached thread reaps it.
    int status = 0;
    if (wait_until(pid, now_seconds() + 0.2, &status)) {
        tamu_debugf("result: %d\n", shell_status(status));
        return;
    }
    tamu_debug("result: running\n");
    try {
        std::thread([pid] {
            int ignored;
            reap(pid, &ignored);
        }).detach();
    } catch (...) {
        // No thread: the child is reaped when the player ends.
    }
}
