// Strings: short ones (up to LUAI_MAXSHORTLEN bytes) are interned in the
// string table, so that equal short strings are the same object; long ones
// are separate objects hashed on first use.
#pragma once

#include "lgc.h"
#include "lobject.h"
#include "lstate.h"

#define LUAI_MAXSHORTLEN 40
#define MINSTRTABSIZE 32

#define sizestring(s) (sizeof(TString) + ((s)->len + 1) * sizeof(char))
#define sizeudata(u) (sizeof(Udata) + (u)->len)

#define luaS_newliteral(L, s) (luaS_newlstr(L, "" s, (sizeof(s) / sizeof(char)) - 1))
// Keeps a string from ever being collected.
#define luaS_fix(s) l_setbit((s)->marked, FIXEDBIT)
// A reserved word of the language?
#define isreserved(s) ((s)->tt == LUA_TSHRSTR && (s)->extra > 0)
#define eqshrstr(a, b) ((a) == (b))

// The reserved words, in token order (index + 1 is the word's mark).
#define NUM_RESERVED 22
extern const char *const luaS_reserved[NUM_RESERVED];

unsigned int luaS_hash(const char *str, size_t l, unsigned int seed);
int luaS_eqlngstr(TString *a, TString *b);
int luaS_eqstr(TString *a, TString *b);
// Hash of a long string, computed on first use from the seed that the
// string was made with.
unsigned int luaS_hashlongstr(TString *s);
void luaS_resize(lua_State *L, int newsize);
Udata *luaS_newudata(lua_State *L, size_t s, Table *e);
TString *luaS_newlstr(lua_State *L, const char *str, size_t l);
TString *luaS_new(lua_State *L, const char *str);
// Interns the reserved words, fixes them and marks each with its index.
void luaS_initreserved(lua_State *L);
