// Runtime errors and the debug interface.
#pragma once

#include "lstate.h"

#define pcRel(pc, p) (cast(int, (pc) - (p)->code) - 1)
#define getfuncline(f, pc) (((f)->lineinfo) ? (f)->lineinfo[pc] : 0)
#define resethookcount(L) (L->hookcount = L->basehookcount)
#define ci_func(ci) (clLvalue((ci)->func))

[[noreturn]] void luaG_typeerror(lua_State *L, const TValue *o, const char *opname);
[[noreturn]] void luaG_concaterror(lua_State *L, StkId p1, StkId p2);
[[noreturn]] void luaG_aritherror(lua_State *L, const TValue *p1, const TValue *p2);
[[noreturn]] void luaG_ordererror(lua_State *L, const TValue *p1, const TValue *p2);
// Formats a message, records the line of the running script function in
// zorva_runtime_line and raises the message (no position prefix).
[[noreturn]] void luaG_runerror(lua_State *L, const char *fmt, ...);
// Raises the value on top after passing it through the error handler.
[[noreturn]] void luaG_errormsg(lua_State *L);
// Current line of a script call record (0 without line information).
int luaG_currentline(CallInfo *ci);
