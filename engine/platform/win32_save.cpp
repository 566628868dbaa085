// Saving files whole on Windows: a temporary sibling, flushed to the disk,
// then moved over the target in one step (MoveFileExA replaces an existing
// file and returns only once the move is on the disk).
#include "tamu.h"
#include "tamu_file_platform.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

static std::atomic<unsigned> temp_counter{0};

FILE *tamu_platform_open_temp(const char *target, char *temp_path) {
    temp_path[0] = 0;
    for (int attempt = 0; attempt < 16; attempt++) {
        unsigned n = temp_counter.fetch_add(1);
        int length = std::snprintf(temp_path, 1024, "%s.tmp-%lu-%u", target,
                                   static_cast<unsigned long>(GetCurrentProcessId()), n);
        if (length < 0 || length > 1023) break;
        // Not inherited by programs the player starts.
        int fd = _open(temp_path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                       _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            break;
        }
        FILE *stream = _fdopen(fd, "wb");
        if (!stream) {
            _close(fd);
            DeleteFileA(temp_path);
            break;
        }
        return stream;
    }
    temp_path[0] = 0;
    return nullptr;
}

int tamu_platform_commit_temp(FILE *stream, const char *temp_path, const char *target) {
    bool ok = std::fflush(stream) == 0 && !std::ferror(stream);
    if (ok && _commit(_fileno(stream)) != 0) ok = false;
    if (std::fclose(stream) != 0) ok = false;
    if (ok && !MoveFileExA(temp_path, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ok = false;
    if (!ok) {
        DeleteFileA(temp_path);
        return 1;
    }
    return 0;
}
