// File handles over disk files, memory blocks and virtual-disk entries;
// paths, directory search and dates.
#pragma once

#include <cstdint>
#include <cstdio>

struct cfile {
    uint32_t mode;      // 0 disk file, 1 memory
    uint32_t vdisk;     // 1 for an entry of the virtual disk
    FILE *stream;       // mode 0
    uint8_t *data;      // mode 1
    int32_t size;       // bytes of content (mode 1)
    int32_t position;   // next byte to read or write (mode 1)
    char name[64];      // virtual-disk key
    int32_t capacity;   // bytes allocated for an owned block, 0 if not owned
};

cfile *tamu_fopen(const char *path, const char *mode);
cfile *tamu_fopen_memory(const void *bytes, int length);
cfile *tamu_fopen_vdisk(const char *path, const char *mode);
int tamu_fclose(cfile *handle);
int vdisk_file_owned(const cfile *handle);

int tamu_fread(void *buffer, int size, int count, cfile *handle);
int tamu_fwrite(const void *buffer, int size, int count, cfile *handle);

// Paths. Every out buffer holds 1024 characters; a result that would not
// fit gives an empty out and a non-zero return.
int tamu_prefix_with_appdata_path(const char *name, char *out);
int tamu_prefix_with_program_path(const char *name, char *out);
int tamu_prefix_with_desktop_path(const char *name, char *out);
void tamu_mkdir(const char *path);
