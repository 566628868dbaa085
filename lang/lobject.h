// Values, tags and the records of every collectable object.
#pragma once

#include <cstdarg>
#include <cstring>

#include "lua.h"

typedef unsigned char lu_byte;
typedef size_t lu_mem;
typedef ptrdiff_t l_mem;
typedef uint32_t Instruction;

#define MAX_SIZET ((size_t)(~(size_t)0) - 2)
#define MAX_LUMEM ((lu_mem)(~(lu_mem)0) - 2)
#define MAX_LMEM ((l_mem)(MAX_LUMEM >> 1))
#define MAX_INT (INT32_MAX - 2)

// Nested host calls before "C stack overflow".
#define LUAI_MAXCCALLS 200
// Upvalues of one host closure.
#define MAXUPVAL 255

#define cast(t, exp) ((t)(exp))
#define cast_byte(i) cast(lu_byte, (i))
#define cast_int(i) cast(int, (i))

// Internal tags, after the basic ones (type-name order: "proto", "upval").
#define LUA_TPROTO LUA_NUMTAGS      // 9
#define LUA_TUPVAL (LUA_NUMTAGS + 1) // 10
#define LUA_TDEADKEY (LUA_NUMTAGS + 2) // 11
#define LUA_TOTALTAGS (LUA_TUPVAL + 2)

// Tag bits: 0-3 type, 4-5 variant, 6 collectable.
#define VARBITS (3 << 4)
#define LUA_TSHRSTR (LUA_TSTRING | (0 << 4)) // 4
#define LUA_TLNGSTR (LUA_TSTRING | (1 << 4)) // 20
#define LUA_TLCL (LUA_TFUNCTION | (0 << 4))  // 6: script closure
#define LUA_TLCF (LUA_TFUNCTION | (1 << 4))  // 22: light host function
#define LUA_TCCL (LUA_TFUNCTION | (2 << 4))  // 38: host closure
#define BIT_ISCOLLECTABLE (1 << 6)
#define ctb(t) ((t) | BIT_ISCOLLECTABLE)

// Header shared by every collectable object.
struct GCObject {
    GCObject *next;
    lu_byte tt;
    lu_byte marked;
};

union Value {
    GCObject *gc;
    void *p;
    int b;
    lua_CFunction f;
    zorva_fixed n;
};

struct TValue {
    Value value_;
    int tt_;
};

typedef TValue *StkId;

// ---- Tag tests -----------------------------------------------------------
#define rttype(o) ((o)->tt_)
#define novariant(x) ((x) & 0x0F)
#define ttype(o) (rttype(o) & 0x3F)
#define ttypenv(o) (novariant(rttype(o)))
#define checktag(o, t) (rttype(o) == (t))
#define ttisnumber(o) checktag((o), LUA_TNUMBER)
#define ttisnil(o) checktag((o), LUA_TNIL)
#define ttisboolean(o) checktag((o), LUA_TBOOLEAN)
#define ttislightuserdata(o) checktag((o), LUA_TLIGHTUSERDATA)
#define ttisstring(o) (ttypenv(o) == LUA_TSTRING)
#define ttisshrstring(o) checktag((o), ctb(LUA_TSHRSTR))
#define ttislngstring(o) checktag((o), ctb(LUA_TLNGSTR))
#define ttistable(o) checktag((o), ctb(LUA_TTABLE))
#define ttisfunction(o) (ttypenv(o) == LUA_TFUNCTION)
#define ttisclosure(o) ((rttype(o) & 0x1F) == LUA_TFUNCTION)
#define ttisCclosure(o) checktag((o), ctb(LUA_TCCL))
#define ttisLclosure(o) checktag((o), ctb(LUA_TLCL))
#define ttislcf(o) checktag((o), LUA_TLCF)
#define ttisuserdata(o) checktag((o), ctb(LUA_TUSERDATA))
#define ttisthread(o) checktag((o), ctb(LUA_TTHREAD))
#define ttisdeadkey(o) checktag((o), LUA_TDEADKEY)
#define iscollectable(o) (rttype(o) & BIT_ISCOLLECTABLE)

#define l_isfalse(o) (ttisnil(o) || (ttisboolean(o) && (o)->value_.b == 0))

// ---- Records -------------------------------------------------------------

// String; the bytes and a terminating zero follow the record.
struct TString : GCObject {
    lu_byte extra;     // short: reserved-word index (1-22); long: hash known
    unsigned int hash;
    size_t len;
    char *data() { return reinterpret_cast<char *>(this + 1); }
    const char *data() const { return reinterpret_cast<const char *>(this + 1); }
};
#define getstr(ts) ((ts)->data())
#define svalue(o) getstr(rawtsvalue(o))

struct Table;

// Full userdata; its block follows the record.
struct Udata : GCObject {
    Table *metatable;
    Table *env; // the user value (a table or null)
    size_t len;
    void *data() { return reinterpret_cast<void *>(this + 1); }
};

// Description of one upvalue of a prototype.
struct Upvaldesc {
    TString *name;
    lu_byte instack; // in the enclosing function's registers?
    lu_byte idx;     // register or enclosing upvalue index
};

// Debug information on a local variable.
struct LocVar {
    TString *varname;
    int startpc; // first instruction where it is active
    int endpc;   // first instruction where it is dead
};

struct LClosure;

// Function prototype, as the compiler builds it.
struct Proto : GCObject {
    TValue *k;             // constants
    Instruction *code;
    Proto **p;             // nested prototypes
    int *lineinfo;         // source line of each instruction
    LocVar *locvars;
    Upvaldesc *upvalues;
    LClosure *cache;       // last closure made from this prototype
    TString *source;
    int sizeupvalues;
    int sizek;
    int sizecode;
    int sizelineinfo;
    int sizep;
    int sizelocvars;
    int linedefined;
    int lastlinedefined;
    GCObject *gclist;
    lu_byte numparams;
    lu_byte is_vararg;
    lu_byte maxstacksize;  // registers needed
};

// Upvalue: open ones point into a thread's stack; closed ones hold their
// value.
struct UpVal : GCObject {
    TValue *v;
    union {
        TValue value; // when closed
        struct {      // when open: doubly linked list of all open upvalues
            UpVal *prev;
            UpVal *next;
        } l;
    } u;
};

struct CClosure : GCObject {
    lu_byte nupvalues;
    GCObject *gclist;
    lua_CFunction f;
    TValue upvalue[1];
};

struct LClosure : GCObject {
    lu_byte nupvalues;
    GCObject *gclist;
    Proto *p;
    UpVal *upvals[1];
};

union Closure {
    CClosure c;
    LClosure l;
};

#define sizeCclosure(n) (sizeof(CClosure) - sizeof(TValue) + sizeof(TValue) * (size_t)(n))
#define sizeLclosure(n) (sizeof(LClosure) - sizeof(UpVal *) + sizeof(UpVal *) * (size_t)(n))

// Key of a hash node: a value plus the offset to the next node of its
// chain (0 ends the chain).
union TKey {
    struct {
        Value value_;
        int tt_;
        int next;
    } nk;
    TValue tvk;
};

struct Node {
    TValue i_val;
    TKey i_key;
};

struct Table : GCObject {
    lu_byte flags;      // 1 << p: metamethod p known to be absent
    lu_byte lsizenode;  // log2 of the hash part size
    int sizearray;
    TValue *array;
    Node *node;
    Node *lastfree;     // every free node is below this
    Table *metatable;
    GCObject *gclist;
};

// ---- Value access --------------------------------------------------------
#define val_(o) ((o)->value_)
#define gcvalue(o) (val_(o).gc)
#define pvalue(o) (val_(o).p)
#define fvalue(o) (val_(o).f)
#define nvalue(o) (val_(o).n)
#define bvalue(o) (val_(o).b)
#define rawtsvalue(o) (static_cast<TString *>(val_(o).gc))
#define tsvalue(o) rawtsvalue(o)
#define rawuvalue(o) (static_cast<Udata *>(val_(o).gc))
#define uvalue(o) rawuvalue(o)
#define clvalue(o) (reinterpret_cast<Closure *>(val_(o).gc))
#define clLvalue(o) (static_cast<LClosure *>(val_(o).gc))
#define clCvalue(o) (static_cast<CClosure *>(val_(o).gc))
#define hvalue(o) (static_cast<Table *>(val_(o).gc))
#define thvalue(o) (reinterpret_cast<lua_State *>(val_(o).gc))
#define deadvalue(o) ((void *)val_(o).gc)

#define gco2ts(o) (static_cast<TString *>(o))
#define gco2u(o) (static_cast<Udata *>(o))
#define gco2t(o) (static_cast<Table *>(o))
#define gco2p(o) (static_cast<Proto *>(o))
#define gco2uv(o) (static_cast<UpVal *>(o))
#define gco2lcl(o) (static_cast<LClosure *>(o))
#define gco2ccl(o) (static_cast<CClosure *>(o))
#define gco2cl(o) (reinterpret_cast<Closure *>(o))
#define gco2th(o) (reinterpret_cast<lua_State *>(o))
#define obj2gco(v) (static_cast<GCObject *>(v))

#define settt_(o, t) ((o)->tt_ = (t))
inline void setnilvalue(TValue *o) { o->tt_ = LUA_TNIL; }
inline void setnvalue(TValue *o, zorva_fixed n) { o->value_.n = n; o->tt_ = LUA_TNUMBER; }
inline void setbvalue(TValue *o, int b) { o->value_.b = b; o->tt_ = LUA_TBOOLEAN; }
inline void setpvalue(TValue *o, void *p) { o->value_.p = p; o->tt_ = LUA_TLIGHTUSERDATA; }
inline void setfvalue(TValue *o, lua_CFunction f) { o->value_.f = f; o->tt_ = LUA_TLCF; }
inline void setdeadvalue(TValue *o) { o->tt_ = LUA_TDEADKEY; }
inline void setgcovalue_(TValue *o, GCObject *g) { o->value_.gc = g; o->tt_ = ctb(g->tt); }
inline void setthvalue_(TValue *o, lua_State *th) {
    o->value_.gc = reinterpret_cast<GCObject *>(th);
    o->tt_ = ctb(LUA_TTHREAD);
}
inline void setsvalue_(TValue *o, GCObject *x) { o->value_.gc = x; o->tt_ = ctb(x->tt); }
inline void settagged_(TValue *o, GCObject *x, int tag) { o->value_.gc = x; o->tt_ = ctb(tag); }
inline void setobj_(TValue *o1, const TValue *o2) { *o1 = *o2; }

// Setters of collectable values may be given the state first, as
// assignments that may later need a barrier are: setsvalue(L, o, s) and
// setsvalue(o, s) are the same.
#define ZV_PICK3_(_1, _2, _3, NAME, ...) NAME
#define ZV_SETTER_(name, ...) ZV_PICK3_(__VA_ARGS__, name##3_, name##2_, )(__VA_ARGS__)
#define setgcovalue2_(o, x) setgcovalue_(o, obj2gco(x))
#define setgcovalue3_(L, o, x) setgcovalue_(o, obj2gco(x))
#define setsvalue2_(o, x) setsvalue_(o, obj2gco(x))
#define setsvalue3_(L, o, x) setsvalue_(o, obj2gco(x))
#define setuvalue2_(o, x) settagged_(o, obj2gco(x), LUA_TUSERDATA)
#define setuvalue3_(L, o, x) settagged_(o, obj2gco(x), LUA_TUSERDATA)
#define sethvalue2_(o, x) settagged_(o, obj2gco(x), LUA_TTABLE)
#define sethvalue3_(L, o, x) settagged_(o, obj2gco(x), LUA_TTABLE)
#define setclLvalue2_(o, x) settagged_(o, obj2gco(x), LUA_TLCL)
#define setclLvalue3_(L, o, x) settagged_(o, obj2gco(x), LUA_TLCL)
#define setclCvalue2_(o, x) settagged_(o, obj2gco(x), LUA_TCCL)
#define setclCvalue3_(L, o, x) settagged_(o, obj2gco(x), LUA_TCCL)
#define setthvalue2_(o, x) setthvalue_(o, x)
#define setthvalue3_(L, o, x) setthvalue_(o, x)
#define setobj2_(o1, o2) setobj_(o1, o2)
#define setobj3_(L, o1, o2) setobj_(o1, o2)
#define setgcovalue(...) ZV_SETTER_(setgcovalue, __VA_ARGS__)
#define setsvalue(...) ZV_SETTER_(setsvalue, __VA_ARGS__)
#define setuvalue(...) ZV_SETTER_(setuvalue, __VA_ARGS__)
#define sethvalue(...) ZV_SETTER_(sethvalue, __VA_ARGS__)
#define setclLvalue(...) ZV_SETTER_(setclLvalue, __VA_ARGS__)
#define setclCvalue(...) ZV_SETTER_(setclCvalue, __VA_ARGS__)
#define setthvalue(...) ZV_SETTER_(setthvalue, __VA_ARGS__)
#define setobj(...) ZV_SETTER_(setobj, __VA_ARGS__)

// Aliases naming the direction of a copy.
#define setobjs2s(L, o1, o2) setobj(L, o1, o2)
#define setobj2s(L, o1, o2) setobj(L, o1, o2)
#define setobjt2t(L, o1, o2) setobj(L, o1, o2)
#define setobj2t(L, o1, o2) setobj(L, o1, o2)
#define setobj2n(L, o1, o2) setobj(L, o1, o2)
#define setsvalue2s(L, o, s) setsvalue(L, o, s)
#define sethvalue2s(L, o, h) sethvalue(L, o, h)
#define setptvalue2s(L, o, p) setgcovalue(L, o, p)

// Raw equality of two values of the same tag.
#define luaO_nilobject (&luaO_nilobject_)
extern const TValue luaO_nilobject_;

// Size of a block for 2^x elements.
#define twoto(x) (1 << (x))
#define sizenode(t) (twoto((t)->lsizenode))
#define lmod(s, size) (cast(int, (s) & ((size) - 1)))

int luaO_ceillog2(unsigned int x);
zorva_fixed luaO_arith(int op, zorva_fixed v1, zorva_fixed v2);
const char *luaO_pushvfstring(lua_State *L, const char *fmt, va_list argp);
const char *luaO_pushfstring(lua_State *L, const char *fmt, ...);
void luaO_chunkid(char *out, const char *source, size_t len);
int luaO_hexavalue(int c);
