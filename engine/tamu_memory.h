// Memory blocks with a checked header, and growable memory buffers.
#pragma once

#include <cstdint>

struct cfile;
typedef cfile cbuffer;

constexpr uint32_t TAMU_BLOCK_MAGIC = 0xA11CB10C;
constexpr uint32_t TAMU_FREED_MAGIC = 0x00ABBA00;
constexpr uint32_t TAMU_FREED_SIZE = 0x00CDDC00;

// n == 0 gives null; a negative n, or one the system cannot provide,
// stops the program with a fatal out-of-memory error.
void *tamu_malloc(int n);
void *tamu_realloc(void *p, int n);
void tamu_free(void *p);
void tamu_memset(void *p, int value, int n);

// Where tamu_free hands released blocks (header included); the system's
// free unless a test holds blocks back to inspect them.
extern void (*tamu_release_block)(void *block);

cbuffer *tamu_create_buffer(int capacity);
int tamu_allocate_buffer_size(cbuffer *buffer, int needed);
void tamu_destroy_buffer(cbuffer *buffer);
void *cbuffer_add_data(cbuffer *buffer, const void *data, int n);
char *cbuffer_add_string(cbuffer *buffer, const char *text);
uint8_t *cbuffer_add_uint8(cbuffer *buffer, int value);
int cbuffer_get_uint8(cbuffer *buffer);

// Little-endian helpers over a cbuffer (writes grow it; reads past the
// end give 0 bytes and do not move the position).
void cbuffer_add_uint16(cbuffer *buffer, int value);
void cbuffer_add_uint32(cbuffer *buffer, uint32_t value);
int cbuffer_get_uint16(cbuffer *buffer);
uint32_t cbuffer_get_uint32(cbuffer *buffer);
