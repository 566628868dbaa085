// The limits under which the script fuzz targets run what they compile: an
// allocator that fails past a memory cap and a count hook that raises an
// error once an instruction budget is spent (errors from the hook
// propagate like any runtime error), every new coroutine counted. A panic means an error escaped every
// protected call, which must never happen.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <string>

#include "ltestlib.h"
#include "lua.h"

namespace fuzz_limits {

const size_t kMemoryCap = 16u << 20;
const int kInstructionLimit = 200000;
const int kHookStep = 1000;

struct CappedAlloc {
    size_t live = 0;
    static void *fn(void *ud, void *ptr, size_t osize, size_t nsize) {
        CappedAlloc *a = static_cast<CappedAlloc *>(ud);
        size_t old = ptr ? osize : 0;
        if (nsize == 0) {
            a->live -= old;
            std::free(ptr);
            return nullptr;
        }
        if (nsize > old && a->live + (nsize - old) > kMemoryCap) return nullptr;
        void *p = std::realloc(ptr, nsize);
        if (p) a->live = a->live - old + nsize;
        return p;
    }
};

inline int budget = 0;

inline void limiter(lua_State *L, lua_Debug *) {
    budget -= kHookStep;
    if (budget <= 0) {
        lua_pushstring(L, "instruction limit");
        lua_error(L);
    }
}

// A new coroutine's count hook first runs after a whole step, so a program
// that makes coroutines and leaves each before that would run uncounted:
// each new coroutine costs a step, and none is made past the budget.
inline int counted_cocreate(lua_State *L) {
    budget -= kHookStep;
    if (budget <= 0) {
        lua_pushstring(L, "instruction limit");
        return lua_error(L);
    }
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, 1);
    return 1;
}

// Replaces the global cocreate with the counted one.
inline void count_coroutines(lua_State *L) {
    lua_getglobal(L, "cocreate");
    lua_pushcclosure(L, counted_cocreate, 1);
    lua_setglobal(L, "cocreate");
}

inline int atpanic(lua_State *) { std::abort(); }

// out(...) for the fuzz targets: turns its numbers into text as the test
// library's out() does and keeps none of it, since a program may print
// far more than the memory cap within its budget.
inline int dropped_out(lua_State *L) {
    for (int i = 1, n = lua_gettop(L); i <= n; i++)
        if (lua_isstring(L, i)) lua_tostring(L, i);
    return 0;
}

// The cart functions and the test library's, out() among them.
inline void open_test_functions(lua_State *L) {
    zorva_testlib::open_cart_functions(L);
    lua_pushcfunction(L, dropped_out);
    lua_setglobal(L, "out");
}

// A fresh state under the limits, with the test functions; null when it
// cannot be made.
inline lua_State *open_limited_state(CappedAlloc *alloc) {
    lua_zorva_fixseed(1, 1);
    lua_State *L = lua_newstate(CappedAlloc::fn, alloc);
    if (L == nullptr) return nullptr;
    lua_atpanic(L, atpanic);
    open_test_functions(L);
    count_coroutines(L);
    budget = kInstructionLimit;
    lua_sethook(L, limiter, LUA_MASKCOUNT, kHookStep);
    return L;
}

// Closes the state, which must give back every byte it took.
inline void close_limited_state(lua_State *L, const CappedAlloc &alloc) {
    lua_close(L);
    if (alloc.live != 0) std::abort();
}

}  // namespace fuzz_limits
