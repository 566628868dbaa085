// The cart-source tokenizer and preprocessor.
#include "zorva_preprocess.h"

#include "tamu.h"
#include "zorva_bindings.h"

#include <cstring>

const char *token_text = nullptr;
const char *token_pos = nullptr;
const char *token_begin = nullptr;
int tok = TOKEN_EOF;
char ident[ZORVA_IDENT_SIZE];

// ---------------------------------------------------------------------------
// Characters

static bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
static bool is_newline(int c) { return c == '\n' || c == '\r'; }
static bool is_space(int c) { return is_blank(c) || is_newline(c); }
static bool is_digit(int c) { return c >= '0' && c <= '9'; }
static bool is_letter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
static bool is_name_char(int c) { return is_letter(c) || is_digit(c); }
static bool is_hex_digit(int c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// ---------------------------------------------------------------------------
// Tokens

struct scanned_token {
    int kind;
    const char *begin;
    const char *end;
};

struct word_kind {
    const char *word;
    int kind;
};

static const word_kind keywords[] = {
    {"function", TOKEN_FUNCTION}, {"end", TOKEN_END},       {"for", TOKEN_FOR},
    {"if", TOKEN_IF},             {"then", TOKEN_THEN},     {"else", TOKEN_ELSE},
    {"elseif", TOKEN_ELSEIF},     {"while", TOKEN_WHILE},   {"do", TOKEN_DO},
    {"in", TOKEN_IN},             {"local", TOKEN_LOCAL},   {"return", TOKEN_RETURN},
    {"repeat", TOKEN_REPEAT},     {"until", TOKEN_UNTIL},   {"goto", TOKEN_GOTO},
    {"break", TOKEN_BREAK},       {"not", TOKEN_NOT},       {"and", TOKEN_AND},
    {"or", TOKEN_OR},             {"true", TOKEN_LITERAL},  {"false", TOKEN_LITERAL},
    {"nil", TOKEN_LITERAL},
};

// The functions that the header script defines for every cart.
static const char *const header_function_names[] = {"menuitem", "all", "foreach", "count", "add", "del"};

static const word_kind operators[] = {
    {"<=", TOKEN_LE},       {">=", TOKEN_GE},       {"==", TOKEN_EQ},       {"~=", TOKEN_NE},
    {"!=", TOKEN_NE},       {"<>", TOKEN_NE},       {"+=", TOKEN_COMPOUND}, {"-=", TOKEN_COMPOUND},
    {"*=", TOKEN_COMPOUND}, {"%=", TOKEN_COMPOUND}, {"/=", TOKEN_DIV_ASSIGN}, {"..", TOKEN_CONCAT},
};

// The level of the opening long bracket at p ("[[" 0, "[=[" 1, ...), or
// -1 when p holds none.
static int long_bracket_level(const char *p) {
    if (*p != '[') return -1;
    int level = 0;
    while (p[1 + level] == '=') level++;
    return p[1 + level] == '[' ? level : -1;
}

const char *find_multiline_end(const char *text) {
    if (!text) return nullptr;
    int level = long_bracket_level(text);
    if (level < 0) return nullptr;
    for (const char *p = text + level + 2; *p; p++) {
        if (*p != ']') continue;
        int n = 0;
        while (p[1 + n] == '=') n++;
        if (n == level && p[1 + n] == ']') return p + n + 2;
    }
    return nullptr;
}

// The end of a short string whose opening quote is at p: just after the
// closing quote, or, for an unfinished one, at the raw newline or the end
// of the text.
static const char *short_string_end(const char *p) {
    char quote = *p++;
    for (;;) {
        char c = *p;
        if (c == 0 || is_newline(c)) return p;
        if (c == quote) return p + 1;
        if (c != '\\') {
            p++;
            continue;
        }
        c = *++p;
        if (c == 0) return p;
        if (c == 'z') {
            // skips the following spaces, newlines among them
            p++;
            while (is_space(*p)) p++;
        } else if (is_newline(c)) {
            // an escaped newline; "\r\n" and "\n\r" are one
            p++;
            if (is_newline(*p) && *p != c) p++;
        } else {
            p++;
        }
    }
}

// The end of the numeral that starts at p, collected as the script
// compiler collects it: digits, hexadecimal letters and points, and an
// exponent letter with an optional sign.
static const char *numeral_end(const char *p) {
    char e1 = 'e', e2 = 'E';
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        e1 = 'p';
        e2 = 'P';
        p += 2;
    } else {
        p++;
    }
    for (;;) {
        if (*p == e1 || *p == e2) {
            p++;
            if (*p == '+' || *p == '-') p++;
        } else if (is_hex_digit(*p) || *p == '.') {
            p++;
        } else {
            return p;
        }
    }
}

static int name_kind(const char *begin, const char *end) {
    size_t len = static_cast<size_t>(end - begin);
    for (const word_kind &k : keywords)
        if (std::strlen(k.word) == len && std::memcmp(k.word, begin, len) == 0) return k.kind;
    if (len < static_cast<size_t>(ZORVA_API_NAME_SIZE)) {
        char name[ZORVA_API_NAME_SIZE];
        std::memcpy(name, begin, len);
        name[len] = 0;
        for (const char *h : header_function_names)
            if (std::strcmp(h, name) == 0) return TOKEN_API_NAME;
        if (is_api_function_name(name)) return TOKEN_API_NAME;
    }
    return TOKEN_NAME;
}

// Reads the token at p (after any blanks).
static void scan_token(const char *p, scanned_token *t) {
    while (is_blank(*p)) p++;
    t->begin = p;
    char c = *p;
    if (c == 0) {
        t->kind = TOKEN_EOF;
        t->end = p;
    } else if (is_newline(c)) {
        t->kind = TOKEN_NEWLINE;
        t->end = p + 1;
    } else if (c == '/' && p[1] == '/') {
        t->kind = TOKEN_NEWLINE;
        t->end = p + 2;
    } else if (c == '-' && p[1] == '-') {
        t->kind = TOKEN_COMMENT;
        const char *q = p + 2;
        const char *e = long_bracket_level(q) >= 0 ? find_multiline_end(q) : nullptr;
        if (e) {
            t->end = e;
        } else if (long_bracket_level(q) >= 0) {
            t->end = q + std::strlen(q);  // an unfinished block comment runs to the end
        } else {
            while (*q && !is_newline(*q)) q++;
            t->end = q;
        }
    } else if (c == '[' && long_bracket_level(p) >= 0) {
        t->kind = TOKEN_STRING;
        const char *e = find_multiline_end(p);
        t->end = e ? e : p + std::strlen(p);
    } else if (c == '"' || c == '\'') {
        t->kind = TOKEN_STRING;
        t->end = short_string_end(p);
    } else if (c == '.' && p[1] == '.') {
        t->kind = TOKEN_CONCAT;
        t->end = p + (p[2] == '.' ? 3 : 2);
    } else if (is_digit(c) || (c == '.' && is_digit(p[1]))) {
        t->kind = TOKEN_NUMBER;
        t->end = numeral_end(p);
    } else if (is_letter(c)) {
        const char *q = p + 1;
        while (is_name_char(*q)) q++;
        t->end = q;
        t->kind = name_kind(p, q);
    } else {
        for (const word_kind &op : operators) {
            if (c == op.word[0] && p[1] == op.word[1]) {
                t->kind = op.kind;
                t->end = p + 2;
                return;
            }
        }
        t->kind = static_cast<unsigned char>(c);
        t->end = p + 1;
    }
}

const char *get_first_token(const char *text) {
    token_text = text;
    return get_next_token(text);
}

const char *get_next_token(const char *pos) {
    if (!pos) {
        tok = TOKEN_EOF;
        token_begin = token_pos = nullptr;
        ident[0] = 0;
        return nullptr;
    }
    scanned_token t;
    scan_token(pos, &t);
    tok = t.kind;
    token_begin = t.begin;
    token_pos = t.end;
    size_t len = static_cast<size_t>(t.end - t.begin);
    if (len > ZORVA_IDENT_SIZE - 1) len = ZORVA_IDENT_SIZE - 1;
    std::memcpy(ident, t.begin, len);
    ident[len] = 0;
    return t.end;
}

int get_token() { return tok; }

int is_free_token(int kind) {
    switch (kind) {
    case TOKEN_NEWLINE: case TOKEN_COMMENT: case TOKEN_EOF: case TOKEN_LOCAL: case TOKEN_END:
    case ';': case ')': case '}': case ']': case '.': case ',': case ':':
        return 1;
    }
    return 0;
}

int count_tokens(const char *source) {
    if (!source) return 0;
    int count = 0;
    scanned_token t;
    for (const char *p = source;; p = t.end) {
        scan_token(p, &t);
        if (t.kind == TOKEN_EOF) return count;
        if (!is_free_token(t.kind)) count++;
    }
}

int get_token_color() {
    switch (tok) {
    case TOKEN_API_NAME: return 11;
    case TOKEN_STRING: case TOKEN_NUMBER: case TOKEN_LITERAL: return 12;
    case TOKEN_COMMENT: return 13;
    case TOKEN_NAME: return 6;
    case TOKEN_NOT: case TOKEN_AND: case TOKEN_OR: return 14;
    }
    if (tok >= TOKEN_FUNCTION && tok <= TOKEN_BREAK) return 14;
    return 7;
}

const char *pstrstr(const char *text, const char *needle, const unsigned char *mask) {
    if (!text || !needle || !mask) return nullptr;
    size_t n = std::strlen(needle);
    for (const char *p = text; *p; p++) {
        if (std::strncmp(p, needle, n) != 0) continue;
        size_t i = 0;
        while (i < n && mask[(p - text) + i] == 0) i++;
        if (i == n) return p;
    }
    return n == 0 ? text : nullptr;
}

// ---------------------------------------------------------------------------
// The line being rewritten: its text (NUL-terminated), the protection mask
// of its bytes (1 inside strings), its length and the most it may hold.
// The buffers grow as the line does.

struct pp_line {
    char *text;
    unsigned char *mask;
    int len;
    int cap;                   // the longest the line may become
    int size;                  // bytes in each buffer
    char *spare;               // room for a moved tail
    unsigned char *spare_mask;
};

// Makes room for a line of n bytes; false when n is over the cap.
static bool line_reserve(pp_line *l, int n) {
    if (n > l->cap) return false;
    if (n < l->size) return true;
    int size = l->size;
    while (size <= n) size = size > l->cap / 2 ? l->cap + 1 : size * 2;
    l->text = static_cast<char *>(tamu_realloc(l->text, size));
    l->mask = static_cast<unsigned char *>(tamu_realloc(l->mask, size));
    l->spare = static_cast<char *>(tamu_realloc(l->spare, size));
    l->spare_mask = static_cast<unsigned char *>(tamu_realloc(l->spare_mask, size));
    l->size = size;
    return true;
}

static bool line_append(pp_line *l, const char *s, int n, unsigned char protect) {
    if (n > l->cap - l->len || !line_reserve(l, l->len + n)) return false;
    std::memcpy(l->text + l->len, s, static_cast<size_t>(n));
    std::memset(l->mask + l->len, protect, static_cast<size_t>(n));
    l->len += n;
    l->text[l->len] = 0;
    return true;
}

// Replaces n bytes at pos with the text ins (unprotected).
static bool line_replace(pp_line *l, int pos, int n, const char *ins) {
    int m = static_cast<int>(std::strlen(ins));
    if (!line_reserve(l, l->len - n + m)) return false;
    int tail = l->len - (pos + n);
    std::memmove(l->text + pos + m, l->text + pos + n, static_cast<size_t>(tail));
    std::memmove(l->mask + pos + m, l->mask + pos + n, static_cast<size_t>(tail));
    std::memcpy(l->text + pos, ins, static_cast<size_t>(m));
    std::memset(l->mask + pos, 0, static_cast<size_t>(m));
    l->len += m - n;
    l->text[l->len] = 0;
    return true;
}

static bool unprotected(const pp_line *l, int i, int n) {
    for (int k = 0; k < n; k++)
        if (l->mask[i + k]) return false;
    return true;
}

// Rules 1 and 2: "!=" and the glyph bytes, everywhere outside strings.
static void replace_operators_and_glyphs(pp_line *l) {
    static const unsigned char glyphs[7] = {0x8B, 0x91, 0x94, 0x83, 0x8E, 0x97, 0x8F};
    for (int i = 0; i < l->len; i++) {
        if (l->mask[i]) continue;
        unsigned char c = static_cast<unsigned char>(l->text[i]);
        if (c == '!' && l->text[i + 1] == '=' && !l->mask[i + 1]) {
            l->text[i] = '~';
            continue;
        }
        for (int d = 0; d < 7; d++)
            if (c == glyphs[d]) l->text[i] = static_cast<char>('0' + d);
    }
}

// The start of the assignment target that ends at end: names, digits,
// points and [ ] groups going back. end itself when there is none.
static int target_start(const pp_line *l, int end) {
    int s = end;
    while (s > 0 && !l->mask[s - 1]) {
        char c = l->text[s - 1];
        if (is_name_char(c) || c == '.') {
            s--;
        } else if (c == ']') {
            int depth = 0, k = s - 1;
            for (; k >= 0; k--) {
                if (l->mask[k]) continue;
                if (l->text[k] == ']') depth++;
                else if (l->text[k] == '[' && --depth == 0) break;
            }
            if (k < 0) break;
            s = k;
        } else {
            break;
        }
    }
    return s;
}

// The keywords from "end" to "break" (not "function", which starts a value).
static bool is_statement_keyword(int kind) { return kind > TOKEN_FUNCTION && kind <= TOKEN_BREAK; }

static bool ends_operand(const scanned_token *t) {
    switch (t->kind) {
    case TOKEN_NAME: case TOKEN_API_NAME: case TOKEN_NUMBER: case TOKEN_STRING: case TOKEN_LITERAL:
        return true;
    case TOKEN_CONCAT:
        return t->end - t->begin == 3;  // "..."
    }
    return false;
}

static bool starts_operand(const scanned_token *t) {
    switch (t->kind) {
    case TOKEN_NAME: case TOKEN_API_NAME: case TOKEN_NUMBER: case TOKEN_LITERAL: case TOKEN_FUNCTION:
    case TOKEN_NOT: case '#':
        return true;
    case TOKEN_CONCAT:
        return t->end - t->begin == 3;
    }
    return false;
}

// The position just after the bracket that closes the one at open
// (brackets in strings ignored), or the end of the line when none does.
static int group_end(const pp_line *l, int open) {
    int depth = 0;
    for (int k = open; k < l->len; k++) {
        if (l->mask[k]) continue;
        char c = l->text[k];
        if (c == '(' || c == '[' || c == '{') depth++;
        else if ((c == ')' || c == ']' || c == '}') && --depth == 0) return k + 1;
    }
    return l->len;
}

// The end of the right-hand side that starts at from: the end of its last
// token (from itself when it has none). Bracketed groups are passed over
// whole.
static int expression_end(const pp_line *l, int from) {
    bool after_operand = false;
    int end = from;
    scanned_token t;
    for (const char *p = l->text + from;;) {
        scan_token(p, &t);
        p = t.end;
        if (t.kind == TOKEN_EOF) break;
        if (t.kind == TOKEN_NEWLINE && t.end - t.begin == 1) continue;
        int k = t.kind;
        if (k == ')' || k == ']' || k == '}' || k == ';' || k == ',' || k == '=' ||
            k == TOKEN_COMPOUND || k == TOKEN_DIV_ASSIGN || is_statement_keyword(k))
            break;
        // a second operand with no operator before it starts a new
        // statement; a string, table or bracket after one is a call
        if (after_operand && starts_operand(&t)) break;
        if (k == '(' || k == '[' || k == '{') {
            end = group_end(l, static_cast<int>(t.begin - l->text));
            p = l->text + end;
            after_operand = true;
        } else {
            end = static_cast<int>(t.end - l->text);
            after_operand = ends_operand(&t);
        }
    }
    return end;
}

// Rule 3 for the operator at op (op and op + 1 hold "x="): the text up to
// the target end e (target from s), then " = ", the target, " ", the
// operator character, " (", the right-hand side up to rhs_end, ") " and
// the rest. Returns where the right-hand side now starts, or -1 when the
// line would not fit.
static int rewrite_compound(pp_line *l, int s, int e, int op, int rhs_end) {
    int rhs = op + 2;
    int tail = l->len - rhs;
    int target = e - s;
    if (!line_reserve(l, e + 3 + target + 4 + tail + 2)) return -1;
    std::memcpy(l->spare, l->text + rhs, static_cast<size_t>(tail));
    std::memcpy(l->spare_mask, l->mask + rhs, static_cast<size_t>(tail));
    char op_char = l->text[op];

    int w = e;
    auto put = [&](const char *s_, int n) {
        std::memcpy(l->text + w, s_, static_cast<size_t>(n));
        std::memset(l->mask + w, 0, static_cast<size_t>(n));
        w += n;
    };
    put(" = ", 3);
    std::memmove(l->text + w, l->text + s, static_cast<size_t>(target));  // s + target <= w
    std::memmove(l->mask + w, l->mask + s, static_cast<size_t>(target));
    w += target;
    char middle[4] = {' ', op_char, ' ', '('};
    put(middle, 4);
    int rhs_start = w;
    int rhs_len = rhs_end - rhs;
    std::memcpy(l->text + w, l->spare, static_cast<size_t>(rhs_len));
    std::memcpy(l->mask + w, l->spare_mask, static_cast<size_t>(rhs_len));
    w += rhs_len;
    put(") ", 2);
    std::memcpy(l->text + w, l->spare + rhs_len, static_cast<size_t>(tail - rhs_len));
    std::memcpy(l->mask + w, l->spare_mask + rhs_len, static_cast<size_t>(tail - rhs_len));
    w += tail - rhs_len;
    l->len = w;
    l->text[w] = 0;
    return rhs_start;
}

static bool is_compound_at(const pp_line *l, int i) {
    char c = l->text[i];
    return (c == '+' || c == '-' || c == '*' || c == '/' || c == '%') && l->text[i + 1] == '=' &&
           unprotected(l, i, 2);
}

// Rule 3, left to right. An operator rewritten leaves nothing before its
// right-hand side to rewrite, so the search goes on from there.
static bool rewrite_compound_assignments(pp_line *l) {
    for (int i = 0; i + 1 < l->len; i++) {
        if (!is_compound_at(l, i)) continue;
        int e = i;
        while (e > 0 && !l->mask[e - 1] && (l->text[e - 1] == ' ' || l->text[e - 1] == '\t')) e--;
        int s = target_start(l, e);
        // Nothing to assign to, or a target that holds a newline (in a
        // string index) and would add a line when written twice: left for
        // the compiler to report.
        if (s == e || std::memchr(l->text + s, '\n', static_cast<size_t>(e - s)) ||
            std::memchr(l->text + s, '\r', static_cast<size_t>(e - s)))
            continue;
        int rhs_start = rewrite_compound(l, s, e, i, expression_end(l, i + 2));
        if (rhs_start < 0) return false;
        i = rhs_start - 1;
    }
    return true;
}

// Rule 4: a leading "?" is print.
static bool rewrite_print(pp_line *l) {
    scanned_token t;
    scan_token(l->text, &t);
    if (t.kind != '?') return true;
    int at = static_cast<int>(t.begin - l->text);
    return line_replace(l, at, 1, "print(") && line_append(l, ")", 1, 0);
}

static bool is_word_at(const pp_line *l, int i, int n) {
    return (i == 0 || !is_name_char(l->text[i - 1])) && !is_name_char(l->text[i + n]);
}

// The first "if" followed by text (outside strings) that stands as a word
// of its own, or -1.
static int find_if(const pp_line *l, const char *text) {
    int from = 0;
    for (;;) {
        const char *p = pstrstr(l->text + from, text, l->mask + from);
        if (!p) return -1;
        int i = static_cast<int>(p - l->text);
        if (i == 0 || !is_name_char(l->text[i - 1])) return i;
        from = i + 1;
    }
}

static bool has_then(const pp_line *l) {
    int from = 0;
    for (;;) {
        const char *p = pstrstr(l->text + from, "then", l->mask + from);
        if (!p) return false;
        int i = static_cast<int>(p - l->text);
        if (is_word_at(l, i, 4)) return true;
        from = i + 1;
    }
}

// Rule 5: the one-line if.
static bool rewrite_short_if(pp_line *l) {
    int at = find_if(l, "if(");
    if (at < 0) at = find_if(l, "if ");
    if (at < 0 || has_then(l)) return true;
    if (at > 0 && l->text[at - 1] != ' ' && l->text[at - 1] != '\t') return true;
    int i = at + 2;
    while (l->text[i] == ' ' || l->text[i] == '\t') i++;
    if (l->text[i] != '(' || l->mask[i]) return true;
    int depth = 0, close = -1;
    for (int k = i; k < l->len; k++) {
        if (l->mask[k]) continue;
        if (l->text[k] == '(') depth++;
        else if (l->text[k] == ')' && --depth == 0) {
            close = k;
            break;
        }
    }
    if (close < 0) return true;
    int rest = close + 1;
    while (l->text[rest] == ' ' || l->text[rest] == '\t') rest++;
    if (!is_letter(l->text[rest]) || l->mask[rest]) return true;
    scanned_token t;
    scan_token(l->text + rest, &t);
    if (t.kind == TOKEN_AND || t.kind == TOKEN_OR) return true;
    return line_replace(l, close + 1, rest - (close + 1), " then ") && line_append(l, " end ", 5, 0);
}

// Reads the line that starts at *pos into l (comments dropped, strings
// protected) and moves *pos past it. The line ends at a newline, or with
// the newlines of a block comment, as it does for the compiler; the
// source text from *ends to *ends_end holds those newlines (nothing at the
// end of the text), to be put back after the line is rewritten.
static bool read_line(pp_line *l, const char **pos, const char **ends, const char **ends_end) {
    l->len = 0;
    l->text[0] = 0;
    scanned_token t;
    const char *p = *pos;
    for (;; p = t.end) {
        scan_token(p, &t);
        if (!line_append(l, p, static_cast<int>(t.begin - p), 0)) return false;  // blanks
        bool newline = t.kind == TOKEN_NEWLINE && t.end - t.begin == 1;
        if (t.kind == TOKEN_COMMENT) {
            // a blank keeps the text on both sides apart
            if (l->len > 0 && !is_space(l->text[l->len - 1]) && !line_append(l, " ", 1, 0)) return false;
            for (const char *c = t.begin; c < t.end && !newline; c++) newline = is_newline(*c);
        } else if (t.kind != TOKEN_EOF && !newline &&
                   !line_append(l, t.begin, static_cast<int>(t.end - t.begin), t.kind == TOKEN_STRING ? 1 : 0)) {
            return false;
        }
        if (t.kind == TOKEN_EOF || newline) {
            *ends = t.begin;
            *ends_end = t.end;
            *pos = t.end;
            return true;
        }
    }
}

int zorva_preprocess(const char *source, char *out, int out_size) {
    if (!out || out_size <= 0) return -1;
    out[0] = 0;
    if (!source) return 0;

    // A line as read, and while it is rewritten, may be longer than it
    // ends up (the one-line if drops the blanks before its statement): it
    // gets twice the output's room, and only the result has to fit.
    pp_line l;
    long long room = 2LL * out_size;
    l.cap = room > 0x7FFFFFF0 ? 0x7FFFFFF0 : static_cast<int>(room);
    l.size = 256;
    l.text = static_cast<char *>(tamu_malloc(l.size));
    l.mask = static_cast<unsigned char *>(tamu_malloc(l.size));
    l.spare = static_cast<char *>(tamu_malloc(l.size));
    l.spare_mask = static_cast<unsigned char *>(tamu_malloc(l.size));

    int out_len = 0;
    bool ok = true;
    const char *p = source;
    while (ok && *p) {
        const char *ends, *ends_end;
        ok = read_line(&l, &p, &ends, &ends_end);
        if (!ok) break;
        replace_operators_and_glyphs(&l);
        ok = rewrite_compound_assignments(&l) && rewrite_print(&l) && rewrite_short_if(&l);
        for (const char *c = ends; ok && c < ends_end; c++)
            if (is_newline(*c)) ok = line_append(&l, c, 1, 0);
        if (!ok || l.len > out_size - 1 - out_len) {
            ok = false;
            break;
        }
        std::memcpy(out + out_len, l.text, static_cast<size_t>(l.len));
        out_len += l.len;
        out[out_len] = 0;
    }

    tamu_free(l.text);
    tamu_free(l.mask);
    tamu_free(l.spare);
    tamu_free(l.spare_mask);
    if (!ok) {
        out[0] = 0;
        return -1;
    }
    return out_len;
}
