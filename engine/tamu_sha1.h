// SHA-1 digests (FIPS 180-1), used to identify carts by their bytes.
#pragma once

#include <cstdint>

// A digest in progress: the five hash words, the message length in bits
// as two 32-bit words, the 64-byte block being filled and its fill index,
// and the flags for a finished digest and a context used wrongly (input
// after the result, or a message of 2^64 bits or more).
struct SHA1Context {
    uint32_t Message_Digest[5];
    uint32_t Length_Low;
    uint32_t Length_High;
    uint8_t Message_Block[64];
    int Message_Block_Index;
    int Computed;
    int Corrupted;
};

// Starts a new digest.
void SHA1Reset(SHA1Context *context);
// Adds length bytes of the message. Input after SHA1Result, or past the
// length limit, marks the context corrupted.
void SHA1Input(SHA1Context *context, const uint8_t *message, unsigned length);
// Finishes the digest (once; later calls keep it) into Message_Digest.
// 1 on success, 0 when the context is null or corrupted.
int SHA1Result(SHA1Context *context);
// The padding of the last block(s) with the bit length, and the
// compression of one full block; used by the functions above.
void SHA1PadMessage(SHA1Context *context);
void SHA1ProcessMessageBlock(SHA1Context *context);

// The digest of length bytes as 40 lower-case hexadecimal digits and a NUL
// in out (41 bytes). A negative length digests nothing; null data with
// a positive length gives an empty out.
void tamu_sha1(const void *data, int length, char *out);
