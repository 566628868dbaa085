// Paths on Linux: the home, application-data, program and desktop folders.
#include "tamu.h"
#include "tamu_file_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

void tamu_mkdir(const char *path) {
    if (path && path[0]) mkdir(path, 0755);
}

int tamu_platform_home_folder(char *out) {
    const char *home = std::getenv("HOME");
    if (!home || !home[0]) {
        out[0] = 0;
        return 1;
    }
    return tamu_path_join(out, home);
}

int tamu_prefix_with_appdata_path(const char *name, char *out) {
    if (tamu_path_is_set(cconfig.home_path)) {
        tamu_mkdir(cconfig.home_path);
        size_t n = std::strlen(cconfig.home_path);
        const char *sep = cconfig.home_path[n - 1] == '/' ? "" : "/";
        return tamu_path_join(out, cconfig.home_path, sep, name);
    }
    const char *home = std::getenv("HOME");
    if (home && home[0]) {
        char base[1024];
        if (tamu_path_join(base, home, "/.ostrel")) {
            out[0] = 0;
            return 1;
        }
        tamu_mkdir(base);
        char folder[1024];
        if (tamu_path_join(folder, base, "/", tamu_state.application_title)) {
            out[0] = 0;
            return 1;
        }
        tamu_mkdir(folder);
        return tamu_path_join(out, folder, "/", name);
    }
    return tamu_path_join(out, name);
}

int tamu_prefix_with_program_path(const char *name, char *out) {
    char exe[512];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe);
    // A path that fills the buffer may have been cut: never use a wrong folder.
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof exe)) {
        tamu_debug("** ERROR: tamu_prefix_with_program_path failed.\n");
        return tamu_path_join(out, "./", name);
    }
    exe[n] = 0;
    char *slash = std::strrchr(exe, '/');
    if (slash) slash[1] = 0;
    return tamu_path_join(out, exe, name);
}

int tamu_get_program_filename(char *out) {
    char exe[1024];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof exe)) {
        out[0] = 0;
        return 1;
    }
    exe[n] = 0;
    return tamu_path_join(out, exe);
}

int tamu_chmod(const char *path, int mode) {
    if (!path || !path[0]) return 1;
    return chmod(path, static_cast<mode_t>(mode)) == 0 ? 0 : 1;
}

namespace {

// Creates path and every missing folder above it (0755).
void make_folders(const char *path) {
    char part[1024];
    std::snprintf(part, sizeof part, "%s", path);
    for (char *p = part + 1; *p; p++) {
        if (*p != '/') continue;
        *p = 0;
        tamu_mkdir(part);
        *p = '/';
    }
    tamu_mkdir(part);
}

// The desktop folder the user's environment names: XDG_DESKTOP_DIR in
// user-dirs.dirs (in $XDG_CONFIG_HOME, else ~/.config), a quoted value
// that is "$HOME/..." or an absolute path. 0 with the folder in out (no
// trailing '/'), else non-zero.
int xdg_desktop_folder(const char *home, char *out) {
    char file[1024];
    const char *config = std::getenv("XDG_CONFIG_HOME");
    int joined = config && config[0] == '/' ? tamu_path_join(file, config, "/user-dirs.dirs")
                                            : tamu_path_join(file, home, "/.config/user-dirs.dirs");
    if (joined) return 1;
    FILE *f = std::fopen(file, "r");
    if (!f) return 1;
    int found = 1;
    char line[1024];
    while (std::fgets(line, sizeof line, f)) {
        const char *p = line;
        while (*p == ' ' || *p == '\t') p++;
        const char key[] = "XDG_DESKTOP_DIR=\"";
        if (std::strncmp(p, key, sizeof key - 1) != 0) continue;
        p += sizeof key - 1;
        char value[1024];
        size_t n = 0;
        bool closed = false;
        for (; *p && n + 1 < sizeof value; p++) {
            if (*p == '"') {
                closed = true;
                break;
            }
            if (*p == '\\' && p[1]) p++;
            value[n++] = *p;
        }
        value[n] = 0;
        if (!closed) continue;
        // The last line that names the folder counts.
        if (std::strncmp(value, "$HOME", 5) == 0 && (value[5] == 0 || value[5] == '/'))
            found = tamu_path_join(out, home, value + 5);
        else if (value[0] == '/')
            found = tamu_path_join(out, value);
        else
            continue;
        size_t length = std::strlen(out);
        while (length > 1 && out[length - 1] == '/') out[--length] = 0;
    }
    std::fclose(f);
    return found;
}

}  // namespace

int tamu_prefix_with_desktop_path(const char *name, char *out) {
    if (tamu_path_is_set(cconfig.desktop_path)) {
        tamu_mkdir(cconfig.desktop_path);
        size_t n = std::strlen(cconfig.desktop_path);
        const char *sep = cconfig.desktop_path[n - 1] == '/' ? "" : "/";
        return tamu_path_join(out, cconfig.desktop_path, sep, name);
    }
    const char *home = std::getenv("HOME");
    if (home && home[0]) {
        char folder[1024];
        if (xdg_desktop_folder(home, folder) != 0 && tamu_path_join(folder, home, "/Desktop")) {
            out[0] = 0;
            return 1;
        }
        make_folders(folder);
        size_t n = std::strlen(folder);
        return tamu_path_join(out, folder, folder[n - 1] == '/' ? "" : "/", name);
    }
    return tamu_path_join(out, name);
}
