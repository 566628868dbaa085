// Sample sounds: the record's life, starting one on a channel (choice and
// replacement), stopping, playing through the mixer sample for sample, and
// destroying a sound that plays.
#include "sound_fixture.h"

namespace {

class SampleSound : public SoundTest {
  protected:
    int live = 0;
    std::vector<csound *> made;

    void SetUp() override {
        SoundTest::SetUp();
        cconfig.console_sound_mode = 0;
        tamu_state.mixer_running = 1;   // the operations act only on an open device
        live = tamu_items_created;
    }
    void TearDown() override {
        for (csound *s : made) tamu_destroy_sound(s);
        EXPECT_EQ(tamu_items_created, live);
        SoundTest::TearDown();
    }
    csound *make(const std::vector<int16_t> &samples, int loop = 0) {
        csound *s = tamu_create_sound(int(samples.size()), 16);
        if (!samples.empty()) std::memcpy(tamu_sound_lock(s), samples.data(), samples.size() * 2);
        tamu_sound_release(s);
        s->loop = loop;
        made.push_back(s);
        return s;
    }
    // Which channels hold the sound.
    static std::vector<int> channels_of(const csound *s) {
        std::vector<int> out;
        for (int k = 0; k < MIXER_CHANNELS; k++)
            if (ms0[k].sound == s) out.push_back(k);
        return out;
    }
};

TEST_F(SampleSound, CreatedRecordAndItsSettings) {
    csound *s = tamu_create_sound(10, 8);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(tamu_items_created, live + 1);
    EXPECT_EQ(s->samples, 10);
    EXPECT_EQ(s->bits, 8);
    EXPECT_EQ(s->frequency, 22050);
    EXPECT_EQ(s->reserved, 0);
    EXPECT_EQ(s->loop, 0);
    EXPECT_EQ(s->volume, 256);
    EXPECT_EQ(s->channel, -1);
    EXPECT_EQ(s->read_pointer, s->data);
    EXPECT_EQ(tamu_sound_lock(s), s->data);
    // Ten bytes of data, writable to the last.
    static_cast<uint8_t *>(s->data)[9] = 1;

    csound_set_frequency(s, 11025);
    EXPECT_EQ(s->frequency, 11025);
    EXPECT_EQ(csound_set_volume(s, 100), 1);
    EXPECT_EQ(s->volume, 100);
    tamu_state.mixer_running = 0;
    EXPECT_EQ(csound_set_volume(s, 50), 0);
    EXPECT_EQ(s->volume, 100);
    EXPECT_EQ(tamu_get_sound_position(s), 0);
    tamu_set_sound_position(s, 5);
    EXPECT_EQ(tamu_sound_status(s), 0);
    tamu_destroy_sound(s);
    EXPECT_EQ(tamu_items_created, live);

    EXPECT_EQ(tamu_create_sound(-1, 16), nullptr);
    EXPECT_EQ(tamu_create_sound(4, -16), nullptr);
    EXPECT_EQ(tamu_create_sound(0x7FFFFFFF, 16), nullptr);   // over 2 GB
    csound *empty = tamu_create_sound(0, 16);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->data, nullptr);
    tamu_destroy_sound(empty);
    // Null is accepted everywhere.
    tamu_destroy_sound(nullptr);
    tamu_play_sound(nullptr);
    tamu_stop_sound(nullptr);
    csound_set_frequency(nullptr, 1);
    EXPECT_EQ(tamu_sound_is_playing(nullptr), 0);
    EXPECT_EQ(tamu_items_created, live);
}

TEST_F(SampleSound, PlaysItsSamplesThroughTheMixerUntilItsEnd) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        fresh();
        cconfig.console_sound_mode = mode;
        csound *s = make({1, -2, 3, -4, 5, 24000, -24000});
        tamu_play_sound(s);
        EXPECT_EQ(s->channel, 0);
        EXPECT_EQ(tamu_sound_is_playing(s), 1);
        EXPECT_EQ(callback(4), (std::vector<int16_t>{1, -2, 3, -4}));
        EXPECT_EQ(tamu_sound_is_playing(s), 1);
        EXPECT_EQ(callback(5), (std::vector<int16_t>{5, 24000, -24000, 0, 0}));
        // Ended: the channel is free, the sound keeps its channel number.
        EXPECT_EQ(ms0[0].sound, nullptr);
        EXPECT_EQ(tamu_sound_is_playing(s), 0);
        EXPECT_EQ(s->channel, 0);
    }
}

TEST_F(SampleSound, LoopingSoundPlaysOnAcrossCallbacks) {
    csound *s = make({10, 20, 30}, 1);
    tamu_play_sound(s);
    EXPECT_EQ(callback(7), (std::vector<int16_t>{10, 20, 30, 10, 20, 30, 10}));
    EXPECT_EQ(callback(3), (std::vector<int16_t>{20, 30, 10}));
    EXPECT_EQ(tamu_sound_is_playing(s), 1);
    // Released from its loop it ends at its next end.
    s->loop = 0;
    EXPECT_EQ(callback(4), (std::vector<int16_t>{20, 30, 0, 0}));
    EXPECT_EQ(tamu_sound_is_playing(s), 0);
}

TEST_F(SampleSound, ChoosesTheFirstIdleChannel) {
    static sfx_record busy;
    ms0[0].sfx = &busy;
    ms0[1].music = 1;
    csound *other = make({1});
    ms0[2].sound = other;
    csound *s = make({5, 5});
    tamu_play_sound(s);
    EXPECT_EQ(s->channel, 3);
    EXPECT_EQ(channels_of(s), std::vector<int>{3});
    EXPECT_EQ(ms0[3].sound_position, 0u);
}

TEST_F(SampleSound, WithEveryChannelBusyReplacesTheShortestSoundUnlessItLoops) {
    struct {
        const char *what;
        std::vector<int> lengths;   // of the sample sound on each channel; 0: a sound effect
        std::vector<int> looping;   // channels whose sound loops
        int chosen;                 // -1: nothing plays
    } cases[] = {
        {"shortest", {9, 8, 7, 3, 5, 6, 7, 8}, {}, 3},
        {"equal lengths: the lower channel", {9, 4, 7, 4, 5, 4, 7, 8}, {}, 1},
        {"sound effects are not replaced", {0, 0, 6, 0, 0, 0, 0, 0}, {}, 2},
        {"shortest loops", {9, 8, 7, 3, 5, 6, 7, 8}, {3}, -1},
        {"a longer one loops", {9, 8, 7, 3, 5, 6, 7, 8}, {0, 1, 2}, 3},
        {"only sound effects", {0, 0, 0, 0, 0, 0, 0, 0}, {}, -1},
    };
    static sfx_record busy;
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        std::vector<csound *> on(MIXER_CHANNELS, nullptr);
        for (int k = 0; k < MIXER_CHANNELS; k++) {
            if (c.lengths[size_t(k)] == 0) {
                ms0[k].sfx = &busy;
                continue;
            }
            on[size_t(k)] = make(std::vector<int16_t>(size_t(c.lengths[size_t(k)]), 1));
            tamu_play_sound(on[size_t(k)]);
            ASSERT_EQ(on[size_t(k)]->channel, k);
        }
        for (int k : c.looping) on[size_t(k)]->loop = 1;
        csound *s = make({7});
        tamu_play_sound(s);
        EXPECT_EQ(s->channel, c.chosen);
        if (c.chosen >= 0) {
            EXPECT_EQ(ms0[c.chosen].sound, s);
            if (on[size_t(c.chosen)]) {
                EXPECT_EQ(tamu_sound_is_playing(on[size_t(c.chosen)]), 0);
            }
        } else {
            EXPECT_TRUE(channels_of(s).empty());
        }
    }
}

TEST_F(SampleSound, PlayingAgainRestartsItOnOneChannelOnly) {
    static sfx_record busy;
    ms0[0].sfx = &busy;
    ms0[1].sfx = &busy;
    csound *s = make({1, 2, 3, 4, 5, 6});
    tamu_play_sound(s);
    ASSERT_EQ(s->channel, 2);
    callback(3);
    EXPECT_EQ(ms0[2].sound_position, 3u);
    // The same channel again, from the start.
    tamu_play_sound(s);
    EXPECT_EQ(channels_of(s), std::vector<int>{2});
    EXPECT_EQ(ms0[2].sound_position, 0u);
    // With a lower channel free it moves there and leaves the old one.
    ms0[0].sfx = nullptr;
    tamu_play_sound(s);
    EXPECT_EQ(s->channel, 0);
    EXPECT_EQ(channels_of(s), std::vector<int>{0});
    EXPECT_EQ(ms0[2].sound, nullptr);
    std::vector<int16_t> out = callback(2);
    EXPECT_EQ(out, (std::vector<int16_t>{1, 2}));
}

TEST_F(SampleSound, StopClearsOnlyItsOwnChannel) {
    csound *s = make({1, 2, 3});
    tamu_play_sound(s);
    static sfx_record effect;
    ms0[0].sfx = &effect;
    tamu_stop_sound(s);
    EXPECT_EQ(s->channel, -1);
    EXPECT_EQ(ms0[0].sound, nullptr);
    EXPECT_EQ(ms0[0].sfx, nullptr);   // stopping a channel clears it whole

    // Its channel now plays another sound: that one plays on.
    tamu_play_sound(s);
    csound *other = make({9});
    ms0[0].sound = other;
    tamu_stop_sound(s);
    EXPECT_EQ(ms0[0].sound, other);
    EXPECT_EQ(s->channel, 0);
}

TEST_F(SampleSound, WithoutAnOpenDeviceNothingStartsOrStops) {
    csound *s = make({1, 2});
    tamu_state.mixer_running = 0;
    tamu_play_sound(s);
    EXPECT_EQ(s->channel, -1);
    EXPECT_TRUE(channels_of(s).empty());
    tamu_state.mixer_running = 1;
    tamu_play_sound(s);
    tamu_state.mixer_running = 0;
    tamu_stop_sound(s);
    EXPECT_EQ(ms0[0].sound, s);
}

TEST_F(SampleSound, DestroyingAPlayingSoundStopsItsChannelFirst) {
    csound *s = tamu_create_sound(5000, 16);
    tamu_play_sound(s);
    ASSERT_EQ(ms0[0].sound, s);
    callback(100);
    // Also on a channel it was put on by hand.
    ms0[5].sound = s;
    tamu_destroy_sound(s);
    EXPECT_EQ(ms0[0].sound, nullptr);
    EXPECT_EQ(ms0[5].sound, nullptr);
    EXPECT_EQ(callback(100), std::vector<int16_t>(100, 0));
}

}  // namespace
