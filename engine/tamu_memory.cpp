// Memory blocks with a checked header, and growable memory buffers.
#include "tamu.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
struct block_header {
    uint32_t magic;
    uint32_t size;
};
static_assert(sizeof(block_header) == 8);

block_header *header_of(void *p) { return static_cast<block_header *>(p) - 1; }

[[noreturn]] void out_of_memory(int n) {
    char message[64];
    std::snprintf(message, sizeof message, "out of memory (%d bytes)", n);
    tamu_fatal_error(message);
}

[[noreturn]] void bad_block(const block_header *h) {
    std::printf("tamu_free fail %x %x\n", h->magic, h->size);
    std::fflush(stdout);
    std::_Exit(3);
}
}  // namespace

void (*tamu_release_block)(void *block) = std::free;

void *tamu_malloc(int n) {
    if (n == 0) return nullptr;
    // The header must not wrap the size: a negative count, or one that
    // overflows once the header is added, is never handed out short.
    if (n < 0 || static_cast<unsigned>(n) > 0x7FFFFFFFu - sizeof(block_header)) out_of_memory(n);
    auto *h = static_cast<block_header *>(std::malloc(static_cast<size_t>(n) + sizeof(block_header)));
    if (!h) out_of_memory(n);
    h->magic = TAMU_BLOCK_MAGIC;
    h->size = static_cast<uint32_t>(n);
    return h + 1;
}

void *tamu_realloc(void *p, int n) {
    if (!p) return tamu_malloc(n);
    block_header *h = header_of(p);
    if (h->magic != TAMU_BLOCK_MAGIC) bad_block(h);
    if (n < 0 || static_cast<unsigned>(n) > 0x7FFFFFFFu - sizeof(block_header)) out_of_memory(n);
    auto *moved = static_cast<block_header *>(std::realloc(h, static_cast<size_t>(n) + sizeof(block_header)));
    if (!moved) out_of_memory(n);
    moved->size = static_cast<uint32_t>(n);
    return moved + 1;
}

void tamu_free(void *p) {
    if (!p) return;
    block_header *h = header_of(p);
    if (h->magic != TAMU_BLOCK_MAGIC) bad_block(h);
    uint32_t words = h->size / 4;
    auto *body = static_cast<uint8_t *>(p);
    const uint32_t poison = 0xDEADBEEF;
    for (uint32_t i = 0; i < words; i++) std::memcpy(body + i * 4, &poison, 4);
    h->magic = TAMU_FREED_MAGIC;
    h->size = TAMU_FREED_SIZE;
    tamu_release_block(h);
}

void tamu_memset(void *p, int value, int n) {
    if (p && n > 0) std::memset(p, value, static_cast<size_t>(n));
}

// ---------------------------------------------------------------------------
// Memory buffers

cbuffer *tamu_create_buffer(int capacity) {
    auto *b = static_cast<cbuffer *>(tamu_malloc(sizeof(cbuffer)));
    std::memset(b, 0, sizeof(cbuffer));
    if (capacity < 4) capacity = 4;
    b->data = static_cast<uint8_t *>(tamu_malloc(capacity));
    std::memset(b->data, 0, static_cast<size_t>(capacity));
    b->mode = 1;
    b->capacity = capacity;
    return b;
}

int tamu_allocate_buffer_size(cbuffer *buffer, int needed) {
    if (!buffer || buffer->capacity >= needed) return 0;
    int64_t grown = static_cast<int64_t>(needed) * 3 / 2;
    if (grown > 0x7FFFFFF0) grown = needed;
    int old_capacity = buffer->capacity;
    int new_capacity = static_cast<int>(grown);
    buffer->data = static_cast<uint8_t *>(tamu_realloc(buffer->data, new_capacity));
    std::memset(buffer->data + old_capacity, 0, static_cast<size_t>(new_capacity - old_capacity));
    buffer->capacity = new_capacity;
    return 0;
}

void tamu_destroy_buffer(cbuffer *buffer) { tamu_fclose(buffer); }

void *cbuffer_add_data(cbuffer *buffer, const void *data, int n) {
    int at = buffer->position;
    tamu_fwrite(data, 1, n, buffer);
    return buffer->data + at;
}

char *cbuffer_add_string(cbuffer *buffer, const char *text) {
    return static_cast<char *>(cbuffer_add_data(buffer, text, static_cast<int>(std::strlen(text)) + 1));
}

uint8_t *cbuffer_add_uint8(cbuffer *buffer, int value) {
    tamu_allocate_buffer_size(buffer, buffer->position + 1);
    uint8_t *at = buffer->data + buffer->position;
    *at = static_cast<uint8_t>(value);
    buffer->position++;
    if (buffer->size < buffer->position) buffer->size = buffer->position;
    return at;
}

int cbuffer_get_uint8(cbuffer *buffer) {
    if (buffer->position >= buffer->size || buffer->position < 0) return 0;
    return buffer->data[buffer->position++];
}

void cbuffer_add_uint16(cbuffer *buffer, int value) {
    cbuffer_add_uint8(buffer, value & 0xFF);
    cbuffer_add_uint8(buffer, (value >> 8) & 0xFF);
}

void cbuffer_add_uint32(cbuffer *buffer, uint32_t value) {
    for (int i = 0; i < 4; i++) cbuffer_add_uint8(buffer, static_cast<int>((value >> (8 * i)) & 0xFF));
}

int cbuffer_get_uint16(cbuffer *buffer) {
    int lo = cbuffer_get_uint8(buffer);
    int hi = cbuffer_get_uint8(buffer);
    return lo | (hi << 8);
}

uint32_t cbuffer_get_uint32(cbuffer *buffer) {
    uint32_t value = 0;
    for (int i = 0; i < 4; i++) value |= static_cast<uint32_t>(cbuffer_get_uint8(buffer)) << (8 * i);
    return value;
}
