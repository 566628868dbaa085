// File handles over disk files, memory blocks and virtual-disk entries;
// saving files whole; paths, directory search and dates.
//
// All binary values are little-endian.
#pragma once

#include <cstdint>
#include <cstdio>

struct tamu_save_state;

struct cfile {
    uint32_t mode;      // 0 disk file, 1 memory
    uint32_t vdisk;     // 1 for an entry of the virtual disk
    FILE *stream;       // mode 0
    uint8_t *data;      // mode 1
    int32_t size;       // bytes of content (mode 1)
    int32_t position;   // next byte to read or write (mode 1)
    char name[64];      // virtual-disk key
    int32_t capacity;   // bytes allocated for an owned block, 0 if not owned
    tamu_save_state *save;  // set for a handle from tamu_fopen_save
};

// ---------------------------------------------------------------------------
// Opening and closing

// Opens a disk file with the system's mode text. A read mode ('r...') that
// finds no disk file falls back to the virtual disk; writing never does.
// Only regular files are read: a folder, a named pipe or a device (which
// could block the reader, or never end) counts as no disk file.
cfile *tamu_fopen(const char *path, const char *mode);

// What a path names on disk.
enum { TAMU_PATH_NONE = 0, TAMU_PATH_FILE = 1, TAMU_PATH_FOLDER = 2, TAMU_PATH_OTHER = 3 };
int tamu_path_kind(const char *path);
// A handle over caller-owned bytes; writes stay within length.
cfile *tamu_fopen_memory(const void *bytes, int length);
// The virtual-disk entry named by the base name and extension of the path
// ("carts/a.zv" and "a.zv" are the same entry). "r": the shared entry,
// rewound, or null. "w": the entry emptied in place, or a new one (at most
// 512 entries, keys of 1 to 63 characters), or null.
cfile *tamu_fopen_vdisk(const char *path, const char *mode);
// Null and virtual-disk entries are ignored; a save handle is committed as
// by tamu_fclose_save and its result returned; otherwise 0.
int tamu_fclose(cfile *handle);
int vdisk_file_owned(const cfile *handle);

constexpr int TAMU_VDISK_MAX_FILES = 512;
extern cfile *vdisk_file[TAMU_VDISK_MAX_FILES];
extern int vdisk_files;

// ---------------------------------------------------------------------------
// Saving a file whole or not at all
//
// Every file the player saves goes through these, so that a crash, a full
// disk or a failed write never leaves a truncated file behind:
//
//     cfile *f = tamu_fopen_save(path);
//     if (!f) ...report...
//     ...tamu_fwrite(..., f)...
//     if (tamu_fclose_save(f) != 0) ...report: the old file is still whole...
//
// tamu_fopen_save(path) opens a new temporary file beside path (same
// folder, so the final rename stays on one file system) for binary
// writing and returns a disk handle to it, or null when it cannot be
// created (for example a missing folder). Nothing at path changes yet.
// When path is a symbolic link, the file it points to is the one replaced
// and the link stays.
//
// tamu_fclose_save(handle) flushes the data, syncs it to the device,
// closes it and renames the temporary file over path. Returns 0 on
// success. When any write on the handle failed, or the flush, sync, close
// or rename fails, the temporary file is removed, path is left exactly as
// it was, and the result is non-zero. Either way the handle is freed.
// tamu_fclose on a save handle does the same.
//
// tamu_abort_save(handle) closes and removes the temporary file and frees
// the handle; path is untouched. Use it when the content turns out to be
// incomplete (an encoder failed half-way).
cfile *tamu_fopen_save(const char *path);
int tamu_fclose_save(cfile *handle);
void tamu_abort_save(cfile *handle);

// ---------------------------------------------------------------------------
// Reading and writing

// Mode 0: items read/written (the system calls). Mode 1: bytes copied.
int tamu_fread(void *buffer, int size, int count, cfile *handle);
// Mode 1: an owning handle grows; a null buffer writes zeros.
int tamu_fwrite(const void *buffer, int size, int count, cfile *handle);
int tamu_feof(cfile *handle);
// 1 once a write or read on a disk handle failed; memory handles give 0.
int tamu_ferror(cfile *handle);
// Only whence SEEK_CUR (1) is honoured, moving by offset from the current
// position. Returns 0, or -1 when the handle is null, whence is another
// value, or (memory) the new position would leave [0, size]; a failed
// seek leaves the position as it was.
int tamu_fseek(cfile *handle, int offset, int whence);
// The current position, or -1.
int tamu_ftell(cfile *handle);
// The number of bytes in the file (mode 1: size), or -1 (for example a
// disk stream that cannot seek, or one over 2 GB).
int tamu_fsize(cfile *handle);
// Mode 0: system fgetc (-1 at the end); mode 1: the next byte, 0 at the end.
int tamu_fgetc(cfile *handle);
// Mode 0: system fgets (keeps the line end); mode 1: tamu_fgets_sensitive.
char *tamu_fgets(char *buffer, int n, cfile *handle);
// One line of either mode without its terminator (LF, CR or CR LF), at
// most n - 1 characters (a longer line continues in the next call).
// Returns the buffer, or null for a null handle or one at its end.
char *tamu_fgets_sensitive(char *buffer, int n, cfile *handle);
// Format one value into a 1024-character buffer (longer output is cut to
// 1023 characters) and write the text. Return 0.
int tamu_fprintf_1d(cfile *handle, const char *format, int value);
int tamu_fprintf_1s(cfile *handle, const char *format, const char *text);
int tamu_fprintf_4x(cfile *handle, const char *format, int a, int b, int c, int d);

// Typed little-endian values. Reads fill bytes missing at the end with 0;
// writes return the number of bytes written (an owning handle grows).
int tamu_fread_int8(cfile *handle);
int tamu_fread_uint8(cfile *handle);
int tamu_fread_int16(cfile *handle);
int tamu_fread_uint16(cfile *handle);
int32_t tamu_fread_int32(cfile *handle);
uint32_t tamu_fread_uint32(cfile *handle);
float tamu_fread_float(cfile *handle);
int tamu_fwrite_int8(cfile *handle, int value);
int tamu_fwrite_uint8(cfile *handle, int value);
int tamu_fwrite_int16(cfile *handle, int value);
int tamu_fwrite_uint16(cfile *handle, int value);
int tamu_fwrite_int32(cfile *handle, int32_t value);
int tamu_fwrite_uint32(cfile *handle, uint32_t value);
int tamu_fwrite_float(cfile *handle, float value);
// Arrays of count values in one call; return the number of whole values
// moved (reads stop at the end of the file).
int tamu_fwrite_int16s(const int16_t *values, int count, cfile *handle);
int tamu_fwrite_int32s(const int32_t *values, int count, cfile *handle);
int tamu_fread_int16s(int16_t *values, int count, cfile *handle);
int tamu_fread_int32s(int32_t *values, int count, cfile *handle);
// Byte-order hooks: identities on little-endian targets.
int16_t tamu_fix_int16(int16_t value);
uint16_t tamu_fix_uint16(uint16_t value);
int32_t tamu_fix_int32(int32_t value);
uint32_t tamu_fix_uint32(uint32_t value);

// Writes a 32-bit compressed length and the block compressed with LZ4 high
// compression. Returns the compressed length, or 0 when the block cannot
// be compressed (negative length, over 0x7E000000 bytes) or not all of it
// could be written; nothing is written when compression fails.
int tamu_fwrite_lz4(const void *bytes, int length, cfile *handle);
// Reads a block written by tamu_fwrite_lz4 into destination (at most
// capacity bytes). Returns the decompressed length, or -1 when the stored
// length is not above 0 or runs past the end of the file, or the data does
// not decode within capacity; on failure the position goes back to where
// it was and the destination's content is undefined.
int tamu_fread_lz4(void *destination, int capacity, cfile *handle);

// Copies a file (the target is replaced whole through tamu_fopen_save).
// Returns 0; 1 when the source cannot be opened, 2 when the target cannot
// be created, 3 when a write or the final commit failed, 4 when reading
// the source failed; on any failure the target is left as it was.
int tamu_copy_file(const char *from, const char *to);

// ---------------------------------------------------------------------------
// Paths. Every out buffer holds 1024 characters; a result that would not
// fit in 1023 characters gives an empty out and a non-zero return.

// Each output may be null; "a/b/c.zv.png" gives "a/b/", "c.zv", ".png".
void tamu_split_filename(const char *path, char *directory, char *base, char *extension);
// The text after the last '.' of the last component (no dot), or an
// empty out and null.
char *tamu_get_filename_extension(const char *name, char *out);
void tamu_fix_backslashes(char *path);
// Drops "." and empty components, applies "..", expands a "~" component
// to the home folder; keeps a leading and a trailing '/'.
int tamu_resolve_filename(const char *path, char *out);
// As tamu_resolve_filename, then always appends "/".
int tamu_unroll_filename(const char *path, char *out);
// A name that a program given from outside (a cart) asks for, kept inside
// the folder root. The name is read from folder (a path within root,
// usually empty) or, when it begins with one separator, from root itself.
// '/' and '\\' both separate; "." and empty components are dropped; ".."
// goes up one component. Refused (out empty, -1): a null root or name; a
// NUL within the name's length or a control character; a ':' (a drive or
// stream); two separators at the start (a network path); a "~" component;
// a component ending in '.' or ' ' other than "." and ".." (Windows would
// read it as another name); a device name (con, nul, com1 ...); a ".."
// that would leave root; a result over 1023 characters. Otherwise out =
// root, a '/' unless root ends with one, and the components joined by
// '/' (with a trailing '/' when the name is empty or ends with a
// separator); the
// result is the length of the part after root (0: root itself).
int tamu_resolve_inside(const char *root, const char *folder, const char *name, size_t length, char *out);
// out := application-data folder (the `home` option, else
// $HOME/.ostrel/<application title>, created) + name.
int tamu_prefix_with_appdata_path(const char *name, char *out);
int tamu_prefix_with_program_path(const char *name, char *out);
// out := the running program file itself (Linux: the link "/proc/self/exe";
// Windows: the module file name, with '/' for '\\'). Non-zero, with out
// empty, when it cannot be read.
int tamu_get_program_filename(char *out);
// out := desktop folder + name: the desktop_path setting, else the desktop
// folder of the user's environment (Linux: XDG_DESKTOP_DIR of
// user-dirs.dirs, else $HOME/Desktop; Windows: %USERPROFILE%/Desktop). The
// folder is created when missing.
int tamu_prefix_with_desktop_path(const char *name, char *out);
// Creates one folder with permissions 0755 (less the umask); an existing
// folder or any other failure is ignored.
void tamu_mkdir(const char *path);
int tamu_file_exists(const char *path);
// Sets a disk file's permission bits (Linux chmod; Windows keeps no such
// bits and does nothing). 0, or non-zero when the file's bits could not be
// set.
int tamu_chmod(const char *path, int mode);
int tamu_directory_exists(const char *path);

// ---------------------------------------------------------------------------
// Directory search

constexpr uint32_t TAMU_FIND_DIRECTORY = 0x4000;  // mode bit of a folder
constexpr uint32_t TAMU_FIND_FILE = 0x8000;       // mode bit of a plain file

struct cfind {
    char directory[256];
    char name[256];          // found name
    uint32_t mode;           // the system's mode bits
    uint32_t size;           // low 32 bits of the size
    int64_t time;            // modification time, seconds since 1970
    char suffix[256];        // suffix filter (letter case ignored)
    int32_t suffix_length;
    uint32_t mask;           // an entry's mode must share a bit with it
    void *dir;               // open system directory handle, or null
};

// pattern "*.zv" filters on the suffix ".zv"; any pattern not beginning
// with '*' lists every entry ("." and ".." included). Returns 0 with the
// first match filled in, 1 when nothing matches or the folder cannot be
// opened (or its path is over 255 characters). Call tamu_find_close
// either way.
int tamu_find_first(const char *directory, const char *pattern, cfind *search, uint32_t mask);
int tamu_find_next(cfind *search);
int tamu_find_close(cfind *search);

// ---------------------------------------------------------------------------
// Dates

// The current local date as year * 10000 + month * 100 + day; each output
// may be null. 0 (and a log warning) when the local time is unavailable.
int tamu_get_date(int *year, int *month, int *day);
// The same for a given time (seconds since 1970).
int tamu_get_date_at(int64_t time, int *year, int *month, int *day);
// "%Y-%m-%d %H:%M:%S" in local time into out (32 characters).
void tamu_print_date(int64_t time, char *out);
