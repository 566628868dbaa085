// The GUI element list.
#include "tamu.h"

int tamu_gui_init() { return 0; }
int tamu_gui_exit() { return 0; }
int tamu_process_gui() { return 0; }
