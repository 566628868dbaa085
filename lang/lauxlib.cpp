// The auxiliary library. Everything here goes through the host interface
// only; see lauxlib.h for the number conventions.
#include "lauxlib.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "tamu_platform.h"
#include "zorva_hooks.h"

namespace {

// The largest whole index that a table key can hold (keys are 16.16).
constexpr int kMaxWholeIndex = 32767;

// ---- Names of functions ----------------------------------------------------

// With a table on the stack top, looks for a string key whose value is
// rawequal to the value at obj, descending depth levels of tables. On
// success pushes the key path ("a" or "a.b") above the table and returns
// true; otherwise leaves the stack as it was.
bool find_field_name(lua_State *L, int obj, int depth) {
    if (depth == 0 || !lua_istable(L, -1)) return false;
    luaL_checkstack(L, 6, "function name search");
    lua_pushnil(L);
    while (lua_next(L, -2)) { // key at -2, value at -1
        if (lua_type(L, -2) == LUA_TSTRING) {
            if (lua_rawequal(L, obj, -1)) {
                lua_pop(L, 1); // the key remains: the name
                return true;
            }
            if (find_field_name(L, obj, depth - 1)) { // key, value, subname
                lua_pushvalue(L, -3);
                lua_pushliteral(L, ".");
                lua_pushvalue(L, -3);
                lua_concat(L, 3); // key, value, subname, "key.subname"
                lua_replace(L, -4);
                lua_pop(L, 2);
                return true;
            }
        }
        lua_pop(L, 1);
    }
    return false;
}

// Pushes the name under which the function of ar is found in the loaded
// modules (a global function without its "_G." prefix) and returns true;
// pushes nothing and returns false when there is none, also when the
// loaded-modules table does not exist (as in the console's states).
bool push_global_func_name(lua_State *L, lua_Debug *ar) {
    int top = lua_gettop(L);
    luaL_checkstack(L, 3, "function name search");
    lua_getinfo(L, "f", ar); // top + 1: the function
    lua_getfield(L, LUA_REGISTRYINDEX, "_LOADED");
    if (!find_field_name(L, top + 1, 2)) {
        lua_settop(L, top);
        return false;
    }
    const char *name = lua_tostring(L, -1);
    if (std::strncmp(name, "_G.", 3) == 0) lua_pushstring(L, name + 3);
    else lua_pushvalue(L, -1);
    lua_replace(L, top + 1);
    lua_settop(L, top + 1);
    return true;
}

[[noreturn]] void raise(lua_State *L) {
    lua_error(L);
    std::abort(); // lua_error does not return
}

int tag_error(lua_State *L, int narg, int tag) { return luaL_typeerror(L, narg, lua_typename(L, tag)); }

// Levels in the call stack of L (level 0 included); found by doubling and
// bisection, since each lua_getstack walks the call list.
int count_levels(lua_State *L) {
    lua_Debug ar;
    if (!lua_getstack(L, 0, &ar)) return 0;
    int have = 0, miss = 1;
    while (lua_getstack(L, miss, &ar)) {
        have = miss;
        if (miss > INT_MAX / 2) return miss + 1;
        miss *= 2;
    }
    while (miss - have > 1) {
        int mid = have + (miss - have) / 2;
        if (lua_getstack(L, mid, &ar)) have = mid;
        else miss = mid;
    }
    return miss;
}

// Traceback layout: when there are more than kHeadLevels + kTailLevels + 1
// levels, level kHeadLevels + 1 becomes "..." and the listing resumes with
// the last kTailLevels + 1 levels.
constexpr int kHeadLevels = 10;
constexpr int kTailLevels = 10;

// Pushes what a traceback line says about the function of ar.
void push_func_name(lua_State *L, lua_Debug *ar) {
    if (*ar->namewhat != '\0') {
        lua_pushfstring(L, "function '%s'", ar->name);
    } else if (*ar->what == 'm') {
        lua_pushliteral(L, "main chunk");
    } else if (*ar->what == 'C') {
        if (push_global_func_name(L, ar)) {
            lua_pushfstring(L, "function '%s'", lua_tostring(L, -1));
            lua_remove(L, -2);
        } else {
            lua_pushliteral(L, "?");
        }
    } else {
        lua_pushfstring(L, "function <%s:%d>", ar->short_src, ar->linedefined);
    }
}

// ---- Loading ---------------------------------------------------------------

struct StringSource {
    const char *s;
    size_t size;
};

const char *read_string(lua_State *, void *ud, size_t *size) {
    StringSource *src = static_cast<StringSource *>(ud);
    if (src->size == 0) {
        *size = 0;
        return nullptr;
    }
    *size = src->size;
    src->size = 0;
    return src->s;
}

struct FileSource {
    FILE *f = nullptr;
    bool owned = false; // closed by the destructor (not stdin)
    int pending = 0;    // bytes of buff handed out before reading on
    char buff[BUFSIZ];
    ~FileSource() {
        if (owned && f != nullptr) std::fclose(f);
    }
};

const char *read_file(lua_State *, void *ud, size_t *size) {
    FileSource *src = static_cast<FileSource *>(ud);
    if (src->pending > 0) {
        *size = (size_t)src->pending;
        src->pending = 0;
        return src->buff;
    }
    if (std::feof(src->f)) {
        *size = 0;
        return nullptr;
    }
    *size = std::fread(src->buff, 1, sizeof src->buff, src->f);
    return *size > 0 ? src->buff : nullptr;
}

// Replaces the chunk name at fnameindex by "cannot <what> <file>: <reason>".
int file_error(lua_State *L, const char *what, int fnameindex) {
    const char *reason = std::strerror(errno);
    const char *filename = lua_tostring(L, fnameindex) + 1; // without the '@'
    lua_pushfstring(L, "cannot %s %s: %s", what, filename, reason);
    lua_remove(L, fnameindex);
    return LUA_ERRFILE;
}

// Skips a UTF-8 byte-order mark; *c is the first character after it.
bool skip_bom(FileSource *src, int *c) {
    static const char bom[] = "\xEF\xBB\xBF";
    src->pending = 0;
    for (const char *p = bom; *p != '\0'; p++) {
        *c = std::getc(src->f);
        if (*c == EOF || *c != (unsigned char)*p) return false;
        src->buff[src->pending++] = (char)*c; // kept in case it is not a mark
    }
    src->pending = 0; // a whole mark: dropped
    *c = std::getc(src->f);
    return true;
}

// Skips a first line that starts with '#'; *c is the character read after
// what was skipped. Returns true when a line was skipped.
bool skip_comment(FileSource *src, int *c) {
    if (!skip_bom(src, c) && src->pending > 0) return false; // a partial mark starts the text
    if (*c != '#') return false;
    do {
        *c = std::getc(src->f);
    } while (*c != EOF && *c != '\n');
    *c = std::getc(src->f);
    return true;
}

// ---- State -----------------------------------------------------------------

int panic(lua_State *L) {
    const char *msg = lua_tostring(L, -1);
    if (msg == nullptr) msg = "error object is not a string";
    std::fprintf(stderr, "PANIC: unprotected error in call to Lua API (%s)\n", msg);
    std::fflush(stderr);
    return 0; // the core ends the process
}

} // namespace

// ---- Version ---------------------------------------------------------------

void luaL_checkversion_(lua_State *L, lua_Number ver) {
    const lua_Number *v = lua_version(L);
    if (v != lua_version(nullptr)) luaL_error(L, "multiple Lua VMs detected");
    else if (*v != ver) luaL_error(L, "version mismatch: app. needs %f, Lua core provides %f", ver, *v);
    // The reference also checks the number-to-integer conversions here; with
    // 16.16 numbers they floor by design, so there is nothing to check.
}

// ---- Metatables ------------------------------------------------------------

int luaL_getmetafield(lua_State *L, int obj, const char *e) {
    if (!lua_getmetatable(L, obj)) return 0;
    lua_pushstring(L, e);
    lua_rawget(L, -2);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 2);
        return 0;
    }
    lua_remove(L, -2);
    return 1;
}

int luaL_callmeta(lua_State *L, int obj, const char *e) {
    obj = lua_absindex(L, obj);
    if (!luaL_getmetafield(L, obj, e)) return 0;
    lua_pushvalue(L, obj);
    lua_call(L, 1, 1);
    return 1;
}

int luaL_newmetatable(lua_State *L, const char *tname) {
    luaL_getmetatable(L, tname);
    if (!lua_isnil(L, -1)) return 0; // already there: leave it on the stack
    lua_pop(L, 1);
    lua_newtable(L);
    lua_pushvalue(L, -1);
    lua_setfield(L, LUA_REGISTRYINDEX, tname);
    return 1;
}

void luaL_setmetatable(lua_State *L, const char *tname) {
    luaL_getmetatable(L, tname);
    lua_setmetatable(L, -2);
}

void *luaL_testudata(lua_State *L, int ud, const char *tname) {
    void *p = lua_touserdata(L, ud);
    if (p == nullptr || !lua_getmetatable(L, ud)) return nullptr;
    luaL_getmetatable(L, tname);
    if (!lua_rawequal(L, -1, -2)) p = nullptr;
    lua_pop(L, 2);
    return p;
}

void *luaL_checkudata(lua_State *L, int ud, const char *tname) {
    void *p = luaL_testudata(L, ud, tname);
    if (p == nullptr) luaL_typeerror(L, ud, tname);
    return p;
}

// ---- Text of values --------------------------------------------------------

// With "__tostring", whatever it returned is left on the stack (a number
// turned into its text); the result is null when that is not a string.
const char *luaL_tolstring(lua_State *L, int idx, size_t *len) {
    if (!luaL_callmeta(L, idx, "__tostring")) {
        switch (lua_type(L, idx)) {
        case LUA_TNUMBER:
        case LUA_TSTRING: lua_pushvalue(L, idx); break; // a number becomes text below
        case LUA_TBOOLEAN: lua_pushstring(L, lua_toboolean(L, idx) ? "true" : "false"); break;
        case LUA_TNIL: lua_pushliteral(L, "nil"); break;
        default: lua_pushfstring(L, "%s: %p", luaL_typename(L, idx), lua_topointer(L, idx)); break;
        }
    }
    return lua_tolstring(L, -1, len);
}

// ---- Errors ----------------------------------------------------------------

void luaL_where(lua_State *L, int lvl) {
    // Level 1 is the function that is running now (the host function that
    // asks); level 2 its caller, and so on.
    lua_Debug ar;
    if (lvl >= 1 && lua_getstack(L, lvl - 1, &ar)) {
        lua_getinfo(L, "Sl", &ar);
        if (ar.currentline > 0) {
            lua_pushfstring(L, "%s:%d: ", ar.short_src, ar.currentline);
            zorva_runtime_line = ar.currentline;
            return;
        }
    }
    lua_pushliteral(L, "");
}

int luaL_error(lua_State *L, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    luaL_where(L, 1);
    lua_pushvfstring(L, fmt, ap);
    va_end(ap);
    lua_concat(L, 2);
    // The message has no position, but the console shows the line of the
    // script call that failed: without this it would show a stale line.
    lua_zorva_record_error_line(L, 1);
    raise(L);
}

int luaL_argerror(lua_State *L, int narg, const char *extramsg) {
    lua_Debug ar;
    if (!lua_getstack(L, 0, &ar)) return luaL_error(L, "bad argument #%d (%s)", narg, extramsg);
    lua_getinfo(L, "n", &ar);
    if (std::strcmp(ar.namewhat, "method") == 0) {
        narg--; // the object is not counted
        if (narg == 0) return luaL_error(L, "calling '%s' on bad self (%s)", ar.name, extramsg);
    }
    const char *name = ar.name;
    if (name == nullptr) name = push_global_func_name(L, &ar) ? lua_tostring(L, -1) : "?";
    return luaL_error(L, "bad argument #%d to '%s' (%s)", narg, name, extramsg);
}

int luaL_typeerror(lua_State *L, int narg, const char *tname) {
    const char *msg = lua_pushfstring(L, "%s expected, got %s", tname, luaL_typename(L, narg));
    return luaL_argerror(L, narg, msg);
}

int luaL_fileresult(lua_State *L, int stat, const char *fname) {
    int en = errno; // before anything can change it
    if (stat) {
        lua_pushboolean(L, 1);
        return 1;
    }
    lua_pushnil(L);
    if (fname) lua_pushfstring(L, "%s: %s", fname, std::strerror(en));
    else lua_pushstring(L, std::strerror(en));
    lua_pushunsigned(L, (lua_Unsigned)en); // the code as a whole number
    return 3;
}

int luaL_execresult(lua_State *L, int stat) {
    if (stat == -1) return luaL_fileresult(L, 0, nullptr); // the call itself failed
    const char *what = "exit";
#if !defined(_WIN32)
    if (WIFEXITED(stat)) {
        stat = WEXITSTATUS(stat);
    } else if (WIFSIGNALED(stat)) {
        stat = WTERMSIG(stat);
        what = "signal";
    }
#endif
    if (*what == 'e' && stat == 0) lua_pushboolean(L, 1);
    else lua_pushnil(L);
    lua_pushstring(L, what);
    lua_pushunsigned(L, (lua_Unsigned)stat); // the code as a whole number
    return 3;
}

// ---- Argument checks -------------------------------------------------------

const char *luaL_checklstring(lua_State *L, int narg, size_t *l) {
    const char *s = lua_tolstring(L, narg, l);
    if (s == nullptr) tag_error(L, narg, LUA_TSTRING);
    return s;
}

const char *luaL_optlstring(lua_State *L, int narg, const char *def, size_t *l) {
    if (lua_isnoneornil(L, narg)) {
        if (l) *l = def ? std::strlen(def) : 0;
        return def;
    }
    return luaL_checklstring(L, narg, l);
}

lua_Number luaL_checknumber(lua_State *L, int narg) {
    int isnum;
    lua_Number d = lua_tonumberx(L, narg, &isnum);
    if (!isnum) tag_error(L, narg, LUA_TNUMBER);
    return d;
}

lua_Number luaL_optnumber(lua_State *L, int narg, lua_Number def) { return luaL_opt(L, luaL_checknumber, narg, def); }

lua_Integer luaL_checkinteger(lua_State *L, int narg) {
    int isnum;
    lua_Integer d = lua_tointegerx(L, narg, &isnum);
    if (!isnum) tag_error(L, narg, LUA_TNUMBER);
    return d;
}

lua_Integer luaL_optinteger(lua_State *L, int narg, lua_Integer def) {
    return luaL_opt(L, luaL_checkinteger, narg, def);
}

lua_Unsigned luaL_checkunsigned(lua_State *L, int narg) {
    int isnum;
    lua_Unsigned d = lua_tounsignedx(L, narg, &isnum);
    if (!isnum) tag_error(L, narg, LUA_TNUMBER);
    return d;
}

lua_Unsigned luaL_optunsigned(lua_State *L, int narg, lua_Unsigned def) {
    return luaL_opt(L, luaL_checkunsigned, narg, def);
}

void luaL_checkstack(lua_State *L, int sz, const char *msg) {
    if (lua_checkstack(L, sz)) return;
    if (msg) luaL_error(L, "stack overflow (%s)", msg);
    else luaL_error(L, "stack overflow");
}

void luaL_checktype(lua_State *L, int narg, int t) {
    if (lua_type(L, narg) != t) tag_error(L, narg, t);
}

void luaL_checkany(lua_State *L, int narg) {
    if (lua_type(L, narg) == LUA_TNONE) luaL_argerror(L, narg, "value expected");
}

int luaL_checkoption(lua_State *L, int narg, const char *def, const char *const lst[]) {
    const char *name = def ? luaL_optstring(L, narg, def) : luaL_checkstring(L, narg);
    for (int i = 0; lst[i]; i++)
        if (std::strcmp(lst[i], name) == 0) return i;
    return luaL_argerror(L, narg, lua_pushfstring(L, "invalid option '%s'", name));
}

// ---- String buffers --------------------------------------------------------

static bool buffer_on_stack(const luaL_Buffer *B) { return B->b != B->initb; }

void luaL_buffinit(lua_State *L, luaL_Buffer *B) {
    B->L = L;
    B->b = B->initb;
    B->n = 0;
    B->size = LUAL_BUFFERSIZE;
}

char *luaL_prepbuffsize(luaL_Buffer *B, size_t sz) {
    if (B->size - B->n >= sz) return B->b + B->n;
    lua_State *L = B->L;
    if (sz > SIZE_MAX - B->n) luaL_error(L, "buffer too large");
    size_t need = B->n + sz;
    size_t newsize = B->size <= SIZE_MAX / 2 ? B->size * 2 : need;
    if (newsize < need) newsize = need;
    char *nb = static_cast<char *>(lua_newuserdata(L, newsize));
    if (B->n > 0) std::memcpy(nb, B->b, B->n);
    if (buffer_on_stack(B)) lua_remove(L, -2); // the old block
    B->b = nb;
    B->size = newsize;
    return nb + B->n;
}

void luaL_addlstring(luaL_Buffer *B, const char *s, size_t l) {
    if (l == 0) return;
    char *p = luaL_prepbuffsize(B, l);
    std::memcpy(p, s, l);
    luaL_addsize(B, l);
}

void luaL_addstring(luaL_Buffer *B, const char *s) { luaL_addlstring(B, s, std::strlen(s)); }

void luaL_pushresult(luaL_Buffer *B) {
    lua_State *L = B->L;
    lua_pushlstring(L, B->b, B->n);
    if (buffer_on_stack(B)) lua_remove(L, -2);
}

void luaL_pushresultsize(luaL_Buffer *B, size_t sz) {
    luaL_addsize(B, sz);
    luaL_pushresult(B);
}

void luaL_addvalue(luaL_Buffer *B) {
    lua_State *L = B->L;
    size_t l = 0;
    const char *s = lua_tolstring(L, -1, &l); // stays valid while the value is on the stack
    if (buffer_on_stack(B)) lua_insert(L, -2); // the value below the block
    if (s != nullptr) luaL_addlstring(B, s, l);
    lua_remove(L, buffer_on_stack(B) ? -2 : -1);
}

char *luaL_buffinitsize(lua_State *L, luaL_Buffer *B, size_t sz) {
    luaL_buffinit(L, B);
    return luaL_prepbuffsize(B, sz);
}

// ---- References ------------------------------------------------------------
// Free references form a list through the table: whole index 0 holds the
// first free reference, each free slot the next one, as whole numbers.

int luaL_ref(lua_State *L, int t) {
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return LUA_REFNIL;
    }
    t = lua_absindex(L, t);
    lua_rawgeti(L, t, 0);
    int ref = (int)lua_tointeger(L, -1); // nil (an empty list) reads 0
    lua_pop(L, 1);
    if (ref > 0) {
        lua_rawgeti(L, t, ref); // the next free one becomes the first
        lua_rawseti(L, t, 0);
    } else {
        ref = (int)lua_rawlen(L, t) + 1;
        // Beyond this a whole index no longer fits a key: the new slot
        // would not count towards the length and be handed out again.
        if (ref > kMaxWholeIndex) luaL_error(L, "too many references");
    }
    lua_rawseti(L, t, ref);
    return ref;
}

void luaL_unref(lua_State *L, int t, int ref) {
    if (ref <= 0 || ref > kMaxWholeIndex) return; // never handed out
    t = lua_absindex(L, t);
    lua_rawgeti(L, t, 0);
    lua_rawseti(L, t, ref);
    lua_pushunsigned(L, (lua_Unsigned)ref); // the whole number, as luaL_ref reads it
    lua_rawseti(L, t, 0);
}

// ---- Loading ---------------------------------------------------------------

int luaL_loadbufferx(lua_State *L, const char *buff, size_t sz, const char *name, const char *mode) {
    StringSource src{buff, sz};
    return lua_load(L, read_string, &src, name, mode);
}

int luaL_loadstring(lua_State *L, const char *s) { return luaL_loadbuffer(L, s, std::strlen(s), s); }

int luaL_loadfilex(lua_State *L, const char *filename, const char *mode) {
    FileSource src;
    int fnameindex = lua_gettop(L) + 1; // the chunk name goes here
    if (filename == nullptr) {
        lua_pushliteral(L, "=stdin");
        src.f = stdin;
    } else {
        lua_pushfstring(L, "@%s", filename);
        src.f = tamu_platform_fopen(filename, "r");
        if (src.f == nullptr) return file_error(L, "open", fnameindex);
        src.owned = true;
    }
    int c;
    if (skip_comment(&src, &c)) src.buff[src.pending++] = '\n'; // keeps the line numbers
    if (c == LUA_SIGNATURE[0] && filename != nullptr) { // a precompiled chunk
        std::fclose(src.f);
        src.f = tamu_platform_fopen(filename, "rb");
        if (src.f == nullptr) return file_error(L, "reopen", fnameindex);
        skip_comment(&src, &c);
    }
    if (c != EOF) src.buff[src.pending++] = (char)c;
    int status = lua_load(L, read_file, &src, lua_tostring(L, -1), mode);
    if (std::ferror(src.f)) {
        lua_settop(L, fnameindex); // drop what lua_load left
        return file_error(L, "read", fnameindex);
    }
    lua_remove(L, fnameindex);
    return status;
}

// ---- Miscellaneous ---------------------------------------------------------

lua_State *luaL_newstate() {
    lua_State *L = lua_newstate(zorva_hook_alloc, nullptr);
    if (L) lua_atpanic(L, panic);
    return L;
}

int luaL_len(lua_State *L, int idx) {
    int isnum;
    lua_len(L, idx);
    int l = (int)lua_tointegerx(L, -1, &isnum);
    if (!isnum) luaL_error(L, "object length is not a number");
    lua_pop(L, 1);
    return l;
}

const char *luaL_gsub(lua_State *L, const char *s, const char *p, const char *r) {
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    size_t pl = std::strlen(p);
    if (pl > 0) { // an empty pattern would match forever without moving on
        const char *hit;
        while ((hit = std::strstr(s, p)) != nullptr) {
            luaL_addlstring(&b, s, (size_t)(hit - s));
            luaL_addstring(&b, r);
            s = hit + pl;
        }
    }
    luaL_addstring(&b, s);
    luaL_pushresult(&b);
    return lua_tostring(L, -1);
}

void luaL_setfuncs(lua_State *L, const luaL_Reg *l, int nup) {
    luaL_checkversion(L);
    luaL_checkstack(L, nup, "too many upvalues");
    for (; l->name != nullptr; l++) {
        for (int i = 0; i < nup; i++) lua_pushvalue(L, -nup);
        lua_pushcclosure(L, l->func, nup);
        lua_setfield(L, -(nup + 2), l->name);
    }
    lua_pop(L, nup);
}

int luaL_getsubtable(lua_State *L, int idx, const char *fname) {
    idx = lua_absindex(L, idx);
    lua_getfield(L, idx, fname);
    if (lua_istable(L, -1)) return 1;
    lua_pop(L, 1);
    lua_newtable(L);
    lua_pushvalue(L, -1);
    lua_setfield(L, idx, fname);
    return 0;
}

void luaL_traceback(lua_State *L, lua_State *L1, const char *msg, int level) {
    int levels = count_levels(L1);
    int mark = (levels > kHeadLevels + kTailLevels + 2) ? kHeadLevels + 1 : -1;
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    if (msg) {
        luaL_addstring(&b, msg);
        luaL_addchar(&b, '\n');
    }
    luaL_addstring(&b, "stack traceback:");
    lua_Debug ar;
    while (lua_getstack(L1, level, &ar)) {
        if (level == mark) {
            luaL_addstring(&b, "\n\t...");
            level = levels - (kTailLevels + 1);
            continue;
        }
        level++;
        lua_getinfo(L1, "Slnt", &ar);
        luaL_checkstack(L, 4, "traceback");
        lua_pushfstring(L, "\n\t%s:", ar.short_src);
        luaL_addvalue(&b);
        if (ar.currentline > 0) {
            lua_pushfstring(L, "%d:", ar.currentline);
            luaL_addvalue(&b);
        }
        luaL_addstring(&b, " in ");
        push_func_name(L, &ar);
        luaL_addvalue(&b);
        if (ar.istailcall) luaL_addstring(&b, "\n\t(...tail calls...)");
    }
    luaL_pushresult(&b);
}

void luaL_requiref(lua_State *L, const char *modname, lua_CFunction openf, int glb) {
    lua_pushcfunction(L, openf);
    lua_pushstring(L, modname);
    lua_call(L, 1, 1);
    luaL_getsubtable(L, LUA_REGISTRYINDEX, "_LOADED");
    lua_pushvalue(L, -2);
    lua_setfield(L, -2, modname);
    lua_pop(L, 1);
    if (glb) {
        lua_pushvalue(L, -1);
        lua_setglobal(L, modname);
    }
}

lua_State *luaL_getthread(lua_State *L, int *arg) {
    if (lua_isthread(L, 1)) {
        *arg = 1;
        return lua_tothread(L, 1);
    }
    *arg = 0;
    return L;
}

int luaL_loadererror(lua_State *L, const char *modname, const char *filename) {
    return luaL_error(L, "error loading module '%s' from file '%s':\n\t%s", modname, filename, lua_tostring(L, -1));
}
