// The cart API: the host functions that carts call, each bound under the
// cart-visible name after "zv_" (zv_peek is the cart's peek).
//
// Conventions of every cart function: numeric arguments are read as raw
// 16.16 values, a missing or non-numeric one reads 0, and whole-number
// arguments take the integer part (the value shifted right by 16, so it
// floors). Numbers are returned as raw 16.16 values.
#pragma once

#include "zorva_fixed.h"

struct lua_State;

// Argument i as its raw 16.16 value and as its integer part.
zorva_fixed zv_arg(lua_State *L, int i);
int zv_arg_int(lua_State *L, int i);
// Pushes a whole number.
void zv_push_int(lua_State *L, int n);
// Argument i as a file name: a string, or a number in its text form, with
// its length in *length (a cart's string may hold a NUL before its end);
// null (length 0) for any other value.
const char *zv_arg_name(lua_State *L, int i, size_t *length);

// Memory
int zv_peek(lua_State *L);
int zv_poke(lua_State *L);
int zv_memcpy(lua_State *L);
int zv_memset(lua_State *L);
int zv_reload(lua_State *L);
int zv_cstore(lua_State *L);

// Buttons
int zv_btn(lua_State *L);
int zv_btnp(lua_State *L);

// Arithmetic and bit operations on raw 16.16 patterns
int zv_flr(lua_State *L);
int zv_sgn(lua_State *L);
int zv_abs(lua_State *L);
int zv_min(lua_State *L);
int zv_max(lua_State *L);
int zv_mid(lua_State *L);
int zv_cos(lua_State *L);
int zv_sin(lua_State *L);
int zv_sqrt(lua_State *L);
int zv_atan2(lua_State *L);
int zv_band(lua_State *L);
int zv_bor(lua_State *L);
int zv_bxor(lua_State *L);
int zv_bnot(lua_State *L);
int zv_shl(lua_State *L);
int zv_shr(lua_State *L);

// Random numbers (the console's own generator)
int zv_rnd(lua_State *L);
int zv_srand(lua_State *L);

// Conversion between numbers and text
int zv_tonum(lua_State *L);
int zv_tostr(lua_State *L);

// Frame and main loop
int zv_flip(lua_State *L);
int zv_yield(lua_State *L);
int zv_coresume(lua_State *L);
int zv_holdframe(lua_State *L);
int zv__get_frames_skipped(lua_State *L);
int zv__get_menu_item_selected(lua_State *L);
int zv__update_buttons(lua_State *L);
int zv__set_mainloop_exists(lua_State *L);
int zv__set_fps(lua_State *L);
int zv__set_paused(lua_State *L);
int zv__paused(lua_State *L);
int zv_time(lua_State *L);

// Status, pause menu, cart data
int zv_stat(lua_State *L);
int zv__menuitem(lua_State *L);
int zv_cartdata(lua_State *L);
int zv_dget(lua_State *L);
int zv_dset(lua_State *L);

// Sound
int zv_music(lua_State *L);
int zv_sfx(lua_State *L);

// Console commands
int zv_load(lua_State *L);
int zv_save(lua_State *L);
int zv_run(lua_State *L);
int zv_stop(lua_State *L);
int zv_reboot(lua_State *L);
int zv_shutdown(lua_State *L);
int zv_info(lua_State *L);
int zv_help(lua_State *L);
int zv_ls(lua_State *L);
int zv_cd(lua_State *L);
int zv_mkdir(lua_State *L);
int zv_folder(lua_State *L);
int zv_install_demos(lua_State *L);
int zv_install_games(lua_State *L);
int zv_keyconfig(lua_State *L);
int zv_splore(lua_State *L);
int zv_export(lua_State *L);
int zv_import(lua_State *L);
int zv_login(lua_State *L);
int zv_logout(lua_State *L);
int zv_printh(lua_State *L);
int zv_extcmd(lua_State *L);
int zv_bbsreq(lua_State *L);
int zv_scoresub(lua_State *L);

// The log file of a name: root path + current directory + name, with
// ".zvl" added unless it ends with it. 0 on success; 1 for a null name, a
// name holding ".." or a character other than a-z, 0-9, space, ".", "/"
// and "_", or when the result (and 4 more characters) would not fit size
// or size is above 1023.
int get_zvl_log_file_name(const char *name, char *out, int size);
