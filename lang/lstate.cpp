// Creation and destruction of states and threads.
#include "lstate.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "lapi.h"
#include "ldebug.h"
#include "ldo.h"
#include "lfunc.h"
#include "lgc.h"
#include "lmem.h"
#include "lstring.h"
#include "ltable.h"
#include "ltm.h"

#define MEMERRMSG "not enough memory"

// A thread made by lua_newthread.
struct LX {
    lua_State l;
};

// The main thread and the global state, in one block.
struct LG {
    LX l;
    global_State g;
};

#define fromstate(L) (reinterpret_cast<LG *>(L))

static bool seed_fixed = false;
static unsigned int fixed_seed = 0;

void lua_zorva_fixseed(int enable, unsigned int seed) {
    seed_fixed = enable != 0;
    fixed_seed = seed;
}

// A seed that differs between runs and states: the time and a few
// addresses, hashed together.
unsigned int luai_makeseed(lua_State *L) {
    if (seed_fixed) return fixed_seed;
    char buff[4 * sizeof(size_t)];
    unsigned int h = (unsigned int)std::time(nullptr);
    int local = 0;
    uintptr_t parts[4] = {(uintptr_t)L, (uintptr_t)&local, (uintptr_t)luaO_nilobject, (uintptr_t)&lua_newstate};
    size_t p = 0;
    for (uintptr_t part : parts) {
        size_t v = (size_t)part;
        std::memcpy(buff + p, &v, sizeof(v));
        p += sizeof(v);
    }
    return luaS_hash(buff, p, h);
}

void luaE_setdebt(global_State *g, l_mem debt) {
    g->totalbytes = (lu_mem)((l_mem)g->totalbytes - (debt - g->GCdebt));
    g->GCdebt = debt;
}

CallInfo *luaE_extendCI(lua_State *L) {
    CallInfo *ci = luaM_new(L, CallInfo);
    L->ci->next = ci;
    ci->previous = L->ci;
    ci->next = nullptr;
    L->nci++;
    return ci;
}

void luaE_freeCI(lua_State *L) {
    CallInfo *ci = L->ci;
    CallInfo *next = ci->next;
    ci->next = nullptr;
    while ((ci = next) != nullptr) {
        next = ci->next;
        luaM_free(L, ci);
        L->nci--;
    }
}

static void stack_init(lua_State *L1, lua_State *L) {
    L1->stack = luaM_newvector(L, BASIC_STACK_SIZE, TValue);
    L1->stacksize = BASIC_STACK_SIZE;
    for (int i = 0; i < BASIC_STACK_SIZE; i++) setnilvalue(L1->stack + i);
    L1->top = L1->stack;
    L1->stack_last = L1->stack + L1->stacksize - EXTRA_STACK;
    CallInfo *ci = &L1->base_ci;
    ci->next = ci->previous = nullptr;
    ci->callstatus = 0;
    ci->func = L1->top;
    setnilvalue(L1->top++); // the base call's "function"
    ci->top = L1->top + LUA_MINSTACK;
    L1->ci = ci;
}

static void freestack(lua_State *L) {
    if (L->stack == nullptr) return; // never finished
    L->ci = &L->base_ci;
    luaE_freeCI(L);
    luaM_freearray(L, L->stack, (size_t)L->stacksize);
}

static void init_registry(lua_State *L, global_State *g) {
    Table *registry = luaH_new(L);
    sethvalue(L, &g->l_registry, registry);
    luaH_resize(L, registry, LUA_RIDX_LAST, 0);
    TValue mt;
    setthvalue(L, &mt, L);
    luaH_setint(L, registry, LUA_RIDX_MAINTHREAD, &mt);
    sethvalue(L, &mt, luaH_new(L));
    luaH_setint(L, registry, LUA_RIDX_GLOBALS, &mt);
}

// Builds what may fail (runs protected).
static void f_luaopen(lua_State *L, void *) {
    global_State *g = G(L);
    stack_init(L, L);
    init_registry(L, g);
    luaS_resize(L, MINSTRTABSIZE);
    luaT_init(L);
    luaS_initreserved(L);
    g->memerrmsg = luaS_newliteral(L, MEMERRMSG);
    luaS_fix(g->memerrmsg);
    g->errerrmsg = luaS_newliteral(L, "error in error handling");
    luaS_fix(g->errerrmsg);
    g->gcrunning = 1;
    g->version = lua_version(nullptr);
}

static void preinit_state(lua_State *L, global_State *g) {
    G(L) = g;
    L->stack = nullptr;
    L->ci = nullptr;
    L->stacksize = 0;
    L->nci = 0;
    L->errorJmp = nullptr;
    L->nCcalls = 0;
    L->nCresume = 0;
    L->hook = nullptr;
    L->hookmask = 0;
    L->basehookcount = 0;
    L->allowhook = 1;
    resethookcount(L);
    L->openupval = nullptr;
    L->nny = 1;
    L->status = LUA_OK;
    L->errfunc = 0;
    L->oldpc = nullptr;
    L->gclist = nullptr;
    L->top = nullptr;
    L->stack_last = nullptr;
}

static void close_state(lua_State *L) {
    global_State *g = G(L);
    if (L->stack != nullptr) luaF_close(L, L->stack);
    luaC_freeallobjects(L);
    luaM_freearray(L, g->strt.hash, (size_t)g->strt.size);
    luaZ_freebuffer(L, &g->buff);
    freestack(L);
    g->frealloc(g->ud, fromstate(L), sizeof(LG), 0);
}

lua_State *lua_newthread(lua_State *L) {
    luaC_checkGC(L);
    lua_State *L1 = reinterpret_cast<lua_State *>(luaC_newobj(L, LUA_TTHREAD, sizeof(LX), nullptr, 0));
    setthvalue(L, L->top, L1);
    api_incr_top(L);
    preinit_state(L1, G(L));
    global_State *g = G(L);
    if (g->infinalizer > 0) { // the creator's hooks outside the finalizer
        L1->hookmask = g->finhookmask;
        L1->basehookcount = g->finbasehookcount;
        L1->hook = g->finhook;
    } else {
        L1->hookmask = L->hookmask;
        L1->basehookcount = L->basehookcount;
        L1->hook = L->hook;
    }
    resethookcount(L1);
    stack_init(L1, L);
    return L1;
}

void luaE_freethread(lua_State *L, lua_State *L1) {
    luaF_close(L1, L1->stack);
    freestack(L1);
    luaM_freemem(L, L1, sizeof(LX));
}

lua_State *lua_newstate(lua_Alloc f, void *ud) {
    LG *l = static_cast<LG *>(f(ud, nullptr, LUA_TTHREAD, sizeof(LG)));
    if (l == nullptr) return nullptr;
    lua_State *L = &l->l.l;
    global_State *g = &l->g;
    L->next = nullptr;
    L->tt = LUA_TTHREAD;
    // The fixed bit rides in the current white, so that "other white"
    // never matches a fixed object.
    g->currentwhite = bit2mask(WHITE0BIT, FIXEDBIT);
    L->marked = luaC_white(g);
    g->gckind = KGC_NORMAL;
    preinit_state(L, g);
    g->frealloc = f;
    g->ud = ud;
    g->mainthread = L;
    g->seed = luai_makeseed(L);
    g->uvhead.u.l.prev = &g->uvhead;
    g->uvhead.u.l.next = &g->uvhead;
    g->gcrunning = 0; // no collection while the state is built
    g->gcbusy = 0;
    g->gcreport = 0;
    g->GCestimate = 0;
    g->GCmemtrav = 0;
    g->strt.size = 0;
    g->strt.nuse = 0;
    g->strt.hash = nullptr;
    setnilvalue(&g->l_registry);
    luaZ_initbuffer(L, &g->buff);
    g->panic = nullptr;
    g->version = nullptr;
    g->gcstate = GCSpause;
    g->allgc = nullptr;
    g->finobj = nullptr;
    g->tobefnz = nullptr;
    g->sweepgc = nullptr;
    g->sweepfin = nullptr;
    g->sweepstrgc = 0;
    g->gray = g->grayagain = nullptr;
    g->weak = g->ephemeron = g->allweak = nullptr;
    g->regray = nullptr;
    g->totalbytes = sizeof(LG);
    g->GCdebt = 0;
    g->gcpause = 200;
    g->gcmajorinc = 200;
    g->gcstepmul = 200;
    g->gcerrorf = nullptr;
    g->gcerrorud = nullptr;
    g->finbudget = 1000000;
    g->finspent = 0;
    g->finexpired = 0;
    g->infinalizer = 0;
    g->finguard = nullptr;
    g->finguardud = nullptr;
    g->finhook = nullptr;
    g->finhookmask = 0;
    g->finbasehookcount = 0;
    g->memerrmsg = nullptr;
    g->errerrmsg = nullptr;
    for (int i = 0; i < TM_N; i++) g->tmname[i] = nullptr;
    for (int i = 0; i < LUA_NUMTAGS; i++) g->mt[i] = nullptr;
    if (luaD_rawrunprotected(L, f_luaopen, nullptr) != LUA_OK) {
        close_state(L);
        L = nullptr;
    }
    return L;
}

void lua_close(lua_State *L) {
    L = G(L)->mainthread; // only the whole state closes
    // The finalizers that closing runs start from a clean base call.
    if (L->stack != nullptr) {
        L->ci = &L->base_ci;
        L->status = LUA_OK;
        L->errfunc = 0;
        L->nCcalls = 0;
        L->nny = 1;
    }
    close_state(L);
}
