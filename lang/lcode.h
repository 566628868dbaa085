// The code generator: turns the parser's expression descriptors into
// instructions of the function being compiled, with constant folding
// through the engine's own fixed-point arithmetic.
#pragma once

#include "llex.h"
#include "lobject.h"
#include "lopcodes.h"
#include "lparser.h"

// End of a jump list (and the offset of a jump not yet patched).
#define NO_JUMP (-1)

// Binary operators, in the order of their opcodes where they have one.
enum BinOpr {
    OPR_ADD,
    OPR_SUB,
    OPR_MUL,
    OPR_DIV,
    OPR_MOD,
    OPR_POW,
    OPR_CONCAT,
    OPR_EQ,
    OPR_LT,
    OPR_LE,
    OPR_NE,
    OPR_GT,
    OPR_GE,
    OPR_AND,
    OPR_OR,
    OPR_NOBINOPR
};

enum UnOpr { OPR_MINUS, OPR_NOT, OPR_LEN, OPR_NOUNOPR };

// Registers one function may use.
#define MAXREGS 250

#define getcode(fs, e) ((fs)->f->code[(e)->u.info])
#define luaK_codeAsBx(fs, o, A, sBx) luaK_codeABx(fs, o, A, (sBx) + MAXARG_sBx)
#define luaK_setmultret(fs, e) luaK_setreturns(fs, e, LUA_MULTRET)
#define luaK_jumpto(fs, t) luaK_patchlist(fs, luaK_jump(fs), t)

int luaK_code(FuncState *fs, Instruction i);
int luaK_codeABx(FuncState *fs, OpCode o, int a, unsigned int bc);
int luaK_codeABC(FuncState *fs, OpCode o, int a, int b, int c);
int luaK_codek(FuncState *fs, int reg, int k);
void luaK_fixline(FuncState *fs, int line);
void luaK_nil(FuncState *fs, int from, int n);
void luaK_reserveregs(FuncState *fs, int n);
void luaK_checkstack(FuncState *fs, int n);
int luaK_stringK(FuncState *fs, TString *s);
int luaK_numberK(FuncState *fs, zorva_fixed r);
void luaK_dischargevars(FuncState *fs, expdesc *e);
int luaK_exp2anyreg(FuncState *fs, expdesc *e);
void luaK_exp2anyregup(FuncState *fs, expdesc *e);
void luaK_exp2nextreg(FuncState *fs, expdesc *e);
void luaK_exp2val(FuncState *fs, expdesc *e);
int luaK_exp2RK(FuncState *fs, expdesc *e);
void luaK_self(FuncState *fs, expdesc *e, expdesc *key);
void luaK_indexed(FuncState *fs, expdesc *t, expdesc *k);
void luaK_goiftrue(FuncState *fs, expdesc *e);
void luaK_goiffalse(FuncState *fs, expdesc *e);
void luaK_storevar(FuncState *fs, expdesc *var, expdesc *e);
void luaK_setreturns(FuncState *fs, expdesc *e, int nresults);
void luaK_setoneret(FuncState *fs, expdesc *e);
int luaK_jump(FuncState *fs);
void luaK_ret(FuncState *fs, int first, int nret);
void luaK_patchlist(FuncState *fs, int list, int target);
void luaK_patchtohere(FuncState *fs, int list);
void luaK_patchclose(FuncState *fs, int list, int level);
void luaK_concat(FuncState *fs, int *l1, int l2);
int luaK_getlabel(FuncState *fs);
void luaK_prefix(FuncState *fs, UnOpr op, expdesc *v, int line);
void luaK_infix(FuncState *fs, BinOpr op, expdesc *v);
void luaK_posfix(FuncState *fs, BinOpr op, expdesc *v1, expdesc *v2, int line);
void luaK_setlist(FuncState *fs, int base, int nelems, int tostore);

// Grows a prototype array for one more element, checking the limit with
// the compiler's "too many %s (limit is %d) in %s" syntax error. New
// slots are cleared by the caller.
void *luaK_growarray(FuncState *fs, void *block, int *size, int needed, size_t elem, int limit, const char *what);
// The "too many" error of a limit of function fs.
[[noreturn]] void luaK_errorlimit(FuncState *fs, int limit, const char *what);
// A line of the compiled text as shown in messages: the line within its
// code tab.
int luaK_tabline(int line);
