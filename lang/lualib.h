// Library openers and the library functions that carts see: the base and
// coroutine functions, the string library's sub and the debug library's
// traceback.
//
// No script state of the console opens a whole library: carts see only the
// globals that the console registers, among them the functions below under
// their cart names. The openers exist for the engine's tools and tests.
#pragma once

#include "lua.h"

#define LUA_COLIBNAME "coroutine"

// The whole base library into the global table (also "_G" and
// "_VERSION"); returns 1 with the global table on the stack. For
// luaL_requiref(L, "_G", luaopen_base, 1).
int luaopen_base(lua_State *L);
// The coroutine library table (create, resume, running, status, wrap,
// yield); for luaL_requiref(L, LUA_COLIBNAME, luaopen_coroutine, 1).
int luaopen_coroutine(lua_State *L);

// Opens no library: only makes sure that the registry holds "_PRELOAD".
// Leaves the stack as it was.
void luaL_openlibs(lua_State *L);

// Registers the cart-visible base and coroutine functions as globals:
// pairs, type, assert, setmetatable, getmetatable, cocreate, coresume,
// costatus.
void zorva_open_cart_base(lua_State *L);

// The cart-visible functions themselves, for binding tables.
int luaB_next(lua_State *L);
int luaB_pairs(lua_State *L);
int luaB_type(lua_State *L);
int luaB_assert(lua_State *L);
int luaB_setmetatable(lua_State *L);
int luaB_getmetatable(lua_State *L);
int luaB_cocreate(lua_State *L);
int luaB_coresume(lua_State *L);
int luaB_costatus(lua_State *L);

// The string library's sub: sub(s, i [, j]) with whole-number positions,
// negative ones counting from the end; a number s is taken as its text.
int str_sub(lua_State *L);
// The debug library's traceback: traceback([thread,] [message [, level]]);
// a message that is neither text, a number nor nil is returned as it is.
int db_traceback(lua_State *L);
