// Compiling source text in tests: a fresh script state per fixture, the
// compiler run under a protected call, and the result as a prototype or
// an error message.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ldo.h"
#include "lfunc.h"
#include "lmem.h"
#include "llex.h"
#include "lparser.h"
#include "lprint.h"
#include "lstate.h"
#include "lstring.h"
#include "ltable.h"
#include "lua.h"
#include "lzio.h"
#include "zorva_hooks.h"

#include <gtest/gtest.h>

namespace compile_helpers {

inline void *test_alloc(void *, void *ptr, size_t, size_t nsize) {
    if (nsize == 0) {
        std::free(ptr);
        return nullptr;
    }
    return std::realloc(ptr, nsize);
}

struct StringSource {
    const char *text;
    size_t size;
    bool given;
};

inline const char *read_string(lua_State *, void *ud, size_t *size) {
    StringSource *s = static_cast<StringSource *>(ud);
    if (s->given || s->size == 0) {
        *size = 0;
        return nullptr;
    }
    s->given = true;
    *size = s->size;
    return s->text;
}

struct CompileJob {
    ZIO z;
    Mbuffer buff;
    const char *name;
};

inline void compile_body(lua_State *L, void *ud) {
    CompileJob *job = static_cast<CompileJob *>(ud);
    int c = zgetc(&job->z);
    LClosure *cl = luaY_compile(L, &job->z, &job->buff, job->name, c);
    luaF_initupvals(L, cl);
}

// A state for compiling; the compiled closures stay on its stack until
// the fixture ends.
class CompilerTest : public ::testing::Test {
protected:
    lua_State *L = nullptr;

    void SetUp() override {
        zorva_reset_hooks();
        L = lua_newstate(test_alloc, nullptr);
        ASSERT_NE(L, nullptr);
    }
    void TearDown() override {
        if (L) lua_close(L);
        zorva_reset_hooks();
    }

    // Compiles source; returns the status and leaves the closure or the
    // error message on the stack top.
    int compile_status(const std::string &source, const char *name = "=test") {
        StringSource src{source.data(), source.size(), false};
        CompileJob job;
        luaZ_init(L, &job.z, read_string, &src);
        luaZ_initbuffer(L, &job.buff);
        job.name = name;
        int status = luaD_pcall(L, compile_body, &job, savestack(L, L->top), L->errfunc);
        luaZ_freebuffer(L, &job.buff);
        return status;
    }

    // The main prototype of source, which must compile.
    Proto *compile(const std::string &source) {
        int status = compile_status(source);
        if (status != LUA_OK) {
            ADD_FAILURE() << "compile failed: " << error_text();
            return nullptr;
        }
        return clLvalue(L->top - 1)->p;
    }

    // The message of a compile that must fail (with a syntax error).
    std::string compile_error(const std::string &source, const char *name = "=test") {
        int status = compile_status(source, name);
        if (status == LUA_OK) {
            ADD_FAILURE() << "compiled: " << source;
            return "";
        }
        EXPECT_EQ(status, LUA_ERRSYNTAX) << source;
        return error_text();
    }

    std::string error_text() {
        const TValue *o = L->top - 1;
        if (!ttisstring(o)) return "(no message)";
        return std::string(getstr(rawtsvalue(o)), rawtsvalue(o)->len);
    }

    // The listing of the main function of source.
    std::string listing(const std::string &source) {
        Proto *p = compile(source);
        return p ? luaP_listing(p) : "";
    }
};

} // namespace compile_helpers
