// The cart API table: registration order and names, the name list the
// tokenizer reads, and a cart-like script on a state that has exactly the
// registered globals.
#include "console_state.h"
#include "lauxlib.h"
#include "lua.h"
#include "zorva_bindings.h"
#include "zorva_draw.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// Every cart global in registration order.
const std::vector<std::string> registration_order = {
    "flip", "camera", "clip", "cls", "folder", "ls", "dir", "cd", "mkdir", "install_demos", "install_games",
    "keyconfig", "splore", "pset", "pget", "color", "print", "printh", "cursor", "tonum", "tostr", "spr", "sspr",
    "rect", "rectfill", "circ", "circfill", "line", "pal", "palt", "fillp", "mapdraw", "map", "mget", "mset",
    "fget", "fset", "sget", "sset", "music", "sfx", "peek", "poke", "memcpy", "memset", "reload", "cstore", "rnd",
    "srand", "flr", "sgn", "abs", "min", "max", "mid", "cos", "sin", "sqrt", "atan2", "band", "bor", "bxor",
    "bnot", "shl", "shr", "load", "save", "run", "stop", "reboot", "shutdown", "exit", "info", "export", "import",
    "help", "time", "login", "logout", "bbsreq", "scoresub", "extcmd", "btn", "btnp", "_menuitem", "menuitem",
    "cartdata", "dget", "dset", "stat", "sub", "pairs", "type", "assert", "setmetatable", "getmetatable",
    "cocreate", "coresume", "costatus", "yield", "trace", "_paused", "paused", "holdframe", "_get_frames_skipped",
    "_get_menu_item_selected", "_update_buttons", "_set_mainloop_exists", "_set_fps", "_set_paused",
};

std::vector<std::string> listed_names() {
    std::vector<std::string> names;
    for (int i = 0; i < api_function_count; i++) names.push_back(api_function_name[i]);
    return names;
}

class Bindings : public ::testing::Test {
  protected:
    console_state console;
    lua_State *L = luaL_newstate();
    void SetUp() override {
        L0 = L;
        reset_draw_palettes(pstate.draw_state);
        set_clip_registers(pstate.draw_state, pstate.screen, 0, 0, 128, 128);
        add_c_functions(L);
    }
    void TearDown() override {
        L0 = nullptr;
        lua_close(L);
        init_api_function_names();
    }
};

TEST_F(Bindings, NamesInRegistrationOrder) {
    EXPECT_EQ(registration_order.size(), 110u);
    const std::vector<std::string> &expected = registration_order;
    EXPECT_EQ(listed_names(), expected);

    // A new state lists them afresh rather than after the old ones.
    lua_State *L2 = luaL_newstate();
    add_c_functions(L2);
    lua_close(L2);
    EXPECT_EQ(listed_names(), expected);
}

TEST_F(Bindings, TheGlobalsAreExactlyTheListedFunctions) {
    std::set<std::string> globals;
    lua_pushglobaltable(L);
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        ASSERT_EQ(lua_type(L, -2), LUA_TSTRING);
        EXPECT_EQ(lua_type(L, -1), LUA_TFUNCTION) << lua_tostring(L, -2);
        globals.insert(lua_tostring(L, -2));
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    std::vector<std::string> names = listed_names();
    EXPECT_EQ(globals, std::set<std::string>(names.begin(), names.end()));
    // No library tables and none of the functions that carts do not see.
    for (const char *absent : {"string", "math", "table", "os", "io", "debug", "bit32", "package", "require",
                               "coroutine", "_G", "tostring", "tonumber", "ipairs", "next", "pcall", "error",
                               "select", "rawget"})
        EXPECT_EQ(globals.count(absent), 0u) << absent;
}

TEST(ApiFunctionNames, NamesThatDoNotFitAreLeftOut) {
    init_api_function_names();
    std::string longest(64, 'a'), too_long(65, 'b');
    add_api_function_name(longest.c_str());
    add_api_function_name(too_long.c_str());
    add_api_function_name("");
    ASSERT_EQ(api_function_count, 2);
    EXPECT_EQ(std::string(api_function_name[0]), longest);
    EXPECT_EQ(std::string(api_function_name[1]), "");
    for (int i = 2; i < ZORVA_API_NAMES; i++) add_api_function_name(("n" + std::to_string(i)).c_str());
    add_api_function_name("one_too_many");
    EXPECT_EQ(api_function_count, ZORVA_API_NAMES);
    EXPECT_STREQ(api_function_name[ZORVA_API_NAMES - 1], "n255");
    init_api_function_names();
    EXPECT_EQ(api_function_count, 0);
    EXPECT_STREQ(api_function_name[0], "");
}

// Runs a chunk as a cart runs (a coroutine) and returns its results as
// text, or "error: " and the message.
std::string run_cart_code(lua_State *L, const char *code) {
    lua_State *co = lua_newthread(L);
    if (luaL_loadstring(co, code) != LUA_OK) return std::string("error: ") + lua_tostring(co, -1);
    int status;
    while ((status = lua_resume(co, L, 0)) == LUA_YIELD) lua_settop(co, 0);
    std::string text;
    if (status != LUA_OK) {
        text = std::string("error: ") + lua_tostring(co, -1);
    } else {
        for (int i = 1; i <= lua_gettop(co); i++) {
            if (i > 1) text += ' ';
            if (lua_type(co, i) == LUA_TBOOLEAN) text += lua_toboolean(co, i) ? "true" : "false";
            else if (lua_type(co, i) == LUA_TNIL) text += "nil";
            else text += lua_tostring(co, i) ? lua_tostring(co, i) : "?";
        }
    }
    lua_pop(L, 1);
    return text;
}

TEST_F(Bindings, ACartScript) {
    const struct {
        const char *code;
        const char *expected;
    } cases[] = {
        {"local t = {}\n"
         "for i = 1, 5 do t[i] = flr(i * 1.5) end\n"
         "local s = ''\n"
         "for k, v in pairs(t) do s = s .. tostr(v) .. ',' end\n"
         "return s, tonum('0x10') + 1, sub(tostr(-1, true), 3), type(t), mid(3, 1, 2)",
         "1,3,4,6,7, 17 ffff.0000 table 2"},
        {"poke(0x4300, band(0x1f0, 0xff)) return peek(0x4300), shl(1, 4), shr(-16, 2), bnot(0) == -0x0.0001",
         "240 16 -4 true"},
        {"srand(12) local a = rnd(100) srand(12) return a == rnd(100), a >= 0 and a < 100, flr(rnd(1)) == 0",
         "true true true"},
        {"return sqrt(16), abs(-3), sgn(-7), min(4, 9), max(4, 9), cos(0.5), sin(0.25), atan2(-1, 0)",
         "4 3 -1 4 9 -1 -1 0.5"},
        {"local mt = {__index = function(t, k) return k * 2 end}\n"
         "local t = setmetatable({}, mt)\n"
         "return t[21], getmetatable(t) == mt",
         "42 true"},
        {"local co = cocreate(function(a) return a + 1 end) local ok, v = coresume(co, 1)\n"
         "return ok, v, costatus(co)",
         "true 2 dead"},
        {"return sub(trace(), 1, 16), btn(0), btnp(0)", "stack traceback: false false"},
        {"assert(1 == 2, 'sums')", "error: sums"},
        {"return tonum('x') == nil, tostr(nil), tostr(tonum('-0xffff'))", "true [nil] -1"},
        {"return string", "nil"},
        {"pset(1, 2, 9) return pget(1, 2), mget(200, 0), fget(999, 0)", "9 0 false"},
        {"printh('x') dset(2, 7) return dget(2), stat(5), time()", "7 11 0"},
    };
    for (const auto &c : cases) EXPECT_EQ(run_cart_code(L, c.code), c.expected) << c.code;
}

}  // namespace
