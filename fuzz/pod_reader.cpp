// Feeds arbitrary bytes to the pod file reader, as a memory file, one pod
// and then a whole pod set, and checks what it promises: what it returns
// holds only well-formed items (models, animations and voxel maps whose
// operations stay within them), and everything it created is destroyed
// again (the live-object count comes back to where it was).
#include "tamu.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

// Undefined behaviour in the reader (an overflowing size product, say) is a
// finding too, not just a line in the log.
extern "C" const char *__ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

static void check_model(const cmodel *m) {
    if (m->num_vertices < 0 || m->num_vertices > m->max_vertices || m->num_polygons < 0 ||
        m->num_polygons > m->max_polygons || m->num_bones < 0 || m->num_bones > m->num_polygons)
        std::abort();
    if (m->num_bones > 0 && m->max_vertices > 0 && !m->bone_vertices) std::abort();
    for (int i = 0; i < m->num_polygons; i++) {
        const cpoly &p = m->polygons[i];
        if (p.num_vertices < 0 || p.num_vertices > p.capacity || (i < m->num_bones && p.num_vertices != 2)) std::abort();
        if (p.capacity == 4 && (p.vertex != p.inline_vertex || p.uv != p.inline_uv)) std::abort();
    }
    // The operations on the record stay within it, whatever the indices
    // (when they take little enough time).
    if (int64_t(m->num_vertices + m->num_polygons) * (m->num_bones + 1) > 1000000) return;
    auto *copy = const_cast<cmodel *>(m);
    cmodel_decorate(copy);
    cmodel_calculate_vertex_normals(copy);
}

static void check_channel(const canim_channel *c, int size) {
    if (!c || c->num_states < 0 || c->num_states > c->max_states || (size >= 0 && c->state_size != size)) std::abort();
    for (int i = 1; i < c->num_states; i++)
        if (c->times[i] < c->times[i - 1]) std::abort();
    float out[3];
    canim_channel_evaluate(c, 0, out);
    canim_channel_evaluate_nonlinear(c, 1 << 20, out);
    canim_channel_index_for_command(c, 7, 0);
}

static void check_anim(const canim *a) {
    if (a->num_actors < 0) std::abort();
    for (int i = 0; i < a->num_actors; i++) {
        const cactor &actor = a->actors[i];
        if (!std::memchr(actor.name, 0, sizeof actor.name)) std::abort();
        for (const canim_channel *c : actor.channel) check_channel(c, 12);
        for (int k = 0; k < actor.num_further; k++) check_channel(actor.further[k], -1);
        check_channel(actor.commands, 24);
    }
}

static void check_pod(const cpod *pod) {
    if (!pod) return;
    if (pod->count < 1 || pod->count > pod->capacity) std::abort();
    if (!std::memchr(pod->name, 0, sizeof pod->name)) std::abort();
    for (int i = 0; i < pod->count; i++) {
        void *item = pod->items[i];
        if (!item) std::abort();
        switch (pod->types[i]) {
        case CPOD_ITEM_BITMAP: {
            auto *b = static_cast<const cbitmap *>(item);
            if (b->width < 1 || b->height < 1 || (b->bpp != 8 && b->bpp != 32)) std::abort();
            break;
        }
        case CPOD_ITEM_FILE: {
            auto *f = static_cast<const cfile *>(item);
            if (f->size < 0 || f->position != 0 || !std::memchr(f->name, 0, sizeof f->name)) std::abort();
            break;
        }
        case CPOD_ITEM_PALETTE: break;
        case CPOD_ITEM_MATERIAL:
            if (!std::memchr(static_cast<const cmaterial *>(item)->name, 0, sizeof(cmaterial::name))) std::abort();
            break;
        case CPOD_ITEM_VOXMAP: {
            auto *v = static_cast<const cvoxmap *>(item);
            if (v->width < 1 || v->height < 1 || v->depth < 1) std::abort();
            for (int z = 0; z < v->depth; z++)
                if (v->slices[z]->pixels != v->voxels + int64_t(v->width) * v->height * z) std::abort();
            break;
        }
        case CPOD_ITEM_MODEL: check_model(static_cast<const cmodel *>(item)); break;
        case CPOD_ITEM_ANIM: check_anim(static_cast<const canim *>(item)); break;
        default: std::abort();   // the reader makes no other kind
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    int live = tamu_items_created;
    cconfig.pod_lz4 = 0;

    cfile *f = tamu_fopen_memory(data, static_cast<int>(size));
    cpod *pod = tamu_load_pod_file("fuzz", f);
    tamu_fclose(f);
    check_pod(pod);
    // What was read writes and reads back to the same count of items.
    if (pod) {
        cbuffer *out = tamu_create_buffer(0);
        if (tamu_save_pod_file("fuzz", pod, out) != 0) std::abort();
        out->position = 0;
        cpod *again = tamu_load_pod_file("fuzz", out);
        if (!again || again->count != pod->count) std::abort();
        tamu_destroy_pod(again);
        tamu_destroy_buffer(out);
    }
    tamu_destroy_pod(pod);

    static cpod_set set;
    tamu_load_pod_set_from_memory(data, static_cast<int>(size), &set);
    for (cpod *p : set.pods) check_pod(p);
    cpod_set_clear(&set);

    if (tamu_items_created != live) std::abort();
    return 0;
}
