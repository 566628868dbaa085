// The edit buffers made at start-up and their operations: undo copies of
// a picture with the sprite flags, the audio block kept aside, a sound
// effect's notes as an 8 x 32 picture, and the selection.
#include "shell_session.h"

#include "editor_buffers.h"

#include <gtest/gtest.h>

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

}  // namespace
