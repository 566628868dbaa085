// The pause menu: its entries, moving through them with the buttons, what
// each entry does (the cart's own items call back into the cart, the way
// back runs the previous cart of the run chain) and its drawing.
#include "shell_session.h"

#include "lua.h"
#include "zorva_cpu.h"
#include "zorva_memory.h"
#include "zorva_print.h"
#include "zorva_run_chain.h"
#include "zorva_splore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

enum : int { K_Z = 29, K_X = 27 };

const char *const idle_cart = "function _update() end";

// A global of the running cart as a whole number (-1 when it is not a
// number), or as text.
int cart_int(const char *name) {
    lua_getglobal(L0, name);
    int n = lua_isnumber(L0, -1) ? int(lua_tonumber(L0, -1) >> 16) : -1;
    lua_pop(L0, 1);
    return n;
}
std::string cart_text(const char *name) {
    lua_getglobal(L0, name);
    const char *t = lua_tostring(L0, -1);
    std::string s = t ? t : "";
    lua_pop(L0, 1);
    return s;
}

struct entry {
    std::string label;
    int code;
    bool operator==(const entry &) const = default;
};
std::vector<entry> menu_entries() {
    std::vector<entry> out;
    for (int i = 0; i < app.pause_menu_count; i++) out.push_back({paused_menu_item[i].label, paused_menu_item[i].code});
    return out;
}
void PrintTo(const entry &e, std::ostream *os) { *os << "{\"" << e.label << "\", " << e.code << "}"; }

// A key pressed and let go again, then one more pass, so that the
// buttons see the release.
void tap(shell_session &s, int key) {
    s.press(key);
    s.pass();
}

// Opens the menu with Esc and moves to entry k from the top.
void open_at(shell_session &s, int k) {
    s.press(K_ESCAPE);
    ASSERT_EQ(app.pause_menu_open, 1);
    for (int i = 0; i < k; i++) tap(s, K_DOWN);
    ASSERT_EQ(app.pause_menu_selected, k);
}

class PauseMenu : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_run_chain();
        pstate.OVERLAY = OVERLAY_NONE;
    }
    void TearDown() override {
        reset_run_chain();
        pstate.OVERLAY = OVERLAY_NONE;
    }
};

TEST_F(PauseMenu, EntriesFollowTheCartsItemsTheRunChainAndTheBrowser) {
    struct Case {
        std::string code;
        const char *chain_label;   // null: no run chain
        bool browser;
        std::vector<entry> entries;
    } cases[] = {
        {idle_cart, nullptr, false, {{"continue", 0}, {"reset cart", 1}, {"quit", 6}}},
        {"menuitem(3, 'third item, long label') menuitem(1, 'first', function() end) " + std::string(idle_cart),
         nullptr,
         false,
         {{"continue", 0}, {"first", 257}, {"third item, long", 259}, {"reset cart", 1}, {"quit", 6}}},
        {idle_cart,
         "back to the start of it all",
         false,
         {{"continue", 0}, {"reset cart", 1}, {"back to the star", 5}, {"quit", 6}}},
        {"for i = 1, 5 do menuitem(i, 'item ' .. i) end menuitem(2) " + std::string(idle_cart),
         "back",
         true,
         {{"continue", 0},
          {"item 1", 257},
          {"item 3", 259},
          {"item 4", 260},
          {"item 5", 261},
          {"reset cart", 1},
          {"back", 5},
          {"quit", 6},
          {"exit to splore", 3}}},
    };
    for (const Case &c : cases) {
        shell_session s;
        s.run_code(c.code);
        s.pass();
        ASSERT_EQ(pstate.MODE, MODE_RUNNING) << c.code;
        reset_run_chain();
        if (c.chain_label) add_run_chain_item("elsewhere.zv", c.chain_label, 0);
        pstate.OVERLAY = c.browser ? OVERLAY_BROWSER : OVERLAY_NONE;
        s.press(K_ESCAPE);
        EXPECT_EQ(app.pause_menu_open, 1);
        EXPECT_EQ(app.pause_menu_selected, 0);
        EXPECT_EQ(menu_entries(), c.entries) << c.code;
        pstate.OVERLAY = OVERLAY_NONE;
    }
}

TEST_F(PauseMenu, AddingEntriesCutsLabelsAndStopsWhenFull) {
    shell_session s;
    app.pause_menu_count = 0;
    add_paused_menu_item("a label of twenty-six chars", 7);
    add_paused_menu_item(nullptr, 8);
    EXPECT_STREQ(paused_menu_item[0].label, "a label of twent");
    EXPECT_EQ(paused_menu_item[0].code, 7);
    EXPECT_STREQ(paused_menu_item[1].label, "");
    for (int i = 0; i < 20; i++) add_paused_menu_item("more", 100 + i);
    EXPECT_EQ(app.pause_menu_count, PAUSED_MENU_ENTRIES);
    EXPECT_EQ(paused_menu_item[PAUSED_MENU_ENTRIES - 1].code, 113);
}

TEST_F(PauseMenu, UpAndDownWrapRoundAndTheCartStandsStill) {
    shell_session s;
    s.run_code("frames = 0 function _update() frames += 1 end");
    s.press(K_ESCAPE);
    int frames = cart_int("frames");
    tap(s, K_UP);   // up on the first entry selects the last
    EXPECT_EQ(app.pause_menu_selected, 2);
    tap(s, K_DOWN);
    EXPECT_EQ(app.pause_menu_selected, 0);
    tap(s, K_DOWN);
    tap(s, K_DOWN);
    EXPECT_EQ(app.pause_menu_selected, 2);
    EXPECT_EQ(app.pause_menu_open, 1);
    EXPECT_EQ(cart_int("frames"), frames);
    s.press(K_ESCAPE);   // Esc closes it again without choosing
    EXPECT_EQ(app.pause_menu_open, 0);
    EXPECT_EQ(tamu_quit, 0);
    s.passes(3);
    EXPECT_GT(cart_int("frames"), frames);
}

TEST_F(PauseMenu, ContinueClosesTheMenuAndThePressDoesNotReachTheCart) {
    shell_session s;
    s.run_code("presses = 0 function _update() if btnp(4) then presses += 1 end end");
    for (int key : {K_Z, K_X}) {
        open_at(s, 0);
        s.in.press(key);   // held down across the choice
        s.passes(2);
        EXPECT_EQ(app.pause_menu_open, 0) << key;
        s.passes(5);
        EXPECT_EQ(cart_int("presses"), 0) << key;
        s.in.release(key);
        s.passes(2);
    }
    // Pressed again once let go, it reaches the cart.
    tap(s, K_Z);
    EXPECT_EQ(cart_int("presses"), 1);
}

TEST_F(PauseMenu, CartItemsCallBackIntoTheCart) {
    shell_session s;
    s.run_code("picked = 0\n"
               "menuitem(1, 'one', function() picked += 1 end)\n"
               "menuitem(2, 'no callback')\n"
               "menuitem(4, 'four', function() picked += 10 end)\n"
               "function _update() end");
    s.pass();
    struct Case {
        int entry, key, picked;
    } cases[] = {{1, K_Z, 1}, {3, K_X, 11}, {2, K_Z, 11}, {1, K_X, 12}};
    for (const Case &c : cases) {
        open_at(s, c.entry);
        tap(s, c.key);
        EXPECT_EQ(app.pause_menu_open, 0) << c.entry;
        s.passes(2);
        EXPECT_EQ(cart_int("picked"), c.picked) << c.entry;
        EXPECT_EQ(pstate.MODE, MODE_RUNNING);
        for (int i = 1; i <= ZORVA_MENU_ITEMS; i++) EXPECT_EQ(pstate.menu_selected[i], 0) << i;   // reported once
    }
}

TEST_F(PauseMenu, ResetCartRestartsTheCartThroughTheGlitch) {
    shell_session s;
    s.run_code("n = 0 function _update() n += 1 end");
    s.passes(10);
    ASSERT_GE(cart_int("n"), 10);
    open_at(s, 1);
    s.press(K_Z);
    EXPECT_EQ(app.pause_menu_open, 0);
    EXPECT_GE(pstate.suspend_counter, 1);
    s.passes(8);
    EXPECT_EQ(pstate.suspend_counter, 0);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_LT(cart_int("n"), 6);   // started again
}

TEST_F(PauseMenu, QuitSetsTheQuitFlag) {
    shell_session s;
    s.run_code(idle_cart);
    open_at(s, 2);
    s.press(K_X);
    EXPECT_EQ(tamu_quit, 1);
}

// Two carts on disk: a loads b with a breadcrumb, so that b's menu leads
// back to a.
TEST_F(PauseMenu, TheWayBackRunsThePreviousCartWithItsParameter) {
    shell_session s;
    std::string a = std::string(pstate.root_path) + "way_a.zv", b = std::string(pstate.root_path) + "way_b.zv";
    write_file(a, "zorva cartridge\nversion 11\n__lua__\n"
                  "who = 'a'\n"
                  "function _update() if stat(6) == '' and not asked then asked = true"
                  " load('way_b.zv', 'back to a', 'for b') end end\n");
    write_file(b, "zorva cartridge\nversion 11\n__lua__\nwho = 'b'\nfunction _update() end\n");
    s.to_console();
    ASSERT_EQ(load_working_cart(a.c_str()), 0);
    pstate.REQUEST = REQUEST_RUN;
    s.passes(40);
    ASSERT_EQ(cart_text("who"), "b");
    ASSERT_EQ(run_chain_items, 1);
    EXPECT_STREQ(pstate.parameter, "for b");

    s.press(K_ESCAPE);
    EXPECT_EQ(menu_entries(), (std::vector<entry>{{"continue", 0}, {"reset cart", 1}, {"back to a", 5}, {"quit", 6}}));
    tap(s, K_DOWN);
    tap(s, K_DOWN);
    s.press(K_Z);
    EXPECT_EQ(app.pause_menu_open, 0);
    EXPECT_EQ(run_chain_items, 0);
    EXPECT_EQ(pstate.REQUEST, REQUEST_RUN);
    EXPECT_EQ(pstate.hold_counter, 20);
    EXPECT_EQ(std::string(pstate.working_file_name), a);
    s.passes(25);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_EQ(cart_text("who"), "a");
    // The parameter saved with the chain (a did not go on to b again).
    EXPECT_STREQ(pstate.parameter, "for b");
    s.passes(40);
    EXPECT_EQ(cart_text("who"), "a");

    // A previous cart that no longer loads: the menu says so and stays,
    // the chain keeps it, the cart goes on as it was.
    add_run_chain_item((std::string(pstate.root_path) + "gone.zv").c_str(), "gone", 0);
    open_at(s, 2);
    ASSERT_EQ(paused_menu_item[2].code, PAUSED_PREVIOUS_CART);
    s.press(K_Z);
    EXPECT_EQ(app.pause_menu_open, 1);
    EXPECT_STREQ(app.message_text, "could not load");
    EXPECT_EQ(app.message_end - app.message_start, 1500);
    EXPECT_EQ(run_chain_items, 1);
    EXPECT_EQ(pstate.REQUEST, 0);
    EXPECT_EQ(std::string(pstate.working_file_name), a);
    s.press(K_ESCAPE);
    s.pass();
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_EQ(cart_text("who"), "a");
}

TEST_F(PauseMenu, ExitToSploreStopsTheCartWithoutWaitingForAButton) {
    shell_session s;
    s.run_code(idle_cart);
    pstate.OVERLAY = OVERLAY_BROWSER;   // started from the browser
    open_at(s, 0);
    tap(s, K_UP);
    ASSERT_EQ(paused_menu_item[app.pause_menu_selected].code, PAUSED_EXIT_TO_BROWSER);
    s.press(K_Z);
    EXPECT_EQ(app.pause_menu_open, 0);
    EXPECT_EQ(pstate.REQUEST, REQUEST_PAUSE);
    s.pass();
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_BROWSER);
    EXPECT_EQ(app.browser_waits_for_button, 2);
    // The next cart clears it.
    s.run_code(idle_cart);
    EXPECT_EQ(app.browser_waits_for_button, 0);
}

TEST_F(PauseMenu, TheFavouriteEntryStaysOpenAndLeavingTheBrowserGoesToTheConsole) {
    shell_session s;
    s.run_code(idle_cart);
    // The running browser cart, a forum cart not among the favourites.
    running_item = splore_item{};
    copy_splore_text(running_item.lid, "ab_cd");
    copy_splore_text(running_item.title, "forum game");
    ASSERT_FALSE(is_favourite("ab_cd", ""));
    s.press(K_ESCAPE);
    add_paused_menu_item("favourite", PAUSED_TOGGLE_FAVOURITE);
    add_paused_menu_item("to console", PAUSED_LEAVE_BROWSER);
    app.pause_menu_selected = 3;
    s.press(K_Z);
    EXPECT_EQ(app.pause_menu_open, 1);
    // It is a favourite now, kept in the favourites file.
    EXPECT_TRUE(is_favourite("ab_cd", ""));
    splore_list_record *fav = favourites_list();
    int at = find_item_index(fav, "ab_cd", "");
    ASSERT_GE(at, 0);
    EXPECT_STREQ(fav->items[at].title, "forum game");
    EXPECT_NE(read_file(favourites_file_path()).find("forum game"), std::string::npos);
    s.pass();
    // Chosen again, it is taken out again.
    s.press(K_Z);
    EXPECT_EQ(app.pause_menu_open, 1);
    EXPECT_FALSE(is_favourite("ab_cd", ""));
    EXPECT_EQ(read_file(favourites_file_path()).find("forum game"), std::string::npos);
    s.pass();

    pstate.OVERLAY = OVERLAY_BROWSER;
    tap(s, K_DOWN);
    ASSERT_EQ(app.pause_menu_selected, 4);
    s.press(K_X);
    EXPECT_EQ(app.pause_menu_open, 0);
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_NONE);
    EXPECT_EQ(pstate.view, 1);
    EXPECT_EQ(pstate.draw_state.pen_colour, 6);
}

TEST_F(PauseMenu, TheCartsOwnPauseLeavesTheMenuAlone) {
    shell_session s;   // the menu was never built: no entries
    s.run_code(idle_cart);
    tamu_set_paused(1);
    for (int key : {int(K_DOWN), int(K_UP), int(K_Z), int(K_X)}) tap(s, key);
    EXPECT_EQ(app.pause_menu_open, 0);
    EXPECT_EQ(app.pause_menu_selected, 0);
    EXPECT_EQ(tamu_quit, 0);
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    tamu_set_paused(0);
}

// ---------------------------------------------------------------------------
// Drawing

int page(int x, int y) { return tamu_back_page->rows[y][x]; }
int pattern(int x, int y) { return (x * 3 + y * 5 + (y >> 3)) & 15; }
constexpr int tint[16] = {0, 0, 1, 1, 2, 1, 5, 5, 2, 4, 4, 3, 1, 1, 2, 4};

// The pixels a label leaves in colour 7 on an empty page at x, y.
std::vector<std::pair<int, int>> label_ink(const char *label, int x, int y) {
    cbitmap *b = tamu_create_bitmap(128, 128, 8);
    tamu_draw_text_ex(b, label, zorva_system_font(), x, y, TAMU_TEXT_SOLID, 7);
    std::vector<std::pair<int, int>> ink;
    for (int j = 0; j < 128; j++)
        for (int i = 0; i < 128; i++)
            if (b->rows[j][i] == 7) ink.emplace_back(i, j);
    tamu_destroy_bitmap(b);
    return ink;
}

class PauseMenuDrawing : public PauseMenu {
  protected:
    void SetUp() override {
        PauseMenu::SetUp();
        session = std::make_unique<shell_session>();
        session->run_code(idle_cart);
        session->press(K_ESCAPE);
        ASSERT_EQ(app.pause_menu_count, 3);
    }
    void draw() {
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) pstate.screen->rows[y][x] = uint8_t(pattern(x, y));
        tamu_main_draw();
    }
    std::unique_ptr<shell_session> session;
};

TEST_F(PauseMenuDrawing, ThePanelAndItsOutline) {
    draw();
    // n = 3: h = 16, the panel spans (23, 47)-(105, 81), the outline
    // (24, 48)-(104, 80).
    for (int y = 40; y < 90; y++)
        for (int x = 16; x < 112; x++) {
            bool panel = x >= 23 && x <= 105 && y >= 47 && y <= 81;
            bool outline = x >= 24 && x <= 104 && y >= 48 && y <= 80 && (x == 24 || x == 104 || y == 48 || y == 80);
            bool inside = x > 24 && x < 104 && y > 48 && y < 80;
            // The tinted rim; inside, an opaque panel of colour 0 under the
            // white labels.
            int expected = outline ? 7 : !panel ? pattern(x, y) : !inside ? tint[pattern(x, y)] : y < 53 ? 0 : -1;
            if (expected >= 0) {
                ASSERT_EQ(page(x, y), expected) << x << "," << y;
            } else {
                ASSERT_TRUE(page(x, y) == 0 || page(x, y) == 7) << x << "," << y;
            }
        }
    EXPECT_EQ(page(64, 10), pattern(64, 10));
}

TEST_F(PauseMenuDrawing, LabelsAndTheMarkerOfTheSelectedEntry) {
    for (int selected : {0, 1}) {
        app.pause_menu_selected = selected;
        draw();
        for (int k = 0; k < 3; k++) {
            int y = 69 - 16 + 8 * k;
            int x = k == selected ? 35 : 34;
            auto ink = label_ink(paused_menu_item[k].label, x, y + 1);
            ASSERT_FALSE(ink.empty());
            for (auto [i, j] : ink) EXPECT_EQ(page(i, j), 7) << k << ": " << i << "," << j;
            // Nothing else of the entry's row is white beyond the marker.
            int white = 0;
            for (int j = y; j < y + 8; j++)
                for (int i = 31; i < 104; i++) white += page(i, j) == 7;
            EXPECT_EQ(white, int(ink.size())) << k;
            // The marker: white to the left of the selected label only.
            int marker = 0;
            for (int j = y; j < y + 8; j++)
                for (int i = 25; i < 31; i++) marker += page(i, j) == 7;
            if (k == selected) {
                EXPECT_GT(marker, 0) << k;
            } else {
                EXPECT_EQ(marker, 0) << k;
            }
        }
    }
}

TEST_F(PauseMenuDrawing, TheFavouriteEntryHasAHeart) {
    running_item = splore_item{};
    copy_splore_text(running_item.lid, "ab_cd");
    add_paused_menu_item("favourite", PAUSED_TOGGLE_FAVOURITE);
    draw();
    // n = 4: h = 20, entry 3 at y = 69 - 20 + 24 = 73; the running cart is
    // no favourite, so the heart is a solid colour-13 shape at (74, 73).
    int heart = 0;
    for (int j = 73; j < 80; j++)
        for (int i = 74; i < 81; i++) heart += page(i, j) == 13;
    EXPECT_GT(heart, 20);
    EXPECT_EQ(page(74, 73), 0);   // a corner the heart leaves
    EXPECT_EQ(page(75, 73), 13);

    // A favourite: the heart in its own colours (8 with a highlight of 14).
    splore_toggle_favourite_ingame(running_item.lid, running_item.path);
    ASSERT_TRUE(is_favourite("ab_cd", ""));
    draw();
    EXPECT_EQ(page(75, 73), 8);
    EXPECT_EQ(page(75, 74), 14);
    EXPECT_EQ(page(74, 73), 0);
    splore_toggle_favourite_ingame(running_item.lid, running_item.path);
}

TEST_F(PauseMenuDrawing, TheMenuIsCapturedButNotDrawnOnceClosed) {
    draw();
    EXPECT_EQ(std::memcmp(app.capture->pixels, tamu_back_page->pixels, 128 * 128), 0);
    session->press(K_ESCAPE);
    draw();
    EXPECT_EQ(page(24, 48), pattern(24, 48));
    EXPECT_EQ(page(60, 50), pattern(60, 50));
}

}  // namespace
