// Loading a chunk of script source for the engine's test tool, tests,
// benchmarks and fuzz target: the text goes through lua_load, as every
// host's chunk does.
#pragma once

#include <cstring>

#include "lua.h"

namespace zorva_source_detail {

struct Source {
    const char *text;
    size_t size;
    bool given;
};

inline const char *read(lua_State *, void *ud, size_t *size) {
    Source *s = static_cast<Source *>(ud);
    if (s->given || s->size == 0) {
        *size = 0;
        return nullptr;
    }
    s->given = true;
    *size = s->size;
    return s->text;
}

} // namespace zorva_source_detail

// Compiles text (len bytes) as a chunk named chunkname ("=name" shows as
// "name" in messages). Returns LUA_OK with the function (its _ENV the
// global table) on the stack top, or an error status with the message
// there.
inline int zorva_load_source(lua_State *L, const char *text, size_t len, const char *chunkname) {
    zorva_source_detail::Source src{text, len, false};
    return lua_load(L, zorva_source_detail::read, &src, chunkname, nullptr);
}

inline int zorva_load_source(lua_State *L, const char *text, const char *chunkname) {
    return zorva_load_source(L, text, std::strlen(text), chunkname);
}
