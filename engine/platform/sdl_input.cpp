// The input source over SDL: the keyboard state, modifiers, pointer and
// pending events of one pump, and the key names.
#include "tamu.h"

#include <SDL2/SDL.h>

#include <cctype>
#include <cstring>

char tamu_key_name[TAMU_KEY_NAMES][20];

namespace {

int button_bits(Uint32 sdl) {
    int b = 0;
    if (sdl & SDL_BUTTON_LMASK) b |= 1;
    if (sdl & SDL_BUTTON_RMASK) b |= 2;
    if (sdl & SDL_BUTTON_MMASK) b |= 4;
    return b;
}

class sdl_source final : public tamu_input_source {
  public:
    void sleep(int ms) override { tamu_delay(ms); }

    void take(tamu_input_snapshot &snap) override {
        snap.now = tamu_get_time();
        if (!SDL_WasInit(SDL_INIT_EVENTS)) return;
        if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(SDL_DISABLE);
        // The keyboard state before this pump's events are read: the
        // state that the previous pump's events left.
        int count = 0;
        const Uint8 *keys = SDL_GetKeyboardState(&count);
        if (count > TAMU_KEY_SLOTS) count = TAMU_KEY_SLOTS;
        snap.key_count = count;
        if (keys) std::memcpy(snap.keys, keys, size_t(count));
        snap.modifiers = int(SDL_GetModState());

        SDL_Event e;
        while (SDL_PollEvent(&e)) {
            tamu_input_event out;
            switch (e.type) {
            case SDL_KEYDOWN:
                out.type = TAMU_EVENT_KEY_DOWN;
                out.code = int(e.key.keysym.scancode);
                break;
            case SDL_TEXTINPUT:
                out.type = TAMU_EVENT_TEXT;
                std::snprintf(out.text, sizeof out.text, "%s", e.text.text);
                break;
            case SDL_MOUSEWHEEL:
                out.type = TAMU_EVENT_WHEEL;
                out.x = e.wheel.x;
                out.y = e.wheel.y;
                break;
            case SDL_QUIT: out.type = TAMU_EVENT_QUIT; break;
            case SDL_WINDOWEVENT:
                out.type = TAMU_EVENT_WINDOW;
                out.code = int(e.window.event);
                break;
            default: continue;
            }
            snap.events.push_back(out);
        }

        int x = 0, y = 0;
        snap.mouse_buttons = button_bits(SDL_GetMouseState(&x, &y));
        tamu_get_window_size(&snap.window_w, &snap.window_h);
        // The pointer comes in window units, the size in pixels: on a
        // high-density display the two differ.
        int ww = 0, wh = 0;
        if (SDL_Window *focus = SDL_GetMouseFocus()) SDL_GetWindowSize(focus, &ww, &wh);
        if (ww > 0 && wh > 0 && snap.window_w > 0 && (ww != snap.window_w || wh != snap.window_h)) {
            x = int((long long)x * snap.window_w / ww);
            y = int((long long)y * snap.window_h / wh);
        }
        snap.mouse_x = x;
        snap.mouse_y = y;
    }

    int quit_pending() override {
        if (!SDL_WasInit(SDL_INIT_EVENTS)) return 0;
        SDL_PumpEvents();   // also turns SIGINT and SIGTERM into the quit event
        if (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT) > 0) return 1;
        static SDL_Event queued[512];
        int n = SDL_PeepEvents(queued, 512, SDL_PEEKEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT);
        for (int i = 0; i < n; i++)
            if (queued[i].window.event == SDL_WINDOWEVENT_CLOSE) return 1;
        n = SDL_PeepEvents(queued, 512, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYDOWN);
        for (int i = 0; i < n; i++) {
            const SDL_Keysym &k = queued[i].key.keysym;
            if (k.scancode == SDL_SCANCODE_Q && (k.mod & (KMOD_CTRL | KMOD_GUI)) && !(k.mod & (KMOD_ALT | KMOD_SHIFT))) return 1;
            if (k.scancode == SDL_SCANCODE_F4 && (k.mod & KMOD_ALT)) return 1;
        }
        return 0;
    }
};

sdl_source platform_source;

}  // namespace

tamu_input_source *tamu_platform_input_source() { return &platform_source; }

int tamu_is_app_active() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return 0;
    return SDL_GetKeyboardFocus() != nullptr ? 1 : 0;
}

void tamu_build_key_names() {
    for (int i = 0; i < TAMU_KEY_NAMES; i++) {
        const char *name = SDL_GetScancodeName(SDL_Scancode(i));
        if (!name || std::strlen(name) >= sizeof tamu_key_name[i]) name = "?";
        char *out = tamu_key_name[i];
        size_t n = std::strlen(name);
        for (size_t k = 0; k < n; k++) out[k] = char(std::toupper(static_cast<unsigned char>(name[k])));
        out[n] = 0;
    }
}
