#include "stub_app.h"

#include "tamu.h"

int stub_app_frames_to_run = 3;
int stub_app_updates = 0;
std::string stub_app_calls;
bool stub_app_calls_init = true;
void (*stub_app_on_init)() = nullptr;
void (*stub_app_on_exit)() = nullptr;

void stub_app_reset() {
    stub_app_frames_to_run = 3;
    stub_app_updates = 0;
    stub_app_calls.clear();
    stub_app_calls_init = true;
    stub_app_on_init = nullptr;
    stub_app_on_exit = nullptr;
}

int tamu_main_init(int, char **) {
    stub_app_calls += "I";
    if (stub_app_on_init) stub_app_on_init();
    if (stub_app_calls_init) tamu_init();
    return 0;
}

int tamu_main_update() {
    stub_app_calls += "U";
    stub_app_updates++;
    if (stub_app_frames_to_run > 0 && stub_app_updates >= stub_app_frames_to_run) tamu_quit = 1;
    return 0;
}

int tamu_main_draw() {
    stub_app_calls += "D";
    return 0;
}

int tamu_main_exit() {
    stub_app_calls += "X";
    if (stub_app_on_exit) stub_app_on_exit();
    return 0;
}
