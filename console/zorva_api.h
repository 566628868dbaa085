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
