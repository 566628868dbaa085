// Helpers of the tests that read and write pods: the log captured in a
// file, and pod file bytes put together by hand.
#pragma once

#include "tamu.h"
#include "test_util.h"

#include <cstdint>
#include <cstdio>
#include <string>

// Sends the log to a file of the test's home for the object's lifetime.
struct LogCapture {
    std::string path = test_home() + "/captured_log.txt";
    LogCapture() { tamu_state.log = std::fopen(path.c_str(), "wb"); }
    ~LogCapture() {
        std::fclose(tamu_state.log);
        tamu_state.log = nullptr;
    }
    std::string text() {
        std::fflush(tamu_state.log);
        return read_file(path);
    }
};

// Pod file bytes put together by hand.
struct Bytes {
    std::string s;
    Bytes &u32(uint32_t v) {
        for (int i = 0; i < 4; i++) s += char((v >> (8 * i)) & 0xFF);
        return *this;
    }
    Bytes &raw(const std::string &t) {
        s += t;
        return *this;
    }
    Bytes &fill(int n, char c = 0) {
        s.append(size_t(n), c);
        return *this;
    }
    Bytes &chunk(const char *id, uint32_t size) { return raw(std::string(id, 4)).u32(size); }
    Bytes &header(const std::string &name = "pod") {
        chunk("CPOD", 68).u32(1).raw(name).fill(32 - int(name.size())).u32(0);
        return fill(28);
    }
    Bytes &palette() { return chunk("CPAL", 768).fill(768, 'p'); }
    // An 8-bit w x h bitmap whose pixel i is first + i.
    Bytes &bitmap8(int w, int h, int first = 1) {
        chunk("CBMP", uint32_t(w * h + 20)).u32(w).u32(h).u32(8).u32(0).u32(0);
        for (int i = 0; i < w * h; i++) s += char(first + i);
        return *this;
    }
    // A synthesiser node record: kind, sub-kind, flag, eight slots, the
    // table and its length.
    Bytes &node(int kind, int sub_kind, int table_length = 0) {
        u32(uint32_t(kind)).u32(uint32_t(sub_kind)).u32(0);
        for (int k = 0; k < 8; k++) u32(uint32_t(k)).u32(0).u32(32).u32(0);
        return fill(64, 3).u32(uint32_t(table_length));
    }
};

// The little-endian word at a byte offset.
inline uint32_t u32_at(const std::string &s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; i--) v = v << 8 | uint8_t(s[at + size_t(i)]);
    return v;
}
