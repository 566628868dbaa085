// The cart's drawing functions: draw-state registers, primitives, sprites,
// the map, text, and the sprite sheet, map and sprite flags as carts read
// and write them.
#include "zorva_api_draw.h"

#include "lua.h"
#include "tamu.h"
#include "zorva_api.h"
#include "zorva_cart.h"
#include "zorva_cpu.h"
#include "zorva_draw.h"
#include "zorva_memory.h"
#include "zorva_state.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace {

zorva_draw_state &ds() { return pstate.draw_state; }

// Cart coordinates to screen coordinates.
int screen_x(int x) { return x - ds().camera_x; }
int screen_y(int y) { return y - ds().camera_y; }
int arg_x(lua_State *L, int i) { return screen_x(zv_arg_int(L, i)); }
int arg_y(lua_State *L, int i) { return screen_y(zv_arg_int(L, i)); }

// The drawing colour byte for the colour argument i: the pen colour when
// it is left out; a given colour becomes the pen colour.
int colour_arg(lua_State *L, int i) {
    if (lua_gettop(L) >= i) ds().pen_colour = zv_arg_int(L, i) & 255;
    return map_draw_colour(ds(), ds().pen_colour);
}

cbitmap *sheet() { return pstate.live_cart ? pstate.live_cart->gfx : nullptr; }
cbitmap *map_bitmap() { return pstate.live_cart ? pstate.live_cart->map : nullptr; }

// Rows (or columns) a ... b, both included, that lie in [c0, c1).
int64_t visible_span(int64_t a, int64_t b, int64_t c0, int64_t c1) {
    if (a > b) std::swap(a, b);
    return std::max<int64_t>(0, std::min(b + 1, c1) - std::max(a, c0));
}

bool in_range(int64_t v, int64_t c0, int64_t c1) { return v >= c0 && v < c1; }

// The temporary bitmap that sprites are copied into before they are
// stretched: up to 128 x 128, over storage kept for every call.
uint8_t temp_pixels[ZORVA_SCREEN_SIZE * ZORVA_SCREEN_SIZE];
uint8_t *temp_rows[ZORVA_SCREEN_SIZE];
cbitmap temp_record;

cbitmap *sprite_temp(int w, int h) {
    for (int y = 0; y < h; y++) temp_rows[y] = temp_pixels + y * w;
    temp_record = {w, h, 8, temp_pixels, temp_rows, 0, w, 0, h};
    return &temp_record;
}

int clamp_cost(int64_t cost) { return int(std::min<int64_t>(cost, INT_MAX)); }

}  // namespace

// ---------------------------------------------------------------------------
// Draw state

int zv_camera(lua_State *L) {
    int x = zv_arg_int(L, 1), y = zv_arg_int(L, 2);
    // Low byte, then high byte, so that the value is whole after the second.
    const int bytes[4] = {x & 255, (x >> 8) & 255, y & 255, (y >> 8) & 255};
    for (int i = 0; i < 4; i++) zorva_poke(&pstate, pstate.live_cart, ZORVA_ADDR_DRAW_STATE + 0x28 + i, bytes[i]);
    return 0;
}

int zv_clip(lua_State *L) {
    spend_cpu(16);
    if (lua_gettop(L) < 4) {
        set_clip_registers(ds(), pstate.screen, 0, 0, ZORVA_SCREEN_SIZE, ZORVA_SCREEN_SIZE);
        return 0;
    }
    int x = zv_arg_int(L, 1), y = zv_arg_int(L, 2), w = zv_arg_int(L, 3), h = zv_arg_int(L, 4);
    set_clip_registers(ds(), pstate.screen, x, y, x + w, y + h);
    return 0;
}

int zv_cls(lua_State *L) {
    spend_cpu(1024);
    // The screen holds colours 0-15 only; the colour is not mapped.
    int c = zv_arg_int(L, 1) & 15;
    ds().cursor_x = 0;
    ds().cursor_y = 0;
    set_clip_registers(ds(), pstate.screen, 0, 0, ZORVA_SCREEN_SIZE, ZORVA_SCREEN_SIZE);
    if (cbitmap *s = pstate.screen) {
        tamu_reset_clip(s);
        tamu_rectfill(s, 0, 0, s->width - 1, s->height - 1, uint32_t(c));
    }
    return 0;
}

int zv_color(lua_State *L) {
    ds().pen_colour = zv_arg_int(L, 1) & 255;
    return 0;
}

int zv_cursor(lua_State *L) {
    ds().cursor_x = zv_arg_int(L, 1);
    ds().cursor_y = zv_arg_int(L, 2);
    return 0;
}

int zv_pal(lua_State *L) {
    zorva_draw_state &d = ds();
    if (lua_gettop(L) < 2) {
        reset_draw_palettes(d);
        return 0;
    }
    int c0 = zv_arg_int(L, 1) & 15, c1 = zv_arg_int(L, 2) & 15;
    if (lua_gettop(L) >= 3 && zv_arg_int(L, 3) != 0)
        d.screen_palette[c0] = c1;
    else
        d.draw_palette[c0] = c1 | (d.draw_palette[c0] & ZORVA_PALETTE_TRANSPARENT);
    return 0;
}

int zv_palt(lua_State *L) {
    zorva_draw_state &d = ds();
    if (lua_gettop(L) < 2) {
        for (int i = 0; i < 16; i++) d.draw_palette[i] &= ~ZORVA_PALETTE_TRANSPARENT;
        d.draw_palette[0] |= ZORVA_PALETTE_TRANSPARENT;
        return 0;
    }
    int c = zv_arg_int(L, 1) & 15;
    d.draw_palette[c] = (d.draw_palette[c] & 15) + (lua_toboolean(L, 2) ? ZORVA_PALETTE_TRANSPARENT : 0);
    return 0;
}

int zv_fillp(lua_State *L) {
    zorva_fixed p = zv_arg(L, 1);
    ds().fill_pattern = ((p >> 16) & 0xFFFF) | (p & 0x8000 ? ZORVA_FILL_TRANSPARENT : 0);
    return 0;
}

// ---------------------------------------------------------------------------
// Primitives

int zv_pset(lua_State *L) {
    if (lua_gettop(L) < 2) return 0;
    int x = arg_x(L, 1), y = arg_y(L, 2);
    putpixel(pstate.screen, x, y, colour_arg(L, 3), ds().fill_pattern);
    return 0;
}

int zv_pget(lua_State *L) {
    if (lua_gettop(L) < 2) {
        zv_push_int(L, 0);
        return 1;
    }
    zv_push_int(L, int(tamu_getpixel(pstate.screen, arg_x(L, 1), arg_y(L, 2))));
    return 1;
}

int zv_line(lua_State *L) {
    int x0 = arg_x(L, 1), y0 = arg_y(L, 2), x1 = arg_x(L, 3), y1 = arg_y(L, 4);
    int colour = colour_arg(L, 5);
    int steps = draw_line(pstate.screen, x0, y0, x1, y1, colour, ds().fill_pattern);
    spend_cpu(steps / 2 + 1);
    return 0;
}

int zv_rect(lua_State *L) {
    int x0 = arg_x(L, 1), y0 = arg_y(L, 2), x1 = arg_x(L, 3), y1 = arg_y(L, 4);
    int colour = colour_arg(L, 5);
    cbitmap *s = pstate.screen;
    if (!s) return 0;
    int left = std::min(x0, x1), right = std::max(x0, x1), top = std::min(y0, y1), bottom = std::max(y0, y1);
    if (s->clip_x1 <= s->clip_x0 || s->clip_y1 <= s->clip_y0 || right < s->clip_x0 || left >= s->clip_x1 ||
        bottom < s->clip_y0 || top >= s->clip_y1)
        return 0;   // wholly outside the clip
    // Width and height once clamped into the clip; each edge inside the
    // clip is charged.
    int64_t W = std::clamp<int64_t>(right, s->clip_x0, s->clip_x1 - 1) - std::clamp<int64_t>(left, s->clip_x0, s->clip_x1 - 1);
    int64_t H = std::clamp<int64_t>(bottom, s->clip_y0, s->clip_y1 - 1) - std::clamp<int64_t>(top, s->clip_y0, s->clip_y1 - 1);
    int64_t cost = 0;
    if (in_range(top, s->clip_y0, s->clip_y1)) cost += (W + 3) / 4;
    if (in_range(bottom, s->clip_y0, s->clip_y1)) cost += (W + 3) / 4;
    if (in_range(left, s->clip_x0, s->clip_x1)) cost += std::max<int64_t>(0, (H - 1) / 2);
    if (in_range(right, s->clip_x0, s->clip_x1)) cost += std::max<int64_t>(0, (H - 1) / 2);
    spend_cpu(int(cost));
    int pattern = ds().fill_pattern;
    draw_hline(s, x0, x1, y0, colour, pattern);
    draw_hline(s, x0, x1, y1, colour, pattern);
    draw_vline(s, x0, y0, y1, colour, pattern);
    draw_vline(s, x1, y0, y1, colour, pattern);
    return 0;
}

int zv_rectfill(lua_State *L) {
    int x0 = arg_x(L, 1), y0 = arg_y(L, 2), x1 = arg_x(L, 3), y1 = arg_y(L, 4);
    int colour = colour_arg(L, 5);
    cbitmap *s = pstate.screen;
    if (!s) return 0;
    if (y0 > y1) std::swap(y0, y1);
    spend_cpu(int(visible_span(x0, x1, s->clip_x0, s->clip_x1) * visible_span(y0, y1, s->clip_y0, s->clip_y1) / 16));
    int from = std::max(y0, s->clip_y0), to = std::min(y1, s->clip_y1 - 1);
    int pattern = ds().fill_pattern;
    for (int y = from; y <= to; y++) draw_hline(s, x0, x1, y, colour, pattern);
    return 0;
}

namespace {

// The arguments of circ and circfill; false when nothing is drawn.
struct circle_args {
    int x, y, r, colour;
};

bool read_circle(lua_State *L, circle_args &c) {
    if (lua_gettop(L) < 2 || !pstate.screen) return false;
    c.x = arg_x(L, 1);
    c.y = arg_y(L, 2);
    c.r = lua_gettop(L) >= 3 ? zv_arg_int(L, 3) : 4;
    if (c.r < 0) return false;
    c.colour = colour_arg(L, 4);
    return true;
}

}  // namespace

int zv_circ(lua_State *L) {
    circle_args c;
    if (!read_circle(L, c)) return 0;
    const cbitmap *s = pstate.screen;
    int64_t cx = c.x, cy = c.y, r = c.r;
    int64_t rows = visible_span(cy - r, cy + r, s->clip_y0, s->clip_y1);
    if (rows == 0 || visible_span(cx - r, cx + r, s->clip_x0, s->clip_x1) == 0) return 0;
    spend_cpu(int(2 * rows + 2));
    draw_circle(pstate.screen, c.x, c.y, c.r, c.colour, ds().fill_pattern);
    return 0;
}

int zv_circfill(lua_State *L) {
    circle_args c;
    if (!read_circle(L, c)) return 0;
    const cbitmap *s = pstate.screen;
    int64_t cx = c.x, cy = c.y, r = c.r;
    int64_t area = visible_span(cx - r, cx + r, s->clip_x0, s->clip_x1) * visible_span(cy - r, cy + r, s->clip_y0, s->clip_y1);
    spend_cpu(clamp_cost(2 * r + area / 16));
    draw_fillcircle(pstate.screen, c.x, c.y, c.r, c.colour, ds().fill_pattern);
    return 0;
}

// ---------------------------------------------------------------------------
// Sprites and the map

int zv_spr(lua_State *L) {
    int n = zv_arg_int(L, 1);
    if (uint32_t(n) > 255) return 0;
    int x = arg_x(L, 2), y = arg_y(L, 3);
    // Size in sprites, to whole pixels.
    int64_t w = 8, h = 8;
    if (lua_gettop(L) >= 4) {
        w = std::min<int64_t>((int64_t(zv_arg(L, 4)) * 8) >> 16, ZORVA_SCREEN_SIZE);
        h = std::min<int64_t>((int64_t(zv_arg(L, 5)) * 8) >> 16, ZORVA_SCREEN_SIZE);
    }
    if (w < 1 || h < 1) return 0;
    bool flip_x = lua_toboolean(L, 6), flip_y = lua_toboolean(L, 7);
    spend_cpu(count_pixels(x, y, int(w), int(h)));
    zorva_draw_sprite_pal(sheet(), pstate.screen, (n & 15) * 8, (n >> 4) * 8, x, y, int(w), int(h),
                          ds().draw_palette, flip_x, flip_y);
    return 0;
}

int zv_sspr(lua_State *L) {
    int sx = zv_arg_int(L, 1), sy = zv_arg_int(L, 2), sw = zv_arg_int(L, 3), sh = zv_arg_int(L, 4);
    if (sw < 1 || sw > ZORVA_SCREEN_SIZE || sh < 1 || sh > ZORVA_SCREEN_SIZE) return 0;
    int dx = arg_x(L, 5), dy = arg_y(L, 6);
    int dw = lua_gettop(L) >= 7 ? zv_arg_int(L, 7) : sw;
    int dh = lua_gettop(L) >= 8 ? zv_arg_int(L, 8) : sh;
    bool flip_x = lua_toboolean(L, 9), flip_y = lua_toboolean(L, 10);
    if (dw == 0 || dh == 0) return 0;
    // A negative size draws the other way round.
    if (dw < 0) {
        dx += dw;
        dw = -dw;
        flip_x = !flip_x;
    }
    if (dh < 0) {
        dy += dh;
        dh = -dh;
        flip_y = !flip_y;
    }
    spend_cpu(count_pixels(dx, dy, dw, dh));
    cbitmap *temp = sprite_temp(sw, sh);
    zorva_blit(sheet(), temp, sx, sy, 0, 0, sw, sh, flip_x, flip_y, ds().draw_palette);
    zorva_stretch_blit(temp, pstate.screen, dx, dy, dw, dh);
    return 0;
}

int zv_mapdraw(lua_State *L) {
    int64_t cx = zv_arg_int(L, 1), cy = zv_arg_int(L, 2);
    int64_t sx = arg_x(L, 3), sy = arg_y(L, 4);
    int64_t cw = 128, ch = 32;
    int layer = 0;
    if (lua_gettop(L) >= 5) {
        cw = zv_arg_int(L, 5);
        ch = zv_arg_int(L, 6);
        layer = zv_arg_int(L, 7);
    }
    if (cw < 1 || ch < 1) return 0;
    cbitmap *s = pstate.screen;
    const cbitmap *m = map_bitmap();
    if (!s || !m || !pstate.live_cart) return 0;
    // Whole cells left of or above the clip are skipped; at most one cell
    // more than the clip holds is visited in each direction.
    if (sx < s->clip_x0) {
        int64_t k = std::min(cw, (s->clip_x0 - sx) / 8);
        cx += k;
        sx += 8 * k;
        cw -= k;
    }
    if (sy < s->clip_y0) {
        int64_t k = std::min(ch, (s->clip_y0 - sy) / 8);
        cy += k;
        sy += 8 * k;
        ch -= k;
    }
    int64_t clip_w = std::max(0, s->clip_x1 - s->clip_x0), clip_h = std::max(0, s->clip_y1 - s->clip_y0);
    cw = std::min(cw, (clip_w + 7) / 8 + 1);
    ch = std::min(ch, (clip_h + 7) / 8 + 1);
    const int32_t *flags = pstate.live_cart->sprite_flags;
    int64_t cost = 0;
    for (int64_t j = 0; j < ch; j++) {
        int64_t row = cy + j;
        if (row < 0 || row >= m->height) continue;   // cells off the map hold 0
        const uint8_t *cells = m->rows[row];
        int py = int(sy + 8 * j);
        for (int64_t i = 0; i < cw; i++) {
            int64_t col = cx + i;
            if (col < 0 || col >= m->width) continue;
            int v = cells[col];
            if (v == 0 || (layer && !(flags[v] & layer))) continue;
            int px = int(sx + 8 * i);
            cost += count_pixels(px, py, 8, 8);
            zorva_draw_sprite_pal(sheet(), s, (v & 15) * 8, (v >> 4) * 8, px, py, 8, 8, ds().draw_palette);
        }
    }
    spend_cpu(clamp_cost(cost));
    return 0;
}

int zv_mget(lua_State *L) {
    zv_push_int(L, int(tamu_getpixel(map_bitmap(), zv_arg_int(L, 1), zv_arg_int(L, 2))));
    return 1;
}

int zv_mset(lua_State *L) {
    int x = zv_arg_int(L, 1), y = zv_arg_int(L, 2), v = zv_arg_int(L, 3) & 255;
    if (x < 0 || x >= 128 || y < 0 || y >= 64) return 0;
    // Rows 32-63 share their bytes with the lower half of the sprite sheet.
    int addr = y < 32 ? ZORVA_ADDR_MAP + y * 128 + x : ZORVA_ADDR_SHARED + (y - 32) * 128 + x;
    zorva_poke(&pstate, pstate.live_cart, addr, v);
    return 0;
}

int zv_sget(lua_State *L) {
    zv_push_int(L, int(tamu_getpixel(sheet(), zv_arg_int(L, 1), zv_arg_int(L, 2))));
    return 1;
}

int zv_sset(lua_State *L) {
    int x = zv_arg_int(L, 1), y = zv_arg_int(L, 2), c = zv_arg_int(L, 3) & 15;
    if (x < 0 || x >= 128 || y < 0 || y >= 128) return 0;
    // Through console memory, so that the map cells sharing the byte follow.
    int addr = y * 64 + x / 2;
    int byte = zorva_peek(&pstate, pstate.live_cart, addr);
    byte = x & 1 ? (byte & 0x0F) | c << 4 : (byte & 0xF0) | c;
    zorva_poke(&pstate, pstate.live_cart, addr, byte);
    return 0;
}

int zv_fget(lua_State *L) {
    int n = zv_arg_int(L, 1);
    bool bit_asked = lua_gettop(L) >= 2;
    if (uint32_t(n) > 255 || !pstate.live_cart) {
        // No such sprite: no flag of it is set.
        if (bit_asked)
            lua_pushboolean(L, 0);
        else
            zv_push_int(L, 0);
        return 1;
    }
    int flags = pstate.live_cart->sprite_flags[n] & 255;
    if (!bit_asked) {
        zv_push_int(L, flags);
        return 1;
    }
    int f = zv_arg_int(L, 2);
    lua_pushboolean(L, f >= 0 && f <= 7 && (flags >> f) & 1);
    return 1;
}

int zv_fset(lua_State *L) {
    int n = zv_arg_int(L, 1);
    if (uint32_t(n) > 255 || !pstate.live_cart) return 0;
    int addr = ZORVA_ADDR_FLAGS + n;
    if (lua_gettop(L) < 3) {
        zorva_poke(&pstate, pstate.live_cart, addr, zv_arg_int(L, 2) & 255);
        return 0;
    }
    int f = zv_arg_int(L, 2);
    if (f < 0 || f > 7) return 0;
    int flags = pstate.live_cart->sprite_flags[n] & 255;
    flags = lua_toboolean(L, 3) ? flags | 1 << f : flags & ~(1 << f);
    zorva_poke(&pstate, pstate.live_cart, addr, flags);
    return 0;
}

// ---------------------------------------------------------------------------
// Text

int zv_print(lua_State *L) {
    int args = lua_gettop(L);
    if (args == 0) return 0;
    char other[48];
    const char *text = other;
    size_t length = 0;
    int type = lua_type(L, 1);
    if (type == LUA_TNUMBER || type == LUA_TSTRING)
        text = lua_tolstring(L, 1, &length);
    else if (type == LUA_TBOOLEAN)
        length = size_t(std::snprintf(other, sizeof other, "%s", lua_toboolean(L, 1) ? "true" : "false"));
    else
        length = size_t(std::snprintf(other, sizeof other, "[%s]", lua_typename(L, type)));
    if (args >= 3) {
        ds().cursor_x = zv_arg_int(L, 2);
        ds().cursor_y = zv_arg_int(L, 3);
    }
    // Text has no second colour; the screen takes the primary one.
    int colour = colour_arg(L, 4) & 15;
    spend_cpu(clamp_cost(int64_t(length) * 8 + 2));
    int x = screen_x(ds().cursor_x), y = screen_y(ds().cursor_y);
    int flags = pstate.REQUEST == REQUEST_PAUSE ? TAMU_TEXT_SOLID | TAMU_TEXT_WRAP : TAMU_TEXT_SOLID;
    int end_y = pstate.screen ? tamu_draw_text_ex(pstate.screen, text, pstate.font_pod, x, y, flags, uint32_t(colour)) : y;
    if (args == 1 && end_y >= y && zorva_shell.cursor_cr) {
        // The next line, and one more for every further line drawn.
        for (int64_t lines = 1 + (int64_t(end_y) - y) / 6; lines > 0; lines--) zorva_shell.cursor_cr();
    }
    return 0;
}
