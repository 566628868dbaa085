// The window, the back page and its presentation.
//
// The application draws into tamu_back_page (made by tamu_set_screen) and
// tamu_blit_back_page shows it once per frame: an 8-bit page goes through
// tamu_palette into 32 bits, and the result is scaled into the window,
// either through a streaming texture of a renderer with vertical sync or,
// on the software path, by writing the window surface. With cconfig's
// headless set no window exists and presenting does nothing, but the back
// page is still made and can be drawn into.
#pragma once

#include <cstdint>

struct cbitmap;

// The library's SDL start-up: the timer, video, joystick, game-controller
// and event subsystems (failing is fatal), audio and haptic when they can
// be had. In a headless run video starts on SDL's dummy driver, so no
// display is needed. Logs the SDL versions and the video and render
// drivers. tamu_system_exit closes the window but leaves SDL running.
int tamu_system_init();
int tamu_system_exit();

// Makes the palettes (the video palette a grey ramp, entry i = i, i, i,
// and a black one) and reads the desktop size (not when headless).
int tamu_video_init();
// Destroys the back page, the cursor bitmaps, the kept window icon, both
// palettes and the window.
int tamu_video_exit();

// Flags of tamu_set_screen.
constexpr int TAMU_SCREEN_WINDOWED = 4;      // start windowed
constexpr int TAMU_SCREEN_FULLSCREEN = 8;    // start full screen
constexpr int TAMU_SCREEN_BY_CONFIG = 0x100; // windowed when cconfig.windowed is set

// Sets up a back page of width x height pixels at bpp (8 or 32; a width or
// height of 0 takes the desktop size) and, unless headless, the window.
// The window takes the size given by tamu_set_window_size, else the
// page's size. Returns 0, or what creating the window returned.
int tamu_set_screen(int width, int height, int bpp, int flags);
// The next tamu_set_screen opens the window at this size; a side below 32
// gives 640 x 480.
void tamu_set_window_size(int width, int height);

// 0 windowed, 1 full screen (the start value).
extern int tamu_screen_mode;
int tamu_get_windowed();
// Both recreate the window in the new mode (nothing when headless).
void tamu_set_windowed(int windowed);
void tamu_toggle_fullscreen();
int tamu_get_desktop_width();
int tamu_get_desktop_height();

// Keeps a copy of a 32-bit bitmap (other depths are ignored) as the window
// icon, given to every window made from now on.
void tamu_set_window_icon(const cbitmap *bitmap);

// Presents the back page (nothing without one) and updates the frame-rate
// figures.
int tamu_blit_back_page();
// The smoothed frame rate, whole frames per second.
int tamu_get_fps();
// Advances the frame-rate figures to a frame that began at now_ms; part of
// tamu_blit_back_page, open for the tests.
void tamu_video_frame_timing(int now_ms);
void tamu_flip_screen();
void tamu_flip_screen_plat();

// Where the back page goes in the window.
struct tamu_dest {
    int x, y, w, h;
};
// The destination rectangle for the back page in the current window.
void get_dest_rect(tamu_dest *rect);
// The same rules for a page of page_w x page_h in a window of W x H, by
// cconfig's draw_rect, pixel_perfect and keep_aspect.
tamu_dest tamu_dest_rect_for(int window_w, int window_h, int page_w, int page_h);
// The window's drawable size in pixels (0 x 0 without a window).
void tamu_get_window_size(int *width, int *height);

// Nearest-pixel scaling of a 32-bit image into rect of a w x h target of
// 32-bit words, pitch bytes per row. The rectangle is clipped to the
// target; nothing outside it is written. Source column = (target column -
// rect x) x source width / rect width, rows alike.
void tamu_scale_page32(const cbitmap *src, uint32_t *target, int pitch, int w, int h, tamu_dest rect);

// The cursor: a 33 x 33 32-bit crosshair, its focus point and whether it
// is drawn. tamu_make_cursor_bitmaps builds it and makes it current with
// focus (16, 16) (the input layer's tamu_mouse_init calls it); the
// bitmaps live until tamu_video_exit.
extern cbitmap *tamu_cursor_bitmap;       // the built crosshair
extern cbitmap *tamu_current_cursor;      // what tamu_draw_mouse_cursor draws
void tamu_make_cursor_bitmaps();
void tamu_set_mouse_bmp(cbitmap *bitmap);
void tamu_set_mouse_focus(int x, int y);
void tamu_hide_mouse();
void tamu_show_mouse();
// When visible, draws the current cursor with its focus point at the mouse
// position (tamu_get_mouse) onto target.
void tamu_draw_mouse_cursor(cbitmap *target);
void tamu_draw_cursor_at(cbitmap *target, int x, int y);

// ---------------------------------------------------------------------------
// The platform side (platform/sdl_video.cpp); the portable layer calls these.

// Reads the desktop display mode (0 x 0 when it cannot be read).
void tamu_video_init_plat(int *desktop_w, int *desktop_h);
void tamu_video_exit_plat();
// (Re)creates the window for a page of page_w x page_h. Fatal when no
// window can be made; drops to the software path when no renderer can.
int tamu_set_screen_plat(int window_w, int window_h, int page_w, int page_h, int bpp, int flags);
// Shows a 32-bit page in the window, scaled into get_dest_rect; a 128 x 8
// 32-bit overlay, when given, covers the window's top-left corner.
void tamu_present_plat(const cbitmap *page32, const cbitmap *overlay);
// The copy of the icon that every new window gets, or null.
const cbitmap *tamu_kept_window_icon();
void tamu_set_window_icon_plat(const cbitmap *icon32);
// What the current window uses, for the log and the tests.
struct tamu_video_info {
    int window;            // 1 when a window exists
    int renderer;          // 1 when presenting through a renderer
    int vsync;             // 1 when that renderer presents with vertical sync
    int texture_w, texture_h;   // the streaming texture's size (0 without one)
    int window_flags;      // SDL's window flags
    int presents;          // frames presented since video start
    char renderer_name[32];
};
void tamu_get_video_info(tamu_video_info *info);
