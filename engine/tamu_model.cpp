// Models: vertices, polygons with inline room for four vertices, bones as
// two-vertex polygons kept first, and the skinning calculations; materials.
#include "tamu_model.h"

#include "tamu_main.h"
#include "tamu_math.h"
#include "tamu_memory.h"

#include <cmath>
#include <cstring>

namespace {

void allocation_failed(const char *what) { tamu_debugf("\nAssertion failed: %s\n", what); }

// Polygons live by value in arrays that move: one that uses its inline
// room must point at its own after every move.
void point_inline(cpoly *p) {
    if (p->capacity <= 4) {
        p->vertex = p->inline_vertex;
        p->uv = p->inline_uv;
    }
}

void poly_init(cpoly *p) {
    std::memset(p, 0, sizeof *p);
    p->capacity = 4;
    p->normal[2] = 1.0f;
    point_inline(p);
}

void poly_free_arrays(cpoly *p) {
    if (p->capacity > 4) {
        tamu_free(p->vertex);
        tamu_free(p->uv);
    }
    p->capacity = 4;
    p->num_vertices = 0;
    point_inline(p);
}

// Moves polygon from into place to (a shallow copy: the arrays go along).
void poly_move(cmodel *m, int to, int from) {
    if (to == from) return;
    cpoly_copy(&m->polygons[to], &m->polygons[from], 1);
}

bool valid_vertex(const cmodel *m, uint32_t index) { return index < uint32_t(m->num_vertices); }

// The new capacity for a request of n items under the growth rule.
int grown_capacity(int capacity, int n) {
    if (n != capacity + 1) return n;
    int64_t grown = int64_t(n) * 5 / 4;
    if (grown > CMODEL_MAX_ITEMS) grown = CMODEL_MAX_ITEMS;
    return grown < n ? n : int(grown);
}

void init_bone_vertex(cbone_vertex *b) {
    std::memset(b, 0, sizeof *b);
    b->weight = 1.0f;
}

// Bone records for every vertex slot, once the model has bones.
void make_bone_vertices(cmodel *m) {
    if (m->bone_vertices || m->max_vertices < 1) return;
    m->bone_vertices = static_cast<cbone_vertex *>(tamu_malloc(int(sizeof(cbone_vertex)) * m->max_vertices));
    for (int i = 0; i < m->max_vertices; i++) init_bone_vertex(&m->bone_vertices[i]);
}

float distance_to_segment(const float *p, const float *a, const float *b) {
    float ab[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    float ap[3] = {p[0] - a[0], p[1] - a[1], p[2] - a[2]};
    float len2 = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
    float t = len2 > 0 ? (ap[0] * ab[0] + ap[1] * ab[1] + ap[2] * ab[2]) / len2 : 0.0f;
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    float d[3] = {ap[0] - ab[0] * t, ap[1] - ab[1] * t, ap[2] - ab[2] * t};
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

// Head and tail of bone b, or false when it names a missing vertex.
bool bone_ends(const cmodel *m, int b, const float **head, const float **tail) {
    const cpoly &p = m->polygons[b];
    if (p.num_vertices < 2 || !valid_vertex(m, p.vertex[0]) || !valid_vertex(m, p.vertex[1])) return false;
    *head = m->vertices[p.vertex[0]];
    *tail = m->vertices[p.vertex[1]];
    return true;
}

// Bone arrays for the current bones.
void size_bone_data(cmodel *m) {
    if (m->bone_data_count == m->num_bones) return;
    int n = m->num_bones;
    tamu_free(m->bone_matrices);
    tamu_free(m->bone_parents);
    m->bone_matrices = n ? static_cast<float(*)[12]>(tamu_malloc(int(sizeof(float[12])) * n)) : nullptr;
    m->bone_parents = n ? static_cast<int32_t *>(tamu_malloc(int(sizeof(int32_t)) * n)) : nullptr;
    for (int b = 0; b < n; b++) {
        tamu_get_identity_matrix(m->bone_matrices[b]);
        m->bone_parents[b] = -1;
    }
    m->bone_data_count = n;
}

}  // namespace

// ---------------------------------------------------------------------------
// Polygons

cpoly *tamu_create_poly(int n) {
    if (n < 0 || n > CPOLY_MAX_VERTICES) return nullptr;
    auto *p = static_cast<cpoly *>(tamu_malloc(sizeof(cpoly)));
    poly_init(p);
    cpoly_set_num_vertices(p, n);
    tamu_items_created++;
    return p;
}

void tamu_destroy_cpoly(cpoly *poly) {
    if (!poly) return;
    poly_free_arrays(poly);
    tamu_free(poly);
    tamu_items_created--;
}

int cpoly_set_num_vertices(cpoly *poly, int n) {
    if (!poly || n < 0 || n > CPOLY_MAX_VERTICES) return -1;
    point_inline(poly);
    if (n > poly->capacity) {
        int capacity = (n + 1) & ~1;
        auto *vertex = static_cast<uint32_t *>(tamu_malloc(int(sizeof(uint32_t)) * capacity));
        auto *uv = static_cast<float(*)[2]>(tamu_malloc(int(sizeof(float[2])) * capacity));
        std::memset(vertex, 0, sizeof(uint32_t) * size_t(capacity));
        std::memset(uv, 0, sizeof(float[2]) * size_t(capacity));
        std::memcpy(vertex, poly->vertex, sizeof(uint32_t) * size_t(poly->capacity));
        std::memcpy(uv, poly->uv, sizeof(float[2]) * size_t(poly->capacity));
        if (poly->capacity > 4) {
            tamu_free(poly->vertex);
            tamu_free(poly->uv);
        }
        poly->vertex = vertex;
        poly->uv = uv;
        poly->capacity = int16_t(capacity);
    }
    for (int i = poly->num_vertices; i < n; i++) {
        poly->vertex[i] = 0;
        poly->uv[i][0] = poly->uv[i][1] = 0.0f;
    }
    poly->num_vertices = int16_t(n);
    return 0;
}

void cpoly_copy(cpoly *destination, const cpoly *source, int shallow) {
    if (!destination || !source || destination == source) return;
    std::memcpy(destination, source, sizeof *destination);
    if (source->capacity <= 4) {
        // The entries came along in the inline room (the source's pointers
        // may be stale when it is a moved record).
        point_inline(destination);
        return;
    }
    if (shallow) return;
    int capacity = source->capacity;
    destination->vertex = static_cast<uint32_t *>(tamu_malloc(int(sizeof(uint32_t)) * capacity));
    destination->uv = static_cast<float(*)[2]>(tamu_malloc(int(sizeof(float[2])) * capacity));
    std::memcpy(destination->vertex, source->vertex, sizeof(uint32_t) * size_t(capacity));
    std::memcpy(destination->uv, source->uv, sizeof(float[2]) * size_t(capacity));
}

// ---------------------------------------------------------------------------
// Models

cmodel *tamu_create_model() {
    auto *m = static_cast<cmodel *>(tamu_malloc(sizeof(cmodel)));
    std::memset(m, 0, sizeof *m);
    tamu_items_created++;
    return m;
}

void tamu_destroy_model(cmodel *model) {
    if (!model) return;
    for (int i = 0; i < model->num_polygons; i++) poly_free_arrays(&model->polygons[i]);
    tamu_free(model->vertices);
    tamu_free(model->polygons);
    tamu_free(model->bone_vertices);
    tamu_free(model->bone_matrices);
    tamu_free(model->bone_parents);
    tamu_free(model->vertex_normals);
    tamu_free(model);
    tamu_items_created--;
}

int cmodel_max_vertices(cmodel *model, int n) {
    if (!model) return -1;
    if (n <= model->max_vertices) return 0;
    if (n > CMODEL_MAX_ITEMS) {
        allocation_failed(model->bone_vertices ? "Could not allocate bone_vertex" : "Could not allocate vertex");
        return -1;
    }
    int capacity = grown_capacity(model->max_vertices, n);
    model->vertices = static_cast<float(*)[3]>(tamu_realloc(model->vertices, int(sizeof(float[3])) * capacity));
    if (model->bone_vertices) {
        model->bone_vertices = static_cast<cbone_vertex *>(
            tamu_realloc(model->bone_vertices, int(sizeof(cbone_vertex)) * capacity));
        for (int i = model->max_vertices; i < capacity; i++) init_bone_vertex(&model->bone_vertices[i]);
    }
    model->max_vertices = capacity;
    if (model->num_bones > 0) make_bone_vertices(model);
    return 0;
}

int cmodel_max_polygons(cmodel *model, int n) {
    if (!model) return -1;
    if (n <= model->max_polygons) return 0;
    if (n > CMODEL_MAX_ITEMS) {
        allocation_failed("Could not allocate poly");
        return -1;
    }
    int capacity = grown_capacity(model->max_polygons, n);
    model->polygons = static_cast<cpoly *>(tamu_realloc(model->polygons, int(sizeof(cpoly)) * capacity));
    for (int i = 0; i < model->num_polygons; i++) point_inline(&model->polygons[i]);
    model->max_polygons = capacity;
    return 0;
}

int cmodel_new_vertex(cmodel *model, float x, float y, float z) {
    if (!model || cmodel_max_vertices(model, model->num_vertices + 1) != 0) return -1;
    int i = model->num_vertices++;
    model->vertices[i][0] = x;
    model->vertices[i][1] = y;
    model->vertices[i][2] = z;
    if (model->bone_vertices) init_bone_vertex(&model->bone_vertices[i]);
    return i;
}

int cmodel_new_polygon(cmodel *model, int n) {
    if (!model || n < 0 || n > CPOLY_MAX_VERTICES) return -1;
    if (cmodel_max_polygons(model, model->num_polygons + 1) != 0) return -1;
    int index = model->num_polygons++;
    cpoly *p = &model->polygons[index];
    poly_init(p);
    cpoly_set_num_vertices(p, n);
    if (n != 2) return index;
    // A bone: it goes after the other bones, and what was there to the end.
    int place = model->num_bones;
    if (place != index) {
        cpoly bone;
        cpoly_copy(&bone, p, 1);
        poly_move(model, index, place);
        cpoly_copy(&model->polygons[place], &bone, 1);
    }
    model->num_bones++;
    make_bone_vertices(model);
    return place;
}

int cmodel_new_triangle(cmodel *model, uint32_t a, uint32_t b, uint32_t c) {
    int i = cmodel_new_polygon(model, 3);
    if (i < 0) return -1;
    uint32_t *v = model->polygons[i].vertex;
    v[0] = a;
    v[1] = b;
    v[2] = c;
    return i;
}

int cmodel_new_quad(cmodel *model, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    int i = cmodel_new_polygon(model, 4);
    if (i < 0) return -1;
    uint32_t *v = model->polygons[i].vertex;
    v[0] = a;
    v[1] = b;
    v[2] = c;
    v[3] = d;
    return i;
}

void cmodel_delete_polygon(cmodel *model, int index) {
    if (!model || index < 0 || index >= model->num_polygons) return;
    poly_free_arrays(&model->polygons[index]);
    int hole = index;
    if (index < model->num_bones) {
        int last_bone = model->num_bones - 1;
        poly_move(model, index, last_bone);
        model->num_bones--;
        hole = last_bone;
        if (model->bone_vertices) {
            for (int v = 0; v < model->max_vertices; v++) {
                for (uint16_t &b : model->bone_vertices[v].bone) {
                    if (b == index) b = 0;
                    else if (b == last_bone) b = uint16_t(index);
                }
            }
        }
    }
    int last = model->num_polygons - 1;
    poly_move(model, hole, last);
    model->num_polygons--;
}

void cmodel_delete_vertex(cmodel *model, int index) {
    if (!model || index < 0 || index >= model->num_vertices) return;
    int last = model->num_vertices - 1;
    std::memcpy(model->vertices[index], model->vertices[last], sizeof(float[3]));
    if (model->bone_vertices) model->bone_vertices[index] = model->bone_vertices[last];
    model->num_vertices--;
    for (int i = 0; i < model->num_polygons; i++) {
        cpoly &p = model->polygons[i];
        for (int k = 0; k < p.num_vertices; k++) {
            if (p.vertex[k] == uint32_t(index)) p.vertex[k] = CPOLY_NO_VERTEX;
            else if (p.vertex[k] == uint32_t(last)) p.vertex[k] = uint32_t(index);
        }
    }
}

void cmodel_clear(cmodel *model) {
    if (!model) return;
    for (int i = 0; i < model->num_polygons; i++) poly_free_arrays(&model->polygons[i]);
    model->num_vertices = model->num_polygons = model->num_bones = 0;
}

void cmodel_calculate_normals(cmodel *model) {
    if (!model) return;
    for (int i = 0; i < model->num_polygons; i++) {
        cpoly &p = model->polygons[i];
        float *n = p.normal;
        if (p.num_vertices < 3 || !valid_vertex(model, p.vertex[0]) || !valid_vertex(model, p.vertex[1]) ||
            !valid_vertex(model, p.vertex[2])) {
            n[0] = 0.0f;
            n[1] = 1.0f;
            n[2] = 0.0f;
            continue;
        }
        const float *p0 = model->vertices[p.vertex[0]];
        const float *p1 = model->vertices[p.vertex[1]];
        const float *p2 = model->vertices[p.vertex[2]];
        float a[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        float b[3] = {p1[0] - p2[0], p1[1] - p2[1], p1[2] - p2[2]};
        tamu_cross_product(a, b, n);
        tamu_normalize(n);
    }
}

void cmodel_calculate_vertex_normals(cmodel *model) {
    if (!model) return;
    int n = model->num_vertices;
    if (model->num_vertex_normals != n) {
        tamu_free(model->vertex_normals);
        model->vertex_normals = n ? static_cast<float(*)[3]>(tamu_malloc(int(sizeof(float[3])) * n)) : nullptr;
        model->num_vertex_normals = n;
    }
    if (n == 0) return;
    std::memset(model->vertex_normals, 0, sizeof(float[3]) * size_t(n));
    for (int i = 0; i < model->num_polygons; i++) {
        const cpoly &p = model->polygons[i];
        if (p.num_vertices < 3) continue;
        for (int k = 0; k < p.num_vertices; k++) {
            if (!valid_vertex(model, p.vertex[k])) continue;
            float *vn = model->vertex_normals[p.vertex[k]];
            for (int c = 0; c < 3; c++) vn[c] += p.normal[c];
        }
    }
    for (int v = 0; v < n; v++) tamu_normalize(model->vertex_normals[v]);
}

void cmodel_calculate_bone_parents(cmodel *model) {
    if (!model) return;
    size_bone_data(model);
    int n = model->num_bones;
    for (int b = 0; b < n; b++) {
        int32_t &parent = model->bone_parents[b];
        parent = -1;
        const float *head, *tail;
        if (!bone_ends(model, b, &head, &tail)) continue;
        uint32_t head_vertex = model->polygons[b].vertex[0];
        for (int pass = 0; pass < 2 && parent < 0; pass++) {   // the same vertex first, then the same place
            for (int c = 0; c < n && parent < 0; c++) {
                const float *h2, *t2;
                if (c == b || !bone_ends(model, c, &h2, &t2)) continue;
                bool joined = pass == 0 ? model->polygons[c].vertex[1] == head_vertex
                                        : t2[0] == head[0] && t2[1] == head[1] && t2[2] == head[2];
                if (!joined) continue;
                // Would this close a loop? Walk up from the candidate.
                int up = c, steps = 0;
                while (up >= 0 && up != b && steps <= n) {
                    up = up < b ? model->bone_parents[up] : -1;   // later bones have no parent yet
                    steps++;
                }
                if (up != b) parent = c;
            }
        }
    }
}

void cmodel_calculate_matrices(cmodel *model) {
    if (!model) return;
    size_bone_data(model);
    static const float up[3] = {0.0f, 1.0f, 0.0f};
    for (int b = 0; b < model->num_bones; b++) {
        float *m = model->bone_matrices[b];
        const float *head, *tail;
        if (!bone_ends(model, b, &head, &tail)) {
            tamu_get_identity_matrix(m);
            continue;
        }
        float direction[3] = {tail[0] - head[0], tail[1] - head[1], tail[2] - head[2]};
        tamu_get_vector_rotation_matrix(m, up, direction);
        m[9] = head[0];
        m[10] = head[1];
        m[11] = head[2];
    }
}

void cmodel_calculate_bone_vertices(cmodel *model) {
    if (!model || model->num_bones < 1) return;
    make_bone_vertices(model);
    cmodel_calculate_matrices(model);
    for (int v = 0; v < model->num_vertices; v++) {
        const float *p = model->vertices[v];
        int best[2] = {-1, -1};
        float dist[2] = {0, 0};
        for (int b = 0; b < model->num_bones; b++) {
            const float *head, *tail;
            if (!bone_ends(model, b, &head, &tail)) continue;
            float d = distance_to_segment(p, head, tail);
            if (best[0] < 0 || d < dist[0]) {
                best[1] = best[0];
                dist[1] = dist[0];
                best[0] = b;
                dist[0] = d;
            } else if (best[1] < 0 || d < dist[1]) {
                best[1] = b;
                dist[1] = d;
            }
        }
        cbone_vertex &bv = model->bone_vertices[v];
        init_bone_vertex(&bv);
        if (best[0] < 0) continue;
        if (best[1] < 0) {
            best[1] = best[0];
            dist[1] = dist[0];
        }
        float total = dist[0] + dist[1];
        bv.weight = total > 0.0f ? dist[1] / total : 0.5f;
        if (best[1] == best[0]) bv.weight = 1.0f;
        for (int k = 0; k < 2; k++) {
            bv.bone[k] = uint16_t(best[k]);
            tamu_apply_matrix_inverse(model->bone_matrices[best[k]], p, bv.local[k]);
        }
    }
}

void cmodel_evaluate_bone_vertices(const cmodel *model, const float (*pose)[12], float (*out)[3]) {
    if (!model || !out) return;
    for (int v = 0; v < model->num_vertices; v++) {
        const float *rest = model->vertices[v];
        const cbone_vertex *bv = model->bone_vertices ? &model->bone_vertices[v] : nullptr;
        if (!bv || !pose || bv->bone[0] >= model->num_bones || bv->bone[1] >= model->num_bones) {
            std::memcpy(out[v], rest, sizeof(float[3]));
            continue;
        }
        float a[3], b[3];
        tamu_apply_matrix(pose[bv->bone[0]], bv->local[0], a);
        tamu_apply_matrix(pose[bv->bone[1]], bv->local[1], b);
        float w = bv->weight;
        for (int c = 0; c < 3; c++) out[v][c] = a[c] * w + b[c] * (1.0f - w);
    }
}

void cmodel_decorate(cmodel *model) {
    cmodel_calculate_normals(model);
    cmodel_calculate_bone_parents(model);
    cmodel_calculate_bone_vertices(model);
}

int cmodel_get_bone_dat_index(int index) { return 4 * index; }

// ---------------------------------------------------------------------------
// Materials

cmaterial *tamu_create_material() {
    auto *m = static_cast<cmaterial *>(tamu_malloc(sizeof(cmaterial)));
    std::memset(m, 0, sizeof *m);
    m->colour = 0xFF336699;
    m->specular_colour = 0xFF606060;
    tamu_items_created++;
    return m;
}

void tamu_destroy_material(cmaterial *material) {
    if (!material) return;
    tamu_free(material);
    tamu_items_created--;
}
