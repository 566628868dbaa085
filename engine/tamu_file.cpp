// File handles over disk files, memory blocks and virtual-disk entries,
// and saving files whole.
#include "tamu.h"
#include "tamu_file_platform.h"

#include <lz4.h>
#include <lz4hc.h>

#include <bit>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

// The byte-order hooks and the array helpers below store values as the
// host holds them; the formats are little-endian.
static_assert(std::endian::native == std::endian::little, "big-endian targets need byte swapping");

cfile *vdisk_file[TAMU_VDISK_MAX_FILES];
int vdisk_files = 0;

struct tamu_save_state {
    char temp_path[1024];
    char target[1024];
};

static cfile *new_handle() {
    auto *f = static_cast<cfile *>(tamu_malloc(sizeof(cfile)));
    std::memset(f, 0, sizeof(cfile));
    return f;
}

// ---------------------------------------------------------------------------
// Opening and closing

int tamu_path_kind(const char *path) {
    if (!path || !path[0]) return TAMU_PATH_NONE;
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) return TAMU_PATH_NONE;
    if (std::filesystem::is_regular_file(status)) return TAMU_PATH_FILE;
    if (std::filesystem::is_directory(status)) return TAMU_PATH_FOLDER;
    return TAMU_PATH_OTHER;
}

cfile *tamu_fopen(const char *path, const char *mode) {
    if (!path || !mode) return nullptr;
    bool reading = mode[0] == 'r';
    int kind = reading ? tamu_path_kind(path) : TAMU_PATH_NONE;
    if (kind == TAMU_PATH_FOLDER || kind == TAMU_PATH_OTHER) return tamu_fopen_vdisk(path, mode);
    FILE *stream = path[0] ? std::fopen(path, mode) : nullptr;
    if (!stream) {
        if (mode[0] == 'r') return tamu_fopen_vdisk(path, mode);
        return nullptr;
    }
    cfile *f = new_handle();
    f->mode = 0;
    f->stream = stream;
    return f;
}

cfile *tamu_fopen_memory(const void *bytes, int length) {
    cfile *f = new_handle();
    f->mode = 1;
    f->data = static_cast<uint8_t *>(const_cast<void *>(bytes));
    f->size = length > 0 && bytes ? length : 0;
    return f;
}

// The key of a path: its base name and extension, directory dropped.
static const char *vdisk_key(const char *path) {
    const char *key = path;
    for (const char *p = path; *p; p++)
        if (*p == '/' || *p == '\\') key = p + 1;
    return key;
}

cfile *tamu_fopen_vdisk(const char *path, const char *mode) {
    if (!path || !mode) return nullptr;
    const char *key = vdisk_key(path);
    size_t key_length = std::strlen(key);
    if (key_length == 0 || key_length > 63) return nullptr;
    cfile *found = nullptr;
    for (int i = 0; i < vdisk_files; i++)
        if (std::strcmp(vdisk_file[i]->name, key) == 0) {
            found = vdisk_file[i];
            break;
        }
    if (mode[0] == 'r') {
        if (found) found->position = 0;
        return found;
    }
    if (mode[0] != 'w') return nullptr;
    if (found) {
        found->size = 0;
        found->position = 0;
        return found;
    }
    if (vdisk_files >= TAMU_VDISK_MAX_FILES) return nullptr;
    cbuffer *entry = tamu_create_buffer(0);
    entry->vdisk = 1;
    std::memcpy(entry->name, key, key_length + 1);
    vdisk_file[vdisk_files++] = entry;
    return entry;
}

int vdisk_file_owned(const cfile *handle) { return handle && handle->vdisk ? 1 : 0; }

int tamu_fclose(cfile *handle) {
    if (!handle || handle->vdisk) return 0;
    if (handle->save) return tamu_fclose_save(handle);
    if (handle->mode == 0 && handle->stream) std::fclose(handle->stream);
    if (handle->mode == 1 && handle->capacity) tamu_free(handle->data);
    tamu_free(handle);
    return 0;
}

// ---------------------------------------------------------------------------
// Saving whole

cfile *tamu_fopen_save(const char *path) {
    if (!path || !path[0] || std::strlen(path) > 1023) return nullptr;
    auto *state = static_cast<tamu_save_state *>(tamu_malloc(sizeof(tamu_save_state)));
    std::memset(state, 0, sizeof *state);
    FILE *stream = tamu_platform_open_temp(path, state->temp_path);
    if (!stream) {
        tamu_free(state);
        return nullptr;
    }
    std::memcpy(state->target, path, std::strlen(path) + 1);
    cfile *f = new_handle();
    f->mode = 0;
    f->stream = stream;
    f->save = state;
    return f;
}

static void free_save_handle(cfile *handle) {
    tamu_free(handle->save);
    tamu_free(handle);
}

int tamu_fclose_save(cfile *handle) {
    if (!handle) return 1;
    if (!handle->save) {
        tamu_fclose(handle);
        return 1;
    }
    tamu_save_state *state = handle->save;
    int result;
    if (std::ferror(handle->stream)) {
        std::fclose(handle->stream);
        std::remove(state->temp_path);
        result = 1;
    } else {
        result = tamu_platform_commit_temp(handle->stream, state->temp_path, state->target);
    }
    free_save_handle(handle);
    return result;
}

void tamu_abort_save(cfile *handle) {
    if (!handle) return;
    if (!handle->save) {
        tamu_fclose(handle);
        return;
    }
    std::fclose(handle->stream);
    std::remove(handle->save->temp_path);
    free_save_handle(handle);
}

// ---------------------------------------------------------------------------
// Reading and writing

int tamu_fread(void *buffer, int size, int count, cfile *handle) {
    if (!handle || size <= 0 || count <= 0) return 0;
    if (handle->mode == 0) return static_cast<int>(std::fread(buffer, size, count, handle->stream));
    int64_t wanted = static_cast<int64_t>(size) * count;
    int64_t left = static_cast<int64_t>(handle->size) - handle->position;
    int n = static_cast<int>(wanted < left ? wanted : left);
    if (n <= 0) return 0;
    std::memcpy(buffer, handle->data + handle->position, n);
    handle->position += n;
    return n;
}

int tamu_fwrite(const void *buffer, int size, int count, cfile *handle) {
    if (!handle || size <= 0 || count <= 0) return 0;
    if (handle->mode == 0) {
        if (!buffer) {
            // A null buffer writes zeros in either mode.
            static const uint8_t zeros[4096] = {};
            int64_t left = static_cast<int64_t>(size) * count;
            while (left > 0) {
                size_t n = left < 4096 ? static_cast<size_t>(left) : 4096;
                if (std::fwrite(zeros, 1, n, handle->stream) != n) return 0;
                left -= static_cast<int64_t>(n);
            }
            return count;
        }
        return static_cast<int>(std::fwrite(buffer, size, count, handle->stream));
    }
    int64_t wanted = static_cast<int64_t>(size) * count;
    if (handle->capacity) {
        if (handle->position + wanted > 0x7FFFFFF0) return 0;
        tamu_allocate_buffer_size(handle, static_cast<int>(handle->position + wanted));
    } else {
        int64_t left = static_cast<int64_t>(handle->size) - handle->position;
        if (wanted > left) wanted = left;
    }
    int n = static_cast<int>(wanted);
    if (n <= 0) return 0;
    if (buffer)
        std::memcpy(handle->data + handle->position, buffer, n);
    else
        std::memset(handle->data + handle->position, 0, n);
    handle->position += n;
    if (handle->size < handle->position) handle->size = handle->position;
    return n;
}

int tamu_feof(cfile *handle) {
    if (!handle) return 1;
    if (handle->mode == 0) return std::feof(handle->stream) ? 1 : 0;
    return handle->position >= handle->size ? 1 : 0;
}

int tamu_ferror(cfile *handle) {
    if (!handle || handle->mode != 0) return 0;
    return std::ferror(handle->stream) ? 1 : 0;
}

int tamu_fseek(cfile *handle, int offset, int whence) {
    if (!handle || whence != SEEK_CUR) return -1;
    if (handle->mode == 0) return std::fseek(handle->stream, offset, SEEK_CUR) == 0 ? 0 : -1;
    int64_t target = static_cast<int64_t>(handle->position) + offset;
    if (target < 0 || target > handle->size) return -1;
    handle->position = static_cast<int32_t>(target);
    return 0;
}

int tamu_ftell(cfile *handle) {
    if (!handle) return -1;
    if (handle->mode == 1) return handle->position;
    long at = std::ftell(handle->stream);
    return at < 0 || at > INT_MAX ? -1 : static_cast<int>(at);
}

int tamu_fsize(cfile *handle) {
    if (!handle) return -1;
    if (handle->mode == 1) return handle->size;
    long at = std::ftell(handle->stream);
    if (at < 0 || std::fseek(handle->stream, 0, SEEK_END) != 0) return -1;
    long end = std::ftell(handle->stream);
    std::fseek(handle->stream, at, SEEK_SET);
    return end < 0 || end > INT_MAX ? -1 : static_cast<int>(end);
}

// Moves to an absolute position (the line reader's and lz4 reader's undo).
static void seek_to(cfile *handle, int position) {
    if (handle->mode == 0)
        std::fseek(handle->stream, position, SEEK_SET);
    else
        handle->position = position;
}

int tamu_fgetc(cfile *handle) {
    if (!handle) return -1;
    if (handle->mode == 0) return std::fgetc(handle->stream);
    if (handle->position < 0 || handle->position >= handle->size) return 0;
    return handle->data[handle->position++];
}

char *tamu_fgets(char *buffer, int n, cfile *handle) {
    if (!handle) return nullptr;
    if (handle->mode == 0) return std::fgets(buffer, n, handle->stream);
    return tamu_fgets_sensitive(buffer, n, handle);
}

// The next byte, or -1 at the end, in either mode.
static int next_byte(cfile *handle) {
    if (handle->mode == 0) return std::fgetc(handle->stream);
    if (handle->position < 0 || handle->position >= handle->size) return -1;
    return handle->data[handle->position++];
}

static void put_back(cfile *handle, int c) {
    if (handle->mode == 0)
        std::ungetc(c, handle->stream);
    else
        handle->position--;
}

char *tamu_fgets_sensitive(char *buffer, int n, cfile *handle) {
    if (!handle || !buffer || n < 1) return nullptr;
    buffer[0] = 0;
    if (n < 2) return nullptr;  // no room for a character: never report a line
    if (handle->mode == 1 && handle->position >= handle->size) return nullptr;
    int count = 0;
    while (count < n - 1) {
        int c = next_byte(handle);
        if (c < 0) {
            if (count == 0 && handle->mode == 0) return nullptr;
            break;
        }
        if (c == '\n') break;
        if (c == '\r') {
            int d = next_byte(handle);
            if (d >= 0 && d != '\n') put_back(handle, d);
            break;
        }
        buffer[count++] = static_cast<char>(c);
    }
    buffer[count] = 0;
    return buffer;
}

static int write_text(cfile *handle, const char *text) {
    int n = static_cast<int>(std::strlen(text));
    if (n > 0) tamu_fwrite(text, 1, n, handle);
    return 0;
}

int tamu_fprintf_1d(cfile *handle, const char *format, int value) {
    char text[1024] = {};
    std::snprintf(text, sizeof text, format, value);
    return write_text(handle, text);
}

int tamu_fprintf_1s(cfile *handle, const char *format, const char *text) {
    char out[1024] = {};
    std::snprintf(out, sizeof out, format, text ? text : "");
    return write_text(handle, out);
}

int tamu_fprintf_4x(cfile *handle, const char *format, int a, int b, int c, int d) {
    char text[1024] = {};
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return write_text(handle, text);
}

// ---------------------------------------------------------------------------
// Typed values

// Reads n bytes (1, 2 or 4) as a little-endian value; missing bytes are 0.
static uint32_t read_le(cfile *handle, int n) {
    uint8_t bytes[4] = {};
    tamu_fread(bytes, 1, n, handle);
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

static int write_le(cfile *handle, uint32_t value, int n) {
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return tamu_fwrite(bytes, 1, n, handle);
}

int tamu_fread_int8(cfile *handle) { return static_cast<int8_t>(read_le(handle, 1)); }
int tamu_fread_uint8(cfile *handle) { return static_cast<int>(read_le(handle, 1)); }
int tamu_fread_int16(cfile *handle) { return static_cast<int16_t>(read_le(handle, 2)); }
int tamu_fread_uint16(cfile *handle) { return static_cast<int>(read_le(handle, 2)); }
int32_t tamu_fread_int32(cfile *handle) { return static_cast<int32_t>(read_le(handle, 4)); }
uint32_t tamu_fread_uint32(cfile *handle) { return read_le(handle, 4); }
float tamu_fread_float(cfile *handle) { return std::bit_cast<float>(read_le(handle, 4)); }

int tamu_fwrite_int8(cfile *handle, int value) { return write_le(handle, static_cast<uint32_t>(value), 1); }
int tamu_fwrite_uint8(cfile *handle, int value) { return write_le(handle, static_cast<uint32_t>(value), 1); }
int tamu_fwrite_int16(cfile *handle, int value) { return write_le(handle, static_cast<uint32_t>(value), 2); }
int tamu_fwrite_uint16(cfile *handle, int value) { return write_le(handle, static_cast<uint32_t>(value), 2); }
int tamu_fwrite_int32(cfile *handle, int32_t value) { return write_le(handle, static_cast<uint32_t>(value), 4); }
int tamu_fwrite_uint32(cfile *handle, uint32_t value) { return write_le(handle, value, 4); }
int tamu_fwrite_float(cfile *handle, float value) { return write_le(handle, std::bit_cast<uint32_t>(value), 4); }

// Moves count values of width bytes; returns whole values moved. Disk
// reads go byte-wise so that a cut last value still lands in the array.
static int value_bytes(int width, int count) {
    int64_t bytes = static_cast<int64_t>(width) * count;
    return bytes > INT_MAX ? INT_MAX / width * width : static_cast<int>(bytes);
}

static int write_values(const void *values, int width, int count, cfile *handle) {
    if (count <= 0 || !values) return 0;
    return tamu_fwrite(values, 1, value_bytes(width, count), handle) / width;
}

static int read_values(void *values, int width, int count, cfile *handle) {
    if (count <= 0 || !values) return 0;
    return tamu_fread(values, 1, value_bytes(width, count), handle) / width;
}

int tamu_fwrite_int16s(const int16_t *values, int count, cfile *handle) { return write_values(values, 2, count, handle); }
int tamu_fwrite_int32s(const int32_t *values, int count, cfile *handle) { return write_values(values, 4, count, handle); }
int tamu_fread_int16s(int16_t *values, int count, cfile *handle) { return read_values(values, 2, count, handle); }
int tamu_fread_int32s(int32_t *values, int count, cfile *handle) { return read_values(values, 4, count, handle); }

int16_t tamu_fix_int16(int16_t value) { return value; }
uint16_t tamu_fix_uint16(uint16_t value) { return value; }
int32_t tamu_fix_int32(int32_t value) { return value; }
uint32_t tamu_fix_uint32(uint32_t value) { return value; }

// ---------------------------------------------------------------------------
// LZ4 blocks

int tamu_fwrite_lz4(const void *bytes, int length, cfile *handle) {
    if (!handle || length < 0 || (length > 0 && !bytes)) return 0;
    int bound = LZ4_compressBound(length);  // 0 beyond LZ4's largest block
    if (bound <= 0) return 0;
    auto *packed = static_cast<char *>(tamu_malloc(bound));
    int packed_length =
        LZ4_compress_HC(static_cast<const char *>(bytes), packed, length, bound, LZ4HC_CLEVEL_DEFAULT);
    int result = 0;
    if (packed_length > 0 && tamu_fwrite_int32(handle, packed_length) == 4 &&
        tamu_fwrite(packed, 1, packed_length, handle) == packed_length)
        result = packed_length;
    tamu_free(packed);
    return result;
}

int tamu_fread_lz4(void *destination, int capacity, cfile *handle) {
    if (!handle || capacity < 0 || (capacity > 0 && !destination)) return -1;
    int start = tamu_ftell(handle);
    int size = tamu_fsize(handle);
    if (start < 0 || size < 0) return -1;
    if (size - start < 4) return -1;
    int32_t packed_length = tamu_fread_int32(handle);
    // The length comes from the file: never trust it for an allocation.
    if (packed_length <= 0 || packed_length > size - start - 4) {
        seek_to(handle, start);
        return -1;
    }
    auto *packed = static_cast<char *>(tamu_malloc(packed_length));
    int got = tamu_fread(packed, 1, packed_length, handle);
    int result = -1;
    if (got == packed_length) {
        char empty = 0;
        char *out = capacity > 0 ? static_cast<char *>(destination) : &empty;
        int n = LZ4_decompress_safe(packed, out, packed_length, capacity);
        if (n >= 0) result = n;
    }
    tamu_free(packed);
    if (result < 0) seek_to(handle, start);
    return result;
}

// ---------------------------------------------------------------------------
// Copying

int tamu_copy_file(const char *from, const char *to) {
    cfile *source = tamu_fopen(from, "rb");
    if (!source) return 1;
    cfile *target = tamu_fopen_save(to);
    if (!target) {
        tamu_fclose(source);
        return 2;
    }
    constexpr int chunk = 65536;
    auto *buffer = static_cast<uint8_t *>(tamu_malloc(chunk));
    int result = 0;
    for (;;) {
        int n = tamu_fread(buffer, 1, chunk, source);
        if (n <= 0) break;
        if (tamu_fwrite(buffer, 1, n, target) != n) {
            result = 3;
            break;
        }
    }
    if (result == 0 && tamu_ferror(source)) result = 4;
    tamu_free(buffer);
    tamu_fclose(source);
    if (result != 0)
        tamu_abort_save(target);
    else if (tamu_fclose_save(target) != 0)
        result = 3;
    return result;
}
