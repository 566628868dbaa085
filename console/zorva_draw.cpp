// Console drawing primitives.
#include "zorva_draw.h"

#include "tamu.h"
#include "zorva_state.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

bool drawable(const cbitmap *b) { return b && b != tamu_screen && b->rows && b->bpp == 8; }

// The pattern's bit for pixel (x, y).
inline int pattern_bit(int pattern, int x, int y) { return (pattern >> ((3 - (y & 3)) * 4 + (3 - (x & 3)))) & 1; }

// Writes the pattern's choice of colour nibble at (x, y), which must be
// inside the bitmap.
inline void pattern_pixel(cbitmap *b, int x, int y, int colour, int pattern) {
    if (!pattern_bit(pattern, x, y))
        b->rows[y][x] = uint8_t(colour & 15);
    else if (!(pattern & ZORVA_FILL_TRANSPARENT))
        b->rows[y][x] = uint8_t((colour >> 4) & 15);
}

inline bool inside_clip(const cbitmap *b, int64_t x, int64_t y) {
    return x >= b->clip_x0 && x < b->clip_x1 && y >= b->clip_y0 && y < b->clip_y1;
}

// The palette as bytes for sprite drawing: entries of 16 or more (the
// transparent ones) become 0xFF.
void sprite_lut(const int32_t palette[16], uint8_t lut[16]) {
    for (int i = 0; i < 16; i++) lut[i] = uint32_t(palette[i]) < 16 ? uint8_t(palette[i]) : 0xFF;
}

// Draws n pixels of a sprite row through the lut (0xFF: not drawn): src
// points at the first source pixel, read leftwards when flipped.
inline void sprite_row(uint8_t *d, const uint8_t *src, int64_t n, bool flip, const uint8_t lut[16]) {
    if (flip) {
        for (int64_t i = 0; i < n; i++) {
            uint8_t v = lut[src[-i] & 15];
            if (v < 16) d[i] = v;
        }
    } else {
        for (int64_t i = 0; i < n; i++) {
            uint8_t v = lut[src[i] & 15];
            if (v < 16) d[i] = v;
        }
    }
}

// The same for the palette that most drawing uses, every colour itself and
// only colour 0 transparent: eight pixels at a time.
template <bool flip>
inline void plain_sprite_row(uint8_t *d, const uint8_t *src, int64_t n) {
    static_assert(std::endian::native == std::endian::little);
    constexpr uint64_t LOW4 = 0x0F0F0F0F0F0F0F0Full, LOW7 = 0x7F7F7F7F7F7F7F7Full, HIGH = 0x8080808080808080ull;
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t sv, dv;
        if constexpr (flip) {
            std::memcpy(&sv, src - i - 7, 8);
            sv = __builtin_bswap64(sv);
        } else {
            std::memcpy(&sv, src + i, 8);
        }
        std::memcpy(&dv, d + i, 8);
        sv &= LOW4;
        uint64_t drawn = (((sv + LOW7) & HIGH) >> 7) * 0xFF;   // bytes 1-15; they cannot carry
        dv = (dv & ~drawn) | sv;
        std::memcpy(d + i, &dv, 8);
    }
    for (; i < n; i++) {
        uint8_t v = (flip ? src[-i] : src[i]) & 15;
        if (v) d[i] = v;
    }
}

// Every colour itself and only colour 0 transparent.
bool plain_palette(const int32_t palette[16]) {
    bool plain = uint32_t(palette[0]) >= 16;
    for (int i = 1; i < 16; i++) plain &= palette[i] == i;
    return plain;
}

// The part [lo, hi) of the offsets 0 .. n-1 from base that lands in
// [c0, c1).
void span_inside(int64_t base, int64_t n, int64_t c0, int64_t c1, int64_t &lo, int64_t &hi) {
    lo = std::max<int64_t>(0, c0 - base);
    hi = std::min<int64_t>(n, c1 - base);
}

// The offsets i in [lo, hi) whose source index (flipped: start + n - 1 - i,
// else start + i) lies in [0, size).
void span_in_source(int64_t start, int64_t n, bool flip, int64_t size, int64_t &lo, int64_t &hi) {
    if (flip) {
        lo = std::max(lo, start + n - size);
        hi = std::min(hi, start + n);
    } else {
        lo = std::max(lo, -start);
        hi = std::min(hi, size - start);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Draw state

int map_draw_colour(const zorva_draw_state &d, int c) {
    return (d.draw_palette[c & 15] & 15) + ((d.draw_palette[(c >> 4) & 15] * 16) & 255);
}

void reset_draw_palettes(zorva_draw_state &d) {
    for (int i = 0; i < 16; i++) {
        d.draw_palette[i] = i;
        d.screen_palette[i] = i;
    }
    d.draw_palette[0] = ZORVA_PALETTE_TRANSPARENT;
}

void set_clip_registers(zorva_draw_state &d, cbitmap *screen, int x0, int y0, int x1, int y1) {
    d.clip_x0 = std::clamp(x0, 0, ZORVA_SCREEN_SIZE);
    d.clip_y0 = std::clamp(y0, 0, ZORVA_SCREEN_SIZE);
    d.clip_x1 = std::clamp(x1, 0, ZORVA_SCREEN_SIZE);
    d.clip_y1 = std::clamp(y1, 0, ZORVA_SCREEN_SIZE);
    if (screen) tamu_set_clip(screen, d.clip_x0, d.clip_y0, d.clip_x1, d.clip_y1);
}

// ---------------------------------------------------------------------------
// Pixels, runs and lines

void putpixel(cbitmap *bitmap, int x, int y, int colour, int pattern) {
    if (drawable(bitmap) && inside_clip(bitmap, x, y)) pattern_pixel(bitmap, x, y, colour, pattern);
}

void draw_hline(cbitmap *b, int x0, int x1, int y, int colour, int pattern) {
    if (!drawable(b) || y < b->clip_y0 || y >= b->clip_y1) return;
    if (x0 > x1) std::swap(x0, x1);
    int from = std::max(x0, b->clip_x0), to = std::min<int64_t>(x1, int64_t(b->clip_x1) - 1);
    if (to < from) return;
    uint8_t *row = b->rows[y];
    uint8_t primary = uint8_t(colour & 15), secondary = uint8_t((colour >> 4) & 15);
    // The row's four pattern bits, the one for x & 3 = 0 first (bit 3).
    int bits = (pattern >> ((3 - (y & 3)) * 4)) & 15;
    bool transparent = pattern & ZORVA_FILL_TRANSPARENT;
    if (bits == 0) {
        std::memset(row + from, primary, size_t(to - from + 1));
        return;
    }
    if (bits == 15) {
        if (!transparent) std::memset(row + from, secondary, size_t(to - from + 1));
        return;
    }
    if (transparent) {
        for (int x = from; x <= to; x++)
            if (!((bits >> (3 - (x & 3))) & 1)) row[x] = primary;
        return;
    }
    uint8_t four[4];
    for (int i = 0; i < 4; i++) four[i] = (bits >> (3 - i)) & 1 ? secondary : primary;
    for (int x = from; x <= to; x++) row[x] = four[x & 3];
}

void draw_vline(cbitmap *b, int x, int y0, int y1, int colour, int pattern) {
    if (!drawable(b) || x < b->clip_x0 || x >= b->clip_x1) return;
    if (y0 > y1) std::swap(y0, y1);
    int from = std::max(y0, b->clip_y0), to = std::min<int64_t>(y1, int64_t(b->clip_y1) - 1);
    for (int y = from; y <= to; y++) pattern_pixel(b, x, y, colour, pattern);
}

int draw_line(cbitmap *b, int x0, int y0, int x1, int y1, int colour, int pattern) {
    if (!drawable(b)) return 0;
    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    if (std::max(x0, x1) < b->clip_x0 || std::min(x0, x1) >= b->clip_x1 || y1 < b->clip_y0 || y0 >= b->clip_y1)
        return 0;
    int64_t dx = int64_t(x1) - x0, dy = int64_t(y1) - y0;
    int64_t n = std::max<int64_t>({dx < 0 ? -dx : dx, dy, 1});
    int64_t px = int64_t(x0) * 65536 + 0x8000, py = int64_t(y0) * 65536 + 0x8000;
    int64_t sx = dx * 65536 / n, sy = dy * 65536 / n;
    // The steps that land inside the clip form one range (both coordinates
    // move monotonically); it is found by division, so no step outside is
    // visited and none inside is lost.
    int64_t lo = 0, hi = n;
    if (!inside_clip(b, x0, y0) || !inside_clip(b, x1, y1)) {   // both ends inside: every step is
        tamu_narrow_line_steps(px, sx, b->clip_x0, b->clip_x1, lo, hi);
        tamu_narrow_line_steps(py, sy, b->clip_y0, b->clip_y1, lo, hi);
        if (lo > hi) return 0;
    }
    int64_t x = px + lo * sx, y = py + lo * sy;
    if ((pattern & 0xFFFF) == 0) {
        uint8_t c = uint8_t(colour & 15);
        uint8_t *const *rows = b->rows;   // kept in a register: the stores may alias anything
        for (int64_t k = lo; k <= hi; k++, x += sx, y += sy) rows[y >> 16][x >> 16] = c;
    } else {
        for (int64_t k = lo; k <= hi; k++, x += sx, y += sy)
            pattern_pixel(b, int(x >> 16), int(y >> 16), colour, pattern);
    }
    return int(hi - lo + 1);
}

// ---------------------------------------------------------------------------
// Circles

namespace {

// The box cx - r ... cx + r by cy - r ... cy + r misses the clip.
bool box_outside_clip(const cbitmap *b, int64_t cx, int64_t cy, int64_t r) {
    return cx + r < b->clip_x0 || cx - r >= b->clip_x1 || cy + r < b->clip_y0 || cy - r >= b->clip_y1;
}

// The whole clip lies inside the ring of an outline of radius r: every
// point of the outline is at least r - 1 from the centre, so a clip whose
// farthest pixel is nearer than r - 2 shows none of it.
bool clip_inside_ring(const cbitmap *b, int64_t cx, int64_t cy, int64_t r) {
    if (r < 3 || b->clip_x1 <= b->clip_x0 || b->clip_y1 <= b->clip_y0) return false;
    int64_t fx = std::max(std::abs(b->clip_x0 - cx), std::abs(b->clip_x1 - 1 - cx));
    int64_t fy = std::max(std::abs(b->clip_y0 - cy), std::abs(b->clip_y1 - 1 - cy));
    return fx * fx + fy * fy < (r - 2) * (r - 2);
}

inline void circle_point(cbitmap *b, int x, int y, int colour, int pattern) {
    if (inside_clip(b, x, y)) pattern_pixel(b, x, y, colour, pattern);
}

}  // namespace

void draw_circle(cbitmap *b, int cx, int cy, int r, int colour, int pattern) {
    if (!drawable(b) || r < 0 || box_outside_clip(b, cx, cy, r) || clip_inside_ring(b, cx, cy, r)) return;
    int d = 1 - r, x = r, y = 0;
    while (y <= x) {
        circle_point(b, cx + x, cy + y, colour, pattern);
        circle_point(b, cx - x, cy + y, colour, pattern);
        circle_point(b, cx + x, cy - y, colour, pattern);
        circle_point(b, cx - x, cy - y, colour, pattern);
        circle_point(b, cx + y, cy + x, colour, pattern);
        circle_point(b, cx - y, cy + x, colour, pattern);
        circle_point(b, cx + y, cy - x, colour, pattern);
        circle_point(b, cx - y, cy - x, colour, pattern);
        if (d < 0) {
            d += 2 * y + 3;
        } else {
            d += 2 * (y - x) + 5;
            x--;
        }
        y++;
    }
}

void draw_fillcircle(cbitmap *b, int cx, int cy, int r, int colour, int pattern) {
    if (!drawable(b) || r < 0 || box_outside_clip(b, cx, cy, r)) return;
    int d = 1 - r, x = r, y = 0;
    while (y <= x) {
        draw_hline(b, cx - x, cx + x, cy + y, colour, pattern);
        draw_hline(b, cx - x, cx + x, cy - y, colour, pattern);
        if (d >= 0) {
            draw_hline(b, cx - y, cx + y, cy + x, colour, pattern);
            draw_hline(b, cx - y, cx + y, cy - x, colour, pattern);
        }
        if (d < 0) {
            d += 2 * y + 3;
        } else {
            d += 2 * (y - x) + 5;
            x--;
        }
        y++;
    }
}

void draw_fillcircle_even(cbitmap *b, int cx, int cy, int r, int colour) {
    if (!drawable(b) || r < 0 || box_outside_clip(b, cx, cy, int64_t(r) + 1)) return;
    int d = 1 - r, x = r, y = 0;
    while (y <= x) {
        tamu_hline(b, cx - x, cx + x + 1, cy + y + 1, uint32_t(colour));
        tamu_hline(b, cx - x, cx + x + 1, cy - y, uint32_t(colour));
        if (d >= 0) {
            tamu_hline(b, cx - y, cx + y + 1, cy + x + 1, uint32_t(colour));
            tamu_hline(b, cx - y, cx + y + 1, cy - x, uint32_t(colour));
        }
        if (d < 0) {
            d += 2 * y + 3;
        } else {
            d += 2 * (y - x) + 5;
            x--;
        }
        y++;
    }
}

void draw_tinted_rect_adaptive(cbitmap *b, int x0, int y0, int x1, int y1, const uint8_t table[16]) {
    if (!drawable(b) || !table) return;
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    int from_x = std::max(x0, b->clip_x0), to_x = std::min<int64_t>(x1, int64_t(b->clip_x1) - 1);
    int from_y = std::max(y0, b->clip_y0), to_y = std::min<int64_t>(y1, int64_t(b->clip_y1) - 1);
    for (int y = from_y; y <= to_y; y++) {
        uint8_t *row = b->rows[y];
        for (int x = from_x; x <= to_x; x++) row[x] = table[row[x] & 15];
    }
}

// ---------------------------------------------------------------------------
// Sprites

void zorva_blit(const cbitmap *sheet, cbitmap *temp, int sx, int sy, int dx, int dy, int w, int h, bool flip_x,
                bool flip_y, const int32_t palette[16]) {
    if (!drawable(sheet) || !drawable(temp) || !palette) return;
    // The part of the w x h rectangle that lands inside temp.
    int64_t i0, i1, j0, j1;
    span_inside(dx, w, 0, temp->width, i0, i1);
    span_inside(dy, h, 0, temp->height, j0, j1);
    for (int64_t j = j0; j < j1; j++) {
        uint8_t *d = temp->rows[dy + j] + dx;
        int64_t row = flip_y ? int64_t(sy) + h - 1 - j : int64_t(sy) + j;
        if (row < 0 || row >= sheet->height) {
            std::memset(d + i0, ZORVA_PALETTE_TRANSPARENT, size_t(i1 - i0));
            continue;
        }
        const uint8_t *s = sheet->rows[row];
        for (int64_t i = i0; i < i1; i++) {
            int64_t col = flip_x ? int64_t(sx) + w - 1 - i : int64_t(sx) + i;
            d[i] = col < 0 || col >= sheet->width ? uint8_t(ZORVA_PALETTE_TRANSPARENT)
                                                  : uint8_t(palette[s[col] & 15]);
        }
    }
}

void zorva_draw_sprite(const cbitmap *temp, cbitmap *screen, int sx, int sy, int dx, int dy, int w, int h) {
    if (!drawable(temp) || !drawable(screen)) return;
    tamu_clip(temp, screen, sx, sy, dx, dy, w, h);
    if (w < 1 || h < 1) return;
    for (int j = 0; j < h; j++) {
        const uint8_t *s = temp->rows[sy + j] + sx;
        uint8_t *d = screen->rows[dy + j] + dx;
        for (int i = 0; i < w; i++)
            if (s[i] < 16) d[i] = s[i];
    }
}

void zorva_stretch_blit(const cbitmap *temp, cbitmap *screen, int dx_, int dy_, int dw_, int dh_) {
    if (!drawable(temp) || !drawable(screen) || dw_ < 1 || dh_ < 1) return;
    if (dw_ == temp->width && dh_ == temp->height) {
        zorva_draw_sprite(temp, screen, 0, 0, dx_, dy_, dw_, dh_);
        return;
    }
    int64_t xstep = (int64_t(temp->width) << 16) / dw_;
    int64_t ystep = (int64_t(temp->height) << 16) / dh_;
    int64_t ax = xstep / 2, ay = ystep / 2;
    int64_t dx = dx_, dy = dy_, dw = dw_, dh = dh_;
    // Rows and columns cut away by the clip are skipped by their steps.
    if (dy < screen->clip_y0) {
        dh += dy - screen->clip_y0;
        ay += (screen->clip_y0 - dy) * ystep;
        dy = screen->clip_y0;
    }
    if (dx < screen->clip_x0) {
        dw += dx - screen->clip_x0;
        ax += (screen->clip_x0 - dx) * xstep;
        dx = screen->clip_x0;
    }
    dw = std::min<int64_t>(dw, screen->clip_x1 - dx);
    dh = std::min<int64_t>(dh, screen->clip_y1 - dy);
    if (dw < 1 || dh < 1) return;
    // Every position visited stays below the source size: the last one is
    // half a step short of n steps of size / n.
    for (int64_t j = 0; j < dh; j++, ay += ystep) {
        const uint8_t *s = temp->rows[ay >> 16];
        uint8_t *d = screen->rows[dy + j] + dx;
        int64_t x = ax;
        for (int64_t i = 0; i < dw; i++, x += xstep) {
            uint8_t p = s[x >> 16];
            if (p < 16) d[i] = p;
        }
    }
}

void zorva_draw_sprite_pal(const cbitmap *sheet, cbitmap *screen, int sx, int sy, int dx, int dy, int w, int h,
                           const int32_t palette[16], bool flip_x, bool flip_y) {
    if (!drawable(sheet) || !drawable(screen) || !palette || w < 1 || h < 1) return;
    // Destination offsets inside the clip whose source lies in the sheet:
    // all of them for most sprites.
    int64_t i0 = 0, i1 = w, j0 = 0, j1 = h;
    if (!(dx >= screen->clip_x0 && dy >= screen->clip_y0 && int64_t(dx) + w <= screen->clip_x1 &&
          int64_t(dy) + h <= screen->clip_y1 && sx >= 0 && sy >= 0 && int64_t(sx) + w <= sheet->width &&
          int64_t(sy) + h <= sheet->height)) {
        span_inside(dx, w, screen->clip_x0, screen->clip_x1, i0, i1);
        span_inside(dy, h, screen->clip_y0, screen->clip_y1, j0, j1);
        span_in_source(sx, w, flip_x, sheet->width, i0, i1);
        span_in_source(sy, h, flip_y, sheet->height, j0, j1);
        if (i0 >= i1 || j0 >= j1) return;
    }
    bool plain = plain_palette(palette);
    uint8_t lut[16];
    if (!plain) sprite_lut(palette, lut);
    int64_t n = i1 - i0;
    for (int64_t j = j0; j < j1; j++) {
        const uint8_t *s = sheet->rows[flip_y ? int64_t(sy) + h - 1 - j : int64_t(sy) + j];
        uint8_t *d = screen->rows[dy + j] + dx + i0;
        // The first source pixel; flipped rows are read leftwards from it.
        const uint8_t *from = s + (flip_x ? int64_t(sx) + w - 1 - i0 : int64_t(sx) + i0);
        if (plain && flip_x)
            plain_sprite_row<true>(d, from, n);
        else if (plain)
            plain_sprite_row<false>(d, from, n);
        else
            sprite_row(d, from, n, flip_x, lut);
    }
}

void zorva_draw_sprite_h(const cbitmap *src, cbitmap *dst, int sx, int sy, int dx, int dy, int w, int h,
                         const int32_t palette[16]) {
    if (!drawable(src) || !drawable(dst) || !palette || w < 1 || h < 1) return;
    int64_t i0, i1, j0, j1;
    span_inside(dx, w, dst->clip_x0, dst->clip_x1, i0, i1);
    span_inside(dy, h, dst->clip_y0, dst->clip_y1, j0, j1);
    span_in_source(sx, w, true, src->width, i0, i1);
    span_in_source(sy, h, false, src->height, j0, j1);
    for (int64_t j = j0; j < j1; j++) {
        const uint8_t *s = src->rows[sy + j];
        uint8_t *d = dst->rows[dy + j] + dx;
        for (int64_t i = i0; i < i1; i++) {
            uint8_t p = s[int64_t(sx) + w - 1 - i];
            if (p) d[i] = uint8_t(palette[p & 15]);
        }
    }
}

// ---------------------------------------------------------------------------
// Other operations

int count_pixels(int x, int y, int w, int h) {
    const cbitmap *s = pstate.screen;
    if (!s) return 0;
    int64_t X = x, Y = y, W = w, H = h;
    if (W < 0) {
        X += W;
        W = -W;
    }
    if (H < 0) {
        Y += H;
        H = -H;
    }
    int64_t vw = std::min<int64_t>(X + W, s->clip_x1) - std::max<int64_t>(X, s->clip_x0);
    int64_t vh = std::min<int64_t>(Y + H, s->clip_y1) - std::max<int64_t>(Y, s->clip_y0);
    return vw > 0 && vh > 0 ? int(vw * vh) : 0;
}

void remap_bmp_palette(cbitmap *bitmap, const int32_t table[16]) {
    if (!drawable(bitmap) || !table) return;
    uint8_t lut[16];
    for (int i = 0; i < 16; i++) lut[i] = uint8_t(table[i] & 15);
    for (int y = 0; y < bitmap->height; y++) {
        uint8_t *row = bitmap->rows[y];
        for (int x = 0; x < bitmap->width; x++) row[x] = lut[row[x] & 15];
    }
}
