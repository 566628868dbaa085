// The lexer.
#include "llex.h"

#include <clocale>
#include <cstdio>
#include <cstring>

#include "ldo.h"
#include "lgc.h"
#include "lmem.h"
#include "lparser.h"
#include "lstate.h"
#include "lstring.h"
#include "ltable.h"

const char *const luaX_tokens[] = {
    "and",  "break", "do",     "else", "elseif", "end",   "false",   "for",      "function", "goto",     "if",
    "in",   "local", "nil",    "not",  "or",     "repeat", "return", "then",     "true",     "until",    "while",
    "..",   "...",   "==",     ">=",   "<=",     "~=",    "::",      "<eof>",    "<number>", "<name>",   "<string>"};

// ---- Character classes -----------------------------------------------------
// Indexed by character + 1, so that the end of input (-1) has an entry.

namespace {

enum : unsigned char { C_ALPHA = 1, C_DIGIT = 2, C_PRINT = 4, C_SPACE = 8, C_XDIGIT = 16 };

struct CharClasses {
    unsigned char c[257];
    constexpr CharClasses() : c() {
        for (int ch = 0; ch < 256; ch++) {
            unsigned char m = 0;
            if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == '_') m |= C_ALPHA;
            if (ch >= '0' && ch <= '9') m |= C_DIGIT | C_XDIGIT;
            if ((ch >= 'A' && ch <= 'F') || (ch >= 'a' && ch <= 'f')) m |= C_XDIGIT;
            if (ch >= 0x20 && ch <= 0x7E) m |= C_PRINT;
            if (ch == ' ' || (ch >= '\t' && ch <= '\r')) m |= C_SPACE;
            c[ch + 1] = m;
        }
    }
};

constexpr CharClasses char_classes;

inline bool has_class(int ch, unsigned char m) { return (char_classes.c[ch + 1] & m) != 0; }
inline bool is_alpha(int ch) { return has_class(ch, C_ALPHA); }
inline bool is_alnum(int ch) { return has_class(ch, C_ALPHA | C_DIGIT); }
inline bool is_digit(int ch) { return has_class(ch, C_DIGIT); }
inline bool is_xdigit(int ch) { return has_class(ch, C_XDIGIT); }
inline bool is_space(int ch) { return has_class(ch, C_SPACE); }
inline bool is_print(int ch) { return has_class(ch, C_PRINT); }
inline bool is_newline(int ch) { return ch == '\n' || ch == '\r'; }

inline int hexvalue(int ch) { return is_digit(ch) ? ch - '0' : (ch | 0x20) - 'a' + 10; }

// ---- Input and the token buffer --------------------------------------------

inline void advance(LexState *ls) { ls->current = zgetc(ls->z); }

[[noreturn]] void lexerror(LexState *ls, const char *msg, int token);

void save(LexState *ls, int c) {
    Mbuffer *b = ls->buff;
    if (luaZ_bufflen(b) + 1 > luaZ_sizebuffer(b)) {
        if (luaZ_sizebuffer(b) >= MAX_SIZET / 2) lexerror(ls, "lexical element too long", 0);
        size_t newsize = luaZ_sizebuffer(b) * 2;
        if (newsize < LUA_MINBUFFER) newsize = LUA_MINBUFFER;
        luaZ_resizebuffer(ls->L, b, newsize);
    }
    b->buffer[luaZ_bufflen(b)++] = (char)c;
}

inline void save_and_advance(LexState *ls) {
    save(ls, ls->current);
    advance(ls);
}

// Consumes the current character when it is one of the (one or two)
// characters of set (never a zero byte, which strchr would find).
bool accept(LexState *ls, const char *set) {
    if (ls->current <= 0 || std::strchr(set, ls->current) == nullptr) return false;
    save_and_advance(ls);
    return true;
}

// Pushes the text of a token for a "near" part.
const char *token_text(LexState *ls, int token) {
    switch (token) {
    case TK_NAME:
    case TK_STRING:
    case TK_NUMBER:
        save(ls, '\0');
        return luaO_pushfstring(ls->L, "'%s'", luaZ_buffer(ls->buff));
    default: return luaX_token2str(ls, token);
    }
}

void lexerror(LexState *ls, const char *msg, int token) {
    char where[LUA_IDSIZE];
    luaO_chunkid(where, getstr(ls->source), LUA_IDSIZE);
    // Line numbers are formatted here as plain decimals, whatever their size.
    char line[16];
    std::snprintf(line, sizeof(line), "%d", ls->linenumber);
    msg = luaO_pushfstring(ls->L, "%s:%s: %s", where, line, msg);
    if (token) luaO_pushfstring(ls->L, "%s near %s", msg, token_text(ls, token));
    luaD_throw(ls->L, LUA_ERRSYNTAX);
}

// Skips a newline of any of the forms LF, CR, LF CR, CR LF and counts it.
void newline(LexState *ls) {
    int first = ls->current;
    advance(ls);
    if (is_newline(ls->current) && ls->current != first) advance(ls);
    if (++ls->linenumber >= MAX_INT) luaX_syntaxerror(ls, "chunk has too many lines");
}

// ---- Long brackets ---------------------------------------------------------

// At a '[' or ']': saves it and the '=' signs after it. Returns their
// count when the same bracket follows, else -(count) - 1.
int bracket_level(LexState *ls) {
    int bracket = ls->current;
    int count = 0;
    save_and_advance(ls);
    while (ls->current == '=') {
        save_and_advance(ls);
        count++;
    }
    return ls->current == bracket ? count : -count - 1;
}

// Reads a long string (seminfo given) or long comment (seminfo null) of
// the given level; the current character is its second opening bracket.
void long_bracket(LexState *ls, SemInfo *seminfo, int level) {
    save_and_advance(ls);
    if (is_newline(ls->current)) newline(ls); // a first newline is dropped
    for (;;) {
        int c = ls->current;
        if (c == EOZ) {
            lexerror(ls, seminfo ? "unfinished long string" : "unfinished long comment", TK_EOS);
        } else if (c == ']') {
            if (bracket_level(ls) == level) {
                save_and_advance(ls);
                break;
            }
        } else if (is_newline(c)) {
            save(ls, '\n');
            newline(ls);
            if (!seminfo) luaZ_resetbuffer(ls->buff); // comments need no text
        } else if (seminfo) {
            save_and_advance(ls);
        } else {
            advance(ls);
        }
    }
    if (seminfo) {
        size_t skip = (size_t)(2 + level);
        seminfo->ts = luaX_newstring(ls, luaZ_buffer(ls->buff) + skip, luaZ_bufflen(ls->buff) - 2 * skip);
    }
}

// ---- Short strings ---------------------------------------------------------

// An error in an escape: shown as the backslash and the characters read.
[[noreturn]] void escape_error(LexState *ls, const int *chars, int n, const char *msg) {
    luaZ_resetbuffer(ls->buff);
    save(ls, '\\');
    for (int i = 0; i < n && chars[i] != EOZ; i++) save(ls, chars[i]);
    lexerror(ls, msg, TK_STRING);
}

// After "\x": exactly two hexadecimal digits.
int hex_escape(LexState *ls) {
    int seen[3] = {'x', 0, 0};
    int value = 0;
    for (int i = 1; i <= 2; i++) {
        advance(ls);
        seen[i] = ls->current;
        if (!is_xdigit(seen[i])) escape_error(ls, seen, i + 1, "hexadecimal digit expected");
        value = value * 16 + hexvalue(seen[i]);
    }
    advance(ls);
    return value;
}

// "\ddd": one to three decimal digits, at most 255.
int decimal_escape(LexState *ls) {
    int seen[3] = {0, 0, 0};
    int value = 0;
    int n = 0;
    while (n < 3 && is_digit(ls->current)) {
        seen[n++] = ls->current;
        value = value * 10 + (ls->current - '0');
        advance(ls);
    }
    if (value > 255) escape_error(ls, seen, n, "decimal escape too large");
    return value;
}

void short_string(LexState *ls, int quote, SemInfo *seminfo) {
    save_and_advance(ls); // the opening quote stays in the buffer for messages
    while (ls->current != quote) {
        switch (ls->current) {
        case EOZ: lexerror(ls, "unfinished string", TK_EOS);
        case '\n':
        case '\r': lexerror(ls, "unfinished string", TK_STRING);
        case '\\': {
            advance(ls); // the backslash is not saved
            int c = ls->current;
            switch (c) {
            case 'a': save(ls, '\a'); advance(ls); break;
            case 'b': save(ls, '\b'); advance(ls); break;
            case 'f': save(ls, '\f'); advance(ls); break;
            case 'n': save(ls, '\n'); advance(ls); break;
            case 'r': save(ls, '\r'); advance(ls); break;
            case 't': save(ls, '\t'); advance(ls); break;
            case 'v': save(ls, '\v'); advance(ls); break;
            case '\\':
            case '"':
            case '\'': save_and_advance(ls); break;
            case 'x': save(ls, hex_escape(ls)); break;
            case '\n':
            case '\r':
                newline(ls);
                save(ls, '\n');
                break;
            case 'z': // skips the following white space, newlines included
                advance(ls);
                while (is_space(ls->current)) {
                    if (is_newline(ls->current)) newline(ls);
                    else advance(ls);
                }
                break;
            case EOZ: break; // the next round reports the unfinished string
            default:
                if (!is_digit(c)) escape_error(ls, &ls->current, 1, "invalid escape sequence");
                save(ls, decimal_escape(ls));
                break;
            }
            break;
        }
        default: save_and_advance(ls);
        }
    }
    save_and_advance(ls); // the closing quote
    seminfo->ts = luaX_newstring(ls, luaZ_buffer(ls->buff) + 1, luaZ_bufflen(ls->buff) - 2);
}

// ---- Numerals --------------------------------------------------------------

void replace_points(LexState *ls, char from, char to) {
    char *p = luaZ_buffer(ls->buff);
    for (size_t n = luaZ_bufflen(ls->buff); n-- > 0;)
        if (p[n] == from) p[n] = to;
}

bool convert_numeral(LexState *ls, zorva_fixed *out) {
    // the length excludes the terminating zero that was saved
    return luaO_str2d(luaZ_buffer(ls->buff), luaZ_bufflen(ls->buff) - 1, out) != 0;
}

// Collects the characters that may form a numeral (hexadecimal digits,
// points, exponent letters with their sign) and converts them whole.
void numeral(LexState *ls, SemInfo *seminfo) {
    const char *exponent = "Ee";
    int first = ls->current;
    save_and_advance(ls);
    if (first == '0' && accept(ls, "xX")) exponent = "Pp";
    for (;;) {
        if (accept(ls, exponent)) accept(ls, "+-");
        if (is_xdigit(ls->current) || ls->current == '.') save_and_advance(ls);
        else break;
    }
    save(ls, '\0');
    replace_points(ls, '.', ls->decpoint);
    zorva_fixed value;
    if (!convert_numeral(ls, &value)) {
        // Perhaps the locale has another decimal point: try it once.
        char old = ls->decpoint;
        const struct lconv *cv = std::localeconv();
        ls->decpoint = (cv && cv->decimal_point && cv->decimal_point[0]) ? cv->decimal_point[0] : '.';
        replace_points(ls, old, ls->decpoint);
        if (!convert_numeral(ls, &value)) {
            replace_points(ls, ls->decpoint, '.');
            lexerror(ls, "malformed number", TK_NUMBER);
        }
    }
    seminfo->r = value;
}

// ---- The scanner -----------------------------------------------------------

int scan(LexState *ls, SemInfo *seminfo) {
    luaZ_resetbuffer(ls->buff);
    for (;;) {
        int c = ls->current;
        switch (c) {
        case '\n':
        case '\r': newline(ls); break;
        case ' ':
        case '\f':
        case '\t':
        case '\v': advance(ls); break;
        case '-':
            advance(ls);
            if (ls->current != '-') return '-';
            advance(ls);
            if (ls->current == '[') {
                int level = bracket_level(ls);
                luaZ_resetbuffer(ls->buff);
                if (level >= 0) {
                    long_bracket(ls, nullptr, level);
                    luaZ_resetbuffer(ls->buff);
                    break;
                }
            }
            // a line comment (also after a bracket that opens nothing)
            while (!is_newline(ls->current) && ls->current != EOZ) advance(ls);
            break;
        case '[': {
            int level = bracket_level(ls);
            if (level >= 0) {
                long_bracket(ls, seminfo, level);
                return TK_STRING;
            }
            if (level == -1) return '[';
            lexerror(ls, "invalid long string delimiter", TK_STRING);
        }
        case '=':
            advance(ls);
            if (ls->current != '=') return '=';
            advance(ls);
            return TK_EQ;
        case '<':
            advance(ls);
            if (ls->current != '=') return '<';
            advance(ls);
            return TK_LE;
        case '>':
            advance(ls);
            if (ls->current != '=') return '>';
            advance(ls);
            return TK_GE;
        case '~':
            advance(ls);
            if (ls->current != '=') return '~';
            advance(ls);
            return TK_NE;
        case ':':
            advance(ls);
            if (ls->current != ':') return ':';
            advance(ls);
            return TK_DBCOLON;
        case '"':
        case '\'': short_string(ls, c, seminfo); return TK_STRING;
        case '.':
            save_and_advance(ls);
            if (accept(ls, ".")) return accept(ls, ".") ? TK_DOTS : TK_CONCAT;
            if (!is_digit(ls->current)) return '.';
            numeral(ls, seminfo);
            return TK_NUMBER;
        case EOZ: return TK_EOS;
        default:
            if (is_digit(c)) {
                numeral(ls, seminfo);
                return TK_NUMBER;
            }
            if (is_alpha(c)) {
                do save_and_advance(ls);
                while (is_alnum(ls->current));
                TString *ts = luaX_newstring(ls, luaZ_buffer(ls->buff), luaZ_bufflen(ls->buff));
                seminfo->ts = ts;
                if (isreserved(ts)) return ts->extra - 1 + FIRST_RESERVED;
                return TK_NAME;
            }
            advance(ls); // any other byte is a token of its own
            return c;
        }
    }
}

} // namespace

// ---- Interface -------------------------------------------------------------

void luaX_init(lua_State *L) { luaS_initreserved(L); }

const char *luaX_token2str(LexState *ls, int token) {
    char text[32];
    if (token < FIRST_RESERVED) {
        if (is_print(token)) std::snprintf(text, sizeof(text), "'%c'", token);
        else std::snprintf(text, sizeof(text), "char(%d)", token);
    } else if (token < TK_EOS) {
        std::snprintf(text, sizeof(text), "'%s'", luaX_tokens[token - FIRST_RESERVED]);
    } else {
        std::snprintf(text, sizeof(text), "%s", luaX_tokens[token - FIRST_RESERVED]);
    }
    return luaO_pushfstring(ls->L, "%s", text);
}

void luaX_syntaxerror(LexState *ls, const char *msg) { lexerror(ls, msg, ls->t.token); }

TString *luaX_newstring(LexState *ls, const char *str, size_t l) {
    lua_State *L = ls->L;
    TString *ts = luaS_newlstr(L, str, l);
    luaD_checkstack(L, 1);
    setsvalue2s(L, L->top, ts); // keeps the string while the table grows
    L->top++;
    TValue *slot = luaH_set(L, ls->fs->h, L->top - 1);
    if (ttisnil(slot)) {
        setbvalue(slot, 1); // anchored until the function is finished
        L->top--;
        luaC_checkGC(L);
    } else {
        // Already anchored (maybe as a constant): use the anchored copy.
        ts = rawtsvalue(&reinterpret_cast<Node *>(slot)->i_key.tvk);
        L->top--;
    }
    return ts;
}

void luaX_setinput(lua_State *L, LexState *ls, ZIO *z, TString *source, int firstchar) {
    ls->decpoint = '.';
    ls->L = L;
    ls->current = firstchar;
    ls->lookahead.token = TK_EOS;
    ls->t.token = 0;
    ls->z = z;
    ls->fs = nullptr;
    ls->linenumber = 1;
    ls->lastline = 1;
    ls->source = source;
    ls->envn = luaS_new(L, "_ENV");
    luaS_fix(ls->envn); // never collected
    luaZ_resizebuffer(L, ls->buff, LUA_MINBUFFER);
    luaZ_resetbuffer(ls->buff);
}

void luaX_next(LexState *ls) {
    ls->lastline = ls->linenumber;
    if (ls->lookahead.token != TK_EOS) {
        ls->t = ls->lookahead;
        ls->lookahead.token = TK_EOS;
    } else {
        ls->t.token = scan(ls, &ls->t.seminfo);
    }
}

int luaX_lookahead(LexState *ls) {
    ls->lookahead.token = scan(ls, &ls->lookahead.seminfo);
    return ls->lookahead.token;
}
