// Process start-up, the main loop, shut-down, the library options and the log.
#pragma once

#include <cstdio>

// The four application callbacks, called by name.
int tamu_main_init(int argc, char **argv);
int tamu_main_update();
int tamu_main_draw();
int tamu_main_exit();

// The library state record (one global instance). Other parts of the
// engine own further fields; tamu_init clears the whole record.
struct tamu_state_record {
    char application_title[256];
    char window_title[256];
    const char *window_title_text;   // read when the window is created, or null
    FILE *log;                       // the open log stream, or null
    int wheel_x, wheel_y;            // mouse-wheel accumulators
    int paused;

    // video and presentation
    int fps;                         // frames per second shown
    int fps_smoothed_ms16;           // smoothed frame time, 16.16 milliseconds
    int last_frame_time;
    int windowed;                    // current window state
    int window_w, window_h;
    int fps16;                       // smoothed frames per second, 16.16
    int window_size_set;             // 1 once tamu_set_window_size has run

    // mixer
    int mixer_running;
    int audio_paused;            // the shell's audio-pause word: non-zero plays silence
    int recording;               // the mixer appends its output to the record buffer
    int music_patterns_played;   // patterns the song has moved through
    int music_pattern;           // current music pattern, -1 once a song stops
};
extern tamu_state_record tamu_state;

extern int tamu_inited;
extern int tamu_console;
extern volatile int tamu_quit;
// The status the process ends with when it quits (tamu_main's result, and
// the exit status after the quit event, Ctrl+Q or Alt+F4); the
// application sets it. Initially 0.
extern int tamu_exit_status;
extern int tamu_system_active;
extern int tamu_processing_gui;
extern int tamu_argc;
extern char **tamu_argv;
extern char tamu_argv0[512];
extern int tamu_start_time;
extern int tamu_debug_indentation;
extern char tamu_debug_string[4096];
extern int tamu_items_created;
extern int tamu_last_mouse_x, tamu_last_mouse_y;

int tamu_main(int argc, char **argv);
int tamu_init();
int tamu_exit();
int tamu_restart();
int tamu_console_program();
void tamu_set_application_title(const char *title);
void tamu_set_window_title(const char *title);
void tamu_set_argv0(const char *text);
void tamu_set_paused(int value);
void tamu_reset_timer();
int tamu_get_elapsed_time();
int tamu_handle_messages();
void tamu_debug(const char *text);
// Reports the message and ends the process with a non-zero status.
[[noreturn]] void tamu_fatal_error(const char *message);
void tamu_process_arguments(int argc, char **argv);
void tamu_skip_frame();
void tamu_set_application_icon();

// Formats into tamu_debug_string and logs it.
void tamu_debugf(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Subsystems above the engine (sound) install these; the engine calls
// them at the points its main loop and shut-down give. Null does nothing.
struct tamu_upper_hooks {
    void (*music_stop)();
    void (*sound_exit)();
    void (*update_music_fading)();
    // The audio device's callback: fills len bytes of signed 16-bit samples.
    void (*mixer_callback)(void *userdata, unsigned char *stream, int len);
    // Applies the configured volumes (0..256) once the device is set up.
    void (*set_sound_volume)(int volume);
    void (*set_music_volume)(int volume);
};
extern tamu_upper_hooks tamu_hooks;
