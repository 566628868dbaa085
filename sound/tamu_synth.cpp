// The node synthesiser: evaluating a graph of generators and filters into
// node buffers at four times the output rate, and decimating the output
// node into a sample sound. Also the "CSYN" pod chunks.
//
// All arithmetic on samples and parameters is integer (64-bit where a
// product can leave 32 bits), so a description renders the same sound on
// every run: the engine random generator is seeded with the record's seed
// for each slice and given back to the caller as it was.
#include "tamu_synth.h"

#include "tamu.h"
#include "tamu_csound.h"
#include "tamu_xm.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

constexpr int32_t PHASE_MASK = 0x0FFFFFFF;   // the 28-bit phase accumulator
constexpr int MAX_VOICES = 16;
constexpr int NOISE_ENTRIES = 4096;
constexpr int FADE_SAMPLES = 256;

int32_t saturate32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

bool valid_node(int n) { return n >= 0 && n < SYNTH_NODES; }

// The buffer of the node's source in a slot, or null.
const int32_t *source_buffer(const synth_node *nodes, int node, int slot) {
    int src = nodes[node].p[slot].source;
    if (!valid_node(src) || src == node) return nullptr;
    return nodes[src].buffer;
}

void free_node_buffers(csynth *s) {
    for (synth_node &n : s->nodes) {
        tamu_free(n.buffer);
        n.buffer = nullptr;
    }
}

// ---------------------------------------------------------------------------
// Generators

struct generator_state {
    int64_t phase[MAX_VOICES];
    int64_t position[MAX_VOICES];   // sample waveform: 12-bit fraction
    int32_t walk[MAX_VOICES];       // noise with a width
    int32_t noise[NOISE_ENTRIES];   // noise without one
};

void fill_noise(int32_t *table) {
    for (int k = 0; k < NOISE_ENTRIES; k++) table[k] = int32_t(tamu_random(0x20000)) - 0x10000;
}

int table_entries(const synth_node &n) {
    return n.table_length >= 1 && n.table_length <= SYNTH_TABLE ? n.table_length : SYNTH_TABLE;
}

// The sample waveform: another node's buffer, read with a 12-bit fraction
// and linear interpolation. Past the end it is silent, or wraps with the
// node's flag.
int32_t sample_value(const synth_node &n, const int32_t *src, int length, int64_t &pos, int32_t step) {
    if (!src || length < 1) return 0;
    const int64_t end = int64_t(length) << 12;
    if (n.flag) {
        pos %= end;
        if (pos < 0) pos += end;
    }
    int32_t value = 0;
    if (pos >= 0 && pos < end) {
        int64_t i = pos >> 12;
        int64_t a = src[i];
        int64_t b = i + 1 < length ? src[i + 1] : (n.flag ? src[0] : a);
        value = int32_t((a + ((b - a) * (pos & 0xFFF) >> 12)) >> 4);
    }
    // A step of 1.0 (counted double) moves one sample.
    pos += step >> 5;
    if (!n.flag) pos = std::clamp<int64_t>(pos, -1, end);
    return value;
}

// The value of a waveform at phase p (0-0xFFFF), before the amplitude: on
// the scale of +-4096.
int32_t wave_value(const synth_node &n, int voice, uint32_t p, int32_t step, generator_state &g,
                   const int32_t *sample_src, int length) {
    const int32_t w = n.p[2].current;
    switch (n.sub_kind) {
    case SYNTH_SLOPE: {
        // Rises from -4096 to 4096 over [0, w), falls back over [w, 0x10000).
        int64_t pp = p, ww = w;
        if (pp >= ww) {
            int64_t d = std::max<int64_t>((0x10003 - ww) / 4, 1);
            return int32_t((((0x10000 - pp) << 15) / d - 0x10000) >> 4);
        }
        int64_t d = std::max<int64_t>(ww / 4, 1);
        return int32_t(((pp << 15) / d - 0x10000) >> 4);
    }
    case SYNTH_SQUARE: return int64_t(p) < int64_t(w) ? 4096 : -4096;
    case SYNTH_SINE: return int32_t(std::sin(2.0 * p * 3.1415 / 65536.0) * 65536.0) >> 4;
    case SYNTH_NOISE: {
        if (w == 0) return g.noise[p >> 4] >> 4;
        // A random walk whose steps grow with the pitch, pulled back toward
        // 0 by the width.
        uint32_t r = uint32_t(std::clamp<int64_t>(std::abs(int64_t(step)) >> 8, 1, 0x10000));
        int64_t v = int64_t(g.walk[voice]) + int64_t(tamu_random(r)) - int64_t(tamu_random(r));
        v -= (v * w) >> 16;
        g.walk[voice] = int32_t(std::clamp<int64_t>(v, -0x10000, 0x10000));
        return g.walk[voice] >> 4;
    }
    case SYNTH_TABLE_WAVE: {
        const int entries = table_entries(n);
        int64_t at = int64_t(p) * entries;
        int i = int(at >> 16);
        int64_t a = n.table[i], b = n.table[(i + 1) % entries];
        int64_t v = (a << 16) + (b - a) * (at & 0xFFFF);
        return int32_t((v * 4096 / 120) >> 16);
    }
    case SYNTH_STEPPED_PITCH: {
        const int entries = table_entries(n);
        int entry = n.table[(int64_t(p) * entries) >> 16];
        int factor = std::clamp(w, 1, 30);
        int64_t base = get_delta(49, 0);
        int64_t shifted = get_delta(49 + entry * factor, 0);
        return saturate32(shifted * 4096 / std::max<int64_t>(base, 1));
    }
    case SYNTH_SAMPLE: return sample_value(n, sample_src, length, g.position[voice], step);
    default: return 0;
    }
}

void run_generator(csynth *s, int node, int32_t *out) {
    synth_node &n = s->nodes[node];
    auto *g = static_cast<generator_state *>(tamu_malloc(sizeof(generator_state)));
    std::memset(g, 0, sizeof *g);
    if (n.sub_kind == SYNTH_NOISE) fill_noise(g->noise);
    const int32_t *sample_src = source_buffer(s->nodes, node, 2);
    int32_t drift = 0;   // slot 7 added up, sample by sample
    for (int i = 0; i < s->length; i++) {
        evaluate_all_p(s->nodes, node, i);
        int32_t step = int32_t(uint32_t(n.p[0].current) + uint32_t(drift));
        drift = int32_t(uint32_t(drift) + uint32_t(n.p[7].current));
        int32_t amp = n.p[1].current;
        const int voices = std::clamp(n.p[3].current, 1, MAX_VOICES);
        int64_t sum = 0;
        for (int v = 0; v < voices; v++) {
            if (v > 0) {
                step = fmul_i(step, n.p[4].current);
                amp = fmul_i(amp, n.p[6].current);
            }
            uint32_t p = (uint32_t(g->phase[v] >> 12) + uint32_t(v) * uint32_t(n.p[5].current)) & 0xFFFF;
            int64_t value = wave_value(n, v, p, step, *g, sample_src, s->length);
            sum += (value * (amp >> 4)) >> 8;
            int64_t next = g->phase[v] + step;
            if (n.flag) {
                if (next < 0 || next > PHASE_MASK) {
                    next &= PHASE_MASK;
                    if (v == 0 && n.sub_kind == SYNTH_NOISE) fill_noise(g->noise);
                }
            } else {
                next = std::clamp<int64_t>(next, 0, PHASE_MASK);
            }
            g->phase[v] = next;
        }
        out[i] = saturate32(sum);
    }
    tamu_free(g);
}

// ---------------------------------------------------------------------------
// Filters: each writes out (the node's buffer to be) from its input, slot
// 0's source (silence when it has none).

const int32_t *input_of(csynth *s, int node) { return source_buffer(s->nodes, node, 0); }

int32_t sample_of(const int32_t *x, int64_t i) { return x ? x[i] : 0; }

void lphp(csynth *s, int node, int32_t *y) {
    synth_node &n = s->nodes[node];
    const int32_t *x = input_of(s, node);
    const int length = s->length;
    if (length < 1) return;
    // High-pass by slot 2.
    y[0] = sample_of(x, 0);
    for (int i = 1; i < length; i++) {
        evaluate_all_p(s->nodes, node, i);
        int64_t c = std::clamp(n.p[2].current, 0, 0x10000);
        int64_t g = 0x40000 - ((c * c) >> 16);
        int64_t d = int64_t(sample_of(x, i)) + y[i - 1] - sample_of(x, i - 1);
        y[i] = saturate32(((g >> 4) * d) >> 14);
    }
    // Low-pass by slot 1 over the result, in place.
    int64_t z = y[0];
    for (int i = 0; i < length; i++) {
        evaluate_all_p(s->nodes, node, i);
        int64_t f = n.p[1].current;
        int64_t a = 0x10000 - f;
        if (a < 1) {
            z = y[i];
            continue;
        }
        int64_t t = (0x10000 - std::min<int64_t>(a, 0x10000)) >> 1;
        int64_t k = (0x10000 - ((t * ((t * t) >> 15)) >> 14)) >> 2;
        z = (int64_t(y[i]) * (16384 - k) + k * z) / 16384;
        y[i] = saturate32(z);
    }
}

void delay(csynth *s, int node, int32_t *y) {
    synth_node &n = s->nodes[node];
    const int32_t *x = input_of(s, node);
    const int length = s->length;
    for (int i = 0; i < length; i++) {
        evaluate_all_p(s->nodes, node, i);
        const int64_t d = std::max(n.p[1].current, 1);
        const int64_t r = std::clamp(n.p[2].current, 0, 65535);
        const int64_t taps = n.p[3].current;
        const int32_t stretch = n.p[4].current;
        const bool stretched = stretch != 0 && stretch != 0x10000;
        int64_t sum = 0, w = 16384;
        int32_t power = 0x10000;   // stretch to the power j
        // w shrinks by at least 1 a tap, so at most 16320 taps count.
        for (int64_t j = 0; j < taps && w > 64; j++) {
            int64_t at = i - d * j;
            if (at < 0) break;   // taps before the buffer start add nothing
            if (stretched) at = (at * power) >> 16;
            if (at >= 0 && at < length) sum += int64_t(sample_of(x, at)) * w;
            w = w * r / 65536;
            power = fmul_i(power, stretch);
        }
        y[i] = saturate32(sum / 16384);
    }
}

int32_t reduce_value(const synth_node &n, int32_t v) {
    int32_t y = std::min(std::max(v, n.p[2].current), n.p[1].current);
    const int32_t q = n.p[3].current;
    if (q >= 4) {
        const int64_t k = q / 4;
        int64_t t = int64_t(y) * k;
        t -= t % 16384;
        y = int32_t(t / k);
    }
    return y;
}

void reduce(csynth *s, int node, int32_t *y) {
    const int32_t *x = input_of(s, node);
    for (int i = 0; i < s->length; i++) {
        evaluate_all_p(s->nodes, node, i);
        y[i] = reduce_value(s->nodes[node], sample_of(x, i));
    }
}

void mix(csynth *s, int node, int32_t *y) {
    synth_node &n = s->nodes[node];
    const int length = s->length;
    for (int i = 0; i < length; i++) {
        evaluate_all_p(s->nodes, node, i);
        int64_t inputs = int64_t(n.p[0].current) + n.p[1].current + n.p[2].current + n.p[3].current;
        y[i] = saturate32((int64_t(n.p[4].current >> 4) * inputs) / 4096);
    }
    if (n.p[6].base == 0 || length < 2) return;
    // Loopable: a triangle window, then the second half folded onto the
    // first and the first copied over the second, so the buffer ends where
    // it begins.
    const int half = length / 2;
    int shift = 0;
    while ((half >> shift) > 4096) shift++;
    const int64_t whole = half >> shift;
    for (int i = 0; i < length; i++) {
        int64_t weight = i < half ? (i >> shift) : ((length - i) >> shift);
        y[i] = saturate32(int64_t(y[i]) * weight / whole);
    }
    for (int i = 0; i < half; i++) {
        y[i] = saturate32(int64_t(y[i]) + y[i + half]);
        y[i + half] = y[i];
    }
}

void no_filter(csynth *, int, int32_t *) {}

// The filter of a sub-kind; an unknown one leaves the buffer silent.
void (*filter_for(int sub_kind))(csynth *, int, int32_t *) {
    switch (sub_kind) {
    case SYNTH_LPHP: return lphp;
    case SYNTH_DELAY: return delay;
    case SYNTH_CLIP_STEP: return reduce;
    case SYNTH_MIX: return mix;
    default: return no_filter;
    }
}

// Evaluates the node into a buffer of its own once its sources have theirs.
// visiting holds the nodes under evaluation: a cycle of sources ends there,
// the node under evaluation counting as one without a buffer.
void evaluate(csynth *s, int node, uint32_t visiting) {
    synth_node &n = s->nodes[node];
    if (n.kind == SYNTH_EMPTY || n.buffer || s->length < 1 || s->length > SYNTH_MAX_LENGTH) return;
    visiting |= 1u << node;
    for (synth_param &slot : n.p) {
        if (!valid_node(slot.source)) {
            slot.mode = SYNTH_MOD_NONE;
            continue;
        }
        if (slot.source != node && !(visiting >> slot.source & 1)) evaluate(s, slot.source, visiting);
    }
    auto *out = static_cast<int32_t *>(tamu_malloc(s->length * int(sizeof(int32_t))));
    std::memset(out, 0, size_t(s->length) * sizeof(int32_t));
    if (n.kind == SYNTH_GENERATOR) {
        run_generator(s, node, out);
    } else if (n.kind == SYNTH_FILTER) {
        filter_for(n.sub_kind)(s, node, out);
    }
    n.buffer = out;
}

// Writes the output node's buffer into the sound: a box filter of eight
// values at every fourth, clamped to 16 bits, faded in and out.
void write_sound(csynth *s, csound *sound) {
    int64_t bytes = sound->samples > 0 && sound->bits > 0 ? int64_t(sound->samples) * sound->bits / 8 : 0;
    if (!sound->data) bytes = 0;
    // As many 16-bit samples as the block holds, whatever its sample size.
    const int n = int(std::min<int64_t>(sound->samples, bytes / 2));
    auto *out = static_cast<int16_t *>(sound->data);
    if (n < 1) return;
    int written = 0;
    const int32_t *b = valid_node(s->output_node) ? s->nodes[s->output_node].buffer : nullptr;
    if (b) {
        const int length = s->length;
        for (int j = 0; j < n && 4 * int64_t(j + 1) < length; j++) {
            int64_t sum = 0;
            int count = 0;
            for (int64_t k = 4 * int64_t(j); k < 4 * int64_t(j) + 8 && k < length; k++, count++) sum += b[k];
            out[j] = int16_t(std::clamp<int64_t>(sum / count, -32767, 32767));
            written = j + 1;
        }
    }
    // Samples the node did not reach are silent.
    std::memset(out + written, 0, size_t(n - written) * sizeof(int16_t));
    const synth_node *last = b ? &s->nodes[s->output_node] : nullptr;
    bool unfaded = last && last->kind == SYNTH_FILTER && last->sub_kind == SYNTH_CLIP_STEP && last->p[7].base != 0;
    if (unfaded || s->length <= FADE_SAMPLES) return;
    for (int i = 0; i < FADE_SAMPLES && i < n; i++) {
        out[i] = int16_t(out[i] * i / FADE_SAMPLES);
        out[n - 1 - i] = int16_t(out[n - 1 - i] * i / FADE_SAMPLES);
    }
}

// ---------------------------------------------------------------------------
// "CSYN" chunks: the length, the seed, a format flag (1), a word not used,
// the node count N, then N node records of the fields in order (the buffer
// excepted): kind, sub-kind, flag, 8 x {base, current, source, mode}, 64
// table bytes, table length.

constexpr uint32_t ID_CSYN = tamu_chunk_id("CSYN");
constexpr int NODE_RECORD_BYTES = 3 * 4 + SYNTH_SLOTS * 16 + SYNTH_TABLE + 4;

int node_count(const csynth *s) {
    int count = 0;
    for (int k = 0; k < SYNTH_NODES; k++)
        if (s->nodes[k].kind != SYNTH_EMPTY) count = k + 1;
    return count;
}

int write_synth_chunk(cfile *file, const void *item) {
    const csynth *s = static_cast<const csynth *>(item);
    const int count = node_count(s);
    bool ok = tamu_fwrite_uint32(file, ID_CSYN) == 4 && tamu_fwrite_uint32(file, 0) == 4;
    const int32_t words[5] = {s->length, s->seed, 1, 0, count};
    for (int32_t word : words) ok = ok && tamu_fwrite_int32(file, word) == 4;
    for (int k = 0; k < count && ok; k++) {
        const synth_node &n = s->nodes[k];
        ok = tamu_fwrite_int32(file, n.kind) == 4 && tamu_fwrite_int32(file, n.sub_kind) == 4 &&
             tamu_fwrite_int32(file, n.flag) == 4;
        for (const synth_param &p : n.p)
            ok = ok && tamu_fwrite_int32(file, p.base) == 4 && tamu_fwrite_int32(file, p.current) == 4 &&
                 tamu_fwrite_int32(file, p.source) == 4 && tamu_fwrite_int32(file, p.mode) == 4;
        ok = ok && tamu_fwrite(n.table, 1, SYNTH_TABLE, file) == SYNTH_TABLE &&
             tamu_fwrite_int32(file, n.table_length) == 4;
    }
    return ok ? 0 : 1;
}

void *read_synth_chunk(cfile *file, uint32_t, int64_t available, const char **failure) {
    if (available < 20) return *failure = "header runs past the end", nullptr;
    int32_t length = tamu_fread_int32(file);
    int32_t seed = tamu_fread_int32(file);
    int32_t format = tamu_fread_int32(file);
    tamu_fread_int32(file);
    int32_t count = tamu_fread_int32(file);
    if (format == 0) length /= 2;   // descriptions of the first format stored twice the length
    if (length < 0 || length > SYNTH_MAX_LENGTH) return *failure = "length out of range", nullptr;
    if (count > SYNTH_NODES) return *failure = "more than 32 nodes", nullptr;
    if (count > 0 && int64_t(count) * NODE_RECORD_BYTES > available - 20)
        return *failure = "node records run past the end", nullptr;
    csynth *s = tamu_create_synth(0);
    s->length = length;
    s->seed = seed;
    for (int k = 0; k < count; k++) {
        synth_node &n = s->nodes[k];
        n.kind = tamu_fread_int32(file);
        n.sub_kind = tamu_fread_int32(file);
        n.flag = tamu_fread_int32(file);
        for (synth_param &p : n.p) {
            p.base = tamu_fread_int32(file);
            p.current = tamu_fread_int32(file);
            p.source = tamu_fread_int32(file);
            p.mode = tamu_fread_int32(file);
        }
        tamu_fread(n.table, 1, SYNTH_TABLE, file);
        n.table_length = tamu_fread_int32(file);
        if (n.kind < SYNTH_EMPTY || n.kind > SYNTH_FILTER) {
            tamu_destroy_synth(s);
            return *failure = "node kind out of range", nullptr;
        }
        if (n.table_length < 0 || n.table_length > SYNTH_TABLE) {
            tamu_destroy_synth(s);
            return *failure = "node table length out of range", nullptr;
        }
    }
    return s;
}

void destroy_synth_item(void *item) { tamu_destroy_synth(static_cast<csynth *>(item)); }

}  // namespace

int32_t fmul_i(int32_t a, int32_t b) { return int32_t(uint64_t(int64_t(a) * b >> 16)); }

void evaluate_all_p(synth_node *nodes, int node, int i) {
    if (!nodes || !valid_node(node)) return;
    synth_node &n = nodes[node];
    for (synth_param &p : n.p) {
        int32_t v = p.base;
        const int32_t *src = valid_node(p.source) && p.source != node ? nodes[p.source].buffer : nullptr;
        if (src && i >= 0) {
            if (p.mode == SYNTH_MOD_ADD)
                v = int32_t(uint32_t(v) + uint32_t(src[i]));
            else if (p.mode == SYNTH_MOD_MUL)
                v = int32_t(uint64_t((int64_t(v >> 4) * (src[i] >> 4)) >> 8));
        }
        p.current = v;
    }
    if (n.kind == SYNTH_GENERATOR) {
        n.p[0].current = int32_t(uint32_t(n.p[0].current) * 2);
        n.p[7].current = int32_t(uint32_t(n.p[7].current) * 2);
    } else if (n.kind == SYNTH_FILTER && n.sub_kind == SYNTH_DELAY) {
        n.p[1].current /= 2;
    }
}

void evaluate_synth_node(csynth *s, int node) {
    if (s && valid_node(node)) evaluate(s, node, 0);
}

namespace {

// Runs one filter on the node into a new buffer that replaces the node's.
void apply_into(csynth *s, int node, void (*filter)(csynth *, int, int32_t *)) {
    if (!s || !valid_node(node) || s->length < 1 || s->length > SYNTH_MAX_LENGTH) return;
    auto *out = static_cast<int32_t *>(tamu_malloc(s->length * int(sizeof(int32_t))));
    std::memset(out, 0, size_t(s->length) * sizeof(int32_t));
    synth_node &n = s->nodes[node];
    tamu_free(n.buffer);
    n.buffer = nullptr;   // the node reads no buffer of its own meanwhile
    filter(s, node, out);
    n.buffer = out;
}

}  // namespace

void apply_synth_filter_lphp(csynth *s, int node) { apply_into(s, node, lphp); }
void apply_synth_filter_delay(csynth *s, int node) { apply_into(s, node, delay); }
void apply_synth_filter_mix(csynth *s, int node) { apply_into(s, node, mix); }
void apply_synth_filter_reduce(csynth *s, int node) { apply_into(s, node, reduce); }

void apply_synth_filter(csynth *s, int node) {
    if (s && valid_node(node)) apply_into(s, node, filter_for(s->nodes[node].sub_kind));
}

csynth *tamu_create_synth(int n) {
    if (n < 0 || n > SYNTH_MAX_LENGTH / 4) return nullptr;
    auto *s = static_cast<csynth *>(tamu_malloc(sizeof(csynth)));
    std::memset(s, 0, sizeof *s);
    s->length = n * 4;
    s->output_node = -1;
    tamu_items_created++;
    return s;
}

void tamu_synth_clear_buffers(csynth *s) {
    if (!s) return;
    tamu_destroy_sound(s->output_sound);   // stops it first where it plays
    s->output_sound = nullptr;
    free_node_buffers(s);
}

void tamu_destroy_synth(csynth *s) {
    if (!s) return;
    tamu_synth_clear_buffers(s);
    tamu_free(s);
    tamu_items_created--;
}

void tamu_synth_generate_slice(csynth *s, csound *sound, int keep) {
    if (!s || !s->generating) return;
    uint32_t high, low;
    tamu_random_get_seeds(&high, &low);
    tamu_srand(uint32_t(s->seed));
    if (s->next_node <= 0) {
        s->next_node = 0;
        s->output_node = -1;
        free_node_buffers(s);
    }
    if (s->next_node < SYNTH_NODES) {
        synth_node &n = s->nodes[s->next_node];
        if (n.kind != SYNTH_EMPTY && !n.buffer) {
            s->output_node = s->next_node;
            evaluate_synth_node(s, s->next_node);
        }
        s->next_node++;
    }
    if (s->next_node >= SYNTH_NODES) {
        s->generating = 0;
        if (!sound) {
            if (!s->output_sound) s->output_sound = tamu_create_sound(s->length / 4, 16);
            sound = s->output_sound;
        }
        if (sound) write_sound(s, sound);
        if (!(keep & 1)) free_node_buffers(s);
    }
    tamu_random_set_seeds(high, low);
}

void tamu_synth_generate(csynth *s, csound *sound, int keep) {
    if (!s) return;
    s->generating = 1;
    s->next_node = 0;
    while (s->generating) tamu_synth_generate_slice(s, sound, keep);
}

void tamu_synth_install_pod_hooks() {
    const tamu_pod_item_hooks hooks = {read_synth_chunk, write_synth_chunk, destroy_synth_item};
    tamu_set_pod_item_hooks(CPOD_ITEM_SYNTH, &hooks);
}
