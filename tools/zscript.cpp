// zscript: runs a cart-language script on a fresh script state, the way the
// console runs carts, for the engine's tests and benchmarks.
//
//   zscript [--hook] [--base] [--libs] FILE
//
// The script sees the cart-visible engine functions (pairs, type, assert,
// setmetatable, getmetatable, cocreate, coresume, costatus, sub, trace),
// plus yield and out(...), which prints its arguments separated by single
// spaces and a newline (numbers in their 16.16 text form). The chunk runs
// as a coroutine through lua_resume, resumed after every yield. A compile
// or runtime error prints "error: " and the message on standard output and
// exits with status 1. Lines in compile errors are the file's own (the
// console would show them within a code tab).
//
//   --hook  installs a count hook every 1024 instructions that only counts,
//           as the console's CPU limiter runs.
//   --base  also opens the whole base and coroutine libraries (print,
//           pcall, error, select, ipairs, tonumber, ...).
//   --libs  opens those and every standard library as a host would (string,
//           table, math, os, debug, bit32, package).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "lauxlib.h"
#include "lsource_load.h"
#include "ltestlib.h"
#include "lua.h"
#include "lualib.h"
#include "zorva_hooks.h"

namespace {

long hook_calls = 0;

void count_hook(lua_State *, lua_Debug *) { hook_calls++; }

// The compiler shows a line L of the text as find_tab_line(L - 3) + 1, the
// console's rule for its code tabs; a plain file has none, so every line
// maps back to itself.
int file_line(int line, int *tab) {
    if (tab) *tab = 0;
    return line + 2;
}

void *plain_alloc(void *, void *ptr, size_t, size_t nsize) {
    if (nsize == 0) {
        std::free(ptr);
        return nullptr;
    }
    return std::realloc(ptr, nsize);
}

bool read_file(const char *path, std::string *out) {
    FILE *f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
    std::fclose(f);
    return true;
}

int fail(lua_State *L) {
    const char *msg = lua_tostring(L, -1);
    std::printf("error: %s\n", msg ? msg : "(error object is not a string)");
    std::fflush(stdout);
    lua_close(L);
    return 1;
}

} // namespace

int main(int argc, char **argv) {
#ifdef _WIN32
    // The output is compared byte for byte with the expected files: lines
    // end in LF on every platform.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    bool hook = false, base = false, libs = false;
    const char *file = nullptr;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--hook") == 0) hook = true;
        else if (std::strcmp(argv[i], "--base") == 0) base = true;
        else if (std::strcmp(argv[i], "--libs") == 0) base = libs = true;
        else if (file == nullptr) file = argv[i];
        else file = nullptr, i = argc;
    }
    if (file == nullptr) {
        std::fprintf(stderr, "usage: zscript [--hook] [--base] [--libs] FILE\n");
        return 2;
    }
    std::string source;
    if (!read_file(file, &source)) {
        std::printf("error: cannot open %s\n", file);
        return 1;
    }

    zorva_hook_find_tab_line = file_line;
    lua_zorva_fixseed(1, 0x5eed); // the same table orders on every run
    lua_State *L = lua_newstate(plain_alloc, nullptr);
    if (L == nullptr) {
        std::printf("error: not enough memory\n");
        return 1;
    }
    if (base) {
        luaL_requiref(L, "_G", luaopen_base, 1);
        luaL_requiref(L, "coroutine", luaopen_coroutine, 1);
        lua_settop(L, 0);
    }
    if (libs) {
        const luaL_Reg openers[] = {
            {LUA_LOADLIBNAME, luaopen_package}, {LUA_TABLIBNAME, luaopen_table}, {LUA_IOLIBNAME, luaopen_io},
            {LUA_OSLIBNAME, luaopen_os},        {LUA_STRLIBNAME, luaopen_string}, {LUA_BITLIBNAME, luaopen_bit32},
            {LUA_MATHLIBNAME, luaopen_math},    {LUA_DBLIBNAME, luaopen_debug},
        };
        for (const luaL_Reg &o : openers) {
            luaL_requiref(L, o.name, o.func, 1);
            lua_settop(L, 0);
        }
    }
    zorva_testlib::open_cart_functions(L);
    if (hook) lua_sethook(L, count_hook, LUA_MASKCOUNT, 1024);

    std::string name = std::string("@") + file;
    if (zorva_load_source(L, source.data(), source.size(), name.c_str()) != LUA_OK) return fail(L);
    int status;
    while ((status = lua_resume(L, nullptr, 0)) == LUA_YIELD) lua_settop(L, 0); // drop what was yielded
    if (status != LUA_OK) return fail(L);
    std::fflush(stdout);
    lua_close(L);
    return 0;
}
