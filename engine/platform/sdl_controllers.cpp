// Game controllers over SDL: the mappings, opening up to eight devices and
// reading two axes and fifteen buttons from each.
#include "tamu.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstring>

namespace {

struct device {
    SDL_Joystick *joystick = nullptr;
    SDL_GameController *controller = nullptr;
    tamu_pad_validation valid = {};
    bool told_detached = false;
};

device devices[TAMU_MAX_JOYSTICKS];
bool opened = false;
Uint32 started_subsystem = 0;   // what tamu_joystick_init had to start itself
bool told_axis = false, told_button = false;

constexpr int MAX_MAPPING_LINE = 1022;
const char *const MAPPINGS_FILE = "sdl_controllers.txt";

void add_mapping(const char *line, bool log_success) {
    int result = SDL_GameControllerAddMapping(line);
    if (result < 0)
        tamu_debugf("failed to add controller mapping:controller mapping: %s\n", line);
    else if (log_success)
        tamu_debugf("%scontroller mapping: %s\n", result == 1 ? "added " : "updated ", line);
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The player's lines: comments begin with '/'; line ends and surrounding
// blanks are not part of a mapping, and blank lines are skipped.
void add_file_mappings() {
    char path[1024];
    tamu_prefix_with_appdata_path(MAPPINGS_FILE, path);
    if (!tamu_file_exists(path)) {
        if (cfile *f = tamu_fopen(path, "wb")) {
            const char *text = "// add sdl game controller mappings to this file\n";
            tamu_fwrite(text, 1, int(std::strlen(text)), f);
            tamu_fclose(f);
        }
        return;
    }
    cfile *f = tamu_fopen(path, "rb");
    if (!f) return;
    char line[MAX_MAPPING_LINE + 2];
    bool skipping = false;   // the rest of a line that was too long
    while (tamu_fgets_sensitive(line, sizeof line, f)) {
        int length = int(std::strlen(line));
        bool piece_full = length > MAX_MAPPING_LINE;   // the line goes on
        if (skipping) {
            skipping = piece_full;
            continue;
        }
        if (piece_full) {
            line[60] = 0;
            tamu_debugf("failed to add controller mapping:controller mapping: %s... (longer than %d characters)\n",
                        line, MAX_MAPPING_LINE);
            skipping = true;
            continue;
        }
        char *start = line;
        while (is_space(*start)) start++;
        char *end = start + std::strlen(start);
        while (end > start && is_space(end[-1])) *--end = 0;
        if (!*start || *start == '/') continue;
        add_mapping(start, true);
    }
    tamu_fclose(f);
}

void log_counts(SDL_Joystick *j) {
    tamu_debugf("Number of Axes: %d\n", SDL_JoystickNumAxes(j));
    tamu_debugf("Number of Buttons: %d\n", SDL_JoystickNumButtons(j));
    tamu_debugf("Number of Balls: %d\n", SDL_JoystickNumBalls(j));
}

void open_device(int i) {
    device &d = devices[i];
    d = device{};
    if (SDL_IsGameController(i)) {
        d.controller = SDL_GameControllerOpen(i);
        if (d.controller) {
            const char *name = SDL_GameControllerName(d.controller);
            tamu_debugf("Controller %d: %s\n", i, name ? name : "");
            log_counts(SDL_GameControllerGetJoystick(d.controller));
            char *mapping = SDL_GameControllerMapping(d.controller);
            tamu_debugf("Mapping: %s\n", mapping ? mapping : "");
            SDL_free(mapping);
        }
    }
    d.joystick = SDL_JoystickOpen(i);
    if (d.joystick) {
        const char *name = SDL_JoystickName(d.joystick);
        tamu_debugf("Unmapped Joystick %d: %s\n", i, name ? name : "");
        log_counts(d.joystick);
    } else {
        tamu_debugf("could not open joystick %d: %s\n", i, SDL_GetError());
    }
}

// The device to read, or null (not open, or detached: told once).
device *readable(int i) {
    if (i < 0 || i >= TAMU_MAX_JOYSTICKS) return nullptr;
    device &d = devices[i];
    if (!d.joystick) return nullptr;
    if (!SDL_JoystickGetAttached(d.joystick)) {
        if (!d.told_detached) tamu_debugf("** could not read joystick %d (not attached)\n", i);
        d.told_detached = true;
        return nullptr;
    }
    return &d;
}

int raw_axis(device &d, int axis) {
    if (d.controller && SDL_GameControllerGetAttached(d.controller))
        return SDL_GameControllerGetAxis(d.controller, SDL_GameControllerAxis(axis));
    return SDL_JoystickGetAxis(d.joystick, axis);
}

int read_axis(device &d, int i, int axis, char which) {
    int value = tamu_validate_axis(d.valid, axis, raw_axis(d, axis));
    if (axis >= 0 && axis < 32 && !d.valid.axis[axis] && !told_axis) {
        std::printf("** %c axis %d not validated on joystick %d\n", which, axis, i);
        std::fflush(stdout);
        told_axis = true;
    }
    return value;
}

void read_axes(int i, int ax, int ay, int *x, int *y) {
    int vx = 0, vy = 0;
    if (device *d = readable(i)) {
        vx = read_axis(*d, i, ax, 'x');
        vy = read_axis(*d, i, ay, 'y');
    }
    if (x) *x = vx;
    if (y) *y = vy;
}

}  // namespace

int tamu_joystick_init() {
    if (opened) return 0;
    if (!SDL_WasInit(SDL_INIT_GAMECONTROLLER)) {
        if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
            tamu_debugf("no game controllers: %s\n", SDL_GetError());
            return 0;
        }
        started_subsystem = SDL_INIT_GAMECONTROLLER;
    }
    opened = true;
    told_axis = told_button = false;
    for (int k = 0; k < tamu_controller_mapping_count; k++) add_mapping(tamu_controller_mappings[k], false);
    add_file_mappings();

    tamu_debug(">searching for joysticks\n");
    int count = SDL_NumJoysticks();
    tamu_debugf("found %d joysticks\n", count);
    if (count > TAMU_MAX_JOYSTICKS) count = TAMU_MAX_JOYSTICKS;
    for (int i = 0; i < count; i++) open_device(i);
    tamu_debug("<ok\n");
    return 0;
}

int tamu_joystick_exit() {
    for (device &d : devices) {
        if (d.controller) SDL_GameControllerClose(d.controller);
        if (d.joystick) SDL_JoystickClose(d.joystick);
        d = device{};
    }
    if (started_subsystem) SDL_QuitSubSystem(started_subsystem);
    started_subsystem = 0;
    opened = false;
    return 0;
}

int tamu_count_joysticks() {
    if (!SDL_WasInit(SDL_INIT_JOYSTICK)) return 0;
    int n = SDL_NumJoysticks();
    return n < 0 ? 0 : n;
}

int tamu_count_joystick_buttons(int i) {
    if (i < 0 || i >= TAMU_MAX_JOYSTICKS || !devices[i].joystick) return 0;
    return SDL_JoystickNumButtons(devices[i].joystick);
}

int tamu_get_joystick(int i, int *x, int *y, int *buttons) {
    read_axes(i, 0, 1, x, y);
    int mask = 0;
    if (device *d = readable(i)) {
        bool controller = d->controller && SDL_GameControllerGetAttached(d->controller);
        int count = controller ? TAMU_JOYSTICK_BUTTONS : SDL_JoystickNumButtons(d->joystick);
        if (count > TAMU_JOYSTICK_BUTTONS) count = TAMU_JOYSTICK_BUTTONS;
        for (int b = 0; b < count; b++) {
            int pressed = controller ? SDL_GameControllerGetButton(d->controller, SDL_GameControllerButton(b))
                                     : SDL_JoystickGetButton(d->joystick, b);
            int counts = tamu_validate_button(d->valid, b, pressed);
            if (counts) mask |= 1 << b;
            if (controller && pressed && !counts && !told_button) {
                std::printf("** button %d not validated on joystick %d\n", b, i);
                std::fflush(stdout);
                told_button = true;
            }
        }
    }
    if (buttons) *buttons = mask;
    return 0;
}

int tamu_get_joystick_axes(int i, int axis_x, int axis_y, int *x, int *y) {
    read_axes(i, axis_x, axis_y, x, y);
    return 0;
}
