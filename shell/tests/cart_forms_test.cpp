// The binary cart forms: the 32K image, the PNG cartridge (round trips,
// the picture, corrupt and foreign files, saving whole or not at all), the
// hex and binary forms, the legacy fixes and the text transfer forms.
#include "cart_forms.h"

#include "code_compression.h"
#include "lauxlib.h"
#include "lua.h"
#include "lualib.h"
#include "pip_image.h"
#include "tamu.h"
#include "test_util.h"
#include "zorva_cart.h"
#include "zorva_memory.h"
#include "zorva_state.h"

#include <gtest/gtest.h>
#include <lodepng.h>

#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Helpers

struct cart_ptr {
    zorva_cart *cart;
    explicit cart_ptr(zorva_cart *c = nullptr) : cart(c) {}
    ~cart_ptr() { tamu_destroy_zorva_cart(cart); }
    cart_ptr(const cart_ptr &) = delete;
    cart_ptr &operator=(const cart_ptr &) = delete;
    zorva_cart *operator->() const { return cart; }
    zorva_cart *get() const { return cart; }
    explicit operator bool() const { return cart != nullptr; }
};

std::vector<std::string> printed;
void record_print(const char *text) { printed.push_back(text); }

// A console palette of 16 well separated colours: what a label goes
// through on its way into the picture and back.
cpalette test_palette = [] {
    static const uint8_t colours[16][3] = {
        {0, 0, 0},      {255, 255, 255}, {200, 40, 40},  {40, 200, 40},  {40, 40, 200},  {200, 200, 40},
        {200, 40, 200}, {40, 200, 200},  {120, 120, 120}, {250, 150, 60}, {90, 40, 10},   {150, 250, 150},
        {60, 60, 150},  {255, 180, 200}, {140, 90, 200}, {30, 110, 60}};
    cpalette p{};
    std::memcpy(p.rgb, colours, sizeof colours);
    for (int i = 16; i < 256; i++) p.rgb[3 * i] = p.rgb[3 * i + 1] = p.rgb[3 * i + 2] = uint8_t(i);
    return p;
}();

class CartForms : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(&pstate, 0, sizeof pstate);
        printed.clear();
        cart_forms = {record_print, nullptr};
        saved_palette = tamu_palette;
        tamu_palette = &test_palette;
        tamu_text_init();
        dir = test_home() + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        tamu_text_exit();
        tamu_palette = saved_palette;
        cart_forms = {nullptr, nullptr};
        std::memset(&pstate, 0, sizeof pstate);
    }
    std::string path(const std::string &name) const { return dir + "/" + name; }

    std::string dir;
    cpalette *saved_palette = nullptr;
};

std::vector<uint8_t> rom_of(const zorva_cart *cart) {
    std::vector<uint8_t> rom(CART_ROM_SIZE);
    for (int a = 0; a < CART_ROM_SIZE; a++) rom[size_t(a)] = uint8_t(zorva_peek(nullptr, const_cast<zorva_cart *>(cart), a));
    return rom;
}

std::string code_like(int length, unsigned seed) {
    static const char *const words[] = {"function ", "end\n", "local ", "if ", "then\n", "for i=1,#t do\n",
                                        "spr(", "x+=1 ", "y-=dy ", "_update()", "PRINT(\"Hi\")", "0x7f ",
                                        "\t", "~=", "a.b[c]", "return ", "{}", "\x80\xff"};
    std::mt19937 rng(seed);
    std::string s;
    while (int(s.size()) < length) s += words[rng() % (sizeof words / sizeof *words)];
    s.resize(size_t(length));
    return s;
}

// A cart with every ROM byte random (written through console memory, so
// that the shared sprite and map rows agree), the given code and a label
// in the 16 colours.
zorva_cart *random_cart(unsigned seed, const std::string &code, bool label = true) {
    std::mt19937 rng(seed);
    zorva_cart *cart = tamu_create_zorva_cart();
    for (int a = 0; a < CART_ROM_SIZE; a++) zorva_poke(nullptr, cart, a, int(rng() & 255));
    std::memcpy(cart->code, code.data(), code.size());
    if (label) {
        cart->label = tamu_create_bitmap(128, 128, 8);
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) cart->label->rows[y][x] = uint8_t(rng() & 15);
    }
    cart->version = 7;
    return cart;
}

bool same_bitmap(const cbitmap *a, const cbitmap *b) {
    if (!a || !b) return a == b;
    if (a->width != b->width || a->height != b->height || a->bpp != b->bpp) return false;
    return std::memcmp(a->pixels, b->pixels, size_t(a->width) * size_t(a->height) * size_t(a->bpp / 8)) == 0;
}

// Every field of the records, the version aside.
void expect_same_cart(const zorva_cart *a, const zorva_cart *b) {
    EXPECT_STREQ(a->code, b->code);
    EXPECT_TRUE(same_bitmap(a->gfx, b->gfx)) << "sprite sheet";
    EXPECT_TRUE(same_bitmap(a->map, b->map)) << "map";
    EXPECT_EQ(std::memcmp(a->sfx, b->sfx, sizeof a->sfx), 0) << "sound effects";
    EXPECT_EQ(std::memcmp(a->music, b->music, sizeof a->music), 0) << "music";
    EXPECT_EQ(std::memcmp(a->music_flags, b->music_flags, sizeof a->music_flags), 0) << "music flags";
    EXPECT_EQ(std::memcmp(a->sprite_flags, b->sprite_flags, sizeof a->sprite_flags), 0) << "sprite flags";
    EXPECT_TRUE(same_bitmap(a->label, b->label)) << "label";
    EXPECT_EQ(a->code_cut, b->code_cut);
}

// The RGBA pixels of a PNG file (R, G, B, A per pixel).
std::vector<uint8_t> decode_png(const std::string &file, unsigned *w, unsigned *h) {
    unsigned char *pixels = nullptr;
    std::vector<uint8_t> out;
    if (lodepng_decode32_file(&pixels, w, h, file.c_str()) == 0)
        out.assign(pixels, pixels + size_t(*w) * *h * 4);
    std::free(pixels);
    return out;
}

void encode_png(const std::string &file, const std::vector<uint8_t> &rgba, unsigned w, unsigned h) {
    ASSERT_EQ(lodepng_encode32_file(file.c_str(), rgba.data(), w, h), 0u);
}

// The data block in the low bits of an RGBA picture.
std::vector<uint8_t> hidden_data(const std::vector<uint8_t> &rgba) {
    std::vector<uint8_t> data(CART_PNG_DATA_SIZE);
    for (size_t i = 0; i < data.size(); i++) {
        const uint8_t *p = &rgba[4 * i];
        data[i] = uint8_t((p[3] & 3) << 6 | (p[0] & 3) << 4 | (p[1] & 3) << 2 | (p[2] & 3));
    }
    return data;
}

// A 160 x 205 picture whose low bits carry data (the rest of each channel
// a grey).
std::vector<uint8_t> picture_with(const std::vector<uint8_t> &data) {
    std::vector<uint8_t> rgba(size_t(CART_PNG_WIDTH) * CART_PNG_HEIGHT * 4, 0x80);
    for (size_t i = 0; i < data.size() && i < size_t(CART_PNG_WIDTH) * CART_PNG_HEIGHT; i++) {
        uint8_t b = data[i];
        rgba[4 * i] = uint8_t(0x80 | (b >> 4 & 3));
        rgba[4 * i + 1] = uint8_t(0x80 | (b >> 2 & 3));
        rgba[4 * i + 2] = uint8_t(0x80 | (b & 3));
        rgba[4 * i + 3] = uint8_t(0xFC | (b >> 6 & 3));
    }
    return rgba;
}

// The data block of a cart as the writer makes it.
std::vector<uint8_t> data_block(const zorva_cart *cart, int version = ZORVA_CART_VERSION) {
    std::vector<uint8_t> data(CART_PNG_DATA_SIZE);
    EXPECT_EQ(save_zorva_cart_32k(cart, data.data()), 0);
    data[CART_IMAGE_SIZE] = uint8_t(version);
    data[CART_IMAGE_SIZE + 2] = 1;
    data[CART_IMAGE_SIZE + 3] = 15;
    data[CART_IMAGE_SIZE + 4] = 'l';
    return data;
}

// ---------------------------------------------------------------------------
// 32K image

TEST_F(CartForms, ImageLayout) {
    cart_ptr cart(random_cart(1, "-- title\nprint('hello')\nprint('hello')\nprint('hello')\n"));
    std::vector<uint8_t> image(CART_IMAGE_SIZE, 0xEE);
    ASSERT_EQ(save_zorva_cart_32k(cart.get(), image.data()), 0);
    EXPECT_TRUE(std::vector<uint8_t>(image.begin(), image.begin() + CART_ROM_SIZE) == rom_of(cart.get()));

    std::vector<uint8_t> packed(size_t(compress_mini_bound(int(std::strlen(cart->code)))));
    int n = compress_mini(cart->code, packed.data(), int(std::strlen(cart->code)));
    ASSERT_EQ(packed[0], ':');
    EXPECT_EQ(std::memcmp(image.data() + CART_CODE_OFFSET, packed.data(), size_t(n)), 0);
    for (int i = CART_CODE_OFFSET + n; i < CART_IMAGE_SIZE; i++) ASSERT_EQ(image[size_t(i)], 0) << i;

    // Short code that does not compress goes in as it is.
    std::strcpy(cart->code, "x=1");
    ASSERT_EQ(save_zorva_cart_32k(cart.get(), image.data()), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(image.data()) + CART_CODE_OFFSET), "x=1");
}

TEST_F(CartForms, ImageRoundTrips) {
    std::mt19937 rng(5);
    std::string incompressible(CART_CODE_ROOM, 0);
    for (char &c : incompressible) c = char('A' + rng() % 26);
    for (char &c : incompressible) if (rng() % 2) c = char('a' + rng() % 26);
    const std::vector<std::string> codes = {
        "", "a", "::top:: goto top", code_like(65535, 2), code_like(20000, 3),
        // Plain text that fills the whole code area, with no NUL after it.
        incompressible,
    };
    for (const std::string &code : codes) {
        SCOPED_TRACE(code.size());
        cart_ptr cart(random_cart(unsigned(code.size()), code, false));
        std::vector<uint8_t> image(CART_IMAGE_SIZE);
        ASSERT_EQ(save_zorva_cart_32k(cart.get(), image.data()), 0);
        // Into a cart that had longer code before: nothing of it may stay.
        cart_ptr back(tamu_create_zorva_cart());
        std::memset(back->code, 'q', ZORVA_CODE_LIMIT);
        ASSERT_EQ(load_zorva_cart_32k(back.get(), image.data()), 0);
        expect_same_cart(cart.get(), back.get());
    }
    // A cart without a code buffer gets one.
    cart_ptr cart(random_cart(9, "print(1)", false));
    std::vector<uint8_t> image(CART_IMAGE_SIZE);
    ASSERT_EQ(save_zorva_cart_32k(cart.get(), image.data()), 0);
    cart_ptr bare(tamu_create_zorva_cart());
    tamu_free(bare->code);
    bare->code = nullptr;
    ASSERT_EQ(load_zorva_cart_32k(bare.get(), image.data()), 0);
    EXPECT_STREQ(bare->code, "print(1)");
}

TEST_F(CartForms, CodeThatDoesNotFitIsRefused) {
    std::mt19937 rng(6);
    // Bytes outside the literal table with hardly a repeat: the compressed
    // form is longer, so the text itself would go in, and it is too long.
    std::string big(16000, 0);
    for (char &c : big) c = char(128 + rng() % 128);
    cart_ptr cart(random_cart(2, big, false));
    std::vector<uint8_t> image(CART_IMAGE_SIZE, 0x5A);
    EXPECT_EQ(save_zorva_cart_32k(cart.get(), image.data()), 1);
    EXPECT_TRUE(image == std::vector<uint8_t>(CART_IMAGE_SIZE, 0x5A));

    char hash[41] = "unchanged";
    EXPECT_EQ(hash_cart(cart.get(), hash), 1);
    EXPECT_STREQ(hash, "unchanged");

    // 65536 characters: the compressed header cannot state the length.
    cart_ptr longest(random_cart(3, code_like(65536, 4), false));
    EXPECT_EQ(save_zorva_cart_32k(longest.get(), image.data()), 1);

    // Code cut on reading is never saved.
    cart_ptr cut(random_cart(4, "print(1)", false));
    cut->code_cut = 1;
    EXPECT_EQ(save_zorva_cart_32k(cut.get(), image.data()), 1);
    EXPECT_EQ(save_zorva_cart_png(cut.get(), path("cut.zv.png").c_str()), 1);
    EXPECT_FALSE(std::filesystem::exists(path("cut.zv.png")));
}

TEST_F(CartForms, CorruptCompressedCodeIsAnError) {
    cart_ptr cart(random_cart(7, code_like(3000, 7), false));
    std::vector<uint8_t> image(CART_IMAGE_SIZE);
    ASSERT_EQ(save_zorva_cart_32k(cart.get(), image.data()), 0);
    // The stated length grows past what the tokens give.
    image[CART_CODE_OFFSET + 4] = 0xF0;
    cart_ptr back(tamu_create_zorva_cart());
    std::strcpy(back->code, "old");
    EXPECT_EQ(load_zorva_cart_32k(back.get(), image.data()), 1);
    EXPECT_STREQ(back->code, "");
}

TEST_F(CartForms, ColonTextFromOlderWritersReadsAsText) {
    // An image whose code area is plain text beginning with ':' (as older
    // writers stored short code such as a label line) is read as text.
    std::vector<uint8_t> image(CART_IMAGE_SIZE);
    std::memcpy(image.data() + CART_CODE_OFFSET, "::a:: goto a", 12);
    cart_ptr cart(tamu_create_zorva_cart());
    ASSERT_EQ(load_zorva_cart_32k(cart.get(), image.data()), 0);
    EXPECT_STREQ(cart->code, "::a:: goto a");
}

TEST_F(CartForms, HashIsTheSha1OfTheImage) {
    cart_ptr cart(random_cart(8, "print('x')", false));
    std::vector<uint8_t> image(CART_IMAGE_SIZE);
    ASSERT_EQ(save_zorva_cart_32k(cart.get(), image.data()), 0);
    char expected[41], hash[41];
    tamu_sha1(image.data(), CART_IMAGE_SIZE, expected);
    ASSERT_EQ(hash_cart(cart.get(), hash), 0);
    EXPECT_STREQ(hash, expected);
    EXPECT_EQ(std::strlen(hash), 40u);
    // The label and the version are not part of it; the code is.
    cart->version = 3;
    char again[41];
    hash_cart(cart.get(), again);
    EXPECT_STREQ(again, hash);
    cart->code[0] = 'P';
    hash_cart(cart.get(), again);
    EXPECT_STRNE(again, hash);
}

// ---------------------------------------------------------------------------
// PNG cartridge

TEST_F(CartForms, PngRoundTripKeepsEveryField) {
    const std::vector<std::string> codes = {
        "", "-- my game\n-- by someone\nprint(1)", "::top:: goto top", code_like(40000, 11), code_like(65535, 12),
    };
    for (size_t i = 0; i < codes.size(); i++) {
        SCOPED_TRACE(i);
        cart_ptr cart(random_cart(unsigned(100 + i), codes[i]));
        std::string file = path("round.zv.png");
        ASSERT_EQ(save_zorva_cart_png(cart.get(), file.c_str()), 0);
        cart_ptr back(load_zorva_cart_png(file.c_str()));
        ASSERT_TRUE(back);
        EXPECT_EQ(last_png_load_error, PNG_CART_OK);
        expect_same_cart(cart.get(), back.get());
        EXPECT_EQ(back->version, 11);

        // The same through an open file, without the label.
        cfile *f = tamu_fopen(file.c_str(), "rb");
        cart_ptr again(load_zorva_cart_png_from_file(f));
        tamu_fclose(f);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->label, nullptr);
        EXPECT_TRUE(rom_of(again.get()) == rom_of(cart.get()));
        EXPECT_STREQ(again->code, cart->code);
    }
    EXPECT_TRUE(printed.empty());
}

TEST_F(CartForms, PngPictureAndDataBlock) {
    cart_ptr cart(random_cart(20, "-- my game\n-- by someone\nprint(1)"));
    std::string file = path("pic.zv.png");
    ASSERT_EQ(save_zorva_cart_png(cart.get(), file.c_str()), 0);
    unsigned w = 0, h = 0;
    std::vector<uint8_t> rgba = decode_png(file, &w, &h);
    ASSERT_EQ(w, 160u);
    ASSERT_EQ(h, 205u);

    std::vector<uint8_t> data = hidden_data(rgba);
    std::vector<uint8_t> image(CART_IMAGE_SIZE);
    ASSERT_EQ(save_zorva_cart_32k(cart.get(), image.data()), 0);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), data.begin()));
    EXPECT_EQ(data[32768], 11);
    EXPECT_EQ(data[32769], 0);
    EXPECT_EQ(data[32770], 1);
    EXPECT_EQ(data[32771], 15);
    EXPECT_EQ(data[32772], 'l');
    for (size_t i = CART_PNG_DATA_SIZE; i < size_t(w) * h; i++)
        for (int c = 0; c < 4; c++) ASSERT_EQ(rgba[4 * i + size_t(c)] & 3, 0) << i;

    // The label, in the palette's colours but for the low bits.
    auto high_bits = [&](int x, int y, int c) {
        return uint32_t(rgba[4 * (size_t(y) * w + size_t(x)) + size_t(c)] & 0xFC);
    };
    for (int y = 0; y < 128; y += 7)
        for (int x = 0; x < 128; x += 5) {
            int colour = cart->label->rows[y][x];
            for (int c = 0; c < 3; c++)
                ASSERT_EQ(high_bits(16 + x, 24 + y, c), uint32_t(test_palette.rgb[3 * colour + c] & 0xFC)) << x << "," << y;
        }

    // The title lines and the name are drawn in their colours.
    auto count_colour = [&](int y0, int y1, uint32_t colour) {
        int n = 0;
        for (int y = y0; y < y1; y++)
            for (int x = 0; x < 160; x++)
                if (high_bits(x, y, 0) == ((colour >> 16) & 0xFC) && high_bits(x, y, 1) == ((colour >> 8) & 0xFC) &&
                    high_bits(x, y, 2) == (colour & 0xFC))
                    n++;
        return n;
    };
    EXPECT_GT(count_colour(167, 173, CART_PNG_TITLE_COLOUR), 10);
    EXPECT_GT(count_colour(175, 181, CART_PNG_TITLE_COLOUR), 10);
    EXPECT_GT(count_colour(187, 193, CART_PNG_NAME_COLOUR), 10);
}

TEST_F(CartForms, PngTemplateFromTheHookOrTheResourcePod) {
    static cbitmap *hooked = nullptr;
    hooked = tamu_create_bitmap(160, 205, 32);
    for (int y = 0; y < 205; y++)
        for (int x = 0; x < 160; x++) reinterpret_cast<uint32_t *>(hooked->rows[y])[x] = 0xFF4080C0;
    cart_forms.cart_template = [] { return hooked; };
    cart_ptr cart(random_cart(21, "print(1)", false));
    std::string file = path("t.zv.png");
    ASSERT_EQ(save_zorva_cart_png(cart.get(), file.c_str()), 0);
    unsigned w, h;
    std::vector<uint8_t> rgba = decode_png(file, &w, &h);
    ASSERT_EQ(rgba.size(), size_t(160 * 205 * 4));
    EXPECT_EQ(rgba[0] & 0xFC, 0x40);
    EXPECT_EQ(rgba[1] & 0xFC, 0x80);
    EXPECT_EQ(rgba[2] & 0xFC, 0xC0);

    // No hook: item 145 of the resource pod, an 8-bit picture here (drawn
    // through the palette).
    cart_forms.cart_template = nullptr;
    pstate.resource_pod = tamu_create_pod(200);
    for (int i = 0; i < 145; i++) cpod_add_item(pstate.resource_pod, CPOD_ITEM_MEMORY, tamu_malloc(1));
    cbitmap *grey = tamu_create_bitmap(160, 205, 8);
    std::memset(grey->pixels, 3, 160 * 205);
    ASSERT_EQ(cpod_add_item(pstate.resource_pod, CPOD_ITEM_BITMAP, grey), 145);
    ASSERT_EQ(save_zorva_cart_png(cart.get(), file.c_str()), 0);
    rgba = decode_png(file, &w, &h);
    EXPECT_EQ(rgba[0] & 0xFC, test_palette.rgb[9] & 0xFC);
    tamu_destroy_pod(pstate.resource_pod);
    pstate.resource_pod = nullptr;
    tamu_destroy_bitmap(hooked);
    cart_ptr back(load_zorva_cart_png(file.c_str()));
    ASSERT_TRUE(back);
    EXPECT_STREQ(back->code, "print(1)");
}

TEST_F(CartForms, TitleLines) {
    auto drawn = [](const char *code) {
        cbitmap *b = tamu_create_bitmap(160, 10, 32);
        draw_cart_comment(b, code, 2, 1);
        std::vector<uint8_t> px(b->pixels, b->pixels + 160 * 10 * 4);
        tamu_destroy_bitmap(b);
        return px;
    };
    auto text = [](const char *t) {
        cbitmap *b = tamu_create_bitmap(160, 10, 32);
        tamu_draw_text_ex(b, t, tamu_font1, 2, 1, TAMU_TEXT_SOLID, CART_PNG_TITLE_COLOUR);
        std::vector<uint8_t> px(b->pixels, b->pixels + 160 * 10 * 4);
        tamu_destroy_bitmap(b);
        return px;
    };
    const std::vector<uint8_t> blank(160 * 10 * 4, 0);
    EXPECT_EQ(drawn("-- my game\nx"), text("my game"));
    EXPECT_EQ(drawn("--by me"), text("by me"));
    EXPECT_EQ(drawn("--  two spaces"), text(" two spaces"));   // only one is skipped
    EXPECT_EQ(drawn("-- abcdefghijklmnopqrstuvwxyz0123456789"), text("abcdefghijklmnopqrstuvwxyz01234"));
    EXPECT_EQ(drawn("print(1)"), blank);
    EXPECT_EQ(drawn("- x"), blank);
    EXPECT_EQ(drawn(""), blank);
    EXPECT_NE(drawn("-- a"), blank);
}

TEST_F(CartForms, PngEdgeCasesOfTheReader) {
    // All low bits zero: an empty version-0 cart (the code area does not
    // begin with ':', so it is 15360 zero bytes of text).
    std::string zero = path("zero.png");
    encode_png(zero, std::vector<uint8_t>(160 * 205 * 4, 0x40), 160, 205);
    cart_ptr empty(load_zorva_cart_png(zero.c_str()));
    ASSERT_TRUE(empty);
    EXPECT_EQ(last_png_load_error, PNG_CART_OK);
    EXPECT_EQ(empty->version, 0);
    EXPECT_STREQ(empty->code, "");
    EXPECT_TRUE(rom_of(empty.get()) == std::vector<uint8_t>(CART_ROM_SIZE, 0));

    // Versions up to 11 are read as they are; 12 is refused.
    cart_ptr cart(random_cart(30, "print(1)", false));
    for (int version : {0, 4, 10, 11}) {
        std::string file = path("v.png");
        encode_png(file, picture_with(data_block(cart.get(), version)), 160, 205);
        cart_ptr back(load_zorva_cart_png(file.c_str()));
        ASSERT_TRUE(back) << version;
        EXPECT_EQ(back->version, version);
        EXPECT_TRUE(rom_of(back.get()) == rom_of(cart.get()));
    }
    std::string future = path("future.png");
    encode_png(future, picture_with(data_block(cart.get(), 12)), 160, 205);
    EXPECT_EQ(load_zorva_cart_png(future.c_str()), nullptr);
    EXPECT_EQ(last_png_load_error, PNG_CART_FUTURE_VERSION);
    EXPECT_EQ(printed, std::vector<std::string>{"future_version: 12"});
}

TEST_F(CartForms, PngCorruptAndForeignFiles) {
    cart_ptr cart(random_cart(40, code_like(5000, 40)));
    std::string good = path("good.zv.png");
    ASSERT_EQ(save_zorva_cart_png(cart.get(), good.c_str()), 0);
    std::string bytes = read_file(good);

    std::vector<uint8_t> lying = data_block(cart.get());
    lying[CART_CODE_OFFSET + 4] = 0xFF;   // the stated length grows past the tokens
    std::vector<uint8_t> bad_reference = data_block(cart.get());
    bad_reference[CART_CODE_OFFSET + 8] = 255;   // a back-reference before the text starts
    bad_reference[CART_CODE_OFFSET + 9] = 255;

    struct Case {
        const char *name;
        std::function<void(const std::string &)> make;
        int error;
    };
    const std::vector<Case> cases = {
        {"truncated", [&](const std::string &f) { write_file(f, bytes.substr(0, bytes.size() / 2)); }, 1},
        {"cut after the header", [&](const std::string &f) { write_file(f, bytes.substr(0, 40)); }, 1},
        {"text file", [](const std::string &f) { write_file(f, "zorva cartridge\nversion 11\n"); }, 1},
        {"empty file", [](const std::string &f) { write_file(f, ""); }, 1},
        {"161 x 205", [](const std::string &f) { encode_png(f, std::vector<uint8_t>(161 * 205 * 4), 161, 205); }, 2},
        {"160 x 204", [](const std::string &f) { encode_png(f, std::vector<uint8_t>(160 * 204 * 4), 160, 204); }, 2},
        {"a compressed length that lies", [&](const std::string &f) { encode_png(f, picture_with(lying), 160, 205); }, 2},
        {"a back-reference before the start",
         [&](const std::string &f) { encode_png(f, picture_with(bad_reference), 160, 205); }, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = path("bad.zv.png");
        c.make(file);
        EXPECT_EQ(load_zorva_cart_png(file.c_str()), nullptr);
        EXPECT_EQ(last_png_load_error, c.error);
    }
    EXPECT_EQ(load_zorva_cart_png(path("missing.zv.png").c_str()), nullptr);
    EXPECT_EQ(last_png_load_error, PNG_CART_CANNOT_LOAD);
    EXPECT_EQ(load_zorva_cart_png_from_file(nullptr), nullptr);
    EXPECT_EQ(last_png_load_error, PNG_CART_CANNOT_LOAD);

    // A good read clears the error word; its one decode gives the cart and
    // its label.
    int decodes = tamu_png_decodes();
    cart_ptr back(load_zorva_cart_png(good.c_str()));
    ASSERT_TRUE(back);
    EXPECT_EQ(last_png_load_error, PNG_CART_OK);
    EXPECT_NE(back->label, nullptr);
    EXPECT_EQ(tamu_png_decodes() - decodes, 1);
}

TEST_F(CartForms, PicturesOfAnotherSizeAreRefusedUndecoded) {
    cart_ptr cart(random_cart(41, "print(2)"));
    std::string good = path("good.zv.png");
    ASSERT_EQ(save_zorva_cart_png(cart.get(), good.c_str()), 0);
    // Far longer than a 160 x 205 picture needs, its header still right.
    std::string padded = read_file(good);
    padded.insert(padded.size() - 12, std::string(size_t(tamu_png_file_bound(160, 205)), '\0'));
    const std::pair<const char *, std::string> cases[] = {
        {"8192 x 2048 in a few kilobytes", bomb_png(8192, 2048)},
        {"4096 x 4096", bomb_png(4096, 4096)},
        {"160 x 206", bomb_png(160, 206)},
        {"padded", padded},
    };
    for (auto &[name, png] : cases) {
        SCOPED_TRACE(name);
        std::string file = path("odd.zv.png");
        write_file(file, png);
        int decodes = tamu_png_decodes();
        EXPECT_EQ(load_zorva_cart_png(file.c_str()), nullptr);
        EXPECT_EQ(last_png_load_error, PNG_CART_CANNOT_LOAD);
        EXPECT_EQ(label_from_png_cart(file.c_str()), nullptr);
        EXPECT_EQ(tamu_png_decodes(), decodes);
    }
}

TEST_F(CartForms, PngGarbageInTheLowBits) {
    // Random data blocks: refused as a future version, or read as a cart
    // whose code is a terminated text; never a crash. Half of them begin
    // their code area with the compressed header.
    std::mt19937 rng(50);
    for (int round = 0; round < 40; round++) {
        std::vector<uint8_t> data(CART_PNG_DATA_SIZE);
        for (uint8_t &b : data) b = uint8_t(rng());
        if (round % 2) {
            std::memcpy(data.data() + CART_CODE_OFFSET, ":c:", 4);
            data[CART_IMAGE_SIZE] = uint8_t(rng() % 12);
        }
        cart_ptr cart(load_zorva_cart_png_data(data.data()));
        if (!cart) {
            EXPECT_TRUE(last_png_load_error == PNG_CART_FUTURE_VERSION || last_png_load_error == PNG_CART_CANNOT_LOAD);
            continue;
        }
        EXPECT_EQ(last_png_load_error, PNG_CART_OK);
        EXPECT_LE(cart->version, 11);
        EXPECT_NE(std::memchr(cart->code, 0, ZORVA_CODE_BUFFER_SIZE), nullptr);
    }
}

TEST_F(CartForms, FailedSaveLeavesTheOldFileWhole) {
    std::string file = path("cart.zv.png");
    cart_ptr old_cart(random_cart(60, "print('old')"));
    ASSERT_EQ(save_zorva_cart_png(old_cart.get(), file.c_str()), 0);
    const std::string old_bytes = read_file(file);

    // Code that does not fit: refused before anything is written.
    std::mt19937 rng(61);
    std::string big(16000, 0);
    for (char &c : big) c = char(128 + rng() % 128);
    cart_ptr too_big(random_cart(62, big));
    EXPECT_EQ(save_zorva_cart_png(too_big.get(), file.c_str()), 1);
    EXPECT_TRUE(read_file(file) == old_bytes);

    // The disk fills up half-way.
    cart_ptr fresh(random_cart(63, code_like(9000, 63)));
    rlimit old_limit;
    getrlimit(RLIMIT_FSIZE, &old_limit);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small_limit = old_limit;
    small_limit.rlim_cur = 8192;
    setrlimit(RLIMIT_FSIZE, &small_limit);
    int result = save_zorva_cart_png(fresh.get(), file.c_str());
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(result, 2);
    EXPECT_TRUE(read_file(file) == old_bytes);
    size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) files += entry.is_regular_file();
    EXPECT_EQ(files, 1u);   // no temporary file left behind

    EXPECT_EQ(save_zorva_cart_png(fresh.get(), path("no/such/folder/a.zv.png").c_str()), 2);
    cart_ptr back(load_zorva_cart_png(file.c_str()));
    ASSERT_TRUE(back);
    EXPECT_STREQ(back->code, "print('old')");
}

// ---------------------------------------------------------------------------
// Hex and binary forms

TEST_F(CartForms, HexAndBinaryForms) {
    cart_ptr cart(random_cart(70, "print(1)", false));
    std::vector<uint8_t> rom = rom_of(cart.get());
    std::string spaced, zeroed, upper;
    char two[8];
    for (uint8_t b : rom) {
        std::snprintf(two, sizeof two, "%2x", b);
        spaced += two;
        std::snprintf(two, sizeof two, "%02x", b);
        zeroed += two;
        std::snprintf(two, sizeof two, "%02X", b);
        upper += two;
    }
    ASSERT_EQ(spaced.size(), size_t(CART_HEX_SIZE));
    for (const std::string &text : {spaced, zeroed, upper + "\ntrailing text is not read"}) {
        write_file(path("c.hex"), text);
        cart_ptr back(load_zorva_cart_hex(path("c.hex").c_str()));
        ASSERT_TRUE(back);
        EXPECT_TRUE(rom_of(back.get()) == rom);
        EXPECT_STREQ(back->code, "");
    }
    write_file(path("c.bin"), std::string(rom.begin(), rom.end()));
    cart_ptr bin(load_zorva_cart_bin(path("c.bin").c_str()));
    ASSERT_TRUE(bin);
    EXPECT_TRUE(rom_of(bin.get()) == rom);
    write_file(path("c.hex"), zeroed);
    cart_ptr hex(load_zorva_cart_hex(path("c.hex").c_str()));
    ASSERT_TRUE(hex);
    expect_same_cart(bin.get(), hex.get());

    // Short, foreign or missing files.
    write_file(path("short.hex"), zeroed.substr(0, zeroed.size() - 1));
    EXPECT_EQ(load_zorva_cart_hex(path("short.hex").c_str()), nullptr);
    std::string bad = zeroed;
    bad[1000] = 'g';
    write_file(path("bad.hex"), bad);
    EXPECT_EQ(load_zorva_cart_hex(path("bad.hex").c_str()), nullptr);
    write_file(path("short.bin"), std::string(rom.begin(), rom.end() - 1));
    EXPECT_EQ(load_zorva_cart_bin(path("short.bin").c_str()), nullptr);
    EXPECT_EQ(load_zorva_cart_hex(path("none.hex").c_str()), nullptr);
    EXPECT_EQ(load_zorva_cart_bin(path("none.bin").c_str()), nullptr);
}

// ---------------------------------------------------------------------------
// Legacy fixes

// A cart with notes and music that every fix has something to do with.
zorva_cart *legacy_cart(int version) {
    zorva_cart *cart = tamu_create_zorva_cart();
    cart->version = version;
    // Pattern 0: channel 0 a short one-shot (32), channel 2 a long one-shot
    // (128): swapped. Pattern 1: the longest is looping, no one-shot that
    // long: left alone. Pattern 2: channel 0 is silent, channel 1 the
    // first one-shot and short, channel 3 the longest: 3 and 0 swapped.
    cart->sfx[1].speed = 1;
    cart->sfx[2].speed = 4;
    cart->sfx[3].speed = 8;
    cart->sfx[3].loop_end = 8;
    cart->sfx[4].speed = 0;   // counts as 1
    cart->music[0][0] = 1, cart->music[0][1] = 64, cart->music[0][2] = 2, cart->music[0][3] = 65;
    cart->music[1][0] = 1, cart->music[1][1] = 3, cart->music[1][2] = 4, cart->music[1][3] = 66;
    cart->music[2][0] = 70, cart->music[2][1] = 4, cart->music[2][2] = 1, cart->music[2][3] = 2;
    // Notes: waveform 6 loud, waveform 6 at 5, another waveform loud, a
    // silent slide, a loud slide.
    sfx_note *n = cart->sfx[10].notes;
    n[0].waveform = 6, n[0].volume = 7;
    n[1].waveform = 6, n[1].volume = 5;
    n[2].waveform = 5, n[2].volume = 7;
    n[3].effect = 1, n[3].volume = 0;
    n[4].effect = 1, n[4].volume = 3;
    std::string code = std::string("cls()\n") + legacy_011_marker + ")\n";
    std::strcpy(cart->code, code.c_str());
    return cart;
}

TEST_F(CartForms, LegacyFixesByVersion) {
    for (int version : {0, 4, 5, 10, 11}) {
        SCOPED_TRACE(version);
        printed.clear();
        cart_ptr cart(legacy_cart(version));
        cart_ptr before(legacy_cart(version));
        apply_legacy_changes(cart.get());
        EXPECT_EQ(cart->version, 11);
        const sfx_note *n = cart->sfx[10].notes;
        bool old = version < 5;
        EXPECT_EQ(n[0].volume, old ? 5 : 7);
        EXPECT_EQ(n[1].volume, 5);
        EXPECT_EQ(n[2].volume, 7);
        EXPECT_EQ(n[3].effect, version <= 10 ? 0 : 1);
        EXPECT_EQ(n[4].effect, 1);
        std::vector<int> pattern0(cart->music[0], cart->music[0] + 4), pattern1(cart->music[1], cart->music[1] + 4),
            pattern2(cart->music[2], cart->music[2] + 4);
        EXPECT_EQ(pattern0, old ? std::vector<int>({2, 64, 1, 65}) : std::vector<int>({1, 64, 2, 65}));
        EXPECT_EQ(pattern1, std::vector<int>({1, 3, 4, 66}));
        EXPECT_EQ(pattern2, old ? std::vector<int>({2, 4, 1, 70}) : std::vector<int>({70, 4, 1, 2}));
        if (old) {
            EXPECT_EQ(std::string(cart->code), std::string(legacy_011_prelude) + before->code);
            EXPECT_EQ(printed, (std::vector<std::string>{"legacy: pat 0 swap chan: 0 2",
                                                        "legacy: pat 2 swap chan: 0 3",
                                                        "legacy: 0.1.1 api injected"}));
        } else {
            EXPECT_STREQ(cart->code, before->code);
            EXPECT_TRUE(printed.empty());
        }
        if (version == 11) {
            cart->version = before->version;
            expect_same_cart(cart.get(), before.get());
        }
    }
}

TEST_F(CartForms, LegacyPreludeNeedsRoom) {
    EXPECT_EQ(std::strlen(legacy_011_prelude), 1270u);
    cart_ptr cart(legacy_cart(2));
    std::string code = std::string(legacy_011_marker) + ")\n";
    code += std::string(size_t(ZORVA_CODE_LIMIT - 1270 + 1) - code.size(), 'x');
    std::strcpy(cart->code, code.c_str());
    apply_legacy_changes(cart.get());
    EXPECT_EQ(std::string(cart->code), code);
    EXPECT_EQ(cart->version, 11);

    // Exactly at the limit it goes in.
    code.pop_back();
    std::strcpy(cart->code, code.c_str());
    cart->version = 2;
    apply_legacy_changes(cart.get());
    EXPECT_EQ(std::strlen(cart->code), size_t(ZORVA_CODE_LIMIT));
}

TEST_F(CartForms, LegacyPreludeGivesTheOldCollections) {
    lua_State *L = luaL_newstate();
    ASSERT_NE(L, nullptr);
    luaL_requiref(L, "_G", luaopen_base, 1);
    lua_pop(L, 1);
    const std::string script = std::string(legacy_011_prelude) + R"(
local t={10,20,30}
add(t,40) assert(count(t)==4)
local s=0 foreach(t,function(v) s=s+v end) assert(s==100)
for v in all(t) do if v==20 then del(t,v) end end
assert(count(t)==3 and t[2]==nil)
add(t,99) assert(t[2]==99 and count(t)==4)
del(t,40) assert(t._max==3) del(t,99) del(t,30) assert(t._max==1 and count(t)==1)
for v in all(nil) do error("nil collection") end
foreach(nil,print) add(nil,1) del(nil,1) assert(count(nil)==nil)
local e={} add(e,"a") assert(e[1]=="a" and count(e)==1) del(e,"a") assert(count(e)==0 and e._max==0)
assert(nd==0)
)";
    int status = luaL_dostring(L, script.c_str());
    EXPECT_EQ(status, LUA_OK) << lua_tostring(L, -1);
    lua_close(L);
}

// ---------------------------------------------------------------------------
// Text transfer forms and the label

TEST_F(CartForms, CartTextTransfer) {
    write_file(path("small"), std::string("\x00\xff\x10\x0a", 4));
    ASSERT_EQ(convert_binary_file_to_hex(path("small").c_str(), path("small.hex").c_str()), 0);
    EXPECT_EQ(read_file(path("small.hex")), "[cart]00ff100a[/cart]");

    // A whole PNG cart there and back.
    cart_ptr cart(random_cart(80, code_like(3000, 80)));
    ASSERT_EQ(save_zorva_cart_png(cart.get(), path("a.zv.png").c_str()), 0);
    ASSERT_EQ(convert_binary_file_to_hex(path("a.zv.png").c_str(), path("a.hex").c_str()), 0);
    std::string text = read_file(path("a.hex"));
    ASSERT_EQ(convert_hex_to_binary_file(text.c_str(), path("b.zv.png").c_str()), 0);
    EXPECT_TRUE(read_file(path("b.zv.png")) == read_file(path("a.zv.png")));

    struct Case {
        const char *text;
        int result;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"[cart]0aFF[/cart]", 0, "\x0a\xff"},
        {"[cart]0a1", 0, "\x0a"},          // a lone last digit
        {"[cart]0a1[/cart]", 0, "\x0a"},   // ... before the end mark
        {"[cart]", 0, ""},
        {"[cart]0z", 1, ""},
        {"[cart]0a 1b", 1, ""},
        {"[car", 1, ""},
        {"", 1, ""},
        {"0a0b", 1, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        std::filesystem::remove(path("out"));
        EXPECT_EQ(convert_hex_to_binary_file(c.text, path("out").c_str()), c.result);
        if (c.result == 0)
            EXPECT_EQ(read_file(path("out")), c.bytes);
        else
            EXPECT_FALSE(std::filesystem::exists(path("out")));
    }

    EXPECT_EQ(convert_binary_file_to_hex(path("missing").c_str(), path("x.hex").c_str()), 1);
    EXPECT_EQ(convert_binary_file_to_hex(path("small").c_str(), path("no/folder/x.hex").c_str()), 2);
    EXPECT_EQ(convert_hex_to_binary_file("[cart]00", path("no/folder/x").c_str()), 2);
    write_file(path("big"), std::string(CART_TRANSFER_MAX_BYTES + 1, 'b'));
    EXPECT_EQ(convert_binary_file_to_hex(path("big").c_str(), path("big.hex").c_str()), 3);
    EXPECT_FALSE(std::filesystem::exists(path("big.hex")));
    write_file(path("limit"), std::string(CART_TRANSFER_MAX_BYTES, 'b'));
    EXPECT_EQ(convert_binary_file_to_hex(path("limit").c_str(), path("limit.hex").c_str()), 0);
    EXPECT_EQ(read_file(path("limit.hex")).size(), size_t(2 * CART_TRANSFER_MAX_BYTES + 13));
}

TEST_F(CartForms, GfxTextTransfer) {
    cbitmap *b = tamu_create_bitmap(3, 2, 8);
    const uint8_t pixels[6] = {0, 1, 10, 15, 0x17, 7};
    std::memcpy(b->pixels, pixels, 6);
    char text[64];
    ASSERT_EQ(convert_bmp_to_bbs_code(b, text, sizeof text), 0);
    EXPECT_STREQ(text, "[gfx]030201af77[/gfx]");
    EXPECT_EQ(convert_bmp_to_bbs_code(b, text, 21), 2);
    EXPECT_EQ(convert_bmp_to_bbs_code(b, text, 22), 0);

    cbitmap *back = convert_bbs_code_to_bmp(text);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->width, 3);
    EXPECT_EQ(back->height, 2);
    EXPECT_EQ(std::vector<uint8_t>(back->pixels, back->pixels + 6), (std::vector<uint8_t>{0, 1, 10, 15, 7, 7}));
    tamu_destroy_bitmap(back);

    // Fewer digits leave the rest 0; more are not read; other characters
    // read 0.
    back = convert_bbs_code_to_bmp("[gfx]0202F");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(back->pixels, back->pixels + 4), (std::vector<uint8_t>{15, 0, 0, 0}));
    tamu_destroy_bitmap(back);
    back = convert_bbs_code_to_bmp("[gfx]0201123456789");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(back->pixels, back->pixels + 2), (std::vector<uint8_t>{1, 2}));
    tamu_destroy_bitmap(back);
    back = convert_bbs_code_to_bmp("[gfx]0101z");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->pixels[0], 0);
    tamu_destroy_bitmap(back);

    for (const char *bad : {"", "[gfx]", "[gfx]01", "[gfx]0g01", "[gfx]0000", "gfx]0101f", "[cart]0101"})
        EXPECT_EQ(convert_bbs_code_to_bmp(bad), nullptr) << bad;

    cbitmap *wide = tamu_create_bitmap(256, 1, 8);
    EXPECT_EQ(convert_bmp_to_bbs_code(wide, text, sizeof text), 1);
    tamu_destroy_bitmap(wide);
    cbitmap *deep = tamu_create_bitmap(2, 2, 32);
    EXPECT_EQ(convert_bmp_to_bbs_code(deep, text, sizeof text), 1);
    tamu_destroy_bitmap(deep);
    EXPECT_EQ(convert_bmp_to_bbs_code(nullptr, text, sizeof text), 1);
    tamu_destroy_bitmap(b);
}

zorva_cart *label_test_cart = nullptr;

TEST_F(CartForms, LabelFromTheBackPage) {
    EXPECT_EQ(set_cart_label(), 1);   // no working cart
    cart_ptr cart(tamu_create_zorva_cart());
    label_test_cart = cart.get();
    zorva_shell.working_cart = [] { return label_test_cart; };
    EXPECT_EQ(set_cart_label(), 1);   // no back page
    pstate.back_page = tamu_create_bitmap(128, 128, 8);
    for (int i = 0; i < 128 * 128; i++) pstate.back_page->pixels[i] = uint8_t(i % 16);
    ASSERT_EQ(set_cart_label(), 0);
    ASSERT_NE(cart->label, nullptr);
    EXPECT_TRUE(same_bitmap(cart->label, pstate.back_page));
    EXPECT_NE(cart->label, pstate.back_page);
    // Again: the old label is replaced (and freed).
    pstate.back_page->pixels[0] = 9;
    ASSERT_EQ(set_cart_label(), 0);
    EXPECT_EQ(cart->label->pixels[0], 9);
    tamu_destroy_bitmap(pstate.back_page);
    pstate.back_page = nullptr;
    zorva_reset_shell_hooks();
    label_test_cart = nullptr;
}

}  // namespace
