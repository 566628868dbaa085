// Console memory: the address map, the memory operations, GPIO and the
// user memory blocks.
//
// Draw-state bytes (0x5F00 + n):
//   0x00-0x0F  draw palette entry n         0x10-0x1F  screen palette
//   0x20-0x23  clip x0, y0, x1, y1 (a write sets the screen's clip again)
//   0x25       pen colour                   0x26, 0x27 cursor x, y
//   0x28, 0x29 camera x low, high byte      0x2A, 0x2B camera y
//   0x2C       screen mode
//   0x31-0x33  fill pattern bits 0-7, 8-15, 16-23 (bit 16: transparency)
//   others     mirror only (0x2D devkit mode, 0x2E palette keep flag,
//              0x2F audio pause mode, 0x30 pause-menu suppress)
#include "zorva_memory.h"

#include "cart_text.h"
#include "tamu.h"
#include "zorva_cart.h"
#include "zorva_state.h"

#include <cstring>

// ---------------------------------------------------------------------------
// Backing structures

static bool usable(const cbitmap *b, int w, int h) {
    return b && b->bpp == 8 && b->width >= w && b->height >= h;
}

static uint8_t *gfx_row(zorva_cart *cart, int row) {
    return cart && usable(cart->gfx, 128, 128) ? cart->gfx->rows[row] : nullptr;
}

static uint8_t *map_row(zorva_cart *cart, int row) {
    return cart && usable(cart->map, 128, 64) ? cart->map->rows[row] : nullptr;
}

static uint8_t *screen_row(zorva_state *state, int row) {
    return usable(state->screen, 128, 128) ? state->screen->rows[row] : nullptr;
}

// Two pixels as one byte, the left one in the low nibble.
static int pair_byte(const uint8_t *row, int k) {
    return ((row[2 * k + 1] & 15) << 4) | (row[2 * k] & 15);
}

static void set_pair(uint8_t *row, int k, int byte) {
    row[2 * k] = uint8_t(byte & 15);
    row[2 * k + 1] = uint8_t(byte >> 4);
}

static int sfx_note_word(const sfx_note &n) {
    return (n.pitch & 63) | (n.waveform & 7) << 6 | (n.volume & 7) << 9 | (n.effect & 7) << 12 |
           (n.custom_instrument ? 1 << 15 : 0);
}

static int peek_rom(zorva_cart *cart, int a) {
    if (!cart) return 0;
    if (a < ZORVA_ADDR_MAP) {
        const uint8_t *row = gfx_row(cart, a >> 6);
        return row ? pair_byte(row, a & 63) : 0;
    }
    if (a < ZORVA_ADDR_FLAGS) {
        const uint8_t *row = map_row(cart, (a - ZORVA_ADDR_MAP) >> 7);
        return row ? row[a & 127] : 0;
    }
    if (a < ZORVA_ADDR_MUSIC) return cart->sprite_flags[a - ZORVA_ADDR_FLAGS] & 255;
    if (a < ZORVA_ADDR_SFX) {
        int pattern = (a - ZORVA_ADDR_MUSIC) >> 2, channel = a & 3;
        return (cart->music[pattern][channel] & 127) | ((cart->music_flags[pattern] >> channel) & 1) << 7;
    }
    const sfx_record &sfx = cart->sfx[(a - ZORVA_ADDR_SFX) / ZORVA_SFX_BYTES];
    int k = (a - ZORVA_ADDR_SFX) % ZORVA_SFX_BYTES;
    switch (k) {
    case 64: return sfx.editor_mode & 255;
    case 65: return sfx.speed & 255;
    case 66: return sfx.loop_start & 255;
    case 67: return sfx.loop_end & 255;
    default: {
        int word = sfx_note_word(sfx.notes[k >> 1]);
        return k & 1 ? word >> 8 : word & 255;
    }
    }
}

static void poke_rom(zorva_cart *cart, int a, int v) {
    if (!cart) return;
    if (a < ZORVA_ADDR_MAP) {
        if (uint8_t *row = gfx_row(cart, a >> 6)) set_pair(row, a & 63, v);
        if (a >= ZORVA_ADDR_SHARED)
            if (uint8_t *row = map_row(cart, a >> 7)) row[a & 127] = uint8_t(v);
        return;
    }
    if (a < ZORVA_ADDR_FLAGS) {
        if (uint8_t *row = map_row(cart, (a - ZORVA_ADDR_MAP) >> 7)) row[a & 127] = uint8_t(v);
        return;
    }
    if (a < ZORVA_ADDR_MUSIC) {
        cart->sprite_flags[a - ZORVA_ADDR_FLAGS] = v;
        return;
    }
    if (a < ZORVA_ADDR_SFX) {
        int pattern = (a - ZORVA_ADDR_MUSIC) >> 2, channel = a & 3;
        cart->music[pattern][channel] = v & 127;
        if (v & 128)
            cart->music_flags[pattern] |= 1 << channel;
        else
            cart->music_flags[pattern] &= ~(1 << channel);
        return;
    }
    sfx_record &sfx = cart->sfx[(a - ZORVA_ADDR_SFX) / ZORVA_SFX_BYTES];
    int k = (a - ZORVA_ADDR_SFX) % ZORVA_SFX_BYTES;
    switch (k) {
    case 64: sfx.editor_mode = v; break;
    case 65: sfx.speed = v; break;
    case 66: sfx.loop_start = v; break;
    case 67: sfx.loop_end = v; break;
    default: {
        sfx_note &n = sfx.notes[k >> 1];
        if (k & 1) {
            n.waveform = (n.waveform & 3) | (v & 1) << 2;
            n.volume = (v >> 1) & 7;
            n.effect = (v >> 4) & 7;
            n.custom_instrument = v & ZORVA_SFX_CUSTOM_INSTRUMENT;
        } else {
            n.pitch = v & 63;
            n.waveform = (n.waveform & 4) | v >> 6;
        }
    }
    }
}

static int peek_draw_state(zorva_state *state, int n) {
    const zorva_draw_state &d = state->draw_state;
    if (n < 0x10) return d.draw_palette[n] & 255;
    if (n < 0x20) return d.screen_palette[n - 0x10] & 255;
    switch (n) {
    case 0x20: return d.clip_x0 & 255;
    case 0x21: return d.clip_y0 & 255;
    case 0x22: return d.clip_x1 & 255;
    case 0x23: return d.clip_y1 & 255;
    case 0x25: return d.pen_colour & 255;
    case 0x26: return d.cursor_x & 255;
    case 0x27: return d.cursor_y & 255;
    case 0x28: return d.camera_x & 255;
    case 0x29: return (d.camera_x >> 8) & 255;
    case 0x2A: return d.camera_y & 255;
    case 0x2B: return (d.camera_y >> 8) & 255;
    case 0x2C: return d.screen_mode & 255;
    case 0x31: return d.fill_pattern & 255;
    case 0x32: return (d.fill_pattern >> 8) & 255;
    case 0x33: return (d.fill_pattern >> 16) & 255;
    default: return state->console_memory[ZORVA_ADDR_DRAW_STATE + n];
    }
}

// Bits 0-7 of a register replaced by the byte; bits 8 and up become the
// byte taken as signed (the high byte of a signed 16-bit value).
static int32_t with_low_byte(int32_t value, int v) { return (value & ~0xFF) | v; }
static int32_t with_high_byte(int32_t value, int v) { return int32_t(int8_t(v)) * 256 + (value & 255); }

static void poke_draw_state(zorva_state *state, int n, int v) {
    zorva_draw_state &d = state->draw_state;
    if (n < 0x10) {
        d.draw_palette[n] = v;
        return;
    }
    if (n < 0x20) {
        d.screen_palette[n - 0x10] = v;
        return;
    }
    switch (n) {
    case 0x20:
    case 0x21:
    case 0x22:
    case 0x23:
        if (n == 0x20) d.clip_x0 = v;
        if (n == 0x21) d.clip_y0 = v;
        if (n == 0x22) d.clip_x1 = v;
        if (n == 0x23) d.clip_y1 = v;
        // All four at once, even while the others are still being written.
        if (state->screen) tamu_set_clip(state->screen, d.clip_x0, d.clip_y0, d.clip_x1, d.clip_y1);
        break;
    case 0x25: d.pen_colour = v; break;
    case 0x26: d.cursor_x = v; break;
    case 0x27: d.cursor_y = v; break;
    case 0x28: d.camera_x = with_low_byte(d.camera_x, v); break;
    case 0x29: d.camera_x = with_high_byte(d.camera_x, v); break;
    case 0x2A: d.camera_y = with_low_byte(d.camera_y, v); break;
    case 0x2B: d.camera_y = with_high_byte(d.camera_y, v); break;
    case 0x2C: d.screen_mode = v; break;
    case 0x31: d.fill_pattern = (d.fill_pattern & ~0xFF) | v; break;
    case 0x32: d.fill_pattern = (d.fill_pattern & ~0xFF00) | v << 8; break;
    // The whole byte is replaced, so that it reads back as written.
    case 0x33: d.fill_pattern = (d.fill_pattern & ~0xFF0000) | v << 16; break;
    default: break;   // mirror only
    }
}

// ---------------------------------------------------------------------------
// Peek and poke

int zorva_peek(zorva_state *state, zorva_cart *cart, int addr) {
    uint32_t a = uint32_t(addr);
    if (a >= uint32_t(ZORVA_MEMORY_SIZE)) return 0;
    if (a < uint32_t(ZORVA_ROM_SIZE)) return peek_rom(cart, int(a));
    if (!state) return 0;
    if (a >= uint32_t(ZORVA_ADDR_SCREEN)) {
        int offset = int(a) - ZORVA_ADDR_SCREEN;
        const uint8_t *row = screen_row(state, offset >> 6);
        return row ? pair_byte(row, offset & 63) : 0;
    }
    if (a >= uint32_t(ZORVA_ADDR_CART_DATA) && a < uint32_t(ZORVA_ADDR_DRAW_STATE)) {
        int offset = int(a) - ZORVA_ADDR_CART_DATA;
        return (uint32_t(state->cart_data[offset >> 2]) >> (8 * (offset & 3))) & 255;
    }
    if (a >= uint32_t(ZORVA_ADDR_DRAW_STATE) && a < uint32_t(ZORVA_ADDR_MIXER))
        return peek_draw_state(state, int(a) - ZORVA_ADDR_DRAW_STATE);
    // user memory, mixer registers (as written), further registers, GPIO
    return state->console_memory[a];
}

void zorva_poke(zorva_state *state, zorva_cart *cart, int addr, int value) {
    uint32_t a = uint32_t(addr);
    if (a >= uint32_t(ZORVA_MEMORY_SIZE)) {
        console_runtime_error("bad memory access");
        return;
    }
    int v = value & 255;
    if (state) state->console_memory[a] = uint8_t(v);
    if (a < uint32_t(ZORVA_ROM_SIZE)) {
        poke_rom(cart, int(a), v);
        return;
    }
    if (!state) return;
    if (a >= uint32_t(ZORVA_ADDR_SCREEN)) {
        int offset = int(a) - ZORVA_ADDR_SCREEN;
        if (uint8_t *row = screen_row(state, offset >> 6)) set_pair(row, offset & 63, v);
        return;
    }
    if (a >= uint32_t(ZORVA_ADDR_CART_DATA) && a < uint32_t(ZORVA_ADDR_DRAW_STATE)) {
        if (state->suspend_counter != 0) return;
        int offset = int(a) - ZORVA_ADDR_CART_DATA;
        int shift = 8 * (offset & 3);
        uint32_t word = uint32_t(state->cart_data[offset >> 2]);
        word = (word & ~(0xFFu << shift)) | uint32_t(v) << shift;
        state->cart_data[offset >> 2] = zorva_fixed(word);
        state->cart_data_dirty = 1;
        return;
    }
    if (a >= uint32_t(ZORVA_ADDR_DRAW_STATE) && a < uint32_t(ZORVA_ADDR_MIXER)) {
        poke_draw_state(state, int(a) - ZORVA_ADDR_DRAW_STATE, v);
        return;
    }
    if (a >= uint32_t(ZORVA_ADDR_MIXER) && a < uint32_t(ZORVA_ADDR_REGISTERS))
        state->mixer_registers[a - ZORVA_ADDR_MIXER] = v & 15;
    // everything else is the mirror alone
}

// ---------------------------------------------------------------------------
// Copies

// Addresses are formed modulo 2^32, as the address is then taken as
// unsigned anyway.
static int offset_address(int base, int i) { return int(uint32_t(base) + uint32_t(i)); }

static bool copy_length_ok(int len) { return len >= 1 && len <= ZORVA_MEMORY_LEN_MAX; }

void zorva_memcpy(zorva_state *state, zorva_cart *cart, int dest, int src, int len) {
    if (!copy_length_ok(len)) return;
    if (dest >= src) {
        for (int i = len - 1; i >= 0; i--)
            zorva_poke(state, cart, offset_address(dest, i), zorva_peek(state, cart, offset_address(src, i)));
    } else {
        for (int i = 0; i < len; i++)
            zorva_poke(state, cart, offset_address(dest, i), zorva_peek(state, cart, offset_address(src, i)));
    }
}

void zorva_memset(zorva_state *state, zorva_cart *cart, int dest, int value, int len) {
    if (!copy_length_ok(len)) return;
    for (int i = 0; i < len; i++) zorva_poke(state, cart, offset_address(dest, i), value);
}

void zorva_reload(zorva_state *state, zorva_cart *cart, int dest, int src, int len) {
    if (!copy_length_ok(len)) return;
    zorva_cart *rom = zorva_shell.working_cart ? zorva_shell.working_cart() : nullptr;
    if (!rom) return;
    for (int i = 0; i < len; i++)
        zorva_poke(state, cart, offset_address(dest, i), zorva_peek(nullptr, rom, offset_address(src, i)));
}

static bool has_png_name(const char *name) { return std::strstr(name, ".png") != nullptr; }

int zorva_cstore(zorva_state *state, zorva_cart *cart, int dest, int src, int len) {
    if (copy_length_ok(len)) {
        zorva_cart *live = state ? state->live_cart : nullptr;
        for (int i = 0; i < len; i++)
            zorva_poke(nullptr, cart, offset_address(dest, i), zorva_peek(state, live, offset_address(src, i)));
    }
    if (!state) return 0;
    state->hold_counter = state->hold_counter > 30 ? 60 : state->hold_counter + 30;
    const char *name = state->working_file_name;
    if (!cart || !name[0]) return 0;
    int result;
    if (has_png_name(name))
        result = zorva_shell.save_png_cart ? zorva_shell.save_png_cart(cart, name) : 1;
    else
        result = tamu_save_zorva_cart(cart, name);
    return result == 0 ? len : 0;
}

// ---------------------------------------------------------------------------
// The shared area

void sync_shared_gfx_to_map(zorva_cart *cart) {
    for (int a = ZORVA_ADDR_SHARED; a < ZORVA_ADDR_MAP; a++) {
        uint8_t *gfx = gfx_row(cart, a >> 6);
        uint8_t *map = map_row(cart, a >> 7);
        if (!gfx || !map) return;
        map[a & 127] = uint8_t(pair_byte(gfx, a & 63));
    }
}

void sync_shared_map_to_gfx(zorva_cart *cart) {
    for (int a = ZORVA_ADDR_SHARED; a < ZORVA_ADDR_MAP; a++) {
        uint8_t *gfx = gfx_row(cart, a >> 6);
        uint8_t *map = map_row(cart, a >> 7);
        if (!gfx || !map) return;
        set_pair(gfx, a & 63, map[a & 127]);
    }
}

// ---------------------------------------------------------------------------
// GPIO

void gpio_open() {}
void gpio_close() {}

void gpio_write(int index, int value) {
    if (index < 0 || index >= ZORVA_GPIO_SIZE) return;
    pstate.console_memory[ZORVA_ADDR_GPIO + index] = uint8_t(value);
}

int gpio_read(int index) {
    if (index < 0 || index >= ZORVA_GPIO_SIZE) return 0;
    return pstate.console_memory[ZORVA_ADDR_GPIO + index];
}

// ---------------------------------------------------------------------------
// User memory blocks

namespace {
struct user_memblock {
    uint8_t *block;
    int32_t size;
    int32_t in_use;
};
user_memblock user_memblocks[ZORVA_USER_MEMBLOCKS];
uint8_t *super_memblock = nullptr;
}  // namespace

int allocate_user_memblock(int size) {
    if (size < 1 || user_memblocks[0].in_use) return 0;
    // The last entry falls off the end of the table.
    tamu_free(user_memblocks[ZORVA_USER_MEMBLOCKS - 1].block);
    std::memmove(&user_memblocks[1], &user_memblocks[0], sizeof(user_memblock) * (ZORVA_USER_MEMBLOCKS - 1));
    auto *block = static_cast<uint8_t *>(tamu_malloc(size));
    std::memset(block, 0, size_t(size));
    user_memblocks[0] = {block, size, 1};
    return 0;
}

void generate_super_memblocks() {
    if (!super_memblock) super_memblock = static_cast<uint8_t *>(tamu_malloc(ZORVA_MEMORY_SIZE));
    std::memset(super_memblock, 0, ZORVA_MEMORY_SIZE);
    int used = 0;
    for (const user_memblock &m : user_memblocks) {
        if (!m.block || used >= ZORVA_MEMORY_SIZE) continue;
        int n = m.size < ZORVA_MEMORY_SIZE - used ? m.size : ZORVA_MEMORY_SIZE - used;
        std::memcpy(super_memblock + used, m.block, size_t(n));
        used += n;
    }
}

int peek_memblock(int addr) { return super_memblock ? super_memblock[addr & 0x7FFF] : 0; }

void poke_memblock(int addr, int value) {
    const user_memblock &m = user_memblocks[0];
    if (!m.in_use || m.size < 1) return;
    m.block[uint32_t(addr) & uint32_t(m.size - 1)] = uint8_t(value);
}
