// Metamethod names and lookup.
#include "ltm.h"

#include "lstate.h"
#include "lstring.h"
#include "ltable.h"

static const char udatatypename[] = "userdata";

const char *const luaT_typenames_[LUA_TOTALTAGS + 1] = {
    "no value", "nil",    "boolean", udatatypename, "number", "string",
    "table",    "function", udatatypename, "thread", "proto",  "upval",
    "deadkey"};

void luaT_init(lua_State *L) {
    static const char *const names[] = {"__index", "__newindex", "__gc", "__mode", "__len", "__eq",
                                        "__add",   "__sub",      "__mul", "__div", "__mod", "__pow",
                                        "__unm",   "__lt",       "__le", "__concat", "__call"};
    static_assert(sizeof(names) / sizeof(names[0]) == TM_N, "one name per event");
    for (int i = 0; i < TM_N; i++) {
        G(L)->tmname[i] = luaS_new(L, names[i]);
        luaS_fix(G(L)->tmname[i]);
    }
}

// Lookup for the cached events: remembers an absent one in the flags.
const TValue *luaT_gettm(Table *events, TMS event, TString *ename) {
    const TValue *tm = luaH_getstr(events, ename);
    if (ttisnil(tm)) {
        events->flags |= cast_byte(1u << event);
        return nullptr;
    }
    return tm;
}

const TValue *luaT_gettmbyobj(lua_State *L, const TValue *o, TMS event) {
    Table *mt;
    switch (ttypenv(o)) {
    case LUA_TTABLE: mt = hvalue(o)->metatable; break;
    case LUA_TUSERDATA: mt = uvalue(o)->metatable; break;
    default: mt = G(L)->mt[ttypenv(o)];
    }
    return mt ? luaH_getstr(mt, G(L)->tmname[event]) : luaO_nilobject;
}
