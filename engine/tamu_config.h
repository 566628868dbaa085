// The library's configuration record and "config.txt".
#pragma once

struct cfile;

struct cconfig_record {
    int loaded;
    int screen_size[2];
    int window_size[2];
    int windowed;
    int sound_volume;
    int music_volume;
    int frame_sleep_ms;
    int frameless;
    int window_position[2];
    int mix_buffer_size;
    int windib;
    int opengl_blit;
    int show_fps;
    int pod_lz4;
    int large_window;
    int console_sound_mode;
    int rmb_key;
    int fullscreen_method;
    int software_blit;
    int pixel_perfect;
    int keep_aspect;
    int draw_rect[4];
    int sessions;
    int timeout;
    int tab_width;
    int headless;
    char home_path[1024];
    char desktop_path[1024];
};

extern cconfig_record cconfig;
extern cconfig_record cconfig0;

typedef void (*tamu_load_config_func)(const char *line);
typedef void (*tamu_save_config_func)(cfile *file);

void tamu_config_default();
void tamu_config_load();
void tamu_config_save();
void tamu_set_load_config_func(tamu_load_config_func function);
void tamu_set_save_config_func(tamu_save_config_func function);
// Applies the ranges that loading enforces (also after the options).
void tamu_config_clamp();
