// The GUI element list.
#pragma once

int tamu_gui_init();
int tamu_gui_exit();
int tamu_process_gui();
