// The table library: concat, insert, pack, unpack, remove, sort. Lists are
// read and written raw, at whole indices; their length is the length
// operator's (with "__len").
#include "lauxlib.h"
#include "lualib.h"

#include <climits>

namespace {

int list_length(lua_State *L, int idx) {
    luaL_checktype(L, idx, LUA_TTABLE);
    return luaL_len(L, idx);
}

int tconcat(lua_State *L) {
    size_t lsep;
    const char *sep = luaL_optlstring(L, 2, "", &lsep);
    luaL_checktype(L, 1, LUA_TTABLE);
    int i = luaL_optint(L, 3, 1);
    int last = luaL_opt(L, luaL_checkint, 4, luaL_len(L, 1));
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    for (int64_t k = i; k <= last; k++) {
        lua_rawgeti(L, 1, (int)k);
        if (!lua_isstring(L, -1))
            return luaL_error(L, "invalid value (%s) at index %d in table for 'concat'", luaL_typename(L, -1), (int)k);
        luaL_addvalue(&b);
        if (k != last) luaL_addlstring(&b, sep, lsep);
    }
    luaL_pushresult(&b);
    return 1;
}

int tinsert(lua_State *L) {
    int64_t end = (int64_t)list_length(L, 1) + 1; // the first empty place
    int64_t pos;
    switch (lua_gettop(L)) {
    case 2: pos = end; break;
    case 3:
        pos = luaL_checkint(L, 2);
        luaL_argcheck(L, 1 <= pos && pos <= end, 2, "position out of bounds");
        for (int64_t k = end; k > pos; k--) { // move the later items up
            lua_rawgeti(L, 1, (int)(k - 1));
            lua_rawseti(L, 1, (int)k);
        }
        break;
    default: return luaL_error(L, "wrong number of arguments to 'insert'");
    }
    lua_rawseti(L, 1, (int)pos);
    return 0;
}

int tremove(lua_State *L) {
    int64_t size = list_length(L, 1);
    int64_t pos = luaL_optint(L, 2, (int)size);
    if (pos != size) luaL_argcheck(L, 1 <= pos && pos <= size + 1, 1, "position out of bounds");
    lua_rawgeti(L, 1, (int)pos);
    for (; pos < size; pos++) {
        lua_rawgeti(L, 1, (int)(pos + 1));
        lua_rawseti(L, 1, (int)pos);
    }
    lua_pushnil(L);
    lua_rawseti(L, 1, (int)pos);
    return 1;
}

int tpack(lua_State *L) {
    int n = lua_gettop(L);
    lua_createtable(L, n, 1);
    lua_insert(L, 1);
    for (int i = n; i >= 1; i--) lua_rawseti(L, 1, i);
    lua_pushunsigned(L, (lua_Unsigned)n); // a whole number
    lua_setfield(L, 1, "n");
    return 1;
}

int tunpack(lua_State *L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    int64_t i = luaL_optint(L, 2, 1);
    int64_t e = luaL_opt(L, luaL_checkint, 3, luaL_len(L, 1));
    if (i > e) return 0;
    int64_t n = e - i + 1;
    if (n >= INT_MAX || !lua_checkstack(L, (int)n)) return luaL_error(L, "too many results to unpack");
    for (int64_t k = i; k <= e; k++) lua_rawgeti(L, 1, (int)k);
    return (int)n;
}

// ---- sort --------------------------------------------------------------------
// Quicksort on the list at stack index 1, with the median of three as the
// pivot and the smaller part sorted first (so the depth stays logarithmic).
// An order function that is not consistent is caught before any index can
// leave the range being sorted.

bool less_than(lua_State *L, int a, int b) {
    a = lua_absindex(L, a);
    b = lua_absindex(L, b);
    if (!lua_isnoneornil(L, 2)) {
        lua_pushvalue(L, 2);
        lua_pushvalue(L, a);
        lua_pushvalue(L, b);
        lua_call(L, 2, 1);
        bool r = lua_toboolean(L, -1);
        lua_pop(L, 1);
        return r;
    }
    return lua_compare(L, a, b, LUA_OPLT);
}

void swap_items(lua_State *L, int i, int j) {
    lua_rawgeti(L, 1, i);
    lua_rawgeti(L, 1, j);
    lua_rawseti(L, 1, i);
    lua_rawseti(L, 1, j);
}

// Whether item i comes before item j.
bool item_less(lua_State *L, int i, int j) {
    lua_rawgeti(L, 1, i);
    lua_rawgeti(L, 1, j);
    bool r = less_than(L, -2, -1);
    lua_pop(L, 2);
    return r;
}

void bad_order(lua_State *L) { luaL_error(L, "invalid order function for sorting"); }

void sort_range(lua_State *L, int lo, int hi) {
    while (lo < hi) {
        // Order the first, middle and last items.
        if (item_less(L, hi, lo)) swap_items(L, lo, hi);
        if (hi - lo == 1) return;
        int mid = lo + (hi - lo) / 2;
        if (item_less(L, mid, lo)) swap_items(L, mid, lo);
        else if (item_less(L, hi, mid)) swap_items(L, mid, hi);
        if (hi - lo == 2) return;
        // The pivot waits at hi - 1; a[lo] is not above it, a[hi] not
        // below it.
        lua_rawgeti(L, 1, mid);
        int pivot = lua_gettop(L);
        swap_items(L, mid, hi - 1);
        int i = lo, j = hi - 1;
        for (;;) {
            for (;;) {
                lua_rawgeti(L, 1, ++i);
                bool before = less_than(L, -1, pivot);
                lua_pop(L, 1);
                if (!before) break;
                if (i >= hi - 1) bad_order(L);
            }
            for (;;) {
                lua_rawgeti(L, 1, --j);
                bool after = less_than(L, pivot, -1);
                lua_pop(L, 1);
                if (!after) break;
                if (j <= lo) bad_order(L);
            }
            if (j < i) break;
            swap_items(L, i, j);
        }
        lua_pop(L, 1); // the pivot
        swap_items(L, hi - 1, i);
        if (i - lo < hi - i) {
            sort_range(L, lo, i - 1);
            lo = i + 1;
        } else {
            sort_range(L, i + 1, hi);
            hi = i - 1;
        }
    }
}

int tsort(lua_State *L) {
    int n = list_length(L, 1);
    luaL_checkstack(L, 16, "");
    if (!lua_isnoneornil(L, 2)) luaL_checktype(L, 2, LUA_TFUNCTION);
    lua_settop(L, 2);
    sort_range(L, 1, n);
    return 0;
}

const luaL_Reg table_functions[] = {
    {"concat", tconcat}, {"insert", tinsert}, {"pack", tpack}, {"unpack", tunpack},
    {"remove", tremove}, {"sort", tsort},     {nullptr, nullptr},
};

} // namespace

int luaopen_table(lua_State *L) {
    luaL_newlib(L, table_functions);
    return 1;
}
