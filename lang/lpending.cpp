// The loader's entry into the compiler, and placeholders for the chunk
// reader and writer of precompiled chunks (each raises a clear error).
#include "lcompiler.h"
#include "lparser.h"
#include "ldebug.h"
#include "ldo.h"
#include "lvm.h"

LClosure *luaY_parser(lua_State *L, ZIO *z, Mbuffer *buff, const char *name, int firstchar) {
    return luaY_compile(L, z, buff, name, firstchar);
}

LClosure *luaU_undump(lua_State *L, ZIO *, Mbuffer *, const char *) {
    luaO_pushfstring(L, "cannot load precompiled chunks yet");
    luaD_throw(L, LUA_ERRSYNTAX);
}

int luaU_dump(lua_State *, const Proto *, lua_Writer, void *, int) { return 1; }
