// Cart storage: loading a cart file as the working cart (name variants,
// forms, its private cstore file), saving it (forms, limits, backups,
// failures that must keep the old file), quick save and quick load, the
// embedded carts of the data pod, the files behind reload() and cstore()
// (forms, the touched-file limit, names kept inside "cstore/"), and the
// clipboard transfer.
#include "shell_session.h"

#include "cart_forms.h"
#include "lua.h"
#include "tamu_pod.h"
#include "zorva_cpu.h"
#include "zorva_memory.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int K_R = 21, K_S = 22;

// Test homes outlive a run of the tests: each test starts without the
// files earlier runs saved.
void forget_saved_files() {
    for (const char *folder : {"cstore", "backup", "_clip.zv.png"}) std::filesystem::remove_all(appdata_path(folder));
    std::filesystem::remove_all(test_home() + "/work");
    std::filesystem::create_directories(test_home() + "/work");
}

// A folder of the test's own for cart files.
std::string work(const std::string &name) { return test_home() + "/work/" + name; }

void with_file_size_limit(rlim_t limit, const std::function<void()> &body) {
    rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &small);
    body();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);
}

bool file_exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string text_cart(const std::string &code) { return "zorva cartridge\nversion 11\n__lua__\n" + code + "\n"; }

// A cart with the given code and every ROM byte from the seed.
zorva_cart *seeded_cart(const std::string &code, unsigned seed) {
    zorva_cart *cart = cart_from_code(code);
    std::mt19937 rng(seed);
    for (int a = 0; a < CART_ROM_SIZE; a++) zorva_poke(nullptr, cart, a, int(rng() & 255));
    return cart;
}

std::vector<uint8_t> rom_of(zorva_cart *cart) {
    std::vector<uint8_t> rom(CART_ROM_SIZE);
    for (int a = 0; a < CART_ROM_SIZE; a++) rom[size_t(a)] = uint8_t(zorva_peek(nullptr, cart, a));
    return rom;
}

// The ROM of the cart file at path, read by its form; empty when it does
// not read.
std::vector<uint8_t> rom_of_file(const std::string &path) {
    zorva_cart *cart = load_zorva_cart_any_format(path.c_str());
    if (!cart) return {};
    std::vector<uint8_t> rom = rom_of(cart);
    tamu_destroy_zorva_cart(cart);
    return rom;
}

std::string code_of_file(const std::string &path) {
    zorva_cart *cart = load_zorva_cart_any_format(path.c_str());
    std::string code = cart && cart->code ? cart->code : "(none)";
    tamu_destroy_zorva_cart(cart);
    return code;
}

void write_png_cart(const std::string &path, zorva_cart *cart) {
    ASSERT_EQ(save_zorva_cart_png(cart, path.c_str()), 0);
    tamu_destroy_zorva_cart(cart);
}

void write_text_cart(const std::string &path, zorva_cart *cart) {
    ASSERT_EQ(tamu_save_zorva_cart(cart, path.c_str()), ZORVA_CART_OK);
    tamu_destroy_zorva_cart(cart);
}

std::string working_code() { return working_cart() && working_cart()->code ? working_cart()->code : ""; }
std::string working_name() { return pstate.working_file_name; }

bool printed_in(const std::string &text, int colour) {
    for (auto &[line, c] : printed)
        if (line == text && c == colour) return true;
    return false;
}

// Code that hardly compresses: over 15360 bytes once compressed.
std::string incompressible_code(int length) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789 ";
    std::mt19937 rng(7);
    std::string code = "-- noise\n";
    while (int(code.size()) < length) code += (code.size() % 60 == 0) ? '\n' : letters[rng() % 37];
    return code;
}

// ---------------------------------------------------------------------------
// Names and loading

TEST(CartStorage, ZvIsPutIntoNamesWithoutIt) {
    struct Case {
        const char *name, *expected;
    } cases[] = {
        {"a", "a.zv"},
        {"a.png", "a.zv.png"},
        {"a.txt", "a.txt.zv"},
        {"dir.x/a", "dir.x/a.zv"},
        {"/home/d.zv/notes", "/home/d.zv/notes.zv"},   // only the file's own name counts
        {"/p/q/b.png", "/p/q/b.zv.png"},
        {"a.zv", "a.zv"},
        {"a.zv.png", "a.zv.png"},
        {"", ".zv"},
    };
    for (const Case &c : cases) {
        char out[ZORVA_PATH_SIZE];
        EXPECT_EQ(inject_zv_extention(c.name, out), 0) << c.name;
        EXPECT_STREQ(out, c.expected) << c.name;
    }
    std::string long_name(1021, 'n');
    char out[ZORVA_PATH_SIZE];
    EXPECT_EQ(inject_zv_extention(long_name.c_str(), out), 1);
    EXPECT_STREQ(out, "");
}

TEST(CartStorage, LoadingTriesTheNameVariants) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    write_png_cart(work("c1.zv.png"), cart_from_code("-- c1"));
    write_text_cart(work("c2.zv"), cart_from_code("-- c2"));
    write_png_cart(work("c3.png"), cart_from_code("-- c3"));
    write_png_cart(work("c4.zv.png"), cart_from_code("-- c4"));
    write_file(work("c6.zv"), "not a cart");
    write_png_cart(work("c6.zv.png"), cart_from_code("-- c6"));
    struct Case {
        std::string name;
        std::string loaded;   // empty: the load fails
        std::string code;
    } cases[] = {
        {"c1", "c1.zv.png", "-- c1"},   // only the .zv.png file exists
        {"c2", "c2.zv", "-- c2"},
        {"c2.zv", "c2.zv", "-- c2"},
        {"c3", "c3.png", "-- c3"},     // the name with ".png" added
        {"c4.png", "c4.zv.png", "-- c4"},
        {"c6.zv", "c6.zv.png", "-- c6"},   // the text file does not read
        {"c5", "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        prepare_loaded_cart(cart_from_code("-- before"), work("before.zv").c_str());
        int result = load_working_cart(work(c.name).c_str());
        if (c.loaded.empty()) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(working_code(), "-- before");
            EXPECT_EQ(working_name(), work("before.zv"));
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(working_code(), c.code);
            EXPECT_EQ(working_name(), work(c.loaded));
        }
    }
    // A running cart gets the name it gives and nothing else.
    pstate.MODE = MODE_RUNNING;
    pstate.running = 1;
    EXPECT_EQ(load_working_cart(work("c1").c_str()), 1);
    EXPECT_EQ(load_working_cart(work("c2.zv").c_str()), 0);
    pstate.running = 0;
    pstate.MODE = MODE_CONSOLE;
}

// A cart's private cstore file, when there is one, gives the loaded cart
// its ROM; a cart without a name is known by that file's name.
TEST(CartStorage, LoadedCartsTakeTheirPrivateCstoreFile) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    zorva_cart *plain = cart_from_code("-- mine");
    char sha1[41];
    ASSERT_EQ(hash_cart(plain, sha1), 0);
    std::string own = get_sandboxed_cstore_filename(sha1);
    EXPECT_EQ(own, appdata_path("cstore/__" + std::string(sha1) + ".zv"));

    prepare_loaded_cart(plain, nullptr);
    EXPECT_EQ(working_name(), own);
    EXPECT_STREQ(pstate.working_sha1, sha1);
    EXPECT_EQ(zorva_peek(nullptr, working_cart(), 0x100), 0);

    zorva_cart *stored = tamu_create_zorva_cart();
    zorva_poke(nullptr, stored, 0x100, 0x5A);
    zorva_poke(nullptr, stored, 0x3200, 0x21);
    write_text_cart(own, stored);
    prepare_loaded_cart(cart_from_code("-- mine"), work("mine.zv").c_str());
    EXPECT_EQ(working_name(), work("mine.zv"));
    EXPECT_STREQ(pstate.working_sha1, sha1);   // the hash of the cart as loaded
    EXPECT_EQ(zorva_peek(nullptr, working_cart(), 0x100), 0x5A);
    EXPECT_EQ(zorva_peek(nullptr, working_cart(), 0x3200), 0x21);
    EXPECT_EQ(working_code(), "-- mine");
}

// Carts whose code does not fit a 32K image still get a hash of their own.
TEST(CartStorage, CartsTooBigForAnImageHaveTheirOwnHash) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    std::string big = incompressible_code(30000);
    prepare_loaded_cart(cart_from_code(big), nullptr);
    std::string first = pstate.working_sha1;
    prepare_loaded_cart(cart_from_code(big + "x"), nullptr);
    std::string second = pstate.working_sha1;
    prepare_loaded_cart(cart_from_code("-- small"), nullptr);
    std::string third = pstate.working_sha1;
    EXPECT_EQ(first.size(), 40u);
    EXPECT_NE(first, second);
    EXPECT_NE(second, third);
    EXPECT_NE(first, third);
}

// ---------------------------------------------------------------------------
// Saving

TEST(CartStorage, SavingChoosesTheFormByName) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    prepare_loaded_cart(seeded_cart("-- saved\nfunction _draw() end", 3), nullptr);
    std::vector<uint8_t> rom = rom_of(working_cart());
    struct Case {
        const char *name, *written;
        bool png;
    } cases[] = {
        {"x.png", "x.zv.png", true},
        {"x.zv.png", "x.zv.png", true},
        {"y", "y.zv", false},
        {"z.zv", "z.zv", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        printed.clear();
        ASSERT_EQ(save_working_cart(work(c.name).c_str()), 0);
        EXPECT_EQ(working_name(), work(c.written));
        EXPECT_EQ(rom_of_file(work(c.written)), rom);
        EXPECT_EQ(code_of_file(work(c.written)), "-- saved\nfunction _draw() end");
        EXPECT_EQ(read_file(work(c.written)).rfind(c.png ? "\x89PNG" : "zorva cartridge", 0), 0u);
        // No label: the PNG cart is saved with a warning.
        EXPECT_EQ(printed_in("warning: label is blank", 9), c.png);
        EXPECT_EQ(printed_in("run cart and use f7 to capture", 10), c.png);
    }
    EXPECT_FALSE(file_exists(work("x.png")));
    EXPECT_FALSE(file_exists(work("y")));

    // Saving records the hash of what was saved.
    zorva_poke(nullptr, working_cart(), 0, 0x11);
    ASSERT_EQ(save_working_cart(work("z.zv").c_str()), 0);
    char sha1[41];
    ASSERT_EQ(hash_cart(working_cart(), sha1), 0);
    EXPECT_STREQ(pstate.working_sha1, sha1);
}

TEST(CartStorage, SavingRefusesWhatDoesNotFit) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    // Code that cannot be compressed into a PNG cartridge.
    prepare_loaded_cart(cart_from_code(incompressible_code(30000)), work("noise.zv").c_str());
    printed.clear();
    EXPECT_EQ(save_working_cart(work("noise.png").c_str()), 1);
    EXPECT_TRUE(printed_in("compressed code size too large\n", 8));
    ASSERT_FALSE(printed.empty());
    EXPECT_NE(printed.back().first.find(" / 15360 bytes"), std::string::npos) << printed.back().first;
    EXPECT_FALSE(file_exists(work("noise.zv.png")));
    EXPECT_EQ(working_name(), work("noise.zv"));
    // ... which a text cart holds, with a warning.
    printed.clear();
    EXPECT_EQ(save_working_cart(work("noise2.zv").c_str()), 0);
    EXPECT_TRUE(printed_in("warning: compressed program too\n", 9));
    EXPECT_TRUE(printed_in("large to save in .zv.png format\n", 9));
    EXPECT_TRUE(printed_line("(saving .zv anyway)\n"));
    EXPECT_EQ(code_of_file(work("noise2.zv")), incompressible_code(30000));

    // Code over 65536 characters is saved in no form.
    zorva_cart *huge = tamu_create_zorva_cart();
    std::memset(huge->code, 'a', ZORVA_CODE_LIMIT + 1);
    huge->code[ZORVA_CODE_LIMIT + 1] = 0;
    prepare_loaded_cart(huge, work("huge.zv").c_str());
    for (const char *name : {"huge.zv", "huge2.zv", "huge.png"}) {
        printed.clear();
        EXPECT_EQ(save_working_cart(work(name).c_str()), 1) << name;
        EXPECT_TRUE(printed_line("program over size limit\n")) << name;
    }
    EXPECT_FALSE(file_exists(work("huge.zv")));
    EXPECT_FALSE(file_exists(work("huge2.zv")));
}

// Saving over a file other than the working cart's own keeps the old one
// in backup/ first, whole, however long it is.
TEST(CartStorage, SavingOverAnotherFileBacksItUp) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    prepare_loaded_cart(cart_from_code("-- new"), work("new.zv").c_str());
    const std::string old_content = text_cart("-- old");
    write_file(work("other.zv"), old_content);
    ASSERT_EQ(save_working_cart(work("other.zv").c_str()), 0);
    EXPECT_EQ(read_file(appdata_path("backup/other.zv")), old_content);
    EXPECT_STREQ(app.message_text, "** overwriting; saved backup **");
    EXPECT_EQ(app.message_end - app.message_start, 2500);
    EXPECT_EQ(code_of_file(work("other.zv")), "-- new");

    // Its own file is kept too before it is saved over (a cart edited by
    // hand, then saved), with no warning.
    app.message_text[0] = 0;
    std::filesystem::remove(appdata_path("backup/other.zv"));
    const std::string saved_once = read_file(work("other.zv"));
    prepare_loaded_cart(cart_from_code("-- newer"), work("other.zv").c_str());
    ASSERT_EQ(save_working_cart(work("other.zv").c_str()), 0);
    EXPECT_STREQ(app.message_text, "");
    EXPECT_EQ(read_file(appdata_path("backup/other.zv")), saved_once);
    EXPECT_EQ(code_of_file(work("other.zv")), "-- newer");

    std::string big(2 << 20, 'b');
    write_file(work("big.zv"), big);
    ASSERT_EQ(save_working_cart(work("big.zv").c_str()), 0);
    EXPECT_EQ(read_file(appdata_path("backup/big.zv")) == big, true);
}

// A save that fails says so and changes nothing: not the file, not the
// working file name.
TEST(CartStorage, FailedSavesLeaveTheOldFileWhole) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    prepare_loaded_cart(cart_from_code("-- new"), work("mine.zv").c_str());
    write_file(work("afile"), "x");
    const std::string old_content = text_cart("-- old");
    struct Case {
        const char *what;
        std::string path;
        std::function<int()> save;
        const char *console;   // printed, or null
    } cases[] = {
        {"missing folder", work("gone/x.zv"), [&] { return save_working_cart(work("gone/x.zv").c_str()); }, nullptr},
        {"folder is a file", work("afile/x.zv"), [&] { return save_working_cart(work("afile/x.zv").c_str()); },
         nullptr},
        {"full disk", work("full.zv"),
         [&] {
             int result = 0;
             write_file(work("full.zv"), old_content);
             with_file_size_limit(1000, [&] { result = save_working_cart(work("full.zv").c_str()); });
             return result;
         },
         nullptr},
        {"the old file cannot be backed up", work("kept.zv"),
         [&] {
             write_file(work("kept.zv"), old_content);
             std::filesystem::remove_all(appdata_path("backup"));
             write_file(appdata_path("backup"), "not a folder");
             int result = save_working_cart(work("kept.zv").c_str());
             std::filesystem::remove(appdata_path("backup"));
             return result;
         },
         "could not back up the old file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        printed.clear();
        app.message_text[0] = 0;
        EXPECT_EQ(c.save(), 1);
        EXPECT_STREQ(app.message_text, "** failed to save **");
        EXPECT_EQ(app.message_end - app.message_start, 1500);
        EXPECT_EQ(working_name(), work("mine.zv"));
        if (file_exists(c.path)) {
            EXPECT_EQ(read_file(c.path), old_content);
        }
        if (c.console) {
            EXPECT_TRUE(printed_line(c.console));
        }
    }
}

TEST(CartStorage, BackupsOfTheWorkingCart) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    prepare_loaded_cart(seeded_cart("-- kept", 5), nullptr);
    std::vector<uint8_t> rom = rom_of(working_cart());
    EXPECT_EQ(save_backup("", 0), 0);
    EXPECT_EQ(code_of_file(appdata_path("backup/untitled.zv")), "-- kept");
    EXPECT_EQ(save_backup(work("a/b/c.zv.png").c_str(), 0), 0);
    EXPECT_EQ(read_file(appdata_path("backup/c.zv.png")).rfind("\x89PNG", 0), 0u);
    EXPECT_EQ(rom_of_file(appdata_path("backup/c.zv.png")), rom);
    EXPECT_EQ(save_backup(work("missing.zv").c_str(), 1), 1);   // nothing to copy
}

// ---------------------------------------------------------------------------
// Quick save and quick load

TEST(CartStorage, QuickSave) {
    forget_saved_files();
    shell_session s;
    s.run_code("function _update() end", "unused.zv");
    std::string bbs_cart = appdata_path("bbs/carts/12345.zv.png");
    struct Case {
        std::string name;
        const char *message;
        int ms;
        bool written;
    } cases[] = {
        {"", "*** no filename. not saved! ***", 1500, false},
        {bbs_cart, "* can not overwrite bbs cart! *", 1500, false},
        {work("quick.zv"), "saved quick.zv\n", 1000, true},
        {work("quick.zv.png"), "saved quick.zv.png\n", 1000, true},
        {work("gone/quick.zv"), "** save failed **", 1500, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "%s", c.name.c_str());
        app.message_text[0] = 0;
        s.press(K_S, {K_LCTRL});
        EXPECT_STREQ(app.message_text, c.message);
        EXPECT_EQ(app.message_end - app.message_start, c.ms);
        EXPECT_EQ(file_exists(c.name), c.written);
        if (c.written) {
            EXPECT_EQ(code_of_file(c.name), "function _update() end");
        }
    }
    EXPECT_FALSE(file_exists(bbs_cart));
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);
}

// Ctrl+S rewrites a cart in the player's own form: the file as it was
// written by hand is kept in "backup/" first.
TEST(CartStorage, QuickSaveKeepsTheOldFileInBackup) {
    forget_saved_files();
    shell_session s;
    const std::string by_hand = "zorva cartridge // mine\nversion 11\n__lua__\n-- tabs\tand spacing   kept\n"
                                "function _update() end\n";
    write_file(work("hand.zv"), by_hand);
    s.to_console();
    ASSERT_EQ(load_working_cart(work("hand.zv").c_str()), 0);
    pstate.REQUEST = REQUEST_RUN;
    s.pass();
    s.press(K_S, {K_LCTRL});
    EXPECT_STREQ(app.message_text, "saved hand.zv\n");
    EXPECT_EQ(read_file(appdata_path("backup/hand.zv")), by_hand);
    EXPECT_NE(read_file(work("hand.zv")), by_hand);   // rewritten in the player's form
    EXPECT_EQ(code_of_file(work("hand.zv")), "-- tabs\tand spacing   kept\nfunction _update() end");
}

TEST(CartStorage, QuickLoadTakesOutsideChanges) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    const std::string path = work("edited.zv");
    write_file(path, text_cart("n = 1 function _update() end"));
    ASSERT_EQ(load_working_cart(path.c_str()), 0);
    pstate.REQUEST = REQUEST_RUN;
    s.pass();
    ASSERT_EQ(pstate.MODE, MODE_RUNNING);

    app.message_text[0] = 0;
    s.press(K_R, {K_LCTRL});
    s.passes(20);
    EXPECT_STREQ(app.message_text, "");   // unchanged: no message
    EXPECT_EQ(pstate.MODE, MODE_RUNNING);

    write_file(path, text_cart("n = 2 function _update() end"));
    s.press(K_R, {K_LCTRL});
    EXPECT_STREQ(app.message_text, "loaded external changes");
    EXPECT_EQ(app.message_end - app.message_start, 1000);
    EXPECT_EQ(working_code(), "n = 2 function _update() end");
    EXPECT_EQ(working_name(), path);
    s.passes(20);
    lua_getglobal(L0, "n");
    EXPECT_EQ(lua_tonumber(L0, -1), 2 << 16);   // restarted from the new code
    lua_pop(L0, 1);

    // A file that no longer reads changes nothing.
    write_file(path, "garbage");
    app.message_text[0] = 0;
    s.press(K_R, {K_LCTRL});
    EXPECT_STREQ(app.message_text, "");
    EXPECT_EQ(working_code(), "n = 2 function _update() end");
}

// ---------------------------------------------------------------------------
// Embedded carts

cfile *memory_file(const std::string &name, const void *bytes, int length) {
    cbuffer *file = tamu_create_buffer(length);
    if (length > 0) tamu_fwrite(bytes, 1, length, file);
    std::snprintf(file->name, sizeof file->name, "%s", name.c_str());
    return file;
}

cfile *image_item(const std::string &name, const std::string &code) {
    zorva_cart *cart = cart_from_code(code);
    std::vector<uint8_t> image(CART_IMAGE_SIZE);
    EXPECT_EQ(save_zorva_cart_32k(cart, image.data()), 0);
    tamu_destroy_zorva_cart(cart);
    return memory_file(name, image.data(), CART_IMAGE_SIZE);
}

// The data pod's carts: item 3 boots, items from 3 on are mounted, at most
// 64 of them; items that are not cart images (nested pods) are skipped.
TEST(CartStorage, EmbeddedCartsOfTheDataPod) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    cpod *pod = tamu_create_pod(0);
    for (int i = 0; i < 3; i++) cpod_add_item(pod, CPOD_ITEM_FILE, memory_file("res", "abc", 3));
    const int carts = 67;
    for (int k = 0; k < carts; k++) {
        if (k == 2) cpod_add_item(pod, CPOD_ITEM_FILE, memory_file("nested.pod", "CPOD....", 8));
        cpod_add_item(pod, CPOD_ITEM_FILE, image_item("emb" + std::to_string(k) + ".zv", "-- emb " + std::to_string(k)));
    }
    tamu_destroy_pod(pstate.data_pod);
    pstate.data_pod = pod;

    boot_embedded_cart();
    EXPECT_EQ(pstate.MODE, MODE_CONSOLE);
    EXPECT_EQ(pstate.REQUEST, REQUEST_RUN);
    EXPECT_EQ(working_code(), "-- emb 0");
    EXPECT_EQ(working_name(), "emb0.zv");
    EXPECT_EQ(working_cart()->version, ZORVA_CART_VERSION);
    EXPECT_EQ(embedded_carts, EMBEDDED_CARTS_MAX);
    EXPECT_STREQ(embedded_cart[0].name, "emb0.zv");   // the main cart counts as the first
    EXPECT_STREQ(embedded_cart[63].name, "emb63.zv");
    EXPECT_EQ(get_embedded_cart_hash_for_filename("emb64.zv"), nullptr);   // the 65th
    EXPECT_EQ(get_embedded_cart_hash_for_filename("nested.pod"), nullptr);
    EXPECT_STREQ(get_embedded_cart_hash_for_filename("emb0.zv"), pstate.working_sha1);
    const char *hash = get_embedded_cart_hash_for_filename("emb7.zv");
    ASSERT_NE(hash, nullptr);
    EXPECT_STREQ(get_embedded_cart_filename_for_hash(hash), "emb7.zv");
    EXPECT_EQ(get_embedded_cart_filename_for_hash("0000000000000000000000000000000000000000"), nullptr);

    // Loading by name finds an embedded cart wherever it is looked for.
    pstate.REQUEST = 0;
    ASSERT_EQ(load_working_cart(work("emb5.zv").c_str()), 0);
    EXPECT_EQ(working_code(), "-- emb 5");

    // Booting again starts from an empty table.
    boot_embedded_cart();
    EXPECT_EQ(embedded_carts, EMBEDDED_CARTS_MAX);
    clear_embedded_carts();
    EXPECT_EQ(embedded_carts, 0);
    EXPECT_EQ(get_embedded_cart_hash_for_filename("emb0.zv"), nullptr);
}

// ---------------------------------------------------------------------------
// reload() and cstore() with a file

TEST(CartStorage, ReloadFromCartFiles) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    zorva_cart *source = seeded_cart("-- source", 11);
    std::vector<uint8_t> rom = rom_of(source);
    ASSERT_EQ(tamu_save_zorva_cart(source, appdata_path("cstore/shared.zv").c_str()), ZORVA_CART_OK);
    ASSERT_EQ(save_zorva_cart_png(source, appdata_path("cstore/shared.zv.png").c_str()), 0);
    std::string hex, bin(rom.begin(), rom.end());
    for (uint8_t b : rom) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    write_file(appdata_path("cstore/shared.hex"), hex);
    write_file(appdata_path("cstore/shared.bin"), bin);

    auto live_bytes = [](int addr, int len) {
        std::vector<uint8_t> bytes;
        for (int i = 0; i < len; i++) bytes.push_back(uint8_t(zorva_peek(&pstate, pstate.live_cart, addr + i)));
        return bytes;
    };
    std::vector<uint8_t> expected(rom.begin() + 0x100, rom.begin() + 0x200);
    for (const char *name : {"shared.zv", "/shared.zv", "shared.zv.png", "shared.hex", "shared.bin"}) {
        SCOPED_TRACE(name);
        for (int i = 0; i < 256; i++) zorva_poke(&pstate, pstate.live_cart, 0x4300 + i, 0);
        EXPECT_EQ(zorva_shell.reload_from_file(name, 0x4300, 0x100, 256), 0);
        EXPECT_EQ(live_bytes(0x4300, 256), expected);
    }
    EXPECT_EQ(zorva_shell.reload_from_file("missing.zv", 0x4300, 0, 16), 1);

    // Another file than the last holds the cart for 30 frames; the same one
    // again does not.
    pstate.hold_counter = 0;
    EXPECT_EQ(zorva_shell.reload_from_file("shared.zv", 0x4300, 0, 16), 0);
    EXPECT_EQ(pstate.hold_counter, 30);
    pstate.hold_counter = 0;
    EXPECT_EQ(zorva_shell.reload_from_file("shared.zv", 0x4300, 0, 16), 0);
    EXPECT_EQ(pstate.hold_counter, 0);
    // A length outside 1..32767 copies nothing.
    zorva_poke(&pstate, pstate.live_cart, 0x4300, 0xEE);
    EXPECT_EQ(zorva_shell.reload_from_file("shared.zv", 0x4300, 0x100, 0x7FFFFFFF), 0);
    EXPECT_EQ(zorva_peek(&pstate, pstate.live_cart, 0x4300), 0xEE);

    // An embedded cart: its private cstore file when it has one, else the
    // cart itself.
    clear_embedded_carts();
    ASSERT_EQ(mount_embedded_cart(source, "inner.zv"), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(zorva_shell.reload_from_file("inner.zv", 0x4300, 0x100, 256), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " using internal\n");
    EXPECT_EQ(live_bytes(0x4300, 256), expected);
    // (a disk file of the same name elsewhere is not the embedded cart)
    write_file(test_home() + "/inner.zv", text_cart("-- impostor"));
    EXPECT_EQ(zorva_shell.reload_from_file("inner.zv", 0x4300, 0x100, 256), 0);
    EXPECT_EQ(live_bytes(0x4300, 256), expected);

    zorva_cart *stored = tamu_create_zorva_cart();
    zorva_poke(nullptr, stored, 0x100, 0x42);
    write_text_cart(get_sandboxed_cstore_filename(get_embedded_cart_hash_for_filename("inner.zv")), stored);
    testing::internal::CaptureStdout();
    EXPECT_EQ(zorva_shell.reload_from_file("inner.zv", 0x4300, 0x100, 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(zorva_peek(&pstate, pstate.live_cart, 0x4300), 0x42);
    tamu_destroy_zorva_cart(source);
    clear_embedded_carts();
}

TEST(CartStorage, CstoreToCartFiles) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    prepare_loaded_cart(seeded_cart("-- running", 13), work("running.zv").c_str());
    for (int i = 0; i < 64; i++) zorva_poke(&pstate, pstate.live_cart, 0x4300 + i, i + 1);
    std::vector<uint8_t> stored(64);
    for (int i = 0; i < 64; i++) stored[size_t(i)] = uint8_t(i + 1);
    auto rom_part = [](const std::vector<uint8_t> &rom, int from, int len) {
        return rom.size() < size_t(from + len) ? std::vector<uint8_t>() : std::vector<uint8_t>(rom.begin() + from, rom.begin() + from + len);
    };

    // The cart's own private file: the working cart gets the bytes too.
    std::string own = get_sandboxed_cstore_filename(pstate.working_sha1);
    EXPECT_EQ(zorva_shell.cstore_to_file(nullptr, 0x200, 0x4300, 64), 0);
    EXPECT_EQ(rom_part(rom_of_file(own), 0x200, 64), stored);
    EXPECT_EQ(rom_part(rom_of(working_cart()), 0x200, 64), stored);
    EXPECT_EQ(pstate.hold_counter, 30);

    // A shared file: the working cart stays as it is; a later store keeps
    // what the file held.
    std::vector<uint8_t> before = rom_of(working_cart());
    EXPECT_EQ(zorva_shell.cstore_to_file("shared.zv", 0, 0x4300, 64), 0);
    EXPECT_EQ(zorva_shell.cstore_to_file("/shared.zv", 0x1000, 0x4300, 8), 0);
    std::vector<uint8_t> file_rom = rom_of_file(appdata_path("cstore/shared.zv"));
    EXPECT_EQ(rom_part(file_rom, 0, 64), stored);
    EXPECT_EQ(rom_part(file_rom, 0x1000, 8), rom_part(stored, 0, 8));
    EXPECT_EQ(rom_of(working_cart()), before);
    // A PNG name is a PNG cartridge.
    EXPECT_EQ(zorva_shell.cstore_to_file("pic.zv.png", 0, 0x4300, 64), 0);
    EXPECT_EQ(read_file(appdata_path("cstore/pic.zv.png")).rfind("\x89PNG", 0), 0u);
    EXPECT_EQ(rom_part(rom_of_file(appdata_path("cstore/pic.zv.png")), 0, 64), stored);

    // An embedded cart's name is its private file.
    clear_embedded_carts();
    zorva_cart *inner = cart_from_code("-- inner");
    ASSERT_EQ(mount_embedded_cart(inner, "inner.zv"), 0);
    tamu_destroy_zorva_cart(inner);
    EXPECT_EQ(zorva_shell.cstore_to_file("inner.zv", 0, 0x4300, 64), 0);
    std::string inner_file = get_sandboxed_cstore_filename(get_embedded_cart_hash_for_filename("inner.zv"));
    EXPECT_EQ(rom_part(rom_of_file(inner_file), 0, 64), stored);
    clear_embedded_carts();

    // The cstore folder is made again when it went missing.
    std::filesystem::remove_all(appdata_path("cstore"));
    EXPECT_EQ(zorva_shell.cstore_to_file("again.zv", 0, 0x4300, 64), 0);
    EXPECT_EQ(rom_part(rom_of_file(appdata_path("cstore/again.zv")), 0, 64), stored);
}

// Whatever a file held stays when cstore cannot add to it.
TEST(CartStorage, CstoreNeverLosesAFile) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    prepare_loaded_cart(cart_from_code("-- running"), work("running.zv").c_str());
    write_file(appdata_path("cstore/notes.zv"), "my notes, not a cart");
    EXPECT_EQ(cstore_cart_partial(appdata_path("cstore/notes.zv").c_str(), 0, 0x4300, 16, 0), 2);
    EXPECT_EQ(read_file(appdata_path("cstore/notes.zv")), "my notes, not a cart");

    ASSERT_EQ(cstore_cart_partial(appdata_path("cstore/full.zv").c_str(), 0, 0x4300, 16, 0), 0);
    const std::string old_content = read_file(appdata_path("cstore/full.zv"));
    zorva_poke(&pstate, pstate.live_cart, 0x4300, 0x77);
    int result = 0;
    with_file_size_limit(1000, [&] { result = cstore_cart_partial(appdata_path("cstore/full.zv").c_str(), 0, 0x4300, 16, 0); });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(read_file(appdata_path("cstore/full.zv")), old_content);
}

// A run of the player writes to at most 256 files; writing again to one
// of them always works.
TEST(CartStorage, CstoreFileLimit) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    prepare_loaded_cart(cart_from_code("-- running"), work("running.zv").c_str());
    char name[32];
    for (int i = 0; i < CSTORE_FILES_MAX; i++) {
        std::snprintf(name, sizeof name, "t%03d.zv", i);
        ASSERT_EQ(cstore_cart_partial(appdata_path(std::string("cstore/") + name).c_str(), 0, 0x4300, 4, 0), 0) << name;
    }
    EXPECT_EQ(cstore_cart_partial(appdata_path("cstore/t000.zv").c_str(), 0, 0x4300, 4, 0), 0);
    EXPECT_EQ(cstore_cart_partial(appdata_path("cstore/t256.zv").c_str(), 0, 0x4300, 4, 0), 3);
    // A name that begins another one on the list is a file of its own.
    EXPECT_EQ(cstore_cart_partial(appdata_path("cstore/t00").c_str(), 0, 0x4300, 4, 0), 3);
    EXPECT_FALSE(file_exists(appdata_path("cstore/t256.zv")));
    EXPECT_FALSE(file_exists(appdata_path("cstore/t00")));
    // Through the cart function: 0 for the refused file.
    pstate.hold_counter = 0;
    s.run_code("a = cstore(0, 0x4300, 4, 't001.zv') b = cstore(0, 0x4300, 4, 'new.zv')");
    lua_getglobal(L0, "a");
    lua_getglobal(L0, "b");
    EXPECT_EQ(lua_tonumber(L0, -2), 4 << 16);
    EXPECT_EQ(lua_tonumber(L0, -1), 0);
    lua_pop(L0, 2);
}

// The names carts give stay inside the cstore folder.
TEST(CartStorage, CartFileNamesStayInTheCstoreFolder) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    struct Case {
        std::string name;
        std::string file;   // under cstore/; empty: refused
    } cases[] = {
        {"x.zv", "x.zv"},
        {"/x.zv", "x.zv"},
        {"with space.zv.png", "with space.zv.png"},
        {"a..b", "a..b"},   // no ".." of its own
        {"../escape.zv", ""},
        {"/../escape.zv", ""},
        {"sub/x.zv", ""},
        {"//x.zv", ""},
        {"..\\escape.zv", ""},
        {"c:escape.zv", ""},
        {"a|b", ""},
        {"__0123456789012345678901234567890123456789.zv", ""},
        {"/__private.zv", ""},
        {"", ""},
        {"/", ""},
        {"tab\there", ""},
        {std::string(1100, 'n'), ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        char path[ZORVA_PATH_SIZE];
        EXPECT_EQ(get_shared_cstore_filename(c.name.c_str(), path), c.file.empty() ? 1 : 0);
        EXPECT_EQ(std::string(path), c.file.empty() ? "" : appdata_path("cstore/" + c.file));
    }

    prepare_loaded_cart(cart_from_code("-- running"), work("running.zv").c_str());
    s.run_code(
        "a = cstore(0, 0x4300, 8, '../escape.zv')\n"
        "b = reload(0, 0, 8, '../escape.zv')\n"
        "c = cstore(0, 0x4300, 8, '/__x.zv')\n"
        "d = cstore(0, 0x4300, 8, 'fine.zv')\n"
        "e = reload(0x4400, 0, 8, '/fine.zv')\n");
    for (const char *g : {"a", "b", "c", "d", "e"}) lua_getglobal(L0, g);
    EXPECT_EQ(lua_tonumber(L0, -5), 0);
    EXPECT_EQ(lua_tonumber(L0, -4), 0);
    EXPECT_EQ(lua_tonumber(L0, -3), 0);
    EXPECT_EQ(lua_tonumber(L0, -2), 8 << 16);
    EXPECT_EQ(lua_tonumber(L0, -1), 8 << 16);
    lua_pop(L0, 5);
    EXPECT_FALSE(file_exists(appdata_path("escape.zv")));
    EXPECT_FALSE(file_exists(appdata_path("cstore/__x.zv")));
    EXPECT_TRUE(file_exists(appdata_path("cstore/fine.zv")));
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(zorva_peek(&pstate, pstate.live_cart, 0x4400 + i), zorva_peek(&pstate, pstate.live_cart, 0x4300 + i));
}

// ---------------------------------------------------------------------------
// The clipboard

TEST(CartStorage, ClipboardTransferRoundTrips) {
    forget_saved_files();
    shell_session s;
    s.to_console();
    prepare_loaded_cart(seeded_cart("-- on the clipboard", 17), work("clip.zv").c_str());
    std::vector<uint8_t> rom = rom_of(working_cart());
    ASSERT_EQ(save_clip_cart(), 0);
    char *text = tamu_get_clipboard_text();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text).rfind("[cart]", 0), 0u);
    tamu_free(text);

    prepare_loaded_cart(cart_from_code("-- other"), work("other.zv").c_str());
    ASSERT_EQ(load_clip_cart(), 0);
    EXPECT_EQ(working_code(), "-- on the clipboard");
    EXPECT_EQ(rom_of(working_cart()), rom);

    ASSERT_EQ(tamu_set_clipboard_text("no cart here"), 0);
    EXPECT_EQ(load_clip_cart(), 1);
    EXPECT_EQ(working_code(), "-- on the clipboard");
}

}  // namespace
