// Tables with an array part for the whole keys 1..sizearray and a hash
// part of chained nodes.
//
// A number key k is an array index exactly when it is whole and from 1.0 to
// 32767.0; the index is then k >> 16. Every other number is a hash key. A
// whole index i outside the array part lives in the hash part under the
// number i << 16, so script keys and the host's whole indices meet.
#pragma once

#include "lobject.h"

#define gnode(t, i) (&(t)->node[i])
#define gkey(n) (&(n)->i_key.tvk)
#define gval(n) (&(n)->i_val)
#define gnext(n) ((n)->i_key.nk.next)

// The largest array part.
#define MAXASIZE 32767

// Array index of a number key, or 0 when the key is not one.
inline int luaH_arrayindex(zorva_fixed k) {
    uint32_t u = (uint32_t)k;
    return (u - 0x10000u <= 0x7FFF0000u - 0x10000u && (u & 0xFFFFu) == 0) ? (int)(u >> 16) : 0;
}

const TValue *luaH_getint_hash(Table *t, int key);
// Value of the whole index key; the array part is reached inline.
inline const TValue *luaH_getint(Table *t, int key) {
    if ((unsigned int)key - 1u < (unsigned int)t->sizearray) return &t->array[key - 1];
    return luaH_getint_hash(t, key);
}
void luaH_setint(lua_State *L, Table *t, int key, TValue *value);
const TValue *luaH_getstr(Table *t, TString *key);
const TValue *luaH_get(Table *t, const TValue *key);
// Value cell for key, made when absent (the caller stores into it and runs
// the table's barrier).
TValue *luaH_newkey(lua_State *L, Table *t, const TValue *key);
TValue *luaH_set(lua_State *L, Table *t, const TValue *key);
Table *luaH_new(lua_State *L);
void luaH_resize(lua_State *L, Table *t, int nasize, int nhsize);
void luaH_resizearray(lua_State *L, Table *t, int nasize);
void luaH_free(lua_State *L, Table *t);
int luaH_next(lua_State *L, Table *t, StkId key);
int luaH_next_zorva_all(lua_State *L, Table *t, StkId key);
int luaH_getn(Table *t);

// Node index of a key's main position (for tests of the hash layout).
int luaH_mainposition_index(const Table *t, const TValue *key);
extern const Node luaH_dummynode_;
#define isdummy(n) ((n) == &luaH_dummynode_)
