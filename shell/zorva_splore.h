// The cart browser ("splore"): its lists of carts, their entries and
// labels, the favourites file, and the running-cart record.
//
// The browser shows eight lists side by side: the local cart folder, the
// favourites and six lists fetched from the cart forum. A list holds its
// entries one after another in a growable memory block; entries are moved
// by whole-record copies, which move the ownership of their labels along.
//
// "favourites.txt" (in the application-data folder; any list file has the
// same form) holds one cart a line:
//     "|%-20s |%-20s |%-6d |%-16s |%-20s |%s\n"
// with lid, mid, catsub, author, path and title. Lines that do not begin
// with '|' are ignored; the fields are cut at '|' and trimmed.
#pragma once

#include <cstddef>
#include <cstdint>

struct cbitmap;
struct cdict;
struct cfile;
struct zorva_cart;
typedef cfile cbuffer;

constexpr int SPLORE_TEXT_SIZE = 128;       // every text field; 127 characters kept
constexpr int SPLORE_QUERY_SIZE = 1024;
constexpr int SPLORE_TITLE_SIZE = 32;
constexpr int SPLORE_SEARCH_SIZE = 64;
constexpr int SPLORE_SEARCH_CHARS = 21;
constexpr int SPLORE_MAX_LISTS = 16;
constexpr int SPLORE_LISTS = 8;
constexpr int SPLORE_LABEL_SIZE = 128;
constexpr int SPLORE_AUTHOR_CHARS = 16;
// The longest line of a list file that is read as one line: room for the
// longest line the writer makes (six full fields with their padding).
constexpr int SPLORE_FILE_LINE_SIZE = 1024;

// Entry kinds (4 is not used).
enum {
    SPLORE_KIND_CART = 1,
    SPLORE_KIND_FOLDER = 2,
    SPLORE_KIND_UPDATE = 3,      // "[update]": fetch the list's first page again
    SPLORE_KIND_LOAD_MORE = 5,   // "[load more]": fetch the next page
    SPLORE_KIND_SEARCH = 6,      // "[search]": type a search
};

// Images of the resource pod that the browser draws.
enum {
    SPLORE_ICON_FORUM_CART = 176,
    SPLORE_ICON_TEXT_CART = 177,
    SPLORE_ICON_HEAD_ROW = 178,     // "[update]", "[search]", "[load more]"
    SPLORE_ICON_PNG_CART = 180,
    SPLORE_ICON_FOLDER = 181,
    SPLORE_ICON_ARROW_LEFT = 182,
    SPLORE_ICON_ARROW_RIGHT = 183,
    SPLORE_ICON_PARENT = 185,
    SPLORE_ICON_TABS = 187,         // + list index
    SPLORE_ICON_FAVOURITE = 201,
    SPLORE_ICON_LIST_DOWNLOAD = 204,   // 8 frames, 8 x 8
    SPLORE_ICON_LAUNCH = 212,          // 12 frames, 12 x 12
    SPLORE_ICON_CART_DOWNLOAD = 229,   // 16 frames, 12 x 12
    SPLORE_ICON_POINTER = 245,
};

// One entry of a list.
struct splore_item {
    int32_t icon;                   // row icon; carts choose theirs when drawn
    char title[SPLORE_TEXT_SIZE];
    char author[SPLORE_TEXT_SIZE];  // sanitised: at most 16 of a-z, 0-9, _
    char path[SPLORE_TEXT_SIZE];    // local file, relative to the root folder
    char lid[SPLORE_TEXT_SIZE];     // forum cart id; empty for local items
    char mid[SPLORE_TEXT_SIZE];     // the forum's post id
    int32_t catsub;                 // forum sub-category
    cbitmap *label;                 // 128 x 128, 8 bits, owned; or null
    int32_t kind;
    int32_t favourite;              // an equal entry is among the favourites
};

// One list.
struct splore_list_record {
    cbuffer *item_buffer;           // owned; holds the entries
    splore_item *items;             // the first entry, taken again after growth
    const char *name;               // short name (cache files, downloads)
    char query[SPLORE_QUERY_SIZE];  // the forum request query
    int32_t icon;                   // tab icon
    char title[SPLORE_TITLE_SIZE];
    int32_t count;
    int32_t selected;
    int32_t head_row;               // the list begins with "[update]" or "[search]"
    int64_t scroll;                 // 16.16 pixels
    int32_t entering_text;          // the search text is being typed
    char search_text[SPLORE_SEARCH_SIZE];
    int32_t cursor;                 // 0..length of the search text
};

extern splore_list_record splore_list[SPLORE_MAX_LISTS];
extern int splore_lists;            // lists in use: 8 after set-up, 0 before
extern int list_index;              // the current list
extern int32_t list_index_x;        // tab ring position, 16.16
// The cart last started from the browser or from a forum info file; it
// never owns a label.
extern splore_item running_item;
// Handed out for an index outside a list (cleared each time).
extern splore_item dummy_splore_item;

// Lists by index.
enum { SPLORE_LIST_LOCAL = 0, SPLORE_LIST_FAVOURITES = 1, SPLORE_LIST_SEARCH = 7 };
extern const char *const list_name[SPLORE_LISTS];
extern const char *const list_title[SPLORE_LISTS];
extern const char *const list_req[SPLORE_LISTS];
splore_list_record *favourites_list();

// ---------------------------------------------------------------------------
// Lists

// Makes room for one more entry: last with before_carts 0, else before the
// first cart (last when there is none). Returns the new entry, all zero.
splore_item *add_splore_item(splore_list_record *list, int before_carts);
// Entry i, or the cleared dummy entry for an index outside the list.
splore_item *get_splore_item(splore_list_record *list, int i);
// Removes entry i (its label freed, later entries moving down).
void remove_splore_item(splore_list_record *list, int i);
// The index of the first entry equal to (lid, path), or -1. Equal: with a
// lid, the same lid; or, with a path, an entry without lid and mid that has
// that path. Without lid and path nothing is equal.
int find_item_index(splore_list_record *list, const char *lid, const char *path);
// Frees every label; count 0.
void clear_splore_list(splore_list_record *list);
// Frees the labels and the item buffer (at shut-down).
void free_splore_list(splore_list_record *list);
// Marks the entries that are favourites (not on the favourites list itself).
void update_list_favourites(splore_list_record *list);
// Appends the listing of a local folder (relative to the root folder):
// ".." outside the root, folders and carts (names holding ".zv"), sorted
// folders first, then by title.
void populate_splore_list_from_directory(splore_list_record *list, const char *folder);
// Appends the carts of a list file; duplicates and lines without lid and
// path are dropped. Returns 0, or 1 when the file exists but could not be
// read whole (what was read is kept).
int populate_splore_list_from_text_file(splore_list_record *list, const char *file);
// The same from the text of a list file in memory.
void read_splore_list_text(splore_list_record *list, const char *text, size_t length);
// Writes the list's carts as a list file, replacing it whole or not at
// all. 0, or 1 when it could not be written (an old file stays).
int save_splore_list_to_file(splore_list_record *list, const char *file);
void clamp_list_selection(splore_list_record *list);
// Frees every list (at shut-down); the lists are set up again from scratch.
void release_splore_lists();

// ---------------------------------------------------------------------------
// Entries

void trim_trailing_space(char *text);
// Lower-cases A-Z, turns what the console does not show into spaces and
// '|' into '_'.
void sanitise_title_string(char *text);
// Lower-cases A-Z, turns anything but a-z and 0-9 into '_', keeps 16.
void sanitise_author_string(char *text);
// Lower-cases A-Z and turns what the console does not show into spaces.
void clean_zorva_string(char *text);
void sanitise_splore_item(splore_item *entry);
// An empty title becomes the file's base name ("game.zv.png" -> "game").
void get_title_from_filename(splore_item *entry, const char *path);
int get_icon_for_item(const splore_item *entry);
// Copies a text into a 128-character field (127 characters kept).
void copy_splore_text(char *field, const char *text);

// ---------------------------------------------------------------------------
// Favourites (list 1)

bool is_favourite(const char *lid, const char *path);
// Removes the favourite equal to (lid, path) and returns null; or, when
// there is none, inserts a new cart before the first cart of the
// favourites and returns it.
splore_item *splore_toggle_favourite_0(const char *lid, const char *path);
// Toggles the selected entry of the current list.
void splore_toggle_favourite();
// Toggles the running cart (the pause menu).
void splore_toggle_favourite_ingame(const char *lid, const char *path);
// Writes "favourites.txt". 0, or 1 when nothing was written: the file
// could not be written, or it exists but could not be read at set-up (it
// is kept rather than replaced by a list that lacks its entries).
int save_splore_favourites();
// Reads "favourites.txt" into the favourites list at set-up.
void load_splore_favourites();
// Appends "favourites.txt" to the favourites list again.
void reload_favourites();
// "favourites.txt" in the application-data folder.
const char *favourites_file_path();
// Writes the entry's label as "bbs/labels/<lid>.png" unless that exists.
void save_bbs_cart_label(const splore_item *entry);
// running_item from a forum info table (keys title, author, lid, mid,
// catsub).
void set_running_item_from_nfo(const cdict *info);

// ---------------------------------------------------------------------------
// Labels

// A new 128 x 128 label made from a cart file: a PNG cartridge's picture,
// or the leading comment lines of a text cart; null otherwise.
cbitmap *create_label_from_file(const char *path);
// The 128 x 128 area at x, y of an RGBA picture (black outside it) in the
// nearest console colours; a new 8-bit bitmap.
cbitmap *label_from_rgba(const uint8_t *rgba, int width, int height, int x, int y);
cbitmap *copy_label(const cbitmap *label);
// A forum id that may name files and requests: at least 2 characters, each
// a-z, 0-9 or _; all digits: a whole number that fits in 32 bits.
bool valid_forum_id(const char *lid);

// ---------------------------------------------------------------------------
// Forum requests, downloads and the cache
//
// The forum is reached at bbs_host (config.txt's "bbs_host" line: the host,
// with a port when it has one) over http; its thread pages open in the web
// browser over https. Without one, every request is empty.
// Requests:
//   a page of a list  /bbs/cpost_lister3.php?max=32&start_index=N&QUERY&version=000111bP
//                     (P the platform character)
//   a cart image      /bbs/cposts/N/ID.zv.png with N = id / 10000 (numeric id)
//                     /bbs/cposts/AB/ID.zv.png with AB its first two characters
//   a thread page     /bbs/?pid=ID
//
// The cache, under the application-data folder:
//   bbs/N/ID.zv.png, bbs/carts/ID.zv.png     forum carts
//   bbs/N/temp-ID.nfo, bbs/carts/temp-ID.nfo  their info files
//   bbs/labels/ID.png                         labels of favourites
//   bbs/NAME.pip.png                          a list's first page, as last read
//   bbs/temp_NAME.pip.png, temp_NAME__.pip.png  pages being fetched
//
// List image ".pip.png": 1024 x 544, 32 cells of 128 x 136 (8 across);
// cell i at ((i % 8) * 128, (i / 8) * 136). Its top 128 x 128 pixels are
// the cart's label; rows 128-132 hold texts of up to 128 bytes, one byte a
// pixel in the green channel, ended by a zero byte: "%d %d %d" (cart id, 0
// for an empty cell; a second id; catsub), title, author, lid (empty: the
// cart id), mid (empty: the second id).
//
// One download runs at a time, on a worker thread, into a file of its own
// beside the temporary path, never longer than its kind can need (a list
// page 1024 x 544, a cart image 160 x 205, a label 128 x 128; see
// tamu_png_file_bound), following no redirect. The worker reads a
// picture's header and decodes one of its kind's size, so the main thread
// decodes nothing again; the main thread moves the file into place (by
// rename) when it collects the result. A cancelled download's worker ends
// its fetch at once and only tidies up after itself.

constexpr int BBS_PATH_SIZE = 1024;
constexpr int PIP_WIDTH = 1024, PIP_HEIGHT = 544;
constexpr int PIP_CELL_W = 128, PIP_CELL_H = 136, PIP_CELLS = 32, PIP_COLUMNS = 8;
constexpr int PIP_TEXT_ROW = 128, PIP_TEXT_BYTES = 128;
constexpr const char *BBS_VERSION_CODE = "000111b";

// Empty (the default) until config.txt's "bbs_host" line names one: then
// nothing is contacted and every forum request fails at once.
extern char bbs_host[256];
// A host name, IPv4 or bracketed IPv6 address, with ":port" when it has one
// (letters, digits and . - _ : [ ]; shorter than 256 characters).
bool valid_bbs_host(const char *host);
// Sets bbs_host: 0; 1 (and no forum) for a text that is no host.
int set_bbs_host(const char *host);
// Opens a web page (tamu_launch_html unless a test puts its own here).
extern void (*splore_launch_html)(const char *url);

char get_platform_char();
// The percent-encoded form of a text for a query (unreserved characters
// A-Z a-z 0-9 - . _ ~ kept).
void percent_encode(const char *text, char *out, int capacity);
// Shared buffers, overwritten by the next call; empty for an id that is
// not a forum id (valid_forum_id).
const char *get_bbs_cart_url(const char *lid);
const char *get_bbs_cart_filename(const char *lid);
const char *get_bbs_cart_filename_nfo(const char *lid);
const char *get_bbs_cart_filename_ex(const char *lid, int info);
const char *get_bbs_cart_filename_legacy(int n, int info);
const char *get_bbs_list_url(const char *query, int start_index);
const char *get_bbs_thread_url(const char *lid);
// The file exists within the bound of its kind (a list page, a cart
// image, a label, an info file) and, for a ".png" name, is a PNG; one of
// its kind's size must decode too.
bool check_bbs_file_ok(const char *path);
// The cart of a finished cart download at path: from the picture its
// worker decoded when there is one, else read from the file; null (and
// last_png_load_error set) when it does not load, and then the file is
// removed, so that the cache keeps no cart that does not load.
zorva_cart *load_downloaded_cart(const char *path);
// The label of a forum cart: from its cached cart, else its label file.
cbitmap *create_label_from_cart_lid(const char *lid);

// Reads a list image into a list; append adds a further page. 0 done, 1 no
// image, 2 not 1024 x 544. A list with entries that gets no usable image
// stays as it was; a fresh load of an empty list gets its head row.
int populate_splore_list_from_png_file(splore_list_record *list, const char *file, int append);
// The same from the bytes of a PNG file, and from its decoded RGBA pixels
// (null: no image).
int populate_splore_list_from_png_data(splore_list_record *list, const uint8_t *png, size_t length, int append);
int populate_splore_list_from_pixels(splore_list_record *list, const uint8_t *rgba, int width, int height, int append);
// The text of a 128-pixel row of a 32-bit bitmap, from the first byte of
// each pixel, in a shared 1024-byte buffer.
const char *get_string_from_rgb(const uint32_t *row);

// Starting downloads: each does nothing while a download runs. 0 when it
// started (a slot that gets no worker thread is failed at once, and the
// poll reports it); 1 when it was refused: the slot is busy, or the URL or
// a path is empty or too long for the slot.
int download_file(const char *url, const char *target);
void download_list(const char *name, const char *query, int start_index);
void download_list_constprop_10(const char *name, const char *query);
void download_bbs_cart(const char *lid);
// The worker thread's body.
void download_worker();
// Takes the worker's result into the slot's state once it is there (main
// thread: each update calls it, and so do the browser's poll and the
// console's download wait).
void collect_download_result();
// True while the slot runs past its time-out (cconfig.timeout seconds from
// its start); collect_download_result then takes no result.
bool download_timed_out();
// Once per browser frame: the time-out, and what a finished download
// brings.
void update_splore_download();
// Idle at once: the worker ends its fetch (and wget) within milliseconds
// and removes its file; message shown for 1500 ms when given; the
// console's hold counter 0.
void cancel_download(const char *message);
// Workers that have not ended yet (the tests wait for them).
int download_workers_running();
// Forgets the slot at shut-down (a running worker ends on its own).
void release_download_slot();

// ---------------------------------------------------------------------------
// The browser screen
//
// An overlay of the shell (OVERLAY 2) on the console screen, driven by
// player 0's buttons: up and down choose an entry, left and right the list
// (a ring of tabs), O or X act on the entry (open a folder, run a cart,
// fetch a list page, start a search), pause opens a cart's menu. A chosen
// cart loads (or downloads first) and starts 20 frames later.

constexpr int CART_MENU_ENTRIES = 8;
constexpr int CART_MENU_LABEL_SIZE = 64;
constexpr int SPLORE_LAUNCH_FRAMES = 20;
// The search letter wheel.
constexpr const char *SPLORE_WHEEL = " abcdefghijklmnopqrstuvwxyz0123456789";

struct cart_menu_entry {
    int32_t code;
    char label[CART_MENU_LABEL_SIZE];
};

// Cart menus and their action codes.
enum { CART_MENU_CLOSED = 0, CART_MENU_CART = 1, CART_MENU_SUB = 4, CART_MENU_OPTIONS = 5 };
enum {
    MENU_RUN = 1, MENU_FAVOURITE = 3, MENU_OPEN_SUB = 4, MENU_OPEN_OPTIONS = 5, MENU_BACK = 6, MENU_EDIT = 16,
    MENU_REDOWNLOAD = 17, MENU_THREAD = 18, MENU_SOUND = 32, MENU_FULLSCREEN = 33, MENU_SHUTDOWN = 34,
};

extern int32_t expand_t;        // 16.16, how far the tab ring is open
extern int expand_cats;         // left or right was pressed last
extern int anim_t;              // download animation frames
extern int glow_t;
extern int selected_t;          // ms of the last selection change
extern int cart_launch_t;       // 0, or frames since a cart was chosen
extern int cart_menu;
extern int cart_menu_items, cart_menu_index;
extern int32_t cart_menu_tt;    // 16.16, how far the menu is open
extern int cart_menu_y0, cart_menu_y1;
extern int splore_exit_menu, splore_exit_menu_item;
extern cart_menu_entry cart_menu_item[CART_MENU_ENTRIES];

// Sets the lists up (once) and clears the running cart.
void splore_init();
// Entering the browser: the local list anew, the selection checked.
void splore_enter();
// Opens the browser for the cart API's splore().
void open_splore();
void splore_update();
void splore_draw();
void splore_controls();
void action_current_splore_item();
void generate_cart_menu(int n);
void process_cart_menu_action(int code);
void draw_cart_menu();
void print_splore_exit_message();
void reset_splore_animation();
// One step of the list's scroll easing towards its selected row.
void update_list_y(splore_list_record *list);
// Keeps the current list's selection within its entries.
void validate_current_list();
// The search row of the current list: whether text is being entered,
// stopping entry with the text emptied, submitting the search, moving
// the cursor and turning the letter wheel by d.
bool splore_entering_text();
void splore_cancel_text_entry();
void initiate_search();
void move_search_cursor(int d);
void spin_letter_wheel(int d);
// A key of the key buffer (a character), or one of the keys below.
void splore_keypress(int key);
enum {
    SPLORE_KEY_DELETE = 0x1000 + 76, SPLORE_KEY_PAGE_UP = 0x1000 + 75, SPLORE_KEY_PAGE_DOWN = 0x1000 + 78,
    SPLORE_KEY_HOME = 0x1000 + 74, SPLORE_KEY_END = 0x1000 + 77, SPLORE_KEY_LEFT = 0x1000 + 80,
    SPLORE_KEY_RIGHT = 0x1000 + 79,
};
// The darkening behind the list panel.
extern const uint8_t splore_panel_tint[16];
