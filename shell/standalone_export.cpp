// The stand-alone export.
#include "standalone_export.h"

#include "cart_forms.h"
#include "cart_text.h"
#include "code_compression.h"
#include "demo_install.h"
#include "tamu.h"
#include "zorva_app.h"
#include "zorva_cart.h"
#include "zorva_print.h"
#include "zorva_run.h"
#include "zorva_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

const char *const export_runtime_names[EXPORT_RUNTIMES] = {
    "windows/zorva.exe", "windows/SDL2.dll", "linux/zorva", "macos/zorva", "macos/SDL2",
};

namespace {

constexpr int ICON_SIZE = 128;
constexpr int SHADOW_VALUE = 80;
constexpr int SHADOW_OFFSET = 4;
constexpr int PROGRAM_MODE = 0775;
constexpr int RES_PALETTE = 1;
// The data pod items the export takes as they are: boot sound, resources,
// font.
constexpr int COPIED_ITEMS = 3;

using bytes = std::vector<uint8_t>;

// The export folder lies in the current folder itself.
bool holds_separator(const std::string &name) { return name.find_first_of("/\\") != std::string::npos; }

bool ends_with_bin(const std::string &name) {
    return name.size() >= 4 && name.compare(name.size() - 4, 4, ".bin") == 0;
}

bool read_disk_file(const char *path, bytes &out) {
    out.clear();
    std::FILE *f = std::fopen(path, "rb");
    if (!f) return false;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// A runtime file: the bytes packed in the data pod, else, for this
// platform's own runtime, the running player's. False when there is none.
bool runtime_file(cpod *runtimes, int which, bytes &out) {
    out.clear();
    for (int i = 0; runtimes && i < runtimes->count; i++) {
        auto *file = static_cast<cfile *>(cpod_get_item(runtimes, i, CPOD_ITEM_FILE));
        if (file && std::strcmp(file->name, export_runtime_names[which]) == 0 && file->size > 0) {
            out.assign(file->data, file->data + file->size);
            return true;
        }
    }
    char path[ZORVA_PATH_SIZE] = "";
#ifdef _WIN32
    constexpr int own_program = RUNTIME_WINDOWS_PROGRAM;
    if (which == RUNTIME_WINDOWS_SDL2)
        return tamu_prefix_with_program_path("SDL2.dll", path) == 0 && read_disk_file(path, out) && !out.empty();
#else
    constexpr int own_program = RUNTIME_LINUX_PROGRAM;
#endif
    if (which != own_program) return false;
    return tamu_get_program_filename(path) == 0 && read_disk_file(path, out) && !out.empty();
}

// The name a cart takes in the exported data pod: the file's base name and
// extension, the extension left out when it is ".png".
std::string pod_cart_name(const char *file_name, const std::string &fallback) {
    if (!file_name || !file_name[0]) return fallback;
    char base[1024] = "", extension[1024] = "";
    tamu_split_filename(file_name, nullptr, base, extension);
    std::string name = base;
    if (std::strcmp(extension, ".png") != 0) name += extension;
    return name.empty() ? fallback : name;
}

cfile *named_buffer(const std::string &name) {
    cbuffer *file = tamu_create_buffer(0);
    std::snprintf(file->name, sizeof file->name, "%s", name.c_str());
    return file;
}

// A name of the export's words as a path in the current folder (or from
// the root folder for a leading "/"); false for one that leads elsewhere.
bool cart_folder_path(const std::string &name, char *out) {
    return tamu_resolve_inside(pstate.root_path, pstate.current_directory, name.data(), name.size(), out) > 0;
}

zorva_cart *read_cart(const char *path) {
    if (std::strstr(path, ".png")) return load_zorva_cart_png(path);
    return tamu_load_zorva_cart(path, nullptr);
}

// Adds a cart's 32K image to the pod; false (after saying why) when its
// code does not fit.
bool add_cart_image(cpod *pod, const zorva_cart *cart, const std::string &name) {
    cfile *file = named_buffer(name);
    if (save_cart_to_file_as_32k_block(cart, file) != 0) {
        tamu_destroy_buffer(file);
        const char *code = cart->code ? cart->code : "";
        int length = int(std::strlen(code));
        bytes packed(size_t(compress_mini_bound(length)));
        zorva_print_col("compressed code size too large\n", 8);
        zorva_print_2("%d / %d bytes", compress_mini(code, packed.data(), length), CART_CODE_ROOM);
        return false;
    }
    cpod_add_item(pod, CPOD_ITEM_FILE, file);
    return true;
}

// The console colours of the display palette.
uint32_t console_colour(int c) {
    auto *palette = static_cast<cpalette *>(cpod_get_item(pstate.resource_pod, RES_PALETTE, CPOD_ITEM_PALETTE));
    c &= 15;
    if (!palette) return 0xFF000000u | uint32_t(c * 17) * 0x010101u;
    const uint8_t *rgb = palette->rgb + 3 * c;
    return 0xFF000000u | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
}

uint32_t &pixel32(const cbitmap *b, int x, int y) { return reinterpret_cast<uint32_t *>(b->rows[y])[x]; }

// The icon of the export: sprite n of the working cart enlarged (colour 0
// transparent), else the cart's label. Null after printing why not.
cbitmap *make_icon(const zorva_cart *cart, int sprite, int *shadow) {
    cbitmap *icon = tamu_create_bitmap(ICON_SIZE, ICON_SIZE, 32);
    if (!icon) return nullptr;
    if (sprite != PARAM_UNSET) {
        *shadow = 1;
        bool seen = false;
        if (sprite >= 0 && sprite < 256 && cart->gfx) {
            int sx = sprite % 16 * 8, sy = sprite / 16 * 8;
            for (int y = 0; y < ICON_SIZE; y++)
                for (int x = 0; x < ICON_SIZE; x++) {
                    int c = cart->gfx->rows[sy + y / 16][sx + x / 16] & 15;
                    pixel32(icon, x, y) = c ? console_colour(c) : 0;
                    seen |= c != 0;
                }
        }
        if (!seen) {
            zorva_print("no icon found");
            tamu_destroy_bitmap(icon);
            return nullptr;
        }
        return icon;
    }
    *shadow = 0;
    if (!cart->label) {
        zorva_print("please capture a label or use -i");
        tamu_destroy_bitmap(icon);
        return nullptr;
    }
    for (int y = 0; y < ICON_SIZE; y++)
        for (int x = 0; x < ICON_SIZE; x++) pixel32(icon, x, y) = console_colour(cart->label->rows[y][x]);
    return icon;
}

void put_be32(bytes &out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

void put_tag(bytes &out, const char *tag) { out.insert(out.end(), tag, tag + 4); }

std::string xml_text(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

int write_bytes(const std::string &path, const bytes &content) {
    cfile *file = tamu_fopen_memory(content.data(), int(content.size()));
    int result = save_binary_file(path.c_str(), file);
    tamu_fclose(file);
    return result;
}

int write_program(const std::string &path, const bytes &program) {
    if (write_bytes(path, program) != 0) return 1;
    tamu_chmod(path.c_str(), PROGRAM_MODE);
    return 0;
}

void make_folders(const std::string &base, std::initializer_list<const char *> parts) {
    std::string path = base;
    for (const char *part : parts) {
        path += part;
        tamu_mkdir(path.c_str());
    }
}

}  // namespace

int extract_parameters(const char *text, param_list *list) {
    std::memset(list, 0, sizeof *list);
    for (int32_t &option : list->options) option = PARAM_UNSET;
    std::vector<std::string> words;
    std::string word;
    for (const char *p = text ? text : "";; p++) {
        if (*p == ' ' || *p == ',' || *p == 0) {
            if (!word.empty()) words.push_back(word);
            word.clear();
            if (*p == 0) break;
        } else {
            word += *p;
        }
    }
    for (size_t i = 0; i < words.size(); i++) {
        const std::string &w = words[i];
        if (w[0] == '-') {
            if (w.size() != 2 || w[1] < 'a' || w[1] > 'z' || i + 1 >= words.size()) {
                zorva_print("bad argument");
                return 1;
            }
            list->options[w[1] - 'a'] = std::atoi(words[++i].c_str());
        } else if (list->count < PARAM_WORDS) {
            std::snprintf(list->words[list->count++], PARAM_WORD_SIZE, "%s", w.c_str());
        }
    }
    return 0;
}

int save_cart_to_file_as_32k_block(const zorva_cart *cart, cfile *file) {
    bytes image(CART_IMAGE_SIZE);
    if (!cart || save_zorva_cart_32k(cart, image.data()) != 0) return 1;
    file->size = 0;
    file->position = 0;
    tamu_fwrite(image.data(), 1, CART_IMAGE_SIZE, file);
    return 0;
}

int save_binary_file(const char *name, const cfile *buffer) {
    cfile *f = tamu_fopen_save(name);
    if (f) {
        if (buffer && buffer->size > 0) tamu_fwrite(buffer->data, 1, buffer->size, f);
        if (tamu_fclose_save(f) == 0) return 0;
    }
    zorva_print_2("could not write %s", name);
    return 1;
}

cfile *generate_dat_file(const param_list *list, int *carts) {
    *carts = 0;
    cpod *pod = tamu_create_pod(COPIED_ITEMS + 1 + list->count);
    for (int i = 0; i < COPIED_ITEMS; i++) {
        auto *item = static_cast<cfile *>(cpod_get_item(pstate.data_pod, i, CPOD_ITEM_FILE));
        cfile *copy = named_buffer(item ? item->name : "");
        if (item && item->size > 0) tamu_fwrite(item->data, 1, item->size, copy);
        cpod_add_item(pod, CPOD_ITEM_FILE, copy);
    }

    merge_code_from_tabs();
    std::string export_name = list->count > 0 ? list->words[0] : "";
    if (ends_with_bin(export_name)) export_name.resize(export_name.size() - 4);
    bool ok = add_cart_image(pod, working_cart(), pod_cart_name(pstate.working_file_name, export_name + ".zv"));
    for (int i = 1; ok && i < list->count; i++) {
        char path[ZORVA_PATH_SIZE];
        const char *word = list->words[i];
        zorva_cart *cart = cart_folder_path(word, path) ? read_cart(path) : nullptr;
        if (!cart) {
            std::snprintf(global_str, sizeof global_str, "** %.1000s not found", list->words[i]);
            zorva_print_col(global_str, 6);
            ok = false;
            break;
        }
        ok = add_cart_image(pod, cart, pod_cart_name(list->words[i], list->words[i]));
        tamu_destroy_zorva_cart(cart);
    }
    cfile *file = nullptr;
    if (ok) {
        file = tamu_create_buffer(0);
        if (tamu_save_pod_file(nullptr, pod, file) != 0) {
            zorva_print("could not write data.pod");
            tamu_destroy_buffer(file);
            file = nullptr;
        }
        *carts = list->count;
    }
    tamu_destroy_pod(pod);
    return file;
}

int save_icns(const cbitmap *icon, const char *name, int shadow) {
    if (!icon || icon->bpp != 32 || icon->width != ICON_SIZE || icon->height != ICON_SIZE) return 1;
    constexpr int RUN = ICON_SIZE;
    constexpr uint32_t it32_length = 8 + 4 + 3 * ICON_SIZE * (1 + RUN);
    constexpr uint32_t mask_length = 8 + ICON_SIZE * ICON_SIZE;
    bytes out;
    put_tag(out, "icns");
    put_be32(out, 8 + it32_length + mask_length);
    put_tag(out, "it32");
    put_be32(out, it32_length);
    put_be32(out, 0);
    for (int shift : {16, 8, 0})
        for (int y = 0; y < ICON_SIZE; y++) {
            out.push_back(uint8_t(RUN - 1));   // a literal run of 128 bytes
            for (int x = 0; x < ICON_SIZE; x++) out.push_back(uint8_t(pixel32(icon, x, y) >> shift));
        }
    put_tag(out, "t8mk");
    put_be32(out, mask_length);
    size_t mask = out.size();
    for (int y = 0; y < ICON_SIZE; y++)
        for (int x = 0; x < ICON_SIZE; x++) out.push_back(pixel32(icon, x, y) >> 24 ? 255 : 0);
    if (shadow) {
        bytes solid(out.begin() + long(mask), out.end());
        for (int y = SHADOW_OFFSET; y < ICON_SIZE; y++)
            for (int x = SHADOW_OFFSET; x < ICON_SIZE; x++) {
                uint8_t &m = out[mask + size_t(y * ICON_SIZE + x)];
                if (!m && solid[size_t((y - SHADOW_OFFSET) * ICON_SIZE + x - SHADOW_OFFSET)]) m = SHADOW_VALUE;
            }
    }
    return write_bytes(name, out);
}

int create_plist_file(const char *path, const char *name) {
    std::string n = xml_text(name ? name : "");
    auto entry = [](const char *key, const std::string &value) {
        return std::string("\t<key>") + key + "</key>\n\t<string>" + value + "</string>\n";
    };
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n<dict>\n";
    text += entry("CFBundleExecutable", n);
    text += entry("CFBundleGetInfoString", n);
    text += entry("CFBundleIconFile", n + ".icns");
    text += entry("CFBundleIdentifier", "com.zorva_author." + n);
    text += entry("CFBundleInfoDictionaryVersion", "6.0");
    text += entry("CFBundleName", n);
    text += entry("CFBundlePackageType", "APPL");
    text += entry("CFBundleShortVersionString", ZORVA_VERSION);
    text += entry("CFBundleSignature", "?\?\?\?");
    text += entry("CFBundleVersion", ZORVA_VERSION);
    text += entry("LSMinimumSystemVersion", "10.5");
    text += "</dict>\n</plist>\n";
    return write_bytes(path, bytes(text.begin(), text.end()));
}

int export_bin(const param_list *list) {
    std::string name = list && list->count > 0 ? list->words[0] : "";
    if (ends_with_bin(name)) name.resize(name.size() - 4);
    if (name.empty()) {
        zorva_print("no output file");
        return 1;
    }
    char folder_path[ZORVA_PATH_SIZE];
    if (holds_separator(name) || !cart_folder_path(name + ".bin/", folder_path)) {
        zorva_print("bad argument");
        return 1;
    }

    cpod *runtimes = read_data_pod_nested(POD_EXPORT_RUNTIMES);
    bytes runtime[EXPORT_RUNTIMES];
    bool have[EXPORT_RUNTIMES];
    for (int i = 0; i < EXPORT_RUNTIMES; i++) have[i] = runtime_file(runtimes, i, runtime[i]);
    tamu_destroy_pod(runtimes);

    cbitmap *icon = nullptr;
    int shadow = 0;
    if (have[RUNTIME_MACOS_PROGRAM]) {
        icon = make_icon(working_cart(), list->options['i' - 'a'], &shadow);
        if (!icon) return 1;
    }
    int carts = 0;
    cfile *pod = generate_dat_file(list, &carts);
    if (!pod) {
        tamu_destroy_bitmap(icon);
        return 1;
    }
    zorva_print_2("exporting %d carts\n", carts);

    std::string folder = folder_path;
    tamu_mkdir(folder.c_str());
    int failed = 0;
    if (have[RUNTIME_WINDOWS_PROGRAM]) {
        make_folders(folder, {"windows"});
        std::string dir = folder + "windows/";
        failed |= write_bytes(dir + name + ".exe", runtime[RUNTIME_WINDOWS_PROGRAM]);
        if (have[RUNTIME_WINDOWS_SDL2]) failed |= write_bytes(dir + "SDL2.dll", runtime[RUNTIME_WINDOWS_SDL2]);
        failed |= save_binary_file((dir + "data.pod").c_str(), pod);
    } else {
        zorva_print("no windows runtime");
    }
    if (have[RUNTIME_LINUX_PROGRAM]) {
        make_folders(folder, {"linux"});
        std::string dir = folder + "linux/";
        failed |= write_program(dir + name, runtime[RUNTIME_LINUX_PROGRAM]);
        failed |= save_binary_file((dir + "data.pod").c_str(), pod);
    } else {
        zorva_print("no linux runtime");
    }
    if (have[RUNTIME_MACOS_PROGRAM]) {
        std::string app_dir = name + ".app";
        make_folders(folder, {app_dir.c_str(), "/Contents", "/MacOS"});
        make_folders(folder + app_dir + "/Contents", {"/Resources"});
        make_folders(folder + app_dir + "/Contents",
                     {"/Frameworks", "/SDL2.framework", "/Versions", "/A"});
        std::string contents = folder + app_dir + "/Contents/";
        failed |= write_program(contents + "MacOS/" + name, runtime[RUNTIME_MACOS_PROGRAM]);
        failed |= save_binary_file((contents + "MacOS/data.pod").c_str(), pod);
        if (save_icns(icon, (contents + "Resources/" + name + ".icns").c_str(), shadow) != 0) failed = 1;
        if (have[RUNTIME_MACOS_SDL2])
            failed |= write_bytes(contents + "Frameworks/SDL2.framework/Versions/A/SDL2", runtime[RUNTIME_MACOS_SDL2]);
        if (create_plist_file((contents + "Info.plist").c_str(), name.c_str()) != 0) failed = 1;
    } else {
        zorva_print("no macos runtime");
    }
    tamu_destroy_bitmap(icon);
    tamu_destroy_buffer(pod);
    return failed;
}

void do_export(const char *) {}

void do_import(const char *) {}
