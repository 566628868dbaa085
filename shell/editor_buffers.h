// The edit buffers the editors keep. This player has no editors: it makes
// the buffers at start-up (two of 128 x 128 for the sprite sheet and the
// map, one of 8 x 32 per sound effect) and offers the operations on them.
#pragma once

#include <cstdint>

struct cbitmap;
struct zorva_cart;

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
