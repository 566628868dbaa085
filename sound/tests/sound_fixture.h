// A clear mixer for the sound tests: channel records zeroed, console mode,
// full volumes, no filters, one cart whose sound effects the tests write,
// and starts of sound effects and songs as the playing code makes them.
#pragma once

#include "tamu.h"
#include "tamu_csound.h"
#include "tamu_mixer.h"
#include "zorva_cart.h"
#include "zorva_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

class SoundTest : public ::testing::Test {
  protected:
    zorva_cart *cart = nullptr;

    void SetUp() override {
        std::memset(ms0, 0, sizeof ms0);
        std::memset(&pstate, 0, sizeof pstate);
        std::memset(&ps0, 0, sizeof ps0);
        std::memset(&tamu_state, 0, sizeof tamu_state);
        cconfig.console_sound_mode = 1;
        cconfig.sound_volume = 256;
        cconfig.music_volume = 256;
        fade_vol = 0x10000;
        tamu_post_mix_func = nullptr;
        advanced_pattern = 0;
        tamu_srand(0);
        cart = tamu_create_zorva_cart();
        pstate.live_cart = cart;
        fresh();
    }
    // Channel records cleared. The tick buffers start used up, so the
    // first sample a channel gives is the first of its first tick.
    static void fresh() {
        std::memset(ms0, 0, sizeof ms0);
        for (mixer_channel &ch : ms0) ch.read_position = SFX_TICK_SAMPLES;
    }
    void TearDown() override {
        tamu_destroy_zorva_cart(cart);
        std::memset(&pstate, 0, sizeof pstate);
        std::memset(ms0, 0, sizeof ms0);
    }

    sfx_record &sfx(int n) { return cart->sfx[n]; }
    void note(int n, int j, int pitch, int waveform, int volume, int effect = 0, bool custom = false) {
        sfx_note &x = cart->sfx[n].notes[j];
        x.pitch = pitch;
        x.waveform = waveform;
        x.volume = volume;
        x.effect = effect;
        x.custom_instrument = custom ? ZORVA_SFX_CUSTOM_INSTRUMENT : 0;
    }
    // Every note of sound effect n the same.
    void fill(int n, int pitch, int waveform, int volume, int effect = 0, bool custom = false) {
        for (int j = 0; j < ZORVA_SFX_NOTES; j++) note(n, j, pitch, waveform, volume, effect, custom);
    }
    // Sound effect n on channel k from note `offset` for `length` notes
    // (0: endless).
    mixer_channel &play(int k, int n, int offset = 0, int length = 32, zorva_cart *owner = nullptr) {
        mixer_channel &ch = ms0[k];
        int s = std::max(cart->sfx[n].speed, 1);
        ch.sfx = &cart->sfx[n];
        ch.owner_cart = owner ? owner : cart;
        ch.console_channel = k & 3;
        ch.music = 0;
        ch.loop_enabled = 1;
        ch.tick_position = offset * s;
        ch.remaining_ticks = length ? s * length : int32_t(uint32_t(s) * 0xFFFFFFFFu);
        return ch;
    }
    // The song from pattern p on records 4-7.
    void play_song(int p) {
        tamu_state.music_patterns_played = 0;
        tamu_state.music_pattern = p;
        for (int k = 0; k < 4; k++) {
            int e = cart->music[p][k];
            mixer_channel &ch = play(k + 4, std::min(e, 63));
            if (e > 63) ch.sfx = nullptr;
            ch.music = 1;
            ch.pattern = p;
            ch.remaining_ticks = get_pattern_length(cart, p);
        }
    }
    // n samples of the channel's synthesiser layer (with its filters).
    static std::vector<int16_t> render(mixer_channel &ch, int n) {
        std::vector<int16_t> out;
        while (n > 0) {
            int part = std::min(n, MIXER_BUFFER_SAMPLES);
            mix_sfx_channel(&ch, part);
            out.insert(out.end(), ch.output, ch.output + part);
            n -= part;
        }
        return out;
    }
    // One tick, before the filters.
    static std::vector<int16_t> tick(mixer_channel &ch) {
        int16_t buffer[SFX_TICK_SAMPLES];
        mix_sfx_tick(&ch, buffer);
        return std::vector<int16_t>(buffer, buffer + SFX_TICK_SAMPLES);
    }
    // n samples through the device callback.
    static std::vector<int16_t> callback(int n) {
        std::vector<int16_t> out(size_t(n) + 1);
        tamu_mixer_callback(nullptr, reinterpret_cast<unsigned char *>(out.data()), 2 * n);
        out.resize(size_t(n));
        return out;
    }
};

// The square wave's sample at a phase for a note volume.
inline int square_sample(uint32_t phase, int volume) {
    int g = volume * 256 * 3 / 2;
    return ((phase & 0xFFFF) >= 32768 ? 6143 : -6143) * g / 2048;
}
