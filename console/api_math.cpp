// The cart functions of arithmetic, bit operations, random numbers and
// conversion between numbers and text. Every number is taken and given as
// its raw 16.16 pattern.
#include "zorva_api.h"

#include "lua.h"
#include "tamu_math.h"
#include "zorva_cpu.h"
#include "zorva_fixed.h"

#include <cstdint>
#include <cstdio>

namespace {

// The usual calls of the cheapest functions give back part of what their
// call instructions cost; only a call with exactly the usual number of
// arguments does.
void refund_for(lua_State *L, int nargs, int units) {
    if (lua_gettop(L) == nargs) refund_cpu(-units);
}

int push(lua_State *L, zorva_fixed v) {
    lua_pushnumber(L, v);
    return 1;
}

int push_bits(lua_State *L, uint32_t bits) { return push(L, zorva_fixed(bits)); }

uint32_t bits(lua_State *L, int i) { return uint32_t(zv_arg(L, i)); }

// Negation wraps: -(-32768.0) is -32768.0.
zorva_fixed negate(zorva_fixed v) { return zorva_fixed(0u - uint32_t(v)); }

}  // namespace

// ---- Arithmetic ------------------------------------------------------------

int zv_flr(lua_State *L) {
    refund_for(L, 1, 2);
    return push_bits(L, bits(L, 1) & 0xFFFF0000u);
}

int zv_sgn(lua_State *L) { return push(L, zv_arg(L, 1) < 0 ? -ZORVA_FIXED_ONE : ZORVA_FIXED_ONE); }

int zv_abs(lua_State *L) {
    zorva_fixed x = zv_arg(L, 1);
    return push(L, x < 0 ? negate(x) : x);
}

int zv_min(lua_State *L) {
    zorva_fixed a = zv_arg(L, 1), b = zv_arg(L, 2);
    return push(L, a < b ? a : b);
}

int zv_max(lua_State *L) {
    zorva_fixed a = zv_arg(L, 1), b = zv_arg(L, 2);
    return push(L, a > b ? a : b);
}

int zv_mid(lua_State *L) {
    zorva_fixed a = zv_arg(L, 1), b = zv_arg(L, 2), c = zv_arg(L, 3);
    zorva_fixed m;
    if (a < b && a < c) m = b < c ? b : c;       // a is the smallest
    else if (a > b && b < c) m = a < c ? a : c;  // b is
    else m = a < b ? a : b;                      // c is, or values are equal
    return push(L, m);
}

// Angles are in turns: 1.0 is a whole turn, so the raw pattern is the
// engine's angle. sin is negated, for a screen whose y grows downward.
int zv_cos(lua_State *L) { return push(L, fcos(bits(L, 1))); }

int zv_sin(lua_State *L) { return push(L, fsin(bits(L, 1))); }

int zv_atan2(lua_State *L) { return push(L, fatan2(zv_arg(L, 1), zv_arg(L, 2))); }

int zv_sqrt(lua_State *L) {
    spend_cpu(16);
    return push(L, fsqrt(zv_arg(L, 1)));
}

// ---- Bit operations --------------------------------------------------------

int zv_band(lua_State *L) {
    refund_for(L, 2, 3);
    return push_bits(L, bits(L, 1) & bits(L, 2));
}

int zv_bor(lua_State *L) {
    refund_for(L, 2, 3);
    return push_bits(L, bits(L, 1) | bits(L, 2));
}

int zv_bxor(lua_State *L) {
    refund_for(L, 2, 3);
    return push_bits(L, bits(L, 1) ^ bits(L, 2));
}

int zv_bnot(lua_State *L) {
    refund_for(L, 1, 2);
    return push_bits(L, ~bits(L, 1));
}

// The count is the whole part of the second argument; above 31 everything
// is shifted out, and a negative count is taken as count & 31.
int zv_shl(lua_State *L) {
    refund_for(L, 2, 3);
    int n = zv_arg_int(L, 2);
    return push_bits(L, n > 31 ? 0 : bits(L, 1) << (n & 31));
}

// Arithmetic: the sign bit is copied in.
int zv_shr(lua_State *L) {
    refund_for(L, 2, 3);
    int n = zv_arg_int(L, 2);
    return push(L, n > 31 ? 0 : zv_arg(L, 1) >> (n & 31));
}

// ---- Random numbers --------------------------------------------------------

// rnd(x): uniform over the raw steps 0 to x - 1/65536 (x taken unsigned);
// 1.0 without an argument.
int zv_rnd(lua_State *L) {
    spend_cpu(4);
    uint32_t n = lua_gettop(L) == 0 ? uint32_t(ZORVA_FIXED_ONE) : bits(L, 1);
    return push_bits(L, zorva_random(n));
}

// The seed's sign bit is not used.
int zv_srand(lua_State *L) {
    zorva_srand(bits(L, 1) & 0x7FFFFFFFu);
    return 0;
}

// ---- Conversion ------------------------------------------------------------

// tostr(v [, hex]): a number in its text form, or with hex as
// "0xIIII.FFFF" (the whole and the fraction half of its pattern); a string
// as it is; booleans as "true" and "false"; anything else (nil or no value
// too) as its type name in brackets.
int zv_tostr(lua_State *L) {
    switch (lua_type(L, 1)) {
    case LUA_TNUMBER: {
        char text[ZORVA_FIXED_TEXT_SIZE];
        uint32_t v = bits(L, 1);
        if (lua_toboolean(L, 2)) std::snprintf(text, sizeof text, "0x%04x.%04x", v >> 16, v & 0xFFFFu);
        else zorva_fixed_to_string(text, zorva_fixed(v));
        lua_pushstring(L, text);
        return 1;
    }
    case LUA_TSTRING: lua_pushvalue(L, 1); return 1;
    case LUA_TBOOLEAN: lua_pushstring(L, lua_toboolean(L, 1) ? "true" : "false"); return 1;
    case LUA_TNONE: lua_pushliteral(L, "[nil]"); return 1;
    default: lua_pushfstring(L, "[%s]", lua_typename(L, lua_type(L, 1))); return 1;
    }
}

// tonum(v): a number as it is; a string by the numeral rules, a leading "-"
// making the value negative when the conversion wrapped it to a positive
// one ("-0xffff" is -1.0 as "0xffff" is). No result at all for text that is
// no number and for any other value.
int zv_tonum(lua_State *L) {
    int type = lua_type(L, 1);
    if (type == LUA_TNUMBER) return push(L, zv_arg(L, 1));
    if (type != LUA_TSTRING) return 0;
    size_t len = 0;
    const char *text = lua_tolstring(L, 1, &len);
    zorva_fixed v;
    if (!luaO_str2d(text, len, &v)) return 0;
    if (text[0] == '-' && v >= 0) v = negate(v);
    return push(L, v);
}
