// Temporary files and native libraries on Windows: libraries load through
// LoadLibraryExW (the path is UTF-8, as every name in the program) and
// GetProcAddress and are freed with FreeLibrary.
#include "tamu_platform.h"
#include "win32_utf8.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void describe_error(const char *what, char *error, int capacity) {
    DWORD code = GetLastError();
    wchar_t text[256];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             256, nullptr);
    while (n > 0 && (text[n - 1] == L'\n' || text[n - 1] == L'\r')) text[--n] = 0;
    std::string utf8;
    if (n > 0 && win32_utf8_from_wide(text, utf8)) std::snprintf(error, size_t(capacity), "%s", utf8.c_str());
    else std::snprintf(error, size_t(capacity), "%s: system error %lu", what, static_cast<unsigned long>(code));
}

}  // namespace

int tamu_create_temp_file(char *out, int capacity) {
    wchar_t folder[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH) return 1;
    wchar_t path[MAX_PATH + 1];
    if (GetTempFileNameW(folder, L"lua", 0, path) == 0) return 1;   // creates the file
    std::string utf8;
    if (!win32_utf8_from_wide(path, utf8) || std::snprintf(out, size_t(capacity), "%s", utf8.c_str()) >= capacity) {
        DeleteFileW(path);
        return 1;
    }
    return 0;
}

int tamu_native_libraries_supported() { return 1; }

void *tamu_load_native_library(const char *path, char *error, int capacity) {
    std::wstring wide;
    if (!win32_wide_from_utf8(path, wide)) {
        std::snprintf(error, size_t(capacity), "%s", "the library's name is not UTF-8");
        return nullptr;
    }
    HMODULE library = LoadLibraryExW(wide.c_str(), nullptr, 0);
    if (!library) describe_error("LoadLibraryExW", error, capacity);
    return reinterpret_cast<void *>(library);
}

void *tamu_native_library_function(void *library, const char *name, char *error, int capacity) {
    FARPROC f = GetProcAddress(static_cast<HMODULE>(library), name);
    if (!f) describe_error("GetProcAddress", error, capacity);
    return reinterpret_cast<void *>(f);
}

void tamu_free_native_library(void *library) {
    if (library) FreeLibrary(static_cast<HMODULE>(library));
}
