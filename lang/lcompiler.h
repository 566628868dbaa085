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

// Precompiled chunks: the 18-byte header (signature, version 0x52, format
// 0, little-endian, 4-byte ints, the size of a size value, 4-byte
// instructions, 4-byte integral numbers, and a tail that catches text
// conversions), then the main function.
#define LUAC_HEADERSIZE 18
void luaU_header(lu_byte *h);

// Loads a precompiled chunk (its first byte, the escape, already read):
// pushes the closure, with an empty slot per upvalue, and returns it, as
// luaY_parser. Failures are syntax errors "<name>: <why> precompiled
// chunk" (truncated, not a, version mismatch in, incompatible, corrupted);
// nothing that fails the checks of a function's code is ever accepted.
LClosure *luaU_undump(lua_State *L, ZIO *z, Mbuffer *buff, const char *name);

// Writes the prototype f as a precompiled chunk; with strip the source
// name is written as no string and the debug lists as empty. Returns 0,
// or the writer's first non-zero result (no write follows it).
int luaU_dump(lua_State *L, const Proto *f, lua_Writer w, void *data, int strip);
