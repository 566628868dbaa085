// Typical cart drawing through the cart's own drawing functions (cls, 256
// sprites, 64 filled circles, a full-screen map, 1000 lines), each timed
// side by side with the plain memory operation that moves the same screen
// bytes, and printed as a ratio to it. The functions are called as the
// script engine calls them, with their arguments on a script stack.
#include "bench_timing.h"
#include "lauxlib.h"
#include "lua.h"
#include "tamu.h"
#include "zorva_api_draw.h"
#include "zorva_cart.h"
#include "zorva_cpu.h"
#include "zorva_draw.h"
#include "zorva_state.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <vector>

namespace {

using namespace bench_timing;

void report(const char *name, pair_ns t, const char *peer_name) {
    std::printf("%-30s %11.1f ns   %-34s %10.1f ns   ratio %6.2f\n", name, t.op, peer_name, t.peer, t.op / t.peer);
}

unsigned seed = 12345;
int next_random(int n) {
    seed = seed * 1103515245 + 12345;
    return int((seed >> 16) % unsigned(n));
}

lua_State *L = nullptr;

// Calls a cart function with whole-number arguments.
void call(lua_CFunction f, std::initializer_list<int> args) {
    lua_settop(L, 0);
    for (int a : args) lua_pushnumber(L, zorva_fixed(uint32_t(a) << 16));
    f(L);
}

}  // namespace

int main() {
    L = luaL_newstate();
    L0 = L;
    pstate.fps = 30;
    pstate.screen = tamu_create_bitmap(128, 128, 8);
    pstate.live_cart = tamu_create_zorva_cart();
    zorva_draw_state &d = pstate.draw_state;
    reset_draw_palettes(d);
    set_clip_registers(d, pstate.screen, 0, 0, 128, 128);
    d.pen_colour = 6;
    cbitmap *sheet = pstate.live_cart->gfx, *map = pstate.live_cart->map;
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) sheet->rows[y][x] = uint8_t(((x ^ y) & 3) ? (x * 7 + y) & 15 : 0);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 128; x++) map->rows[y][x] = uint8_t(1 + (x * 13 + y * 7) % 255);

    const size_t screen_bytes = 128 * 128;
    std::vector<uint8_t> buf(size_t(1) << 18), src(screen_bytes * 4, 5);

    std::printf("zorva console drawing benchmark: cart drawing functions against memset/memcpy of the same\n"
                "screen bytes (best of %d alternating rounds)\n\n",
                ROUNDS);

    // cls
    pair_ns cls = time_pair(
        [&] {
            call(zv_cls, {3});
            barrier(pstate.screen->pixels);
        },
        [&] {
            std::memset(buf.data(), 3, screen_bytes);
            barrier(buf.data());
        });
    report("cls", cls, "memset 16 KB");

    // 256 sprites of 8 x 8, against memcpy of their 2048 rows of 8 bytes.
    struct place {
        int n, x, y;
    };
    std::vector<place> sprites;
    for (int i = 0; i < 256; i++) sprites.push_back({i, next_random(120), next_random(120)});
    pair_ns spr = time_pair(
        [&] {
            for (const place &p : sprites) call(zv_spr, {p.n, p.x, p.y});
            barrier(pstate.screen->pixels);
        },
        [&] {
            for (const place &p : sprites)
                for (int r = 0; r < 8; r++)
                    std::memcpy(buf.data() + (p.y + r) * 128 + p.x, src.data() + ((p.n >> 4) * 8 + r) * 128 + (p.n & 15) * 8, 8);
            barrier(buf.data());
        });
    report("256 spr 8x8", spr, "memcpy of the same 2048 rows");

    // 64 filled circles of radius 8, against memset of their rows.
    std::vector<place> circles;
    for (int i = 0; i < 64; i++) circles.push_back({i & 15, 8 + next_random(112), 8 + next_random(112)});
    // The half widths of the 17 rows of a radius-8 disc.
    int half[17];
    for (int r = -8; r <= 8; r++) {
        half[r + 8] = 0;
        while ((half[r + 8] + 1) * (half[r + 8] + 1) + r * r <= 72) half[r + 8]++;
    }
    pair_ns circ = time_pair(
        [&] {
            for (const place &c : circles) call(zv_circfill, {c.x, c.y, 8, c.n});
            barrier(pstate.screen->pixels);
        },
        [&] {
            for (const place &c : circles)
                for (int r = -8; r <= 8; r++)
                    std::memset(buf.data() + (c.y + r) * 128 + c.x - half[r + 8], c.n, size_t(2 * half[r + 8] + 1));
            barrier(buf.data());
        });
    report("64 circfill r=8", circ, "memset of the same rows");

    // The whole screen from the map: 16 x 16 cells.
    pair_ns map_draw = time_pair(
        [&] {
            call(zv_mapdraw, {0, 0, 0, 0, 16, 16});
            barrier(pstate.screen->pixels);
        },
        [&] {
            for (int cy = 0; cy < 16; cy++)
                for (int cx = 0; cx < 16; cx++)
                    for (int r = 0; r < 8; r++)
                        std::memcpy(buf.data() + (cy * 8 + r) * 128 + cx * 8, src.data() + (cy * 8 + r) * 128 + cx * 8, 8);
            barrier(buf.data());
        });
    report("map 16x16 cells (full screen)", map_draw, "memcpy of the same 2048 rows");

    // 1000 lines with both ends on the screen, against memset of as many
    // bytes as they have points.
    struct segment {
        int x0, y0, x1, y1;
    };
    std::vector<segment> lines;
    long points = 0;
    for (int i = 0; i < 1000; i++) {
        segment s = {next_random(128), next_random(128), next_random(128), next_random(128)};
        points += std::max({std::abs(s.x1 - s.x0), std::abs(s.y1 - s.y0), 1}) + 1;
        lines.push_back(s);
    }
    pair_ns line = time_pair(
        [&] {
            for (const segment &s : lines) call(zv_line, {s.x0, s.y0, s.x1, s.y1, 7});
            barrier(pstate.screen->pixels);
        },
        [&] {
            std::memset(buf.data(), 7, size_t(points));
            barrier(buf.data());
        });
    char peer_name[64];
    std::snprintf(peer_name, sizeof peer_name, "memset %ld bytes", points);
    report("1000 line", line, peer_name);
    std::printf("%-30s %11.2f ns per point\n", "", line.op / double(points));

    double total = cls.op + spr.op + circ.op + map_draw.op + line.op;
    double peers = cls.peer + spr.peer + circ.peer + map_draw.peer + line.peer;
    std::printf("\n%-30s %11.1f ns   %-34s %10.1f ns   ratio %6.2f\n", "the frame above, all of it", total,
                "its memory operations", peers, total / peers);
    std::printf("%-30s %11.2f %%\n", "share of a 30 fps frame", total / (1e9 / 30) * 100);

    L0 = nullptr;
    lua_close(L);
    tamu_destroy_zorva_cart(pstate.live_cart);
    tamu_destroy_bitmap(pstate.screen);
    return 0;
}
