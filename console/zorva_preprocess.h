// The cart-source tokenizer and preprocessor.
//
// Cart source is written in a dialect of the script language: "!=" for
// "~=", compound assignments ("a += 1"), a one-line "if (cond) stmt" with
// no "then", a leading "?" for print, and the button glyph bytes standing
// for the numbers 0-6. zorva_preprocess rewrites it into plain script text
// line by line, keeping every newline so that line numbers stay those of
// the source. The tokenizer also counts a cart's tokens and classes them
// for colouring.
//
// The tokenizer finds strings and comments the way the script compiler
// does: short strings in double or single quotes with backslash escapes
// (a raw newline ends an unfinished one), long strings "[[ ]]" and
// "[==[ ]==]" (no nesting: the first closing bracket of the same level
// ends them), "--" comments to the end of the line and "--[[ ]]" block
// comments. A NUL byte ends the text.
#pragma once

// Token kinds. A single-character token has its byte value (1-255) as
// its kind.
enum {
    TOKEN_EOF = -1000,
    TOKEN_NEWLINE = -999,     // "\n" or "\r"; also the pair "//"
    TOKEN_NAME = -998,
    TOKEN_NUMBER = -997,
    TOKEN_STRING = -996,
    TOKEN_COMMENT = -995,
    TOKEN_FUNCTION = -993,
    TOKEN_END = -992,
    TOKEN_FOR = -991,
    TOKEN_IF = -990,
    TOKEN_THEN = -989,
    TOKEN_ELSE = -988,
    TOKEN_ELSEIF = -987,
    TOKEN_WHILE = -986,
    TOKEN_DO = -985,
    TOKEN_IN = -984,
    TOKEN_LOCAL = -983,
    TOKEN_RETURN = -982,
    TOKEN_REPEAT = -981,
    TOKEN_UNTIL = -980,
    TOKEN_GOTO = -979,
    TOKEN_BREAK = -978,
    TOKEN_API_NAME = -977,    // a registered cart function or a header-script function
    TOKEN_NOT = -974,
    TOKEN_AND = -973,
    TOKEN_OR = -972,
    TOKEN_LE = -968,          // <=
    TOKEN_GE = -967,          // >=
    TOKEN_EQ = -966,          // ==
    TOKEN_NE = -965,          // ~=  !=  <>
    TOKEN_COMPOUND = -964,    // +=  -=  *=  %=
    TOKEN_DIV_ASSIGN = -963,  // /=
    TOKEN_CONCAT = -962,      // ..  (and the vararg "...")
    TOKEN_LITERAL = -961,     // true  false  nil
};

// The tokenizer's state: the text being read, the position after the
// current token, the current token's first byte, its kind and its text
// (cut to ZORVA_IDENT_SIZE - 1 bytes).
constexpr int ZORVA_IDENT_SIZE = 256;
extern const char *token_text;
extern const char *token_pos;
extern const char *token_begin;
extern int tok;
extern char ident[ZORVA_IDENT_SIZE];

// Reads the first token of text / the token at pos (blanks skipped) and
// returns the position after it; at the end of the text the kind is
// TOKEN_EOF and the position stays at the NUL. A null text or position
// reads as the end.
const char *get_first_token(const char *text);
const char *get_next_token(const char *pos);
int get_token();

// text points at an opening long bracket ("[[" or "[", some "=", "[").
// Returns the position just after the closing bracket of the same level,
// or null when there is none (or text is no opening bracket).
const char *find_multiline_end(const char *text);

// The cart's token count: every token counts 1 except newlines, comments,
// the end of the text, "local", "end" and the characters ; ) } ] . , :
int count_tokens(const char *source);
int is_free_token(int kind);

// Editor colour of the current token: keywords (also not, and, or) 14, API
// names 11, strings, numbers, true, false and nil 12, comments 13, names 6,
// anything else 7.
int get_token_color();

// The first occurrence of needle in text whose bytes all have a zero byte
// in mask at the same offsets (mask[i] belongs to text[i]); null when
// there is none or an argument is null.
const char *pstrstr(const char *text, const char *needle, const unsigned char *mask);

constexpr int ZORVA_PREPROCESS_BUFFER_SIZE = 131072;

// Rewrites source into out (out_size bytes, NUL included). Returns the
// length of the result, or -1 when it does not fit (out is then empty;
// nothing partial is ever left to compile). A null source gives "".
//
// Each line (up to its newline; a string carries it over the newlines
// inside it) is rebuilt from its tokens with comments dropped (a comment
// becomes a blank when it stood right after other text; a block comment
// keeps its newlines, and the line ends with them), then, outside
// strings:
//  1. "!=" becomes "~=";
//  2. the glyph bytes 0x8B 0x91 0x94 0x83 0x8E 0x97 0x8F become 0-6;
//  3. each compound assignment "lhs op= rhs" (op one of + - * / %) becomes
//     "lhs = lhs op (rhs) ", where lhs is the name, field and [ ] index
//     chain just before the operator and rhs the expression after it,
//     which ends at an unmatched closing bracket, ";", ",", "=", another
//     assignment, a statement keyword, or where an operand follows an
//     operand; an operator with nothing before it to assign to, or whose
//     lhs holds a newline (a string index over two lines, which written
//     twice would add a line), is left for the compiler to report;
//  4. a line whose first token is "?" becomes "print(...)";
//  5. a line holding no "then" whose "if" (at the line start or after a
//     blank or tab) is followed by a bracketed condition and then by a
//     name (not "and" or "or") becomes "if (cond) then stmt end ".
int zorva_preprocess(const char *source, char *out, int out_size = ZORVA_PREPROCESS_BUFFER_SIZE);
