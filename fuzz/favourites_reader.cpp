// Feeds arbitrary text to the reader of "favourites.txt" (any list file)
// and checks what it promises: only carts, no two equal entries, every
// field terminated and sanitised; and that what it read writes out and
// reads back as the same entries (titles up to their trailing spaces).
#include "tamu.h"
#include "zorva_splore.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

static void check(bool ok) {
    if (!ok) std::abort();
}

static bool terminated(const char *field) { return std::memchr(field, 0, SPLORE_TEXT_SIZE) != nullptr; }

static void check_list(splore_list_record *list) {
    for (int i = 0; i < list->count; i++) {
        const splore_item &e = list->items[i];
        check(e.kind == SPLORE_KIND_CART && e.label == nullptr);
        check(terminated(e.title) && terminated(e.author) && terminated(e.path) && terminated(e.lid) &&
              terminated(e.mid));
        check(e.lid[0] || e.path[0]);
        check(find_item_index(list, e.lid, e.path) == i);
        check(std::strlen(e.author) <= size_t(SPLORE_AUTHOR_CHARS));
        for (const char *p = e.author; *p; p++) check((*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9') || *p == '_');
        for (const char *p = e.title; *p; p++) {
            unsigned char c = static_cast<unsigned char>(*p);
            check(c >= 32 && c <= 127 && c != '|' && !(c >= 'A' && c <= 'Z'));
        }
        for (const char *field : {e.lid, e.mid, e.path})
            for (const char *p = field; *p; p++) check(*p != '|' && *p != '\n' && *p != '\r');
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 16) return 0;
    static std::string path = "/tmp/zorva_fuzz_favourites_" + std::to_string(getpid()) + ".txt";
    splore_list_record list{};
    read_splore_list_text(&list, reinterpret_cast<const char *>(data), size);
    check_list(&list);

    // Written and read back: the same entries.
    check(save_splore_list_to_file(&list, path.c_str()) == 0);
    splore_list_record back{};
    check(populate_splore_list_from_text_file(&back, path.c_str()) == 0);
    check(back.count == list.count);
    for (int i = 0; i < list.count; i++) {
        const splore_item &a = list.items[i], &b = back.items[i];
        check(std::strcmp(a.lid, b.lid) == 0 && std::strcmp(a.mid, b.mid) == 0 && a.catsub == b.catsub);
        check(std::strcmp(a.author, b.author) == 0);
        // Sanitising may leave spaces at the end of a title (in place of
        // bytes the console does not show), which the next read trims.
        std::string ta = a.title, tb = b.title;
        while (!ta.empty() && ta.back() == ' ') ta.pop_back();
        check(ta == tb);
        check(std::strcmp(a.path, b.path) == 0);
    }
    std::remove(path.c_str());
    free_splore_list(&list);
    free_splore_list(&back);
    return 0;
}
