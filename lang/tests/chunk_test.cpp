// Precompiled chunks: functions written out and loaded back behave the same
// and write out the same bytes again; the header and the field layout;
// chunks cut short, with a foreign header, or forged, are refused with a
// syntax error and never reach the virtual machine.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "base_script.h"
#include "lcompiler.h"
#include "lobject.h"
#include "lopcodes.h"
#include "lstate.h"

namespace {

int string_writer(lua_State *, const void *p, size_t n, void *ud) {
    static_cast<std::string *>(ud)->append(static_cast<const char *>(p), n);
    return 0;
}

// The function on the stack top as a chunk (stripped of debug information
// when asked).
std::string dump_top(lua_State *L, bool strip = false) {
    std::string out;
    if (strip) {
        const TValue *o = L->top - 1;
        EXPECT_TRUE(ttisLclosure(o));
        EXPECT_EQ(luaU_dump(L, clLvalue(o)->p, string_writer, &out, 1), 0);
    } else {
        EXPECT_EQ(lua_dump(L, string_writer, &out), 0);
    }
    return out;
}

// Compiles source and returns its chunk.
std::string chunk_of(const std::string &source, bool strip = false) {
    TestState s;
    EXPECT_EQ(zorva_load_source(s.L, source.data(), source.size(), "=chunk"), LUA_OK) << source;
    return dump_top(s.L, strip);
}

// Loads bytes; returns the status and leaves the message in *msg.
int load_chunk(lua_State *L, const std::string &bytes, std::string *msg = nullptr, const char *name = "=chunk",
               const char *mode = nullptr) {
    int status = luaL_loadbufferx(L, bytes.data(), bytes.size(), name, mode);
    if (status != LUA_OK && msg) *msg = lua_tostring(L, -1);
    return status;
}

std::string load_error(const std::string &bytes, const char *name = "=chunk") {
    TestState s;
    std::string msg;
    EXPECT_EQ(load_chunk(s.L, bytes, &msg, name), LUA_ERRSYNTAX);
    return msg;
}

// ---- Chunks put together field by field --------------------------------

struct Bytes {
    std::string s;
    Bytes &byte(int v) {
        s += char(v);
        return *this;
    }
    Bytes &i32(uint32_t v) {
        for (int i = 0; i < 4; i++) s += char((v >> (8 * i)) & 0xFF);
        return *this;
    }
    Bytes &size(uint64_t v) {
        for (size_t i = 0; i < sizeof(size_t); i++) s += char((v >> (8 * i)) & 0xFF);
        return *this;
    }
    Bytes &str(const std::optional<std::string> &t) {
        if (!t) return size(0);
        size(t->size() + 1);
        s += *t;
        s += '\0';
        return *this;
    }
};

struct Constant {
    int type;          // LUA_TNIL, LUA_TBOOLEAN, LUA_TNUMBER, LUA_TSTRING, or anything
    uint32_t value;    // boolean or number
    std::optional<std::string> text;
};

struct LocalVar {
    std::optional<std::string> name;
    int32_t start, end;
};

struct Fn {
    int32_t line = 0, last = 0;
    int params = 0, vararg = 1, stack = 2;
    std::vector<Instruction> code;
    std::vector<Constant> k;
    std::vector<Fn> p;
    std::vector<std::pair<int, int>> upvalues{{1, 0}};
    std::optional<std::string> source = std::string("=forged");
    std::vector<int32_t> lines;
    std::vector<LocalVar> locals;
    std::vector<std::optional<std::string>> upvalue_names;
    // Counts written in place of the real ones, when set.
    std::optional<int32_t> code_count, k_count, line_count;
};

std::string header() {
    lu_byte h[LUAC_HEADERSIZE];
    luaU_header(h);
    return std::string(reinterpret_cast<char *>(h), sizeof h);
}

void put(Bytes &b, const Fn &f) {
    b.i32(uint32_t(f.line)).i32(uint32_t(f.last)).byte(f.params).byte(f.vararg).byte(f.stack);
    b.i32(uint32_t(f.code_count.value_or(int32_t(f.code.size()))));
    for (Instruction i : f.code) b.i32(i);
    b.i32(uint32_t(f.k_count.value_or(int32_t(f.k.size()))));
    for (const Constant &c : f.k) {
        b.byte(c.type);
        if (c.type == LUA_TBOOLEAN) b.byte(int(c.value));
        else if (c.type == LUA_TNUMBER) b.i32(c.value);
        else if (c.type == LUA_TSTRING) b.str(c.text);
    }
    b.i32(uint32_t(f.p.size()));
    for (const Fn &n : f.p) put(b, n);
    b.i32(uint32_t(f.upvalues.size()));
    for (auto [instack, idx] : f.upvalues) b.byte(instack).byte(idx);
    b.str(f.source);
    b.i32(uint32_t(f.line_count.value_or(int32_t(f.lines.size()))));
    for (int32_t l : f.lines) b.i32(uint32_t(l));
    b.i32(uint32_t(f.locals.size()));
    for (const LocalVar &v : f.locals) b.str(v.name).i32(uint32_t(v.start)).i32(uint32_t(v.end));
    b.i32(uint32_t(f.upvalue_names.size()));
    for (const auto &n : f.upvalue_names) b.str(n);
}

std::string chunk(const Fn &f) {
    Bytes b;
    b.s = header();
    put(b, f);
    return b.s;
}

Instruction ABC(OpCode o, int a, int b, int c) { return CREATE_ABC(o, a, b, c); }
Instruction ABx(OpCode o, int a, int bx) { return CREATE_ABx(o, a, bx); }
Instruction AsBx(OpCode o, int a, int sbx) { return CREATE_ABx(o, a, sbx + MAXARG_sBx); }
Instruction Ax(OpCode o, int ax) { return CREATE_Ax(o, ax); }

Constant number(zorva_fixed v) { return Constant{LUA_TNUMBER, uint32_t(v), std::nullopt}; }
Constant text(const std::string &t) { return Constant{LUA_TSTRING, 0, t}; }

// return k[0]
Fn returns_constant(Constant k) {
    Fn f;
    f.code = {ABx(OP_LOADK, 0, 0), ABC(OP_RETURN, 0, 2, 0), ABC(OP_RETURN, 0, 1, 0)};
    f.k = {k};
    return f;
}

// Runs the function on the top with no arguments; returns its results as
// text (numbers in their 16.16 form) or "error: " and the message.
std::string call_top(lua_State *L) {
    int base = lua_gettop(L) - 1;
    if (lua_pcall(L, 0, LUA_MULTRET, 0) != LUA_OK) {
        std::string m = std::string("error: ") + lua_tostring(L, -1);
        lua_settop(L, base);
        return m;
    }
    std::string r;
    for (int i = base + 1; i <= lua_gettop(L); i++) r += (r.empty() ? "" : " ") + zorva_testlib::text_of(L, i);
    lua_settop(L, base);
    return r;
}

// ---------------------------------------------------------------------------

std::vector<std::string> programs() {
    return {
    // Upvalues shared between closures, and closures made in a loop.
    "local function counter(start)\n"
    "  local n = start\n"
    "  return function(step) n = n + (step or 1) return n end, function() return n end\n"
    "end\n"
    "local inc, get = counter(10)\n"
    "inc() inc(5)\n"
    "out(inc(), inc(0.5), get())\n"
    "local fs = {}\n"
    "for i = 1, 3 do fs[i] = function() return i * 10 end end\n"
    "out(fs[1](), fs[2](), fs[3]())",
    // Nested functions three deep and recursion.
    "local function outer(a)\n"
    "  local function middle(b)\n"
    "    local function inner(c) return a + b + c end\n"
    "    return inner(3)\n"
    "  end\n"
    "  return middle(2)\n"
    "end\n"
    "local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end\n"
    "out(outer(1), fib(15))",
    // Numbers as the console keeps them.
    "out(0x7fff.ffff, -32768, 1 / 3, 0.0001, 3.14159, 0x0.0001, -0.5, 32767 + 1, 2 ^ 0.5)",
    // Long strings, strings with zero bytes, every byte value.
    std::string("local long = [[") + std::string(300, 'x') + "]]\n"
    "local z = 'a\\0b\\0c'\n"
    "local all = ''\n"
    "for i = 0, 255, 17 do all = all .. sub('\\0\\17\\34\\51\\68\\85\\102\\119\\136\\153\\170\\187\\204\\221\\238\\255', i / 17 + 1, i / 17 + 1) end\n"
    "out(#long, #z, z == 'a\\0b\\0c', #all, long == string_x)",
    // Varargs, open calls, table constructors past one SETLIST block.
    std::string("local function pack(...) return {...} end\n"
                "local function three() return 1, 2, 3 end\n"
                "local t = pack(three())\n"
                "local big = {") +
        [] {
            std::string s;
            for (int i = 1; i <= 120; i++) s += std::to_string(i) + ",";
            return s;
        }() +
        " three()}\n"
        "local n = 0 for _, v in pairs(big) do n = n + v end\n"
        "out(#t, #big, n, select('#', three()), select(2, three()))",
    // Loops of every kind, goto, conditions.
    "local s = 0\n"
    "for i = 10, 1, -3 do s = s + i end\n"
    "local j = 0 while j < 5 do j = j + 1 end\n"
    "repeat j = j - 2 until j < 0\n"
    "for k = 1, 3 do if k == 2 then goto continue end s = s + k ::continue:: end\n"
    "out(s, j, 1 < 2 and 'yes' or 'no', not nil, 3 ~= 3)",
    // Metatables, methods, coroutines.
    "local V = {}\n"
    "V.__index = V\n"
    "V.__add = function(a, b) return setmetatable({x = a.x + b.x}, V) end\n"
    "function V:get() return self.x end\n"
    "local a = setmetatable({x = 1.25}, V)\n"
    "local co = cocreate(function(p) local q = yield(p + 1) return q * 2 end)\n"
    "local _, r1 = coresume(co, 5)\n"
    "local _, r2 = coresume(co, 7)\n"
    "out((a + a):get(), r1, r2, costatus(co))",
    // More constants than an operand can name.
    [] {
        std::string s = "local t = 0\n";
        for (int i = 0; i < 300; i++) s += "t = t + " + std::to_string(i) + ".5\n";
        s += "out(t, 'k299', 299.5)";
        return s;
    }(),
    };
}

TEST(Chunks, DumpedFunctionsLoadAndBehaveTheSame) {
    for (const std::string &source : programs()) {
        SCOPED_TRACE(source.substr(0, 60));
        BaseState text_state;
        lua_pushstring(text_state.L, std::string(300, 'x').c_str());
        lua_setglobal(text_state.L, "string_x");
        lua_register(text_state.L, "sub", str_sub);
        std::string expected = text_state.run(source);
        EXPECT_EQ(expected.find("error"), std::string::npos) << expected;

        std::string bytes = chunk_of(source);
        for (bool strip : {false, true}) {
            BaseState s;
            lua_pushstring(s.L, std::string(300, 'x').c_str());
            lua_setglobal(s.L, "string_x");
            lua_register(s.L, "sub", str_sub);
            std::string b = strip ? chunk_of(source, true) : bytes;
            EXPECT_EQ(s.run(b), expected) << "strip " << strip;
            // Loaded and written out again: the same bytes.
            ASSERT_EQ(load_chunk(s.L, b), LUA_OK);
            EXPECT_TRUE(dump_top(s.L, strip) == b);
        }
    }
}

// Whatever the compiler makes passes the loader's checks: the scripts of
// the tests, benchmarks and fuzz seeds, written out, loaded and written out
// again.
TEST(Chunks, EveryCompiledScriptLoadsBack) {
    namespace fs = std::filesystem;
    int scripts = 0;
    for (const char *dir : {"lang/tests/scripts", "bench/scripts", "fuzz/corpus/script_compiler"}) {
        for (const auto &entry : fs::directory_iterator(fs::path(ZORVA_SOURCE_DIR) / dir)) {
            if (entry.path().extension() != ".lua") continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            TestState s;
            if (zorva_load_source(s.L, source.data(), source.size(), "=script") != LUA_OK) continue;
            for (bool strip : {false, true}) {
                std::string bytes = dump_top(s.L, strip);
                std::string msg;
                ASSERT_EQ(load_chunk(s.L, bytes, &msg), LUA_OK) << entry.path() << ": " << msg;
                EXPECT_TRUE(dump_top(s.L, strip) == bytes) << entry.path();
                lua_pop(s.L, 1);
            }
            scripts++;
        }
    }
    EXPECT_GT(scripts, 5);
}

TEST(Chunks, NumbersKeepTheirBitPatterns) {
    const zorva_fixed values[] = {0, 1, -1, 0x7FFFFFFF, int32_t(0x80000000), 0x10000, 0x5555, -0x28000};
    for (zorva_fixed v : values) {
        TestState s;
        ASSERT_EQ(load_chunk(s.L, chunk(returns_constant(number(v)))), LUA_OK);
        ASSERT_EQ(lua_pcall(s.L, 0, 1, 0), LUA_OK);
        EXPECT_EQ(lua_tonumber(s.L, -1), v);
    }
    // Folded and written constants come back as the same raw words.
    TestState s;
    ASSERT_EQ(zorva_load_source(s.L, "return 1/3, -0x0.0001, 0x7fff.ffff", "=c"), LUA_OK);
    std::string bytes = dump_top(s.L);
    lua_settop(s.L, 0);
    ASSERT_EQ(load_chunk(s.L, bytes), LUA_OK);
    ASSERT_EQ(lua_pcall(s.L, 0, 3, 0), LUA_OK);
    EXPECT_EQ(lua_tonumber(s.L, 1), 0x5555);
    EXPECT_EQ(lua_tonumber(s.L, 2), -1);
    EXPECT_EQ(lua_tonumber(s.L, 3), 0x7FFFFFFF);
}

TEST(Chunks, HeaderAndFieldLayout) {
    std::string h = header();
    std::string expected = std::string("\x1bLua\x52\x00\x01\x04", 8) + char(sizeof(size_t)) +
                           std::string("\x04\x04\x01\x19\x93\r\n\x1a\n", 9);
    EXPECT_TRUE(h == expected);

    // "return 1.5" from the compiler, byte for byte.
    std::string bytes = chunk_of("return 1.5");
    Fn f;
    f.code = {ABx(OP_LOADK, 0, 0), ABC(OP_RETURN, 0, 2, 0), ABC(OP_RETURN, 0, 1, 0)};
    f.k = {number(0x18000)};
    f.source = "=chunk";
    f.lines = {1, 1, 1};
    f.upvalue_names = {std::string("_ENV")};
    EXPECT_TRUE(bytes == chunk(f));
    Fn stripped = f;
    stripped.source.reset();
    stripped.lines.clear();
    stripped.upvalue_names.clear();
    EXPECT_TRUE(chunk_of("return 1.5", true) == chunk(stripped));

    // A chunk put together by hand runs: LOADKX takes its constant from
    // the EXTRAARG after it.
    Fn kx;
    kx.code = {ABx(OP_LOADKX, 0, 0), Ax(OP_EXTRAARG, 1), ABC(OP_RETURN, 0, 2, 0)};
    kx.k = {text("no"), text("yes")};
    TestState s;
    ASSERT_EQ(load_chunk(s.L, chunk(kx)), LUA_OK);
    EXPECT_EQ(call_top(s.L), "yes");
}

TEST(Chunks, LoadedFunctionsGetFreshUpvalues) {
    TestState s;
    ASSERT_EQ(zorva_load_source(s.L,
                                "local a, b = 1, 2\n"
                                "return function() return a end, function() return a + b end",
                                "=c"),
              LUA_OK);
    ASSERT_EQ(lua_pcall(s.L, 0, 2, 0), LUA_OK);
    std::string one = dump_top(s.L);   // two upvalues
    lua_pop(s.L, 1);
    std::string single = dump_top(s.L);   // one upvalue: it becomes the globals
    lua_settop(s.L, 0);
    ASSERT_EQ(load_chunk(s.L, one), LUA_OK);
    EXPECT_EQ(call_top(s.L).rfind("error: ", 0), 0u);   // nil + nil
    ASSERT_EQ(load_chunk(s.L, single), LUA_OK);
    lua_pushglobaltable(s.L);
    ASSERT_NE(lua_getupvalue(s.L, 1, 1), nullptr);
    EXPECT_TRUE(lua_rawequal(s.L, -1, -2));
    lua_settop(s.L, 0);
}

TEST(Chunks, DumpReportsTheWriter) {
    TestState s;
    lua_pushcfunction(s.L, str_sub);
    std::string out;
    EXPECT_EQ(lua_dump(s.L, string_writer, &out), 1);   // not a script function
    EXPECT_TRUE(out.empty());
    lua_settop(s.L, 0);
    std::string source = "return {";
    for (int i = 0; i < 200; i++) source += "'constant" + std::to_string(i) + "', ";
    source += "}";
    ASSERT_EQ(zorva_load_source(s.L, source.data(), source.size(), "=c"), LUA_OK);
    struct Failing {
        int calls = 0;
        static int write(lua_State *, const void *, size_t, void *ud) {
            Failing *f = static_cast<Failing *>(ud);
            return ++f->calls == 2 ? 7 : 0;
        }
    } failing;
    EXPECT_EQ(lua_dump(s.L, Failing::write, &failing), 7);
    EXPECT_EQ(failing.calls, 2);   // nothing after the failure
}

TEST(Chunks, ModesAndChunkNames) {
    std::string bytes = chunk_of("return 1");
    TestState s;
    std::string msg;
    EXPECT_EQ(load_chunk(s.L, bytes, &msg, "=c", "t"), LUA_ERRSYNTAX);
    EXPECT_EQ(msg, "attempt to load a binary chunk (mode is 't')");
    EXPECT_EQ(load_chunk(s.L, "return 1", &msg, "=c", "b"), LUA_ERRSYNTAX);
    EXPECT_EQ(msg, "attempt to load a text chunk (mode is 'b')");
    EXPECT_EQ(load_chunk(s.L, bytes, &msg, "=c", "bt"), LUA_OK);
    lua_settop(s.L, 0);

    std::string cut = bytes.substr(0, 30);
    EXPECT_EQ(load_error(cut, "=named"), "named: truncated precompiled chunk");
    EXPECT_EQ(load_error(cut, "@file.luac"), "file.luac: truncated precompiled chunk");
    EXPECT_EQ(load_error(cut, "plain"), "plain: truncated precompiled chunk");
    // A string loaded under its own text as the name.
    EXPECT_EQ(luaL_loadstring(s.L, "\x1bLuaQ"), LUA_ERRSYNTAX);
    EXPECT_STREQ(lua_tostring(s.L, -1), "binary string: version mismatch in precompiled chunk");
}

TEST(Chunks, ForeignHeadersAreRefused) {
    std::string good = chunk_of("return 1");
    struct Case {
        int at;
        char byte;
        const char *why;
    };
    const Case cases[] = {
        {1, 'l', "not a"},
        {4, 0x51, "version mismatch in"},
        {5, 1, "version mismatch in"},
        {6, 0, "incompatible"},          // big-endian
        {8, char(sizeof(size_t) == 8 ? 4 : 8), "incompatible"},   // the other build's size values
        {10, 8, "incompatible"},         // double numbers
        {11, 0, "incompatible"},
        {12, 0x18, "corrupted"},
        {17, '\r', "corrupted"},         // a text-mode conversion
    };
    for (const Case &c : cases) {
        std::string b = good;
        b[size_t(c.at)] = c.byte;
        EXPECT_EQ(load_error(b), std::string("chunk: ") + c.why + " precompiled chunk") << c.at;
    }
    // Text that starts with the escape byte never reaches the parser.
    EXPECT_EQ(load_error("\x1b print('hello')"), "chunk: not a precompiled chunk");
    EXPECT_EQ(load_error("\x1bLu"), "chunk: truncated precompiled chunk");
    EXPECT_EQ(load_error("\x1b"), "chunk: truncated precompiled chunk");
}

TEST(Chunks, EveryCutIsTruncated) {
    std::string source = "local s = 'a string constant' local function f(x, ...) return x * 2.5, ... end\n"
                         "return f(3, s), #s";
    for (bool strip : {false, true}) {
        std::string bytes = chunk_of(source, strip);
        TestState s;
        for (size_t n = 1; n < bytes.size(); n++) {
            std::string msg;
            ASSERT_EQ(load_chunk(s.L, bytes.substr(0, n), &msg), LUA_ERRSYNTAX) << n;
            ASSERT_EQ(msg, "chunk: truncated precompiled chunk") << n;
            lua_settop(s.L, 0);
        }
        ASSERT_EQ(load_chunk(s.L, bytes), LUA_OK);
        EXPECT_EQ(call_top(s.L), "7.5 17");
    }
}

// A huge count in a short chunk costs no more memory than the chunk holds.
TEST(Chunks, ForgedCountsReserveOnlyWhatArrives) {
    struct Largest {
        size_t largest = 0;
        static void *fn(void *ud, void *ptr, size_t, size_t nsize) {
            auto *l = static_cast<Largest *>(ud);
            if (nsize == 0) {
                std::free(ptr);
                return nullptr;
            }
            if (nsize > l->largest) l->largest = nsize;
            return std::realloc(ptr, nsize);
        }
    };
    Fn code = returns_constant(number(1));
    code.code_count = 0x7FFFFFFF;
    Fn constants = returns_constant(number(1));
    constants.k_count = 0x7FFFFFF0;
    Bytes long_string;
    long_string.s = header();
    long_string.i32(0).i32(0).byte(0).byte(1).byte(2).i32(0).i32(1).byte(LUA_TSTRING)
        .size(sizeof(size_t) == 8 ? uint64_t(1) << 40 : 0x7FFFFFF0u);   // far more than arrives
    long_string.s += std::string(1000, 'x');
    // The constants end after the first one.
    std::string few_constants = chunk(constants).substr(0, 18 + 11 + 4 + 12 + 4 + 5);
    for (const std::string &bytes : {chunk(code), few_constants, long_string.s}) {
        Largest l;
        lua_State *L = lua_newstate(Largest::fn, &l);
        std::string msg;
        EXPECT_EQ(load_chunk(L, bytes, &msg), LUA_ERRSYNTAX);
        EXPECT_EQ(msg, "chunk: truncated precompiled chunk");
        EXPECT_LT(l.largest, size_t(256 * 1024));
        lua_close(L);
    }
}

// Chunks whose framing is whole but whose content is not what the
// compiler could make.
TEST(Chunks, ForgedContentIsCorrupted) {
    auto base = [] { return returns_constant(number(0x10000)); };
    auto with_code = [](std::vector<Instruction> code, int stack = 2) {
        Fn f;
        f.code = std::move(code);
        f.stack = stack;
        f.k = {number(1), text("k")};
        return f;
    };
    Instruction ret = ABC(OP_RETURN, 0, 1, 0);
    struct Case {
        const char *what;
        Fn f;
    };
    std::vector<Case> cases;
    auto add = [&](const char *what, Fn f) { cases.push_back({what, std::move(f)}); };

    Fn f = base();
    f.line = -1;
    add("negative line", f);
    f = base();
    f.code_count = -5;
    add("negative code count", f);
    f = base();
    f.k = {Constant{7, 0, std::nullopt}};
    add("unknown constant type", f);
    f = base();
    f.k = {Constant{LUA_TSTRING, 0, std::nullopt}};
    add("missing string constant", f);
    f = base();
    f.k = {Constant{LUA_TBOOLEAN, 2, std::nullopt}};
    add("boolean neither 0 nor 1", f);
    f = base();
    f.upvalues = std::vector<std::pair<int, int>>(256, {0, 0});
    add("more upvalues than a closure holds", f);
    f = base();
    f.upvalues = {{2, 0}};
    add("in-stack flag not 0 or 1", f);
    f = base();
    f.lines = {1, 1};
    add("lines for some instructions only", f);
    f = base();
    f.lines = {1, -1, 1};
    add("negative line", f);
    f = base();
    f.locals = {LocalVar{std::nullopt, 0, 3}};
    add("local without a name", f);
    f = base();
    f.upvalue_names = {std::string("_ENV"), std::string("extra")};
    add("more upvalue names than upvalues", f);
    f = base();
    f.params = 3;
    add("more parameters than registers", f);
    f = base();
    f.vararg = 2;
    add("vararg flag not 0 or 1", f);
    add("no code", with_code({}));
    add("unknown opcode", with_code({Instruction(50), ret}));
    add("register past the frame", with_code({ABC(OP_MOVE, 2, 0, 0), ret}));
    add("source register past the frame", with_code({ABC(OP_MOVE, 0, 200, 0), ret}));
    add("constant past the list", with_code({ABx(OP_LOADK, 0, 2), ret}));
    add("operand constant past the list", with_code({ABC(OP_ADD, 0, RKASK(5), 0), ret}));
    add("upvalue past the list", with_code({ABC(OP_GETUPVAL, 0, 1, 0), ret}));
    add("table upvalue past the list", with_code({ABC(OP_SETTABUP, 3, RKASK(1), 0), ret}));
    add("nil run past the frame", with_code({ABC(OP_LOADNIL, 1, 1, 0), ret}));
    add("jump past the end", with_code({AsBx(OP_JMP, 0, 5), ret}));
    add("jump before the start", with_code({AsBx(OP_JMP, 0, -3), ret}));
    add("jump closing past the frame", with_code({AsBx(OP_JMP, 4, 0), ret}));
    add("test without its jump", with_code({ABC(OP_EQ, 1, 0, 1), ret, ret}));
    add("test as the last instruction but one", with_code({ret, ABC(OP_TEST, 0, 0, 0), AsBx(OP_JMP, 0, -2)}));
    add("running off the end", with_code({ABC(OP_MOVE, 0, 1, 0)}));
    add("skip past the end", with_code({ret, ABC(OP_LOADBOOL, 0, 1, 1), ret}));
    add("LOADKX without EXTRAARG", with_code({ABx(OP_LOADKX, 0, 0), ret}));
    add("LOADKX constant past the list", with_code({ABx(OP_LOADKX, 0, 0), Ax(OP_EXTRAARG, 9), ret}));
    add("SETLIST without EXTRAARG", with_code({ABC(OP_NEWTABLE, 0, 0, 0), ABC(OP_SETLIST, 0, 1, 0), ret}));
    add("SETLIST block that overflows",
        with_code({ABC(OP_NEWTABLE, 0, 0, 0), ABC(OP_SETLIST, 0, 1, 0), Ax(OP_EXTRAARG, MAXARG_Ax), ret}));
    add("SETLIST block 0", with_code({ABC(OP_NEWTABLE, 0, 0, 0), ABC(OP_SETLIST, 0, 1, 0), Ax(OP_EXTRAARG, 0), ret}));
    add("table size past an int", with_code({ABC(OP_NEWTABLE, 0, 0xF8, 0), ret}));
    add("concatenation of one value", with_code({ABC(OP_CONCAT, 0, 1, 1), ret}));
    add("call past the frame", with_code({ABC(OP_CALL, 0, 3, 1), ret}));
    add("results past the frame", with_code({ABC(OP_CALL, 0, 1, 4), ret}));
    add("arguments up to a top nobody set", with_code({ABC(OP_CALL, 0, 0, 1), ret}));
    add("return up to a top nobody set", with_code({ABC(OP_RETURN, 0, 0, 0)}));
    add("open results nobody takes", with_code({ABC(OP_CALL, 0, 1, 0), ret}));
    add("open results below the taker", with_code({ABC(OP_CALL, 0, 1, 0), ABC(OP_CALL, 0, 0, 1), ret}, 4));
    add("tail call without its return", with_code({ABC(OP_TAILCALL, 0, 1, 0), ret}));
    add("for loop past the frame", with_code({AsBx(OP_FORPREP, 0, 0), AsBx(OP_FORLOOP, 0, -1), ret}, 3));
    add("for skip past the end", with_code({ret, AsBx(OP_FORPREP, 0, 0), AsBx(OP_FORLOOP, 0, -1)}, 4));
    add("generic for past the frame", with_code({ABC(OP_TFORCALL, 0, 0, 2), ret}, 5));
    add("closure past the list", with_code({ABx(OP_CLOSURE, 0, 0), ret}));
    Fn nonvararg = with_code({ABC(OP_VARARG, 0, 2, 0), ret});
    nonvararg.vararg = 0;
    add("vararg in a fixed function", nonvararg);
    // A nested function's upvalues must exist in its parent.
    Fn inner = with_code({ret});
    inner.upvalues = {{1, 5}};
    Fn outer = with_code({ABx(OP_CLOSURE, 0, 0), ret});
    outer.p = {inner};
    add("nested upvalue past the parent's frame", outer);
    inner.upvalues = {{0, 3}};
    outer.p = {inner};
    add("nested upvalue past the parent's upvalues", outer);
    inner.upvalues = {{0, 0}};
    inner.code = {ABC(OP_MOVE, 9, 0, 0), ret};
    outer.p = {inner};
    add("bad code in a nested function", outer);
    // Deeper than the compiler ever nests.
    Fn deep = with_code({ret});
    for (int i = 0; i < 300; i++) {
        Fn up = with_code({ret});
        up.p = {deep};
        deep = up;
    }
    add("nested too deep", deep);

    for (const Case &c : cases) {
        EXPECT_EQ(load_error(chunk(c.f)), "chunk: corrupted precompiled chunk") << c.what;
    }
    // The same checks accept what is sound.
    Fn ok = with_code({ABC(OP_LOADNIL, 0, 1, 0), ABC(OP_CONCAT, 0, 0, 1), ABC(OP_RETURN, 0, 2, 0)});
    TestState s;
    EXPECT_EQ(load_chunk(s.L, chunk(ok)), LUA_OK);
}

// Sound code may still do what the compiler never does: storing a list
// into a register that holds no table is an error, not a crash.
TEST(Chunks, ListStoresIntoANonTableFail) {
    Fn f;
    f.code = {ABx(OP_LOADK, 0, 0), ABC(OP_LOADNIL, 1, 0, 0), ABC(OP_SETLIST, 0, 1, 1), ABC(OP_RETURN, 0, 1, 0)};
    f.k = {number(0x10000)};
    TestState s;
    ASSERT_EQ(load_chunk(s.L, chunk(f)), LUA_OK);
    EXPECT_EQ(call_top(s.L), "error: attempt to index a number value");
}

// Stripped chunks run; errors in them simply name no line.
TEST(Chunks, StrippedChunksRunWithoutDebugInformation) {
    BaseState s;
    lua_register(s.L, "trace", db_traceback);
    std::string bytes = chunk_of("local function f(t) return t.x end\nout(trace())\nf(nil)", true);
    std::string r = s.run(bytes);
    EXPECT_NE(r.find("stack traceback:\n\t?: in main chunk"), std::string::npos) << r;
    EXPECT_NE(r.find("error: attempt to index"), std::string::npos) << r;
}

}  // namespace
