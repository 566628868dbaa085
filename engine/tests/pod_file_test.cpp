// Pod files: writing and reading pods chunk by chunk, compressed items,
// nested pods, pod sets, the golden fixture, and corrupt pods that must
// fail whole without leaking.
#include "tamu.h"
#include "pod_test_util.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

namespace {

cfile *memory_file(const std::string &content, const char *name = "") {
    cbuffer *b = tamu_create_buffer(0);
    cbuffer_add_data(b, content.data(), int(content.size()));
    b->position = 0;
    std::strncpy(b->name, name, sizeof b->name - 1);
    return b;
}

std::string file_content(const cfile *f) { return std::string(reinterpret_cast<char *>(f->data), size_t(f->size)); }

std::string pixels_of(const cbitmap *b) {
    std::string out;
    for (int y = 0; y < b->height; y++) out.append(reinterpret_cast<char *>(b->rows[y]), size_t(b->width * b->bpp / 8));
    return out;
}

// The pod's file as bytes.
std::string pod_bytes(cpod *pod) {
    cbuffer *b = tamu_create_buffer(0);
    EXPECT_EQ(tamu_save_pod_file("x", pod, b), 0);
    std::string out = file_content(b);
    tamu_destroy_buffer(b);
    return out;
}

cpod *load_bytes(const std::string &bytes) {
    cfile *f = tamu_fopen_memory(bytes.data(), int(bytes.size()));
    cpod *pod = tamu_load_pod_file("x", f);
    tamu_fclose(f);
    return pod;
}

// The fixture of the golden file: a palette, an 8-bit 3 x 2 bitmap, a
// 32-bit 2 x 1 bitmap and a memory file.
cpod *make_fixture() {
    cpod *pod = tamu_create_pod(0);
    std::strcpy(pod->name, "fixture");
    cpalette *palette = tamu_create_palette();
    for (int i = 0; i < 256; i++) {
        palette->rgb[3 * i] = uint8_t(i);
        palette->rgb[3 * i + 1] = uint8_t(255 - i);
        palette->rgb[3 * i + 2] = uint8_t(i * 3);
    }
    cpod_add_item(pod, CPOD_ITEM_PALETTE, palette);
    cbitmap *b8 = tamu_create_bitmap(3, 2, 8);
    for (int i = 0; i < 6; i++) b8->pixels[i] = uint8_t(i + 1);
    cpod_add_item(pod, CPOD_ITEM_BITMAP, b8);
    cbitmap *b32 = tamu_create_bitmap(2, 1, 32);
    reinterpret_cast<uint32_t *>(b32->rows[0])[0] = 0xFF112233;
    reinterpret_cast<uint32_t *>(b32->rows[0])[1] = 0x80445566;
    cpod_add_item(pod, CPOD_ITEM_BITMAP, b32);
    cpod_add_item(pod, CPOD_ITEM_FILE, memory_file("hello pod\n", "hello.txt"));
    return pod;
}

// Items of two pods compare equal slot by slot.
void expect_same_items(cpod *a, cpod *b) {
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(a->count, b->count);
    for (int i = 0; i < a->count; i++) {
        SCOPED_TRACE(i);
        ASSERT_EQ(a->types[i], b->types[i]);
        void *x = a->items[i], *y = b->items[i];
        switch (a->types[i]) {
        case CPOD_ITEM_PALETTE:
            EXPECT_EQ(std::memcmp(static_cast<cpalette *>(x)->rgb, static_cast<cpalette *>(y)->rgb, 768), 0);
            break;
        case CPOD_ITEM_BITMAP: {
            auto *p = static_cast<cbitmap *>(x), *q = static_cast<cbitmap *>(y);
            EXPECT_EQ(p->width, q->width);
            EXPECT_EQ(p->height, q->height);
            EXPECT_EQ(p->bpp, q->bpp);
            EXPECT_EQ(pixels_of(p), pixels_of(q));
            break;
        }
        case CPOD_ITEM_FILE: {
            auto *p = static_cast<cfile *>(x), *q = static_cast<cfile *>(y);
            EXPECT_STREQ(p->name, q->name);
            EXPECT_EQ(file_content(p), file_content(q));
            EXPECT_EQ(q->position, 0);
            break;
        }
        }
    }
}

std::string golden_path() { return std::string(ZORVA_SOURCE_DIR) + "/engine/tests/data/fixture.pod"; }

// ---------------------------------------------------------------------------

TEST(PodFile, GoldenFileIsWrittenByteForByteAndReadBackEqual) {
    int live = tamu_items_created;
    cconfig.pod_lz4 = TAMU_POD_STORE;
    cpod *pod = make_fixture();
    std::string path = test_home() + "/fixture.pod";
    ASSERT_EQ(tamu_save_pod(path.c_str(), pod), 0);
    std::string golden = read_file(golden_path());
    ASSERT_EQ(golden.size(), 1008u);
    EXPECT_TRUE(read_file(path) == golden) << "the written pod differs from " << golden_path();

    cpod *loaded = tamu_load_pod(golden_path().c_str());
    EXPECT_STREQ(loaded->name, "fixture");
    expect_same_items(pod, loaded);
    tamu_destroy_pod(loaded);
    tamu_destroy_pod(pod);
    EXPECT_EQ(tamu_items_created, live);
}

TEST(PodFile, ChunkSizesFollowTheItems) {
    cconfig.pod_lz4 = TAMU_POD_STORE;
    cpod *pod = make_fixture();
    std::string s = pod_bytes(pod);
    tamu_destroy_pod(pod);
    EXPECT_EQ(s.substr(0, 4), "CPOD");
    EXPECT_EQ(u32_at(s, 4), 68u);
    EXPECT_EQ(u32_at(s, 44), 4u);   // the item count
    EXPECT_EQ(s.substr(76, 4), "CPAL");
    EXPECT_EQ(u32_at(s, 80), 768u);
    EXPECT_EQ(s.substr(852, 4), "CBMP");
    EXPECT_EQ(u32_at(s, 856), 26u);
}

// Every packing writes its own chunk ids and reads back the same items.
TEST(PodFile, CompressedItemsRoundTrip) {
    struct Case {
        int setting;
        char letter;
    };
    for (Case c : {Case{TAMU_POD_STORE, 'C'}, Case{TAMU_POD_LZ4, 'c'}, Case{TAMU_POD_ZLIB, 'z'}}) {
        SCOPED_TRACE(c.letter);
        int live = tamu_items_created;
        cconfig.pod_lz4 = c.setting;
        cpod *pod = make_fixture();
        // Something worth compressing, and an empty file.
        cbitmap *big = tamu_create_bitmap(64, 48, 32);
        for (int i = 0; i < 64 * 48 * 4; i++) big->pixels[i] = uint8_t(i % 7);
        cpod_add_item(pod, CPOD_ITEM_BITMAP, big);
        cpod_add_item(pod, CPOD_ITEM_FILE, memory_file(std::string(5000, 'q') + "end", "long"));
        cpod_add_item(pod, CPOD_ITEM_FILE, memory_file("", "empty"));
        std::string s = pod_bytes(pod);
        EXPECT_NE(s.find(std::string(1, c.letter) + "BMP"), std::string::npos);
        EXPECT_NE(s.find(std::string(1, c.letter) + "FIL"), std::string::npos);
        EXPECT_NE(s.find("CPAL"), std::string::npos);   // palettes are never packed
        if (c.setting != TAMU_POD_STORE) {
            EXPECT_LT(s.size(), 64u * 48 * 4);
        }
        cconfig.pod_lz4 = TAMU_POD_STORE;   // the reader takes every form whatever the setting
        cpod *loaded = load_bytes(s);
        expect_same_items(pod, loaded);
        tamu_destroy_pod(loaded);
        tamu_destroy_pod(pod);
        EXPECT_EQ(tamu_items_created, live);
    }
}

TEST(PodFile, NestedPodTravelsAsAMemoryFile) {
    int live = tamu_items_created;
    cconfig.pod_lz4 = TAMU_POD_LZ4;
    cpod *inner = make_fixture();
    cbuffer *inner_file = tamu_create_buffer(0);
    ASSERT_EQ(tamu_save_pod_file("inner", inner, inner_file), 0);
    cpod *outer = tamu_create_pod(0);
    cpod_add_item(outer, CPOD_ITEM_FILE, memory_file("first"));
    cpod_add_item(outer, CPOD_ITEM_FILE, inner_file);
    cpod_add_item(outer, CPOD_ITEM_POD, tamu_create_pod(0));   // a pod item itself is not written
    std::string path = test_home() + "/outer.pod";
    ASSERT_EQ(tamu_save_pod(path.c_str(), outer), 0);

    cpod *loaded = tamu_load_pod(path.c_str());
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->count, 2);
    auto *f = static_cast<cfile *>(cpod_get_item(loaded, 1, CPOD_ITEM_FILE));
    ASSERT_NE(f, nullptr);
    cpod *nested = tamu_load_pod_file("nested", f);
    EXPECT_STREQ(nested->name, "fixture");
    expect_same_items(inner, nested);
    for (cpod *p : {nested, loaded, outer, inner}) tamu_destroy_pod(p);
    cconfig.pod_lz4 = TAMU_POD_STORE;
    EXPECT_EQ(tamu_items_created, live);
}

TEST(PodFile, PodNameIsAlwaysTerminated) {
    std::string s = Bytes().chunk("CPOD", 68).u32(1).fill(32, 'N').u32(0).fill(28).bitmap8(1, 1).s;
    cpod *pod = load_bytes(s);
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(std::string(pod->name), std::string(31, 'N'));
    tamu_destroy_pod(pod);

    Bytes b;
    b.header().chunk("CFIL", 0).u32(2).fill(64, 'n').raw("hi");
    pod = load_bytes(b.s);
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(std::string(static_cast<cfile *>(pod->items[0])->name), std::string(63, 'n'));
    tamu_destroy_pod(pod);
}

TEST(PodFile, WhatIsNotAPodLoadsAsNull) {
    LogCapture log;
    EXPECT_EQ(load_bytes(""), nullptr);
    EXPECT_EQ(load_bytes(Bytes().chunk("CBMP", 0).s), nullptr);
    EXPECT_EQ(load_bytes(Bytes().header().s), nullptr);                  // no items
    EXPECT_EQ(load_bytes(Bytes().header().chunk("ABCD", 0).s), nullptr);  // still no items
    EXPECT_EQ(load_bytes(Bytes().chunk("CNOP", 0).s), nullptr);
    EXPECT_EQ(tamu_load_pod_file("x", nullptr), nullptr);
    EXPECT_EQ(tamu_load_pod((test_home() + "/missing.pod").c_str()), nullptr);
    EXPECT_NE(log.text().find("tamu_load_pod: " + test_home() + "/missing.pod failed \n"), std::string::npos);
}

TEST(PodFile, ReadingStopsAtTheEndMarkerAndAtTheNextPod) {
    std::string zero_end = Bytes().header().bitmap8(1, 1).u32(0).u32(0).bitmap8(2, 2).s;
    cpod *pod = load_bytes(zero_end);
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(pod->count, 1);
    tamu_destroy_pod(pod);

    std::string two = Bytes().header("a").bitmap8(1, 1).header("b").bitmap8(2, 1).s;
    cfile *f = tamu_fopen_memory(two.data(), int(two.size()));
    cpod *a = tamu_load_pod_file("x", f);
    cpod *b = tamu_load_pod_file("x", f);
    EXPECT_EQ(tamu_load_pod_file("x", f), nullptr);
    tamu_fclose(f);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(a->name, "a");
    EXPECT_STREQ(b->name, "b");
    EXPECT_EQ(static_cast<cbitmap *>(b->items[0])->width, 2);
    tamu_destroy_pod(a);
    tamu_destroy_pod(b);
}

TEST(PodFile, UnknownChunksAreSkippedOrGivenToTheLoadHook) {
    std::string s = Bytes().header().bitmap8(2, 1, 10).chunk("ABCD", 5).raw("12345").bitmap8(1, 2, 20).s;
    {
        LogCapture log;
        cpod *pod = load_bytes(s);
        ASSERT_NE(pod, nullptr);
        ASSERT_EQ(pod->count, 2);
        EXPECT_EQ(pixels_of(static_cast<cbitmap *>(pod->items[1])), "\x14\x15");
        tamu_destroy_pod(pod);
        EXPECT_NE(log.text().find("tamu_load_pod_file: Unknown Chunk!\n"), std::string::npos);
    }
    // The hook reads the body as an item of its own.
    tamu_set_load_item_func([](cfile *file, cpod *pod, uint32_t id) {
        if (id != tamu_chunk_id("ABCD")) return 1;
        char *text = static_cast<char *>(tamu_malloc(6));
        tamu_fread(text, 1, 5, file);
        text[5] = 0;
        cpod_add_item(pod, CPOD_ITEM_MEMORY, text);
        return 0;
    });
    cpod *pod = load_bytes(s);
    tamu_set_load_item_func(nullptr);
    ASSERT_NE(pod, nullptr);
    ASSERT_EQ(pod->count, 3);
    EXPECT_STREQ(static_cast<char *>(cpod_get_item(pod, 1, CPOD_ITEM_MEMORY)), "12345");
    tamu_destroy_pod(pod);
}

TEST(PodFile, SaveHookWritesApplicationItems) {
    cconfig.pod_lz4 = TAMU_POD_STORE;
    tamu_set_save_item_func([](cfile *file, cpod *pod, int slot) {
        EXPECT_EQ(pod->types[slot], 123u);
        tamu_fwrite("ABCD", 1, 4, file);
        tamu_fwrite_uint32(file, 3);
        tamu_fwrite(pod->items[slot], 1, 3, file);
    });
    cpod *pod = tamu_create_pod(0);
    char word[] = "xyz";
    cpod_add_item(pod, 123, word);
    cpod_add_item(pod, CPOD_ITEM_PALETTE, tamu_create_palette());
    std::string s = pod_bytes(pod);
    tamu_set_save_item_func(nullptr);
    tamu_destroy_pod(pod);
    EXPECT_EQ(s.substr(76, 11), std::string("ABCD\x03\0\0\0xyz", 11));
    EXPECT_EQ(s.substr(87, 4), "CPAL");
}

// Chunks of item kinds the engine does not build yet are read past, by the
// size less what was read of them.
TEST(PodFile, ChunksOfUnbuiltKindsAreReadPast) {
    Bytes b;
    b.header().bitmap8(1, 1, 1);
    b.chunk("CSND", 4 * 2 + 24).u32(4).u32(16).u32(22050).u32(0).u32(0).u32(0).fill(8, 'S');
    b.chunk("CSYN", 0).u32(100).u32(0).u32(1).u32(0).u32(0);   // no nodes
    b.chunk("CSYN", 28).u32(100).u32(0).u32(1).u32(0).u32(1).fill(8, 'N');
    b.bitmap8(1, 1, 2);
    LogCapture log;
    cpod *pod = load_bytes(b.s);
    ASSERT_NE(pod, nullptr);
    ASSERT_EQ(pod->count, 2);
    EXPECT_EQ(pixels_of(static_cast<cbitmap *>(pod->items[1])), "\x02");
    tamu_destroy_pod(pod);
    EXPECT_NE(log.text().find("skipped CSND chunk"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Models, materials, animations and voxel maps

// A model of a bone, a triangle and a seven-sided polygon, with bone
// records.
cmodel *make_model() {
    cmodel *m = tamu_create_model();
    for (int i = 0; i < 4; i++) cmodel_new_vertex(m, float(i), float(i) * 0.5f, -float(i));
    cmodel_new_triangle(m, 0, 1, 2);
    int bone = cmodel_new_polygon(m, 2);
    m->polygons[bone].vertex[1] = 3;
    int big = cmodel_new_polygon(m, 7);
    for (int k = 0; k < 7; k++) {
        m->polygons[big].vertex[k] = uint32_t(k % 4);
        m->polygons[big].uv[k][0] = k * 0.25f;
        m->polygons[big].uv[k][1] = -k * 1.0f;
    }
    m->polygons[big].material = 5;
    m->polygons[big].flags = 0x8001;
    cmodel_calculate_normals(m);
    cmodel_calculate_bone_vertices(m);
    return m;
}

cmaterial *make_material() {
    cmaterial *m = tamu_create_material();
    std::strcpy(m->name, "steel");
    m->flags = 3;
    m->texture = 2;
    m->shininess = 0.75f;
    m->texture_offset[1] = -2.5f;
    return m;
}

// Two actors; the first with position keys, a bone channel and a command.
canim *make_anim() {
    canim *a = tamu_create_anim();
    canim_new_actor(a);
    canim_new_actor(a);
    cactor &actor = a->actors[0];
    actor.model = 0x123456789LL;
    canim_channel *position = actor.channel[CACTOR_POSITION];
    for (int32_t t : {0, 500, 250}) {
        int i = canim_channel_insert_state(position, t);
        float v[3] = {float(t), 1.0f, 2.0f};
        std::memcpy(position->states + 12 * i, v, 12);
    }
    position->flags[1] = 77;
    cactor_new_channel(&actor, 12);
    canim_channel_insert_state(actor.further[0], 100);
    cactor_new_channel(&actor, 5);   // further channels take any state size
    int c = canim_channel_insert_state(actor.commands, 40);
    std::memcpy(actor.commands->states + 24 * c, "command and its words..", 24);
    return a;
}

cvoxmap *make_voxmap() {
    cvoxmap *v = tamu_create_voxmap(5, 4, 3);
    tamu_line3d(v, 0, 0, 0, 4, 3, 2, 7);
    tamu_putvoxel(v, 4, 0, 2, 200);
    return v;
}

std::string channel_bytes(const canim_channel *c) {
    std::string s;
    s += std::to_string(c->state_size) + ":" + std::to_string(c->num_states) + ":";
    for (int i = 0; i < c->num_states; i++) s += std::to_string(c->times[i]) + "/" + std::to_string(c->flags[i]) + " ";
    s.append(reinterpret_cast<const char *>(c->states), size_t(c->num_states * c->state_size));
    return s;
}

void expect_same_model(const cmodel *a, const cmodel *b) {
    ASSERT_EQ(a->num_vertices, b->num_vertices);
    ASSERT_EQ(a->num_polygons, b->num_polygons);
    EXPECT_EQ(a->num_bones, b->num_bones);
    if (a->num_vertices > 0) {
        EXPECT_EQ(std::memcmp(a->vertices, b->vertices, sizeof(float[3]) * size_t(a->num_vertices)), 0);
    }
    for (int i = 0; i < a->num_polygons; i++) {
        const cpoly &p = a->polygons[i], &q = b->polygons[i];
        ASSERT_EQ(p.num_vertices, q.num_vertices) << i;
        EXPECT_EQ(std::memcmp(p.vertex, q.vertex, sizeof(uint32_t) * size_t(p.num_vertices)), 0) << i;
        EXPECT_EQ(std::memcmp(p.uv, q.uv, sizeof(float[2]) * size_t(p.num_vertices)), 0) << i;
        EXPECT_EQ(std::memcmp(p.normal, q.normal, sizeof p.normal), 0) << i;
        EXPECT_EQ(p.material, q.material);
        EXPECT_EQ(p.flags, q.flags);
        if (q.capacity == 4) {
            EXPECT_EQ(q.vertex, q.inline_vertex);
        }
    }
    ASSERT_EQ(a->bone_vertices != nullptr, b->bone_vertices != nullptr);
    for (int v = 0; a->bone_vertices && v < a->num_vertices; v++)
        EXPECT_EQ(std::memcmp(&a->bone_vertices[v], &b->bone_vertices[v], sizeof(cbone_vertex)), 0) << v;
}

void expect_same_anim(const canim *a, const canim *b) {
    ASSERT_EQ(a->num_actors, b->num_actors);
    for (int i = 0; i < a->num_actors; i++) {
        const cactor &x = a->actors[i], &y = b->actors[i];
        EXPECT_STREQ(x.name, y.name);
        EXPECT_EQ(x.model, y.model);
        EXPECT_EQ(x.material, y.material);
        for (int k = 0; k < 3; k++) EXPECT_EQ(channel_bytes(x.channel[k]), channel_bytes(y.channel[k]));
        ASSERT_EQ(x.num_further, y.num_further);
        for (int k = 0; k < x.num_further; k++) EXPECT_EQ(channel_bytes(x.further[k]), channel_bytes(y.further[k]));
        EXPECT_EQ(channel_bytes(x.commands), channel_bytes(y.commands));
    }
}

void expect_same_3d_items(cpod *a, cpod *b) {
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(a->count, b->count);
    for (int i = 0; i < a->count; i++) {
        ASSERT_EQ(a->types[i], b->types[i]);
        void *x = a->items[i], *y = b->items[i];
        switch (a->types[i]) {
        case CPOD_ITEM_MODEL: expect_same_model(static_cast<cmodel *>(x), static_cast<cmodel *>(y)); break;
        case CPOD_ITEM_ANIM: expect_same_anim(static_cast<canim *>(x), static_cast<canim *>(y)); break;
        case CPOD_ITEM_MATERIAL: EXPECT_EQ(std::memcmp(x, y, sizeof(cmaterial)), 0); break;
        case CPOD_ITEM_VOXMAP: {
            auto *p = static_cast<cvoxmap *>(x), *q = static_cast<cvoxmap *>(y);
            ASSERT_EQ(p->width, q->width);
            ASSERT_EQ(p->height, q->height);
            ASSERT_EQ(p->depth, q->depth);
            EXPECT_EQ(std::memcmp(p->voxels, q->voxels, size_t(p->width * p->height * p->depth)), 0);
            // The levels look at the loaded block.
            EXPECT_EQ(q->slices[q->depth - 1]->rows[0], q->voxels + q->width * q->height * (q->depth - 1));
            break;
        }
        }
    }
}

cpod *make_3d_pod() {
    cpod *pod = tamu_create_pod(0);
    cpod_add_item(pod, CPOD_ITEM_MODEL, make_model());
    cpod_add_item(pod, CPOD_ITEM_MATERIAL, make_material());
    cpod_add_item(pod, CPOD_ITEM_ANIM, make_anim());
    cpod_add_item(pod, CPOD_ITEM_VOXMAP, make_voxmap());
    cpod_add_item(pod, CPOD_ITEM_MODEL, tamu_create_model());   // empty records travel too
    cpod_add_item(pod, CPOD_ITEM_ANIM, tamu_create_anim());
    return pod;
}

TEST(PodFile, ThreeDimensionalRecordsRoundTrip) {
    for (int setting : {TAMU_POD_STORE, TAMU_POD_LZ4, TAMU_POD_ZLIB}) {
        SCOPED_TRACE(setting);
        int live = tamu_items_created;
        cconfig.pod_lz4 = setting;
        cpod *pod = make_3d_pod();
        std::string bytes = pod_bytes(pod);
        size_t voxels = bytes.find("VMP");   // the voxel map is packed as the setting says
        ASSERT_NE(voxels, std::string::npos);
        EXPECT_EQ(bytes[voxels - 1], setting == TAMU_POD_LZ4 ? 'c' : setting == TAMU_POD_ZLIB ? 'z' : 'C');
        cpod *loaded = load_bytes(bytes);
        expect_same_3d_items(pod, loaded);
        // And once more through a disk file.
        std::string path = test_home() + "/models.pod";
        ASSERT_EQ(tamu_save_pod(path.c_str(), loaded), 0);
        cpod *again = tamu_load_pod(path.c_str());
        expect_same_3d_items(pod, again);
        tamu_destroy_pod(again);
        tamu_destroy_pod(loaded);
        tamu_destroy_pod(pod);
        EXPECT_EQ(tamu_items_created, live);
    }
    cconfig.pod_lz4 = TAMU_POD_STORE;
}

// The bodies byte for byte, put together by hand.
TEST(PodFile, ThreeDimensionalChunksHaveAFixedLayout) {
    cconfig.pod_lz4 = TAMU_POD_STORE;
    auto f = [](float x) { return std::bit_cast<uint32_t>(x); };
    cpod *pod = tamu_create_pod(0);
    std::strcpy(pod->name, "3d");
    cmodel *model = tamu_create_model();
    cmodel_new_vertex(model, 1.0f, 2.0f, 3.0f);
    cmodel_new_triangle(model, 0, 0, 0);
    model->polygons[0].uv[2][1] = 0.5f;
    cpod_add_item(pod, CPOD_ITEM_MODEL, model);
    cmaterial *material = tamu_create_material();
    std::strcpy(material->name, "m");
    material->shininess = 2.0f;
    cpod_add_item(pod, CPOD_ITEM_MATERIAL, material);
    canim *anim = tamu_create_anim();
    canim_new_actor(anim);
    canim_channel_insert_state(anim->actors[0].channel[CACTOR_ROTATION], 9);
    anim->actors[0].channel[CACTOR_ROTATION]->states[0] = 0xAB;
    cpod_add_item(pod, CPOD_ITEM_ANIM, anim);
    cvoxmap *voxmap = tamu_create_voxmap(2, 1, 2);
    tamu_putvoxel(voxmap, 1, 0, 1, 4);
    cpod_add_item(pod, CPOD_ITEM_VOXMAP, voxmap);

    Bytes b;
    b.header("3d");
    b.s[44] = 4;   // the item count
    std::string bytes = pod_bytes(pod);
    EXPECT_EQ(u32_at(bytes, 44), 4u);
    // Model: counts (vertices, polygons, bones), no bone records, the
    // vertex, then the triangle: its vertex count, normal, material and
    // flags, indices and texture coordinates.
    Bytes model_body;
    model_body.u32(1).u32(1).u32(0).u32(0).u32(f(1)).u32(f(2)).u32(f(3));
    model_body.u32(3).u32(0).u32(0).u32(f(1)).u32(0).u32(0).u32(0).u32(0);
    model_body.u32(0).u32(0).u32(0).u32(0).u32(0).u32(f(0.5f));
    b.chunk("CMOD", uint32_t(model_body.s.size())).raw(model_body.s);
    // Material: the two colours, the name, flags, texture, ten floats and
    // two spare words.
    b.chunk("CMAT", 96).u32(0xFF336699).u32(0xFF606060).raw("m").fill(31).u32(0).u32(0);
    b.u32(0).u32(0).u32(0).u32(f(2.0f)).fill(24).fill(8);
    // Animation: the actor count; the actor's name, references, three
    // channels (state size, count, times, second words, states), further
    // channel count and commands.
    Bytes anim_body;
    anim_body.u32(1).raw("actor0").fill(26).u32(0xFFFFFFFF).u32(0xFFFFFFFF).u32(0xFFFFFFFF).u32(0xFFFFFFFF);
    anim_body.u32(12).u32(0);
    anim_body.u32(12).u32(1).u32(9).u32(0).raw("\xAB").fill(11);
    anim_body.u32(12).u32(0);
    anim_body.u32(0);
    anim_body.u32(24).u32(0);
    b.chunk("CANI", uint32_t(anim_body.s.size())).raw(anim_body.s);
    // Voxel map: like a bitmap, with the depth in place of bits per pixel.
    b.chunk("CVMP", 24).u32(2).u32(1).u32(2).u32(0).u32(0).raw(std::string("\0\0\0\x04", 4));
    ASSERT_EQ(bytes.size(), b.s.size());
    for (size_t i = 0; i < bytes.size(); i++) ASSERT_EQ(int(uint8_t(bytes[i])), int(uint8_t(b.s[i]))) << "at byte " << i;

    cpod *loaded = load_bytes(b.s);
    expect_same_3d_items(pod, loaded);
    tamu_destroy_pod(loaded);
    tamu_destroy_pod(pod);
}

// Chunks that give no size (0) are read by content.
TEST(PodFile, ModelAndAnimationChunksWithoutASizeAreReadByContent) {
    Bytes model_body;
    model_body.u32(2).u32(1).u32(1).u32(0).fill(24).u32(2).fill(16).u32(0).u32(1).fill(16);
    Bytes anim_body;
    anim_body.u32(1).raw("walk").fill(28).fill(16).u32(12).u32(0).u32(12).u32(0).u32(12).u32(0).u32(0).u32(24).u32(0);
    Bytes b;
    b.header().chunk("CMOD", 0).raw(model_body.s).chunk("CANI", 0).raw(anim_body.s).bitmap8(1, 1);
    cpod *pod = load_bytes(b.s);
    ASSERT_NE(pod, nullptr);
    ASSERT_EQ(pod->count, 3);
    auto *model = static_cast<cmodel *>(cpod_get_item(pod, 0, CPOD_ITEM_MODEL));
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->num_bones, 1);
    EXPECT_EQ(model->polygons[0].vertex[1], 1u);
    ASSERT_NE(model->bone_vertices, nullptr);   // a model with bones has bone records
    EXPECT_EQ(model->bone_vertices[1].weight, 1.0f);
    auto *anim = static_cast<canim *>(cpod_get_item(pod, 1, CPOD_ITEM_ANIM));
    ASSERT_NE(anim, nullptr);
    EXPECT_STREQ(anim->actors[0].name, "walk");
    EXPECT_EQ(anim->actors[0].model, 0);
    EXPECT_NE(cpod_get_item(pod, 2, CPOD_ITEM_BITMAP), nullptr);
    tamu_destroy_pod(pod);
}

TEST(PodFile, PodSetsHoldPodsOneAfterAnother) {
    int live = tamu_items_created;
    cconfig.pod_lz4 = TAMU_POD_STORE;
    cpod_set set;
    cpod_set_init(&set);
    set.pods[0] = make_fixture();
    set.pods[2] = tamu_create_pod(0);
    cpod_add_item(set.pods[2], CPOD_ITEM_FILE, memory_file("third", "c"));
    std::string path = test_home() + "/set.pod";
    ASSERT_EQ(tamu_save_pod_set(path.c_str(), &set), 0);
    std::string bytes = read_file(path);
    EXPECT_EQ(bytes.size(), 1008 + 8 + 76 + 8 + 68 + 5 + 253 * 8u);

    cpod_set loaded;
    cpod_set_init(&loaded);
    ASSERT_EQ(tamu_load_pod_set(path.c_str(), &loaded), 0);
    expect_same_items(set.pods[0], loaded.pods[0]);
    EXPECT_EQ(loaded.pods[1], nullptr);   // the CNOP between them
    expect_same_items(set.pods[2], loaded.pods[2]);
    for (int i = 3; i < CPOD_SET_SIZE; i++) EXPECT_EQ(loaded.pods[i], nullptr);

    // The same from memory, over a set that still holds pods; entries past
    // the end of the bytes stay null.
    std::string two = bytes.substr(0, 1008) + Bytes().header("b").bitmap8(1, 1).s;
    ASSERT_EQ(tamu_load_pod_set_from_memory(two.data(), int(two.size()), &loaded), 0);
    ASSERT_NE(loaded.pods[1], nullptr);
    EXPECT_STREQ(loaded.pods[1]->name, "b");
    EXPECT_EQ(loaded.pods[2], nullptr);

    EXPECT_EQ(tamu_load_pod_set((test_home() + "/none.pod").c_str(), &loaded), 1);
    cpod_set_clear(&loaded);
    cpod_set_clear(&set);
    EXPECT_EQ(tamu_items_created, live);
}

TEST(PodFile, PodSetFromATextFile) {
    int live = tamu_items_created;
    std::string home = test_home();
    write_file(home + "/a.pod", Bytes().header("a").bitmap8(1, 1).s);
    write_file(home + "/b.pod", Bytes().header("b").bitmap8(1, 1).s);
    write_file(home + "/list.txt", "// pods\n3 " + home + "/a.pod\r\n" + "7 " + home + "/b.pod\n" +
                                       "7 " + home + "/a.pod\n" + "300 " + home + "/a.pod\nab\n" + "9 " + home +
                                       "/missing.pod\n");
    cpod_set set;
    cpod_set_init(&set);
    ASSERT_EQ(tamu_load_pod_set_from_text_file((home + "/list.txt").c_str(), &set), 0);
    ASSERT_NE(set.pods[3], nullptr);
    ASSERT_NE(set.pods[7], nullptr);
    EXPECT_STREQ(set.pods[3]->name, "a");
    EXPECT_STREQ(set.pods[7]->name, "a");   // the later line replaced the first
    EXPECT_EQ(set.pods[9], nullptr);
    int filled = 0;
    for (cpod *p : set.pods) filled += p != nullptr;
    EXPECT_EQ(filled, 2);
    EXPECT_EQ(tamu_load_pod_set_from_text_file((home + "/nolist.txt").c_str(), &set), 1);
    cpod_set_clear(&set);

    // A line of 254 characters is read; a longer one is skipped whole, and
    // its tail (here a line of its own past character 254) loads nothing.
    ASSERT_LT(home.size(), 240u);
    std::string long_name = home + "/" + std::string(251 - home.size(), 'z');
    write_file(long_name, Bytes().header("long").bitmap8(1, 1).s);
    std::string at_limit = "6 " + long_name;
    ASSERT_EQ(at_limit.size(), 254u);
    std::string cut = "5 " + home + "/" + std::string(251 - home.size(), 'y');
    ASSERT_EQ(cut.size(), 254u);
    write_file(home + "/list.txt", at_limit + "\n" + cut + "8 " + home + "/b.pod\n" + "3 " + home + "/a.pod\n");
    {
        LogCapture log;
        ASSERT_EQ(tamu_load_pod_set_from_text_file((home + "/list.txt").c_str(), &set), 0);
        EXPECT_NE(log.text().find("line longer than 254 characters skipped"), std::string::npos);
    }
    ASSERT_NE(set.pods[6], nullptr);
    EXPECT_STREQ(set.pods[6]->name, "long");
    EXPECT_EQ(set.pods[5], nullptr);
    EXPECT_EQ(set.pods[8], nullptr);
    ASSERT_NE(set.pods[3], nullptr);   // the line after the long one
    cpod_set_clear(&set);
    EXPECT_EQ(tamu_items_created, live);
}

TEST(PodFile, LoadFallsBackToTheVirtualDisk) {
    std::string bytes = Bytes().header("v").bitmap8(2, 2).s;
    cfile *entry = tamu_fopen_vdisk("packed.pod", "w");
    ASSERT_NE(entry, nullptr);
    tamu_fwrite(bytes.data(), 1, int(bytes.size()), entry);
    for (int i = 0; i < 2; i++) {   // the entry is rewound and stays open
        cpod *pod = tamu_load_pod("somewhere/packed.pod");
        ASSERT_NE(pod, nullptr);
        EXPECT_STREQ(pod->name, "v");
        tamu_destroy_pod(pod);
    }
}

TEST(PodFile, SavingReportsFailureAndNeverLeavesAHalfFile) {
    LogCapture log;
    cpod *pod = make_fixture();
    std::string missing = test_home() + "/no/such/folder/x.pod";
    EXPECT_EQ(tamu_save_pod(missing.c_str(), pod), 1);
    EXPECT_NE(log.text().find("tamu_save_pod: " + missing + " 1 \n"), std::string::npos);
    cpod_set set;
    cpod_set_init(&set);
    EXPECT_EQ(tamu_save_pod_set(missing.c_str(), &set), 1);

    // A write that fails half-way (here: a file item whose content the
    // writer cannot store, under every packing) keeps the old file as it was.
    std::string dir = test_home() + "/save";
    tamu_mkdir(dir.c_str());
    auto names_in_dir = [&] {
        std::vector<std::string> names;
        DIR *d = opendir(dir.c_str());
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(d);
        return names;
    };
    for (const std::string &old : names_in_dir()) std::remove((dir + "/" + old).c_str());   // an earlier run's
    std::string path = dir + "/kept.pod";
    write_file(path, "old contents");
    cfile no_block{};
    no_block.mode = 1;
    no_block.size = 16;   // content said to be there, but no block
    cfile *disk = tamu_fopen(path.c_str(), "rb");   // not a memory file: no content at hand
    ASSERT_NE(disk, nullptr);
    for (cfile *item : {&no_block, disk}) {
        for (int packing : {TAMU_POD_STORE, TAMU_POD_LZ4, TAMU_POD_ZLIB}) {
            SCOPED_TRACE(packing);
            cconfig.pod_lz4 = packing;
            cpod_add_item(pod, CPOD_ITEM_FILE, item);
            EXPECT_EQ(tamu_save_pod(path.c_str(), pod), 2);
            cpod_delete_item_soft(pod, pod->count - 1);
            EXPECT_EQ(read_file(path), "old contents");
        }
    }
    tamu_fclose(disk);
    cconfig.pod_lz4 = TAMU_POD_STORE;
    EXPECT_EQ(tamu_save_pod(path.c_str(), pod), 0);
    EXPECT_EQ(read_file(path), read_file(golden_path()));
    // Nothing but the pod is left in the folder.
    EXPECT_EQ(names_in_dir(), std::vector<std::string>{"kept.pod"});
    EXPECT_EQ(tamu_save_pod_file("x", pod, nullptr), 1);
    tamu_destroy_pod(pod);
}

// ---------------------------------------------------------------------------
// Corrupt pods: each fails whole, with a log line naming what is wrong,
// and leaves nothing alive, whatever came before the corruption.

struct Corruption {
    const char *what;
    std::string body;   // chunks after a header and a good bitmap
    const char *log;    // expected in the log line
};

std::vector<Corruption> corruptions() {
    auto b = [] { return Bytes(); };
    std::string pal = std::string(768, 'p');
    return {
        {"negative chunk size", b().chunk("ABCD", uint32_t(-8)).s, "body runs past the end"},
        {"chunk size past the end", b().chunk("ABCD", 100).raw("short").s, "body runs past the end"},
        {"bitmap side overflows", b().chunk("CBMP", 20).u32(0x10000).u32(0x10000).u32(32).u32(0).u32(0).s,
         "width or height out of range"},
        {"bitmap size wraps", b().chunk("CBMP", 20).u32(8192).u32(8192).u32(32).u32(0).u32(0).s,
         "size does not match"},
        {"negative width", b().chunk("CBMP", 20).u32(uint32_t(-2)).u32(2).u32(8).u32(0).u32(0).s,
         "width or height out of range"},
        {"zero height", b().chunk("CBMP", 20).u32(2).u32(0).u32(8).u32(0).u32(0).s, "width or height"},
        {"16 bits per pixel", b().chunk("CBMP", 28).u32(2).u32(2).u32(16).u32(0).u32(0).fill(8).s,
         "bits per pixel not 8 or 32"},
        {"bitmap size mismatch", b().chunk("CBMP", 30).u32(2).u32(2).u32(8).u32(0).u32(0).fill(10).s,
         "size does not match"},
        {"bitmap pixels cut short", b().chunk("CBMP", 36).u32(4).u32(4).u32(8).u32(0).u32(0).fill(5).s,
         "pixels run past the end"},
        {"bitmap header cut short", b().chunk("CBMP", 36).u32(4).u32(4).s, "header runs past the end"},
        {"packed bitmap garbage", b().chunk("cBMP", 36).u32(4).u32(4).u32(8).u32(0).u32(0).u32(3).raw("\xff\xff\xff").s,
         "pixels are not whole"},
        {"packed bitmap length past the end",
         b().chunk("cBMP", 36).u32(4).u32(4).u32(8).u32(0).u32(0).u32(1000).raw("\x10").s, "pixels are not whole"},
        {"zlib bitmap garbage", b().chunk("zBMP", 24).u32(2).u32(2).u32(8).u32(0).u32(0).u32(4).raw("abcd").s,
         "pixels are not whole"},
        {"palette size short", b().chunk("CPAL", 700).raw(pal.substr(0, 700)).s, "size is not 768"},
        {"palette cut short", b().chunk("CPAL", 768).raw(pal.substr(0, 100)).s, "body runs past the end"},
        {"file length past the end", b().chunk("CFIL", 0).u32(50).fill(64).raw("abc").s, "content length"},
        {"file length negative", b().chunk("CFIL", 0).u32(uint32_t(-1)).fill(64).s, "content length"},
        {"file header cut short", b().chunk("CFIL", 0).u32(3).fill(10).s, "header runs past the end"},
        {"packed file length huge", b().chunk("cFIL", 0).u32(0x7000000).fill(64).u32(2).raw("\x10\x00").s,
         "content length"},
        {"packed file garbage", b().chunk("cFIL", 0).u32(40).fill(64).u32(2).raw("\xf0\x01").s, "content is not whole"},
        {"packed file length zero", b().chunk("cFIL", 0).u32(4).fill(64).u32(0).s, "content is not whole"},
        {"zlib file garbage", b().chunk("zFIL", 0).u32(10).fill(64).u32(3).raw("xyz").s, "content is not whole"},
        {"chunk header cut short", b().raw("CBM").s, "chunk header runs past the end"},
        {"sound size mismatch", b().chunk("CSND", 40).u32(4).u32(16).fill(32).s, "size does not match the samples"},
        {"sound past the end", b().chunk("CSND", 1000).u32(4).u32(16).fill(16).s, "body runs past the end"},
        {"material size", b().chunk("CMAT", 4).raw("mmmm").s, "size is not 96"},
        {"material cut short", b().chunk("CMAT", 96).fill(40).s, "body runs past the end"},
        {"model counts cut short", b().chunk("CMOD", 0).u32(3).u32(1).u32(0).s, "counts run past the end"},
        {"model body past the end", b().chunk("CMOD", 100).u32(0).u32(0).u32(0).u32(0).s, "body runs past the end"},
        {"model vertex count past the end", b().chunk("CMOD", 0).u32(1000).u32(0).u32(0).u32(0).fill(24).s,
         "counts out of range"},
        {"model negative polygon count", b().chunk("CMOD", 16).u32(0).u32(uint32_t(-1)).u32(0).u32(0).s,
         "counts out of range"},
        {"model huge counts", b().chunk("CMOD", 16).u32(0x7FFFFFFF).u32(0x7FFFFFFF).u32(0).u32(0).s,
         "counts out of range"},
        {"model more bones than polygons", b().chunk("CMOD", 16).u32(0).u32(0).u32(1).u32(0).s,
         "bone count out of range"},
        {"model bone-record flag not 0 or 1", b().chunk("CMOD", 16).u32(0).u32(0).u32(0).u32(2).s,
         "bone count out of range"},
        {"model bone of three vertices",
         b().chunk("CMOD", 0).u32(0).u32(1).u32(1).u32(0).u32(3).fill(16).fill(3 * 12).s, "a bone has not 2 vertices"},
        {"model polygon vertex count huge",
         b().chunk("CMOD", 0).u32(0).u32(1).u32(0).u32(0).u32(0x7FFF0000).fill(16).s,
         "polygon vertex count out of range"},
        {"model polygon indices cut short",
         b().chunk("CMOD", 0).u32(0).u32(1).u32(0).u32(0).u32(5).fill(16).fill(30).s,
         "polygon vertex count out of range"},
        {"model bone records cut short",
         b().chunk("CMOD", 0).u32(1).u32(0).u32(0).u32(1).fill(12).fill(10).s, "bone records run past the end"},
        {"model size longer than its body", b().chunk("CMOD", 20).u32(0).u32(0).u32(0).u32(0).fill(4).s,
         "size does not match the body"},
        {"model size shorter than its body", b().chunk("CMOD", 16).u32(1).u32(0).u32(0).u32(0).fill(12).s,
         "counts out of range"},
        {"animation actor count past the end", b().chunk("CANI", 0).u32(3).fill(84).s, "actor count out of range"},
        {"animation negative actor count", b().chunk("CANI", 4).u32(uint32_t(-2)).s, "actor count out of range"},
        {"animation channel of the wrong state size",
         b().chunk("CANI", 0).u32(1).fill(48).u32(16).u32(0).fill(80).s, "channel state size out of range"},
        {"animation channel states past the end",
         b().chunk("CANI", 0).u32(1).fill(48).u32(12).u32(1000).fill(80).s, "channel states run past the end"},
        {"animation channel negative state count",
         b().chunk("CANI", 0).u32(1).fill(48).u32(12).u32(uint32_t(-1)).fill(80).s, "channel states run past the end"},
        {"animation times out of order",
         b().chunk("CANI", 0).u32(1).fill(48).u32(12).u32(2).u32(5).u32(4).u32(0).u32(0).fill(24).fill(80).s,
         "channel times not in order"},
        {"animation further channel count huge",
         b().chunk("CANI", 0).u32(1).fill(48).u32(12).u32(0).u32(12).u32(0).u32(12).u32(0).u32(0x10000000).fill(40).s,
         "channel count out of range"},
        {"animation further state size huge",
         b().chunk("CANI", 0).u32(1).fill(48).u32(12).u32(0).u32(12).u32(0).u32(12).u32(0).u32(1).u32(0x7FFFFFFF)
             .fill(40).s,
         "channel state size out of range"},
        {"animation commands of the wrong size",
         b().chunk("CANI", 0).u32(1).fill(48).u32(12).u32(0).u32(12).u32(0).u32(12).u32(0).u32(0).u32(12).u32(0).s,
         "channel state size out of range"},
        {"animation size longer than its body",
         b().chunk("CANI", 92).u32(1).fill(48).u32(12).u32(0).u32(12).u32(0).u32(12).u32(0).u32(0).u32(24).u32(0)
             .fill(4).s,
         "size does not match the body"},
        {"voxel map too deep", b().chunk("CVMP", 1 * 1 * 9000 + 20).u32(1).u32(1).u32(9000).u32(0).u32(0).fill(9000).s,
         "voxel map cannot be created"},
        {"voxel map cut short", b().chunk("CVMP", 28).u32(2).u32(2).u32(2).u32(0).u32(0).fill(3).s,
         "payload runs past the end"},
        {"synth nodes without a size", b().chunk("CSYN", 0).u32(1).u32(0).u32(1).u32(0).u32(2).s,
         "node records of unknown length"},
        {"voxel map zero depth", b().chunk("CVMP", 20).u32(2).u32(2).u32(0).u32(0).u32(0).s, "dimensions"},
        // Products of the largest values must not wrap into a size that fits.
        {"voxel map volume overflows",
         b().chunk("CVMP", 36).u32(0x7FFFFFFF).u32(0x7FFFFFFF).u32(0x7FFFFFFF).u32(0).u32(0).fill(16).s,
         "dimensions"},
        {"sound sample bytes overflow",
         b().chunk("CSND", 40).u32(0xFFFFFFFF).u32(0xFFFFFFFF).fill(32).s, "size does not match the samples"},
        {"packed voxels past the end",
         b().chunk("cVMP", 28).u32(2).u32(2).u32(2).u32(0).u32(0).u32(99).raw("ab").s, "voxels are not whole"},
        {"packed voxels garbage", b().chunk("cVMP", 28).u32(2).u32(2).u32(2).u32(0).u32(0).u32(3).raw("abc").s,
         "voxels are not whole"},
    };
}

TEST(PodCorrupt, EveryCorruptionFailsWholeWithALogLine) {
    for (const Corruption &c : corruptions()) {
        SCOPED_TRACE(c.what);
        int live = tamu_items_created;
        std::string bytes = Bytes().header().bitmap8(2, 2).s + c.body;
        LogCapture log;
        EXPECT_EQ(load_bytes(bytes), nullptr);
        std::string text = log.text();
        EXPECT_NE(text.find("tamu_load_pod_file: corrupt pod: "), std::string::npos) << text;
        EXPECT_NE(text.find(c.log), std::string::npos) << text;
        EXPECT_EQ(tamu_items_created, live);

        // The same from a disk file, and as the second pod of a set, which
        // then loads as nothing at all.
        std::string path = test_home() + "/corrupt.pod";
        write_file(path, bytes);
        EXPECT_EQ(tamu_load_pod(path.c_str()), nullptr);
        std::string set_bytes = Bytes().header("first").bitmap8(1, 1).s + bytes;
        cpod_set set;
        cpod_set_init(&set);
        EXPECT_EQ(tamu_load_pod_set_from_memory(set_bytes.data(), int(set_bytes.size()), &set), 2);
        for (cpod *p : set.pods) EXPECT_EQ(p, nullptr);
        EXPECT_EQ(tamu_items_created, live);
    }
}

TEST(PodCorrupt, HeaderSizesAreChecked) {
    struct Case {
        const char *what;
        std::string bytes;
    };
    Case cases[] = {
        {"header too small", Bytes().chunk("CPOD", 8).u32(1).u32(0).s},
        {"header past the end", Bytes().chunk("CPOD", 5000).fill(68).s},
        {"first chunk not a pod", Bytes().chunk("CPAL", 768).fill(768).s},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        int live = tamu_items_created;
        LogCapture log;
        EXPECT_EQ(load_bytes(c.bytes + Bytes().bitmap8(1, 1).s), nullptr);
        EXPECT_NE(log.text().find("tamu_load_pod_file: "), std::string::npos);
        EXPECT_EQ(tamu_items_created, live);
    }
}

// A load hook that steps back before the chunk it was given would read the
// same chunk for ever.
TEST(PodCorrupt, LoadHookMayNotStepBack) {
    tamu_set_load_item_func([](cfile *file, cpod *, uint32_t) {
        tamu_fseek(file, -8, SEEK_CUR);
        return 0;
    });
    LogCapture log;
    EXPECT_EQ(load_bytes(Bytes().header().bitmap8(1, 1).chunk("ABCD", 0).s), nullptr);
    tamu_set_load_item_func(nullptr);
    EXPECT_NE(log.text().find("load hook"), std::string::npos);
}

}  // namespace
