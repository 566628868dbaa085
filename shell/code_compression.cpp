// Compressed cart code: compressor, match finder and decompressor.
#include "code_compression.h"

#include <cstring>

// Place 0 holds a placeholder: literal 0 means "the next byte".
static const char literal_table[] = "^\n 0123456789abcdefghijklmnopqrstuvwxyz!#%(){}[]<>+=/*:;.,~_";
constexpr int LITERALS = 59;
static_assert(sizeof literal_table == LITERALS + 2);

static const char header_magic[4] = {':', 'c', ':', 0};

// ---------------------------------------------------------------------------
// Compressor state, reused from call to call

constexpr int HASH_SIZE = 8192;
static int found[HASH_SIZE];         // latest registered position of each hash, or -1
static uint8_t literal_index[256];   // table number of a character, or 0
// The text being compressed, with spare zero bytes after it.
static char work[COMPRESSED_CODE_MAX_LENGTH + 1024];
// The compressed form, before it is known to be the shorter one.
static uint8_t packed[compress_mini_bound(COMPRESSED_CODE_MAX_LENGTH)];
int compress_block_count, compress_literal_count;

static int hash3(const char *text, int pos) {
    unsigned c0 = uint8_t(text[pos]), c1 = uint8_t(text[pos + 1]), c2 = uint8_t(text[pos + 2]);
    return int((c0 * 7 + c1 * 1503 + c2 * 51717) & 0x1FFF);
}

int find_repeatable_block(const char *text, int pos, int length, int *distance) {
    *distance = 0;
    int maxlen = length - pos < COMPRESS_MAX_MATCH ? length - pos : COMPRESS_MAX_MATCH;
    int window = pos < COMPRESS_WINDOW ? pos : COMPRESS_WINDOW;
    if (maxlen < COMPRESS_MIN_MATCH || window < COMPRESS_MIN_MATCH) return 0;
    int start = pos - window;
    int last = found[hash3(text, pos)];
    if (start > last) return 0;
    int best = 0;
    for (int j = start; j <= last; j++) {
        if (text[j] != text[pos] || j >= pos) continue;
        int k = 1;
        while (k < maxlen && j + k < pos && text[j + k] == text[pos + k]) k++;
        if (k > best) {
            best = k;
            *distance = pos - j;
        }
    }
    return best;
}

int compress_mini(const char *text, uint8_t *output, int length) {
    if (!text || length <= 0) return 0;
    if (length > COMPRESSED_CODE_MAX_LENGTH) {
        std::memcpy(output, text, size_t(length));
        return length;
    }
    for (int &f : found) f = -1;
    std::memset(literal_index, 0, sizeof literal_index);
    for (int i = 1; i <= LITERALS; i++) literal_index[uint8_t(literal_table[i])] = uint8_t(i);
    std::memset(work, 0, sizeof work);
    std::memcpy(work, text, size_t(length));

    uint8_t *out = packed;
    std::memcpy(out, header_magic, 4);
    out[4] = uint8_t(length >> 8);
    out[5] = uint8_t(length);
    out[6] = out[7] = 0;
    out += COMPRESSED_CODE_HEADER_SIZE;

    int i = 0;
    while (i < length) {
        int distance;
        int m = find_repeatable_block(work, i, length, &distance);
        int step;
        if (m < COMPRESS_MIN_MATCH) {
            uint8_t c = uint8_t(work[i]);
            if (literal_index[c]) {
                *out++ = literal_index[c];
            } else {
                *out++ = 0;
                *out++ = c;
            }
            compress_literal_count++;
            step = 1;
        } else {
            *out++ = uint8_t(distance / 16 + 60);
            *out++ = uint8_t(distance % 16 + (m - 2) * 16);
            compress_block_count++;
            step = m;
        }
        int previous = i;
        i += step;
        for (int p = previous < 2 ? 0 : previous - 2; p <= i - 3; p++) found[hash3(work, p)] = p;
    }

    int written = int(out - packed);
    if (written >= length && text[0] != ':') {
        std::memcpy(output, text, size_t(length));
        return length;
    }
    std::memcpy(output, packed, size_t(written));
    return written;
}

// ---------------------------------------------------------------------------
// Decompressor

// The main-loop shims that old editors appended to a cart's code.
static const char shim_60[] = "if(_update60)_update=function()_update60()_update60()end";
static const char shim_buttons[] =
    "if(_update60)_update=function()_update60()_update_buttons()_update60()end";
static_assert(sizeof shim_60 - 1 == 56 && sizeof shim_buttons - 1 == 73);

static int cut_suffix(const char *text, int length, const char *suffix, int suffix_length) {
    if (length >= suffix_length && std::memcmp(text + length - suffix_length, suffix, size_t(suffix_length)) == 0)
        return length - suffix_length;
    return length;
}

static int fail(char *output, int capacity) {
    if (capacity > 0) std::memset(output, 0, size_t(capacity));
    return DECOMPRESS_MINI_ERROR;
}

int decompress_mini(const uint8_t *input, int input_length, char *output, int capacity) {
    if (!output || capacity < 0) return DECOMPRESS_MINI_ERROR;
    std::memset(output, 0, size_t(capacity));
    if (!input || input_length < COMPRESSED_CODE_HEADER_SIZE || std::memcmp(input, header_magic, 4) != 0)
        return DECOMPRESS_MINI_ERROR;
    int n = input[4] * 256 + input[5];
    if (n > capacity) return DECOMPRESS_MINI_ERROR;

    int at = COMPRESSED_CODE_HEADER_SIZE;
    int pos = 0;
    while (pos < n) {
        if (at >= input_length) return fail(output, capacity);
        int b = input[at++];
        if (b >= 1 && b <= LITERALS) {
            output[pos++] = literal_table[b];
            continue;
        }
        if (at >= input_length) return fail(output, capacity);
        int next = input[at++];
        if (b == 0) {
            output[pos++] = char(next);
            continue;
        }
        int distance = (b - 60) * 16 + (next & 15);
        int count = (next >> 4) + 2;
        if (distance < 1 || distance > pos) return fail(output, capacity);
        // The compressor never runs past the stated length; a reference that
        // would is cut there.
        if (count > n - pos) count = n - pos;
        for (int k = 0; k < count; k++, pos++) output[pos] = output[pos - distance];
    }

    int length = cut_suffix(output, n, shim_60, sizeof shim_60 - 1);
    length = cut_suffix(output, length, shim_buttons, sizeof shim_buttons - 1);
    if (length < n) std::memset(output + length, 0, size_t(n - length));
    return length;
}
