// Library openers and the library functions that carts see: the base and
// coroutine functions, the string library's sub and the debug library's
// traceback.
//
// No script state of the console opens a whole library: carts see only the
// globals that the console registers, among them the functions below under
// their cart names. The openers exist for the engine's tools and tests,
// and for any host that wants them (luaL_requiref(L, name, opener, 1)).
//
// Numbers in the libraries: arguments that are positions, counts, sizes or
// codes are read as whole numbers (the floor), and such results are whole
// numbers (wrapping past 32767 as # does); mathematical functions work on
// the real value (raw / 65536) and round their result to the nearest 16.16
// value, holding it within -32768 .. 32767.99998 (what has no value, such
// as the square root of -1, gives 0). Times of the os library are 32-bit
// second counts, which a 16.16 number cannot hold as a value: they travel
// as the number's raw bits.
#pragma once

#include "lua.h"

#define LUA_COLIBNAME "coroutine"
#define LUA_STRLIBNAME "string"
#define LUA_TABLIBNAME "table"
#define LUA_MATHLIBNAME "math"
#define LUA_OSLIBNAME "os"
#define LUA_LOADLIBNAME "package"
#define LUA_DBLIBNAME "debug"
#define LUA_BITLIBNAME "bit32"
#define LUA_IOLIBNAME "io"

// The whole base library into the global table (also "_G" and
// "_VERSION"); returns 1 with the global table on the stack. For
// luaL_requiref(L, "_G", luaopen_base, 1).
int luaopen_base(lua_State *L);
// The coroutine library table (create, resume, running, status, wrap,
// yield); for luaL_requiref(L, LUA_COLIBNAME, luaopen_coroutine, 1).
int luaopen_coroutine(lua_State *L);

// string: byte, char, dump, find, format, gmatch, gsub, len, lower, match,
// rep, reverse, sub, upper; strings get a metatable whose __index is the
// library.
int luaopen_string(lua_State *L);
// table: concat, insert, pack, unpack, remove, sort (raw access).
int luaopen_table(lua_State *L);
// math: abs, acos, asin, atan2, atan, ceil, cosh, cos, deg, exp, floor,
// fmod, frexp, ldexp, log, max, min, modf, pow, rad, random, randomseed,
// sinh, sin, sqrt, tanh, tan; pi and huge (the largest number).
int luaopen_math(lua_State *L);
// os: clock, date, difftime, execute, exit, getenv, remove, rename,
// setlocale, time, tmpname.
int luaopen_os(lua_State *L);
// package: the global require, and the table package with loadlib,
// searchpath, path, cpath, config, loaded, preload and the four searchers
// (preload, script file, native library, native library root). Native
// libraries load only in the Windows program.
int luaopen_package(lua_State *L);
// debug: debug, getuservalue, gethook, getinfo, getlocal, getregistry,
// getmetatable, getupvalue, upvaluejoin, upvalueid, setuservalue, sethook,
// setlocal, setmetatable, setupvalue, traceback.
int luaopen_debug(lua_State *L);
// bit32: arshift, band, bnot, bor, bxor, btest, extract, lrotate, lshift,
// replace, rrotate, rshift, on the 32-bit pattern of a value's whole part;
// results are whole numbers (so only their low 16 bits survive).
int luaopen_bit32(lua_State *L);
// io: no library (returns nothing).
int luaopen_io(lua_State *L);

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
