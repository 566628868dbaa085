// The package library: require and its searchers, package.searchpath and
// package.loadlib. Native libraries load only in the Windows program (the
// engine's platform layer does the loading); elsewhere every attempt fails
// with "dynamic libraries not enabled; check your Lua installation".
#include "lauxlib.h"
#include "lualib.h"
#include "tamu_file.h"
#include "tamu_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

#if defined(_WIN32)
#define DIRECTORY_SEPARATOR "\\"
constexpr const char *default_path = "!\\lua\\?.lua;!\\lua\\?\\init.lua;!\\?.lua;!\\?\\init.lua;.\\?.lua";
constexpr const char *default_cpath = "!\\?.dll;!\\loadall.dll;.\\?.dll";
constexpr const char *library_failure = "open";
#else
#define DIRECTORY_SEPARATOR "/"
constexpr const char *default_path = "/usr/local/share/lua/5.2/?.lua;/usr/local/share/lua/5.2/?/init.lua;"
                                     "/usr/local/lib/lua/5.2/?.lua;/usr/local/lib/lua/5.2/?/init.lua;./?.lua";
constexpr const char *default_cpath = "/usr/local/lib/lua/5.2/?.so;/usr/local/lib/lua/5.2/loadall.so;./?.so";
constexpr const char *library_failure = "absent";
#endif

constexpr const char *path_separator = ";";
constexpr const char *path_mark = "?";
constexpr const char *exec_dir = "!";
constexpr const char *ignore_mark = "-";
constexpr const char *open_prefix = "luaopen_";
constexpr const char *libraries_key = "_CLIBS"; // registry: the loaded native libraries

enum { LOAD_OK, ERR_LIB, ERR_FUNC };

// ---- Native libraries --------------------------------------------------------

// The library loaded from path before, or null.
void *loaded_library(lua_State *L, const char *path) {
    lua_getfield(L, LUA_REGISTRYINDEX, libraries_key);
    lua_getfield(L, -1, path);
    void *library = lua_touserdata(L, -1);
    lua_pop(L, 2);
    return library;
}

// Keeps the library by its path and in load order (freed in reverse order
// when the state closes).
void keep_library(lua_State *L, const char *path, void *library) {
    lua_getfield(L, LUA_REGISTRYINDEX, libraries_key);
    lua_pushlightuserdata(L, library);
    lua_pushvalue(L, -1);
    lua_setfield(L, -3, path);
    lua_rawseti(L, -2, (int)lua_rawlen(L, -2) + 1);
    lua_pop(L, 1);
}

int free_libraries(lua_State *L) {
    for (int n = (int)lua_rawlen(L, 1); n >= 1; n--) {
        lua_rawgeti(L, 1, n);
        tamu_free_native_library(lua_touserdata(L, -1));
        lua_pop(L, 1);
    }
    return 0;
}

// Loads the library (once) and pushes its function sym, or true when sym
// is "*" (only the library is wanted); on failure pushes the message.
int look_for_function(lua_State *L, const char *path, const char *sym) {
    char error[256] = "";
    void *library = loaded_library(L, path);
    if (library == nullptr) {
        library = tamu_load_native_library(path, error, sizeof error);
        if (library == nullptr) {
            lua_pushstring(L, error);
            return ERR_LIB;
        }
        keep_library(L, path, library);
    }
    if (*sym == '*') {
        lua_pushboolean(L, 1);
        return LOAD_OK;
    }
    void *f = tamu_native_library_function(library, sym, error, sizeof error);
    if (f == nullptr) {
        lua_pushstring(L, error);
        return ERR_FUNC;
    }
    lua_pushcfunction(L, reinterpret_cast<lua_CFunction>(f));
    return LOAD_OK;
}

int ll_loadlib(lua_State *L) {
    const char *path = luaL_checkstring(L, 1);
    const char *init = luaL_checkstring(L, 2);
    int stat = look_for_function(L, path, init);
    if (stat == LOAD_OK) return 1;
    lua_pushnil(L);
    lua_insert(L, -2);
    lua_pushstring(L, stat == ERR_LIB ? library_failure : "init");
    return 3; // nil, message, where it failed
}

// ---- Searching paths ------------------------------------------------------------

bool readable(const char *filename) {
    std::FILE *f = tamu_platform_fopen(filename, "r");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

// The next template of path (from *at), pushed; false at the end.
bool push_next_template(lua_State *L, const char **at) {
    const char *p = *at;
    while (*p == *path_separator) p++;
    if (*p == '\0') return false;
    const char *end = std::strchr(p, *path_separator);
    if (end == nullptr) end = p + std::strlen(p);
    lua_pushlstring(L, p, (size_t)(end - p));
    *at = end;
    return true;
}

// The first readable file among the templates, or null with the list of
// those tried (each "\n\tno file '...'") on the stack.
const char *search_path(lua_State *L, const char *name, const char *path, const char *sep, const char *dirsep) {
    if (*sep != '\0') name = luaL_gsub(L, name, sep, dirsep);
    luaL_Buffer msg;
    luaL_buffinit(L, &msg);
    const char *at = path;
    while (push_next_template(L, &at)) {
        const char *filename = luaL_gsub(L, lua_tostring(L, -1), path_mark, name);
        lua_remove(L, -2); // the template
        if (readable(filename)) return filename;
        lua_pushfstring(L, "\n\tno file '%s'", filename);
        lua_remove(L, -2); // the file name
        luaL_addvalue(&msg);
    }
    luaL_pushresult(&msg);
    return nullptr;
}

int ll_searchpath(lua_State *L) {
    const char *f = search_path(L, luaL_checkstring(L, 1), luaL_checkstring(L, 2), luaL_optstring(L, 3, "."),
                                luaL_optstring(L, 4, DIRECTORY_SEPARATOR));
    if (f != nullptr) return 1;
    lua_pushnil(L);
    lua_insert(L, -2);
    return 2; // nil and the files tried
}

const char *find_file(lua_State *L, const char *name, const char *pname, const char *dirsep) {
    lua_getfield(L, lua_upvalueindex(1), pname);
    const char *path = lua_tostring(L, -1);
    if (path == nullptr) luaL_error(L, "'package.%s' must be a string", pname);
    return search_path(L, name, path, ".", dirsep);
}

int check_load(lua_State *L, bool ok, const char *filename) {
    if (ok) {
        lua_pushstring(L, filename); // the loader's second argument
        return 2;
    }
    return luaL_loadererror(L, lua_tostring(L, 1), filename);
}

// ---- The searchers -------------------------------------------------------------

int searcher_preload(lua_State *L) {
    const char *name = luaL_checkstring(L, 1);
    lua_getfield(L, LUA_REGISTRYINDEX, "_PRELOAD");
    lua_getfield(L, -1, name);
    if (lua_isnil(L, -1)) lua_pushfstring(L, "\n\tno field package.preload['%s']", name);
    return 1;
}

int searcher_script(lua_State *L) {
    const char *name = luaL_checkstring(L, 1);
    const char *filename = find_file(L, name, "path", DIRECTORY_SEPARATOR);
    if (filename == nullptr) return 1; // the files tried
    return check_load(L, luaL_loadfile(L, filename) == LUA_OK, filename);
}

// The library's opener: "luaopen_" and the module name with '.' made '_';
// for a name with a '-', first the part before it, then the part after.
int load_opener(lua_State *L, const char *filename, const char *modname) {
    modname = luaL_gsub(L, modname, ".", "_");
    const char *mark = std::strchr(modname, *ignore_mark);
    if (mark != nullptr) {
        lua_pushlstring(L, modname, (size_t)(mark - modname));
        const char *opener = lua_pushfstring(L, "%s%s", open_prefix, lua_tostring(L, -1));
        int stat = look_for_function(L, filename, opener);
        if (stat != ERR_FUNC) return stat;
        modname = mark + 1;
    }
    const char *opener = lua_pushfstring(L, "%s%s", open_prefix, modname);
    return look_for_function(L, filename, opener);
}

int searcher_native(lua_State *L) {
    const char *name = luaL_checkstring(L, 1);
    const char *filename = find_file(L, name, "cpath", DIRECTORY_SEPARATOR);
    if (filename == nullptr) return 1;
    return check_load(L, load_opener(L, filename, name) == LOAD_OK, filename);
}

int searcher_native_root(lua_State *L) {
    const char *name = luaL_checkstring(L, 1);
    const char *dot = std::strchr(name, '.');
    if (dot == nullptr) return 0; // a root name: the native searcher's case
    lua_pushlstring(L, name, (size_t)(dot - name));
    const char *filename = find_file(L, lua_tostring(L, -1), "cpath", DIRECTORY_SEPARATOR);
    if (filename == nullptr) return 1;
    int stat = load_opener(L, filename, name);
    if (stat == ERR_FUNC) {
        lua_pushfstring(L, "\n\tno module '%s' in file '%s'", name, filename);
        return 1;
    }
    return check_load(L, stat == LOAD_OK, filename);
}

// ---- require ---------------------------------------------------------------------

void find_loader(lua_State *L, const char *name) {
    lua_getfield(L, lua_upvalueindex(1), "searchers");
    if (!lua_istable(L, 3)) luaL_error(L, "'package.searchers' must be a table");
    luaL_Buffer msg;
    luaL_buffinit(L, &msg);
    for (int i = 1;; i++) {
        lua_rawgeti(L, 3, i);
        if (lua_isnil(L, -1)) {
            lua_pop(L, 1);
            luaL_pushresult(&msg);
            luaL_error(L, "module '%s' not found:%s", name, lua_tostring(L, -1));
        }
        lua_pushstring(L, name);
        lua_call(L, 1, 2);
        if (lua_isfunction(L, -2)) return; // the loader and its extra value
        if (lua_isstring(L, -2)) {
            lua_pop(L, 1);
            luaL_addvalue(&msg);
        } else {
            lua_pop(L, 2);
        }
    }
}

int ll_require(lua_State *L) {
    const char *name = luaL_checkstring(L, 1);
    lua_settop(L, 1);
    lua_getfield(L, LUA_REGISTRYINDEX, "_LOADED"); // 2
    lua_getfield(L, 2, name);
    if (lua_toboolean(L, -1)) return 1; // loaded before
    lua_pop(L, 1);
    find_loader(L, name);
    lua_pushstring(L, name);
    lua_insert(L, -2); // the loader, the name, the extra value
    lua_call(L, 2, 1);
    if (!lua_isnil(L, -1)) lua_setfield(L, 2, name);
    lua_getfield(L, 2, name);
    if (lua_isnil(L, -1)) { // nothing was set: the module is true
        lua_pushboolean(L, 1);
        lua_pushvalue(L, -1);
        lua_setfield(L, 2, name);
    }
    return 1;
}

// ---- Opening ------------------------------------------------------------------------

// package[field] from the environment variables (";;" standing for the
// default) unless the registry's LUA_NOENV is true; on Windows "!" is the
// program's folder.
void set_path(lua_State *L, const char *field, const char *env_versioned, const char *env, const char *def) {
    const char *path = tamu_platform_getenv(env_versioned);
    if (path == nullptr) path = tamu_platform_getenv(env);
    lua_getfield(L, LUA_REGISTRYINDEX, "LUA_NOENV");
    bool noenv = lua_toboolean(L, -1);
    lua_pop(L, 1);
    if (path == nullptr || noenv) {
        lua_pushstring(L, def);
    } else {
        path = luaL_gsub(L, path, ";;", ";\1;");
        luaL_gsub(L, path, "\1", def);
        lua_remove(L, -2);
    }
#if defined(_WIN32)
    char folder[1024];
    if (tamu_prefix_with_program_path("", folder) == 0) {
        size_t n = std::strlen(folder);
        while (n > 0 && (folder[n - 1] == '\\' || folder[n - 1] == '/')) folder[--n] = '\0';
        luaL_gsub(L, lua_tostring(L, -1), exec_dir, folder);
        lua_remove(L, -2);
    }
#else
    (void)exec_dir;
#endif
    lua_setfield(L, -2, field);
}

const luaL_Reg package_functions[] = {
    {"loadlib", ll_loadlib},
    {"searchpath", ll_searchpath},
    {nullptr, nullptr},
};

} // namespace

int luaopen_package(lua_State *L) {
    // The table of native libraries, freed with the state.
    luaL_getsubtable(L, LUA_REGISTRYINDEX, libraries_key);
    lua_createtable(L, 0, 1);
    lua_pushcfunction(L, free_libraries);
    lua_setfield(L, -2, "__gc");
    lua_setmetatable(L, -2);
    lua_pop(L, 1);
    luaL_newlib(L, package_functions);
    static const lua_CFunction searchers[] = {searcher_preload, searcher_script, searcher_native,
                                              searcher_native_root};
    lua_createtable(L, 4, 0);
    for (int i = 0; i < 4; i++) {
        lua_pushvalue(L, -2); // the package table, as an upvalue
        lua_pushcclosure(L, searchers[i], 1);
        lua_rawseti(L, -2, i + 1);
    }
    lua_setfield(L, -2, "searchers");
    set_path(L, "path", "LUA_PATH_5_2", "LUA_PATH", default_path);
    set_path(L, "cpath", "LUA_CPATH_5_2", "LUA_CPATH", default_cpath);
    lua_pushliteral(L, DIRECTORY_SEPARATOR "\n;\n?\n!\n-\n");
    lua_setfield(L, -2, "config");
    luaL_getsubtable(L, LUA_REGISTRYINDEX, "_LOADED");
    lua_setfield(L, -2, "loaded");
    luaL_getsubtable(L, LUA_REGISTRYINDEX, "_PRELOAD");
    lua_setfield(L, -2, "preload");
    lua_pushglobaltable(L);
    lua_pushvalue(L, -2);
    lua_pushcclosure(L, ll_require, 1);
    lua_setfield(L, -2, "require");
    lua_pop(L, 1);
    return 1;
}
