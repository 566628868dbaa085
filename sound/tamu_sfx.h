// The sound-effect synthesiser: turns the sound effect or music pattern
// playing on a mixer channel into samples, one tick of 183 samples at a
// time, with the console's channel filters. Runs on the audio thread.
#pragma once

#include <cstdint>

struct mixer_channel;
struct sfx_note;
struct sfx_record;
struct zorva_cart;

constexpr int SFX_TICK_SAMPLES = 183;   // 22050 / 183 = 120.49 ticks a second
constexpr int SFX_CROSSFADE = 64;       // samples over which each tick starts
constexpr int SFX_ECHO_TICKS = 8;       // ticks kept for the echo filter
constexpr int SFX_ECHO_DELAY = 4;       // ticks between a sample and its echo

// Waveforms.
enum {
    WAVE_TRIANGLE = 0,
    WAVE_TILTED_SAW = 1,
    WAVE_SAW = 2,
    WAVE_SQUARE = 3,
    WAVE_PULSE = 4,
    WAVE_ORGAN = 5,
    WAVE_NOISE = 6,
    WAVE_PHASER = 7,
};

// Note effects.
enum {
    EFFECT_NONE = 0,
    EFFECT_SLIDE = 1,
    EFFECT_VIBRATO = 2,
    EFFECT_DROP = 3,
    EFFECT_FADE_IN = 4,
    EFFECT_FADE_OUT = 5,
    EFFECT_FAST_ARPEGGIO = 6,
    EFFECT_SLOW_ARPEGGIO = 7,
};

// The oscillator of one channel.
struct osc_state {
    int32_t waveform;            // 0-7
    uint32_t phase;              // 16 bits used, wraps at 65536
    int32_t dx;                  // phase step per sample
    uint32_t phase2;             // the phaser's second phase, 32 bits
    int32_t spare;
    int32_t noise_accumulator;   // -6143..6143
    int32_t noise_toggle;        // 0/1, flips every sample
    int32_t volume;              // note volume x 256 after effects and instrument, 0-1792
    int32_t pitch;               // 16.16 semitones after effects and instrument
    int32_t note_pitch;          // whole pitch after the instrument offset
    int32_t note_volume;         // 0-7 after the instrument
    // The note's own values before effects; they become the channel's
    // previous-note values when the next note starts.
    int32_t own_volume, own_pitch, own_waveform;
};

// Hz of the console's octave 3, pitches 36 to 48.
extern const int32_t note_dx[13];

// Writes n samples of the channel into its output buffer: first what is
// left of the last rendered tick, then new ticks. n < 1: nothing.
void mix_sfx_channel(mixer_channel *channel, int n);
// Renders one tick of SFX_TICK_SAMPLES samples into buffer (before the
// channel filters) and advances the channel: notes, loops, the end of the
// sound effect, the next music pattern.
void mix_sfx_tick(mixer_channel *channel, int16_t *buffer);
// Sets the oscillator for the current tick from the channel's current note.
void calculate_osc_state(mixer_channel *channel, osc_state *osc);
// Applies the note's custom instrument (sound effect note->waveform of the
// channel's owner cart) to the oscillator; nothing without an owner cart.
void apply_meta_instrument(mixer_channel *channel, const sfx_note *note, osc_state *osc);
// The custom instrument's current note for a parent note at a whole pitch,
// as a note of its own (an alternative to apply_meta_instrument): written
// into the channel's instrument note slot of the tick position's parity
// and returned. Its pitch is the instrument note's (for an arpeggio, the
// instrument's arpeggio note) moved by pitch - 24, kept within 0-63; its
// volume the instrument note's scaled by the parent note's volume out of 7
// and by the instrument note's fade, kept within 0-7. The instrument loops
// as in apply_meta_instrument. Past the instrument's last note the slot
// is zeroed. Without an owner cart: prints "no cart!" and returns note.
const sfx_note *generate_sfx_inst_note(mixer_channel *channel, const sfx_note *note, int pitch);
// Renders n samples of the oscillator into buffer and advances its phase.
void mix_osc_tick(osc_state *osc, int16_t *buffer, int n);
// The phase step for a 16.16 pitch, 8..32768.
int32_t get_dx_for_note_fine(int32_t pitch);
// The phase step for a whole pitch, without interpolation or clamp.
int32_t get_dx_for_note(int32_t pitch);

// Ticks that a music pattern lasts: 32 notes of its first channel whose
// sound effect does not loop, else of its slowest channel; 0 when every
// channel is off.
int get_pattern_length(const zorva_cart *cart, int pattern);
