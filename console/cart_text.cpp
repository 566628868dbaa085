// The text cartridge form: reader and writer.
#include "cart_text.h"

#include "tamu.h"
#include "zorva_state.h"

#include <cctype>
#include <cstring>

int &zorva_cart_future_version = pstate.future_version;

// The address written after the header line's " // "; readers ignore it.
static const char *const web_site = "https://www.zorva.example";
static const char *const magic = "zorva cartridge";

const char *zorva_cart_result_text(int result) {
    switch (result) {
    case ZORVA_CART_OK: return "ok";
    case ZORVA_CART_CANNOT_OPEN: return "could not open the file";
    case ZORVA_CART_CODE_TOO_LONG: return "program exceeds 65536 characters";
    case ZORVA_CART_WRITE_FAILED: return "could not write the file";
    case ZORVA_CART_NOT_A_CART: return "not a cartridge";
    case ZORVA_CART_FUTURE_VERSION: return "future version. please update!";
    case ZORVA_CART_NO_CART: return "no cart";
    }
    return "unknown error";
}

int hexchar2int(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

static bool has_long_string(const char *code) {
    for (const char *p = std::strstr(code, "[["); p; p = std::strstr(p + 1, "[["))
        if (p == code || p[-1] != '-') return true;
    return false;
}

// A call of printh with a "," at its own bracket level.
static bool has_printh_with_arguments(const char *code) {
    for (const char *p = std::strstr(code, "printh"); p; p = std::strstr(p + 1, "printh")) {
        if (p > code && (std::isalnum(static_cast<unsigned char>(p[-1])) || p[-1] == '_')) continue;
        const char *q = p + 6;
        while (*q == ' ' || *q == '\t') q++;
        if (*q != '(') continue;
        int depth = 0;
        bool quoted = false;
        for (; *q; q++) {
            if (quoted) {
                if (*q == '\\' && q[1]) q++;
                else if (*q == '"') quoted = false;
                continue;
            }
            if (*q == '"') quoted = true;
            else if (*q == '(') depth++;
            else if (*q == ')' && --depth == 0) break;
            else if (*q == ',' && depth == 1) return true;
        }
    }
    return false;
}

int tamu_determine_cart_version(const zorva_cart *cart) {
    const char *code = cart && cart->code ? cart->code : "";
    // The highest of what the code's features need.
    if (has_printh_with_arguments(code)) return 10;
    if (has_long_string(code)) return 9;
    return 8;
}

// ---------------------------------------------------------------------------
// Section lines

enum section_kind { SECTION_NONE, SECTION_LUA, SECTION_GFX, SECTION_GFF, SECTION_MAP,
                    SECTION_SFX, SECTION_MUSIC, SECTION_LABEL };

struct section_name {
    const char *name;
    int length;
    section_kind kind;
};

static const section_name sections[] = {
    {"__lua__", 7, SECTION_LUA},     {"__gfx__", 7, SECTION_GFX},     {"__gff__", 7, SECTION_GFF},
    {"__map__", 7, SECTION_MAP},     {"__sfx__", 7, SECTION_SFX},     {"__music__", 9, SECTION_MUSIC},
    {"__label__", 9, SECTION_LABEL},
};

static bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The section whose name begins the text, or none.
static section_kind section_prefix(const char *text, int length) {
    for (const section_name &s : sections)
        if (length >= s.length && std::memcmp(text, s.name, s.length) == 0) return s.kind;
    return SECTION_NONE;
}

// The section when the text is exactly a section name, optionally followed
// by blanks; else none.
static section_kind section_exact(const char *text, int length) {
    section_kind kind = section_prefix(text, length);
    if (kind == SECTION_NONE) return kind;
    int name_length = kind == SECTION_MUSIC || kind == SECTION_LABEL ? 9 : 7;
    for (int i = name_length; i < length; i++)
        if (!is_blank(text[i])) return SECTION_NONE;
    return kind;
}

// The number of "--" pairs ending the text when what comes before them is
// exactly a section line; -1 when it is not. A code line with a count of
// 0 or more is written with one more pair, and a line read in the code
// with a count of 1 or more loses one.
static int escaped_pairs(const char *text, int length) {
    int pairs = 0;
    while (length >= 2 && text[length - 1] == '-' && text[length - 2] == '-') {
        length -= 2;
        pairs++;
    }
    return section_exact(text, length) != SECTION_NONE ? pairs : -1;
}

// ---------------------------------------------------------------------------
// Reading

// Room for a code line at the limit with its escape, and one character
// more: a line that fills the buffer is longer than anything the format
// holds.
constexpr int LINE_BUFFER_SIZE = ZORVA_CODE_LIMIT + 8;

// Reads one line into the buffer. A line too long for it is taken whole:
// what is left of it is read and dropped, and *too_long set.
static bool read_line(cfile *file, char *line, bool *too_long) {
    *too_long = false;
    if (!tamu_fgets_sensitive(line, LINE_BUFFER_SIZE, file)) return false;
    if (std::strlen(line) < static_cast<size_t>(LINE_BUFFER_SIZE - 1)) return true;
    // A full buffer stopped before the line's end (which may come at once:
    // then the next read gives an empty rest).
    *too_long = true;
    char rest[1024];
    while (tamu_fgets_sensitive(rest, sizeof rest, file))
        if (std::strlen(rest) < sizeof rest - 1) break;
    return true;
}

// Reads `width` hex digits at `at` into *out when they are all there.
static bool hex_field(const char *line, int length, int at, int width, int *out) {
    if (at < 0 || at + width > length) return false;
    int value = 0;
    for (int i = 0; i < width; i++) value = value * 16 + hexchar2int(static_cast<unsigned char>(line[at + i]));
    *out = value;
    return true;
}

// "version %d": the number after the word, 0 when there is none.
static int parse_version(const char *line) {
    if (std::strncmp(line, "version", 7) != 0) return 0;
    const char *p = line + 7;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
    bool negative = false;
    if (*p == '-' || *p == '+') negative = *p++ == '-';
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value < 1000000000LL) value = value * 10 + (*p - '0');
        p++;
    }
    if (value > 1000000000LL) value = 1000000000LL;
    return static_cast<int>(negative ? -value : value);
}

struct cart_reader {
    zorva_cart *cart;
    int code_length;  // characters in the code, the newline after each line included
    section_kind section;
    int row;          // rows read in the current section
};

static void read_code_line(cart_reader &r, const char *line, int length, bool too_long) {
    zorva_cart *cart = r.cart;
    if (!too_long && escaped_pairs(line, length) > 0) length -= 2;
    if (cart->code_cut) {
        cart->full_code_length += length + 1;
        return;
    }
    // The code without its final newline must stay within the limit.
    if (too_long || r.code_length + length > ZORVA_CODE_LIMIT) {
        cart->code_cut = 1;
        cart->full_code_length = r.code_length + length + 1;
        tamu_debugf("cart code exceeds %d characters: later lines dropped\n", ZORVA_CODE_LIMIT);
        return;
    }
    std::memcpy(cart->code + r.code_length, line, length);
    r.code_length += length;
    cart->code[r.code_length++] = '\n';
    cart->code[r.code_length] = 0;
}

static void read_pixels(cbitmap *bitmap, int row, const char *line, int length) {
    int n = length < bitmap->width ? length : bitmap->width;
    for (int x = 0; x < n; x++) bitmap->rows[row][x] = static_cast<uint8_t>(hexchar2int(static_cast<unsigned char>(line[x])));
}

static void read_sfx_row(sfx_record *sfx, const char *line, int length) {
    int32_t *header[4] = {&sfx->editor_mode, &sfx->speed, &sfx->loop_start, &sfx->loop_end};
    int value;
    for (int i = 0; i < 4; i++) {
        if (!hex_field(line, length, 2 * i, 2, &value)) return;
        *header[i] = value;
    }
    for (int n = 0; n < ZORVA_SFX_NOTES; n++) {
        int at = 8 + 5 * n;
        if (at + 5 > length) return;
        int pitch, waveform, volume, effect;
        hex_field(line, length, at, 2, &pitch);
        hex_field(line, length, at + 2, 1, &waveform);
        hex_field(line, length, at + 3, 1, &volume);
        hex_field(line, length, at + 4, 1, &effect);
        sfx_note &note = sfx->notes[n];
        note.custom_instrument = (waveform & 8) || (effect & 8) ? ZORVA_SFX_CUSTOM_INSTRUMENT : 0;
        note.pitch = pitch & 63;
        note.waveform = waveform & 7;
        note.volume = volume & 7;
        note.effect = effect & 7;
    }
}

static void read_music_row(zorva_cart *cart, int pattern, const char *line, int length) {
    int at = 0;
    int value;
    if (cart->version >= 3) {
        if (!hex_field(line, length, 0, 2, &value)) return;
        cart->music_flags[pattern] = value;
        at = 2;
        while (at < length && is_blank(line[at])) at++;
    }
    for (int c = 0; c < ZORVA_MUSIC_CHANNELS; c++) {
        if (!hex_field(line, length, at + 2 * c, 2, &value)) return;
        if (value == 0 && cart->version <= 3) value = 65;
        cart->music[pattern][c] = value;
    }
}

static void read_data_line(cart_reader &r, const char *line, int length) {
    zorva_cart *cart = r.cart;
    int row = r.row++;
    int value;
    switch (r.section) {
    case SECTION_GFX:
        if (row < 128) read_pixels(cart->gfx, row, line, length);
        break;
    case SECTION_LABEL:
        if (row >= 128) break;
        if (!cart->label) cart->label = tamu_create_bitmap(128, 128, 8);
        read_pixels(cart->label, row, line, length);
        break;
    case SECTION_GFF:
        if (row >= 2) break;
        for (int i = 0; i < 128; i++) {
            bool got = cart->version >= 3 ? hex_field(line, length, 2 * i, 2, &value)
                                          : hex_field(line, length, i, 1, &value);
            if (!got) break;
            cart->sprite_flags[row * 128 + i] = value;
        }
        break;
    case SECTION_MAP:
        if (row >= 64) break;
        for (int x = 0; x < 128 && hex_field(line, length, 2 * x, 2, &value); x++)
            cart->map->rows[row][x] = static_cast<uint8_t>(value);
        break;
    case SECTION_SFX:
        if (row < ZORVA_SFX_COUNT) read_sfx_row(&cart->sfx[row], line, length);
        break;
    case SECTION_MUSIC:
        if (row < ZORVA_MUSIC_PATTERNS) read_music_row(cart, row, line, length);
        break;
    default:
        break;
    }
}

zorva_cart *tamu_load_zorva_cart_from_file(cfile *file, int *result) {
    int ignored;
    if (!result) result = &ignored;
    zorva_cart_future_version = 0;
    if (!file) {
        *result = ZORVA_CART_NO_CART;
        return nullptr;
    }
    char *line = static_cast<char *>(tamu_malloc(LINE_BUFFER_SIZE));
    bool too_long = false;

    if (!read_line(file, line, &too_long) || std::strncmp(line, magic, std::strlen(magic)) != 0) {
        tamu_free(line);
        *result = ZORVA_CART_NOT_A_CART;
        return nullptr;
    }
    int version = read_line(file, line, &too_long) ? parse_version(line) : 0;
    if (version > ZORVA_CART_VERSION) {
        tamu_free(line);
        zorva_cart_future_version = 1;
        *result = ZORVA_CART_FUTURE_VERSION;
        return nullptr;
    }

    cart_reader r = {tamu_create_zorva_cart(), 0, SECTION_NONE, 0};
    r.cart->version = version;
    while (read_line(file, line, &too_long)) {
        int length = static_cast<int>(std::strlen(line));
        section_kind kind = r.section == SECTION_LUA ? section_exact(line, length) : section_prefix(line, length);
        if (kind != SECTION_NONE) {
            r.section = kind;
            r.row = 0;
        } else if (r.section == SECTION_LUA) {
            read_code_line(r, line, length, too_long);
        } else {
            read_data_line(r, line, length);
        }
    }
    tamu_free(line);

    // Each code line was added with a newline; the last one is not the code's.
    if (r.code_length > 0) r.cart->code[--r.code_length] = 0;
    if (r.cart->code_cut) r.cart->full_code_length--;
    *result = r.cart->code_cut ? ZORVA_CART_CODE_TOO_LONG : ZORVA_CART_OK;
    return r.cart;
}

zorva_cart *tamu_load_zorva_cart(const char *path, int *result) {
    int ignored;
    if (!result) result = &ignored;
    cfile *file = path ? tamu_fopen(path, "rb") : nullptr;
    if (!file) {
        *result = ZORVA_CART_CANNOT_OPEN;
        return nullptr;
    }
    zorva_cart *cart = tamu_load_zorva_cart_from_file(file, result);
    tamu_fclose(file);
    return cart;
}

// ---------------------------------------------------------------------------
// Writing

static int clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

static const char hex_digits[] = "0123456789abcdef";

// Appends value (0-255) as two hex digits.
static char *put_hex2(char *out, int value) {
    *out++ = hex_digits[(value >> 4) & 15];
    *out++ = hex_digits[value & 15];
    return out;
}

static void write_text(cfile *file, const char *text, int length) {
    if (length > 0) tamu_fwrite(text, 1, length, file);
}

static void write_line(cfile *file, const char *text) {
    write_text(file, text, static_cast<int>(std::strlen(text)));
    write_text(file, "\n", 1);
}

static void write_code(cfile *file, const char *code) {
    const char *line = code;
    for (;;) {
        const char *end = std::strchr(line, '\n');
        int length = end ? static_cast<int>(end - line) : static_cast<int>(std::strlen(line));
        write_text(file, line, length);
        if (escaped_pairs(line, length) >= 0) write_text(file, "--", 2);
        write_text(file, "\n", 1);
        if (!end) break;
        line = end + 1;
    }
}

static void write_pixels(cfile *file, const cbitmap *bitmap) {
    char row[130];
    for (int y = 0; y < 128; y++) {
        for (int x = 0; x < 128; x++) {
            int value = bitmap && y < bitmap->height && x < bitmap->width ? bitmap->rows[y][x] : 0;
            row[x] = hex_digits[value > 15 ? 15 : value];
        }
        row[128] = '\n';
        write_text(file, row, 129);
    }
}

static bool label_worth_writing(const cbitmap *label) {
    if (!label || label->width != 128 || label->height != 128 || label->bpp != 8) return false;
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            if (label->rows[y][x]) return true;
    return false;
}

static void write_sfx(cfile *file, const zorva_cart *cart) {
    // Sound effects past the last written one read back as on a new cart,
    // so those are the ones that can be left out.
    int last = -1;
    for (int i = 0; i < ZORVA_SFX_COUNT; i++)
        if (!zorva_sfx_is_default(&cart->sfx[i], i)) last = i;
    char row[8 + 5 * ZORVA_SFX_NOTES + 2];
    for (int i = 0; i <= last; i++) {
        const sfx_record &sfx = cart->sfx[i];
        char *out = row;
        out = put_hex2(out, clamp(sfx.editor_mode, 0, 255));
        out = put_hex2(out, clamp(sfx.speed, 0, 255));
        out = put_hex2(out, clamp(sfx.loop_start, 0, 255));
        out = put_hex2(out, clamp(sfx.loop_end, 0, 255));
        for (const sfx_note &note : sfx.notes) {
            out = put_hex2(out, clamp(note.pitch, 0, 63));
            *out++ = hex_digits[clamp(note.waveform, 0, 7) + (note.custom_instrument ? 8 : 0)];
            *out++ = hex_digits[clamp(note.volume, 0, 7)];
            *out++ = hex_digits[clamp(note.effect, 0, 7)];
        }
        *out++ = '\n';
        write_text(file, row, static_cast<int>(out - row));
    }
}

int tamu_save_zorva_cart_to_file(const zorva_cart *cart, cfile *file) {
    if (!cart || !file) return ZORVA_CART_NO_CART;
    const char *code = cart->code ? cart->code : "";
    if (cart->code_cut || std::strlen(code) > static_cast<size_t>(ZORVA_CODE_LIMIT)) return ZORVA_CART_CODE_TOO_LONG;

    char header[256];
    std::snprintf(header, sizeof header, "%s // %s", magic, web_site);
    write_line(file, header);
    std::snprintf(header, sizeof header, "version %d", ZORVA_CART_VERSION);
    write_line(file, header);

    write_line(file, "__lua__");
    write_code(file, code);

    write_line(file, "__gfx__");
    write_pixels(file, cart->gfx);
    if (label_worth_writing(cart->label)) {
        write_line(file, "__label__");
        write_pixels(file, cart->label);
    }
    write_line(file, "");

    char row[2 * 128 + 2];
    write_line(file, "__gff__");
    for (int r = 0; r < 2; r++) {
        char *out = row;
        for (int i = 0; i < 128; i++) out = put_hex2(out, cart->sprite_flags[r * 128 + i] & 255);
        *out++ = '\n';
        write_text(file, row, static_cast<int>(out - row));
    }

    write_line(file, "__map__");
    for (int y = 0; y < 32; y++) {
        char *out = row;
        for (int x = 0; x < 128; x++) {
            int value = cart->map && y < cart->map->height && x < cart->map->width ? cart->map->rows[y][x] : 0;
            out = put_hex2(out, value);
        }
        *out++ = '\n';
        write_text(file, row, static_cast<int>(out - row));
    }

    write_line(file, "__sfx__");
    write_sfx(file, cart);

    write_line(file, "__music__");
    for (int p = 0; p < ZORVA_MUSIC_PATTERNS; p++) {
        char *out = row;
        out = put_hex2(out, clamp(cart->music_flags[p], 0, 255));
        *out++ = ' ';
        for (int c = 0; c < ZORVA_MUSIC_CHANNELS; c++) out = put_hex2(out, clamp(cart->music[p][c], 0, 255));
        *out++ = '\n';
        write_text(file, row, static_cast<int>(out - row));
    }
    write_line(file, "");

    return tamu_ferror(file) ? ZORVA_CART_WRITE_FAILED : ZORVA_CART_OK;
}

int tamu_save_zorva_cart(const zorva_cart *cart, const char *path) {
    if (!cart) return ZORVA_CART_NO_CART;
    // Refused before anything is created, so the old file stays as it is.
    if (cart->code_cut || (cart->code && std::strlen(cart->code) > static_cast<size_t>(ZORVA_CODE_LIMIT)))
        return ZORVA_CART_CODE_TOO_LONG;
    cfile *file = tamu_fopen_save(path);
    if (!file) return ZORVA_CART_CANNOT_OPEN;
    int result = tamu_save_zorva_cart_to_file(cart, file);
    if (result != ZORVA_CART_OK) {
        tamu_abort_save(file);
        return result;
    }
    return tamu_fclose_save(file) == 0 ? ZORVA_CART_OK : ZORVA_CART_WRITE_FAILED;
}
