// Feeds arbitrary bytes to the reader of the forum's list images: with the
// first byte even, the rest as a PNG file (once as given and once with
// every chunk's CRC made right, so that mutations reach the decoder); with
// it odd, the rest as the text rows of the 32 cells of a 1024 x 544 image
// (and its label pixels), as a first page and as a further one. Checks what
// the reader promises: a result of 0, 1 or 2, a list that begins with its
// head row, carts with terminated, sanitised texts, ids that name no folder
// and break no line, labels of console colours, and at most one
// "[load more]", last.
#include "png_crc.h"
#include "tamu.h"
#include "zorva_splore.h"

#include <lodepng.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

static void check(bool ok) {
    if (!ok) std::abort();
}

static bool terminated(const char *field) { return std::memchr(field, 0, SPLORE_TEXT_SIZE) != nullptr; }

static void check_list(splore_list_record *list, int result) {
    check(result >= 0 && result <= 2);
    check(list->count <= 2 * (PIP_CELLS + 2));
    check(list->count >= 1 && list->items[0].kind == SPLORE_KIND_UPDATE && list->head_row == 1);
    for (int i = 1; i < list->count; i++) {
        const splore_item &e = list->items[i];
        check(terminated(e.title) && terminated(e.author) && terminated(e.path) && terminated(e.lid) &&
              terminated(e.mid));
        if (e.kind == SPLORE_KIND_LOAD_MORE) {
            check(i == list->count - 1);
            continue;
        }
        check(e.kind == SPLORE_KIND_CART);
        check(e.lid[0] && e.mid[0] && !e.path[0]);
        for (const char *p = e.title; *p; p++) {
            unsigned char c = static_cast<unsigned char>(*p);
            check(c >= 32 && c <= 127 && c != '|' && !(c >= 'A' && c <= 'Z'));
        }
        check(std::strlen(e.author) <= size_t(SPLORE_AUTHOR_CHARS));
        for (const char *field : {e.lid, e.mid})
            for (const char *p = field; *p; p++) check(*p >= 32 && *p <= 126 && *p != '|');
        // An id from an image may name cache files only when it is a forum id.
        check(get_bbs_cart_filename(e.lid)[0] == 0 || valid_forum_id(e.lid));
        check(e.label && e.label->width == 128 && e.label->height == 128 && e.label->bpp == 8);
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) check(e.label->rows[y][x] < 16);
    }
}

static void read_png(const uint8_t *data, size_t size) {
    splore_list_record list{};
    list.name = "new";
    int result = populate_splore_list_from_png_data(&list, data, size, 0);
    check_list(&list, result);
    free_splore_list(&list);
}

static void read_cells(const uint8_t *data, size_t size) {
    std::vector<uint8_t> rgba(size_t(PIP_WIDTH) * PIP_HEIGHT * 4, 0);
    size_t at = 0;
    for (int cell = 0; cell < PIP_CELLS; cell++) {
        int x0 = (cell % PIP_COLUMNS) * PIP_CELL_W, y0 = (cell / PIP_COLUMNS) * PIP_CELL_H;
        for (int row = 0; row < 5; row++)
            for (int x = 0; x < PIP_TEXT_BYTES && at < size; x++)
                rgba[4 * (size_t(y0 + PIP_TEXT_ROW + row) * PIP_WIDTH + size_t(x0 + x)) + 1] = data[at++];
    }
    // What is left colours the labels.
    for (size_t i = 0; at < size && i < rgba.size(); i += 4 * 97, at++) rgba[i] = data[at];
    splore_list_record list{};
    list.name = "new";
    check_list(&list, populate_splore_list_from_pixels(&list, rgba.data(), PIP_WIDTH, PIP_HEIGHT, 0));
    check_list(&list, populate_splore_list_from_pixels(&list, rgba.data(), PIP_WIDTH, PIP_HEIGHT, 1));
    free_splore_list(&list);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 1 << 20) return 0;
    const uint8_t *rest = data + 1;
    size_t n = size - 1;
    if (data[0] & 1) {
        read_cells(rest, n);
        return 0;
    }
    read_png(rest, n);
    std::vector<uint8_t> fixed = png_with_fixed_crcs(rest, n);
    if (!fixed.empty()) read_png(fixed.data(), fixed.size());
    return 0;
}
