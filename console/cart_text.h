// The text cartridge form ".zv": a header line, a version line, then one
// section per kind of data, each a name line followed by rows of text.
//
//     zorva cartridge // <web site>
//     version 11
//     __lua__      the code, line by line
//     __gfx__      128 rows of 128 hex digits, one per sprite-sheet pixel
//     __label__    (only for a label with a visible pixel) as __gfx__
//                  (an empty line)
//     __gff__      2 rows of 128 two-digit sprite flags
//     __map__      32 rows of 128 two-digit cells (rows 32-63 travel in
//                  the lower half of the sprite sheet; up to 64 are read)
//     __sfx__      one row per sound effect: editor mode, speed, loop
//                  start, loop end (two digits each), then 32 notes of
//                  five digits: pitch (two), waveform + 8 for a custom
//                  instrument, volume, effect
//     __music__    64 rows "ff cccccccc": flags, then four channels
//
// Hex digits are lower case; anything else reads as 0.
//
// Section lines. Outside the code a line that begins with a section name
// starts that section. Inside the code only a line that is exactly a
// section name, optionally followed by spaces or tabs, ends the code:
// "__gfx__=1" or "__map__.w" stays code. A code line that would read as a
// section line is written with "--" appended (a trailing comment in the
// cart language) and that one "--" is taken off again when it is read;
// for the form to be undone exactly, a code line that already is a
// section name followed by "--"s gets one more. Any other code line is
// written as it is.
//
// Version rules when reading: before version 3 each sprite flag is one
// digit and music rows have no flags; up to version 3 a music channel
// value of 0 means 65 (silent); carts above ZORVA_CART_VERSION are
// refused.
#pragma once

#include "zorva_cart.h"

struct cfile;

// Results of reading and writing carts.
enum {
    ZORVA_CART_OK = 0,
    ZORVA_CART_CANNOT_OPEN = 1,     // the file could not be opened
    ZORVA_CART_CODE_TOO_LONG = 2,   // code over ZORVA_CODE_LIMIT (read: cut)
    ZORVA_CART_WRITE_FAILED = 3,    // a write or the final commit failed
    ZORVA_CART_NOT_A_CART = 4,      // no "zorva cartridge" header line
    ZORVA_CART_FUTURE_VERSION = 5,  // a format version above ZORVA_CART_VERSION
    ZORVA_CART_NO_CART = 6,         // a null cart or file was given
};
// A short lower-case message for a result ("ok" for ZORVA_CART_OK).
const char *zorva_cart_result_text(int result);

// Set by the reader when a cart's version is above ZORVA_CART_VERSION,
// cleared when any other cart is read; the shell reports it as "future
// version. please update!".
extern int &zorva_cart_future_version;   // the flag in pstate

// The lowest format version the cart's code needs: 10 when a call of
// printh has two or more arguments (a "," at the call's own bracket level,
// outside double quotes), else 9 when it holds "[[" not preceded by "-" (a
// long string rather than a long comment), else 8.
int tamu_determine_cart_version(const zorva_cart *cart);

// "0"-"9" give 0-9, "a"-"f" 10-15, anything else (upper case too) 0.
int hexchar2int(int c);

// Reads a text cart from an open file. Returns a new record or null. The
// result, when wanted, is ZORVA_CART_OK; ZORVA_CART_NOT_A_CART or
// ZORVA_CART_FUTURE_VERSION with null; or ZORVA_CART_CODE_TOO_LONG with a
// record whose code stops before the first line that did not fit (no
// later line is added) and whose code_cut is set.
zorva_cart *tamu_load_zorva_cart_from_file(cfile *file, int *result = nullptr);
// Opens path for reading, reads it as above and closes it; a file that
// cannot be opened gives null and ZORVA_CART_CANNOT_OPEN.
zorva_cart *tamu_load_zorva_cart(const char *path, int *result = nullptr);

// Writes the cart in the text form to an open file. Returns ZORVA_CART_OK,
// or ZORVA_CART_CODE_TOO_LONG, writing nothing, when the code is over
// ZORVA_CODE_LIMIT characters or the cart's code was cut on reading.
int tamu_save_zorva_cart_to_file(const zorva_cart *cart, cfile *file);
// Saves the cart to path whole or not at all: it is written beside path
// and renamed over it only when every byte was written, so on any failure
// the file at path is left as it was. Returns ZORVA_CART_OK,
// ZORVA_CART_CANNOT_OPEN, ZORVA_CART_CODE_TOO_LONG (nothing written) or
// ZORVA_CART_WRITE_FAILED.
int tamu_save_zorva_cart(const zorva_cart *cart, const char *path);
