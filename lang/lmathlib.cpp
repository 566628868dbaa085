// The math library. Each function takes the real value of its arguments
// (raw / 65536), applies the platform's floating-point routine and rounds
// the result to the nearest 16.16 value, held within the number range;
// floor, ceil and modf are exact. A result that has no value (the square
// root of -1, say) is 0.
#include "lauxlib.h"
#include "lualib.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr double pi = 3.14159265358979323846;

double real_arg(lua_State *L, int i) { return (double)luaL_checknumber(L, i) / 65536.0; }

zorva_fixed to_fixed(double x) {
    if (std::isnan(x)) return 0;
    double raw = x * 65536.0;
    if (raw >= 2147483647.0) return (zorva_fixed)0x7FFFFFFF;
    if (raw <= -2147483648.0) return (zorva_fixed)INT32_MIN;
    return (zorva_fixed)std::llround(raw);
}

int push_real(lua_State *L, double x) {
    lua_pushnumber(L, to_fixed(x));
    return 1;
}

template <double (*f)(double)> int unary(lua_State *L) { return push_real(L, f(real_arg(L, 1))); }

double f_abs(double x) { return std::fabs(x); }
double f_acos(double x) { return std::acos(x); }
double f_asin(double x) { return std::asin(x); }
double f_atan(double x) { return std::atan(x); }
double f_cosh(double x) { return std::cosh(x); }
double f_cos(double x) { return std::cos(x); }
double f_exp(double x) { return std::exp(x); }
double f_sinh(double x) { return std::sinh(x); }
double f_sin(double x) { return std::sin(x); }
double f_sqrt(double x) { return std::sqrt(x); }
double f_tanh(double x) { return std::tanh(x); }
double f_tan(double x) { return std::tan(x); }
double f_deg(double x) { return x * (180.0 / pi); }
double f_rad(double x) { return x * (pi / 180.0); }

// The floor of a 16.16 value is its fraction cleared.
int math_floor(lua_State *L) {
    lua_Number n = luaL_checknumber(L, 1);
    lua_pushnumber(L, (zorva_fixed)((uint32_t)n & 0xFFFF0000u));
    return 1;
}

int math_ceil(lua_State *L) { return push_real(L, std::ceil(real_arg(L, 1))); }

int math_atan2(lua_State *L) { return push_real(L, std::atan2(real_arg(L, 1), real_arg(L, 2))); }

int math_fmod(lua_State *L) { return push_real(L, std::fmod(real_arg(L, 1), real_arg(L, 2))); }

int math_modf(lua_State *L) {
    double x = real_arg(L, 1);
    double whole = std::trunc(x);
    push_real(L, whole);
    push_real(L, x - whole);
    return 2;
}

int math_pow(lua_State *L) { return push_real(L, std::pow(real_arg(L, 1), real_arg(L, 2))); }

int math_log(lua_State *L) {
    double x = real_arg(L, 1);
    if (lua_isnoneornil(L, 2)) return push_real(L, std::log(x));
    double base = real_arg(L, 2);
    if (base == 10.0) return push_real(L, std::log10(x));
    return push_real(L, std::log(x) / std::log(base));
}

int math_frexp(lua_State *L) {
    int e;
    push_real(L, std::frexp(real_arg(L, 1), &e));
    lua_pushunsigned(L, (lua_Unsigned)(uint32_t)e); // a whole number
    return 2;
}

int math_ldexp(lua_State *L) { return push_real(L, std::ldexp(real_arg(L, 1), luaL_checkint(L, 2))); }

int math_min(lua_State *L) {
    int n = lua_gettop(L);
    lua_Number best = luaL_checknumber(L, 1);
    for (int i = 2; i <= n; i++) {
        lua_Number d = luaL_checknumber(L, i);
        if (d < best) best = d;
    }
    lua_pushnumber(L, best);
    return 1;
}

int math_max(lua_State *L) {
    int n = lua_gettop(L);
    lua_Number best = luaL_checknumber(L, 1);
    for (int i = 2; i <= n; i++) {
        lua_Number d = luaL_checknumber(L, i);
        if (d > best) best = d;
    }
    lua_pushnumber(L, best);
    return 1;
}

// random(): a fraction in [0, 1); random(m): a whole number in [1, m];
// random(m, n): in [m, n]. The platform's generator (rand).
int math_random(lua_State *L) {
    double r = (double)(std::rand() % RAND_MAX) / (double)RAND_MAX;
    switch (lua_gettop(L)) {
    case 0: lua_pushnumber(L, (zorva_fixed)std::floor(r * 65536.0)); return 1;
    case 1: {
        double u = real_arg(L, 1);
        luaL_argcheck(L, 1.0 <= u, 1, "interval is empty");
        return push_real(L, std::floor(r * u) + 1.0);
    }
    case 2: {
        double l = real_arg(L, 1), u = real_arg(L, 2);
        luaL_argcheck(L, l <= u, 2, "interval is empty");
        return push_real(L, std::floor(r * (u - l + 1.0)) + l);
    }
    default: return luaL_error(L, "wrong number of arguments");
    }
}

int math_randomseed(lua_State *L) {
    std::srand(luaL_checkunsigned(L, 1));
    (void)std::rand(); // the first value follows the seed too closely
    return 0;
}

const luaL_Reg math_functions[] = {
    {"abs", unary<f_abs>},   {"acos", unary<f_acos>},   {"asin", unary<f_asin>},   {"atan2", math_atan2},
    {"atan", unary<f_atan>}, {"ceil", math_ceil},        {"cosh", unary<f_cosh>},   {"cos", unary<f_cos>},
    {"deg", unary<f_deg>},   {"exp", unary<f_exp>},     {"floor", math_floor},     {"fmod", math_fmod},
    {"frexp", math_frexp},   {"ldexp", math_ldexp},     {"log", math_log},         {"max", math_max},
    {"min", math_min},       {"modf", math_modf},       {"pow", math_pow},         {"rad", unary<f_rad>},
    {"random", math_random}, {"randomseed", math_randomseed}, {"sinh", unary<f_sinh>}, {"sin", unary<f_sin>},
    {"sqrt", unary<f_sqrt>}, {"tanh", unary<f_tanh>},   {"tan", unary<f_tan>},     {nullptr, nullptr},
};

} // namespace

int luaopen_math(lua_State *L) {
    luaL_newlib(L, math_functions);
    push_real(L, pi);
    lua_setfield(L, -2, "pi");
    lua_pushnumber(L, (zorva_fixed)0x7FFFFFFF); // the largest number
    lua_setfield(L, -2, "huge");
    return 1;
}
