// Feeds arbitrary bytes to the pod file reader, as a memory file, one pod
// and then a whole pod set, and checks what it promises: what it returns
// holds only well-formed items, and everything it created is destroyed
// again (the live-object count comes back to where it was).
#include "tamu.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

// Undefined behaviour in the reader (an overflowing size product, say) is a
// finding too, not just a line in the log.
extern "C" const char *__ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

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
