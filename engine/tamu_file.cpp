// File handles over disk files, memory blocks and virtual-disk entries.
#include "tamu.h"

#include <cstring>

cfile *tamu_fopen(const char *path, const char *mode) {
    FILE *stream = std::fopen(path, mode);
    if (!stream) {
        if (mode[0] == 'r') return tamu_fopen_vdisk(path, mode);
        return nullptr;
    }
    auto *f = static_cast<cfile *>(tamu_malloc(sizeof(cfile)));
    std::memset(f, 0, sizeof(cfile));
    f->mode = 0;
    f->stream = stream;
    return f;
}

cfile *tamu_fopen_memory(const void *bytes, int length) {
    auto *f = static_cast<cfile *>(tamu_malloc(sizeof(cfile)));
    std::memset(f, 0, sizeof(cfile));
    f->mode = 1;
    f->data = static_cast<uint8_t *>(const_cast<void *>(bytes));
    f->size = length;
    return f;
}

cfile *tamu_fopen_vdisk(const char *, const char *) { return nullptr; }

int vdisk_file_owned(const cfile *handle) { return handle && handle->vdisk ? 1 : 0; }

int tamu_fclose(cfile *handle) {
    if (!handle || handle->vdisk) return 0;
    if (handle->mode == 0 && handle->stream) std::fclose(handle->stream);
    if (handle->mode == 1 && handle->capacity) tamu_free(handle->data);
    tamu_free(handle);
    return 0;
}

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
    if (handle->mode == 0) return static_cast<int>(std::fwrite(buffer, size, count, handle->stream));
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
