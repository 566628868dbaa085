// The sample sound record: a block of 16-bit samples that the mixer can
// play on one of its channels in place of the synthesiser's output.
#pragma once

#include <cstdint>

struct csound {
    int32_t samples;      // number of samples
    int32_t bits;         // bits per sample; data holds samples * bits / 8 bytes
    int32_t frequency;    // stored only: the mixer plays every sample at the output rate
    int32_t reserved;
    void *data;           // the samples, owned by the record
    void *read_pointer;   // where the mixer reads from: the same block as data
    int32_t loop;         // non-zero: starts again at sample 0 at the end
    int32_t volume;       // stored only
    int32_t channel;      // mixer channel 0-7 playing it, -1 when not playing
};
