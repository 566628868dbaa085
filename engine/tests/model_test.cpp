// 3D records: models with their polygons and bones, skinning, materials,
// animation channels and actors, and voxel maps.
#include "tamu.h"
#include "pod_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<uint32_t> indices(const cpoly &p) { return std::vector<uint32_t>(p.vertex, p.vertex + p.num_vertices); }

// A polygon that uses its inline room points at its own.
void expect_inline_pointers(const cmodel *m) {
    for (int i = 0; i < m->num_polygons; i++) {
        const cpoly &p = m->polygons[i];
        if (p.capacity == 4) {
            EXPECT_EQ(p.vertex, p.inline_vertex) << i;
            EXPECT_EQ(static_cast<const void *>(p.uv), static_cast<const void *>(p.inline_uv)) << i;
        }
    }
}

void expect_near3(const float *v, float x, float y, float z, float eps = 1e-4f) {
    EXPECT_NEAR(v[0], x, eps);
    EXPECT_NEAR(v[1], y, eps);
    EXPECT_NEAR(v[2], z, eps);
}

// ---------------------------------------------------------------------------
// Models

TEST(Model, CapacitiesGrowByAQuarterOneAtATimeElseExactly) {
    int live = tamu_items_created;
    cmodel *m = tamu_create_model();
    EXPECT_EQ(tamu_items_created, live + 1);
    std::vector<int> capacities;
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(cmodel_new_vertex(m, float(i), 0, 0), i);
        capacities.push_back(m->max_vertices);
    }
    EXPECT_EQ(capacities, (std::vector<int>{1, 2, 3, 5, 5, 7, 7, 10, 10}));
    EXPECT_EQ(cmodel_max_vertices(m, 100), 0);
    EXPECT_EQ(m->max_vertices, 100);
    EXPECT_EQ(cmodel_max_vertices(m, 50), 0);   // never shrinks
    EXPECT_EQ(m->max_vertices, 100);
    EXPECT_EQ(cmodel_max_polygons(m, 3), 0);
    EXPECT_EQ(m->max_polygons, 3);
    EXPECT_EQ(cmodel_new_triangle(m, 0, 1, 2), 0);
    EXPECT_EQ(m->max_polygons, 3);
    EXPECT_EQ(m->vertices[8][0], 8.0f);

    // Beyond the limit: the model stays as it was and the failure is logged.
    LogCapture log;
    EXPECT_EQ(cmodel_max_vertices(m, CMODEL_MAX_ITEMS + 1), -1);
    EXPECT_EQ(cmodel_max_polygons(m, CMODEL_MAX_ITEMS + 1), -1);
    EXPECT_EQ(m->max_vertices, 100);
    std::string text = log.text();
    EXPECT_NE(text.find("\nAssertion failed: Could not allocate vertex\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nAssertion failed: Could not allocate poly\n"), std::string::npos) << text;
    tamu_destroy_model(m);
    tamu_destroy_model(nullptr);
    EXPECT_EQ(tamu_items_created, live);
}

TEST(Model, PolygonsKeepTheirEntriesWhileTheArrayGrowsAndMoves) {
    cmodel *m = tamu_create_model();
    for (int i = 0; i < 200; i++) {
        int p = i % 3 == 0 ? cmodel_new_quad(m, i, i + 1, i + 2, i + 3) : cmodel_new_triangle(m, i, i + 1, i + 2);
        ASSERT_EQ(p, i);
        m->polygons[p].uv[0][0] = float(i);
    }
    int big = cmodel_new_polygon(m, 7);
    EXPECT_EQ(m->polygons[big].capacity, 8);   // even, in arrays of its own
    EXPECT_NE(m->polygons[big].vertex, m->polygons[big].inline_vertex);
    EXPECT_EQ(indices(m->polygons[big]), std::vector<uint32_t>(7, 0));
    m->polygons[big].vertex[6] = 66;
    expect_inline_pointers(m);
    for (int i = 0; i < 200; i++) {
        const cpoly &p = m->polygons[i];
        ASSERT_EQ(p.vertex[0], uint32_t(i));
        ASSERT_EQ(p.vertex[p.num_vertices - 1], uint32_t(i + p.num_vertices - 1));
        ASSERT_EQ(p.uv[0][0], float(i));
        expect_near3(p.normal, 0, 0, 1);
    }
    // Deleting moves the last polygon (the big one) into the place.
    cmodel_delete_polygon(m, 5);
    EXPECT_EQ(m->num_polygons, 200);
    EXPECT_EQ(m->polygons[5].num_vertices, 7);
    EXPECT_EQ(m->polygons[5].vertex[6], 66u);
    cmodel_delete_polygon(m, 0);
    EXPECT_EQ(m->polygons[0].vertex[0], 199u);
    expect_inline_pointers(m);
    cmodel_delete_polygon(m, -1);   // out of range: nothing
    cmodel_delete_polygon(m, 500);
    EXPECT_EQ(m->num_polygons, 199);
    cmodel_clear(m);
    EXPECT_EQ(m->num_polygons, 0);
    EXPECT_EQ(m->num_vertices, 0);
    tamu_destroy_model(m);
}

TEST(Model, BonesAreTwoVertexPolygonsKeptFirst) {
    cmodel *m = tamu_create_model();
    for (int i = 0; i < 4; i++) cmodel_new_vertex(m, 0, float(i), 0);
    EXPECT_EQ(cmodel_new_triangle(m, 0, 1, 2), 0);
    EXPECT_EQ(cmodel_new_quad(m, 0, 1, 2, 3), 1);
    EXPECT_EQ(m->bone_vertices, nullptr);
    // The first bone takes index 0; the triangle there moves to the end.
    EXPECT_EQ(cmodel_new_polygon(m, 2), 0);
    EXPECT_EQ(m->num_bones, 1);
    EXPECT_EQ(m->polygons[1].num_vertices, 4);
    EXPECT_EQ(m->polygons[2].num_vertices, 3);
    ASSERT_NE(m->bone_vertices, nullptr);
    for (int v = 0; v < m->max_vertices; v++) {
        EXPECT_EQ(m->bone_vertices[v].bone[0], 0);
        EXPECT_EQ(m->bone_vertices[v].bone[1], 0);
        EXPECT_EQ(m->bone_vertices[v].weight, 1.0f);
    }
    EXPECT_EQ(cmodel_new_polygon(m, 2), 1);   // the quad moves to the end
    m->polygons[0].vertex[1] = 10;
    m->polygons[1].vertex[1] = 11;
    EXPECT_EQ(m->num_bones, 2);
    EXPECT_EQ(m->polygons[2].num_vertices, 3);
    EXPECT_EQ(m->polygons[3].num_vertices, 4);
    expect_inline_pointers(m);

    // Vertices added later get bone records too.
    for (int i = 0; i < 20; i++) cmodel_new_vertex(m, 1, 1, 1);
    EXPECT_EQ(m->bone_vertices[23].weight, 1.0f);
    m->bone_vertices[5].bone[0] = 0;
    m->bone_vertices[5].bone[1] = 1;

    // Deleting bone 0: the last bone takes its place (and its vertices'
    // references follow), then the last polygon fills the freed place.
    cmodel_delete_polygon(m, 0);
    EXPECT_EQ(m->num_bones, 1);
    EXPECT_EQ(m->num_polygons, 3);
    EXPECT_EQ(m->polygons[0].vertex[1], 11u);
    EXPECT_EQ(m->polygons[1].num_vertices, 4);
    EXPECT_EQ(m->polygons[2].num_vertices, 3);
    EXPECT_EQ(m->bone_vertices[5].bone[0], 0);
    EXPECT_EQ(m->bone_vertices[5].bone[1], 0);
    expect_inline_pointers(m);
    tamu_destroy_model(m);
}

TEST(Model, DeletingAVertexRenumbersThePolygons) {
    cmodel *m = tamu_create_model();
    for (int i = 0; i < 5; i++) cmodel_new_vertex(m, float(i), 0, 0);
    cmodel_new_quad(m, 0, 1, 2, 4);
    cmodel_new_triangle(m, 4, 1, 3);
    cmodel_delete_vertex(m, 1);   // vertex 4 becomes vertex 1
    EXPECT_EQ(m->num_vertices, 4);
    EXPECT_EQ(m->vertices[1][0], 4.0f);
    EXPECT_EQ(indices(m->polygons[0]), (std::vector<uint32_t>{0, CPOLY_NO_VERTEX, 2, 1}));
    EXPECT_EQ(indices(m->polygons[1]), (std::vector<uint32_t>{1, CPOLY_NO_VERTEX, 3}));
    cmodel_delete_vertex(m, 3);   // the last vertex itself
    EXPECT_EQ(indices(m->polygons[1]), (std::vector<uint32_t>{1, CPOLY_NO_VERTEX, CPOLY_NO_VERTEX}));
    cmodel_delete_vertex(m, 9);   // out of range: nothing
    EXPECT_EQ(m->num_vertices, 3);
    // Normals skip what names a missing vertex.
    cmodel_calculate_normals(m);
    expect_near3(m->polygons[1].normal, 0, 1, 0);
    tamu_destroy_model(m);
}

TEST(Model, PolygonVertexCountsGrowAndCopiesOwnTheirArrays) {
    int live = tamu_items_created;
    cpoly *p = tamu_create_poly(3);
    EXPECT_EQ(tamu_items_created, live + 1);
    EXPECT_EQ(p->capacity, 4);
    EXPECT_EQ(p->vertex, p->inline_vertex);
    p->vertex[0] = 7;
    // Growing moves the inline entries into arrays of an even capacity.
    EXPECT_EQ(cpoly_set_num_vertices(p, 5), 0);
    EXPECT_EQ(p->capacity, 6);
    EXPECT_EQ(indices(*p), (std::vector<uint32_t>{7, 0, 0, 0, 0}));
    p->vertex[4] = 9;
    // Shrinking keeps the capacity; growing again clears the new entries.
    EXPECT_EQ(cpoly_set_num_vertices(p, 1), 0);
    EXPECT_EQ(p->capacity, 6);
    EXPECT_EQ(cpoly_set_num_vertices(p, 6), 0);
    EXPECT_EQ(indices(*p), (std::vector<uint32_t>{7, 0, 0, 0, 0, 0}));
    EXPECT_EQ(cpoly_set_num_vertices(p, -1), -1);
    EXPECT_EQ(cpoly_set_num_vertices(p, CPOLY_MAX_VERTICES + 1), -1);
    EXPECT_EQ(p->num_vertices, 6);

    // A deep copy has arrays of its own; so freeing both is safe.
    cpoly copy;
    cpoly_copy(&copy, p, 0);
    EXPECT_NE(copy.vertex, p->vertex);
    EXPECT_EQ(indices(copy), indices(*p));
    cpoly_set_num_vertices(p, 0);   // the count may be lower than the capacity
    tamu_destroy_cpoly(p);
    EXPECT_EQ(copy.vertex[0], 7u);
    tamu_free(copy.vertex);
    tamu_free(copy.uv);

    // A copy of an inline polygon points at its own inline room.
    cpoly *small = tamu_create_poly(2);
    small->vertex[1] = 3;
    cpoly inline_copy;
    cpoly_copy(&inline_copy, small, 1);
    EXPECT_EQ(inline_copy.vertex, inline_copy.inline_vertex);
    EXPECT_EQ(inline_copy.vertex[1], 3u);
    tamu_destroy_cpoly(small);
    EXPECT_EQ(tamu_create_poly(-1), nullptr);
    EXPECT_EQ(tamu_items_created, live);
}

TEST(Model, FaceAndVertexNormals) {
    cmodel *m = tamu_create_model();
    cmodel_new_vertex(m, 0, 0, 0);
    cmodel_new_vertex(m, 1, 0, 0);
    cmodel_new_vertex(m, 0, 1, 0);
    cmodel_new_vertex(m, 0, 0, 1);
    cmodel_new_vertex(m, 5, 5, 5);   // used by no polygon
    cmodel_new_triangle(m, 0, 1, 2);   // (P1 - P0) x (P1 - P2) = (0, 0, -1)
    cmodel_new_triangle(m, 0, 3, 1);
    cmodel_new_polygon(m, 2);          // a bone
    cmodel_calculate_normals(m);
    expect_near3(m->polygons[0].normal, 0, 1, 0);   // the bone
    // The bone took index 0 and sent the first triangle to the end.
    expect_near3(m->polygons[1].normal, 0, -1, 0);
    expect_near3(m->polygons[2].normal, 0, 0, -1);
    cmodel_calculate_vertex_normals(m);
    ASSERT_EQ(m->num_vertex_normals, 5);
    float s = 1.0f / std::sqrt(2.0f);
    expect_near3(m->vertex_normals[0], 0, -s, -s);
    expect_near3(m->vertex_normals[2], 0, 0, -1);
    expect_near3(m->vertex_normals[4], 0, 1, 0);
    EXPECT_EQ(cmodel_get_bone_dat_index(3), 12);
    tamu_destroy_model(m);
}

// An arm of two bones along y: A from 0 to 1, B from 1 to 2, sharing
// vertex 1, with a skin vertex beside each.
cmodel *make_arm() {
    cmodel *m = tamu_create_model();
    cmodel_new_vertex(m, 0, 0, 0);
    cmodel_new_vertex(m, 0, 1, 0);
    cmodel_new_vertex(m, 0, 2, 0);
    cmodel_new_vertex(m, 0.1f, 0.5f, 0);
    cmodel_new_vertex(m, 0.1f, 1.9f, 0);
    int a = cmodel_new_polygon(m, 2);
    m->polygons[a].vertex[0] = 0;
    m->polygons[a].vertex[1] = 1;
    int b = cmodel_new_polygon(m, 2);
    m->polygons[b].vertex[0] = 1;
    m->polygons[b].vertex[1] = 2;
    cmodel_new_triangle(m, 3, 4, 2);
    return m;
}

TEST(Model, BonesCarryTheirVerticesAndChildren) {
    cmodel *m = make_arm();
    cmodel_decorate(m);
    ASSERT_EQ(m->bone_data_count, 2);
    EXPECT_EQ(m->bone_parents[0], -1);
    EXPECT_EQ(m->bone_parents[1], 0);
    EXPECT_EQ(m->bone_vertices[4].bone[0], 1);   // nearest to B
    EXPECT_EQ(m->bone_vertices[3].bone[0], 0);
    float rest_b[3];
    tamu_apply_matrix(m->bone_matrices[1], m->bone_vertices[4].local[0], rest_b);
    expect_near3(rest_b, 0.1f, 1.9f, 0);

    canim *anim = tamu_create_anim();
    int index = canim_new_actor(anim);
    cactor *actor = &anim->actors[index];
    for (int b = 0; b < 2; b++) ASSERT_EQ(cactor_new_channel(actor, 12), b);
    float pose[2][12], out[5][3];

    // No keys: every vertex stays where it is.
    cactor_evaluate_bones(actor, m, 0, pose);
    cmodel_evaluate_bone_vertices(m, pose, out);
    for (int v = 0; v < 5; v++) expect_near3(out[v], m->vertices[v][0], m->vertices[v][1], m->vertices[v][2]);

    // Turning the root a quarter about z turns the whole arm: (x, y) ->
    // (-y, x).
    float quarter[3] = {0, 0, 1.57079632679489662f};
    canim_channel_insert_state(actor->further[0], 0);
    std::memcpy(actor->further[0]->states, quarter, 12);
    cactor_evaluate_bones(actor, m, 0, pose);
    cmodel_evaluate_bone_vertices(m, pose, out);
    for (int v = 0; v < 5; v++) expect_near3(out[v], -m->vertices[v][1], m->vertices[v][0], 0);

    // Turning only B: the vertex beside B swings about B's head; the one
    // beside A stays.
    canim_channel_clear(actor->further[0]);
    canim_channel_insert_state(actor->further[1], 0);
    std::memcpy(actor->further[1]->states, quarter, 12);
    cactor_evaluate_bones(actor, m, 0, pose);
    cmodel_evaluate_bone_vertices(m, pose, out);
    // Each skin vertex follows its two bones by its weights: B swings
    // (0.1, 0.5) to (0.5, 1.1) and (0.1, 1.9) to (-0.9, 1.1); A keeps them.
    float wa = m->bone_vertices[3].weight;   // toward A
    expect_near3(out[3], wa * 0.1f + (1 - wa) * 0.5f, wa * 0.5f + (1 - wa) * 1.1f, 0);
    const cbone_vertex &bv = m->bone_vertices[4];
    float w = bv.weight;   // toward B
    expect_near3(out[4], w * -0.9f + (1 - w) * 0.1f, w * 1.1f + (1 - w) * 1.9f, 0);
    tamu_destroy_anim(anim);
    tamu_destroy_model(m);
}

TEST(Model, BoneParentsNeverLoop) {
    cmodel *m = tamu_create_model();
    cmodel_new_vertex(m, 0, 0, 0);
    cmodel_new_vertex(m, 0, 1, 0);
    for (int b = 0; b < 2; b++) {
        int i = cmodel_new_polygon(m, 2);
        m->polygons[i].vertex[0] = uint32_t(b);       // A: 0 -> 1, B: 1 -> 0
        m->polygons[i].vertex[1] = uint32_t(1 - b);
    }
    cmodel_new_polygon(m, 2);   // a bone naming vertex 0 twice
    cmodel_calculate_bone_parents(m);
    int loops = 0;
    for (int b = 0; b < m->num_bones; b++) {
        int up = b, steps = 0;
        while (up >= 0 && steps <= m->num_bones) up = m->bone_parents[up], steps++;
        loops += up >= 0;
    }
    EXPECT_EQ(loops, 0);
    float pose[3][12], out[2][3];
    cmodel_calculate_bone_vertices(m);
    cactor_evaluate_bones(nullptr, m, 0, pose);   // no actor: the rest pose
    cmodel_evaluate_bone_vertices(m, pose, out);
    expect_near3(out[1], 0, 1, 0);
    tamu_destroy_model(m);
}

TEST(Model, MaterialStartsWithItsColours) {
    int live = tamu_items_created;
    cmaterial *m = tamu_create_material();
    EXPECT_EQ(m->colour, 0xFF336699u);
    EXPECT_EQ(m->specular_colour, 0xFF606060u);
    EXPECT_EQ(m->name[0], 0);
    EXPECT_EQ(m->texture, 0);
    EXPECT_EQ(m->shininess, 0.0f);
    tamu_destroy_material(m);
    EXPECT_EQ(tamu_items_created, live);
}

// ---------------------------------------------------------------------------
// Animation channels

// A channel of 12-byte states (x, x + 1, x + 2) at the given times.
canim_channel *keyed(const std::vector<std::pair<int32_t, float>> &keys) {
    canim_channel *c = tamu_create_anim_channel(12);
    for (auto [t, x] : keys) {
        int i = canim_channel_insert_state(c, t);
        float v[3] = {x, x + 1, x + 2};
        std::memcpy(c->states + 12 * i, v, 12);
    }
    return c;
}

std::vector<int32_t> times_of(const canim_channel *c) { return std::vector<int32_t>(c->times, c->times + c->num_states); }

TEST(AnimChannel, StatesAreInsertedInTimeOrder) {
    canim_channel *c = tamu_create_anim_channel(12);
    EXPECT_EQ(canim_channel_insert_state(c, 10), 0);
    EXPECT_EQ(canim_channel_insert_state(c, 30), 1);
    EXPECT_EQ(canim_channel_insert_state(c, 20), 1);
    EXPECT_EQ(canim_channel_insert_state(c, 5), 0);    // before the first
    EXPECT_EQ(canim_channel_insert_state(c, 20), 3);   // after the equal time
    EXPECT_EQ(times_of(c), (std::vector<int32_t>{5, 10, 20, 20, 30}));
    EXPECT_EQ(c->max_states, 5);   // exactly what was asked for
    for (int i = 0; i < 5; i++) EXPECT_EQ(c->flags[i], 0);

    struct Case {
        int32_t t;
        int index;
    };
    for (Case k : {Case{-100, 0}, Case{5, 0}, Case{9, 0}, Case{10, 1}, Case{19, 1}, Case{20, 3}, Case{29, 3},
                   Case{30, 4}, Case{1000, 4}}) {
        EXPECT_EQ(canim_channel_index_for_t(c, k.t), k.index) << k.t;
    }
    canim_channel_delete(c, 1);
    EXPECT_EQ(times_of(c), (std::vector<int32_t>{5, 20, 20, 30}));
    canim_channel_delete(c, 9);
    EXPECT_EQ(canim_channel_set_num_states(c, 6), 0);   // new states at the last time
    EXPECT_EQ(times_of(c), (std::vector<int32_t>{5, 20, 20, 30, 30, 30}));
    EXPECT_EQ(canim_channel_set_num_states(c, -1), -1);
    canim_channel_clear(c);
    EXPECT_EQ(c->num_states, 0);
    EXPECT_EQ(canim_channel_index_for_t(c, 50), 0);
    tamu_destroy_anim_channel(c);
    EXPECT_EQ(tamu_create_anim_channel(-1), nullptr);
    EXPECT_EQ(tamu_create_anim_channel(CANIM_MAX_STATE_SIZE + 1), nullptr);
}

TEST(AnimChannel, CommandsAreFoundBackwardThenForward) {
    canim_channel *c = tamu_create_anim_channel(24);
    uint32_t commands[] = {7, 8, 7, 9};
    for (int i = 0; i < 4; i++) {
        int at = canim_channel_insert_state(c, 10 * (i + 1));
        std::memcpy(c->states + 24 * at, &commands[i], 4);
    }
    EXPECT_EQ(canim_channel_index_for_command(c, 35, 7), 2);
    EXPECT_EQ(canim_channel_index_for_command(c, 25, 7), 0);
    EXPECT_EQ(canim_channel_index_for_command(c, 25, 9), 3);   // none before: forward
    EXPECT_EQ(canim_channel_index_for_command(c, 25, 5), -1);
    canim_channel_clear(c);
    EXPECT_EQ(canim_channel_index_for_command(c, 25, 7), -1);
    tamu_destroy_anim_channel(c);
}

TEST(AnimChannel, EvaluationInterpolatesBetweenKeys) {
    canim_channel *c = keyed({{0, 0.0f}, {100, 10.0f}, {100, 50.0f}, {200, 20.0f}});
    struct Case {
        int32_t t;
        float x;
    };
    for (Case k : {Case{-50, 0.0f}, Case{0, 0.0f}, Case{25, 2.5f}, Case{99, 9.9f}, Case{100, 50.0f}, Case{150, 35.0f},
                   Case{200, 20.0f}, Case{999, 20.0f}}) {
        float out[3] = {-1, -1, -1};
        ASSERT_EQ(canim_channel_evaluate(c, k.t, out), 1);
        EXPECT_NEAR(out[0], k.x, 1e-4) << k.t;
        EXPECT_NEAR(out[2], k.x + 2, 1e-4) << k.t;
    }
    // The smooth curve passes through its keys and stays between
    // neighbours on a straight run.
    canim_channel *line = keyed({{0, 0.0f}, {10, 1.0f}, {20, 2.0f}, {30, 3.0f}});
    float out[3];
    for (int32_t t : {0, 10, 20, 30}) {
        canim_channel_evaluate_nonlinear(line, t, out);
        EXPECT_NEAR(out[0], t / 10.0f, 1e-5) << t;
    }
    canim_channel_evaluate_nonlinear(line, 15, out);
    EXPECT_NEAR(out[0], 1.5f, 1e-5);

    canim_channel *empty = tamu_create_anim_channel(12);
    canim_channel *narrow = tamu_create_anim_channel(4);
    canim_channel_set_num_states(narrow, 2);
    float untouched[3] = {7, 7, 7};
    EXPECT_EQ(canim_channel_evaluate(empty, 0, untouched), 0);
    EXPECT_EQ(canim_channel_evaluate(narrow, 0, untouched), 0);
    EXPECT_EQ(canim_channel_evaluate_nonlinear(narrow, 0, untouched), 0);
    EXPECT_EQ(untouched[0], 7.0f);
    for (canim_channel *x : {c, line, empty, narrow}) tamu_destroy_anim_channel(x);
}

TEST(Anim, ActorsAreNamedAndDeletedByMovingTheLast) {
    int live = tamu_items_created;
    canim *a = tamu_create_anim();
    for (int i = 0; i < 3; i++) EXPECT_EQ(canim_new_actor(a), i);
    EXPECT_STREQ(a->actors[2].name, "actor2");
    EXPECT_EQ(a->actors[0].model, -1);
    EXPECT_EQ(a->actors[0].material, -1);
    EXPECT_EQ(a->actors[0].channel[0]->state_size, 12);
    EXPECT_EQ(a->actors[0].commands->state_size, 24);
    canim_delete_actor(a, 0);
    EXPECT_EQ(a->num_actors, 2);
    EXPECT_STREQ(a->actors[0].name, "actor2");

    float scale[3], rotation[3], position[3];
    cactor_evaluate(&a->actors[0], 0, scale, rotation, position);
    expect_near3(scale, 1, 1, 1);
    expect_near3(rotation, 0, 0, 0);
    canim_channel_insert_state(a->actors[0].channel[CACTOR_POSITION], 0);
    float at[3] = {1, 2, 3};
    std::memcpy(a->actors[0].channel[CACTOR_POSITION]->states, at, 12);
    cactor_evaluate(&a->actors[0], 40, scale, rotation, position);
    expect_near3(position, 1, 2, 3);

    tamu_clear_anim(a);
    EXPECT_EQ(a->num_actors, 0);
    EXPECT_EQ(canim_new_actor(a), 0);
    EXPECT_STREQ(a->actors[0].name, "actor0");
    tamu_destroy_anim(a);
    EXPECT_EQ(tamu_items_created, live);
}

// ---------------------------------------------------------------------------
// Voxel maps

int count_voxels(const cvoxmap *v, int value) {
    int n = 0;
    for (int z = 0; z < v->depth; z++)
        for (int y = 0; y < v->height; y++)
            for (int x = 0; x < v->width; x++) n += tamu_getvoxel(v, x, y, z) == value;
    return n;
}

TEST(Voxmap, LevelsAreBitmapsOverTheBlock) {
    int live = tamu_items_created;
    cvoxmap *v = tamu_create_voxmap(4, 3, 2);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(tamu_items_created, live + 1);
    EXPECT_EQ(count_voxels(v, 0), 24);
    tamu_putvoxel(v, 3, 2, 1, 9);
    EXPECT_EQ(v->voxels[1 * 12 + 2 * 4 + 3], 9);
    EXPECT_EQ(v->slices[1]->rows[2][3], 9);
    // Drawing on a level writes voxels.
    tamu_putpixel(v->slices[0], 1, 1, 5);
    EXPECT_EQ(tamu_getvoxel(v, 1, 1, 0), 5);
    // Outside the box: nothing written, 0 read.
    tamu_putvoxel(v, 4, 0, 0, 1);
    tamu_putvoxel(v, 0, 0, -1, 1);
    EXPECT_EQ(tamu_getvoxel(v, -1, 0, 0), 0);
    EXPECT_EQ(tamu_getvoxel(v, 0, 0, 2), 0);
    EXPECT_EQ(count_voxels(v, 0), 22);
    tamu_clear_voxmap(v);
    EXPECT_EQ(count_voxels(v, 0), 24);
    tamu_destroy_voxmap(v);
    tamu_destroy_voxmap(nullptr);
    EXPECT_EQ(tamu_items_created, live);

    for (auto [w, h, d] : {std::tuple{0, 1, 1}, {1, 0, 1}, {1, 1, 0}, {TAMU_BITMAP_MAX_SIDE + 1, 1, 1},
                           {1, 1, TAMU_VOXMAP_MAX_DEPTH + 1}, {8192, 8192, 2}})
        EXPECT_EQ(tamu_create_voxmap(w, h, d), nullptr) << w << " " << h << " " << d;
}

TEST(Voxmap, TheClipBoxBoundsWritesAndTheLevelClips) {
    cvoxmap *v = tamu_create_voxmap(8, 8, 8);
    tamu_set_voxmap_clip(v, 2, 3, 4, 5, 6, 7);
    EXPECT_EQ(v->clip_x0, 2);
    EXPECT_EQ(v->clip_x1, 5);
    EXPECT_EQ(v->clip_z1, 7);
    tamu_putvoxel(v, 2, 3, 4, 1);
    tamu_putvoxel(v, 5, 3, 4, 1);   // x1 excluded
    tamu_putvoxel(v, 2, 3, 7, 1);   // z1 excluded
    EXPECT_EQ(count_voxels(v, 1), 1);
    // Levels inside the box clip 2D drawing to its rectangle; the others
    // clip everything.
    tamu_rectfill(v->slices[5], 0, 0, 7, 7, 2);
    tamu_rectfill(v->slices[1], 0, 0, 7, 7, 2);
    EXPECT_EQ(count_voxels(v, 2), 3 * 3);
    EXPECT_EQ(v->slices[1]->clip_x1, v->slices[1]->clip_x0);
    tamu_boxfill(v, -10, -10, -10, 100, 100, 100, 3);   // clipped to the box
    EXPECT_EQ(count_voxels(v, 3), 3 * 3 * 3);
    // Corners beyond the map are held inside it.
    tamu_set_voxmap_clip(v, -5, -5, -5, 50, 50, 50);
    EXPECT_EQ(v->clip_x0, 0);
    EXPECT_EQ(v->clip_x1, 8);
    tamu_set_voxmap_clip(v, 6, 0, 0, 2, 8, 8);   // x1 before x0: empty
    tamu_boxfill(v, 0, 0, 0, 7, 7, 7, 4);
    EXPECT_EQ(count_voxels(v, 4), 0);
    tamu_reset_voxmap_clip(v);
    tamu_boxfill(v, 7, 7, 7, 0, 0, 0, 4);   // corners in either order
    EXPECT_EQ(count_voxels(v, 4), 512);
    tamu_destroy_voxmap(v);
}

TEST(Voxmap, LinesAndBoxOutlines) {
    cvoxmap *v = tamu_create_voxmap(16, 16, 16);
    // n + 1 voxels, both ends included, in every direction.
    struct Line {
        int x0, y0, z0, x1, y1, z1, voxels;
    };
    for (Line l : {Line{0, 0, 0, 15, 0, 0, 16}, Line{3, 3, 3, 3, 3, 3, 1}, Line{15, 15, 15, 0, 5, 10, 16},
                   Line{2, 9, 4, 6, 1, 13, 10}, Line{0, 15, 0, 15, 0, 15, 16}}) {
        tamu_clear_voxmap(v);
        tamu_line3d(v, l.x0, l.y0, l.z0, l.x1, l.y1, l.z1, 1);
        EXPECT_EQ(count_voxels(v, 1), l.voxels) << l.x0 << "," << l.y0 << "," << l.z0;
        EXPECT_EQ(tamu_getvoxel(v, l.x0, l.y0, l.z0), 1);
        EXPECT_EQ(tamu_getvoxel(v, l.x1, l.y1, l.z1), 1);
    }
    // A line that is mostly outside the map draws the part inside: the
    // same voxels as its clipped piece would.
    tamu_clear_voxmap(v);
    tamu_line3d(v, -1000000000, 4, 4, 1000000000, 4, 4, 1);
    EXPECT_EQ(count_voxels(v, 1), 16);
    tamu_clear_voxmap(v);
    tamu_line3d(v, -2000000000, -2000000000, 0, 2000000000, 2000000000, 0, 1);
    EXPECT_EQ(count_voxels(v, 1), 16);
    for (int i = 0; i < 16; i++) EXPECT_EQ(tamu_getvoxel(v, i, i, 0), 1) << i;

    tamu_clear_voxmap(v);
    tamu_box(v, 1, 1, 1, 4, 5, 6, 2);
    // 12 edges of a 4 x 5 x 6 box: 4 * (4 + 5 + 6) - 16 corners counted
    // twice more than once.
    EXPECT_EQ(count_voxels(v, 2), 4 * (4 + 5 + 6) - 2 * 8);
    EXPECT_EQ(tamu_getvoxel(v, 2, 3, 3), 0);   // hollow
    tamu_destroy_voxmap(v);
}

TEST(Voxmap, LevelsDrawOntoBitmaps) {
    cvoxmap *v = tamu_create_voxmap(2, 2, 3);
    tamu_putvoxel(v, 0, 0, 0, 1);
    tamu_putvoxel(v, 1, 1, 0, 1);
    tamu_putvoxel(v, 0, 0, 2, 3);
    cbitmap *b = tamu_create_bitmap(4, 4, 8);
    tamu_draw_voxmap(v, b, 1, 1, 0);   // upper levels over lower ones, 0 transparent
    EXPECT_EQ(b->rows[1][1], 3);
    EXPECT_EQ(b->rows[2][2], 1);
    EXPECT_EQ(b->rows[0][0], 0);
    tamu_clear_bitmap(b);
    tamu_draw_voxmap(v, b, 0, 0, 1);   // from level 1 up
    EXPECT_EQ(b->rows[1][1], 0);
    EXPECT_EQ(b->rows[0][0], 3);
    b->rows[1][1] = 9;
    tamu_blit_voxmap(v, b, 0, 0, 2);   // plain: level 2's zeros too
    EXPECT_EQ(b->rows[1][1], 0);
    tamu_clear_bitmap(b);
    float scale2[12] = {2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0};
    tamu_draw_voxmap_matrix(v, b, scale2);
    EXPECT_EQ(b->rows[0][0], 3);
    EXPECT_EQ(b->rows[1][1], 3);
    EXPECT_EQ(b->rows[3][3], 1);
    tamu_destroy_bitmap(b);
    tamu_destroy_voxmap(v);
}

}  // namespace
