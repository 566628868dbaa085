// The string table and string objects.
#include "lstring.h"

#include <cstring>

#include "lmem.h"
#include "lstate.h"

const char *const luaS_reserved[NUM_RESERVED] = {
    "and", "break", "do",  "else",  "elseif", "end",    "false", "for",  "function", "goto",  "if",
    "in",  "local", "nil", "not",   "or",     "repeat", "return", "then", "true",    "until", "while"};

// Hashes every step-th byte from the end, step growing with the length so
// that long texts cost a bounded time.
unsigned int luaS_hash(const char *str, size_t l, unsigned int seed) {
    unsigned int h = seed ^ (unsigned int)l;
    size_t step = (l >> 5) + 1;
    for (size_t i = l; i >= step; i -= step) h ^= ((h << 5) + (h >> 2) + (unsigned char)str[i - 1]);
    return h;
}

unsigned int luaS_hashlongstr(TString *s) {
    if (!s->extra) {
        s->hash = luaS_hash(getstr(s), s->len, s->hash);
        s->extra = 1;
    }
    return s->hash;
}

int luaS_eqlngstr(TString *a, TString *b) {
    return a == b || (a->len == b->len && std::memcmp(getstr(a), getstr(b), a->len) == 0);
}

int luaS_eqstr(TString *a, TString *b) {
    return a->tt == b->tt && (a->tt == LUA_TSHRSTR ? eqshrstr(a, b) : luaS_eqlngstr(a, b));
}

void luaS_resize(lua_State *L, int newsize) {
    global_State *g = G(L);
    stringtable *tb = &g->strt;
    // The string sweep walks the buckets: finish it before they move.
    if (g->gcstate == GCSsweepstring) luaC_runtilstate(L, ~bitmask(GCSsweepstring));
    GCObject **newhash;
    if (newsize > tb->size) {
        newhash = luaM_newvector(L, newsize, GCObject *);
    } else {
        // Shrinking is an economy made by the collector: when the block
        // cannot be had, keep the table as it is rather than fail.
        newhash = static_cast<GCObject **>(g->frealloc(g->ud, nullptr, 0, (size_t)newsize * sizeof(GCObject *)));
        if (newhash == nullptr) return;
        g->GCdebt += (l_mem)((size_t)newsize * sizeof(GCObject *));
    }
    for (int i = 0; i < newsize; i++) newhash[i] = nullptr;
    for (int i = 0; i < tb->size; i++) {
        GCObject *p = tb->hash[i];
        while (p) {
            GCObject *next = p->next;
            unsigned int h = lmod(gco2ts(p)->hash, newsize);
            p->next = newhash[h];
            newhash[h] = p;
            p = next;
        }
    }
    luaM_freearray(L, tb->hash, (size_t)tb->size);
    tb->hash = newhash;
    tb->size = newsize;
}

static TString *createstrobj(lua_State *L, const char *str, size_t l, int tag, unsigned int h, GCObject **list) {
    size_t totalsize = sizeof(TString) + (l + 1) * sizeof(char);
    TString *ts = gco2ts(luaC_newobj(L, tag, totalsize, list, 0));
    ts->len = l;
    ts->hash = h;
    ts->extra = 0;
    std::memcpy(getstr(ts), str, l);
    getstr(ts)[l] = '\0';
    return ts;
}

static TString *internshrstr(lua_State *L, const char *str, size_t l) {
    global_State *g = G(L);
    unsigned int h = luaS_hash(str, l, g->seed);
    for (GCObject *o = g->strt.hash[lmod(h, g->strt.size)]; o != nullptr; o = o->next) {
        TString *ts = gco2ts(o);
        if (h == ts->hash && l == ts->len && std::memcmp(str, getstr(ts), l) == 0) {
            if (isdead(g, o)) changewhite(o); // not yet swept: revive it
            return ts;
        }
    }
    stringtable *tb = &g->strt;
    if (tb->nuse >= (uint32_t)tb->size && tb->size <= MAX_INT / 2) luaS_resize(L, tb->size * 2);
    TString *s = createstrobj(L, str, l, LUA_TSHRSTR, h, &tb->hash[lmod(h, tb->size)]);
    tb->nuse++;
    return s;
}

TString *luaS_newlstr(lua_State *L, const char *str, size_t l) {
    if (l <= LUAI_MAXSHORTLEN) return internshrstr(L, str, l);
    if (l + 1 > (MAX_SIZET - sizeof(TString)) / sizeof(char)) luaM_toobig(L);
    return createstrobj(L, str, l, LUA_TLNGSTR, G(L)->seed, nullptr);
}

TString *luaS_new(lua_State *L, const char *str) { return luaS_newlstr(L, str, std::strlen(str)); }

Udata *luaS_newudata(lua_State *L, size_t s, Table *e) {
    if (s > MAX_SIZET - sizeof(Udata)) luaM_toobig(L);
    Udata *u = gco2u(luaC_newobj(L, LUA_TUSERDATA, sizeof(Udata) + s, nullptr, 0));
    u->len = s;
    u->metatable = nullptr;
    u->env = e;
    return u;
}

void luaS_initreserved(lua_State *L) {
    for (int i = 0; i < NUM_RESERVED; i++) {
        TString *ts = luaS_new(L, luaS_reserved[i]);
        luaS_fix(ts);
        ts->extra = cast_byte(i + 1);
    }
}
