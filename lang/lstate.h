// Threads, call records and the state shared by all threads of a script
// state.
#pragma once

#include "lobject.h"
#include "ltm.h"
#include "lzio.h"

struct lua_longjmp; // recovery point of a protected call (ldo.cpp)

// Stack slots kept above every call's top, for metamethod calls and the
// like.
#define EXTRA_STACK 5
#define BASIC_STACK_SIZE (2 * LUA_MINSTACK)

// Kinds of collection.
#define KGC_NORMAL 0
#define KGC_EMERGENCY 1 // after an allocation failure: no finalizers
#define KGC_GEN 2       // generational

struct stringtable {
    GCObject **hash;
    uint32_t nuse; // number of strings
    int size;
};

// Call record. Script calls use u.l, host calls u.c.
struct CallInfo {
    StkId func;      // the called function in the stack
    StkId top;       // top for this function
    CallInfo *previous, *next;
    short nresults;  // expected results
    lu_byte callstatus;
    ptrdiff_t extra; // saved func offset across a yield or a protected call
    union {
        struct {     // script function
            StkId base;
            const Instruction *savedpc;
        } l;
        struct {     // host function
            int ctx;            // context for the continuation
            lua_CFunction k;    // continuation after a yield
            ptrdiff_t old_errfunc;
            lu_byte old_allowhook;
            lu_byte status;
        } c;
    } u;
};

// Bits of callstatus.
#define CIST_LUA (1 << 0)     // a script function
#define CIST_HOOKED (1 << 1)  // running a debug hook
#define CIST_REENTRY (1 << 2) // called from luaV_execute in the same C frame
#define CIST_YIELDED (1 << 3) // yielded
#define CIST_YPCALL (1 << 4)  // a protected call with continuation
#define CIST_STAT (1 << 5)    // call has an error status (pcall)
#define CIST_TAIL (1 << 6)    // called as a tail call
#define CIST_HOOKYIELD (1 << 7) // the count or line hook yielded before this instruction

#define isLua(ci) ((ci)->callstatus & CIST_LUA)

// State shared by all threads of one script state.
struct global_State {
    lua_Alloc frealloc;
    void *ud;
    lu_mem totalbytes;  // bytes allocated, less GCdebt
    l_mem GCdebt;       // bytes allocated and not yet paid for by the collector
    lu_mem GCmemtrav;   // memory traversed by the collector
    lu_mem GCestimate;  // estimate of the memory in use
    stringtable strt;
    TValue l_registry;
    unsigned int seed;
    lu_byte currentwhite;
    lu_byte gcstate;
    lu_byte gckind;
    lu_byte gcrunning;
    int sweepstrgc;     // next bucket of the string table to sweep
    GCObject *allgc;    // all collectable objects but strings and open upvalues
    GCObject *finobj;   // objects with finalizers
    GCObject **sweepgc; // current position of the sweep
    GCObject **sweepfin;// position of the sweep in finobj
    GCObject *gray;
    GCObject *grayagain;
    GCObject *weak;      // tables with weak values
    GCObject *ephemeron; // tables with weak keys
    GCObject *allweak;   // tables with weak keys and values
    GCObject *regray;    // generational mode: objects to traverse every cycle
    GCObject *tobefnz;   // unreachable objects awaiting their finalizer
    UpVal uvhead;        // head of the list of all open upvalues
    Mbuffer buff;        // scratch buffer for concatenation
    int gcpause;
    int gcmajorinc;
    int gcstepmul;
    lua_CFunction panic;
    lua_State *mainthread;
    const lua_Number *version;
    TString *memerrmsg;
    TString *errerrmsg;  // "error in error handling", made in advance too
    TString *tmname[TM_N];
    Table *mt[LUA_NUMTAGS];
    // Finalizer errors that nothing protected catches go here.
    lua_GCErrorF gcerrorf;
    void *gcerrorud;
    int finbudget;       // instructions one finalizer may run, with every
                         // coroutine it resumes (0: unbounded)
    l_mem finspent;      // instructions the running finalizer has run
    lu_byte finexpired;  // ... and it has used up its budget
    int infinalizer;     // nesting of running finalizers
    lua_FinalizerGuard finguard;   // may refuse a finalizer its call
    void *finguardud;
    // The hooks of the thread that runs the finalizers, as they are outside
    // them: threads made inside a finalizer take these.
    lua_Hook finhook;
    lu_byte finhookmask;
    int finbasehookcount;
    lu_byte gcbusy;      // the collector itself is running
    lu_byte gcreport;    // finalizer errors are reported, not raised
};

// A thread.
struct lua_State : GCObject {
    lu_byte status;
    StkId top;
    global_State *l_G;
    CallInfo *ci;               // current call
    const Instruction *oldpc;   // last pc traced by the hook
    StkId stack_last;           // last free slot (the extra reserve is above)
    StkId stack;
    GCObject *openupval;        // open upvalues of this stack, highest first
    GCObject *gclist;
    struct lua_longjmp *errorJmp; // current recovery point
    ptrdiff_t errfunc;          // error handler (stack offset), 0 for none
    CallInfo base_ci;
    int nci;                    // call records beyond base_ci, in use or kept for reuse
    int stacksize;
    unsigned short nny;         // non-yieldable calls in the stack
    unsigned short nCcalls;     // nested host calls
    // nCcalls of the frames that lua_resume runs directly: a host function
    // called by that outermost interpreter loop (and nothing nested) may
    // yield by returning instead of unwinding (see lua_yieldk). 0 outside a
    // resume.
    unsigned short nCresume;
    lu_byte hookmask;
    lu_byte allowhook;
    int basehookcount;
    int hookcount;
    lua_Hook hook;
};

#define G(L) ((L)->l_G)
#define gch(o) (o)

union GCUnion {
    GCObject gch;
    TString ts;
    Udata u;
    Closure cl;
    Table h;
    Proto p;
    UpVal uv;
    lua_State th;
};

inline lu_mem gettotalbytes(global_State *g) { return (lu_mem)((l_mem)g->totalbytes + g->GCdebt); }

void luaE_setdebt(global_State *g, l_mem debt);
void luaE_freethread(lua_State *L, lua_State *L1);
CallInfo *luaE_extendCI(lua_State *L);
void luaE_freeCI(lua_State *L);

// Process-wide override of the hash seed (tests).
unsigned int luai_makeseed(lua_State *L);
