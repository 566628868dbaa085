// Allocation through the state's allocator, with the collector's debt kept
// exact and an emergency collection before giving up.
#include "lmem.h"

#include "ldebug.h"
#include "ldo.h"
#include "lgc.h"
#include "lstate.h"

#define MINSIZEARRAY 4

void *luaM_growaux_(lua_State *L, void *block, int *size, size_t size_elems, int limit, const char *what) {
    int newsize;
    if (*size >= limit / 2) {
        if (*size >= limit) luaG_runerror(L, "too many %s (limit is %d)", what, limit);
        newsize = limit;
    } else {
        newsize = (*size) * 2;
        if (newsize < MINSIZEARRAY) newsize = MINSIZEARRAY;
    }
    void *newblock = luaM_reallocv(L, block, *size, newsize, size_elems);
    *size = newsize;
    return newblock;
}

void luaM_toobig(lua_State *L) { luaG_runerror(L, "memory allocation error: block too big"); }

void *luaM_realloc_(lua_State *L, void *block, size_t osize, size_t nsize) {
    global_State *g = G(L);
    size_t realosize = block ? osize : 0;
    void *newblock = g->frealloc(g->ud, block, osize, nsize);
    if (newblock == nullptr && nsize > 0) {
        // Free what can be freed and try once more; never from inside the
        // collector or while a finalizer runs (the collector is then off).
        if (g->gcrunning && !g->gcbusy) {
            luaC_fullgc(L, 1);
            newblock = g->frealloc(g->ud, block, osize, nsize);
        }
        if (newblock == nullptr) luaD_throw(L, LUA_ERRMEM);
    }
    g->GCdebt += (l_mem)nsize - (l_mem)realosize;
    return newblock;
}
