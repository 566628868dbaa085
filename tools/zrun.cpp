// zrun: runs a text cart headless on the console for a number of frames and
// prints what the console printed, for tests and for looking at a cart
// without a window.
//
//   zrun [-frames N] [-png FILE] [-colours] [-font POD] CART.zv
//
// The cart runs as the player runs it: its code is split into the code
// tabs, joined again and compiled, and each frame the requests that the
// cart made are carried out (run, pause, runtime-error stop, reset) before
// the cart's slice runs. It stops after N frames (default 30) or once the
// program has ended and nothing is pending. Every line printed on the
// console goes to standard output, with -colours preceded by its colour
// in brackets. -png writes the console screen, through its screen
// palette, as a PNG picture. Text is drawn with the console's system font
// from the source tree (or the font pod given with -font).
//
// Exit status: 0, or 1 when the cart cannot be read or the arguments are
// wrong.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tamu.h"
#include "tamu_pod.h"
#include "zorva_buttons.h"
#include "zorva_cart.h"
#include "cart_text.h"
#include "zorva_print.h"
#include "zorva_run.h"
#include "zorva_state.h"

int tamu_main_init(int, char **) { return 0; }
int tamu_main_update() { return 0; }
int tamu_main_draw() { return 0; }
int tamu_main_exit() { return 0; }

namespace {

zorva_cart *working = nullptr;
bool show_colours = false;
char error_text[512];

zorva_cart *working_cart() { return working; }

void printed(const char *text, int colour) {
    if (show_colours)
        std::printf("[%d] %s\n", colour, text);
    else
        std::printf("%s\n", text);
}

// The shell stops the cart at its next update.
void runtime_error(const char *message) {
    if (pstate.suspend_counter >= 1) return;
    pstate.REQUEST = REQUEST_RUNTIME_ERROR;
    std::snprintf(error_text, sizeof error_text, "%s", message ? message : "");
}

// A picture of the screen: one colour of this tool's own for each of the
// 16 console colours.
const uint32_t screen_colours[16] = {
    0x000000, 0x203060, 0x702050, 0x108040, 0x904020, 0x505050, 0xa0a0a0, 0xffffff,
    0xff2040, 0xffa000, 0xffff30, 0x30e040, 0x40a0ff, 0x8070a0, 0xff70b0, 0xffd0a0,
};

bool save_screen(const char *path) {
    cbitmap *picture = tamu_create_bitmap(128, 128, 32);
    if (!picture) return false;
    for (int y = 0; y < 128; y++) {
        auto *row = reinterpret_cast<uint32_t *>(picture->rows[y]);
        for (int x = 0; x < 128; x++) {
            int p = pstate.screen->rows[y][x] & 15;
            row[x] = 0xFF000000u | screen_colours[pstate.draw_state.screen_palette[p] & 15];
        }
    }
    unsigned result = tamu_save_png(path, picture);
    tamu_destroy_bitmap(picture);
    return result == 0;
}

// What the shell does with a pending request at the top of its update.
// Returns false when the request ends the run (a reboot).
bool carry_out_request() {
    int request = pstate.REQUEST;
    pstate.REQUEST = 0;
    switch (request) {
    case REQUEST_RUN: pstate.REQUEST = REQUEST_RUN; run_cart(); pstate.REQUEST = 0; break;
    case REQUEST_PAUSE: pause_program(); break;
    case REQUEST_REBOOT:
    case REQUEST_REBOOT_2: return false;
    case REQUEST_RUNTIME_ERROR:
        pause_program();
        reset_lua_machine();
        zorva_print("");
        zorva_print(error_text);
        break;
    case REQUEST_RESET_SCRIPT: reset_lua_machine(); break;
    default: break;
    }
    return true;
}

int usage() {
    std::fprintf(stderr, "usage: zrun [-frames N] [-png FILE] [-colours] [-font POD] CART.zv\n");
    return 1;
}

}  // namespace

int main(int argc, char **argv) {
    int frames = 30;
    const char *png = nullptr;
    const char *cart_path = nullptr;
    const char *font = ZORVA_FONT_POD;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "-frames") == 0 && i + 1 < argc)
            frames = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "-png") == 0 && i + 1 < argc)
            png = argv[++i];
        else if (std::strcmp(argv[i], "-font") == 0 && i + 1 < argc)
            font = argv[++i];
        else if (std::strcmp(argv[i], "-colours") == 0)
            show_colours = true;
        else if (argv[i][0] == '-' || cart_path)
            return usage();
        else
            cart_path = argv[i];
    }
    if (!cart_path) return usage();

    int result = 0;
    working = tamu_load_zorva_cart(cart_path, &result);
    if (!working) {
        std::fprintf(stderr, "zrun: cannot read %s: %s\n", cart_path, zorva_cart_result_text(result));
        return 1;
    }

    tamu_text_init();
    std::memset(&pstate, 0, sizeof pstate);
    zorva_reset_shell_hooks();
    zorva_shell.working_cart = working_cart;
    zorva_shell.console_printed = printed;
    zorva_shell.runtime_error = runtime_error;
    zorva_shell.cursor_cr = console_cursor_cr;
    pstate.font_pod = tamu_load_pod(font);
    pstate.screen = tamu_create_bitmap(128, 128, 8);
    pstate.live_cart = tamu_create_zorva_cart();
    for (int t = 0; t < ZORVA_CODE_TABS; t++) pstate.code_tabs[t] = tamu_create_ctext(nullptr, ZORVA_CODE_LIMIT);
    std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "%s", cart_path);
    pstate.fps = 30;
    reset_runtime_state();
    split_code_to_tabs();

    pstate.REQUEST = REQUEST_RUN;
    for (int frame = 0; frame < frames && !tamu_quit; frame++) {
        if (pstate.REQUEST && !carry_out_request()) break;
        if (pstate.MODE != MODE_RUNNING) {
            if (!pstate.REQUEST) break;
            continue;
        }
        if (pstate.hold_counter > 0) {
            pstate.hold_counter--;
        } else {
            if (pstate.mainloop_kind < 2) {
                clear_buttons();
                read_buttons();
                update_buttons();
            }
            run_slice();
        }
        pstate.frame_counter++;
    }
    if (pstate.REQUEST == REQUEST_RUNTIME_ERROR || pstate.REQUEST == REQUEST_PAUSE) carry_out_request();

    int status = 0;
    if (png && !save_screen(png)) {
        std::fprintf(stderr, "zrun: cannot write %s\n", png);
        status = 1;
    }
    std::fflush(stdout);
    return status;
}
