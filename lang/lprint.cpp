// Text listings of compiled prototypes.
#include "lprint.h"

#include <cstdio>

#include "lopcodes.h"

std::string luaP_constant(const Proto *f, int k) {
    if (k < 0 || k >= f->sizek) return "?";
    const TValue *o = &f->k[k];
    switch (ttypenv(o)) {
    case LUA_TNIL: return "nil";
    case LUA_TBOOLEAN: return bvalue(o) ? "true" : "false";
    case LUA_TNUMBER: {
        char buf[ZORVA_FIXED_TEXT_SIZE];
        zorva_fixed_to_string(buf, nvalue(o));
        return buf;
    }
    case LUA_TSTRING: {
        const TString *ts = rawtsvalue(o);
        std::string s = "\"";
        for (size_t i = 0; i < ts->len; i++) {
            unsigned char c = (unsigned char)getstr(ts)[i];
            if (c == '"' || c == '\\') {
                s += '\\';
                s += (char)c;
            } else if (c < 0x20 || c >= 0x7F) {
                char esc[8];
                std::snprintf(esc, sizeof(esc), "\\%d", c);
                s += esc;
            } else {
                s += (char)c;
            }
        }
        return s + "\"";
    }
    default: return "?";
    }
}

namespace {

std::string reg_or_k(const Proto *f, int x) {
    if (ISK(x)) return "K" + luaP_constant(f, INDEXK(x));
    return std::to_string(x);
}

bool is_upvalue_b(OpCode op) { return op == OP_GETUPVAL || op == OP_GETTABUP || op == OP_SETUPVAL; }

} // namespace

std::string luaP_listing(const Proto *f) {
    std::string out;
    for (int pc = 0; pc < f->sizecode; pc++) {
        Instruction i = f->code[pc];
        OpCode op = GET_OPCODE(i);
        int a = GETARG_A(i);
        std::string line = (int)op < NUM_OPCODES ? luaP_opnames[op] : "?";
        switch (getOpMode(op)) {
        case iABC:
            if (op == OP_SETTABUP) line += " U" + std::to_string(a);
            else if (op != OP_EXTRAARG) line += " " + std::to_string(a);
            if (getBMode(op) != OpArgN) {
                int b = GETARG_B(i);
                if (is_upvalue_b(op)) line += " U" + std::to_string(b);
                else if (getBMode(op) == OpArgK) line += " " + reg_or_k(f, b);
                else line += " " + std::to_string(b);
            }
            if (getCMode(op) != OpArgN) {
                int c = GETARG_C(i);
                line += " " + (getCMode(op) == OpArgK ? reg_or_k(f, c) : std::to_string(c));
            }
            break;
        case iABx:
            line += " " + std::to_string(a);
            if (op == OP_LOADK) line += " K" + luaP_constant(f, GETARG_Bx(i));
            else if (op == OP_CLOSURE) line += " F" + std::to_string(GETARG_Bx(i));
            break;
        case iAsBx: line += " " + std::to_string(a) + " ->" + std::to_string(pc + 1 + GETARG_sBx(i)); break;
        case iAx: {
            line += " " + std::to_string(GETARG_Ax(i));
            break;
        }
        }
        out += line;
        out += '\n';
    }
    return out;
}
