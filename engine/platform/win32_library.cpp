// Temporary files and native libraries on Windows: libraries load through
// LoadLibraryExA and GetProcAddress and are freed with FreeLibrary.
#include "tamu_platform.h"

#include <windows.h>

#include <cstdio>

namespace {

void describe_error(const char *what, char *error, int capacity) {
    DWORD code = GetLastError();
    char text[256];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) text[--n] = 0;
    if (n > 0) std::snprintf(error, size_t(capacity), "%s", text);
    else std::snprintf(error, size_t(capacity), "%s: system error %lu", what, static_cast<unsigned long>(code));
}

}  // namespace

int tamu_create_temp_file(char *out, int capacity) {
    char folder[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n > MAX_PATH) return 1;
    char path[MAX_PATH + 1];
    if (GetTempFileNameA(folder, "lua", 0, path) == 0) return 1;   // creates the file
    if (std::snprintf(out, size_t(capacity), "%s", path) >= capacity) {
        DeleteFileA(path);
        return 1;
    }
    return 0;
}

int tamu_native_libraries_supported() { return 1; }

void *tamu_load_native_library(const char *path, char *error, int capacity) {
    HMODULE library = LoadLibraryExA(path, nullptr, 0);
    if (!library) describe_error("LoadLibraryExA", error, capacity);
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
