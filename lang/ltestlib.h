// The functions that the engine's test tool (tools/zscript) and the
// script tests give every script: the cart-visible engine functions
// (pairs, type, assert, setmetatable, getmetatable, cocreate, coresume,
// costatus, sub, trace), yield, and out(...), which prints its arguments
// separated by single spaces and a newline, numbers in their 16.16 text
// form.
#pragma once

#include <cstdio>
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

// Registers the cart functions, yield and out; out() appends to *sink when
// it is given.
inline void open_cart_functions(lua_State *L, std::string *sink = nullptr) {
    struct Reg {
        const char *name;
        lua_CFunction f;
    };
    zorva_open_cart_base(L);
    static const Reg regs[] = {
        {"sub", str_sub}, {"trace", db_traceback}, {"yield", z_yield}, {"out", z_out},
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
