// Downloads with WinINet and opening pages with the shell's "open" verb.
//
// tamu_wget results: 0 done, 1 no internet session, 2 the output file
// cannot be created, 3 the URL could not be fetched (no answer, an HTTP
// status other than 2xx, a broken transfer, a write that failed or the
// time-out); tamu_wget_limited adds 4, a body over its bound. As on Linux,
// only a complete download leaves a file behind. The downloads run on
// worker threads and the log (with its shared line buffer) is the main
// thread's: the reason of a failure is kept for the thread
// (tamu_wget_failure) for the caller to log.
#include "tamu.h"
#include "win32_utf8.h"

#include <windows.h>
#include <shellapi.h>
#include <wininet.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// How long a download may take, from cconfig.timeout (1..240 seconds).
int download_timeout() {
    int seconds = cconfig.timeout;
    if (seconds <= 0) seconds = 30;
    if (seconds > 240) seconds = 240;
    return seconds;
}

struct internet_handle {
    HINTERNET h;
    explicit internet_handle(HINTERNET handle) : h(handle) {}
    ~internet_handle() {
        if (h) InternetCloseHandle(h);
    }
    internet_handle(const internet_handle &) = delete;
    internet_handle &operator=(const internet_handle &) = delete;
};

void set_timeouts(HINTERNET session, int seconds) {
    DWORD ms = static_cast<DWORD>(seconds) * 1000;
    InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms);
    InternetSetOptionA(session, INTERNET_OPTION_SEND_TIMEOUT, &ms, sizeof ms);
    InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
}

// The HTTP status of an open URL; 200 for schemes without one.
DWORD status_of(HINTERNET url) {
    DWORD status = 0, size = sizeof status, index = 0;
    if (!HttpQueryInfoA(url, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index))
        return 200;
    return status;
}

// The announced body length, or -1 when the server gave none.
long long content_length(HINTERNET url) {
    char text[32];
    DWORD size = sizeof text, index = 0;
    if (!HttpQueryInfoA(url, HTTP_QUERY_CONTENT_LENGTH, text, &size, &index)) return -1;
    text[size < sizeof text ? size : sizeof text - 1] = 0;
    char *end = nullptr;
    long long n = std::strtoll(text, &end, 10);
    return end != text && n >= 0 ? n : -1;
}

thread_local char failure[512];

void note_failure(const char *format, ...) __attribute__((format(printf, 1, 2)));
void note_failure(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(failure, sizeof failure, format, args);
    va_end(args);
}

}  // namespace

const char *tamu_wget_failure() { return failure; }

int tamu_wget_limited(const char *url, const char *path, int64_t max_bytes, const std::atomic<int> *stop) {
    failure[0] = 0;
    if (!path || !path[0]) return 2;
    if (!url) return 3;
    int seconds = download_timeout();

    std::wstring agent, wide_url;
    win32_wide_from_utf8(tamu_state.application_title, agent);
    internet_handle session(InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.h) {
        note_failure("could not InternetOpen(\"%.400s\", 0, 0, 0, 0);", path);
        return 1;
    }
    set_timeouts(session.h, seconds);

    FILE *out = tamu_platform_fopen(path, "wb");
    if (!out) {
        note_failure("could not open outfile: %.400s", path);
        return 2;
    }
    auto fail = [&](int code) {
        std::fclose(out);
        tamu_platform_remove(path);
        return code;
    };

    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI |
                  INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT;
    internet_handle request(
        win32_wide_from_utf8(url, wide_url) ? InternetOpenUrlW(session.h, wide_url.c_str(), nullptr, 0, flags, 0)
                                            : nullptr);
    if (!request.h) {
        note_failure("UrlHandle == 0");
        return fail(3);
    }
    DWORD status = status_of(request.h);
    if (status >= 300 && status <= 399) {
        note_failure("the server answered with a redirect (HTTP status %lu)", static_cast<unsigned long>(status));
        return fail(TAMU_WGET_REDIRECTED);
    }
    if (status < 200 || status > 299) {
        note_failure("HTTP status %lu", static_cast<unsigned long>(status));
        return fail(3);
    }

    // The receive time-out covers a server that stops answering; a server
    // that trickles is ended at the deadline.
    ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    long long expected = content_length(request.h);
    long long total = 0;
    char block[2048];
    for (;;) {
        if (stop && stop->load()) {
            note_failure("stopped");
            return fail(TAMU_WGET_STOPPED);
        }
        // Only what has arrived is read, so that a server that trickles
        // cannot hold the loop (and the stop word) in one long read.
        DWORD ready = 0, got = 0;
        if (!InternetQueryDataAvailable(request.h, &ready, 0, 0)) {
            note_failure("the transfer broke off");
            return fail(3);
        }
        if (ready == 0) break;
        if (ready > sizeof block) ready = sizeof block;
        if (!InternetReadFile(request.h, block, ready, &got)) {
            note_failure("the transfer broke off");
            return fail(3);
        }
        if (got == 0) break;
        if (max_bytes >= 0 && total + got > max_bytes) {
            note_failure("the file is too large");
            return fail(TAMU_WGET_TOO_LARGE);
        }
        total += got;
        if (std::fwrite(block, 1, got, out) != got) {
            note_failure("could not write outfile: %.400s", path);
            return fail(3);
        }
        if (GetTickCount64() > deadline) {
            note_failure("timed out");
            return fail(TAMU_WGET_TIMED_OUT);
        }
    }
    // A connection that closed early ends like a complete body.
    if (expected >= 0 && total != expected) {
        note_failure("the transfer broke off");
        return fail(3);
    }
    if (std::fclose(out) != 0) {
        tamu_platform_remove(path);
        note_failure("could not write outfile: %.400s", path);
        return 3;
    }
    return 0;
}

int tamu_wget(const char *url, const char *path) { return tamu_wget_limited(url, path, -1, nullptr); }

void tamu_launch_html(const char *target) {
    if (!target || !target[0]) return;
    // The same bound as the Linux command line.
    if (std::strlen(target) > static_cast<size_t>(TAMU_MAX_COMMAND)) {
        tamu_debugf("launch: target too long (%d bytes)\n", static_cast<int>(std::strlen(target)));
        return;
    }
    std::wstring wide;
    if (win32_wide_from_utf8(target, wide)) ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, L"", SW_SHOWNORMAL);
}
