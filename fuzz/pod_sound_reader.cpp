// Feeds arbitrary bytes to the pod file reader with the sound library's
// item hooks installed, so that sample sounds and synthesisers are made
// from the chunks: what comes back holds only well-formed items, writes
// and reads back to the same count, small synthesisers render, and
// everything made is destroyed again.
#include "tamu.h"
#include "tamu_csound.h"
#include "tamu_synth.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" const char *__ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

static void check_pod(cpod *pod) {
    if (!pod) return;
    if (pod->count < 1 || pod->count > pod->capacity) std::abort();
    for (int i = 0; i < pod->count; i++) {
        void *item = pod->items[i];
        if (!item) std::abort();
        switch (pod->types[i]) {
        case CPOD_ITEM_SOUND: {
            auto *s = static_cast<const csound *>(item);
            if (s->samples < 0 || s->bits < 0 || s->channel != -1 || s->read_pointer != s->data) std::abort();
            if (int64_t(s->samples) * s->bits / 8 > 0 && !s->data) std::abort();
            break;
        }
        case CPOD_ITEM_SYNTH: {
            auto *s = static_cast<csynth *>(item);
            if (s->length < 0 || s->length > SYNTH_MAX_LENGTH) std::abort();
            for (const synth_node &n : s->nodes)
                if (n.kind < SYNTH_EMPTY || n.kind > SYNTH_FILTER || n.table_length < 0 ||
                    n.table_length > SYNTH_TABLE || n.buffer)
                    std::abort();
            // Small descriptions render, whatever their nodes say.
            if (s->length <= 1024) {
                tamu_synth_generate(s, nullptr, i & 1);
                tamu_synth_clear_buffers(s);
            }
            break;
        }
        case CPOD_ITEM_BITMAP:
        case CPOD_ITEM_PALETTE:
        case CPOD_ITEM_FILE:
        case CPOD_ITEM_MODEL:
        case CPOD_ITEM_MATERIAL:
        case CPOD_ITEM_ANIM:
        case CPOD_ITEM_VOXMAP: break;   // the engine's own records
        default: std::abort();
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    tamu_sound_install_pod_hooks();
    int live = tamu_items_created;
    cconfig.pod_lz4 = 0;

    cfile *f = tamu_fopen_memory(data, static_cast<int>(size));
    cpod *pod = tamu_load_pod_file("fuzz", f);
    tamu_fclose(f);
    check_pod(pod);
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
    if (tamu_items_created != live) std::abort();
    return 0;
}
