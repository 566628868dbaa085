// The download slot and the forum cart cache: one download at a time, run
// by a worker thread that fetches a URL into a file with tamu_wget, and the
// cache paths and request URLs of forum carts. The console's download wait
// (console_download.h) and the cart browser share them.
//
// The slot's state word app.download_slot.state is written on the main
// thread only. The worker reports through its own word, which carries the
// number of the download it belongs to next to the state: a worker whose
// download was cancelled (or timed out) meanwhile finds another number
// there and reports nothing, even when a newer download runs in the slot.
// The main thread takes the worker's report into the slot with
// sync_download_state (every poll of the slot begins with it).
#pragma once

// The forum's base address: scheme and host, no trailing '/'.
constexpr int BBS_BASE_SIZE = 256;
extern char bbs_base_url[BBS_BASE_SIZE];

// Starts fetching url into the file target when the slot is idle: the URL
// and path go into the slot (its final path is left as it was), state 1,
// the start time now, a worker thread. 0 when started; 1 when the slot is
// busy, a text does not fit, or no thread could be started (the slot then
// stays idle).
int download_file(const char *url, const char *target);
// Starts the download of a forum cart into its cache file. An id shorter
// than 2 characters cancels the slot and shows "download failed".
void download_bbs_cart(const char *lid);
// Sets the slot idle, lets its worker go (detached, never joined), shows
// the message for 1500 ms when one is given and lets the console run the
// cart again (hold counter 0).
void cancel_download(const char *message);
// Takes the worker's report (done or failed) into the slot's state word.
void sync_download_state();
// The body of the download thread.
void download_worker();

// Forum cart ids: at least 2 characters, each a-z, 0-9 or '_'; an id of
// digits only is numeric. The cache paths are under the application-data
// folder; making one creates its folders. Each result lives in a shared
// buffer until the next call; an empty result means the id has no such
// path (empty, or holding a character outside the set above).
const char *get_bbs_cart_filename_ex(const char *lid, int info);
const char *get_bbs_cart_filename(const char *lid);       // the cart image
const char *get_bbs_cart_filename_nfo(const char *lid);   // the info file, "temp-" before the id
// The cart image's URL; empty unless the id is valid.
const char *get_bbs_cart_url(const char *lid);
// 1 when the id is a valid forum cart id (see above).
int valid_bbs_cart_id(const char *lid);
