// Bitmaps, palettes, clip rectangles and the copies between bitmaps.
#pragma once

#include <cstdint>

// An image in memory: 8 bits per pixel (a palette index) or 32 bits per
// pixel (0xAARRGGBB in one word). Rows are reached through the row table.
// The clip rectangle is half-open: (x, y) may be written when
// clip_x0 <= x < clip_x1 and clip_y0 <= y < clip_y1.
struct cbitmap {
    int32_t width;
    int32_t height;
    int32_t bpp;
    uint8_t *pixels;     // width * height * bpp / 8 bytes, row 0 first
    uint8_t **rows;      // height entries into pixels
    int32_t clip_x0, clip_x1, clip_y0, clip_y1;
};

// 256 colours of three bytes R, G, B; entry n starts at rgb[3 * n].
struct cpalette {
    uint8_t rgb[768];
};

// Largest bitmap the library creates: each side at most this many pixels
// and the pixel block at most this many bytes.
constexpr int TAMU_BITMAP_MAX_SIDE = 8192;
constexpr int64_t TAMU_BITMAP_MAX_BYTES = int64_t(8192) * 8192;

// The video palette that 8-bit bitmaps are shown (and blitted to 32 bits)
// through, a palette of black, and the page the frame is drawn into. The
// video layer creates them; until it does they are null, and a null video
// palette reads as a grey ramp (entry i = i, i, i).
extern cpalette *tamu_palette;
extern cpalette *tamu_black_palette;
extern cbitmap *tamu_back_page;

// The window as a pseudo-bitmap: width, height, depth and clip, but no
// pixels. It is never a source. A blit or sprite draw onto it hands the
// clipped copy to tamu_present_hook; every other write to it does nothing.
// It starts 0 x 0 (so nothing reaches it) until the video layer sizes it
// with tamu_set_screen_bitmap.
extern cbitmap *const tamu_screen;
void tamu_set_screen_bitmap(int width, int height, int bpp);

// Installed by the video layer: show src (from sx, sy) on the window at
// dx, dy. Null (the default) presents nothing.
extern void (*tamu_present_hook)(cbitmap *src, cbitmap *screen, int sx, int sy, int dx, int dy);

// Null for w or h below 1, bpp other than 8 or 32, a side above
// TAMU_BITMAP_MAX_SIDE or more than TAMU_BITMAP_MAX_BYTES of pixels.
// Pixels start at 0, the clip covers the whole bitmap.
cbitmap *tamu_create_bitmap(int w, int h, int bpp);
void tamu_destroy_bitmap(cbitmap *bitmap);
void tamu_clear_bitmap(cbitmap *bitmap);

cpalette *tamu_create_palette();
void tamu_destroy_palette(cpalette *palette);
// Copies the 768 bytes into the video palette; nothing before the video
// layer has created it.
void tamu_set_palette(const cpalette *palette);

void tamu_reset_clip(cbitmap *bitmap);
// Takes corners x0, y0 (inclusive) and x1, y1 (exclusive), held inside
// the bitmap; x1 <= x0 or y1 <= y0 leaves an empty rectangle.
void tamu_set_clip(cbitmap *bitmap, int x0, int y0, int x1, int y1);
// One engine-wide slot, not a stack. Restoring holds the rectangle inside
// the bitmap it is restored into.
void tamu_save_clip(cbitmap *bitmap);
void tamu_restore_clip(cbitmap *bitmap);

// Clips a copy of the w x h rectangle at sx, sy in src to dx, dy in dst:
// reads are limited by the source's size, writes by the destination's
// clip rectangle. The copy is empty when the resulting w or h is below 1.
void tamu_clip(const cbitmap *src, const cbitmap *dst, int &sx, int &sy, int &dx, int &dy, int &w,
               int &h);

// Opaque copy. Same depth copies bytes (32-bit alpha included); 8 to 32
// turns index p into 0xFF000000 | the video palette's colour p (index 0
// too); 32 to 8 is refused (see tamu_convert_bitmap).
void tamu_blit(cbitmap *src, cbitmap *dst, int sx, int sy, int dx, int dy, int w, int h);
// Transparent copy between bitmaps of one depth: 8-bit skips index 0,
// 32-bit blends by the source alpha and keeps the destination's alpha.
void tamu_draw_sprite(cbitmap *src, cbitmap *dst, int sx, int sy, int dx, int dy, int w, int h);
// Every non-zero pixel of the 8-bit source writes colour (its low byte
// into an 8-bit destination). Flags bit 0 mirrors left-right.
void tamu_draw_sprite_col(cbitmap *src, cbitmap *dst, int sx, int sy, int dx, int dy, int w, int h,
                          uint32_t colour, int flags);
// 8-bit to 8-bit: each non-zero source pixel p writes table[p].
void tamu_draw_sprite_pal(cbitmap *src, cbitmap *dst, int sx, int sy, int dx, int dy, int w, int h,
                          const uint8_t *table);
// 8-bit to 8-bit: under each non-zero source pixel, destination pixel d
// becomes table[d] (a darkening table gives a shadow).
void tamu_draw_sprite_shadow(cbitmap *src, cbitmap *dst, int sx, int sy, int dx, int dy, int w, int h,
                             const uint8_t *table);
// 8-bit transparent copy mirrored left-right (the rectangle is taken from
// the mirrored source). Other depths are left alone.
void tamu_draw_sprite_h(cbitmap *src, cbitmap *dst, int sx, int sy, int dx, int dy, int w, int h);

// Each colour byte (s * a + d * (255 - a)) / 255; the alpha byte is 0.
uint32_t tamu_blend32(uint32_t d, uint32_t s, int a);

// Scales the whole source into dw x dh at dx, dy (nearest pixel, 16.16
// steps from half-step centres). Flags bit 0: transparent.
void tamu_stretch_blit(cbitmap *src, cbitmap *dst, int dx, int dy, int dw, int dh, int flags);

// Copies into a bitmap of the same size: 8 to 32 through the palette
// (index 0 gets alpha 0), 32 to 8 by the first entry closer than 192
// (squared distance) else the nearest, reading black outside the source's
// clip; same depth is a blit. Only the destination's clip is written; a
// null palette converts nothing.
void tamu_convert_bitmap(cbitmap *src, cbitmap *dst, const cpalette *palette);
// The palette index of the nearest colour (1 without a palette).
int tamu_find_colour(int r, int g, int b, const cpalette *palette);
// Mixes a (t = 0) into b (t = 256) and makes the mix the video palette.
void tamu_fade_palette_moment(const cpalette *a, const cpalette *b, int t);
void tamu_draw_texture();
