// The audio device under SDL's dummy and disk drivers: the format it
// delivers, the mixer hook, the volumes, and the counted lock.
#include "tamu.h"
#include "disk_audio.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

namespace {

std::atomic<int> mixer_calls{0};
std::atomic<int> bad_lengths{0};
std::atomic<int> non_null_userdata{0};
std::atomic<int> next_sample{1};
int sound_volume_set = -1, music_volume_set = -1;

// Writes the sample sequence 1, 2, 3, ... so that the output can be checked.
void counting_mixer(void *userdata, unsigned char *stream, int len) {
    mixer_calls++;
    if (userdata) non_null_userdata++;
    if (len != cconfig.mix_buffer_size * 2) bad_lengths++;
    for (int i = 0; i + 1 < len; i += 2) {
        int v = next_sample.fetch_add(1) & 0x7fff;
        stream[i] = static_cast<unsigned char>(v);
        stream[i + 1] = static_cast<unsigned char>(v >> 8);
    }
}

void record_sound_volume(int v) { sound_volume_set = v; }
void record_music_volume(int v) { music_volume_set = v; }

tamu_audio_device_info device_info() {
    tamu_audio_device_info info;
    tamu_get_audio_device_info(&info);
    return info;
}

// Waits up to about three seconds for the device to call back again.
bool callbacks_advance() {
    int before = device_info().callbacks;
    for (int i = 0; i < 300; i++) {
        if (device_info().callbacks > before) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class AudioDevice : public ::testing::Test {
  protected:
    std::string log_path = test_home() + "/audio-log.txt";
    void SetUp() override {
        tamu_state.log = std::fopen(log_path.c_str(), "wb");
        tamu_debug_indentation = 0;
        cconfig.mix_buffer_size = 1024;
        cconfig.sound_volume = 200;
        cconfig.music_volume = 100;
        tamu_hooks = tamu_upper_hooks{};
        tamu_hooks.mixer_callback = counting_mixer;
        tamu_hooks.set_sound_volume = record_sound_volume;
        tamu_hooks.set_music_volume = record_music_volume;
        sound_volume_set = music_volume_set = -1;
    }
    void TearDown() override {
        while (tamu_audio_is_locked) tamu_unlock_audio_plat();
        std::fclose(tamu_state.log);
        tamu_state.log = nullptr;
    }
    std::string log() { return read_file(log_path); }
};

TEST_F(AudioDevice, OpensAtTheRequestedFormatAndCallsTheMixer) {
    ASSERT_EQ(tamu_sound_init_plat(TAMU_SOUND_AUDIO), 0) << log();
    tamu_audio_device_info info = device_info();
    EXPECT_EQ(info.open, 1);
    EXPECT_EQ(info.freq, 22050);
    EXPECT_EQ(info.freq, tamu_sound_freq);
    EXPECT_EQ(info.format, AUDIO_S16LSB);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.samples, 1024);
    EXPECT_EQ(tamu_state.mixer_running, 1);

    for (int i = 0; i < 300 && mixer_calls < 3; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(mixer_calls.load(), 3);
    EXPECT_EQ(bad_lengths.load(), 0);
    EXPECT_EQ(non_null_userdata.load(), 0);
    EXPECT_EQ(sound_volume_set, 200);
    EXPECT_EQ(music_volume_set, 100);

    std::string text = log();
    EXPECT_NE(text.find("tamu_sound_init\nSDL_INIT_AUDIO ok\nSDL_OpenAudio ok\nBuilt-in audio drivers:"),
              std::string::npos) << text;
    EXPECT_EQ(text.find("differs"), std::string::npos) << text;
    EXPECT_NE(text.find("Current audio driver: dummy\n"), std::string::npos) << text;

    // Opened once: a second start keeps the device and applies the volumes.
    cconfig.sound_volume = 10;
    EXPECT_EQ(tamu_sound_init_plat(TAMU_SOUND_AUDIO), 0);
    EXPECT_EQ(sound_volume_set, 10);
    EXPECT_EQ(log().find("SDL_OpenAudio ok"), log().rfind("SDL_OpenAudio ok"));
}

TEST_F(AudioDevice, NothingOpensWithoutTheAudioFlagOrABufferSize) {
    if (device_info().open) GTEST_SKIP() << "a device was opened earlier in this process";
    struct {
        int flags, mix_buffer_size;
        bool volumes_applied;
    } cases[] = {
        {0, 1024, false},
        {TAMU_SOUND_AUDIO | 1, 1024, false},
        {32, 1024, false},
        {TAMU_SOUND_AUDIO, 0, true},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.flags);
        sound_volume_set = music_volume_set = -1;
        cconfig.mix_buffer_size = c.mix_buffer_size;
        EXPECT_EQ(tamu_sound_init_plat(c.flags), 1);
        EXPECT_EQ(device_info().open, 0);
        EXPECT_EQ(sound_volume_set, c.volumes_applied ? 200 : -1);
        EXPECT_EQ(music_volume_set, c.volumes_applied ? 100 : -1);
    }
    EXPECT_EQ(log(), "");
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    EXPECT_EQ(mixer_calls.load(), 0);
}

TEST_F(AudioDevice, LockNestsAndOnlyTheOutermostReachesTheDevice) {
    ASSERT_EQ(tamu_sound_init_plat(TAMU_SOUND_AUDIO), 0);
    ASSERT_TRUE(callbacks_advance());

    for (int i = 0; i < 3; i++) tamu_lock_audio_plat();
    EXPECT_EQ(tamu_audio_is_locked, 3u);
    EXPECT_EQ(device_info().device_locks, 1);
    // The callback cannot run while the device is locked (a buffer lasts
    // about 46 ms).
    int held = device_info().callbacks;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    tamu_unlock_audio_plat();
    tamu_unlock_audio_plat();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(device_info().callbacks, held);
    EXPECT_EQ(device_info().device_unlocks, 0);
    EXPECT_EQ(tamu_audio_is_locked, 1u);

    tamu_unlock_audio_plat();
    EXPECT_EQ(tamu_audio_is_locked, 0u);
    EXPECT_EQ(device_info().device_unlocks, 1);
    EXPECT_TRUE(callbacks_advance());

    // A second balanced use locks the device once more.
    tamu_lock_audio_plat();
    tamu_lock_audio_plat();
    tamu_unlock_audio_plat();
    tamu_unlock_audio_plat();
    EXPECT_EQ(device_info().device_locks, 2);
    EXPECT_EQ(device_info().device_unlocks, 2);
}

TEST_F(AudioDevice, UnlockWithoutALockIsIgnoredAndLogged) {
    ASSERT_EQ(tamu_sound_init_plat(TAMU_SOUND_AUDIO), 0);
    std::fclose(tamu_state.log);
    tamu_state.log = std::fopen(log_path.c_str(), "wb");

    tamu_unlock_audio_plat();
    EXPECT_EQ(tamu_audio_is_locked, 0u);
    EXPECT_EQ(device_info().device_unlocks, 0);
    EXPECT_EQ(log(), "tamu_unlock_audio_plat: not locked\n");

    // The lock still works afterwards.
    ASSERT_TRUE(callbacks_advance());
    tamu_lock_audio_plat();
    EXPECT_EQ(tamu_audio_is_locked, 1u);
    EXPECT_EQ(device_info().device_locks, 1);
    int held = device_info().callbacks;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(device_info().callbacks, held);
    tamu_unlock_audio_plat();
    EXPECT_EQ(device_info().device_unlocks, 1);
    EXPECT_TRUE(callbacks_advance());
}

TEST_F(AudioDevice, LockWithoutADeviceOnlyCounts) {
    if (device_info().open) GTEST_SKIP() << "a device was opened earlier in this process";
    tamu_lock_audio_plat();
    tamu_lock_audio_plat();
    EXPECT_EQ(tamu_audio_is_locked, 2u);
    // The device opening inside a lock taken before it was never locked by
    // it, so the outermost unlock must not unlock it.
    ASSERT_EQ(tamu_sound_init_plat(TAMU_SOUND_AUDIO), 0);
    tamu_unlock_audio_plat();
    tamu_unlock_audio_plat();
    EXPECT_EQ(tamu_audio_is_locked, 0u);
    EXPECT_EQ(device_info().device_locks, 0);
    EXPECT_EQ(device_info().device_unlocks, 0);
    EXPECT_TRUE(callbacks_advance());
}

// The disk driver writes what the device plays to a file: the mixer's
// samples arrive as written (16-bit mono, no conversion), and no mixer
// gives silence.
class AudioDeviceOutput : public AudioDevice {
  protected:
    std::string raw = test_home() + "/audio-out.raw";
    void SetUp() override {
        AudioDevice::SetUp();
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
#ifndef _WIN32
        // SDL 2.26's SDL_getenv on Windows returns one shared buffer: reading
        // a set SDL_DISKAUDIODELAY would overwrite the file name just read
        // (the disk driver would write a file named "5"). Windows keeps
        // SDL's own delay, one buffer's time.
        setenv("SDL_DISKAUDIODELAY", "5", 1);
#endif
    }
    // The samples written so far, once at least count are there.
    std::string played(size_t count) { return disk_audio_output(raw, count * 2); }
};

TEST_F(AudioDeviceOutput, MixerSamplesReachTheDeviceUnchanged) {
    if (device_info().open) GTEST_SKIP() << "a device was opened earlier in this process";
    ASSERT_EQ(tamu_sound_init_plat(TAMU_SOUND_AUDIO), 0) << log();
    EXPECT_NE(log().find("Current audio driver: disk\n"), std::string::npos);
    // The device may play a paused buffer of silence before playback
    // starts (a busy machine lets its thread run first): skip it.
    auto sample = [](const std::string &b, size_t i) {
        return static_cast<uint8_t>(b[2 * i]) | static_cast<uint8_t>(b[2 * i + 1]) << 8;
    };
    std::string bytes = played(4096);
    size_t start = 0;
    for (int tries = 0; tries < 50; tries++) {
        while (start < bytes.size() / 2 && sample(bytes, start) == 0) start++;
        if (bytes.size() / 2 >= start + 4096) break;
        bytes = played(start + 4096 + 1024);
    }
    ASSERT_GE(bytes.size() / 2, start + 4096);
    for (size_t i = 0; i < 4096; i++) ASSERT_EQ(sample(bytes, start + i), static_cast<int>(i + 1)) << "sample " << i;
}

TEST_F(AudioDeviceOutput, NoMixerPlaysSilence) {
    if (device_info().open) GTEST_SKIP() << "a device was opened earlier in this process";
    tamu_hooks.mixer_callback = nullptr;
    ASSERT_EQ(tamu_sound_init_plat(TAMU_SOUND_AUDIO), 0) << log();
    std::string bytes = played(4096);
    ASSERT_GE(bytes.size(), 8192u);
    EXPECT_EQ(bytes.find_first_not_of('\0'), std::string::npos);
    EXPECT_GE(device_info().callbacks, 4);
}

}  // namespace
