// Tables: which number keys are array indices, host whole indices, hash
// positions, traversal order and borders.
#include <gtest/gtest.h>

#include <set>

#include "lstate.h"
#include "ltable.h"
#include "lua_test_util.h"

static Table *totable(lua_State *L, int idx) { return hvalue(L->ci->func + lua_absindex(L, idx)); }

TEST(TableKeys, ArrayIndexRule) {
    struct Case { zorva_fixed key; int index; } cases[] = {
        {fx(1), 1}, {fx(32767), 32767}, {0, 0}, {fx(-1), 0}, {0x8000, 0}, {fx(1) + 1, 0},
        {(zorva_fixed)0x7FFF8000, 0}, {fx(-32768), 0}, {0x7FFFFFFF, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(luaH_arrayindex(c.key), c.index) << std::hex << c.key;
}

TEST(TableKeys, ScriptKeysAndWholeIndicesMeet) {
    TestState s;
    lua_State *L = s.L;
    lua_createtable(L, 0, 0); // no array part
    lua_pushnumber(L, fx(1));
    lua_pushstring(L, "one");
    lua_settable(L, 1); // t[1.0]
    lua_rawgeti(L, 1, 1);
    EXPECT_STREQ(lua_tostring(L, -1), "one");
    lua_pop(L, 1);
    lua_pushstring(L, "uno");
    lua_rawseti(L, 1, 1); // replaces, does not add
    int count = 0;
    lua_pushnil(L);
    while (lua_next(L, 1)) {
        count++;
        EXPECT_EQ(lua_tonumber(L, -2), fx(1));
        EXPECT_STREQ(lua_tostring(L, -1), "uno");
        lua_pop(L, 1);
    }
    EXPECT_EQ(count, 1);
    // 0, -1 and 0.5 are hash keys, distinct from each other and from 1.
    zorva_fixed hashkeys[] = {0, fx(-1), 0x8000, fx(-32768), (zorva_fixed)0x7FFF8000};
    for (zorva_fixed k : hashkeys) {
        lua_pushnumber(L, k);
        lua_pushnumber(L, k);
        lua_rawset(L, 1);
    }
    Table *t = totable(L, 1);
    for (zorva_fixed k : hashkeys) {
        TValue key;
        setnvalue(&key, k);
        EXPECT_EQ(nvalue(luaH_get(t, &key)), k);
    }
    lua_rawgeti(L, 1, 0); // the whole index 0 is the key 0
    EXPECT_EQ(lua_tonumber(L, -1), 0);
    EXPECT_EQ(lua_type(L, -1), LUA_TNUMBER);
}

TEST(TableKeys, MainPositionsOfNumbers) {
    TestState s;
    lua_State *L = s.L;
    lua_createtable(L, 0, 8); // 8 nodes: modulus 7
    Table *t = totable(L, -1);
    ASSERT_EQ(sizenode(t), 8);
    struct Case { zorva_fixed key; int node; } cases[] = {
        {fx(-32768), 0},                      // negation is itself
        {7, 0}, {8, 1}, {-8, 1},              // by magnitude
        {fx(1), 0x10000 % 7}, {0x7FFFFFFF, 0x7FFFFFFF % 7},
    };
    for (const Case &c : cases) {
        TValue key;
        setnvalue(&key, c.key);
        EXPECT_EQ(luaH_mainposition_index(t, &key), c.node) << std::hex << c.key;
    }
}

// A whole index is the number i << 16 in 32 bits: indices beyond 16 bits
// come round to other keys, and reach them wherever they are stored.
TEST(TableKeys, WholeIndicesWrapOntoTheSameKeys) {
    TestState s;
    lua_State *L = s.L;
    lua_createtable(L, 4, 4); // an array part and free hash nodes
    lua_pushstring(L, "a");
    lua_rawseti(L, 1, 1);
    struct Case { int index, same_as; } cases[] = {
        {65537, 1},      // in the array part
        {-65535, 1},
        {0x10000 + 3, 3},
        {0x10000 + 6, 6}, // in the hash part
        {65536, 0},
        {0x7FFF0002, 2},
    };
    for (const Case &c : cases) {
        lua_pushfstring(L, "v%d", c.index);
        lua_rawseti(L, 1, c.index);
        lua_rawgeti(L, 1, c.same_as);
        EXPECT_STREQ(lua_tostring(L, -1), lua_pushfstring(L, "v%d", c.index)) << c.index;
        lua_settop(L, 1);
    }
    int count = 0;
    lua_pushnil(L);
    while (count < 100 && lua_next(L, 1)) count++, lua_pop(L, 1); // a second entry for a key would loop
    EXPECT_EQ(count, 5); // 0, 1, 2, 3 and 6: one entry each
}

TEST(TableLayout, RehashChoosesArrayPart) {
    TestState s;
    lua_State *L = s.L;
    lua_newtable(L);
    for (int i = 1; i <= 100; i++) {
        lua_pushnumber(L, fx(i));
        lua_rawseti(L, 1, i);
    }
    Table *t = totable(L, 1);
    EXPECT_EQ(t->sizearray, 128);
    EXPECT_EQ(luaH_getn(t), 100);
    // Keys that are not indices never go to the array part.
    lua_newtable(L);
    for (int i = 1; i <= 50; i++) {
        lua_pushnumber(L, fx(i) + 0x8000); // i + 0.5
        lua_pushboolean(L, 1);
        lua_rawset(L, 2);
        lua_pushnumber(L, fx(-i));
        lua_pushboolean(L, 1);
        lua_rawset(L, 2);
    }
    EXPECT_EQ(totable(L, 2)->sizearray, 0);
    // The array part stops at 32767: index 32768 does not exist as one.
    lua_createtable(L, 40000, 0);
    EXPECT_EQ(totable(L, 3)->sizearray, MAXASIZE);
    lua_newtable(L);
    for (int i = 1; i <= 32767; i++) {
        lua_pushboolean(L, 1);
        lua_rawseti(L, 4, i);
    }
    EXPECT_EQ(totable(L, 4)->sizearray, MAXASIZE);
    EXPECT_EQ(luaH_getn(totable(L, 4)), 32767);
}

TEST(TableNext, ArrayKeysFirstThenHash) {
    TestState s;
    lua_State *L = s.L;
    lua_createtable(L, 3, 4);
    lua_pushstring(L, "h1");
    lua_setfield(L, 1, "a");
    for (int i = 1; i <= 3; i++) {
        lua_pushnumber(L, fx(i * 10));
        lua_rawseti(L, 1, i);
    }
    lua_pushstring(L, "h2");
    lua_setfield(L, 1, "b");
    std::vector<zorva_fixed> numkeys;
    std::set<std::string> strkeys;
    lua_pushnil(L);
    while (lua_next(L, 1)) {
        if (lua_type(L, -2) == LUA_TNUMBER) {
            EXPECT_TRUE(strkeys.empty()) << "array keys come first";
            numkeys.push_back(lua_tonumber(L, -2));
        } else {
            strkeys.insert(lua_tostring(L, -2));
        }
        lua_pop(L, 1);
    }
    EXPECT_EQ(numkeys, (std::vector<zorva_fixed>{fx(1), fx(2), fx(3)}));
    EXPECT_EQ(strkeys, (std::set<std::string>{"a", "b"}));
    std::string msg;
    auto badnext = [](lua_State *L) -> int {
        lua_pushstring(L, "not a key");
        lua_next(L, 1);
        return 0;
    };
    EXPECT_EQ(pcall_cfunc(L, badnext, &msg, 1), LUA_ERRRUN);
    EXPECT_EQ(msg, "invalid key to 'next'");
}

TEST(TableNext, OrderRepeatsWithAFixedSeed) {
    auto order = [](unsigned seed) {
        lua_zorva_fixseed(1, seed);
        lua_State *L = lua_newstate(TestAlloc::fn, new TestAlloc);
        lua_newtable(L);
        for (const char *k : {"alpha", "beta", "gamma", "delta", "epsilon", "zeta"}) {
            lua_pushboolean(L, 1);
            lua_setfield(L, 1, k);
        }
        std::string out;
        lua_pushnil(L);
        while (lua_next(L, 1)) {
            out += lua_tostring(L, -2);
            out += ",";
            lua_pop(L, 1);
        }
        void *ud;
        lua_getallocf(L, &ud);
        lua_close(L);
        delete static_cast<TestAlloc *>(ud);
        lua_zorva_fixseed(0, 0);
        return out;
    };
    EXPECT_EQ(order(1), order(1));
    bool differs = false;
    for (unsigned seed = 2; seed < 10 && !differs; seed++) differs = order(seed) != order(1);
    EXPECT_TRUE(differs) << "the seed should change the order";
}

TEST(TableLength, BordersAndErrors) {
    TestState s;
    lua_State *L = s.L;
    lua_createtable(L, 8, 0);
    for (int i = 1; i <= 5; i++) {
        lua_pushboolean(L, 1);
        lua_rawseti(L, 1, i);
    }
    EXPECT_EQ(luaH_getn(totable(L, 1)), 5); // border inside the array part
    lua_newtable(L); // only a hash part
    for (int i = 1; i <= 3; i++) {
        lua_pushboolean(L, 1);
        lua_rawseti(L, 2, 1000 + i); // far away: stays in the hash
    }
    lua_pushboolean(L, 1);
    lua_rawseti(L, 2, 1);
    EXPECT_EQ(luaH_getn(totable(L, 2)), 1);
    lua_len(L, 1);
    EXPECT_EQ(lua_tonumber(L, -1), fx(5));
    lua_pushstring(L, "abc");
    lua_len(L, -1);
    EXPECT_EQ(lua_tonumber(L, -1), fx(3));
    std::string msg;
    auto nilkey = [](lua_State *L) -> int {
        lua_newtable(L);
        lua_pushnil(L);
        lua_pushnumber(L, 1);
        lua_rawset(L, -3);
        return 0;
    };
    EXPECT_EQ(pcall_cfunc(L, nilkey, &msg), LUA_ERRRUN);
    EXPECT_EQ(msg, "table index is nil");
}

// Every whole key from -32768 to 32767 present: the border search meets
// the same keys again past 65536 and must still end.
TEST(TableLength, EndsWhenEveryWholeKeyIsPresent) {
    TestState s;
    lua_State *L = s.L;
    lua_newtable(L); // all in the hash part: the negative keys come first
    for (int i = -32768; i <= 32767; i++) {
        lua_pushnumber(L, fx(i));
        lua_pushboolean(L, 1);
        lua_rawset(L, 1);
    }
    ASSERT_EQ(totable(L, 1)->sizearray, 0);
    EXPECT_EQ(luaH_getn(totable(L, 1)), 65536);
    lua_newtable(L); // 1..32767 in the array part
    for (int i = 1; i <= 32767; i++) {
        lua_pushboolean(L, 1);
        lua_rawseti(L, 2, i);
    }
    for (int i = -32768; i <= 0; i++) {
        lua_pushnumber(L, fx(i));
        lua_pushboolean(L, 1);
        lua_rawset(L, 2);
    }
    ASSERT_EQ(totable(L, 2)->sizearray, MAXASIZE);
    EXPECT_EQ(luaH_getn(totable(L, 2)), 65536);
    lua_len(L, 2);
    EXPECT_EQ(lua_tonumber(L, -1), 0); // 65536 wraps as a number
}

TEST(TableKeys, ManyKeysOfEveryKind) {
    TestState s;
    lua_State *L = s.L;
    lua_newtable(L);
    for (int i = 0; i < 3000; i++) {
        lua_pushfstring(L, "k%d", i);
        lua_pushnumber(L, fx(i));
        lua_rawset(L, 1);
        lua_pushnumber(L, fx(i) + 0x4000);
        lua_pushnumber(L, fx(i));
        lua_rawset(L, 1);
        lua_pushlightuserdata(L, (void *)(uintptr_t)(i * 16 + 16));
        lua_pushnumber(L, fx(i));
        lua_rawset(L, 1);
    }
    for (int i = 0; i < 3000; i += 7) {
        lua_pushfstring(L, "k%d", i);
        lua_rawget(L, 1);
        EXPECT_EQ(lua_tonumber(L, -1), fx(i));
        lua_pushnumber(L, fx(i) + 0x4000);
        lua_rawget(L, 1);
        EXPECT_EQ(lua_tonumber(L, -1), fx(i));
        lua_rawgetp(L, 1, (void *)(uintptr_t)(i * 16 + 16));
        EXPECT_EQ(lua_tonumber(L, -1), fx(i));
        lua_settop(L, 1);
    }
    int n = 0;
    lua_pushnil(L);
    while (lua_next(L, 1)) n++, lua_pop(L, 1);
    EXPECT_EQ(n, 9000);
}
