// The millisecond clock, delays and the platform error text, over SDL.
#include "tamu.h"

#include <SDL2/SDL.h>

int tamu_get_time() { return static_cast<int>(SDL_GetTicks()); }

void tamu_delay(int ms) {
    if (ms > 0) SDL_Delay(static_cast<Uint32>(ms));
}

const char *tamu_platform_error() { return SDL_GetError(); }

void tamu_clear_platform_error() { SDL_ClearError(); }
