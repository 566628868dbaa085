// Metamethod events and their lookup.
#pragma once

#include "lobject.h"

// Order matters: the first six are cached as absent in Table::flags, and
// ADD..UNM follow the arithmetic operator numbers.
enum TMS {
    TM_INDEX,
    TM_NEWINDEX,
    TM_GC,
    TM_MODE,
    TM_LEN,
    TM_EQ, // last event with a fast-access cache
    TM_ADD,
    TM_SUB,
    TM_MUL,
    TM_DIV,
    TM_MOD,
    TM_POW,
    TM_UNM,
    TM_LT,
    TM_LE,
    TM_CONCAT,
    TM_CALL,
    TM_N
};

#define gfasttm(g, et, e) \
    ((et) == nullptr ? nullptr : ((et)->flags & (1u << (e))) ? nullptr : luaT_gettm(et, e, (g)->tmname[e]))
#define fasttm(l, et, e) gfasttm(G(l), et, e)

#define ttypename(x) luaT_typenames_[(x) + 1]
#define objtypename(x) ttypename(ttypenv(x))

extern const char *const luaT_typenames_[LUA_TOTALTAGS + 1];

const TValue *luaT_gettm(Table *events, TMS event, TString *ename);
const TValue *luaT_gettmbyobj(lua_State *L, const TValue *o, TMS event);
void luaT_init(lua_State *L);
