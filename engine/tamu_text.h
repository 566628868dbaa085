// Fonts and text drawing.
//
// A font is a cpod of glyph bitmaps (item type CPOD_ITEM_BITMAP), in one
// or more sets of glyphs:
//   * an item count with zero low 8 bits (256, 512) holds sets of 256
//     glyphs, item = set * 256 + byte;
//   * any other count (96, 192) holds sets of 96 glyphs for the bytes
//     32..127, item = set * 96 + byte - 32.
// The two built-in fonts have an 8-bit set (ink 255, else 0) followed by
// a 32-bit set (ink opaque, else 0 with alpha 0). A byte outside a set's
// range, or whose item is missing or not a bitmap, draws nothing and takes
// no room.
#pragma once

#include <cstdint>

struct cpod;
struct cbitmap;

// The built-in fonts, made by tamu_text_init from tamu_font1_dat: 512
// glyphs each; tamu_font1 5 x 5 (32-bit ink 0xFFC0C0C0), tamu_font2 the
// bold face, 6 x 5 (32-bit ink 0xFFFFFFFF).
extern cpod *tamu_font1;
extern cpod *tamu_font2;
constexpr int TAMU_FONT1_GLYPHS = 96;   // for the bytes 32..127
// Five rows per glyph, one byte per row, bit 0x10 the leftmost column.
extern const uint8_t tamu_font1_dat[TAMU_FONT1_GLYPHS * 5];

int tamu_text_init();
// Destroys both built-in fonts with their glyphs.
int tamu_text_exit();

// Flags of tamu_draw_text_ex.
constexpr int TAMU_TEXT_SOLID = 1;    // every glyph in the colour, from the font's first set
constexpr int TAMU_TEXT_CENTRE = 2;   // x -= width / 2 (toward zero)
constexpr int TAMU_TEXT_RIGHT = 4;    // x -= width
constexpr int TAMU_TEXT_CLIP = 8;     // too wide for the clip: end at its right edge, ".." at its left
constexpr int TAMU_TEXT_WRAP = 16;    // a new line when the next glyph would pass the clip's right edge

// Draws the NUL-terminated text at x, y and returns the y of the line on
// which drawing ended. Without TAMU_TEXT_SOLID the glyphs are copied
// transparently from the first set of the bitmap's depth (no such set:
// solid in the colour from the last set). The walk: each glyph is drawn
// and x advances by its width + spacing; the line height is the tallest
// glyph of the line; byte 127 (the cursor bar) ends the text after it is
// drawn; a newline byte (10), or a wrap, returns x to the start and moves
// y down by the line height + spacing. The newline's own glyph is not
// drawn, but counts toward the line height, so that an empty line keeps
// its height. A null font, text or bitmap draws nothing and returns y.
int tamu_draw_text_ex(cbitmap *bitmap, const char *text, cpod *font, int x, int y, int flags, uint32_t colour);
int tamu_draw_text(cbitmap *bitmap, const char *text, cpod *font, int x, int y);
int tamu_draw_text_c(cbitmap *bitmap, const char *text, cpod *font, int x, int y);
// Outlined text: solid in the outline colour at the nine positions around
// and on x, y, then solid in the colour at x, y.
int tamu_draw_text_phat(cbitmap *bitmap, const char *text, cpod *font, int x, int y, int flags, uint32_t outline,
                        uint32_t colour);
// The sum over the text's drawable bytes (newlines excluded) of glyph
// width + spacing, minus one spacing (an empty text gives -spacing).
int tamu_get_text_width(const char *text, cpod *font);
// Pixels after every glyph and between lines; starts at 1, never below 0.
extern int tamu_font_spacing;
void tamu_set_text_spacing(int n);
int tamu_get_text_spacing();

// The glyph of a byte in the font's first set (null when the byte has none).
cbitmap *tamu_font_glyph(cpod *font, int byte);

// Blocking line input at x, y of the back page, at most width pixels wide:
// shows the text with the cursor bar over what lies beneath, presents, and
// handles messages until Enter (returns 1, the back page as it was). Only
// bytes the font can draw are taken (32..126 and 128..255; no control
// bytes, no keys without a character); Backspace removes the last byte;
// the text stays below size - 1 bytes and within the width. Returns 0 at
// once for a null buffer or size below 1, and 0 when the program is asked
// to quit (tamu_quit) while it waits.
int tamu_get_keyboard_string_ex(char *buffer, int x, int y, cpod *font, int size, int width);
// The same, as wide as tamu_screen.
int tamu_get_keyboard_string(char *buffer, int x, int y, cpod *font, int size);
// Where line input reads its keys: the next character, 0 for none, -1 for
// a key without one. The input layer's tamu_readkey by default.
extern int (*tamu_text_key_source)();
