// The cart record: what a new cart holds, and how it goes.
#include "zorva_cart.h"

#include "tamu.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool bitmap_blank(const cbitmap *b) {
    for (int y = 0; y < b->height; y++)
        for (int x = 0; x < b->width; x++)
            if (b->rows[y][x]) return false;
    return true;
}

TEST(CartRecord, NewCartDefaults) {
    zorva_cart *cart = tamu_create_zorva_cart();
    ASSERT_NE(cart, nullptr);

    ASSERT_NE(cart->code, nullptr);
    for (int i = 0; i < ZORVA_CODE_BUFFER_SIZE; i++) ASSERT_EQ(cart->code[i], 0) << i;

    ASSERT_NE(cart->gfx, nullptr);
    EXPECT_EQ(cart->gfx->width, 128);
    EXPECT_EQ(cart->gfx->height, 128);
    EXPECT_EQ(cart->gfx->bpp, 8);
    EXPECT_TRUE(bitmap_blank(cart->gfx));
    ASSERT_NE(cart->map, nullptr);
    EXPECT_EQ(cart->map->width, 128);
    EXPECT_EQ(cart->map->height, 64);
    EXPECT_EQ(cart->map->bpp, 8);
    EXPECT_TRUE(bitmap_blank(cart->map));

    for (int i = 0; i < ZORVA_SFX_COUNT; i++) {
        SCOPED_TRACE(i);
        const sfx_record &sfx = cart->sfx[i];
        EXPECT_EQ(sfx.speed, i == 0 ? 1 : 16);
        EXPECT_EQ(sfx.editor_mode, 0);
        EXPECT_EQ(sfx.loop_start, 0);
        EXPECT_EQ(sfx.loop_end, 0);
        for (const sfx_note &n : sfx.notes) {
            EXPECT_EQ(n.pitch, 0);
            EXPECT_EQ(n.waveform, 0);
            EXPECT_EQ(n.volume, 0);
            EXPECT_EQ(n.effect, 0);
            EXPECT_EQ(n.custom_instrument, 0);
        }
        EXPECT_TRUE(zorva_sfx_is_default(&sfx, i));
    }
    for (int p = 0; p < ZORVA_MUSIC_PATTERNS; p++) {
        for (int c = 0; c < ZORVA_MUSIC_CHANNELS; c++) EXPECT_EQ(cart->music[p][c], 65 + c);
        EXPECT_EQ(cart->music_flags[p], 0);
    }
    for (int f : cart->sprite_flags) EXPECT_EQ(f, 0);
    EXPECT_EQ(cart->label, nullptr);
    EXPECT_EQ(cart->version, 0);
    EXPECT_EQ(cart->code_cut, 0);
    tamu_destroy_zorva_cart(cart);
}

TEST(CartRecord, SfxDefaultIsPerIndex) {
    zorva_cart *cart = tamu_create_zorva_cart();
    // Sound effect 0 starts at speed 1, the others at 16.
    EXPECT_FALSE(zorva_sfx_is_default(&cart->sfx[1], 0));
    EXPECT_FALSE(zorva_sfx_is_default(&cart->sfx[0], 1));
    // Any one field away from the default counts, down to the last note.
    cart->sfx[2].speed = 0;
    cart->sfx[3].notes[31].custom_instrument = ZORVA_SFX_CUSTOM_INSTRUMENT;
    cart->sfx[4].loop_end = 1;
    for (int i : {2, 3, 4}) EXPECT_FALSE(zorva_sfx_is_default(&cart->sfx[i], i)) << i;
    zorva_cart_reset_sfx(cart);
    for (int i = 0; i < ZORVA_SFX_COUNT; i++) EXPECT_TRUE(zorva_sfx_is_default(&cart->sfx[i], i)) << i;
    tamu_destroy_zorva_cart(cart);
}

TEST(CartRecord, DestroyFreesEverythingAndAcceptsNull) {
    tamu_destroy_zorva_cart(nullptr);
    int before = tamu_items_created;
    zorva_cart *cart = tamu_create_zorva_cart();
    EXPECT_GT(tamu_items_created, before);
    cart->label = tamu_create_bitmap(128, 128, 8);
    tamu_destroy_zorva_cart(cart);
    EXPECT_EQ(tamu_items_created, before);  // the label goes with the cart
}

// The release hooks run while the record is still whole, stop_sound first.
std::vector<std::string> hook_calls;
void stop_sound_hook(zorva_cart *cart) { hook_calls.push_back(std::string("stop:") + cart->code); }
void forget_hook(zorva_cart *cart) { hook_calls.push_back(std::string("forget:") + cart->code); }

TEST(CartRecord, DestroyCallsTheReleaseHooksFirst) {
    zorva_cart_hooks = {stop_sound_hook, forget_hook};
    zorva_cart *cart = tamu_create_zorva_cart();
    cart->code[0] = 'a';
    tamu_destroy_zorva_cart(cart);
    tamu_destroy_zorva_cart(nullptr);  // no calls for null
    zorva_cart_hooks = {nullptr, nullptr};
    EXPECT_EQ(hook_calls, (std::vector<std::string>{"stop:a", "forget:a"}));
}

}  // namespace
