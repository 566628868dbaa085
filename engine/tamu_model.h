// 3D records: models of polygons and bones, materials, animations made of
// actors with keyed channels, and voxel maps whose levels are 8-bit
// bitmaps. Pod files carry all four (see tamu_pod.h).
//
// Vectors are float[3] and matrices float[12], as in tamu_math.h.
#pragma once

#include <cstdint>

struct cbitmap;

// ---------------------------------------------------------------------------
// Polygons

// A vertex index that names no vertex (what a deleted vertex leaves).
constexpr uint32_t CPOLY_NO_VERTEX = 0xFFFFFFFFu;
// The most vertices one polygon holds.
constexpr int CPOLY_MAX_VERTICES = 32766;

// Up to 4 vertices live in the inline room; a polygon that asks for more
// moves them to arrays of its own (an even capacity above 4). The polygon
// owns its two arrays exactly when its capacity is above 4: freeing and
// copying go by the capacity, never by the vertex count.
struct cpoly {
    uint32_t inline_vertex[4];
    float inline_uv[4][2];
    uint32_t *vertex;     // vertex indices: the inline room or owned
    float (*uv)[2];       // texture coordinates: the inline room or owned
    int16_t num_vertices;
    int16_t capacity;     // 4: the inline room
    float normal[3];      // (0, 0, 1) on creation
    uint16_t material;    // 0 on creation
    uint16_t flags;       // 0 on creation
};

// A free-standing polygon of n vertices (all index 0, coordinates 0); null
// for n outside 0..CPOLY_MAX_VERTICES. Counts one live object.
cpoly *tamu_create_poly(int n);
void tamu_destroy_cpoly(cpoly *poly);
// Sets the vertex count. The capacity grows (never shrinks); entries from
// the old count up to n start at 0. Returns 0, or -1 (nothing changed) for
// n outside 0..CPOLY_MAX_VERTICES.
int cpoly_set_num_vertices(cpoly *poly, int n);
// Copies source into destination (whose own arrays are not freed: the
// caller frees them first when it has to). A copy of a polygon that uses
// its inline room points at its own inline room; otherwise a deep copy
// gets arrays of its own holding the source's entries, and a shallow copy
// shares the source's arrays (then only one of the two may be freed: a
// shallow copy moves a polygon).
void cpoly_copy(cpoly *destination, const cpoly *source, int shallow);

// ---------------------------------------------------------------------------
// Models

// The most vertices and polygons a model holds.
constexpr int CMODEL_MAX_ITEMS = 1 << 22;

// The bones a vertex follows: it is pulled weight of the way by bone[0]
// and the rest by bone[1], each holding the vertex in its own space.
struct cbone_vertex {
    uint16_t bone[2];     // 0, 0 on creation
    float weight;         // 1.0 on creation
    float local[2][3];    // the vertex in the space of bone[0] and bone[1]
};

// Bones are polygons of 2 vertices (head, tail) kept first in the polygon
// array: polygons 0 .. num_bones - 1. The bone arrays after bone_vertices
// are made by the bone calculations and hold bone_data_count bones.
struct cmodel {
    float (*vertices)[3];
    int32_t num_vertices, max_vertices;
    cpoly *polygons;
    int32_t num_polygons, max_polygons;
    int32_t num_bones;
    cbone_vertex *bone_vertices;   // max_vertices entries, once there are bones
    float (*bone_matrices)[12];    // rest pose of each bone
    int32_t *bone_parents;         // parent bone, or -1
    int32_t bone_data_count;
    float (*vertex_normals)[3];    // num_vertex_normals entries
    int32_t num_vertex_normals;
};

// An empty model. Counts one live object.
cmodel *tamu_create_model();
// Frees the polygons' owned arrays, every array and the record. Null is
// ignored.
void tamu_destroy_model(cmodel *model);

// Make room for n vertices or polygons: asking for exactly one more than
// the capacity grows it to (n * 5) / 4, a larger request to exactly n.
// Returns 0; -1 when n is above CMODEL_MAX_ITEMS (logged as a failed
// allocation; the model stays as it was).
int cmodel_max_vertices(cmodel *model, int n);
int cmodel_max_polygons(cmodel *model, int n);

// Appends a vertex; returns its index, or -1 when there is no room.
int cmodel_new_vertex(cmodel *model, float x, float y, float z);
// Appends a polygon with these vertex indices; returns its index or -1.
int cmodel_new_triangle(cmodel *model, uint32_t a, uint32_t b, uint32_t c);
int cmodel_new_quad(cmodel *model, uint32_t a, uint32_t b, uint32_t c, uint32_t d);
// Appends a polygon of n vertices (all index 0); returns its index or -1.
// n = 2 makes a bone: it takes index num_bones (the polygon there moves to
// the end) and num_bones grows.
int cmodel_new_polygon(cmodel *model, int n);
// Frees the polygon's owned arrays. A deleted bone is replaced by the last
// bone (whose vertices' bone references follow it; references to the
// deleted bone become bone 0); then the last polygon moves into the freed
// place. An index out of range is ignored.
void cmodel_delete_polygon(cmodel *model, int index);
// The last vertex moves into place index; in every polygon an index of the
// deleted vertex becomes CPOLY_NO_VERTEX and an index of the last vertex
// becomes index.
void cmodel_delete_vertex(cmodel *model, int index);
// Frees the polygons' owned arrays; vertex, polygon and bone counts 0.
void cmodel_clear(cmodel *model);

// Each polygon of at least 3 vertices gets the normalised cross product of
// (P1 - P0) and (P1 - P2); smaller ones, and those naming a missing
// vertex, get (0, 1, 0).
void cmodel_calculate_normals(cmodel *model);
// Each vertex: the normalised sum of the normals of the polygons (of 3 or
// more vertices) that use it; (0, 1, 0) for a vertex no polygon uses.
void cmodel_calculate_vertex_normals(cmodel *model);
// The parent of a bone is the first other bone whose tail is its head (the
// same vertex, else the same position); a parent that would close a loop
// is dropped. -1 for none.
void cmodel_calculate_bone_parents(cmodel *model);
// The rest matrix of each bone: the rotation that turns (0, 1, 0) onto the
// bone's direction, then a move to its head.
void cmodel_calculate_matrices(cmodel *model);
// Ties each vertex to its nearest bone and the next nearest (weights by
// distance), holding it in the space of both; nothing without bones.
void cmodel_calculate_bone_vertices(cmodel *model);
// Positions of the vertices (out: num_vertices triples) when each bone b
// is posed by pose[b] (from its rest space to the world): a vertex whose
// bones are missing keeps its position.
void cmodel_evaluate_bone_vertices(const cmodel *model, const float (*pose)[12], float (*out)[3]);
// Normals, then bone parents, then bone vertices.
void cmodel_decorate(cmodel *model);
// Index of a bone's data in the per-bone data words: 4 x i.
int cmodel_get_bone_dat_index(int index);

// ---------------------------------------------------------------------------
// Materials

// 96 bytes, stored as they are in pod files.
struct cmaterial {
    uint32_t colour;            // 0xFF336699 on creation
    uint32_t specular_colour;   // 0xFF606060 on creation
    char name[32];              // NUL-terminated
    uint32_t flags;
    int32_t texture;            // pod slot of a texture, 0 on creation
    float ambient, diffuse, specular, shininess, transparency, reflectivity;
    float texture_scale[2];
    float texture_offset[2];
    uint32_t spare[2];
};
static_assert(sizeof(cmaterial) == 96, "a material is 96 bytes");

// Counts one live object.
cmaterial *tamu_create_material();
void tamu_destroy_material(cmaterial *material);

// ---------------------------------------------------------------------------
// Animation channels and actors

// A track of states of state_size bytes, each at a time (ascending), with a
// second word per state (0 on insertion). Capacities grow to exactly the
// count asked for.
struct canim_channel {
    int32_t num_states, max_states;
    int32_t state_size;
    uint8_t *states;      // max_states * state_size bytes
    int32_t *times;
    int32_t *flags;
};

// The largest state and the most states a channel takes.
constexpr int CANIM_MAX_STATE_SIZE = 4096;
constexpr int CANIM_MAX_STATES = 1 << 20;

// Null for a state size outside 0..CANIM_MAX_STATE_SIZE.
canim_channel *tamu_create_anim_channel(int state_size);
void tamu_destroy_anim_channel(canim_channel *channel);
// Sets the count; new states are zero, at the last state's time. Returns
// 0, or -1 for n outside 0..CANIM_MAX_STATES.
int canim_channel_set_num_states(canim_channel *channel, int n);
void canim_channel_clear(canim_channel *channel);
// Removes state index, moving the later ones down.
void canim_channel_delete(canim_channel *channel, int index);
// Inserts a zero state at time t after the last state whose time is at
// most t (at 0 when t is before the first time), moving later states up;
// returns its index, or -1 when the channel is full.
int canim_channel_insert_state(canim_channel *channel, int32_t t);
// The last state whose time is at most t: 0 when t is at or before the
// first time or there are fewer than 2 states.
int canim_channel_index_for_t(const canim_channel *channel, int32_t t);
// The state at or before t whose first word is command, searching
// backward, then forward; -1 when none.
int canim_channel_index_for_command(const canim_channel *channel, int32_t t, uint32_t command);
// Three floats at time t into out: linear between the state found for t
// and the next (the fraction held to 0..1); the last state, or two equal
// times, give the state itself. Returns 0 (out untouched) for an empty
// channel or states under 12 bytes, else 1.
int canim_channel_evaluate(const canim_channel *channel, int32_t t, float *out);
// The same along a smooth (Catmull-Rom) curve through the neighbouring
// states.
int canim_channel_evaluate_nonlinear(const canim_channel *channel, int32_t t, float *out);

constexpr int CACTOR_SCALE = 0, CACTOR_ROTATION = 1, CACTOR_POSITION = 2;

struct cactor {
    char name[32];                 // "actor%d" on creation
    int64_t model, material;       // references, -1 for none
    canim_channel *channel[3];     // scale, rotation, position: 12-byte states
    canim_channel **further;       // further 12-byte channels: bone rotations
    int32_t num_further;
    canim_channel *commands;       // 24-byte states
};

struct canim {
    int32_t num_actors;
    cactor *actors;
};

// The most actors an animation and further channels an actor hold.
constexpr int CANIM_MAX_ACTORS = 1 << 16;

// An animation without actors. Counts one live object.
canim *tamu_create_anim();
void tamu_destroy_anim(canim *anim);
// Deletes every actor.
void tamu_clear_anim(canim *anim);
// Appends an actor; returns its index, or -1 when full.
int canim_new_actor(canim *anim);
// Frees the actor's channels; the last actor moves into its place.
void canim_delete_actor(canim *anim, int index);
// Appends a further channel with states of state_size bytes; returns its
// index, or -1.
int cactor_new_channel(cactor *actor, int state_size);
// The three channels at time t: scale (1, 1, 1 when its channel is
// empty), rotation and position (0, 0, 0 when empty).
void cactor_evaluate(const cactor *actor, int32_t t, float *scale, float *rotation, float *position);
// Poses the model's bones at time t: further channel b turns bone b about
// its head by its three angles (radians, as tamu_get_transformation_matrix
// takes them), carrying its child bones along. out (num_bones matrices)
// takes each bone from its rest space to the world, as
// cmodel_evaluate_bone_vertices wants. Works the rest matrices and parents
// out first when they are missing.
void cactor_evaluate_bones(const cactor *actor, cmodel *model, int32_t t, float (*out)[12]);

// ---------------------------------------------------------------------------
// Voxel maps

// Limits of a voxel map: each level is a bitmap (sides as bitmaps), at most
// this many levels and this many voxels in all.
constexpr int TAMU_VOXMAP_MAX_DEPTH = 8192;
constexpr int64_t TAMU_VOXMAP_MAX_VOXELS = int64_t(64) << 20;

// Level z is the 8-bit bitmap slices[z] whose pixels are the w x h bytes of
// the block at z * w * h, so that 2D drawing on a level writes voxels. The
// clip box is half-open: x0 <= x < x1 and so on.
struct cvoxmap {
    int32_t width, height, depth;
    uint8_t *voxels;      // width * height * depth bytes, level 0 first
    cbitmap **slices;
    int32_t clip_x0, clip_x1, clip_y0, clip_y1, clip_z0, clip_z1;
};

// A zeroed map with the whole box as its clip; null for a side below 1 or
// beyond the limits. Counts one live object.
cvoxmap *tamu_create_voxmap(int w, int h, int d);
void tamu_destroy_voxmap(cvoxmap *voxmap);
void tamu_clear_voxmap(cvoxmap *voxmap);
// Writes inside the clip box only.
void tamu_putvoxel(cvoxmap *voxmap, int x, int y, int z, int value);
// Reads inside the whole box; 0 outside.
int tamu_getvoxel(const cvoxmap *voxmap, int x, int y, int z);
// The clip box, held inside the map; levels z0 .. z1 - 1 get the 2D clip
// x0 .. x1, y0 .. y1, the others an empty clip.
void tamu_set_voxmap_clip(cvoxmap *voxmap, int x0, int y0, int z0, int x1, int y1, int z1);
void tamu_reset_voxmap_clip(cvoxmap *voxmap);
// A filled box and a box outline (its 12 edges) between two corners, both
// included; clipped.
void tamu_boxfill(cvoxmap *voxmap, int x0, int y0, int z0, int x1, int y1, int z1, int value);
void tamu_box(cvoxmap *voxmap, int x0, int y0, int z0, int x1, int y1, int z1, int value);
// n + 1 voxels from (x0, y0, z0) to (x1, y1, z1), n the longest of the
// three distances (at least 1), positions stepping in 16.16; clipped.
void tamu_line3d(cvoxmap *voxmap, int x0, int y0, int z0, int x1, int y1, int z1, int value);
// The levels from z upward, each drawn onto bitmap at x, y: transparently
// (voxel 0 shows what is below) or as plain blits.
void tamu_draw_voxmap(cvoxmap *voxmap, cbitmap *bitmap, int x, int y, int z);
void tamu_blit_voxmap(cvoxmap *voxmap, cbitmap *bitmap, int x, int y, int z);
// Every level, bottom first, stretched transparently onto bitmap: level z
// lands at the matrix applied to (0, 0, z), scaled by the matrix's x and y
// scales.
void tamu_draw_voxmap_matrix(cvoxmap *voxmap, cbitmap *bitmap, const float *matrix);
