// Sample sounds: blocks of recorded or generated samples that the mixer
// plays on one of its channels in place of the synthesiser's output. Pods
// hold them as "CSND" items; the node synthesiser renders into them.
#pragma once

#include <cstdint>

struct cfile;

struct csound {
    int32_t samples;      // number of samples
    int32_t bits;         // bits per sample; data holds samples * bits / 8 bytes
    int32_t frequency;    // stored only: the mixer plays every sample at the output rate
    int32_t reserved;     // 0 at creation; kept through pod files
    void *data;           // the samples, owned by the record
    void *read_pointer;   // where the mixer reads from: the same block as data
    int32_t loop;         // non-zero: starts again at sample 0 at the end
    int32_t volume;       // stored only: the mixer does not scale by it
    int32_t channel;      // mixer channel 0-7 playing it, -1 when not playing
};

// A new sound of samples samples of bits bits (22050 Hz, volume 256, not
// looping, on no channel) with a zeroed block of samples * bits / 8
// bytes. Counts one engine item. Null for negative arguments or a block
// over 2 GB. The mixer plays 16-bit samples; other sizes can be made and
// filled but play as 16-bit data.
csound *tamu_create_sound(int samples, int bits);
// Stops the sound wherever a channel plays it (under the audio lock, so
// the mixer never reads freed samples), then frees it. Null: nothing.
void tamu_destroy_sound(csound *sound);
// Starts the sound from its first sample on a channel, stopping it first
// where it already plays: the first idle channel, else the channel playing
// the shortest sample sound (the lower on equal lengths) unless that one
// loops. Plays nothing when no channel is found, for null, or while the
// audio device is not open.
void tamu_play_sound(csound *sound);
// Clears the channel playing the sound and sets its channel to -1 (only
// while the device is open). Null: nothing.
void tamu_stop_sound(csound *sound);
// 1 while the sound's channel plays it; 0 otherwise (also for null).
int tamu_sound_is_playing(csound *sound);
// The sample block, for filling; tamu_sound_release ends filling.
void *tamu_sound_lock(csound *sound);
void tamu_sound_release(csound *sound);
void csound_set_frequency(csound *sound, int rate);
// Stores the volume while the device is open; returns whether it is open.
int csound_set_volume(csound *sound, int volume);
// Positions and status are not kept: 0, nothing, 0.
int tamu_get_sound_position(csound *sound);
void tamu_set_sound_position(csound *sound, int position);
int tamu_sound_status(csound *sound);

// Installs the pod item hooks through which pods read, write and destroy
// sample sounds and synthesisers. tamu_sound_init calls it.
void tamu_sound_install_pod_hooks();
