// The binary cart forms, the legacy fixes and the text transfer forms.
#include "cart_forms.h"

#include "code_compression.h"
#include "tamu.h"
#include "zorva_cart.h"
#include "zorva_memory.h"
#include "zorva_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

int last_png_load_error = PNG_CART_OK;
cart_form_hooks cart_forms = {nullptr, nullptr};

static_assert(CART_ROM_SIZE == ZORVA_ROM_SIZE && CART_CODE_OFFSET + CART_CODE_ROOM <= CART_IMAGE_SIZE);
static_assert(CART_PNG_DATA_SIZE <= CART_PNG_WIDTH * CART_PNG_HEIGHT);

// Resource pod item of the cart template picture.
constexpr int CART_TEMPLATE_ITEM = 145;

#if defined(_WIN32)
constexpr char platform_letter = 'w';
#else
constexpr char platform_letter = 'l';
#endif

static void print_line(const char *text) {
    if (cart_forms.print)
        cart_forms.print(text);
    else
        tamu_debugf("%s\n", text);
}

// ---------------------------------------------------------------------------
// The 32K cart image

static void write_rom(zorva_cart *cart, const uint8_t *rom) {
    for (int a = 0; a < CART_ROM_SIZE; a++) zorva_poke(nullptr, cart, a, rom[a]);
}

static void read_rom(const zorva_cart *cart, uint8_t *rom) {
    // Peeking with no console state reads the cart and changes nothing.
    zorva_cart *source = const_cast<zorva_cart *>(cart);
    for (int a = 0; a < CART_ROM_SIZE; a++) rom[a] = uint8_t(zorva_peek(nullptr, source, a));
}

// The compressed code (or the text itself) as it goes into the image;
// false when it does not fit.
static bool pack_code(const zorva_cart *cart, std::vector<uint8_t> &packed) {
    if (cart->code_cut) return false;
    const char *code = cart->code ? cart->code : "";
    const void *end = cart->code ? std::memchr(code, 0, ZORVA_CODE_BUFFER_SIZE) : code;
    int length = end ? int(static_cast<const char *>(end) - code) : ZORVA_CODE_BUFFER_SIZE;
    packed.resize(size_t(compress_mini_bound(length)));
    int size = compress_mini(code, packed.data(), length);
    if (size > CART_CODE_ROOM) return false;
    packed.resize(size_t(size));
    return true;
}

int save_zorva_cart_32k(const zorva_cart *cart, uint8_t *output) {
    if (!cart || !output) return 1;
    std::vector<uint8_t> packed;
    if (!pack_code(cart, packed)) return 1;
    read_rom(cart, output);
    // The code area and the 256 bytes after it, which hold nothing.
    std::memset(output + CART_CODE_OFFSET, 0, CART_IMAGE_SIZE - CART_CODE_OFFSET);
    if (!packed.empty()) std::memcpy(output + CART_CODE_OFFSET, packed.data(), packed.size());
    return 0;
}

static bool is_compressed(const uint8_t *code) { return std::memcmp(code, ":c:", 4) == 0; }

int load_zorva_cart_32k(zorva_cart *cart, const uint8_t *image) {
    if (!cart || !image) return 1;
    write_rom(cart, image);
    if (!cart->code) cart->code = static_cast<char *>(tamu_malloc(ZORVA_CODE_BUFFER_SIZE));
    std::memset(cart->code, 0, ZORVA_CODE_BUFFER_SIZE);
    cart->code_cut = 0;
    const uint8_t *code = image + CART_CODE_OFFSET;
    if (!is_compressed(code)) {
        std::memcpy(cart->code, code, CART_CODE_ROOM);
        return 0;
    }
    int n = decompress_mini(code, CART_CODE_ROOM, cart->code, ZORVA_CODE_BUFFER_SIZE - 1);
    return n == DECOMPRESS_MINI_ERROR ? 1 : 0;
}

int hash_cart(const zorva_cart *cart, char *output) {
    if (!output) return 1;
    std::vector<uint8_t> image(CART_IMAGE_SIZE);
    if (save_zorva_cart_32k(cart, image.data()) != 0) return 1;
    tamu_sha1(image.data(), CART_IMAGE_SIZE, output);
    return 0;
}

// ---------------------------------------------------------------------------
// The PNG cartridge: writing

static cpod *system_font() { return pstate.font_pod ? pstate.font_pod : tamu_font1; }

void draw_cart_comment(cbitmap *bitmap, const char *code, int x, int y) {
    if (!bitmap || !code || code[0] != '-' || code[1] != '-') return;
    const char *text = code + 2;
    if (*text == ' ') text++;
    char line[CART_TITLE_CHARS + 1];
    int n = 0;
    while (n < CART_TITLE_CHARS && text[n] && text[n] != '\n') {
        line[n] = text[n];
        n++;
    }
    line[n] = 0;
    tamu_draw_text_ex(bitmap, line, system_font(), x, y, TAMU_TEXT_SOLID, CART_PNG_TITLE_COLOUR);
}

// A plain cart: a grey body with dark windows for the label and the text.
static void paint_plain_template(cbitmap *picture) {
    for (int y = 0; y < picture->height; y++) {
        uint32_t *row = reinterpret_cast<uint32_t *>(picture->rows[y]);
        for (int x = 0; x < picture->width; x++) {
            bool label = x >= 14 && x < 146 && y >= 22 && y < 154;
            bool text = x >= 14 && x < 146 && y >= 163 && y < 196;
            row[x] = label || text ? 0xFF141418 : 0xFF34343C;
        }
    }
}

static cbitmap *cart_template() {
    if (cart_forms.cart_template)
        if (cbitmap *picture = cart_forms.cart_template()) return picture;
    if (pstate.resource_pod)
        return static_cast<cbitmap *>(cpod_get_item(pstate.resource_pod, CART_TEMPLATE_ITEM, CPOD_ITEM_BITMAP));
    return nullptr;
}

// The visible picture of the cart, before the data goes into its low bits.
static cbitmap *draw_cart_picture(const zorva_cart *cart) {
    cbitmap *picture = tamu_create_bitmap(CART_PNG_WIDTH, CART_PNG_HEIGHT, 32);
    cbitmap *base = cart_template();
    if (base)
        tamu_blit(base, picture, 0, 0, 0, 0, CART_PNG_WIDTH, CART_PNG_HEIGHT);
    else
        paint_plain_template(picture);
    if (cart->label) tamu_blit(cart->label, picture, 0, 0, CART_PNG_LABEL_X, CART_PNG_LABEL_Y, 128, 128);
    const char *code = cart->code ? cart->code : "";
    draw_cart_comment(picture, code, CART_PNG_TITLE_X, CART_PNG_TITLE_Y);
    if (const char *second = std::strchr(code, '\n'))
        draw_cart_comment(picture, second + 1, CART_PNG_TITLE_X, CART_PNG_TITLE2_Y);
    tamu_draw_text_ex(picture, "zorva cartridge", system_font(), CART_PNG_TITLE_X, CART_PNG_NAME_Y, TAMU_TEXT_SOLID,
                      CART_PNG_NAME_COLOUR);
    return picture;
}

// Puts the data block into the two low bits of each channel: B bits 0-1,
// G bits 2-3, R bits 4-5, A bits 6-7 of each byte.
static void hide_data(cbitmap *picture, const uint8_t *data) {
    for (int i = 0; i < CART_PNG_WIDTH * CART_PNG_HEIGHT; i++) {
        uint32_t &pixel = reinterpret_cast<uint32_t *>(picture->rows[i / CART_PNG_WIDTH])[i % CART_PNG_WIDTH];
        uint32_t byte = i < CART_PNG_DATA_SIZE ? data[i] : 0;
        pixel = (pixel & 0xFCFCFCFC) | (byte >> 6 & 3) << 24 | (byte >> 4 & 3) << 16 | (byte >> 2 & 3) << 8 |
                (byte & 3);
    }
}

int save_zorva_cart_png(const zorva_cart *cart, const char *name) {
    if (!cart || !name) return 2;
    std::vector<uint8_t> data(CART_PNG_DATA_SIZE);
    if (save_zorva_cart_32k(cart, data.data()) != 0) return 1;
    data[CART_IMAGE_SIZE] = ZORVA_CART_VERSION;
    data[CART_IMAGE_SIZE + 1] = 0;
    data[CART_IMAGE_SIZE + 2] = 1;
    data[CART_IMAGE_SIZE + 3] = 15;
    data[CART_IMAGE_SIZE + 4] = uint8_t(platform_letter);

    cbitmap *picture = draw_cart_picture(cart);
    hide_data(picture, data.data());
    unsigned e = tamu_save_png(name, picture);
    tamu_destroy_bitmap(picture);
    if (e) {
        tamu_debugf("could not write cart %s (%u)\n", name, e);
        return 2;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// The PNG cartridge: reading

zorva_cart *load_zorva_cart_png_data(const uint8_t *data) {
    int version = data[CART_IMAGE_SIZE];
    if (version > ZORVA_CART_VERSION) {
        char text[64];
        std::snprintf(text, sizeof text, "future_version: %d", version);
        print_line(text);
        last_png_load_error = PNG_CART_FUTURE_VERSION;
        return nullptr;
    }
    zorva_cart *cart = tamu_create_zorva_cart();
    cart->version = version;
    if (load_zorva_cart_32k(cart, data) != 0) {
        tamu_debug("cart code is corrupt\n");
        tamu_destroy_zorva_cart(cart);
        last_png_load_error = PNG_CART_CANNOT_LOAD;
        return nullptr;
    }
    last_png_load_error = PNG_CART_OK;
    return cart;
}

zorva_cart *load_zorva_cart_png_pixels(const uint8_t *rgba) {
    if (!rgba) {
        last_png_load_error = PNG_CART_CANNOT_LOAD;
        return nullptr;
    }
    std::vector<uint8_t> data(CART_PNG_DATA_SIZE);
    for (int i = 0; i < CART_PNG_DATA_SIZE; i++) {
        const uint8_t *p = rgba + 4 * i;   // R, G, B, A
        data[i] = uint8_t((p[3] & 3) << 6 | (p[0] & 3) << 4 | (p[1] & 3) << 2 | (p[2] & 3));
    }
    return load_zorva_cart_png_data(data.data());
}

// The RGBA pixels of a PNG cartridge (a malloc block), or null with the
// error word set. Only a 160 x 205 picture is decoded: the header tells
// the size first.
static unsigned char *decode_cart_picture(cfile *file) {
    last_png_load_error = PNG_CART_OK;
    if (!file) {
        last_png_load_error = PNG_CART_CANNOT_LOAD;
        return nullptr;
    }
    unsigned char *pixels = nullptr;
    unsigned e = LodePNG_decode32_tamu_file_sized(&pixels, file, CART_PNG_WIDTH, CART_PNG_HEIGHT, nullptr, nullptr);
    if (e) {
        // A picture of another size (or too long a file for this one) is
        // a PNG that is no cart.
        bool not_png = e != TAMU_IMAGE_ERROR_NO_FILE && e != TAMU_IMAGE_ERROR_TOO_LARGE &&
                       e != TAMU_IMAGE_ERROR_WRONG_SIZE;
        last_png_load_error = not_png ? PNG_CART_NOT_PNG : PNG_CART_CANNOT_LOAD;
        return nullptr;
    }
    return pixels;
}

zorva_cart *load_zorva_cart_png_from_file(cfile *file) {
    unsigned char *pixels = decode_cart_picture(file);
    if (!pixels) return nullptr;
    zorva_cart *cart = load_zorva_cart_png_pixels(pixels);
    std::free(pixels);
    return cart;
}

zorva_cart *load_zorva_cart_png(const char *name) {
    cfile *file = name ? tamu_fopen(name, "rb") : nullptr;
    unsigned char *pixels = decode_cart_picture(file);
    if (file) tamu_fclose(file);
    if (!pixels) return nullptr;
    // One decode gives both the cart and its label.
    zorva_cart *cart = load_zorva_cart_png_pixels(pixels);
    if (cart) cart->label = label_from_cart_pixels(pixels);
    std::free(pixels);
    return cart;
}

cbitmap *label_from_cart_pixels(const uint8_t *rgba) {
    if (!rgba) return nullptr;
    cbitmap *area = tamu_create_bitmap(128, 128, 32);
    for (int y = 0; y < 128; y++) {
        uint32_t *row = reinterpret_cast<uint32_t *>(area->rows[y]);
        const uint8_t *p = rgba + 4 * ((CART_PNG_LABEL_Y + y) * CART_PNG_WIDTH + CART_PNG_LABEL_X);
        for (int x = 0; x < 128; x++, p += 4)
            row[x] = uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }

    // Only the 16 console colours: the rest of the palette repeats colour 0,
    // which the conversion finds first.
    cpalette colours;
    for (int i = 0; i < 256; i++)
        for (int c = 0; c < 3; c++) {
            int entry = i < 16 ? i : 0;
            colours.rgb[3 * i + c] = tamu_palette ? tamu_palette->rgb[3 * entry + c] : uint8_t(entry);
        }
    cbitmap *label = tamu_create_bitmap(128, 128, 8);
    tamu_convert_bitmap(area, label, &colours);
    tamu_destroy_bitmap(area);
    return label;
}

cbitmap *label_from_png_cart(const char *path) {
    cfile *file = path && path[0] ? tamu_fopen(path, "rb") : nullptr;
    if (!file) return nullptr;
    int error = last_png_load_error;   // making a label is not loading a cart
    unsigned char *pixels = decode_cart_picture(file);
    last_png_load_error = error;
    tamu_fclose(file);
    cbitmap *label = label_from_cart_pixels(pixels);
    std::free(pixels);
    return label;
}

// ---------------------------------------------------------------------------
// Hex and binary forms

// Reads exactly n bytes of the file at name; false when it cannot be
// opened or is shorter.
static bool read_file_start(const char *name, uint8_t *out, int n) {
    cfile *file = name ? tamu_fopen(name, "rb") : nullptr;
    if (!file) return false;
    int got = tamu_fread(out, 1, n, file);
    tamu_fclose(file);
    return got == n;
}

static int hex_digit(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

zorva_cart *load_zorva_cart_hex(const char *name) {
    std::vector<uint8_t> text(CART_HEX_SIZE);
    if (!read_file_start(name, text.data(), CART_HEX_SIZE)) return nullptr;
    std::vector<uint8_t> rom(CART_ROM_SIZE);
    for (int i = 0; i < CART_ROM_SIZE; i++) {
        // "%2x": the high digit of a value below 16 is a space.
        int high = text[2 * i] == ' ' ? 0 : hex_digit(text[2 * i]);
        int low = hex_digit(text[2 * i + 1]);
        if (high < 0 || low < 0) return nullptr;
        rom[i] = uint8_t(high << 4 | low);
    }
    zorva_cart *cart = tamu_create_zorva_cart();
    write_rom(cart, rom.data());
    return cart;
}

zorva_cart *load_zorva_cart_bin(const char *name) {
    std::vector<uint8_t> rom(CART_ROM_SIZE);
    if (!read_file_start(name, rom.data(), CART_ROM_SIZE)) return nullptr;
    zorva_cart *cart = tamu_create_zorva_cart();
    write_rom(cart, rom.data());
    return cart;
}

// ---------------------------------------------------------------------------
// Legacy fixes

const char *const legacy_011_marker = "print(\"zorva 0.1.1 demo\"";

const char *const legacy_011_prelude =
    "--------------------------------\n"
    "-- legacy 0.1.1 api injected\n"
    "--------------------------------\n"
    "-- tables keep hidden fields:\n"
    "-- _num, _max, _min and _ci\n"
    "function _validate(c)\n"
    " if c._num==nil then\n"
    "  local n=0\n"
    "  while c[n+1]~=nil do n=n+1 end\n"
    "  c._num=n c._max=n c._min=n+1 c._ci=0\n"
    " end\n"
    "end\n"
    "function foreach(c,f)\n"
    " if c==nil then return end\n"
    " _validate(c)\n"
    " for i=1,c._max do\n"
    "  local v=c[i]\n"
    "  if v~=nil then c._ci=i f(v) end\n"
    " end\n"
    "end\n"
    "function all(c)\n"
    " if c==nil then return function() end end\n"
    " _validate(c)\n"
    " local i=0\n"
    " return function()\n"
    "  while i<c._max do\n"
    "   i=i+1\n"
    "   local v=c[i]\n"
    "   if v~=nil then c._ci=i return v end\n"
    "  end\n"
    " end\n"
    "end\n"
    "function add(c,v)\n"
    " if c==nil then return end\n"
    " _validate(c)\n"
    " local i=c._min\n"
    " while i<=c._max and c[i]~=nil do i=i+1 end\n"
    " c[i]=v\n"
    " c._num=c._num+1\n"
    " if i>c._max then c._max=i end\n"
    " c._min=i+1\n"
    " return v\n"
    "end\n"
    "function count(c)\n"
    " if c==nil then return end\n"
    " _validate(c)\n"
    " return c._num\n"
    "end\n"
    "function del(c,v)\n"
    " if c==nil or v==nil then return end\n"
    " _validate(c)\n"
    " local i=c._ci\n"
    " if c[i]~=v then\n"
    "  i=nil\n"
    "  for k=1,c._max do\n"
    "   if c[k]==v then i=k break end\n"
    "  end\n"
    " end\n"
    " if i==nil then return end\n"
    " c[i]=nil\n"
    " c._num=c._num-1\n"
    " if i<c._min then c._min=i end\n"
    " while c._max>0 and c[c._max]==nil do\n"
    "  c._max=c._max-1\n"
    " end\n"
    "end\n"
    "nd=0\n"
    "--------------------------------\n";

static int sfx_duration(const sfx_record &sfx) { return (sfx.speed < 1 ? 1 : sfx.speed) * 32; }
static bool sfx_loops(const sfx_record &sfx) { return sfx.loop_end > sfx.loop_start; }

// The sound effect of a music channel, or null for a silent channel.
static const sfx_record *channel_sfx(const zorva_cart *cart, int pattern, int channel) {
    int n = cart->music[pattern][channel];
    return n >= 0 && n < ZORVA_SFX_COUNT ? &cart->sfx[n] : nullptr;
}

// Old players timed a pattern by its channel 0; the longest non-looping
// sound effect goes there.
static void fix_music_channel_order(zorva_cart *cart) {
    for (int p = 0; p < ZORVA_MUSIC_PATTERNS; p++) {
        int longest = 0;
        int first_one_shot = -1;
        for (int c = 0; c < ZORVA_MUSIC_CHANNELS; c++) {
            const sfx_record *sfx = channel_sfx(cart, p, c);
            if (!sfx) continue;
            if (sfx_duration(*sfx) > longest) longest = sfx_duration(*sfx);
            if (first_one_shot < 0 && !sfx_loops(*sfx)) first_one_shot = c;
        }
        if (first_one_shot < 0 || sfx_duration(*channel_sfx(cart, p, first_one_shot)) >= longest) continue;
        for (int c = 1; c < ZORVA_MUSIC_CHANNELS; c++) {
            const sfx_record *sfx = channel_sfx(cart, p, c);
            if (!sfx || sfx_loops(*sfx) || sfx_duration(*sfx) != longest) continue;
            int held = cart->music[p][0];
            cart->music[p][0] = cart->music[p][c];
            cart->music[p][c] = held;
            char text[64];
            std::snprintf(text, sizeof text, "legacy: pat %d swap chan: %d %d", p, 0, c);
            print_line(text);
            break;
        }
    }
}

static void inject_011_api(zorva_cart *cart) {
    if (!cart->code || !std::strstr(cart->code, legacy_011_marker)) return;
    size_t code_length = std::strlen(cart->code);
    size_t prelude_length = std::strlen(legacy_011_prelude);
    if (code_length + prelude_length > size_t(ZORVA_CODE_LIMIT)) {
        // The buffer has no room for both; the code is kept as it is.
        tamu_debug("legacy: 0.1.1 api not injected: code too long\n");
        return;
    }
    std::memmove(cart->code + prelude_length, cart->code, code_length + 1);
    std::memcpy(cart->code, legacy_011_prelude, prelude_length);
    print_line("legacy: 0.1.1 api injected");
}

void apply_legacy_changes(zorva_cart *cart) {
    if (!cart) return;
    int v = cart->version;
    if (v < 5) {
        fix_music_channel_order(cart);
        for (sfx_record &sfx : cart->sfx)
            for (sfx_note &note : sfx.notes)
                if (note.waveform == 6 && note.volume >= 6) note.volume = 5;
        inject_011_api(cart);
    }
    if (v <= 10)
        for (sfx_record &sfx : cart->sfx)
            for (sfx_note &note : sfx.notes)
                if (note.effect == 1 && note.volume == 0) note.effect = 0;
    cart->version = ZORVA_CART_VERSION;
}

// ---------------------------------------------------------------------------
// Text transfer forms

static const char hex_digits[] = "0123456789abcdef";

int convert_binary_file_to_hex(const char *path, const char *output_path) {
    cfile *file = path ? tamu_fopen(path, "rb") : nullptr;
    if (!file) return 1;
    int size = tamu_fsize(file);
    if (size < 0) {
        tamu_fclose(file);
        return 1;
    }
    if (size > CART_TRANSFER_MAX_BYTES) {
        tamu_fclose(file);
        return 3;
    }
    std::vector<uint8_t> bytes(size_t(size) + 1);
    int got = size > 0 ? tamu_fread(bytes.data(), 1, size, file) : 0;
    tamu_fclose(file);
    if (got != size) return 1;

    std::vector<char> text;
    text.reserve(size_t(size) * 2 + 14);
    for (char c : std::string_view("[cart]")) text.push_back(c);
    for (int i = 0; i < size; i++) {
        text.push_back(hex_digits[bytes[i] >> 4]);
        text.push_back(hex_digits[bytes[i] & 15]);
    }
    for (char c : std::string_view("[/cart]")) text.push_back(c);

    cfile *out = output_path ? tamu_fopen_save(output_path) : nullptr;
    if (!out) return 2;
    int n = int(text.size());
    if (tamu_fwrite(text.data(), 1, n, out) != n) {
        tamu_abort_save(out);
        return 2;
    }
    return tamu_fclose_save(out) == 0 ? 0 : 2;
}

int convert_hex_to_binary_file(const char *text, const char *output_path) {
    if (!text || std::strncmp(text, "[cart]", 6) != 0) return 1;
    std::vector<uint8_t> bytes;
    for (const char *p = text + 6; p[0] && p[0] != '[' && p[1] && p[1] != '['; p += 2) {
        int high = hex_digit(uint8_t(p[0])), low = hex_digit(uint8_t(p[1]));
        if (high < 0 || low < 0) return 1;
        bytes.push_back(uint8_t(high << 4 | low));
    }
    cfile *out = output_path ? tamu_fopen_save(output_path) : nullptr;
    if (!out) return 2;
    int n = int(bytes.size());
    if (n > 0 && tamu_fwrite(bytes.data(), 1, n, out) != n) {
        tamu_abort_save(out);
        return 2;
    }
    return tamu_fclose_save(out) == 0 ? 0 : 2;
}

int convert_bmp_to_bbs_code(const cbitmap *bitmap, char *output, int capacity) {
    if (!bitmap || !bitmap->rows || bitmap->bpp != 8 || bitmap->width < 1 || bitmap->height < 1 ||
        bitmap->width > 255 || bitmap->height > 255)
        return 1;
    int w = bitmap->width, h = bitmap->height;
    std::vector<char> text(size_t(w) * size_t(h) + 32);
    int n = std::snprintf(text.data(), text.size(), "[gfx]%02x%02x", w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) text[size_t(n++)] = hex_digits[bitmap->rows[y][x] & 15];
    std::memcpy(text.data() + n, "[/gfx]", 7);
    n += 6;
    if (!output) return tamu_set_clipboard_text(text.data()) == 0 ? 0 : 3;
    if (capacity < n + 1) return 2;
    std::memcpy(output, text.data(), size_t(n) + 1);
    return 0;
}

cbitmap *convert_bbs_code_to_bmp(const char *text) {
    if (!text || std::strncmp(text, "[gfx]", 5) != 0) return nullptr;
    int size[4];
    for (int i = 0; i < 4; i++)
        if ((size[i] = hex_digit(uint8_t(text[5 + i]))) < 0) return nullptr;
    int w = size[0] * 16 + size[1], h = size[2] * 16 + size[3];
    cbitmap *bitmap = tamu_create_bitmap(w, h, 8);
    if (!bitmap) return nullptr;
    const char *p = text + 9;
    for (int k = 0; k < w * h && p[k] && p[k] != '['; k++) {
        int value = hex_digit(uint8_t(p[k]));
        bitmap->rows[k / w][k % w] = uint8_t(value < 0 ? 0 : value);
    }
    return bitmap;
}

int set_cart_label() {
    zorva_cart *cart = zorva_shell.working_cart ? zorva_shell.working_cart() : nullptr;
    cbitmap *page = pstate.back_page;
    if (!cart || !page || page->bpp != 8 || page->width < 128 || page->height < 128) return 1;
    cbitmap *label = tamu_create_bitmap(128, 128, 8);
    tamu_blit(page, label, 0, 0, 0, 0, 128, 128);
    tamu_destroy_bitmap(cart->label);
    cart->label = label;
    return 0;
}
