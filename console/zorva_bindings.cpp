// The cart API table.
#include "zorva_bindings.h"

#include "lua.h"
#include "lualib.h"
#include "zorva_api.h"
#include "zorva_api_draw.h"

#include <cstring>

char api_function_name[ZORVA_API_NAMES][ZORVA_API_NAME_SIZE];
int api_function_count = 0;

void init_api_function_names() {
    std::memset(api_function_name, 0, sizeof api_function_name);
    api_function_count = 0;
}

void add_api_function_name(const char *name) {
    if (!name) return;
    size_t len = std::strlen(name);
    if (api_function_count >= ZORVA_API_NAMES || len >= ZORVA_API_NAME_SIZE) return;
    std::memcpy(api_function_name[api_function_count], name, len + 1);
    api_function_count++;
}

int is_api_function_name(const char *name) {
    if (!name) return 0;
    for (int i = 0; i < api_function_count; i++)
        if (std::strcmp(api_function_name[i], name) == 0) return 1;
    return 0;
}

namespace {

struct cart_function {
    const char *name;
    lua_CFunction function;
};

// Every cart function in registration order: the order of the name list
// too. A second name of the same function ("dir" for ls, "map" for
// mapdraw, "exit" for shutdown, "menuitem" for _menuitem, "paused" for
// _paused) has its own entry right after the first.
const cart_function cart_functions[] = {
    {"flip", zv_flip},
    {"camera", zv_camera},
    {"clip", zv_clip},
    {"cls", zv_cls},
    {"folder", zv_folder},
    {"ls", zv_ls},
    {"dir", zv_ls},
    {"cd", zv_cd},
    {"mkdir", zv_mkdir},
    {"install_demos", zv_install_demos},
    {"install_games", zv_install_games},
    {"keyconfig", zv_keyconfig},
    {"splore", zv_splore},
    {"pset", zv_pset},
    {"pget", zv_pget},
    {"color", zv_color},
    {"print", zv_print},
    {"printh", zv_printh},
    {"cursor", zv_cursor},
    {"tonum", zv_tonum},
    {"tostr", zv_tostr},
    {"spr", zv_spr},
    {"sspr", zv_sspr},
    {"rect", zv_rect},
    {"rectfill", zv_rectfill},
    {"circ", zv_circ},
    {"circfill", zv_circfill},
    {"line", zv_line},
    {"pal", zv_pal},
    {"palt", zv_palt},
    {"fillp", zv_fillp},
    {"mapdraw", zv_mapdraw},
    {"map", zv_mapdraw},
    {"mget", zv_mget},
    {"mset", zv_mset},
    {"fget", zv_fget},
    {"fset", zv_fset},
    {"sget", zv_sget},
    {"sset", zv_sset},
    {"music", zv_music},
    {"sfx", zv_sfx},
    {"peek", zv_peek},
    {"poke", zv_poke},
    {"memcpy", zv_memcpy},
    {"memset", zv_memset},
    {"reload", zv_reload},
    {"cstore", zv_cstore},
    {"rnd", zv_rnd},
    {"srand", zv_srand},
    {"flr", zv_flr},
    {"sgn", zv_sgn},
    {"abs", zv_abs},
    {"min", zv_min},
    {"max", zv_max},
    {"mid", zv_mid},
    {"cos", zv_cos},
    {"sin", zv_sin},
    {"sqrt", zv_sqrt},
    {"atan2", zv_atan2},
    {"band", zv_band},
    {"bor", zv_bor},
    {"bxor", zv_bxor},
    {"bnot", zv_bnot},
    {"shl", zv_shl},
    {"shr", zv_shr},
    {"load", zv_load},
    {"save", zv_save},
    {"run", zv_run},
    {"stop", zv_stop},
    {"reboot", zv_reboot},
    {"shutdown", zv_shutdown},
    {"exit", zv_shutdown},
    {"info", zv_info},
    {"export", zv_export},
    {"import", zv_import},
    {"help", zv_help},
    {"time", zv_time},
    {"login", zv_login},
    {"logout", zv_logout},
    {"bbsreq", zv_bbsreq},
    {"scoresub", zv_scoresub},
    {"extcmd", zv_extcmd},
    {"btn", zv_btn},
    {"btnp", zv_btnp},
    {"_menuitem", zv__menuitem},
    {"menuitem", zv__menuitem},
    {"cartdata", zv_cartdata},
    {"dget", zv_dget},
    {"dset", zv_dset},
    {"stat", zv_stat},
    // The script library's functions under their cart names.
    {"sub", str_sub},
    {"pairs", luaB_pairs},
    {"type", luaB_type},
    {"assert", luaB_assert},
    {"setmetatable", luaB_setmetatable},
    {"getmetatable", luaB_getmetatable},
    {"cocreate", luaB_cocreate},
    {"coresume", zv_coresume},
    {"costatus", luaB_costatus},
    {"yield", zv_yield},
    {"trace", db_traceback},
    {"_paused", zv__paused},
    {"paused", zv__paused},
    {"holdframe", zv_holdframe},
    {"_get_frames_skipped", zv__get_frames_skipped},
    {"_get_menu_item_selected", zv__get_menu_item_selected},
    {"_update_buttons", zv__update_buttons},
    {"_set_mainloop_exists", zv__set_mainloop_exists},
    {"_set_fps", zv__set_fps},
    {"_set_paused", zv__set_paused},
};

}  // namespace

void add_c_functions(lua_State *L) {
    init_api_function_names();
    for (const cart_function &f : cart_functions) {
        lua_register(L, f.name, f.function);
        add_api_function_name(f.name);
    }
}
