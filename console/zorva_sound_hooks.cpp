// The console's way to the sound library.
#include "zorva_sound_hooks.h"

zorva_sound_hooks zorva_sound{};

void zorva_reset_sound_hooks() { zorva_sound = zorva_sound_hooks{}; }

void console_stop_all_sound() {
    if (zorva_sound.stop_all_sounds) zorva_sound.stop_all_sounds();
    if (zorva_sound.music_stop) zorva_sound.music_stop(0);
}
