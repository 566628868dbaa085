// Paths on Windows: the home, application-data, program and desktop
// folders. Folders taken from the system (environment, module file name)
// have their backslashes turned into '/', the separator the rest of the
// engine writes.
#include "tamu.h"
#include "tamu_file_platform.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static int fail(char *out) {
    out[0] = 0;
    return 1;
}

static void to_slashes(char *path) {
    for (; *path; path++)
        if (*path == '\\') *path = '/';
}

static bool ends_with_separator(const char *path) {
    size_t n = std::strlen(path);
    return n > 0 && (path[n - 1] == '/' || path[n - 1] == '\\');
}

// A non-empty environment variable, or null.
static const char *env(const char *name) {
    const char *value = std::getenv(name);
    return value && value[0] ? value : nullptr;
}

void tamu_mkdir(const char *path) {
    if (path && path[0]) CreateDirectoryA(path, nullptr);
}

int tamu_platform_home_folder(char *out) {
    const char *drive = env("HOMEDRIVE");
    const char *path = env("HOMEPATH");
    if (!drive && !path) {
        out[0] = 0;
        return 1;
    }
    if (tamu_path_join(out, drive ? drive : "", path ? path : "")) return 1;
    to_slashes(out);
    return 0;
}

int tamu_prefix_with_program_path(const char *name, char *out) {
    char exe[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    // A name that fills the buffer has been cut: never use a wrong folder.
    if (n == 0 || n >= MAX_PATH) {
        tamu_debug("** ERROR: tamu_prefix_with_program_path failed.\n");
        return tamu_path_join(out, "./", name);
    }
    exe[n] = 0;
    to_slashes(exe);
    char *slash = std::strrchr(exe, '/');
    if (slash)
        slash[1] = 0;
    else
        exe[0] = 0;
    return tamu_path_join(out, exe, name);
}

int tamu_get_program_filename(char *out) {
    char exe[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return fail(out);
    exe[n] = 0;
    to_slashes(exe);
    return tamu_path_join(out, exe);
}

int tamu_chmod(const char *path, int) { return path && path[0] ? 0 : 1; }

int tamu_prefix_with_appdata_path(const char *name, char *out) {
    if (tamu_path_is_set(cconfig.home_path)) {
        // The folder is the user's choice: used as given, not created.
        char folder[1024];
        if (tamu_path_join(folder, cconfig.home_path)) return fail(out);
        to_slashes(folder);
        return tamu_path_join(out, folder, ends_with_separator(folder) ? "" : "/", name);
    }
    char base[1024];
    if (const char *appdata = env("APPDATA")) {
        if (tamu_path_join(base, appdata)) return fail(out);
    } else if (const char *profile = env("USERPROFILE")) {
        if (tamu_path_join(base, profile, "/Application Data")) return fail(out);
    } else if (tamu_prefix_with_program_path("", base)) {
        return fail(out);
    }
    to_slashes(base);
    // The program folder already ends with '/'.
    char folder[1024];
    if (tamu_path_join(folder, base, ends_with_separator(base) ? "" : "/", tamu_state.application_title))
        return fail(out);
    tamu_mkdir(folder);
    return tamu_path_join(out, folder, "/", name);
}

int tamu_prefix_with_desktop_path(const char *name, char *out) {
    if (tamu_path_is_set(cconfig.desktop_path)) {
        tamu_mkdir(cconfig.desktop_path);
        const char *sep = ends_with_separator(cconfig.desktop_path) ? "" : "/";
        return tamu_path_join(out, cconfig.desktop_path, sep, name);
    }
    if (const char *profile = env("USERPROFILE")) {
        char folder[1024];
        if (tamu_path_join(folder, profile)) return fail(out);
        to_slashes(folder);
        if (tamu_path_join(folder, folder, "/Desktop")) return fail(out);
        tamu_mkdir(folder);
        return tamu_path_join(out, folder, "/", name);
    }
    return tamu_prefix_with_program_path(name, out);
}
