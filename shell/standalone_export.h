// The stand-alone export: a cart and the program that plays it, as a
// folder "<name>.bin" in the current folder with a player for each
// platform that has a runtime:
//
//   <name>.bin/windows/<name>.exe, SDL2.dll (when the runtime has one),
//                      data.pod
//   <name>.bin/linux/<name> (mode 0775), data.pod
//   <name>.bin/<name>.app/Contents/MacOS/<name> (mode 0775), data.pod
//                                 /Resources/<name>.icns
//                                 /Frameworks/SDL2.framework/Versions/A/SDL2
//                                       (when the runtime has one)
//                                 /Info.plist
//
// The runtimes are the nested pod of data pod item 7: memory files named
// by export_runtime_names below. An entry that is empty there is taken
// from the running player when it is the player of this platform (the
// program file itself, and on Windows an "SDL2.dll" beside it); a platform
// whose program is found nowhere is left out ("no %s runtime").
//
// The exported "data.pod" boots the cart: the boot sound, resources and
// font of the running player's data pod (items 0-2), the working cart as
// a 32K cart image (item 3) and the further carts named after the export
// name (items 4 and up).
#pragma once

#include <cstdint>

struct cbitmap;
struct cfile;
struct zorva_cart;

constexpr int PARAM_WORDS = 31;
constexpr int PARAM_WORD_SIZE = 1024;
constexpr int PARAM_OPTIONS = 26;
constexpr int PARAM_UNSET = -1;

// The export's arguments: the words in order, and one number per option
// letter a..z (PARAM_UNSET when not given).
struct param_list {
    int32_t count;
    char words[PARAM_WORDS][PARAM_WORD_SIZE];
    int32_t options[PARAM_OPTIONS];
};

// Runtime entries of data pod item 7, in their order there.
enum {
    RUNTIME_WINDOWS_PROGRAM,
    RUNTIME_WINDOWS_SDL2,
    RUNTIME_LINUX_PROGRAM,
    RUNTIME_MACOS_PROGRAM,
    RUNTIME_MACOS_SDL2,
    EXPORT_RUNTIMES
};
extern const char *const export_runtime_names[EXPORT_RUNTIMES];

// Words are separated by spaces or commas; "-x" (x a letter a..z) takes
// the next word as the number of option x; other words are kept in order
// (at most 31, of at most 1023 characters). 0, or 1 after printing "bad
// argument" (an option that is not one lower-case letter, or one with no
// word after it).
int extract_parameters(const char *text, param_list *list);
// The export's data pod as a pod file in a new memory file (the caller
// frees it with tamu_destroy_buffer); null after printing why (a further
// cart not found, a cart whose code does not fit in a 32K cart image).
// *carts receives the number of carts in it.
cfile *generate_dat_file(const param_list *list, int *carts);
// Fills the 32768-byte memory file (its content replaced) with the cart's
// 32K image. 0, or 1 when the compressed code does not fit.
int save_cart_to_file_as_32k_block(const zorva_cart *cart, cfile *file);
// Writes the buffer's bytes as the whole file; "could not write %s" and 1
// on failure.
int save_binary_file(const char *name, const cfile *buffer);
// An "icns" icon file of a 128 x 128 32-bit picture (alpha 0 is
// transparent): an "it32" element (the 4-byte zero header it needs, then
// each of the three channels as 128 literal runs of 128 bytes) and a
// "t8mk" mask; with shadow set, the mask gets a drop shadow of value 80
// offset by (4, 4). 0, or 1 when the file could not be written.
int save_icns(const cbitmap *icon, const char *name, int shadow);
// The application bundle's property list. 0, or 1.
int create_plist_file(const char *path, const char *name);
// The export into "<name>.bin" (see above). 0 when every file was written.
int export_bin(const param_list *list);

// The cart API's export: nothing. A running cart makes no programs; the
// stand-alone export above is not reachable from a cart.
void do_export(const char *text);
// The cart API's import: not made by this player.
void do_import(const char *path);
