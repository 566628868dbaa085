// SHA-1 as FIPS 180-1 describes it: 512-bit blocks, eighty rounds over a
// sixteen-word schedule expanded in place, big-endian words throughout.
#include "tamu_sha1.h"

#include <cstdio>

namespace {

uint32_t rotate_left(uint32_t value, int bits) { return value << bits | value >> (32 - bits); }

}  // namespace

void SHA1Reset(SHA1Context *context) {
    if (!context) return;
    context->Message_Digest[0] = 0x67452301;
    context->Message_Digest[1] = 0xEFCDAB89;
    context->Message_Digest[2] = 0x98BADCFE;
    context->Message_Digest[3] = 0x10325476;
    context->Message_Digest[4] = 0xC3D2E1F0;
    context->Length_Low = 0;
    context->Length_High = 0;
    for (uint8_t &b : context->Message_Block) b = 0;
    context->Message_Block_Index = 0;
    context->Computed = 0;
    context->Corrupted = 0;
}

void SHA1ProcessMessageBlock(SHA1Context *context) {
    static const uint32_t K[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};
    uint32_t W[16];
    for (int t = 0; t < 16; t++) {
        const uint8_t *p = context->Message_Block + 4 * t;
        W[t] = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    }
    uint32_t A = context->Message_Digest[0], B = context->Message_Digest[1], C = context->Message_Digest[2],
             D = context->Message_Digest[3], E = context->Message_Digest[4];
    for (int t = 0; t < 80; t++) {
        int s = t & 15;
        if (t >= 16) W[s] = rotate_left(W[(s + 13) & 15] ^ W[(s + 8) & 15] ^ W[(s + 2) & 15] ^ W[s], 1);
        uint32_t f;
        if (t < 20)
            f = (B & C) | (~B & D);
        else if (t < 40 || t >= 60)
            f = B ^ C ^ D;
        else
            f = (B & C) | (B & D) | (C & D);
        uint32_t temp = rotate_left(A, 5) + f + E + W[s] + K[t / 20];
        E = D;
        D = C;
        C = rotate_left(B, 30);
        B = A;
        A = temp;
    }
    context->Message_Digest[0] += A;
    context->Message_Digest[1] += B;
    context->Message_Digest[2] += C;
    context->Message_Digest[3] += D;
    context->Message_Digest[4] += E;
    context->Message_Block_Index = 0;
}

void SHA1Input(SHA1Context *context, const uint8_t *message, unsigned length) {
    if (!context || length == 0) return;
    if (!message || context->Computed) {
        context->Corrupted = 1;
        return;
    }
    for (unsigned i = 0; i < length && !context->Corrupted; i++) {
        context->Message_Block[context->Message_Block_Index++] = message[i];
        context->Length_Low += 8;
        if (context->Length_Low == 0 && ++context->Length_High == 0) context->Corrupted = 1;
        if (context->Message_Block_Index == 64) SHA1ProcessMessageBlock(context);
    }
}

void SHA1PadMessage(SHA1Context *context) {
    // A 1 bit, zeros, and the 64-bit length in the last eight bytes; a
    // block too full for the length gets a second block.
    context->Message_Block[context->Message_Block_Index++] = 0x80;
    if (context->Message_Block_Index > 56) {
        while (context->Message_Block_Index < 64) context->Message_Block[context->Message_Block_Index++] = 0;
        SHA1ProcessMessageBlock(context);
    }
    while (context->Message_Block_Index < 56) context->Message_Block[context->Message_Block_Index++] = 0;
    for (int i = 0; i < 4; i++) {
        context->Message_Block[56 + i] = uint8_t(context->Length_High >> (24 - 8 * i));
        context->Message_Block[60 + i] = uint8_t(context->Length_Low >> (24 - 8 * i));
    }
    SHA1ProcessMessageBlock(context);
}

int SHA1Result(SHA1Context *context) {
    if (!context || context->Corrupted) return 0;
    if (!context->Computed) {
        SHA1PadMessage(context);
        context->Computed = 1;
    }
    return 1;
}

void tamu_sha1(const void *data, int length, char *out) {
    if (!out) return;
    SHA1Context context;
    SHA1Reset(&context);
    if (length > 0) SHA1Input(&context, static_cast<const uint8_t *>(data), unsigned(length));
    if (!SHA1Result(&context)) {
        out[0] = 0;
        return;
    }
    std::snprintf(out, 41, "%08x%08x%08x%08x%08x", context.Message_Digest[0], context.Message_Digest[1],
                  context.Message_Digest[2], context.Message_Digest[3], context.Message_Digest[4]);
}
