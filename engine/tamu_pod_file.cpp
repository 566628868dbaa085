// Pod files: writing pods chunk by chunk, and reading them back with every
// size from the file checked before it is used.
#include "tamu_pod.h"

#include "tamu_bitmap.h"
#include "tamu_config.h"
#include "tamu_file.h"
#include "tamu_main.h"
#include "tamu_memory.h"
#include "tamu_model.h"

#include <lodepng.h>

#include <climits>
#include <cstdlib>
#include <cstring>

extern tamu_save_item_func tamu_pod_save_item_func;
extern tamu_load_item_func tamu_pod_load_item_func;

namespace {

constexpr uint32_t ID_CPOD = tamu_chunk_id("CPOD");
constexpr uint32_t ID_CNOP = tamu_chunk_id("CNOP");
constexpr uint32_t ID_CBMP = tamu_chunk_id("CBMP");
constexpr uint32_t ID_CPAL = tamu_chunk_id("CPAL");
constexpr uint32_t ID_CFIL = tamu_chunk_id("CFIL");
constexpr uint32_t ID_CVMP = tamu_chunk_id("CVMP");
constexpr uint32_t ID_CSND = tamu_chunk_id("CSND");
constexpr uint32_t ID_CMAT = tamu_chunk_id("CMAT");
constexpr uint32_t ID_CMOD = tamu_chunk_id("CMOD");
constexpr uint32_t ID_CANI = tamu_chunk_id("CANI");
constexpr uint32_t ID_CSYN = tamu_chunk_id("CSYN");

constexpr int header_body = 68;       // version, name, count, 28 zeros
constexpr int file_name_bytes = 64;   // the cfile name field
constexpr int largest_block = 0x7E000000;

// How a chunk's payload is stored, from the first letter of its id.
enum Packing { PLAIN, LZ4, ZLIB };

uint32_t with_packing(uint32_t id, Packing packing) {
    if (packing == LZ4) return (id & ~0xFFu) | 'c';
    if (packing == ZLIB) return (id & ~0xFFu) | 'z';
    return id;
}

// The plain id of a chunk and how it is packed.
uint32_t plain_id(uint32_t id, Packing &packing) {
    char first = char(id & 0xFF);
    packing = first == 'c' ? LZ4 : first == 'z' ? ZLIB : PLAIN;
    return packing == PLAIN ? id : (id & ~0xFFu) | 'C';
}

// The id as printable text for log lines.
struct IdText {
    char text[5];
    explicit IdText(uint32_t id) {
        for (int i = 0; i < 4; i++) {
            char c = char((id >> (8 * i)) & 0xFF);
            text[i] = c >= 32 && c < 127 ? c : '?';
        }
        text[4] = 0;
    }
};

// ---------------------------------------------------------------------------
// zlib payloads, through lodepng's zlib coder: a 32-bit compressed length
// and the zlib stream, like the LZ4 payloads.

int write_zlib(const void *bytes, int length, cfile *file) {
    unsigned char *packed = nullptr;
    size_t packed_length = 0;
    unsigned error = lodepng_zlib_compress(&packed, &packed_length, static_cast<const unsigned char *>(bytes),
                                           size_t(length), &lodepng_default_compress_settings);
    int result = 0;
    if (error == 0 && packed_length > 0 && packed_length <= size_t(largest_block) &&
        tamu_fwrite_int32(file, int32_t(packed_length)) == 4 &&
        tamu_fwrite(packed, 1, int(packed_length), file) == int(packed_length))
        result = int(packed_length);
    std::free(packed);
    return result;
}

// Decodes exactly length bytes into destination from at most available
// bytes of the file. Returns 0, or -1 when the payload is not whole.
int read_zlib(void *destination, int length, int64_t available, cfile *file) {
    if (available < 4) return -1;
    uint32_t packed_length = tamu_fread_uint32(file);
    if (packed_length == 0 || packed_length > available - 4) return -1;
    auto *packed = static_cast<unsigned char *>(tamu_malloc(int(packed_length)));
    int result = -1;
    if (tamu_fread(packed, 1, int(packed_length), file) == int(packed_length)) {
        LodePNGDecompressSettings settings = lodepng_default_decompress_settings;
        settings.max_output_size = size_t(length) + 1;
        unsigned char *out = nullptr;
        size_t out_length = 0;
        unsigned error = lodepng_zlib_decompress(&out, &out_length, packed, packed_length, &settings);
        if (error == 0 && out_length == size_t(length)) {
            if (length > 0) std::memcpy(destination, out, size_t(length));
            result = 0;
        }
        std::free(out);
    }
    tamu_free(packed);
    return result;
}

// ---------------------------------------------------------------------------
// Writing

struct Writer {
    cfile *file;
    bool ok = true;

    void u32(uint32_t value) {
        if (tamu_fwrite_uint32(file, value) != 4) ok = false;
    }
    void bytes(const void *data, int n) {
        if (n > 0 && tamu_fwrite(data, 1, n, file) != n) ok = false;
    }
    void zeros(int n) {
        for (int i = 0; i < n; i += 4) u32(0);
    }
    void u16(uint16_t value) {
        if (tamu_fwrite_uint16(file, value) != 2) ok = false;
    }
    void f32(float value) {
        if (tamu_fwrite_float(file, value) != 4) ok = false;
    }
    void floats(const float *values, int n) {
        for (int i = 0; i < n; i++) f32(values[i]);
    }
    void i64(int64_t value) {
        u32(uint32_t(uint64_t(value)));
        u32(uint32_t(uint64_t(value) >> 32));
    }
    void chunk(uint32_t id, uint32_t size) {
        u32(id);
        u32(size);
    }
    // A payload stored as packing says.
    void payload(const void *data, int n, Packing packing) {
        if (packing == LZ4)
            ok = ok && tamu_fwrite_lz4(data, n, file) > 0;
        else if (packing == ZLIB)
            ok = ok && write_zlib(data, n, file) > 0;
        else
            bytes(data, n);
    }
};

Packing configured_packing() {
    if (cconfig.pod_lz4 == TAMU_POD_LZ4) return LZ4;
    if (cconfig.pod_lz4 == TAMU_POD_ZLIB) return ZLIB;
    return PLAIN;
}

void write_bitmap(Writer &w, const cbitmap *b, Packing packing) {
    if (!b->rows || b->width < 1 || b->height < 1 || (b->bpp != 8 && b->bpp != 32)) {
        w.ok = false;   // the window's pseudo-bitmap, or no bitmap at all
        return;
    }
    int row = b->width * (b->bpp / 8);
    int n = row * b->height;
    w.chunk(with_packing(ID_CBMP, packing), uint32_t(n) + 20);
    w.u32(uint32_t(b->width));
    w.u32(uint32_t(b->height));
    w.u32(uint32_t(b->bpp));
    w.u32(0);   // spare word: no bitmap of the engine uses it
    w.u32(0);
    bool contiguous = true;
    for (int y = 1; y < b->height; y++)
        if (b->rows[y] != b->rows[0] + int64_t(row) * y) contiguous = false;
    if (contiguous) {
        w.payload(b->rows[0], n, packing);
    } else if (packing == PLAIN) {
        for (int y = 0; y < b->height; y++) w.bytes(b->rows[y], row);
    } else {
        auto *gathered = static_cast<uint8_t *>(tamu_malloc(n));
        for (int y = 0; y < b->height; y++) std::memcpy(gathered + int64_t(row) * y, b->rows[y], size_t(row));
        w.payload(gathered, n, packing);
        tamu_free(gathered);
    }
}

void write_file_item(Writer &w, const cfile *f, Packing packing) {
    // Only a memory file has its content at hand: anything else would be
    // stored as an empty file while the save reported success.
    int length = f->size;
    if (f->mode != 1 || length < 0 || (length > 0 && !f->data)) {
        w.ok = false;
        return;
    }
    w.chunk(with_packing(ID_CFIL, packing), 0);
    w.u32(uint32_t(length));
    char name[file_name_bytes] = {};
    std::memcpy(name, f->name, sizeof name - 1);
    w.bytes(name, sizeof name);
    w.payload(f->data, length, packing);
}

void write_voxmap(Writer &w, const cvoxmap *v, Packing packing) {
    int n = v->width * v->height * v->depth;   // within TAMU_VOXMAP_MAX_VOXELS
    w.chunk(with_packing(ID_CVMP, packing), uint32_t(n) + 20);
    w.u32(uint32_t(v->width));
    w.u32(uint32_t(v->height));
    w.u32(uint32_t(v->depth));
    w.u32(0);   // spare word
    w.u32(0);
    w.payload(v->voxels, n, packing);
}

void write_material(Writer &w, const cmaterial *m) {
    w.chunk(ID_CMAT, sizeof(cmaterial));
    w.u32(m->colour);
    w.u32(m->specular_colour);
    char name[sizeof m->name] = {};
    std::memcpy(name, m->name, sizeof name - 1);
    w.bytes(name, sizeof name);
    w.u32(m->flags);
    w.u32(uint32_t(m->texture));
    for (float f : {m->ambient, m->diffuse, m->specular, m->shininess, m->transparency, m->reflectivity}) w.f32(f);
    w.floats(m->texture_scale, 2);
    w.floats(m->texture_offset, 2);
    w.u32(m->spare[0]);
    w.u32(m->spare[1]);
}

// Model and animation bodies are put together in memory first, so that
// the chunk can give its size.
void write_sized_chunk(Writer &w, uint32_t id, void (*body)(Writer &, const void *), const void *item) {
    cbuffer *buffer = tamu_create_buffer(0);
    Writer inner{buffer};
    body(inner, item);
    if (!inner.ok || tamu_ferror(buffer)) w.ok = false;
    if (w.ok) {
        w.chunk(id, uint32_t(buffer->size));
        w.bytes(buffer->data, buffer->size);
    }
    tamu_destroy_buffer(buffer);
}

// Vertex, polygon and bone counts, whether bone records follow, the
// vertices, the polygons (vertex count, normal, material and flags, vertex
// indices, texture coordinates), then one bone record per vertex.
void write_model_body(Writer &w, const void *item) {
    auto *m = static_cast<const cmodel *>(item);
    w.u32(uint32_t(m->num_vertices));
    w.u32(uint32_t(m->num_polygons));
    w.u32(uint32_t(m->num_bones));
    w.u32(m->bone_vertices ? 1 : 0);
    for (int i = 0; i < m->num_vertices; i++) w.floats(m->vertices[i], 3);
    for (int i = 0; i < m->num_polygons; i++) {
        const cpoly &p = m->polygons[i];
        w.u32(uint32_t(p.num_vertices));
        w.floats(p.normal, 3);
        w.u16(p.material);
        w.u16(p.flags);
        for (int k = 0; k < p.num_vertices; k++) w.u32(p.vertex[k]);
        for (int k = 0; k < p.num_vertices; k++) w.floats(p.uv[k], 2);
    }
    if (!m->bone_vertices) return;
    for (int i = 0; i < m->num_vertices; i++) {
        const cbone_vertex &b = m->bone_vertices[i];
        w.u16(b.bone[0]);
        w.u16(b.bone[1]);
        w.f32(b.weight);
        w.floats(b.local[0], 3);
        w.floats(b.local[1], 3);
    }
}

// State size, state count, the times, the second words, the states.
void write_channel(Writer &w, const canim_channel *c) {
    w.u32(uint32_t(c->state_size));
    w.u32(uint32_t(c->num_states));
    for (int i = 0; i < c->num_states; i++) w.u32(uint32_t(c->times[i]));
    for (int i = 0; i < c->num_states; i++) w.u32(uint32_t(c->flags[i]));
    w.bytes(c->states, c->num_states * c->state_size);
}

// Actor count; per actor its name, model and material references, its
// three channels, its further channels (count first) and its commands.
void write_anim_body(Writer &w, const void *item) {
    auto *a = static_cast<const canim *>(item);
    w.u32(uint32_t(a->num_actors));
    for (int i = 0; i < a->num_actors; i++) {
        const cactor &actor = a->actors[i];
        char name[sizeof actor.name] = {};
        std::memcpy(name, actor.name, sizeof name - 1);
        w.bytes(name, sizeof name);
        w.i64(actor.model);
        w.i64(actor.material);
        for (const canim_channel *c : actor.channel) write_channel(w, c);
        w.u32(uint32_t(actor.num_further));
        for (int k = 0; k < actor.num_further; k++) write_channel(w, actor.further[k]);
        write_channel(w, actor.commands);
    }
}

void write_pod(Writer &w, cpod *pod) {
    if (!pod) {
        w.chunk(ID_CNOP, 0);
        return;
    }
    w.chunk(ID_CPOD, header_body);
    w.u32(1);
    char name[32] = {};
    std::memcpy(name, pod->name, sizeof name - 1);
    w.bytes(name, sizeof name);
    w.u32(uint32_t(pod->count));
    w.zeros(28);
    Packing packing = configured_packing();
    // Every used slot in slot order (slots 0 .. count - 1 for pods built by
    // adding alone and for loaded pods).
    for (int slot = 0; slot < pod->capacity && w.ok; slot++) {
        uint32_t type = pod->types[slot];
        void *item = pod->items[slot];
        if (type == CPOD_ITEM_FREE) continue;
        if (type >= CPOD_ITEM_APPLICATION) {
            if (tamu_pod_save_item_func) tamu_pod_save_item_func(w.file, pod, slot);
            continue;
        }
        if (!item) continue;
        switch (type) {
        case CPOD_ITEM_BITMAP: write_bitmap(w, static_cast<cbitmap *>(item), packing); break;
        case CPOD_ITEM_PALETTE:
            w.chunk(ID_CPAL, sizeof(cpalette::rgb));
            w.bytes(static_cast<cpalette *>(item)->rgb, sizeof(cpalette::rgb));
            break;
        case CPOD_ITEM_FILE: write_file_item(w, static_cast<cfile *>(item), packing); break;
        case CPOD_ITEM_SOUND:
        case CPOD_ITEM_SYNTH:
            // Written by the library the record belongs to; nothing without it.
            if (const tamu_pod_item_hooks *hooks = tamu_get_pod_item_hooks(type))
                w.ok = w.ok && hooks->write(w.file, item) == 0;
            break;
        case CPOD_ITEM_VOXMAP: write_voxmap(w, static_cast<cvoxmap *>(item), packing); break;
        case CPOD_ITEM_MATERIAL: write_material(w, static_cast<cmaterial *>(item)); break;
        case CPOD_ITEM_MODEL: write_sized_chunk(w, ID_CMOD, write_model_body, item); break;
        case CPOD_ITEM_ANIM: write_sized_chunk(w, ID_CANI, write_anim_body, item); break;
        default: break;   // no chunk of its own
        }
    }
}

int finish_save(const char *who, const char *path, cfile *file, bool wrote) {
    int result;
    if (!wrote) {
        tamu_abort_save(file);
        result = 2;
    } else {
        result = tamu_fclose_save(file) == 0 ? 0 : 2;
    }
    tamu_debugf("%s: %s %d \n", who, path, result);
    return result;
}

// ---------------------------------------------------------------------------
// Reading
//
// Every number that comes from the file is checked before it sizes an
// allocation, a read or a seek: a body may not run past the end of the
// file, and a corrupt pod is thrown away whole with one log line.

enum class Result { POD, NONE, CORRUPT };

struct Reader {
    cfile *file;
    int64_t end;   // the file's length

    int64_t at() const { return tamu_ftell(file); }
    int64_t left() const {
        int64_t here = at();
        return here < 0 ? 0 : end - here;
    }
    bool skip(int64_t n) { return n == 0 || (n > 0 && n <= left() && tamu_fseek(file, int(n), SEEK_CUR) == 0); }
    bool read(void *into, int n) { return n <= left() && tamu_fread(into, 1, n, file) == n; }
};

struct Failure {
    const char *reason = nullptr;
};

// The largest payload that the rest of the file can hold: a packed block
// expands at most 255 times (LZ4) or 1032 times (deflate).
int64_t unpacked_bound(Reader &r, Packing packing) {
    int64_t left = r.left();
    if (packing == PLAIN) return left;
    if (left < 4) return -1;
    int64_t packed = tamu_fread_uint32(r.file);   // peek at the compressed length
    tamu_fseek(r.file, -4, SEEK_CUR);
    if (packed > left - 4) packed = left - 4;
    return packing == LZ4 ? packed * 255 + 16 : packed * 1032 + 16;
}

// Reads a payload of exactly length bytes into destination.
bool read_payload(Reader &r, void *destination, int length, Packing packing) {
    if (packing == PLAIN) return r.read(destination, length);
    if (packing == ZLIB) return read_zlib(destination, length, r.left(), r.file) == 0;
    return tamu_fread_lz4(destination, length, r.file) == length;
}

cbitmap *read_bitmap(Reader &r, uint32_t size, Packing packing, Failure &fail) {
    if (r.left() < 20) {
        fail.reason = "header runs past the end";
        return nullptr;
    }
    int32_t w = tamu_fread_int32(r.file);
    int32_t h = tamu_fread_int32(r.file);
    int32_t bpp = tamu_fread_int32(r.file);
    tamu_fread_uint32(r.file);   // spare word
    tamu_fread_uint32(r.file);
    if (w < 1 || h < 1 || w > TAMU_BITMAP_MAX_SIDE || h > TAMU_BITMAP_MAX_SIDE) {
        fail.reason = "width or height out of range";
        return nullptr;
    }
    if (bpp != 8 && bpp != 32) {
        fail.reason = "bits per pixel not 8 or 32";
        return nullptr;
    }
    int64_t n = int64_t(w) * h * (bpp / 8);
    if (n > TAMU_BITMAP_MAX_BYTES || uint64_t(size) != uint64_t(n) + 20) {
        fail.reason = "size does not match the dimensions";
        return nullptr;
    }
    if (n > unpacked_bound(r, packing)) {
        fail.reason = "pixels run past the end";
        return nullptr;
    }
    cbitmap *b = tamu_create_bitmap(w, h, bpp);
    if (!b) {
        fail.reason = "bitmap cannot be created";
        return nullptr;
    }
    if (!read_payload(r, b->pixels, int(n), packing)) {
        tamu_destroy_bitmap(b);
        fail.reason = "pixels are not whole";
        return nullptr;
    }
    return b;
}

cfile *read_file_item(Reader &r, Packing packing, Failure &fail) {
    if (r.left() < 4 + file_name_bytes) {
        fail.reason = "header runs past the end";
        return nullptr;
    }
    uint32_t length = tamu_fread_uint32(r.file);
    char name[file_name_bytes];
    tamu_fread(name, 1, sizeof name, r.file);
    name[sizeof name - 1] = 0;
    if (int64_t(length) > unpacked_bound(r, packing) || length > uint32_t(largest_block)) {
        fail.reason = "content length runs past the end";
        return nullptr;
    }
    cbuffer *f = tamu_create_buffer(int(length));
    if (!read_payload(r, f->data, int(length), packing)) {
        tamu_destroy_buffer(f);
        fail.reason = "content is not whole";
        return nullptr;
    }
    std::memcpy(f->name, name, sizeof name);
    f->size = int(length);
    f->position = 0;
    return f;
}

// Reads past a chunk of a kind that has no record in the engine yet,
// checking its framing as far as it can.
bool skip_unbuilt(Reader &r, uint32_t id, uint32_t size, Failure &fail) {
    int64_t start = r.at();
    auto consumed = [&] { return r.at() - start; };
    if (id == ID_CSND) {
        if (size < 24 || size > r.left()) return fail.reason = "body runs past the end", false;
        // Two 32-bit words: their product fits 64 unsigned bits.
        uint64_t samples = tamu_fread_uint32(r.file), bits = tamu_fread_uint32(r.file);
        for (int i = 0; i < 4; i++) tamu_fread_uint32(r.file);   // frequency, fourth word, two zeros
        if (samples * bits / 8 + 24 != uint64_t(size)) return fail.reason = "size does not match the samples", false;
        r.skip(int64_t(size) - consumed());   // the rest of the body, less what was read
    } else {   // CSYN
        if (r.left() < 20) return fail.reason = "header runs past the end", false;
        int32_t words[5];
        for (int32_t &word : words) word = tamu_fread_int32(r.file);
        if (words[4] >= 1) {
            // The node records are read by content: only a chunk that gives
            // its size can be read past.
            if (size < 20) return fail.reason = "node records of unknown length", false;
            if (!r.skip(int64_t(size) - consumed())) return fail.reason = "body runs past the end", false;
        }
    }
    tamu_debugf("tamu_load_pod_file: skipped %s chunk (no such items in this build)\n", IdText(id).text);
    return true;
}

// Reads a sample sound or synthesiser chunk through the item hooks of the
// library it belongs to. A sound's framing is checked here as for the
// chunks read past, and its reader is held to its size; a synthesiser is
// read by content and held to the end of the file.
void *read_hooked(Reader &r, const tamu_pod_item_hooks *hooks, uint32_t id, uint32_t size, Failure &fail) {
    int64_t start = r.at();
    int64_t available = r.left();
    if (id == ID_CSND) {
        if (size < 24 || size > r.left()) return fail.reason = "body runs past the end", nullptr;
        uint64_t samples = tamu_fread_uint32(r.file), bits = tamu_fread_uint32(r.file);
        if (samples * bits / 8 + 24 != uint64_t(size)) return fail.reason = "size does not match the samples", nullptr;
        tamu_fseek(r.file, -8, SEEK_CUR);
        available = size;
    }
    const char *failure = nullptr;
    void *item = hooks->read(r.file, size, available, &failure);
    int64_t consumed = r.at() - start;
    if (!item) {
        if (failure) return fail.reason = failure, nullptr;
        // Could not be created: a sound's chunk is skipped by its size.
        if (id == ID_CSND && consumed >= 0 && consumed <= int64_t(size) && r.skip(int64_t(size) - consumed)) {
            tamu_debug("tamu_load_pod_file: CSND item cannot be created; skipped\n");
            return nullptr;
        }
        return fail.reason = "item cannot be created", nullptr;
    }
    if (consumed < 0 || consumed > available || (id == ID_CSND && consumed != int64_t(size))) {
        hooks->destroy(item);
        return fail.reason = "item reader left the position outside the chunk", nullptr;
    }
    return item;
}

cvoxmap *read_voxmap(Reader &r, uint32_t size, Packing packing, Failure &fail) {
    if (r.left() < 20) return fail.reason = "header runs past the end", nullptr;
    int64_t w = tamu_fread_int32(r.file), h = tamu_fread_int32(r.file), d = tamu_fread_int32(r.file);
    tamu_fread_uint32(r.file);   // spare word
    tamu_fread_uint32(r.file);
    // Each product is checked against the size before the next one, so
    // that none can wrap.
    if (w < 1 || h < 1 || d < 1 || size < 20 || w * h > int64_t(size) - 20 || w * h * d != int64_t(size) - 20)
        return fail.reason = "dimensions out of range", nullptr;
    int64_t n = w * h * d;
    if (n > unpacked_bound(r, packing)) return fail.reason = "payload runs past the end", nullptr;
    cvoxmap *v = tamu_create_voxmap(int(w), int(h), int(d));
    if (!v) return fail.reason = "voxel map cannot be created", nullptr;
    if (!read_payload(r, v->voxels, int(n), packing)) {
        tamu_destroy_voxmap(v);
        return fail.reason = "voxels are not whole", nullptr;
    }
    return v;
}

cmaterial *read_material(Reader &r, uint32_t size, Failure &fail) {
    if (size != sizeof(cmaterial)) return fail.reason = "size is not 96", nullptr;
    if (size > r.left()) return fail.reason = "body runs past the end", nullptr;
    cmaterial *m = tamu_create_material();
    m->colour = tamu_fread_uint32(r.file);
    m->specular_colour = tamu_fread_uint32(r.file);
    tamu_fread(m->name, 1, sizeof m->name, r.file);
    m->name[sizeof m->name - 1] = 0;
    m->flags = tamu_fread_uint32(r.file);
    m->texture = tamu_fread_int32(r.file);
    for (float *f : {&m->ambient, &m->diffuse, &m->specular, &m->shininess, &m->transparency, &m->reflectivity})
        *f = tamu_fread_float(r.file);
    for (float &f : m->texture_scale) f = tamu_fread_float(r.file);
    for (float &f : m->texture_offset) f = tamu_fread_float(r.file);
    for (uint32_t &word : m->spare) word = tamu_fread_uint32(r.file);
    return m;
}

// The body of a model or animation chunk: read by content, within the
// chunk's size when it gives one (which must then be the body's length
// exactly) and within the file when it gives none.
struct Body {
    Reader in;
    bool sized;
    int64_t start;

    Body(Reader &r, uint32_t size) : in(r), sized(size != 0), start(r.at()) {
        if (sized && int64_t(size) <= r.left()) in.end = start + size;
    }
    bool fits(int64_t bytes) const { return bytes >= 0 && bytes <= in.left(); }
    bool whole() const { return !sized || in.at() == in.end; }
    uint32_t u32() { return tamu_fread_uint32(in.file); }
    float f32() { return tamu_fread_float(in.file); }
    uint16_t u16() { return uint16_t(tamu_fread_uint16(in.file)); }
    int64_t i64() {
        uint64_t low = u32();
        return int64_t(low | uint64_t(u32()) << 32);
    }
};

cmodel *read_model(Reader &r, uint32_t size, Failure &fail) {
    if (size > r.left()) return fail.reason = "body runs past the end", nullptr;
    Body b(r, size);
    if (!b.fits(16)) return fail.reason = "counts run past the end", nullptr;
    int64_t vertices = int32_t(b.u32()), polygons = int32_t(b.u32()), bones = int32_t(b.u32());
    uint32_t with_bone_records = b.u32();
    // Each vertex takes 12 bytes and each polygon at least 20, so no count
    // can ask for more than the body holds.
    if (vertices < 0 || polygons < 0 || vertices > CMODEL_MAX_ITEMS || polygons > CMODEL_MAX_ITEMS ||
        !b.fits(vertices * 12 + polygons * 20))
        return fail.reason = "counts out of range", nullptr;
    if (bones < 0 || bones > polygons || with_bone_records > 1) return fail.reason = "bone count out of range", nullptr;
    if (with_bone_records && !b.fits(vertices * 12 + polygons * 20 + vertices * 32))
        return fail.reason = "bone records run past the end", nullptr;
    cmodel *m = tamu_create_model();
    cmodel_max_vertices(m, int(vertices));
    cmodel_max_polygons(m, int(polygons));
    for (int i = 0; i < vertices; i++) {
        float *v = m->vertices[m->num_vertices++];
        for (int c = 0; c < 3; c++) v[c] = b.f32();
    }
    for (int i = 0; i < polygons; i++) {
        if (!b.fits(20)) {
            tamu_destroy_model(m);
            return fail.reason = "polygon runs past the end", nullptr;
        }
        int64_t n = int32_t(b.u32());
        if (i < bones && n != 2) {
            tamu_destroy_model(m);
            return fail.reason = "a bone has not 2 vertices", nullptr;
        }
        if (n < 0 || n > CPOLY_MAX_VERTICES || !b.fits(16 + n * 12)) {
            tamu_destroy_model(m);
            return fail.reason = "polygon vertex count out of range", nullptr;
        }
        int index = cmodel_new_polygon(m, 0);
        cpoly &p = m->polygons[index];
        cpoly_set_num_vertices(&p, int(n));
        for (float &c : p.normal) c = b.f32();
        p.material = b.u16();
        p.flags = b.u16();
        for (int k = 0; k < n; k++) p.vertex[k] = b.u32();
        for (int k = 0; k < n; k++) {
            p.uv[k][0] = b.f32();
            p.uv[k][1] = b.f32();
        }
    }
    m->num_bones = int32_t(bones);
    if ((with_bone_records || bones > 0) && m->max_vertices > 0) {
        // Bone records for every vertex slot (the defaults when the body
        // holds none).
        m->bone_vertices = static_cast<cbone_vertex *>(tamu_malloc(int(sizeof(cbone_vertex)) * m->max_vertices));
        for (int i = 0; i < m->max_vertices; i++) {
            m->bone_vertices[i] = cbone_vertex{};
            m->bone_vertices[i].weight = 1.0f;
        }
    }
    if (with_bone_records) {
        for (int i = 0; i < vertices; i++) {
            cbone_vertex &bv = m->bone_vertices[i];
            bv.bone[0] = b.u16();
            bv.bone[1] = b.u16();
            bv.weight = b.f32();
            for (auto &local : bv.local)
                for (float &c : local) c = b.f32();
        }
    }
    if (!b.whole()) {
        tamu_destroy_model(m);
        return fail.reason = "size does not match the body", nullptr;
    }
    return m;
}

canim_channel *read_channel(Body &b, int required_size, Failure &fail) {
    if (!b.fits(8)) return fail.reason = "channel runs past the end", nullptr;
    int64_t state_size = int32_t(b.u32()), states = int32_t(b.u32());
    if (state_size < 0 || state_size > CANIM_MAX_STATE_SIZE || (required_size >= 0 && state_size != required_size))
        return fail.reason = "channel state size out of range", nullptr;
    if (states < 0 || states > CANIM_MAX_STATES || !b.fits(states * (8 + state_size)))
        return fail.reason = "channel states run past the end", nullptr;
    canim_channel *c = tamu_create_anim_channel(int(state_size));
    if (canim_channel_set_num_states(c, int(states)) != 0) {
        tamu_destroy_anim_channel(c);
        return fail.reason = "channel states out of range", nullptr;
    }
    for (int i = 0; i < states; i++) c->times[i] = int32_t(b.u32());
    for (int i = 0; i < states; i++) c->flags[i] = int32_t(b.u32());
    if (states > 0 && state_size > 0) tamu_fread(c->states, 1, int(states * state_size), b.in.file);
    for (int i = 1; i < states; i++) {
        if (c->times[i] < c->times[i - 1]) {
            tamu_destroy_anim_channel(c);
            return fail.reason = "channel times not in order", nullptr;
        }
    }
    return c;
}

canim *read_anim(Reader &r, uint32_t size, Failure &fail) {
    if (size > r.left()) return fail.reason = "body runs past the end", nullptr;
    Body b(r, size);
    if (!b.fits(4)) return fail.reason = "counts run past the end", nullptr;
    // An actor takes at least 84 bytes: name, references, four empty
    // channels and the further count.
    int64_t actors = int32_t(b.u32());
    if (actors < 0 || actors > CANIM_MAX_ACTORS || !b.fits(actors * 84)) return fail.reason = "actor count out of range", nullptr;
    canim *a = tamu_create_anim();
    auto failed = [&] {
        tamu_destroy_anim(a);
        return nullptr;
    };
    for (int i = 0; i < actors; i++) {
        if (!b.fits(84)) return fail.reason = "actor runs past the end", failed();
        int index = canim_new_actor(a);
        cactor &actor = a->actors[index];
        tamu_fread(actor.name, 1, sizeof actor.name, b.in.file);
        actor.name[sizeof actor.name - 1] = 0;
        actor.model = b.i64();
        actor.material = b.i64();
        for (canim_channel *&c : actor.channel) {
            tamu_destroy_anim_channel(c);
            c = read_channel(b, int(sizeof(float[3])), fail);
            if (!c) return failed();
        }
        if (!b.fits(4)) return fail.reason = "actor runs past the end", failed();
        int64_t further = int32_t(b.u32());
        if (further < 0 || further > CANIM_MAX_ACTORS || !b.fits(further * 8))
            return fail.reason = "channel count out of range", failed();
        for (int k = 0; k < further; k++) {
            canim_channel *c = read_channel(b, -1, fail);
            if (!c) return failed();
            cactor_new_channel(&actor, 0);
            tamu_destroy_anim_channel(actor.further[k]);
            actor.further[k] = c;
        }
        tamu_destroy_anim_channel(actor.commands);
        actor.commands = read_channel(b, 24, fail);
        if (!actor.commands) return failed();
    }
    if (!b.whole()) return fail.reason = "size does not match the body", failed();
    return a;
}

// Reads one pod from the file's position into *out.
Result read_pod(Reader &r, cpod **out) {
    *out = nullptr;
    cpod *pod = nullptr;
    Failure fail;
    uint32_t id = 0;
    for (;;) {
        int64_t left = r.left();
        if (left == 0) break;
        if (left < 8) {
            id = 0;
            fail.reason = "chunk header runs past the end";
            break;
        }
        id = tamu_fread_uint32(r.file);
        uint32_t size = tamu_fread_uint32(r.file);
        if (id == 0) break;
        if (!pod) {
            if (id == ID_CNOP) return Result::NONE;
            if (id != ID_CPOD) {
                tamu_debugf("tamu_load_pod_file: not a pod (first chunk %s)\n", IdText(id).text);
                return Result::CORRUPT;
            }
            if (size < 40 || size > r.left()) {
                fail.reason = "header size out of range";
                break;
            }
            pod = tamu_create_pod(0);
            tamu_fread_uint32(r.file);   // version
            tamu_fread(pod->name, 1, sizeof pod->name, r.file);
            pod->name[sizeof pod->name - 1] = 0;
            tamu_fread_uint32(r.file);   // count
            r.skip(int64_t(size) - 40);
            continue;
        }
        if (id == ID_CPOD || id == ID_CNOP) {   // the next pod of a set
            tamu_fseek(r.file, -8, SEEK_CUR);
            break;
        }
        Packing packing;
        uint32_t kind = plain_id(id, packing);
        bool packable = kind == ID_CBMP || kind == ID_CFIL || kind == ID_CVMP;
        if (packing != PLAIN && !packable) kind = 0;   // "cPAL" and the like are unknown chunks
        if (kind == ID_CBMP) {
            cbitmap *b = read_bitmap(r, size, packing, fail);
            if (!b) break;
            cpod_add_item(pod, CPOD_ITEM_BITMAP, b);
        } else if (kind == ID_CPAL) {
            if (size != sizeof(cpalette::rgb)) {
                fail.reason = "size is not 768";
                break;
            }
            if (size > r.left()) {
                fail.reason = "body runs past the end";
                break;
            }
            cpalette *p = tamu_create_palette();
            tamu_fread(p->rgb, 1, sizeof p->rgb, r.file);
            cpod_add_item(pod, CPOD_ITEM_PALETTE, p);
        } else if (kind == ID_CFIL) {
            cfile *f = read_file_item(r, packing, fail);
            if (!f) break;
            cpod_add_item(pod, CPOD_ITEM_FILE, f);
        } else if (kind == ID_CVMP) {
            cvoxmap *v = read_voxmap(r, size, packing, fail);
            if (!v) break;
            cpod_add_item(pod, CPOD_ITEM_VOXMAP, v);
        } else if (kind == ID_CMAT) {
            cmaterial *m = read_material(r, size, fail);
            if (!m) break;
            cpod_add_item(pod, CPOD_ITEM_MATERIAL, m);
        } else if (kind == ID_CMOD) {
            cmodel *m = read_model(r, size, fail);
            if (!m) break;
            cpod_add_item(pod, CPOD_ITEM_MODEL, m);
        } else if (kind == ID_CANI) {
            canim *a = read_anim(r, size, fail);
            if (!a) break;
            cpod_add_item(pod, CPOD_ITEM_ANIM, a);
        } else if ((kind == ID_CSND || kind == ID_CSYN) &&
                   tamu_get_pod_item_hooks(kind == ID_CSND ? CPOD_ITEM_SOUND : CPOD_ITEM_SYNTH)) {
            uint32_t type = kind == ID_CSND ? CPOD_ITEM_SOUND : CPOD_ITEM_SYNTH;
            void *item = read_hooked(r, tamu_get_pod_item_hooks(type), kind, size, fail);
            if (fail.reason) break;
            if (item) cpod_add_item(pod, type, item);
        } else if (kind == ID_CSND || kind == ID_CSYN) {
            if (!skip_unbuilt(r, kind, size, fail)) break;
        } else {
            int64_t body = r.at();
            if (tamu_pod_load_item_func && tamu_pod_load_item_func(r.file, pod, id) == 0) {
                if (r.at() < body || r.at() > r.end) {
                    fail.reason = "the load hook left the position outside the file";
                    break;
                }
                continue;
            }
            tamu_debug("tamu_load_pod_file: Unknown Chunk!\n");
            if (!r.skip(size)) {
                fail.reason = "body runs past the end";
                break;
            }
        }
    }
    if (fail.reason) {
        tamu_debugf("tamu_load_pod_file: corrupt pod: %s chunk: %s\n", IdText(id).text, fail.reason);
        tamu_destroy_pod(pod);
        return Result::CORRUPT;
    }
    if (!pod) return Result::NONE;
    if (pod->count == 0) {
        tamu_destroy_pod(pod);
        return Result::NONE;
    }
    *out = pod;
    return Result::POD;
}

Result read_pod_from(cfile *file, cpod **out) {
    *out = nullptr;
    if (!file) return Result::NONE;
    int size = tamu_fsize(file);
    if (size < 0 || tamu_ftell(file) < 0) {
        tamu_debug("tamu_load_pod_file: the file's length is unknown\n");
        return Result::CORRUPT;
    }
    Reader r{file, size};
    return read_pod(r, out);
}

int read_pod_set(cfile *file, cpod_set *set) {
    for (auto &entry : set->pods) {
        if (read_pod_from(file, &entry) == Result::CORRUPT) {
            cpod_set_clear(set);
            return 2;
        }
    }
    return 0;
}

}  // namespace

// ---------------------------------------------------------------------------

int tamu_save_pod_file(const char *, cpod *pod, cfile *file) {
    if (!file) return 1;
    Writer w{file};
    write_pod(w, pod);
    return w.ok && !tamu_ferror(file) ? 0 : 2;
}

int tamu_save_pod(const char *path, cpod *pod) {
    cfile *file = tamu_fopen_save(path);
    if (!file) {
        tamu_debugf("tamu_save_pod: %s %d \n", path ? path : "(null)", 1);
        return 1;
    }
    return finish_save("tamu_save_pod", path, file, tamu_save_pod_file(path, pod, file) == 0);
}

int tamu_save_pod_set(const char *path, cpod_set *set) {
    cfile *file = tamu_fopen_save(path);
    if (!file) {
        tamu_debugf("tamu_save_pod_set: %s %d \n", path ? path : "(null)", 1);
        return 1;
    }
    bool ok = true;
    for (int i = 0; i < CPOD_SET_SIZE && ok; i++)
        ok = tamu_save_pod_file(path, set ? set->pods[i] : nullptr, file) == 0;
    return finish_save("tamu_save_pod_set", path, file, ok);
}

cpod *tamu_load_pod_file(const char *, cfile *file) {
    cpod *pod;
    read_pod_from(file, &pod);
    return pod;
}

cpod *tamu_load_pod(const char *path) {
    cfile *file = path ? tamu_fopen(path, "rb") : nullptr;
    if (!file) {
        tamu_debugf("tamu_load_pod: %s %s \n", path ? path : "(null)", "failed");
        return nullptr;
    }
    cpod *pod = tamu_load_pod_file(path, file);
    tamu_fclose(file);   // leaves a virtual-disk entry open
    tamu_debugf("tamu_load_pod: %s %s \n", path, pod ? "ok" : "failed");
    return pod;
}

int tamu_load_pod_set(const char *path, cpod_set *set) {
    if (!set) return 1;
    cpod_set_clear(set);
    cfile *file = path ? tamu_fopen(path, "rb") : nullptr;
    if (!file) return 1;
    tamu_debugf("tamu_load_pod_set: %s ", path);
    int result = read_pod_set(file, set);
    tamu_fclose(file);
    tamu_debug(result == 0 ? "ok\n" : "failed\n");
    return result;
}

int tamu_load_pod_set_from_memory(const void *bytes, int length, cpod_set *set) {
    if (!set) return 1;
    cpod_set_clear(set);
    if (length < 0 || (length > 0 && !bytes)) return 1;
    tamu_debugf("tamu_load_pod_set_from_memory  len %d ", length);
    cfile *file = tamu_fopen_memory(bytes, length);
    int result = read_pod_set(file, set);
    tamu_fclose(file);
    tamu_debug(result == 0 ? "ok\n" : "failed\n");
    return result;
}

int tamu_load_pod_set_from_text_file(const char *path, cpod_set *set) {
    if (!set) return 1;
    cfile *file = path ? tamu_fopen(path, "rb") : nullptr;
    if (!file) return 1;
    // Lines of up to 254 characters. A longer line is skipped whole: read
    // in pieces, its cut path would load the wrong file and its tail would
    // pass as a line of its own.
    constexpr int longest = 254;
    char line[longest + 2];
    while (tamu_fgets_sensitive(line, sizeof line, file)) {
        if (std::strlen(line) > size_t(longest)) {
            while (tamu_fgets_sensitive(line, sizeof line, file) && std::strlen(line) > size_t(longest)) {
            }
            tamu_debugf("tamu_load_pod_set_from_text_file: %s: line longer than %d characters skipped\n", path,
                        longest);
            continue;
        }
        if (line[0] == '/' || std::strlen(line) < 4) continue;
        int entry = -1;
        char pod_path[256];
        if (std::sscanf(line, "%d %255s", &entry, pod_path) != 2) continue;
        if (entry < 0 || entry >= CPOD_SET_SIZE) continue;
        tamu_destroy_pod(set->pods[entry]);
        set->pods[entry] = tamu_load_pod(pod_path);
    }
    tamu_fclose(file);
    return 0;
}
