// The mixer behind the audio callback.
//
// Everything here except tamu_sound_init, tamu_sound_exit, the hook setter
// and the recording switches runs on the audio thread. The main thread
// changes channel records only under the audio lock, which keeps the
// device from calling back meanwhile; the callback itself takes no lock and
// allocates nothing (only the recording grows while it runs).
#include "tamu_mixer.h"

#include "tamu.h"
#include "tamu_csound.h"
#include "tamu_music.h"
#include "zorva_state.h"

#include <algorithm>
#include <cstring>

mixer_channel ms0[MIXER_CHANNELS];
int16_t xmbuf[MIXER_BUFFER_SAMPLES];
xm_playstate ps0;
std::atomic<uint32_t> fade_vol;
int advanced_pattern;
int16_t ramp_buf[SFX_CROSSFADE];
tamu_post_mix_function tamu_post_mix_func;
cbuffer *tamu_audio_buffer;

namespace {

int16_t saturate(int v) {
    return static_cast<int16_t>(std::clamp(v, -32768, 32767));
}

// Copies the channel's sample sound over its output from the sound's
// position. A looping sound wraps to its start; a sound that ends stops
// the channel and leaves the rest of the output as rendered.
void mix_sample_sound(mixer_channel *ch, int n) {
    const csound *sound = ch->sound;
    // The mixer reads 16-bit samples, never more of them than the block
    // holds whatever its sample size.
    int64_t bytes = sound->samples > 0 && sound->bits > 0 ? int64_t(sound->samples) * sound->bits / 8 : 0;
    uint32_t length = sound->data ? uint32_t(std::min<int64_t>(bytes / 2, INT32_MAX)) : 0;
    const int16_t *data = static_cast<const int16_t *>(sound->data);
    int done = 0;
    while (done < n) {
        if (ch->sound_position >= length) {
            // An empty looping sound has nothing to repeat: it ends too.
            if (sound->loop && length > 0) {
                ch->sound_position = 0;
            } else {
                mixer_channel_stop(ch);
                return;
            }
        }
        int take = int(std::min<uint32_t>(length - ch->sound_position, uint32_t(n - done)));
        std::memcpy(ch->output + done, data + ch->sound_position, size_t(take) * sizeof(int16_t));
        ch->sound_position += uint32_t(take);
        done += take;
    }
    // The last sample of a sound that does not loop frees the channel at
    // once, even when it fell on the end of the pass.
    if (ch->sound_position >= length && !sound->loop) mixer_channel_stop(ch);
}

// One pass of the mixer over n <= MIXER_BUFFER_SAMPLES samples.
void mix_pass(unsigned char *device, int n) {
    advanced_pattern = 0;
    const bool console_mode = cconfig.console_sound_mode != 0;
    for (mixer_channel &ch : ms0) {
        std::memset(ch.output, 0, size_t(n) * sizeof(int16_t));
        if (console_mode) update_mix_channel(&ch, n);
        if (ch.sound) mix_sample_sound(&ch, n);
    }
    if (advanced_pattern) tamu_state.music_patterns_played++;

    // A sound effect on a console channel silences that channel's music.
    if (console_mode)
        for (int k = 0; k < 4; k++)
            if (ms0[k].sfx) std::memset(ms0[k + 4].output, 0, size_t(n) * sizeof(int16_t));

    int16_t *c0 = ms0[0].output;
    mix_down(c0, ms0[1].output, n);
    mix_down(ms0[2].output, ms0[3].output, n);
    mix_down(c0, ms0[2].output, n);
    mix_down(ms0[4].output, ms0[5].output, n);
    mix_down(ms0[6].output, ms0[7].output, n);
    mix_down(ms0[4].output, ms0[6].output, n);
    mix_down(c0, ms0[4].output, n);

    const int volume = cconfig.sound_volume;
    if (volume != 256)
        for (int i = 0; i < n; i++) c0[i] = saturate((c0[i] * volume) >> 8);

    mix_in_xm(c0, n);

    if (tamu_post_mix_func) tamu_post_mix_func(c0, n);

    // The device takes little-endian samples, as both targets are.
    std::memcpy(device, c0, size_t(n) * sizeof(int16_t));

    if (tamu_state.recording && tamu_audio_buffer) tamu_fwrite_int16s(c0, n, tamu_audio_buffer);
}

}  // namespace

int16_t soft_clip(int s) {
    if (s >= 24576)
        s = (s - 24576) / 5 + 24576;
    else if (s <= -24576)
        s = (s + 24576) / 5 - 24576;
    return static_cast<int16_t>(s);
}

void mix_down(int16_t *dst, const int16_t *src, int n) {
    for (int i = 0; i < n; i++) dst[i] = soft_clip(dst[i] + src[i]);
}

void mixer_channel_stop(mixer_channel *ch) {
    ch->owner_cart = nullptr;
    ch->sfx = nullptr;
    ch->music = 0;
    ch->sound = nullptr;
    ch->loop_enabled = 0;
    ch->half_rate_owed = 0;
}

void update_mix_channel(mixer_channel *ch, int n) {
    if (n < 1) return;
    int k = ch->console_channel & 3;
    if (!(pstate.mixer_registers[0] >> k & 1)) {
        ch->half_rate_owed = 0;
        mix_sfx_channel(ch, n);
        return;
    }
    // Half rate: each rendered sample plays twice, and exactly as many are
    // rendered as the pass plays, so that none is skipped between passes.
    int first = ch->half_rate_owed ? 1 : 0;
    int rendered = (n - first + 1) / 2;
    int16_t last = ch->half_rate_last;
    if (rendered > 0) {
        mix_sfx_channel(ch, rendered);
        last = ch->output[rendered - 1];
        for (int i = n - 1; i >= first; i--) ch->output[i] = ch->output[(i - first) / 2];
    }
    if (first) ch->output[0] = ch->half_rate_last;
    ch->half_rate_owed = (n - first) & 1;
    ch->half_rate_last = last;
}

void mix_in_xm(int16_t *buffer, int n) {
    uint32_t fade = fade_vol;
    if (!ps0.playing || !ps0.module || fade == 0 || n < 1) return;
    n = std::min(n, MIXER_BUFFER_SAMPLES);
    int gain = int((uint64_t(fade) * uint32_t(std::max(cconfig.music_volume, 0))) >> 16);
    tamu_mix_xm_chunk(&ps0, xmbuf, n);
    for (int i = 0; i < n; i++) {
        xmbuf[i] = saturate((xmbuf[i] * gain) >> 8);
        buffer[i] = soft_clip(buffer[i] + xmbuf[i]);
    }
}

void tamu_mixer_callback(void *, unsigned char *buffer, int bytes) {
    if (!buffer || bytes <= 0) return;
    if (tamu_state.paused || tamu_state.audio_paused) {
        std::memset(buffer, 0, size_t(bytes));
        return;
    }
    int n = bytes / 2;
    for (int done = 0; done < n;) {
        int pass = std::min(n - done, MIXER_BUFFER_SAMPLES);
        mix_pass(buffer + 2 * done, pass);
        done += pass;
    }
    if (bytes & 1) buffer[bytes - 1] = 0;
}

xm_playstate *tamu_get_xm_playstate() { return &ps0; }

void tamu_set_post_mix_func(tamu_post_mix_function hook) { tamu_post_mix_func = hook; }

int tamu_sound_init(int mode) {
    // A device opened by an earlier start may be calling back: the records
    // and the hook change under the lock.
    tamu_lock_audio_plat();
    std::memset(xmbuf, 0, sizeof xmbuf);
    ps0.module = nullptr;
    std::memset(ms0, 0, sizeof ms0);
    tamu_hooks.mixer_callback = tamu_mixer_callback;
    tamu_hooks.sound_exit = tamu_sound_exit;
    tamu_music_install_hooks();
    tamu_unlock_audio_plat();
    tamu_sound_install_pod_hooks();
    tamu_debugf("tamu_sound_init mix_buffer_size: %d\n", cconfig.mix_buffer_size);
    return tamu_sound_init_plat(mode);
}

void tamu_sound_exit() { tamu_sound_exit_plat(); }

// The recording switches take the audio lock, so that the callback is
// never part-way through an append while the buffer is emptied or handed
// out.
cbuffer *tamu_audio_rec() {
    tamu_lock_audio_plat();
    if (!tamu_audio_buffer) tamu_audio_buffer = tamu_create_buffer(MIXER_RECORD_BUFFER_SIZE);
    tamu_audio_buffer->position = 0;
    tamu_audio_buffer->size = 0;
    tamu_state.recording = 1;
    tamu_unlock_audio_plat();
    return tamu_audio_buffer;
}

cbuffer *tamu_audio_end() {
    cbuffer *result = nullptr;
    tamu_lock_audio_plat();
    if (tamu_state.recording) {
        tamu_state.recording = 0;
        result = tamu_audio_buffer;
    }
    tamu_unlock_audio_plat();
    return result;
}
