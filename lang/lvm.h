// Operations of the virtual machine that the rest of the engine shares.
//
// luaV_execute and luaV_finishOp are the interpreter proper; the other
// operations (indexing with metamethods, equality, order, concatenation,
// length, arithmetic coercion) are shared with the host interface.
#pragma once

#include "ldo.h"
#include "lobject.h"
#include "ltm.h"

#define tostring(L, o) (ttisstring(o) || (luaV_tostring(L, o)))
#define tonumber(o, n) (ttisnumber(o) || (((o) = luaV_tonumber(o, n)) != nullptr))
#define equalobj(L, o1, o2) (ttisequal(o1, o2) && luaV_equalobj_(L, o1, o2))
#define ttisequal(o1, o2) (rttype(o1) == rttype(o2))
#define luaV_rawequalobj(o1, o2) equalobj(nullptr, o1, o2)

// Metamethod chains longer than this raise "loop in gettable/settable".
#define MAXTAGLOOP 100

int luaV_equalobj_(lua_State *L, const TValue *t1, const TValue *t2);
int luaV_lessthan(lua_State *L, const TValue *l, const TValue *r);
int luaV_lessequal(lua_State *L, const TValue *l, const TValue *r);
const TValue *luaV_tonumber(const TValue *obj, TValue *n);
int luaV_tostring(lua_State *L, StkId obj);
void luaV_gettable(lua_State *L, const TValue *t, TValue *key, StkId val);
void luaV_settable(lua_State *L, const TValue *t, TValue *key, StkId val);
void luaV_finishOp(lua_State *L);
void luaV_execute(lua_State *L);
void luaV_concat(lua_State *L, int total);
void luaV_arith(lua_State *L, StkId ra, const TValue *rb, const TValue *rc, TMS op);
void luaV_objlen(lua_State *L, StkId ra, const TValue *rb);
