// Small hand-drawn 8-bit images for the bitmap and drawing tests: one
// string per row, '.' for 0 and a hex digit for 1 to 15.
#pragma once

#include "tamu.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using pixel_map = std::vector<std::string>;

inline int map_value(char c) {
    if (c == '.') return 0;
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline char map_char(int v) {
    if (v == 0) return '.';
    if (v < 16) return "0123456789abcdef"[v];
    return '#';   // a value a map cannot spell
}

// A new 8-bit bitmap holding the map.
inline cbitmap *bitmap_from_map(const pixel_map &rows) {
    int h = int(rows.size()), w = h ? int(rows[0].size()) : 0;
    cbitmap *b = tamu_create_bitmap(w, h, 8);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) b->rows[y][x] = uint8_t(map_value(rows[y][x]));
    return b;
}

// The whole 8-bit bitmap as a map, one line per row (clip ignored).
inline std::string map_of(const cbitmap *b) {
    std::string out;
    for (int y = 0; y < b->height; y++) {
        for (int x = 0; x < b->width; x++) out += map_char(b->rows[y][x]);
        out += '\n';
    }
    return out;
}

inline std::string joined(const pixel_map &rows) {
    std::string out;
    for (const auto &r : rows) out += r + '\n';
    return out;
}

inline uint32_t pixel32(const cbitmap *b, int x, int y) {
    return reinterpret_cast<const uint32_t *>(b->rows[y])[x];
}

inline void set_pixel32(cbitmap *b, int x, int y, uint32_t v) {
    reinterpret_cast<uint32_t *>(b->rows[y])[x] = v;
}
