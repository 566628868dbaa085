// Path splitting and normalisation, and existence checks.
#include "tamu.h"
#include "tamu_file_platform.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

constexpr int PATH_CAPACITY = 1024;

// A path being built in a 1024-character buffer; once anything fails to
// fit, the whole result is dropped.
struct path_builder {
    char text[PATH_CAPACITY];
    int length;
    bool overflow;

    void clear() {
        text[0] = 0;
        length = 0;
    }
    void append(const char *s, int n) {
        if (overflow) return;
        if (length + n > PATH_CAPACITY - 1) {
            overflow = true;
            return;
        }
        std::memcpy(text + length, s, static_cast<size_t>(n));
        length += n;
        text[length] = 0;
    }
    void append(const char *s) { append(s, static_cast<int>(std::strlen(s))); }
    bool ends_with_separator() const { return length > 0 && text[length - 1] == '/'; }
};

bool is_separator(char c) { return c == '/' || c == '\\'; }

// ".." : drop the last component, stopping at a separator or a drive
// prefix ("D:"); a leading "/" always stays.
void go_up(path_builder &b) {
    if (b.length <= 1) return;
    if (b.text[b.length - 1] == '/') b.length--;
    while (b.length > 0) {
        char c = b.text[b.length - 1];
        if (c == '/' || c == ':' || c == '\\') break;
        b.length--;
    }
    b.text[b.length] = 0;
}

void copy_bounded(char *out, const char *from, size_t n) {
    if (!out) return;
    if (n > PATH_CAPACITY - 1) n = PATH_CAPACITY - 1;
    std::memcpy(out, from, n);
    out[n] = 0;
}

}  // namespace

void tamu_split_filename(const char *path, char *directory, char *base, char *extension) {
    if (directory) directory[0] = 0;
    if (base) base[0] = 0;
    if (extension) extension[0] = 0;
    if (!path) return;
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '/') name = p + 1;
    const char *dot = std::strrchr(name, '.');
    const char *end = name + std::strlen(name);
    if (!dot) dot = end;
    copy_bounded(directory, path, static_cast<size_t>(name - path));
    copy_bounded(base, name, static_cast<size_t>(dot - name));
    copy_bounded(extension, dot, static_cast<size_t>(end - dot));
}

char *tamu_get_filename_extension(const char *name, char *out) {
    out[0] = 0;
    if (!name) return nullptr;
    // Only the last component: a dot in a folder's name is no extension.
    const char *last = name;
    for (const char *p = name; *p; p++)
        if (is_separator(*p)) last = p + 1;
    const char *dot = std::strrchr(last, '.');
    if (!dot) return nullptr;
    copy_bounded(out, dot + 1, std::strlen(dot + 1));
    return out;
}

void tamu_fix_backslashes(char *path) {
    if (!path) return;
    for (char *p = path; *p; p++)
        if (*p == '\\') *p = '/';
}

int tamu_resolve_filename(const char *path, char *out) {
    path_builder b{};
    b.clear();
    if (!path) {
        out[0] = 0;
        return 1;
    }
    const char *p = path;
    if (is_separator(*p)) b.append("/");
    while (*p) {
        while (is_separator(*p)) p++;
        if (!*p) break;
        const char *start = p;
        while (*p && !is_separator(*p)) p++;
        int n = static_cast<int>(p - start);
        if (n == 1 && start[0] == '.') continue;
        if (n == 2 && start[0] == '.' && start[1] == '.') {
            go_up(b);
            continue;
        }
        if (n == 1 && start[0] == '~') {
            char home[PATH_CAPACITY];
            if (tamu_platform_home_folder(home) == 0) {
                b.clear();
                b.append(home);
                if (!b.ends_with_separator()) b.append("/");
            }
            continue;
        }
        b.append(start, n);
        if (*p) b.append("/");  // a separator follows: inner, or kept at the end
    }
    if (b.overflow) {
        out[0] = 0;
        return 1;
    }
    std::memcpy(out, b.text, static_cast<size_t>(b.length) + 1);
    return 0;
}

int tamu_unroll_filename(const char *path, char *out) {
    if (tamu_resolve_filename(path, out) != 0) return 1;
    size_t n = std::strlen(out);
    if (n > 0 && out[n - 1] == '/') return 0;
    if (n + 1 > PATH_CAPACITY - 1) {
        out[0] = 0;
        return 1;
    }
    out[n] = '/';
    out[n + 1] = 0;
    return 0;
}

namespace {

bool lower_equal(const char *s, size_t n, const char *word) {
    size_t w = std::strlen(word);
    if (n != w) return false;
    for (size_t i = 0; i < n; i++) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i]) return false;
    }
    return true;
}

// A name Windows takes for a device whatever follows its first dot:
// con, prn, aux, nul, com1-com9, lpt1-lpt9.
bool device_name(const char *component, size_t n) {
    size_t stem = 0;
    while (stem < n && component[stem] != '.') stem++;
    while (stem > 0 && component[stem - 1] == ' ') stem--;
    for (const char *word : {"con", "prn", "aux", "nul"})
        if (lower_equal(component, stem, word)) return true;
    if (stem == 4 && component[3] >= '1' && component[3] <= '9')
        return lower_equal(component, 3, "com") || lower_equal(component, 3, "lpt");
    return false;
}

// The components of a folder being built inside root: each step either
// keeps the path inside or fails.
struct inside_builder {
    path_builder b{};
    int root_length = 0;
    bool refused = false;

    void up() {
        if (b.length <= root_length) {
            refused = true;
            return;
        }
        // Drop the last component and the separator before it.
        int n = b.length;
        while (n > root_length && b.text[n - 1] != '/') n--;
        if (n > root_length) n--;
        b.length = n;
        b.text[n] = 0;
    }
    // One component of n characters (none of them a separator).
    void add(const char *start, size_t n) {
        if (n == 1 && start[0] == '.') return;
        if (n == 2 && start[0] == '.' && start[1] == '.') {
            up();
            return;
        }
        if ((n == 1 && start[0] == '~') || start[n - 1] == '.' || start[n - 1] == ' ' || device_name(start, n)) {
            refused = true;
            return;
        }
        if (b.length > root_length) b.append("/");
        b.append(start, static_cast<int>(n));
    }
    // Every component of the n characters at text.
    void add_all(const char *text, size_t n) {
        size_t i = 0;
        while (i < n && !refused) {
            while (i < n && is_separator(text[i])) i++;
            size_t start = i;
            while (i < n && !is_separator(text[i])) i++;
            if (i > start) add(text + start, i - start);
        }
    }
};

bool acceptable_characters(const char *text, size_t n) {
    for (size_t i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 32 || c == 127 || c == ':') return false;
    }
    return true;
}

}  // namespace

int tamu_resolve_inside(const char *root, const char *folder, const char *name, size_t length, char *out) {
    out[0] = 0;
    if (!root || !root[0] || !name) return -1;
    if (!folder) folder = "";
    size_t folder_length = std::strlen(folder);
    if (!acceptable_characters(name, length) || !acceptable_characters(folder, folder_length)) return -1;
    if (length >= 2 && is_separator(name[0]) && is_separator(name[1])) return -1;

    inside_builder in;
    in.b.clear();
    in.b.append(root);
    if (!is_separator(in.b.text[in.b.length - 1])) in.b.append("/");
    in.root_length = in.b.length;
    if (length == 0 || !is_separator(name[0])) in.add_all(folder, folder_length);
    in.add_all(name, length);
    // A name that names a folder (empty, or ending with a separator) ends
    // with '/'.
    bool folder_name = length == 0 || is_separator(name[length - 1]);
    if (!in.refused && folder_name && in.b.length > in.root_length) in.b.append("/");
    if (in.refused || in.b.overflow) return -1;
    std::memcpy(out, in.b.text, static_cast<size_t>(in.b.length) + 1);
    return in.b.length - in.root_length;
}

int tamu_file_exists(const char *path) {
    cfile *f = tamu_fopen(path, "rb");
    if (!f) return 0;
    tamu_fclose(f);
    return 1;
}

int tamu_directory_exists(const char *path) {
    cfind search;
    int found = tamu_find_first(path, "", &search, TAMU_FIND_DIRECTORY) == 0;
    tamu_find_close(&search);
    return found ? 1 : 0;
}

int tamu_path_join(char *out, const char *a, const char *b, const char *c, const char *d) {
    char joined[1024];
    int n = std::snprintf(joined, sizeof joined, "%s%s%s%s", a ? a : "", b, c, d ? d : "");
    if (n < 0 || n > 1023) {
        out[0] = 0;
        return 1;
    }
    std::memcpy(out, joined, static_cast<size_t>(n) + 1);
    return 0;
}

bool tamu_path_is_set(const char *path) { return path[0] != 0 && path[0] != ' '; }

int tamu_find_prepare(const char *directory, const char *pattern, cfind *search, uint32_t mask) {
    std::memset(search, 0, sizeof *search);
    if (!directory) return 1;
    size_t length = std::strlen(directory);
    if (length > sizeof search->directory - 1) return 1;
    std::memcpy(search->directory, directory, length + 1);
    if (pattern && pattern[0] == '*') {
        size_t n = std::strlen(pattern + 1);
        // No name is longer than 255 characters, so neither is a suffix
        // that can match.
        if (n > sizeof search->suffix - 1) return 1;
        std::memcpy(search->suffix, pattern + 1, n + 1);
        search->suffix_length = static_cast<int32_t>(n);
    }
    search->mask = mask;
    return 0;
}
