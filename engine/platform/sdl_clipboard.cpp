// The system clipboard, over SDL (the video subsystem must be running).
#include "tamu.h"

#include <SDL2/SDL.h>

#include <cstring>

static constexpr int clipboard_file_limit = 1048576;

int tamu_set_clipboard_text(const char *text) {
    return SDL_SetClipboardText(text ? text : "") == 0 ? 0 : -1;
}

char *tamu_get_clipboard_text() {
    char *text = SDL_HasClipboardText() ? SDL_GetClipboardText() : nullptr;
    int length = text ? static_cast<int>(std::strlen(text)) : 0;
    char *copy = static_cast<char *>(tamu_malloc(length + 1));
    if (length) std::memcpy(copy, text, static_cast<size_t>(length));
    copy[length] = 0;
    SDL_free(text);
    return copy;
}

int tamu_has_clipboard_text() { return SDL_HasClipboardText() ? 1 : 0; }

int tamu_save_clipboard_to_file(const char *path) {
    if (!path || !tamu_has_clipboard_text()) return 1;
    char *text = tamu_get_clipboard_text();
    int length = static_cast<int>(std::strlen(text));
    int result = 2;
    // Replaced whole or not at all: a failed write keeps the old file.
    if (cfile *file = tamu_fopen_save(path)) {
        if (tamu_fwrite(text, 1, length, file) == length)
            result = tamu_fclose_save(file) == 0 ? 0 : 2;
        else
            tamu_abort_save(file);
    }
    tamu_free(text);
    return result;
}

int tamu_load_clipboard_from_file(const char *path) {
    cfile *file = path ? tamu_fopen(path, "rb") : nullptr;
    if (!file) return 1;
    char *text = static_cast<char *>(tamu_malloc(clipboard_file_limit + 1));
    int length = tamu_fread(text, 1, clipboard_file_limit, file);
    tamu_fclose(file);
    if (length < 0) length = 0;
    text[length] = 0;
    int result = tamu_set_clipboard_text(text) == 0 ? 0 : 2;
    tamu_free(text);
    return result;
}
