// Names and operand modes of the instruction set.
#include "lopcodes.h"

const char *const luaP_opnames[NUM_OPCODES + 1] = {
    "MOVE",     "LOADK",   "LOADKX",  "LOADBOOL", "LOADNIL", "GETUPVAL", "GETTABUP", "GETTABLE", "SETTABUP",
    "SETUPVAL", "SETTABLE", "NEWTABLE", "SELF",   "ADD",     "SUB",      "MUL",      "DIV",      "MOD",
    "POW",      "UNM",     "NOT",     "LEN",      "CONCAT",  "JMP",      "EQ",       "LT",       "LE",
    "TEST",     "TESTSET", "CALL",    "TAILCALL", "RETURN",  "FORLOOP",  "FORPREP",  "TFORCALL", "TFORLOOP",
    "SETLIST",  "CLOSURE", "VARARG",  "EXTRAARG", nullptr};

namespace {

constexpr lu_byte mode(bool test, bool seta, OpArgMask b, OpArgMask c, OpMode m) {
    return (lu_byte)(((test ? 1 : 0) << 7) | ((seta ? 1 : 0) << 6) | ((int)b << 4) | ((int)c << 2) | (int)m);
}

} // namespace

const lu_byte luaP_opmodes[NUM_OPCODES] = {
    //   test   set A  B       C
    mode(false, true, OpArgR, OpArgN, iABC),  // MOVE
    mode(false, true, OpArgK, OpArgN, iABx),  // LOADK
    mode(false, true, OpArgN, OpArgN, iABx),  // LOADKX
    mode(false, true, OpArgU, OpArgU, iABC),  // LOADBOOL
    mode(false, true, OpArgU, OpArgN, iABC),  // LOADNIL
    mode(false, true, OpArgU, OpArgN, iABC),  // GETUPVAL
    mode(false, true, OpArgU, OpArgK, iABC),  // GETTABUP
    mode(false, true, OpArgR, OpArgK, iABC),  // GETTABLE
    mode(false, false, OpArgK, OpArgK, iABC), // SETTABUP
    mode(false, false, OpArgU, OpArgN, iABC), // SETUPVAL
    mode(false, false, OpArgK, OpArgK, iABC), // SETTABLE
    mode(false, true, OpArgU, OpArgU, iABC),  // NEWTABLE
    mode(false, true, OpArgR, OpArgK, iABC),  // SELF
    mode(false, true, OpArgK, OpArgK, iABC),  // ADD
    mode(false, true, OpArgK, OpArgK, iABC),  // SUB
    mode(false, true, OpArgK, OpArgK, iABC),  // MUL
    mode(false, true, OpArgK, OpArgK, iABC),  // DIV
    mode(false, true, OpArgK, OpArgK, iABC),  // MOD
    mode(false, true, OpArgK, OpArgK, iABC),  // POW
    mode(false, true, OpArgR, OpArgN, iABC),  // UNM
    mode(false, true, OpArgR, OpArgN, iABC),  // NOT
    mode(false, true, OpArgR, OpArgN, iABC),  // LEN
    mode(false, true, OpArgR, OpArgR, iABC),  // CONCAT
    mode(false, false, OpArgR, OpArgN, iAsBx),// JMP
    mode(true, false, OpArgK, OpArgK, iABC),  // EQ
    mode(true, false, OpArgK, OpArgK, iABC),  // LT
    mode(true, false, OpArgK, OpArgK, iABC),  // LE
    mode(true, false, OpArgN, OpArgU, iABC),  // TEST
    mode(true, true, OpArgR, OpArgU, iABC),   // TESTSET
    mode(false, true, OpArgU, OpArgU, iABC),  // CALL
    mode(false, true, OpArgU, OpArgU, iABC),  // TAILCALL
    mode(false, false, OpArgU, OpArgN, iABC), // RETURN
    mode(false, true, OpArgR, OpArgN, iAsBx), // FORLOOP
    mode(false, true, OpArgR, OpArgN, iAsBx), // FORPREP
    mode(false, false, OpArgN, OpArgU, iABC), // TFORCALL
    mode(false, true, OpArgR, OpArgN, iAsBx), // TFORLOOP
    mode(false, false, OpArgU, OpArgU, iABC), // SETLIST
    mode(false, true, OpArgU, OpArgN, iABx),  // CLOSURE
    mode(false, true, OpArgU, OpArgN, iABC),  // VARARG
    mode(false, false, OpArgU, OpArgU, iAx),  // EXTRAARG
};

int luaP_fb2int(int x) {
    int e = (x >> 3) & 0x1F;
    if (e == 0) return x;
    return ((x & 7) + 8) << (e - 1);
}

// The smallest byte whose value is at least x (sizes are hints, so they
// round up).
int luaP_int2fb(unsigned int x) {
    if (x < 8) return (int)x;
    int e = 1; // value (8 + m) << (e - 1), m in 0..7
    while (e < 31 && (uint64_t)x > ((uint64_t)15 << (e - 1))) e++;
    uint64_t unit = (uint64_t)1 << (e - 1);
    uint64_t m = ((uint64_t)x + unit - 1) / unit; // 8..15
    if (m > 15) m = 15;
    return (e << 3) | (int)(m - 8);
}
