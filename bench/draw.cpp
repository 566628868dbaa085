// Drawing hot paths on 128 x 128 bitmaps, each timed side by side with the
// plain memory operation that moves the same bytes, and printed as a ratio
// to it.
#include "bench_timing.h"
#include "tamu.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

using namespace bench_timing;

void report(const char *name, double ns, const char *peer_name, double peer_ns, double target) {
    double ratio = ns / peer_ns;
    std::printf("%-34s %10.1f ns   %-30s %10.1f ns   ratio %5.2f", name, ns, peer_name, peer_ns, ratio);
    if (target > 0) std::printf("  (aim <= %.0f: %s)", target, ratio <= target ? "ok" : "over");
    std::printf("\n");
}

unsigned seed = 12345;
int next_random(int n) {
    seed = seed * 1103515245 + 12345;
    return int((seed >> 16) % unsigned(n));
}

}  // namespace

int main() {
    const int W = 128, H = 128;
    cbitmap *page = tamu_create_bitmap(W, H, 8);
    cbitmap *page32 = tamu_create_bitmap(W, H, 32);
    cbitmap *sheet = tamu_create_bitmap(W, H, 8);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) sheet->rows[y][x] = uint8_t(((x ^ y) & 3) ? (x * 7 + y) & 15 : 0);
    std::vector<uint8_t> buf(size_t(1) << 18), src(size_t(W) * H * 4, 5);   // lines draw up to 128000 pixels

    std::printf("zorva drawing benchmark, 128 x 128 bitmaps (best of %d alternating rounds)\n\n", ROUNDS);

    // Clear and full-screen fill against memset of the same bytes.
    pair_ns clear8 = time_pair(
        [&] {
            tamu_clear_bitmap(page);
            barrier(page->pixels);
        },
        [&] {
            std::memset(buf.data(), 0, size_t(W) * H);
            barrier(buf.data());
        });
    report("clear 8-bit", clear8.op, "memset 16 KB", clear8.peer, 2);
    int colour = 0;
    pair_ns fill8 = time_pair(
        [&] {
            tamu_rectfill(page, 0, 0, W - 1, H - 1, uint32_t(++colour & 15));
            barrier(page->pixels);
        },
        [&] {
            std::memset(buf.data(), ++colour & 15, size_t(W) * H);
            barrier(buf.data());
        });
    report("rectfill 128x128 8-bit", fill8.op, "memset 16 KB", fill8.peer, 2);
    pair_ns fill32 = time_pair(
        [&] {
            tamu_rectfill(page32, 0, 0, W - 1, H - 1, 0xFF000000u | uint32_t(++colour));
            barrier(page32->pixels);
        },
        [&] {
            std::memset(buf.data(), ++colour, size_t(W) * H * 4);
            barrier(buf.data());
        });
    report("rectfill 128x128 32-bit", fill32.op, "memset 64 KB", fill32.peer, 2);

    // 256 transparent 8 x 8 sprites from the sheet, against memcpy of the
    // same 8-byte rows between the same places, and one bulk memcpy.
    struct place {
        int sx, sy, dx, dy;
    };
    std::vector<place> places;
    for (int i = 0; i < 256; i++) places.push_back({(i % 16) * 8, (i / 16) * 8, next_random(W - 8), next_random(H - 8)});
    auto draw_sprites = [&] {
        for (const place &p : places) tamu_draw_sprite(sheet, page, p.sx, p.sy, p.dx, p.dy, 8, 8);
        barrier(page->pixels);
    };
    pair_ns sprite_rows = time_pair(draw_sprites, [&] {
        for (const place &p : places)
            for (int r = 0; r < 8; r++)
                std::memcpy(buf.data() + (p.dy + r) * W + p.dx, src.data() + (p.sy + r) * W + p.sx, 8);
        barrier(buf.data());
    });
    pair_ns sprite_bulk = time_pair(draw_sprites, [&] {
        std::memcpy(buf.data(), src.data(), 256 * 64);
        barrier(buf.data());
    });
    report("256 sprites 8x8 transparent", sprite_rows.op, "memcpy of the same 2048 rows", sprite_rows.peer, 4);
    report("256 sprites 8x8 transparent", sprite_bulk.op, "memcpy 16 KB in one block", sprite_bulk.peer, 0);

    // 1000 lines with both ends on the page, against memset of as many
    // bytes as they draw pixels.
    struct segment {
        int xa, ya, xb, yb;
    };
    std::vector<segment> lines;
    long pixels = 0;
    for (int i = 0; i < 1000; i++) {
        segment s = {next_random(W), next_random(H), next_random(W), next_random(H)};
        pixels += std::max(std::abs(s.xb - s.xa), std::abs(s.yb - s.ya)) + 1;
        lines.push_back(s);
    }
    pair_ns line = time_pair(
        [&] {
            for (const segment &s : lines) tamu_line(page, s.xa, s.ya, s.xb, s.yb, 7);
            barrier(page->pixels);
        },
        [&] {
            std::memset(buf.data(), 7, size_t(pixels));
            barrier(buf.data());
        });
    char peer_name[64];
    std::snprintf(peer_name, sizeof peer_name, "memset %ld bytes", pixels);
    report("1000 lines", line.op, peer_name, line.peer, 0);
    std::printf("%-34s %10.2f ns per pixel\n", "", line.op / double(pixels));

    tamu_destroy_bitmap(page);
    tamu_destroy_bitmap(page32);
    tamu_destroy_bitmap(sheet);
    return 0;
}
