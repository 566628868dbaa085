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
