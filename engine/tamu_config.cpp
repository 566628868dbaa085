// The library's configuration record and "config.txt".
#include "tamu.h"

#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
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

// The ranges loading enforces. A mix buffer size of 0 survives only when
// options_pass says it came from the command line.
static void clamp_ranges(bool options_pass) {
    if (cconfig.frame_sleep_ms < 0) cconfig.frame_sleep_ms = 0;
    if (cconfig.frame_sleep_ms > 200) cconfig.frame_sleep_ms = 200;
    if (cconfig.sound_volume < 0) cconfig.sound_volume = 0;
    if (cconfig.sound_volume > 256) cconfig.sound_volume = 256;
    if (cconfig.music_volume < 0) cconfig.music_volume = 0;
    if (cconfig.music_volume > 256) cconfig.music_volume = 256;
    bool no_audio = options_pass && cconfig.mix_buffer_size == 0;
    if (!no_audio && (cconfig.mix_buffer_size < 512 || cconfig.mix_buffer_size > 8192))
        cconfig.mix_buffer_size = 1024;
}

void tamu_config_clamp() { clamp_ranges(true); }

// ---------------------------------------------------------------------------
// Trimming

static char *trimmed = nullptr;

const char *tamu_trim(const char *text) {
    if (!text) text = "";
    const auto *begin = reinterpret_cast<const unsigned char *>(text);
    const unsigned char *end = begin + std::strlen(text);
    while (begin < end && *begin <= 32) begin++;
    while (end > begin && end[-1] <= 32) end--;
    int n = static_cast<int>(end - begin);
    auto *copy = static_cast<char *>(tamu_malloc(n + 1));
    std::memcpy(copy, begin, static_cast<size_t>(n));
    copy[n] = 0;
    tamu_free(trimmed);  // after copying: text may be the previous result
    trimmed = copy;
    return copy;
}

// ---------------------------------------------------------------------------
// Loading

namespace {

enum key_kind { KEY_ONE, KEY_TWO, KEY_VIDEO_MODE, KEY_WINDOW_POSITION, KEY_DESKTOP };

struct config_key {
    const char *key;
    int column;  // where the value starts
    key_kind kind;
    int *a;
    int *b;
};

const config_key config_keys[] = {
    {"video_mode", 10, KEY_VIDEO_MODE, cconfig.window_size, nullptr},
    {"window_size", 11, KEY_TWO, &cconfig.window_size[0], &cconfig.window_size[1]},
    {"screen_size", 11, KEY_TWO, &cconfig.screen_size[0], &cconfig.screen_size[1]},
    {"windowed", 8, KEY_ONE, &cconfig.windowed, nullptr},
    {"go_easy", 7, KEY_ONE, &cconfig.frame_sleep_ms, nullptr},
    {"frame_sleep_ms", 14, KEY_ONE, &cconfig.frame_sleep_ms, nullptr},
    {"sound_volume", 12, KEY_ONE, &cconfig.sound_volume, nullptr},
    {"music_volume", 12, KEY_ONE, &cconfig.music_volume, nullptr},
    {"mix_buffer_size", 15, KEY_ONE, &cconfig.mix_buffer_size, nullptr},
    {"windib", 6, KEY_ONE, &cconfig.windib, nullptr},
    {"opengl_blit", 11, KEY_ONE, &cconfig.opengl_blit, nullptr},
    {"show_fps", 8, KEY_ONE, &cconfig.show_fps, nullptr},
    {"large_window", 12, KEY_ONE, &cconfig.large_window, nullptr},
    {"frameless", 9, KEY_ONE, &cconfig.frameless, nullptr},
    {"window_position", 15, KEY_WINDOW_POSITION, &cconfig.window_position[0], &cconfig.window_position[1]},
    {"sessions", 9, KEY_ONE, &cconfig.sessions, nullptr},
    {"rmb_key", 8, KEY_ONE, &cconfig.rmb_key, nullptr},
    {"desktop_path", 13, KEY_DESKTOP, nullptr, nullptr},
    {"fullscreen_method", 18, KEY_ONE, &cconfig.fullscreen_method, nullptr},
};

// The value text of a line: from the key's column, or empty when the line
// ends before it (a bare key, as an editor that strips trailing blanks
// leaves it).
const char *value_text(const char *line, int column) {
    size_t length = std::strlen(line);
    if (length < static_cast<size_t>(column)) return "";
    return line + column;
}

// A numeric value may follow letters glued to the key ("windowedx 1"):
// such a word is skipped up to the next blank.
const char *numeric_text(const char *line, int column) {
    const char *v = value_text(line, column);
    auto c = static_cast<unsigned char>(*v);
    if (c && c > 32 && !(c >= '0' && c <= '9') && c != '-' && c != '+')
        while (*v && static_cast<unsigned char>(*v) > 32) v++;
    return v;
}

// Reads up to n integers separated by blanks, as sscanf's " %d %d" does,
// but values beyond the int range saturate instead of being undefined.
// Returns how many were read.
int read_ints(const char *text, int n, int *out) {
    int got = 0;
    while (got < n) {
        char *end;
        long long v = std::strtoll(text, &end, 10);
        if (end == text) break;
        if (v > INT_MAX) v = INT_MAX;
        if (v < INT_MIN) v = INT_MIN;
        out[got++] = static_cast<int>(v);
        text = end;
    }
    return got;
}

void apply_key(const config_key &k, const char *line) {
    switch (k.kind) {
    case KEY_ONE: {
        int v;
        if (read_ints(numeric_text(line, k.column), 1, &v) == 1) *k.a = v;
        break;
    }
    case KEY_TWO:
    case KEY_VIDEO_MODE:
    case KEY_WINDOW_POSITION: {
        int *a = k.a, *b = k.kind == KEY_VIDEO_MODE ? k.a + 1 : k.b;
        int v[2];
        int got = read_ints(numeric_text(line, k.column), 2, v);
        // A first value alone is still taken.
        if (got >= 1) *a = v[0];
        if (got >= 2) *b = v[1];
        if (k.kind == KEY_VIDEO_MODE) {
            cconfig.screen_size[0] = cconfig.window_size[0];
            cconfig.screen_size[1] = cconfig.window_size[1];
        }
        if (k.kind == KEY_WINDOW_POSITION)
            tamu_debugf("new window position: %d, %d\n", cconfig.window_position[0],
                        cconfig.window_position[1]);
        break;
    }
    case KEY_DESKTOP:
        std::memset(cconfig.desktop_path, 0, sizeof cconfig.desktop_path);
        std::snprintf(cconfig.desktop_path, sizeof cconfig.desktop_path, "%s",
                      tamu_trim(value_text(line, k.column)));
        break;
    }
}

const config_key *find_key(const char *line) {
    for (const auto &k : config_keys)
        if (std::strncmp(line, k.key, std::strlen(k.key)) == 0) return &k;
    return nullptr;
}

}  // namespace

void tamu_config_read(cfile *file) {
    if (!file) return;
    tamu_debug(">\n");
    char line[255];
    int counter = 0;
    while (tamu_fgets_sensitive(line, sizeof line, file)) {
        if (line[0] && line[0] != '/') tamu_debugf("%02d %s\n", ++counter, line);
        if (const config_key *k = find_key(line))
            apply_key(*k, line);
        else if (load_hook)
            load_hook(line);
    }
    tamu_debug("<\n");
    clamp_ranges(false);
    cconfig.loaded = 1;
}

void tamu_config_load() {
    char path[1024];
    cfile *file = nullptr;
    if (tamu_prefix_with_appdata_path("config.txt", path) == 0) file = tamu_fopen(path, "rb");
    if (!file) file = tamu_fopen_vdisk("config.txt", "rb");
    if (!file) return;
    tamu_debug("Found config.txt\n");
    tamu_config_read(file);
    tamu_fclose(file);
}

// ---------------------------------------------------------------------------
// Saving

static void put(cfile *file, const char *format, ...) __attribute__((format(printf, 2, 3)));

static void put(cfile *file, const char *format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0) tamu_fwrite(text, 1, n < 1023 ? n : 1023, file);
}

// A value that the reader could not take back whole (a line break inside,
// or a line longer than the reader's 254 characters) is not written: it
// would come back cut, with its rest handed to the application as lines.
static const char *savable_desktop_path(const char *path) {
    if (std::strlen("desktop_path ") + std::strlen(path) > 254 || std::strpbrk(path, "\r\n")) {
        tamu_debug("warning: desktop_path too long for config.txt; not saved\n");
        return "";
    }
    return path;
}

int tamu_config_save() {
    char path[1024];
    if (tamu_prefix_with_appdata_path("config.txt", path) != 0) return 1;
    cfile *f = tamu_fopen_save(path);
    if (!f) return 1;
    // Without a window there is no window state to take over.
    if (!tamu_console && !cconfig.headless) cconfig.windowed = tamu_get_windowed();

    put(f, "// - - - - - - - - - - - - - - - - - - - - - - - - - - - -\n");
    put(f, "// Configuration for %s\n// \n", tamu_state.application_title);
    put(f, "// config.txt is read on startup and saved on exit.\n");
    put(f, "// To generate the default config.txt, delete this file.\n// \n");
    put(f, "// - - - - - - - - - - - - - - - - - - - - - - - - - - - -\n");
    put(f, "\n\n// :: Video Settings\n\n");
    put(f, "window_size %d %d // window width, height\n", cconfig0.window_size[0], cconfig0.window_size[1]);
    put(f, "screen_size %d %d // screen width, height (stretched to window) \n", cconfig0.screen_size[0],
        cconfig0.screen_size[1]);
    put(f, "show_fps %d // Draw frames per second in the corner\n", cconfig0.show_fps);
    put(f, "\n\n// :: Window Settings\n\n");
    put(f, "windowed %d // 1 to start up in windowed mode\n", cconfig.windowed);
    put(f, "window_position %d %d // x and y position of window, or -1, -1 to let the window manager decide\n",
        cconfig.window_position[0], cconfig.window_position[1]);
    put(f, "frameless %d // 1 to use a window with no frame\n", cconfig0.frameless);
    put(f, "fullscreen_method %d // 0 maximized window (linux)  1 borderless desktop-sized window  2 fullscreen\n",
        cconfig.fullscreen_method);
    put(f, "\n\n// :: System Settings\n\n");
    put(f, "frame_sleep_ms %d // number of milliseconds to sleep each frame. To save laptop battery power, try 20\n\n",
        cconfig0.frame_sleep_ms);
    put(f, "sessions %d // number of times program has been run\n\n", cconfig.sessions);
    put(f, "// (scancode) hold this key down and left-click to simulate right-click\n");
    put(f, "rmb_key %d // 0 for none  226 for LALT\n\n", cconfig.rmb_key);
    put(f, "// Desktop for saving screenshots etc. Defaults to $HOME/Desktop\n");
    put(f, "desktop_path %s\n\n", savable_desktop_path(cconfig0.desktop_path));
    put(f, "\n\n// :: Audio Settings\n\n");
    put(f, "sound_volume %d // 0..256\n", cconfig.sound_volume);
    put(f, "music_volume %d // 0..256\n", cconfig.music_volume);
    put(f, "mix_buffer_size %d // usually 1024. Try 2048 if you get choppy sound\n", cconfig.mix_buffer_size);
    put(f, "\n\n// :: \n\n");

    if (save_hook) save_hook(f);
    return tamu_fclose_save(f);
}
