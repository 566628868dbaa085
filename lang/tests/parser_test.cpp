// The parser: the grammar's error messages (exactly, with their "near"
// parts), the lines mapped into code tabs, the line of the last statement
// begun, the limits, and the scoping rules of goto and labels.
#include "compile_helpers.h"

namespace {

using compile_helpers::CompilerTest;

// Messages show a line L of the compiled text as find_tab_line(L - 3) + 1.
// A console-like map: merged line n (0-based) is line n - 2 of its tab, so
// that a line shows as L - 4; past merged line 999 there is no tab.
int offset_tab_line(int line, int *tab) {
    if (tab) *tab = 1;
    return line < 1000 ? line - 2 : -1;
}

// A map under which every line shows as itself.
int same_line(int line, int *tab) {
    if (tab) *tab = 0;
    return line + 2;
}

class ParserTest : public CompilerTest {
protected:
    void SetUp() override {
        CompilerTest::SetUp();
        zorva_hook_find_tab_line = same_line;
    }
};

// First in the file: each test case runs in a fresh process.
TEST_F(ParserTest, LastLineNumberStartsUnset) {
    EXPECT_EQ(zorva_last_line_number, -1);
    compile_error("x = = 1"); // fails inside its first statement
    EXPECT_EQ(zorva_last_line_number, 1);
}

TEST_F(ParserTest, LastLineNumberIsTheLastStatementBegun) {
    struct Case {
        const char *source;
        int line;
    };
    const Case cases[] = {
        {"x = 1\nif y then\n  z = (\nend", 3},
        {"x = 1\n\nfunction f()\n  local a =\nend", 4}, // inside a nested function
        {"x = 1\ny = 2\n\n  @", 4},
        {"x = 1 if\n  = 2", 1}, // the scanner stood on line 1 after 'if'
        {"x = 1\ny = 2\nz = 3 +\n\n", 3},
    };
    for (const Case &c : cases) {
        compile_error(c.source);
        EXPECT_EQ(zorva_last_line_number, c.line) << c.source;
    }
}

TEST_F(ParserTest, ErrorMessages) {
    struct Case {
        const char *source, *message;
    };
    const Case cases[] = {
        {"x = = 1", "test:1: unexpected symbol near '='"},
        {"x = 3 @", "test:1: unexpected symbol near '@'"},
        {"x = \x80", "test:1: unexpected symbol near char(128)"},
        {"a!=b", "test:1: syntax error near '!'"},
        {"x = a!=b", "test:1: unexpected symbol near '!'"},
        {"a = 1 b = 2 'x'", "test:1: unexpected symbol near ''x''"},
        {"x = 1 x", "test:1: syntax error near <eof>"},
        {"x = y z", "test:1: syntax error near <eof>"},
        {"f() = 1", "test:1: syntax error near '='"},
        {"a.b, c() = 1, 2", "test:1: syntax error near '='"},
        {"(f)() = 1", "test:1: syntax error near '='"},
        {"a, b", "test:1: '=' expected near <eof>"},
        {"x = ", "test:1: unexpected symbol near <eof>"},
        {"x = not", "test:1: unexpected symbol near <eof>"},
        {"x = #", "test:1: unexpected symbol near <eof>"},
        {"x = { 1, 2 ", "test:1: '}' expected near <eof>"},
        {"x = {[1] 2}", "test:1: '=' expected near '2'"},
        {"x = (1", "test:1: ')' expected near <eof>"},
        {"x = (1\n", "test:2: ')' expected (to close '(' at line 1) near <eof>"},
        {"f(", "test:1: unexpected symbol near <eof>"},
        {"local function 1", "test:1: <name> expected near '1'"},
        {"local function", "test:1: <name> expected near <eof>"},
        {"goto = 1", "test:1: <name> expected near '='"},
        {"local a.b = 1", "test:1: unexpected symbol near '.'"},
        {"local x <const> = 1", "test:1: unexpected symbol near '<'"},
        {"for i do end", "test:1: '=' or 'in' expected near 'do'"},
        {"for a,b = 1 do end", "test:1: 'in' expected near '='"},
        {"for i = 1 do end", "test:1: ',' expected near 'do'"},
        {"function f(1) end", "test:1: <name> or '...' expected near '1'"},
        {"function f(a, ...,b) end", "test:1: ')' expected near ','"},
        {"function a:b.c() end", "test:1: '(' expected near '.'"},
        {"a:b", "test:1: function arguments expected near <eof>"},
        {"a.b:c 'x' = 1", "test:1: syntax error near '='"},
        {"function f() x = ... end", "test:1: cannot use '...' outside a vararg function near '...'"},
        {"function f()\n local x", "test:2: 'end' expected (to close 'function' at line 1) near <eof>"},
        {"if x then", "test:1: 'end' expected near <eof>"},
        {"if x then\nelse\n", "test:3: 'end' expected (to close 'if' at line 1) near <eof>"},
        {"if x y() end", "test:1: 'then' expected near 'y'"},
        {"while x do\nend end", "test:2: <eof> expected near 'end'"},
        {"while x y() end", "test:1: 'do' expected near 'y'"},
        {"repeat x = 1", "test:1: 'until' expected near <eof>"},
        {"do\n\n", "test:3: 'end' expected (to close 'do' at line 1) near <eof>"},
        {"x = 1 return 2 y = 3", "test:1: <eof> expected near 'y'"},
        {"return 1;;", "test:1: <eof> expected near ';'"},
        {"return return", "test:1: unexpected symbol near 'return'"},
        {"x = function() end ()", "test:1: unexpected symbol near ')'"},
        {"x = {f = }", "test:1: unexpected symbol near '}'"},
        {"::a:: ::b:: ::a::", "test:1: label 'a' already defined on line 1"},
        {"::a::\ndo ::a:: end\n::a::", "test:3: label 'a' already defined on line 1"},
        {"goto l local x ::l:: print(x)", "test:1: <goto l> at line 1 jumps into the scope of local 'x'"},
        {"do\n goto l\n local x = 1\n ::l::\n print(x)\nend",
         "test:5: <goto l> at line 2 jumps into the scope of local 'x'"},
        {"break", "test:1: <break> at line 1 not inside a loop"},
        {"while true do break end\n\nbreak", "test:3: <break> at line 3 not inside a loop"},
        {"function f() while 1 do end break end", "test:1: <break> at line 1 not inside a loop"},
        {"goto foo", "test:1: no visible label 'foo' for <goto> at line 1"},
        {"x = 1\ny = 2\nif x then\n  goto nowhere\nend", "test:5: no visible label 'nowhere' for <goto> at line 4"},
        {"::l:: function f() goto l end", "test:1: no visible label 'l' for <goto> at line 1"},
        {"do ::l:: end goto l", "test:1: no visible label 'l' for <goto> at line 1"},
    };
    for (const Case &c : cases) EXPECT_EQ(compile_error(c.source), c.message) << c.source;
    // names of any length appear whole
    std::string name(300, 'n');
    EXPECT_EQ(compile_error("goto " + name + " local x ::" + name + ":: f(x)"),
              "test:1: <goto " + name + "> at line 1 jumps into the scope of local 'x'");
    // a zero byte is a token that names nothing, so there is no "near" part
    EXPECT_EQ(compile_error(std::string("x = \0", 5)), "test:1: unexpected symbol");
    EXPECT_EQ(compile_error(std::string("x = t[1\0]", 10)), "test:1: ']' expected"); // the numeral ends at it
}

TEST_F(ParserTest, AcceptsTheWholeGrammar) {
    const char *const sources[] = {
        "",
        ";;;",
        "x = 1 ;; ; y = 2",
        "local a, b, c = 1, 2 local d = ... return",
        "return;",
        "local function f() return end return f()",
        "x = ... function f(...) return ... end",
        "f{1} f'x' f[[y]] a.b.c:d(1) a[1][2] = 3",
        "t = {f()} t = {f(), nil} t = {...} t = {x = 1, [2] = 3; 4, y = {}}",
        "x,y = 1",
        "function a.b.c:d() end function e() end local function g() end",
        "if a then elseif b then elseif c then else end",
        "while a do end repeat local x until x for i = 1, 2, 3 do end for k, v in pairs(t) do end",
        "do goto l local x = 1 ::l:: end",
        "do goto l local x = 1 ::l:: ; ; end",
        "do goto l local x = 1 ::l:: ::m:: end",
        "::a:: do ::a:: end",
        "for i=1,2 do goto continue local y ::continue:: end",
        "::top:: x = x + 1 if x < 10 then goto top end",
        "while true do if x then break end end",
        "x = a and b or c x = not a == b x = -a ^ 2 x = #t .. 'x' x = a ~= b x = a >= b",
        "x = 1 + 2 * 3 ^ 4 ^ 5 .. 'a' .. 'b' < 'c' and true or nil",
        "local _ENV = {} x = 1",
        "x = function(a, b, ...) return a, b, ... end",
        "a, b.c, d[e] = f()",
    };
    for (const char *s : sources) {
        SCOPED_TRACE(s);
        EXPECT_NE(compile(s), nullptr);
    }
}

TEST_F(ParserTest, MappedLinesInMessages) {
    zorva_hook_find_tab_line = offset_tab_line;
    struct Case {
        const char *source, *message;
    };
    // The "file:line:" position is the line of the compiled text; every
    // other line is shown within its tab (here the compiled line less 4).
    const Case cases[] = {
        {"\n\n\n\n\nfunction f()\n x = 1\n", "test:8: 'end' expected (to close 'function' at line 2) near <eof>"},
        {"\n\n\n\n\n\n::a::\n::a::", "test:8: label 'a' already defined on line 3"},
        {"\n\n\n\n\n\ngoto l local x ::l:: f(x)", "test:7: <goto l> at line 3 jumps into the scope of local 'x'"},
        {"\n\n\n\n\nbreak", "test:6: <break> at line 2 not inside a loop"},
        {"\n\n\n\n\n\n\ngoto foo", "test:8: no visible label 'foo' for <goto> at line 4"},
    };
    for (const Case &c : cases) EXPECT_EQ(compile_error(c.source), c.message) << c.source;
    std::string locals;
    for (int i = 0; i < 201; i++) locals += "local a" + std::to_string(i) + " = 1\n";
    EXPECT_EQ(compile_error("\n\n\n\n\nfunction f()\n" + locals + "end"),
              "test:207: too many local variables (limit is 200) in function at line 2 near '='");
    // Beyond the last tab the map answers -1, shown as 0.
    std::string far(1100, '\n');
    EXPECT_EQ(compile_error(far + "break"), "test:1101: <break> at line 0 not inside a loop");
}

TEST_F(ParserTest, LargeLineNumbersPrintAsThemselves) {
    // Lines from 32768 on do not fit a 16.16 whole part; messages show them
    // as plain decimals.
    std::string text(40000, '\n');
    EXPECT_EQ(compile_error(text + "x = = 1"), "test:40001: unexpected symbol near '='");
    EXPECT_EQ(compile_error("do\n" + text + "x = 1"), "test:40002: 'end' expected (to close 'do' at line 1) near <eof>");
    EXPECT_EQ(compile_error(text + "goto nowhere"), "test:40001: no visible label 'nowhere' for <goto> at line 40001");
}

std::string repeat(const std::string &s, int n) {
    std::string r;
    for (int i = 0; i < n; i++) r += s;
    return r;
}

TEST_F(ParserTest, NestingLimit) {
    // A statement, its expression and each parenthesis take one level.
    EXPECT_NE(compile("x = " + repeat("(", 198) + "1" + repeat(")", 198)), nullptr);
    EXPECT_EQ(compile_error("x = " + repeat("(", 199) + "1" + repeat(")", 199)),
              "test:1: too many C levels (limit is 200) in main function near '1'");
    EXPECT_EQ(compile_error("function f()\n" + repeat("do ", 250)),
              "test:2: too many C levels (limit is 200) in function at line 1 near 'do'");
}

TEST_F(ParserTest, DeepInputEndsInErrorsNotCrashes) {
    const int n = 100000;
    struct Case {
        std::string source;
        const char *message;
    };
    const Case cases[] = {
        {"x = " + repeat("(", n), "too many C levels (limit is 200) in main function near '('"},
        {repeat("do ", n), "too many C levels (limit is 200) in main function near 'do'"},
        {"x = " + repeat("{", n), "too many C levels (limit is 200) in main function near '{'"},
        {"x = " + repeat("- ", n) + "1", "too many C levels (limit is 200) in main function near '-'"},
        {"x = " + repeat("not ", n) + "1", "too many C levels (limit is 200) in main function near 'not'"},
        {"x = " + repeat("function() return ", n), "too many C levels (limit is 200) in function at line 1 near 'return'"},
        {"x = 1" + repeat(" .. 1", n), "too many C levels (limit is 200) in main function near '1'"},
        {"x = 1" + repeat(" ^ 1", n), "too many C levels (limit is 200) in main function near '1'"},
        {repeat("if x then ", n), "too many C levels (limit is 200) in main function near 'x'"},
        {repeat("a,", n) + "a = 1", "too many C levels (limit is 200) in main function near ','"},
        {"f" + repeat("(f", n), "too many C levels (limit is 200) in main function near 'f'"},
    };
    std::string labels; // each label skips the no-op statements after it
    for (int i = 0; i < 1000; i++) labels += "::l" + std::to_string(i) + ":: ";
    EXPECT_EQ(compile_error(labels), "test:1: too many C levels (limit is 200) in main function near '::'");
    for (const Case &c : cases) {
        std::string msg = compile_error(c.source);
        EXPECT_EQ(msg, std::string("test:1: ") + c.message) << c.source.substr(0, 40);
    }
    // Left-associative chains and long sequences need no nesting at all.
    EXPECT_NE(compile("x = 1" + repeat(" + y", n)), nullptr);
    EXPECT_NE(compile("x = a" + repeat(".b", n)), nullptr);
    EXPECT_NE(compile("x = a" + repeat("[1]", n)), nullptr);
    EXPECT_NE(compile("x = f" + repeat("()", n)), nullptr);
    EXPECT_NE(compile(repeat("x = 1 ", n)), nullptr);
}

TEST_F(ParserTest, LocalVariableLimit) {
    std::string locals;
    for (int i = 0; i < 201; i++) locals += "local a" + std::to_string(i) + " = 1\n";
    EXPECT_EQ(compile_error("x = 1\nfunction f()\n" + locals + "end\n"),
              "test:203: too many local variables (limit is 200) in function at line 2 near '='");
    // 200 are fine; so are any number that are not active at once
    std::string two_hundred;
    for (int i = 0; i < 200; i++) two_hundred += "local b" + std::to_string(i) + "\n";
    EXPECT_NE(compile(two_hundred), nullptr);
    EXPECT_NE(compile(repeat("do local a, b, c end ", 1000)), nullptr);
    // a function has debug records for at most 32767 locals in all
    EXPECT_EQ(compile_error(repeat("do local a end ", 32768)),
              "test:1: too many local variables (limit is 32767) in main function near 'end'");
}

TEST_F(ParserTest, UpvalueLimit) {
    // 200 locals in the outer function and 100 in the middle one, all used
    // by the inner one: 300 upvalues.
    std::string src;
    for (int i = 0; i < 200; i++) src += "local a" + std::to_string(i) + "\n";
    src += "function g()\n";
    for (int i = 0; i < 100; i++) src += "local b" + std::to_string(i) + "\n";
    src += "function f()\n";
    for (int i = 0; i < 200; i++) src += "a" + std::to_string(i) + " = 1\n";
    for (int i = 0; i < 100; i++) src += "b" + std::to_string(i) + " = 1\n";
    src += "end end\n";
    // "function f()" is on line 302; b55 is the 256th upvalue
    EXPECT_EQ(compile_error(src), "test:558: too many upvalues (limit is 255) in function at line 302 near '='");
}

TEST_F(ParserTest, RegisterLimit) {
    std::string src = "local t = {}\nt[1] = f(";
    for (int i = 0; i < 260; i++) src += (i ? ", " : "") + std::to_string(i);
    src += ")";
    EXPECT_EQ(compile_error(src), "test:2: function or expression too complex near '248'");
}

TEST_F(ParserTest, JumpLimit) {
    // one SETTABUP per assignment; the backward jump at the end spans them
    // and the condition (4 more), at most 131071 instructions
    EXPECT_NE(compile("while x do " + repeat("y = 1 ", 131067) + "end"), nullptr);
    EXPECT_EQ(compile_error("while x do " + repeat("y = 1 ", 131068) + "end"),
              "test:1: control structure too long near 'end'");
}

TEST_F(ParserTest, GotoLimit) {
    EXPECT_NE(compile(repeat("goto l ", 32767) + "::l::"), nullptr);
    EXPECT_EQ(compile_error(repeat("goto l ", 32768) + "::l::"),
              "test:1: too many labels/gotos (limit is 32767) in main function near '::'");
}

TEST_F(ParserTest, FunctionLimitPrintsInFull) {
    // 262143 nested prototypes at most: a limit that needs more than the
    // 16 bits of a number's whole part to print.
    EXPECT_EQ(compile_error(repeat("f(function() end)", 262144)),
              "test:1: too many functions (limit is 262143) in main function near '('");
}

// An allocator that fails once its budget of allocations is spent.
struct FailingAlloc {
    long budget = -1; // -1: unlimited
    static void *alloc(void *ud, void *ptr, size_t, size_t nsize) {
        FailingAlloc *fa = static_cast<FailingAlloc *>(ud);
        if (nsize == 0) {
            std::free(ptr);
            return nullptr;
        }
        if (fa->budget == 0) return nullptr;
        if (fa->budget > 0) fa->budget--;
        return std::realloc(ptr, nsize);
    }
};

TEST(ParserMemory, OutOfMemoryEndsAsAnError) {
    const std::string source =
        "local t = {1, 2, 'three', x = {y = 'z'}}\n"
        "local function f(a, ...) local s = 0 for i = 1, #t do s = s + i end return s, ... end\n"
        "for k, v in pairs(t) do if k == 'x' then goto skip end print(k .. v) ::skip:: end\n"
        "local long = [[" + std::string(300, 'L') + "]] return f(1, long)";
    bool completed = false;
    for (long budget = 0; budget < 2000 && !completed; budget++) {
        FailingAlloc fa;
        lua_State *L = lua_newstate(FailingAlloc::alloc, &fa);
        ASSERT_NE(L, nullptr);
        fa.budget = budget;
        compile_helpers::StringSource src{source.data(), source.size(), false};
        compile_helpers::CompileJob job;
        luaZ_init(L, &job.z, compile_helpers::read_string, &src);
        luaZ_initbuffer(L, &job.buff);
        job.name = "=mem";
        int status = luaD_pcall(L, compile_helpers::compile_body, &job, savestack(L, L->top), L->errfunc);
        fa.budget = -1;
        luaZ_freebuffer(L, &job.buff);
        if (status == LUA_OK) completed = true;
        else EXPECT_EQ(status, LUA_ERRMEM) << "budget " << budget;
        lua_close(L);
    }
    EXPECT_TRUE(completed);
}

} // namespace
