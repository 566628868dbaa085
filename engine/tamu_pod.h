// Pods: tables of typed items in which an item keeps its slot while others
// come and go, and pod files, the chunked little-endian form they are
// stored in.
#pragma once

#include <cstdint>

struct cfile;

// Item types. The type decides how an item is destroyed, written and read.
constexpr uint32_t CPOD_ITEM_FREE = 0;        // free slot
constexpr uint32_t CPOD_ITEM_USED = 1;        // in use, no kind (pea-pod slots)
constexpr uint32_t CPOD_ITEM_MEMORY = 2;      // tamu_malloc block: tamu_free
constexpr uint32_t CPOD_ITEM_POD = 3;         // nested cpod: tamu_destroy_pod (never written)
constexpr uint32_t CPOD_ITEM_BITMAP = 4;      // cbitmap: "CBMP"
constexpr uint32_t CPOD_ITEM_PALETTE = 5;     // cpalette: "CPAL"
constexpr uint32_t CPOD_ITEM_MODEL = 6;       // "CMOD"
constexpr uint32_t CPOD_ITEM_MATERIAL = 7;    // "CMAT"
constexpr uint32_t CPOD_ITEM_ANIM = 8;        // "CANI"
constexpr uint32_t CPOD_ITEM_SOUND = 9;       // "CSND"
constexpr uint32_t CPOD_ITEM_VOXMAP = 10;     // "CVMP"
constexpr uint32_t CPOD_ITEM_SYNTH = 11;      // "CSYN"
constexpr uint32_t CPOD_ITEM_FILE = 12;       // cfile memory file: "CFIL", tamu_fclose
constexpr uint32_t CPOD_ITEM_APPLICATION = 100;  // 100 and above: the hooks below

// Models, materials, animations and voxel maps are the records of
// tamu_model.h. Sample sounds and synthesisers are the sound library's
// records: they are read, written and destroyed through the item hooks
// below; without them the reader reads past their chunks without creating
// items, and a pod holding one (added by hand) destroys nothing for it and
// logs a line.

struct cpod {
    void **items;        // item of each slot, null when free (pea: into block)
    uint32_t *types;     // type of each slot; 0 = free
    int32_t *order;      // [0, count) the slots in use, then the free slots
    int32_t *where;      // for each slot, its index in order
    int32_t count;       // slots in use
    int32_t capacity;    // length of the four arrays
    uint32_t pea;        // 1 for a pea pod
    int32_t item_size;   // bytes per item of a pea pod
    char name[32];       // NUL-terminated
    uint8_t *block;      // pea pod: the items' block, capacity * item_size bytes
};

// Called for items of types above 99: when destroyed (with the slot), and
// before one is written (the hook writes what it wants). The load hook gets
// each chunk the reader does not know, positioned at its body, and returns
// 0 when it read the chunk (it must not step back before the body).
typedef void (*tamu_destroy_item_func)(void *item, uint32_t type, int slot);
typedef void (*tamu_save_item_func)(cfile *file, cpod *pod, int slot);
typedef int (*tamu_load_item_func)(cfile *file, cpod *pod, uint32_t id);
void tamu_set_destroy_item_func(tamu_destroy_item_func function);
void tamu_set_save_item_func(tamu_save_item_func function);
void tamu_set_load_item_func(tamu_load_item_func function);

// How the engine reads, writes and destroys items whose records belong to
// a library above it: sample sounds ("CSND", type 9) and synthesisers
// ("CSYN", type 11). The sound library installs them at its start-up.
struct tamu_pod_item_hooks {
    // Reads a chunk's body into a new item, the file positioned at the
    // body. size is the chunk's size field; at most available bytes may be
    // read (the reader checks the position afterwards). Returns the item;
    // null with *failure set to a short reason when the body is corrupt
    // (the pod then fails whole), or null with *failure left null when the
    // item cannot be created (the rest of a chunk of known size is skipped).
    void *(*read)(cfile *file, uint32_t size, int64_t available, const char **failure);
    // Writes the item's whole chunk (id, size and body). 0 when every byte
    // was written.
    int (*write)(cfile *file, const void *item);
    void (*destroy)(void *item);
};
// Installs a copy of the hooks for type 9 or 11 (other types are ignored);
// null removes them.
void tamu_set_pod_item_hooks(uint32_t type, const tamu_pod_item_hooks *hooks);
// The hooks of the type, or null when none are installed.
const tamu_pod_item_hooks *tamu_get_pod_item_hooks(uint32_t type);

// ---------------------------------------------------------------------------
// The container

// An empty pod of capacity free slots (0 allowed; negative gives null).
// Counts one live object.
cpod *tamu_create_pod(int capacity);
// n slots whose items point into one block of n * size bytes (slot i at
// offset i * size, zeroed). Null for n below 1, a negative size, or a block
// over 2 GB. The capacity never changes.
cpod *tamu_create_pea_pod(int n, int size);
// Null is ignored. Destroys every item by its type (last used first), then
// the pod; uncounts it.
void tamu_destroy_pod(cpod *pod);
// Grows a normal pod to n slots when it has fewer; new slots are free.
void cpod_set_size(cpod *pod, int n);
// Stores item in the next free slot and returns the slot. A full normal
// pod grows to capacity + capacity / 2 + 8 first; a full pea pod (or a
// null pod) gives -1. Type 0 or a null item log an assertion line and are
// added anyway.
int cpod_add_item(cpod *pod, uint32_t type, void *item);
// cpod_add_item with type 1 and no item: for pea pods, whose slot already
// points into the block. -1 when full.
int cpod_get_free_item(cpod *pod);
// A free slot (or one out of range) is left alone. Otherwise the item is
// destroyed by its type (pea pods destroy nothing) and the slot freed.
void cpod_delete_item(cpod *pod, int slot);
// The same without destroying the item, which the caller now owns.
void cpod_delete_item_soft(cpod *pod, int slot);
// Deletes every item (last used first); slots are handed out from 0
// again; a pea pod's block is zeroed.
void cpod_clear(cpod *pod);
// The item of slot index when 0 <= index < count and type is 0 or the
// slot's type; otherwise null.
void *cpod_get_item(cpod *pod, int index, uint32_t type);
// Iteration over the used slots, from the last used back to the first:
// cpod_first gives null for an empty pod, cpod_next null after the first.
void *cpod_first(cpod *pod);
void *cpod_next(cpod *pod, void *item);
// The slot holding item: for a pea pod its offset in the block divided by
// the item size; for a normal pod the used slot that holds it. -1 when the
// item is not one of the pod's (outside the block, between two items, in
// no used slot) or the pea pod's item size is 0.
int cpod_get_item_index(cpod *pod, void *item);

// ---------------------------------------------------------------------------
// Pod sets: several pods one after another in one file.

constexpr int CPOD_SET_SIZE = 256;
struct cpod_set {
    cpod *pods[CPOD_SET_SIZE];   // null for an empty entry
};
void cpod_set_init(cpod_set *set);
void cpod_set_clear(cpod_set *set);

// ---------------------------------------------------------------------------
// Pod files
//
// A pod is a "CPOD" header chunk followed by one chunk per item; a null
// pod is a "CNOP" chunk. Bitmaps, voxel maps and memory files are stored
// compressed as cconfig.pod_lz4 says: TAMU_POD_STORE plain, TAMU_POD_LZ4
// as LZ4 blocks ("cBMP", "cVMP", "cFIL"), TAMU_POD_ZLIB as zlib streams
// ("zBMP", "zVMP", "zFIL"). The reader takes every form whatever the
// setting. A material is its 96 bytes ("CMAT"); models ("CMOD") and
// animations ("CANI") are read by content, and their chunks give the
// body's length as their size, so that a reader without such records can
// step over them (a size of 0, which gives none, is read too).
constexpr int TAMU_POD_STORE = 0;
constexpr int TAMU_POD_LZ4 = 1;
constexpr int TAMU_POD_ZLIB = 2;

// Chunk ids: the four characters in file order, read as a little-endian
// word ("CPOD" is the bytes C, P, O, D).
constexpr uint32_t tamu_chunk_id(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 |
           uint32_t(uint8_t(text[2])) << 16 | uint32_t(uint8_t(text[3])) << 24;
}

// Writes one pod (or "CNOP" for a null pod) at the file's position.
// Returns 0; 1 for a null file; 2 when a write or a compression failed,
// or a file item is not a memory file with its content at hand.
// Items are written for the used slots in slot order; memory blocks,
// nested pods and types 13 to 99 write nothing (store a nested pod as a
// memory file holding its pod file). The name argument is not used.
int tamu_save_pod_file(const char *name, cpod *pod, cfile *file);
// Writes the pod as the whole file at path, replacing it only once every
// byte is written (tamu_fopen_save). Returns 0; 1 when the file could not
// be created; 2 when writing or committing it failed (the old file stays).
// Logs "tamu_save_pod: <path> <result>".
int tamu_save_pod(const char *path, cpod *pod);
// The 256 entries one after another ("CNOP" for each null one); results
// as tamu_save_pod.
int tamu_save_pod_set(const char *path, cpod_set *set);

// Reads one pod from the file's position. Null for a null file, a "CNOP"
// chunk (consumed), a pod with no items, or a corrupt pod (logged; nothing
// of it is kept). A following "CPOD" or "CNOP" chunk is left unread. The
// name argument is not used.
cpod *tamu_load_pod_file(const char *name, cfile *file);
// Opens path for reading (else its virtual-disk entry) and reads one pod.
// Logs "tamu_load_pod: <path> ok" or "... failed".
cpod *tamu_load_pod(const char *path);
// Clears the set and reads up to 256 pods in a row into it (entries past
// the file's end stay null). Returns 0; 1 when the file cannot be opened,
// 2 when a pod in it is corrupt (the set is left clear).
int tamu_load_pod_set(const char *path, cpod_set *set);
int tamu_load_pod_set_from_memory(const void *bytes, int length, cpod_set *set);
// Each line "<entry> <path>" loads that entry with tamu_load_pod (an entry
// already there is destroyed first). Lines starting with '/', lines under
// 4 characters, lines over 254 characters (logged) and entries outside
// 0..255 are skipped. Returns 0, or 1 when the file cannot be opened.
int tamu_load_pod_set_from_text_file(const char *path, cpod_set *set);
