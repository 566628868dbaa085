// The string library: byte, char, dump, find, format, gmatch, gsub, len,
// lower, match, rep, reverse, sub, upper, and the strings' metatable.
//
// Carts see only sub (as the global sub); no script state of the console
// opens the library. Positions, lengths, counts and byte codes are whole
// numbers: arguments are read through the integer accessors (the floor)
// and results pushed as whole numbers (so #s and len(s) agree, wrapping
// alike past 32767). string.format formats a number's real value.
#include "lauxlib.h"
#include "lualib.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// A whole-number result (wrapping past 32767, as # does).
void push_whole(lua_State *L, int64_t n) { lua_pushunsigned(L, (lua_Unsigned)(uint32_t)n); }

// Position p (a whole number) in a string of len characters: a negative p
// counts back from the end (-1 is the last character), and one that falls
// before the start gives 0.
int64_t string_position(lua_Integer p, int64_t len) {
    if (p >= 0) return p;
    if (-(int64_t)p > len) return 0;
    return len + p + 1;
}

int str_len(lua_State *L) {
    size_t l;
    luaL_checklstring(L, 1, &l);
    push_whole(L, (int64_t)l);
    return 1;
}

int str_reverse(lua_State *L) {
    size_t l;
    const char *s = luaL_checklstring(L, 1, &l);
    luaL_Buffer b;
    char *p = luaL_buffinitsize(L, &b, l);
    for (size_t i = 0; i < l; i++) p[i] = s[l - 1 - i];
    luaL_pushresultsize(&b, l);
    return 1;
}

int lower_byte(int c) { return std::tolower(c); }
int upper_byte(int c) { return std::toupper(c); }

template <int (*convert)(int)> int str_case(lua_State *L) {
    size_t l;
    const char *s = luaL_checklstring(L, 1, &l);
    luaL_Buffer b;
    char *p = luaL_buffinitsize(L, &b, l);
    for (size_t i = 0; i < l; i++) p[i] = (char)convert((unsigned char)s[i]);
    luaL_pushresultsize(&b, l);
    return 1;
}

int str_rep(lua_State *L) {
    size_t l, lsep;
    const char *s = luaL_checklstring(L, 1, &l);
    lua_Integer n = luaL_checkinteger(L, 2);
    const char *sep = luaL_optlstring(L, 3, "", &lsep);
    if (n <= 0) {
        lua_pushliteral(L, "");
        return 1;
    }
    size_t unit = l + lsep;
    if (unit < l || unit > (size_t)INT32_MAX / (size_t)n) return luaL_error(L, "resulting string too large");
    size_t total = (size_t)n * l + (size_t)(n - 1) * lsep;
    luaL_Buffer b;
    char *p = luaL_buffinitsize(L, &b, total);
    for (lua_Integer i = 0; i < n; i++) {
        std::memcpy(p, s, l);
        p += l;
        if (i + 1 < n && lsep > 0) {
            std::memcpy(p, sep, lsep);
            p += lsep;
        }
    }
    luaL_pushresultsize(&b, total);
    return 1;
}

int str_byte(lua_State *L) {
    size_t l;
    const char *s = luaL_checklstring(L, 1, &l);
    int64_t len = (int64_t)l;
    int64_t first = string_position(luaL_optinteger(L, 2, 1), len);
    int64_t last = string_position(luaL_optinteger(L, 3, first), len);
    if (first < 1) first = 1;
    if (last > len) last = len;
    if (first > last) return 0;
    if (last - first >= INT32_MAX) return luaL_error(L, "string slice too long");
    int n = (int)(last - first + 1);
    luaL_checkstack(L, n, "string slice too long");
    for (int i = 0; i < n; i++) push_whole(L, (unsigned char)s[first + i - 1]);
    return n;
}

int str_char(lua_State *L) {
    int n = lua_gettop(L);
    luaL_Buffer b;
    char *p = luaL_buffinitsize(L, &b, (size_t)n);
    for (int i = 1; i <= n; i++) {
        lua_Unsigned c = luaL_checkunsigned(L, i);
        luaL_argcheck(L, c <= 255, i, "value out of range");
        p[i - 1] = (char)c;
    }
    luaL_pushresultsize(&b, (size_t)n);
    return 1;
}

int dump_writer(lua_State *, const void *p, size_t size, void *b) {
    luaL_addlstring(static_cast<luaL_Buffer *>(b), static_cast<const char *>(p), size);
    return 0;
}

int str_dump(lua_State *L) {
    luaL_checktype(L, 1, LUA_TFUNCTION);
    lua_settop(L, 1);
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    if (lua_dump(L, dump_writer, &b) != 0) return luaL_error(L, "unable to dump given function");
    luaL_pushresult(&b);
    return 1;
}

// ---------------------------------------------------------------------------
// Patterns

constexpr int max_captures = 32;
constexpr int max_match_depth = 200;
constexpr ptrdiff_t capture_unfinished = -1;
constexpr ptrdiff_t capture_position = -2;
constexpr char escape = '%';
constexpr const char *specials = "^$*+?.([%-";

struct Matcher {
    const char *src_init; // the subject
    const char *src_end;
    const char *p_end;    // end of the pattern
    lua_State *L;
    int depth;            // nested match calls still allowed
    int level;            // captures opened so far
    struct {
        const char *init;
        ptrdiff_t len;
    } capture[max_captures];
};

int capture_to_close(Matcher *ms) {
    for (int level = ms->level - 1; level >= 0; level--)
        if (ms->capture[level].len == capture_unfinished) return level;
    return luaL_error(ms->L, "invalid pattern capture");
}

// The end of the single-character class that starts at p.
const char *class_end(Matcher *ms, const char *p) {
    char c = *p++;
    if (c == escape) {
        if (p >= ms->p_end) luaL_error(ms->L, "malformed pattern (ends with '%%')");
        return p + 1;
    }
    if (c == '[') {
        if (p < ms->p_end && *p == '^') p++;
        // The first character of a set is itself even when it is ']'.
        do {
            if (p >= ms->p_end) luaL_error(ms->L, "malformed pattern (missing ']')");
            c = *p++;
            if (c == escape && p < ms->p_end) p++;
        } while (p >= ms->p_end || *p != ']');
        return p + 1;
    }
    return p;
}

bool in_class(int c, int cl) {
    bool res;
    switch (std::tolower(cl)) {
    case 'a': res = std::isalpha(c); break;
    case 'c': res = std::iscntrl(c); break;
    case 'd': res = std::isdigit(c); break;
    case 'g': res = std::isgraph(c); break;
    case 'l': res = std::islower(c); break;
    case 'p': res = std::ispunct(c); break;
    case 's': res = std::isspace(c); break;
    case 'u': res = std::isupper(c); break;
    case 'w': res = std::isalnum(c); break;
    case 'x': res = std::isxdigit(c); break;
    case 'z': res = c == 0; break; // the zero byte (an older spelling)
    default: return cl == c;
    }
    return std::isupper(cl) ? !res : res;
}

// c against the set from p ('[') to ec (its ']').
bool in_set(int c, const char *p, const char *ec) {
    bool found = true;
    if (p[1] == '^') {
        found = false;
        p++;
    }
    while (++p < ec) {
        if (*p == escape) {
            p++;
            if (in_class(c, (unsigned char)*p)) return found;
        } else if (p[1] == '-' && p + 2 < ec) {
            if ((unsigned char)p[0] <= c && c <= (unsigned char)p[2]) return found;
            p += 2;
        } else if ((unsigned char)*p == c) {
            return found;
        }
    }
    return !found;
}

bool single_match(Matcher *ms, const char *s, const char *p, const char *ep) {
    if (s >= ms->src_end) return false;
    int c = (unsigned char)*s;
    switch (*p) {
    case '.': return true;
    case escape: return in_class(c, (unsigned char)p[1]);
    case '[': return in_set(c, p, ep - 1);
    default: return (unsigned char)*p == c;
    }
}

const char *match(Matcher *ms, const char *s, const char *p);

const char *match_balance(Matcher *ms, const char *s, const char *p) {
    if (p + 1 >= ms->p_end) luaL_error(ms->L, "malformed pattern (missing arguments to '%%b')");
    if (s >= ms->src_end || *s != *p) return nullptr;
    char open = p[0], close = p[1];
    int depth = 1;
    while (++s < ms->src_end) {
        if (*s == close) {
            if (--depth == 0) return s + 1;
        } else if (*s == open) {
            depth++;
        }
    }
    return nullptr;
}

const char *max_expand(Matcher *ms, const char *s, const char *p, const char *ep) {
    ptrdiff_t n = 0;
    while (single_match(ms, s + n, p, ep)) n++;
    // Longest first, giving back one at a time.
    for (; n >= 0; n--) {
        if (const char *r = match(ms, s + n, ep + 1)) return r;
    }
    return nullptr;
}

const char *min_expand(Matcher *ms, const char *s, const char *p, const char *ep) {
    for (;;) {
        if (const char *r = match(ms, s, ep + 1)) return r;
        if (!single_match(ms, s, p, ep)) return nullptr;
        s++;
    }
}

const char *start_capture(Matcher *ms, const char *s, const char *p, ptrdiff_t what) {
    if (ms->level >= max_captures) luaL_error(ms->L, "too many captures");
    ms->capture[ms->level].init = s;
    ms->capture[ms->level].len = what;
    ms->level++;
    const char *r = match(ms, s, p);
    if (r == nullptr) ms->level--;
    return r;
}

const char *end_capture(Matcher *ms, const char *s, const char *p) {
    int l = capture_to_close(ms);
    ms->capture[l].len = s - ms->capture[l].init;
    const char *r = match(ms, s, p);
    if (r == nullptr) ms->capture[l].len = capture_unfinished;
    return r;
}

const char *match_capture(Matcher *ms, const char *s, int digit) {
    int l = digit - '1';
    if (l < 0 || l >= ms->level || ms->capture[l].len == capture_unfinished)
        luaL_error(ms->L, "invalid capture index %%%d", l + 1);
    size_t len = (size_t)ms->capture[l].len;
    if ((size_t)(ms->src_end - s) >= len && std::memcmp(ms->capture[l].init, s, len) == 0) return s + len;
    return nullptr;
}

// Matches the pattern from p against the subject from s; the end of the
// match, or null.
const char *match(Matcher *ms, const char *s, const char *p) {
    if (ms->depth-- == 0) luaL_error(ms->L, "pattern too complex");
    const char *result = nullptr;
    for (;;) {
        if (p >= ms->p_end) {
            result = s;
            break;
        }
        if (*p == '(') {
            result = p + 1 < ms->p_end && p[1] == ')' ? start_capture(ms, s, p + 2, capture_position)
                                                       : start_capture(ms, s, p + 1, capture_unfinished);
            break;
        }
        if (*p == ')') {
            result = end_capture(ms, s, p + 1);
            break;
        }
        if (*p == '$' && p + 1 == ms->p_end) {
            result = s == ms->src_end ? s : nullptr;
            break;
        }
        if (*p == escape && p + 1 < ms->p_end) {
            char next = p[1];
            if (next == 'b') {
                s = match_balance(ms, s, p + 2);
                if (s == nullptr) break;
                p += 4;
                continue;
            }
            if (next == 'f') {
                p += 2;
                if (p >= ms->p_end || *p != '[') luaL_error(ms->L, "missing '[' after '%%f' in pattern");
                const char *ep = class_end(ms, p);
                int before = s == ms->src_init ? 0 : (unsigned char)s[-1];
                int here = s < ms->src_end ? (unsigned char)*s : 0;
                if (in_set(before, p, ep - 1) || !in_set(here, p, ep - 1)) break;
                p = ep;
                continue;
            }
            if (std::isdigit((unsigned char)next)) {
                s = match_capture(ms, s, next);
                if (s == nullptr) break;
                p += 2;
                continue;
            }
        }
        // A single-character class, perhaps with a repetition.
        const char *ep = class_end(ms, p);
        char rep = ep < ms->p_end ? *ep : '\0';
        if (rep == '?') {
            if (single_match(ms, s, p, ep) && (result = match(ms, s + 1, ep + 1)) != nullptr) break;
            p = ep + 1;
            continue;
        }
        if (rep == '+') {
            result = single_match(ms, s, p, ep) ? max_expand(ms, s + 1, p, ep) : nullptr;
            break;
        }
        if (rep == '*') {
            result = max_expand(ms, s, p, ep);
            break;
        }
        if (rep == '-') {
            result = min_expand(ms, s, p, ep);
            break;
        }
        if (!single_match(ms, s, p, ep)) break;
        s++;
        p = ep;
    }
    ms->depth++;
    return result;
}

void prepare(Matcher *ms, lua_State *L, const char *s, size_t ls, const char *p, size_t lp) {
    ms->L = L;
    ms->src_init = s;
    ms->src_end = s + ls;
    ms->p_end = p + lp;
    ms->depth = max_match_depth;
    ms->level = 0;
}

// Capture i (or the whole match s..e when there are no captures).
void push_capture(Matcher *ms, int i, const char *s, const char *e) {
    if (i >= ms->level) {
        if (i != 0) luaL_error(ms->L, "invalid capture index");
        lua_pushlstring(ms->L, s, (size_t)(e - s));
        return;
    }
    ptrdiff_t len = ms->capture[i].len;
    if (len == capture_unfinished) luaL_error(ms->L, "unfinished capture");
    if (len == capture_position) push_whole(ms->L, ms->capture[i].init - ms->src_init + 1);
    else lua_pushlstring(ms->L, ms->capture[i].init, (size_t)len);
}

int push_captures(Matcher *ms, const char *s, const char *e, bool whole_if_none) {
    int n = ms->level == 0 && whole_if_none ? 1 : ms->level;
    luaL_checkstack(ms->L, n, "too many captures");
    for (int i = 0; i < n; i++) push_capture(ms, i, s, e);
    return n;
}

const char *find_plain(const char *s, size_t ls, const char *p, size_t lp) {
    if (lp == 0) return s;
    if (lp > ls) return nullptr;
    const char *last = s + (ls - lp);
    for (const char *at = s; at <= last; at++) {
        at = static_cast<const char *>(std::memchr(at, *p, (size_t)(last - at) + 1));
        if (at == nullptr) return nullptr;
        if (std::memcmp(at + 1, p + 1, lp - 1) == 0) return at;
    }
    return nullptr;
}

bool has_specials(const char *p, size_t lp) {
    for (size_t i = 0; i < lp; i++)
        if (std::strchr(specials, p[i]) && p[i] != '\0') return true;
    return false;
}

int find_or_match(lua_State *L, bool find) {
    size_t ls, lp;
    const char *s = luaL_checklstring(L, 1, &ls);
    const char *p = luaL_checklstring(L, 2, &lp);
    int64_t init = string_position(luaL_optinteger(L, 3, 1), (int64_t)ls);
    if (init < 1) init = 1;
    if (init > (int64_t)ls + 1) {
        lua_pushnil(L);
        return 1;
    }
    if (find && (lua_toboolean(L, 4) || !has_specials(p, lp))) {
        const char *at = find_plain(s + init - 1, ls - (size_t)(init - 1), p, lp);
        if (at == nullptr) {
            lua_pushnil(L);
            return 1;
        }
        push_whole(L, at - s + 1);
        push_whole(L, at - s + (int64_t)lp);
        return 2;
    }
    Matcher ms;
    bool anchor = lp > 0 && *p == '^';
    if (anchor) p++, lp--;
    prepare(&ms, L, s, ls, p, lp);
    const char *start = s + init - 1;
    do {
        ms.level = 0;
        ms.depth = max_match_depth;
        if (const char *e = match(&ms, start, p)) {
            if (find) {
                push_whole(L, start - s + 1);
                push_whole(L, e - s);
                return push_captures(&ms, nullptr, nullptr, false) + 2;
            }
            return push_captures(&ms, start, e, true);
        }
    } while (start++ < ms.src_end && !anchor);
    lua_pushnil(L);
    return 1;
}

int str_find(lua_State *L) { return find_or_match(L, true); }
int str_match(lua_State *L) { return find_or_match(L, false); }

// gmatch's iterator: upvalues are the subject, the pattern and where the
// next search starts (a byte offset, kept whole whatever the length).
int gmatch_step(lua_State *L) {
    size_t ls, lp;
    const char *s = lua_tolstring(L, lua_upvalueindex(1), &ls);
    const char *p = lua_tolstring(L, lua_upvalueindex(2), &lp);
    size_t at = (size_t)(uintptr_t)lua_touserdata(L, lua_upvalueindex(3));
    Matcher ms;
    prepare(&ms, L, s, ls, p, lp);
    for (const char *src = s + at; src <= ms.src_end; src++) {
        ms.level = 0;
        ms.depth = max_match_depth;
        if (const char *e = match(&ms, src, p)) {
            size_t next = (size_t)(e - s);
            if (e == src) next++; // an empty match: step on
            lua_pushlightuserdata(L, (void *)(uintptr_t)next);
            lua_replace(L, lua_upvalueindex(3));
            return push_captures(&ms, src, e, true);
        }
    }
    return 0;
}

int str_gmatch(lua_State *L) {
    luaL_checkstring(L, 1);
    luaL_checkstring(L, 2);
    lua_settop(L, 2);
    lua_pushlightuserdata(L, nullptr);
    lua_pushcclosure(L, gmatch_step, 3);
    return 1;
}

void add_replacement_string(Matcher *ms, luaL_Buffer *b, const char *s, const char *e) {
    size_t l;
    const char *news = lua_tolstring(ms->L, 3, &l);
    for (size_t i = 0; i < l; i++) {
        if (news[i] != escape) {
            luaL_addchar(b, news[i]);
            continue;
        }
        i++;
        if (i >= l || !std::isdigit((unsigned char)news[i])) {
            if (i >= l || news[i] != escape) luaL_error(ms->L, "invalid use of '%c' in replacement string", escape);
            luaL_addchar(b, news[i]);
        } else if (news[i] == '0') {
            luaL_addlstring(b, s, (size_t)(e - s));
        } else {
            push_capture(ms, news[i] - '1', s, e);
            luaL_addvalue(b);
        }
    }
}

void add_replacement(Matcher *ms, luaL_Buffer *b, const char *s, const char *e, int type) {
    lua_State *L = ms->L;
    if (type == LUA_TFUNCTION) {
        lua_pushvalue(L, 3);
        int n = push_captures(ms, s, e, true);
        lua_call(L, n, 1);
    } else if (type == LUA_TTABLE) {
        push_capture(ms, 0, s, e);
        lua_gettable(L, 3);
    } else {
        add_replacement_string(ms, b, s, e);
        return;
    }
    if (!lua_toboolean(L, -1)) { // nil or false: keep the original text
        lua_pop(L, 1);
        lua_pushlstring(L, s, (size_t)(e - s));
    } else if (!lua_isstring(L, -1)) {
        luaL_error(L, "invalid replacement value (a %s)", luaL_typename(L, -1));
    }
    luaL_addvalue(b);
}

int str_gsub(lua_State *L) {
    size_t ls, lp;
    const char *src = luaL_checklstring(L, 1, &ls);
    const char *p = luaL_checklstring(L, 2, &lp);
    int type = lua_type(L, 3);
    lua_Integer max_n = luaL_optinteger(L, 4, (lua_Integer)ls + 1);
    luaL_argcheck(L, type == LUA_TNUMBER || type == LUA_TSTRING || type == LUA_TFUNCTION || type == LUA_TTABLE, 3,
                  "string/function/table expected");
    bool anchor = lp > 0 && *p == '^';
    if (anchor) p++, lp--;
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    Matcher ms;
    prepare(&ms, L, src, ls, p, lp);
    lua_Integer n = 0;
    while (n < max_n) {
        ms.level = 0;
        ms.depth = max_match_depth;
        const char *e = match(&ms, src, p);
        if (e != nullptr) {
            n++;
            add_replacement(&ms, &b, src, e, type);
        }
        if (e != nullptr && e > src) src = e;
        else if (src < ms.src_end) luaL_addchar(&b, *src++);
        else break;
        if (anchor) break;
    }
    luaL_addlstring(&b, src, (size_t)(ms.src_end - src));
    luaL_pushresult(&b);
    push_whole(L, n);
    return 2;
}

// ---------------------------------------------------------------------------
// format

constexpr const char *format_flags = "-+ #0";

// The real value of a script number.
double real_value(lua_Number n) { return (double)n / 65536.0; }

void add_quoted(lua_State *L, luaL_Buffer *b, int arg) {
    size_t l;
    const char *s = luaL_checklstring(L, arg, &l);
    luaL_addchar(b, '"');
    for (size_t i = 0; i < l; i++) {
        unsigned char c = (unsigned char)s[i];
        if (c == '"' || c == '\\' || c == '\n') {
            luaL_addchar(b, '\\');
            luaL_addchar(b, c);
        } else if (c == '\0' || std::iscntrl(c)) {
            char buff[8];
            bool digit_next = i + 1 < l && std::isdigit((unsigned char)s[i + 1]);
            std::snprintf(buff, sizeof buff, digit_next ? "\\%03d" : "\\%d", c);
            luaL_addstring(b, buff);
        } else {
            luaL_addchar(b, c);
        }
    }
    luaL_addchar(b, '"');
}

// Copies one conversion's flags, width and precision from strfrmt into
// form (after its '%'); returns the conversion character's place.
const char *scan_format(lua_State *L, const char *strfrmt, char *form) {
    const char *p = strfrmt;
    while (*p != '\0' && std::strchr(format_flags, *p)) p++;
    if ((size_t)(p - strfrmt) >= std::strlen(format_flags) + 1) luaL_error(L, "invalid format (repeated flags)");
    if (std::isdigit((unsigned char)*p)) p++;
    if (std::isdigit((unsigned char)*p)) p++; // at most two digits
    if (*p == '.') {
        p++;
        if (std::isdigit((unsigned char)*p)) p++;
        if (std::isdigit((unsigned char)*p)) p++;
    }
    if (std::isdigit((unsigned char)*p)) luaL_error(L, "invalid format (width or precision too long)");
    *form++ = '%';
    std::memcpy(form, strfrmt, (size_t)(p - strfrmt) + 1);
    form[p - strfrmt + 1] = '\0';
    return p;
}

// Puts length modifier mod before the conversion character at the end of
// form.
void add_length(char *form, const char *mod) {
    size_t l = std::strlen(form);
    char conversion = form[l - 1];
    std::strcpy(form + l - 1, mod);
    l = std::strlen(form);
    form[l] = conversion;
    form[l + 1] = '\0';
}

int str_format(lua_State *L) {
    int top = lua_gettop(L);
    int arg = 1;
    size_t sfl;
    const char *strfrmt = luaL_checklstring(L, arg, &sfl);
    const char *strfrmt_end = strfrmt + sfl;
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    while (strfrmt < strfrmt_end) {
        if (*strfrmt != '%') {
            luaL_addchar(&b, *strfrmt++);
            continue;
        }
        if (*++strfrmt == '%') {
            luaL_addchar(&b, *strfrmt++);
            continue;
        }
        char form[32];
        char buff[512];
        int nb = 0;
        if (++arg > top) luaL_argerror(L, arg, "no value");
        strfrmt = scan_format(L, strfrmt, form);
        switch (*strfrmt++) {
        case 'c': nb = std::snprintf(buff, sizeof buff, form, (int)luaL_checkinteger(L, arg)); break;
        case 'd':
        case 'i': {
            double n = real_value(luaL_checknumber(L, arg));
            add_length(form, "ll");
            nb = std::snprintf(buff, sizeof buff, form, (long long)n); // toward zero
            break;
        }
        case 'o':
        case 'u':
        case 'x':
        case 'X': {
            double n = real_value(luaL_checknumber(L, arg));
            luaL_argcheck(L, n > -1, arg, "not a non-negative number in proper range");
            add_length(form, "ll");
            nb = std::snprintf(buff, sizeof buff, form, (unsigned long long)n);
            break;
        }
        case 'e':
        case 'E':
        case 'f':
        case 'g':
        case 'G':
        case 'a':
        case 'A': nb = std::snprintf(buff, sizeof buff, form, real_value(luaL_checknumber(L, arg))); break;
        case 'q': add_quoted(L, &b, arg); break;
        case 's': {
            size_t l;
            const char *s = luaL_tolstring(L, arg, &l);
            if (s == nullptr) return luaL_error(L, "'__tostring' must return a string");
            if (!std::strchr(form, '.') && l >= 100) {
                luaL_addvalue(&b); // too long to format: kept whole
            } else {
                nb = std::snprintf(buff, sizeof buff, form, s);
                lua_pop(L, 1);
            }
            break;
        }
        default:
            return luaL_error(L, "invalid option '%%%c' to 'format'", *(strfrmt - 1));
        }
        if (nb > 0) luaL_addlstring(&b, buff, (size_t)nb < sizeof buff ? (size_t)nb : sizeof buff - 1);
    }
    luaL_pushresult(&b);
    return 1;
}

const luaL_Reg string_functions[] = {
    {"byte", str_byte},     {"char", str_char},     {"dump", str_dump},
    {"find", str_find},     {"format", str_format}, {"gmatch", str_gmatch},
    {"gsub", str_gsub},     {"len", str_len},       {"lower", str_case<lower_byte>},
    {"match", str_match},   {"rep", str_rep},       {"reverse", str_reverse},
    {"sub", str_sub},       {"upper", str_case<upper_byte>}, {nullptr, nullptr},
};

} // namespace

int str_sub(lua_State *L) {
    size_t size = 0;
    const char *s = luaL_checklstring(L, 1, &size);
    int64_t len = (int64_t)size;
    int64_t start = string_position(luaL_checkinteger(L, 2), len);
    int64_t end = string_position(luaL_optinteger(L, 3, -1), len);
    if (start < 1) start = 1;
    if (end > len) end = len;
    if (start > end) lua_pushliteral(L, "");
    else lua_pushlstring(L, s + start - 1, (size_t)(end - start + 1));
    return 1;
}

int luaopen_string(lua_State *L) {
    luaL_newlib(L, string_functions);
    // Strings index the library: ("x"):rep(3).
    lua_createtable(L, 0, 1);
    lua_pushliteral(L, "");
    lua_pushvalue(L, -2);
    lua_setmetatable(L, -2);
    lua_pop(L, 1);
    lua_pushvalue(L, -2);
    lua_setfield(L, -2, "__index");
    lua_pop(L, 1);
    return 1;
}
