// Installing carts that come in the data pod: the demo carts into the
// "demos/" folder of the root folder, and the preloaded forum carts into
// the forum cache and the browser's favourites.
//
// Nothing the user has is overwritten: a demo cart whose file exists is
// left as it is, a preloaded cart is written only into an empty cache
// place, and a favourites line is added only for a cart id that
// "favourites.txt" does not name yet. Every file is written whole or not
// at all.
#pragma once

// Data pod items.
constexpr int POD_DEMO_CARTS = 3;          // a nested pod, when the pod has one there
constexpr int POD_PRELOADED_BBS_CARTS = 6;
constexpr int POD_EXPORT_RUNTIMES = 7;

// The names of the demo carts, in the order of their entries in the nested
// pod of data pod item 3.
constexpr int DEMO_CARTS = 3;
extern const char *const demo_cart_names[DEMO_CARTS];
// The forum ids of the preloaded carts: entry k (from 1) of the nested pod
// of data pod item 6 is the cart image of id k - 1; entry 0 holds lines of
// "favourites.txt" for them.
constexpr int PRELOADED_BBS_CARTS = 3;
extern const char *const preloaded_bbs_cart_ids[PRELOADED_BBS_CARTS];

// Prints "installing demo carts to /demos/" (colour 14), then installs the
// demo carts of data pod item 3, printing each name written when verbose
// is set. A data pod whose item 3 is not a pod (the main cart is there)
// installs nothing.
void install_demo_carts(int verbose);
// Installs the preloaded forum carts of data pod item 6. 0 when every
// cart and the favourites are in place; 1 when the data pod has no such
// carts or a file could not be written.
int install_preloaded_bbs_carts();
// The cart API's install_games: saves the browser's favourites, installs,
// reloads the favourites. 0 on success.
int install_games();

// A nested pod read from an item of the data pod (a memory file holding a
// pod file); null when the item is missing or is no pod. The caller
// destroys it.
struct cpod;
cpod *read_data_pod_nested(int item);
