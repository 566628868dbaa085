// Single-colour drawing onto bitmaps: pixels, runs, lines and rectangles.
#include "tamu.h"

#include <algorithm>
#include <cstring>

namespace {

bool drawable(const cbitmap *b) {
    return b && b != tamu_screen && b->rows && (b->bpp == 8 || b->bpp == 32);
}

bool inside(const cbitmap *b, int64_t x, int64_t y) {
    return x >= b->clip_x0 && x < b->clip_x1 && y >= b->clip_y0 && y < b->clip_y1;
}

inline void plot(cbitmap *b, int x, int y, uint32_t colour) {
    if (b->bpp == 8)
        b->rows[y][x] = uint8_t(colour);
    else
        reinterpret_cast<uint32_t *>(b->rows[y])[x] = colour;
}

// n 32-bit words of colour: single words up to a 16-byte boundary, then
// the aligned middle sixteen bytes at a time. A long fill writes only its
// first words so and copies them forward in doubling blocks, which lets
// the C library's block copy use the widest stores the processor has.
void fill32(uint32_t *p, int64_t n, uint32_t colour) {
    typedef uint32_t quad __attribute__((vector_size(16)));
    constexpr int64_t SEED = 64;
    uint32_t *start = p;
    int64_t total = n;
    for (; n > 0 && (reinterpret_cast<uintptr_t>(p) & 15); n--) *p++ = colour;
    const quad q = {colour, colour, colour, colour};
    if (total >= 4 * SEED) n = std::min(n, SEED);
    for (; n >= 8; n -= 8, p += 8) {
        std::memcpy(p, &q, 16);
        std::memcpy(p + 4, &q, 16);
    }
    for (; n > 0; n--) *p++ = colour;
    for (int64_t done = p - start; done < total;) {
        int64_t count = std::min(done, total - done);
        std::memcpy(start + done, start, size_t(count) * 4);
        done += count;
    }
}

// Columns x0..x1 (inclusive, already inside the bitmap) of row y.
inline void run(cbitmap *b, int y, int64_t x0, int64_t x1, uint32_t colour) {
    if (x1 < x0) return;
    if (b->bpp == 8)
        std::memset(b->rows[y] + x0, uint8_t(colour), size_t(x1 - x0 + 1));
    else
        fill32(reinterpret_cast<uint32_t *>(b->rows[y]) + x0, x1 - x0 + 1, colour);
}


struct line_steps {
    int64_t n, x, y, sx, sy;
};

// Coordinates in 64 bits, so that no shift or difference wraps.
line_steps line_start(int xa, int ya, int xb, int yb) {
    int64_t dx = int64_t(xb) - xa, dy = int64_t(yb) - ya;
    int64_t n = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
    line_steps s;
    s.n = n;
    s.x = int64_t(xa) * 65536 + 0x8000;
    s.y = int64_t(ya) * 65536 + 0x8000;
    s.sx = n ? dx * 65536 / n : 0;
    s.sy = n ? dy * 65536 / n : 0;
    return s;
}

void step_tested(cbitmap *b, line_steps s, int64_t from, int64_t to, uint32_t colour) {
    int64_t x = s.x + from * s.sx, y = s.y + from * s.sy;
    for (int64_t k = from; k <= to; k++, x += s.sx, y += s.sy)
        if (inside(b, x >> 16, y >> 16)) plot(b, int(x >> 16), int(y >> 16), colour);
}

int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    if (a % b != 0 && ((a < 0) != (b < 0))) q--;
    return q;
}

int64_t ceil_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    if (a % b != 0 && ((a < 0) == (b < 0))) q++;
    return q;
}

}  // namespace

void tamu_narrow_line_steps(int64_t p0, int64_t step, int64_t c0, int64_t c1, int64_t &lo, int64_t &hi) {
    int64_t low = c0 * 65536 - p0, high = c1 * 65536 - 1 - p0;   // k * step in [low, high]
    if (step == 0) {
        if (low > 0 || high < 0) hi = lo - 1;
    } else if (step > 0) {
        lo = std::max(lo, ceil_div(low, step));
        hi = std::min(hi, floor_div(high, step));
    } else {
        lo = std::max(lo, ceil_div(high, step));
        hi = std::min(hi, floor_div(low, step));
    }
}

int code_point(const cbitmap *b, int x, int y) {
    if (!b) return 15;
    int code = 0;
    if (x < b->clip_x0) code |= 1;
    if (y < b->clip_y0) code |= 2;
    if (x >= b->clip_x1) code |= 4;
    if (y >= b->clip_y1) code |= 8;
    return code;
}

void tamu_putpixel(cbitmap *bitmap, int x, int y, uint32_t colour) {
    if (drawable(bitmap) && inside(bitmap, x, y)) plot(bitmap, x, y, colour);
}

void tamu_put_pixel(cbitmap *bitmap, int x, int y, uint32_t colour) { tamu_putpixel(bitmap, x, y, colour); }

uint32_t tamu_getpixel(const cbitmap *bitmap, int x, int y) {
    if (!drawable(bitmap) || !inside(bitmap, x, y)) return 0;
    if (bitmap->bpp == 8) return bitmap->rows[y][x];
    return reinterpret_cast<const uint32_t *>(bitmap->rows[y])[x];
}

void tamu_hline(cbitmap *bitmap, int xa, int xb, int y, uint32_t colour) {
    if (!drawable(bitmap) || y < bitmap->clip_y0 || y >= bitmap->clip_y1) return;
    if (xa > xb) std::swap(xa, xb);
    run(bitmap, y, std::max<int64_t>(xa, bitmap->clip_x0), std::min<int64_t>(xb, int64_t(bitmap->clip_x1) - 1),
        colour);
}

void tamu_vline(cbitmap *bitmap, int x, int ya, int yb, uint32_t colour) {
    if (!drawable(bitmap) || x < bitmap->clip_x0 || x >= bitmap->clip_x1) return;
    if (ya > yb) std::swap(ya, yb);
    int64_t y0 = std::max<int64_t>(ya, bitmap->clip_y0), y1 = std::min<int64_t>(yb, int64_t(bitmap->clip_y1) - 1);
    for (int64_t y = y0; y <= y1; y++) plot(bitmap, x, int(y), colour);
}

void tamu_rect(cbitmap *bitmap, int xa, int ya, int xb, int yb, uint32_t colour) {
    tamu_vline(bitmap, xa, ya, yb, colour);
    tamu_vline(bitmap, xb, ya, yb, colour);
    tamu_hline(bitmap, xa, xb, ya, colour);
    tamu_hline(bitmap, xa, xb, yb, colour);
}

void tamu_rectfill(cbitmap *bitmap, int xa, int ya, int xb, int yb, uint32_t colour) {
    if (!drawable(bitmap)) return;
    if (xa > xb) std::swap(xa, xb);
    if (ya > yb) std::swap(ya, yb);
    int64_t x0 = std::max<int64_t>(xa, bitmap->clip_x0), x1 = std::min<int64_t>(xb, int64_t(bitmap->clip_x1) - 1);
    int64_t y0 = std::max<int64_t>(ya, bitmap->clip_y0), y1 = std::min<int64_t>(yb, int64_t(bitmap->clip_y1) - 1);
    if (x1 < x0 || y1 < y0) return;
    int64_t stride = int64_t(bitmap->width) * (bitmap->bpp / 8);
    if (x0 == 0 && x1 == bitmap->width - 1 && bitmap->rows[y1] == bitmap->rows[y0] + stride * (y1 - y0)) {
        // Whole rows stored one after another: one fill for all of them.
        int64_t n = (y1 - y0 + 1) * bitmap->width;
        if (bitmap->bpp == 8)
            std::memset(bitmap->rows[y0], uint8_t(colour), size_t(n));
        else
            fill32(reinterpret_cast<uint32_t *>(bitmap->rows[y0]), n, colour);
        return;
    }
    for (int64_t y = y0; y <= y1; y++) run(bitmap, int(y), x0, x1, colour);
}

void tamu_rect_lit(cbitmap *bitmap, int xa, int ya, int xb, int yb, uint32_t colour, uint32_t light,
                   uint32_t dark) {
    if (xa > xb) std::swap(xa, xb);
    if (ya > yb) std::swap(ya, yb);
    tamu_rectfill(bitmap, xa, ya, xb, yb, colour);
    tamu_hline(bitmap, xa, xb, ya, light);
    tamu_vline(bitmap, xa, ya, yb, light);
    tamu_hline(bitmap, xa, xb, yb, dark);
    tamu_vline(bitmap, xb, ya, yb, dark);
}

void tamu_line_noclip(cbitmap *bitmap, int xa, int ya, int xb, int yb, uint32_t colour) {
    if (!drawable(bitmap)) return;
    line_steps s = line_start(xa, ya, xb, yb);
    step_tested(bitmap, s, 0, s.n, colour);
}

void tamu_line(cbitmap *bitmap, int xa, int ya, int xb, int yb, uint32_t colour) {
    if (!drawable(bitmap)) return;
    if (xa == xb) {
        tamu_vline(bitmap, xa, ya, yb, colour);
        return;
    }
    if (ya == yb) {
        tamu_hline(bitmap, xa, xb, ya, colour);
        return;
    }
    if (code_point(bitmap, xa, ya) & code_point(bitmap, xb, yb)) return;

    // Both coordinates move monotonically with the step, so the steps that
    // land inside the clip form one range; it is found by division rather
    // than by moving the end points, which would change the stepping.
    line_steps s = line_start(xa, ya, xb, yb);
    int64_t lo = 0, hi = s.n;
    tamu_narrow_line_steps(s.x, s.sx, bitmap->clip_x0, bitmap->clip_x1, lo, hi);
    tamu_narrow_line_steps(s.y, s.sy, bitmap->clip_y0, bitmap->clip_y1, lo, hi);
    if (lo > hi) return;
    int64_t x = s.x + lo * s.sx, y = s.y + lo * s.sy;
    int64_t xe = s.x + hi * s.sx, ye = s.y + hi * s.sy;
    if (!inside(bitmap, x >> 16, y >> 16) || !inside(bitmap, xe >> 16, ye >> 16)) {
        // Never expected; the tested stepping is the safe answer.
        step_tested(bitmap, s, lo, hi, colour);
        return;
    }
    if (bitmap->bpp == 8) {
        for (int64_t k = lo; k <= hi; k++, x += s.sx, y += s.sy) bitmap->rows[y >> 16][x >> 16] = uint8_t(colour);
    } else {
        for (int64_t k = lo; k <= hi; k++, x += s.sx, y += s.sy)
            reinterpret_cast<uint32_t *>(bitmap->rows[y >> 16])[x >> 16] = colour;
    }
}
