// The application state record, the command line and the application's
// keys of "config.txt".
#include "zorva_app.h"

#include "tamu.h"
#include "zorva_cart.h"
#include "zorva_splore.h"
#include "zorva_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

app_record app;
char *auto_load_fn = nullptr;
zorva_cart *pitem[PITEM_SLOTS];
int pitems = 0;
int (*zorva_clock)() = tamu_get_time;

zorva_cart *working_cart() { return pitem[PITEM_SLOTS - 1]; }

void set_working_cart(zorva_cart *cart) {
    zorva_cart *&slot = pitem[PITEM_SLOTS - 1];
    if (slot == cart) return;
    tamu_destroy_zorva_cart(slot);
    slot = cart;
}

void set_default_app_config() {
    app.keyboard_cursor = 0;
    app.gif_length = 8;
    app.screenshot_scale = 3;
    app.gif_scale = 2;
    app.gpio_base = -1;
    app.shift_glyphs = 1;
}

// ---------------------------------------------------------------------------
// The command line

namespace {

enum option_kind { OPTION_NUMBER, OPTION_FLAG, OPTION_PARAMETER, OPTION_UNKNOWN };

struct option_entry {
    const char *name;
    option_kind kind;
    int32_t *field;   // number options
};

bool stops_scan(const char *arg) { return arg[0] == '&' || arg[0] == '|' || arg[0] == '>'; }

void set_flag(const char *name) {
    if (std::strcmp(name, "run") == 0) {
        app.run = 1;
    } else if (std::strcmp(name, "splore") == 0) {
        app.splore = 1;
    } else {   // x, exec
        pstate.exec_mode = 1;
        app.run = 1;
        cconfig.headless = 1;
    }
}

}  // namespace

void process_arguments(int argc, char **argv) {
    if (argc < 2 || !argv) return;
    const option_entry options[] = {
        {"joystick", OPTION_NUMBER, &app.joystick_index},
        {"run", OPTION_FLAG, nullptr},
        {"splore", OPTION_FLAG, nullptr},
        {"gif_len", OPTION_NUMBER, &app.gif_length},
        {"gui_theme", OPTION_NUMBER, &app.gui_theme},
        {"screenshot_scale", OPTION_NUMBER, &app.screenshot_scale},
        {"gif_scale", OPTION_NUMBER, &app.gif_scale},
        {"gpio_base", OPTION_NUMBER, &app.gpio_base},
        {"glitch_test", OPTION_NUMBER, &app.glitch_test},
        {"x", OPTION_FLAG, nullptr},
        {"exec", OPTION_FLAG, nullptr},
        {"p", OPTION_PARAMETER, nullptr},
    };
    const option_entry unknown = {"", OPTION_UNKNOWN, nullptr};
    const option_entry *pending = nullptr;
    for (int i = 1; i < argc && argv[i]; i++) {
        const char *arg = argv[i];
        if (stops_scan(arg)) break;
        if (arg[0] == '-') {
            pending = &unknown;
            for (const option_entry &o : options)
                if (std::strcmp(arg + 1, o.name) == 0) pending = &o;
            if (pending->kind == OPTION_FLAG) {
                set_flag(pending->name);
                pending = nullptr;
            }
            continue;
        }
        if (pending) {
            if (pending->kind == OPTION_NUMBER) {
                int value = 0;
                if (std::sscanf(arg, "%d", &value) != 1) value = 0;
                *pending->field = value;
            } else if (pending->kind == OPTION_PARAMETER) {
                // The parameter of the first run: the run takes it from the
                // pending parameter.
                std::snprintf(pstate.pending_parameter, sizeof pstate.pending_parameter, "%s", arg);
            }
            pending = nullptr;
            continue;
        }
        size_t n = std::strlen(arg);
        char *name = static_cast<char *>(std::malloc(n + 1));
        if (!name) continue;
        std::memcpy(name, arg, n + 1);
        std::free(auto_load_fn);
        auto_load_fn = name;
        tamu_debugf("set auto_load_fn %.400s\n", auto_load_fn);
    }
}

namespace {

const char usage_text[] =
    "usage: zorva [options] [cart]\n"
    "\n"
    "  cart                  a cart file (.zv or .zv.png) to run\n"
    "\n"
    "options of the player:\n"
    "  -run                  run the cart (a cart named alone runs too)\n"
    "  -x, -exec             run the cart at once without a window; its\n"
    "                        output goes to standard output\n"
    "  -splore               open the cart browser at start\n"
    "  -p TEXT               parameter handed to the cart (stat(6))\n"
    "  -joystick N           player at which controllers begin (0..7)\n"
    "  -gif_len N            seconds of GIF recording kept (1..120)\n"
    "  -gui_theme N          0 classic, 1 dark blue code editor\n"
    "  -screenshot_scale N   scale of screenshots (default 3)\n"
    "  -gif_scale N          scale of GIF recordings (default 2)\n"
    "  -gpio_base N          base of the GPIO pins\n"
    "  -glitch_test N        run the reset-glitch test\n"
    "\n"
    "options of the window, sound and folders:\n"
    "  -windowed N           1 to start in a window, 0 full screen\n"
    "  -width N, -height N   window size\n"
    "  -window_x N, -window_y N   window position (-1: any)\n"
    "  -frameless N          1 for a window without frame\n"
    "  -fullscreen_method N  0 maximised window, 1 desktop-sized, 2 real\n"
    "  -pixel_perfect N      1 whole-number scaling, 0 free scaling\n"
    "  -draw_rect X,Y,W,H    fixed place of the picture in the window\n"
    "  -software_blit N      1 to draw without the renderer\n"
    "  -show_fps N           1 to show the frame rate\n"
    "  -frame_sleep_ms N     milliseconds slept each frame (0..200)\n"
    "  -sound N, -music N    volumes (0..256)\n"
    "  -mix_buffer_size N    samples per audio buffer (512..8192)\n"
    "  -timeout N            download time-out in seconds (1..240)\n"
    "  -home PATH            folder for carts, cart data and config.txt\n"
    "  -desktop PATH         folder for screenshots and GIFs\n"
    "  -headless 1           no window\n"
    "\n"
    "  -h, --help            this text\n";

bool is_help(const char *arg) { return std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0; }

}  // namespace

int wants_usage(int argc, char **argv) {
    for (int i = 1; i < argc && argv && argv[i]; i++) {
        if (stops_scan(argv[i])) break;
        if (is_help(argv[i])) return 1;
    }
    return 0;
}

void print_usage() {
    std::fputs(usage_text, stdout);
    std::fflush(stdout);
}

// ---------------------------------------------------------------------------
// "config.txt"

namespace {

bool begins_with(const char *text, const char *prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

// A folder path: the rest of the line after the key and one separator,
// cut after its last slash (a value with none becomes empty).
void read_folder(const char *line, const char *key, char *out, size_t size) {
    size_t n = std::strlen(key);
    const char *value = std::strlen(line) > n ? line + n + 1 : "";
    std::snprintf(out, size, "%s", value);
    char *cut = nullptr;
    for (char *p = out; *p; p++)
        if (*p == '/' || *p == '\\') cut = p;
    if (cut)
        cut[1] = 0;
    else
        out[0] = 0;
}

void read_number(const char *line, const char *key, int32_t *field) {
    int value;
    if (std::sscanf(line + std::strlen(key), " %d", &value) == 1) *field = value;
}

void write_text(cfile *file, const char *text) { tamu_fwrite(text, 1, int(std::strlen(text)), file); }

void write_key(cfile *file, const char *comment, const char *key, int value) {
    char line[512];
    std::snprintf(line, sizeof line, "%s\n%s %d\n\n", comment, key, value);
    write_text(file, line);
}

}  // namespace

void zorva_load_config(const char *line) {
    if (!line) return;
    if (begins_with(line, "root_path")) {
        read_folder(line, "root_path", pstate.root_path, sizeof pstate.root_path);
    } else if (begins_with(line, "cdata_path")) {
        read_folder(line, "cdata_path", pstate.cdata_path, sizeof pstate.cdata_path);
    } else if (begins_with(line, "joystick_index")) {
        read_number(line, "joystick_index", &app.joystick_index);
    } else if (begins_with(line, "button_keys")) {
        const char *p = line + std::strlen("button_keys");
        for (int i = 0; i < APP_BUTTON_KEYS; i++) {
            int value, used = 0;
            if (std::sscanf(p, " %d%n", &value, &used) != 1) break;
            app.button_keys[i] = value;
            p += used;
        }
    } else if (begins_with(line, "live_notes")) {
        read_number(line, "live_notes", &app.live_notes);
    } else if (begins_with(line, "cursor_snap")) {
        read_number(line, "cursor_snap", &app.cursor_snap);
    } else if (begins_with(line, "gif_len")) {
        read_number(line, "gif_len", &app.gif_length);
    } else if (begins_with(line, "gui_theme")) {
        read_number(line, "gui_theme", &app.gui_theme);
    } else if (begins_with(line, "screenshot_scale")) {
        read_number(line, "screenshot_scale", &app.screenshot_scale);
    } else if (begins_with(line, "shift_glyphs")) {
        read_number(line, "shift_glyphs", &app.shift_glyphs);
    } else if (begins_with(line, "bbs_host")) {
        // The rest of the line after the key and its spaces, up to any
        // trailing space.
        const char *p = line + std::strlen("bbs_host");
        while (*p == ' ' || *p == '\t') p++;
        char host[sizeof bbs_host + 1];
        std::snprintf(host, sizeof host, "%s", p);
        for (size_t n = std::strlen(host); n > 0 && (host[n - 1] == ' ' || host[n - 1] == '\t' || host[n - 1] == '\r');)
            host[--n] = 0;
        set_bbs_host(host);
    }
}

void zorva_save_config(cfile *file) {
    if (!file) return;
    char text[3 * ZORVA_PATH_SIZE];
    std::snprintf(text, sizeof text, "version %s\n\n", ZORVA_VERSION);
    write_text(file, text);
    std::snprintf(text, sizeof text, "\n// Location of zorva's root folder\nroot_path %s\n\n", pstate.root_path);
    write_text(file, text);
    std::snprintf(text, sizeof text, "\n// Location of cartridge save data\ncdata_path %s\n\n", pstate.cdata_path);
    write_text(file, text);
    write_key(file, "\n// Specify which player index joystick control begins at (0..7)", "joystick_index",
              app.joystick_index);
    write_text(file, "\n// Custom keyboard scancodes for buttons. player0 0..6, player1 0..5\nbutton_keys ");
    for (int i = 0; i < APP_BUTTON_KEYS; i++) {
        std::snprintf(text, sizeof text, "%d ", int(app.button_keys[i]));
        write_text(file, text);
    }
    write_text(file, "\n\n");
    write_key(file, "// Play notes as they are plotted in frequency mode", "live_notes", app.live_notes);
    write_key(file, "// iff 1: when using keyboard cursor, snap to closest pixel / map cel", "cursor_snap",
              app.cursor_snap);
    write_key(file, "// maximum length of gif in seconds (1..120, default 8)", "gif_len", app.gif_length);
    write_key(file, "// 0 classic  1 dark blue background in code editor", "gui_theme", app.gui_theme);
    std::snprintf(text, sizeof text,
                  "// scale of screenshots and gifs // 2 means 256x256\nscreenshot_scale %d\ngif_scale %d\n\n",
                  int(app.screenshot_scale), int(app.gif_scale));
    write_text(file, text);
    write_key(file, "// when 1 can enter glyphs using shift-A..Z", "shift_glyphs", app.shift_glyphs);
    std::snprintf(text, sizeof text,
                  "// the cart forum the cart browser fetches lists and carts from: host or host:port\n"
                  "// (empty: none, and nothing is contacted)\nbbs_host %s\n\n",
                  bbs_host);
    write_text(file, text);
}
