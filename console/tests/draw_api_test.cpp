// The cart's drawing functions as a cart calls them: colours and palettes,
// clipping, the camera, fill patterns, primitives, sprites with flips and
// stretching, the map with layers, text with the cursor, the sprite sheet,
// map and flags, the draw-state bytes of console memory, costs, and
// arguments far outside the screen.
#include "console_state.h"
#include "lauxlib.h"
#include "lua.h"
#include "pixel_maps.h"
#include "zorva_api.h"
#include "zorva_api_draw.h"
#include "zorva_draw.h"
#include "zorva_memory.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

class DrawApi : public ::testing::Test {
  protected:
    console_state console;
    lua_State *L = luaL_newstate();
    static inline int cursor_cr_calls = 0;

    void SetUp() override {
        L0 = L;
        const struct {
            const char *name;
            lua_CFunction f;
        } functions[] = {
            {"camera", zv_camera}, {"clip", zv_clip},       {"cls", zv_cls},         {"pset", zv_pset},
            {"pget", zv_pget},     {"color", zv_color},     {"print", zv_print},     {"cursor", zv_cursor},
            {"spr", zv_spr},       {"sspr", zv_sspr},       {"rect", zv_rect},       {"rectfill", zv_rectfill},
            {"circ", zv_circ},     {"circfill", zv_circfill}, {"line", zv_line},     {"pal", zv_pal},
            {"palt", zv_palt},     {"fillp", zv_fillp},     {"mapdraw", zv_mapdraw}, {"map", zv_mapdraw},
            {"mget", zv_mget},     {"mset", zv_mset},       {"fget", zv_fget},       {"fset", zv_fset},
            {"sget", zv_sget},     {"sset", zv_sset},       {"peek", zv_peek},       {"poke", zv_poke},
        };
        for (const auto &f : functions) lua_register(L, f.name, f.f);
        pstate.font_pod = tamu_load_pod(ZORVA_SOURCE_DIR "/assets/font/system_font.pod");
        ASSERT_NE(pstate.font_pod, nullptr);
        fresh();
    }
    void TearDown() override {
        tamu_destroy_pod(pstate.font_pod);
        pstate.font_pod = nullptr;
        L0 = nullptr;
        lua_close(L);
    }

    // The draw state as a new program starts with it, a blank screen, the
    // sprites and map cells below, and a shell that counts cursor_cr calls.
    void fresh() {
        zorva_draw_state &d = pstate.draw_state;
        d = zorva_draw_state{};
        reset_draw_palettes(d);
        set_clip_registers(d, pstate.screen, 0, 0, 128, 128);
        d.pen_colour = 6;
        pstate.REQUEST = 0;
        tamu_clear_bitmap(pstate.screen);
        tamu_clear_bitmap(pstate.live_cart->gfx);
        tamu_clear_bitmap(pstate.live_cart->map);
        for (int &f : pstate.live_cart->sprite_flags) f = 0;
        // Sprite 0: columns of colours 1 to 8. Sprite 1: a few marks that
        // show every flip, with colour 0 (transparent) elsewhere.
        set_sprite(0, {"12345678", "12345678", "12345678", "12345678", "12345678", "12345678", "12345678",
                       "12345678"});
        set_sprite(1, sprite1);
        // Sprites 17, 18 and 19: solid 1, 2 and 3; 15: solid 5.
        set_sprite(17, solid('1'));
        set_sprite(18, solid('2'));
        set_sprite(19, solid('3'));
        set_sprite(15, solid('5'));
        // Map row 0: 17, 18, an empty cell, 19; flags 17: 1, 18: 2, 19: 3.
        cell(0, 0) = 17;
        cell(1, 0) = 18;
        cell(3, 0) = 19;
        pstate.live_cart->sprite_flags[17] = 1;
        pstate.live_cart->sprite_flags[18] = 2;
        pstate.live_cart->sprite_flags[19] = 3;
        cursor_cr_calls = 0;
        zorva_shell.cursor_cr = [] {
            cursor_cr_calls++;
            pstate.draw_state.cursor_y += 6;
        };
        console_error_count = 0;
    }

    static inline const pixel_map sprite1 = {"1234....", "5.......", "6.......", "7......8",
                                             "........", "........", "........", "9......a"};
    static pixel_map solid(char c) { return pixel_map(8, std::string(8, c)); }
    static void set_sprite(int n, const pixel_map &rows) {
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++)
                pstate.live_cart->gfx->rows[(n >> 4) * 8 + y][(n & 15) * 8 + x] = uint8_t(map_value(rows[y][x]));
    }
    static uint8_t &cell(int x, int y) { return pstate.live_cart->map->rows[y][x]; }

    // Runs a chunk and returns its first result (a number as its whole
    // part, true 1, false 0, anything else -99999); a failure fails the test.
    int run(const std::string &code) {
        int top = lua_gettop(L);
        if (luaL_loadstring(L, code.c_str()) != LUA_OK || lua_pcall(L, 0, 1, 0) != LUA_OK) {
            ADD_FAILURE() << code << ": " << lua_tostring(L, -1);
            lua_settop(L, top);
            return -99999;
        }
        int result = -99999;
        if (lua_type(L, -1) == LUA_TNUMBER) result = lua_tonumber(L, -1) >> 16;
        if (lua_type(L, -1) == LUA_TBOOLEAN) result = lua_toboolean(L, -1);
        lua_settop(L, top);
        return result;
    }
    int cost(const std::string &code) {
        int before = pstate.total_cpu;
        run(code);
        return pstate.total_cpu - before;
    }
    // The w x h part of the screen at x, y as a map.
    static std::string area(int x, int y, int w, int h) {
        std::string out;
        for (int j = y; j < y + h; j++) {
            for (int i = x; i < x + w; i++) out += map_char(pstate.screen->rows[j][i]);
            out += '\n';
        }
        return out;
    }
    static pixel_map repeated(const std::string &row, int n) { return pixel_map(size_t(n), row); }
};

// A case: code run on a fresh state, then the screen area it should leave.
struct screen_case {
    const char *code;
    int x, y, w, h;
    pixel_map want;
};

// ---------------------------------------------------------------------------
// Drawing, case by case

TEST_F(DrawApi, PixelsColoursPatternsAndPalettes) {
    const screen_case cases[] = {
        {"camera(-5, 0) pset(0, 0, 8)", 0, 0, 7, 1, {".....8."}},
        {"pset(2, 0, 7) pset(3)", 0, 0, 4, 1, {"..7."}},                      // fewer than 2 arguments
        {"color(9) pset(0, 0) pset(1, 0, 3) pset(2, 0)", 0, 0, 3, 1, {"933"}},   // a given colour is the pen's
        {"pal(0, 5) pset(0, 0, 7)", 0, 0, 1, 1, {"7"}},
        {"pal(7, 5) pset(0, 0, 7)", 0, 0, 1, 1, {"5"}},
        {"pal(7, 5, 1) pset(0, 0, 7)", 0, 0, 1, 1, {"7"}},                   // the screen palette: not drawing
        {"pset(0, 0, 0x123)", 0, 0, 1, 1, {"3"}},                            // its low byte, primary nibble
        {"cls(12) rectfill(0, 0, 1, 0, 0)", 0, 0, 3, 1, {"..c"}},           // primitives ignore transparency
        {"fillp(0x5A5A) rectfill(0, 0, 3, 3, 0x17)", 0, 0, 4, 4, {"7171", "1717", "7171", "1717"}},
        {"cls(12) fillp(0x5A5A + 0.5) rectfill(0, 0, 3, 3, 0x17)", 0, 0, 4, 4, {"7c7c", "c7c7", "7c7c", "c7c7"}},
        {"pal(1, 9) fillp(0xFFFF) pset(0, 0, 0x17)", 0, 0, 1, 1, {"9"}},   // the secondary colour is mapped too
        {"fillp(0xFFFF) pset(0, 0, 7)", 0, 0, 1, 1, {"."}},                 // palette[0] * 16 wraps to 0
        {"fillp(0xFFFF) fillp() pset(0, 0, 7)", 0, 0, 1, 1, {"7"}},
        {"fillp(0x8000) rectfill(0, 0, 4, 0, 0x27)", 0, 0, 5, 1, {"27772"}},
        {"fillp(0x8000) line(0, 0, 4, 0, 0x27)", 0, 0, 5, 1, {"27772"}},
        {"fillp(0x8000) rect(0, 0, 4, 4, 0x27)", 0, 0, 5, 5, {"27772", "7...7", "7...7", "7...7", "27772"}},
        {"fillp(0x8888) circfill(2, 2, 2, 0x27)", 0, 0, 5, 5, {".777.", "27772", "27772", "27772", ".777."}},
        {"fillp(0x8888) circ(2, 2, 2, 0x27)", 0, 0, 5, 5, {".777.", "2...2", "2...2", "2...2", ".777."}},
        {"pset(1, 1, 4) camera(1, 1) pset(2, 2, 5)", 0, 0, 2, 2, {"..", ".5"}},
        {"rect(1, 1, 4, 3, 5)", 0, 0, 6, 5, {"......", ".5555.", ".5..5.", ".5555.", "......"}},
        {"rect(4, 3, 1, 1, 5)", 0, 0, 6, 5, {"......", ".5555.", ".5..5.", ".5555.", "......"}},
        {"rectfill(4, 3, 1, 1, 5)", 0, 0, 6, 5, {"......", ".5555.", ".5555.", ".5555.", "......"}},
        {"line(0, 3, 7, 0, 5)", 0, 0, 8, 4, {"......55", "....55..", "..55....", "55......"}},
        {"camera(0, -1) line(0, 0, 3, 0)", 0, 0, 4, 2, {"....", "6666"}},
        {"circ(64, 64)", 60, 60, 9, 9,
         {"...666...", ".66...66.", ".6.....6.", "6.......6", "6.......6", "6.......6", ".6.....6.", ".66...66.",
          "...666..."}},
        {"circ(64, 64, -1) circfill(64, 64, -1) circ(64) circfill()", 60, 60, 9, 9, repeated(".........", 9)},
        {"circfill(64, 64, 1, 2)", 63, 63, 3, 3, {".2.", "222", ".2."}},
        {"cls(5) pal(5, 9) cls(5)", 0, 0, 2, 1, {"55"}},                  // cls is not mapped
        {"cls(0x17)", 0, 0, 2, 1, {"77"}},                                  // the screen holds 0-15
    };
    for (const screen_case &c : cases) {
        fresh();
        run(c.code);
        EXPECT_EQ(area(c.x, c.y, c.w, c.h), joined(c.want)) << c.code;
    }
}

TEST_F(DrawApi, ClipAndCls) {
    const screen_case cases[] = {
        {"clip(2, 1, 3, 2) rectfill(0, 0, 7, 3, 5)", 0, 0, 8, 4, {"........", "..555...", "..555...", "........"}},
        {"clip(2, 1, 3, 2) clip() rectfill(0, 0, 3, 0, 5)", 0, 0, 4, 1, {"5555"}},
        {"clip(2, 1, 3) rectfill(0, 0, 3, 0, 5)", 0, 0, 4, 1, {"5555"}},      // fewer than 4: the whole screen
        {"clip(6, 0, -4, 2) rectfill(0, 0, 7, 1, 5)", 0, 0, 8, 2, {"........", "........"}},   // empty
        {"clip(2, 0, 2, 1) circfill(2, 0, 3, 5) circ(2, 0, 2, 6)", 0, 0, 6, 1, {"..55.."}},
        {"clip(1, 0, 2, 1) spr(0, 0, 0)", 0, 0, 4, 1, {".23."}},
        {"clip(1, 1, 2, 2) cls(3)", 0, 0, 4, 4, {"3333", "3333", "3333", "3333"}},
        {"clip(1, 1, 2, 2) cls(3) rectfill(0, 0, 3, 0, 4)", 0, 0, 4, 1, {"4444"}},
        {"camera(-2, -1) clip(0, 0, 4, 2) rectfill(0, 0, 127, 127, 5)", 0, 0, 4, 2, {"....", "..55"}},
    };
    for (const screen_case &c : cases) {
        fresh();
        run(c.code);
        EXPECT_EQ(area(c.x, c.y, c.w, c.h), joined(c.want)) << c.code;
    }
    fresh();
    run("cursor(5, 7) clip(10, 10, 20, 20) cls()");
    EXPECT_EQ(pstate.draw_state.cursor_x, 0);
    EXPECT_EQ(pstate.draw_state.cursor_y, 0);
    EXPECT_EQ(pstate.screen->clip_x1, 128);
}

TEST_F(DrawApi, SpritesWithFlipsSizesAndTransparency) {
    const pixel_map s1 = {"1234cccc", "5ccccccc", "6ccccccc", "7cccccc8", "cccccccc", "cccccccc", "cccccccc", "9cccccca"};
    const screen_case cases[] = {
        {"cls(12) spr(1, 0, 0)", 0, 0, 8, 8, s1},
        {"cls(12) spr(1, 0, 0, 1, 1, true)", 0, 0, 8, 8,
         {"cccc4321", "ccccccc5", "ccccccc6", "8cccccc7", "cccccccc", "cccccccc", "cccccccc", "acccccc9"}},
        {"cls(12) spr(1, 0, 0, 1, 1, false, true)", 0, 0, 8, 8,
         {"9cccccca", "cccccccc", "cccccccc", "cccccccc", "7cccccc8", "6ccccccc", "5ccccccc", "1234cccc"}},
        {"cls(12) spr(1, 0, 0, 1, 1, 1, 1)", 0, 0, 8, 8,
         {"acccccc9", "cccccccc", "cccccccc", "cccccccc", "8cccccc7", "ccccccc6", "ccccccc5", "cccc4321"}},
        {"cls(12) spr(1.9, 0, 0)", 0, 0, 8, 8, s1},
        {"cls(12) spr(1, 0, 0, 0.5, 0.5)", 0, 0, 8, 8,
         {"1234cccc", "5ccccccc", "6ccccccc", "7ccccccc", "cccccccc", "cccccccc", "cccccccc", "cccccccc"}},
        {"cls(12) spr(1, 0, 0, 2)", 0, 0, 8, 1, {"cccccccc"}},              // a left-out h: nothing
        {"cls(12) spr(1, 0, 0, 0.1, 1)", 0, 0, 8, 1, {"cccccccc"}},         // below one pixel
        {"cls(12) spr(256, 0, 0) spr(-1, 0, 0)", 0, 0, 8, 1, {"cccccccc"}},
        {"cls(12) spr(0, 0, 0, 1.5, 0.125)", 0, 0, 12, 1, {"123456781234"}},   // into sprite 1
        {"cls(12) spr(1, -4, -4)", 0, 0, 4, 4, {"cccc", "cccc", "cccc", "ccca"}},
        {"cls(12) camera(4, 4) spr(1, 0, 0)", 0, 0, 4, 4, {"cccc", "cccc", "cccc", "ccca"}},
        {"cls(12) spr(1, 124, 124)", 124, 124, 4, 4, {"1234", "5ccc", "6ccc", "7ccc"}},
        {"cls(12) spr(15, 0, 0, 2, 1)", 0, 0, 16, 1, {"55555555cccccccc"}},   // off the sheet: nothing
        {"cls(12) palt(0, false) spr(1, 0, 0, 1, 0.125)", 0, 0, 8, 1, {"1234...."}},
        {"cls(12) palt(1, true) spr(1, 0, 0, 1, 0.125)", 0, 0, 8, 1, {"c234cccc"}},
        {"cls(12) palt(1, true) palt() spr(1, 0, 0, 1, 0.125)", 0, 0, 8, 1, {"1234cccc"}},
        {"cls(12) pal(2, 9) spr(1, 0, 0, 1, 0.125)", 0, 0, 8, 1, {"1934cccc"}},
        {"cls(12) pal(0, 9) spr(1, 0, 0, 1, 0.125)", 0, 0, 8, 1, {"1234cccc"}},   // still transparent
        {"cls(12) poke(0x5f03, 0xf7) spr(1, 0, 0, 1, 0.125)", 0, 0, 8, 1, {"12c4cccc"}},   // 16 or more: skipped
        {"cls(12) sspr(8, 0, 8, 8, 0, 0)", 0, 0, 8, 8, s1},
        {"cls(12) sspr(8, 0, 4, 1, 0, 0, 8, 2)", 0, 0, 8, 2, {"11223344", "11223344"}},
        {"cls(12) sspr(8, 0, 4, 1, 0, 0, 2, 1)", 0, 0, 4, 1, {"24cc"}},
        {"cls(12) sspr(8, 0, 4, 1, 0, 0, 4, 1, true)", 0, 0, 4, 1, {"4321"}},
        {"cls(12) sspr(8, 0, 4, 1, 4, 0, -4, 1)", 0, 0, 4, 1, {"4321"}},
        {"cls(12) sspr(8, 0, 1, 4, 0, 4, 1, -4)", 0, 0, 1, 4, {"7", "6", "5", "1"}},
        {"cls(12) sspr(8, 0, 4, 1, 0, 0, 8)", 0, 0, 8, 2, {"11223344", "cccccccc"}},   // dh left out: sh
        {"cls(12) sspr(8, 0, 4, 1, 0, 0, 0, 1) sspr(8, 0, 4, 1, 0, 0, 4, 0)", 0, 0, 4, 1, {"cccc"}},
        {"cls(12) sspr(8, 0, 0, 1, 0, 0) sspr(8, 0, 129, 1, 0, 0) sspr(8, 0, 4, -1, 0, 0)", 0, 0, 4, 1, {"cccc"}},
        {"cls(12) sspr(124, 0, 8, 1, 0, 0)", 0, 0, 8, 1, {"5555cccc"}},   // off the sheet: nothing
        {"cls(12) sspr(-4, 0, 8, 1, 0, 0)", 0, 0, 8, 1, {"cccc1234"}},
        {"cls(12) sspr(-4, 0, 8, 1, 0, 0, 8, 1, true)", 0, 0, 8, 1, {"4321cccc"}},
        {"cls(12) camera(-1, 0) sspr(8, 0, 2, 1, 0, 0, 4, 1)", 0, 0, 6, 1, {"c1122c"}},
        {"cls(12) clip(1, 0, 2, 1) sspr(8, 0, 4, 1, 0, 0, 8, 1)", 0, 0, 4, 1, {"c12c"}},
    };
    for (const screen_case &c : cases) {
        fresh();
        run(c.code);
        EXPECT_EQ(area(c.x, c.y, c.w, c.h), joined(c.want)) << c.code;
    }
    // sspr with a negative width: a mirrored copy at dx + dw.
    fresh();
    run("cls(12) sspr(0, 0, 8, 8, 10, 10, -16, 16)");
    EXPECT_EQ(area(0, 9, 11, 18), joined({"ccccccccccc", "5544332211c", "5544332211c", "5544332211c", "5544332211c",
                                          "5544332211c", "5544332211c", "5544332211c", "5544332211c", "5544332211c",
                                          "5544332211c", "5544332211c", "5544332211c", "5544332211c", "5544332211c",
                                          "5544332211c", "5544332211c", "ccccccccccc"}));
}

TEST_F(DrawApi, MapWithLayersCameraAndClip) {
    const std::string cells = "1111111122222222cccccccc33333333", blank(32, 'c');
    const screen_case cases[] = {
        {"cls(12) map(0, 0, 0, 0, 4, 1)", 0, 0, 32, 2, {cells, cells}},
        {"cls(12) mapdraw(0, 0, 0, 0, 4, 1)", 0, 7, 32, 2, {cells, blank}},
        {"cls(12) map(0, 0, 0, 0, 4, 1, 1)", 0, 0, 32, 1, {"11111111cccccccccccccccc33333333"}},
        {"cls(12) map(0, 0, 0, 0, 4, 1, 2)", 0, 0, 32, 1, {"cccccccc22222222cccccccc33333333"}},
        {"cls(12) map(0, 0, 0, 0, 4, 1, 4)", 0, 0, 32, 1, {blank}},
        {"cls(12) map(1, 0, 0, 0, 3, 1)", 0, 0, 24, 1, {"22222222cccccccc33333333"}},
        {"cls(12) map(-1, 0, 0, 0, 2, 1)", 0, 0, 16, 1, {"cccccccc11111111"}},   // off the map: empty
        {"cls(12) map(0, 0, 4, 2, 1, 1)", 0, 0, 13, 3, {"ccccccccccccc", "ccccccccccccc", "cccc11111111c"}},
        {"cls(12) camera(4, 0) map(0, 0, 0, 0, 2, 1)", 0, 0, 16, 1, {"111122222222cccc"}},
        {"cls(12) map(0, 0, 0, 0, 4)", 0, 0, 8, 1, {"cccccccc"}},              // 5 arguments: ch 0
        {"cls(12) map(0, 0, 0, 0, 0, 1)", 0, 0, 8, 1, {"cccccccc"}},
        {"cls(12) map(0, 0, 0, 0)", 0, 0, 32, 1, {cells}},                      // 128 x 32 cells
        {"cls(12) clip(20, 0, 10, 8) map(0, 0, 0, 0, 4, 1)", 16, 0, 16, 1, {"cccccccc333333cc"}},
        {"cls(12) map(0, 0, -9, 0, 4, 1)", 0, 0, 24, 1, {"2222222cccccccc33333333c"}},
        {"cls(12) palt(1, true) map(0, 0, 0, 0, 2, 1)", 0, 0, 16, 1, {"cccccccc22222222"}},
        {"cls(12) pal(2, 7) map(0, 0, 0, 0, 2, 1)", 0, 0, 16, 1, {"1111111177777777"}},
    };
    for (const screen_case &c : cases) {
        fresh();
        run(c.code);
        EXPECT_EQ(area(c.x, c.y, c.w, c.h), joined(c.want)) << c.code;
    }
    // Map rows 32-63 are drawn from the map cells.
    fresh();
    cell(0, 40) = 18;
    run("cls(12) map(0, 40, 0, 0, 1, 1)");
    EXPECT_EQ(area(0, 0, 8, 1), joined({"22222222"}));
}

TEST_F(DrawApi, Text) {
    const pixel_map hi = {"7.7....", "7.7.777", "777..7.", "7.7..7.", "7.7.777"};
    const screen_case cases[] = {
        {"print('Hi', 1, 2, 7)", 1, 2, 7, 5, hi},
        {"cursor(1, 2) color(7) print('Hi')", 1, 2, 7, 5, hi},
        {"camera(-1, -2) print('Hi', 0, 0, 7)", 1, 2, 7, 5, hi},
        {"pal(7, 9) print('Hi', 0, 0, 7)", 0, 0, 3, 1, {"9.9"}},
        {"print('Hi', 0, 0, 0x17)", 0, 0, 3, 1, {"7.7"}},       // no second colour in the screen
        {"print('Hi', 0, 0)", 0, 0, 3, 1, {"6.6"}},              // the pen colour
        {"print('Hi', 0, 0, 7) print('Hi', 4, 6)", 4, 6, 3, 1, {"7.7"}},   // the colour became the pen
    };
    for (const screen_case &c : cases) {
        fresh();
        run(c.code);
        EXPECT_EQ(area(c.x, c.y, c.w, c.h), joined(c.want)) << c.code;
    }

    // Values that are not text draw as their text.
    const std::pair<const char *, const char *> same[] = {
        {"print(true, 0, 0, 7)", "print('true', 0, 0, 7)"},
        {"print(nil, 0, 0, 7)", "print('[nil]', 0, 0, 7)"},
        {"print(print, 0, 0, 7)", "print('[function]', 0, 0, 7)"},
        {"print(-1.5, 0, 0, 7)", "print('-1.5', 0, 0, 7)"},
    };
    for (auto [code, text] : same) {
        fresh();
        run(code);
        std::string got = area(0, 0, 64, 6);
        fresh();
        run(text);
        EXPECT_EQ(got, area(0, 0, 64, 6)) << code;
        EXPECT_NE(got.find('7'), std::string::npos) << code;
    }

    // cursor_cr after a text given alone: once, and once more for every
    // further line it took.
    struct Case {
        const char *code;
        int request, calls;
    } cr_cases[] = {
        {"print('Hi')", 0, 1},        {"print('a\\nb\\nc')", 0, 3},   {"print('Hi', 0, 0)", 0, 0},
        {"print('Hi', 5)", 0, 0},     {"print()", 0, 0},             {"print(12)", 0, 1},
        {"cursor(100, 0) print('hello world')", 0, 1},
        {"cursor(100, 0) print('hello world')", REQUEST_PAUSE, 2},   // wrapped at the clip's edge
    };
    for (const Case &c : cr_cases) {
        fresh();
        pstate.REQUEST = c.request;
        run(c.code);
        EXPECT_EQ(cursor_cr_calls, c.calls) << c.code;
    }
    fresh();
    run("print('Hi', 3, 4)");
    EXPECT_EQ(pstate.draw_state.cursor_x, 3);
    EXPECT_EQ(pstate.draw_state.cursor_y, 4);

    // Without a font, or a shell, nothing is drawn and nothing fails.
    fresh();
    cpod *font = pstate.font_pod;
    pstate.font_pod = nullptr;
    zorva_shell.cursor_cr = nullptr;
    run("print('Hi')");
    pstate.font_pod = font;
    EXPECT_EQ(area(0, 0, 3, 1), joined({"..."}));
}

TEST_F(DrawApi, SheetMapAndFlags) {
    struct Case {
        const char *code;
        int want;
    } cases[] = {
        {"return sget(8, 0)", 1},
        {"return sget(128, 0)", 0},
        {"return sget(-1, 0)", 0},
        {"sset(3, 0, 0x1c) return sget(3, 0)", 12},
        {"sset(3, 0, 9) return peek(1)", 0x93},
        {"sset(128, 0, 5) sset(-1, 0, 5) sset(0, 128, 5) return sget(0, 0)", 1},
        {"sset(10, 80, 7) return mget(5, 40)", 0x07},
        {"sset(10, 80, 7) sset(11, 80, 3) return mget(5, 40)", 0x37},
        {"return mget(1, 0)", 18},
        {"return mget(128, 0) + mget(-1, 0) + mget(0, 64)", 0},
        {"mset(5, 3, 0x1ab) return mget(5, 3)", 0xAB},
        {"mset(5, 3, 0x1ab) return peek(0x2000 + 3 * 128 + 5)", 0xAB},
        {"mset(5, 40, 0x21) return sget(10, 80) * 16 + sget(11, 80)", 0x12},
        {"mset(5, 40, 0x21) return mget(5, 40)", 0x21},
        {"mset(128, 0, 1) mset(-1, 0, 1) mset(0, 64, 1) return mget(0, 0)", 17},
        {"return fget(19)", 3},
        {"return fget(19, 1)", 1},
        {"return fget(19, 2)", 0},
        {"return fget(19, 9)", 0},
        {"return fget(256)", 0},
        {"return fget(-1)", 0},
        {"return fget(256, 0)", 0},   // false: no such sprite has a flag
        {"fset(3, 0x1a5) return fget(3)", 0xA5},
        {"fset(3, 0x1a5) return peek(0x3003)", 0xA5},
        {"fset(3, 1, true) fset(3, 6, 1) return fget(3)", 0x42},
        {"fset(19, 0, false) return fget(19)", 2},
        {"fset(19, 8, true) fset(19, -1, true) return fget(19)", 3},
        {"fset(256, 1) fset(-1, 0, true) return fget(255)", 0},
    };
    for (const Case &c : cases) {
        fresh();
        EXPECT_EQ(run(c.code), c.want) << c.code;
    }
    fresh();
    lua_settop(L, 0);
    luaL_loadstring(L, "return fget(256, 0), fget(19, 0), fget(19)");
    ASSERT_EQ(lua_pcall(L, 0, 3, 0), LUA_OK);
    EXPECT_EQ(lua_type(L, 1), LUA_TBOOLEAN);
    EXPECT_EQ(lua_type(L, 2), LUA_TBOOLEAN);
    EXPECT_EQ(lua_type(L, 3), LUA_TNUMBER);
    lua_settop(L, 0);
}

TEST_F(DrawApi, PgetReadsTheScreenThroughCameraAndClip) {
    struct Case {
        const char *code;
        int want;
    } cases[] = {
        {"pset(3, 4, 9) return pget(3, 4)", 9},   {"pset(3, 4, 9) camera(1, 1) return pget(4, 5)", 9},
        {"pset(3, 4, 9) return pget()", 0},       {"pset(3, 4, 9) return pget(3)", 0},
        {"return pget(200, 0)", 0},               {"pset(3, 4, 9) clip(0, 0, 3, 3) return pget(3, 4)", 0},
    };
    for (const Case &c : cases) {
        fresh();
        EXPECT_EQ(run(c.code), c.want) << c.code;
    }
}

// ---------------------------------------------------------------------------
// Registers and console memory

TEST_F(DrawApi, FunctionsSetTheDrawStateBytes) {
    struct Case {
        const char *code;
        std::vector<std::pair<int, int>> bytes;   // address, value
    } cases[] = {
        {"pal(3, 9)", {{0x5F03, 9}}},
        {"palt(3, true) pal(3, 9)", {{0x5F03, 25}}},
        {"pal(3, 9, 1)", {{0x5F13, 9}, {0x5F03, 3}}},
        {"pal(3, 9, 0.5)", {{0x5F13, 3}, {0x5F03, 9}}},   // integer part 0: the draw palette
        {"pal(3, 0x1a)", {{0x5F03, 10}}},
        {"pal(19, 9)", {{0x5F03, 9}}},
        {"pal(3, 9) pal(4, 5, 1) palt(0, false) pal()", {{0x5F03, 3}, {0x5F14, 4}, {0x5F00, 16}}},
        {"pal(3, 9) pal(4)", {{0x5F03, 3}}},
        {"palt(0, false)", {{0x5F00, 0}}},
        {"palt(5, true)", {{0x5F05, 21}}},
        {"palt(21, 1)", {{0x5F05, 21}}},
        {"palt(5, true) palt(0, false) palt()", {{0x5F05, 5}, {0x5F00, 16}}},
        {"fillp(0x1234)", {{0x5F31, 0x34}, {0x5F32, 0x12}, {0x5F33, 0}}},
        {"fillp(0x1234 + 0.5)", {{0x5F31, 0x34}, {0x5F32, 0x12}, {0x5F33, 1}}},
        {"fillp(0x1234 + 0.25)", {{0x5F33, 0}}},
        {"fillp(-1)", {{0x5F31, 0xFF}, {0x5F32, 0xFF}, {0x5F33, 0}}},
        {"fillp(0x1234) fillp()", {{0x5F31, 0}, {0x5F32, 0}, {0x5F33, 0}}},
        {"color(0x1ff)", {{0x5F25, 0xFF}}},
        {"color()", {{0x5F25, 0}}},
        {"rectfill(0, 0, 0, 0, 0x4c)", {{0x5F25, 0x4C}}},
        {"cursor(300, -2)", {{0x5F26, 44}, {0x5F27, 254}}},
        {"camera(300, -5)", {{0x5F28, 0x2C}, {0x5F29, 1}, {0x5F2A, 0xFB}, {0x5F2B, 0xFF}}},
        {"camera(5, 5) camera()", {{0x5F28, 0}, {0x5F29, 0}, {0x5F2A, 0}, {0x5F2B, 0}}},
        {"clip(10, 10, 200, 200)", {{0x5F20, 10}, {0x5F21, 10}, {0x5F22, 128}, {0x5F23, 128}}},
        {"clip(-5, 20, 10, 300)", {{0x5F20, 0}, {0x5F21, 20}, {0x5F22, 5}, {0x5F23, 128}}},
        {"clip(10, 10, 5, 5) clip()", {{0x5F20, 0}, {0x5F21, 0}, {0x5F22, 128}, {0x5F23, 128}}},
    };
    for (const Case &c : cases) {
        fresh();
        run(c.code);
        for (auto [addr, value] : c.bytes) EXPECT_EQ(zorva_peek(&pstate, pstate.live_cart, addr), value) << c.code << " at " << std::hex << addr;
    }
    fresh();
    run("camera(300, -5)");
    EXPECT_EQ(pstate.draw_state.camera_x, 300);
    EXPECT_EQ(pstate.draw_state.camera_y, -5);
    run("clip(10, 10, 200, 200)");
    EXPECT_EQ(pstate.screen->clip_x0, 10);
    EXPECT_EQ(pstate.screen->clip_y0, 10);
    EXPECT_EQ(pstate.screen->clip_x1, 128);
    EXPECT_EQ(pstate.screen->clip_y1, 128);
}

TEST_F(DrawApi, PokesIntoTheDrawStateChangeDrawing) {
    const screen_case cases[] = {
        {"poke(0x5f07, 3) pset(0, 0, 7)", 0, 0, 1, 1, {"3"}},
        {"poke(0x5f25, 4) pset(0, 0)", 0, 0, 1, 1, {"4"}},
        {"poke(0x5f28, 0xfb) poke(0x5f29, 0xff) pset(0, 0, 8)", 0, 0, 6, 1, {".....8"}},
        {"poke(0x5f2a, 0xff) poke(0x5f2b, 0xff) pset(0, 0, 8)", 0, 0, 1, 2, {".", "8"}},
        {"poke(0x5f20, 2) poke(0x5f22, 5) rectfill(0, 0, 7, 0, 9)", 0, 0, 8, 1, {"..999..."}},
        {"poke(0x5f23, 0) rectfill(0, 0, 7, 0, 9)", 0, 0, 8, 1, {"........"}},
        {"poke(0x5f32, 0x80) rectfill(0, 0, 4, 0, 0x27)", 0, 0, 5, 1, {"27772"}},
        {"poke(0x5f32, 0x80) poke(0x5f33, 1) rectfill(0, 0, 4, 0, 0x27)", 0, 0, 5, 1, {".777."}},
        {"cls(12) poke(0x5f02, 0x12) spr(1, 0, 0, 1, 0.125)", 0, 0, 4, 1, {"1c34"}},
        {"cls(12) poke(0x5f00, 0) spr(1, 0, 0, 1, 0.125)", 0, 0, 6, 1, {"1234.."}},
        {"cls(12) poke(0x5f05, 0xf7) pset(0, 0, 5)", 0, 0, 1, 1, {"7"}},
        {"poke(0x6000, 0x21) return", 0, 0, 2, 1, {"12"}},
    };
    for (const screen_case &c : cases) {
        fresh();
        run(c.code);
        EXPECT_EQ(area(c.x, c.y, c.w, c.h), joined(c.want)) << c.code;
    }
    fresh();
    run("pset(0, 0, 7) pset(1, 0, 9)");
    EXPECT_EQ(run("return peek(0x6000)"), 0x97);
}

// ---------------------------------------------------------------------------
// Costs

TEST_F(DrawApi, Costs) {
    struct Case {
        const char *code;
        int charge;
    } cases[] = {
        {"cls()", 1024},
        {"clip(1, 2, 3, 4)", 16},
        {"clip()", 16},
        {"pset(1, 1) pget(1, 1) color(1) cursor(1, 1) camera(1, 1) pal(1, 2) pal() palt(1, true) palt() fillp(1)", 0},
        {"sget(1, 1) sset(1, 1, 1) mget(1, 1) mset(1, 1, 1) fget(1) fset(1, 1) fset(1, 1, true)", 0},
        {"line(0, 0, 10, 0)", 6},        // 11 points
        {"line(0, 0, 0, 0)", 2},         // 2 steps on one point
        {"line(-20, 5, -10, 5)", 1},     // nothing drawn
        {"line(-10, 5, 200, 5)", 65},    // the 128 points inside
        {"camera(10, 0) line(0, 5, 10, 5)", 1},
        {"rect(0, 0, 10, 10)", 14},
        {"rect(10, 10, 0, 0)", 14},
        {"rect(-5, 0, 10, 10)", 10},     // the left edge is outside
        {"rect(-5, -5, 200, 200)", 1},   // around the clip: no edge inside
        {"rect(200, 0, 300, 10)", 0},    // wholly outside
        {"rect(0, 0, 0, 0)", 1},
        {"clip(5, 5, 10, 10) rect(5, 5, 20, 20)", 16 + 7},
        {"rectfill(0, 0, 127, 127)", 1024},
        {"rectfill(127, 127, -100, -100)", 1024},
        {"rectfill(0, 0, 3, 3)", 1},
        {"rectfill(0, 0, 2, 2)", 1},
        {"rectfill(200, 200, 300, 300)", 1},
        {"camera(-120, 0) rectfill(0, 0, 15, 15)", 8},
        {"circ(64, 64)", 20},
        {"circ(64, 64, 10)", 44},
        {"circ(0, 0, 4)", 12},
        {"circ(-10, 64, 4)", 0},
        {"circ(64, 64, -1)", 0},
        {"circ(64)", 0},
        {"circ(64, 64, 1000)", 258},
        {"circfill(64, 64)", 13},
        {"circfill(64, 64, 0)", 1},
        {"circfill(-100, -100, 4)", 8},
        {"circfill(64, 64, 32767)", 65534 + 1024},
        {"circfill(64)", 0},
        {"spr(1, 0, 0)", 64},
        {"spr(1, -4, 0)", 32},
        {"spr(1, 0, 0, 2, 2)", 256},
        {"spr(1, 200, 0)", 1},
        {"spr(256, 0, 0)", 0},
        {"spr(1, 0, 0, 2)", 0},
        {"sspr(0, 0, 8, 8, 0, 0)", 64},
        {"sspr(0, 0, 8, 8, 0, 0, 16, 16)", 256},
        {"sspr(0, 0, 8, 8, 10, 10, -16, 16)", 160},
        {"sspr(0, 0, 0, 8, 0, 0)", 0},
        {"sspr(0, 0, 8, 8, 0, 0, 0, 8)", 0},
        {"map(0, 0, 0, 0, 4, 1)", 192},
        {"map(0, 0, 0, 0, 4, 1, 1)", 128},
        {"map(0, 0, -4, 0, 4, 1, 1)", 96},
        {"map(0, 0, 0, 0, 4, 1, 4)", 1},
        {"map(0, 0, 0, 0, 0, 1)", 0},
        {"print('hello')", 42},
        {"print('')", 2},
        {"print(12.5)", 34},
        {"print(true)", 34},
        {"print(nil)", 42},
        {"print({})", 58},
        {"print()", 0},
    };
    for (const Case &c : cases) {
        fresh();
        EXPECT_EQ(cost(c.code), c.charge) << c.code;
    }
}

// ---------------------------------------------------------------------------
// Arguments far outside the screen

TEST_F(DrawApi, FarArgumentsDrawSafely) {
    const char *codes[] = {
        "circ(64, 64, 32767) circ(-32768, -32768, 32767) circ(32767, 64, 32767)",
        "circfill(0, 0, 32767) circfill(-32768, 32767, 32767)",
        "camera(-32768, 32767) line(-32768, -32768, 32767, 32767) line(32767, -32768, -32768, 32767)",
        "rectfill(-32768, -32768, 32767, 32767) rect(-32768, -32768, 32767, 32767)",
        "spr(255, 32767, -32768, 32767, 32767) spr(0, -32768, -32768, -32768, 1) spr(255, 120, 120, 32767, 32767)",
        "sspr(-32768, -32768, 128, 128, -32768, 32767, -32768, -32768, true, true)",
        "sspr(120, 120, 128, 128, 0, 0, 32767, 32767) sspr(0, 0, 128, 128, -32768, -32768, 32767, 32767)",
        "map(-32768, -32768, -32768, -32768, 32767, 32767, -1) map(0, 0, 32767, 32767, 32767, 32767)",
        "map(120, 60, -20, -20, 32767, 32767) map(0, 0, -32768, -32768, 32767, 32767)",
        "print('x', 32767, 32767) print('x', -32768, -32768) cursor(32767, 32767) print('x')",
        "pset(32767, -32768) pget(-32768, 32767) fillp(-32768) fillp(32767.99)",
        "sset(32767, 32767, 1) mset(-32768, 5, 1) mget(32767, 0) fget(-32768, -32768) fset(255, -5, true)",
        "clip(-32768, -32768, 32767, 32767) clip(32767, 32767, 32767, 32767) rectfill(0, 0, 127, 127)",
        "camera(32767, -32768) circfill(0, 0, 10) map(0, 0, 0, 0) spr(1, 0, 0)",
    };
    for (const char *code : codes) {
        fresh();
        run(code);
        EXPECT_EQ(console_error_count, 0) << code;
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) ASSERT_LT(pstate.screen->rows[y][x], 16) << code;
    }
    // A circle of a radius near the greatest still shows where it crosses
    // the screen.
    fresh();
    run("circ(64, 32767, 32703, 9)");
    EXPECT_EQ(area(63, 63, 3, 2), joined({"...", "999"}));
}

}  // namespace
