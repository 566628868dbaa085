// The debug library. Carts see only traceback, as the global trace; no
// script state of the console opens the library. Lines, levels, counts
// and indices are whole numbers.
#include "lauxlib.h"
#include "lualib.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

void push_whole(lua_State *L, int64_t n) { lua_pushunsigned(L, (lua_Unsigned)(uint32_t)n); }

int db_getregistry(lua_State *L) {
    lua_pushvalue(L, LUA_REGISTRYINDEX);
    return 1;
}

int db_getmetatable(lua_State *L) {
    luaL_checkany(L, 1);
    if (!lua_getmetatable(L, 1)) lua_pushnil(L);
    return 1;
}

int db_setmetatable(lua_State *L) {
    int t = lua_type(L, 2);
    luaL_argcheck(L, t == LUA_TNIL || t == LUA_TTABLE, 2, "nil or table expected");
    lua_settop(L, 2);
    lua_setmetatable(L, 1);
    return 1; // the value
}

int db_getuservalue(lua_State *L) {
    if (lua_type(L, 1) != LUA_TUSERDATA) lua_pushnil(L);
    else lua_getuservalue(L, 1);
    return 1;
}

int db_setuservalue(lua_State *L) {
    if (lua_type(L, 1) == LUA_TLIGHTUSERDATA) luaL_argerror(L, 1, "full userdata expected, got light userdata");
    luaL_checktype(L, 1, LUA_TUSERDATA);
    if (!lua_isnoneornil(L, 2)) luaL_checktype(L, 2, LUA_TTABLE);
    lua_settop(L, 2);
    lua_setuservalue(L, 1);
    return 1;
}

// Stores the value on the top into the table below it under k (a thread's
// results arrive on the calling thread first).
void set_string_field(lua_State *L, const char *k, const char *v) {
    lua_pushstring(L, v);
    lua_setfield(L, -2, k);
}
void set_whole_field(lua_State *L, const char *k, int64_t v) {
    push_whole(L, v);
    lua_setfield(L, -2, k);
}
void set_bool_field(lua_State *L, const char *k, int v) {
    lua_pushboolean(L, v);
    lua_setfield(L, -2, k);
}

// Moves the value that lua_getinfo pushed on L1 into the table on L's top.
void tree_field(lua_State *L, lua_State *L1, const char *k) {
    if (L == L1) {
        lua_pushvalue(L, -2);
        lua_remove(L, -3);
    } else {
        lua_xmove(L1, L, 1);
    }
    lua_setfield(L, -2, k);
}

int db_getinfo(lua_State *L) {
    int arg;
    lua_State *L1 = luaL_getthread(L, &arg);
    const char *options = luaL_optstring(L, arg + 2, "flnStu");
    // '>' is how a caller hands lua_getinfo a function of its own: not an
    // option of this function.
    if (std::strchr(options, '>')) return luaL_argerror(L, arg + 2, "invalid option");
    lua_Debug ar;
    if (lua_isnumber(L, arg + 1)) {
        if (!lua_getstack(L1, (int)lua_tointeger(L, arg + 1), &ar)) {
            lua_pushnil(L); // a level beyond the stack
            return 1;
        }
    } else if (lua_isfunction(L, arg + 1)) {
        lua_pushfstring(L, ">%s", options);
        options = lua_tostring(L, -1);
        lua_pushvalue(L, arg + 1);
        lua_xmove(L, L1, 1);
    } else {
        return luaL_argerror(L, arg + 1, "function or level expected");
    }
    if (!lua_getinfo(L1, options, &ar)) return luaL_argerror(L, arg + 2, "invalid option");
    lua_createtable(L, 0, 2);
    if (std::strchr(options, 'S')) {
        set_string_field(L, "source", ar.source);
        set_string_field(L, "short_src", ar.short_src);
        set_whole_field(L, "linedefined", ar.linedefined);
        set_whole_field(L, "lastlinedefined", ar.lastlinedefined);
        set_string_field(L, "what", ar.what);
    }
    if (std::strchr(options, 'l')) set_whole_field(L, "currentline", ar.currentline);
    if (std::strchr(options, 'u')) {
        set_whole_field(L, "nups", ar.nups);
        set_whole_field(L, "nparams", ar.nparams);
        set_bool_field(L, "isvararg", ar.isvararg);
    }
    if (std::strchr(options, 'n')) {
        set_string_field(L, "name", ar.name);
        set_string_field(L, "namewhat", ar.namewhat);
    }
    if (std::strchr(options, 't')) set_bool_field(L, "istailcall", ar.istailcall);
    if (std::strchr(options, 'L')) tree_field(L, L1, "activelines");
    if (std::strchr(options, 'f')) tree_field(L, L1, "func");
    return 1;
}

int db_getlocal(lua_State *L) {
    int arg;
    lua_State *L1 = luaL_getthread(L, &arg);
    int n = luaL_checkint(L, arg + 2);
    if (lua_isfunction(L, arg + 1)) { // a parameter's name
        lua_pushvalue(L, arg + 1);
        lua_pushstring(L, lua_getlocal(L, nullptr, n));
        return 1;
    }
    lua_Debug ar;
    if (!lua_getstack(L1, luaL_checkint(L, arg + 1), &ar)) return luaL_argerror(L, arg + 1, "level out of range");
    const char *name = lua_getlocal(L1, &ar, n);
    if (name == nullptr) {
        lua_pushnil(L);
        return 1;
    }
    lua_xmove(L1, L, 1);
    lua_pushstring(L, name);
    lua_pushvalue(L, -2);
    return 2;
}

int db_setlocal(lua_State *L) {
    int arg;
    lua_State *L1 = luaL_getthread(L, &arg);
    lua_Debug ar;
    if (!lua_getstack(L1, luaL_checkint(L, arg + 1), &ar)) return luaL_argerror(L, arg + 1, "level out of range");
    luaL_checkany(L, arg + 3);
    lua_settop(L, arg + 3);
    lua_xmove(L, L1, 1);
    lua_pushstring(L, lua_setlocal(L1, &ar, luaL_checkint(L, arg + 2)));
    return 1;
}

int aux_upvalue(lua_State *L, bool get) {
    int n = luaL_checkint(L, 2);
    luaL_checktype(L, 1, LUA_TFUNCTION);
    const char *name = get ? lua_getupvalue(L, 1, n) : lua_setupvalue(L, 1, n);
    if (name == nullptr) return 0;
    lua_pushstring(L, name);
    lua_insert(L, -(get ? 2 : 1));
    return get ? 2 : 1;
}

int db_getupvalue(lua_State *L) { return aux_upvalue(L, true); }

int db_setupvalue(lua_State *L) {
    luaL_checkany(L, 3);
    return aux_upvalue(L, false);
}

// The upvalue number at argnup of the function at argf, checked.
int check_upvalue(lua_State *L, int argf, int argnup) {
    int nup = luaL_checkint(L, argnup);
    luaL_checktype(L, argf, LUA_TFUNCTION);
    luaL_argcheck(L, lua_getupvalue(L, argf, nup) != nullptr, argnup, "invalid upvalue index");
    lua_pop(L, 1);
    return nup;
}

int db_upvalueid(lua_State *L) {
    int n = check_upvalue(L, 1, 2);
    lua_pushlightuserdata(L, lua_upvalueid(L, 1, n));
    return 1;
}

int db_upvaluejoin(lua_State *L) {
    int n1 = check_upvalue(L, 1, 2);
    int n2 = check_upvalue(L, 3, 4);
    luaL_argcheck(L, !lua_iscfunction(L, 1), 1, "Lua function expected");
    luaL_argcheck(L, !lua_iscfunction(L, 3), 3, "Lua function expected");
    lua_upvaluejoin(L, 1, n1, 3, n2);
    return 0;
}

// ---- Hooks ---------------------------------------------------------------
// The hook functions live in a registry table keyed by thread (weak keys).

constexpr const char *hook_key = "_HKEY";

void hook_function(lua_State *L, lua_Debug *ar) {
    static const char *const events[] = {"call", "return", "line", "count", "tail call"};
    lua_getfield(L, LUA_REGISTRYINDEX, hook_key);
    lua_pushthread(L);
    lua_rawget(L, -2);
    if (lua_isfunction(L, -1)) {
        lua_pushstring(L, events[ar->event]);
        if (ar->currentline >= 0) push_whole(L, ar->currentline);
        else lua_pushnil(L);
        lua_call(L, 2, 0);
    }
}

int make_mask(const char *smask, int count) {
    int mask = 0;
    if (std::strchr(smask, 'c')) mask |= LUA_MASKCALL;
    if (std::strchr(smask, 'r')) mask |= LUA_MASKRET;
    if (std::strchr(smask, 'l')) mask |= LUA_MASKLINE;
    if (count > 0) mask |= LUA_MASKCOUNT;
    return mask;
}

char *unmake_mask(int mask, char *smask) {
    int i = 0;
    if (mask & LUA_MASKCALL) smask[i++] = 'c';
    if (mask & LUA_MASKRET) smask[i++] = 'r';
    if (mask & LUA_MASKLINE) smask[i++] = 'l';
    smask[i] = '\0';
    return smask;
}

int db_sethook(lua_State *L) {
    int arg;
    lua_State *L1 = luaL_getthread(L, &arg);
    lua_Hook func = nullptr;
    int mask = 0, count = 0;
    if (!lua_isnoneornil(L, arg + 1)) {
        const char *smask = luaL_checkstring(L, arg + 2);
        luaL_checktype(L, arg + 1, LUA_TFUNCTION);
        count = luaL_optint(L, arg + 3, 0);
        func = hook_function;
        mask = make_mask(smask, count);
    } else {
        lua_settop(L, arg + 1); // no function: the hook is off
    }
    if (luaL_getsubtable(L, LUA_REGISTRYINDEX, hook_key) == 0) {
        lua_pushliteral(L, "k"); // a new table: its keys are weak
        lua_setfield(L, -2, "__mode");
        lua_pushvalue(L, -1);
        lua_setmetatable(L, -2);
    }
    lua_pushthread(L1);
    lua_xmove(L1, L, 1);
    lua_pushvalue(L, arg + 1);
    lua_rawset(L, -3);
    lua_sethook(L1, func, mask, count);
    return 0;
}

int db_gethook(lua_State *L) {
    int arg;
    lua_State *L1 = luaL_getthread(L, &arg);
    lua_Hook hook = lua_gethook(L1);
    int mask = lua_gethookmask(L1);
    if (hook == nullptr) {
        lua_pushnil(L);
    } else if (hook != hook_function) {
        lua_pushliteral(L, "external hook");
    } else {
        lua_getfield(L, LUA_REGISTRYINDEX, hook_key);
        lua_pushthread(L1);
        lua_xmove(L1, L, 1);
        lua_rawget(L, -2);
        lua_remove(L, -2);
    }
    char buff[5];
    lua_pushstring(L, unmake_mask(mask, buff));
    push_whole(L, lua_gethookcount(L1));
    return 3;
}

// Reads commands from standard input and runs them until "cont".
int db_debug(lua_State *L) {
    for (;;) {
        char buffer[250];
        std::fputs("lua_debug> ", stderr);
        std::fflush(stderr);
        if (std::fgets(buffer, sizeof buffer, stdin) == nullptr || std::strcmp(buffer, "cont\n") == 0) return 0;
        if (luaL_loadbuffer(L, buffer, std::strlen(buffer), "=(debug command)") != LUA_OK ||
            lua_pcall(L, 0, 0, 0) != LUA_OK) {
            std::fprintf(stderr, "%s\n", lua_tostring(L, -1));
            std::fflush(stderr);
        }
        lua_settop(L, 0);
    }
}

const luaL_Reg debug_functions[] = {
    {"debug", db_debug},
    {"getuservalue", db_getuservalue},
    {"gethook", db_gethook},
    {"getinfo", db_getinfo},
    {"getlocal", db_getlocal},
    {"getregistry", db_getregistry},
    {"getmetatable", db_getmetatable},
    {"getupvalue", db_getupvalue},
    {"upvaluejoin", db_upvaluejoin},
    {"upvalueid", db_upvalueid},
    {"setuservalue", db_setuservalue},
    {"sethook", db_sethook},
    {"setlocal", db_setlocal},
    {"setmetatable", db_setmetatable},
    {"setupvalue", db_setupvalue},
    {"traceback", db_traceback},
    {nullptr, nullptr},
};

} // namespace

int db_traceback(lua_State *L) {
    int arg;
    lua_State *L1 = luaL_getthread(L, &arg);
    const char *msg = lua_tostring(L, arg + 1);
    // A message that is no text (a table, say) comes back as it is.
    if (msg == nullptr && !lua_isnoneornil(L, arg + 1)) {
        lua_pushvalue(L, arg + 1);
        return 1;
    }
    // The calling thread starts at its caller; another thread at its top.
    int level = luaL_optint(L, arg + 2, L == L1 ? 1 : 0);
    luaL_traceback(L, L1, msg, level);
    return 1;
}

int luaopen_debug(lua_State *L) {
    luaL_newlib(L, debug_functions);
    return 1;
}
