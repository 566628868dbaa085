// Prototypes, closures and upvalues.
#include "lfunc.h"

#include "lgc.h"
#include "lmem.h"
#include "lstate.h"

CClosure *luaF_newCclosure(lua_State *L, int n) {
    CClosure *c = gco2ccl(luaC_newobj(L, LUA_TCCL, sizeCclosure(n), nullptr, 0));
    c->nupvalues = cast_byte(n);
    c->gclist = nullptr;
    c->f = nullptr;
    return c;
}

LClosure *luaF_newLclosure(lua_State *L, int n) {
    LClosure *c = gco2lcl(luaC_newobj(L, LUA_TLCL, sizeLclosure(n), nullptr, 0));
    c->p = nullptr;
    c->gclist = nullptr;
    c->nupvalues = cast_byte(n);
    while (n--) c->upvals[n] = nullptr;
    return c;
}

UpVal *luaF_newupval(lua_State *L) {
    UpVal *uv = gco2uv(luaC_newobj(L, LUA_TUPVAL, sizeof(UpVal), nullptr, 0));
    uv->v = &uv->u.value;
    setnilvalue(uv->v);
    return uv;
}

void luaF_initupvals(lua_State *L, LClosure *cl) {
    for (int i = 0; i < cl->nupvalues; i++) {
        UpVal *uv = luaF_newupval(L);
        cl->upvals[i] = uv;
        luaC_objbarrier(L, cl, uv);
    }
}

UpVal *luaF_findupval(lua_State *L, StkId level) {
    global_State *g = G(L);
    GCObject **pp = &L->openupval;
    UpVal *p;
    while (*pp != nullptr && (p = gco2uv(*pp))->v >= level) {
        if (p->v == level) {
            if (isdead(g, p)) changewhite(p); // not yet swept: revive it
            return p;
        }
        pp = &p->next;
    }
    // Not found: a new open upvalue, linked at its place in the thread's
    // list and in the global list of open upvalues.
    UpVal *uv = gco2uv(luaC_newobj(L, LUA_TUPVAL, sizeof(UpVal), pp, 0));
    uv->v = level;
    uv->u.l.prev = &g->uvhead;
    uv->u.l.next = g->uvhead.u.l.next;
    uv->u.l.next->u.l.prev = uv;
    g->uvhead.u.l.next = uv;
    return uv;
}

static void unlinkupval(UpVal *uv) {
    uv->u.l.next->u.l.prev = uv->u.l.prev;
    uv->u.l.prev->u.l.next = uv->u.l.next;
}

void luaF_freeupval(lua_State *L, UpVal *uv) {
    if (uv->v != &uv->u.value) unlinkupval(uv); // still open
    luaM_free(L, uv);
}

void luaF_close(lua_State *L, StkId level) {
    global_State *g = G(L);
    UpVal *uv;
    while (L->openupval != nullptr && (uv = gco2uv(L->openupval))->v >= level) {
        L->openupval = uv->next;
        if (isdead(g, uv)) {
            luaF_freeupval(L, uv);
        } else {
            unlinkupval(uv);
            setobj(L, &uv->u.value, uv->v);
            uv->v = &uv->u.value;
            luaC_checkupvalcolor(g, uv); // joins the list of all objects
        }
    }
}

Proto *luaF_newproto(lua_State *L) {
    Proto *f = gco2p(luaC_newobj(L, LUA_TPROTO, sizeof(Proto), nullptr, 0));
    f->k = nullptr;
    f->sizek = 0;
    f->p = nullptr;
    f->sizep = 0;
    f->code = nullptr;
    f->cache = nullptr;
    f->sizecode = 0;
    f->lineinfo = nullptr;
    f->sizelineinfo = 0;
    f->upvalues = nullptr;
    f->sizeupvalues = 0;
    f->numparams = 0;
    f->is_vararg = 0;
    f->maxstacksize = 0;
    f->locvars = nullptr;
    f->sizelocvars = 0;
    f->linedefined = 0;
    f->lastlinedefined = 0;
    f->source = nullptr;
    f->gclist = nullptr;
    return f;
}

void luaF_freeproto(lua_State *L, Proto *f) {
    luaM_freearray(L, f->code, (size_t)f->sizecode);
    luaM_freearray(L, f->p, (size_t)f->sizep);
    luaM_freearray(L, f->k, (size_t)f->sizek);
    luaM_freearray(L, f->lineinfo, (size_t)f->sizelineinfo);
    luaM_freearray(L, f->locvars, (size_t)f->sizelocvars);
    luaM_freearray(L, f->upvalues, (size_t)f->sizeupvalues);
    luaM_free(L, f);
}

const char *luaF_getlocalname(const Proto *f, int local_number, int pc) {
    for (int i = 0; i < f->sizelocvars && f->locvars[i].startpc <= pc; i++) {
        if (pc < f->locvars[i].endpc) { // active
            local_number--;
            if (local_number == 0) return getstr(f->locvars[i].varname);
        }
    }
    return nullptr;
}
