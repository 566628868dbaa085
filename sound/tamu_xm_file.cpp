// XM module files: the loader, which takes any bytes without reading
// past them or allocating more than they can describe, and the writer.
#include "tamu_xm.h"

#include "tamu.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr char XM_ID[] = "Extended Module: ";
constexpr int XM_ID_LENGTH = 17;
constexpr char XM_TRACKER[] = "zorva               ";   // the writing program, 20 characters
constexpr int XM_HEADER_FIELDS = 20;          // the eight 16-bit words, the header size's own 4
constexpr uint32_t XM_HEADER_SIZE = 276;      // fields and order table
constexpr uint32_t XM_PATTERN_HEADER = 9;
constexpr uint32_t XM_INSTRUMENT_HEADER = 263;
constexpr uint32_t XM_EMPTY_INSTRUMENT_HEADER = 29;
constexpr uint32_t XM_SAMPLE_HEADER = 40;
constexpr int64_t XM_LARGEST_FILE = 64 << 20;

// ---------------------------------------------------------------------------
// Reading

struct Span {
    const uint8_t *bytes;
    size_t size;
    size_t at = 0;

    bool has(uint64_t n) const { return at <= size && n <= size - at; }
    uint8_t u8() { return bytes[at++]; }
    uint16_t u16() {
        uint16_t v = uint16_t(bytes[at] | bytes[at + 1] << 8);
        at += 2;
        return v;
    }
    uint32_t u32() {
        uint32_t v = uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
                     uint32_t(bytes[at + 3]) << 24;
        at += 4;
        return v;
    }
    void copy(void *into, size_t n) {
        std::memcpy(into, bytes + at, n);
        at += n;
    }
};

uint16_t u16_at(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t u32_at(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A fixed-size text field as a NUL-terminated string.
void text_field(char *into, const uint8_t *from, int n) {
    std::memcpy(into, from, size_t(n));
    into[n] = 0;
}

// The rest of the file, read whole; false when it is too large or cannot
// be read.
bool read_rest(cfile *file, std::vector<uint8_t> &out) {
    constexpr int piece = 1 << 16;
    for (;;) {
        size_t at = out.size();
        if (int64_t(at) > XM_LARGEST_FILE) return false;
        out.resize(at + piece);
        int got = tamu_fread(out.data() + at, 1, piece, file);
        if (got < 0) return false;
        out.resize(at + size_t(got));
        if (got < piece) return !tamu_ferror(file);
    }
}

struct Loader {
    Span in;
    xm_module *m;
    const char *failure = nullptr;

    bool fail(const char *reason) {
        failure = reason;
        return false;
    }

    bool header() {
        if (in.size < size_t(XM_ID_LENGTH) || std::memcmp(in.bytes, XM_ID, XM_ID_LENGTH) != 0)
            return fail("not an XM module");
        if (!in.has(60 + XM_HEADER_FIELDS)) return fail("header runs past the end");
        in.at = XM_ID_LENGTH;
        text_field(m->name, in.bytes + in.at, 20);
        in.at += 20 + 1 + 20;   // name, 0x1A, tracker name
        m->version = in.u16();
        if (m->version < 0x104) return fail("not an XM module of version 1.04");
        m->header_size = in.u32();
        if (m->header_size < XM_HEADER_FIELDS || !in.has(m->header_size - 4))
            return fail("header size out of range");
        const size_t end = 60 + size_t(m->header_size);
        m->song_length = in.u16();
        m->restart_position = in.u16();
        m->channels = in.u16();
        m->pattern_count = in.u16();
        m->instrument_count = in.u16();
        m->flags = in.u16();
        m->tempo = in.u16();
        m->bpm = in.u16();
        in.copy(m->orders, std::min<size_t>(m->header_size - XM_HEADER_FIELDS, XM_ORDERS));
        in.at = end;
        if (m->song_length > XM_ORDERS) return fail("song length over 256");
        if (m->channels < 1 || m->channels > XM_MAX_CHANNELS) return fail("channel count not 1 to 8");
        if (m->pattern_count > XM_MAX_PATTERNS) return fail("pattern count over 256");
        if (m->instrument_count > XM_MAX_INSTRUMENTS) return fail("instrument count over 128");
        return true;
    }

    // Cells in the XM packing: a first byte with bit 7 set says which of
    // the five fields follow, any other byte is the note of a whole cell.
    // Data that ends early leaves the remaining cells empty.
    void unpack(uint8_t *cells, int count, const uint8_t *data, size_t size) {
        size_t at = 0;
        for (int c = 0; c < count && at < size; c++) {
            uint8_t *cell = cells + size_t(c) * XM_CELL_BYTES;
            uint8_t first = data[at];
            if (first & 0x80) {
                at++;
                for (int f = 0; f < XM_CELL_BYTES && at < size; f++)
                    if (first >> f & 1) cell[f] = data[at++];
            } else {
                for (int f = 0; f < XM_CELL_BYTES && at < size; f++) cell[f] = data[at++];
            }
        }
    }

    bool patterns() {
        if (m->pattern_count == 0) return true;
        m->patterns = static_cast<xm_pattern *>(tamu_malloc(m->pattern_count * int(sizeof(xm_pattern))));
        std::memset(m->patterns, 0, m->pattern_count * sizeof(xm_pattern));
        for (int p = 0; p < m->pattern_count; p++) {
            if (!in.has(XM_PATTERN_HEADER)) return fail("pattern header runs past the end");
            uint32_t header = in.u32();
            in.u8();   // packing type
            int rows = in.u16();
            uint32_t packed = in.u16();
            if (header != XM_PATTERN_HEADER) {
                tamu_debug("** tamu_load_xm warning: pattern reader failure!\n");
                // A longer header is read past; a shorter one cannot be
                // undone, and the pattern is read as if it were 9 bytes.
                if (header > XM_PATTERN_HEADER) {
                    if (!in.has(header - XM_PATTERN_HEADER)) return fail("pattern header runs past the end");
                    in.at += header - XM_PATTERN_HEADER;
                }
            }
            if (rows < 1 || rows > XM_MAX_ROWS) return fail("pattern row count not 1 to 256");
            if (!in.has(packed)) return fail("pattern data runs past the end");
            xm_pattern &pattern = m->patterns[p];
            const int cells = rows * m->channels;
            pattern.rows = rows;
            pattern.cells = static_cast<uint8_t *>(tamu_malloc(cells * XM_CELL_BYTES));
            std::memset(pattern.cells, 0, size_t(cells) * XM_CELL_BYTES);
            unpack(pattern.cells, cells, in.bytes + in.at, packed);
            in.at += packed;
        }
        return true;
    }

    bool sample_data(xm_sample &s, uint32_t bytes) {
        if (!in.has(bytes)) return fail("sample data runs past the end");
        const bool wide = s.type & XM_16BIT;
        const uint32_t count = wide ? bytes / 2 : bytes;
        s.length = int32_t(count);
        if (count > 0) {
            s.data = static_cast<int16_t *>(tamu_malloc(int(count) * 2));
            uint16_t old = 0;
            for (uint32_t i = 0; i < count; i++) {
                if (wide) {
                    old = uint16_t(old + u16_at(in.bytes + in.at + 2 * size_t(i)));
                    s.data[i] = int16_t(old);
                } else {
                    old = uint8_t(old + in.bytes[in.at + i]);
                    s.data[i] = int16_t(int8_t(old) * 256);
                }
            }
        }
        in.at += bytes;
        return true;
    }

    bool instrument(xm_instrument &ins) {
        if (!in.has(4)) return fail("instrument header runs past the end");
        const size_t start = in.at;
        uint32_t size = u32_at(in.bytes + start);
        if (size < 4 || !in.has(size)) return fail("instrument header size out of range");
        uint8_t h[XM_INSTRUMENT_HEADER] = {};
        std::memcpy(h, in.bytes + start, std::min<size_t>(size, sizeof h));
        in.at = start + size;
        text_field(ins.name, h + 4, 22);
        ins.type = h[26];
        int count = u16_at(h + 27);
        if (count > XM_MAX_SAMPLES) return fail("more than 16 samples in an instrument");
        if (count == 0) return true;
        uint32_t sample_header = u32_at(h + 29);
        std::memcpy(ins.note_sample, h + 33, XM_NOTES);
        for (int k = 0; k < 2 * XM_ENVELOPE_POINTS; k++) {
            ins.volume_envelope[k] = u16_at(h + 129 + 2 * k);
            ins.panning_envelope[k] = u16_at(h + 177 + 2 * k);
        }
        const uint8_t *e = h + 225;
        ins.volume_points = std::min<uint8_t>(e[0], XM_ENVELOPE_POINTS);
        ins.panning_points = std::min<uint8_t>(e[1], XM_ENVELOPE_POINTS);
        ins.volume_sustain = e[2];
        ins.volume_loop_start = e[3];
        ins.volume_loop_end = e[4];
        ins.panning_sustain = e[5];
        ins.panning_loop_start = e[6];
        ins.panning_loop_end = e[7];
        ins.volume_type = e[8];
        ins.panning_type = e[9];
        ins.vibrato_type = e[10];
        ins.vibrato_sweep = e[11];
        ins.vibrato_depth = e[12];
        ins.vibrato_rate = e[13];
        ins.fadeout = u16_at(h + 239);

        ins.sample_count = count;
        ins.samples = static_cast<xm_sample *>(tamu_malloc(count * int(sizeof(xm_sample))));
        std::memset(ins.samples, 0, size_t(count) * sizeof(xm_sample));
        uint32_t bytes[XM_MAX_SAMPLES], loop_start[XM_MAX_SAMPLES], loop_length[XM_MAX_SAMPLES];
        for (int k = 0; k < count; k++) {
            if (!in.has(sample_header)) return fail("sample header runs past the end");
            uint8_t sh[XM_SAMPLE_HEADER] = {};
            std::memcpy(sh, in.bytes + in.at, std::min<size_t>(sample_header, sizeof sh));
            in.at += sample_header;
            xm_sample &s = ins.samples[k];
            bytes[k] = u32_at(sh);
            loop_start[k] = u32_at(sh + 4);
            loop_length[k] = u32_at(sh + 8);
            s.volume = sh[12];
            s.finetune = int8_t(sh[13]);
            s.type = sh[14];
            s.panning = sh[15];
            s.relative_note = int8_t(sh[16]);
            s.reserved = sh[17];
            text_field(s.name, sh + 18, 22);
        }
        for (int k = 0; k < count; k++) {
            xm_sample &s = ins.samples[k];
            if (!sample_data(s, bytes[k])) return false;
            // Loop points in samples, within the sample.
            const uint32_t unit = s.type & XM_16BIT ? 2 : 1;
            s.loop_start = int32_t(std::min<uint32_t>(loop_start[k] / unit, uint32_t(s.length)));
            s.loop_length = int32_t(std::min<uint32_t>(loop_length[k] / unit, uint32_t(s.length - s.loop_start)));
        }
        return true;
    }

    bool instruments() {
        if (m->instrument_count == 0) return true;
        m->instruments = static_cast<xm_instrument *>(tamu_malloc(m->instrument_count * int(sizeof(xm_instrument))));
        std::memset(m->instruments, 0, m->instrument_count * sizeof(xm_instrument));
        for (int i = 0; i < m->instrument_count; i++)
            if (!instrument(m->instruments[i])) return false;
        return true;
    }
};

// ---------------------------------------------------------------------------
// Writing

struct Writer {
    cfile *file;
    bool ok = true;

    void bytes(const void *data, int n) {
        if (n > 0 && ok) ok = tamu_fwrite(data, 1, n, file) == n;
    }
    void u8(int v) { ok = ok && tamu_fwrite_uint8(file, v) == 1; }
    void u16(int v) { ok = ok && tamu_fwrite_uint16(file, v) == 2; }
    void u32(uint32_t v) { ok = ok && tamu_fwrite_uint32(file, v) == 4; }
    // A text in a field of n bytes, padded with zeros.
    void text(const char *t, int n) {
        char field[32] = {};
        for (int i = 0; i < n && t[i]; i++) field[i] = t[i];
        bytes(field, n);
    }
};

// A pattern's cells in the XM packing: a cell with every field is stored
// whole, any other as a mask byte and the fields it names.
std::vector<uint8_t> pack(const xm_pattern &p, int channels) {
    std::vector<uint8_t> out;
    const int cells = p.rows * channels;
    for (int c = 0; c < cells; c++) {
        const uint8_t *cell = p.cells + size_t(c) * XM_CELL_BYTES;
        uint8_t mask = 0;
        for (int f = 0; f < XM_CELL_BYTES; f++)
            if (cell[f]) mask |= uint8_t(1 << f);
        if (mask == 0x1F && !(cell[0] & 0x80)) {
            out.insert(out.end(), cell, cell + XM_CELL_BYTES);
            continue;
        }
        out.push_back(uint8_t(0x80 | mask));
        for (int f = 0; f < XM_CELL_BYTES; f++)
            if (mask >> f & 1) out.push_back(cell[f]);
    }
    return out;
}

bool writable(const xm_module *m) {
    if (m->channels < 1 || m->channels > XM_MAX_CHANNELS || m->song_length > XM_ORDERS ||
        m->pattern_count > XM_MAX_PATTERNS || m->instrument_count > XM_MAX_INSTRUMENTS)
        return false;
    if ((m->pattern_count && !m->patterns) || (m->instrument_count && !m->instruments)) return false;
    for (int p = 0; p < m->pattern_count; p++)
        if (m->patterns[p].rows < 1 || m->patterns[p].rows > XM_MAX_ROWS || !m->patterns[p].cells) return false;
    for (int i = 0; i < m->instrument_count; i++) {
        const xm_instrument &ins = m->instruments[i];
        if (ins.sample_count < 0 || ins.sample_count > XM_MAX_SAMPLES || (ins.sample_count && !ins.samples))
            return false;
        for (int k = 0; k < ins.sample_count; k++)
            if (ins.samples[k].length < 0 || (ins.samples[k].length && !ins.samples[k].data)) return false;
    }
    return true;
}

void write_instrument(Writer &w, const xm_instrument &ins) {
    if (ins.sample_count == 0) {
        w.u32(XM_EMPTY_INSTRUMENT_HEADER);
        w.text(ins.name, 22);
        w.u8(ins.type);
        w.u16(0);
        return;
    }
    w.u32(XM_INSTRUMENT_HEADER);
    w.text(ins.name, 22);
    w.u8(ins.type);
    w.u16(ins.sample_count);
    w.u32(XM_SAMPLE_HEADER);
    w.bytes(ins.note_sample, XM_NOTES);
    for (uint16_t v : ins.volume_envelope) w.u16(v);
    for (uint16_t v : ins.panning_envelope) w.u16(v);
    const uint8_t e[14] = {ins.volume_points,      ins.panning_points,  ins.volume_sustain,
                           ins.volume_loop_start,  ins.volume_loop_end, ins.panning_sustain,
                           ins.panning_loop_start, ins.panning_loop_end, ins.volume_type,
                           ins.panning_type,       ins.vibrato_type,    ins.vibrato_sweep,
                           ins.vibrato_depth,      ins.vibrato_rate};
    w.bytes(e, sizeof e);
    w.u16(ins.fadeout);
    const uint8_t reserved[22] = {};
    w.bytes(reserved, sizeof reserved);
    // Lengths and loop points in bytes of 16-bit data.
    for (int k = 0; k < ins.sample_count; k++) {
        const xm_sample &s = ins.samples[k];
        w.u32(uint32_t(s.length) * 2);
        w.u32(uint32_t(std::clamp(s.loop_start, 0, s.length)) * 2);
        w.u32(uint32_t(std::clamp(s.loop_length, 0, s.length)) * 2);
        w.u8(s.volume);
        w.u8(uint8_t(s.finetune));
        w.u8(s.type | XM_16BIT);
        w.u8(s.panning);
        w.u8(uint8_t(s.relative_note));
        w.u8(s.reserved);
        w.text(s.name, 22);
    }
    for (int k = 0; k < ins.sample_count && w.ok; k++) {
        const xm_sample &s = ins.samples[k];
        std::vector<uint8_t> delta(size_t(s.length) * 2);
        uint16_t old = 0;
        for (int i = 0; i < s.length; i++) {
            uint16_t d = uint16_t(uint16_t(s.data[i]) - old);
            old = uint16_t(s.data[i]);
            delta[2 * size_t(i)] = uint8_t(d);
            delta[2 * size_t(i) + 1] = uint8_t(d >> 8);
        }
        w.bytes(delta.data(), int(delta.size()));
    }
}

}  // namespace

xm_module *tamu_create_xm() {
    auto *m = static_cast<xm_module *>(tamu_malloc(sizeof(xm_module)));
    std::memset(m, 0, sizeof *m);
    m->version = 0x104;
    m->header_size = XM_HEADER_SIZE;
    m->channels = 1;
    m->tempo = 6;
    m->bpm = 125;
    tamu_items_created++;
    return m;
}

void tamu_destroy_xm(xm_module *m) {
    if (!m) return;
    if (m->patterns)
        for (int p = 0; p < m->pattern_count; p++) tamu_free(m->patterns[p].cells);
    if (m->instruments)
        for (int i = 0; i < m->instrument_count; i++) {
            xm_instrument &ins = m->instruments[i];
            if (ins.samples)
                for (int k = 0; k < ins.sample_count; k++) tamu_free(ins.samples[k].data);
            tamu_free(ins.samples);
        }
    tamu_free(m->patterns);
    tamu_free(m->instruments);
    tamu_free(m);
    tamu_items_created--;
}

xm_module *tamu_load_xm_from_file(cfile *file) {
    if (!file) return nullptr;
    std::vector<uint8_t> bytes;
    if (!read_rest(file, bytes)) {
        tamu_debug("tamu_load_xm: file cannot be read or is over 64 MB\n");
        return nullptr;
    }
    Loader loader{Span{bytes.data(), bytes.size()}, tamu_create_xm()};
    // The counts stay 0 until their arrays exist, so that a module that
    // fails part-way is freed exactly as far as it was made.
    xm_module *m = loader.m;
    bool ok = loader.header();
    const uint16_t patterns = m->pattern_count, instruments = m->instrument_count;
    m->pattern_count = m->instrument_count = 0;
    if (ok) {
        m->pattern_count = patterns;
        ok = loader.patterns();
    }
    if (ok) {
        m->instrument_count = instruments;
        ok = loader.instruments();
    }
    if (!ok) {
        tamu_debugf("tamu_load_xm: %s\n", loader.failure);
        tamu_destroy_xm(m);
        return nullptr;
    }
    return m;
}

xm_module *tamu_load_xm(const char *path) {
    cfile *file = path ? tamu_fopen(path, "rb") : nullptr;
    if (!file) {
        tamu_debug("could not open\n");
        return nullptr;
    }
    xm_module *m = tamu_load_xm_from_file(file);
    tamu_fclose(file);
    return m;
}

int tamu_save_xm_to_file(xm_module *m, cfile *file) {
    if (!m || !file || !writable(m)) return 1;
    Writer w{file};
    w.bytes(XM_ID, XM_ID_LENGTH);
    w.text(m->name, 20);
    w.u8(0x1A);
    w.bytes(XM_TRACKER, 20);
    w.u16(m->version);
    w.u32(XM_HEADER_SIZE);
    const int words[8] = {m->song_length, m->restart_position, m->channels, m->pattern_count,
                          m->instrument_count, m->flags, m->tempo, m->bpm};
    for (int v : words) w.u16(v);
    w.bytes(m->orders, XM_ORDERS);
    for (int p = 0; p < m->pattern_count && w.ok; p++) {
        std::vector<uint8_t> packed = pack(m->patterns[p], m->channels);
        w.u32(XM_PATTERN_HEADER);
        w.u8(0);
        w.u16(m->patterns[p].rows);
        w.u16(int(packed.size()));
        w.bytes(packed.data(), int(packed.size()));
    }
    for (int i = 0; i < m->instrument_count && w.ok; i++) write_instrument(w, m->instruments[i]);
    return w.ok && !tamu_ferror(file) ? 0 : 1;
}

int tamu_save_xm(xm_module *m, const char *path) {
    cfile *file = path ? tamu_fopen_save(path) : nullptr;
    if (!file) return 1;
    if (tamu_save_xm_to_file(m, file) != 0) {
        tamu_abort_save(file);
        return 1;
    }
    return tamu_fclose_save(file) == 0 ? 0 : 1;
}
