// Saving files whole on Linux: a temporary sibling, fsync, rename.
#include "tamu.h"
#include "tamu_file_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

static std::atomic<unsigned> temp_counter{0};

FILE *tamu_platform_open_temp(const char *target, char *temp_path) {
    temp_path[0] = 0;
    // Keep the file's permissions when it is replaced.
    struct stat old;
    bool replacing = stat(target, &old) == 0 && S_ISREG(old.st_mode);
    for (int attempt = 0; attempt < 16; attempt++) {
        unsigned n = temp_counter.fetch_add(1);
        int length = std::snprintf(temp_path, 1024, "%s.tmp-%d-%u", target, static_cast<int>(getpid()), n);
        if (length < 0 || length > 1023) break;
        int fd = open(temp_path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
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

int tamu_platform_commit_temp(FILE *stream, const char *temp_path, const char *target) {
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
