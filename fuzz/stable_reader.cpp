// Feeds arbitrary bytes to both string-table readers as a memory file and
// checks the table they build: runs in order and inside the strings,
// keys made of key characters, lines within the line reader's 1023
// characters, and lookups that stay inside the table.
#include "tamu.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

static void check(const cdict *dict) {
    if (!dict || dict->key_count < 0 || dict->string_count < 0) std::abort();
    if (dict->key_count > TAMU_STABLE_MAX_ENTRIES || dict->string_count > TAMU_STABLE_MAX_ENTRIES) std::abort();
    int previous = 0;
    for (int k = 0; k < dict->key_count; k++) {
        const char *key = dict->keys[k];
        size_t n = std::strlen(key);
        if (n == 0 || n > 1023) std::abort();
        for (size_t i = 0; i < n; i++)
            if (!is_key_char(static_cast<unsigned char>(key[i]))) std::abort();
        if (k > 0 && std::strcmp(key, dict->keys[k - 1]) == 0) std::abort();
        if (dict->first[k] < previous || dict->first[k] > dict->string_count) std::abort();
        previous = dict->first[k];
        int entries = cdict_entries(dict, key);
        if (entries < 0) std::abort();
        for (int i = -1; i <= entries; i++) {
            const char *s = tamu_sts(dict, key, i);
            if (!s) std::abort();
            if ((i < 0 || i == entries) && s != tamu_no_stable_string) std::abort();
        }
    }
    for (int i = 0; i < dict->string_count; i++) {
        const char *s = dict->strings[i];
        if (std::strlen(s) > 1023 || std::strchr(s, '\n') || std::strchr(s, '\r')) std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    int items = tamu_items_created;
    cdict *(*readers[])(cfile *) = {tamu_load_stable_from_file, tamu_load_stable_config_from_file};
    for (auto read : readers) {
        cfile *f = tamu_fopen_memory(data, static_cast<int>(size));
        cdict *dict = read(f);
        tamu_fclose(f);
        check(dict);
        tamu_destroy_stable(dict);
    }
    if (tamu_items_created != items) std::abort();
    return 0;
}
