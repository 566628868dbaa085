// Runtime errors, the debug interface and the CPU-budget counters.
#include "ldebug.h"

#include <cstring>

#include "lapi.h"
#include "ldo.h"
#include "lfunc.h"
#include "lgc.h"
#include "lobject.h"
#include "lopcodes.h"
#include "lstring.h"
#include "ltable.h"
#include "ltm.h"
#include "lvm.h"

int32_t zorva_runtime_line = 0;
uint32_t zorva_soft_yield_count = 0;

static inline int currentpc(CallInfo *ci) { return pcRel(ci->u.l.savedpc, ci_func(ci)->p); }

int luaG_currentline(CallInfo *ci) { return getfuncline(ci_func(ci)->p, currentpc(ci)); }

// ---- Hooks and the CPU budget --------------------------------------------

int lua_sethook(lua_State *L, lua_Hook func, int mask, int count) {
    if (func == nullptr || mask == 0) { // turn the hook off
        mask = 0;
        func = nullptr;
    }
    if (isLua(L->ci)) L->oldpc = L->ci->u.l.savedpc;
    L->hook = func;
    L->basehookcount = count;
    resethookcount(L);
    L->hookmask = cast_byte(mask);
    return 1;
}

lua_Hook lua_gethook(lua_State *L) { return L->hook; }
int lua_gethookmask(lua_State *L) { return L->hookmask; }
int lua_gethookcount(lua_State *L) { return L->basehookcount; }

int lua_spend_cpu(lua_State *L, int n) {
    if (zorva_soft_yield_count != 0) {
        L->hookcount = (int)zorva_soft_yield_count;
        zorva_soft_yield_count = 0;
    }
    int remaining = (int)((uint32_t)L->hookcount - (uint32_t)n);
    if (remaining < 1) remaining = 1;
    L->hookcount = remaining;
    return remaining;
}

int lua_get_cpu(lua_State *L) { return L->hookcount; }

void lua_zorva_soft_yield(lua_State *L) {
    zorva_soft_yield_count = (uint32_t)L->hookcount;
    L->hookcount = 1;
}

void lua_reset_call_state_zorva(lua_State *L) {
    L->status = LUA_OK;
    L->ci = &L->base_ci;
    // Closures that outlive the failed run (kept in globals, say) must not
    // go on pointing into stack slots that the next chunk will reuse.
    luaF_close(L, L->stack);
    L->top = L->base_ci.func + 1;
    L->base_ci.top = L->top + LUA_MINSTACK;
    L->base_ci.callstatus = 0;
    L->errfunc = 0;
}

void lua_zorva_record_error_line(lua_State *L, int level) {
    lua_Debug ar;
    if (!lua_getstack(L, level, &ar)) return;
    CallInfo *ci = ar.i_ci;
    if (!isLua(ci)) return;
    int line = luaG_currentline(ci);
    if (line > 0) zorva_runtime_line = line;
}

// ---- Stack inspection ----------------------------------------------------

int lua_getstack(lua_State *L, int level, lua_Debug *ar) {
    if (level < 0) return 0;
    CallInfo *ci;
    for (ci = L->ci; level > 0 && ci != &L->base_ci; ci = ci->previous) level--;
    if (level == 0 && ci != &L->base_ci) {
        ar->i_ci = ci;
        return 1;
    }
    return 0;
}

static const char *findvararg(CallInfo *ci, int n, StkId *pos) {
    int nparams = clLvalue(ci->func)->p->numparams;
    if (n >= ci->u.l.base - ci->func - nparams) return nullptr;
    *pos = ci->func + nparams + n;
    return "(*vararg)";
}

static const char *findlocal(lua_State *L, CallInfo *ci, int n, StkId *pos) {
    const char *name = nullptr;
    StkId base;
    if (isLua(ci)) {
        if (n < 0) return findvararg(ci, -n, pos);
        base = ci->u.l.base;
        name = luaF_getlocalname(ci_func(ci)->p, n, currentpc(ci));
    } else {
        base = ci->func + 1;
    }
    if (name == nullptr) {
        StkId limit = (ci == L->ci) ? L->top : ci->next->func;
        if (limit - base >= n && n > 0) name = "(*temporary)";
        else return nullptr;
    }
    *pos = base + (n - 1);
    return name;
}

const char *lua_getlocal(lua_State *L, const lua_Debug *ar, int n) {
    if (ar == nullptr) { // a function on top: its parameters
        if (!ttisLclosure(L->top - 1)) return nullptr;
        return luaF_getlocalname(clLvalue(L->top - 1)->p, n, 0);
    }
    StkId pos = nullptr;
    const char *name = findlocal(L, ar->i_ci, n, &pos);
    if (name) {
        setobj2s(L, L->top, pos);
        api_incr_top(L);
    }
    return name;
}

const char *lua_setlocal(lua_State *L, const lua_Debug *ar, int n) {
    StkId pos = nullptr;
    const char *name = findlocal(L, ar->i_ci, n, &pos);
    if (name) setobjs2s(L, pos, L->top - 1);
    L->top--;
    return name;
}

static void funcinfo(lua_Debug *ar, Closure *cl) {
    if (cl == nullptr || cl->c.tt == LUA_TCCL) {
        ar->source = "=[C]";
        ar->linedefined = -1;
        ar->lastlinedefined = -1;
        ar->what = "C";
    } else {
        Proto *p = cl->l.p;
        ar->source = p->source ? getstr(p->source) : "=?";
        ar->linedefined = p->linedefined;
        ar->lastlinedefined = p->lastlinedefined;
        ar->what = (ar->linedefined == 0) ? "main" : "Lua";
    }
    luaO_chunkid(ar->short_src, ar->source, LUA_IDSIZE);
}

static void collectvalidlines(lua_State *L, Closure *f) {
    if (f == nullptr || f->c.tt == LUA_TCCL) {
        setnilvalue(L->top);
        api_incr_top(L);
        return;
    }
    int *lineinfo = f->l.p->lineinfo;
    Table *t = luaH_new(L);
    sethvalue(L, L->top, t);
    api_incr_top(L);
    TValue v;
    setbvalue(&v, 1);
    for (int i = 0; i < f->l.p->sizelineinfo; i++) luaH_setint(L, t, lineinfo[i], &v);
}

// ---- Names of values, from the code that made them -----------------------

static const char *upvalname(const Proto *p, int uv) {
    TString *s = p->upvalues[uv].name;
    return s == nullptr ? "?" : getstr(s);
}

// An instruction before a jump target that lies at or before lastpc may be
// skipped by that jump: it cannot tell what a register holds.
static int filterpc(int pc, int jmptarget) { return pc < jmptarget ? -1 : pc; }

// The last instruction before lastpc that sets register reg, or -1.
static int findsetreg(const Proto *p, int lastpc, int reg) {
    int setreg = -1;
    int jmptarget = 0;
    for (int pc = 0; pc < lastpc; pc++) {
        Instruction i = p->code[pc];
        OpCode op = GET_OPCODE(i);
        int a = GETARG_A(i);
        switch (op) {
        case OP_LOADNIL:
            if (a <= reg && reg <= a + GETARG_B(i)) setreg = filterpc(pc, jmptarget);
            break;
        case OP_TFORCALL:
            if (reg >= a + 2) setreg = filterpc(pc, jmptarget); // results and temporaries
            break;
        case OP_CALL:
        case OP_TAILCALL:
            if (reg >= a) setreg = filterpc(pc, jmptarget); // the call clobbers a and above
            break;
        case OP_JMP: {
            int dest = pc + 1 + GETARG_sBx(i);
            if (pc < dest && dest <= lastpc && dest > jmptarget) jmptarget = dest;
            break;
        }
        default:
            if (testAMode(op) && reg == a) setreg = filterpc(pc, jmptarget);
            break;
        }
    }
    return setreg;
}

static const char *getobjname(const Proto *p, int lastpc, int reg, const char **name);

// Name of the key operand c (a register or constant) for "field" and
// "method" kinds: a string constant, else "?".
static void kname(const Proto *p, int pc, int c, const char **name) {
    if (ISK(c)) {
        const TValue *kv = &p->k[INDEXK(c)];
        *name = ttisstring(kv) ? svalue(kv) : "?";
        return;
    }
    const char *what = getobjname(p, pc, c, name);
    if (what == nullptr || *what != 'c') *name = "?"; // only a constant names a key
}

static const char *getobjname(const Proto *p, int lastpc, int reg, const char **name) {
    *name = luaF_getlocalname(p, reg + 1, lastpc);
    if (*name) return "local";
    int pc = findsetreg(p, lastpc, reg);
    if (pc == -1) return nullptr;
    Instruction i = p->code[pc];
    switch (GET_OPCODE(i)) {
    case OP_MOVE: {
        int b = GETARG_B(i);
        if (b < GETARG_A(i)) return getobjname(p, pc, b, name); // a copy of b
        break;
    }
    case OP_GETTABUP:
    case OP_GETTABLE: {
        int t = GETARG_B(i);
        const char *tname = (GET_OPCODE(i) == OP_GETTABLE) ? luaF_getlocalname(p, t + 1, pc) : upvalname(p, t);
        kname(p, pc, GETARG_C(i), name);
        return (tname && std::strcmp(tname, "_ENV") == 0) ? "global" : "field";
    }
    case OP_GETUPVAL: *name = upvalname(p, GETARG_B(i)); return "upvalue";
    case OP_LOADK:
    case OP_LOADKX: {
        int b = (GET_OPCODE(i) == OP_LOADK) ? GETARG_Bx(i) : GETARG_Ax(p->code[pc + 1]);
        if (ttisstring(&p->k[b])) {
            *name = svalue(&p->k[b]);
            return "constant";
        }
        break;
    }
    case OP_SELF: kname(p, pc, GETARG_C(i), name); return "method";
    default: break;
    }
    return nullptr;
}

// Name of the function that the script call ci is calling, from the
// calling instruction: a variable, a metamethod or the for iterator.
static const char *getfuncname(lua_State *L, CallInfo *ci, const char **name) {
    if (ci == nullptr) return nullptr;
    if (ci->callstatus & CIST_HOOKED) {
        *name = "?";
        return "hook";
    }
    if (!isLua(ci)) return nullptr;
    Proto *p = ci_func(ci)->p;
    int pc = currentpc(ci);
    Instruction i = p->code[pc];
    TMS tm;
    switch (GET_OPCODE(i)) {
    case OP_CALL:
    case OP_TAILCALL: return getobjname(p, pc, GETARG_A(i), name);
    case OP_TFORCALL: *name = "for iterator"; return "for iterator";
    case OP_SELF:
    case OP_GETTABUP:
    case OP_GETTABLE: tm = TM_INDEX; break;
    case OP_SETTABUP:
    case OP_SETTABLE: tm = TM_NEWINDEX; break;
    case OP_EQ: tm = TM_EQ; break;
    case OP_ADD: tm = TM_ADD; break;
    case OP_SUB: tm = TM_SUB; break;
    case OP_MUL: tm = TM_MUL; break;
    case OP_DIV: tm = TM_DIV; break;
    case OP_MOD: tm = TM_MOD; break;
    case OP_POW: tm = TM_POW; break;
    case OP_UNM: tm = TM_UNM; break;
    case OP_LEN: tm = TM_LEN; break;
    case OP_LT: tm = TM_LT; break;
    case OP_LE: tm = TM_LE; break;
    case OP_CONCAT: tm = TM_CONCAT; break;
    default: return nullptr;
    }
    *name = getstr(G(L)->tmname[tm]);
    return "metamethod";
}

static int auxgetinfo(lua_State *L, const char *what, lua_Debug *ar, Closure *f, CallInfo *ci) {
    int status = 1;
    for (; *what; what++) {
        switch (*what) {
        case 'S': funcinfo(ar, f); break;
        case 'l': ar->currentline = (ci && isLua(ci)) ? luaG_currentline(ci) : -1; break;
        case 'u':
            ar->nups = (f == nullptr) ? 0 : f->c.nupvalues;
            if (f == nullptr || f->c.tt == LUA_TCCL) {
                ar->isvararg = 1;
                ar->nparams = 0;
            } else {
                ar->isvararg = (char)f->l.p->is_vararg;
                ar->nparams = f->l.p->numparams;
            }
            break;
        case 't': ar->istailcall = (ci) ? (char)(ci->callstatus & CIST_TAIL ? 1 : 0) : 0; break;
        case 'n':
            ar->namewhat = (ci && !(ci->callstatus & CIST_TAIL)) ? getfuncname(L, ci->previous, &ar->name) : nullptr;
            if (ci && (ci->callstatus & CIST_HOOKED) == 0 && ci->previous && (ci->previous->callstatus & CIST_HOOKED)) {
                ar->namewhat = "hook";
                ar->name = "?";
            }
            if (ar->namewhat == nullptr) {
                ar->namewhat = "";
                ar->name = nullptr;
            }
            break;
        case 'L':
        case 'f': break; // handled by lua_getinfo
        default: status = 0;
        }
    }
    return status;
}

int lua_getinfo(lua_State *L, const char *what, lua_Debug *ar) {
    CallInfo *ci;
    StkId func;
    if (*what == '>') {
        ci = nullptr;
        func = L->top - 1;
        what++;
        L->top--;
    } else {
        ci = ar->i_ci;
        func = ci->func;
    }
    Closure *cl = ttisclosure(func) ? clvalue(func) : nullptr;
    TValue fv = *func; // the stack may move below
    int status = auxgetinfo(L, what, ar, cl, ci);
    if (std::strchr(what, 'f')) {
        setobj2s(L, L->top, &fv);
        api_incr_top(L);
    }
    if (std::strchr(what, 'L')) collectvalidlines(L, cl);
    return status;
}

// ---- Upvalues ------------------------------------------------------------

static const char *aux_upvalue(StkId fi, int n, TValue **val, GCObject **owner) {
    switch (ttype(fi)) {
    case LUA_TCCL: {
        CClosure *f = clCvalue(fi);
        if (!(1 <= n && n <= f->nupvalues)) return nullptr;
        *val = &f->upvalue[n - 1];
        if (owner) *owner = f;
        return "";
    }
    case LUA_TLCL: {
        LClosure *f = clLvalue(fi);
        Proto *p = f->p;
        if (!(1 <= n && n <= p->sizeupvalues)) return nullptr;
        *val = f->upvals[n - 1]->v;
        if (owner) *owner = f->upvals[n - 1];
        TString *name = p->upvalues[n - 1].name;
        return (name == nullptr) ? "" : getstr(name);
    }
    default: return nullptr;
    }
}

extern TValue *luaA_index2addr(lua_State *L, int idx);

const char *lua_getupvalue(lua_State *L, int funcindex, int n) {
    TValue *val = nullptr;
    const char *name = aux_upvalue(luaA_index2addr(L, funcindex), n, &val, nullptr);
    if (name) {
        setobj2s(L, L->top, val);
        api_incr_top(L);
    }
    return name;
}

const char *lua_setupvalue(lua_State *L, int funcindex, int n) {
    TValue *val = nullptr;
    GCObject *owner = nullptr;
    StkId fi = luaA_index2addr(L, funcindex);
    api_checknelems(L, 1);
    const char *name = aux_upvalue(fi, n, &val, &owner);
    if (name) {
        L->top--;
        setobj(L, val, L->top);
        luaC_barrier(L, owner, L->top);
    }
    return name;
}

static UpVal **getupvalref(lua_State *L, int fidx, int n, LClosure **pf) {
    LClosure *f = clLvalue(luaA_index2addr(L, fidx));
    if (pf) *pf = f;
    api_check(L, (1 <= n && n <= f->p->sizeupvalues), "invalid upvalue index");
    return &f->upvals[n - 1];
}

void *lua_upvalueid(lua_State *L, int fidx, int n) {
    StkId fi = luaA_index2addr(L, fidx);
    switch (ttype(fi)) {
    case LUA_TLCL: return *getupvalref(L, fidx, n, nullptr);
    case LUA_TCCL: {
        CClosure *f = clCvalue(fi);
        api_check(L, 1 <= n && n <= f->nupvalues, "invalid upvalue index");
        return &f->upvalue[n - 1];
    }
    default: return nullptr;
    }
}

void lua_upvaluejoin(lua_State *L, int fidx1, int n1, int fidx2, int n2) {
    LClosure *f1;
    UpVal **up1 = getupvalref(L, fidx1, n1, &f1);
    UpVal **up2 = getupvalref(L, fidx2, n2, nullptr);
    *up1 = *up2;
    luaC_objbarrier(L, f1, *up2);
}

// ---- Errors --------------------------------------------------------------

// Kind of the variable that held o in the running script function
// ("local", "global", "upvalue", ...), with its name in *name; null when
// o is not one of its upvalues or registers or nothing names it.
static const char *varinfo(lua_State *L, const TValue *o, const char **name) {
    CallInfo *ci = L->ci;
    if (!isLua(ci)) return nullptr;
    LClosure *c = ci_func(ci);
    for (int i = 0; i < c->nupvalues; i++) {
        if (c->upvals[i]->v == o) {
            *name = upvalname(c->p, i);
            return "upvalue";
        }
    }
    for (StkId p = ci->u.l.base; p < ci->top; p++) {
        if (p == o) return getobjname(c->p, currentpc(ci), cast_int(o - ci->u.l.base), name);
    }
    return nullptr;
}

void luaG_typeerror(lua_State *L, const TValue *o, const char *op) {
    const char *t = objtypename(o);
    const char *name = nullptr;
    const char *kind = varinfo(L, o, &name);
    if (kind) luaG_runerror(L, "attempt to %s %s '%s' (a %s value)", op, kind, name, t);
    luaG_runerror(L, "attempt to %s a %s value", op, t);
}

void luaG_concaterror(lua_State *L, StkId p1, StkId p2) {
    if (ttisstring(p1) || ttisnumber(p1)) p1 = p2;
    luaG_typeerror(L, p1, "concatenate");
}

void luaG_aritherror(lua_State *L, const TValue *p1, const TValue *p2) {
    TValue temp;
    if (luaV_tonumber(p1, &temp) == nullptr) p2 = p1; // the first operand is wrong
    luaG_typeerror(L, p2, "perform arithmetic on");
}

void luaG_ordererror(lua_State *L, const TValue *p1, const TValue *p2) {
    const char *t1 = objtypename(p1);
    const char *t2 = objtypename(p2);
    if (t1 == t2) luaG_runerror(L, "attempt to compare two %s values", t1);
    luaG_runerror(L, "attempt to compare %s with %s", t1, t2);
}

void luaG_errormsg(lua_State *L) {
    if (L->errfunc != 0) {
        if (!ttisfunction(restorestack(L, L->errfunc))) luaD_throw(L, LUA_ERRERR);
        luaD_checkstack(L, 1);
        StkId errfunc = restorestack(L, L->errfunc);
        setobjs2s(L, L->top, L->top - 1);  // the message
        setobjs2s(L, L->top - 1, errfunc); // below it, the handler
        incr_top(L);
        luaD_call(L, L->top - 2, 1, 0);
    }
    luaD_throw(L, LUA_ERRRUN);
}

void luaG_runerror(lua_State *L, const char *fmt, ...) {
    va_list argp;
    va_start(argp, fmt);
    luaO_pushvfstring(L, fmt, argp);
    va_end(argp);
    CallInfo *ci = L->ci;
    if (isLua(ci)) zorva_runtime_line = luaG_currentline(ci);
    luaG_errormsg(L);
}
