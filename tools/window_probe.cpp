// window_probe: shows a known back page in a real window, for the window
// test under Xvfb (engine/tests/real_window_test.py).
//
//   window_probe renderer|software
//
// Opens a 256 x 256 window titled "zorva-probe" and shows a 128 x 128
// 8-bit page, pixel perfect (so each page pixel is a 2 x 2 block): page
// pixel (x, y) is colour (x / 8 + y / 8) & 15 of a palette whose entry i
// is (i * 16, 255 - i * 16, i * 8). 2 seconds after start it switches to
// full screen, 4 seconds after start back to the window. It ends when its
// window is closed (status 0), or by itself after 30 seconds (status 3).
// Prints "mode <renderer|software> vsync <0|1>" once the window is up.
#include "tamu.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
bool software = false;
int phase = 0;
int started = 0;
}  // namespace

int tamu_main_init(int, char **argv) {
    software = argv[1] && std::strcmp(argv[1], "software") == 0;
    tamu_set_application_title("zorva-probe");
    tamu_init();
    cconfig.windowed = 1;
    cconfig.pixel_perfect = 1;
    cconfig.software_blit = software;
    tamu_set_window_size(256, 256);
    tamu_set_screen(128, 128, 8, TAMU_SCREEN_BY_CONFIG);
    cpalette pal;
    for (int i = 0; i < 256; i++) {
        pal.rgb[3 * i] = uint8_t(i * 16);
        pal.rgb[3 * i + 1] = uint8_t(255 - i * 16);
        pal.rgb[3 * i + 2] = uint8_t(i * 8);
    }
    tamu_set_palette(&pal);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) tamu_back_page->rows[y][x] = uint8_t((x / 8 + y / 8) & 15);
    tamu_video_info info;
    tamu_get_video_info(&info);
    std::printf("mode %s vsync %d\n", info.renderer ? "renderer" : "software", info.vsync);
    std::fflush(stdout);
    started = tamu_get_time();
    return 0;
}

int tamu_main_update() {
    int t = tamu_get_time() - started;
    if (phase == 0 && t >= 2000) {
        tamu_toggle_fullscreen();
        phase = 1;
    } else if (phase == 1 && t >= 4000) {
        tamu_set_windowed(1);
        phase = 2;
    } else if (t >= 30000) {
        std::printf("no one closed the window\n");
        std::fflush(stdout);
        tamu_exit();
        std::_Exit(3);
    }
    return 0;
}

int tamu_main_draw() { return 0; }
int tamu_main_exit() { return 0; }

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_probe renderer|software\n");
        return 2;
    }
    return tamu_main(argc, argv);
}
