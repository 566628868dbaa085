// The parser: compiles script source into function prototypes in one
// pass, by recursive descent, driving the code generator (lcode.h).
#pragma once

#include "llex.h"
#include "lobject.h"
#include "lzio.h"

// Kinds of expression descriptor.
enum expkind {
    VVOID,      // no value (empty expression list)
    VNIL,
    VTRUE,
    VFALSE,
    VK,         // constant; info = index in the constant table
    VKNUM,      // numeric constant; nval = its value
    VNONRELOC,  // value in a fixed register; info = register
    VLOCAL,     // local variable; info = its register
    VUPVAL,     // upvalue; info = upvalue index
    VINDEXED,   // t[k]; ind.t = table register or upvalue, ind.idx = key RK, ind.vt = VLOCAL or VUPVAL
    VJMP,       // condition; info = pc of its jump
    VRELOCABLE, // value of an instruction whose A is not set yet; info = its pc
    VCALL,      // call; info = pc of the CALL
    VVARARG     // "..."; info = pc of the VARARG
};

#define vkisvar(k) (VLOCAL <= (k) && (k) <= VINDEXED)
#define vkisinreg(k) ((k) == VNONRELOC || (k) == VLOCAL)
#define hasmultret(k) ((k) == VCALL || (k) == VVARARG)

struct expdesc {
    expkind k;
    union {
        struct {
            short idx;  // key register or constant (RK)
            lu_byte t;  // table register or upvalue index
            lu_byte vt; // VLOCAL (t is a register) or VUPVAL
        } ind;
        int info;
        zorva_fixed nval;
    } u;
    int t; // jumps taken when the expression is true
    int f; // jumps taken when it is false
};

// An active local variable: index of its debug record in the prototype.
struct Vardesc {
    short idx;
};

// A pending goto or an active label.
struct Labeldesc {
    TString *name;
    int pc;          // code position
    int line;        // source line
    lu_byte nactvar; // active locals at that position
};

struct Labellist {
    Labeldesc *arr;
    int n;    // entries in use
    int size; // entries allocated
};

// Lists shared by all functions of one compilation, allocated with the
// state's allocator.
struct Dyndata {
    struct {
        Vardesc *arr;
        int n;
        int size;
    } actvar;
    Labellist gt;    // pending gotos
    Labellist label; // active labels
};

struct BlockCnt; // (lparser.cpp)

// State of one function being compiled.
struct FuncState {
    Proto *f;          // the prototype being built
    Table *h;          // constant value -> index (and string anchors)
    FuncState *prev;   // enclosing function
    LexState *ls;
    BlockCnt *bl;      // innermost open block
    int pc;            // next code position (= number of instructions)
    int lasttarget;    // position of the last jump target
    int jpc;           // jumps pending to the next instruction
    int nk;            // constants in f->k
    int np;            // nested prototypes in f->p
    int firstlocal;    // index of the first local in dyd->actvar
    short nlocvars;    // debug records in f->locvars
    lu_byte nactvar;   // active locals
    lu_byte nups;      // upvalues
    lu_byte freereg;   // first free register
};

// Compiles a text chunk read from z (its first character already read,
// in firstchar) and returns the main closure, which is also pushed on the
// stack. The main function is variadic and has one upvalue, _ENV, which
// refers to stack slot 0 of the loader; the caller makes the closure's
// upvalue and gives it its value. buff is the token buffer (the caller
// frees it); the parser's own lists are freed on every way out. Errors
// are thrown with status LUA_ERRSYNTAX (or LUA_ERRMEM). Called only inside
// a protected call. This is the body of the loader's luaY_parser.
LClosure *luaY_compile(lua_State *L, ZIO *z, Mbuffer *buff, const char *name, int firstchar);

// Line (in the compiled text) of the statement most recently begun by the
// parser; -1 before the first compilation. Read by the console after a
// failed compile.
extern int zorva_last_line_number;
