// The coroutine functions: cocreate, coresume and costatus as carts see
// them, and the coroutine table for hosts.
#include <gtest/gtest.h>

#include "base_script.h"

TEST(CoroLib, CartFunctions) {
    run_cases(
        {
            {"local co = cocreate(function(a, b) local c = yield(a + b) out('got', c) return 'done', 7 end)\n"
             "out(costatus(co)) out(coresume(co, 1, 2)) out(costatus(co))\n"
             "out(coresume(co, 'x')) out(costatus(co))",
             "suspended\ntrue 3\nsuspended\ngot x\ntrue done 7\ndead\n"},
            // After a normal finish: the library's own message.
            {"local co = cocreate(function() end) coresume(co) out(coresume(co)) out(costatus(co))",
             "false corolib: cannot resume dead coroutine\ndead\n"},
            // An error inside: returned as the value, and the coroutine is
            // dead; resuming it again is refused by the core.
            {"local co = cocreate(function() local t = nil return t.x end) out(coresume(co)) out(costatus(co))\n"
             "out(coresume(co))",
             "false attempt to index local 't' (a nil value)\ndead\nfalse cannot resume dead coroutine\n"},
            {"local e = {} local co = cocreate(function() assert(false, 'inner') end) out(coresume(co))",
             "false inner\n"},
            // running and normal, seen from inside.
            {"local outer\nlocal inner = cocreate(function() out('inner sees outer', costatus(outer)) end)\n"
             "outer = cocreate(function() out('outer sees itself', costatus(outer)) coresume(inner) end)\n"
             "coresume(outer) out(costatus(outer), costatus(inner))",
             "outer sees itself running\ninner sees outer normal\ndead dead\n"},
            // Resuming a running or normal coroutine.
            {"local co co = cocreate(function() out(coresume(co)) end) coresume(co)",
             "false cannot resume non-suspended coroutine\n"},
            {"local a, b\nb = cocreate(function() out(coresume(a)) end)\na = cocreate(function() coresume(b) end)\n"
             "coresume(a)",
             "false cannot resume non-suspended coroutine\n"},
            {"cocreate(5)", "error: bad argument #1 to 'cocreate' (function expected, got number)"},
            {"coresume({})", "error: bad argument #1 to 'coresume' (coroutine expected)"},
            {"costatus()", "error: bad argument #1 to 'costatus' (coroutine expected)"},
            {"local co = cocreate(function(...) return ... end) out(coresume(co, 4, 5))", "true 4 5\n"},
        },
        false);
}

TEST(CoroLib, HostTable) {
    run_cases({
        {"local co = coroutine.create(function(x) return coroutine.yield(x * 2) end)\n"
         "out(coroutine.resume(co, 4)) out(coroutine.status(co)) out(coroutine.resume(co, 'r')) out(coroutine.resume(co))",
         "true 8\nsuspended\ntrue r\nfalse corolib: cannot resume dead coroutine\n"},
        {"local main, ismain = coroutine.running() out(type(main), ismain)\n"
         "coroutine.resume(coroutine.create(function() local co, m = coroutine.running() out(type(co), m) end))",
         "thread true\nthread false\n"},
        {"local gen = coroutine.wrap(function() for i = 1, 3 do coroutine.yield(i) end end) out(gen(), gen(), gen())",
         "1 2 3\n"},
        // wrap passes the error on as it was raised.
        {"local f = coroutine.wrap(function() error('wrapped', 0) end) out(pcall(f))", "false wrapped\n"},
        {"local f = coroutine.wrap(function() end) f() out(pcall(f))", "false corolib: cannot resume dead coroutine\n"},
        {"local e = {} local f = coroutine.wrap(function() error(e) end) out(select(2, pcall(f)) == e)", "true\n"},
        {"coroutine.wrap(5)", "error: bad argument #1 to 'wrap' (function expected, got number)"},
        {"out(coroutine.status(coroutine.running()))", "running\n"},
    });
}

// A thread that never had a function is dead for coresume and costatus.
TEST(CoroLib, ThreadWithoutFunction) {
    BaseState s(false);
    lua_newthread(s.L);
    lua_setglobal(s.L, "bare");
    EXPECT_EQ(s.run("out(costatus(bare)) out(coresume(bare, 1))"), "dead\nfalse corolib: cannot resume dead coroutine\n");
}

namespace {
int yield_many(lua_State *L) {
    // More values than the resumer's stack can take.
    int n = (int)lua_tointeger(L, 1);
    if (!lua_checkstack(L, n)) return luaL_error(L, "no room");
    for (int i = 0; i < n; i++) lua_pushboolean(L, 1);
    return lua_yield(L, n);
}
} // namespace

TEST(CoroLib, TooManyValues) {
    BaseState s(false);
    lua_State *L = s.L;
    auto make_co = [L](lua_CFunction f) {
        lua_getglobal(L, "cocreate");
        lua_pushcfunction(L, f);
        EXPECT_EQ(lua_pcall(L, 1, 1, 0), LUA_OK);
        return lua_tothread(L, -1); // left on the stack
    };
    const int filler = 999000;

    // The resumer's stack cannot take the results: they are dropped.
    lua_State *co = make_co(yield_many);
    int co_index = lua_gettop(L);
    ASSERT_TRUE(lua_checkstack(L, filler + 10));
    for (int i = 0; i < filler; i++) lua_pushboolean(L, 1);
    lua_getglobal(L, "coresume");
    lua_pushvalue(L, co_index);
    lua_pushnumber(L, fx(2000));
    ASSERT_EQ(lua_pcall(L, 2, 2, 0), LUA_OK);
    EXPECT_FALSE(lua_toboolean(L, -2));
    EXPECT_STREQ(lua_tostring(L, -1), "corolib: too many results to resume");
    EXPECT_EQ(lua_status(co), LUA_YIELD);
    EXPECT_EQ(lua_gettop(co), 0);
    lua_settop(L, 0);

    // co's stack cannot take the arguments.
    co = make_co(yield_many);
    ASSERT_TRUE(lua_checkstack(co, filler + 10));
    for (int i = 0; i < filler; i++) lua_pushboolean(co, 1);
    lua_getglobal(L, "coresume");
    lua_insert(L, 1);
    ASSERT_TRUE(lua_checkstack(L, 2000));
    for (int i = 0; i < 1500; i++) lua_pushboolean(L, 1);
    ASSERT_EQ(lua_pcall(L, 1501, 2, 0), LUA_OK);
    EXPECT_FALSE(lua_toboolean(L, -2));
    EXPECT_STREQ(lua_tostring(L, -1), "corolib: too many arguments to resume");
}

// A coroutine inherits the count hook of the thread that made it.
TEST(CoroLib, CreatedThreadsInheritTheHook) {
    BaseState s(false);
    static int calls;
    calls = 0;
    lua_sethook(s.L, [](lua_State *, lua_Debug *) { calls++; }, LUA_MASKCOUNT, 10);
    EXPECT_EQ(s.run("local co = cocreate(function() local x = 0 for i = 1, 200 do x = x + i end return x end)\n"
                    "out(coresume(co))"),
              "true 20100\n");
    EXPECT_GT(calls, 30); // most of the instructions ran inside the coroutine
}
