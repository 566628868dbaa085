// String tables: keys mapped to ordered lists of strings, read from a
// braced table format or a key/value information format.
//
// Braced format: a line holding a key (the first run of key characters)
// opens it; the lines after it add every double-quoted string they hold,
// until a line holding "}" (whose strings are dropped). Information
// format: one "key: value", "key value", "key:: word word ..." or
// "key=value" entry per line (the last stores "=value"). In both, a "/"
// where a key or a string could start ends the line.
#pragma once

#include <cstdint>

struct cfile;

// The strings of key k are strings[first[k]] up to the next key's first
// string (the last key's: up to string_count - 1). A key equal to the one
// added just before it is not added again, so its strings continue the
// same run; lookups take the first matching key.
struct cdict {
    int32_t key_count;
    int32_t string_count;
    char **keys;           // owned, in the order read
    char **strings;        // owned, those of one key together
    int32_t *first;        // per key, the index of its first string
    int32_t key_capacity;  // entries allocated in keys and first
    int32_t string_capacity;
    int64_t text_bytes;    // bytes held by keys and strings
};

// What a lookup that finds nothing returns: " " (one space).
extern const char tamu_no_stable_string[];

// Reading stops adding keys and strings once a table holds this many of
// either, or this many bytes of text.
constexpr int32_t TAMU_STABLE_MAX_ENTRIES = 1 << 20;
constexpr int64_t TAMU_STABLE_MAX_TEXT_BYTES = int64_t(32) << 20;

// A new empty table (counted in tamu_items_created).
cdict *tamu_create_stable();
// Opens the file for reading (falling back to the virtual disk) and reads
// the braced format; null when it cannot be opened.
cdict *tamu_load_stable(const char *name);
// Reads the braced format from the current position; null for a null file.
cdict *tamu_load_stable_from_file(cfile *file);
// The information format, by name (null when it cannot be opened) or from
// the current position of an open file (null for a null file).
cdict *tamu_load_stable_config(const char *name);
cdict *tamu_load_stable_config_from_file(cfile *file);
// Frees every key and string and the table; null is ignored.
void tamu_destroy_stable(cdict *dict);

// The i-th string (from 0) of the key, or tamu_no_stable_string when the
// table or key is null, the key is absent or i is outside its strings.
const char *tamu_sts(const cdict *dict, const char *key, int i);
// The number of strings of the key; 0 when absent or the table is null.
int cdict_entries(const cdict *dict, const char *key);

// Appends a key (unless it equals the last key) whose strings start at the
// present string count. 0, or 1 when refused (null, empty, over the limits).
int add_key(cdict *dict, const char *key);
// Appends a string to the last key's run. 0, or 1 when refused (null, no
// key yet, over the limits).
int cdict_add_string(cdict *dict, const char *text);
// 1 for a letter of either case, a digit or "_"; else 0.
int is_key_char(int byte);
