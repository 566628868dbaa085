// The node synthesiser: parameter modulation, each waveform and filter on
// inputs whose outputs can be worked out by hand, the graph's evaluation
// order and cycles, slices, decimation into the sound with its fades, and
// determinism.
#include "sound_fixture.h"
#include "tamu_synth.h"
#include "tamu_xm.h"

namespace {

class NodeSynth : public ::testing::Test {
  protected:
    int live = 0;
    std::vector<csynth *> made;

    void SetUp() override {
        std::memset(ms0, 0, sizeof ms0);
        tamu_state.mixer_running = 0;
        live = tamu_items_created;
    }
    void TearDown() override {
        for (csynth *s : made) tamu_destroy_synth(s);
        EXPECT_EQ(tamu_items_created, live);
    }
    // A description of n output samples (node buffers of 4n).
    csynth *synth(int n) {
        csynth *s = tamu_create_synth(n);
        made.push_back(s);
        return s;
    }
    // Slots name no source unless a test says so.
    static synth_node &node(csynth *s, int k, int kind, int sub_kind) {
        synth_node &n = s->nodes[k];
        n.kind = kind;
        n.sub_kind = sub_kind;
        for (synth_param &p : n.p) p = synth_param{0, 0, SYNTH_NODES, SYNTH_MOD_NONE};
        return n;
    }
    // A wrapping single-voice generator. A step of 0x800 (counted double)
    // moves the 16-bit phase by one each sample; an amplitude of 0x1000
    // leaves the waveform's value as it is.
    static synth_node &generator(csynth *s, int k, int wave, int32_t step, int32_t amp, int32_t width = 0) {
        synth_node &n = node(s, k, SYNTH_GENERATOR, wave);
        n.flag = 1;
        n.p[0].base = step;
        n.p[1].base = amp;
        n.p[2].base = width;
        n.p[3].base = 1;
        return n;
    }
    // A generator holding value everywhere: a square whose width is never
    // reached, at an amplitude that scales 4096 to the value.
    static synth_node &constant(csynth *s, int k, int32_t value) {
        return generator(s, k, SYNTH_SQUARE, 0, value, 0x20000);
    }
    static synth_node &filter(csynth *s, int k, int kind, int input) {
        synth_node &n = node(s, k, SYNTH_FILTER, kind);
        n.p[0].source = input;
        return n;
    }
    static std::vector<int32_t> buffer(csynth *s, int k) {
        evaluate_synth_node(s, k);
        const int32_t *b = s->nodes[k].buffer;
        return b ? std::vector<int32_t>(b, b + s->length) : std::vector<int32_t>();
    }
    static std::vector<int16_t> samples(const csound *sound) {
        const auto *d = static_cast<const int16_t *>(sound->data);
        return std::vector<int16_t>(d, d + sound->samples);
    }
};

TEST_F(NodeSynth, CreatedEmptyAndCounted) {
    csynth *s = tamu_create_synth(100);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(tamu_items_created, live + 1);
    EXPECT_EQ(s->length, 400);
    EXPECT_EQ(s->output_sound, nullptr);
    EXPECT_EQ(s->generating, 0);
    for (const synth_node &n : s->nodes) EXPECT_EQ(n.kind, SYNTH_EMPTY);
    tamu_destroy_synth(s);
    EXPECT_EQ(tamu_items_created, live);
    EXPECT_EQ(tamu_create_synth(-1), nullptr);
    EXPECT_EQ(tamu_create_synth(SYNTH_MAX_LENGTH / 4 + 1), nullptr);
    tamu_destroy_synth(nullptr);
    tamu_synth_generate(nullptr, nullptr, 0);
    evaluate_synth_node(nullptr, 0);
}

TEST_F(NodeSynth, ParametersFollowTheirSources) {
    EXPECT_EQ(fmul_i(0x10000, 0x10000), 0x10000);
    EXPECT_EQ(fmul_i(-0x8000, 0x8000), -0x4000);
    EXPECT_EQ(fmul_i(0x30000, 0x28000), 0x78000);
    EXPECT_EQ(fmul_i(0x40000000, 0x40000000), 0);   // the low 32 bits of 2^44

    struct {
        const char *what;
        int kind, sub_kind, slot, mode;
        int32_t base, source_sample;
        bool source_has_buffer;
        int32_t current;
    } cases[] = {
        {"no modulation", SYNTH_FILTER, SYNTH_MIX, 3, SYNTH_MOD_NONE, 0x20000, 0x30000, true, 0x20000},
        {"added", SYNTH_FILTER, SYNTH_MIX, 3, SYNTH_MOD_ADD, 0x20000, -0x30000, true, -0x10000},
        {"multiplied", SYNTH_FILTER, SYNTH_MIX, 3, SYNTH_MOD_MUL, 0x20000, 0x30000, true, 0x60000},
        {"multiplied, negative", SYNTH_FILTER, SYNTH_MIX, 3, SYNTH_MOD_MUL, 0x8000, -0x40000, true, -0x20000},
        {"source without a buffer", SYNTH_FILTER, SYNTH_MIX, 3, SYNTH_MOD_ADD, 0x20000, 5, false, 0x20000},
        {"unknown mode", SYNTH_FILTER, SYNTH_MIX, 3, 7, 0x20000, 5, true, 0x20000},
        {"generator: slot 0 doubled", SYNTH_GENERATOR, SYNTH_SQUARE, 0, SYNTH_MOD_ADD, 0x100, 0x10, true, 0x220},
        {"generator: slot 7 doubled", SYNTH_GENERATOR, SYNTH_SQUARE, 7, SYNTH_MOD_NONE, -0x100, 0, true, -0x200},
        {"generator: slot 1 as it is", SYNTH_GENERATOR, SYNTH_SQUARE, 1, SYNTH_MOD_NONE, 0x100, 0, true, 0x100},
        {"delay: slot 1 halved", SYNTH_FILTER, SYNTH_DELAY, 1, SYNTH_MOD_ADD, 100, 21, true, 60},
        {"delay: slot 2 as it is", SYNTH_FILTER, SYNTH_DELAY, 2, SYNTH_MOD_NONE, 100, 0, true, 100},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        synth_node nodes[SYNTH_NODES] = {};
        int32_t source[3] = {0, 0, c.source_sample};
        if (c.source_has_buffer) nodes[4].buffer = source;
        nodes[4].kind = SYNTH_GENERATOR;
        nodes[1].kind = c.kind;
        nodes[1].sub_kind = c.sub_kind;
        nodes[1].p[c.slot] = synth_param{c.base, 0, 4, c.mode};
        evaluate_all_p(nodes, 1, 2);
        EXPECT_EQ(nodes[1].p[c.slot].current, c.current);
    }
}

TEST_F(NodeSynth, SquareAndSlopeWaveforms) {
    csynth *s = synth(64);
    generator(s, 0, SYNTH_SQUARE, 0x800, 0x4000, 8);
    std::vector<int32_t> square = buffer(s, 0);
    ASSERT_EQ(square.size(), 256u);
    for (int i = 0; i < 256; i++) ASSERT_EQ(square[size_t(i)], i < 8 ? 16384 : -16384) << i;

    struct {
        const char *what;
        int32_t step, width;
        std::vector<int32_t> first;
    } cases[] = {
        // The phase moves by one: the rising part, (4p - 65536) >> 4.
        {"rising", 0x800, 0x8000, {-4096, -4096, -4096, -4096, -4095, -4095, -4095, -4095, -4094}},
        // The phase moves by half a turn: the low end and the peak in turn.
        {"peak and trough", 0x4000000, 0x8000, {-4096, 4096, -4096, 4096}},
        // Widths of 1 to 3 make no division by zero.
        {"width 2", 0x800, 2, {-4096, -2048, 4095}},
        {"width 0: always the falling part", 0x800, 0, {4096, 4095, 4095}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        csynth *t = synth(16);
        generator(t, 0, SYNTH_SLOPE, c.step, 0x1000, c.width);
        std::vector<int32_t> b = buffer(t, 0);
        for (size_t i = 0; i < c.first.size(); i++) EXPECT_EQ(b[i], c.first[i]) << i;
    }
}

TEST_F(NodeSynth, SineTableAndSteppedPitchWaveforms) {
    csynth *s = synth(64);
    // 256 samples a turn.
    generator(s, 0, SYNTH_SINE, 0x80000, 0x1000);
    std::vector<int32_t> sine = buffer(s, 0);
    EXPECT_EQ(sine[0], 0);
    EXPECT_NEAR(sine[64], 4096, 1);
    EXPECT_NEAR(sine[128], 0, 1);
    EXPECT_NEAR(sine[192], -4096, 1);
    for (int i = 1; i < 128; i++) EXPECT_GT(sine[size_t(i)], 0) << i;

    // A table of four entries read 16 samples a turn, interpolated, and
    // scaled so that 120 is 4096.
    csynth *t = synth(16);
    synth_node &table = generator(t, 0, SYNTH_TABLE_WAVE, 0x800000, 0x1000);
    const int8_t entries[4] = {0, 120, 0, -120};
    std::memcpy(table.table, entries, 4);
    table.table_length = 4;
    std::vector<int32_t> b = buffer(t, 0);
    const int32_t expected[8] = {0, 1024, 2048, 3072, 4096, 3072, 2048, 1024};
    for (int i = 0; i < 8; i++) EXPECT_EQ(b[size_t(i)], expected[i]) << i;
    EXPECT_EQ(b[12], -4096);

    // Stepped pitch: the table entry times the factor as semitones, as a
    // ratio to note 49 on the scale of 4096.
    struct {
        int entry, factor;
        double ratio;
    } steps[] = {{12, 1, 2.0}, {0, 1, 1.0}, {-12, 1, 0.5}, {6, 2, 2.0}, {1, 0, 1.0594631}, {12, 99, 0}};
    for (auto &c : steps) {
        SCOPED_TRACE(c.entry * 100 + c.factor);
        csynth *u = synth(4);
        synth_node &n = generator(u, 0, SYNTH_STEPPED_PITCH, 0, 0x1000, c.factor);
        std::memset(n.table, c.entry, sizeof n.table);
        int32_t value = buffer(u, 0)[0];
        // Factors are kept within 1 to 30.
        double ratio = c.factor == 99 ? double(get_delta(49 + 12 * 30, 0)) / get_delta(49, 0) : c.ratio;
        EXPECT_NEAR(value, ratio * 4096, 4096 * 0.002 + 1);
    }
}

TEST_F(NodeSynth, SampleWaveformPlaysAnotherNode) {
    csynth *s = synth(64);
    generator(s, 0, SYNTH_SQUARE, 0x800, 0x4000, 8);
    // Speed 1.0 (counted double) and amplitude 1.0: the source as it is.
    synth_node &player = generator(s, 1, SYNTH_SAMPLE, 0x10000, 0x10000);
    player.p[2].source = 0;
    std::vector<int32_t> source = buffer(s, 0), played = buffer(s, 1);
    EXPECT_EQ(played, source);

    // At half speed each sample is reached twice, halfway values between.
    csynth *t = synth(64);
    generator(t, 0, SYNTH_SQUARE, 0x800, 0x4000, 8);
    synth_node &slow = generator(t, 1, SYNTH_SAMPLE, 0x8000, 0x10000);
    slow.p[2].source = 0;
    slow.flag = 0;   // no wrapping: silent past the end
    std::vector<int32_t> b = buffer(t, 1);
    EXPECT_EQ(b[14], 16384);
    EXPECT_EQ(b[15], 0);   // between 16384 and -16384
    EXPECT_EQ(b[16], -16384);
    EXPECT_EQ(b[255], -16384);

    // Without a source it is silent.
    csynth *u = synth(4);
    generator(u, 0, SYNTH_SAMPLE, 0x10000, 0x10000);
    EXPECT_EQ(buffer(u, 0), std::vector<int32_t>(16, 0));
}

TEST_F(NodeSynth, VoicesClampingAndPhaseDrift) {
    // Equal voices add up; the count is kept within 1 to 16.
    for (int voices : {2, 16, 100}) {
        SCOPED_TRACE(voices);
        csynth *s = synth(8);
        synth_node &n = constant(s, 0, 0x100);
        n.p[3].base = voices;
        n.p[4].base = 0x10000;   // no detune
        n.p[6].base = 0x10000;   // no change of amplitude
        EXPECT_EQ(buffer(s, 0), std::vector<int32_t>(32, 256 * std::min(voices, 16)));
    }
    // An amplitude factor of one half between voices.
    csynth *half = synth(8);
    synth_node &h = constant(half, 0, 0x1000);
    h.p[3].base = 3;
    h.p[4].base = 0x10000;
    h.p[6].base = 0x8000;
    EXPECT_EQ(buffer(half, 0)[0], 4096 + 2048 + 1024);

    // A clamped phase stops at its top: past half a turn the square stays low.
    csynth *s = synth(16);
    synth_node &clamped = generator(s, 0, SYNTH_SQUARE, 0x800000, 0x1000, 0x8000);
    clamped.flag = 0;
    std::vector<int32_t> b = buffer(s, 0);
    for (int i = 0; i < 8; i++) EXPECT_EQ(b[size_t(i)], 4096) << i;
    for (int i = 8; i < 64; i++) ASSERT_EQ(b[size_t(i)], -4096) << i;

    // Slot 7 grows the step each sample: the phase at sample i is
    // 0x1000 * i * (i - 1), so the square falls at sample 182.
    csynth *d = synth(64);
    synth_node &drift = generator(d, 0, SYNTH_SQUARE, 0, 0x1000, 0x8000);
    drift.p[7].base = 0x1000;
    std::vector<int32_t> g = buffer(d, 0);
    EXPECT_EQ(g[181], 4096);
    EXPECT_EQ(g[182], -4096);
}

TEST_F(NodeSynth, NoiseIsTheSameForTheSameSeedAndLeavesTheCallersGenerator) {
    auto render = [&](int seed, int32_t width) {
        csynth *s = synth(2048);
        s->seed = seed;
        generator(s, 0, SYNTH_NOISE, 0x40000, 0x10000, width);
        tamu_synth_generate(s, nullptr, 0);
        return samples(s->output_sound);
    };
    for (int32_t width : {0, 0x400}) {
        SCOPED_TRACE(width);
        tamu_srand(77);
        tamu_rand();
        uint32_t high, low, high_after, low_after;
        tamu_random_get_seeds(&high, &low);
        std::vector<int16_t> a = render(5, width), b = render(5, width), c = render(6, width);
        tamu_random_get_seeds(&high_after, &low_after);
        EXPECT_EQ(high_after, high);
        EXPECT_EQ(low_after, low);
        EXPECT_EQ(a, b);
        EXPECT_NE(a, c);
        int loud = 0;
        for (int16_t v : a) loud += std::abs(v) > 1000;
        EXPECT_GT(loud, 1000);
    }
}

TEST_F(NodeSynth, LowAndHighPass) {
    struct {
        const char *what;
        int32_t input_width;   // of a square of 16384 stepping down at this phase
        int32_t low, high;     // slots 1 and 2
        std::vector<int32_t> first;
    } cases[] = {
        {"both open: the input as it is", 8, 0x10000, 0, {16384, 16384, 16384, 16384, 16384, 16384, 16384, 16384,
                                                          -16384, -16384}},
        // g = 0.75: a constant input decays by a quarter each sample.
        {"high-pass", 0x20000, 0x10000, 0x10000, {16384, 12288, 9216, 6912, 5184}},
        // k = 14336: z moves an eighth of the way to the input each sample.
        {"low-pass", 8, 0x8000, 0, {16384, 16384, 16384, 16384, 16384, 16384, 16384, 16384, 12288, 8704}},
        {"low-pass closed: holds the first sample", 8, 0, 0, {16384, 16384, 16384, 16384, 16384, 16384, 16384,
                                                              16384, 16384, 16384}},
        {"low-pass above 1 passes", 8, 0x20000, 0, {16384, 16384, 16384, 16384, 16384, 16384, 16384, 16384,
                                                    -16384}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        csynth *s = synth(16);
        generator(s, 0, SYNTH_SQUARE, 0x800, 0x4000, c.input_width);
        synth_node &f = filter(s, 1, SYNTH_LPHP, 0);
        f.p[1].base = c.low;
        f.p[2].base = c.high;
        std::vector<int32_t> b = buffer(s, 1);
        for (size_t i = 0; i < c.first.size(); i++) EXPECT_EQ(b[i], c.first[i]) << i;
    }
}

TEST_F(NodeSynth, DelayTaps) {
    struct {
        const char *what;
        int32_t delay, ratio, taps, stretch;
        std::vector<std::pair<int, int32_t>> at;   // sample, value
    } cases[] = {
        // Slot 1 counts half: 20 is a delay of 10.
        {"three taps", 20, 0x8000, 3, 0, {{0, 16384}, {9, 16384}, {10, 24576}, {19, 24576}, {20, 28672}, {255, 28672}}},
        {"no taps", 20, 0x8000, 0, 0, {{0, 0}, {100, 0}}},
        {"taps end when they fade below 64", 2, 0x2000, 100, 0, {{0, 16384}, {1, 18432}, {2, 18688}, {3, 18688}, {50, 18688}}},
        {"a delay below 1 is 1", 0, 0x8000, 2, 0, {{0, 16384}, {1, 24576}}},
        // Stretched by 2: tap j reads (i - 10j) * 2^j, and nothing past the end.
        {"stretched", 20, 0x8000, 3, 0x20000, {{50, 28672}, {100, 24576}, {200, 16384}}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        csynth *s = synth(64);
        constant(s, 0, 16384);
        synth_node &f = filter(s, 1, SYNTH_DELAY, 0);
        f.p[1].base = c.delay;
        f.p[2].base = c.ratio;
        f.p[3].base = c.taps;
        f.p[4].base = c.stretch;
        std::vector<int32_t> b = buffer(s, 1);
        for (auto &[i, v] : c.at) EXPECT_EQ(b[size_t(i)], v) << i;
    }
}

TEST_F(NodeSynth, ClipAndStep) {
    struct {
        int32_t input, high, low, steps, out;
    } cases[] = {
        {16384, 10000, -10000, 0, 10000},  {-16384, 10000, -10000, 0, -10000}, {4800, 10000, -10000, 0, 4800},
        {16384, 10000, -10000, 8, 8192},   {-16384, 10000, -10000, 8, -8192},  {16384, 10000, -10000, 4, 0},
        {16384, 10000, -10000, 3, 10000},  {10000, 40000, -40000, 12, 5461},   {16384, 1000, 5000, 0, 1000},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.input * 10 + c.steps);
        csynth *s = synth(4);
        constant(s, 0, c.input);
        synth_node &f = filter(s, 1, SYNTH_CLIP_STEP, 0);
        f.p[1].base = c.high;
        f.p[2].base = c.low;
        f.p[3].base = c.steps;
        EXPECT_EQ(buffer(s, 1), std::vector<int32_t>(16, c.out));
        // The same through the filter's own operation.
        tamu_free(s->nodes[1].buffer);
        s->nodes[1].buffer = nullptr;
        apply_synth_filter_reduce(s, 1);
        ASSERT_NE(s->nodes[1].buffer, nullptr);
        EXPECT_EQ(s->nodes[1].buffer[3], c.out);
    }
}

TEST_F(NodeSynth, MixAndLoopableMix) {
    csynth *s = synth(64);
    constant(s, 0, 16384);
    constant(s, 1, 4096);
    synth_node &mix = node(s, 2, SYNTH_FILTER, SYNTH_MIX);
    mix.p[0] = synth_param{0, 0, 0, SYNTH_MOD_ADD};
    mix.p[1] = synth_param{0, 0, 1, SYNTH_MOD_ADD};
    mix.p[2].base = 100;
    mix.p[4].base = 0x10000;
    EXPECT_EQ(buffer(s, 2), std::vector<int32_t>(256, 20580));
    tamu_free(mix.buffer);
    mix.buffer = nullptr;
    mix.p[4].base = 0x8000;
    EXPECT_EQ(buffer(s, 2), std::vector<int32_t>(256, 10290));

    // Loopable: windowed, folded and copied, a constant stays constant
    // and both halves are the same.
    csynth *t = synth(64);
    synth_node &loop = node(t, 0, SYNTH_FILTER, SYNTH_MIX);
    loop.p[0].base = 16384;
    loop.p[4].base = 0x10000;
    loop.p[6].base = 1;
    EXPECT_EQ(buffer(t, 0), std::vector<int32_t>(256, 16384));

    csynth *u = synth(2500);   // halves of 5000: the window counts in steps of 2
    generator(u, 0, SYNTH_SLOPE, 0x3000, 0x4000, 0x8000);
    synth_node &l = filter(u, 1, SYNTH_MIX, 0);
    l.p[0].mode = SYNTH_MOD_ADD;
    l.p[4].base = 0x10000;
    l.p[6].base = 1;
    std::vector<int32_t> b = buffer(u, 1);
    for (int i = 0; i < 5000; i++) ASSERT_EQ(b[size_t(i)], b[size_t(i) + 5000]) << i;
}

TEST_F(NodeSynth, SourcesFirstAndCyclesEnd) {
    // Node 0 reads node 1 and node 1 reads node 0: node 1 is evaluated
    // first, seeing node 0 without a buffer.
    csynth *s = synth(4);
    synth_node &a = node(s, 0, SYNTH_FILTER, SYNTH_MIX);
    synth_node &b = node(s, 1, SYNTH_FILTER, SYNTH_MIX);
    a.p[0] = synth_param{100, 0, 1, SYNTH_MOD_ADD};
    a.p[4].base = 0x10000;
    b.p[0] = synth_param{7, 0, 0, SYNTH_MOD_ADD};
    b.p[4].base = 0x10000;
    EXPECT_EQ(buffer(s, 0), std::vector<int32_t>(16, 107));
    EXPECT_EQ(buffer(s, 1), std::vector<int32_t>(16, 7));

    // A node naming itself, and slots naming no node: their modulation is
    // turned off.
    csynth *t = synth(4);
    synth_node &self = node(t, 3, SYNTH_FILTER, SYNTH_MIX);
    self.p[0] = synth_param{5, 0, 3, SYNTH_MOD_ADD};
    self.p[1] = synth_param{6, 0, 40, SYNTH_MOD_ADD};
    self.p[2] = synth_param{7, 0, -1, SYNTH_MOD_MUL};
    self.p[4].base = 0x10000;
    EXPECT_EQ(buffer(t, 3), std::vector<int32_t>(16, 18));
    EXPECT_EQ(self.p[0].mode, SYNTH_MOD_ADD);
    EXPECT_EQ(self.p[1].mode, SYNTH_MOD_NONE);
    EXPECT_EQ(self.p[2].mode, SYNTH_MOD_NONE);

    // Slots left at source 0 make node 0 a source of everything; a graph
    // made only of such nodes still ends.
    csynth *u = synth(4);
    for (int k = 0; k < SYNTH_NODES; k++) {
        u->nodes[k].kind = SYNTH_FILTER;
        u->nodes[k].sub_kind = SYNTH_MIX;
        u->nodes[k].p[0].mode = SYNTH_MOD_ADD;
        u->nodes[k].p[0].base = 1;
        u->nodes[k].p[4].base = 0x10000;
    }
    tamu_synth_generate(u, nullptr, 1);
    EXPECT_EQ(u->output_node, 31);
    for (int k = 0; k < SYNTH_NODES; k++) EXPECT_NE(u->nodes[k].buffer, nullptr) << k;
}

TEST_F(NodeSynth, RendersTheLastNodeNobodyReadsIntoTheSound) {
    // Node 0 a square, node 1 a generator nobody reads, node 2 a clip of
    // node 0: the output is node 2.
    csynth *s = synth(64);
    generator(s, 0, SYNTH_SQUARE, 0x800, 0x4000, 8);
    constant(s, 1, 999);
    synth_node &clip = filter(s, 2, SYNTH_CLIP_STEP, 0);
    clip.p[1].base = 10000;
    clip.p[2].base = -20000;
    tamu_synth_generate(s, nullptr, 0);
    EXPECT_EQ(s->output_node, 2);
    EXPECT_EQ(s->generating, 0);
    EXPECT_EQ(s->next_node, 32);
    ASSERT_NE(s->output_sound, nullptr);
    EXPECT_EQ(s->output_sound->samples, 64);
    EXPECT_EQ(s->output_sound->bits, 16);
    // Eight values averaged at every fourth; the last sample is past the
    // buffer's reach and silent. No fade for 256 buffer samples.
    std::vector<int16_t> out = samples(s->output_sound);
    EXPECT_EQ(out[0], 10000);
    EXPECT_EQ(out[1], (4 * 10000 - 4 * 16384) / 8);
    for (int j = 2; j < 63; j++) EXPECT_EQ(out[size_t(j)], -16384) << j;
    EXPECT_EQ(out[63], 0);
    for (const synth_node &n : s->nodes) EXPECT_EQ(n.buffer, nullptr);

    // A node that reads the last one makes that one a source: the reader
    // is the output.
    csynth *t = synth(4);
    filter(t, 0, SYNTH_CLIP_STEP, 1).p[1].base = 100;
    constant(t, 1, 4096);
    tamu_synth_generate(t, nullptr, 1);
    EXPECT_EQ(t->output_node, 0);
    EXPECT_NE(t->nodes[1].buffer, nullptr);   // kept

    // Nothing to render: a silent sound.
    csynth *u = synth(8);
    tamu_synth_generate(u, nullptr, 0);
    EXPECT_EQ(u->output_node, -1);
    EXPECT_EQ(samples(u->output_sound), std::vector<int16_t>(8, 0));
}

TEST_F(NodeSynth, FadesInAndOutUnlessTold) {
    csynth *s = synth(1024);
    constant(s, 0, 16384);
    tamu_synth_generate(s, nullptr, 0);
    std::vector<int16_t> out = samples(s->output_sound);
    for (int i = 0; i < 256; i++) {
        ASSERT_EQ(out[size_t(i)], 64 * i) << i;
        if (i > 0) {
            ASSERT_EQ(out[1023 - size_t(i)], 64 * i) << i;
        }
    }
    EXPECT_EQ(out[1023], 0);
    for (int i = 256; i < 1023 - 256; i++) ASSERT_EQ(out[size_t(i)], 16384) << i;

    // A clip-and-step output with its last option set is not faded.
    csynth *t = synth(1024);
    constant(t, 0, 16384);
    synth_node &clip = filter(t, 1, SYNTH_CLIP_STEP, 0);
    clip.p[1].base = 30000;
    clip.p[2].base = -30000;
    clip.p[7].base = 1;
    tamu_synth_generate(t, nullptr, 0);
    std::vector<int16_t> plain = samples(t->output_sound);
    EXPECT_EQ(plain[0], 16384);
    EXPECT_EQ(plain[1022], 16384);

    // A sound shorter than two fades is faded within itself.
    csynth *u = synth(100);
    constant(u, 0, 16384);
    tamu_synth_generate(u, nullptr, 0);
    std::vector<int16_t> short_out = samples(u->output_sound);
    EXPECT_EQ(short_out[0], 0);
    EXPECT_EQ(short_out[50], int16_t(16384 * 50 / 256 * 49 / 256));
}

TEST_F(NodeSynth, TargetSoundsOfAnySizeAndOddLengths) {
    // An 8-bit sound holds half as many 16-bit samples: only those are
    // written.
    csynth *s = synth(64);
    constant(s, 0, 1024);
    csound *narrow = tamu_create_sound(64, 8);
    tamu_synth_generate(s, narrow, 0);
    EXPECT_EQ(s->output_sound, nullptr);
    const auto *d = static_cast<const int16_t *>(narrow->data);
    for (int i = 0; i < 32; i++) EXPECT_EQ(d[i], 1024) << i;
    tamu_destroy_sound(narrow);

    // A buffer length that is not a multiple of four (a description of the
    // first pod format): the last window averages what there is.
    for (int length : {253, 254, 255, 3}) {
        SCOPED_TRACE(length);
        csynth *t = synth(0);
        t->length = length;
        constant(t, 0, 1000);
        csound *sound = tamu_create_sound(length / 4 + 1, 16);
        tamu_synth_generate(t, sound, 0);
        const auto *v = static_cast<const int16_t *>(sound->data);
        int written = (length - 1) / 4;
        for (int j = 0; j < written; j++) EXPECT_NE(v[j], 0) << j;
        for (int j = written; j < sound->samples; j++) EXPECT_EQ(v[j], 0) << j;
        tamu_destroy_sound(sound);
    }
}

TEST_F(NodeSynth, SlicesRenderTheSameAsAllAtOnce) {
    auto describe = [&](csynth *s) {
        s->seed = 42;
        generator(s, 0, SYNTH_NOISE, 0x20000, 0x8000);
        generator(s, 1, SYNTH_SINE, 0x30000, 0x8000);
        synth_node &mix = node(s, 2, SYNTH_FILTER, SYNTH_MIX);
        mix.p[0] = synth_param{0, 0, 0, SYNTH_MOD_ADD};
        mix.p[1] = synth_param{0, 0, 1, SYNTH_MOD_ADD};
        mix.p[4].base = 0x8000;
        filter(s, 3, SYNTH_LPHP, 2).p[1].base = 0x9000;
    };
    csynth *whole = synth(2000);
    describe(whole);
    tamu_synth_generate(whole, nullptr, 0);

    csynth *sliced = synth(2000);
    describe(sliced);
    tamu_synth_generate_slice(sliced, nullptr, 0);   // not generating: nothing
    EXPECT_EQ(sliced->next_node, 0);
    EXPECT_EQ(sliced->output_sound, nullptr);
    sliced->generating = 1;
    sliced->next_node = 0;
    int slices = 0;
    while (sliced->generating) {
        // The caller's generator moves between slices.
        tamu_rand();
        tamu_synth_generate_slice(sliced, nullptr, 0);
        slices++;
    }
    EXPECT_EQ(slices, 32);
    EXPECT_EQ(samples(sliced->output_sound), samples(whole->output_sound));

    // Rendering again into the same sound gives it again.
    std::vector<int16_t> first = samples(whole->output_sound);
    csound *same = whole->output_sound;
    tamu_synth_generate(whole, nullptr, 0);
    EXPECT_EQ(whole->output_sound, same);
    EXPECT_EQ(samples(whole->output_sound), first);
}

TEST_F(NodeSynth, ClearingAndDestroyingStopTheOutputSound) {
    cconfig.console_sound_mode = 0;
    tamu_state.mixer_running = 1;
    csynth *s = synth(500);
    constant(s, 0, 1000);
    tamu_synth_generate(s, nullptr, 1);
    tamu_play_sound(s->output_sound);
    ASSERT_EQ(ms0[0].sound, s->output_sound);
    tamu_synth_clear_buffers(s);
    EXPECT_EQ(s->output_sound, nullptr);
    EXPECT_EQ(s->nodes[0].buffer, nullptr);
    EXPECT_EQ(ms0[0].sound, nullptr);

    tamu_synth_generate(s, nullptr, 0);
    tamu_play_sound(s->output_sound);
    ASSERT_NE(ms0[0].sound, nullptr);
    made.clear();
    tamu_destroy_synth(s);
    EXPECT_EQ(ms0[0].sound, nullptr);
    tamu_state.mixer_running = 0;
}

}  // namespace
