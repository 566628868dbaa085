// Feeds arbitrary bytes to the script compiler and runs whatever compiles
// under an instruction limit (a count hook that raises an error after N
// instructions) and a memory limit (an allocator that fails past a cap),
// with the test functions (out, yield, coroutines, metatables) available.
// No input may crash the host: every failure must end as a script error.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lsource_load.h"
#include "ltestlib.h"
#include "lua.h"

namespace {

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

int budget = 0;

// Raises an error once the instruction budget is spent. Errors from the
// hook propagate like any runtime error.
void limiter(lua_State *L, lua_Debug *) {
    budget -= kHookStep;
    if (budget <= 0) {
        lua_pushstring(L, "instruction limit");
        lua_error(L);
    }
}

int atpanic(lua_State *) { std::abort(); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 16) return 0;
    CappedAlloc alloc;
    lua_zorva_fixseed(1, 1);
    lua_State *L = lua_newstate(CappedAlloc::fn, &alloc);
    if (L == nullptr) return 0;
    lua_atpanic(L, atpanic);
    std::string sink;
    zorva_testlib::open_cart_functions(L, &sink);
    budget = kInstructionLimit;
    lua_sethook(L, limiter, LUA_MASKCOUNT, kHookStep);
    if (zorva_load_source(L, reinterpret_cast<const char *>(data), size, "=fuzz") == LUA_OK) {
        int status;
        int rounds = 0;
        while ((status = lua_resume(L, nullptr, 0)) == LUA_YIELD && ++rounds < 1000) {
            lua_settop(L, 0);
            sink.clear();
        }
        (void)status;
    }
    lua_close(L);
    if (alloc.live != 0) std::abort(); // everything is given back
    return 0;
}
