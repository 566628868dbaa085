// keyconfig() and splore() called by a running cart: the overlay opens
// over the cart, which waits and goes on when the user leaves; a cart
// launched from the browser takes its place. And the console after a cart
// stopped: its keys lead on.
#include "shell_session.h"

#include "cart_overlay.h"
#include "zorva_buttons.h"
#include "zorva_memory.h"
#include "zorva_splore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int K_R = 21, K_Z = 29, K_X = 27;
constexpr int COUNTER = 0x4300;   // where the carts below count their updates

int counter() { return zorva_peek(&pstate, pstate.live_cart, COUNTER); }

// Counts its updates, draws colour 3 and calls what on its third update.
std::string cart_calling(const std::string &what) {
    return "n=0\n"
           "function _update() n+=1 poke(0x4300,n) if n==3 then " + what + " end end\n"
           "function _draw() cls(3) end";
}

struct Overlay : ::testing::Test {
    shell_session *s = nullptr;
    void SetUp() override {
        s = new shell_session;
        fs::remove_all(appdata_path("carts"));
        std::remove(appdata_path("favourites.txt").c_str());
    }
    void TearDown() override { delete s; }
    void key(int scancode, std::vector<int> held = {}) { s->press(scancode, held); }
};

TEST_F(Overlay, KeyconfigOpensOverTheCartWhichWaitsAndGoesOn) {
    s->run_code(cart_calling("keyconfig()"));
    s->passes(6);
    ASSERT_EQ(pstate.OVERLAY, OVERLAY_KEYCONFIG);
    EXPECT_EQ(overlay_over_cart(), 1);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_EQ(counter(), 3);
    s->passes(5);
    EXPECT_EQ(counter(), 3);   // the cart waits
    // The overlay is on the page; the cart's own screen is untouched.
    EXPECT_EQ(tamu_back_page->rows[2][0], 7);   // the title bar
    EXPECT_EQ(pstate.screen->rows[64][64], 3);

    key(K_ESCAPE);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_NONE);
    EXPECT_EQ(overlay_over_cart(), 0);
    EXPECT_EQ(app.pause_menu_open, 0);   // the Esc that left is not the cart's
    s->passes(3);
    EXPECT_GT(counter(), 3);
    EXPECT_EQ(tamu_back_page->rows[2][0], 3);
}

// The keys chosen take effect; the cart's print cursor is as it was (the
// overlay puts the console's at the bottom when it closes).
TEST_F(Overlay, KeyconfigToTheEndKeepsTheCartsDrawState) {
    s->run_code("cursor(0,30)\n" + cart_calling("keyconfig()"));
    s->passes(6);
    ASSERT_EQ(pstate.OVERLAY, OVERLAY_KEYCONFIG);
    int cursor_y = pstate.draw_state.cursor_y;
    for (int i = 0; i < 13; i++) {
        key(4 + i);   // a, b, c, ...
        s->passes(2);
    }
    ASSERT_EQ(pstate.OVERLAY, OVERLAY_KEYCONFIG);   // "any key to quit"
    key(K_Z);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_NONE);
    EXPECT_EQ(app.button_keys[0], 4);
    EXPECT_EQ(app.button_keys[12], 16);
    EXPECT_EQ(pstate.draw_state.cursor_y, cursor_y);
    s->passes(3);
    EXPECT_GT(counter(), 3);
}

TEST_F(Overlay, SploreOpensOverTheCartAndEscGoesBack) {
    s->run_code(cart_calling("splore()"));
    s->passes(6);
    ASSERT_EQ(pstate.OVERLAY, OVERLAY_BROWSER);
    EXPECT_EQ(overlay_over_cart(), 1);
    s->passes(5);
    EXPECT_EQ(counter(), 3);
    // Even for a player started with -splore, Esc leaves for the cart and
    // opens no exit box.
    app.splore = 1;
    key(K_ESCAPE);
    EXPECT_EQ(splore_exit_menu, 0);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_NONE);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_EQ(app.pause_menu_open, 0);
    s->passes(3);
    EXPECT_GT(counter(), 3);
}

TEST_F(Overlay, ACartLaunchedFromTheBrowserTakesTheWaitingCartsPlace) {
    fs::create_directories(pstate.root_path);
    write_file(std::string(pstate.root_path) + "next.zv",
               "zorva cartridge\nversion 11\n__lua__\nfunction _update() poke(0x4300,200) end\n");
    s->run_code(cart_calling("splore()"));
    s->passes(6);
    ASSERT_EQ(overlay_over_cart(), 1);
    list_index = SPLORE_LIST_LOCAL;
    splore_enter();
    key(K_X);
    s->passes(30);
    EXPECT_EQ(overlay_over_cart(), 0);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_EQ(std::string(pstate.working_file_name), std::string(pstate.root_path) + "next.zv");
    EXPECT_EQ(counter(), 200);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_BROWSER);   // so that the pause menu leads back to it
}

// A cart launched from the browser that opens the key configuration goes
// back to the browser's overlay word when it is left.
TEST_F(Overlay, LeavingGoesBackToTheBrowserTheCartCameFrom) {
    pstate.OVERLAY = OVERLAY_BROWSER;
    s->run_code(cart_calling("keyconfig()"));
    s->passes(6);
    ASSERT_EQ(pstate.OVERLAY, OVERLAY_KEYCONFIG);
    key(K_ESCAPE);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_BROWSER);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    s->passes(3);
    EXPECT_GT(counter(), 3);
}

// After a runtime error Ctrl+R loads the cart again from its file (as it
// is there now) and runs it; Esc opens the browser; typing does nothing.
TEST_F(Overlay, TheConsoleAfterAnErrorLeadsOn) {
    std::string file = test_home() + "/broken.zv";
    write_file(file, "zorva cartridge\nversion 11\n__lua__\nfunction _update() local t=nil t.x=1 end\n");
    delete s;
    s = new shell_session({file});
    for (int i = 0; i < 200 && !(pstate.MODE == MODE_CONSOLE && pstate.running == 0 && printed.size() > 2); i++)
        s->pass();
    ASSERT_EQ(pstate.MODE, MODE_CONSOLE);
    ASSERT_EQ(std::string(pstate.working_file_name), file);

    write_file(file, "zorva cartridge\nversion 11\n__lua__\nfunction _update() poke(0x4300,42) end\n");
    s->in.text("r");
    s->passes(8);
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);   // a plain r is no command
    key(K_R, {K_LCTRL});
    s->passes(8);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_EQ(counter(), 42);

    pstate.REQUEST = REQUEST_PAUSE;
    s->pass();
    ASSERT_EQ(pstate.MODE, MODE_CONSOLE);
    key(K_ESCAPE);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_BROWSER);
    key(K_ESCAPE);   // and back out
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_NONE);
}

}  // namespace
