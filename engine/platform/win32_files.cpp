// UTF-8 and wide text, and files named by UTF-8 paths, on Windows.
#include "tamu.h"
#include "win32_utf8.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

bool win32_wide_from_utf8(const char *text, std::wstring &out) {
    out.clear();
    if (!text) return false;
    if (!text[0]) return true;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<size_t>(n));
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out.data(), n) != n) {
        out.clear();
        return false;
    }
    out.resize(static_cast<size_t>(n) - 1);   // the terminator
    return true;
}

bool win32_utf8_from_wide(const wchar_t *text, std::string &out) {
    out.clear();
    if (!text) return false;
    if (!text[0]) return true;
    int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    out.resize(static_cast<size_t>(n));
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, out.data(), n, nullptr, nullptr) != n) {
        out.clear();
        return false;
    }
    out.resize(static_cast<size_t>(n) - 1);
    return true;
}

void win32_set_errno_from_last_error() {
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: errno = ENOENT; break;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: errno = EEXIST; break;
    case ERROR_NOT_SAME_DEVICE: errno = EXDEV; break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: errno = ENOSPC; break;
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
    case ERROR_FILENAME_EXCED_RANGE: errno = EINVAL; break;
    case ERROR_WRITE_PROTECT: errno = EROFS; break;
    default: errno = EACCES; break;
    }
}

FILE *tamu_platform_fopen(const char *path, const char *mode) {
    std::wstring wide_path, wide_mode;
    if (!path || !path[0] || !win32_wide_from_utf8(path, wide_path) || !win32_wide_from_utf8(mode, wide_mode)) {
        errno = path && path[0] ? EILSEQ : ENOENT;
        return nullptr;
    }
    return _wfopen(wide_path.c_str(), wide_mode.c_str());
}

int tamu_platform_remove(const char *path) {
    std::wstring wide;
    if (!path || !path[0] || !win32_wide_from_utf8(path, wide)) {
        errno = path && path[0] ? EILSEQ : ENOENT;
        return -1;
    }
    return _wremove(wide.c_str());
}

int tamu_platform_rename(const char *from, const char *to) {
    std::wstring wide_from, wide_to;
    if (!from || !to || !from[0] || !to[0] || !win32_wide_from_utf8(from, wide_from) ||
        !win32_wide_from_utf8(to, wide_to)) {
        errno = from && to && from[0] && to[0] ? EILSEQ : ENOENT;
        return -1;
    }
    // As on Linux, a file already at the new name is replaced.
    if (MoveFileExW(wide_from.c_str(), wide_to.c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
    win32_set_errno_from_last_error();
    return -1;
}

const char *tamu_platform_getenv(const char *name) {
    thread_local std::string value;
    std::wstring wide_name;
    if (!name || !win32_wide_from_utf8(name, wide_name)) return nullptr;
    std::wstring wide(256, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        DWORD n = GetEnvironmentVariableW(wide_name.c_str(), wide.data(), static_cast<DWORD>(wide.size()));
        if (n == 0) {
            // An empty variable and a missing one differ only in the error.
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return nullptr;
            value.clear();
            return value.c_str();
        }
        if (n < wide.size()) {
            wide.resize(n);
            break;
        }
        wide.resize(n);   // n counts the terminator when the buffer was too small
    }
    if (!win32_utf8_from_wide(wide.c_str(), value)) return nullptr;
    return value.c_str();
}
