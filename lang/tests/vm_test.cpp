// The virtual machine: scripts run through the compiler and the
// interpreter, checked by what they print (out) or the error they raise.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script_run.h"

namespace {

struct Case {
    const char *source;
    const char *expected; // output, or for errors the message
};

void expect_outputs(const std::vector<Case> &cases) {
    for (const Case &c : cases) {
        ScriptResult r = run_script(c.source);
        EXPECT_EQ(r.status, LUA_OK) << c.source << "\n" << r.error;
        EXPECT_EQ(r.out, c.expected) << c.source;
    }
}

void expect_errors(const std::vector<Case> &cases) {
    for (const Case &c : cases) {
        ScriptResult r = run_script(c.source);
        EXPECT_EQ(r.status, LUA_ERRRUN) << c.source;
        EXPECT_EQ(r.error, c.expected) << c.source;
    }
}

} // namespace

TEST(VmArith, WrappingAndFixedPointOperators) {
    expect_outputs({
        {"out(32767 + 1, -32768 - 1)", "-32768 32767\n"},
        {"local x = -32768 out(-x, -(-x))", "-32768 -32768\n"},
        {"out(0x7fff.ffff + 0x0.0001)", "-32768\n"},
        {"local a, b = 1.5, -1.5 out(a * b, 200 * 200)", "-2.25 -25536\n"},
        {"local z = 0 out(1/z, -1/z, 0/z, 5 % z)", "32768 -32768 32768 5\n"},
        {"local a = 1 out(a/3, -a/3)", "0.3333 -0.3333\n"},
        {"out(-1 % 3, 5.5 % -2, -3 % 3, -7 % 2)", "2 1.5 0 1\n"},
        {"local two = 2 out(two ^ 3, two ^ -1, two ^ 0.5, 0 ^ 0)", "8 0.5 1.4167 1\n"},
        {"local x = 0x0.0001 out(x, -x, x * 32767)", "0 -0 0.5\n"},
        {"local v = 100 v = v - 0.25 out(v, -v)", "99.75 -99.75\n"},
    });
}

TEST(VmArith, StringCoercion) {
    expect_outputs({
        {"out('10' + 5, '0x10' * 2, ' 3 ' - 1, -'2')", "15 32 2 -2\n"},
        {"out('1e5' + 0, '0b101.01' + 0)", "-32768 5.25\n"},
        {"local s = '7' out(s % 4, s ^ 2, s / 2)", "3 49 3.5\n"},
    });
    expect_errors({
        {"local x = 'abc' + 1", "attempt to perform arithmetic on a string value"},
        {"local s = 'abc' local y = s * 2", "attempt to perform arithmetic on local 's' (a string value)"},
        {"local t = {} local y = -t", "attempt to perform arithmetic on local 't' (a table value)"},
        {"local y = 1 + nothing", "attempt to perform arithmetic on global 'nothing' (a nil value)"},
    });
}

TEST(VmArith, Metamethods) {
    expect_outputs({
        {"local mt = {__add = function(a, b) return 'add' end, __unm = function(a) return 'unm' end,\n"
         "  __mod = function(a, b) return b end, __pow = function(a, b) return a == 2 and 'p2' end}\n"
         "local t = setmetatable({}, mt)\n"
         "out(t + 1, 1 + t, -t, t % 9, 2 ^ t)",
         "add add unm 9 p2\n"},
        {"local mt = {__len = function() return 42 end, __concat = function(a, b) return 'cc' end}\n"
         "local t = setmetatable({}, mt) out(#t, t .. 'x', 'x' .. t, 1 .. t)",
         "42 cc cc cc\n"},
    });
}

TEST(VmCompare, NumbersStringsAndMetamethods) {
    expect_outputs({
        {"out(-1 < 1, 1 < -1, -32768 < 32767, 0x0.0001 > 0, 2 <= 2, 3 >= 4)", "true false true true true false\n"},
        {"out('a' < 'b', 'abc' < 'abd', 'b' <= 'a', 'a\\0b' < 'a\\0c', 'a' < 'a\\0')", "true true false true true\n"},
        {"out(1 == '1', '1' == 1, 1 == 1.0, 'x' == 'x', {} == {})", "false false true true false\n"},
        {"local e = {__eq = function() return true end}\n"
         "local a, b = setmetatable({}, e), setmetatable({}, e) out(a == b, a ~= b, a == 1)",
         "true false false\n"},
        {"local m = {__lt = function(a, b) return a.v < b.v end}\n"
         "local a, b = setmetatable({v = 1}, m), setmetatable({v = 2}, m)\n"
         "out(a < b, b < a, a <= b, b <= a, a > b)",
         "true false true false false\n"},
        {"local m = {__le = function(a, b) return 'yes' end}\n"
         "local a = setmetatable({}, m) out(a <= a, a >= a)",
         "true true\n"},
    });
    expect_errors({
        {"local b = 1 < 'x'", "attempt to compare number with string"},
        {"local b = {} < {}", "attempt to compare two table values"},
        {"local b = nil <= true", "attempt to compare nil with boolean"},
    });
}

TEST(VmLength, StringsTablesAndWrapping) {
    expect_outputs({
        {"out(#'abc', #'', #{1, 2, 3}, #{n = 1})", "3 0 3 0\n"},
        {"local s = 'a' for i = 1, 14 do s = s .. s end out(#s) s = s .. s out(#s) s = s .. s out(#s)",
         "16384\n-32768\n0\n"},
        {"local t = {} for i = 1, 300 do t[i] = i end out(#t) t[301] = 1 t[302] = 2 out(#t)", "300\n302\n"},
        // Whole keys wrap at 32768, so a table holding all 65536 of them has
        // no border: its length is 65536, which wraps to 0 (and the search
        // for the border ends).
        {"local t = {} for i = -32768, 32767 do t[i] = true end out(#t)", "0\n"},
    });
    expect_errors({
        {"local n = nil local x = #n", "attempt to get length of local 'n' (a nil value)"},
        {"local x = #5", "attempt to get length of a number value"},
    });
}

TEST(VmConcat, NumbersThroughTheirTextForm) {
    expect_outputs({
        {"local a = 1 out((a/3) .. '', 0x7fff.ffff .. '', 1 .. 2, -0.5 .. '|' .. 2.25)",
         "0.3333 32768 12 -0.5|2.25\n"},
        {"local s = '' for i = 1, 10 do s = s .. i end out(s, #s)", "12345678910 11\n"},
        {"local a, b, c = 'x', 3, 'y' out(a .. b .. c .. b .. a)", "x3y3x\n"},
    });
    expect_errors({
        {"local x local s = 'a' .. x", "attempt to concatenate local 'x' (a nil value)"},
        {"local s = {} .. 'a'", "attempt to concatenate a table value"},
        {"t = {} local s = 'a' .. t.k", "attempt to concatenate field 'k' (a nil value)"},
    });
}

TEST(VmTables, ArrayHashAndMetamethodChains) {
    expect_outputs({
        {"local t = {} t[1] = 'a' t[1.0] = 'b' t[0] = 'z' t[-1] = 'm' t[0.5] = 'h'\n"
         "out(t[1], t[0], t[-1], t[0.5], t[32767], #t)",
         "b z m h nil 1\n"},
        {"local t = {10, 20, 30, x = 1, [5] = 50} out(t[1], t[3], t[5], t.x, t[4])", "10 30 50 1 nil\n"},
        {"local t = {} t[32767] = 1 t[-32768] = 2 t[32767.5] = 3 out(t[32767], t[-32768], t[32767.5])", "1 2 3\n"},
        {"local base = {f = 'found'} local t = base\n"
         "for i = 1, 50 do t = setmetatable({}, {__index = t}) end out(t.f, t.g)",
         "found nil\n"},
        {"local log = {} local t = setmetatable({}, {__newindex = function(t, k, v) log[#log + 1] = k .. '=' .. v end})\n"
         "t.a = 1 t[2] = 'b' out(log[1], log[2], t.a)",
         "a=1 2=b nil\n"},
        {"local function f(...) return ... end local t = {f(1, 2, 3)} local u = {f(1, 2, 3), f(4)} out(#t, #u, u[2])",
         "3 2 4\n"},
    });
    // A chain may pass through 100 tables (99 __index or __newindex
    // links), by string, number or method key; one more is an error.
    const std::string chain99 = "local base = {f = 'found', [5] = 'five', m = function() return 'm' end} local t = base\n"
                                "for i = 1, 99 do t = setmetatable({}, {__index = t}) end\n"
                                "local store = {} local u = store for i = 1, 99 do u = setmetatable({}, {__newindex = u}) end\n"
                                "u.x = 1 u[2] = 2 out(t.f, t[5], t:m(), t.g, store.x, store[2], getmetatable(u).__newindex.x)";
    expect_outputs({{chain99.c_str(), "found five m nil 1 2 nil\n"}});
    expect_errors({
        {"local t = {} for i = 1, 100 do t = setmetatable({}, {__index = t}) end local x = t.missing",
         "loop in gettable"},
        {"local t = {} for i = 1, 100 do t = setmetatable({}, {__index = t}) end local x = t[1]", "loop in gettable"},
        {"local t = {} for i = 1, 100 do t = setmetatable({}, {__index = t}) end t:m()", "loop in gettable"},
        {"local t = {} for i = 1, 100 do t = setmetatable({}, {__newindex = t}) end t.x = 1", "loop in settable"},
        {"local t = nil t.x = 1", "attempt to index local 't' (a nil value)"},
        {"local t = {} t[nil] = 1", "table index is nil"},
    });
}

TEST(VmTables, LongConstructors) {
    std::string src = "local t = {";
    for (int i = 1; i <= 120; i++) src += std::to_string(i) + ",";
    src += "} local sum = 0 for i = 1, #t do sum = sum + t[i] end out(#t, sum, t[51], t[120])";
    expect_outputs({{src.c_str(), "120 7260 51 120\n"}});
}

TEST(ForLoop, CountsAndBounds) {
    struct LoopCase {
        const char *header;
        const char *expected; // count, first and last index
    };
    const LoopCase cases[] = {
        {"i = 1, 3", "3 1 3"},
        {"i = 0, 10", "11 0 10"},
        {"i = 3, 1, -1", "3 3 1"},
        {"i = 1, 0", "0 nil nil"},
        {"i = 0, 0, 0", "0 nil nil"},
        {"i = 1, 32767", "32767 1 32767"},
        {"i = 32760, 32767, 2", "4 32760 32766"},
        {"i = -1, 1, 0x0.8", "5 -1 1"},
        {"i = '1', '2', '0.5'", "3 1 2"},
        // initial - step wraps: the first iteration is decided on the
        // initial value itself.
        {"i = -32768, 0", "-32767 -32768 0"}, // the count wraps too
        {"i = -32768, -32768", "1 -32768 -32768"},
        {"i = -32000, 0, 1000", "33 -32000 0"},
        {"i = 32767, 32767, -1", "1 32767 32767"},
        {"i = 32767, 32760, -2", "4 32767 32761"},
        {"i = -32768, -32767, 0x0.8", "3 -32768 -32767"},
        // Stepping down past -32768 stops instead of wrapping around.
        {"i = -1, -32768, -1", "-32768 -1 -32768"},
        {"i = -32760, -32768, -3", "3 -32760 -32766"},
        // Stepping up past 32767.99998 stops too.
        {"i = 32000, 32767.99, 500", "2 32000 32500"},
    };
    for (const LoopCase &c : cases) {
        std::string src = std::string("local n, first, last = 0 for ") + c.header +
                          " do n = n + 1 first = first or i last = i end out(n, first, last)";
        ScriptResult r = run_script(src);
        EXPECT_EQ(r.status, LUA_OK) << c.header << ": " << r.error;
        EXPECT_EQ(r.out, std::string(c.expected) + "\n") << c.header;
    }
    // A zero step away from 0 never ends, as in the reference design.
    ScriptResult r = run_script("local n = 0 for i = 5, 1, 0 do n = n + 1 if n == 1000 then break end end out(n)");
    EXPECT_EQ(r.out, "1000\n");
    // Writing the visible variable does not change the count.
    r = run_script("local n = 0 for i = 1, 5 do i = i * 10 n = n + 1 end out(n)");
    EXPECT_EQ(r.out, "5\n");
    expect_errors({
        {"for i = 'a', 2 do end", "'for' initial value must be a number"},
        {"for i = 1, {} do end", "'for' limit must be a number"},
        {"for i = 1, 2, nil do end", "'for' step must be a number"},
    });
}

TEST(VmCalls, ClosuresVarargsAndReturns) {
    expect_outputs({
        {"local function counter() local n = 0 return function() n = n + 1 return n end end\n"
         "local a, b = counter(), counter() a() a() out(a(), b())",
         "3 1\n"},
        {"local fs = {} for i = 1, 3 do fs[i] = function() return i end end out(fs[1](), fs[2](), fs[3]())", "1 2 3\n"},
        {"local get, set do local v = 1 get = function() return v end set = function(x) v = x end end\n"
         "set(9) out(get())",
         "9\n"},
        {"local function f(...) local a, b = ... return b, ... end out(f(1, 2, 3))", "2 1 2 3\n"},
        {"local function f(a, ...) local t = {...} return #t, a end out(f(), f(1), f(1, 2, 3))", "0 0 2 1\n"},
        {"local function g() return 1, 2, 3 end local function f() return g() end local a, b, c, d = f() out(a, b, c, d)",
         "1 2 3 nil\n"},
        {"local function loop(n, acc) if n == 0 then return acc end return loop(n - 1, acc + 1) end out(loop(30000, 0))",
         "30000\n"},
        {"local o = {v = 5} function o:get(d) return self.v + d end out(o:get(1), o.get(o, 2))", "6 7\n"},
        {"local C = {} C.__index = C function C.new(v) return setmetatable({v = v}, C) end\n"
         "function C:twice() return self.v * 2 end out(C.new(4):twice())",
         "8\n"},
        {"local t = setmetatable({}, {__call = function(self, a, b) return a + b end}) out(t(2, 3))", "5\n"},
        {"local s = 0 for k, v in pairs({10, 20, 30}) do s = s + k * v end out(s)", "140\n"},
        {"local function iter(t, i) i = i + 1 if t[i] then return i, t[i] end end\n"
         "local s = '' for i, v in iter, {'a', 'b', 'c'}, 0 do s = s .. i .. v end out(s)",
         "1a2b3c\n"},
        {"local a, b = 1 local c, d = (function() return 1, 2 end)() out(a, b, c, d)", "1 nil 1 2\n"},
        {"local x = 1 while true do x = x * 2 if x > 100 then break end end repeat x = x - 1 until x < 120 out(x)",
         "119\n"},
        {"local t = {} for i = 1, 3 do local j = i * 2 t[i] = function() j = j + 1 return j end end out(t[1](), t[1](), t[3]())",
         "3 4 7\n"},
    });
}

TEST(VmErrors, VariableKindsInMessages) {
    expect_errors({
        {"local t t.x = 1", "attempt to index local 't' (a nil value)"},
        {"f()", "attempt to call global 'f' (a nil value)"},
        {"local t = {} t.m()", "attempt to call field 'm' (a nil value)"},
        {"local t = {} t:m()", "attempt to call method 'm' (a nil value)"},
        {"local u local function f() return u.x end f()", "attempt to index upvalue 'u' (a nil value)"},
        {"local x = g.y", "attempt to index global 'g' (a nil value)"},
        {"local t = {a = {}} local y = t.a.b.c", "attempt to index field 'b' (a nil value)"},
        {"local x = ('x')()", "attempt to call constant 'x' (a string value)"},
        {"local n = 5 n()", "attempt to call local 'n' (a number value)"},
        {"local t = {} local y = t.a + 1", "attempt to perform arithmetic on field 'a' (a nil value)"},
    });
}

TEST(VmErrors, RunawayRecursionEndsAsAnError) {
    ScriptResult r = run_script("local function f(n) return 1 + f(n + 1) end f(1)");
    EXPECT_EQ(r.status, LUA_ERRRUN);
    EXPECT_NE(r.error.find("stack overflow"), std::string::npos) << r.error;
    // Recursion through metamethods nests host frames: bounded too.
    r = run_script("local t = setmetatable({}, {}) getmetatable(t).__index = function(t, k) return t[k] end local x = t.a");
    EXPECT_EQ(r.status, LUA_ERRRUN);
    EXPECT_NE(r.error.find("stack overflow"), std::string::npos) << r.error;
}

// A script that allocates without end fails with the memory error, and the
// state runs the next chunk once memory is there again.
TEST(VmErrors, OutOfMemoryEndsAsAnError) {
    ScriptState s;
    s.alloc.fail_after = 20000; // allocations before the allocator refuses
    ScriptResult r = s.run("local t = {} local i = 0 while true do i = i + 1 t[i] = {i, tostr = 'x' .. i} end");
    EXPECT_EQ(r.status, LUA_ERRMEM);
    EXPECT_EQ(r.error, "not enough memory");
    s.alloc.fail_after = -1;
    lua_reset_call_state_zorva(s.L);
    r = s.run("local t = {1, 2, 3} out(#t)");
    EXPECT_EQ(r.status, LUA_OK) << r.error;
    EXPECT_EQ(r.out, "3\n");
}

// Deep recursion grows the thread's stack and call records; a collection
// afterwards gives that memory back.
TEST(VmErrors, StackShrinksAfterDeepRecursion) {
    ScriptState s;
    ScriptResult r = s.run("local function f(n) if n == 0 then return 0 end return 1 + f(n - 1) end out(f(10))");
    ASSERT_EQ(r.out, "10\n");
    lua_gc(s.L, LUA_GCCOLLECT, 0);
    size_t shallow = s.alloc.live;
    r = s.run("local function f(n) if n == 0 then return 0 end return 1 + f(n - 1) end out(f(20000))");
    ASSERT_EQ(r.out, "20000\n") << r.error;
    lua_gc(s.L, LUA_GCCOLLECT, 0);
    EXPECT_LT(s.alloc.live, shallow + 4096) << "deep: " << s.alloc.live << ", shallow: " << shallow;
}

// Metamethods that yield: the interrupted instruction is finished on
// resume.
TEST(VmCoroutines, YieldInsideMetamethods) {
    expect_outputs({
        {"local mt = {__add = function(a, b) yield() return 10 end, __index = function(t, k) yield() return k .. '!' end,\n"
         "  __lt = function(a, b) yield() return true end, __le = function(a, b) yield() return false end,\n"
         "  __concat = function(a, b) yield() return 'cat' end, __eq = function() yield() return true end,\n"
         "  __len = function() yield() return 3 end, __unm = function() yield() return -1 end,\n"
         "  __newindex = function(t, k, v) yield() rawv = v end, __call = function(self, x) yield() return x * 2 end}\n"
         "local a, b = setmetatable({}, mt), setmetatable({}, mt)\n"
         "out(a + 1, a.key, a < b, a <= b, a > b, 'x' .. a .. 'y', a == b, #a, -a, a(21))\n"
         "a.z = 5 out(rawv)\n"
         "if a < b then out('lt') end if a <= b then out('le') else out('not le') end",
         "10 key! true false true xcat true 3 -1 42\n5\nlt\nnot le\n"},
        // A yielding __le found on the second operand only, or next to a
        // constant operand: its answer stands (not inverted as a fallback
        // to __lt would be).
        {"local mt = {__le = function(a, b) yield() return false end}\n"
         "local a, b = {}, setmetatable({}, mt)\n"
         "out(a <= b, b <= a, 5 <= b, b >= 5) if b <= 5 then out('le') else out('not le') end",
         "false false false false\nnot le\n"},
        // __le falls back to not __lt with swapped operands.
        {"local mt = {__lt = function(a, b) yield() return a.v < b.v end}\n"
         "local a, b = setmetatable({v = 1}, mt), setmetatable({v = 2}, mt) out(a <= b, b <= a)",
         "true false\n"},
        {"local co = cocreate(function(a, b) local c = yield(a + b) local d, e = yield(c * 2) return d + e end)\n"
         "out(coresume(co, 1, 2)) out(coresume(co, 10)) out(coresume(co, 3, 4)) out(costatus(co))",
         "true 3\ntrue 20\ntrue 7\ndead\n"},
        {"local co = cocreate(function() local t = nil return t.x end) out(coresume(co)) out(costatus(co))",
         "false attempt to index local 't' (a nil value)\ndead\n"},
        {"local gen = function(n) return cocreate(function() for i = 1, n do yield(i) end end) end\n"
         "local co = gen(3) local s = 0 while true do local ok, v = coresume(co) if not v then break end s = s + v end out(s)",
         "6\n"},
    });
}
