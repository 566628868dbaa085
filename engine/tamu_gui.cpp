// The GUI element list.
#include "tamu.h"

#include <cstring>

cpod *tamu_gui = nullptr;

namespace {

// The buttons at the previous processing, and the last press and release.
int lmb = 0;
int click1_t = 0, click1_x = 0, click1_y = 0;
int click2_t = 0, click2_x = 0, click2_y = 0;
// Until the first press (release) there is none to pair a new one with.
bool have_click1 = false, have_click2 = false;

bool live(int slot) {
    return tamu_gui && slot >= 0 && slot < tamu_gui->capacity && tamu_gui->types[slot] != CPOD_ITEM_FREE;
}

cguie *record(int slot) { return static_cast<cguie *>(tamu_gui->items[slot]); }

bool inside(const cguie *e, int mx, int my) {
    return mx >= e->x && my >= e->y && int64_t(mx) < int64_t(e->x) + e->w && int64_t(my) < int64_t(e->y) + e->h;
}

int64_t distance2(int x0, int y0, int x1, int y1) {
    int64_t dx = int64_t(x1) - x0, dy = int64_t(y1) - y0;
    return dx * dx + dy * dy;
}

bool recent(bool have, int then, int now, int64_t d2) {
    return have && now - then < TAMU_GUI_DOUBLE_MS && d2 < TAMU_GUI_DOUBLE_DIST2;
}

// Calls the handler of a live slot; 1 when the slot is still live after.
bool send(int slot, int message, int mx, int my, int buttons) {
    if (!live(slot)) return false;
    cguie *e = record(slot);
    if (e->handler) e->handler(e, mx, my, buttons, message);
    return live(slot);
}

// The used slots in list order, as they are now: handlers may add and
// delete elements while a walk is under way.
int list_snapshot(int *slots) {
    int n = tamu_gui ? tamu_gui->count : 0;
    for (int i = 0; i < n; i++) slots[i] = tamu_gui->order[i];
    return n;
}

}  // namespace

int tamu_gui_init() {
    if (!tamu_gui) tamu_gui = tamu_create_pea_pod(TAMU_GUI_ELEMENTS, int(sizeof(cguie)));
    else cpod_clear(tamu_gui);
    lmb = 0;
    have_click1 = have_click2 = false;
    return tamu_gui ? 0 : 1;
}

int tamu_gui_exit() {
    tamu_destroy_pod(tamu_gui);
    tamu_gui = nullptr;
    return 0;
}

int tamu_add_guie(int64_t user, int x, int y, int w, int h, int type, tamu_gui_handler handler) {
    int slot = cpod_get_free_item(tamu_gui);
    if (slot < 0) return -1;
    cguie *e = record(slot);
    std::memset(e, 0, sizeof *e);
    e->user = user;
    e->x = x;
    e->y = y;
    e->w = w;
    e->h = h;
    e->type = type;
    e->handler = handler;
    return slot;
}

void tamu_delete_guie(int index) {
    if (live(index)) cpod_delete_item(tamu_gui, index);
}

void tamu_gui_clear() {
    cpod_clear(tamu_gui);
    lmb = 1;
}

cguie *tamu_get_gui_element(int index) {
    if (!tamu_gui || index < 0 || index >= TAMU_GUI_ELEMENTS) return nullptr;
    return record(index);
}

int tamu_gui_element_index(const cguie *element) {
    if (!tamu_gui || !element) return -1;
    int slot = cpod_get_item_index(tamu_gui, const_cast<cguie *>(element));
    return live(slot) ? slot : -1;
}

int tamu_gui_num_elements() { return tamu_gui ? tamu_gui->count : 0; }

int tamu_gui_cursor_element() {
    if (!tamu_gui) return -1;
    for (int slot = TAMU_GUI_ELEMENTS - 1; slot >= 0; slot--)
        if (live(slot) && (record(slot)->flags & TAMU_GUIE_OVER)) return slot;
    return -1;
}

void tamu_gui_set_keyboard_focus(cguie *element) {
    if (!tamu_gui) return;
    for (int i = 0; i < tamu_gui->count; i++) record(tamu_gui->order[i])->flags &= ~TAMU_GUIE_FOCUS;
    if (tamu_gui_element_index(element) >= 0) element->flags |= TAMU_GUIE_FOCUS;
}

cguie *tamu_gui_get_keyboard_focus() {
    if (!tamu_gui) return nullptr;
    for (int i = 0; i < tamu_gui->count; i++) {
        cguie *e = record(tamu_gui->order[i]);
        if (e->flags & TAMU_GUIE_FOCUS) return e;
    }
    return nullptr;
}

void tamu_gui_elevate_element(cguie *element) {
    if (element) element->flags |= TAMU_GUIE_RAISED;
}

void tamu_gui_message_ex(int index, int message, int mx, int my, int buttons) {
    send(index, message, mx, my, buttons);
}

void tamu_gui_message(int index, int message) {
    if (!live(index)) return;
    int mx = 0, my = 0, buttons = 0;
    tamu_get_mouse(&mx, &my, &buttons);
    send(index, message, mx, my, buttons);
}

void tamu_gui_broadcast(int message, int type) {
    if (!tamu_gui) return;
    int mx = 0, my = 0, buttons = 0;
    tamu_get_mouse(&mx, &my, &buttons);
    int slots[TAMU_GUI_ELEMENTS];
    int n = list_snapshot(slots);
    for (int i = 0; i < n; i++)
        if (live(slots[i]) && (type == 0 || record(slots[i])->type == type)) send(slots[i], message, mx, my, buttons);
}

void tamu_gui_key_event(int key) {
    if (!tamu_gui) return;
    int slots[TAMU_GUI_ELEMENTS];
    int n = list_snapshot(slots);
    for (int i = 0; i < n; i++) {
        if (!live(slots[i])) continue;
        const cguie *e = record(slots[i]);
        if (e->type == TAMU_GUIE_ALL_KEYS || (e->type == TAMU_GUIE_TEXT_FIELD && (e->flags & TAMU_GUIE_FOCUS)))
            send(slots[i], TAMU_GUI_KEY, key, 0, 0);
    }
}

int tamu_process_gui() {
    int mx = 0, my = 0, buttons = 0;
    tamu_get_mouse(&mx, &my, &buttons);
    if (!tamu_gui || tamu_gui->count == 0) {
        lmb = buttons;
        return 0;
    }
    const int now = tamu_input_time();
    const int64_t d = distance2(click1_x, click1_y, mx, my);

    int slots[TAMU_GUI_ELEMENTS];
    int n = list_snapshot(slots);

    // The element under the mouse: the last in list order, unless a raised
    // one came first.
    int hit = -1;
    for (int i = 0; i < n; i++)
        if (inside(record(slots[i]), mx, my) && (hit < 0 || !(record(hit)->flags & TAMU_GUIE_RAISED))) hit = slots[i];

    for (int i = n - 1; i >= 0; i--) {
        int slot = slots[i];
        if (!live(slot)) continue;
        cguie *e = record(slot);
        if (slot != hit) {
            bool was_over = e->flags & TAMU_GUIE_OVER;
            e->flags &= ~(TAMU_GUIE_OVER | TAMU_GUIE_RAISED);
            if (was_over && !send(slot, TAMU_GUI_LEAVE, mx, my, buttons)) continue;
        } else {
            if (buttons == 0 && !(e->flags & TAMU_GUIE_PRESSED) && !send(slot, TAMU_GUI_HOVER, mx, my, buttons))
                continue;
            if (buttons && !(e->flags & TAMU_GUIE_PRESSED) && lmb == 0) {
                e->flags |= TAMU_GUIE_PRESSED;
                bool alive = send(slot, TAMU_GUI_PRESS, mx, my, buttons);
                if (alive && recent(have_click1, click1_t, now, d))
                    alive = send(slot, TAMU_GUI_DOUBLE_PRESS, mx, my, buttons);
                click1_t = now;
                click1_x = mx;
                click1_y = my;
                have_click1 = true;
                if (!alive) continue;
            }
            if (!(e->flags & TAMU_GUIE_OVER)) {
                e->flags |= TAMU_GUIE_OVER;
                if (!send(slot, TAMU_GUI_ENTER, mx, my, buttons)) continue;
            }
            if (tamu_state.wheel_x || tamu_state.wheel_y) {
                int wx = tamu_state.wheel_x, wy = tamu_state.wheel_y;
                tamu_state.wheel_x = tamu_state.wheel_y = 0;
                if (!send(slot, TAMU_GUI_WHEEL, wx, wy, buttons)) continue;
            }
        }
        if (!(e->flags & TAMU_GUIE_PRESSED)) continue;
        if (buttons) {
            send(slot, TAMU_GUI_DRAG, mx, my, buttons);
            continue;
        }
        e->flags &= ~TAMU_GUIE_PRESSED;
        bool alive = send(slot, TAMU_GUI_RELEASE, mx, my, 0);
        if (alive && recent(have_click1, click1_t, now, d)) alive = send(slot, TAMU_GUI_CLICK, mx, my, lmb);
        if (alive && recent(have_click2, click2_t, now, distance2(click2_x, click2_y, mx, my)))
            send(slot, TAMU_GUI_DOUBLE_RELEASE, mx, my, lmb);
        click2_t = now;
        click2_x = mx;
        click2_y = my;
        have_click2 = true;
    }
    lmb = buttons;
    return 0;
}
