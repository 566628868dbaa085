// datapod: makes the player's data pod from its sources.
//
//   datapod ASSETS_DIR OUT.pod [RUNTIMES_DIR]
//
// ASSETS_DIR is the source tree's assets/ folder. RUNTIMES_DIR, when
// given, holds programs for the stand-alone export under the names of
// item 7 below (windows/zorva.exe, ...); those found are packed. The pod's
// items, in order (the player reads them by index):
//
//   0  "boot_sound.zv"    data/boot_sound.zv: a text cart whose sound
//                         effect 0 is the boot sound
//   1  "resources.pod"    a pod file of the resources, by index:
//                           1    the display palette (data/palette.txt)
//                           2    the boot logo, 40 x 10, 8 bits (data/logo.txt)
//                           4    a record of NUL-terminated fields: name,
//                                version, window title (data/info.txt)
//                           6    the window icon, 16 x 16, 32 bits (data/icon.txt)
//                           145  the cart template, 160 x 205, 32 bits (drawn here)
//                           176-245  the cart browser's images, 8 bits
//                                (data/browser_images.txt; its animations
//                                are drawn here)
//                         every other index up to 245 an empty memory file
//   2  "system_font.pod"  font/system_font.pod
//   3  "zorva.zv"         data/main_cart.zv as a 32K cart image: the cart
//                         the player boots
//   4, 5                  empty (no further embedded carts)
//   6  "bbs_carts.pod"    the preloaded forum carts, a pod file of memory
//                         files: entry 0 "favourites.txt", lines of the
//                         favourites file for them; then one PNG cartridge
//                         "<id>.zv.png" per line of data/demos/preloaded.txt
//                         ("id file title"), in its order
//   7  "runtimes.pod"     the export runtimes, a pod file of memory files
//                         "windows/zorva.exe", "windows/SDL2.dll",
//                         "linux/zorva", "macos/zorva", "macos/SDL2": empty
//                         unless found in RUNTIMES_DIR (the export then
//                         takes this platform's program from the running
//                         player)
//
// Every item is stored uncompressed, so the output depends only on the
// sources. A fault in a source is reported with its file and line and
// nothing is written. Exit status 0 when written, 1 on a fault, 2 on bad
// usage.
#include "cart_forms.h"
#include "cart_text.h"
#include "tamu.h"
#include "zorva_cart.h"
#include "zorva_state.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

// The engine calls its application by name; this tool runs none of it.
int tamu_main_init(int, char **) { return 0; }
int tamu_main_update() { return 0; }
int tamu_main_draw() { return 0; }
int tamu_main_exit() { return 0; }

namespace {

constexpr int RESOURCE_ITEMS = 246;
// The browser's animations: a list download (8 frames, 8 x 8), a cart
// launch (12 frames, 12 x 12) and a cart download (16 frames, 12 x 12).
constexpr int ANIM_LIST = 204, ANIM_LIST_FRAMES = 8;
constexpr int ANIM_LAUNCH = 212, ANIM_LAUNCH_FRAMES = 12;
constexpr int ANIM_CART = 229, ANIM_CART_FRAMES = 16;
constexpr int RES_PALETTE = 1, RES_LOGO = 2, RES_INFO = 4, RES_ICON = 6, RES_CART_TEMPLATE = 145;
constexpr int LOGO_W = 40, LOGO_H = 10, ICON_SIZE = 16;

struct fault {
    std::string text;
};

std::string read_bytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw fault{path + ": cannot be read"};
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The lines of a text source that are not comments ("#") or blank, with
// their line numbers.
std::vector<std::pair<int, std::string>> source_lines(const std::string &path) {
    std::istringstream in(read_bytes(path));
    std::vector<std::pair<int, std::string>> lines;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        number++;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        lines.emplace_back(number, line);
    }
    return lines;
}

fault fault_at(const std::string &path, int line, const std::string &what) {
    return fault{path + ":" + std::to_string(line) + ": " + what};
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

cpalette *read_palette(const std::string &path) {
    cpalette *palette = tamu_create_palette();
    std::memset(palette->rgb, 0, sizeof palette->rgb);
    for (auto &[number, line] : source_lines(path)) {
        int index = -1;
        unsigned rgb = 0;
        char rest = 0;
        if (std::sscanf(line.c_str(), "%d %6x%c", &index, &rgb, &rest) != 2 || index < 0 || index > 255 ||
            line.size() < 8) {
            tamu_destroy_palette(palette);
            throw fault_at(path, number, "expected \"index RRGGBB\"");
        }
        palette->rgb[3 * index] = uint8_t(rgb >> 16);
        palette->rgb[3 * index + 1] = uint8_t(rgb >> 8);
        palette->rgb[3 * index + 2] = uint8_t(rgb);
    }
    return palette;
}

// Text art of w x h hex digits (colours 0-15) and "." (0): an 8-bit bitmap
// of colour indexes, or with a palette a 32-bit bitmap in which "." is
// transparent.
cbitmap *read_art(const std::string &path, int w, int h, const cpalette *palette) {
    auto lines = source_lines(path);
    if (int(lines.size()) != h)
        throw fault{path + ": " + std::to_string(lines.size()) + " rows, expected " + std::to_string(h)};
    cbitmap *b = tamu_create_bitmap(w, h, palette ? 32 : 8);
    for (int y = 0; y < h; y++) {
        const std::string &row = lines[size_t(y)].second;
        if (int(row.size()) != w) {
            tamu_destroy_bitmap(b);
            throw fault_at(path, lines[size_t(y)].first, "row is not " + std::to_string(w) + " wide");
        }
        for (int x = 0; x < w; x++) {
            int c = row[size_t(x)] == '.' ? -1 : hex_digit(row[size_t(x)]);
            if (c < 0 && row[size_t(x)] != '.') {
                tamu_destroy_bitmap(b);
                throw fault_at(path, lines[size_t(y)].first, "not a hex digit or '.'");
            }
            if (!palette) {
                b->rows[y][x] = uint8_t(c < 0 ? 0 : c);
            } else {
                const uint8_t *rgb = palette->rgb + 3 * (c < 0 ? 0 : c);
                uint32_t pixel = c < 0 ? 0 : 0xFF000000u | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
                reinterpret_cast<uint32_t *>(b->rows[y])[x] = pixel;
            }
        }
    }
    return b;
}

cfile *memory_file(const std::string &name, const void *bytes, int length) {
    cbuffer *file = tamu_create_buffer(length);
    if (length > 0) tamu_fwrite(bytes, 1, length, file);
    std::snprintf(file->name, sizeof file->name, "%s", name.c_str());
    return file;
}

cfile *read_info(const std::string &path) {
    std::string record;
    for (auto &[number, line] : source_lines(path)) {
        record += line;
        record.push_back('\0');
    }
    if (record.empty()) throw fault{path + ": no fields"};
    return memory_file("info", record.data(), int(record.size()));
}

uint32_t colour_of(const cpalette *palette, int c) {
    const uint8_t *rgb = palette->rgb + 3 * c;
    return 0xFF000000u | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
}

// The picture every PNG cartridge is drawn on: a cartridge with a label
// window at 16,24 (128 x 128) and a dark strip for the two title lines
// and the name below it. Outside the cartridge the picture is clear.
cbitmap *draw_cart_template(const cpalette *palette) {
    cbitmap *b = tamu_create_bitmap(160, 205, 32);
    auto c = [&](int n) { return colour_of(palette, n); };
    // body with cut top corners, outlined
    tamu_rectfill(b, 2, 8, 157, 202, c(0));
    tamu_rectfill(b, 8, 2, 151, 202, c(0));
    tamu_rectfill(b, 3, 9, 156, 201, c(5));
    tamu_rectfill(b, 9, 3, 150, 201, c(5));
    for (int i = 0; i < 6; i++) {
        tamu_putpixel(b, 8 - i, 2 + i, c(0));
        tamu_putpixel(b, 151 + i, 2 + i, c(0));
    }
    // grip ridges along the top
    for (int x = 40; x <= 116; x += 6) tamu_rectfill(b, x, 6, x + 2, 16, c(13));
    // label window
    tamu_rectfill(b, 14, 22, 145, 153, c(0));
    tamu_rectfill(b, 15, 23, 144, 152, c(6));
    tamu_rectfill(b, 16, 24, 143, 151, c(1));
    // title strip
    tamu_rectfill(b, 14, 163, 145, 195, c(0));
    tamu_rectfill(b, 15, 164, 144, 194, c(1));
    // the notch at the bottom
    tamu_rectfill(b, 60, 198, 99, 202, c(0));
    return b;
}

// Images given as "= N" and rows of hex digits and "." (8 bits, "." 0),
// by their index.
std::map<int, cbitmap *> read_images(const std::string &path) {
    std::map<int, cbitmap *> images;
    auto lines = source_lines(path);
    try {
        for (size_t i = 0; i < lines.size();) {
            auto &[number, head] = lines[i];
            int index = -1;
            char rest = 0;
            if (std::sscanf(head.c_str(), "= %d%c", &index, &rest) != 1 || index <= 0 || index >= RESOURCE_ITEMS ||
                images.count(index))
                throw fault_at(path, number, "expected \"= N\" with a new image index below " +
                                                 std::to_string(RESOURCE_ITEMS));
            size_t first = ++i;
            while (i < lines.size() && lines[i].second[0] != '=') i++;
            if (i == first) throw fault_at(path, number, "image without rows");
            int w = int(lines[first].second.size()), h = int(i - first);
            cbitmap *b = tamu_create_bitmap(w, h, 8);
            images[index] = b;
            for (int y = 0; y < h; y++) {
                auto &[row_number, row] = lines[first + size_t(y)];
                if (int(row.size()) != w) throw fault_at(path, row_number, "row is not " + std::to_string(w) + " wide");
                for (int x = 0; x < w; x++) {
                    int c = row[size_t(x)] == '.' ? 0 : hex_digit(row[size_t(x)]);
                    if (c < 0) throw fault_at(path, row_number, "not a hex digit or '.'");
                    b->rows[y][x] = uint8_t(c);
                }
            }
        }
    } catch (const fault &) {
        for (auto &[index, b] : images) tamu_destroy_bitmap(b);
        throw;
    }
    return images;
}

// A point at angle a (65536 a turn) on a circle of radius r around cx, cy.
void circle_point(int cx, int cy, int r, int a, int *x, int *y) {
    *x = cx + ((r * fcos(uint32_t(a)) + 0x8000) >> 16);
    *y = cy + ((r * fsin(uint32_t(a)) + 0x8000) >> 16);
}

// The browser's animations into images.
void draw_browser_animations(std::map<int, cbitmap *> &images) {
    for (int f = 0; f < ANIM_LIST_FRAMES; f++) {
        // Eight dots around, the lit one going round.
        cbitmap *b = tamu_create_bitmap(8, 8, 8);
        for (int i = 0; i < 8; i++) {
            int x, y;
            circle_point(4, 4, 3, i * 8192, &x, &y);
            tamu_putpixel(b, x, y, i == f ? 7 : i == (f + 7) % 8 ? 6 : 5);
        }
        images[ANIM_LIST + f] = b;
    }
    for (int f = 0; f < ANIM_LAUNCH_FRAMES; f++) {
        // A ring filling up, a tick at a time.
        cbitmap *b = tamu_create_bitmap(12, 12, 8);
        tamu_rectfill(b, 4, 4, 7, 7, f % 2 ? 7 : 11);
        for (int i = 0; i < 12; i++) {
            int x, y;
            circle_point(6, 6, 5, 16384 - i * 65536 / 12, &x, &y);
            tamu_putpixel(b, x, y, i <= f ? 11 : 5);
        }
        images[ANIM_LAUNCH + f] = b;
    }
    for (int f = 0; f < ANIM_CART_FRAMES; f++) {
        // An arrow falling into a tray.
        cbitmap *b = tamu_create_bitmap(12, 12, 8);
        int y = f * 9 / ANIM_CART_FRAMES - 2;
        tamu_rectfill(b, 5, y, 6, y + 3, 12);
        tamu_hline(b, 3, 8, y + 4, 12);
        tamu_hline(b, 4, 7, y + 5, 12);
        tamu_hline(b, 5, 6, y + 6, 12);
        tamu_hline(b, 0, 11, 11, 6);
        tamu_vline(b, 0, 8, 11, 6);
        tamu_vline(b, 11, 8, 11, 6);
        images[ANIM_CART + f] = b;
    }
}

cpod *build_resources(const std::string &assets, cpalette **palette_out) {
    cpalette *palette = read_palette(assets + "/data/palette.txt");
    cbitmap *logo = read_art(assets + "/data/logo.txt", LOGO_W, LOGO_H, nullptr);
    cbitmap *icon = read_art(assets + "/data/icon.txt", ICON_SIZE, ICON_SIZE, palette);
    cfile *info = read_info(assets + "/data/info.txt");
    cbitmap *cart_template = draw_cart_template(palette);
    std::map<int, cbitmap *> images = read_images(assets + "/data/browser_images.txt");
    draw_browser_animations(images);
    cpod *pod = tamu_create_pod(RESOURCE_ITEMS);
    std::snprintf(pod->name, sizeof pod->name, "resources");
    for (int i = 0; i < RESOURCE_ITEMS; i++) {
        switch (i) {
        case RES_PALETTE: {
            cpalette *copy = tamu_create_palette();
            *copy = *palette;
            cpod_add_item(pod, CPOD_ITEM_PALETTE, copy);
            break;
        }
        case RES_LOGO: cpod_add_item(pod, CPOD_ITEM_BITMAP, logo); break;
        case RES_INFO: cpod_add_item(pod, CPOD_ITEM_FILE, info); break;
        case RES_ICON: cpod_add_item(pod, CPOD_ITEM_BITMAP, icon); break;
        case RES_CART_TEMPLATE: cpod_add_item(pod, CPOD_ITEM_BITMAP, cart_template); break;
        default:
            if (images.count(i))
                cpod_add_item(pod, CPOD_ITEM_BITMAP, images[i]);
            else
                cpod_add_item(pod, CPOD_ITEM_FILE, memory_file("", nullptr, 0));
            break;
        }
    }
    *palette_out = palette;
    return pod;
}

cfile *pod_as_file(const std::string &name, cpod *pod) {
    cbuffer *file = tamu_create_buffer(0);
    if (tamu_save_pod_file(nullptr, pod, file) != 0) {
        tamu_destroy_buffer(file);
        throw fault{name + ": could not be written"};
    }
    std::snprintf(file->name, sizeof file->name, "%s", name.c_str());
    return file;
}

cfile *cart_image(const std::string &path, const std::string &name) {
    int result = 0;
    zorva_cart *cart = tamu_load_zorva_cart(path.c_str(), &result);
    if (!cart) throw fault{path + ": " + zorva_cart_result_text(result)};
    std::vector<uint8_t> image(CART_IMAGE_SIZE);
    int failed = save_zorva_cart_32k(cart, image.data());
    tamu_destroy_zorva_cart(cart);
    if (failed) throw fault{path + ": the code does not fit in a 32K cart image"};
    return memory_file(name, image.data(), CART_IMAGE_SIZE);
}

// The PNG cartridge of a text cart, as bytes. The picture is drawn with
// the resources and font made here; the file is written beside the output
// and removed again.
std::string png_cart(const std::string &path, const std::string &scratch) {
    int result = 0;
    zorva_cart *cart = tamu_load_zorva_cart(path.c_str(), &result);
    if (!cart) throw fault{path + ": " + zorva_cart_result_text(result)};
    int saved = save_zorva_cart_png(cart, scratch.c_str());
    tamu_destroy_zorva_cart(cart);
    if (saved != 0) {
        std::remove(scratch.c_str());
        throw fault{path + ": could not be written as a PNG cartridge"};
    }
    std::string bytes = read_bytes(scratch);
    std::remove(scratch.c_str());
    return bytes;
}

cfile *build_preloaded_carts(const std::string &assets, const std::string &scratch) {
    std::string folder = assets + "/data/demos/";
    std::string list_path = folder + "preloaded.txt";
    cpod *pod = tamu_create_pod(8);
    std::snprintf(pod->name, sizeof pod->name, "bbs_carts");
    std::string favourites;
    std::vector<cfile *> carts;
    try {
        for (auto &[number, line] : source_lines(list_path)) {
            std::istringstream words(line);
            std::string id, file, title;
            words >> id >> file;
            std::getline(words >> std::ws, title);
            if (id.size() < 2 || id.size() > 20 || file.empty() || title.empty())
                throw fault_at(list_path, number, "expected \"id file title\"");
            for (char c : id)
                if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
                    throw fault_at(list_path, number, "a forum id holds a-z, 0-9 and _ only");
            char entry[512];
            std::snprintf(entry, sizeof entry, "|%-20s |%-20s |%-6d |%-16s |%-20s |%s\n", id.c_str(), "", 0, "zorva", "",
                          title.c_str());
            favourites += entry;
            std::string bytes = png_cart(folder + file, scratch);
            carts.push_back(memory_file(id + ".zv.png", bytes.data(), int(bytes.size())));
        }
    } catch (...) {
        for (cfile *c : carts) tamu_destroy_buffer(c);
        tamu_destroy_pod(pod);
        throw;
    }
    cpod_add_item(pod, CPOD_ITEM_FILE, memory_file("favourites.txt", favourites.data(), int(favourites.size())));
    for (cfile *c : carts) cpod_add_item(pod, CPOD_ITEM_FILE, c);
    cfile *file = nullptr;
    try {
        file = pod_as_file("bbs_carts.pod", pod);
    } catch (...) {
        tamu_destroy_pod(pod);
        throw;
    }
    tamu_destroy_pod(pod);
    return file;
}

cfile *build_runtimes(const char *runtimes_dir) {
    static const char *const names[] = {"windows/zorva.exe", "windows/SDL2.dll", "linux/zorva", "macos/zorva",
                                        "macos/SDL2"};
    cpod *pod = tamu_create_pod(8);
    std::snprintf(pod->name, sizeof pod->name, "runtimes");
    for (const char *name : names) {
        std::string bytes;
        if (runtimes_dir) {
            std::ifstream in(std::string(runtimes_dir) + "/" + name, std::ios::binary);
            if (in) {
                std::ostringstream out;
                out << in.rdbuf();
                bytes = out.str();
            }
        }
        cpod_add_item(pod, CPOD_ITEM_FILE, memory_file(name, bytes.data(), int(bytes.size())));
    }
    cfile *file = nullptr;
    try {
        file = pod_as_file("runtimes.pod", pod);
    } catch (...) {
        tamu_destroy_pod(pod);
        throw;
    }
    tamu_destroy_pod(pod);
    return file;
}

void check_text_cart(const std::string &path) {
    int result = 0;
    zorva_cart *cart = tamu_load_zorva_cart(path.c_str(), &result);
    if (!cart) throw fault{path + ": " + zorva_cart_result_text(result)};
    tamu_destroy_zorva_cart(cart);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: datapod ASSETS_DIR OUT.pod [RUNTIMES_DIR]\n");
        return 2;
    }
    std::string assets = argv[1];
    cconfig.pod_lz4 = TAMU_POD_STORE;
    cpod *data = tamu_create_pod(8);
    std::snprintf(data->name, sizeof data->name, "data");
    cpalette *palette = nullptr;
    cpod *resources = nullptr;
    cpod *font = nullptr;
    try {
        std::string boot_sound = assets + "/data/boot_sound.zv";
        check_text_cart(boot_sound);
        std::string bytes = read_bytes(boot_sound);
        cpod_add_item(data, CPOD_ITEM_FILE, memory_file("boot_sound.zv", bytes.data(), int(bytes.size())));
        resources = build_resources(assets, &palette);
        cpod_add_item(data, CPOD_ITEM_FILE, pod_as_file("resources.pod", resources));
        bytes = read_bytes(assets + "/font/system_font.pod");
        cpod_add_item(data, CPOD_ITEM_FILE, memory_file("system_font.pod", bytes.data(), int(bytes.size())));
        cpod_add_item(data, CPOD_ITEM_FILE, cart_image(assets + "/data/main_cart.zv", "zorva.zv"));
        cpod_add_item(data, CPOD_ITEM_FILE, memory_file("", nullptr, 0));
        cpod_add_item(data, CPOD_ITEM_FILE, memory_file("", nullptr, 0));
        // PNG cartridges are drawn with these.
        font = tamu_load_pod((assets + "/font/system_font.pod").c_str());
        if (!font) throw fault{assets + "/font/system_font.pod: not a pod file"};
        pstate.resource_pod = resources;
        pstate.font_pod = font;
        // Labels are drawn in the display colours.
        tamu_palette = palette;
        cpod_add_item(data, CPOD_ITEM_FILE, build_preloaded_carts(assets, std::string(argv[2]) + ".cart.png"));
        tamu_palette = nullptr;
        cpod_add_item(data, CPOD_ITEM_FILE, build_runtimes(argc == 4 ? argv[3] : nullptr));
    } catch (const fault &f) {
        std::fprintf(stderr, "datapod: %s\n", f.text.c_str());
        tamu_palette = nullptr;
        pstate.resource_pod = nullptr;
        pstate.font_pod = nullptr;
        tamu_destroy_pod(font);
        tamu_destroy_pod(resources);
        tamu_destroy_palette(palette);
        tamu_destroy_pod(data);
        return 1;
    }
    int result = tamu_save_pod(argv[2], data);
    pstate.resource_pod = nullptr;
    pstate.font_pod = nullptr;
    tamu_destroy_pod(font);
    tamu_destroy_pod(resources);
    tamu_destroy_palette(palette);
    tamu_destroy_pod(data);
    if (result != 0) {
        std::fprintf(stderr, "datapod: %s could not be written\n", argv[2]);
        return 1;
    }
    return 0;
}
