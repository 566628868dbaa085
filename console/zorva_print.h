// Console output: lines of text on the console screen in the system font,
// 32 characters to a line of 6 pixels, and the text cursor's line feed.
#pragma once

struct cpod;

// Room for one formatted console line (zorva_print_2 formats into it).
constexpr int ZORVA_GLOBAL_STR_SIZE = 1024;
extern char global_str[ZORVA_GLOBAL_STR_SIZE];

// The console's font: the system font of the data pod, or the engine's
// small built-in font while there is none.
cpod *zorva_system_font();

// Breaks text into lines of at most width characters: between words where
// it can (the space at a break is dropped; a path without spaces breaks
// after a '/'), a
// word longer than a line across lines; newlines in the text stay. out
// (out_size bytes) receives the lines joined by newlines, cut to fit.
// Returns the number of lines (1 for an empty text).
int zorva_wrap_words(const char *text, int width, char *out, int out_size);

// Prints a line in a colour at the text cursor and moves the cursor to the
// next line. A text of more than 32 characters is broken between words
// (zorva_wrap_words) and takes a 6-pixel row for each line; the rows are
// cleared first across the whole width. In exec mode while no program runs the text goes to
// standard output as "** text" instead. Null prints an empty text.
void zorva_print_col(const char *text, int colour);
// The same in colour 6.
void zorva_print(const char *text);
// Formats into global_str and prints it in colour 6.
void zorva_print_2(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Error reports. Between zorva_open_report and zorva_close_report the
// lines printed are kept as well; closing writes them to the log after a
// line naming the cart, and to standard error too unless in exec mode
// (where the console's lines go to standard output already).
void zorva_open_report();
void zorva_close_report(const char *cart_name);

// The console's line feed: the shell's when it has one, else
// console_cursor_cr.
void cursor_cr();
// The text cursor moves down 6 pixels; when it would reach y 123 the
// screen scrolls up by 6 rows instead, the bottom rows 122-127 are
// cleared and 65536 CPU units are charged.
void console_cursor_cr();
