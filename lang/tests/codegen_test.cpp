// The code generator: instruction listings of the important constructs,
// constant folding through the fixed-point arithmetic (with its CPU
// charge), the constant pool and its operand limits, table constructors,
// loops with their hidden locals, closures and line information.
#include "compile_helpers.h"
#include "lopcodes.h"

namespace {

using compile_helpers::CompilerTest;

struct ListingCase {
    const char *source;
    const char *code;
};

class CodeGenTest : public CompilerTest {
protected:
    void check_listings(const ListingCase *cases, size_t n) {
        for (size_t i = 0; i < n; i++) EXPECT_EQ(listing(cases[i].source), cases[i].code) << cases[i].source;
    }

    // Index of the first instruction with opcode op at or after pc, or -1.
    static int find_op(const Proto *p, OpCode op, int pc = 0) {
        for (; pc < p->sizecode; pc++)
            if (GET_OPCODE(p->code[pc]) == op) return pc;
        return -1;
    }
};

int cpu_units = 0;
void count_cpu(int units) { cpu_units += units; }

TEST_F(CodeGenTest, ConstantFolding) {
    const ListingCase cases[] = {
        // division and modulo by 0 stay for run time; 32767 + 1 wraps;
        // -(-32768) is -32768 again
        {"x = 1/0 y = 5 % 0 z = 1/2 w = 32767+1 v = -(-32768) u = 2^0.5",
         "DIV 0 K1 K0\n"
         "SETTABUP U0 K\"x\" 0\n"
         "MOD 0 K5 K0\n"
         "SETTABUP U0 K\"y\" 0\n"
         "SETTABUP U0 K\"z\" K0.5\n"
         "SETTABUP U0 K\"w\" K-32768\n"
         "SETTABUP U0 K\"v\" K-32768\n"
         "SETTABUP U0 K\"u\" K1.4167\n"
         "RETURN 0 1\n"},
        {"local a = -1 - -2 local b = 2^2^3 local c = (1+2)*3 local d = 7 % -2",
         "LOADK 0 K1\n"
         "LOADK 1 K256\n"
         "LOADK 2 K9\n"
         "LOADK 3 K1\n"
         "RETURN 0 1\n"},
        // concatenation, comparison and length are never folded; minus of a
        // string is no numeral; 'not' of a constant folds
        {"local a = \"a\" .. \"b\" local b = 1 < 2 local c = #\"abc\" local d = -\"x\" local e = not 1 local f = not nil",
         "LOADK 0 K\"a\"\n"
         "LOADK 1 K\"b\"\n"
         "CONCAT 0 0 1\n"
         "LT 1 K1 K2\n"
         "JMP 0 ->6\n"
         "LOADBOOL 1 0 1\n"
         "LOADBOOL 1 1 0\n"
         "LOADK 2 K\"abc\"\n"
         "LEN 2 2\n"
         "LOADK 3 K\"x\"\n"
         "UNM 3 3\n"
         "LOADBOOL 4 0 0\n"
         "LOADBOOL 5 1 0\n"
         "RETURN 0 1\n"},
        // the numeral 0x10000 is 65536, which wraps to 0: 0/0 is not folded
        {"local a = -a local b = -(2) local c = - - 0x8000 local d = not a local e = 0x10000/0x10000",
         "GETTABUP 0 U0 K\"a\"\n"
         "UNM 0 0\n"
         "LOADK 1 K-2\n"
         "LOADK 2 K-32768\n"
         "NOT 3 0\n"
         "DIV 4 K0 K0\n"
         "RETURN 0 1\n"},
    };
    check_listings(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST_F(CodeGenTest, FoldedValuesAreTheMachinesBitForBit) {
    struct Case {
        const char *expr;
        zorva_fixed value;
    };
    const Case cases[] = {
        {"1/2", 0x8000},
        {"1/3", 0x5555},
        {"-1/3", -0x5555},
        {"32767+1", (zorva_fixed)0x80000000},
        {"0x7fff.ffff + 0x0.0001", (zorva_fixed)0x80000000},
        {"1.5 * -1.5", -0x24000},
        {"200 * 200", (zorva_fixed)(uint32_t)((200ll * 200ll) << 16)},
        {"-1 % 3", 0x20000},
        {"5.5 % -2", 0x18000},
        {"2^0.5", 0x16AAB},
        {"3^2.5", 0xFC000},
        {"2^-1", 0x8000},
        {"0^0", 0x10000},
        {"-(-32768)", (zorva_fixed)0x80000000},
        {"-1.5", -0x18000}, // the sign applies after conversion: exact
        {"0.1 + 0.2", 0x1999 + 0x3333},
    };
    for (const Case &c : cases) {
        Proto *p = compile(std::string("return ") + c.expr);
        ASSERT_NE(p, nullptr);
        // a single LOADK of the folded constant, then the returns
        ASSERT_EQ(GET_OPCODE(p->code[0]), OP_LOADK) << c.expr << "\n" << luaP_listing(p);
        const TValue *k = &p->k[GETARG_Bx(p->code[0])];
        ASSERT_TRUE(ttisnumber(k)) << c.expr;
        EXPECT_EQ(nvalue(k), c.value) << c.expr;
    }
}

TEST_F(CodeGenTest, FoldedPowerChargesCpuAtCompileTime) {
    zorva_hook_spend_cpu = count_cpu;
    struct Case {
        const char *source;
        int units;
    };
    const Case cases[] = {
        {"x = 2^0.5", 16},
        {"x = 2^3", 8},
        {"x = 2^0x0.0001", 136},
        {"x = 2^0", 0},
        {"x = a^0.5", 0},    // not folded: charged when it runs
        {"x = 2^a", 0},
        {"x = 2^0.5 + 2^0.5", 32},
        {"x = 2 * 3 / 4", 0},
    };
    for (const Case &c : cases) {
        cpu_units = 0;
        EXPECT_NE(compile(c.source), nullptr);
        EXPECT_EQ(cpu_units, c.units) << c.source;
    }
}

TEST_F(CodeGenTest, ArithmeticOperandsAndRegisters) {
    const ListingCase cases[] = {
        {"local a, b = 1, 2 local c = a + b * 2 - (a - 1) / b % 3 ^ 2",
         "LOADK 0 K1\n"
         "LOADK 1 K2\n"
         "MUL 2 1 K2\n"
         "ADD 2 0 2\n"
         "SUB 3 0 K1\n"
         "DIV 3 3 1\n"
         "MOD 3 3 K9\n"
         "SUB 2 2 3\n"
         "RETURN 0 1\n"},
    };
    check_listings(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST_F(CodeGenTest, EachConstantIsStoredOnce) {
    Proto *p = compile("x = 1 y = 1 z = 'a' w = \"a\" v = 1.0 u = 0x1 t = [[a]] s = true r = true q = nil p = nil");
    ASSERT_NE(p, nullptr);
    // x y z w v u t s r q p, then 1, "a", true, nil
    EXPECT_EQ(p->sizek, 15);
    int numbers = 0, strings_a = 0;
    for (int i = 0; i < p->sizek; i++) {
        if (ttisnumber(&p->k[i])) numbers++;
        if (ttisstring(&p->k[i]) && std::string(svalue(&p->k[i])) == "a") strings_a++;
    }
    EXPECT_EQ(numbers, 1);
    EXPECT_EQ(strings_a, 1);
    // 1 and 1.0 and 0x1 are the same constant; 0.5 and 0x.8 too
    Proto *q = compile("local a, b, c, d = 1, 0x1, 0.5, 0x.8");
    EXPECT_EQ(q->sizek, 2);
}

std::string string_list(int n) {
    std::string s;
    for (int i = 0; i < n; i++) s += (i ? ",'s" : "'s") + std::to_string(i) + "'";
    return s;
}

TEST_F(CodeGenTest, ConstantsBeyond255AreLoadedIntoRegisters) {
    // 300 string constants fill the operand range; the new ones that follow
    // cannot be RK operands.
    Proto *p = compile("local t = {" + string_list(300) + "}\nlocal x = t + 1.5\nt.y = 'new' t[true] = nil");
    ASSERT_NE(p, nullptr);
    std::string code = luaP_listing(p);
    std::string tail = code.substr(code.find("SETLIST 0 50 6\n") + 15);
    EXPECT_EQ(tail,
              "LOADK 1 K1.5\n"
              "ADD 1 0 1\n"
              "LOADK 2 K\"y\"\n"
              "LOADK 3 K\"new\"\n"
              "SETTABLE 0 2 3\n"
              "LOADBOOL 2 1 0\n"
              "LOADNIL 3 0\n"
              "SETTABLE 0 2 3\n"
              "RETURN 0 1\n");
    // the first 256 constants still serve as operands
    std::string small = listing("local t = {" + string_list(200) + "}\nt.k = 2");
    EXPECT_NE(small.find("SETTABLE 0 K\"k\" K2\n"), std::string::npos) << small;
}

TEST_F(CodeGenTest, LoadKxBeyondTheBxRange) {
    // MAXARG_Bx + 1 distinct numbers, then one more: its index needs LOADKX
    std::string src = "local t = {";
    for (int i = 1; i <= MAXARG_Bx + 2; i++) src += std::to_string(i % 32768) + "." + std::to_string(i / 32768) + ",";
    src += "}\nlocal x = 'last'";
    Proto *p = compile(src);
    ASSERT_NE(p, nullptr);
    int kx = find_op(p, OP_LOADKX);
    ASSERT_GE(kx, 0);
    EXPECT_EQ(GET_OPCODE(p->code[kx + 1]), OP_EXTRAARG);
    EXPECT_EQ(GETARG_Ax(p->code[kx + 1]), MAXARG_Bx + 1);
    // every LOADK before it uses the largest Bx at most
    int k = find_op(p, OP_LOADK);
    EXPECT_EQ(GETARG_Bx(p->code[k]), 0);
    // the string is the last constant and is loaded with LOADKX too
    int last = find_op(p, OP_LOADKX, p->sizecode - 4);
    ASSERT_GE(last, 0);
    int idx = GETARG_Ax(p->code[last + 1]);
    ASSERT_TRUE(ttisstring(&p->k[idx]));
    EXPECT_STREQ(svalue(&p->k[idx]), "last");
    EXPECT_EQ(idx, p->sizek - 1);
}

TEST_F(CodeGenTest, TableConstructors) {
    const ListingCase cases[] = {
        {"local t = {1, 2, f()}",
         "NEWTABLE 0 2 0\n"
         "LOADK 1 K1\n"
         "LOADK 2 K2\n"
         "GETTABUP 3 U0 K\"f\"\n"
         "CALL 3 1 0\n"
         "SETLIST 0 0 1\n"
         "RETURN 0 1\n"},
        {"local t = {...}",
         "NEWTABLE 0 0 0\n"
         "VARARG 1 0\n"
         "SETLIST 0 0 1\n"
         "RETURN 0 1\n"},
        {"local t = {x = 1, [2] = 3; 4, y = {}}",
         "NEWTABLE 0 1 3\n"
         "SETTABLE 0 K\"x\" K1\n"
         "SETTABLE 0 K2 K3\n"
         "LOADK 1 K4\n"
         "NEWTABLE 2 0 0\n"
         "SETTABLE 0 K\"y\" 2\n"
         "SETLIST 0 1 1\n"
         "RETURN 0 1\n"},
    };
    check_listings(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST_F(CodeGenTest, SetListEveryFiftyItems) {
    std::string items;
    for (int i = 0; i < 120; i++) items += "1,";
    Proto *p = compile("local t = {" + items + "}");
    ASSERT_NE(p, nullptr);
    std::vector<std::string> setlists;
    for (int pc = 0; pc < p->sizecode; pc++) {
        if (GET_OPCODE(p->code[pc]) != OP_SETLIST) continue;
        Instruction i = p->code[pc];
        setlists.push_back(std::to_string(GETARG_B(i)) + "@" + std::to_string(GETARG_C(i)));
        EXPECT_EQ(GETARG_A(i), 0);
    }
    EXPECT_EQ(setlists, (std::vector<std::string>{"50@1", "50@2", "20@3"}));
    // the size hint rounds up (120 -> 120 as 15 << 3)
    EXPECT_EQ(luaP_fb2int(GETARG_B(p->code[0])), 120);
    // 50 items pending when the list ends at an open call: one SETLIST of all
    std::string fifty;
    for (int i = 0; i < 50; i++) fifty += "1,";
    Proto *q = compile("local t = {" + fifty + "f()}");
    int s1 = find_op(q, OP_SETLIST);
    EXPECT_EQ(GETARG_B(q->code[s1]), 50);
    int s2 = find_op(q, OP_SETLIST, s1 + 1);
    EXPECT_EQ(GETARG_B(q->code[s2]), 0);
    EXPECT_EQ(GETARG_C(q->code[s2]), 2);
}

TEST_F(CodeGenTest, SetListBlockBeyondCGoesToExtraArg) {
    std::string items;
    for (int i = 0; i < 50 * 512 + 10; i++) items += "1,";
    Proto *p = compile("local t = {" + items + "}");
    ASSERT_NE(p, nullptr);
    int last_c = 0, extra = -1;
    for (int pc = 0; pc < p->sizecode; pc++) {
        if (GET_OPCODE(p->code[pc]) != OP_SETLIST) continue;
        int c = GETARG_C(p->code[pc]);
        if (c == 0) {
            ASSERT_EQ(GET_OPCODE(p->code[pc + 1]), OP_EXTRAARG);
            extra = GETARG_Ax(p->code[pc + 1]);
            if (extra == 512) {
                EXPECT_EQ(last_c, 511);
            }
        } else {
            last_c = c;
        }
    }
    EXPECT_EQ(last_c, 511);
    EXPECT_EQ(extra, 513);
}

TEST_F(CodeGenTest, NumericForLoops) {
    const ListingCase cases[] = {
        // an omitted step is the constant 1.0 (0x10000)
        {"for i = 1, 10 do f(i) end",
         "LOADK 0 K1\n"
         "LOADK 1 K10\n"
         "LOADK 2 K1\n"
         "FORPREP 0 ->7\n"
         "GETTABUP 4 U0 K\"f\"\n"
         "MOVE 5 3\n"
         "CALL 4 2 1\n"
         "FORLOOP 0 ->4\n"
         "RETURN 0 1\n"},
        {"for i = 10, 1, -1 do end",
         "LOADK 0 K10\n"
         "LOADK 1 K1\n"
         "LOADK 2 K-1\n"
         "FORPREP 0 ->4\n"
         "FORLOOP 0 ->4\n"
         "RETURN 0 1\n"},
    };
    check_listings(cases, sizeof(cases) / sizeof(cases[0]));
    Proto *p = compile("for i = 1, 10 do f(i) end");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(nvalue(&p->k[GETARG_Bx(p->code[2])]), 0x10000);
    // the hidden locals, active from after the initial values to the end
    ASSERT_EQ(p->sizelocvars, 4);
    const char *names[] = {"(for index)", "(for limit)", "(for step)", "i"};
    for (int i = 0; i < 4; i++) EXPECT_STREQ(getstr(p->locvars[i].varname), names[i]);
    EXPECT_EQ(p->locvars[0].startpc, 3);
    EXPECT_EQ(p->locvars[0].endpc, 8);
    EXPECT_EQ(p->locvars[3].startpc, 4);
    EXPECT_EQ(p->locvars[3].endpc, 7);
}

TEST_F(CodeGenTest, GenericForLoops) {
    const ListingCase cases[] = {
        {"for k, v in pairs(t) do f(k, v) end",
         "GETTABUP 0 U0 K\"pairs\"\n"
         "GETTABUP 1 U0 K\"t\"\n"
         "CALL 0 2 4\n"
         "JMP 0 ->8\n"
         "GETTABUP 5 U0 K\"f\"\n"
         "MOVE 6 3\n"
         "MOVE 7 4\n"
         "CALL 5 3 1\n"
         "TFORCALL 0 2\n"
         "TFORLOOP 2 ->4\n"
         "RETURN 0 1\n"},
    };
    check_listings(cases, sizeof(cases) / sizeof(cases[0]));
    Proto *p = compile("for k, v in pairs(t) do end");
    ASSERT_EQ(p->sizelocvars, 5);
    const char *names[] = {"(for generator)", "(for state)", "(for control)", "k", "v"};
    for (int i = 0; i < 5; i++) EXPECT_STREQ(getstr(p->locvars[i].varname), names[i]);
}

TEST_F(CodeGenTest, GotoAndLabels) {
    const ListingCase cases[] = {
        // a label is a jump target: the LOADNIL of c and d does not merge
        // with the one before it, so the backward goto still clears them
        {"local a local b ::l:: local c local d x = c goto l",
         "LOADNIL 0 1\n"
         "LOADNIL 2 1\n"
         "SETTABUP U0 K\"x\" 2\n"
         "JMP 3 ->1\n"
         "RETURN 0 1\n"},
        {"for i = 1, 3 do if i == 2 then goto continue end f(i) ::continue:: end",
         "LOADK 0 K1\n"
         "LOADK 1 K3\n"
         "LOADK 2 K1\n"
         "FORPREP 0 ->9\n"
         "EQ 1 3 K2\n"
         "JMP 0 ->9\n"
         "GETTABUP 4 U0 K\"f\"\n"
         "MOVE 5 3\n"
         "CALL 4 2 1\n"
         "FORLOOP 0 ->4\n"
         "RETURN 0 1\n"},
        // leaving a block whose local is captured closes it (JMP with A)
        {"do local x = 1 local function f() return x end goto done end ::done::",
         "LOADK 0 K1\n"
         "CLOSURE 1 F0\n"
         "JMP 1 ->4\n"
         "JMP 1 ->4\n"
         "RETURN 0 1\n"},
        {"if a then goto l end if b then y = 1 end ::l::",
         "GETTABUP 0 U0 K\"a\"\n"
         "TEST 0 1\n"
         "JMP 0 ->7\n"
         "GETTABUP 0 U0 K\"b\"\n"
         "TEST 0 0\n"
         "JMP 0 ->7\n"
         "SETTABUP U0 K\"y\" K1\n"
         "RETURN 0 1\n"},
        {"while x do x = x - 1 end",
         "GETTABUP 0 U0 K\"x\"\n"
         "TEST 0 0\n"
         "JMP 0 ->7\n"
         "GETTABUP 0 U0 K\"x\"\n"
         "SUB 0 0 K1\n"
         "SETTABUP U0 K\"x\" 0\n"
         "JMP 0 ->0\n"
         "RETURN 0 1\n"},
        {"repeat local y = x until y",
         "GETTABUP 0 U0 K\"x\"\n"
         "TEST 0 0\n"
         "JMP 0 ->0\n"
         "RETURN 0 1\n"},
    };
    check_listings(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST_F(CodeGenTest, ClosuresAndUpvalues) {
    Proto *p = compile("local u = 1 function g() u = u + 1 return function() return u end end");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(luaP_listing(p),
              "LOADK 0 K1\n"
              "CLOSURE 1 F0\n"
              "SETTABUP U0 K\"g\" 1\n"
              "RETURN 0 1\n");
    ASSERT_EQ(p->sizep, 1);
    Proto *g = p->p[0];
    EXPECT_EQ(luaP_listing(g),
              "GETUPVAL 0 U0\n"
              "ADD 0 0 K1\n"
              "SETUPVAL 0 U0\n"
              "CLOSURE 0 F0\n"
              "RETURN 0 2\n"
              "RETURN 0 1\n");
    // g's upvalue is the enclosing function's register 0
    ASSERT_EQ(g->sizeupvalues, 1);
    EXPECT_STREQ(getstr(g->upvalues[0].name), "u");
    EXPECT_EQ(g->upvalues[0].instack, 1);
    EXPECT_EQ(g->upvalues[0].idx, 0);
    // the innermost function reaches it through g's upvalue 0
    Proto *h = g->p[0];
    ASSERT_EQ(h->sizeupvalues, 1);
    EXPECT_EQ(h->upvalues[0].instack, 0);
    EXPECT_EQ(h->upvalues[0].idx, 0);
    EXPECT_EQ(g->linedefined, 1);
    // globals inside a function go through its own _ENV upvalue
    Proto *q = compile("local a function f() return a, b end");
    Proto *f = q->p[0];
    ASSERT_EQ(f->sizeupvalues, 2);
    EXPECT_STREQ(getstr(f->upvalues[0].name), "a");
    EXPECT_STREQ(getstr(f->upvalues[1].name), "_ENV");
    EXPECT_EQ(f->upvalues[1].instack, 0); // main's upvalue 0
    EXPECT_EQ(f->upvalues[1].idx, 0);
}

TEST_F(CodeGenTest, MainFunction) {
    Proto *p = compile("return ...");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->is_vararg, 1);
    EXPECT_EQ(p->numparams, 0);
    EXPECT_EQ(p->linedefined, 0);
    ASSERT_EQ(p->sizeupvalues, 1);
    EXPECT_STREQ(getstr(p->upvalues[0].name), "_ENV");
    EXPECT_EQ(p->upvalues[0].instack, 1);
    EXPECT_EQ(p->upvalues[0].idx, 0);
    EXPECT_STREQ(getstr(p->source), "=test");
    EXPECT_EQ(luaP_listing(p), "VARARG 0 0\nRETURN 0 0\nRETURN 0 1\n");
    // the loader's closure has its upvalue made (nil until the loader sets it)
    LClosure *cl = clLvalue(L->top - 1);
    EXPECT_EQ(cl->nupvalues, 1);
    EXPECT_NE(cl->upvals[0], nullptr);
}

TEST_F(CodeGenTest, CallsMethodsAndVarargs) {
    const ListingCase cases[] = {
        {"obj:method(1, 2) obj.field:m \"s\"",
         "GETTABUP 0 U0 K\"obj\"\n"
         "SELF 0 0 K\"method\"\n"
         "LOADK 2 K1\n"
         "LOADK 3 K2\n"
         "CALL 0 4 1\n"
         "GETTABUP 0 U0 K\"obj\"\n"
         "GETTABLE 0 0 K\"field\"\n"
         "SELF 0 0 K\"m\"\n"
         "LOADK 2 K\"s\"\n"
         "CALL 0 3 1\n"
         "RETURN 0 1\n"},
        {"return f(1)",
         "GETTABUP 0 U0 K\"f\"\n"
         "LOADK 1 K1\n"
         "TAILCALL 0 2 0\n"
         "RETURN 0 0\n"
         "RETURN 0 1\n"},
        {"return a, b, f()",
         "GETTABUP 0 U0 K\"a\"\n"
         "GETTABUP 1 U0 K\"b\"\n"
         "GETTABUP 2 U0 K\"f\"\n"
         "CALL 2 1 0\n"
         "RETURN 0 0\n"
         "RETURN 0 1\n"},
        {"local a, b, c = ...",
         "VARARG 0 4\n"
         "RETURN 0 1\n"},
        {"f(...) local x = ...",
         "GETTABUP 0 U0 K\"f\"\n"
         "VARARG 1 0\n"
         "CALL 0 0 1\n"
         "VARARG 0 2\n"
         "RETURN 0 1\n"},
    };
    check_listings(cases, sizeof(cases) / sizeof(cases[0]));
    Proto *p = compile("local function f(a, ...) local t = {...} return select('#', ...), ... end");
    ASSERT_NE(p, nullptr);
    Proto *f = p->p[0];
    EXPECT_EQ(f->numparams, 1);
    EXPECT_EQ(f->is_vararg, 1);
    EXPECT_EQ(luaP_listing(f),
              "NEWTABLE 1 0 0\n"
              "VARARG 2 0\n"
              "SETLIST 1 0 1\n"
              "GETTABUP 2 U0 K\"select\"\n"
              "LOADK 3 K\"#\"\n"
              "VARARG 4 0\n"
              "CALL 2 0 2\n"
              "VARARG 3 0\n"
              "RETURN 2 0\n"
              "RETURN 0 1\n");
    Proto *m = compile("local t = {} function t:m(x) return self end")->p[0];
    EXPECT_EQ(m->numparams, 2);
    EXPECT_STREQ(getstr(m->locvars[0].varname), "self");
    EXPECT_EQ(m->is_vararg, 0);
}

TEST_F(CodeGenTest, MultipleAssignment) {
    const ListingCase cases[] = {
        {"a, b = b, a",
         "GETTABUP 0 U0 K\"b\"\n"
         "GETTABUP 1 U0 K\"a\"\n"
         "SETTABUP U0 K\"b\" 1\n"
         "SETTABUP U0 K\"a\" 0\n"
         "RETURN 0 1\n"},
        // a[i] uses the old i: it is copied before i is assigned
        {"local a = {} local i = 1 a[i], i = 20, i + 1",
         "NEWTABLE 0 0 0\n"
         "LOADK 1 K1\n"
         "MOVE 2 1\n"
         "LOADK 3 K20\n"
         "ADD 1 1 K1\n"
         "SETTABLE 0 2 3\n"
         "RETURN 0 1\n"},
        {"local t = {} t.x, t = 1, 2",
         "NEWTABLE 0 0 0\n"
         "MOVE 1 0\n"
         "LOADK 2 K1\n"
         "LOADK 0 K2\n"
         "SETTABLE 1 K\"x\" 2\n"
         "RETURN 0 1\n"},
        // missing values are nil, extra ones are evaluated and dropped
        {"local a, b, c = 1 x, y = 1, 2, f()",
         "LOADK 0 K1\n"
         "LOADNIL 1 1\n"
         "LOADK 3 K1\n"
         "LOADK 4 K2\n"
         "GETTABUP 5 U0 K\"f\"\n"
         "CALL 5 1 1\n"
         "SETTABUP U0 K\"y\" 4\n"
         "SETTABUP U0 K\"x\" 3\n"
         "RETURN 0 1\n"},
        {"local a, b, c = f()",
         "GETTABUP 0 U0 K\"f\"\n"
         "CALL 0 1 4\n"
         "RETURN 0 1\n"},
    };
    check_listings(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST_F(CodeGenTest, AndOrJumps) {
    const ListingCase cases[] = {
        {"local x = a and b or c",
         "GETTABUP 0 U0 K\"a\"\n"
         "TEST 0 0\n"
         "JMP 0 ->6\n"
         "GETTABUP 0 U0 K\"b\"\n"
         "TEST 0 1\n"
         "JMP 0 ->7\n"
         "GETTABUP 0 U0 K\"c\"\n"
         "RETURN 0 1\n"},
        {"if not (a and b) then f() end",
         "GETTABUP 0 U0 K\"a\"\n"
         "TEST 0 0\n"
         "JMP 0 ->6\n"
         "GETTABUP 0 U0 K\"b\"\n"
         "TEST 0 1\n"
         "JMP 0 ->8\n"
         "GETTABUP 0 U0 K\"f\"\n"
         "CALL 0 1 1\n"
         "RETURN 0 1\n"},
        // a TESTSET copies the value that decides
        {"local a, b, c, d x = a > b and c or d",
         "LOADNIL 0 3\n"
         "LT 0 1 0\n"
         "JMP 0 ->5\n"
         "TESTSET 4 2 1\n"
         "JMP 0 ->6\n"
         "MOVE 4 3\n"
         "SETTABUP U0 K\"x\" 4\n"
         "RETURN 0 1\n"},
        // a true constant before 'and', a false one before 'or' need no test
        {"local x = 1 and f() local y = nil or f()",
         "GETTABUP 0 U0 K\"f\"\n"
         "CALL 0 1 2\n"
         "GETTABUP 1 U0 K\"f\"\n"
         "CALL 1 1 2\n"
         "RETURN 0 1\n"},
    };
    check_listings(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST_F(CodeGenTest, LineInformation) {
    Proto *p = compile("local a, b = 1, 2\nlocal c = a\n+\nb\nfunction\nf() end\nreturn c");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(luaP_listing(p),
              "LOADK 0 K1\n"
              "LOADK 1 K2\n"
              "ADD 2 0 1\n"
              "CLOSURE 3 F0\n"
              "SETTABUP U0 K\"f\" 3\n"
              "RETURN 2 2\n"
              "RETURN 0 1\n");
    ASSERT_EQ(p->sizelineinfo, p->sizecode);
    const int lines[] = {1, 1, 3, 6, 5, 7, 7};
    for (int i = 0; i < 7; i++) EXPECT_EQ(p->lineinfo[i], lines[i]) << "pc " << i;
    EXPECT_EQ(p->p[0]->linedefined, 5);
    EXPECT_EQ(p->p[0]->lastlinedefined, 6);
    // a call takes the line where its expression began
    Proto *q = compile("f(\n1,\n2)");
    EXPECT_EQ(q->lineinfo[find_op(q, OP_CALL)], 1);
}

TEST_F(CodeGenTest, CompilesWhileTheCollectorRuns) {
    // Everything the compiler makes (strings, prototypes, constant caches)
    // must stay reachable while it works: compile with the collector
    // running all the time and compare with a quiet compile.
    std::string src;
    for (int i = 0; i < 60; i++) {
        std::string n = std::to_string(i);
        src += "local function f" + n + "(a, ...) local s = 'str" + n + "' .. a\n";
        src += "  local t = {name = 'n" + n + "', [[long " + n + "]], sub = function() return s, f" + n + " end}\n";
        src += "  for k, v in pairs(t) do if k == 'x" + n + "' then goto done end end ::done::\n";
        src += "  return t, ...\nend\n";
    }
    auto full_listing = [](const Proto *p) {
        std::string out;
        std::vector<const Proto *> todo{p};
        while (!todo.empty()) {
            const Proto *f = todo.back();
            todo.pop_back();
            out += luaP_listing(f) + "--\n";
            for (int i = 0; i < f->sizep; i++) todo.push_back(f->p[i]);
        }
        return out;
    };
    Proto *quiet = compile(src);
    ASSERT_NE(quiet, nullptr);
    std::string expected = full_listing(quiet);
    for (int mode : {LUA_GCINC, LUA_GCGEN}) {
        lua_gc(L, mode, 0);
        lua_gc(L, LUA_GCSETPAUSE, 0);
        lua_gc(L, LUA_GCSETSTEPMUL, 100000);
        Proto *busy = compile(src);
        ASSERT_NE(busy, nullptr);
        EXPECT_EQ(full_listing(busy), expected);
        lua_gc(L, LUA_GCCOLLECT, 0);
        EXPECT_EQ(full_listing(busy), expected);
    }
}

} // namespace
