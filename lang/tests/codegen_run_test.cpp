// Compiled code as the machine runs it: the constructs whose code the
// generator shapes (loops and their hidden locals, gotos over locals,
// closures in loops, multiple assignment, folding, and/or values, long
// constructors) give the results the language defines.
#include "script_run.h"

#include <gtest/gtest.h>

namespace {

struct RunCase {
    const char *source;
    const char *out;
};

void check_runs(const RunCase *cases, size_t n) {
    for (size_t i = 0; i < n; i++) {
        ScriptResult r = run_script(cases[i].source);
        EXPECT_EQ(r.error, "") << cases[i].source;
        EXPECT_EQ(r.out, cases[i].out) << cases[i].source;
    }
}

TEST(CodeGenRun, Loops) {
    const RunCase cases[] = {
        {"local s = 0 for i = 1, 10 do s = s + i end out(s)", "55\n"},
        {"local n = 0 for i = 0, 10 do n = n + 1 end out(n)", "11\n"},
        {"for i = 1, 2, 0.5 do out(i) end", "1\n1.5\n2\n"},
        {"for i = 3, 1, -1 do out(i) end", "3\n2\n1\n"},
        {"for i = 1, 3 do local j = i * 2 i = 10 out(j) end", "2\n4\n6\n"}, // the visible copy only
        {"local r = {} for k, v in pairs({10, 20, 30}) do r[k] = v * k end out(r[1], r[2], r[3])", "10 40 90\n"},
        {"local w = 3 while w > 0 do w = w - 1 end out(w)", "0\n"},
        {"local w = 0 repeat local z = w w = w + 1 until z >= 2 out(w)", "3\n"},
        {"for i = 1, 3 do for j = 1, 3 do if j == 2 then break end out(i, j) end end", "1 1\n2 1\n3 1\n"},
    };
    check_runs(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST(CodeGenRun, GotoAndClosures) {
    const RunCase cases[] = {
        // a backward goto over a local declaration sees it cleared again
        {"local a ::l:: local b out(b) b = 1 a = (a or 0) + 1 if a < 3 then goto l end", "nil\nnil\nnil\n"},
        {"local k = 0 ::top:: k = k + 1 if k < 5 then goto top end out(k)", "5\n"},
        {"for j = 1, 3 do if j == 2 then goto continue end out(j) ::continue:: end", "1\n3\n"},
        // each iteration has its own local, each closure its own upvalue
        {"local fs = {} for i = 1, 3 do fs[i] = function() return i end end out(fs[1](), fs[2](), fs[3]())",
         "1 2 3\n"},
        {"local fs = {} local i = 1 while i <= 3 do local j = i fs[i] = function() return j end i = i + 1 end "
         "out(fs[1](), fs[3]())",
         "1 3\n"},
        {"local fs = {} for i = 1, 3 do local x = i * 10 fs[i] = function() x = x + 1 return x end "
         "if i == 2 then break end end out(fs[1](), fs[1](), fs[2]())",
         "11 12 21\n"},
        {"local function counter() local k = 0 return function() k = k + 1 return k end end "
         "local a, b = counter(), counter() a() a() out(a(), b())",
         "3 1\n"},
        {"do local cap = 1 local function g() return cap end cap = 2 out(g()) end", "2\n"},
        {"local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end out(fib(15))", "610\n"},
    };
    check_runs(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST(CodeGenRun, AssignmentsAndExpressions) {
    const RunCase cases[] = {
        {"local x, y = 1, 2 x, y = y, x out(x, y)", "2 1\n"},
        {"local a = {} local i = 1 i, a[i] = i + 1, 20 out(i, a[1], a[2])", "2 20 nil\n"},
        {"local t = {} local u = t t, t.x = 5, 7 out(t, u.x)", "5 7\n"},
        {"local a, b, c = (function() return 1, 2, 3 end)() out(a, b, c)", "1 2 3\n"},
        {"local a, b, c = 1 out(a, b, c)", "1 nil nil\n"},
        {"out(nil and 1 or 2, false or nil, 1 and 2, not nil, 1 == 1, 1 ~= 1, 2 >= 1, 'a' < 'b')",
         "2 nil 2 true true false true true\n"},
        {"local a, b = 3, 4 out(a > b and 'gt' or 'le', a < b and b or a)", "le 4\n"},
        {"local obj = {v = 5} function obj:get(d) return self.v + d end out(obj:get(1), obj.get(obj, 2))",
         "6 7\n"},
        {"local function va(...) local a, b = ... return b, ... end out(va(7, 8, 9))", "8 7 8 9\n"},
        {"local function n(...) local t = {...} return #t end out(n(), n(nil, 2), n(1, 2, 3))", "0 2 3\n"},
        {"out('x' .. 1 .. 2, #'abc', -(2), - -3)", "x12 3 -2 3\n"},
    };
    check_runs(cases, sizeof(cases) / sizeof(cases[0]));
}

// The operator priorities of the language, with constants (folded where
// they can be) and with the same values in locals (computed at run time).
TEST(CodeGenRun, OperatorPriorities) {
    const RunCase cases[] = {
        {"out(2 + 3 * 4 ^ 2 / 8, -2 ^ 2, 2 ^ -1, 2 ^ 3 ^ 2, 2 * -3 ^ 2, 10 - 2 - 3, 64 / 4 / 2, 7 % 4 * 2)",
         "8 -4 0.5 512 -18 5 8 6\n"},
        {"local a, b, c, d, e, f, g = 2, 3, 4, 8, 10, 64, 7\n"
         "out(a + b * c ^ a / d, -a ^ a, a ^ -1, a ^ b ^ a, a * -b ^ a, e - a - b, f / c / a, g % c * a)",
         "8 -4 0.5 512 -18 5 8 6\n"},
        {"out(1 .. 2 + 3, 'a' .. 1 + 2 .. 'b', 'x' .. 'y' == 'xy', 1 + 2 < 4, #'abc' + 1, -#'ab', - - 2)",
         "15 a3b true true 4 -2 2\n"},
        {"local one, two, three, s = 1, 2, 3, 'ab'\n"
         "out(one .. two + three, 'a' .. one + two .. 'b', s .. 'c' == 'abc', one + two < 4, #s + 1, -#s, - - two)",
         "15 a3b true true 3 -2 2\n"},
        {"local n, f, t = nil, false, true\n"
         "out(not 1 == 2, not n == t, 1 < 2 == t, n or f and 1, 1 == 1 and 2 or 3, f and 1 or 2, t or n.x)",
         "false true true false 2 2 true\n"},
    };
    check_runs(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST(CodeGenRun, FoldedConstantsMatchRunTime) {
    const RunCase cases[] = {
        {"local two, one, three = 2, 1, 3 "
         "out(2^0.5 == two^0.5, 1/3 == one/three, 32767 + 1 == 32767 + one, 7 % -2 == 7 % -two)",
         "true true true true\n"},
        {"out(1/0, -1/0, 5 % 0, 2^0.5, 32767 + 1, 1/3, -(-32768))", "32768 -32768 5 1.4167 -32768 0.3333 -32768\n"},
    };
    check_runs(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST(CodeGenRun, LongConstructorsAndManyConstants) {
    std::string items, strings;
    for (int i = 1; i <= 120; i++) items += std::to_string(i) + ",";
    for (int i = 1; i <= 300; i++) strings += "'s" + std::to_string(i) + "',";
    const std::string sources[] = {
        "local t = {" + items + "} out(#t, t[50], t[51], t[120])",
        "local t = {" + items + "(function() return 7, 8 end)()} out(#t, t[121], t[122])",
        // constants past the operand range go through registers
        "local t = {" + strings + "} local k = {x = 1.5} out(#t, t[300], k.x + 2.25, t[1] .. 'z')",
    };
    const char *outs[] = {"120 50 51 120\n", "122 7 8\n", "300 s300 3.75 s1z\n"};
    for (int i = 0; i < 3; i++) {
        ScriptResult r = run_script(sources[i]);
        EXPECT_EQ(r.error, "");
        EXPECT_EQ(r.out, outs[i]);
    }
}

} // namespace
