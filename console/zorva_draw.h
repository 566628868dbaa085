// Console drawing: the draw-state registers as drawing uses them, and the
// primitives that draw on the console screen (a 128 x 128 8-bit cbitmap
// holding one colour 0-15 per pixel).
//
// Colours. A drawing colour is a byte: the primary colour in bits 0-3 and
// the secondary (fill-pattern) colour in bits 4-7. The cart's colour c goes
// through the draw palette first (map_draw_colour):
//   (palette[c & 15] & 15) + ((palette[(c >> 4) & 15] * 16) & 255)
//
// Fill pattern. Bits 0-15 are a 4 x 4 pattern repeated over the screen,
// bit 15 the top-left pixel of each cell and bit 0 the bottom-right; bit 16
// makes the pattern transparent. Pixel (x, y) reads the bit
//   pattern >> ((3 - (y & 3)) * 4 + (3 - (x & 3))) & 1
// and takes the primary colour on a 0, the secondary colour on a 1, or is
// left untouched on a 1 when the pattern is transparent. Pixels, lines,
// rectangles and circles use the pattern; sprites, the map and text do not.
//
// Sprites and the map go through the draw palette too: sheet pixel p is
// drawn as palette[p & 15], and entries of 16 or more (bit 4 marks a
// transparent colour) are not drawn.
//
// Every primitive honours the bitmap's clip rectangle (x1, y1 excluded),
// takes coordinates already moved by the camera and leaves null bitmaps
// and bitmaps other than 8-bit ones alone.
#pragma once

#include <cstdint>

struct cbitmap;
struct zorva_draw_state;

constexpr int ZORVA_SCREEN_SIZE = 128;
// Bit 16 of the fill-pattern register.
constexpr int ZORVA_FILL_TRANSPARENT = 0x10000;
// A draw-palette entry with this bit is a transparent colour.
constexpr int ZORVA_PALETTE_TRANSPARENT = 16;

// ---------------------------------------------------------------------------
// Draw state

// The drawing colour byte of the cart colour c (only bits 0-7 are used).
int map_draw_colour(const zorva_draw_state &d, int c);
// Both palettes to the identity, with draw-palette entry 0 transparent.
void reset_draw_palettes(zorva_draw_state &d);
// Sets the clip registers (each held inside 0-128) and the screen's clip
// rectangle from them.
void set_clip_registers(zorva_draw_state &d, cbitmap *screen, int x0, int y0, int x1, int y1);

// ---------------------------------------------------------------------------
// Primitives on a screen bitmap

// One pixel, patterned.
void putpixel(cbitmap *bitmap, int x, int y, int colour, int pattern);
// Row y from x0 to x1, both included, in either order, patterned.
void draw_hline(cbitmap *bitmap, int x0, int x1, int y, int colour, int pattern);
// Column x from y0 to y1, both included, in either order, patterned.
void draw_vline(cbitmap *bitmap, int x, int y0, int y1, int colour, int pattern);
// A line with both end points, stepped in 16.16 from pixel centres over
// n = max(|dx|, |dy|, 1) steps (n + 1 points, the end points ordered top
// to bottom first). Only the steps that land inside the clip are visited;
// returns how many were (0 for a line wholly outside).
int draw_line(cbitmap *bitmap, int x0, int y0, int x1, int y1, int colour, int pattern);
// Midpoint circle outline and filled circle of radius r (nothing for r < 0;
// r = 0 is one pixel). The filled circle draws whole rows.
void draw_circle(cbitmap *bitmap, int cx, int cy, int r, int colour, int pattern);
void draw_fillcircle(cbitmap *bitmap, int cx, int cy, int r, int colour, int pattern);
// A filled circle of even diameter, in plain rows of the colour's low byte
// (no pattern): its rows span cx - x ... cx + x + 1 and cy - y ... cy + y + 1.
void draw_fillcircle_even(cbitmap *bitmap, int cx, int cy, int r, int colour);
// Replaces every pixel p of the rectangle (corners included, in either
// order, clipped) by table[p & 15]: a tint for panels behind menus.
void draw_tinted_rect_adaptive(cbitmap *bitmap, int x0, int y0, int x1, int y1, const uint8_t table[16]);

// ---------------------------------------------------------------------------
// Sprites

// Copies the w x h rectangle of the sheet at sx, sy into temp at dx, dy,
// each pixel p as palette[p & 15] (so transparent colours become 16 or
// more). flip_x reads the source columns from the right (sx + w - 1 - i),
// flip_y the rows from the bottom. Parts of the rectangle outside the
// sheet become 16 (not drawn); the copy is clipped to temp's bounds.
void zorva_blit(const cbitmap *sheet, cbitmap *temp, int sx, int sy, int dx, int dy, int w, int h, bool flip_x,
                bool flip_y, const int32_t palette[16]);
// Copies the w x h rectangle of temp at sx, sy to the screen at dx, dy,
// clipped, writing only values below 16.
void zorva_draw_sprite(const cbitmap *temp, cbitmap *screen, int sx, int sy, int dx, int dy, int w, int h);
// Scales the whole of temp to dw x dh at dx, dy (nearest pixel: 16.16
// steps of source size / destination size, sampled from half a step in),
// clipped, writing only values below 16. Equal sizes are a plain
// zorva_draw_sprite; a size below 1 draws nothing.
void zorva_stretch_blit(const cbitmap *temp, cbitmap *screen, int dx, int dy, int dw, int dh);
// The w x h rectangle of the sheet at sx, sy straight onto the screen at
// dx, dy through the palette (transparent entries skipped), with flips as
// zorva_blit; parts outside the sheet draw nothing. The sprite and map
// drawing path.
void zorva_draw_sprite_pal(const cbitmap *sheet, cbitmap *screen, int sx, int sy, int dx, int dy, int w, int h,
                           const int32_t palette[16], bool flip_x = false, bool flip_y = false);
// A left-right mirrored copy of the w x h rectangle of src at sx, sy to dst
// at dx, dy (destination column i shows source column sx + w - 1 - i),
// each nonzero pixel p written as palette[p & 15] (its low byte); clipped
// to src's bounds and dst's clip.
void zorva_draw_sprite_h(const cbitmap *src, cbitmap *dst, int sx, int sy, int dx, int dy, int w, int h,
                         const int32_t palette[16]);

// ---------------------------------------------------------------------------
// Other operations

// The pixels of the w x h rectangle at x, y that lie inside the console
// screen's clip rectangle. A negative w moves x by w and is negated (so is
// a negative h). 0 without a screen.
int count_pixels(int x, int y, int w, int h);
// Every pixel p of the bitmap becomes table[p & 15] & 15.
void remap_bmp_palette(cbitmap *bitmap, const int32_t table[16]);
