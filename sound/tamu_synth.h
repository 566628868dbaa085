// The node synthesiser: a graph of up to 32 generators and filters that
// read each other's output, rendered at four times the output rate into a
// sample sound, one node per slice so that a caller can spread the work
// over frames. Pods hold descriptions as "CSYN" items.
//
// Parameter values are 16.16 fixed point (0x10000 = 1) unless said
// otherwise; node buffers hold int32 samples on the scale where 0x10000 is
// twice the loudest 16-bit sample.
#pragma once

#include <cstdint>

struct csound;

constexpr int SYNTH_NODES = 32;
constexpr int SYNTH_SLOTS = 8;
constexpr int SYNTH_TABLE = 64;
// The longest node buffer, in samples at four times the output rate
// (about 47 seconds of sound): keeps a rendering of 32 nodes within
// 512 MB however a description was made.
constexpr int SYNTH_MAX_LENGTH = 1 << 22;

// Node kinds.
constexpr int SYNTH_EMPTY = 0;
constexpr int SYNTH_GENERATOR = 1;
constexpr int SYNTH_FILTER = 2;
// Generator waveforms.
constexpr int SYNTH_SLOPE = 1;
constexpr int SYNTH_SQUARE = 2;
constexpr int SYNTH_SINE = 3;
constexpr int SYNTH_NOISE = 4;
constexpr int SYNTH_TABLE_WAVE = 5;
constexpr int SYNTH_STEPPED_PITCH = 6;
constexpr int SYNTH_SAMPLE = 7;
// Filter kinds.
constexpr int SYNTH_LPHP = 1;
constexpr int SYNTH_DELAY = 2;
constexpr int SYNTH_CLIP_STEP = 3;
constexpr int SYNTH_MIX = 4;
// How a parameter follows its source node: not, by adding its sample, or
// by multiplying by it as 16.16 values.
constexpr int SYNTH_MOD_NONE = 0;
constexpr int SYNTH_MOD_ADD = 1;
constexpr int SYNTH_MOD_MUL = 2;

// One parameter slot: current = base, changed by the source node's sample
// as the mode says (add, or multiply as 16.16 values).
struct synth_param {
    int32_t base;
    int32_t current;
    int32_t source;   // node 0-31; other values: no modulation
    int32_t mode;     // SYNTH_MOD_*
};

// Slots of a generator: 0 phase step per sample, 1 amplitude, 2 pulse or
// noise width (for the sample waveform its source node is the sample, and
// for the stepped pitch its value is the step factor 1-30), 3 voice count
// (1-16), 4 detune factor between voices, 5 phase offset per voice,
// 6 amplitude factor between voices, 7 change of the phase step per
// sample. A generator's slots 0 and 7 count double; a delay's slot 1 half.
// Filters: see the filter functions.
struct synth_node {
    int32_t kind;       // SYNTH_EMPTY, SYNTH_GENERATOR, SYNTH_FILTER
    int32_t sub_kind;   // a waveform or a filter kind
    int32_t flag;       // generators: non-zero wraps the phase, 0 clamps it
    synth_param p[SYNTH_SLOTS];
    int8_t table[SYNTH_TABLE];   // waveforms 5 and 6
    int32_t table_length;        // 0-64; 0 means all 64
    int32_t *buffer;             // length samples once evaluated, owned by the node
};

struct csynth {
    int32_t length;   // samples per node buffer: four times the output samples
    int32_t seed;     // the random seed of every rendering
    synth_node nodes[SYNTH_NODES];
    csound *output_sound;   // made on the first rendering that needs it: length / 4 samples
    int32_t generating;     // 1 while a rendering is under way
    int32_t next_node;      // 0-32: the node the next slice evaluates
    int32_t output_node;    // node whose buffer becomes the sound; -1 none
};

// An empty description for n output samples (node buffers of n * 4).
// Counts one engine item. Null for n < 0 or n * 4 over SYNTH_MAX_LENGTH.
csynth *tamu_create_synth(int n);
// Stops and destroys the output sound, frees every node buffer and the
// record. Null: nothing.
void tamu_destroy_synth(csynth *s);
// Stops and destroys the output sound and frees every node buffer.
void tamu_synth_clear_buffers(csynth *s);
// Renders the whole description at once into sound (null: the record's own
// output sound). Bit 0 of keep keeps the node buffers afterwards.
void tamu_synth_generate(csynth *s, csound *sound, int keep);
// One slice of a rendering under way (generating set, next_node 0 at its
// start, as tamu_synth_generate sets them): evaluates the next node; the
// slice after the last node writes the sound. Nothing while not
// generating.
void tamu_synth_generate_slice(csynth *s, csound *sound, int keep);
// Fills the node's buffer, after its sources. Empty nodes, nodes that
// already have a buffer and numbers outside 0-31 are left alone.
void evaluate_synth_node(csynth *s, int node);
// The node's parameter values at sample i, with their modulation, into
// each slot's current value.
void evaluate_all_p(synth_node *nodes, int node, int i);
// (a * b) >> 16 with a 64-bit product (low 32 bits).
int32_t fmul_i(int32_t a, int32_t b);

// The filters, writing the node's buffer from its sources' buffers.
// Low/high-pass: a high-pass pass by slot 2, then a low-pass pass by slot 1
// over slot 0's source.
void apply_synth_filter_lphp(csynth *s, int node);
// Echo taps of slot 0's source every slot 1 samples, each quieter by the
// factor of slot 2, at most slot 3 of them, time-stretched by slot 4.
void apply_synth_filter_delay(csynth *s, int node);
// Slots 0-3 added and scaled by slot 4; slot 6 makes the buffer loopable.
void apply_synth_filter_mix(csynth *s, int node);
// Slot 0's source clamped to [slot 2, slot 1], then stepped by slot 3.
void apply_synth_filter_reduce(csynth *s, int node);
// The filter of the node's sub-kind.
void apply_synth_filter(csynth *s, int node);

// The pod item hooks of synthesisers (tamu_sound_install_pod_hooks).
void tamu_synth_install_pod_hooks();
