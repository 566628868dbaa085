// Start-up: the application's defaults, its command line, its keys of
// "config.txt" (read and written), its folders, the data pod with the
// screen, palette, title and code tabs, and starting on a cart.
#include "shell_session.h"

#include "zorva_splore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string read_text(const std::string &path) { return read_file(path); }

// process_arguments alone, on a cleared application state.
void parse(std::vector<std::string> args) {
    std::memset(&app, 0, sizeof app);
    set_default_app_config();
    std::memset(&pstate, 0, sizeof pstate);
    std::free(auto_load_fn);
    auto_load_fn = nullptr;
    cconfig.headless = 0;
    std::vector<std::string> kept = {"zorva"};
    for (auto &a : args) kept.push_back(a);
    std::vector<char *> argv;
    for (auto &a : kept) argv.push_back(a.data());
    process_arguments(int(argv.size()), argv.data());
}

std::string loaded_name() { return auto_load_fn ? auto_load_fn : "(none)"; }

TEST(CommandLine, OptionsSetTheirFields) {
    struct Case {
        std::vector<std::string> args;
        int32_t *field;
        int expected;
    } cases[] = {
        {{"-joystick", "2"}, &app.joystick_index, 2},
        {{"-gif_len", "20"}, &app.gif_length, 20},
        {{"-gui_theme", "1"}, &app.gui_theme, 1},
        {{"-screenshot_scale", "5"}, &app.screenshot_scale, 5},
        {{"-gif_scale", "4"}, &app.gif_scale, 4},
        {{"-gpio_base", "7"}, &app.gpio_base, 7},
        {{"-glitch_test", "1"}, &app.glitch_test, 1},
        {{"-gif_len", "many"}, &app.gif_length, 0},           // not a number: 0
        {{"-gif_len", "-run"}, &app.gif_length, 8},           // no value: nothing set
        {{"-run"}, &app.run, 1},
        {{"-splore"}, &app.splore, 1},
        {{"-x", "a.zv"}, &app.run, 1},
        {{"-exec", "a.zv"}, &app.run, 1},
        {{"-gif_len", "9", "|", "-gif_len", "30"}, &app.gif_length, 9},   // nothing after '|'
        {{"-gif_len", "9", "&", "-gif_len", "30"}, &app.gif_length, 9},
        {{"-gif_len", "9", ">", "-gif_len", "30"}, &app.gif_length, 9},
        {{"-gif_lenx", "30"}, &app.gif_length, 8},            // options match whole words
    };
    for (const Case &c : cases) {
        parse(c.args);
        EXPECT_EQ(*c.field, c.expected) << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "");
    }
}

TEST(CommandLine, CartNameParameterAndExec) {
    parse({"-x", "game.zv", "-p", "level2"});
    EXPECT_EQ(loaded_name(), "game.zv");
    EXPECT_EQ(pstate.exec_mode, 1);
    EXPECT_EQ(cconfig.headless, 1);
    EXPECT_STREQ(pstate.pending_parameter, "level2");   // the first run's parameter

    parse({"one.zv", "two.zv"});
    EXPECT_EQ(loaded_name(), "two.zv");   // the last one wins
    EXPECT_EQ(pstate.exec_mode, 0);

    // An option of no known kind (a library option) takes the next word.
    parse({"-windowed", "1", "game.zv"});
    EXPECT_EQ(loaded_name(), "game.zv");
    parse({"-mystery", "game.zv"});
    EXPECT_EQ(loaded_name(), "(none)");

    parse({"game.zv", "|", "other.zv"});
    EXPECT_EQ(loaded_name(), "game.zv");
    std::string long_word(1500, 'p');
    parse({"-p", long_word});
    EXPECT_EQ(std::strlen(pstate.pending_parameter), 1024u);
    parse({"-gif_len"});
    EXPECT_EQ(app.gif_length, 8);
    std::free(auto_load_fn);
    auto_load_fn = nullptr;
}

TEST(ConfigKeys, LinesOfTheFile) {
    std::memset(&app, 0, sizeof app);
    set_default_app_config();
    std::memset(&pstate, 0, sizeof pstate);
    zorva_load_config("root_path /home/u/carts/");
    EXPECT_STREQ(pstate.root_path, "/home/u/carts/");
    zorva_load_config("root_path /home/u/carts/part");
    EXPECT_STREQ(pstate.root_path, "/home/u/carts/");
    zorva_load_config("root_path C:\\zorva\\carts\\x");
    EXPECT_STREQ(pstate.root_path, "C:\\zorva\\carts\\");
    zorva_load_config("root_path nowhere");
    EXPECT_STREQ(pstate.root_path, "");
    zorva_load_config("cdata_path /data/with space/cd");
    EXPECT_STREQ(pstate.cdata_path, "/data/with space/");
    zorva_load_config("cdata_path");
    EXPECT_STREQ(pstate.cdata_path, "");

    zorva_load_config("joystick_index 3");
    zorva_load_config("live_notes 1");
    zorva_load_config("cursor_snap 1");
    zorva_load_config("gif_len 30");
    zorva_load_config("gui_theme 2");
    zorva_load_config("screenshot_scale 6");
    zorva_load_config("gif_scale 9");    // written only
    zorva_load_config("shift_glyphs 0");
    zorva_load_config("gif_len many");   // not a number: kept
    zorva_load_config("// gif_len 99");
    zorva_load_config("version 0.1.11b");
    EXPECT_EQ(app.joystick_index, 3);
    EXPECT_EQ(app.live_notes, 1);
    EXPECT_EQ(app.cursor_snap, 1);
    EXPECT_EQ(app.gif_length, 30);
    EXPECT_EQ(app.gui_theme, 2);
    EXPECT_EQ(app.screenshot_scale, 6);
    EXPECT_EQ(app.gif_scale, 2);
    EXPECT_EQ(app.shift_glyphs, 0);

    zorva_load_config("button_keys 1 2 3 4 5 6 7 8 9 10 11 12 13");
    for (int i = 0; i < APP_BUTTON_KEYS; i++) EXPECT_EQ(app.button_keys[i], i + 1);
    zorva_load_config("button_keys 40 41 x 50");   // stops at the first word that is no number
    EXPECT_EQ(app.button_keys[0], 40);
    EXPECT_EQ(app.button_keys[1], 41);
    EXPECT_EQ(app.button_keys[2], 3);
}

TEST(ConfigKeys, TheApplicationBlock) {
    std::memset(&app, 0, sizeof app);
    set_default_app_config();
    std::memset(&pstate, 0, sizeof pstate);
    std::strcpy(pstate.root_path, "/r/");
    std::strcpy(pstate.cdata_path, "/c/");
    app.button_keys[0] = 80;
    app.button_keys[12] = 19;
    bbs_host[0] = 0;
    cbuffer *out = tamu_create_buffer(0);
    zorva_save_config(out);
    std::string text(reinterpret_cast<char *>(out->data), size_t(out->size));
    tamu_destroy_buffer(out);
    EXPECT_EQ(text,
              "version 0.1.11b\n\n"
              "\n// Location of zorva's root folder\nroot_path /r/\n\n"
              "\n// Location of cartridge save data\ncdata_path /c/\n\n"
              "\n// Specify which player index joystick control begins at (0..7)\njoystick_index 0\n\n"
              "\n// Custom keyboard scancodes for buttons. player0 0..6, player1 0..5\n"
              "button_keys 80 0 0 0 0 0 0 0 0 0 0 0 19 \n\n"
              "// Play notes as they are plotted in frequency mode\nlive_notes 0\n\n"
              "// iff 1: when using keyboard cursor, snap to closest pixel / map cel\ncursor_snap 0\n\n"
              "// maximum length of gif in seconds (1..120, default 8)\ngif_len 8\n\n"
              "// 0 classic  1 dark blue background in code editor\ngui_theme 0\n\n"
              "// scale of screenshots and gifs // 2 means 256x256\nscreenshot_scale 3\ngif_scale 2\n\n"
              "// when 1 can enter glyphs using shift-A..Z\nshift_glyphs 1\n\n"
              "// the cart forum the cart browser fetches lists and carts from: host or host:port\n"
              "// (empty: none, and nothing is contacted)\nbbs_host \n\n");
}

TEST(ConfigKeys, TheForumAddressIsASetting) {
    struct {
        const char *line, *host;
    } cases[] = {
        {"bbs_host forum.example", "forum.example"},
        {"bbs_host   127.0.0.1:8080  \r", "127.0.0.1:8080"},
        {"bbs_host [::1]:80", "[::1]:80"},
        {"bbs_host", ""},
        {"bbs_host ", ""},
        // No path, user, scheme or query rides along: no forum at all.
        {"bbs_host evil.example/x?", ""},
        {"bbs_host user@evil.example", ""},
        {"bbs_host http://forum.example", ""},
        {"bbs_host two words", ""},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.line);
        std::snprintf(bbs_host, sizeof bbs_host, "old.example");
        zorva_load_config(c.line);
        EXPECT_STREQ(bbs_host, c.host);
    }
    std::string long_host = "bbs_host " + std::string(300, 'a');
    zorva_load_config(long_host.c_str());
    EXPECT_STREQ(bbs_host, "");
}

TEST(Startup, DefaultsFoldersDataPodAndScreen) {
    shell_session s;
    EXPECT_EQ(app.gif_length, 8);
    EXPECT_EQ(app.screenshot_scale, 3);
    EXPECT_EQ(app.gif_scale, 2);
    EXPECT_EQ(app.gpio_base, -1);
    EXPECT_EQ(app.shift_glyphs, 1);
    EXPECT_EQ(app.keyboard_cursor, 0);
    for (const char *folder : {"carts", "backup", "cdata", "cstore", "plates", "bbs", "bbs/carts", "bbs/labels"})
        EXPECT_TRUE(tamu_directory_exists(appdata_path(folder).c_str())) << folder;
    EXPECT_EQ(std::string(pstate.root_path), appdata_path("carts/"));
    EXPECT_EQ(std::string(pstate.cdata_path), appdata_path("cdata/"));

    // What the data pod holds.
    ASSERT_NE(pstate.data_pod, nullptr);
    ASSERT_NE(pstate.boot_sound_cart, nullptr);
    EXPECT_GT(pstate.boot_sound_cart->sfx[0].notes[0].volume, 0);
    ASSERT_NE(pstate.resource_pod, nullptr);
    ASSERT_NE(pstate.font_pod, nullptr);
    EXPECT_EQ(pstate.font_pod->count, 256);
    EXPECT_STREQ(tamu_state.window_title, "zorva");
    // The palette: colour 7 of the resources is the video palette's.
    auto *palette = static_cast<cpalette *>(cpod_get_item(pstate.resource_pod, 1, CPOD_ITEM_PALETTE));
    ASSERT_NE(palette, nullptr);
    ASSERT_NE(tamu_palette, nullptr);
    EXPECT_EQ(std::memcmp(tamu_palette->rgb, palette->rgb, sizeof palette->rgb), 0);
    auto *cart_template = static_cast<cbitmap *>(cpod_get_item(pstate.resource_pod, 145, CPOD_ITEM_BITMAP));
    ASSERT_NE(cart_template, nullptr);
    EXPECT_EQ(cart_template->width, 160);
    EXPECT_EQ(cart_template->height, 205);

    ASSERT_NE(tamu_back_page, nullptr);
    EXPECT_EQ(tamu_back_page->width, 128);
    EXPECT_EQ(tamu_back_page->bpp, 8);
    for (cbitmap *b : {pstate.screen, pstate.back_page, app.capture}) {
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->width, 128);
        EXPECT_EQ(b->height, 128);
    }
    for (ctext *tab : pstate.code_tabs) {
        ASSERT_NE(tab, nullptr);
        EXPECT_EQ(tab->max_len, 0x10002);
        EXPECT_EQ(tab->cell_w, 4);
        EXPECT_EQ(tab->line_h, 6);
    }
    EXPECT_NE(working_cart(), nullptr);
    EXPECT_NE(pstate.live_cart, nullptr);
    EXPECT_EQ(std::strlen(pstate.working_sha1), 40u);
    EXPECT_EQ(cconfig.console_sound_mode, 1);
    EXPECT_EQ(pstate.MODE, MODE_BOOT);
    EXPECT_EQ(pstate.frame_counter, -15);
}

TEST(Startup, ApplicationKeysAreReadAtStartAndWrittenAtExit) {
    std::string folder = test_home() + "/.ostrel/zorva";
    std::filesystem::create_directories(folder);
    std::string kept_root = test_home() + "/mycarts/";
    std::filesystem::create_directories(kept_root);
    write_file(folder + "/config.txt",
               "sound_volume 200\n"
               "root_path " + kept_root + "partial\n"
               "cdata_path /no/such/folder/\n"
               "joystick_index 2\n"
               "button_keys 4 5 6 7 8 9 10 11 12 13 14 15 16\n"
               "gif_len 12\n"
               "gif_scale 7\n"
               "bbs_host forum.example:8080\n");
    {
        shell_session s({"-gui_theme", "1"}, true);
        EXPECT_EQ(std::string(pstate.root_path), kept_root);
        EXPECT_EQ(std::string(pstate.cdata_path), appdata_path("cdata/"));   // missing: falls back
        EXPECT_EQ(app.joystick_index, 2);
        EXPECT_EQ(app.button_keys[12], 16);
        EXPECT_EQ(app.gif_length, 12);
        EXPECT_EQ(app.gif_scale, 2);
        EXPECT_EQ(app.gui_theme, 1);
        EXPECT_STREQ(bbs_host, "forum.example:8080");
    }
    std::string text = read_text(folder + "/config.txt");
    size_t block = text.find("version 0.1.11b\n\n");
    ASSERT_NE(block, std::string::npos) << text;
    std::vector<std::string> order = {"root_path " + kept_root + "\n", "cdata_path ", "joystick_index 2\n",
                                      "button_keys 4 5 6 7 8 9 10 11 12 13 14 15 16 \n", "live_notes 0\n",
                                      "cursor_snap 0\n", "gif_len 12\n", "gui_theme 1\n",
                                      "screenshot_scale 3\ngif_scale 2\n\n", "shift_glyphs 1\n\n",
                                      "bbs_host forum.example:8080\n\n"};
    size_t at = block;
    for (const std::string &key : order) {
        size_t found = text.find(key, at);
        ASSERT_NE(found, std::string::npos) << key << " after " << at << " in\n" << text;
        at = found + key.size();
    }
    EXPECT_EQ(at, text.size());   // the application's block ends the file
    EXPECT_NE(text.find("sound_volume 200"), std::string::npos);
}

TEST(Startup, ExecRunsTheNamedCartAtOnceWithItsParameter) {
    std::string cart = test_home() + "/param.zv";
    write_file(cart, "zorva cartridge\nversion 11\n__lua__\nseen = stat(6)\nfunction _update() end\n");
    shell_session s({"-x", cart, "-p", "level2"});
    EXPECT_EQ(app.autoload_ok, 1);
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(pstate.REQUEST, REQUEST_RUN);
    EXPECT_EQ(cconfig.headless, 1);
    EXPECT_EQ(std::string(pstate.working_file_name), cart);
    s.pass();
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
    EXPECT_STREQ(pstate.parameter, "level2");
    EXPECT_FALSE(printed_line("booting cartridge.."));
}

// Without -x, a cart on the command line takes the main cart's place: with
// -run it runs when the boot sequence ends; without, the boot ends in the
// editor view with it loaded.
// Named alone or with -run, the cart runs after the boot sequence (the
// editor view, which takes no input, is never opened for it).
TEST(Startup, ACartNamedOnTheCommandLineReplacesTheMainCartAndRuns) {
    std::string cart = test_home() + "/mine.zv";
    write_file(cart, "zorva cartridge\nversion 11\n__lua__\nfunction _update() end\n");
    for (std::vector<std::string> args : {std::vector<std::string>{"-run", cart}, std::vector<std::string>{cart}}) {
        shell_session s(args);
        EXPECT_EQ(app.autoload_ok, 1);
        EXPECT_EQ(pstate.MODE, MODE_BOOT);
        for (int i = 0; i < 200 && pstate.MODE != MODE_RUNNING; i++) s.pass();
        EXPECT_EQ(pstate.MODE, MODE_RUNNING) << args.size();
        EXPECT_EQ(pstate.running, 1);
        EXPECT_EQ(pstate.view, 0);
        EXPECT_EQ(std::string(pstate.working_file_name), cart);
    }
}

TEST(Startup, ShutDownFreesEverythingItMade) {
    {
        shell_session s;
        s.passes(5);
    }
    std::string log = read_text(appdata_path("log.txt"));
    EXPECT_NE(log.find("tamu_items_created: 0\n"), std::string::npos) << log;
}

}  // namespace
