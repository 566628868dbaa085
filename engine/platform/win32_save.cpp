// Saving files whole on Windows: a temporary sibling, flushed to the disk,
// then moved over the target in one step (MoveFileExW replaces an existing
// file and returns only once the move is on the disk). Names are UTF-8,
// handed to the system as wide text.
#include "tamu.h"
#include "tamu_file_platform.h"
#include "win32_utf8.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

static std::atomic<unsigned> temp_counter{0};

static void remove_file(const char *path) {
    std::wstring wide;
    if (win32_wide_from_utf8(path, wide)) DeleteFileW(wide.c_str());
}

FILE *tamu_platform_open_temp(const char *target, char *temp_path) {
    temp_path[0] = 0;
    for (int attempt = 0; attempt < 16; attempt++) {
        unsigned n = temp_counter.fetch_add(1);
        int length = std::snprintf(temp_path, 1024, "%s.tmp-%lu-%u", target,
                                   static_cast<unsigned long>(GetCurrentProcessId()), n);
        if (length < 0 || length > 1023) break;
        std::wstring wide;
        if (!win32_wide_from_utf8(temp_path, wide)) break;
        // Not inherited by programs the player starts.
        int fd = _wopen(wide.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                        _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            break;
        }
        FILE *stream = _fdopen(fd, "wb");
        if (!stream) {
            _close(fd);
            DeleteFileW(wide.c_str());
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
    std::wstring wide_temp, wide_target;
    if (ok && (!win32_wide_from_utf8(temp_path, wide_temp) || !win32_wide_from_utf8(target, wide_target)))
        ok = false;
    if (ok && !MoveFileExW(wide_temp.c_str(), wide_target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ok = false;
    if (!ok) {
        remove_file(temp_path);
        return 1;
    }
    return 0;
}
