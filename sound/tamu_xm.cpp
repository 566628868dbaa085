// The module player's rendering as far as this build has it: no module is
// ever loaded or started, so a module renders as silence.
#include "tamu_xm.h"

#include <cstring>

void tamu_mix_xm_chunk(xm_playstate *, int16_t *buffer, int n) {
    if (buffer && n > 0) std::memset(buffer, 0, static_cast<size_t>(n) * sizeof *buffer);
}
