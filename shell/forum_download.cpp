// The download slot, its worker, and the forum cart cache paths and URLs.
#include "forum_download.h"

#include "tamu.h"
#include "zorva_app.h"
#include "zorva_shell_steps.h"
#include "zorva_state.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

char bbs_base_url[BBS_BASE_SIZE] = "http://www.zorva.example";

namespace {

constexpr int FAILURE_MS = 1500;

// The worker's word: the download's number in the high half, its state
// (running, done, failed) in the low half. Written by the starter and the
// canceller on the main thread and, once, by the worker, which only ever
// replaces "its number, running" with "its number, done or failed".
std::atomic<uint64_t> worker_word{0};
// The number of the last download started (main thread).
uint32_t download_number = 0;
// 1 from a start until its worker has taken its URL, path and number out
// of the slot; no other download may be put into the slot meanwhile.
std::atomic<int> job_waiting{0};

uint64_t word(uint32_t number, int state) { return uint64_t(number) << 32 | uint32_t(state); }

char bbl_filename[APP_TEXT_SIZE];
char bbr_filename[APP_TEXT_SIZE];

bool id_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// A numeric id (decimal digits only, within int) into *n.
bool numeric_id(const char *lid, int *n) {
    if (!lid[0]) return false;
    for (const char *p = lid; *p; p++)
        if (*p < '0' || *p > '9') return false;
    long value = std::strtol(lid, nullptr, 10);
    if (value > 0x7FFFFFFFL) return false;
    *n = int(value);
    return true;
}

// The file exists on disk and, for a ".png" path, decodes as a PNG image.
// Runs on the worker thread: only the disk is read (the virtual disk
// belongs to the main thread).
bool fetched_file_ok(const char *path) {
    std::FILE *f = std::fopen(path, "rb");
    if (!f) return false;
    if (!std::strstr(path, ".png")) {
        std::fclose(f);
        return true;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[16384];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (bytes.size() > size_t(TAMU_IMAGE_MAX_FILE_BYTES)) break;
    }
    std::fclose(f);
    if (bytes.empty() || bytes.size() > size_t(TAMU_IMAGE_MAX_FILE_BYTES)) return false;
    cfile *file = tamu_fopen_memory(bytes.data(), int(bytes.size()));
    unsigned char *pixels = nullptr;
    unsigned w = 0, h = 0;
    unsigned e = LodePNG_decode32_tamu_file(&pixels, &w, &h, file);
    tamu_fclose(file);
    std::free(pixels);
    return e == 0;
}

}  // namespace

void sync_download_state() {
    uint64_t w = worker_word.load();
    if (uint32_t(w >> 32) != download_number) return;
    int state = int(uint32_t(w));
    if (app.download_slot.state == DOWNLOAD_RUNNING && state != DOWNLOAD_RUNNING) app.download_slot.state = state;
}

int download_file(const char *url, const char *target) {
    download_slot_record &slot = app.download_slot;
    sync_download_state();
    if (slot.state != DOWNLOAD_IDLE || job_waiting.load()) return 1;
    if (!url || !target || std::strlen(url) >= sizeof slot.url || std::strlen(target) >= sizeof slot.temp_path)
        return 1;
    std::snprintf(slot.url, sizeof slot.url, "%s", url);
    std::snprintf(slot.temp_path, sizeof slot.temp_path, "%s", target);
    download_number++;
    worker_word.store(word(download_number, DOWNLOAD_RUNNING));
    job_waiting.store(1);
    slot.state = DOWNLOAD_RUNNING;
    slot.start_time = zorva_clock();
    slot.thread = tamu_create_thread(download_worker);
    if (!slot.thread) {
        job_waiting.store(0);
        worker_word.store(word(download_number, DOWNLOAD_IDLE));
        slot.state = DOWNLOAD_IDLE;
        return 1;
    }
    return 0;
}

void download_worker() {
    const download_slot_record &slot = app.download_slot;
    // The job, taken before the slot may hold another one.
    uint32_t number = uint32_t(worker_word.load() >> 32);
    std::vector<char> url(slot.url, slot.url + sizeof slot.url);
    std::vector<char> path(slot.temp_path, slot.temp_path + sizeof slot.temp_path);
    job_waiting.store(0);

    tamu_wget(url.data(), path.data());
    if (uint32_t(worker_word.load() >> 32) != number || uint32_t(worker_word.load()) != DOWNLOAD_RUNNING) return;
    int state = fetched_file_ok(path.data()) ? DOWNLOAD_DONE : DOWNLOAD_FAILED;
    uint64_t expected = word(number, DOWNLOAD_RUNNING);
    worker_word.compare_exchange_strong(expected, word(number, state));
}

void cancel_download(const char *message) {
    download_slot_record &slot = app.download_slot;
    worker_word.store(word(download_number, DOWNLOAD_IDLE));
    slot.state = DOWNLOAD_IDLE;
    tamu_destroy_thread(slot.thread);
    slot.thread = nullptr;
    if (message) show_message(message, FAILURE_MS);
    pstate.hold_counter = 0;
}

void download_bbs_cart(const char *lid) {
    if (!lid || std::strlen(lid) < 2) {
        cancel_download("download failed");
        return;
    }
    char target[APP_TEXT_SIZE], url[APP_TEXT_SIZE];
    std::snprintf(target, sizeof target, "%s", get_bbs_cart_filename(lid));
    std::snprintf(url, sizeof url, "%s", get_bbs_cart_url(lid));
    if (!target[0] || !url[0]) {
        cancel_download("download failed");
        return;
    }
    download_file(url, target);
}

// ---------------------------------------------------------------------------
// Cache paths and URLs

int valid_bbs_cart_id(const char *lid) {
    if (!lid || std::strlen(lid) < 2) return 0;
    for (const char *p = lid; *p; p++)
        if (!((*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9') || *p == '_')) return 0;
    return 1;
}

const char *get_bbs_cart_filename_ex(const char *lid, int info) {
    bbl_filename[0] = 0;
    if (!lid || !lid[0] || std::strlen(lid) > 127) return bbl_filename;
    for (const char *p = lid; *p; p++)
        if (!id_char(*p)) return bbl_filename;
    char folder[APP_TEXT_SIZE] = "";
    if (tamu_prefix_with_appdata_path("bbs", folder) != 0) return bbl_filename;
    tamu_mkdir(folder);
    int n = 0;
    if (numeric_id(lid, &n)) {
        char name[64];
        std::snprintf(name, sizeof name, "bbs/%d/", n / 10000);
        if (tamu_prefix_with_appdata_path(name, folder) != 0) return bbl_filename;
        tamu_mkdir(folder);
        std::snprintf(bbl_filename, sizeof bbl_filename, info ? "%stemp-%d.nfo" : "%s%d.zv.png", folder, n);
    } else {
        if (tamu_prefix_with_appdata_path("bbs/carts", folder) != 0) return bbl_filename;
        tamu_mkdir(folder);
        std::snprintf(bbl_filename, sizeof bbl_filename, info ? "%s/temp-%s.nfo" : "%s/%s.zv.png", folder, lid);
    }
    return bbl_filename;
}

const char *get_bbs_cart_filename(const char *lid) { return get_bbs_cart_filename_ex(lid, 0); }
const char *get_bbs_cart_filename_nfo(const char *lid) { return get_bbs_cart_filename_ex(lid, 1); }

const char *get_bbs_cart_url(const char *lid) {
    bbr_filename[0] = 0;
    if (!valid_bbs_cart_id(lid)) return bbr_filename;
    int n = 0;
    if (numeric_id(lid, &n))
        std::snprintf(bbr_filename, sizeof bbr_filename, "%s/bbs/cposts/%d/%d.zv.png", bbs_base_url, n / 10000, n);
    else
        std::snprintf(bbr_filename, sizeof bbr_filename, "%s/bbs/cposts/%c%c/%s.zv.png", bbs_base_url, lid[0], lid[1],
                      lid);
    return bbr_filename;
}
