// Frames and calls that write above the stack top, started where the stack
// is smallest: on the fresh stack of a new coroutine. Each must make room
// first (the sanitizer build catches a write past the block).
#include <gtest/gtest.h>

#include <string>

#include "script_run.h"

namespace {

std::string params(int n) {
    std::string s;
    for (int i = 1; i <= n; i++) s += (i > 1 ? ",a" : "a") + std::to_string(i);
    return s;
}

std::string numbers(int from, int to) {
    std::string s;
    for (int i = from; i <= to; i++) s += (i > from ? "," : "") + std::to_string(i);
    return s;
}

} // namespace

// A vararg function moves its fixed parameters above the arguments; with
// many fixed parameters and few arguments that needs more than the frame.
TEST(StackRoom, VarargFunctionsOnFreshCoroutineStacks) {
    ScriptState s;
    for (int fixed : {1, 20, 37, 48, 100}) {
        for (int given : {0, fixed / 2, fixed, fixed + 30}) {
            std::string src = "local function g(" + params(fixed) + ",...) local t = {...} return a" +
                              std::to_string(fixed) + ", #t end\n" + "local last, extra\n" +
                              "for i = 1, 20 do local ok\n"
                              "  ok, last, extra = coresume(cocreate(g)" +
                              (given ? "," + numbers(1, given) : "") +
                              ")\n"
                              "  assert(ok)\n"
                              "end\n"
                              "out(last, extra)\n";
            ScriptResult r = s.run(src);
            ASSERT_EQ(r.status, LUA_OK) << fixed << " fixed, " << given << " given: " << r.error;
            std::string want = (given >= fixed ? std::to_string(fixed) : "nil") + " " +
                               std::to_string(given > fixed ? given - fixed : 0) + "\n";
            EXPECT_EQ(r.out, want) << fixed << " fixed, " << given << " given";
        }
    }
}

// Metamethods and "__call" push their function and operands above the top;
// a frame whose registers fill a fresh coroutine stack leaves them the
// least room.
TEST(StackRoom, MetamethodsAtTheTopOfAFullFrame) {
    std::string locals;
    for (int i = 1; i <= 34; i++) locals += "local l" + std::to_string(i) + " = " + std::to_string(i) + "\n";
    const char *ops =
        "local mt = {}\n"
        "mt.__index = function(t, k) return k .. '!' end\n"
        "mt.__newindex = function(t, k, v) rawlog = k .. '=' .. v end\n"
        "mt.__lt = function(a, b) return true end\n"
        "mt.__le = function(a, b) return false end\n"
        "mt.__eq = function(a, b) return true end\n"
        "mt.__concat = function(a, b) return 'cat' end\n"
        "mt.__len = function(a) return 7 end\n"
        "mt.__add = function(a, b) return 3 end\n";
    std::string src = std::string(ops) +
                      "local callable = setmetatable({}, {__call = function(self, x) return x + 1 end})\n"
                      "local function body()\n" +
                      locals +
                      "  local a, b = setmetatable({}, mt), setmetatable({}, mt)\n"
                      "  a.k = 'v'\n"
                      "  return a.x, a < b, a <= b, a == b, a .. b, #a, a + 1, callable(1), l34\n"
                      "end\n"
                      "local res\n"
                      "for i = 1, 20 do\n"
                      "  res = {coresume(cocreate(body))}\n"
                      "  assert(res[1], res[2])\n"
                      "end\n"
                      "out(res[2], res[3], res[4], res[5], res[6], res[7], res[8], res[9], res[10], rawlog)\n";
    ScriptResult r = run_script(src);
    ASSERT_EQ(r.status, LUA_OK) << r.error;
    EXPECT_EQ(r.out, "x! true false true cat 7 3 2 34 k=v\n");
}

// "..." expanded in full into a frame at the end of the stack.
TEST(StackRoom, VarargExpansionGrowsTheStack) {
    ScriptResult r = run_script("local function count(...) local t = {...} return #t end\n"
                                "local function pass(...) return count(...) end\n"
                                "local ok, n = coresume(cocreate(pass), " +
                                numbers(1, 240) + ")\n"
                                "out(ok, n)\n");
    ASSERT_EQ(r.status, LUA_OK) << r.error;
    EXPECT_EQ(r.out, "true 240\n");
}
