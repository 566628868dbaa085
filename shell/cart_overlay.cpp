// Overlays over a waiting cart.
#include "cart_overlay.h"

#include "tamu.h"
#include "zorva_buttons.h"
#include "zorva_keyconfig.h"
#include "zorva_shell.h"
#include "zorva_splore.h"
#include "zorva_state.h"

namespace {

struct overlay_over_cart_record {
    int overlay;                  // the overlay the cart opened; 0: no cart waits
    int under;                    // the overlay before it (the browser the cart came from)
    zorva_draw_state draw_state;  // the cart's, as it was
    cbitmap *page;                // what the overlay draws on
};
overlay_over_cart_record waiting;

void update_overlay(int overlay) {
    if (overlay == OVERLAY_KEYCONFIG)
        keyconfig_update();
    else if (overlay == OVERLAY_BROWSER)
        splore_update();
}

void back_to_cart() {
    pstate.OVERLAY = waiting.under;
    pstate.draw_state = waiting.draw_state;
    waiting.overlay = 0;
    block_buttons();
    drain_key_queue();
}

}  // namespace

void show_overlay(int overlay) {
    if (pstate.MODE == MODE_RUNNING && pstate.running && !waiting.overlay) {
        // Keys typed while the cart ran are not the overlay's (an Esc
        // among them would close it at once).
        drain_key_queue();
        waiting.under = pstate.OVERLAY;
        waiting.draw_state = pstate.draw_state;
        waiting.overlay = overlay;
    } else if (waiting.overlay) {
        waiting.overlay = overlay;
    }
    pstate.OVERLAY = overlay;
}

int overlay_over_cart() { return waiting.overlay ? 1 : 0; }

void overlay_over_cart_tick() {
    if (!waiting.overlay) return;
    update_overlay(waiting.overlay);
    // A cart chosen in the browser replaces the waiting one (the request
    // to run it is carried out next); any other way out goes back.
    if (pstate.REQUEST == REQUEST_RUN) return;
    if (pstate.OVERLAY != waiting.overlay) back_to_cart();
}

void draw_overlay_over_cart(cbitmap *page) {
    if (!waiting.page) waiting.page = tamu_create_bitmap(128, 128, 8);
    if (!waiting.page) return;
    cbitmap *cart_screen = pstate.screen;
    pstate.screen = waiting.page;
    if (pstate.OVERLAY == OVERLAY_KEYCONFIG)
        keyconfig_draw();
    else if (pstate.OVERLAY == OVERLAY_BROWSER)
        splore_draw();
    pstate.screen = cart_screen;
    if (pstate.back_page) tamu_blit(waiting.page, pstate.back_page, 0, 0, 0, 0, 128, 128);
    if (page) tamu_blit(waiting.page, page, 0, 0, 0, 0, 128, 128);
}

void forget_overlay_over_cart() { waiting.overlay = 0; }

void release_cart_overlay() {
    waiting.overlay = 0;
    tamu_destroy_bitmap(waiting.page);
    waiting.page = nullptr;
}
