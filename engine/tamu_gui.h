// The GUI element list: a fixed list of rectangular elements, each with a
// handler that the library calls with mouse and key messages.
//
// Once per frame (from tamu_handle_messages) tamu_process_gui turns the
// mouse into messages for the element under it; the application may
// broadcast messages (the draw message each frame) and route typed keys
// to the elements that take them (tamu_gui_key_event).
#pragma once

#include <cstdint>

struct cpod;
struct cguie;

// Called as handler(element, mx, my, buttons, message); the return value
// is not used.
typedef int (*tamu_gui_handler)(cguie *element, int mx, int my, int buttons, int message);

struct cguie {
    int32_t type;                  // see the types below; other values are the application's
    int32_t x, y, w, h;            // back-page pixels; inside: x <= mx < x + w, y <= my < y + h
    uint32_t flags;                // TAMU_GUIE_*
    int64_t user;                  // the caller's (a text field: the bitmap it draws into)
    tamu_gui_handler handler;
    void *attached;                // the object shown (a text field: its ctext)
};

// Element types the library knows.
constexpr int TAMU_GUIE_TEXT_FIELD = 4;   // takes keys only with the keyboard focus
constexpr int TAMU_GUIE_ALL_KEYS = 7;     // takes every key

// Flags.
constexpr uint32_t TAMU_GUIE_OVER = 1;      // the mouse is over it
constexpr uint32_t TAMU_GUIE_PRESSED = 2;
constexpr uint32_t TAMU_GUIE_FOCUS = 16;    // keyboard focus
constexpr uint32_t TAMU_GUIE_RAISED = 32;   // wins the hit test over later elements

// Messages. Handlers get the mouse position and buttons unless noted.
enum : int {
    TAMU_GUI_ENTER = 1,
    TAMU_GUI_LEAVE = 2,
    TAMU_GUI_HOVER = 3,            // over it, no button, not pressed
    TAMU_GUI_PRESS = 4,
    TAMU_GUI_DRAG = 5,             // a button held while pressed
    TAMU_GUI_RELEASE = 6,          // buttons passed as 0
    TAMU_GUI_DRAW = 7,             // broadcast by the application
    TAMU_GUI_KEY = 9,              // mx: the key; my and buttons 0
    TAMU_GUI_DOUBLE_PRESS = 11,    // within 400 ms and 20 pixels of the last press
    TAMU_GUI_CLICK = 12,           // a release within 400 ms and 20 pixels of the last press
    TAMU_GUI_DOUBLE_RELEASE = 15,  // within 400 ms and 20 pixels of the last release
    TAMU_GUI_WHEEL = 16,           // mx, my: the wheel's amounts
};

constexpr int TAMU_GUI_ELEMENTS = 1024;
// Press and release pairs closer than this in time (ms) and in squared
// distance (pixels) count as double.
constexpr int TAMU_GUI_DOUBLE_MS = 400;
constexpr int TAMU_GUI_DOUBLE_DIST2 = 400;

// The list: a pea pod of TAMU_GUI_ELEMENTS records; null until
// tamu_gui_init. List order is the pod's order of used slots.
extern cpod *tamu_gui;

int tamu_gui_init();
int tamu_gui_exit();

// Claims a free record, zeroes it and fills it in. Returns its index, or
// -1 when all records are in use (or there is no list).
int tamu_add_guie(int64_t user, int x, int y, int w, int h, int type, tamu_gui_handler handler);
// Frees the record; a free slot or a bad index is ignored.
void tamu_delete_guie(int index);
// Removes every element. A button held now is not taken as a new press.
void tamu_gui_clear();
// The record of slot index (used or not); null for an index outside
// 0..1023 or without a list.
cguie *tamu_get_gui_element(int index);
// The slot of a live element, or -1 (null, not one of the list's
// records, or its slot is free).
int tamu_gui_element_index(const cguie *element);
int tamu_gui_num_elements();
// The highest slot holding a live element with the mouse-over flag, or -1.
int tamu_gui_cursor_element();
// Gives element the focus flag and takes it from every other (null takes
// it from all).
void tamu_gui_set_keyboard_focus(cguie *element);
// The first element in list order with the focus flag, or null.
cguie *tamu_gui_get_keyboard_focus();
void tamu_gui_elevate_element(cguie *element);
// Calls the handler of the element in slot index with the mouse's position
// and buttons; nothing for a free slot or a bad index.
void tamu_gui_message(int index, int message);
void tamu_gui_message_ex(int index, int message, int mx, int my, int buttons);
// Calls every element's handler (type 0) or those of one type, in list
// order, with the mouse's position and buttons. Elements that handlers add
// meanwhile are not called; elements they delete are not called any more.
void tamu_gui_broadcast(int message, int type);
// Sends TAMU_GUI_KEY with the key to every element of type
// TAMU_GUIE_ALL_KEYS and to every text field with the keyboard focus.
void tamu_gui_key_event(int key);
// The per-frame processing of the mouse.
int tamu_process_gui();
