// Stack growth, calls and returns, protected calls, errors and coroutines.
#include "ldo.h"

#include <cstdlib>
#include <cstring>

#include "lapi.h"
#include "lcompiler.h"
#include "ldebug.h"
#include "lfunc.h"
#include "lgc.h"
#include "lmem.h"
#include "lopcodes.h"
#include "lstring.h"
#include "ltm.h"
#include "lvm.h"

// Recovery point of a protected call. luaD_throw throws a pointer to it;
// the try block that made it catches exactly that pointer.
struct lua_longjmp {
    lua_longjmp *previous;
    int status;
};

// Stack size while an overflow error is handled.
#define ERRORSTACKSIZE (LUAI_MAXSTACK + 200)

// ---- Errors --------------------------------------------------------------

void luaD_seterrorobj(lua_State *L, int errcode, StkId oldtop) {
    switch (errcode) {
    case LUA_ERRMEM: setsvalue2s(L, oldtop, G(L)->memerrmsg); break;
    case LUA_ERRERR: setsvalue2s(L, oldtop, G(L)->errerrmsg); break;
    default: setobjs2s(L, oldtop, L->top - 1); break; // the message on top
    }
    L->top = oldtop + 1;
}

void luaD_throw(lua_State *L, int errcode) {
    if (L->errorJmp) {
        L->errorJmp->status = errcode;
        throw L->errorJmp;
    }
    // No recovery point in this thread.
    global_State *g = G(L);
    L->status = cast_byte(errcode); // the thread is dead
    if (g->mainthread->errorJmp) {  // raise it in the main thread
        luaD_checkstack(g->mainthread, 1);
        setobjs2s(L, g->mainthread->top++, L->top - 1);
        luaD_throw(g->mainthread, errcode);
    }
    if (g->panic) g->panic(L);
    std::abort();
}

int luaD_rawrunprotected(lua_State *L, Pfunc f, void *ud) {
    unsigned short oldnCcalls = L->nCcalls;
    lua_longjmp lj;
    lj.status = LUA_OK;
    lj.previous = L->errorJmp;
    L->errorJmp = &lj;
    try {
        f(L, ud);
    } catch (lua_longjmp *e) {
        if (e != &lj) { // meant for a recovery point further out
            L->errorJmp = lj.previous;
            L->nCcalls = oldnCcalls;
            throw;
        }
    }
    L->errorJmp = lj.previous;
    L->nCcalls = oldnCcalls;
    return lj.status;
}

// ---- Stack ---------------------------------------------------------------

static void correctstack(lua_State *L, TValue *oldstack, TValue *newstack) {
    auto fix = [&](StkId p) { return newstack + (p - oldstack); };
    L->top = fix(L->top);
    for (GCObject *up = L->openupval; up != nullptr; up = up->next) gco2uv(up)->v = fix(gco2uv(up)->v);
    for (CallInfo *ci = L->ci; ci != nullptr; ci = ci->previous) {
        ci->top = fix(ci->top);
        ci->func = fix(ci->func);
        if (isLua(ci)) ci->u.l.base = fix(ci->u.l.base);
    }
}

// Moves the stack to a block of newsize slots. When shrink_only is set a
// failing allocation leaves the stack as it is instead of raising.
static bool movestack(lua_State *L, int newsize, bool shrink_only) {
    global_State *g = G(L);
    TValue *oldstack = L->stack;
    int oldsize = L->stacksize;
    TValue *newstack;
    if (shrink_only) {
        newstack = static_cast<TValue *>(g->frealloc(g->ud, nullptr, 0, (size_t)newsize * sizeof(TValue)));
        if (newstack == nullptr) return false;
        g->GCdebt += (l_mem)((size_t)newsize * sizeof(TValue));
    } else {
        newstack = luaM_newvector(L, newsize, TValue);
    }
    int keep = oldsize < newsize ? oldsize : newsize;
    std::memcpy(newstack, oldstack, (size_t)keep * sizeof(TValue));
    for (int i = keep; i < newsize; i++) setnilvalue(newstack + i);
    correctstack(L, oldstack, newstack);
    L->stack = newstack;
    L->stacksize = newsize;
    L->stack_last = newstack + newsize - EXTRA_STACK;
    luaM_freearray(L, oldstack, (size_t)oldsize);
    return true;
}

void luaD_reallocstack(lua_State *L, int newsize) { movestack(L, newsize, false); }

void luaD_growstack(lua_State *L, int n) {
    int size = L->stacksize;
    if (size > LUAI_MAXSTACK) luaD_throw(L, LUA_ERRERR); // grows while handling an overflow
    int needed = cast_int(L->top - L->stack) + n + EXTRA_STACK;
    int newsize = 2 * size;
    if (newsize > LUAI_MAXSTACK) newsize = LUAI_MAXSTACK;
    if (newsize < needed) newsize = needed;
    if (newsize > LUAI_MAXSTACK) {
        luaD_reallocstack(L, ERRORSTACKSIZE); // room to handle the error
        luaG_runerror(L, "stack overflow");
    }
    luaD_reallocstack(L, newsize);
}

static int stackinuse(lua_State *L) {
    StkId lim = L->top;
    for (CallInfo *ci = L->ci; ci != nullptr; ci = ci->previous)
        if (lim < ci->top) lim = ci->top;
    return cast_int(lim - L->stack) + 1;
}

// Gives back stack space after deep recursion or an error; never raises.
void luaD_shrinkstack(lua_State *L) {
    int inuse = stackinuse(L);
    // Room for a host call or a hook at the deepest frame too (each asks
    // for LUA_MINSTACK slots), else the stack grows back at once.
    int goodsize = inuse + (inuse / 8) + 2 * EXTRA_STACK + LUA_MINSTACK;
    if (goodsize > LUAI_MAXSTACK) goodsize = LUAI_MAXSTACK;
    if (inuse <= LUAI_MAXSTACK) luaE_freeCI(L); // records beyond the current one
    // Only a stack at least twice the size it needs shrinks: moving it on
    // every cycle for a few slots costs more than it gives back.
    if (inuse <= LUAI_MAXSTACK && 2 * goodsize <= L->stacksize) movestack(L, goodsize, true);
}

// ---- Hooks ---------------------------------------------------------------

void luaD_hook(lua_State *L, int event, int line) {
    lua_Hook hook = L->hook;
    if (hook && L->allowhook) {
        CallInfo *ci = L->ci;
        ptrdiff_t top = savestack(L, L->top);
        ptrdiff_t ci_top = savestack(L, ci->top);
        lua_Debug ar;
        ar.event = event;
        ar.currentline = line;
        ar.i_ci = ci;
        luaD_checkstack(L, LUA_MINSTACK);
        ci->top = L->top + LUA_MINSTACK;
        L->allowhook = 0; // no hooks inside a hook
        ci->callstatus |= CIST_HOOKED;
        (*hook)(L, &ar);
        L->allowhook = 1;
        ci->top = restorestack(L, ci_top);
        L->top = restorestack(L, top);
        ci->callstatus &= cast_byte(~CIST_HOOKED);
    }
}

static void callhook(lua_State *L, CallInfo *ci) {
    int hook = LUA_HOOKCALL;
    ci->u.l.savedpc++; // hooks see the pc past the current instruction
    // A tail call when the caller is calling through OP_TAILCALL (its saved
    // pc stands past that instruction). A caller that has run no
    // instruction yet (a finalizer called while its frame was made) is not.
    CallInfo *caller = ci->previous;
    if (isLua(caller) && caller->u.l.savedpc > ci_func(caller)->p->code &&
        GET_OPCODE(caller->u.l.savedpc[-1]) == OP_TAILCALL) {
        ci->callstatus |= CIST_TAIL;
        hook = LUA_HOOKTAILCALL;
    }
    luaD_hook(L, hook, -1);
    ci->u.l.savedpc--;
}

// ---- Calls ---------------------------------------------------------------

// Moves the fixed parameters of a vararg function above its arguments
// (the missing ones as nil), so that the extra arguments stay below the
// new base. The caller has made room for the moved frame.
static StkId adjust_varargs(lua_State *L, Proto *p, int actual) {
    int nfixargs = p->numparams;
    for (; actual < nfixargs; ++actual) setnilvalue(L->top++);
    StkId fixed = L->top - actual;
    StkId base = L->top;
    for (int i = 0; i < nfixargs; i++) {
        setobjs2s(L, L->top++, fixed + i);
        setnilvalue(fixed + i);
    }
    return base;
}

// A called value that is not a function: its "__call" metamethod is called
// with the value as first argument.
static StkId tryfuncTM(lua_State *L, StkId func) {
    const TValue *tm = luaT_gettmbyobj(L, func, TM_CALL);
    if (!ttisfunction(tm)) luaG_typeerror(L, func, "call");
    ptrdiff_t funcr = savestack(L, func);
    luaD_checkstack(L, 1); // the arguments move up one slot
    func = restorestack(L, funcr);
    for (StkId p = L->top; p > func; p--) setobjs2s(L, p, p - 1);
    L->top++;
    setobj2s(L, func, tm);
    return func;
}

static inline CallInfo *next_ci(lua_State *L) { return L->ci = (L->ci->next ? L->ci->next : luaE_extendCI(L)); }

int luaD_precall(lua_State *L, StkId func, int nresults) {
    lua_CFunction f;
    ptrdiff_t funcr = savestack(L, func);
    switch (ttype(func)) {
    case LUA_TLCF: f = fvalue(func); goto host_function;
    case LUA_TCCL: f = clCvalue(func)->f;
    host_function: {
        luaD_checkstack(L, LUA_MINSTACK);
        CallInfo *ci = next_ci(L);
        ci->nresults = cast(short, nresults);
        ci->func = restorestack(L, funcr);
        ci->top = L->top + LUA_MINSTACK;
        ci->callstatus = 0;
        luaC_checkGC(L);
        if (L->hookmask & LUA_MASKCALL) luaD_hook(L, LUA_HOOKCALL, -1);
        int n = (*f)(L);
        if (L->status == LUA_YIELD) return 2; // it yielded by returning (lua_yieldk)
        api_checknelems(L, n);
        luaD_poscall(L, L->top - n);
        return 1;
    }
    case LUA_TLCL: {
        Proto *p = clLvalue(func)->p;
        int n = cast_int(L->top - func) - 1; // arguments given
        // The frame takes maxstacksize slots from its base. A vararg
        // function's base lies above its arguments and the nils that stand
        // for its missing fixed parameters.
        int room = p->maxstacksize;
        if (p->is_vararg && n < p->numparams) room += p->numparams - n;
        luaD_checkstack(L, room);
        func = restorestack(L, funcr);
        for (; n < p->numparams; n++) setnilvalue(L->top++);
        StkId base = (!p->is_vararg) ? func + 1 : adjust_varargs(L, p, n);
        CallInfo *ci = next_ci(L);
        ci->nresults = cast(short, nresults);
        ci->func = func;
        ci->u.l.base = base;
        ci->top = base + p->maxstacksize;
        ci->u.l.savedpc = p->code;
        ci->callstatus = CIST_LUA;
        L->top = ci->top;
        luaC_checkGC(L);
        if (L->hookmask & LUA_MASKCALL) callhook(L, ci);
        return 0;
    }
    default:
        func = tryfuncTM(L, func);
        return luaD_precall(L, func, nresults);
    }
}

int luaD_poscall(lua_State *L, StkId firstResult) {
    CallInfo *ci = L->ci;
    if (L->hookmask & (LUA_MASKRET | LUA_MASKLINE)) {
        if (L->hookmask & LUA_MASKRET) {
            ptrdiff_t fr = savestack(L, firstResult);
            luaD_hook(L, LUA_HOOKRET, -1);
            firstResult = restorestack(L, fr);
        }
        L->oldpc = ci->previous->u.l.savedpc; // for the caller's line hook
    }
    StkId res = ci->func; // results go where the function was
    int wanted = ci->nresults;
    L->ci = ci->previous;
    int i;
    for (i = wanted; i != 0 && firstResult < L->top; i--) setobjs2s(L, res++, firstResult++);
    while (i-- > 0) setnilvalue(res++);
    L->top = res;
    return wanted - LUA_MULTRET;
}

void luaD_call(lua_State *L, StkId func, int nResults, int allowyield) {
    if (++L->nCcalls >= LUAI_MAXCCALLS) {
        if (L->nCcalls == LUAI_MAXCCALLS) luaG_runerror(L, "C stack overflow");
        else if (L->nCcalls >= (LUAI_MAXCCALLS + (LUAI_MAXCCALLS >> 3))) luaD_throw(L, LUA_ERRERR);
    }
    if (!allowyield) L->nny++;
    if (!luaD_precall(L, func, nResults)) luaV_execute(L);
    if (!allowyield) L->nny--;
    L->nCcalls--;
}

int luaD_pcall(lua_State *L, Pfunc func, void *u, ptrdiff_t old_top, ptrdiff_t ef) {
    CallInfo *old_ci = L->ci;
    lu_byte old_allowhooks = L->allowhook;
    unsigned short old_nny = L->nny;
    ptrdiff_t old_errfunc = L->errfunc;
    L->errfunc = ef;
    int status = luaD_rawrunprotected(L, func, u);
    if (status != LUA_OK) {
        StkId oldtop = restorestack(L, old_top);
        luaF_close(L, oldtop);
        luaD_seterrorobj(L, status, oldtop);
        L->ci = old_ci;
        L->allowhook = old_allowhooks;
        L->nny = old_nny;
        luaD_shrinkstack(L);
    }
    L->errfunc = old_errfunc;
    return status;
}

// ---- Coroutines ----------------------------------------------------------

// Finishes a host call interrupted by a yield: runs its continuation.
static void finishCcall(lua_State *L) {
    CallInfo *ci = L->ci;
    if (ci->callstatus & CIST_YPCALL) { // it was inside lua_pcallk
        ci->callstatus &= cast_byte(~CIST_YPCALL);
        L->errfunc = ci->u.c.old_errfunc;
    }
    adjustresults(L, ci->nresults);
    if (!(ci->callstatus & CIST_STAT)) ci->u.c.status = LUA_YIELD;
    ci->callstatus |= CIST_YIELDED;
    int n = (*ci->u.c.k)(L);
    api_checknelems(L, n);
    luaD_poscall(L, L->top - n);
}

// Completes every call of the coroutine, from the innermost out.
static void unroll(lua_State *L, void *) {
    for (;;) {
        if (L->status == LUA_YIELD) return; // a host function yielded by returning
        if (L->ci == &L->base_ci) return;   // the coroutine ended
        if (!isLua(L->ci)) {
            finishCcall(L);
        } else {
            luaV_finishOp(L);
            luaV_execute(L);
        }
    }
}

static CallInfo *findpcall(lua_State *L) {
    for (CallInfo *ci = L->ci; ci != nullptr; ci = ci->previous)
        if (ci->callstatus & CIST_YPCALL) return ci;
    return nullptr;
}

// An error inside a coroutine that a lua_pcallk with continuation catches:
// unwind to it, as the protected call would have.
static int recover(lua_State *L, int status) {
    CallInfo *ci = findpcall(L);
    if (ci == nullptr) return 0;
    StkId oldtop = restorestack(L, ci->extra);
    luaF_close(L, oldtop);
    luaD_seterrorobj(L, status, oldtop);
    L->ci = ci;
    L->allowhook = ci->u.c.old_allowhook;
    L->nny = 0; // yieldable again
    luaD_shrinkstack(L);
    L->errfunc = ci->u.c.old_errfunc;
    ci->callstatus |= CIST_STAT;
    ci->u.c.status = cast_byte(status);
    return 1;
}

[[noreturn]] static void resume_error(lua_State *L, const char *msg, StkId firstArg) {
    L->top = firstArg; // drop the arguments
    setsvalue2s(L, L->top, luaS_new(L, msg));
    api_incr_top(L);
    luaD_throw(L, -1); // back to lua_resume, thread unchanged
}

static void resume(lua_State *L, void *ud) {
    StkId firstArg = static_cast<StkId>(ud);
    CallInfo *ci = L->ci;
    if (L->nCcalls >= LUAI_MAXCCALLS) resume_error(L, "C stack overflow", firstArg);
    if (G(L)->finexpired) resume_error(L, FINBUDGETMSG, firstArg); // inside a finalizer out of budget
    if (L->status == LUA_OK) { // starting the coroutine
        if (ci != &L->base_ci) resume_error(L, "cannot resume non-suspended coroutine", firstArg);
        if (!luaD_precall(L, firstArg - 1, LUA_MULTRET)) luaV_execute(L);
    } else if (L->status != LUA_YIELD) {
        resume_error(L, "cannot resume dead coroutine", firstArg);
    } else { // continuing after a yield
        L->status = LUA_OK;
        ci->func = restorestack(L, ci->extra);
        if (isLua(ci)) { // yielded inside a hook: the instruction runs now
            luaV_execute(L);
        } else {
            if (ci->u.c.k != nullptr) {
                ci->u.c.status = LUA_YIELD;
                ci->callstatus |= CIST_YIELDED;
                int n = (*ci->u.c.k)(L);
                api_checknelems(L, n);
                firstArg = L->top - n; // the continuation's results
            }
            luaD_poscall(L, firstArg); // the yielding host call returns
        }
        unroll(L, nullptr);
    }
}

int lua_resume(lua_State *L, lua_State *from, int nargs) {
    unsigned short oldnny = L->nny;
    unsigned short oldnCresume = L->nCresume;
    L->nCcalls = cast(unsigned short, (from) ? from->nCcalls + 1 : 1);
    L->nCresume = L->nCcalls;
    L->nny = 0; // yields allowed
    api_checknelems(L, (L->status == LUA_OK) ? nargs + 1 : nargs);
    // Inside a finalizer the coroutine runs under the finalizer's budget.
    luaC_HookSave hooks;
    bool budgeted = G(L)->infinalizer > 0 && G(L)->finbudget > 0;
    if (budgeted) luaC_budgethooks(L, &hooks);
    int status = luaD_rawrunprotected(L, resume, L->top - nargs);
    if (status == LUA_OK && L->status == LUA_YIELD) status = LUA_YIELD; // yielded by returning
    if (status == -1) { // the resume itself was refused
        status = LUA_ERRRUN;
    } else {
        while (status != LUA_OK && status != LUA_YIELD) {
            if (recover(L, status)) {
                status = luaD_rawrunprotected(L, unroll, nullptr);
                if (status == LUA_OK && L->status == LUA_YIELD) status = LUA_YIELD;
            } else { // nothing catches it: the coroutine dies
                L->status = cast_byte(status);
                luaD_seterrorobj(L, status, L->top);
                L->ci->top = L->top;
                break;
            }
        }
    }
    if (budgeted) luaC_restorehooks(L, &hooks);
    L->nny = oldnny;
    L->nCresume = oldnCresume;
    L->nCcalls--;
    return status;
}

int lua_yieldk(lua_State *L, int nresults, int ctx, lua_CFunction k) {
    CallInfo *ci = L->ci;
    api_checknelems(L, nresults);
    if (L->nny > 0) {
        if (L != G(L)->mainthread) luaG_runerror(L, "attempt to yield across a C-call boundary");
        else luaG_runerror(L, "attempt to yield from outside a coroutine");
    }
    L->status = LUA_YIELD;
    ci->extra = savestack(L, ci->func);
    if (isLua(ci)) {
        // Inside a hook: the hook returns normally and the interpreter
        // suspends before the current instruction.
        api_check(L, k == nullptr, "hooks cannot continue after yielding");
        return 0;
    }
    if ((ci->u.c.k = k) != nullptr) ci->u.c.ctx = ctx;
    ci->func = L->top - nresults - 1; // keep only the results above it
    // A host function that the outermost interpreter loop of this resume
    // called directly (no host frame, hook or continuation in between)
    // yields by returning: luaD_precall sees the status and the loop
    // returns to lua_resume, which is much cheaper than unwinding.
    if (L->nCcalls == L->nCresume && isLua(ci->previous) &&
        !(ci->callstatus & (CIST_YIELDED | CIST_HOOKED | CIST_YPCALL)))
        return 0;
    luaD_throw(L, LUA_YIELD);
}

// ---- Loading -------------------------------------------------------------

struct SParser {
    ZIO *z;
    Mbuffer buff;
    const char *mode;
    const char *name;
};

static void checkmode(lua_State *L, const char *mode, const char *x) {
    if (mode && std::strchr(mode, x[0]) == nullptr) {
        luaO_pushfstring(L, "attempt to load a %s chunk (mode is '%s')", x, mode);
        luaD_throw(L, LUA_ERRSYNTAX);
    }
}

static void f_parser(lua_State *L, void *ud) {
    SParser *p = static_cast<SParser *>(ud);
    int c = zgetc(p->z);
    LClosure *cl;
    if (c == LUA_SIGNATURE[0]) {
        checkmode(L, p->mode, "binary");
        cl = luaU_undump(L, p->z, &p->buff, p->name);
    } else {
        checkmode(L, p->mode, "text");
        cl = luaY_parser(L, p->z, &p->buff, p->name, c);
    }
    luaF_initupvals(L, cl);
}

int luaD_protectedparser(lua_State *L, ZIO *z, const char *name, const char *mode) {
    SParser p;
    L->nny++; // no yields while compiling
    p.z = z;
    p.name = name;
    p.mode = mode;
    luaZ_initbuffer(L, &p.buff);
    int status = luaD_pcall(L, f_parser, &p, savestack(L, L->top), L->errfunc);
    luaZ_freebuffer(L, &p.buff);
    L->nny--;
    return status;
}
