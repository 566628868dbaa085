// The arithmetic, bit, random and conversion functions of the cart API,
// called with raw 16.16 patterns: results, the edge cases carts meet, and
// what each call charges or gives back.
#include "console_state.h"
#include "lauxlib.h"
#include "lua.h"
#include "zorva_api.h"
#include "zorva_fixed.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr zorva_fixed ONE = 0x10000;
constexpr zorva_fixed fx(double v) { return zorva_fixed(v * 65536.0); }
constexpr zorva_fixed raw(uint32_t bits) { return zorva_fixed(bits); }

void no_hook(lua_State *, lua_Debug *) {}

class MathApi : public ::testing::Test {
  protected:
    console_state console;
    lua_State *L = luaL_newstate();
    void SetUp() override {
        L0 = L;
        lua_sethook(L, no_hook, LUA_MASKCOUNT, 1024);
    }
    void TearDown() override {
        L0 = nullptr;
        lua_close(L);
    }

    // Calls f with the raw arguments; returns its results as raw patterns
    // (any result that is no number as INT32_MIN + 1, which no case uses).
    std::vector<zorva_fixed> call(lua_CFunction f, const std::vector<zorva_fixed> &args) {
        int top = lua_gettop(L);
        lua_pushcfunction(L, f);
        for (zorva_fixed a : args) lua_pushnumber(L, a);
        EXPECT_EQ(lua_pcall(L, int(args.size()), LUA_MULTRET, 0), LUA_OK);
        std::vector<zorva_fixed> results;
        for (int i = top + 1; i <= lua_gettop(L); i++)
            results.push_back(lua_type(L, i) == LUA_TNUMBER ? lua_tonumber(L, i) : INT32_MIN + 1);
        lua_settop(L, top);
        return results;
    }
    zorva_fixed call1(lua_CFunction f, const std::vector<zorva_fixed> &args) {
        std::vector<zorva_fixed> r = call(f, args);
        EXPECT_EQ(r.size(), 1u);
        return r.empty() ? 0 : r[0];
    }
    // Runs a chunk with the functions under test registered; returns its
    // results as text (numbers in their text form, separated by spaces).
    std::string run(const std::string &code) {
        int top = lua_gettop(L);
        if (luaL_loadstring(L, code.c_str()) != LUA_OK || lua_pcall(L, 0, LUA_MULTRET, 0) != LUA_OK) {
            std::string message = lua_tostring(L, -1);
            lua_settop(L, top);
            return "error: " + message;
        }
        std::string text;
        for (int i = top + 1; i <= lua_gettop(L); i++) {
            if (i > top + 1) text += ' ';
            int type = lua_type(L, i);
            const char *s = type == LUA_TNIL       ? "nil"
                            : type == LUA_TBOOLEAN ? (lua_toboolean(L, i) ? "true" : "false")
                                                   : lua_tostring(L, i);
            text += s ? s : "?";
        }
        lua_settop(L, top);
        return text;
    }
    void register_all() {
        const struct {
            const char *name;
            lua_CFunction f;
        } functions[] = {
            {"flr", zv_flr},   {"sgn", zv_sgn},     {"abs", zv_abs},     {"min", zv_min},   {"max", zv_max},
            {"mid", zv_mid},   {"cos", zv_cos},     {"sin", zv_sin},     {"sqrt", zv_sqrt}, {"atan2", zv_atan2},
            {"band", zv_band}, {"bor", zv_bor},     {"bxor", zv_bxor},   {"bnot", zv_bnot}, {"shl", zv_shl},
            {"shr", zv_shr},   {"rnd", zv_rnd},     {"srand", zv_srand}, {"tonum", zv_tonum},
            {"tostr", zv_tostr},
        };
        for (const auto &f : functions) lua_register(L, f.name, f.f);
    }
};

struct Case {
    const char *name;
    lua_CFunction f;
    std::vector<zorva_fixed> args;
    zorva_fixed expected;
};

TEST_F(MathApi, Arithmetic) {
    const Case cases[] = {
        {"flr", zv_flr, {fx(1.5)}, ONE},
        {"flr", zv_flr, {fx(-0.5)}, -ONE},
        {"flr", zv_flr, {raw(0xFFFFFFFF)}, -ONE},   // -1/65536
        {"flr", zv_flr, {fx(-2)}, fx(-2)},
        {"flr", zv_flr, {raw(0x7FFFFFFF)}, raw(0x7FFF0000)},
        {"flr", zv_flr, {raw(0x80000000)}, raw(0x80000000)},
        {"flr", zv_flr, {}, 0},
        {"sgn", zv_sgn, {0}, ONE},
        {"sgn", zv_sgn, {1}, ONE},
        {"sgn", zv_sgn, {-1}, -ONE},
        {"sgn", zv_sgn, {raw(0x80000000)}, -ONE},
        {"sgn", zv_sgn, {}, ONE},
        {"abs", zv_abs, {fx(-1.5)}, fx(1.5)},
        {"abs", zv_abs, {fx(2.25)}, fx(2.25)},
        {"abs", zv_abs, {-1}, 1},
        {"abs", zv_abs, {fx(-32768)}, fx(-32768)},   // has no positive twin
        {"min", zv_min, {fx(1), fx(2)}, fx(1)},
        {"min", zv_min, {fx(2), fx(-1)}, fx(-1)},
        {"min", zv_min, {raw(0x80000000), raw(0x7FFFFFFF)}, raw(0x80000000)},
        {"min", zv_min, {fx(5)}, 0},                 // a missing argument reads 0
        {"min", zv_min, {fx(-5)}, fx(-5)},
        {"max", zv_max, {fx(1), fx(2)}, fx(2)},
        {"max", zv_max, {fx(-3), fx(-2)}, fx(-2)},
        {"max", zv_max, {fx(-5)}, 0},
        {"max", zv_max, {}, 0},
        {"sqrt", zv_sqrt, {fx(4)}, fx(2)},
        {"sqrt", zv_sqrt, {fx(2)}, 0x16AAB},         // one refinement step
        {"sqrt", zv_sqrt, {fx(0.25)}, fx(0.5)},
        {"sqrt", zv_sqrt, {0}, 0},
        {"sqrt", zv_sqrt, {fx(32767)}, fx(181)},
        {"sqrt", zv_sqrt, {fx(-4)}, 0},              // no root: 0
    };
    for (const Case &c : cases) EXPECT_EQ(call1(c.f, c.args), c.expected) << c.name << " #" << (&c - cases);
}

TEST_F(MathApi, MidOfEveryOrder) {
    const struct {
        zorva_fixed a, b, c, expected;
    } cases[] = {
        {1, 2, 3, 2}, {1, 3, 2, 2}, {2, 1, 3, 2}, {2, 3, 1, 2}, {3, 1, 2, 2}, {3, 2, 1, 2},
        {1, 1, 2, 1}, {1, 2, 1, 1}, {2, 1, 1, 1}, {2, 2, 1, 2}, {2, 1, 2, 2}, {1, 2, 2, 2},
        {5, 5, 5, 5}, {-ONE, raw(0x80000000), raw(0x7FFFFFFF), -ONE},
    };
    for (const auto &c : cases)
        EXPECT_EQ(call1(zv_mid, {c.a, c.b, c.c}), c.expected) << c.a << " " << c.b << " " << c.c;
    // Missing arguments read 0.
    EXPECT_EQ(call1(zv_mid, {fx(-1)}), 0);
    EXPECT_EQ(call1(zv_mid, {fx(3), fx(7)}), fx(3));
}

TEST_F(MathApi, BitOperations) {
    const Case cases[] = {
        {"band", zv_band, {raw(0x0F0F0F0F), raw(0xFF00FF00)}, raw(0x0F000F00)},
        {"band", zv_band, {fx(-1), fx(1.5)}, fx(1)},
        {"bor", zv_bor, {raw(0x0F0F0F0F), raw(0xFF00FF00)}, raw(0xFF0FFF0F)},
        {"bor", zv_bor, {fx(1), fx(0.5)}, fx(1.5)},
        {"bxor", zv_bxor, {raw(0x0F0F0F0F), raw(0xFF00FF00)}, raw(0xF00FF00F)},
        {"bxor", zv_bxor, {fx(3)}, fx(3)},
        {"bnot", zv_bnot, {0}, raw(0xFFFFFFFF)},
        {"bnot", zv_bnot, {ONE}, raw(0xFFFEFFFF)},
        {"bnot", zv_bnot, {raw(0x80000000)}, raw(0x7FFFFFFF)},
        // shl: the count's whole part; above 31 all bits go.
        {"shl", zv_shl, {1, fx(1)}, 2},
        {"shl", zv_shl, {ONE, fx(15)}, raw(0x80000000)},
        {"shl", zv_shl, {1, fx(31)}, raw(0x80000000)},
        {"shl", zv_shl, {1, fx(32)}, 0},
        {"shl", zv_shl, {-1, fx(32767)}, 0},
        {"shl", zv_shl, {3, fx(1.5)}, 6},
        {"shl", zv_shl, {fx(1), 0}, fx(1)},
        {"shl", zv_shl, {1, fx(-1)}, raw(0x80000000)},   // negative: count & 31
        {"shl", zv_shl, {1, fx(-0.5)}, raw(0x80000000)}, // floors to -1
        {"shl", zv_shl, {1, fx(-32)}, 1},
        {"shl", zv_shl, {1, fx(-32768)}, 1},
        // shr: arithmetic, the sign copied in.
        {"shr", zv_shr, {-1, fx(31)}, -1},
        {"shr", zv_shr, {fx(-1), fx(1)}, fx(-0.5)},
        {"shr", zv_shr, {raw(0x80000000), fx(4)}, raw(0xF8000000)},
        {"shr", zv_shr, {ONE, fx(16)}, 1},
        {"shr", zv_shr, {raw(0x7FFFFFFF), fx(-1)}, 0},   // shifts by 31
        {"shr", zv_shr, {raw(0x80000000), fx(-1)}, -1},
        {"shr", zv_shr, {fx(5), fx(32)}, 0},
        {"shr", zv_shr, {-1, fx(32)}, 0},
        {"shr", zv_shr, {fx(5), fx(0.75)}, fx(5)},
    };
    for (const Case &c : cases) EXPECT_EQ(call1(c.f, c.args), c.expected) << c.name << " #" << (&c - cases);
}

TEST_F(MathApi, Trigonometry) {
    // Angles in turns; sin is negated (y grows downward).
    const Case cases[] = {
        {"cos", zv_cos, {0}, ONE},
        {"cos", zv_cos, {fx(0.25)}, 0},
        {"cos", zv_cos, {fx(0.5)}, -ONE},
        {"cos", zv_cos, {fx(1)}, ONE},             // whole turns
        {"cos", zv_cos, {fx(-0.5)}, -ONE},
        {"cos", zv_cos, {fx(0.125)}, 46341},       // round(65536 cos(pi / 4))
        {"cos", zv_cos, {}, ONE},
        {"sin", zv_sin, {0}, 0},
        {"sin", zv_sin, {fx(0.25)}, -ONE},
        {"sin", zv_sin, {fx(0.75)}, ONE},
        {"sin", zv_sin, {fx(-0.25)}, ONE},
        {"sin", zv_sin, {fx(0.125)}, -46341},
        {"atan2", zv_atan2, {fx(1), 0}, 0},
        {"atan2", zv_atan2, {0, fx(-1)}, fx(0.25)},
        {"atan2", zv_atan2, {fx(-1), 0}, fx(0.5)},
        {"atan2", zv_atan2, {0, fx(1)}, fx(0.75)},
        {"atan2", zv_atan2, {fx(1), fx(-1)}, fx(0.125)},
        {"atan2", zv_atan2, {0, 0}, fx(0.25)},
        {"atan2", zv_atan2, {}, fx(0.25)},
    };
    for (const Case &c : cases) EXPECT_EQ(call1(c.f, c.args), c.expected) << c.name << " #" << (&c - cases);
}

// The console's generator, stepped by hand: high = rotl(high, 16) + low,
// low += high.
uint32_t next_high(uint32_t &high, uint32_t &low) {
    high = ((high << 16) | (high >> 16)) + low;
    low += high;
    return high;
}

TEST_F(MathApi, RandomNumbers) {
    const struct {
        std::vector<zorva_fixed> args;
        uint32_t modulus;   // 0: no step
    } cases[] = {
        {{}, 0x10000},                   // 1.0 by default
        {{fx(100)}, 100u << 16},
        {{1}, 1},
        {{fx(0.5)}, 0x8000},
        {{fx(-1)}, 0xFFFF0000u},         // taken unsigned
        {{0}, 0},
    };
    for (const auto &c : cases) {
        uint32_t high = 0x12345678, low = 0x9ABCDEF0;
        zorva_random_set_seeds(high, low);
        uint32_t expected = c.modulus == 0 ? 0 : next_high(high, low) % c.modulus;
        EXPECT_EQ(uint32_t(call1(zv_rnd, c.args)), expected) << c.modulus;
        uint32_t h, l;
        zorva_random_get_seeds(&h, &l);
        EXPECT_EQ(h, high);
        EXPECT_EQ(l, low);
    }

    // srand clears the seed's sign bit, then seeds as zorva_srand does.
    const struct {
        zorva_fixed arg;
        uint32_t seed;
    } seeds[] = {{-1, 0x7FFFFFFF}, {fx(-1), 0x7FFF0000}, {fx(42), 42u << 16}, {0, 0}, {raw(0x80000000), 0}};
    for (const auto &s : seeds) {
        zorva_srand(s.seed);
        uint32_t want_high, want_low;
        zorva_random_get_seeds(&want_high, &want_low);
        zorva_random_set_seeds(1, 2);
        EXPECT_TRUE(call(zv_srand, {s.arg}).empty());
        uint32_t h, l;
        zorva_random_get_seeds(&h, &l);
        EXPECT_EQ(h, want_high) << s.arg;
        EXPECT_EQ(l, want_low) << s.arg;
    }
    // The same seed gives the same numbers.
    call(zv_srand, {fx(7)});
    zorva_fixed first = call1(zv_rnd, {fx(10)});
    call(zv_srand, {fx(7)});
    EXPECT_EQ(call1(zv_rnd, {fx(10)}), first);
}

TEST_F(MathApi, CostsAndRefunds) {
    register_all();
    const struct {
        const char *code;
        int charge;
    } cases[] = {
        {"flr(1.5)", -2},   {"flr()", 0},         {"flr(1, 2)", 0},
        {"bnot(1)", -2},    {"bnot()", 0},        {"bnot(1, 2)", 0},
        {"band(1, 2)", -3}, {"band(1)", 0},       {"band(1, 2, 3)", 0},
        {"bor(1, 2)", -3},  {"bxor(1, 2)", -3},   {"bxor(1)", 0},
        {"shl(1, 2)", -3},  {"shl(1)", 0},        {"shr(1, 2)", -3},   {"shr(1, 2, 3)", 0},
        {"sqrt(2)", 16},    {"sqrt()", 16},       {"sqrt(0)", 16},
        {"rnd()", 4},       {"rnd(5)", 4},        {"rnd(0)", 4},
        {"sgn(1)", 0},      {"abs(-1)", 0},       {"min(1, 2)", 0},    {"max(1, 2)", 0},
        {"mid(1, 2, 3)", 0}, {"cos(0.1)", 0},     {"sin(0.1)", 0},     {"atan2(1, 1)", 0},
        {"srand(3)", 0},    {"tonum('5')", 0},    {"tostr(5)", 0},
    };
    for (const auto &c : cases) {
        int before = pstate.total_cpu;
        EXPECT_EQ(run(c.code), "") << c.code;
        EXPECT_EQ(pstate.total_cpu - before, c.charge) << c.code;
    }
    // Refunds go through the same counters as charges: the frame's CPU
    // drops, the charge counter does not.
    int frame = pstate.frame_cpu, charged = pstate.frame_charge;
    run("flr(1)");
    EXPECT_EQ(pstate.frame_cpu, frame - 2);
    EXPECT_EQ(pstate.frame_charge, charged);
    run("sqrt(9)");
    EXPECT_EQ(pstate.frame_charge, charged + 16);
}

TEST_F(MathApi, ArgumentsThatAreNoNumbers) {
    register_all();
    EXPECT_EQ(run("return flr('2.5'), flr('x'), flr({}), flr(nil), flr(true)"), "2 0 0 0 0");
    EXPECT_EQ(run("return max('3', 2), min(nil, -1), band('0x0f', 0x3c)"), "3 -1 12");
    EXPECT_EQ(run("return shl(1, '4'), shr(16, {}), abs(' -2 ')"), "16 16 2");
}

TEST_F(MathApi, ToStr) {
    register_all();
    lua_pushcfunction(L, zv_tostr);
    lua_setglobal(L, "some_function");
    const struct {
        const char *code;
        const char *expected;
    } cases[] = {
        {"return tostr(1)", "1"},
        {"return tostr(0.5)", "0.5"},
        {"return tostr(-1.25)", "-1.25"},
        {"return tostr(1 / 3)", "0.3333"},
        {"return tostr(0x0.0001)", "0"},
        {"return tostr(-0x0.0001)", "-0"},
        {"return tostr(0x7fff.ffff)", "32768"},
        {"return tostr(-32768)", "-32768"},
        // hex: the whole and the fraction half of the pattern.
        {"return tostr(1, true)", "0x0001.0000"},
        {"return tostr(-1, true)", "0xffff.0000"},
        {"return tostr(0x1234.5678, true)", "0x1234.5678"},
        {"return tostr(-0x0.0001, true)", "0xffff.ffff"},
        {"return tostr(0.5, true)", "0x0000.8000"},
        {"return tostr(-32768, true)", "0x8000.0000"},
        {"return tostr(0x7fff.ffff, true)", "0x7fff.ffff"},
        {"return tostr(1, false)", "1"},
        {"return tostr(1, nil)", "1"},
        {"return tostr(1, 0)", "0x0001.0000"},   // any true value
        // Strings as they are, also numeric ones and with hex.
        {"return tostr('abc')", "abc"},
        {"return tostr('0x10')", "0x10"},
        {"return tostr('12', true)", "12"},
        {"return tostr('')", ""},
        {"return tostr(true)", "true"},
        {"return tostr(false)", "false"},
        {"return tostr(nil)", "[nil]"},
        {"return tostr()", "[nil]"},
        {"return tostr({})", "[table]"},
        {"return tostr(some_function)", "[function]"},
        {"return tostr({}, true)", "[table]"},
    };
    for (const auto &c : cases) EXPECT_EQ(run(c.code), c.expected) << c.code;

    // A thread and a userdata.
    lua_pushcfunction(L, zv_tostr);
    lua_newthread(L);
    ASSERT_EQ(lua_pcall(L, 1, 1, 0), LUA_OK);
    EXPECT_STREQ(lua_tostring(L, -1), "[thread]");
    lua_pop(L, 1);
    lua_pushcfunction(L, zv_tostr);
    lua_newuserdata(L, 4);
    ASSERT_EQ(lua_pcall(L, 1, 1, 0), LUA_OK);
    EXPECT_STREQ(lua_tostring(L, -1), "[userdata]");
    lua_pop(L, 1);
}

TEST_F(MathApi, ToNum) {
    const struct {
        const char *text;
        bool converts;
        zorva_fixed expected;
    } cases[] = {
        {"12", true, fx(12)},
        {"  12.5  ", true, fx(12.5)},
        {"0.1", true, 0x1999},
        {"-12.5", true, -0xC8000},          // exact, as its positive form is
        {"0x10", true, fx(16)},
        {"-0x10", true, fx(-16)},
        {"+0x10", true, fx(16)},
        {"0x.8", true, fx(0.5)},
        {"0x1234.5678", true, raw(0x12345678)},
        {"0xffff", true, fx(-1)},           // wraps
        {"-0xffff", true, fx(-1)},          // wrapped positive: made negative again
        {"-0x8000", true, raw(0x80000000)},
        {"-0", true, 0},
        {"0b101.01", true, fx(5.25)},
        {"-0b1", true, fx(-1)},
        {"1e5", true, raw(0x80000000)},     // out of range
        {"-1e5", true, raw(0x80000000)},
        {"32767.99999", true, raw(0x7FFFFFFF)},
        {"abc", false, 0},
        {"", false, 0},
        {"   ", false, 0},
        {"0x", false, 0},
        {"12z", false, 0},
        {"nan", false, 0},
        {"0x1p4", false, 0},
        {"- 5", false, 0},
    };
    for (const auto &c : cases) {
        lua_pushcfunction(L, zv_tonum);
        lua_pushstring(L, c.text);
        ASSERT_EQ(lua_pcall(L, 1, LUA_MULTRET, 0), LUA_OK);
        if (c.converts) {
            ASSERT_EQ(lua_gettop(L), 1) << c.text;
            EXPECT_EQ(lua_type(L, 1), LUA_TNUMBER) << c.text;
            EXPECT_EQ(lua_tonumber(L, 1), c.expected) << c.text;
        } else {
            EXPECT_EQ(lua_gettop(L), 0) << c.text;   // no result at all
        }
        lua_settop(L, 0);
    }
    // A zero byte inside the text.
    lua_pushcfunction(L, zv_tonum);
    lua_pushlstring(L, "12\0", 3);
    ASSERT_EQ(lua_pcall(L, 1, LUA_MULTRET, 0), LUA_OK);
    EXPECT_EQ(lua_gettop(L), 0);

    // Numbers as they are; other values give nothing.
    EXPECT_EQ(call(zv_tonum, {raw(0x80000001)}), std::vector<zorva_fixed>{raw(0x80000001)});
    EXPECT_EQ(call(zv_tonum, {-1}), std::vector<zorva_fixed>{-1});
    EXPECT_TRUE(call(zv_tonum, {}).empty());
    for (int type : {LUA_TNIL, LUA_TBOOLEAN, LUA_TTABLE}) {
        lua_pushcfunction(L, zv_tonum);
        if (type == LUA_TNIL) lua_pushnil(L);
        else if (type == LUA_TBOOLEAN) lua_pushboolean(L, 1);
        else lua_newtable(L);
        ASSERT_EQ(lua_pcall(L, 1, LUA_MULTRET, 0), LUA_OK);
        EXPECT_EQ(lua_gettop(L), 0) << type;
        lua_settop(L, 0);
    }
    // In an expression no result reads nil.
    register_all();
    EXPECT_EQ(run("return tonum('x') == nil, tonum({}), 5"), "true nil 5");
    EXPECT_EQ(run("local a, b = tonum('x'), 5 return a, b"), "nil 5");
    EXPECT_EQ(run("return tonum(tostr(-2.5))"), "-2.5");
    EXPECT_EQ(run("return tonum(tostr(0x1234.5678, true)) == 0x1234.5678"), "true");
}

}  // namespace
