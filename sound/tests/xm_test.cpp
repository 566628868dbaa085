// XM modules: the period table and steps, writing and loading back,
// hand-made files (8-bit samples, odd pattern headers), corrupt and cut
// files, the player's rows, effects and song order, and the music object
// through the mixer's module step.
#include "sound_fixture.h"
#include "tamu_music.h"
#include "tamu_xm.h"
#include "pod_test_util.h"

#include <cmath>
#include <functional>
#include <string>

namespace {

// ---------------------------------------------------------------------------
// Modules made in memory

// A module of the given channels; patterns and instruments are added.
xm_module *module(int channels, int tempo = 2, int bpm = 125) {
    xm_module *m = tamu_create_xm();
    m->channels = uint16_t(channels);
    m->tempo = uint16_t(tempo);
    m->bpm = uint16_t(bpm);
    return m;
}

int add_pattern(xm_module *m, int rows) {
    int n = m->pattern_count;
    auto *patterns = static_cast<xm_pattern *>(tamu_malloc((n + 1) * int(sizeof(xm_pattern))));
    if (n) std::memcpy(patterns, m->patterns, size_t(n) * sizeof(xm_pattern));
    tamu_free(m->patterns);
    m->patterns = patterns;
    int bytes = rows * m->channels * XM_CELL_BYTES;
    patterns[n].rows = rows;
    patterns[n].cells = static_cast<uint8_t *>(tamu_malloc(bytes));
    std::memset(patterns[n].cells, 0, size_t(bytes));
    m->pattern_count = uint16_t(n + 1);
    return n;
}

void cell(xm_module *m, int p, int row, int ch, int note, int ins, int vol = 0, int eff = 0, int par = 0) {
    uint8_t *c = m->patterns[p].cells + (size_t(row) * m->channels + size_t(ch)) * XM_CELL_BYTES;
    c[0] = uint8_t(note);
    c[1] = uint8_t(ins);
    c[2] = uint8_t(vol);
    c[3] = uint8_t(eff);
    c[4] = uint8_t(par);
}

void song(xm_module *m, std::vector<int> orders) {
    m->song_length = uint16_t(orders.size());
    for (size_t i = 0; i < orders.size(); i++) m->orders[i] = uint8_t(orders[i]);
}

struct SampleRecipe {
    std::vector<int16_t> data;
    int loop_type = 0, loop_start = 0, loop_length = 0;
    int volume = 64, finetune = 0, relative_note = 0;
};

// An instrument whose every note plays sample 0 (other samples are there
// to be kept).
int add_instrument(xm_module *m, const std::vector<SampleRecipe> &recipes) {
    int n = m->instrument_count;
    auto *list = static_cast<xm_instrument *>(tamu_malloc((n + 1) * int(sizeof(xm_instrument))));
    if (n) std::memcpy(list, m->instruments, size_t(n) * sizeof(xm_instrument));
    tamu_free(m->instruments);
    m->instruments = list;
    xm_instrument &ins = list[n];
    std::memset(&ins, 0, sizeof ins);
    std::snprintf(ins.name, sizeof ins.name, "instrument %d", n + 1);
    ins.sample_count = int32_t(recipes.size());
    if (!recipes.empty()) {
        ins.samples = static_cast<xm_sample *>(tamu_malloc(int(recipes.size() * sizeof(xm_sample))));
        std::memset(ins.samples, 0, recipes.size() * sizeof(xm_sample));
    }
    for (size_t k = 0; k < recipes.size(); k++) {
        xm_sample &s = ins.samples[k];
        const SampleRecipe &recipe = recipes[k];
        s.length = int32_t(recipe.data.size());
        if (s.length) {
            s.data = static_cast<int16_t *>(tamu_malloc(s.length * 2));
            std::memcpy(s.data, recipe.data.data(), size_t(s.length) * 2);
        }
        s.type = uint8_t(recipe.loop_type | XM_16BIT);
        s.loop_start = recipe.loop_start;
        s.loop_length = recipe.loop_length;
        s.volume = uint8_t(recipe.volume);
        s.finetune = int8_t(recipe.finetune);
        s.relative_note = int8_t(recipe.relative_note);
        s.panning = 128;
        std::snprintf(s.name, sizeof s.name, "sample %d", int(k));
    }
    m->instrument_count = uint16_t(n + 1);
    return n + 1;
}

// A sample holding value everywhere, looping forward over all of it.
SampleRecipe constant_sample(int16_t value, int volume = 64) {
    SampleRecipe s;
    s.data.assign(1000, value);
    s.loop_type = 1;
    s.loop_length = 1000;
    s.volume = volume;
    return s;
}

std::string save(xm_module *m) {
    cbuffer *out = tamu_create_buffer(0);
    EXPECT_EQ(tamu_save_xm_to_file(m, out), 0);
    std::string s(reinterpret_cast<char *>(out->data), size_t(out->size));
    tamu_destroy_buffer(out);
    return s;
}

xm_module *load(const std::string &bytes) {
    cfile *f = tamu_fopen_memory(bytes.data(), int(bytes.size()));
    xm_module *m = tamu_load_xm_from_file(f);
    tamu_fclose(f);
    return m;
}

void expect_same(const xm_module *a, const xm_module *b) {
    EXPECT_STREQ(a->name, b->name);
    EXPECT_EQ(a->version, b->version);
    EXPECT_EQ(a->header_size, b->header_size);
    EXPECT_EQ(a->song_length, b->song_length);
    EXPECT_EQ(a->restart_position, b->restart_position);
    EXPECT_EQ(a->channels, b->channels);
    EXPECT_EQ(a->pattern_count, b->pattern_count);
    EXPECT_EQ(a->instrument_count, b->instrument_count);
    EXPECT_EQ(a->flags, b->flags);
    EXPECT_EQ(a->tempo, b->tempo);
    EXPECT_EQ(a->bpm, b->bpm);
    EXPECT_EQ(std::memcmp(a->orders, b->orders, XM_ORDERS), 0);
    for (int p = 0; p < a->pattern_count; p++) {
        SCOPED_TRACE(p);
        ASSERT_EQ(a->patterns[p].rows, b->patterns[p].rows);
        EXPECT_EQ(std::memcmp(a->patterns[p].cells, b->patterns[p].cells,
                              size_t(a->patterns[p].rows) * a->channels * XM_CELL_BYTES),
                  0);
    }
    for (int i = 0; i < a->instrument_count; i++) {
        SCOPED_TRACE(i);
        const xm_instrument &x = a->instruments[i], &y = b->instruments[i];
        EXPECT_STREQ(x.name, y.name);
        EXPECT_EQ(x.type, y.type);
        ASSERT_EQ(x.sample_count, y.sample_count);
        if (x.sample_count == 0) continue;
        EXPECT_EQ(std::memcmp(x.note_sample, y.note_sample, XM_NOTES), 0);
        EXPECT_EQ(std::memcmp(x.volume_envelope, y.volume_envelope, sizeof x.volume_envelope), 0);
        EXPECT_EQ(std::memcmp(x.panning_envelope, y.panning_envelope, sizeof x.panning_envelope), 0);
        const uint8_t ex[] = {x.volume_points,      x.panning_points,  x.volume_sustain, x.volume_loop_start,
                              x.volume_loop_end,    x.panning_sustain, x.panning_loop_start,
                              x.panning_loop_end,   x.volume_type,     x.panning_type,   x.vibrato_type,
                              x.vibrato_sweep,      x.vibrato_depth,   x.vibrato_rate};
        const uint8_t ey[] = {y.volume_points,      y.panning_points,  y.volume_sustain, y.volume_loop_start,
                              y.volume_loop_end,    y.panning_sustain, y.panning_loop_start,
                              y.panning_loop_end,   y.volume_type,     y.panning_type,   y.vibrato_type,
                              y.vibrato_sweep,      y.vibrato_depth,   y.vibrato_rate};
        EXPECT_EQ(std::memcmp(ex, ey, sizeof ex), 0);
        EXPECT_EQ(x.fadeout, y.fadeout);
        for (int k = 0; k < x.sample_count; k++) {
            SCOPED_TRACE(k);
            const xm_sample &s = x.samples[k], &t = y.samples[k];
            ASSERT_EQ(s.length, t.length);
            EXPECT_EQ(s.loop_start, t.loop_start);
            EXPECT_EQ(s.loop_length, t.loop_length);
            EXPECT_EQ(s.volume, t.volume);
            EXPECT_EQ(s.finetune, t.finetune);
            EXPECT_EQ(s.type, t.type);
            EXPECT_EQ(s.panning, t.panning);
            EXPECT_EQ(s.relative_note, t.relative_note);
            EXPECT_STREQ(s.name, t.name);
            if (s.length) {
                EXPECT_EQ(std::memcmp(s.data, t.data, size_t(s.length) * 2), 0);
            }
        }
    }
}

// A module with a bit of everything: two channels, patterns of 4 and 64
// rows with whole, partial and empty cells, an instrument of two samples
// with loops and an envelope, and an instrument without samples.
xm_module *rich_module() {
    xm_module *m = module(2, 5, 140);
    std::strcpy(m->name, "round trip");
    m->flags = 1;
    m->restart_position = 1;
    add_pattern(m, 4);
    add_pattern(m, 64);
    cell(m, 0, 0, 0, 49, 1, 0x40, 4, 0x41);   // every field
    cell(m, 0, 1, 1, 97, 0);                   // note off alone
    cell(m, 0, 2, 0, 0, 0, 0, 10, 0x0F);
    cell(m, 0, 3, 1, 60, 2, 0, 0, 0);
    cell(m, 1, 63, 1, 1, 1, 0x10, 11, 0);
    song(m, {0, 1, 0});
    SampleRecipe a;
    for (int i = 0; i < 300; i++) a.data.push_back(int16_t(i * 200 - 30000));
    a.loop_type = 2;
    a.loop_start = 100;
    a.loop_length = 150;
    a.volume = 40;
    a.finetune = -16;
    a.relative_note = -12;
    SampleRecipe b;
    b.data = {32767, -32768, 0, 1, -1};
    b.finetune = 127;
    add_instrument(m, {a, b});
    xm_instrument &ins = m->instruments[0];
    for (int k = 0; k < XM_NOTES; k++) ins.note_sample[k] = uint8_t(k % 2);
    const uint16_t env[] = {0, 64, 10, 32, 40, 0};
    std::memcpy(ins.volume_envelope, env, sizeof env);
    ins.volume_points = 3;
    ins.volume_type = 1;
    ins.volume_sustain = 1;
    ins.panning_envelope[3] = 7;
    ins.panning_points = 2;
    ins.vibrato_depth = 3;
    ins.fadeout = 0x400;
    ins.type = 0;
    add_instrument(m, {});
    return m;
}

TEST(XmPeriods, TableAndSteps) {
    for (int k = 0; k < XM_NOTES; k++) {
        EXPECT_NEAR(ptab[k], 907 * std::pow(2.0, -k / 96.0), 1.5) << k;
        if (k > 0) {
            EXPECT_LT(ptab[k], ptab[k - 1]) << k;
        }
    }
    // Note 49 reads entry 8 (856) in octave 4: 916317184 / 54784 / 44742 * 2^24.
    EXPECT_EQ(get_delta(49, 0), 6271863);
    struct {
        int note, fine;
        int32_t same_as;   // get_delta(49, same_as_fine) ...
        int same_note, same_fine;
    } carries[] = {
        {48, 256, 0, 49, 0},   {50, -256, 0, 49, 0}, {49, 255 + 256, 0, 50, 255},
        {47, 512 + 32, 0, 49, 32}, {49, -1, 0, 48, 255},
    };
    for (auto &c : carries) EXPECT_EQ(get_delta(c.note, c.fine), get_delta(c.same_note, c.same_fine)) << c.note;
    // Finer steps of the table: higher fine, higher step.
    for (int fine = 32; fine < 256; fine += 32) EXPECT_GT(get_delta(49, fine), get_delta(49, fine - 32)) << fine;
    // An octave up doubles the step (the period halves exactly).
    EXPECT_NEAR(get_delta(61, 0), 2.0 * get_delta(49, 0), 1);
    // Below note 0: 1. Past the table's reach (period 0): 3749769.
    EXPECT_EQ(get_delta(-1, 0), 1);
    EXPECT_EQ(get_delta(0, -1), 1);
    EXPECT_EQ(get_delta(12 * 40, 0), 3749769);
    EXPECT_EQ(get_delta(INT32_MAX, INT32_MAX), 3749769);
    EXPECT_EQ(get_delta(INT32_MIN, 0), 1);
    // The step stays within 32 bits however small the period.
    EXPECT_GT(get_delta(12 * 19, 0), 0);
}

TEST(XmFile, WrittenModuleLoadsBackEqual) {
    int live = tamu_items_created;
    xm_module *m = rich_module();
    std::string bytes = save(m);
    EXPECT_EQ(bytes.substr(0, 17), "Extended Module: ");
    EXPECT_EQ(bytes.substr(17, 10), "round trip");
    EXPECT_EQ(bytes[37], '\x1a');
    EXPECT_EQ(bytes.substr(38, 20), "zorva               ");   // the writing program
    EXPECT_EQ(uint8_t(bytes[60]), 276 & 0xFF);
    EXPECT_EQ(uint8_t(bytes[61]), 276 >> 8);
    // The first pattern: header of 9, 4 rows; its first cell is stored whole.
    EXPECT_EQ(bytes[336], 9);
    EXPECT_EQ(bytes[341], 4);
    EXPECT_EQ(bytes.substr(345, 5), std::string("\x31\x01\x40\x04\x41", 5));
    EXPECT_EQ(uint8_t(bytes[350]), 0x80);   // an empty cell
    // The instrument with samples: header 263, sample header 40, lengths
    // in bytes of 16-bit data.
    size_t ins = bytes.find("instrument 1") - 4;
    EXPECT_EQ(uint8_t(bytes[ins]), 263 & 0xFF);
    EXPECT_EQ(uint8_t(bytes[ins + 1]), 263 >> 8);
    EXPECT_EQ(uint8_t(bytes[ins + 29]), 40);
    EXPECT_EQ(uint8_t(bytes[ins + 263]) | uint8_t(bytes[ins + 264]) << 8, 600);
    // The instrument without samples: a 29-byte header.
    size_t empty = bytes.find("instrument 2") - 4;
    EXPECT_EQ(uint8_t(bytes[empty]), 29);
    EXPECT_EQ(bytes.size(), empty + 29);

    xm_module *back = load(bytes);
    ASSERT_NE(back, nullptr);
    expect_same(m, back);
    EXPECT_EQ(save(back), bytes);
    tamu_destroy_xm(back);

    // Through a file on disk.
    std::string path = test_home() + "/song.xm";
    ASSERT_EQ(tamu_save_xm(m, path.c_str()), 0);
    EXPECT_EQ(read_file(path), bytes);
    back = tamu_load_xm(path.c_str());
    ASSERT_NE(back, nullptr);
    expect_same(m, back);
    tamu_destroy_xm(back);
    tamu_destroy_xm(m);
    EXPECT_EQ(tamu_items_created, live);

    LogCapture log;
    EXPECT_EQ(tamu_load_xm((test_home() + "/missing.xm").c_str()), nullptr);
    EXPECT_NE(log.text().find("could not open\n"), std::string::npos);
    EXPECT_EQ(tamu_save_xm(nullptr, path.c_str()), 1);
    m = rich_module();
    EXPECT_EQ(tamu_save_xm(m, (test_home() + "/no/such/folder.xm").c_str()), 1);
    tamu_destroy_xm(m);
    EXPECT_EQ(read_file(path), bytes);   // untouched by the failed saves
}

// ---------------------------------------------------------------------------
// Files made by hand

struct XmBytes {
    std::string s;
    size_t channels_at = 68, patterns_at = 70, instruments_at = 72, song_length_at = 64;
    size_t pattern_at = 0, instrument_at = 0, sample_header_at = 0, sample_data_at = 0;

    XmBytes &u8(int v) {
        s += char(v);
        return *this;
    }
    XmBytes &u16(int v) { return u8(v & 0xFF).u8(v >> 8 & 0xFF); }
    XmBytes &u32(uint32_t v) { return u16(int(v & 0xFFFF)).u16(int(v >> 16)); }
    XmBytes &raw(const std::string &t) {
        s += t;
        return *this;
    }
    XmBytes &fill(size_t n, char c = 0) {
        s.append(n, c);
        return *this;
    }
    void put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++) s[at + size_t(i)] = char(v >> (8 * i));
    }
    void put16(size_t at, int v) {
        s[at] = char(v & 0xFF);
        s[at + 1] = char(v >> 8 & 0xFF);
    }

    // Two channels; one pattern of two rows (a packed cell with note and
    // instrument, the rest empty, then a whole cell); one instrument with
    // an 8-bit sample of deltas 10, 20, -40, 5 and a 16-bit sample.
    static XmBytes basic(uint32_t pattern_header = 9) {
        XmBytes b;
        b.raw("Extended Module: ").raw("hand made").fill(11).u8(0x1A).raw("by hand").fill(13);
        b.u16(0x104).u32(276).u16(1).u16(0).u16(2).u16(1).u16(1).u16(0).u16(3).u16(125);
        b.fill(256);
        b.pattern_at = b.s.size();
        b.u32(pattern_header).u8(0).u16(2);
        std::string packed = std::string("\x83\x31\x01\x80\x80", 5) + std::string("\x3d\x01\x20\x0a\x11", 5);
        b.u16(int(packed.size()));
        if (pattern_header > 9) b.fill(pattern_header - 9, 'x');
        b.raw(packed);
        b.instrument_at = b.s.size();
        b.u32(263).raw("hand").fill(18).u8(0).u16(2).u32(40);
        std::string map(XM_NOTES, '\0');
        map[48] = 1;
        b.raw(map).fill(96).fill(14).u16(0).fill(22);
        b.sample_header_at = b.s.size();
        // 8-bit: 4 bytes, loop 1..3 forward; 16-bit: 6 bytes (3 samples),
        // loop from byte 2 over 4 bytes.
        b.u32(4).u32(1).u32(2).u8(50).u8(0xF0).u8(1).u8(128).u8(12).u8(0).raw("eight").fill(17);
        b.u32(6).u32(2).u32(6).u8(64).u8(0).u8(0x12).u8(128).u8(0).u8(0).raw("sixteen").fill(15);
        b.sample_data_at = b.s.size();
        b.u8(10).u8(20).u8(0xD8).u8(5);
        b.u16(1000).u16(0xFC18).u16(0x7FFF);   // deltas +1000, -1000, +32767
        return b;
    }
};

TEST(XmFile, HandMadeFileLoads) {
    int live = tamu_items_created;
    XmBytes b = XmBytes::basic();
    xm_module *m = load(b.s);
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->name, "hand made");
    EXPECT_EQ(m->channels, 2);
    EXPECT_EQ(m->tempo, 3);
    ASSERT_EQ(m->pattern_count, 1);
    const uint8_t cells[20] = {0x31, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x3d, 1, 0x20, 0x0a, 0x11};
    EXPECT_EQ(std::memcmp(m->patterns[0].cells, cells, sizeof cells), 0);
    ASSERT_EQ(m->instrument_count, 1);
    const xm_instrument &ins = m->instruments[0];
    EXPECT_STREQ(ins.name, "hand");
    ASSERT_EQ(ins.sample_count, 2);
    EXPECT_EQ(ins.note_sample[48], 1);
    const xm_sample &eight = ins.samples[0], &sixteen = ins.samples[1];
    ASSERT_EQ(eight.length, 4);
    // Deltas added up, widened to 16 bits.
    const int16_t wide[4] = {10 * 256, 30 * 256, -10 * 256, -5 * 256};
    EXPECT_EQ(std::memcmp(eight.data, wide, sizeof wide), 0);
    EXPECT_EQ(eight.loop_start, 1);
    EXPECT_EQ(eight.loop_length, 2);
    EXPECT_EQ(eight.volume, 50);
    EXPECT_EQ(eight.finetune, -16);
    EXPECT_EQ(eight.relative_note, 12);
    EXPECT_STREQ(eight.name, "eight");
    ASSERT_EQ(sixteen.length, 3);
    const int16_t values[3] = {1000, 0, 32767};
    EXPECT_EQ(std::memcmp(sixteen.data, values, sizeof values), 0);
    // Loop points in bytes become samples; a loop past the end is cut.
    EXPECT_EQ(sixteen.loop_start, 1);
    EXPECT_EQ(sixteen.loop_length, 2);
    tamu_destroy_xm(m);

    // A longer pattern header is read past with a warning; a shorter one
    // is read as if it were 9 bytes.
    for (uint32_t header : {12u, 7u}) {
        SCOPED_TRACE(header);
        LogCapture log;
        m = load(XmBytes::basic(header).s);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(std::memcmp(m->patterns[0].cells, cells, sizeof cells), 0);
        EXPECT_NE(log.text().find("** tamu_load_xm warning: pattern reader failure!\n"), std::string::npos);
        tamu_destroy_xm(m);
    }
    // The loader reads from the handle's position.
    std::string prefixed = "junk" + b.s;
    cfile *f = tamu_fopen_memory(prefixed.data(), int(prefixed.size()));
    tamu_fseek(f, 4, SEEK_CUR);
    m = tamu_load_xm_from_file(f);
    tamu_fclose(f);
    EXPECT_NE(m, nullptr);
    tamu_destroy_xm(m);
    EXPECT_EQ(tamu_load_xm_from_file(nullptr), nullptr);
    EXPECT_EQ(tamu_items_created, live);
}

TEST(XmFile, CorruptFilesFailWithALogLine) {
    struct {
        const char *what;
        std::function<void(XmBytes &)> spoil;
        const char *log;
    } cases[] = {
        {"not an XM file", [](XmBytes &b) { b.s[9] = 'm'; }, "not an XM module"},
        {"empty", [](XmBytes &b) { b.s.clear(); }, "not an XM module"},
        {"version 1.03", [](XmBytes &b) { b.put16(58, 0x103); }, "not an XM module of version 1.04"},
        {"header size 8", [](XmBytes &b) { b.put32(60, 8); }, "header size out of range"},
        {"header size past the end", [](XmBytes &b) { b.put32(60, 0x7FFFFFFF); }, "header size out of range"},
        {"header size wraps", [](XmBytes &b) { b.put32(60, 0xFFFFFFFE); }, "header size out of range"},
        {"song length 300", [](XmBytes &b) { b.put16(b.song_length_at, 300); }, "song length over 256"},
        {"9 channels", [](XmBytes &b) { b.put16(b.channels_at, 9); }, "channel count not 1 to 8"},
        {"no channels", [](XmBytes &b) { b.put16(b.channels_at, 0); }, "channel count not 1 to 8"},
        {"300 patterns", [](XmBytes &b) { b.put16(b.patterns_at, 300); }, "pattern count over 256"},
        // The second pattern is read from the instrument's bytes.
        {"more patterns than there are", [](XmBytes &b) { b.put16(b.patterns_at, 200); },
         "pattern row count not 1 to 256"},
        {"200 instruments", [](XmBytes &b) { b.put16(b.instruments_at, 200); }, "instrument count over 128"},
        {"more instruments than there are", [](XmBytes &b) { b.put16(b.instruments_at, 100); },
         "instrument header runs past the end"},
        {"no rows", [](XmBytes &b) { b.put16(b.pattern_at + 5, 0); }, "pattern row count not 1 to 256"},
        {"300 rows", [](XmBytes &b) { b.put16(b.pattern_at + 5, 300); }, "pattern row count not 1 to 256"},
        {"pattern data past the end", [](XmBytes &b) { b.put16(b.pattern_at + 7, 0xFFFF); },
         "pattern data runs past the end"},
        {"pattern header past the end", [](XmBytes &b) { b.put32(b.pattern_at, 0x7FFFFFFF); },
         "pattern header runs past the end"},
        {"instrument header size 2", [](XmBytes &b) { b.put32(b.instrument_at, 2); },
         "instrument header size out of range"},
        {"instrument header past the end", [](XmBytes &b) { b.put32(b.instrument_at, 0xFFFFFFF0); },
         "instrument header size out of range"},
        {"17 samples", [](XmBytes &b) { b.put16(b.instrument_at + 27, 17); }, "more than 16 samples"},
        {"sample header past the end", [](XmBytes &b) { b.put32(b.instrument_at + 29, 0x7FFFFFFF); },
         "sample header runs past the end"},
        {"sample data past the end", [](XmBytes &b) { b.put32(b.sample_header_at, 0x7FFFFFF0); },
         "sample data runs past the end"},
        {"sample length wraps", [](XmBytes &b) { b.put32(b.sample_header_at + 40, 0xFFFFFFFF); },
         "sample data runs past the end"},
    };
    int live = tamu_items_created;
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        XmBytes b = XmBytes::basic();
        c.spoil(b);
        LogCapture log;
        EXPECT_EQ(load(b.s), nullptr);
        std::string text = log.text();
        EXPECT_NE(text.find(std::string("tamu_load_xm: ") + c.log), std::string::npos) << text;
        EXPECT_EQ(tamu_items_created, live);
    }

    // Every cut of good files fails cleanly.
    std::vector<std::string> files = {XmBytes::basic().s};
    xm_module *rich = rich_module();
    files.push_back(save(rich));
    tamu_destroy_xm(rich);
    LogCapture quiet;
    for (const std::string &file : files)
        for (size_t n = 0; n < file.size(); n++) {
            ASSERT_EQ(load(file.substr(0, n)), nullptr) << n;
            ASSERT_EQ(tamu_items_created, live) << n;
        }
}

TEST(XmFile, ModulesThatCannotBeWrittenAreRefused) {
    xm_module *m = module(2);
    add_pattern(m, 4);
    m->patterns[0].rows = 0;
    cbuffer *out = tamu_create_buffer(0);
    EXPECT_EQ(tamu_save_xm_to_file(m, out), 1);
    m->patterns[0].rows = 4;
    m->channels = 9;
    EXPECT_EQ(tamu_save_xm_to_file(m, out), 1);
    m->channels = 2;
    EXPECT_EQ(tamu_save_xm_to_file(m, out), 0);
    EXPECT_EQ(tamu_save_xm_to_file(nullptr, out), 1);
    EXPECT_EQ(tamu_save_xm_to_file(m, nullptr), 1);
    tamu_destroy_buffer(out);
    tamu_destroy_xm(m);
}

// ---------------------------------------------------------------------------
// The player

class Player : public ::testing::Test {
  protected:
    xm_playstate st = {};
    xm_module *m = nullptr;
    void TearDown() override { tamu_destroy_xm(m); }

    void start(int loop = 0, int order = 0) {
        std::memset(&st, 0, sizeof st);
        tamu_mix_xm_init(m, &st, 22050);
        st.order = order;
        st.loop = loop;
        st.playing = 1;
    }
    std::vector<int16_t> render(int n) {
        std::vector<int16_t> out(static_cast<size_t>(n));
        tamu_mix_xm_chunk(&st, out.data(), n);
        return out;
    }
    // Renders one tick and returns its first sample.
    int16_t tick() { return render(st.samples_per_tick)[0]; }
};

TEST_F(Player, RowsTicksAndTheSongEnd) {
    // 441 samples a tick at 125 BPM, two ticks a row; a constant sample at
    // full volume gives 3000 / 3.
    m = module(1, 2, 125);
    add_instrument(m, {constant_sample(3000)});
    add_pattern(m, 4);
    cell(m, 0, 0, 0, 49, 1);
    cell(m, 0, 2, 0, XM_NOTE_OFF, 0);
    song(m, {0});
    start();
    EXPECT_EQ(st.samples_per_tick, 441);
    EXPECT_EQ(st.ticks_per_row, 2);
    std::vector<int16_t> out = render(4000);
    for (int i = 0; i < 4 * 441; i++) ASSERT_EQ(out[size_t(i)], 1000) << i;
    for (int i = 4 * 441; i < 4000; i++) ASSERT_EQ(out[size_t(i)], 0) << i;
    EXPECT_EQ(st.playing, 0);
    EXPECT_EQ(render(10), std::vector<int16_t>(10, 0));

    // The same in pieces of any size, resuming part-done ticks.
    start();
    std::vector<int16_t> pieces;
    for (int n : {1, 440, 3, 1000, 7, 2549}) {
        std::vector<int16_t> part = render(n);
        pieces.insert(pieces.end(), part.begin(), part.end());
    }
    EXPECT_EQ(pieces, out);

    // Looping: the song starts again at order 0.
    start(1);
    out = render(8 * 441 + 10);
    EXPECT_EQ(out[8 * 441 + 5], 1000);
    EXPECT_EQ(st.playing, 1);
}

TEST_F(Player, SongLengthFormula) {
    struct {
        int bpm, tempo, length;
        int64_t samples;
    } cases[] = {
        {125, 6, 3, 441 * 6 * 64 * 3}, {125, 6, 0, 0}, {255, 1, 1, 216 * 64}, {0, 6, 1, 55125 * 6 * 64},
        {125, 0, 2, 441 * 64 * 2},
    };
    for (auto &c : cases) {
        xm_module *x = module(1, c.tempo, c.bpm);
        x->song_length = uint16_t(c.length);
        EXPECT_EQ(tamu_calculate_xm_length(x), c.samples) << c.bpm << " " << c.tempo;
        tamu_destroy_xm(x);
    }
    EXPECT_EQ(tamu_calculate_xm_length(nullptr), 0);
}

TEST_F(Player, VolumesAndTheEnvelope) {
    m = module(1, 3);
    add_instrument(m, {constant_sample(3000, 32)});
    add_pattern(m, 5);
    cell(m, 0, 0, 0, 49, 1);                     // the sample's volume, 32
    cell(m, 0, 1, 0, 0, 0, 0x10 + 48);           // volume column: 48
    cell(m, 0, 2, 0, 0, 0, 0, 10, 0x02);         // slide down by 2 a tick
    cell(m, 0, 3, 0, 0, 0, 0, 10, 0x30);         // slide up by 3 a tick
    cell(m, 0, 4, 0, 0, 1);                      // the instrument again: 32
    song(m, {0});
    start();
    auto level = [](int volume) { return int16_t((3000 * volume * 64 >> 12) / 3); };
    const int volumes[] = {32, 32, 32, 48, 48, 48, 48, 46, 44, 44, 47, 50, 32, 32, 32};
    for (int t = 0; t < 15; t++) EXPECT_EQ(tick(), level(volumes[t])) << t;

    // An envelope from 64 down to 0 over four ticks, then held at 0.
    std::memset(m->patterns[0].cells + XM_CELL_BYTES, 0, 4 * XM_CELL_BYTES);
    m->instruments[0].samples[0].volume = 64;
    const uint16_t env[] = {0, 64, 4, 0};
    std::memcpy(m->instruments[0].volume_envelope, env, sizeof env);
    m->instruments[0].volume_points = 2;
    m->instruments[0].volume_type = 1;
    start();
    for (int t = 0; t < 6; t++) {
        int e = std::max(64 - 16 * t, 0);
        EXPECT_EQ(tick(), int16_t((3000 * 64 * e >> 12) / 3)) << t;
    }
    // Switched off, the envelope does nothing.
    m->instruments[0].volume_type = 0;
    start();
    tick();
    EXPECT_EQ(tick(), 1000);
}

TEST_F(Player, PitchFromNoteFinetuneAndRelativeNote) {
    struct {
        int finetune, relative_note;
        int note, fine;   // what get_delta is asked
    } cases[] = {
        {0, 0, 49, 128},
        {0, 12, 61, 128},
        {0, -13, 36, 128},
        {16, 0, 49, 160},     // a positive finetune raises the pitch
        {-16, 0, 49, 96},     // a negative one lowers it
        {127, 0, 50, 126},    // almost a semitone up
        {-128, 0, 48, 128},   // a semitone down
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.finetune * 100 + c.relative_note);
        tamu_destroy_xm(m);
        m = module(1, 1);
        SampleRecipe s = constant_sample(3000);
        s.finetune = c.finetune;
        s.relative_note = c.relative_note;
        add_instrument(m, {s});
        add_pattern(m, 1);
        cell(m, 0, 0, 0, 49, 1);
        song(m, {0});
        start();
        tick();
        EXPECT_EQ(st.channels[0].delta, get_delta(c.note, c.fine));
    }
    EXPECT_GT(get_delta(49, 160), get_delta(49, 128));
    EXPECT_LT(get_delta(49, 96), get_delta(49, 128));
}

TEST_F(Player, Effects) {
    m = module(1, 3);
    add_instrument(m, {constant_sample(3000)});
    add_pattern(m, 8);
    cell(m, 0, 0, 0, 49, 1, 0, 4, 0x41);    // vibrato: speed 4, depth 1
    cell(m, 0, 1, 0, 0, 0, 0, 0, 0x47);     // arpeggio right after another effect
    cell(m, 0, 2, 0, 0, 0, 0, 1, 0x02);     // portamento up by 32 fine steps a tick
    cell(m, 0, 3, 0, 0, 0, 0, 2, 0x00);     // down, with the parameter kept
    cell(m, 0, 4, 0, 52, 0, 0, 3, 0x10);    // tone portamento to 52 by 256 a tick
    cell(m, 0, 5, 0, 0, 0, 0, 0, 0);        // nothing: the effect ends
    cell(m, 0, 6, 0, 0, 0, 0, 3, 0x08);     // slides 128 a tick on to the target
    song(m, {0});
    start();
    auto delta_after_tick = [&](int note, int fine) {
        tick();
        EXPECT_EQ(st.channels[0].delta, get_delta(note, fine)) << note << " " << fine;
    };
    // Vibrato, every tick: phase 128, 256, 384 give offsets -8, -16, -24.
    delta_after_tick(49, 120);
    delta_after_tick(49, 112);
    delta_after_tick(49, 104);
    // Arpeggio: the note, +4, +7, for its tick only.
    delta_after_tick(49, 128);
    delta_after_tick(53, 128);
    delta_after_tick(56, 128);
    // Portamento up, then down by the same parameter.
    delta_after_tick(49, 128);
    delta_after_tick(49, 160);
    delta_after_tick(49, 192);
    delta_after_tick(49, 192);
    delta_after_tick(49, 160);
    delta_after_tick(49, 128);
    // Tone portamento: 49 to 52 at a semitone a tick, then held.
    delta_after_tick(49, 128);
    delta_after_tick(50, 128);
    delta_after_tick(51, 128);
    EXPECT_EQ(st.channels[0].target_note, 52);
    for (int t = 0; t < 3; t++) delta_after_tick(51, 128);
    delta_after_tick(51, 128);
    delta_after_tick(51, 256);
    delta_after_tick(52, 128);
    EXPECT_EQ(st.channels[0].note, 52);
    EXPECT_EQ(st.channels[0].fine, 0);
}

TEST_F(Player, PositionJumpsAfterItsRow) {
    // Three orders of one-row patterns told apart by volume; the first
    // jumps to order 2 once its row has played.
    m = module(1, 1);
    add_instrument(m, {constant_sample(3000)});
    for (int p = 0; p < 3; p++) {
        add_pattern(m, 1);
        cell(m, p, 0, 0, 49, 1, 0x10 + 16 * (p + 1), p == 0 ? 11 : 0, p == 0 ? 2 : 0);
    }
    song(m, {0, 1, 2});
    start();
    EXPECT_EQ(tick(), 250);   // order 0 at volume 16
    EXPECT_EQ(tick(), 750);   // order 2 at volume 48
    EXPECT_EQ(st.playing, 0);

    // A pattern that jumps to itself: without the loop flag the song ends;
    // with it, it plays on and every call returns.
    cell(m, 0, 0, 0, 49, 1, 0x30, 11, 0);
    song(m, {0});
    start();
    render(5000);
    EXPECT_EQ(st.playing, 0);
    start(1);
    std::vector<int16_t> out = render(20000);
    EXPECT_EQ(out[19999], 500);
    EXPECT_EQ(st.playing, 1);

    // A jump back from the middle of the song plays on even unlooped.
    song(m, {0, 1});
    start();
    out = render(20000);
    EXPECT_EQ(st.playing, 1);
    EXPECT_EQ(out[19999], 500);
}

TEST_F(Player, OddModulesPlayWithoutHarm) {
    // BPM and tempo 0, a song of length 0, an order naming a missing
    // pattern, an instrument number past the list, a note with no sample.
    m = module(2, 0, 0);
    add_instrument(m, {constant_sample(3000)});
    m->instruments[0].note_sample[59] = 5;
    add_pattern(m, 2);
    cell(m, 0, 0, 0, 49, 9);
    cell(m, 0, 0, 1, 60, 1);
    song(m, {});
    start(1);
    EXPECT_EQ(st.samples_per_tick, 55125);
    EXPECT_EQ(st.ticks_per_row, 1);
    EXPECT_EQ(render(100), std::vector<int16_t>(100, 0));
    EXPECT_EQ(st.playing, 0);
    song(m, {7, 0});
    start(1);
    std::vector<int16_t> out = render(64 * 55125 + 10);   // the missing pattern: 64 empty rows
    EXPECT_EQ(out[64 * 55125 + 5], 0);
    EXPECT_EQ(st.order, 1);
    EXPECT_EQ(st.playing, 1);
    for (const xm_channel &ch : st.channels) EXPECT_EQ(ch.sample, nullptr);
}

TEST_F(Player, SampleLoopsStayInsideTheSample) {
    // A ramp of 100 samples: played forward, looping forward over the
    // second half, and ping-pong over it.
    SampleRecipe ramp;
    for (int i = 0; i < 100; i++) ramp.data.push_back(int16_t(i * 300));
    for (int loop_type : {0, 1, 2}) {
        SCOPED_TRACE(loop_type);
        tamu_destroy_xm(m);
        m = module(1, 6);
        SampleRecipe s = ramp;
        s.loop_type = loop_type;
        s.loop_start = 50;
        s.loop_length = 50;
        add_instrument(m, {s});
        add_pattern(m, 64);
        cell(m, 0, 0, 0, 49 + 12, 1);   // about 0.75 samples a step
        song(m, {0});
        start();
        std::vector<int16_t> out = render(3000);
        int rises = 0, falls = 0;
        for (int i = 1; i < 3000; i++) {
            rises += out[size_t(i)] > out[size_t(i) - 1];
            falls += out[size_t(i)] < out[size_t(i) - 1] - 100;   // more than a step of the interpolation
        }
        if (loop_type == 0) {
            // Played once: silent after some 130 samples.
            EXPECT_EQ(out[200], 0);
            EXPECT_EQ(st.channels[0].sample, nullptr);
        } else {
            for (int i = 200; i < 3000; i++) {
                ASSERT_GE(out[size_t(i)], 50 * 300 / 3 - 1) << i;
                ASSERT_LE(out[size_t(i)], 99 * 300 / 3 + 1) << i;
            }
            EXPECT_GT(rises, 1000);
            if (loop_type == 1) {
                EXPECT_GT(falls, 20);   // jumps back to the loop start
            } else {
                EXPECT_EQ(falls, 0);    // turns round instead
            }
        }
    }
}

TEST_F(Player, WholeModuleIntoASound) {
    m = module(1, 2, 125);
    add_instrument(m, {constant_sample(3000)});
    add_pattern(m, 4);
    cell(m, 0, 0, 0, 49, 1);
    cell(m, 0, 2, 0, XM_NOTE_OFF, 0);
    song(m, {0});
    int live = tamu_items_created;
    csound *sound = tamu_create_sound(5000, 16);
    std::memset(sound->data, 0x55, 10000);
    tamu_mix_xm(m, sound);
    const auto *d = static_cast<const int16_t *>(sound->data);
    for (int i = 0; i < 5000; i++) ASSERT_EQ(d[i], i < 4 * 441 ? 1000 : 0) << i;
    tamu_destroy_sound(sound);
    EXPECT_EQ(tamu_items_created, live);
}

// ---------------------------------------------------------------------------
// Music objects and the mixer

int test_now = 0;
int test_clock() { return test_now; }

class Music : public SoundTest {
  protected:
    cmusic *music = nullptr;
    void SetUp() override {
        SoundTest::SetUp();
        tamu_music_clock = test_clock;
        test_now = 1000;
        music = tamu_create_music();
        xm_module *m = module(1, 2, 125);
        add_instrument(m, {constant_sample(3000)});
        add_pattern(m, 4);
        cell(m, 0, 0, 0, 49, 1);
        song(m, {0});
        music->module = m;
    }
    void TearDown() override {
        tamu_destroy_music(music);
        tamu_current_music = nullptr;
        tamu_music_clock = tamu_get_time;
        SoundTest::TearDown();
    }
};

TEST_F(Music, PlaysThroughTheMixerWithTheFadeAndMusicVolume) {
    struct {
        uint32_t fade;
        int music_volume, sound_volume;
        int16_t out;
    } cases[] = {
        {0x10000, 256, 256, 1000}, {0x10000, 128, 256, 500}, {0x8000, 256, 256, 500},
        {0x10000, 256, 0, 1000},   {0x10000, 0, 256, 0},     {0x4000, 128, 256, 125},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.out);
        fresh();
        cmusic_play(music, 0, 0, 1);
        EXPECT_EQ(tamu_get_current_music(), music);
        EXPECT_EQ(ps0.module, music->module);
        EXPECT_EQ(fade_vol, 0x10000u);
        fade_vol = c.fade;
        cconfig.music_volume = c.music_volume;
        cconfig.sound_volume = c.sound_volume;
        EXPECT_EQ(callback(100), std::vector<int16_t>(100, c.out));
    }
    cconfig.music_volume = 256;
    cconfig.sound_volume = 256;

    // At fade 0 the module neither sounds nor moves on.
    cmusic_play(music, 0, 0, 1);
    fade_vol = 0;
    callback(1000);
    EXPECT_EQ(ps0.samples_left, 0);
    EXPECT_EQ(ps0.tick, 0);
}

TEST_F(Music, FadesInFromTheCurrentVolumeAndStops) {
    fade_vol = 0;
    cmusic_play(music, 1000, 0, 1);
    EXPECT_EQ(fade_vol, 0u);
    EXPECT_EQ(ps0.playing, 1);
    EXPECT_EQ(tamu_music_get_fading_state(), 1);
    test_now = 1500;
    tamu_update_music_fading();
    EXPECT_EQ(fade_vol, 0x8000u);
    EXPECT_EQ(tamu_music_is_playing(), 1);
    test_now = 2000;
    tamu_update_music_fading();
    EXPECT_EQ(fade_vol, 0x10000u);

    // Starting again from half volume fades from there.
    fade_vol = 0x8000;
    cmusic_play(music, 1000, 0, 1);
    test_now = 2500;
    tamu_update_music_fading();
    EXPECT_EQ(fade_vol, 0xC000u);

    cmusic_stop(music, 0);
    EXPECT_EQ(ps0.playing, 0);
    EXPECT_EQ(tamu_music_is_playing(), 0);
    EXPECT_EQ(callback(50), std::vector<int16_t>(50, 0));
}

TEST_F(Music, StartOrderIsClampedToTheSong) {
    add_pattern(music->module, 1);
    song(music->module, {0, 1});
    for (auto [asked, order] : std::vector<std::pair<int, int>>{{1, 1}, {-3, 0}, {9, 1}}) {
        cmusic_play(music, 0, asked, 0);
        EXPECT_EQ(ps0.order, order) << asked;
        EXPECT_EQ(ps0.loop, 0);
    }
    cmusic *none = tamu_create_music();
    cmusic_play(none, 0, 0, 1);   // no module: nothing changes
    EXPECT_EQ(tamu_get_current_music(), music);
    tamu_destroy_music(none);
    cmusic_play(nullptr, 0, 0, 1);
}

TEST_F(Music, DisablingLoadingAndDestroyingStopThePlayer) {
    cmusic_play(music, 0, 0, 1);
    cmusic *other = tamu_create_music();
    disable_music(other);   // not the current music: nothing
    EXPECT_EQ(ps0.playing, 1);
    disable_music(nullptr);
    EXPECT_EQ(ps0.playing, 0);
    EXPECT_EQ(ps0.module, nullptr);

    // A failed load keeps the module and the player going.
    cmusic_play(music, 0, 0, 1);
    xm_module *old = music->module;
    LogCapture log;
    EXPECT_EQ(cmusic_load(music, "not a module", 12), 1);
    EXPECT_EQ(music->module, old);
    EXPECT_EQ(ps0.playing, 1);
    // A good one replaces it, stopping the player first.
    std::string bytes = save(old);
    EXPECT_EQ(cmusic_load(music, bytes.data(), int(bytes.size())), 0);
    EXPECT_NE(music->module, old);
    EXPECT_EQ(ps0.playing, 0);
    EXPECT_EQ(ps0.module, nullptr);
    cfile *f = tamu_fopen_memory(bytes.data(), int(bytes.size()));
    EXPECT_EQ(cmusic_load_from_file(other, f), 0);
    tamu_fclose(f);
    ASSERT_NE(other->module, nullptr);
    EXPECT_EQ(cmusic_load_from_file(other, nullptr), 1);

    // Destroying the current music stops the player before the module goes.
    cmusic_play(other, 0, 0, 1);
    tamu_destroy_music(other);
    EXPECT_EQ(ps0.playing, 0);
    EXPECT_EQ(ps0.module, nullptr);
    EXPECT_EQ(tamu_get_current_music(), nullptr);
    EXPECT_EQ(callback(100), std::vector<int16_t>(100, 0));
}

}  // namespace
