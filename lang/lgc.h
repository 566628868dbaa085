// The garbage collector: incremental tri-colour mark and sweep, with weak
// tables, ephemerons, finalizers and a generational mode.
//
// Colours live in GCObject::marked. White objects are not (yet) reached;
// gray ones are reached and wait in a gray list for traversal; black ones
// are traversed. Two whites alternate between cycles so that objects made
// during a sweep are not taken for dead. The invariant while marking: no
// black object points to a white one; the write barriers keep it.
#pragma once

#include "lobject.h"
#include "lstate.h"

// Bytes of work per incremental step unit.
#define GCSTEPSIZE 2400
// Finalizers called per step.
#define GCFINALIZENUM 4

#define GCSpropagate 0
#define GCSatomic 1
#define GCSsweepstring 2
#define GCSsweepudata 3
#define GCSsweep 4
#define GCSpause 5

#define issweepphase(g) (GCSsweepstring <= (g)->gcstate && (g)->gcstate <= GCSsweep)
#define isgenerational(g) ((g)->gckind == KGC_GEN)
// While marking (and always in generational mode) the invariant holds;
// while sweeping, a barrier instead whitens the black object.
#define keepinvariant(g) (isgenerational(g) || (g)->gcstate <= GCSatomic)

#define resetbits(x, m) ((x) &= cast(lu_byte, ~(m)))
#define setbits(x, m) ((x) |= (m))
#define testbits(x, m) ((x) & (m))
#define bitmask(b) (1 << (b))
#define bit2mask(b1, b2) (bitmask(b1) | bitmask(b2))
#define l_setbit(x, b) setbits(x, bitmask(b))
#define resetbit(x, b) resetbits(x, bitmask(b))
#define testbit(x, b) testbits(x, bitmask(b))

#define WHITE0BIT 0
#define WHITE1BIT 1
#define BLACKBIT 2
#define FINALIZEDBIT 3 // finalizer has run
#define SEPARATED 4    // in the finobj or tobefnz list
#define FIXEDBIT 5     // never collected
#define OLDBIT 6       // survived a generational collection
#define WHITEBITS bit2mask(WHITE0BIT, WHITE1BIT)

#define iswhite(x) testbits((x)->marked, WHITEBITS)
#define isblack(x) testbit((x)->marked, BLACKBIT)
#define isgray(x) (!testbits((x)->marked, WHITEBITS | bitmask(BLACKBIT)))
#define isold(x) testbit((x)->marked, OLDBIT)
#define resetoldbit(o) resetbit((o)->marked, OLDBIT)

#define otherwhite(g) ((g)->currentwhite ^ WHITEBITS)
#define isdeadm(ow, m) (!(((m) ^ WHITEBITS) & (ow)))
#define isdead(g, v) isdeadm(otherwhite(g), (v)->marked)
#define changewhite(x) ((x)->marked ^= WHITEBITS)
#define gray2black(x) l_setbit((x)->marked, BLACKBIT)
#define valiswhite(x) (iscollectable(x) && iswhite(gcvalue(x)))
#define luaC_white(g) cast_byte((g)->currentwhite & WHITEBITS)

// Runs a collector step when allocation has built up debt.
#define luaC_condGC(L, c)                  \
    {                                      \
        if (G(L)->GCdebt > 0) { c; }       \
    }
#define luaC_checkGC(L) luaC_condGC(L, luaC_step(L);)

#define luaC_barrier(L, p, v) \
    { if (valiswhite(v) && isblack(obj2gco(p))) luaC_barrier_(L, obj2gco(p), gcvalue(v)); }
#define luaC_barrierback(L, p, v) \
    { if (valiswhite(v) && isblack(obj2gco(p))) luaC_barrierback_(L, obj2gco(p)); }
#define luaC_objbarrier(L, p, o) \
    { if (iswhite(obj2gco(o)) && isblack(obj2gco(p))) luaC_barrier_(L, obj2gco(p), obj2gco(o)); }
#define luaC_objbarrierback(L, p, o) \
    { if (iswhite(obj2gco(o)) && isblack(obj2gco(p))) luaC_barrierback_(L, obj2gco(p)); }
#define luaC_barrierproto(L, p, c) \
    { if (isblack(obj2gco(p))) luaC_barrierproto_(L, p, c); }

void luaC_freeallobjects(lua_State *L);
void luaC_step(lua_State *L);
void luaC_forcestep(lua_State *L);
void luaC_runtilstate(lua_State *L, int statesmask);
void luaC_fullgc(lua_State *L, int isemergency);
GCObject *luaC_newobj(lua_State *L, int tt, size_t sz, GCObject **list, int offset);
void luaC_barrier_(lua_State *L, GCObject *o, GCObject *v);
void luaC_barrierback_(lua_State *L, GCObject *o);
void luaC_barrierproto_(lua_State *L, Proto *p, LClosure *c);
// Moves o to the finalizer list when mt has a "__gc" field.
void luaC_checkfinalizer(lua_State *L, GCObject *o, Table *mt);
// A newly closed upvalue keeps the invariant.
void luaC_checkupvalcolor(global_State *g, UpVal *uv);
void luaC_changemode(lua_State *L, int mode);

// While a finalizer runs, the instructions of every thread that runs (its
// own and those of the coroutines it resumes) count against its budget,
// through a count hook that stands in for the thread's own hooks.
struct luaC_HookSave {
    lua_Hook hook;
    int mask;
    int basecount;
    int count;
    lu_byte allowhook;
    lu_byte budgeted; // the budget hook was installed
};
// Sets the thread's hooks aside in *save and puts it under the running
// finalizer's budget (nothing changes without a budget).
void luaC_budgethooks(lua_State *L, luaC_HookSave *save);
// Gives the thread its own hooks back.
void luaC_restorehooks(lua_State *L, const luaC_HookSave *save);
// Message of a finalizer stopped by its budget.
#define FINBUDGETMSG "finalizer ran past its instruction budget"
