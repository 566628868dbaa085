// Process start-up, the main loop, shut-down, the library options and the log.
#include "tamu.h"

#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

tamu_state_record tamu_state;
tamu_upper_hooks tamu_hooks;

int tamu_inited = 0;
int tamu_console = 0;
volatile int tamu_quit = 0;
int tamu_exit_status = 0;
int tamu_system_active = 1;
int tamu_processing_gui = 0;
int tamu_argc = 0;
char **tamu_argv = nullptr;
char tamu_argv0[512];
int tamu_start_time = 0;
int tamu_debug_indentation = 0;
char tamu_debug_string[4096];
int tamu_items_created = 0;
int tamu_last_mouse_x = 0, tamu_last_mouse_y = 0;

static char pending_application_title[256] = "tamu";

static void copy_text(char *out, int capacity, const char *text) {
    std::snprintf(out, capacity, "%s", text ? text : "");
}

void tamu_set_application_title(const char *title) {
    if (tamu_inited) return;
    copy_text(pending_application_title, sizeof pending_application_title, title);
}

void tamu_set_window_title(const char *title) {
    if (!title) {
        tamu_state.window_title_text = nullptr;
        return;
    }
    copy_text(tamu_state.window_title, sizeof tamu_state.window_title, title);
    tamu_state.window_title_text = tamu_state.window_title;
}

void tamu_set_argv0(const char *text) { copy_text(tamu_argv0, sizeof tamu_argv0, text); }

void tamu_set_paused(int value) { tamu_state.paused = value; }

void tamu_reset_timer() { tamu_start_time = tamu_get_time(); }

int tamu_get_elapsed_time() {
    int elapsed = tamu_get_time() - tamu_start_time;
    if (elapsed < 0) {
        tamu_reset_timer();
        return 0;
    }
    return elapsed;
}

int tamu_console_program() {
    tamu_console = 1;
    return 0;
}

void tamu_skip_frame() {}
void tamu_set_application_icon() {}

// ---------------------------------------------------------------------------
// The log

// The log of one run holds at most this much (a cart that fails a call
// over and over would otherwise fill the disk with the same line); then
// one line says so and the rest of the run's lines are left out.
constexpr long LOG_LIMIT = 4L << 20;
constexpr const char *LOG_FULL = "\n[the log is full: the rest of this run's lines are left out]\n";
static FILE *full_log = nullptr;   // the stream that is full
static long full_at = 0;            // its length then

void tamu_debug(const char *text) {
    FILE *log = tamu_state.log;
    if (!log || !text) return;
    long at = std::ftell(log);
    if (at < 0) at = 0;
    // (A new log, or the same stream started again, is not full.)
    if (log == full_log && at >= full_at) return;
    size_t length = std::strlen(text);
    long needed = long(length > 512 ? 25 : length) + 2L * tamu_debug_indentation;
    if (at + needed + long(std::strlen(LOG_FULL)) > LOG_LIMIT) {
        std::fputs(LOG_FULL, log);
        std::fflush(log);
        full_log = log;
        full_at = std::ftell(log);
        return;
    }
    if (length > 512) {
        std::fputs("[debug string too long!]\n", log);
        std::fflush(log);
        return;
    }
    if (text[0] == '<') {
        if (tamu_debug_indentation > 0) tamu_debug_indentation--;
        text++;
    }
    for (int i = 0; i < tamu_debug_indentation; i++) std::fputs("  ", log);
    bool open_level = false;
    if (text[0] == '>') {
        open_level = true;
        text++;
    }
    std::fputs(text, log);
    std::fflush(log);
    if (open_level) tamu_debug_indentation++;
}

void tamu_debugf(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(tamu_debug_string, sizeof tamu_debug_string, format, args);
    va_end(args);
    tamu_debug(tamu_debug_string);
}

// ---------------------------------------------------------------------------
// Library options

namespace {
enum option_kind { OPT_INT, OPT_TEXT, OPT_RECT, OPT_TIMEOUT, OPT_FLAG };
struct option_entry {
    const char *keyword;
    option_kind kind;
    int *field;          // integer options
    char *text;          // text options (1024 characters)
};
}  // namespace

static const option_entry *option_table(int *count) {
    static option_entry table[] = {
        {"width", OPT_INT, &cconfig.window_size[0], nullptr},
        {"height", OPT_INT, &cconfig.window_size[1], nullptr},
        {"show_fps", OPT_INT, &cconfig.show_fps, nullptr},
        {"windowed", OPT_INT, &cconfig.windowed, nullptr},
        {"window_x", OPT_INT, &cconfig.window_position[0], nullptr},
        {"window_y", OPT_INT, &cconfig.window_position[1], nullptr},
        {"frameless", OPT_INT, &cconfig.frameless, nullptr},
        {"fullscreen_method", OPT_INT, &cconfig.fullscreen_method, nullptr},
        {"frame_sleep_ms", OPT_INT, &cconfig.frame_sleep_ms, nullptr},
        {"sound_volume", OPT_INT, &cconfig.sound_volume, nullptr},
        {"sound", OPT_INT, &cconfig.sound_volume, nullptr},
        {"music_volume", OPT_INT, &cconfig.music_volume, nullptr},
        {"music", OPT_INT, &cconfig.music_volume, nullptr},
        {"mix_buffer_size", OPT_INT, &cconfig.mix_buffer_size, nullptr},
        {"software_blit", OPT_INT, &cconfig.software_blit, nullptr},
        {"home", OPT_TEXT, nullptr, cconfig.home_path},
        {"desktop", OPT_TEXT, nullptr, cconfig.desktop_path},
        {"pixel_perfect", OPT_INT, &cconfig.pixel_perfect, nullptr},
        {"draw_rect", OPT_RECT, cconfig.draw_rect, nullptr},
        {"timeout", OPT_TIMEOUT, &cconfig.timeout, nullptr},
        {"headless", OPT_FLAG, &cconfig.headless, nullptr},
    };
    *count = sizeof table / sizeof table[0];
    return table;
}

void tamu_process_arguments(int argc, char **argv) {
    if (argc < 2 || !argv) return;
    int count;
    const option_entry *table = option_table(&count);
    const option_entry *pending = nullptr;
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (!arg) break;
        if (arg[0] == '|' || arg[0] == '&' || arg[0] == '>') break;
        if (arg[0] == '-') {
            pending = nullptr;
            for (int k = 0; k < count; k++)
                if (std::strncmp(arg + 1, table[k].keyword, std::strlen(table[k].keyword)) == 0)
                    pending = &table[k];
            continue;
        }
        if (!pending) continue;
        int value = 0;
        switch (pending->kind) {
        case OPT_INT:
            if (std::sscanf(arg, "%d", &value) != 1) value = 0;
            *pending->field = value;
            break;
        case OPT_TEXT:
            copy_text(pending->text, 1024, arg);
            break;
        case OPT_RECT:
            pending->field[0] = 0;
            pending->field[1] = 0;
            pending->field[2] = 4096;
            pending->field[3] = 4096;
            std::sscanf(arg, "%d,%d,%d,%d", &pending->field[0], &pending->field[1],
                        &pending->field[2], &pending->field[3]);
            break;
        case OPT_TIMEOUT:
            if (std::sscanf(arg, "%d", &value) != 1) value = 0;
            if (value < 1) value = 1;
            if (value > 240) value = 240;
            *pending->field = value;
            break;
        case OPT_FLAG:
            *pending->field = 1;
            break;
        }
        pending = nullptr;
    }
}

// ---------------------------------------------------------------------------
// Start-up and shut-down

static void open_log() {
    char path[1024];
    tamu_prefix_with_appdata_path("log.txt", path);
    tamu_state.log = tamu_platform_fopen(path, "wb");
}

int tamu_init() {
    if (tamu_inited) return 0;
    tamu_items_created = 0;
    std::memset(&tamu_state, 0, sizeof tamu_state);
    tamu_debug_indentation = 0;
    copy_text(tamu_state.application_title, 256, pending_application_title);
    copy_text(tamu_state.window_title, 256, pending_application_title);
    tamu_state.window_title_text = tamu_state.window_title;

    tamu_config_default();
    if (tamu_argc > 0 && tamu_argv) tamu_process_arguments(tamu_argc, tamu_argv);
    open_log();
    tamu_debug(">tamu_init\n");
#ifdef _WIN32
    tamu_debug("platform: Windows\n");
#else
    tamu_debug("platform: Linux\n");
#endif
    // The first pass was only for the folder: the snapshot that is saved
    // at exit must hold the defaults and the file, never the options of
    // this run (even where the file has no line of its own).
    char home_path[sizeof cconfig.home_path];
    std::memcpy(home_path, cconfig.home_path, sizeof home_path);
    tamu_config_default();
    std::memcpy(cconfig.home_path, home_path, sizeof home_path);
    tamu_config_load();
    cconfig0 = cconfig;
    if (tamu_argc > 0 && tamu_argv) {
        tamu_process_arguments(tamu_argc, tamu_argv);
        // Options get the same ranges as the file.
        tamu_config_clamp();
    }
    if (cconfig.headless) tamu_platform_attach_console();

    if (!tamu_console) {
        tamu_debug("tamu_system_init\n");
        tamu_system_init();
        tamu_debug("tamu_reset_timer\n");
        tamu_start_time = tamu_get_time();
        tamu_debug("tamu_gui_init\n");
        tamu_gui_init();
        tamu_debug("tamu_keys_init\n");
        tamu_keys_init();
        tamu_debug("tamu_text_init\n");
        tamu_text_init();
        tamu_debug("tamu_video_init\n");
        tamu_video_init();
        tamu_debug("tamu_mouse_init\n");
        tamu_mouse_init();
        tamu_debug("tamu_joystick_init\n");
        tamu_joystick_init();
    }
    tamu_srand(0);
    if (cconfig.sessions < INT_MAX) cconfig.sessions++;
    tamu_debug("<ok\n");
    tamu_inited = 1;
    return 0;
}

static void shut_down() {
    tamu_inited = 0;
    tamu_debug(">tamu_exit\n");
    tamu_debug("cmusic_stop\n");
    if (tamu_hooks.music_stop) tamu_hooks.music_stop();
    tamu_debug("tamu_main_exit\n");
    tamu_main_exit();
    tamu_debug("tamu_config_save\n");
    tamu_config_save();
    tamu_debug("tamu_sound_exit\n");
    if (tamu_hooks.sound_exit) tamu_hooks.sound_exit();
    tamu_debug("tamu_video_exit\n");
    tamu_video_exit();
    tamu_debug("tamu_joystick_exit\n");
    tamu_joystick_exit();
    tamu_debug("tamu_system_exit\n");
    if (!tamu_console) {
        tamu_text_exit();
        tamu_keys_exit();
        tamu_gui_exit();
        tamu_system_exit();
    }
    tamu_debugf("tamu_items_created: %d\n", tamu_items_created);
    tamu_debug("<ok\n");
    if (tamu_state.log) std::fclose(tamu_state.log);
    tamu_state.log = nullptr;
}

int tamu_exit() {
    if (tamu_inited) shut_down();
    return 0;
}

int tamu_restart() {
    if (tamu_inited) shut_down();
    tamu_main_init(tamu_argc, tamu_argv);
    return 0;
}

int tamu_handle_messages() {
    int result = 0;
    if (!tamu_system_active)
        for (int i = 0; i < 10; i++) tamu_handle_system_messages();
    result = tamu_handle_system_messages();
    if (!tamu_processing_gui) {
        tamu_processing_gui = 1;
        tamu_process_gui();
        tamu_processing_gui = 0;
    }
    tamu_get_mouse(&tamu_last_mouse_x, &tamu_last_mouse_y, nullptr);
    if (tamu_hooks.update_music_fading) tamu_hooks.update_music_fading();
    return result;
}

int tamu_main(int argc, char **argv) {
    tamu_set_argv0(argc > 0 && argv ? argv[0] : "");
    tamu_argc = argc;
    tamu_argv = argv;
    tamu_main_init(argc, argv);
    tamu_quit = 0;
    do {
        tamu_main_update();
        tamu_main_draw();
        tamu_blit_back_page();
        tamu_handle_messages();
    } while (!tamu_quit);
    if (tamu_inited) shut_down();
    return tamu_exit_status;
}

int tamu_error_needs_message_box(int windows_program, tamu_output_kind out, tamu_output_kind err) {
    auto shows_text = [](tamu_output_kind kind) {
        return kind == TAMU_OUTPUT_CONSOLE || kind == TAMU_OUTPUT_FILE || kind == TAMU_OUTPUT_PIPE;
    };
    return windows_program && !shows_text(out) && !shows_text(err) ? 1 : 0;
}

int tamu_show_startup_error(const char *text) {
#ifdef _WIN32
    const int windows_program = 1;
#else
    const int windows_program = 0;
#endif
    if (!tamu_error_needs_message_box(windows_program, tamu_platform_output_kind(1), tamu_platform_output_kind(2)))
        return 0;
    const char *title = tamu_state.application_title[0] ? tamu_state.application_title : pending_application_title;
    return tamu_platform_message_box(title, text ? text : "") == 0 ? 1 : 0;
}

[[noreturn]] void tamu_fatal_error(const char *message) {
    const char *sdl_error = tamu_platform_error();
    if (sdl_error && sdl_error[0]) {
        std::printf("SDL Error: %s\n", sdl_error);
        tamu_clear_platform_error();
    }
    std::printf("\n\n** FATAL ERROR: %s\n\n", message ? message : "");
    std::fflush(stdout);
    std::snprintf(tamu_debug_string, sizeof tamu_debug_string, "\n\n** FATAL ERROR: %.400s\n\n",
                  message ? message : "");
    tamu_debug(tamu_debug_string);
    std::snprintf(tamu_debug_string, sizeof tamu_debug_string, "** FATAL ERROR: %.400s", message ? message : "");
    tamu_show_startup_error(tamu_debug_string);
    static int exiting = 0;
    if (!exiting) {
        exiting = 1;
        tamu_exit();
    }
    std::exit(1);
}
