// Bitmaps, palettes, clipping and the copies between bitmaps.
#include "tamu.h"

#include "pixel_maps.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

namespace {

// Every test must leave as many live library objects as it found.
class Counted : public ::testing::Test {
  protected:
    void SetUp() override { items_before = tamu_items_created; }
    void TearDown() override { EXPECT_EQ(tamu_items_created, items_before); }
    int items_before = 0;
};

class BitmapCreate : public Counted {};
class BitmapClip : public Counted {};
class Blit : public Counted {};
class BlitSprite : public Counted {};
class BlitStretch : public Counted {};
class BlitConvert : public Counted {};
class BitmapPalette : public Counted {};
class BitmapScreen : public Counted {};

void set_rgb(cpalette *p, int i, int r, int g, int b) {
    p->rgb[3 * i] = uint8_t(r);
    p->rgb[3 * i + 1] = uint8_t(g);
    p->rgb[3 * i + 2] = uint8_t(b);
}

TEST_F(BitmapCreate, NewBitmapsAreZeroWithWholeClipAndRowTable) {
    for (int bpp : {8, 32}) {
        SCOPED_TRACE(bpp);
        cbitmap *b = tamu_create_bitmap(5, 3, bpp);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(tamu_items_created, items_before + 1);
        EXPECT_EQ(b->width, 5);
        EXPECT_EQ(b->height, 3);
        EXPECT_EQ(b->bpp, bpp);
        EXPECT_EQ(b->clip_x0, 0);
        EXPECT_EQ(b->clip_x1, 5);
        EXPECT_EQ(b->clip_y0, 0);
        EXPECT_EQ(b->clip_y1, 3);
        int stride = 5 * bpp / 8;
        for (int y = 0; y < 3; y++) EXPECT_EQ(b->rows[y], b->pixels + stride * y);
        for (int i = 0; i < stride * 3; i++) EXPECT_EQ(b->pixels[i], 0) << i;
        tamu_destroy_bitmap(b);
        EXPECT_EQ(tamu_items_created, items_before);
    }
    tamu_destroy_bitmap(nullptr);
}

TEST_F(BitmapCreate, RefusesBadDepthsAndSizes) {
    struct Case {
        int w, h, bpp;
    };
    const Case refused[] = {
        {0, 5, 8},        {5, 0, 8},      {-1, 5, 8},        {5, -7, 32},     {5, 5, 0},
        {5, 5, 16},       {5, 5, 24},     {5, 5, 64},        {8193, 1, 8},    {1, 8193, 8},
        {4096, 4097, 32}, {8192, 8192, 32}, {65536, 65536, 8}, {INT_MAX, INT_MAX, 32}, {INT_MAX, 2, 8},
    };
    for (const Case &c : refused) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.bpp);
        EXPECT_EQ(tamu_create_bitmap(c.w, c.h, c.bpp), nullptr);
        EXPECT_EQ(tamu_items_created, items_before);
    }
    // The largest accepted sizes.
    const Case accepted[] = {{8192, 1, 32}, {1, 8192, 8}, {4096, 4096, 32}};
    for (const Case &c : accepted) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.bpp);
        cbitmap *b = tamu_create_bitmap(c.w, c.h, c.bpp);
        ASSERT_NE(b, nullptr);
        b->rows[c.h - 1][c.w * c.bpp / 8 - 1] = 1;   // the last byte is there
        tamu_destroy_bitmap(b);
    }
}

TEST_F(BitmapCreate, PalettesStartBlackAndAreCounted) {
    cpalette *p = tamu_create_palette();
    EXPECT_EQ(tamu_items_created, items_before + 1);
    for (uint8_t byte : p->rgb) EXPECT_EQ(byte, 0);
    tamu_destroy_palette(p);
    tamu_destroy_palette(nullptr);
}

TEST_F(BitmapCreate, ClearIgnoresTheClip) {
    cbitmap *b = bitmap_from_map({"123", "456"});
    tamu_set_clip(b, 1, 1, 2, 2);
    tamu_clear_bitmap(b);
    EXPECT_EQ(map_of(b), joined({"...", "..."}));
    tamu_destroy_bitmap(b);

    cbitmap *w = tamu_create_bitmap(3, 2, 32);
    set_pixel32(w, 2, 1, 0xFFFFFFFF);
    tamu_set_clip(w, 0, 0, 1, 1);
    tamu_clear_bitmap(w);
    EXPECT_EQ(pixel32(w, 2, 1), 0u);
    tamu_destroy_bitmap(w);
    tamu_clear_bitmap(nullptr);
}

TEST_F(BitmapClip, SetClipHoldsTheRectangleInsideTheBitmap) {
    cbitmap *b = tamu_create_bitmap(128, 128, 8);
    struct Case {
        int x0, y0, x1, y1;
        int want_x0, want_x1, want_y0, want_y1;
    };
    const Case cases[] = {
        {-5, -5, 1000, 1000, 0, 128, 0, 128},
        {10, 20, 30, 40, 10, 30, 20, 40},
        {30, 40, 10, 20, 30, 10, 40, 20},   // inverted: kept, and empty
        {200, 0, 300, 5, 200, 128, 0, 5},   // starts past the edge: empty
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.x0 << "," << c.y0 << "," << c.x1 << "," << c.y1);
        tamu_set_clip(b, c.x0, c.y0, c.x1, c.y1);
        EXPECT_EQ(b->clip_x0, c.want_x0);
        EXPECT_EQ(b->clip_x1, c.want_x1);
        EXPECT_EQ(b->clip_y0, c.want_y0);
        EXPECT_EQ(b->clip_y1, c.want_y1);
    }
    tamu_reset_clip(b);
    EXPECT_EQ(b->clip_x1, 128);
    EXPECT_EQ(b->clip_y1, 128);
    tamu_destroy_bitmap(b);
}

TEST_F(BitmapClip, EmptyClipTakesNoWrites) {
    cbitmap *src = bitmap_from_map({"11", "11"});
    cbitmap *b = tamu_create_bitmap(8, 8, 8);
    const int clips[][4] = {{5, 5, 2, 2}, {20, 0, 30, 8}, {3, 3, 3, 8}};
    for (const auto &clip : clips) {
        tamu_set_clip(b, clip[0], clip[1], clip[2], clip[3]);
        tamu_rectfill(b, -100, -100, 100, 100, 9);
        tamu_line(b, -100, -90, 100, 110, 9);
        tamu_blit(src, b, 0, 0, 2, 2, 2, 2);
        tamu_draw_sprite(src, b, 0, 0, 3, 3, 2, 2);
        tamu_stretch_blit(src, b, 0, 0, 8, 8, 0);
        tamu_putpixel(b, 3, 3, 9);
        EXPECT_EQ(tamu_getpixel(b, 3, 3), 0u);
    }
    tamu_reset_clip(b);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) EXPECT_EQ(b->rows[y][x], 0) << x << "," << y;
    tamu_destroy_bitmap(b);
    tamu_destroy_bitmap(src);
}

TEST_F(BitmapClip, OneSavedSlotRestoredInsideTheBitmap) {
    cbitmap *big = tamu_create_bitmap(100, 100, 8);
    cbitmap *small = tamu_create_bitmap(10, 10, 8);
    tamu_set_clip(big, 1, 2, 3, 4);
    tamu_save_clip(big);
    tamu_set_clip(big, 5, 6, 90, 80);
    tamu_save_clip(big);   // one level: this replaces the first
    tamu_reset_clip(big);
    tamu_restore_clip(big);
    EXPECT_EQ(big->clip_x0, 5);
    EXPECT_EQ(big->clip_x1, 90);
    EXPECT_EQ(big->clip_y0, 6);
    EXPECT_EQ(big->clip_y1, 80);
    tamu_restore_clip(big);   // the slot is still there
    EXPECT_EQ(big->clip_x1, 90);

    // Restored into a smaller bitmap, the rectangle is held inside it.
    tamu_restore_clip(small);
    EXPECT_EQ(small->clip_x0, 5);
    EXPECT_EQ(small->clip_x1, 10);
    EXPECT_EQ(small->clip_y0, 6);
    EXPECT_EQ(small->clip_y1, 10);
    tamu_putpixel(small, 9, 9, 3);
    EXPECT_EQ(small->rows[9][9], 3);
    tamu_destroy_bitmap(big);
    tamu_destroy_bitmap(small);
}

TEST_F(BitmapClip, ClipsCopyRectangles) {
    struct Case {
        const char *name;
        int clip[4];   // destination clip x0, y0, x1, y1
        int in[6];     // sx, sy, dx, dy, w, h
        int out[6];
    };
    // Source 10 x 8, destination 128 x 128.
    const Case cases[] = {
        {"inside", {0, 0, 128, 128}, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
        {"sx at width", {0, 0, 128, 128}, {10, 0, 0, 0, 4, 4}, {10, 0, 0, 0, 4, 0}},
        {"sy at height", {0, 0, 128, 128}, {0, 8, 0, 0, 4, 4}, {0, 8, 0, 0, 4, 0}},
        {"dx at clip x1", {0, 0, 50, 128}, {0, 0, 50, 0, 4, 4}, {0, 0, 50, 0, 4, 0}},
        {"dx = -3", {0, 0, 128, 128}, {0, 0, -3, 0, 10, 8}, {3, 0, 0, 0, 7, 8}},
        {"negative sx", {0, 0, 128, 128}, {-2, -1, 5, 5, 6, 6}, {0, 0, 7, 6, 4, 5}},
        {"past source end", {0, 0, 128, 128}, {6, 5, 0, 0, 10, 10}, {6, 5, 0, 0, 4, 3}},
        {"past clip end", {0, 0, 128, 128}, {0, 0, 124, 126, 10, 8}, {0, 0, 124, 126, 4, 2}},
        {"clip start", {20, 30, 128, 128}, {0, 0, 15, 28, 10, 8}, {5, 2, 20, 30, 5, 6}},
        {"huge w", {0, 0, 128, 128}, {5, 0, 0, 0, INT_MAX, INT_MAX}, {5, 0, 0, 0, 5, 8}},
        // The source x would be 2^31: it saturates instead of wrapping negative.
        {"far left", {0, 0, 128, 128}, {0, 0, INT_MIN, 0, INT_MAX, 8}, {INT_MAX, 0, 0, 0, INT_MIN + 10, 8}},
    };
    cbitmap *src = tamu_create_bitmap(10, 8, 8);
    cbitmap *dst = tamu_create_bitmap(128, 128, 8);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tamu_set_clip(dst, c.clip[0], c.clip[1], c.clip[2], c.clip[3]);
        int v[6] = {c.in[0], c.in[1], c.in[2], c.in[3], c.in[4], c.in[5]};
        tamu_clip(src, dst, v[0], v[1], v[2], v[3], v[4], v[5]);
        for (int i = 0; i < 6; i++) EXPECT_EQ(v[i], c.out[i]) << "field " << i;
    }
    tamu_destroy_bitmap(src);
    tamu_destroy_bitmap(dst);
}

struct CopyCase {
    const char *name;
    int clip[4];
    int args[6];   // sx, sy, dx, dy, w, h
    pixel_map want;
};

const pixel_map copy_source = {
    "123.",
    "4.56",
    "789a",
};

TEST_F(Blit, SameDepthCopiesRectanglesOpaque) {
    const CopyCase cases[] = {
        {"whole", {0, 0, 6, 4}, {0, 0, 1, 1, 4, 3}, {"ffffff", "f123.f", "f4.56f", "f789af"}},
        {"left edge", {0, 0, 6, 4}, {0, 0, -2, 0, 4, 3}, {"3.ffff", "56ffff", "9affff", "ffffff"}},
        {"negative sx", {0, 0, 6, 4}, {-1, 0, 0, 0, 3, 2}, {"f12fff", "f4.fff", "ffffff", "ffffff"}},
        {"clip", {2, 1, 5, 3}, {0, 0, 0, 0, 4, 3}, {"ffffff", "ff56ff", "ff9aff", "ffffff"}},
        {"bottom right", {0, 0, 6, 4}, {0, 0, 4, 2, 4, 3}, {"ffffff", "ffffff", "ffff12", "ffff4."}},
        {"sx at width", {0, 0, 6, 4}, {4, 0, 0, 0, 2, 2}, {"ffffff", "ffffff", "ffffff", "ffffff"}},
        {"sy at height", {0, 0, 6, 4}, {0, 3, 0, 0, 2, 2}, {"ffffff", "ffffff", "ffffff", "ffffff"}},
        {"zero width", {0, 0, 6, 4}, {0, 0, 0, 0, 0, 3}, {"ffffff", "ffffff", "ffffff", "ffffff"}},
        {"negative size", {0, 0, 6, 4}, {0, 0, 0, 0, -2, -2}, {"ffffff", "ffffff", "ffffff", "ffffff"}},
    };
    cbitmap *src = bitmap_from_map(copy_source);
    for (const CopyCase &c : cases) {
        SCOPED_TRACE(c.name);
        cbitmap *dst = bitmap_from_map({"ffffff", "ffffff", "ffffff", "ffffff"});
        tamu_set_clip(dst, c.clip[0], c.clip[1], c.clip[2], c.clip[3]);
        tamu_blit(src, dst, c.args[0], c.args[1], c.args[2], c.args[3], c.args[4], c.args[5]);
        EXPECT_EQ(map_of(dst), joined(c.want));
        tamu_destroy_bitmap(dst);
    }
    tamu_destroy_bitmap(src);
    tamu_blit(nullptr, src, 0, 0, 0, 0, 1, 1);
}

TEST_F(Blit, OverlappingCopyWithinOneBitmap) {
    struct Case {
        const char *name;
        int args[6];
        pixel_map want;
    };
    const Case cases[] = {
        {"down", {0, 0, 0, 1, 3, 3}, {"123", "123", "456", "789"}},
        {"up", {0, 1, 0, 0, 3, 3}, {"456", "789", "...", "..."}},
        {"right", {0, 0, 1, 0, 2, 1}, {"112", "456", "789", "..."}},
        {"left", {1, 0, 0, 0, 2, 1}, {"233", "456", "789", "..."}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        cbitmap *b = bitmap_from_map({"123", "456", "789", "..."});
        tamu_blit(b, b, c.args[0], c.args[1], c.args[2], c.args[3], c.args[4], c.args[5]);
        EXPECT_EQ(map_of(b), joined(c.want));
        tamu_destroy_bitmap(b);
    }
}

TEST_F(Blit, ThirtyTwoBitCopiesAlphaAsItIs) {
    cbitmap *src = tamu_create_bitmap(2, 1, 32);
    cbitmap *dst = tamu_create_bitmap(3, 1, 32);
    set_pixel32(src, 0, 0, 0x00123456);
    set_pixel32(src, 1, 0, 0x80ABCDEF);
    for (int x = 0; x < 3; x++) set_pixel32(dst, x, 0, 0xFFFFFFFF);
    tamu_blit(src, dst, 0, 0, 1, 0, 2, 1);
    EXPECT_EQ(pixel32(dst, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(pixel32(dst, 1, 0), 0x00123456u);
    EXPECT_EQ(pixel32(dst, 2, 0), 0x80ABCDEFu);
    tamu_destroy_bitmap(src);
    tamu_destroy_bitmap(dst);
}

TEST_F(Blit, EightToThirtyTwoGoesThroughTheVideoPaletteOpaque) {
    cbitmap *src = bitmap_from_map({"01f"});
    cbitmap *dst = tamu_create_bitmap(3, 1, 32);

    // Without a video palette the colours are the grey ramp.
    ASSERT_EQ(tamu_palette, nullptr);
    tamu_blit(src, dst, 0, 0, 0, 0, 3, 1);
    EXPECT_EQ(pixel32(dst, 0, 0), 0xFF000000u);   // index 0 is opaque
    EXPECT_EQ(pixel32(dst, 1, 0), 0xFF010101u);
    EXPECT_EQ(pixel32(dst, 2, 0), 0xFF0F0F0Fu);

    tamu_palette = tamu_create_palette();
    set_rgb(tamu_palette, 0, 1, 2, 3);
    set_rgb(tamu_palette, 1, 0x10, 0x20, 0x30);
    set_rgb(tamu_palette, 15, 0xFF, 0x80, 0x00);
    tamu_blit(src, dst, 0, 0, 0, 0, 3, 1);
    EXPECT_EQ(pixel32(dst, 0, 0), 0xFF010203u);
    EXPECT_EQ(pixel32(dst, 1, 0), 0xFF102030u);
    EXPECT_EQ(pixel32(dst, 2, 0), 0xFFFF8000u);
    tamu_destroy_palette(tamu_palette);
    tamu_palette = nullptr;

    // 32 to 8 is refused.
    cbitmap *back = bitmap_from_map({"777"});
    tamu_blit(dst, back, 0, 0, 0, 0, 3, 1);
    EXPECT_EQ(map_of(back), joined({"777"}));
    tamu_destroy_bitmap(back);
    tamu_destroy_bitmap(src);
    tamu_destroy_bitmap(dst);
}

TEST_F(BlitSprite, EightBitSkipsIndexZero) {
    const CopyCase cases[] = {
        {"inside", {0, 0, 5, 3}, {0, 0, 1, 1, 4, 2}, {"55555", "51525", "55354"}},
        {"left edge", {0, 0, 5, 3}, {0, 0, -1, 0, 4, 2}, {"52555", "35455", "55555"}},
        {"clip", {0, 0, 3, 2}, {0, 0, 1, 0, 4, 2}, {"51555", "55355", "55555"}},
        {"sx at width", {0, 0, 5, 3}, {4, 0, 0, 0, 4, 2}, {"55555", "55555", "55555"}},
    };
    cbitmap *src = bitmap_from_map({"1.2.", ".3.4"});
    for (const CopyCase &c : cases) {
        SCOPED_TRACE(c.name);
        cbitmap *dst = bitmap_from_map({"55555", "55555", "55555"});
        tamu_set_clip(dst, c.clip[0], c.clip[1], c.clip[2], c.clip[3]);
        tamu_draw_sprite(src, dst, c.args[0], c.args[1], c.args[2], c.args[3], c.args[4], c.args[5]);
        EXPECT_EQ(map_of(dst), joined(c.want));
        tamu_destroy_bitmap(dst);
    }
    tamu_destroy_bitmap(src);
}

TEST_F(BlitSprite, EightBitWideRowsKeepEveryByteRule) {
    // Rows longer than eight pixels, at an odd offset, with byte values
    // whose high or low bit alone is set.
    const uint8_t row[19] = {0x80, 0, 1, 0xFF, 0, 0, 0x7F, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0x81};
    const uint8_t A = 0xAA;
    const uint8_t want[24] = {A,    A, A, 0x80, A, 1, 0xFF, A, A, 0x7F, 2, A,
                              A,    A, A, A,    A, A, A,    0x10, A, 0x81, A, A};
    cbitmap *src = tamu_create_bitmap(19, 1, 8);
    std::memcpy(src->rows[0], row, 19);
    cbitmap *dst = tamu_create_bitmap(24, 1, 8);
    std::memset(dst->rows[0], A, 24);
    tamu_draw_sprite(src, dst, 0, 0, 3, 0, 19, 1);
    for (int x = 0; x < 24; x++) EXPECT_EQ(dst->rows[0][x], want[x]) << x;
    tamu_destroy_bitmap(src);
    tamu_destroy_bitmap(dst);
}

TEST_F(BlitSprite, ThirtyTwoBitBlendsAndKeepsDestinationAlpha) {
    struct Case {
        uint32_t src, dst, want;
    };
    const Case cases[] = {
        {0x80FFFFFF, 0x11000000, 0x11808080},   // half white over black
        {0x00123456, 0x22ABCDEF, 0x22ABCDEF},   // alpha 0 keeps the destination
        {0xFF123456, 0x33ABCDEF, 0x33123456},   // alpha 255 takes the source colour
        {0x40FF0000, 0x0000FF00, 0x0040BF00},
    };
    cbitmap *src = tamu_create_bitmap(4, 1, 32);
    cbitmap *dst = tamu_create_bitmap(4, 1, 32);
    for (int i = 0; i < 4; i++) {
        set_pixel32(src, i, 0, cases[i].src);
        set_pixel32(dst, i, 0, cases[i].dst);
    }
    tamu_draw_sprite(src, dst, 0, 0, 0, 0, 4, 1);
    for (int i = 0; i < 4; i++) EXPECT_EQ(pixel32(dst, i, 0), cases[i].want) << i;

    // Depths must match.
    cbitmap *eight = bitmap_from_map({"1111"});
    tamu_draw_sprite(eight, dst, 0, 0, 0, 0, 4, 1);
    tamu_draw_sprite(src, eight, 0, 0, 0, 0, 4, 1);
    EXPECT_EQ(pixel32(dst, 0, 0), cases[0].want);
    EXPECT_EQ(map_of(eight), joined({"1111"}));
    tamu_destroy_bitmap(eight);
    tamu_destroy_bitmap(src);
    tamu_destroy_bitmap(dst);
}

TEST(BlitBlend, BlendsEachColourByteRoundingDown) {
    struct Case {
        uint32_t d, s;
        int a;
        uint32_t want;
    };
    const Case cases[] = {
        {0x000000, 0xFFFFFF, 128, 0x808080},
        {0xFF102030, 0x405060, 0, 0x102030},
        {0x102030, 0xAA405060, 255, 0x405060},
        {0x00FF00, 0xFF0000, 64, 0x40BF00},
        {0x0A0A0A, 0x141414, 100, 0x0D0D0D},   // 3550 / 255 = 13.9
        {0x7F000000, 0x7FFFFFFF, 1, 0x010101},
    };
    for (const Case &c : cases)
        EXPECT_EQ(tamu_blend32(c.d, c.s, c.a), c.want) << std::hex << c.d << " " << c.s << " " << c.a;
}

TEST_F(BlitSprite, SolidColourSpritesAndMirroring) {
    struct Case {
        const char *name;
        pixel_map src;
        int args[6];
        int flags;
        pixel_map want;
    };
    const Case cases[] = {
        {"plain", {"1..", "11."}, {0, 0, 1, 0, 3, 2}, 0, {".7...", ".77.."}},
        {"mirrored", {"1..", "11."}, {0, 0, 1, 0, 3, 2}, 1, {"...7.", "..77."}},
        {"part", {"1.11"}, {2, 0, 0, 0, 2, 1}, 0, {"77..."}},
        // The rectangle is taken from the mirrored source "11.1".
        {"mirrored part", {"1.11"}, {2, 0, 0, 0, 2, 1}, 1, {".7..."}},
        {"mirrored left edge", {"1.11"}, {0, 0, -1, 0, 4, 1}, 1, {"7.7.."}},
        {"right edge", {"1.11"}, {0, 0, 3, 0, 4, 1}, 0, {"...7."}},
        {"mirrored right edge", {"1.11"}, {0, 0, 3, 0, 4, 1}, 1, {"...77"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        cbitmap *src = bitmap_from_map(c.src);
        cbitmap *dst = tamu_create_bitmap(5, int(c.want.size()), 8);
        tamu_draw_sprite_col(src, dst, c.args[0], c.args[1], c.args[2], c.args[3], c.args[4], c.args[5],
                             0x12345607, c.flags);
        EXPECT_EQ(map_of(dst), joined(c.want));
        tamu_destroy_bitmap(src);
        tamu_destroy_bitmap(dst);
    }

    // A 32-bit destination takes the whole colour word.
    cbitmap *glyph = bitmap_from_map({"1.1"});
    cbitmap *dst = tamu_create_bitmap(3, 1, 32);
    tamu_draw_sprite_col(glyph, dst, 0, 0, 0, 0, 3, 1, 0x80FF00FF, 0);
    EXPECT_EQ(pixel32(dst, 0, 0), 0x80FF00FFu);
    EXPECT_EQ(pixel32(dst, 1, 0), 0u);
    EXPECT_EQ(pixel32(dst, 2, 0), 0x80FF00FFu);
    tamu_destroy_bitmap(glyph);
    tamu_destroy_bitmap(dst);
}

TEST_F(BlitSprite, PaletteShadowAndMirroredSprites) {
    uint8_t plus5[256], halve[256];
    for (int i = 0; i < 256; i++) {
        plus5[i] = uint8_t(i + 5);
        halve[i] = uint8_t(i / 2);
    }
    struct Case {
        const char *name;
        int kind;   // 0 palette, 1 shadow, 2 mirrored
        pixel_map src, dst;
        int args[6];
        pixel_map want;
    };
    const Case cases[] = {
        {"palette", 0, {"1.2"}, {"fff"}, {0, 0, 0, 0, 3, 1}, {"6f7"}},
        {"palette clipped", 0, {"1.2"}, {"fff"}, {0, 0, -2, 0, 3, 1}, {"7ff"}},
        {"shadow", 1, {"1.1"}, {"8a6"}, {0, 0, 0, 0, 3, 1}, {"4a3"}},
        {"shadow clipped", 1, {"1.1", "111"}, {"8a6", "8a6"}, {0, 0, 1, 1, 3, 2}, {"8a6", "856"}},
        {"mirrored", 2, {"12.4"}, {"ffff"}, {0, 0, 0, 0, 4, 1}, {"4f21"}},
        {"mirrored part", 2, {"12.4"}, {"ffff"}, {1, 0, 0, 0, 2, 1}, {"f2ff"}},
        {"mirrored left edge", 2, {"12.4"}, {"fff"}, {0, 0, -1, 0, 4, 1}, {"f21"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        cbitmap *src = bitmap_from_map(c.src);
        cbitmap *dst = bitmap_from_map(c.dst);
        const int *a = c.args;
        if (c.kind == 0) tamu_draw_sprite_pal(src, dst, a[0], a[1], a[2], a[3], a[4], a[5], plus5);
        if (c.kind == 1) tamu_draw_sprite_shadow(src, dst, a[0], a[1], a[2], a[3], a[4], a[5], halve);
        if (c.kind == 2) tamu_draw_sprite_h(src, dst, a[0], a[1], a[2], a[3], a[4], a[5]);
        EXPECT_EQ(map_of(dst), joined(c.want));
        tamu_destroy_bitmap(src);
        tamu_destroy_bitmap(dst);
    }

    // These serve 8-bit bitmaps only; other depths and null tables are left alone.
    cbitmap *src = bitmap_from_map({"11"});
    cbitmap *wide = tamu_create_bitmap(2, 1, 32);
    tamu_draw_sprite_pal(src, wide, 0, 0, 0, 0, 2, 1, plus5);
    tamu_draw_sprite_shadow(src, wide, 0, 0, 0, 0, 2, 1, halve);
    tamu_draw_sprite_h(wide, wide, 0, 0, 0, 0, 2, 1);
    EXPECT_EQ(pixel32(wide, 0, 0), 0u);
    tamu_draw_sprite_pal(src, src, 0, 0, 0, 0, 2, 1, nullptr);
    tamu_draw_sprite_shadow(src, src, 0, 0, 0, 0, 2, 1, nullptr);
    EXPECT_EQ(map_of(src), joined({"11"}));
    tamu_destroy_bitmap(wide);
    tamu_destroy_bitmap(src);
}

TEST_F(BlitStretch, ScalesWithHalfStepCentres) {
    struct Case {
        const char *name;
        pixel_map src, dst;
        int dx, dy, dw, dh, flags;
        pixel_map want;
    };
    const Case cases[] = {
        {"double", {"12", "3."}, {"ffff", "ffff", "ffff", "ffff"}, 0, 0, 4, 4, 0,
         {"1122", "1122", "33..", "33.."}},
        {"double transparent", {"12", "3."}, {"ffff", "ffff", "ffff", "ffff"}, 0, 0, 4, 4, 1,
         {"1122", "1122", "33ff", "33ff"}},
        {"three to two", {"123"}, {"ff"}, 0, 0, 2, 1, 0, {"13"}},
        {"left clip", {"1234"}, {"......"}, -3, 0, 8, 1, 0, {"23344."}},
        {"top clip", {"1", "2", "3", "4"}, {".", ".", ".", ".", ".", "."}, 0, -3, 1, 8, 0,
         {"2", "3", "3", "4", "4", "."}},
        {"right and bottom clip", {"12", "34"}, {"...", "..."}, 1, 1, 4, 4, 0, {"...", ".11"}},
        {"same size is a blit", {"1.", ".2"}, {"ff", "ff"}, 0, 0, 2, 2, 0, {"1.", ".2"}},
        {"same size is a sprite", {"1.", ".2"}, {"ff", "ff"}, 0, 0, 2, 2, 1, {"1f", "f2"}},
        {"same size clipped", {"1.", ".2"}, {"ff", "ff"}, -1, 0, 2, 2, 0, {".f", "2f"}},
        {"negative width", {"12"}, {"ffff"}, 0, 0, -4, 1, 0, {"ffff"}},
        {"negative height", {"12"}, {"ffff"}, 0, 0, 4, -1, 0, {"ffff"}},
        {"zero width", {"12"}, {"ffff"}, 0, 0, 0, 1, 0, {"ffff"}},
        {"huge width", {"12"}, {"ffff"}, 0, 0, 100000, 1, 0, {"1111"}},
        {"far left", {"12"}, {"ffff"}, -99998, 0, 100000, 1, 0, {"22ff"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        cbitmap *src = bitmap_from_map(c.src);
        cbitmap *dst = bitmap_from_map(c.dst);
        tamu_stretch_blit(src, dst, c.dx, c.dy, c.dw, c.dh, c.flags);
        EXPECT_EQ(map_of(dst), joined(c.want));
        tamu_destroy_bitmap(src);
        tamu_destroy_bitmap(dst);
    }
}

TEST_F(BlitStretch, SixteenToThirtyTwoAndToEight) {
    cbitmap *src = tamu_create_bitmap(16, 16, 8);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) src->rows[y][x] = uint8_t(y * 16 + x);
    cbitmap *big = tamu_create_bitmap(32, 32, 8);
    tamu_stretch_blit(src, big, 0, 0, 32, 32, 0);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) ASSERT_EQ(big->rows[y][x], src->rows[y / 2][x / 2]) << x << "," << y;
    cbitmap *small = tamu_create_bitmap(8, 8, 8);
    tamu_stretch_blit(src, small, 0, 0, 8, 8, 0);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            ASSERT_EQ(small->rows[y][x], src->rows[2 * y + 1][2 * x + 1]) << x << "," << y;
    tamu_destroy_bitmap(src);
    tamu_destroy_bitmap(big);
    tamu_destroy_bitmap(small);
}

TEST_F(BlitStretch, ThirtyTwoBitCopiesOrBlendsAndDepthsMustMatch) {
    cbitmap *src = tamu_create_bitmap(1, 1, 32);
    cbitmap *dst = tamu_create_bitmap(2, 1, 32);
    set_pixel32(src, 0, 0, 0x80FFFFFF);
    set_pixel32(dst, 0, 0, 0x11000000);
    set_pixel32(dst, 1, 0, 0x22000000);
    tamu_stretch_blit(src, dst, 0, 0, 2, 1, 1);
    EXPECT_EQ(pixel32(dst, 0, 0), 0x11808080u);
    EXPECT_EQ(pixel32(dst, 1, 0), 0x22808080u);
    tamu_stretch_blit(src, dst, 0, 0, 2, 1, 0);
    EXPECT_EQ(pixel32(dst, 0, 0), 0x80FFFFFFu);
    EXPECT_EQ(pixel32(dst, 1, 0), 0x80FFFFFFu);

    cbitmap *eight = bitmap_from_map({"5"});
    tamu_stretch_blit(eight, dst, 0, 0, 2, 1, 0);
    EXPECT_EQ(pixel32(dst, 0, 0), 0x80FFFFFFu);
    tamu_stretch_blit(nullptr, dst, 0, 0, 2, 1, 0);
    tamu_stretch_blit(eight, nullptr, 0, 0, 2, 1, 0);
    tamu_destroy_bitmap(eight);
    tamu_destroy_bitmap(src);
    tamu_destroy_bitmap(dst);
}

// Palette used by the conversion and nearest-colour cases; entries 7 to
// 255 are black.
cpalette *test_palette() {
    cpalette *p = tamu_create_palette();
    set_rgb(p, 0, 100, 100, 100);
    set_rgb(p, 1, 200, 0, 0);
    set_rgb(p, 2, 0, 200, 0);
    set_rgb(p, 3, 111, 105, 100);
    set_rgb(p, 4, 92, 92, 92);
    set_rgb(p, 5, 30, 30, 30);
    set_rgb(p, 6, 70, 30, 30);
    return p;
}

TEST_F(BlitConvert, EightToThirtyTwoMakesIndexZeroTransparent) {
    cpalette *pal = test_palette();
    cbitmap *src = bitmap_from_map({"01", "46"});
    cbitmap *dst = tamu_create_bitmap(2, 2, 32);
    tamu_convert_bitmap(src, dst, pal);
    EXPECT_EQ(pixel32(dst, 0, 0), 0x00646464u);
    EXPECT_EQ(pixel32(dst, 1, 0), 0xFFC80000u);
    EXPECT_EQ(pixel32(dst, 0, 1), 0xFF5C5C5Cu);
    EXPECT_EQ(pixel32(dst, 1, 1), 0xFF461E1Eu);

    // Sizes must match; a missing palette converts nothing.
    cbitmap *other = tamu_create_bitmap(3, 2, 32);
    tamu_convert_bitmap(src, other, pal);
    EXPECT_EQ(pixel32(other, 0, 0), 0u);
    tamu_convert_bitmap(src, other, nullptr);
    cbitmap *blank = tamu_create_bitmap(2, 2, 32);
    tamu_convert_bitmap(src, blank, nullptr);
    EXPECT_EQ(pixel32(blank, 1, 1), 0u);

    // Same depth is a plain copy.
    cbitmap *copy = tamu_create_bitmap(2, 2, 8);
    tamu_convert_bitmap(src, copy, pal);
    EXPECT_EQ(map_of(copy), joined({".1", "46"}));
    tamu_destroy_bitmap(copy);
    tamu_destroy_bitmap(blank);
    tamu_destroy_bitmap(other);
    tamu_destroy_bitmap(src);
    tamu_destroy_bitmap(dst);
    tamu_destroy_palette(pal);
}

TEST_F(BlitConvert, ThirtyTwoToEightTakesTheFirstCloseEntryElseTheNearest) {
    struct Case {
        const char *name;
        uint32_t colour;
        int want;
    };
    const Case cases[] = {
        {"close to 0 beats a later exact match", 0x806F6964, 0},   // (111,105,100): 146 from entry 0
        {"192 from entry 0 is not close", 0xFF5C5C5C, 4},            // (92,92,92)
        {"nearest when none is close", 0xFF551E1E, 6},               // (85,30,30): 225 from entry 6
        {"nearest tie takes the earlier", 0xFF321E1E, 5},            // (50,30,30): 400 from 5 and 6
        {"alpha is ignored", 0x00C80000, 1},
        {"black", 0xFF000000, 7},
    };
    cpalette *pal = test_palette();
    cbitmap *src = tamu_create_bitmap(1, 1, 32);
    cbitmap *dst = tamu_create_bitmap(1, 1, 8);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        set_pixel32(src, 0, 0, c.colour);
        dst->rows[0][0] = 0xEE;
        tamu_convert_bitmap(src, dst, pal);
        EXPECT_EQ(dst->rows[0][0], c.want);
    }
    tamu_destroy_bitmap(src);
    tamu_destroy_bitmap(dst);
    tamu_destroy_palette(pal);
}

TEST_F(BlitConvert, ThirtyTwoToEightHonoursBothClips) {
    cpalette *pal = test_palette();
    cbitmap *src = tamu_create_bitmap(3, 2, 32);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++) set_pixel32(src, x, y, 0xFFC80000);   // entry 1
    tamu_set_clip(src, 1, 0, 3, 2);   // column 0 reads as black (entry 7)
    cbitmap *dst = bitmap_from_map({"eee", "eee"});
    tamu_set_clip(dst, 0, 0, 2, 1);   // only the top left two are written
    tamu_convert_bitmap(src, dst, pal);
    EXPECT_EQ(map_of(dst), joined({"71e", "eee"}));
    tamu_destroy_bitmap(src);
    tamu_destroy_bitmap(dst);
    tamu_destroy_palette(pal);
}

TEST_F(BitmapPalette, FindColourReturnsExactOrNearest) {
    struct Case {
        int r, g, b, want;
    };
    const Case cases[] = {
        {111, 105, 100, 3},   // exact, though entry 0 is close
        {101, 100, 100, 0},
        {50, 30, 30, 5},      // tie between 5 and 6
        {0, 0, 0, 7},
        {100000, 0, 0, 1},    // nothing below the bound
    };
    cpalette *pal = test_palette();
    for (const Case &c : cases)
        EXPECT_EQ(tamu_find_colour(c.r, c.g, c.b, pal), c.want) << c.r << "," << c.g << "," << c.b;
    EXPECT_EQ(tamu_find_colour(0, 0, 0, nullptr), 1);
    tamu_destroy_palette(pal);
}

TEST_F(BitmapPalette, FadeMixesIntoTheVideoPalette) {
    cpalette *a = tamu_create_palette();
    cpalette *b = tamu_create_palette();
    std::memset(a->rgb, 100, 768);
    std::memset(b->rgb, 200, 768);
    a->rgb[767] = 255;
    b->rgb[767] = 0;

    tamu_fade_palette_moment(a, b, 128);   // no video palette yet: nothing to do
    tamu_palette = tamu_create_palette();
    struct Case {
        int t, want_first, want_last;
    };
    const Case cases[] = {
        {0, 100, 255}, {256, 200, 0}, {128, 150, 127}, {64, 125, 191}, {-5, 100, 255}, {300, 200, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.t);
        tamu_fade_palette_moment(a, b, c.t);
        EXPECT_EQ(tamu_palette->rgb[0], c.want_first);
        EXPECT_EQ(tamu_palette->rgb[400], c.want_first);
        EXPECT_EQ(tamu_palette->rgb[767], c.want_last);
    }
    EXPECT_EQ(a->rgb[0], 100);
    EXPECT_EQ(b->rgb[0], 200);

    tamu_set_palette(a);
    EXPECT_EQ(tamu_palette->rgb[5], 100);
    tamu_set_palette(tamu_palette);
    tamu_set_palette(nullptr);
    EXPECT_EQ(tamu_palette->rgb[5], 100);
    tamu_destroy_palette(tamu_palette);
    tamu_palette = nullptr;
    tamu_destroy_palette(a);
    tamu_destroy_palette(b);
}

// What reached the window.
struct presented_call {
    cbitmap *src;
    cbitmap *screen;
    int sx, sy, dx, dy;
};
std::vector<presented_call> presented;
void record_present(cbitmap *src, cbitmap *screen, int sx, int sy, int dx, int dy) {
    presented.push_back({src, screen, sx, sy, dx, dy});
}

class BitmapScreenTest : public BitmapScreen {
  protected:
    void SetUp() override {
        BitmapScreen::SetUp();
        presented.clear();
        tamu_present_hook = record_present;
        tamu_set_screen_bitmap(128, 128, 8);
        page = tamu_create_bitmap(128, 128, 8);
        page->rows[5][5] = 7;
    }
    void TearDown() override {
        tamu_destroy_bitmap(page);
        tamu_set_screen_bitmap(0, 0, 8);
        tamu_present_hook = nullptr;
        BitmapScreen::TearDown();
    }
    cbitmap *page = nullptr;
};

TEST_F(BitmapScreenTest, BlitsAndSpritesOntoTheScreenPresent) {
    tamu_blit(page, tamu_screen, 0, 0, 0, 0, 128, 128);
    ASSERT_EQ(presented.size(), 1u);
    EXPECT_EQ(presented[0].src, page);
    EXPECT_EQ(presented[0].screen, tamu_screen);
    EXPECT_EQ(presented[0].sx, 0);
    EXPECT_EQ(presented[0].dx, 0);

    tamu_blit(page, tamu_screen, 0, 0, -3, 0, 128, 128);   // clipped first
    ASSERT_EQ(presented.size(), 2u);
    EXPECT_EQ(presented[1].sx, 3);
    EXPECT_EQ(presented[1].dx, 0);

    tamu_draw_sprite(page, tamu_screen, 0, 0, 0, 0, 128, 128);
    tamu_stretch_blit(page, tamu_screen, 0, 0, 128, 128, 0);   // same size: a blit
    tamu_convert_bitmap(page, tamu_screen, nullptr);          // same depth: a blit
    EXPECT_EQ(presented.size(), 5u);

    // Nothing visible, depth mismatches and operations that do not present.
    cbitmap *wide = tamu_create_bitmap(128, 128, 32);
    presented.clear();
    tamu_blit(page, tamu_screen, 0, 0, 128, 0, 128, 128);
    tamu_blit(wide, tamu_screen, 0, 0, 0, 0, 128, 128);
    tamu_draw_sprite(wide, tamu_screen, 0, 0, 0, 0, 128, 128);
    tamu_stretch_blit(page, tamu_screen, 0, 0, 256, 256, 0);
    tamu_draw_sprite_col(page, tamu_screen, 0, 0, 0, 0, 8, 8, 1, 0);
    tamu_draw_sprite_pal(page, tamu_screen, 0, 0, 0, 0, 8, 8, page->rows[0]);
    tamu_draw_sprite_shadow(page, tamu_screen, 0, 0, 0, 0, 8, 8, page->rows[0]);
    tamu_draw_sprite_h(page, tamu_screen, 0, 0, 0, 0, 8, 8);
    tamu_clear_bitmap(tamu_screen);
    tamu_putpixel(tamu_screen, 1, 1, 1);
    tamu_hline(tamu_screen, 0, 10, 1, 1);
    tamu_vline(tamu_screen, 1, 0, 10, 1);
    tamu_line(tamu_screen, 0, 0, 10, 7, 1);
    tamu_line_noclip(tamu_screen, 0, 0, 10, 7, 1);
    tamu_rect(tamu_screen, 0, 0, 10, 7, 1);
    tamu_rectfill(tamu_screen, 0, 0, 10, 7, 1);
    EXPECT_EQ(tamu_getpixel(tamu_screen, 1, 1), 0u);
    tamu_set_screen_bitmap(128, 128, 32);
    tamu_convert_bitmap(page, tamu_screen, tamu_palette);
    EXPECT_EQ(presented.size(), 0u);

    tamu_present_hook = nullptr;   // no video layer: presenting does nothing
    tamu_blit(wide, tamu_screen, 0, 0, 0, 0, 128, 128);
    tamu_destroy_bitmap(wide);
    tamu_destroy_bitmap(tamu_screen);   // not an owned bitmap: ignored
    EXPECT_EQ(tamu_screen->width, 128);
}

TEST_F(BitmapScreenTest, TheScreenIsNeverASource) {
    cbitmap *out = tamu_create_bitmap(128, 128, 8);
    uint8_t table[256] = {};
    tamu_blit(tamu_screen, out, 0, 0, 0, 0, 128, 128);
    tamu_draw_sprite(tamu_screen, out, 0, 0, 0, 0, 128, 128);
    tamu_draw_sprite_col(tamu_screen, out, 0, 0, 0, 0, 128, 128, 1, 1);
    tamu_draw_sprite_pal(tamu_screen, out, 0, 0, 0, 0, 128, 128, table);
    tamu_draw_sprite_shadow(tamu_screen, out, 0, 0, 0, 0, 128, 128, table);
    tamu_draw_sprite_h(tamu_screen, out, 0, 0, 0, 0, 128, 128);
    for (int size : {64, 128, 256}) {
        tamu_stretch_blit(tamu_screen, out, 0, 0, size, size, 0);
        tamu_stretch_blit(tamu_screen, out, 0, 0, size, size, 1);
    }
    tamu_convert_bitmap(tamu_screen, out, nullptr);
    tamu_blit(tamu_screen, tamu_screen, 0, 0, 0, 0, 128, 128);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) ASSERT_EQ(out->rows[y][x], 0);
    EXPECT_TRUE(presented.empty());
    tamu_destroy_bitmap(out);
}

TEST_F(BitmapScreen, UnsizedScreenTakesNothing) {
    // Before the video layer sizes it the screen is 0 x 0.
    presented.clear();
    tamu_present_hook = record_present;
    cbitmap *page = tamu_create_bitmap(8, 8, 8);
    tamu_blit(page, tamu_screen, 0, 0, 0, 0, 8, 8);
    EXPECT_TRUE(presented.empty());
    tamu_present_hook = nullptr;
    tamu_destroy_bitmap(page);
}

}  // namespace
