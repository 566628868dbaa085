// Directory search and dates on Windows.
//
// A search lists "<directory>/*" with FindFirstFileW; names are given as
// UTF-8 (an entry whose name has no UTF-8 form, a lone surrogate, cannot
// be opened by name and is left out). Entries carry the
// mode bits the C run-time's stat would give them (folder or file, read,
// write unless read-only, execute for folders and programs), so masks work
// as on Linux. A drive's
// root lists no "." or ".." of its own; the search adds them, so every
// openable folder lists its "." entry (which tamu_directory_exists relies
// on).
#include "tamu.h"
#include "tamu_file_platform.h"
#include "win32_utf8.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <new>
#include <string>

static_assert(TAMU_FIND_DIRECTORY == 0x4000 && TAMU_FIND_FILE == 0x8000,
              "the search mask uses the C run-time's mode bits");

namespace {

struct search_handle {
    HANDLE find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW data{};
    bool have_data = false;   // data holds an entry not yet returned
    bool seen_dot = false, seen_dotdot = false;
    int added = 0;            // "." and ".." added after the listing (0..2)
    FILETIME folder_time{};   // for the added entries
};

int64_t to_unix_seconds(const FILETIME &t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    // 100-nanosecond steps since 1601.
    return static_cast<int64_t>(v.QuadPart / 10000000ULL) - 11644473600LL;
}

// Programs by the run-time's rule: the extensions .exe, .com, .bat, .cmd.
bool is_program(const char *name) {
    const char *dot = std::strrchr(name, '.');
    if (!dot) return false;
    for (const char *ext : {".exe", ".com", ".bat", ".cmd"})
        if (_stricmp(dot, ext) == 0) return true;
    return false;
}

uint32_t mode_of(const char *name, DWORD attributes) {
    uint32_t mode;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        mode = 0x4000 | 0400 | 0100;   // folder, readable, searchable
    else
        mode = 0x8000 | 0400 | (is_program(name) ? 0100 : 0);
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) mode |= 0200;
    // The run-time repeats the owner's bits for group and others.
    mode |= (mode & 0700) >> 3;
    mode |= (mode & 0700) >> 6;
    return mode;
}

bool suffix_matches(const cfind *search, const char *name, size_t length) {
    size_t suffix = static_cast<size_t>(search->suffix_length);
    if (length < suffix || length > sizeof search->name - 1) return false;
    return suffix == 0 || _stricmp(name + length - suffix, search->suffix) == 0;
}

// Offers one entry to the search; true when it matched and was stored.
bool offer(cfind *search, const char *name, DWORD attributes, uint64_t size, const FILETIME &time) {
    size_t length = std::strlen(name);
    if (!suffix_matches(search, name, length)) return false;
    uint32_t mode = mode_of(name, attributes);
    if ((mode & search->mask) == 0) return false;
    std::memcpy(search->name, name, length + 1);
    search->mode = mode;
    search->size = static_cast<uint32_t>(size);
    search->time = to_unix_seconds(time);
    return true;
}

}  // namespace

int tamu_find_first(const char *directory, const char *pattern, cfind *search, uint32_t mask) {
    if (tamu_find_prepare(directory, pattern, search, mask)) return 1;
    size_t length = std::strlen(directory);
    // As opendir, an empty path names no folder; wildcards in the folder's
    // own name would search other folders.
    if (length == 0 || std::strpbrk(directory, "*?")) return 1;
    // "dir" and "dir/" both list "dir/*"; "C:" lists the drive's current
    // folder.
    char wildcard[1024];
    char last = directory[length - 1];
    const char *sep = last == '/' || last == '\\' || (length == 2 && last == ':') ? "" : "/";
    int n = std::snprintf(wildcard, sizeof wildcard, "%s%s*", directory, sep);
    if (n < 0 || n > static_cast<int>(sizeof wildcard) - 1) return 1;
    std::wstring wide_wildcard, wide_directory;
    if (!win32_wide_from_utf8(wildcard, wide_wildcard) || !win32_wide_from_utf8(directory, wide_directory)) return 1;

    auto *handle = new (std::nothrow) search_handle;
    if (!handle) return 1;
    handle->find = FindFirstFileW(wide_wildcard.c_str(), &handle->data);
    if (handle->find == INVALID_HANDLE_VALUE) {
        delete handle;
        return 1;
    }
    handle->have_data = true;
    WIN32_FILE_ATTRIBUTE_DATA folder;
    if (GetFileAttributesExW(wide_directory.c_str(), GetFileExInfoStandard, &folder))
        handle->folder_time = folder.ftLastWriteTime;
    search->dir = handle;
    return tamu_find_next(search);
}

int tamu_find_next(cfind *search) {
    if (!search || !search->dir) return 1;
    auto *handle = static_cast<search_handle *>(search->dir);
    while (handle->find != INVALID_HANDLE_VALUE) {
        if (!handle->have_data) {
            if (!FindNextFileW(handle->find, &handle->data)) {
                FindClose(handle->find);
                handle->find = INVALID_HANDLE_VALUE;
                break;
            }
        }
        handle->have_data = false;
        const WIN32_FIND_DATAW &d = handle->data;
        std::string name;
        if (!win32_utf8_from_wide(d.cFileName, name)) continue;
        if (name == ".") handle->seen_dot = true;
        if (name == "..") handle->seen_dotdot = true;
        uint64_t size = (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
        if (offer(search, name.c_str(), d.dwFileAttributes, size, d.ftLastWriteTime)) return 0;
    }
    // The listing is done: a root's missing "." and "..".
    while (handle->added < 2) {
        int which = handle->added++;
        if (which == 0 && handle->seen_dot) continue;
        if (which == 1 && handle->seen_dotdot) continue;
        if (offer(search, which == 0 ? "." : "..", FILE_ATTRIBUTE_DIRECTORY, 0, handle->folder_time))
            return 0;
    }
    return 1;
}

int tamu_find_close(cfind *search) {
    if (search && search->dir) {
        auto *handle = static_cast<search_handle *>(search->dir);
        if (handle->find != INVALID_HANDLE_VALUE) FindClose(handle->find);
        delete handle;
        search->dir = nullptr;
    }
    return 0;
}

int tamu_get_date_at(int64_t time, int *year, int *month, int *day) {
    __time64_t t = static_cast<__time64_t>(time);
    std::tm local;
    if (_localtime64_s(&local, &t) != 0) {
        tamu_debug("warning: tamu_get_date failed\n");
        return 0;
    }
    int y = local.tm_year + 1900, m = local.tm_mon + 1, d = local.tm_mday;
    if (year) *year = y;
    if (month) *month = m;
    if (day) *day = d;
    return y * 10000 + m * 100 + d;
}

int tamu_get_date(int *year, int *month, int *day) {
    return tamu_get_date_at(static_cast<int64_t>(_time64(nullptr)), year, month, day);
}

void tamu_print_date(int64_t time, char *out) {
    __time64_t t = static_cast<__time64_t>(time);
    std::tm local;
    out[0] = 0;
    if (_localtime64_s(&local, &t) != 0) return;
    if (std::strftime(out, 32, "%Y-%m-%d %H:%M:%S", &local) == 0) out[0] = 0;
}
