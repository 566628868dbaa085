// The window and its presentation, over SDL: the library's SDL start-up,
// the window (windowed or full screen), the renderer with vertical sync
// and its streaming texture, and the software path that writes the
// window surface.
#include "tamu.h"

#include <SDL2/SDL.h>

#include <cstring>
#include <initializer_list>

namespace {

SDL_Window *window = nullptr;
SDL_Renderer *renderer = nullptr;
SDL_Texture *page_texture = nullptr;
int texture_w = 0, texture_h = 0;
SDL_Texture *fps_texture = nullptr;
SDL_Surface *staging = nullptr;    // the software path's frame when the window surface is not 32-bit XRGB
bool vsync = false;
int presents = 0;

constexpr Uint32 CORE_SUBSYSTEMS =
    SDL_INIT_TIMER | SDL_INIT_VIDEO | SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER | SDL_INIT_EVENTS;

const char *format_name(Uint32 format) {
    struct entry {
        Uint32 format;
        const char *name;
    };
    static const entry names[] = {
        {SDL_PIXELFORMAT_INDEX1LSB, "Index1LSB"}, {SDL_PIXELFORMAT_INDEX1MSB, "Index1MSB"},
        {SDL_PIXELFORMAT_INDEX4LSB, "Index4LSB"}, {SDL_PIXELFORMAT_INDEX4MSB, "Index4MSB"},
        {SDL_PIXELFORMAT_INDEX8, "Index8"},       {SDL_PIXELFORMAT_RGB332, "RGB332"},
        {SDL_PIXELFORMAT_RGB444, "RGB444"},       {SDL_PIXELFORMAT_RGB555, "RGB555"},
        {SDL_PIXELFORMAT_BGR555, "BGR555"},       {SDL_PIXELFORMAT_ARGB4444, "ARGB4444"},
        {SDL_PIXELFORMAT_ABGR4444, "ABGR4444"},   {SDL_PIXELFORMAT_ARGB1555, "ARGB1555"},
        {SDL_PIXELFORMAT_ABGR1555, "ABGR1555"},   {SDL_PIXELFORMAT_RGB565, "RGB565"},
        {SDL_PIXELFORMAT_BGR565, "BGR565"},       {SDL_PIXELFORMAT_RGB24, "RGB24"},
        {SDL_PIXELFORMAT_BGR24, "BGR24"},         {SDL_PIXELFORMAT_RGB888, "RGB888"},
        {SDL_PIXELFORMAT_BGR888, "BGR888"},       {SDL_PIXELFORMAT_ARGB8888, "ARGB8888"},
        {SDL_PIXELFORMAT_RGBA8888, "RGBA8888"},   {SDL_PIXELFORMAT_ABGR8888, "ABGR8888"},
        {SDL_PIXELFORMAT_BGRA8888, "BGRA8888"},   {SDL_PIXELFORMAT_ARGB2101010, "ARGB2101010"},
        {SDL_PIXELFORMAT_YV12, "YV12"},           {SDL_PIXELFORMAT_IYUV, "IYUV"},
        {SDL_PIXELFORMAT_YUY2, "YUY2"},           {SDL_PIXELFORMAT_UYVY, "UYVY"},
        {SDL_PIXELFORMAT_YVYU, "YVYU"},
    };
    if (format == SDL_PIXELFORMAT_UNKNOWN) return "Unknwon";
    for (const entry &e : names)
        if (e.format == format) return e.name;
    static char hex[16];
    std::snprintf(hex, sizeof hex, "0x%8.8x", format);
    return hex;
}

void log_renderer_info(const SDL_RendererInfo &info) {
    char line[512];
    tamu_debugf("  Renderer %s:\n", info.name);
    int n = std::snprintf(line, sizeof line, "    Flags: 0x%8.8X (", info.flags);
    Uint32 flags = info.flags;
    bool first = true;
    for (Uint32 bit = 1; bit && flags; bit <<= 1) {
        if (!(flags & bit)) continue;
        flags &= ~bit;
        const char *sep = first ? "" : " | ";
        first = false;
        if (bit == SDL_RENDERER_ACCELERATED)
            n += std::snprintf(line + n, sizeof line - n, "%sAccelerated", sep);
        else if (bit == SDL_RENDERER_PRESENTVSYNC)
            n += std::snprintf(line + n, sizeof line - n, "%sPresentVSync", sep);
        else
            n += std::snprintf(line + n, sizeof line - n, "%s0x%8.8x", sep, bit);
        if (n >= int(sizeof line)) n = int(sizeof line) - 1;
    }
    std::snprintf(line + n, sizeof line - n, ")\n");
    tamu_debug(line);
    n = std::snprintf(line, sizeof line, "    Texture formats (%d): ", int(info.num_texture_formats));
    for (Uint32 i = 0; i < info.num_texture_formats && n < int(sizeof line); i++)
        n += std::snprintf(line + n, sizeof line - n, "%s%s", i ? ", " : "", format_name(info.texture_formats[i]));
    if (n < int(sizeof line)) std::snprintf(line + n, sizeof line - n, "\n");
    tamu_debug(line);
    if (info.max_texture_width || info.max_texture_height)
        tamu_debugf("    Max Texture Size: %dx%d\n", info.max_texture_width, info.max_texture_height);
}

void log_current_renderer() {
    if (!renderer) return;
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) != 0) return;
    tamu_debug("Current renderer:\n");
    log_renderer_info(info);
}

void log_drivers() {
    int n = SDL_GetNumVideoDrivers();
    if (n <= 0) {
        tamu_debug("No built-in video drivers\n");
    } else {
        char line[512];
        int len = std::snprintf(line, sizeof line, "Built-in video drivers:");
        for (int i = 0; i < n && len < int(sizeof line); i++)
            len += std::snprintf(line + len, sizeof line - len, " %d %s", i, SDL_GetVideoDriver(i));
        if (len < int(sizeof line)) std::snprintf(line + len, sizeof line - len, "\n");
        tamu_debug(line);
    }
    const char *current = SDL_GetCurrentVideoDriver();
    tamu_debugf("Current video driver: %s\n", current ? current : "(none)");
    n = SDL_GetNumRenderDrivers();
    if (n <= 0) {
        tamu_debug("No built-in render drivers\n");
    } else {
        tamu_debug("Built-in render drivers:\n");
        for (int i = 0; i < n; i++) {
            SDL_RendererInfo info;
            if (SDL_GetRenderDriverInfo(i, &info) == 0) log_renderer_info(info);
        }
    }
    log_current_renderer();
}

void destroy_textures() {
    if (page_texture) SDL_DestroyTexture(page_texture);
    if (fps_texture) SDL_DestroyTexture(fps_texture);
    page_texture = fps_texture = nullptr;
    texture_w = texture_h = 0;
}

void destroy_window() {
    destroy_textures();
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
    if (staging) SDL_FreeSurface(staging);
    renderer = nullptr;
    window = nullptr;
    staging = nullptr;
    vsync = false;
}

bool make_page_texture(int w, int h) {
    if (page_texture) SDL_DestroyTexture(page_texture);
    page_texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, w, h);
    texture_w = page_texture ? w : 0;
    texture_h = page_texture ? h : 0;
    // The page is opaque whatever its alpha bytes say.
    if (page_texture) SDL_SetTextureBlendMode(page_texture, SDL_BLENDMODE_NONE);
    return page_texture != nullptr;
}

void apply_icon() {
    const cbitmap *icon = tamu_kept_window_icon();
    if (!window || !icon) return;
    SDL_Surface *surface = SDL_CreateRGBSurfaceFrom(icon->pixels, icon->width, icon->height, 32, icon->width * 4,
                                                    0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    if (!surface) return;
    SDL_SetWindowIcon(window, surface);
    SDL_FreeSurface(surface);
}

bool first_renderer_uses_gl() {
    SDL_RendererInfo first;
    return SDL_GetRenderDriverInfo(0, &first) == 0 && std::strncmp(first.name, "opengl", 6) == 0;
}

int position(int value) { return value == -1 ? int(SDL_WINDOWPOS_UNDEFINED) : value; }

// Creates the window by the mode's rules: full screen by fullscreen_method,
// windowed shown and resizable (and borderless when frameless).
SDL_Window *open_window(int w, int h, bool full_screen) {
    const char *title = tamu_state.window_title_text ? tamu_state.window_title_text : "";
    Uint32 flags;
    int x, y;
    if (full_screen) {
        x = y = int(SDL_WINDOWPOS_UNDEFINED);
        if (cconfig.fullscreen_method == 2)
            flags = SDL_WINDOW_FULLSCREEN;
        else if (cconfig.fullscreen_method == 0)
            flags = SDL_WINDOW_SHOWN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_MAXIMIZED | SDL_WINDOW_INPUT_GRABBED;
        else
            flags = SDL_WINDOW_FULLSCREEN_DESKTOP;
    } else {
        x = position(cconfig.window_position[0]);
        y = position(cconfig.window_position[1]);
        flags = SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE;
        if (cconfig.frameless) flags |= SDL_WINDOW_BORDERLESS;
    }
    if (!cconfig.software_blit && first_renderer_uses_gl()) {
        if (SDL_Window *gl_window = SDL_CreateWindow(title, x, y, w, h, flags | SDL_WINDOW_OPENGL)) return gl_window;
    }
    return SDL_CreateWindow(title, x, y, w, h, flags);
}

// While the window and its renderer are made, the GL context attributes
// are those of SDL's OpenGL renderer (2.1, no profile), so that the
// window is made for the renderer it gets: otherwise the renderer replaces
// the window with a new one as it starts, and whoever found the first
// window loses it. The library's own request is put back afterwards.
struct gl_attributes_for_renderer {
    int major = 0, minor = 0, profile = 0;
    bool set = false;
    gl_attributes_for_renderer() {
        if (cconfig.software_blit || !first_renderer_uses_gl()) return;
        SDL_GL_GetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, &major);
        SDL_GL_GetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, &minor);
        SDL_GL_GetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, &profile);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
        set = true;
    }
    ~gl_attributes_for_renderer() {
        if (!set) return;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, major);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, minor);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, profile);
    }
};

void note_window_size() {
    if (!window) return;
    SDL_GetWindowSize(window, &tamu_state.window_w, &tamu_state.window_h);
}

int software_window(int w, int h) {
    if (tamu_state.window_size_set == 1) {
        if (cconfig.window_size[0] < 32 || cconfig.window_size[1] < 32) {
            cconfig.window_size[0] = 640;
            cconfig.window_size[1] = 480;
        }
        w = cconfig.window_size[0];
        h = cconfig.window_size[1];
        tamu_debugf(" window size: %d %d\n", w, h);
    } else {
        cconfig.window_size[0] = w;
        cconfig.window_size[1] = h;
    }
    destroy_window();
    // Full screen covers the desktop here too, so that it does not hang on
    // a window manager honouring the full-screen flag.
    bool full_screen = tamu_screen_mode == 1;
    if (full_screen && tamu_get_desktop_width() > 0) {
        w = tamu_get_desktop_width();
        h = tamu_get_desktop_height();
    }
    window = open_window(w, h, full_screen);
    if (!window) tamu_fatal_error("Unable to create window");
    apply_icon();
    note_window_size();
    log_current_renderer();
    return 0;
}

// The software path: the frame scaled into the window surface. A surface
// of 32-bit XRGB words is written directly; any other format gets the
// frame through a staging surface that SDL converts from.
void present_software(const cbitmap *page) {
    SDL_Surface *surface = SDL_GetWindowSurface(window);
    if (!surface) return;
    tamu_dest rect = tamu_dest_rect_for(surface->w, surface->h, page->width, page->height);
    Uint32 format = surface->format->format;
    bool direct = (format == SDL_PIXELFORMAT_ARGB8888 || format == SDL_PIXELFORMAT_RGB888) &&
                  surface->format->BytesPerPixel == 4;
    SDL_FillRect(surface, nullptr, 0);
    if (direct) {
        if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
        tamu_scale_page32(page, static_cast<uint32_t *>(surface->pixels), surface->pitch, surface->w, surface->h, rect);
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    } else {
        if (staging && (staging->w != surface->w || staging->h != surface->h)) {
            SDL_FreeSurface(staging);
            staging = nullptr;
        }
        if (!staging) {
            staging = SDL_CreateRGBSurfaceWithFormat(0, surface->w, surface->h, 32, SDL_PIXELFORMAT_ARGB8888);
            if (!staging) return;
            SDL_SetSurfaceBlendMode(staging, SDL_BLENDMODE_NONE);
        }
        SDL_FillRect(staging, nullptr, 0xFF000000);
        tamu_scale_page32(page, static_cast<uint32_t *>(staging->pixels), staging->pitch, staging->w, staging->h, rect);
        SDL_BlitSurface(staging, nullptr, surface, nullptr);
    }
    SDL_UpdateWindowSurface(window);
    presents++;
}

void present_renderer(const cbitmap *page, const cbitmap *overlay) {
    if ((!page_texture || texture_w != page->width || texture_h != page->height) &&
        !make_page_texture(page->width, page->height))
        return;
    // Library bitmaps keep their rows one after another.
    SDL_UpdateTexture(page_texture, nullptr, page->rows[0], page->width * 4);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    tamu_dest r;
    get_dest_rect(&r);
    if (r.w >= 0 && r.h >= 0) {
        SDL_Rect dest = {r.x, r.y, r.w, r.h};
        SDL_RenderCopy(renderer, page_texture, nullptr, &dest);
    }
    if (overlay && fps_texture) {
        SDL_UpdateTexture(fps_texture, nullptr, overlay->rows[0], overlay->width * 4);
        SDL_Rect corner = {0, 0, overlay->width, overlay->height};
        SDL_RenderCopy(renderer, fps_texture, nullptr, &corner);
    }
    SDL_RenderPresent(renderer);
    presents++;
}

}  // namespace

// ---------------------------------------------------------------------------
// System start-up

int tamu_system_init() {
    SDL_version compiled, linked;
    SDL_VERSION(&compiled);
    SDL_GetVersion(&linked);
    // A headless run needs no display: video starts on the dummy driver
    // whatever the environment says.
    bool headless = cconfig.headless != 0;
    if (headless) SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "dummy", SDL_HINT_OVERRIDE);
    Uint32 core = CORE_SUBSYSTEMS;
    if (SDL_InitSubSystem(core) != 0) {
        if (!headless) tamu_fatal_error("Unable to initialize SDL");
        // Without any video driver a headless run goes on without video.
        core &= ~Uint32(SDL_INIT_VIDEO);
        if (SDL_InitSubSystem(core) != 0) tamu_fatal_error("Unable to initialize SDL");
    }
    if (headless) SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    for (Uint32 optional : {Uint32(SDL_INIT_AUDIO), Uint32(SDL_INIT_HAPTIC)}) {
        if (SDL_InitSubSystem(optional) != 0)
            tamu_debugf("SDL subsystem 0x%x unavailable: %s\n", optional, SDL_GetError());
    }
    tamu_debugf("Compiled against SDL version: %d.%d.%d\n", compiled.major, compiled.minor, compiled.patch);
    tamu_debugf("Linked against SDL version:   %d.%d.%d\n", linked.major, linked.minor, linked.patch);
    log_drivers();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    return 0;
}

int tamu_system_exit() {
    destroy_window();
    // SDL stays up until the process ends: quitting it would unload the
    // drivers it loaded, with their process-wide caches.
    return 0;
}

// ---------------------------------------------------------------------------
// The window

void tamu_video_init_plat(int *desktop_w, int *desktop_h) {
    SDL_DisplayMode mode;
    presents = 0;
    if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        *desktop_w = mode.w;
        *desktop_h = mode.h;
    } else {
        *desktop_w = *desktop_h = 0;
    }
}

void tamu_video_exit_plat() { destroy_window(); }

int tamu_set_screen_plat(int w, int h, int page_w, int page_h, int, int) {
    tamu_system_active = 1;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) tamu_fatal_error("Unable to create window");
    if (cconfig.software_blit) return software_window(w, h);
    bool full_screen = tamu_screen_mode == 1;
    destroy_window();
    gl_attributes_for_renderer gl_attributes;
    // A full-screen window covers the desktop (when its size is known).
    if (full_screen && tamu_get_desktop_width() > 0) {
        w = tamu_get_desktop_width();
        h = tamu_get_desktop_height();
    }
    window = open_window(w, h, full_screen);
    if (!window) tamu_fatal_error("Unable to create window");
    renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!renderer) {
        tamu_debug(" could not create sdl_renderer! dropping down to software_blit\n");
        cconfig.software_blit = 1;
        return software_window(w, h);
    }
    SDL_RendererInfo info;
    vsync = SDL_GetRendererInfo(renderer, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC);
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, cconfig.pixel_perfect ? "nearest" : "linear");
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);
    make_page_texture(page_w, page_h);
    fps_texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, 128, 8);
    if (fps_texture) SDL_SetTextureBlendMode(fps_texture, SDL_BLENDMODE_NONE);
    apply_icon();
    note_window_size();
    log_current_renderer();
    return 0;
}

void tamu_get_window_size(int *w, int *h) {
    int ww = 0, wh = 0;
    if (renderer)
        SDL_GetRendererOutputSize(renderer, &ww, &wh);
    else if (window)
        SDL_GetWindowSize(window, &ww, &wh);
    if (w) *w = ww;
    if (h) *h = wh;
}

void tamu_set_window_icon_plat(const cbitmap *) { apply_icon(); }

void tamu_present_plat(const cbitmap *page, const cbitmap *overlay) {
    if (!window || !page || page->bpp != 32 || !page->rows) return;
    if (renderer && !cconfig.software_blit)
        present_renderer(page, overlay);
    else
        present_software(page);
}

void tamu_get_video_info(tamu_video_info *out) {
    if (!out) return;
    std::memset(out, 0, sizeof *out);
    out->window = window != nullptr;
    out->renderer = renderer != nullptr && !cconfig.software_blit;
    out->vsync = out->renderer && vsync;
    out->texture_w = texture_w;
    out->texture_h = texture_h;
    out->window_flags = window ? int(SDL_GetWindowFlags(window)) : 0;
    out->presents = presents;
    SDL_RendererInfo info;
    if (out->renderer && SDL_GetRendererInfo(renderer, &info) == 0)
        std::snprintf(out->renderer_name, sizeof out->renderer_name, "%s", info.name);
}
