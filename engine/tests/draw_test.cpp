// Pixels, runs, rectangles and lines.
#include "tamu.h"

#include "pixel_maps.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

TEST(DrawPixel, PutAndGetHonourTheClip) {
    cbitmap *b = tamu_create_bitmap(8, 4, 8);
    tamu_set_clip(b, 1, 1, 6, 3);
    tamu_putpixel(b, 1, 1, 0x1204);   // low byte
    tamu_putpixel(b, 5, 2, 9);
    tamu_putpixel(b, 6, 2, 9);        // x = clip x1: outside
    tamu_putpixel(b, 2, 3, 9);        // y = clip y1: outside
    tamu_putpixel(b, 0, 1, 9);
    tamu_putpixel(b, -1, -1, 9);
    tamu_putpixel(b, INT_MAX, INT_MIN, 9);
    tamu_put_pixel(b, 3, 1, 5);
    tamu_put_pixel(nullptr, 3, 1, 5);
    EXPECT_EQ(map_of(b), joined({"........", ".4.5....", ".....9..", "........"}));

    EXPECT_EQ(tamu_getpixel(b, 1, 1), 4u);
    EXPECT_EQ(tamu_getpixel(b, 5, 2), 9u);
    b->rows[2][6] = 7;                         // inside the bitmap, outside the clip
    EXPECT_EQ(tamu_getpixel(b, 6, 2), 0u);     // x = clip x1 reads 0
    EXPECT_EQ(tamu_getpixel(b, 100, 2), 0u);
    EXPECT_EQ(tamu_getpixel(b, -1, 2), 0u);
    EXPECT_EQ(tamu_getpixel(nullptr, 0, 0), 0u);
    tamu_destroy_bitmap(b);

    cbitmap *w = tamu_create_bitmap(2, 2, 32);
    tamu_putpixel(w, 1, 0, 0x80FF0102);
    EXPECT_EQ(pixel32(w, 1, 0), 0x80FF0102u);
    EXPECT_EQ(tamu_getpixel(w, 1, 0), 0x80FF0102u);
    EXPECT_EQ(pixel32(w, 0, 0), 0u);
    tamu_destroy_bitmap(w);
}

TEST(DrawPixel, OutcodesOfTheClipRectangle) {
    cbitmap *b = tamu_create_bitmap(16, 16, 8);
    tamu_set_clip(b, 2, 3, 10, 12);
    struct Case {
        int x, y, want;
    };
    const Case cases[] = {
        {2, 3, 0}, {9, 11, 0}, {1, 5, 1}, {5, 2, 2}, {10, 5, 4}, {5, 12, 8}, {1, 2, 3}, {10, 12, 12}, {1, 12, 9},
    };
    for (const Case &c : cases) EXPECT_EQ(code_point(b, c.x, c.y), c.want) << c.x << "," << c.y;
    tamu_destroy_bitmap(b);
}

// A 8 x 5 bitmap clipped to columns 1..6, rows 1..3.
TEST(DrawRun, RunsAreOrderedAndClipped) {
    struct Case {
        const char *name;
        bool vertical;
        int a, b, at;
        pixel_map want;
    };
    const pixel_map blank = {"........", "........", "........", "........", "........"};
    const Case cases[] = {
        {"across", false, 0, 9, 2, {"........", "........", ".777777.", "........", "........"}},
        {"reversed", false, 5, 3, 1, {"........", "...777..", "........", "........", "........"}},
        {"single", false, 4, 4, 3, {"........", "........", "........", "....7...", "........"}},
        {"left end", false, -5, 1, 3, {"........", "........", "........", ".7......", "........"}},
        {"row above clip", false, 2, 4, 0, blank},
        {"row at clip y1", false, 2, 4, 4, blank},
        {"right of clip", false, 7, 12, 2, blank},
        {"widest", false, INT_MIN, INT_MAX, 1, {"........", ".777777.", "........", "........", "........"}},
        {"column", true, -2, 9, 3, {"........", "...7....", "...7....", "...7....", "........"}},
        {"column reversed", true, 3, 2, 6, {"........", "........", "......7.", "......7.", "........"}},
        {"column left of clip", true, 1, 3, 0, blank},
        {"column at clip x1", true, 1, 3, 7, blank},
        {"tallest", true, INT_MAX, INT_MIN, 1, {"........", ".7......", ".7......", ".7......", "........"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        cbitmap *bm = bitmap_from_map(blank);
        tamu_set_clip(bm, 1, 1, 7, 4);
        if (c.vertical)
            tamu_vline(bm, c.at, c.a, c.b, 7);
        else
            tamu_hline(bm, c.a, c.b, c.at, 7);
        EXPECT_EQ(map_of(bm), joined(c.want));
        tamu_destroy_bitmap(bm);
    }
    tamu_hline(nullptr, 0, 1, 0, 1);
    tamu_vline(nullptr, 0, 0, 1, 1);
}

TEST(DrawRect, OutlinesFillsAndBevels) {
    struct Case {
        const char *name;
        int kind;   // 0 outline, 1 fill, 2 bevel
        int clip[4];
        int xa, ya, xb, yb;
        pixel_map want;
    };
    const Case cases[] = {
        {"outline", 0, {0, 0, 6, 5}, 1, 1, 4, 3, {"......", ".7777.", ".7..7.", ".7777.", "......"}},
        {"outline reversed", 0, {0, 0, 6, 5}, 4, 3, 1, 1, {"......", ".7777.", ".7..7.", ".7777.", "......"}},
        {"outline clipped", 0, {2, 0, 6, 5}, 1, 1, 4, 3, {"......", "..777.", "....7.", "..777.", "......"}},
        {"outline line", 0, {0, 0, 6, 5}, 1, 2, 4, 2, {"......", "......", ".7777.", "......", "......"}},
        {"fill", 1, {0, 0, 6, 5}, 4, 3, 1, 1, {"......", ".7777.", ".7777.", ".7777.", "......"}},
        {"fill clipped", 1, {1, 1, 5, 4}, -3, -3, 2, 9, {"......", ".77...", ".77...", ".77...", "......"}},
        {"fill outside", 1, {0, 0, 6, 5}, 6, 0, 9, 4, {"......", "......", "......", "......", "......"}},
        {"fill point", 1, {0, 0, 6, 5}, 5, 4, 5, 4, {"......", "......", "......", "......", ".....7"}},
        {"bevel", 2, {0, 0, 6, 5}, 4, 3, 1, 1, {"......", ".1112.", ".1552.", ".2222.", "......"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        cbitmap *b = tamu_create_bitmap(6, 5, 8);
        tamu_set_clip(b, c.clip[0], c.clip[1], c.clip[2], c.clip[3]);
        if (c.kind == 0) tamu_rect(b, c.xa, c.ya, c.xb, c.yb, 7);
        if (c.kind == 1) tamu_rectfill(b, c.xa, c.ya, c.xb, c.yb, 0x107);
        if (c.kind == 2) tamu_rect_lit(b, c.xa, c.ya, c.xb, c.yb, 5, 1, 2);
        EXPECT_EQ(map_of(b), joined(c.want));
        tamu_destroy_bitmap(b);
    }
}

TEST(DrawRect, FillWithCornersGivenBackwards) {
    cbitmap *b = tamu_create_bitmap(16, 16, 8);
    tamu_rectfill(b, 10, 10, 5, 5, 3);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) {
            bool in = x >= 5 && x <= 10 && y >= 5 && y <= 10;
            EXPECT_EQ(b->rows[y][x], in ? 3 : 0) << x << "," << y;
        }
    tamu_destroy_bitmap(b);
}

TEST(DrawRect, ThirtyTwoBitRunsCoverExactlyTheirColumns) {
    // Every start column and width around the eight-byte alignment.
    cbitmap *b = tamu_create_bitmap(16, 2, 32);
    for (int x0 = 0; x0 < 4; x0++)
        for (int n = 1; n <= 9; n++) {
            for (int x = 0; x < 16; x++) set_pixel32(b, x, 0, 0x11111111);
            tamu_rectfill(b, x0, 0, x0 + n - 1, 0, 0xCAFEBABE);
            for (int x = 0; x < 16; x++) {
                bool in = x >= x0 && x < x0 + n;
                ASSERT_EQ(pixel32(b, x, 0), in ? 0xCAFEBABEu : 0x11111111u) << x0 << " " << n << " " << x;
            }
        }
    tamu_hline(b, 15, 3, 1, 0xFF00FF00);
    EXPECT_EQ(pixel32(b, 2, 1), 0u);
    EXPECT_EQ(pixel32(b, 3, 1), 0xFF00FF00u);
    EXPECT_EQ(pixel32(b, 15, 1), 0xFF00FF00u);
    tamu_destroy_bitmap(b);

    // Long runs, and whole bitmaps filled as one block, are written in
    // pieces of growing size: every word and nothing past the ends.
    cbitmap *wide = tamu_create_bitmap(1100, 3, 32);
    for (int x0 : {0, 1, 3})
        for (int n : {255, 256, 257, 300, 1024, 1097}) {
            for (int y = 0; y < 3; y++)
                for (int x = 0; x < 1100; x++) set_pixel32(wide, x, y, 0x11111111);
            tamu_rectfill(wide, x0, 1, x0 + n - 1, 1, 0xCAFEBABE);
            for (int y = 0; y < 3; y++)
                for (int x = 0; x < 1100; x++) {
                    bool in = y == 1 && x >= x0 && x < x0 + n;
                    ASSERT_EQ(pixel32(wide, x, y), in ? 0xCAFEBABEu : 0x11111111u) << x0 << " " << n << " " << x;
                }
        }
    for (int rows : {1, 2, 3}) {
        tamu_clear_bitmap(wide);
        tamu_rectfill(wide, -5, 0, 2000, rows - 1, 0x01020304);
        for (int y = 0; y < 3; y++)
            for (int x = 0; x < 1100; x++)
                ASSERT_EQ(pixel32(wide, x, y), y < rows ? 0x01020304u : 0u) << rows << " " << x << "," << y;
    }
    tamu_destroy_bitmap(wide);
}

struct LineCase {
    const char *name;
    int xa, ya, xb, yb;
    pixel_map want;
};

TEST(DrawLine, SmallLinesStepFromPixelCentres) {
    const LineCase cases[] = {
        {"diagonal", 0, 0, 3, 3, {"7...", ".7..", "..7.", "...7"}},
        {"anti-diagonal", 3, 0, 0, 3, {"...7", "..7.", ".7..", "7..."}},
        {"point", 2, 1, 2, 1, {"....", "..7.", "....", "...."}},
        {"shallow", 0, 0, 7, 2, {"77......", "..7777..", "......77"}},
        {"shallow backwards", 7, 2, 0, 0, {"77......", "..7777..", "......77"}},
        {"steep", 0, 0, 1, 3, {"7.", "7.", ".7", ".7"}},
        {"clipped at both ends", -2, 1, 5, 1, {"....", "7777", "....", "...."}},
        {"both left", -5, 0, -1, 3, {"....", "....", "....", "...."}},
        {"both below", 0, 4, 3, 9, {"....", "....", "....", "...."}},
        {"crossing a corner", -1, 2, 2, -1, {".7..", "7...", "....", "...."}},
    };
    for (const LineCase &c : cases) {
        SCOPED_TRACE(c.name);
        for (int noclip = 0; noclip < 2; noclip++) {
            cbitmap *b = tamu_create_bitmap(int(c.want[0].size()), int(c.want.size()), 8);
            if (noclip)
                tamu_line_noclip(b, c.xa, c.ya, c.xb, c.yb, 0x307);
            else
                tamu_line(b, c.xa, c.ya, c.xb, c.yb, 0x307);
            EXPECT_EQ(map_of(b), joined(c.want)) << (noclip ? "noclip" : "line");
            tamu_destroy_bitmap(b);
        }
    }
    tamu_line(nullptr, 0, 0, 5, 5, 1);
    tamu_line_noclip(nullptr, 0, 0, 5, 5, 1);
}

// Lines on a 128 x 128 bitmap described by the pixels they should draw.
TEST(DrawLine, LongAndSteepLinesCrossingTheClip) {
    struct Case {
        const char *name;
        int xa, ya, xb, yb;
        int clip[4];
        int count;                  // pixels drawn
        int first[2], last[2];      // the drawn pixels run from first to last,
        int step[2];                // moving by step each time
    };
    const Case cases[] = {
        // Leaves through the left border 21 rows down, well before the
        // bottom border: the part above must still be drawn.
        {"steep out of the left", 0, 90, -1, 130, {0, 0, 128, 128}, 21, {0, 90}, {0, 110}, {0, 1}},
        {"row across", -10, 5, 200, 5, {0, 0, 128, 128}, 128, {0, 5}, {127, 5}, {1, 0}},
        {"far diagonal", -40000, -40000, 40000, 40000, {0, 0, 128, 128}, 128, {0, 0}, {127, 127}, {1, 1}},
        {"far anti-diagonal", 40127, -40000, -39873, 40000, {0, 0, 128, 128}, 128, {127, 0}, {0, 127}, {-1, 1}},
        {"very steep", 0, 0, 1, 70000, {0, 0, 128, 128}, 128, {0, 0}, {0, 127}, {0, 1}},
        {"coordinates near the limits", INT_MIN, INT_MIN, INT_MAX, INT_MAX, {0, 0, 128, 128}, 128, {0, 0},
         {127, 127}, {1, 1}},
        {"inner clip", 0, 0, 7, 7, {2, 2, 6, 6}, 4, {2, 2}, {5, 5}, {1, 1}},
    };
    cbitmap *b = tamu_create_bitmap(128, 128, 8);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tamu_clear_bitmap(b);
        tamu_set_clip(b, c.clip[0], c.clip[1], c.clip[2], c.clip[3]);
        tamu_line(b, c.xa, c.ya, c.xb, c.yb, 9);
        int drawn = 0;
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) drawn += b->rows[y][x] != 0;
        EXPECT_EQ(drawn, c.count);
        for (int i = 0; i < c.count; i++) {
            int x = c.first[0] + i * c.step[0], y = c.first[1] + i * c.step[1];
            ASSERT_EQ(b->rows[y][x], 9) << x << "," << y;
        }
        EXPECT_EQ(b->rows[c.last[1]][c.last[0]], 9);
    }
    tamu_destroy_bitmap(b);
}

// Properties over many random lines: tamu_line draws exactly the pixels of
// the unclipped stepping that fall inside the clip (tamu_line_noclip tests
// every point), never a pixel outside it; a line with both ends inside
// draws n + 1 pixels including both ends.
void check_random_lines(int bpp, int range, int count, unsigned seed) {
    std::mt19937 rng(seed);
    auto coord = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    cbitmap *a = tamu_create_bitmap(128, 128, bpp);
    cbitmap *b = tamu_create_bitmap(128, 128, bpp);
    size_t bytes = size_t(128) * 128 * (bpp / 8);
    int inside_lines = 0;
    for (int i = 0; i < count; i++) {
        int x0 = coord(0, 60), y0 = coord(0, 60), x1 = coord(x0, 128), y1 = coord(y0, 128);
        int xa = coord(-range, 128 + range), ya = coord(-range, 128 + range);
        int xb = coord(-range, 128 + range), yb = coord(-range, 128 + range);
        if (i % 4 == 0) xb = xa + coord(-3, 3);   // near-vertical and near-horizontal lines too
        if (i % 4 == 1) yb = ya + coord(-3, 3);
        if (i % 4 == 2 && x1 > x0 && y1 > y0) {   // both ends inside
            xa = coord(x0, x1 - 1), xb = coord(x0, x1 - 1);
            ya = coord(y0, y1 - 1), yb = coord(y0, y1 - 1);
        }
        SCOPED_TRACE(testing::Message() << "line " << xa << "," << ya << " " << xb << "," << yb << " clip "
                                        << x0 << "," << y0 << "," << x1 << "," << y1);
        std::memset(a->pixels, 0, bytes);
        std::memset(b->pixels, 0, bytes);
        tamu_set_clip(a, x0, y0, x1, y1);
        tamu_set_clip(b, x0, y0, x1, y1);
        tamu_line(a, xa, ya, xb, yb, 0xFFFFFFFF);
        tamu_line_noclip(b, xa, ya, xb, yb, 0xFFFFFFFF);
        ASSERT_EQ(std::memcmp(a->pixels, b->pixels, bytes), 0);

        tamu_reset_clip(a);
        int drawn = 0;
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) {
                if (!tamu_getpixel(a, x, y)) continue;
                drawn++;
                ASSERT_TRUE(x >= x0 && x < x1 && y >= y0 && y < y1) << "drawn outside at " << x << "," << y;
            }
        bool ends_inside = xa >= x0 && xa < x1 && ya >= y0 && ya < y1 && xb >= x0 && xb < x1 && yb >= y0 &&
                           yb < y1;
        if (ends_inside) {
            inside_lines++;
            EXPECT_EQ(drawn, std::max(std::abs(xb - xa), std::abs(yb - ya)) + 1);
            EXPECT_NE(tamu_getpixel(a, xa, ya), 0u);
            EXPECT_NE(tamu_getpixel(a, xb, yb), 0u);
        }
    }
    EXPECT_GT(inside_lines, count / 8);   // the sample does hold such lines
    tamu_destroy_bitmap(a);
    tamu_destroy_bitmap(b);
}

TEST(DrawLine, RandomLinesMatchTheUnclippedStepping) {
    check_random_lines(8, 40, 3000, 1);
    check_random_lines(8, 150, 2000, 2);
    check_random_lines(32, 60, 500, 3);
}

TEST(DrawLine, RandomFarLinesMatchTheUnclippedStepping) { check_random_lines(8, 60000, 150, 4); }

TEST(DrawLine, ThirtyTwoBitLinesWriteTheWholeWord) {
    cbitmap *b = tamu_create_bitmap(4, 4, 32);
    tamu_line(b, 0, 3, 3, 0, 0x80123456);
    for (int i = 0; i < 4; i++) EXPECT_EQ(pixel32(b, i, 3 - i), 0x80123456u) << i;
    EXPECT_EQ(pixel32(b, 0, 0), 0u);
    tamu_destroy_bitmap(b);
}

}  // namespace
