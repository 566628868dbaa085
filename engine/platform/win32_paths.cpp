// Paths on Windows: the home, application-data, program and desktop
// folders. Folders taken from the system (environment, known folders,
// module file name) are read as wide text, kept as UTF-8 and have their
// backslashes turned into '/', the separator the rest of the engine
// writes.
#include "tamu.h"
#include "tamu_file_platform.h"
#include "win32_utf8.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

// A non-empty environment variable (as UTF-8), or an empty text.
static std::string env(const char *name) {
    const char *value = tamu_platform_getenv(name);
    return value ? value : "";
}

// A folder the system knows (the roaming application data, the desktop),
// or an empty text.
static std::string known_folder(REFKNOWNFOLDERID id) {
    PWSTR wide = nullptr;
    std::string folder;
    if (SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &wide) == S_OK) win32_utf8_from_wide(wide, folder);
    CoTaskMemFree(wide);
    return folder;
}

int tamu_mkdir(const char *path) {
    std::wstring wide;
    if (!path || !path[0] || !win32_wide_from_utf8(path, wide)) return 1;
    if (CreateDirectoryW(wide.c_str(), nullptr)) return 0;
    DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
}

int tamu_platform_home_folder(char *out) {
    std::string drive = env("HOMEDRIVE"), path = env("HOMEPATH");
    if (drive.empty() && path.empty()) return fail(out);
    if (tamu_path_join(out, drive.c_str(), path.c_str())) return 1;
    to_slashes(out);
    return 0;
}

// The running program file with '/' separators; false when it cannot be
// read or does not fit in 1023 characters.
static bool program_file(char *out) {
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (n == 0) return false;
        // A name that fills the buffer has been cut: never use a wrong folder.
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        if (exe.size() >= 32768) return false;
        exe.resize(exe.size() * 2);
    }
    std::string utf8;
    if (!win32_utf8_from_wide(exe.c_str(), utf8) || tamu_path_join(out, utf8.c_str())) return false;
    to_slashes(out);
    return true;
}

int tamu_prefix_with_program_path(const char *name, char *out) {
    char exe[1024];
    if (!program_file(exe)) {
        tamu_debug("** ERROR: tamu_prefix_with_program_path failed.\n");
        return tamu_path_join(out, "./", name);
    }
    char *slash = std::strrchr(exe, '/');
    if (slash)
        slash[1] = 0;
    else
        exe[0] = 0;
    return tamu_path_join(out, exe, name);
}

int tamu_get_program_filename(char *out) { return program_file(out) ? 0 : fail(out); }

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
    std::string appdata = env("APPDATA");
    if (appdata.empty()) appdata = known_folder(FOLDERID_RoamingAppData);
    std::string profile = env("USERPROFILE");
    if (!appdata.empty()) {
        if (tamu_path_join(base, appdata.c_str())) return fail(out);
    } else if (!profile.empty()) {
        if (tamu_path_join(base, profile.c_str(), "/Application Data")) return fail(out);
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
    std::string profile = env("USERPROFILE");
    char folder[1024];
    if (!profile.empty()) {
        if (tamu_path_join(folder, profile.c_str(), "/Desktop")) return fail(out);
    } else {
        std::string desktop = known_folder(FOLDERID_Desktop);
        if (desktop.empty()) return tamu_prefix_with_program_path(name, out);
        if (tamu_path_join(folder, desktop.c_str())) return fail(out);
    }
    to_slashes(folder);
    tamu_mkdir(folder);   // captures go there: a profile without one gets it
    return tamu_path_join(out, folder, "/", name);
}
