// The host interface of the script engine: a Lua 5.2 dialect whose only
// number type is zorva_fixed (16.16 fixed point).
//
// Number conventions: lua_pushnumber and lua_pushinteger push the raw
// 16.16 value; lua_pushunsigned pushes u << 16 (the whole number u);
// lua_tonumberx returns the raw value; lua_tointegerx and lua_tounsignedx
// return the floor (raw >> 16, arithmetic). Everything that is not a script
// number (stack indices, counts, lua_gettop, lua_gc results, status codes)
// is a plain int. lua_rawgeti and lua_rawseti take whole indices.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "zorva_fixed.h"

#define LUA_VERSION_MAJOR "5"
#define LUA_VERSION_MINOR "2"
#define LUA_VERSION_NUM 502
#define LUA_VERSION_RELEASE "3"
#define LUA_VERSION "Lua " LUA_VERSION_MAJOR "." LUA_VERSION_MINOR
#define LUA_RELEASE LUA_VERSION "." LUA_VERSION_RELEASE

// Mark of precompiled chunks.
#define LUA_SIGNATURE "\033Lua"

// Result count meaning "all results".
#define LUA_MULTRET (-1)

// Pseudo-indices.
#define LUAI_MAXSTACK 1000000
#define LUA_REGISTRYINDEX (-LUAI_MAXSTACK - 1000)
#define lua_upvalueindex(i) (LUA_REGISTRYINDEX - (i))

// Thread status; 0 is OK.
#define LUA_OK 0
#define LUA_YIELD 1
#define LUA_ERRRUN 2
#define LUA_ERRSYNTAX 3
#define LUA_ERRMEM 4
#define LUA_ERRGCMM 5
#define LUA_ERRERR 6

struct lua_State;

typedef int (*lua_CFunction)(lua_State *L);

// Reads a block of a chunk; returns null (or sets *size to 0) at the end.
typedef const char *(*lua_Reader)(lua_State *L, void *ud, size_t *size);
typedef int (*lua_Writer)(lua_State *L, const void *p, size_t sz, void *ud);

// The allocator: (ud, block, old size, new size) -> new block or null;
// new size 0 frees. For a new block (block null) the old size carries the
// type of the object being made (LUA_TSTRING ... LUA_TUPVAL), or 0.
typedef void *(*lua_Alloc)(void *ud, void *ptr, size_t osize, size_t nsize);

// Basic types. The internal types follow the type-name order:
// prototype 9, upvalue 10.
#define LUA_TNONE (-1)
#define LUA_TNIL 0
#define LUA_TBOOLEAN 1
#define LUA_TLIGHTUSERDATA 2
#define LUA_TNUMBER 3
#define LUA_TSTRING 4
#define LUA_TTABLE 5
#define LUA_TFUNCTION 6
#define LUA_TUSERDATA 7
#define LUA_TTHREAD 8
#define LUA_NUMTAGS 9

#define LUA_MINSTACK 20

// Registry slots (whole indices).
#define LUA_RIDX_MAINTHREAD 1
#define LUA_RIDX_GLOBALS 2
#define LUA_RIDX_LAST LUA_RIDX_GLOBALS

typedef zorva_fixed lua_Number;
typedef ptrdiff_t lua_Integer;
typedef uint32_t lua_Unsigned;

// ---- State ---------------------------------------------------------------
lua_State *lua_newstate(lua_Alloc f, void *ud);
void lua_close(lua_State *L);
lua_State *lua_newthread(lua_State *L);
lua_CFunction lua_atpanic(lua_State *L, lua_CFunction panicf);
const lua_Number *lua_version(lua_State *L);

// ---- Stack ---------------------------------------------------------------
int lua_absindex(lua_State *L, int idx);
int lua_gettop(lua_State *L);
void lua_settop(lua_State *L, int idx);
void lua_pushvalue(lua_State *L, int idx);
void lua_remove(lua_State *L, int idx);
void lua_insert(lua_State *L, int idx);
void lua_replace(lua_State *L, int idx);
void lua_copy(lua_State *L, int fromidx, int toidx);
int lua_checkstack(lua_State *L, int sz);
void lua_xmove(lua_State *from, lua_State *to, int n);

// ---- Access --------------------------------------------------------------
int lua_isnumber(lua_State *L, int idx);
int lua_isstring(lua_State *L, int idx);
int lua_iscfunction(lua_State *L, int idx);
int lua_isuserdata(lua_State *L, int idx);
int lua_type(lua_State *L, int idx);
const char *lua_typename(lua_State *L, int tp);

lua_Number lua_tonumberx(lua_State *L, int idx, int *isnum);
lua_Integer lua_tointegerx(lua_State *L, int idx, int *isnum);
lua_Unsigned lua_tounsignedx(lua_State *L, int idx, int *isnum);
int lua_toboolean(lua_State *L, int idx);
const char *lua_tolstring(lua_State *L, int idx, size_t *len);
size_t lua_rawlen(lua_State *L, int idx);
lua_CFunction lua_tocfunction(lua_State *L, int idx);
void *lua_touserdata(lua_State *L, int idx);
lua_State *lua_tothread(lua_State *L, int idx);
const void *lua_topointer(lua_State *L, int idx);

// ---- Arithmetic and comparison -------------------------------------------
#define LUA_OPADD 0
#define LUA_OPSUB 1
#define LUA_OPMUL 2
#define LUA_OPDIV 3
#define LUA_OPMOD 4
#define LUA_OPPOW 5
#define LUA_OPUNM 6
void lua_arith(lua_State *L, int op);

#define LUA_OPEQ 0
#define LUA_OPLT 1
#define LUA_OPLE 2
int lua_rawequal(lua_State *L, int idx1, int idx2);
int lua_compare(lua_State *L, int idx1, int idx2, int op);

// ---- Push ----------------------------------------------------------------
void lua_pushnil(lua_State *L);
void lua_pushnumber(lua_State *L, lua_Number n);
void lua_pushinteger(lua_State *L, lua_Integer n);
void lua_pushunsigned(lua_State *L, lua_Unsigned n);
const char *lua_pushlstring(lua_State *L, const char *s, size_t l);
const char *lua_pushstring(lua_State *L, const char *s);
const char *lua_pushvfstring(lua_State *L, const char *fmt, va_list argp);
const char *lua_pushfstring(lua_State *L, const char *fmt, ...);
void lua_pushcclosure(lua_State *L, lua_CFunction fn, int n);
void lua_pushboolean(lua_State *L, int b);
void lua_pushlightuserdata(lua_State *L, void *p);
int lua_pushthread(lua_State *L);

// ---- Get -----------------------------------------------------------------
void lua_getglobal(lua_State *L, const char *var);
void lua_gettable(lua_State *L, int idx);
void lua_getfield(lua_State *L, int idx, const char *k);
void lua_rawget(lua_State *L, int idx);
void lua_rawgeti(lua_State *L, int idx, int n);
void lua_rawgetp(lua_State *L, int idx, const void *p);
void lua_createtable(lua_State *L, int narr, int nrec);
void *lua_newuserdata(lua_State *L, size_t sz);
int lua_getmetatable(lua_State *L, int objindex);
void lua_getuservalue(lua_State *L, int idx);

// ---- Set -----------------------------------------------------------------
void lua_setglobal(lua_State *L, const char *var);
void lua_settable(lua_State *L, int idx);
void lua_setfield(lua_State *L, int idx, const char *k);
void lua_rawset(lua_State *L, int idx);
void lua_rawseti(lua_State *L, int idx, int n);
void lua_rawsetp(lua_State *L, int idx, const void *p);
int lua_setmetatable(lua_State *L, int objindex);
void lua_setuservalue(lua_State *L, int idx);

// ---- Calls ---------------------------------------------------------------
void lua_callk(lua_State *L, int nargs, int nresults, int ctx, lua_CFunction k);
#define lua_call(L, n, r) lua_callk(L, (n), (r), 0, nullptr)
int lua_getctx(lua_State *L, int *ctx);
int lua_pcallk(lua_State *L, int nargs, int nresults, int errfunc, int ctx, lua_CFunction k);
#define lua_pcall(L, n, r, f) lua_pcallk(L, (n), (r), (f), 0, nullptr)
int lua_load(lua_State *L, lua_Reader reader, void *dt, const char *chunkname, const char *mode);
int lua_dump(lua_State *L, lua_Writer writer, void *data);

// ---- Coroutines ----------------------------------------------------------
int lua_yieldk(lua_State *L, int nresults, int ctx, lua_CFunction k);
#define lua_yield(L, n) lua_yieldk(L, (n), 0, nullptr)
int lua_resume(lua_State *L, lua_State *from, int narg);
int lua_status(lua_State *L);

// ---- Garbage collection --------------------------------------------------
#define LUA_GCSTOP 0
#define LUA_GCRESTART 1
#define LUA_GCCOLLECT 2
#define LUA_GCCOUNT 3
#define LUA_GCCOUNTB 4
#define LUA_GCSTEP 5
#define LUA_GCSETPAUSE 6
#define LUA_GCSETSTEPMUL 7
#define LUA_GCSETMAJORINC 8
#define LUA_GCISRUNNING 9
#define LUA_GCGEN 10
#define LUA_GCINC 11
int lua_gc(lua_State *L, int what, int data);

// ---- Miscellaneous -------------------------------------------------------
int lua_error(lua_State *L);
int lua_next(lua_State *L, int idx);
void lua_concat(lua_State *L, int n);
void lua_len(lua_State *L, int idx);
lua_Alloc lua_getallocf(lua_State *L, void **ud);
void lua_setallocf(lua_State *L, lua_Alloc f, void *ud);

// ---- Convenience ---------------------------------------------------------
#define lua_tonumber(L, i) lua_tonumberx(L, (i), nullptr)
#define lua_tointeger(L, i) lua_tointegerx(L, (i), nullptr)
#define lua_tounsigned(L, i) lua_tounsignedx(L, (i), nullptr)
#define lua_pop(L, n) lua_settop(L, -(n)-1)
#define lua_newtable(L) lua_createtable(L, 0, 0)
#define lua_register(L, n, f) (lua_pushcfunction(L, (f)), lua_setglobal(L, (n)))
#define lua_pushcfunction(L, f) lua_pushcclosure(L, (f), 0)
#define lua_isfunction(L, n) (lua_type(L, (n)) == LUA_TFUNCTION)
#define lua_istable(L, n) (lua_type(L, (n)) == LUA_TTABLE)
#define lua_islightuserdata(L, n) (lua_type(L, (n)) == LUA_TLIGHTUSERDATA)
#define lua_isnil(L, n) (lua_type(L, (n)) == LUA_TNIL)
#define lua_isboolean(L, n) (lua_type(L, (n)) == LUA_TBOOLEAN)
#define lua_isthread(L, n) (lua_type(L, (n)) == LUA_TTHREAD)
#define lua_isnone(L, n) (lua_type(L, (n)) == LUA_TNONE)
#define lua_isnoneornil(L, n) (lua_type(L, (n)) <= 0)
#define lua_pushliteral(L, s) lua_pushlstring(L, "" s, (sizeof(s) / sizeof(char)) - 1)
#define lua_pushglobaltable(L) lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS)
#define lua_tostring(L, i) lua_tolstring(L, (i), nullptr)

// ---- Debug interface -----------------------------------------------------
#define LUA_HOOKCALL 0
#define LUA_HOOKRET 1
#define LUA_HOOKLINE 2
#define LUA_HOOKCOUNT 3
#define LUA_HOOKTAILCALL 4

#define LUA_MASKCALL (1 << LUA_HOOKCALL)
#define LUA_MASKRET (1 << LUA_HOOKRET)
#define LUA_MASKLINE (1 << LUA_HOOKLINE)
#define LUA_MASKCOUNT (1 << LUA_HOOKCOUNT)

#define LUA_IDSIZE 60

struct CallInfo;

struct lua_Debug {
    int event;
    const char *name;           // (n)
    const char *namewhat;       // (n) "global", "local", "field", "method"
    const char *what;           // (S) "Lua", "C", "main", "tail"
    const char *source;         // (S)
    int currentline;            // (l)
    int linedefined;            // (S)
    int lastlinedefined;        // (S)
    unsigned char nups;         // (u)
    unsigned char nparams;      // (u)
    char isvararg;              // (u)
    char istailcall;            // (t)
    char short_src[LUA_IDSIZE]; // (S)
    CallInfo *i_ci;             // the active function
};

typedef void (*lua_Hook)(lua_State *L, lua_Debug *ar);

int lua_getstack(lua_State *L, int level, lua_Debug *ar);
int lua_getinfo(lua_State *L, const char *what, lua_Debug *ar);
const char *lua_getlocal(lua_State *L, const lua_Debug *ar, int n);
const char *lua_setlocal(lua_State *L, const lua_Debug *ar, int n);
const char *lua_getupvalue(lua_State *L, int funcindex, int n);
const char *lua_setupvalue(lua_State *L, int funcindex, int n);
void *lua_upvalueid(lua_State *L, int fidx, int n);
void lua_upvaluejoin(lua_State *L, int fidx1, int n1, int fidx2, int n2);
int lua_sethook(lua_State *L, lua_Hook func, int mask, int count);
lua_Hook lua_gethook(lua_State *L);
int lua_gethookmask(lua_State *L);
int lua_gethookcount(lua_State *L);

// ---- Console additions ---------------------------------------------------

// CPU budget: see lstate.h for the counters these move.
int lua_spend_cpu(lua_State *L, int n);
int lua_get_cpu(lua_State *L);
void lua_zorva_soft_yield(lua_State *L);
void lua_reset_call_state_zorva(lua_State *L);
extern uint32_t zorva_soft_yield_count;
// Stores the current line of the script function at the given level of
// the call stack (lua_getstack's numbering: 1 is the caller of the running
// host function) in zorva_runtime_line, when that function has one. Host
// errors carry no position text; luaL_error calls this with level 1 so
// that the console still learns the line of the script call that failed.
void lua_zorva_record_error_line(lua_State *L, int level);
extern int32_t zorva_runtime_line;

// Receives the message of a "__gc" finalizer that failed (or ran past its
// budget) in a collection that had no protected call to report it to: a
// collection the host started between runs with lua_gc, the collection of
// lua_close, or a step outside any protected call. Without a handler the
// message is dropped. The state is usable in the call.
typedef void (*lua_GCErrorF)(void *ud, lua_State *L, const char *msg);
void lua_setgcerrorf(lua_State *L, lua_GCErrorF f, void *ud);

// Instructions that one finalizer may run, counting those of the
// coroutines it resumes, before it is stopped with an error (a count hook
// of its own stands in for the threads' hooks meanwhile; once it is spent,
// catching the error gets the finalizer no further); 0 removes the bound.
// Coroutines made inside a finalizer take the hooks that its thread has
// outside it. Returns the old value.
int lua_setfinalizerbudget(lua_State *L, int instructions);

// Asked before each "__gc" finalizer that a collection or lua_close is
// about to call: 0 lets the object go without its finalizer, so that the
// host can bound the time that all of them together take. Null (the
// default): every finalizer runs.
typedef int (*lua_FinalizerGuard)(void *ud, lua_State *L);
void lua_setfinalizerguard(lua_State *L, lua_FinalizerGuard f, void *ud);

// Fixes the string-hash seed of every state made afterwards (so that table
// traversal orders repeat), or with enable 0 goes back to seeds made from
// the time and addresses. For tests and reproducible runs.
void lua_zorva_fixseed(int enable, unsigned int seed);
