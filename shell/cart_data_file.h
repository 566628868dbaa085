// The cart data file "<id>.zvd.txt": the 64 cart-data values of a cart,
// 8 lines of 8 values, each written "%08x" (lower-case hex, 8 digits), a
// newline after each line: 520 bytes.
//
// Reading is lenient: of the file's first 1024 bytes, the hex digits (either
// case) are kept in order, at most 512, and every other character is
// skipped; value i is read from digits 8i to 8i + 7 ("%08x": a last group
// of fewer than 8 digits gives the value of the digits it has); values
// without digits stay 0.
#pragma once

#include <cstdint>

constexpr int CART_DATA_VALUES = 64;
constexpr int CART_DATA_FILE_SIZE = 520;
// Bytes of a file that the reader looks at.
constexpr int CART_DATA_READ_LIMIT = 1024;
constexpr int CART_DATA_DIGITS = 8 * CART_DATA_VALUES;

// What the reader found besides the values, as bits: a file written by the
// player has none. Any of them means the values may not be what the file
// meant, so the file should be kept before it is written over.
enum {
    CART_DATA_STRAY_CHARACTERS = 1,   // characters other than hex digits and white space
    CART_DATA_PARTIAL_VALUE = 2,      // the digits do not end on a whole value
    CART_DATA_TOO_LONG = 4,           // over 512 digits, or over 1024 bytes
};

// Reads the values from the bytes of a file (length of them; only the first
// 1024 are read, a longer length is reported as CART_DATA_TOO_LONG). Every
// value not given is 0. Returns the bits above (0 for a clean file).
int read_cart_data_text(const char *bytes, int length, uint32_t values[CART_DATA_VALUES]);
// Writes the file's 520 characters and a NUL into out.
void write_cart_data_text(const uint32_t values[CART_DATA_VALUES], char out[CART_DATA_FILE_SIZE + 1]);
