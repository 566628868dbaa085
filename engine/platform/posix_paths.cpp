// Paths on Linux: the application-data, program and desktop folders.
#include "tamu.h"

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

// Joins parts into out (1024 characters); fails, leaving out empty, when
// the result would not fit.
static int join(char *out, const char *a, const char *b = "", const char *c = "", const char *d = "") {
    int n = std::snprintf(out, 1024, "%s%s%s%s", a, b, c, d);
    if (n < 0 || n > 1023) {
        out[0] = 0;
        return 1;
    }
    return 0;
}

static bool path_is_set(const char *path) { return path[0] != 0 && path[0] != ' '; }

void tamu_mkdir(const char *path) { mkdir(path, 0755); }

int tamu_prefix_with_appdata_path(const char *name, char *out) {
    if (path_is_set(cconfig.home_path)) {
        tamu_mkdir(cconfig.home_path);
        size_t n = std::strlen(cconfig.home_path);
        const char *sep = cconfig.home_path[n - 1] == '/' ? "" : "/";
        return join(out, cconfig.home_path, sep, name);
    }
    const char *home = std::getenv("HOME");
    if (home && home[0]) {
        char base[1024];
        if (join(base, home, "/.ostrel")) {
            out[0] = 0;
            return 1;
        }
        tamu_mkdir(base);
        char folder[1024];
        if (join(folder, base, "/", tamu_state.application_title)) {
            out[0] = 0;
            return 1;
        }
        tamu_mkdir(folder);
        return join(out, folder, "/", name);
    }
    return join(out, name);
}

int tamu_prefix_with_program_path(const char *name, char *out) {
    char exe[512];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        tamu_debug("** ERROR: tamu_prefix_with_program_path failed.\n");
        return join(out, "./", name);
    }
    exe[n] = 0;
    char *slash = std::strrchr(exe, '/');
    if (slash) slash[1] = 0;
    return join(out, exe, name);
}

int tamu_prefix_with_desktop_path(const char *name, char *out) {
    if (path_is_set(cconfig.desktop_path)) {
        tamu_mkdir(cconfig.desktop_path);
        size_t n = std::strlen(cconfig.desktop_path);
        const char *sep = cconfig.desktop_path[n - 1] == '/' ? "" : "/";
        return join(out, cconfig.desktop_path, sep, name);
    }
    const char *home = std::getenv("HOME");
    if (home && home[0]) return join(out, home, "/Desktop/", name);
    return join(out, name);
}
