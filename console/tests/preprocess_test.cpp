// The cart-source preprocessor and tokenizer: dialect lines rewritten to
// exact plain text, strings and comments left alone, token counts, kinds
// and colours, preprocessed carts compiled and run by the script engine,
// and bad input (unfinished strings and comments, huge lines, high bytes,
// NUL bytes, output that does not fit).
#include "zorva_preprocess.h"
#include "zorva_bindings.h"

#include "lsource_load.h"
#include "ltestlib.h"
#include "lua.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string preprocess(const std::string &source, int out_size = ZORVA_PREPROCESS_BUFFER_SIZE,
                       int *result = nullptr) {
    std::vector<char> out(static_cast<size_t>(out_size) + 1, 'x');
    int n = zorva_preprocess(source.c_str(), out.data(), out_size);
    if (result) *result = n;
    std::string text(out.data());
    if (n >= 0) {
        EXPECT_EQ(static_cast<int>(text.size()), n) << source;
    }
    EXPECT_EQ(out[static_cast<size_t>(out_size)], 'x') << "wrote past the buffer";
    return text;
}

struct rewrite_case {
    const char *source;
    const char *expected;
};

void check_rewrites(const std::vector<rewrite_case> &cases) {
    for (const rewrite_case &c : cases) {
        EXPECT_EQ(preprocess(c.source), c.expected) << "source: " << c.source;
    }
}

// ---------------------------------------------------------------------------
// Rewrites

TEST(Preprocess, CompoundAssignments) {
    check_rewrites({
        {"a += 1", "a = a + ( 1) "},
        {"t[i].x -= v * 2", "t[i].x = t[i].x - ( v * 2) "},
        {"a*=2", "a = a * (2) "},
        {"a /= 2", "a = a / ( 2) "},
        {"a %= 3", "a = a % ( 3) "},
        {"a   -= -1", "a = a - ( -1) "},
        {"  x.y += f(a, b) + 1", "  x.y = x.y + ( f(a, b) + 1) "},
        {"a.b[c[1]] += 1", "a.b[c[1]] = a.b[c[1]] + ( 1) "},
        {"t[\"k]\"] += 1", "t[\"k]\"] = t[\"k]\"] + ( 1) "},
        {"local a += 1", "local a = a + ( 1) "},
        // where the right-hand side ends
        {"a += 1 b -= 2", "a = a + ( 1)  b = b - ( 2) "},
        {"a += b c()", "a = a + ( b)  c()"},
        {"a += 1; b = 2", "a = a + ( 1) ; b = 2"},
        {"if c then a += 1 end", "if c then a = a + ( 1)  end"},
        {"for i=1,3 do s += i end", "for i=1,3 do s = s + ( i)  end"},
        {"f(function() a += 1 end)", "f(function() a = a + ( 1)  end)"},
        {"f(a += 1)", "f(a = a + ( 1) )"},
        {"a += f(b)(c) * t[1].x", "a = a + ( f(b)(c) * t[1].x) "},
        {"a += b == c and not d", "a = a + ( b == c and not d) "},
        {"a += (b) end", "a = a + ( (b))  end"},
        {"a += f(x, g(y)) z = 1", "a = a + ( f(x, g(y)))  z = 1"},
        {"x += y \"s\"", "x = x + ( y \"s\") "},
        {"x += y {1}", "x = x + ( y {1}) "},
        {"x += o:m(1)", "x = x + ( o:m(1)) "},
        {"a += 1 -- note", "a = a + ( 1)  "},
        {"a += \"+=\" .. b", "a = a + ( \"+=\" .. b) "},
        // nothing to assign to: left for the compiler to report
        {"+= 1", "+= 1"},
        {"(a) += 1", "(a) += 1"},
        {"\"s\" += 1", "\"s\" += 1"},
        {"a +=", "a = a + () "},
        // a target whose index string spans lines would add a line when
        // written twice
        {"t[ [[a\nb]] ] += 1\nx += 1", "t[ [[a\nb]] ] += 1\nx = x + ( 1) "},
        {"t[\"a\\\nb\"] += 1", "t[\"a\\\nb\"] += 1"},
        {"t[ [[ab]] ] += 1", "t[ [[ab]] ] = t[ [[ab]] ] + ( 1) "},
        // "==" and the comparisons are not assignments
        {"a = b == c", "a = b == c"},
        {"a = b <= c", "a = b <= c"},
        {"x = a - -1", "x = a - -1"},
    });
}

TEST(Preprocess, NotEqualAndGlyphs) {
    check_rewrites({
        {"if a != b then", "if a ~= b then"},
        {"x = a!=b!=c", "x = a~=b~=c"},
        {"s = \"a != b\"", "s = \"a != b\""},
        {"s = 'x' != \"!=\"", "s = 'x' ~= \"!=\""},
        {"s = [[!=]] != [==[!=]==]", "s = [[!=]] ~= [==[!=]==]"},
        {"x = {\x8b,\x91,\x94,\x83,\x8e,\x97,\x8f}", "x = {0,1,2,3,4,5,6}"},
        {"btn(\x8b) btn(\x8b) btn(\x8b)", "btn(0) btn(0) btn(0)"},
        {"print(\"\x8b\x91\") x = \x97", "print(\"\x8b\x91\") x = 5"},
        {"x = \x80\xff", "x = \x80\xff"},
        {"if btn(\x8b) then x -= 1 end", "if btn(0) then x = x - ( 1)  end"},
    });
}

TEST(Preprocess, PrintShorthand) {
    check_rewrites({
        {"?\"hi\"", "print(\"hi\")"},
        {"  ? x, y", "  print( x, y)"},
        {"?", "print()"},
        {"?a != b -- c", "print(a ~= b )"},
        {"x = 1 ? 2", "x = 1 ? 2"},
        {"s = \"?\"", "s = \"?\""},
        {"-- c\n?1", "\nprint(1)"},
        {"?[[a\nb]]", "print([[a\nb]])"},
    });
}

TEST(Preprocess, OneLineIf) {
    check_rewrites({
        {"if (x) y = 1", "if (x) then y = 1 end "},
        {"if (x) then y = 1 end", "if (x) then y = 1 end"},
        {"if (x) and y then", "if (x) and y then"},
        {"if (x) and y", "if (x) and y"},
        {"if (x) or y", "if (x) or y"},
        {"if(x)y=1", "if(x) then y=1 end "},
        {"\tif (a and (b or c)) return", "\tif (a and (b or c)) then return end "},
        {"if (x) y = 1 else y = 2", "if (x) then y = 1 else y = 2 end "},
        {"if (x)\t_y()", "if (x) then _y() end "},
        {"if (f(a)) b()", "if (f(a)) then b() end "},
        {"if (\")\") b()", "if (\")\") then b() end "},
        {"if (a) b(\")\")", "if (a) then b(\")\") end "},
        {"if (x) print(\"then\")", "if (x) then print(\"then\") end "},
        {"if (x) y() -- then", "if (x) then y()  end "},
        {"x=1 if (a) b()", "x=1 if (a) then b() end "},
        {"if (a) b += 1", "if (a) then b = b + ( 1)  end "},
        {"if (a != b) c()", "if (a ~= b) then c() end "},
        {"if (btn(\x8b)) x -= 1", "if (btn(0)) then x = x - ( 1)  end "},
        // a name that merely contains "then" or ends in "if" is no keyword
        {"if (x) y = athens", "if (x) then y = athens end "},
        {"notif(1) if (a) b()", "notif(1) if (a) then b() end "},
        // left alone
        {"if (x)", "if (x)"},
        {"if (x) (y)()", "if (x) (y)()"},
        {"if (x) 1", "if (x) 1"},
        {"if (x y = 1", "if (x y = 1"},
        {"if x y = 1", "if x y = 1"},
        {"elseif (x) y()", "elseif (x) y()"},
        {"x=1;if (a) b()", "x=1;if (a) b()"},
        {"s = \"if (x) y\"", "s = \"if (x) y\""},
        {"if (x) -- y\n", "if (x) \n"},
        {"if (x\n) y()", "if (x\n) y()"},
    });
}

TEST(Preprocess, CommentsAreDroppedKeepingLines) {
    check_rewrites({
        {"a = 1 -- comment", "a = 1 "},
        {"-- whole line\nb = 2", "\nb = 2"},
        {"x = 1 --[[ block ]] y = 2", "x = 1  y = 2"},
        {"a=b--[[c]]-d", "a=b -d"},
        {"x=1--[[c]]y=2", "x=1 y=2"},
        {"a=1--c\nb=2", "a=1 \nb=2"},
        {"x = 1 --[[ a\nb += 1\n]] y += 2", "x = 1 \n\n y = y + ( 2) "},
        {"--[==[ a\n]] b ]==] c", "\n c"},
        {"--[[ unfinished\na += 1\n", "\n\n"},
        // the line ends where the block comment's last line does
        {"a += 1 --[[\n]] b", "a = a + ( 1)  \n b"},
        {"1--[[\n]]?", "1 \nprint()"},
        {"if (x) --[[\n]] y()", "if (x) \n y()"},
        {"--[[\n]]if (x) y()", "\nif (x) then y() end "},
        {"if (x) y --[[\n\n]] z", "if (x) then y  end \n\n z"},
        {"?1 --[[\n]]", "print(1 )\n"},
        {"--[=x\na += 1", "\na = a + ( 1) "},
        {"s = \"-- not a comment\"", "s = \"-- not a comment\""},
        {"x = 1 // 2", "x = 1 // 2"},
    });
}

TEST(Preprocess, StringsAreLeftAlone) {
    check_rewrites({
        {"s = \"a += 1 if (x) y\"", "s = \"a += 1 if (x) y\""},
        {"s = 'a \\' != b'", "s = 'a \\' != b'"},
        {"s = \"a\\\"\" != b", "s = \"a\\\"\" ~= b"},
        {"s = [[\nif (x) y\na += 1\n]] a += 1", "s = [[\nif (x) y\na += 1\n]] a = a + ( 1) "},
        {"s = \"a\\\nb != c\" != d", "s = \"a\\\nb != c\" ~= d"},
        {"s = \"a\\z\n   b != c\" != d", "s = \"a\\z\n   b != c\" ~= d"},
        // long brackets end at the first closing bracket of their level
        {"s = [[ a [[ b ]] c != d", "s = [[ a [[ b ]] c ~= d"},
        {"s = [=[ ]] != ]=] != x", "s = [=[ ]] != ]=] ~= x"},
        // unfinished strings: a short one ends at its line, a long one at
        // the end of the text
        {"s = \"open != \na != b", "s = \"open != \na ~= b"},
        {"s = [==[ open\n a != b", "s = [==[ open\n a != b"},
        {"s = \"a\\", "s = \"a\\"},
    });
}

TEST(Preprocess, LinesAndNewlinesAreKept) {
    check_rewrites({
        {"", ""},
        {"\n\n", "\n\n"},
        {"x = 1 ", "x = 1 "},
        {"a += 1 \t", "a = a + ( 1)  \t"},
        {"a += 1\nb += 2\n", "a = a + ( 1) \nb = b + ( 2) \n"},
        {"a += 1\r\nb != 2", "a = a + ( 1) \r\nb ~= 2"},
        {"-- c\ra += 1", "\ra = a + ( 1) "},
        {"?1\nif (a) b()\n?2", "print(1)\nif (a) then b() end \nprint(2)"},
    });
}

// ---------------------------------------------------------------------------
// Tokens

TEST(Tokens, Count) {
    struct count_case {
        const char *source;
        int tokens;
    };
    const count_case cases[] = {
        {"local a = b.c(1, 2)", 7},
        {"", 0},
        {"-- only a comment\n--[[ and\n a block ]]", 0},
        {"x += 1", 3},
        {"a != b", 3},
        {"print(\"hi\") -- comment", 3},
        {"function f() end", 3},
        {"t = {1, 2, 3}", 6},
        {"a.b:c()", 4},
        {"s = [[long\nstring]]", 3},
        {"s = [==[ ]] ]==]", 3},
        {"x = -1", 4},
        {"0x1f .. \"a\"", 3},
        {"x = 1.5e-3", 3},
        {"a // b", 2},
        {"local function f(...) return ... end", 6},
        {"\"unfinished", 1},
        {"\"a\\\"b\"", 1},
        {"true false nil", 3},
        {"::top:: goto top", 3},
        {"a;b,c.d:e", 5},
        {"btn(\x8b)", 3},
        {"if a <= b and c ~= d then x ..= y end", 13},
    };
    for (const count_case &c : cases) EXPECT_EQ(count_tokens(c.source), c.tokens) << c.source;
    EXPECT_EQ(count_tokens(nullptr), 0);
}

std::vector<int> kinds_of(const char *text) {
    std::vector<int> kinds;
    const char *p = get_first_token(text);
    for (int guard = 0; guard < 1000; guard++) {
        kinds.push_back(get_token());
        if (get_token() == TOKEN_EOF) break;
        p = get_next_token(p);
    }
    return kinds;
}

TEST(Tokens, Kinds) {
    init_api_function_names();
    add_api_function_name("spr");
    struct kind_case {
        const char *source;
        std::vector<int> kinds;
    };
    const std::vector<kind_case> cases = {
        {"a<=b", {TOKEN_NAME, TOKEN_LE, TOKEN_NAME, TOKEN_EOF}},
        {"a>=b==c", {TOKEN_NAME, TOKEN_GE, TOKEN_NAME, TOKEN_EQ, TOKEN_NAME, TOKEN_EOF}},
        {"~= != <>", {TOKEN_NE, TOKEN_NE, TOKEN_NE, TOKEN_EOF}},
        {"+= -= *= %= /=", {TOKEN_COMPOUND, TOKEN_COMPOUND, TOKEN_COMPOUND, TOKEN_COMPOUND, TOKEN_DIV_ASSIGN, TOKEN_EOF}},
        {"a..b ...", {TOKEN_NAME, TOKEN_CONCAT, TOKEN_NAME, TOKEN_CONCAT, TOKEN_EOF}},
        {"x\n//\r", {TOKEN_NAME, TOKEN_NEWLINE, TOKEN_NEWLINE, TOKEN_NEWLINE, TOKEN_EOF}},
        {"spr foreach sprx", {TOKEN_API_NAME, TOKEN_API_NAME, TOKEN_NAME, TOKEN_EOF}},
        {"function end for if then else elseif while do in local return repeat until goto break",
         {TOKEN_FUNCTION, TOKEN_END, TOKEN_FOR, TOKEN_IF, TOKEN_THEN, TOKEN_ELSE, TOKEN_ELSEIF,
          TOKEN_WHILE, TOKEN_DO, TOKEN_IN, TOKEN_LOCAL, TOKEN_RETURN, TOKEN_REPEAT, TOKEN_UNTIL,
          TOKEN_GOTO, TOKEN_BREAK, TOKEN_EOF}},
        {"not and or true false nil", {TOKEN_NOT, TOKEN_AND, TOKEN_OR, TOKEN_LITERAL, TOKEN_LITERAL, TOKEN_LITERAL, TOKEN_EOF}},
        {"1 .5 0x1p4 12ab 3e+2", {TOKEN_NUMBER, TOKEN_NUMBER, TOKEN_NUMBER, TOKEN_NUMBER, TOKEN_NUMBER, TOKEN_EOF}},
        {"'a' \"b\" [[c]] [=[d]=]", {TOKEN_STRING, TOKEN_STRING, TOKEN_STRING, TOKEN_STRING, TOKEN_EOF}},
        {"-- c\n--[[d]]", {TOKEN_COMMENT, TOKEN_NEWLINE, TOKEN_COMMENT, TOKEN_EOF}},
        {"[=x (#", {'[', '=', TOKEN_NAME, '(', '#', TOKEN_EOF}},
        {"\x8b\xff", {0x8b, 0xff, TOKEN_EOF}},
    };
    for (const kind_case &c : cases) EXPECT_EQ(kinds_of(c.source), c.kinds) << c.source;
    init_api_function_names();
}

TEST(Tokens, TextAndPositions) {
    const char *text = "  foo = \"bar\" ";
    const char *p = get_first_token(text);
    EXPECT_EQ(token_text, text);
    EXPECT_EQ(token_begin, text + 2);
    EXPECT_EQ(p, text + 5);
    EXPECT_STREQ(ident, "foo");
    p = get_next_token(p);
    EXPECT_STREQ(ident, "=");
    p = get_next_token(p);
    EXPECT_STREQ(ident, "\"bar\"");
    p = get_next_token(p);
    EXPECT_EQ(get_token(), TOKEN_EOF);
    EXPECT_EQ(p, text + std::strlen(text));
    EXPECT_EQ(get_next_token(p), p);  // stays at the end

    // a long token's text is cut to fit
    std::string long_name(1000, 'n');
    get_first_token(long_name.c_str());
    EXPECT_EQ(std::strlen(ident), static_cast<size_t>(ZORVA_IDENT_SIZE - 1));
    EXPECT_EQ(token_pos, long_name.c_str() + 1000);

    EXPECT_EQ(get_next_token(nullptr), nullptr);
    EXPECT_EQ(get_token(), TOKEN_EOF);
}

TEST(Tokens, Colours) {
    init_api_function_names();
    add_api_function_name("print");
    const char *text = "if x then print(\"a\", 1, nil) end -- c\nfoo = not y and add";
    const std::vector<int> expected = {14, 6, 14, 11, 7, 12, 7, 12, 7, 12, 7, 14, 13, 7,
                                       6, 7, 14, 6, 14, 11, 7};
    std::vector<int> colours;
    const char *p = get_first_token(text);
    while (get_token() != TOKEN_EOF) {
        colours.push_back(get_token_color());
        p = get_next_token(p);
    }
    colours.push_back(get_token_color());
    EXPECT_EQ(colours, expected);
    init_api_function_names();
}

TEST(Tokens, FreeTokens) {
    for (int k : std::vector<int>{TOKEN_NEWLINE, TOKEN_COMMENT, TOKEN_EOF, TOKEN_LOCAL, TOKEN_END, ';', ')', '}', ']', '.', ',', ':'})
        EXPECT_TRUE(is_free_token(k)) << k;
    for (int k : std::vector<int>{TOKEN_NAME, TOKEN_FUNCTION, TOKEN_CONCAT, '(', '{', '[', '+', '='})
        EXPECT_FALSE(is_free_token(k)) << k;
}

TEST(Tokens, MultilineEnd) {
    struct end_case {
        const char *text;
        int end;  // offset just after the closing bracket, -1 for none
    };
    const end_case cases[] = {
        {"[[abc]]x", 7}, {"[[a]=]b]]", 9}, {"[==[ ]] ]=] ]==]", 16}, {"[[ [[ ]] ]]", 8},
        {"[[ open", -1}, {"[=[ ]] ", -1}, {"[x[", -1}, {"abc", -1}, {"", -1},
    };
    for (const end_case &c : cases) {
        const char *e = find_multiline_end(c.text);
        EXPECT_EQ(e ? static_cast<int>(e - c.text) : -1, c.end) << c.text;
    }
    EXPECT_EQ(find_multiline_end(nullptr), nullptr);
}

TEST(Tokens, ProtectedSearch) {
    const char *text = "a \"then\" then";
    const unsigned char mask[] = {0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(pstrstr(text, "then", mask), text + 9);
    EXPECT_EQ(pstrstr(text, "a", mask), text);
    EXPECT_EQ(pstrstr(text, "\"t", mask), nullptr);
    EXPECT_EQ(pstrstr(text, "n\" t", mask), nullptr);  // partly protected
    EXPECT_EQ(pstrstr(text, "xyz", mask), nullptr);
    EXPECT_EQ(pstrstr(nullptr, "a", mask), nullptr);
    EXPECT_EQ(pstrstr(text, nullptr, mask), nullptr);
}

TEST(ApiNames, LookupFollowsTheList) {
    init_api_function_names();
    for (int i = 1; i < ZORVA_API_NAMES + 10; i++) add_api_function_name(("f" + std::to_string(i)).c_str());
    EXPECT_TRUE(is_api_function_name("f256"));
    EXPECT_FALSE(is_api_function_name("f257"));   // past the full list
    EXPECT_FALSE(is_api_function_name(nullptr));
    init_api_function_names();
    EXPECT_FALSE(is_api_function_name("f1"));
}

// ---------------------------------------------------------------------------
// Preprocessed carts through the script engine

struct compiled_run {
    int status;
    std::string out;
    std::string error;
};

// Preprocesses the source, compiles it as a chunk named "=cart" and runs
// it with the test functions and print = out.
compiled_run run_preprocessed(const std::string &source) {
    compiled_run r;
    std::string text = preprocess(source);
    lua_zorva_fixseed(1, 1);
    lua_State *L = luaL_newstate();
    zorva_testlib::open_cart_functions(L, &r.out);
    lua_getglobal(L, "out");
    lua_setglobal(L, "print");
    r.status = zorva_load_source(L, text.data(), text.size(), "=cart");
    if (r.status == LUA_OK) r.status = lua_pcall(L, 0, 0, 0);
    if (r.status != LUA_OK) r.error = lua_tostring(L, -1) ? lua_tostring(L, -1) : "";
    lua_close(L);
    lua_zorva_fixseed(0, 0);
    return r;
}

TEST(PreprocessedCarts, CompileAndRunAsIntended) {
    const std::string cart =
        "-- a cart in the dialect\n"
        "a = 5\n"
        "a += 3 a *= 2\n"                          // 16
        "t = {x = {1, 2}, y = 10}\n"
        "t.x[2] -= t.y / 5 + 1\n"                  // 2 - 3 = -1
        "t.y %= 4\n"                               // 2
        "b = 100 b /= 4 -- quarter\n"              // 25
        "if (a != 16) print(\"bad a\")\n"
        "if (a == 16) print(\"a\", a)\n"
        "if (t.x[2] < 0) print(\"x2\", t.x[2]) else print(\"bad x2\")\n"
        "?\"y\", t.y\n"
        "  ? b\n"
        "s = \"a != b += 1 \x8b\"\n"
        "print(s == \"a \" .. \"!\" .. \"= b += 1 \" .. \"\\139\")\n"
        "print(\x8b + \x91 + \x94 + \x83 + \x8e + \x97 + \x8f)\n"  // 0+1+...+6
        "--[[ a block comment\n"
        "print(\"not run\")\n"
        "]] c = [[\n"
        "if (x) y\n"
        "]]\n"
        "print(#c)\n"                              // "if (x) y\n"
        "n = 0 for i = 1, 4 do n += i end print(\"n\", n)\n"
        "function f(v) v += 1 return v end\n"
        "print(\"f\", f(41))\n"
        "if (n > 5) n -= 10 print(\"n2\", n)\n";   // the print is part of the if's statement
    compiled_run r = run_preprocessed(cart);
    ASSERT_EQ(r.status, LUA_OK) << r.error << "\n" << preprocess(cart);
    EXPECT_EQ(r.out,
              "a 16\n"
              "x2 -1\n"
              "y 2\n"
              "25\n"
              "true\n"
              "21\n"
              "9\n"
              "n 10\n"
              "f 42\n"
              "n2 0\n");
}

TEST(PreprocessedCarts, ErrorsKeepTheirSourceLines) {
    // a syntax error on line 6, after a block comment over lines 2-4 and
    // rewritten lines
    compiled_run r = run_preprocessed("a = 1\n--[[\nb += 1\n]] a += 1\nif (a) a -= 1\nc = = 2\n");
    EXPECT_NE(r.status, LUA_OK);
    EXPECT_NE(r.error.find("cart:6:"), std::string::npos) << r.error;

    // an unfinished string reported on its own line
    r = run_preprocessed("a += 1\n?\"open\nb = 2\n");
    EXPECT_NE(r.status, LUA_OK);
    EXPECT_NE(r.error.find("cart:2:"), std::string::npos) << r.error;

    // an operator with nothing to assign to is the compiler's to report
    r = run_preprocessed("x = 1\n(x) += 1\n");
    EXPECT_NE(r.status, LUA_OK);
    EXPECT_NE(r.error.find("cart:2:"), std::string::npos) << r.error;
}

// ---------------------------------------------------------------------------
// Bad input and limits

int count_of(const std::string &s, char c) { return static_cast<int>(std::count(s.begin(), s.end(), c)); }

TEST(PreprocessLimits, OutputThatDoesNotFitFailsCleanly) {
    int result = 0;
    EXPECT_EQ(preprocess("a", 2, &result), "a");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(preprocess("ab", 2, &result), "");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(preprocess("", 1, &result), "");
    EXPECT_EQ(result, 0);
    // the rewrite is what does not fit
    EXPECT_EQ(preprocess("a+=1", 13, &result), "a = a + (1) ");
    EXPECT_EQ(preprocess("a+=1", 12, &result), "");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(preprocess("?1", 9, &result), "print(1)");
    EXPECT_EQ(preprocess("?1", 8, &result), "");
    EXPECT_EQ(preprocess("if (a) b", 20, &result), "if (a) then b end ");
    EXPECT_EQ(preprocess("if (a) b", 18, &result), "");
    EXPECT_EQ(preprocess("a\nb\n", 4, &result), "");  // the last newline
    EXPECT_EQ(result, -1);

    // a source within the cart limit that grows past the work buffer
    std::string big;
    while (big.size() < 65536 - 5) big += "a+=1\n";
    preprocess(big, ZORVA_PREPROCESS_BUFFER_SIZE, &result);
    EXPECT_EQ(result, -1);

    char out[4] = "xyz";
    EXPECT_EQ(zorva_preprocess("a", out, 0), -1);
    EXPECT_EQ(zorva_preprocess("a", nullptr, 10), -1);
    EXPECT_EQ(zorva_preprocess(nullptr, out, 4), 0);
    EXPECT_STREQ(out, "");
}

TEST(PreprocessLimits, HugeLinesAndManyLines) {
    int result = 0;
    // one line of 100,000 rewrites fitting the buffer exactly as computed
    std::string line;
    for (int i = 0; i < 10000; i++) line += "a+=1 ";
    std::string out = preprocess(line, ZORVA_PREPROCESS_BUFFER_SIZE, &result);
    ASSERT_GT(result, 0);
    EXPECT_EQ(count_of(out, '('), 10000);
    EXPECT_EQ(out.substr(0, 24), "a = a + (1)  a = a + (1)");

    // a line longer than the buffer
    preprocess(std::string(200000, 'x'), ZORVA_PREPROCESS_BUFFER_SIZE, &result);
    EXPECT_EQ(result, -1);

    // more lines than any cart holds are all kept
    std::string lines;
    for (int i = 0; i < 70000; i++) lines += "\n";
    lines += "?1";
    out = preprocess(lines, ZORVA_PREPROCESS_BUFFER_SIZE, &result);
    EXPECT_EQ(count_of(out, '\n'), 70000);
    EXPECT_EQ(out.substr(out.size() - 8), "print(1)");

    // deep nesting and brackets that never match
    std::string deep = "a += " + std::string(50000, '(') + "\n" + std::string(20000, ']') + " += 1\n";
    for (int i = 0; i < 5000; i++) deep += "]+=";
    out = preprocess(deep, ZORVA_PREPROCESS_BUFFER_SIZE, &result);
    ASSERT_GT(result, 0);
    EXPECT_EQ(count_of(out, '\n'), 2);
}

TEST(PreprocessLimits, UnfinishedAndOddBytes) {
    // every byte value outside strings, in strings and after a backslash
    std::string all;
    for (int c = 1; c < 256; c++) all += static_cast<char>(c);
    for (const std::string &s : {all, "\"" + all, "'\\" + all, "[[" + all, "--[[" + all, "--" + all,
                                 "a += " + all, "if (" + all, "?" + all}) {
        int result = 0;
        std::string out = preprocess(s, ZORVA_PREPROCESS_BUFFER_SIZE, &result);
        ASSERT_GE(result, 0) << s;
        EXPECT_EQ(count_of(out, '\n'), count_of(s, '\n')) << s;
        EXPECT_EQ(count_of(out, '\r'), count_of(s, '\r')) << s;
        count_tokens(s.c_str());
    }
    // a NUL ends the text
    const char with_nul[] = "a += 1\0b += 2";
    EXPECT_EQ(preprocess(std::string(with_nul, sizeof with_nul - 1)), "a = a + ( 1) ");
    EXPECT_EQ(count_tokens(with_nul), 3);
    // unfinished things at the very end of the text
    for (const char *s : {"\"", "'", "[[", "[=[", "--[[", "--[==[", "\"\\", "\"\\z", "0x", "1e", "1e+",
                          "a +", "a +=", "if", "if (", "?", "!", "[", "[=", "]", "-", "."}) {
        int result = 0;
        preprocess(s, ZORVA_PREPROCESS_BUFFER_SIZE, &result);
        EXPECT_GE(result, 0) << s;
        EXPECT_GE(count_tokens(s), 0);
    }
}

TEST(PreprocessLimits, OutputIsStable) {
    // preprocessed text preprocesses to itself
    const char *sources[] = {
        "a += 1 b -= f(x) if (a != b) c()\n?\"hi\" -- c\n",
        "t[i].x *= 2 --[[\n]] if (x) y = 1 else y = 2\n",
        "s = [[ != ]] a %= \x8b\n(a) += 1\n",
    };
    for (const char *s : sources) {
        std::string once = preprocess(s);
        EXPECT_EQ(preprocess(once), once) << s;
    }
}

} // namespace
