// The parser: recursive descent over the Lua 5.2 grammar, one pass,
// generating code as it goes.
#include "lparser.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "lcode.h"
#include "lcompiler.h"
#include "ldo.h"
#include "lfunc.h"
#include "lgc.h"
#include "lmem.h"
#include "lopcodes.h"
#include "lstate.h"
#include "lstring.h"
#include "ltable.h"

int zorva_last_line_number = -1;

// Active locals of one function.
#define MAXVARS 200

// An open block.
struct BlockCnt {
    BlockCnt *previous;
    int firstlabel;  // index of its first label in dyd->label
    int firstgoto;   // index of its first pending goto in dyd->gt
    lu_byte nactvar; // active locals outside the block
    lu_byte upval;   // some local of the block is an upvalue
    lu_byte isloop;  // a loop: 'break' may leave it
};

namespace {

// ---- Errors and token checks -------------------------------------------------

// A number for a message, as a plain decimal (the message formatter's
// "%d" is not used: numbers pass as text through "%s").
struct Decimal {
    char text[16];
    explicit Decimal(int n) { std::snprintf(text, sizeof(text), "%d", n); }
};

// An error that names no token ("near" part left out).
[[noreturn]] void semerror(LexState *ls, const char *msg) {
    ls->t.token = 0;
    luaX_syntaxerror(ls, msg);
}

[[noreturn]] void error_expected(LexState *ls, int token) {
    luaX_syntaxerror(ls, luaO_pushfstring(ls->L, "%s expected", luaX_token2str(ls, token)));
}

void checklimit(FuncState *fs, int v, int limit, const char *what) {
    if (v > limit) luaK_errorlimit(fs, limit, what);
}

bool testnext(LexState *ls, int c) {
    if (ls->t.token != c) return false;
    luaX_next(ls);
    return true;
}

void check(LexState *ls, int c) {
    if (ls->t.token != c) error_expected(ls, c);
}

void checknext(LexState *ls, int c) {
    check(ls, c);
    luaX_next(ls);
}

void check_condition(LexState *ls, bool ok, const char *msg) {
    if (!ok) luaX_syntaxerror(ls, msg);
}

// The closing token 'what' of 'who', which opened on line 'where'.
void check_match(LexState *ls, int what, int who, int where) {
    if (testnext(ls, what)) return;
    if (where == ls->linenumber) error_expected(ls, what);
    const char *swhat = luaX_token2str(ls, what);
    const char *swho = luaX_token2str(ls, who);
    Decimal line(luaK_tabline(where));
    luaX_syntaxerror(ls, luaO_pushfstring(ls->L, "%s expected (to close %s at line %s)", swhat, swho, line.text));
}

TString *str_checkname(LexState *ls) {
    check(ls, TK_NAME);
    TString *ts = ls->t.seminfo.ts;
    luaX_next(ls);
    return ts;
}

void init_exp(expdesc *e, expkind k, int info) {
    e->f = e->t = NO_JUMP;
    e->k = k;
    e->u.info = info;
}

void codestring(LexState *ls, expdesc *e, TString *s) { init_exp(e, VK, luaK_stringK(ls->fs, s)); }

void checkname(LexState *ls, expdesc *e) { codestring(ls, e, str_checkname(ls)); }

// Nesting of statements, expressions and calls, bounded so that no text
// can exhaust the host's stack.
void enterlevel(LexState *ls) {
    lua_State *L = ls->L;
    ++L->nCcalls;
    checklimit(ls->fs, L->nCcalls, LUAI_MAXCCALLS, "C levels");
}

void leavelevel(LexState *ls) { ls->L->nCcalls--; }

// ---- Variables -----------------------------------------------------------------

int registerlocalvar(LexState *ls, TString *varname) {
    FuncState *fs = ls->fs;
    Proto *f = fs->f;
    if (fs->nlocvars >= f->sizelocvars) {
        int oldsize = f->sizelocvars;
        f->locvars = (LocVar *)luaK_growarray(fs, f->locvars, &f->sizelocvars, fs->nlocvars + 1, sizeof(LocVar),
                                              SHRT_MAX, "local variables");
        for (int i = oldsize; i < f->sizelocvars; i++) f->locvars[i].varname = nullptr;
    }
    f->locvars[fs->nlocvars].varname = varname;
    f->locvars[fs->nlocvars].startpc = 0;
    f->locvars[fs->nlocvars].endpc = 0;
    luaC_objbarrier(ls->L, f, varname);
    return fs->nlocvars++;
}

void new_localvar(LexState *ls, TString *name) {
    FuncState *fs = ls->fs;
    Dyndata *dyd = ls->dyd;
    int reg = registerlocalvar(ls, name);
    checklimit(fs, dyd->actvar.n + 1 - fs->firstlocal, MAXVARS, "local variables");
    dyd->actvar.arr = (Vardesc *)luaK_growarray(fs, dyd->actvar.arr, &dyd->actvar.size, dyd->actvar.n + 1,
                                                sizeof(Vardesc), MAX_INT, "local variables");
    dyd->actvar.arr[dyd->actvar.n++].idx = (short)reg;
}

void new_localvarliteral(LexState *ls, const char *name) {
    new_localvar(ls, luaX_newstring(ls, name, std::strlen(name)));
}

LocVar *getlocvar(FuncState *fs, int i) {
    int idx = fs->ls->dyd->actvar.arr[fs->firstlocal + i].idx;
    return &fs->f->locvars[idx];
}

void adjustlocalvars(LexState *ls, int nvars) {
    FuncState *fs = ls->fs;
    fs->nactvar = cast_byte(fs->nactvar + nvars);
    for (; nvars; nvars--) getlocvar(fs, fs->nactvar - nvars)->startpc = fs->pc;
}

void removevars(FuncState *fs, int tolevel) {
    fs->ls->dyd->actvar.n -= (fs->nactvar - tolevel);
    while (fs->nactvar > tolevel) getlocvar(fs, --fs->nactvar)->endpc = fs->pc;
}

int searchupvalue(FuncState *fs, TString *name) {
    Upvaldesc *up = fs->f->upvalues;
    for (int i = 0; i < fs->nups; i++)
        if (luaS_eqstr(up[i].name, name)) return i;
    return -1;
}

int newupvalue(FuncState *fs, TString *name, expdesc *v) {
    Proto *f = fs->f;
    checklimit(fs, fs->nups + 1, MAXUPVAL, "upvalues");
    if (fs->nups >= f->sizeupvalues) {
        int oldsize = f->sizeupvalues;
        f->upvalues = (Upvaldesc *)luaK_growarray(fs, f->upvalues, &f->sizeupvalues, fs->nups + 1,
                                                  sizeof(Upvaldesc), MAXUPVAL, "upvalues");
        for (int i = oldsize; i < f->sizeupvalues; i++) f->upvalues[i].name = nullptr;
    }
    f->upvalues[fs->nups].instack = (v->k == VLOCAL);
    f->upvalues[fs->nups].idx = cast_byte(v->u.info);
    f->upvalues[fs->nups].name = name;
    luaC_objbarrier(fs->ls->L, f, name);
    return fs->nups++;
}

int searchvar(FuncState *fs, TString *n) {
    for (int i = fs->nactvar - 1; i >= 0; i--)
        if (luaS_eqstr(n, getlocvar(fs, i)->varname)) return i;
    return -1;
}

// Marks the block that declared local 'level' as holding an upvalue.
void markupval(FuncState *fs, int level) {
    BlockCnt *bl = fs->bl;
    while (bl->nactvar > level) bl = bl->previous;
    bl->upval = 1;
}

// Finds a variable named n as a local of fs or an upvalue (made as
// needed through the enclosing functions); VVOID when it is a global.
expkind singlevaraux(FuncState *fs, TString *n, expdesc *var, bool base) {
    if (fs == nullptr) return VVOID;
    int v = searchvar(fs, n);
    if (v >= 0) {
        init_exp(var, VLOCAL, v);
        if (!base) markupval(fs, v); // used by an inner function
        return VLOCAL;
    }
    int idx = searchupvalue(fs, n);
    if (idx < 0) {
        if (singlevaraux(fs->prev, n, var, false) == VVOID) return VVOID;
        idx = newupvalue(fs, n, var);
    }
    init_exp(var, VUPVAL, idx);
    return VUPVAL;
}

void singlevar(LexState *ls, expdesc *var) {
    TString *varname = str_checkname(ls);
    FuncState *fs = ls->fs;
    if (singlevaraux(fs, varname, var, true) == VVOID) { // a global: _ENV[name]
        expdesc key;
        singlevaraux(fs, ls->envn, var, true);
        codestring(ls, &key, varname);
        luaK_indexed(fs, var, &key);
    }
}

// Adjusts nexps values (the last one e) to nvars.
void adjust_assign(LexState *ls, int nvars, int nexps, expdesc *e) {
    FuncState *fs = ls->fs;
    int extra = nvars - nexps;
    if (hasmultret(e->k)) {
        extra++; // the call or vararg itself counts
        if (extra < 0) extra = 0;
        luaK_setreturns(fs, e, extra);
        if (extra > 1) luaK_reserveregs(fs, extra - 1);
    } else {
        if (e->k != VVOID) luaK_exp2nextreg(fs, e);
        if (extra > 0) {
            int reg = fs->freereg;
            luaK_reserveregs(fs, extra);
            luaK_nil(fs, reg, extra);
        }
    }
}

// ---- Gotos and labels ----------------------------------------------------------

// Resolves pending goto gt with label (the caller removes it from the
// pending list).
void closegoto(LexState *ls, const Labeldesc *gt, const Labeldesc *label) {
    FuncState *fs = ls->fs;
    if (gt->nactvar < label->nactvar) {
        TString *vname = getlocvar(fs, gt->nactvar)->varname;
        Decimal line(luaK_tabline(gt->line));
        const char *msg = luaO_pushfstring(ls->L, "<goto %s> at line %s jumps into the scope of local '%s'",
                                           getstr(gt->name), line.text, getstr(vname));
        semerror(ls, msg);
    }
    luaK_patchlist(fs, gt->pc, label->pc);
}

// Tries to resolve pending goto gt with a label of the current block.
bool findlabel(LexState *ls, const Labeldesc *gt) {
    BlockCnt *bl = ls->fs->bl;
    Dyndata *dyd = ls->dyd;
    for (int i = bl->firstlabel; i < dyd->label.n; i++) {
        Labeldesc *lb = &dyd->label.arr[i];
        if (luaS_eqstr(lb->name, gt->name)) {
            if (gt->nactvar > lb->nactvar && (bl->upval || dyd->label.n > bl->firstlabel))
                luaK_patchclose(ls->fs, gt->pc, lb->nactvar);
            closegoto(ls, gt, lb);
            return true;
        }
    }
    return false;
}

int newlabelentry(LexState *ls, Labellist *l, TString *name, int line, int pc) {
    int n = l->n;
    l->arr = (Labeldesc *)luaK_growarray(ls->fs, l->arr, &l->size, n + 1, sizeof(Labeldesc), SHRT_MAX,
                                         "labels/gotos");
    l->arr[n].name = name;
    l->arr[n].line = line;
    l->arr[n].nactvar = ls->fs->nactvar;
    l->arr[n].pc = pc;
    l->n = n + 1;
    return n;
}

// Resolves the pending gotos of the current block that go to lb. The
// list is compacted in one pass, so that many gotos cost linear time.
void findgotos(LexState *ls, const Labeldesc *lb) {
    Labellist *gl = &ls->dyd->gt;
    int kept = ls->fs->bl->firstgoto;
    for (int i = kept; i < gl->n; i++) {
        if (luaS_eqstr(gl->arr[i].name, lb->name)) closegoto(ls, &gl->arr[i], lb);
        else gl->arr[kept++] = gl->arr[i];
    }
    gl->n = kept;
}

// The gotos still pending when block bl closes move to the enclosing
// block (leaving bl's locals, closing upvalues on the way) and may be
// resolved by its labels.
void movegotosout(FuncState *fs, BlockCnt *bl) {
    Labellist *gl = &fs->ls->dyd->gt;
    int kept = bl->firstgoto;
    for (int i = kept; i < gl->n; i++) {
        Labeldesc gt = gl->arr[i];
        if (gt.nactvar > bl->nactvar) {
            if (bl->upval) luaK_patchclose(fs, gt.pc, bl->nactvar);
            gt.nactvar = bl->nactvar;
        }
        if (!findlabel(fs->ls, &gt)) gl->arr[kept++] = gt;
    }
    gl->n = kept;
}

void enterblock(FuncState *fs, BlockCnt *bl, lu_byte isloop) {
    bl->isloop = isloop;
    bl->nactvar = fs->nactvar;
    bl->firstlabel = fs->ls->dyd->label.n;
    bl->firstgoto = fs->ls->dyd->gt.n;
    bl->upval = 0;
    bl->previous = fs->bl;
    fs->bl = bl;
}

// A loop's end: the label of its 'break' statements.
void breaklabel(LexState *ls) {
    TString *n = luaS_new(ls->L, "break"); // a reserved word: never collected
    int l = newlabelentry(ls, &ls->dyd->label, n, 0, ls->fs->pc);
    findgotos(ls, &ls->dyd->label.arr[l]);
}

[[noreturn]] void undefgoto(LexState *ls, Labeldesc *gt) {
    const char *msg;
    Decimal line(luaK_tabline(gt->line));
    if (isreserved(gt->name))
        msg = luaO_pushfstring(ls->L, "<%s> at line %s not inside a loop", getstr(gt->name), line.text);
    else
        msg = luaO_pushfstring(ls->L, "no visible label '%s' for <goto> at line %s", getstr(gt->name), line.text);
    semerror(ls, msg);
}

void leaveblock(FuncState *fs) {
    BlockCnt *bl = fs->bl;
    LexState *ls = fs->ls;
    if (bl->previous && bl->upval) { // leaving the block closes its upvalues
        int j = luaK_jump(fs);
        luaK_patchclose(fs, j, bl->nactvar);
        luaK_patchtohere(fs, j);
    }
    if (bl->isloop) breaklabel(ls);
    fs->bl = bl->previous;
    removevars(fs, bl->nactvar);
    fs->freereg = fs->nactvar;
    ls->dyd->label.n = bl->firstlabel; // its labels go out of sight
    if (bl->previous) movegotosout(fs, bl);
    else if (bl->firstgoto < ls->dyd->gt.n) undefgoto(ls, &ls->dyd->gt.arr[bl->firstgoto]);
}

// ---- Functions -------------------------------------------------------------------

Proto *addprototype(LexState *ls) {
    lua_State *L = ls->L;
    FuncState *fs = ls->fs;
    Proto *f = fs->f;
    if (fs->np >= f->sizep) {
        int oldsize = f->sizep;
        f->p = (Proto **)luaK_growarray(fs, f->p, &f->sizep, fs->np + 1, sizeof(Proto *), MAXARG_Bx, "functions");
        for (int i = oldsize; i < f->sizep; i++) f->p[i] = nullptr;
    }
    Proto *clp = luaF_newproto(L);
    f->p[fs->np++] = clp;
    luaC_objbarrier(L, f, clp);
    return clp;
}

// The closure of the function just compiled, in the enclosing function.
void codeclosure(LexState *ls, expdesc *v) {
    FuncState *fs = ls->fs->prev;
    init_exp(v, VRELOCABLE, luaK_codeABx(fs, OP_CLOSURE, 0, (unsigned int)(fs->np - 1)));
    luaK_exp2nextreg(fs, v);
}

void open_func(LexState *ls, FuncState *fs, BlockCnt *bl) {
    lua_State *L = ls->L;
    Proto *f = fs->f;
    fs->prev = ls->fs;
    fs->ls = ls;
    ls->fs = fs;
    fs->pc = 0;
    fs->lasttarget = 0;
    fs->jpc = NO_JUMP;
    fs->freereg = 0;
    fs->nk = 0;
    fs->np = 0;
    fs->nups = 0;
    fs->nlocvars = 0;
    fs->nactvar = 0;
    fs->firstlocal = ls->dyd->actvar.n;
    fs->bl = nullptr;
    f->source = ls->source;
    f->maxstacksize = 2; // registers 0 and 1 are always valid
    fs->h = luaH_new(L);
    luaD_checkstack(L, 1);
    sethvalue2s(L, L->top, fs->h); // anchors the constant cache
    L->top++;
    enterblock(fs, bl, 0);
}

// Re-anchors the current token's string, which was anchored in the cache
// of the function just closed.
void anchor_token(LexState *ls) {
    if (ls->fs != nullptr && (ls->t.token == TK_NAME || ls->t.token == TK_STRING)) {
        TString *ts = ls->t.seminfo.ts;
        luaX_newstring(ls, getstr(ts), ts->len);
    }
}

template <typename T> T *shrink(lua_State *L, T *v, int *size, int n) {
    v = (T *)luaM_reallocv(L, v, (size_t)*size, (size_t)n, sizeof(T));
    *size = n;
    return v;
}

void close_func(LexState *ls) {
    lua_State *L = ls->L;
    FuncState *fs = ls->fs;
    Proto *f = fs->f;
    luaK_ret(fs, 0, 0); // the final return
    leaveblock(fs);
    f->code = shrink(L, f->code, &f->sizecode, fs->pc);
    f->lineinfo = shrink(L, f->lineinfo, &f->sizelineinfo, fs->pc);
    f->k = shrink(L, f->k, &f->sizek, fs->nk);
    f->p = shrink(L, f->p, &f->sizep, fs->np);
    f->locvars = shrink(L, f->locvars, &f->sizelocvars, fs->nlocvars);
    f->upvalues = shrink(L, f->upvalues, &f->sizeupvalues, fs->nups);
    ls->fs = fs->prev;
    anchor_token(ls);
    L->top--; // the constant cache
    luaC_checkGC(L);
}

// ---- Grammar -----------------------------------------------------------------------

void statement(LexState *ls);
void expr(LexState *ls, expdesc *v);

// Does the current token end a block?
bool block_follow(LexState *ls, bool withuntil) {
    switch (ls->t.token) {
    case TK_ELSE:
    case TK_ELSEIF:
    case TK_END:
    case TK_EOS: return true;
    case TK_UNTIL: return withuntil;
    default: return false;
    }
}

void statlist(LexState *ls) {
    while (!block_follow(ls, true)) {
        if (ls->t.token == TK_RETURN) {
            statement(ls);
            return; // 'return' must be the last statement
        }
        statement(ls);
    }
}

// '.' NAME or ':' NAME
void fieldsel(LexState *ls, expdesc *v) {
    FuncState *fs = ls->fs;
    expdesc key;
    luaK_exp2anyregup(fs, v);
    luaX_next(ls);
    checkname(ls, &key);
    luaK_indexed(fs, v, &key);
}

// '[' expr ']'
void yindex(LexState *ls, expdesc *v) {
    luaX_next(ls);
    expr(ls, v);
    luaK_exp2val(ls->fs, v);
    checknext(ls, ']');
}

// ---- Table constructors ------------------------------------------------------------

struct ConsControl {
    expdesc v;   // last list item read
    expdesc *t;  // the table
    int nh;      // record items
    int na;      // list items
    int tostore; // list items waiting for a SETLIST
};

void recfield(LexState *ls, ConsControl *cc) {
    FuncState *fs = ls->fs;
    int reg = fs->freereg;
    expdesc key, val;
    if (ls->t.token == TK_NAME) {
        checklimit(fs, cc->nh, MAX_INT, "items in a constructor");
        checkname(ls, &key);
    } else {
        yindex(ls, &key);
    }
    cc->nh++;
    checknext(ls, '=');
    int rkkey = luaK_exp2RK(fs, &key);
    expr(ls, &val);
    luaK_codeABC(fs, OP_SETTABLE, cc->t->u.info, rkkey, luaK_exp2RK(fs, &val));
    fs->freereg = cast_byte(reg);
}

void closelistfield(FuncState *fs, ConsControl *cc) {
    if (cc->v.k == VVOID) return;
    luaK_exp2nextreg(fs, &cc->v);
    cc->v.k = VVOID;
    if (cc->tostore == LFIELDS_PER_FLUSH) {
        luaK_setlist(fs, cc->t->u.info, cc->na, cc->tostore);
        cc->tostore = 0;
    }
}

void lastlistfield(FuncState *fs, ConsControl *cc) {
    if (cc->tostore == 0) return;
    if (hasmultret(cc->v.k)) {
        luaK_setmultret(fs, &cc->v);
        luaK_setlist(fs, cc->t->u.info, cc->na, LUA_MULTRET);
        cc->na--; // the open item's count is not known here
    } else {
        if (cc->v.k != VVOID) luaK_exp2nextreg(fs, &cc->v);
        luaK_setlist(fs, cc->t->u.info, cc->na, cc->tostore);
    }
}

void listfield(LexState *ls, ConsControl *cc) {
    expr(ls, &cc->v);
    checklimit(ls->fs, cc->na, MAX_INT, "items in a constructor");
    cc->na++;
    cc->tostore++;
}

void field(LexState *ls, ConsControl *cc) {
    switch (ls->t.token) {
    case TK_NAME:
        if (luaX_lookahead(ls) != '=') listfield(ls, cc);
        else recfield(ls, cc);
        break;
    case '[': recfield(ls, cc); break;
    default: listfield(ls, cc); break;
    }
}

void constructor(LexState *ls, expdesc *t) {
    FuncState *fs = ls->fs;
    int line = ls->linenumber;
    int pc = luaK_codeABC(fs, OP_NEWTABLE, 0, 0, 0);
    ConsControl cc;
    cc.na = cc.nh = cc.tostore = 0;
    cc.t = t;
    init_exp(t, VRELOCABLE, pc);
    init_exp(&cc.v, VVOID, 0);
    luaK_exp2nextreg(ls->fs, t);
    checknext(ls, '{');
    do {
        if (ls->t.token == '}') break;
        closelistfield(fs, &cc);
        field(ls, &cc);
    } while (testnext(ls, ',') || testnext(ls, ';'));
    check_match(ls, '}', '{', line);
    lastlistfield(fs, &cc);
    SETARG_B(fs->f->code[pc], luaP_int2fb((unsigned int)cc.na));
    SETARG_C(fs->f->code[pc], luaP_int2fb((unsigned int)cc.nh));
}

// ---- Function bodies ---------------------------------------------------------------

void parlist(LexState *ls) {
    FuncState *fs = ls->fs;
    Proto *f = fs->f;
    int nparams = 0;
    f->is_vararg = 0;
    if (ls->t.token != ')') {
        do {
            switch (ls->t.token) {
            case TK_NAME:
                new_localvar(ls, str_checkname(ls));
                nparams++;
                break;
            case TK_DOTS:
                luaX_next(ls);
                f->is_vararg = 1;
                break;
            default: luaX_syntaxerror(ls, "<name> or '...' expected");
            }
        } while (!f->is_vararg && testnext(ls, ','));
    }
    adjustlocalvars(ls, nparams);
    f->numparams = cast_byte(fs->nactvar);
    luaK_reserveregs(fs, fs->nactvar);
}

void body(LexState *ls, expdesc *e, bool ismethod, int line) {
    FuncState new_fs;
    BlockCnt bl;
    new_fs.f = addprototype(ls);
    new_fs.f->linedefined = line;
    open_func(ls, &new_fs, &bl);
    checknext(ls, '(');
    if (ismethod) {
        new_localvarliteral(ls, "self");
        adjustlocalvars(ls, 1);
    }
    parlist(ls);
    checknext(ls, ')');
    statlist(ls);
    new_fs.f->lastlinedefined = ls->linenumber;
    check_match(ls, TK_END, TK_FUNCTION, line);
    codeclosure(ls, e);
    close_func(ls);
}

int explist(LexState *ls, expdesc *v) {
    int n = 1;
    expr(ls, v);
    while (testnext(ls, ',')) {
        luaK_exp2nextreg(ls->fs, v);
        expr(ls, v);
        n++;
    }
    return n;
}

void funcargs(LexState *ls, expdesc *f, int line) {
    FuncState *fs = ls->fs;
    expdesc args;
    switch (ls->t.token) {
    case '(':
        luaX_next(ls);
        if (ls->t.token == ')') {
            args.k = VVOID;
        } else {
            explist(ls, &args);
            luaK_setmultret(fs, &args);
        }
        check_match(ls, ')', '(', line);
        break;
    case '{': constructor(ls, &args); break;
    case TK_STRING:
        codestring(ls, &args, ls->t.seminfo.ts);
        luaX_next(ls);
        break;
    default: luaX_syntaxerror(ls, "function arguments expected");
    }
    int base = f->u.info; // the function's register
    int nparams;
    if (hasmultret(args.k)) {
        nparams = LUA_MULTRET; // up to the top
    } else {
        if (args.k != VVOID) luaK_exp2nextreg(fs, &args);
        nparams = fs->freereg - (base + 1);
    }
    init_exp(f, VCALL, luaK_codeABC(fs, OP_CALL, base, nparams + 1, 2));
    luaK_fixline(fs, line);
    fs->freereg = cast_byte(base + 1); // the call leaves one result by default
}

// ---- Expressions -------------------------------------------------------------------

// NAME or '(' expr ')'
void primaryexp(LexState *ls, expdesc *v) {
    switch (ls->t.token) {
    case '(': {
        int line = ls->linenumber;
        luaX_next(ls);
        expr(ls, v);
        check_match(ls, ')', '(', line);
        luaK_dischargevars(ls->fs, v);
        return;
    }
    case TK_NAME: singlevar(ls, v); return;
    default: luaX_syntaxerror(ls, "unexpected symbol");
    }
}

// primaryexp { '.' NAME | '[' exp ']' | ':' NAME funcargs | funcargs }
void suffixedexp(LexState *ls, expdesc *v) {
    FuncState *fs = ls->fs;
    int line = ls->linenumber;
    primaryexp(ls, v);
    for (;;) {
        switch (ls->t.token) {
        case '.': fieldsel(ls, v); break;
        case '[': {
            expdesc key;
            luaK_exp2anyregup(fs, v);
            yindex(ls, &key);
            luaK_indexed(fs, v, &key);
            break;
        }
        case ':': {
            expdesc key;
            luaX_next(ls);
            checkname(ls, &key);
            luaK_self(fs, v, &key);
            funcargs(ls, v, line);
            break;
        }
        case '(':
        case TK_STRING:
        case '{':
            luaK_exp2nextreg(fs, v);
            funcargs(ls, v, line);
            break;
        default: return;
        }
    }
}

void simpleexp(LexState *ls, expdesc *v) {
    switch (ls->t.token) {
    case TK_NUMBER:
        init_exp(v, VKNUM, 0);
        v->u.nval = ls->t.seminfo.r;
        break;
    case TK_STRING: codestring(ls, v, ls->t.seminfo.ts); break;
    case TK_NIL: init_exp(v, VNIL, 0); break;
    case TK_TRUE: init_exp(v, VTRUE, 0); break;
    case TK_FALSE: init_exp(v, VFALSE, 0); break;
    case TK_DOTS: {
        FuncState *fs = ls->fs;
        check_condition(ls, fs->f->is_vararg, "cannot use '...' outside a vararg function");
        init_exp(v, VVARARG, luaK_codeABC(fs, OP_VARARG, 0, 1, 0));
        break;
    }
    case '{': constructor(ls, v); return;
    case TK_FUNCTION:
        luaX_next(ls);
        body(ls, v, false, ls->linenumber);
        return;
    default: suffixedexp(ls, v); return;
    }
    luaX_next(ls);
}

UnOpr getunopr(int op) {
    switch (op) {
    case TK_NOT: return OPR_NOT;
    case '-': return OPR_MINUS;
    case '#': return OPR_LEN;
    default: return OPR_NOUNOPR;
    }
}

BinOpr getbinopr(int op) {
    switch (op) {
    case '+': return OPR_ADD;
    case '-': return OPR_SUB;
    case '*': return OPR_MUL;
    case '/': return OPR_DIV;
    case '%': return OPR_MOD;
    case '^': return OPR_POW;
    case TK_CONCAT: return OPR_CONCAT;
    case TK_NE: return OPR_NE;
    case TK_EQ: return OPR_EQ;
    case '<': return OPR_LT;
    case TK_LE: return OPR_LE;
    case '>': return OPR_GT;
    case TK_GE: return OPR_GE;
    case TK_AND: return OPR_AND;
    case TK_OR: return OPR_OR;
    default: return OPR_NOBINOPR;
    }
}

// Left and right priority of each binary operator, in BinOpr order.
const struct {
    lu_byte left;
    lu_byte right;
} priority[] = {
    {6, 6}, {6, 6}, {7, 7}, {7, 7}, {7, 7}, // + - * / %
    {10, 9}, {5, 4},                        // ^ .. (right associative)
    {3, 3}, {3, 3}, {3, 3},                 // == < <=
    {3, 3}, {3, 3}, {3, 3},                 // ~= > >=
    {2, 2}, {1, 1}                          // and or
};

#define UNARY_PRIORITY 8

// subexpr -> (simpleexp | unop subexpr) { binop subexpr }, where only
// operators binding tighter than 'limit' are taken; returns the first
// operator not taken.
BinOpr subexpr(LexState *ls, expdesc *v, int limit) {
    enterlevel(ls);
    UnOpr uop = getunopr(ls->t.token);
    if (uop != OPR_NOUNOPR) {
        int line = ls->linenumber;
        luaX_next(ls);
        subexpr(ls, v, UNARY_PRIORITY);
        luaK_prefix(ls->fs, uop, v, line);
    } else {
        simpleexp(ls, v);
    }
    BinOpr op = getbinopr(ls->t.token);
    while (op != OPR_NOBINOPR && priority[op].left > limit) {
        expdesc v2;
        int line = ls->linenumber;
        luaX_next(ls);
        luaK_infix(ls->fs, op, v);
        BinOpr nextop = subexpr(ls, &v2, priority[op].right);
        luaK_posfix(ls->fs, op, v, &v2, line);
        op = nextop;
    }
    leavelevel(ls);
    return op;
}

void expr(LexState *ls, expdesc *v) { subexpr(ls, v, 0); }

// ---- Statements ----------------------------------------------------------------------

void block(LexState *ls) {
    FuncState *fs = ls->fs;
    BlockCnt bl;
    enterblock(fs, &bl, 0);
    statlist(ls);
    leaveblock(fs);
}

// The targets of a multiple assignment, last first.
struct LHS_assign {
    LHS_assign *prev;
    expdesc v;
};

// In 'a, t[a] = ...' or 't, t.x = ...' an earlier target indexes with a
// local (or upvalue) that a later one assigns: such tables and keys are
// copied to a fresh register first, as assignments happen last to first.
void check_conflict(LexState *ls, LHS_assign *lh, expdesc *v) {
    FuncState *fs = ls->fs;
    int extra = fs->freereg;
    bool conflict = false;
    for (; lh; lh = lh->prev) {
        if (lh->v.k != VINDEXED) continue;
        if (lh->v.u.ind.vt == v->k && lh->v.u.ind.t == v->u.info) {
            conflict = true;
            lh->v.u.ind.vt = VLOCAL;
            lh->v.u.ind.t = cast_byte(extra);
        }
        if (v->k == VLOCAL && lh->v.u.ind.idx == v->u.info) {
            conflict = true;
            lh->v.u.ind.idx = (short)extra;
        }
    }
    if (conflict) {
        OpCode op = (v->k == VLOCAL) ? OP_MOVE : OP_GETUPVAL;
        luaK_codeABC(fs, op, extra, v->u.info, 0);
        luaK_reserveregs(fs, 1);
    }
}

void assignment(LexState *ls, LHS_assign *lh, int nvars) {
    expdesc e;
    check_condition(ls, vkisvar(lh->v.k), "syntax error");
    if (testnext(ls, ',')) {
        LHS_assign nv;
        nv.prev = lh;
        suffixedexp(ls, &nv.v);
        if (nv.v.k != VINDEXED) check_conflict(ls, lh, &nv.v);
        checklimit(ls->fs, nvars + ls->L->nCcalls, LUAI_MAXCCALLS, "C levels");
        assignment(ls, &nv, nvars + 1);
    } else {
        checknext(ls, '=');
        int nexps = explist(ls, &e);
        if (nexps != nvars) {
            adjust_assign(ls, nvars, nexps, &e);
            if (nexps > nvars) ls->fs->freereg = cast_byte(ls->fs->freereg - (nexps - nvars));
        } else {
            luaK_setoneret(ls->fs, &e);
            luaK_storevar(ls->fs, &lh->v, &e);
            return; // the other targets take the registers below
        }
    }
    init_exp(&e, VNONRELOC, ls->fs->freereg - 1);
    luaK_storevar(ls->fs, &lh->v, &e);
}

// A condition; returns its false exit.
int cond(LexState *ls) {
    expdesc v;
    expr(ls, &v);
    if (v.k == VNIL) v.k = VFALSE; // 'falses' are all equal here
    luaK_goiftrue(ls->fs, &v);
    return v.f;
}

void gotostat(LexState *ls, int pc) {
    int line = ls->linenumber;
    TString *label;
    if (testnext(ls, TK_GOTO)) {
        label = str_checkname(ls);
    } else {
        luaX_next(ls); // 'break'
        label = luaS_new(ls->L, "break");
    }
    int g = newlabelentry(ls, &ls->dyd->gt, label, line, pc);
    if (findlabel(ls, &ls->dyd->gt.arr[g])) ls->dyd->gt.n--; // a backward jump is resolved at once
}

void checkrepeated(FuncState *fs, Labellist *ll, TString *label) {
    for (int i = fs->bl->firstlabel; i < ll->n; i++) {
        if (luaS_eqstr(label, ll->arr[i].name)) {
            Decimal line(luaK_tabline(ll->arr[i].line));
            const char *msg = luaO_pushfstring(fs->ls->L, "label '%s' already defined on line %s", getstr(label),
                                               line.text);
            semerror(fs->ls, msg);
        }
    }
}

void skipnoopstat(LexState *ls) {
    while (ls->t.token == ';' || ls->t.token == TK_DBCOLON) statement(ls);
}

void labelstat(LexState *ls, TString *label, int line) {
    FuncState *fs = ls->fs;
    Labellist *ll = &ls->dyd->label;
    checkrepeated(fs, ll, label);
    checknext(ls, TK_DBCOLON);
    // The label's position is a jump target even before any goto reaches it
    // (a backward goto may come later), so no later LOADNIL may merge over it.
    int l = newlabelentry(ls, ll, label, line, luaK_getlabel(fs));
    skipnoopstat(ls);
    if (block_follow(ls, false)) ll->arr[l].nactvar = fs->bl->nactvar; // the block's locals end here
    findgotos(ls, &ll->arr[l]);
}

void whilestat(LexState *ls, int line) {
    FuncState *fs = ls->fs;
    BlockCnt bl;
    luaX_next(ls);
    int whileinit = luaK_getlabel(fs);
    int condexit = cond(ls);
    enterblock(fs, &bl, 1);
    checknext(ls, TK_DO);
    block(ls);
    luaK_jumpto(fs, whileinit);
    check_match(ls, TK_END, TK_WHILE, line);
    leaveblock(fs);
    luaK_patchtohere(fs, condexit);
}

void repeatstat(LexState *ls, int line) {
    FuncState *fs = ls->fs;
    int repeat_init = luaK_getlabel(fs);
    BlockCnt loop, scope;
    enterblock(fs, &loop, 1);
    enterblock(fs, &scope, 0); // the condition sees the body's locals
    luaX_next(ls);
    statlist(ls);
    check_match(ls, TK_UNTIL, TK_REPEAT, line);
    int condexit = cond(ls);
    if (scope.upval) luaK_patchclose(fs, condexit, scope.nactvar);
    leaveblock(fs);
    luaK_patchlist(fs, condexit, repeat_init);
    leaveblock(fs);
}

void exp1(LexState *ls) {
    expdesc e;
    expr(ls, &e);
    luaK_exp2nextreg(ls->fs, &e);
}

void forbody(LexState *ls, int base, int line, int nvars, bool isnum) {
    BlockCnt bl;
    FuncState *fs = ls->fs;
    adjustlocalvars(ls, 3); // the hidden control variables
    checknext(ls, TK_DO);
    int prep = isnum ? luaK_codeAsBx(fs, OP_FORPREP, base, NO_JUMP) : luaK_jump(fs);
    enterblock(fs, &bl, 0);
    adjustlocalvars(ls, nvars);
    luaK_reserveregs(fs, nvars);
    block(ls);
    leaveblock(fs);
    luaK_patchtohere(fs, prep);
    int endfor;
    if (isnum) {
        endfor = luaK_codeAsBx(fs, OP_FORLOOP, base, NO_JUMP);
    } else {
        luaK_codeABC(fs, OP_TFORCALL, base, 0, nvars);
        luaK_fixline(fs, line);
        endfor = luaK_codeAsBx(fs, OP_TFORLOOP, base + 2, NO_JUMP);
    }
    luaK_patchlist(fs, endfor, prep + 1);
    luaK_fixline(fs, line);
}

void fornum(LexState *ls, TString *varname, int line) {
    FuncState *fs = ls->fs;
    int base = fs->freereg;
    new_localvarliteral(ls, "(for index)");
    new_localvarliteral(ls, "(for limit)");
    new_localvarliteral(ls, "(for step)");
    new_localvar(ls, varname);
    checknext(ls, '=');
    exp1(ls); // initial value
    checknext(ls, ',');
    exp1(ls); // limit
    if (testnext(ls, ',')) {
        exp1(ls); // step
    } else {
        luaK_codek(fs, fs->freereg, luaK_numberK(fs, ZORVA_FIXED_ONE)); // default step 1.0
        luaK_reserveregs(fs, 1);
    }
    forbody(ls, base, line, 1, true);
}

void forlist(LexState *ls, TString *indexname) {
    FuncState *fs = ls->fs;
    expdesc e;
    int nvars = 4; // generator, state, control and the first name
    int base = fs->freereg;
    new_localvarliteral(ls, "(for generator)");
    new_localvarliteral(ls, "(for state)");
    new_localvarliteral(ls, "(for control)");
    new_localvar(ls, indexname);
    while (testnext(ls, ',')) {
        new_localvar(ls, str_checkname(ls));
        nvars++;
    }
    checknext(ls, TK_IN);
    int line = ls->linenumber;
    adjust_assign(ls, 3, explist(ls, &e), &e);
    luaK_checkstack(fs, 3); // room for the generator's call
    forbody(ls, base, line, nvars - 3, false);
}

void forstat(LexState *ls, int line) {
    FuncState *fs = ls->fs;
    BlockCnt bl;
    enterblock(fs, &bl, 1); // the loop block, with the control variables
    luaX_next(ls);
    TString *varname = str_checkname(ls);
    switch (ls->t.token) {
    case '=': fornum(ls, varname, line); break;
    case ',':
    case TK_IN: forlist(ls, varname); break;
    default: luaX_syntaxerror(ls, "'=' or 'in' expected");
    }
    check_match(ls, TK_END, TK_FOR, line);
    leaveblock(fs);
}

// [IF | ELSEIF] cond THEN block
void test_then_block(LexState *ls, int *escapelist) {
    BlockCnt bl;
    FuncState *fs = ls->fs;
    expdesc v;
    int jf; // exit when the condition is false
    luaX_next(ls);
    expr(ls, &v);
    checknext(ls, TK_THEN);
    if (ls->t.token == TK_GOTO || ls->t.token == TK_BREAK) {
        // 'if c then goto l': the condition's true exit is the goto itself
        luaK_goiffalse(ls->fs, &v);
        enterblock(fs, &bl, 0);
        gotostat(ls, v.t);
        skipnoopstat(ls);
        if (block_follow(ls, false)) {
            leaveblock(fs);
            return;
        }
        jf = luaK_jump(fs);
    } else {
        luaK_goiftrue(ls->fs, &v);
        enterblock(fs, &bl, 0);
        jf = v.f;
    }
    statlist(ls);
    leaveblock(fs);
    if (ls->t.token == TK_ELSE || ls->t.token == TK_ELSEIF) luaK_concat(fs, escapelist, luaK_jump(fs));
    luaK_patchtohere(fs, jf);
}

void ifstat(LexState *ls, int line) {
    FuncState *fs = ls->fs;
    int escapelist = NO_JUMP; // the jumps to the end of the statement
    test_then_block(ls, &escapelist);
    while (ls->t.token == TK_ELSEIF) test_then_block(ls, &escapelist);
    if (testnext(ls, TK_ELSE)) block(ls);
    check_match(ls, TK_END, TK_IF, line);
    luaK_patchtohere(fs, escapelist);
}

void localfunc(LexState *ls) {
    expdesc b;
    FuncState *fs = ls->fs;
    new_localvar(ls, str_checkname(ls));
    adjustlocalvars(ls, 1); // visible in its own body (recursion)
    body(ls, &b, false, ls->linenumber);
    getlocvar(fs, b.u.info)->startpc = fs->pc; // debug information sees it only now
}

void localstat(LexState *ls) {
    int nvars = 0;
    int nexps;
    expdesc e;
    do {
        new_localvar(ls, str_checkname(ls));
        nvars++;
    } while (testnext(ls, ','));
    if (testnext(ls, '=')) {
        nexps = explist(ls, &e);
    } else {
        e.k = VVOID;
        nexps = 0;
    }
    adjust_assign(ls, nvars, nexps, &e);
    adjustlocalvars(ls, nvars);
}

// NAME {'.' NAME} [':' NAME]; returns whether it names a method.
bool funcname(LexState *ls, expdesc *v) {
    bool ismethod = false;
    singlevar(ls, v);
    while (ls->t.token == '.') fieldsel(ls, v);
    if (ls->t.token == ':') {
        ismethod = true;
        fieldsel(ls, v);
    }
    return ismethod;
}

void funcstat(LexState *ls, int line) {
    expdesc v, b;
    luaX_next(ls);
    bool ismethod = funcname(ls, &v);
    body(ls, &b, ismethod, line);
    luaK_storevar(ls->fs, &v, &b);
    luaK_fixline(ls->fs, line); // the store belongs to the 'function' line
}

void exprstat(LexState *ls) {
    FuncState *fs = ls->fs;
    LHS_assign v;
    suffixedexp(ls, &v.v);
    if (ls->t.token == '=' || ls->t.token == ',') {
        v.prev = nullptr;
        assignment(ls, &v, 1);
    } else {
        check_condition(ls, v.v.k == VCALL, "syntax error");
        SETARG_C(getcode(fs, &v.v), 1); // a call statement keeps no result
    }
}

void retstat(LexState *ls) {
    FuncState *fs = ls->fs;
    expdesc e;
    int first, nret;
    if (block_follow(ls, true) || ls->t.token == ';') {
        first = nret = 0;
    } else {
        nret = explist(ls, &e);
        if (hasmultret(e.k)) {
            luaK_setmultret(fs, &e);
            if (e.k == VCALL && nret == 1) SET_OPCODE(getcode(fs, &e), OP_TAILCALL);
            first = fs->nactvar;
            nret = LUA_MULTRET;
        } else if (nret == 1) {
            first = luaK_exp2anyreg(fs, &e);
        } else {
            luaK_exp2nextreg(fs, &e); // the values are consecutive from nactvar
            first = fs->nactvar;
        }
    }
    luaK_ret(fs, first, nret);
    testnext(ls, ';');
}

void statement(LexState *ls) {
    int line = ls->linenumber;
    zorva_last_line_number = line;
    enterlevel(ls);
    switch (ls->t.token) {
    case ';': luaX_next(ls); break;
    case TK_IF: ifstat(ls, line); break;
    case TK_WHILE: whilestat(ls, line); break;
    case TK_DO:
        luaX_next(ls);
        block(ls);
        check_match(ls, TK_END, TK_DO, line);
        break;
    case TK_FOR: forstat(ls, line); break;
    case TK_REPEAT: repeatstat(ls, line); break;
    case TK_FUNCTION: funcstat(ls, line); break;
    case TK_LOCAL:
        luaX_next(ls);
        if (testnext(ls, TK_FUNCTION)) localfunc(ls);
        else localstat(ls);
        break;
    case TK_DBCOLON:
        luaX_next(ls);
        labelstat(ls, str_checkname(ls), line);
        break;
    case TK_RETURN:
        luaX_next(ls);
        retstat(ls);
        break;
    case TK_BREAK:
    case TK_GOTO: gotostat(ls, luaK_jump(ls->fs)); break;
    default: exprstat(ls); break;
    }
    ls->fs->freereg = ls->fs->nactvar; // statements leave no temporaries
    leavelevel(ls);
}

// The main function: variadic, with the single upvalue _ENV.
void mainfunc(LexState *ls, FuncState *fs) {
    BlockCnt bl;
    expdesc v;
    open_func(ls, fs, &bl);
    fs->f->is_vararg = 1;
    init_exp(&v, VLOCAL, 0); // refers to the loader's stack slot 0
    newupvalue(fs, ls->envn, &v);
    luaX_next(ls);
    statlist(ls);
    check(ls, TK_EOS);
    close_func(ls);
}

// Frees the parser's lists on every way out, errors included.
struct DyndataOwner {
    lua_State *L;
    Dyndata d;
    explicit DyndataOwner(lua_State *state) : L(state), d() {}
    ~DyndataOwner() {
        luaM_freearray(L, d.actvar.arr, (size_t)d.actvar.size);
        luaM_freearray(L, d.gt.arr, (size_t)d.gt.size);
        luaM_freearray(L, d.label.arr, (size_t)d.label.size);
    }
    DyndataOwner(const DyndataOwner &) = delete;
    DyndataOwner &operator=(const DyndataOwner &) = delete;
};

} // namespace

LClosure *luaY_compile(lua_State *L, ZIO *z, Mbuffer *buff, const char *name, int firstchar) {
    DyndataOwner lists(L);
    LexState lexstate;
    FuncState funcstate;
    LClosure *cl = luaF_newLclosure(L, 1);
    luaD_checkstack(L, 1);
    setclLvalue(L->top, cl); // anchors the closure (and so everything made)
    L->top++;
    funcstate.f = cl->p = luaF_newproto(L);
    luaC_objbarrier(L, cl, cl->p);
    funcstate.f->source = luaS_new(L, name);
    lexstate.buff = buff;
    lexstate.dyd = &lists.d;
    luaX_setinput(L, &lexstate, z, funcstate.f->source, firstchar);
    mainfunc(&lexstate, &funcstate);
    return cl; // also on the stack
}

// The loader's entry into the compiler.
LClosure *luaY_parser(lua_State *L, ZIO *z, Mbuffer *buff, const char *name, int firstchar) {
    return luaY_compile(L, z, buff, name, firstchar);
}
