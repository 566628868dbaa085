// The edit buffers.
#include "editor_buffers.h"

#include "tamu.h"
#include "zorva_cart.h"

#include <cstring>

dbmp *editor_picture_buffers[EDITOR_PICTURE_BUFFERS];
dbmp *editor_sfx_buffers[EDITOR_SFX_BUFFERS];

namespace {

constexpr int SFX_BUFFER_W = 8;
constexpr int NOTES_PER_OCTAVE = 12;

struct audio_copy {
    sfx_record sfx[ZORVA_SFX_COUNT];
    int32_t music[ZORVA_MUSIC_PATTERNS][ZORVA_MUSIC_CHANNELS];
    int32_t music_flags[ZORVA_MUSIC_PATTERNS];
};
audio_copy saved_audio;

bool same_size(const cbitmap *a, const cbitmap *b) {
    return a && b && a->width == b->width && a->height == b->height && a->bpp == 8 && b->bpp == 8;
}

void copy_pixels(const cbitmap *from, cbitmap *to) {
    if (same_size(from, to)) std::memcpy(to->pixels, from->pixels, size_t(from->width) * size_t(from->height));
}

int clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

}  // namespace

dbmp *create_dbmp(int w, int h) {
    if (w < 1 || h < 1) return nullptr;
    auto *buffer = static_cast<dbmp *>(tamu_malloc(sizeof(dbmp)));
    std::memset(buffer, 0, sizeof *buffer);
    buffer->bmp = tamu_create_bitmap(w, h, 8);
    buffer->undo = tamu_create_bitmap(w, h, 8);
    buffer->selection = tamu_create_bitmap(w, h, 8);
    if (!buffer->bmp || !buffer->undo || !buffer->selection) {
        destroy_dbmp(buffer);
        return nullptr;
    }
    return buffer;
}

void destroy_dbmp(dbmp *buffer) {
    if (!buffer) return;
    tamu_destroy_bitmap(buffer->bmp);
    tamu_destroy_bitmap(buffer->undo);
    tamu_destroy_bitmap(buffer->selection);
    tamu_free(buffer);
}

void create_editor_buffers() {
    destroy_editor_buffers();
    for (dbmp *&b : editor_picture_buffers) b = create_dbmp(128, 128);
    for (dbmp *&b : editor_sfx_buffers) b = create_dbmp(SFX_BUFFER_W, ZORVA_SFX_NOTES);
}

void destroy_editor_buffers() {
    for (dbmp *&b : editor_picture_buffers) {
        destroy_dbmp(b);
        b = nullptr;
    }
    for (dbmp *&b : editor_sfx_buffers) {
        destroy_dbmp(b);
        b = nullptr;
    }
}

void backup_bmp(dbmp *buffer, const cbitmap *source, const zorva_cart *cart) {
    if (!buffer) return;
    copy_pixels(source, buffer->undo);
    buffer->has_sprite_flags = cart ? 1 : 0;
    if (cart) std::memcpy(buffer->sprite_flags, cart->sprite_flags, sizeof buffer->sprite_flags);
}

void restore_bmp(const dbmp *buffer, cbitmap *target, zorva_cart *cart) {
    if (!buffer) return;
    copy_pixels(buffer->undo, target);
    if (cart && buffer->has_sprite_flags)
        std::memcpy(cart->sprite_flags, buffer->sprite_flags, sizeof cart->sprite_flags);
}

void backup_audio(const zorva_cart *cart) {
    if (!cart) return;
    std::memcpy(saved_audio.sfx, cart->sfx, sizeof saved_audio.sfx);
    std::memcpy(saved_audio.music, cart->music, sizeof saved_audio.music);
    std::memcpy(saved_audio.music_flags, cart->music_flags, sizeof saved_audio.music_flags);
}

void restore_audio(zorva_cart *cart) {
    if (!cart) return;
    std::memcpy(cart->sfx, saved_audio.sfx, sizeof cart->sfx);
    std::memcpy(cart->music, saved_audio.music, sizeof cart->music);
    std::memcpy(cart->music_flags, saved_audio.music_flags, sizeof cart->music_flags);
}

void backup_sfx(dbmp *buffer, const zorva_cart *cart, int n) {
    if (!buffer || !cart || n < 0 || n >= ZORVA_SFX_COUNT) return;
    cbitmap *b = buffer->bmp;
    if (b->width < SFX_BUFFER_W || b->height < ZORVA_SFX_NOTES) return;
    for (int i = 0; i < ZORVA_SFX_NOTES; i++) {
        const sfx_note &note = cart->sfx[n].notes[i];
        uint8_t *row = b->rows[i];
        std::memset(row, 0, size_t(b->width));
        row[0] = uint8_t(note.pitch / NOTES_PER_OCTAVE);
        row[1] = uint8_t(note.pitch % NOTES_PER_OCTAVE);
        row[2] = uint8_t(note.waveform);
        row[3] = uint8_t(note.volume);
        row[4] = uint8_t(note.effect);
        row[5] = note.custom_instrument ? 1 : 0;
    }
}

void restore_sfx(const dbmp *buffer, zorva_cart *cart, int n) {
    if (!buffer || !cart || n < 0 || n >= ZORVA_SFX_COUNT) return;
    const cbitmap *b = buffer->bmp;
    if (b->width < SFX_BUFFER_W || b->height < ZORVA_SFX_NOTES) return;
    for (int i = 0; i < ZORVA_SFX_NOTES; i++) {
        const uint8_t *row = b->rows[i];
        sfx_note &note = cart->sfx[n].notes[i];
        note.pitch = clamp(row[0] * NOTES_PER_OCTAVE + clamp(row[1], 0, NOTES_PER_OCTAVE - 1), 0, 63);
        note.waveform = clamp(row[2], 0, 7);
        note.volume = clamp(row[3], 0, 7);
        note.effect = clamp(row[4], 0, 7);
        note.custom_instrument = row[5] ? ZORVA_SFX_CUSTOM_INSTRUMENT : 0;
    }
}

int selection_active(const dbmp *buffer) {
    int x0, y0, x1, y1;
    return get_selected_area(buffer, &x0, &y0, &x1, &y1);
}

int get_selected_area(const dbmp *buffer, int *x0, int *y0, int *x1, int *y1) {
    *x0 = *y0 = *x1 = *y1 = 0;
    if (!buffer) return 0;
    const cbitmap *s = buffer->selection;
    int left = s->width, top = s->height, right = -1, bottom = -1;
    for (int y = 0; y < s->height; y++)
        for (int x = 0; x < s->width; x++)
            if (s->rows[y][x]) {
                if (x < left) left = x;
                if (x > right) right = x;
                if (y < top) top = y;
                if (y > bottom) bottom = y;
            }
    if (right < 0) {
        *x1 = s->width - 1;
        *y1 = s->height - 1;
        return 0;
    }
    *x0 = left;
    *y0 = top;
    *x1 = right;
    *y1 = bottom;
    return 1;
}
