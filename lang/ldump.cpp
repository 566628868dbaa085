// Writing precompiled chunks: the header and then the main function, field
// by field, little-endian, numbers as their raw 16.16 patterns.
#include "lcompiler.h"
#include "lstate.h"

namespace {

struct DumpState {
    lua_State *L;
    lua_Writer writer;
    void *data;
    int strip;
    int status;
    // Small fields are gathered here and handed to the writer together.
    lu_byte pending[512];
    size_t count;
};

void flush(DumpState *D) {
    if (D->count > 0 && D->status == 0) D->status = D->writer(D->L, D->pending, D->count, D->data);
    D->count = 0;
}

void dump_block(DumpState *D, const void *b, size_t n) {
    if (D->status != 0) return; // nothing more once the writer has failed
    if (n > sizeof D->pending - D->count) {
        flush(D);
        if (n > sizeof D->pending) {
            if (D->status == 0 && n > 0) D->status = D->writer(D->L, b, n, D->data);
            return;
        }
    }
    const lu_byte *p = static_cast<const lu_byte *>(b);
    for (size_t i = 0; i < n; i++) D->pending[D->count++] = p[i];
}

void dump_byte(DumpState *D, int x) {
    lu_byte c = (lu_byte)x;
    dump_block(D, &c, 1);
}

void dump_int32(DumpState *D, uint32_t x) {
    lu_byte b[4] = {(lu_byte)x, (lu_byte)(x >> 8), (lu_byte)(x >> 16), (lu_byte)(x >> 24)};
    dump_block(D, b, 4);
}

void dump_int(DumpState *D, int x) { dump_int32(D, (uint32_t)x); }

void dump_size(DumpState *D, size_t x) {
    lu_byte b[sizeof(size_t)];
    for (size_t i = 0; i < sizeof b; i++) b[i] = (lu_byte)(x >> (8 * i));
    dump_block(D, b, sizeof b);
}

void dump_string(DumpState *D, const TString *s) {
    if (s == nullptr) {
        dump_size(D, 0);
        return;
    }
    dump_size(D, s->len + 1);
    dump_block(D, getstr(s), s->len + 1); // with its terminating zero
}

void dump_function(DumpState *D, const Proto *f) {
    dump_int(D, f->linedefined);
    dump_int(D, f->lastlinedefined);
    dump_byte(D, f->numparams);
    dump_byte(D, f->is_vararg);
    dump_byte(D, f->maxstacksize);
    dump_int(D, f->sizecode);
    for (int i = 0; i < f->sizecode; i++) dump_int32(D, f->code[i]);
    dump_int(D, f->sizek);
    for (int i = 0; i < f->sizek; i++) {
        const TValue *o = &f->k[i];
        dump_byte(D, ttypenv(o));
        switch (ttypenv(o)) {
        case LUA_TBOOLEAN: dump_byte(D, bvalue(o) != 0); break;
        case LUA_TNUMBER: dump_int32(D, (uint32_t)nvalue(o)); break;
        case LUA_TSTRING: dump_string(D, rawtsvalue(o)); break;
        default: break; // nil
        }
    }
    dump_int(D, f->sizep);
    for (int i = 0; i < f->sizep; i++) dump_function(D, f->p[i]);
    dump_int(D, f->sizeupvalues);
    for (int i = 0; i < f->sizeupvalues; i++) {
        dump_byte(D, f->upvalues[i].instack);
        dump_byte(D, f->upvalues[i].idx);
    }
    dump_string(D, D->strip ? nullptr : f->source);
    int n = D->strip ? 0 : f->sizelineinfo;
    dump_int(D, n);
    for (int i = 0; i < n; i++) dump_int(D, f->lineinfo[i]);
    n = D->strip ? 0 : f->sizelocvars;
    dump_int(D, n);
    for (int i = 0; i < n; i++) {
        dump_string(D, f->locvars[i].varname);
        dump_int(D, f->locvars[i].startpc);
        dump_int(D, f->locvars[i].endpc);
    }
    n = D->strip ? 0 : f->sizeupvalues;
    dump_int(D, n);
    for (int i = 0; i < n; i++) dump_string(D, f->upvalues[i].name);
}

} // namespace

int luaU_dump(lua_State *L, const Proto *f, lua_Writer w, void *data, int strip) {
    DumpState D;
    D.L = L;
    D.writer = w;
    D.data = data;
    D.strip = strip;
    D.status = 0;
    D.count = 0;
    lu_byte h[LUAC_HEADERSIZE];
    luaU_header(h);
    dump_block(&D, h, sizeof h);
    dump_function(&D, f);
    flush(&D);
    return D.status;
}
