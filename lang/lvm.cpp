// The machine's operations that the host interface shares: coercions,
// indexing through metamethods, equality and order, concatenation, length
// and arithmetic fallbacks.
#include "lvm.h"

#include <cstring>

#include "ldebug.h"
#include "ldo.h"
#include "lgc.h"
#include "lstate.h"
#include "lstring.h"
#include "ltable.h"
#include "ltm.h"

const TValue *luaV_tonumber(const TValue *obj, TValue *n) {
    if (ttisnumber(obj)) return obj;
    zorva_fixed num;
    if (ttisstring(obj) && luaO_str2d(svalue(obj), tsvalue(obj)->len, &num)) {
        setnvalue(n, num);
        return n;
    }
    return nullptr;
}

int luaV_tostring(lua_State *L, StkId obj) {
    if (!ttisnumber(obj)) return 0;
    char buff[ZORVA_FIXED_TEXT_SIZE];
    int l = zorva_fixed_to_string(buff, nvalue(obj));
    setsvalue2s(L, obj, luaS_newlstr(L, buff, (size_t)l));
    return 1;
}

// Calls the metamethod f(p1, p2) with one result stored in p3, or
// f(p1, p2, p3) without results.
// With a result, p3 is a stack slot.
static void callTM(lua_State *L, const TValue *f, const TValue *p1, const TValue *p2, TValue *p3, int hasres) {
    ptrdiff_t result = savestack(L, p3);
    // The operands may live in the stack, which making room can move.
    TValue a1, a2, a3;
    setobj(L, &a1, p1);
    setobj(L, &a2, p2);
    if (!hasres) setobj(L, &a3, p3);
    luaD_checkstack(L, 4);
    setobj2s(L, L->top++, f);
    setobj2s(L, L->top++, &a1);
    setobj2s(L, L->top++, &a2);
    if (!hasres) setobj2s(L, L->top++, &a3);
    luaD_call(L, L->top - (4 - hasres), hasres, isLua(L->ci));
    if (hasres) {
        p3 = restorestack(L, result);
        setobjs2s(L, p3, --L->top);
    }
}

void luaV_gettable(lua_State *L, const TValue *t, TValue *key, StkId val) {
    for (int loop = 0; loop < MAXTAGLOOP; loop++) {
        const TValue *tm;
        if (ttistable(t)) {
            Table *h = hvalue(t);
            const TValue *res = luaH_get(h, key);
            if (!ttisnil(res) || (tm = fasttm(L, h->metatable, TM_INDEX)) == nullptr) {
                setobj2s(L, val, res);
                return;
            }
        } else if (ttisnil(tm = luaT_gettmbyobj(L, t, TM_INDEX))) {
            luaG_typeerror(L, t, "index");
        }
        if (ttisfunction(tm)) {
            callTM(L, tm, t, key, val, 1);
            return;
        }
        t = tm; // index the metamethod's value in turn
    }
    luaG_runerror(L, "loop in gettable");
}

void luaV_settable(lua_State *L, const TValue *t, TValue *key, StkId val) {
    for (int loop = 0; loop < MAXTAGLOOP; loop++) {
        const TValue *tm;
        if (ttistable(t)) {
            Table *h = hvalue(t);
            TValue *oldval = const_cast<TValue *>(luaH_get(h, key));
            // A present key, or an absent one without "__newindex": raw set.
            if (!ttisnil(oldval) || (tm = fasttm(L, h->metatable, TM_NEWINDEX)) == nullptr) {
                if (oldval == luaO_nilobject) oldval = luaH_newkey(L, h, key);
                setobj2t(L, oldval, val);
                h->flags = 0; // the metamethod cache may be stale
                luaC_barrierback(L, h, val);
                return;
            }
        } else if (ttisnil(tm = luaT_gettmbyobj(L, t, TM_NEWINDEX))) {
            luaG_typeerror(L, t, "index");
        }
        if (ttisfunction(tm)) {
            callTM(L, tm, t, key, val, 0);
            return;
        }
        t = tm;
    }
    luaG_runerror(L, "loop in settable");
}

static int call_binTM(lua_State *L, const TValue *p1, const TValue *p2, StkId res, TMS event) {
    const TValue *tm = luaT_gettmbyobj(L, p1, event);
    if (ttisnil(tm)) tm = luaT_gettmbyobj(L, p2, event);
    if (ttisnil(tm)) return 0;
    callTM(L, tm, p1, p2, res, 1);
    return 1;
}

// The "__eq" of two objects when both have the same one.
static const TValue *get_equalTM(lua_State *L, Table *mt1, Table *mt2, TMS event) {
    const TValue *tm1 = fasttm(L, mt1, event);
    if (tm1 == nullptr) return nullptr;
    if (mt1 == mt2) return tm1;
    const TValue *tm2 = fasttm(L, mt2, event);
    if (tm2 == nullptr) return nullptr;
    if (luaV_rawequalobj(tm1, tm2)) return tm1;
    return nullptr;
}

static int call_orderTM(lua_State *L, const TValue *p1, const TValue *p2, TMS event) {
    const TValue *tm1 = luaT_gettmbyobj(L, p1, event);
    if (ttisnil(tm1)) tm1 = luaT_gettmbyobj(L, p2, event);
    if (ttisnil(tm1)) return -1;
    callTM(L, tm1, p1, p2, L->top, 1);
    return !l_isfalse(L->top);
}

// strcoll, piece by piece across embedded zeros.
static int l_strcmp(const TString *ls, const TString *rs) {
    const char *l = getstr(ls);
    size_t ll = ls->len;
    const char *r = getstr(rs);
    size_t lr = rs->len;
    for (;;) {
        int temp = strcoll(l, r);
        if (temp != 0) return temp;
        size_t len = std::strlen(l); // both pieces are equal up to here
        if (len == lr) return (len == ll) ? 0 : 1;
        if (len == ll) return -1;
        len++; // past the zero
        l += len;
        ll -= len;
        r += len;
        lr -= len;
    }
}

int luaV_lessthan(lua_State *L, const TValue *l, const TValue *r) {
    if (ttisnumber(l) && ttisnumber(r)) return nvalue(l) < nvalue(r);
    if (ttisstring(l) && ttisstring(r)) return l_strcmp(rawtsvalue(l), rawtsvalue(r)) < 0;
    int res = call_orderTM(L, l, r, TM_LT);
    if (res < 0) luaG_ordererror(L, l, r);
    return res;
}

int luaV_lessequal(lua_State *L, const TValue *l, const TValue *r) {
    if (ttisnumber(l) && ttisnumber(r)) return nvalue(l) <= nvalue(r);
    if (ttisstring(l) && ttisstring(r)) return l_strcmp(rawtsvalue(l), rawtsvalue(r)) <= 0;
    int res = call_orderTM(L, l, r, TM_LE);
    if (res >= 0) return res;
    res = call_orderTM(L, r, l, TM_LT); // a <= b as not (b < a)
    if (res < 0) luaG_ordererror(L, l, r);
    return !res;
}

int luaV_equalobj_(lua_State *L, const TValue *t1, const TValue *t2) {
    const TValue *tm;
    switch (ttype(t1)) {
    case LUA_TNIL: return 1;
    case LUA_TNUMBER: return nvalue(t1) == nvalue(t2);
    case LUA_TBOOLEAN: return bvalue(t1) == bvalue(t2);
    case LUA_TLIGHTUSERDATA: return pvalue(t1) == pvalue(t2);
    case LUA_TLCF: return fvalue(t1) == fvalue(t2);
    case LUA_TSHRSTR: return eqshrstr(rawtsvalue(t1), rawtsvalue(t2));
    case LUA_TLNGSTR: return luaS_eqlngstr(rawtsvalue(t1), rawtsvalue(t2));
    case LUA_TUSERDATA:
        if (uvalue(t1) == uvalue(t2)) return 1;
        if (L == nullptr) return 0;
        tm = get_equalTM(L, uvalue(t1)->metatable, uvalue(t2)->metatable, TM_EQ);
        break;
    case LUA_TTABLE:
        if (hvalue(t1) == hvalue(t2)) return 1;
        if (L == nullptr) return 0;
        tm = get_equalTM(L, hvalue(t1)->metatable, hvalue(t2)->metatable, TM_EQ);
        break;
    default: return gcvalue(t1) == gcvalue(t2);
    }
    if (tm == nullptr) return 0;
    callTM(L, tm, t1, t2, L->top, 1);
    return !l_isfalse(L->top);
}

void luaV_concat(lua_State *L, int total) {
    do {
        StkId top = L->top;
        int n = 2; // values joined in this pass
        if (!(ttisstring(top - 2) || ttisnumber(top - 2)) || !tostring(L, top - 1)) {
            if (!call_binTM(L, top - 2, top - 1, top - 2, TM_CONCAT)) luaG_concaterror(L, top - 2, top - 1);
        } else if (tsvalue(top - 1)->len == 0) { // x .. "" is x as a string
            (void)tostring(L, top - 2);
        } else if (ttisstring(top - 2) && tsvalue(top - 2)->len == 0) {
            setobjs2s(L, top - 2, top - 1);
        } else {
            // Join as many string or number values as there are in a row.
            size_t tl = tsvalue(top - 1)->len;
            int i;
            for (i = 1; i < total && tostring(L, top - i - 1); i++) {
                size_t l = tsvalue(top - i - 1)->len;
                if (l >= (MAX_SIZET / sizeof(char)) - tl) luaG_runerror(L, "string length overflow");
                tl += l;
            }
            char *buffer = luaZ_openspace(L, &G(L)->buff, tl);
            tl = 0;
            n = i;
            do {
                size_t l = tsvalue(top - i)->len;
                std::memcpy(buffer + tl, svalue(top - i), l);
                tl += l;
            } while (--i > 0);
            setsvalue2s(L, top - n, luaS_newlstr(L, buffer, tl));
        }
        total -= n - 1;
        L->top -= n - 1;
    } while (total > 1);
}

void luaV_objlen(lua_State *L, StkId ra, const TValue *rb) {
    const TValue *tm;
    switch (ttypenv(rb)) {
    case LUA_TTABLE: {
        Table *h = hvalue(rb);
        tm = fasttm(L, h->metatable, TM_LEN);
        if (tm) break;
        setnvalue(ra, (zorva_fixed)((uint32_t)luaH_getn(h) << 16));
        return;
    }
    case LUA_TSTRING: setnvalue(ra, (zorva_fixed)((uint32_t)tsvalue(rb)->len << 16)); return;
    default:
        tm = luaT_gettmbyobj(L, rb, TM_LEN);
        if (ttisnil(tm)) luaG_typeerror(L, rb, "get length of");
        break;
    }
    callTM(L, tm, rb, rb, ra, 1);
}

void luaV_arith(lua_State *L, StkId ra, const TValue *rb, const TValue *rc, TMS op) {
    TValue tempb, tempc;
    const TValue *b, *c;
    if ((b = luaV_tonumber(rb, &tempb)) != nullptr && (c = luaV_tonumber(rc, &tempc)) != nullptr) {
        setnvalue(ra, luaO_arith(op - TM_ADD + LUA_OPADD, nvalue(b), nvalue(c)));
    } else if (!call_binTM(L, rb, rc, ra, op)) {
        luaG_aritherror(L, rb, rc);
    }
}
