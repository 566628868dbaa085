// Feeds arbitrary bytes to the XM module loader and checks what it
// promises: a module it returns is within the player's limits, writes and
// loads back to the same counts, plays a stretch of samples within range
// and renders into a sound; and everything it made is freed again.
#include "tamu.h"
#include "tamu_csound.h"
#include "tamu_xm.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" const char *__ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

static void check_module(const xm_module *m) {
    if (m->channels < 1 || m->channels > XM_MAX_CHANNELS || m->song_length > XM_ORDERS ||
        m->pattern_count > XM_MAX_PATTERNS || m->instrument_count > XM_MAX_INSTRUMENTS)
        std::abort();
    for (int p = 0; p < m->pattern_count; p++)
        if (m->patterns[p].rows < 1 || m->patterns[p].rows > XM_MAX_ROWS || !m->patterns[p].cells) std::abort();
    for (int i = 0; i < m->instrument_count; i++) {
        const xm_instrument &ins = m->instruments[i];
        if (ins.sample_count < 0 || ins.sample_count > XM_MAX_SAMPLES) std::abort();
        if (ins.volume_points > XM_ENVELOPE_POINTS || ins.panning_points > XM_ENVELOPE_POINTS) std::abort();
        for (int k = 0; k < ins.sample_count; k++) {
            const xm_sample &s = ins.samples[k];
            if (s.length < 0 || (s.length > 0 && !s.data)) std::abort();
            if (s.loop_start < 0 || s.loop_length < 0 || s.loop_start + s.loop_length > s.length) std::abort();
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    int live = tamu_items_created;
    cfile *f = tamu_fopen_memory(data, int(size));
    xm_module *m = tamu_load_xm_from_file(f);
    tamu_fclose(f);
    if (m) {
        check_module(m);
        cbuffer *out = tamu_create_buffer(0);
        if (tamu_save_xm_to_file(m, out) != 0) std::abort();
        out->position = 0;
        xm_module *again = tamu_load_xm_from_file(out);
        if (!again || again->pattern_count != m->pattern_count || again->instrument_count != m->instrument_count)
            std::abort();
        tamu_destroy_xm(again);
        tamu_destroy_buffer(out);

        // Tempo, speed and order come from the file: play a stretch of
        // it from an order it names, looping, in uneven pieces.
        static xm_playstate st;
        std::memset(&st, 0, sizeof st);
        tamu_mix_xm_init(m, &st, 22050);
        st.order = m->song_length ? data[size - 1] % m->song_length : 0;
        st.loop = 1;
        st.playing = 1;
        static int16_t buffer[4096];
        for (int n : {1, 4096, 777, 4096}) {
            tamu_mix_xm_chunk(&st, buffer, n);
            for (int i = 0; i < n; i++)
                if (buffer[i] < -32767) std::abort();
        }
        csound *sound = tamu_create_sound(3000, 16);
        tamu_mix_xm(m, sound);
        tamu_destroy_sound(sound);
        tamu_destroy_xm(m);
    }
    if (tamu_items_created != live) std::abort();
    return 0;
}
