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

// Clears cconfig and sets the defaults.
void tamu_config_default();
// Reads "config.txt" from the application-data folder (else the virtual
// disk's "config.txt") through tamu_config_read. No file: nothing changes.
void tamu_config_load();
// Reads config lines from an open file into cconfig: library keys are
// applied, every other line (comments and empty lines too) goes to the
// load hook, then the loaded values are clamped and loaded := 1. The file
// stays open.
void tamu_config_read(cfile *file);
// Rewrites "config.txt" from the template and the save hook, replacing
// the old file whole (tamu_fopen_save); a failed write keeps the old file.
// Returns 0, or non-zero when nothing was saved.
int tamu_config_save();
void tamu_set_load_config_func(tamu_load_config_func function);
void tamu_set_save_config_func(tamu_save_config_func function);
// Applies the ranges of the loaded settings after the options: frame
// sleep 0..200, volumes 0..256, a mix buffer size outside 512..8192
// becomes 1024 except 0, which an option gives for "no audio".
void tamu_config_clamp();
// A copy of text without leading and trailing bytes 0..32 (bytes of 0x80
// and above, as in UTF-8 names, are kept). The copy lives until the next
// call.
const char *tamu_trim(const char *text);
