// The message bar: a notice at the bottom of the screen, one line high or,
// for a longer text broken between words, up to four lines. It
// slides in over its first 200 ms, stays, and slides out over its last
// 200 ms; a new notice replaces the current one at once.
#pragma once

struct cbitmap;

// How long notices last (ms): a plain notice, a failure, and a notice
// that names a file (long enough to read its path).
constexpr int MESSAGE_MS = 1000;
constexpr int MESSAGE_FAILURE_MS = 1500;
constexpr int MESSAGE_PATH_MS = 2500;

// Shows text (cut to 255 characters) from now for ms milliseconds. Each
// new notice flips the colour of the text between 15 and 7, so that two
// notices in a row can be told apart.
void show_message(const char *text, int ms);
// The same with the text formatted from format and two integers.
void show_message_2(const char *format, int ms, int a, int b);
// The same two under the names that take the duration explicitly.
void show_message_ex(const char *text, int ms);
void show_message_2_ex(const char *format, int ms, int a, int b);
// A notice that lasts 50 ms and does not slide, for text that is asked
// for again every frame (what the pointer is over): shown only when the
// current notice ends within 50 ms, in colour 7 (6 with a gui theme).
void show_message_hover(const char *format, int a, int b);
// Draws the bar on target (the library back page) while the notice lasts.
void draw_message_bar(cbitmap *target);
