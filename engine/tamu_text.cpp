// Fonts and text drawing.
#include "tamu.h"

int tamu_text_init() { return 0; }
int tamu_text_exit() { return 0; }
