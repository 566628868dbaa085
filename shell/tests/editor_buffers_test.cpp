// The edit buffers made at start-up and their operations: undo copies of
// a picture with the sprite flags, the audio block kept aside, a sound
// effect's notes as an 8 x 32 picture, the selection, and the clipboard.
#include "shell_session.h"

#include "editor_buffers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

TEST(EditorBuffers, StartUpMakesThemAndShutDownFreesThem) {
    {
        shell_session s;
        for (dbmp *b : editor_picture_buffers) {
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(b->bmp->width, 128);
            EXPECT_EQ(b->selection->height, 128);
        }
        for (dbmp *b : editor_sfx_buffers) {
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(b->undo->width, 8);
            EXPECT_EQ(b->undo->height, 32);
        }
        EXPECT_EQ(create_dbmp(0, 8), nullptr);
        destroy_dbmp(nullptr);
    }
    release_shell();
    EXPECT_EQ(editor_picture_buffers[0], nullptr);
    EXPECT_EQ(editor_sfx_buffers[63], nullptr);
}

TEST(EditorBuffers, UndoCopiesAndTheAudioBlock) {
    zorva_cart *cart = tamu_create_zorva_cart();
    dbmp *b = create_dbmp(128, 128);
    cart->gfx->rows[3][4] = 9;
    cart->sprite_flags[5] = 0x81;
    backup_bmp(b, cart->gfx, cart);
    cart->gfx->rows[3][4] = 1;
    cart->sprite_flags[5] = 0;
    restore_bmp(b, cart->gfx, cart);
    EXPECT_EQ(cart->gfx->rows[3][4], 9);
    EXPECT_EQ(cart->sprite_flags[5], 0x81);

    cart->sfx[7].speed = 33;
    cart->music[2][1] = 7;
    cart->music_flags[2] = ZORVA_MUSIC_LOOP_BACK;
    backup_audio(cart);
    cart->sfx[7].speed = 1;
    cart->music[2][1] = 65;
    cart->music_flags[2] = 0;
    restore_audio(cart);
    EXPECT_EQ(cart->sfx[7].speed, 33);
    EXPECT_EQ(cart->music[2][1], 7);
    EXPECT_EQ(cart->music_flags[2], ZORVA_MUSIC_LOOP_BACK);
    destroy_dbmp(b);
    tamu_destroy_zorva_cart(cart);
}

TEST(EditorBuffers, SoundEffectNotesAsAPicture) {
    zorva_cart *cart = tamu_create_zorva_cart();
    dbmp *b = create_dbmp(8, 32);
    sfx_note &n = cart->sfx[3].notes[10];
    n = {63, 5, 7, 6, ZORVA_SFX_CUSTOM_INSTRUMENT};
    cart->sfx[3].notes[0] = {25, 2, 3, 1, 0};
    backup_sfx(b, cart, 3);
    const uint8_t row10[8] = {5, 3, 5, 7, 6, 1, 0, 0};   // octave, note, waveform, volume, effect, flags
    for (int x = 0; x < 8; x++) EXPECT_EQ(b->bmp->rows[10][x], row10[x]) << x;
    EXPECT_EQ(b->bmp->rows[0][0], 2);
    EXPECT_EQ(b->bmp->rows[0][1], 1);

    restore_sfx(b, cart, 4);
    for (int i = 0; i < 32; i++) {
        const sfx_note &a = cart->sfx[3].notes[i], &c = cart->sfx[4].notes[i];
        EXPECT_EQ(a.pitch, c.pitch);
        EXPECT_EQ(a.waveform, c.waveform);
        EXPECT_EQ(a.volume, c.volume);
        EXPECT_EQ(a.effect, c.effect);
        EXPECT_EQ(a.custom_instrument, c.custom_instrument);
    }
    // Values no note can hold are clamped.
    uint8_t wild[8] = {9, 15, 200, 9, 9, 3, 0, 0};
    for (int x = 0; x < 8; x++) b->bmp->rows[1][x] = wild[x];
    restore_sfx(b, cart, 5);
    const sfx_note &w = cart->sfx[5].notes[1];
    EXPECT_EQ(w.pitch, 63);
    EXPECT_EQ(w.waveform, 7);
    EXPECT_EQ(w.volume, 7);
    EXPECT_EQ(w.effect, 7);
    EXPECT_EQ(w.custom_instrument, ZORVA_SFX_CUSTOM_INSTRUMENT);
    destroy_dbmp(b);
    tamu_destroy_zorva_cart(cart);
}

TEST(EditorBuffers, Selection) {
    dbmp *b = create_dbmp(16, 16);
    int x0, y0, x1, y1;
    EXPECT_EQ(selection_active(b), 0);
    EXPECT_EQ(get_selected_area(b, &x0, &y0, &x1, &y1), 0);
    EXPECT_EQ(x1, 15);
    EXPECT_EQ(y1, 15);
    b->selection->rows[3][9] = 1;
    b->selection->rows[7][2] = 1;
    EXPECT_EQ(selection_active(b), 1);
    EXPECT_EQ(get_selected_area(b, &x0, &y0, &x1, &y1), 1);
    EXPECT_EQ(x0, 2);
    EXPECT_EQ(y0, 3);
    EXPECT_EQ(x1, 9);
    EXPECT_EQ(y1, 7);
    destroy_dbmp(b);
}

// ---------------------------------------------------------------------------
// The clipboard

class EditorClipboard : public ::testing::Test {
  protected:
    zorva_cart *a = nullptr, *b = nullptr;
    void SetUp() override {
        std::memset(&editor_clip, 0, sizeof editor_clip);
        create_editor_buffers();
        a = tamu_create_zorva_cart();
        b = tamu_create_zorva_cart();
        // Every note of cart a different from every other.
        for (int n = 0; n < ZORVA_SFX_COUNT; n++)
            for (int j = 0; j < ZORVA_SFX_NOTES; j++) a->sfx[n].notes[j] = {(n + j) & 63, j & 7, 1 + n % 7, n & 7, 0};
        app.message_text[0] = 0;
    }
    void TearDown() override {
        tamu_destroy_zorva_cart(a);
        tamu_destroy_zorva_cart(b);
        destroy_editor_buffers();
    }
    static bool same(const sfx_note &x, const sfx_note &y) { return std::memcmp(&x, &y, sizeof x) == 0; }
    static bool same(const sfx_record &x, const sfx_record &y) { return std::memcmp(&x, &y, sizeof x) == 0; }
};

TEST_F(EditorClipboard, Notes) {
    struct {
        const char *name;
        int first_row, last_row;   // selected; -1: nothing selected
        int at, copied, pasted;
    } cases[] = {
        {"nothing selected: every note", -1, -1, 0, 32, 32},
        {"the selected rows", 4, 6, 10, 3, 3},
        {"a selection of one corner each", 6, 20, 0, 15, 15},
        {"cut at the last note", 4, 6, 30, 3, 2},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        dbmp *buffer = editor_sfx_buffers[3];
        tamu_clear_bitmap(buffer->selection);
        if (c.first_row >= 0) {
            buffer->selection->rows[c.first_row][5] = 1;
            buffer->selection->rows[c.last_row][0] = 1;
        }
        EXPECT_EQ(do_copy_sfx(a, 3), c.copied);
        EXPECT_EQ(std::string(app.message_text), "copied " + std::to_string(c.copied) + " notes");
        sfx_record before = a->sfx[9];
        EXPECT_EQ(do_paste_sfx(a, 9, c.at), c.pasted);
        EXPECT_EQ(std::string(app.message_text), "pasted " + std::to_string(c.pasted) + " notes");
        int from = c.first_row >= 0 ? c.first_row : 0;
        for (int j = 0; j < 32; j++) {
            bool pasted = j >= c.at && j < c.at + c.pasted;
            EXPECT_TRUE(same(a->sfx[9].notes[j], pasted ? a->sfx[3].notes[from + j - c.at] : before.notes[j])) << j;
        }
        EXPECT_EQ(a->sfx[9].speed, before.speed);
        a->sfx[9] = before;
    }
}

TEST_F(EditorClipboard, SoundEffects) {
    struct {
        int first, last, n, copied, pasted;
    } cases[] = {
        {10, 12, 20, 3, 3},
        {10, 12, 62, 3, 2},   // cut at the last sound effect
        {-5, 1, 30, 2, 2},    // held within 0-63
        {60, 99, 0, 4, 4},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.first * 1000 + c.n);
        zorva_cart_reset_sfx(b);
        EXPECT_EQ(do_copy_sfxes(a, c.first, c.last), c.copied);
        EXPECT_EQ(std::string(app.message_text), "copied " + std::to_string(c.copied) + " sfx");
        EXPECT_EQ(do_paste_sfx(b, c.n, 7), c.pasted);
        EXPECT_EQ(std::string(app.message_text), "pasted " + std::to_string(c.pasted) + " sfx");
        int from = std::max(c.first, 0);
        for (int t = 0; t < 64; t++) {
            bool pasted = t >= c.n && t < c.n + c.pasted;
            if (pasted) {
                EXPECT_TRUE(same(b->sfx[t], a->sfx[from + t - c.n])) << t;
            } else {
                EXPECT_TRUE(zorva_sfx_is_default(&b->sfx[t], t)) << t;
            }
        }
    }
}

TEST_F(EditorClipboard, WhatCannotBeCopiedOrPastedChangesNothing) {
    EXPECT_EQ(do_paste_sfx(a, 0, 0), 0);   // empty clipboard
    EXPECT_EQ(do_paste_song(a, 0), 0);
    EXPECT_EQ(do_copy_sfx(a, 64), 0);
    EXPECT_EQ(do_copy_sfx(nullptr, 0), 0);
    EXPECT_EQ(do_copy_sfxes(a, 12, 10), 0);
    EXPECT_EQ(do_copy_patterns(a, 3, 2), 0);
    EXPECT_EQ(do_copy_patterns(nullptr, 0, 3), 0);
    EXPECT_STREQ(app.message_text, "");
    EXPECT_EQ(do_copy_patterns(a, 0, 0), 1);
    app.message_text[0] = 0;
    EXPECT_EQ(do_paste_sfx(a, 0, 0), 0);   // patterns are not notes
    EXPECT_EQ(do_paste_song(a, -1), 0);
    EXPECT_EQ(do_paste_song(a, 64), 0);
    EXPECT_EQ(do_copy_sfx(a, 0), 32);
    app.message_text[0] = 0;
    sfx_record before = a->sfx[0];
    EXPECT_EQ(do_paste_song(a, 0), 0);   // notes are not patterns
    EXPECT_EQ(do_paste_sfx(a, 0, 32), 0);
    EXPECT_EQ(do_paste_sfx(a, -1, 0), 0);
    EXPECT_EQ(do_paste_sfx(nullptr, 0, 0), 0);
    EXPECT_TRUE(same(a->sfx[0], before));
    EXPECT_STREQ(app.message_text, "");
}

// Patterns 0 and 1 of cart a play sound effects 5, 6 and 7; pasted into
// cart b those it lacks are added where there is room.
TEST_F(EditorClipboard, PatternsBringTheirSoundEffects) {
    const int32_t source[2][4] = {{5, 6, 65, 66}, {6, 7, 64 + 3, 67}};
    struct {
        const char *name;
        void (*prepare)(zorva_cart *a, zorva_cart *b);
        int at, pasted, added;
        int32_t expected[2][4];
    } cases[] = {
        {"into an empty cart", [](zorva_cart *, zorva_cart *) {}, 10, 2, 3, {{0, 1, 65, 66}, {1, 2, 67, 67}}},
        {"it holds some under other numbers",
         [](zorva_cart *a, zorva_cart *b) {
             b->sfx[40] = a->sfx[5];
             b->sfx[6] = a->sfx[6];
         },
         10, 2, 1, {{40, 6, 65, 66}, {6, 0, 67, 67}}},
        {"blank ones that something plays are not free",
         [](zorva_cart *, zorva_cart *b) {
             b->sfx[30].notes[4] = {24, 0, 5, 0, ZORVA_SFX_CUSTOM_INSTRUMENT};   // instrument 0
             b->music[20][2] = 1;
             b->music[11][0] = 2;   // pasted over: 2 becomes free
         },
         10, 2, 3, {{2, 3, 65, 66}, {3, 4, 67, 67}}},
        {"no room",
         [](zorva_cart *, zorva_cart *b) {
             for (int t = 0; t < 64; t++) b->sfx[t].speed = 2;
             b->sfx[9].speed = 16;   // blank again
         },
         10, 2, 1, {{9, 64 + 6, 65, 66}, {64 + 6, 64 + 7, 67, 67}}},
        {"cut at the last pattern", [](zorva_cart *, zorva_cart *) {}, 63, 1, 2, {{0, 1, 65, 66}, {0, 0, 0, 0}}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        tamu_destroy_zorva_cart(b);
        b = tamu_create_zorva_cart();
        std::memcpy(a->music[0], source, sizeof source);
        a->music_flags[0] = ZORVA_MUSIC_LOOP_START;
        a->music_flags[1] = ZORVA_MUSIC_LOOP_BACK;
        c.prepare(a, b);
        zorva_cart kept = *b;
        EXPECT_EQ(do_copy_patterns(a, 0, 1), 2);
        EXPECT_STREQ(app.message_text, "copied 2 patterns");
        EXPECT_EQ(do_paste_song(b, c.at), c.pasted);
        EXPECT_EQ(std::string(app.message_text),
                  "pasted " + std::to_string(c.pasted) + " patterns, added " + std::to_string(c.added) + " sfx");
        for (int p = 0; p < c.pasted; p++) {
            for (int k = 0; k < 4; k++) {
                int e = b->music[c.at + p][k];
                EXPECT_EQ(e, c.expected[p][k]) << p << " " << k;
                // Each channel plays what it played in cart a.
                if (e < 64) {
                    EXPECT_TRUE(same(b->sfx[e], a->sfx[source[p][k]])) << p << " " << k;
                }
            }
            EXPECT_EQ(b->music_flags[c.at + p], a->music_flags[p]);
        }
        // Nothing else changes: no other pattern, and no sound effect that
        // was not blank.
        for (int p = 0; p < 64; p++) {
            if (p < c.at || p >= c.at + c.pasted) {
                EXPECT_EQ(std::memcmp(b->music[p], kept.music[p], sizeof b->music[p]), 0) << p;
            }
        }
        int changed = 0;
        for (int t = 0; t < 64; t++)
            if (!same(b->sfx[t], kept.sfx[t])) {
                changed++;
                EXPECT_TRUE(zorva_sfx_is_default(&kept.sfx[t], t)) << t;
            }
        EXPECT_EQ(changed, c.added);
    }

    // Pasted into the cart they came from, they play its own sound effects.
    EXPECT_EQ(do_paste_song(a, 30), 2);
    EXPECT_STREQ(app.message_text, "pasted 2 patterns, added 0 sfx");
    EXPECT_EQ(std::memcmp(a->music[30], source, sizeof source), 0);
}

}  // namespace
