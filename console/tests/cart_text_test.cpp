// The text cartridge form: the writer against golden files, the reader's
// version rules and tolerances, section lines inside code, the code limit,
// whole-file saving and round trips.
#include "cart_text.h"

#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Helpers

std::string golden(const char *name) {
    return read_file(std::string(ZORVA_SOURCE_DIR) + "/console/tests/data/" + name);
}

std::string write_to_text(const zorva_cart *cart, int *result = nullptr) {
    cbuffer *buffer = tamu_create_buffer(0);
    int r = tamu_save_zorva_cart_to_file(cart, buffer);
    if (result) *result = r;
    std::string text(reinterpret_cast<char *>(buffer->data), buffer->size);
    tamu_destroy_buffer(buffer);
    return text;
}

zorva_cart *read_from_text(const std::string &text, int *result = nullptr) {
    cfile *f = tamu_fopen_memory(text.data(), static_cast<int>(text.size()));
    zorva_cart *cart = tamu_load_zorva_cart_from_file(f, result);
    tamu_fclose(f);
    return cart;
}

// Owns a cart read in a test.
struct cart_ptr {
    zorva_cart *cart;
    explicit cart_ptr(zorva_cart *c) : cart(c) {}
    ~cart_ptr() { tamu_destroy_zorva_cart(cart); }
    zorva_cart *operator->() const { return cart; }
    zorva_cart *get() const { return cart; }
};

// A cart in the text form, with the given section contents after the
// header and version lines.
std::string cart_file(int version, const std::string &body) {
    return "zorva cartridge // test\nversion " + std::to_string(version) + "\n" + body;
}

// The text split at the writer's section lines (lines exactly a section
// name), keyed by name; the lines before the first are under "".
std::map<std::string, std::string> split_sections(const std::string &text) {
    static const char *names[] = {"__lua__", "__gfx__", "__label__", "__gff__", "__map__", "__sfx__", "__music__"};
    std::map<std::string, std::string> out;
    std::string current;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size() - 1;
        std::string line = text.substr(at, end - at);
        bool header = false;
        for (const char *n : names)
            if (line == n) header = true;
        if (header)
            current = line;
        else
            out[current] += text.substr(at, end + 1 - at);
        at = end + 1;
    }
    return out;
}

void expect_same_sections(const std::string &written, const std::string &expected) {
    auto got = split_sections(written);
    auto want = split_sections(expected);
    for (auto &[name, body] : want) {
        SCOPED_TRACE("section " + (name.empty() ? std::string("(header)") : name));
        ASSERT_TRUE(got.count(name));
        EXPECT_EQ(got[name], body);
    }
    for (auto &[name, body] : got) EXPECT_TRUE(want.count(name)) << "unexpected section " << name;
    EXPECT_EQ(written, expected);
}

bool bitmaps_equal(const cbitmap *a, const cbitmap *b, int rows) {
    for (int y = 0; y < rows; y++)
        if (std::memcmp(a->rows[y], b->rows[y], a->width) != 0) return false;
    return true;
}

void expect_sfx_equal(const zorva_cart *a, const zorva_cart *b) {
    for (int i = 0; i < ZORVA_SFX_COUNT; i++) {
        const sfx_record &x = a->sfx[i], &y = b->sfx[i];
        SCOPED_TRACE("sfx " + std::to_string(i));
        EXPECT_EQ(x.editor_mode, y.editor_mode);
        EXPECT_EQ(x.speed, y.speed);
        EXPECT_EQ(x.loop_start, y.loop_start);
        EXPECT_EQ(x.loop_end, y.loop_end);
        for (int n = 0; n < ZORVA_SFX_NOTES; n++) {
            SCOPED_TRACE("note " + std::to_string(n));
            EXPECT_EQ(x.notes[n].pitch, y.notes[n].pitch);
            EXPECT_EQ(x.notes[n].waveform, y.notes[n].waveform);
            EXPECT_EQ(x.notes[n].volume, y.notes[n].volume);
            EXPECT_EQ(x.notes[n].effect, y.notes[n].effect);
            EXPECT_EQ(x.notes[n].custom_instrument, y.notes[n].custom_instrument);
        }
    }
}

// Everything that the text form carries: code, sprite sheet, map rows
// 0-31, flags, sound effects, music and label.
void expect_carts_equal(const zorva_cart *a, const zorva_cart *b) {
    EXPECT_STREQ(a->code, b->code);
    EXPECT_TRUE(bitmaps_equal(a->gfx, b->gfx, 128));
    EXPECT_TRUE(bitmaps_equal(a->map, b->map, 32));
    EXPECT_EQ(std::memcmp(a->sprite_flags, b->sprite_flags, sizeof a->sprite_flags), 0);
    EXPECT_EQ(std::memcmp(a->music, b->music, sizeof a->music), 0);
    EXPECT_EQ(std::memcmp(a->music_flags, b->music_flags, sizeof a->music_flags), 0);
    expect_sfx_equal(a, b);
    ASSERT_EQ(a->label == nullptr, b->label == nullptr);
    if (a->label) {
        EXPECT_TRUE(bitmaps_equal(a->label, b->label, 128));
    }
}

void set_note(sfx_note &n, int pitch, int waveform, int volume, int effect, int custom) {
    n = {pitch, waveform, volume, effect, custom};
}

// The cart behind small_cart.zv: something in every section, some values
// out of range (written clamped), section lines inside the code.
zorva_cart *small_cart() {
    zorva_cart *c = tamu_create_zorva_cart();
    std::strcpy(c->code, "-- small cart\nprint(\"hi\")\n__gfx__\n__map__=1\nx = [[\n__sfx__ \t\n__lua__--\n]]");
    c->gfx->rows[0][0] = 1;
    c->gfx->rows[0][127] = 15;
    c->gfx->rows[3][5] = 16;  // written as f
    c->gfx->rows[127][64] = 7;
    c->label = tamu_create_bitmap(128, 128, 8);
    c->label->rows[2][2] = 9;
    c->sprite_flags[0] = 1;
    c->sprite_flags[1] = 0x80;
    c->sprite_flags[127] = 0xff;
    c->sprite_flags[128] = 0x12;
    c->sprite_flags[255] = 0x1ff;  // low byte written
    c->map->rows[0][0] = 1;
    c->map->rows[31][127] = 0xfe;
    c->map->rows[5][10] = 0x42;
    c->map->rows[40][0] = 9;  // rows 32-63 are not written
    c->sfx[0] = {1, 8, 4, 12, {}};
    set_note(c->sfx[0].notes[0], 12, 1, 5, 6, ZORVA_SFX_CUSTOM_INSTRUMENT);
    set_note(c->sfx[0].notes[31], 63, 7, 7, 7, 0);
    c->sfx[3].speed = 300;  // clamped to ff
    set_note(c->sfx[3].notes[1], 70, 9, 9, 9, 0);  // clamped to 3f 7 7 7
    c->sfx[5] = {};  // cleared, after the last sound effect in use
    c->music_flags[0] = 1;
    for (int ch = 0; ch < 4; ch++) c->music[0][ch] = ch;
    c->music_flags[1] = 6;
    c->music_flags[63] = 4;
    c->music[63][0] = 10;
    c->music[63][1] = 64;
    c->music[63][2] = 300;
    c->music[63][3] = 5;
    return c;
}

// A cart with in-range values everywhere, from a seed.
zorva_cart *random_cart(unsigned seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    zorva_cart *c = tamu_create_zorva_cart();
    std::string code;
    for (int i = 0; i < 40; i++) {
        int len = pick(30);
        for (int k = 0; k < len; k++) code += static_cast<char>(' ' + pick(95));
        code += '\n';
    }
    code += "end";
    std::strcpy(c->code, code.c_str());
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) c->gfx->rows[y][x] = static_cast<uint8_t>(pick(16));
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 128; x++) c->map->rows[y][x] = static_cast<uint8_t>(pick(256));
    for (int &f : c->sprite_flags) f = pick(256);
    for (int i = 0; i < ZORVA_SFX_COUNT; i++) {
        sfx_record &s = c->sfx[i];
        s.editor_mode = pick(2);
        s.speed = pick(256);
        s.loop_start = pick(33);
        s.loop_end = pick(33);
        for (sfx_note &n : s.notes)
            set_note(n, pick(64), pick(8), pick(8), pick(8), pick(2) * ZORVA_SFX_CUSTOM_INSTRUMENT);
    }
    for (int p = 0; p < ZORVA_MUSIC_PATTERNS; p++) {
        c->music_flags[p] = pick(8);
        for (int ch = 0; ch < 4; ch++) c->music[p][ch] = pick(69);
    }
    c->label = tamu_create_bitmap(128, 128, 8);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) c->label->rows[y][x] = static_cast<uint8_t>(pick(16));
    return c;
}

// ---------------------------------------------------------------------------
// Writer

TEST(CartTextWrite, NewCartMatchesGolden) {
    cart_ptr cart(tamu_create_zorva_cart());
    int result = -1;
    std::string text = write_to_text(cart.get(), &result);
    EXPECT_EQ(result, ZORVA_CART_OK);
    expect_same_sections(text, golden("new_cart.zv"));
}

TEST(CartTextWrite, SmallCartMatchesGolden) {
    cart_ptr cart(small_cart());
    int result = -1;
    std::string text = write_to_text(cart.get(), &result);
    EXPECT_EQ(result, ZORVA_CART_OK);
    expect_same_sections(text, golden("small_cart.zv"));
}

TEST(CartTextWrite, LabelOnlyWhenItShowsSomething) {
    struct Case {
        const char *what;
        int w, h, pixel;
        bool written;
    } cases[] = {
        {"no label", 0, 0, 0, false},
        {"blank label", 128, 128, 0, false},
        {"label of another size", 64, 64, 5, false},
        {"one pixel", 128, 128, 5, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        cart_ptr cart(tamu_create_zorva_cart());
        if (c.w) {
            cart->label = tamu_create_bitmap(c.w, c.h, 8);
            cart->label->rows[c.h - 1][c.w - 1] = static_cast<uint8_t>(c.pixel);
        }
        std::string text = write_to_text(cart.get());
        EXPECT_EQ(text.find("\n__label__\n") != std::string::npos, c.written);
        cart_ptr back(read_from_text(text));
        ASSERT_NE(back.get(), nullptr);
        EXPECT_EQ(back->label != nullptr, c.written);
    }
}

TEST(CartTextWrite, SfxRowsUpToTheLastThatReadsBackDifferently) {
    struct Case {
        const char *what;
        std::function<void(zorva_cart *)> change;
        int rows;
    } cases[] = {
        {"nothing changed", [](zorva_cart *) {}, 0},
        {"sfx 0 cleared to speed 0", [](zorva_cart *c) { c->sfx[0].speed = 0; }, 1},
        {"sfx 9 cleared after sfx 2 in use",
         [](zorva_cart *c) {
             c->sfx[2].notes[0].volume = 5;
             c->sfx[9] = {};
         },
         10},
        {"sfx 63 at speed 1", [](zorva_cart *c) { c->sfx[63].speed = 1; }, 64},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        cart_ptr cart(tamu_create_zorva_cart());
        c.change(cart.get());
        std::string sfx = split_sections(write_to_text(cart.get()))["__sfx__"];
        EXPECT_EQ(static_cast<int>(std::count(sfx.begin(), sfx.end(), '\n')), c.rows);
    }
}

TEST(CartTextWrite, CodeOverTheLimitIsRefused) {
    struct Case {
        const char *what;
        std::function<void(zorva_cart *)> change;
    } cases[] = {
        {"one character over", [](zorva_cart *c) { std::memset(c->code, 'a', ZORVA_CODE_LIMIT + 1); }},
        {"cut when read", [](zorva_cart *c) { c->code_cut = 1; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        cart_ptr cart(tamu_create_zorva_cart());
        c.change(cart.get());
        int result = -1;
        EXPECT_EQ(write_to_text(cart.get(), &result), "");  // not a byte written
        EXPECT_EQ(result, ZORVA_CART_CODE_TOO_LONG);
        EXPECT_STREQ(zorva_cart_result_text(result), "program exceeds 65536 characters");
    }
}

// ---------------------------------------------------------------------------
// Saving to a path

// A fresh, empty folder for one test's files.
std::string fresh_folder(const char *name) {
    std::string dir = test_home() + "/" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

std::vector<std::string> files_in(const std::string &dir) {
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    while (dirent *e = d ? readdir(d) : nullptr)
        if (e->d_name[0] != '.') names.push_back(e->d_name);
    if (d) closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CartTextSave, SavesAndLoadsAFile) {
    std::string dir = fresh_folder("save");
    std::string path = dir + "/saved.zv";
    cart_ptr cart(small_cart());
    ASSERT_EQ(tamu_save_zorva_cart(cart.get(), path.c_str()), ZORVA_CART_OK);
    EXPECT_EQ(read_file(path), golden("small_cart.zv"));
    EXPECT_EQ(files_in(dir), std::vector<std::string>{"saved.zv"});  // no temporary left
    int result = -1;
    cart_ptr back(tamu_load_zorva_cart(path.c_str(), &result));
    ASSERT_NE(back.get(), nullptr);
    EXPECT_EQ(result, ZORVA_CART_OK);
    EXPECT_EQ(back->version, 11);
    EXPECT_STREQ(back->code, cart->code);
}

TEST(CartTextSave, FailedSaveLeavesTheOldCartWhole) {
    std::string dir = fresh_folder("failed_save");
    std::string path = dir + "/cart.zv";
    cart_ptr old_cart(tamu_create_zorva_cart());
    std::strcpy(old_cart->code, "print('old')");
    ASSERT_EQ(tamu_save_zorva_cart(old_cart.get(), path.c_str()), ZORVA_CART_OK);
    const std::string old_text = read_file(path);

    cart_ptr cut(small_cart());
    cut->code_cut = 1;
    EXPECT_EQ(tamu_save_zorva_cart(cut.get(), path.c_str()), ZORVA_CART_CODE_TOO_LONG);
    EXPECT_EQ(read_file(path), old_text);

    cart_ptr big(small_cart());
    std::memset(big->code, 'x', ZORVA_CODE_LIMIT + 1);
    EXPECT_EQ(tamu_save_zorva_cart(big.get(), path.c_str()), ZORVA_CART_CODE_TOO_LONG);
    EXPECT_EQ(read_file(path), old_text);

    // The disk fills up half-way through the new cart.
    cart_ptr fresh(small_cart());
    rlimit old_limit;
    getrlimit(RLIMIT_FSIZE, &old_limit);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small_limit = old_limit;
    small_limit.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small_limit);
    int result = tamu_save_zorva_cart(fresh.get(), path.c_str());
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(result, ZORVA_CART_WRITE_FAILED);
    EXPECT_EQ(read_file(path), old_text);
    EXPECT_EQ(files_in(dir), std::vector<std::string>{"cart.zv"});

    // Every byte is written, but the final rename fails (a folder is in the way).
    std::string folder = dir + "/folder.zv";
    mkdir(folder.c_str(), 0755);
    write_file(folder + "/inside", "x");
    EXPECT_EQ(tamu_save_zorva_cart(fresh.get(), folder.c_str()), ZORVA_CART_WRITE_FAILED);
    EXPECT_EQ(read_file(folder + "/inside"), "x");
    EXPECT_EQ(files_in(dir), (std::vector<std::string>{"cart.zv", "folder.zv"}));

    EXPECT_EQ(tamu_save_zorva_cart(fresh.get(), (dir + "/no/such/folder/a.zv").c_str()),
              ZORVA_CART_CANNOT_OPEN);
    EXPECT_EQ(tamu_save_zorva_cart(nullptr, path.c_str()), ZORVA_CART_NO_CART);
    EXPECT_EQ(read_file(path), old_text);
}

// ---------------------------------------------------------------------------
// Reader

TEST(CartTextRead, RefusesWhatIsNotACart) {
    const char *texts[] = {"", "\n", "zorva cart\nversion 11\n", "ZORVA CARTRIDGE\nversion 1\n",
                           " zorva cartridge\nversion 1\n", "__lua__\nprint(1)\n"};
    for (const char *t : texts) {
        SCOPED_TRACE(t);
        int result = -1;
        EXPECT_EQ(read_from_text(t, &result), nullptr);
        EXPECT_EQ(result, ZORVA_CART_NOT_A_CART);
    }
    int result = -1;
    EXPECT_EQ(tamu_load_zorva_cart((test_home() + "/missing.zv").c_str(), &result), nullptr);
    EXPECT_EQ(result, ZORVA_CART_CANNOT_OPEN);
    EXPECT_EQ(tamu_load_zorva_cart_from_file(nullptr, &result), nullptr);
    EXPECT_EQ(result, ZORVA_CART_NO_CART);
}

TEST(CartTextRead, VersionLine) {
    struct Case {
        const char *line;
        int version;
    } cases[] = {
        {"version 11", 11}, {"version 3", 3}, {"version", 0},      {"version x", 0},
        {"", 0},            {"__lua__", 0},   {"version  \t7", 7}, {"version -2", -2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        cart_ptr cart(read_from_text(std::string("zorva cartridge\n") + c.line + "\n"));
        ASSERT_NE(cart.get(), nullptr);
        EXPECT_EQ(cart->version, c.version);
    }
    // Only the header line at all.
    cart_ptr bare(read_from_text("zorva cartridge"));
    ASSERT_NE(bare.get(), nullptr);
    EXPECT_EQ(bare->version, 0);
}

TEST(CartTextRead, FutureVersionIsRefusedAndFlagged) {
    for (const char *v : {"version 12", "version 99999999999999"}) {
        SCOPED_TRACE(v);
        int result = -1;
        EXPECT_EQ(read_from_text(std::string("zorva cartridge\n") + v + "\n__lua__\nx=1\n", &result), nullptr);
        EXPECT_EQ(result, ZORVA_CART_FUTURE_VERSION);
        EXPECT_EQ(zorva_cart_future_version, 1);
    }
    // The next cart read clears the flag.
    cart_ptr ok(read_from_text(cart_file(11, "")));
    ASSERT_NE(ok.get(), nullptr);
    EXPECT_EQ(zorva_cart_future_version, 0);
    zorva_cart_future_version = 1;
    EXPECT_EQ(read_from_text("nope\n"), nullptr);
    EXPECT_EQ(zorva_cart_future_version, 0);
}

TEST(CartTextRead, SpriteFlagDigitsByVersion) {
    struct Case {
        int version;
        const char *row0, *row1;
        int expect[4];  // flags 0, 1, 2 and 128
    } cases[] = {
        {0, "1f3", "9", {1, 15, 3, 9}},
        {2, "1f3", "9", {1, 15, 3, 9}},
        {3, "011f03", "90", {1, 0x1f, 3, 0x90}},
        {11, "011f03", "90", {1, 0x1f, 3, 0x90}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        cart_ptr cart(read_from_text(cart_file(c.version, std::string("__gff__\n") + c.row0 + "\n" + c.row1 + "\n")));
        ASSERT_NE(cart.get(), nullptr);
        EXPECT_EQ(cart->sprite_flags[0], c.expect[0]);
        EXPECT_EQ(cart->sprite_flags[1], c.expect[1]);
        EXPECT_EQ(cart->sprite_flags[2], c.expect[2]);
        EXPECT_EQ(cart->sprite_flags[3], 0);  // short row
        EXPECT_EQ(cart->sprite_flags[128], c.expect[3]);
    }
}

TEST(CartTextRead, MusicRowsByVersion) {
    struct Case {
        int version;
        const char *row;
        int flags;
        int channels[4];
    } cases[] = {
        {0, "01020304", 0, {1, 2, 3, 4}},
        {2, "00000000", 0, {65, 65, 65, 65}},
        {2, "05 00010203", 0, {5, 65, 65, 16}},  // no flags before version 3: read from the start
        {3, "00 00000000", 0, {65, 65, 65, 65}},
        {3, "05 00010203", 5, {65, 1, 2, 3}},
        {3, "0700010203", 7, {65, 1, 2, 3}},  // the blank is optional
        {4, "05 00010203", 5, {0, 1, 2, 3}},
        {11, "00 00000000", 0, {0, 0, 0, 0}},
        {11, "03 40414243", 3, {64, 65, 66, 67}},
        {11, "01 0203", 1, {2, 3, 67, 68}},  // short row: the rest as on a new cart
        {11, "", 0, {65, 66, 67, 68}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.version) + ": " + c.row);
        cart_ptr cart(read_from_text(cart_file(c.version, std::string("__music__\n") + c.row + "\n")));
        ASSERT_NE(cart.get(), nullptr);
        EXPECT_EQ(cart->music_flags[0], c.flags);
        for (int ch = 0; ch < 4; ch++) EXPECT_EQ(cart->music[0][ch], c.channels[ch]) << ch;
        EXPECT_EQ(cart->music[1][0], 65);  // untouched pattern
    }
}

TEST(CartTextRead, SfxNoteDigits) {
    struct Case {
        const char *digits;
        int pitch, waveform, volume, effect, custom;
    } cases[] = {
        {"0c956", 12, 1, 5, 6, 128},  // custom from the waveform digit
        {"0c15e", 12, 1, 5, 6, 128},  // custom from the effect digit
        {"0c156", 12, 1, 5, 6, 0},
        {"7ff8f", 63, 7, 0, 7, 128},  // pitch & 63, volume & 7
        {"3f777", 63, 7, 7, 7, 0},
        {"0CA5E", 0, 0, 5, 0, 0},     // upper case reads 0
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.digits);
        std::string row = std::string("01100208") + "00000" + c.digits;
        cart_ptr cart(read_from_text(cart_file(11, "__sfx__\n" + row + "\n")));
        ASSERT_NE(cart.get(), nullptr);
        const sfx_record &s = cart->sfx[0];
        EXPECT_EQ(s.editor_mode, 1);
        EXPECT_EQ(s.speed, 16);
        EXPECT_EQ(s.loop_start, 2);
        EXPECT_EQ(s.loop_end, 8);
        const sfx_note &n = s.notes[1];
        EXPECT_EQ(n.pitch, c.pitch);
        EXPECT_EQ(n.waveform, c.waveform);
        EXPECT_EQ(n.volume, c.volume);
        EXPECT_EQ(n.effect, c.effect);
        EXPECT_EQ(n.custom_instrument, c.custom);
        EXPECT_EQ(s.notes[2].volume, 0);  // short row: later notes stay zero
    }
}

TEST(CartTextRead, ShortRowsLeaveTheRestAsOnANewCart) {
    cart_ptr cart(read_from_text(cart_file(11,
                                           "__gfx__\n12\n\n3\n"
                                           "__map__\n0102\n5\n"
                                           "__sfx__\n0120\n\n01\n")));
    ASSERT_NE(cart.get(), nullptr);
    EXPECT_EQ(cart->gfx->rows[0][0], 1);
    EXPECT_EQ(cart->gfx->rows[0][1], 2);
    EXPECT_EQ(cart->gfx->rows[0][2], 0);
    EXPECT_EQ(cart->gfx->rows[2][0], 3);  // an empty row still counts as a row
    EXPECT_EQ(cart->map->rows[0][0], 1);
    EXPECT_EQ(cart->map->rows[0][1], 2);
    EXPECT_EQ(cart->map->rows[0][2], 0);
    EXPECT_EQ(cart->map->rows[1][0], 0);  // half a cell is no cell
    EXPECT_EQ(cart->sfx[0].editor_mode, 1);
    EXPECT_EQ(cart->sfx[0].speed, 0x20);
    EXPECT_EQ(cart->sfx[0].loop_end, 0);
    EXPECT_EQ(cart->sfx[1].speed, 16);  // empty row
    EXPECT_EQ(cart->sfx[2].editor_mode, 1);
    EXPECT_EQ(cart->sfx[2].speed, 16);
}

TEST(CartTextRead, UpperCaseAndOtherCharactersReadZero) {
    for (int c = 0; c < 256; c++) {
        int want = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : 0;
        EXPECT_EQ(hexchar2int(c), want) << c;
    }
    cart_ptr cart(read_from_text(cart_file(11, "__gfx__\nAF1g\n__map__\nFF0a1A\n")));
    ASSERT_NE(cart.get(), nullptr);
    EXPECT_EQ(cart->gfx->rows[0][0], 0);
    EXPECT_EQ(cart->gfx->rows[0][1], 0);
    EXPECT_EQ(cart->gfx->rows[0][2], 1);
    EXPECT_EQ(cart->gfx->rows[0][3], 0);
    EXPECT_EQ(cart->map->rows[0][0], 0);
    EXPECT_EQ(cart->map->rows[0][1], 0x0a);
    EXPECT_EQ(cart->map->rows[0][2], 0x10);
}

TEST(CartTextRead, RowsBeyondASectionAreIgnored) {
    std::string ones(128, '1'), twos(256, '2');
    std::string body = "__gfx__\n";
    for (int i = 0; i < 130; i++) body += (i < 128 ? ones : std::string(128, 'f')) + "\n";
    body += "__gff__\n" + twos + "\n" + twos + "\n" + std::string(256, 'f') + "\n";
    body += "__map__\n";
    for (int i = 0; i < 65; i++) body += (i < 64 ? twos : std::string(256, 'f')) + "\n";
    body += "__sfx__\n";
    for (int i = 0; i < 65; i++) body += std::string(i < 64 ? "00030000" : "00ff0000") + "\n";
    body += "__music__\n";
    for (int i = 0; i < 65; i++) body += std::string(i < 64 ? "01 01020304" : "07 ffffffff") + "\n";
    cart_ptr cart(read_from_text(cart_file(11, body)));
    ASSERT_NE(cart.get(), nullptr);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) ASSERT_EQ(cart->gfx->rows[y][x], 1);
    for (int f : cart->sprite_flags) ASSERT_EQ(f, 0x22);
    for (int y = 0; y < 64; y++)  // rows 32-63 fill the map too
        for (int x = 0; x < 128; x++) ASSERT_EQ(cart->map->rows[y][x], 0x22);
    for (const sfx_record &s : cart->sfx) ASSERT_EQ(s.speed, 3);
    for (int p = 0; p < 64; p++) {
        ASSERT_EQ(cart->music_flags[p], 1);
        ASSERT_EQ(cart->music[p][3], 4);
    }
    EXPECT_EQ(cart->label, nullptr);
}

TEST(CartTextRead, SectionsAndTheLinesAroundThem) {
    // Lines before the first section are ignored; a label is made at its
    // first row; a data section line may carry more text after the name;
    // CR LF line ends read as LF.
    std::string body =
        "0123\nprint('not code')\n"
        "__lua__\r\nx = 1\r\n\r\ny = 2\r\n"
        "__label__\r\n0f\r\n"
        "__gfx__ sprites\r\n5\r\n"
        "__map__xyz\r\n07\r\n";
    cart_ptr cart(read_from_text(cart_file(11, body)));
    ASSERT_NE(cart.get(), nullptr);
    EXPECT_STREQ(cart->code, "x = 1\n\ny = 2");
    ASSERT_NE(cart->label, nullptr);
    EXPECT_EQ(cart->label->width, 128);
    EXPECT_EQ(cart->label->height, 128);
    EXPECT_EQ(cart->label->rows[0][1], 15);
    EXPECT_EQ(cart->gfx->rows[0][0], 5);
    EXPECT_EQ(cart->map->rows[0][0], 7);
}

TEST(CartTextRead, SectionLinesInsideCode) {
    struct Case {
        const char *line;  // a line in the middle of the code
        const char *code;  // the code read; null: the line ends the code
    } cases[] = {
        {"__gfx__=1", "__gfx__=1"},
        {"__map__.w = 3", "__map__.w = 3"},
        {"__lua__x", "__lua__x"},
        {"__music__ = {}", "__music__ = {}"},
        {"__label__(1)", "__label__(1)"},
        {"  __gfx__", "  __gfx__"},
        {"__GFX__", "__GFX__"},
        {"__gfx__--", "__gfx__"},      // the written form of a code line "__gfx__"
        {"__gfx__ \t--", "__gfx__ \t"},
        {"__gfx__----", "__gfx__--"},
        {"__sfx__ -- notes", "__sfx__ -- notes"},
        {"__gfx__-- ", "__gfx__-- "},
        {"__gfx__", nullptr},
        {"__sfx__  \t", nullptr},
        {"__label__ ", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        cart_ptr cart(read_from_text(cart_file(11, std::string("__lua__\na()\n") + c.line + "\nb()\n")));
        ASSERT_NE(cart.get(), nullptr);
        if (c.code) {
            EXPECT_EQ(std::string(cart->code), std::string("a()\n") + c.code + "\nb()");
        } else {
            EXPECT_STREQ(cart->code, "a()");
        }
    }
}

TEST(CartTextRead, CodeOverTheLimitStopsAtTheFirstLineThatDoesNotFit) {
    std::string a(40000, 'a'), b(30000, 'b');
    std::string body = "__lua__\n" + a + "\n" + b + "\nc()\n__gfx__\n7\n";
    int result = -1;
    cart_ptr cart(read_from_text(cart_file(11, body), &result));
    ASSERT_NE(cart.get(), nullptr);
    EXPECT_EQ(result, ZORVA_CART_CODE_TOO_LONG);
    EXPECT_EQ(cart->code_cut, 1);
    EXPECT_EQ(std::string(cart->code), a);  // "c()" would fit, but is not added after the gap
    EXPECT_EQ(cart->gfx->rows[0][0], 7);    // the rest of the cart is read

    // The cut cart cannot be saved.
    std::string dir = fresh_folder("cut");
    EXPECT_EQ(tamu_save_zorva_cart(cart.get(), (dir + "/cut.zv").c_str()), ZORVA_CART_CODE_TOO_LONG);
    EXPECT_EQ(files_in(dir), std::vector<std::string>{});
}

TEST(CartTextRead, CodeLengthAtTheLimit) {
    struct Case {
        const char *what;
        std::string code;
        bool fits;
    } cases[] = {
        {"one line of the limit", std::string(ZORVA_CODE_LIMIT, 'x'), true},
        {"two lines to the limit", std::string(30000, 'x') + "\n" + std::string(ZORVA_CODE_LIMIT - 30001, 'y'), true},
        {"a final newline at the limit", std::string(ZORVA_CODE_LIMIT - 1, 'x') + "\n", true},
        {"one over", std::string(ZORVA_CODE_LIMIT + 1, 'x'), false},
        {"one over with a newline", std::string(ZORVA_CODE_LIMIT, 'x') + "\n", false},
        {"a line far over the line buffer", std::string(200000, 'x'), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        int result = -1;
        cart_ptr cart(read_from_text(cart_file(11, "__lua__\n" + c.code + "\n__gfx__\n3\n4\n"), &result));
        ASSERT_NE(cart.get(), nullptr);
        EXPECT_EQ(result, c.fits ? ZORVA_CART_OK : ZORVA_CART_CODE_TOO_LONG);
        if (c.fits) {
            EXPECT_EQ(std::string(cart->code), c.code);
        }
        // A line too long for the line reader is still one line.
        EXPECT_EQ(cart->gfx->rows[0][0], 3);
        EXPECT_EQ(cart->gfx->rows[1][0], 4);
    }
}

TEST(CartTextRead, OverlongDataRowIsOneRow) {
    std::string long_row = "5" + std::string(100000, '6');
    cart_ptr cart(read_from_text(cart_file(11, "__gfx__\n" + long_row + "\n7\n")));
    ASSERT_NE(cart.get(), nullptr);
    EXPECT_EQ(cart->gfx->rows[0][0], 5);
    EXPECT_EQ(cart->gfx->rows[0][127], 6);
    EXPECT_EQ(cart->gfx->rows[1][0], 7);
    EXPECT_EQ(cart->gfx->rows[2][0], 0);
}

// ---------------------------------------------------------------------------
// The version a cart's code needs

TEST(CartTextVersion, LowestVersionTheCodeNeeds) {
    struct Case {
        const char *code;
        int version;
    } cases[] = {
        {"", 8},
        {"print(1)", 8},
        {"s = [[long]]", 9},
        {"[[", 9},
        {"--[[ comment ]]", 8},
        {"--[[ comment ]] s = [[x]]", 9},
        {"printh(\"a\", \"log\")", 10},
        {"printh (a,b)", 10},
        {"printh(\"a,b\")", 8},
        {"printh(\"say \\\"a,b\\\"\")", 8},
        {"printh(f(a, b))", 8},
        {"printh(f(a), b)", 10},
        {"printh(a) f(b, c)", 8},
        {"myprinth(a, b)", 8},
        {"printh", 8},
        {"printh(a, b) s = [[x]]", 10},   // both: the higher one
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        cart_ptr cart(tamu_create_zorva_cart());
        std::strcpy(cart->code, c.code);
        EXPECT_EQ(tamu_determine_cart_version(cart.get()), c.version);
    }
}

// ---------------------------------------------------------------------------
// Round trips

TEST(CartTextRoundTrip, RecordTextRecord) {
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        cart_ptr cart(random_cart(seed));
        std::string text = write_to_text(cart.get());
        int result = -1;
        cart_ptr back(read_from_text(text, &result));
        ASSERT_NE(back.get(), nullptr);
        EXPECT_EQ(result, ZORVA_CART_OK);
        EXPECT_EQ(back->version, ZORVA_CART_VERSION);
        expect_carts_equal(cart.get(), back.get());
        EXPECT_EQ(write_to_text(back.get()), text);
    }
}

TEST(CartTextRoundTrip, GoldenFilesReadBackAndWriteTheSame) {
    for (const char *name : {"new_cart.zv", "small_cart.zv"}) {
        SCOPED_TRACE(name);
        std::string text = golden(name);
        cart_ptr cart(read_from_text(text));
        ASSERT_NE(cart.get(), nullptr);
        EXPECT_EQ(write_to_text(cart.get()), text);
    }
    cart_ptr small(small_cart());
    cart_ptr back(read_from_text(golden("small_cart.zv")));
    EXPECT_STREQ(back->code, small->code);
    EXPECT_EQ(back->sfx[5].speed, 0);  // the cleared sound effect stays cleared
    EXPECT_EQ(back->sfx[6].speed, 16);
    EXPECT_EQ(back->map->rows[40][0], 0);
}

TEST(CartTextRoundTrip, Code) {
    const char *codes[] = {
        "",
        "\n",
        "a",
        "a\n",
        "a\n\n",
        "\n\nx",
        "__gfx__",
        "x\n__lua__\ny",
        "__gfx__\n__gff__\n__map__\n__sfx__\n__music__\n__label__\n__lua__",
        "__gfx__ \t\n__gfx__--\n__gfx__----\n__gfx__ --\n__gfx__-- \n  __gfx__\n__gfx__=1",
        "s = [[\n__map__\n]]",
        "--[[\n__music__ \n]]",
    };
    for (const char *code : codes) {
        SCOPED_TRACE(code);
        cart_ptr cart(tamu_create_zorva_cart());
        std::strcpy(cart->code, code);
        std::string text = write_to_text(cart.get());
        cart_ptr back(read_from_text(text));
        ASSERT_NE(back.get(), nullptr);
        EXPECT_STREQ(back->code, code);
        EXPECT_EQ(write_to_text(back.get()), text);  // no newline grows
        // Nothing of the code leaks into the sections after it.
        EXPECT_TRUE(bitmaps_equal(back->gfx, cart->gfx, 128));
        EXPECT_TRUE(bitmaps_equal(back->map, cart->map, 64));
        expect_sfx_equal(back.get(), cart.get());
    }
}

TEST(CartTextRoundTrip, SoundEffects) {
    struct Case {
        const char *what;
        std::function<void(zorva_cart *)> change;
    } cases[] = {
        {"all cleared", [](zorva_cart *c) { std::memset(c->sfx, 0, sizeof c->sfx); }},
        {"sfx 0 cleared", [](zorva_cart *c) { c->sfx[0].speed = 0; }},
        {"last cleared after one in use",
         [](zorva_cart *c) {
             c->sfx[10].notes[3] = {20, 3, 4, 1, 0};
             c->sfx[63] = {};
         }},
        {"sfx 1 at speed 1", [](zorva_cart *c) { c->sfx[1].speed = 1; }},
        {"sfx 0 at speed 16", [](zorva_cart *c) { c->sfx[0].speed = 16; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        cart_ptr cart(tamu_create_zorva_cart());
        c.change(cart.get());
        cart_ptr back(read_from_text(write_to_text(cart.get())));
        ASSERT_NE(back.get(), nullptr);
        expect_sfx_equal(back.get(), cart.get());
    }
}

}  // namespace
