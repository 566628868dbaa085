// The instruction set of the script virtual machine and its encoding.
//
// An instruction is one 32-bit word. The opcode sits in the low 6 bits;
// the operands above it take one of four layouts:
//
//   iABC   op:6 | A:8 | C:9 | B:9       (bits 0-5, 6-13, 14-22, 23-31)
//   iABx   op:6 | A:8 | Bx:18           (Bx unsigned, bits 14-31)
//   iAsBx  op:6 | A:8 | sBx:18          (sBx = Bx - MAXARG_sBx)
//   iAx    op:6 | Ax:26                 (bits 6-31)
//
// A B or C operand of mode OpArgK is a register-or-constant ("RK")
// operand: values up to 255 are registers, values with BITRK (256) set
// name constant number (operand - 256).
#pragma once

#include <cstdint>

#include "lobject.h"

enum OpMode { iABC, iABx, iAsBx, iAx };

#define SIZE_OP 6
#define SIZE_A 8
#define SIZE_B 9
#define SIZE_C 9
#define SIZE_Bx (SIZE_B + SIZE_C)
#define SIZE_Ax (SIZE_A + SIZE_B + SIZE_C)

#define POS_OP 0
#define POS_A (POS_OP + SIZE_OP)
#define POS_C (POS_A + SIZE_A)
#define POS_B (POS_C + SIZE_C)
#define POS_Bx POS_C
#define POS_Ax POS_A

#define MAXARG_A ((1 << SIZE_A) - 1)       // 255
#define MAXARG_B ((1 << SIZE_B) - 1)       // 511
#define MAXARG_C ((1 << SIZE_C) - 1)       // 511
#define MAXARG_Bx ((1 << SIZE_Bx) - 1)     // 262143
#define MAXARG_sBx (MAXARG_Bx >> 1)        // 131071
#define MAXARG_Ax ((1 << SIZE_Ax) - 1)     // 67108863

// Field access. The MASK1(n, p) mask has n ones starting at bit p.
#define MASK1(n, p) ((~((~(Instruction)0) << (n))) << (p))
#define MASK0(n, p) (~MASK1(n, p))

inline int zv_getfield(Instruction i, int pos, int size) { return (int)((i >> pos) & MASK1(size, 0)); }
inline void zv_setfield(Instruction *i, int v, int pos, int size) {
    *i = (*i & MASK0(size, pos)) | (((Instruction)v << pos) & MASK1(size, pos));
}

#define GET_OPCODE(i) (static_cast<OpCode>(zv_getfield((i), POS_OP, SIZE_OP)))
#define SET_OPCODE(i, o) zv_setfield(&(i), (int)(o), POS_OP, SIZE_OP)
#define GETARG_A(i) zv_getfield((i), POS_A, SIZE_A)
#define SETARG_A(i, v) zv_setfield(&(i), (v), POS_A, SIZE_A)
#define GETARG_B(i) zv_getfield((i), POS_B, SIZE_B)
#define SETARG_B(i, v) zv_setfield(&(i), (v), POS_B, SIZE_B)
#define GETARG_C(i) zv_getfield((i), POS_C, SIZE_C)
#define SETARG_C(i, v) zv_setfield(&(i), (v), POS_C, SIZE_C)
#define GETARG_Bx(i) zv_getfield((i), POS_Bx, SIZE_Bx)
#define SETARG_Bx(i, v) zv_setfield(&(i), (v), POS_Bx, SIZE_Bx)
#define GETARG_Ax(i) zv_getfield((i), POS_Ax, SIZE_Ax)
#define SETARG_Ax(i, v) zv_setfield(&(i), (v), POS_Ax, SIZE_Ax)
#define GETARG_sBx(i) (GETARG_Bx(i) - MAXARG_sBx)
#define SETARG_sBx(i, b) SETARG_Bx((i), (int)(b) + MAXARG_sBx)

#define CREATE_ABC(o, a, b, c) \
    ((((Instruction)(o)) << POS_OP) | (((Instruction)(a)) << POS_A) | (((Instruction)(b)) << POS_B) | \
     (((Instruction)(c)) << POS_C))
#define CREATE_ABx(o, a, bc) \
    ((((Instruction)(o)) << POS_OP) | (((Instruction)(a)) << POS_A) | (((Instruction)(bc)) << POS_Bx))
#define CREATE_Ax(o, a) ((((Instruction)(o)) << POS_OP) | (((Instruction)(a)) << POS_Ax))

// Register-or-constant operands.
#define BITRK (1 << (SIZE_B - 1)) // 256
#define ISK(x) ((x) & BITRK)
#define INDEXK(r) ((int)(r) & ~BITRK)
#define MAXINDEXRK (BITRK - 1)    // 255: last constant usable as an operand
#define RKASK(x) ((x) | BITRK)

// "No register" in an A field (e.g. a condition that needs no value).
#define NO_REG MAXARG_A

// R(x) is register x, Kst(x) constant x, RK(x) either, U(x) upvalue x.
enum OpCode {
    OP_MOVE,     // A B      R(A) := R(B)
    OP_LOADK,    // A Bx     R(A) := Kst(Bx)
    OP_LOADKX,   // A        R(A) := Kst(Ax of the following EXTRAARG)
    OP_LOADBOOL, // A B C    R(A) := (B != 0); if C then skip the next instruction
    OP_LOADNIL,  // A B      R(A), ..., R(A+B) := nil
    OP_GETUPVAL, // A B      R(A) := U(B)
    OP_GETTABUP, // A B C    R(A) := U(B)[RK(C)]
    OP_GETTABLE, // A B C    R(A) := R(B)[RK(C)]
    OP_SETTABUP, // A B C    U(A)[RK(B)] := RK(C)
    OP_SETUPVAL, // A B      U(B) := R(A)
    OP_SETTABLE, // A B C    R(A)[RK(B)] := RK(C)
    OP_NEWTABLE, // A B C    R(A) := {} (B: array size, C: hash size, both "floating point bytes")
    OP_SELF,     // A B C    R(A+1) := R(B); R(A) := R(B)[RK(C)]
    OP_ADD,      // A B C    R(A) := RK(B) + RK(C)
    OP_SUB,      // A B C    R(A) := RK(B) - RK(C)
    OP_MUL,      // A B C    R(A) := RK(B) * RK(C)
    OP_DIV,      // A B C    R(A) := RK(B) / RK(C)
    OP_MOD,      // A B C    R(A) := RK(B) % RK(C)
    OP_POW,      // A B C    R(A) := RK(B) ^ RK(C)
    OP_UNM,      // A B      R(A) := -R(B)
    OP_NOT,      // A B      R(A) := not R(B)
    OP_LEN,      // A B      R(A) := length of R(B)
    OP_CONCAT,   // A B C    R(A) := R(B) .. ... .. R(C)
    OP_JMP,      // A sBx    pc += sBx; if A then close upvalues >= R(A - 1)
    OP_EQ,       // A B C    if ((RK(B) == RK(C)) ~= A) then pc++
    OP_LT,       // A B C    if ((RK(B) <  RK(C)) ~= A) then pc++
    OP_LE,       // A B C    if ((RK(B) <= RK(C)) ~= A) then pc++
    OP_TEST,     // A C      if not (R(A) <=> C) then pc++
    OP_TESTSET,  // A B C    if (R(B) <=> C) then R(A) := R(B) else pc++
    OP_CALL,     // A B C    R(A), ..., R(A+C-2) := R(A)(R(A+1), ..., R(A+B-1))
    OP_TAILCALL, // A B C    return R(A)(R(A+1), ..., R(A+B-1))
    OP_RETURN,   // A B      return R(A), ..., R(A+B-2)
    OP_FORLOOP,  // A sBx    R(A) += R(A+2); if continuing { pc += sBx; R(A+3) := R(A) }
    OP_FORPREP,  // A sBx    R(A) -= R(A+2); pc += sBx
    OP_TFORCALL, // A C      R(A+3), ..., R(A+2+C) := R(A)(R(A+1), R(A+2))
    OP_TFORLOOP, // A sBx    if R(A+1) ~= nil then { R(A) := R(A+1); pc += sBx }
    OP_SETLIST,  // A B C    R(A)[(C-1)*FPF+i] := R(A+i), 1 <= i <= B
    OP_CLOSURE,  // A Bx     R(A) := closure(KPROTO[Bx])
    OP_VARARG,   // A B      R(A), R(A+1), ..., R(A+B-2) = vararg
    OP_EXTRAARG  // Ax       extra (larger) argument for the previous opcode
};

#define NUM_OPCODES ((int)OP_EXTRAARG + 1)

// Notes on operands:
// - CALL, TAILCALL, RETURN, VARARG: B = 0 means "up to the stack top" (the
//   values were left by a preceding open call or vararg); CALL C = 0 and
//   VARARG B = 0 leave their results up to the top.
// - SETLIST: B = 0 means up to the top; C = 0 means the block number is in
//   the Ax of the following EXTRAARG.
// - EQ, LT, LE, TEST and TESTSET are always followed by a JMP.
// - NEWTABLE's sizes are "floating point bytes" (luaP_fb2int).

// Kinds of B and C operands.
enum OpArgMask {
    OpArgN, // not used
    OpArgU, // used, not a register or constant
    OpArgR, // a register or a jump offset
    OpArgK  // a register or a constant
};

// Mode byte per opcode: bits 0-1 layout, 2-3 C kind, 4-5 B kind, bit 6
// sets register A, bit 7 a test (the next instruction is a jump).
extern const lu_byte luaP_opmodes[NUM_OPCODES];
extern const char *const luaP_opnames[NUM_OPCODES + 1]; // null-terminated

#define getOpMode(m) (static_cast<OpMode>(luaP_opmodes[m] & 3))
#define getBMode(m) (static_cast<OpArgMask>((luaP_opmodes[m] >> 4) & 3))
#define getCMode(m) (static_cast<OpArgMask>((luaP_opmodes[m] >> 2) & 3))
#define testAMode(m) (luaP_opmodes[m] & (1 << 6))
#define testTMode(m) (luaP_opmodes[m] & (1 << 7))

// List items a table constructor stores per SETLIST.
#define LFIELDS_PER_FLUSH 50

// "Floating point byte" size hints of NEWTABLE: eeeeexxx means
// (1xxx) * 2^(eeeee - 1), or xxx when eeeee is 0. luaP_int2fb rounds up.
int luaP_int2fb(unsigned int x);
int luaP_fb2int(int x);
