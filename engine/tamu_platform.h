// Platform services behind the engine's own functions.
#pragma once

// Milliseconds since the platform layer started.
int tamu_get_time();
void tamu_delay(int ms);
// The last error text of the platform layer, or an empty text; cleared by
// tamu_clear_platform_error.
const char *tamu_platform_error();
void tamu_clear_platform_error();
