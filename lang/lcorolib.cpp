// The coroutine library: cocreate, coresume and costatus as carts see them
// (the "corolib: " messages are theirs), and the Lua 5.2 coroutine table
// for the host's own use.
#include "lauxlib.h"
#include "lualib.h"

namespace {

lua_State *check_coroutine(lua_State *L, int narg) {
    lua_State *co = lua_tothread(L, narg);
    luaL_argcheck(L, co != nullptr, narg, "coroutine expected");
    return co;
}

// Resumes co with the top narg values of L. Returns the number of values
// that it yielded or returned, moved to L; or -1 with the error value on
// the top of L.
int resume_with(lua_State *L, lua_State *co, int narg) {
    if (!lua_checkstack(co, narg)) {
        lua_pushliteral(L, "corolib: too many arguments to resume");
        return -1;
    }
    if (lua_status(co) == LUA_OK && lua_gettop(co) == 0) { // finished, or never had a function
        lua_pushliteral(L, "corolib: cannot resume dead coroutine");
        return -1;
    }
    lua_xmove(L, co, narg);
    int status = lua_resume(co, L, narg);
    if (status != LUA_OK && status != LUA_YIELD) {
        lua_xmove(co, L, 1); // the error value
        return -1;
    }
    int nres = lua_gettop(co);
    if (!lua_checkstack(L, nres + 1)) {
        lua_pop(co, nres); // the results are lost
        lua_pushliteral(L, "corolib: too many results to resume");
        return -1;
    }
    lua_xmove(co, L, nres);
    return nres;
}

int wrap_step(lua_State *L) {
    lua_State *co = lua_tothread(L, lua_upvalueindex(1));
    int r = resume_with(L, co, lua_gettop(L));
    if (r < 0) return lua_error(L); // the coroutine's error, as it was raised
    return r;
}

int luaB_cowrap(lua_State *L) {
    luaB_cocreate(L);
    lua_pushcclosure(L, wrap_step, 1);
    return 1;
}

int luaB_yield(lua_State *L) { return lua_yield(L, lua_gettop(L)); }

int luaB_corunning(lua_State *L) {
    int ismain = lua_pushthread(L);
    lua_pushboolean(L, ismain);
    return 2;
}

const luaL_Reg co_funcs[] = {
    {"create", luaB_cocreate},
    {"resume", luaB_coresume},
    {"running", luaB_corunning},
    {"status", luaB_costatus},
    {"wrap", luaB_cowrap},
    {"yield", luaB_yield},
    {nullptr, nullptr},
};

} // namespace

int luaB_cocreate(lua_State *L) {
    luaL_checktype(L, 1, LUA_TFUNCTION);
    lua_State *co = lua_newthread(L); // with the hook settings of L
    lua_pushvalue(L, 1);
    lua_xmove(L, co, 1);
    return 1;
}

int luaB_coresume(lua_State *L) {
    lua_State *co = check_coroutine(L, 1);
    int r = resume_with(L, co, lua_gettop(L) - 1);
    if (r < 0) {
        lua_pushboolean(L, 0);
        lua_insert(L, -2);
        return 2; // false, the error value
    }
    lua_pushboolean(L, 1);
    lua_insert(L, -(r + 1));
    return r + 1; // true, the values
}

int luaB_costatus(lua_State *L) {
    lua_State *co = check_coroutine(L, 1);
    const char *status;
    if (co == L) {
        status = "running";
    } else if (lua_status(co) == LUA_YIELD) {
        status = "suspended";
    } else if (lua_status(co) == LUA_OK) {
        lua_Debug ar;
        if (lua_getstack(co, 0, &ar)) status = "normal"; // it resumed another one
        else if (lua_gettop(co) == 0) status = "dead";
        else status = "suspended"; // not started yet
    } else {
        status = "dead"; // ended with an error
    }
    lua_pushstring(L, status);
    return 1;
}

int luaopen_coroutine(lua_State *L) {
    luaL_newlib(L, co_funcs);
    return 1;
}
