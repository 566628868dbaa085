// The garbage collector.
//
// Incremental mode: a cycle marks from the roots (main thread, registry,
// basic-type metatables, objects awaiting finalization) in small steps paid
// for by allocation debt, finishes marking atomically (threads, weak tables
// and ephemerons, resurrection of finalizable objects), then sweeps the
// string table, the finalizable objects and all other objects in steps.
//
// Generational mode: each collection is a whole cycle that does not
// re-traverse old (surviving, black) objects. Survivors of a sweep stay
// black; the write barriers record every old object that comes to point
// to a new one; threads and weak tables, which cannot be kept black, are
// kept on a list that every cycle traverses again. When memory grows past
// the major increment over the last full collection, a full collection
// runs instead.
//
// Finalizers ("__gc") run outside the collector's steps, one call each in
// a protected call without user hooks, bounded by an instruction budget
// that also covers the coroutines they resume. They may run on a thread
// that is suspended (the host collects between the slices of a cart),
// which is left as it was. When a protected call is active on the thread
// their errors propagate as LUA_ERRGCMM; otherwise (a collection the host
// starts between runs, or lua_close) they are reported through the
// state's gc-error handler, or dropped when it has none.
#include "lgc.h"

#include <cstring>

#include "ldebug.h"
#include "ldo.h"
#include "lfunc.h"
#include "lmem.h"
#include "lobject.h"
#include "lstate.h"
#include "lstring.h"
#include "ltable.h"
#include "ltm.h"

// Sweep work per step and its cost.
#define GCSWEEPMAX 40
#define GCSWEEPCOST 10
// Cost of a finalizer call.
#define GCFINALIZECOST 100
// Debt scale of the step multiplier.
#define STEPMULADJ 200
// Divisor of the pause.
#define PAUSEADJ 100

#define maskcolors (~(bit2mask(BLACKBIT, OLDBIT) | WHITEBITS))
#define makewhite(g, x) ((x)->marked = cast_byte(((x)->marked & maskcolors) | luaC_white(g)))
#define white2gray(x) resetbits((x)->marked, WHITEBITS)
#define black2gray(x) resetbit((x)->marked, BLACKBIT)
#define isfinalized(x) testbit((x)->marked, FINALIZEDBIT)

#define markvalue(g, o) \
    { if (valiswhite(o)) reallymarkobject(g, gcvalue(o)); }
#define markobject(g, t) \
    { if ((t) && iswhite(obj2gco(t))) reallymarkobject(g, obj2gco(t)); }

static void reallymarkobject(global_State *g, GCObject *o);
static GCObject **sweeplist(lua_State *L, GCObject **p, lu_mem count);

// ---- Helpers -------------------------------------------------------------

#define gnodelast(h) gnode(h, cast(size_t, sizenode(h)))

static GCObject **gclistof(GCObject *o) {
    switch (o->tt) {
    case LUA_TTABLE: return &gco2t(o)->gclist;
    case LUA_TLCL: return &gco2lcl(o)->gclist;
    case LUA_TCCL: return &gco2ccl(o)->gclist;
    case LUA_TTHREAD: return &gco2th(o)->gclist;
    case LUA_TPROTO: return &gco2p(o)->gclist;
    default: return nullptr;
    }
}

static inline void linkgclist(GCObject *o, GCObject **list) {
    *gclistof(o) = *list;
    *list = o;
}

#define linktable(h, p) linkgclist(obj2gco(h), p)

// A node with a nil value: a collectable key may be dead, so its tag
// becomes the dead-key tag (the pointer stays for 'next').
static void removeentry(Node *n) {
    if (valiswhite(gkey(n))) setdeadvalue(gkey(n));
}

// Whether a weak reference must be cleared. Strings are values, never
// weak: they are marked instead.
static int iscleared(global_State *g, const TValue *o) {
    if (!iscollectable(o)) return 0;
    if (ttisstring(o)) {
        markobject(g, rawtsvalue(o));
        return 0;
    }
    return iswhite(gcvalue(o));
}

void luaC_barrier_(lua_State *L, GCObject *o, GCObject *v) {
    global_State *g = G(L);
    if (keepinvariant(g)) reallymarkobject(g, v); // mark the new target
    else makewhite(g, o); // while sweeping: o counts as swept
}

void luaC_barrierback_(lua_State *L, GCObject *o) {
    global_State *g = G(L);
    black2gray(o); // traverse it again in the atomic phase
    linkgclist(o, &g->grayagain);
}

void luaC_barrierproto_(lua_State *L, Proto *p, LClosure *c) {
    global_State *g = G(L);
    if (p->cache == nullptr) {
        luaC_objbarrier(L, p, c);
    } else {
        black2gray(p);
        linkgclist(p, &g->grayagain);
    }
}

void luaC_checkupvalcolor(global_State *g, UpVal *uv) {
    GCObject *o = obj2gco(uv);
    o->next = g->allgc; // closed upvalues live with all other objects
    g->allgc = o;
    if (isgray(o)) { // open upvalues are gray once reached
        if (keepinvariant(g)) {
            resetoldbit(o);
            gray2black(o);
            markvalue(g, uv->v);
        } else {
            makewhite(g, o);
        }
    }
}

GCObject *luaC_newobj(lua_State *L, int tt, size_t sz, GCObject **list, int offset) {
    global_State *g = G(L);
    char *raw = static_cast<char *>(luaM_newobject(L, novariant(tt), sz));
    GCObject *o = reinterpret_cast<GCObject *>(raw + offset);
    if (list == nullptr) list = &g->allgc;
    o->marked = luaC_white(g);
    o->tt = cast_byte(tt);
    o->next = *list;
    *list = o;
    return o;
}

void luaC_checkfinalizer(lua_State *L, GCObject *o, Table *mt) {
    global_State *g = G(L);
    if (testbit(o->marked, SEPARATED) || isfinalized(o) || gfasttm(g, mt, TM_GC) == nullptr) return;
    if (g->sweepgc == &o->next) { // the sweep stands just past o: move it on
        GCObject **old = g->sweepgc;
        do {
            g->sweepgc = sweeplist(L, g->sweepgc, 1);
        } while (g->sweepgc == old);
    }
    GCObject **p;
    for (p = &g->allgc; *p != o; p = &(*p)->next) {
    }
    *p = o->next;
    o->next = g->finobj;
    g->finobj = o;
    l_setbit(o->marked, SEPARATED);
    if (!keepinvariant(g)) makewhite(g, o); // already "swept"
    else resetoldbit(o);
}

// ---- Marking -------------------------------------------------------------

static void reallymarkobject(global_State *g, GCObject *o) {
    for (;;) {
        white2gray(o);
        switch (o->tt) {
        case LUA_TSHRSTR:
        case LUA_TLNGSTR:
            gray2black(o);
            g->GCmemtrav += sizestring(gco2ts(o));
            return;
        case LUA_TUSERDATA: {
            Udata *u = gco2u(o);
            markobject(g, u->metatable);
            gray2black(o);
            g->GCmemtrav += sizeudata(u);
            if (u->env && iswhite(obj2gco(u->env))) {
                o = u->env; // mark the user value in turn
                continue;
            }
            return;
        }
        case LUA_TUPVAL: {
            UpVal *uv = gco2uv(o);
            markvalue(g, uv->v);
            if (uv->v == &uv->u.value) gray2black(o); // closed: done
            // open: stays gray; its value lives in a stack
            g->GCmemtrav += sizeof(UpVal);
            return;
        }
        case LUA_TLCL:
        case LUA_TCCL:
        case LUA_TTABLE:
        case LUA_TTHREAD:
        case LUA_TPROTO: linkgclist(o, &g->gray); return;
        default: return;
        }
    }
}

static void markmt(global_State *g) {
    for (int i = 0; i < LUA_NUMTAGS; i++) markobject(g, g->mt[i]);
}

// Objects awaiting their finalizer are roots.
static void markbeingfnz(global_State *g) {
    for (GCObject *o = g->tobefnz; o != nullptr; o = o->next) {
        makewhite(g, o);
        reallymarkobject(g, o);
    }
}

// Open upvalues of threads that were not marked (possibly dead threads)
// still hold values that live closures see.
static void remarkupvals(global_State *g) {
    for (UpVal *uv = g->uvhead.u.l.next; uv != &g->uvhead; uv = uv->u.l.next) {
        if (isgray(obj2gco(uv))) markvalue(g, uv->v);
    }
}

static void markroots(global_State *g) {
    markobject(g, g->mainthread);
    markvalue(g, &g->l_registry);
    markmt(g);
    markbeingfnz(g);
}

static void restartcollection(global_State *g) {
    g->gray = g->grayagain = nullptr;
    g->weak = g->allweak = g->ephemeron = nullptr;
    g->regray = nullptr;
    markroots(g);
}

// ---- Traversal -----------------------------------------------------------

static void traverseweakvalue(global_State *g, Table *h) {
    Node *limit = gnodelast(h);
    // An array part may hold white values: assume it does.
    int hasclears = (h->sizearray > 0);
    for (Node *n = gnode(h, 0); n < limit; n++) {
        if (ttisnil(gval(n))) {
            removeentry(n);
        } else {
            markvalue(g, gkey(n)); // keys are strong
            if (!hasclears && iscleared(g, gval(n))) hasclears = 1;
        }
    }
    if (g->gcstate == GCSpropagate || !hasclears) linktable(h, &g->grayagain); // see it again in the atomic phase
    else linktable(h, &g->weak);
}

// Traverses an ephemeron: a value is marked only once its key is. Returns
// whether it marked anything.
static int traverseephemeron(global_State *g, Table *h) {
    int marked = 0;    // marked something in this traversal
    int hasclears = 0; // has white keys
    int prop = 0;      // has white keys with white values
    for (int i = 0; i < h->sizearray; i++) { // number keys are strong
        if (valiswhite(&h->array[i])) {
            marked = 1;
            reallymarkobject(g, gcvalue(&h->array[i]));
        }
    }
    Node *limit = gnodelast(h);
    for (Node *n = gnode(h, 0); n < limit; n++) {
        if (ttisnil(gval(n))) {
            removeentry(n);
        } else if (iscleared(g, gkey(n))) {
            hasclears = 1;
            if (valiswhite(gval(n))) prop = 1;
        } else if (valiswhite(gval(n))) {
            marked = 1;
            reallymarkobject(g, gcvalue(gval(n)));
        }
    }
    if (g->gcstate == GCSpropagate) linktable(h, &g->grayagain);
    else if (prop) linktable(h, &g->ephemeron); // may mark more later
    else if (hasclears) linktable(h, &g->allweak);
    else linktable(h, &g->grayagain);
    return marked;
}

static void traversestrongtable(global_State *g, Table *h) {
    for (int i = 0; i < h->sizearray; i++) markvalue(g, &h->array[i]);
    Node *limit = gnodelast(h);
    for (Node *n = gnode(h, 0); n < limit; n++) {
        if (ttisnil(gval(n))) {
            removeentry(n);
        } else {
            markvalue(g, gkey(n));
            markvalue(g, gval(n));
        }
    }
}

static lu_mem traversetable(global_State *g, Table *h) {
    const TValue *mode = gfasttm(g, h->metatable, TM_MODE);
    markobject(g, h->metatable);
    const char *weakkey = nullptr;
    const char *weakvalue = nullptr;
    if (mode && ttisstring(mode)) {
        weakkey = std::strchr(svalue(mode), 'k');
        weakvalue = std::strchr(svalue(mode), 'v');
    }
    if (weakkey || weakvalue) {
        black2gray(h); // weak tables stay gray
        if (!weakkey) traverseweakvalue(g, h);
        else if (!weakvalue) traverseephemeron(g, h);
        else linktable(h, &g->allweak); // nothing to mark
    } else {
        traversestrongtable(g, h);
    }
    return sizeof(Table) + sizeof(TValue) * (size_t)h->sizearray + sizeof(Node) * (size_t)sizenode(h);
}

static lu_mem traverseproto(global_State *g, Proto *f) {
    if (f->cache && iswhite(obj2gco(f->cache))) f->cache = nullptr; // the cache is weak
    markobject(g, f->source);
    for (int i = 0; i < f->sizek; i++) markvalue(g, &f->k[i]);
    for (int i = 0; i < f->sizeupvalues; i++) markobject(g, f->upvalues[i].name);
    for (int i = 0; i < f->sizep; i++) markobject(g, f->p[i]);
    for (int i = 0; i < f->sizelocvars; i++) markobject(g, f->locvars[i].varname);
    return sizeof(Proto) + sizeof(Instruction) * (size_t)f->sizecode + sizeof(Proto *) * (size_t)f->sizep +
           sizeof(TValue) * (size_t)f->sizek + sizeof(int) * (size_t)f->sizelineinfo +
           sizeof(LocVar) * (size_t)f->sizelocvars + sizeof(Upvaldesc) * (size_t)f->sizeupvalues;
}

static lu_mem traverseCclosure(global_State *g, CClosure *cl) {
    for (int i = 0; i < cl->nupvalues; i++) markvalue(g, &cl->upvalue[i]);
    return sizeCclosure(cl->nupvalues);
}

static lu_mem traverseLclosure(global_State *g, LClosure *cl) {
    markobject(g, cl->p);
    for (int i = 0; i < cl->nupvalues; i++) markobject(g, cl->upvals[i]);
    return sizeLclosure(cl->nupvalues);
}

static lu_mem traversethread(global_State *g, lua_State *th) {
    StkId o = th->stack;
    if (o == nullptr) return 1; // still being built
    for (; o < th->top; o++) markvalue(g, o);
    if (g->gcstate == GCSatomic) { // the last traversal: clear the dead part
        StkId lim = th->stack + th->stacksize;
        for (; o < lim; o++) setnilvalue(o);
    }
    // The call records count too: in a deep recursion they are most of
    // the memory that the thread keeps alive.
    return sizeof(lua_State) + sizeof(TValue) * (size_t)th->stacksize + sizeof(CallInfo) * (size_t)th->nci;
}

static void propagatemark(global_State *g) {
    GCObject *o = g->gray;
    gray2black(o);
    lu_mem size = 0;
    switch (o->tt) {
    case LUA_TTABLE: {
        Table *h = gco2t(o);
        g->gray = h->gclist;
        size = traversetable(g, h);
        break;
    }
    case LUA_TLCL: {
        LClosure *cl = gco2lcl(o);
        g->gray = cl->gclist;
        size = traverseLclosure(g, cl);
        break;
    }
    case LUA_TCCL: {
        CClosure *cl = gco2ccl(o);
        g->gray = cl->gclist;
        size = traverseCclosure(g, cl);
        break;
    }
    case LUA_TTHREAD: { // threads stay gray: their stacks change freely
        lua_State *th = gco2th(o);
        g->gray = th->gclist;
        linkgclist(o, &g->grayagain);
        black2gray(o);
        size = traversethread(g, th);
        break;
    }
    case LUA_TPROTO: {
        Proto *p = gco2p(o);
        g->gray = p->gclist;
        size = traverseproto(g, p);
        break;
    }
    default: break;
    }
    g->GCmemtrav += size;
}

static void propagateall(global_State *g) {
    while (g->gray) propagatemark(g);
}

static void propagatelist(global_State *g, GCObject *l) {
    g->gray = l;
    propagateall(g);
}

// Traverses again the objects that barriers and the propagate phase set
// aside.
static void retraversegrays(global_State *g) {
    GCObject *weak = g->weak;
    GCObject *grayagain = g->grayagain;
    GCObject *ephemeron = g->ephemeron;
    g->weak = g->grayagain = g->ephemeron = nullptr;
    propagateall(g);
    propagatelist(g, grayagain);
    propagatelist(g, weak);
    propagatelist(g, ephemeron);
}

static void convergeephemerons(global_State *g) {
    int changed;
    do {
        GCObject *next = g->ephemeron;
        g->ephemeron = nullptr;
        changed = 0;
        GCObject *w;
        while ((w = next) != nullptr) {
            next = gco2t(w)->gclist;
            if (traverseephemeron(g, gco2t(w))) {
                propagateall(g);
                changed = 1;
            }
        }
    } while (changed);
}

// ---- Clearing weak tables ------------------------------------------------

static void clearkeys(global_State *g, GCObject *l, GCObject *f) {
    for (; l != f; l = gco2t(l)->gclist) {
        Table *h = gco2t(l);
        Node *limit = gnodelast(h);
        for (Node *n = gnode(h, 0); n < limit; n++) {
            if (!ttisnil(gval(n)) && iscleared(g, gkey(n))) {
                setnilvalue(gval(n));
                removeentry(n);
            }
        }
    }
}

static void clearvalues(global_State *g, GCObject *l, GCObject *f) {
    for (; l != f; l = gco2t(l)->gclist) {
        Table *h = gco2t(l);
        for (int i = 0; i < h->sizearray; i++) {
            TValue *o = &h->array[i];
            if (iscleared(g, o)) setnilvalue(o);
        }
        Node *limit = gnodelast(h);
        for (Node *n = gnode(h, 0); n < limit; n++) {
            if (!ttisnil(gval(n)) && iscleared(g, gval(n))) {
                setnilvalue(gval(n));
                removeentry(n);
            }
        }
    }
}

// ---- Sweeping ------------------------------------------------------------

static void freeobj(lua_State *L, GCObject *o) {
    switch (o->tt) {
    case LUA_TPROTO: luaF_freeproto(L, gco2p(o)); break;
    case LUA_TLCL: luaM_freemem(L, o, sizeLclosure(gco2lcl(o)->nupvalues)); break;
    case LUA_TCCL: luaM_freemem(L, o, sizeCclosure(gco2ccl(o)->nupvalues)); break;
    case LUA_TUPVAL: luaF_freeupval(L, gco2uv(o)); break;
    case LUA_TTABLE: luaH_free(L, gco2t(o)); break;
    case LUA_TTHREAD: luaE_freethread(L, gco2th(o)); break;
    case LUA_TUSERDATA: luaM_freemem(L, o, sizeudata(gco2u(o))); break;
    case LUA_TSHRSTR:
        G(L)->strt.nuse--;
        luaM_freemem(L, o, sizestring(gco2ts(o)));
        break;
    case LUA_TLNGSTR: luaM_freemem(L, o, sizestring(gco2ts(o))); break;
    default: break;
    }
}

static void sweepthread(lua_State *L, lua_State *L1) {
    if (L1->stack == nullptr) return;
    sweeplist(L, &L1->openupval, MAX_LUMEM);
    if (G(L)->gckind != KGC_EMERGENCY) luaD_shrinkstack(L1);
}

// Frees the dead objects among the next count of list p and updates the
// marks of the others: white for the next cycle, or (generational) kept,
// with the old bit. Returns where to go on, or null at the end.
static GCObject **sweeplist(lua_State *L, GCObject **p, lu_mem count) {
    global_State *g = G(L);
    int ow = otherwhite(g);
    int toclear, toset;
    if (isgenerational(g)) {
        toclear = ~0;
        toset = bitmask(OLDBIT);
    } else {
        toclear = maskcolors;
        toset = luaC_white(g);
    }
    while (*p != nullptr && count-- > 0) {
        GCObject *curr = *p;
        int marked = curr->marked;
        if (isdeadm(ow, marked)) {
            *p = curr->next;
            freeobj(L, curr);
        } else {
            if (curr->tt == LUA_TTHREAD) sweepthread(L, gco2th(curr));
            curr->marked = cast_byte((marked & toclear) | toset);
            p = &curr->next;
        }
    }
    return (*p == nullptr) ? nullptr : p;
}

#define sweepwholelist(L, p) sweeplist(L, p, MAX_LUMEM)

static void checkSizes(lua_State *L) {
    global_State *g = G(L);
    if (g->gckind == KGC_EMERGENCY) return;
    int hs = g->strt.size / 2;
    if (g->strt.nuse < (uint32_t)hs && hs >= MINSTRTABSIZE) luaS_resize(L, hs);
    if (luaZ_sizebuffer(&g->buff) > LUA_MINBUFFER * 2) luaZ_freebuffer(L, &g->buff);
}

// ---- Finalizers ----------------------------------------------------------

// Moves unreachable finalizable objects (all of them when all is set) to
// the end of the tobefnz list.
static void separatetobefnz(lua_State *L, int all) {
    global_State *g = G(L);
    GCObject **p = &g->finobj;
    GCObject **lastnext = &g->tobefnz;
    while (*lastnext != nullptr) lastnext = &(*lastnext)->next;
    GCObject *curr;
    while ((curr = *p) != nullptr) {
        if (!(iswhite(curr) || all) || isfinalized(curr)) {
            p = &curr->next;
        } else {
            l_setbit(curr->marked, FINALIZEDBIT); // finalized once only
            *p = curr->next;
            curr->next = *lastnext;
            *lastnext = curr;
            lastnext = &curr->next;
        }
    }
}

// Takes the next object to finalize and puts it back with the others.
static GCObject *udata2finalize(global_State *g) {
    GCObject *o = g->tobefnz;
    g->tobefnz = o->next;
    o->next = g->allgc;
    g->allgc = o;
    resetbit(o->marked, SEPARATED);
    resetoldbit(o);
    // Between marking phases an object must be white to be traversed in
    // the next cycle (it was marked when resurrected and never swept).
    if (!keepinvariant(g)) makewhite(g, o);
    return o;
}

static void dothecall(lua_State *L, void *) { luaD_call(L, L->top - 2, 0, 0); }

// Instructions between two calls of the budget hook: small, so that every
// thread that runs in a finalizer sees soon after the budget is spent.
#define FINHOOKSTEP 1000

// The count hook of a finalizer: adds what the thread ran to the
// finalizer's count and stops it with an error once the budget is spent.
// From then on the hook comes at every instruction of the thread, so that
// a finalizer catching the error (with pcall, or in a coroutine) gets no
// further, and lua_resume refuses to start any more coroutines.
static void finalizer_limit(lua_State *L, lua_Debug *) {
    global_State *g = G(L);
    if (!g->finexpired) {
        g->finspent += L->basehookcount;
        if (g->finspent < g->finbudget) return;
        g->finexpired = 1;
    }
    L->basehookcount = L->hookcount = 1;
    // A message handler runs before the error unwinds, that is still inside
    // this hook: let the hook reach it too, or an endless handler would run
    // unbounded.
    L->allowhook = 1;
    lua_pushstring(L, FINBUDGETMSG);
    lua_error(L);
}

void luaC_budgethooks(lua_State *L, luaC_HookSave *save) {
    global_State *g = G(L);
    save->hook = L->hook;
    save->mask = L->hookmask;
    save->basecount = L->basehookcount;
    save->count = L->hookcount;
    save->allowhook = L->allowhook;
    save->budgeted = g->finbudget > 0;
    if (save->budgeted) {
        int step = g->finexpired ? 1 : (g->finbudget < FINHOOKSTEP ? g->finbudget : FINHOOKSTEP);
        L->hook = finalizer_limit;
        L->hookmask = LUA_MASKCOUNT;
        L->basehookcount = L->hookcount = step;
        L->allowhook = 1;
    }
}

void luaC_restorehooks(lua_State *L, const luaC_HookSave *save) {
    global_State *g = G(L);
    if (save->budgeted && !g->finexpired) g->finspent += L->basehookcount - L->hookcount; // the part since the last call
    L->hook = save->hook;
    L->hookmask = cast_byte(save->mask);
    L->basehookcount = save->basecount;
    L->hookcount = save->count;
    L->allowhook = save->allowhook;
}

static void gcmessage(lua_State *L, void *ud) {
    const char *msg = static_cast<const char *>(ud);
    luaO_pushfstring(L, "error in __gc metamethod (%s)", msg);
}

static void reportgcerror(lua_State *L, const char *msg) {
    global_State *g = G(L);
    if (g->gcerrorf) g->gcerrorf(g->gcerrorud, L, msg); // without a handler it is dropped, as in Lua 5.2
}

// Runs the finalizer of the next object awaiting one.
static void GCTM(lua_State *L, int propagateerrors) {
    global_State *g = G(L);
    TValue v;
    setgcovalue(L, &v, udata2finalize(g));
    const TValue *tm = luaT_gettmbyobj(L, &v, TM_GC);
    if (tm == nullptr || !ttisfunction(tm)) return;
    if (g->infinalizer == 0 && g->finguard && !g->finguard(g->finguardud, L)) return; // let go uncalled
    if (g->infinalizer == 0) { // a new finalizer, with a whole budget
        g->finspent = 0;
        g->finexpired = 0;
        g->finhook = L->hook;
        g->finhookmask = L->hookmask;
        g->finbasehookcount = L->basehookcount;
    }
    // The finalizer runs without the host's hooks (a hook could yield or
    // charge the cart), under a count hook that ends it with an error after
    // the budget, so that an endless loop cannot hang the console; without
    // a budget, hooks are simply off.
    luaD_checkstack(L, 2); // the finalizer and its object
    luaC_HookSave hooks;
    luaC_budgethooks(L, &hooks);
    if (!hooks.budgeted) L->allowhook = 0;
    // The thread may be a suspended coroutine (the host collects between
    // the slices of a cart) or a dead one: the finalizer runs on it as on a
    // running thread, and the thread is left as it was.
    lu_byte oldstatus = L->status;
    L->status = LUA_OK;
    lu_byte running = g->gcrunning;
    g->gcrunning = 0; // no collector steps inside
    g->infinalizer++;
    setobj2s(L, L->top, tm);
    setobj2s(L, L->top + 1, &v);
    L->top += 2;
    int status = luaD_pcall(L, dothecall, nullptr, savestack(L, L->top - 2), 0);
    g->infinalizer--;
    luaC_restorehooks(L, &hooks);
    L->status = oldstatus;
    g->gcrunning = running;
    if (g->infinalizer == 0) g->finexpired = 0;
    if (status == LUA_OK) return;
    if (status == LUA_ERRRUN) {
        const char *msg = ttisstring(L->top - 1) ? svalue(L->top - 1) : "no message";
        // Formatting allocates: do it protected, so that a report can never
        // raise.
        if (luaD_rawrunprotected(L, gcmessage, const_cast<char *>(msg)) == LUA_OK) {
            setobjs2s(L, L->top - 2, L->top - 1);
            L->top--;
        } else {
            setsvalue2s(L, L->top - 1, g->memerrmsg);
        }
        status = LUA_ERRGCMM;
    }
    if (propagateerrors) luaD_throw(L, status);
    reportgcerror(L, ttisstring(L->top - 1) ? svalue(L->top - 1) : "error in __gc metamethod (no message)");
    L->top--;
}

// Errors of finalizers propagate only where a protected call can take
// them.
static inline int canpropagate(lua_State *L) { return L->errorJmp != nullptr; }

static void callallpendingfinalizers(lua_State *L, int propagateerrors) {
    global_State *g = G(L);
    while (g->tobefnz) {
        resetoldbit(g->tobefnz);
        GCTM(L, propagateerrors);
    }
}

void luaC_freeallobjects(lua_State *L) {
    global_State *g = G(L);
    separatetobefnz(L, 1); // every finalizer runs now
    callallpendingfinalizers(L, 0);
    g->currentwhite = WHITEBITS; // a white that makes every object dead
    g->gckind = KGC_NORMAL;
    sweepwholelist(L, &g->finobj); // finalizers may have made some
    sweepwholelist(L, &g->allgc);
    for (int i = 0; i < g->strt.size; i++) sweepwholelist(L, &g->strt.hash[i]);
}

// ---- The cycle -----------------------------------------------------------

// Collects the objects that the next generational cycle must traverse
// again: everything left gray after the atomic phase.
static void collectregray(global_State *g) {
    GCObject *lists[4] = {g->grayagain, g->weak, g->ephemeron, g->allweak};
    g->grayagain = g->weak = g->ephemeron = g->allweak = nullptr;
    GCObject *regray = nullptr;
    for (GCObject *l : lists) {
        while (l != nullptr) {
            GCObject *next = *gclistof(l);
            if (isgray(l)) linkgclist(l, &regray);
            l = next;
        }
    }
    g->regray = regray;
}

// Finishes the marking. Returns the memory that it found alive beyond what
// the propagate phase had already counted: the objects it marked for the
// first time. Traversing again what barriers regrayed counts nothing (it
// was counted when first traversed), and neither do the objects kept only
// for their finalizers, which die after them.
static lu_mem atomic(lua_State *L) {
    global_State *g = G(L);
    lu_mem start = g->GCmemtrav;
    lu_mem uncounted = 0;
    markobject(g, L); // the running thread
    // The registry and basic metatables may change through the API.
    markvalue(g, &g->l_registry);
    markmt(g);
    remarkupvals(g);
    propagateall(g);
    lu_mem t = g->GCmemtrav;
    retraversegrays(g);
    uncounted += g->GCmemtrav - t;
    convergeephemerons(g);
    // Every strongly reachable object is marked. Weak values are cleared
    // before resurrection, so that a finalizer cannot see them again.
    clearvalues(g, g->weak, nullptr);
    clearvalues(g, g->allweak, nullptr);
    GCObject *origweak = g->weak;
    GCObject *origall = g->allweak;
    t = g->GCmemtrav;
    separatetobefnz(L, 0);
    markbeingfnz(g); // resurrect them for their finalizers
    propagateall(g);
    uncounted += g->GCmemtrav - t;
    convergeephemerons(g);
    clearkeys(g, g->ephemeron, nullptr);
    clearkeys(g, g->allweak, nullptr);
    clearvalues(g, g->weak, origweak);
    clearvalues(g, g->allweak, origall);
    if (isgenerational(g)) collectregray(g);
    g->currentwhite = cast_byte(otherwhite(g)); // flip
    return g->GCmemtrav - start - uncounted;
}

static void entersweep(lua_State *L) {
    global_State *g = G(L);
    g->gcstate = GCSsweepstring;
    g->sweepstrgc = 0;
    g->sweepfin = &g->finobj;
    g->sweepgc = &g->allgc;
}

static lu_mem singlestep(lua_State *L) {
    global_State *g = G(L);
    switch (g->gcstate) {
    case GCSpause:
        g->GCmemtrav = (lu_mem)g->strt.size * sizeof(GCObject *);
        restartcollection(g);
        g->gcstate = GCSpropagate;
        return g->GCmemtrav;
    case GCSpropagate:
        if (g->gray) {
            lu_mem oldtrav = g->GCmemtrav;
            propagatemark(g);
            return g->GCmemtrav - oldtrav;
        } else {
            g->gcstate = GCSatomic;
            // The pause before the next cycle is measured from the memory
            // found alive (traversed by the marking), not from the heap as
            // it stands: that still holds this cycle's garbage, and
            // counting it would let the heap swing to several times its
            // live size.
            g->GCestimate = g->GCmemtrav;
            lu_mem work = atomic(L);
            g->GCestimate += work;
            entersweep(L);
            return work;
        }
    case GCSsweepstring: {
        int i;
        for (i = 0; i < GCSWEEPMAX && g->sweepstrgc + i < g->strt.size; i++)
            sweepwholelist(L, &g->strt.hash[g->sweepstrgc + i]);
        g->sweepstrgc += i;
        if (g->sweepstrgc >= g->strt.size) g->gcstate = GCSsweepudata;
        return (lu_mem)i * GCSWEEPCOST;
    }
    case GCSsweepudata:
        if (g->sweepfin) {
            g->sweepfin = sweeplist(L, g->sweepfin, GCSWEEPMAX);
            return GCSWEEPMAX * GCSWEEPCOST;
        }
        g->gcstate = GCSsweep;
        return 0;
    case GCSsweep:
        if (g->sweepgc) {
            g->sweepgc = sweeplist(L, g->sweepgc, GCSWEEPMAX);
            return GCSWEEPMAX * GCSWEEPCOST;
        } else {
            GCObject *mt = obj2gco(g->mainthread);
            sweeplist(L, &mt, 1); // the main thread is in no list
            checkSizes(L);
            g->gcstate = GCSpause; // the estimate stays what marking found alive
            return GCSWEEPCOST;
        }
    default: return 0;
    }
}

void luaC_runtilstate(lua_State *L, int statesmask) {
    global_State *g = G(L);
    lu_byte busy = g->gcbusy;
    g->gcbusy = 1;
    while (!testbit(statesmask, g->gcstate)) singlestep(L);
    g->gcbusy = busy;
}

static void setpause(global_State *g, l_mem estimate) {
    estimate = estimate / PAUSEADJ;
    if (estimate < 1) estimate = 1;
    l_mem threshold = (g->gcpause < MAX_LMEM / estimate) ? estimate * g->gcpause : MAX_LMEM;
    l_mem debt = (l_mem)gettotalbytes(g) - threshold;
    luaE_setdebt(g, debt);
}

// A generational cycle: marks what is new, what barriers recorded and
// what must always be traversed again, then sweeps keeping survivors old.
static void minorcycle(lua_State *L) {
    global_State *g = G(L);
    lu_byte busy = g->gcbusy;
    g->gcbusy = 1;
    if (g->gcstate == GCSpause) { // first cycle after a full one
        restartcollection(g);
    } else {
        GCObject *l = g->regray;
        g->regray = nullptr;
        while (l != nullptr) {
            GCObject *next = *gclistof(l);
            linkgclist(l, &g->gray);
            l = next;
        }
        markroots(g);
    }
    g->gcstate = GCSpropagate;
    propagateall(g);
    g->gcstate = GCSatomic;
    atomic(L);
    entersweep(L);
    while (g->gcstate != GCSpause) singlestep(L);
    g->gcstate = GCSpropagate; // between cycles the barriers keep recording
    g->gcbusy = busy;
}

static void generationalcollection(lua_State *L) {
    global_State *g = G(L);
    if (g->GCestimate == 0) { // a full collection is due
        luaC_fullgc(L, 0);
        g->GCestimate = gettotalbytes(g);
    } else {
        lu_mem estimate = g->GCestimate;
        minorcycle(L);
        if (gettotalbytes(g) > (estimate / 100) * (lu_mem)g->gcmajorinc) g->GCestimate = 0;
        else g->GCestimate = estimate;
    }
    setpause(g, (l_mem)gettotalbytes(g));
}

static void incstep(lua_State *L) {
    global_State *g = G(L);
    l_mem debt = g->GCdebt;
    int stepmul = g->gcstepmul;
    if (stepmul < 40) stepmul = 40;
    debt = (debt / STEPMULADJ) + 1; // bytes to work units
    debt = (debt < MAX_LMEM / stepmul) ? debt * stepmul : MAX_LMEM;
    lu_byte busy = g->gcbusy;
    g->gcbusy = 1;
    do {
        lu_mem work = singlestep(L);
        debt -= (l_mem)work;
    } while (debt > -GCSTEPSIZE && g->gcstate != GCSpause);
    g->gcbusy = busy;
    if (g->gcstate == GCSpause) {
        setpause(g, (l_mem)g->GCestimate);
    } else {
        debt = (debt / stepmul) * STEPMULADJ;
        luaE_setdebt(g, debt);
    }
}

void luaC_forcestep(lua_State *L) {
    global_State *g = G(L);
    if (isgenerational(g)) generationalcollection(L);
    else incstep(L);
    // A few finalizers, or all of them once a cycle ended.
    int propagate = canpropagate(L);
    for (int i = 0; g->tobefnz && (i < GCFINALIZENUM || g->gcstate == GCSpause); i++) GCTM(L, propagate);
}

void luaC_step(lua_State *L) {
    global_State *g = G(L);
    if (g->gcrunning) luaC_forcestep(L);
    else luaE_setdebt(g, -GCSTEPSIZE); // not asked again at once
}

void luaC_fullgc(lua_State *L, int isemergency) {
    global_State *g = G(L);
    int origkind = g->gckind;
    int propagate = canpropagate(L);
    if (isemergency) {
        g->gckind = KGC_EMERGENCY; // no finalizers, no resizing
    } else {
        g->gckind = KGC_NORMAL;
        callallpendingfinalizers(L, propagate);
    }
    if (keepinvariant(g)) entersweep(L); // whiten every object (nothing dies)
    luaC_runtilstate(L, bitmask(GCSpause));   // end any sweep
    luaC_runtilstate(L, ~bitmask(GCSpause));  // start a new cycle
    luaC_runtilstate(L, bitmask(GCSpause));   // and run it whole
    g->gckind = cast_byte(origkind);
    setpause(g, (l_mem)gettotalbytes(g));
    if (!isemergency) callallpendingfinalizers(L, propagate);
}

void luaC_changemode(lua_State *L, int mode) {
    global_State *g = G(L);
    if (mode == g->gckind) return;
    if (mode == KGC_GEN) {
        luaC_runtilstate(L, bitmask(GCSpause));
        g->GCestimate = gettotalbytes(g);
        g->gckind = KGC_GEN;
    } else {
        g->gckind = KGC_NORMAL;
        if (g->gcstate != GCSpause) { // old objects are black: whiten them
            entersweep(L);
            luaC_runtilstate(L, bitmask(GCSpause));
        }
    }
}
