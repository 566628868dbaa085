// Precompiled chunks from arbitrary bytes. Input that starts with the
// escape byte is loaded as a binary chunk: what the loader accepts must
// write out and load back to the same bytes, and must run (under an
// instruction limit and a memory cap, with the test functions at hand)
// without ever crashing the host. Any other input is compiled as source:
// whatever compiles must write out, stripped or not, and load back - the
// loader's checks may never refuse what the compiler makes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lauxlib.h"
#include "lcompiler.h"
#include "lsource_load.h"
#include "lstate.h"
#include "ltestlib.h"
#include "lua.h"
#include "script_limits.h"

namespace {

using namespace fuzz_limits;

int string_writer(lua_State *, const void *p, size_t n, void *ud) {
    static_cast<std::string *>(ud)->append(static_cast<const char *>(p), n);
    return 0;
}

// The function on the top written out.
std::string dump_top(lua_State *L, int strip) {
    std::string out;
    const TValue *o = L->top - 1;
    if (!ttisLclosure(o) || luaU_dump(L, clLvalue(o)->p, string_writer, &out, strip) != 0) std::abort();
    return out;
}

// Loads bytes as a binary chunk; the function lands on the top.
bool load_binary(lua_State *L, const std::string &bytes) {
    return luaL_loadbufferx(L, bytes.data(), bytes.size(), "=fuzz", "b") == LUA_OK;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 16) return 0;
    CappedAlloc alloc;
    lua_zorva_fixseed(1, 1);
    lua_State *L = lua_newstate(CappedAlloc::fn, &alloc);
    if (L == nullptr) return 0;
    lua_atpanic(L, atpanic);
    std::string input(reinterpret_cast<const char *>(data), size);

    if (size > 0 && data[0] == 0x1B) {
        if (load_binary(L, input)) {
            // Rewritten, then loaded again: the same bytes. (The input
            // itself may differ: a boolean's or a string terminator's byte
            // the loader does not keep.)
            std::string again = dump_top(L, 0);
            if (!load_binary(L, again) || dump_top(L, 0) != again) std::abort();
            lua_pop(L, 1);
            open_test_functions(L);
            budget = kInstructionLimit;
            lua_sethook(L, limiter, LUA_MASKCOUNT, kHookStep);
            int rounds = 0;
            while (lua_resume(L, nullptr, 0) == LUA_YIELD && ++rounds < 1000) {
                lua_settop(L, 0);
            }
        }
    } else if (zorva_load_source(L, input.data(), input.size(), "=fuzz") == LUA_OK) {
        for (int strip = 0; strip <= 1; strip++) {
            std::string bytes = dump_top(L, strip);
            if (!load_binary(L, bytes) || dump_top(L, strip) != bytes) std::abort();
            lua_pop(L, 1);
        }
    }
    lua_close(L);
    if (alloc.live != 0) std::abort(); // everything is given back
    return 0;
}
