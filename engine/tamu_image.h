// Image files (PNG through lodepng, uncompressed TGA, BMP), the general
// zlib compressor and the 6-bit character code.
//
// 32-bit bitmaps hold 0xAARRGGBB words, bytes B, G, R, A in memory; PNG
// pixels as lodepng gives and takes them are bytes R, G, B, A. The loaders
// swap bytes 0 and 2 of every pixel on the way in and the savers on the way
// out.
#pragma once

#include <cstddef>
#include <cstdint>

struct cfile;
struct cbitmap;
struct cpalette;

// Limits every image reader checks before it allocates anything: each
// side 1..TAMU_IMAGE_MAX_SIDE, at most TAMU_IMAGE_MAX_PIXELS pixels (a
// 32-bit bitmap of that many pixels is the largest the bitmap layer
// creates) and at most TAMU_IMAGE_MAX_FILE_BYTES bytes of file.
constexpr int TAMU_IMAGE_MAX_SIDE = 8192;
constexpr int64_t TAMU_IMAGE_MAX_PIXELS = int64_t(8192) * 8192 / 4;
constexpr int64_t TAMU_IMAGE_MAX_FILE_BYTES = int64_t(256) << 20;

// Result codes of the PNG and compression functions besides lodepng's own
// (0 is success; lodepng_error_text describes lodepng's codes).
constexpr unsigned TAMU_IMAGE_ERROR_NO_FILE = 1000;    // null file, or reading it failed
constexpr unsigned TAMU_IMAGE_ERROR_TOO_LARGE = 1001;  // over the limits above (or a caller's)
constexpr unsigned TAMU_IMAGE_ERROR_ARGUMENT = 1002;   // null or negative argument, bad bitmap
constexpr unsigned TAMU_IMAGE_ERROR_WRITE = 79;        // the file cannot be created or written
constexpr unsigned TAMU_IMAGE_ERROR_WRONG_SIZE = 1003; // not of the size the caller asked for

// ---------------------------------------------------------------------------
// PNG

// Opens the path for binary reading (falling back to its virtual-disk
// entry), decodes it and closes it. A new 32-bit bitmap, or null when
// nothing could be opened or decoded or the image is over the limits.
cbitmap *tamu_load_png(const char *path);
// Decodes the whole content of a file (see LodePNG_decode32_tamu_file) to
// a new 32-bit bitmap; null on any failure.
cbitmap *tamu_load_png_from_file(cfile *file);

// Decodes the whole content of a file as a PNG into pixels of the given
// lodepng colour type and bit depth. A disk file is rewound and read whole;
// a memory file (or virtual-disk entry) is decoded from its block, its
// position set to 0. The PNG header is read first and an image over the
// limits is refused (TAMU_IMAGE_ERROR_TOO_LARGE) before any pixel memory
// is allocated. Returns 0 and sets *out to a malloc block that the caller
// releases with free(), or an error code with *out null and the sizes 0.
unsigned LodePNG_decode_tamu_file(unsigned char **out, unsigned *width, unsigned *height, cfile *file,
                                  int colour_type, unsigned bit_depth);
// The same as RGBA, 8 bits per channel.
unsigned LodePNG_decode32_tamu_file(unsigned char **out, unsigned *width, unsigned *height, cfile *file);

// The size of a PNG image from its header alone: the signature and the
// header chunk in the first 33 bytes. 0 and the sizes, or lodepng's error
// code (the sizes 0) when those bytes are no PNG header.
unsigned tamu_png_size_from_bytes(const uint8_t *bytes, size_t length, unsigned *width, unsigned *height);
// The same from the start of a file, which reads no more than those 33
// bytes and leaves the file at its start.
unsigned tamu_png_size_from_file(cfile *file, unsigned *width, unsigned *height);
// The longest file a PNG of width x height needs: every row of 16-bit RGBA
// pixels with its filter byte (and the interlaced passes' extra bytes),
// stored without compression, in chunks of at least 1024 bytes, with room
// left for a few small chunks besides. Nothing longer is a picture of that
// size that is worth reading.
int64_t tamu_png_file_bound(int width, int height);
// LodePNG_decode32_tamu_file for a picture that must be width x height:
// the header is read first, and a file of another size
// (TAMU_IMAGE_ERROR_WRONG_SIZE, with *got_width and *got_height set to the
// header's size) or longer than tamu_png_file_bound
// (TAMU_IMAGE_ERROR_TOO_LARGE) is refused before the file is read whole
// or anything is decoded. got_width and got_height may be null.
unsigned LodePNG_decode32_tamu_file_sized(unsigned char **out, cfile *file, unsigned width, unsigned height,
                                          unsigned *got_width, unsigned *got_height);
// How many PNG images have been decoded (whole, not just their headers)
// since the program started, on every thread.
int tamu_png_decodes();

// Writes the bitmap as an RGBA PNG, the file replaced whole. An 8-bit
// bitmap goes through tamu_palette (index 0 transparent, as the depth
// conversion gives it); without a video palette yet, through the grey
// ramp that a null video palette stands for. Returns 0, the encoder's
// error code, TAMU_IMAGE_ERROR_WRITE when the file cannot be created or
// written (the old file is then untouched) or TAMU_IMAGE_ERROR_ARGUMENT
// for a null bitmap.
unsigned tamu_save_png(const char *path, cbitmap *bitmap);

// ---------------------------------------------------------------------------
// TGA and BMP
//
// Readers: the path on disk, else its virtual-disk entry; a new bitmap or
// null (unreadable, unsupported, truncated or over the limits).
// Writers: the file replaced whole; 0, or 1 when it cannot be created or
// written (or the bitmap is null). 8-bit bitmaps are written through
// tamu_palette as the PNG writer does.

// tamu_load_bmp, else tamu_load_tga.
cbitmap *tamu_load_image(const char *path);

// Uncompressed TGA: colour-mapped 8-bit (type 1, a map of 24- or 32-bit
// entries of at most 256 colours) gives an 8-bit bitmap and fills the
// palette below; true colour (type 2) of 24 or 32 bits gives a 32-bit
// bitmap (24 bits: opaque); grey (type 3) of 8 bits an 8-bit bitmap.
// Rows are bottom-up unless the descriptor's top-left bit (0x20) is set;
// bit 0x10 mirrors the columns.
cbitmap *tamu_load_tga(const char *path);
// The colour map of the last colour-mapped TGA read (R, G, B per entry;
// entries the file did not give are black).
cpalette *get_tga_palette();
// 8-bit bitmaps as type 1 with a 256-entry 24-bit map, 32-bit ones as type
// 2 at 32 bits; rows written top-down (descriptor bit 0x20).
int tamu_save_tga(const char *path, cbitmap *bitmap);

// Windows BMP ("BM", 40-byte information header or a later, longer one).
// The reader takes uncompressed 24- and 32-bit images, and 8-bit ones with
// a colour table, all as 32-bit bitmaps (24 and 8 bits: opaque; 32 bits:
// the fourth byte is alpha unless it is 0 in every pixel, which reads as
// opaque), rows bottom-up or, for a negative height, top-down. The writer
// uses a pixel offset of 54: 32-bit bitmaps at 32 bits (alpha in the
// fourth byte), 8-bit ones at 24 bits through the palette; rows bottom-up.
cbitmap *tamu_load_bmp(const char *path);
int tamu_save_bmp(const char *path, cbitmap *bitmap);

// ---------------------------------------------------------------------------
// General compression (zlib streams through lodepng's coder)

// Compresses length bytes into a new tamu_malloc block in *out of
// *out_length bytes. Returns 0 or an error code (then *out is null and
// *out_length 0).
unsigned tamu_compress(const void *data, int length, uint8_t **out, int *out_length);
// Decompresses a zlib stream into a new tamu_malloc block (null for an
// empty result). Output over TAMU_DECOMPRESS_MAX_BYTES is refused with
// lodepng's code 109, as with the bounded form's own limit.
constexpr int TAMU_DECOMPRESS_MAX_BYTES = 64 << 20;
unsigned tamu_decompress(const void *data, int length, uint8_t **out, int *out_length);
unsigned tamu_decompress_bounded(const void *data, int length, uint8_t **out, int *out_length,
                                 int max_bytes);
// The compressor's window size: a power of two from 2 to 32768 (default
// 2048). Returns 0 when set, 1 (and no change) for any other value.
int tamu_set_zlib_window_size(int size);

// ---------------------------------------------------------------------------
// 6-bit character code: values 0..63 are the characters of
// ".ABCDEFGHIJKLMNOPQRSTUVWXYZ01234_abcdefghijklmnopqrstuvwxyz56789".
// Values outside 0..63 give 0; characters not in the set give 0.
int tamu_int6_to_ascii(int value);
int tamu_ascii_to_int6(int character);
