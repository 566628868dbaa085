// The calendar on Windows: the C run-time's 64-bit time functions (its
// plain time_t has 32 bits in a 32-bit program and ends in 2038).
#include "tamu_platform.h"

#include <ctime>

int64_t tamu_platform_time() { return static_cast<int64_t>(_time64(nullptr)); }

int tamu_platform_local_time(int64_t time, std::tm *out) {
    __time64_t t = static_cast<__time64_t>(time);
    return _localtime64_s(out, &t) == 0 ? 0 : 1;
}

int tamu_platform_universal_time(int64_t time, std::tm *out) {
    __time64_t t = static_cast<__time64_t>(time);
    return _gmtime64_s(out, &t) == 0 ? 0 : 1;
}

int64_t tamu_platform_make_time(std::tm *local) { return static_cast<int64_t>(_mktime64(local)); }
