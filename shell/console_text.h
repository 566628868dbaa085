// The console's text: the paged directory listing that ls starts, the
// typed command line with its history and tab completion (nothing types
// into them in this build: the console takes no typed input), and the
// folder settings.
#pragma once

#include "tamu_file.h"

#include <cstdint>

// ---------------------------------------------------------------------------
// Directory listing

// Lines of one page of the listing.
constexpr int LISTING_PAGE_LINES = 17;

struct directory_listing_record {
    int32_t phase;          // 0 idle, 1 folders, 2 files to start, 3 files
    int32_t page_counter;   // lines still to print before "--more--"
    cfind search;           // the open search (phases 1 and 3)
    int32_t has_entry;      // search.name holds the next entry
};
extern directory_listing_record directory_listing;

// The cart API's ls from the console: a page of 17 lines, the filter (its
// first character '*' lists every file, not only carts; null or empty:
// carts only), and the listing's first steps. A listing waiting at
// "--more--" goes on where it stopped.
void start_directory_listing(const char *filter);
// Two steps of the listing while its page counter is above 0: the header,
// then the folders (colour 14), then the carts (the pen colour) and with
// the '*' filter the other files (colour 5). "--more--" (colour 12) when
// a page is full before the end.
void zorva_list_files();
// A listing that still has lines to print (the prompt is hidden then).
int listing_in_progress();
// Closes an unfinished search (at exit).
void close_directory_listing();

// ---------------------------------------------------------------------------
// The typed command line

constexpr int COMMAND_SIZE = 256;
constexpr int COMMAND_HISTORY_SIZE = 256;

extern char command_text[COMMAND_SIZE];
extern int command_position;
// Newest first.
extern char command_history[COMMAND_HISTORY_SIZE][COMMAND_SIZE];
extern int command_history_count;

// Puts a non-empty command at the top of the history unless it equals the
// newest entry; the oldest beyond 256 is dropped.
void store_command(const char *text);
void clear_command_history();
// Completes the command line's last word from the names in the current
// directory that begin with it; with several, prints "%d files" and the
// names.
void tab_completion();
// 1 for a character the command line takes: 32..127 except A..Z.
int is_input_char(int c);
// Clears count 32-bit words of the array.
void blah(int32_t *array, int count);

// ---------------------------------------------------------------------------
// Folders and titles

// An empty path, or one under which no directory entry can be found,
// becomes the folder default_folder under the application-data folder.
// path holds 1024 characters.
void init_path(char *path, const char *default_folder);
// The title text of the resource pod (its record's third field); empty
// without one. The text lives until the next call.
const char *get_embedded_cart_title();
