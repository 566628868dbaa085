// Mutated PNG files almost always fail their chunk checksums, which would
// stop the decoder at once. The fuzz targets that read PNGs also feed each
// input with every chunk's CRC made right again, so that the mutation
// reaches the decoder and the code behind it.
#pragma once

#include <lodepng.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// The bytes with the CRC of every whole chunk after the signature
// recomputed; empty when nothing changed.
inline std::vector<uint8_t> png_with_fixed_crcs(const uint8_t *data, size_t size) {
    std::vector<uint8_t> fixed(data, data + size);
    size_t at = 8;
    while (at + 12 <= fixed.size()) {
        uint32_t length = lodepng_chunk_length(&fixed[at]);
        if (length > fixed.size() - at - 12) break;
        lodepng_chunk_generate_crc(&fixed[at]);
        at += size_t(length) + 12;
    }
    if (fixed == std::vector<uint8_t>(data, data + size)) fixed.clear();
    return fixed;
}
