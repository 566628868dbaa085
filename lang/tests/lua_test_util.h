// Shared helpers of the script-engine tests: an allocator that counts,
// records the object types of new blocks and can be told to fail.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lua.h"

struct TestAlloc {
    size_t live = 0;         // bytes in use
    long fail_after = -1;    // allocations left before failing (-1: never)
    std::vector<int> types;  // old-size argument of every new block
    bool record = false;

    static void *fn(void *ud, void *ptr, size_t osize, size_t nsize) {
        TestAlloc *a = static_cast<TestAlloc *>(ud);
        if (nsize == 0) {
            if (ptr) a->live -= osize;
            std::free(ptr);
            return nullptr;
        }
        if (ptr == nullptr && a->record) a->types.push_back((int)osize);
        if (a->fail_after == 0 && (ptr == nullptr || nsize > osize)) return nullptr;
        if (a->fail_after > 0) a->fail_after--;
        void *p = std::realloc(ptr, nsize);
        if (p) a->live += nsize - (ptr ? osize : 0);
        return p;
    }
};

// A state with a fixed hash seed and the counting allocator.
struct TestState {
    TestAlloc alloc;
    lua_State *L;
    TestState() {
        lua_zorva_fixseed(1, 0x5eed);
        L = lua_newstate(TestAlloc::fn, &alloc);
    }
    ~TestState() {
        if (L) lua_close(L);
        lua_zorva_fixseed(0, 0);
    }
};

// Runs f(L) under lua_pcall; returns the status and leaves the error
// message (or nothing) in *msg.
inline int pcall_cfunc(lua_State *L, lua_CFunction f, std::string *msg = nullptr, int nargs = 0) {
    lua_pushcfunction(L, f);
    if (nargs) lua_insert(L, -nargs - 1);
    int st = lua_pcall(L, nargs, 0, 0);
    if (st != LUA_OK) {
        if (msg) *msg = lua_tostring(L, -1) ? lua_tostring(L, -1) : "(not a string)";
        lua_pop(L, 1);
    }
    return st;
}

inline zorva_fixed fx(int whole) { return (zorva_fixed)((uint32_t)whole << 16); }
