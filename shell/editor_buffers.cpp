// The edit buffers.
#include "editor_buffers.h"

#include "tamu.h"
#include "zorva_cart.h"
#include "zorva_message_bar.h"

#include <algorithm>
#include <cstring>

dbmp *editor_picture_buffers[EDITOR_PICTURE_BUFFERS];
dbmp *editor_sfx_buffers[EDITOR_SFX_BUFFERS];
editor_clipboard editor_clip;

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

// ---------------------------------------------------------------------------
// The clipboard

namespace {

// Entries of a music pattern at and above this turn the channel off.
constexpr int MUSIC_CHANNEL_OFF = 64;

// first..last held within 0..limit-1; the count, 0 when none is left.
int hold_range(int &first, int &last, int limit) {
    first = clamp(first, 0, limit - 1);
    last = clamp(last, 0, limit - 1);
    return last >= first ? last - first + 1 : 0;
}

bool same_sfx(const sfx_record &a, const sfx_record &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Whether sound effect t of the cart is played by a music pattern other
// than the count patterns from `at` (which a paste replaces), or, for the
// instruments 0-7, by a custom-instrument note.
bool sfx_in_use(const zorva_cart *cart, int t, int at, int count) {
    for (int p = 0; p < ZORVA_MUSIC_PATTERNS; p++) {
        if (p >= at && p < at + count) continue;
        for (int c = 0; c < ZORVA_MUSIC_CHANNELS; c++)
            if (cart->music[p][c] == t) return true;
    }
    if (t >= 8) return false;
    for (const sfx_record &sfx : cart->sfx)
        for (const sfx_note &note : sfx.notes)
            if (note.custom_instrument && (note.waveform & 7) == t) return true;
    return false;
}

// Where copied sound effect e goes in the cart for a paste of count
// patterns from `at`: its number there, or -1 when there is no room.
// taken marks the blank sound effects this paste has filled already.
int place_sfx(zorva_cart *cart, int e, int at, int count, bool *taken, int &added) {
    const sfx_record &copy = editor_clip.sfx[e];
    if (same_sfx(cart->sfx[e], copy)) return e;
    for (int t = 0; t < ZORVA_SFX_COUNT; t++)
        if (same_sfx(cart->sfx[t], copy)) return t;
    for (int t = 0; t < ZORVA_SFX_COUNT; t++) {
        if (taken[t] || !zorva_sfx_is_default(&cart->sfx[t], t) || sfx_in_use(cart, t, at, count)) continue;
        cart->sfx[t] = copy;
        taken[t] = true;
        added++;
        return t;
    }
    return -1;
}

// The clipboard now holds count things of the kind; the notice says so.
int copied(int kind, int count, const char *message) {
    editor_clip.kind = kind;
    editor_clip.count = count;
    show_message_2(message, MESSAGE_MS, count, 0);
    return count;
}

}  // namespace

int do_copy_sfx(const zorva_cart *cart, int n) {
    if (!cart || n < 0 || n >= ZORVA_SFX_COUNT) return 0;
    int x0 = 0, y0 = 0, x1 = 0, y1 = ZORVA_SFX_NOTES - 1;
    if (editor_sfx_buffers[n]) get_selected_area(editor_sfx_buffers[n], &x0, &y0, &x1, &y1);
    int count = hold_range(y0, y1, ZORVA_SFX_NOTES);
    std::memcpy(editor_clip.notes, cart->sfx[n].notes + y0, sizeof(sfx_note) * size_t(count));
    return copied(CLIPBOARD_NOTES, count, "copied %d notes");
}

int do_copy_sfxes(const zorva_cart *cart, int first, int last) {
    if (!cart) return 0;
    int count = hold_range(first, last, ZORVA_SFX_COUNT);
    if (count == 0) return 0;
    std::memcpy(editor_clip.sfx, cart->sfx + first, sizeof(sfx_record) * size_t(count));
    return copied(CLIPBOARD_SFX, count, "copied %d sfx");
}

int do_copy_patterns(const zorva_cart *cart, int first, int last) {
    if (!cart) return 0;
    int count = hold_range(first, last, ZORVA_MUSIC_PATTERNS);
    if (count == 0) return 0;
    std::memcpy(editor_clip.sfx, cart->sfx, sizeof editor_clip.sfx);
    std::memcpy(editor_clip.music, cart->music + first, sizeof(cart->music[0]) * size_t(count));
    std::memcpy(editor_clip.music_flags, cart->music_flags + first, sizeof(int32_t) * size_t(count));
    return copied(CLIPBOARD_PATTERNS, count, "copied %d patterns");
}

int do_paste_sfx(zorva_cart *cart, int n, int at) {
    if (!cart || n < 0 || n >= ZORVA_SFX_COUNT) return 0;
    if (editor_clip.kind == CLIPBOARD_NOTES) {
        if (at < 0 || at >= ZORVA_SFX_NOTES) return 0;
        int count = std::min(int(editor_clip.count), ZORVA_SFX_NOTES - at);
        std::memcpy(cart->sfx[n].notes + at, editor_clip.notes, sizeof(sfx_note) * size_t(count));
        show_message_2("pasted %d notes", MESSAGE_MS, count, 0);
        return count;
    }
    if (editor_clip.kind == CLIPBOARD_SFX) {
        int count = std::min(int(editor_clip.count), ZORVA_SFX_COUNT - n);
        std::memcpy(cart->sfx + n, editor_clip.sfx, sizeof(sfx_record) * size_t(count));
        show_message_2("pasted %d sfx", MESSAGE_MS, count, 0);
        return count;
    }
    return 0;
}

int do_paste_song(zorva_cart *cart, int at) {
    if (!cart || editor_clip.kind != CLIPBOARD_PATTERNS || at < 0 || at >= ZORVA_MUSIC_PATTERNS) return 0;
    const int count = std::min(int(editor_clip.count), ZORVA_MUSIC_PATTERNS - at);
    bool taken[ZORVA_SFX_COUNT] = {};
    int placed[ZORVA_SFX_COUNT];
    for (int &t : placed) t = -2;   // not placed yet
    int added = 0;
    for (int p = 0; p < count; p++) {
        for (int c = 0; c < ZORVA_MUSIC_CHANNELS; c++) {
            int e = editor_clip.music[p][c];
            if (e >= 0 && e < ZORVA_SFX_COUNT) {
                if (placed[e] == -2) placed[e] = place_sfx(cart, e, at, count, taken, added);
                e = placed[e] >= 0 ? placed[e] : MUSIC_CHANNEL_OFF + e;
            }
            cart->music[at + p][c] = e;
        }
        cart->music_flags[at + p] = editor_clip.music_flags[p];
    }
    show_message_2("pasted %d patterns, added %d sfx", MESSAGE_MS, count, added);
    return count;
}
