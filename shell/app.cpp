// The application's start-up and shut-down callbacks, the data pod and
// the console's hooks into the shell.
#include "zorva_app.h"

#include "cart_forms.h"
#include "cart_overlay.h"
#include "cart_text.h"
#include "code_compression.h"
#include "console_text.h"
#include "demo_install.h"
#include "editor_buffers.h"
#include "lua.h"
#include "tamu.h"
#include "zorva_buttons.h"
#include "zorva_cart.h"
#include "zorva_capture.h"
#include "zorva_cpu.h"
#include "zorva_keyconfig.h"
#include "zorva_memory.h"
#include "zorva_print.h"
#include "zorva_run.h"
#include "zorva_shell.h"
#include "zorva_shell_steps.h"
#include "standalone_export.h"
#include "zorva_sound_hooks.h"
#include "zorva_splore.h"
#include "zorva_state.h"
#include "tamu_mixer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr int CODE_TAB_LIMIT = 0x10002;

// Items of the data pod and of its resource pod.
enum { POD_BOOT_SOUND = 0, POD_RESOURCES = 1, POD_FONT = 2 };
enum { RES_PALETTE = 1, RES_LOGO = 2, RES_ICON = 6 };

const char *const app_folders[] = {"carts/", "backup/", "cdata/", "cstore/", "plates/", "bbs/", "bbs/carts/", "bbs/labels/"};

std::vector<char *> library_argv;

// A run without a window (-x) must not need a display: the library is
// told before its start-up, which opens the video system.
void start_headless_for_exec(int argc, char **argv) {
    bool exec = false;
    for (int i = 1; i < argc && argv && argv[i]; i++) {
        const char *arg = argv[i];
        if (arg[0] == '&' || arg[0] == '|' || arg[0] == '>') break;
        if (std::strcmp(arg, "-x") == 0 || std::strcmp(arg, "-exec") == 0) exec = true;
    }
    if (!exec) return;
    static char headless[] = "-headless", one[] = "1";
    // argv may be this very list (a restart): build the new one apart.
    std::vector<char *> list = {argv[0], headless, one};
    for (int i = 1; i < argc; i++) list.push_back(argv[i]);
    library_argv = std::move(list);
    tamu_argc = int(library_argv.size());
    tamu_argv = library_argv.data();
}

// The item of a pod that is a memory file, rewound; null when the pod has
// no such item.
cfile *pod_file(cpod *pod, int index) {
    auto *file = static_cast<cfile *>(cpod_get_item(pod, index, CPOD_ITEM_FILE));
    if (file) file->position = 0;
    return file;
}

cpod *nested_pod(cpod *pod, int index) {
    cfile *file = pod_file(pod, index);
    return file ? tamu_load_pod_file(nullptr, file) : nullptr;
}

void load_data_pod() {
    char path[ZORVA_PATH_SIZE] = "";
    tamu_prefix_with_program_path("data.pod", path);
    pstate.data_pod = tamu_load_pod(path);
    if (!pstate.data_pod) {
        std::printf("couldn't load %s\n", path);
        std::fflush(stdout);
        tamu_debugf("couldn't load %.400s\n", path);
        std::exit(1);
    }
    if (cfile *file = pod_file(pstate.data_pod, POD_BOOT_SOUND))
        pstate.boot_sound_cart = tamu_load_zorva_cart_from_file(file);
    pstate.resource_pod = nested_pod(pstate.data_pod, POD_RESOURCES);
    pstate.font_pod = nested_pod(pstate.data_pod, POD_FONT);
    if (!pstate.boot_sound_cart) tamu_debug("data.pod: no boot sound\n");
    if (!pstate.resource_pod) tamu_debug("data.pod: no resources\n");
    if (!pstate.font_pod) tamu_debug("data.pod: no font\n");
}

void set_up_screen() {
    tamu_set_window_title("ZORVA");
    const char *title = get_embedded_cart_title();
    if (title[0]) tamu_set_window_title(title);
    tamu_set_screen(128, 128, 8, TAMU_SCREEN_BY_CONFIG);
    tamu_set_window_icon(static_cast<cbitmap *>(cpod_get_item(pstate.resource_pod, RES_ICON, CPOD_ITEM_BITMAP)));
    if (auto *palette = static_cast<cpalette *>(cpod_get_item(pstate.resource_pod, RES_PALETTE, CPOD_ITEM_PALETTE)))
        tamu_set_palette(palette);
}

void create_bitmaps() {
    pstate.screen = tamu_create_bitmap(128, 128, 8);
    pstate.back_page = tamu_create_bitmap(128, 128, 8);
    app.capture = tamu_create_bitmap(128, 128, 8);
    create_editor_buffers();
    pstate.scratch_1x1 = tamu_create_bitmap(1, 1, 8);
    pstate.scratch_8x8 = tamu_create_bitmap(8, 8, 8);
}

// "splash.png" beside the program, in the display palette.
cbitmap *load_splash() {
    char path[ZORVA_PATH_SIZE] = "";
    tamu_prefix_with_program_path("splash.png", path);
    if (!tamu_file_exists(path)) return nullptr;
    cbitmap *picture = tamu_load_png(path);
    if (!picture) return nullptr;
    cbitmap *splash = tamu_create_bitmap(picture->width, picture->height, 8);
    if (splash) tamu_convert_bitmap(picture, splash, tamu_palette);
    tamu_destroy_bitmap(picture);
    return splash;
}

// The shell's answers to the console.
// A program that stops makes the browser wait for a button, unless the
// pause menu sent it there (2), which waits for nothing.
void set_wait_for_button(int on) {
    if (!on)
        app.browser_waits_for_button = 0;
    else if (app.browser_waits_for_button != 2)
        app.browser_waits_for_button = 1;
}
const char *clipboard_text() { return app.clipboard_text; }
int started_from_command_line() { return app.splore || auto_load_fn ? 1 : 0; }
void install_demos() { install_demo_carts(1); }
void clear_browser_at_start() { app.splore = 0; }
void print_on_console(const char *text) { zorva_print(text); }
int save_png_cart(const zorva_cart *cart, const char *path) { return save_zorva_cart_png(cart, path); }

int compressed_size(const char *code) {
    int length = code ? int(std::strlen(code)) : 0;
    std::vector<uint8_t> out(size_t(compress_mini_bound(length)));
    return compress_mini(code ? code : "", out.data(), length);
}

// The cart named on the command line becomes the working cart. When it
// was named to be run (-run, -x, or alone) and cannot be, the player says
// why and ends with status 1.
void autoload(const char *name) {
    char path[ZORVA_PATH_SIZE] = "";
    if (tamu_resolve_filename(name, path) != 0) {
        // (load_working_cart logs why the others fail.)
        note_cart_load_failure(CART_LOAD_NO_FILE);
        tamu_debugf("could not load %.400s: %s\n", name, cart_load_failure());
    } else if (load_working_cart(path) == 0) {
        app.autoload_ok = 1;
        return;
    }
    std::printf("could not load %s: %s\n", name, cart_load_failure());
    std::fflush(stdout);
    if (pstate.exec_mode || app.run) std::exit(1);
}

}  // namespace

void install_shell_hooks() {
    zorva_reset_shell_hooks();
    zorva_shell.runtime_error = zorva_runtime_error;
    zorva_shell.working_cart = working_cart;
    zorva_shell.cursor_cr = shell_cursor_cr;
    zorva_shell.set_wait_for_button = set_wait_for_button;
    zorva_shell.program_paused = reset_splore_animation;
    zorva_shell.clipboard_text = clipboard_text;
    zorva_shell.show_message = show_message;
    zorva_shell.started_from_command_line = started_from_command_line;
    install_cart_data_hooks();
    install_cart_storage_hooks();
    zorva_shell.clear_browser_at_start = clear_browser_at_start;
    zorva_shell.save_png_cart = save_png_cart;
    zorva_shell.compressed_size = compressed_size;
    zorva_shell.list_files = start_directory_listing;
    zorva_shell.install_demos = install_demos;
    zorva_shell.install_games = install_games;
    zorva_shell.do_export = do_export;
    zorva_shell.do_import = do_import;
    cart_forms.print = print_on_console;
    zorva_shell.keyconfig = open_keyconfig;
    zorva_shell.splore = open_splore;
    zorva_button_config = {app.button_keys, &app.joystick_index, &app.glitch_test, keys_pressed_since_tick};
}

void release_shell() {
    console_stop_all_sound();
    release_splore_lists();
    release_download_slot();
    close_lua_machine();
    for (zorva_cart *&cart : pitem) {
        tamu_destroy_zorva_cart(cart);
        cart = nullptr;
    }
    pitems = 0;
    clear_embedded_carts();
    tamu_destroy_zorva_cart(pstate.live_cart);
    pstate.live_cart = nullptr;
    tamu_destroy_zorva_cart(pstate.boot_sound_cart);
    pstate.boot_sound_cart = nullptr;
    for (cpod **pod : {&pstate.resource_pod, &pstate.font_pod, &pstate.data_pod}) {
        tamu_destroy_pod(*pod);
        *pod = nullptr;
    }
    for (ctext *&tab : pstate.code_tabs) {
        tamu_destroy_ctext(tab);
        tab = nullptr;
    }
    for (cbitmap **b : {&pstate.screen, &pstate.back_page, &pstate.scratch_1x1, &pstate.scratch_8x8, &app.capture,
                        &app.splash}) {
        tamu_destroy_bitmap(*b);
        *b = nullptr;
    }
    destroy_editor_buffers();
    release_video_clip();
    release_cart_overlay();
    tamu_free(app.clipboard_text);
    app.clipboard_text = nullptr;
    std::free(auto_load_fn);
    auto_load_fn = nullptr;
}

void create_code_tabs(int limit) {
    for (ctext *&tab : pstate.code_tabs) {
        tamu_destroy_ctext(tab);
        tab = tamu_create_ctext(nullptr, limit);
        if (tab) {
            tab->cell_w = 4;
            tab->line_h = 6;
        }
    }
    pstate.current_tab = 0;
}

int tamu_main_init(int argc, char **argv) {
    if (wants_usage(argc, argv)) {
        print_usage();
        std::exit(0);
    }
    release_shell();
    std::memset(&app, 0, sizeof app);
    set_default_app_config();

    tamu_set_application_title("zorva");
    tamu_set_load_config_func(zorva_load_config);
    tamu_set_save_config_func(zorva_save_config);
    std::memset(&pstate, 0, sizeof pstate);
    install_shell_hooks();
    start_headless_for_exec(argc, argv);

    tamu_init();
    process_arguments(argc, argv);

    for (const char *folder : app_folders) {
        char path[ZORVA_PATH_SIZE] = "";
        if (tamu_prefix_with_appdata_path(folder, path) == 0) tamu_mkdir(path);
    }
    if (cconfig.screen_size[0] < 32 || cconfig.screen_size[1] < 32) {
        cconfig.screen_size[0] = 580;
        cconfig.screen_size[1] = 540;
    }
    tamu_set_window_size(cconfig.window_size[0], cconfig.window_size[1]);
    init_path(pstate.root_path, "carts/");
    init_path(pstate.cdata_path, "cdata/");

    reset_editor_state();
    pstate.live_cart = tamu_create_zorva_cart();

    load_data_pod();
    set_up_screen();
    create_bitmaps();

    for (zorva_cart *&cart : pitem) cart = nullptr;
    pitems = 1;
    pitem[PITEM_SLOTS - 1] = tamu_create_zorva_cart();

    frame_pile = 0;
    last_t = zorva_clock();
    frame_flipper = 0;
    last_quick_load = last_t - 1000;
    clear_key_presses();
    app.splash = load_splash();
    if (app.splash)
        pstate.MODE = MODE_SPLASH;
    else
        boot_init();

    create_code_tabs(CODE_TAB_LIMIT);
    pstate.working_file_name[0] = 0;
    hash_working_cart();

    tamu_sound_init(TAMU_SOUND_AUDIO);
    cconfig.console_sound_mode = 1;
    splore_init();

    if (pstate.exec_mode) {
        autoload(auto_load_fn ? auto_load_fn : "");
        pstate.MODE = MODE_CONSOLE;
        pstate.view = 0;
        pstate.REQUEST = REQUEST_RUN;
    } else if (auto_load_fn) {
        // A cart named on the command line runs, as with -run: the editor
        // view the boot sequence would open for it takes no input here.
        app.run = 1;
        autoload(auto_load_fn);
    }
    return 0;
}

// With -x: 0 when the cart ended (or stopped), 1 after a cart error or
// limit, 2 when the player was asked to quit before the cart ended.
static int exec_status() {
    if (pstate.run_failed) return 1;
    bool ended = pstate.MODE != MODE_RUNNING && pstate.REQUEST != REQUEST_RUN && !cart_stopped_for_quit();
    return ended ? 0 : 2;
}

int tamu_main_exit() {
    // An error the cart raised in its last slice is still to be reported.
    if (pstate.REQUEST == REQUEST_RUNTIME_ERROR && !cart_slice_running()) process_command();
    if (pstate.exec_mode) tamu_exit_status = exec_status();
    save_cdata();
    if (detect_unsaved_changes()) {
        save_backup(pstate.working_file_name, 0);
        show_message("** backing up **", 1500);
        tamu_main_draw();
        tamu_blit_back_page();
        tamu_handle_messages();
        tamu_delay(1500);
    }
    close_directory_listing();
    gpio_close();
    tamu_exit();
    release_shell();
    return 0;
}
