// Memory blocks with headers and poisoning; memory buffers.
#include "tamu.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <unistd.h>

namespace {

#ifdef _WIN32
// Windows hands the predicate the exit code itself.
bool exited_with_failure(int status) { return status != 0; }
#else
bool exited_with_failure(int status) { return !(WIFEXITED(status) && WEXITSTATUS(status) == 0); }
#endif

uint32_t word_at(const void *p, int index) {
    uint32_t w;
    std::memcpy(&w, static_cast<const uint8_t *>(p) + index * 4, 4);
    return w;
}

TEST(Memory, BlocksCarryMagicAndSize) {
    EXPECT_EQ(tamu_malloc(0), nullptr);
    EXPECT_EQ(tamu_realloc(nullptr, 0), nullptr);
    void *p = tamu_malloc(10);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(word_at(p, -2), 0xA11CB10Cu);
    EXPECT_EQ(word_at(p, -1), 10u);
    p = tamu_realloc(p, 100);
    EXPECT_EQ(word_at(p, -2), 0xA11CB10Cu);
    EXPECT_EQ(word_at(p, -1), 100u);
    p = tamu_realloc(p, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(word_at(p, -1), 0u);
    tamu_free(p);
    tamu_free(nullptr);
}

TEST(Memory, ReallocKeepsContents) {
    auto *p = static_cast<char *>(tamu_malloc(6));
    std::memcpy(p, "hello", 6);
    p = static_cast<char *>(tamu_realloc(p, 4000));
    EXPECT_STREQ(p, "hello");
    tamu_free(p);
}

void *kept_block = nullptr;
void keep_block(void *block) { kept_block = block; }

TEST(Memory, FreePoisonsWholeWordsAndMarksTheHeader) {
    // Hold the released block back from the system so its bytes can be read.
    tamu_release_block = keep_block;
    auto *p = static_cast<uint8_t *>(tamu_malloc(10));
    std::memset(p, 0x11, 10);
    tamu_free(p);
    tamu_release_block = std::free;
    ASSERT_EQ(kept_block, p - 8);
    EXPECT_EQ(word_at(p, -2), 0x00ABBA00u);
    EXPECT_EQ(word_at(p, -1), 0x00CDDC00u);
    EXPECT_EQ(word_at(p, 0), 0xDEADBEEFu);
    EXPECT_EQ(word_at(p, 1), 0xDEADBEEFu);
    EXPECT_EQ(p[8], 0x11);
    EXPECT_EQ(p[9], 0x11);
    std::free(kept_block);
}

TEST(MemoryDeath, BadFreeStopsTheProgram) {
    alignas(8) uint32_t fake[4] = {0x12345678, 0x9, 0, 0};
    EXPECT_EXIT(
        {
            dup2(2, 1);
            tamu_free(&fake[2]);
        },
        exited_with_failure, "tamu_free fail 12345678 9");
}

TEST(MemoryDeath, DoubleFreeStopsTheProgram) {
#ifdef _WIN32   // no sanitizer build there, and gtest's Windows regex has no '|'
    const char *double_free_message = "tamu_free fail";
#else
    const char *double_free_message = "tamu_free fail|heap-use-after-free";
#endif
    EXPECT_EXIT(
        {
            dup2(2, 1);
            void *p = tamu_malloc(16);
            tamu_free(p);
            tamu_free(p);
        },
        // The sanitizer build catches the read of the released header first.
        exited_with_failure, double_free_message);
}

TEST(MemoryDeath, ReallocOfAForeignBlockStops) {
    alignas(8) uint32_t fake[4] = {0xCAFEF00D, 0x4, 0, 0};
    EXPECT_EXIT(
        {
            dup2(2, 1);
            tamu_realloc(&fake[2], 32);
        },
        exited_with_failure, "tamu_free fail cafef00d 4");
}

TEST(MemoryDeath, NegativeAndWrappingSizesAreFatal) {
    EXPECT_EXIT(
        {
            dup2(2, 1);
            tamu_malloc(-5);
        },
        ::testing::ExitedWithCode(1), "FATAL ERROR: out of memory");
    EXPECT_EXIT(
        {
            dup2(2, 1);
            tamu_malloc(0x7FFFFFFC);
        },
        ::testing::ExitedWithCode(1), "FATAL ERROR: out of memory");
    EXPECT_EXIT(
        {
            dup2(2, 1);
            void *p = tamu_malloc(4);
            tamu_realloc(p, -1);
        },
        ::testing::ExitedWithCode(1), "FATAL ERROR: out of memory");
}

TEST(Buffer, GrowsByHalfAgainOfWhatIsNeeded) {
    cbuffer *b = tamu_create_buffer(0);
    EXPECT_EQ(b->capacity, 4);
    EXPECT_EQ(b->mode, 1u);
    for (int i = 0; i < 5; i++) cbuffer_add_uint8(b, 'a' + i);
    EXPECT_EQ(b->capacity, 7);
    EXPECT_EQ(b->size, 5);
    EXPECT_EQ(std::memcmp(b->data, "abcde", 5), 0);
    EXPECT_EQ(b->data[5], 0);  // grown bytes are cleared
    EXPECT_EQ(b->data[6], 0);
    tamu_destroy_buffer(b);
}

TEST(Buffer, AddStringAndDataReturnTheStoredCopy) {
    cbuffer *b = tamu_create_buffer(2);
    char *s = cbuffer_add_string(b, "abc");
    EXPECT_EQ(b->size, 4);
    EXPECT_STREQ(s, "abc");
    auto *d = static_cast<uint8_t *>(cbuffer_add_data(b, "xyz", 3));
    EXPECT_EQ(d, b->data + 4);
    EXPECT_EQ(b->size, 7);
    tamu_destroy_buffer(b);
}

TEST(Buffer, GapsReadAsZerosAndReadsStopAtTheEnd) {
    cbuffer *b = tamu_create_buffer(8);
    b->position = 6;
    cbuffer_add_uint8(b, 9);
    EXPECT_EQ(b->size, 7);
    b->position = 0;
    for (int i = 0; i < 6; i++) EXPECT_EQ(cbuffer_get_uint8(b), 0);
    EXPECT_EQ(cbuffer_get_uint8(b), 9);
    EXPECT_EQ(cbuffer_get_uint8(b), 0);
    EXPECT_EQ(b->position, 7);
    tamu_destroy_buffer(b);
}

TEST(Buffer, LittleEndianValues) {
    cbuffer *b = tamu_create_buffer(0);
    cbuffer_add_uint16(b, 0xBEEF);
    cbuffer_add_uint32(b, 0x12345678);
    cbuffer_add_uint8(b, 0x7F);
    const uint8_t expected[] = {0xEF, 0xBE, 0x78, 0x56, 0x34, 0x12, 0x7F};
    ASSERT_EQ(b->size, 7);
    EXPECT_EQ(std::memcmp(b->data, expected, 7), 0);
    b->position = 0;
    EXPECT_EQ(cbuffer_get_uint16(b), 0xBEEF);
    EXPECT_EQ(cbuffer_get_uint32(b), 0x12345678u);
    EXPECT_EQ(cbuffer_get_uint16(b), 0x7F);  // missing high byte reads 0
    tamu_destroy_buffer(b);
}

}  // namespace
