// Loading precompiled chunks.
//
// A chunk comes from outside and may be cut short or forged, so the loader
// trusts nothing in it: every count is checked before it is used, arrays
// grow only as their entries actually arrive (a forged count cannot make
// the loader reserve more than twice what the input holds), every string
// is read the same way, nesting is bounded, and each function's code is
// checked against its own sizes before the function is accepted, so that
// the virtual machine never reads a register, constant, upvalue, nested
// function or instruction that does not exist. Every failure is a syntax
// error "<chunk>: <why> precompiled chunk".
#include <cstring>

#include "lcompiler.h"
#include "ldebug.h"
#include "ldo.h"
#include "lfunc.h"
#include "lgc.h"
#include "lmem.h"
#include "lopcodes.h"
#include "lstring.h"

namespace {

// Arrays and strings grow in steps of at most this many entries or bytes
// beyond what has arrived.
constexpr int first_step = 256;
constexpr size_t string_step = 64 * 1024;

struct LoadState {
    lua_State *L;
    ZIO *Z;
    Mbuffer *b;
    const char *name;
    int depth;
};

[[noreturn]] void error(LoadState *S, const char *why) {
    luaO_pushfstring(S->L, "%s: %s precompiled chunk", S->name, why);
    luaD_throw(S->L, LUA_ERRSYNTAX);
}

void load_block(LoadState *S, void *into, size_t n) {
    if (n > 0 && luaZ_read(S->Z, into, n) != 0) error(S, "truncated");
}

lu_byte load_byte(LoadState *S) {
    lu_byte c;
    load_block(S, &c, 1);
    return c;
}

uint32_t decode32(const lu_byte *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

int32_t load_int32(LoadState *S) {
    lu_byte b[4];
    load_block(S, b, 4);
    return (int32_t)decode32(b);
}

// A count or line: never negative.
int load_count(LoadState *S) {
    int32_t n = load_int32(S);
    if (n < 0) error(S, "corrupted");
    return n;
}

size_t load_size(LoadState *S) {
    lu_byte b[sizeof(size_t)];
    load_block(S, b, sizeof b);
    size_t v = 0;
    for (size_t i = sizeof b; i-- > 0;) v = (v << 8) | b[i];
    return v;
}

// A string field; null for the missing string (size 0). The bytes are
// gathered in the token buffer as they arrive.
TString *load_string(LoadState *S) {
    size_t size = load_size(S);
    if (size == 0) return nullptr;
    if (size >= MAX_SIZET / 2) error(S, "corrupted");
    size_t have = 0;
    while (have < size) {
        size_t room = luaZ_sizebuffer(S->b);
        if (room < size) {
            size_t grown = room < string_step ? string_step : room * 2;
            if (grown > size) grown = size;
            luaZ_resizebuffer(S->L, S->b, grown);
            room = grown;
        }
        size_t piece = (room < size ? room : size) - have;
        load_block(S, luaZ_buffer(S->b) + have, piece);
        have += piece;
    }
    // The last byte is the string's terminating zero.
    return luaS_newlstr(S->L, luaZ_buffer(S->b), size - 1);
}

// The next length for an array that has size entries and will have n.
int next_size(int size, int n) {
    int64_t grown = size == 0 ? first_step : (int64_t)size * 2;
    return grown >= n ? n : (int)grown;
}

void load_code(LoadState *S, Proto *f) {
    int n = load_count(S);
    while (f->sizecode < n) {
        int old = f->sizecode, size = next_size(old, n);
        luaM_reallocvector(S->L, f->code, old, size, Instruction);
        f->sizecode = size;
        load_block(S, f->code + old, sizeof(Instruction) * (size_t)(size - old));
        for (int i = old; i < size; i++) f->code[i] = decode32(reinterpret_cast<lu_byte *>(f->code + i));
    }
}

void load_function(LoadState *S, Proto *f);

void load_constants(LoadState *S, Proto *f) {
    lua_State *L = S->L;
    int n = load_count(S);
    for (int i = 0; i < n; i++) {
        if (i == f->sizek) {
            int size = next_size(f->sizek, n);
            luaM_reallocvector(L, f->k, f->sizek, size, TValue);
            for (int j = f->sizek; j < size; j++) setnilvalue(&f->k[j]);
            f->sizek = size;
        }
        TValue *o = &f->k[i];
        switch (load_byte(S)) {
        case LUA_TNIL: setnilvalue(o); break;
        case LUA_TBOOLEAN: {
            lu_byte b = load_byte(S);
            if (b > 1) error(S, "corrupted");
            setbvalue(o, b);
            break;
        }
        case LUA_TNUMBER: setnvalue(o, load_int32(S)); break;
        case LUA_TSTRING: {
            TString *s = load_string(S);
            if (s == nullptr) error(S, "corrupted"); // a constant string must be there
            setsvalue(L, o, s);
            luaC_objbarrier(L, f, s);
            break;
        }
        default: error(S, "corrupted");
        }
    }
    n = load_count(S);
    for (int i = 0; i < n; i++) {
        if (i == f->sizep) {
            int size = next_size(f->sizep, n);
            luaM_reallocvector(L, f->p, f->sizep, size, Proto *);
            for (int j = f->sizep; j < size; j++) f->p[j] = nullptr;
            f->sizep = size;
        }
        f->p[i] = luaF_newproto(L);
        luaC_objbarrier(L, f, f->p[i]);
        load_function(S, f->p[i]);
    }
}

void load_upvalues(LoadState *S, Proto *f) {
    int n = load_count(S);
    if (n > MAXUPVAL) error(S, "corrupted"); // a closure holds at most 255
    f->upvalues = luaM_newvector(S->L, n, Upvaldesc);
    for (int i = 0; i < n; i++) f->upvalues[i].name = nullptr;
    f->sizeupvalues = n;
    for (int i = 0; i < n; i++) {
        lu_byte instack = load_byte(S);
        if (instack > 1) error(S, "corrupted");
        f->upvalues[i].instack = instack;
        f->upvalues[i].idx = load_byte(S);
    }
}

void load_debug(LoadState *S, Proto *f) {
    lua_State *L = S->L;
    f->source = load_string(S);
    if (f->source) luaC_objbarrier(L, f, f->source);
    // Lines: none (a stripped chunk) or one per instruction.
    int n = load_count(S);
    if (n != 0 && n != f->sizecode) error(S, "corrupted");
    while (f->sizelineinfo < n) {
        int old = f->sizelineinfo, size = next_size(old, n);
        luaM_reallocvector(L, f->lineinfo, old, size, int);
        for (int i = old; i < size; i++) f->lineinfo[i] = 0;
        f->sizelineinfo = size;
        for (int i = old; i < size; i++) f->lineinfo[i] = load_count(S);
    }
    n = load_count(S);
    for (int i = 0; i < n; i++) {
        if (i == f->sizelocvars) {
            int size = next_size(f->sizelocvars, n);
            luaM_reallocvector(L, f->locvars, f->sizelocvars, size, LocVar);
            for (int j = f->sizelocvars; j < size; j++) f->locvars[j] = LocVar{nullptr, 0, 0};
            f->sizelocvars = size;
        }
        TString *name = load_string(S);
        if (name == nullptr) error(S, "corrupted"); // the debug interface shows every local's name
        f->locvars[i].varname = name;
        luaC_objbarrier(L, f, name);
        f->locvars[i].startpc = load_count(S);
        f->locvars[i].endpc = load_count(S);
    }
    n = load_count(S);
    if (n > f->sizeupvalues) error(S, "corrupted");
    for (int i = 0; i < n; i++) {
        TString *name = load_string(S);
        f->upvalues[i].name = name;
        if (name) luaC_objbarrier(L, f, name);
    }
}

// ---- Checking a function's code --------------------------------------------

struct CodeCheck {
    const Proto *f;
    bool ok = true;

    // n registers from r exist in the frame.
    void regs(int r, int n) {
        if (r < 0 || n < 0 || r + n > f->maxstacksize) ok = false;
    }
    void reg(int r) { regs(r, 1); }
    void rk(int x) {
        if (ISK(x)) {
            if (INDEXK(x) >= f->sizek) ok = false;
        } else {
            reg(x);
        }
    }
    void upvalue(int u) {
        if (u >= f->sizeupvalues) ok = false;
    }
    void target(int pc) {
        if (pc < 0 || pc >= f->sizecode) ok = false;
    }
    OpCode op_at(int pc) const { return GET_OPCODE(f->code[pc]); }
    // The instruction at pc is a jump.
    void jump_at(int pc) {
        if (pc >= f->sizecode || op_at(pc) != OP_JMP) ok = false;
    }
    // The instruction at pc is an EXTRAARG; returns its argument.
    int extra_at(int pc) {
        if (pc >= f->sizecode || op_at(pc) != OP_EXTRAARG) {
            ok = false;
            return 0;
        }
        return GETARG_Ax(f->code[pc]);
    }
};

// Instructions that leave their results up to the stack top, and those
// that take their operands up to it.
bool opens_top(Instruction i) {
    OpCode op = GET_OPCODE(i);
    return (op == OP_CALL && GETARG_C(i) == 0) || (op == OP_VARARG && GETARG_B(i) == 0) || op == OP_TAILCALL;
}
bool uses_top(Instruction i) {
    OpCode op = GET_OPCODE(i);
    return (op == OP_CALL || op == OP_TAILCALL || op == OP_RETURN || op == OP_SETLIST) && GETARG_B(i) == 0;
}
// The values an instruction that uses the top takes start at register
// first_taken; the instruction that opened the top must have put its
// first result at or above it.
int first_taken(Instruction i) { return GETARG_A(i) + (GET_OPCODE(i) == OP_RETURN ? 0 : 1); }

bool fb_fits(int x) { return ((x >> 3) & 0x1F) <= 28; } // luaP_fb2int stays within an int

// What the virtual machine relies on, for every instruction: its operands
// exist, the jumps and skips land on instructions, control never runs off
// the end, tests are followed by their jump, the instructions that need an
// EXTRAARG have one, and values left up to the top are taken by the very
// next instruction (which is the only one that takes them).
bool code_is_sound(const Proto *f) {
    CodeCheck c{f};
    if (f->numparams > f->maxstacksize || f->is_vararg > 1 || f->sizecode < 1) return false;
    for (int pc = 0; pc < f->sizecode && c.ok; pc++) {
        Instruction i = f->code[pc];
        if (GET_OPCODE(i) >= NUM_OPCODES) return false;
        OpCode op = GET_OPCODE(i);
        int a = GETARG_A(i), b = GETARG_B(i), k = GETARG_C(i);
        int next = pc + 1; // where control goes on; -1 when it never does
        switch (op) {
        case OP_MOVE: c.reg(a), c.reg(b); break;
        case OP_LOADK:
            c.reg(a);
            if (GETARG_Bx(i) >= f->sizek) c.ok = false;
            break;
        case OP_LOADKX:
            c.reg(a);
            if (c.extra_at(pc + 1) >= f->sizek) c.ok = false;
            next = pc + 2;
            break;
        case OP_LOADBOOL:
            c.reg(a);
            if (k) next = pc + 2;
            break;
        case OP_LOADNIL: c.regs(a, b + 1); break;
        case OP_GETUPVAL: c.reg(a), c.upvalue(b); break;
        case OP_GETTABUP: c.reg(a), c.upvalue(b), c.rk(k); break;
        case OP_GETTABLE: c.reg(a), c.reg(b), c.rk(k); break;
        case OP_SETTABUP: c.upvalue(a), c.rk(b), c.rk(k); break;
        case OP_SETUPVAL: c.reg(a), c.upvalue(b); break;
        case OP_SETTABLE: c.reg(a), c.rk(b), c.rk(k); break;
        case OP_NEWTABLE:
            c.reg(a);
            if (!fb_fits(b) || !fb_fits(k)) c.ok = false;
            break;
        case OP_SELF: c.regs(a, 2), c.reg(b), c.rk(k); break;
        case OP_ADD:
        case OP_SUB:
        case OP_MUL:
        case OP_DIV:
        case OP_MOD:
        case OP_POW: c.reg(a), c.rk(b), c.rk(k); break;
        case OP_UNM:
        case OP_NOT:
        case OP_LEN: c.reg(a), c.reg(b); break;
        case OP_CONCAT:
            c.reg(a), c.reg(k);
            if (b >= k) c.ok = false; // at least two operands
            break;
        case OP_JMP:
            if (a > f->maxstacksize) c.ok = false; // upvalues closed from R(A - 1)
            c.target(pc + 1 + GETARG_sBx(i));
            next = -1;
            break;
        case OP_EQ:
        case OP_LT:
        case OP_LE:
            c.rk(b), c.rk(k);
            c.jump_at(pc + 1);
            next = pc + 2; // the skip; the jump is checked on its own
            break;
        case OP_TEST:
            c.reg(a);
            c.jump_at(pc + 1);
            next = pc + 2;
            break;
        case OP_TESTSET:
            c.reg(a), c.reg(b);
            c.jump_at(pc + 1);
            next = pc + 2;
            break;
        case OP_CALL:
        case OP_TAILCALL:
            c.reg(a);
            if (b != 0) c.regs(a, b); // the function and b - 1 arguments
            if (op == OP_CALL && k >= 2) c.regs(a, k - 1);
            break;
        case OP_RETURN:
            if (b >= 2) c.regs(a, b - 1);
            else if (a > f->maxstacksize) c.ok = false;
            next = -1;
            break;
        case OP_FORLOOP:
            c.regs(a, 4);
            c.target(pc + 1 + GETARG_sBx(i));
            break;
        case OP_FORPREP:
            c.regs(a, 4);
            c.target(pc + 1 + GETARG_sBx(i));     // the loop test
            c.target(pc + 1 + GETARG_sBx(i) + 1); // past the loop, when it never runs
            break;
        case OP_TFORCALL:
            c.regs(a, 6); // the generator copied to R(A+3) .. R(A+5) for the call
            c.regs(a + 3, k);
            break;
        case OP_TFORLOOP:
            c.regs(a, 2);
            c.target(pc + 1 + GETARG_sBx(i));
            break;
        case OP_SETLIST:
            c.reg(a);
            if (b != 0) c.regs(a, b + 1);
            if (k == 0) {
                int block = c.extra_at(pc + 1);
                if (block < 1 || block > (MAX_INT - 512) / LFIELDS_PER_FLUSH) c.ok = false;
                next = pc + 2;
            }
            break;
        case OP_CLOSURE:
            c.reg(a);
            if (GETARG_Bx(i) >= f->sizep) c.ok = false;
            break;
        case OP_VARARG:
            if (!f->is_vararg) return false;
            if (b >= 2) c.regs(a, b - 1);
            else c.reg(a);
            break;
        case OP_EXTRAARG: break;
        }
        if (opens_top(i) && (pc + 1 >= f->sizecode || !uses_top(f->code[pc + 1]) ||
                             first_taken(f->code[pc + 1]) > GETARG_A(i)))
            return false;
        if (uses_top(i) && (pc == 0 || !opens_top(f->code[pc - 1]))) return false;
        if (next >= 0) c.target(next);
    }
    if (!c.ok) return false;
    // The upvalues of each nested function come from this one's registers
    // or upvalues.
    for (int n = 0; n < f->sizep; n++) {
        const Proto *p = f->p[n];
        for (int u = 0; u < p->sizeupvalues; u++) {
            const Upvaldesc &d = p->upvalues[u];
            if (d.instack ? d.idx >= f->maxstacksize : d.idx >= f->sizeupvalues) return false;
        }
    }
    return true;
}

void load_function(LoadState *S, Proto *f) {
    if (++S->depth > LUAI_MAXCCALLS) error(S, "corrupted"); // deeper than any compiler output
    f->linedefined = load_count(S);
    f->lastlinedefined = load_count(S);
    f->numparams = load_byte(S);
    f->is_vararg = load_byte(S);
    f->maxstacksize = load_byte(S);
    load_code(S, f);
    load_constants(S, f);
    load_upvalues(S, f);
    load_debug(S, f);
    if (!code_is_sound(f)) error(S, "corrupted");
    S->depth--;
}

void load_header(LoadState *S) {
    lu_byte expected[LUAC_HEADERSIZE], got[LUAC_HEADERSIZE];
    luaU_header(expected);
    got[0] = expected[0]; // the escape, already read
    size_t missing = luaZ_read(S->Z, got + 1, LUAC_HEADERSIZE - 1);
    size_t have = LUAC_HEADERSIZE - missing;
    // The first difference among the bytes that arrived names the problem.
    for (size_t i = 0; i < have; i++) {
        if (got[i] == expected[i]) continue;
        if (i < 4) error(S, "not a");
        if (i < 6) error(S, "version mismatch in");
        if (i < 12) error(S, "incompatible");
        error(S, "corrupted");
    }
    if (missing) error(S, "truncated");
}

} // namespace

void luaU_header(lu_byte *h) {
    std::memcpy(h, LUA_SIGNATURE, 4);
    h[4] = 0x52; // version
    h[5] = 0;    // the official format
    h[6] = 1;    // little-endian
    h[7] = 4;    // sizeof(int) in chunks
    h[8] = (lu_byte)sizeof(size_t);
    h[9] = (lu_byte)sizeof(Instruction);
    h[10] = (lu_byte)sizeof(lua_Number);
    h[11] = 1; // numbers are integral (16.16 bit patterns)
    std::memcpy(h + 12, "\x19\x93\r\n\x1a\n", 6);
}

LClosure *luaU_undump(lua_State *L, ZIO *Z, Mbuffer *buff, const char *name) {
    LoadState S;
    if (*name == '@' || *name == '=') S.name = name + 1;
    else if (*name == LUA_SIGNATURE[0]) S.name = "binary string";
    else S.name = name;
    S.L = L;
    S.Z = Z;
    S.b = buff;
    S.depth = 0;
    load_header(&S);
    // The prototype sits on the stack while it is loaded; its closure,
    // with one slot per upvalue, takes its place at the end.
    Proto *f = luaF_newproto(L);
    setptvalue2s(L, L->top, f);
    incr_top(L);
    load_function(&S, f);
    LClosure *cl = luaF_newLclosure(L, f->sizeupvalues);
    cl->p = f;
    setclLvalue(L, L->top - 1, cl);
    luaC_objbarrier(L, cl, f);
    return cl;
}
