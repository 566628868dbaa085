// The auxiliary library: argument checks, errors with positions, string
// buffers, chunk loading, references and tracebacks over the host
// interface (lua.h), for the console's cart API and the engine's own
// libraries.
//
// Numbers follow the host interface: luaL_checknumber and luaL_optnumber
// give the raw 16.16 value; luaL_checkinteger, luaL_optinteger,
// luaL_checkunsigned and luaL_optunsigned give its floor (raw >> 16), and
// the default of an optional form is returned as given.
#pragma once

#include <cstddef>
#include <cstdio>

#include "lua.h"

// Status of luaL_loadfilex when the file cannot be opened or read.
#define LUA_ERRFILE (LUA_ERRERR + 1)

struct luaL_Reg {
    const char *name;
    lua_CFunction func;
};

// ---- Version -------------------------------------------------------------
// Raises "multiple Lua VMs detected" when L's core is not this one, and
// "version mismatch: ..." when its version is not ver.
void luaL_checkversion_(lua_State *L, lua_Number ver);
#define luaL_checkversion(L) luaL_checkversion_(L, LUA_VERSION_NUM)

// ---- Metatables and metafields -------------------------------------------
int luaL_getmetafield(lua_State *L, int obj, const char *e);
int luaL_callmeta(lua_State *L, int obj, const char *e);
int luaL_newmetatable(lua_State *L, const char *tname);
void luaL_setmetatable(lua_State *L, const char *tname);
void *luaL_testudata(lua_State *L, int ud, const char *tname);
void *luaL_checkudata(lua_State *L, int ud, const char *tname);

// ---- Text of values ------------------------------------------------------
// Converts the value at idx to text ("__tostring" first; numbers in their
// 16.16 text form) and pushes it; returns it. What "__tostring" returns is
// pushed as it is (a number as its text); when that is not a string the
// result is null and *len 0.
const char *luaL_tolstring(lua_State *L, int idx, size_t *len);

// ---- Argument checks -----------------------------------------------------
// Raise "bad argument #n to 'name' (extramsg)" and its variants.
int luaL_argerror(lua_State *L, int narg, const char *extramsg);
// "<tname> expected, got <type of argument narg>".
int luaL_typeerror(lua_State *L, int narg, const char *tname);

const char *luaL_checklstring(lua_State *L, int narg, size_t *l);
const char *luaL_optlstring(lua_State *L, int narg, const char *def, size_t *l);
lua_Number luaL_checknumber(lua_State *L, int narg);
lua_Number luaL_optnumber(lua_State *L, int narg, lua_Number def);
lua_Integer luaL_checkinteger(lua_State *L, int narg);
lua_Integer luaL_optinteger(lua_State *L, int narg, lua_Integer def);
lua_Unsigned luaL_checkunsigned(lua_State *L, int narg);
lua_Unsigned luaL_optunsigned(lua_State *L, int narg, lua_Unsigned def);

void luaL_checkstack(lua_State *L, int sz, const char *msg);
void luaL_checktype(lua_State *L, int narg, int t);
void luaL_checkany(lua_State *L, int narg);
// Index in lst (null-terminated) of the string argument (or of def when the
// argument is absent and def is given); else "invalid option '%s'".
int luaL_checkoption(lua_State *L, int narg, const char *def, const char *const lst[]);

// ---- Errors --------------------------------------------------------------
// Pushes "chunk:line: " for the script function at the given level (1: the
// function that called the running host function) and records the line in
// zorva_runtime_line; pushes "" when that level is no script function with
// a line.
void luaL_where(lua_State *L, int lvl);
// Raises luaL_where(L, 1) followed by the formatted message.
int luaL_error(lua_State *L, const char *fmt, ...);

// Results of file and process operations: true, or nil, message, code.
int luaL_fileresult(lua_State *L, int stat, const char *fname);
int luaL_execresult(lua_State *L, int stat);

// ---- References ----------------------------------------------------------
#define LUA_NOREF (-2)
#define LUA_REFNIL (-1)
// Pops the top value and stores it in table t under a new reference (a
// whole index from 1), which it returns; LUA_REFNIL for nil. Freed
// references are reused.
int luaL_ref(lua_State *L, int t);
void luaL_unref(lua_State *L, int t, int ref);

// ---- Loading -------------------------------------------------------------
int luaL_loadfilex(lua_State *L, const char *filename, const char *mode);
#define luaL_loadfile(L, f) luaL_loadfilex(L, f, nullptr)
int luaL_loadbufferx(lua_State *L, const char *buff, size_t sz, const char *name, const char *mode);
#define luaL_loadbuffer(L, s, sz, n) luaL_loadbufferx(L, s, sz, n, nullptr)
int luaL_loadstring(lua_State *L, const char *s);

// ---- Miscellaneous -------------------------------------------------------
// A state with the system allocator and a panic function that reports
// unprotected errors on standard error.
lua_State *luaL_newstate();
// Length of the value at idx (with "__len") as a plain integer (the
// length value floored); "object length is not a number" otherwise.
int luaL_len(lua_State *L, int idx);
// Pushes s with every occurrence of p replaced by r; returns it.
const char *luaL_gsub(lua_State *L, const char *s, const char *p, const char *r);
// Registers the functions of l in the table on the top below nup upvalues,
// each a closure sharing those upvalues; pops the upvalues.
void luaL_setfuncs(lua_State *L, const luaL_Reg *l, int nup);
// Pushes t[fname] (t at idx), making it a new table when it is not one;
// returns 1 when it already was a table.
int luaL_getsubtable(lua_State *L, int idx, const char *fname);
// Pushes the traceback of L1 from level (with msg and a line feed in
// front when msg is not null).
void luaL_traceback(lua_State *L, lua_State *L1, const char *msg, int level);
// Calls openf(modname) and stores its result in _LOADED[modname] (and in
// the global modname when glb is true); leaves a copy on the stack.
void luaL_requiref(lua_State *L, const char *modname, lua_CFunction openf, int glb);

// For the debug library and the like: the thread that argument 1 names,
// with *arg = 1, else L itself with *arg = 0.
lua_State *luaL_getthread(lua_State *L, int *arg);
// The package loader's failure: raises "error loading module '%s' from
// file '%s':\n\t%s" with the message on the stack top.
int luaL_loadererror(lua_State *L, const char *modname, const char *filename);

// ---- Convenience ---------------------------------------------------------
#define luaL_newlibtable(L, l) lua_createtable(L, 0, (int)(sizeof(l) / sizeof((l)[0]) - 1))
#define luaL_newlib(L, l) (luaL_newlibtable(L, l), luaL_setfuncs(L, l, 0))
#define luaL_argcheck(L, cond, narg, extramsg) ((void)((cond) || luaL_argerror(L, (narg), (extramsg))))
#define luaL_checkstring(L, n) (luaL_checklstring(L, (n), nullptr))
#define luaL_optstring(L, n, d) (luaL_optlstring(L, (n), (d), nullptr))
#define luaL_checkint(L, n) ((int)luaL_checkinteger(L, (n)))
#define luaL_optint(L, n, d) ((int)luaL_optinteger(L, (n), (d)))
#define luaL_checklong(L, n) ((long)luaL_checkinteger(L, (n)))
#define luaL_optlong(L, n, d) ((long)luaL_optinteger(L, (n), (d)))
#define luaL_typename(L, i) lua_typename(L, lua_type(L, (i)))
#define luaL_dofile(L, fn) (luaL_loadfile(L, fn) || lua_pcall(L, 0, LUA_MULTRET, 0))
#define luaL_dostring(L, s) (luaL_loadstring(L, s) || lua_pcall(L, 0, LUA_MULTRET, 0))
#define luaL_getmetatable(L, n) (lua_getfield(L, LUA_REGISTRYINDEX, (n)))
#define luaL_opt(L, f, n, d) (lua_isnoneornil(L, (n)) ? (d) : f(L, (n)))

// ---- String buffers ------------------------------------------------------
// A buffer starts in its own record and moves to a userdata on the stack
// when it outgrows it; between luaL_buffinit and luaL_pushresult the
// stack above the buffer's start must be balanced.
#define LUAL_BUFFERSIZE 8192

struct luaL_Buffer {
    char *b;     // the current block: initb or the userdata's
    size_t size; // its size
    size_t n;    // bytes in use
    lua_State *L;
    char initb[LUAL_BUFFERSIZE];
};

#define luaL_addchar(B, c) \
    ((void)((B)->n < (B)->size || luaL_prepbuffsize((B), 1)), ((B)->b[(B)->n++] = (char)(c)))
#define luaL_addsize(B, s) ((B)->n += (s))

void luaL_buffinit(lua_State *L, luaL_Buffer *B);
// Room for at least sz more bytes; "buffer too large" when the size
// would overflow.
char *luaL_prepbuffsize(luaL_Buffer *B, size_t sz);
void luaL_addlstring(luaL_Buffer *B, const char *s, size_t l);
void luaL_addstring(luaL_Buffer *B, const char *s);
// Adds the string (or number) on the stack top and pops it.
void luaL_addvalue(luaL_Buffer *B);
void luaL_pushresult(luaL_Buffer *B);
void luaL_pushresultsize(luaL_Buffer *B, size_t sz);
char *luaL_buffinitsize(lua_State *L, luaL_Buffer *B, size_t sz);

#define luaL_prepbuffer(B) luaL_prepbuffsize(B, LUAL_BUFFERSIZE)
