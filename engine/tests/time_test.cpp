// The millisecond clock and delays.
#include "tamu.h"

#include <gtest/gtest.h>

#include <SDL2/SDL.h>

namespace {

TEST(Time, ClockIsSdlsMillisecondsAndDelaysSleepAtLeastAsAsked) {
    int before = tamu_get_time();
    Uint32 sdl = SDL_GetTicks();
    int after = tamu_get_time();
    EXPECT_LE(static_cast<Uint32>(before), sdl);
    EXPECT_LE(sdl, static_cast<Uint32>(after));

    for (int ms : {1, 20, 50}) {
        SCOPED_TRACE(ms);
        int start = tamu_get_time();
        tamu_delay(ms);
        EXPECT_GE(tamu_get_time() - start, ms);
    }
    // Nothing to wait for: a negative count must not become a wait of
    // some 49 days (the test would time out).
    tamu_delay(0);
    tamu_delay(-5);
    tamu_delay(-2147483647 - 1);
    EXPECT_GE(tamu_get_time(), after);
}

}  // namespace
