// The bit32 library on the 32-bit pattern of each argument's whole part
// (read through the integer accessors); results are whole numbers.
#include "lauxlib.h"
#include "lualib.h"

#include <cstdint>

namespace {

constexpr int bits = 32;
constexpr uint32_t all_ones = 0xFFFFFFFFu;

uint32_t arg(lua_State *L, int i) { return (uint32_t)luaL_checkunsigned(L, i); }

int push(lua_State *L, uint32_t r) {
    lua_pushunsigned(L, r);
    return 1;
}

uint32_t fold_and(lua_State *L) {
    int n = lua_gettop(L);
    uint32_t r = all_ones;
    for (int i = 1; i <= n; i++) r &= arg(L, i);
    return r;
}

int b_and(lua_State *L) { return push(L, fold_and(L)); }
int b_test(lua_State *L) {
    lua_pushboolean(L, fold_and(L) != 0);
    return 1;
}
int b_or(lua_State *L) {
    int n = lua_gettop(L);
    uint32_t r = 0;
    for (int i = 1; i <= n; i++) r |= arg(L, i);
    return push(L, r);
}
int b_xor(lua_State *L) {
    int n = lua_gettop(L);
    uint32_t r = 0;
    for (int i = 1; i <= n; i++) r ^= arg(L, i);
    return push(L, r);
}
int b_not(lua_State *L) { return push(L, ~arg(L, 1)); }

// A logical shift: positive displacements to the left.
uint32_t shift(uint32_t r, int64_t disp) {
    if (disp <= -bits || disp >= bits) return 0;
    return disp < 0 ? r >> -disp : r << disp;
}

int b_lshift(lua_State *L) { return push(L, shift(arg(L, 1), luaL_checkinteger(L, 2))); }
int b_rshift(lua_State *L) { return push(L, shift(arg(L, 1), -(int64_t)luaL_checkinteger(L, 2))); }

int b_arshift(lua_State *L) {
    uint32_t r = arg(L, 1);
    int64_t disp = luaL_checkinteger(L, 2);
    if (disp < 0 || !(r & 0x80000000u)) return push(L, shift(r, -disp));
    if (disp >= bits) return push(L, all_ones);
    return push(L, (r >> disp) | ~(all_ones >> disp)); // the sign fills in
}

uint32_t rotate(uint32_t r, int64_t disp) {
    int d = (int)(disp & (bits - 1));
    return d == 0 ? r : (r << d) | (r >> (bits - d));
}

int b_lrotate(lua_State *L) { return push(L, rotate(arg(L, 1), luaL_checkinteger(L, 2))); }
int b_rrotate(lua_State *L) { return push(L, rotate(arg(L, 1), -(int64_t)luaL_checkinteger(L, 2))); }

// The field and width arguments at fi, checked.
int field_args(lua_State *L, int fi, int *width) {
    lua_Integer f = luaL_checkinteger(L, fi);
    lua_Integer w = luaL_optinteger(L, fi + 1, 1);
    luaL_argcheck(L, 0 <= f, fi, "field cannot be negative");
    luaL_argcheck(L, 0 < w, fi + 1, "width must be positive");
    if (f + w > bits) luaL_error(L, "trying to access non-existent bits");
    *width = (int)w;
    return (int)f;
}

uint32_t mask(int width) { return width == bits ? all_ones : ((1u << width) - 1); }

int b_extract(lua_State *L) {
    uint32_t r = arg(L, 1);
    int width;
    int f = field_args(L, 2, &width);
    return push(L, (r >> f) & mask(width));
}

int b_replace(lua_State *L) {
    uint32_t r = arg(L, 1);
    uint32_t v = arg(L, 2);
    int width;
    int f = field_args(L, 3, &width);
    uint32_t m = mask(width);
    return push(L, (r & ~(m << f)) | ((v & m) << f));
}

const luaL_Reg bit_functions[] = {
    {"arshift", b_arshift}, {"band", b_and},         {"bnot", b_not},       {"bor", b_or},
    {"bxor", b_xor},        {"btest", b_test},       {"extract", b_extract}, {"lrotate", b_lrotate},
    {"lshift", b_lshift},   {"replace", b_replace},  {"rrotate", b_rrotate}, {"rshift", b_rshift},
    {nullptr, nullptr},
};

} // namespace

int luaopen_bit32(lua_State *L) {
    luaL_newlib(L, bit_functions);
    return 1;
}
