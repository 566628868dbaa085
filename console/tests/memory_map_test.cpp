// Console memory: each range's byte encoding and the structure behind it,
// the draw-state registers, errors for addresses outside memory, copies
// and fills, the shared sprite/map area, reload and cstore against the
// cart record, GPIO and the user memory blocks.
#include "console_state.h"
#include "cart_text.h"
#include "test_util.h"
#include "zorva_memory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

class Memory : public ::testing::Test {
  protected:
    std::unique_ptr<console_state> state = std::make_unique<console_state>();
    // Starts again from a clear state.
    void fresh() {
        state.reset();
        state = std::make_unique<console_state>();
    }

    static zorva_cart *live() { return pstate.live_cart; }
    static zorva_cart *rom() { return console_state::working; }
    static int peek(int a) { return zorva_peek(&pstate, live(), a); }
    static void poke(int a, int v) { zorva_poke(&pstate, live(), a, v); }
    static uint8_t &gfx(int x, int y) { return live()->gfx->rows[y][x]; }
    static uint8_t &map(int x, int y) { return live()->map->rows[y][x]; }
    static uint8_t &screen(int x, int y) { return pstate.screen->rows[y][x]; }
    static sfx_note &note(int n, int j) { return live()->sfx[n].notes[j]; }
    std::vector<int> bytes(int from, int count) {
        std::vector<int> out;
        for (int i = 0; i < count; i++) out.push_back(peek(from + i));
        return out;
    }
};

// ---------------------------------------------------------------------------
// Encodings: a poke reaches the structure, and a peek reads it back.

TEST_F(Memory, PokeReachesTheBackingStructureAndPeekReadsItBack) {
    struct Case {
        const char *what;
        int addr, value;
        std::function<bool()> backed;
    } cases[] = {
        {"sprite pixels 0 and 1", 0x0000, 0x21, [] { return gfx(0, 0) == 1 && gfx(1, 0) == 2; }},
        {"last byte of sprite row 63", 0x0FFF, 0xAB,
         [] { return gfx(126, 63) == 0xB && gfx(127, 63) == 0xA; }},
        {"shared area: map cell and two sprite pixels", 0x1000 + 128 * 3 + 70, 0x5C,
         [] { return map(70, 35) == 0x5C && gfx(12, 71) == 0xC && gfx(13, 71) == 0x5; }},
        {"last shared byte", 0x1FFF, 0xFF,
         [] { return map(127, 63) == 0xFF && gfx(126, 127) == 15 && gfx(127, 127) == 15; }},
        {"map row 5", 0x2000 + 128 * 5 + 9, 0xE1, [] { return map(9, 5) == 0xE1; }},
        {"sprite flags", 0x3000 + 17, 0x81, [] { return live()->sprite_flags[17] == 0x81; }},
        {"music: sound effect 5 and loop start", 0x3100, 0x85,
         [] { return live()->music[0][0] == 5 && live()->music_flags[0] == 1; }},
        {"music: channel 2 without its stop flag", 0x3100 + 4 * 7 + 2, 0x7F,
         [] { return live()->music[7][2] == 127 && live()->music_flags[7] == 0; }},
        {"music: channel 3 sets flag bit 3", 0x3100 + 4 * 9 + 3, 0x80,
         [] { return live()->music[9][3] == 0 && live()->music_flags[9] == 8; }},
        {"sfx note: pitch and waveform bits 0-1", 0x3200 + 68 * 3 + 2 * 5, 0xC5,
         [] { return note(3, 5).pitch == 5 && note(3, 5).waveform == 3; }},
        {"sfx note: waveform bit 2, volume, effect, instrument", 0x3200 + 68 * 3 + 2 * 5 + 1, 0xB3,
         [] {
             const sfx_note &n = note(3, 5);
             return n.waveform == 4 && n.volume == 1 && n.effect == 3 && n.custom_instrument == 128;
         }},
        {"sfx editor mode", 0x3200 + 68 * 63 + 64, 0xFE, [] { return live()->sfx[63].editor_mode == 0xFE; }},
        {"sfx speed", 0x3200 + 68 * 2 + 65, 7, [] { return live()->sfx[2].speed == 7; }},
        {"sfx loop start", 0x3200 + 66, 8, [] { return live()->sfx[0].loop_start == 8; }},
        {"sfx loop end", 0x42FF, 31, [] { return live()->sfx[63].loop_end == 31; }},
        {"user memory", 0x4300, 0x99, [] { return pstate.console_memory[0x4300] == 0x99; }},
        {"last user byte", 0x5DFF, 0x42, [] { return pstate.console_memory[0x5DFF] == 0x42; }},
        {"cart data byte 2 of value 1", 0x5E06, 0x7F,
         [] { return pstate.cart_data[1] == 0x7F0000 && pstate.cart_data_dirty == 1; }},
        {"draw palette", 0x5F03, 0x17, [] { return pstate.draw_state.draw_palette[3] == 0x17; }},
        {"screen palette", 0x5F1F, 0x8C, [] { return pstate.draw_state.screen_palette[15] == 0x8C; }},
        {"pen colour", 0x5F25, 0x1C, [] { return pstate.draw_state.pen_colour == 0x1C; }},
        {"cursor x", 0x5F26, 200, [] { return pstate.draw_state.cursor_x == 200; }},
        {"cursor y", 0x5F27, 64, [] { return pstate.draw_state.cursor_y == 64; }},
        {"screen mode", 0x5F2C, 5, [] { return pstate.draw_state.screen_mode == 5; }},
        {"fill pattern low byte", 0x5F31, 0x5A, [] { return pstate.draw_state.fill_pattern == 0x5A; }},
        {"fill pattern high byte", 0x5F32, 0xA5, [] { return pstate.draw_state.fill_pattern == 0xA500; }},
        {"fill pattern transparency", 0x5F33, 1, [] { return pstate.draw_state.fill_pattern == 0x10000; }},
        {"mirror-only draw-state byte", 0x5F2E, 1, [] { return pstate.console_memory[0x5F2E] == 1; }},
        {"further registers", 0x5F44, 3, [] { return pstate.console_memory[0x5F44] == 3; }},
        {"GPIO", 0x5F80 + 5, 0xC3, [] { return gpio_read(5) == 0xC3; }},
        {"screen", 0x6000, 0x21, [] { return screen(0, 0) == 1 && screen(1, 0) == 2; }},
        {"last screen byte", 0x7FFF, 0x9E, [] { return screen(126, 127) == 0xE && screen(127, 127) == 9; }},
    };
    for (const Case &c : cases) {
        fresh();
        poke(c.addr, c.value);
        EXPECT_TRUE(c.backed()) << c.what;
        EXPECT_EQ(peek(c.addr), c.value) << c.what;
        EXPECT_EQ(pstate.console_memory[c.addr], c.value) << c.what;
        EXPECT_EQ(console_error_count, 0) << c.what;
    }
}

TEST_F(Memory, PeekReadsTheStructuresNotTheMirror) {
    gfx(2, 0) = 7;
    gfx(3, 0) = 0x1C;   // only the nibble counts
    EXPECT_EQ(peek(0x0001), 0xC7);
    map(127, 40) = 0x80;
    gfx(126, 64 + 2 * 8 + 1) = 3;   // the shared area reads the sprite side
    EXPECT_EQ(peek(0x1000 + 128 * 8 + 127), 0x03);
    map(0, 31) = 0xFE;
    EXPECT_EQ(peek(0x2000 + 128 * 31), 0xFE);
    live()->sprite_flags[255] = 0x1FF;
    EXPECT_EQ(peek(0x30FF), 0xFF);
    live()->music[63][1] = 65;
    live()->music_flags[63] = 2 | 4;
    EXPECT_EQ(peek(0x3100 + 4 * 63 + 1), 0x80 | 65);
    EXPECT_EQ(peek(0x3100 + 4 * 63 + 0), 65);          // a new cart's silent channel
    EXPECT_EQ(peek(0x3100 + 4 * 63 + 2), 0x80 | 67);
    // pitch 12, waveform 7, volume 5, effect 6, custom instrument
    note(1, 31) = {12, 7, 5, 6, ZORVA_SFX_CUSTOM_INSTRUMENT};
    int word = 12 | 7 << 6 | 5 << 9 | 6 << 12 | 1 << 15;
    EXPECT_EQ(peek(0x3200 + 68 + 62), word & 255);
    EXPECT_EQ(peek(0x3200 + 68 + 63), word >> 8);
    live()->sfx[1].speed = 0x120;
    EXPECT_EQ(peek(0x3200 + 68 + 65), 0x20);
    pstate.cart_data[63] = zorva_fixed(0x89ABCDEF);
    EXPECT_EQ(bytes(0x5EFC, 4), (std::vector<int>{0xEF, 0xCD, 0xAB, 0x89}));
    screen(4, 100) = 0x2F;
    screen(5, 100) = 0x13;
    EXPECT_EQ(peek(0x6000 + 64 * 100 + 2), 0x3F);
}

TEST_F(Memory, SoundEffectNoteBytesKeepTheOtherHalfOfTheWaveform) {
    note(0, 0) = {0, 5, 0, 0, 0};   // waveform 101b
    poke(0x3200, 0x40);              // low bits 01, pitch 0
    EXPECT_EQ(note(0, 0).waveform, 5);
    poke(0x3200, 0x80);              // low bits 10
    EXPECT_EQ(note(0, 0).waveform, 6);
    poke(0x3201, 0x00);              // bit 2 cleared, flag cleared
    EXPECT_EQ(note(0, 0).waveform, 2);
    EXPECT_EQ(note(0, 0).custom_instrument, 0);
    EXPECT_EQ(peek(0x3200), 0x80);
    EXPECT_EQ(peek(0x3201), 0x00);
}

TEST_F(Memory, MixerRegistersKeepFourBitsAndReadBackTheByteWritten) {
    poke(0x5F40, 0xFF);
    poke(0x5F43, 0x12);
    EXPECT_EQ(pstate.mixer_registers[0], 15);
    EXPECT_EQ(pstate.mixer_registers[3], 2);
    EXPECT_EQ(peek(0x5F40), 0xFF);
    EXPECT_EQ(peek(0x5F43), 0x12);
}

TEST_F(Memory, CartDataWritesMakeAValueAndAreDroppedWhileSuspended) {
    const int value[4] = {0x00, 0x00, 0x01, 0x00};
    for (int i = 0; i < 4; i++) poke(0x5E00 + i, value[i]);
    EXPECT_EQ(pstate.cart_data[0], ZORVA_FIXED_ONE);   // dget(0) is 1.0
    EXPECT_EQ(pstate.cart_data_dirty, 1);

    pstate.cart_data_dirty = 0;
    pstate.suspend_counter = 1;
    poke(0x5E04, 0x55);
    EXPECT_EQ(pstate.cart_data[1], 0);
    EXPECT_EQ(pstate.cart_data_dirty, 0);
    EXPECT_EQ(pstate.console_memory[0x5E04], 0x55);   // the mirror still changes
    EXPECT_EQ(peek(0x5E04), 0);                        // reads come from the values
}

// ---------------------------------------------------------------------------
// Draw-state registers

TEST_F(Memory, CameraBytesMakeASigned16BitValue) {
    for (int camera : {0, -5, 300, -300, 32767, -32768, 255, -256}) {
        poke(0x5F28, camera & 255);
        poke(0x5F29, (camera >> 8) & 255);
        poke(0x5F2A, (-camera) & 255);
        poke(0x5F2B, ((-camera) >> 8) & 255);
        EXPECT_EQ(pstate.draw_state.camera_x, camera);
        if (camera != -32768) {
            EXPECT_EQ(pstate.draw_state.camera_y, -camera);
        }
        EXPECT_EQ(peek(0x5F28), camera & 255) << camera;
        EXPECT_EQ(peek(0x5F29), (camera >> 8) & 255) << camera;
    }
    // The low byte alone keeps the high part, negative values included.
    poke(0x5F28, 0x00);
    poke(0x5F29, 0x80);
    poke(0x5F28, 0x10);
    EXPECT_EQ(pstate.draw_state.camera_x, -32768 + 0x10);
}

TEST_F(Memory, EachClipByteAppliesAllFourAtOnce) {
    poke(0x5F20, 10);
    EXPECT_EQ(pstate.screen->clip_x0, 10);
    EXPECT_EQ(pstate.screen->clip_x1, 0);   // x1 still 0: nothing inside
    poke(0x5F21, 20);
    poke(0x5F22, 100);
    poke(0x5F23, 110);
    EXPECT_EQ(pstate.screen->clip_x0, 10);
    EXPECT_EQ(pstate.screen->clip_y0, 20);
    EXPECT_EQ(pstate.screen->clip_x1, 100);
    EXPECT_EQ(pstate.screen->clip_y1, 110);
    poke(0x5F22, 200);   // the register keeps the byte, the screen stays inside
    EXPECT_EQ(peek(0x5F22), 200);
    EXPECT_EQ(pstate.screen->clip_x1, 128);
}

TEST_F(Memory, FillPatternBytes) {
    poke(0x5F31, 0x0F);
    poke(0x5F32, 0xF0);
    EXPECT_EQ(pstate.draw_state.fill_pattern, 0xF00F);
    poke(0x5F33, 0xFE);
    poke(0x5F33, 0x01);
    EXPECT_EQ(pstate.draw_state.fill_pattern, 0x1F00F);
    EXPECT_EQ(peek(0x5F33), 0x01);   // the byte reads back as written
    poke(0x5F33, 0x00);
    EXPECT_EQ(pstate.draw_state.fill_pattern, 0xF00F);
}

TEST_F(Memory, PaletteBytesReadTheirLowByte) {
    pstate.draw_state.draw_palette[0] = 0x110;
    pstate.draw_state.screen_palette[2] = 0x183;
    pstate.draw_state.clip_y1 = 128;
    EXPECT_EQ(peek(0x5F00), 0x10);
    EXPECT_EQ(peek(0x5F12), 0x83);
    EXPECT_EQ(peek(0x5F23), 128);
}

// ---------------------------------------------------------------------------
// Addresses outside memory, and the state left out

TEST_F(Memory, AddressesOutsideMemory) {
    for (int a : {0x8000, 0xFFFF, -1, -32768, 0x7FFFFFFF}) {
        console_error_count = 0;
        EXPECT_EQ(peek(a), 0) << a;
        poke(a, 1);
        EXPECT_EQ(console_error_count, 1) << a;
        EXPECT_STREQ(console_error_message, "bad memory access");
    }
    for (int i = 0; i < ZORVA_MEMORY_SIZE; i++) ASSERT_EQ(pstate.console_memory[i], 0);
}

TEST_F(Memory, RuntimeErrorsGoToTheShellsHookWhenItHasOne) {
    static std::vector<std::string> reported;
    reported.clear();
    zorva_shell.runtime_error = [](const char *m) { reported.push_back(m); };
    poke(0x8000, 1);
    EXPECT_EQ(reported, std::vector<std::string>{"bad memory access"});
    EXPECT_EQ(console_error_count, 0);
}

TEST_F(Memory, WithoutAStateOnlyTheCartIsReached) {
    zorva_poke(nullptr, live(), 0x0000, 0x21);
    EXPECT_EQ(gfx(1, 0), 2);
    EXPECT_EQ(zorva_peek(nullptr, live(), 0x0000), 0x21);
    EXPECT_EQ(pstate.console_memory[0], 0);   // no mirror
    pstate.console_memory[0x4300] = 5;
    zorva_poke(nullptr, live(), 0x6000, 0x33);
    zorva_poke(nullptr, live(), 0x5F25, 0x33);
    EXPECT_EQ(screen(0, 0), 0);
    EXPECT_EQ(pstate.draw_state.pen_colour, 0);
    for (int a : {0x4300, 0x5E00, 0x5F25, 0x5F40, 0x5F80, 0x6000})
        EXPECT_EQ(zorva_peek(nullptr, live(), a), 0) << a;
}

TEST_F(Memory, WithoutALiveCartOrScreenOnlyTheMirrorChanges) {
    zorva_cart *cart = pstate.live_cart;
    tamu_destroy_zorva_cart(cart);
    EXPECT_EQ(pstate.live_cart, nullptr);   // destroying the live cart forgets it
    cbitmap *screen_bitmap = pstate.screen;
    pstate.screen = nullptr;
    poke(0x0000, 0x12);
    poke(0x6000, 0x34);
    poke(0x5F20, 1);
    EXPECT_EQ(peek(0x0000), 0);
    EXPECT_EQ(peek(0x6000), 0);
    EXPECT_EQ(pstate.console_memory[0x0000], 0x12);
    EXPECT_EQ(pstate.console_memory[0x6000], 0x34);
    pstate.screen = screen_bitmap;
}

// ---------------------------------------------------------------------------
// memcpy and memset

TEST_F(Memory, OverlappingCopiesBehaveAsThroughABuffer) {
    for (int i = 0; i < 16; i++) poke(0x6000 + i, i + 1);
    zorva_memcpy(&pstate, live(), 0x6001, 0x6000, 10);
    EXPECT_EQ(bytes(0x6000, 12), (std::vector<int>{1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12}));
    for (int i = 0; i < 16; i++) poke(0x6000 + i, i + 1);
    zorva_memcpy(&pstate, live(), 0x6000, 0x6001, 10);
    EXPECT_EQ(bytes(0x6000, 12), (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 11, 12}));
}

TEST_F(Memory, CopiesAcrossRangesGoThroughTheEncodings) {
    // Sprite sheet bytes copied to the screen land as the same pixels.
    gfx(0, 0) = 3;
    gfx(1, 0) = 4;
    zorva_memcpy(&pstate, live(), 0x6000, 0x0000, 1);
    EXPECT_EQ(screen(0, 0), 3);
    EXPECT_EQ(screen(1, 0), 4);
    // A source beyond memory reads 0.
    for (int i = 0; i < 16; i++) poke(0x7FF8 + i % 8, 0xAA);
    zorva_memcpy(&pstate, live(), 0x4300, 0x7FF8, 16);
    EXPECT_EQ(bytes(0x4300, 10), (std::vector<int>{0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0, 0}));
    EXPECT_EQ(console_error_count, 0);
}

TEST_F(Memory, LengthsOutsideOneTo32767DoNothing) {
    for (int len : {0, -1, -32768, 32768, 40000}) {
        zorva_memset(&pstate, live(), 0x6000, 0x11, len);
        zorva_memcpy(&pstate, live(), 0x4300, 0x0000, len);
        zorva_memcpy(&pstate, live(), 0x8000, 0x0000, len);
    }
    EXPECT_EQ(screen(0, 0), 0);
    EXPECT_EQ(console_error_count, 0);
    zorva_memset(&pstate, live(), 0x0000, 0x11, 32767);   // the longest goes ahead
    EXPECT_EQ(peek(0x7FFE), 0x11);
    EXPECT_EQ(console_error_count, 0);
}

TEST_F(Memory, DestinationsBeyondMemoryFailByteByByteAndTheRestIsWritten) {
    for (int i = 0; i < 32; i++) gfx(i * 2, 0) = 1;
    zorva_memcpy(&pstate, live(), 0x7FF0, 0x0000, 32);
    EXPECT_EQ(console_error_count, 16);
    EXPECT_EQ(bytes(0x7FF0, 16), std::vector<int>(16, 1));

    console_error_count = 0;
    zorva_memset(&pstate, live(), 0x7FFE, 0x77, 4);
    EXPECT_EQ(console_error_count, 2);
    EXPECT_EQ(bytes(0x7FFE, 2), (std::vector<int>{0x77, 0x77}));
}

// ---------------------------------------------------------------------------
// The shared area

TEST_F(Memory, SharedAreaSyncMatchesTheAddressMap) {
    zorva_cart *cart = live();
    for (int y = 64; y < 128; y++)
        for (int x = 0; x < 128; x++) cart->gfx->rows[y][x] = uint8_t((x * 7 + y * 3) & 15);
    sync_shared_gfx_to_map(cart);
    for (int a = 0x1000; a < 0x2000; a++) ASSERT_EQ(cart->map->rows[a >> 7][a & 127], peek(a)) << a;
    // map row 40, column 65: sprite row 64 + 16 + 1, pixels 2 and 3
    EXPECT_EQ(cart->map->rows[40][65], (cart->gfx->rows[81][3] << 4) | cart->gfx->rows[81][2]);

    for (int y = 32; y < 64; y++)
        for (int x = 0; x < 128; x++) cart->map->rows[y][x] = uint8_t(x + y * 5);
    sync_shared_map_to_gfx(cart);
    for (int a = 0x1000; a < 0x2000; a++) ASSERT_EQ(peek(a), cart->map->rows[a >> 7][a & 127]) << a;
    EXPECT_EQ(cart->map->rows[0][0], 0);   // rows 0-31 are left alone
    EXPECT_EQ(cart->gfx->rows[63][127], 0);
}

// ---------------------------------------------------------------------------
// reload and cstore

// A ROM with something at every address: each byte its own value.
void fill_rom(zorva_cart *cart, int seed) {
    for (int a = 0; a < ZORVA_ROM_SIZE; a++) zorva_poke(nullptr, cart, a, (a * 31 + seed) & 255);
}

TEST_F(Memory, ReloadCopiesTheWholeRomIntoLiveMemory) {
    fill_rom(rom(), 5);
    zorva_reload(&pstate, live(), 0, 0, ZORVA_ROM_SIZE);
    for (int a = 0; a < ZORVA_ROM_SIZE; a++)
        ASSERT_EQ(peek(a), zorva_peek(nullptr, rom(), a)) << a;
    EXPECT_EQ(live()->music[3][1], rom()->music[3][1]);
    EXPECT_EQ(live()->sfx[40].speed, rom()->sfx[40].speed);
}

TEST_F(Memory, ReloadReadsTheRomNeverLiveMemory) {
    fill_rom(rom(), 9);
    // Overlapping addresses, but the source is the ROM: no smearing.
    zorva_reload(&pstate, live(), 0x100, 0x000, 0x200);
    for (int i = 0; i < 0x200; i++) ASSERT_EQ(peek(0x100 + i), zorva_peek(nullptr, rom(), i)) << i;
    // Beyond the ROM it reads 0: user memory is cleared.
    for (int i = 0; i < 8; i++) poke(0x4300 + i, 0xEE);
    zorva_reload(&pstate, live(), 0x4300, 0x4300, 8);
    EXPECT_EQ(bytes(0x4300, 8), std::vector<int>(8, 0));
    zorva_reload(&pstate, live(), 0x6000, 0x7FFF + 1, 1);
    EXPECT_EQ(peek(0x6000), 0);
}

TEST_F(Memory, ReloadWithoutAWorkingCartOrWithABadLengthChangesNothing) {
    fill_rom(rom(), 1);
    for (int len : {0, -5, 32768}) zorva_reload(&pstate, live(), 0, 0, len);
    zorva_shell.working_cart = nullptr;
    zorva_reload(&pstate, live(), 0, 0, 100);
    EXPECT_EQ(bytes(0, 100), std::vector<int>(100, 0));
}

class Cstore : public Memory {
  protected:
    std::string path = test_home() + "/stored.zv";
    void SetUp() override {
        std::remove(path.c_str());
        std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "%s", path.c_str());
    }
};

TEST_F(Cstore, StoresLiveMemoryIntoTheCartAndSavesItAsText) {
    fill_rom(live(), 77);
    std::snprintf(rom()->code, ZORVA_CODE_BUFFER_SIZE, "print(1)");
    EXPECT_EQ(zorva_cstore(&pstate, rom(), 0, 0, ZORVA_ROM_SIZE), ZORVA_ROM_SIZE);
    for (int a = 0; a < ZORVA_ROM_SIZE; a++)
        ASSERT_EQ(zorva_peek(nullptr, rom(), a), peek(a)) << a;

    zorva_cart *saved = tamu_load_zorva_cart(path.c_str());
    ASSERT_NE(saved, nullptr);
    EXPECT_STREQ(saved->code, "print(1)");
    // (map rows 32-63 travel in the sprite sheet, which is what peek reads)
    for (int a = 0; a < ZORVA_ROM_SIZE; a++) ASSERT_EQ(zorva_peek(nullptr, saved, a), peek(a)) << a;
    tamu_destroy_zorva_cart(saved);
}

TEST_F(Cstore, APartialStoreLeavesTheRestOfTheCart) {
    fill_rom(rom(), 3);
    zorva_cart *before = tamu_create_zorva_cart();
    fill_rom(before, 3);
    for (int i = 0; i < 64; i++) poke(0x2000 + i, 0xC0 + (i & 15));
    EXPECT_EQ(zorva_cstore(&pstate, rom(), 0x2100, 0x2000, 64), 64);
    for (int a = 0; a < ZORVA_ROM_SIZE; a++) {
        int want = a >= 0x2100 && a < 0x2140 ? 0xC0 + ((a - 0x2100) & 15) : zorva_peek(nullptr, before, a);
        ASSERT_EQ(zorva_peek(nullptr, rom(), a), want) << a;
    }
    // Destinations beyond the ROM have nothing to store into.
    poke(0x4300, 0x12);
    EXPECT_EQ(zorva_cstore(&pstate, rom(), 0x4300, 0x4300, 1), 1);
    EXPECT_EQ(console_error_count, 0);
    tamu_destroy_zorva_cart(before);
}

TEST_F(Cstore, HoldCounterAndResults) {
    struct Case {
        int hold_before, hold_after;
    } cases[] = {{0, 30}, {10, 40}, {30, 60}, {31, 60}, {45, 60}, {60, 60}};
    for (const Case &c : cases) {
        pstate.hold_counter = c.hold_before;
        zorva_cstore(&pstate, rom(), 0, 0, 1);
        EXPECT_EQ(pstate.hold_counter, c.hold_after) << c.hold_before;
    }

    // Without a working file name nothing is saved.
    pstate.working_file_name[0] = 0;
    pstate.hold_counter = 0;
    EXPECT_EQ(zorva_cstore(&pstate, rom(), 0, 0, 16), 0);
    EXPECT_EQ(pstate.hold_counter, 30);

    // A file that cannot be written.
    std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "%s",
                  (test_home() + "/no/such/folder/x.zv").c_str());
    EXPECT_EQ(zorva_cstore(&pstate, rom(), 0, 0, 16), 0);
}

TEST_F(Cstore, PngNamesGoToTheShellsPngWriter) {
    std::string png = test_home() + "/stored.zv.png";
    std::snprintf(pstate.working_file_name, sizeof pstate.working_file_name, "%s", png.c_str());
    EXPECT_EQ(zorva_cstore(&pstate, rom(), 0, 0, 16), 0);   // no writer yet
    EXPECT_FALSE(std::filesystem::exists(png));

    static std::string written;
    zorva_shell.save_png_cart = [](const zorva_cart *, const char *p) {
        written = p;
        return 0;
    };
    EXPECT_EQ(zorva_cstore(&pstate, rom(), 0, 0, 16), 16);
    EXPECT_EQ(written, png);
}

// ---------------------------------------------------------------------------
// GPIO and user memory blocks

TEST_F(Memory, GpioIsItsPlaceInTheMirror) {
    gpio_open();
    gpio_write(0, 0x101);
    gpio_write(127, 9);
    EXPECT_EQ(peek(0x5F80), 0x01);
    EXPECT_EQ(peek(0x5FFF), 9);
    poke(0x5F81, 0x44);
    EXPECT_EQ(gpio_read(1), 0x44);
    // Indices outside the area are ignored.
    gpio_write(128, 5);
    gpio_write(-1, 5);
    EXPECT_EQ(pstate.console_memory[0x6000], 0);
    EXPECT_EQ(pstate.console_memory[0x5F7F], 0);
    EXPECT_EQ(gpio_read(128), 0);
    EXPECT_EQ(gpio_read(-100000), 0);
    gpio_close();
}

TEST(UserMemblocks, OneBlockWrapsItsAddressesAndShowsInTheSuperBlock) {
    EXPECT_EQ(peek_memblock(0), 0);   // no super block yet
    allocate_user_memblock(0);        // refused: an empty block has no addresses
    allocate_user_memblock(-8);
    poke_memblock(3, 1);
    generate_super_memblocks();
    EXPECT_EQ(peek_memblock(3), 0);

    allocate_user_memblock(16);
    allocate_user_memblock(64);   // the first entry is in use: nothing happens
    poke_memblock(3, 0xAB);
    poke_memblock(16 + 5, 0xCD);  // wraps within the block
    poke_memblock(-1, 0xEF);      // the last byte
    generate_super_memblocks();
    EXPECT_EQ(peek_memblock(3), 0xAB);
    EXPECT_EQ(peek_memblock(5), 0xCD);
    EXPECT_EQ(peek_memblock(15), 0xEF);
    EXPECT_EQ(peek_memblock(16), 0);
    EXPECT_EQ(peek_memblock(0x8000 + 3), 0xAB);
}

// ---------------------------------------------------------------------------
// The state record

TEST(ConsoleState, TheCartReadersFutureVersionFlagIsTheStatesFlag) {
    pstate.future_version = 0;
    cfile *f = tamu_fopen_memory("zorva cartridge\nversion 12\n", 26);
    EXPECT_EQ(tamu_load_zorva_cart_from_file(f), nullptr);
    tamu_fclose(f);
    EXPECT_EQ(pstate.future_version, 1);
    f = tamu_fopen_memory("zorva cartridge\nversion 11\n", 26);
    zorva_cart *cart = tamu_load_zorva_cart_from_file(f);
    tamu_fclose(f);
    EXPECT_EQ(pstate.future_version, 0);
    tamu_destroy_zorva_cart(cart);
}

}  // namespace
