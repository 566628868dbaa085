// The cart browser screen: set-up, the frame update, the controls, the
// actions on entries, the cart menu and the drawing.
#include "zorva_splore.h"

#include "cart_overlay.h"
#include "tamu.h"
#include "tamu_music.h"
#include "zorva_app.h"
#include "zorva_buttons.h"
#include "zorva_draw.h"
#include "zorva_message_bar.h"
#include "zorva_print.h"
#include "zorva_run.h"
#include "zorva_run_chain.h"
#include "zorva_shell.h"
#include "zorva_shell_steps.h"
#include "zorva_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

int32_t expand_t = 0;
int expand_cats = 0;
int anim_t = 0;
int glow_t = 0;
int selected_t = 0;
int cart_launch_t = 0;
int cart_menu = CART_MENU_CLOSED;
int cart_menu_items = 0, cart_menu_index = 0;
int32_t cart_menu_tt = 0;
int cart_menu_y0 = 0, cart_menu_y1 = 0;
int splore_exit_menu = 0, splore_exit_menu_item = 0;
cart_menu_entry cart_menu_item[CART_MENU_ENTRIES];

const uint8_t splore_panel_tint[16] = {0, 0, 1, 1, 2, 1, 5, 6, 2, 4, 9, 3, 1, 5, 8, 4};

namespace {

constexpr int32_t ONE = 0x10000;
constexpr int ROW = 7;
constexpr int VISIBLE_ROWS = 6;
constexpr int PAGE_ROWS = 6;
// The open tab ring spans x 17..43 (its middle moves right by 7 as it
// opens), so that the longest list title ("work in progress", 63 pixels)
// fits between it and the right arrow at 110: from x 45 to x 108.
constexpr int RING_OPEN_SHIFT = 7;
constexpr int TITLE_OPEN_MIN_X = 45;
constexpr int TITLE_OPEN_MAX_END = 108;
constexpr const char *FAVOURITES_QUERY = "cat=7&orderby=favourites&uid=1";

// Buttons of player 0.
enum { B_LEFT = 0, B_RIGHT = 1, B_UP = 2, B_DOWN = 3, B_O = 4, B_X = 5, B_PAUSE = 6 };

// Scancodes of the keys the keyboard operation reads besides characters.
enum { SC_A = 4, SC_1 = 30, SC_0 = 39, SC_RETURN = 40, SC_ESCAPE = 41, SC_BACKSPACE = 42, SC_SPACE = 44 };

bool pressed(int b) { return button_pressed(b, 0) != 0; }
bool pressed_pad(int b) { return button_pressed_nok(b, 0) != 0; }

splore_list_record *current_list() {
    if (list_index < 0 || list_index >= splore_lists) return nullptr;
    return &splore_list[list_index];
}

// The selected entry of the current list, or null outside it.
splore_item *selected_entry() {
    splore_list_record *list = current_list();
    if (!list || list->selected < 0 || list->selected >= list->count) return nullptr;
    return &list->items[list->selected];
}

cbitmap *resource_image(int n) {
    return static_cast<cbitmap *>(cpod_get_item(pstate.resource_pod, n, CPOD_ITEM_BITMAP));
}

// An image of the resource pod in its own colours (colour 0 clear).
void draw_image(cbitmap *screen, int n, int x, int y, int w = -1, int h = -1) {
    cbitmap *image = resource_image(n);
    if (!image || image->bpp != 8) return;
    tamu_draw_sprite(image, screen, 0, 0, x, y, w < 0 ? image->width : w, h < 0 ? image->height : h);
}

void draw_image_solid(cbitmap *screen, int n, int x, int y, int colour) {
    cbitmap *image = resource_image(n);
    if (!image || image->bpp != 8) return;
    tamu_draw_sprite_col(image, screen, 0, 0, x, y, image->width, image->height, uint32_t(colour), 0);
}

void draw_image_doubled(cbitmap *screen, int n, int x, int y) {
    cbitmap *image = resource_image(n);
    if (!image || image->bpp != 8) return;
    tamu_stretch_blit(image, screen, x, y, 2 * image->width, 2 * image->height, 1);
}

void text(cbitmap *screen, const char *t, int x, int y, int colour, int flags = 0) {
    tamu_draw_text_ex(screen, t, zorva_system_font(), x, y, TAMU_TEXT_SOLID | flags, uint32_t(colour));
}

int wheel_index(char c) {
    const char *at = std::strchr(SPLORE_WHEEL, c);
    return at && c ? int(at - SPLORE_WHEEL) : -1;
}

void set_list_index(int index) {
    int n = splore_lists > 0 ? splore_lists : 1;
    list_index = ((index % n) + n) % n;
}

// ---------------------------------------------------------------------------
// The search text

void end_text_entry(splore_list_record *list) { list->entering_text = 0; }

void submit_search(splore_list_record *list) {
    char encoded[3 * SPLORE_SEARCH_SIZE + 1];
    percent_encode(list->search_text, encoded, sizeof encoded);
    std::snprintf(list->query, sizeof list->query, "cat=7&search=%s&max=32", encoded);
    download_list(list->name, list->query, 0);
    std::snprintf(list->title, sizeof list->title, "%.*s", SPLORE_SEARCH_CHARS, list->search_text);
    end_text_entry(list);
    block_buttons();
}

void spin_wheel(splore_list_record *list, int d) {
    char *t = list->search_text;
    int length = int(std::strlen(t));
    if (list->cursor >= length) {
        // At the end a letter is added, while there is room.
        if (length < SPLORE_SEARCH_CHARS) {
            t[length] = d > 0 ? 'a' : '9';
            t[length + 1] = 0;
        }
        return;
    }
    int n = int(std::strlen(SPLORE_WHEEL));
    int i = wheel_index(t[list->cursor]);
    t[list->cursor] = i < 0 ? ' ' : SPLORE_WHEEL[((i + d) % n + n) % n];
}

void move_cursor(splore_list_record *list, int d) {
    int length = int(std::strlen(list->search_text));
    if (d > 0 && list->cursor >= length && list->cursor <= SPLORE_SEARCH_CHARS - 1) {
        list->search_text[length] = ' ';
        list->search_text[length + 1] = 0;
        length++;
    }
    list->cursor = std::max(0, std::min(list->cursor + d, length));
}

void insert_search_char(splore_list_record *list, char c) {
    char *t = list->search_text;
    int length = int(std::strlen(t));
    if (length >= SPLORE_SEARCH_CHARS) return;
    int at = std::max(0, std::min(list->cursor, length));
    std::memmove(t + at + 1, t + at, size_t(length - at + 1));
    t[at] = c;
    list->cursor = at + 1;
}

void erase_search_char(splore_list_record *list, int at) {
    char *t = list->search_text;
    int length = int(std::strlen(t));
    if (at < 0 || at >= length) return;
    std::memmove(t + at, t + at + 1, size_t(length - at));
}

void text_entry_controls(splore_list_record *list) {
    if (pressed_pad(B_PAUSE)) {
        end_text_entry(list);
        show_message("cancelled", MESSAGE_MS);
        return;
    }
    if (pressed_pad(B_O) || pressed_pad(B_X)) {
        initiate_search();
        return;
    }
    if (pressed_pad(B_UP)) spin_letter_wheel(1);
    if (pressed_pad(B_DOWN)) spin_letter_wheel(-1);
    if (pressed_pad(B_LEFT)) move_search_cursor(-1);
    if (pressed_pad(B_RIGHT)) move_search_cursor(1);
}

// ---------------------------------------------------------------------------
// The exit box and the lists

void exit_box_controls() {
    if (pressed(B_UP)) splore_exit_menu_item = (splore_exit_menu_item + 2) % 3;
    if (pressed(B_DOWN)) splore_exit_menu_item = (splore_exit_menu_item + 1) % 3;
    if (!(pressed(B_O) || pressed(B_X) || pressed(B_PAUSE))) return;
    switch (splore_exit_menu_item) {
    case 0: tamu_quit = 1; break;
    case 1:
        print_splore_exit_message();
        pstate.OVERLAY = OVERLAY_NONE;
        drain_key_queue();
        break;
    default: splore_exit_menu = 0; break;
    }
}

void list_controls() {
    splore_list_record *list = current_list();
    if (!list) return;
    int old_index = list_index, old_selected = list->selected;
    bool moved = false;
    if (pressed(B_UP)) {
        list->selected--;
        moved = true;
    }
    if (pressed(B_DOWN)) {
        list->selected++;
        moved = true;
    }
    bool sideways = false;
    if (pressed(B_LEFT)) {
        set_list_index(list_index - 1);
        sideways = true;
    }
    if (pressed(B_RIGHT)) {
        set_list_index(list_index + 1);
        sideways = true;
    }
    list = current_list();
    if (sideways) {
        expand_cats = 1;
        glow_t = 0;
        update_list_favourites(list);
    }
    if (pressed(B_UP) || pressed(B_DOWN) || pressed(B_O) || pressed(B_X) || pressed(B_PAUSE)) expand_cats = 0;
    if (moved || sideways) clamp_list_selection(list);

    splore_item *entry = selected_entry();
    if (pressed(B_PAUSE) && entry && entry->kind == SPLORE_KIND_CART)
        generate_cart_menu(CART_MENU_CART);
    else if (pressed(B_O) || pressed(B_X) || pressed(B_PAUSE))
        action_current_splore_item();
    list = current_list();
    if (list_index != old_index || (list && list->selected != old_selected)) selected_t = zorva_clock();
}

void cart_menu_controls() {
    if (cart_menu_items > 0) {
        if (pressed(B_UP)) cart_menu_index = (cart_menu_index + cart_menu_items - 1) % cart_menu_items;
        if (pressed(B_DOWN)) cart_menu_index = (cart_menu_index + 1) % cart_menu_items;
    }
    if (pressed(B_O) || pressed(B_X) || pressed(B_PAUSE)) {
        int code = cart_menu_index >= 0 && cart_menu_index < cart_menu_items ? cart_menu_item[cart_menu_index].code : 0;
        process_cart_menu_action(code);
    }
}

void open_folder(splore_list_record *list, const splore_item &entry) {
    // Only folders inside the root folder.
    char path[ZORVA_PATH_SIZE];
    int length = tamu_resolve_inside(pstate.root_path, pstate.current_directory, entry.title,
                                     std::strlen(entry.title), path);
    if (length < 0) return;
    std::string inside = path + std::strlen(path) - length;
    if (!inside.empty() && inside.back() != '/') inside += '/';
    std::snprintf(pstate.current_directory, sizeof pstate.current_directory, "%s", inside.c_str());
    clear_splore_list(list);
    populate_splore_list_from_directory(list, pstate.current_directory);
    list->scroll = 0;
    clamp_list_selection(list);
}

void launch_cart(const splore_item &entry) {
    running_item = entry;
    running_item.label = nullptr;
    if (!entry.lid[0]) {
        std::string path = std::string(pstate.root_path) + entry.path;
        if (load_working_cart(path.c_str()) != 0)
            show_message("could not load", MESSAGE_FAILURE_MS);
        else
            cart_launch_t = 1;
        return;
    }
    const char *cached = get_bbs_cart_filename(entry.lid);
    if (cached[0] && load_working_cart(cached) == 0)
        cart_launch_t = 1;
    else
        download_bbs_cart(entry.lid);
}

// ---------------------------------------------------------------------------
// Easing

void ease_tab_ring() {
    int32_t length = splore_lists * ONE;
    if (length <= 0) return;
    int32_t x = list_index_x;
    int32_t target = list_index * ONE + 0x800;
    while (target <= x - length / 2) target += length;
    while (target > x + length / 2) target -= length;
    x = target / 8 + x * 7 / 8;
    if (!expand_cats) x = x / 4 + target * 3 / 4;
    if (x < 0) x += length;
    list_index_x = ((x % length) + length) % length;
}

void ease_cart_menu() {
    if (cart_menu != CART_MENU_CLOSED) {
        int32_t v = (2 * cart_menu_tt + ONE) / 3;
        cart_menu_tt = v > 0xF800 ? ONE : v + 0x800;
        selected_t = zorva_clock();
    } else {
        int32_t v = 2 * cart_menu_tt / 3;
        cart_menu_tt = v < 0x800 ? 0 : v - 0x800;
    }
}

void step_launch() {
    if (cart_launch_t <= 0) return;
    cart_launch_t++;
    if (cart_launch_t <= SPLORE_LAUNCH_FRAMES) return;
    cart_launch_t = 0;
    pstate.REQUEST = REQUEST_RUN;
    reset_run_chain();
    pstate.pending_parameter[0] = 0;
    pstate.parameter[0] = 0;
    cart_menu = CART_MENU_CLOSED;
    pstate.draw_state.cursor_x = pstate.draw_state.cursor_y = 0;
    if (pstate.screen) tamu_reset_clip(pstate.screen);
}

// The keys of the key buffer, and the keys without a character.
void process_splore_keys() {
    while (tamu_keypressed()) {
        int c = tamu_readkey();
        if (c > 0) splore_keypress(c);
    }
    for (int key : {SPLORE_KEY_DELETE, SPLORE_KEY_PAGE_UP, SPLORE_KEY_PAGE_DOWN, SPLORE_KEY_HOME, SPLORE_KEY_END,
                    SPLORE_KEY_LEFT, SPLORE_KEY_RIGHT})
        if (tamu_get_key_state(key - 0x1000) == 3) splore_keypress(key);
}

// The scancode of a key-buffer character, for the test of bound keys; 0
// when it has none to test.
int scancode_of(int c) {
    if (c >= 'a' && c <= 'z') return SC_A + (c - 'a');
    if (c >= '1' && c <= '9') return SC_1 + (c - '1');
    switch (c) {
    case '0': return SC_0;
    case 13: return SC_RETURN;
    case 27: return SC_ESCAPE;
    case 8: return SC_BACKSPACE;
    case ' ': return SC_SPACE;
    default: return c >= 0x1000 ? c - 0x1000 : 0;
    }
}

// ---------------------------------------------------------------------------
// Drawing

void draw_rows(cbitmap *screen, splore_list_record *list, int m, int32_t tt) {
    int now = zorva_clock();
    int y = (86 - m) - int((int64_t(ONE - tt) * (list->scroll >> 16)) >> 16) - int((int64_t(list->selected) * ROW * tt) >> 16);
    bool favourites = list == favourites_list();
    cart_menu_y1 = 0;
    for (int i = 0; i < list->count; i++) {
        const splore_item &e = list->items[i];
        tamu_set_clip(screen, 12, 84 - m, 116, 127);
        int icon = get_icon_for_item(&e);
        bool selected = i == list->selected;
        int ry = y, colour = 7, o = 0;
        if (selected) {
            if (pstate.button_state.held[0][B_O] || pstate.button_state.held[0][B_X]) ry++;   // pressed in
            tamu_rectfill(screen, 12, ry - 1, 115, ry + 5, icon == SPLORE_ICON_HEAD_ROW ? 6 : 14);
            colour = 1;
            cart_menu_y0 = ry + 6;
        }
        if (e.kind == SPLORE_KIND_SEARCH && list->entering_text) {
            if (now & 0x100)
                tamu_rectfill(screen, 23 + 4 * list->cursor, ry - 1, 27 + 4 * list->cursor, ry + 5, 14);
            text(screen, list->search_text, 24, ry, colour);
        } else if (selected && e.kind == SPLORE_KIND_CART) {
            int title_length = int(std::strlen(e.title)), author_length = int(std::strlen(e.author));
            int w = (title_length + 2 + author_length) * 4;
            if (w >= 90) o = std::max(0, std::min(w - 90, (now - selected_t - 500) / 20));
            text(screen, e.title, 24 - o, ry, colour);
            if (author_length) {
                tamu_rectfill(screen, 27 - o + 4 * title_length, ry - 1, 127, ry + 5, 15);
                char by[SPLORE_TEXT_SIZE + 2];
                std::snprintf(by, sizeof by, "  %s", e.author);
                text(screen, by, 23 - o + 4 * title_length, ry, 5);
            }
        } else {
            text(screen, e.title, 24, ry, colour);
        }
        draw_image(screen, icon, 13 - o, ry - 1, 7, 7);
        if (e.favourite && !favourites) {
            tamu_set_clip(screen, 8, 84 - m, 116, 127);
            draw_image(screen, SPLORE_ICON_FAVOURITE, 8 - o, ry - 3);
        }
        y += ROW;
        if (selected) {
            y += int((int64_t(tt) * 48) >> 16);
            cart_menu_y1 = y;
        }
    }
}

void draw_header(cbitmap *screen, splore_list_record *list, int m, int32_t tt) {
    tamu_set_clip(screen, 0, 73, 128, 128);
    tamu_line(screen, 12, 81 - m, 115, 81 - m, tt >= 0x1000 ? 5 : 6);
    int arrows = expand_cats ? 7 : 6;
    draw_image_solid(screen, SPLORE_ICON_ARROW_LEFT, 11, 73 - m, arrows);
    draw_image_solid(screen, SPLORE_ICON_ARROW_RIGHT, 110, 73 - m, arrows);
    char title[ZORVA_PATH_SIZE + 2];
    if (list_index == SPLORE_LIST_LOCAL)
        std::snprintf(title, sizeof title, "/%s", pstate.current_directory);
    else
        std::snprintf(title, sizeof title, "%s", list->title);
    // Closed, the title stands right of the current tab; as the ring
    // opens it moves to the middle of the room between the ring and the
    // right arrow, never closer than a pixel to either.
    int length = int(std::strlen(title));
    int open_x = std::max(TITLE_OPEN_MIN_X, std::min(80 - 2 * length, TITLE_OPEN_MAX_END + 2 - 4 * length));
    text(screen, title, 32 + int((int64_t(open_x - 32) * expand_t) >> 16), 74 - m, 7);
}

void draw_tab_ring(cbitmap *screen, int m) {
    int n = splore_lists;
    if (n <= 0) return;
    int32_t e = expand_t;
    struct tab {
        int x, y, list, depth;
        uint32_t angle;
    } tabs[SPLORE_MAX_LISTS];
    int count = 0;
    for (int i = 0; i < n; i++) {
        int32_t a = ((i * ONE - (list_index_x & 0xFFFF)) / n) - 0x4000;
        auto angle = uint32_t(a) & 0xFFFF;
        int32_t c = fmul(e, fcos(angle)), s = fmul(e, fsin(angle));
        int k = ((list_index_x >> 16) + n + i) % n;
        if (e < 0x2000 && k != list_index) continue;
        tab &t = tabs[count++];
        t.x = 20 + ((RING_OPEN_SHIFT * e + 10 * c + 0x8000) >> 16);
        t.y = 73 - m + ((3 * s - 2 * e + 0x8000) >> 16);
        t.list = k;
        t.depth = 3 * s;
        t.angle = angle;
    }
    std::stable_sort(tabs, tabs + count, [](const tab &a, const tab &b) { return a.depth < b.depth; });
    for (int i = 0; i < count; i++) {
        const tab &t = tabs[i];
        int icon = SPLORE_ICON_TABS + t.list;
        if (t.angle >= 0x9000 && t.angle <= 0xF000)
            draw_image(screen, icon, t.x, t.y);
        else
            draw_image_solid(screen, icon, t.x, t.y, t.angle >= 0x8400 && t.angle <= 0xFC00 ? 5 : 1);
    }
}

void draw_indicators(cbitmap *screen) {
    tamu_reset_clip(screen);
    const download_slot_record &slot = app.download_slot;
    if (slot.state != DOWNLOAD_IDLE) {
        const char *name = std::strrchr(slot.temp_path, '/');
        if (std::strstr(name ? name : slot.temp_path, ".pip"))
            draw_image(screen, SPLORE_ICON_LIST_DOWNLOAD + anim_t % 8, 2, 2, 8, 8);
        else
            draw_image(screen, SPLORE_ICON_CART_DOWNLOAD + (pstate.tick_counter / 2) % 16, 3, 3, 12, 12);
    } else if (cart_launch_t > 0) {
        draw_image(screen, SPLORE_ICON_LAUNCH + (cart_launch_t / 2) % 12, 3, 3, 12, 12);
    }
}

void draw_exit_box(cbitmap *screen) {
    tamu_rectfill(screen, 20, 26, 107, 58, 0);
    tamu_rect(screen, 20, 26, 107, 58, 7);
    draw_image(screen, SPLORE_ICON_POINTER, 23, 31 + 8 * splore_exit_menu_item);
    text(screen, "shutdown zorva", 32, 32, 7);
    text(screen, "exit to console", 32, 40, 7);
    text(screen, "cancel", 32, 48, 7);
}

// The entry whose label could not be made, while it stays selected: it is
// tried once, not again every frame.
struct failed_label_record {
    int list = -1, selected = -1;
    std::string lid, path;
} failed_label;

bool label_failed_before(const splore_item *entry) {
    const splore_list_record *list = current_list();
    return list && failed_label.list == list_index && failed_label.selected == list->selected &&
           failed_label.lid == entry->lid && failed_label.path == entry->path;
}

void remember_failed_label(const splore_item *entry) {
    const splore_list_record *list = current_list();
    failed_label = {list_index, list ? list->selected : -1, entry->lid, entry->path};
}

void draw_background(cbitmap *screen, splore_list_record *list) {
    if (list->count == 0) {
        tamu_rectfill(screen, 0, 0, 127, 127, 5);
        if (list == favourites_list()) {
            draw_image_doubled(screen, int(SPLORE_ICON_TABS) + int(SPLORE_LIST_FAVOURITES), 57, 30);
            text(screen, "your favourites list is empty", 64, 15, 6, TAMU_TEXT_CENTRE);
            const char line[] = {'p', 'r', 'e', 's', 's', ' ', char(0x91), ' ', 'a', 'n', 'd', ' ',
                                 't', 'h', 'e', 'n', ' ', char(0x97), 0};
            text(screen, line, 22, 50, 7);
            text(screen, "to see a list of bbs carts", 64, 58, 6, TAMU_TEXT_CENTRE);
        }
        return;
    }
    splore_item *entry = selected_entry();
    if (entry && entry->kind == SPLORE_KIND_CART && !entry->label && !label_failed_before(entry)) {
        if (entry->lid[0]) {
            entry->label = create_label_from_cart_lid(entry->lid);
        } else {
            std::string path = std::string(pstate.root_path) + entry->path;
            entry->label = create_label_from_file(path.c_str());
        }
        if (!entry->label) remember_failed_label(entry);
    }
    if (entry && entry->label) {
        tamu_blit(entry->label, screen, 0, 0, 0, 0, 128, 128);
        return;
    }
    tamu_rectfill(screen, 0, 0, 127, 127, 5);
    if (entry && (entry->kind == SPLORE_KIND_FOLDER || entry->kind == SPLORE_KIND_UPDATE))
        draw_image_doubled(screen, list->icon, 57, 30);
}

}  // namespace

// ---------------------------------------------------------------------------
// The list and the search text, one step each

void update_list_y(splore_list_record *list) {
    if (!list) return;
    int selected = list->selected, count = list->count;
    int t = selected - 1 > count - VISIBLE_ROWS ? count - VISIBLE_ROWS : selected - 2;
    int r = std::max(std::min(list->head_row, selected), t);
    int64_t target = int64_t(r) * ROW * ONE + 0x8000;
    int64_t next = (target + 7 * list->scroll) / 8;
    if (next < target)
        next = std::min(next + 0x1000, target);
    else if (next > target)
        next = std::max(next - 0x1000, target);
    list->scroll = next;
}

void validate_current_list() {
    if (splore_list_record *list = current_list()) clamp_list_selection(list);
}

bool splore_entering_text() {
    splore_list_record *list = current_list();
    return list && list->entering_text;
}

void splore_cancel_text_entry() {
    if (splore_list_record *list = current_list()) {
        end_text_entry(list);
        list->search_text[0] = 0;
        list->cursor = 0;
    }
}

void initiate_search() {
    if (splore_list_record *list = current_list()) submit_search(list);
}

void move_search_cursor(int d) {
    if (splore_list_record *list = current_list()) move_cursor(list, d);
}

void spin_letter_wheel(int d) {
    if (splore_list_record *list = current_list()) spin_wheel(list, d);
}

// ---------------------------------------------------------------------------
// Set-up and entering

void splore_init() {
    std::memset(&running_item, 0, sizeof running_item);
    if (splore_lists != 0) return;
    splore_lists = SPLORE_LISTS;
    std::memset(splore_list, 0, sizeof splore_list);
    list_index = SPLORE_LIST_FAVOURITES;
    list_index_x = ONE;
    expand_t = expand_cats = anim_t = glow_t = selected_t = cart_launch_t = 0;
    cart_menu = cart_menu_items = cart_menu_index = cart_menu_y0 = cart_menu_y1 = 0;
    cart_menu_tt = 0;
    splore_exit_menu = splore_exit_menu_item = 0;
    for (int i = 0; i < SPLORE_LISTS; i++) {
        splore_list_record &list = splore_list[i];
        list.item_buffer = tamu_create_buffer(int(sizeof(splore_item)));
        list.items = reinterpret_cast<splore_item *>(list.item_buffer->data);
        list.head_row = 0;
        std::snprintf(list.title, sizeof list.title, "%s", list_title[i]);
        list.icon = SPLORE_ICON_TABS + i;
        list.name = list_name[i];
        if (i == SPLORE_LIST_LOCAL) {
            std::snprintf(list.query, sizeof list.query, "%s", list_req[i]);
        } else if (i == SPLORE_LIST_FAVOURITES) {
            load_splore_favourites();
            std::snprintf(list.query, sizeof list.query, "%s", FAVOURITES_QUERY);
        } else {
            char file[64], path[ZORVA_PATH_SIZE];
            std::snprintf(file, sizeof file, "bbs/%s.pip.png", list.name);
            tamu_prefix_with_appdata_path(file, path);
            populate_splore_list_from_png_file(&list, path, 0);
            std::snprintf(list.query, sizeof list.query, "%s", i == SPLORE_LIST_SEARCH ? "" : list_req[i]);
        }
    }
}

void splore_enter() {
    app.browser_waits_for_button = 0;
    splore_list_record *local = &splore_list[SPLORE_LIST_LOCAL];
    clear_splore_list(local);
    populate_splore_list_from_directory(local, pstate.current_directory);
    if (splore_list_record *list = current_list()) {
        validate_current_list();
        if (list != favourites_list()) update_list_favourites(list);
    }
    splore_exit_menu = 0;
    selected_t = zorva_clock();
}

void open_splore() {
    splore_enter();
    show_overlay(OVERLAY_BROWSER);
}

void reset_splore_animation() { selected_t = zorva_clock(); }

// ---------------------------------------------------------------------------
// The frame

void splore_update() {
    if (app.browser_waits_for_button == 1) {
        for (int b = 0; b <= B_PAUSE; b++)
            if (button_pressed(b, 0)) {
                block_buttons();
                app.browser_waits_for_button = 0;
                break;
            }
        return;
    }
    process_splore_keys();
    if (pstate.OVERLAY != OVERLAY_BROWSER) return;   // Esc left the browser
    splore_controls();
    update_splore_download();
    update_list_y(current_list());
    expand_t = expand_t * 5 / 8 + (expand_cats ? 0x6000 : 0);
    ease_tab_ring();
    glow_t++;
    anim_t++;
    ease_cart_menu();
    step_launch();
}

void splore_controls() {
    if (splore_exit_menu) {
        exit_box_controls();
        return;
    }
    if (app.download_slot.state != DOWNLOAD_IDLE) {
        if (pressed(B_PAUSE)) cancel_download("download cancelled");
        return;
    }
    splore_list_record *list = current_list();
    if (list && list->entering_text) {
        text_entry_controls(list);
        return;
    }
    if (cart_menu == CART_MENU_CLOSED)
        list_controls();
    else
        cart_menu_controls();
}

void action_current_splore_item() {
    splore_list_record *list = current_list();
    splore_item *selected = selected_entry();
    if (!list || !selected) return;
    splore_item entry = *selected;   // the actions below may change the list
    switch (entry.kind) {
    case SPLORE_KIND_FOLDER: open_folder(list, entry); break;
    case SPLORE_KIND_CART: launch_cart(entry); break;
    case SPLORE_KIND_UPDATE: download_list(list->name, list->query, 0); break;
    case SPLORE_KIND_LOAD_MORE: download_list(list->name, list->query, list->count - 2); break;
    case SPLORE_KIND_SEARCH:
        list->search_text[0] = 0;
        list->entering_text = 1;
        list->cursor = 0;
        drain_key_queue();
        break;
    default: break;
    }
}

void generate_cart_menu(int n) {
    cart_menu = n;
    cart_menu_items = 0;
    cart_menu_index = 0;
    auto add = [](const char *label, int code) {
        if (cart_menu_items >= CART_MENU_ENTRIES) return;
        cart_menu_entry &e = cart_menu_item[cart_menu_items++];
        e.code = code;
        std::snprintf(e.label, sizeof e.label, "%s", label);
    };
    switch (n) {
    case CART_MENU_CART:
        add("run cart", MENU_RUN);
        add(list_index == SPLORE_LIST_FAVOURITES ? "remove from favourites" : "favourite", MENU_FAVOURITE);
        add("bbs thread (browser)", MENU_THREAD);
        add("options", MENU_OPEN_OPTIONS);
        add("cancel", MENU_BACK);
        break;
    case CART_MENU_SUB:
        add("edit cart", MENU_EDIT);
        add("re-download", MENU_REDOWNLOAD);
        add("open in browser", MENU_THREAD);
        add("back", MENU_BACK);
        break;
    case CART_MENU_OPTIONS:
        add("volume", MENU_SOUND);
        add("fullscreen", MENU_FULLSCREEN);
        add("shutdown zorva", MENU_SHUTDOWN);
        add("back", MENU_BACK);
        break;
    default: break;
    }
}

void process_cart_menu_action(int code) {
    switch (code) {
    case MENU_RUN: action_current_splore_item(); break;
    case MENU_FAVOURITE:
        splore_toggle_favourite();
        if (list_index == SPLORE_LIST_FAVOURITES) cart_menu = CART_MENU_CLOSED;
        break;
    case MENU_OPEN_SUB: generate_cart_menu(CART_MENU_SUB); break;
    case MENU_OPEN_OPTIONS: generate_cart_menu(CART_MENU_OPTIONS); break;
    case MENU_BACK:
        if (cart_menu == CART_MENU_SUB || cart_menu == CART_MENU_OPTIONS)
            generate_cart_menu(CART_MENU_CART);
        else
            cart_menu = CART_MENU_CLOSED;
        break;
    case MENU_EDIT:
        pstate.OVERLAY = OVERLAY_NONE;
        set_view(1);
        cart_menu_tt = 0;
        cart_menu = CART_MENU_CLOSED;
        break;
    case MENU_THREAD: {
        splore_item *entry = selected_entry();
        const char *url = get_bbs_thread_url(entry ? entry->lid : "");
        if (url[0]) splore_launch_html(url);
        cart_menu = CART_MENU_CLOSED;
        break;
    }
    case MENU_SOUND: {
        int volume = cconfig.sound_volume != 0 ? 0 : 256;
        tamu_set_sound_volume(volume);
        tamu_set_music_volume(volume);
        break;
    }
    case MENU_FULLSCREEN: tamu_toggle_fullscreen(); break;
    case MENU_SHUTDOWN: tamu_quit = 1; break;
    default: break;
    }
}

void splore_keypress(int key) {
    int scancode = scancode_of(key);
    if (scancode && is_key_bound(scancode)) return;
    splore_list_record *list = current_list();
    if (!list) return;
    if (list->entering_text) {
        int length = int(std::strlen(list->search_text));
        if (key >= 32 && key < 128 && !(key >= 'A' && key <= 'Z')) {
            insert_search_char(list, char(key));
        } else if (key == 8 || key == 127) {
            if (list->cursor > 0 && list->cursor <= length) {
                erase_search_char(list, list->cursor - 1);
                list->cursor--;
            }
        } else if (key == SPLORE_KEY_DELETE) {
            erase_search_char(list, list->cursor);
        } else if (key == 13) {
            submit_search(list);
        } else if (key == 27) {
            end_text_entry(list);
        } else if (key == SPLORE_KEY_LEFT) {
            move_cursor(list, -1);
        } else if (key == SPLORE_KEY_RIGHT) {
            move_cursor(list, 1);
        }
        return;
    }
    switch (key) {
    case 27:
        if (app.download_slot.state != DOWNLOAD_IDLE) {
            cancel_download("download cancelled");
        } else if (app.splore && !overlay_over_cart()) {
            splore_exit_menu = !splore_exit_menu;
            splore_exit_menu_item = 0;
        } else if (cart_menu == CART_MENU_CART) {
            cart_menu = CART_MENU_CLOSED;
        } else if (cart_menu == CART_MENU_SUB || cart_menu == CART_MENU_OPTIONS) {
            generate_cart_menu(CART_MENU_CART);
        } else if (cart_menu == CART_MENU_CLOSED) {
            // Out to the console (not back to a cart waiting under the
            // browser): a clean screen, as from the exit box.
            if (!overlay_over_cart()) print_splore_exit_message();
            pstate.OVERLAY = OVERLAY_NONE;
        }
        break;
    case 'f':
        if (list_index != SPLORE_LIST_FAVOURITES) {
            splore_toggle_favourite();
            selected_t = zorva_clock();
        }
        break;
    case 8:
    case 127:
    case SPLORE_KEY_DELETE:
        if (list_index == SPLORE_LIST_FAVOURITES) {
            splore_toggle_favourite();
            selected_t = zorva_clock();
        }
        break;
    case SPLORE_KEY_PAGE_UP: list->selected -= PAGE_ROWS; break;
    case SPLORE_KEY_PAGE_DOWN: list->selected += PAGE_ROWS; break;
    case SPLORE_KEY_HOME: list->selected = 0; break;
    case SPLORE_KEY_END: list->selected = list->count - 1; break;
    default: return;
    }
    clamp_list_selection(list);
}

void splore_draw() {
    cbitmap *screen = pstate.screen;
    splore_list_record *list = current_list();
    if (!screen || !list) return;
    if (app.browser_waits_for_button == 1) {
        tamu_reset_clip(screen);
        tamu_rectfill(screen, 0, 121, 127, 127, 6);
        tamu_line(screen, 0, 120, 127, 120, 0);
        text(screen, " finished. press button to exit", 1, 122, 1);
        return;
    }
    tamu_reset_clip(screen);
    draw_background(screen, list);
    draw_tinted_rect_adaptive(screen, 10, 72, 117, 127, splore_panel_tint);
    int32_t tt = cart_menu_tt;
    int m = int((int64_t(tt) * 10) >> 16);
    draw_rows(screen, list, m, tt);
    draw_header(screen, list, m, tt);
    if (tt == 0) tamu_reset_clip(screen);
    draw_tab_ring(screen, m);
    draw_indicators(screen);
    if (splore_exit_menu) draw_exit_box(screen);
    draw_cart_menu();
    tamu_reset_clip(screen);
}

void draw_cart_menu() {
    cbitmap *screen = pstate.screen;
    if (!screen || cart_menu_tt == 0 || cart_menu_y1 == 0) return;
    tamu_set_clip(screen, 0, 0, 128, std::max(0, cart_menu_y1 - 1));
    for (int i = 0; i < cart_menu_items; i++) {
        int y = cart_menu_y0 + 4 + 8 * i;
        const cart_menu_entry &e = cart_menu_item[i];
        const char *label = e.label;
        if (e.code == MENU_SOUND) label = cconfig.sound_volume ? "sound:on" : "sound:off";
        if (e.code == MENU_FULLSCREEN) label = tamu_get_windowed() ? "fullscreen:off" : "fullscreen:on";
        if (i == cart_menu_index) {
            text(screen, label, 25, y, 7);
            draw_image(screen, SPLORE_ICON_POINTER, 14, y - 1);
        } else {
            text(screen, label, 24, y, 7);
        }
    }
    tamu_reset_clip(screen);
}

void print_splore_exit_message() {
    cbitmap *screen = pstate.screen;
    if (screen) {
        tamu_clear_bitmap(screen);
        tamu_reset_clip(screen);
    }
    zorva_draw_state &d = pstate.draw_state;
    d.clip_x0 = d.clip_y0 = 0;
    d.clip_x1 = d.clip_y1 = 128;
    d.cursor_x = d.cursor_y = 0;
    d.pen_colour = 7;
    zorva_print_col("::::::  zorva console  ::::::", 7);
    zorva_print_col("", 7);
    // The console takes no typed commands here: the line of keys the
    // frame draws below says how to go on.
    d.pen_colour = 13;
    if (screen && pstate.back_page) tamu_blit(screen, pstate.back_page, 0, 0, 0, 0, 128, 128);
}
