// A stand-in application for the library's tests: it records the order of
// the callbacks and sets tamu_quit after a given number of updates.
#pragma once

#include <string>

extern int stub_app_frames_to_run;   // updates before tamu_quit is set (0: never)
extern int stub_app_updates;
extern std::string stub_app_calls;   // "I" init, "U" update, "D" draw, "X" exit
extern bool stub_app_calls_init;     // tamu_main_init calls tamu_init (default true)
extern void (*stub_app_on_init)();   // runs in tamu_main_init before tamu_init
extern void (*stub_app_on_exit)();   // runs in tamu_main_exit

void stub_app_reset();
