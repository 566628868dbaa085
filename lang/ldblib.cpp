// The debug library's traceback function, which carts see as the global
// trace. No script state of the console opens a debug library.
#include "lauxlib.h"
#include "lualib.h"

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
