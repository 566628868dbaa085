// Pods: a growable table of typed items in which an item keeps its slot,
// and pea pods, the fixed-size variant whose items live in one block.
#include "tamu_pod.h"

#include "tamu_bitmap.h"
#include "tamu_file.h"
#include "tamu_main.h"
#include "tamu_memory.h"
#include "tamu_model.h"

#include <climits>
#include <cstring>

static tamu_destroy_item_func destroy_item_func = nullptr;
tamu_save_item_func tamu_pod_save_item_func = nullptr;   // read by the writer
tamu_load_item_func tamu_pod_load_item_func = nullptr;   // read by the reader

void tamu_set_destroy_item_func(tamu_destroy_item_func function) { destroy_item_func = function; }
void tamu_set_save_item_func(tamu_save_item_func function) { tamu_pod_save_item_func = function; }
void tamu_set_load_item_func(tamu_load_item_func function) { tamu_pod_load_item_func = function; }

// The item hooks of sample sounds and synthesisers; a null read marks
// hooks that are not installed.
static tamu_pod_item_hooks sound_item_hooks, synth_item_hooks;

static tamu_pod_item_hooks *item_hooks_slot(uint32_t type) {
    if (type == CPOD_ITEM_SOUND) return &sound_item_hooks;
    if (type == CPOD_ITEM_SYNTH) return &synth_item_hooks;
    return nullptr;
}

void tamu_set_pod_item_hooks(uint32_t type, const tamu_pod_item_hooks *hooks) {
    tamu_pod_item_hooks *slot = item_hooks_slot(type);
    if (slot) *slot = hooks ? *hooks : tamu_pod_item_hooks{};
}

const tamu_pod_item_hooks *tamu_get_pod_item_hooks(uint32_t type) {
    const tamu_pod_item_hooks *slot = item_hooks_slot(type);
    return slot && slot->read && slot->write && slot->destroy ? slot : nullptr;
}

static void assertion_failed(const char *what) { tamu_debugf("\nAssertion failed: %s\n", what); }

// Resizes the four slot arrays to n entries; new slots are free and take
// their own number in order and where.
static void grow_slots(cpod *pod, int n) {
    int old = pod->capacity;
    pod->items = static_cast<void **>(tamu_realloc(pod->items, n * int(sizeof(void *))));
    pod->types = static_cast<uint32_t *>(tamu_realloc(pod->types, n * int(sizeof(uint32_t))));
    pod->order = static_cast<int32_t *>(tamu_realloc(pod->order, n * int(sizeof(int32_t))));
    pod->where = static_cast<int32_t *>(tamu_realloc(pod->where, n * int(sizeof(int32_t))));
    for (int i = old; i < n; i++) {
        pod->items[i] = nullptr;
        pod->types[i] = CPOD_ITEM_FREE;
        pod->order[i] = i;
        pod->where[i] = i;
    }
    pod->capacity = n;
}

// Largest slot count: keeps every array's byte size within an int.
static constexpr int max_slots = INT_MAX / int(sizeof(void *)) - 16;

cpod *tamu_create_pod(int capacity) {
    if (capacity < 0 || capacity > max_slots) return nullptr;
    auto *pod = static_cast<cpod *>(tamu_malloc(sizeof(cpod)));
    std::memset(pod, 0, sizeof *pod);
    if (capacity > 0) grow_slots(pod, capacity);
    tamu_items_created++;
    return pod;
}

cpod *tamu_create_pea_pod(int n, int size) {
    if (n < 1 || size < 0 || n > max_slots) return nullptr;
    int64_t bytes = int64_t(n) * size;
    if (bytes > INT_MAX - 64) return nullptr;
    cpod *pod = tamu_create_pod(n);
    pod->pea = 1;
    pod->item_size = size;
    if (bytes > 0) {
        pod->block = static_cast<uint8_t *>(tamu_malloc(int(bytes)));
        std::memset(pod->block, 0, size_t(bytes));
    }
    for (int i = 0; i < n; i++) pod->items[i] = pod->block ? pod->block + int64_t(i) * size : nullptr;
    return pod;
}

static void destroy_item(void *item, uint32_t type, int slot) {
    if (!item) return;
    switch (type) {
    case CPOD_ITEM_MEMORY: tamu_free(item); break;
    case CPOD_ITEM_POD: tamu_destroy_pod(static_cast<cpod *>(item)); break;
    case CPOD_ITEM_BITMAP: tamu_destroy_bitmap(static_cast<cbitmap *>(item)); break;
    case CPOD_ITEM_PALETTE: tamu_destroy_palette(static_cast<cpalette *>(item)); break;
    case CPOD_ITEM_FILE: tamu_fclose(static_cast<cfile *>(item)); break;
    case CPOD_ITEM_MODEL: tamu_destroy_model(static_cast<cmodel *>(item)); break;
    case CPOD_ITEM_MATERIAL: tamu_destroy_material(static_cast<cmaterial *>(item)); break;
    case CPOD_ITEM_ANIM: tamu_destroy_anim(static_cast<canim *>(item)); break;
    case CPOD_ITEM_VOXMAP: tamu_destroy_voxmap(static_cast<cvoxmap *>(item)); break;
    case CPOD_ITEM_SOUND:
    case CPOD_ITEM_SYNTH:
        if (const tamu_pod_item_hooks *hooks = tamu_get_pod_item_hooks(type)) {
            hooks->destroy(item);
            break;
        }
        tamu_debugf("cpod: no destroyer for item type %u (slot %d)\n", type, slot);
        break;
    default:
        if (type >= CPOD_ITEM_APPLICATION && destroy_item_func) destroy_item_func(item, type, slot);
        break;
    }
}

// Frees the slot: it changes places in order with the last used entry.
static void release_slot(cpod *pod, int slot) {
    int at = pod->where[slot];
    int last = pod->count - 1;
    int moved = pod->order[last];
    pod->order[at] = moved;
    pod->where[moved] = at;
    pod->order[last] = slot;
    pod->where[slot] = last;
    pod->count--;
    pod->types[slot] = CPOD_ITEM_FREE;
    if (!pod->pea) pod->items[slot] = nullptr;
}

static void delete_item(cpod *pod, int slot, bool destroy) {
    if (!pod || slot < 0 || slot >= pod->capacity || pod->types[slot] == CPOD_ITEM_FREE) return;
    void *item = pod->items[slot];
    uint32_t type = pod->types[slot];
    release_slot(pod, slot);   // before destroying, so a hook sees a consistent pod
    if (destroy && !pod->pea) destroy_item(item, type, slot);
}

void cpod_delete_item(cpod *pod, int slot) { delete_item(pod, slot, true); }
void cpod_delete_item_soft(cpod *pod, int slot) { delete_item(pod, slot, false); }

static void delete_all(cpod *pod) {
    while (pod->count > 0) {
        int slot = pod->order[pod->count - 1];
        void *item = pod->items[slot];
        uint32_t type = pod->types[slot];
        release_slot(pod, slot);
        if (!pod->pea) destroy_item(item, type, slot);
    }
}

void tamu_destroy_pod(cpod *pod) {
    if (!pod) return;
    delete_all(pod);
    if (pod->count != 0) tamu_debug("tamu_destroy_pod: cpod->items != 0\n");
    tamu_free(pod->items);
    tamu_free(pod->types);
    tamu_free(pod->order);
    tamu_free(pod->where);
    tamu_free(pod->block);
    tamu_free(pod);
    tamu_items_created--;
}

void cpod_set_size(cpod *pod, int n) {
    if (!pod || pod->pea || n <= pod->capacity || n > max_slots) return;
    grow_slots(pod, n);
}

int cpod_add_item(cpod *pod, uint32_t type, void *item) {
    if (!pod) return -1;
    if (type == CPOD_ITEM_FREE) {
        assertion_failed("Bad cpod_add_item type");
        type = CPOD_ITEM_USED;   // a used slot of type 0 would read as free
    }
    if (!item && type != CPOD_ITEM_USED) assertion_failed("Bad cpod_add_item");
    if (pod->count >= pod->capacity) {
        if (pod->pea) return -1;
        int64_t grown = int64_t(pod->capacity) + pod->capacity / 2 + 8;
        if (grown > max_slots) return -1;
        grow_slots(pod, int(grown));
    }
    int slot = pod->order[pod->count];
    pod->count++;
    if (!pod->pea) pod->items[slot] = item;
    pod->types[slot] = type;
    return slot;
}

int cpod_get_free_item(cpod *pod) { return cpod_add_item(pod, CPOD_ITEM_USED, nullptr); }

void cpod_clear(cpod *pod) {
    if (!pod) return;
    delete_all(pod);
    for (int i = 0; i < pod->capacity; i++) {
        pod->order[i] = i;
        pod->where[i] = i;
    }
    if (pod->block) std::memset(pod->block, 0, size_t(int64_t(pod->capacity) * pod->item_size));
}

void *cpod_get_item(cpod *pod, int index, uint32_t type) {
    if (!pod || index < 0 || index >= pod->count || index >= pod->capacity) return nullptr;
    if (type != 0 && pod->types[index] != type) return nullptr;
    return pod->items[index];
}

int cpod_get_item_index(cpod *pod, void *item) {
    if (!pod || !item) return -1;
    if (!pod->pea) {
        for (int i = 0; i < pod->count; i++)
            if (pod->items[pod->order[i]] == item) return pod->order[i];
        return -1;
    }
    if (pod->item_size <= 0 || !pod->block) return -1;
    auto *p = static_cast<uint8_t *>(item);
    if (p < pod->block) return -1;
    int64_t offset = p - pod->block;
    if (offset % pod->item_size != 0) return -1;
    int64_t slot = offset / pod->item_size;
    return slot < pod->capacity ? int(slot) : -1;
}

void *cpod_first(cpod *pod) {
    if (!pod || pod->count < 1) return nullptr;
    return pod->items[pod->order[pod->count - 1]];
}

void *cpod_next(cpod *pod, void *item) {
    int slot = cpod_get_item_index(pod, item);
    if (slot < 0) return nullptr;
    int at = pod->where[slot];
    if (at < 1 || at >= pod->count) return nullptr;   // the first, or a free slot
    return pod->items[pod->order[at - 1]];
}

void cpod_set_init(cpod_set *set) {
    if (!set) return;
    for (auto &p : set->pods) p = nullptr;
}

void cpod_set_clear(cpod_set *set) {
    if (!set) return;
    for (auto &p : set->pods) {
        tamu_destroy_pod(p);
        p = nullptr;
    }
}
