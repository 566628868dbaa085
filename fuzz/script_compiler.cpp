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
#include "script_limits.h"

using namespace fuzz_limits;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 16) return 0;
    CappedAlloc alloc;
    lua_State *L = open_limited_state(&alloc);
    if (L == nullptr) return 0;
    if (zorva_load_source(L, reinterpret_cast<const char *>(data), size, "=fuzz") == LUA_OK) {
        int status;
        int rounds = 0;
        while ((status = lua_resume(L, nullptr, 0)) == LUA_YIELD && ++rounds < 1000) {
            lua_settop(L, 0);
        }
        (void)status;
    }
    close_limited_state(L, alloc);
    return 0;
}
