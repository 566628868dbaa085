// The cart functions of console memory, and the argument helpers that all
// cart functions share.
#include "zorva_api.h"

#include "lua.h"
#include "zorva_cpu.h"
#include "zorva_memory.h"
#include "zorva_state.h"

#include <cstdint>
#include <cstring>

zorva_fixed zv_arg(lua_State *L, int i) { return lua_tonumberx(L, i, nullptr); }

int zv_arg_int(lua_State *L, int i) { return zv_arg(L, i) >> 16; }

void zv_push_int(lua_State *L, int n) { lua_pushnumber(L, zorva_fixed(uint32_t(n) << 16)); }

const char *zv_arg_name(lua_State *L, int i, size_t *length) {
    *length = 0;
    int type = lua_type(L, i);
    return type == LUA_TSTRING || type == LUA_TNUMBER ? lua_tolstring(L, i, length) : nullptr;
}

int zv_peek(lua_State *L) {
    if (lua_gettop(L) == 1) refund_cpu(-2);
    zv_push_int(L, zorva_peek(&pstate, pstate.live_cart, zv_arg_int(L, 1)));
    return 1;
}

int zv_poke(lua_State *L) {
    if (lua_gettop(L) == 2) refund_cpu(-3);
    zorva_poke(&pstate, pstate.live_cart, zv_arg_int(L, 1), zv_arg_int(L, 2));
    return 0;
}

int zv_memcpy(lua_State *L) {
    int dest = zv_arg_int(L, 1), src = zv_arg_int(L, 2), len = zv_arg_int(L, 3);
    spend_cpu(len + 1);
    zorva_memcpy(&pstate, pstate.live_cart, dest, src, len);
    return 0;
}

int zv_memset(lua_State *L) {
    int dest = zv_arg_int(L, 1), value = zv_arg_int(L, 2), len = zv_arg_int(L, 3);
    spend_cpu((len + 1) / 2);
    zorva_memset(&pstate, pstate.live_cart, dest, value, len);
    return 0;
}

// The destination, source and length of reload and cstore: all three
// given, else the whole ROM.
struct rom_transfer {
    int dest = 0, src = 0, len = ZORVA_ROM_SIZE;
};

static rom_transfer transfer_args(lua_State *L) {
    rom_transfer t;
    if (lua_gettop(L) >= 3) {
        t.dest = zv_arg_int(L, 1);
        t.src = zv_arg_int(L, 2);
        t.len = zv_arg_int(L, 3);
    }
    return t;
}

static int at_most_4096(int len) { return len < 4096 ? len : 4096; }

// Names beginning with "__" are the console's own files.
static bool reserved_name(const char *name) { return std::strncmp(name, "__", 2) == 0; }

int zv_reload(lua_State *L) {
    rom_transfer t = transfer_args(L);
    spend_cpu(at_most_4096(t.len) * 8);
    // A name that is no text (nil) counts as no name; one holding a NUL
    // reads nothing.
    size_t length = 0;
    const char *name = lua_gettop(L) == 4 ? zv_arg_name(L, 4, &length) : nullptr;
    if (name) {
        bool ok = std::strlen(name) == length && !reserved_name(name) && zorva_shell.reload_from_file &&
                  zorva_shell.reload_from_file(name, t.dest, t.src, t.len) == 0;
        zv_push_int(L, ok ? t.len : 0);
        return 1;
    }
    zorva_reload(&pstate, pstate.live_cart, t.dest, t.src, t.len);
    zv_push_int(L, t.len);
    return 1;
}

int zv_cstore(lua_State *L) {
    rom_transfer t = transfer_args(L);
    spend_cpu(at_most_4096(t.len) * 64);
    // A name that is no text (nil) counts as no name: the cart's own file.
    size_t length = 0;
    const char *name = lua_gettop(L) >= 4 ? zv_arg_name(L, 4, &length) : nullptr;
    if (name && (length > 511 || std::strlen(name) != length || reserved_name(name))) {
        zv_push_int(L, 0);
        return 1;
    }
    bool ok = zorva_shell.cstore_to_file && zorva_shell.cstore_to_file(name, t.dest, t.src, t.len) == 0;
    zv_push_int(L, ok ? t.len : 0);
    return 1;
}
