// The multi-line text field: a NUL-terminated byte text with a size limit,
// a cursor, a selection, scrolling, undo and redo, a search line, and a GUI
// handler that edits it with keys and the mouse and draws it.
//
// Positions are byte offsets into the text, 0..length. Lines are counted
// from 0 by the newline bytes before a position. On screen every byte
// takes one cell of cell_w pixels, bytes 128..255 two; a line is line_h
// pixels high.
//
// The text may be written directly (a loader replaces it whole); every
// edit first brings the cursor and the selection back inside the text.
#pragma once

#include <cstdint>

struct cfile;
typedef cfile cbuffer;
struct cbitmap;
struct cguie;
struct cpod;
struct ctext;

typedef void (*ctext_draw_func)(cbitmap *bitmap, int x, int y, int w, int h, ctext *field);

constexpr int CTEXT_SEARCH_SIZE = 256;
// The search line takes typed bytes while it holds at most this many.
constexpr int CTEXT_SEARCH_TYPED_LIMIT = 252;
// Margin of the scroll after a search: the found line this far below the top.
constexpr int CTEXT_SEARCH_MARGIN = 52;

struct ctext {
    char *text;                // the data of the owned buffer, or the caller's
    cbuffer *buffer;           // owned buffer of max_len + 1 bytes, or null
    int32_t max_len;           // largest text length in bytes
    int32_t search_active;     // 1 while the search line takes the keys
    int32_t search_kind;       // 0 find text, 1 go to a line number
    char search_text[CTEXT_SEARCH_SIZE];   // NUL-terminated; the last byte stays 0
    int32_t search_cursor;
    cguie *element;            // the GUI element showing the field, or null
    cpod *font;                // null: tamu_font2
    ctext_draw_func draw;      // null: draw_ctext
    int32_t cell_w;            // pixels per byte (bytes 128..255 take two)
    int32_t line_h;            // pixels per line (below 4 counts as 4 on screen)
    int32_t scroll_x, scroll_y;
    uint32_t cursor_colour;
    int32_t cursor;
    int32_t sel_anchor, sel_end;   // the selection lies between them, in either order
    int32_t pref_col;          // bytes from the line start, kept for Up and Down
    cbuffer *redo;
    cbuffer *undo;
    int32_t typing_counter;    // 0..7: typed bytes grouped into one undo step
};

// The line of the last typed or deleted byte (all fields share it); -1
// before any.
extern int last_line_num;

// With a null buffer the field owns a buffer of max_len + 1 bytes; a
// caller's buffer must hold max_len + 1 bytes. Every other field is 0.
// Null for a negative max_len, or one too large to allocate.
ctext *tamu_create_ctext(char *buffer, int max_len);
// Frees the owned buffer, the stacks and the record, and detaches it from
// its element. Null is ignored.
void tamu_destroy_ctext(ctext *field);

// Clears the redo stack and pushes a snapshot of the field onto the undo
// stack. A snapshot, little-endian, is: cursor, selection anchor,
// selection end, scroll x, scroll y (int32 each), the text, a 0 byte, and
// its own length 21 + text length (int32) so the newest is found from the
// end of the stack.
void tamu_backup_ctext(ctext *field);
// Undo: when the undo stack holds a snapshot, the present state goes onto
// the redo stack and the newest snapshot is restored; redo the other way.
// Each returns 1 when it restored one.
int ctext_undo(ctext *field);
int ctext_redo(ctext *field);

// The 0-based line of pos: the newline bytes among the first pos bytes.
int ctext_get_line_number_for_pos(const char *text, int pos);
// The position just after the n-th newline, or the text length when there
// are fewer; 0 for n below 1.
int ctext_get_pos_for_line_number(const char *text, int n);
// Bytes between the start of the cursor's line and the cursor.
int get_cpos_x(ctext *field);

// The pixel position of the cursor relative to the text's origin.
void tamu_get_ctextfield_cursor_pos(ctext *field, int *x, int *y);
// The position under a pixel (relative to the text's origin): on line
// py / line height, the last position whose cell is not right of px's
// cell; the text length past the last line; 0 above the text.
int tamu_get_ctextfield_pos_for_cursor(ctext *field, int px, int py);
// Scrolls so the cursor shows in the element: margin 0 moves as little as
// needed; any other margin puts the cursor's line that far below the top.
// Nothing without an element.
void ctext_bound_scrolling_to_cursor(ctext *field, int margin);

// Inserts s at pos (brought inside the text). Carriage returns and bytes
// 255 of s are left out; nothing is inserted when the kept bytes do not
// fit in max_len. A cursor at or after pos moves on by the bytes kept;
// the selection collapses to the cursor. Returns the bytes inserted.
int ctext_insert_text(ctext *field, const char *s, int pos);
// Types one byte at the cursor, grouping up to 8 typed bytes on one line
// into one undo step. A full text takes nothing.
void ctext_insert_character(ctext *field, int byte);
// Removes n bytes at pos from a NUL-terminated text (held inside it).
void ctext_remove_text(char *text, int pos, int n);
// Deletes the selection (with an undo snapshot); nothing without one.
void ctextfield_delete_selected(ctext *field);

// The clipboard. Copying writes each byte 128..255 as a backslash and its
// three decimal digits; pasting turns such an escape back into the byte
// and inserts the text at the cursor with an undo snapshot.
void ctextfield_copy(ctext *field);
void ctextfield_paste(ctext *field);
// Null output: a new block from tamu_malloc (4 x length + 1 bytes for
// escaping, length + 1 for unescaping) that the caller frees. Returns the
// output.
char *convert_glyphs_to_escaped(const char *s, char *out);
char *convert_escaped_to_glyphs(const char *s, char *out);

// Inserts a copy of the cursor's line above it (an empty line is not
// copied), with an undo snapshot.
void ctext_duplicate_line(ctext *field);

// The search line's text: direction 1 finds the first occurrence after the
// cursor, -1 the last before it; both wrap around. The occurrence is
// selected, the cursor put at it and the view scrolled to it. Nothing for
// an empty search text.
void ctext_search_for_string(ctext *field, int direction);
// The search text read as a decimal line number n (from 1): the cursor goes
// to the start of line n (or the end of the text), the view scrolls there.
void ctext_search_for_line(ctext *field, int direction);
// As the string search over the occurrences of "function ", moving only the
// cursor.
void ctext_search_for_bookmark(ctext *field, int direction);

// 1: lower-case letters, digits and '_'; 2: punctuation; 3: bytes
// 128..255; 0: anything else (space, newline, upper-case letters, ...).
int get_char_cat(int byte);
// The signed cursor step of Left (direction -1) or Right (1); with Ctrl
// held a step over spaces and then over a run of one category.
int calculate_skip_steps(ctext *field, int direction);
// Selects the run of bytes of the category of the byte at pos.
void ctext_select_from_double_click(ctext *field, int pos);

// Adds a text-field element drawing into bitmap, attached to the field
// both ways and holding the keyboard focus. Returns the element's index,
// or -1 when the list is full.
int tamu_gui_add_ctext_field(cbitmap *bitmap, int x, int y, int w, int h, ctext *field);
// The element handler: mouse, wheel, keys (the typed byte in mx, 13
// taken as 10, -1 for a key without a character) and the draw message.
int vhand_ctextfield(cguie *element, int mx, int my, int value, int message);
// Default drawing: the background, the glyphs of bytes below 128 and, while
// the element has the focus, the blinking cursor.
void draw_ctext(cbitmap *bitmap, int x, int y, int w, int h, ctext *field);
