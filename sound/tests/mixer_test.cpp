// The mixer behind the audio callback, driven directly: soft clipping, the
// mix of the eight records, silence while paused, the volumes, sample
// sounds, half-rate channels, music under sound effects, large device
// requests, the post-mix hook, recording, and start-up.
#include "sound_fixture.h"
#include "test_util.h"

#include <string>

namespace {

using Mixer = SoundTest;

TEST(SoftClip, BendsSumsAboveTheKnee) {
    struct {
        int a, b, sum;
    } cases[] = {
        {32767, 32767, 32767}, {-32768, -32768, -32768}, {24575, 1, 24576}, {24576, 10, 24578},
        {-24576, -10, -24578}, {24580, 0, 24576},        {30000, -30000, 0}, {20000, 20000, 27660},
        {24576, 4, 24576},     {-24576, -4, -24576},
    };
    for (auto &c : cases) {
        int16_t dst[1] = {int16_t(c.a)}, src[1] = {int16_t(c.b)};
        mix_down(dst, src, 1);
        EXPECT_EQ(dst[0], c.sum) << c.a << " + " << c.b;
    }
    int16_t dst[2] = {5, 6}, src[2] = {100, 100};
    mix_down(dst, src, 0);
    mix_down(dst, src, -3);
    EXPECT_EQ(dst[0], 5);
    EXPECT_EQ(dst[1], 6);
}

// Sample sounds of constant value on each record, in plain eight-channel
// mode, show the mix tree's order.
class MixTree : public SoundTest {
  protected:
    std::vector<int16_t> data[8];
    csound sounds[8] = {};
    void SetUp() override {
        SoundTest::SetUp();
        cconfig.console_sound_mode = 0;
    }
    std::vector<int16_t> mix(const std::vector<int> &values, int n = 16) {
        for (int k = 0; k < 8; k++) {
            data[k].assign(size_t(n), int16_t(values[size_t(k)]));
            sounds[k] = csound{n, 16, 22050, 0, data[k].data(), data[k].data(), 0, 256, k};
            ms0[k].sound = &sounds[k];
            ms0[k].sound_position = 0;
        }
        return callback(n);
    }
};

TEST_F(MixTree, PairsThenHalvesThenTheTwoHalves) {
    struct {
        std::vector<int> values;
        int out;
    } cases[] = {
        {{10000, 10000, 10000, 10000, 10000, 10000, 10000, 10000}, 30724},
        {{-10000, -10000, -10000, -10000, -10000, -10000, -10000, -10000}, -30724},
        {{30000, 30000, -30000, -30000, 0, 0, 0, 0}, 0},
        // A loud sum is bent again at each later level of the tree.
        {{30000, -30000, 0, 0, 30000, 30000, 0, 0}, 24859},
        {{32767, 32767, 0, 0, 0, 0, 0, 0}, 24903},
        {{0, 0, 0, 0, 0, 0, -32768, -32768}, -24903},
        {{24575, 0, 0, 0, 0, 0, 0, 1}, 24576},
        {{1, 2, 4, 8, 16, 32, 64, 128}, 255},
    };
    for (auto &c : cases) {
        std::vector<int16_t> out = mix(c.values);
        EXPECT_EQ(out, std::vector<int16_t>(16, int16_t(c.out))) << c.values[0] << " " << c.values[1];
    }
}

TEST_F(MixTree, SoundVolumeScalesTheConsoleChannels) {
    struct {
        int volume, value, out;
    } cases[] = {
        {128, 10000, 15362}, {128, -10000, -15362}, {0, 10000, 0}, {256, 10000, 30724}, {255, -1, -8}, {1, 1000, 31},
    };
    for (auto &c : cases) {
        cconfig.sound_volume = c.volume;
        std::vector<int16_t> out = mix(std::vector<int>(8, c.value));
        EXPECT_EQ(out[0], c.out) << c.volume << " " << c.value;
    }
}

TEST_F(Mixer, PausedOrAudioPausedPlaysExactSilenceAndHoldsStill) {
    fill(1, 33, WAVE_SQUARE, 7);
    play(0, 1, 0, 0);
    play(5, 1, 0, 0);
    callback(300);
    const int position = ms0[0].tick_position, read = ms0[0].read_position;
    for (int which = 0; which < 2; which++) {
        SCOPED_TRACE(which);
        tamu_state.paused = which == 0;
        tamu_state.audio_paused = which == 1 ? 3 : 0;
        std::vector<unsigned char> buffer(4000, 0xAB);
        tamu_mixer_callback(nullptr, buffer.data(), int(buffer.size()));
        EXPECT_EQ(buffer, std::vector<unsigned char>(4000, 0));
        EXPECT_EQ(ms0[0].tick_position, position);
        EXPECT_EQ(ms0[0].read_position, read);
    }
    tamu_state.paused = tamu_state.audio_paused = 0;
    callback(300);
    EXPECT_GT(ms0[0].tick_position, position);
}

TEST_F(Mixer, ConsoleChannelsMixTheirSynthesisedOutput) {
    fill(1, 33, WAVE_SQUARE, 7);
    fill(2, 40, WAVE_TRIANGLE, 4);
    sfx(2).speed = 5;
    // Reference: each sound effect alone on a channel, rendered directly.
    play(0, 1, 0, 0);
    play(3, 2, 0, 0);
    std::vector<int16_t> a = render(ms0[0], 5000), b = render(ms0[3], 5000);
    fresh();
    play(0, 1, 0, 0);
    play(3, 2, 0, 0);
    std::vector<int16_t> out = callback(5000);
    for (int i = 0; i < 5000; i++) ASSERT_EQ(out[i], soft_clip(a[i] + b[i])) << i;
}

TEST_F(Mixer, SoundEffectSilencesItsChannelsMusicWhileMusicAdvances) {
    for (int n = 1; n <= 2; n++) sfx(n).speed = 2;
    fill(1, 33, WAVE_SQUARE, 7);
    fill(2, 45, WAVE_SAW, 6);
    for (int j = 4; j < 32; j++) note(1, j, 33, WAVE_SQUARE, 0);   // sound effect: four notes long
    cart->music[0][2] = 2;
    cart->music_flags[0] = 0;
    play_song(0);
    mixer_channel &fx = play(2, 1, 0, 0);
    // 8 ticks of sound effect, one more to see it end.
    const int during = 8 * SFX_TICK_SAMPLES;
    std::vector<int16_t> out = callback(during);
    EXPECT_EQ(ms0[6].tick_position, 8);
    EXPECT_NE(fx.sfx, nullptr);
    // What the sound effect alone gives.
    SoundTest::fresh();
    play(2, 1, 0, 0);
    std::vector<int16_t> alone = render(ms0[2], during);
    EXPECT_EQ(out, alone);

    // Once it has ended the music is heard again.
    fresh();
    play_song(0);
    play(2, 1, 0, 0);
    callback(during + SFX_TICK_SAMPLES);
    EXPECT_EQ(ms0[2].sfx, nullptr);
    std::vector<int16_t> after = callback(2000);
    EXPECT_NE(after, std::vector<int16_t>(2000, 0));
    EXPECT_EQ(ms0[6].tick_position, 9 + (2000 + SFX_TICK_SAMPLES - 1) / SFX_TICK_SAMPLES);
}

TEST_F(Mixer, HalfRateChannelPlaysEachSampleTwice) {
    sfx(1).speed = 1;
    for (int j = 0; j < 32; j++) note(1, j, 20 + j, WAVE_TRIANGLE, 6);
    // The same channel at normal rate, as one stream.
    play(1, 1, 0, 0);
    std::vector<int16_t> ref = render(ms0[1], 4000);
    fresh();
    pstate.mixer_registers[0] = 2;
    mixer_channel &ch = play(1, 1, 0, 0);
    // Over callbacks of any length, odd ones too, the output is the
    // channel's stream at half speed: no sample skipped or repeated more.
    std::vector<int16_t> out;
    for (int n : {1024, 1001, 1, 998}) {
        std::vector<int16_t> part = callback(n);
        out.insert(out.end(), part.begin(), part.end());
    }
    ASSERT_EQ(out.size(), 3024u);
    for (size_t i = 0; i < out.size(); i++) ASSERT_EQ(out[i], ref[i / 2]) << i;
    // Notes last twice as long: 1512 channel samples after 3024 output samples.
    EXPECT_EQ(ch.tick_position, (1512 + SFX_TICK_SAMPLES - 1) / SFX_TICK_SAMPLES);
    // Channel 0 is not slowed.
    fresh();
    play(0, 1, 0, 0);
    std::vector<int16_t> normal = callback(1024);
    EXPECT_EQ(normal, std::vector<int16_t>(ref.begin(), ref.begin() + 1024));
}

TEST_F(Mixer, LargeRequestsAreMixedInPasses) {
    sfx(1).speed = 3;
    for (int j = 0; j < 32; j++) note(1, j, 30 + j, j % 6, 7, j % 6);
    for (int k = 0; k < 8; k++) play(k, 1, k, 0);
    std::vector<mixer_channel> saved(ms0, ms0 + 8);
    std::vector<int16_t> whole = callback(8192);
    std::copy(saved.begin(), saved.end(), ms0);
    std::vector<int16_t> parts = callback(4096), rest = callback(4096);
    parts.insert(parts.end(), rest.begin(), rest.end());
    EXPECT_EQ(whole, parts);
    EXPECT_NE(whole, std::vector<int16_t>(8192, 0));
}

TEST_F(Mixer, OddByteCountsLeaveNoStrayByte) {
    fill(1, 33, WAVE_SQUARE, 7);
    play(0, 1, 0, 0);
    std::vector<unsigned char> buffer(301, 0xAB);
    tamu_mixer_callback(nullptr, buffer.data(), 301);
    EXPECT_EQ(buffer[300], 0);
    tamu_mixer_callback(nullptr, buffer.data(), 0);
    tamu_mixer_callback(nullptr, nullptr, 100);
}

// ---------------------------------------------------------------------------
// Sample sounds

class SampleSounds : public SoundTest {
  protected:
    std::vector<int16_t> data;
    csound sound = {};
    csound *make(std::vector<int16_t> samples, int loop) {
        data = std::move(samples);
        sound = csound{int32_t(data.size()), 16, 22050, 0, data.data(), data.data(), loop, 256, 0};
        return &sound;
    }
};

TEST_F(SampleSounds, LoopingSoundWraps) {
    cconfig.console_sound_mode = 0;
    ms0[3].sound = make({1, 2, 3}, 1);
    EXPECT_EQ(callback(8), (std::vector<int16_t>{1, 2, 3, 1, 2, 3, 1, 2}));
    EXPECT_EQ(ms0[3].sound_position, 2u);
    EXPECT_EQ(callback(4), (std::vector<int16_t>{3, 1, 2, 3}));
    EXPECT_EQ(ms0[3].sound, &sound);
}

TEST_F(SampleSounds, EndingSoundFreesItsChannelInTheSameCallback) {
    struct {
        int length, n;
    } cases[] = {{1, 8}, {5, 8}, {8, 8}, {3, 2}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.length * 100 + c.n);
        fresh();
        cconfig.console_sound_mode = 0;
        std::vector<int16_t> samples;
        for (int i = 0; i < c.length; i++) samples.push_back(int16_t(100 + i));
        ms0[6].sound = make(samples, 0);
        ms0[6].music = 1;
        ms0[6].loop_enabled = 1;
        std::vector<int16_t> out = callback(c.n);
        for (int i = 0; i < c.n; i++) EXPECT_EQ(out[i], i < c.length ? 100 + i : 0) << i;
        bool ended = c.length <= c.n;
        EXPECT_EQ(ms0[6].sound == nullptr, ended);
        EXPECT_EQ(ms0[6].music, ended ? 0 : 1);
        EXPECT_EQ(ms0[6].loop_enabled, ended ? 0 : 1);
    }
}

TEST_F(SampleSounds, ReplaceTheSynthesiserUntilTheyEnd) {
    fill(1, 33, WAVE_SQUARE, 7);
    play(0, 1, 0, 0);
    std::vector<int16_t> synth = callback(400);
    fresh();
    play(0, 1, 0, 0);
    ms0[0].sound = make(std::vector<int16_t>(100, 1234), 0);
    std::vector<int16_t> out = callback(400);
    for (int i = 0; i < 100; i++) ASSERT_EQ(out[i], 1234) << i;
    for (int i = 100; i < 400; i++) ASSERT_EQ(out[i], synth[i]) << i;
    // The end of the sound stops the channel's sound effect too.
    EXPECT_EQ(ms0[0].sfx, nullptr);
    EXPECT_EQ(ms0[0].owner_cart, nullptr);
}

TEST_F(SampleSounds, OddSoundsNeitherOverreadNorHang) {
    cconfig.console_sound_mode = 0;
    // Eight-bit data of 10 samples is 10 bytes: five 16-bit values.
    std::vector<int16_t> block(5, 77);
    sound = csound{10, 8, 22050, 0, block.data(), block.data(), 0, 256, 0};
    ms0[1].sound = &sound;
    std::vector<int16_t> out = callback(8);
    EXPECT_EQ(out, (std::vector<int16_t>{77, 77, 77, 77, 77, 0, 0, 0}));
    EXPECT_EQ(ms0[1].sound, nullptr);
    // An empty looping sound ends instead of looping forever.
    sound = csound{0, 16, 22050, 0, block.data(), block.data(), 1, 256, 0};
    ms0[1].sound = &sound;
    EXPECT_EQ(callback(8), std::vector<int16_t>(8, 0));
    EXPECT_EQ(ms0[1].sound, nullptr);
}

// ---------------------------------------------------------------------------
// Module mix-in, post-mix hook, recording

TEST_F(Mixer, ModuleStepNeedsAPlayingModule) {
    fill(1, 33, WAVE_SQUARE, 7);
    play(0, 1, 0, 0);
    std::vector<int16_t> plain = callback(500);
    // Flagged as playing without a module, or a module with the fade at
    // 0: the mix is untouched.
    fresh();
    play(0, 1, 0, 0);
    ps0.playing = 1;
    std::vector<int16_t> out = callback(500);
    EXPECT_EQ(out, plain);
    EXPECT_EQ(tamu_get_xm_playstate(), &ps0);
}

std::vector<int> hook_calls;
void negate_hook(int16_t *samples, int n) {
    hook_calls.push_back(n);
    for (int i = 0; i < n; i++) samples[i] = int16_t(-samples[i]);
}

TEST_F(Mixer, PostMixHookSeesAndMayChangeTheMix) {
    fill(1, 33, WAVE_SQUARE, 7);
    play(0, 1, 0, 0);
    std::vector<int16_t> plain = callback(5000);
    fresh();
    play(0, 1, 0, 0);
    hook_calls.clear();
    tamu_set_post_mix_func(negate_hook);
    std::vector<int16_t> out = callback(5000);
    tamu_set_post_mix_func(nullptr);
    EXPECT_EQ(hook_calls, (std::vector<int>{4096, 904}));
    for (int i = 0; i < 5000; i++) ASSERT_EQ(out[i], -plain[i]) << i;
}

TEST_F(Mixer, RecordingKeepsEveryOutputSample) {
    fill(1, 33, WAVE_SQUARE, 7);
    play(0, 1, 0, 0);
    EXPECT_EQ(tamu_audio_end(), nullptr);
    callback(100);   // before recording
    cbuffer *rec = tamu_audio_rec();
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->size, 0);
    EXPECT_GE(rec->capacity, MIXER_RECORD_BUFFER_SIZE);
    EXPECT_EQ(tamu_state.recording, 1);
    std::vector<int16_t> played = callback(1000);
    std::vector<int16_t> more = callback(200000);   // grows the buffer
    played.insert(played.end(), more.begin(), more.end());
    EXPECT_EQ(tamu_audio_end(), rec);
    EXPECT_EQ(tamu_state.recording, 0);
    callback(100);   // after recording
    ASSERT_EQ(rec->size, 2 * 201000);
    for (size_t i = 0; i < played.size(); i++) {
        int v = rec->data[2 * i] | rec->data[2 * i + 1] << 8;
        ASSERT_EQ(int16_t(v), played[i]) << i;
    }
    EXPECT_EQ(tamu_audio_end(), nullptr);
    // A new recording starts empty in the same buffer.
    EXPECT_EQ(tamu_audio_rec(), rec);
    EXPECT_EQ(rec->size, 0);
    EXPECT_EQ(rec->position, 0);
    tamu_audio_end();
}

TEST_F(Mixer, InitClearsTheChannelsAndInstallsTheCallback) {
    std::string log_path = test_home() + "/sound-log.txt";
    tamu_state.log = std::fopen(log_path.c_str(), "wb");
    fill(1, 33, WAVE_SQUARE, 7);
    play(2, 1, 0, 0);
    ps0.module = reinterpret_cast<xm_module *>(&ps0);
    xmbuf[7] = 5;
    tamu_hooks = tamu_upper_hooks{};
    cconfig.mix_buffer_size = 2048;
    // Any mode but 16 opens no device.
    EXPECT_EQ(tamu_sound_init(0), 1);
    EXPECT_EQ(ms0[2].sfx, nullptr);
    EXPECT_EQ(ms0[2].tick_position, 0);
    EXPECT_EQ(ps0.module, nullptr);
    EXPECT_EQ(xmbuf[7], 0);
    EXPECT_EQ(tamu_hooks.mixer_callback, tamu_mixer_callback);
    EXPECT_EQ(tamu_hooks.sound_exit, tamu_sound_exit);
    std::fclose(tamu_state.log);
    tamu_state.log = nullptr;
    EXPECT_EQ(read_file(log_path), "tamu_sound_init mix_buffer_size: 2048\n");
    tamu_hooks = tamu_upper_hooks{};
}

}  // namespace
