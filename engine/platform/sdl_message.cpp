// Message boxes over SDL (which needs no window and no video start-up for
// them).
#include "tamu.h"

#include <SDL2/SDL.h>

int tamu_platform_message_box(const char *title, const char *text) {
    return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title ? title : "", text ? text : "", nullptr) == 0 ? 0 : 1;
}
