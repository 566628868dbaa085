// The application: for now a blank window that ends when it is closed.
#include "tamu.h"

int tamu_main_init(int, char **) {
    tamu_set_application_title("zorva");
    tamu_init();
    tamu_set_screen(128, 128, 8, TAMU_SCREEN_BY_CONFIG);
    return 0;
}

int tamu_main_update() { return 0; }
int tamu_main_draw() { return 0; }
int tamu_main_exit() { return 0; }
