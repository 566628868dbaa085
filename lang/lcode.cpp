// The code generator.
//
// Expressions travel as descriptors (expdesc) and are turned into code as
// late as possible, so that constants can be folded, used directly as
// operands, and conditions can become jumps. Jump lists are chained
// through the offset fields of the JMP instructions themselves: each
// offset points to the next jump of the list, NO_JUMP ends it.
#include "lcode.h"

#include <cstdio>
#include <cstring>

#include "ldebug.h"
#include "ldo.h"
#include "lgc.h"
#include "lmem.h"
#include "lstate.h"
#include "lstring.h"
#include "ltable.h"
#include "zorva_hooks.h"

// ---- Limits and growth -------------------------------------------------------

int luaK_tabline(int line) {
    int tab = 0;
    return zorva_hook_find_tab_line(line - 3, &tab) + 1;
}

void luaK_errorlimit(FuncState *fs, int limit, const char *what) {
    lua_State *L = fs->ls->L;
    // Numbers are formatted here as plain decimals: limits reach 67108863.
    char where[40];
    int line = fs->f->linedefined;
    if (line == 0) std::snprintf(where, sizeof(where), "main function");
    else std::snprintf(where, sizeof(where), "function at line %d", luaK_tabline(line));
    char lim[16];
    std::snprintf(lim, sizeof(lim), "%d", limit);
    const char *msg = luaO_pushfstring(L, "too many %s (limit is %s) in %s", what, lim, where);
    luaX_syntaxerror(fs->ls, msg);
}

void *luaK_growarray(FuncState *fs, void *block, int *size, int needed, size_t elem, int limit, const char *what) {
    if (needed <= *size) return block;
    if (needed > limit) luaK_errorlimit(fs, limit, what);
    int newsize = *size < 4 ? 4 : *size;
    while (newsize < needed) newsize = newsize > limit / 2 ? limit : newsize * 2;
    if (newsize > limit) newsize = limit;
    void *nb = luaM_reallocv(fs->ls->L, block, (size_t)*size, (size_t)newsize, elem);
    *size = newsize;
    return nb;
}

// ---- Emitting ----------------------------------------------------------------

namespace {

bool hasjumps(const expdesc *e) { return e->t != e->f; }

// A numeric constant with no pending jumps.
bool isnumeral(const expdesc *e) { return e->k == VKNUM && e->t == NO_JUMP && e->f == NO_JUMP; }

int jumpoffset_target(FuncState *fs, int pc) {
    int offset = GETARG_sBx(fs->f->code[pc]);
    return offset == NO_JUMP ? NO_JUMP : pc + 1 + offset;
}

void setjump(FuncState *fs, int pc, int dest) {
    int offset = dest - (pc + 1);
    if (offset > MAXARG_sBx || offset < -MAXARG_sBx) luaX_syntaxerror(fs->ls, "control structure too long");
    SETARG_sBx(fs->f->code[pc], offset);
}

// The instruction that decides a jump: the test before it, if any.
Instruction *jumpcontrol(FuncState *fs, int pc) {
    Instruction *pi = &fs->f->code[pc];
    if (pc >= 1 && testTMode(GET_OPCODE(*(pi - 1)))) return pi - 1;
    return pi;
}

// Does some jump of the list need a value produced (its control is not a
// TESTSET, which produces one itself)?
bool needs_value(FuncState *fs, int list) {
    for (; list != NO_JUMP; list = jumpoffset_target(fs, list))
        if (GET_OPCODE(*jumpcontrol(fs, list)) != OP_TESTSET) return true;
    return false;
}

// A TESTSET controlling the jump at node stores into reg; without a
// register to store into (or when it would copy to its own source) it
// becomes a plain TEST. Returns false when the control is no TESTSET.
bool retarget_testset(FuncState *fs, int node, int reg) {
    Instruction *i = jumpcontrol(fs, node);
    if (GET_OPCODE(*i) != OP_TESTSET) return false;
    if (reg != NO_REG && reg != GETARG_B(*i)) SETARG_A(*i, reg);
    else *i = CREATE_ABC(OP_TEST, GETARG_B(*i), 0, GETARG_C(*i));
    return true;
}

void drop_values(FuncState *fs, int list) {
    for (; list != NO_JUMP; list = jumpoffset_target(fs, list)) retarget_testset(fs, list, NO_REG);
}

// Patches each jump of list: those controlled by a TESTSET that can store
// into reg go to vtarget, the others to dtarget.
void patch_jumps(FuncState *fs, int list, int vtarget, int reg, int dtarget) {
    while (list != NO_JUMP) {
        int next = jumpoffset_target(fs, list);
        if (retarget_testset(fs, list, reg)) setjump(fs, list, vtarget);
        else setjump(fs, list, dtarget);
        list = next;
    }
}

void discharge_pending(FuncState *fs) {
    patch_jumps(fs, fs->jpc, fs->pc, NO_REG, fs->pc);
    fs->jpc = NO_JUMP;
}

int codeextraarg(FuncState *fs, int a) { return luaK_code(fs, CREATE_Ax(OP_EXTRAARG, a)); }

int condjump(FuncState *fs, OpCode op, int a, int b, int c) {
    luaK_codeABC(fs, op, a, b, c);
    return luaK_jump(fs);
}

} // namespace

int luaK_code(FuncState *fs, Instruction i) {
    Proto *f = fs->f;
    discharge_pending(fs); // pending jumps land here
    if (fs->pc >= f->sizecode)
        f->code = (Instruction *)luaK_growarray(fs, f->code, &f->sizecode, fs->pc + 1, sizeof(Instruction), MAX_INT,
                                                "opcodes");
    f->code[fs->pc] = i;
    if (fs->pc >= f->sizelineinfo)
        f->lineinfo = (int *)luaK_growarray(fs, f->lineinfo, &f->sizelineinfo, fs->pc + 1, sizeof(int), MAX_INT,
                                            "opcodes");
    f->lineinfo[fs->pc] = fs->ls->lastline;
    return fs->pc++;
}

int luaK_codeABC(FuncState *fs, OpCode o, int a, int b, int c) { return luaK_code(fs, CREATE_ABC(o, a, b, c)); }

int luaK_codeABx(FuncState *fs, OpCode o, int a, unsigned int bc) { return luaK_code(fs, CREATE_ABx(o, a, bc)); }

int luaK_codek(FuncState *fs, int reg, int k) {
    if (k <= MAXARG_Bx) return luaK_codeABx(fs, OP_LOADK, reg, (unsigned int)k);
    int p = luaK_codeABx(fs, OP_LOADKX, reg, 0);
    codeextraarg(fs, k);
    return p;
}

void luaK_fixline(FuncState *fs, int line) { fs->f->lineinfo[fs->pc - 1] = line; }

void luaK_nil(FuncState *fs, int from, int n) {
    int last = from + n - 1;
    if (fs->pc > fs->lasttarget) { // nothing jumps to this position
        Instruction *prev = &fs->f->code[fs->pc - 1];
        if (GET_OPCODE(*prev) == OP_LOADNIL) {
            int pfrom = GETARG_A(*prev);
            int plast = pfrom + GETARG_B(*prev);
            bool touch = (pfrom <= from && from <= plast + 1) || (from <= pfrom && pfrom <= last + 1);
            if (touch) {
                if (pfrom < from) from = pfrom;
                if (plast > last) last = plast;
                SETARG_A(*prev, from);
                SETARG_B(*prev, last - from);
                return;
            }
        }
    }
    luaK_codeABC(fs, OP_LOADNIL, from, n - 1, 0);
}

// ---- Jumps -----------------------------------------------------------------

int luaK_jump(FuncState *fs) {
    int pending = fs->jpc; // jumps to here now go where this one goes
    fs->jpc = NO_JUMP;
    int j = luaK_codeAsBx(fs, OP_JMP, 0, NO_JUMP);
    luaK_concat(fs, &j, pending);
    return j;
}

void luaK_ret(FuncState *fs, int first, int nret) { luaK_codeABC(fs, OP_RETURN, first, nret + 1, 0); }

int luaK_getlabel(FuncState *fs) {
    fs->lasttarget = fs->pc;
    return fs->pc;
}

void luaK_patchlist(FuncState *fs, int list, int target) {
    if (target == fs->pc) luaK_patchtohere(fs, list);
    else patch_jumps(fs, list, target, NO_REG, target);
}

void luaK_patchclose(FuncState *fs, int list, int level) {
    level++; // A of a closing jump is the first register to close, plus one
    for (; list != NO_JUMP; list = jumpoffset_target(fs, list)) SETARG_A(fs->f->code[list], level);
}

void luaK_patchtohere(FuncState *fs, int list) {
    luaK_getlabel(fs);
    luaK_concat(fs, &fs->jpc, list);
}

// A jump list is a set: every jump in it is patched alike. So the shorter
// list is linked in front of the longer one (found by walking both at
// once), and adding to a long list, as pending gotos to one label do,
// costs no walk along it.
void luaK_concat(FuncState *fs, int *l1, int l2) {
    if (l2 == NO_JUMP) return;
    if (*l1 == NO_JUMP) {
        *l1 = l2;
        return;
    }
    int a = *l1, b = l2;
    for (;;) {
        int next_a = jumpoffset_target(fs, a);
        if (next_a == NO_JUMP) { // l1 ends first: l2 follows it
            setjump(fs, a, l2);
            return;
        }
        int next_b = jumpoffset_target(fs, b);
        if (next_b == NO_JUMP) { // l2 ends first: it goes in front of l1
            setjump(fs, b, *l1);
            *l1 = l2;
            return;
        }
        a = next_a;
        b = next_b;
    }
}

// ---- Registers ---------------------------------------------------------------

void luaK_checkstack(FuncState *fs, int n) {
    int needed = fs->freereg + n;
    if (needed > fs->f->maxstacksize) {
        if (needed >= MAXREGS) luaX_syntaxerror(fs->ls, "function or expression too complex");
        fs->f->maxstacksize = cast_byte(needed);
    }
}

void luaK_reserveregs(FuncState *fs, int n) {
    luaK_checkstack(fs, n);
    fs->freereg = cast_byte(fs->freereg + n);
}

namespace {

// Frees a temporary register (locals and constants are not freed).
void freereg(FuncState *fs, int reg) {
    if (!ISK(reg) && reg >= fs->nactvar) fs->freereg--;
}

void freeexp(FuncState *fs, expdesc *e) {
    if (e->k == VNONRELOC) freereg(fs, e->u.info);
}

// ---- Constants ---------------------------------------------------------------

bool same_constant(const TValue *a, const TValue *b) {
    if (rttype(a) != rttype(b)) return false;
    switch (ttype(a)) {
    case LUA_TNIL: return true;
    case LUA_TBOOLEAN: return bvalue(a) == bvalue(b);
    case LUA_TNUMBER: return nvalue(a) == nvalue(b);
    case LUA_TSHRSTR:
    case LUA_TLNGSTR: return luaS_eqstr(rawtsvalue(a), rawtsvalue(b)) != 0;
    default: return false;
    }
}

// The index of value v in the constant table, added when new; key is
// its key in the constant cache.
int addk(FuncState *fs, TValue *key, TValue *v) {
    lua_State *L = fs->ls->L;
    Proto *f = fs->f;
    TValue *idx = luaH_set(L, fs->h, key);
    if (ttisnumber(idx)) { // known: the raw number is its index
        int k = (int)nvalue(idx);
        if (k >= 0 && k < fs->nk && same_constant(&f->k[k], v)) return k;
    }
    int k = fs->nk;
    // A string anchored by the lexer holds true here; it becomes the index.
    setnvalue(idx, (zorva_fixed)k);
    if (k >= f->sizek) {
        int oldsize = f->sizek;
        f->k = (TValue *)luaK_growarray(fs, f->k, &f->sizek, k + 1, sizeof(TValue), MAXARG_Ax, "constants");
        for (int i = oldsize; i < f->sizek; i++) setnilvalue(&f->k[i]);
    }
    setobj(&f->k[k], v);
    fs->nk++;
    luaC_barrier(L, f, v);
    return k;
}

int boolK(FuncState *fs, int b) {
    TValue o;
    setbvalue(&o, b);
    return addk(fs, &o, &o);
}

int nilK(FuncState *fs) {
    TValue k, v;
    setnilvalue(&v);
    sethvalue(&k, fs->h); // nil cannot be a key: the cache itself stands for it
    return addk(fs, &k, &v);
}

} // namespace

int luaK_stringK(FuncState *fs, TString *s) {
    TValue o;
    setsvalue(&o, s);
    return addk(fs, &o, &o);
}

int luaK_numberK(FuncState *fs, zorva_fixed r) {
    TValue o;
    setnvalue(&o, r);
    return addk(fs, &o, &o);
}

// ---- Discharging expressions ---------------------------------------------------

void luaK_setreturns(FuncState *fs, expdesc *e, int nresults) {
    if (e->k == VCALL) {
        SETARG_C(getcode(fs, e), nresults + 1);
    } else if (e->k == VVARARG) {
        SETARG_B(getcode(fs, e), nresults + 1);
        SETARG_A(getcode(fs, e), fs->freereg);
        luaK_reserveregs(fs, 1);
    }
}

void luaK_setoneret(FuncState *fs, expdesc *e) {
    if (e->k == VCALL) { // the result is in the call's base register
        e->k = VNONRELOC;
        e->u.info = GETARG_A(getcode(fs, e));
    } else if (e->k == VVARARG) {
        SETARG_B(getcode(fs, e), 2);
        e->k = VRELOCABLE;
    }
}

void luaK_dischargevars(FuncState *fs, expdesc *e) {
    switch (e->k) {
    case VLOCAL: e->k = VNONRELOC; break;
    case VUPVAL:
        e->u.info = luaK_codeABC(fs, OP_GETUPVAL, 0, e->u.info, 0);
        e->k = VRELOCABLE;
        break;
    case VINDEXED: {
        OpCode op = OP_GETTABUP;
        freereg(fs, e->u.ind.idx);
        if (e->u.ind.vt == VLOCAL) {
            freereg(fs, e->u.ind.t);
            op = OP_GETTABLE;
        }
        e->u.info = luaK_codeABC(fs, op, 0, e->u.ind.t, e->u.ind.idx);
        e->k = VRELOCABLE;
        break;
    }
    case VVARARG:
    case VCALL: luaK_setoneret(fs, e); break;
    default: break; // already a value
    }
}

namespace {

int code_loadbool(FuncState *fs, int a, int b, int skip) {
    luaK_getlabel(fs); // these are jump targets
    return luaK_codeABC(fs, OP_LOADBOOL, a, b, skip);
}

void discharge2reg(FuncState *fs, expdesc *e, int reg) {
    luaK_dischargevars(fs, e);
    switch (e->k) {
    case VNIL: luaK_nil(fs, reg, 1); break;
    case VFALSE:
    case VTRUE: luaK_codeABC(fs, OP_LOADBOOL, reg, e->k == VTRUE, 0); break;
    case VK: luaK_codek(fs, reg, e->u.info); break;
    case VKNUM: luaK_codek(fs, reg, luaK_numberK(fs, e->u.nval)); break;
    case VRELOCABLE: SETARG_A(getcode(fs, e), reg); break;
    case VNONRELOC:
        if (reg != e->u.info) luaK_codeABC(fs, OP_MOVE, reg, e->u.info, 0);
        break;
    default: return; // VVOID or VJMP: nothing to put anywhere yet
    }
    e->u.info = reg;
    e->k = VNONRELOC;
}

void discharge2anyreg(FuncState *fs, expdesc *e) {
    if (e->k != VNONRELOC) {
        luaK_reserveregs(fs, 1);
        discharge2reg(fs, e, fs->freereg - 1);
    }
}

// Puts the value of e, jumps included, into register reg.
void exp2reg(FuncState *fs, expdesc *e, int reg) {
    discharge2reg(fs, e, reg);
    if (e->k == VJMP) luaK_concat(fs, &e->t, e->u.info);
    if (hasjumps(e)) {
        int load_false = NO_JUMP, load_true = NO_JUMP;
        if (needs_value(fs, e->t) || needs_value(fs, e->f)) {
            int skip = (e->k == VJMP) ? NO_JUMP : luaK_jump(fs);
            load_false = code_loadbool(fs, reg, 0, 1);
            load_true = code_loadbool(fs, reg, 1, 0);
            luaK_patchtohere(fs, skip);
        }
        int end = luaK_getlabel(fs);
        patch_jumps(fs, e->f, end, reg, load_false);
        patch_jumps(fs, e->t, end, reg, load_true);
    }
    e->f = e->t = NO_JUMP;
    e->u.info = reg;
    e->k = VNONRELOC;
}

} // namespace

void luaK_exp2nextreg(FuncState *fs, expdesc *e) {
    luaK_dischargevars(fs, e);
    freeexp(fs, e);
    luaK_reserveregs(fs, 1);
    exp2reg(fs, e, fs->freereg - 1);
}

int luaK_exp2anyreg(FuncState *fs, expdesc *e) {
    luaK_dischargevars(fs, e);
    if (e->k == VNONRELOC) {
        if (!hasjumps(e)) return e->u.info;
        if (e->u.info >= fs->nactvar) { // a temporary: finish it in place
            exp2reg(fs, e, e->u.info);
            return e->u.info;
        }
    }
    luaK_exp2nextreg(fs, e);
    return e->u.info;
}

void luaK_exp2anyregup(FuncState *fs, expdesc *e) {
    if (e->k != VUPVAL || hasjumps(e)) luaK_exp2anyreg(fs, e);
}

void luaK_exp2val(FuncState *fs, expdesc *e) {
    if (hasjumps(e)) luaK_exp2anyreg(fs, e);
    else luaK_dischargevars(fs, e);
}

int luaK_exp2RK(FuncState *fs, expdesc *e) {
    luaK_exp2val(fs, e);
    switch (e->k) {
    case VTRUE:
    case VFALSE:
    case VNIL:
        if (fs->nk <= MAXINDEXRK) {
            e->u.info = (e->k == VNIL) ? nilK(fs) : boolK(fs, e->k == VTRUE);
            e->k = VK;
            return RKASK(e->u.info);
        }
        break;
    case VKNUM:
        e->u.info = luaK_numberK(fs, e->u.nval);
        e->k = VK;
        [[fallthrough]];
    case VK:
        if (e->u.info <= MAXINDEXRK) return RKASK(e->u.info);
        break;
    default: break;
    }
    return luaK_exp2anyreg(fs, e); // too many constants: use a register
}

void luaK_storevar(FuncState *fs, expdesc *var, expdesc *ex) {
    switch (var->k) {
    case VLOCAL:
        freeexp(fs, ex);
        exp2reg(fs, ex, var->u.info);
        return;
    case VUPVAL: {
        int e = luaK_exp2anyreg(fs, ex);
        luaK_codeABC(fs, OP_SETUPVAL, e, var->u.info, 0);
        break;
    }
    case VINDEXED: {
        OpCode op = (var->u.ind.vt == VLOCAL) ? OP_SETTABLE : OP_SETTABUP;
        int e = luaK_exp2RK(fs, ex);
        luaK_codeABC(fs, op, var->u.ind.t, var->u.ind.idx, e);
        break;
    }
    default: break; // the parser only stores into variables
    }
    freeexp(fs, ex);
}

void luaK_self(FuncState *fs, expdesc *e, expdesc *key) {
    luaK_exp2anyreg(fs, e);
    int object = e->u.info;
    freeexp(fs, e);
    e->u.info = fs->freereg; // the method, then the object as first argument
    e->k = VNONRELOC;
    luaK_reserveregs(fs, 2);
    luaK_codeABC(fs, OP_SELF, e->u.info, object, luaK_exp2RK(fs, key));
    freeexp(fs, key);
}

void luaK_indexed(FuncState *fs, expdesc *t, expdesc *k) {
    t->u.ind.t = cast_byte(t->u.info);
    t->u.ind.idx = (short)luaK_exp2RK(fs, k);
    t->u.ind.vt = (t->k == VUPVAL) ? VUPVAL : VLOCAL;
    t->k = VINDEXED;
}

// ---- Conditions ----------------------------------------------------------------

namespace {

void invertjump(FuncState *fs, expdesc *e) {
    Instruction *pc = jumpcontrol(fs, e->u.info);
    SETARG_A(*pc, !(GETARG_A(*pc)));
}

// A jump taken when e's truth equals cond.
int jumponcond(FuncState *fs, expdesc *e, int cond) {
    if (e->k == VRELOCABLE) {
        Instruction ie = getcode(fs, e);
        if (GET_OPCODE(ie) == OP_NOT) { // test the operand of the 'not' instead
            fs->pc--;
            return condjump(fs, OP_TEST, GETARG_B(ie), 0, !cond);
        }
    }
    discharge2anyreg(fs, e);
    freeexp(fs, e);
    return condjump(fs, OP_TESTSET, NO_REG, e->u.info, cond);
}

} // namespace

void luaK_goiftrue(FuncState *fs, expdesc *e) {
    int pc;
    luaK_dischargevars(fs, e);
    switch (e->k) {
    case VJMP:
        invertjump(fs, e);
        pc = e->u.info;
        break;
    case VK:
    case VKNUM:
    case VTRUE: pc = NO_JUMP; break; // always true: falls through
    default: pc = jumponcond(fs, e, 0); break;
    }
    luaK_concat(fs, &e->f, pc);
    luaK_patchtohere(fs, e->t);
    e->t = NO_JUMP;
}

void luaK_goiffalse(FuncState *fs, expdesc *e) {
    int pc;
    luaK_dischargevars(fs, e);
    switch (e->k) {
    case VJMP: pc = e->u.info; break;
    case VNIL:
    case VFALSE: pc = NO_JUMP; break; // always false: falls through
    default: pc = jumponcond(fs, e, 1); break;
    }
    luaK_concat(fs, &e->t, pc);
    luaK_patchtohere(fs, e->f);
    e->f = NO_JUMP;
}

namespace {

void codenot(FuncState *fs, expdesc *e) {
    luaK_dischargevars(fs, e);
    switch (e->k) {
    case VNIL:
    case VFALSE: e->k = VTRUE; break;
    case VK:
    case VKNUM:
    case VTRUE: e->k = VFALSE; break;
    case VJMP: invertjump(fs, e); break;
    case VRELOCABLE:
    case VNONRELOC:
        discharge2anyreg(fs, e);
        freeexp(fs, e);
        e->u.info = luaK_codeABC(fs, OP_NOT, 0, e->u.info, 0);
        e->k = VRELOCABLE;
        break;
    default: break;
    }
    int t = e->f; // the exits swap
    e->f = e->t;
    e->t = t;
    drop_values(fs, e->f);
    drop_values(fs, e->t);
}

// ---- Operators -------------------------------------------------------------

// Folds an arithmetic operation on two numeric constants into e1, with
// the same arithmetic the machine uses (a power charges its CPU now).
// Division and modulo by zero are left to run time.
bool constfolding(OpCode op, expdesc *e1, expdesc *e2) {
    if (!isnumeral(e1) || !isnumeral(e2)) return false;
    int event;
    switch (op) {
    case OP_ADD: event = LUA_OPADD; break;
    case OP_SUB: event = LUA_OPSUB; break;
    case OP_MUL: event = LUA_OPMUL; break;
    case OP_DIV: event = LUA_OPDIV; break;
    case OP_MOD: event = LUA_OPMOD; break;
    case OP_POW: event = LUA_OPPOW; break;
    case OP_UNM: event = LUA_OPUNM; break;
    default: return false; // concatenation and length are never folded
    }
    if ((op == OP_DIV || op == OP_MOD) && e2->u.nval == 0) return false;
    e1->u.nval = luaO_arith(event, e1->u.nval, e2->u.nval);
    return true;
}

void codearith(FuncState *fs, OpCode op, expdesc *e1, expdesc *e2, int line) {
    if (constfolding(op, e1, e2)) return;
    int o2 = (op != OP_UNM && op != OP_LEN) ? luaK_exp2RK(fs, e2) : 0;
    int o1 = luaK_exp2RK(fs, e1);
    if (o1 > o2) { // free the higher temporary first
        freeexp(fs, e1);
        freeexp(fs, e2);
    } else {
        freeexp(fs, e2);
        freeexp(fs, e1);
    }
    e1->u.info = luaK_codeABC(fs, op, 0, o1, o2);
    e1->k = VRELOCABLE;
    luaK_fixline(fs, line);
}

void codecomp(FuncState *fs, OpCode op, int cond, expdesc *e1, expdesc *e2) {
    int o1 = luaK_exp2RK(fs, e1);
    int o2 = luaK_exp2RK(fs, e2);
    freeexp(fs, e2);
    freeexp(fs, e1);
    if (cond == 0 && op != OP_EQ) { // a > b is b < a; a >= b is b <= a
        int t = o1;
        o1 = o2;
        o2 = t;
        cond = 1;
    }
    e1->u.info = condjump(fs, op, cond, o1, o2);
    e1->k = VJMP;
}

} // namespace

void luaK_prefix(FuncState *fs, UnOpr op, expdesc *e, int line) {
    expdesc zero;
    zero.k = VKNUM;
    zero.u.nval = 0;
    zero.t = zero.f = NO_JUMP;
    switch (op) {
    case OPR_MINUS:
        if (isnumeral(e)) {
            e->u.nval = (zorva_fixed)(0u - (uint32_t)e->u.nval); // wraps: -(-32768.0) stays
        } else {
            luaK_exp2anyreg(fs, e);
            codearith(fs, OP_UNM, e, &zero, line);
        }
        break;
    case OPR_NOT: codenot(fs, e); break;
    case OPR_LEN:
        luaK_exp2anyreg(fs, e);
        codearith(fs, OP_LEN, e, &zero, line);
        break;
    default: break;
    }
}

void luaK_infix(FuncState *fs, BinOpr op, expdesc *v) {
    switch (op) {
    case OPR_AND: luaK_goiftrue(fs, v); break;
    case OPR_OR: luaK_goiffalse(fs, v); break;
    case OPR_CONCAT: luaK_exp2nextreg(fs, v); break; // operands must be consecutive
    case OPR_ADD:
    case OPR_SUB:
    case OPR_MUL:
    case OPR_DIV:
    case OPR_MOD:
    case OPR_POW:
        if (!isnumeral(v)) luaK_exp2RK(fs, v); // numerals wait: they may fold
        break;
    default: luaK_exp2RK(fs, v); break;
    }
}

void luaK_posfix(FuncState *fs, BinOpr op, expdesc *e1, expdesc *e2, int line) {
    switch (op) {
    case OPR_AND:
        luaK_dischargevars(fs, e2);
        luaK_concat(fs, &e2->f, e1->f);
        *e1 = *e2;
        break;
    case OPR_OR:
        luaK_dischargevars(fs, e2);
        luaK_concat(fs, &e2->t, e1->t);
        *e1 = *e2;
        break;
    case OPR_CONCAT:
        luaK_exp2val(fs, e2);
        if (e2->k == VRELOCABLE && GET_OPCODE(getcode(fs, e2)) == OP_CONCAT) {
            // a .. (b .. c): widen the right operand's CONCAT down to e1
            freeexp(fs, e1);
            SETARG_B(getcode(fs, e2), e1->u.info);
            e1->k = VRELOCABLE;
            e1->u.info = e2->u.info;
        } else {
            luaK_exp2nextreg(fs, e2);
            codearith(fs, OP_CONCAT, e1, e2, line);
        }
        break;
    case OPR_ADD: codearith(fs, OP_ADD, e1, e2, line); break;
    case OPR_SUB: codearith(fs, OP_SUB, e1, e2, line); break;
    case OPR_MUL: codearith(fs, OP_MUL, e1, e2, line); break;
    case OPR_DIV: codearith(fs, OP_DIV, e1, e2, line); break;
    case OPR_MOD: codearith(fs, OP_MOD, e1, e2, line); break;
    case OPR_POW: codearith(fs, OP_POW, e1, e2, line); break;
    case OPR_EQ: codecomp(fs, OP_EQ, 1, e1, e2); break;
    case OPR_NE: codecomp(fs, OP_EQ, 0, e1, e2); break;
    case OPR_LT: codecomp(fs, OP_LT, 1, e1, e2); break;
    case OPR_LE: codecomp(fs, OP_LE, 1, e1, e2); break;
    case OPR_GT: codecomp(fs, OP_LT, 0, e1, e2); break;
    case OPR_GE: codecomp(fs, OP_LE, 0, e1, e2); break;
    default: break;
    }
}

void luaK_setlist(FuncState *fs, int base, int nelems, int tostore) {
    int block = (nelems - 1) / LFIELDS_PER_FLUSH + 1;
    int b = (tostore == LUA_MULTRET) ? 0 : tostore;
    if (block <= MAXARG_C) {
        luaK_codeABC(fs, OP_SETLIST, base, b, block);
    } else if (block <= MAXARG_Ax) {
        luaK_codeABC(fs, OP_SETLIST, base, b, 0);
        codeextraarg(fs, block);
    } else {
        luaX_syntaxerror(fs->ls, "constructor too long");
    }
    fs->freereg = cast_byte(base + 1); // the list items are stored
}
