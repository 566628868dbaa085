// The window and its presentation, over SDL.
#include "tamu.h"

#include <SDL2/SDL.h>

static SDL_Window *window = nullptr;
static SDL_Renderer *renderer = nullptr;

int tamu_system_init() {
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) < 0)
        tamu_fatal_error("could not start SDL");
    return 0;
}

int tamu_system_exit() { return 0; }

int tamu_video_init() {
    if (cconfig.headless) return 0;
    int w = cconfig.window_size[0], h = cconfig.window_size[1];
    if (w < 32 || h < 32) {
        w = 640;
        h = 480;
    }
    const char *title = tamu_state.window_title_text ? tamu_state.window_title_text : "";
    window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, w, h,
                              SDL_WINDOW_RESIZABLE);
    if (!window) tamu_fatal_error("could not create the window");
    renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!renderer) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    tamu_state.windowed = 1;
    tamu_state.window_w = w;
    tamu_state.window_h = h;
    return 0;
}

int tamu_video_exit() {
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
    renderer = nullptr;
    window = nullptr;
    if (!tamu_console) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return 0;
}

int tamu_blit_back_page() {
    if (!renderer) return 0;
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);
    return 0;
}

int tamu_get_windowed() { return tamu_state.windowed; }
