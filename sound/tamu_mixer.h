// The mixer: the eight channel records behind the audio device's callback,
// mixed with soft clipping and the volumes, with a post-mix hook and a
// recording of the output.
#pragma once

#include <atomic>

#include <cstdint>

#include "tamu_sfx.h"
#include "tamu_xm.h"
#include "zorva_cart.h"

struct cfile;
typedef cfile cbuffer;
struct csound;

constexpr int MIXER_CHANNELS = 8;
// Samples a channel renders at most in one pass; larger device requests
// are mixed in passes of this size.
constexpr int MIXER_BUFFER_SAMPLES = 4096;
// The record buffer's size when first made.
constexpr int MIXER_RECORD_BUFFER_SIZE = 352000;

// One mixer channel. In console mode records 0-3 are the sound-effect
// layer of console channels 0-3 and records 4-7 their music layer.
struct mixer_channel {
    int16_t output[MIXER_BUFFER_SAMPLES];   // this pass's samples
    csound *sound;                // sample sound playing here, or null
    uint32_t sound_position;      // next sample of the sample sound
    zorva_cart *owner_cart;       // cart whose sound effect or music plays here, or null
    sfx_record *sfx;              // sound effect playing; null: the synthesiser is idle
    int32_t tick_position;        // ticks since the start of the sound effect
    int32_t loop_enabled;         // 0: released, plays on past the loop end
    int32_t console_channel;      // 0-3: whose filter and half-rate bits apply
    int16_t tick_buffer[SFX_TICK_SAMPLES];   // the last tick, after the filters
    int16_t echo_ring[SFX_ECHO_TICKS][SFX_TICK_SAMPLES];
    int32_t echo_slot;            // next ring slot to write
    int32_t read_position;        // samples of the tick buffer handed out
    int32_t music;                // 1: plays music
    int32_t pattern;              // music pattern 0-63; -1 after a stop
    osc_state osc;
    int32_t previous_pitch, previous_waveform, previous_volume;
    int32_t instrument_previous_pitch, instrument_previous_waveform, instrument_previous_volume;
    int32_t instrument_tick_position;
    int32_t remaining_ticks;      // until the sound effect stops or the pattern ends
    // At half rate a pass of odd length ends on a sample played once: it
    // is played again at the start of the next pass.
    int32_t half_rate_owed;
    int16_t half_rate_last;
    // The custom instrument's note as generate_sfx_inst_note writes it,
    // one slot for even and one for odd tick positions.
    sfx_note instrument_notes[2];
};

typedef void (*tamu_post_mix_function)(int16_t *samples, int n);

extern mixer_channel ms0[MIXER_CHANNELS];
extern int16_t xmbuf[MIXER_BUFFER_SAMPLES];   // the module player's output
extern xm_playstate ps0;
// The music fade, 0..0x10000: the main thread sets it, the audio thread
// reads it.
extern std::atomic<uint32_t> fade_vol;
extern int advanced_pattern;                  // a music channel changed pattern in this pass
extern int16_t ramp_buf[SFX_CROSSFADE];       // scratch for the crossfade
extern tamu_post_mix_function tamu_post_mix_func;
extern cbuffer *tamu_audio_buffer;            // the recording, made on first use

// Clears the channel records and the module player's output, installs the
// mixer as the engine's audio callback, the music hooks of the engine and
// the cart record (tamu_music_install_hooks) and the pod item hooks of
// sample sounds and synthesisers, and opens the device for mode
// TAMU_SOUND_AUDIO (16). Returns what tamu_sound_init_plat returns.
int tamu_sound_init(int mode);
void tamu_sound_exit();
void tamu_set_post_mix_func(tamu_post_mix_function hook);
// The device callback: fills bytes of signed 16-bit little-endian mono
// samples; silence while the engine is paused or its audio-pause word set.
void tamu_mixer_callback(void *user, unsigned char *buffer, int bytes);
// Starts recording the output into the (emptied) record buffer and
// returns it.
cbuffer *tamu_audio_rec();
// Stops recording and returns the record buffer (still owned by the
// mixer); null when not recording.
cbuffer *tamu_audio_end();

// The sum of two samples, bent above 24576 in either direction so that it
// never wraps.
int16_t soft_clip(int sum);
// dst[i] = soft_clip(dst[i] + src[i]) for i < n.
void mix_down(int16_t *dst, const int16_t *src, int n);
xm_playstate *tamu_get_xm_playstate();
// Renders n samples of the channel's synthesiser layer into its output,
// at half speed when the console channel's half-rate bit is set.
void update_mix_channel(mixer_channel *channel, int n);
// Mixes n samples of the playing module into buffer, scaled by the music
// fade and music volume.
void mix_in_xm(int16_t *buffer, int n);
// Stops whatever the channel plays: owner cart, sound effect, music flag,
// sample sound and loop enabled are cleared.
void mixer_channel_stop(mixer_channel *channel);
