// The edit buffers the editors keep. This player has no editors: it makes
// the buffers at start-up (two of 128 x 128 for the sprite sheet and the
// map, one of 8 x 32 per sound effect) and offers the operations on them.
#pragma once

#include "zorva_cart.h"

#include <cstdint>

struct cbitmap;

// One edit buffer: three 8-bit bitmaps of the same size, and room for the
// cart's sprite flags kept with the undo copy.
struct dbmp {
    cbitmap *bmp;         // the current copy
    cbitmap *undo;        // the undo copy
    cbitmap *selection;   // non-zero pixels are selected
    int32_t sprite_flags[256];
    int32_t has_sprite_flags;
};

// Null for a size the bitmaps cannot have.
dbmp *create_dbmp(int w, int h);
// Null is ignored.
void destroy_dbmp(dbmp *buffer);

constexpr int EDITOR_PICTURE_BUFFERS = 2;   // sprite sheet, map
constexpr int EDITOR_SFX_BUFFERS = 64;
extern dbmp *editor_picture_buffers[EDITOR_PICTURE_BUFFERS];
extern dbmp *editor_sfx_buffers[EDITOR_SFX_BUFFERS];
void create_editor_buffers();
void destroy_editor_buffers();

// The bitmap (of the buffer's size) into the undo copy, with the cart's
// sprite flags when a cart is given; restore_bmp copies them back.
void backup_bmp(dbmp *buffer, const cbitmap *source, const zorva_cart *cart);
void restore_bmp(const dbmp *buffer, cbitmap *target, zorva_cart *cart);
// The cart's sound effects and music patterns, kept aside and put back.
void backup_audio(const zorva_cart *cart);
void restore_audio(zorva_cart *cart);
// Sound effect n's 32 notes into the 8 x 32 buffer's current copy, one row
// per note: octave, note within the octave, waveform, volume, effect,
// flags (1 for a custom instrument); restore_sfx writes them back (values
// out of range are clamped).
void backup_sfx(dbmp *buffer, const zorva_cart *cart, int n);
void restore_sfx(const dbmp *buffer, zorva_cart *cart, int n);
// Whether any selection pixel is set.
int selection_active(const dbmp *buffer);
// The smallest rectangle (inclusive corners) holding every selection
// pixel; 0 with the whole buffer when nothing is selected, else 1.
int get_selected_area(const dbmp *buffer, int *x0, int *y0, int *x1, int *y1);

// The editors' clipboard: notes of one sound effect, whole sound effects,
// or music patterns (with every sound effect of their cart, so that a
// paste into another cart can bring the ones they play along).
enum {
    CLIPBOARD_EMPTY = 0,
    CLIPBOARD_NOTES = 1,
    CLIPBOARD_SFX = 2,
    CLIPBOARD_PATTERNS = 3,
};
struct editor_clipboard {
    int32_t kind;    // CLIPBOARD_*
    int32_t count;   // notes, sound effects or patterns held
    sfx_note notes[ZORVA_SFX_NOTES];
    // The copied sound effects from entry 0; for patterns, the cart's
    // sound effects by number.
    sfx_record sfx[ZORVA_SFX_COUNT];
    int32_t music[ZORVA_MUSIC_PATTERNS][ZORVA_MUSIC_CHANNELS];
    int32_t music_flags[ZORVA_MUSIC_PATTERNS];
};
extern editor_clipboard editor_clip;

// Copying and pasting, each with its notice on the message bar. Numbers
// outside the cart's ranges, a null cart or a clipboard of another kind
// change nothing, show nothing and give 0.
//
// The notes of sound effect n that the selection of its edit buffer covers
// (every row from the first to the last selected one; all 32 notes when
// nothing is selected): "copied %d notes". Returns the count.
int do_copy_sfx(const zorva_cart *cart, int n);
// Sound effects first to last (held within 0-63): "copied %d sfx".
int do_copy_sfxes(const zorva_cart *cart, int first, int last);
// Music patterns first to last (held within 0-63) with their flags:
// "copied %d patterns".
int do_copy_patterns(const zorva_cart *cart, int first, int last);
// Copied notes into sound effect n from note `at` on ("pasted %d notes"),
// or copied sound effects into n, n + 1, ... ("pasted %d sfx"); what
// would go past the last note or sound effect is left out. Returns the
// count pasted.
int do_paste_sfx(zorva_cart *cart, int n, int at);
// Copied patterns into patterns at, at + 1, ... (what would go past 63 is
// left out), with the sound effects they play: one the cart holds the
// same (under its own number or another) is used as it is; another goes
// into the first sound effect that is blank and that nothing else plays
// (no pattern that stays, and for 0-7 no custom-instrument note), and a
// channel whose sound effect finds no room is turned off (64 + its
// number). "pasted %d patterns, added %d sfx". Returns the patterns
// pasted.
int do_paste_song(zorva_cart *cart, int at);
