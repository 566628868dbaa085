// String tables and their two text formats.
#include "tamu_stable.h"

#include "tamu_file.h"
#include "tamu_main.h"
#include "tamu_memory.h"

#include <cstring>

const char tamu_no_stable_string[] = " ";

namespace {

constexpr int LINE_SIZE = 1024;  // lines of at most 1023 characters

char *copy_text(const char *text, size_t length) {
    auto *s = static_cast<char *>(tamu_malloc(static_cast<int>(length + 1)));
    std::memcpy(s, text, length);
    s[length] = 0;
    return s;
}

// Room for one more entry in an array of count entries of capacity.
template <typename T> void reserve_one(T *&array, int32_t count, int32_t &capacity) {
    if (count < capacity) return;
    int32_t grown = capacity ? capacity * 2 : 16;
    if (grown > TAMU_STABLE_MAX_ENTRIES) grown = TAMU_STABLE_MAX_ENTRIES;
    array = static_cast<T *>(tamu_realloc(array, static_cast<int>(sizeof(T) * size_t(grown))));
    capacity = grown;
}

bool room_for(const cdict *dict, int32_t count, size_t length) {
    return count < TAMU_STABLE_MAX_ENTRIES && dict->text_bytes + int64_t(length) + 1 <= TAMU_STABLE_MAX_TEXT_BYTES;
}

int add_key_run(cdict *dict, const char *key, size_t length) {
    if (!dict || !key || length == 0) return 1;
    if (dict->key_count > 0) {
        const char *last = dict->keys[dict->key_count - 1];
        if (std::strlen(last) == length && std::memcmp(last, key, length) == 0) return 0;
    }
    if (!room_for(dict, dict->key_count, length)) return 1;
    int32_t capacity = dict->key_capacity;
    reserve_one(dict->keys, dict->key_count, capacity);
    reserve_one(dict->first, dict->key_count, dict->key_capacity);
    dict->keys[dict->key_count] = copy_text(key, length);
    dict->first[dict->key_count] = dict->string_count;
    dict->key_count++;
    dict->text_bytes += int64_t(length) + 1;
    return 0;
}

int add_string_run(cdict *dict, const char *text, size_t length) {
    if (!dict || !text || dict->key_count == 0) return 1;
    if (!room_for(dict, dict->string_count, length)) return 1;
    reserve_one(dict->strings, dict->string_count, dict->string_capacity);
    dict->strings[dict->string_count++] = copy_text(text, length);
    dict->text_bytes += int64_t(length) + 1;
    return 0;
}

bool key_char(char c) { return is_key_char(static_cast<unsigned char>(c)) != 0; }

// The index of the first key equal to the given one, or -1.
int find_key(const cdict *dict, const char *key) {
    if (!dict || !key) return -1;
    for (int k = 0; k < dict->key_count; k++)
        if (std::strcmp(dict->keys[k], key) == 0) return k;
    return -1;
}

// The end (one past the last index) of key k's strings.
int32_t run_end(const cdict *dict, int k) {
    return k + 1 < dict->key_count ? dict->first[k + 1] : dict->string_count;
}

cdict *open_and_read(const char *name, cdict *(*read)(cfile *)) {
    if (!name) return nullptr;
    cfile *f = tamu_fopen(name, "rb");
    if (!f) return nullptr;
    cdict *dict = read(f);
    tamu_fclose(f);
    return dict;
}

}  // namespace

int is_key_char(int byte) {
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
                   byte == '_'
               ? 1
               : 0;
}

cdict *tamu_create_stable() {
    auto *dict = static_cast<cdict *>(tamu_malloc(sizeof(cdict)));
    std::memset(dict, 0, sizeof *dict);
    tamu_items_created++;
    return dict;
}

void tamu_destroy_stable(cdict *dict) {
    if (!dict) return;
    for (int i = 0; i < dict->key_count; i++) tamu_free(dict->keys[i]);
    for (int i = 0; i < dict->string_count; i++) tamu_free(dict->strings[i]);
    tamu_free(dict->keys);
    tamu_free(dict->strings);
    tamu_free(dict->first);
    tamu_free(dict);
    tamu_items_created--;
}

int add_key(cdict *dict, const char *key) { return key ? add_key_run(dict, key, std::strlen(key)) : 1; }

int cdict_add_string(cdict *dict, const char *text) {
    return text ? add_string_run(dict, text, std::strlen(text)) : 1;
}

const char *tamu_sts(const cdict *dict, const char *key, int i) {
    int k = find_key(dict, key);
    if (k < 0 || i < 0) return tamu_no_stable_string;
    int64_t j = int64_t(dict->first[k]) + i;
    if (j >= run_end(dict, k)) return tamu_no_stable_string;
    return dict->strings[j];
}

int cdict_entries(const cdict *dict, const char *key) {
    int k = find_key(dict, key);
    return k < 0 ? 0 : run_end(dict, k) - dict->first[k];
}

// ---------------------------------------------------------------------------
// Braced format

cdict *tamu_load_stable_from_file(cfile *file) {
    if (!file) return nullptr;
    cdict *dict = tamu_create_stable();
    char line[LINE_SIZE];
    bool inside = false, full = false;
    while (!full && tamu_fgets_sensitive(line, LINE_SIZE, file)) {
        if (!inside) {
            const char *p = line;
            while (*p && *p != '/' && !key_char(*p)) p++;
            if (!key_char(*p)) continue;
            const char *key = p;
            while (key_char(*p)) p++;
            if (add_key_run(dict, key, size_t(p - key)) != 0) full = true;
            inside = true;
            continue;
        }
        const char *p = line;
        while (*p && *p != '/') {
            if (std::strchr(p, '}')) {
                inside = false;
                break;
            }
            const char *open = std::strchr(p, '"');
            if (!open) break;
            const char *start = open + 1;
            const char *close = std::strchr(start, '"');
            const char *end = close ? close : start + std::strlen(start);
            if (add_string_run(dict, start, size_t(end - start)) != 0) {
                full = true;
                break;
            }
            p = close ? close + 1 : end;
        }
    }
    return dict;
}

cdict *tamu_load_stable(const char *name) { return open_and_read(name, tamu_load_stable_from_file); }

// ---------------------------------------------------------------------------
// Information format

cdict *tamu_load_stable_config_from_file(cfile *file) {
    if (!file) return nullptr;
    cdict *dict = tamu_create_stable();
    char line[LINE_SIZE];
    bool full = false;
    while (!full && tamu_fgets_sensitive(line, LINE_SIZE, file)) {
        if (line[0] == '/' || line[0] == 0) continue;
        const char *p = line;
        while (*p && *p != '/' && !key_char(*p)) p++;
        if (!key_char(*p)) continue;
        const char *key = p;
        while (key_char(*p)) p++;
        if (add_key_run(dict, key, size_t(p - key)) != 0) {
            full = true;
            break;
        }
        bool list = false;
        if (*p == ':' && p[1] == ':') {
            list = true;
            p += 2;
        } else if (*p == ':' || *p == ' ') {
            p++;
        } else if (*p == 0) {
            continue;  // a key without strings
        } else {
            // Any other character starts the value itself.
            if (add_string_run(dict, p, std::strlen(p)) != 0) full = true;
            continue;
        }
        while (*p == ' ' || *p == ':') p++;
        if (!list) {
            if (*p && add_string_run(dict, p, std::strlen(p)) != 0) full = true;
            continue;
        }
        while (*p && !full) {
            const char *word = p;
            while (*p && *p != ' ') p++;
            if (p > word && add_string_run(dict, word, size_t(p - word)) != 0) full = true;
            while (*p == ' ') p++;
        }
    }
    return dict;
}

cdict *tamu_load_stable_config(const char *name) {
    return open_and_read(name, tamu_load_stable_config_from_file);
}
