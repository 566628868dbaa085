// The string library's substring function, which carts see as the global
// sub. No script state of the console opens a string library.
#include "lauxlib.h"
#include "lualib.h"

#include <cstdint>

namespace {

// Position p (a whole number) in a string of len characters: a negative p
// counts back from the end (-1 is the last character), and one that falls
// before the start gives 0.
int64_t string_position(lua_Integer p, int64_t len) {
    if (p >= 0) return p;
    if (-(int64_t)p > len) return 0;
    return len + p + 1;
}

}  // namespace

int str_sub(lua_State *L) {
    size_t size = 0;
    const char *s = luaL_checklstring(L, 1, &size);
    int64_t len = (int64_t)size;
    int64_t start = string_position(luaL_checkinteger(L, 2), len);
    int64_t end = string_position(luaL_optinteger(L, 3, -1), len);
    if (start < 1) start = 1;
    if (end > len) end = len;
    if (start > end) lua_pushliteral(L, "");
    else lua_pushlstring(L, s + start - 1, (size_t)(end - start + 1));
    return 1;
}
