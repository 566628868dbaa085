// The base library through scripts: the functions that carts see (pairs,
// type, assert, setmetatable, getmetatable) and the host-only ones.
#include <gtest/gtest.h>

#include "run_program.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base_script.h"
#include "zorva_hooks.h"

// ---- Cart-visible functions, on a state that has only them ----------------

TEST(BaseLib, PairsNextAndType) {
    run_cases(
        {
            // Array keys come back first, as the numbers 1, 2, 3.
            {"local t = {7, 8, 9} local k, v = pairs(t)(t) out(k, v, k == 1)\n"
             "local t = {10, 20, 30} local keys = {}\n"
             "for k, v in pairs(t) do keys[#keys + 1] = k .. '=' .. v end out(keys[1], keys[2], keys[3], #keys)",
             "1 7 true\n1=10 2=20 3=30 3\n"},
            // The iterator is next: it ends with a single nil.
            {"local f, t, k = pairs({}) out(type(f), type(t), k, f(t))", "function table nil nil\n"},
            {"local t = {a = 1} local f = pairs(t) local k = f(t) out(k, f(t, k))", "a nil\n"},
            // __pairs: its first three results, called with t.
            {"local t = setmetatable({}, {__pairs = function(self) return 1, self, 3, 4 end})\n"
             "local a, b, c, d = pairs(t) out(a, b == t, c, d)",
             "1 true 3 nil\n"},
            {"local p = setmetatable({}, {__pairs = function(t) return function(_, k) if not k then return 1, 'one' end end, t, nil end})\n"
             "for k, v in pairs(p) do out(k, v) end",
             "1 one\n"},
            {"pairs(5)", "error: bad argument #1 to 'pairs' (table expected, got number)"},
            {"pairs()", "error: bad argument #1 to 'pairs' (table expected, got no value)"},
            {"local f = pairs({}) f({}, 'nokey')", "error: invalid key to 'next'"},
            {"local f = pairs({}) f(nil)", "error: bad argument #1 to 'f' (table expected, got nil)"},
            {"out(type(nil), type(true), type(1), type('s'), type({}), type(print or out), type(cocreate(out)))",
             "nil boolean number string table function thread\n"},
            {"type()", "error: bad argument #1 to 'type' (value expected)"},
        },
        false);
}

TEST(BaseLib, Assert) {
    std::vector<std::string> hook_texts;
    static std::vector<std::string> *sink;
    sink = &hook_texts;
    zorva_hook_assert_message = [](const char *text) { sink->push_back(text); };
    struct Case {
        const char *source;
        const char *expected;
        std::vector<std::string> hook; // texts given to the hook
    };
    const Case cases[] = {
        {"out(assert(1, 2, 3))", "1 2 3\n", {}},
        {"out(assert(0, 'zero is true'))", "0 zero is true\n", {}},
        {"assert(false)", "error: assertion failed!", {""}},
        {"assert()", "error: assertion failed!", {""}},
        {"assert(nil, 42)", "error: 42", {"42"}},
        {"assert(false, 1.5)", "error: 1.5", {"1.5"}},
        {"assert(false, 'the message')", "error: the message", {"the message"}},
        {"assert(false, nil)", "error: assertion failed!", {""}},
        // A table message is an argument error; the hook still hears "".
        {"assert(false, {})", "error: bad argument #2 to 'assert' (string expected, got table)", {""}},
        {"assert(false, true)", "error: bad argument #2 to 'assert' (string expected, got boolean)", {""}},
        // Passing asserts do not touch the hook: a later unrelated error
        // must not show an old message.
        {"assert(true, 'old') assert(1, 'older') local x = nil + 1", "error: attempt to perform arithmetic on a nil value",
         {}},
    };
    for (const Case &c : cases) {
        hook_texts.clear();
        BaseState s(false);
        EXPECT_EQ(s.run(c.source), c.expected) << c.source;
        EXPECT_EQ(hook_texts, c.hook) << c.source;
    }
    zorva_reset_hooks();
}

TEST(BaseLib, Metatables) {
    run_cases(
        {
            {"local mt = {} local t = setmetatable({}, mt) out(getmetatable(t) == mt, setmetatable(t, nil) == t, getmetatable(t))",
             "true true nil\n"},
            {"out(getmetatable({}), getmetatable(1), getmetatable('s'))", "nil nil nil\n"},
            // __metatable: shown instead of the metatable, and it protects it.
            {"local t = setmetatable({}, {__metatable = 'locked'}) out(getmetatable(t))\n"
             "setmetatable(t, {})",
             "locked\nerror: cannot change a protected metatable"},
            {"local t = setmetatable({}, {__metatable = false}) out(getmetatable(t)) setmetatable(t, nil)",
             "false\nerror: cannot change a protected metatable"},
            {"setmetatable({}, 5)", "error: bad argument #2 to 'setmetatable' (nil or table expected)"},
            {"setmetatable({})", "error: bad argument #2 to 'setmetatable' (nil or table expected)"},
            {"setmetatable(1, {})", "error: bad argument #1 to 'setmetatable' (table expected, got number)"},
            {"getmetatable()", "error: bad argument #1 to 'getmetatable' (value expected)"},
            // Called through a local, the name comes from the local.
            {"local smt = setmetatable smt({}, 5)", "error: bad argument #2 to 'smt' (nil or table expected)"},
        },
        false);
}

// Host errors carry no position, but record the line of the script call.
TEST(BaseLib, ErrorsRecordTheCallingLine) {
    BaseState s(false);
    zorva_runtime_line = 0;
    EXPECT_EQ(s.run("local a = 1\n\nsetmetatable({}, 5)\n"),
              "error: bad argument #2 to 'setmetatable' (nil or table expected)");
    EXPECT_EQ(zorva_runtime_line, 3);
    EXPECT_EQ(s.run("\nassert(false)\n"), "error: assertion failed!");
    EXPECT_EQ(zorva_runtime_line, 2);
}

// ---- Host-only functions, with the whole library open ---------------------

TEST(BaseLib, ConversionFunctions) {
    run_cases({
        {"out(tonumber('0x10'), tonumber('  1.5  '), tonumber(' -0.5'), tonumber(7), tonumber('1e1'))",
         "16 1.5 -0.5 7 10\n"},
        {"out(tonumber('nan'), tonumber(''), tonumber('0x'), tonumber({}), tonumber(nil))", "nil nil nil nil nil\n"},
        {"tonumber()", "error: bad argument #1 to 'tonumber' (value expected)"},
        // With a base: the whole number that the digits spell.
        {"out(tonumber('ff', 16), tonumber('  -FF ', 16), tonumber('+101', 2), tonumber('z', 36), tonumber('777', 8))",
         "255 -255 5 35 511\n"},
        {"out(tonumber('8', 8), tonumber('1.5', 10), tonumber('', 10), tonumber('1 2', 10), tonumber(15, 16))",
         "nil nil nil nil 21\n"},
        {"out(tonumber('7fff', 16), tonumber('8000', 16), tonumber('10000', 16))", "32767 -32768 0\n"},
        {"tonumber('1', 1)", "error: bad argument #2 to 'tonumber' (base out of range)"},
        {"tonumber('1', 37)", "error: bad argument #2 to 'tonumber' (base out of range)"},
        {"tonumber({}, 10)", "error: bad argument #1 to 'tonumber' (string expected, got table)"},
        {"out(tostring(nil), tostring(false), tostring(0.5), tostring(1/3), tostring('s'))", "nil false 0.5 0.3333 s\n"},
        {"out(tostring(setmetatable({}, {__tostring = function() return 'obj' end})))", "obj\n"},
        {"out(tostring(setmetatable({}, {__tostring = function() return 42 end})))", "42\n"},
        // Whatever "__tostring" returns comes back, a number as its text.
        {"local r = {} out(tostring(setmetatable({}, {__tostring = function() return r end})) == r)", "true\n"},
        {"local function t(v) return tostring(setmetatable({}, {__tostring = function() return v end})) end\n"
         "out(type(t(42)), type(t(true)), t(nil), type(t(print)))",
         "string boolean nil function\n"},
        {"tostring()", "error: bad argument #1 to 'tostring' (value expected)"},
        {"out(_VERSION, _G == _G._G, _G.print == print)", "Lua 5.2 true true\n"},
    });
}

TEST(BaseLib, SelectIpairsAndRawAccess) {
    run_cases({
        {"out(select('#'), select('#', nil, nil), select(2, 'a', 'b', 'c'))", "0 2 b c\n"},
        {"out(select(-1, 'a', 'b', 'c'), select(5, 'a'))", "c\n"},
        {"select(0, 1)", "error: bad argument #1 to 'select' (index out of range)"},
        {"select(-3, 1)", "error: bad argument #1 to 'select' (index out of range)"},
        {"select('x')", "error: bad argument #1 to 'select' (number expected, got string)"},
        {"for i, v in ipairs({'a', 'b', nil, 'd'}) do out(i, v) end", "1 a\n2 b\n"},
        {"local t = setmetatable({}, {__ipairs = function(t) return 'f', t, 9 end}) local f, _, i = ipairs(t) out(f, i)",
         "f 9\n"},
        {"ipairs()", "error: bad argument #1 to 'ipairs' (table expected, got no value)"},
        {"local t = setmetatable({}, {__index = function() return 1 end, __newindex = function() error('no') end})\n"
         "rawset(t, 'k', 2) out(rawget(t, 'k'), rawget(t, 'other'), t.other, rawequal(t, t), rawequal(t, {}))",
         "2 nil 1 true false\n"},
        {"out(rawlen({1, 2, 3}), rawlen('abcd'), rawlen(setmetatable({}, {__len = function() return 9 end})))",
         "3 4 0\n"},
        {"rawlen(5)", "error: bad argument #1 to 'rawlen' (table or string expected)"},
        {"rawset({}, nil, 1)", "error: table index is nil"},
        {"rawget(1, 1)", "error: bad argument #1 to 'rawget' (table expected, got number)"},
        {"rawequal(1)", "error: bad argument #2 to 'rawequal' (value expected)"},
    });
}

TEST(BaseLib, ErrorsAndProtectedCalls) {
    run_cases({
        {"out(pcall(error, 'plain', 0))", "false plain\n"},
        // Level 1 is the position of the call to error, 2 that of its caller.
        {"local function f() error('one') end\nout(pcall(f))", "false chunk:1: one\n"},
        {"local function f() error('two', 2) end\nlocal function g()\n  f()\nend\nout(pcall(g))",
         "false chunk:3: two\n"},
        {"local t = {} out(select(2, pcall(error, t)) == t, pcall(error))", "true false nil\n"},
        {"out(pcall(function(...) return ... end, 1, 2))", "true 1 2\n"},
        {"out(pcall(nil))", "false attempt to call a nil value\n"},
        {"pcall()", "error: bad argument #1 to 'pcall' (value expected)"},
        {"out(xpcall(function(a) return a * 2 end, print, 21))", "true 42\n"},
        {"out(xpcall(function() error({}) end, function(e) return type(e) .. ' handled' end))",
         "false table handled\n"},
        {"xpcall(out)", "error: bad argument #2 to 'xpcall' (value expected)"},
        // A yield inside pcall inside a coroutine continues the pcall.
        {"local co = coroutine.create(function() out(pcall(function() coroutine.yield(1) error('after') end)) return 'end' end)\n"
         "out(coroutine.resume(co)) out(coroutine.resume(co))",
         "true 1\nfalse chunk:1: after\ntrue end\n"},
        {"local co = coroutine.create(function() return pcall(coroutine.yield, 'y') end)\n"
         "out(coroutine.resume(co)) out(coroutine.resume(co, 'back'))",
         "true y\ntrue true back\n"},
    });
}

TEST(BaseLib, CollectGarbage) {
    run_cases({
        {"out(collectgarbage('count') > 0, select('#', collectgarbage('count')), collectgarbage())", "true 2 0\n"},
        {"out(collectgarbage('isrunning'), collectgarbage('stop'), collectgarbage('isrunning'), collectgarbage('restart'))",
         "true 0 false 0\n"},
        {"out(type(collectgarbage('step')), collectgarbage('setpause', 150), collectgarbage('setpause', 200))",
         "boolean 200 150\n"},
        {"collectgarbage('bogus')", "error: bad argument #1 to 'collectgarbage' (invalid option 'bogus')"},
    });
}

// The fraction of the count is the remainder in kilobytes.
TEST(BaseLib, CollectGarbageCountIsKilobytes) {
    BaseState s;
    int kb = lua_gc(s.L, LUA_GCCOUNT, 0);
    lua_getglobal(s.L, "collectgarbage");
    lua_pushstring(s.L, "count");
    ASSERT_EQ(lua_pcall(s.L, 1, 2, 0), LUA_OK);
    int b = (int)lua_tointeger(s.L, -1);
    EXPECT_GE(b, 0);
    EXPECT_LT(b, 1024);
    EXPECT_EQ(lua_tonumber(s.L, -2) & 0xFFFF, b << 6);
    EXPECT_NEAR(lua_tonumber(s.L, -2) >> 16, kb, 1);
}

// ipairs stops at the last whole index a key can hold, where the next
// index would wrap around to the negative keys.
TEST(BaseLib, IpairsEndsAtTheLargestIndex) {
    BaseState s;
    lua_createtable(s.L, 32767, 2);
    for (int i = -32768; i <= 32767; i++) {
        lua_pushboolean(s.L, 1);
        lua_rawseti(s.L, -2, i);
    }
    lua_setglobal(s.L, "full");
    EXPECT_EQ(s.run("local n, last = 0 for i in ipairs(full) do n = n + 1 last = i end out(n, last)"), "32767 32767\n");
}

TEST(BaseLib, PrintGoesThroughTostring) {
    run_cases({
        {"tostring = function() return {} end print(1)", "error: 'tostring' must return a string to 'print'"},
        {"local seen = {} tostring = function(v) seen[#seen + 1] = v return '' end print(1, 'a') out(#seen, seen[1], seen[2])",
         "2 1 a\n"},
    });
}

// print writes to standard output: through the script tool, which opens
// the whole library with --base.
TEST(BaseLib, PrintThroughTheScriptTool) {
    namespace fs = std::filesystem;
    fs::path tool = fs::path(ZORVA_BINARY_DIR) / "tools" / ("zscript" ZORVA_EXE_SUFFIX);
    ASSERT_TRUE(fs::exists(tool)) << tool << " is not built";
    fs::path src = fs::temp_directory_path() / "zorva_baselib_print.lua";
    {
        std::ofstream f(src);
        f << "print(1, 'a', nil, true, 1.5, 1/3)\nprint()\nprint(select('#', 1, 2), (pcall(error)))\n";
    }
    program_run how;
    how.timeout_seconds = 20;
    program_result r = run_program({tool.string(), "--base", src.string()}, how);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1\ta\tnil\ttrue\t1.5\t0.3333\n\n2\tfalse\n");
    fs::remove(src);
}

TEST(BaseLib, LoadFunctions) {
    run_cases({
        {"local f = load('return 1 + 1') out(f())", "2\n"},
        {"local f, e = load('return +') out(f, e)", "nil [string \"return +\"]:1: unexpected symbol near '+'\n"},
        {"local parts = {'return ', '4', '2'} local i = 0\n"
         "out(load(function() i = i + 1 return parts[i] end)())",
         "42\n"},
        {"out(load(function() return {} end))", "nil reader function must return a string\n"},
        {"local env = {x = 5} out(load('return x', 'named', 't', env)())", "5\n"},
        {"local f, e = load('return 1', '=named', 'b') out(f, e)", "nil attempt to load a text chunk (mode is 'b')\n"},
        {"local f, e = load('x(', '=named') out(e)", "named:1: unexpected symbol near <eof>\n"},
        {"out(loadfile('/nonexistent/zorva'))", "nil cannot open /nonexistent/zorva: No such file or directory\n"},
        {"dofile('/nonexistent/zorva')", "error: cannot open /nonexistent/zorva: No such file or directory"},
    });
}
