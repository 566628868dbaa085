// The cart browser screen driven through the shell's update and draw with
// keys and a controller: entering, moving between entries and lists, the
// cart menu, the search wheel, launching local and forum carts (the forum
// being the local stand-in), the exit box, and what is drawn.
#include "shell_session.h"

#include "cart_forms.h"
#include "forum_server.h"
#include "pip_image.h"
#include "zorva_buttons.h"
#include "zorva_run_chain.h"
#include "zorva_splore.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Player 0's controller: stick and buttons.
int pad_x = 0, pad_y = 0, pad_mask = 0;
int fake_pad(int index, int *x, int *y, int *buttons) {
    *x = index == 0 ? pad_x : 0;
    *y = index == 0 ? pad_y : 0;
    *buttons = index == 0 ? pad_mask : 0;
    return 0;
}

enum pad_button { PAD_LEFT, PAD_RIGHT, PAD_UP, PAD_DOWN, PAD_O, PAD_X, PAD_PAUSE };

// Keyboard keys of player 0's buttons.
constexpr int KEY_Z = 29, KEY_X = 27, KEY_F = 9, KEY_DELETE = 76, KEY_END = 77, KEY_PAGE_DOWN = 78, KEY_HOME = 74;

std::vector<std::string> titles(const splore_list_record *list) {
    std::vector<std::string> out;
    for (int i = 0; i < list->count; i++) out.push_back(list->items[i].title);
    return out;
}

cbitmap *patterned_label(int seed) {
    cbitmap *b = tamu_create_bitmap(128, 128, 8);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) b->rows[y][x] = uint8_t((x / 16 + y / 16 + seed) % 16);
    return b;
}

std::string launched_url;
void record_launch(const char *url) { launched_url = url; }

class Browser : public ::testing::Test {
  protected:
    shell_session *s = nullptr;

    void SetUp() override {
        fs::remove_all(appdata_path("bbs"));
        fs::remove_all(appdata_path("carts"));
        std::remove(appdata_path("favourites.txt").c_str());
        s = new shell_session;
        pad_x = pad_y = pad_mask = 0;
        button_joystick_reader = fake_pad;
        launched_url.clear();
        splore_launch_html = record_launch;
        s->to_console();
    }
    void TearDown() override {
        for (int i = 0; i < 6000 && download_workers_running() > 0; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        button_joystick_reader = tamu_get_joystick;
        splore_launch_html = tamu_launch_html;
        delete s;
    }

    std::string root() { return pstate.root_path; }
    void make_cart(const std::string &name, const std::string &code = "-- a cart\nx = 1") {
        fs::create_directories(fs::path(root() + name).parent_path());
        write_file(root() + name, "zorva cartridge\nversion 11\n__lua__\n" + code + "\n");
    }
    void open() {
        open_splore();
        s->pass();
    }
    // One pass with a controller button held, then one with it let go.
    void pad(pad_button b) {
        switch (b) {
        case PAD_LEFT: pad_x = -32767; break;
        case PAD_RIGHT: pad_x = 32767; break;
        case PAD_UP: pad_y = -32767; break;
        case PAD_DOWN: pad_y = 32767; break;
        case PAD_O: pad_mask = 1; break;
        case PAD_X: pad_mask = 2; break;
        case PAD_PAUSE: pad_mask = 64; break;
        }
        s->pass();
        pad_x = pad_y = pad_mask = 0;
        s->pass();
    }
    void key(int scancode) {
        s->press(scancode);
        s->pass();
    }
    // A typed character (no button's key goes down).
    void type(const char *c) {
        s->in.text(c);
        s->pass();
    }
    splore_list_record *current() { return &splore_list[list_index]; }
    static std::string message() { return app.message_text; }
};

// ---------------------------------------------------------------------------
// Entering and moving

TEST_F(Browser, SploreOnTheCommandLineOpensItAtBoot) {
    delete s;
    s = new shell_session({"-splore"});
    s->passes(120);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_BROWSER);
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(list_index, SPLORE_LIST_FAVOURITES);
    EXPECT_EQ(splore_lists, SPLORE_LISTS);
    EXPECT_EQ(std::string(splore_list[2].title), "new");
    EXPECT_STREQ(splore_list[3].title, "featured");
    EXPECT_STREQ(splore_list[1].query, "cat=7&orderby=favourites&uid=1");
    EXPECT_STREQ(splore_list[7].query, "");
    EXPECT_EQ(splore_list[4].icon, SPLORE_ICON_TABS + 4);
    // The forum's lists start with their head row.
    EXPECT_EQ(titles(&splore_list[2]), (std::vector<std::string>{"[update]"}));
    EXPECT_EQ(titles(&splore_list[7]), (std::vector<std::string>{"[search]"}));
}

TEST_F(Browser, TheConsoleOpensItThroughItsHook) {
    make_cart("game.zv");
    ASSERT_NE(zorva_shell.splore, nullptr);
    zorva_shell.splore();
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_BROWSER);
    EXPECT_EQ(titles(&splore_list[SPLORE_LIST_LOCAL]), (std::vector<std::string>{"game"}));
}

TEST_F(Browser, ListsAndEntriesByTheButtons) {
    make_cart("a.zv");
    make_cart("b.zv");
    make_cart("c.zv");
    open();
    list_index = SPLORE_LIST_LOCAL;
    EXPECT_EQ(current()->selected, 0);
    key(K_DOWN);
    key(K_DOWN);
    EXPECT_EQ(current()->selected, 2);
    key(K_DOWN);
    EXPECT_EQ(current()->selected, 2);   // held at the end
    int before = selected_t;
    key(K_UP);
    EXPECT_EQ(current()->selected, 1);
    EXPECT_GT(selected_t, before);
    EXPECT_EQ(expand_cats, 0);

    // Left on the local list wraps to the search list; right comes back.
    int glow = glow_t;
    key(K_LEFT);
    EXPECT_EQ(list_index, SPLORE_LIST_SEARCH);
    EXPECT_EQ(expand_cats, 1);
    EXPECT_LT(glow_t, glow);
    key(K_RIGHT);
    EXPECT_EQ(list_index, SPLORE_LIST_LOCAL);
    key(K_RIGHT);
    EXPECT_EQ(list_index, SPLORE_LIST_FAVOURITES);
    EXPECT_EQ(current()->selected, 0);   // clamped to the empty list
}

TEST_F(Browser, ScrollFollowsTheSelection) {
    open();
    splore_list_record *l = &splore_list[2];
    clear_splore_list(l);
    for (int i = 0; i < 40; i++) {
        splore_item *e = add_splore_item(l, 0);
        e->kind = SPLORE_KIND_CART;
        copy_splore_text(e->lid, ("c" + std::to_string(i)).c_str());
    }
    list_index = 2;
    l->selected = 39;
    for (int i = 0; i < 200; i++) splore_update();
    EXPECT_EQ(l->scroll, (34 * 7) << 16 | 0x8000);   // rows 34 to 39 in view
    l->selected = 5;
    for (int i = 0; i < 200; i++) splore_update();
    EXPECT_EQ(l->scroll, (3 * 7) << 16 | 0x8000);
    // With a head row, the second entry hides it.
    l->items[0].kind = SPLORE_KIND_UPDATE;
    l->head_row = 1;
    l->selected = 1;
    for (int i = 0; i < 200; i++) splore_update();
    EXPECT_EQ(l->scroll, (1 * 7) << 16 | 0x8000);
    l->selected = 0;
    for (int i = 0; i < 200; i++) splore_update();
    EXPECT_EQ(l->scroll, 0x8000);
}

TEST_F(Browser, TheTabRingSettlesOnTheList) {
    open();
    list_index = 5;
    expand_cats = 1;
    for (int i = 0; i < 200; i++) splore_update();
    EXPECT_NEAR(expand_t, 0x10000, 4);
    EXPECT_NEAR(list_index_x, 5 * 0x10000 + 0x800, 8);
    // The shortest way round: from 7 to 0 goes forward.
    list_index = 7;
    for (int i = 0; i < 200; i++) splore_update();
    list_index = 0;
    splore_update();
    EXPECT_GT(list_index_x, 7 * 0x10000);
    expand_cats = 0;
    for (int i = 0; i < 200; i++) splore_update();
    EXPECT_EQ(expand_t, 0);
    EXPECT_NEAR(list_index_x, 0x800, 8);
}

TEST_F(Browser, FoldersOpenAndLeadBackButNeverOutOfTheRoot) {
    make_cart("top.zv");
    make_cart("sub/inner.zv");
    pstate.current_directory[0] = 0;
    open();
    list_index = SPLORE_LIST_LOCAL;
    EXPECT_EQ(titles(current()), (std::vector<std::string>{"sub", "top"}));
    key(KEY_Z);   // O on the folder
    EXPECT_STREQ(pstate.current_directory, "sub/");
    EXPECT_EQ(titles(current()), (std::vector<std::string>{"..", "inner"}));
    key(KEY_Z);   // O on ".."
    EXPECT_STREQ(pstate.current_directory, "");
    EXPECT_EQ(titles(current()), (std::vector<std::string>{"sub", "top"}));

    // A folder entry that would lead out of the root does nothing.
    splore_item *out = get_splore_item(current(), 0);
    copy_splore_text(out->title, "../..");
    action_current_splore_item();
    EXPECT_STREQ(pstate.current_directory, "");
    EXPECT_EQ(current()->count, 2);
}

// ---------------------------------------------------------------------------
// Launching carts

TEST_F(Browser, ALocalCartLaunchesOnThe21stFrame) {
    make_cart("game.zv", "-- the game\nn = 0\nfunction _update() n += 1 end");
    open();
    list_index = SPLORE_LIST_LOCAL;
    add_run_chain_item("old.zv", "back", 0);
    std::snprintf(pstate.pending_parameter, sizeof pstate.pending_parameter, "stale");
    splore_list_record *l = current();
    ASSERT_EQ(l->count, 1);
    // Frame 1: chosen.
    pstate.button_state.held[0][PAD_O] = 1;
    pstate.button_state.previous[0][PAD_O] = 0;
    splore_update();
    EXPECT_GT(cart_launch_t, 0);
    EXPECT_EQ(pstate.working_file_name, root() + "game.zv");
    EXPECT_STREQ(running_item.title, "game");
    EXPECT_EQ(running_item.label, nullptr);
    pstate.button_state.held[0][PAD_O] = 0;
    for (int frame = 2; frame <= 19; frame++) {
        splore_update();
        EXPECT_EQ(pstate.REQUEST, 0) << frame;
    }
    splore_update();   // frame 20: the run is asked for, and done by the next update
    EXPECT_EQ(pstate.REQUEST, REQUEST_RUN);
    EXPECT_EQ(cart_launch_t, 0);
    EXPECT_EQ(run_chain_items, 0);
    EXPECT_STREQ(pstate.pending_parameter, "");
    s->pass();
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_BROWSER);

    // When it stops, the browser waits for a button.
    pstate.REQUEST = REQUEST_PAUSE;
    s->pass();
    EXPECT_EQ(app.browser_waits_for_button, 1);
    s->pass();
    EXPECT_EQ(pstate.screen->rows[121][127], 6);   // the bar of " finished. press button to exit"
    EXPECT_EQ(pstate.screen->rows[120][64], 0);
    key(K_DOWN);
    EXPECT_EQ(app.browser_waits_for_button, 0);
    EXPECT_EQ(current()->selected, 0);   // the press did nothing else
}

TEST_F(Browser, ACartThatDoesNotLoadSaysSo) {
    make_cart("broken.zv");
    write_file(root() + "broken.zv", "not a cart");
    open();
    list_index = SPLORE_LIST_LOCAL;
    key(KEY_X);
    EXPECT_EQ(message(), "could not load");
    EXPECT_EQ(cart_launch_t, 0);
}

TEST_F(Browser, ForumListAndCartFromTheForumStandIn) {
    std::string www = test_home() + "/forum";
    fs::remove_all(www);
    fs::create_directories(www + "/bbs/cpost_lister3.php");
    fs::create_directories(www + "/bbs/cposts/12");
    // Our own cart on the forum, with its label in the list image.
    zorva_cart *cart = cart_from_code("-- forum game\nn = 0\nfunction _update() n += 1 end");
    cart->label = patterned_label(3);
    ASSERT_EQ(save_zorva_cart_png(cart, (www + "/bbs/cposts/12/123456.zv.png").c_str()), 0);
    std::vector<pip_cell> cells(1);
    cells[0].id = 123456;
    cells[0].id2 = 654321;
    cells[0].title = "Forum Game";
    cells[0].author = "Someone";
    cells[0].label = cart->label;
    write_file(www + "/bbs/cpost_lister3.php/" +
                   query_file_name("max=32&start_index=0&cat=7&sub=2&version=000111bl"),
               pip_png(cells));
    forum_server server;
    ASSERT_TRUE(server.start(www));
    std::snprintf(bbs_host, sizeof bbs_host, "%s", server.host().c_str());

    open();
    list_index = 2;
    ASSERT_EQ(titles(current()), (std::vector<std::string>{"[update]"}));
    key(KEY_Z);   // "[update]"
    EXPECT_EQ(app.download_slot.state, DOWNLOAD_RUNNING);
    for (int i = 0; i < 3000 && app.download_slot.state != DOWNLOAD_IDLE; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        s->pass();
    }
    ASSERT_EQ(titles(current()), (std::vector<std::string>{"[update]", "forum game"}));
    EXPECT_EQ(current()->selected, 1);
    EXPECT_TRUE(fs::exists(appdata_path("bbs/new.pip.png")));

    // The label is the background above the panel.
    s->pass();
    for (int y = 0; y < 72; y += 9)
        for (int x = 0; x < 128; x += 11) ASSERT_EQ(pstate.screen->rows[y][x], cart->label->rows[y][x]) << x << "," << y;

    // Chosen: not cached yet, so fetched first, then launched.
    key(KEY_Z);
    EXPECT_EQ(app.download_slot.state, DOWNLOAD_RUNNING);
    for (int i = 0; i < 3000 && pstate.MODE != MODE_RUNNING; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        s->pass();
    }
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_EQ(pstate.working_file_name, appdata_path("bbs/12/123456.zv.png"));
    EXPECT_STREQ(pstate.cart_id, "123456");
    EXPECT_STREQ(running_item.lid, "123456");
    EXPECT_STREQ(get_output_file_name_base(), "forum game");
    tamu_destroy_zorva_cart(cart);
}

TEST_F(Browser, ALabelThatCannotBeMadeIsTriedOnceNotEveryFrame) {
    // A local cart whose picture is cut short (its header is right, so it
    // is decoded, and fails), and a cached forum cart that is a picture of
    // 8192 x 2048 in a few kilobytes.
    zorva_cart *cart = cart_from_code("-- cut short");
    std::string cut = root() + "cut.zv.png";
    ASSERT_EQ(save_zorva_cart_png(cart, cut.c_str()), 0);
    tamu_destroy_zorva_cart(cart);
    std::string bytes = read_file(cut);
    write_file(cut, bytes.substr(0, bytes.size() - 40));
    std::string cached = get_bbs_cart_filename("ab_cd");
    write_file(cached, bomb_png(8192, 2048));
    splore_toggle_favourite_0("ab_cd", "");

    open();
    list_index = SPLORE_LIST_LOCAL;
    ASSERT_EQ(titles(current()), (std::vector<std::string>{"cut"}));
    int decodes = tamu_png_decodes();
    for (int i = 0; i < 30; i++) s->pass();
    EXPECT_EQ(current()->items[0].label, nullptr);
    EXPECT_EQ(tamu_png_decodes() - decodes, 1);
    EXPECT_TRUE(fs::exists(cut));   // the user's own file stays

    list_index = SPLORE_LIST_FAVOURITES;
    decodes = tamu_png_decodes();
    for (int i = 0; i < 30; i++) s->pass();
    EXPECT_EQ(current()->items[0].label, nullptr);
    EXPECT_EQ(tamu_png_decodes(), decodes);   // refused by its header
    EXPECT_FALSE(fs::exists(cached));          // and not kept in the cache
}

TEST_F(Browser, PauseCancelsADownload) {
    open();
    list_index = 2;
    std::snprintf(bbs_host, sizeof bbs_host, "127.0.0.1:9");   // nothing answers there
    download_list("new", "cat=7&sub=2", 0);
    ASSERT_EQ(app.download_slot.state, DOWNLOAD_RUNNING);
    key(K_DOWN);   // nothing else while it runs
    pad(PAD_PAUSE);
    EXPECT_EQ(app.download_slot.state, DOWNLOAD_IDLE);
    EXPECT_EQ(message(), "download cancelled");
    EXPECT_EQ(cart_menu, CART_MENU_CLOSED);
}

// ---------------------------------------------------------------------------
// The cart menu

// Keyboard users open the cart menu with the pause key: P, or the key
// configured for pause.
TEST_F(Browser, ThePauseKeyOpensTheCartMenu) {
    constexpr int K_P = 19, K_O = 18;
    make_cart("game.zv");
    open();
    list_index = SPLORE_LIST_LOCAL;
    key(K_P);
    EXPECT_EQ(cart_menu, CART_MENU_CART);
    key(K_ESCAPE);
    ASSERT_EQ(cart_menu, CART_MENU_CLOSED);
    app.button_keys[ZORVA_BUTTON_KEY_PAUSE] = K_O;
    key(K_P);
    EXPECT_EQ(cart_menu, CART_MENU_CLOSED);
    key(K_O);
    EXPECT_EQ(cart_menu, CART_MENU_CART);
}

TEST_F(Browser, CartMenuFromPauseAndItsActions) {
    make_cart("game.zv");
    open();
    list_index = SPLORE_LIST_LOCAL;
    pad(PAD_PAUSE);
    ASSERT_EQ(cart_menu, CART_MENU_CART);
    ASSERT_EQ(cart_menu_items, 5);
    const char *labels[] = {"run cart", "favourite", "bbs thread (browser)", "options", "cancel"};
    int codes[] = {1, 3, 18, 5, 6};
    for (int i = 0; i < 5; i++) {
        EXPECT_STREQ(cart_menu_item[i].label, labels[i]);
        EXPECT_EQ(cart_menu_item[i].code, codes[i]);
    }
    // "favourite": added, the menu stays open outside the favourites list.
    pad(PAD_DOWN);
    pad(PAD_O);
    EXPECT_TRUE(is_favourite("", "game.zv"));
    EXPECT_EQ(cart_menu, CART_MENU_CART);
    EXPECT_EQ(current()->items[0].favourite, 1);
    // "options", then "back" to the cart menu, and "cancel" closes it.
    pad(PAD_DOWN);
    pad(PAD_DOWN);
    pad(PAD_O);
    ASSERT_EQ(cart_menu, CART_MENU_OPTIONS);
    EXPECT_STREQ(cart_menu_item[0].label, "volume");
    EXPECT_EQ(cart_menu_index, 0);
    pad(PAD_UP);   // wraps to "back"
    EXPECT_EQ(cart_menu_index, 3);
    pad(PAD_X);
    EXPECT_EQ(cart_menu, CART_MENU_CART);
    pad(PAD_UP);
    pad(PAD_O);
    EXPECT_EQ(cart_menu, CART_MENU_CLOSED);
    // The menu eases open and shut.
    for (int i = 0; i < 40; i++) s->pass();
    EXPECT_EQ(cart_menu_tt, 0);
    generate_cart_menu(CART_MENU_CART);
    for (int i = 0; i < 40; i++) s->pass();
    EXPECT_EQ(cart_menu_tt, 0x10000);
}

TEST_F(Browser, CartMenuCodes) {
    open();
    list_index = 2;
    splore_list_record *l = current();
    clear_splore_list(l);
    splore_item *e = add_splore_item(l, 0);
    e->kind = SPLORE_KIND_CART;
    copy_splore_text(e->lid, "ab_cd");
    std::snprintf(bbs_host, sizeof bbs_host, "forum.example");

    generate_cart_menu(CART_MENU_CART);
    process_cart_menu_action(MENU_THREAD);
    EXPECT_EQ(launched_url, "https://forum.example/bbs/?pid=ab_cd");
    EXPECT_EQ(cart_menu, CART_MENU_CLOSED);
    // An id that is no forum id opens nothing.
    for (const char *bad : {"x\" --new-window file:///etc/passwd", "a b", "../x", "A1", "a", ""}) {
        launched_url = "none";
        copy_splore_text(e->lid, bad);
        process_cart_menu_action(MENU_THREAD);
        EXPECT_EQ(launched_url, "none") << bad;
    }
    copy_splore_text(e->lid, "ab_cd");

    int volume = cconfig.sound_volume;
    process_cart_menu_action(MENU_SOUND);
    EXPECT_EQ(cconfig.sound_volume, volume ? 0 : 256);
    EXPECT_EQ(cconfig.music_volume, volume ? 0 : 256);
    process_cart_menu_action(MENU_SOUND);
    EXPECT_EQ(cconfig.sound_volume, volume ? 256 : 0);

    generate_cart_menu(CART_MENU_SUB);
    EXPECT_STREQ(cart_menu_item[0].label, "edit cart");
    process_cart_menu_action(MENU_REDOWNLOAD);
    EXPECT_EQ(cart_menu, CART_MENU_SUB);
    process_cart_menu_action(MENU_BACK);
    EXPECT_EQ(cart_menu, CART_MENU_CART);
    generate_cart_menu(9);   // no such menu: open, with nothing in it
    EXPECT_EQ(cart_menu, 9);
    EXPECT_EQ(cart_menu_items, 0);
    pad(PAD_DOWN);   // nothing to move over
    process_cart_menu_action(MENU_EDIT);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_NONE);
    EXPECT_EQ(cart_menu, CART_MENU_CLOSED);
    EXPECT_EQ(cart_menu_tt, 0);

    process_cart_menu_action(MENU_SHUTDOWN);
    EXPECT_EQ(tamu_quit, 1);
    tamu_quit = 0;
}

TEST_F(Browser, RemovingAFavouriteClosesTheMenu) {
    write_file(appdata_path("favourites.txt"), "|1111|||||one\n|2222|||||two\n");
    delete s;
    s = new shell_session;
    s->to_console();
    open();
    ASSERT_EQ(list_index, SPLORE_LIST_FAVOURITES);
    ASSERT_EQ(titles(current()), (std::vector<std::string>{"one", "two"}));
    generate_cart_menu(CART_MENU_CART);
    EXPECT_STREQ(cart_menu_item[1].label, "remove from favourites");
    process_cart_menu_action(MENU_FAVOURITE);
    EXPECT_EQ(cart_menu, CART_MENU_CLOSED);
    EXPECT_EQ(titles(current()), (std::vector<std::string>{"two"}));
    EXPECT_EQ(read_file(appdata_path("favourites.txt")).find("1111"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Searching

TEST_F(Browser, TheSearchWheelAndSubmitting) {
    std::snprintf(bbs_host, sizeof bbs_host, "127.0.0.1:9");
    open();
    list_index = SPLORE_LIST_SEARCH;
    ASSERT_EQ(titles(current()), (std::vector<std::string>{"[search]"}));
    pad(PAD_O);
    ASSERT_EQ(current()->entering_text, 1);
    // The keyboard's buttons do nothing while typing.
    key(K_UP);
    EXPECT_STREQ(current()->search_text, "");
    pad(PAD_UP);
    EXPECT_STREQ(current()->search_text, "a");
    pad(PAD_UP);
    EXPECT_STREQ(current()->search_text, "b");
    pad(PAD_DOWN);
    pad(PAD_DOWN);
    EXPECT_STREQ(current()->search_text, " ");
    pad(PAD_DOWN);   // wraps round
    EXPECT_STREQ(current()->search_text, "9");
    pad(PAD_RIGHT);
    EXPECT_EQ(current()->cursor, 1);
    pad(PAD_RIGHT);   // from the end: a space
    EXPECT_STREQ(current()->search_text, "9 ");
    EXPECT_EQ(current()->cursor, 2);
    pad(PAD_DOWN);    // at the end: a "9"
    EXPECT_STREQ(current()->search_text, "9 9");
    pad(PAD_LEFT);
    pad(PAD_LEFT);
    pad(PAD_LEFT);
    pad(PAD_LEFT);
    EXPECT_EQ(current()->cursor, 0);
    pad(PAD_X);
    EXPECT_EQ(current()->entering_text, 0);
    EXPECT_STREQ(current()->query, "cat=7&search=9%209&max=32");
    EXPECT_STREQ(current()->title, "9 9");
    EXPECT_NE(std::string(app.download_slot.url).find("start_index=0&cat=7&search=9%209&max=32&"), std::string::npos);
    cancel_download(nullptr);
}

TEST_F(Browser, SearchTextIsCappedAndPauseCancels) {
    open();
    list_index = SPLORE_LIST_SEARCH;
    pad(PAD_O);
    for (int i = 0; i < 25; i++) pad(PAD_RIGHT);
    EXPECT_EQ(std::strlen(current()->search_text), size_t(SPLORE_SEARCH_CHARS));
    pad(PAD_UP);
    EXPECT_EQ(std::strlen(current()->search_text), size_t(SPLORE_SEARCH_CHARS));
    pad(PAD_PAUSE);
    EXPECT_EQ(current()->entering_text, 0);
    EXPECT_EQ(message(), "cancelled");
    EXPECT_EQ(app.download_slot.state, DOWNLOAD_IDLE);
}

// Stopping entry from outside the controls empties the text as well.
TEST_F(Browser, CancellingTextEntryEmptiesTheSearch) {
    open();
    list_index = SPLORE_LIST_SEARCH;
    EXPECT_FALSE(splore_entering_text());
    pad(PAD_O);
    EXPECT_TRUE(splore_entering_text());
    spin_letter_wheel(1);
    move_search_cursor(1);
    spin_letter_wheel(-1);
    EXPECT_STREQ(current()->search_text, "a9");
    splore_cancel_text_entry();
    EXPECT_FALSE(splore_entering_text());
    EXPECT_STREQ(current()->search_text, "");
    EXPECT_EQ(current()->cursor, 0);
    EXPECT_EQ(app.download_slot.state, DOWNLOAD_IDLE);
}

TEST_F(Browser, TypingASearch) {
    std::snprintf(bbs_host, sizeof bbs_host, "127.0.0.1:9");
    open();
    list_index = SPLORE_LIST_SEARCH;
    pad(PAD_O);
    s->in.text("t");
    s->in.text("w");
    s->in.text("o");
    s->pass();
    EXPECT_STREQ(current()->search_text, "two");
    splore_keypress(SPLORE_KEY_LEFT);
    splore_keypress(8);   // Backspace: the character before the cursor
    EXPECT_STREQ(current()->search_text, "to");
    EXPECT_EQ(current()->cursor, 1);
    splore_keypress(SPLORE_KEY_LEFT);
    splore_keypress(SPLORE_KEY_DELETE);   // the character under it
    EXPECT_STREQ(current()->search_text, "o");
    splore_keypress(27);   // Esc keeps the text
    EXPECT_EQ(current()->entering_text, 0);
    EXPECT_STREQ(current()->search_text, "o");
    pad(PAD_O);   // a new search starts empty
    EXPECT_STREQ(current()->search_text, "");
    s->in.text("x");
    s->pass();
    splore_keypress(13);
    EXPECT_EQ(current()->entering_text, 0);
    EXPECT_STREQ(current()->query, "cat=7&search=x&max=32");
    cancel_download(nullptr);
}

// ---------------------------------------------------------------------------
// Keys

TEST_F(Browser, KeysForFavouritesAndPaging) {
    for (int i = 0; i < 9; i++) make_cart("c" + std::to_string(i) + ".zv");
    open();
    list_index = SPLORE_LIST_LOCAL;
    type("f");
    EXPECT_TRUE(is_favourite("", "c0.zv"));
    key(KEY_PAGE_DOWN);
    EXPECT_EQ(current()->selected, 6);
    key(KEY_PAGE_DOWN);
    EXPECT_EQ(current()->selected, 8);
    key(KEY_HOME);
    EXPECT_EQ(current()->selected, 0);
    key(KEY_END);
    EXPECT_EQ(current()->selected, 8);
    type("f");
    EXPECT_TRUE(is_favourite("", "c8.zv"));
    // In the favourites list, Delete removes.
    list_index = SPLORE_LIST_FAVOURITES;
    favourites_list()->selected = 0;
    key(KEY_DELETE);
    EXPECT_EQ(titles(favourites_list()), (std::vector<std::string>{"c0"}));
    key(K_BACKSPACE);
    EXPECT_EQ(favourites_list()->count, 0);
    // A key bound to a button does not act as a key.
    list_index = SPLORE_LIST_LOCAL;
    current()->selected = 3;
    app.button_keys[4] = KEY_F;
    type("f");
    EXPECT_FALSE(is_favourite("", "c3.zv"));
    app.button_keys[4] = 0;
}

TEST_F(Browser, EscapeClosesMenusThenTheBrowser) {
    make_cart("game.zv");
    open();
    list_index = SPLORE_LIST_LOCAL;
    generate_cart_menu(CART_MENU_OPTIONS);
    key(K_ESCAPE);
    EXPECT_EQ(cart_menu, CART_MENU_CART);
    key(K_ESCAPE);
    EXPECT_EQ(cart_menu, CART_MENU_CLOSED);
    key(K_ESCAPE);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_NONE);
}

TEST_F(Browser, TheExitBoxOfSploreFromTheCommandLine) {
    delete s;
    s = new shell_session({"-splore"});
    s->passes(120);
    ASSERT_EQ(pstate.OVERLAY, OVERLAY_BROWSER);
    key(K_ESCAPE);
    ASSERT_EQ(splore_exit_menu, 1);
    s->pass();
    EXPECT_EQ(pstate.screen->rows[40][21], 0);   // the box
    key(K_DOWN);
    EXPECT_EQ(splore_exit_menu_item, 1);
    EXPECT_EQ(list_index, SPLORE_LIST_FAVOURITES);   // the list stays put
    printed.clear();
    key(KEY_Z);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_NONE);
    EXPECT_TRUE(printed_line("::::::  zorva console  ::::::"));
    // No word of typing (the console takes none): its line of keys says
    // how on, and Esc opens the browser again.
    EXPECT_FALSE(printed_line("type splore to return to splore"));
    EXPECT_FALSE(printed_line("type help for help"));
    key(K_ESCAPE);
    EXPECT_EQ(pstate.OVERLAY, OVERLAY_BROWSER);
    EXPECT_EQ(splore_exit_menu, 0);
}

// ---------------------------------------------------------------------------
// Drawing

TEST_F(Browser, TheFavouritesListWhenEmpty) {
    open();
    ASSERT_EQ(list_index, SPLORE_LIST_FAVOURITES);
    s->pass();
    cbitmap *screen = pstate.screen;
    EXPECT_EQ(screen->rows[0][0], 5);
    bool text = false;
    for (int x = 0; x < 128; x++) text = text || screen->rows[16][x] == 6;
    EXPECT_TRUE(text) << "\"your favourites list is empty\"";
}

// The pixels of a row of the screen.
std::vector<uint8_t> screen_row(int y) {
    return std::vector<uint8_t>(pstate.screen->rows[y], pstate.screen->rows[y] + 128);
}

// With the ring open, each list's title stands clear of the tabs and the
// right arrow.
TEST_F(Browser, TheTitleOfTheOpenRingKeepsClearOfItsIcons) {
    open();
    expand_cats = 1;
    for (int i = 1; i < splore_lists; i++) {
        list_index = i;
        for (int k = 0; k < 200; k++) splore_update();
        splore_draw();
        std::vector<std::vector<uint8_t>> with_title;
        for (int y = 73; y < 81; y++) with_title.push_back(screen_row(y));
        char title[sizeof current()->title];
        std::memcpy(title, current()->title, sizeof title);
        current()->title[0] = 0;
        splore_draw();
        std::memcpy(current()->title, title, sizeof title);
        int first = 128, last = -1;
        for (int y = 73; y < 81; y++) {
            std::vector<uint8_t> without = screen_row(y);
            for (int x = 0; x < 128; x++)
                if (without[size_t(x)] != with_title[size_t(y - 73)][size_t(x)]) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        }
        ASSERT_LE(first, last) << title;
        // The icons of the ring end at x 43, the arrow begins at 110; the
        // title has a pixel of room on either side.
        EXPECT_GE(first, 45) << title;
        EXPECT_LE(last, 108) << title;
        // Without the title, nothing but the header's ground is there.
        uint8_t ground = screen_row(74)[44];
        for (int y = 74; y < 79; y++)
            for (int x = 44; x <= 109; x++) ASSERT_EQ(screen_row(y)[size_t(x)], ground) << title << " " << x << "," << y;
    }
}

TEST_F(Browser, ALongSelectedRowScrollsToItsEnd) {
    open();
    list_index = 2;
    splore_list_record *l = current();
    clear_splore_list(l);
    splore_item *e = add_splore_item(l, 0);
    e->kind = SPLORE_KIND_CART;
    copy_splore_text(e->lid, "12");
    copy_splore_text(e->title, "a title of twenty-five ch");   // with the author 30 characters: w = 128
    copy_splore_text(e->author, "me123");
    e->label = patterned_label(0);
    l->selected = 0;
    for (int i = 0; i < 100; i++) splore_update();
    selected_t = test_now;
    auto row_at = [&](int ms) {
        test_now = selected_t + ms;
        splore_draw();
        return screen_row(87);
    };
    std::vector<uint8_t> start = row_at(0), early = row_at(500), moving = row_at(1240), end = row_at(1260),
                         later = row_at(3000);
    EXPECT_EQ(start, early);
    EXPECT_NE(early, moving);
    EXPECT_NE(moving, end);
    EXPECT_EQ(end, later);
}

TEST_F(Browser, IndicatorsWhileDownloadingAndLaunching) {
    open();
    tamu_clear_bitmap(pstate.screen);
    cart_launch_t = 3;
    splore_draw();
    cbitmap *frame = static_cast<cbitmap *>(cpod_get_item(pstate.resource_pod, SPLORE_ICON_LAUNCH + 1, CPOD_ITEM_BITMAP));
    ASSERT_NE(frame, nullptr);
    bool same = true;
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 12; x++)
            if (frame->rows[y][x] && pstate.screen->rows[3 + y][3 + x] != frame->rows[y][x]) same = false;
    EXPECT_TRUE(same);
    cart_launch_t = 0;
}

TEST_F(Browser, OutputNamesForCaptures) {
    open();
    std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "/x/y/game.zv");
    EXPECT_STREQ(get_output_file_name_base(), "game");
    pstate.working_file_name[0] = 0;
    EXPECT_STREQ(get_output_file_name_base(), "ZORVA");
    std::snprintf(pstate.cart_id, sizeof pstate.cart_id, "123");
    pstate.running = 1;
    copy_splore_text(running_item.title, "forum title");
    EXPECT_STREQ(get_output_file_name_base(), "forum title");
    pstate.running = 0;
    pstate.cart_id[0] = 0;
}

}  // namespace
