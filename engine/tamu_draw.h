// Single-colour drawing onto bitmaps: pixels, runs, lines and rectangles.
#pragma once

#include <cstdint>

struct cbitmap;

// Every write honours the bitmap's clip rectangle. The colour's low byte
// goes into an 8-bit bitmap, the whole word into a 32-bit one. Null
// bitmaps and tamu_screen are left alone.
void tamu_putpixel(cbitmap *bitmap, int x, int y, uint32_t colour);
void tamu_put_pixel(cbitmap *bitmap, int x, int y, uint32_t colour);
// The pixel at x, y; 0 for null, tamu_screen or outside the clip rectangle.
uint32_t tamu_getpixel(const cbitmap *bitmap, int x, int y);

// Runs and rectangles take inclusive ends, in either order.
void tamu_hline(cbitmap *bitmap, int xa, int xb, int y, uint32_t colour);
void tamu_vline(cbitmap *bitmap, int x, int ya, int yb, uint32_t colour);
void tamu_rect(cbitmap *bitmap, int xa, int ya, int xb, int yb, uint32_t colour);
void tamu_rectfill(cbitmap *bitmap, int xa, int ya, int xb, int yb, uint32_t colour);
// Filled in colour, with the top and left edges in light and the bottom
// and right edges in dark (dark wins the two corners they share).
void tamu_rect_lit(cbitmap *bitmap, int xa, int ya, int xb, int yb, uint32_t colour, uint32_t light,
                   uint32_t dark);

// A line with both end points, stepped in 16.16 from pixel centres:
// n = max(|dx|, |dy|) steps, n + 1 points. tamu_line draws exactly the
// points of that stepping that fall inside the clip rectangle, skipping
// the others arithmetically; tamu_line_noclip visits every point and
// tests each one.
void tamu_line(cbitmap *bitmap, int xa, int ya, int xb, int yb, uint32_t colour);
void tamu_line_noclip(cbitmap *bitmap, int xa, int ya, int xb, int yb, uint32_t colour);
// For line stepping: narrows the step range [lo, hi] to the steps k whose
// coordinate (p0 + k * step) >> 16 lies in [c0, c1) (an empty range ends
// with hi < lo).
void tamu_narrow_line_steps(int64_t p0, int64_t step, int64_t c0, int64_t c1, int64_t &lo, int64_t &hi);

// Clip outcode: 1 left of, 2 above, 4 right of, 8 below the clip; 0 inside
// (15 for a null bitmap).
int code_point(const cbitmap *bitmap, int x, int y);
