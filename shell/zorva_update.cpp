// The shell's update: requests, frame pacing, the tick by mode, the
// running keys and the hot keys, and the audio pause.
#include "zorva_shell.h"

#include "cart_overlay.h"
#include "console_download.h"
#include "console_text.h"
#include "tamu.h"
#include "cart_forms.h"
#include "zorva_app.h"
#include "zorva_buttons.h"
#include "zorva_capture.h"
#include "zorva_keyconfig.h"
#include "zorva_memory.h"
#include "zorva_print.h"
#include "zorva_run.h"
#include "zorva_shell_steps.h"
#include "zorva_splore.h"
#include "zorva_state.h"
#include "tamu_music.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

char zorva_error_string[ZORVA_ERROR_STRING_SIZE];
int32_t frame_pile = 0;
int32_t last_t = 0;
int32_t frame_flipper = 0;
int32_t last_quick_load = 0;

namespace {

// Scancodes.
enum : int {
    KEY_M = 16, KEY_P = 19, KEY_R = 21, KEY_S = 22, KEY_V = 25, KEY_6 = 35, KEY_7 = 36, KEY_8 = 37, KEY_9 = 38, KEY_0 = 39,
    KEY_ESCAPE = 41, KEY_F1 = 58,
};
constexpr int QUICK_LOAD_GAP_MS = 500;
constexpr int GLITCH_TEST_RESET = 12;
constexpr int GLITCH_TEST_SHOTS = 48;

bool pressed(int scancode) { return tamu_get_key_state(scancode) == 3; }
bool ctrl_held() { return tamu_get_key_state(TAMU_KEY_CTRL) != 0; }
bool fkey_pressed(int n) { return pressed(KEY_F1 + n - 1); }

void sample_buttons() {
    clear_buttons();
    read_buttons();
    update_buttons();
}

// A pass of the update may run no tick (a 30 fps cart on a display of
// 60 Hz): a key that goes down on such a pass is kept for the next tick.
void latch_key_presses() {
    for (int code = 0; code < TAMU_KEY_SLOTS; code++)
        if (pressed(code)) keys_pressed_since_tick[code] = 1;
}

// The pause key (the configured one, else P) or a controller's pause
// button, pressed since the last tick.
bool pause_pressed() {
    int key = app.button_keys[ZORVA_BUTTON_KEY_PAUSE] ? app.button_keys[ZORVA_BUTTON_KEY_PAUSE] : KEY_P;
    if (key > 0 && key < TAMU_KEY_SLOTS && keys_pressed_since_tick[key]) return true;
    const zorva_button_state &b = pstate.button_state;
    return b.held[0][6] && !b.previous[0][6];
}

// The keys that act with Ctrl (mute, quick load and save, paste,
// captures) press no button while they do.
void keep_ctrl_keys_from_the_cart() {
    static const int ctrl_keys[] = {KEY_M, KEY_R, KEY_S, KEY_V, KEY_6, KEY_7, KEY_8, KEY_9, KEY_0};
    for (int key : ctrl_keys)
        if (pressed(key)) block_buttons_of_key(key);
}

// Ctrl+R: the cart again from its file (when it changed there), after the
// reset glitch.
void restart_cart_from_file() {
    int now = zorva_clock();
    if (pstate.suspend_counter != 0 || now - last_quick_load <= QUICK_LOAD_GAP_MS) return;
    do_quick_load();
    pstate.suspend_counter = 1;
    last_quick_load = now;
    drain_key_queue();
}

// The console takes no typed commands in this build; its keys lead on:
// Esc opens the cart browser, Ctrl+R runs the cart again (Ctrl+Q quits,
// as everywhere).
void process_console_keypresses() {
    while (tamu_keypressed()) {
        int c = tamu_readkey();
        if (c == 27) {
            drain_key_queue();
            open_splore();
            block_buttons();
            return;
        }
        if (c == 'r' && ctrl_held() && console_can_run_again()) {
            restart_cart_from_file();
            return;
        }
    }
}

bool console_takes_keys() {
    return pstate.MODE == MODE_CONSOLE && pstate.OVERLAY == OVERLAY_NONE && !pstate.REQUEST &&
           !pstate.suspend_counter && !listing_in_progress();
}

void glitch_test_step() {
    if (!app.glitch_test || pstate.MODE != MODE_RUNNING) return;
    app.glitch_test++;
    if (app.glitch_test == GLITCH_TEST_RESET) pstate.suspend_counter = 1;
    if (pstate.REQUEST == REQUEST_RUN) {
        save_png_screenshot(pstate.back_page);
        app.glitch_test = 1;
        app.glitch_shots++;
        if (app.glitch_shots >= GLITCH_TEST_SHOTS) std::exit(0);
    }
}

void paused_tick() {
    sample_buttons();
    process_running_keypresses();
    process_paused_keypresses();
    frame_pile -= TICK;
    record_video_frame(app.capture);
    clear_key_presses();
}

// A cart waits under the key configuration or the browser.
void overlay_tick() {
    sample_buttons();
    overlay_over_cart_tick();
    frame_pile -= TICK;
    record_video_frame(app.capture);
    clear_key_presses();
}

void normal_tick() {
    if (pstate.MODE == MODE_RUNNING && app.download_slot.state > DOWNLOAD_IDLE) {
        sample_buttons();
        update_load_download();
        if (pstate.hold_counter > 10) pstate.hold_counter--;
    } else if (pstate.MODE == MODE_RUNNING && pstate.hold_counter < 1) {
        process_running_keypresses();
        if (pstate.mainloop_kind < 2) {
            clear_buttons();
            read_buttons();
            if (pstate.buttons_read) {
                update_buttons();
                pstate.buttons_read = 0;
            }
        }
        if (pstate.suspend_counter < 3) run_slice();
    } else if (pstate.MODE == MODE_RUNNING) {
        pstate.hold_counter--;
    } else {
        sample_buttons();
        if (pstate.OVERLAY == OVERLAY_KEYCONFIG)
            keyconfig_update();
        else if (pstate.OVERLAY == OVERLAY_BROWSER)
            splore_update();
        pstate.hold_counter = 0;
        if (pstate.MODE == MODE_CONSOLE && pstate.view == 0) zorva_list_files();
        if (console_takes_keys()) process_console_keypresses();
        if (pstate.MODE == MODE_BOOT)
            move_boot();
        else if (pstate.MODE == MODE_SPLASH)
            move_splash();
    }
    update_reset_glitch();
    frame_pile -= TICK;
    pstate.frame_counter++;
    pstate.tick_counter++;
    frame_flipper ^= 1;
    if (!(pstate.fps == 60 && frame_flipper == 1)) record_video_frame(app.capture);
    clear_key_presses();
}

// "saved screenshot to ~/Desktop/name_000.png": where the file went, the
// home folder written as "~".
void show_saved_message(const char *what, const char *path) {
    const char *home = tamu_platform_getenv("HOME");
    size_t n = home ? std::strlen(home) : 0;
    char text[APP_MESSAGE_SIZE];
    if (n > 1 && std::strncmp(path, home, n) == 0 && path[n] == '/')
        std::snprintf(text, sizeof text, "saved %s to ~%s", what, path + n);
    else
        std::snprintf(text, sizeof text, "saved %s to %s", what, path);
    show_message(text, MESSAGE_PATH_MS);
}

}  // namespace

int console_can_run_again() { return pstate.working_file_name[0] ? 1 : 0; }

void clear_key_presses() { std::memset(keys_pressed_since_tick, 0, TAMU_KEY_SLOTS); }

void zorva_runtime_error(const char *message) {
    if (pstate.suspend_counter >= 1) return;
    pstate.REQUEST = REQUEST_RUNTIME_ERROR;
    std::snprintf(zorva_error_string, sizeof zorva_error_string, "%s", message ? message : "");
}

void process_command() {
    int request = pstate.REQUEST;
    if (!request) return;
    pstate.suspend_counter = 0;
    switch (request) {
    case REQUEST_RUN:
        forget_overlay_over_cart();   // the new cart takes the waiting one's place
        run_cart();
        // Without a window nothing else can happen once the cart did not
        // start (a syntax error): the run is over.
        if (pstate.exec_mode && pstate.MODE != MODE_RUNNING) tamu_quit = 1;
        break;
    case REQUEST_PAUSE: pause_program(); break;
    case REQUEST_REBOOT:
    case REQUEST_REBOOT_2: reboot_machine(); break;
    case REQUEST_RUNTIME_ERROR:
        pause_program();
        reset_lua_machine();
        open_cart_error_report();
        zorva_print("");
        zorva_print(zorva_error_string);
        close_cart_error_report();
        break;
    case REQUEST_RESET_SCRIPT: reset_lua_machine(); break;
    default: break;
    }
    pstate.REQUEST = 0;
}

int bank_frame_time(int now) {
    int rate = !tamu_state.paused && !app.pause_menu_open && !overlay_over_cart() && pstate.fps == 60 ? 60 : 30;
    // 32-bit arithmetic: a very long stall wraps, and the limits below
    // catch whatever it gives.
    int32_t ms16 = int32_t(uint32_t(now - last_t) * 65536u) / 1000;
    frame_pile = int32_t(uint32_t(frame_pile) + uint32_t(ms16) * uint32_t(rate));
    last_t = now;
    if (app.glitch_test) {
        frame_pile = TICK;
    } else {
        if (frame_pile < 0) frame_pile = 0;
        if (frame_pile > FRAME_PILE_LIMIT) frame_pile = FRAME_PILE_LIMIT;
    }
    return frame_pile > 0xFFFF ? 1 : 0;
}

void toggle_mute() {
    int volume = cconfig.sound_volume == 0 ? 256 : 0;
    tamu_set_sound_volume(volume);
    tamu_set_music_volume(volume);
    show_message(volume ? "sound on" : "sound off", 1000);
}

void open_pause_menu() {
    build_paused_menu();
    app.pause_menu_selected = 0;
    app.pause_menu_open = 1;
}

void process_running_keypresses() {
    if (ctrl_held()) {
        while (tamu_keypressed()) {
            int c = tamu_readkey();
            if (c == 'r') {
                restart_cart_from_file();
            } else if (c == 's') {
                do_quick_save();
            } else if (c == 'v') {
                char *text = tamu_get_clipboard_text();
                tamu_free(app.clipboard_text);
                app.clipboard_text = text;
            }
        }
    }
    if (pstate.running && pstate.MODE == MODE_RUNNING && !app.pause_menu_open && pause_pressed()) {
        if (zorva_peek(&pstate, pstate.live_cart, 0x5F30) == 1) {
            zorva_poke(&pstate, pstate.live_cart, 0x5F30, 0);
        } else {
            block_buttons();
            open_pause_menu();
        }
    }
}

void process_hot_keys() {
    if (tamu_get_key_state(TAMU_KEY_ALT)) return;
    bool ctrl = ctrl_held();
    int action = 0;
    char saved[ZORVA_PATH_SIZE];
    if (fkey_pressed(1) || fkey_pressed(6) || (ctrl && pressed(KEY_6))) action = 1;
    if (fkey_pressed(2) || fkey_pressed(7) || (ctrl && pressed(KEY_7))) action = 2;
    if (fkey_pressed(3) || fkey_pressed(8) || (ctrl && pressed(KEY_8))) action = 3;
    if (fkey_pressed(4) || fkey_pressed(9) || (ctrl && pressed(KEY_9))) action = 4;
    if (fkey_pressed(5) || fkey_pressed(10) || (ctrl && pressed(KEY_0))) action = 5;
    switch (action) {
    case 1:
        if (save_png_screenshot(pstate.back_page, saved) == 0)
            show_saved_message("screenshot", saved);
        else
            show_message("** failed to save screenshot", 1500);
        break;
    case 2:
        set_cart_label();
        show_message("captured label image", 1000);
        break;
    case 3:
        reset_video();
        show_message("set video starting point", 1000);
        break;
    case 4:
        if (save_gif(saved) == 0)
            show_saved_message("video", saved);
        else
            show_message("** failed to save video", 1500);
        break;
    case 5:
        app.keyboard_cursor = !app.keyboard_cursor;
        show_message(app.keyboard_cursor ? "keyboard cursor: on" : "keyboard cursor: off", 1500);
        break;
    default: break;
    }
}

void determine_audio_pause_state() {
    bool paused = false;
    if (pstate.MODE == MODE_RUNNING) {
        int mode = zorva_peek(&pstate, pstate.live_cart, 0x5F2F);
        paused = mode == 1 || (mode != 2 && (app.pause_menu_open || overlay_over_cart()));
    }
    int &word = tamu_state.audio_paused;
    if (paused)
        word = 1;
    else if (word >= 1 && word <= 4)
        word++;
    else
        word = 0;
}

int tamu_main_update() {
    latch_key_presses();
    collect_download_result();
    glitch_test_step();
    if (ctrl_held()) {
        if (pressed(KEY_M)) toggle_mute();
        keep_ctrl_keys_from_the_cart();
    }
    process_command();
    if (pstate.MODE != MODE_RUNNING) forget_overlay_over_cart();
    // Esc on this pass belongs to an overlay over the cart, also when the
    // user leaves it with Esc.
    bool over_cart = overlay_over_cart();
    if (pstate.MODE != MODE_RUNNING) {
        pstate.paused = 0;
        tamu_set_paused(0);
        app.pause_menu_open = 0;
        pstate.fps = 30;
    }
    if (bank_frame_time(zorva_clock())) {
        if (overlay_over_cart())
            overlay_tick();
        else if (tamu_state.paused || app.pause_menu_open)
            paused_tick();
        else
            normal_tick();
    }
    if (pressed(KEY_ESCAPE) && pstate.MODE == MODE_RUNNING && pstate.view == 0 && !over_cart && !overlay_over_cart()) {
        // The Esc that did it is used up: left in the key queue, it would
        // close the next browser the cart opens at once.
        drain_key_queue();
        if (app.pause_menu_open)
            app.pause_menu_open = 0;
        else
            open_pause_menu();
    }
    set_view(pstate.view);
    process_hot_keys();
    if (pstate.hold_counter == 0 && app.download_slot.state == DOWNLOAD_IDLE) pstate.tick_counter = 0;
    determine_audio_pause_state();
    return 0;
}
