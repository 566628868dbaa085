// Cart storage: the working cart (the cart that runs, is saved and is
// hashed), loading it from a cart file and saving it, backups, the quick
// save and quick load keys, the embedded carts of the data pod, and the
// cart files behind cstore() and reload() with a file name.
//
// Files under the application-data folder:
//   backup/<name><ext>       the file a save replaced, or a saved copy
//                            ("untitled.zv" for a cart without a name)
//   cstore/__<sha1>.zv       the private cstore file of the cart whose
//                            32K image has that SHA-1
//   cstore/<name>            a shared cstore file, by the name a cart gives
//   _clip.zv.png, _clip.zv.png.hex   the clipboard transfer
//
// Every file is saved whole or not at all (tamu_fopen_save): a failed save
// leaves the old file as it was and is reported as a failure.
#pragma once

struct zorva_cart;

constexpr int EMBEDDED_CARTS_MAX = 64;
constexpr int EMBEDDED_CART_NAME_SIZE = 256;
// Distinct cstore files one run of the player may write.
constexpr int CSTORE_FILES_MAX = 256;
// The longest name a cart may give cstore().
constexpr int CSTORE_NAME_LIMIT = 511;
// The longest code saved, in characters.
constexpr int SAVE_CODE_LIMIT = 65536;
// The most compressed code a PNG cartridge holds, in bytes.
constexpr int PNG_CODE_LIMIT = 15360;

struct embedded_cart_entry {
    char sha1[41];
    char name[EMBEDDED_CART_NAME_SIZE];
};
extern embedded_cart_entry embedded_cart[EMBEDDED_CARTS_MAX];
extern int embedded_carts;

// Copies name into output (1024 characters); when it holds no ".zv", puts
// ".zv" in: before an extension holding ".png" ("a.png" -> "a.zv.png"),
// else at the end ("a" -> "a.zv", "a.txt" -> "a.txt.zv"). 0, or 1 (output
// empty) when the result does not fit.
int inject_zv_extention(const char *name, char *output);

// Loads a cart file as the working cart: the name as given (a ".png" name
// as a PNG cartridge, any other as a text cart), then, unless a cart
// program runs, the name with ".zv" put in, that with ".png" added, and the
// name with ".png" added. 0 on success (the working file name is the name
// that was read), 1 on failure (nothing changes).
int load_working_cart(const char *name);
// Why the last load_working_cart failed, most telling reason first: the
// file is too new a version, is not a cart, cannot be read, is a folder
// or not a regular file, or no file of the name exists.
enum {
    CART_LOAD_OK = 0,
    CART_LOAD_NO_FILE,
    CART_LOAD_NOT_A_FILE,
    CART_LOAD_FOLDER,
    CART_LOAD_UNREADABLE,
    CART_LOAD_NOT_A_CART,
    CART_LOAD_FUTURE_VERSION,
};
// A short text for the reason: "no such file", "not a regular file",
// "a folder", "cannot be read", "not a cart", "version too new" ("" when
// none).
const char *cart_load_failure();
// Keeps reason when it tells more than the one kept since the last load.
void note_cart_load_failure(int reason);

// A cart from a ".png" name (with its label) or a text cart; null on
// failure.
zorva_cart *load_zorva_cart_any_format(const char *name);
// Makes cart the working cart, loaded from name (null or empty: none), and
// gets it ready: legacy fixes, the shared sprite/map area, the code tabs,
// its hash, the working file name (with none, its private cstore file), the
// ROM of its private cstore file when there is one. Null does nothing.
void prepare_loaded_cart(zorva_cart *cart, const char *name);
// The SHA-1 of the working cart into pstate.
void hash_working_cart();

// Saves the working cart under name (".zv" put in when it has none) as a
// PNG cartridge (".png" names) or a text cart. A different file already
// there is first copied into "backup/"; when that fails nothing is saved.
// 0 on success (the name becomes the working file name), 1 when refused or
// failed (the working file name stays).
int save_working_cart(const char *name);
// With copy: copies the file at name into "backup/". Without: saves the
// working cart there under name's base name and extension. 0 on success,
// 1 on failure.
int save_backup(const char *name, int copy);
// Ctrl+S and Ctrl+R while a cart runs.
void do_quick_save();
void do_quick_load();
// There are no editors, so nothing is ever unsaved: 0.
int detect_unsaved_changes();

// The data pod's main cart (item 3) becomes the working cart; every cart
// of the pod from item 3 on is mounted; then the cart runs.
void boot_embedded_cart();
// Adds the cart to the embedded cart table (when it has room) and puts its
// text form on the virtual disk under name. 0, or 1 when not mounted.
int mount_embedded_cart(zorva_cart *cart, const char *name);
void clear_embedded_carts();
// The name of the embedded cart with that hash, or null.
const char *get_embedded_cart_filename_for_hash(const char *hash);
// The hash of the embedded cart of that name, or null.
const char *get_embedded_cart_hash_for_filename(const char *name);
// The private cstore file of the cart with that hash, in one shared
// buffer; null for a hash that is not 40 hex digits.
const char *get_sandboxed_cstore_filename(const char *hash);
// output := "cstore/" under the application-data folder + prefix + name.
// 0, or 1 (output empty) when it does not fit in 1024 characters.
int zorva_prefix_with_cstore_path(const char *name, const char *prefix, char *output);
// The shared cstore file for a name a cart gives (one leading '/'
// dropped). 0, or 1 when the name is refused: empty, beginning with "__"
// (the private files), holding "..", '/', '\\', ':', '|' or a control
// character, or too long for a path.
int get_shared_cstore_filename(const char *name, char *output);

// Copies len bytes of the cart file at name, from its address src, into
// console memory at dest. 0, or 1 when the file cannot be read. A file
// other than the last one transferred holds the cart for 30 frames.
int reload_cart_partial(const char *name, int dest, int src, int len);
// Copies len bytes of console memory from src into the cart file at name
// at dest (a file not there yet starts as an empty cart), and for the
// cart's own private file (own) into the working cart too; then saves
// the file. 0; 2 when the file cannot be written, or exists but cannot
// be read (it is left as it was); 3 when the run already wrote to 256
// other files.
int cstore_cart_partial(const char *name, int dest, int src, int len, int own);

// The clipboard transfer: the working cart as "[cart]" text on the
// clipboard, and the clipboard's "[cart]" text as the working cart. 0 on
// success.
int save_clip_cart();
int load_clip_cart();

// Puts loading, saving, reload, cstore and the clipboard transfer into the
// console's hooks.
void install_cart_storage_hooks();
