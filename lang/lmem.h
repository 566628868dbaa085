// Memory management through the state's allocator. Every block passes here
// so that the collector's debt stays exact.
#pragma once

#include "lobject.h"

#define luaM_reallocv(L, b, on, n, e)                                                         \
    ((cast(size_t, (n) + 1) > MAX_SIZET / (e)) ? (luaM_toobig(L), (void *)0)                  \
                                                : luaM_realloc_(L, (b), (on) * (e), (n) * (e)))
#define luaM_reallocvchar(L, b, on, n) cast(char *, luaM_realloc_(L, (b), (on) * sizeof(char), (n) * sizeof(char)))

#define luaM_freemem(L, b, s) luaM_realloc_(L, (b), (s), 0)
#define luaM_free(L, b) luaM_realloc_(L, (b), sizeof(*(b)), 0)
#define luaM_freearray(L, b, n) luaM_reallocv(L, (b), n, 0, sizeof((b)[0]))

#define luaM_malloc(L, s) luaM_realloc_(L, nullptr, 0, (s))
#define luaM_new(L, t) cast(t *, luaM_malloc(L, sizeof(t)))
#define luaM_newvector(L, n, t) cast(t *, luaM_reallocv(L, nullptr, 0, n, sizeof(t)))
// A new collectable object: the old-size argument carries its type.
#define luaM_newobject(L, tag, s) luaM_realloc_(L, nullptr, tag, (s))

#define luaM_growvector(L, v, nelems, size, t, limit, e)                                 \
    if ((nelems) + 1 > (size))                                                            \
    ((v) = cast(t *, luaM_growaux_(L, v, &(size), sizeof(t), limit, e)))

#define luaM_reallocvector(L, v, oldn, n, t) ((v) = cast(t *, luaM_reallocv(L, v, oldn, n, sizeof(t))))

[[noreturn]] void luaM_toobig(lua_State *L);
void *luaM_realloc_(lua_State *L, void *block, size_t oldsize, size_t size);
void *luaM_growaux_(lua_State *L, void *block, int *size, size_t size_elem, int limit, const char *what);
