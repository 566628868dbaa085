// The sound-effect synthesiser: pitch to phase step, the waveforms, note
// volumes, effects, the crossfade, the end of a sound effect, loops,
// custom instruments, the channel filters and the music patterns.
#include "sound_fixture.h"

#include <cstdlib>

namespace {

using Synth = SoundTest;

TEST(PitchStep, FollowsTheNoteTableAndOctaves) {
    struct {
        int32_t pitch;
        int32_t dx;
    } cases[] = {
        {33 << 16, 1307},              // 440 Hz
        {63 << 16, 7392},              // 622 Hz doubled twice
        {0, 194},                      // 523 Hz halved three times
        {36 << 16, 1554},
        {(36 << 16) + 0x8000, 1600},   // half way to the next semitone
        {(47 << 16) + 0x8000, 3016},   // between 984 Hz and the table's top note
        {48 << 16, 3108},
        {-1, 194},                     // just below pitch 0
        {-24 << 16, 48},
        {102 << 16, 32768},            // clamped
    };
    for (auto &c : cases) EXPECT_EQ(get_dx_for_note_fine(c.pitch), c.dx) << "pitch " << (c.pitch / 65536.0);
    EXPECT_EQ(get_dx_for_note(33), 1307);
    EXPECT_EQ(get_dx_for_note(63), 7392);
    EXPECT_EQ(get_dx_for_note(0), 194);
    EXPECT_EQ(get_dx_for_note(-12), 97);
}

TEST(Oscillator, WaveformsAtFourPhases) {
    // A quarter turn per sample at full volume: phases 0, 16384, 32768, 49152.
    struct {
        int waveform;
        int16_t samples[4];
    } cases[] = {
        {WAVE_TRIANGLE, {-16128, 0, 16128, 0}},
        {WAVE_TILTED_SAW, {-16125, -6911, 2303, 11517}},
        {WAVE_SAW, {-10752, -5376, 0, 5376}},
        {WAVE_SQUARE, {-8062, -8062, 8062, 8062}},
        {WAVE_PULSE, {-8062, -8062, -8062, 8062}},
        {WAVE_ORGAN, {-10752, 10752, -10752, 3583}},
        {WAVE_PHASER, {-21504, -5418, 10666, -5252}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.waveform);
        osc_state osc = {};
        osc.waveform = c.waveform;
        osc.dx = 16384;
        osc.volume = 7 * 256;
        int16_t out[4];
        mix_osc_tick(&osc, out, 4);
        for (int i = 0; i < 4; i++) EXPECT_EQ(out[i], c.samples[i]) << "sample " << i;
        EXPECT_EQ(osc.phase, 0u);    // four quarter turns
        EXPECT_EQ(osc.phase2, 0u);   // the tick advances the phaser's second phase
    }
}

TEST_F(Synth, SquareWaveAtPitch33IsExact440Hz) {
    sfx(1).speed = 8;
    fill(1, 33, WAVE_SQUARE, 7);
    mixer_channel &ch = play(0, 1);
    std::vector<int16_t> out = render(ch, 22050);
    EXPECT_EQ(ch.osc.dx, 1307);
    // The first tick fades in from silence; after that every tick, notes
    // included, continues the phase.
    for (int i = 0; i < 22050; i++) {
        int expected = square_sample(uint32_t(i) * 1307, 7);
        if (i < SFX_CROSSFADE) expected = expected * i / SFX_CROSSFADE;
        ASSERT_EQ(out[i], expected) << "sample " << i;
    }
    int rising = 0;
    for (int i = 1; i < 22050; i++) rising += out[i - 1] < 0 && out[i] > 0;
    EXPECT_GE(rising, 438);
    EXPECT_LE(rising, 441);
}

TEST_F(Synth, NoteVolumeScalesTheAmplitude) {
    int peaks[8] = {0, 1151, 2303, 3455, 4607, 5759, 6910, 8062};
    for (int v = 0; v <= 7; v++) {
        SCOPED_TRACE(v);
        fresh();
        fill(1, 33, WAVE_SQUARE, v);
        mixer_channel &ch = play(0, 1);
        std::vector<int16_t> out = render(ch, 2000);
        auto [lo, hi] = std::minmax_element(out.begin() + SFX_CROSSFADE, out.end());
        EXPECT_EQ(*hi, peaks[v]);
        EXPECT_EQ(*lo, -peaks[v]);
    }
}

TEST_F(Synth, SpeedZeroPlaysLikeSpeedOne) {
    for (int j = 0; j < 32; j++) note(1, j, 20 + j, j % 6, 1 + j % 7);
    sfx(2) = sfx(1);
    sfx(1).speed = 0;
    sfx(2).speed = 1;
    mixer_channel &a = play(0, 1);
    mixer_channel &b = play(1, 2);
    for (int t = 0; t < 32; t++) {
        EXPECT_EQ(tick(a), tick(b)) << "tick " << t;
        EXPECT_EQ(a.osc.own_pitch, 20 + t);
    }
}

// The oscillator after each tick of a sound effect.
struct tick_case {
    int tick;
    int32_t pitch, dx, volume;
};

void expect_ticks(mixer_channel &ch, const std::vector<tick_case> &cases) {
    int16_t buffer[SFX_TICK_SAMPLES];
    int t = 0;
    for (const tick_case &c : cases) {
        while (t <= c.tick) {
            mix_sfx_tick(&ch, buffer);
            t++;
        }
        SCOPED_TRACE(c.tick);
        if (c.pitch >= 0) {
            EXPECT_EQ(ch.osc.pitch, c.pitch);
        }
        if (c.dx >= 0) {
            EXPECT_EQ(ch.osc.dx, c.dx);
        }
        if (c.volume >= 0) {
            EXPECT_EQ(ch.osc.volume, c.volume);
        }
    }
}

TEST_F(Synth, SlideOnTheFirstNoteStartsAtPitch24) {
    sfx(1).speed = 8;
    note(1, 0, 48, WAVE_TRIANGLE, 7, EFFECT_SLIDE);
    note(1, 1, 48, WAVE_TRIANGLE, 7);
    std::vector<tick_case> cases;
    for (int k = 0; k < 8; k++) cases.push_back({k, (24 + 3 * k) << 16, -1, 1792});
    cases.push_back({8, 48 << 16, 3108, 1792});
    expect_ticks(play(0, 1), cases);
}

TEST_F(Synth, SlideFromThePreviousNote) {
    sfx(1).speed = 4;
    note(1, 0, 36, WAVE_TRIANGLE, 7);
    note(1, 1, 48, WAVE_TRIANGLE, 3, EFFECT_SLIDE);
    expect_ticks(play(0, 1), {{3, 36 << 16, -1, 1792},
                              {4, 36 << 16, -1, 1792},
                              {5, 39 << 16, -1, (768 + 1792 * 3) / 4},
                              {6, 42 << 16, -1, 1280},
                              {7, 45 << 16, -1, (768 * 3 + 1792) / 4}});
}

TEST_F(Synth, VibratoDropAndFades) {
    struct {
        int effect, speed;
        std::vector<tick_case> ticks;
    } cases[] = {
        {EFFECT_VIBRATO, 16, {{0, -1, 1307, -1}, {2, -1, 1317, -1}, {4, -1, 1327, -1}, {6, -1, 1317, -1},
                              {8, -1, 1307, -1}, {10, -1, 1296, -1}, {12, -1, 1286, -1}, {16, -1, 1307, -1}}},
        {EFFECT_DROP, 4, {{0, -1, 1307, 1792}, {1, -1, 980, 1792}, {2, -1, 653, 1792}, {3, -1, 326, 1792}, {4, -1, 1307, 1792}}},
        {EFFECT_FADE_IN, 4, {{0, -1, -1, 0}, {1, -1, -1, 448}, {2, -1, -1, 896}, {3, -1, -1, 1344}, {4, -1, -1, 0}}},
        {EFFECT_FADE_OUT, 4, {{0, -1, -1, 1792}, {1, -1, -1, 1344}, {2, -1, -1, 896}, {3, -1, -1, 448}}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.effect);
        fresh();
        sfx(1).speed = c.speed;
        fill(1, 33, WAVE_SQUARE, 7, c.effect);
        expect_ticks(play(0, 1), c.ticks);
    }
}

TEST_F(Synth, PhaserSecondPhaseAdvancesATickAtATime) {
    sfx(1).speed = 2;
    sfx(2).speed = 2;
    fill(1, 33, WAVE_PHASER, 7);
    fill(2, 33, WAVE_PHASER, 7);
    note(2, 3, 33, WAVE_PHASER, 0);
    mixer_channel &ch = play(0, 1);
    for (int t = 1; t <= 5; t++) {
        tick(ch);
        EXPECT_EQ(ch.osc.phase2, uint32_t(t) * 1307 * SFX_TICK_SAMPLES) << t;
    }
    // A silent tick leaves the second phase where it is.
    mixer_channel &other = play(1, 2);
    for (int t = 0; t < 8; t++) tick(other);
    EXPECT_EQ(other.osc.phase2, 6u * 1307 * SFX_TICK_SAMPLES);
}

TEST_F(Synth, FadeInStartsEachNoteFromSilenceAtPhaseZero) {
    sfx(1).speed = 4;
    fill(1, 33, WAVE_SQUARE, 7, EFFECT_FADE_IN);
    mixer_channel &ch = play(0, 1);
    for (int t = 0; t < 5; t++) tick(ch);
    // Tick 4 is the second note's first: silent but for the crossfade from
    // the loud end of the first note.
    EXPECT_EQ(ch.osc.volume, 0);
    EXPECT_EQ(ch.osc.phase, 0u);
}

TEST_F(Synth, ArpeggiosStepThroughTheirGroupOfFour) {
    struct {
        int effect, speed;
        std::vector<int> pitches;   // over the ticks of note 5
    } cases[] = {
        {EFFECT_FAST_ARPEGGIO, 4, {32, 32, 33, 33}},
        {EFFECT_SLOW_ARPEGGIO, 4, {31, 31, 31, 31}},
        {EFFECT_FAST_ARPEGGIO, 10, {30, 30, 31, 31, 31, 31, 32, 32, 32, 32}},
        {EFFECT_SLOW_ARPEGGIO, 10, {32, 32, 32, 32, 32, 32, 33, 33, 33, 33}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.effect * 100 + c.speed);
        fresh();
        sfx(1).speed = c.speed;
        for (int j = 0; j < 32; j++) note(1, j, 26 + j, WAVE_TRIANGLE, 5);
        note(1, 5, 31, WAVE_TRIANGLE, 5, c.effect);
        mixer_channel &ch = play(0, 1, 5);
        for (size_t k = 0; k < c.pitches.size(); k++) {
            tick(ch);
            EXPECT_EQ(ch.osc.pitch, c.pitches[k] << 16) << "tick " << k;
        }
    }
}

TEST_F(Synth, EveryTickCrossfadesFromTheSettingsBefore) {
    sfx(1).speed = 1;
    note(1, 0, 33, WAVE_SQUARE, 7);
    note(1, 1, 33, WAVE_SQUARE, 3);
    note(1, 2, 33, WAVE_SQUARE, 3);
    mixer_channel &ch = play(0, 1);
    std::vector<int16_t> t0 = tick(ch), t1 = tick(ch);
    for (int i = 0; i < SFX_TICK_SAMPLES; i++) {
        int loud = square_sample(uint32_t(i) * 1307, 7);
        int expected = i < SFX_CROSSFADE ? loud * i / SFX_CROSSFADE : loud;
        ASSERT_EQ(t0[i], expected) << i;
    }
    for (int i = 0; i < SFX_TICK_SAMPLES; i++) {
        uint32_t phase = uint32_t(SFX_TICK_SAMPLES + i) * 1307;
        int quiet = square_sample(phase, 3), loud = square_sample(phase, 7);
        int expected = i < SFX_CROSSFADE ? (quiet * i + loud * (SFX_CROSSFADE - i)) / SFX_CROSSFADE : quiet;
        ASSERT_EQ(t1[i], expected) << i;
    }
}

TEST_F(Synth, AStoppedChannelFadesOutOverOneCrossfade) {
    sfx(1).speed = 1;
    fill(1, 33, WAVE_SQUARE, 7);
    mixer_channel &ch = play(0, 1, 0, 0);
    tick(ch);
    tick(ch);
    mixer_channel_stop(&ch);
    std::vector<int16_t> out = tick(ch);
    for (int i = 0; i < SFX_TICK_SAMPLES; i++) {
        int expected = 0;
        if (i < SFX_CROSSFADE) expected = square_sample(uint32_t(2 * SFX_TICK_SAMPLES + i) * 1307, 7) * (SFX_CROSSFADE - i) / SFX_CROSSFADE;
        ASSERT_EQ(out[i], expected) << i;
    }
    EXPECT_EQ(ch.osc.volume, 0);
    std::vector<int16_t> silent = tick(ch);
    EXPECT_EQ(silent, std::vector<int16_t>(SFX_TICK_SAMPLES, 0));
}

// Ticks until the channel goes idle (at most `limit`).
int ticks_until_idle(mixer_channel &ch, int limit = 2000) {
    int16_t buffer[SFX_TICK_SAMPLES];
    for (int t = 1; t <= limit; t++) {
        mix_sfx_tick(&ch, buffer);
        if (!ch.sfx) return t;
    }
    return -1;
}

TEST_F(Synth, WhenASoundEffectEnds) {
    struct {
        const char *name;
        int speed, loop_start, loop_end;
        int audible_to;      // notes 0..audible_to have volume 4, the rest 0
        int slide_note;      // a silent note with slide, or -1
        int offset, length;  // length 0: endless
        int idle_after;      // ticks; -1 never
    } cases[] = {
        {"silent tail, one tick into it", 2, 0, 0, 1, -1, 0, 0, 5},
        {"silent slide keeps it into the last note", 1, 0, 0, 29, 30, 29, 0, 3},
        {"silent without the slide", 1, 0, 0, 29, -1, 29, 0, 2},
        {"all notes, endless: one tick past note 31", 1, 0, 0, 31, -1, 0, 0, 33},
        {"all notes, 32 long", 1, 0, 0, 31, -1, 0, 32, 32},
        {"length ends audible notes", 2, 0, 0, 31, -1, 0, 3, 6},
        {"a loop keeps silence alive", 2, 2, 4, -1, -1, 0, 0, -1},
        {"a loop ends with its length", 2, 2, 4, 31, -1, 0, 10, 20},
        {"speed 0 counts as 1", 0, 0, 0, 3, -1, 0, 0, 5},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        sfx(1).speed = c.speed;
        sfx(1).loop_start = c.loop_start;
        sfx(1).loop_end = c.loop_end;
        for (int j = 0; j < 32; j++) note(1, j, 30, WAVE_TRIANGLE, j <= c.audible_to ? 4 : 0);
        if (c.slide_note >= 0) note(1, c.slide_note, 30, WAVE_TRIANGLE, 0, EFFECT_SLIDE);
        mixer_channel &ch = play(0, 1, c.offset, c.length);
        EXPECT_EQ(ticks_until_idle(ch), c.idle_after);
    }
}

TEST_F(Synth, LoopsWrapUntilReleased) {
    sfx(1).speed = 2;
    sfx(1).loop_start = 2;
    sfx(1).loop_end = 4;
    for (int j = 0; j < 32; j++) note(1, j, 30, WAVE_TRIANGLE, j < 6 ? 4 : 0);
    mixer_channel &ch = play(0, 1, 0, 0);
    std::vector<int> positions;
    for (int t = 0; t < 12; t++) {
        tick(ch);
        positions.push_back(ch.tick_position);
    }
    EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 4, 5, 6, 7, 4}));
    // Released, it plays on past the loop end and ends one tick into its
    // silent tail (note 6).
    ch.loop_enabled = 0;
    EXPECT_EQ(ticks_until_idle(ch), 9);
    EXPECT_EQ(ch.tick_position, 13);
}

TEST_F(Synth, CustomInstrumentPlaysAtTheParentsPitch) {
    sfx(1).speed = 1;
    fill(1, 24, WAVE_SQUARE, 7);
    fill(2, 33, 1, 7, EFFECT_NONE, true);
    mixer_channel &ch = play(0, 2);
    tick(ch);
    EXPECT_EQ(ch.osc.waveform, WAVE_SQUARE);
    EXPECT_EQ(ch.osc.pitch, 33 << 16);
    EXPECT_EQ(ch.osc.dx, 1307);
    EXPECT_EQ(ch.osc.volume, 1792);

    struct {
        int parent_volume, instrument_pitch, instrument_volume;
        int32_t pitch, volume, note_pitch;
    } cases[] = {
        {7, 24, 3, 33 << 16, 768, 33},
        {5, 24, 3, 33 << 16, 548, 33},
        {7, 36, 7, 45 << 16, 1792, 45},
        {7, 12, 7, 21 << 16, 1792, 21},
        {7, 24, 0, 33 << 16, 0, 33},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.instrument_pitch * 100 + c.instrument_volume * 10 + c.parent_volume);
        fill(1, c.instrument_pitch, WAVE_SQUARE, c.instrument_volume);
        fill(2, 33, 1, c.parent_volume, EFFECT_NONE, true);
        calculate_osc_state(&ch, &ch.osc);
        EXPECT_EQ(ch.osc.pitch, c.pitch);
        EXPECT_EQ(ch.osc.volume, c.volume);
        EXPECT_EQ(ch.osc.note_pitch, c.note_pitch);
        EXPECT_EQ(ch.osc.note_volume, c.instrument_volume);
    }

    // Without an owner cart the instrument does not apply.
    ch.owner_cart = nullptr;
    calculate_osc_state(&ch, &ch.osc);
    EXPECT_EQ(ch.osc.waveform, 1);
    EXPECT_EQ(ch.osc.volume, 7 * 256);
}

TEST_F(Synth, SilentInstrumentIsSilent) {
    fill(3, 30, WAVE_SAW, 0);
    sfx(3).speed = 3;
    fill(4, 40, 3, 7, EFFECT_NONE, true);
    std::vector<int16_t> out = render(play(0, 4), 5000);
    EXPECT_EQ(out, std::vector<int16_t>(5000, 0));
}

TEST_F(Synth, InstrumentStepsAtItsOwnSpeedAndLoops) {
    sfx(1).speed = 2;
    sfx(1).loop_start = 1;
    sfx(1).loop_end = 3;
    for (int j = 0; j < 32; j++) note(1, j, 24 + j, WAVE_TRIANGLE, 7);
    sfx(2).speed = 32;
    fill(2, 30, 1, 7, EFFECT_NONE, true);
    mixer_channel &ch = play(0, 2);
    std::vector<int> pitches;
    for (int t = 0; t < 10; t++) {
        tick(ch);
        pitches.push_back(ch.osc.pitch >> 16);
    }
    // Instrument notes 0, 0, 1, 1, 2, 2, then back to its loop start.
    EXPECT_EQ(pitches, (std::vector<int>{30, 30, 31, 31, 32, 32, 31, 31, 32, 32}));
}

TEST_F(Synth, InstrumentRestartsAtANewNote) {
    struct {
        const char *name;
        int pitch1, waveform1, effect1;
        bool restarts;
    } cases[] = {
        {"same note", 30, 1, EFFECT_NONE, false},
        {"new pitch", 31, 1, EFFECT_NONE, true},
        {"new instrument", 30, 2, EFFECT_NONE, true},
        {"same note, fade in", 30, 1, EFFECT_FADE_IN, true},
        {"same note, drop", 30, 1, EFFECT_DROP, true},
        {"new pitch, drop", 31, 1, EFFECT_DROP, false},
        {"new pitch, drop, new instrument", 31, 2, EFFECT_DROP, true},
        {"new pitch, slide", 31, 1, EFFECT_SLIDE, false},
        {"new pitch, slide, new instrument", 31, 2, EFFECT_SLIDE, true},
    };
    for (int n = 1; n <= 2; n++) fill(n, 24, WAVE_TRIANGLE, 7);
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        sfx(5).speed = 4;
        fill(5, 30, 1, 7, EFFECT_NONE, true);
        note(5, 1, c.pitch1, c.waveform1, 7, c.effect1, true);
        mixer_channel &ch = play(0, 5);
        for (int t = 0; t < 5; t++) tick(ch);
        EXPECT_EQ(ch.instrument_tick_position, c.restarts ? 1 : 5);
    }
}

// The instrument's note as a note of its own, in the slot of the tick
// position's parity. Instrument note j has pitch base + j and volume 5.
TEST_F(Synth, InstrumentNoteForAParentNote) {
    struct {
        const char *name;
        int speed, loop_start, loop_end, base, effect;   // the instrument
        int instrument_tick, tick, parent_volume, parent_pitch;
        int slot, pitch, volume, instrument_tick_after;
    } cases[] = {
        {"at pitch 24", 4, 0, 0, 30, EFFECT_NONE, 0, 0, 7, 24, 0, 30, 5, 0},
        {"an octave up, odd tick", 4, 0, 0, 30, EFFECT_NONE, 0, 1, 7, 36, 1, 42, 5, 0},
        {"parent volume 4", 4, 0, 0, 30, EFFECT_NONE, 0, 0, 4, 24, 0, 30, 2, 0},
        {"its second note", 4, 0, 0, 30, EFFECT_NONE, 5, 2, 7, 24, 0, 31, 5, 5},
        {"fade in, first tick", 4, 0, 0, 30, EFFECT_FADE_IN, 0, 0, 7, 24, 0, 30, 1, 0},
        {"fade in, last tick", 4, 0, 0, 30, EFFECT_FADE_IN, 3, 0, 7, 24, 0, 30, 5, 3},
        {"fade out, first tick", 4, 0, 0, 30, EFFECT_FADE_OUT, 0, 0, 7, 24, 0, 30, 5, 0},
        {"fade out, last tick", 4, 0, 0, 30, EFFECT_FADE_OUT, 3, 0, 7, 24, 0, 30, 1, 3},
        // Tick 21: note 5, step 10 of 2 ticks, so note 4 + 2.
        {"fast arpeggio", 4, 0, 0, 30, EFFECT_FAST_ARPEGGIO, 21, 0, 7, 24, 0, 36, 5, 21},
        // Speed 12, steps of 8 ticks: tick 30 is note 2, step 3.
        {"slow arpeggio", 12, 0, 0, 30, EFFECT_SLOW_ARPEGGIO, 30, 0, 7, 24, 0, 33, 5, 30},
        {"pitch above 63", 4, 0, 0, 30, EFFECT_NONE, 0, 0, 7, 60, 0, 63, 5, 0},
        {"pitch below 0", 4, 0, 0, 10, EFFECT_NONE, 0, 0, 7, 0, 0, 0, 5, 0},
        {"loops back", 4, 2, 4, 30, EFFECT_NONE, 16, 0, 7, 24, 0, 32, 5, 8},
        {"past its last note", 4, 0, 0, 30, EFFECT_NONE, 128, 1, 7, 24, 1, 0, 0, 128},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        sfx(2).speed = c.speed;
        sfx(2).loop_start = c.loop_start;
        sfx(2).loop_end = c.loop_end;
        for (int j = 0; j < 32; j++) note(2, j, c.base + j, WAVE_PULSE, 5, c.effect);
        sfx_note parent = {c.parent_pitch, 2, c.parent_volume, EFFECT_NONE, ZORVA_SFX_CUSTOM_INSTRUMENT};
        mixer_channel &ch = play(0, 5);
        ch.tick_position = c.tick;
        ch.instrument_tick_position = c.instrument_tick;
        ch.instrument_notes[c.slot] = {9, 9, 9, 9, 9};
        const sfx_note *got = generate_sfx_inst_note(&ch, &parent, c.parent_pitch);
        ASSERT_EQ(got, &ch.instrument_notes[c.slot]);
        bool past = c.instrument_tick >= 128;
        EXPECT_EQ(got->pitch, c.pitch);
        EXPECT_EQ(got->volume, c.volume);
        EXPECT_EQ(got->waveform, past ? 0 : WAVE_PULSE);
        EXPECT_EQ(got->effect, past ? 0 : c.effect);
        EXPECT_EQ(got->custom_instrument, 0);
        EXPECT_EQ(ch.instrument_tick_position, c.instrument_tick_after);
    }

    // The instrument note's own flag is carried over.
    note(2, 9, 30, WAVE_PULSE, 5, EFFECT_NONE, true);
    mixer_channel &ch = play(0, 5);
    ch.instrument_tick_position = 9 * 4;
    sfx_note parent = {30, 2, 7, EFFECT_NONE, ZORVA_SFX_CUSTOM_INSTRUMENT};
    EXPECT_EQ(generate_sfx_inst_note(&ch, &parent, 30)->custom_instrument, ZORVA_SFX_CUSTOM_INSTRUMENT);

    // Without an owner cart the note comes back as it is.
    ch.owner_cart = nullptr;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(generate_sfx_inst_note(&ch, &parent, 30), &parent);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "no cart!\n");
}

// ---------------------------------------------------------------------------
// Channel filters

class Filters : public SoundTest {
  protected:
    // Channel k (console channel k & 3) and an unfiltered twin on
    // channel 3 play sound effect 1; ticks are rendered in turn, with the
    // random generator replayed for the twin so that noise matches too.
    void render_pair(int k, int samples, std::vector<int16_t> &filtered, std::vector<int16_t> &plain) {
        fresh();
        mixer_channel &a = play(k, 1, 0, 0);
        mixer_channel &b = play(3, 1, 0, 0);
        for (int done = 0; done < samples; done += SFX_TICK_SAMPLES) {
            tamu_random_save();
            mix_sfx_channel(&b, SFX_TICK_SAMPLES);
            tamu_random_restore();
            mix_sfx_channel(&a, SFX_TICK_SAMPLES);
            plain.insert(plain.end(), b.output, b.output + SFX_TICK_SAMPLES);
            filtered.insert(filtered.end(), a.output, a.output + SFX_TICK_SAMPLES);
        }
    }
};

TEST_F(Filters, EachActsByItsRule) {
    sfx(1).speed = 3;
    for (int j = 0; j < 32; j++) note(1, j, 20 + j, j % 6, 3 + j % 5);
    const int N = 40 * SFX_TICK_SAMPLES;
    {
        SCOPED_TRACE("distortion");
        pstate.mixer_registers[2] = 2;
        std::vector<int16_t> y, x;
        render_pair(1, N, y, x);
        for (int i = 0; i < N; i++) {
            int s = x[i], expected = s >= 0 ? s & 0xF000 : -((-s) & 0xF000);
            ASSERT_EQ(y[i], expected) << i;
        }
    }
    {
        SCOPED_TRACE("low-pass");
        fresh();
        pstate.mixer_registers[2] = 0;
        pstate.mixer_registers[3] = 2;
        std::vector<int16_t> y, x;
        render_pair(1, N, y, x);
        int prev = 0;
        for (int i = 0; i < N; i++) {
            prev = (x[i] + 7 * prev) / 8;
            ASSERT_EQ(y[i], prev) << i;
        }
    }
    {
        SCOPED_TRACE("echo");
        fresh();
        pstate.mixer_registers[3] = 0;
        pstate.mixer_registers[1] = 2;
        std::vector<int16_t> y, x;
        render_pair(1, N, y, x);
        const int delay = SFX_ECHO_DELAY * SFX_TICK_SAMPLES;   // 732 samples
        for (int i = 0; i < N; i++) {
            int back = i >= delay ? y[i - delay] : 0;
            ASSERT_EQ(y[i], (3 * x[i] + 2 * back) / 4) << i;
        }
    }
}

TEST_F(Filters, LoudNoiseSaturatesInsteadOfWrapping) {
    sfx(1).speed = 8;
    fill(1, 63, WAVE_NOISE, 7);
    pstate.mixer_registers[1] = 1;
    const int N = 200 * SFX_TICK_SAMPLES;
    std::vector<int16_t> y, x;
    render_pair(0, N, y, x);
    const int delay = SFX_ECHO_DELAY * SFX_TICK_SAMPLES;
    int saturated_noise = 0, saturated_echo = 0;
    for (int i = 0; i < N; i++) {
        saturated_noise += x[i] == 32767 || x[i] == -32768;
        int back = i >= delay ? y[i - delay] : 0;
        int sum = (3 * x[i] + 2 * back) / 4;
        saturated_echo += sum != int16_t(sum);
        ASSERT_EQ(y[i], std::clamp(sum, -32768, 32767)) << i;
    }
    EXPECT_GT(saturated_noise, 0);
    EXPECT_GT(saturated_echo, 0);
}

TEST_F(Filters, RegistersActOnBothLayersOfTheirConsoleChannelOnly) {
    sfx(1).speed = 2;
    for (int j = 0; j < 32; j++) note(1, j, 30 + j % 7, WAVE_TILTED_SAW, 7);
    pstate.mixer_registers[1] = 2;
    pstate.mixer_registers[2] = 2;
    pstate.mixer_registers[3] = 2;
    for (int k : {0, 1, 2, 4, 5, 6}) play(k, 1);
    std::vector<int16_t> out[8];
    for (int k : {0, 1, 2, 4, 5, 6}) out[k] = render(ms0[k], 3000);
    EXPECT_EQ(out[1], out[5]);
    EXPECT_NE(out[1], out[0]);
    for (int k : {2, 4, 6}) EXPECT_EQ(out[k], out[0]) << k;
}

TEST_F(Synth, NoiseFollowsTheRandomGenerator) {
    sfx(1).speed = 4;
    fill(1, 30, WAVE_NOISE, 5);
    tamu_srand(7);
    std::vector<int16_t> a = render(play(0, 1), 4000);
    fresh();
    tamu_srand(7);
    std::vector<int16_t> b = render(play(0, 1), 4000);
    EXPECT_EQ(a, b);
    long sum = 0;
    int loud = 0;
    for (int16_t s : a) {
        sum += s;
        loud += std::abs(s) > 1000;
    }
    EXPECT_GT(loud, 1000);
    EXPECT_LT(std::abs(sum / 4000), 2000);
}

// ---------------------------------------------------------------------------
// Music

class Music : public SoundTest {
  protected:
    void SetUp() override {
        SoundTest::SetUp();
        for (int n = 0; n < 8; n++) {
            sfx(n).speed = 1;
            fill(n, 24 + n, WAVE_TRIANGLE, 5);
        }
    }
    void pattern(int p, int e0, int e1 = 64, int e2 = 64, int e3 = 64, int flags = 0) {
        cart->music[p][0] = e0;
        cart->music[p][1] = e1;
        cart->music[p][2] = e2;
        cart->music[p][3] = e3;
        cart->music_flags[p] = flags;
    }
    // Ticks every music record once.
    void tick_all() {
        for (int k = 4; k < 8; k++) tick(ms0[k]);
    }
};

TEST_F(Music, PatternLength) {
    sfx(1).loop_start = 0;
    sfx(1).loop_end = 4;
    sfx(1).speed = 4;
    sfx(2).speed = 2;
    sfx(3).speed = 8;
    sfx(3).loop_end = 2;
    struct {
        int e0, e1, e2, e3, ticks;
    } cases[] = {
        {1, 2, 64, 64, 64},    // the first channel that does not loop
        {2, 1, 64, 64, 64},
        {1, 3, 64, 64, 256},   // all loop: the longest
        {64, 64, 5, 64, 32},
        {64, 65, 127, 64, 0},
    };
    for (auto &c : cases) {
        pattern(9, c.e0, c.e1, c.e2, c.e3);
        EXPECT_EQ(get_pattern_length(cart, 9), c.ticks) << c.e0 << " " << c.e1 << " " << c.e2;
    }
    EXPECT_EQ(get_pattern_length(cart, 64), 0);
    EXPECT_EQ(get_pattern_length(cart, -1), 0);
    EXPECT_EQ(get_pattern_length(nullptr, 0), 0);
}

TEST_F(Music, ChannelsMoveToTheNextPatternTogether) {
    pattern(0, 1, 64, 2, 64);
    pattern(1, 3, 4, 65, 5);
    play_song(0);
    for (int t = 0; t < 31; t++) tick_all();
    EXPECT_EQ(ms0[4].pattern, 0);
    EXPECT_EQ(ms0[5].sfx, nullptr);
    EXPECT_EQ(ms0[5].tick_position, 31);   // an off channel still counts
    tick_all();
    EXPECT_EQ(advanced_pattern, 1);
    EXPECT_EQ(tamu_state.music_pattern, 1);
    sfx_record *expected[4] = {&sfx(3), &sfx(4), nullptr, &sfx(5)};
    for (int k = 0; k < 4; k++) {
        SCOPED_TRACE(k);
        mixer_channel &ch = ms0[k + 4];
        EXPECT_EQ(ch.pattern, 1);
        EXPECT_EQ(ch.music, 1);
        EXPECT_EQ(ch.sfx, expected[k]);
        EXPECT_EQ(ch.tick_position, 0);
        EXPECT_EQ(ch.remaining_ticks, 32);
    }
}

TEST_F(Music, PatternFlagsChooseTheNext) {
    struct {
        const char *name;
        int from;
        int flags[6];       // of patterns 0-5
        int next;           // -1: stopped
        int pattern_field;  // the channel's pattern afterwards
    } cases[] = {
        {"next", 2, {0, 0, 0, 0, 0, 0}, 3, 3},
        {"stop", 2, {0, 0, 4, 0, 0, 0}, -1, -1},
        {"loop back to a loop start", 4, {0, 1, 0, 1, 2, 0}, 3, 3},
        {"loop back past patterns without a start", 4, {0, 1, 0, 0, 2, 0}, 1, 1},
        {"loop back to pattern 0", 4, {0, 0, 0, 0, 2, 0}, 0, 0},
        {"loop back on itself", 3, {0, 1, 0, 3, 0, 0}, 3, 3},
        {"pattern 0 loops back on itself", 0, {2, 0, 0, 0, 0, 0}, 0, 0},
        {"stop wins over loop back", 3, {1, 0, 0, 6, 0, 0}, -1, -1},
        {"into an empty pattern", 5, {0, 0, 0, 0, 0, 0}, -1, 6},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        for (int p = 0; p < 6; p++) pattern(p, p % 4, 64, 64, 64, c.flags[p]);
        pattern(6, 64, 65, 66, 67);
        play_song(c.from);
        for (int t = 0; t < 32; t++) tick_all();
        mixer_channel &ch = ms0[4];
        EXPECT_EQ(ch.pattern, c.pattern_field);
        if (c.next < 0) {
            EXPECT_EQ(ch.music, 0);
            EXPECT_EQ(ch.sfx, nullptr);
            EXPECT_EQ(ch.owner_cart, nullptr);
        } else {
            EXPECT_EQ(ch.music, 1);
            EXPECT_EQ(ch.sfx, &sfx(c.next % 4));
            EXPECT_EQ(tamu_state.music_pattern, c.next);
        }
    }
}

TEST_F(Music, TheLastPatternEndsTheSong) {
    pattern(63, 2);
    play_song(63);
    for (int t = 0; t < 32; t++) tick_all();
    EXPECT_EQ(ms0[4].pattern, 64);
    EXPECT_EQ(ms0[4].music, 0);
    EXPECT_EQ(tamu_state.music_pattern, -1);
    // An idle channel stays idle.
    for (int t = 0; t < 100; t++) tick_all();
    EXPECT_EQ(ms0[4].pattern, 64);
}

TEST_F(Music, LoopingSoundEffectsLoopInsideThePattern) {
    sfx(1).loop_start = 0;
    sfx(1).loop_end = 2;
    pattern(0, 1, 2);
    pattern(1, 3, 3);
    play_song(0);
    for (int t = 0; t < 31; t++) tick_all();
    EXPECT_EQ(ms0[4].tick_position, 1);
    EXPECT_EQ(ms0[4].sfx, &sfx(1));
    tick_all();
    EXPECT_EQ(ms0[4].pattern, 1);
}

TEST_F(Music, FadeAndMusicVolumeScaleMusicOnly) {
    fade_vol = 0x8000;
    cconfig.music_volume = 128;
    pattern(0, 1);
    play_song(0);
    mixer_channel &fx = play(0, 1);
    tick_all();
    tick(fx);
    EXPECT_EQ(ms0[4].osc.volume, (128 * 1280 / 256) * 128 / 256);
    EXPECT_EQ(fx.osc.volume, 1280);
}

}  // namespace
