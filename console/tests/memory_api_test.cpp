// The cart functions of console memory as a cart calls them: arguments,
// results, costs, and reload and cstore with cart files through the shell.
#include "console_state.h"
#include "lauxlib.h"
#include "lua.h"
#include "zorva_api.h"
#include "zorva_memory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class MemoryApi : public ::testing::Test {
  protected:
    console_state console;
    lua_State *L = luaL_newstate();
    void SetUp() override {
        L0 = L;
        const struct {
            const char *name;
            lua_CFunction f;
        } functions[] = {{"peek", zv_peek},     {"poke", zv_poke},     {"memcpy", zv_memcpy},
                         {"memset", zv_memset}, {"reload", zv_reload}, {"cstore", zv_cstore}};
        for (const auto &f : functions) lua_register(L, f.name, f.f);
    }
    void TearDown() override {
        L0 = nullptr;
        lua_close(L);
    }

    // Runs a chunk and returns its first result (a number as its whole
    // part, anything else as -99999), failing the test on an error.
    int run(const std::string &code) {
        int top = lua_gettop(L);
        if (luaL_loadstring(L, code.c_str()) != LUA_OK || lua_pcall(L, 0, 1, 0) != LUA_OK) {
            ADD_FAILURE() << code << ": " << lua_tostring(L, -1);
            lua_settop(L, top);
            return -99999;
        }
        int result = lua_type(L, -1) == LUA_TNUMBER ? lua_tonumber(L, -1) >> 16 : -99999;
        lua_settop(L, top);
        return result;
    }
    // What a chunk charged.
    int cost(const std::string &code) {
        int before = pstate.total_cpu;
        run(code);
        return pstate.total_cpu - before;
    }
};

TEST_F(MemoryApi, Costs) {
    struct Case {
        const char *code;
        int charge;
    } cases[] = {
        {"peek(0)", -2},                 // refund with exactly one argument
        {"peek(0, 1)", 0},
        {"peek()", 0},
        {"poke(0, 1)", -3},
        {"poke(0)", 0},
        {"poke(0, 1, 2)", 0},
        {"memcpy(0x6000, 0, 10)", 11},
        {"memcpy(0x6000, 0, 0)", 1},
        {"memcpy(0x6000, 0, -5)", 1},
        {"memcpy(0x6000, 0, 40000)", 1},   // 40000 wraps to -25536
        {"memset(0x6000, 0, 10)", 5},
        {"memset(0x6000, 0, 11)", 6},
        {"memset(0x6000, 0, 1)", 1},
        {"memset(0x6000, 0, 0)", 1},
        {"reload()", 32768},
        {"reload(0, 0)", 32768},
        {"reload(0, 0, 100)", 800},
        {"reload(0, 0, 10000)", 32768},
        {"reload(0, 0, -1)", 1},
        {"cstore()", 0x40000},
        {"cstore(0, 0, 100)", 6400},
        {"cstore(0, 0, 0x4300)", 0x40000},
    };
    for (const Case &c : cases) EXPECT_EQ(cost(c.code), c.charge) << c.code;
}

TEST_F(MemoryApi, ArgumentsAndResults) {
    EXPECT_EQ(run("poke(0x6000, 0x121) return peek(0x6000)"), 0x21);   // low 8 bits
    EXPECT_EQ(run("return peek(0x6000.9)"), 0x21);                      // integer part
    EXPECT_EQ(run("poke(1.5, 0x37.8) return peek(1)"), 0x37);
    EXPECT_EQ(run("return peek(0x8000)"), 0);
    EXPECT_EQ(run("return peek(-0.5)"), 0);   // floors to -1: beyond memory
    EXPECT_EQ(run("return peek('0x6000')"), 0x21);   // numeric text counts as its number
    EXPECT_EQ(run("return peek({})"), 0);             // anything else reads 0: address 0
    EXPECT_EQ(run("return peek(nil, 5)"), 0);
    EXPECT_EQ(console_error_count, 0);

    run("poke(-1, 1)");
    run("poke(0x8000, 1)");
    EXPECT_EQ(console_error_count, 2);
    EXPECT_STREQ(console_error_message, "bad memory access");

    run("memset(0x4300, 7, 4) memcpy(0x4302, 0x4300, 4)");
    EXPECT_EQ(run("return peek(0x4305)"), 7);
    EXPECT_EQ(run("return peek(0x4306)"), 0);
}

TEST_F(MemoryApi, ReloadFromTheWorkingCart) {
    for (int a = 0; a < ZORVA_ROM_SIZE; a++) zorva_poke(nullptr, console.rom(), a, a * 7);
    EXPECT_EQ(run("return reload()"), 0x4300);
    EXPECT_EQ(run("return peek(0x1234)"), (0x1234 * 7) & 255);
    EXPECT_EQ(run("poke(0x10, 0) return reload(0x10, 0x20, 1)"), 1);
    EXPECT_EQ(run("return peek(0x10)"), (0x20 * 7) & 255);
    EXPECT_EQ(run("return reload(0, 0, 0)"), 0);          // the length as given
    EXPECT_EQ(run("return reload(0, 0, 1, nil)"), 1);     // no name: the working cart
    EXPECT_EQ(run("return reload(0, 0, 1, 'x', 5)"), 1);  // only exactly four read a file
}

struct file_call {
    std::string name;   // "(own)" for the cart's own file
    int dest, src, len;
    bool operator==(const file_call &) const = default;
};
std::vector<file_call> file_calls;
int file_result = 0;

int reload_from_file(const char *name, int dest, int src, int len) {
    file_calls.push_back({name, dest, src, len});
    return file_result;
}
int cstore_to_file(const char *name, int dest, int src, int len) {
    file_calls.push_back({name ? name : "(own)", dest, src, len});
    return file_result;
}

class MemoryApiFiles : public MemoryApi {
  protected:
    void SetUp() override {
        MemoryApi::SetUp();
        file_calls.clear();
        file_result = 0;
        zorva_shell.reload_from_file = reload_from_file;
        zorva_shell.cstore_to_file = cstore_to_file;
    }
};

TEST_F(MemoryApiFiles, ReloadFromAnotherCart) {
    EXPECT_EQ(run("return reload(1, 2, 3, 'game.zv')"), 3);
    EXPECT_EQ(run("return reload(1, 2, 3, 44)"), 3);   // a number is taken as its text
    EXPECT_EQ(run("return reload(1, 2, 3, '__own')"), 0);
    EXPECT_EQ(file_calls, (std::vector<file_call>{{"game.zv", 1, 2, 3}, {"44", 1, 2, 3}}));
    file_result = 1;
    EXPECT_EQ(run("return reload(1, 2, 3, 'missing.zv')"), 0);

    zorva_shell.reload_from_file = nullptr;   // no shell: fails
    EXPECT_EQ(run("return reload(1, 2, 3, 'game.zv')"), 0);
}

TEST_F(MemoryApiFiles, CstoreAlwaysGoesThroughTheShell) {
    EXPECT_EQ(run("return cstore()"), 0x4300);
    EXPECT_EQ(run("return cstore(5, 6, 7)"), 7);
    EXPECT_EQ(run("return cstore(5, 6, 7, 'scores.zv')"), 7);
    EXPECT_EQ(run("return cstore(5, 6, 7, nil)"), 7);
    EXPECT_EQ(run("return cstore(5, 6, 7, 'x', 'y')"), 7);
    EXPECT_EQ(file_calls, (std::vector<file_call>{{"(own)", 0, 0, 0x4300},
                                                  {"(own)", 5, 6, 7},
                                                  {"scores.zv", 5, 6, 7},
                                                  {"(own)", 5, 6, 7},
                                                  {"x", 5, 6, 7}}));
    file_calls.clear();
    lua_pushstring(L, std::string(512, 'a').c_str());
    lua_setglobal(L, "name_512");
    lua_pushstring(L, std::string(511, 'a').c_str());
    lua_setglobal(L, "name_511");
    EXPECT_EQ(run("return cstore(0, 0, 1, '__x')"), 0);
    EXPECT_EQ(run("return cstore(0, 0, 1, name_512)"), 0);
    EXPECT_TRUE(file_calls.empty());
    EXPECT_EQ(run("return cstore(0, 0, 1, name_511)"), 1);
    EXPECT_EQ(file_calls.size(), 1u);

    file_result = 2;
    EXPECT_EQ(run("return cstore()"), 0);
    zorva_shell.cstore_to_file = nullptr;
    file_result = 0;
    EXPECT_EQ(run("return cstore()"), 0);
}

}  // namespace
