// Loading a chunk of script source straight through the compiler, for the
// engine's test tool, tests, benchmarks and fuzz target.
//
// Until the loader's luaY_parser forwards to the compiler (lua_load still
// reaches a placeholder), this does what lua_load does for text: compiles
// under a protected call, gives the main closure its _ENV upvalue (the
// global table) and leaves it on the stack, or leaves the error message.
#pragma once

#include <cstring>

#include "ldo.h"
#include "lfunc.h"
#include "lmem.h"
#include "lparser.h"
#include "lstate.h"
#include "ltable.h"
#include "lua.h"
#include "lzio.h"

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

struct Job {
    ZIO z;
    Mbuffer buff;
    const char *name;
};

inline void compile(lua_State *L, void *ud) {
    Job *job = static_cast<Job *>(ud);
    int c = zgetc(&job->z);
    LClosure *cl = luaY_compile(L, &job->z, &job->buff, job->name, c);
    luaF_initupvals(L, cl);
}

} // namespace zorva_source_detail

// Compiles text (len bytes) as a chunk named chunkname ("=name" shows as
// "name" in messages). Returns LUA_OK with the function on the stack top,
// or an error status with the message there.
inline int zorva_load_source(lua_State *L, const char *text, size_t len, const char *chunkname) {
    using namespace zorva_source_detail;
    Source src{text, len, false};
    Job job;
    luaZ_init(L, &job.z, read, &src);
    luaZ_initbuffer(L, &job.buff);
    job.name = chunkname;
    L->nny++; // no yields while compiling
    int status = luaD_pcall(L, compile, &job, savestack(L, L->top), L->errfunc);
    L->nny--;
    luaZ_freebuffer(L, &job.buff);
    if (status == LUA_OK) {
        LClosure *f = clLvalue(L->top - 1);
        if (f->nupvalues >= 1) { // the first upvalue is _ENV
            lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS);
            lua_setupvalue(L, -2, 1);
        }
    }
    return status;
}

inline int zorva_load_source(lua_State *L, const char *text, const char *chunkname) {
    return zorva_load_source(L, text, std::strlen(text), chunkname);
}
