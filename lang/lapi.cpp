// The host interface.
#include "lapi.h"

#include <cstring>

#include "lcompiler.h"
#include "ldebug.h"
#include "ldo.h"
#include "lfunc.h"
#include "lgc.h"
#include "lmem.h"
#include "lobject.h"
#include "lstate.h"
#include "lstring.h"
#include "ltable.h"
#include "ltm.h"
#include "lvm.h"

// Stands for an index with no value.
#define NONVALIDVALUE (const_cast<TValue *>(luaO_nilobject))
#define isvalid(o) ((o) != luaO_nilobject)
#define ispseudo(i) ((i) <= LUA_REGISTRYINDEX)
#define isupvalue(i) ((i) < LUA_REGISTRYINDEX)

static TValue *index2addr(lua_State *L, int idx) {
    CallInfo *ci = L->ci;
    if (idx > 0) {
        TValue *o = ci->func + idx;
        return (o >= L->top) ? NONVALIDVALUE : o;
    }
    if (!ispseudo(idx)) return L->top + idx;
    if (idx == LUA_REGISTRYINDEX) return &G(L)->l_registry;
    idx = LUA_REGISTRYINDEX - idx; // an upvalue of the running host closure
    if (ttislcf(ci->func)) return NONVALIDVALUE;
    CClosure *func = clCvalue(ci->func);
    return (idx <= func->nupvalues) ? &func->upvalue[idx - 1] : NONVALIDVALUE;
}

TValue *luaA_index2addr(lua_State *L, int idx) { return index2addr(L, idx); }

static void growstack(lua_State *L, void *ud) { luaD_growstack(L, *static_cast<int *>(ud)); }

int lua_checkstack(lua_State *L, int size) {
    int res;
    CallInfo *ci = L->ci;
    if (size < 0) return 0;
    if (L->stack_last - L->top > size) {
        res = 1;
    } else {
        int inuse = cast_int(L->top - L->stack) + EXTRA_STACK;
        if (inuse > LUAI_MAXSTACK - size) res = 0;
        else res = (luaD_rawrunprotected(L, &growstack, &size) == LUA_OK);
    }
    if (res && ci->top < L->top + size) ci->top = L->top + size;
    return res;
}

void lua_xmove(lua_State *from, lua_State *to, int n) {
    if (from == to) return;
    api_checknelems(from, n);
    from->top -= n;
    for (int i = 0; i < n; i++) setobj2s(to, to->top++, from->top + i);
}

lua_CFunction lua_atpanic(lua_State *L, lua_CFunction panicf) {
    lua_CFunction old = G(L)->panic;
    G(L)->panic = panicf;
    return old;
}

const lua_Number *lua_version(lua_State *L) {
    static const lua_Number version = LUA_VERSION_NUM;
    if (L == nullptr) return &version;
    return G(L)->version;
}

// ---- Stack ---------------------------------------------------------------

int lua_absindex(lua_State *L, int idx) {
    return (idx > 0 || ispseudo(idx)) ? idx : cast_int(L->top - L->ci->func) + idx;
}

int lua_gettop(lua_State *L) { return cast_int(L->top - (L->ci->func + 1)); }

void lua_settop(lua_State *L, int idx) {
    StkId func = L->ci->func;
    if (idx >= 0) {
        while (L->top < (func + 1) + idx) setnilvalue(L->top++);
        L->top = (func + 1) + idx;
    } else {
        L->top += idx + 1;
    }
}

void lua_remove(lua_State *L, int idx) {
    StkId p = index2addr(L, idx);
    while (++p < L->top) setobjs2s(L, p - 1, p);
    L->top--;
}

void lua_insert(lua_State *L, int idx) {
    StkId p = index2addr(L, idx);
    for (StkId q = L->top; q > p; q--) setobjs2s(L, q, q - 1);
    setobjs2s(L, p, L->top);
}

static void moveto(lua_State *L, TValue *fr, int idx) {
    TValue *to = index2addr(L, idx);
    setobj(L, to, fr);
    if (isupvalue(idx)) luaC_barrier(L, clCvalue(L->ci->func), fr);
    // The registry is reached only through the global state: it needs no
    // barrier.
}

void lua_replace(lua_State *L, int idx) {
    api_checknelems(L, 1);
    moveto(L, L->top - 1, idx);
    L->top--;
}

void lua_copy(lua_State *L, int fromidx, int toidx) { moveto(L, index2addr(L, fromidx), toidx); }

void lua_pushvalue(lua_State *L, int idx) {
    setobj2s(L, L->top, index2addr(L, idx));
    api_incr_top(L);
}

// ---- Access --------------------------------------------------------------

int lua_type(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    return isvalid(o) ? ttypenv(o) : LUA_TNONE;
}

const char *lua_typename(lua_State *, int t) { return ttypename(t); }

int lua_iscfunction(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    return ttislcf(o) || ttisCclosure(o);
}

int lua_isnumber(lua_State *L, int idx) {
    TValue n;
    const TValue *o = index2addr(L, idx);
    return luaV_tonumber(o, &n) != nullptr;
}

int lua_isstring(lua_State *L, int idx) {
    int t = lua_type(L, idx);
    return t == LUA_TSTRING || t == LUA_TNUMBER;
}

int lua_isuserdata(lua_State *L, int idx) {
    const TValue *o = index2addr(L, idx);
    return ttisuserdata(o) || ttislightuserdata(o);
}

int lua_rawequal(lua_State *L, int index1, int index2) {
    StkId o1 = index2addr(L, index1);
    StkId o2 = index2addr(L, index2);
    return (isvalid(o1) && isvalid(o2)) ? luaV_rawequalobj(o1, o2) : 0;
}

void lua_arith(lua_State *L, int op) {
    if (op != LUA_OPUNM) {
        api_checknelems(L, 2);
    } else { // unary minus takes its operand twice
        api_checknelems(L, 1);
        setobjs2s(L, L->top, L->top - 1);
        L->top++;
    }
    StkId o1 = L->top - 2;
    StkId o2 = L->top - 1;
    if (ttisnumber(o1) && ttisnumber(o2)) {
        setnvalue(o1, luaO_arith(op, nvalue(o1), nvalue(o2)));
    } else {
        luaV_arith(L, o1, o1, o2, cast(TMS, op - LUA_OPADD + TM_ADD));
    }
    L->top--;
}

int lua_compare(lua_State *L, int index1, int index2, int op) {
    StkId o1 = index2addr(L, index1);
    StkId o2 = index2addr(L, index2);
    if (!isvalid(o1) || !isvalid(o2)) return 0;
    switch (op) {
    case LUA_OPEQ: return equalobj(L, o1, o2);
    case LUA_OPLT: return luaV_lessthan(L, o1, o2);
    case LUA_OPLE: return luaV_lessequal(L, o1, o2);
    default: api_check(L, 0, "invalid option"); return 0;
    }
}

lua_Number lua_tonumberx(lua_State *L, int idx, int *isnum) {
    TValue n;
    const TValue *o = luaV_tonumber(index2addr(L, idx), &n);
    if (o) {
        if (isnum) *isnum = 1;
        return nvalue(o);
    }
    if (isnum) *isnum = 0;
    return 0;
}

lua_Integer lua_tointegerx(lua_State *L, int idx, int *isnum) {
    TValue n;
    const TValue *o = luaV_tonumber(index2addr(L, idx), &n);
    if (o) {
        if (isnum) *isnum = 1;
        return (lua_Integer)(nvalue(o) >> 16); // the floor
    }
    if (isnum) *isnum = 0;
    return 0;
}

lua_Unsigned lua_tounsignedx(lua_State *L, int idx, int *isnum) {
    TValue n;
    const TValue *o = luaV_tonumber(index2addr(L, idx), &n);
    if (o) {
        if (isnum) *isnum = 1;
        return (lua_Unsigned)(nvalue(o) >> 16);
    }
    if (isnum) *isnum = 0;
    return 0;
}

int lua_toboolean(lua_State *L, int idx) { return !l_isfalse(index2addr(L, idx)); }

const char *lua_tolstring(lua_State *L, int idx, size_t *len) {
    StkId o = index2addr(L, idx);
    if (!ttisstring(o)) {
        if (!luaV_tostring(L, o)) { // not a number either
            if (len != nullptr) *len = 0;
            return nullptr;
        }
        // Converted in place: an upvalue of a host closure now holds a new
        // string, which the collector must see if the closure is black.
        if (isupvalue(idx)) luaC_barrier(L, clCvalue(L->ci->func), o);
        luaC_checkGC(L);
        o = index2addr(L, idx); // the collector may have moved the stack
    }
    if (len != nullptr) *len = tsvalue(o)->len;
    return svalue(o);
}

size_t lua_rawlen(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    switch (ttypenv(o)) {
    case LUA_TSTRING: return tsvalue(o)->len;
    case LUA_TUSERDATA: return uvalue(o)->len;
    case LUA_TTABLE: return (size_t)luaH_getn(hvalue(o));
    default: return 0;
    }
}

lua_CFunction lua_tocfunction(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    if (ttislcf(o)) return fvalue(o);
    if (ttisCclosure(o)) return clCvalue(o)->f;
    return nullptr;
}

void *lua_touserdata(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    switch (ttypenv(o)) {
    case LUA_TUSERDATA: return rawuvalue(o)->data();
    case LUA_TLIGHTUSERDATA: return pvalue(o);
    default: return nullptr;
    }
}

lua_State *lua_tothread(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    return (!ttisthread(o)) ? nullptr : thvalue(o);
}

const void *lua_topointer(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    switch (ttype(o)) {
    case LUA_TTABLE: return hvalue(o);
    case LUA_TLCL: return clLvalue(o);
    case LUA_TCCL: return clCvalue(o);
    case LUA_TLCF: return reinterpret_cast<const void *>(reinterpret_cast<uintptr_t>(fvalue(o)));
    case LUA_TTHREAD: return thvalue(o);
    case LUA_TUSERDATA:
    case LUA_TLIGHTUSERDATA: return lua_touserdata(L, idx);
    default: return nullptr;
    }
}

// ---- Push ----------------------------------------------------------------

void lua_pushnil(lua_State *L) {
    setnilvalue(L->top);
    api_incr_top(L);
}

void lua_pushnumber(lua_State *L, lua_Number n) {
    setnvalue(L->top, n);
    api_incr_top(L);
}

void lua_pushinteger(lua_State *L, lua_Integer n) {
    setnvalue(L->top, (zorva_fixed)(uint32_t)n); // raw, as lua_pushnumber
    api_incr_top(L);
}

void lua_pushunsigned(lua_State *L, lua_Unsigned u) {
    setnvalue(L->top, (zorva_fixed)(u << 16)); // the whole number u
    api_incr_top(L);
}

const char *lua_pushlstring(lua_State *L, const char *s, size_t len) {
    luaC_checkGC(L);
    TString *ts = luaS_newlstr(L, len == 0 ? "" : s, len);
    setsvalue2s(L, L->top, ts);
    api_incr_top(L);
    return getstr(ts);
}

const char *lua_pushstring(lua_State *L, const char *s) {
    if (s == nullptr) {
        lua_pushnil(L);
        return nullptr;
    }
    luaC_checkGC(L);
    TString *ts = luaS_new(L, s);
    setsvalue2s(L, L->top, ts);
    api_incr_top(L);
    return getstr(ts);
}

const char *lua_pushvfstring(lua_State *L, const char *fmt, va_list argp) {
    luaC_checkGC(L);
    return luaO_pushvfstring(L, fmt, argp);
}

const char *lua_pushfstring(lua_State *L, const char *fmt, ...) {
    luaC_checkGC(L);
    va_list argp;
    va_start(argp, fmt);
    const char *ret = luaO_pushvfstring(L, fmt, argp);
    va_end(argp);
    return ret;
}

void lua_pushcclosure(lua_State *L, lua_CFunction fn, int n) {
    if (n == 0) {
        setfvalue(L->top, fn);
    } else {
        api_checknelems(L, n);
        api_check(L, n <= MAXUPVAL, "upvalue index too large");
        luaC_checkGC(L);
        CClosure *cl = luaF_newCclosure(L, n);
        cl->f = fn;
        L->top -= n;
        while (n--) setobj2n(L, &cl->upvalue[n], L->top + n);
        setclCvalue(L, L->top, cl);
    }
    api_incr_top(L);
}

void lua_pushboolean(lua_State *L, int b) {
    setbvalue(L->top, (b != 0));
    api_incr_top(L);
}

void lua_pushlightuserdata(lua_State *L, void *p) {
    setpvalue(L->top, p);
    api_incr_top(L);
}

int lua_pushthread(lua_State *L) {
    setthvalue(L, L->top, L);
    api_incr_top(L);
    return G(L)->mainthread == L;
}

// ---- Get -----------------------------------------------------------------

void lua_getglobal(lua_State *L, const char *var) {
    Table *reg = hvalue(&G(L)->l_registry);
    const TValue *gt = luaH_getint(reg, LUA_RIDX_GLOBALS);
    setobj2s(L, L->top++, gt);
    setsvalue2s(L, L->top, luaS_new(L, var));
    api_incr_top(L);
    luaV_gettable(L, gt, L->top - 1, L->top - 1);
    setobjs2s(L, L->top - 2, L->top - 1);
    L->top--;
}

void lua_gettable(lua_State *L, int idx) {
    StkId t = index2addr(L, idx);
    luaV_gettable(L, t, L->top - 1, L->top - 1);
}

void lua_getfield(lua_State *L, int idx, const char *k) {
    StkId t = index2addr(L, idx);
    setsvalue2s(L, L->top, luaS_new(L, k));
    api_incr_top(L);
    luaV_gettable(L, t, L->top - 1, L->top - 1);
}

void lua_rawget(lua_State *L, int idx) {
    StkId t = index2addr(L, idx);
    api_check(L, ttistable(t), "table expected");
    setobj2s(L, L->top - 1, luaH_get(hvalue(t), L->top - 1));
}

void lua_rawgeti(lua_State *L, int idx, int n) {
    StkId t = index2addr(L, idx);
    api_check(L, ttistable(t), "table expected");
    setobj2s(L, L->top, luaH_getint(hvalue(t), n));
    api_incr_top(L);
}

void lua_rawgetp(lua_State *L, int idx, const void *p) {
    StkId t = index2addr(L, idx);
    api_check(L, ttistable(t), "table expected");
    TValue k;
    setpvalue(&k, const_cast<void *>(p));
    setobj2s(L, L->top, luaH_get(hvalue(t), &k));
    api_incr_top(L);
}

void lua_createtable(lua_State *L, int narray, int nrec) {
    luaC_checkGC(L);
    Table *t = luaH_new(L);
    sethvalue(L, L->top, t);
    api_incr_top(L);
    if (narray > 0 || nrec > 0) luaH_resize(L, t, narray, nrec);
}

int lua_getmetatable(lua_State *L, int objindex) {
    const TValue *obj = index2addr(L, objindex);
    Table *mt;
    switch (ttypenv(obj)) {
    case LUA_TTABLE: mt = hvalue(obj)->metatable; break;
    case LUA_TUSERDATA: mt = uvalue(obj)->metatable; break;
    default: mt = G(L)->mt[ttypenv(obj)]; break;
    }
    if (mt == nullptr) return 0;
    sethvalue(L, L->top, mt);
    api_incr_top(L);
    return 1;
}

void lua_getuservalue(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    api_check(L, ttisuserdata(o), "userdata expected");
    if (uvalue(o)->env) sethvalue(L, L->top, uvalue(o)->env);
    else setnilvalue(L->top);
    api_incr_top(L);
}

// ---- Set -----------------------------------------------------------------

void lua_setglobal(lua_State *L, const char *var) {
    Table *reg = hvalue(&G(L)->l_registry);
    const TValue *gt = luaH_getint(reg, LUA_RIDX_GLOBALS);
    api_checknelems(L, 1);
    setsvalue2s(L, L->top, luaS_new(L, var));
    api_incr_top(L);
    luaV_settable(L, gt, L->top - 1, L->top - 2);
    L->top -= 2;
}

void lua_settable(lua_State *L, int idx) {
    api_checknelems(L, 2);
    StkId t = index2addr(L, idx);
    luaV_settable(L, t, L->top - 2, L->top - 1);
    L->top -= 2;
}

void lua_setfield(lua_State *L, int idx, const char *k) {
    api_checknelems(L, 1);
    StkId t = index2addr(L, idx);
    setsvalue2s(L, L->top, luaS_new(L, k));
    api_incr_top(L);
    luaV_settable(L, t, L->top - 1, L->top - 2);
    L->top -= 2;
}

void lua_rawset(lua_State *L, int idx) {
    api_checknelems(L, 2);
    StkId t = index2addr(L, idx);
    api_check(L, ttistable(t), "table expected");
    setobj2t(L, luaH_set(L, hvalue(t), L->top - 2), L->top - 1);
    hvalue(t)->flags = 0;
    luaC_barrierback(L, gcvalue(t), L->top - 1);
    L->top -= 2;
}

void lua_rawseti(lua_State *L, int idx, int n) {
    api_checknelems(L, 1);
    StkId t = index2addr(L, idx);
    api_check(L, ttistable(t), "table expected");
    luaH_setint(L, hvalue(t), n, L->top - 1);
    luaC_barrierback(L, gcvalue(t), L->top - 1);
    L->top--;
}

void lua_rawsetp(lua_State *L, int idx, const void *p) {
    api_checknelems(L, 1);
    StkId t = index2addr(L, idx);
    api_check(L, ttistable(t), "table expected");
    TValue k;
    setpvalue(&k, const_cast<void *>(p));
    setobj2t(L, luaH_set(L, hvalue(t), &k), L->top - 1);
    luaC_barrierback(L, gcvalue(t), L->top - 1);
    L->top--;
}

int lua_setmetatable(lua_State *L, int objindex) {
    api_checknelems(L, 1);
    TValue *obj = index2addr(L, objindex);
    Table *mt;
    if (ttisnil(L->top - 1)) {
        mt = nullptr;
    } else {
        api_check(L, ttistable(L->top - 1), "table expected");
        mt = hvalue(L->top - 1);
    }
    switch (ttypenv(obj)) {
    case LUA_TTABLE:
        hvalue(obj)->metatable = mt;
        if (mt) {
            luaC_objbarrierback(L, gcvalue(obj), mt);
            luaC_checkfinalizer(L, gcvalue(obj), mt);
        }
        break;
    case LUA_TUSERDATA:
        uvalue(obj)->metatable = mt;
        if (mt) {
            luaC_objbarrier(L, rawuvalue(obj), mt);
            luaC_checkfinalizer(L, gcvalue(obj), mt);
        }
        break;
    default: G(L)->mt[ttypenv(obj)] = mt; break;
    }
    L->top--;
    return 1;
}

void lua_setuservalue(lua_State *L, int idx) {
    api_checknelems(L, 1);
    StkId o = index2addr(L, idx);
    api_check(L, ttisuserdata(o), "userdata expected");
    if (ttisnil(L->top - 1)) {
        uvalue(o)->env = nullptr;
    } else {
        api_check(L, ttistable(L->top - 1), "table expected");
        uvalue(o)->env = hvalue(L->top - 1);
        luaC_objbarrier(L, gcvalue(o), hvalue(L->top - 1));
    }
    L->top--;
}

// ---- Calls ---------------------------------------------------------------

#define checkresults(L, na, nr) \
    api_check(L, (nr) == LUA_MULTRET || (L->ci->top - L->top >= (nr) - (na)), "results from function overflow current stack size")

int lua_getctx(lua_State *L, int *ctx) {
    if (L->ci->callstatus & CIST_YIELDED) {
        if (ctx) *ctx = L->ci->u.c.ctx;
        return L->ci->u.c.status;
    }
    return LUA_OK;
}

void lua_callk(lua_State *L, int nargs, int nresults, int ctx, lua_CFunction k) {
    api_check(L, k == nullptr || !isLua(L->ci), "cannot use continuations inside hooks");
    api_checknelems(L, nargs + 1);
    api_check(L, L->status == LUA_OK, "cannot do calls on non-normal thread");
    checkresults(L, nargs, nresults);
    StkId func = L->top - (nargs + 1);
    if (k != nullptr && L->nny == 0) { // may yield: keep the continuation
        L->ci->u.c.k = k;
        L->ci->u.c.ctx = ctx;
        luaD_call(L, func, nresults, 1);
    } else {
        luaD_call(L, func, nresults, 0);
    }
    adjustresults(L, nresults);
}

struct CallS {
    StkId func;
    int nresults;
};

static void f_call(lua_State *L, void *ud) {
    CallS *c = static_cast<CallS *>(ud);
    luaD_call(L, c->func, c->nresults, 0);
}

int lua_pcallk(lua_State *L, int nargs, int nresults, int errfunc, int ctx, lua_CFunction k) {
    api_check(L, k == nullptr || !isLua(L->ci), "cannot use continuations inside hooks");
    api_checknelems(L, nargs + 1);
    api_check(L, L->status == LUA_OK, "cannot do calls on non-normal thread");
    checkresults(L, nargs, nresults);
    ptrdiff_t func = 0;
    if (errfunc != 0) func = savestack(L, index2addr(L, errfunc));
    CallS c;
    c.func = L->top - (nargs + 1);
    int status;
    if (k == nullptr || L->nny > 0) { // no continuation, or no yields: plain
        c.nresults = nresults;
        status = luaD_pcall(L, f_call, &c, savestack(L, c.func), func);
    } else {
        // A yieldable protected call: an error after a yield is caught by
        // the coroutine's recover, which finds this record by its mark.
        CallInfo *ci = L->ci;
        ci->u.c.k = k;
        ci->u.c.ctx = ctx;
        ci->extra = savestack(L, c.func);
        ci->u.c.old_allowhook = L->allowhook;
        ci->u.c.old_errfunc = L->errfunc;
        L->errfunc = func;
        ci->callstatus |= CIST_YPCALL;
        luaD_call(L, c.func, nresults, 1);
        ci->callstatus &= cast_byte(~CIST_YPCALL);
        L->errfunc = ci->u.c.old_errfunc;
        status = LUA_OK;
    }
    adjustresults(L, nresults);
    return status;
}

int lua_load(lua_State *L, lua_Reader reader, void *data, const char *chunkname, const char *mode) {
    ZIO z;
    if (!chunkname) chunkname = "?";
    luaZ_init(L, &z, reader, data);
    int status = luaD_protectedparser(L, &z, chunkname, mode);
    if (status == LUA_OK) { // the first upvalue of the main chunk is _ENV
        LClosure *f = clLvalue(L->top - 1);
        if (f->nupvalues == 1) {
            Table *reg = hvalue(&G(L)->l_registry);
            const TValue *gt = luaH_getint(reg, LUA_RIDX_GLOBALS);
            setobj(L, f->upvals[0]->v, gt);
            luaC_barrier(L, f->upvals[0], gt);
        }
    }
    return status;
}

int lua_dump(lua_State *L, lua_Writer writer, void *data) {
    api_checknelems(L, 1);
    TValue *o = L->top - 1;
    if (ttisLclosure(o)) return luaU_dump(L, clLvalue(o)->p, writer, data, 0);
    return 1;
}

int lua_status(lua_State *L) { return L->status; }

// ---- Garbage collection --------------------------------------------------

int lua_gc(lua_State *L, int what, int data) {
    int res = 0;
    global_State *g = G(L);
    switch (what) {
    case LUA_GCSTOP: g->gcrunning = 0; break;
    case LUA_GCRESTART:
        luaE_setdebt(g, 0);
        g->gcrunning = 1;
        break;
    case LUA_GCCOLLECT: luaC_fullgc(L, 0); break;
    case LUA_GCCOUNT: res = cast_int(gettotalbytes(g) >> 10); break;
    case LUA_GCCOUNTB: res = cast_int(gettotalbytes(g) & 0x3ff); break;
    case LUA_GCSTEP:
        if (isgenerational(g)) {
            res = (g->GCestimate == 0); // a major collection is due
            luaC_forcestep(L);
        } else {
            l_mem debt = (l_mem)data * 1024 - GCSTEPSIZE;
            if (g->gcrunning) debt += g->GCdebt;
            luaE_setdebt(g, debt);
            luaC_forcestep(L);
            if (g->gcstate == GCSpause) res = 1; // the cycle ended
        }
        break;
    case LUA_GCSETPAUSE:
        res = g->gcpause;
        g->gcpause = data;
        break;
    case LUA_GCSETMAJORINC:
        res = g->gcmajorinc;
        g->gcmajorinc = data;
        break;
    case LUA_GCSETSTEPMUL:
        res = g->gcstepmul;
        g->gcstepmul = data;
        break;
    case LUA_GCISRUNNING: res = g->gcrunning; break;
    case LUA_GCGEN: luaC_changemode(L, KGC_GEN); break;
    case LUA_GCINC: luaC_changemode(L, KGC_NORMAL); break;
    default: res = -1;
    }
    return res;
}

void lua_setgcerrorf(lua_State *L, lua_GCErrorF f, void *ud) {
    G(L)->gcerrorf = f;
    G(L)->gcerrorud = ud;
}

int lua_setfinalizerbudget(lua_State *L, int instructions) {
    int old = G(L)->finbudget;
    G(L)->finbudget = instructions < 0 ? 0 : instructions;
    return old;
}

void lua_setfinalizerguard(lua_State *L, lua_FinalizerGuard f, void *ud) {
    G(L)->finguard = f;
    G(L)->finguardud = ud;
}

// ---- Miscellaneous -------------------------------------------------------

int lua_error(lua_State *L) {
    api_checknelems(L, 1);
    luaG_errormsg(L);
}

int lua_next(lua_State *L, int idx) {
    StkId t = index2addr(L, idx);
    api_check(L, ttistable(t), "table expected");
    int more = luaH_next(L, hvalue(t), L->top - 1);
    if (more) api_incr_top(L);
    else L->top -= 1;
    return more;
}

void lua_concat(lua_State *L, int n) {
    api_checknelems(L, n);
    if (n >= 2) {
        luaC_checkGC(L);
        luaV_concat(L, n);
    } else if (n == 0) {
        setsvalue2s(L, L->top, luaS_newlstr(L, "", 0));
        api_incr_top(L);
    }
}

void lua_len(lua_State *L, int idx) {
    StkId t = index2addr(L, idx);
    luaV_objlen(L, L->top, t);
    api_incr_top(L);
}

lua_Alloc lua_getallocf(lua_State *L, void **ud) {
    if (ud) *ud = G(L)->ud;
    return G(L)->frealloc;
}

void lua_setallocf(lua_State *L, lua_Alloc f, void *ud) {
    G(L)->ud = ud;
    G(L)->frealloc = f;
}

void *lua_newuserdata(lua_State *L, size_t size) {
    luaC_checkGC(L);
    Udata *u = luaS_newudata(L, size, nullptr);
    setuvalue(L, L->top, u);
    api_incr_top(L);
    return u->data();
}
