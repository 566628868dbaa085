// Prototypes, closures and upvalues.
#pragma once

#include "lobject.h"

Proto *luaF_newproto(lua_State *L);
CClosure *luaF_newCclosure(lua_State *L, int nelems);
LClosure *luaF_newLclosure(lua_State *L, int nelems);
UpVal *luaF_newupval(lua_State *L);
// The open upvalue for the stack slot level, made when absent.
UpVal *luaF_findupval(lua_State *L, StkId level);
// Closes every open upvalue at level or above.
void luaF_close(lua_State *L, StkId level);
void luaF_freeproto(lua_State *L, Proto *f);
void luaF_freeupval(lua_State *L, UpVal *uv);
// Name of the n-th (1-based) local active at pc, or null.
const char *luaF_getlocalname(const Proto *func, int local_number, int pc);
// Gives a new closure of a main chunk fresh closed upvalues.
void luaF_initupvals(lua_State *L, LClosure *cl);
