// The interpreter loop: runs script functions instruction by instruction,
// with 16.16 arithmetic, the count hook that drives the CPU budget, and the
// finishing of an opcode that a yield inside a metamethod interrupted.
//
// Register windows live on the thread's stack: R(x) is base[x]. The loop
// keeps the instruction pointer in a local and stores it into the call
// record (savedpc) before anything that can raise an error, call out, run
// the collector or look at the call record; pc always points past the
// instruction being run, as the debug interface expects.
//
// Calls from a script function to a script function do not nest C frames:
// the callee's record is marked CIST_REENTRY and the loop switches to it;
// its RETURN switches back. Host functions and metamethods nest through
// luaD_call as usual.
#include <cstdint>

#include "ldebug.h"
#include "ldo.h"
#include "lfunc.h"
#include "lgc.h"
#include "lobject.h"
#include "lopcodes.h"
#include "lstate.h"
#include "lstring.h"
#include "ltable.h"
#include "ltm.h"
#include "lvm.h"

// ---- Number helpers -------------------------------------------------------

static inline zorva_fixed fx_add(zorva_fixed a, zorva_fixed b) { return (zorva_fixed)((uint32_t)a + (uint32_t)b); }
static inline zorva_fixed fx_sub(zorva_fixed a, zorva_fixed b) { return (zorva_fixed)((uint32_t)a - (uint32_t)b); }
static inline zorva_fixed fx_neg(zorva_fixed a) { return (zorva_fixed)(0u - (uint32_t)a); }
static inline zorva_fixed fx_mul(zorva_fixed a, zorva_fixed b) {
    return (zorva_fixed)(uint32_t)(uint64_t)(((int64_t)a * (int64_t)b) >> 16);
}
// zv_fdiv and zv_fmod, inline; the modulo in 32-bit unsigned arithmetic
// (|-32768.0| is 2^31 there), which gives the same results.
static inline zorva_fixed fx_div(zorva_fixed a, zorva_fixed b) {
    if (b == 0) return a >= 0 ? (zorva_fixed)0x7FFFFFFF : (zorva_fixed)0x80000001;
    return (zorva_fixed)(uint32_t)(uint64_t)(((int64_t)a * 65536) / b);
}
static inline zorva_fixed fx_mod(zorva_fixed a, zorva_fixed b) {
    if (b == 0) return a;
    uint32_t m = b < 0 ? 0u - (uint32_t)b : (uint32_t)b;
    if (a >= 0) return (zorva_fixed)((uint32_t)a % m);
    uint32_t r = m - ((0u - (uint32_t)a) % m); // 1..m
    return (zorva_fixed)(r == m ? 0u : r);
}

// Looks up a short-string key through tables and "__index" tables; returns
// the value found, or null when a metamethod function, a non-table or a
// long chain needs the general path.
static inline const TValue *getstr_chain(lua_State *L, const TValue *t, TString *key) {
    for (int loop = 0; loop < MAXTAGLOOP; loop++) {
        if (!ttistable(t)) return nullptr;
        Table *h = hvalue(t);
        const TValue *res = luaH_getstr(h, key);
        if (!ttisnil(res)) return res;
        const TValue *tm = fasttm(L, h->metatable, TM_INDEX);
        if (tm == nullptr) return res; // absent: nil
        t = tm;
    }
    return nullptr;
}

// ---- The hook step ---------------------------------------------------------

// Runs the count and line hooks before the instruction at savedpc - 1.
// When a hook yields, the thread suspends before that instruction; on
// resume the instruction runs without the hook being called again.
static void traceexec(lua_State *L) {
    CallInfo *ci = L->ci;
    lu_byte mask = L->hookmask;
    bool counthook = (mask & LUA_MASKCOUNT) && L->hookcount == 0;
    if (counthook) L->hookcount = L->basehookcount;
    if (ci->callstatus & CIST_HOOKYIELD) { // resumed after the hook yielded
        ci->callstatus &= cast_byte(~CIST_HOOKYIELD);
        return;
    }
    if (counthook) luaD_hook(L, LUA_HOOKCOUNT, -1);
    if (mask & LUA_MASKLINE) {
        Proto *p = ci_func(ci)->p;
        int npc = pcRel(ci->u.l.savedpc, p);
        int newline = getfuncline(p, npc);
        // A new line, a backward jump (a loop), or the function's start;
        // oldpc may belong to another function.
        uintptr_t old = (uintptr_t)L->oldpc, start = (uintptr_t)p->code;
        bool inside = old > start && old <= start + sizeof(Instruction) * (size_t)p->sizecode;
        int opc = inside ? pcRel(L->oldpc, p) : -1;
        if (npc == 0 || !inside || ci->u.l.savedpc <= L->oldpc || newline != getfuncline(p, opc))
            luaD_hook(L, LUA_HOOKLINE, newline);
    }
    L->oldpc = ci->u.l.savedpc;
    if (L->status == LUA_YIELD) { // the hook yielded
        if (counthook) L->hookcount = 1; // the hook is due again after resuming
        ci->u.l.savedpc--;               // the instruction runs on resume
        ci->callstatus |= CIST_HOOKYIELD;
        ci->func = L->top - 1; // no values are yielded
        luaD_throw(L, LUA_YIELD);
    }
}

// ---- Closures ----------------------------------------------------------------

// The prototype's last closure when its upvalues are those a new closure
// would get, so that it can be shared.
static LClosure *getcached(Proto *p, UpVal **encup, StkId base) {
    LClosure *c = p->cache;
    if (c == nullptr) return nullptr;
    Upvaldesc *uv = p->upvalues;
    for (int i = 0; i < p->sizeupvalues; i++) {
        TValue *v = uv[i].instack ? base + uv[i].idx : encup[uv[i].idx]->v;
        if (c->upvals[i]->v != v) return nullptr;
    }
    return c;
}

static void pushclosure(lua_State *L, Proto *p, UpVal **encup, StkId base, StkId ra) {
    int nup = p->sizeupvalues;
    Upvaldesc *uv = p->upvalues;
    LClosure *ncl = luaF_newLclosure(L, nup);
    ncl->p = p;
    setclLvalue(L, ra, ncl); // anchored before the upvalues are made
    for (int i = 0; i < nup; i++) {
        if (uv[i].instack) ncl->upvals[i] = luaF_findupval(L, base + uv[i].idx);
        else ncl->upvals[i] = encup[uv[i].idx];
    }
    luaC_barrierproto(L, p, ncl);
    p->cache = ncl;
}

// ---- Finishing an interrupted opcode ------------------------------------

static bool has_le(lua_State *L, const TValue *a, const TValue *b) {
    return !ttisnil(luaT_gettmbyobj(L, a, TM_LE)) || !ttisnil(luaT_gettmbyobj(L, b, TM_LE));
}

void luaV_finishOp(lua_State *L) {
    CallInfo *ci = L->ci;
    StkId base = ci->u.l.base;
    Instruction inst = *(ci->u.l.savedpc - 1); // the interrupted instruction
    OpCode op = GET_OPCODE(inst);
    switch (op) {
    case OP_ADD:
    case OP_SUB:
    case OP_MUL:
    case OP_DIV:
    case OP_MOD:
    case OP_POW:
    case OP_UNM:
    case OP_LEN:
    case OP_GETTABUP:
    case OP_GETTABLE:
    case OP_SELF: setobjs2s(L, base + GETARG_A(inst), --L->top); break;
    case OP_LE:
    case OP_LT:
    case OP_EQ: {
        int res = !l_isfalse(L->top - 1);
        L->top--;
        if (op == OP_LE) {
            // "a <= b" done as "not (b < a)": the result is inverted.
            TValue *k = ci_func(ci)->p->k;
            int b = GETARG_B(inst), c = GETARG_C(inst);
            const TValue *rb = ISK(b) ? k + INDEXK(b) : base + b;
            const TValue *rc = ISK(c) ? k + INDEXK(c) : base + c;
            if (!has_le(L, rb, rc)) res = !res;
        }
        if (res != GETARG_A(inst)) ci->u.l.savedpc++; // skip the jump
        break;
    }
    case OP_CONCAT: {
        StkId top = L->top - 1; // the metamethod's result
        int b = GETARG_B(inst);
        int total = cast_int(top - 1 - (base + b)); // values yet to join
        setobj2s(L, top - 2, top);
        if (total > 1) {
            L->top = top - 1;
            luaV_concat(L, total);
        }
        setobj2s(L, ci->u.l.base + GETARG_A(inst), L->top - 1);
        L->top = ci->top;
        break;
    }
    case OP_TFORCALL: L->top = ci->top; break;
    case OP_CALL:
        if (GETARG_C(inst) - 1 >= 0) L->top = ci->top; // fixed results
        break;
    default: break; // TAILCALL, SETTABUP, SETTABLE: nothing to finish
    }
}

// ---- The loop -------------------------------------------------------------

#if defined(__GNUC__) || defined(__clang__)
#define ZV_COMPUTED_GOTO 1
#endif

void luaV_execute(lua_State *L) {
    CallInfo *ci = L->ci;
    LClosure *cl;
    TValue *k;
    StkId base;
    const Instruction *pc;
    Instruction i;
    StkId ra;

#define savepc() (ci->u.l.savedpc = pc)
// Runs x with pc saved; x may move the stack, so base is reloaded.
#define Protect(x)              \
    {                           \
        savepc();               \
        { x; }                  \
        base = ci->u.l.base;    \
    }
#define RA(i) (base + GETARG_A(i))
#define RB(i) (base + GETARG_B(i))
#define RC(i) (base + GETARG_C(i))
#define RKB(i) (ISK(GETARG_B(i)) ? k + INDEXK(GETARG_B(i)) : base + GETARG_B(i))
#define RKC(i) (ISK(GETARG_C(i)) ? k + INDEXK(GETARG_C(i)) : base + GETARG_C(i))
#define KBx(i) (k + GETARG_Bx(i))
// A jump instruction ni, e = 1 when ni itself is skipped over.
#define dojump(ni, e)                                               \
    {                                                               \
        int ja_ = GETARG_A(ni);                                     \
        if (ja_ > 0) luaF_close(L, ci->u.l.base + ja_ - 1);         \
        pc += GETARG_sBx(ni) + (e);                                 \
    }
#define donextjump() \
    {                \
        i = *pc;     \
        dojump(i, 1) \
    }
// A collector step where the operation may have made garbage. The
// registers from live on are dead temporaries: the step sees the stack end
// there, so that they keep nothing alive.
#define checkGC(live)                     \
    {                                     \
        if (G(L)->GCdebt > 0) {           \
            Protect(L->top = (live);      \
                    luaC_step(L));        \
            L->top = ci->top;             \
        }                                 \
    }

// Fetching: the count hook is decremented before every instruction.
#define FETCH()                                                                    \
    i = *pc++;                                                                     \
    if (L->hookmask & (LUA_MASKLINE | LUA_MASKCOUNT)) {                            \
        if (--L->hookcount == 0 || (L->hookmask & LUA_MASKLINE)) {                  \
            savepc();                                                              \
            traceexec(L);                                                          \
            base = ci->u.l.base;                                                   \
        }                                                                          \
    }                                                                              \
    ra = RA(i)

#ifdef ZV_COMPUTED_GOTO
    static const void *const dispatch_table[NUM_OPCODES] = {
        &&L_OP_MOVE,     &&L_OP_LOADK,    &&L_OP_LOADKX,   &&L_OP_LOADBOOL, &&L_OP_LOADNIL,  &&L_OP_GETUPVAL,
        &&L_OP_GETTABUP, &&L_OP_GETTABLE, &&L_OP_SETTABUP, &&L_OP_SETUPVAL, &&L_OP_SETTABLE, &&L_OP_NEWTABLE,
        &&L_OP_SELF,     &&L_OP_ADD,      &&L_OP_SUB,      &&L_OP_MUL,      &&L_OP_DIV,      &&L_OP_MOD,
        &&L_OP_POW,      &&L_OP_UNM,      &&L_OP_NOT,      &&L_OP_LEN,      &&L_OP_CONCAT,   &&L_OP_JMP,
        &&L_OP_EQ,       &&L_OP_LT,       &&L_OP_LE,       &&L_OP_TEST,     &&L_OP_TESTSET,  &&L_OP_CALL,
        &&L_OP_TAILCALL, &&L_OP_RETURN,   &&L_OP_FORLOOP,  &&L_OP_FORPREP,  &&L_OP_TFORCALL, &&L_OP_TFORLOOP,
        &&L_OP_SETLIST,  &&L_OP_CLOSURE,  &&L_OP_VARARG,   &&L_OP_EXTRAARG,
    };
#define vmdispatch(o) goto *dispatch_table[o];
#define vmcase(l) L_##l:
#define vmbreak      \
    {                \
        FETCH();     \
        vmdispatch(GET_OPCODE(i)) \
    }
#else
#define vmdispatch(o) switch (o)
#define vmcase(l) case l:
#define vmbreak break
#endif

newframe: // a new call record: reload the frame's values
    cl = clLvalue(ci->func);
    k = cl->p->k;
    base = ci->u.l.base;
    pc = ci->u.l.savedpc;

    for (;;) {
        FETCH();
        vmdispatch(GET_OPCODE(i)) {
            vmcase(OP_MOVE) {
                setobjs2s(L, ra, RB(i));
                vmbreak;
            }
            vmcase(OP_LOADK) {
                setobj2s(L, ra, KBx(i));
                vmbreak;
            }
            vmcase(OP_LOADKX) {
                setobj2s(L, ra, k + GETARG_Ax(*pc));
                pc++;
                vmbreak;
            }
            vmcase(OP_LOADBOOL) {
                setbvalue(ra, GETARG_B(i));
                if (GETARG_C(i)) pc++;
                vmbreak;
            }
            vmcase(OP_LOADNIL) {
                int b = GETARG_B(i);
                do {
                    setnilvalue(ra++);
                } while (b--);
                vmbreak;
            }
            vmcase(OP_GETUPVAL) {
                setobj2s(L, ra, cl->upvals[GETARG_B(i)]->v);
                vmbreak;
            }
            vmcase(OP_GETTABUP) {
                TValue *t = cl->upvals[GETARG_B(i)]->v;
                TValue *rc = RKC(i);
                if (ttisshrstring(rc)) {
                    const TValue *res = getstr_chain(L, t, rawtsvalue(rc));
                    if (res != nullptr) {
                        setobj2s(L, ra, res);
                        vmbreak;
                    }
                } else if (ttistable(t)) {
                    Table *h = hvalue(t);
                    const TValue *res = luaH_get(h, rc);
                    if (!ttisnil(res) || fasttm(L, h->metatable, TM_INDEX) == nullptr) {
                        setobj2s(L, ra, res);
                        vmbreak;
                    }
                }
                Protect(luaV_gettable(L, t, rc, ra));
                vmbreak;
            }
            vmcase(OP_GETTABLE) {
                StkId rb = RB(i);
                TValue *rc = RKC(i);
                if (ttistable(rb)) {
                    Table *h = hvalue(rb);
                    const TValue *res;
                    if (ttisnumber(rc)) {
                        uint32_t u = (uint32_t)nvalue(rc);
                        unsigned int idx = (u >> 16) - 1u;
                        if ((u & 0xFFFFu) == 0 && idx < (unsigned int)h->sizearray) res = &h->array[idx];
                        else res = luaH_get(h, rc);
                    } else if (ttisshrstring(rc)) {
                        res = getstr_chain(L, rb, rawtsvalue(rc));
                        if (res != nullptr) {
                            setobj2s(L, ra, res);
                            vmbreak;
                        }
                        res = luaO_nilobject; // the general path decides
                    } else {
                        res = luaH_get(h, rc);
                    }
                    if (!ttisnil(res) || fasttm(L, h->metatable, TM_INDEX) == nullptr) {
                        setobj2s(L, ra, res);
                        vmbreak;
                    }
                }
                Protect(luaV_gettable(L, rb, rc, ra));
                vmbreak;
            }
            vmcase(OP_SETTABUP) {
                TValue *t = cl->upvals[GETARG_A(i)]->v;
                TValue *rb = RKB(i);
                TValue *rc = RKC(i);
                if (ttistable(t) && ttisshrstring(rb)) {
                    Table *h = hvalue(t);
                    TValue *slot = const_cast<TValue *>(luaH_getstr(h, rawtsvalue(rb)));
                    if (!ttisnil(slot)) {
                        setobj2t(L, slot, rc);
                        h->flags = 0;
                        luaC_barrierback(L, h, rc);
                        vmbreak;
                    }
                }
                Protect(luaV_settable(L, t, rb, rc));
                vmbreak;
            }
            vmcase(OP_SETUPVAL) {
                UpVal *uv = cl->upvals[GETARG_B(i)];
                setobj(L, uv->v, ra);
                luaC_barrier(L, uv, ra);
                vmbreak;
            }
            vmcase(OP_SETTABLE) {
                TValue *rb = RKB(i);
                TValue *rc = RKC(i);
                if (ttistable(ra)) {
                    Table *h = hvalue(ra);
                    TValue *slot = nullptr;
                    if (ttisnumber(rb)) {
                        uint32_t u = (uint32_t)nvalue(rb);
                        unsigned int idx = (u >> 16) - 1u;
                        if ((u & 0xFFFFu) == 0 && idx < (unsigned int)h->sizearray) slot = &h->array[idx];
                    } else if (ttisshrstring(rb)) {
                        slot = const_cast<TValue *>(luaH_getstr(h, rawtsvalue(rb)));
                    }
                    // A present key, or an absent one in a table without
                    // metatable, is a raw store into the found cell.
                    if (slot != nullptr && slot != luaO_nilobject && (!ttisnil(slot) || h->metatable == nullptr)) {
                        setobj2t(L, slot, rc);
                        h->flags = 0;
                        luaC_barrierback(L, h, rc);
                        vmbreak;
                    }
                }
                Protect(luaV_settable(L, ra, rb, rc));
                vmbreak;
            }
            vmcase(OP_NEWTABLE) {
                int b = GETARG_B(i);
                int c = GETARG_C(i);
                savepc();
                Table *t = luaH_new(L);
                sethvalue(L, ra, t);
                if (b != 0 || c != 0) luaH_resize(L, t, luaP_fb2int(b), luaP_fb2int(c));
                checkGC(ra + 1);
                vmbreak;
            }
            vmcase(OP_SELF) {
                StkId rb = RB(i);
                TValue *rc = RKC(i);
                setobjs2s(L, ra + 1, rb);
                if (ttisshrstring(rc)) {
                    const TValue *res = getstr_chain(L, rb, rawtsvalue(rc));
                    if (res != nullptr) {
                        setobj2s(L, ra, res);
                        vmbreak;
                    }
                }
                Protect(luaV_gettable(L, rb, rc, ra));
                vmbreak;
            }
            vmcase(OP_ADD) {
                TValue *rb = RKB(i);
                TValue *rc = RKC(i);
                if (ttisnumber(rb) && ttisnumber(rc)) {
                    setnvalue(ra, fx_add(nvalue(rb), nvalue(rc)));
                } else {
                    Protect(luaV_arith(L, ra, rb, rc, TM_ADD));
                }
                vmbreak;
            }
            vmcase(OP_SUB) {
                TValue *rb = RKB(i);
                TValue *rc = RKC(i);
                if (ttisnumber(rb) && ttisnumber(rc)) {
                    setnvalue(ra, fx_sub(nvalue(rb), nvalue(rc)));
                } else {
                    Protect(luaV_arith(L, ra, rb, rc, TM_SUB));
                }
                vmbreak;
            }
            vmcase(OP_MUL) {
                TValue *rb = RKB(i);
                TValue *rc = RKC(i);
                if (ttisnumber(rb) && ttisnumber(rc)) {
                    setnvalue(ra, fx_mul(nvalue(rb), nvalue(rc)));
                } else {
                    Protect(luaV_arith(L, ra, rb, rc, TM_MUL));
                }
                vmbreak;
            }
            vmcase(OP_DIV) {
                TValue *rb = RKB(i);
                TValue *rc = RKC(i);
                if (ttisnumber(rb) && ttisnumber(rc)) {
                    setnvalue(ra, fx_div(nvalue(rb), nvalue(rc)));
                } else {
                    Protect(luaV_arith(L, ra, rb, rc, TM_DIV));
                }
                vmbreak;
            }
            vmcase(OP_MOD) {
                TValue *rb = RKB(i);
                TValue *rc = RKC(i);
                if (ttisnumber(rb) && ttisnumber(rc)) {
                    setnvalue(ra, fx_mod(nvalue(rb), nvalue(rc)));
                } else {
                    Protect(luaV_arith(L, ra, rb, rc, TM_MOD));
                }
                vmbreak;
            }
            vmcase(OP_POW) {
                TValue *rb = RKB(i);
                TValue *rc = RKC(i);
                if (ttisnumber(rb) && ttisnumber(rc)) {
                    zorva_fixed r;
                    Protect(r = zv_fpow(nvalue(rb), nvalue(rc))); // charges CPU
                    setnvalue(RA(i), r);
                } else {
                    Protect(luaV_arith(L, ra, rb, rc, TM_POW));
                }
                vmbreak;
            }
            vmcase(OP_UNM) {
                TValue *rb = RB(i);
                if (ttisnumber(rb)) {
                    setnvalue(ra, fx_neg(nvalue(rb)));
                } else {
                    Protect(luaV_arith(L, ra, rb, rb, TM_UNM));
                }
                vmbreak;
            }
            vmcase(OP_NOT) {
                TValue *rb = RB(i);
                int res = l_isfalse(rb);
                setbvalue(ra, res);
                vmbreak;
            }
            vmcase(OP_LEN) {
                Protect(luaV_objlen(L, ra, RB(i)));
                vmbreak;
            }
            vmcase(OP_CONCAT) {
                int b = GETARG_B(i);
                int c = GETARG_C(i);
                L->top = base + c + 1; // the end of the operands
                Protect(luaV_concat(L, c - b + 1));
                ra = RA(i); // the stack may have moved
                setobjs2s(L, ra, base + b);
                L->top = ci->top;
                checkGC(ra >= base + b ? ra + 1 : base + b); // the operands past the result are dead
                vmbreak;
            }
            vmcase(OP_JMP) {
                dojump(i, 0);
                vmbreak;
            }
            vmcase(OP_EQ) {
                TValue *rb = RKB(i);
                TValue *rc = RKC(i);
                int res;
                if (ttisnumber(rb) && ttisnumber(rc)) {
                    res = nvalue(rb) == nvalue(rc);
                } else {
                    Protect(res = equalobj(L, rb, rc));
                }
                if (res != GETARG_A(i)) pc++;
                else donextjump();
                vmbreak;
            }
            vmcase(OP_LT) {
                TValue *rb = RKB(i);
                TValue *rc = RKC(i);
                int res;
                if (ttisnumber(rb) && ttisnumber(rc)) {
                    res = nvalue(rb) < nvalue(rc);
                } else {
                    Protect(res = luaV_lessthan(L, rb, rc));
                }
                if (res != GETARG_A(i)) pc++;
                else donextjump();
                vmbreak;
            }
            vmcase(OP_LE) {
                TValue *rb = RKB(i);
                TValue *rc = RKC(i);
                int res;
                if (ttisnumber(rb) && ttisnumber(rc)) {
                    res = nvalue(rb) <= nvalue(rc);
                } else {
                    Protect(res = luaV_lessequal(L, rb, rc));
                }
                if (res != GETARG_A(i)) pc++;
                else donextjump();
                vmbreak;
            }
            vmcase(OP_TEST) {
                if (GETARG_C(i) ? l_isfalse(ra) : !l_isfalse(ra)) pc++;
                else donextjump();
                vmbreak;
            }
            vmcase(OP_TESTSET) {
                TValue *rb = RB(i);
                if (GETARG_C(i) ? l_isfalse(rb) : !l_isfalse(rb)) {
                    pc++;
                } else {
                    setobjs2s(L, ra, rb);
                    donextjump();
                }
                vmbreak;
            }
            vmcase(OP_CALL) {
                int b = GETARG_B(i);
                int nresults = GETARG_C(i) - 1;
                if (b != 0) L->top = ra + b; // else the arguments end at the top
                savepc();
                if (ttisLclosure(ra) && !(L->hookmask & LUA_MASKCALL)) {
                    // A script function without varargs, when the stack has
                    // room: the call record is made here (luaD_precall's
                    // work, without the detours).
                    Proto *p = clLvalue(ra)->p;
                    if (!p->is_vararg && L->stack_last - L->top > p->maxstacksize) {
                        int n = cast_int(L->top - ra) - 1;
                        for (; n < p->numparams; n++) setnilvalue(L->top++);
                        CallInfo *nci = ci->next ? ci->next : luaE_extendCI(L);
                        nci->nresults = cast(short, nresults);
                        nci->func = ra;
                        nci->u.l.base = ra + 1;
                        nci->top = ra + 1 + p->maxstacksize;
                        nci->u.l.savedpc = p->code;
                        nci->callstatus = CIST_LUA | CIST_REENTRY;
                        L->ci = nci;
                        L->top = nci->top;
                        ci = nci;
                        luaC_checkGC(L);
                        goto newframe;
                    }
                }
                if (int r = luaD_precall(L, ra, nresults)) { // a host function ran
                    if (r == 2) return; // it yielded: back to lua_resume
                    if (nresults >= 0) L->top = ci->top;
                    base = ci->u.l.base;
                    vmbreak;
                }
                ci = L->ci; // a script function: run it here
                ci->callstatus |= CIST_REENTRY;
                goto newframe;
            }
            vmcase(OP_TAILCALL) {
                int b = GETARG_B(i);
                if (b != 0) L->top = ra + b;
                savepc();
                if (int r = luaD_precall(L, ra, LUA_MULTRET)) { // a host function: the RETURN follows
                    if (r == 2) return; // it yielded: back to lua_resume
                    base = ci->u.l.base;
                    vmbreak;
                }
                // Move the callee's frame down over the caller's.
                CallInfo *nci = L->ci;
                CallInfo *oci = nci->previous;
                StkId nfunc = nci->func;
                StkId ofunc = oci->func;
                StkId lim = nci->u.l.base + clLvalue(nfunc)->p->numparams;
                if (cl->p->sizep > 0) luaF_close(L, oci->u.l.base);
                for (int aux = 0; nfunc + aux < lim; aux++) setobjs2s(L, ofunc + aux, nfunc + aux);
                oci->u.l.base = ofunc + (nci->u.l.base - nfunc);
                oci->top = L->top = oci->u.l.base + clLvalue(ofunc)->p->maxstacksize;
                oci->u.l.savedpc = nci->u.l.savedpc;
                oci->callstatus |= CIST_TAIL;
                ci = L->ci = oci;
                goto newframe;
            }
            vmcase(OP_RETURN) {
                int b = GETARG_B(i);
                if (b != 0) L->top = ra + b - 1;
                if (cl->p->sizep > 0) luaF_close(L, base);
                savepc();
                if ((ci->callstatus & CIST_REENTRY) && !(L->hookmask & (LUA_MASKRET | LUA_MASKLINE))) {
                    // Back into the calling script function: luaD_poscall's
                    // work, inline.
                    StkId res = ci->func;
                    int wanted = ci->nresults;
                    StkId first = ra;
                    ci = L->ci = ci->previous;
                    int k2;
                    for (k2 = wanted; k2 != 0 && first < L->top; k2--) setobjs2s(L, res++, first++);
                    while (k2-- > 0) setnilvalue(res++);
                    L->top = (wanted != LUA_MULTRET) ? ci->top : res;
                    goto newframe;
                }
                int fixed = luaD_poscall(L, ra);
                if (!(ci->callstatus & CIST_REENTRY)) return; // back to the host
                ci = L->ci;
                if (fixed) L->top = ci->top;
                goto newframe;
            }
            vmcase(OP_FORLOOP) {
                zorva_fixed step = nvalue(ra + 2);
                zorva_fixed idx = nvalue(ra);
                zorva_fixed limit = nvalue(ra + 1);
                zorva_fixed nidx = fx_add(idx, step);
                bool cont = (step > 0) ? (nidx <= limit) : (nidx >= limit);
                // The index wrapped past 32767.99998 (or a zero step sits at
                // 0), or, stepping down, wrapped past -32768.
                if (step >= 0 && idx >= 0 && nidx <= 0) cont = false;
                if (step < 0 && idx < 0 && nidx >= 0) cont = false;
                if (cont) {
                    pc += GETARG_sBx(i);
                    setnvalue(ra, nidx);
                    setnvalue(ra + 3, nidx);
                }
                vmbreak;
            }
            vmcase(OP_FORPREP) {
                TValue *init = ra;
                TValue *plimit = ra + 1;
                TValue *pstep = ra + 2;
                TValue tmp;
                const TValue *v;
                savepc();
                if ((v = luaV_tonumber(init, &tmp)) == nullptr) luaG_runerror(L, "'for' initial value must be a number");
                setnvalue(init, nvalue(v));
                if ((v = luaV_tonumber(plimit, &tmp)) == nullptr) luaG_runerror(L, "'for' limit must be a number");
                setnvalue(plimit, nvalue(v));
                if ((v = luaV_tonumber(pstep, &tmp)) == nullptr) luaG_runerror(L, "'for' step must be a number");
                setnvalue(pstep, nvalue(v));
                zorva_fixed first = nvalue(init);
                zorva_fixed step = nvalue(pstep);
                int64_t before = (int64_t)first - (int64_t)step;
                if (before == (int64_t)(zorva_fixed)before) {
                    // The usual way: one step back, and FORLOOP decides.
                    setnvalue(init, (zorva_fixed)before);
                    pc += GETARG_sBx(i);
                } else {
                    // initial - step wraps, which would trip the wrap guards:
                    // decide the first iteration on the initial value itself
                    // and enter the body directly (it follows this
                    // instruction), or skip past the FORLOOP.
                    zorva_fixed limit = nvalue(plimit);
                    bool cont = (step > 0) ? (first <= limit) : (first >= limit);
                    if (cont) {
                        setnvalue(ra + 3, first);
                    } else {
                        pc += GETARG_sBx(i) + 1;
                    }
                }
                vmbreak;
            }
            vmcase(OP_TFORCALL) {
                StkId cb = ra + 3; // call base
                setobjs2s(L, cb + 2, ra + 2);
                setobjs2s(L, cb + 1, ra + 1);
                setobjs2s(L, cb, ra);
                L->top = cb + 3; // function and two arguments
                Protect(luaD_call(L, cb, GETARG_C(i), 1));
                L->top = ci->top;
                vmbreak;
            }
            vmcase(OP_TFORLOOP) {
                if (!ttisnil(ra + 1)) { // continue the loop
                    setobjs2s(L, ra, ra + 1);
                    pc += GETARG_sBx(i);
                }
                vmbreak;
            }
            vmcase(OP_SETLIST) {
                int n = GETARG_B(i);
                int c = GETARG_C(i);
                if (n == 0) n = cast_int(L->top - ra) - 1;
                if (c == 0) {
                    c = GETARG_Ax(*pc);
                    pc++;
                }
                savepc();
                // The compiler always stores into the table it made; a
                // loaded chunk could name any register.
                if (!ttistable(ra)) luaG_typeerror(L, ra, "index");
                Table *h = hvalue(ra);
                int last = ((c - 1) * LFIELDS_PER_FLUSH) + n;
                if (last > h->sizearray) luaH_resizearray(L, h, last); // capped at the largest array
                for (; n > 0; n--) {
                    TValue *val = ra + n;
                    luaH_setint(L, h, last--, val);
                    luaC_barrierback(L, h, val);
                }
                L->top = ci->top;
                vmbreak;
            }
            vmcase(OP_CLOSURE) {
                Proto *p = cl->p->p[GETARG_Bx(i)];
                LClosure *ncl = getcached(p, cl->upvals, base);
                savepc();
                if (ncl == nullptr) pushclosure(L, p, cl->upvals, base, ra);
                else setclLvalue(L, ra, ncl);
                checkGC(ra + 1);
                vmbreak;
            }
            vmcase(OP_VARARG) {
                int b = GETARG_B(i) - 1;
                int n = cast_int(base - ci->func) - cl->p->numparams - 1; // extra arguments
                if (b < 0) { // all of them
                    b = n;
                    Protect(luaD_checkstack(L, n));
                    ra = RA(i);
                    L->top = ra + n;
                }
                for (int j = 0; j < b; j++) {
                    if (j < n) setobjs2s(L, ra + j, base - n + j);
                    else setnilvalue(ra + j);
                }
                vmbreak;
            }
            vmcase(OP_EXTRAARG) {
                vmbreak; // consumed by the instruction before it
            }
        }
    }
}
