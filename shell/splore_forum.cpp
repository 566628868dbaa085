// The cart forum: requests, the cache, list images and the download slot.
#include "zorva_splore.h"

#include "cart_forms.h"
#include "tamu.h"
#include "zorva_app.h"
#include "zorva_cart.h"
#include "zorva_message_bar.h"
#include "zorva_shell_steps.h"
#include "zorva_state.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

char bbs_host[256] = "";
void (*splore_launch_html)(const char *url) = tamu_launch_html;

namespace {

char bbl_filename[BBS_PATH_SIZE];   // cache paths
char bbr_filename[BBS_PATH_SIZE];   // cart URLs
char bbs_list_url[BBS_PATH_SIZE];
char bbs_thread_url[BBS_PATH_SIZE];
char rgb_string[1024];

constexpr int REPORT_AFTER_MS = 500;

// ---------------------------------------------------------------------------
// Downloads
//
// Each download has a record of its own, shared by the main thread and its
// worker; whichever lets go of it last frees it. The worker writes only the
// record's result, so a worker that ends after its download was cancelled
// can never report into the slot, nor into a newer download.

// The base name of a path (after its last '/').
const char *base_name(const char *path) {
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '/' || *p == '\\') name = p + 1;
    return name;
}

bool ends_with(const char *text, const char *end) {
    size_t n = std::strlen(text), m = std::strlen(end);
    return n >= m && std::strcmp(text + n - m, end) == 0;
}

// What a kind of download may bring: at most max_bytes, and for a picture
// its size (0 x 0: any PNG, not decoded here).
struct download_kind {
    int64_t max_bytes;
    bool png;
    int width, height;
};

constexpr int64_t INFO_FILE_BYTES = 64 * 1024;

// The kind of a download by its target's name: a list page, a cart image,
// a label, a cart's info file.
download_kind kind_of_download(const char *path) {
    const char *name = base_name(path);
    int64_t list_bytes = tamu_png_file_bound(PIP_WIDTH, PIP_HEIGHT);
    if (ends_with(name, ".pip.png")) return {list_bytes, true, PIP_WIDTH, PIP_HEIGHT};
    if (std::strstr(name, ".zv.png"))
        return {tamu_png_file_bound(CART_PNG_WIDTH, CART_PNG_HEIGHT), true, CART_PNG_WIDTH, CART_PNG_HEIGHT};
    if (std::strstr(path, "labels/") && std::strstr(name, ".png"))
        return {tamu_png_file_bound(SPLORE_LABEL_SIZE, SPLORE_LABEL_SIZE), true, SPLORE_LABEL_SIZE, SPLORE_LABEL_SIZE};
    if (std::strstr(name, ".nfo")) return {INFO_FILE_BYTES, false, 0, 0};
    return {list_bytes, std::strstr(name, ".png") != nullptr, 0, 0};
}

struct download_job {
    char url[BBS_PATH_SIZE];
    char part_path[BBS_PATH_SIZE + 32];   // where the fetch writes
    download_kind kind;
    std::atomic<int> stop{0};             // set when the download is let go
    int fetched = TAMU_WGET_FAILED;       // what tamu_wget_limited said
    char failure[512] = {};               // and why, for the main thread's log
    unsigned char *pixels = nullptr;      // a picture of the kind's size, decoded
    std::atomic<int> result{DOWNLOAD_RUNNING};
    std::atomic<int> refs{2};
};

// Handed from the starter to the worker thread it creates (a thread body
// takes no argument). Every pending job has one thread on its way to take
// one of them.
constexpr int PENDING_JOBS = 64;
std::atomic<download_job *> pending_jobs[PENDING_JOBS];
std::atomic<int> live_workers{0};
// The job of the slot's running download (main thread only).
download_job *current_job = nullptr;
unsigned download_number = 0;
// What the last collected download brought (main thread only): the
// picture decoded by its worker, for the file now at its temporary path,
// until the poll uses it; and tamu_wget_limited's word on a failure.
std::string downloaded_path;
unsigned char *downloaded_pixels = nullptr;
int failed_fetch = TAMU_WGET_DONE;

void forget_downloaded_picture() {
    std::free(downloaded_pixels);
    downloaded_pixels = nullptr;
    downloaded_path.clear();
}

// The worker's picture of the file at path, handed over (null when there
// is none).
unsigned char *take_downloaded_picture(const char *path) {
    unsigned char *pixels = path && downloaded_path == path ? downloaded_pixels : nullptr;
    if (pixels) downloaded_pixels = nullptr;
    forget_downloaded_picture();
    return pixels;
}

void release_job(download_job *job) {
    if (job->refs.fetch_sub(1) != 1) return;
    // Left behind by a download that was cancelled or never collected (no
    // larger than its kind's bound).
    std::remove(job->part_path);
    std::free(job->pixels);
    delete job;
}

download_job *take_pending_job() {
    for (auto &slot : pending_jobs)
        if (download_job *job = slot.exchange(nullptr)) return job;
    return nullptr;
}

bool put_pending_job(download_job *job) {
    for (auto &slot : pending_jobs) {
        download_job *expected = nullptr;
        if (slot.compare_exchange_strong(expected, job)) return true;
    }
    return false;
}

// Up to max_bytes of a file, read with the C library alone (the worker
// thread must not reach the virtual disk, which the main thread owns).
// False when it cannot be read or is longer.
bool read_whole_file(const char *path, int64_t max_bytes, std::vector<uint8_t> &out) {
    out.clear();
    FILE *f = path && path[0] ? std::fopen(path, "rb") : nullptr;
    if (!f) return false;
    uint8_t chunk[65536];
    size_t n;
    bool ok = true;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (int64_t(out.size() + n) > max_bytes) {
            ok = false;
            break;
        }
        out.insert(out.end(), chunk, chunk + n);
    }
    ok = ok && !std::ferror(f);
    std::fclose(f);
    return ok;
}

// A fetched file as its kind needs it: within its bound and, for a
// picture, a PNG. A picture of the kind's size is decoded here (its pixels
// in *pixels when asked for); one of another size is left to the loader,
// which refuses it by its header alone.
bool fetched_file_ok(const char *path, const download_kind &kind, unsigned char **pixels) {
    std::vector<uint8_t> bytes;
    if (!read_whole_file(path, kind.max_bytes, bytes)) return false;
    if (!kind.png) return true;
    unsigned w = 0, h = 0;
    if (tamu_png_size_from_bytes(bytes.data(), bytes.size(), &w, &h) != 0) return false;
    if (kind.width == 0 || w != unsigned(kind.width) || h != unsigned(kind.height)) return true;
    cfile *f = tamu_fopen_memory(bytes.data(), int(bytes.size()));
    unsigned char *decoded = nullptr;
    unsigned e = LodePNG_decode32_tamu_file_sized(&decoded, f, w, h, nullptr, nullptr);
    tamu_fclose(f);
    if (pixels)
        *pixels = decoded;
    else
        std::free(decoded);
    return e == 0;
}

// Puts the fetched file at the temporary path (replacing an older one).
bool move_into_place(const char *from, const char *to) {
    if (std::rename(from, to) == 0) return true;
    std::remove(to);
    return std::rename(from, to) == 0;
}

// Lets go of the slot's download: its worker ends its fetch (and wget)
// at once and removes its file.
void abandon_current_job() {
    if (current_job) {
        current_job->stop = 1;
        release_job(current_job);
    }
    current_job = nullptr;
    tamu_destroy_thread(app.download_slot.thread);
    app.download_slot.thread = nullptr;
}

// Starts the slot's download of its URL into its temporary path.
int start_download(const char *url, const char *temp_path, const char *final_path) {
    collect_download_result();
    download_slot_record &slot = app.download_slot;
    if (slot.state != DOWNLOAD_IDLE) return 1;
    // No target, or a text cut to fit the slot, which would name another
    // file or request: nothing starts.
    if (!url || !temp_path || !temp_path[0] || std::strlen(url) >= sizeof slot.url ||
        std::strlen(temp_path) >= sizeof slot.temp_path || (final_path && std::strlen(final_path) >= sizeof slot.final_path))
        return 1;
    abandon_current_job();   // any thread handle left behind
    forget_downloaded_picture();
    failed_fetch = TAMU_WGET_DONE;
    std::snprintf(slot.url, sizeof slot.url, "%s", url);
    std::snprintf(slot.temp_path, sizeof slot.temp_path, "%s", temp_path);
    if (final_path) std::snprintf(slot.final_path, sizeof slot.final_path, "%s", final_path);
    slot.state = DOWNLOAD_RUNNING;
    slot.start_time = zorva_clock();
    anim_t = 0;

    auto *job = new download_job;
    std::snprintf(job->url, sizeof job->url, "%s", slot.url);
    std::snprintf(job->part_path, sizeof job->part_path, "%s.part%u", slot.temp_path, ++download_number);
    job->kind = kind_of_download(slot.temp_path);
    current_job = job;
    live_workers++;
    if (put_pending_job(job)) {
        slot.thread = tamu_create_thread(download_worker);
        if (slot.thread) return 0;
        // No thread for it: take it back (or, when an older worker took it,
        // one of the cancelled jobs that worker was meant for).
        bool taken_back = false;
        for (auto &pending : pending_jobs) {
            download_job *expected = job;
            if (pending.compare_exchange_strong(expected, nullptr)) {
                taken_back = true;
                break;
            }
        }
        if (!taken_back) {
            if (download_job *other = take_pending_job()) {
                release_job(other);   // its starter let go of it long ago
                live_workers--;
            }
            return 0;
        }
        job->refs--;   // no worker will hold it
    } else {
        job->refs--;
    }
    live_workers--;
    tamu_debug("download: no worker thread\n");
    abandon_current_job();
    slot.state = DOWNLOAD_FAILED;
    return 0;
}

// A list's index by the name in a temporary list path ("temp_NAME.pip.png"
// or "temp_NAME__.pip.png"), among lists 1 and up; -1 when none. Only the
// file name counts: the folders above it may hold any text.
int list_of_temp_path(const char *path, bool *append) {
    std::string name = base_name(path);
    *append = ends_with(name.c_str(), "__.pip.png");
    const char *suffix = *append ? "__.pip.png" : ".pip.png";
    if (name.compare(0, 5, "temp_") != 0 || !ends_with(name.c_str(), suffix)) return -1;
    name = name.substr(5, name.size() - 5 - std::strlen(suffix));
    for (int i = splore_lists - 1; i >= 1; i--)
        if (splore_list[i].name && name == splore_list[i].name) return i;
    return -1;
}

void finish_list_download(const char *temp_path) {
    download_slot_record &slot = app.download_slot;
    bool append = false;
    int target = list_of_temp_path(temp_path, &append);
    unsigned char *pixels = take_downloaded_picture(temp_path);
    if (target < 0) {
        std::free(pixels);
        return;
    }
    splore_list_record *current = list_index >= 0 && list_index < splore_lists ? &splore_list[list_index] : nullptr;
    splore_list_record *list = &splore_list[target];
    int result = pixels ? populate_splore_list_from_pixels(list, pixels, PIP_WIDTH, PIP_HEIGHT, append ? 1 : 0)
                        : populate_splore_list_from_png_file(list, temp_path, append ? 1 : 0);
    std::free(pixels);
    if (result != 0) {
        show_message("could not connect to bbs", MESSAGE_FAILURE_MS);
        std::remove(temp_path);   // a page that does not load is not kept
        if (current) clamp_list_selection(current);
    } else {
        if (slot.final_path[0]) move_into_place(temp_path, slot.final_path);
        if (current) {
            if (!append && current->count >= 2) current->selected = 1;
            clamp_list_selection(current);
        }
    }
    selected_t = zorva_clock();
}

void finish_cart_download(const char *temp_path) {
    zorva_cart *cart = load_downloaded_cart(temp_path);
    if (cart) {
        prepare_loaded_cart(cart, temp_path);
        cart_launch_t = 1;
        return;
    }
    switch (last_png_load_error) {
    case PNG_CART_NOT_PNG: show_message("could not connect to bbs", MESSAGE_FAILURE_MS); break;
    case PNG_CART_FUTURE_VERSION: show_message("future version. please update!", MESSAGE_FAILURE_MS); break;
    default: show_message("could not load", MESSAGE_FAILURE_MS); break;
    }
}

// A text of a list-image cell: row r of the cell, green bytes up to a zero.
void cell_text(const uint8_t *rgba, int cell, int r, char *out) {
    int x0 = (cell % PIP_COLUMNS) * PIP_CELL_W, y = (cell / PIP_COLUMNS) * PIP_CELL_H + PIP_TEXT_ROW + r;
    const uint8_t *p = rgba + 4 * (size_t(y) * PIP_WIDTH + size_t(x0));
    int n = 0;
    for (; n < PIP_TEXT_BYTES && n < SPLORE_TEXT_SIZE - 1; n++) {
        uint8_t g = p[4 * n + 1];
        if (!g) break;
        out[n] = char(g);
    }
    out[n] = 0;
}

// An id as read from a list image names no file and breaks no line of a
// list file: '|' and bytes outside 32..126 become '_'.
void tame_id(char *id) {
    for (char *p = id; *p; p++) {
        auto c = static_cast<unsigned char>(*p);
        if (c == '|' || c < 32 || c > 126) *p = '_';
    }
}

long clamp_int(long long v) { return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : long(v); }

// Up to three whole numbers from a text (missing ones read 0; values
// beyond 32 bits are held at the limits).
void read_numbers(const char *text, long numbers[3]) {
    const char *p = text;
    for (int i = 0; i < 3; i++) {
        numbers[i] = 0;
        char *end = nullptr;
        long long v = std::strtoll(p, &end, 10);
        if (end == p) {
            for (int j = i; j < 3; j++) numbers[j] = 0;
            return;
        }
        numbers[i] = clamp_int(v);
        p = end;
    }
}

void add_head_row(splore_list_record *list) {
    clear_splore_list(list);
    splore_item *head = add_splore_item(list, 0);
    head->icon = SPLORE_ICON_HEAD_ROW;
    bool search = list->name && std::strcmp(list->name, "search") == 0;
    copy_splore_text(head->title, search ? "[search]" : "[update]");
    head->kind = search ? SPLORE_KIND_SEARCH : SPLORE_KIND_UPDATE;
}

// 1 while the list begins with its "[update]" or "[search]" row.
void refresh_head_row(splore_list_record *list) {
    int kind = list->count > 0 ? list->items[0].kind : 0;
    list->head_row = kind == SPLORE_KIND_UPDATE || kind == SPLORE_KIND_SEARCH ? 1 : 0;
}

void read_cells(splore_list_record *list, const uint8_t *rgba) {
    bool page_ended = false;
    for (int cell = 0; cell < PIP_CELLS; cell++) {
        char text[SPLORE_TEXT_SIZE];
        cell_text(rgba, cell, 0, text);
        long numbers[3];
        read_numbers(text, numbers);
        if (numbers[0] == 0) {
            page_ended = true;
            continue;
        }
        splore_item *e = add_splore_item(list, 0);
        e->catsub = int32_t(numbers[2]);
        cell_text(rgba, cell, 1, e->title);
        cell_text(rgba, cell, 2, e->author);
        cell_text(rgba, cell, 3, e->lid);
        cell_text(rgba, cell, 4, e->mid);
        if (!e->lid[0]) std::snprintf(e->lid, sizeof e->lid, "%ld", numbers[0]);
        if (!e->mid[0]) std::snprintf(e->mid, sizeof e->mid, "%ld", numbers[1]);
        tame_id(e->lid);
        tame_id(e->mid);
        sanitise_title_string(e->title);
        sanitise_author_string(e->author);
        e->kind = SPLORE_KIND_CART;
        e->label = label_from_rgba(rgba, PIP_WIDTH, PIP_HEIGHT, (cell % PIP_COLUMNS) * PIP_CELL_W,
                                   (cell / PIP_COLUMNS) * PIP_CELL_H);
    }
    if (!page_ended && list->count >= 2) {
        splore_item *more = add_splore_item(list, 0);
        more->icon = SPLORE_ICON_HEAD_ROW;
        more->kind = SPLORE_KIND_LOAD_MORE;
        copy_splore_text(more->title, "[load more]");
        more->label = tamu_create_bitmap(SPLORE_LABEL_SIZE, SPLORE_LABEL_SIZE, 8);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Requests and the cache

// A cache path into the shared buffer; a path that does not fit is no path
// (cut, it would name another file).
static const char *set_cache_path(const std::string &path) {
    bbl_filename[0] = 0;
    if (path.size() < sizeof bbl_filename) std::memcpy(bbl_filename, path.c_str(), path.size() + 1);
    return bbl_filename;
}

char get_platform_char() {
#if defined(_WIN32)
    return 'w';
#else
    return 'l';
#endif
}

void percent_encode(const char *text, char *out, int capacity) {
    static const char hex[] = "0123456789ABCDEF";
    int n = 0;
    for (const char *p = text ? text : ""; *p; p++) {
        auto c = static_cast<unsigned char>(*p);
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '.' || c == '_' || c == '~';
        int need = keep ? 1 : 3;
        if (n + need > capacity - 1) break;
        if (keep) {
            out[n++] = char(c);
        } else {
            out[n++] = '%';
            out[n++] = hex[c >> 4];
            out[n++] = hex[c & 15];
        }
    }
    if (capacity > 0) out[n] = 0;
}

bool valid_bbs_host(const char *host) {
    if (!host || !host[0] || std::strlen(host) >= sizeof bbs_host) return false;
    for (const char *p = host; *p; p++) {
        auto c = static_cast<unsigned char>(*p);
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || std::strchr(".-_:[]", c);
        if (!ok) return false;
    }
    return true;
}

int set_bbs_host(const char *host) {
    if (host && !host[0]) {
        bbs_host[0] = 0;
        return 0;
    }
    if (!valid_bbs_host(host)) {
        tamu_debug("bbs_host: not a host name; no forum is used\n");
        bbs_host[0] = 0;
        return 1;
    }
    std::snprintf(bbs_host, sizeof bbs_host, "%s", host);
    return 0;
}

const char *get_bbs_cart_url(const char *lid) {
    bbr_filename[0] = 0;
    if (!valid_forum_id(lid) || !bbs_host[0]) return bbr_filename;
    bool numeric = std::strspn(lid, "0123456789") == std::strlen(lid);
    if (numeric) {
        long n = std::strtol(lid, nullptr, 10);
        std::snprintf(bbr_filename, sizeof bbr_filename, "http://%s/bbs/cposts/%ld/%ld.zv.png", bbs_host, n / 10000, n);
    } else {
        std::snprintf(bbr_filename, sizeof bbr_filename, "http://%s/bbs/cposts/%c%c/%s.zv.png", bbs_host, lid[0], lid[1],
                      lid);
    }
    return bbr_filename;
}

const char *get_bbs_cart_filename_legacy(int n, int info) {
    bbl_filename[0] = 0;
    if (n < 0) return bbl_filename;
    char folder[BBS_PATH_SIZE], sub[64];
    if (tamu_prefix_with_appdata_path("bbs", folder) != 0) return bbl_filename;
    tamu_mkdir(folder);
    std::snprintf(sub, sizeof sub, "bbs/%d/", n / 10000);
    if (tamu_prefix_with_appdata_path(sub, folder) != 0) return bbl_filename;
    tamu_mkdir(folder);
    std::string number = std::to_string(n);
    return set_cache_path(std::string(folder) + (info ? "temp-" + number + ".nfo" : number + ".zv.png"));
}

const char *get_bbs_cart_filename_ex(const char *lid, int info) {
    bbl_filename[0] = 0;
    // The id names files: only a forum id may (no folders, no dots).
    if (!valid_forum_id(lid)) return bbl_filename;
    if (std::strspn(lid, "0123456789") == std::strlen(lid))
        return get_bbs_cart_filename_legacy(int(std::strtol(lid, nullptr, 10)), info);
    char folder[BBS_PATH_SIZE];
    if (tamu_prefix_with_appdata_path("bbs", folder) != 0) return bbl_filename;
    tamu_mkdir(folder);
    if (tamu_prefix_with_appdata_path("bbs/carts", folder) != 0) return bbl_filename;
    tamu_mkdir(folder);
    return set_cache_path(std::string(folder) + (info ? "/temp-" + std::string(lid) + ".nfo" : "/" + std::string(lid) + ".zv.png"));
}

const char *get_bbs_cart_filename(const char *lid) { return get_bbs_cart_filename_ex(lid, 0); }
const char *get_bbs_cart_filename_nfo(const char *lid) { return get_bbs_cart_filename_ex(lid, 1); }

const char *get_bbs_list_url(const char *query, int start_index) {
    bbs_list_url[0] = 0;
    if (!bbs_host[0]) return bbs_list_url;
    std::snprintf(bbs_list_url, sizeof bbs_list_url, "http://%s/bbs/cpost_lister3.php?max=32&start_index=%d&%s&version=%s%c",
                  bbs_host, start_index, query ? query : "", BBS_VERSION_CODE, get_platform_char());
    return bbs_list_url;
}

const char *get_bbs_thread_url(const char *lid) {
    bbs_thread_url[0] = 0;
    // The id goes into the address as it is: only a forum id may.
    if (!valid_forum_id(lid) || !bbs_host[0]) return bbs_thread_url;
    std::snprintf(bbs_thread_url, sizeof bbs_thread_url, "https://%s/bbs/?pid=%s", bbs_host, lid);
    return bbs_thread_url;
}

bool check_bbs_file_ok(const char *path) {
    if (!path || !path[0]) return false;
    download_kind kind = kind_of_download(path);
    kind.png = std::strstr(path, ".png") != nullptr;
    return fetched_file_ok(path, kind, nullptr);
}

zorva_cart *load_downloaded_cart(const char *path) {
    zorva_cart *cart = nullptr;
    if (unsigned char *pixels = take_downloaded_picture(path)) {
        cart = load_zorva_cart_png_pixels(pixels);
        if (cart) cart->label = label_from_cart_pixels(pixels);
        std::free(pixels);
    } else {
        cart = load_zorva_cart_png(path);
    }
    // The cache keeps no cart that does not load.
    if (!cart && path) std::remove(path);
    return cart;
}

cbitmap *create_label_from_cart_lid(const char *lid) {
    std::string cached = get_bbs_cart_filename(lid);
    if (cached.empty()) return nullptr;
    if (cbitmap *label = create_label_from_file(cached.c_str())) return label;
    // The cache keeps no cart that does not load (its picture of the wrong
    // size, or no PNG at all).
    if (tamu_file_exists(cached.c_str())) std::remove(cached.c_str());
    char path[BBS_PATH_SIZE];
    if (tamu_prefix_with_appdata_path("bbs/labels/", path) != 0) return nullptr;
    std::string file = std::string(path) + lid + ".png";
    cfile *f = tamu_fopen(file.c_str(), "rb");
    if (!f) return nullptr;
    unsigned char *pixels = nullptr;
    unsigned e = LodePNG_decode32_tamu_file_sized(&pixels, f, SPLORE_LABEL_SIZE, SPLORE_LABEL_SIZE, nullptr, nullptr);
    tamu_fclose(f);
    cbitmap *label = e == 0 ? label_from_rgba(pixels, SPLORE_LABEL_SIZE, SPLORE_LABEL_SIZE, 0, 0) : nullptr;
    std::free(pixels);
    if (!label) std::remove(file.c_str());
    return label;
}

// ---------------------------------------------------------------------------
// List images

// A list that gets no usable image (result 1: none, 2: not 1024 x 544)
// keeps its entries; an empty one gets its head row, so that it can be
// fetched again.
static int list_without_image(splore_list_record *list, int append, int result) {
    bool favourites = list->name && std::strcmp(list->name, "fav") == 0;
    if (!append && list->count == 0 && !favourites) add_head_row(list);
    refresh_head_row(list);
    return result;
}

int populate_splore_list_from_pixels(splore_list_record *list, const uint8_t *rgba, int width, int height,
                                     int append) {
    bool favourites = list->name && std::strcmp(list->name, "fav") == 0;
    if (!rgba) return list_without_image(list, append, 1);
    if (width != PIP_WIDTH || height != PIP_HEIGHT) return list_without_image(list, append, 2);
    if (append) {
        if (list->count > 0 && list->items[list->count - 1].kind == SPLORE_KIND_LOAD_MORE)
            remove_splore_item(list, list->count - 1);
    } else if (!favourites) {
        add_head_row(list);
    }
    read_cells(list, rgba);
    refresh_head_row(list);
    update_list_favourites(list);
    return 0;
}

// Reads a list image from an open file (or none): its header first, so
// that a picture of another size is refused undecoded.
static int populate_splore_list_from_cfile(splore_list_record *list, cfile *f, int append) {
    unsigned char *rgba = nullptr;
    unsigned w = 0, h = 0;
    unsigned e = f ? LodePNG_decode32_tamu_file_sized(&rgba, f, PIP_WIDTH, PIP_HEIGHT, &w, &h) : TAMU_IMAGE_ERROR_NO_FILE;
    int result = e == TAMU_IMAGE_ERROR_WRONG_SIZE ? list_without_image(list, append, 2)
                 : e                             ? list_without_image(list, append, 1)
                                                 : populate_splore_list_from_pixels(list, rgba, PIP_WIDTH, PIP_HEIGHT, append);
    std::free(rgba);
    return result;
}

int populate_splore_list_from_png_data(splore_list_record *list, const uint8_t *png, size_t length, int append) {
    cfile *f = png && length > 0 && length <= size_t(INT32_MAX) ? tamu_fopen_memory(png, int(length)) : nullptr;
    int result = populate_splore_list_from_cfile(list, f, append);
    if (f) tamu_fclose(f);
    return result;
}

int populate_splore_list_from_png_file(splore_list_record *list, const char *file, int append) {
    cfile *f = file && file[0] ? tamu_fopen(file, "rb") : nullptr;
    int result = populate_splore_list_from_cfile(list, f, append);
    if (f) tamu_fclose(f);
    return result;
}

const char *get_string_from_rgb(const uint32_t *row) {
    std::memset(rgb_string, 0, sizeof rgb_string);
    for (int i = 0; i < PIP_TEXT_BYTES && row; i++) {
        uint8_t first;
        std::memcpy(&first, &row[i], 1);
        rgb_string[i] = char(first);
    }
    return rgb_string;
}

// ---------------------------------------------------------------------------
// The download slot

int download_file(const char *url, const char *target) { return start_download(url, target, nullptr); }

// With no forum set nothing is contacted: an idle slot reports it as a
// download that could not connect.
static bool no_forum() {
    if (bbs_host[0]) return false;
    if (app.download_slot.state == DOWNLOAD_IDLE) {
        show_message("could not connect to bbs.", MESSAGE_FAILURE_MS);
        pstate.hold_counter = 0;
    }
    return true;
}

void download_list(const char *name, const char *query, int start_index) {
    if (!name || no_forum()) return;
    char temp[BBS_PATH_SIZE] = "", final_path[BBS_PATH_SIZE] = "", file[256];
    if (start_index == 0) {
        std::snprintf(file, sizeof file, "bbs/temp_%s.pip.png", name);
        tamu_prefix_with_appdata_path(file, temp);
        std::snprintf(file, sizeof file, "bbs/%s.pip.png", name);
        tamu_prefix_with_appdata_path(file, final_path);
    } else {
        std::snprintf(file, sizeof file, "bbs/temp_%s__.pip.png", name);
        tamu_prefix_with_appdata_path(file, temp);
    }
    start_download(get_bbs_list_url(query, start_index), temp, final_path);
}

void download_list_constprop_10(const char *name, const char *query) { download_list(name, query, 0); }

void download_bbs_cart(const char *lid) {
    // An id that is missing, too short or not a forum id has no request.
    if (!valid_forum_id(lid)) {
        cancel_download("download failed");
        return;
    }
    if (no_forum()) return;
    char target[BBS_PATH_SIZE], url[BBS_PATH_SIZE];
    std::snprintf(target, sizeof target, "%s", get_bbs_cart_filename(lid));
    std::snprintf(url, sizeof url, "%s", get_bbs_cart_url(lid));
    download_file(url, target);
}

void download_worker() {
    download_job *job = take_pending_job();
    if (!job) return;
    job->fetched = tamu_wget_limited(job->url, job->part_path, job->kind.max_bytes, &job->stop);
    std::snprintf(job->failure, sizeof job->failure, "%s", tamu_wget_failure());
    bool ok = job->fetched == TAMU_WGET_DONE && !job->stop && fetched_file_ok(job->part_path, job->kind, &job->pixels);
    job->result = ok ? DOWNLOAD_DONE : DOWNLOAD_FAILED;
    release_job(job);
    live_workers--;
}

void collect_download_result() {
    download_slot_record &slot = app.download_slot;
    if (!current_job) return;
    if (slot.state != DOWNLOAD_RUNNING) {
        // The slot was set back to idle behind the download's back.
        abandon_current_job();
        return;
    }
    // Past its time, a download ends as the time-out, whatever its worker
    // has found meanwhile (the poll says so).
    if (download_timed_out()) return;
    int result = current_job->result;
    if (result == DOWNLOAD_RUNNING) return;
    if (current_job->failure[0]) tamu_debugf("tamu_wget failed: %.400s\n", current_job->failure);
    if (result == DOWNLOAD_DONE && !move_into_place(current_job->part_path, slot.temp_path)) result = DOWNLOAD_FAILED;
    failed_fetch = result == DOWNLOAD_FAILED ? current_job->fetched : TAMU_WGET_DONE;
    if (result == DOWNLOAD_DONE && current_job->pixels) {
        downloaded_path = slot.temp_path;
        downloaded_pixels = current_job->pixels;
        current_job->pixels = nullptr;
    }
    abandon_current_job();
    slot.state = result;
}

bool download_timed_out() {
    const download_slot_record &slot = app.download_slot;
    return slot.state == DOWNLOAD_RUNNING &&
           int64_t(zorva_clock()) > int64_t(slot.start_time) + int64_t(cconfig.timeout) * 1000;
}

void cancel_download(const char *message) {
    download_slot_record &slot = app.download_slot;
    slot.state = DOWNLOAD_IDLE;
    abandon_current_job();
    if (message) show_message(message, MESSAGE_FAILURE_MS);
    pstate.hold_counter = 0;
}

int download_workers_running() { return live_workers; }

void release_download_slot() {
    abandon_current_job();
    forget_downloaded_picture();
    app.download_slot.state = DOWNLOAD_IDLE;
}

void update_splore_download() {
    download_slot_record &slot = app.download_slot;
    // The time-out first: a worker that gave up at the same moment failed
    // for the same reason.
    if (download_timed_out()) {
        cancel_download("timeout");
        return;
    }
    collect_download_result();
    int now = zorva_clock();
    if (!(slot.start_time + REPORT_AFTER_MS - 1 < now)) return;
    if (slot.state == DOWNLOAD_FAILED) {
        slot.state = DOWNLOAD_IDLE;
        // A redirect, or more than the file can hold: the player refused it.
        bool refused = failed_fetch == TAMU_WGET_REDIRECTED || failed_fetch == TAMU_WGET_TOO_LARGE;
        show_message(refused ? "download failed" : "could not connect to bbs.", MESSAGE_FAILURE_MS);
    } else if (slot.state == DOWNLOAD_DONE) {
        slot.state = DOWNLOAD_IDLE;
        const char *name = base_name(slot.temp_path);
        if (std::strstr(name, ".pip"))
            finish_list_download(slot.temp_path);
        else if (std::strstr(name, ".zv.png"))
            finish_cart_download(slot.temp_path);
    }
}
