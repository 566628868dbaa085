// Sample sounds and synthesisers in pod files, through the item hooks the
// sound library gives the engine: round trips, the chunk layout, corrupt
// chunks that fail the pod whole, and pods without the hooks.
#include "sound_fixture.h"
#include "tamu_synth.h"
#include "pod_test_util.h"

#include <string>

namespace {

std::string pod_bytes(cpod *pod) {
    cbuffer *out = tamu_create_buffer(0);
    EXPECT_EQ(tamu_save_pod_file("t", pod, out), 0);
    std::string s(reinterpret_cast<char *>(out->data), size_t(out->size));
    tamu_destroy_buffer(out);
    return s;
}

cpod *load_bytes(const std::string &s) {
    cfile *f = tamu_fopen_memory(s.data(), int(s.size()));
    cpod *pod = tamu_load_pod_file("t", f);
    tamu_fclose(f);
    return pod;
}

class SoundPod : public SoundTest {
  protected:
    int live = 0;
    void SetUp() override {
        SoundTest::SetUp();
        cconfig.pod_lz4 = TAMU_POD_STORE;
        tamu_sound_install_pod_hooks();
        live = tamu_items_created;
    }
    void TearDown() override {
        EXPECT_EQ(tamu_items_created, live);
        SoundTest::TearDown();
    }

    static csound *sound(int samples, int bits, int first) {
        csound *s = tamu_create_sound(samples, bits);
        auto *bytes = static_cast<uint8_t *>(s->data);
        for (int i = 0; i < samples * bits / 8; i++) bytes[i] = uint8_t(first + i);
        s->frequency = 11025;
        s->reserved = 7;
        return s;
    }
    static csynth *synth() {
        csynth *s = tamu_create_synth(100);
        s->seed = 1234;
        for (int k = 0; k < 3; k++) {
            synth_node &n = s->nodes[k];
            n.kind = k == 2 ? SYNTH_FILTER : SYNTH_GENERATOR;
            n.sub_kind = k == 2 ? SYNTH_MIX : SYNTH_TABLE_WAVE;
            n.flag = k;
            for (int j = 0; j < SYNTH_SLOTS; j++) n.p[j] = synth_param{0x1000 * (k + j), -j, (k + j) % 40, j % 3};
            for (int j = 0; j < SYNTH_TABLE; j++) n.table[j] = int8_t(j * (k + 1) - 60);
            n.table_length = 10 * k;
        }
        return s;
    }
    static void expect_same_sound(const csound *a, const csound *b) {
        EXPECT_EQ(a->samples, b->samples);
        EXPECT_EQ(a->bits, b->bits);
        EXPECT_EQ(a->frequency, b->frequency);
        EXPECT_EQ(a->reserved, b->reserved);
        EXPECT_EQ(b->channel, -1);
        size_t bytes = size_t(a->samples) * size_t(a->bits) / 8;
        if (bytes) {
            EXPECT_EQ(std::memcmp(a->data, b->data, bytes), 0);
        }
    }
    static void expect_same_synth(const csynth *a, const csynth *b) {
        EXPECT_EQ(a->length, b->length);
        EXPECT_EQ(a->seed, b->seed);
        EXPECT_EQ(b->output_sound, nullptr);
        for (int k = 0; k < SYNTH_NODES; k++) {
            SCOPED_TRACE(k);
            const synth_node &x = a->nodes[k], &y = b->nodes[k];
            EXPECT_EQ(x.kind, y.kind);
            EXPECT_EQ(x.sub_kind, y.sub_kind);
            EXPECT_EQ(x.flag, y.flag);
            for (int j = 0; j < SYNTH_SLOTS; j++) {
                EXPECT_EQ(x.p[j].base, y.p[j].base);
                EXPECT_EQ(x.p[j].current, y.p[j].current);
                EXPECT_EQ(x.p[j].source, y.p[j].source);
                EXPECT_EQ(x.p[j].mode, y.p[j].mode);
            }
            EXPECT_EQ(std::memcmp(x.table, y.table, SYNTH_TABLE), 0);
            EXPECT_EQ(x.table_length, y.table_length);
            EXPECT_EQ(y.buffer, nullptr);
        }
    }
};

TEST_F(SoundPod, SoundsAndSynthesisersRoundTrip) {
    cpod *pod = tamu_create_pod(0);
    csound *wide = sound(5, 16, 1), *narrow = sound(3, 8, 100), *empty = sound(0, 16, 0);
    csynth *syn = synth();
    cpod_add_item(pod, CPOD_ITEM_SOUND, wide);
    cpod_add_item(pod, CPOD_ITEM_SYNTH, syn);
    cpod_add_item(pod, CPOD_ITEM_PALETTE, tamu_create_palette());
    cpod_add_item(pod, CPOD_ITEM_SOUND, narrow);
    cpod_add_item(pod, CPOD_ITEM_SOUND, empty);
    std::string s = pod_bytes(pod);

    // The sound chunk: id, samples x bits / 8 + 24, six words, the data.
    const size_t csnd = 76;
    EXPECT_EQ(s.substr(csnd, 4), "CSND");
    EXPECT_EQ(u32_at(s, csnd + 4), 34u);
    const uint32_t words[] = {5, 16, 11025, 7, 0, 0};
    for (int i = 0; i < 6; i++) EXPECT_EQ(u32_at(s, csnd + 8 + 4 * size_t(i)), words[i]) << i;
    EXPECT_EQ(s.substr(csnd + 32, 10), "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a");
    // The synthesiser chunk: size 0, five words, three node records of 208
    // bytes (nodes past the last used one are not written).
    const size_t csyn = csnd + 42;
    EXPECT_EQ(s.substr(csyn, 4), "CSYN");
    EXPECT_EQ(u32_at(s, csyn + 4), 0u);
    const uint32_t synth_words[] = {400, 1234, 1, 0, 3};
    for (int i = 0; i < 5; i++) EXPECT_EQ(u32_at(s, csyn + 8 + 4 * size_t(i)), synth_words[i]) << i;
    EXPECT_EQ(s.substr(csyn + 28 + 3 * 208, 4), "CPAL");

    for (bool on_disk : {false, true}) {
        SCOPED_TRACE(on_disk);
        cpod *back;
        if (on_disk) {
            std::string path = test_home() + "/sounds.pod";
            ASSERT_EQ(tamu_save_pod(path.c_str(), pod), 0);
            back = tamu_load_pod(path.c_str());
        } else {
            back = load_bytes(s);
        }
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->count, 5);
        const uint32_t types[] = {CPOD_ITEM_SOUND, CPOD_ITEM_SYNTH, CPOD_ITEM_PALETTE, CPOD_ITEM_SOUND,
                                  CPOD_ITEM_SOUND};
        for (int i = 0; i < 5; i++) EXPECT_EQ(back->types[i], types[i]) << i;
        expect_same_sound(wide, static_cast<csound *>(back->items[0]));
        expect_same_synth(syn, static_cast<csynth *>(back->items[1]));
        expect_same_sound(narrow, static_cast<csound *>(back->items[3]));
        expect_same_sound(empty, static_cast<csound *>(back->items[4]));
        // What was read writes the same bytes again.
        EXPECT_EQ(pod_bytes(back), s);
        tamu_destroy_pod(back);
    }
    tamu_destroy_pod(pod);
}

TEST_F(SoundPod, SynthesiserChunksReadByContent) {
    struct {
        const char *what;
        int format, count;
        int32_t stored_length, length;
    } cases[] = {
        {"current format", 1, 2, 400, 400},
        {"first format: the length halved", 0, 2, 400, 200},
        {"no nodes", 1, 0, 88, 88},
        {"a negative count is no nodes", 1, -5, 88, 88},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b;
        b.header().chunk("CSYN", 0).u32(uint32_t(c.stored_length)).u32(99).u32(uint32_t(c.format)).u32(0);
        b.u32(uint32_t(c.count));
        for (int k = 0; k < c.count; k++) b.node(SYNTH_GENERATOR, SYNTH_SQUARE, 64);
        b.palette();
        cpod *pod = load_bytes(b.s);
        ASSERT_NE(pod, nullptr);
        ASSERT_EQ(pod->count, 2);
        auto *s = static_cast<csynth *>(cpod_get_item(pod, 0, CPOD_ITEM_SYNTH));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->length, c.length);
        EXPECT_EQ(s->seed, 99);
        for (int k = 0; k < SYNTH_NODES; k++) {
            bool read = k < c.count;
            EXPECT_EQ(s->nodes[k].kind, read ? SYNTH_GENERATOR : SYNTH_EMPTY) << k;
            if (read) {
                EXPECT_EQ(s->nodes[k].p[5].base, 5);
                EXPECT_EQ(s->nodes[k].p[5].source, 32);
                EXPECT_EQ(s->nodes[k].table[63], 3);
                EXPECT_EQ(s->nodes[k].table_length, 64);
            }
        }
        EXPECT_EQ(cpod_get_item(pod, 1, CPOD_ITEM_PALETTE) != nullptr, true);
        tamu_destroy_pod(pod);
    }
}

TEST_F(SoundPod, CorruptChunksFailThePodWhole) {
    auto b = [] { return Bytes(); };
    struct {
        const char *what;
        std::string body;
        const char *log;
    } cases[] = {
        {"sound size mismatch", b().chunk("CSND", 40).u32(4).u32(16).fill(32).s, "size does not match the samples"},
        {"sound past the end", b().chunk("CSND", 1000).u32(4).u32(16).fill(16).s, "body runs past the end"},
        {"sound shorter than its header", b().chunk("CSND", 12).u32(0).u32(16).u32(0).s, "body runs past the end"},
        {"sound sample bytes overflow", b().chunk("CSND", 40).u32(0xFFFFFFFF).u32(0xFFFFFFFF).fill(32).s,
         "size does not match the samples"},
        {"negative samples", b().chunk("CSND", 24).u32(0xFFFFFFF8).u32(0).fill(16).s, "negative sample count"},
        {"negative bits", b().chunk("CSND", 24).u32(0).u32(0xFFFFFFF8).fill(16).s, "negative sample count"},
        {"synth header cut short", b().chunk("CSYN", 0).u32(4).u32(0).s, "header runs past the end"},
        {"synth with 33 nodes", b().chunk("CSYN", 0).u32(4).u32(0).u32(1).u32(0).u32(33).s, "more than 32 nodes"},
        {"negative synth length", b().chunk("CSYN", 0).u32(uint32_t(-4)).u32(0).u32(1).u32(0).u32(0).s,
         "length out of range"},
        {"synth length too large", b().chunk("CSYN", 0).u32(SYNTH_MAX_LENGTH + 4).u32(0).u32(1).u32(0).u32(0).s,
         "length out of range"},
        {"node records cut short", b().chunk("CSYN", 0).u32(400).u32(0).u32(1).u32(0).u32(2).node(1, 2).s,
         "node records run past the end"},
        {"node kind 3", b().chunk("CSYN", 0).u32(400).u32(0).u32(1).u32(0).u32(1).node(3, 1).s,
         "node kind out of range"},
        {"negative node kind", b().chunk("CSYN", 0).u32(400).u32(0).u32(1).u32(0).u32(1).node(-1, 1).s,
         "node kind out of range"},
        {"table of 65", b().chunk("CSYN", 0).u32(400).u32(0).u32(1).u32(0).u32(1).node(1, 5, 65).s,
         "node table length out of range"},
        {"negative table length", b().chunk("CSYN", 0).u32(400).u32(0).u32(1).u32(0).u32(1).node(1, 5, -1).s,
         "node table length out of range"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        int before = tamu_items_created;
        // After good items of both kinds, which must not leak either.
        Bytes good;
        good.header().chunk("CSND", 26).u32(1).u32(16).u32(22050).u32(0).u32(0).u32(0).raw("ab");
        good.chunk("CSYN", 0).u32(8).u32(0).u32(1).u32(0).u32(1).node(1, 2);
        LogCapture log;
        EXPECT_EQ(load_bytes(good.s + c.body), nullptr);
        std::string text = log.text();
        EXPECT_NE(text.find("tamu_load_pod_file: corrupt pod: "), std::string::npos) << text;
        EXPECT_NE(text.find(c.log), std::string::npos) << text;
        EXPECT_EQ(tamu_items_created, before);
    }
}

TEST_F(SoundPod, EveryCutOfAGoodPodFailsOrLoadsWithoutLeaking) {
    cpod *pod = tamu_create_pod(0);
    cpod_add_item(pod, CPOD_ITEM_SOUND, sound(6, 16, 9));
    cpod_add_item(pod, CPOD_ITEM_SYNTH, synth());
    std::string s = pod_bytes(pod);
    tamu_destroy_pod(pod);
    for (size_t n = 0; n < s.size(); n++) {
        int before = tamu_items_created;
        cpod *p = load_bytes(s.substr(0, n));
        // A cut right after the sound leaves a pod of that one item.
        if (p) {
            EXPECT_EQ(n, 76u + 8 + 24 + 12) << n;
            EXPECT_EQ(p->count, 1);
        }
        tamu_destroy_pod(p);
        ASSERT_EQ(tamu_items_created, before) << n;
    }
}

TEST_F(SoundPod, WithoutTheHooksTheChunksAreReadPast) {
    cpod *pod = tamu_create_pod(0);
    cpod_add_item(pod, CPOD_ITEM_SOUND, sound(4, 16, 1));
    cpod_add_item(pod, CPOD_ITEM_PALETTE, tamu_create_palette());
    std::string s = pod_bytes(pod);
    tamu_destroy_pod(pod);
    std::string no_nodes = Bytes().chunk("CSYN", 0).u32(40).u32(0).u32(1).u32(0).u32(0).s;
    s += no_nodes;

    tamu_set_pod_item_hooks(CPOD_ITEM_SOUND, nullptr);
    tamu_set_pod_item_hooks(CPOD_ITEM_SYNTH, nullptr);
    EXPECT_EQ(tamu_get_pod_item_hooks(CPOD_ITEM_SOUND), nullptr);
    LogCapture log;
    cpod *back = load_bytes(s);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->count, 1);
    EXPECT_EQ(back->types[0], CPOD_ITEM_PALETTE);
    EXPECT_NE(log.text().find("skipped CSND chunk"), std::string::npos);
    tamu_destroy_pod(back);

    // A sound added by hand is not written and not destroyed.
    csound *loose = sound(2, 16, 1);
    pod = tamu_create_pod(0);
    cpod_add_item(pod, CPOD_ITEM_SOUND, loose);
    cpod_add_item(pod, CPOD_ITEM_PALETTE, tamu_create_palette());
    EXPECT_EQ(pod_bytes(pod).substr(76, 4), "CPAL");
    tamu_destroy_pod(pod);
    EXPECT_NE(log.text().find("no destroyer for item type 9"), std::string::npos);
    tamu_destroy_sound(loose);

    // Only the two kinds take hooks.
    tamu_pod_item_hooks any = {[](cfile *, uint32_t, int64_t, const char **) -> void * { return nullptr; },
                               [](cfile *, const void *) { return 0; }, [](void *) {}};
    tamu_set_pod_item_hooks(CPOD_ITEM_BITMAP, &any);
    EXPECT_EQ(tamu_get_pod_item_hooks(CPOD_ITEM_BITMAP), nullptr);
    tamu_sound_install_pod_hooks();
    EXPECT_NE(tamu_get_pod_item_hooks(CPOD_ITEM_SOUND), nullptr);
    EXPECT_NE(tamu_get_pod_item_hooks(CPOD_ITEM_SYNTH), nullptr);
}

TEST_F(SoundPod, SoundStartUpInstallsTheHooks) {
    tamu_set_pod_item_hooks(CPOD_ITEM_SOUND, nullptr);
    tamu_set_pod_item_hooks(CPOD_ITEM_SYNTH, nullptr);
    tamu_hooks = tamu_upper_hooks{};
    EXPECT_EQ(tamu_sound_init(0), 1);
    EXPECT_NE(tamu_get_pod_item_hooks(CPOD_ITEM_SOUND), nullptr);
    EXPECT_NE(tamu_get_pod_item_hooks(CPOD_ITEM_SYNTH), nullptr);
    tamu_hooks = tamu_upper_hooks{};
    zorva_cart_hooks.stop_sound = nullptr;
}

TEST_F(SoundPod, DestroyingAPodStopsItsPlayingSound) {
    cconfig.console_sound_mode = 0;
    tamu_state.mixer_running = 1;
    cpod *pod = tamu_create_pod(0);
    csound *s = sound(4000, 16, 0);
    cpod_add_item(pod, CPOD_ITEM_SOUND, s);
    tamu_play_sound(s);
    ASSERT_EQ(ms0[0].sound, s);
    tamu_destroy_pod(pod);
    EXPECT_EQ(ms0[0].sound, nullptr);
    EXPECT_EQ(callback(50), std::vector<int16_t>(50, 0));
}

}  // namespace
