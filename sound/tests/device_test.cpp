// The mixer through the audio device: SDL's disk driver writes what the
// device plays to a file, which holds exactly what the mixer renders.
#include "sound_fixture.h"
#include "disk_audio.h"
#include "test_util.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using Device = SoundTest;

std::vector<int16_t> samples_of(const std::string &bytes) {
    std::vector<int16_t> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); i++)
        out[i] = int16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
    return out;
}

TEST_F(Device, PlaysWhatTheMixerRenders) {
    std::string raw = test_home() + "/sound-out.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
#ifndef _WIN32   // on Windows a set delay overwrites SDL's copy of the file name (engine's audio_test.cpp)
    setenv("SDL_DISKAUDIODELAY", "5", 1);
#endif
    cconfig.mix_buffer_size = 1024;

    // Two sound effects and a half-rate channel with echo.
    sfx(1).speed = 6;
    for (int j = 0; j < 32; j++) note(1, j, 24 + j, j % 6, 6, j % 6);
    sfx(2).speed = 3;
    fill(2, 40, WAVE_ORGAN, 5, EFFECT_VIBRATO);
    pstate.mixer_registers[0] = 2;
    pstate.mixer_registers[1] = 2;
    auto start = [this] {
        play(0, 1, 0, 0);
        play(1, 2, 0, 0);
    };

    // What the mixer gives, rendered directly in the device's buffer size.
    const int count = 16 * 1024;
    start();
    std::vector<int16_t> expected;
    for (int i = 0; i < count / 1024; i++) {
        std::vector<int16_t> part = callback(1024);
        expected.insert(expected.end(), part.begin(), part.end());
    }

    // The same from a fresh start through the device, which plays silence
    // until the sound effects start under the audio lock.
    ASSERT_EQ(tamu_sound_init(TAMU_SOUND_AUDIO), 0);
    EXPECT_EQ(tamu_hooks.mixer_callback, tamu_mixer_callback);
    tamu_lock_audio_plat();
    fresh();
    start();
    tamu_unlock_audio_plat();

    // The device may play silence before the first callback; the mix
    // itself starts with 0 too (the first tick fades in), so both are
    // aligned at their first sound.
    size_t e0 = 0;
    while (expected[e0] == 0) e0++;
    std::vector<int16_t> played;
    size_t p0 = 0;
    for (int i = 0; i < 50; i++) {
        played = samples_of(disk_audio_output(raw, 2 * (p0 + 8192)));
        p0 = 0;
        while (p0 < played.size() && played[p0] == 0) p0++;
        if (played.size() >= p0 + 8192) break;
    }
    ASSERT_GE(played.size(), p0 + 8192);
    for (size_t i = 0; i < 8192; i++) ASSERT_EQ(played[p0 + i], expected[e0 + i]) << "sample " << i;
    tamu_sound_exit();
}

}  // namespace
