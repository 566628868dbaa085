// The binary forms of a cart besides the text cartridge, the upgrade every
// loaded cart goes through, and the text transfer forms.
//
// The ROM of a cart is its first 0x4300 bytes in the console memory layout
// (zorva_memory.h), read and written with zorva_peek / zorva_poke and no
// console state.
//
// 32K cart image (32768 bytes):
//   0x0000  17152 bytes  the ROM
//   0x4300  15360 bytes  the code: compressed code (code_compression.h),
//                        zero-padded; a code area that does not begin with
//                        the compressed header is 15360 bytes of plain text
//   0x7F00    256 bytes  zero
//
// PNG cartridge ".zv.png": a 160 x 205 RGBA picture (the cart template
// with the label at 16,24, two title lines taken from the code and
// "zorva cartridge") whose two low bits of every channel carry a 32773-byte
// data block: the 32K image, then the format version (11 when written), 0,
// 1, 15 and the platform letter ('l' Linux, 'w' Windows). Pixel i
// (row-major) carries byte i as (A & 3) << 6 | (R & 3) << 4 | (G & 3) << 2
// | (B & 3); the pixels after the block carry 0.
//
// Hex form: 34304 characters, two hex digits per ROM byte (a space may
// stand for a leading 0 digit), no header. Binary form: the 17152 ROM
// bytes.
//
// Text transfer forms: "[gfx]" + width and height as "%02x%02x" + one hex
// digit per pixel, row by row, + "[/gfx]"; "[cart]" + "%02x" per byte of a
// file + "[/cart]".
#pragma once

#include <cstdint>

struct cbitmap;
struct cfile;
struct zorva_cart;

constexpr int CART_IMAGE_SIZE = 0x8000;
constexpr int CART_ROM_SIZE = 0x4300;
constexpr int CART_CODE_OFFSET = 0x4300;
constexpr int CART_CODE_ROOM = 15360;
constexpr int CART_PNG_DATA_SIZE = CART_IMAGE_SIZE + 5;
constexpr int CART_PNG_WIDTH = 160;
constexpr int CART_PNG_HEIGHT = 205;
constexpr int CART_HEX_SIZE = 2 * CART_ROM_SIZE;
// Where the picture shows the label and the text.
constexpr int CART_PNG_LABEL_X = 16, CART_PNG_LABEL_Y = 24;
constexpr int CART_PNG_TITLE_X = 18, CART_PNG_TITLE_Y = 167, CART_PNG_TITLE2_Y = 175;
constexpr int CART_PNG_NAME_Y = 187;
constexpr uint32_t CART_PNG_TITLE_COLOUR = 0xFFFFF8F0;
constexpr uint32_t CART_PNG_NAME_COLOUR = 0xFFA0A0A0;
// A title line shows at most this many characters.
constexpr int CART_TITLE_CHARS = 31;

// The error word of the last PNG cartridge read.
enum {
    PNG_CART_OK = 0,
    PNG_CART_NOT_PNG = 1,        // the file is not a PNG image
    PNG_CART_CANNOT_LOAD = 2,    // no file, not 160 x 205, or its code is corrupt
    PNG_CART_FUTURE_VERSION = 3, // written by a newer version
};
extern int last_png_load_error;

// What the cart forms take from the rest of the shell. A null hook (the
// default) stands for the built-in behaviour given with it.
struct cart_form_hooks {
    // Console output ("future_version: 12", the legacy notes). Null: the log.
    void (*print)(const char *text);
    // The picture a PNG cartridge is drawn on, 160 x 205 (borrowed, not
    // freed). Null, or a null result: the resource pod's cart template
    // when there is one, else a plain built-in picture.
    cbitmap *(*cart_template)();
};
extern cart_form_hooks cart_forms;

// ---------------------------------------------------------------------------
// The 32K cart image

// Fills the 32768-byte image. 0, or 1 (the output untouched) when the
// compressed code would exceed 15360 bytes or the cart's code was cut on
// reading (such a cart is never saved).
int save_zorva_cart_32k(const zorva_cart *cart, uint8_t *output);
// Writes the image's ROM into the cart and its code into the cart's code
// buffer (created when the cart has none): decompressed when the code area
// begins with the compressed header, else its 15360 bytes as text. 0, or 1
// when the compressed code is corrupt (the code is then left empty).
int load_zorva_cart_32k(zorva_cart *cart, const uint8_t *image);
// The SHA-1 of the cart's 32K image as 40 hex digits and a NUL. 0, or 1
// with the output unchanged when the image cannot be made.
int hash_cart(const zorva_cart *cart, char *output);

// ---------------------------------------------------------------------------
// The PNG cartridge

// Writes the PNG cartridge, replacing the file at name whole or not at
// all. 0; 1 when the compressed code would exceed 15360 bytes (nothing is
// written); 2 when the file could not be written (an old file stays as it
// was).
int save_zorva_cart_png(const zorva_cart *cart, const char *name);
// Reads a PNG cartridge from an open file. A new cart (with the version it
// was written with, no label) or null; sets last_png_load_error either way.
// The header is read first: a picture that is not 160 x 205 is refused
// (PNG_CART_CANNOT_LOAD) without being decoded.
zorva_cart *load_zorva_cart_png_from_file(cfile *file);
// The same from the decoded RGBA pixels (R, G, B, A bytes) of a 160 x 205
// picture; null pixels: PNG_CART_CANNOT_LOAD.
zorva_cart *load_zorva_cart_png_pixels(const uint8_t *rgba);
// Makes a cart from the 32773-byte data block of a PNG cartridge: null
// (and the error word set) for a future version or corrupt code.
zorva_cart *load_zorva_cart_png_data(const uint8_t *data);
// Opens name, reads it as above and closes it; on success the label comes
// from the same decoded picture (label_from_cart_pixels).
zorva_cart *load_zorva_cart_png(const char *name);
// A label from the picture of a PNG cartridge file: its 128 x 128 area at
// 16,24 in the nearest of the first 16 colours of the video palette (a
// grey ramp without one). Null when the file is not a 160 x 205 PNG (a
// picture of another size is not decoded). The error word is left as it
// was.
cbitmap *label_from_png_cart(const char *path);
// The same from the decoded RGBA pixels of a 160 x 205 picture; null for
// null pixels.
cbitmap *label_from_cart_pixels(const uint8_t *rgba);
// Draws the title line that begins the code text at x, y: only a line
// beginning with "--" gives one; the dashes and one space after them are
// skipped, and at most 31 characters up to the newline are drawn.
void draw_cart_comment(cbitmap *bitmap, const char *code, int x, int y);

// ---------------------------------------------------------------------------
// Hex and binary forms

// A new cart whose ROM comes from the file (the code left empty); null when
// the file cannot be opened or is short, or (hex) holds a character that
// is not a hex digit where one belongs.
zorva_cart *load_zorva_cart_hex(const char *name);
zorva_cart *load_zorva_cart_bin(const char *name);

// ---------------------------------------------------------------------------
// Legacy fixes

// The upgrade of a cart of an older format version to the current one
// (every cart loaded from a file or the data pod goes through it):
//   before 5: music patterns whose longest non-looping sound effect is not
//             in channel 0 get it swapped there; waveform-6 notes louder
//             than 5 get volume 5; the one known 0.1.1 cart gets the old
//             collection functions put before its code;
//   up to 10: slides at volume 0 become no effect;
// then the version becomes 11.
void apply_legacy_changes(zorva_cart *cart);
// The text of a cart's code that marks the cart written for 0.1.1, and the
// script put before its code.
extern const char *const legacy_011_marker;
extern const char *const legacy_011_prelude;

// ---------------------------------------------------------------------------
// Text transfer forms and the label

// Writes the file at path as "[cart]" text into the file at output_path
// (replaced whole or not at all). 0; 1 when path cannot be opened or read;
// 2 when the output cannot be written; 3 when the file is over 1 MiB.
constexpr int CART_TRANSFER_MAX_BYTES = 1 << 20;
int convert_binary_file_to_hex(const char *path, const char *output_path);
// Writes the bytes of a "[cart]" text (up to a '[', the end, or a lone
// last digit) as the file at output_path. 0; 1 when the text does not begin
// with "[cart]" or a pair is not two hex digits; 2 when the file cannot be
// written.
int convert_hex_to_binary_file(const char *text, const char *output_path);
// The "[gfx]" text of an 8-bit bitmap of at most 255 x 255 (each pixel's
// low 4 bits). Into output when given (capacity bytes with the NUL), else
// onto the clipboard. 0; 1 for a bitmap the form cannot hold; 2 when the
// output is too small; 3 when the clipboard refused it.
int convert_bmp_to_bbs_code(const cbitmap *bitmap, char *output, int capacity);
// A new 8-bit bitmap from a "[gfx]" text, or null when the text does not
// begin with "[gfx]" and a size. Pixels not given stay 0.
cbitmap *convert_bbs_code_to_bmp(const char *text);
// Replaces the working cart's label by a copy of the console back page.
// 0, or 1 when there is no working cart or no 8-bit 128 x 128 back page.
int set_cart_label();
