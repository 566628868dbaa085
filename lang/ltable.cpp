// Tables: an array part for the whole keys 1..sizearray and a hash part of
// 2^lsizenode nodes. Colliding keys are chained through node offsets; a
// key that is not in its main position is moved when the owner of that
// position arrives (Brent's variation). When no free node is left, the
// table is rebuilt with sizes chosen from a count of its keys.
#include "ltable.h"

#include <cstring>

#include "ldebug.h"
#include "ldo.h"
#include "lgc.h"
#include "lmem.h"
#include "lstate.h"
#include "lstring.h"
#include "lvm.h"

// Largest hash part: 2^MAXBITS nodes.
#define MAXBITS 30
// Array sizes are counted in slices (2^(i-1), 2^i] for i up to this.
#define MAXABITS 15

const Node luaH_dummynode_ = {{{nullptr}, LUA_TNIL}, {{{nullptr}, LUA_TNIL, 0}}};
#define dummynode (const_cast<Node *>(&luaH_dummynode_))

static inline void setnodekey(Node *n, const TValue *key) {
    n->i_key.nk.value_ = key->value_;
    n->i_key.nk.tt_ = key->tt_;
}

static inline Node *hashpow2(const Table *t, unsigned int h) { return const_cast<Node *>(&t->node[lmod(h, sizenode(t))]); }

static inline Node *hashmod(const Table *t, unsigned int h) {
    return const_cast<Node *>(&t->node[h % (unsigned int)((sizenode(t) - 1) | 1)]);
}

// Numbers hash by magnitude; -32768.0, whose negation is itself, goes to
// node 0.
static inline Node *hashnum(const Table *t, zorva_fixed n) {
    uint32_t k = (uint32_t)n;
    if ((int32_t)k < 0) {
        k = 0u - k;
        if (k == 0x80000000u) return const_cast<Node *>(&t->node[0]);
    }
    return hashmod(t, k);
}

static inline unsigned int pointerhash(const void *p) { return (unsigned int)(uintptr_t)p; }

static Node *mainposition(const Table *t, const TValue *key) {
    switch (ttype(key)) {
    case LUA_TNUMBER: return hashnum(t, nvalue(key));
    case LUA_TSHRSTR: return hashpow2(t, rawtsvalue(key)->hash);
    case LUA_TLNGSTR: return hashpow2(t, luaS_hashlongstr(rawtsvalue(key)));
    case LUA_TBOOLEAN: return hashpow2(t, (unsigned int)bvalue(key));
    case LUA_TLIGHTUSERDATA: return hashmod(t, pointerhash(pvalue(key)));
    case LUA_TLCF: return hashmod(t, (unsigned int)(uintptr_t)fvalue(key));
    default: return hashmod(t, pointerhash(gcvalue(key)));
    }
}

int luaH_mainposition_index(const Table *t, const TValue *key) { return (int)(mainposition(t, key) - t->node); }

// Raw equality of a node key and a lookup key (dead keys match nothing).
static inline bool keyequal(const TValue *nk, const TValue *key) {
    if (rttype(nk) != rttype(key)) return false;
    switch (ttype(key)) {
    case LUA_TNIL: return true;
    case LUA_TNUMBER: return nvalue(nk) == nvalue(key);
    case LUA_TBOOLEAN: return bvalue(nk) == bvalue(key);
    case LUA_TLIGHTUSERDATA: return pvalue(nk) == pvalue(key);
    case LUA_TLCF: return fvalue(nk) == fvalue(key);
    case LUA_TLNGSTR: return luaS_eqlngstr(rawtsvalue(nk), rawtsvalue(key));
    default: return gcvalue(nk) == gcvalue(key);
    }
}

// Position of key in the traversal order: 0 before the first entry, i for
// array slot i, sizearray + n + 1 for node n.
static int findindex(lua_State *L, Table *t, StkId key) {
    if (ttisnil(key)) return 0;
    if (ttisnumber(key)) {
        int i = luaH_arrayindex(nvalue(key));
        if (i != 0 && i <= t->sizearray) return i;
    }
    Node *n = mainposition(t, key);
    for (;;) {
        const TValue *k = gkey(n);
        // A key collected from a weak table may still be the control
        // variable of a traversal.
        if (keyequal(k, key) || (ttisdeadkey(k) && iscollectable(key) && deadvalue(k) == gcvalue(key)))
            return (int)(n - gnode(t, 0)) + 1 + t->sizearray;
        int nx = gnext(n);
        if (nx == 0) luaG_runerror(L, "invalid key to 'next'");
        n += nx;
    }
}

int luaH_next(lua_State *L, Table *t, StkId key) {
    int i = findindex(L, t, key);
    for (; i < t->sizearray; i++) {
        if (!ttisnil(&t->array[i])) {
            setnvalue(key, (zorva_fixed)((uint32_t)(i + 1) << 16));
            setobj2s(L, key + 1, &t->array[i]);
            return 1;
        }
    }
    for (i -= t->sizearray; i < sizenode(t); i++) {
        Node *n = gnode(t, i);
        if (!ttisnil(gval(n))) {
            key->value_ = n->i_key.nk.value_;
            key->tt_ = n->i_key.nk.tt_;
            setobj2s(L, key + 1, gval(n));
            return 1;
        }
    }
    return 0;
}

int luaH_next_zorva_all(lua_State *L, Table *t, StkId key) { return luaH_next(L, t, key); }

// ---- Rehash --------------------------------------------------------------

// Picks the largest n (a power of two) such that more than n/2 of the
// indices 1..n are in use; returns how many of the counted keys go to the
// array part and leaves n in *narray.
static int computesizes(int nums[], int *narray) {
    int a = 0, na = 0, n = 0;
    for (int i = 0, twotoi = 1; twotoi / 2 < *narray; i++, twotoi *= 2) {
        if (nums[i] > 0) {
            a += nums[i];
            if (a > twotoi / 2) {
                n = twotoi;
                na = a;
            }
        }
        if (a == *narray) break;
    }
    *narray = n;
    return na;
}

static int countint(const TValue *key, int *nums) {
    if (!ttisnumber(key)) return 0;
    int k = luaH_arrayindex(nvalue(key));
    if (k == 0) return 0;
    nums[luaO_ceillog2((unsigned int)k)]++;
    return 1;
}

static int numusearray(const Table *t, int *nums) {
    int ause = 0;
    int i = 1;
    for (int lg = 0, ttlg = 1; lg <= MAXABITS; lg++, ttlg *= 2) {
        int lc = 0;
        int lim = ttlg;
        if (lim > t->sizearray) {
            lim = t->sizearray;
            if (i > lim) break;
        }
        for (; i <= lim; i++)
            if (!ttisnil(&t->array[i - 1])) lc++;
        nums[lg] += lc;
        ause += lc;
    }
    return ause;
}

static int numusehash(const Table *t, int *nums, int *pnasize) {
    int totaluse = 0, ause = 0;
    for (int i = sizenode(t) - 1; i >= 0; i--) {
        const Node *n = &t->node[i];
        if (!ttisnil(gval(n))) {
            ause += countint(&n->i_key.tvk, nums);
            totaluse++;
        }
    }
    *pnasize += ause;
    return totaluse;
}

static void setarrayvector(lua_State *L, Table *t, int size) {
    luaM_reallocvector(L, t->array, t->sizearray, size, TValue);
    for (int i = t->sizearray; i < size; i++) setnilvalue(&t->array[i]);
    t->sizearray = size;
}

static void setnodevector(lua_State *L, Table *t, int size) {
    int lsize;
    if (size == 0) {
        t->node = dummynode;
        lsize = 0;
    } else {
        lsize = luaO_ceillog2((unsigned int)size);
        if (lsize > MAXBITS) luaG_runerror(L, "table overflow");
        size = twoto(lsize);
        t->node = luaM_newvector(L, size, Node);
        for (int i = 0; i < size; i++) {
            Node *n = gnode(t, i);
            gnext(n) = 0;
            n->i_key.nk.tt_ = LUA_TNIL;
            setnilvalue(gval(n));
        }
    }
    t->lsizenode = cast_byte(lsize);
    t->lastfree = gnode(t, size); // every position is free
}

void luaH_resize(lua_State *L, Table *t, int nasize, int nhsize) {
    if (nasize > MAXASIZE) nasize = MAXASIZE;
    if (nasize < 0) nasize = 0;
    int oldasize = t->sizearray;
    int oldhsize = t->lsizenode;
    Node *nold = t->node;
    if (nasize > oldasize) setarrayvector(L, t, nasize);
    setnodevector(L, t, nhsize);
    if (nasize < oldasize) { // the array shrinks: move its tail to the hash
        t->sizearray = nasize;
        for (int i = nasize; i < oldasize; i++) {
            if (!ttisnil(&t->array[i])) luaH_setint(L, t, i + 1, &t->array[i]);
        }
        luaM_reallocvector(L, t->array, oldasize, nasize, TValue);
    }
    for (int j = twoto(oldhsize) - 1; j >= 0; j--) {
        Node *old = nold + j;
        if (!ttisnil(gval(old))) setobjt2t(L, luaH_set(L, t, &old->i_key.tvk), gval(old));
    }
    if (!isdummy(nold)) luaM_freearray(L, nold, (size_t)twoto(oldhsize));
}

void luaH_resizearray(lua_State *L, Table *t, int nasize) {
    int nsize = isdummy(t->node) ? 0 : sizenode(t);
    luaH_resize(L, t, nasize, nsize);
}

static void rehash(lua_State *L, Table *t, const TValue *ek) {
    int nums[MAXABITS + 1];
    for (int i = 0; i <= MAXABITS; i++) nums[i] = 0;
    int nasize = numusearray(t, nums);
    int totaluse = nasize;
    totaluse += numusehash(t, nums, &nasize);
    nasize += countint(ek, nums);
    totaluse++;
    int na = computesizes(nums, &nasize);
    luaH_resize(L, t, nasize, totaluse - na);
}

// ---- Creation ------------------------------------------------------------

Table *luaH_new(lua_State *L) {
    Table *t = gco2t(luaC_newobj(L, LUA_TTABLE, sizeof(Table), nullptr, 0));
    t->metatable = nullptr;
    t->flags = cast_byte(~0);
    t->array = nullptr;
    t->sizearray = 0;
    t->gclist = nullptr;
    setnodevector(L, t, 0);
    return t;
}

void luaH_free(lua_State *L, Table *t) {
    if (!isdummy(t->node)) luaM_freearray(L, t->node, (size_t)sizenode(t));
    luaM_freearray(L, t->array, (size_t)t->sizearray);
    luaM_free(L, t);
}

static Node *getfreepos(Table *t) {
    while (t->lastfree > t->node) {
        t->lastfree--;
        if (ttisnil(gkey(t->lastfree))) return t->lastfree;
    }
    return nullptr;
}

TValue *luaH_newkey(lua_State *L, Table *t, const TValue *key) {
    if (ttisnil(key)) luaG_runerror(L, "table index is nil");
    Node *mp = mainposition(t, key);
    if (!ttisnil(gval(mp)) || isdummy(mp)) {
        Node *f = getfreepos(t);
        if (f == nullptr) {
            rehash(L, t, key);
            return luaH_set(L, t, key);
        }
        Node *othern = mainposition(t, gkey(mp));
        if (othern != mp) {
            // The colliding key is out of its main position: move it to the
            // free node and take its place.
            while (othern + gnext(othern) != mp) othern += gnext(othern);
            gnext(othern) = (int)(f - othern);
            *f = *mp;
            if (gnext(mp) != 0) {
                gnext(f) += (int)(mp - f);
                gnext(mp) = 0;
            }
            setnilvalue(gval(mp));
        } else {
            // The colliding key is in its own main position: chain the new
            // key in the free node.
            if (gnext(mp) != 0)
                gnext(f) = (int)(mp + gnext(mp) - f);
            gnext(mp) = (int)(f - mp);
            mp = f;
        }
    }
    setnodekey(mp, key);
    luaC_barrierback(L, t, key);
    return gval(mp);
}

// ---- Lookup --------------------------------------------------------------

// A whole index names the number key << 16 (32 bits, so indices beyond
// 16 bits wrap onto other keys). When that key is an array index it lives
// in the array part, which is where it must be found: looking in the hash
// instead would miss it and a store would make a second entry for it.
const TValue *luaH_getint_hash(Table *t, int key) {
    zorva_fixed k = (zorva_fixed)((uint32_t)key << 16);
    int i = luaH_arrayindex(k);
    if (i != 0 && i <= t->sizearray) return &t->array[i - 1];
    Node *n = hashnum(t, k);
    for (;;) {
        if (ttisnumber(gkey(n)) && nvalue(gkey(n)) == k) return gval(n);
        int nx = gnext(n);
        if (nx == 0) return luaO_nilobject;
        n += nx;
    }
}

const TValue *luaH_getstr(Table *t, TString *key) {
    Node *n = hashpow2(t, key->hash);
    for (;;) {
        const TValue *k = gkey(n);
        if (ttisshrstring(k) && rawtsvalue(k) == key) return gval(n);
        int nx = gnext(n);
        if (nx == 0) return luaO_nilobject;
        n += nx;
    }
}

const TValue *luaH_get(Table *t, const TValue *key) {
    switch (ttype(key)) {
    case LUA_TSHRSTR: return luaH_getstr(t, rawtsvalue(key));
    case LUA_TNIL: return luaO_nilobject;
    case LUA_TNUMBER: {
        int i = luaH_arrayindex(nvalue(key));
        if (i != 0) return luaH_getint(t, i);
        [[fallthrough]];
    }
    default: {
        Node *n = mainposition(t, key);
        for (;;) {
            if (keyequal(gkey(n), key)) return gval(n);
            int nx = gnext(n);
            if (nx == 0) return luaO_nilobject;
            n += nx;
        }
    }
    }
}

TValue *luaH_set(lua_State *L, Table *t, const TValue *key) {
    const TValue *p = luaH_get(t, key);
    if (p != luaO_nilobject) return const_cast<TValue *>(p);
    return luaH_newkey(L, t, key);
}

void luaH_setint(lua_State *L, Table *t, int key, TValue *value) {
    const TValue *p = luaH_getint(t, key);
    TValue *cell;
    if (p != luaO_nilobject) {
        cell = const_cast<TValue *>(p);
    } else {
        TValue k;
        setnvalue(&k, (zorva_fixed)((uint32_t)key << 16));
        cell = luaH_newkey(L, t, &k);
    }
    setobj2t(L, cell, value);
}

// ---- Length --------------------------------------------------------------

// Whole indices name 65536 distinct keys; past that they come round to
// the same keys again.
#define DISTINCT_INDICES 65536u

static int unbound_search(Table *t, unsigned int j) {
    unsigned int i = j; // i is zero or a present index
    j++;
    while (!ttisnil(luaH_getint(t, (int)j))) {
        i = j;
        if (j > (unsigned int)MAX_INT / 2) { // would overflow: scan linearly
            // The scan stops once every distinct key has been seen: a table
            // holding all of them would otherwise keep it going for ever.
            i = 1;
            while (i <= DISTINCT_INDICES && !ttisnil(luaH_getint(t, (int)i))) i++;
            return (int)(i - 1);
        }
        j *= 2;
    }
    while (j - i > 1) { // binary search between the present i and absent j
        unsigned int m = (i + j) / 2;
        if (ttisnil(luaH_getint(t, (int)m))) j = m;
        else i = m;
    }
    return (int)i;
}

int luaH_getn(Table *t) {
    unsigned int j = (unsigned int)t->sizearray;
    if (j > 0 && ttisnil(&t->array[j - 1])) { // a border inside the array
        unsigned int i = 0;
        while (j - i > 1) {
            unsigned int m = (i + j) / 2;
            if (ttisnil(&t->array[m - 1])) j = m;
            else i = m;
        }
        return (int)i;
    }
    if (isdummy(t->node)) return (int)j;
    return unbound_search(t, j);
}
