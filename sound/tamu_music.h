// Playing sound effects and music: the main-thread side of the console
// synthesiser. Puts sound effects on mixer channels (choosing one when the
// caller does not), stops and releases them, starts songs at a music
// pattern, fades music in and out, and answers the sound queries of the
// cart's stat(). Every operation that reads or changes channel records
// does so under the audio lock; the mixer then plays what the records say.
#pragma once

#include <cstdint>

struct cmusic;
struct sfx_record;
struct zorva_cart;

// Music fade state, changed by the main thread only (fade_vol, the factor
// the music channels apply, is the mixer's and read by the audio thread).
extern uint32_t fade0;          // factor at the start of the fade
extern uint32_t fade1;          // factor at its end: 0x10000 fading in, 0 fading out
extern int32_t fade_len;        // milliseconds; 0 or less: at once
extern uint32_t fade_start_t;   // clock time the fade started
// The millisecond clock the fades run on: tamu_get_time, or a test's.
extern int (*tamu_music_clock)();

// Plays sfx on a channel from note `offset` for `length` notes (0: endless)
// with `owner` as the cart for custom instruments. channel -1 chooses one
// (stealing the slowest sound effect when none is free), 0-7 is used as
// given (4-7: the music layer in console mode); any other value plays
// nothing. Returns the channel used, or -1. A null sfx stops instead:
// channel -1 the four sound-effect channels (all eight in plain
// eight-channel mode), 0-7 that channel; always -1.
int tamu_play_sfx_ex(sfx_record *sfx, int offset, int length, zorva_cart *owner, int channel);
// Stops every channel playing sfx, then plays it from its start on a
// chosen channel, endless when it loops, else for its 32 notes; no owner.
int tamu_play_sfx(sfx_record *sfx);
// As tamu_play_sfx, with the cart as owner.
int tamu_play_sfx_cart(sfx_record *sfx, zorva_cart *cart);
// Stops every channel playing sfx (music channels too); null: every
// channel that is not playing music.
void tamu_stop_sfx(sfx_record *sfx);
// Clears all eight channels: sound effects, music and sample sounds.
void tamu_stop_all_sounds();
// 1 if any channel plays sfx.
int tamu_sfx_is_playing(sfx_record *sfx);
// The note index of sfx on the first channel that plays it (past 31 after a
// released loop); -1 when none does.
int tamu_get_sfx_playing_note(sfx_record *sfx);
// The sound effect on channel 0-7; null when idle or for other numbers.
sfx_record *tamu_get_zorva_channel_sfx(int channel);
// The looping sound effect on channel 0-7 plays on past its loop end and
// ends at its silent tail; other numbers: nothing.
void tamu_release_looping_zorva_channel(int channel);

// Starts the cart's song at pattern 0-63 on the music layer, fading in over
// fade_ms milliseconds (0: full volume at once). The cart's earlier music
// stops first; a pattern outside 0-63 or one whose four channels are all
// off starts nothing.
void tamu_play_zorva_song(zorva_cart *cart, int pattern, int fade_ms);
// Stops every music channel owned by the cart; null: all music.
void tamu_stop_zorva_song(zorva_cart *cart);
// The pattern of the first music channel owned by the cart (any cart for
// null); -1 when none plays.
int tamu_zorva_song_is_playing(zorva_cart *cart);
// The largest tick position of the music channels playing a sound effect;
// 0 when none.
int tamu_get_zorva_song_ticks();
// Fades all music out over fade_ms milliseconds; 0 (or less), or music
// that is already silent, stops it at once. The music object is not used.
void cmusic_stop(cmusic *music, int fade_ms);
// Advances the fade; once a frame. Music that has faded to 0 stops.
void tamu_update_music_fading();
// 1 while a song (or else a module) plays.
int tamu_music_is_playing();
// For playing music: 1 fading in, 2 fading out, else 0.
int tamu_music_get_fading_state();
// Store the volumes (0-256): the sound volume only once the device plays.
void tamu_set_sound_volume(int volume);
void tamu_set_music_volume(int volume);
// 1 if any channel has a sound effect or a sample sound.
int tamu_any_sound_is_playing();
// Draws one line per channel on the back page: "chan %d %c %c %d" with
// 'P' when it plays anything, 'S' when it plays music, and its remaining
// ticks.
void debug_zorva_channels();

// The cart's stat(n) for the sound queries 16-26: 16-19 the number of the
// live cart's sound effect on channel n-16 (else on its music layer, else
// -1); 20-23 the note that channel plays (else its music layer, else -1);
// 24 the music pattern and 25 the patterns played while music plays, else
// 0; 26 tamu_get_zorva_song_ticks. Other numbers: 0.
int tamu_zorva_sound_stat(int n);

// Installs the engine's music hooks (the fade step each frame, the stop at
// shut-down, the volume setters) and the cart record's release of its
// sound; tamu_sound_init calls it.
void tamu_music_install_hooks();
