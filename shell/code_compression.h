// Compressed cart code: the compact byte form in which a cart's code is
// kept in the 15360 bytes of the 32K cart image.
//
//   offset 0   ":c:" and a zero byte
//   offset 4   the text's length, high byte then low byte
//   offset 6   two zero bytes
//   offset 8   tokens until the stated length is reached:
//     0         the next byte is the character
//     1..59     character number b of the literal table: newline, space,
//               the digits, a-z, then "!#%(){}[]<>+=/*:;.,~_"
//     60..255   with the next byte n, a back-reference: copy (n >> 4) + 2
//               characters from (b - 60) * 16 + (n & 15) characters back
//
// The compressor's output is kept byte for byte as it is: a cart's SHA-1 is
// taken over it.
#pragma once

#include <cstdint>

constexpr int COMPRESSED_CODE_HEADER_SIZE = 8;
// The longest text the header can state.
constexpr int COMPRESSED_CODE_MAX_LENGTH = 65535;
// Matches: 3 to 17 characters, at most 3120 characters back.
constexpr int COMPRESS_MIN_MATCH = 3;
constexpr int COMPRESS_MAX_MATCH = 17;
constexpr int COMPRESS_WINDOW = 3120;

// Room compress_mini needs in its output for a text of length characters.
constexpr int compress_mini_bound(int length) {
    return length > 0 ? 2 * length + COMPRESSED_CODE_HEADER_SIZE : COMPRESSED_CODE_HEADER_SIZE;
}

// Compresses length characters of text into output (which must hold
// compress_mini_bound(length) bytes) and returns the number of bytes
// written. When the compressed form would not be shorter than the text, the
// output receives the text itself, with no header, and its length is
// returned; so it does for a text longer than COMPRESSED_CODE_MAX_LENGTH,
// whose length the header cannot state. A text that begins with ':' keeps
// its compressed form even when that is longer, because a stored text
// beginning with the header's ':' would read back as compressed code.
int compress_mini(const char *text, uint8_t *output, int length);

// Back-references and literals compress_mini has written, counted over
// every call since they were last set to 0 (statistics for tools).
extern int compress_block_count, compress_literal_count;

// The longest earlier match (3 or more characters) for the text at pos, as
// the compressor sees it while it works through the text: only positions
// the compressor has registered are searched. Returns the length (0 when
// there is none) and sets *distance. Used by compress_mini.
int find_repeatable_block(const char *text, int pos, int length, int *distance);

// Result of decompress_mini for input that is not compressed code: no
// header, a stated length over the capacity, a token cut off by the end of
// the input, a back-reference to before the start of the text, or input
// that ends before the stated length is reached.
constexpr int DECOMPRESS_MINI_ERROR = -1;

// Expands input_length bytes of compressed code into output: clears
// capacity bytes of it first, then writes the text (no terminating NUL is
// added; leave room for one). A text ending in one of the two old
// main-loop shims that the editor used to append loses it. Returns the
// length of the text, or DECOMPRESS_MINI_ERROR with the output cleared.
int decompress_mini(const uint8_t *input, int input_length, char *output, int capacity);
