// Playing sound effects and music from the main thread: channel choice
// and stealing, starting, stopping and releasing sound effects, songs
// started at a pattern and played on through the mixer, fades driven by a
// test clock, the stat queries, a cart record's release of its sound, the
// engine hooks and the debug overlay.
#include "sound_fixture.h"
#include "tamu_music.h"
#include "zorva_sound_hooks.h"

#include <climits>
#include <cstdlib>

namespace {

int test_now = 0;
int test_clock() { return test_now; }

class Play : public SoundTest {
  protected:
    csound sample = {};

    void SetUp() override {
        SoundTest::SetUp();
        fade0 = fade1 = 0;
        fade_len = 0;
        fade_start_t = 0;
        test_now = 0;
        tamu_music_clock = test_clock;
        tamu_music_install_hooks();
    }
    void TearDown() override {
        SoundTest::TearDown();
        tamu_music_clock = tamu_get_time;
        tamu_hooks = tamu_upper_hooks{};
        zorva_cart_hooks.stop_sound = nullptr;
        zorva_reset_sound_hooks();
    }
    void pattern(int p, int e0, int e1 = 64, int e2 = 64, int e3 = 64, int flags = 0) {
        cart->music[p][0] = e0;
        cart->music[p][1] = e1;
        cart->music[p][2] = e2;
        cart->music[p][3] = e3;
        cart->music_flags[p] = flags;
    }
    // Records as the table gives them: a sound effect of its own at the
    // speed (0: none; SPEED_0: speed 0), the music flag, a sample sound.
    static constexpr int SPEED_0 = -1;
    void set_records(const int speeds[8], int music, int sounds) {
        for (int k = 0; k < 8; k++) {
            mixer_channel &ch = ms0[k];
            ch.sfx = nullptr;
            if (speeds[k]) {
                sfx(10 + k).speed = speeds[k] == SPEED_0 ? 0 : speeds[k];
                ch.sfx = &sfx(10 + k);
            }
            ch.music = music >> k & 1;
            ch.owner_cart = ch.sfx || ch.music ? cart : nullptr;
            ch.sound = sounds >> k & 1 ? &sample : nullptr;
        }
    }
    static bool stopped(const mixer_channel &ch) {
        return !ch.sfx && !ch.owner_cart && !ch.music && !ch.sound && !ch.loop_enabled;
    }
    // The largest sample size in out[from..].
    static int peak(const std::vector<int16_t> &out, size_t from = 0) {
        int m = 0;
        for (size_t i = from; i < out.size(); i++) m = std::max(m, std::abs(int(out[i])));
        return m;
    }
};

// ---------------------------------------------------------------------------
// Channel choice

struct ChoiceCase {
    const char *name;
    int speeds[8];
    int music, sounds, mask;
    int expected;
};

TEST_F(Play, ConsoleModeChoosesAChannel) {
    const ChoiceCase cases[] = {
        {"all idle", {0}, 0, 0, 0, 0},
        {"the first free channel", {1, 1, 0, 0}, 0, 0, 0, 2},
        {"a reserved channel with music is passed over", {1, 1, 0, 0, 0, 0, 1, 0}, 0x40, 0, 0x4, 3},
        {"a sample sound busies the music layer", {0}, 0, 0x10, 0, 1},
        {"a silent music layer before a sounding one", {0, 0, 0, 0, 1, 0, 1, 1}, 0xF0, 0, 0, 1},
        {"any free channel that is not reserved", {0, 0, 0, 0, 1, 0, 1, 1}, 0xF0, 0, 0x3, 2},
        {"sound over music when nothing is reserved", {0, 0, 0, 0, 1, 1, 1, 1}, 0xF0, 0, 0, 0},
        {"all reserved and nothing to steal", {0, 0, 0, 0, 1, 1, 1, 1}, 0xF0, 0, 0xF, -1},
        {"steal the lowest speed, the higher channel on a tie", {8, 4, 4, 16}, 0, 0, 0, 2},
        {"speed 0 is the lowest", {8, SPEED_0, 4, 16}, 0, 0, 0, 1},
        {"no stealing from a reserved channel with music", {8, 4, 4, 16, 0, 0, 1, 0}, 0x40, 0, 0x4, 1},
        {"the music flag alone busies the layer", {8, 4, 4, 16}, 0x40, 0, 0x4, 1},
        {"a reserved channel with idle music can be stolen", {8, 4, 4, 16}, 0, 0, 0x4, 2},
        {"a sample sound is never stolen", {0, 8, 6, 16}, 0, 0x1, 0, 2},
        {"the music layer is never stolen from", {9, 9, 9, 9, 1, 1, 1, 1}, 0xF0, 0, 0, 3},
    };
    for (const ChoiceCase &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        set_records(c.speeds, c.music, c.sounds);
        pstate.music_channel_mask = c.mask;
        sfx_record *before[8];
        for (int k = 0; k < 8; k++) before[k] = ms0[k].sfx;
        EXPECT_EQ(tamu_play_sfx_ex(&sfx(1), 0, 0, cart, -1), c.expected);
        for (int k = 0; k < 8; k++) EXPECT_EQ(ms0[k].sfx, k == c.expected ? &sfx(1) : before[k]) << k;
    }
}

TEST_F(Play, PlainModeChoosesAmongAllEight) {
    cconfig.console_sound_mode = 0;
    const ChoiceCase cases[] = {
        {"all idle", {0}, 0, 0, 0, 0},
        {"the first idle record", {1, 1, 1, 1, 1, 0, 0, 0}, 0, 0, 0, 5},
        {"a sample sound is not idle", {1, 1, 1, 1, 1, 0, 0, 0}, 0, 0x20, 0, 6},
        {"the lowest speed, the lower record on a tie", {8, 4, 4, 16, 9, 9, 9, 9}, 0, 0, 0, 1},
        {"music is never stolen", {8, 8, 8, 8, 8, 8, 8, 2}, 0x80, 0, 0, 0},
        {"all music", {1, 1, 1, 1, 1, 1, 1, 1}, 0xFF, 0, 0, -1},
        // The mask is for console mode only.
        {"the mask does not count", {1, 1, 1, 0}, 0, 0, 0xFF, 3},
    };
    for (const ChoiceCase &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        set_records(c.speeds, c.music, c.sounds);
        pstate.music_channel_mask = c.mask;
        EXPECT_EQ(tamu_play_sfx_ex(&sfx(1), 0, 0, cart, -1), c.expected);
        if (c.expected >= 0) {
            EXPECT_EQ(ms0[c.expected].sfx, &sfx(1));
        }
    }
}

TEST_F(Play, StartSetsTheChannelAndKeepsItsSound) {
    sfx(3).speed = 5;
    mixer_channel &ch = ms0[6];
    ch.music = 1;
    ch.pattern = 9;
    ch.console_channel = 0;
    ch.osc.phase = 1234;
    ch.tick_buffer[10] = 77;
    ch.read_position = 50;
    ch.instrument_tick_position = 8;
    zorva_cart *other = tamu_create_zorva_cart();
    EXPECT_EQ(tamu_play_sfx_ex(&sfx(3), 4, 10, other, 6), 6);
    EXPECT_EQ(ch.sfx, &sfx(3));
    EXPECT_EQ(ch.owner_cart, other);
    EXPECT_EQ(ch.console_channel, 2);
    EXPECT_EQ(ch.music, 0);
    EXPECT_EQ(ch.loop_enabled, 1);
    EXPECT_EQ(ch.tick_position, 20);
    EXPECT_EQ(ch.remaining_ticks, 50);
    // What is sounding plays out its tick and crossfades into the new note.
    EXPECT_EQ(ch.osc.phase, 1234u);
    EXPECT_EQ(ch.tick_buffer[10], 77);
    EXPECT_EQ(ch.read_position, 50);
    EXPECT_EQ(ch.instrument_tick_position, 8);

    // Length 0 is endless: speed x 0xFFFFFFFF in 32 bits.
    EXPECT_EQ(tamu_play_sfx_ex(&sfx(3), 0, 0, cart, 1), 1);
    EXPECT_EQ(ms0[1].remaining_ticks, -5);
    // Numbers from carts that overflow wrap instead of misbehaving.
    sfx(4).speed = 255;
    EXPECT_EQ(tamu_play_sfx_ex(&sfx(4), INT_MAX, INT_MIN, cart, 2), 2);
    EXPECT_EQ(ms0[2].tick_position, int32_t(uint32_t(INT_MAX) * 255u));
    EXPECT_EQ(ms0[2].remaining_ticks, int32_t(uint32_t(INT_MIN) * 255u));

    // Channel numbers other than -1 and 0-7 play nothing.
    fresh();
    for (int channel : {-2, -3, 8, 999, INT_MIN}) {
        EXPECT_EQ(tamu_play_sfx_ex(&sfx(3), 0, 0, cart, channel), -1) << channel;
        EXPECT_EQ(tamu_play_sfx_ex(nullptr, 0, 0, cart, channel), -1) << channel;
    }
    for (const mixer_channel &c : ms0) EXPECT_EQ(c.sfx, nullptr);
    tamu_destroy_zorva_cart(other);
}

// ---------------------------------------------------------------------------
// Stopping and releasing

TEST_F(Play, StoppingWithoutASoundEffect) {
    struct {
        int console_mode, channel;
        int stopped;   // bit k: record k stopped
    } cases[] = {
        {1, -1, 0x0F}, {0, -1, 0xFF}, {1, 5, 0x20}, {1, 0, 0x01}, {0, 7, 0x80}, {1, -2, 0}, {1, 8, 0}, {1, 999, 0},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.console_mode << " channel " << c.channel);
        fresh();
        cconfig.console_sound_mode = c.console_mode;
        const int speeds[8] = {1, 1, 1, 1, 1, 1, 1, 1};
        set_records(speeds, 0xF0, 0x11);
        for (mixer_channel &ch : ms0) ch.loop_enabled = 1;
        EXPECT_EQ(tamu_play_sfx_ex(nullptr, 0, 0, cart, c.channel), -1);
        for (int k = 0; k < 8; k++) EXPECT_EQ(stopped(ms0[k]), (c.stopped >> k & 1) != 0) << k;
    }
}

TEST_F(Play, StoppingBySoundEffectAndEverything) {
    mixer_channel &a = play(0, 1), &b = play(2, 2), &m = play(5, 1), &c = play(3, 3);
    m.music = 1;
    ms0[1].sound = &sample;
    // Every channel that plays it, music included.
    tamu_stop_sfx(&sfx(1));
    EXPECT_TRUE(stopped(a));
    EXPECT_TRUE(stopped(m));
    EXPECT_EQ(b.sfx, &sfx(2));
    EXPECT_EQ(ms0[1].sound, &sample);
    // Null: everything that is not music.
    play(6, 4).music = 1;
    tamu_stop_sfx(nullptr);
    EXPECT_TRUE(stopped(b));
    EXPECT_TRUE(stopped(c));
    EXPECT_TRUE(stopped(ms0[1]));
    EXPECT_EQ(ms0[6].sfx, &sfx(4));
    EXPECT_EQ(ms0[6].music, 1);

    play(1, 1);
    ms0[7].sound = &sample;
    tamu_stop_all_sounds();
    for (const mixer_channel &ch : ms0) EXPECT_TRUE(stopped(ch));
}

TEST_F(Play, PlaySfxRestartsItAndPlaysItsWholeLength) {
    sfx(1).speed = 3;
    play(3, 1, 20);
    EXPECT_EQ(tamu_play_sfx(&sfx(1)), 0);
    EXPECT_TRUE(stopped(ms0[3]));
    EXPECT_EQ(ms0[0].tick_position, 0);
    EXPECT_EQ(ms0[0].remaining_ticks, 96);
    EXPECT_EQ(ms0[0].owner_cart, nullptr);
    // A looping sound effect plays until stopped; the cart's form keeps
    // the owner for custom instruments.
    sfx(2).loop_start = 1;
    sfx(2).loop_end = 3;
    EXPECT_EQ(tamu_play_sfx_cart(&sfx(2), cart), 1);
    EXPECT_EQ(ms0[1].remaining_ticks, -16);
    EXPECT_EQ(ms0[1].owner_cart, cart);
    // Null stops instead.
    EXPECT_EQ(tamu_play_sfx(nullptr), -1);
    EXPECT_EQ(ms0[0].sfx, nullptr);
    EXPECT_EQ(ms0[1].sfx, nullptr);
}

TEST_F(Play, ALoopPlaysOnUntilReleasedThenEndsAtItsSilentTail) {
    sfx(1).speed = 2;
    sfx(1).loop_start = 2;
    sfx(1).loop_end = 4;
    for (int j = 0; j < 32; j++) note(1, j, 30, WAVE_TRIANGLE, j < 6 ? 4 : 0);
    ASSERT_EQ(tamu_play_sfx(&sfx(1)), 0);
    std::vector<int16_t> out = callback(400 * SFX_TICK_SAMPLES);
    EXPECT_EQ(ms0[0].sfx, &sfx(1));
    EXPECT_GT(peak(out, out.size() - SFX_TICK_SAMPLES), 0);
    int note = tamu_get_sfx_playing_note(&sfx(1));
    EXPECT_TRUE(note == 2 || note == 3) << note;

    // Releasing other numbers changes nothing.
    for (int channel : {-1, -2, 8, 999}) tamu_release_looping_zorva_channel(channel);
    EXPECT_EQ(ms0[0].loop_enabled, 1);

    tamu_release_looping_zorva_channel(0);
    EXPECT_EQ(ms0[0].loop_enabled, 0);
    // At most 4 notes to note 6, where it ends one tick in.
    callback(9 * SFX_TICK_SAMPLES);
    EXPECT_EQ(ms0[0].sfx, nullptr);
    EXPECT_EQ(tamu_get_sfx_playing_note(&sfx(1)), -1);
    out = callback(2 * SFX_TICK_SAMPLES);
    EXPECT_EQ(out, std::vector<int16_t>(out.size(), 0));
}

TEST_F(Play, SoundEffectQueries) {
    sfx(2).speed = 4;
    EXPECT_EQ(tamu_sfx_is_playing(&sfx(2)), 0);
    EXPECT_EQ(tamu_get_sfx_playing_note(&sfx(2)), -1);
    EXPECT_EQ(tamu_any_sound_is_playing(), 0);
    play(3, 2).tick_position = 21;
    play(1, 2).tick_position = 9;
    EXPECT_EQ(tamu_sfx_is_playing(&sfx(2)), 1);
    EXPECT_EQ(tamu_sfx_is_playing(nullptr), 0);
    // The first channel that plays it.
    EXPECT_EQ(tamu_get_sfx_playing_note(&sfx(2)), 2);
    ms0[1].tick_position = 40 * 4 + 3;   // past 31 after a released loop
    EXPECT_EQ(tamu_get_sfx_playing_note(&sfx(2)), 40);
    EXPECT_EQ(tamu_get_zorva_channel_sfx(3), &sfx(2));
    EXPECT_EQ(tamu_get_zorva_channel_sfx(0), nullptr);
    for (int channel : {-1, 8, 999}) EXPECT_EQ(tamu_get_zorva_channel_sfx(channel), nullptr);
    EXPECT_EQ(tamu_any_sound_is_playing(), 1);

    fresh();
    ms0[4].music = 1;   // a silent music channel is no sound
    EXPECT_EQ(tamu_any_sound_is_playing(), 0);
    ms0[6].sound = &sample;
    EXPECT_EQ(tamu_any_sound_is_playing(), 1);
}

// ---------------------------------------------------------------------------
// Songs

TEST_F(Play, SongStartsAtAPatternOnTheMusicLayer) {
    sfx(1).speed = 2;
    sfx(2).speed = 4;
    sfx(3).speed = 1;
    pattern(5, 1, 2, 70, 3);
    tamu_state.music_patterns_played = 7;
    fade_vol = 0;
    ms0[6].osc.phase = 99;
    tamu_play_zorva_song(cart, 5, 0);
    sfx_record *expected[4] = {&sfx(1), &sfx(2), nullptr, &sfx(3)};
    for (int k = 0; k < 4; k++) {
        SCOPED_TRACE(k);
        const mixer_channel &ch = ms0[k + 4];
        EXPECT_EQ(ch.sfx, expected[k]);
        EXPECT_EQ(ch.music, 1);
        EXPECT_EQ(ch.pattern, 5);
        EXPECT_EQ(ch.console_channel, k);
        EXPECT_EQ(ch.owner_cart, cart);
        EXPECT_EQ(ch.loop_enabled, 1);
        EXPECT_EQ(ch.tick_position, 0);
        // Channel 0's sound effect does not loop: its 32 notes for all.
        EXPECT_EQ(ch.remaining_ticks, 64);
        EXPECT_EQ(ms0[k].sfx, nullptr);
    }
    EXPECT_EQ(ms0[6].osc.phase, 99u);
    EXPECT_EQ(tamu_state.music_pattern, 5);
    EXPECT_EQ(tamu_state.music_patterns_played, 0);
    EXPECT_EQ(fade_vol, 0x10000u);   // no fade: full volume at once
    EXPECT_EQ(tamu_zorva_song_is_playing(cart), 5);
    EXPECT_EQ(tamu_zorva_song_is_playing(nullptr), 5);
    EXPECT_EQ(tamu_music_is_playing(), 1);
    EXPECT_EQ(tamu_get_zorva_song_ticks(), 0);

    // The channel mask keeps sound effects off reserved channels while
    // their music plays.
    struct {
        int mask, channel;
    } automatic[] = {{0, 2}, {0x4, 0}, {0x5, 1}, {0xF, -1}};
    for (auto &a : automatic) {
        pstate.music_channel_mask = a.mask;
        EXPECT_EQ(tamu_play_sfx_ex(&sfx(9), 0, 0, cart, -1), a.channel) << a.mask;
        tamu_stop_sfx(&sfx(9));
    }

    tamu_stop_zorva_song(cart);
    for (int k = 4; k < 8; k++) EXPECT_TRUE(stopped(ms0[k])) << k;
    EXPECT_EQ(tamu_zorva_song_is_playing(nullptr), -1);
    EXPECT_EQ(tamu_music_is_playing(), 0);
}

TEST_F(Play, PatternLengthFollowsTheFirstChannelThatDoesNotLoop) {
    sfx(1).speed = 8;
    sfx(1).loop_end = 4;
    sfx(2).speed = 2;
    pattern(0, 1, 2);
    tamu_play_zorva_song(cart, 0, 0);
    for (int k = 4; k < 8; k++) EXPECT_EQ(ms0[k].remaining_ticks, 64) << k;
}

TEST_F(Play, SongsThatStartNothing) {
    zorva_cart *other = tamu_create_zorva_cart();
    other->music[0][0] = 1;
    pattern(3, 2);
    pattern(9, 64, 65, 127, 64);
    // Entries below 0 are off too.
    pattern(10, -1, -64, INT_MIN, 64);
    struct {
        const char *name;
        zorva_cart *cart;
        int pattern;
        bool own_song_stops;
    } cases[] = {
        {"pattern -5", cart, -5, true},   {"pattern 64", cart, 64, true},
        {"pattern 999", cart, 999, true}, {"an empty pattern", cart, 9, true},
        {"negative entries", cart, 10, true}, {"no cart", nullptr, 0, false},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        tamu_play_zorva_song(cart, 3, 0);
        tamu_state.music_pattern = 3;
        tamu_play_zorva_song(c.cart, c.pattern, 0);
        EXPECT_EQ(tamu_zorva_song_is_playing(cart), c.own_song_stops ? -1 : 3);
        EXPECT_EQ(tamu_state.music_pattern, 3);
        for (int k = 0; k < 4; k++) EXPECT_EQ(ms0[k].sfx, nullptr);
    }
    // Another cart's song is not this cart's to stop.
    fresh();
    tamu_play_zorva_song(other, 0, 0);
    tamu_play_zorva_song(cart, -5, 0);
    tamu_stop_zorva_song(cart);
    EXPECT_EQ(tamu_zorva_song_is_playing(other), 0);
    EXPECT_EQ(tamu_zorva_song_is_playing(cart), -1);
    tamu_destroy_zorva_cart(other);
    EXPECT_EQ(tamu_zorva_song_is_playing(nullptr), -1);
}

TEST_F(Play, SongPlaysOnThroughItsPatternsInTheMixer) {
    const int pattern_samples = 32 * SFX_TICK_SAMPLES;
    for (int n = 1; n <= 3; n++) {
        sfx(n).speed = 1;
        fill(n, 20 + 5 * n, WAVE_TRIANGLE, 5);
    }
    pattern(0, 1, 2, 64, 64, ZORVA_MUSIC_LOOP_START);
    pattern(1, 2, 64, 3, 64);
    pattern(2, 64, 64, 64, 3, ZORVA_MUSIC_LOOP_BACK);
    tamu_play_zorva_song(cart, 0, 0);

    const int expected[] = {1, 2, 0, 1, 2};
    for (int step = 0; step < 5; step++) {
        SCOPED_TRACE(step);
        std::vector<int16_t> out = callback(pattern_samples);
        EXPECT_GT(peak(out), 0);
        EXPECT_EQ(tamu_state.music_pattern, expected[step]);
        EXPECT_EQ(tamu_state.music_patterns_played, step + 1);
        EXPECT_EQ(tamu_zorva_song_is_playing(cart), expected[step]);
        EXPECT_EQ(tamu_zorva_sound_stat(24), expected[step]);
        EXPECT_EQ(tamu_zorva_sound_stat(25), step + 1);
    }
    // A stop flag ends the song at the end of its pattern.
    cart->music_flags[0] |= ZORVA_MUSIC_STOP;
    callback(pattern_samples);
    EXPECT_EQ(tamu_state.music_pattern, 0);
    callback(pattern_samples);
    EXPECT_EQ(tamu_state.music_pattern, -1);
    EXPECT_EQ(tamu_music_is_playing(), 0);
    EXPECT_EQ(tamu_zorva_sound_stat(24), 0);
    EXPECT_EQ(tamu_zorva_sound_stat(25), 0);
    for (int k = 4; k < 8; k++) EXPECT_EQ(ms0[k].music, 0) << k;
    callback(SFX_TICK_SAMPLES);   // the last note fades out
    std::vector<int16_t> out = callback(1000);
    EXPECT_EQ(out, std::vector<int16_t>(out.size(), 0));
}

// ---------------------------------------------------------------------------
// Fading

TEST_F(Play, FadeInAndOutFollowTheClock) {
    pattern(0, 1);
    fill(1, 33, WAVE_SQUARE, 7);
    struct step {
        int at;
        uint32_t vol;
        int state;
    };
    struct {
        const char *name;
        uint32_t vol_before;
        int start;   // fade-in length; INT_MIN: no song started
        int stop_at, stop_fade;   // cmusic_stop at this time (-1: none)
        std::vector<step> steps;
        bool music_left;
    } cases[] = {
        {"fade in from full volume",
         0x10000, 1000, -1, 0,
         {{0, 0, 1}, {250, 0x4000, 1}, {500, 0x8000, 1}, {999, 65470, 1}, {1000, 0x10000, 0}, {5000, 0x10000, 0}},
         true},
        {"fade in from silence", 0, 1000, -1, 0, {{500, 0x8000, 1}, {1200, 0x10000, 0}}, true},
        {"no fade", 0, 0, -1, 0, {{0, 0x10000, 0}}, true},
        {"a negative fade is none", 0, -300, -1, 0, {{0, 0x10000, 0}}, true},
        {"a long fade does not overflow", 0, 100000, -1, 0, {{50000, 0x8000, 1}, {75000, 0xC000, 1}}, true},
        {"fade out", 0, 0, 100, 400, {{100, 0x10000, 2}, {300, 0x8000, 2}, {499, 163, 2}, {500, 0, 0}}, false},
        {"fade out at once", 0, 0, 100, 0, {{100, 0, 0}}, false},
        {"a negative fade out is at once", 0, 0, 100, -50, {{100, 0, 0}}, false},
        {"fade out from halfway in", 0, 1000, 500, 500, {{500, 0x8000, 2}, {750, 0x4000, 2}, {1000, 0, 0}}, false},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        fade_vol = c.vol_before;
        test_now = 0;
        tamu_play_zorva_song(cart, 0, c.start);
        for (const step &s : c.steps) {
            SCOPED_TRACE(s.at);
            test_now = s.at;
            tamu_update_music_fading();
            if (s.at == c.stop_at) {
                cmusic_stop(nullptr, c.stop_fade);
                tamu_update_music_fading();
            }
            EXPECT_EQ(fade_vol, s.vol);
            EXPECT_EQ(tamu_music_get_fading_state(), s.state);
        }
        EXPECT_EQ(ms0[4].music == 1, c.music_left);
        EXPECT_EQ(tamu_music_is_playing(), c.music_left ? 1 : 0);
    }
}

TEST_F(Play, FadesSurviveTheClockWrapping) {
    pattern(0, 1);
    test_now = INT_MAX - 100;
    tamu_play_zorva_song(cart, 0, 1000);
    test_now = INT_MIN + 399;   // 500 ms later
    tamu_update_music_fading();
    EXPECT_EQ(fade_vol, 0x8000u);
}

TEST_F(Play, MusicStopsWhenTheFadeOutEndsAndOnlyMusic) {
    pattern(0, 1, 2);
    tamu_play_zorva_song(cart, 0, 0);
    play(1, 3);
    ps0.playing = 1;
    test_now = 10;
    cmusic_stop(nullptr, 100);
    test_now = 109;
    tamu_update_music_fading();
    EXPECT_EQ(ms0[4].sfx, &sfx(1));
    EXPECT_EQ(ps0.playing, 1);
    test_now = 110;
    tamu_update_music_fading();
    for (int k = 4; k < 8; k++) EXPECT_TRUE(stopped(ms0[k])) << k;
    EXPECT_EQ(ps0.playing, 0);
    EXPECT_EQ(ms0[1].sfx, &sfx(3));
    // Stopping music that is silent already stops it at once, whatever
    // the fade.
    tamu_play_zorva_song(cart, 0, 5000);
    ASSERT_EQ(fade_vol, 0u);
    cmusic_stop(nullptr, 5000);
    EXPECT_EQ(ms0[4].music, 0);
}

TEST_F(Play, TheFadeScalesTheMusicAsItPlays) {
    fill(1, 33, WAVE_SQUARE, 7);
    pattern(0, 1);
    test_now = 0;
    tamu_play_zorva_song(cart, 0, 1000);
    std::vector<int16_t> out = callback(2 * SFX_TICK_SAMPLES);
    EXPECT_EQ(peak(out), 0);
    struct {
        int at, amplitude;
    } steps[] = {{500, 4031}, {1000, 8062}};
    for (auto &s : steps) {
        test_now = s.at;
        tamu_update_music_fading();
        // The new volume applies from the next tick.
        out = callback(3 * SFX_TICK_SAMPLES);
        EXPECT_EQ(peak(out, 2 * SFX_TICK_SAMPLES), s.amplitude) << s.at;
    }
}

// ---------------------------------------------------------------------------
// The cart's queries

TEST_F(Play, StatQueries) {
    zorva_cart *other = tamu_create_zorva_cart();
    sfx(4).speed = 3;
    sfx(7).speed = 2;
    play(0, 4).tick_position = 10;
    play(5, 7).tick_position = 9;
    // Record 1 plays another cart's sound effect: the live cart's number
    // comes from its music layer, the note from record 1 itself.
    play(1, 0).sfx = &other->sfx[2];
    ms0[1].tick_position = 30;
    // The same sound effect on channels 0 and 2: each channel's own note.
    play(2, 4).tick_position = 22;
    struct {
        int n, value;
    } cases[] = {
        {16, 4}, {17, 7}, {18, 4}, {19, -1}, {20, 3}, {21, 1}, {22, 7}, {23, -1},
        {24, 0}, {25, 0}, {26, 0}, {15, 0}, {27, 0}, {-1, 0}, {999, 0},
    };
    for (auto &c : cases) EXPECT_EQ(tamu_zorva_sound_stat(c.n), c.value) << c.n;

    // Songs: the pattern and count while music plays; the largest tick
    // of the music channels that play a sound effect (negative as 0).
    pattern(12, 1, 2, 3);
    tamu_play_zorva_song(cart, 12, 0);
    tamu_state.music_patterns_played = 4;
    ms0[4].tick_position = 17;
    ms0[5].tick_position = -40;
    ms0[6].tick_position = 23;
    ms0[7].tick_position = 99;   // a silent channel does not count
    ms0[7].sfx = nullptr;
    EXPECT_EQ(tamu_zorva_sound_stat(24), 12);
    EXPECT_EQ(tamu_zorva_sound_stat(25), 4);
    EXPECT_EQ(tamu_zorva_sound_stat(26), 23);
    EXPECT_EQ(tamu_get_zorva_song_ticks(), 23);
    ms0[4].tick_position = ms0[6].tick_position = -1;
    EXPECT_EQ(tamu_zorva_sound_stat(26), 0);

    // Without a live cart no number is the live cart's.
    pstate.live_cart = nullptr;
    EXPECT_EQ(tamu_zorva_sound_stat(16), -1);
    pstate.live_cart = cart;
    tamu_destroy_zorva_cart(other);
}

TEST_F(Play, ModuleAnswersWhenNoSongPlays) {
    int module_stand_in = 0;
    struct {
        bool module;
        int playing;
        uint32_t vol, fade_to;
        int is_playing, fading;
    } cases[] = {
        {false, 1, 0x10000, 0x10000, 0, 0},
        {true, 0, 0x10000, 0x10000, 0, 0},
        {true, 1, 0x10000, 0x10000, 1, 0},
        {true, 1, 0x4000, 0x10000, 1, 1},
        {true, 1, 0x4000, 0, 1, 2},
        {true, 1, 0, 0, 0, 0},
    };
    for (auto &c : cases) {
        ps0.module = c.module ? reinterpret_cast<xm_module *>(&module_stand_in) : nullptr;
        ps0.playing = c.playing;
        fade_vol = c.vol;
        fade1 = c.fade_to;
        EXPECT_EQ(tamu_music_is_playing(), c.is_playing);
        EXPECT_EQ(tamu_music_get_fading_state(), c.fading);
    }
    ps0.module = nullptr;
}

// ---------------------------------------------------------------------------
// Hooks, volumes and the overlay

TEST_F(Play, CartRecordReleasesItsSoundWhenDestroyed) {
    zorva_cart *doomed = tamu_create_zorva_cart();
    doomed->music[0][0] = 1;
    doomed->music[0][1] = 70;
    tamu_play_zorva_song(doomed, 0, 0);
    EXPECT_EQ(tamu_play_sfx_ex(&doomed->sfx[3], 0, 0, cart, 0), 0);   // its sound effect
    EXPECT_EQ(tamu_play_sfx_ex(&sfx(3), 0, 0, doomed, 1), 1);         // its instruments
    EXPECT_EQ(tamu_play_sfx_ex(&sfx(3), 0, 0, cart, 2), 2);           // not its own
    tamu_destroy_zorva_cart(doomed);
    for (int k : {0, 1, 4, 5, 6, 7}) EXPECT_TRUE(stopped(ms0[k])) << k;
    EXPECT_EQ(ms0[2].sfx, &sfx(3));
    EXPECT_EQ(ms0[2].owner_cart, cart);
}

TEST_F(Play, SoundStartInstallsTheEngineHooks) {
    tamu_hooks = tamu_upper_hooks{};
    zorva_cart_hooks.stop_sound = nullptr;
    EXPECT_EQ(tamu_sound_init(0), 1);
    EXPECT_EQ(tamu_hooks.update_music_fading, tamu_update_music_fading);
    EXPECT_EQ(tamu_hooks.set_sound_volume, tamu_set_sound_volume);
    EXPECT_EQ(tamu_hooks.set_music_volume, tamu_set_music_volume);
    EXPECT_NE(zorva_cart_hooks.stop_sound, nullptr);
    // The cart functions reach sound through the console's hooks.
    EXPECT_EQ(zorva_sound.play_sfx, tamu_play_sfx_ex);
    EXPECT_EQ(zorva_sound.play_song, tamu_play_zorva_song);
    EXPECT_EQ(zorva_sound.stat, tamu_zorva_sound_stat);
    EXPECT_NE(zorva_sound.music_stop, nullptr);
    ASSERT_NE(tamu_hooks.music_stop, nullptr);
    // Shut-down stops music at once.
    pattern(0, 1);
    tamu_play_zorva_song(cart, 0, 0);
    play(0, 2);
    tamu_hooks.music_stop();
    EXPECT_EQ(fade_vol, 0u);
    EXPECT_EQ(tamu_zorva_song_is_playing(nullptr), -1);
    EXPECT_EQ(ms0[0].sfx, &sfx(2));
}

TEST_F(Play, VolumeSetters) {
    struct {
        int running, value, sound, music;
    } cases[] = {
        {0, 100, 256, 100}, {1, 100, 100, 100}, {1, 300, 256, 256}, {1, -5, 0, 0}, {1, 0, 0, 0},
    };
    for (auto &c : cases) {
        cconfig.sound_volume = cconfig.music_volume = 256;
        tamu_state.mixer_running = c.running;
        tamu_set_sound_volume(c.value);
        tamu_set_music_volume(c.value);
        EXPECT_EQ(cconfig.sound_volume, c.sound) << c.running << " " << c.value;
        EXPECT_EQ(cconfig.music_volume, c.music) << c.running << " " << c.value;
    }
}

TEST_F(Play, DebugOverlayListsTheChannels) {
    tamu_text_init();
    cbitmap *saved = tamu_back_page;
    tamu_back_page = tamu_create_bitmap(128, 64, 8);
    cbitmap *expected = tamu_create_bitmap(128, 64, 8);
    play(1, 2).remaining_ticks = 31;
    ms0[3].sound = &sample;
    ms0[5].music = 1;
    ms0[5].remaining_ticks = -7;
    const char *lines[8] = {"chan 0 - - 0",  "chan 1 P - 31", "chan 2 - - 0", "chan 3 P - 0",
                            "chan 4 - - 0",  "chan 5 P S -7", "chan 6 - - 0", "chan 7 - - 0"};
    for (int k = 0; k < 8; k++) tamu_draw_text(expected, lines[k], tamu_font1, 1, 1 + 6 * k);
    debug_zorva_channels();
    EXPECT_EQ(std::memcmp(tamu_back_page->pixels, expected->pixels, 128 * 64), 0);
    EXPECT_NE(std::count(expected->pixels, expected->pixels + 128 * 64, 0), 128 * 64);
    tamu_destroy_bitmap(expected);
    tamu_destroy_bitmap(tamu_back_page);
    tamu_back_page = saved;
    tamu_text_exit();
}

}  // namespace
