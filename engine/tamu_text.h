// Fonts and text drawing.
#pragma once

int tamu_text_init();
int tamu_text_exit();
