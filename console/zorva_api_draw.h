// The cart's drawing functions, bound as "zv_" + the cart-visible name
// (map is a second name for mapdraw). They follow the conventions of
// zorva_api.h; coordinates are moved by the camera, colours go through the
// draw palette, and the work is charged with spend_cpu:
//
//   cls 1024; clip 16; line (points drawn / 2) + 1; rect per edge inside
//   the clip; rectfill visible area / 16; circ 2 x visible rows + 2;
//   circfill 2r + visible area of its box / 16; spr, sspr visible pixels;
//   map the visible pixels of the cells drawn; print length x 8 + 2.
#pragma once

struct lua_State;

int zv_camera(lua_State *L);
int zv_clip(lua_State *L);
int zv_cls(lua_State *L);
int zv_pset(lua_State *L);
int zv_pget(lua_State *L);
int zv_color(lua_State *L);
int zv_print(lua_State *L);
int zv_cursor(lua_State *L);
int zv_spr(lua_State *L);
int zv_sspr(lua_State *L);
int zv_rect(lua_State *L);
int zv_rectfill(lua_State *L);
int zv_circ(lua_State *L);
int zv_circfill(lua_State *L);
int zv_line(lua_State *L);
int zv_pal(lua_State *L);
int zv_palt(lua_State *L);
int zv_fillp(lua_State *L);
int zv_mapdraw(lua_State *L);   // also the cart's map
int zv_mget(lua_State *L);
int zv_mset(lua_State *L);
int zv_fget(lua_State *L);
int zv_fset(lua_State *L);
int zv_sget(lua_State *L);
int zv_sset(lua_State *L);
