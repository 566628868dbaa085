// Tracker music in the XM ("Extended Module") file format: the module
// record, its loader and writer, the player that renders it tick by tick,
// and the music object that the mixer's module step plays with the music
// fade and music_volume.
#pragma once

#include <cstdint>

struct cfile;
struct csound;

constexpr int XM_MAX_CHANNELS = 8;
constexpr int XM_MAX_PATTERNS = 256;
constexpr int XM_MAX_INSTRUMENTS = 128;
constexpr int XM_MAX_SAMPLES = 16;   // per instrument
constexpr int XM_MAX_ROWS = 256;
constexpr int XM_ORDERS = 256;
constexpr int XM_NOTES = 96;
constexpr int XM_ENVELOPE_POINTS = 12;
constexpr int XM_CELL_BYTES = 5;     // note, instrument, volume, effect, parameter
constexpr int XM_NOTE_OFF = 97;      // notes above 96 stop the channel
// Sample type bits.
constexpr int XM_LOOP_MASK = 3;      // 0 none, 1 forward, 2 ping-pong
constexpr int XM_16BIT = 0x10;

struct xm_pattern {
    int32_t rows;     // 1-256
    uint8_t *cells;   // rows x channels cells of XM_CELL_BYTES
};

struct xm_sample {
    int32_t length;        // samples
    int32_t loop_start;    // samples
    int32_t loop_length;   // samples
    uint8_t volume;        // 0-64
    int8_t finetune;       // 1/128 semitone
    uint8_t type;          // loop type and XM_16BIT
    uint8_t panning;
    int8_t relative_note;
    uint8_t reserved;
    char name[23];
    int16_t *data;         // length samples, 16-bit whatever the file stored
};

struct xm_playstate;
struct xm_channel;
// An instrument that renders itself: adds n samples of the channel to out.
typedef void (*xm_render_function)(xm_playstate *state, xm_channel *channel, int32_t *out, int n);

struct xm_instrument {
    char name[23];
    uint8_t type;
    int32_t sample_count;              // 0-16
    uint8_t note_sample[XM_NOTES];     // sample of each note
    uint16_t volume_envelope[2 * XM_ENVELOPE_POINTS];    // x, y pairs
    uint16_t panning_envelope[2 * XM_ENVELOPE_POINTS];
    uint8_t volume_points, panning_points;
    uint8_t volume_sustain, volume_loop_start, volume_loop_end;
    uint8_t panning_sustain, panning_loop_start, panning_loop_end;
    uint8_t volume_type, panning_type;   // bit 0: the envelope is on
    uint8_t vibrato_type, vibrato_sweep, vibrato_depth, vibrato_rate;
    uint16_t fadeout;
    xm_sample *samples;
    xm_render_function render;   // null: the samples are mixed
};

struct xm_module {
    char name[21];
    uint16_t version;
    uint32_t header_size;
    uint16_t song_length;        // orders, 0-256
    uint16_t restart_position;
    uint16_t channels;           // 1-8
    uint16_t pattern_count;      // 0-256
    uint16_t instrument_count;   // 0-128
    uint16_t flags;
    uint16_t tempo;              // ticks per row
    uint16_t bpm;
    uint8_t orders[XM_ORDERS];
    xm_pattern *patterns;
    xm_instrument *instruments;
};

// One module channel of the player.
struct xm_channel {
    int32_t number;
    int32_t note, fine;         // pitch: semitone, and 1/256 semitone steps 0-255
    int32_t target_note;        // of tone portamento
    xm_instrument *instrument;
    xm_sample *sample;          // null: silent
    int64_t position;           // in the sample, 24-bit fraction
    int32_t backwards;          // ping-pong loop going down
    int32_t delta;              // position step per output sample
    int32_t volume;             // 0-64
    int32_t effect;             // -1 none
    int32_t parameter;
    int32_t vibrato_phase;
    int32_t envelope_tick;
    int32_t level;              // volume x envelope for this tick, 0-4096
};

struct xm_playstate {
    xm_module *module;   // the current module, null for none
    int32_t playing;
    xm_channel channels[XM_MAX_CHANNELS];
    int32_t order, row, tick;
    int32_t ticks_per_row, samples_per_tick;
    int32_t samples_left;   // of the current tick; 0: the next tick starts
    int32_t loop;           // the song starts again at its end
    int32_t jump;           // order to go to at the end of this row, -1 none
    int32_t rate;
};

// A module wrapped for playing.
struct cmusic {
    xm_module *module;   // null: none
};
// The music object that plays, or null.
extern cmusic *tamu_current_music;

// The 96 periods of the player: 12 notes x 8 finetune steps.
extern const int16_t ptab[XM_NOTES];

// An empty module (version 0x104, header size 276, tempo 6, BPM 125, one
// channel). Counts one engine item.
xm_module *tamu_create_xm();
// Frees the patterns, instruments, samples and the record. Null: nothing.
void tamu_destroy_xm(xm_module *module);
// Reads an XM file from the handle's position to its end. Null, with a log
// line "tamu_load_xm: <reason>", for a file that is not an XM module of
// version 1.04, has more than 8 channels, absurd counts or lengths, or is
// cut short.
xm_module *tamu_load_xm_from_file(cfile *file);
// Opens the path and loads it; logs "could not open\n" when it cannot.
xm_module *tamu_load_xm(const char *path);
// Writes the module as an XM file: patterns packed, samples as 16-bit
// delta-encoded data. 0 when every byte was written.
int tamu_save_xm_to_file(xm_module *module, cfile *file);
// The same as the whole file at path, replaced only once complete.
int tamu_save_xm(xm_module *module, const char *path);

// An empty music object. Counts one engine item.
cmusic *tamu_create_music();
// Frees the object and its module, stopping the player first if it plays
// them. Null: nothing.
void tamu_destroy_music(cmusic *music);
// Replace the object's module by one read from length bytes / a file
// (stopping the player first if it plays the old one). 0 on success; 1 on
// failure, the old module kept.
int cmusic_load(cmusic *music, const void *bytes, int length);
int cmusic_load_from_file(cmusic *music, cfile *file);
// Plays the object's module from order start_order (clamped to the song),
// looping at its end when loop is set, fading in from the current music
// fade to full over fade_ms milliseconds. Nothing for an object without a
// module.
void cmusic_play(cmusic *music, int fade_ms, int start_order, int loop);
// For null or the current music: the player stops and has no module.
void disable_music(cmusic *music);
cmusic *tamu_get_current_music();

// Resets the player state for the module at the output rate.
void tamu_mix_xm_init(xm_module *module, xm_playstate *state, int rate);
// Renders n samples of the state's module into buffer (silence once it has
// ended, or when nothing plays).
void tamu_mix_xm_chunk(xm_playstate *state, int16_t *buffer, int n);
// Renders the module from its start, once, into the sound's 16-bit
// samples (silence after the song's end).
void tamu_mix_xm(xm_module *module, csound *sound);
// Samples of the whole song at 22050 Hz, taking 64 rows per pattern;
// 0 for an empty song.
int64_t tamu_calculate_xm_length(xm_module *module);
// The playback step (24-bit fraction) of a note and 1/256 semitone fine
// steps; fine outside 0-255 carries into the note.
int32_t get_delta(int note, int fine);
