// The cart record: a cartridge in memory, as every cart form is read into
// and written from, and the sound-effect layout that the synthesiser plays.
#pragma once

#include <cstdint>

struct cbitmap;

// The code text holds at most this many characters; its buffer has room
// for them, one more and the terminating NUL.
constexpr int ZORVA_CODE_LIMIT = 65536;
constexpr int ZORVA_CODE_BUFFER_SIZE = 65538;

constexpr int ZORVA_SFX_COUNT = 64;
constexpr int ZORVA_SFX_NOTES = 32;
constexpr int ZORVA_MUSIC_PATTERNS = 64;
constexpr int ZORVA_MUSIC_CHANNELS = 4;
constexpr int ZORVA_SPRITE_FLAGS = 256;

// Music pattern flag bits.
constexpr int ZORVA_MUSIC_LOOP_START = 1;
constexpr int ZORVA_MUSIC_LOOP_BACK = 2;
constexpr int ZORVA_MUSIC_STOP = 4;
// A channel value of this or above is a silent channel.
constexpr int ZORVA_MUSIC_SILENT = 64;

// Value of the custom-instrument flag when set.
constexpr int ZORVA_SFX_CUSTOM_INSTRUMENT = 128;

// The newest text-cart format version, the one written.
constexpr int ZORVA_CART_VERSION = 11;

struct sfx_note {
    int32_t pitch;              // 0-63
    int32_t waveform;           // 0-7; with the custom flag: the instrument sfx 0-7
    int32_t volume;             // 0-7, 0 silent
    int32_t effect;             // 0 none, 1 slide, 2 vibrato, 3 drop, 4 fade in,
                                // 5 fade out, 6 fast arpeggio, 7 slow arpeggio
    int32_t custom_instrument;  // 0 or ZORVA_SFX_CUSTOM_INSTRUMENT
};

struct sfx_record {
    int32_t editor_mode;
    int32_t speed;       // synthesiser ticks per note
    int32_t loop_start;  // in notes
    int32_t loop_end;
    sfx_note notes[ZORVA_SFX_NOTES];
};

struct zorva_cart {
    char *code;          // ZORVA_CODE_BUFFER_SIZE characters, NUL-terminated
    cbitmap *gfx;        // sprite sheet, 128 x 128, one colour 0-15 per pixel
    cbitmap *map;        // 128 x 64 cells, one sprite number each; rows 32-63
                         // share console memory with sprite rows 64-127
    sfx_record sfx[ZORVA_SFX_COUNT];
    int32_t music[ZORVA_MUSIC_PATTERNS][ZORVA_MUSIC_CHANNELS];  // sfx per channel
    int32_t music_flags[ZORVA_MUSIC_PATTERNS];
    int32_t sprite_flags[ZORVA_SPRITE_FLAGS];  // bits 0-7
    cbitmap *label;      // 128 x 128 label picture, or null
    int32_t version;     // format version the cart was read with
    // Set by a reader that had to drop code lines over ZORVA_CODE_LIMIT;
    // such a cart is never saved (the program would lose them for good).
    int32_t code_cut;
    // With code_cut: the length the whole code would have had.
    int32_t full_code_length;
};

// A new, empty cart: zeroed code, blank sprite sheet and map, every sound
// effect at speed 16 except sound effect 0 at speed 1, every music pattern
// 65, 66, 67, 68 (silent), no label, version 0.
zorva_cart *tamu_create_zorva_cart();
// Null is accepted. Calls the release hooks below, then frees everything.
void tamu_destroy_zorva_cart(zorva_cart *cart);

// Sets the sound effects to their values on creation.
void zorva_cart_reset_sfx(zorva_cart *cart);
// 1 when the sound effect equals sound effect `index` of a new cart.
int zorva_sfx_is_default(const sfx_record *sfx, int index);

// Called by tamu_destroy_zorva_cart before the record goes, so that no
// one plays from or points at it afterwards: sound sets stop_sound (stop
// the cart's song and every one of its sound effects); forget is for any
// other holder of cart pointers. Null hooks are skipped. The live-cart
// pointer of pstate is cleared after them when it is this cart.
struct zorva_cart_release_hooks {
    void (*stop_sound)(zorva_cart *cart);
    void (*forget)(zorva_cart *cart);
};
extern zorva_cart_release_hooks zorva_cart_hooks;
