// The calendar on Linux: the C library's time functions (a 64-bit time_t).
#include "tamu_platform.h"

#include <ctime>

int64_t tamu_platform_time() { return static_cast<int64_t>(std::time(nullptr)); }

int tamu_platform_local_time(int64_t time, std::tm *out) {
    std::time_t t = static_cast<std::time_t>(time);
    return localtime_r(&t, out) ? 0 : 1;
}

int tamu_platform_universal_time(int64_t time, std::tm *out) {
    std::time_t t = static_cast<std::time_t>(time);
    return gmtime_r(&t, out) ? 0 : 1;
}

int64_t tamu_platform_make_time(std::tm *local) { return static_cast<int64_t>(std::mktime(local)); }
