// Temporary files and native libraries on Linux: the program loads no
// native libraries.
#include "tamu_platform.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int tamu_create_temp_file(char *out, int capacity) {
    const char *folder = std::getenv("TMPDIR");
    if (!folder || !*folder) folder = "/tmp";
    char path[1024];
    if (std::snprintf(path, sizeof path, "%s/lua_XXXXXX", folder) >= int(sizeof path)) return 1;
    int fd = mkstemp(path);
    if (fd < 0) return 1;
    close(fd);
    if (std::snprintf(out, size_t(capacity), "%s", path) >= capacity) {
        std::remove(path);
        return 1;
    }
    return 0;
}

int tamu_native_libraries_supported() { return 0; }

void *tamu_load_native_library(const char *, char *error, int capacity) {
    std::snprintf(error, size_t(capacity), "%s", "dynamic libraries not enabled; check your Lua installation");
    return nullptr;
}

void *tamu_native_library_function(void *, const char *, char *error, int capacity) {
    std::snprintf(error, size_t(capacity), "%s", "dynamic libraries not enabled; check your Lua installation");
    return nullptr;
}

void tamu_free_native_library(void *) {}
