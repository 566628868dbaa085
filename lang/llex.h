// The lexer: turns script source into tokens for the parser.
//
// A single-character token is its byte value; the others are numbered
// from FIRST_RESERVED (257) in the order of luaX_tokens below. Numerals
// carry their zorva_fixed value, names and strings an interned string.
#pragma once

#include "lobject.h"
#include "lzio.h"

#define FIRST_RESERVED 257

enum RESERVED {
    // reserved words, in the order of luaS_reserved
    TK_AND = FIRST_RESERVED,
    TK_BREAK,
    TK_DO,
    TK_ELSE,
    TK_ELSEIF,
    TK_END,
    TK_FALSE,
    TK_FOR,
    TK_FUNCTION,
    TK_GOTO,
    TK_IF,
    TK_IN,
    TK_LOCAL,
    TK_NIL,
    TK_NOT,
    TK_OR,
    TK_REPEAT,
    TK_RETURN,
    TK_THEN,
    TK_TRUE,
    TK_UNTIL,
    TK_WHILE,
    // other multi-character tokens
    TK_CONCAT,
    TK_DOTS,
    TK_EQ,
    TK_GE,
    TK_LE,
    TK_NE,
    TK_DBCOLON,
    TK_EOS,
    TK_NUMBER,
    TK_NAME,
    TK_STRING
};

#define NUM_RESERVED_WORDS ((int)(TK_WHILE - FIRST_RESERVED + 1))

// Printed forms of the tokens from FIRST_RESERVED on.
extern const char *const luaX_tokens[];

union SemInfo {
    zorva_fixed r; // numerals
    TString *ts;   // names and strings
};

struct Token {
    int token;
    SemInfo seminfo;
};

struct FuncState;
struct Dyndata;

// Lexer state; also carries the parser's per-compilation state.
struct LexState {
    int current;      // current character (EOZ at the end)
    int linenumber;   // input line counter
    int lastline;     // line of the last token consumed
    Token t;          // current token
    Token lookahead;  // look-ahead token (TK_EOS when none)
    FuncState *fs;    // function being compiled
    lua_State *L;
    ZIO *z;
    Mbuffer *buff;    // token buffer
    Dyndata *dyd;     // active locals, pending gotos and labels
    TString *source;  // chunk name
    TString *envn;    // the name "_ENV"
    char decpoint;    // decimal-point character for numerals
};

// Interns the reserved words and marks them (once per state).
void luaX_init(lua_State *L);
void luaX_setinput(lua_State *L, LexState *ls, ZIO *z, TString *source, int firstchar);
// Interns a string and anchors it in the compiling function's constant
// cache until that function is finished.
TString *luaX_newstring(LexState *ls, const char *str, size_t l);
void luaX_next(LexState *ls);
int luaX_lookahead(LexState *ls);
[[noreturn]] void luaX_syntaxerror(LexState *ls, const char *msg);
// Printed form of a token for messages; pushed on the stack.
const char *luaX_token2str(LexState *ls, int token);
