// Keyboard, mouse, controllers and system messages, over SDL.
#include "tamu.h"

#include <SDL2/SDL.h>

int tamu_keys_init() { return 0; }
int tamu_keys_exit() { return 0; }
int tamu_mouse_init() { return 0; }
int tamu_joystick_init() { return 0; }
int tamu_joystick_exit() { return 0; }

int tamu_handle_system_messages() {
    int sleep = cconfig.frame_sleep_ms < 1 ? 1 : cconfig.frame_sleep_ms;
    tamu_delay(sleep);
    if (!SDL_WasInit(SDL_INIT_EVENTS)) return 0;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) tamu_quit = 1;
        if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE) tamu_quit = 1;
    }
    return 0;
}

int tamu_get_mouse(int *x, int *y, int *buttons) {
    if (x) *x = 0;
    if (y) *y = 0;
    if (buttons) *buttons = 0;
    return 0;
}
