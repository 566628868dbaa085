// What the core needs from the compiler (lexer, parser and code generator)
// and from the precompiled-chunk reader and writer.
#pragma once

#include "lobject.h"
#include "lzio.h"

// Compiles a text chunk whose first byte (already read) is firstchar.
// Pushes the new closure of the main function on the stack and returns
// it; its upvalues (one, _ENV) are made by the caller. Errors are raised
// with status LUA_ERRSYNTAX. buff is the token buffer (freed by the
// caller); the parser's own lists must be freed on every path (errors
// unwind as C++ exceptions, so destructors run).
LClosure *luaY_parser(lua_State *L, ZIO *z, Mbuffer *buff, const char *name, int firstchar);

// Loads a precompiled chunk (its first byte, the escape, already read):
// pushes the closure and returns it, as luaY_parser.
LClosure *luaU_undump(lua_State *L, ZIO *z, Mbuffer *buff, const char *name);

// Writes the prototype f as a precompiled chunk; returns the writer's
// status.
int luaU_dump(lua_State *L, const Proto *f, lua_Writer w, void *data, int strip);
