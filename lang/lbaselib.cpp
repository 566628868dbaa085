// The base library: the functions that carts see (pairs, type, assert,
// setmetatable, getmetatable) and the rest of the Lua 5.2 base functions
// for the host's own use.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "lauxlib.h"
#include "lualib.h"
#include "zorva_hooks.h"

namespace {

// The whole number n as a script number (wrapping beyond 32767).
void push_whole(lua_State *L, long n) { lua_pushnumber(L, (zorva_fixed)((uint32_t)n << 16)); }

constexpr int kMaxWholeIndex = 32767;

const char kSpaces[] = " \f\n\r\t\v";

// ---- Output and conversion -------------------------------------------------

int luaB_print(lua_State *L) {
    int n = lua_gettop(L);
    lua_getglobal(L, "tostring");
    for (int i = 1; i <= n; i++) {
        lua_pushvalue(L, -1);
        lua_pushvalue(L, i);
        lua_call(L, 1, 1);
        size_t l;
        const char *s = lua_tolstring(L, -1, &l);
        if (s == nullptr) return luaL_error(L, "'tostring' must return a string to 'print'");
        if (i > 1) std::fputc('\t', stdout);
        std::fwrite(s, 1, l, stdout);
        lua_pop(L, 1);
    }
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return 0;
}

// The value of the digits of s (to e) in base, with an optional sign and
// surrounding white space, as a whole number; false when s is not such a
// numeral.
bool digits_to_number(const char *s, const char *e, int base, zorva_fixed *out) {
    s += std::strspn(s, kSpaces);
    bool neg = false;
    if (*s == '-') {
        s++;
        neg = true;
    } else if (*s == '+') {
        s++;
    }
    if (!std::isalnum((unsigned char)*s)) return false;
    uint32_t n = 0; // the whole part; wraps like every script number
    do {
        unsigned char c = (unsigned char)*s;
        int digit = std::isdigit(c) ? c - '0' : std::toupper(c) - 'A' + 10;
        if (digit >= base) return false;
        n = n * (uint32_t)base + (uint32_t)digit;
        s++;
    } while (std::isalnum((unsigned char)*s));
    s += std::strspn(s, kSpaces);
    if (s != e) return false; // also an embedded zero
    uint32_t v = n << 16;
    *out = (zorva_fixed)(neg ? 0u - v : v);
    return true;
}

int luaB_tonumber(lua_State *L) {
    if (lua_isnoneornil(L, 2)) {
        int isnum;
        lua_Number n = lua_tonumberx(L, 1, &isnum);
        if (isnum) {
            lua_pushnumber(L, n);
            return 1;
        }
        luaL_checkany(L, 1);
    } else {
        size_t l;
        const char *s = luaL_checklstring(L, 1, &l);
        int base = luaL_checkint(L, 2);
        luaL_argcheck(L, 2 <= base && base <= 36, 2, "base out of range");
        zorva_fixed v;
        if (digits_to_number(s, s + l, base, &v)) {
            lua_pushnumber(L, v);
            return 1;
        }
    }
    lua_pushnil(L);
    return 1;
}

int luaB_tostring(lua_State *L) {
    luaL_checkany(L, 1);
    luaL_tolstring(L, 1, nullptr);
    return 1;
}

// ---- Errors and protected calls --------------------------------------------

int luaB_error(lua_State *L) {
    int level = luaL_optint(L, 2, 1);
    lua_settop(L, 1);
    if (lua_isstring(L, 1) && level > 0) {
        // Level 1 names the function that called error.
        luaL_where(L, level + 1);
        lua_pushvalue(L, 1);
        lua_concat(L, 2);
    }
    return lua_error(L);
}

// Puts the status flag in slot 1, below the results of the call.
int finish_pcall(lua_State *L, bool ok) {
    if (!lua_checkstack(L, 1)) { // no room for the flag: report that instead
        lua_settop(L, 0);
        lua_pushboolean(L, 0);
        lua_pushliteral(L, "stack overflow");
        return 2;
    }
    lua_pushboolean(L, ok);
    lua_replace(L, 1);
    return lua_gettop(L);
}

// Continues a protected call after the called function yielded.
int pcall_continue(lua_State *L) { return finish_pcall(L, lua_getctx(L, nullptr) == LUA_YIELD); }

int luaB_pcall(lua_State *L) {
    luaL_checkany(L, 1);
    lua_pushnil(L); // slot 1 for the status flag
    lua_insert(L, 1);
    int status = lua_pcallk(L, lua_gettop(L) - 2, LUA_MULTRET, 0, 0, pcall_continue);
    return finish_pcall(L, status == LUA_OK);
}

int luaB_xpcall(lua_State *L) {
    int n = lua_gettop(L);
    luaL_argcheck(L, n >= 2, 2, "value expected");
    lua_pushvalue(L, 1); // swap function and handler: the handler in slot 1
    lua_copy(L, 2, 1);
    lua_replace(L, 2);
    int status = lua_pcallk(L, n - 2, LUA_MULTRET, 1, 0, pcall_continue);
    return finish_pcall(L, status == LUA_OK);
}

// ---- Loading ---------------------------------------------------------------

// The function (or nil and the message) of a load; env, when not 0, is the
// index of the environment for its first upvalue.
int load_result(lua_State *L, int status, int env) {
    if (status != LUA_OK) {
        lua_pushnil(L);
        lua_insert(L, -2);
        return 2;
    }
    if (env != 0) {
        lua_pushvalue(L, env);
        if (!lua_setupvalue(L, -2, 1)) lua_pop(L, 1); // no upvalue to take it
    }
    return 1;
}

// The stack slot where load keeps the reader's latest piece alive.
constexpr int kReaderSlot = 5;

const char *read_from_function(lua_State *L, void *, size_t *size) {
    luaL_checkstack(L, 2, "too many nested functions");
    lua_pushvalue(L, 1);
    lua_call(L, 0, 1);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        *size = 0;
        return nullptr;
    }
    if (!lua_isstring(L, -1)) luaL_error(L, "reader function must return a string");
    lua_replace(L, kReaderSlot);
    return lua_tolstring(L, kReaderSlot, size);
}

int luaB_load(lua_State *L) {
    int top = lua_gettop(L);
    size_t l;
    const char *s = lua_tolstring(L, 1, &l);
    const char *mode = luaL_optstring(L, 3, "bt");
    int env = top >= 4 ? 4 : 0;
    int status;
    if (s != nullptr) {
        const char *name = luaL_optstring(L, 2, s);
        status = luaL_loadbufferx(L, s, l, name, mode);
    } else {
        const char *name = luaL_optstring(L, 2, "=(load)");
        luaL_checktype(L, 1, LUA_TFUNCTION);
        lua_settop(L, kReaderSlot);
        status = lua_load(L, read_from_function, nullptr, name, mode);
    }
    return load_result(L, status, env);
}

int luaB_loadfile(lua_State *L) {
    const char *fname = luaL_optstring(L, 1, nullptr);
    const char *mode = luaL_optstring(L, 2, nullptr);
    int env = !lua_isnone(L, 3) ? 3 : 0;
    int status = luaL_loadfilex(L, fname, mode);
    return load_result(L, status, env);
}

int dofile_continue(lua_State *L) { return lua_gettop(L) - 1; }

int luaB_dofile(lua_State *L) {
    const char *fname = luaL_optstring(L, 1, nullptr);
    lua_settop(L, 1);
    if (luaL_loadfile(L, fname) != LUA_OK) return lua_error(L);
    lua_callk(L, 0, LUA_MULTRET, 0, dofile_continue);
    return dofile_continue(L);
}

// ---- Tables and metatables -------------------------------------------------

int ipairs_step(lua_State *L) {
    int i = luaL_checkint(L, 2);
    luaL_checktype(L, 1, LUA_TTABLE);
    // No whole index above this fits a key; going on would wrap around to
    // the negative keys and never end on a full table.
    if (i >= kMaxWholeIndex) return 0;
    i++;
    push_whole(L, i);
    lua_rawgeti(L, 1, i);
    return lua_isnil(L, -1) ? 1 : 2;
}

// pairs and ipairs: the metamethod's first three results, else iter, t, 0
// (or nil for pairs).
int pairs_with(lua_State *L, const char *method, lua_CFunction iter, bool zero) {
    if (!luaL_getmetafield(L, 1, method)) {
        luaL_checktype(L, 1, LUA_TTABLE);
        lua_pushcfunction(L, iter);
        lua_pushvalue(L, 1);
        if (zero) lua_pushnumber(L, 0);
        else lua_pushnil(L);
    } else {
        lua_pushvalue(L, 1);
        lua_call(L, 1, 3);
    }
    return 3;
}

int luaB_ipairs(lua_State *L) { return pairs_with(L, "__ipairs", ipairs_step, true); }

int luaB_rawequal(lua_State *L) {
    luaL_checkany(L, 1);
    luaL_checkany(L, 2);
    lua_pushboolean(L, lua_rawequal(L, 1, 2));
    return 1;
}

int luaB_rawlen(lua_State *L) {
    int t = lua_type(L, 1);
    luaL_argcheck(L, t == LUA_TTABLE || t == LUA_TSTRING, 1, "table or string expected");
    push_whole(L, (long)lua_rawlen(L, 1));
    return 1;
}

int luaB_rawget(lua_State *L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_checkany(L, 2);
    lua_settop(L, 2);
    lua_rawget(L, 1);
    return 1;
}

int luaB_rawset(lua_State *L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_checkany(L, 2);
    luaL_checkany(L, 3);
    lua_settop(L, 3);
    lua_rawset(L, 1);
    return 1;
}

int luaB_select(lua_State *L) {
    int n = lua_gettop(L);
    if (lua_type(L, 1) == LUA_TSTRING && *lua_tostring(L, 1) == '#') {
        push_whole(L, n - 1);
        return 1;
    }
    int i = luaL_checkint(L, 1);
    if (i < 0) i = n + i;
    else if (i > n) i = n;
    luaL_argcheck(L, 1 <= i, 1, "index out of range");
    return n - i;
}

int luaB_collectgarbage(lua_State *L) {
    static const char *const names[] = {"stop",        "restart",   "collect",      "count",
                                        "step",        "setpause",  "setstepmul",   "setmajorinc",
                                        "isrunning",   "generational", "incremental", nullptr};
    static const int options[] = {LUA_GCSTOP,     LUA_GCRESTART,   LUA_GCCOLLECT,     LUA_GCCOUNT,
                                  LUA_GCSTEP,     LUA_GCSETPAUSE,  LUA_GCSETSTEPMUL,  LUA_GCSETMAJORINC,
                                  LUA_GCISRUNNING, LUA_GCGEN,      LUA_GCINC};
    int o = options[luaL_checkoption(L, 1, "collect", names)];
    int ex = luaL_optint(L, 2, 0);
    int res = lua_gc(L, o, ex);
    switch (o) {
    case LUA_GCCOUNT: {
        // Kilobytes with the remainder as the fraction, and the remainder.
        int b = lua_gc(L, LUA_GCCOUNTB, 0);
        lua_pushnumber(L, (zorva_fixed)(((uint32_t)res << 16) + ((uint32_t)b << 6)));
        push_whole(L, b);
        return 2;
    }
    case LUA_GCSTEP:
    case LUA_GCISRUNNING: lua_pushboolean(L, res); return 1;
    default: push_whole(L, res); return 1;
    }
}

const luaL_Reg base_funcs[] = {
    {"assert", luaB_assert},
    {"collectgarbage", luaB_collectgarbage},
    {"dofile", luaB_dofile},
    {"error", luaB_error},
    {"getmetatable", luaB_getmetatable},
    {"ipairs", luaB_ipairs},
    {"loadfile", luaB_loadfile},
    {"load", luaB_load},
    {"next", luaB_next},
    {"pairs", luaB_pairs},
    {"pcall", luaB_pcall},
    {"print", luaB_print},
    {"rawequal", luaB_rawequal},
    {"rawlen", luaB_rawlen},
    {"rawget", luaB_rawget},
    {"rawset", luaB_rawset},
    {"select", luaB_select},
    {"setmetatable", luaB_setmetatable},
    {"tonumber", luaB_tonumber},
    {"tostring", luaB_tostring},
    {"type", luaB_type},
    {"xpcall", luaB_xpcall},
    {nullptr, nullptr},
};

} // namespace

// ---- The functions that carts see ------------------------------------------

int luaB_next(lua_State *L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    lua_settop(L, 2); // a missing key is nil
    if (lua_next(L, 1)) return 2;
    lua_pushnil(L);
    return 1;
}

int luaB_pairs(lua_State *L) { return pairs_with(L, "__pairs", luaB_next, false); }

int luaB_type(lua_State *L) {
    luaL_checkany(L, 1);
    lua_pushstring(L, luaL_typename(L, 1));
    return 1;
}

int luaB_assert(lua_State *L) {
    if (lua_toboolean(L, 1)) return lua_gettop(L);
    // The console keeps the message to show it with the error.
    int t = lua_type(L, 2);
    const char *text = (t == LUA_TSTRING || t == LUA_TNUMBER) ? lua_tostring(L, 2) : "";
    zorva_hook_assert_message(text);
    return luaL_error(L, "%s", luaL_optstring(L, 2, "assertion failed!"));
}

int luaB_setmetatable(lua_State *L) {
    int t = lua_type(L, 2);
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_argcheck(L, t == LUA_TNIL || t == LUA_TTABLE, 2, "nil or table expected");
    if (luaL_getmetafield(L, 1, "__metatable")) return luaL_error(L, "cannot change a protected metatable");
    lua_settop(L, 2);
    lua_setmetatable(L, 1);
    return 1;
}

int luaB_getmetatable(lua_State *L) {
    luaL_checkany(L, 1);
    if (!lua_getmetatable(L, 1)) {
        lua_pushnil(L);
        return 1;
    }
    luaL_getmetafield(L, 1, "__metatable"); // the field when there is one, else the metatable stays
    return 1;
}

// ---- Openers ---------------------------------------------------------------

int luaopen_base(lua_State *L) {
    lua_pushglobaltable(L);
    lua_pushglobaltable(L);
    lua_setfield(L, -2, "_G");
    luaL_setfuncs(L, base_funcs, 0);
    lua_pushliteral(L, LUA_VERSION);
    lua_setfield(L, -2, "_VERSION");
    return 1;
}

void luaL_openlibs(lua_State *L) {
    luaL_getsubtable(L, LUA_REGISTRYINDEX, "_PRELOAD");
    lua_pop(L, 1);
}

void zorva_open_cart_base(lua_State *L) {
    static const luaL_Reg cart_funcs[] = {
        {"pairs", luaB_pairs},
        {"type", luaB_type},
        {"assert", luaB_assert},
        {"setmetatable", luaB_setmetatable},
        {"getmetatable", luaB_getmetatable},
        {"cocreate", luaB_cocreate},
        {"coresume", luaB_coresume},
        {"costatus", luaB_costatus},
        {nullptr, nullptr},
    };
    lua_pushglobaltable(L);
    luaL_setfuncs(L, cart_funcs, 0);
    lua_pop(L, 1);
}
