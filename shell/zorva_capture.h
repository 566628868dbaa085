// Capturing what the player shows: PNG screenshots and animated GIFs of
// the last seconds of play, written to the desktop folder. (The label
// capture is set_cart_label, with the cart forms.)
#pragma once

#include <cstdint>

struct cbitmap;

// The video clip: the frames kept for the next GIF, oldest first. It is
// made on first use with room for gif length x 30 frames (at least 30, at
// most VIDEO_CLIP_MAX) and, once full, always holds the latest frames.
constexpr int VIDEO_CLIP_MAX = 3600;
constexpr int VIDEO_FRAMES_PER_SECOND = 30;
extern cbitmap *video_clip[VIDEO_CLIP_MAX];
// Frames the clip has room for (0 until it is made).
extern int video_clip_frames;
// Frames recorded since the clip started over (at most video_clip_frames);
// they are slots 0 .. video_clip_index - 1.
extern int video_clip_index;

// The largest screenshot and GIF scale.
constexpr int CAPTURE_MAX_SCALE = 32;

// The name capture files start with: while a forum cart started from the
// cart browser runs, the title of the browser's running item; otherwise
// the working file's name without its folder and extension; "ZORVA" when
// that is empty. The text lives in a shared buffer until the next call.
const char *get_output_file_name_base();

// Saves the bitmap (8 bits, normally the console back page), scaled by
// the screenshot scale, as "<base>_NNN.png" on the desktop, NNN the first
// number from 000 that names no file yet. 0 when it was written, 1 when
// not (nothing is left behind then). saved_path, when given (room for
// ZORVA_PATH_SIZE characters), receives the file's path, or "" on failure.
int save_png_screenshot(cbitmap *bitmap, char *saved_path = nullptr);

// Adds a copy of the bitmap (128 x 128, 8 bits) to the clip as its newest
// frame.
void record_video_frame(cbitmap *bitmap);
// The clip starts over: the next GIF begins with the next frame.
void reset_video();
// Frees the clip (it is made again on next use, at the gif length then).
void release_video_clip();

// Saves the clip as a looping GIF "<base>_N.gif" on the desktop, N the
// first number from 0 that names no file yet, each frame scaled by the gif
// scale and shown for as long as it was recorded (3, 3, 4 hundredths of a
// second and again, for 30 frames a second). 0 on success; non-zero when
// the file cannot be created or written, and then no file is left behind.
// saved_path as for save_png_screenshot.
int save_gif(char *saved_path = nullptr);

// Tools for studying the recorded clip, used by nothing in the player.
//
// Writes every frame of the clip (oldest first) once as
// "vidout/frameNNN.tga" in the application-data folder, NNN counting from
// 000: each 2 x 2 block of the frame, through the display palette,
// averaged into one pixel of a 64 x 64 opaque 32-bit picture. 0 when all
// were written; 1 when one could not be, and then the later ones are not
// tried (each file is written whole or not at all).
int save_video();

// Run coding: each run of equal bytes as its length and the byte. A run
// of 128 or more takes three bytes: 128 + ((length - 127) >> 8), the low
// byte of length - 127, then the byte. Runs are at most RLE_MAX_RUN long
// (a longer one goes on in the next run). Writes count bytes coded into
// out, which must hold rle_compress_bound(count) bytes, and returns the
// number of bytes written (0 for a count below 1).
constexpr int RLE_MAX_RUN = 32511;
constexpr int rle_compress_bound(int count) { return count > 0 ? 2 * count : 0; }
int rle_compress(const uint8_t *bytes, int count, uint8_t *out);

// Prints on standard output how small the screen (8 bits a pixel) packs:
// its size, LZ4, LZ4 high compression, the run coding, and the run coding
// of its difference from the screen of the previous call (byte by byte,
// modulo 256; the first call differs from a blank screen), as
// "stream: %d bytes, lz4 %d, lz4hc %d, rle %d, delta %d".
void record_stream(const cbitmap *screen);
