// Host interface: stack, number conventions, strings, calls and errors.
#include <gtest/gtest.h>

#include "lsource_load.h"
#include "lstate.h"
#include "lua_test_util.h"

TEST(ApiStack, PushGetSettopInsertRemove) {
    TestState s;
    lua_State *L = s.L;
    EXPECT_EQ(lua_gettop(L), 0);
    lua_pushnumber(L, fx(1));
    lua_pushstring(L, "two");
    lua_pushboolean(L, 1);
    EXPECT_EQ(lua_gettop(L), 3);
    lua_insert(L, 1); // true, 1, "two"
    EXPECT_EQ(lua_type(L, 1), LUA_TBOOLEAN);
    lua_remove(L, 1); // 1, "two"
    EXPECT_EQ(lua_tonumber(L, 1), fx(1));
    lua_pushvalue(L, 1);
    lua_replace(L, 2); // 1, 1
    EXPECT_EQ(lua_tonumber(L, 2), fx(1));
    lua_settop(L, 5);
    EXPECT_EQ(lua_type(L, 5), LUA_TNIL);
    EXPECT_EQ(lua_type(L, 6), LUA_TNONE);
    EXPECT_EQ(lua_absindex(L, -1), 5);
    lua_settop(L, 0);
    EXPECT_TRUE(lua_checkstack(L, 5000));
    EXPECT_FALSE(lua_checkstack(L, LUAI_MAXSTACK + 1));
}

TEST(ApiTypes, TypeNamesInOneOrder) {
    TestState s;
    const char *expected[] = {"nil", "boolean", "userdata", "number", "string",
                              "table", "function", "userdata", "thread", "proto", "upval"};
    for (int t = 0; t <= 10; t++) EXPECT_STREQ(lua_typename(s.L, t), expected[t]) << t;
    EXPECT_STREQ(lua_typename(s.L, LUA_TNONE), "no value");
}

TEST(ApiNumbers, HostConventions) {
    TestState s;
    lua_State *L = s.L;
    lua_pushinteger(L, 3); // raw: 3/65536
    EXPECT_EQ(lua_tonumber(L, -1), 3);
    EXPECT_EQ(lua_tointeger(L, -1), 0);
    lua_pushunsigned(L, 3); // the whole number 3
    EXPECT_EQ(lua_tonumber(L, -1), fx(3));
    lua_pushnumber(L, -0x8000); // -0.5 floors to -1
    EXPECT_EQ(lua_tointeger(L, -1), -1);
    lua_pushnumber(L, fx(-1));
    EXPECT_EQ(lua_tounsigned(L, -1), 0xFFFFFFFFu);
    lua_pushstring(L, " 0x10 ");
    int isnum = 0;
    EXPECT_EQ(lua_tonumberx(L, -1, &isnum), fx(16));
    EXPECT_EQ(isnum, 1);
    EXPECT_EQ(lua_type(L, -1), LUA_TSTRING); // stays a string
    lua_pushstring(L, "abc");
    EXPECT_EQ(lua_tonumberx(L, -1, &isnum), 0);
    EXPECT_EQ(isnum, 0);
    lua_pushnumber(L, 0x18000);
    size_t len = 0;
    EXPECT_STREQ(lua_tolstring(L, -1, &len), "1.5");
    EXPECT_EQ(len, 3u);
    EXPECT_EQ(lua_type(L, -1), LUA_TSTRING); // converted in place
    EXPECT_EQ(lua_gc(L, LUA_GCCOUNT, 0), (int)(s.alloc.live >> 10)); // plain kilobytes
}

TEST(ApiStrings, InterningAndLongStrings) {
    TestState s;
    lua_State *L = s.L;
    std::string shortstr(40, 'a'), longstr(41, 'a');
    lua_pushstring(L, shortstr.c_str());
    lua_pushstring(L, shortstr.c_str());
    const char *a = lua_tostring(L, -1), *b = lua_tostring(L, -2);
    EXPECT_EQ(a, b); // the same interned object
    lua_pushstring(L, longstr.c_str());
    lua_pushstring(L, longstr.c_str());
    EXPECT_NE(lua_tostring(L, -1), lua_tostring(L, -2));
    EXPECT_TRUE(lua_rawequal(L, -1, -2));
    lua_pushlstring(L, "a\0b", 3);
    EXPECT_EQ(lua_rawlen(L, -1), 3u);
    lua_pushnumber(L, fx(7));
    lua_pushstring(L, "x");
    lua_pushnumber(L, 0x5555);
    lua_concat(L, 3);
    EXPECT_STREQ(lua_tostring(L, -1), "7x0.3333");
}

TEST(ApiFormat, DirectivesAndChunkIds) {
    TestState s;
    lua_State *L = s.L;
    EXPECT_STREQ(lua_pushfstring(L, "#%d (%s) %f %c %%", 12, "x", 0x18000, 'z'), "#12 (x) 1.5 z %");
    EXPECT_STREQ(lua_pushfstring(L, "%s", (const char *)nullptr), "(null)");
    std::string msg;
    auto bad = [](lua_State *L) -> int { lua_pushfstring(L, "%q", 1); return 0; };
    EXPECT_EQ(pcall_cfunc(L, bad, &msg), LUA_ERRRUN);
    EXPECT_EQ(msg, "invalid option '%q' to 'lua_pushfstring'");

    extern void luaO_chunkid(char *, const char *, size_t);
    struct Case { std::string source, id; } cases[] = {
        {"=stdin", "stdin"},
        {"=" + std::string(70, 'n'), std::string(59, 'n')},
        {"@cart.zv", "cart.zv"},
        {"@" + std::string(70, 'f'), "..." + std::string(56, 'f')},
        {"print(1)", "[string \"print(1)\"]"},
        {"line one\nline two", "[string \"line one...\"]"},
        {std::string(50, 's'), "[string \"" + std::string(45, 's') + "...\"]"},
    };
    for (const Case &c : cases) {
        char out[LUA_IDSIZE];
        luaO_chunkid(out, c.source.c_str(), LUA_IDSIZE);
        EXPECT_EQ(out, c.id) << c.source;
    }
}

static int add_upvalue(lua_State *L) {
    lua_Number n = lua_tonumber(L, 1) + lua_tonumber(L, lua_upvalueindex(1));
    lua_pushnumber(L, n);
    lua_pushinteger(L, lua_gettop(L));
    return 2;
}

TEST(ApiCalls, ClosuresResultsAndGlobals) {
    TestState s;
    lua_State *L = s.L;
    lua_pushnumber(L, fx(10));
    lua_pushcclosure(L, add_upvalue, 1);
    lua_setglobal(L, "add");
    lua_getglobal(L, "add");
    lua_pushnumber(L, fx(5));
    lua_call(L, 1, LUA_MULTRET);
    ASSERT_EQ(lua_gettop(L), 2);
    EXPECT_EQ(lua_tonumber(L, 1), fx(15));
    EXPECT_EQ(lua_tonumber(L, 2), 2); // plain count of its stack (arg + result)
    lua_settop(L, 0);
    lua_getglobal(L, "add");
    lua_pushnumber(L, fx(1));
    lua_call(L, 1, 3); // padded with nil
    EXPECT_EQ(lua_gettop(L), 3);
    EXPECT_TRUE(lua_isnil(L, 3));
    lua_getglobal(L, "add");
    const char *name = lua_getupvalue(L, -1, 1);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(lua_tonumber(L, -1), fx(10));
}

TEST(ApiErrors, PcallErrorObjectsAndHandler) {
    TestState s;
    lua_State *L = s.L;
    // A table as the error object comes back unchanged.
    auto throw_table = [](lua_State *L) -> int {
        lua_newtable(L);
        lua_pushnumber(L, fx(42));
        lua_setfield(L, -2, "code");
        return lua_error(L);
    };
    lua_pushcfunction(L, throw_table);
    ASSERT_EQ(lua_pcall(L, 0, 0, 0), LUA_ERRRUN);
    lua_getfield(L, -1, "code");
    EXPECT_EQ(lua_tonumber(L, -1), fx(42));
    lua_settop(L, 0);
    // The handler sees the message and its result is the error object.
    auto handler = [](lua_State *L) -> int {
        lua_pushfstring(L, "handled: %s", lua_tostring(L, 1));
        return 1;
    };
    auto fail = [](lua_State *L) -> int {
        lua_pushstring(L, "boom");
        return lua_error(L);
    };
    lua_pushcfunction(L, handler);
    lua_pushcfunction(L, fail);
    ASSERT_EQ(lua_pcall(L, 0, 0, 1), LUA_ERRRUN);
    EXPECT_STREQ(lua_tostring(L, -1), "handled: boom");
    lua_settop(L, 0);
    // A handler that fails itself gives the error-in-error status.
    lua_pushcfunction(L, fail);
    lua_pushcfunction(L, fail);
    ASSERT_EQ(lua_pcall(L, 0, 0, 1), LUA_ERRERR);
    EXPECT_STREQ(lua_tostring(L, -1), "error in error handling");
    lua_settop(L, 0);
    // Calling a non-function.
    std::string msg;
    auto callnil = [](lua_State *L) -> int {
        lua_pushnil(L);
        lua_call(L, 0, 0);
        return 0;
    };
    EXPECT_EQ(pcall_cfunc(L, callnil, &msg), LUA_ERRRUN);
    EXPECT_EQ(msg, "attempt to call a nil value");
    EXPECT_EQ(lua_gettop(L), 0);
}

static int recurse_host(lua_State *L) {
    lua_pushcfunction(L, recurse_host);
    lua_call(L, 0, 0);
    return 0;
}

TEST(ApiErrors, HostCallDepthAndRecovery) {
    TestState s;
    lua_State *L = s.L;
    std::string msg;
    EXPECT_EQ(pcall_cfunc(L, recurse_host, &msg), LUA_ERRRUN);
    EXPECT_EQ(msg, "C stack overflow");
    // The state stays usable.
    lua_pushnumber(L, fx(10));
    lua_pushcclosure(L, add_upvalue, 1);
    lua_pushnumber(L, fx(1));
    ASSERT_EQ(lua_pcall(L, 1, 1, 0), LUA_OK);
    EXPECT_EQ(lua_tonumber(L, -1), fx(11));
}

TEST(ApiErrors, StackOverflowFromGrowth) {
    TestState s;
    lua_State *L = s.L;
    auto grow = [](lua_State *L) -> int {
        extern void luaD_growstack(lua_State *, int);
        luaD_growstack(L, LUAI_MAXSTACK);
        return 0;
    };
    std::string msg;
    EXPECT_EQ(pcall_cfunc(L, grow, &msg), LUA_ERRRUN);
    EXPECT_EQ(msg, "stack overflow");
    EXPECT_TRUE(lua_checkstack(L, 100)); // shrunk back and usable
}

TEST(ApiMetatables, IndexNewindexCallAndEq) {
    TestState s;
    lua_State *L = s.L;
    lua_newtable(L); // t
    lua_newtable(L); // mt
    lua_pushcfunction(L, [](lua_State *L) -> int { // __index(t, k) = "got " .. k
        lua_pushfstring(L, "got %s", lua_tostring(L, 2));
        return 1;
    });
    lua_setfield(L, -2, "__index");
    lua_pushcfunction(L, [](lua_State *L) -> int { // __newindex stores k .. "!"
        lua_pushvalue(L, 2);
        lua_pushfstring(L, "%s!", lua_tostring(L, 3));
        lua_rawset(L, 1);
        return 0;
    });
    lua_setfield(L, -2, "__newindex");
    lua_pushcfunction(L, [](lua_State *L) -> int {
        lua_pushinteger(L, lua_gettop(L));
        return 1;
    });
    lua_setfield(L, -2, "__call");
    lua_setmetatable(L, -2);
    lua_getfield(L, 1, "x");
    EXPECT_STREQ(lua_tostring(L, -1), "got x");
    lua_pop(L, 1);
    lua_pushstring(L, "v");
    lua_setfield(L, 1, "y");
    lua_rawgeti(L, 1, 1);
    EXPECT_TRUE(lua_isnil(L, -1));
    lua_pop(L, 1);
    lua_getfield(L, 1, "y"); // raw now: present
    EXPECT_STREQ(lua_tostring(L, -1), "v!");
    lua_pop(L, 1);
    lua_pushvalue(L, 1);
    lua_pushnumber(L, 1);
    lua_pushnumber(L, 2);
    lua_call(L, 2, 1); // __call gets t and both arguments
    EXPECT_EQ(lua_tonumber(L, -1), 3);
    lua_settop(L, 0);

    // An __index that leads back to the table itself is a loop.
    lua_newtable(L);
    lua_pushvalue(L, 1);
    lua_setmetatable(L, 1);
    lua_pushvalue(L, 1);
    lua_setfield(L, 1, "__index");
    std::string msg;
    auto get = [](lua_State *L) -> int {
        lua_getfield(L, 1, "missing");
        return 0;
    };
    EXPECT_EQ(pcall_cfunc(L, get, &msg, 1), LUA_ERRRUN);
    EXPECT_EQ(msg, "loop in gettable");
}

TEST(ApiCompare, OrderAndArith) {
    TestState s;
    lua_State *L = s.L;
    lua_pushnumber(L, fx(-1));
    lua_pushnumber(L, fx(2));
    EXPECT_TRUE(lua_compare(L, 1, 2, LUA_OPLT));
    EXPECT_FALSE(lua_compare(L, 2, 1, LUA_OPLE));
    lua_pushstring(L, "10");
    lua_pushnumber(L, fx(5));
    lua_arith(L, LUA_OPADD); // string coercion
    EXPECT_EQ(lua_tonumber(L, -1), fx(15));
    lua_pushnumber(L, fx(32767));
    lua_pushnumber(L, fx(1));
    lua_arith(L, LUA_OPADD);
    EXPECT_EQ(lua_tonumber(L, -1), fx(-32768)); // wraps
    lua_pushnumber(L, fx(1));
    lua_pushnumber(L, 0);
    lua_arith(L, LUA_OPDIV);
    EXPECT_EQ(lua_tonumber(L, -1), 0x7FFFFFFF);
    lua_pushnumber(L, fx(-32768));
    lua_arith(L, LUA_OPUNM);
    EXPECT_EQ(lua_tonumber(L, -1), fx(-32768));
    std::string msg;
    auto badarith = [](lua_State *L) -> int {
        lua_pushstring(L, "abc");
        lua_pushnumber(L, fx(1));
        lua_arith(L, LUA_OPADD);
        return 0;
    };
    EXPECT_EQ(pcall_cfunc(L, badarith, &msg), LUA_ERRRUN);
    EXPECT_EQ(msg, "attempt to perform arithmetic on a string value");
    auto badcmp = [](lua_State *L) -> int {
        lua_pushstring(L, "1");
        lua_pushnumber(L, fx(1));
        lua_compare(L, 1, 2, LUA_OPLT);
        return 0;
    };
    EXPECT_EQ(pcall_cfunc(L, badcmp, &msg), LUA_ERRRUN);
    EXPECT_EQ(msg, "attempt to compare string with number");
    lua_pushstring(L, "a\0b");
    lua_pushlstring(L, "a\0c", 3);
    EXPECT_TRUE(lua_compare(L, -2, -1, LUA_OPLT));
}

TEST(ApiMemory, AllocationTypesAndFailures) {
    TestState s;
    lua_State *L = s.L;
    s.alloc.record = true;
    lua_newtable(L);
    lua_pushstring(L, "a fresh string");
    lua_newuserdata(L, 8);
    lua_pushnumber(L, 1);
    lua_pushcclosure(L, add_upvalue, 1);
    lua_newthread(L);
    auto has = [&](int t) { for (int x : s.alloc.types) if (x == t) return true; return false; };
    EXPECT_TRUE(has(LUA_TTABLE));
    EXPECT_TRUE(has(LUA_TSTRING));
    EXPECT_TRUE(has(LUA_TUSERDATA));
    EXPECT_TRUE(has(LUA_TFUNCTION));
    EXPECT_TRUE(has(LUA_TTHREAD));
    EXPECT_FALSE(has(LUA_TPROTO));
    EXPECT_FALSE(has(LUA_TUPVAL));
    // Prototypes and upvalues in the type-name order: "proto" 9, "upval" 10.
    const std::string chunk = "local a = 1 return function() return a end";
    ASSERT_EQ(zorva_load_source(L, chunk.data(), chunk.size(), "=chunk"), LUA_OK);
    lua_call(L, 0, 1);
    EXPECT_TRUE(has(9));
    EXPECT_TRUE(has(10));
    EXPECT_STREQ(lua_typename(L, LUA_TPROTO), "proto");
    EXPECT_STREQ(lua_typename(L, LUA_TUPVAL), "upval");
    for (int t : s.alloc.types) EXPECT_TRUE(t == 0 || (t >= LUA_TSTRING && t <= LUA_TUPVAL)) << t;
    lua_settop(L, 0);

    // Every allocation failing: the preallocated message.
    auto grab = [](lua_State *L) -> int {
        for (int i = 0; i < 1000; i++) lua_newtable(L), lua_pop(L, 1), lua_pushfstring(L, "s%d", i), lua_pop(L, 1);
        return 0;
    };
    s.alloc.fail_after = 0;
    std::string msg;
    EXPECT_EQ(pcall_cfunc(L, grab, &msg), LUA_ERRMEM);
    EXPECT_EQ(msg, "not enough memory");
    s.alloc.fail_after = -1;
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_EQ(pcall_cfunc(L, grab, &msg), LUA_OK);
}

TEST(ApiMemory, NewStateFailsCleanly) {
    for (long n = 0; n < 200; n++) {
        TestAlloc a;
        a.fail_after = n;
        a.record = true;
        lua_State *L = lua_newstate(TestAlloc::fn, &a);
        ASSERT_FALSE(a.types.empty());
        EXPECT_EQ(a.types[0], LUA_TTHREAD); // the state block is a thread's
        if (L) {
            lua_close(L);
            EXPECT_EQ(a.live, 0u);
            break;
        }
        EXPECT_EQ(a.live, 0u) << n;
    }
}

TEST(ApiCpu, SpendAndSoftYield) {
    TestState s;
    lua_State *L = s.L;
    lua_sethook(L, [](lua_State *, lua_Debug *) {}, LUA_MASKCOUNT, 1024);
    EXPECT_EQ(lua_gethookcount(L), 1024);
    EXPECT_EQ(lua_spend_cpu(L, 5), 1019);
    L->hookcount = 3;
    EXPECT_EQ(lua_spend_cpu(L, 5), 1);
    L->hookcount = 500;
    lua_zorva_soft_yield(L);
    EXPECT_EQ(lua_get_cpu(L), 1);
    EXPECT_EQ(lua_spend_cpu(L, 0), 500);
    EXPECT_EQ(zorva_soft_yield_count, 0u);
}
