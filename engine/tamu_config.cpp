// The library's configuration record and "config.txt".
#include "tamu.h"

#include <cstring>

cconfig_record cconfig;
cconfig_record cconfig0;

static tamu_load_config_func load_hook = nullptr;
static tamu_save_config_func save_hook = nullptr;

void tamu_set_load_config_func(tamu_load_config_func function) { load_hook = function; }
void tamu_set_save_config_func(tamu_save_config_func function) { save_hook = function; }

void tamu_config_default() {
    std::memset(&cconfig, 0, sizeof cconfig);
    cconfig.sound_volume = 256;
    cconfig.music_volume = 256;
    cconfig.frame_sleep_ms = 5;
    cconfig.window_position[0] = -1;
    cconfig.window_position[1] = -1;
    cconfig.mix_buffer_size = 1024;
    cconfig.windib = -1;
    cconfig.fullscreen_method = 1;
    cconfig.pixel_perfect = -1;
    cconfig.keep_aspect = 1;
    cconfig.timeout = 30;
}

void tamu_config_clamp() {
    if (cconfig.frame_sleep_ms < 0) cconfig.frame_sleep_ms = 0;
    if (cconfig.frame_sleep_ms > 200) cconfig.frame_sleep_ms = 200;
    if (cconfig.sound_volume < 0) cconfig.sound_volume = 0;
    if (cconfig.sound_volume > 256) cconfig.sound_volume = 256;
    if (cconfig.music_volume < 0) cconfig.music_volume = 0;
    if (cconfig.music_volume > 256) cconfig.music_volume = 256;
    if (cconfig.mix_buffer_size < 512 || cconfig.mix_buffer_size > 8192) cconfig.mix_buffer_size = 1024;
}

void tamu_config_load() {
    (void)load_hook;
}

void tamu_config_save() {
    (void)save_hook;
}
