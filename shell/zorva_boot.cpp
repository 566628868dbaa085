// The boot sequence, the splash, rebooting and the reset glitch.
#include "zorva_shell.h"

#include "console_text.h"
#include "lua.h"
#include "tamu.h"
#include "zorva_app.h"
#include "zorva_cart.h"
#include "zorva_fixed.h"
#include "zorva_memory.h"
#include "zorva_print.h"
#include "zorva_run.h"
#include "zorva_shell_steps.h"
#include "zorva_sound_hooks.h"
#include "tamu_music.h"
#include "zorva_state.h"

#include <cstring>

namespace {

constexpr int BOOT_FRAME_COUNTER = -15;
constexpr int BOOT_STEP_OFFSET = 10;
constexpr int REBOOT_CODE_TAB_LIMIT = 65535;
constexpr int RES_LOGO = 2;
constexpr const char *PRODUCT_NOTICE = "a fantasy console. have fun!";

int peek(int addr) { return zorva_peek(&pstate, pstate.live_cart, addr); }
void poke(int addr, int value) { zorva_poke(&pstate, pstate.live_cart, addr, value); }
int random(int n) { return int(tamu_random(uint32_t(n))); }

void put(int x, int y, int colour) { tamu_putpixel(pstate.screen, x, y, uint32_t(colour)); }

void blit_logo() {
    auto *logo = static_cast<cbitmap *>(cpod_get_item(pstate.resource_pod, RES_LOGO, CPOD_ITEM_BITMAP));
    if (logo && pstate.screen) tamu_blit(logo, pstate.screen, 0, 0, 1, 1, 40, 10);
}

// Sound effect 0 of the boot-sound cart, once through.
void play_boot_sound() {
    zorva_cart *cart = pstate.boot_sound_cart;
    if (!cart) return;
    tamu_play_sfx(&cart->sfx[0]);
}

bool any_button_held() {
    for (auto &player : pstate.button_state.held)
        for (int32_t held : player)
            if (held) return true;
    return false;
}

// The cart-data and machine words of the console state: everything but
// the screens, the pods, the folders and the shell's mode words.
void clear_machine_words() {
    zorva_state &s = pstate;
    s.hold_frame = s.frame_held = 0;
    s.frames_skipped = s.frames_skipped_last_read = s.tick_counter = 0;
    s.paused = 0;
    s.working_sha1[0] = 0;
    s.future_version = 0;
    s.cartdata_id[0] = 0;
    std::memset(s.cart_data, 0, sizeof s.cart_data);
    s.cart_id[0] = 0;
    s.cart_directory[0] = 0;
    s.running = 0;
    s.hold_counter = 0;
    std::memset(&s.draw_state, 0, sizeof s.draw_state);
    s.script_memory = 0;
    std::memset(&s.button_state, 0, sizeof s.button_state);
    s.mainloop_kind = 0;
    s.music_channel_mask = 0;
    std::memset(s.mixer_registers, 0, sizeof s.mixer_registers);
    s.parameter[0] = 0;
    s.pending_parameter[0] = 0;
    std::memset(s.menu_labels, 0, sizeof s.menu_labels);
    std::memset(s.menu_selected, 0, sizeof s.menu_selected);
    std::memset(s.console_memory, 0, sizeof s.console_memory);
    s.compiling = 0;
    s.devkit_notice_shown = 0;
    s.memory_baseline = 0;
    s.fps = 30;
    s.buttons_read = 0;
    s.cart_data_dirty = 0;
    s.cart_data_saved_at = 0;
    s.soft_yield_requested = 0;
    s.out_of_memory = 0;
    s.assert_message[0] = 0;
}

void glitch_memory() {
    int keep = peek(0x5F2E);
    if (random(8) == 0) poke(0x5F2C, random(4));
    if (random(8) == 0)
        for (int i = 0; i < 4; i++) poke(ZORVA_ADDR_MIXER + i, random(256));
    int n = random(4) + 2;
    if (random(4) == 0) n = random(30) + 10;
    int pokes, copies;
    if (!app.glitch_test && random(20) == 0) {
        pokes = 3000;
        copies = 150;
    } else {
        if (app.glitch_test) n = 2 * app.glitch_shots;
        pokes = n * 10;
        copies = n / 2;
    }
    for (int i = 0; i < pokes; i++) poke(random(32768), random(256));
    for (int i = 0; i < copies; i++) {
        int len = random(1024);
        int span = 31744 - 1024 - len;
        zorva_memcpy(&pstate, pstate.live_cart, 1024 + random(span), 1024 + random(span), len);
        zorva_memcpy(&pstate, pstate.live_cart, random(31744), random(31744), random(1024));
    }
    for (int i = 0; i < copies; i++) zorva_memset(&pstate, pstate.live_cart, random(18432), random(256), random(512));
    poke(0x5F2E, keep);
}

}  // namespace

void clear_console_screen() {
    if (pstate.screen) tamu_clear_bitmap(pstate.screen);
}

void boot_init() {
    pstate.MODE = MODE_BOOT;
    pstate.frame_counter = BOOT_FRAME_COUNTER;
    reset_lua_machine();
    reset_runtime_state();
    zorva_print("");
    pstate.draw_state.pen_colour = 7;
    clear_console_screen();
    if (pstate.back_page) tamu_clear_bitmap(pstate.back_page);
    if (zorva_cart *cart = working_cart(); cart && cart->gfx) {
        tamu_line(cart->gfx, 2, 2, 5, 5, 7);
        tamu_line(cart->gfx, 5, 2, 2, 5, 7);
    }
    zorva_srand(uint32_t(tamu_get_time()));
    console_stop_all_sound();
    clear_command_history();
    drain_key_queue();
}

void move_boot() {
    cbitmap *s = pstate.screen;
    if (!s) return;
    int t = pstate.frame_counter - BOOT_STEP_OFFSET;
    zorva_draw_state &d = pstate.draw_state;
    switch (t) {
    case 1:
        for (int y = 0; y < 128; y++)
            for (int x = 2; x <= 122; x += 8) put(x, y, random(4) + y / 32);
        break;
    case 4:
        for (int y = 0; y < 128; y += 2)
            for (int x = 0; x <= 124; x += 4) put(x, y, (x + y) / 8 % 8 + 6);
        break;
    case 7:
        for (int y = 0; y <= 126; y += 3)
            for (int x = 2; x <= 126; x += 4) put(x, y, random(4) + 10);
        break;
    case 9:
        for (int y = 0; y < 128; y++)
            for (int x = 1; x <= 125; x += 2) s->rows[y][x] = s->rows[y][x + 1];
        break;
    case 12:
        for (int y = 1; y < 128; y++)
            if (y % 4) std::memset(s->rows[y], 0, size_t(s->width));
        break;
    case 15: clear_console_screen(); break;
    case 30:
        clear_console_screen();
        play_boot_sound();
        zorva_print("");
        zorva_print("");
        blit_logo();
        d.pen_colour = 6;
        break;
    case 35:
        zorva_print_2("zorva %s", ZORVA_VERSION);
        blit_logo();
        break;
    case 40:
        d.pen_colour = 13;
        zorva_print_col(PRODUCT_NOTICE, 13);
        d.pen_colour = 6;
        zorva_print("");
        zorva_print("booting cartridge..");
        zorva_print("");
        break;
    case 60:
        if (app.autoload_ok && !app.run) {
            pstate.MODE = MODE_CONSOLE;
            pstate.view = 1;
        }
        break;
    case 70:
        if (app.splore) {
            pstate.MODE = MODE_CONSOLE;
            pstate.view = 0;
            d.pen_colour = 6;
            splore_enter();
            pstate.OVERLAY = OVERLAY_BROWSER;
        }
        break;
    case 80:
        // A cart named on the command line takes the main cart's place.
        if (!app.autoload_ok) boot_embedded_cart();
        break;
    case 90:
        if (app.autoload_ok && app.run) {
            pstate.MODE = MODE_CONSOLE;
            pstate.REQUEST = REQUEST_RUN;
        }
        break;
    default: break;
    }
}

void move_splash() {
    if (tamu_get_any_key_down() || any_button_held()) boot_init();
}

void reboot_machine() {
    tamu_destroy_zorva_cart(pstate.live_cart);
    pstate.live_cart = nullptr;
    set_working_cart(nullptr);
    clear_machine_words();
    reset_editor_state();
    pstate.current_directory[0] = 0;
    pstate.live_cart = tamu_create_zorva_cart();
    set_working_cart(tamu_create_zorva_cart());
    create_code_tabs(REBOOT_CODE_TAB_LIMIT);
    boot_init();
    pstate.working_file_name[0] = 0;
    hash_working_cart();
}

void update_reset_glitch() {
    if (!pstate.suspend_counter) return;
    pstate.suspend_counter++;
    if (pstate.suspend_counter == 2) {
        glitch_memory();
    } else if (pstate.suspend_counter >= 5) {
        pstate.suspend_counter = 0;
        pstate.REQUEST = REQUEST_RUN;
        std::memcpy(pstate.pending_parameter, pstate.parameter, sizeof pstate.pending_parameter);
    }
}
