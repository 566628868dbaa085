// The console's download wait.
#include "console_download.h"

#include "cart_forms.h"
#include "tamu.h"
#include "zorva_app.h"
#include "zorva_buttons.h"
#include "zorva_cart.h"
#include "zorva_message_bar.h"
#include "zorva_print.h"
#include "zorva_run.h"
#include "zorva_run_chain.h"
#include "zorva_shell_steps.h"
#include "zorva_splore.h"
#include "zorva_state.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int KEY_P = 19, KEY_ESCAPE = 41;
constexpr int LAUNCH_SKIP_FRAMES = 20;
constexpr int LINE_HEIGHT = 6;
constexpr int PAUSE_BUTTON = 6;

// The pause key (the configured one, else P) or player 0's pause button,
// pressed just now.
bool pause_pressed() {
    int key = app.button_keys[ZORVA_BUTTON_KEY_PAUSE] ? app.button_keys[ZORVA_BUTTON_KEY_PAUSE] : KEY_P;
    if (key > 0 && key < TAMU_KEY_SLOTS && tamu_get_key_state(key) == 3) return true;
    const zorva_button_state &b = pstate.button_state;
    return b.held[0][PAUSE_BUTTON] && !b.previous[0][PAUSE_BUTTON];
}

// The press is used up here: the pause menu does not open for it.
void consume_pause_press() {
    zorva_button_state &b = pstate.button_state;
    b.held[0][PAUSE_BUTTON] = 0;
    b.blocked[0][PAUSE_BUTTON] = 1;
}

// A title as the console can show it: lower case, and a space for every
// character it has no glyph for.
void clean_title(char *out, size_t size, const char *title) {
    std::snprintf(out, size, "%s", title ? title : "");
    for (char *p = out; *p; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 'A' && c <= 'Z')
            *p = char(c - 'A' + 'a');
        else if (c < 32 || c > 127)
            *p = ' ';
    }
}

int code_length(const zorva_cart *cart) { return cart && cart->code ? int(std::strlen(cart->code)) : 0; }

// The working cart came from the download: a running program starts it
// (20 frames later); the console reports it.
void downloaded_cart_ready(const char *title, const char *lid) {
    if (pstate.running) {
        run_chain_confirm_pending();
        pstate.REQUEST = REQUEST_RUN;
        pstate.hold_counter = LAUNCH_SKIP_FRAMES;
        return;
    }
    zorva_print("downloading.. ok");
    zorva_print_col(title, 14);
    zorva_print_2("loaded #%s (%d chars)", lid, code_length(working_cart()));
}

// A fresh info file (its cached copy is the same path without "temp-").
void take_info_file(const char *temp_path) {
    char cached[APP_TEXT_SIZE];
    std::snprintf(cached, sizeof cached, "%s", temp_path);
    if (char *temp = std::strstr(cached, "temp-")) std::memmove(temp, temp + 5, std::strlen(temp + 5) + 1);

    cdict *info = tamu_load_stable_config(temp_path);
    if (info && std::strlen(tamu_sts(info, "lid", 0)) > 1) {
        tamu_copy_file(temp_path, cached);
    } else {
        tamu_destroy_stable(info);
        info = tamu_load_stable_config(cached);
        if (!info) zorva_print("could not fetch cart");
    }
    char lid[128];
    std::snprintf(lid, sizeof lid, "%s", tamu_sts(info, "lid", 0));
    if (std::strlen(lid) < 2) {
        show_message("could not find cart", MESSAGE_FAILURE_MS);
        run_chain_cancel_pending();
        pstate.hold_counter = 0;
    } else {
        set_running_item_from_nfo(info);
        char title[APP_TEXT_SIZE];
        clean_title(title, sizeof title, tamu_sts(info, "title", 0));
        char path[APP_TEXT_SIZE];
        std::snprintf(path, sizeof path, "%s", get_bbs_cart_filename(lid));
        if (path[0] && tamu_file_exists(path) && load_working_cart(path) == 0) {
            downloaded_cart_ready(title, lid);
        } else {
            std::snprintf(app.download_title, sizeof app.download_title, "%s", title);
            download_bbs_cart(lid);
            // An id with no cache place or URL: no cart will come.
            if (app.download_slot.state == DOWNLOAD_IDLE) run_chain_cancel_pending();
        }
    }
    tamu_destroy_stable(info);
    pstate.tick_counter = 0;
}

// A fresh cart image.
void take_cart_image(const char *temp_path) {
    zorva_cart *cart = load_downloaded_cart(temp_path);
    if (!cart) {
        switch (last_png_load_error) {
        case PNG_CART_NOT_PNG: show_message("could not connect to bbs", MESSAGE_FAILURE_MS); break;
        case PNG_CART_FUTURE_VERSION: show_message("future version. please update!", MESSAGE_FAILURE_MS); break;
        default: show_message("could not load", MESSAGE_FAILURE_MS); break;
        }
        run_chain_cancel_pending();
        return;
    }
    prepare_loaded_cart(cart, temp_path);
    char lid[128];
    std::snprintf(lid, sizeof lid, "%s", get_lid_from_filename(temp_path));
    downloaded_cart_ready(app.download_title, lid);
}

}  // namespace

void update_load_download() {
    collect_download_result();
    download_slot_record &slot = app.download_slot;
    if (slot.state == DOWNLOAD_RUNNING) {
        if (zorva_clock() - slot.start_time > cconfig.timeout * 1000) {
            cancel_download(nullptr);
            run_chain_cancel_pending();
            if (!pstate.running) {
                int &y = pstate.draw_state.cursor_y;
                y = y >= LINE_HEIGHT ? y - LINE_HEIGHT : 0;
                zorva_print("download timed out");
            }
            return;
        }
        bool pause = pstate.running && pause_pressed();
        if (tamu_get_key_state(KEY_ESCAPE) || pause) {
            cancel_download(nullptr);
            run_chain_cancel_pending();
            if (!pstate.running) zorva_print("downloading.. cancelled");
            if (pause) consume_pause_press();
        }
        return;
    }
    if (slot.state == DOWNLOAD_DONE) {
        slot.state = DOWNLOAD_IDLE;
        char temp_path[APP_TEXT_SIZE];
        std::snprintf(temp_path, sizeof temp_path, "%s", slot.temp_path);
        if (std::strstr(temp_path, ".nfo"))
            take_info_file(temp_path);
        else
            take_cart_image(temp_path);
        return;
    }
    if (slot.state == DOWNLOAD_FAILED) {
        slot.state = DOWNLOAD_IDLE;
        run_chain_cancel_pending();
        if (pstate.running)
            show_message("download failed", MESSAGE_FAILURE_MS);
        else
            zorva_print("download failed");
    }
}
