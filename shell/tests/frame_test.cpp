// Drawing each frame: the console screen through the screen palette and
// the screen mode into the library's back page, held and skipped frames,
// the prompt and the editor frame, the capture copy, and the console's
// line feed.
#include "shell_session.h"

#include "zorva_memory.h"
#include "zorva_print.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

const char *const idle_cart = "function _update() end";

void poke(int addr, int value) { zorva_poke(&pstate, pstate.live_cart, addr, value); }
int page(int x, int y) { return tamu_back_page->rows[y][x]; }
int screen_pattern(int x, int y) { return (x * 7 + y * 13 + (x >> 4)) & 15; }

void fill_screen(const std::function<int(int, int)> &colour) {
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) pstate.screen->rows[y][x] = uint8_t(colour(x, y));
}

class FrameDrawing : public ::testing::Test {
  protected:
    shell_session s;
    void SetUp() override {
        s.run_code(idle_cart);
        ASSERT_EQ(pstate.MODE, MODE_RUNNING);
        fill_screen(screen_pattern);
    }
};

TEST_F(FrameDrawing, PixelsGoThroughTheScreenPalette) {
    for (int i = 0; i < 16; i++) poke(0x5F10 + i, (i * 5 + 3) & 15);
    poke(0x5F10 + 2, 0x8B);   // the high bit counts only in hi-colour mode
    tamu_main_draw();
    for (int y = 0; y < 128; y += 3)
        for (int x = 0; x < 128; x += 5) {
            int p = screen_pattern(x, y);
            int expected = p == 2 ? 0x0B : (p * 5 + 3) & 15;
            ASSERT_EQ(page(x, y), expected) << x << "," << y;
        }
    EXPECT_EQ(pstate.draw_state.hi_colour, 0);

    const int key[4] = {0xAD, 0xDF, 0xAD, 0xED};
    for (int i = 0; i < 4; i++) poke(0x5F60 + i, key[i]);
    poke(0x5F10 + 3, 0xF3);   // 0x8F masks it to 0x83
    tamu_main_draw();
    EXPECT_EQ(pstate.draw_state.hi_colour, 1);
    for (int y = 0; y < 128; y += 3)
        for (int x = 0; x < 128; x += 5) {
            int p = screen_pattern(x, y);
            int expected = p == 2 ? 0x8B : p == 3 ? 0x83 : (p * 5 + 3) & 15;
            ASSERT_EQ(page(x, y), expected) << x << "," << y;
        }
    // The capture copy is the frame as drawn.
    EXPECT_EQ(std::memcmp(app.capture->pixels, tamu_back_page->pixels, 128 * 128), 0);
}

TEST_F(FrameDrawing, ScreenModesStretchAndMirror) {
    struct Case {
        int mode;
        std::function<int(int, int)> source;   // the screen pixel each page pixel shows
    } cases[] = {
        {0, [](int x, int y) { return screen_pattern(x, y); }},
        {1, [](int x, int y) { return screen_pattern(x / 2, y); }},
        {2, [](int x, int y) { return screen_pattern(x, y / 2); }},
        {3, [](int x, int y) { return screen_pattern(x / 2, y / 2); }},   // the top-left quarter
        {4, [](int x, int y) { return screen_pattern(x, y); }},
        {5, [](int x, int y) { return screen_pattern(x < 64 ? x : 127 - x, y); }},
        {6, [](int x, int y) { return screen_pattern(x, y < 64 ? y : 127 - y); }},
        {7, [](int x, int y) { return screen_pattern(x < 64 ? x : 127 - x, y < 64 ? y : 127 - y); }},
        {8, [](int x, int y) { return screen_pattern(x, y); }},
    };
    for (const Case &c : cases) {
        poke(0x5F2C, c.mode);
        tamu_main_draw();
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) ASSERT_EQ(page(x, y), c.source(x, y)) << c.mode << ": " << x << "," << y;
    }
    // Only a running cart's screen has a mode.
    poke(0x5F2C, 3);
    pstate.REQUEST = REQUEST_PAUSE;
    s.pass();
    fill_screen(screen_pattern);
    tamu_main_draw();
    EXPECT_EQ(page(127, 120), screen_pattern(127, 120));
}

TEST_F(FrameDrawing, HeldAndSkippedFramesKeepThePreviousPicture) {
    tamu_main_draw();
    fill_screen([](int, int) { return 9; });
    pstate.hold_frame = 1;
    tamu_main_draw();
    EXPECT_EQ(page(10, 10), screen_pattern(10, 10));
    EXPECT_EQ(pstate.frame_held, 1);
    pstate.hold_frame = 0;
    pstate.hold_counter = 3;
    tamu_main_draw();
    EXPECT_EQ(page(10, 10), screen_pattern(10, 10));
    EXPECT_EQ(page(115, 115), 7);   // the waiting sprite's frame
    pstate.hold_counter = 0;
    tamu_main_draw();
    EXPECT_EQ(page(10, 10), 9);

    // Nothing is drawn while a request waits.
    fill_screen([](int, int) { return 4; });
    pstate.REQUEST = REQUEST_RUN;
    tamu_main_draw();
    EXPECT_EQ(page(10, 10), 9);
    pstate.REQUEST = 0;
}

// The colour of each 4-pixel cell of a 6-pixel text row of the page: the
// text's own colour where it has ink, '0' where it has none.
std::string row_cells(int y) {
    std::string cells;
    for (int cell = 0; cell < 32; cell++) {
        char c = '0';
        for (int yy = y; yy < y + 5; yy++)
            for (int x = 4 * cell; x < 4 * cell + 4; x++)
                if (page(x, yy)) c = char(page(x, yy) < 10 ? '0' + page(x, yy) : 'a' + page(x, yy) - 10);
        cells += c;
    }
    return cells;
}

// The console takes no typed commands: where the prompt would be, a line
// names the keys that lead on (the keys in 7, what they do in 6), Ctrl+R
// only when there is a cart to run again.
TEST(ConsoleFrame, TheLineOfKeysAndTheEditorFrame) {
    shell_session s;
    s.run_code("cls() print(\"hello\")");
    s.pass();
    ASSERT_EQ(pstate.MODE, MODE_CONSOLE);
    int y = pstate.draw_state.cursor_y;
    tamu_main_draw();
    //                           ctrl+r run  esc carts   ctrl+q quit
    EXPECT_EQ(row_cells(y), "777777" "06660" "777" "066666" "0" "777777" "06666");

    pstate.working_file_name[0] = 0;
    tamu_main_draw();
    EXPECT_EQ(row_cells(y), "777" "066666" "00" "777777" "06666" "0000000000");

    pstate.view = 1;
    tamu_main_draw();
    EXPECT_EQ(page(64, 64), 5);
    EXPECT_EQ(page(64, 3), 8);
    EXPECT_EQ(page(64, 121), 8);
    EXPECT_EQ(row_cells(122).substr(0, 3), "777");
    app.gui_theme = 1;
    tamu_main_draw();
    EXPECT_EQ(page(64, 64), 1);
}

TEST(ConsoleFrame, LineFeedsScrollTheScreenAtTheBottom) {
    shell_session s;
    s.to_console();
    for (int y = 0; y < 128; y++) std::memset(pstate.screen->rows[y], y & 15, 128);
    pstate.draw_state.cursor_y = 114;
    shell_cursor_cr();
    EXPECT_EQ(pstate.draw_state.cursor_y, 120);
    EXPECT_EQ(pstate.screen->rows[0][0], 0);
    shell_cursor_cr();   // 126 would pass the limit: scroll instead
    EXPECT_EQ(pstate.draw_state.cursor_y, 120);
    EXPECT_EQ(pstate.screen->rows[0][0], 6);
    EXPECT_EQ(pstate.screen->rows[121][0], 127 & 15);
    for (int y = 122; y < 128; y++) EXPECT_EQ(pstate.screen->rows[y][5], 0) << y;
    scroll_immediate_mode_screen();
    EXPECT_EQ(pstate.draw_state.cursor_y, 114);
    EXPECT_EQ(pstate.screen->rows[0][0], 12);

    // Console output goes through the shell's line feed.
    pstate.draw_state.cursor_y = 120;
    zorva_print_col("last", 7);
    EXPECT_EQ(pstate.draw_state.cursor_y, 120);
    EXPECT_EQ(pstate.screen->rows[127][1], 0);
}

TEST(ConsoleFrame, TheHiColourPaletteMixesPairsOfColours) {
    shell_session s;
    cbitmap *b = tamu_create_bitmap(4, 1, 8);
    b->rows[0][0] = 3;
    b->rows[0][1] = 12;
    b->rows[0][2] = 7;
    b->rows[0][3] = 0;
    cpalette base = *tamu_palette;
    apply_screen_mode(b);
    EXPECT_EQ(b->rows[0][0], 16 * 12 + 3);
    EXPECT_EQ(b->rows[0][1], 16 * 12 + 3);
    EXPECT_EQ(b->rows[0][2], 7);
    EXPECT_EQ(b->rows[0][3], 7);
    for (int c = 0; c < 3; c++) {
        int i = 16 * 12 + 3;
        EXPECT_EQ(tamu_palette->rgb[3 * i + c], (base.rgb[3 * 12 + c] + base.rgb[3 * 3 + c]) / 2);
    }
    tamu_destroy_bitmap(b);
}

}  // namespace
