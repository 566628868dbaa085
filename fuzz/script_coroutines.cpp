// Runs script programs on coroutines under the instruction and memory
// limits of the script fuzz targets. An input whose first byte is below 128
// is program text (mutated by the fuzzer as it stands), loaded and started
// on a new coroutine with a few arguments; any other input is a recipe from
// which a program is generated: functions with many fixed parameters, with
// and without "...", that call each other directly, through metamethods and
// on new coroutines with any number of arguments, so that frames start on
// small fresh stacks. No input may crash the host or corrupt memory.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "lsource_load.h"
#include "ltestlib.h"
#include "lua.h"
#include "script_limits.h"

using namespace fuzz_limits;

namespace {

// A script object whose metamethods are all functions, so that every
// operator on it calls one.
const char *const kPrelude =
    "local m = setmetatable({}, {__index = function(t, k) return k end,\n"
    "  __newindex = function(t, k, v) end, __call = function(self, ...) return ... end,\n"
    "  __concat = function(a, b) return 'c' end, __lt = function() return true end,\n"
    "  __le = function() return false end, __eq = function() return true end,\n"
    "  __len = function() return 3 end, __add = function() return 1 end,\n"
    "  __unm = function() return 2 end})\n"
    "local f = {}\n";

struct Generator {
    FuzzedDataProvider &in;
    std::string src;
    int nfuncs = 1;
    // What the function being generated can name.
    int nparams = 0;
    int nlocals = 0;
    bool vararg = false;

    explicit Generator(FuzzedDataProvider &provider) : in(provider) {}

    int pick(int n) { return in.ConsumeIntegralInRange<int>(0, n - 1); }

    std::string name() {
        int n = nparams + nlocals;
        if (n == 0) return "m";
        int i = pick(n);
        return i < nparams ? "a" + std::to_string(i + 1) : "l" + std::to_string(i - nparams + 1);
    }

    std::string func() { return "f[" + std::to_string(pick(nfuncs) + 1) + "]"; }

    // A list of count values; "..." may end it in a vararg function.
    std::string list(int depth, int count) {
        std::string s;
        for (int i = 0; i < count; i++) s += (i ? "," : "") + expr(depth + 1);
        if (vararg && in.ConsumeBool()) s += count ? ",..." : "...";
        return s;
    }

    std::string args(int depth) {
        // Mostly short lists, sometimes long ones.
        int count = in.ConsumeBool() ? pick(4) : pick(40);
        return list(depth, count);
    }

    // A call of a generated function on a new coroutine.
    std::string resume(int depth) {
        std::string a = args(depth);
        return "coresume(cocreate(" + func() + ")" + (a.empty() ? "" : "," + a) + ")";
    }

    std::string expr(int depth) {
        if (depth > 4 || in.remaining_bytes() == 0) return std::to_string(pick(100));
        switch (pick(18)) {
        case 0: return std::to_string(pick(1000));
        case 1: return "'s" + std::to_string(pick(10)) + "'";
        case 2:
        case 3: return name();
        case 4: return vararg ? "..." : "nil";
        case 5: return "m.k" + std::to_string(pick(5));
        case 6: return "(m .. " + expr(depth + 1) + ")";
        case 7: return "(" + expr(depth + 1) + " .. " + expr(depth + 1) + " .. " + expr(depth + 1) + ")";
        case 8: return "(m < m)";
        case 9: return "(m <= " + name() + ")";
        case 10: return "(m == m)";
        case 11: return "(#m + -m + (m + 1))";
        case 12: return "m(" + args(depth) + ")";
        case 13: return func() + "(" + args(depth) + ")";
        case 14: return resume(depth);
        case 15: return "{" + args(depth) + "}";
        case 16: return "#{" + args(depth) + "}";
        default: return "sub('abcdef', " + std::to_string(pick(8)) + ")";
        }
    }

    void statement(int depth) {
        switch (depth > 2 ? pick(4) : pick(8)) {
        case 0:
            src += "local l" + std::to_string(++nlocals) + " = " + expr(depth) + "\n";
            break;
        case 1: src += "out(" + args(depth) + ")\n"; break;
        case 2: src += func() + "(" + args(depth) + ")\n"; break;
        case 3: src += resume(depth) + "\n"; break;
        case 4: src += "yield(" + args(depth) + ")\n"; break;
        case 5: src += "m.k = " + expr(depth) + "\n"; break;
        case 6: {
            src += "for i = 1, " + std::to_string(pick(20) + 1) + " do\n";
            int saved = nlocals; // the loop's locals end with it
            statement(depth + 1);
            statement(depth + 1);
            nlocals = saved;
            src += "end\n";
            break;
        }
        default: src += "if " + expr(depth) + " then " + func() + "(" + args(depth) + ") end\n"; break;
        }
    }

    void function(int index) {
        nparams = in.ConsumeBool() ? pick(8) : pick(100);
        nlocals = 0;
        vararg = in.ConsumeBool();
        src += "f[" + std::to_string(index) + "] = function(";
        for (int i = 1; i <= nparams; i++) src += (i > 1 ? ",a" : "a") + std::to_string(i);
        if (vararg) src += nparams ? ",..." : "...";
        src += ")\n";
        // Locals fill the frame, so that calls start near its top.
        int fill = pick(3) == 0 ? pick(60) : 0;
        for (int i = 0; i < fill; i++) src += "local l" + std::to_string(++nlocals) + " = " + std::to_string(i) + "\n";
        int n = pick(6) + 1;
        for (int i = 0; i < n; i++) statement(0);
        src += "return " + args(0) + "\nend\n";
    }

    std::string program() {
        src = kPrelude;
        int total = pick(6) + 1;
        for (int i = 1; i <= total; i++) {
            nfuncs = i;
            function(i);
        }
        nfuncs = total;
        nparams = nlocals = 0;
        vararg = true;
        // Every top-level call runs on its own coroutine, so that an error
        // in one leaves the others to run.
        int calls = pick(8) + 1;
        for (int i = 0; i < calls; i++)
            src += "for i = 1, " + std::to_string(pick(50) + 1) + " do " + resume(0) + " end\n";
        return src;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0 || size > 1 << 16) return 0;
    std::string source;
    int nargs = 0;
    if (data[0] < 128) {
        source.assign(reinterpret_cast<const char *>(data), size);
        nargs = size % 5;
    } else {
        FuzzedDataProvider in(data + 1, size - 1);
        Generator g(in);
        source = g.program();
        nargs = data[0] % 5;
    }
    CappedAlloc alloc;
    lua_State *L = open_limited_state(&alloc);
    if (L == nullptr) return 0;
    // The chunk runs on a new coroutine, which has the smallest stack.
    lua_State *co = lua_newthread(L);
    if (zorva_load_source(co, source.data(), source.size(), "=fuzz") == LUA_OK) {
        for (int i = 0; i < nargs; i++) lua_pushinteger(co, i << 16);
        int rounds = 0;
        while (lua_resume(co, L, nargs) == LUA_YIELD && ++rounds < 1000) {
            lua_settop(co, 0);
            nargs = 0;
        }
    }
    close_limited_state(L, alloc);
    return 0;
}
