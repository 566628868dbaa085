// Files named by paths on Linux: the system takes the names' bytes as they
// are (UTF-8 by convention).
#include "tamu.h"

#include <cstdio>
#include <cstdlib>

FILE *tamu_platform_fopen(const char *path, const char *mode) {
    if (!path || !path[0] || !mode) return nullptr;
    return std::fopen(path, mode);
}

int tamu_platform_remove(const char *path) { return path && path[0] ? std::remove(path) : -1; }

int tamu_platform_rename(const char *from, const char *to) {
    return from && to && from[0] && to[0] ? std::rename(from, to) : -1;
}

const char *tamu_platform_getenv(const char *name) { return name ? std::getenv(name) : nullptr; }
