// The auxiliary library at host level: argument checks and their
// messages, errors and positions, text of values, string buffers,
// references, tracebacks, loading and states.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "base_script.h"

namespace {

// Runs f through lua_pcall with the values that push() leaves; returns the
// error message, or "ok" with f's first result (as text) appended.
std::string call(lua_State *L, lua_CFunction f, void (*push)(lua_State *) = nullptr) {
    int top = lua_gettop(L);
    lua_pushcfunction(L, f);
    if (push) push(L);
    int st = lua_pcall(L, lua_gettop(L) - top - 1, 1, 0);
    std::string r = st == LUA_OK ? "ok" : "";
    if (st == LUA_OK && !lua_isnil(L, -1)) r += " " + zorva_testlib::text_of(L, -1);
    if (st != LUA_OK) r = lua_tostring(L, -1) ? lua_tostring(L, -1) : "(not a string)";
    lua_settop(L, top);
    return r;
}

const char *const kColours[] = {"red", "green", "blue", nullptr};

} // namespace

// ---- Argument checks ---------------------------------------------------------

TEST(AuxCheck, Messages) {
    struct Case {
        lua_CFunction f;
        void (*push)(lua_State *);
        const char *expected;
    };
    auto none = [](lua_State *) {};
    const Case cases[] = {
        {[](lua_State *L) { return luaL_checkany(L, 1), 0; }, none, "bad argument #1 to '?' (value expected)"},
        {[](lua_State *L) { return luaL_checkany(L, 2), 0; }, [](lua_State *L) { lua_pushnil(L); },
         "bad argument #2 to '?' (value expected)"},
        {[](lua_State *L) { return luaL_checktype(L, 1, LUA_TTABLE), 0; }, [](lua_State *L) { lua_pushnumber(L, 1); },
         "bad argument #1 to '?' (table expected, got number)"},
        {[](lua_State *L) { return luaL_checktype(L, 1, LUA_TTABLE), 0; }, none,
         "bad argument #1 to '?' (table expected, got no value)"},
        {[](lua_State *L) { return luaL_checklstring(L, 1, nullptr), 0; }, [](lua_State *L) { lua_newtable(L); },
         "bad argument #1 to '?' (string expected, got table)"},
        {[](lua_State *L) { return luaL_optlstring(L, 1, "d", nullptr), 0; },
         [](lua_State *L) { lua_pushboolean(L, 1); }, "bad argument #1 to '?' (string expected, got boolean)"},
        {[](lua_State *L) { (void)luaL_checknumber(L, 1); return 0; }, [](lua_State *L) { lua_pushstring(L, "1x"); },
         "bad argument #1 to '?' (number expected, got string)"},
        {[](lua_State *L) { (void)luaL_checkinteger(L, 1); return 0; },
         [](lua_State *L) { lua_pushlightuserdata(L, nullptr); }, "bad argument #1 to '?' (number expected, got userdata)"},
        {[](lua_State *L) { (void)luaL_optunsigned(L, 1, 0); return 0; }, [](lua_State *L) { lua_pushboolean(L, 0); },
         "bad argument #1 to '?' (number expected, got boolean)"},
        {[](lua_State *L) { return luaL_checkoption(L, 1, nullptr, kColours); },
         [](lua_State *L) { lua_pushstring(L, "mauve"); }, "bad argument #1 to '?' (invalid option 'mauve')"},
        {[](lua_State *L) { return luaL_checkoption(L, 1, nullptr, kColours); }, none,
         "bad argument #1 to '?' (string expected, got no value)"},
        {[](lua_State *L) { return luaL_checkstack(L, LUAI_MAXSTACK, "too deep"), 0; }, none,
         "stack overflow (too deep)"},
        {[](lua_State *L) { return luaL_checkstack(L, LUAI_MAXSTACK, nullptr), 0; }, none, "stack overflow"},
        {[](lua_State *L) { (void)luaL_checkudata(L, 1, "Thing"); return 0; }, [](lua_State *L) { lua_newtable(L); },
         "bad argument #1 to '?' (Thing expected, got table)"},
        {[](lua_State *L) { return luaL_argerror(L, 3, "custom"); }, none, "bad argument #3 to '?' (custom)"},
        {[](lua_State *L) { return luaL_argcheck(L, false, 2, "not good"), 0; }, none,
         "bad argument #2 to '?' (not good)"},
        {[](lua_State *L) { return luaL_error(L, "%s=%d (%f)", "n", 12, (int)0x18000); }, none, "n=12 (1.5)"},
    };
    TestState s;
    for (const Case &c : cases) EXPECT_EQ(call(s.L, c.f, c.push), c.expected);
}

TEST(AuxCheck, ValuesAndDefaults) {
    TestState s;
    lua_State *L = s.L;
    lua_pushnumber(L, -0x8000);   // 1: -0.5
    lua_pushstring(L, " 0x18 ");  // 2: a numeric string
    lua_pushnumber(L, -fx(1));    // 3: -1.0
    lua_pushnumber(L, 0x2C000);   // 4: 2.75
    lua_pushnil(L);               // 5
    lua_pushstring(L, "blue");    // 6
    EXPECT_EQ(luaL_checknumber(L, 1), -0x8000);
    EXPECT_EQ(luaL_checkinteger(L, 1), -1); // the floor
    EXPECT_EQ(luaL_checknumber(L, 2), fx(24));
    EXPECT_EQ(lua_type(L, 2), LUA_TSTRING); // stays a string
    EXPECT_EQ(luaL_checkunsigned(L, 3), 0xFFFFFFFFu);
    EXPECT_EQ(luaL_checkinteger(L, 4), 2);
    EXPECT_EQ(luaL_checkint(L, 4), 2);
    // Defaults come back as given: raw for numbers, unshifted for integers.
    EXPECT_EQ(luaL_optnumber(L, 5, 0x18000), 0x18000);
    EXPECT_EQ(luaL_optinteger(L, 5, 7), 7);
    EXPECT_EQ(luaL_optunsigned(L, 9, 9u), 9u);
    EXPECT_EQ(luaL_optinteger(L, 4, 7), 2);
    size_t len = 99;
    EXPECT_STREQ(luaL_optlstring(L, 5, "dflt", &len), "dflt");
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(luaL_optlstring(L, 5, nullptr, &len), nullptr);
    EXPECT_EQ(len, 0u);
    // A number argument becomes its text in place.
    EXPECT_STREQ(luaL_checklstring(L, 4, &len), "2.75");
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(lua_type(L, 4), LUA_TSTRING);
    EXPECT_EQ(luaL_checkoption(L, 6, nullptr, kColours), 2);
    EXPECT_EQ(luaL_checkoption(L, 5, "green", kColours), 1);
    EXPECT_EQ(luaL_checkoption(L, 8, "red", kColours), 0);
    luaL_checkany(L, 5); // nil is a value
    luaL_checktype(L, 5, LUA_TNIL);
    EXPECT_EQ(lua_gettop(L), 6);
}

// Function names: from the debug information of the calling script, else
// from the loaded-modules table, else '?'.
TEST(AuxCheck, FunctionNames) {
    auto want_number = [](lua_State *L) { (void)luaL_checknumber(L, 1); return 0; };
    auto want_number_2 = [](lua_State *L) { (void)luaL_checknumber(L, 2); return 0; };
    {
        BaseState s(false);
        lua_register(s.L, "chk", want_number);
        lua_register(s.L, "chk2", want_number_2);
        const ScriptCase cases[] = {
            {"chk({})", "error: bad argument #1 to 'chk' (number expected, got table)"},
            {"local loc = chk loc()", "error: bad argument #1 to 'loc' (number expected, got no value)"},
            {"local t = {f = chk} t.f('x')", "error: bad argument #1 to 'f' (number expected, got string)"},
            // A method call does not count the object ...
            {"local o = {m = chk2} o:m({})", "error: bad argument #1 to 'm' (number expected, got table)"},
            // ... unless the object itself is bad.
            {"local o = {m = chk} o:m()", "error: calling 'm' on bad self (number expected, got table)"},
        };
        for (const ScriptCase &c : cases) EXPECT_EQ(s.run(c.source), c.expected) << c.source;
    }
    // Called from the host: no name in the debug information.
    TestState s;
    lua_State *L = s.L;
    lua_pushcfunction(L, want_number);
    lua_setglobal(L, "global_fn");
    EXPECT_EQ(call(L, want_number), "bad argument #1 to '?' (number expected, got no value)"); // no _LOADED
    lua_pushnumber(L, 5);
    lua_setfield(L, LUA_REGISTRYINDEX, "_LOADED"); // not a table: tolerated
    EXPECT_EQ(call(L, want_number), "bad argument #1 to '?' (number expected, got no value)");
    lua_newtable(L);
    lua_pushglobaltable(L);
    lua_setfield(L, -2, "_G");
    lua_newtable(L);
    lua_pushcfunction(L, want_number_2);
    lua_setfield(L, -2, "fn");
    lua_setfield(L, -2, "mod");
    lua_setfield(L, LUA_REGISTRYINDEX, "_LOADED");
    EXPECT_EQ(call(L, want_number), "bad argument #1 to 'global_fn' (number expected, got no value)");
    EXPECT_EQ(call(L, want_number_2), "bad argument #2 to 'mod.fn' (number expected, got no value)");

    // No function at all: a thread without frames.
    auto frameless = [](lua_State *L) {
        lua_State *co = lua_newthread(L);
        return luaL_argerror(co, 2, "nothing here");
    };
    EXPECT_EQ(call(L, frameless), "bad argument #2 (nothing here)");
}

// ---- Errors and positions ----------------------------------------------------

TEST(AuxCheck, ErrorPositions) {
    BaseState s(false);
    lua_register(s.L, "fail", [](lua_State *L) { return luaL_error(L, "failed %d", 7); });
    lua_register(s.L, "where", [](lua_State *L) {
        luaL_where(L, (int)luaL_checkinteger(L, 1));
        return 1;
    });
    zorva_runtime_line = 0;
    // Host errors: no prefix; the line of the calling script is kept.
    EXPECT_EQ(s.run("local a\n\n\nfail()", "=pos"), "error: failed 7");
    EXPECT_EQ(zorva_runtime_line, 4);
    // Level 1 is the host function itself, 2 the script that called it.
    zorva_runtime_line = 0;
    EXPECT_EQ(s.run("out('[' .. where(1) .. ']')", "=pos"), "[]\n");
    EXPECT_EQ(zorva_runtime_line, 0);
    EXPECT_EQ(s.run("local function f()\n  return where(2)\nend\nout(f())", "=pos"), "pos:2: \n");
    EXPECT_EQ(zorva_runtime_line, 2);
    EXPECT_EQ(s.run("local function f()\n  return where(3)\nend\nout(f())", "@file.lua"), "file.lua:4: \n");
    EXPECT_EQ(zorva_runtime_line, 4);
    EXPECT_EQ(s.run("out('[' .. where(9) .. ']')", "=pos"), "[]\n");
    EXPECT_EQ(zorva_runtime_line, 4);
}

// ---- Text of values ----------------------------------------------------------

TEST(AuxTolstring, Values) {
    TestState s;
    lua_State *L = s.L;
    struct Case {
        void (*push)(lua_State *);
        std::string expected;
    };
    const Case cases[] = {
        {[](lua_State *L) { lua_pushnil(L); }, "nil"},
        {[](lua_State *L) { lua_pushboolean(L, 1); }, "true"},
        {[](lua_State *L) { lua_pushboolean(L, 0); }, "false"},
        {[](lua_State *L) { lua_pushnumber(L, 0x18000); }, "1.5"},
        {[](lua_State *L) { lua_pushnumber(L, 0x5555); }, "0.3333"},
        {[](lua_State *L) { lua_pushnumber(L, -1); }, "-0"},
        {[](lua_State *L) { lua_pushlstring(L, "a\0b", 3); }, std::string("a\0b", 3)},
    };
    for (const Case &c : cases) {
        c.push(L);
        size_t len = 0;
        const char *t = luaL_tolstring(L, 1, &len);
        EXPECT_EQ(std::string(t, len), c.expected);
        EXPECT_EQ(lua_gettop(L), 2);
        lua_settop(L, 0);
    }
    // Other values: the type name and the address.
    lua_newtable(L);
    char want[64];
    std::snprintf(want, sizeof want, "table: %p", lua_topointer(L, 1));
    EXPECT_STREQ(luaL_tolstring(L, 1, nullptr), want);
    lua_settop(L, 0);
    lua_pushlightuserdata(L, want);
    std::snprintf(want, sizeof want, "userdata: %p", (void *)want);
    EXPECT_STREQ(luaL_tolstring(L, 1, nullptr), want);
    lua_settop(L, 0);
}

TEST(AuxTolstring, TostringMetamethod) {
    BaseState s(false);
    lua_register(s.L, "tolstring", [](lua_State *L) {
        luaL_tolstring(L, 1, nullptr);
        return 1;
    });
    run_cases({}, false);
    const ScriptCase cases[] = {
        {"out(tolstring(setmetatable({}, {__tostring = function(t) return 'me' end})))", "me\n"},
        {"out(tolstring(setmetatable({}, {__tostring = function() return 2.5 end})))", "2.5\n"},
        {"out(type(tolstring(setmetatable({}, {__tostring = function() return {} end}))))", "table\n"},
        {"out(tolstring(setmetatable({}, {__tostring = function() return nil end})))", "nil\n"},
    };
    for (const ScriptCase &c : cases) EXPECT_EQ(s.run(c.source), c.expected) << c.source;
    // The text itself is null when "__tostring" gave no string or number.
    lua_newtable(s.L);
    lua_newtable(s.L);
    lua_pushcfunction(s.L, [](lua_State *L) {
        lua_pushboolean(L, 1);
        return 1;
    });
    lua_setfield(s.L, -2, "__tostring");
    lua_setmetatable(s.L, -2);
    size_t len = 99;
    EXPECT_EQ(luaL_tolstring(s.L, -1, &len), nullptr);
    EXPECT_EQ(len, 0u);
    EXPECT_TRUE(lua_isboolean(s.L, -1));
    lua_settop(s.L, 0);
}

// ---- String buffers ----------------------------------------------------------

TEST(AuxBuffer, StaysInItsRecordUntilFull) {
    TestState s;
    lua_State *L = s.L;
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    EXPECT_EQ(b.size, 8192u);
    std::string expect;
    for (int i = 0; i < 8192; i++) {
        luaL_addchar(&b, (char)('a' + i % 26));
        expect += (char)('a' + i % 26);
    }
    EXPECT_EQ(b.b, b.initb);
    EXPECT_EQ(lua_gettop(L), 0); // nothing on the stack yet
    luaL_addchar(&b, '!');
    expect += '!';
    EXPECT_NE(b.b, b.initb);
    EXPECT_EQ(b.size, 16384u); // twice the size
    EXPECT_EQ(lua_gettop(L), 1); // the block, as a userdata
    EXPECT_EQ(lua_type(L, 1), LUA_TUSERDATA);
    // More than twice: exactly what is needed.
    std::string big(40000, 'z');
    luaL_addlstring(&b, big.data(), big.size());
    expect += big;
    EXPECT_EQ(b.size, 8193u + 40000u);
    EXPECT_EQ(lua_gettop(L), 1); // the old block went
    // A value from the stack, below which the block sits.
    lua_pushnumber(L, 0x18000);
    luaL_addvalue(&b);
    expect += "1.5";
    EXPECT_EQ(lua_gettop(L), 1);
    luaL_addstring(&b, "end");
    expect += "end";
    luaL_pushresult(&b);
    EXPECT_EQ(lua_gettop(L), 1);
    size_t len;
    const char *r = lua_tolstring(L, 1, &len);
    EXPECT_EQ(std::string(r, len), expect);
}

TEST(AuxBuffer, ValuesPrepAndLimits) {
    TestState s;
    lua_State *L = s.L;
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    lua_pushstring(L, "val");
    luaL_addvalue(&b); // in the record: the value goes
    EXPECT_EQ(lua_gettop(L), 0);
    char *p = luaL_prepbuffsize(&b, 3);
    std::memcpy(p, "xyz", 3);
    luaL_pushresultsize(&b, 3);
    EXPECT_STREQ(lua_tostring(L, -1), "valxyz");
    lua_settop(L, 0);

    p = luaL_buffinitsize(L, &b, 20000);
    std::memset(p, 'q', 20000);
    luaL_pushresultsize(&b, 20000);
    EXPECT_EQ(lua_gettop(L), 1);
    EXPECT_EQ(lua_rawlen(L, 1), 20000u);
    lua_settop(L, 0);

    EXPECT_EQ(call(L,
                   [](lua_State *L) {
                       luaL_Buffer b;
                       luaL_buffinit(L, &b);
                       luaL_addchar(&b, 'x');
                       luaL_prepbuffsize(&b, SIZE_MAX);
                       return 0;
                   }),
              "buffer too large");
}

TEST(AuxBuffer, Gsub) {
    TestState s;
    struct Case {
        const char *s, *p, *r, *expected;
    };
    const Case cases[] = {
        {"a.b.c", ".", "::", "a::b::c"},
        {"aaa", "aa", "b", "ba"},
        {"none here", "xyz", "!", "none here"},
        {"", "a", "b", ""},
        {"abc", "abc", "", ""},
        {"keep", "", "X", "keep"}, // an empty pattern replaces nothing
    };
    for (const Case &c : cases) {
        EXPECT_STREQ(luaL_gsub(s.L, c.s, c.p, c.r), c.expected) << c.s << " / " << c.p;
        EXPECT_EQ(lua_gettop(s.L), 1);
        lua_settop(s.L, 0);
    }
}

// ---- References --------------------------------------------------------------

TEST(AuxRef, FreeListReusesReferences) {
    TestState s;
    lua_State *L = s.L;
    lua_newtable(L);
    int t = lua_gettop(L);
    int r[4];
    for (int i = 0; i < 4; i++) {
        lua_pushfstring(L, "v%d", i);
        r[i] = luaL_ref(L, t);
    }
    EXPECT_EQ(r[0], 1);
    EXPECT_EQ(r[3], 4);
    lua_pushnil(L);
    EXPECT_EQ(luaL_ref(L, t), LUA_REFNIL);
    EXPECT_EQ(lua_gettop(L), t);
    lua_rawgeti(L, t, r[2]);
    EXPECT_STREQ(lua_tostring(L, -1), "v2");
    lua_pop(L, 1);

    // Freed references come back last-freed first, then new ones follow.
    luaL_unref(L, t, r[1]);
    luaL_unref(L, t, r[3]);
    luaL_unref(L, t, LUA_NOREF);
    luaL_unref(L, t, LUA_REFNIL);
    lua_pushstring(L, "a");
    EXPECT_EQ(luaL_ref(L, t), r[3]);
    lua_pushstring(L, "b");
    EXPECT_EQ(luaL_ref(L, t), r[1]);
    lua_pushstring(L, "c");
    EXPECT_EQ(luaL_ref(L, t), 5);
    lua_rawgeti(L, t, r[1]);
    EXPECT_STREQ(lua_tostring(L, -1), "b");
    lua_pop(L, 1);
    EXPECT_EQ(lua_gettop(L), t);

    // In the registry, after its own whole indices 1 and 2.
    lua_pushstring(L, "reg");
    int rr = luaL_ref(L, LUA_REGISTRYINDEX);
    EXPECT_GT(rr, LUA_RIDX_LAST);
    lua_rawgeti(L, LUA_REGISTRYINDEX, rr);
    EXPECT_STREQ(lua_tostring(L, -1), "reg");
    lua_pop(L, 1);
    luaL_unref(L, LUA_REGISTRYINDEX, rr);
    lua_pushstring(L, "again");
    EXPECT_EQ(luaL_ref(L, LUA_REGISTRYINDEX), rr);
}

// References beyond the largest whole key would be handed out twice.
TEST(AuxRef, LargestReference) {
    TestState s;
    lua_State *L = s.L;
    lua_newtable(L);
    for (int i = 1; i <= 32767; i++) {
        lua_pushboolean(L, 1);
        ASSERT_EQ(luaL_ref(L, 1), i);
    }
    EXPECT_EQ(call(L,
                   [](lua_State *L) {
                       lua_pushboolean(L, 1);
                       return luaL_ref(L, 1), 0;
                   },
                   [](lua_State *L) { lua_pushvalue(L, 1); }),
              "too many references");
    luaL_unref(L, 1, 32767); // freed ones still come back
    lua_pushboolean(L, 1);
    EXPECT_EQ(luaL_ref(L, 1), 32767);
}

// ---- Tracebacks --------------------------------------------------------------

namespace {

// Host function at depth upvalue(1): calls the next one down until the
// last, which takes the traceback from level upvalue(2).
int nested(lua_State *L) {
    int depth = (int)lua_tointeger(L, lua_upvalueindex(1));
    if (depth == 0) {
        luaL_traceback(L, L, "msg", (int)lua_tointeger(L, lua_upvalueindex(2)));
        return 1;
    }
    lua_getglobal(L, lua_pushfstring(L, "lv%d", depth - 1));
    lua_call(L, 0, 1);
    return 1;
}

// Makes global host functions lv0 .. lv(levels-1), each calling the one
// below; returns the traceback that lv(levels-1) leads to.
std::string nested_traceback(lua_State *L, int levels, int from) {
    for (int i = 0; i < levels; i++) {
        const char *name = lua_pushfstring(L, "lv%d", i);
        lua_pushunsigned(L, (lua_Unsigned)i);
        lua_pushunsigned(L, (lua_Unsigned)from);
        lua_pushcclosure(L, nested, 2);
        lua_setglobal(L, name);
        lua_pop(L, 1);
    }
    lua_getglobal(L, lua_pushfstring(L, "lv%d", levels - 1));
    EXPECT_EQ(lua_pcall(L, 0, 1, 0), LUA_OK);
    std::string r = lua_tostring(L, -1);
    lua_pop(L, 2);
    return r;
}

} // namespace

TEST(AuxTraceback, HostFunctionLevels) {
    BaseState s; // with _LOADED, so host functions are named by their globals
    // 30 levels, 0 to 29 (level n runs lv<n>): from level 1, levels 1 to 10,
    // "...", then 19 to 29.
    std::string want = "msg\nstack traceback:";
    for (int i = 1; i <= 10; i++) want += "\n\t[C]: in function 'lv" + std::to_string(i) + "'";
    want += "\n\t...";
    for (int i = 19; i <= 29; i++) want += "\n\t[C]: in function 'lv" + std::to_string(i) + "'";
    EXPECT_EQ(nested_traceback(s.L, 30, 1), want);
    // Without a loaded-modules table host functions have no name.
    BaseState cart(false);
    EXPECT_EQ(nested_traceback(cart.L, 3, 1), "msg\nstack traceback:\n\t[C]: in ?\n\t[C]: in ?");
}

TEST(AuxTraceback, Truncation) {
    // Level n is lv(n): the innermost function is lv0.
    auto listing = [](int from, int levels, bool cut) {
        std::string r = "msg\nstack traceback:";
        for (int i = from; i < levels; i++) {
            if (cut && i == 11) {
                r += "\n\t...";
                i = levels - 11 - 1;
                continue;
            }
            r += "\n\t[C]: in function 'lv" + std::to_string(i) + "'";
        }
        return r;
    };
    struct Case {
        int levels, from;
        bool cut;
    };
    const Case cases[] = {
        {22, 1, false}, {23, 1, true}, {30, 0, true}, {30, 12, false}, {5, 9, false}, {150, 1, true},
    };
    for (const Case &c : cases) {
        BaseState s;
        EXPECT_EQ(nested_traceback(s.L, c.levels, c.from), listing(c.from, c.levels, c.cut))
            << c.levels << " levels from " << c.from;
    }
}

TEST(AuxTraceback, ScriptFunctions) {
    BaseState s;
    lua_register(s.L, "tb", [](lua_State *L) {
        luaL_traceback(L, L, lua_tostring(L, 1), 1);
        return 1;
    });
    EXPECT_EQ(s.run("local function inner()\n"
                    "  local t = tb('here')\n"
                    "  return t\n"
                    "end\n"
                    "function outer()\n"
                    "  return (inner())\n"
                    "end\n"
                    "local anon = function() return (outer()) end\n"
                    "out(anon())\n",
                    "=tb"),
              "here\nstack traceback:\n"
              "\ttb:2: in function 'inner'\n"
              "\ttb:6: in function 'outer'\n"
              "\ttb:8: in function 'anon'\n"
              "\ttb:9: in main chunk\n");
    EXPECT_EQ(s.run("local function tail() return tb() end\n"
                    "local t = {f = function() return tail() end}\n"
                    "out((t.f()))\n",
                    "=tb"),
              "stack traceback:\n"
              "\ttb:1: in function <tb:1>\n"
              "\t(...tail calls...)\n"
              "\ttb:3: in main chunk\n");
    // Host functions between script levels: named by their globals.
    EXPECT_EQ(s.run("out(select(2, pcall(tb, 'in pcall')))\n", "=tb"),
              "in pcall\nstack traceback:\n"
              "\t[C]: in function 'pcall'\n"
              "\ttb:1: in main chunk\n");
}

TEST(AuxTraceback, OtherThread) {
    BaseState s;
    lua_register(s.L, "tbco", [](lua_State *L) {
        lua_State *co = lua_tothread(L, 1);
        luaL_traceback(L, co, nullptr, 0);
        return 1;
    });
    EXPECT_EQ(s.run("local co = coroutine.create(function()\n  coroutine.yield()\nend)\n"
                    "coroutine.resume(co)\nout(tbco(co))\nout(tbco(coroutine.create(out)))",
                    "=co"),
              "stack traceback:\n"
              "\t[C]: in function 'yield'\n"
              "\tco:2: in function <co:1>\n"
              "stack traceback:\n");
}

// ---- Loading -------------------------------------------------------------------

TEST(AuxLoad, FileFailures) {
    TestState s;
    lua_State *L = s.L;
    EXPECT_EQ(luaL_loadfilex(L, "/nonexistent/zorva.lua", nullptr), LUA_ERRFILE);
    EXPECT_STREQ(lua_tostring(L, -1), "cannot open /nonexistent/zorva.lua: No such file or directory");
    EXPECT_EQ(lua_gettop(L), 1);
    lua_settop(L, 0);
    EXPECT_EQ(luaL_loadfilex(L, "/", nullptr), LUA_ERRFILE);
#ifdef _WIN32
    EXPECT_STREQ(lua_tostring(L, -1), "cannot open /: Permission denied"); // Windows opens no folder
#else
    EXPECT_STREQ(lua_tostring(L, -1), "cannot read /: Is a directory"); // opens, but cannot be read
#endif
    EXPECT_EQ(lua_gettop(L), 1);
    lua_settop(L, 0);
}

TEST(AuxLoad, ModeIsChecked) {
    TestState s;
    lua_State *L = s.L;
    EXPECT_EQ(luaL_loadbufferx(L, "return 1", 8, "=m", "b"), LUA_ERRSYNTAX);
    EXPECT_STREQ(lua_tostring(L, -1), "attempt to load a text chunk (mode is 'b')");
    lua_settop(L, 0);
    EXPECT_EQ(luaL_loadbufferx(L, "\033Lua", 4, "=m", "t"), LUA_ERRSYNTAX);
    EXPECT_STREQ(lua_tostring(L, -1), "attempt to load a binary chunk (mode is 't')");
    lua_settop(L, 0);
    std::string path = ::testing::TempDir() + "zorva_aux_mode.luac";
    {
        std::ofstream f(path, std::ios::binary);
        f << "\033Lua";
    }
    EXPECT_EQ(luaL_loadfilex(L, path.c_str(), "t"), LUA_ERRSYNTAX);
    EXPECT_STREQ(lua_tostring(L, -1), "attempt to load a binary chunk (mode is 't')");
    std::remove(path.c_str());
}

TEST(AuxLoad, Chunks) {
    BaseState s;
    lua_State *L = s.L;
    auto run = [L](int status) {
        if (status != LUA_OK) return std::string("load: ") + lua_tostring(L, -1);
        if (lua_pcall(L, 0, 1, 0) != LUA_OK) return std::string("run: ") + lua_tostring(L, -1);
        return zorva_testlib::text_of(L, -1);
    };
    EXPECT_EQ(run(luaL_loadstring(L, "return 6 * 7")), "42");
    lua_settop(L, 0);
    // The chunk name of loadstring is the text itself.
    EXPECT_EQ(run(luaL_loadstring(L, "error('x', 1)")), "run: [string \"error('x', 1)\"]:1: x");
    lua_settop(L, 0);
    EXPECT_EQ(run(luaL_loadbufferx(L, "return 1 +", 10, "=buf", nullptr)), "load: buf:1: unexpected symbol near <eof>");
    lua_settop(L, 0);
    // A first line starting with '#' is skipped; line numbers stay right.
    std::string path = ::testing::TempDir() + "zorva_aux_load.lua";
    {
        std::ofstream f(path, std::ios::binary);
        f << "#!/usr/bin/zorva\nlocal x = 2\nreturn x +\n";
    }
    EXPECT_EQ(run(luaL_loadfilex(L, path.c_str(), nullptr)),
              "load: " + path + ":4: unexpected symbol near <eof>");
    lua_settop(L, 0);
    {
        std::ofstream f(path, std::ios::binary);
        f << "\xEF\xBB\xBF# comment\nreturn 5";
    }
    EXPECT_EQ(run(luaL_loadfilex(L, path.c_str(), nullptr)), "5");
    std::remove(path.c_str());
}

// ---- States and the rest -------------------------------------------------------

TEST(AuxStateDeathTest, PanicReportsUnprotectedErrors) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(
        {
            lua_State *L = luaL_newstate();
            lua_pushstring(L, "boom");
            lua_error(L);
        },
        "PANIC: unprotected error in call to Lua API \\(boom\\)\n");
    EXPECT_DEATH(
        {
            lua_State *L = luaL_newstate();
            lua_newtable(L);
            lua_error(L);
        },
        "PANIC: unprotected error in call to Lua API \\(error object is not a string\\)");
}

TEST(AuxState, NewStateAndVersion) {
    lua_State *L = luaL_newstate();
    ASSERT_NE(L, nullptr);
    luaL_checkversion(L); // passes
    EXPECT_EQ(call(L, [](lua_State *L) { return luaL_checkversion_(L, 501), 0; }),
              "version mismatch: app. needs 0.0076, Lua core provides 0.0077");
    luaL_openlibs(L); // opens nothing, but makes _PRELOAD
    EXPECT_EQ(lua_gettop(L), 0);
    lua_getfield(L, LUA_REGISTRYINDEX, "_PRELOAD");
    EXPECT_TRUE(lua_istable(L, -1));
    lua_getglobal(L, "print");
    EXPECT_TRUE(lua_isnil(L, -1));
    lua_close(L);
}

TEST(AuxState, LibraryHelpers) {
    TestState s;
    lua_State *L = s.L;
    // setfuncs: every function gets the same upvalues.
    static const luaL_Reg funcs[] = {
        {"up", [](lua_State *L) { return lua_pushvalue(L, lua_upvalueindex(1)), 1; }},
        {"up2", [](lua_State *L) { return lua_pushvalue(L, lua_upvalueindex(2)), 1; }},
        {nullptr, nullptr},
    };
    lua_newtable(L);
    lua_pushstring(L, "first");
    lua_pushstring(L, "second");
    luaL_setfuncs(L, funcs, 2);
    EXPECT_EQ(lua_gettop(L), 1);
    lua_getfield(L, 1, "up2");
    lua_call(L, 0, 1);
    EXPECT_STREQ(lua_tostring(L, -1), "second");
    lua_settop(L, 0);

    // getsubtable and requiref.
    lua_newtable(L);
    EXPECT_EQ(luaL_getsubtable(L, 1, "sub"), 0);
    lua_pushstring(L, "mark");
    lua_setfield(L, -2, "m");
    EXPECT_EQ(luaL_getsubtable(L, 1, "sub"), 1);
    lua_getfield(L, -1, "m");
    EXPECT_STREQ(lua_tostring(L, -1), "mark");
    lua_settop(L, 0);
    luaL_requiref(L, "mymod", [](lua_State *L) {
        lua_newtable(L);
        lua_pushvalue(L, 1); // the module name
        lua_setfield(L, -2, "name");
        return 1;
    }, 1);
    EXPECT_EQ(lua_gettop(L), 1);
    lua_getglobal(L, "mymod");
    EXPECT_TRUE(lua_rawequal(L, 1, 2));
    lua_getfield(L, LUA_REGISTRYINDEX, "_LOADED");
    lua_getfield(L, -1, "mymod");
    EXPECT_TRUE(lua_rawequal(L, 1, -1));
    lua_getfield(L, 1, "name");
    EXPECT_STREQ(lua_tostring(L, -1), "mymod");
    lua_settop(L, 0);

    // Metatables of user data.
    EXPECT_EQ(luaL_newmetatable(L, "Thing"), 1);
    EXPECT_EQ(luaL_newmetatable(L, "Thing"), 0);
    EXPECT_TRUE(lua_rawequal(L, 1, 2));
    lua_settop(L, 0);
    void *u = lua_newuserdata(L, 8);
    EXPECT_EQ(luaL_testudata(L, 1, "Thing"), nullptr);
    luaL_setmetatable(L, "Thing");
    EXPECT_EQ(luaL_testudata(L, 1, "Thing"), u);
    EXPECT_EQ(luaL_checkudata(L, 1, "Thing"), u);
    EXPECT_EQ(luaL_testudata(L, 1, "Other"), nullptr);
    EXPECT_EQ(lua_gettop(L), 1);
    lua_settop(L, 0);

    // getmetafield and callmeta.
    lua_newtable(L);
    lua_newtable(L);
    lua_CFunction type_name = [](lua_State *L) {
        lua_pushstring(L, lua_typename(L, lua_type(L, 1)));
        return 1;
    };
    lua_pushcfunction(L, type_name);
    lua_setfield(L, -2, "__call_me");
    lua_setmetatable(L, 1);
    EXPECT_EQ(luaL_getmetafield(L, 1, "__absent"), 0);
    EXPECT_EQ(lua_gettop(L), 1);
    EXPECT_EQ(luaL_callmeta(L, 1, "__call_me"), 1);
    EXPECT_STREQ(lua_tostring(L, -1), "table");
    EXPECT_EQ(luaL_callmeta(L, 2, "__call_me"), 0); // a string has no metatable here
    lua_settop(L, 0);

    // getthread.
    int arg = -1;
    EXPECT_EQ(luaL_getthread(L, &arg), L);
    EXPECT_EQ(arg, 0);
    lua_State *co = lua_newthread(L);
    EXPECT_EQ(luaL_getthread(L, &arg), co);
    EXPECT_EQ(arg, 1);
    lua_settop(L, 0);

    // The package loader's failure.
    EXPECT_EQ(call(L,
                   [](lua_State *L) {
                       lua_pushstring(L, "syntax trouble");
                       return luaL_loadererror(L, "mod", "./mod.lua");
                   }),
              "error loading module 'mod' from file './mod.lua':\n\tsyntax trouble");
}

TEST(AuxState, Length) {
    BaseState s;
    lua_register(s.L, "len", [](lua_State *L) {
        int n = luaL_len(L, 1);
        lua_pushstring(L, std::to_string(n).c_str()); // the plain integer
        return 1;
    });
    run_cases({}, true);
    const ScriptCase cases[] = {
        {"out(len('abc'), len({1, 2, 3, 4}))", "3 4\n"},
        {"out(len(setmetatable({}, {__len = function() return 2.75 end})))", "2\n"},
        {"len(setmetatable({}, {__len = function() return 'x' end}))", "error: object length is not a number"},
        {"len(5)", "error: attempt to get length of a number value"},
    };
    for (const ScriptCase &c : cases) EXPECT_EQ(s.run(c.source), c.expected) << c.source;
}

TEST(AuxState, FileAndExecResults) {
    TestState s;
    lua_State *L = s.L;
    EXPECT_EQ(luaL_fileresult(L, 1, "f"), 1);
    EXPECT_TRUE(lua_toboolean(L, -1));
    lua_settop(L, 0);
    errno = ENOENT;
    EXPECT_EQ(luaL_fileresult(L, 0, "name"), 3);
    EXPECT_TRUE(lua_isnil(L, 1));
    EXPECT_STREQ(lua_tostring(L, 2), "name: No such file or directory");
    EXPECT_EQ(lua_tonumber(L, 3), fx(ENOENT)); // the code as a whole number
    lua_settop(L, 0);
    EXPECT_EQ(luaL_execresult(L, 0), 3);
    EXPECT_TRUE(lua_toboolean(L, 1));
    EXPECT_STREQ(lua_tostring(L, 2), "exit");
    lua_settop(L, 0);
#ifdef _WIN32
    EXPECT_EQ(luaL_execresult(L, 3), 3);   // exit status 3: system gives it as it is
#else
    EXPECT_EQ(luaL_execresult(L, 3 << 8), 3);   // exit status 3
#endif
    EXPECT_TRUE(lua_isnil(L, 1));
    EXPECT_EQ(lua_tonumber(L, 3), fx(3));
    lua_settop(L, 0);
}
