// Placeholders for the interpreter loop and the compiler, which are built
// on this core next. Each raises a clear error, so that the host interface
// can be used and tested with host functions alone. Delete a placeholder
// when its real definition lands (luaV_execute and luaV_finishOp in the
// interpreter, luaY_parser in the parser, luaU_undump and luaU_dump in the
// chunk reader and writer).
#include "lcompiler.h"
#include "ldebug.h"
#include "ldo.h"
#include "lvm.h"

void luaV_execute(lua_State *L) { luaG_runerror(L, "script functions cannot run yet (no interpreter)"); }

void luaV_finishOp(lua_State *) {}

LClosure *luaY_parser(lua_State *L, ZIO *, Mbuffer *, const char *, int) {
    luaO_pushfstring(L, "cannot compile scripts yet (no compiler)");
    luaD_throw(L, LUA_ERRSYNTAX);
}

LClosure *luaU_undump(lua_State *L, ZIO *, Mbuffer *, const char *) {
    luaO_pushfstring(L, "cannot load precompiled chunks yet");
    luaD_throw(L, LUA_ERRSYNTAX);
}

int luaU_dump(lua_State *, const Proto *, lua_Writer, void *, int) { return 1; }
