// Console drawing primitives on their own: fill patterns, runs, lines with
// clipping, circles, the sprite copies with palette, flips and stretching,
// and the smaller operations.
#include "console_state.h"
#include "pixel_maps.h"
#include "zorva_draw.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>

namespace {

constexpr int TRANSPARENT = ZORVA_FILL_TRANSPARENT;

// A w x h bitmap filled with one colour.
cbitmap *canvas(int w, int h, int fill = 0) {
    cbitmap *b = tamu_create_bitmap(w, h, 8);
    tamu_rectfill(b, 0, 0, w - 1, h - 1, uint32_t(fill));
    return b;
}


// ---------------------------------------------------------------------------
// Fill patterns

TEST(DrawPattern, PixelsAndRowsPickTheNibbleOfTheirScreenPosition) {
    struct Case {
        const char *name;
        int colour, pattern;
        pixel_map want;   // on a background of colour c, columns 0-7
    } cases[] = {
        {"no pattern: the primary colour", 0x17, 0, {"77777777", "77777777", "77777777", "77777777"}},
        {"checkerboard", 0x17, 0x5A5A, {"71717171", "17171717", "71717171", "17171717"}},
        {"transparent checkerboard", 0x17, 0x5A5A | TRANSPARENT,
         {"7c7c7c7c", "c7c7c7c7", "7c7c7c7c", "c7c7c7c7"}},
        {"all ones: the secondary colour", 0x17, 0xFFFF, {"11111111", "11111111", "11111111", "11111111"}},
        {"all ones, transparent: untouched", 0x17, 0xFFFF | TRANSPARENT,
         {"cccccccc", "cccccccc", "cccccccc", "cccccccc"}},
        {"bit 15 is the top-left pixel", 0x02, 0x8000, {".222.222", "22222222", "22222222", "22222222"}},
        {"bit 0 is the bottom-right pixel", 0x02, 0x0001, {"22222222", "22222222", "22222222", "222.222."}},
        {"a row of its own", 0x35, 0x0F00, {"55555555", "33333333", "55555555", "55555555"}},
        {"bits above 16 other than transparency are ignored", 0x35, 0x0F00 | 0xFE0000,
         {"55555555", "33333333", "55555555", "55555555"}},
    };
    for (const Case &c : cases) {
        cbitmap *rows = canvas(8, 4, 12), *pixels = canvas(8, 4, 12);
        for (int y = 0; y < 4; y++) {
            draw_hline(rows, 7, 0, y, c.colour, c.pattern);   // ends in either order
            for (int x = 0; x < 8; x++) putpixel(pixels, x, y, c.colour, c.pattern);
        }
        EXPECT_EQ(map_of(rows), joined(c.want)) << c.name;
        EXPECT_EQ(map_of(pixels), joined(c.want)) << c.name;
        tamu_destroy_bitmap(rows);
        tamu_destroy_bitmap(pixels);
    }
}

TEST(DrawPattern, RunsFollowTheScreenNotTheirStart) {
    cbitmap *b = canvas(10, 3, 0);
    draw_hline(b, 3, 8, 1, 0x21, 0x0800);   // row 1: pattern bits 0b1000, x & 3 = 0 secondary
    draw_vline(b, 1, 0, 2, 0x43, 0x0800);   // column 1, only row 1's bit 3 is set: x & 3 = 1 clear
    EXPECT_EQ(map_of(b), joined({".3........", ".3.121112.", ".3........"}));
    tamu_destroy_bitmap(b);
}

TEST(DrawPattern, RunsAreClippedAndEmptyRunsDrawNothing) {
    cbitmap *b = canvas(8, 3, 0);
    tamu_set_clip(b, 2, 1, 6, 2);
    draw_hline(b, -100, 100, 1, 5, 0);
    draw_hline(b, 0, 7, 0, 5, 0);   // row above the clip
    draw_hline(b, 0, 1, 1, 5, 0);   // left of it
    draw_vline(b, 3, -100, 100, 6, 0);
    draw_hline(b, INT_MIN, INT_MAX, 1, 7, 0x8000);
    putpixel(b, 6, 1, 9, 0);        // x = clip x1
    EXPECT_EQ(map_of(b), joined({"........", "..7777..", "........"}));
    draw_hline(nullptr, 0, 1, 1, 5, 0);
    putpixel(nullptr, 0, 0, 5, 0);
    tamu_destroy_bitmap(b);
}

// ---------------------------------------------------------------------------
// Lines

TEST(DrawLine, StepsFromPixelCentres) {
    struct Case {
        const char *name;
        int x0, y0, x1, y1, colour, pattern, steps;
        pixel_map want;
    } cases[] = {
        {"shallow", 0, 0, 7, 3, 5, 0, 8, {"55......", "..55....", "....55..", "......55"}},
        {"the same, drawn from the other end", 7, 3, 0, 0, 5, 0, 8, {"55......", "..55....", "....55..", "......55"}},
        {"diagonal", 0, 0, 3, 3, 5, 0, 4, {"5.......", ".5......", "..5.....", "...5...."}},
        {"one point: two steps on it", 2, 1, 2, 1, 5, 0, 2, {"........", "..5.....", "........", "........"}},
        {"vertical with a pattern", 1, 0, 1, 3, 0x15, 0x4444, 4, {".1......", ".1......", ".1......", ".1......"}},
        {"horizontal with a transparent pattern", 0, 2, 7, 2, 0x15, 0x00F0 | TRANSPARENT, 8,
         {"........", "........", "........", "........"}},
        {"horizontal with a pattern", 0, 2, 7, 2, 0x15, 0x0090, 8, {"........", "........", "15511551", "........"}},
    };
    for (const Case &c : cases) {
        cbitmap *b = canvas(8, 4);
        EXPECT_EQ(draw_line(b, c.x0, c.y0, c.x1, c.y1, c.colour, c.pattern), c.steps) << c.name;
        EXPECT_EQ(map_of(b), joined(c.want)) << c.name;
        tamu_destroy_bitmap(b);
    }
}

// The clipped line is exactly the unclipped one seen through the clip, and
// the count is that of the steps landing inside: no step inside is lost at
// the clip's edges, even for steps shorter than a pixel.
TEST(DrawLine, ClippingDrawsExactlyThePointsInsideTheClip) {
    std::mt19937 rng(7);
    auto coord = [&](int spread) { return int(rng() % (2 * spread + 1)) - spread; };
    for (int round = 0; round < 3000; round++) {
        int spread = round % 3 == 0 ? 400 : 40;
        int x0 = coord(spread) + 64, y0 = coord(spread) + 64, x1 = coord(spread) + 64, y1 = coord(spread) + 64;
        int cx0 = int(rng() % 128), cy0 = int(rng() % 128);
        int cx1 = cx0 + int(rng() % (129 - cx0)), cy1 = cy0 + int(rng() % (129 - cy0));

        cbitmap *b = canvas(128, 128);
        tamu_set_clip(b, cx0, cy0, cx1, cy1);
        int steps = draw_line(b, x0, y0, x1, y1, 9, 0);

        // The stepping by hand, points tested one by one.
        cbitmap *want = canvas(128, 128);
        if (y0 > y1) {
            std::swap(x0, x1);
            std::swap(y0, y1);
        }
        int64_t dx = x1 - x0, dy = y1 - y0, n = std::max<int64_t>({std::abs(dx), dy, 1});
        int inside = 0;
        for (int64_t k = 0; k <= n; k++) {
            int64_t x = (int64_t(x0) * 65536 + 0x8000 + k * (dx * 65536 / n)) >> 16;
            int64_t y = (int64_t(y0) * 65536 + 0x8000 + k * (dy * 65536 / n)) >> 16;
            if (x >= cx0 && x < cx1 && y >= cy0 && y < cy1) {
                want->rows[y][x] = 9;
                inside++;
            }
        }
        if (std::memcmp(b->pixels, want->pixels, 128 * 128) != 0) {
            ASSERT_EQ(map_of(b), map_of(want)) << x0 << "," << y0 << " - " << x1 << "," << y1 << " clip " << cx0 << ","
                                               << cy0 << "," << cx1 << "," << cy1;
        }
        ASSERT_EQ(steps, inside) << x0 << "," << y0 << " - " << x1 << "," << y1;
        tamu_destroy_bitmap(b);
        tamu_destroy_bitmap(want);
    }
}

TEST(DrawLine, FarEndsAndLinesOutsideTheClip) {
    cbitmap *b = canvas(128, 128);
    EXPECT_EQ(draw_line(b, -65536, 5, 65536, 5, 3, 0), 128);
    for (int x = 0; x < 128; x++) EXPECT_EQ(b->rows[5][x], 3) << x;
    EXPECT_EQ(draw_line(b, -98304, -98304, 98304, 98304, 4, 0), 128);   // the diagonal
    for (int i = 0; i < 128; i++) EXPECT_EQ(b->rows[i][i], 4) << i;
    EXPECT_GE(draw_line(b, INT_MIN / 2, 0, INT_MAX / 2, 127, 6, 0), 0);
    tamu_clear_bitmap(b);
    const std::string blank = map_of(b);
    EXPECT_EQ(draw_line(b, -10, 0, -1, 127, 3, 0), 0);     // left of the clip
    EXPECT_EQ(draw_line(b, 0, 128, 127, 200, 3, 0), 0);    // below
    EXPECT_EQ(draw_line(b, 120, -50, 200, 20, 3, 0), 0);   // crosses the corner's outside
    EXPECT_EQ(map_of(b), blank);
    EXPECT_EQ(draw_line(nullptr, 0, 0, 5, 5, 3, 0), 0);
    tamu_destroy_bitmap(b);
}

// ---------------------------------------------------------------------------
// Circles

TEST(DrawCircle, OutlinesAndFills) {
    struct Case {
        const char *name;
        bool fill;
        int r, pattern;
        pixel_map want;   // 7 x 7 around the centre (3, 3)
    } cases[] = {
        {"radius 0", false, 0, 0, {".......", ".......", ".......", "...5...", ".......", ".......", "......."}},
        {"filled radius 0", true, 0, 0, {".......", ".......", ".......", "...5...", ".......", ".......", "......."}},
        {"radius 1", false, 1, 0, {".......", ".......", "...5...", "..5.5..", "...5...", ".......", "......."}},
        {"filled radius 1", true, 1, 0, {".......", ".......", "...5...", "..555..", "...5...", ".......", "......."}},
        {"radius 2", false, 2, 0, {".......", "..555..", ".5...5.", ".5...5.", ".5...5.", "..555..", "......."}},
        {"radius 3", false, 3, 0, {"..555..", ".5...5.", "5.....5", "5.....5", "5.....5", ".5...5.", "..555.."}},
        {"filled radius 3", true, 3, 0, {"..555..", ".55555.", "5555555", "5555555", "5555555", ".55555.", "..555.."}},
        {"filled with a transparent checkerboard", true, 3, 0x5A5A | TRANSPARENT,
         {"..5.5..", ".5.5.5.", "5.5.5.5", ".5.5.5.", "5.5.5.5", ".5.5.5.", "..5.5.."}},
        {"negative radius", false, -1, 0, {".......", ".......", ".......", ".......", ".......", ".......", "......."}},
        {"negative radius, filled", true, -1, 0, {".......", ".......", ".......", ".......", ".......", ".......", "......."}},
    };
    for (const Case &c : cases) {
        cbitmap *b = canvas(7, 7);
        if (c.fill)
            draw_fillcircle(b, 3, 3, c.r, 5, c.pattern);
        else
            draw_circle(b, 3, 3, c.r, 5, c.pattern);
        EXPECT_EQ(map_of(b), joined(c.want)) << c.name;
        tamu_destroy_bitmap(b);
    }
}

TEST(DrawCircle, FillsCoverTheirOutlinesWithWholeRows) {
    for (int r = 0; r <= 60; r++) {
        cbitmap *outline = canvas(128, 128), *fill = canvas(128, 128);
        draw_circle(outline, 64, 64, r, 1, 0);
        draw_fillcircle(fill, 64, 64, r, 1, 0);
        for (int y = 0; y < 128; y++) {
            int first = -1, last = -1;
            for (int x = 0; x < 128; x++) {
                if (outline->rows[y][x]) {
                    ASSERT_EQ(fill->rows[y][x], 1) << "r " << r << " at " << x << "," << y;
                }
                if (fill->rows[y][x]) {
                    if (first < 0) first = x;
                    last = x;
                }
            }
            for (int x = first; first >= 0 && x <= last; x++) ASSERT_EQ(fill->rows[y][x], 1) << "r " << r;
            if (first >= 0) {
                EXPECT_EQ(first + last, 128) << "r " << r << " row " << y;   // centred
            }
        }
        tamu_destroy_bitmap(outline);
        tamu_destroy_bitmap(fill);
    }
}

// Outlines far larger than the screen: whole rings around the clip draw
// nothing at once, and those crossing it draw the crossing points.
TEST(DrawCircle, HugeRadii) {
    // Every outline point lies at least r - 1 from the centre, which is what
    // lets a clip inside the ring be skipped.
    for (int r = 0; r <= 200; r++) {
        int size = 2 * r + 3, c = r + 1;
        cbitmap *b = canvas(size, size);
        draw_circle(b, c, c, r, 1, 0);
        int64_t nearest = INT64_MAX;
        for (int y = 0; y < size; y++)
            for (int x = 0; x < size; x++)
                if (b->rows[y][x]) nearest = std::min<int64_t>(nearest, int64_t(x - c) * (x - c) + int64_t(y - c) * (y - c));
        ASSERT_GE(nearest, int64_t(std::max(r - 1, 0)) * std::max(r - 1, 0)) << r;
        tamu_destroy_bitmap(b);
    }

    cbitmap *b = canvas(128, 128);
    draw_circle(b, 64, 64, 32767, 1, 0);
    draw_circle(b, -65536, -65536, 32767, 1, 0);
    draw_fillcircle(b, -65536, 64, 32767, 1, 0);
    const std::string blank = map_of(b);
    EXPECT_EQ(blank.find_first_not_of(".\n"), std::string::npos);
    // The top of a ring of radius 30000 centred below the screen.
    draw_circle(b, 64, 30064, 30000, 2, 0);
    EXPECT_EQ(b->rows[64][64], 2);
    EXPECT_EQ(b->rows[63][64], 0);
    EXPECT_EQ(b->rows[65][64], 0);
    draw_fillcircle(b, 64, 64, 32767, 3, 0);
    EXPECT_EQ(map_of(b).find_first_not_of("3\n"), std::string::npos);
    tamu_destroy_bitmap(b);
}

TEST(DrawCircle, EvenFillsAreOnePixelWider) {
    struct Case {
        int r;
        pixel_map want;   // 6 x 6, centre (2, 2)
    } cases[] = {
        {0, {"......", "......", "..55..", "..55..", "......", "......"}},
        {1, {"......", "..55..", ".5555.", ".5555.", "..55..", "......"}},
        {2, {".5555.", "555555", "555555", "555555", "555555", ".5555."}},
    };
    for (const Case &c : cases) {
        cbitmap *b = canvas(6, 6);
        draw_fillcircle_even(b, 2, 2, c.r, 5);
        EXPECT_EQ(map_of(b), joined(c.want)) << c.r;
        tamu_destroy_bitmap(b);
    }
}

// ---------------------------------------------------------------------------
// Sprites

// An 8 x 4 sheet whose pixels are their own colours.
cbitmap *small_sheet() {
    return bitmap_from_map({"12345678", "9abcdef1", "2.3.4.5.", "66666666"});
}

TEST(DrawSprite, BlitMapsThroughThePaletteWithFlips) {
    int32_t palette[16];
    for (int i = 0; i < 16; i++) palette[i] = i;
    palette[0] = 16;    // transparent
    palette[3] = 0x1D;  // 13, transparent
    palette[2] = 9;
    struct Case {
        const char *name;
        int sx, sy, w, h;
        bool fx, fy;
        std::vector<int> want;   // row by row
    } cases[] = {
        {"plain", 1, 0, 3, 2, false, false, {9, 0x1D, 4, 10, 11, 12}},
        {"flipped left-right", 1, 0, 3, 2, true, false, {4, 0x1D, 9, 12, 11, 10}},
        {"flipped upside down", 1, 1, 3, 2, false, true, {16, 0x1D, 16, 10, 11, 12}},
        {"both", 0, 0, 2, 2, true, true, {10, 9, 9, 1}},
        {"outside the sheet: not drawn", 7, 3, 2, 2, false, false, {6, 16, 16, 16}},
        {"outside, flipped", -1, 0, 2, 1, true, false, {1, 16}},
    };
    for (const Case &c : cases) {
        cbitmap *sheet = small_sheet();
        cbitmap *temp = canvas(c.w, c.h, 99);
        zorva_blit(sheet, temp, c.sx, c.sy, 0, 0, c.w, c.h, c.fx, c.fy, palette);
        std::vector<int> got;
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++) got.push_back(temp->rows[y][x]);
        EXPECT_EQ(got, c.want) << c.name;
        tamu_destroy_bitmap(sheet);
        tamu_destroy_bitmap(temp);
    }
}

TEST(DrawSprite, DrawWritesOnlyColoursBelow16AndClips) {
    cbitmap *temp = canvas(3, 2);
    const uint8_t values[6] = {1, 16, 0, 0x1F, 0xFF, 15};
    for (int i = 0; i < 6; i++) temp->rows[i / 3][i % 3] = values[i];
    cbitmap *screen = canvas(5, 3, 12);
    tamu_set_clip(screen, 1, 0, 5, 2);
    zorva_draw_sprite(temp, screen, 0, 0, 0, 0, 3, 2);
    zorva_draw_sprite(temp, screen, 0, 0, 3, 1, 3, 2);
    EXPECT_EQ(map_of(screen), joined({"cc.cc", "ccf1c", "ccccc"}));
    tamu_destroy_bitmap(temp);
    tamu_destroy_bitmap(screen);
}

TEST(DrawSprite, StretchSamplesFromHalfAStep) {
    struct Case {
        const char *name;
        int dx, dy, dw, dh, clip_x0;
        pixel_map want;   // 8 x 2
    } cases[] = {
        {"equal size", 0, 0, 4, 1, 0, {"123c....", "........"}},
        {"twice as wide", 0, 0, 8, 1, 0, {"112233cc", "........"}},
        {"half as wide: columns 1 and 3", 0, 0, 2, 1, 0, {"2c......", "........"}},
        {"twice as high", 0, 0, 4, 2, 0, {"123c....", "123c...."}},
        {"clipped on the left keeps the sampling", -3, 0, 8, 1, 0, {"233cc...", "........"}},
        {"clip edge inside", 0, 0, 8, 1, 3, {"...233cc", "........"}},
        {"zero size", 0, 0, 0, 1, 0, {"........", "........"}},
        {"negative size", 4, 0, -4, 1, 0, {"........", "........"}},
    };
    for (const Case &c : cases) {
        cbitmap *temp = bitmap_from_map({"123c"});
        cbitmap *screen = canvas(8, 2);
        tamu_set_clip(screen, c.clip_x0, 0, 8, 2);
        zorva_stretch_blit(temp, screen, c.dx, c.dy, c.dw, c.dh);
        EXPECT_EQ(map_of(screen), joined(c.want)) << c.name;
        tamu_destroy_bitmap(temp);
        tamu_destroy_bitmap(screen);
    }
    cbitmap *temp = bitmap_from_map({"1234"});
    temp->rows[0][1] = 16;
    cbitmap *screen = canvas(8, 1);
    zorva_stretch_blit(temp, screen, 0, 0, 8, 1);
    EXPECT_EQ(map_of(screen), joined({"11..3344"}));
    zorva_stretch_blit(temp, screen, -65536, -65536, 65536 + 8, 65536 + 1);   // far outside, huge
    tamu_destroy_bitmap(temp);
    tamu_destroy_bitmap(screen);
}

// The direct path (sheet to screen through the palette) gives exactly what
// copying into a temporary bitmap and drawing that gives.
TEST(DrawSprite, DirectDrawingMatchesTheTwoStepCopy) {
    std::mt19937 rng(3);
    cbitmap *sheet = canvas(128, 128);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) sheet->rows[y][x] = uint8_t(rng() % 16);
    int32_t palette[16];
    for (int round = 0; round < 2000; round++) {
        // Every other round the usual palette, drawn eight pixels at a time.
        for (int i = 0; i < 16; i++) palette[i] = rng() % 4 == 0 ? 16 + int(rng() % 16) : int(rng() % 16);
        if (round % 2) {
            for (int i = 0; i < 16; i++) palette[i] = i;
            palette[0] = 16 + int(rng() % 240);
        }
        int w = 1 + int(rng() % 24), h = 1 + int(rng() % 24);
        int sx = int(rng() % 150) - 11, sy = int(rng() % 150) - 11;
        int dx = int(rng() % 160) - 16, dy = int(rng() % 160) - 16;
        bool fx = rng() & 1, fy = rng() & 1;
        int cx0 = int(rng() % 64), cy0 = int(rng() % 64);

        cbitmap *direct = canvas(128, 128, 5), *two_step = canvas(128, 128, 5), *temp = canvas(w, h);
        tamu_set_clip(direct, cx0, cy0, cx0 + 64, cy0 + 64);
        tamu_set_clip(two_step, cx0, cy0, cx0 + 64, cy0 + 64);
        zorva_draw_sprite_pal(sheet, direct, sx, sy, dx, dy, w, h, palette, fx, fy);
        zorva_blit(sheet, temp, sx, sy, 0, 0, w, h, fx, fy, palette);
        zorva_draw_sprite(temp, two_step, 0, 0, dx, dy, w, h);
        if (std::memcmp(direct->pixels, two_step->pixels, 128 * 128) != 0) {
            ASSERT_EQ(map_of(direct), map_of(two_step)) << "round " << round;
        }
        tamu_destroy_bitmap(direct);
        tamu_destroy_bitmap(two_step);
        tamu_destroy_bitmap(temp);
    }
    tamu_destroy_bitmap(sheet);
}

TEST(DrawSprite, MirroredCopyMapsNonzeroPixels) {
    cbitmap *src = small_sheet();
    int32_t table[16];
    for (int i = 0; i < 16; i++) table[i] = i;
    table[4] = 0x2A;   // written as it is
    cbitmap *dst = canvas(6, 2);
    tamu_set_clip(dst, 0, 0, 5, 2);
    zorva_draw_sprite_h(src, dst, 1, 1, 1, 0, 5, 2, table);
    EXPECT_EQ(map_of(dst), joined({".edcb.", "..#.3."}));
    zorva_draw_sprite_h(src, dst, 6, 0, -1, 0, 4, 1, table);   // two columns off the sheet
    EXPECT_EQ(map_of(dst), joined({".87cb.", "..#.3."}));
    tamu_destroy_bitmap(src);
    tamu_destroy_bitmap(dst);
}

// ---------------------------------------------------------------------------
// Other operations

TEST(DrawOther, CountPixelsCountsTheVisibleArea) {
    console_state console;
    tamu_set_clip(pstate.screen, 10, 20, 100, 120);
    struct Case {
        int x, y, w, h, want;
    } cases[] = {
        {10, 20, 8, 8, 64},     {6, 20, 8, 8, 32},     {96, 116, 8, 8, 16}, {0, 0, 128, 128, 90 * 100},
        {18, 28, -8, -8, 64},   {18, 28, -12, 8, 64},  {100, 20, 8, 8, 0},  {10, 12, 8, 8, 0},
        {0, 0, 0, 10, 0},       {-65536, -65536, 131072, 131072, 9000},     {INT_MAX, INT_MAX, INT_MAX, INT_MAX, 0},
        {INT_MIN, 30, INT_MIN, 5, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(count_pixels(c.x, c.y, c.w, c.h), c.want) << c.x << "," << c.y << " " << c.w << "x" << c.h;
    tamu_destroy_bitmap(pstate.screen);
    pstate.screen = nullptr;
    EXPECT_EQ(count_pixels(0, 0, 8, 8), 0);
}

TEST(DrawOther, RemapAndTint) {
    cbitmap *b = bitmap_from_map({"0123", "4567"});
    b->rows[0][0] = 0x31;   // only the low nibble is looked up
    int32_t table[16];
    for (int i = 0; i < 16; i++) table[i] = 0x10 + 15 - i;
    remap_bmp_palette(b, table);
    EXPECT_EQ(map_of(b), joined({"eedc", "ba98"}));

    uint8_t tint[16];
    for (int i = 0; i < 16; i++) tint[i] = uint8_t(i / 2);
    tamu_set_clip(b, 0, 0, 3, 2);
    draw_tinted_rect_adaptive(b, 2, 1, 1, -5, tint);   // corners in either order, clipped
    EXPECT_EQ(map_of(b), joined({"e76c", "b548"}));
    tamu_destroy_bitmap(b);
}

}  // namespace
