// Shared helpers on values: arithmetic on numbers, the message formatter
// and chunk identifiers.
#include "lobject.h"

#include <cstdio>
#include <cstring>

#include "ldebug.h"
#include "ldo.h"
#include "lstate.h"
#include "lstring.h"
#include "lvm.h"

const TValue luaO_nilobject_ = {{nullptr}, LUA_TNIL};

int luaO_ceillog2(unsigned int x) {
    int l = 0;
    x--;
    while (x >= 256) {
        l += 8;
        x >>= 8;
    }
    while (x) {
        l++;
        x >>= 1;
    }
    return l;
}

zorva_fixed luaO_arith(int op, zorva_fixed a, zorva_fixed b) {
    switch (op) {
    case LUA_OPADD: return (zorva_fixed)((uint32_t)a + (uint32_t)b);
    case LUA_OPSUB: return (zorva_fixed)((uint32_t)a - (uint32_t)b);
    case LUA_OPMUL: return zv_fmul(a, b);
    case LUA_OPDIV: return zv_fdiv(a, b);
    case LUA_OPMOD: return zv_fmod(a, b);
    case LUA_OPPOW: return zv_fpow(a, b);
    case LUA_OPUNM: return (zorva_fixed)(0u - (uint32_t)a);
    default: return 0;
    }
}

int luaO_hexavalue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    return (c | 0x20) - 'a' + 10;
}

static void pushstr(lua_State *L, const char *s, size_t l) { setsvalue2s(L, L->top++, luaS_newlstr(L, s, l)); }

// Pushes each piece (text between directives, and each directive's value)
// and joins them with the concatenation of the machine, so that numbers
// print as script numbers do.
const char *luaO_pushvfstring(lua_State *L, const char *fmt, va_list argp) {
    int pieces = 0;
    for (;;) {
        const char *e = std::strchr(fmt, '%');
        if (e == nullptr) break;
        luaD_checkstack(L, 2);
        pushstr(L, fmt, (size_t)(e - fmt));
        switch (e[1]) {
        case 's': {
            const char *s = va_arg(argp, const char *);
            if (s == nullptr) s = "(null)";
            pushstr(L, s, std::strlen(s));
            break;
        }
        case 'c': {
            char c = (char)va_arg(argp, int);
            pushstr(L, &c, 1);
            break;
        }
        case 'd': { // a plain C int, as decimal text (counts and lines can pass 32767)
            char buff[16];
            int l = std::snprintf(buff, sizeof(buff), "%d", va_arg(argp, int));
            pushstr(L, buff, (size_t)l);
            break;
        }
        case 'f': // a raw zorva_fixed
            setnvalue(L->top++, (zorva_fixed)va_arg(argp, int));
            break;
        case 'p': {
            char buff[4 * sizeof(void *) + 8];
            int l = std::snprintf(buff, sizeof(buff), "%p", va_arg(argp, void *));
            pushstr(L, buff, (size_t)l);
            break;
        }
        case '%': pushstr(L, "%", 1); break;
        default: luaG_runerror(L, "invalid option '%%%c' to 'lua_pushfstring'", e[1]);
        }
        pieces += 2;
        fmt = e + 2;
    }
    luaD_checkstack(L, 1);
    pushstr(L, fmt, std::strlen(fmt));
    if (pieces > 0) luaV_concat(L, pieces + 1);
    return svalue(L->top - 1);
}

const char *luaO_pushfstring(lua_State *L, const char *fmt, ...) {
    va_list argp;
    va_start(argp, fmt);
    const char *msg = luaO_pushvfstring(L, fmt, argp);
    va_end(argp);
    return msg;
}

// Short form of a chunk name for messages, in at most len characters
// (terminating zero included).
void luaO_chunkid(char *out, const char *source, size_t len) {
    size_t l = std::strlen(source);
    if (*source == '=') { // shown as given
        size_t n = l - 1 < len - 1 ? l - 1 : len - 1;
        std::memcpy(out, source + 1, n);
        out[n] = '\0';
    } else if (*source == '@') { // a file name: keep its end
        if (l <= len) {
            std::memcpy(out, source + 1, l); // with its zero
        } else {
            size_t keep = len - 4; // "..." and the zero
            std::memcpy(out, "...", 3);
            std::memcpy(out + 3, source + l - keep, keep + 1);
        }
    } else { // source text: [string "first line..."]
        static const char pre[] = "[string \"";
        static const char post[] = "\"]";
        size_t room = len - (sizeof(pre) - 1) - 3 - (sizeof(post) - 1) - 1;
        const char *nl = std::strchr(source, '\n');
        char *p = out;
        std::memcpy(p, pre, sizeof(pre) - 1);
        p += sizeof(pre) - 1;
        if (l < room && nl == nullptr) {
            std::memcpy(p, source, l);
            p += l;
        } else {
            if (nl != nullptr) l = (size_t)(nl - source);
            if (l > room) l = room;
            std::memcpy(p, source, l);
            p += l;
            std::memcpy(p, "...", 3);
            p += 3;
        }
        std::memcpy(p, post, sizeof(post)); // with its zero
    }
}
