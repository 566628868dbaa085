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

#include "lua.h"

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

// ---- Minimal cart functions ----------------------------------------------
// TEMPORARY: stand-ins for the base, coroutine, string and debug library
// functions that carts see, until the auxiliary/base library lands; replace
// each with the library's own (luaB_pairs, luaB_type, ..., string.sub,
// debug.traceback) then. Errors carry no position, as host errors do, and
// record the calling script line.

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

inline int z_next(lua_State *L) {
    check_type(L, 1, LUA_TTABLE, "next");
    lua_settop(L, 2);
    if (lua_next(L, 1)) return 2;
    lua_pushnil(L);
    return 1;
}

inline int z_pairs(lua_State *L) {
    if (lua_getmetatable(L, 1)) {
        lua_getfield(L, -1, "__pairs");
        if (!lua_isnil(L, -1)) {
            lua_pushvalue(L, 1);
            lua_call(L, 1, 3);
            return 3;
        }
        lua_pop(L, 2);
    }
    check_type(L, 1, LUA_TTABLE, "pairs");
    lua_pushcfunction(L, z_next);
    lua_pushvalue(L, 1);
    lua_pushnil(L);
    return 3;
}

inline int z_type(lua_State *L) {
    if (lua_type(L, 1) == LUA_TNONE) host_error(L, "bad argument #%d to '%s' (%s)", 1, "type", "value expected");
    lua_pushstring(L, lua_typename(L, lua_type(L, 1)));
    return 1;
}

inline int z_assert(lua_State *L) {
    if (lua_toboolean(L, 1)) return lua_gettop(L);
    if (lua_type(L, 2) == LUA_TSTRING || lua_type(L, 2) == LUA_TNUMBER) {
        lua_pushvalue(L, 2);
        lua_tostring(L, -1);
        lua_zorva_record_error_line(L, 1);
        return lua_error(L);
    }
    host_error(L, "%s", "assertion failed!");
}

inline int z_setmetatable(lua_State *L) {
    check_type(L, 1, LUA_TTABLE, "setmetatable");
    int t = lua_type(L, 2);
    if (t != LUA_TNIL && t != LUA_TTABLE)
        host_error(L, "bad argument #%d to '%s' (%s)", 2, "setmetatable", "nil or table expected");
    if (lua_getmetatable(L, 1)) {
        lua_getfield(L, -1, "__metatable");
        if (!lua_isnil(L, -1)) host_error(L, "cannot change a protected metatable");
        lua_pop(L, 2);
    }
    lua_settop(L, 2);
    lua_setmetatable(L, 1);
    return 1;
}

inline int z_getmetatable(lua_State *L) {
    if (!lua_getmetatable(L, 1)) {
        lua_pushnil(L);
        return 1;
    }
    lua_getfield(L, -1, "__metatable");
    if (lua_isnil(L, -1)) lua_pop(L, 1);
    return 1;
}

inline int z_cocreate(lua_State *L) {
    check_type(L, 1, LUA_TFUNCTION, "cocreate");
    lua_State *co = lua_newthread(L);
    lua_pushvalue(L, 1);
    lua_xmove(L, co, 1);
    return 1;
}

inline int z_coresume(lua_State *L) {
    lua_State *co = lua_tothread(L, 1);
    if (co == nullptr) host_error(L, "bad argument #%d to '%s' (%s)", 1, "coresume", "coroutine expected");
    int nargs = lua_gettop(L) - 1;
    if (lua_status(co) == LUA_OK && lua_gettop(co) == 0) {
        lua_pushboolean(L, 0);
        lua_pushstring(L, "corolib: cannot resume dead coroutine");
        return 2;
    }
    if (!lua_checkstack(co, nargs)) {
        lua_pushboolean(L, 0);
        lua_pushstring(L, "corolib: too many arguments to resume");
        return 2;
    }
    lua_xmove(L, co, nargs);
    int status = lua_resume(co, L, nargs);
    if (status == LUA_OK || status == LUA_YIELD) {
        int nres = lua_gettop(co);
        if (!lua_checkstack(L, nres + 1)) {
            lua_pop(co, nres);
            lua_pushboolean(L, 0);
            lua_pushstring(L, "corolib: too many results to resume");
            return 2;
        }
        lua_pushboolean(L, 1);
        lua_xmove(co, L, nres);
        return nres + 1;
    }
    lua_pushboolean(L, 0);
    lua_xmove(co, L, 1); // the error value
    return 2;
}

inline int z_costatus(lua_State *L) {
    lua_State *co = lua_tothread(L, 1);
    if (co == nullptr) host_error(L, "bad argument #%d to '%s' (%s)", 1, "costatus", "coroutine expected");
    const char *s;
    if (co == L) {
        s = "running";
    } else if (lua_status(co) == LUA_YIELD) {
        s = "suspended";
    } else if (lua_status(co) == LUA_OK) {
        lua_Debug ar;
        if (lua_getstack(co, 0, &ar)) s = "normal";
        else if (lua_gettop(co) == 0) s = "dead";
        else s = "suspended";
    } else {
        s = "dead";
    }
    lua_pushstring(L, s);
    return 1;
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
    std::string text;
    if (t == LUA_TSTRING || t == LUA_TNUMBER) {
        text = lua_tostring(L, 1);
        text += '\n';
    }
    text += "stack traceback:";
    lua_Debug ar;
    for (int level = 1; lua_getstack(L, level, &ar); level++) {
        lua_getinfo(L, "Sl", &ar);
        text += "\n\t";
        text += ar.short_src;
        text += ':';
        if (ar.currentline > 0) text += std::to_string(ar.currentline) + ":";
        text += (*ar.what == 'm') ? " in main chunk" : " in function";
    }
    lua_pushlstring(L, text.data(), text.size());
    return 1;
}

// Registers the cart functions, yield and out; out() appends to *sink when
// it is given.
inline void open_cart_functions(lua_State *L, std::string *sink = nullptr) {
    struct Reg {
        const char *name;
        lua_CFunction f;
    };
    static const Reg regs[] = {
        {"pairs", z_pairs},       {"type", z_type},         {"assert", z_assert},   {"setmetatable", z_setmetatable},
        {"getmetatable", z_getmetatable}, {"cocreate", z_cocreate}, {"coresume", z_coresume},
        {"costatus", z_costatus}, {"sub", z_sub},           {"trace", z_trace},     {"yield", z_yield},
        {"out", z_out},
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
