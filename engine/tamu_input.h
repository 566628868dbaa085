// Keyboard, mouse, controllers and system messages.
#pragma once

int tamu_keys_init();
int tamu_keys_exit();
int tamu_mouse_init();
int tamu_joystick_init();
int tamu_joystick_exit();
int tamu_handle_system_messages();
int tamu_get_mouse(int *x, int *y, int *buttons);
