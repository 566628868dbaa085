// What the console asks of the sound library: starting and stopping sound
// effects and music, and the queries behind stat(16) to stat(26). The
// sound library installs these at start-up; until then, and for any hook
// left null, the console's sound calls do nothing and the queries answer
// that nothing plays.
#pragma once

struct sfx_record;
struct zorva_cart;

struct zorva_sound_hooks {
    // Clears every channel: sound effects, music and sample sounds.
    void (*stop_all_sounds)();
    // Fades all music out over fade_ms milliseconds (0: at once).
    void (*music_stop)(int fade_ms);
    // Starts the cart's song at a pattern, fading in over fade_ms.
    void (*play_song)(zorva_cart *cart, int pattern, int fade_ms);
    // Plays a sound effect from note offset for length notes (0: to its
    // end) on a channel (-1: chosen); a null sound effect stops the
    // channel. Returns the channel used, or -1.
    int (*play_sfx)(sfx_record *sfx, int offset, int length, zorva_cart *owner, int channel);
    // Stops every channel that plays the sound effect.
    void (*stop_sfx)(sfx_record *sfx);
    // Lets a looping sound effect on the channel play on past its loop.
    void (*release_looping_channel)(int channel);
    // The answer to stat(n) for n 16 to 26: the live cart's sound effect
    // on console channels 0-3 (16-19; -1 when none), the note each of them
    // plays (20-23; -1), the music pattern, the count of patterns played and
    // the song's tick position (24-26; 0 without music).
    int (*stat)(int n);
};
extern zorva_sound_hooks zorva_sound;
// Puts back the defaults (all null).
void zorva_reset_sound_hooks();

// Stops every sound and the music at once.
void console_stop_all_sound();
