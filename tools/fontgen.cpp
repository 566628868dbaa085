// fontgen: makes the console's system font pod from its text art.
//
//   fontgen assets/font/system_font.txt assets/font/system_font.pod
//
// The art (format in the file's header) holds one glyph block per byte
// 0x00..0xFF, in byte order, five rows of '#' and '.' each. The pod holds
// 256 8-bit glyph bitmaps, item = byte, ink 255 and blank 0: bytes
// 0x00..0x7F are 3 x 5 (4 pixels a glyph with the default spacing of 1),
// bytes 0x80..0xFF 1..7 wide; no two glyphs alike. Any fault in the art is
// reported with its line and nothing is written. Exit status 0 when
// written, 1 on a fault in the art or the output, 2 on bad usage.
#include "tamu.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

// The engine calls its application by name; this tool runs none of it.
int tamu_main_init(int, char **) { return 0; }
int tamu_main_update() { return 0; }
int tamu_main_draw() { return 0; }
int tamu_main_exit() { return 0; }

namespace {

constexpr int HEIGHT = 5;

struct glyph {
    int line = 0;
    std::vector<std::string> rows;
};

std::string trim_right(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
    return s;
}

bool read_art(const char *path, std::vector<glyph> &glyphs, std::string &error) {
    std::ifstream in(path);
    if (!in) {
        error = std::string(path) + ": cannot be read";
        return false;
    }
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(trim_right(l));
    glyphs.assign(256, glyph{});
    int expected = 0;
    auto fail = [&](size_t line, const std::string &what) {
        error = std::string(path) + ":" + std::to_string(line + 1) + ": " + what;
        return false;
    };
    for (size_t i = 0; i < lines.size(); i++) {
        const std::string &l = lines[i];
        if (l.empty() || l[0] == '#') continue;
        unsigned code;
        char hex[3] = {};
        if (std::sscanf(l.c_str(), "glyph 0x%2[0-9A-Fa-f]", hex) != 1 || std::strlen(hex) != 2)
            return fail(i, "expected a glyph line \"glyph 0xNN\"");
        std::sscanf(hex, "%x", &code);
        if (int(code) != expected) {
            char msg[64];
            std::snprintf(msg, sizeof msg, "glyph 0x%02X out of order (0x%02X expected)", code, expected);
            return fail(i, msg);
        }
        if (expected > 255) return fail(i, "more than 256 glyphs");
        glyph &g = glyphs[code];
        g.line = int(i + 1);
        for (int r = 0; r < HEIGHT; r++) {
            if (i + 1 + r >= lines.size()) return fail(i, "a glyph needs 5 rows");
            const std::string &row = lines[i + 1 + r];
            if (row.empty() || row.find_first_not_of("#.") != std::string::npos)
                return fail(i + 1 + r, "a row is made of '#' and '.' only");
            if (r && row.size() != g.rows[0].size()) return fail(i + 1 + r, "rows of one glyph differ in width");
            g.rows.push_back(row);
        }
        int w = int(g.rows[0].size());
        if (code < 0x80 && w != 3) return fail(i, "bytes 0x00-0x7F are 3 wide");
        if (code >= 0x80 && (w < 1 || w > 7)) return fail(i, "bytes 0x80-0xFF are 1 to 7 wide");
        i += HEIGHT;
        expected++;
    }
    if (expected != 256) {
        char msg[64];
        std::snprintf(msg, sizeof msg, "glyph 0x%02X missing", expected);
        error = std::string(path) + ": " + msg;
        return false;
    }
    // Text must read unambiguously: no glyph may look exactly like another.
    for (int a = 0; a < 256; a++)
        for (int b = a + 1; b < 256; b++)
            if (glyphs[size_t(a)].rows == glyphs[size_t(b)].rows) {
                char msg[96];
                std::snprintf(msg, sizeof msg, "glyph 0x%02X looks exactly like glyph 0x%02X (line %d)", b, a,
                              glyphs[size_t(a)].line);
                return fail(size_t(glyphs[size_t(b)].line - 1), msg);
            }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fontgen FONT.txt FONT.pod\n");
        return 2;
    }
    std::vector<glyph> glyphs;
    std::string error;
    if (!read_art(argv[1], glyphs, error)) {
        std::fprintf(stderr, "fontgen: %s\n", error.c_str());
        return 1;
    }
    cconfig.pod_lz4 = TAMU_POD_STORE;
    cpod *font = tamu_create_pod(256);
    std::snprintf(font->name, sizeof font->name, "system_font");
    for (const glyph &g : glyphs) {
        cbitmap *b = tamu_create_bitmap(int(g.rows[0].size()), HEIGHT, 8);
        for (int y = 0; y < HEIGHT; y++)
            for (size_t x = 0; x < g.rows[y].size(); x++) b->rows[y][x] = g.rows[y][x] == '#' ? 255 : 0;
        cpod_add_item(font, CPOD_ITEM_BITMAP, b);
    }
    int result = tamu_save_pod(argv[2], font);
    tamu_destroy_pod(font);
    if (result != 0) {
        std::fprintf(stderr, "fontgen: %s could not be written\n", argv[2]);
        return 1;
    }
    return 0;
}
