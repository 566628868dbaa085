// Buffered input stream for the compiler, and the growing token buffer.
#pragma once

#include "lua.h"

#define EOZ (-1) // end of stream
#define LUA_MINBUFFER 32

struct Zio {
    size_t n;          // bytes still unread in the current block
    const char *p;     // current position in the block
    lua_Reader reader;
    void *data;        // the reader's own data
    lua_State *L;
};
typedef Zio ZIO;

#define zgetc(z) (((z)->n--) > 0 ? (int)(unsigned char)(*(z)->p++) : luaZ_fill(z))

struct Mbuffer {
    char *buffer;
    size_t n;
    size_t buffsize;
};

#define luaZ_initbuffer(L, buff) ((buff)->buffer = nullptr, (buff)->n = 0, (buff)->buffsize = 0)
#define luaZ_buffer(buff) ((buff)->buffer)
#define luaZ_sizebuffer(buff) ((buff)->buffsize)
#define luaZ_bufflen(buff) ((buff)->n)
#define luaZ_resetbuffer(buff) ((buff)->n = 0)
#define luaZ_resizebuffer(L, buff, size) \
    ((buff)->buffer = luaM_reallocvchar(L, (buff)->buffer, (buff)->buffsize, size), (buff)->buffsize = size)
#define luaZ_freebuffer(L, buff) luaZ_resizebuffer(L, buff, 0)

// Makes room for n bytes in the buffer and returns it.
char *luaZ_openspace(lua_State *L, Mbuffer *buff, size_t n);
void luaZ_init(lua_State *L, ZIO *z, lua_Reader reader, void *data);
// Reads n bytes into b; returns the number of bytes missing (0 when all
// were read).
size_t luaZ_read(ZIO *z, void *b, size_t n);
// Fetches the next block and returns its first byte, or EOZ.
int luaZ_fill(ZIO *z);
