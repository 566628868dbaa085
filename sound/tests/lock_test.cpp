// Every operation that reads or changes channel records holds the audio
// lock, seen through the open device: each takes the device lock exactly
// once (a song start too, across all it does) and leaves it unlocked, and
// under a lock the caller already holds the device is not locked again.
#include "sound_fixture.h"
#include "tamu_music.h"

#include <functional>

namespace {

int fixed_clock() { return 1000; }

class Lock : public SoundTest {
  protected:
    void SetUp() override {
        SoundTest::SetUp();
        // The device calls back meanwhile, but plays silence and leaves the
        // records alone while paused.
        tamu_state.paused = 1;
        cconfig.mix_buffer_size = 1024;
        ASSERT_EQ(tamu_sound_init(TAMU_SOUND_AUDIO), 0);
        fresh();
        tamu_music_clock = fixed_clock;
        fill(1, 33, WAVE_SQUARE, 7);
        cart->music[0][0] = 1;
    }
    void TearDown() override {
        while (tamu_audio_is_locked) tamu_unlock_audio_plat();
        SoundTest::TearDown();
        tamu_music_clock = tamu_get_time;
        tamu_hooks = tamu_upper_hooks{};
        zorva_cart_hooks.stop_sound = nullptr;
    }
    static int device_locks() {
        tamu_audio_device_info info;
        tamu_get_audio_device_info(&info);
        EXPECT_EQ(info.device_locks - info.device_unlocks, tamu_audio_is_locked ? 1 : 0);
        return info.device_locks;
    }
};

TEST_F(Lock, EveryOperationOnTheChannelsTakesTheLockOnce) {
    struct {
        const char *name;
        std::function<void()> run;
    } operations[] = {
        {"play, chosen channel", [&] { tamu_play_sfx_ex(&sfx(1), 0, 0, cart, -1); }},
        {"play, given channel", [&] { tamu_play_sfx_ex(&sfx(1), 0, 0, cart, 5); }},
        {"stop through play", [&] { tamu_play_sfx_ex(nullptr, 0, 0, cart, -1); }},
        {"play_sfx", [&] { tamu_play_sfx(&sfx(1)); }},
        {"play_sfx_cart", [&] { tamu_play_sfx_cart(&sfx(1), cart); }},
        {"stop_sfx", [&] { tamu_stop_sfx(&sfx(1)); }},
        {"stop_all_sounds", [] { tamu_stop_all_sounds(); }},
        {"sfx_is_playing", [&] { tamu_sfx_is_playing(&sfx(1)); }},
        {"playing note", [&] { tamu_get_sfx_playing_note(&sfx(1)); }},
        {"channel sfx", [] { tamu_get_zorva_channel_sfx(2); }},
        {"release", [] { tamu_release_looping_zorva_channel(2); }},
        {"song start", [&] { tamu_play_zorva_song(cart, 0, 0); }},
        {"song start fading in", [&] { tamu_play_zorva_song(cart, 0, 500); }},
        {"song start at a bad pattern", [&] { tamu_play_zorva_song(cart, -5, 0); }},
        {"song stop", [&] { tamu_stop_zorva_song(cart); }},
        {"song is playing", [&] { tamu_zorva_song_is_playing(cart); }},
        {"song ticks", [] { tamu_get_zorva_song_ticks(); }},
        {"music is playing", [] { tamu_music_is_playing(); }},
        {"fading state", [] { tamu_music_get_fading_state(); }},
        {"any sound", [] { tamu_any_sound_is_playing(); }},
        {"music stop at once", [] { cmusic_stop(nullptr, 0); }},
        {"fade reaching 0", [] { tamu_update_music_fading(); }},
        {"stat 16", [] { tamu_zorva_sound_stat(16); }},
        {"stat 21", [] { tamu_zorva_sound_stat(21); }},
        {"stat 26", [] { tamu_zorva_sound_stat(26); }},
        {"debug overlay", [] { debug_zorva_channels(); }},
        {"cart destructor", [] { tamu_destroy_zorva_cart(tamu_create_zorva_cart()); }},
    };
    for (auto &op : operations) {
        SCOPED_TRACE(op.name);
        // Something to act on.
        tamu_play_sfx_ex(&sfx(1), 0, 0, cart, 1);
        int before = device_locks();
        op.run();
        EXPECT_EQ(tamu_audio_is_locked, 0u);
        EXPECT_EQ(device_locks(), before + 1);
        tamu_stop_all_sounds();
    }

    // Under the caller's lock the device stays locked once.
    tamu_lock_audio_plat();
    int held = device_locks();
    for (auto &op : operations) op.run();
    EXPECT_EQ(tamu_audio_is_locked, 1u);
    EXPECT_EQ(device_locks(), held);
    tamu_unlock_audio_plat();
}

TEST_F(Lock, SampleSoundsStartStopAndGoUnderTheLock) {
    tamu_state.mixer_running = 1;
    csound *sound = tamu_create_sound(100, 16);
    struct {
        const char *name;
        std::function<void()> run;
    } operations[] = {
        {"play", [&] { tamu_play_sound(sound); }},
        {"play again", [&] { tamu_play_sound(sound); }},
        {"is playing", [&] { tamu_sound_is_playing(sound); }},
        {"stop", [&] { tamu_stop_sound(sound); }},
        {"destroy", [&] { tamu_destroy_sound(tamu_create_sound(10, 16)); }},
    };
    for (auto &op : operations) {
        SCOPED_TRACE(op.name);
        int before = device_locks();
        op.run();
        EXPECT_EQ(tamu_audio_is_locked, 0u);
        EXPECT_EQ(device_locks(), before + 1);
    }
    tamu_destroy_sound(sound);
    tamu_state.mixer_running = 0;
}

TEST_F(Lock, FadingLocksOnlyToStopMusic) {
    tamu_play_zorva_song(cart, 0, 0);
    int before = device_locks();
    // A fade that is still going changes no channel.
    cmusic_stop(nullptr, 1000);
    tamu_update_music_fading();
    tamu_set_sound_volume(100);
    tamu_set_music_volume(100);
    EXPECT_EQ(device_locks(), before);
    EXPECT_EQ(ms0[4].music, 1);
}

}  // namespace
