// Bitmaps, palettes, clip rectangles and the copies between bitmaps.
#include "tamu.h"

#include <algorithm>
#include <climits>
#include <cstring>

cpalette *tamu_palette = nullptr;
cpalette *tamu_black_palette = nullptr;
cbitmap *tamu_back_page = nullptr;

static cbitmap screen_record = {};
cbitmap *const tamu_screen = &screen_record;

void (*tamu_present_hook)(cbitmap *src, cbitmap *screen, int sx, int sy, int dx, int dy) = nullptr;

namespace {

struct saved_clip {
    int x0, x1, y0, y1;
};
saved_clip clip_slot = {0, 0, 0, 0};

// A bitmap whose pixels can be read or written (the screen has none).
bool has_pixels(const cbitmap *b) { return b && b != tamu_screen && b->rows; }

int saturate(int64_t v) { return int(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

uint32_t *row32(const cbitmap *b, int y) { return reinterpret_cast<uint32_t *>(b->rows[y]); }

// The 32-bit colours of the palette's 256 entries with the given alpha;
// a null palette is the grey ramp.
void colour_table(const cpalette *palette, uint32_t alpha, uint32_t table[256]) {
    for (int i = 0; i < 256; i++) {
        uint32_t r = i, g = i, b = i;
        if (palette) {
            r = palette->rgb[3 * i];
            g = palette->rgb[3 * i + 1];
            b = palette->rgb[3 * i + 2];
        }
        table[i] = alpha | r << 16 | g << 8 | b;
    }
}

constexpr uint64_t LOW7 = 0x7F7F7F7F7F7F7F7Full;
constexpr uint64_t HIGH = 0x8080808080808080ull;

// Copies the non-zero bytes of s over d, eight at a time.
inline void transparent_row8(uint8_t *d, const uint8_t *s, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t sv, dv;
        std::memcpy(&sv, s + i, 8);
        std::memcpy(&dv, d + i, 8);
        uint64_t nonzero = (((sv & LOW7) + LOW7) | sv) & HIGH;
        uint64_t mask = (nonzero >> 7) * 0xFF;
        dv = sv | (dv & ~mask);
        std::memcpy(d + i, &dv, 8);
    }
    for (; i < n; i++)
        if (s[i]) d[i] = s[i];
}

inline uint32_t blend_over(uint32_t d, uint32_t s) {
    uint32_t a = s >> 24;
    if (a == 0) return d;
    if (a == 255) return (d & 0xFF000000) | (s & 0xFFFFFF);
    return (d & 0xFF000000) | tamu_blend32(d, s, int(a));
}

inline void transparent_row32(uint32_t *d, const uint32_t *s, int n) {
    for (int i = 0; i < n; i++) d[i] = blend_over(d[i], s[i]);
}

void present(cbitmap *src, int sx, int sy, int dx, int dy) {
    if (tamu_present_hook) tamu_present_hook(src, tamu_screen, sx, sy, dx, dy);
}

int64_t squared_distance(const uint8_t *entry, int64_t r, int64_t g, int64_t b) {
    int64_t dr = r - entry[0], dg = g - entry[1], db = b - entry[2];
    return dr * dr + dg * dg + db * db;
}

// Conversion's colour rule: the first entry closer than 192 (squared),
// else the nearest, the earliest on ties.
int conversion_index(const cpalette *palette, int r, int g, int b) {
    int best = 0;
    int64_t best_distance = INT64_MAX;
    for (int i = 0; i < 256; i++) {
        int64_t d = squared_distance(palette->rgb + 3 * i, r, g, b);
        if (d < 192) return i;
        if (d < best_distance) {
            best = i;
            best_distance = d;
        }
    }
    return best;
}

bool inside_clip(const cbitmap *b, int x, int y) {
    return x >= b->clip_x0 && x < b->clip_x1 && y >= b->clip_y0 && y < b->clip_y1;
}

}  // namespace

void tamu_set_screen_bitmap(int width, int height, int bpp) {
    screen_record.width = std::max(width, 0);
    screen_record.height = std::max(height, 0);
    screen_record.bpp = bpp;
    screen_record.pixels = nullptr;
    screen_record.rows = nullptr;
    tamu_reset_clip(tamu_screen);
}

cbitmap *tamu_create_bitmap(int w, int h, int bpp) {
    if (w < 1 || h < 1 || (bpp != 8 && bpp != 32)) return nullptr;
    if (w > TAMU_BITMAP_MAX_SIDE || h > TAMU_BITMAP_MAX_SIDE) return nullptr;
    int64_t stride = int64_t(w) * (bpp / 8);
    int64_t bytes = stride * h;
    if (bytes > TAMU_BITMAP_MAX_BYTES) return nullptr;

    // The record and its row table share one block.
    auto *b = static_cast<cbitmap *>(tamu_malloc(int(sizeof(cbitmap) + sizeof(uint8_t *) * h)));
    b->width = w;
    b->height = h;
    b->bpp = bpp;
    b->pixels = static_cast<uint8_t *>(tamu_malloc(int(bytes)));
    std::memset(b->pixels, 0, size_t(bytes));
    b->rows = reinterpret_cast<uint8_t **>(b + 1);
    for (int y = 0; y < h; y++) b->rows[y] = b->pixels + stride * y;
    tamu_reset_clip(b);
    tamu_items_created++;
    return b;
}

void tamu_destroy_bitmap(cbitmap *bitmap) {
    if (!bitmap || bitmap == tamu_screen) return;
    tamu_free(bitmap->pixels);
    tamu_free(bitmap);
    tamu_items_created--;
}

void tamu_clear_bitmap(cbitmap *bitmap) {
    if (!has_pixels(bitmap)) return;
    size_t n = size_t(bitmap->width) * (bitmap->bpp / 8);
    int last = bitmap->height - 1;
    if (bitmap->rows[last] == bitmap->rows[0] + n * last) {
        std::memset(bitmap->rows[0], 0, n * bitmap->height);   // rows stored one after another
        return;
    }
    for (int y = 0; y <= last; y++) std::memset(bitmap->rows[y], 0, n);
}

cpalette *tamu_create_palette() {
    auto *p = static_cast<cpalette *>(tamu_malloc(sizeof(cpalette)));
    std::memset(p, 0, sizeof(cpalette));
    tamu_items_created++;
    return p;
}

void tamu_destroy_palette(cpalette *palette) {
    if (!palette) return;
    tamu_free(palette);
    tamu_items_created--;
}

void tamu_set_palette(const cpalette *palette) {
    if (!palette || !tamu_palette || palette == tamu_palette) return;
    std::memcpy(tamu_palette->rgb, palette->rgb, sizeof tamu_palette->rgb);
}

void tamu_reset_clip(cbitmap *bitmap) {
    if (!bitmap) return;
    bitmap->clip_x0 = 0;
    bitmap->clip_x1 = bitmap->width;
    bitmap->clip_y0 = 0;
    bitmap->clip_y1 = bitmap->height;
}

void tamu_set_clip(cbitmap *bitmap, int x0, int y0, int x1, int y1) {
    if (!bitmap) return;
    bitmap->clip_x0 = std::max(x0, 0);
    bitmap->clip_y0 = std::max(y0, 0);
    bitmap->clip_x1 = std::min(x1, bitmap->width);
    bitmap->clip_y1 = std::min(y1, bitmap->height);
}

void tamu_save_clip(cbitmap *bitmap) {
    if (!bitmap) return;
    clip_slot = {bitmap->clip_x0, bitmap->clip_x1, bitmap->clip_y0, bitmap->clip_y1};
}

void tamu_restore_clip(cbitmap *bitmap) {
    // Held inside the bitmap, as the slot may have been saved from a larger one.
    tamu_set_clip(bitmap, clip_slot.x0, clip_slot.y0, clip_slot.x1, clip_slot.y1);
}

void tamu_clip(const cbitmap *src, const cbitmap *dst, int &sx_, int &sy_, int &dx_, int &dy_, int &w_,
               int &h_) {
    // The common case, a rectangle inside both, needs no change. Each test
    // subtracts only values that cannot wrap.
    if (sx_ >= 0 && sy_ >= 0 && w_ >= 1 && h_ >= 1 && sx_ < src->width && sy_ < src->height &&
        w_ <= src->width - sx_ && h_ <= src->height - sy_ && dx_ >= dst->clip_x0 && dy_ >= dst->clip_y0 &&
        dx_ < dst->clip_x1 && dy_ < dst->clip_y1 && w_ <= dst->clip_x1 - dx_ && h_ <= dst->clip_y1 - dy_)
        return;
    // Otherwise worked in 64 bits so that no sum of large arguments wraps.
    int64_t sx = sx_, sy = sy_, dx = dx_, dy = dy_, w = w_, h = h_;
    if (sx >= src->width || sy >= src->height || dx >= dst->clip_x1 || dy >= dst->clip_y1) {
        h_ = 0;
        return;
    }
    if (sx < 0) {
        w += sx;
        dx -= sx;
        sx = 0;
    }
    if (sy < 0) {
        h += sy;
        dy -= sy;
        sy = 0;
    }
    if (sx + w > src->width) w = src->width - sx;
    if (sy + h > src->height) h = src->height - sy;
    if (dx < dst->clip_x0) {
        int64_t d = dx - dst->clip_x0;
        w += d;
        sx -= d;
        dx = dst->clip_x0;
    }
    if (dy < dst->clip_y0) {
        int64_t d = dy - dst->clip_y0;
        h += d;
        sy -= d;
        dy = dst->clip_y0;
    }
    if (dx + w > dst->clip_x1) w = dst->clip_x1 - dx;
    if (dy + h > dst->clip_y1) h = dst->clip_y1 - dy;
    sx_ = saturate(sx);
    sy_ = saturate(sy);
    dx_ = saturate(dx);
    dy_ = saturate(dy);
    w_ = saturate(w);
    h_ = saturate(h);
}

void tamu_blit(cbitmap *src, cbitmap *dst, int sx, int sy, int dx, int dy, int w, int h) {
    if (!has_pixels(src) || !dst || dst->bpp < src->bpp) return;
    tamu_clip(src, dst, sx, sy, dx, dy, w, h);
    if (w < 1 || h < 1) return;
    if (dst == tamu_screen) {
        present(src, sx, sy, dx, dy);
        return;
    }
    if (!has_pixels(dst)) return;
    if (src->bpp == dst->bpp) {
        size_t n = size_t(w) * (src->bpp / 8);
        size_t so = size_t(sx) * (src->bpp / 8), doff = size_t(dx) * (dst->bpp / 8);
        if (src == dst && dy > sy) {
            // Overlapping copy downwards: bottom row first.
            for (int i = h - 1; i >= 0; i--) std::memmove(dst->rows[dy + i] + doff, src->rows[sy + i] + so, n);
        } else {
            for (int i = 0; i < h; i++) std::memmove(dst->rows[dy + i] + doff, src->rows[sy + i] + so, n);
        }
    } else if (src->bpp == 8 && dst->bpp == 32) {
        uint32_t table[256];
        colour_table(tamu_palette, 0xFF000000, table);
        for (int i = 0; i < h; i++) {
            const uint8_t *s = src->rows[sy + i] + sx;
            uint32_t *d = row32(dst, dy + i) + dx;
            for (int x = 0; x < w; x++) d[x] = table[s[x]];
        }
    }
}

void tamu_draw_sprite(cbitmap *src, cbitmap *dst, int sx, int sy, int dx, int dy, int w, int h) {
    if (!has_pixels(src) || !dst || src->bpp != dst->bpp) return;
    tamu_clip(src, dst, sx, sy, dx, dy, w, h);
    if (w < 1 || h < 1) return;
    if (dst == tamu_screen) {
        present(src, sx, sy, dx, dy);
        return;
    }
    if (!has_pixels(dst)) return;
    if (src->bpp == 8) {
        for (int i = 0; i < h; i++) transparent_row8(dst->rows[dy + i] + dx, src->rows[sy + i] + sx, w);
    } else if (src->bpp == 32) {
        for (int i = 0; i < h; i++) transparent_row32(row32(dst, dy + i) + dx, row32(src, sy + i) + sx, w);
    }
}

void tamu_draw_sprite_col(cbitmap *src, cbitmap *dst, int sx, int sy, int dx, int dy, int w, int h,
                          uint32_t colour, int flags) {
    if (!has_pixels(src) || !has_pixels(dst)) return;
    tamu_clip(src, dst, sx, sy, dx, dy, w, h);
    if (w < 1 || h < 1) return;
    // The rectangle is taken from the mirrored source; reflecting it keeps
    // it inside the source, so no second clip is needed.
    bool mirror = flags & 1;
    if (mirror) sx = src->width - sx - w;
    for (int i = 0; i < h; i++) {
        const uint8_t *s = src->rows[sy + i] + sx;
        if (dst->bpp == 8) {
            uint8_t *d = dst->rows[dy + i] + dx;
            uint8_t c = uint8_t(colour);
            if (mirror) {
                for (int x = 0; x < w; x++)
                    if (s[x]) d[w - 1 - x] = c;
            } else {
                for (int x = 0; x < w; x++)
                    if (s[x]) d[x] = c;
            }
        } else if (dst->bpp == 32) {
            uint32_t *d = row32(dst, dy + i) + dx;
            if (mirror) {
                for (int x = 0; x < w; x++)
                    if (s[x]) d[w - 1 - x] = colour;
            } else {
                for (int x = 0; x < w; x++)
                    if (s[x]) d[x] = colour;
            }
        }
    }
}

void tamu_draw_sprite_pal(cbitmap *src, cbitmap *dst, int sx, int sy, int dx, int dy, int w, int h,
                          const uint8_t *table) {
    if (!has_pixels(src) || !has_pixels(dst) || !table || src->bpp != 8 || dst->bpp != 8) return;
    tamu_clip(src, dst, sx, sy, dx, dy, w, h);
    if (w < 1 || h < 1) return;
    for (int i = 0; i < h; i++) {
        const uint8_t *s = src->rows[sy + i] + sx;
        uint8_t *d = dst->rows[dy + i] + dx;
        for (int x = 0; x < w; x++)
            if (s[x]) d[x] = table[s[x]];
    }
}

void tamu_draw_sprite_shadow(cbitmap *src, cbitmap *dst, int sx, int sy, int dx, int dy, int w, int h,
                             const uint8_t *table) {
    if (!has_pixels(src) || !has_pixels(dst) || !table || src->bpp != 8 || dst->bpp != 8) return;
    tamu_clip(src, dst, sx, sy, dx, dy, w, h);
    if (w < 1 || h < 1) return;
    for (int i = 0; i < h; i++) {
        const uint8_t *s = src->rows[sy + i] + sx;
        uint8_t *d = dst->rows[dy + i] + dx;
        for (int x = 0; x < w; x++)
            if (s[x]) d[x] = table[d[x]];
    }
}

void tamu_draw_sprite_h(cbitmap *src, cbitmap *dst, int sx, int sy, int dx, int dy, int w, int h) {
    if (!has_pixels(src) || !has_pixels(dst) || src->bpp != 8 || dst->bpp != 8) return;
    tamu_clip(src, dst, sx, sy, dx, dy, w, h);
    if (w < 1 || h < 1) return;
    sx = src->width - sx - w;
    for (int i = 0; i < h; i++) {
        const uint8_t *s = src->rows[sy + i] + sx;
        uint8_t *d = dst->rows[dy + i] + dx;
        for (int x = 0; x < w; x++)
            if (s[x]) d[w - 1 - x] = s[x];
    }
}

uint32_t tamu_blend32(uint32_t d, uint32_t s, int a) {
    if (a <= 0) return d & 0xFFFFFF;
    if (a >= 255) return s & 0xFFFFFF;
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
        out |= ((sc * a + dc * (255 - a)) / 255) << shift;
    }
    return out;
}

void tamu_stretch_blit(cbitmap *src, cbitmap *dst, int dx_, int dy_, int dw_, int dh_, int flags) {
    if (!src || !dst || dw_ == 0 || dh_ == 0 || !has_pixels(src)) return;
    if (dw_ == src->width && dh_ == src->height) {
        if (flags & 1)
            tamu_draw_sprite(src, dst, 0, 0, dx_, dy_, dw_, dh_);
        else
            tamu_blit(src, dst, 0, 0, dx_, dy_, dw_, dh_);
        return;
    }
    if (src->bpp != dst->bpp || !has_pixels(dst)) return;

    int64_t xstep = (int64_t(src->width) << 16) / dw_;
    int64_t ystep = (int64_t(src->height) << 16) / dh_;
    int64_t ax = xstep / 2, ay = ystep / 2;
    int64_t dx = dx_, dy = dy_, dw = dw_, dh = dh_;
    if (dy < dst->clip_y0) {
        dh += dy - dst->clip_y0;
        ay += (dst->clip_y0 - dy) * ystep;
        dy = dst->clip_y0;
    }
    if (dx < dst->clip_x0) {
        dw += dx - dst->clip_x0;
        ax += (dst->clip_x0 - dx) * xstep;
        dx = dst->clip_x0;
    }
    dw = std::min<int64_t>(dw, dst->clip_x1 - dx);
    dh = std::min<int64_t>(dh, dst->clip_y1 - dy);
    if (dw < 1 || dh < 1) return;

    // Every visited position stays below the source size: the last one is
    // (n - 1/2) steps of at most size / n.
    bool transparent = flags & 1;
    for (int64_t j = 0; j < dh; j++, ay += ystep) {
        int sy = int(ay >> 16);
        int64_t x = ax;
        if (src->bpp == 8) {
            const uint8_t *s = src->rows[sy];
            uint8_t *d = dst->rows[dy + j] + dx;
            if (transparent) {
                for (int64_t i = 0; i < dw; i++, x += xstep) {
                    uint8_t p = s[x >> 16];
                    if (p) d[i] = p;
                }
            } else {
                for (int64_t i = 0; i < dw; i++, x += xstep) d[i] = s[x >> 16];
            }
        } else {
            const uint32_t *s = row32(src, sy);
            uint32_t *d = row32(dst, int(dy + j)) + dx;
            if (transparent) {
                for (int64_t i = 0; i < dw; i++, x += xstep) d[i] = blend_over(d[i], s[x >> 16]);
            } else {
                for (int64_t i = 0; i < dw; i++, x += xstep) d[i] = s[x >> 16];
            }
        }
    }
}

void tamu_convert_bitmap(cbitmap *src, cbitmap *dst, const cpalette *palette) {
    if (!has_pixels(src) || !dst || src->width != dst->width || src->height != dst->height) return;
    if (src->bpp == dst->bpp) {
        tamu_blit(src, dst, 0, 0, 0, 0, src->width, src->height);
        return;
    }
    if (!palette || !has_pixels(dst)) return;
    int x0 = dst->clip_x0, x1 = dst->clip_x1;
    if (src->bpp == 8 && dst->bpp == 32) {
        uint32_t table[256];
        colour_table(palette, 0xFF000000, table);
        table[0] &= 0xFFFFFF;
        for (int y = dst->clip_y0; y < dst->clip_y1; y++) {
            const uint8_t *s = src->rows[y];
            uint32_t *d = row32(dst, y);
            for (int x = x0; x < x1; x++) d[x] = table[s[x]];
        }
    } else if (src->bpp == 32 && dst->bpp == 8) {
        // Only positions inside the destination's clip are written; outside
        // the source's clip the colour read is black.
        uint32_t last_colour = 0;
        int last_index = conversion_index(palette, 0, 0, 0);
        for (int y = dst->clip_y0; y < dst->clip_y1; y++) {
            const uint32_t *s = row32(src, y);
            uint8_t *d = dst->rows[y];
            for (int x = x0; x < x1; x++) {
                uint32_t c = inside_clip(src, x, y) ? s[x] & 0xFFFFFF : 0;
                if (c != last_colour) {
                    last_colour = c;
                    last_index = conversion_index(palette, int(c >> 16), int(c >> 8 & 0xFF), int(c & 0xFF));
                }
                d[x] = uint8_t(last_index);
            }
        }
    }
}

int tamu_find_colour(int r, int g, int b, const cpalette *palette) {
    if (!palette) return 1;
    int best = 1;
    int64_t best_distance = 10000000;
    for (int i = 0; i < 256; i++) {
        int64_t d = squared_distance(palette->rgb + 3 * i, r, g, b);
        if (d == 0) return i;
        if (d < best_distance) {
            best = i;
            best_distance = d;
        }
    }
    return best;
}

void tamu_fade_palette_moment(const cpalette *a, const cpalette *b, int t) {
    if (!a || !b) return;
    t = std::clamp(t, 0, 256);
    cpalette mix;
    for (int i = 0; i < 768; i++) mix.rgb[i] = uint8_t((b->rgb[i] * t >> 8) + (a->rgb[i] * (256 - t) >> 8));
    tamu_set_palette(&mix);
}

void tamu_draw_texture() {}
