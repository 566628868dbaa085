// Makes forum list images (".pip.png") for the tests and tools: 32 cells of
// 128 x 136 pixels, 8 across; each cell a cart's label and five rows of
// text in the green channel (ids and catsub, title, author, lid, mid).
#pragma once

#include "tamu.h"

#include <lodepng.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct pip_cell {
    int id = 0;   // 0: an empty cell
    int id2 = 0;
    int catsub = 0;
    std::string title, author, lid, mid;
    const cbitmap *label = nullptr;   // 128 x 128, 8 bits (console colours), or none
    std::string row0;                 // replaces "%d %d %d" when not empty
};

// The RGBA pixels of a list image (width x height; a real one is 1024 x 544).
inline std::vector<uint8_t> pip_pixels(const std::vector<pip_cell> &cells, int width = 1024, int height = 544) {
    std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4, 0);
    auto put = [&](int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        uint8_t *p = &rgba[4 * (size_t(y) * size_t(width) + size_t(x))];
        p[0] = r;
        p[1] = g;
        p[2] = b;
        p[3] = 255;
    };
    for (size_t i = 0; i < cells.size() && i < 32; i++) {
        const pip_cell &c = cells[i];
        int x0 = int(i % 8) * 128, y0 = int(i / 8) * 136;
        if (c.label)
            for (int y = 0; y < 128; y++)
                for (int x = 0; x < 128; x++) {
                    int colour = c.label->rows[y][x] & 15;
                    const uint8_t *rgb = tamu_palette ? &tamu_palette->rgb[3 * colour] : nullptr;
                    uint8_t grey = uint8_t(colour);
                    put(x0 + x, y0 + y, rgb ? rgb[0] : grey, rgb ? rgb[1] : grey, rgb ? rgb[2] : grey);
                }
        std::string rows[5] = {
            c.row0.empty() ? std::to_string(c.id) + " " + std::to_string(c.id2) + " " + std::to_string(c.catsub) : c.row0,
            c.title, c.author, c.lid, c.mid};
        for (int r = 0; r < 5; r++)
            for (size_t k = 0; k < rows[r].size() && k < 128; k++)
                put(x0 + int(k), y0 + 128 + r, 0, uint8_t(rows[r][k]), 0);
    }
    return rgba;
}

// The PNG file of a list image.
inline std::string pip_png(const std::vector<pip_cell> &cells, int width = 1024, int height = 544) {
    std::vector<uint8_t> rgba = pip_pixels(cells, width, height);
    unsigned char *png = nullptr;
    size_t size = 0;
    if (lodepng_encode32(&png, &size, rgba.data(), unsigned(width), unsigned(height)) != 0) return "";
    std::string bytes(reinterpret_cast<char *>(png), size);
    std::free(png);
    return bytes;
}

// A small PNG file of a large picture: width x height of black at one bit
// a pixel (8192 x 2048 takes a few kilobytes and 64 MB once decoded).
inline std::string bomb_png(int width, int height) {
    std::vector<uint8_t> bits(size_t((width + 7) / 8) * size_t(height), 0);
    unsigned char *png = nullptr;
    size_t size = 0;
    if (lodepng_encode_memory(&png, &size, bits.data(), unsigned(width), unsigned(height), LCT_GREY, 1) != 0) return "";
    std::string bytes(reinterpret_cast<char *>(png), size);
    std::free(png);
    return bytes;
}
