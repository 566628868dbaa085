// The standard libraries that the engine carries but never opens for carts:
// each script of lang/tests/stdlib runs through the test tool with every
// library opened and must print what the reference interpreter (lua5.2)
// prints for it; then the places where 16.16 numbers make this engine's
// answers differ, and the libraries' limits and failures.
#include <gtest/gtest.h>

#include "run_program.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base_script.h"

namespace fs = std::filesystem;

namespace {

// Runs the program with standard error kept; returns its exit status and
// its output.
int run(const std::vector<std::string> &args, std::string *out) {
    program_run how;
    how.keep_stderr = true;
    program_result r = run_program(args, how);
    *out += r.out;
    return r.status;
}

const char *reference() {
    for (const char *path : {"/usr/bin/lua5.2", "/usr/local/bin/lua5.2"})
        if (fs::exists(path)) return path;
    return nullptr;
}

// A state with the base and coroutine libraries and every standard
// library opened, and out().
struct LibState : BaseState {
    LibState() {
        const luaL_Reg openers[] = {
            {LUA_LOADLIBNAME, luaopen_package}, {LUA_TABLIBNAME, luaopen_table}, {LUA_IOLIBNAME, luaopen_io},
            {LUA_OSLIBNAME, luaopen_os},        {LUA_STRLIBNAME, luaopen_string}, {LUA_BITLIBNAME, luaopen_bit32},
            {LUA_MATHLIBNAME, luaopen_math},    {LUA_DBLIBNAME, luaopen_debug},
        };
        for (const luaL_Reg &o : openers) {
            luaL_requiref(L, o.name, o.func, 1);
            lua_settop(L, 0);
        }
    }
};

void run_lib_cases(const std::vector<ScriptCase> &cases) {
    for (const ScriptCase &c : cases) {
        LibState s;
        EXPECT_EQ(s.run(c.source), c.expected) << c.source;
    }
}

} // namespace

TEST(StandardLibraries, ScriptsPrintWhatTheReferencePrints) {
#ifdef _WIN32
    GTEST_SKIP() << "lua5.2, the reference, is a Linux program that the Windows tests cannot start";
#endif
    const char *lua = reference();
    if (lua == nullptr) GTEST_SKIP() << "no lua5.2 to compare with";
    fs::path tool = fs::path(ZORVA_BINARY_DIR) / "tools" / ("zscript" ZORVA_EXE_SUFFIX);
    ASSERT_TRUE(fs::exists(tool)) << tool << " is not built";
    int scripts = 0;
    for (const auto &entry : fs::directory_iterator(fs::path(ZORVA_SOURCE_DIR) / "lang" / "tests" / "stdlib")) {
        if (entry.path().extension() != ".lua") continue;
        std::string expected, got;
        std::string file = entry.path().string();
        ASSERT_EQ(run({lua, file}, &expected), 0) << expected;
        EXPECT_EQ(run({tool.string(), "--libs", file}, &got), 0) << got;
        EXPECT_EQ(got, expected) << entry.path();
        scripts++;
    }
    EXPECT_GE(scripts, 4);
}

// Whole-number results are whole numbers, as the length operator gives;
// mathematical results are the nearest 16.16 values.
TEST(StandardLibraries, NumbersAreSixteenSixteenValues) {
    run_lib_cases({
        {"out(string.len('abc'), #'abc', string.len('abc') == #'abc', string.byte('A'), ('x'):rep(3))",
         "3 3 true 65 xxx\n"},
        {"local s = string.rep('x', 20000) .. string.rep('y', 20000) out(string.len(s) == #s, #s)",
         "true -25536\n"},
        {"out(string.find('hello', 'l'), table.pack(1, 2).n, select(2, string.gsub('aaa', 'a', 'b')))",
         "3 2 3\n"},
        {"out(math.pi, math.huge, -math.huge, math.huge == 0x7fff.ffff)", "3.1416 32768 -32768 true\n"},
        {"out(math.sqrt(-1), math.log(0), math.fmod(1, 0), math.acos(2))", "0 -32768 0 0\n"},
        {"out(math.floor(-0.5), math.floor(32767.9), math.ceil(0.0001), math.abs(-32768))",
         "-1 32767 1 32768\n"},
        {"out(math.sqrt(2), math.sin(1), math.exp(10), math.sqrt(2) == 0x1.6a0a)", "1.4142 0.8415 22026.4658 true\n"},
        {"out(math.modf(-2.25))", "-2 -0.25\n"},
        {"out(math.frexp(-3))", "-0.75 2\n"},
        {"out(bit32.bnot(0), bit32.lshift(1, 14), bit32.lshift(1, 15), bit32.band(-1, 255), bit32.rshift(-1, 20))",
         "-1 16384 -32768 255 4095\n"},
        {"out(bit32.arshift(-256, 4), bit32.extract(-1, 31), bit32.replace(0, 1, 31))", "-16 1 0\n"},
        {"out(string.format('%d %d %5.2f %x %g %e', -3.7, 32767.99, 1.5, 255, 0.5, 0.25))",
         "-3 32767  1.50 ff 0.5 2.500000e-01\n"},
        {"out(string.format('%.4f %.6f', 1/3, 0x0.0001))", "0.3333 0.000015\n"},
        {"out(string.format('%5.1f|%-6.2f|', 3.14159, -2))", "  3.1|-2.00 |\n"},
        // "%s" formats what "__tostring" returns; something that is no text
        // cannot be formatted.
        {"out(string.format('%s|', setmetatable({}, {__tostring = function() return 7 end})))", "7|\n"},
        {"string.format('%s', setmetatable({}, {__tostring = function() return {} end}))",
         "error: '__tostring' must return a string"},
    });
}

// A time is a count of seconds carried as a number's raw bits: it goes
// through date and time unchanged; differences are seconds.
TEST(StandardLibraries, TimesTravelAsRawBits) {
    run_lib_cases({
        {"local t = os.time({year = 2100, month = 1, day = 2, hour = 3}) local d = os.date('*t', t)"
         " out(d.year, d.month, d.day, d.hour)",
         "2100 1 2 3\n"},
        {"local a = os.time({year = 2024, month = 2, day = 28, hour = 12})"
         " local b = os.time({year = 2024, month = 3, day = 1, hour = 12})"
         " out(os.difftime(b, a), os.difftime(b, a) == 2 * 86400 or 'saturated', os.difftime(a, a))",
         "32768 saturated 0\n"},
        {"local a = os.time({year = 2024, month = 2, day = 28, hour = 12, min = 0})"
         " local b = os.time({year = 2024, month = 2, day = 28, hour = 12, min = 90})"
         " out(os.difftime(b, a), os.date('!%H:%M', b - a))",
         "5400 01:30\n"},
        {"out(os.time({year = 1960, month = 1, day = 1}), os.date('!%Y', 0))", "nil 1970\n"},
        {"out(os.time() == os.time() or 'changed', type(os.clock()), os.clock() >= 0)", "true number true\n"},
    });
}

TEST(StandardLibraries, StringsAndPatterns) {
    run_lib_cases({
        // Positions past 32767 stay right inside gmatch, though they cannot
        // be given back as numbers.
        {"local s = string.rep('a', 40000) .. 'bc' local n = 0"
         " for w in string.gmatch(s, 'b(c)') do n = n + 1 out(w) end out(n)",
         "c\n1\n"},
        {"local s = string.rep('ab', 20000) local _, n = string.gsub(s, 'ab', '') out(n)", "20000\n"},
        {"local y = string.rep('y', 30000) out(pcall(string.rep, 'ab', 32767, y .. y .. y))",
         "false resulting string too large\n"},
        {"out(pcall(string.match, string.rep('a', 1000), string.rep('a?', 300)))", "false pattern too complex\n"},
        {"out(pcall(string.find, 'x', string.rep('()', 33)))", "false too many captures\n"},
        {"local f = load(string.dump(function(a, b) return a * b + 0.5 end), 'dumped', 'b') out(f(3, 4))",
         "12.5\n"},
        {"out(load(string.dump(function() return 1 end), 'x', 't'))",
         "nil attempt to load a binary chunk (mode is 't')\n"},
        {"out(('abc'):upper(), ('%d'):format(7), getmetatable('').__index == string)", "ABC 7 true\n"},
    });
}

TEST(StandardLibraries, TablesSortSafely) {
    run_lib_cases({
        // An order function that contradicts itself is caught, never run
        // past the list.
        {"local t = {} for i = 1, 100 do t[i] = i % 7 end"
         " out(pcall(table.sort, t, function(a, b) return true end))",
         "false invalid order function for sorting\n"},
        {"local t = {} for i = 1, 200 do t[i] = (i * 37) % 101 end local k = 0"
         " local ok = pcall(table.sort, t, function(a, b) k = k + 1 return k % 3 == 0 end)"
         " local n = 0 for _ in pairs(t) do n = n + 1 end out(n)",
         "200\n"},
        {"local t = {3, 1, 2} table.sort(t, function(a, b) return a > b end) out(t[1], t[2], t[3])", "3 2 1\n"},
        {"out(pcall(table.sort, {1, 'x', 2}))", "false attempt to compare string with number\n"},
    });
}

TEST(StandardLibraries, PackagesAndDebugging) {
    run_lib_cases({
#ifdef _WIN32
        // The Windows program loads native libraries; this one is not there.
        {"local f, m, where = package.loadlib('libm.so.6', 'floor') out(f, type(m), m ~= '', where)",
         "nil string true open\n"},
#else
        {"out(package.loadlib('libm.so.6', 'floor'))",
         "nil dynamic libraries not enabled; check your Lua installation absent\n"},
#endif
        {"package.path = '' package.cpath = './?.so' local ok, m = pcall(require, 'nothing')"
         " out(ok, (m:gsub('\\n', '|')))",
         "false module 'nothing' not found:|\tno field package.preload['nothing']|\tno file './nothing.so'\n"},
        {"package.path = '' package.cpath = './?.so' local ok, m = pcall(require, 'a.b') out((m:gsub('\\n', '|')))",
#ifdef _WIN32
         "module 'a.b' not found:|\tno field package.preload['a.b']|\tno file './a\\b.so'|\tno file './a.so'\n"},
#else
         "module 'a.b' not found:|\tno field package.preload['a.b']|\tno file './a/b.so'|\tno file './a.so'\n"},
#endif
        {"package.searchers = nil out(pcall(require, 'x'))", "false 'package.searchers' must be a table\n"},
        {"package.path = {} out(pcall(require, 'x'))", "false 'package.path' must be a string\n"},
        {"out(pcall(debug.getinfo, 1, '>S'))", "false bad argument #2 to 'debug.getinfo' (invalid option)\n"},
        {"out(pcall(debug.getinfo, 1, 'q'))", "false bad argument #2 to 'debug.getinfo' (invalid option)\n"},
        {"out(pcall(debug.getinfo, {}))",
         "false bad argument #1 to 'debug.getinfo' (function or level expected)\n"},
        {"local co = cocreate(function(x) local y = x * 2 yield() end) coresume(co, 4)"
         " out(debug.getlocal(co, 1, 1), debug.getlocal(co, 1, 2), debug.getinfo(co, 1, 'l').currentline)",
         "x y 1\n"},
        {"local co = cocreate(function() yield() end) coresume(co)"
         " debug.sethook(co, function() end, 'l') local f, m, c = debug.gethook(co) out(type(f), m, c)"
         " out(debug.gethook())",
         "function l 0\nnil  0\n"},
    });
}

// The libraries are present but not opened: a state made as the console
// makes one holds none of them, and luaL_openlibs changes nothing.
TEST(StandardLibraries, NothingIsOpenedForCarts) {
    BaseState s(false);
    luaL_openlibs(s.L);
    EXPECT_EQ(lua_gettop(s.L), 0);
    EXPECT_EQ(s.run("out(string, table, math, os, io, debug, bit32, package, require)"),
              "nil nil nil nil nil nil nil nil nil\n");
    EXPECT_EQ(s.run("local s = 'x' return s:rep(2)"), "error: attempt to index local 's' (a string value)");
    lua_getfield(s.L, LUA_REGISTRYINDEX, "_PRELOAD");
    EXPECT_TRUE(lua_istable(s.L, -1));
}
