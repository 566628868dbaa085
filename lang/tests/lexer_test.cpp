// The lexer: tokens and their values (numerals as 16.16 values, strings
// through their escapes and long brackets), line counting, and every
// lexical error message with its "near" part.
#include <cstdio>

#include "compile_helpers.h"

namespace {

using compile_helpers::CompilerTest;

struct ScanJob {
    ZIO z;
    Mbuffer buff;
    std::string tokens; // the tokens, separated by spaces
    int lines = 0;      // the line counter at the end of input
};

std::string token_form(const Token &t) {
    char buf[64];
    switch (t.token) {
    case TK_NAME: return "name:" + std::string(getstr(t.seminfo.ts), t.seminfo.ts->len);
    case TK_NUMBER: std::snprintf(buf, sizeof(buf), "num:%08X", (unsigned)t.seminfo.r); return buf;
    case TK_STRING: {
        std::string s = "str:";
        const TString *ts = t.seminfo.ts;
        for (size_t i = 0; i < ts->len; i++) {
            unsigned char c = (unsigned char)getstr(ts)[i];
            if (c < 0x20 || c >= 0x7F) {
                std::snprintf(buf, sizeof(buf), "\\%d", c);
                s += buf;
            } else {
                s += (char)c;
            }
        }
        return s;
    }
    default:
        if (t.token >= FIRST_RESERVED) return luaX_tokens[t.token - FIRST_RESERVED];
        if (t.token >= 0x20 && t.token < 0x7F) return std::string(1, (char)t.token);
        std::snprintf(buf, sizeof(buf), "char(%d)", t.token);
        return buf;
    }
}

// Runs the lexer alone over a function state that only has its string
// anchor table.
void scan_body(lua_State *L, void *ud) {
    ScanJob *job = static_cast<ScanJob *>(ud);
    LexState ls;
    FuncState fs;
    std::memset(&fs, 0, sizeof(fs));
    fs.h = luaH_new(L);
    sethvalue(L->top, fs.h);
    L->top++;
    ls.buff = &job->buff;
    ls.dyd = nullptr;
    luaX_setinput(L, &ls, &job->z, luaS_new(L, "=scan"), zgetc(&job->z));
    ls.fs = &fs;
    fs.ls = &ls;
    for (;;) {
        luaX_next(&ls);
        if (ls.t.token == TK_EOS) break;
        if (!job->tokens.empty()) job->tokens += ' ';
        job->tokens += token_form(ls.t);
    }
    job->lines = ls.linenumber;
}

class LexerTest : public CompilerTest {
protected:
    // The tokens of source; fails the test on a lexical error.
    std::string tokens(const std::string &source, int *lines = nullptr) {
        compile_helpers::StringSource src{source.data(), source.size(), false};
        ScanJob job;
        luaZ_init(L, &job.z, compile_helpers::read_string, &src);
        luaZ_initbuffer(L, &job.buff);
        int status = luaD_pcall(L, scan_body, &job, savestack(L, L->top), L->errfunc);
        luaZ_freebuffer(L, &job.buff);
        if (status != LUA_OK) {
            ADD_FAILURE() << "lexer failed on " << source << ": " << error_text();
            return "";
        }
        if (lines) *lines = job.lines;
        return job.tokens;
    }
};

TEST_F(LexerTest, OperatorsAndPunctuation) {
    struct Case {
        const char *source, *tokens;
    };
    const Case cases[] = {
        // the dialect's '!=' is the preprocessor's business: here it is '!' '='
        {"a!=b", "name:a ! = name:b"},
        {"a~=b", "name:a ~= name:b"},
        {"== <= >= < > = ~", "== <= >= < > = ~"},
        {"a.b..c...", "name:a . name:b .. name:c ..."},
        {"::l:: a:b", ":: name:l :: name:a : name:b"},
        {"+ - * / % ^ # ( ) { } [ ] ; ,", "+ - * / % ^ # ( ) { } [ ] ; ,"},
        {"and break do else elseif end false for function goto if in local nil not or repeat return then true "
         "until while",
         "and break do else elseif end false for function goto if in local nil not or repeat return then true "
         "until while"},
        {"_ENV andx _1 Local", "name:_ENV name:andx name:_1 name:Local"},
        // bytes outside ASCII never join names: each is a token of its own
        {"ab\x80z", "name:ab char(128) name:z"},
        {"a\x7f", "name:a char(127)"},
        {"x--comment\ny", "name:x name:y"},
        {"x--[==[ long ]] ]=] still\n comment ]==]y", "name:x name:y"},
        {"x--[= not long\ny", "name:x name:y"}, // a bracket that opens nothing: a line comment
        {"x--[[\n\n]]--\ny", "name:x name:y"},
    };
    for (const Case &c : cases) EXPECT_EQ(tokens(c.source), c.tokens) << c.source;
}

TEST_F(LexerTest, NumeralsAreFixedPoint) {
    struct Case {
        const char *source, *tokens;
    };
    const Case cases[] = {
        {"0x1F", "num:001F0000"},
        {"0b101", "num:00050000"},
        {"0b1.1", "num:00018000"},
        {"0B11", "num:00030000"},
        {"1e2", "num:00640000"},
        {"1E+1 1e-1", "num:000A0000 num:00001999"},
        {".5", "num:00008000"},
        {"3.", "num:00030000"},
        {"0x.8", "num:00008000"},
        {"0xA.8", "num:000A8000"},
        {"0x7fff.ffff", "num:7FFFFFFF"},
        {"0.1", "num:00001999"},
        {"32767.99999", "num:7FFFFFFF"},
        {"32768", "num:80000000"}, // out of range
        {"0xffff", "num:FFFF0000"},
        {"0xb", "num:000B0000"},
        // a numeral carries no sign: minus is an operator
        {"-1", "- num:00010000"},
        {"a.5", "name:a num:00008000"},
    };
    for (const Case &c : cases) EXPECT_EQ(tokens(c.source), c.tokens) << c.source;
    // Digits and points are collected whole: "1..2" is one (bad) numeral.
    EXPECT_EQ(compile_error("x = 1..2"), "test:1: malformed number near '1..2'");
}

TEST_F(LexerTest, ShortStringsAndEscapes) {
    struct Case {
        const char *source, *tokens;
    };
    const Case cases[] = {
        {"'abc' \"d'e\"", "str:abc str:d'e"},
        {"'\\65\\066\\x43\\z   \n  D'", "str:ABCD"},
        {"'\\a\\b\\f\\n\\r\\t\\v'", "str:\\7\\8\\12\\10\\13\\9\\11"},
        {"'\\\\\\\"\\''", "str:\\\"'"},
        {"'a\\\nb' 'c\\\r\nd' 'e\\\n\rf'", "str:a\\10b str:c\\10d str:e\\10f"},
        {"'\\0' '\\255' '\\0012'", "str:\\0 str:\\255 str:\\12"},
        {"'\\xff\\x0A'", "str:\\255\\10"},
        {"''", "str:"},
    };
    for (const Case &c : cases) EXPECT_EQ(tokens(c.source), c.tokens) << c.source;
    EXPECT_EQ(tokens(std::string("'a\0b' [[\0]]", 11)), "str:a\\0b str:\\0"); // zero bytes are kept
}

TEST_F(LexerTest, LongStrings) {
    struct Case {
        const char *source, *tokens;
    };
    const Case cases[] = {
        {"[[\nabc]]", "str:abc"},              // the first newline is dropped
        {"[[\r\nabc]]", "str:abc"},
        {"[[a\r\nb\n\rc\rd]]", "str:a\\10b\\10c\\10d"}, // every newline form is one LF
        {"[==[a]]b]=]c]==]", "str:a]]b]=]c"},
        {"[=[]]=]", "str:]"},
        {"[[\\n]]", "str:\\n"}, // no escapes
        {"[ [", "[ ["},
        {"a[1]", "name:a [ num:00010000 ]"},
    };
    for (const Case &c : cases) EXPECT_EQ(tokens(c.source), c.tokens) << c.source;
}

TEST_F(LexerTest, CountsEveryNewlineForm) {
    struct Case {
        const char *source;
        int lines;
    };
    const Case cases[] = {
        {"a", 1},
        {"a\nb", 2},
        {"a\r\nb", 2},
        {"a\n\rb", 2},
        {"a\n\nb", 3},
        {"a\r\rb", 3},
        {"a\r\n\r\nb", 3},
        {"[[\n\n]]", 3},
        {"'\\\n'", 2},
        {"'\\z\n\n'", 3},
        {"--[[\r\n]]", 2},
    };
    for (const Case &c : cases) {
        int lines = 0;
        tokens(c.source, &lines);
        EXPECT_EQ(lines, c.lines) << c.source;
    }
}

TEST_F(LexerTest, ErrorMessages) {
    struct Case {
        const char *source, *message;
    };
    const Case cases[] = {
        {"x = 'abc", "test:1: unfinished string near <eof>"},
        {"x = 'abc\ny'", "test:1: unfinished string near ''abc'"},
        {"x = \"ab\\", "test:1: unfinished string near <eof>"},
        {"x = [==[abc\nd", "test:2: unfinished long string near <eof>"},
        {"x = [==[abc]=]", "test:1: unfinished long string near <eof>"},
        {"--[[abc\n\n", "test:3: unfinished long comment near <eof>"},
        {"x = [=a", "test:1: invalid long string delimiter near '[='"},
        {"x = [==", "test:1: invalid long string delimiter near '[=='"},
        {"x = '\\q'", "test:1: invalid escape sequence near '\\q'"},
        {"x = '\\z  \n  \\q'", "test:2: invalid escape sequence near '\\q'"},
        {"x = '\\xg'", "test:1: hexadecimal digit expected near '\\xg'"},
        {"x = '\\x5'", "test:1: hexadecimal digit expected near '\\x5''"},
        {"x = '\\x", "test:1: hexadecimal digit expected near '\\x'"},
        {"x = '\\256'", "test:1: decimal escape too large near '\\256'"},
        {"x = '\\999'", "test:1: decimal escape too large near '\\999'"},
        {"x = 12ab", "test:1: malformed number near '12ab'"},
        {"x = 0b102", "test:1: malformed number near '0b102'"},
        {"x = 0x1p4", "test:1: malformed number near '0x1p4'"},
        {"x = 3e", "test:1: malformed number near '3e'"},
        {"x = 0x", "test:1: malformed number near '0x'"},
        {"x = 1b", "test:1: malformed number near '1b'"},
        {"x = 0x1.2.3", "test:1: malformed number near '0x1.2.3'"},
        {"\n\nx = 0xz", "test:3: malformed number near '0x'"},
    };
    for (const Case &c : cases) EXPECT_EQ(compile_error(c.source), c.message) << c.source;
}

TEST_F(LexerTest, ChunkNameInMessages) {
    EXPECT_EQ(compile_error("x = 'a", "@carts/game.zv"), "carts/game.zv:1: unfinished string near <eof>");
    EXPECT_EQ(compile_error("x = 'a", "x = 'a"), "[string \"x = 'a\"]:1: unfinished string near <eof>");
}

TEST_F(LexerTest, LongTokensAreWhole) {
    // A string and a name far beyond the first buffer size.
    std::string text(100000, 'q');
    int lines = 0;
    EXPECT_EQ(tokens("'" + text + "'", &lines), "str:" + text);
    EXPECT_EQ(tokens("[[" + text + "]]"), "str:" + text);
    EXPECT_EQ(tokens(text), "name:" + text);
    // an unfinished one fails cleanly, with the text read so far
    std::string msg = compile_error("x = '" + text + "\n");
    EXPECT_EQ(msg, "test:1: unfinished string near ''" + text + "'");
}

} // namespace
