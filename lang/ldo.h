// Stack, calls, errors and coroutines.
//
// Errors are C++ exceptions: luaD_throw throws the current recovery point
// (a lua_longjmp) and luaD_rawrunprotected catches it. Destructors of host
// frames therefore run while an error unwinds.
#pragma once

#include "lobject.h"
#include "lstate.h"
#include "lzio.h"

#define luaD_checkstack(L, n) \
    do {                      \
        if ((L)->stack_last - (L)->top <= (n)) luaD_growstack(L, n); \
    } while (0)
#define incr_top(L)            \
    do {                       \
        L->top++;              \
        luaD_checkstack(L, 0); \
    } while (0)
#define savestack(L, p) ((char *)(p) - (char *)(L)->stack)
#define restorestack(L, n) ((TValue *)((char *)(L)->stack + (n)))

// Protected function run by luaD_rawrunprotected.
typedef void (*Pfunc)(lua_State *L, void *ud);

int luaD_protectedparser(lua_State *L, ZIO *z, const char *name, const char *mode);
void luaD_hook(lua_State *L, int event, int line);
// Prepares a call of the function at func: a host function runs to its end
// (returns 1); for a script function the call record is made and 0 is
// returned, and the caller runs luaV_execute.
int luaD_precall(lua_State *L, StkId func, int nresults);
void luaD_call(lua_State *L, StkId func, int nresults, int allowyield);
int luaD_pcall(lua_State *L, Pfunc func, void *u, ptrdiff_t oldtop, ptrdiff_t ef);
// Moves the results from firstResult to the called function's slot;
// returns 0 when the call wanted all results (LUA_MULTRET).
int luaD_poscall(lua_State *L, StkId firstResult);
void luaD_reallocstack(lua_State *L, int newsize);
void luaD_growstack(lua_State *L, int n);
void luaD_shrinkstack(lua_State *L);
[[noreturn]] void luaD_throw(lua_State *L, int errcode);
int luaD_rawrunprotected(lua_State *L, Pfunc f, void *ud);
// Puts the error object of status errcode at oldtop.
void luaD_seterrorobj(lua_State *L, int errcode, StkId oldtop);
