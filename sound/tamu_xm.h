// The module player's state as the mixer sees it: the current module and
// whether it plays.
#pragma once

#include <cstdint>

struct xm_module;

struct xm_playstate {
    xm_module *module;   // the current module, null for none
    int32_t playing;
};

// Renders n samples of the current module into buffer.
void tamu_mix_xm_chunk(xm_playstate *state, int16_t *buffer, int n);
