// The os library: clock, date, difftime, execute, exit, getenv, remove,
// rename, setlocale, time, tmpname.
//
// A time is a count of seconds that a 16.16 number cannot hold as a value,
// so time values travel as the number's raw 32 bits (an unsigned count:
// 1970 to 2106); difftime and clock give seconds as numbers.
#include "lauxlib.h"
#include "lualib.h"
#include "tamu_platform.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

zorva_fixed to_fixed(double x) {
    if (std::isnan(x)) return 0;
    double raw = x * 65536.0;
    if (raw >= 2147483647.0) return (zorva_fixed)0x7FFFFFFF;
    if (raw <= -2147483648.0) return (zorva_fixed)INT32_MIN;
    return (zorva_fixed)std::llround(raw);
}

void push_whole(lua_State *L, int64_t n) { lua_pushunsigned(L, (lua_Unsigned)(uint32_t)n); }

// Whether a time is a count that 32 unsigned bits hold.
bool fits_time(long long t) { return t >= 0 && t <= 0xFFFFFFFFLL; }

// Times are 64-bit counts of seconds on every platform (the platform
// layer's calendar functions).
void push_time(lua_State *L, int64_t t) { lua_pushnumber(L, (zorva_fixed)(uint32_t)t); }

int64_t time_arg(lua_State *L, int i) { return (int64_t)(uint32_t)luaL_checknumber(L, i); }

int os_execute(lua_State *L) {
    const char *cmd = luaL_optstring(L, 1, nullptr);
    int stat = std::system(cmd);
    if (cmd != nullptr) return luaL_execresult(L, stat);
    lua_pushboolean(L, stat); // is there a shell?
    return 1;
}

int os_remove(lua_State *L) {
    const char *filename = luaL_checkstring(L, 1);
    return luaL_fileresult(L, tamu_platform_remove(filename) == 0, filename);
}

int os_rename(lua_State *L) {
    const char *from = luaL_checkstring(L, 1);
    const char *to = luaL_checkstring(L, 2);
    return luaL_fileresult(L, tamu_platform_rename(from, to) == 0, nullptr);
}

int os_tmpname(lua_State *L) {
    char name[1024];
    if (tamu_create_temp_file(name, sizeof name) != 0) return luaL_error(L, "unable to generate a unique filename");
    lua_pushstring(L, name);
    return 1;
}

int os_getenv(lua_State *L) {
    lua_pushstring(L, tamu_platform_getenv(luaL_checkstring(L, 1))); // nil when unset
    return 1;
}

int os_clock(lua_State *L) {
    lua_pushnumber(L, to_fixed((double)std::clock() / (double)CLOCKS_PER_SEC));
    return 1;
}

// ---- date and time -----------------------------------------------------------

void set_field(lua_State *L, const char *key, int value) {
    push_whole(L, value);
    lua_setfield(L, -2, key);
}

void set_bool_field(lua_State *L, const char *key, int value) {
    if (value < 0) return; // undefined
    lua_pushboolean(L, value);
    lua_setfield(L, -2, key);
}

void set_all_fields(lua_State *L, const std::tm *stm) {
    set_field(L, "sec", stm->tm_sec);
    set_field(L, "min", stm->tm_min);
    set_field(L, "hour", stm->tm_hour);
    set_field(L, "day", stm->tm_mday);
    set_field(L, "month", stm->tm_mon + 1);
    set_field(L, "year", stm->tm_year + 1900);
    set_field(L, "wday", stm->tm_wday + 1);
    set_field(L, "yday", stm->tm_yday + 1);
    set_bool_field(L, "isdst", stm->tm_isdst);
}

int get_bool_field(lua_State *L, const char *key) {
    lua_getfield(L, -1, key);
    int res = lua_isnil(L, -1) ? -1 : lua_toboolean(L, -1);
    lua_pop(L, 1);
    return res;
}

// A whole field of the date table; d < 0 means it must be there.
int get_field(lua_State *L, const char *key, int d) {
    lua_getfield(L, -1, key);
    int isnum;
    lua_Integer res = lua_tointegerx(L, -1, &isnum);
    if (!isnum) {
        if (d < 0) return luaL_error(L, "field '%s' missing in date table", key);
        res = d;
    }
    lua_pop(L, 1);
    return (int)res;
}

// The conversions strftime knows (C99), one or two characters each; an
// 'E' or 'O' modifier comes with the conversions it allows.
bool valid_conversion(const char *conv, size_t *length) {
    static const char *const singles = "aAbBcCdDeFgGhHIjmMnprRStTuUVwWxXyYzZ%";
    static const char *const with_e = "cCxXyY";
    static const char *const with_o = "deHImMSuUVwWy";
    if (*conv == '\0') return false;
    if (*conv == 'E' || *conv == 'O') {
        const char *allowed = *conv == 'E' ? with_e : with_o;
        if (conv[1] == '\0' || !std::strchr(allowed, conv[1])) return false;
        *length = 2;
        return true;
    }
    *length = 1;
    return std::strchr(singles, *conv) != nullptr;
}

int os_date(lua_State *L) {
    const char *s = luaL_optstring(L, 1, "%c");
    int64_t t = luaL_opt(L, time_arg, 2, tamu_platform_time());
    std::tm calendar;
    std::tm *stm = &calendar;
    int failed;
    if (*s == '!') { // universal time
        failed = tamu_platform_universal_time(t, stm);
        s++;
    } else {
        failed = tamu_platform_local_time(t, stm);
    }
    if (failed) { // a time the system cannot show
        lua_pushnil(L);
        return 1;
    }
    if (std::strcmp(s, "*t") == 0) {
        lua_createtable(L, 0, 9);
        set_all_fields(L, stm);
        return 1;
    }
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    while (*s) {
        if (*s != '%') {
            luaL_addchar(&b, *s++);
            continue;
        }
        size_t length;
        if (!valid_conversion(s + 1, &length)) {
            char shown[4] = {s[1], s[1] ? s[2] : '\0', '\0', '\0'};
            if (shown[0] != 'E' && shown[0] != 'O') shown[1] = '\0';
            return luaL_argerror(L, 1, lua_pushfstring(L, "invalid conversion specifier '%%%s'", shown));
        }
        char conversion[4] = {'%', s[1], length > 1 ? s[2] : '\0', '\0'};
        char buff[256];
        size_t n = std::strftime(buff, sizeof buff, conversion, stm);
        luaL_addlstring(&b, buff, n);
        s += 1 + length;
    }
    luaL_pushresult(&b);
    return 1;
}

int os_time(lua_State *L) {
    int64_t t;
    if (lua_isnoneornil(L, 1)) {
        t = tamu_platform_time();
    } else {
        luaL_checktype(L, 1, LUA_TTABLE);
        lua_settop(L, 1);
        std::tm ts{};
        ts.tm_sec = get_field(L, "sec", 0);
        ts.tm_min = get_field(L, "min", 0);
        ts.tm_hour = get_field(L, "hour", 12);
        ts.tm_mday = get_field(L, "day", -1);
        ts.tm_mon = get_field(L, "month", -1) - 1;
        ts.tm_year = get_field(L, "year", -1) - 1900;
        ts.tm_isdst = get_bool_field(L, "isdst");
        t = tamu_platform_make_time(&ts);
    }
    if (t == -1 || !fits_time(t)) lua_pushnil(L);
    else push_time(L, t);
    return 1;
}

int os_difftime(lua_State *L) {
    double seconds = (double)(time_arg(L, 1) - luaL_opt(L, time_arg, 2, (int64_t)0));
    lua_pushnumber(L, to_fixed(seconds));
    return 1;
}

int os_setlocale(lua_State *L) {
    static const int categories[] = {LC_ALL, LC_COLLATE, LC_CTYPE, LC_MONETARY, LC_NUMERIC, LC_TIME};
    static const char *const names[] = {"all", "collate", "ctype", "monetary", "numeric", "time", nullptr};
    const char *l = luaL_optstring(L, 1, nullptr);
    int op = luaL_checkoption(L, 2, "all", names);
    lua_pushstring(L, std::setlocale(categories[op], l));
    return 1;
}

int os_exit(lua_State *L) {
    int status;
    if (lua_isboolean(L, 1)) status = lua_toboolean(L, 1) ? EXIT_SUCCESS : EXIT_FAILURE;
    else status = luaL_optint(L, 1, EXIT_SUCCESS);
    if (lua_toboolean(L, 2)) lua_close(L);
    std::exit(status);
}

const luaL_Reg os_functions[] = {
    {"clock", os_clock},     {"date", os_date},         {"difftime", os_difftime},
    {"execute", os_execute}, {"exit", os_exit},         {"getenv", os_getenv},
    {"remove", os_remove},   {"rename", os_rename},     {"setlocale", os_setlocale},
    {"time", os_time},       {"tmpname", os_tmpname},   {nullptr, nullptr},
};

} // namespace

int luaopen_os(lua_State *L) {
    luaL_newlib(L, os_functions);
    return 1;
}
