// Directory search and dates on Linux.
#include "tamu.h"
#include "tamu_file_platform.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>

static_assert(TAMU_FIND_DIRECTORY == S_IFDIR && TAMU_FIND_FILE == S_IFREG,
              "the search mask uses the system's mode bits");

int tamu_find_first(const char *directory, const char *pattern, cfind *search, uint32_t mask) {
    if (tamu_find_prepare(directory, pattern, search, mask)) return 1;
    search->dir = opendir(directory);
    if (!search->dir) return 1;
    return tamu_find_next(search);
}

int tamu_find_next(cfind *search) {
    if (!search || !search->dir) return 1;
    auto *dir = static_cast<DIR *>(search->dir);
    while (dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        size_t length = std::strlen(name);
        size_t suffix = static_cast<size_t>(search->suffix_length);
        if (length < suffix || length > sizeof search->name - 1) continue;
        if (suffix > 0 && strcasecmp(name + length - suffix, search->suffix) != 0) continue;
        char path[1024];
        int n = std::snprintf(path, sizeof path, "%s/%s", search->directory, name);
        if (n < 0 || n > static_cast<int>(sizeof path) - 1) continue;
        struct stat st;
        if (stat(path, &st) != 0) continue;
        if ((static_cast<uint32_t>(st.st_mode) & search->mask) == 0) continue;
        std::memcpy(search->name, name, length + 1);
        search->mode = static_cast<uint32_t>(st.st_mode);
        search->size = static_cast<uint32_t>(st.st_size);
        search->time = static_cast<int64_t>(st.st_mtime);
        return 0;
    }
    return 1;
}

int tamu_find_close(cfind *search) {
    if (search && search->dir) {
        closedir(static_cast<DIR *>(search->dir));
        search->dir = nullptr;
    }
    return 0;
}

int tamu_get_date_at(int64_t time, int *year, int *month, int *day) {
    std::time_t t = static_cast<std::time_t>(time);
    std::tm local;
    if (!localtime_r(&t, &local)) {
        tamu_debug("warning: tamu_get_date failed\n");
        return 0;
    }
    int y = local.tm_year + 1900, m = local.tm_mon + 1, d = local.tm_mday;
    if (year) *year = y;
    if (month) *month = m;
    if (day) *day = d;
    return y * 10000 + m * 100 + d;
}

int tamu_get_date(int *year, int *month, int *day) {
    return tamu_get_date_at(static_cast<int64_t>(std::time(nullptr)), year, month, day);
}

void tamu_print_date(int64_t time, char *out) {
    std::time_t t = static_cast<std::time_t>(time);
    std::tm local;
    out[0] = 0;
    if (!localtime_r(&t, &local)) return;
    if (std::strftime(out, 32, "%Y-%m-%d %H:%M:%S", &local) == 0) out[0] = 0;
}
