// The cart's system functions: frame control, time, status, pause-menu
// items, cart data, sound, and the console commands as functions.
#include "zorva_api.h"
#include "zorva_api_draw.h"

#include "lstate.h"
#include "lua.h"
#include "lualib.h"
#include "tamu.h"
#include "zorva_buttons.h"
#include "zorva_cart.h"
#include "zorva_cpu.h"
#include "zorva_memory.h"
#include "zorva_preprocess.h"
#include "zorva_print.h"
#include "zorva_run.h"
#include "zorva_run_chain.h"
#include "zorva_sound_hooks.h"
#include "zorva_state.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int STAT_COST = 16;
constexpr int SOUND_COST = 16;
constexpr int FILE_COST = 4096;
constexpr int LOAD_COST = 0x400000;
constexpr int CONSOLE_VERSION = 11;
constexpr int NAME_LIMIT = 511;
constexpr int PARAMETER_LIMIT = 1024;
constexpr int MENU_LABEL_LIMIT = 16;
constexpr int FOLDER_INTERVAL_MS = 1000;

// A cart program (not a console command) is running.
bool cart_running() { return pstate.running != 0; }
bool cart_running_not_exec() { return pstate.running != 0 && !pstate.exec_mode; }

// New files and folders that cart programs may make in the root folder in
// one run of the player (with save and mkdir): enough for any cart that
// keeps its own files, too few to fill a disk. Writing over an existing
// file or folder makes nothing new.
constexpr int NEW_ENTRY_LIMIT = 256;
int new_entries_made = 0;

// Whether a cart program may make the entry at path (or at path with
// ".zv" added, as a save adds it to a name without one); counts it if it
// is new. The console's own commands are not bounded.
bool may_make_entry(const char *path, bool cart_name = false) {
    if (!cart_running() || tamu_path_kind(path) != TAMU_PATH_NONE) return true;
    if (cart_name && tamu_path_kind((std::string(path) + ".zv").c_str()) != TAMU_PATH_NONE) return true;
    if (new_entries_made >= NEW_ENTRY_LIMIT) {
        static bool said = false;
        if (!said) tamu_debugf("refused: a cart has made %d new files and folders in this run\n", NEW_ENTRY_LIMIT);
        said = true;
        return false;
    }
    new_entries_made++;
    return true;
}

zorva_cart *working_cart() { return zorva_shell.working_cart ? zorva_shell.working_cart() : nullptr; }

// Argument i as text: strings, and numbers in their text form; else null.
const char *text_arg(lua_State *L, int i) {
    int type = lua_type(L, i);
    return type == LUA_TSTRING || type == LUA_TNUMBER ? lua_tostring(L, i) : nullptr;
}

// A name the cart gives, as a path inside the root folder: from the
// current directory, or from the root for a name that begins with "/".
// The length of the part after the root (0: the root itself), or -1
// for a name that leads anywhere else.
int cart_path(const char *name, size_t length, char *out) {
    return tamu_resolve_inside(pstate.root_path, pstate.current_directory, name, length, out);
}

// The folder a cart path of that inside length names (cd keeps it).
const char *inside_part(const char *path, int inside) { return path + std::strlen(path) - size_t(inside); }

void copy_text(char *out, size_t size, const char *text) { std::snprintf(out, size, "%s", text ? text : ""); }

// Formats into out, cutting what does not fit.
void format_cut(char *out, size_t size, const char *format, ...) __attribute__((format(printf, 3, 4)));
void format_cut(char *out, size_t size, const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(out, size, format, args);
    va_end(args);
}

void set_pending_parameter(const char *param) {
    size_t n = param ? std::strlen(param) : 0;
    if (n > size_t(PARAMETER_LIMIT)) n = PARAMETER_LIMIT;
    if (n) std::memcpy(pstate.pending_parameter, param, n);
    pstate.pending_parameter[n] = 0;
}

// The extension printed after a cart's name: ".zv" unless the name has it.
const char *shown_extension(const char *name) { return std::strstr(name, ".zv") ? "" : ".zv"; }

bool is_clip_name(const char *name, size_t length) {
    if (std::strlen(name) != length) return false;
    return std::strcmp(name, "@clip") == 0 || std::strcmp(name, "@clip.zv") == 0 ||
           std::strcmp(name, "@clip.png") == 0 || std::strcmp(name, "@clip.zv.png") == 0;
}

void charge(int units) { spend_cpu(units); }

int no_result(lua_State *) { return 0; }

int push_bool(lua_State *L, bool b) {
    lua_pushboolean(L, b ? 1 : 0);
    return 1;
}

int push_fixed(lua_State *L, zorva_fixed v) {
    lua_pushnumber(L, v);
    return 1;
}

// stat(1) and stat(2): a count of CPU units over the frame's budget, in
// steps of 1/256.
zorva_fixed cpu_fraction(int32_t units) {
    int64_t steps = (int64_t(units) << 8) / cpu_budget();
    return zorva_fixed(uint32_t(steps) << 8);
}

// stat(16) to stat(26) from the sound library; without it nothing plays.
int sound_stat(int n) {
    if (zorva_sound.stat) return zorva_sound.stat(n);
    return n <= 23 ? -1 : 0;
}

// stat(32) to stat(36): the mouse in devkit mode.
int stat_mouse(lua_State *L, int n) {
    if (zorva_peek(&pstate, pstate.live_cart, 0x5F2D) != 1) {
        zv_push_int(L, 0);
        return 1;
    }
    if (!pstate.devkit_notice_shown) {
        pstate.devkit_notice_shown = 1;
        bool from_command_line = zorva_shell.started_from_command_line && zorva_shell.started_from_command_line();
        if ((pstate.cart_id[0] && pstate.running) || from_command_line) {
            if (zorva_shell.show_message) zorva_shell.show_message("devkit mouse enabled", 2000);
        }
    }
    int x = 0, y = 0, buttons = 0;
    tamu_get_mouse(&x, &y, &buttons);
    int values[5] = {x, y, buttons, 0, 0};
    zv_push_int(L, values[n - 32]);
    return 1;
}

// Loading by name (load): 0 on success, 1 on failure, 2 for the
// clipboard while a cart runs.
int load_by_name(const char *name, size_t length, const char *breadcrumb) {
    if (!name) return 1;
    char previous[ZORVA_PATH_SIZE];
    copy_text(previous, sizeof previous, pstate.working_file_name);
    zorva_cart *cart = nullptr;
    bool loaded = false;
    if (name[0] == '#') return 1;
    if (std::strncmp(name, "__", 2) != 0) {
        if (is_clip_name(name, length)) {
            if (cart_running_not_exec()) return 2;
            if (zorva_shell.load_clip_cart && zorva_shell.load_clip_cart() == 0) {
                pstate.working_file_name[0] = 0;
                cart = working_cart();
                zorva_print_2("loaded from clipboard\n(%d chars)", cart && cart->code ? int(std::strlen(cart->code)) : 0);
                loaded = true;
            }
        } else {
            char path[ZORVA_PATH_SIZE];
            if (cart_path(name, length, path) > 0 && zorva_shell.load_working_cart &&
                zorva_shell.load_working_cart(path) == 0) {
                cart = working_cart();
                format_cut(global_str, sizeof global_str, "loaded %s%s (%d chars)", name, shown_extension(name),
                              cart && cart->code ? int(std::strlen(cart->code)) : 0);
                zorva_print(global_str);
                loaded = true;
            }
        }
    }
    if (!loaded) {
        if (cart_running()) return 1;
        if (pstate.future_version) {
            zorva_print("could not load: future version");
            pstate.future_version = 0;
        } else {
            zorva_print("could not load");
        }
        return 1;
    }
    if (breadcrumb && std::strlen(breadcrumb) > 1) add_run_chain_item(previous, breadcrumb, 0);
    zorva_reload(&pstate, pstate.live_cart, 0, 0, ZORVA_ROM_SIZE);
    charge(LOAD_COST);
    if (cart_running_not_exec()) {
        pstate.REQUEST = REQUEST_RUN;
        if (std::strcmp(previous, pstate.working_file_name) != 0) pstate.hold_counter = 30;
    }
    return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Frame and main loop

// In a coroutine, flip (and stop) yield to whoever resumed it, and the
// frame ends once the cart's main thread is back in the shell (zv_coresume
// and the count hook see to it).
int zv_flip(lua_State *L) {
    pstate.total_cpu = 0;
    pstate.frame_cpu = 0;
    pstate.frame_charge = 0;
    pstate.hold_frame = 0;
    if (L != L0) pstate.frame_over = 1;
    return lua_yield(L, 0);
}

int zv_yield(lua_State *L) { return lua_yield(L, lua_gettop(L)); }

namespace {

// coresume's results once the resuming thread goes on: whatever its own
// resumer passed in is dropped.
int finish_coresume(lua_State *L) {
    int frame = 0;
    lua_getctx(L, &frame);
    lua_settop(L, frame);
    return frame - 1;
}

}  // namespace

int zv_coresume(lua_State *L) {
    int results = luaB_coresume(L);
    // The coroutine gave up the frame: the thread that resumed it does the
    // same, as far up as the cart's main thread. Its results wait below.
    if (!pstate.frame_over || L->nny > 0) return results;
    return lua_yieldk(L, 0, lua_gettop(L), finish_coresume);
}

int zv_holdframe(lua_State *) {
    pstate.hold_frame = 1;
    return 0;
}

int zv__get_frames_skipped(lua_State *L) {
    int n = pstate.frames_skipped;
    pstate.frames_skipped = 0;
    pstate.frames_skipped_last_read = n;
    zv_push_int(L, n);
    return 1;
}

int zv__get_menu_item_selected(lua_State *L) {
    int i = zv_arg_int(L, 1);
    if (i < 1 || i > ZORVA_MENU_ITEMS) return 0;
    bool selected = pstate.menu_selected[i] != 0;
    pstate.menu_selected[i] = 0;
    return push_bool(L, selected);
}

int zv__update_buttons(lua_State *) {
    clear_buttons();
    read_buttons();
    update_buttons();
    return 0;
}

int zv__set_mainloop_exists(lua_State *L) {
    pstate.mainloop_kind = zv_arg_int(L, 1);
    return 0;
}

int zv__set_fps(lua_State *L) {
    pstate.fps = zv_arg_int(L, 1);
    return 0;
}

int zv__set_paused(lua_State *L) {
    pstate.paused = zv_arg_int(L, 1);
    tamu_set_paused(pstate.paused);
    return 0;
}

int zv__paused(lua_State *) {
    cbitmap *screen = pstate.screen;
    if (!screen) return 0;
    tamu_rectfill(screen, 45, 48, 82, 56, 1);
    tamu_draw_text_ex(screen, "paused", zorva_system_font(), 64, 50, TAMU_TEXT_SOLID | TAMU_TEXT_CENTRE, 7);
    return 0;
}

// The frame counter rises once a tick, 60 times a second at 60 fps.
int zv_time(lua_State *L) {
    int fps = pstate.fps == 60 ? 60 : 30;
    return push_fixed(L, zorva_fixed((int64_t(pstate.frame_counter) << 16) / fps));
}

// ---------------------------------------------------------------------------
// Status

int zv_stat(lua_State *L) {
    int n = lua_isnoneornil(L, 1) ? 2 : zv_arg_int(L, 1);
    if (n == 4) {
        const char *clip = zorva_shell.clipboard_text ? zorva_shell.clipboard_text() : nullptr;
        lua_pushstring(L, clip ? clip : "");
        return 1;
    }
    if (n == 6) {
        lua_pushstring(L, pstate.parameter);
        return 1;
    }
    charge(STAT_COST);
    switch (n) {
    case 0: {
        int used = memory_in_use();
        if (used > ZORVA_MEMORY_LIMIT) used = ZORVA_MEMORY_LIMIT;
        if (used < 0) used = 0;
        return push_fixed(L, zorva_fixed(used * 64));
    }
    case 1: return push_fixed(L, cpu_fraction(pstate.total_cpu));
    case 2: return push_fixed(L, cpu_fraction(pstate.frame_charge));
    case 5: zv_push_int(L, CONSOLE_VERSION); return 1;
    case 16: case 17: case 18: case 19: case 20: case 21:
    case 22: case 23: case 24: case 25: case 26: zv_push_int(L, sound_stat(n)); return 1;
    case 32:
    case 33:
    case 34:
    case 35:
    case 36: return stat_mouse(L, n);
    default: zv_push_int(L, 0); return 1;
    }
}

// ---------------------------------------------------------------------------
// Pause menu and cart data

int zv__menuitem(lua_State *L) {
    int i = zv_arg_int(L, 1);
    // Only the five items exist; other numbers change nothing.
    if (i < 1 || i > ZORVA_MENU_ITEMS) return 0;
    const char *label = text_arg(L, 2);
    if (!label) {
        pstate.menu_labels[i][0] = 0;
        return 0;
    }
    size_t n = std::strlen(label);
    if (n > size_t(MENU_LABEL_LIMIT)) n = MENU_LABEL_LIMIT;
    std::memcpy(pstate.menu_labels[i], label, n);
    pstate.menu_labels[i][n] = 0;
    return 0;
}

int zv_cartdata(lua_State *L) {
    if (lua_type(L, 1) != LUA_TSTRING) return 0;
    int result = zorva_shell.load_cdata ? zorva_shell.load_cdata(lua_tostring(L, 1)) : 1;
    return push_bool(L, result == 0);
}

int zv_dget(lua_State *L) {
    uint32_t i = uint32_t(zv_arg_int(L, 1));
    return push_fixed(L, i < uint32_t(ZORVA_CART_DATA_VALUES) ? pstate.cart_data[i] : 0);
}

int zv_dset(lua_State *L) {
    uint32_t i = uint32_t(zv_arg_int(L, 1));
    // Cart data is not written while the shell resets the machine.
    if (i >= uint32_t(ZORVA_CART_DATA_VALUES) || pstate.suspend_counter != 0) return 0;
    pstate.cart_data[i] = zv_arg(L, 2);
    pstate.cart_data_dirty = 1;
    return 0;
}

// ---------------------------------------------------------------------------
// Sound

int zv_music(lua_State *L) {
    int n = zv_arg_int(L, 1), fade = zv_arg_int(L, 2), mask = zv_arg_int(L, 3);
    charge(SOUND_COST);
    if (n == -1) {
        if (zorva_sound.music_stop) zorva_sound.music_stop(fade);
        return 0;
    }
    if (n < 0) n = 0;
    if (n > ZORVA_MUSIC_PATTERNS - 1) n = ZORVA_MUSIC_PATTERNS - 1;
    if (zorva_sound.play_song) zorva_sound.play_song(pstate.live_cart, n, fade);
    pstate.music_channel_mask = mask;
    return 0;
}

int zv_sfx(lua_State *L) {
    if (lua_gettop(L) == 0) return 0;
    int n = zv_arg_int(L, 1);
    int channel = lua_isnoneornil(L, 2) ? -1 : zv_arg_int(L, 2);
    int offset = zv_arg_int(L, 3), length = zv_arg_int(L, 4);
    if (channel < -2 || channel > 3) return 0;
    zorva_cart *cart = pstate.live_cart;
    if (n == -1) {
        if (zorva_sound.play_sfx) zorva_sound.play_sfx(nullptr, 0, 0, cart, channel);
        return 0;
    }
    if (n == -2) {
        if (zorva_sound.release_looping_channel) zorva_sound.release_looping_channel(channel);
        return 0;
    }
    if (!cart) return 0;
    if (channel == -2) {
        if (n >= 0 && n < ZORVA_SFX_COUNT && zorva_sound.stop_sfx) zorva_sound.stop_sfx(&cart->sfx[n]);
        return 0;
    }
    if (n < 1) n = 0;
    if (n > ZORVA_SFX_COUNT - 1) n = ZORVA_SFX_COUNT - 1;
    if (offset < 0) offset = 0;
    if (offset > ZORVA_SFX_NOTES - 1) offset = ZORVA_SFX_NOTES - 1;
    if (zorva_sound.stop_sfx) zorva_sound.stop_sfx(&cart->sfx[n]);
    if (zorva_sound.play_sfx) zorva_sound.play_sfx(&cart->sfx[n], offset, length, cart, channel);
    charge(SOUND_COST);
    return 0;
}

// ---------------------------------------------------------------------------
// Console commands

int zv_load(lua_State *L) {
    size_t length = 0;
    const char *name = zv_arg_name(L, 1, &length);
    const char *breadcrumb = text_arg(L, 2);
    const char *param = text_arg(L, 3);
    if (!cart_running() && !breadcrumb) reset_run_chain();
    set_pending_parameter(param);
    return push_bool(L, load_by_name(name, length, breadcrumb) == 0);
}

int zv_save(lua_State *L) {
    if (cart_running_not_exec()) return 0;
    size_t length = 0;
    const char *name = zv_arg_name(L, 1, &length);
    if (name && length > size_t(NAME_LIMIT)) {
        zorva_print("filename too long");
        return 0;
    }
    if (!name || !length) {
        zorva_print("please specify filename");
        return 0;
    }
    if (is_clip_name(name, length)) {
        zorva_cart *cart = working_cart();
        if (!cart || !cart->label) {
            zorva_print_col("warning: label is blank", 9);
            zorva_print_col("run cart and use f7 to capture", 10);
        }
        bool saved = zorva_shell.save_clip_cart && zorva_shell.save_clip_cart() == 0;
        zorva_print(saved ? "saved to clipboard" : "failed to save to clipboard");
        return 0;
    }
    char path[ZORVA_PATH_SIZE];
    if (cart_path(name, length, path) <= 0 || !may_make_entry(path, true)) {
        // A name that leads out of the root folder saves nothing.
        if (zorva_shell.show_message) zorva_shell.show_message("** failed to save **", 1500);
        return 0;
    }
    if (zorva_shell.save_working_cart && zorva_shell.save_working_cart(path) == 0) {
        format_cut(global_str, sizeof global_str, "saved %s%s", name, shown_extension(name));
        zorva_print(global_str);
    }
    return 0;
}

int zv_run(lua_State *L) {
    set_pending_parameter(text_arg(L, 1));
    pstate.REQUEST = REQUEST_RUN;
    return 0;
}

int zv_stop(lua_State *L) {
    pstate.REQUEST = REQUEST_PAUSE;
    if (L != L0) pstate.frame_over = 1;
    pstate.draw_state.camera_x = 0;
    pstate.draw_state.camera_y = 0;
    if (lua_gettop(L) > 0) {
        zv_print(L);
        lua_settop(L, 0);
    }
    return lua_yield(L, 0);
}

int zv_reboot(lua_State *L) {
    if (cart_running()) return 0;
    pstate.REQUEST = REQUEST_REBOOT;
    if (zorva_shell.clear_browser_at_start) zorva_shell.clear_browser_at_start();
    return lua_yield(L, 0);
}

int zv_shutdown(lua_State *L) {
    if (cart_running()) return 0;
    tamu_quit = 1;
    return lua_yield(L, 0);
}

int zv_info(lua_State *) {
    const char *name = pstate.working_file_name;
    if (name[0]) {
        format_cut(global_str, sizeof global_str, "file: %s%s", name, shown_extension(name));
        zorva_print_col(global_str, 14);
    }
    merge_code_from_tabs();
    zorva_cart *cart = working_cart();
    const char *code = cart && cart->code ? cart->code : "";
    int compressed = zorva_shell.compressed_size ? zorva_shell.compressed_size(code) : 0;
    zorva_print_2("tokens:     %5d /  %d", count_tokens(code), ZORVA_TOKEN_LIMIT);
    zorva_print_2("chars:      %5d / %d", int(std::strlen(code)), 65535);
    zorva_print_2("compressed: %5d / %d", compressed, 15360);
    return 0;
}

int zv_help(lua_State *) {
    if (cart_running()) return 0;
    zorva_print("");
    zorva_print_col("commands", 12);
    zorva_print("");
    zorva_print("load <filename>  save <filename>");
    zorva_print("run              resume");
    zorva_print("shutdown         reboot");
    zorva_print("install_demos    ls");
    zorva_print("cd <dirname>     mkdir <dirname>");
    zorva_print("cd ..      to go up a directory");
    zorva_print("keyconfig  to choose buttons");
    zorva_print_col("splore     to explore cartridges", 14);
    zorva_print("");
    zorva_print("press esc to toggle editor view");
    zorva_print("alt+enter to toggle fullscreen");
    zorva_print("alt+f4 or ctrl-q to fastquit");
    zorva_print("");
    zorva_print_col("see README.md for more info", 12);
    zorva_print_col("www.zorva.example", 12);
    zorva_print("");
    return 0;
}

int zv_ls(lua_State *L) {
    if (!cart_running()) {
        if (zorva_shell.list_files) zorva_shell.list_files(text_arg(L, 1));
        return 0;
    }
    if (lua_gettop(L) > 0) return 0;
    char folder[ZORVA_PATH_SIZE] = "";
    tamu_prefix_with_appdata_path("cstore/", folder);
    lua_newtable(L);
    cfind search;
    int count = 0;
    if (tamu_find_first(folder, "*", &search, TAMU_FIND_FILE) == 0) {
        do {
            if (std::strstr(search.name, ".zv") && !std::strchr(search.name, '~')) {
                lua_pushstring(L, search.name);
                lua_rawseti(L, -2, ++count);
            }
        } while (tamu_find_next(&search) == 0);
    }
    tamu_find_close(&search);
    return 1;
}

int zv_cd(lua_State *L) {
    size_t length = 0;
    const char *name = zv_arg_name(L, 1, &length);
    if (!name) {
        zorva_print_2("directory: /%s", pstate.current_directory);
        return 0;
    }
    if (length > size_t(NAME_LIMIT)) return 0;
    char path[ZORVA_PATH_SIZE];
    int inside = cart_path(name, length, path);
    if (inside < 0) {
        zorva_print_col("cd: failed", 7);
        return 0;
    }
    if (!tamu_directory_exists(path)) {
        zorva_print_col("directory not found", 7);
        return 0;
    }
    const char *folder = inside_part(path, inside);
    bool slash = inside > 0 && folder[inside - 1] != '/';
    format_cut(pstate.current_directory, sizeof pstate.current_directory, "%s%s", folder, slash ? "/" : "");
    zorva_print_2("/%s", pstate.current_directory);
    return 0;
}

int zv_mkdir(lua_State *L) {
    size_t length = 0;
    const char *name = zv_arg_name(L, 1, &length);
    if (!name) {
        zorva_print("mkdir [name]");
        return 0;
    }
    // Only a new folder within the root folder.
    char path[ZORVA_PATH_SIZE];
    if (length > size_t(NAME_LIMIT) || cart_path(name, length, path) <= 0 || !may_make_entry(path)) {
        zv_push_int(L, 0);
        return 1;
    }
    tamu_mkdir(path);
    return 0;
}

// The file manager starts at most once a second (a cart may call this
// every frame), and never without a window.
int zv_folder(lua_State *) {
    static bool opened = false;
    static int opened_at = 0;
    if (pstate.exec_mode) return 0;
    int now = tamu_get_time();
    if (opened && now - opened_at < FOLDER_INTERVAL_MS) return 0;
    char path[ZORVA_PATH_SIZE];
    if (cart_path("", 0, path) < 0) return 0;
    opened = true;
    opened_at = now;
    tamu_launch_html(path);
    return 0;
}

int zv_install_demos(lua_State *) {
    if (zorva_shell.install_demos) zorva_shell.install_demos();
    return 0;
}

// Answers whether it worked too, so that a cart (the main cart's menu)
// can tell its user.
int zv_install_games(lua_State *L) {
    bool installed = zorva_shell.install_games && zorva_shell.install_games() == 0;
    if (installed) {
        zorva_print("installed sample games");
        zorva_print("to splore favourites");
    } else {
        zorva_print("could not install sample games");
    }
    lua_pushboolean(L, installed);
    return 1;
}

int zv_keyconfig(lua_State *) {
    if (zorva_shell.keyconfig) zorva_shell.keyconfig();
    block_buttons();
    return 0;
}

int zv_splore(lua_State *) {
    // A running cart waits under the browser.
    if (zorva_shell.splore) zorva_shell.splore();
    block_buttons();
    return 0;
}

int zv_export(lua_State *L) {
    const char *name = text_arg(L, 1);
    if (!name || !name[0]) {
        zorva_print("please specify a file");
        return 0;
    }
    if (zorva_shell.do_export) zorva_shell.do_export(name);
    charge(FILE_COST);
    return 0;
}

int zv_import(lua_State *L) {
    size_t length = 0;
    const char *name = zv_arg_name(L, 1, &length);
    if (!name) name = "";
    char path[ZORVA_PATH_SIZE];
    if (cart_path(name, length, path) > 0 && zorva_shell.do_import) zorva_shell.do_import(path);
    charge(FILE_COST);
    format_cut(global_str, sizeof global_str, "imported %s%s", name, shown_extension(name));
    return 0;
}

int zv_login(lua_State *L) {
    zorva_print("login unavailable.");
    zorva_print("please update zorva!");
    lua_pushnil(L);
    return 1;
}

int zv_logout(lua_State *L) { return no_result(L); }

int zv_printh(lua_State *L) { return no_result(L); }

int zv_extcmd(lua_State *L) {
    text_arg(L, 1);
    return 0;
}

int zv_bbsreq(lua_State *L) {
    lua_pushnil(L);
    return 1;
}

int zv_scoresub(lua_State *L) {
    lua_pushnil(L);
    zv_push_int(L, 0);
    return 2;
}

int get_zvl_log_file_name(const char *name, char *out, int size) {
    if (!name || !out || size > 1023 || size < 1) return 1;
    if (std::strstr(name, "..")) return 1;
    for (const char *p = name; *p; p++) {
        char c = *p;
        bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' || c == '.' || c == '/' || c == '_';
        if (!ok) return 1;
    }
    size_t n = std::strlen(name);
    bool has_extension = n >= 4 && std::strcmp(name + n - 4, ".zvl") == 0;
    char path[ZORVA_PATH_SIZE];
    if (cart_path(name, n, path) <= 0 || std::strlen(path) + 4 >= size_t(size)) return 1;
    format_cut(out, size_t(size), "%s%s", path, has_extension ? "" : ".zvl");
    return 0;
}
