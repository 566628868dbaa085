// The functions that the engine's test tool (tools/zscript) and the
// script tests give every script: the cart-visible engine functions
// (pairs, type, assert, setmetatable, getmetatable, cocreate, coresume,
// costatus, sub, trace), yield, and out(...), which prints its arguments
// separated by single spaces and a newline, numbers in their 16.16 text
// form.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lauxlib.h"
#include "lua.h"
#include "lualib.h"

namespace zorva_testlib {

// The text of a value as out() prints it.
inline std::string text_of(lua_State *L, int idx) {
    char buf[64];
    switch (lua_type(L, idx)) {
    case LUA_TNIL: return "nil";
    case LUA_TBOOLEAN: return lua_toboolean(L, idx) ? "true" : "false";
    case LUA_TNUMBER: {
        int n = zorva_fixed_to_string(buf, lua_tonumber(L, idx));
        return std::string(buf, (size_t)n);
    }
    case LUA_TSTRING: {
        size_t len = 0;
        const char *s = lua_tolstring(L, idx, &len);
        return std::string(s, len);
    }
    default:
        std::snprintf(buf, sizeof buf, "%s: %p", lua_typename(L, lua_type(L, idx)), lua_topointer(L, idx));
        return buf;
    }
}

// out(...): the line goes to the std::string in upvalue 1 when there is
// one, else to standard output.
inline int z_out(lua_State *L) {
    int n = lua_gettop(L);
    std::string line;
    for (int i = 1; i <= n; i++) {
        if (i > 1) line += ' ';
        line += text_of(L, i);
    }
    line += '\n';
    std::string *sink = static_cast<std::string *>(lua_touserdata(L, lua_upvalueindex(1)));
    if (sink) *sink += line;
    else std::fwrite(line.data(), 1, line.size(), stdout);
    return 0;
}

inline int z_yield(lua_State *L) { return lua_yield(L, lua_gettop(L)); }

// ---- String and debug stand-ins ----------------------------------------
// sub and trace stand in for the string and debug library functions that
// carts see, until those libraries exist. Errors carry no position, as
// host errors do, and record the calling script line.

[[noreturn]] inline void host_error(lua_State *L, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    lua_pushvfstring(L, fmt, ap);
    va_end(ap);
    lua_zorva_record_error_line(L, 1);
    lua_error(L);
    std::abort(); // not reached
}

inline void check_type(lua_State *L, int arg, int t, const char *fname) {
    if (lua_type(L, arg) != t) {
        const char *got = lua_type(L, arg) == LUA_TNONE ? "no value" : lua_typename(L, lua_type(L, arg));
        host_error(L, "bad argument #%d to '%s' (%s expected, got %s)", arg, fname, lua_typename(L, t), got);
    }
}

inline int z_sub(lua_State *L) {
    int t = lua_type(L, 1);
    if (t != LUA_TSTRING && t != LUA_TNUMBER) check_type(L, 1, LUA_TSTRING, "sub");
    if (!lua_isnumber(L, 2)) check_type(L, 2, LUA_TNUMBER, "sub");
    size_t len = 0;
    const char *s = lua_tolstring(L, 1, &len);
    long l = (long)len;
    long i = (long)lua_tointeger(L, 2);
    long j = lua_isnoneornil(L, 3) ? -1 : (long)lua_tointeger(L, 3);
    auto pos = [l](long p) { return p >= 0 ? p : (-p > l ? 0 : l + p + 1); };
    i = pos(i);
    j = pos(j);
    if (i < 1) i = 1;
    if (j > l) j = l;
    if (i > j) lua_pushliteral(L, "");
    else lua_pushlstring(L, s + i - 1, (size_t)(j - i + 1));
    return 1;
}

inline int z_trace(lua_State *L) {
    int t = lua_type(L, 1);
    if (t != LUA_TNONE && t != LUA_TNIL && t != LUA_TSTRING && t != LUA_TNUMBER) {
        lua_pushvalue(L, 1);
        return 1;
    }
    luaL_traceback(L, L, lua_tostring(L, 1), 1);
    return 1;
}

// Registers the cart functions, yield and out; out() appends to *sink when
// it is given.
inline void open_cart_functions(lua_State *L, std::string *sink = nullptr) {
    struct Reg {
        const char *name;
        lua_CFunction f;
    };
    zorva_open_cart_base(L);
    static const Reg regs[] = {
        {"sub", z_sub}, {"trace", z_trace}, {"yield", z_yield}, {"out", z_out},
    };
    for (const Reg &r : regs) {
        if (r.f == z_out && sink != nullptr) {
            lua_pushlightuserdata(L, sink);
            lua_pushcclosure(L, z_out, 1);
        } else {
            lua_pushcfunction(L, r.f);
        }
        lua_setglobal(L, r.name);
    }
}

} // namespace zorva_testlib
