// Saving files whole on Linux: a temporary sibling, fsync, rename.
#include "tamu.h"
#include "tamu_file_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static std::atomic<unsigned> temp_counter{0};

// The file a save really replaces: the file a symbolic link points to (so
// the link stays and the save reaches its file), else target itself.
static void real_target(const char *target, char *out) {
    std::snprintf(out, 1024, "%s", target);
    struct stat st;
    if (lstat(target, &st) != 0 || !S_ISLNK(st.st_mode)) return;
    char *resolved = realpath(target, nullptr);
    if (!resolved) return;  // a dangling link is replaced like a file
    if (std::strlen(resolved) <= 1023) std::strcpy(out, resolved);
    std::free(resolved);
}

// The temporary name: the target's own name with a suffix, or, when that
// would not fit (a long name), a short hidden name in the same folder.
static int temp_name(char *out, const char *target, bool short_name, unsigned n) {
    int pid = static_cast<int>(getpid());
    if (!short_name) return std::snprintf(out, 1024, "%s.tmp-%d-%u", target, pid, n);
    const char *slash = std::strrchr(target, '/');
    int folder = slash ? static_cast<int>(slash - target) + 1 : 0;
    return std::snprintf(out, 1024, "%.*s.tmp-%d-%u", folder, target, pid, n);
}

FILE *tamu_platform_open_temp(const char *target_path, char *temp_path) {
    temp_path[0] = 0;
    char target[1024];
    real_target(target_path, target);
    // Keep the file's permissions when it is replaced.
    struct stat old;
    bool replacing = stat(target, &old) == 0 && S_ISREG(old.st_mode);
    bool short_name = false;
    for (int attempt = 0; attempt < 16; attempt++) {
        int length = temp_name(temp_path, target, short_name, temp_counter.fetch_add(1));
        if (length < 0) break;
        int fd = length > 1023 ? -1 : open(temp_path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (length <= 1023 && errno == EEXIST) continue;
            if (!short_name && (length > 1023 || errno == ENAMETOOLONG)) {
                short_name = true;
                continue;
            }
            break;
        }
        if (replacing) fchmod(fd, old.st_mode & 07777);
        FILE *stream = fdopen(fd, "wb");
        if (!stream) {
            close(fd);
            unlink(temp_path);
            break;
        }
        return stream;
    }
    temp_path[0] = 0;
    return nullptr;
}

// Makes the rename itself durable; a folder that cannot be synced does not
// undo a save that has already taken place.
static void sync_folder_of(const char *target) {
    char folder[1024];
    std::snprintf(folder, sizeof folder, "%s", target);
    char *slash = std::strrchr(folder, '/');
    if (slash == folder)
        slash[1] = 0;
    else if (slash)
        *slash = 0;
    else
        std::strcpy(folder, ".");
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

int tamu_platform_commit_temp(FILE *stream, const char *temp_path, const char *target_path) {
    char target[1024];
    real_target(target_path, target);
    bool ok = std::fflush(stream) == 0 && !std::ferror(stream);
    if (ok && fsync(fileno(stream)) != 0) ok = false;
    if (std::fclose(stream) != 0) ok = false;
    if (ok && std::rename(temp_path, target) != 0) ok = false;
    if (!ok) {
        unlink(temp_path);
        return 1;
    }
    sync_folder_of(target);
    return 0;
}
