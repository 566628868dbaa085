// Coroutines driven by host functions: resume, yield with continuations,
// errors inside coroutines and the refusal cases.
#include <gtest/gtest.h>

#include "lua_test_util.h"

// Yields its argument + 1, then returns through its continuation the
// value it was resumed with, doubled.
static int gen_k(lua_State *L) {
    int ctx = 0;
    EXPECT_EQ(lua_getctx(L, &ctx), LUA_YIELD);
    EXPECT_EQ(ctx, 77);
    lua_pushnumber(L, lua_tonumber(L, -1) * 2);
    return 1;
}
static int gen(lua_State *L) {
    lua_pushnumber(L, lua_tonumber(L, 1) + fx(1));
    return lua_yieldk(L, 1, 77, gen_k);
}

TEST(CoroutineHost, ResumeYieldContinue) {
    TestState s;
    lua_State *L = s.L;
    lua_State *co = lua_newthread(L);
    lua_pushcfunction(co, gen);
    lua_pushnumber(co, fx(1));
    ASSERT_EQ(lua_resume(co, L, 1), LUA_YIELD);
    EXPECT_EQ(lua_status(co), LUA_YIELD);
    ASSERT_EQ(lua_gettop(co), 1);
    EXPECT_EQ(lua_tonumber(co, -1), fx(2));
    lua_pop(co, 1);
    lua_pushnumber(co, fx(5));
    ASSERT_EQ(lua_resume(co, L, 1), LUA_OK);
    EXPECT_EQ(lua_tonumber(co, -1), fx(10));
    EXPECT_EQ(lua_status(co), LUA_OK);
}

// A host function that calls another through lua_callk; the inner one
// yields, and the outer continues in its continuation.
static int outer_k(lua_State *L) {
    lua_pushstring(L, "outer done");
    return lua_gettop(L);
}
static int outer(lua_State *L) {
    lua_pushcfunction(L, [](lua_State *L) -> int { return lua_yield(L, 0); });
    lua_callk(L, 0, 0, 1, outer_k);
    return outer_k(L);
}

TEST(CoroutineHost, YieldAcrossCallkAndBoundaries) {
    TestState s;
    lua_State *L = s.L;
    lua_State *co = lua_newthread(L);
    lua_pushcfunction(co, outer);
    ASSERT_EQ(lua_resume(co, L, 0), LUA_YIELD);
    ASSERT_EQ(lua_resume(co, L, 0), LUA_OK);
    EXPECT_STREQ(lua_tostring(co, -1), "outer done");

    // Across lua_call (no continuation): refused.
    lua_State *co2 = lua_newthread(L);
    lua_pushcfunction(co2, [](lua_State *L) -> int {
        lua_pushcfunction(L, [](lua_State *L) -> int { return lua_yield(L, 0); });
        lua_call(L, 0, 0);
        return 0;
    });
    EXPECT_EQ(lua_resume(co2, L, 0), LUA_ERRRUN);
    EXPECT_STREQ(lua_tostring(co2, -1), "attempt to yield across a C-call boundary");
    EXPECT_EQ(lua_status(co2), LUA_ERRRUN);

    // From the main thread outside any resume.
    std::string msg;
    EXPECT_EQ(pcall_cfunc(L, [](lua_State *L) -> int { return lua_yield(L, 0); }, &msg), LUA_ERRRUN);
    EXPECT_EQ(msg, "attempt to yield from outside a coroutine");
}

TEST(CoroutineHost, DeadAndRunningCoroutines) {
    TestState s;
    lua_State *L = s.L;
    lua_State *co = lua_newthread(L);
    lua_pushcfunction(co, [](lua_State *L) -> int {
        lua_pushstring(L, "bad");
        return lua_error(L);
    });
    EXPECT_EQ(lua_resume(co, L, 0), LUA_ERRRUN);
    EXPECT_STREQ(lua_tostring(co, -1), "bad");
    lua_pushcfunction(co, gen);
    EXPECT_EQ(lua_resume(co, L, 0), LUA_ERRRUN);
    EXPECT_STREQ(lua_tostring(co, -1), "cannot resume dead coroutine");

    // A coroutine resuming itself while it runs.
    lua_State *co2 = lua_newthread(L);
    lua_pushcfunction(co2, [](lua_State *L) -> int {
        lua_pushcfunction(L, gen);
        int st = lua_resume(L, L, 0);
        lua_pushinteger(L, st);
        return 2;
    });
    ASSERT_EQ(lua_resume(co2, L, 0), LUA_OK);
    EXPECT_EQ(lua_tonumber(co2, -1), LUA_ERRRUN);
    EXPECT_STREQ(lua_tostring(co2, -2), "cannot resume non-suspended coroutine");
}

// lua_pcallk inside a coroutine: an error after a yield is caught by the
// protected call and handed to its continuation.
static int pk(lua_State *L) {
    int ctx = 0;
    int st = lua_getctx(L, &ctx);
    lua_pushinteger(L, st);
    lua_pushinteger(L, ctx);
    return 3; // message, status, ctx
}
static int yield_then_fail(lua_State *L) {
    return lua_yieldk(L, 0, 0, [](lua_State *L) -> int {
        lua_pushstring(L, "late failure");
        return lua_error(L);
    });
}
static int protected_body(lua_State *L) {
    lua_pushcfunction(L, yield_then_fail);
    int st = lua_pcallk(L, 0, 0, 0, 9, pk);
    (void)st;
    return 0;
}

TEST(CoroutineHost, ProtectedCallRecoversAfterYield) {
    TestState s;
    lua_State *L = s.L;
    lua_State *co = lua_newthread(L);
    lua_pushcfunction(co, protected_body);
    ASSERT_EQ(lua_resume(co, L, 0), LUA_YIELD);
    ASSERT_EQ(lua_resume(co, L, 0), LUA_OK);
    ASSERT_EQ(lua_gettop(co), 3);
    EXPECT_STREQ(lua_tostring(co, 1), "late failure");
    EXPECT_EQ(lua_tonumber(co, 2), LUA_ERRRUN);
    EXPECT_EQ(lua_tonumber(co, 3), 9);
}

TEST(CoroutineHost, NewThreadsInheritHooks) {
    TestState s;
    lua_State *L = s.L;
    lua_Hook h = [](lua_State *, lua_Debug *) {};
    lua_sethook(L, h, LUA_MASKCOUNT, 1024);
    lua_State *co = lua_newthread(L);
    EXPECT_EQ(lua_gethook(co), h);
    EXPECT_EQ(lua_gethookmask(co), LUA_MASKCOUNT);
    EXPECT_EQ(lua_gethookcount(co), 1024);
    EXPECT_EQ(lua_get_cpu(co), 1024);
    lua_sethook(L, nullptr, 0, 0);
}

TEST(CoroutineHost, ManyCoroutinesAreCollected) {
    TestState s;
    lua_State *L = s.L;
    int before = lua_gc(L, LUA_GCCOUNT, 0);
    for (int i = 0; i < 500; i++) {
        lua_State *co = lua_newthread(L);
        lua_pushcfunction(co, gen);
        lua_pushnumber(co, fx(i));
        ASSERT_EQ(lua_resume(co, L, 1), LUA_YIELD); // left suspended
        lua_pop(L, 1);
    }
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_LT(lua_gc(L, LUA_GCCOUNT, 0), before + 10);
}
