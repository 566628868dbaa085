// Console memory: the 32 KB address space 0x0000-0x7FFF that carts peek
// and poke. Each range is backed by the structure the rest of the system
// uses; the mirror in the state record (pstate.console_memory) keeps the
// last byte written at every address and backs the ranges that have no
// structure of their own.
//
//   0x0000-0x0FFF  sprite sheet rows 0-63: 64 bytes per row, pixel 2k in
//                  the low nibble of byte k, pixel 2k+1 in the high one
//   0x1000-0x1FFF  sprite sheet rows 64-127, shared with map rows 32-63
//                  (one cell per byte, row a >> 7, column a & 127): a
//                  write goes to both, a read comes from the sprite sheet
//   0x2000-0x2FFF  map rows 0-31, one cell per byte
//   0x3000-0x30FF  sprite flags
//   0x3100-0x31FF  music: 4 bytes per pattern, one per channel: bits 0-6
//                  the sound effect, bit 7 the pattern's flag bit c
//                  (0 loop start, 1 loop back, 2 stop)
//   0x3200-0x42FF  sound effects, 68 bytes each: 32 notes of 2 bytes
//                  (bits 0-5 pitch, 6-8 waveform, 9-11 volume, 12-14
//                  effect, 15 custom instrument; low byte first), then
//                  editor mode, speed, loop start, loop end
//   0x4300-0x5DFF  user memory (mirror only)
//   0x5E00-0x5EFF  cart data: value i at 0x5E00 + 4i, low byte first
//   0x5F00-0x5F3F  draw state (see zorva_memory.cpp)
//   0x5F40-0x5F43  mixer registers: a write keeps byte & 15, a read
//                  returns the byte written
//   0x5F44-0x5F7F  further registers (mirror only)
//   0x5F80-0x5FFF  GPIO (mirror only)
//   0x6000-0x7FFF  screen: 64 bytes per row, left pixel in the low nibble
//
// The cart's ROM is its first 0x4300 bytes in this layout; with a null
// state the operations reach only the cart (the mirror is neither read nor
// written and everything from 0x4300 up reads 0).
#pragma once

#include <cstdint>

struct zorva_cart;
struct zorva_state;

constexpr int ZORVA_ROM_SIZE = 0x4300;
constexpr int ZORVA_ADDR_SHARED = 0x1000;
constexpr int ZORVA_ADDR_MAP = 0x2000;
constexpr int ZORVA_ADDR_FLAGS = 0x3000;
constexpr int ZORVA_ADDR_MUSIC = 0x3100;
constexpr int ZORVA_ADDR_SFX = 0x3200;
constexpr int ZORVA_ADDR_USER = 0x4300;
constexpr int ZORVA_ADDR_CART_DATA = 0x5E00;
constexpr int ZORVA_ADDR_DRAW_STATE = 0x5F00;
constexpr int ZORVA_ADDR_MIXER = 0x5F40;
constexpr int ZORVA_ADDR_REGISTERS = 0x5F44;
constexpr int ZORVA_ADDR_GPIO = 0x5F80;
constexpr int ZORVA_ADDR_SCREEN = 0x6000;
constexpr int ZORVA_SFX_BYTES = 68;
constexpr int ZORVA_GPIO_SIZE = 128;
// The longest copy or fill; a longer (or empty) one does nothing.
constexpr int ZORVA_MEMORY_LEN_MAX = 32767;

// The byte at addr (taken as unsigned); 0 above 0x7FFF.
int zorva_peek(zorva_state *state, zorva_cart *cart, int addr);
// Writes the low 8 bits of value at addr (taken as unsigned). Above 0x7FFF
// the runtime error "bad memory access" is raised and nothing changes.
void zorva_poke(zorva_state *state, zorva_cart *cart, int addr, int value);
// Copies len bytes, peek by poke, as if through a buffer (backwards when
// dest >= src). Sources outside memory read 0; each destination outside
// raises "bad memory access" and the copy goes on.
void zorva_memcpy(zorva_state *state, zorva_cart *cart, int dest, int src, int len);
// Pokes value at dest ... dest + len - 1.
void zorva_memset(zorva_state *state, zorva_cart *cart, int dest, int value, int len);
// Copies len bytes of the working cart's ROM from src into console memory
// at dest (cart: the live cart). ROM addresses from 0x4300 up read 0.
// Nothing happens without a working cart.
void zorva_reload(zorva_state *state, zorva_cart *cart, int dest, int src, int len);
// Copies len bytes of console memory from src into the ROM of cart at
// dest, saves cart under the working file name and holds the cart for 30
// more frames (60 at most once it was held for more than 30). Returns len
// when the file was written, else 0.
int zorva_cstore(zorva_state *state, zorva_cart *cart, int dest, int src, int len);

// The area shared by sprite rows 64-127 and map rows 32-63 of one cart:
// map row r, column x is the byte of sprite row 64 + 2(r - 32) + (x >> 6),
// pixels 2(x & 63) (low nibble) and 2(x & 63) + 1.
void sync_shared_gfx_to_map(zorva_cart *cart);
void sync_shared_map_to_gfx(zorva_cart *cart);

// GPIO: 128 bytes of the mirror, with no behaviour of their own. Indices
// outside 0-127 are ignored (read 0).
void gpio_open();
void gpio_close();
void gpio_write(int index, int value);
int gpio_read(int index);

// User memory blocks: a table of blocks, the newest first.
constexpr int ZORVA_USER_MEMBLOCKS = 16384;
// Puts a new zeroed block of size bytes first in the table, unless the
// first entry is in use or size is below 1. Returns 0.
int allocate_user_memblock(int size);
// Concatenates the blocks in table order into one 32 KB buffer (each cut
// to the room left).
void generate_super_memblocks();
// A byte of that buffer at addr & 0x7FFF; 0 before it exists.
int peek_memblock(int addr);
// Writes the first block at addr & (size - 1) when it is in use.
void poke_memblock(int addr, int value);
