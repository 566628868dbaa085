// The built-in fonts, text drawing, widths and spacing, and line input.
#include "tamu.h"

#include "pixel_maps.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// A font of count items for the bytes 32..127 (count with non-zero low
// bits), drawn from maps: '#' is ink, '.' blank. Bytes without a
// map get a blank 1 x 1 glyph. Ink is 255, as in the built-in fonts; `not_bitmap` bytes hold a palette instead.
cpod *make_font96(const std::map<int, pixel_map> &glyphs, int count = 96, std::vector<int> not_bitmap = {}) {
    cpod *font = tamu_create_pod(count);
    for (int i = 0; i < count; i++) {
        int byte = 32 + i % 96;
        bool palette = false;
        for (int b : not_bitmap) palette |= b == byte;
        if (palette) {
            cpod_add_item(font, CPOD_ITEM_PALETTE, tamu_create_palette());
            continue;
        }
        auto it = glyphs.find(byte);
        cbitmap *g;
        if (it == glyphs.end()) {
            g = tamu_create_bitmap(1, 1, 8);
        } else {
            const pixel_map &m = it->second;
            g = tamu_create_bitmap(int(m[0].size()), int(m.size()), 8);
            for (size_t y = 0; y < m.size(); y++)
                for (size_t x = 0; x < m[y].size(); x++) g->rows[y][x] = m[y][x] == '#' ? 255 : 0;
        }
        cpod_add_item(font, CPOD_ITEM_BITMAP, g);
    }
    return font;
}

// Glyphs of 1 to 3 pixels that make maps easy to read.
cpod *tiny_font(int count = 96, std::vector<int> not_bitmap = {}) {
    return make_font96({{'a', {"##", "#."}},
                        {'b', {"#", "#", "#"}},
                        {'c', {"###"}},
                        {127, {"##"}},
                        {' ', {"..", ".."}}},
                       count, not_bitmap);
}

class FontText : public ::testing::Test {
  protected:
    void SetUp() override {
        tamu_text_init();
        tamu_set_text_spacing(1);
        tiny = tiny_font();
    }
    void TearDown() override {
        tamu_destroy_pod(tiny);
        tamu_text_exit();
        tamu_set_text_spacing(1);
    }
    cpod *tiny = nullptr;
};

TEST_F(FontText, BuiltInFontsHoldTheTableInBothDepths) {
    ASSERT_NE(tamu_font1, nullptr);
    ASSERT_NE(tamu_font2, nullptr);
    EXPECT_EQ(tamu_font1->count, 512);
    EXPECT_EQ(tamu_font2->count, 512);
    struct Case {
        cpod *font;
        int item;
        int w, bpp;
        pixel_map ink;   // '#' where the glyph has ink
        uint32_t ink_value;
    };
    const pixel_map A = {"#####", "#...#", "#####", "#...#", "#...#"};
    const pixel_map boldI = {".####.", "..##..", "..##..", "..##..", ".####."};
    const pixel_map blank5 = {".....", ".....", ".....", ".....", "....."};
    const Case cases[] = {
        {tamu_font1, 'A', 5, 8, A, 255},
        {tamu_font1, 'a', 5, 8, A, 255},   // lower case repeats the capitals
        {tamu_font1, 256 + 'A', 5, 32, A, 0xFFC0C0C0},
        {tamu_font2, 'I', 6, 8, boldI, 255},
        {tamu_font2, 256 + 'I', 6, 32, boldI, 0xFFFFFFFF},
        {tamu_font1, 127, 5, 8, {".....", ".....", ".....", ".....", "#####"}, 255},
        {tamu_font1, 10, 5, 8, blank5, 0},    // outside the table: blank
        {tamu_font1, 200, 5, 8, blank5, 0},
        {tamu_font1, 256 + 31, 5, 32, blank5, 0},
    };
    for (const Case &c : cases) {
        auto *g = static_cast<cbitmap *>(cpod_get_item(c.font, c.item, CPOD_ITEM_BITMAP));
        ASSERT_NE(g, nullptr) << c.item;
        EXPECT_EQ(g->width, c.w) << c.item;
        EXPECT_EQ(g->height, 5) << c.item;
        EXPECT_EQ(g->bpp, c.bpp) << c.item;
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < c.w; x++) {
                uint32_t v = c.bpp == 8 ? g->rows[y][x] : pixel32(g, x, y);
                EXPECT_EQ(v, c.ink[y][x] == '#' ? c.ink_value : 0u) << c.item << " at " << x << "," << y;
            }
    }
}

TEST_F(FontText, ShortTextsDrawAsExpected) {
    struct Case {
        const char *name;
        cpod *font;
        const char *text;
        int x, y, flags;
        uint32_t colour;
        pixel_map want;
        int returned;
    };
    const Case cases[] = {
        {"plain", tiny, "ab", 0, 0, 0, 0,
         {"##.#........", "#..#........", "...#........", "............", "............", "............"}, 0},
        {"newline: tallest glyph + spacing", tiny, "ab\nc", 1, 0, 0, 0,
         {".##.#.......", ".#..#.......", "....#.......", "............", ".###........", "............"}, 4},
        {"byte 127 ends the text", tiny, "c\x7f" "a", 0, 0, 0, 0,
         {"###.##......", "............", "............", "............", "............", "............"}, 0},
        {"wrap by character at the clip edge", tiny, "cccc", 0, 0, TAMU_TEXT_WRAP, 0,
         {"###.###.###.", "............", "###.........", "............", "............", "............"}, 2},
        {"centre", tiny, "ab", 6, 1, TAMU_TEXT_CENTRE, 0,
         {"............", "....##.#....", "....#..#....", ".......#....", "............", "............"}, 1},
        {"right", tiny, "ab", 12, 0, TAMU_TEXT_RIGHT, 0,
         {"........##.#", "........#..#", "...........#", "............", "............", "............"}, 0},
        {"centre and right", tiny, "ab", 12, 0, TAMU_TEXT_CENTRE | TAMU_TEXT_RIGHT, 0,
         {"......##.#..", "......#..#..", ".........#..", "............", "............", "............"}, 0},
        {"solid", tiny, "ab", 0, 0, TAMU_TEXT_SOLID, 5,
         {"55.5........", "5..5........", "...5........", "............", "............", "............"}, 0},
        {"an empty line of a 96-glyph font is only the spacing", tiny, "a\n\nc", 0, 0, 0, 0,
         {"##..........", "#...........", "............", "............", "###.........", "............"}, 4},
        {"bytes outside the set take no room", tiny, "a\xc8\x05" "c", 0, 0, 0, 0,
         {"##.###......", "#...........", "............", "............", "............", "............"}, 0},
        {"null text", tiny, nullptr, 0, 3, 0, 0,
         {"............", "............", "............", "............", "............", "............"}, 3},
        {"null font", nullptr, "ab", 0, 3, 0, 0,
         {"............", "............", "............", "............", "............", "............"}, 3},
        {"built-in font", tamu_font1, "HI", 0, 0, 0, 0,
         {"#...#..###..", "#...#...#...", "#####...#...", "#...#...#...", "#...#..###..", "............"}, 0},
        {"built-in blank glyph takes room", tamu_font1, "\xc8I", 0, 0, TAMU_TEXT_SOLID, 7,
         {".......777..", "........7...", "........7...", "........7...", ".......777..", "............"}, 0},
        {"built-in bold", tamu_font2, "I", 0, 1, 0, 0,
         {"............", ".####.......", "..##........", "..##........", "..##........", ".####......."}, 1},
    };
    for (const Case &c : cases) {
        cbitmap *b = tamu_create_bitmap(12, 6, 8);
        int y = tamu_draw_text_ex(b, c.text, c.font, c.x, c.y, c.flags, c.colour);
        EXPECT_EQ(map_of(b), joined(c.want)) << c.name;
        EXPECT_EQ(y, c.returned) << c.name;
        tamu_destroy_bitmap(b);
    }
}

TEST_F(FontText, LinesOfTheBuiltInFontsAdvanceBySixRows) {
    cbitmap *b = tamu_create_bitmap(20, 40, 8);
    EXPECT_EQ(tamu_draw_text(b, "AB\nC", tamu_font1, 0, 10), 16);
    EXPECT_EQ(b->rows[16][1], 255);   // C's top row
    EXPECT_EQ(b->rows[15][1], 0);
    // A newline's own glyph is not drawn but keeps an empty line's height.
    EXPECT_EQ(tamu_draw_text(b, "A\n\nB", tamu_font1, 0, 0), 12);
    tamu_set_text_spacing(3);
    EXPECT_EQ(tamu_draw_text(b, "A\nB", tamu_font1, 0, 0), 8);
    tamu_destroy_bitmap(b);
}

TEST_F(FontText, MissingAndForeignGlyphsDrawNothingAndTakeNoRoom) {
    // 70 items cover the bytes 32..101: 'z' lies past the font's end, and
    // 'b' holds a palette, not a bitmap.
    cpod *short_font = tiny_font(70, {'b'});
    cbitmap *b = tamu_create_bitmap(8, 2, 8);
    tamu_draw_text(b, "azbc", short_font, 0, 0);
    EXPECT_EQ(map_of(b), joined({"##.###..", "#......."}));
    EXPECT_EQ(tamu_get_text_width("azbc", short_font), 2 + 1 + 3);
    tamu_destroy_bitmap(b);
    tamu_destroy_pod(short_font);

    // A font with no glyphs at all draws nothing.
    cpod *empty = tamu_create_pod(0);
    b = tamu_create_bitmap(4, 4, 8);
    EXPECT_EQ(tamu_draw_text(b, "abc", empty, 0, 2), 2);
    EXPECT_EQ(map_of(b), joined({"....", "....", "....", "...."}));
    tamu_destroy_bitmap(b);
    tamu_destroy_pod(empty);
}

TEST_F(FontText, TheSetFollowsTheBitmapsDepth) {
    cbitmap *b = tamu_create_bitmap(12, 5, 32);
    tamu_draw_text(b, "I", tamu_font1, 0, 0);
    // The 32-bit set's ink, blended over the bitmap (whose alpha stays).
    EXPECT_EQ(pixel32(b, 1, 0), 0x00C0C0C0u);
    EXPECT_EQ(pixel32(b, 0, 0), 0u);
    tamu_draw_text(b, "I", tamu_font2, 6, 0);
    EXPECT_EQ(pixel32(b, 7, 0), 0x00FFFFFFu);
    tamu_clear_bitmap(b);
    // Solid on 32 bits: the colour word itself.
    tamu_draw_text_ex(b, "I", tamu_font1, 0, 0, TAMU_TEXT_SOLID, 0x00ABCDEF);
    EXPECT_EQ(pixel32(b, 2, 2), 0x00ABCDEFu);
    tamu_clear_bitmap(b);
    // A font with no 32-bit set draws solid in the colour.
    tamu_draw_text_ex(b, "c", tiny, 0, 0, 0, 0xFF112233);
    EXPECT_EQ(pixel32(b, 0, 0), 0xFF112233u);
    EXPECT_EQ(pixel32(b, 2, 0), 0xFF112233u);
    EXPECT_EQ(pixel32(b, 3, 0), 0u);
    tamu_destroy_bitmap(b);
    // Nothing reaches the window pseudo-bitmap.
    EXPECT_EQ(tamu_draw_text(tamu_screen, "I", tamu_font1, 0, 0), 0);
}

TEST_F(FontText, ClipMarkerEndsTheTextAtTheRightEdge) {
    tamu_set_text_spacing(0);   // eight H are 40 pixels wide
    ASSERT_EQ(tamu_get_text_width("HHHHHHHH", tamu_font1), 40);

    cbitmap *b = tamu_create_bitmap(40, 5, 8);
    tamu_draw_text_ex(b, "HHHHHHHH", tamu_font1, 10, 0, TAMU_TEXT_CLIP, 0);
    std::string h0 = "#...##...##...##...##...#", h2 = "#########################";
    EXPECT_EQ(map_of(b), joined({"..............." + h0, "..............." + h0, "..............." + h2,
                                 "..............." + h0, "..#....#......." + h0}));
    EXPECT_EQ(b->clip_x0, 0);   // the clip is put back
    tamu_destroy_bitmap(b);

    // At x = 100 in a 128-wide clip the text is moved to start at 88.
    b = tamu_create_bitmap(128, 5, 8);
    tamu_draw_text_ex(b, "HHHHHHHH", tamu_font1, 100, 0, TAMU_TEXT_CLIP, 0);
    int first = -1;
    for (int x = 15; x < 128 && first < 0; x++)
        if (b->rows[0][x]) first = x;
    EXPECT_EQ(first, 88);
    EXPECT_EQ(b->rows[4][2], 255);   // the marker
    EXPECT_EQ(b->rows[4][7], 255);
    tamu_destroy_bitmap(b);

    // A text that fits is drawn where it was asked, with no marker.
    b = tamu_create_bitmap(128, 5, 8);
    tamu_draw_text_ex(b, "HH", tamu_font1, 100, 0, TAMU_TEXT_CLIP, 0);
    EXPECT_EQ(b->rows[0][100], 255);
    EXPECT_EQ(b->rows[4][2], 0);
    tamu_destroy_bitmap(b);
}

TEST_F(FontText, WidthsAndSpacing) {
    struct Case {
        cpod *font;
        const char *text;
        int spacing, want;
    };
    const Case cases[] = {
        {tamu_font1, "AB", 1, 11},     {tamu_font1, "", 1, -1},    {tamu_font1, "AB", 0, 10},
        {tamu_font2, "AB", 1, 13},     {tamu_font1, "A\nB", 1, 11}, {tamu_font1, "A\xc8", 1, 11},
        {tiny, "a\xc8" "b", 1, 4},    {tiny, "abc", 2, 2 + 1 + 3 + 4}, {nullptr, "abc", 1, -1},
        {tiny, nullptr, 2, -2},
    };
    for (const Case &c : cases) {
        tamu_set_text_spacing(c.spacing);
        EXPECT_EQ(tamu_get_text_width(c.text, c.font), c.want) << (c.text ? c.text : "(null)") << " " << c.spacing;
    }
    tamu_set_text_spacing(-3);
    EXPECT_EQ(tamu_get_text_spacing(), 0);
    tamu_set_text_spacing(4);
    EXPECT_EQ(tamu_get_text_spacing(), 4);
}

TEST_F(FontText, PhatTextIsOutlined) {
    cbitmap *b = tamu_create_bitmap(6, 3, 8);
    EXPECT_EQ(tamu_draw_text_phat(b, "c", tiny, 1, 1, 0, 2, 5), 1);
    EXPECT_EQ(map_of(b), joined({"22222.", "25552.", "22222."}));
    tamu_destroy_bitmap(b);
}

// ---------------------------------------------------------------------------
// Line input

std::vector<int> script;
size_t script_at = 0;
std::vector<std::string> pages_seen;   // the back page at each key read
std::function<void()> on_key;

int scripted_key() {
    pages_seen.push_back(tamu_back_page ? map_of(tamu_back_page) : "");
    if (on_key) on_key();
    if (script_at >= script.size()) return 13;
    return script[script_at++];
}

class LineInput : public ::testing::Test {
  protected:
    void SetUp() override {
        tamu_text_init();
        tamu_set_text_spacing(1);
        page = tamu_create_bitmap(20, 8, 8);
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 20; x++) page->rows[y][x] = 3;
        saved_page = tamu_back_page;
        tamu_back_page = page;
        saved_source = tamu_text_key_source;
        tamu_text_key_source = scripted_key;
        script.clear();
        script_at = 0;
        pages_seen.clear();
        on_key = nullptr;
        tamu_quit = 0;
    }
    void TearDown() override {
        tamu_back_page = saved_page;
        tamu_text_key_source = saved_source;
        tamu_destroy_bitmap(page);
        tamu_text_exit();
        tamu_quit = 0;
    }
    cbitmap *page = nullptr;
    cbitmap *saved_page = nullptr;
    int (*saved_source)() = nullptr;
};

TEST_F(LineInput, ShowsTheTextOnTheBackPageAndTakesOnlyPrintableBytes) {
    const std::string blank = joined({"33333333333333333333", "33333333333333333333", "33333333333333333333",
                                      "33333333333333333333", "33333333333333333333", "33333333333333333333",
                                      "33333333333333333333", "33333333333333333333"});
    // -1 is a key without a character; Escape, a bell and 0xFF are not
    // printable; Backspace takes the last byte away.
    script = {'H', -1, 27, 7, 0xFF, 'X', 8, 'I'};
    char buffer[8];
    EXPECT_EQ(tamu_get_keyboard_string_ex(buffer, 1, 1, tamu_font1, 8, 18), 1);
    EXPECT_STREQ(buffer, "HI");
    ASSERT_EQ(pages_seen.size(), script.size() + 1);
    EXPECT_EQ(pages_seen[0], joined({"33333333333333333333", "33333333333333333333", "33333333333333333333",
                                     "33333333333333333333", "33333333333333333333", "3#####33333333333333",
                                     "33333333333333333333", "33333333333333333333"}))
        << "the cursor bar alone";
    // At Enter: the text and the cursor bar over what lay beneath.
    EXPECT_EQ(pages_seen.back(), joined({"33333333333333333333", "3#333#33###333333333", "3#333#333#3333333333",
                                         "3#####333#3333333333", "3#333#333#3333333333", "3#333#33###33#####33",
                                         "33333333333333333333", "33333333333333333333"}));
    // Afterwards the back page is as it was.
    EXPECT_EQ(map_of(page), blank);
}

TEST_F(LineInput, KeepsWithinTheSizeAndTheWidth) {
    struct Case {
        const char *name;
        std::vector<int> keys;
        int size, width;
        const char *want;
    };
    const Case cases[] = {
        {"at the size limit the last byte is replaced", {'A', 'B', 'C'}, 3, 18, "AC"},
        {"size 1 holds nothing", {'A'}, 1, 18, ""},
        // 14 pixels less the width of '_' leave 9: "A" (5) fits, "AB" (11) not.
        {"too wide is taken back", {'A', 'B'}, 8, 14, "A"},
        {"backspace on an empty text", {8, 8, 'A'}, 8, 18, "A"},
        {"typed text bytes arrive signed", {-56}, 8, 18, "\xc8"},
    };
    for (const Case &c : cases) {
        script = c.keys;
        script_at = 0;
        char buffer[8] = "junk";
        EXPECT_EQ(tamu_get_keyboard_string_ex(buffer, 0, 0, tamu_font1, c.size, c.width), 1) << c.name;
        EXPECT_STREQ(buffer, c.want) << c.name;
    }
    // A 96-glyph font has nothing for byte 200.
    cpod *tiny = tiny_font();
    script = {-56, 'a'};
    script_at = 0;
    char buffer[8];
    tamu_get_keyboard_string_ex(buffer, 0, 0, tiny, 8, 18);
    EXPECT_STREQ(buffer, "a");
    tamu_destroy_pod(tiny);
}

TEST_F(LineInput, RefusedArgumentsAndQuitting) {
    EXPECT_EQ(tamu_get_keyboard_string_ex(nullptr, 0, 0, tamu_font1, 8, 18), 0);
    char buffer[8] = "keep";
    EXPECT_EQ(tamu_get_keyboard_string_ex(buffer, 0, 0, tamu_font1, 0, 18), 0);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_TRUE(pages_seen.empty());

    // Closing the window while the field waits ends it without Enter.
    script = {'A', 'B', 'C'};
    on_key = [] {
        if (script_at == 1) tamu_quit = 1;
    };
    EXPECT_EQ(tamu_get_keyboard_string_ex(buffer, 2, 2, tamu_font1, 8, 18), 0);
    EXPECT_STREQ(buffer, "A");
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 20; x++) ASSERT_EQ(page->rows[y][x], 3) << x << "," << y;

    // Without a back page nothing is shown, and input still works.
    tamu_quit = 0;
    tamu_back_page = nullptr;
    script = {'Z'};
    script_at = 0;
    on_key = nullptr;
    EXPECT_EQ(tamu_get_keyboard_string_ex(buffer, 0, 0, tamu_font1, 8, 18), 1);
    EXPECT_STREQ(buffer, "Z");
}

}  // namespace
