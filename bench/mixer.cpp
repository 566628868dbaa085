// The mixer rendering eight busy channels (every waveform and effect, a
// custom instrument, echo, low-pass, distortion and a half-rate channel),
// through the audio callback in device-sized buffers, side by side with a
// plain loop that sums eight ready buffers of the same sample count with
// saturation. Prints both times, their ratio and how many times faster
// than real time the mixer runs.
//
//   mixer [SECONDS-OF-AUDIO]     (default 30)
#include "tamu.h"
#include "tamu_mixer.h"
#include "zorva_cart.h"
#include "zorva_state.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

inline void barrier(void *p) { asm volatile("" : : "r"(p) : "memory"); }

constexpr int ROUNDS = 5;
constexpr int BUFFER = 1024;   // samples per callback, the default device size

void set_up(zorva_cart *cart) {
    std::memset(ms0, 0, sizeof ms0);
    for (int n = 0; n < 8; n++) {
        sfx_record &s = cart->sfx[n];
        s.speed = 3 + n;
        s.loop_start = 0;
        s.loop_end = 32;   // loops: the channels stay busy
        for (int j = 0; j < 32; j++) {
            sfx_note &x = s.notes[j];
            x.pitch = 12 + (j * 5 + n * 7) % 50;
            x.waveform = (j + n) % 8;
            x.volume = 3 + (j + n) % 5;
            x.effect = (j / 2 + n) % 8;
            x.custom_instrument = (n == 6 && j % 4 == 0) ? ZORVA_SFX_CUSTOM_INSTRUMENT : 0;
        }
    }
    for (int k = 0; k < 8; k++) {
        mixer_channel &ch = ms0[k];
        ch.sfx = &cart->sfx[k];
        ch.owner_cart = cart;
        ch.console_channel = k & 3;
        ch.loop_enabled = 1;
        ch.tick_position = k * 5;
        ch.remaining_ticks = -1;   // endless
        ch.music = k >= 4;         // the music layer; its sound effects loop
        ch.pattern = 0;
    }
    // Filters on console channel 1, half rate on 2.
    pstate.mixer_registers[0] = 4;
    pstate.mixer_registers[1] = 2;
    pstate.mixer_registers[2] = 2;
    pstate.mixer_registers[3] = 2;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char **argv) {
    double audio_seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    if (audio_seconds <= 0) audio_seconds = 30.0;
    const long total = long(audio_seconds * tamu_sound_freq);
    const long callbacks = (total + BUFFER - 1) / BUFFER;

    cconfig.console_sound_mode = 1;
    cconfig.sound_volume = 256;
    cconfig.music_volume = 256;
    fade_vol = 0x10000;
    zorva_cart *cart = tamu_create_zorva_cart();
    pstate.live_cart = cart;

    std::vector<int16_t> device(BUFFER);
    std::vector<int16_t> sources(size_t(8) * BUFFER), out(BUFFER);
    for (size_t i = 0; i < sources.size(); i++) sources[i] = int16_t((i * 2654435761u) >> 17);

    double best_mix = 1e300, best_peer = 1e300;
    long checksum = 0;
    for (int round = 0; round < ROUNDS; round++) {
        set_up(cart);
        tamu_srand(1);
        auto t0 = std::chrono::steady_clock::now();
        for (long c = 0; c < callbacks; c++) {
            tamu_mixer_callback(nullptr, reinterpret_cast<unsigned char *>(device.data()), 2 * BUFFER);
            barrier(device.data());
        }
        best_mix = std::min(best_mix, seconds_since(t0));
        checksum += device[BUFFER / 2];

        // The peer: eight ready channels summed and saturated per sample.
        t0 = std::chrono::steady_clock::now();
        for (long c = 0; c < callbacks; c++) {
            for (int i = 0; i < BUFFER; i++) {
                int s = 0;
                for (int k = 0; k < 8; k++) s += sources[size_t(k) * BUFFER + size_t(i)];
                out[size_t(i)] = int16_t(std::clamp(s, -32768, 32767));
            }
            barrier(out.data());
            sources[size_t(c % 8) * BUFFER] ^= 1;   // keeps the work from being hoisted
        }
        best_peer = std::min(best_peer, seconds_since(t0));
    }

    double rendered = double(callbacks * BUFFER) / tamu_sound_freq;
    std::printf("zorva mixer benchmark: 8 busy channels, %.1f s of audio in %ld callbacks of %d samples (best of %d)\n\n",
                rendered, callbacks, BUFFER, ROUNDS);
    std::printf("%-40s %10.2f ms   %8.1f ns/sample\n", "mixer (tamu_mixer_callback)", best_mix * 1e3,
                best_mix * 1e9 / double(callbacks * BUFFER));
    std::printf("%-40s %10.2f ms   %8.1f ns/sample\n", "peer (sum of 8 ready buffers)", best_peer * 1e3,
                best_peer * 1e9 / double(callbacks * BUFFER));
    std::printf("ratio mixer / peer: %.2f\n", best_mix / best_peer);
    std::printf("real-time factor: %.0fx (one core renders %.0f s of audio per second)\n", rendered / best_mix,
                rendered / best_mix);
    std::printf("(checksum %ld)\n", checksum);
    tamu_destroy_zorva_cart(cart);
    return 0;
}
