// Fonts stored as pod files: sets of 256 and 96 glyphs, one or two depths,
// and the console's system font made by tools/fontgen.
#include "tamu.h"
#include "test_util.h"

#include "pixel_maps.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

const std::map<int, pixel_map> glyph_art = {
    {'H', {"#.#", "#.#", "###", "#.#", "#.#"}},
    {'i', {"#", ".", "#", "#", "#"}},
    {200, {"##", "##"}},
};

// One set of glyphs for the bytes first..first + size - 1 at the depth
// (ink 255, or ink32 in 32 bits); bytes without art get a blank 1 x 1.
void add_set(cpod *font, int first, int size, int bpp, uint32_t ink32) {
    for (int byte = first; byte < first + size; byte++) {
        auto it = glyph_art.find(byte);
        int w = it == glyph_art.end() ? 1 : int(it->second[0].size());
        int h = it == glyph_art.end() ? 1 : int(it->second.size());
        cbitmap *g = tamu_create_bitmap(w, h, bpp);
        if (it != glyph_art.end())
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++)
                    if (it->second[y][x] == '#') tamu_putpixel(g, x, y, bpp == 8 ? 255 : ink32);
        cpod_add_item(font, CPOD_ITEM_BITMAP, g);
    }
}

// Saves the font and loads it back, as a font is read from a pod file.
cpod *through_a_file(cpod *font) {
    std::string path = test_home() + "/font.pod";
    EXPECT_EQ(tamu_save_pod(path.c_str(), font), 0);
    tamu_destroy_pod(font);
    return tamu_load_pod(path.c_str());
}

TEST(FontPod, FontsLoadedFromPodFilesDraw) {
    struct Case {
        const char *name;
        int first, size, sets;
        int target_bpp;
        pixel_map want;   // '#' ink
        int count;
    };
    const pixel_map all = {"#.#.#.##", "#.#...##", "###.#...", "#.#.#...", "#.#.#..."};
    const pixel_map ascii = {"#.#.#...", "#.#.....", "###.#...", "#.#.#...", "#.#.#..."};
    const Case cases[] = {
        {"256 glyphs", 0, 256, 1, 8, all, 256},
        {"512 glyphs onto 8 bits", 0, 256, 2, 8, all, 512},
        {"512 glyphs onto 32 bits", 0, 256, 2, 32, all, 512},
        {"96 glyphs: no byte 200", 32, 96, 1, 8, ascii, 96},
        {"192 glyphs onto 32 bits", 32, 96, 2, 32, ascii, 192},
    };
    for (const Case &c : cases) {
        cpod *font = tamu_create_pod(0);
        add_set(font, c.first, c.size, 8, 0);
        if (c.sets == 2) add_set(font, c.first, c.size, 32, 0xFF00FF00);
        font = through_a_file(font);
        ASSERT_NE(font, nullptr) << c.name;
        EXPECT_EQ(font->count, c.count) << c.name;
        tamu_set_text_spacing(1);
        EXPECT_EQ(tamu_get_text_width("Hi\xc8", font), c.first == 0 ? 3 + 1 + 1 + 1 + 2 : 3 + 1 + 1) << c.name;

        cbitmap *b = tamu_create_bitmap(8, 5, c.target_bpp);
        tamu_draw_text(b, "Hi\xc8", font, 0, 0);
        std::string got;
        for (int y = 0; y < 5; y++) {
            for (int x = 0; x < 8; x++) {
                uint32_t v = tamu_getpixel(b, x, y);
                // 8 bits: 255; 32 bits: the 32-bit set's green, or the
                // 8-bit set drawn solid in colour 0 when there is none.
                bool ink = c.target_bpp == 8 ? v == 255 : (v & 0xFFFFFF) == 0x00FF00;
                got += ink ? '#' : v ? '?' : '.';
            }
            got += '\n';
        }
        EXPECT_EQ(got, joined(c.want)) << c.name;
        tamu_destroy_bitmap(b);
        tamu_destroy_pod(font);
    }
}

std::string system_font_path() { return std::string(ZORVA_SOURCE_DIR) + "/assets/font/system_font.pod"; }

TEST(FontPod, SystemFontLoadsAndDraws) {
    cpod *font = tamu_load_pod(system_font_path().c_str());
    ASSERT_NE(font, nullptr);
    ASSERT_EQ(font->count, 256);
    for (int byte = 0; byte < 256; byte++) {
        auto *g = static_cast<cbitmap *>(cpod_get_item(font, byte, CPOD_ITEM_BITMAP));
        ASSERT_NE(g, nullptr) << byte;
        EXPECT_EQ(g->bpp, 8) << byte;
        EXPECT_EQ(g->height, 5) << byte;
        if (byte < 128)
            EXPECT_EQ(g->width, 3) << byte;
        else
            EXPECT_TRUE(g->width >= 1 && g->width <= 7) << byte;
        int ink = 0;
        for (int y = 0; y < g->height; y++)
            for (int x = 0; x < g->width; x++) {
                EXPECT_TRUE(g->rows[y][x] == 0 || g->rows[y][x] == 255) << byte;
                ink += g->rows[y][x] != 0;
            }
        EXPECT_EQ(ink == 0, byte == ' ') << byte;   // the newline byte too has ink
    }

    tamu_set_text_spacing(1);
    EXPECT_EQ(tamu_get_text_width("Hi", font), 7);   // 4 pixels a glyph
    cbitmap *b = tamu_create_bitmap(9, 12, 8);
    EXPECT_EQ(tamu_draw_text_ex(b, "Hi\n" "\x7f", font, 1, 0, TAMU_TEXT_SOLID, 7), 6);
    EXPECT_EQ(map_of(b), joined({".7.7.....", ".7.7.777.", ".777..7..", ".7.7..7..", ".7.7.777.", ".........",
                                 ".777.....", ".777.....", ".777.....", ".777.....", ".777.....", "........."}));
    tamu_destroy_bitmap(b);
    tamu_destroy_pod(font);
}

// Every glyph can be told from every other: no two are alike, and the
// letters, digits and signs that were easy to mistake differ.
TEST(FontPod, SystemFontGlyphsDifferPairwise) {
    cpod *font = tamu_load_pod(system_font_path().c_str());
    ASSERT_NE(font, nullptr);
    auto pixels = [&](int byte) {
        auto *g = static_cast<cbitmap *>(cpod_get_item(font, byte, CPOD_ITEM_BITMAP));
        std::string p = std::to_string(g->width) + ":";
        for (int y = 0; y < g->height; y++)
            for (int x = 0; x < g->width; x++) p += g->rows[y][x] ? '#' : '.';
        return p;
    };
    std::vector<std::string> glyphs;
    for (int byte = 0; byte < 256; byte++) glyphs.push_back(pixels(byte));
    for (int a = 0; a < 256; a++)
        for (int b = a + 1; b < 256; b++) EXPECT_NE(glyphs[size_t(a)], glyphs[size_t(b)]) << a << " and " << b;
    // Capitals and their lower case (small capitals) differ too.
    for (int c = 'a'; c <= 'z'; c++) EXPECT_NE(glyphs[size_t(c)], glyphs[size_t(c - 32)]) << char(c);
    tamu_destroy_pod(font);
}

TEST(FontPod, GeneratorOutputIsCurrent) {
    std::string tool = std::string(ZORVA_BINARY_DIR) + "/tools/fontgen";
    if (!std::ifstream(tool).good()) GTEST_SKIP() << "tools/fontgen is not built";
    std::string out = test_home() + "/generated.pod";
    std::string command = "'" + tool + "' '" + ZORVA_SOURCE_DIR + "/assets/font/system_font.txt' '" + out + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_file(out), read_file(system_font_path())) << "regenerate assets/font/system_font.pod";

    // Faults in the art are refused and write nothing.
    std::string art = read_file(std::string(ZORVA_SOURCE_DIR) + "/assets/font/system_font.txt");
    struct Case {
        const char *name;
        std::string from, to;
    };
    const Case cases[] = {
        {"a narrow glyph 4 wide", "glyph 0x41 A\n.#.\n#.#\n###\n#.#\n#.#",
         "glyph 0x41 A\n.#..\n#.#.\n###.\n#.#.\n#.#."},
        {"rows of unequal width", "glyph 0x41 A\n.#.\n", "glyph 0x41 A\n.##.\n"},
        {"a glyph twice", "glyph 0xFF", "glyph 0xFE"},
        {"a bad row", "glyph 0x42 B\n##.", "glyph 0x42 B\n#x."},
        {"four rows", "glyph 0x42 B\n##.\n", "glyph 0x42 B\n"},
        {"two glyphs alike", "glyph 0x42 B\n##.\n#.#\n##.\n#.#\n##.", "glyph 0x42 B\n.#.\n#.#\n###\n#.#\n#.#"},
    };
    for (const Case &c : cases) {
        std::string broken = art;
        auto at = broken.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.name;
        broken.replace(at, c.from.size(), c.to);
        std::string in = test_home() + "/broken.txt", pod = test_home() + "/broken.pod";
        write_file(in, broken);
        std::remove(pod.c_str());
        std::string cmd = "'" + tool + "' '" + in + "' '" + pod + "' 2>/dev/null";
        EXPECT_NE(std::system(cmd.c_str()), 0) << c.name;
        EXPECT_FALSE(std::ifstream(pod).good()) << c.name;
    }
}

}  // namespace
